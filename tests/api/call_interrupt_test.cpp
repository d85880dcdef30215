// Stopping calls: a runaway call interrupted from another thread, ended by its budget or by the
// termination of its instance, through the shared library as a host uses it; and the step and
// allocation limits of the engine's call control, which the evaluator's fuzz target relies on.
//
// The time bounds are generous (2 s) on purpose: what is asserted is that a call that would run
// for ever ends. The interrupt latency itself is measured and printed, not asserted.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/instance.hpp"
#include "host_calls.hpp"
#include "rtkbase.h"
#include "rtkkvn.h"
#include "zy/memory.hpp"

namespace {

using hosttest::evalIn;
using hosttest::lastId;
using hosttest::lastMessage;

using Clock = std::chrono::steady_clock;
constexpr auto kGenerousBound = std::chrono::seconds(2);

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

std::atomic<int> gStarted{0};
void markStarted(int, zyArray**, int, zyArray**) { ++gStarted; }

// A call running on a thread of its own; the Q code calls started() once it runs.
class BackgroundCall {
 public:
  BackgroundCall(HKVNINSTANCE instance, std::string statements) {
    const int before = gStarted;
    thread_ = std::thread([this, instance, statements] {
      succeeded_ = evalIn(instance, statements);
      returned_ = Clock::now();
      errorId_ = lastId();
      errorMessage_ = lastMessage();
    });
    while (gStarted == before) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~BackgroundCall() {
    if (!thread_.joinable()) return;
    if (!returnsWithin(10 * kGenerousBound)) {
      // Nothing can end the call: fail now rather than when ctest gives up.
      std::fprintf(stderr, "a call that should have been stopped never returned\n");
      std::abort();
    }
  }
  // Waits for the call to return, at most bound; false when it did not.
  bool returnsWithin(Clock::duration bound) {
    const Clock::time_point end = Clock::now() + bound;
    while (returned_.load() == Clock::time_point() && Clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (returned_.load() == Clock::time_point()) return false;
    thread_.join();
    return true;
  }
  bool succeeded() const { return succeeded_; }
  Clock::time_point returned() const { return returned_; }
  const std::string& errorId() const { return errorId_; }
  const std::string& errorMessage() const { return errorMessage_; }

 private:
  std::thread thread_;
  bool succeeded_ = false;
  std::atomic<Clock::time_point> returned_{Clock::time_point()};
  std::string errorId_, errorMessage_;
};

class CallInterrupt : public hosttest::InstanceTest {
 protected:
  void SetUp() override {
    InstanceTest::SetUp();
    ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "started", markStarted));
  }
};

// Every way Q code can keep running, and every way it can catch an error, still stops.
TEST_F(CallInterrupt, RunawayCallsEndWithInterruptedAndTheInstanceAnswersAfterwards) {
  const char* const runaways[] = {
      "started(); while 1, end",
      "started(); for k = 1:1e15, end",
      "started(); for c = true(1, 1e7), end",
      "started(); pause(1000)",
      "started(); while 1, try, error('a:b', 'again'); catch, end, end",
      "started(); try, while 1, end, catch, end",
      "started(); eval('while 1, end', 'x = 1;')",
      "started(); cellfun(@(x) eval('while 1, end'), {1}, 'ErrorHandler', @(e, x) 0);",
      "started(); g = @(g, n) g(g, n + 1) * 0; while 1, try, g(g, 1); catch, end, end",
  };
  std::vector<double> latencies;
  for (const char* runaway : runaways) {
    BackgroundCall call(instance_, runaway);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // deep inside the loop by now
    const Clock::time_point asked = Clock::now();
    ASSERT_TRUE(rtkInterruptInstance(instance_)) << lastMessage();
    ASSERT_TRUE(call.returnsWithin(kGenerousBound)) << runaway;
    latencies.push_back(seconds(call.returned() - asked));
    EXPECT_FALSE(call.succeeded()) << runaway;
    EXPECT_EQ(call.errorId(), "Q:interrupted") << runaway << ": " << call.errorMessage();
    EXPECT_EQ(call.errorMessage(), "The call was interrupted.");
    EXPECT_TRUE(evalIn(instance_, "s = 0; for k = 1:100, s = s + k; end, assert(s == 5050)"))
        << "after " << runaway << ": " << lastMessage();
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("interrupt latency over %zu calls: median %.3f ms, max %.3f ms\n", latencies.size(),
              latencies[latencies.size() / 2] * 1e3, latencies.back() * 1e3);
}

TEST_F(CallInterrupt, AnInterruptOfAnIdleInstanceIsDropped) {
  ASSERT_TRUE(rtkInterruptInstance(instance_));
  EXPECT_TRUE(evalIn(instance_, "for k = 1:1000, end, pause(0.01)")) << lastMessage();
}

HKVNINSTANCE gSelf = nullptr;
void interruptOwnCall(int, zyArray**, int, zyArray**) { rtkInterruptInstance(gSelf); }

TEST_F(CallInterrupt, ACallbackMayInterruptItsOwnCall) {
  gSelf = instance_;
  ASSERT_TRUE(rtkRegisterExternalFunction(instance_, "stopme", interruptOwnCall));
  EXPECT_FALSE(evalIn(instance_, "stopme(); while 1, end"));
  EXPECT_EQ(lastId(), "Q:interrupted");
  EXPECT_TRUE(evalIn(instance_, "x = 1;")) << lastMessage();
}

TEST_F(CallInterrupt, TerminatingABusyInstanceEndsItsCall) {
  BackgroundCall call(instance_, "started(); while 1, try, catch, end, end");
  HKVNINSTANCE copy = instance_;
  ASSERT_TRUE(rtkTerminateInstance(&copy)) << lastMessage();
  EXPECT_EQ(copy, nullptr);
  ASSERT_TRUE(call.returnsWithin(kGenerousBound));
  EXPECT_EQ(call.errorId(), "Q:interrupted");
  EXPECT_EQ(rtkGetID(instance_), 0) << "deleted once its call has returned";
  instance_ = nullptr;
}

TEST_F(CallInterrupt, TheBudgetEndsARunawayCallAndCanBeLifted) {
  ASSERT_TRUE(rtkSetCallBudget(instance_, 0.2)) << lastMessage();
  for (const char* runaway : {"while 1, try, catch, end, end", "pause(1000)"}) {
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(evalIn(instance_, runaway));
    const double took = seconds(Clock::now() - start);
    EXPECT_EQ(lastId(), "Q:callBudgetExceeded") << runaway;
    EXPECT_EQ(lastMessage(), "The call ran longer than its budget of 0.2 seconds.");
    EXPECT_GE(took, 0.19) << runaway;
    EXPECT_LT(took, 2.0) << runaway;
  }
  ASSERT_TRUE(rtkSetCallBudget(instance_, 0));
  EXPECT_TRUE(evalIn(instance_, "pause(0.3)")) << lastMessage();
  ASSERT_TRUE(rtkSetCallBudget(instance_, INFINITY));
  EXPECT_TRUE(evalIn(instance_, "pause(0.3)")) << lastMessage();
}

TEST_F(CallInterrupt, BadArgumentsAreRefused) {
  EXPECT_FALSE(rtkSetCallBudget(instance_, -1));
  EXPECT_EQ(lastId(), "RTK:Runtime:SetCallBudget");
  EXPECT_EQ(lastMessage(),
            "rtkSetCallBudget: seconds is -1; a call budget is 0 (none) or more seconds.");
  EXPECT_FALSE(rtkSetCallBudget(instance_, NAN));
  EXPECT_EQ(lastMessage(),
            "rtkSetCallBudget: seconds is nan; a call budget is 0 (none) or more seconds.");
  // Stale and forged handles: HostMisuse.StaleAndForgedHandlesAreRefusedByEveryExport.
  EXPECT_FALSE(rtkInterruptInstance(nullptr));
  EXPECT_EQ(lastId(), "RTK:Runtime:Interrupt");
}

// ---- The engine's limits for untrusted code ----------------------------------------------------

class EngineLimits : public ::testing::Test {
 protected:
  void SetUp() override { engine_ = new kvnInstance(kvnOptions(), nullptr, nullptr); }
  void TearDown() override {
    kvnInstance::PopActivation(engine_);
    kvnInstance::Detach(engine_);
  }
  // The identifier of the error the statements end with; "" when they succeed.
  std::string errorOf(const std::string& statements) {
    return engine_->EvalString(statements) ? "" : engine_->GetErrorState().identifier;
  }
  kvnInstance* engine_ = nullptr;
};

TEST_F(EngineLimits, TheStepLimitEndsEveryCallThatPollsTooOftenAndEachCallStartsAfresh) {
  engine_->callControl()->setStepLimit(1000);
  EXPECT_EQ(errorOf("for k = 1:500, end"), "");
  EXPECT_EQ(errorOf("for k = 1:500, end"), "") << "the count starts again with each call";
  EXPECT_EQ(errorOf("for k = 1:2000, end"), "Q:stepLimit");
  EXPECT_EQ(engine_->GetErrorState().message, "The call exceeded its limit of 1000 steps.");
  EXPECT_EQ(errorOf("while 1, try, catch, end, end"), "Q:stepLimit");
  EXPECT_EQ(errorOf("n = 0; while 1, n = n + 1; cellfun(@(x) x, {1}); end"), "Q:stepLimit");
  // A stopped loop leaves its variables as far as it got.
  EXPECT_EQ(errorOf("n = 0; for k = 1:2000, n = n + 1; end"), "Q:stepLimit");
  EXPECT_EQ(errorOf("assert(n == k && n > 100)"), "");
  engine_->callControl()->setStepLimit(0);
  EXPECT_EQ(errorOf("for k = 1:5000, end"), "");
}

TEST_F(EngineLimits, TheAllocationLimitRefusesLargeArraysAndEndsWithTheCall) {
  engine_->callControl()->setAllocationLimit(1 << 20);
  EXPECT_EQ(errorOf("x = zeros(100);"), "");
  EXPECT_EQ(errorOf("x = zeros(1000);"), "Q:outOfMemory");
  EXPECT_EQ(errorOf("x = ones(1, 200000);"), "Q:outOfMemory");
  EXPECT_EQ(errorOf("c = cell(1000, 1000);"), "Q:outOfMemory");
  EXPECT_EQ(errorOf("a = []; for k = 1:200000, a(end + 1) = k; end"), "Q:outOfMemory");
  EXPECT_EQ(errorOf("s = repmat('ab', 1, 1e6);"), "Q:outOfMemory");
  EXPECT_EQ(errorOf("r = 68601:8427387904;"), "Q:outOfMemory");  // 67 GB of doubles
  EXPECT_EQ(errorOf("r = int32(1):int32(2000000000);"), "Q:outOfMemory");
  // An ordinary error: Q code may catch it and go on.
  EXPECT_EQ(errorOf("try, x = zeros(1000); catch e, y = e.identifier; end, assert(strcmp(y, "
                    "'Q:outOfMemory'))"),
            "");
  // The thread's bound is the instance's only while the instance runs.
  void* block = zyMalloc(8 << 20);
  EXPECT_NE(block, nullptr);
  zyFree(block);
  engine_->callControl()->setAllocationLimit(0);
  EXPECT_EQ(errorOf("x = zeros(1000);"), "");
}

TEST_F(EngineLimits, WithoutFileAccessNothingOnDiskIsOpenedMadeOrRemoved) {
  engine_->callControl()->setFileAccess(false);
  for (const char* statement :
       {"f = fopen(tempname, 'w');", "fileread('/etc/hostname')", "mkdir(tempname)",
        "rmdir(tempdir)", "delete(tempname)", "dir(tempdir)", "setenv('KVN_X', '1')"}) {
    EXPECT_EQ(errorOf(statement), "Q:fileAccessDenied") << statement;
  }
  EXPECT_EQ(errorOf("x = [isfile(tempname), numel(getenv('HOME')) >= 0];"), "") << "reads stay";
  engine_->callControl()->setFileAccess(true);
  EXPECT_EQ(errorOf("d = dir(tempdir);"), "");
}

TEST(ThreadBlockLimit, BoundsEachAllocatorAndIsRestored) {
  const std::size_t previous = zy::setThreadBlockLimit(4096);
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(zyMalloc(4097), nullptr);
  EXPECT_EQ(zyCalloc(1025, 4), nullptr);
  void* block = zyMalloc(4096);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(zyRealloc(block, 8192), nullptr) << "a failed realloc leaves the block as it was";
  std::thread([] {
    void* other = zyMalloc(8192);
    EXPECT_NE(other, nullptr) << "other threads are not bounded";
    zyFree(other);
  }).join();
  EXPECT_EQ(zy::setThreadBlockLimit(previous), 4096u);
  block = zyRealloc(block, 8192);
  EXPECT_NE(block, nullptr);
  zyFree(block);
}

}  // namespace
