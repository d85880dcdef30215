#pragma once
// The interfaces of the array API's objects. Their virtual slot order is a binary contract: the
// exported functions jump to a slot by its number, so a declaration must never move. Slot
// numbers are given beside every declaration; on this platform's C++ ABI slot 0 (the destructor)
// takes two table entries, so slot k >= 1 is table entry k + 1 (see slot_table.hpp).
//
// Every slot of array_ref, array_buffer and char_buffer catches its own exceptions: a failure
// becomes the calling thread's last error (rtkkvn_error.h) and the slot returns its failure value
// (NULL for objects, -1 for int results, all bits set for size_t results, false for is_sparse,
// is_numeric, is_complex and equals, true for is_empty, 0 for classID, compare_to and hash_code).
// Every object returned as new carries one reference for the caller.

#include <cstdarg>
#include <cstddef>

#include "rtkkvn/export.hpp"
#include "rtkkvn_error.h"
#include "zy.h"

class char_buffer;

// An array, a part of an array or one element of an array, as client code sees it.
class RTKKVN_EXPORT array_ref : public ref_count_obj {
 public:
  virtual int classID() = 0;           // 3
  virtual array_ref* deep_copy() = 0;  // 4
  // Gives up the array without destroying it (whoever took it with get_zyArray owns it), then
  // releases the caller's reference.
  virtual void detach() = 0;                           // 5
  virtual array_ref* shared_copy() = 0;                // 6
  virtual array_ref* serialize() = 0;                  // 7: the bytes as a 1-by-n uint8 array
  virtual int element_size() = 0;                      // 8
  virtual int number_of_elements() = 0;                // 9
  virtual size_t number_of_nonzeros() = 0;             // 10
  virtual size_t maximum_nonzeros() = 0;               // 11
  virtual size_t number_of_dimensions() = 0;           // 12
  virtual array_ref* get_dimensions() = 0;             // 13
  virtual int number_of_fields() = 0;                  // 14
  virtual char_buffer* get_field_name(int field) = 0;  // 15: field from 0
  virtual bool is_empty() = 0;                         // 16
  virtual bool is_sparse() = 0;                        // 17
  virtual bool is_numeric() = 0;                       // 18
  virtual bool is_complex() = 0;                       // 19
  virtual int make_complex() = 0;                      // 20
  virtual bool equals(array_ref* other) = 0;           // 21
  virtual int compare_to(array_ref* other) = 0;        // 22
  virtual int hash_code() = 0;                         // 23
  virtual char_buffer* to_string() = 0;                // 24
  virtual array_ref* row_index() = 0;                  // 25
  virtual array_ref* column_index() = 0;               // 26
  // Element references; indices count from 1.
  virtual array_ref* get_const_char(const char* field, size_t count,
                                    const size_t* indices) = 0;         // 27
  virtual array_ref* get_int(size_t count, const size_t* indices) = 0;  // 28
  // As 27 and 28 with count size_t indices in a variable argument list.
  virtual array_ref* getV_const_char(const char* field, size_t count, va_list indices) = 0;  // 29
  virtual array_ref* getV_int(size_t count, va_list indices) = 0;                            // 30
  virtual int set(array_ref* source) = 0;                                                    // 31
  virtual array_ref* real() = 0;                                                             // 32
  virtual array_ref* imag() = 0;                                                             // 33
  // Typed transfers of count elements; 0 or -1. Upward from uint64 to double.
  virtual int get_numeric_zyUint64(zyUint64* buffer, size_t count) = 0;        // 34
  virtual int get_numeric_zyInt64(zyInt64* buffer, size_t count) = 0;          // 35
  virtual int get_numeric_zyUint32(zyUint32* buffer, size_t count) = 0;        // 36
  virtual int get_numeric_zyInt32(zyInt32* buffer, size_t count) = 0;          // 37
  virtual int get_numeric_zyUint16(zyUint16* buffer, size_t count) = 0;        // 38
  virtual int get_numeric_zyInt16(zyInt16* buffer, size_t count) = 0;          // 39
  virtual int get_numeric_zyUint8(zyUint8* buffer, size_t count) = 0;          // 40
  virtual int get_numeric_zyInt8(zyInt8* buffer, size_t count) = 0;            // 41
  virtual int get_numeric_zySingle(zySingle* buffer, size_t count) = 0;        // 42
  virtual int get_numeric_zyDouble(zyDouble* buffer, size_t count) = 0;        // 43
  virtual int get_char(zyChar* buffer, size_t count) = 0;                      // 44
  virtual int get_logical(zyLogical* buffer, size_t count) = 0;                // 45
  virtual int set_numeric_zyUint64(const zyUint64* buffer, size_t count) = 0;  // 46
  virtual int set_numeric_zyInt64(const zyInt64* buffer, size_t count) = 0;    // 47
  virtual int set_numeric_zyUint32(const zyUint32* buffer, size_t count) = 0;  // 48
  virtual int set_numeric_zyInt32(const zyInt32* buffer, size_t count) = 0;    // 49
  virtual int set_numeric_zyUint16(const zyUint16* buffer, size_t count) = 0;  // 50
  virtual int set_numeric_zyInt16(const zyInt16* buffer, size_t count) = 0;    // 51
  virtual int set_numeric_zyUint8(const zyUint8* buffer, size_t count) = 0;    // 52
  virtual int set_numeric_zyInt8(const zyInt8* buffer, size_t count) = 0;      // 53
  virtual int set_numeric_zySingle(const zySingle* buffer, size_t count) = 0;  // 54
  virtual int set_numeric_zyDouble(const zyDouble* buffer, size_t count) = 0;  // 55
  virtual int set_char(const zyChar* buffer, size_t count) = 0;                // 56
  virtual int set_logical(const zyLogical* buffer, size_t count) = 0;          // 57
};

