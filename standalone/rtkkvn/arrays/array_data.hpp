#pragma once
// Part views and element references: array objects that own no array. Each holds one reference
// to the object it was taken from (its source, an ArrayRef or CellRef seen through its
// array_data_ref face), a part selector and, for elements, a data offset. A view keeps its source
// object alive, not the source's array: after the array changes shape, an element view's offset
// may be stale (it is checked against the current data count on every access).

#include <cstddef>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/element_transfer.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"

// Part selectors.
constexpr int kWholePart = 0;
constexpr int kRealPart = 1;
constexpr int kImaginaryPart = 2;

// The real (1) or imaginary (2) part of its source. Pure queries (class, sizes, shape, flags)
// are answered by the source; copies, comparisons and the printed form use the array of the part
// (access_array).
class ArrayData : public rtkkvn::arrays::ElementTransferSlots<ArrayData>,
                  public array_data_ref,
                  public rtkkvn::arrays::PoolAllocated {
 public:
  // Adds a reference to source.
  ArrayData(array_data_ref* source, int part);
  // Releases the source, unless detach gave it up.
  ~ArrayData() override;
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;

  int addref() override;
  int release() override;

  int classID() override;
  array_ref* deep_copy() override;
  // Gives up the source (releasing the view's reference to it); the view itself is not released.
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

  int part() const { return part_; }

 protected:
  // The source; NullPointerException after detach.
  array_data_ref& source();
  // The source seen as an array_ref, for the queries it answers.
  array_ref& sourceArray();

  array_data_ref* source_;  // holds one reference; NULL after detach (guarded by global mutex)
  rtkkvn::arrays::ReferenceCount count_{1};
  int32_t part_;
};

// One element of its source: part 0 (both parts of an element of a complex array), 1 or 2. It
// reports one element of two dimensions [1,1].
class ScalarData : public ArrayData {
 public:
  ScalarData(array_data_ref* source, int part, bool present, size_t offset);

  int number_of_elements() override;
  size_t number_of_nonzeros() override;
  size_t maximum_nonzeros() override;
  size_t number_of_dimensions() override;
  array_ref* get_dimensions() override;
  bool is_sparse() override;
  array_ref* row_index() override;
  array_ref* column_index() override;
  array_ref* get_const_char(const char* field, size_t count, const size_t* indices) override;
  // Accepts (1) and (1,1) only, giving an equal view.
  array_ref* get_int(size_t count, const size_t* indices) override;
  array_ref* shared_copy() override;
  array_ref* real() override;
  array_ref* imag() override;
  // Assigns the first value of a numeric, char or logical source to the element.
  int set(array_ref* source) override;

  size_t data_count() override;
  size_t write_offset(size_t count, const size_t* indices) override;
  size_t field_offset(const char* field, size_t count, const size_t* indices) override;
  size_t read_offset_found(bool* found, size_t count, const size_t* indices) override;
  size_t read_offset(size_t count, const size_t* indices) override;
  void* real_data() override;
  void* imag_data() override;
  const void* read_data() override;
  void* write_data() override;
  // A new 1-by-1 array of the source's class holding the element's part (complex for part 0).
  void access_array(zyArray** array, bool* owned) override;

 protected:
  // A new element view like this one with another part.
  virtual array_ref* makeElementView(int part);
  // The address of the element's real (1) or imaginary (2) data; for writing, a missing sparse
  // element is stored first.
  virtual char* elementAddress(int part, bool forWrite);

  bool present_;  // false for a sparse element that is not stored
  size_t offset_;
};

// One element of a sparse source, found again by row and column (from 1) on every access, since
// storing other elements moves it. A missing element reads as zero and is stored on writing.
class SparseData : public ScalarData {
 public:
  SparseData(array_data_ref* source, int part, bool present, size_t offset, size_t row,
             size_t column);
  ~SparseData() override;

  size_t write_offset(size_t count, const size_t* indices) override;
  size_t field_offset(const char* field, size_t count, const size_t* indices) override;
  size_t read_offset_found(bool* found, size_t count, const size_t* indices) override;
  size_t read_offset(size_t count, const size_t* indices) override;

 protected:
  array_ref* makeElementView(int part) override;
  char* elementAddress(int part, bool forWrite) override;

 private:
  // A zeroed block of the largest element size, from the pool on the first read of a missing
  // element.
  char* zeroElement();

  size_t row_;
  size_t column_;
  char* zero_ = nullptr;
};
