#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();

TEST(OpsSums, DimensionsEmptiesAndClasses) {
  ArrayPtr a = M({{1, 2, 3}, {4, 5, 6}});
  ArrayPtr columns = call("sum", {a.get()});
  EXPECT_EQ(dims(columns.get()), (Dims{1, 3}));
  EXPECT_EQ(values(columns.get()), (std::vector<double>{5, 7, 9}));
  ArrayPtr rows = call("sum", {a.get(), S(2).get()});
  EXPECT_EQ(dims(rows.get()), (Dims{2, 1}));
  EXPECT_EQ(values(rows.get()), (std::vector<double>{6, 15}));
  EXPECT_EQ(values(call("sum", {a.get(), S(3).get()}).get()), values(a.get()));
  EXPECT_EQ(values(call("sum", {R({1, 2, 3}).get()}).get()), std::vector<double>{6});
  ArrayPtr cube = detail::createDouble({2, 2, 2});
  for (int i = 0; i < 8; ++i) zyGetPr(cube.get())[i] = i;
  EXPECT_EQ(values(call("sum", {cube.get(), S(3).get()}).get()),
            (std::vector<double>{4, 6, 8, 10}));

  EXPECT_EQ(values(call("sum", {detail::emptyDouble().get()}).get()), std::vector<double>{0});
  EXPECT_EQ(values(call("prod", {detail::emptyDouble().get()}).get()), std::vector<double>{1});
  EXPECT_TRUE(std::isnan(values(call("mean", {detail::emptyDouble().get()}).get())[0]));
  EXPECT_EQ(values(call("sum", {detail::createDouble({0, 3}).get()}).get()),
            (std::vector<double>{0, 0, 0}));

  // Integers sum in double and saturate into their class at the end.
  ArrayPtr bytes = typed(zyINT8_CLASS, {100, 100, -100});
  ArrayPtr byteSum = call("sum", {bytes.get()});
  EXPECT_EQ(classOf(byteSum.get()), "int8");
  EXPECT_EQ(values(byteSum.get()), std::vector<double>{100});
  EXPECT_EQ(values(call("sum", {typed(zyUINT8_CLASS, {200, 100}).get()}).get()),
            std::vector<double>{255});
  ArrayPtr mean = call("mean", {typed(zyINT16_CLASS, {1, 2}).get()});
  EXPECT_EQ(classOf(mean.get()), "double");
  EXPECT_EQ(values(mean.get()), std::vector<double>{1.5});
  EXPECT_EQ(classOf(call("sum", {typed(zyLOGICAL_CLASS, {1, 1}).get()}).get()), "double");
  EXPECT_EQ(classOf(call("prod", {typed(zySINGLE_CLASS, {2, 3}).get()}).get()), "single");
  // NaN propagates through sums.
  EXPECT_TRUE(std::isnan(values(call("sum", {R({1, nan}).get()}).get())[0]));
  ArrayPtr complexSum = call("sum", {complexArray({1, 2}, {3, -3}).get()});
  EXPECT_FALSE(zyIsComplex(complexSum.get()));
  EXPECT_EQ(values(complexSum.get()), std::vector<double>{3});
  EXPECT_EQ(errorOf([] { call("sum", {cellOf().get()}); }), "Q:undefinedFunction");
  EXPECT_EQ(errorOf([&] { call("sum", {a.get(), S(0).get()}); }), "Q:invalidDimension");
}

TEST(OpsSums, RunningSumsAndProducts) {
  ArrayPtr a = M({{1, 2}, {3, 4}});
  EXPECT_EQ(values(call("cumsum", {a.get()}).get()), (std::vector<double>{1, 4, 2, 6}));
  EXPECT_EQ(values(call("cumsum", {a.get(), S(2).get()}).get()), (std::vector<double>{1, 3, 3, 7}));
  EXPECT_EQ(values(call("cumprod", {R({1, 2, 3, 4}).get()}).get()),
            (std::vector<double>{1, 2, 6, 24}));
  EXPECT_EQ(values(call("prod", {a.get(), S(2).get()}).get()), (std::vector<double>{2, 12}));
  EXPECT_EQ(values(call("cumsum", {typed(zyINT8_CLASS, {100, 100, -50}).get()}).get()),
            (std::vector<double>{100, 127, 127}));
  EXPECT_EQ(values(call("mean", {a.get(), S(2).get()}).get()), (std::vector<double>{1.5, 3.5}));
}

