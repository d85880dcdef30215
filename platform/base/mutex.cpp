#include "base/mutex.hpp"

#include <boost/thread/thread.hpp>

#include "util/counted_mutex.hpp"

namespace {

// A counted mutex rather than std::recursive_mutex: rtkPauseUnlocked must give up every hold
// of the calling thread and take back the same number.
tnutil::threadutil::CountedMutex& libraryMutex() {
  static tnutil::threadutil::CountedMutex mutex;  // made on first use, so static initialisers
  return mutex;                                   // may lock it
}

}  // namespace

extern "C" void rtkAcquireMutex(void) { libraryMutex().lock(); }

extern "C" int rtkReleaseMutex(void) {
  if (!libraryMutex().isHeldByCurrentThread()) return -1;
  libraryMutex().unlock();
  return 0;
}

unsigned rtkMutexHoldCount() { return libraryMutex().heldCount(); }

void rtkPauseUnlocked(const boost::posix_time::time_duration& pause) {
  tnutil::threadutil::ReleaseCountedMutexGuard released(libraryMutex());
  boost::this_thread::sleep(pause);
}
