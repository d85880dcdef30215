// Operators on arrays, at the level of the operations library. Ordinary values (saturation,
// implicit expansion of vectors, mod and rem signs, ranges, logic) are pinned by the Q cases in
// tests/q/cases (operators.q, features_integers.q, features_math.q, features_numeric3.q); these
// tests keep the class rules, limits, error paths, N-d walks and data ownership.

#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

TEST(OpsClassRules, ResultClassOfEachPairing) {
  struct Case {
    zyClassID a, b;
    BinaryOp op;
    const char* expected;
  } cases[] = {
      {zyDOUBLE_CLASS, zySINGLE_CLASS, BinaryOp::MTimes, "single"},
      {zyDOUBLE_CLASS, zyUINT16_CLASS, BinaryOp::Minus, "uint16"},
      {zyINT32_CLASS, zySINGLE_CLASS, BinaryOp::RDivide, "int32"},
      {zyINT32_CLASS, zyINT32_CLASS, BinaryOp::Power, "int32"},
      {zyINT8_CLASS, zyINT16_CLASS, BinaryOp::Lt, "logical"},
      {zyDOUBLE_CLASS, zyCHAR_CLASS, BinaryOp::Eq, "logical"},
      {zyDOUBLE_CLASS, zyDOUBLE_CLASS, BinaryOp::And, "logical"},
  };
  for (const Case& c : cases) {
    ArrayPtr a = typed(c.a, {1, 2}), b = typed(c.b, {1});
    ArrayPtr result = binary(c.op, a.get(), b.get());
    EXPECT_EQ(classOf(result.get()), c.expected)
        << classOf(a.get()) << symbol(c.op) << classOf(b.get());
  }
  ArrayPtr i8 = typed(zyINT8_CLASS, {1}), i16 = typed(zyINT16_CLASS, {1});
  EXPECT_EQ(errorOf([&] { binary(BinaryOp::Plus, i8.get(), i16.get()); }), "Q:mixedIntegerClasses");
  ArrayPtr cell = cellOf();
  EXPECT_EQ(errorOf([&] { binary(BinaryOp::Plus, cell.get(), i8.get()); }), "Q:undefinedOperator");
}

// Saturation at the edges the Q cases do not reach: NaN operands and powers.
TEST(OpsClassRules, IntegersSaturateOnNaNAndPowers) {
  ArrayPtr times = binary(BinaryOp::Times, typed(zyINT16_CLASS, {3, 0}).get(), S(nan).get());
  EXPECT_EQ(classOf(times.get()), "int16");
  EXPECT_EQ(values(times.get()), (std::vector<double>{0, 0}));
  ArrayPtr power = binary(BinaryOp::Power, typed(zyINT8_CLASS, {2}).get(), S(10).get());
  EXPECT_EQ(values(power.get()), std::vector<double>{127});
}

TEST(OpsClassRules, SixtyFourBitIntegersAreExact) {
  ArrayPtr big = detail::create(zyINT64_CLASS, {1, 1});
  *static_cast<int64_t*>(zyGetData(big.get())) = 9007199254740993LL;  // 2^53 + 1
  ArrayPtr one = S(1);
  ArrayPtr sum = binary(BinaryOp::Plus, big.get(), one.get());
  EXPECT_EQ(*static_cast<const int64_t*>(zyGetDataConst(sum.get())), 9007199254740994LL);
  ArrayPtr top = typed(zyUINT64_CLASS, {0});
  *static_cast<uint64_t*>(zyGetData(top.get())) = UINT64_MAX - 1;
  ArrayPtr saturated = binary(BinaryOp::Plus, top.get(), S(5).get());
  EXPECT_EQ(*static_cast<const uint64_t*>(zyGetDataConst(saturated.get())), UINT64_MAX);
  ArrayPtr equal = binary(BinaryOp::Eq, big.get(), sum.get());
  EXPECT_EQ(values(equal.get()), std::vector<double>{0});  // they differ by one beyond 2^53
}