// The face one implementation shows another, reached from an array_ref by dynamic_cast. Its own
// slots (data_count and 9 to 17) throw instead of recording a last error: they run inside a slot
// of array_ref that catches. Offsets count data elements from 0; indices count from 1.
class array_data_ref {
 public:
  virtual ~array_data_ref() noexcept(false) {}  // 0
  virtual int addref() = 0;                     // 1: the same count as the array_ref face
  virtual int release() = 0;                    // 2
  virtual int classID() = 0;                    // 3
  virtual int element_size() = 0;               // 4
  // Stored data elements: 0 for an empty array, the stored elements of a sparse array, elements
  // times fields for struct and object arrays, else the elements.
  virtual size_t data_count() = 0;  // 5
  virtual bool is_numeric() = 0;    // 6
  virtual bool is_complex() = 0;    // 7
  virtual bool is_sparse() = 0;     // 8
  // The offset to write; a sparse element that is not stored is stored (as zero) first.
  virtual size_t write_offset(size_t count, const size_t* indices) = 0;  // 9
  virtual size_t field_offset(const char* field, size_t count,
                              const size_t* indices) = 0;  // 10
  // *found is false when a sparse element is not stored; the offset is then where it would go.
  virtual size_t read_offset_found(bool* found, size_t count, const size_t* indices) = 0;  // 11
  virtual size_t read_offset(size_t count, const size_t* indices) = 0;                     // 12
  virtual void* real_data() = 0;                                                           // 13
  virtual void* imag_data() = 0;                                                           // 14
  // The data of the viewed part (one element for element views), for reading and for writing.
  virtual const void* read_data() = 0;  // 15
  virtual void* write_data() = 0;       // 16
  // The array that stands for this object; *owned tells whether the caller must destroy it.
  virtual void access_array(zyArray** array, bool* owned) = 0;  // 17
};

// A growable list of array references (indices from 1); each entry holds one reference or is
// NULL.
class RTKKVN_EXPORT array_buffer : public ref_count_obj {
 public:
  virtual size_t size() = 0;  // 3
  // The entry with one added reference; a NULL entry is first replaced by an empty array.
  virtual array_ref* get(size_t index) = 0;             // 4
  virtual int set(size_t index, array_ref* array) = 0;  // 5
  virtual int add(array_ref* array) = 0;                // 6
  virtual int remove(size_t index) = 0;                 // 7
  virtual int clear() = 0;                              // 8
  // A new 1-by-length cell array of the entries from offset on.
  virtual array_ref* to_cell(size_t offset, size_t length) = 0;  // 9
};

// A byte string.
class RTKKVN_EXPORT char_buffer : public ref_count_obj {
 public:
  virtual size_t size() = 0;  // 3
  // The zero-terminated text, owned by the buffer until it changes or goes.
  virtual const char* get_buffer() = 0;            // 4
  virtual int set_buffer(const char* text) = 0;    // 5
  virtual int compare_to(char_buffer* other) = 0;  // 6
};
