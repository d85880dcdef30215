// rtkkvn::Array: a header-only C++ array class over the exported functions of rtkkvn_array.h.
//
// Arrays have value semantics: copying an Array makes a shared-data copy in constant time, and
// the first write to either copy gives it data of its own, so copies never change each other.
// Indexing (operator(), field, real, imag) returns an ArrayElement, a reference into the array
// it came from: assigning to it writes into that array. An ArrayElement is valid while the
// array it points into keeps its shape; turn it into an Array to keep its value.
//
// Errors: every failing call throws koException (through koException::raise_error) with the
// library's message, for example "Attempt to access element at index 7  in array of size 6".
//
// Threads: objects may be used from any thread; the library serialises the operations. One
// Array object itself must not be assigned on two threads at once.
#ifndef RTKKVN_ARRAY_HPP
#define RTKKVN_ARRAY_HPP

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "rtkkvn_array.h"
#include "rtkkvn_error.h"

namespace rtkkvn {

namespace detail {

// A call failed and left its error pending: throw it.
inline void raiseIfFailed(bool failed) {
  if (failed) koException::raise_error();
}

template <typename Pointer>
Pointer checked(Pointer pointer) {
  if (pointer == nullptr) koException::raise_error();
  return pointer;
}

inline void checkStatus(int status) {
  if (status != 0) koException::raise_error();
}

// The typed transfers and scalar constructors by element type.
#define RTKKVN_ARRAY_TYPE(TYPE, SUFFIX)                                       \
  inline int getValues(array_ref* object, TYPE* values, size_t count) {       \
    return array_ref_get_numeric_##SUFFIX(object, values, count);             \
  }                                                                           \
  inline int setValues(array_ref* object, const TYPE* values, size_t count) { \
    return array_ref_set_numeric_##SUFFIX(object, values, count);             \
  }
RTKKVN_ARRAY_TYPE(zyDouble, zyDouble)
RTKKVN_ARRAY_TYPE(zySingle, zySingle)
RTKKVN_ARRAY_TYPE(zyInt8, zyInt8)
RTKKVN_ARRAY_TYPE(zyUint8, zyUint8)
RTKKVN_ARRAY_TYPE(zyInt16, zyInt16)
RTKKVN_ARRAY_TYPE(zyUint16, zyUint16)
RTKKVN_ARRAY_TYPE(zyInt32, zyInt32)
RTKKVN_ARRAY_TYPE(zyUint32, zyUint32)
RTKKVN_ARRAY_TYPE(zyInt64, zyInt64)
RTKKVN_ARRAY_TYPE(zyUint64, zyUint64)
#undef RTKKVN_ARRAY_TYPE
inline int getValues(array_ref* object, zyChar* values, size_t count) {
  return array_ref_get_char(object, values, count);
}
inline int setValues(array_ref* object, const zyChar* values, size_t count) {
  return array_ref_set_char(object, values, count);
}

inline int makeScalar(array_ref** out, zyDouble value) {
  return rtkGetScalarDouble(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zySingle value) {
  return rtkGetScalarSingle(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyInt8 value) {
  return rtkGetScalarInt8(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyUint8 value) {
  return rtkGetScalarUint8(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyInt16 value) {
  return rtkGetScalarInt16(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyUint16 value) {
  return rtkGetScalarUint16(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyInt32 value) {
  return rtkGetScalarInt32(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyUint32 value) {
  return rtkGetScalarUint32(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyInt64 value) {
  return rtkGetScalarInt64(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyUint64 value) {
  return rtkGetScalarUint64(out, value, 0, zyREAL);
}
inline int makeScalar(array_ref** out, zyChar value) { return rtkGetScalarChar(out, value); }

}  // namespace detail

class Array;
class ArrayElement;

// What arrays and element references share: queries, typed reads and writes, indexing.
class ArrayBase {
 public:
  int classID() const { return checkedInt(array_ref_classID(ref_), 0); }
  size_t numberOfElements() const {
    return static_cast<size_t>(checkedInt(array_ref_number_of_elements(ref_), -1));
  }
  size_t numberOfNonzeros() const { return checkedSize(array_ref_number_of_nonzeros(ref_)); }
  size_t numberOfDimensions() const { return checkedSize(array_ref_number_of_dimensions(ref_)); }
  std::vector<size_t> dimensions() const;
  int numberOfFields() const { return checkedInt(array_ref_number_of_fields(ref_), -1); }
  // The name of field (from 0); "" when there is no such field.
  std::string fieldName(int field) const { return take(array_ref_get_field_name(ref_, field)); }
  bool isEmpty() const { return checkedBool(array_ref_is_empty(ref_), true); }
  bool isSparse() const { return checkedBool(array_ref_is_sparse(ref_), false); }
  bool isNumeric() const { return checkedBool(array_ref_is_numeric(ref_), false); }
  bool isComplex() const { return checkedBool(array_ref_is_complex(ref_), false); }
  // The printed form, as the Q-code console shows the value.
  std::string toString() const { return take(array_ref_to_string(ref_)); }
  int hashCode() const { return checkedInt(array_ref_hash_code(ref_), 0); }

  // The first count values converted to T (saturating into integer types).
  template <typename T>
  std::vector<T> values(size_t count) const {
    std::vector<T> out(count);
    if (count) detail::checkStatus(detail::getValues(ref_, out.data(), count));
    return out;
  }
  template <typename T>
  std::vector<T> values() const {
    return values<T>(numberOfElements());
  }
  // The first value converted to T.
  template <typename T>
  T value() const {
    T out{};
    detail::checkStatus(detail::getValues(ref_, &out, 1));
    return out;
  }
  // Writes count values, converted to the array's class, from the first element on.
  template <typename T>
  void setValues(const T* values, size_t count) {
    detail::checkStatus(detail::setValues(ref_, values, count));
  }
  template <typename T>
  void setValues(const std::vector<T>& values) {
    setValues(values.data(), values.size());
  }
  std::vector<zyLogical> logicals(size_t count) const {
    std::vector<zyLogical> out(count);
    if (count) detail::checkStatus(array_ref_get_logical(ref_, out.data(), count));
    return out;
  }
  void setLogicals(const zyLogical* values, size_t count) {
    detail::checkStatus(array_ref_set_logical(ref_, values, count));
  }

  // Element references; indices count from 1 (one linear index or one per dimension).
  ArrayElement operator()(size_t index) const;
  ArrayElement operator()(size_t row, size_t column) const;
  ArrayElement at(const std::vector<size_t>& indices) const;
  // The field of the element at index (linear, from 1) of a struct array.
  ArrayElement field(const char* name, size_t index = 1) const;
  ArrayElement real() const;
  ArrayElement imag() const;

  bool operator==(const ArrayBase& other) const {
    return checkedBool(array_ref_equals(ref_, other.ref_), false);
  }
  bool operator!=(const ArrayBase& other) const { return !(*this == other); }
  // Orders by the serialized bytes: a shorter serialization first, then byte-wise.
  int compareTo(const ArrayBase& other) const {
    return checkedInt(array_ref_compare_to(ref_, other.ref_), 0);
  }
  bool operator<(const ArrayBase& other) const { return compareTo(other) < 0; }

  // The object underneath, still owned by this object.
  array_ref* get() const { return ref_; }

 protected:
  explicit ArrayBase(array_ref* ref) noexcept : ref_(ref) {}
  ~ArrayBase() {
    if (ref_) ref_count_obj_release(reinterpret_cast<ref_count_obj*>(ref_));
  }
  void swap(ArrayBase& other) noexcept { std::swap(ref_, other.ref_); }

  static int checkedInt(int result, int failure) {
    detail::raiseIfFailed(result == failure && rtkcppErrorCheck() == 0);
    return result;
  }
  static bool checkedBool(bool result, bool failure) {
    detail::raiseIfFailed(result == failure && rtkcppErrorCheck() == 0);
    return result;
  }
  static size_t checkedSize(size_t result) {
    detail::raiseIfFailed(result == static_cast<size_t>(-1) && rtkcppErrorCheck() == 0);
    return result;
  }
  static std::string take(char_buffer* text) {
    detail::checked(text);
    std::string result(char_buffer_get_buffer(text), char_buffer_size(text));
    ref_count_obj_release(reinterpret_cast<ref_count_obj*>(text));
    return result;
  }

  array_ref* ref_;
};

// An array value.
class Array : public ArrayBase {
 public:
  // The 0-by-0 double array.
  Array()
      : ArrayBase(make([](array_ref** out) { return rtkGetEmptyArray(out, zyDOUBLE_CLASS); })) {}
  // A 1-by-1 array of the value's class (double, single, the integer classes, char).
  template <typename T, typename = decltype(detail::makeScalar(nullptr, T{}))>
  Array(T value)
      : ArrayBase(make([&](array_ref** out) { return detail::makeScalar(out, value); })) {}
  // A char row vector of UTF-8 text.
  Array(const char* text)
      : ArrayBase(make([&](array_ref** out) { return rtkGetString(out, text); })) {}
  Array(const std::string& text) : Array(text.c_str()) {}
  // A 1-by-n double row vector.
  Array(std::initializer_list<double> values) : Array(matrix(1, values.size())) {
    if (values.size()) setValues(values.begin(), values.size());
  }

  static Array matrix(size_t m, size_t n, zyClassID classId = zyDOUBLE_CLASS,
                      zyComplexity complexity = zyREAL) {
    return Array(
        make([&](array_ref** out) { return rtkGetMatrix(out, m, n, classId, complexity); }));
  }
  static Array array(const std::vector<size_t>& dims, zyClassID classId = zyDOUBLE_CLASS,
                     zyComplexity complexity = zyREAL) {
    return Array(make([&](array_ref** out) {
      return rtkGetArray(out, dims.size(), dims.data(), classId, complexity);
    }));
  }
  static Array empty(zyClassID classId) {
    return Array(make([&](array_ref** out) { return rtkGetEmptyArray(out, classId); }));
  }
  static Array complexScalar(double real, double imag) {
    return Array(
        make([&](array_ref** out) { return rtkGetScalarDouble(out, real, imag, zyCOMPLEX); }));
  }
  static Array logical(bool value) {
    return Array(make([&](array_ref** out) { return rtkGetScalarLogical(out, value ? 1 : 0); }));
  }
  static Array logicalMatrix(size_t m, size_t n) {
    return Array(make([&](array_ref** out) { return rtkGetLogicalMatrix(out, m, n); }));
  }
  static Array charMatrix(const std::vector<const char*>& rows) {
    std::vector<const char*> copy(rows);
    return Array(make([&](array_ref** out) {
      return rtkGetCharMatrixFromStrings(out, copy.size(), copy.data());
    }));
  }
  static Array cell(size_t m, size_t n) {
    return Array(make([&](array_ref** out) { return rtkGetCellMatrix(out, m, n); }));
  }
  static Array structure(size_t m, size_t n, std::vector<const char*> fields) {
    return Array(make([&](array_ref** out) {
      return rtkGetStructMatrix(out, m, n, static_cast<int>(fields.size()), fields.data());
    }));
  }
  // An m-by-n sparse double array from (row, column, value) lists, indices from 1.
  static Array sparse(const std::vector<size_t>& rows, const std::vector<size_t>& columns,
                      const std::vector<double>& values, size_t m, size_t n) {
    return Array(make([&](array_ref** out) {
      return rtkGetNumericSparse(out, rows.size(), rows.data(), columns.size(), columns.data(),
                                 values.size(), values.data(), nullptr, m, n, 0, zyDOUBLE_CLASS,
                                 zyREAL);
    }));
  }
  // Takes a raw array over (the Array then owns it).
  static Array adopt(zyArray* array) {
    array_handle handle = nullptr;
    detail::checkStatus(rtkzyArray2ArrayHandle(&handle, array));
    return Array(reinterpret_cast<array_ref*>(handle));
  }
  // Takes an object with one reference over (from the exported functions).
  static Array fromObject(array_ref* object) { return Array(detail::checked(object)); }

  Array(const Array& other) : ArrayBase(detail::checked(array_ref_shared_copy(other.ref_))) {}
  Array(Array&& other) noexcept : ArrayBase(other.ref_) { other.ref_ = nullptr; }
  // The value an element reference or part view stands for, as an array of its own.
  Array(const ArrayElement& element);
  Array& operator=(Array other) noexcept {
    swap(other);
    return *this;
  }
  ~Array() = default;

  // A new raw array with the same value (a shared-data copy), owned by the caller.
  zyArray* toZyArray() const {
    array_ref* copy = detail::checked(array_ref_shared_copy(ref_));
    zyArray* result = nullptr;
    detail::checkStatus(rtkArrayHandle2zyArray(&result, reinterpret_cast<array_handle>(copy)));
    return result;
  }
  // The bytes of the array as a uint8 array, and back.
  Array serialize() const { return Array(detail::checked(array_ref_serialize(ref_))); }
  static Array deserialize(const Array& bytes) {
    array_ref* source = bytes.ref_;
    return Array(make([&](array_ref** out) { return rtkDeserializeArray(out, &source); }));
  }
  Array deepCopy() const { return Array(detail::checked(array_ref_deep_copy(ref_))); }

 private:
  friend class ArrayBase;
  explicit Array(array_ref* ref) noexcept : ArrayBase(ref) {}
  template <typename Make>
  static array_ref* make(Make&& makeObject) {
    array_ref* out = nullptr;
    detail::checkStatus(makeObject(&out));
    return out;
  }
};

// A reference to an element, a field or a part of an array. Assigning writes through.
class ArrayElement : public ArrayBase {
 public:
  ArrayElement(const ArrayElement& other) : ArrayBase(other.ref_) {
    ref_count_obj_addref(reinterpret_cast<ref_count_obj*>(ref_));
  }
  ArrayElement& operator=(const ArrayElement& value) { return assign(value); }
  ArrayElement& operator=(const Array& value) { return assign(value); }
  // Stores a scalar (or a text for a cell or field element).
  template <typename T, typename = decltype(Array(std::declval<T>()))>
  ArrayElement& operator=(T value) {
    return assign(Array(value));
  }
  ~ArrayElement() = default;

 private:
  friend class ArrayBase;
  explicit ArrayElement(array_ref* ref) noexcept : ArrayBase(ref) {}
  ArrayElement& assign(const ArrayBase& value) {
    detail::checkStatus(array_ref_set(ref_, value.get()));
    return *this;
  }
};

inline std::vector<size_t> ArrayBase::dimensions() const {
  Array dims = Array::fromObject(array_ref_get_dimensions(ref_));
  const std::vector<uint64_t> values = dims.values<uint64_t>();
  return std::vector<size_t>(values.begin(), values.end());
}

inline ArrayElement ArrayBase::operator()(size_t index) const {
  return ArrayElement(detail::checked(array_ref_get_int(ref_, 1, &index)));
}
inline ArrayElement ArrayBase::operator()(size_t row, size_t column) const {
  const size_t indices[2] = {row, column};
  return ArrayElement(detail::checked(array_ref_get_int(ref_, 2, indices)));
}
inline ArrayElement ArrayBase::at(const std::vector<size_t>& indices) const {
  return ArrayElement(detail::checked(array_ref_get_int(ref_, indices.size(), indices.data())));
}
inline ArrayElement ArrayBase::field(const char* name, size_t index) const {
  return ArrayElement(detail::checked(array_ref_get_const_char(ref_, name, 1, &index)));
}
inline ArrayElement ArrayBase::real() const {
  return ArrayElement(detail::checked(array_ref_real(ref_)));
}
inline ArrayElement ArrayBase::imag() const {
  return ArrayElement(detail::checked(array_ref_imag(ref_)));
}

inline Array::Array(const ArrayElement& element)
    : ArrayBase(detail::checked(array_ref_deep_copy(element.get()))) {}

}  // namespace rtkkvn

#endif  // RTKKVN_ARRAY_HPP
