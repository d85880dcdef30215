#include "zy/array.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"

// The tests ask for impossible sizes on purpose; under AddressSanitizer such a request must come
// back as NULL, as it does from the plain allocator, instead of stopping the process.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

namespace {

using Array = matrix::unique_array;

std::vector<size_t> dimsOf(const zyArray* array) {
  return std::vector<size_t>(zyGetDimensions(array),
                             zyGetDimensions(array) + zyGetNumberOfDimensions(array));
}

Array doubles(std::initializer_list<double> values) {
  Array array(zyCreateDoubleMatrix(1, values.size(), zyREAL));
  std::copy(values.begin(), values.end(), zyGetPr(array.get()));
  return array;
}

TEST(ZyArray, ShapeRules) {
  Array none(zyCreateNumericArray(0, nullptr, zyDOUBLE_CLASS, zyREAL));
  EXPECT_EQ(dimsOf(none.get()), (std::vector<size_t>{0, 0}));
  const size_t five[] = {5};
  Array column(zyCreateNumericArray(1, five, zyINT8_CLASS, zyREAL));
  EXPECT_EQ(dimsOf(column.get()), (std::vector<size_t>{5, 1}));
  const size_t trailing[] = {2, 3, 1, 1};
  Array matrix(zyCreateNumericArray(4, trailing, zyDOUBLE_CLASS, zyREAL));
  EXPECT_EQ(dimsOf(matrix.get()), (std::vector<size_t>{2, 3}));
  const size_t inner[] = {2, 1, 4, 1, 1, 1};
  Array nd(zyCreateLogicalArray(6, inner));
  EXPECT_EQ(dimsOf(nd.get()), (std::vector<size_t>{2, 1, 4}));
  EXPECT_EQ(zyGetNumberOfElements(nd.get()), 8u);
  EXPECT_EQ(zyGetM(nd.get()), 2u);
  EXPECT_EQ(zyGetN(nd.get()), 4u);
  const size_t many[] = {2, 1, 1, 1, 1, 3};
  Array six(zyCreateCellArray(6, many));
  EXPECT_EQ(dimsOf(six.get()), (std::vector<size_t>{2, 1, 1, 1, 1, 3}));
  EXPECT_EQ(zyGetNumberOfElements(six.get()), 6u);
}

TEST(ZyArray, ImpossibleSizesGiveNullInsteadOfAborting) {
  const size_t overflow[] = {SIZE_MAX / 2, 3};
  EXPECT_EQ(zyCreateNumericArray(2, overflow, zyDOUBLE_CLASS, zyREAL), nullptr);
  // Fits size_t as a count but not as bytes.
  EXPECT_EQ(zyCreateNumericMatrix(SIZE_MAX / 4, 1, zyDOUBLE_CLASS, zyREAL), nullptr);
  // Fits in bytes but no machine has that much memory.
  EXPECT_EQ(zyCreateNumericMatrix(1, size_t(1) << 60, zyUINT8_CLASS, zyREAL), nullptr);
  EXPECT_EQ(zyCreateCellMatrix(size_t(1) << 62, 1), nullptr);
  EXPECT_EQ(zyCreateSparse(SIZE_MAX, 2, 1, zyREAL), nullptr) << "rows times columns overflows";
  // A sparse array needs room for its stored elements only, however large its shape.
  Array tall(zyCreateSparse(SIZE_MAX, 1, 1, zyREAL));
  EXPECT_NE(tall, nullptr);
  // At most 65,535 dimensions once trailing singletons are dropped.
  std::vector<size_t> dims(65536, 1);
  dims.back() = 2;
  EXPECT_EQ(zyCreateNumericArray(dims.size(), dims.data(), zyDOUBLE_CLASS, zyREAL), nullptr);
  dims.pop_back();
  dims.back() = 2;
  Array most(zyCreateNumericArray(dims.size(), dims.data(), zyDOUBLE_CLASS, zyREAL));
  ASSERT_NE(most, nullptr);
  EXPECT_EQ(zyGetNumberOfDimensions(most.get()), 65535u);
  EXPECT_EQ(zyGetNumberOfElements(most.get()), 2u);
}

TEST(ZyArray, ClassNamesAndElementSizes) {
  EXPECT_STREQ(zyGetClassNameFromID(zyUINT16_CLASS), "uint16");
  EXPECT_STREQ(zyGetClassNameFromID(5), "unknown");
  EXPECT_STREQ(zyGetClassNameFromID(19), "unknown");
  EXPECT_STREQ(zyGetClassNameFromID(zyFUNCTION_CLASS), "function");
  const struct {
    zyClassID id;
    size_t size;
  } expected[] = {{zyDOUBLE_CLASS, 8}, {zySINGLE_CLASS, 4}, {zyINT16_CLASS, 2},
                  {zyUINT64_CLASS, 8}, {zyCHAR_CLASS, 2},   {zyLOGICAL_CLASS, 1},
                  {zyCELL_CLASS, 8},   {zySTRUCT_CLASS, 8}, {zyUNKNOWN_CLASS, 0}};
  for (const auto& entry : expected) {
    Array array(zyCreateNumericMatrix(1, 1, entry.id, zyREAL));
    ASSERT_NE(array, nullptr) << entry.id;
    EXPECT_EQ(zyGetElementSize(array.get()), entry.size) << entry.id;
  }
}

TEST(ZyArray, CharVectorsHaveOneRowOrColumn) {
  Array row(zyCreateCharMatrix(1, 4)), column(zyCreateCharMatrix(4, 1));
  Array matrix(zyCreateCharMatrix(2, 2)), empty(zyCreateCharMatrix(0, 0));
  Array rowOfNone(zyCreateCharMatrix(1, 0)), numbers(zyCreateDoubleMatrix(1, 4, zyREAL));
  const size_t pages[] = {1, 4, 2};
  Array nd(zyCreateCharArray(3, pages));
  EXPECT_TRUE(zyIsCharVector(row.get()));
  EXPECT_TRUE(zyIsCharVector(column.get()));
  EXPECT_TRUE(zyIsCharVector(rowOfNone.get()));
  EXPECT_FALSE(zyIsCharVector(matrix.get()));
  EXPECT_FALSE(zyIsCharVector(empty.get()));
  EXPECT_FALSE(zyIsCharVector(numbers.get()));
  EXPECT_FALSE(zyIsCharVector(nd.get()));
}

// A shared-data copy must never be changed through its twin, whatever API writes.
TEST(ZyArray, SharedCopiesStayIndependentAfterEveryKindOfWrite) {
  Array source = doubles({1, 2, 3});
  Array twin(zyCreateSharedDataCopy(source.get()));
  EXPECT_EQ(zyGetDataConst(twin.get()), zyGetDataConst(source.get())) << "copy must share";
  EXPECT_TRUE(source->sharesData());

  zyGetPr(twin.get())[0] = 10;
  EXPECT_EQ(zyGetPr(source.get())[0], 1);
  EXPECT_EQ(zyGetPr(twin.get())[0], 10);
  EXPECT_FALSE(source->sharesData());

  Array third(zyCreateSharedDataCopy(source.get()));
  auto* replacement = static_cast<double*>(zyMalloc(3 * sizeof(double)));
  replacement[0] = replacement[1] = replacement[2] = 7;
  ASSERT_EQ(zySetData(third.get(), replacement), 0);
  EXPECT_EQ(zyGetPr(source.get())[1], 2);
  EXPECT_EQ(zyGetPr(third.get())[1], 7);

  Array fourth(zyCreateSharedDataCopy(source.get()));
  auto* imaginary = static_cast<double*>(zyCalloc(3, sizeof(double)));
  ASSERT_EQ(zySetImagData(fourth.get(), imaginary), 0);
  EXPECT_TRUE(zyIsComplex(fourth.get()));
  EXPECT_FALSE(zyIsComplex(source.get()));
  EXPECT_EQ(zyGetPr(fourth.get())[2], 3) << "the real part must survive the private copy";

  Array text(zyCreateString("abc"));
  Array textTwin(zyCreateSharedDataCopy(text.get()));
  zyGetChars(textTwin.get())[0] = u'x';
  EXPECT_EQ(matrix::get_string(text.get()), "abc");
  EXPECT_EQ(matrix::get_string(textTwin.get()), "xbc");
}

TEST(ZyArray, EitherTwinMayBeDestroyedFirst) {
  zyArray* source = zyCreateString("shared");
  zyArray* twin = zyCreateSharedDataCopy(source);
  zyDestroyArray(source);
  EXPECT_EQ(matrix::get_string(twin), "shared");
  zyArray* third = zyCreateSharedDataCopy(twin);
  zyDestroyArray(third);
  EXPECT_EQ(matrix::get_string(twin), "shared");
  zyDestroyArray(twin);
  zyDestroyArray(nullptr);
}

TEST(ZyArray, DuplicateCopiesNestedElementsDeeply) {
  Array cell(zyCreateCellMatrix(1, 2));
  zySetCell(cell.get(), 0, doubles({1, 2}).release());
  const char* names[] = {"inner"};
  zyArray* structure = zyCreateStructMatrix(1, 1, 1, names);
  zySetField(structure, 0, "inner", zyCreateString("deep"));
  zySetCell(cell.get(), 1, structure);

  Array copy(zyDuplicateArray(cell.get()));
  ASSERT_TRUE(zyIsIdentical(copy.get(), cell.get()));
  const zyArray* original = zyGetCellConst(cell.get(), 0);
  const zyArray* copied = zyGetCellConst(copy.get(), 0);
  EXPECT_NE(original, copied);
  EXPECT_NE(zyGetDataConst(original), zyGetDataConst(copied)) << "a duplicate shares nothing";
  const zyArray* deepOriginal = zyGetFieldConst(zyGetCellConst(cell.get(), 1), 0, "inner");
  const zyArray* deepCopy = zyGetFieldConst(zyGetCellConst(copy.get(), 1), 0, "inner");
  EXPECT_NE(zyGetDataConst(deepOriginal), zyGetDataConst(deepCopy));
  cell.reset();
  EXPECT_EQ(matrix::get_string(deepCopy), "deep");
}

TEST(ZyArray, UnshareGivesEveryNestedElementItsOwnData) {
  Array cell(zyCreateCellMatrix(1, 1));
  zySetCell(cell.get(), 0, doubles({4, 5}).release());
  Array twin(zyCreateSharedDataCopy(cell.get()));
  ASSERT_EQ(zyUnshareArray(twin.get()), 0);
  EXPECT_NE(zyGetCellConst(twin.get(), 0), zyGetCellConst(cell.get(), 0));
  EXPECT_NE(zyGetDataConst(zyGetCellConst(twin.get(), 0)),
            zyGetDataConst(zyGetCellConst(cell.get(), 0)));
  EXPECT_TRUE(zyIsIdentical(twin.get(), cell.get()));
  EXPECT_EQ(zyUnshareArray(nullptr), -1);
}

TEST(ZyArray, ReshapeKeepsDataAndRefusesToOutgrowIt) {
  Array array = doubles({1, 2, 3, 4, 5, 6});
  const size_t threeByTwo[] = {3, 2};
  ASSERT_EQ(zySetDimensions(array.get(), threeByTwo, 2), 0);
  EXPECT_EQ(dimsOf(array.get()), (std::vector<size_t>{3, 2}));
  EXPECT_EQ(zyGetPr(array.get())[5], 6);
  const size_t tooMany[] = {7, 1};
  EXPECT_EQ(zySetDimensions(array.get(), tooMany, 2), -1);
  const size_t nd[] = {1, 2, 1, 3};
  ASSERT_EQ(zySetDimensions(array.get(), nd, 4), 0);
  EXPECT_EQ(dimsOf(array.get()), (std::vector<size_t>{1, 2, 1, 3}));

  // Growing in place after installing a larger block and saying so.
  auto* larger = static_cast<double*>(zyRealloc(zyGetData(array.get()), 8 * sizeof(double)));
  ASSERT_EQ(zySetData(array.get(), larger), 0);
  array->set_nelements_allocated(8);
  larger[6] = 7;
  larger[7] = 8;
  const size_t twoByFour[] = {2, 4};
  ASSERT_EQ(zySetDimensions(array.get(), twoByFour, 2), 0);
  EXPECT_EQ(zyGetPr(array.get())[7], 8);

  Array cell(zyCreateCellMatrix(2, 2));
  const size_t four[] = {4};
  EXPECT_EQ(zySetDimensions(cell.get(), four, 1), 0);
  const size_t five[] = {5};
  EXPECT_EQ(zySetDimensions(cell.get(), five, 1), -1);
}

// A copy starts owned whatever the scope of its source.
TEST(ZyArray, ScopeIsNotCopied) {
  Array array = doubles({1});
  zySetArrayScope(array.get(), zySCOPE_LOCAL);
  Array copy(zyCreateSharedDataCopy(array.get()));
  EXPECT_EQ(zyGetArrayScope(copy.get()), zySCOPE_OWNED);
}

// A payload that counts its live copies, so that a leak or a double destroy shows.
struct Counted {
  static int live;
  int value;
};
int Counted::live = 0;

void* cloneCounted(const void* payload) {
  ++Counted::live;
  return new Counted{static_cast<const Counted*>(payload)->value};
}
void destroyCounted(void* payload) {
  --Counted::live;
  delete static_cast<Counted*>(payload);
}
const zyPayloadType kCountedType = {"test.counted", cloneCounted, destroyCounted, nullptr, nullptr};

TEST(ZyArray, PayloadsAreSharedClonedAndDestroyedExactlyOnce) {
  Counted::live = 1;
  zyArray* handle = zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &kCountedType, new Counted{42});
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(dimsOf(handle), (std::vector<size_t>{1, 1}));
  zyArray* shared = zyCreateSharedDataCopy(handle);
  EXPECT_EQ(zyGetPayload(shared), zyGetPayload(handle));
  EXPECT_EQ(Counted::live, 1);
  zyArray* duplicate = zyDuplicateArray(handle);
  EXPECT_EQ(Counted::live, 2);
  EXPECT_EQ(static_cast<Counted*>(zyGetPayload(duplicate))->value, 42);
  zyDestroyArray(handle);
  EXPECT_EQ(Counted::live, 2);
  zyDestroyArray(shared);
  EXPECT_EQ(Counted::live, 1);
  zyDestroyArray(duplicate);
  EXPECT_EQ(Counted::live, 0);

  // A refused request still disposes of the payload it was handed.
  Counted::live = 1;
  EXPECT_EQ(zyCreatePayloadArray(zyDOUBLE_CLASS, nullptr, &kCountedType, new Counted{1}), nullptr);
  EXPECT_EQ(Counted::live, 0);

  Counted::live = 1;
  Array object(zyCreatePayloadArray(zyOBJECT_CLASS, "Account", &kCountedType, new Counted{7}));
  EXPECT_STREQ(zyGetObjectClassName(object.get()), "Account");
  EXPECT_STREQ(zyGetClassName(object.get()), "object");
  EXPECT_EQ(object->_get_class_id_non_trivial(), zyOBJECT_CLASS);
  object.reset();
  EXPECT_EQ(Counted::live, 0);
}

}  // namespace
