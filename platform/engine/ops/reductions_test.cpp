// Reductions, sorting and searching. Their ordinary results (sums and means along a dimension,
// empties, min and max with indices and NaN, cumsum, diff, sort with ties and NaN, find, any and
// all) are pinned by tests/q/cases (features_math.q, builtins.q, features_integers.q); these
// tests keep N-d dimensions, saturation order, complex inputs, sparse inputs and error paths.

#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(OpsSums, DimensionsClassesAndErrors) {
  ArrayPtr a = M({{1, 2, 3}, {4, 5, 6}});
  EXPECT_EQ(values(call("sum", {a.get(), S(3).get()}).get()), values(a.get()));
  ArrayPtr cube = detail::createDouble({2, 2, 2});
  for (int i = 0; i < 8; ++i) zyGetPr(cube.get())[i] = i;
  EXPECT_EQ(values(call("sum", {cube.get(), S(3).get()}).get()),
            (std::vector<double>{4, 6, 8, 10}));
  EXPECT_EQ(values(call("sum", {detail::createDouble({0, 3}).get()}).get()),
            (std::vector<double>{0, 0, 0}));
  // Integers sum in double and saturate into their class at the end, not on the way.
  ArrayPtr byteSum = call("sum", {typed(zyINT8_CLASS, {100, 100, -100}).get()});
  EXPECT_EQ(classOf(byteSum.get()), "int8");
  EXPECT_EQ(values(byteSum.get()), std::vector<double>{100});
  // Running sums saturate at every step.
  EXPECT_EQ(values(call("cumsum", {typed(zyINT8_CLASS, {100, 100, -50}).get()}).get()),
            (std::vector<double>{100, 127, 127}));
  EXPECT_EQ(values(call("prod", {M({{1, 2}, {3, 4}}).get(), S(2).get()}).get()),
            (std::vector<double>{2, 12}));
  EXPECT_EQ(classOf(call("sum", {typed(zyLOGICAL_CLASS, {1, 1}).get()}).get()), "double");
  EXPECT_EQ(classOf(call("prod", {typed(zySINGLE_CLASS, {2, 3}).get()}).get()), "single");
  EXPECT_TRUE(std::isnan(values(call("sum", {R({1, nan}).get()}).get())[0]));
  ArrayPtr complexSum = call("sum", {complexArray({1, 2}, {3, -3}).get()});
  EXPECT_FALSE(zyIsComplex(complexSum.get()));
  EXPECT_EQ(values(complexSum.get()), std::vector<double>{3});
  EXPECT_EQ(errorOf([] { call("sum", {cellOf().get()}); }), "Q:undefinedFunction");
  EXPECT_EQ(errorOf([&] { call("sum", {a.get(), S(0).get()}); }), "Q:invalidDimension");
}

TEST(OpsExtremes, ComplexByMagnitudeAndOutputCount) {
  ArrayPtr z = call("max", {complexArray({3, 0}, {0, -4}).get()});
  EXPECT_EQ(imagValues(z.get()), std::vector<double>{-4});
  ArrayPtr a = M({{3, nan, 1}, {2, nan, 5}});
  EXPECT_EQ(errorOf([&] { callN("max", {a.get(), a.get()}, 2); }), "Q:TooManyOutputs");
}

// any and all skip NaN, as they skip nothing else.
TEST(OpsTruth, AnyAllSkipNaN) {
  EXPECT_EQ(values(call("any", {R({nan, 0}).get()}).get()), std::vector<double>{0});
  EXPECT_EQ(values(call("all", {R({nan, 1}).get()}).get()), std::vector<double>{1});
  EXPECT_EQ(classOf(call("any", {M({{0, 1}}).get()}).get()), "logical");
}

TEST(OpsDifferences, DiffAlongDimensionsAndDot) {
  ArrayPtr a = M({{1, 2}, {4, 8}});
  ArrayPtr across = call("diff", {a.get(), S(1).get(), S(2).get()});
  EXPECT_EQ(dims(across.get()), (Dims{2, 1}));
  EXPECT_EQ(values(across.get()), (std::vector<double>{1, 4}));
  EXPECT_EQ(dims(call("diff", {R({5, 6}).get(), S(2).get()}).get()), (Dims{1, 0}));
  EXPECT_EQ(values(call("dot", {a.get(), a.get()}).get()), (std::vector<double>{17, 68}));
  ArrayPtr z = complexArray({0}, {1});
  EXPECT_EQ(values(call("dot", {z.get(), z.get()}).get()), std::vector<double>{1});  // conj(i)*i
  EXPECT_EQ(errorOf([] { call("dot", {R({1, 2}).get(), R({1, 2, 3}).get()}); }), "Q:sizeMismatch");
}

TEST(OpsSort, KeepsTheClassAndRefusesUnknownModes) {
  EXPECT_EQ(classOf(call("sort", {typed(zyINT16_CLASS, {3, -1}).get()}).get()), "int16");
  EXPECT_EQ(errorOf([] { call("sort", {R({1}).get(), T("sideways")}); }), "Q:invalidInput");
}

TEST(OpsFind, OrientationValuesAndSparseInputs) {
  ArrayPtr matrix = M({{0, 2}, {3, 0}});
  EXPECT_EQ(dims(call("find", {matrix.get()}).get()), (Dims{2, 1}));
  std::vector<ArrayPtr> rc = callN("find", {matrix.get()}, 3);
  EXPECT_EQ(values(rc[0].get()), (std::vector<double>{2, 1}));
  EXPECT_EQ(values(rc[1].get()), (std::vector<double>{1, 2}));
  EXPECT_EQ(values(rc[2].get()), (std::vector<double>{3, 2}));
  struct Case {
    Dims in, found;
  } empties[] = {{{0, 0}, {0, 0}}, {{1, 1}, {1, 0}}, {{3, 1}, {0, 1}}};
  for (const Case& c : empties) {
    EXPECT_EQ(dims(call("find", {detail::createDouble(c.in).get()}).get()), c.found);
  }
  // Sparse arrays are read from their stored elements; an explicitly stored zero is not found.
  const size_t rows[] = {0, 2, 1}, columns[] = {0, 0, 1};
  const double stored[] = {4, 5, 6};
  ArrayPtr sparse(
      zyCreateSparseFromTriplets(3, 2, 3, rows, columns, stored, nullptr, zyDOUBLE_CLASS, 3));
  zyGetPr(sparse.get())[1] = 0;
  EXPECT_EQ(values(call("find", {sparse.get()}).get()), (std::vector<double>{1, 5}));
  EXPECT_EQ(values(call("numel", {sparse.get()}).get()), std::vector<double>{6});
  EXPECT_EQ(values(call("size", {sparse.get()}).get()), (std::vector<double>{3, 2}));
  EXPECT_EQ(textOf(call("class", {sparse.get()}).get()), "double");
  EXPECT_EQ(values(call("sum", {sparse.get()}).get()), (std::vector<double>{4, 6}));
}

}  // namespace
}  // namespace q::ops
