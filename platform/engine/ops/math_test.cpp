#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

// Ordinary values of the rounding, exponential and trigonometric functions are pinned by
// tests/q/cases (features_math.q, builtins.q, features_types.q); these keep the edges.
TEST(OpsMath, RealFunctionEdgesAndClasses) {
  struct Case {
    const char* function;
    std::vector<double> in, out;
  } cases[] = {
      {"round", {0.49999999999999994, -0.49999999999999994}, {0, 0}},
      {"log2", {0.5}, {-1}},
      {"angle", {-1, 1}, {M_PI, 0}},
      {"atan", {1}, {M_PI / 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    ArrayPtr out = call(c.function, {typed(zyDOUBLE_CLASS, c.in).get()});
    ASSERT_FALSE(zyIsComplex(out.get()));
    const std::vector<double> got = values(out.get());
    ASSERT_EQ(got.size(), c.out.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], c.out[i]) << i;
  }
  EXPECT_TRUE(std::isnan(values(call("sign", {S(nan).get()}).get())[0]));
  EXPECT_EQ(values(call("log", {S(0).get()}).get())[0], -inf);
  ArrayPtr single = call("sin", {typed(zySINGLE_CLASS, {0}).get()});
  EXPECT_EQ(classOf(single.get()), "single");
  EXPECT_EQ(classOf(call("cos", {typed(zyLOGICAL_CLASS, {1}).get()}).get()), "double");
}

TEST(OpsMath, LeavingTheRealDomainGivesComplexResults) {
  ArrayPtr log = call("log", {S(-1).get()});
  EXPECT_DOUBLE_EQ(imagValues(log.get())[0], M_PI);
  ArrayPtr asin = call("asin", {S(2).get()});
  EXPECT_TRUE(zyIsComplex(asin.get()));
  EXPECT_DOUBLE_EQ(values(asin.get())[0], M_PI / 2);
  EXPECT_TRUE(zyIsComplex(call("log10", {S(-10).get()}).get()));
  ArrayPtr z = complexArray({3, -1.5}, {-4, 2.5});
  ArrayPtr unit = call("sign", {z.get()});
  EXPECT_DOUBLE_EQ(values(unit.get())[0], 0.6);
  EXPECT_DOUBLE_EQ(imagValues(unit.get())[0], -0.8);
  ArrayPtr e = call("exp", {complexArray({0}, {M_PI}).get()});
  EXPECT_NEAR(values(e.get())[0], -1, 1e-15);
}

TEST(OpsMath, IntegerInputs) {
  ArrayPtr low = typed(zyINT8_CLASS, {-128, 5});
  // Rounding an integer array shares its data instead of copying it.
  EXPECT_EQ(zyGetDataConst(call("floor", {low.get()}).get()), zyGetDataConst(low.get()));
  EXPECT_EQ(values(call("imag", {low.get()}).get()), (std::vector<double>{0, 0}));
  EXPECT_EQ(errorOf([&] { call("sqrt", {low.get()}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("sin", {cellOf().get()}); }), "Q:undefinedFunction");
}

TEST(OpsMath, ClassificationOfComplexIntegerAndText) {
  EXPECT_EQ(values(call("isnan", {complexArray({1}, {nan}).get()}).get()), std::vector<double>{1});
  EXPECT_EQ(values(call("isfinite", {typed(zyINT32_CLASS, {7}).get()}).get()),
            std::vector<double>{1});
  EXPECT_EQ(classOf(call("isnan", {T("a").get()}).get()), "logical");
}

// Inputs may share their data with variables: no operation may write through them.
TEST(OpsInputs, SharedInputsAreNeverWritten) {
  ArrayPtr z = complexArray({1, 2}, {3, 4});
  ArrayPtr variable(zyCreateSharedDataCopy(z.get()));
  ArrayPtr conjugated = unary(UnaryOp::CTranspose, variable.get());
  EXPECT_EQ(imagValues(conjugated.get()), (std::vector<double>{-3, -4}));
  EXPECT_EQ(imagValues(z.get()), (std::vector<double>{3, 4}));
  ArrayPtr data = R({3, 1, 2});
  ArrayPtr shared(zyCreateSharedDataCopy(data.get()));
  call("sort", {shared.get()});
  call("cumsum", {shared.get()});
  unary(UnaryOp::Negate, std::move(shared));
  EXPECT_EQ(values(data.get()), (std::vector<double>{3, 1, 2}));
  // A sparse operand is read through a full copy; the result is full.
  const size_t rows[] = {1}, columns[] = {0};
  const double stored[] = {5};
  ArrayPtr sparse(
      zyCreateSparseFromTriplets(2, 1, 1, rows, columns, stored, nullptr, zyDOUBLE_CLASS, 1));
  ArrayPtr sum = binary(BinaryOp::Plus, sparse.get(), S(1).get());
  EXPECT_FALSE(zyIsSparse(sum.get()));
  EXPECT_EQ(values(sum.get()), (std::vector<double>{1, 6}));
  EXPECT_EQ(values(binary(BinaryOp::MTimes, R({1, 1}).get(), sparse.get()).get()),
            std::vector<double>{5});
}

}  // namespace
}  // namespace q::ops
