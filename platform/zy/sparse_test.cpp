#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"

namespace {

using Array = matrix::unique_array;

std::vector<size_t> irOf(const zyArray* array) {
  return std::vector<size_t>(zyGetIrConst(array),
                             zyGetIrConst(array) + zyGetNumberOfNonzeros(array));
}
std::vector<size_t> jcOf(const zyArray* array) {
  return std::vector<size_t>(zyGetJcConst(array), zyGetJcConst(array) + zyGetN(array) + 1);
}
std::vector<double> valuesOf(const zyArray* array, bool imaginary = false) {
  const auto* data =
      static_cast<const double*>(imaginary ? zyGetImagDataConst(array) : zyGetDataConst(array));
  return std::vector<double>(data, data + zyGetNumberOfNonzeros(array));
}

TEST(ZySparse, CreateGivesEmptyColumnsWithRoom) {
  Array sparse(zyCreateSparse(4, 3, 10, zyCOMPLEX));
  ASSERT_NE(sparse, nullptr);
  EXPECT_TRUE(zyIsSparse(sparse.get()));
  EXPECT_TRUE(zyIsComplex(sparse.get()));
  EXPECT_EQ(zyGetNzmax(sparse.get()), 10u);
  EXPECT_EQ(jcOf(sparse.get()), (std::vector<size_t>{0, 0, 0, 0}));
  Array none(zyCreateSparseLogicalMatrix(2, 2, 0));
  EXPECT_EQ(zyGetNzmax(none.get()), 1u) << "there is always room for one element";
  EXPECT_EQ(zyGetIrConst(Array(zyCreateDoubleScalar(1)).get()), nullptr);
}

TEST(ZySparse, TripletsAreOrderedByColumnThenRowAndSummed) {
  const size_t rows[] = {2, 0, 1, 0, 2, 0};
  const size_t columns[] = {1, 1, 0, 1, 1, 2};
  const double real[] = {1, 2, 3, 4, 5, 6};
  Array sparse(
      zyCreateSparseFromTriplets(3, 3, 6, rows, columns, real, nullptr, zyDOUBLE_CLASS, 0));
  ASSERT_NE(sparse, nullptr);
  EXPECT_EQ(jcOf(sparse.get()), (std::vector<size_t>{0, 1, 3, 4}));
  EXPECT_EQ(irOf(sparse.get()), (std::vector<size_t>{1, 0, 2, 0}));
  EXPECT_EQ(valuesOf(sparse.get()), (std::vector<double>{3, 2 + 4, 1 + 5, 6}));
  EXPECT_EQ(zyGetNzmax(sparse.get()), 6u) << "room for every element given";
}

TEST(ZySparse, ZerosAreLeftOutNaNsKeptAndSumsToZeroStored) {
  const size_t rows[] = {0, 1, 2, 2, 0};
  const size_t columns[] = {0, 0, 0, 0, 1};
  const double real[] = {0, NAN, 1, -1, -0.0};
  const double imag[] = {0, 0, 0, 0, 0};
  Array sparse(zyCreateSparseFromTriplets(3, 2, 5, rows, columns, real, imag, zyDOUBLE_CLASS, 9));
  ASSERT_NE(sparse, nullptr);
  EXPECT_EQ(irOf(sparse.get()), (std::vector<size_t>{1, 2}));
  EXPECT_TRUE(std::isnan(valuesOf(sparse.get())[0]));
  EXPECT_EQ(valuesOf(sparse.get())[1], 0) << "1 + -1 is summed after zeros were left out";
  EXPECT_EQ(zyGetNzmax(sparse.get()), 9u);
  EXPECT_TRUE(zyIsComplex(sparse.get()));

  const size_t imagRow[] = {1}, imagColumn[] = {1};
  const double zero[] = {0}, two[] = {2};
  Array onlyImaginary(
      zyCreateSparseFromTriplets(2, 2, 1, imagRow, imagColumn, zero, two, zyDOUBLE_CLASS, 0));
  EXPECT_EQ(zyGetNumberOfNonzeros(onlyImaginary.get()), 1u)
      << "an element is zero only when both parts are";
  EXPECT_EQ(valuesOf(onlyImaginary.get(), true), (std::vector<double>{2}));
}

TEST(ZySparse, LogicalTripletsCombineWithOr) {
  const size_t rows[] = {1, 1, 0};
  const size_t columns[] = {0, 0, 0};
  const zyLogical values[] = {1, 5, 0};
  Array sparse(
      zyCreateSparseFromTriplets(2, 1, 3, rows, columns, values, nullptr, zyLOGICAL_CLASS, 0));
  ASSERT_NE(sparse, nullptr);
  EXPECT_EQ(irOf(sparse.get()), (std::vector<size_t>{1}));
  EXPECT_EQ(static_cast<const zyLogical*>(zyGetDataConst(sparse.get()))[0], 1);
}

TEST(ZySparse, BadTripletsAreRefused) {
  const size_t rows[] = {3}, columns[] = {0};
  const double one[] = {1};
  EXPECT_EQ(zyCreateSparseFromTriplets(3, 3, 1, rows, columns, one, nullptr, zyDOUBLE_CLASS, 0),
            nullptr)
      << "row outside the array";
  EXPECT_EQ(zyCreateSparseFromTriplets(4, 4, 1, rows, columns, one, nullptr, zyINT32_CLASS, 0),
            nullptr);
  EXPECT_EQ(zyCreateSparseFromTriplets(4, 4, 1, nullptr, columns, one, nullptr, zyDOUBLE_CLASS, 0),
            nullptr);
  EXPECT_EQ(zyCreateSparseFromTriplets(4, 4, 1, rows, columns, one, one, zyLOGICAL_CLASS, 0),
            nullptr);
  Array empty(
      zyCreateSparseFromTriplets(4, 4, 0, nullptr, nullptr, nullptr, nullptr, zyDOUBLE_CLASS, 0));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(zyGetNumberOfNonzeros(empty.get()), 0u);
}

TEST(ZySparse, NzmaxGrowsAndShrinksButNeverBelowTheStoredElements) {
  const size_t rows[] = {0, 1}, columns[] = {0, 1};
  const double values[] = {7, 8};
  Array sparse(
      zyCreateSparseFromTriplets(2, 2, 2, rows, columns, values, nullptr, zyDOUBLE_CLASS, 2));
  ASSERT_EQ(zySetNzmax(sparse.get(), 100), 0);
  EXPECT_EQ(zyGetNzmax(sparse.get()), 100u);
  EXPECT_EQ(valuesOf(sparse.get()), (std::vector<double>{7, 8}));
  EXPECT_EQ(zySetNzmax(sparse.get(), 1), -1);
  ASSERT_EQ(zySetNzmax(sparse.get(), 2), 0);
  EXPECT_EQ(irOf(sparse.get()), (std::vector<size_t>{0, 1}));
}

TEST(ZySparse, WritesToASharedSparseArrayStayPrivate) {
  const size_t rows[] = {0}, columns[] = {0};
  const double values[] = {1};
  Array sparse(
      zyCreateSparseFromTriplets(2, 2, 1, rows, columns, values, nullptr, zyDOUBLE_CLASS, 4));
  Array twin(zyCreateSharedDataCopy(sparse.get()));
  EXPECT_EQ(zyGetIrConst(twin.get()), zyGetIrConst(sparse.get()));
  // Insert an element at (1,1) in the twin through the raw storage.
  size_t* ir = zyGetIr(twin.get());
  size_t* jc = zyGetJc(twin.get());
  double* pr = zyGetPr(twin.get());
  ir[1] = 1;
  pr[1] = 9;
  jc[2] = 2;
  EXPECT_EQ(zyGetNumberOfNonzeros(twin.get()), 2u);
  EXPECT_EQ(zyGetNumberOfNonzeros(sparse.get()), 1u);
  EXPECT_EQ(zyGetNzmax(twin.get()), 4u) << "the private copy keeps the room";
  EXPECT_FALSE(zyIsIdentical(twin.get(), sparse.get()));
}

}  // namespace
