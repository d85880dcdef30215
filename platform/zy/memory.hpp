#pragma once
// A bound on the blocks the array library hands out, for running code that must not exhaust the
// process's memory (the engine sets it for an instance that asks for it; see docs/engine.md).

#include <cstddef>

#include "zy.h"

namespace zy {

// Sets the largest block, in bytes, that zyMalloc, zyCalloc and zyRealloc give the calling
// thread (0: no bound) and returns the previous bound. A larger request answers NULL, exactly as
// when memory runs out. The bound belongs to the thread (thread-local state, the only state of
// the mechanism) and holds until it is set again.
ZY_EXPORT std::size_t setThreadBlockLimit(std::size_t bytes) noexcept;

}  // namespace zy
