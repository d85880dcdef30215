#pragma once
// The runtime's allocator. Blocks from these functions are released with utFree and nothing
// else; blocks from malloc must not be given to utFree and the other way round, so that the
// allocator can change without touching its callers.

#include <cstddef>

#include "util/export.hpp"

extern "C" {

// A block of at least size bytes, or null when memory is exhausted. A size of 0 still gives a
// unique, freeable block, so null always means failure.
RTKUTIL_EXPORT void* utMalloc(size_t size);
// A zeroed block for count elements of size bytes; null when memory is exhausted or the total
// does not fit in size_t.
RTKUTIL_EXPORT void* utCalloc(size_t count, size_t size);
// Resizes block (null acts as utMalloc) keeping its contents up to the smaller size. On failure
// returns null and block stays valid and owned by the caller. A size of 0 keeps a minimal block.
RTKUTIL_EXPORT void* utRealloc(void* block, size_t size);
// Releases a block of this allocator; null is ignored.
RTKUTIL_EXPORT void utFree(void* block);
// A copy of text in a block of this allocator, owned by the caller (free with utFree); null for
// a null text or when memory is exhausted.
RTKUTIL_EXPORT char* utStrdup(const char* text);

}  // extern "C"
