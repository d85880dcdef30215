#include "engine/native_stack.hpp"

#include <pthread.h>

#include <algorithm>
#include <cstdint>

namespace q {

namespace {

struct StackBounds {
  bool read = false;
  std::uintptr_t low = 0, high = 0;  // high == 0: not known
};
thread_local StackBounds stackBounds;

}  // namespace

bool nativeStackBelow(std::size_t wanted) {
  StackBounds& bounds = stackBounds;
  if (!bounds.read) {
    bounds.read = true;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      void* address = nullptr;
      std::size_t size = 0;
      if (pthread_attr_getstack(&attributes, &address, &size) == 0 && size > 0) {
        bounds.low = reinterpret_cast<std::uintptr_t>(address);
        bounds.high = bounds.low + size;
      }
      pthread_attr_destroy(&attributes);
    }
  }
  const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (bounds.high == 0 || here < bounds.low || here >= bounds.high) return false;
  return here - bounds.low < std::min<std::uintptr_t>(wanted, (bounds.high - bounds.low) / 2);
}

}  // namespace q
