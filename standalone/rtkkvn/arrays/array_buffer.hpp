#pragma once
// ArrayBuffer: the list of array references behind array_buffer (argument and result lists).

#include <cstddef>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"

class ArrayBuffer : public array_buffer, public rtkkvn::arrays::PoolAllocated {
 public:
  static constexpr size_t kInlineEntries = 5;

  // count NULL entries. Throws MemoryException when their block cannot be had.
  explicit ArrayBuffer(size_t count);
  // Releases every entry.
  ~ArrayBuffer() override;
  ArrayBuffer(const ArrayBuffer&) = delete;
  ArrayBuffer& operator=(const ArrayBuffer&) = delete;

  int addref() override;
  int release() override;
  size_t size() override;
  array_ref* get(size_t index) override;
  int set(size_t index, array_ref* array) override;
  int add(array_ref* array) override;
  int remove(size_t index) override;
  int clear() override;
  array_ref* to_cell(size_t offset, size_t length) override;

  // Whether the entries live inside the object (up to five) rather than in a pool block.
  bool usesInlineStorage() const { return entries_ == inline_; }

 private:
  // Entries the block for count entries has room for: 0 while they fit inside the object, else
  // the next power of two (at least 8), so that adding one at a time copies O(log n) times.
  // MemoryException for a count no block can hold.
  static size_t blockCapacity(size_t count);
  // Changes the count: entries beyond a smaller count are released, new ones are NULL.
  // MemoryException (changing nothing) when a block cannot be had.
  void resize(size_t count);
  // The entry at index (from 1), a NULL entry first replaced by an empty array; no reference
  // added. IndexOutOfBoundsException for a bad index.
  array_ref* entryAt(size_t index);
  void checkIndex(size_t index) const;

  array_ref** entries_;                // inline_ or a pool block; guarded by the global mutex
  array_ref* inline_[kInlineEntries];  // guarded by the global mutex
  size_t count_ = 0;                   // guarded by the global mutex
  rtkkvn::arrays::ReferenceCount references_{1};
};
