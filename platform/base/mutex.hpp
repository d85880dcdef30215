#pragma once
// The library-wide mutex: one re-entrant mutex for the whole process. It serialises instance
// creation and termination, the array-reference calls, the standalone run body, the figure
// queries and every array operation, and it is always taken before any other lock of the
// runtime. A thread may take it again while it holds it; it is free when every acquisition has
// been matched by a release.

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "base/export.hpp"

extern "C" {
// Blocks until the calling thread holds the mutex (once more, if it already held it).
RTKBASE_EXPORT void rtkAcquireMutex(void);
// Gives back one acquisition. Returns 0, or -1 (changing nothing) when the calling thread does
// not hold the mutex.
RTKBASE_EXPORT int rtkReleaseMutex(void);
}

// How many acquisitions of the mutex the calling thread holds (0 when it holds none).
RTKBASE_EXPORT unsigned rtkMutexHoldCount();

// Pauses the calling thread for the given time with the mutex released completely, so that
// other threads (for example the engine's event handling that closes figures) can take it
// meanwhile; the thread holds the mutex again, as many times as before, when this returns,
// also when the sleep is interrupted (boost::thread_interrupted passes through).
RTKBASE_EXPORT void rtkPauseUnlocked(const boost::posix_time::time_duration& pause);

// Scope guard: holds the library-wide mutex from construction to destruction.
class RTKBASE_EXPORT rtkLock {
 public:
  rtkLock() { rtkAcquireMutex(); }
  ~rtkLock() { rtkReleaseMutex(); }
  rtkLock(const rtkLock&) = delete;
  rtkLock& operator=(const rtkLock&) = delete;
};
