#include "rtkkvn/arrays/array_ref.hpp"

#include <gtest/gtest.h>

#include <cstdarg>
#include <stdexcept>

#include "rtkkvn/arrays/test_support.hpp"

namespace {

using namespace rtkkvn::arrays::testing;
using rtkkvn::arrays::trimPrintedForm;

// Calls the variable-argument slot as the exported functions pass it on.
array_ref* getV(array_ref* array, size_t count, ...) {
  va_list indices;
  va_start(indices, count);
  array_ref* element = array->getV_int(count, indices);
  va_end(indices);
  return element;
}

// ---- Reference counting and destruction -------------------------------------------------------

int destroyed = 0;

class CountedArrayRef : public ArrayRef {
 public:
  using ArrayRef::ArrayRef;
  ~CountedArrayRef() override { ++destroyed; }
};

class FailingArrayRef : public ArrayRef {
 public:
  using ArrayRef::ArrayRef;
  ~FailingArrayRef() noexcept(false) override { throw std::runtime_error("cannot let go"); }
};

using ArrayRefCounting = PooledObjectsTest;

TEST_F(ArrayRefCounting, ReleasedToZeroIsDestroyedExactlyOnce) {
  destroyed = 0;
  array_ref* array = new CountedArrayRef(zyCreateDoubleScalar(1), false);
  EXPECT_EQ(array->addref(), 2);
  EXPECT_EQ(dynamic_cast<array_data_ref*>(array)->addref(), 3) << "both faces share one count";
  EXPECT_EQ(array->release(), 2);
  EXPECT_EQ(dynamic_cast<array_data_ref*>(array)->release(), 1);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(array->release(), 0);
  EXPECT_EQ(destroyed, 1);
}

TEST_F(ArrayRefCounting, AThrowingDestructorGivesMinusOneAndTheLastError) {
  array_ref* array = new FailingArrayRef(zyCreateDoubleScalar(1), false);
  EXPECT_EQ(array->release(), -1);
  EXPECT_EQ(takeLastError(), "cannot let go");
}

TEST_F(ArrayRefCounting, DetachGivesUpTheArrayWithoutDestroyingIt) {
  Held<array_ref> array = doubles(1, 1, {42});
  zyArray* raw = dynamic_cast<ArrayRef*>(array.get())->get_zyArray();
  array.release()->detach();  // consumes our reference
  EXPECT_EQ(zyGetPr(raw)[0], 42);
  zyDestroyArray(raw);  // ours now
}

TEST_F(ArrayRefCounting, NullMakesAnEmptyArrayOfClassZero) {
  Held<array_ref> array = wrap(nullptr);
  EXPECT_EQ(array->classID(), 0);
  EXPECT_TRUE(array->is_empty());
  EXPECT_EQ(text(array->to_string()), "[]");
  EXPECT_EQ(rtkcppErrorCheck(), 1);
}

// ---- Index translation ----------------------------------------------------------------------

using ArrayRefIndexing = PooledObjectsTest;

TEST_F(ArrayRefIndexing, LinearIndicesRunOverTheDataCount) {
  Held<array_ref> matrix = doubles(2, 3, {1, 2, 3, 4, 5, 6});
  for (size_t k = 1; k <= 6; ++k) {
    Held<array_ref> element = hold(matrix->get_int(1, &k));
    ASSERT_NE(element, nullptr) << k;
    EXPECT_EQ(valueOf(element.get()), static_cast<double>(k));
  }
  const size_t seven = 7;
  EXPECT_EQ(matrix->get_int(1, &seven), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 7  in array of size 6");
  const size_t zero = 0;
  EXPECT_EQ(matrix->get_int(1, &zero), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 0  in array of size 6");
}

TEST_F(ArrayRefIndexing, SubscriptsAreColumnMajorAndCheckedPerDimension) {
  Held<array_ref> matrix = doubles(2, 3, {1, 2, 3, 4, 5, 6});
  const size_t rowTwoColumnThree[] = {2, 3};
  EXPECT_EQ(valueOf(hold(matrix->get_int(2, rowTwoColumnThree)).get()), 6);
  Held<array_ref> viaList = hold(getV(matrix.get(), 2, size_t{1}, size_t{2}));
  EXPECT_EQ(valueOf(viaList.get()), 3);

  const size_t outside[] = {3, 1};
  EXPECT_EQ(matrix->get_int(2, outside), nullptr);
  EXPECT_EQ(takeLastError(),
            "Attempt to access element at index [3,1] in array of dimensions [2,3]");
  const size_t three[] = {1, 1, 1};
  EXPECT_EQ(matrix->get_int(3, three), nullptr);
  EXPECT_EQ(takeLastError(), "Incompatible number of dimensions");
  EXPECT_EQ(matrix->get_int(0, three), nullptr);
  EXPECT_EQ(takeLastError(), "Incompatible number of dimensions");
  EXPECT_EQ(matrix->get_int(2, nullptr), nullptr);
  EXPECT_EQ(takeLastError(), "Invalid argument");
}

TEST_F(ArrayRefIndexing, LongIndexListsFromVariableArgumentsReachFiveDimensions) {
  const size_t dimensions[] = {2, 1, 1, 1, 3};
  zyArray* array = zyCreateNumericArray(5, dimensions, zyDOUBLE_CLASS, zyREAL);
  for (size_t i = 0; i < 6; ++i) zyGetPr(array)[i] = 10.0 * static_cast<double>(i);
  Held<array_ref> fiveD = wrap(array);
  Held<array_ref> element =
      hold(getV(fiveD.get(), 5, size_t{2}, size_t{1}, size_t{1}, size_t{1}, size_t{3}));
  ASSERT_NE(element, nullptr) << takeLastError();
  EXPECT_EQ(valueOf(element.get()), 50);
}

TEST_F(ArrayRefIndexing, StructFieldsAreFoundByNameAndElement) {
  const char* names[] = {"name", "count"};
  Held<array_ref> records = wrap(zyCreateStructMatrix(1, 2, 2, names));
  const size_t second = 2;
  Held<array_ref> count = hold(records->get_const_char("count", 1, &second));
  ASSERT_NE(count, nullptr) << takeLastError();
  EXPECT_EQ(dynamic_cast<CellRef*>(count.get())->offset(), 3u) << "field + fields * element";

  EXPECT_EQ(records->get_const_char("missing", 1, &second), nullptr);
  EXPECT_EQ(takeLastError(), "Invalid field name");
  const size_t third = 3;
  EXPECT_EQ(records->get_const_char("name", 1, &third), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 3  in array of size 2");
  EXPECT_EQ(records->get_const_char(nullptr, 1, &second), nullptr);
  EXPECT_EQ(takeLastError(), "Invalid argument");

  Held<array_ref> matrix = doubles(1, 1, {1});
  EXPECT_EQ(matrix->get_const_char("name", 1, &second), nullptr);
  EXPECT_EQ(takeLastError(), "Field name indexing not supported for this type");
}

// ---- Cell and struct element references -----------------------------------------------------

using CellReferences = PooledObjectsTest;

TEST_F(CellReferences, WriteIntoTheirContainerWithoutDestroyingIt) {
  Held<array_ref> cell = wrap(zyCreateCellMatrix(1, 2));
  const size_t first = 1, second = 2;
  {
    Held<array_ref> slot = hold(cell->get_int(1, &first));
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->classID(), zyDOUBLE_CLASS) << "an empty slot stands for a 0-by-0 double";
    EXPECT_TRUE(slot->is_empty());
    Held<array_ref> value = doubles(1, 2, {7, 8});
    EXPECT_EQ(slot->set(value.get()), 0);
    EXPECT_EQ(slot->number_of_elements(), 2);
    const double numbers[] = {1.5, 2.5, 3.5};
    Held<array_ref> other = hold(cell->get_int(1, &second));
    EXPECT_EQ(other->set_numeric_zyDouble(numbers, 3), 0);
  }  // the references go; the cell must stay whole

  zyArray* raw = dynamic_cast<ArrayRef*>(cell.get())->get_zyArray();
  const zyArray* stored = zyGetCellConst(raw, 0);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(zyGetN(stored), 2u);
  EXPECT_EQ(static_cast<const double*>(zyGetDataConst(stored))[1], 8);
  const zyArray* numbers = zyGetCellConst(raw, 1);
  ASSERT_NE(numbers, nullptr);
  EXPECT_EQ(zyGetNumberOfElements(numbers), 3u);
  EXPECT_EQ(static_cast<const double*>(zyGetDataConst(numbers))[2], 3.5);
  EXPECT_EQ(text(cell->to_string()), "{[1x2 double]}    {[3x1 double]}");
}

TEST_F(CellReferences, NumericStoresReplaceTheElementWithAnArrayOfTheBufferClass) {
  Held<array_ref> cell = wrap(zyCreateCellMatrix(1, 1));
  const size_t first = 1;
  Held<array_ref> slot = hold(cell->get_int(1, &first));
  const zyInt8 bytes[] = {-3, 4};
  ASSERT_EQ(slot->set_numeric_zyInt8(bytes, 2), 0);
  EXPECT_EQ(slot->classID(), zyINT8_CLASS);
  EXPECT_EQ(valuesOf(slot.get(), 2), (std::vector<double>{-3, 4}));
  const zyChar letters[] = {u'o', u'k'};
  Held<array_ref> word = wrap(zyCreateCharMatrix(1, 2));
  Held<array_ref> wordSlot = hold(cell->get_int(1, &first));
  ASSERT_EQ(wordSlot->set(word.get()), 0);
  // Character stores write into the element that is there.
  EXPECT_EQ(wordSlot->set_char(letters, 2), 0);
  EXPECT_EQ(text(cell->to_string()), "{'ok'}");
}

TEST_F(CellReferences, StructFieldReferencesSetTheField) {
  const char* names[] = {"a", "b"};
  Held<array_ref> record = wrap(zyCreateStructMatrix(1, 1, 2, names));
  const size_t first = 1;
  Held<array_ref> field = hold(record->get_const_char("b", 1, &first));
  Held<array_ref> value = doubles(1, 1, {9});
  ASSERT_EQ(field->set(value.get()), 0);
  EXPECT_EQ(text(record->to_string()), "    a: []\n    b: 9");
  // A reference reaches into the field's own value.
  Held<array_ref> number = hold(field->get_int(1, &first));
  EXPECT_EQ(valueOf(number.get()), 9);
}

// ---- Set, copies and queries ----------------------------------------------------------------

using ArrayRefOperations = PooledObjectsTest;

TEST_F(ArrayRefOperations, SetCopiesTheSourceEvenFromItselfOrItsOwnElement) {
  Held<array_ref> target = doubles(1, 2, {1, 2});
  Held<array_ref> source = doubles(1, 1, {5});
  ASSERT_EQ(target->set(source.get()), 0);
  EXPECT_TRUE(target->equals(source.get()));
  ASSERT_EQ(target->set(target.get()), 0);
  EXPECT_EQ(valueOf(target.get()), 5);

  Held<array_ref> cell = wrap(zyCreateCellMatrix(1, 1));
  const size_t first = 1;
  Held<array_ref> slot = hold(cell->get_int(1, &first));
  slot->set(source.get());
  Held<array_ref> inner = hold(cell->get_int(1, &first));
  ASSERT_EQ(cell->set(inner.get()), 0) << "the element is read before the cell goes";
  EXPECT_EQ(cell->classID(), zyDOUBLE_CLASS);
  EXPECT_EQ(valueOf(cell.get()), 5);

  EXPECT_EQ(target->set(nullptr), -1);
  EXPECT_EQ(takeLastError(), "Null Pointer");
}

TEST_F(ArrayRefOperations, QueriesAnswerFromTheArray) {
  const char* names[] = {"alpha", "beta"};
  Held<array_ref> record = wrap(zyCreateStructMatrix(2, 3, 2, names));
  EXPECT_EQ(record->classID(), zySTRUCT_CLASS);
  EXPECT_EQ(record->number_of_fields(), 2);
  EXPECT_EQ(text(record->get_field_name(1)), "beta");
  EXPECT_EQ(text(record->get_field_name(2)), "");
  EXPECT_EQ(record->element_size(), 8);
  EXPECT_EQ(record->number_of_elements(), 6);
  Held<array_ref> dimensions = hold(record->get_dimensions());
  EXPECT_EQ(dimensions->classID(), zyUINT64_CLASS);
  EXPECT_EQ(valuesOf(dimensions.get(), 2), (std::vector<double>{2, 3}));
  EXPECT_FALSE(record->is_numeric());

  // Sparse indices are read in constructors_test.cpp; a full array lists every element.
  Held<array_ref> full = doubles(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(full->number_of_nonzeros(), 4u);
  EXPECT_EQ(valuesOf(hold(full->row_index()).get(), 4), (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(valuesOf(hold(full->column_index()).get(), 4), (std::vector<double>{1, 1, 2, 2}));
}

TEST_F(ArrayRefOperations, MakeComplexAddsZeroImaginaryPartsToNumericArraysOnly) {
  Held<array_ref> numbers = doubles(1, 3, {1, 2, 3});
  EXPECT_FALSE(numbers->is_complex());
  ASSERT_EQ(numbers->make_complex(), 0);
  EXPECT_TRUE(numbers->is_complex());
  Held<array_ref> imaginary = hold(numbers->imag());
  EXPECT_EQ(valuesOf(imaginary.get(), 3), (std::vector<double>{0, 0, 0}));

  Held<array_ref> word = wrap(zyCreateString("abc"));
  EXPECT_EQ(word->make_complex(), 0);
  EXPECT_FALSE(word->is_complex());
}

TEST_F(ArrayRefOperations, CopiesCompareAndHashByContent) {
  Held<array_ref> original = doubles(2, 2, {1, 2, 3, 4});
  Held<array_ref> deep = hold(original->deep_copy());
  Held<array_ref> shared = hold(original->shared_copy());
  EXPECT_TRUE(original->equals(original.get()));
  EXPECT_TRUE(original->equals(deep.get()));
  EXPECT_EQ(original->compare_to(deep.get()), 0);
  EXPECT_EQ(original->hash_code(), shared->hash_code());

  // Copies are independent: writing one leaves the other.
  const double nine = 9;
  ASSERT_EQ(shared->set_numeric_zyDouble(&nine, 1), 0);
  EXPECT_EQ(valueOf(original.get()), 1);
  EXPECT_FALSE(original->equals(shared.get()));
  EXPECT_NE(original->compare_to(shared.get()), 0);
  EXPECT_EQ(original->compare_to(shared.get()), -shared->compare_to(original.get()));

  // A shorter serialization orders first whatever its bytes.
  Held<array_ref> small = doubles(1, 1, {1e300});
  EXPECT_EQ(small->compare_to(original.get()), -1);
  EXPECT_EQ(original->compare_to(small.get()), 1);
  EXPECT_EQ(original->compare_to(nullptr), 1);
  EXPECT_FALSE(original->equals(nullptr));

  Held<array_ref> bytes = hold(original->serialize());
  EXPECT_EQ(bytes->classID(), zyUINT8_CLASS);
  zyArray* raw = dynamic_cast<ArrayRef*>(bytes.get())->get_zyArray();
  Held<array_ref> back = wrap(zyDeserialize(zyGetDataConst(raw), zyGetNumberOfElements(raw)));
  EXPECT_TRUE(back->equals(original.get()));
}

TEST_F(ArrayRefOperations, ToStringTrimsTheDisplayFormExceptForCharVectors) {
  EXPECT_EQ(text(doubles(1, 1, {5})->to_string()), "5");
  EXPECT_EQ(text(doubles(2, 2, {1, 3, 2, 4})->to_string()), "   1   2\n   3   4");
  EXPECT_EQ(text(wrap(zyCreateString("  padded  "))->to_string()), "  padded  ");
  EXPECT_EQ(text(doubles(0, 3, {})->to_string()), "[]");

  EXPECT_EQ(trimPrintedForm("\n\n  x  \n"), "\n\n  x  \n") << "leading line feeds: nothing is cut";
  EXPECT_EQ(trimPrintedForm("  x  \n\n"), "x");
  EXPECT_EQ(trimPrintedForm("  a\n  b\n\n"), "  a\n  b");
  EXPECT_EQ(trimPrintedForm("\n  a\n  b\n"), "\n  a\n  b\n");
  EXPECT_EQ(trimPrintedForm("\n\n"), "\n\n");
  EXPECT_EQ(trimPrintedForm("   "), "");
}

// ---- Typed element transfer -------------------------------------------------------------------

using ElementTransfer = PooledObjectsTest;

TEST_F(ElementTransfer, ReadsConvertUpToTheDataCount) {
  Held<array_ref> matrix = doubles(2, 2, {1.4, -2.5, 300, 7});
  zyInt32 values[5] = {};
  ASSERT_EQ(matrix->get_numeric_zyInt32(values, 4), 0);
  EXPECT_EQ(std::vector<zyInt32>(values, values + 4), (std::vector<zyInt32>{1, -3, 300, 7}));
  zyUint8 bytes[4] = {};
  ASSERT_EQ(matrix->get_numeric_zyUint8(bytes, 4), 0);
  EXPECT_EQ(bytes[2], 255) << "saturated";

  EXPECT_EQ(matrix->get_numeric_zyInt32(values, 5), -1);
  EXPECT_EQ(takeLastError(), "Index out of bounds");
  EXPECT_EQ(matrix->get_numeric_zyDouble(nullptr, 1), -1);
  EXPECT_EQ(takeLastError(), "Illegal argument");
  zyChar letters[1];
  EXPECT_EQ(wrap(zyCreateCellMatrix(1, 1))->get_char(letters, 1), -1);
  EXPECT_EQ(takeLastError(), "Cannot convert type: cell to type: char");
  EXPECT_EQ(wrap(zyCreateCellMatrix(1, 1))->get_numeric_zyInt16(nullptr, 0), -1);
  EXPECT_EQ(takeLastError(), "Illegal argument");
  EXPECT_EQ(wrap(zyCreateStructMatrix(1, 1, 0, nullptr))->get_numeric_zyInt32(values, 0), -1);
  EXPECT_EQ(takeLastError(), "Cannot convert type: struct to type: numeric");
}

TEST_F(ElementTransfer, WritesConvertIntoTheArrayClass) {
  Held<array_ref> integers = wrap(zyCreateNumericMatrix(1, 3, zyINT16_CLASS, zyREAL));
  const double values[] = {1.5, -70000, 2};
  ASSERT_EQ(integers->set_numeric_zyDouble(values, 3), 0);
  EXPECT_EQ(valuesOf(integers.get(), 3), (std::vector<double>{2, -32768, 2}));
  const zyLogical flags[] = {1, 0};
  ASSERT_EQ(integers->set_logical(flags, 2), 0);
  EXPECT_EQ(valuesOf(integers.get(), 3), (std::vector<double>{1, 0, 2}));
  EXPECT_EQ(integers->set_numeric_zyDouble(values, 4), -1);
  EXPECT_EQ(takeLastError(), "Index out of bounds");
}

}  // namespace