TEST(OpsExpansion, ShapesOfCompatibleOperands) {
  struct Case {
    Dims a, b, expected;
  } cases[] = {
      {{3, 1}, {1, 4}, {3, 4}},       {{2, 3}, {2, 1}, {2, 3}},
      {{2, 3, 2}, {1, 3}, {2, 3, 2}}, {{1, 1}, {2, 2, 2}, {2, 2, 2}},
      {{0, 3}, {1, 3}, {0, 3}},       {{1, 3, 1, 2}, {4, 1, 5}, {4, 3, 5, 2}},
  };
  for (const Case& c : cases) {
    ArrayPtr a = detail::createDouble(c.a), b = detail::createDouble(c.b);
    EXPECT_EQ(dims(binary(BinaryOp::Plus, a.get(), b.get()).get()), c.expected);
    EXPECT_EQ(dims(binary(BinaryOp::Ge, b.get(), a.get()).get()), c.expected);
  }
  ArrayPtr a = detail::createDouble({2, 3}), b = detail::createDouble({3, 2});
  try {
    binary(BinaryOp::Plus, a.get(), b.get());
    ADD_FAILURE() << "no error";
  } catch (const zy::ScriptError& error) {
    EXPECT_EQ(error.identifier(), "Q:sizeMismatch");
    EXPECT_STREQ(error.what(), "Arrays have incompatible sizes for this operation.");
  }
}

// A 2x2x2 array against a row runs the general walk with both operands stepping.
TEST(OpsExpansion, ValuesFollowTheExpandedOperandsInNDimensions) {
  ArrayPtr cube = detail::createDouble({2, 2, 2});
  for (int i = 0; i < 8; ++i) zyGetPr(cube.get())[i] = i;
  EXPECT_EQ(values(binary(BinaryOp::Times, cube.get(), R({1, 100}).get()).get()),
            (std::vector<double>{0, 1, 200, 300, 4, 5, 600, 700}));
  ArrayPtr column = M({{1}, {2}, {3}}), row = R({10, 20});
  EXPECT_EQ(values(binary(BinaryOp::Minus, row.get(), column.get()).get()),
            (std::vector<double>{9, 8, 7, 19, 18, 17}));
}

TEST(OpsComplex, DroppingZeroImaginaryPartsRootsAndOrdering) {
  ArrayPtr i = complexArray({0}, {1});
  ArrayPtr real = binary(BinaryOp::Minus, complexArray({1}, {1}).get(), i.get());
  EXPECT_FALSE(zyIsComplex(real.get()));
  EXPECT_EQ(values(real.get()), std::vector<double>{1});
  ArrayPtr square = binary(BinaryOp::MPower, i.get(), S(2).get());
  EXPECT_FALSE(zyIsComplex(square.get()));
  EXPECT_EQ(values(square.get()), std::vector<double>{-1});
  ArrayPtr root = binary(BinaryOp::Power, S(-8).get(), S(1.0 / 3).get());
  ASSERT_TRUE(zyIsComplex(root.get()));
  EXPECT_NEAR(values(root.get())[0], 1.0, 1e-12);
  EXPECT_NEAR(imagValues(root.get())[0], std::sqrt(3.0), 1e-12);
  // Negative bases with integer exponents stay real.
  EXPECT_FALSE(zyIsComplex(binary(BinaryOp::Power, R({-2, 4}).get(), R({3, 0.5}).get()).get()));
  // Ordering compares real parts; equality both parts.
  EXPECT_EQ(values(binary(BinaryOp::Gt, complexArray({2}, {-9}).get(), S(1).get()).get()),
            std::vector<double>{1});
  EXPECT_EQ(values(binary(BinaryOp::Eq, complexArray({1}, {1}).get(), S(1).get()).get()),
            std::vector<double>{0});
}

