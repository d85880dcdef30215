#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

TEST(OpsMath, RealFunctionsAndRounding) {
  struct Case {
    const char* function;
    std::vector<double> in, out;
  } cases[] = {
      {"round", {2.5, -2.5, 0.49999999999999994, 1.4}, {3, -3, 0, 1}},
      {"fix", {2.7, -2.7}, {2, -2}},
      {"floor", {-0.5, 1.5}, {-1, 1}},
      {"ceil", {-0.5, 1.5}, {-0, 2}},
      {"sign", {-3, 0, 2}, {-1, 0, 1}},
      {"abs", {-3, 2}, {3, 2}},
      {"exp", {0, 1}, {1, std::exp(1.0)}},
      {"log2", {8, 0.5}, {3, -1}},
      {"log10", {1000}, {3}},
      {"sqrt", {16, 0}, {4, 0}},
      {"angle", {-1, 1}, {M_PI, 0}},
      {"atan", {1}, {M_PI / 4}},
  };
  for (const Case& c : cases) {
    ArrayPtr in = typed(zyDOUBLE_CLASS, c.in);
    ArrayPtr out = call(c.function, {in.get()});
    ASSERT_FALSE(zyIsComplex(out.get())) << c.function;
    const std::vector<double> got = values(out.get());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_DOUBLE_EQ(got[i], c.out[i]) << c.function << i;
  }
  EXPECT_TRUE(std::isnan(values(call("sign", {S(nan).get()}).get())[0]));
  EXPECT_EQ(values(call("log", {S(0).get()}).get())[0], -inf);
  ArrayPtr single = call("sin", {typed(zySINGLE_CLASS, {0}).get()});
  EXPECT_EQ(classOf(single.get()), "single");
  EXPECT_EQ(classOf(call("cos", {typed(zyLOGICAL_CLASS, {1}).get()}).get()), "double");
}

TEST(OpsMath, LeavingTheRealDomainGivesComplexResults) {
  ArrayPtr root = call("sqrt", {R({-4, 9}).get()});
  ASSERT_TRUE(zyIsComplex(root.get()));
  EXPECT_EQ(values(root.get()), (std::vector<double>{0, 3}));
  EXPECT_EQ(imagValues(root.get()), (std::vector<double>{2, 0}));
  ArrayPtr log = call("log", {S(-1).get()});
  EXPECT_DOUBLE_EQ(imagValues(log.get())[0], M_PI);
  ArrayPtr asin = call("asin", {S(2).get()});
  EXPECT_TRUE(zyIsComplex(asin.get()));
  EXPECT_DOUBLE_EQ(values(asin.get())[0], M_PI / 2);
  EXPECT_TRUE(zyIsComplex(call("log10", {S(-10).get()}).get()));
  // Complex input: parts, magnitude and conjugate.
  ArrayPtr z = complexArray({3, -1.5}, {-4, 2.5});
  EXPECT_EQ(values(call("abs", {z.get()}).get())[0], 5);
  EXPECT_EQ(values(call("real", {z.get()}).get()), (std::vector<double>{3, -1.5}));
  EXPECT_EQ(values(call("imag", {z.get()}).get()), (std::vector<double>{-4, 2.5}));
  EXPECT_EQ(imagValues(call("conj", {z.get()}).get()), (std::vector<double>{4, -2.5}));
  EXPECT_EQ(imagValues(call("round", {z.get()}).get()), (std::vector<double>{-4, 3}));
  ArrayPtr unit = call("sign", {z.get()});
  EXPECT_DOUBLE_EQ(values(unit.get())[0], 0.6);
  EXPECT_DOUBLE_EQ(imagValues(unit.get())[0], -0.8);
  ArrayPtr e = call("exp", {complexArray({0}, {M_PI}).get()});
  EXPECT_NEAR(values(e.get())[0], -1, 1e-15);
}

TEST(OpsMath, IntegerInputs) {
  ArrayPtr low = typed(zyINT8_CLASS, {-128, 5});
  ArrayPtr magnitude = call("abs", {low.get()});
  EXPECT_EQ(classOf(magnitude.get()), "int8");
  EXPECT_EQ(values(magnitude.get()), (std::vector<double>{127, 5}));
  EXPECT_EQ(zyGetDataConst(call("floor", {low.get()}).get()), zyGetDataConst(low.get()));
  EXPECT_EQ(values(call("sign", {low.get()}).get()), (std::vector<double>{-1, 1}));
  EXPECT_EQ(values(call("imag", {low.get()}).get()), (std::vector<double>{0, 0}));
  EXPECT_EQ(errorOf([&] { call("sqrt", {low.get()}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("sin", {cellOf().get()}); }), "Q:undefinedFunction");
}

TEST(OpsMath, Classification) {
  ArrayPtr values3 = R({nan, inf, 1});
  EXPECT_EQ(values(call("isnan", {values3.get()}).get()), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(values(call("isinf", {values3.get()}).get()), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(values(call("isfinite", {values3.get()}).get()), (std::vector<double>{0, 0, 1}));
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
