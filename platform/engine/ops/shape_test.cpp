// Array construction, shape queries, reshaping and concatenation. Ordinary results (zeros,
// ones, eye, true and false with classes, size with outputs, reshape, repmat, squeeze, cat and
// the class rules of brackets) are pinned by tests/q/cases (builtins.q, features_math.q,
// features_types.q, features_builtins2.q, features_integers.q); these keep the rare forms, data
// sharing, sparse and struct operands and the error paths.

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

TEST(OpsConstruction, FilledArraysWithSizesAndClasses) {
  struct Case {
    const char* function;
    std::vector<ArrayPtr> args;
    Dims dims;
    const char* cls;
    double first;
  };
  std::vector<Case> cases;
  cases.push_back({"zeros", list(), {1, 1}, "double", 0});
  cases.push_back({"ones", list(R({2, 1, 3})), {2, 1, 3}, "double", 1});
  cases.push_back({"ones", list(S(-2), S(4)), {0, 4}, "double", 0});
  cases.push_back({"eye", list(S(2), S(3), T("uint16")), {2, 3}, "uint16", 1});
  cases.push_back({"Inf", list(S(1), S(2), T("single")), {1, 2}, "single", INFINITY});
  for (Case& c : cases) {
    SCOPED_TRACE(c.function);
    std::vector<const zyArray*> args;
    for (const ArrayPtr& a : c.args) args.push_back(a.get());
    ArrayPtr out = std::move(callVector(c.function, args)[0]);
    EXPECT_EQ(dims(out.get()), c.dims);
    EXPECT_EQ(classOf(out.get()), c.cls);
    if (out->numberOfElements()) {
      EXPECT_EQ(values(out.get())[0], c.first);
    }
  }
  EXPECT_EQ(errorOf([] { call("zeros", {S(1.5)}); }), "Q:invalidSize");
  EXPECT_EQ(errorOf([] { call("ones", {S(2), T("cell")}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("NaN", {S(2), T("int8")}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("zeros", {S(1e8), S(1e8), S(1e8)}); }), "Q:outOfMemory");

  EXPECT_EQ(values(call("eps", {}).get())[0], std::numeric_limits<double>::epsilon());
  EXPECT_EQ(values(call("eps", {S(1024).get()}).get())[0],
            1024 * std::numeric_limits<double>::epsilon());
  EXPECT_EQ(values(call("eps", {T("single").get()}).get())[0],
            std::numeric_limits<float>::epsilon());
  EXPECT_EQ(values(call("eps", {S(0).get()}).get())[0], std::numeric_limits<double>::denorm_min());

  EXPECT_EQ(dims(call("linspace", {S(0).get(), S(1).get()}).get()), (Dims{1, 100}));
  EXPECT_EQ(values(call("linspace", {S(3).get(), S(7).get(), S(1).get()}).get()),
            std::vector<double>{7});
}

TEST(OpsShape, SizeQueries) {
  ArrayPtr a = detail::createDouble({2, 3, 4});
  EXPECT_EQ(values(call("size", {a.get(), S(7).get()}).get()), std::vector<double>{1});
  EXPECT_EQ(values(call("size", {a.get(), R({3, 1}).get()}).get()), (std::vector<double>{4, 2}));
  std::vector<ArrayPtr> four = callN("size", {a.get()}, 4);
  EXPECT_EQ(values(four[3].get()), std::vector<double>{1});
  EXPECT_EQ(values(call("length", {detail::createDouble({0, 5}).get()}).get()),
            std::vector<double>{0});
  struct Case {
    Dims dims;
    bool empty, scalar, vector, row, column;
  } cases[] = {
      {{1, 1}, false, true, true, true, true},   {{1, 4}, false, false, true, true, false},
      {{4, 1}, false, false, true, false, true}, {{2, 2}, false, false, false, false, false},
      {{1, 0}, true, false, true, true, false},  {{1, 1, 2}, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.dims));
    ArrayPtr x = detail::createDouble(c.dims);
    EXPECT_EQ(values(call("isempty", {x.get()}).get())[0], c.empty);
    EXPECT_EQ(values(call("isscalar", {x.get()}).get())[0], c.scalar);
    EXPECT_EQ(values(call("isvector", {x.get()}).get())[0], c.vector);
    EXPECT_EQ(values(call("isrow", {x.get()}).get())[0], c.row);
    EXPECT_EQ(values(call("iscolumn", {x.get()}).get())[0], c.column);
  }
}

TEST(OpsShape, ReshapePermuteSqueeze) {
  ArrayPtr a = M({{1, 2, 3}, {4, 5, 6}});
  ArrayPtr r = call("reshape", {a.get(), S(3).get(), S(2).get()});
  EXPECT_EQ(dims(r.get()), (Dims{3, 2}));
  EXPECT_EQ(zyGetDataConst(r.get()), zyGetDataConst(a.get()));  // shares, copies nothing
  EXPECT_EQ(dims(call("reshape", {a.get(), detail::emptyDouble().get(), S(1).get()}).get()),
            (Dims{6, 1}));
  EXPECT_EQ(dims(call("reshape", {a.get(), R({1, 2, 3}).get()}).get()), (Dims{1, 2, 3}));
  EXPECT_EQ(errorOf([&] { call("reshape", {a.get(), S(4).get(), S(2).get()}); }), "Q:reshapeCount");

  ArrayPtr cube = detail::createDouble({2, 3, 4});
  for (int i = 0; i < 24; ++i) zyGetPr(cube.get())[i] = i;
  ArrayPtr p = call("permute", {cube.get(), R({3, 1, 2}).get()});
  EXPECT_EQ(dims(p.get()), (Dims{4, 2, 3}));
  // p(k, i, j) = cube(i, j, k): p(2,1,1) is cube(1,1,2), linear 6.
  EXPECT_EQ(values(p.get())[1], 6);
  EXPECT_EQ(values(p.get())[4], 1);  // p(1,2,1) = cube(2,1,1)
  EXPECT_EQ(errorOf([&] { call("permute", {cube.get(), R({1, 2}).get()}); }), "Q:invalidInput");
  EXPECT_EQ(dims(call("squeeze", {detail::createDouble({1, 1, 5}).get()}).get()), (Dims{5, 1}));
  EXPECT_EQ(dims(call("squeeze", {detail::createDouble({1, 5}).get()}).get()), (Dims{1, 5}));
}

TEST(OpsShape, TransposeOfEveryKind) {
  ArrayPtr text = unary(UnaryOp::CTranspose, T("ab").get());
  EXPECT_EQ(dims(text.get()), (Dims{2, 1}));
  EXPECT_EQ(classOf(text.get()), "char");
  ArrayPtr cells = unary(UnaryOp::Transpose, cellShaped({2, 2}, S(1), T("x"), S(3), S(4)).get());
  EXPECT_EQ(textOf(zyGetCellConst(cells.get(), 2)), "x");
  const size_t rows[] = {0, 1}, columns[] = {2, 0};
  const double stored[] = {7, 8};
  ArrayPtr sparse(
      zyCreateSparseFromTriplets(2, 3, 2, rows, columns, stored, nullptr, zyDOUBLE_CLASS, 2));
  ArrayPtr sparseT = unary(UnaryOp::Transpose, sparse.get());
  EXPECT_TRUE(zyIsSparse(sparseT.get()));
  EXPECT_EQ(dims(sparseT.get()), (Dims{3, 2}));
  EXPECT_EQ(values(sparseT.get()), (std::vector<double>{0, 0, 7, 8, 0, 0}));
  EXPECT_EQ(errorOf([] {
              unary(UnaryOp::Transpose, detail::createDouble({2, 2, 2}).get());
            }),
            "Q:transposeND");
}

TEST(OpsConcatenation, ComplexEmptiesAndStructs) {
  ArrayPtr mixedComplex = concatenate({{S(1).get(), complexArray({2}, {3}).get()}});
  EXPECT_EQ(imagValues(mixedComplex.get()), (std::vector<double>{0, 3}));
  // [] is skipped; other empties only take part in the class.
  ArrayPtr skipped =
      concatenate({{detail::emptyDouble().get(), R({1, 2}).get()}, {detail::emptyDouble().get()}});
  EXPECT_EQ(dims(skipped.get()), (Dims{1, 2}));
  EXPECT_EQ(classOf(concatenate({{detail::text(std::string()).get(), S(65).get()}}).get()), "char");
  EXPECT_EQ(
      dims(concatenate({{detail::createDouble({1, 0}).get(), detail::createDouble({1, 0}).get()}})
               .get()),
      (Dims{1, 0}));

  const char* ab[] = {"a", "b"};
  const char* ba[] = {"b", "a"};
  const char* ac[] = {"a", "c"};
  ArrayPtr s1(zyCreateStructMatrix(1, 1, 2, ab)), s2(zyCreateStructMatrix(1, 1, 2, ba));
  zySetField(s2.get(), 0, "a", zyCreateDoubleScalar(42));
  ArrayPtr structs = concatenate({{s1.get(), s2.get()}});
  EXPECT_EQ(dims(structs.get()), (Dims{1, 2}));
  EXPECT_EQ(values(zyGetFieldConst(structs.get(), 1, "a")), std::vector<double>{42});
  ArrayPtr s3(zyCreateStructMatrix(1, 1, 2, ac));
  EXPECT_EQ(errorOf([&] { concatenate({{s1.get(), s3.get()}}); }), "Q:structFieldMismatch");
  EXPECT_EQ(errorOf([&] { concatenate({{s1.get(), S(1).get()}}); }), "Q:catClassMismatch");

  EXPECT_EQ(dims(call("horzcat", {}).get()), (Dims{0, 0}));
}

}  // namespace
}  // namespace q::ops
