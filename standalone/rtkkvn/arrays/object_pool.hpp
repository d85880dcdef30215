#pragma once
// The process-wide small-object pool. Array references, views, lists, strings, error records and
// the index and entry blocks are small and short-lived; they come from fixed-size block
// allocators instead of the general heap.
//
// Locking: every pool operation takes the runtime's global mutex (rtkLock) itself, so callers may
// or may not hold it.

#include <cstddef>
#include <utility>
#include <vector>

#include "rtkkvn/arrays/array_exceptions.hpp"

namespace rtkkvn::arrays {

// Hands out blocks of one size from chunks of at most 255 blocks (so that a free block can link
// to the next free one with a single byte). A chunk is 4096 bytes, or 8 blocks when one block is
// larger than that. Not thread-safe: SmallObjectPool serialises it.
class FixedAllocator {
 public:
  static constexpr size_t kChunkBytes = 4096;
  static constexpr size_t kMaxBlocksPerChunk = 255;
  static constexpr size_t kBlocksPerLargeChunk = 8;

  explicit FixedAllocator(size_t blockSize);
  ~FixedAllocator();
  FixedAllocator(FixedAllocator&& other) noexcept;
  FixedAllocator& operator=(FixedAllocator&& other) noexcept;
  FixedAllocator(const FixedAllocator&) = delete;
  FixedAllocator& operator=(const FixedAllocator&) = delete;

  // A block, or null when memory runs out.
  void* allocate();
  // Gives back a block of this allocator; throws std::invalid_argument for any other pointer.
  void deallocate(void* block);

  size_t blockSize() const { return blockSize_; }
  size_t blocksPerChunk() const { return blocksPerChunk_; }
  size_t chunkCount() const { return chunks_.size(); }

 private:
  struct Chunk {
    unsigned char* data;
    unsigned char firstFree;  // index of the first free block; each free block holds the next
    unsigned char freeCount;
  };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool addChunk();
  size_t chunkHolding(const void* block) const;
  void releaseChunk(size_t index);

  size_t blockSize_;
  size_t blocksPerChunk_;
  std::vector<Chunk> chunks_;
  size_t allocateChunk_ = kNone;    // where the last block came from: tried first
  size_t deallocateChunk_ = kNone;  // where the last block went back: searched from first
  size_t emptyChunk_ = kNone;       // a chunk with every block free, kept for the next burst
};

// Blocks of up to kMaxPooledBytes bytes come from one FixedAllocator per (8-byte rounded) size,
// kept sorted by block size and found by binary search, with the allocator used last tried
// first; larger requests go to utMalloc/utFree.
class SmallObjectPool {
 public:
  static constexpr size_t kMaxPooledBytes = 64;
  static constexpr size_t kAlignment = 8;

  // The process-wide pool, made on first use and never destroyed (objects may be released during
  // the process's exit).
  static SmallObjectPool& instance();

  SmallObjectPool() = default;
  SmallObjectPool(const SmallObjectPool&) = delete;
  SmallObjectPool& operator=(const SmallObjectPool&) = delete;

  // A block of at least size bytes aligned to 8, or null when memory runs out.
  void* allocate(size_t size) noexcept;
  // Gives back a block that allocate(size) returned, with the same size; null is ignored.
  void deallocate(void* block, size_t size) noexcept;

  // Blocks handed out and not given back (pooled and larger ones): lets tests prove that the
  // objects they made were all destroyed, which LeakSanitizer cannot see inside the pool.
  size_t liveBlocks() const;
  // Block sizes that have an allocator, in ascending order.
  std::vector<size_t> allocatorSizes() const;

 private:
  FixedAllocator& allocatorFor(size_t roundedSize);

  std::vector<FixedAllocator> allocators_;  // guarded by the global mutex
  size_t lastAllocator_ = 0;                // guarded by the global mutex
  size_t liveBlocks_ = 0;                   // guarded by the global mutex
};

// Base of the objects that live in the pool: class-specific new and delete. new yields null
// instead of throwing when memory runs out; makePooled turns that into MemoryException.
struct PoolAllocated {
  static void* operator new(size_t size) noexcept {
    return SmallObjectPool::instance().allocate(size);
  }
  static void operator delete(void* object, size_t size) noexcept {
    SmallObjectPool::instance().deallocate(object, size);
  }
};

// A new pooled object; MemoryException when the pool has no memory for it.
template <typename Object, typename... Arguments>
Object* makePooled(Arguments&&... arguments) {
  Object* object = new Object(std::forward<Arguments>(arguments)...);
  if (object == nullptr) throw MemoryException();
  return object;
}

}  // namespace rtkkvn::arrays
