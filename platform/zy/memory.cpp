// Memory blocks that arrays may adopt. Plain malloc underneath, so that blocks move freely
// between the library, its callers and zyRealloc.

#include "zy/memory.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// Large arrays are touched page by page when they are first filled, and on virtual machines a
// page fault is expensive: 4 KiB faults made filling a fresh 80 MB array some twenty times
// slower than copying into memory already touched. Transparent huge pages take a fault per
// 2 MiB instead, so large blocks ask for them (the kernel may still say no; nothing else
// changes).
constexpr size_t kHugePageSize = size_t(2) << 20;
constexpr size_t kHugePageAdviceThreshold = size_t(4) << 20;
// Blocks up to this size are zeroed by hand rather than by calloc; larger ones profit from
// calloc's knowledge that fresh pages are already zero.
constexpr size_t kSmallBlock = 1024;

// The calling thread's bound on one block (setThreadBlockLimit); 0: none.
thread_local size_t threadBlockLimit = 0;

bool overLimit(size_t bytes) { return threadBlockLimit != 0 && bytes > threadBlockLimit; }

void* adviseHugePages(void* block, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (block != nullptr && size >= kHugePageAdviceThreshold) {
    const uintptr_t begin =
        (reinterpret_cast<uintptr_t>(block) + kHugePageSize - 1) & ~(uintptr_t(kHugePageSize) - 1);
    const uintptr_t end =
        (reinterpret_cast<uintptr_t>(block) + size) & ~(uintptr_t(kHugePageSize) - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
#endif
  return block;
}

}  // namespace

size_t zy::setThreadBlockLimit(size_t bytes) noexcept {
  const size_t previous = threadBlockLimit;
  threadBlockLimit = bytes;
  return previous;
}

extern "C" {

void* zyMalloc(size_t size) {
  if (overLimit(size)) return nullptr;
  return adviseHugePages(std::malloc(size == 0 ? 1 : size), size);
}

void* zyCalloc(size_t count, size_t size) {
  if (count == 0 || size == 0) return std::calloc(1, 1);
  size_t bytes = 0;
  if (__builtin_mul_overflow(count, size, &bytes) || overLimit(bytes)) return nullptr;
  if (bytes <= kSmallBlock) {
    // malloc serves small blocks from a per-thread cache that calloc does not use.
    void* block = std::malloc(bytes);
    return block ? std::memset(block, 0, bytes) : nullptr;
  }
  return adviseHugePages(std::calloc(count, size), bytes);
}

void* zyRealloc(void* block, size_t size) {
  if (overLimit(size)) return nullptr;
  return adviseHugePages(std::realloc(block, size == 0 ? 1 : size), size);
}

void zyFree(void* block) { std::free(block); }

}  // extern "C"
