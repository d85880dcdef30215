#include "rtkkvn/arrays/array_access.hpp"

#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/object_pool.hpp"

using rtkkvn::arrays::SmallObjectPool;

ArrayAccess::ArrayAccess(array_data_ref* source) {
  if (source) source->access_array(&array_, &owned_);
}

ArrayAccess::ArrayAccess(array_ref* source) {
  if (source == nullptr) return;
  auto* face = dynamic_cast<array_data_ref*>(source);
  if (face == nullptr) throw IllegalArgumentException("Invalid argument");
  face->access_array(&array_, &owned_);
}

ArrayAccess::~ArrayAccess() {
  if (owned_) zyDestroyArray(array_);
}

idx_buffer::idx_buffer(size_t count) : data_(inline_), count_(count) {
  if (count <= kInlineCount) return;
  if (count > static_cast<size_t>(-1) / sizeof(size_t)) throw MemoryException();
  data_ = static_cast<size_t*>(SmallObjectPool::instance().allocate(count * sizeof(size_t)));
  if (data_ == nullptr) throw MemoryException();
}

idx_buffer::~idx_buffer() {
  if (data_ != inline_) SmallObjectPool::instance().deallocate(data_, count_ * sizeof(size_t));
}
