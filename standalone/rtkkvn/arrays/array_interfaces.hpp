#pragma once
// The interfaces of the array API's objects: array_ref, array_buffer and char_buffer are public
// (rtkkvn_array.h); array_data_ref is the library's own. Their virtual slot order is a binary
// contract: the exported functions jump to a slot by its number, so a declaration must never move.
// Slot numbers are given beside every declaration; on this platform's C++ ABI slot 0 (the
// destructor) takes two table entries, so slot k >= 1 is table entry k + 1 (see slot_table.hpp).
//
// Every slot of array_ref, array_buffer and char_buffer catches its own exceptions: a failure
// becomes the calling thread's last error (rtkkvn_error.h) and the slot returns its failure value
// (NULL for objects, -1 for int results, all bits set for size_t results, false for is_sparse,
// is_numeric, is_complex and equals, true for is_empty, 0 for classID, compare_to and hash_code).
// Every object returned as new carries one reference for the caller.

#include <cstddef>

#include "rtkkvn/export.hpp"
#include "rtkkvn_array.h"
#include "zy.h"

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
