#include "util/counted_mutex.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <boost/thread/locks.hpp>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>

namespace {

using tnutil::threadutil::CountedMutex;
using tnutil::threadutil::ReleaseCountedMutexGuard;

bool tryLockFromAnotherThread(CountedMutex& mutex) {
  return std::async(std::launch::async,
                    [&] {
                      const bool locked = mutex.try_lock();
                      if (locked) mutex.unlock();
                      return locked;
                    })
      .get();
}

TEST(UtilCountedMutex, CountsNestedHoldsOfTheOwningThread) {
  CountedMutex mutex;
  EXPECT_EQ(mutex.heldCount(), 0u);
  EXPECT_THROW(mutex.unlock(), std::system_error);
  {
    std::unique_lock<CountedMutex> outer(mutex);
    boost::unique_lock<CountedMutex> middle(mutex);
    ASSERT_TRUE(mutex.try_lock());
    EXPECT_EQ(mutex.heldCount(), 3u);
    EXPECT_FALSE(tryLockFromAnotherThread(mutex));
    std::async(std::launch::async, [&] {
      EXPECT_EQ(mutex.heldCount(), 0u) << "the count is the calling thread's";
      EXPECT_THROW(mutex.unlock(), std::system_error);
    }).get();
    mutex.unlock();
    EXPECT_EQ(mutex.heldCount(), 2u);
  }
  EXPECT_FALSE(mutex.isHeldByCurrentThread());
  EXPECT_TRUE(tryLockFromAnotherThread(mutex));
}

TEST(UtilCountedMutex, ReleaseGuardLetsAnotherThreadInAndRestoresTheCount) {
  CountedMutex mutex;
  mutex.lock();
  mutex.lock();
  mutex.lock();

  std::promise<unsigned> acquired;
  std::atomic<bool> otherReleased{false};
  std::thread other([&] {
    mutex.lock();
    acquired.set_value(mutex.heldCount());
    // Holding on a little longer makes the owner's reacquisition really wait for us.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    otherReleased = true;
    mutex.unlock();
  });
  {
    ReleaseCountedMutexGuard guard(mutex);
    EXPECT_EQ(guard.releasedCount(), 3u);
    EXPECT_EQ(mutex.heldCount(), 0u);
    EXPECT_EQ(acquired.get_future().get(), 1u);  // blocks until the other thread got in
  }
  EXPECT_TRUE(otherReleased) << "reacquired while the other thread still held the mutex";
  EXPECT_EQ(mutex.heldCount(), 3u);
  other.join();
  for (int i = 0; i < 3; ++i) mutex.unlock();
  EXPECT_TRUE(tryLockFromAnotherThread(mutex));
}

TEST(UtilCountedMutex, ReleaseGuardOnAMutexNotHeldChangesNothing) {
  auto shared = boost::make_shared<CountedMutex>();
  {
    ReleaseCountedMutexGuard guard(shared);
    EXPECT_EQ(guard.releasedCount(), 0u);
  }
  EXPECT_EQ(shared->heldCount(), 0u);
  EXPECT_TRUE(tryLockFromAnotherThread(*shared));
  EXPECT_THROW(ReleaseCountedMutexGuard{boost::shared_ptr<CountedMutex>()}, std::invalid_argument);
}

TEST(UtilCountedMutex, ExcludesOtherThreadsAcrossNestedHolds) {
  CountedMutex mutex;
  long counter = 0;  // guarded by mutex
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      std::lock_guard<CountedMutex> outer(mutex);
      std::lock_guard<CountedMutex> inner(mutex);
      const long seen = counter;
      counter = seen + 1;
    }
  };
  std::thread first(work), second(work);
  first.join();
  second.join();
  EXPECT_EQ(counter, 40000);
}

TEST(UtilCountedMutex, StaysExclusiveWhenThreadsMixLockTryLockAndReleaseGuards) {
  CountedMutex mutex;
  long counter = 0;  // guarded by mutex
  std::atomic<int> wrongCounts{0};
  auto work = [&](int seed) {
    for (int i = 0; i < 5000; ++i) {
      if ((i + seed) % 5 == 0) {
        if (!mutex.try_lock()) continue;
      } else {
        mutex.lock();
      }
      std::lock_guard<CountedMutex> inner(mutex);
      if ((i + seed) % 7 == 0) {
        // Let the others in while this thread is two holds deep, then come back to both.
        ReleaseCountedMutexGuard release(mutex);
        if (release.releasedCount() != 2 || mutex.heldCount() != 0) ++wrongCounts;
      }
      if (mutex.heldCount() != 2) ++wrongCounts;
      const long seen = counter;
      std::this_thread::yield();
      counter = seen + 1;
      mutex.unlock();
    }
  };
  std::thread threads[] = {std::thread(work, 0), std::thread(work, 1), std::thread(work, 2),
                           std::thread(work, 3)};
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrongCounts, 0);
  // Every lock() got in, and some of the tries: an update lost to a race would go below.
  EXPECT_GE(counter, 4 * 4000);
  EXPECT_LE(counter, 4 * 5000);
  EXPECT_TRUE(tryLockFromAnotherThread(mutex));
}

}  // namespace
