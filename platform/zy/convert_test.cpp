#include "zy/convert.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "zy.h"

namespace {

template <typename To, typename From>
std::vector<To> convert(zyClassID to, zyClassID from, const std::vector<From>& values) {
  std::vector<To> out(values.size());
  EXPECT_EQ(zyConvertBufferToType(out.data(), to, values.data(), from, values.size()), 0);
  return out;
}

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

TEST(ZyConvert, IntoIntegersRoundHalfAwayFromZero) {
  EXPECT_EQ(
      (convert<int32_t>(zyINT32_CLASS, zyDOUBLE_CLASS,
                        std::vector<double>{0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 2.4999, -2.4999})),
      (std::vector<int32_t>{1, 2, 3, -1, -2, -3, 2, -2}));
  // The largest double below one half must not round up (a naive +0.5 does).
  EXPECT_EQ((convert<int32_t>(zyINT32_CLASS, zyDOUBLE_CLASS,
                              std::vector<double>{0.49999999999999994, -0.49999999999999994})),
            (std::vector<int32_t>{0, 0}));
  EXPECT_EQ((convert<int8_t>(zyINT8_CLASS, zySINGLE_CLASS, std::vector<float>{126.5f, -127.5f})),
            (std::vector<int8_t>{127, -128}));
}

TEST(ZyConvert, IntoIntegersSaturateAndNaNBecomesZero) {
  EXPECT_EQ((convert<int32_t>(zyINT32_CLASS, zyDOUBLE_CLASS,
                              std::vector<double>{3e9, -3e9, inf, -inf, nan, 2147483647.4,
                                                  2147483647.5, -2147483648.5})),
            (std::vector<int32_t>{INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, 0, INT32_MAX,
                                  INT32_MAX, INT32_MIN}));
  EXPECT_EQ((convert<uint8_t>(zyUINT8_CLASS, zyDOUBLE_CLASS,
                              std::vector<double>{-1, -0.4, -0.5, 255.4, 255.5, 1e300, nan})),
            (std::vector<uint8_t>{0, 0, 0, 255, 255, 255, 0}));
  EXPECT_EQ((convert<int64_t>(zyINT64_CLASS, zyDOUBLE_CLASS,
                              std::vector<double>{9.3e18, -9.3e18, 9223372036854774784.0, nan})),
            (std::vector<int64_t>{INT64_MAX, INT64_MIN, 9223372036854774784LL, 0}));
  EXPECT_EQ((convert<uint64_t>(zyUINT64_CLASS, zyDOUBLE_CLASS,
                               std::vector<double>{1.9e19, 18446744073709549568.0, -3})),
            (std::vector<uint64_t>{UINT64_MAX, 18446744073709549568ULL, 0}));
  EXPECT_EQ((convert<int32_t>(zyINT32_CLASS, zySINGLE_CLASS,
                              std::vector<float>{3e9f, -3e9f, 2147483520.0f})),
            (std::vector<int32_t>{INT32_MAX, INT32_MIN, 2147483520}));
}

TEST(ZyConvert, BetweenIntegersSaturateIncludingNegativeToUnsigned) {
  EXPECT_EQ((convert<uint16_t>(zyUINT16_CLASS, zyINT32_CLASS,
                               std::vector<int32_t>{-1, 70000, 65535, INT32_MIN})),
            (std::vector<uint16_t>{0, 65535, 65535, 0}));
  EXPECT_EQ(
      (convert<int8_t>(zyINT8_CLASS, zyUINT64_CLASS, std::vector<uint64_t>{200, UINT64_MAX, 5})),
      (std::vector<int8_t>{127, 127, 5}));
  EXPECT_EQ((convert<uint64_t>(zyUINT64_CLASS, zyINT8_CLASS, std::vector<int8_t>{-128, 127})),
            (std::vector<uint64_t>{0, 127}));
  EXPECT_EQ((convert<int64_t>(zyINT64_CLASS, zyUINT64_CLASS,
                              std::vector<uint64_t>{UINT64_MAX, 1ULL << 62})),
            (std::vector<int64_t>{INT64_MAX, int64_t(1) << 62}));
  EXPECT_EQ((convert<uint32_t>(zyUINT32_CLASS, zyINT64_CLASS,
                               std::vector<int64_t>{-5, int64_t(1) << 40, 7})),
            (std::vector<uint32_t>{0, UINT32_MAX, 7}));
}

TEST(ZyConvert, LogicalIsAnyNonZero) {
  EXPECT_EQ((convert<zyLogical>(zyLOGICAL_CLASS, zyDOUBLE_CLASS,
                                std::vector<double>{0, -0.0, 0.1, -3, nan, inf})),
            (std::vector<zyLogical>{0, 0, 1, 1, 1, 1}));
  EXPECT_EQ((convert<zyLogical>(zyLOGICAL_CLASS, zyINT16_CLASS, std::vector<int16_t>{0, -1, 256})),
            (std::vector<zyLogical>{0, 1, 1}));
  // A byte other than 0 or 1 written by a C host still reads as true.
  EXPECT_EQ((convert<double>(zyDOUBLE_CLASS, zyLOGICAL_CLASS, std::vector<zyLogical>{0, 1, 7})),
            (std::vector<double>{0, 1, 1}));
}

TEST(ZyConvert, CharIsItsSixteenBitCode) {
  EXPECT_EQ((convert<double>(zyDOUBLE_CLASS, zyCHAR_CLASS, std::vector<zyChar>{u'A', 0xFFFF})),
            (std::vector<double>{65, 65535}));
  EXPECT_EQ((convert<zyChar>(zyCHAR_CLASS, zyDOUBLE_CLASS,
                             std::vector<double>{65.4, 65.5, -1, 70000, nan})),
            (std::vector<zyChar>{65, 66, 0, 65535, 0}));
  EXPECT_EQ((convert<int8_t>(zyINT8_CLASS, zyCHAR_CLASS, std::vector<zyChar>{u'z', 300})),
            (std::vector<int8_t>{122, 127}));
  EXPECT_EQ((convert<zyChar>(zyCHAR_CLASS, zyINT32_CLASS, std::vector<int32_t>{-7, 97})),
            (std::vector<zyChar>{0, 97}));
}

TEST(ZyConvert, IntoFloatingIsTheNearestValue) {
  EXPECT_EQ((convert<double>(zyDOUBLE_CLASS, zyINT64_CLASS, std::vector<int64_t>{INT64_MAX, -3})),
            (std::vector<double>{9223372036854775808.0, -3}));
  const auto singles =
      convert<float>(zySINGLE_CLASS, zyDOUBLE_CLASS, std::vector<double>{0.1, 1e300, nan});
  EXPECT_EQ(singles[0], 0.1f);
  EXPECT_TRUE(std::isinf(singles[1]));
  EXPECT_TRUE(std::isnan(singles[2]));
}

TEST(ZyConvert, SameClassCopiesAndOtherClassesAreRefused) {
  const std::vector<double> source{1.25, -2, nan};
  std::vector<double> copy(3);
  ASSERT_EQ(zyConvertBufferToType(copy.data(), zyDOUBLE_CLASS, source.data(), zyDOUBLE_CLASS, 3),
            0);
  EXPECT_EQ(std::memcmp(copy.data(), source.data(), sizeof(double) * 3), 0);
  EXPECT_EQ(zyConvertBufferToType(copy.data(), zyCELL_CLASS, source.data(), zyDOUBLE_CLASS, 3), -1);
  EXPECT_EQ(zyConvertBufferToType(copy.data(), zyDOUBLE_CLASS, source.data(), zySTRUCT_CLASS, 3),
            -1);
  EXPECT_EQ(zyConvertBufferToType(nullptr, zyDOUBLE_CLASS, nullptr, zyINT8_CLASS, 0), 0);
}

// Every pair of classes through the C entry agrees with the single-value rules on a spread of
// values, so that no loop of the dispatch table is wired to the wrong pair.
TEST(ZyConvert, EveryPairMatchesTheScalarRules) {
  const zyClassID classes[] = {zyDOUBLE_CLASS, zySINGLE_CLASS, zyINT8_CLASS,  zyUINT8_CLASS,
                               zyINT16_CLASS,  zyUINT16_CLASS, zyINT32_CLASS, zyUINT32_CLASS,
                               zyINT64_CLASS,  zyUINT64_CLASS, zyCHAR_CLASS,  zyLOGICAL_CLASS};
  const std::vector<double> seeds{0, 1, -1, 2.5, -2.5, 100, -200, 300.7, 40000, -70000, 5e9};
  for (zyClassID from : classes) {
    // The seeds as the source class (itself a conversion from double, checked separately).
    std::vector<unsigned char> source(seeds.size() * 8);
    ASSERT_EQ(
        zyConvertBufferToType(source.data(), from, seeds.data(), zyDOUBLE_CLASS, seeds.size()), 0);
    std::vector<double> asDouble(seeds.size());
    ASSERT_EQ(
        zyConvertBufferToType(asDouble.data(), zyDOUBLE_CLASS, source.data(), from, seeds.size()),
        0);
    for (zyClassID to : classes) {
      SCOPED_TRACE(std::string(zyGetClassNameFromID(from)) + " to " + zyGetClassNameFromID(to));
      std::vector<unsigned char> direct(seeds.size() * 8), viaDouble(seeds.size() * 8);
      ASSERT_EQ(zyConvertBufferToType(direct.data(), to, source.data(), from, seeds.size()), 0);
      // Every source value is exactly a double, so going through double must agree, except that
      // single values between integers round like their double equivalents do.
      ASSERT_EQ(zyConvertBufferToType(viaDouble.data(), to, asDouble.data(), zyDOUBLE_CLASS,
                                      seeds.size()),
                0);
      EXPECT_EQ(direct, viaDouble);
    }
  }
}

TEST(ZyConvert, ScalarHelpersHandleTheEdgesOfEveryWidth) {
  using zy::detail::roundSaturate;
  using zy::detail::saturate;
  EXPECT_EQ(roundSaturate<uint64_t>(18446744073709551616.0), UINT64_MAX);
  EXPECT_EQ(roundSaturate<int64_t>(-9223372036854775808.0), INT64_MIN);
  EXPECT_EQ(roundSaturate<uint32_t>(4294967294.5), 4294967295u);
  EXPECT_EQ(roundSaturate<int16_t>(-32768.49), -32768);
  EXPECT_EQ(roundSaturate<int16_t>(-32768.5), -32768);
  EXPECT_EQ((saturate<int32_t, uint32_t>(UINT32_MAX)), INT32_MAX);
  EXPECT_EQ((saturate<uint8_t, int8_t>(-1)), 0);
  EXPECT_EQ((saturate<int16_t, int64_t>(INT64_MIN)), INT16_MIN);
}

}  // namespace
