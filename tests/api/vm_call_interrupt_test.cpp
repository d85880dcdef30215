// Stopping the calls of a VM instance, whose Q code runs on the VM's own thread: an interrupt
// from the host's thread, the budget, and the termination of a busy instance. A process of its
// own, because the registry picks VM instances only when they are asked for before its first
// use.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "host_calls.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"

namespace {

using hosttest::evalIn;
using hosttest::lastId;
using hosttest::lastMessage;

using Clock = std::chrono::steady_clock;
constexpr int kVmInstances = 1;  // rtkkvnInitialize2's state for VM instances

std::atomic<int> gStarted{0};
void markStarted(int, zyArray**, int, zyArray**) { ++gStarted; }

// Runs a runaway call on a host thread, then stop(instance) once the Q code runs; returns the
// identifier the call failed with, and the seconds from stop to its return in took.
template <typename Stop>
std::string stoppedCall(HKVNINSTANCE instance, Stop stop, double& took) {
  const int before = gStarted;
  std::atomic<bool> returned{false};
  Clock::time_point end;
  std::string identifier = "(succeeded)";
  std::thread caller([&] {
    if (!evalIn(instance, "started(); while 1, try, catch, end, end")) identifier = lastId();
    end = Clock::now();
    returned = true;
  });
  while (gStarted == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const Clock::time_point asked = Clock::now();
  stop(instance);
  // A call nothing ends would hang here; the test's timeout reports it.
  caller.join();
  took = std::chrono::duration<double>(end - asked).count();
  return identifier;
}

TEST(VmCallInterrupt, InterruptBudgetAndTerminationEndRunawayCalls) {
  ASSERT_TRUE(rtkkvnInitialize2(kVmInstances));
  HKVNINSTANCE instance = rtkInitializeInstance({}, {}, {});
  ASSERT_NE(instance, nullptr);
  ASSERT_TRUE(rtkRegisterExternalFunction(instance, "started", markStarted));

  double took = 0;
  EXPECT_EQ(stoppedCall(
                instance, [](HKVNINSTANCE h) { EXPECT_TRUE(rtkInterruptInstance(h)); }, took),
            "Q:interrupted");
  EXPECT_LT(took, 2.0);
  EXPECT_TRUE(evalIn(instance, "x = 1;")) << "the VM answers after the interrupt";

  ASSERT_TRUE(rtkSetCallBudget(instance, 0.2));
  EXPECT_FALSE(evalIn(instance, "while 1, end"));
  EXPECT_EQ(lastId(), "Q:callBudgetExceeded");
  ASSERT_TRUE(rtkSetCallBudget(instance, 0));

  HKVNINSTANCE copy = instance;
  EXPECT_EQ(stoppedCall(
                instance, [&](HKVNINSTANCE) { EXPECT_TRUE(rtkTerminateInstance(&copy)); }, took),
            "Q:interrupted");
  EXPECT_LT(took, 2.0);
  EXPECT_EQ(rtkGetID(instance), 0) << "deleted once its call has returned";
}

}  // namespace
