// Elements of cell arrays and fields of struct arrays. A container owns its elements; element
// pointers handed out for writing pin the container's storage (see Storage::pinned).

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "zy/core.hpp"

using zy::detail::Core;
using zy::detail::guarded;

namespace {

zyArray* const* slotsOf(const zyArray* array) {
  return static_cast<zyArray* const*>(array->realData());
}

// The slot of (element, field) of a container, or npos when out of range.
constexpr size_t npos = static_cast<size_t>(-1);
size_t slotIndex(const zyArray* array, size_t index, int field) {
  if (array == nullptr || index >= array->numberOfElements()) return npos;
  if (array->classId() == zyCELL_CLASS) return field == 0 ? index : npos;
  if (array->classId() != zySTRUCT_CLASS) return npos;
  const size_t fields = array->get_struct_field_info().size();
  if (field < 0 || static_cast<size_t>(field) >= fields) return npos;
  return static_cast<size_t>(field) + fields * index;
}

zyArray* writableSlot(zyArray* array, size_t slot) {
  if (slot == npos || !guarded(false, [&] { return Core::makeWritableAndPin(array); })) {
    return nullptr;
  }
  return static_cast<zyArray**>(Core::storage(array).real)[slot];
}

int setSlot(zyArray* array, size_t slot, zyArray* value) {
  if (slot == npos || value == array) return -1;
  // The container is written, but the element handed in is new to it: no need to pin. When the
  // storage was shared, the copy made here holds a fresh header in the slot that nobody can
  // have taken, so it is destroyed; otherwise the old element is whoever took it with zyGetCell.
  const bool copied = array->sharesData();
  if (!guarded(false, [&] { return Core::makeWritable(array); })) return -1;
  zyArray*& target = static_cast<zyArray**>(Core::storage(array).real)[slot];
  if (copied) zyDestroyArray(target);
  target = value;
  return 0;
}

int exchangeSlot(zyArray* array, size_t slot, zyArray* value, zyArray** old) {
  if (slot == npos || value == array || old == nullptr) return -1;
  // A shared storage is copied first; the copy's slots hold fresh headers, one of which is
  // handed out.
  if (!guarded(false, [&] { return Core::makeWritable(array); })) return -1;
  zyArray*& target = static_cast<zyArray**>(Core::storage(array).real)[slot];
  *old = target;
  target = value;
  return 0;
}

}  // namespace

extern "C" {

int zyExchangeCell(zyArray* cell, size_t index, zyArray* value, zyArray** old) {
  return exchangeSlot(cell, zyIsCell(cell) ? slotIndex(cell, index, 0) : npos, value, old);
}

int zyExchangeField(zyArray* array, size_t index, int field, zyArray* value, zyArray** old) {
  return exchangeSlot(array, zyIsStruct(array) ? slotIndex(array, index, field) : npos, value,
                      old);
}

int zyResizeContainer(zyArray* array, const size_t* dims, size_t ndim) {
  if (!zyIsCell(array) && !zyIsStruct(array)) return -1;
  return guarded(-1, [&] {
    const zy::detail::Shape shape = zy::detail::normalizeShape(ndim, dims);
    size_t count = 1;
    for (size_t i = 0; i < shape.ndims; ++i) {
      if (!zy::detail::multiply(count, shape.dims[i], count)) return -1;
    }
    // A struct's slots are its fields, element after element: resizing adds or drops them at
    // the end.
    const size_t fields = zyIsCell(array) ? 1 : Core::storage(array).fieldNames().size();
    size_t slots = 0;
    if (!zy::detail::multiply(count, fields, slots) || !Core::makeWritable(array)) return -1;
    zy::detail::Storage& storage = Core::storage(array);
    const size_t oldSlots = array->numberOfElements() * fields;
    if (slots > storage.capacity) {
      // Slots past the elements are empty, as releasing the storage destroys all it has room for.
      size_t capacity = std::max<size_t>(slots, 4);
      if (storage.capacity <= SIZE_MAX / 2) capacity = std::max(capacity, 2 * storage.capacity);
      size_t bytes = 0;
      if (!zy::detail::multiply(capacity, sizeof(zyArray*), bytes)) return -1;
      if (!Core::moveSlotsOut(storage)) return -1;
      void* grown = zyRealloc(storage.real, bytes);
      if (grown == nullptr) return -1;
      std::memset(static_cast<zyArray**>(grown) + storage.capacity, 0,
                  (capacity - storage.capacity) * sizeof(zyArray*));
      storage.real = grown;
      storage.capacity = capacity;
    }
    if (!Core::setDimensions(array, ndim, dims)) return -1;
    auto** elements = static_cast<zyArray**>(storage.real);
    for (size_t slot = slots; slot < oldSlots; ++slot) {
      zyDestroyArray(elements[slot]);
      elements[slot] = nullptr;
    }
    return 0;
  });
}

const zyArray* zyGetCellConst(const zyArray* cell, size_t index) {
  const size_t slot = zyIsCell(cell) ? slotIndex(cell, index, 0) : npos;
  return slot == npos ? nullptr : slotsOf(cell)[slot];
}

zyArray* zyGetCell(zyArray* cell, size_t index) {
  return writableSlot(cell, zyIsCell(cell) ? slotIndex(cell, index, 0) : npos);
}

int zySetCell(zyArray* cell, size_t index, zyArray* value) {
  // The usual case, a cell whose storage is its own, is written at once.
  if (cell != nullptr && cell != value && cell->classId() == zyCELL_CLASS &&
      index < cell->numberOfElements() && !cell->sharesData()) {
    static_cast<zyArray**>(Core::storage(cell).real)[index] = value;
    return 0;
  }
  return setSlot(cell, zyIsCell(cell) ? slotIndex(cell, index, 0) : npos, value);
}

int zyGetNumberOfFields(const zyArray* array) {
  return zyIsStruct(array) ? static_cast<int>(array->get_struct_field_info().size()) : 0;
}

int zyGetFieldNumber(const zyArray* array, const char* name) {
  if (!zyIsStruct(array) || name == nullptr) return -1;
  const auto& fields = array->get_struct_field_info();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i] == name) return static_cast<int>(i);
  }
  return -1;
}

