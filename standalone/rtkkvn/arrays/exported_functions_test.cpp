// The exported array functions: both families reach the right slot with arguments and results
// unchanged. What the slots do (conversions, their failures) is tested on the objects themselves
// in array_ref_test.cpp; the exported functions only pass it on.

#include <cstring>
#include <vector>

#include "rtkkvn/arrays/slot_table.hpp"
#include "rtkkvn/arrays/test_support.hpp"
#include "rtkkvn_array.h"

namespace rtkkvn::arrays::testing {
namespace {

class ExportedFunctions : public PooledObjectsTest {};

array_handle asHandle(array_ref* object) { return reinterpret_cast<array_handle>(object); }

// Reads the two values of object through the exported getter and through the slot number that
// the type must have, into byte buffers for comparison.
template <typename Element>
void expectGetterAtSlot(array_ref* object, int (*getter)(array_ref*, Element*, size_t),
                        int (*handleGetter)(array_handle, Element*, size_t), size_t slot) {
  Element viaFunction[2] = {}, viaHandle[2] = {}, viaSlot[2] = {};
  ASSERT_EQ(getter(object, viaFunction, 2), 0);
  ASSERT_EQ(handleGetter(asHandle(object), viaHandle, 2), 0);
  ASSERT_EQ((callSlot<int, array_ref, Element*, size_t>(object, slot, viaSlot, 2)), 0);
  EXPECT_EQ(std::memcmp(viaFunction, viaSlot, sizeof viaSlot), 0) << "slot " << slot;
  EXPECT_EQ(std::memcmp(viaHandle, viaSlot, sizeof viaSlot), 0) << "slot " << slot;
}

TEST_F(ExportedFunctions, NumericGettersRunUpwardFromUint64AtSlot34) {
  auto values = doubles(1, 2, {-1.5, 70000.7});
  array_ref* a = values.get();
  expectGetterAtSlot<zyUint64>(a, array_ref_get_numeric_zyUint64, array_handle_get_numeric_zyUint64,
                               34);
  expectGetterAtSlot<zyInt64>(a, array_ref_get_numeric_zyInt64, array_handle_get_numeric_zyInt64,
                              35);
  expectGetterAtSlot<zyUint32>(a, array_ref_get_numeric_zyUint32, array_handle_get_numeric_zyUint32,
                               36);
  expectGetterAtSlot<zyInt32>(a, array_ref_get_numeric_zyInt32, array_handle_get_numeric_zyInt32,
                              37);
  expectGetterAtSlot<zyUint16>(a, array_ref_get_numeric_zyUint16, array_handle_get_numeric_zyUint16,
                               38);
  expectGetterAtSlot<zyInt16>(a, array_ref_get_numeric_zyInt16, array_handle_get_numeric_zyInt16,
                              39);
  expectGetterAtSlot<zyUint8>(a, array_ref_get_numeric_zyUint8, array_handle_get_numeric_zyUint8,
                              40);
  expectGetterAtSlot<zyInt8>(a, array_ref_get_numeric_zyInt8, array_handle_get_numeric_zyInt8, 41);
  expectGetterAtSlot<zySingle>(a, array_ref_get_numeric_zySingle, array_handle_get_numeric_zySingle,
                               42);
  expectGetterAtSlot<zyDouble>(a, array_ref_get_numeric_zyDouble, array_handle_get_numeric_zyDouble,
                               43);
}

TEST_F(ExportedFunctions, UnstoredSparseElementReadsZeroThenIsWritten) {
  auto s = sparse(3, 3, {{0, 0, 4}});
  array_ref* element = array_ref_getV_int(s.get(), 2, size_t{2}, size_t{3});
  ASSERT_NE(element, nullptr);
  double value = -1;
  ASSERT_EQ(array_ref_get_numeric_zyDouble(element, &value, 1), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(array_ref_number_of_nonzeros(s.get()), 1u);
  const double nine = 9;
  ASSERT_EQ(array_ref_set_numeric_zyDouble(element, &nine, 1), 0);
  EXPECT_EQ(array_ref_number_of_nonzeros(s.get()), 2u);
  ref_count_obj_release(element);
  auto* again = reinterpret_cast<array_ref*>(
      array_handle_getV_int(asHandle(s.get()), 2, size_t{2}, size_t{3}));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(valueOf(again), 9);
  ref_count_obj_release(again);
}

// What the plain C program in tests/arrays does not call already (it reaches indexing, copies,
// equality, lists to cells and printing through these functions).
TEST_F(ExportedFunctions, ObjectsListsAndStringsPassThrough) {
  auto a = doubles(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(array_handle_number_of_elements(asHandle(a.get())), 6);
  array_ref* copy = array_ref_deep_copy(a.get());
  EXPECT_EQ(array_ref_compare_to(a.get(), copy), 0);
  EXPECT_EQ(array_ref_hash_code(a.get()), array_ref_hash_code(copy));

  array_buffer* list = nullptr;
  ASSERT_EQ(rtkcppGetArrayBuffer(&list, 0), 0);
  EXPECT_EQ(array_buffer_add(list, copy), 0);
  ref_count_obj_release(copy);
  EXPECT_EQ(array_buffer_size(list), 1u);
  EXPECT_EQ(array_buffer_remove(list, 2), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 2  in array of size 1");
  EXPECT_EQ(array_buffer_clear(list), 0);
  EXPECT_EQ(array_buffer_size(list), 0u);
  ref_count_obj_release(list);

  char_buffer* text = nullptr;
  char_buffer* other = nullptr;
  ASSERT_EQ(rtkCreateCharBuffer(&text, "abc"), 0);
  ASSERT_EQ(rtkCreateCharBuffer(&other, nullptr), 0);
  EXPECT_GT(char_buffer_compare_to(text, other), 0);
  EXPECT_EQ(char_buffer_set_buffer(other, "abc"), 0);
  EXPECT_EQ(char_buffer_compare_to(text, other), 0);
  ref_count_obj_release(text);
  ref_count_obj_release(other);
}

}  // namespace
}  // namespace rtkkvn::arrays::testing