TEST(OpsExtremes, NaNIndicesDimensionsAndComplex) {
  ArrayPtr a = M({{3, nan, 1}, {2, nan, 5}});
  std::vector<ArrayPtr> max = callN("max", {a.get()}, 2);
  const std::vector<double> best = values(max[0].get());
  EXPECT_EQ(best[0], 3);
  EXPECT_TRUE(std::isnan(best[1]));  // a column of NaN only
  EXPECT_EQ(best[2], 5);
  EXPECT_EQ(values(max[1].get()), (std::vector<double>{1, 1, 2}));
  std::vector<ArrayPtr> min = callN("min", {a.get(), detail::emptyDouble().get(), S(2).get()}, 2);
  EXPECT_EQ(values(min[0].get()), (std::vector<double>{1, 2}));
  EXPECT_EQ(values(min[1].get()), (std::vector<double>{3, 1}));
  // The first of equal values wins.
  EXPECT_EQ(values(callN("max", {R({4, 9, 9}).get()}, 2)[1].get()), std::vector<double>{2});
  ArrayPtr bytes = call("max", {typed(zyUINT8_CLASS, {7, 250, 3}).get()});
  EXPECT_EQ(classOf(bytes.get()), "uint8");
  EXPECT_EQ(values(bytes.get()), std::vector<double>{250});
  EXPECT_EQ(dims(call("max", {detail::emptyDouble().get()}).get()), (Dims{0, 0}));
  // Complex values compare by magnitude.
  ArrayPtr z = call("max", {complexArray({3, 0}, {0, -4}).get()});
  EXPECT_EQ(imagValues(z.get()), std::vector<double>{-4});
  EXPECT_EQ(errorOf([&] { callN("max", {a.get(), a.get()}, 2); }), "Q:TooManyOutputs");
}

