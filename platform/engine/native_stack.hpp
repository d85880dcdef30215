#pragma once
// How much native stack the calling thread has left. The engine runs on its callers' threads,
// whose stacks may be small (a host's worker threads often get 256 KB), and parsing and running
// Q code recurse with the code's nesting: each recursive step asks first whether enough is left,
// so that code nested too deeply for the thread ends in an error, never in a crash.

#include <cstddef>
#include <cstdint>

namespace q {

// The bounds of the calling thread's stack, read once per thread.
struct NativeStack {
  std::uintptr_t low = 0, high = 0;  // high == 0: not known

  // The address below which a frame has less than `wanted` bytes left, `wanted` being capped at
  // half the stack (a small stack still runs shallow code). 0, which no frame lies below, when
  // the bounds are unknown or the calling frame lies outside them (a coroutine's own stack):
  // such frames are not checked.
  std::uintptr_t floor(std::size_t wanted) const {
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (high == 0 || here < low || here >= high) return 0;
    return low + (wanted < (high - low) / 2 ? wanted : (high - low) / 2);
  }
};
NativeStack nativeStack();

inline bool frameBelow(std::uintptr_t floor) {
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < floor;
}

// True when less than `wanted` bytes of the calling thread's stack are left below the current
// frame (see NativeStack::floor). Code that asks often reads the floor once instead.
inline bool nativeStackBelow(std::size_t wanted) { return frameBelow(nativeStack().floor(wanted)); }

// What a sanitizer build's frames take more than an optimised build's.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kNativeFrameScale = 3;
#else
constexpr std::size_t kNativeFrameScale = 1;
#endif

}  // namespace q
