// Speed of the engine's array operations, each beside its baseline in the same run:
//   y = 2*x + 1 on 1e7 doubles through the operators (the temporary 2*x lends its block to the
//   sum, as the interpreter passes temporaries) against a plain C++ loop writing a fresh block
//   and against one writing a block it reuses (targets: at most 2 times the loop), and a
//   500-by-500 matrix product through `*` against calling dgemm directly (target: at most 1.2
//   times dgemm).

#include <benchmark/benchmark.h>
#include <cblas.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/ops/operations.hpp"
#include "ratio_reporter.hpp"
#include "zy.h"

namespace {

constexpr size_t kCount = 10'000'000;
constexpr size_t kOrder = 500;

q::ArrayPtr randomMatrix(size_t rows, size_t columns, unsigned seed) {
  q::ArrayPtr array(zyCreateDoubleMatrix(rows, columns, zyREAL));
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> spread(-1, 1);
  double* data = zyGetPr(array.get());
  for (size_t i = 0; i < rows * columns; ++i) data[i] = spread(random);
  return array;
}

const zyArray* vectorX() {
  static const q::ArrayPtr x = randomMatrix(kCount, 1, 1);
  return x.get();
}

void LoopFreshBlock(benchmark::State& state) {
  const double* x = static_cast<const double*>(zyGetDataConst(vectorX()));
  for (auto _ : state) {
    // The block comes from the allocator arrays use, with the same huge-page advice.
    std::unique_ptr<double, decltype(&zyFree)> y(
        static_cast<double*>(zyMalloc(kCount * sizeof(double))), &zyFree);
    double* out = y.get();
    for (size_t i = 0; i < kCount; ++i) out[i] = 2 * x[i] + 1;
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void LoopReusedBlock(benchmark::State& state) {
  const double* x = static_cast<const double*>(zyGetDataConst(vectorX()));
  std::vector<double> y(kCount);
  for (auto _ : state) {
    double* out = y.data();
    for (size_t i = 0; i < kCount; ++i) out[i] = 2 * x[i] + 1;
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}

void OperatorsTwoXPlusOne(benchmark::State& state) {
  q::ArrayPtr two(zyCreateDoubleScalar(2)), one(zyCreateDoubleScalar(1));
  for (auto _ : state) {
    q::ArrayPtr scaled = q::ops::binary(q::ops::BinaryOp::MTimes, two.get(), vectorX());
    q::ArrayPtr y = q::ops::binary(q::ops::BinaryOp::Plus, std::move(scaled),
                                   q::ArrayPtr(zyCreateSharedDataCopy(one.get())));
    benchmark::DoNotOptimize(y.get());
  }
}

const zyArray* matrixA() {
  static const q::ArrayPtr a = randomMatrix(kOrder, kOrder, 2);
  return a.get();
}
const zyArray* matrixB() {
  static const q::ArrayPtr b = randomMatrix(kOrder, kOrder, 3);
  return b.get();
}

void Dgemm(benchmark::State& state) {
  std::vector<double> c(kOrder * kOrder);
  const int n = static_cast<int>(kOrder);
  for (auto _ : state) {
    cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0,
                static_cast<const double*>(zyGetDataConst(matrixA())), n,
                static_cast<const double*>(zyGetDataConst(matrixB())), n, 0.0, c.data(), n);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
  }
}

void OperatorProduct(benchmark::State& state) {
  for (auto _ : state) {
    q::ArrayPtr c = q::ops::binary(q::ops::BinaryOp::MTimes, matrixA(), matrixB());
    benchmark::DoNotOptimize(c.get());
  }
}

BENCHMARK(LoopFreshBlock)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(LoopReusedBlock)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OperatorsTwoXPlusOne)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Dgemm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OperatorProduct)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  bench::RatioReporter reporter;
  if (!bench::runInterleaved(argc, argv, reporter)) return 1;

  std::printf("\nratios (medians when repeated):\n");
  std::printf(
      "  y = 2*x + 1 through the operators / C++ loop into a fresh block: %.3f "
      "(target <= 2)\n",
      reporter.time("OperatorsTwoXPlusOne") / reporter.time("LoopFreshBlock"));
  std::printf("  y = 2*x + 1 through the operators / C++ loop into a reused block: %.3f\n",
              reporter.time("OperatorsTwoXPlusOne") / reporter.time("LoopReusedBlock"));
  std::printf("  500x500 product through * / dgemm: %.3f (target <= 1.2)\n",
              reporter.time("OperatorProduct") / reporter.time("Dgemm"));
  return 0;
}
