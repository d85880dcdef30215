#include "rtkkvn/arrays/object_pool.hpp"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "base/mutex.hpp"
#include "util/memory.hpp"

namespace rtkkvn::arrays {

// ---- FixedAllocator -------------------------------------------------------------------------

FixedAllocator::FixedAllocator(size_t blockSize)
    : blockSize_(blockSize < 1 ? 1 : blockSize),
      blocksPerChunk_(blockSize_ > kChunkBytes
                          ? kBlocksPerLargeChunk
                          : std::min(kChunkBytes / blockSize_, kMaxBlocksPerChunk)) {}

FixedAllocator::~FixedAllocator() {
  for (Chunk& chunk : chunks_) {
    ASAN_UNPOISON_MEMORY_REGION(chunk.data, blockSize_ * blocksPerChunk_);
    utFree(chunk.data);
  }
}

FixedAllocator::FixedAllocator(FixedAllocator&& other) noexcept
    : blockSize_(other.blockSize_),
      blocksPerChunk_(other.blocksPerChunk_),
      chunks_(std::move(other.chunks_)),
      allocateChunk_(other.allocateChunk_),
      deallocateChunk_(other.deallocateChunk_),
      emptyChunk_(other.emptyChunk_) {
  other.chunks_.clear();
  other.allocateChunk_ = other.deallocateChunk_ = other.emptyChunk_ = kNone;
}

// Swapping hands this allocator's chunks to other, which frees them when it goes.
FixedAllocator& FixedAllocator::operator=(FixedAllocator&& other) noexcept {
  std::swap(blockSize_, other.blockSize_);
  std::swap(blocksPerChunk_, other.blocksPerChunk_);
  chunks_.swap(other.chunks_);
  std::swap(allocateChunk_, other.allocateChunk_);
  std::swap(deallocateChunk_, other.deallocateChunk_);
  std::swap(emptyChunk_, other.emptyChunk_);
  return *this;
}

bool FixedAllocator::addChunk() {
  auto* data = static_cast<unsigned char*>(utMalloc(blockSize_ * blocksPerChunk_));
  if (data == nullptr) return false;
  // Free blocks form a list through their first byte: block i names block i + 1.
  for (size_t i = 0; i < blocksPerChunk_; ++i) {
    data[i * blockSize_] = static_cast<unsigned char>(i + 1);
  }
  // Free blocks are poisoned, so that AddressSanitizer reports a pooled object used after it
  // was destroyed just as it does for heap objects.
  ASAN_POISON_MEMORY_REGION(data, blockSize_ * blocksPerChunk_);
  try {
    chunks_.push_back(Chunk{data, 0, static_cast<unsigned char>(blocksPerChunk_)});
  } catch (...) {
    ASAN_UNPOISON_MEMORY_REGION(data, blockSize_ * blocksPerChunk_);
    utFree(data);
    return false;
  }
  return true;
}

void* FixedAllocator::allocate() {
  if (allocateChunk_ == kNone || chunks_[allocateChunk_].freeCount == 0) {
    allocateChunk_ = kNone;
    for (size_t i = 0; i < chunks_.size(); ++i) {
      if (chunks_[i].freeCount > 0) {
        allocateChunk_ = i;
        break;
      }
    }
    if (allocateChunk_ == kNone) {
      if (!addChunk()) return nullptr;
      allocateChunk_ = chunks_.size() - 1;
      deallocateChunk_ = allocateChunk_;
    }
  }
  if (allocateChunk_ == emptyChunk_) emptyChunk_ = kNone;
  Chunk& chunk = chunks_[allocateChunk_];
  unsigned char* block = chunk.data + chunk.firstFree * blockSize_;
  ASAN_UNPOISON_MEMORY_REGION(block, blockSize_);
  chunk.firstFree = *block;
  --chunk.freeCount;
  return block;
}

size_t FixedAllocator::chunkHolding(const void* block) const {
  const auto* address = static_cast<const unsigned char*>(block);
  const size_t chunkBytes = blockSize_ * blocksPerChunk_;
  auto holds = [&](size_t index) {
    const unsigned char* data = chunks_[index].data;
    return address >= data && address < data + chunkBytes;
  };
  // Blocks tend to go back near where the previous one went: search outwards from there.
  const size_t count = chunks_.size();
  const size_t start = deallocateChunk_ == kNone ? 0 : deallocateChunk_;
  for (size_t distance = 0; distance < count; ++distance) {
    if (start + distance < count && holds(start + distance)) return start + distance;
    if (distance != 0 && distance <= start && holds(start - distance)) return start - distance;
  }
  return kNone;
}

void FixedAllocator::deallocate(void* block) {
  const size_t index = chunkHolding(block);
  auto* address = static_cast<unsigned char*>(block);
  if (index == kNone || (address - chunks_[index].data) % blockSize_ != 0) {
    throw std::invalid_argument("FixedAllocator: block does not belong to this allocator");
  }
  Chunk& chunk = chunks_[index];
  *address = chunk.firstFree;
  chunk.firstFree = static_cast<unsigned char>((address - chunk.data) / blockSize_);
  ++chunk.freeCount;
  ASAN_POISON_MEMORY_REGION(address, blockSize_);
  deallocateChunk_ = index;
  if (chunk.freeCount == blocksPerChunk_) {
    // Keep one empty chunk so that a burst of objects made and destroyed does not allocate and
    // free a chunk each time; a second empty chunk goes back to the heap.
    if (emptyChunk_ == kNone) {
      emptyChunk_ = index;
    } else if (emptyChunk_ != index) {
      releaseChunk(index);
    }
  }
}

void FixedAllocator::releaseChunk(size_t index) {
  ASAN_UNPOISON_MEMORY_REGION(chunks_[index].data, blockSize_ * blocksPerChunk_);
  utFree(chunks_[index].data);
  const size_t last = chunks_.size() - 1;
  if (index != last) chunks_[index] = chunks_[last];
  chunks_.pop_back();
  auto renumber = [&](size_t& position) {
    if (position == index) {
      position = kNone;
    } else if (position == last) {
      position = index;
    }
  };
  renumber(allocateChunk_);
  renumber(deallocateChunk_);
  renumber(emptyChunk_);
}

// ---- SmallObjectPool ------------------------------------------------------------------------

SmallObjectPool& SmallObjectPool::instance() {
  static SmallObjectPool* const pool = new SmallObjectPool;
  return *pool;
}

namespace {
size_t roundUp(size_t size) {
  const size_t alignment = SmallObjectPool::kAlignment;
  return size == 0 ? alignment : (size + alignment - 1) / alignment * alignment;
}
}  // namespace

FixedAllocator& SmallObjectPool::allocatorFor(size_t roundedSize) {
  if (lastAllocator_ < allocators_.size() &&
      allocators_[lastAllocator_].blockSize() == roundedSize) {
    return allocators_[lastAllocator_];
  }
  auto position =
      std::lower_bound(allocators_.begin(), allocators_.end(), roundedSize,
                       [](const FixedAllocator& a, size_t size) { return a.blockSize() < size; });
  if (position == allocators_.end() || position->blockSize() != roundedSize) {
    position = allocators_.insert(position, FixedAllocator(roundedSize));
  }
  lastAllocator_ = static_cast<size_t>(position - allocators_.begin());
  return *position;
}

void* SmallObjectPool::allocate(size_t size) noexcept {
  try {
    rtkLock lock;
    void* block = size > kMaxPooledBytes ? utMalloc(size) : allocatorFor(roundUp(size)).allocate();
    if (block != nullptr) ++liveBlocks_;
    return block;
  } catch (...) {
    return nullptr;  // the allocator list could not grow
  }
}

void SmallObjectPool::deallocate(void* block, size_t size) noexcept {
  if (block == nullptr) return;
  rtkLock lock;
  --liveBlocks_;
  if (size > kMaxPooledBytes) {
    utFree(block);
  } else {
    // The allocator exists: the block came from it. A foreign block is a fault of the runtime
    // that must not go unnoticed; it ends the process (we are noexcept).
    allocatorFor(roundUp(size)).deallocate(block);
  }
}

size_t SmallObjectPool::liveBlocks() const {
  rtkLock lock;
  return liveBlocks_;
}

std::vector<size_t> SmallObjectPool::allocatorSizes() const {
  rtkLock lock;
  std::vector<size_t> sizes;
  for (const FixedAllocator& allocator : allocators_) sizes.push_back(allocator.blockSize());
  return sizes;
}

}  // namespace rtkkvn::arrays
