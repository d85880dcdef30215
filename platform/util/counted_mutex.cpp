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

void CountedMutex::lock() { reacquire(1); }

bool CountedMutex::try_lock() {
  std::lock_guard<std::mutex> guard(stateMutex_);
  const auto self = std::this_thread::get_id();
  if (count_ != 0 && owner_ != self) return false;
  owner_ = self;
  ++count_;
  return true;
}

void CountedMutex::unlock() {
  std::lock_guard<std::mutex> guard(stateMutex_);
  if (count_ == 0 || owner_ != std::this_thread::get_id()) {
    throw std::system_error(std::make_error_code(std::errc::operation_not_permitted),
                            "CountedMutex::unlock by a thread that does not hold it");
  }
  if (--count_ == 0) {
    owner_ = std::thread::id();
    // Notified under the lock: a woken waiter may take the mutex and destroy it at once.
    released_.notify_one();
  }
}

unsigned CountedMutex::heldCount() const {
  std::lock_guard<std::mutex> guard(stateMutex_);
  return count_ != 0 && owner_ == std::this_thread::get_id() ? count_ : 0;
}

unsigned CountedMutex::releaseAll() {
  std::lock_guard<std::mutex> guard(stateMutex_);
  if (count_ == 0 || owner_ != std::this_thread::get_id()) return 0;
  const unsigned released = count_;
  count_ = 0;
  owner_ = std::thread::id();
  released_.notify_one();
  return released;
}

void CountedMutex::reacquire(unsigned count) {
  if (count == 0) return;
  std::unique_lock<std::mutex> guard(stateMutex_);
  const auto self = std::this_thread::get_id();
  released_.wait(guard, [&] { return count_ == 0 || owner_ == self; });
  if (count_ > ~0u - count) throw std::overflow_error("CountedMutex: too many holds");
  owner_ = self;
  count_ += count;
}

ReleaseCountedMutexGuard::ReleaseCountedMutexGuard(CountedMutex& mutex)
    : mutex_(mutex), releasedCount_(mutex.releaseAll()) {}

ReleaseCountedMutexGuard::ReleaseCountedMutexGuard(const boost::shared_ptr<CountedMutex>& mutex)
    : keepAlive_(mutex), mutex_(checked(mutex)), releasedCount_(mutex_.releaseAll()) {}

ReleaseCountedMutexGuard::~ReleaseCountedMutexGuard() { mutex_.reacquire(releasedCount_); }

}  // namespace tnutil::threadutil
