#include "util/counted_mutex.hpp"

#include <stdexcept>
#include <system_error>

namespace tnutil::threadutil {
namespace {

CountedMutex& checked(const boost::shared_ptr<CountedMutex>& mutex) {
  if (!mutex) throw std::invalid_argument("ReleaseCountedMutexGuard: no mutex");
  return *mutex;
}

}  // namespace

CountedMutex::CountedMutex() = default;
CountedMutex::~CountedMutex() = default;

std::uintptr_t CountedMutex::selfToken() {
  // Initial-exec: a fixed offset from the thread pointer instead of a call per lookup; one
  // byte of the static TLS area that every library may use.
  alignas(2 * kContended) static thread_local char token __attribute__((tls_model("initial-exec")));
  return reinterpret_cast<std::uintptr_t>(&token);
}

void CountedMutex::take(std::uintptr_t token) {
  std::uintptr_t expected = 0;
  if (state_.compare_exchange_strong(expected, token, std::memory_order_acquire)) return;
  // Contended: mark the word so that the holder's give() wakes someone, and sleep until the
  // word is free. A thread that takes the word here keeps the mark, since others may still
  // wait; the cost is one needless wake-up at most.
  std::unique_lock<std::mutex> guard(waitMutex_);
  for (;;) {
    expected = state_.load(std::memory_order_relaxed);
    if (expected == 0) {
      if (state_.compare_exchange_weak(expected, token | kContended, std::memory_order_acquire))
        return;
    } else if ((expected & kContended) != 0 ||
               state_.compare_exchange_weak(expected, expected | kContended,
                                            std::memory_order_relaxed)) {
      released_.wait(guard);
    }
  }
}

void CountedMutex::give() {
  std::uintptr_t expected = state_.load(std::memory_order_relaxed);
  if ((expected & kContended) == 0 &&
      state_.compare_exchange_strong(expected, 0, std::memory_order_release)) {
    return;
  }
  // Marked (waiters cannot change a marked word, so it stays marked): free the word and wake one
  // waiter under waitMutex_, which keeps the mutex alive until the waiter has run.
  std::lock_guard<std::mutex> guard(waitMutex_);
  state_.store(0, std::memory_order_release);
  released_.notify_one();
}

void CountedMutex::lock() { reacquire(1); }

bool CountedMutex::try_lock() {
  const std::uintptr_t self = selfToken();
  if (ownedBy(self)) {
    ++count_;
    return true;
  }
  std::uintptr_t expected = 0;
  if (!state_.compare_exchange_strong(expected, self, std::memory_order_acquire)) return false;
  count_ = 1;
  return true;
}

void CountedMutex::unlock() {
  if (count_ == 0 || !ownedBy(selfToken())) {
    throw std::system_error(std::make_error_code(std::errc::operation_not_permitted),
                            "CountedMutex::unlock by a thread that does not hold it");
  }
  if (--count_ == 0) give();
}

unsigned CountedMutex::heldCount() const { return ownedBy(selfToken()) ? count_ : 0; }

unsigned CountedMutex::releaseAll() {
  if (!ownedBy(selfToken())) return 0;
  const unsigned released = count_;
  count_ = 0;
  give();
  return released;
}

void CountedMutex::reacquire(unsigned count) {
  if (count == 0) return;
  const std::uintptr_t self = selfToken();
  if (ownedBy(self)) {
    if (count_ > ~0u - count) throw std::overflow_error("CountedMutex: too many holds");
    count_ += count;
    return;
  }
  take(self);
  count_ = count;
}

ReleaseCountedMutexGuard::ReleaseCountedMutexGuard(CountedMutex& mutex)
    : mutex_(mutex), releasedCount_(mutex.releaseAll()) {}

ReleaseCountedMutexGuard::ReleaseCountedMutexGuard(const boost::shared_ptr<CountedMutex>& mutex)
    : mutex_(checked(mutex)), releasedCount_(mutex_.releaseAll()) {
  // Only a guard that will take the mutex back needs it to outlive everyone else's use.
  if (releasedCount_ != 0) keepAlive_ = mutex;
}

ReleaseCountedMutexGuard::~ReleaseCountedMutexGuard() { mutex_.reacquire(releasedCount_); }

}  // namespace tnutil::threadutil
