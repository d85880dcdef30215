#pragma once
// The engine's counted mutex: a recursive mutex that knows how often its owner holds it, so that
// a thread deep inside nested engine calls can let go of it completely for a while (to wait for
// another lock or a future) and later take it back to exactly the same depth.

#include <boost/shared_ptr.hpp>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "util/export.hpp"

namespace tnutil::threadutil {

// Meets the Lockable requirements, so std::unique_lock, std::lock_guard and boost::unique_lock
// work with it. Every lock or successful try_lock must be matched by one unlock on the same
// thread. Taking and giving back a free mutex costs one atomic operation each; a system mutex
// and condition variable come into play only while threads wait for each other.
class RTKUTIL_EXPORT CountedMutex {
 public:
  CountedMutex();
  ~CountedMutex();
  CountedMutex(const CountedMutex&) = delete;
  CountedMutex& operator=(const CountedMutex&) = delete;

  // Blocks until no other thread holds the mutex; then the calling thread holds it once more.
  void lock();
  // Takes the mutex once more without blocking; false when another thread holds it.
  bool try_lock();
  // Gives back one hold. Throws std::system_error (operation_not_permitted) when the calling
  // thread does not hold the mutex.
  void unlock();

  // How many times the calling thread holds the mutex; 0 when it does not own it.
  unsigned heldCount() const;
  bool isHeldByCurrentThread() const { return heldCount() != 0; }

 private:
  friend class ReleaseCountedMutexGuard;
  // Releases every hold of the calling thread and returns how many there were (0: it held
  // none, and nothing happens).
  unsigned releaseAll();
  // Takes the mutex count times at once, blocking like lock(); count 0 does nothing.
  void reacquire(unsigned count);

  // Marks the state word while threads may be waiting in the slow path.
  static constexpr std::uintptr_t kContended = 1;

  // The calling thread's token: the address of a thread-local object, unique among live
  // threads and even, so that kContended never collides with it.
  static std::uintptr_t selfToken();
  bool ownedBy(std::uintptr_t token) const {
    return (state_.load(std::memory_order_relaxed) & ~kContended) == token;
  }
  void take(std::uintptr_t token);  // blocks until the state word is the caller's
  void give();                      // clears the state word, waking a waiter if marked

  // 0 when free, else the holder's token, with kContended set while others may be waiting.
  std::atomic<std::uintptr_t> state_{0};
  unsigned count_ = 0;  // read and written by the holder only
  // Only the slow paths use these: waiters sleep on released_ under waitMutex_.
  std::mutex waitMutex_;
  std::condition_variable released_;
};

// Scope guard: on construction the calling thread gives up all its holds of the mutex (if it has
// any); on destruction it takes the same number back, waiting for other threads as lock() does.
// A thread that does not hold the mutex may use the guard; it then does nothing.
class RTKUTIL_EXPORT ReleaseCountedMutexGuard {
 public:
  explicit ReleaseCountedMutexGuard(CountedMutex& mutex);
  // Keeps the shared mutex alive for the guard's lifetime; a null pointer throws
  // std::invalid_argument.
  explicit ReleaseCountedMutexGuard(const boost::shared_ptr<CountedMutex>& mutex);
  ~ReleaseCountedMutexGuard();
  ReleaseCountedMutexGuard(const ReleaseCountedMutexGuard&) = delete;
  ReleaseCountedMutexGuard& operator=(const ReleaseCountedMutexGuard&) = delete;

  // How many holds the guard released and will take back.
  unsigned releasedCount() const { return releasedCount_; }

 private:
  boost::shared_ptr<CountedMutex> keepAlive_;
  CountedMutex& mutex_;
  unsigned releasedCount_;
};

}  // namespace tnutil::threadutil
