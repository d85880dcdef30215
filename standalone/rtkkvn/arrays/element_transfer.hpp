#pragma once
// Typed element transfer: the slots that copy elements between a client's buffer of one element
// type and an object's data, converting between classes with zyConvertBufferToType. One routine
// serves every object; its array_data_ref face decides which data is meant (the whole array, a
// part, or one element).

#include <cstring>

#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"

namespace rtkkvn::arrays {

// The class named as the target when the data cannot be converted: "numeric" for the ten numeric
// element types, the class itself for char and logical.
template <zyClassID kClass>
ArrayConvertException unconvertible(int arrayClass) {
  if constexpr (kClass == zyCHAR_CLASS || kClass == zyLOGICAL_CLASS) {
    return ArrayConvertException(kClass, arrayClass);
  } else {
    return ArrayConvertException("numeric", arrayClass);
  }
}

// Checks a transfer of count elements of kClass with face; returns the class of its array.
template <zyClassID kClass>
int checkTransfer(array_data_ref& face, const void* buffer, size_t count) {
  if (buffer == nullptr) throw IllegalArgumentException();
  if (count > face.data_count()) throw IndexOutOfBoundsException();
  const int arrayClass = face.classID();
  if (arrayClass == zyCELL_CLASS || arrayClass == zySTRUCT_CLASS) {
    throw unconvertible<kClass>(arrayClass);
  }
  return arrayClass;
}

// Reads count elements from the face's data into buffer. 0, or -1 with the last error set.
template <typename Element, zyClassID kClass>
int getElements(array_data_ref& face, Element* buffer, size_t count) noexcept {
  return guardedSlot(-1, [&] {
    const int arrayClass = checkTransfer<kClass>(face, buffer, count);
    if (count == 0) return 0;
    const void* data = face.read_data();
    if (data == nullptr) throw unconvertible<kClass>(arrayClass);  // a class without data
    if (arrayClass == kClass) {
      std::memcpy(buffer, data, count * sizeof(Element));
    } else if (zyConvertBufferToType(buffer, kClass, data, static_cast<zyClassID>(arrayClass),
                                     count) != 0) {
      throw unconvertible<kClass>(arrayClass);
    }
    return 0;
  });
}

// Writes count elements from buffer into the face's data. 0, or -1 with the last error set.
template <typename Element, zyClassID kClass>
int setElements(array_data_ref& face, const Element* buffer, size_t count) noexcept {
  return guardedSlot(-1, [&] {
    const int arrayClass = checkTransfer<kClass>(face, buffer, count);
    if (count == 0) return 0;
    void* data = face.write_data();
    if (data == nullptr) throw unconvertible<kClass>(arrayClass);
    if (arrayClass == kClass) {
      std::memcpy(data, buffer, count * sizeof(Element));
    } else if (zyConvertBufferToType(data, static_cast<zyClassID>(arrayClass), buffer, kClass,
                                     count) != 0) {
      throw unconvertible<kClass>(arrayClass);
    }
    return 0;
  });
}

// The 24 transfer slots (34 to 57) of an implementation that is both an array_ref and an
// array_data_ref; it derives from this instead of array_ref. Adds no slot of its own.
template <typename Implementation>
class ElementTransferSlots : public array_ref {
 public:
  int get_numeric_zyUint64(zyUint64* buffer, size_t count) override {
    return getElements<zyUint64, zyUINT64_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyInt64(zyInt64* buffer, size_t count) override {
    return getElements<zyInt64, zyINT64_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyUint32(zyUint32* buffer, size_t count) override {
    return getElements<zyUint32, zyUINT32_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyInt32(zyInt32* buffer, size_t count) override {
    return getElements<zyInt32, zyINT32_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyUint16(zyUint16* buffer, size_t count) override {
    return getElements<zyUint16, zyUINT16_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyInt16(zyInt16* buffer, size_t count) override {
    return getElements<zyInt16, zyINT16_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyUint8(zyUint8* buffer, size_t count) override {
    return getElements<zyUint8, zyUINT8_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyInt8(zyInt8* buffer, size_t count) override {
    return getElements<zyInt8, zyINT8_CLASS>(face(), buffer, count);
  }
  int get_numeric_zySingle(zySingle* buffer, size_t count) override {
    return getElements<zySingle, zySINGLE_CLASS>(face(), buffer, count);
  }
  int get_numeric_zyDouble(zyDouble* buffer, size_t count) override {
    return getElements<zyDouble, zyDOUBLE_CLASS>(face(), buffer, count);
  }
  int get_char(zyChar* buffer, size_t count) override {
    return getElements<zyChar, zyCHAR_CLASS>(face(), buffer, count);
  }
  int get_logical(zyLogical* buffer, size_t count) override {
    return getElements<zyLogical, zyLOGICAL_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyUint64(const zyUint64* buffer, size_t count) override {
    return setElements<zyUint64, zyUINT64_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyInt64(const zyInt64* buffer, size_t count) override {
    return setElements<zyInt64, zyINT64_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyUint32(const zyUint32* buffer, size_t count) override {
    return setElements<zyUint32, zyUINT32_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyInt32(const zyInt32* buffer, size_t count) override {
    return setElements<zyInt32, zyINT32_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyUint16(const zyUint16* buffer, size_t count) override {
    return setElements<zyUint16, zyUINT16_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyInt16(const zyInt16* buffer, size_t count) override {
    return setElements<zyInt16, zyINT16_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyUint8(const zyUint8* buffer, size_t count) override {
    return setElements<zyUint8, zyUINT8_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyInt8(const zyInt8* buffer, size_t count) override {
    return setElements<zyInt8, zyINT8_CLASS>(face(), buffer, count);
  }
  int set_numeric_zySingle(const zySingle* buffer, size_t count) override {
    return setElements<zySingle, zySINGLE_CLASS>(face(), buffer, count);
  }
  int set_numeric_zyDouble(const zyDouble* buffer, size_t count) override {
    return setElements<zyDouble, zyDOUBLE_CLASS>(face(), buffer, count);
  }
  int set_char(const zyChar* buffer, size_t count) override {
    return setElements<zyChar, zyCHAR_CLASS>(face(), buffer, count);
  }
  int set_logical(const zyLogical* buffer, size_t count) override {
    return setElements<zyLogical, zyLOGICAL_CLASS>(face(), buffer, count);
  }

 private:
  array_data_ref& face() { return *static_cast<Implementation*>(this); }
};

}  // namespace rtkkvn::arrays
