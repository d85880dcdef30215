#pragma once
// ArrayRef, the array object over a zyArray it owns, and CellRef, the reference to one element
// slot of a cell or struct array. Every slot runs under the global mutex inside the catch-all of
// slot_guard.hpp; the array_data_ref face throws instead (it runs inside another slot).

#include <cstddef>
#include <string>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/element_transfer.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"
#include "zy.h"

class ArrayRef : public rtkkvn::arrays::ElementTransferSlots<ArrayRef>,
                 public array_data_ref,
                 public rtkkvn::arrays::PoolAllocated {
 public:
  // Holds array: adopted, or a duplicate of it when duplicate is true. NULL holds a new 0-by-0
  // array of class 0. Throws MemoryException when an array cannot be made.
  ArrayRef(zyArray* array, bool duplicate);
  ArrayRef(const ArrayRef&) = delete;
  ArrayRef& operator=(const ArrayRef&) = delete;

  // Slot 58, the first slot beyond array_ref (declared first so that it keeps that place): the
  // array this object stands for, still owned by the object; NULL after detach. Takes no lock.
  virtual zyArray* get_zyArray();

  // Destroys the array (under the Java guard for class 17, see java_scope.hpp).
  ~ArrayRef() override;

  int addref() override;
  int release() override;

  int classID() override;
  array_ref* deep_copy() override;
  void detach() override;
  array_ref* shared_copy() override;
  array_ref* serialize() override;
  int element_size() override;
  int number_of_elements() override;
  size_t number_of_nonzeros() override;
  size_t maximum_nonzeros() override;
  size_t number_of_dimensions() override;
  array_ref* get_dimensions() override;
  int number_of_fields() override;
  char_buffer* get_field_name(int field) override;
  bool is_empty() override;
  bool is_sparse() override;
  bool is_numeric() override;
  bool is_complex() override;
  int make_complex() override;
  bool equals(array_ref* other) override;
  int compare_to(array_ref* other) override;
  int hash_code() override;
  char_buffer* to_string() override;
  array_ref* row_index() override;
  array_ref* column_index() override;
  array_ref* get_const_char(const char* field, size_t count, const size_t* indices) override;
  array_ref* get_int(size_t count, const size_t* indices) override;
  array_ref* getV_const_char(const char* field, size_t count, va_list indices) override;
  array_ref* getV_int(size_t count, va_list indices) override;
  int set(array_ref* source) override;
  array_ref* real() override;
  array_ref* imag() override;

  size_t data_count() override;
  size_t write_offset(size_t count, const size_t* indices) override;
  size_t field_offset(const char* field, size_t count, const size_t* indices) override;
  size_t read_offset_found(bool* found, size_t count, const size_t* indices) override;
  size_t read_offset(size_t count, const size_t* indices) override;
  void* real_data() override;
  void* imag_data() override;
  const void* read_data() override;
  void* write_data() override;
  void access_array(zyArray** array, bool* owned) override;

 protected:
  struct Borrow {};
  // Holds array as it is, owning nothing yet: the CellRef's container.
  ArrayRef(zyArray* array, Borrow);

  zyArray* array_;  // guarded by the global mutex; not NULL from construction until detach
  rtkkvn::arrays::ReferenceCount count_{1};
};

// One element slot of a cell or struct array (the container, which it does not own) at a data
// offset. Every operation works on the element; an empty slot is filled with a 0-by-0 double
// array on first use, so that the object always stands for an array the container owns. The
// reference keeps no count on its container: it is valid while the container is.
class CellRef : public ArrayRef {
 public:
  CellRef(zyArray* container, size_t offset);
  // Forgets the container before ArrayRef's destructor runs, so that it is never destroyed here.
  ~CellRef() override;

  // The element (owned by the container), or NULL after detach or when memory runs out.
  zyArray* get_zyArray() override;

  // Stores a shared-data copy of the source's array into the slot and destroys the element that
  // was there.
  int set(array_ref* source) override;
  // These store a new count-by-1 array of the buffer's class into the slot instead of writing
  // into the element.
  int set_numeric_zyUint64(const zyUint64* buffer, size_t count) override;
  int set_numeric_zyInt64(const zyInt64* buffer, size_t count) override;
  int set_numeric_zyUint32(const zyUint32* buffer, size_t count) override;
  int set_numeric_zyInt32(const zyInt32* buffer, size_t count) override;
  int set_numeric_zyUint16(const zyUint16* buffer, size_t count) override;
  int set_numeric_zyInt16(const zyInt16* buffer, size_t count) override;
  int set_numeric_zyUint8(const zyUint8* buffer, size_t count) override;
  int set_numeric_zyInt8(const zyInt8* buffer, size_t count) override;
  int set_numeric_zySingle(const zySingle* buffer, size_t count) override;
  int set_numeric_zyDouble(const zyDouble* buffer, size_t count) override;

  size_t offset() const { return offset_; }

 private:
  template <typename Element, zyClassID kClass>
  int storeNumbers(const Element* buffer, size_t count);
  // Puts element (adopted) into the slot and destroys the element it replaces.
  void replaceElement(zyArray* element);

  size_t offset_;
};

// New objects with one reference for the caller; MemoryException when they cannot be made.
array_ref* newArrayRef(zyArray* array, bool duplicate);
array_ref* newCellRef(zyArray* container, size_t offset);

namespace rtkkvn::arrays {

// What ArrayRef and the views do alike with the array an object stands for (NULL when it has
// none). Call with the global mutex held; they throw on failure.
array_ref* duplicateIntoNew(const zyArray* array);
array_ref* serializeIntoNew(const zyArray* array);
bool arraysEqual(const zyArray* array, array_ref* other);
int compareArrays(const zyArray* array, array_ref* other);
int hashArray(const zyArray* array);
// The printed form of to_string: "[]" for NULL or empty arrays; otherwise the array library's
// display form, trimmed unless the array is a char vector (trimPrintedForm).
std::string printedForm(const zyArray* array);
// Drops the surrounding line feeds of a one-part display text: when the text starts with
// something other than a line feed it is cut after its last non-line-feed character, and when
// what lies between the first and the last non-line-feed character is one line, its surrounding
// blanks go too.
std::string trimPrintedForm(std::string text);
// A new rows-by-columns int32 array of ones, wrapped.
array_ref* int32Ones(size_t rows, size_t columns);
// A new 1-by-count uint64 array of values, wrapped.
array_ref* uint64RowVector(const size_t* values, size_t count);
// The element slot of a cell or struct container (data offset), for writing: the container
// keeps owning it. NULL for an empty slot.
zyArray* containerElement(zyArray* container, size_t offset);
// Copies n size_t values from a variable argument list.
template <typename IndexBuffer>
void copyIndices(IndexBuffer& buffer, size_t count, va_list indices) {
  va_list copy;
  va_copy(copy, indices);
  for (size_t i = 0; i < count; ++i) buffer[i] = va_arg(copy, size_t);
  va_end(copy);
}

}  // namespace rtkkvn::arrays
