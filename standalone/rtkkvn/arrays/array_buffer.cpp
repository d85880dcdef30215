#include "rtkkvn/arrays/array_buffer.hpp"

#include <algorithm>
#include <cstdint>

#include "rtkkvn/arrays/array_access.hpp"
#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/array_ref.hpp"

using namespace rtkkvn::arrays;

ArrayBuffer::ArrayBuffer(size_t count) : entries_(inline_) {
  std::fill(inline_, inline_ + kInlineEntries, nullptr);
  resize(count);
}

ArrayBuffer::~ArrayBuffer() {
  rtkLock lock;
  resize(0);
}

int ArrayBuffer::addref() { return addReference(references_); }

int ArrayBuffer::release() { return releaseReference(references_, this); }

size_t ArrayBuffer::blockCapacity(size_t count) {
  if (count <= kInlineEntries) return 0;
  // Beyond this no block can be allocated, and doubling towards the count would wrap to 0.
  constexpr size_t kMaximumEntries = PTRDIFF_MAX / sizeof(array_ref*) / 2;
  if (count > kMaximumEntries) throw MemoryException();
  size_t capacity = 8;
  while (capacity < count) capacity *= 2;
  return capacity;
}

void ArrayBuffer::resize(size_t count) {
  const size_t oldCapacity = blockCapacity(count_);
  const size_t newCapacity = blockCapacity(count);
  array_ref** target = entries_;
  if (newCapacity != oldCapacity) {
    if (newCapacity == 0) {
      target = inline_;
    } else {
      if (newCapacity > static_cast<size_t>(-1) / sizeof(array_ref*)) throw MemoryException();
      target = static_cast<array_ref**>(
          SmallObjectPool::instance().allocate(newCapacity * sizeof(array_ref*)));
      if (target == nullptr) throw MemoryException();
    }
  }
  for (size_t i = count; i < count_; ++i) {
    if (entries_[i]) entries_[i]->release();
    entries_[i] = nullptr;
  }
  if (target != entries_) {
    std::copy(entries_, entries_ + std::min(count, count_), target);
    if (entries_ != inline_) {
      SmallObjectPool::instance().deallocate(entries_, oldCapacity * sizeof(array_ref*));
    }
    entries_ = target;
  }
  for (size_t i = count_; i < count; ++i) entries_[i] = nullptr;
  count_ = count;
}

void ArrayBuffer::checkIndex(size_t index) const {
  if (index < 1 || index > count_) throw IndexOutOfBoundsException(index, count_);
}

array_ref* ArrayBuffer::entryAt(size_t index) {
  checkIndex(index);
  array_ref*& entry = entries_[index - 1];
  if (entry == nullptr) entry = newArrayRef(nullptr, false);
  return entry;
}

size_t ArrayBuffer::size() {
  rtkLock lock;
  return count_;
}

array_ref* ArrayBuffer::get(size_t index) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    array_ref* entry = entryAt(index);
    entry->addref();
    return entry;
  });
}

int ArrayBuffer::set(size_t index, array_ref* array) {
  return guardedSlot(-1, [&] {
    checkIndex(index);
    if (array) array->addref();  // first, so that storing the entry that is already there is safe
    array_ref*& entry = entries_[index - 1];
    if (entry) entry->release();
    entry = array;
    return 0;
  });
}

int ArrayBuffer::add(array_ref* array) {
  return guardedSlot(-1, [&] {
    resize(count_ + 1);
    if (array) array->addref();
    entries_[count_ - 1] = array;
    return 0;
  });
}

int ArrayBuffer::remove(size_t index) {
  return guardedSlot(-1, [&] {
    checkIndex(index);
    array_ref* removed = entries_[index - 1];
    std::copy(entries_ + index, entries_ + count_, entries_ + index - 1);
    entries_[count_ - 1] = nullptr;
    try {
      resize(count_ - 1);  // releases nothing: the last place is empty now
    } catch (...) {
      // Moving back into the object cannot fail; a smaller block can: keep the list as it was.
      std::copy_backward(entries_ + index - 1, entries_ + count_ - 1, entries_ + count_);
      entries_[index - 1] = removed;
      throw;
    }
    if (removed) removed->release();
    return 0;
  });
}

int ArrayBuffer::clear() {
  return guardedSlot(-1, [&] {
    resize(0);
    return 0;
  });
}

array_ref* ArrayBuffer::to_cell(size_t offset, size_t length) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    if (offset < 1 || offset > count_) throw IndexOutOfBoundsException(offset, count_);
    if (length > count_ - offset + 1) throw IndexOutOfBoundsException();
    if (length == 0) return newArrayRef(nullptr, false);
    zyArray* cell = zyCreateCellMatrix(1, length);
    if (cell == nullptr) throw MemoryException();
    try {
      for (size_t i = 0; i < length; ++i) {
        ArrayAccess access(entryAt(offset + i));
        zyArray* copy = access.array() ? zyCreateSharedDataCopy(access.array())
                                       : zyCreateDoubleMatrix(0, 0, zyREAL);
        if (copy == nullptr) throw MemoryException();
        if (zySetCell(cell, i, copy) != 0) {
          zyDestroyArray(copy);
          throw MemoryException();
        }
      }
    } catch (...) {
      zyDestroyArray(cell);
      throw;
    }
    return cell_array_factory::instance().adopt(cell);
  });
}
