// Matrix products, solvers and matrix functions. Ordinary products, 2x2 solves, inv, det,
// trace, powers and vector norms are pinned by tests/q/cases (operators.q, features_math.q,
// builtins.q, features_builtins2.q); these tests keep shapes, pivoting, least squares, singular
// and complex systems, the error paths and the loading of the BLAS library.

#include "engine/ops/linear_algebra.hpp"

#include <gmock/gmock.h>

#include <cmath>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tolerance = 1e-12) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
  }
}

TEST(OpsMatrixProduct, EmptyInnerComplexAndSingleOperands) {
  ArrayPtr a = M({{1, 2, 3}, {4, 5, 6}});
  ArrayPtr zeroInner = binary(BinaryOp::MTimes, detail::createDouble({2, 0}).get(),
                              detail::createDouble({0, 3}).get());
  EXPECT_EQ(values(zeroInner.get()), std::vector<double>(6, 0.0));
  EXPECT_EQ(errorOf([&] { binary(BinaryOp::MTimes, a.get(), a.get()); }), "Q:innerDimensions");
  ArrayPtr c = complexArray({1, 0}, {0, 1}, {1, 2});
  ArrayPtr cc = binary(BinaryOp::MTimes, c.get(), unary(UnaryOp::CTranspose, c.get()).get());
  EXPECT_FALSE(zyIsComplex(cc.get()));
  EXPECT_EQ(values(cc.get()), std::vector<double>{2});
  ArrayPtr single =
      binary(BinaryOp::MTimes, typed(zySINGLE_CLASS, {1, 2}, {1, 2}).get(), M({{3}, {4}}).get());
  EXPECT_EQ(classOf(single.get()), "single");
  EXPECT_EQ(values(single.get()), std::vector<double>{11});
}

TEST(OpsSolve, PivotingLeastSquaresSingularAndComplexSystems) {
  ArrayPtr a = M({{2, 1}, {1, 3}});
  // Pivoting matters: the first pivot is zero.
  expectNear(
      values(binary(BinaryOp::MLDivide, M({{0, 1}, {1, 0}}).get(), M({{2}, {3}}).get()).get()),
      {3, 2});
  // Overdetermined: the line through (0,1), (1,3), (2,5) fits exactly as 1 + 2x.
  ArrayPtr design = M({{1, 0}, {1, 1}, {1, 2}});
  expectNear(values(binary(BinaryOp::MLDivide, design.get(), M({{1}, {3}, {5}}).get()).get()),
             {1, 2});
  // Noisy points: the least-squares fit of (0,0), (1,1), (2,1) is 1/6 + x/2.
  expectNear(values(binary(BinaryOp::MLDivide, design.get(), M({{0}, {1}, {1}}).get()).get()),
             {1.0 / 6, 0.5});
  // Underdetermined: the minimum-norm solution of x + y = 2 is (1, 1).
  expectNear(values(binary(BinaryOp::MLDivide, R({1, 1}).get(), S(2).get()).get()), {1, 1});
  ArrayPtr singular = binary(BinaryOp::MLDivide, M({{1, 2}, {2, 4}}).get(), M({{1}, {2}}).get());
  const std::vector<double> x = values(singular.get());
  EXPECT_FALSE(std::isfinite(x[0]) && std::isfinite(x[1]));
  EXPECT_EQ(errorOf([&] {
              binary(BinaryOp::MLDivide, a.get(), R({1, 2, 3}).get());
            }),
            "Q:innerDimensions");
  // Complex system: (1+i) x = 2 gives 1 - i.
  ArrayPtr z = binary(BinaryOp::MLDivide, complexArray({1, 0, 0, 1}, {1, 0, 0, 0}, {2, 2}).get(),
                      M({{2}, {1}}).get());
  expectNear(values(z.get()), {1, 1});
  expectNear(imagValues(z.get()), {-1, 0});
}

