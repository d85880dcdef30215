#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"
#include "zy/sample_arrays_test.hpp"

namespace {

using Array = matrix::unique_array;
using zy::testing::filled;

TEST(ZyIdentical, EverySampleEqualsItsCopiesAndNoOtherSample) {
  const auto samples = zy::testing::sampleArrays();
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(samples[i].name);
    Array duplicate(zyDuplicateArray(samples[i].array.get()));
    Array shared(zyCreateSharedDataCopy(samples[i].array.get()));
    EXPECT_TRUE(zyIsIdentical(duplicate.get(), samples[i].array.get()));
    EXPECT_TRUE(zyIsIdentical(samples[i].array.get(), shared.get()));
    for (size_t j = 0; j < samples.size(); ++j) {
      if (j == i) continue;
      EXPECT_FALSE(zyIsIdentical(samples[i].array.get(), samples[j].array.get()))
          << samples[j].name;
    }
  }
}

TEST(ZyIdentical, ComparesBitsShapeClassComplexityAndFieldOrder) {
  Array nan1 = filled<double>(1, 1, zyDOUBLE_CLASS, zyREAL, {NAN});
  Array nan2 = filled<double>(1, 1, zyDOUBLE_CLASS, zyREAL, {NAN});
  EXPECT_TRUE(zyIsIdentical(nan1.get(), nan2.get()));
  Array zero = filled<double>(1, 1, zyDOUBLE_CLASS, zyREAL, {0.0});
  Array negativeZero = filled<double>(1, 1, zyDOUBLE_CLASS, zyREAL, {-0.0});
  EXPECT_FALSE(zyIsIdentical(zero.get(), negativeZero.get()));
  Array row = filled<double>(1, 2, zyDOUBLE_CLASS, zyREAL, {1, 2});
  Array column = filled<double>(2, 1, zyDOUBLE_CLASS, zyREAL, {1, 2});
  EXPECT_FALSE(zyIsIdentical(row.get(), column.get()));
  Array complex = filled<double>(1, 2, zyDOUBLE_CLASS, zyCOMPLEX, {1, 2}, {0, 0});
  EXPECT_FALSE(zyIsIdentical(row.get(), complex.get()));
  Array singles = filled<float>(1, 2, zySINGLE_CLASS, zyREAL, {1, 2});
  EXPECT_FALSE(zyIsIdentical(row.get(), singles.get()));
  Array imaginary = filled<double>(1, 2, zyDOUBLE_CLASS, zyCOMPLEX, {1, 2}, {0, 1});
  EXPECT_FALSE(zyIsIdentical(imaginary.get(), complex.get()));
  const char* ab[] = {"a", "b"};
  const char* ba[] = {"b", "a"};
  Array first(zyCreateStructMatrix(1, 1, 2, ab)), second(zyCreateStructMatrix(1, 1, 2, ba));
  EXPECT_FALSE(zyIsIdentical(first.get(), second.get())) << "field order matters";
}

TEST(ZyIdentical, EmptySlotsEqualTheEmptyDouble) {
  Array withNull(zyCreateCellMatrix(1, 1));
  Array withEmpty(zyCreateCellMatrix(1, 1));
  zySetCell(withEmpty.get(), 0, zyCreateDoubleMatrix(0, 0, zyREAL));
  EXPECT_TRUE(zyIsIdentical(withNull.get(), withEmpty.get()));
  Array withText(zyCreateCellMatrix(1, 1));
  zySetCell(withText.get(), 0, zyCreateString(""));
  EXPECT_FALSE(zyIsIdentical(withNull.get(), withText.get()));
  EXPECT_TRUE(zyIsIdentical(nullptr, nullptr));
}

}  // namespace
