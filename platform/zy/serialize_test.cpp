#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"
#include "zy/sample_arrays_test.hpp"

namespace {

using Array = matrix::unique_array;
using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const zyArray* serialized) {
  const auto* data = static_cast<const unsigned char*>(zyGetDataConst(serialized));
  return Bytes(data, data + zyGetNumberOfElements(serialized));
}

Bytes serialize(const zyArray* array, int flags = 0) {
  Array serialized(zySerializeEx(array, flags));
  EXPECT_NE(serialized, nullptr);
  return serialized ? bytesOf(serialized.get()) : Bytes();
}

Array deserialize(const Bytes& bytes) { return Array(zyDeserialize(bytes.data(), bytes.size())); }

// Builds serialized forms by hand, to feed the reader what no writer would write.
struct ByteWriter {
  Bytes bytes;
  ByteWriter& raw(const void* data, size_t length) {
    const auto* from = static_cast<const unsigned char*>(data);
    bytes.insert(bytes.end(), from, from + length);
    return *this;
  }
  ByteWriter& u8(uint8_t value) { return raw(&value, 1); }
  ByteWriter& u32(uint32_t value) { return raw(&value, 4); }
  ByteWriter& u64(uint64_t value) { return raw(&value, 8); }
  ByteWriter& u64s(std::initializer_list<uint64_t> values) {
    for (uint64_t value : values) u64(value);
    return *this;
  }
  ByteWriter& text32(const std::string& text) {  // a name: its length, then its bytes
    return u32(static_cast<uint32_t>(text.size())).raw(text.data(), text.size());
  }
  ByteWriter& header() { return raw("ZYAR", 4).u8(1).u8(0).u8(0).u8(0); }
  // class, attributes, and a 2-D shape
  ByteWriter& record(uint8_t classId, uint8_t attributes, uint64_t m, uint64_t n) {
    return u8(classId).u8(attributes).u32(2).u64(m).u64(n);
  }
};

TEST(ZySerialize, EveryClassRoundTrips) {
  for (const auto& sample : zy::testing::sampleArrays()) {
    SCOPED_TRACE(sample.name);
    ASSERT_NE(sample.array, nullptr);
    Array serialized(zySerialize(sample.array.get()));
    ASSERT_NE(serialized, nullptr);
    EXPECT_EQ(zyGetClassID(serialized.get()), zyUINT8_CLASS);
    EXPECT_EQ(zyGetM(serialized.get()), 1u);
    const Bytes bytes = bytesOf(serialized.get());
    Array back = deserialize(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(zyIsIdentical(back.get(), sample.array.get()));
    EXPECT_EQ(serialize(back.get()), bytes) << "reading and writing again changes nothing";
    Array canonical = deserialize(serialize(sample.array.get(), zySERIALIZE_CANONICAL));
    ASSERT_NE(canonical, nullptr);
    EXPECT_TRUE(zyIsIdentical(canonical.get(), sample.array.get()));
  }
}

TEST(ZySerialize, TheLayoutIsTheDocumentedOne) {
  Array scalar(zyCreateDoubleScalar(2.0));
  ByteWriter expected;
  const double two = 2.0;
  expected.header().record(zyDOUBLE_CLASS, 0, 1, 1).raw(&two, 8);
  EXPECT_EQ(serialize(scalar.get()), expected.bytes);
  const Bytes canonical = serialize(scalar.get(), zySERIALIZE_CANONICAL);
  ASSERT_GE(canonical.size(), 6u);
  EXPECT_EQ(canonical[5], zySERIALIZE_CANONICAL);

  const char* names[] = {"ab"};
  Array structure(zyCreateStructMatrix(1, 1, 1, names));
  ByteWriter structBytes;
  structBytes.header().record(zySTRUCT_CLASS, 0, 1, 1).u32(1).text32("ab");
  structBytes.record(zyDOUBLE_CLASS, 0, 0, 0);  // the empty field stands as a 0-by-0 double
  EXPECT_EQ(serialize(structure.get()), structBytes.bytes);
}

TEST(ZySerialize, PayloadsComeBackAsStoredBytes) {
  Array handle(zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &zy::testing::kTextPayload,
                                    new std::string("@sin")));
  Array back = deserialize(serialize(handle.get()));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(zyGetClassID(back.get()), zyFUNCTION_CLASS);
  EXPECT_EQ(zyGetPayloadType(back.get()), zyStoredPayloadType());
  const char* typeName = nullptr;
  size_t length = 0;
  const void* bytes = zyGetStoredPayload(back.get(), &typeName, &length);
  EXPECT_STREQ(typeName, "test.text");
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(std::memcmp(bytes, "@sin", 4), 0);
  Array copy(zyDuplicateArray(back.get()));
  EXPECT_TRUE(zyIsIdentical(copy.get(), handle.get()));
  EXPECT_EQ(zyGetStoredPayload(handle.get(), nullptr, nullptr), nullptr);
}