TEST(OpsMatrixFunctions, InverseDeterminantAndPowers) {
  ArrayPtr a = M({{4, 7}, {2, 6}});
  expectNear(values(call("inv", {a.get()}).get()), {0.6, -0.2, -0.7, 0.4});
  ArrayPtr singularInverse = call("inv", {M({{1, 2}, {2, 4}}).get()});
  for (double value : values(singularInverse.get())) EXPECT_TRUE(std::isinf(value));
  EXPECT_EQ(errorOf([] { call("inv", {M({{1, 2, 3}}).get()}); }), "Q:squareMatrix");
  EXPECT_EQ(errorOf([] { call("inv", {typed(zyINT8_CLASS, {1}).get()}); }), "Q:invalidInput");

  expectNear(values(call("det", {M({{0, 1}, {1, 0}}).get()}).get()), {-1});  // one row swap
  EXPECT_EQ(values(call("det", {detail::emptyDouble().get()}).get()), std::vector<double>{1});
  ArrayPtr complexDet = call("det", {complexArray({0}, {2}).get()});
  EXPECT_EQ(imagValues(complexDet.get()), std::vector<double>{2});

  expectNear(values(binary(BinaryOp::MPower, a.get(), S(-1).get()).get()), {0.6, -0.2, -0.7, 0.4});
  EXPECT_EQ(values(binary(BinaryOp::MPower, a.get(), S(0).get()).get()),
            (std::vector<double>{1, 0, 0, 1}));
  EXPECT_EQ(errorOf([&] { binary(BinaryOp::MPower, a.get(), S(0.5).get()); }),
            "Q:mpowerUnsupported");
  EXPECT_EQ(errorOf([&] { binary(BinaryOp::MPower, S(2).get(), a.get()); }), "Q:mpowerUnsupported");
}

TEST(OpsNorm, VectorAndMatrixNorms) {
  auto norm = [](const ArrayPtr& a, ArrayPtr p = nullptr) {
    return p ? values(call("norm", {a.get(), p.get()}).get())[0]
             : values(call("norm", {a.get()}).get())[0];
  };
  ArrayPtr v = R({3, -4});
  EXPECT_EQ(norm(v, S(-INFINITY)), 3);
  EXPECT_NEAR(norm(v, S(3)), std::cbrt(91.0), 1e-12);
  EXPECT_DOUBLE_EQ(norm(R({3e200, 4e200})), 5e200);  // no overflow on the way
  ArrayPtr a = M({{1, 2}, {3, 4}});
  EXPECT_NEAR(norm(a), 5.464985704219043, 1e-12);
  EXPECT_EQ(norm(a, S(1)), 6);
  EXPECT_EQ(norm(a, T("inf")), 7);
  EXPECT_NEAR(norm(a, T("fro")), std::sqrt(30.0), 1e-12);
  EXPECT_TRUE(std::isnan(norm(M({{1, NAN}, {0, 1}}))));
  EXPECT_EQ(norm(detail::emptyDouble()), 0);
  EXPECT_NEAR(norm(complexArray({3, 0}, {0, 4})), 5, 1e-12);
  EXPECT_EQ(errorOf([&] { norm(a, S(3)); }), "Q:invalidInput");
}

// The library is opened by name when first needed; one that cannot be opened, or lacks a function
// the operations call, is reported by name (the operations then raise "Q:blasUnavailable").
TEST(OpsBlasLoading, NamesWhatIsMissing) {
  EXPECT_EQ(detail::probeBlasLibrary("libopenblas.so.0"), "");
  EXPECT_THAT(detail::probeBlasLibrary("librtkkvn-no-such-blas.so.0"),
              ::testing::StartsWith("cannot load librtkkvn-no-such-blas.so.0: "));
  EXPECT_EQ(detail::probeBlasLibrary("libc.so.6"), "libc.so.6 has no function cblas_dgemm");
}

}  // namespace
}  // namespace q::ops
