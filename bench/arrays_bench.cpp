// Cost of the array objects' hottest slots, called through the slot table as the exported
// functions call them, each beside its baseline in the same run:
//   an addref/release pair against a bare pair of atomic increment and decrement (the count is
//   atomic and takes no lock), and classID (which runs under the runtime's global mutex, inside
//   the catch-all) against a bare acquire/release of that mutex.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/mutex.hpp"
#include "ratio_reporter.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/slot_table.hpp"
#include "zy.h"

namespace {

using rtkkvn::arrays::callSlot;

constexpr size_t kAddrefSlot = 1;
constexpr size_t kReleaseSlot = 2;
constexpr size_t kClassIdSlot = 3;

array_ref* benchArray() {
  static array_ref* const array = [] {
    rtkLock lock;
    return wrapArray(zyCreateDoubleMatrix(4, 4, zyREAL));
  }();
  return array;
}

void AtomicPair(benchmark::State& state) {
  std::atomic<int32_t> count{1};
  for (auto _ : state) {
    benchmark::DoNotOptimize(count.fetch_add(1, std::memory_order_relaxed));
    benchmark::DoNotOptimize(count.fetch_sub(1, std::memory_order_acq_rel));
  }
}

void AddrefReleasePair(benchmark::State& state) {
  array_ref* array = benchArray();
  benchmark::DoNotOptimize(array);
  for (auto _ : state) {
    benchmark::DoNotOptimize(callSlot<int>(array, kAddrefSlot));
    benchmark::DoNotOptimize(callSlot<int>(array, kReleaseSlot));
  }
}

void GlobalMutexPair(benchmark::State& state) {
  for (auto _ : state) {
    rtkAcquireMutex();
    benchmark::DoNotOptimize(rtkReleaseMutex());
  }
}

void ClassId(benchmark::State& state) {
  array_ref* array = benchArray();
  benchmark::DoNotOptimize(array);
  for (auto _ : state) benchmark::DoNotOptimize(callSlot<int>(array, kClassIdSlot));
}

BENCHMARK(AtomicPair);
BENCHMARK(AddrefReleasePair);
BENCHMARK(GlobalMutexPair);
BENCHMARK(ClassId);

}  // namespace

int main(int argc, char** argv) {
  bench::RatioReporter reporter;
  if (!bench::runInterleaved(argc, argv, reporter)) return 1;

  std::printf("\nper call through the slot table (medians when repeated):\n");
  std::printf("  addref + release pair: %.1f ns (%.2f x a bare atomic pair)\n",
              reporter.time("AddrefReleasePair"),
              reporter.time("AddrefReleasePair") / reporter.time("AtomicPair"));
  std::printf("  classID: %.1f ns (%.2f x a bare global mutex acquire + release)\n",
              reporter.time("ClassId"),
              reporter.time("ClassId") / reporter.time("GlobalMutexPair"));
  return 0;
}