TEST(ZySerialize, CanonicalFormLeavesOutStoredZeros) {
  // Column 1 stores 5 at row 0 and an explicit zero at row 1.
  Array explicitZero(zyCreateSparse(2, 1, 3, zyREAL));
  zyGetJc(explicitZero.get())[1] = 2;
  zyGetIr(explicitZero.get())[1] = 1;
  zyGetPr(explicitZero.get())[0] = 5;
  const size_t rows[] = {0}, columns[] = {0};
  const double five[] = {5};
  Array plain(zyCreateSparseFromTriplets(2, 1, 1, rows, columns, five, nullptr, zyDOUBLE_CLASS, 0));

  EXPECT_TRUE(zyIsIdentical(explicitZero.get(), plain.get()));
  EXPECT_EQ(serialize(explicitZero.get(), zySERIALIZE_CANONICAL),
            serialize(plain.get(), zySERIALIZE_CANONICAL));
  EXPECT_NE(serialize(explicitZero.get()), serialize(plain.get()));
  Array kept = deserialize(serialize(explicitZero.get()));
  EXPECT_EQ(zyGetNumberOfNonzeros(kept.get()), 2u) << "the plain form keeps what is stored";
}

TEST(ZySerialize, EveryTruncationAndAnyTrailingByteIsRefused) {
  for (const auto& sample : zy::testing::sampleArrays()) {
    SCOPED_TRACE(sample.name);
    Bytes bytes = serialize(sample.array.get());
    for (size_t length = 0; length < bytes.size(); ++length) {
      EXPECT_EQ(zyDeserialize(bytes.data(), length), nullptr) << "length " << length;
    }
    bytes.push_back(0);
    EXPECT_EQ(deserialize(bytes), nullptr);
  }
  EXPECT_EQ(zyDeserialize(nullptr, 10), nullptr);
}

