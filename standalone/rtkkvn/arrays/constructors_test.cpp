// The exported constructors, conversions and raw element access.

#include <cstdlib>
#include <string>
#include <vector>

#include "rtkkvn/arrays/test_support.hpp"
#include "rtkkvn_array.h"

namespace rtkkvn::arrays::testing {
namespace {

class Constructors : public PooledObjectsTest {};

std::vector<size_t> dimensionsOf(array_ref* object) {
  auto dims = hold(array_ref_get_dimensions(object));
  std::vector<double> values = valuesOf(dims.get(), array_ref_number_of_elements(dims.get()));
  return std::vector<size_t>(values.begin(), values.end());
}

TEST_F(Constructors, ShapesAndClasses) {
  array_ref* out = nullptr;
  const size_t five[] = {5};
  ASSERT_EQ(rtkGetArray(&out, 1, five, zyINT16_CLASS, zyREAL), 0);
  auto row = hold(out);
  EXPECT_EQ(dimensionsOf(row.get()), (std::vector<size_t>{1, 5}));
  EXPECT_EQ(array_ref_classID(row.get()), zyINT16_CLASS);

  ASSERT_EQ(rtkGetArray(&out, 0, five, zyCELL_CLASS, zyREAL), 0);
  auto none = hold(out);
  EXPECT_EQ(dimensionsOf(none.get()), (std::vector<size_t>{0, 0}));
  EXPECT_EQ(array_ref_classID(none.get()), zyCELL_CLASS);

  ASSERT_EQ(rtkGetMatrix(&out, 4, 7, zyUNKNOWN_CLASS, zyREAL), 0);
  auto unknown = hold(out);
  EXPECT_EQ(array_ref_classID(unknown.get()), zyUNKNOWN_CLASS);
  EXPECT_TRUE(array_ref_is_empty(unknown.get()));

  const char* names[] = {"a", "b"};
  ASSERT_EQ(rtkGetStructMatrix(&out, 2, 2, -1, names), 0);
  auto fieldless = hold(out);
  EXPECT_EQ(array_ref_number_of_fields(fieldless.get()), 0);
  EXPECT_EQ(array_ref_number_of_elements(fieldless.get()), 4);

  ASSERT_EQ(rtkGetScalarInt8(&out, -5, 7, zyCOMPLEX), 0);
  auto complexScalar = hold(out);
  EXPECT_TRUE(array_ref_is_complex(complexScalar.get()));
  auto imagPart = hold(array_ref_imag(complexScalar.get()));
  EXPECT_EQ(valueOf(imagPart.get()), 7);
  EXPECT_EQ(valueOf(complexScalar.get()), -5);

  ASSERT_EQ(rtkGetString(&out, nullptr), 0);
  auto emptyText = hold(out);
  EXPECT_EQ(array_ref_classID(emptyText.get()), zyCHAR_CLASS);

  EXPECT_EQ(rtkGetMatrix(nullptr, 1, 1, zyDOUBLE_CLASS, zyREAL), -1);
  EXPECT_EQ(takeLastError(), "Invalid input");
}

// rows/columns from 1; the result's (row, column, value) elements in storage order.
struct Stored {
  size_t row, column;
  double value;
  bool operator==(const Stored& o) const {
    return row == o.row && column == o.column && value == o.value;
  }
};
std::vector<Stored> storedElements(array_ref* object) {
  auto rows = hold(array_ref_row_index(object));
  auto columns = hold(array_ref_column_index(object));
  const size_t count = array_ref_number_of_nonzeros(object);
  std::vector<double> r = valuesOf(rows.get(), count), c = valuesOf(columns.get(), count);
  std::vector<double> v = valuesOf(object, count);
  std::vector<Stored> result;
  for (size_t k = 0; k < count; ++k) {
    result.push_back({static_cast<size_t>(r[k]), static_cast<size_t>(c[k]), v[k]});
  }
  return result;
}

TEST_F(Constructors, SparseRepeatsSortsSumsAndLeavesOutZeros) {
  array_ref* out = nullptr;
  const size_t rows[] = {3, 1, 2};
  const size_t columns[] = {2, 2, 1};
  const double seven = 7;
  ASSERT_EQ(rtkGetNumericSparse(&out, 3, rows, 3, columns, 1, &seven, nullptr, 3, 2, 0,
                                zyDOUBLE_CLASS, zyREAL),
            0);
  auto repeated = hold(out);
  EXPECT_EQ(storedElements(repeated.get()), (std::vector<Stored>{{2, 1, 7}, {1, 2, 7}, {3, 2, 7}}));

  const double zero = 0;
  ASSERT_EQ(rtkGetNumericSparse(&out, 3, rows, 3, columns, 1, &zero, nullptr, 3, 2, 0,
                                zyDOUBLE_CLASS, zyREAL),
            0);
  auto zeros = hold(out);
  EXPECT_EQ(array_ref_number_of_nonzeros(zeros.get()), 0u);
  EXPECT_EQ(dimensionsOf(zeros.get()), (std::vector<size_t>{3, 2}));

  const size_t sameRows[] = {2, 2, 1};
  const size_t sameColumns[] = {2, 2, 1};
  const double values[] = {1.5, 2, 0};
  ASSERT_EQ(rtkGetNumericSparseInferRowsCols(&out, 3, sameRows, 3, sameColumns, 3, values, nullptr,
                                             0, zyDOUBLE_CLASS, zyREAL),
            0);
  auto summed = hold(out);
  EXPECT_EQ(storedElements(summed.get()), (std::vector<Stored>{{2, 2, 3.5}}));
  EXPECT_EQ(dimensionsOf(summed.get()), (std::vector<size_t>{2, 2}));

  const zyLogical on[] = {1, 1};
  const size_t logicalRows[] = {1, 1};
  const size_t logicalColumns[] = {3, 3};
  ASSERT_EQ(rtkGetLogicalSparse(&out, 2, logicalRows, 2, logicalColumns, 2, on, 1, 3, 0), 0);
  auto logical = hold(out);
  EXPECT_EQ(array_ref_classID(logical.get()), zyLOGICAL_CLASS);
  EXPECT_EQ(storedElements(logical.get()), (std::vector<Stored>{{1, 3, 1}}));

  const double twoValues[] = {1, 2};
  const double imag[] = {3, 4};
  const size_t twoRows[] = {1, 2};
  ASSERT_EQ(rtkGetNumericSparse(&out, 2, twoRows, 1, columns, 2, twoValues, imag, 2, 2, 5,
                                zyDOUBLE_CLASS, zyCOMPLEX),
            0);
  auto complexSparse = hold(out);
  EXPECT_TRUE(array_ref_is_complex(complexSparse.get()));
  EXPECT_EQ(array_ref_maximum_nonzeros(complexSparse.get()), 5u);
}

TEST_F(Constructors, SparseFailuresCarryTheirMessages) {
  const size_t fromZero[] = {0, 1}, tooFar[] = {1, 3}, columns[] = {1, 1};
  const double values[] = {1, 2};
  const struct {
    const size_t* rows;
    const size_t* columns;
    const double* imag;
    size_t size, nzmax;
    zyClassID classId;
    zyComplexity complexity;
    const char* expected;
  } cases[] = {
      // The index exceptions carry no text.
      {fromZero, columns, nullptr, 2, 0, zyDOUBLE_CLASS, zyREAL, "std::exception"},
      {tooFar, columns, nullptr, 2, 0, zyDOUBLE_CLASS, zyREAL, "std::exception"},
      {tooFar, columns, nullptr, 2, 0, zyINT32_CLASS, zyREAL, "Sparse not support for type: int32"},
      {tooFar, columns, values, 2, 0, zyLOGICAL_CLASS, zyCOMPLEX,
       "Complex not support for type: logical"},
      {tooFar, nullptr, nullptr, 2, 0, zyDOUBLE_CLASS, zyREAL,
       "While creating sparse matrix: row index array, column index array,and initial value "
       "array must all be either NULL or non-NULL"},
      {tooFar, columns, nullptr, 3, 1, zyDOUBLE_CLASS, zyREAL,
       "While creating sparse matrix: initial non-zero elements greater than maximum non-zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    array_ref* out = nullptr;
    EXPECT_EQ(rtkGetNumericSparse(&out, 2, c.rows, 2, c.columns, 2, values, c.imag, c.size, c.size,
                                  c.nzmax, c.classId, c.complexity),
              -1);
    EXPECT_EQ(takeLastError(), c.expected);
    EXPECT_EQ(out, nullptr);
  }
}

TEST_F(Constructors, SerializationAndHandles) {
  auto a = doubles(1, 3, {1, 2, 3});
  array_ref* bytes = array_ref_serialize(a.get());
  array_ref* back = nullptr;
  ASSERT_EQ(rtkDeserializeArray(&back, &bytes), 0);
  EXPECT_TRUE(array_ref_equals(a.get(), back));
  ref_count_obj_release(bytes);
  EXPECT_EQ(rtkDeserializeArray(&bytes, &back), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access: uint8 with pointer type: double");
  ref_count_obj_release(back);

  char* text = nullptr;
  zyArray* raw = doubleArray(1, 2, {1, 2});
  ASSERT_EQ(rtkcppArrayToString(raw, &text), 0);
  auto printed = hold(array_ref_to_string(a.get()));
  EXPECT_EQ(std::string(text).empty(), false);
  rtkcppFreeString(text);

  // The handle adopts raw; converting back consumes the handle's only reference.
  const size_t liveBefore = SmallObjectPool::instance().liveBlocks();
  array_handle handle = nullptr;
  ASSERT_EQ(rtkzyArray2ArrayHandle(&handle, raw), 0);
  EXPECT_EQ(SmallObjectPool::instance().liveBlocks(), liveBefore + 1);
  zyArray* copy = nullptr;
  ASSERT_EQ(rtkArrayHandle2zyArray(&copy, handle), 0);
  EXPECT_EQ(SmallObjectPool::instance().liveBlocks(), liveBefore);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(zyGetPr(copy)[1], 2);
  zyDestroyArray(copy);
  EXPECT_EQ(rtkArrayHandle2zyArray(&copy, nullptr), -1);
  EXPECT_EQ(takeLastError(), "Invalid input");
}

TEST_F(Constructors, RawElementsOfFullArrays) {
  zyArray* a = doubleArray(2, 2, {1, 2, 3, 4}, {5, 6, 7, 8});
  const size_t at[] = {2, 1};
  zyArray* element = nullptr;
  ASSERT_EQ(rtkZYArrayGetImag(&element, a, 2, at), 0);
  EXPECT_EQ(zyGetPr(element)[0], 6);
  zyDestroyArray(element);
  zyArray* value = zyCreateDoubleScalar(-9);
  ASSERT_EQ(rtkZYArraySetReal(a, value, 2, at), 0);
  EXPECT_EQ(zyGetPr(a)[1], -9);
  EXPECT_EQ(zyGetPi(a)[1], 6);
  const size_t outside[] = {3, 1};
  EXPECT_EQ(rtkZYArrayGet(&element, a, 2, outside), -1);
  EXPECT_EQ(takeLastError(), "index");
  EXPECT_EQ(rtkZYArrayGet(&element, nullptr, 2, at), -1);
  EXPECT_EQ(takeLastError(), "source array");

  zyArray* rows = nullptr;
  zyArray* columns = nullptr;
  ASSERT_EQ(rtkZYArrayGetIndexArrays(&rows, &columns, a), 0);
  const auto* r = static_cast<const uint64_t*>(zyGetDataConst(rows));
  const auto* c = static_cast<const uint64_t*>(zyGetDataConst(columns));
  EXPECT_EQ(std::vector<uint64_t>(r, r + 4), (std::vector<uint64_t>{1, 2, 1, 2}));
  EXPECT_EQ(std::vector<uint64_t>(c, c + 4), (std::vector<uint64_t>{1, 1, 2, 2}));
  zyDestroyArray(rows);
  zyDestroyArray(columns);
  zyDestroyArray(value);
  zyDestroyArray(a);
}

TEST_F(Constructors, RawElementsOfSparseArrays) {
  const size_t r[] = {0}, c[] = {0};
  const double v[] = {4};
  zyArray* s = zyCreateSparseFromTriplets(2, 2, 1, r, c, v, nullptr, zyDOUBLE_CLASS, 1);
  const size_t at[] = {2, 2};
  zyArray* element = nullptr;
  ASSERT_EQ(rtkZYArrayGet(&element, s, 2, at), 0);
  EXPECT_EQ(zyGetPr(element)[0], 0);
  zyDestroyArray(element);
  EXPECT_EQ(rtkZYArrayGetImag(&element, s, 2, at), -1);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  EXPECT_EQ(rtkZYArrayGet(&element, s, 1, at), -1);
  EXPECT_EQ(takeLastError(), "Incompatible number of dimensions");

  zyArray* value = zyCreateDoubleMatrix(1, 1, zyCOMPLEX);
  zyGetPr(value)[0] = 3;
  zyGetPi(value)[0] = -1;
  ASSERT_EQ(rtkZYArraySet(s, value, 2, at), 0);  // the target becomes complex
  EXPECT_EQ(zyGetNumberOfNonzeros(s), 2u);
  ASSERT_EQ(rtkZYArrayGetImag(&element, s, 2, at), 0);
  EXPECT_EQ(zyGetPr(element)[0], -1);
  zyDestroyArray(element);

  zyArray* logical = zyCreateSparseLogicalMatrix(2, 2, 1);
  zyArray* on = zyCreateLogicalScalar(1);
  EXPECT_EQ(rtkZYArraySet(logical, on, 2, at), -1);
  EXPECT_EQ(takeLastError(), "Complex not support for type: logical");
  ASSERT_EQ(rtkZYArraySetLogical(logical, on, 2, at), 0);
  ASSERT_EQ(rtkZYArrayGet(&element, logical, 2, at), 0);
  EXPECT_EQ(zyGetLogicals(element)[0], 1);
  zyDestroyArray(element);
  zyArray* off = zyCreateLogicalScalar(0);
  ASSERT_EQ(rtkZYArraySetLogical(logical, off, 2, at), 0);  // a zero over a one is stored
  EXPECT_EQ(zyGetNumberOfNonzeros(logical), 1u);
  ASSERT_EQ(rtkZYArraySetLogical(logical, off, 2, at), 0);  // a zero over a zero is removed
  EXPECT_EQ(zyGetNumberOfNonzeros(logical), 0u);

  for (zyArray* array : {s, value, logical, on, off}) zyDestroyArray(array);
}

}  // namespace
}  // namespace rtkkvn::arrays::testing