TEST(OpsTruth, AnyAllAlongDimensions) {
  ArrayPtr a = M({{0, 1, 0}, {0, 1, 2}});
  EXPECT_EQ(values(call("any", {a.get()}).get()), (std::vector<double>{0, 1, 1}));
  EXPECT_EQ(values(call("all", {a.get()}).get()), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(values(call("any", {a.get(), S(2).get()}).get()), (std::vector<double>{1, 1}));
  EXPECT_EQ(values(call("all", {detail::emptyDouble().get()}).get()), std::vector<double>{1});
  EXPECT_EQ(values(call("any", {detail::emptyDouble().get()}).get()), std::vector<double>{0});
  EXPECT_EQ(values(call("any", {R({nan, 0}).get()}).get()), std::vector<double>{0});
  EXPECT_EQ(values(call("all", {R({nan, 1}).get()}).get()), std::vector<double>{1});
  EXPECT_EQ(classOf(call("any", {a.get()}).get()), "logical");
}

TEST(OpsDifferences, DiffAndDot) {
  EXPECT_EQ(values(call("diff", {R({1, 4, 9, 16}).get()}).get()), (std::vector<double>{3, 5, 7}));
  EXPECT_EQ(values(call("diff", {R({1, 4, 9, 16}).get(), S(2).get()}).get()),
            (std::vector<double>{2, 2}));
  ArrayPtr a = M({{1, 2}, {4, 8}});
  EXPECT_EQ(values(call("diff", {a.get()}).get()), (std::vector<double>{3, 6}));
  ArrayPtr across = call("diff", {a.get(), S(1).get(), S(2).get()});
  EXPECT_EQ(dims(across.get()), (Dims{2, 1}));
  EXPECT_EQ(values(across.get()), (std::vector<double>{1, 4}));
  EXPECT_EQ(dims(call("diff", {R({5, 6}).get(), S(2).get()}).get()), (Dims{1, 0}));
  EXPECT_EQ(values(call("diff", {typed(zyUINT8_CLASS, {5, 3}).get()}).get()),
            std::vector<double>{0});

  EXPECT_EQ(values(call("dot", {R({1, 2, 3}).get(), M({{4}, {5}, {6}}).get()}).get()),
            std::vector<double>{32});
  EXPECT_EQ(values(call("dot", {a.get(), a.get()}).get()), (std::vector<double>{17, 68}));
  ArrayPtr z = complexArray({0}, {1});
  EXPECT_EQ(values(call("dot", {z.get(), z.get()}).get()), std::vector<double>{1});  // conj(i)*i
  EXPECT_EQ(errorOf([] { call("dot", {R({1, 2}).get(), R({1, 2, 3}).get()}); }), "Q:sizeMismatch");
}

TEST(OpsSort, StableOrderIndicesAndNaN) {
  std::vector<ArrayPtr> sorted = callN("sort", {R({3, 1, 2, 1}).get()}, 2);
  EXPECT_EQ(values(sorted[0].get()), (std::vector<double>{1, 1, 2, 3}));
  EXPECT_EQ(values(sorted[1].get()), (std::vector<double>{2, 4, 3, 1}));  // stable among equals
  std::vector<ArrayPtr> down = callN("sort", {R({3, 1, 3, 2}).get(), T("descend")}, 2);
  EXPECT_EQ(values(down[0].get()), (std::vector<double>{3, 3, 2, 1}));
  EXPECT_EQ(values(down[1].get()), (std::vector<double>{1, 3, 4, 2}));
  const std::vector<double> up = values(call("sort", {R({nan, 2, 1}).get()}).get());
  EXPECT_EQ(up[0], 1);
  EXPECT_TRUE(std::isnan(up[2]));
  EXPECT_TRUE(std::isnan(values(call("sort", {R({2, nan}).get(), T("descend")}).get())[0]));
  ArrayPtr matrix = M({{3, 1}, {1, 2}});
  EXPECT_EQ(values(call("sort", {matrix.get()}).get()), (std::vector<double>{1, 3, 1, 2}));
  EXPECT_EQ(values(call("sort", {matrix.get(), S(2).get()}).get()),
            (std::vector<double>{1, 1, 3, 2}));
  ArrayPtr letters = call("sort", {T("banana")});
  EXPECT_EQ(textOf(letters.get()), "aaabnn");
  ArrayPtr names = call("sort", {cellOf(T("pear"), T("apple"), T("fig")).get()});
  EXPECT_EQ(textOf(zyGetCellConst(names.get(), 0)), "apple");
  EXPECT_EQ(textOf(zyGetCellConst(names.get(), 2)), "pear");
  EXPECT_EQ(classOf(call("sort", {typed(zyINT16_CLASS, {3, -1}).get()}).get()), "int16");
  EXPECT_EQ(errorOf([] { call("sort", {R({1}).get(), T("sideways")}); }), "Q:invalidInput");
}

TEST(OpsFind, FormsAndOrientation) {
  ArrayPtr row = R({0, 3, 0, 5, 7});
  ArrayPtr found = call("find", {row.get()});
  EXPECT_EQ(dims(found.get()), (Dims{1, 3}));
  EXPECT_EQ(values(found.get()), (std::vector<double>{2, 4, 5}));
  EXPECT_EQ(values(call("find", {row.get(), S(2).get()}).get()), (std::vector<double>{2, 4}));
  EXPECT_EQ(values(call("find", {row.get(), S(1).get(), T("last")}).get()), std::vector<double>{5});
  ArrayPtr matrix = M({{0, 2}, {3, 0}});
  EXPECT_EQ(dims(call("find", {matrix.get()}).get()), (Dims{2, 1}));
  std::vector<ArrayPtr> rc = callN("find", {matrix.get()}, 3);
  EXPECT_EQ(values(rc[0].get()), (std::vector<double>{2, 1}));
  EXPECT_EQ(values(rc[1].get()), (std::vector<double>{1, 2}));
  EXPECT_EQ(values(rc[2].get()), (std::vector<double>{3, 2}));
  EXPECT_EQ(dims(call("find", {detail::emptyDouble().get()}).get()), (Dims{0, 0}));
  EXPECT_EQ(dims(call("find", {S(0).get()}).get()), (Dims{1, 0}));
  EXPECT_EQ(dims(call("find", {detail::createDouble({3, 1}).get()}).get()), (Dims{0, 1}));
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
