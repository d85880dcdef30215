#include "engine/native_stack.hpp"

#include <pthread.h>

namespace q {

namespace {

thread_local bool stackRead = false;
thread_local NativeStack threadStack;

}  // namespace

NativeStack nativeStack() {
  if (!stackRead) {
    stackRead = true;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      void* address = nullptr;
      std::size_t size = 0;
      if (pthread_attr_getstack(&attributes, &address, &size) == 0 && size > 0) {
        threadStack.low = reinterpret_cast<std::uintptr_t>(address);
        threadStack.high = threadStack.low + size;
      }
      pthread_attr_destroy(&attributes);
    }
  }
  return threadStack;
}

}  // namespace q
