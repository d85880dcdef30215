// Four host threads call functions of two runtime instances at the same time through the shared
// library for a few seconds; every result must be the one its own inputs call for, so calls
// never see each other's arguments or results.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkkvn.h"
#include "util/services.hpp"

namespace {

namespace stdfs = std::filesystem;

TEST(ConcurrentCalls, FourThreadsOnTwoInstancesGetTheirOwnResults) {
  svSetStandaloneMode(true);
  ASSERT_TRUE(rtkkvnInitialize2(0));
  const stdfs::path folder =
      stdfs::temp_directory_path() / ("rtkkvn_concurrent_" + std::to_string(::getpid()));
  stdfs::create_directories(folder);
  std::ofstream(folder / "scaled.q") << "function y = scaled(x, k)\ny = x * k + 1;\n";

  HKVNINSTANCE instances[2] = {rtkInitializeInstance({}, {}, {}),
                               rtkInitializeInstance({}, {}, {})};
  for (HKVNINSTANCE instance : instances) {
    ASSERT_NE(instance, nullptr);
    ASSERT_TRUE(qpAddDir(rtkHandleToKvnInstancePtr(instance)->GetDispatcher().get_path(),
                         folder.string(), kQpAddAtFront));
  }

  std::atomic<int> wrong{0};
  std::atomic<int> failed{0};
  std::atomic<long> calls{0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&, thread] {
      HKVNINSTANCE instance = instances[thread % 2];
      for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        const double x = thread * 100000.0 + round;
        const double k = thread + 2.0;
        zyArray* inputs[2] = {zyCreateDoubleScalar(x), zyCreateDoubleScalar(k)};
        zyArray* result = nullptr;
        if (!rtkFeval(instance, "scaled", 1, &result, 2, inputs)) {
          ++failed;
        } else if (result == nullptr || zyGetN(result) * zyGetM(result) != 1 ||
                   zyGetPr(result)[0] != x * k + 1) {
          ++wrong;
        }
        if (result) zyDestroyArray(result);
        zyDestroyArray(inputs[0]);
        zyDestroyArray(inputs[1]);
        ++calls;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(calls.load(), 4);  // every thread got at least one call in
  for (HKVNINSTANCE& instance : instances) EXPECT_TRUE(rtkTerminateInstance(&instance));
  stdfs::remove_all(folder);
}

}  // namespace
