#pragma once
// Which thread is the engine's interpreter thread. Engine code runs on whatever thread calls it,
// while that thread holds the engine mutex; so "the interpreter thread" is simply a thread that
// is executing inside the engine right now. A call that arrives on such a thread (a host
// callback re-entering the runtime from script code) must not wait for locks the outer call
// holds, and asks utIsSignalThread to find out.

#include "util/export.hpp"

// True while the calling thread executes inside the engine (between a utEnterSignalThread and
// its matching utLeaveSignalThread).
RTKUTIL_EXPORT bool utIsSignalThread();

// Marks the calling thread as executing inside the engine; calls nest, each enter matched by
// one leave on the same thread. Only the engine calls these.
RTKUTIL_EXPORT void utEnterSignalThread();
RTKUTIL_EXPORT void utLeaveSignalThread();

// Scope form of the pair above.
class utSignalThreadScope {
 public:
  utSignalThreadScope() { utEnterSignalThread(); }
  ~utSignalThreadScope() { utLeaveSignalThread(); }
  utSignalThreadScope(const utSignalThreadScope&) = delete;
  utSignalThreadScope& operator=(const utSignalThreadScope&) = delete;
};
