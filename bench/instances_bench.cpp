// Creating and terminating a direct runtime instance through the exported interface.

#include <benchmark/benchmark.h>

#include <cstdio>

#include "ratio_reporter.hpp"
#include "rtkkvn.h"

namespace {

void DirectInstanceCreateTerminate(benchmark::State& state) {
  for (auto _ : state) {
    HKVNINSTANCE instance = rtkInitializeInstance({}, {}, {});
    if (instance == nullptr || !rtkTerminateInstance(&instance)) {
      state.SkipWithError("create or terminate failed");
      break;
    }
  }
}

BENCHMARK(DirectInstanceCreateTerminate)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (!rtkkvnInitialize2(0)) return 1;
  bench::RatioReporter reporter;
  if (!bench::runInterleaved(argc, argv, reporter)) return 1;
  std::printf("\ncreate + terminate of a direct instance (median when repeated): %.2f us\n",
              reporter.time("DirectInstanceCreateTerminate"));
  return 0;
}