TEST(ZySerialize, MalformedRecordsAreRefused) {
  const double one = 1;
  struct Case {
    const char* what;
    ByteWriter bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"bad magic", ByteWriter().raw("ZYAX", 4).u8(1).u8(0).u8(0).u8(0)});
  cases.push_back({"future version", ByteWriter().raw("ZYAR", 4).u8(2).u8(0).u8(0).u8(0)});
  cases.push_back({"unknown flag", ByteWriter().raw("ZYAR", 4).u8(1).u8(1).u8(0).u8(0)});
  cases.push_back({"class 19", ByteWriter().header().record(19, 0, 0, 0)});
  cases.push_back({"one dimension", ByteWriter().header().u8(zyDOUBLE_CLASS).u8(0).u32(1).u64(1)});
  cases.push_back({"complex char", ByteWriter().header().record(zyCHAR_CLASS, 1, 0, 0)});
  cases.push_back({"sparse int8", ByteWriter().header().record(zyINT8_CLASS, 2, 1, 1)});
  cases.push_back({"unknown attribute", ByteWriter().header().record(zyDOUBLE_CLASS, 8, 0, 0)});
  cases.push_back({"payload on double", ByteWriter().header().record(zyDOUBLE_CLASS, 4, 0, 0)});
  // Sparse: the stored count, the column starts, the rows, then the values.
  cases.push_back(
      {"column starts fall",
       ByteWriter().header().record(zyDOUBLE_CLASS, 2, 2, 2).u64s({1, 0, 1, 0, 0}).raw(&one, 8)});
  cases.push_back(
      {"row outside",
       ByteWriter().header().record(zyDOUBLE_CLASS, 2, 2, 1).u64s({1, 0, 1, 2}).raw(&one, 8)});
  cases.push_back({"rows out of order", ByteWriter()
                                            .header()
                                            .record(zyDOUBLE_CLASS, 2, 3, 1)
                                            .u64s({2, 0, 2, 1, 0})
                                            .raw(&one, 8)
                                            .raw(&one, 8)});
  cases.push_back(
      {"duplicate field",
       ByteWriter().header().record(zySTRUCT_CLASS, 0, 0, 0).u32(2).text32("a").text32("a")});
  cases.push_back({"empty field name",
                   ByteWriter().header().record(zySTRUCT_CLASS, 0, 0, 0).u32(1).text32("")});
  cases.push_back({"class name without payload",
                   ByteWriter().header().record(zyOBJECT_CLASS, 0, 1, 1).text32("A")});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(deserialize(c.bytes.bytes), nullptr);
  }
}

// Counts that promise more than the input holds are refused before anything is allocated: the
// test would run out of memory (or time) otherwise.
TEST(ZySerialize, OversizedCountsAreRefusedBeforeAllocating) {
  const uint64_t huge = uint64_t(1) << 40;
  std::vector<ByteWriter> inputs;
  inputs.push_back(ByteWriter().header().record(zyDOUBLE_CLASS, 0, huge, huge));
  inputs.push_back(ByteWriter().header().record(zyDOUBLE_CLASS, 0, huge, 1));
  inputs.push_back(ByteWriter().header().record(zyCELL_CLASS, 0, huge, 1));
  inputs.push_back(ByteWriter().header().record(zySTRUCT_CLASS, 0, huge, 1).u32(1).text32("a"));
  inputs.push_back(ByteWriter().header().record(zySTRUCT_CLASS, 0, 1, 1).u32(0xFFFFFFFF));
  inputs.push_back(ByteWriter().header().record(zyDOUBLE_CLASS, 2, 1, huge).u64(0));
  inputs.push_back(ByteWriter().header().record(zyDOUBLE_CLASS, 2, huge, 1).u64(huge));
  inputs.push_back(ByteWriter().header().u8(zyDOUBLE_CLASS).u8(0).u32(0xFFFFFFFF));
  inputs.push_back(
      ByteWriter().header().record(zyOPAQUE_CLASS, 4, 1, 1).text32("").text32("t").u64(huge));
  for (const ByteWriter& input : inputs) EXPECT_EQ(deserialize(input.bytes), nullptr);
  // A shape without data is fine however large: it costs nothing.
  Array unknown = deserialize(ByteWriter().header().record(zyUNKNOWN_CLASS, 0, huge, 1000).bytes);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(zyGetM(unknown.get()), huge);
}

TEST(ZySerialize, NestingIsBounded) {
  auto nested = [](int depth) {
    zyArray* array = zyCreateDoubleScalar(1);
    for (int i = 0; i < depth; ++i) {
      zyArray* cell = zyCreateCellMatrix(1, 1);
      zySetCell(cell, 0, array);
      array = cell;
    }
    return Array(array);
  };
  Array fine = nested(100);
  Array back = deserialize(serialize(fine.get()));
  EXPECT_TRUE(zyIsIdentical(back.get(), fine.get()));
  Array deep = nested(500);
  EXPECT_EQ(Array(zySerialize(deep.get())), nullptr);

  ByteWriter handmade;
  handmade.header();
  for (int i = 0; i < 100000; ++i) handmade.record(zyCELL_CLASS, 0, 1, 1);
  EXPECT_EQ(deserialize(handmade.bytes), nullptr) << "must not recurse without bound";
}

}  // namespace
