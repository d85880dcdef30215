#pragma once
// Calling an object's operation through its slot table by slot number, as the exported
// functions of the array API do. On this platform's C++ ABI the virtual destructor (slot 0)
// takes two table entries, the complete-object and the deleting destructor, so slot k >= 1 is
// table entry k + 1.

#include <cstddef>

namespace rtkkvn::arrays {

constexpr size_t kDestructorEntries = 2;

constexpr size_t slotTableEntry(size_t slot) {
  return slot == 0 ? 0 : slot + kDestructorEntries - 1;
}

// Calls slot of object, which must point at the part of the object whose slot table is meant
// (an array_ref*, array_buffer*, ...), with the slot's exact argument and result types.
template <typename Result, typename Object, typename... Arguments>
Result callSlot(Object* object, size_t slot, Arguments... arguments) {
  using Entry = Result (*)(Object*, Arguments...);
  const Entry* table = *reinterpret_cast<const Entry* const*>(object);
  return table[slotTableEntry(slot)](object, arguments...);
}

}  // namespace rtkkvn::arrays
