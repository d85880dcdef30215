// The exported array API against the work it wraps, measured side by side in one run:
//  - array_ref_get_numeric_zyDouble / set_numeric_zyDouble of 1e7 elements against memcpy,
//  - an element loop through rtkkvn::Array against the same loop over a raw zyArray,
//  - making and releasing a 1-by-1 double through rtkGetScalarDouble.
// Prints medians of interleaved repetitions and their ratios.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "rtkkvn_array.hpp"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Body>
double seconds(Body&& body) {
  const auto start = Clock::now();
  body();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

volatile double sink;

}  // namespace

int main() {
  constexpr size_t kCount = 10'000'000;
  constexpr int kRepetitions = 7;
  array_ref* a = nullptr;
  rtkGetMatrix(&a, kCount, 1, zyDOUBLE_CLASS, zyREAL);
  std::vector<double> buffer(kCount, 1.5), source(kCount, 2.5);
  std::vector<double> plainSource(kCount, 3.5), plainTarget(kCount);
  std::vector<double> get, set, copy;
  for (int r = 0; r < kRepetitions; ++r) {
    set.push_back(seconds([&] { array_ref_set_numeric_zyDouble(a, source.data(), kCount); }));
    get.push_back(seconds([&] { array_ref_get_numeric_zyDouble(a, buffer.data(), kCount); }));
    copy.push_back(seconds(
        [&] { std::memcpy(plainTarget.data(), plainSource.data(), kCount * sizeof(double)); }));
    sink = buffer[r] + plainTarget[r];
  }
  std::printf(
      "1e7 doubles: get %.2f ms, set %.2f ms, memcpy %.2f ms; speed vs memcpy: get %.2f, "
      "set %.2f\n",
      median(get) * 1e3, median(set) * 1e3, median(copy) * 1e3, median(copy) / median(get),
      median(copy) / median(set));
  ref_count_obj_release(a);

  constexpr size_t kLoop = 20'000;
  rtkkvn::Array m = rtkkvn::Array::matrix(kLoop, 1);
  zyArray* raw = zyCreateDoubleMatrix(kLoop, 1, zyREAL);
  std::vector<double> classLoop, rawLoop;
  for (int r = 0; r < kRepetitions; ++r) {
    classLoop.push_back(seconds([&] {
      double sum = 0;
      for (size_t i = 1; i <= kLoop; ++i) sum += m(i).value<double>();
      sink = sum;
    }));
    rawLoop.push_back(seconds([&] {
      double sum = 0;
      const double* data = static_cast<const double*>(zyGetDataConst(raw));
      for (size_t i = 0; i < kLoop; ++i) sum += data[i];
      sink = sum;
    }));
  }
  std::printf(
      "element loop of %zu: class %.1f ns/element, raw zyArray %.2f ns/element, ratio "
      "%.0f\n",
      kLoop, median(classLoop) / kLoop * 1e9, median(rawLoop) / kLoop * 1e9,
      median(classLoop) / median(rawLoop));
  zyDestroyArray(raw);

  constexpr int kScalars = 200'000;
  std::vector<double> scalars;
  for (int r = 0; r < kRepetitions; ++r) {
    scalars.push_back(seconds([&] {
      for (int i = 0; i < kScalars; ++i) {
        array_ref* s = nullptr;
        rtkGetScalarDouble(&s, i, 0, zyREAL);
        ref_count_obj_release(s);
      }
    }));
  }
  std::printf("rtkGetScalarDouble + release: %.0f ns\n", median(scalars) / kScalars * 1e9);
  return 0;
}
