// Speed of the array library's hot paths, each measured beside its baseline in the same run:
//   same-class zyConvertBufferToType of 1e7 doubles against memcpy (target: at least 0.9 of
//   memcpy's speed), double to int32 against a plain loop with the same rounding and
//   saturation (target: at most 1.25 times the loop's time), and serialize + deserialize of a
//   1e7-element double array (target: at least 1 GB/s of array data).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ratio_reporter.hpp"
#include "zy.h"

namespace {

constexpr size_t kCount = 10'000'000;

const std::vector<double>& sourceValues() {
  static const std::vector<double> values = [] {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> spread(-3e9, 3e9);
    std::vector<double> out(kCount);
    for (double& value : out) value = spread(random);
    out[1] = std::numeric_limits<double>::quiet_NaN();
    out[2] = 2.5;
    return out;
  }();
  return values;
}

void Memcpy(benchmark::State& state) {
  const std::vector<double>& source = sourceValues();
  std::vector<double> destination(kCount, 1.0);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), kCount * sizeof(double));
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kCount * sizeof(double));
}

void ConvertSameClass(benchmark::State& state) {
  const std::vector<double>& source = sourceValues();
  std::vector<double> destination(kCount, 1.0);
  for (auto _ : state) {
    zyConvertBufferToType(destination.data(), zyDOUBLE_CLASS, source.data(), zyDOUBLE_CLASS,
                          kCount);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kCount * sizeof(double));
}

// What a careful programmer writes by hand: the library's rounding (half away from zero, as
// std::round does), saturation and NaN rule, element by element.
void PlainLoopDoubleToInt32(benchmark::State& state) {
  const std::vector<double>& source = sourceValues();
  std::vector<int32_t> destination(kCount, 1);
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) {
      const double value = source[i];
      int32_t result;
      if (std::isnan(value)) {
        result = 0;
      } else {
        const double rounded = std::round(value);
        result = rounded >= 2147483647.0    ? INT32_MAX
                 : rounded <= -2147483648.0 ? INT32_MIN
                                            : static_cast<int32_t>(rounded);
      }
      destination[i] = result;
    }
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
}

void ConvertDoubleToInt32(benchmark::State& state) {
  const std::vector<double>& source = sourceValues();
  std::vector<int32_t> destination(kCount, 1);
  for (auto _ : state) {
    zyConvertBufferToType(destination.data(), zyINT32_CLASS, source.data(), zyDOUBLE_CLASS, kCount);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
}

void SerializeDeserialize(benchmark::State& state) {
  zyArray* array = zyCreateDoubleMatrix(kCount, 1, zyREAL);
  std::memcpy(zyGetPr(array), sourceValues().data(), kCount * sizeof(double));
  for (auto _ : state) {
    zyArray* bytes = zySerialize(array);
    zyArray* back = zyDeserialize(zyGetDataConst(bytes), zyGetN(bytes));
    if (back == nullptr) state.SkipWithError("deserialize failed");
    benchmark::DoNotOptimize(back);
    zyDestroyArray(back);
    zyDestroyArray(bytes);
  }
  state.SetBytesProcessed(state.iterations() * kCount * sizeof(double));
  zyDestroyArray(array);
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ConvertSameClass)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainLoopDoubleToInt32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ConvertDoubleToInt32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SerializeDeserialize)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  bench::RatioReporter reporter;
  if (!bench::runInterleaved(argc, argv, reporter)) return 1;

  const double gigabytes = kCount * sizeof(double) / 1e9;
  std::printf("\nratios (medians when repeated):\n");
  std::printf("  same-class convert speed / memcpy speed: %.3f (target >= 0.9)\n",
              reporter.time("Memcpy") / reporter.time("ConvertSameClass"));
  std::printf("  double->int32 convert time / plain loop time: %.3f (target <= 1.25)\n",
              reporter.time("ConvertDoubleToInt32") / reporter.time("PlainLoopDoubleToInt32"));
  std::printf("  serialize + deserialize of 1e7 doubles: %.2f GB/s (target >= 1)\n",
              gigabytes / (reporter.time("SerializeDeserialize") / 1e3));
  return 0;
}