const char* zyGetFieldNameByNumber(const zyArray* array, int field) {
  if (!zyIsStruct(array) || field < 0) return nullptr;
  const auto& fields = array->get_struct_field_info();
  return static_cast<size_t>(field) < fields.size() ? fields[field].c_str() : nullptr;
}

const zyArray* zyGetFieldConst(const zyArray* array, size_t index, const char* name) {
  const size_t slot =
      slotIndex(zyIsStruct(array) ? array : nullptr, index, zyGetFieldNumber(array, name));
  return slot == npos ? nullptr : slotsOf(array)[slot];
}

zyArray* zyGetFieldByNumber(zyArray* array, size_t index, int field) {
  return writableSlot(array, zyIsStruct(array) ? slotIndex(array, index, field) : npos);
}

zyArray* zyGetField(zyArray* array, size_t index, const char* name) {
  return zyGetFieldByNumber(array, index, zyGetFieldNumber(array, name));
}

int zySetFieldByNumber(zyArray* array, size_t index, int field, zyArray* value) {
  return setSlot(array, zyIsStruct(array) ? slotIndex(array, index, field) : npos, value);
}

int zySetField(zyArray* array, size_t index, const char* name, zyArray* value) {
  return zySetFieldByNumber(array, index, zyGetFieldNumber(array, name), value);
}

int zyAddField(zyArray* array, const char* name) {
  if (!zyIsStruct(array) || name == nullptr || name[0] == '\0') return -1;
  const int existing = zyGetFieldNumber(array, name);
  if (existing >= 0) return existing;
  return guarded(-1, [&] {
    if (!Core::makeWritable(array)) return -1;
    zy::detail::Storage& storage = Core::storage(array);
    const size_t fields = storage.fieldNames().size();
    const size_t elements = array->numberOfElements();
    size_t slots = 0;
    if (!zy::detail::multiply(elements, fields + 1, slots)) return -1;
    // Everything that can throw happens before the new block exists, so nothing leaks.
    std::string field(name);
    std::vector<std::string>& names = storage.extras().fieldNames;
    names.reserve(fields + 1);
    auto** grown = static_cast<zyArray**>(slots ? zyCalloc(slots, sizeof(zyArray*)) : nullptr);
    if (slots != 0 && grown == nullptr) return -1;
    const auto* old = static_cast<zyArray* const*>(storage.real);
    for (size_t element = 0; element < elements; ++element) {
      for (size_t f = 0; f < fields; ++f) {
        grown[f + (fields + 1) * element] = old[f + fields * element];
      }
    }
    names.push_back(std::move(field));
    Core::freeSlots(storage);
    storage.real = grown;
    storage.capacity = slots;
    return static_cast<int>(fields);
  });
}

int zyRemoveField(zyArray* array, int field) {
  if (!zyIsStruct(array) || field < 0 || field >= zyGetNumberOfFields(array)) return -1;
  if (!guarded(false, [&] { return Core::makeWritable(array); })) return -1;
  zy::detail::Storage& storage = Core::storage(array);
  const size_t fields = storage.fieldNames().size();
  const size_t elements = array->numberOfElements();
  auto** slots = static_cast<zyArray**>(storage.real);
  // Compact in place: every kept slot moves to a lower or equal position.
  size_t target = 0;
  for (size_t element = 0; element < elements; ++element) {
    for (size_t f = 0; f < fields; ++f) {
      zyArray* value = slots[f + fields * element];
      if (f == static_cast<size_t>(field)) {
        zyDestroyArray(value);
      } else {
        slots[target++] = value;
      }
    }
  }
  std::vector<std::string>& names = storage.extras().fieldNames;
  names.erase(names.begin() + field);
  storage.capacity = target;
  return 0;
}

}  // extern "C"
