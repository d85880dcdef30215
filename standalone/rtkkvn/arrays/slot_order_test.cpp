// The slot order of the interfaces is the binary contract of the exported functions: moving one
// declaration breaks every client. Each test names every slot with its number and checks where
// the compiler put it; a few slots are then called through the raw table, as the exported
// functions do, to prove the numbering and the tables agree.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "rtkkvn/arrays/array_buffer.hpp"
#include "rtkkvn/arrays/array_ref.hpp"
#include "rtkkvn/arrays/char_buffer.hpp"
#include "rtkkvn/arrays/error_info.hpp"
#include "rtkkvn/arrays/slot_table.hpp"
#include "rtkkvn/arrays/test_support.hpp"

namespace {

using namespace rtkkvn::arrays::testing;
using rtkkvn::arrays::callSlot;
using rtkkvn::arrays::slotTableEntry;

// The table entry a pointer to a virtual member function designates (this ABI stores one plus
// the entry's byte offset in the table, and an adjustment of the object pointer).
template <typename MemberFunction>
size_t entryOf(MemberFunction function) {
  struct Representation {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } representation;
  static_assert(sizeof(MemberFunction) == sizeof(Representation));
  std::memcpy(&representation, &function, sizeof representation);
  EXPECT_EQ(representation.pointer & 1, 1u) << "not a virtual function";
  return (representation.pointer - 1) / sizeof(void*);
}

#define EXPECT_SLOT(Class, member, slot) \
  EXPECT_EQ(entryOf(&Class::member), slotTableEntry(slot)) << #Class "::" #member

TEST(SlotOrder, ArrayRefHas58SlotsInTheContractOrder) {
  EXPECT_SLOT(ref_count_obj, addref, 1);
  EXPECT_SLOT(ref_count_obj, release, 2);
  EXPECT_SLOT(array_ref, addref, 1);
  EXPECT_SLOT(array_ref, release, 2);
  EXPECT_SLOT(array_ref, classID, 3);
  EXPECT_SLOT(array_ref, deep_copy, 4);
  EXPECT_SLOT(array_ref, detach, 5);
  EXPECT_SLOT(array_ref, shared_copy, 6);
  EXPECT_SLOT(array_ref, serialize, 7);
  EXPECT_SLOT(array_ref, element_size, 8);
  EXPECT_SLOT(array_ref, number_of_elements, 9);
  EXPECT_SLOT(array_ref, number_of_nonzeros, 10);
  EXPECT_SLOT(array_ref, maximum_nonzeros, 11);
  EXPECT_SLOT(array_ref, number_of_dimensions, 12);
  EXPECT_SLOT(array_ref, get_dimensions, 13);
  EXPECT_SLOT(array_ref, number_of_fields, 14);
  EXPECT_SLOT(array_ref, get_field_name, 15);
  EXPECT_SLOT(array_ref, is_empty, 16);
  EXPECT_SLOT(array_ref, is_sparse, 17);
  EXPECT_SLOT(array_ref, is_numeric, 18);
  EXPECT_SLOT(array_ref, is_complex, 19);
  EXPECT_SLOT(array_ref, make_complex, 20);
  EXPECT_SLOT(array_ref, equals, 21);
  EXPECT_SLOT(array_ref, compare_to, 22);
  EXPECT_SLOT(array_ref, hash_code, 23);
  EXPECT_SLOT(array_ref, to_string, 24);
  EXPECT_SLOT(array_ref, row_index, 25);
  EXPECT_SLOT(array_ref, column_index, 26);
  EXPECT_SLOT(array_ref, get_const_char, 27);
  EXPECT_SLOT(array_ref, get_int, 28);
  EXPECT_SLOT(array_ref, getV_const_char, 29);
  EXPECT_SLOT(array_ref, getV_int, 30);
  EXPECT_SLOT(array_ref, set, 31);
  EXPECT_SLOT(array_ref, real, 32);
  EXPECT_SLOT(array_ref, imag, 33);
  EXPECT_SLOT(array_ref, get_numeric_zyUint64, 34);
  EXPECT_SLOT(array_ref, get_numeric_zyInt64, 35);
  EXPECT_SLOT(array_ref, get_numeric_zyUint32, 36);
  EXPECT_SLOT(array_ref, get_numeric_zyInt32, 37);
  EXPECT_SLOT(array_ref, get_numeric_zyUint16, 38);
  EXPECT_SLOT(array_ref, get_numeric_zyInt16, 39);
  EXPECT_SLOT(array_ref, get_numeric_zyUint8, 40);
  EXPECT_SLOT(array_ref, get_numeric_zyInt8, 41);
  EXPECT_SLOT(array_ref, get_numeric_zySingle, 42);
  EXPECT_SLOT(array_ref, get_numeric_zyDouble, 43);
  EXPECT_SLOT(array_ref, get_char, 44);
  EXPECT_SLOT(array_ref, get_logical, 45);
  EXPECT_SLOT(array_ref, set_numeric_zyUint64, 46);
  EXPECT_SLOT(array_ref, set_numeric_zyInt64, 47);
  EXPECT_SLOT(array_ref, set_numeric_zyUint32, 48);
  EXPECT_SLOT(array_ref, set_numeric_zyInt32, 49);
  EXPECT_SLOT(array_ref, set_numeric_zyUint16, 50);
  EXPECT_SLOT(array_ref, set_numeric_zyInt16, 51);
  EXPECT_SLOT(array_ref, set_numeric_zyUint8, 52);
  EXPECT_SLOT(array_ref, set_numeric_zyInt8, 53);
  EXPECT_SLOT(array_ref, set_numeric_zySingle, 54);
  EXPECT_SLOT(array_ref, set_numeric_zyDouble, 55);
  EXPECT_SLOT(array_ref, set_char, 56);
  EXPECT_SLOT(array_ref, set_logical, 57);
  // The implementation's one slot of its own comes right after the contract's.
  EXPECT_SLOT(ArrayRef, get_zyArray, 58);
  EXPECT_SLOT(CellRef, get_zyArray, 58);
}

TEST(SlotOrder, ArrayDataRefHas18Slots) {
  EXPECT_SLOT(array_data_ref, addref, 1);
  EXPECT_SLOT(array_data_ref, release, 2);
  EXPECT_SLOT(array_data_ref, classID, 3);
  EXPECT_SLOT(array_data_ref, element_size, 4);
  EXPECT_SLOT(array_data_ref, data_count, 5);
  EXPECT_SLOT(array_data_ref, is_numeric, 6);
  EXPECT_SLOT(array_data_ref, is_complex, 7);
  EXPECT_SLOT(array_data_ref, is_sparse, 8);
  EXPECT_SLOT(array_data_ref, write_offset, 9);
  EXPECT_SLOT(array_data_ref, field_offset, 10);
  EXPECT_SLOT(array_data_ref, read_offset_found, 11);
  EXPECT_SLOT(array_data_ref, read_offset, 12);
  EXPECT_SLOT(array_data_ref, real_data, 13);
  EXPECT_SLOT(array_data_ref, imag_data, 14);
  EXPECT_SLOT(array_data_ref, read_data, 15);
  EXPECT_SLOT(array_data_ref, write_data, 16);
  EXPECT_SLOT(array_data_ref, access_array, 17);
}

TEST(SlotOrder, BuffersErrorRecordsAndKoException) {
  EXPECT_SLOT(array_buffer, size, 3);
  EXPECT_SLOT(array_buffer, get, 4);
  EXPECT_SLOT(array_buffer, set, 5);
  EXPECT_SLOT(array_buffer, add, 6);
  EXPECT_SLOT(array_buffer, remove, 7);
  EXPECT_SLOT(array_buffer, clear, 8);
  EXPECT_SLOT(array_buffer, to_cell, 9);
  EXPECT_SLOT(char_buffer, size, 3);
  EXPECT_SLOT(char_buffer, get_buffer, 4);
  EXPECT_SLOT(char_buffer, set_buffer, 5);
  EXPECT_SLOT(char_buffer, compare_to, 6);
  EXPECT_SLOT(error_info, get_message, 3);
  EXPECT_SLOT(error_info, get_stack_trace, 4);
  EXPECT_SLOT(koException, what, 1);
}

using SlotTable = PooledObjectsTest;

TEST_F(SlotTable, CallsThroughTheRawTableReachTheNamedOperations) {
  array_ref* array = doubles(2, 3, {1, 2, 3, 4, 5, 6}).release();
  EXPECT_EQ(callSlot<int>(array, 3), zyDOUBLE_CLASS);
  EXPECT_EQ(callSlot<int>(array, 9), 6);
  EXPECT_EQ(callSlot<size_t>(array, 12), 2u);
  const size_t at[] = {2, 3};
  array_ref* element = callSlot<array_ref*>(array, 28, size_t{2}, at);
  ASSERT_NE(element, nullptr);
  double value = 0;
  EXPECT_EQ(callSlot<int>(element, 43, &value, size_t{1}), 0);
  EXPECT_EQ(value, 6);
  zyInt64 wide = 0;
  EXPECT_EQ(callSlot<int>(element, 35, &wide, size_t{1}), 0);
  EXPECT_EQ(wide, 6);
  EXPECT_EQ(callSlot<int>(element, 2), 0);
  EXPECT_EQ(callSlot<int>(array, 1), 2);
  EXPECT_EQ(callSlot<int>(array, 2), 1);

  array_data_ref* face = dynamic_cast<array_data_ref*>(array);
  EXPECT_EQ(callSlot<size_t>(face, 5), 6u);
  EXPECT_EQ(callSlot<size_t>(face, 12, size_t{2}, at), 5u);
  EXPECT_EQ(callSlot<int>(face, 2), 0);  // destroys the array object

  char_buffer* buffer = new CharBuffer("slots");
  EXPECT_EQ(callSlot<size_t>(buffer, 3), 5u);
  EXPECT_STREQ(callSlot<const char*>(buffer, 4), "slots");
  EXPECT_EQ(callSlot<int>(buffer, 2), 0);

  error_info* record = new ErrorInfo("recorded");
  EXPECT_STREQ(callSlot<const char*>(record, 3), "recorded");
  EXPECT_EQ(callSlot<int>(record, 2), 0);
}

}  // namespace
