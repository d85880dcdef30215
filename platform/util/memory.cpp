#include "util/memory.hpp"

#include <cstdlib>
#include <cstring>

extern "C" {

// Zero-byte requests are rounded up so that the C library's choice between null and a unique
// pointer for size 0 never reaches our callers.
void* utMalloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

void* utCalloc(size_t count, size_t size) {
  if (count == 0 || size == 0) return std::calloc(1, 1);
  return std::calloc(count, size);
}

void* utRealloc(void* block, size_t size) { return std::realloc(block, size == 0 ? 1 : size); }

void utFree(void* block) { std::free(block); }

char* utStrdup(const char* text) {
  if (!text) return nullptr;
  const size_t size = std::strlen(text) + 1;
  char* copy = static_cast<char*>(utMalloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

}  // extern "C"