// Truth of a condition: NaN and cells are errors; sparse arrays count their implicit zeros.
TEST(OpsLogical, NaNIsAnErrorAndTruthOfEveryKind) {
  EXPECT_EQ(errorOf([] { binary(BinaryOp::And, S(nan).get(), S(1).get()); }), "Q:NaNToLogical");
  EXPECT_EQ(errorOf([] { unary(UnaryOp::Not, S(nan).get()); }), "Q:NaNToLogical");
  EXPECT_TRUE(isTrue(R({1, 2, -1}).get()));
  EXPECT_FALSE(isTrue(R({1, 0}).get()));
  EXPECT_FALSE(isTrue(detail::emptyDouble().get()));
  EXPECT_TRUE(isTrue(complexArray({0}, {1}).get()));
  EXPECT_EQ(errorOf([] { isTrue(R({1, nan}).get()); }), "Q:NaNToLogical");
  EXPECT_EQ(errorOf([] { isTrue(cellOf(S(1)).get()); }), "Q:invalidConversion");
  const size_t rows[] = {0, 1}, columns[] = {0, 0};
  const double stored[] = {1, 2};
  ArrayPtr partly(
      zyCreateSparseFromTriplets(2, 1, 2, rows, columns, stored, nullptr, zyDOUBLE_CLASS, 2));
  EXPECT_TRUE(isTrue(partly.get()));
  ArrayPtr holey(
      zyCreateSparseFromTriplets(3, 1, 2, rows, columns, stored, nullptr, zyDOUBLE_CLASS, 2));
  EXPECT_FALSE(isTrue(holey.get()));
}

TEST(OpsFunctions, TwoArgumentFunctionsEdges) {
  EXPECT_DOUBLE_EQ(values(call("hypot", {S(3e200).get(), S(4e200).get()}).get())[0], 5e200);
  EXPECT_EQ(errorOf([] {
              call("atan2", {typed(zyINT8_CLASS, {1}).get(), S(1).get()});
            }),
            "Q:invalidInput");
  // Two-input min and max ignore NaN and expand.
  EXPECT_EQ(values(call("max", {R({1, nan, 7}).get(), S(4).get()}).get()),
            (std::vector<double>{4, 4, 7}));
}

TEST(OpsTemporaries, ConsumedOperandsLendTheirBlock) {
  ArrayPtr x = R({1, 2, 3});
  ArrayPtr temporary = binary(BinaryOp::MTimes, S(2).get(), x.get());
  const void* block = zyGetDataConst(temporary.get());
  ArrayPtr result = binary(BinaryOp::Plus, std::move(temporary), S(1));
  EXPECT_EQ(zyGetDataConst(result.get()), block);
  EXPECT_EQ(values(result.get()), (std::vector<double>{3, 5, 7}));
  // An operand that shares its data with a variable is never written.
  ArrayPtr shared(zyCreateSharedDataCopy(x.get()));
  ArrayPtr sum = binary(BinaryOp::Plus, std::move(shared), S(1));
  EXPECT_EQ(values(x.get()), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(values(sum.get()), (std::vector<double>{2, 3, 4}));
  ArrayPtr negated = unary(UnaryOp::Negate, binary(BinaryOp::Plus, x.get(), S(0).get()));
  EXPECT_EQ(values(negated.get()), (std::vector<double>{-1, -2, -3}));
}

TEST(OpsScalars, UnboxedScalarResults) {
  ScalarResult r;
  ASSERT_TRUE(scalarBinary(BinaryOp::MLDivide, 4, 2, r));
  EXPECT_EQ(r.value, 0.5);
  EXPECT_FALSE(r.isLogical);
  ASSERT_TRUE(scalarBinary(BinaryOp::Le, 2, 2, r));
  EXPECT_TRUE(r.isLogical);
  EXPECT_EQ(r.value, 1);
  EXPECT_TRUE(scalarBinary(BinaryOp::Power, -8, 3, r));
  EXPECT_EQ(r.value, -512);
  EXPECT_FALSE(scalarBinary(BinaryOp::MPower, -8, 0.5, r));
  EXPECT_EQ(errorOf([&] { scalarBinary(BinaryOp::Or, nan, 1, r); }), "Q:NaNToLogical");
}

TEST(OpsRange, NaNEndsLimitsAndTheColonBuiltin) {
  EXPECT_EQ(dims(range(S(nan).get(), nullptr, S(5).get()).get()), (Dims{1, 0}));
  EXPECT_EQ(errorOf([] { range(S(1).get(), nullptr, S(inf).get()); }), "Q:outOfMemory");
  EXPECT_EQ(values(call("colon", {S(1).get(), S(2).get(), S(6).get()}).get()),
            (std::vector<double>{1, 3, 5}));
}

}  // namespace
}  // namespace q::ops
