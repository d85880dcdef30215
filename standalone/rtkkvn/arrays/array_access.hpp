#pragma once
// Holders used between the array objects: the array another object stands for, and index lists.

#include <cstddef>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "zy.h"

// The array that an object stands for, from its access_array slot: either the object's own
// array (borrowed) or a new one made for the occasion (owned, destroyed with the holder). Every
// use of another object's array goes through one. Call with the global mutex held.
class ArrayAccess {
 public:
  // source may be null: then there is no array.
  explicit ArrayAccess(array_data_ref* source);
  // The array_data_ref face of source; an object that has none throws IllegalArgumentException
  // ("Invalid argument").
  explicit ArrayAccess(array_ref* source);
  virtual ~ArrayAccess();
  ArrayAccess(const ArrayAccess&) = delete;
  ArrayAccess& operator=(const ArrayAccess&) = delete;

  zyArray* array() const { return array_; }

 private:
  zyArray* array_ = nullptr;
  bool owned_ = false;
};

// An index list with room for four indices inside; longer lists take a pool block, given back by
// the destructor. Throws MemoryException when the block cannot be had.
class idx_buffer {
 public:
  static constexpr size_t kInlineCount = 4;

  explicit idx_buffer(size_t count);
  ~idx_buffer();
  idx_buffer(const idx_buffer&) = delete;
  idx_buffer& operator=(const idx_buffer&) = delete;

  size_t* data() { return data_; }
  size_t size() const { return count_; }
  size_t& operator[](size_t position) { return data_[position]; }
  bool usesInlineStorage() const { return data_ == inline_; }

 private:
  size_t* data_;
  size_t count_;
  size_t inline_[kInlineCount];
};
