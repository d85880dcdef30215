#pragma once
// The boundary of every slot of the array API: the body runs under the runtime's global mutex,
// and whatever it throws becomes the calling thread's last error and the slot's failure value.
// Reference counts are the exception: they change atomically without the mutex.

#include <atomic>
#include <cstdint>
#include <utility>

#include "base/mutex.hpp"

namespace rtkkvn::arrays {

// Call only inside a catch handler: records the exception being handled as the calling thread's
// last error (a koException or another std::exception by its what() text, anything else as
// "Unexpected error thrown").
void recordCurrentException() noexcept;

// Runs body under the global mutex; on an exception records it and returns failure.
template <typename Result, typename Body>
Result guardedSlot(Result failure, Body&& body) noexcept {
  try {
    rtkLock lock;
    return std::forward<Body>(body)();
  } catch (...) {
    recordCurrentException();
    return failure;
  }
}

// The same for slots without a result.
template <typename Body>
void guardedSlot(Body&& body) noexcept {
  try {
    rtkLock lock;
    std::forward<Body>(body)();
  } catch (...) {
    recordCurrentException();
  }
}

// The 32-bit count of a counted object; it starts at 1, the reference of whoever made it.
using ReferenceCount = std::atomic<int32_t>;

inline int addReference(ReferenceCount& count) noexcept {
  return count.fetch_add(1, std::memory_order_relaxed) + 1;
}

// Gives back one reference of object; at 0 destroys it through its virtual destructor. Returns
// the new count, or -1 (with the last error recorded) when the destructor threw.
template <typename Object>
int releaseReference(ReferenceCount& count, Object* object) noexcept {
  const int left = count.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return left;
  try {
    delete object;  // the memory is given back even when the destructor throws
  } catch (...) {
    recordCurrentException();
    return -1;
  }
  return 0;
}

}  // namespace rtkkvn::arrays
