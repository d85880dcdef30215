#pragma once
// How much native stack the calling thread has left. The engine runs on its callers' threads,
// whose stacks may be small (a host's worker threads often get 256 KB), and parsing and running
// Q code recurse with the code's nesting: each recursive step asks first whether enough is left,
// so that code nested too deeply for the thread ends in an error, never in a crash.

#include <cstddef>

namespace q {

// True when less than `wanted` bytes of the calling thread's stack are left below the current
// frame, `wanted` being capped at half the thread's stack (a small stack still runs shallow
// code). False when the bounds are unknown, or the frame lies outside them (a coroutine's own
// stack): such frames are not checked.
bool nativeStackBelow(std::size_t wanted);

// What a sanitizer build's frames take more than an optimised build's.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kNativeFrameScale = 3;
#else
constexpr std::size_t kNativeFrameScale = 1;
#endif

}  // namespace q
