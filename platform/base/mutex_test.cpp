#include "base/mutex.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

TEST(LibraryMutex, IsReentrantAndExcludesOtherThreads) {
  rtkLock outer;
  {
    rtkLock inner;
    EXPECT_EQ(rtkMutexHoldCount(), 2u);
  }
  EXPECT_EQ(rtkMutexHoldCount(), 1u);

  std::atomic<bool> otherHasIt{false};
  std::thread other([&] {
    rtkLock lock;
    otherHasIt = true;
  });
  // The other thread cannot get in while this one still holds one acquisition; give it every
  // chance to (wrongly) do so before checking.
  for (int i = 0; i < 100; ++i) std::this_thread::yield();
  EXPECT_FALSE(otherHasIt.load());
  EXPECT_EQ(rtkReleaseMutex(), 0);  // gives up the last hold of `outer`...
  other.join();
  EXPECT_TRUE(otherHasIt.load());
  rtkAcquireMutex();  // ...and takes it back for `outer`'s destructor
}

TEST(LibraryMutex, ReleaseByAThreadThatDoesNotHoldItFails) {
  EXPECT_EQ(rtkReleaseMutex(), -1);
  rtkLock lock;
  auto result = std::async(std::launch::async, [] { return rtkReleaseMutex(); });
  EXPECT_EQ(result.get(), -1);
  EXPECT_EQ(rtkMutexHoldCount(), 1u);
}

TEST(LibraryMutex, PauseUnlockedLetsOthersInAndRestoresTheCount) {
  rtkLock first;
  rtkLock second;
  std::promise<void> otherGotIt;
  std::thread other([&] {
    rtkLock lock;
    otherGotIt.set_value();
  });
  // The pause releases both holds; the other thread gets the mutex during it.
  auto gotIt = otherGotIt.get_future();
  while (gotIt.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
    rtkPauseUnlocked(boost::posix_time::milliseconds(5));
    EXPECT_EQ(rtkMutexHoldCount(), 2u);
  }
  other.join();
  EXPECT_EQ(rtkMutexHoldCount(), 2u);
}

}  // namespace
