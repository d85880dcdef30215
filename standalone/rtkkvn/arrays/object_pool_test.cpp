#include "rtkkvn/arrays/object_pool.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

using rtkkvn::arrays::FixedAllocator;
using rtkkvn::arrays::SmallObjectPool;

TEST(FixedAllocator, ChunksHoldAtMost255BlocksOf4096BytesOrEightLargeBlocks) {
  EXPECT_EQ(FixedAllocator(8).blocksPerChunk(), 255u);   // 512 would fit
  EXPECT_EQ(FixedAllocator(16).blocksPerChunk(), 255u);  // 256 would fit
  EXPECT_EQ(FixedAllocator(24).blocksPerChunk(), 170u);
  EXPECT_EQ(FixedAllocator(64).blocksPerChunk(), 64u);
  EXPECT_EQ(FixedAllocator(4096).blocksPerChunk(), 1u);
  EXPECT_EQ(FixedAllocator(5000).blocksPerChunk(), 8u);
}

TEST(FixedAllocator, HandsOutDistinctBlocksAndReusesFreedOnes) {
  FixedAllocator allocator(24);
  std::vector<void*> blocks;
  std::set<void*> distinct;
  for (int i = 0; i < 171; ++i) {  // one more than a chunk holds
    void* block = allocator.allocate();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 8, 0u);
    std::memset(block, 0xab, 24);  // every byte is the caller's while the block is out
    blocks.push_back(block);
    distinct.insert(block);
  }
  EXPECT_EQ(distinct.size(), blocks.size());
  EXPECT_EQ(allocator.chunkCount(), 2u);

  allocator.deallocate(blocks[170]);
  EXPECT_EQ(allocator.allocate(), blocks[170]) << "a freed block is handed out again first";

  // Emptying both chunks keeps one for the next burst and gives the other back.
  for (void* block : blocks) allocator.deallocate(block);
  EXPECT_EQ(allocator.chunkCount(), 1u);
  int local = 0;
  EXPECT_THROW(allocator.deallocate(&local), std::invalid_argument);
}

TEST(SmallObjectPool, SmallRequestsShareSortedAllocatorsLargeOnesGoToTheHeap) {
  SmallObjectPool pool;
  void* a = pool.allocate(20);  // rounded up to 24
  void* b = pool.allocate(9);   // 16
  void* c = pool.allocate(64);
  void* d = pool.allocate(24);
  void* large = pool.allocate(65);
  ASSERT_TRUE(a && b && c && d && large);
  EXPECT_EQ(pool.allocatorSizes(), (std::vector<size_t>{16, 24, 64}))
      << "no allocator for requests above 64 bytes";
  EXPECT_EQ(pool.liveBlocks(), 5u);
  std::memset(large, 0, 65);
  pool.deallocate(large, 65);
  pool.deallocate(a, 20);
  pool.deallocate(b, 9);
  pool.deallocate(c, 64);
  pool.deallocate(d, 24);
  pool.deallocate(nullptr, 8);
  EXPECT_EQ(pool.liveBlocks(), 0u);
}

}  // namespace
