// Host calls through the exported C interface: rtkFeval of a one-line function against Lua 5.4's
// lua_pcall of the same function (target: at most 3 times Lua), and rtkcppFeval with three array
// inputs (reported in microseconds). All run interleaved in one process. A third measurement
// gives the floor under any host call: its two locks and its output array, without the engine;
// a fourth, rtkFeval less its handle check, what checking and pinning the handle costs.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <boost/thread/mutex.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "ratio_reporter.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"
#include "rtkkvn_array.h"
#include "util/counted_mutex.hpp"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

namespace stdfs = std::filesystem;

HKVNINSTANCE gInstance = nullptr;
lua_State* gLua = nullptr;

void RtkFevalOneLine(benchmark::State& state) {
  zyArray* input = zyCreateDoubleScalar(1);
  double sum = 0;
  for (auto _ : state) {
    zyArray* output = nullptr;
    if (!rtkFeval(gInstance, "plusone", 1, &output, 1, &input)) {
      state.SkipWithError("rtkFeval failed");
      break;
    }
    sum += *zyGetPr(output);
    zyDestroyArray(output);
  }
  zyDestroyArray(input);
  if (sum != 2.0 * static_cast<double>(state.iterations())) state.SkipWithError("wrong results");
}

// rtkFeval as it is, less the handle check and pin: the same boundary, argument check and call
// on the instance the handle names. The difference to RtkFevalOneLine is what the check costs.
void RtkFevalWithoutHandleCheck(benchmark::State& state) {
  zyArray* input = zyCreateDoubleScalar(1);
  auto* instance = static_cast<RtkKvnInstance*>(gInstance);  // a handle is the object's address
  double sum = 0;
  for (auto _ : state) {
    zyArray* output = nullptr;
    const bool succeeded = rtkCaptureErrors(
        RTK_BOUNDARY("RTK:Runtime:Feval", "calls_bench"), false, [&] {
          rtkCheckCallArguments("rtkFeval", 1, &output, 1, &input);
          instance->feval("plusone", 1, &output, 1, &input);
          return true;
        });
    if (!succeeded) {
      state.SkipWithError("the call failed");
      break;
    }
    sum += *zyGetPr(output);
    zyDestroyArray(output);
  }
  zyDestroyArray(input);
  if (sum != 2.0 * static_cast<double>(state.iterations())) state.SkipWithError("wrong results");
}

void LuaPcallOneLine(benchmark::State& state) {
  double sum = 0;
  for (auto _ : state) {
    lua_getglobal(gLua, "plusone");
    lua_pushnumber(gLua, 1);
    if (lua_pcall(gLua, 1, 1, 0) != LUA_OK) {
      state.SkipWithError("lua_pcall failed");
      break;
    }
    sum += lua_tonumber(gLua, -1);
    lua_pop(gLua, 1);
  }
  if (sum != 2.0 * static_cast<double>(state.iterations())) state.SkipWithError("wrong results");
}

// What every call must do whatever the engine: take and give back the instance call lock (a
// boost::mutex) and the engine mutex (a CountedMutex), and make and destroy the output array.
void LocksAndOutputArrayOnly(benchmark::State& state) {
  boost::mutex callLock;
  tnutil::threadutil::CountedMutex engineMutex;
  double sum = 0;
  for (auto _ : state) {
    std::lock_guard<boost::mutex> call(callLock);
    std::lock_guard<tnutil::threadutil::CountedMutex> engine(engineMutex);
    zyArray* output = zyCreateDoubleScalar(2);
    sum += *zyGetPr(output);
    zyDestroyArray(output);
  }
  if (sum != 2.0 * static_cast<double>(state.iterations())) state.SkipWithError("wrong results");
}

// Three 1-by-100 double arrays in, their sum out.
void RtkcppFevalThreeArrays(benchmark::State& state) {
  array_buffer* inputs = nullptr;
  rtkcppGetArrayBuffer(&inputs, 0);
  for (int k = 1; k <= 3; ++k) {
    array_ref* array = nullptr;
    rtkGetNumericMatrix(&array, 1, 100, zyDOUBLE_CLASS, zyREAL);
    double values[100];
    for (int i = 0; i < 100; ++i) values[i] = k * i;
    array_ref_set_numeric_zyDouble(array, values, 100);
    array_buffer_add(inputs, array);
    ref_count_obj_release(array);
  }
  double sums[100] = {};
  for (auto _ : state) {
    array_buffer* outputs = nullptr;
    if (rtkcppFeval(gInstance, "addthree", 1, &outputs, inputs) != 0) {
      state.SkipWithError("rtkcppFeval failed");
      break;
    }
    array_ref* result = array_buffer_get(outputs, 1);
    array_ref_get_numeric_zyDouble(result, sums, 100);
    ref_count_obj_release(result);
    ref_count_obj_release(outputs);
  }
  ref_count_obj_release(inputs);
  if (sums[99] != 6 * 99) state.SkipWithError("wrong result");  // (1 + 2 + 3) * 99
}

BENCHMARK(RtkFevalOneLine)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RtkFevalWithoutHandleCheck)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(LuaPcallOneLine)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(LocksAndOutputArrayOnly)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(RtkcppFevalThreeArrays)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  const stdfs::path folder =
      stdfs::temp_directory_path() / ("calls_bench_" + std::to_string(::getpid()));
  stdfs::create_directories(folder);
  std::ofstream(folder / "plusone.q") << "function y = plusone(x)\ny = x + 1;\n";
  std::ofstream(folder / "addthree.q") << "function s = addthree(a, b, c)\ns = a + b + c;\n";

  if (!rtkkvnInitialize2(0)) return 1;
  gInstance = rtkInitializeInstance({}, {}, {});
  if (gInstance == nullptr ||
      !qpAddDir(rtkHandleToKvnInstancePtr(gInstance)->GetDispatcher().get_path(), folder.string(),
                kQpAddAtFront)) {
    std::fprintf(stderr, "calls_bench: no instance\n");
    return 1;
  }
  gLua = luaL_newstate();
  luaL_openlibs(gLua);
  if (luaL_dostring(gLua, "function plusone(x) return x + 1 end") != LUA_OK) return 1;

  bench::RatioReporter reporter;
  const bool ran = bench::runInterleaved(argc, argv, reporter);
  if (ran) {
    const double feval = reporter.time("RtkFevalOneLine");
    const double lua = reporter.time("LuaPcallOneLine");
    std::printf("\nrtkFeval of a one-line function: %.3f us, Lua lua_pcall %.3f us, ratio %.2f"
                " (target <= 3: %s)\n",
                feval, lua, feval / lua, feval / lua <= 3 ? "met" : "MISSED");
    const double floor = reporter.time("LocksAndOutputArrayOnly");
    std::printf("of which the two locks and the output array alone: %.3f us (%.2f times Lua)\n",
                floor, floor / lua);
    const double unchecked = reporter.time("RtkFevalWithoutHandleCheck");
    std::printf("the handle check and pin: rtkFeval %.3f us, without them %.3f us (%+.1f ns)\n",
                feval, unchecked, (feval - unchecked) * 1e3);
    std::printf("rtkcppFeval with three 1-by-100 double inputs: %.3f us\n",
                reporter.time("RtkcppFevalThreeArrays"));
  }

  lua_close(gLua);
  rtkTerminateInstance(&gInstance);
  stdfs::remove_all(folder);
  return ran ? 0 : 1;
}
