// The Q-code engine against Lua 5.4 and against plain C++, the same work side by side in one
// process and one run. Each measurement is the median of several repetitions; the ratio is Q's
// time over the baseline's. Targets: a trivial call from C++ at most
// 2 times Lua's lua_pcall round trip, a scalar loop of 1e7 additions and recursive fib(25) at
// most 3 times Lua, y = 2*x + 1 on 1e7 doubles at most 2 times a C++ loop, a 500-by-500 matrix
// product at most 1.2 times dgemm called directly.
//
// Usage: engine_bench [--quick] [--only=N]. Google Benchmark flags (as bench/run.sh passes them)
// are ignored: this benchmark prints its own table.

#include <cblas.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/instance.hpp"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work, int repetitions) {
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Times in seconds, shown in milliseconds (or microseconds for per-call figures).
void report(const char* name, double q, double baseline, const char* baselineName, double target,
            bool perCall = false) {
  const double ratio = q / baseline;
  const double scale = perCall ? 1e6 : 1e3;
  const char* unit = perCall ? "us" : "ms";
  std::printf("%-30s Q %9.3f %s   %-5s %9.3f %s   ratio %5.2f   target <= %.1f  %s\n", name,
              q * scale, unit, baselineName, baseline * scale, unit, ratio, target,
              ratio <= target ? "met" : "MISSED");
}

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "engine_bench: %s\n", what);
    std::exit(1);
  }
}

const char* kLuaCode = R"(
function plusone(x) return x + 1 end
function loop(n) local s = 0 for i = 1, n do s = s + i end return s end
function fib(n) if n < 2 then return n end return fib(n - 1) + fib(n - 2) end
)";

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  int only = 0;  // --only=N runs benchmark N alone (for profiling)
  for (int i = 1; i < argc; ++i) {
    quick = quick || std::strcmp(argv[i], "--quick") == 0;
    if (std::strncmp(argv[i], "--only=", 7) == 0) only = std::atoi(argv[i] + 7);
  }
  auto runs = [&](int number) { return only == 0 || only == number; };
  const int repetitions = quick ? 3 : 7;

  char folderName[] = "/tmp/engine_bench_XXXXXX";
  const std::string folder = mkdtemp(folderName);
  auto write = [&](const char* name, const char* text) {
    std::ofstream(folder + "/" + name) << text;
  };
  write("plusone.q", "function y = plusone(x)\ny = x + 1;\n");
  write("loop.q", "function s = loop(n)\ns = 0;\nfor i = 1:n\n  s = s + i;\nend\n");
  write("fib.q",
        "function r = fib(n)\nif n < 2\n  r = n;\nelse\n  r = fib(n - 1) + fib(n - 2);\nend\n");
  write("affine.q", "function y = affine(x)\ny = 2*x + 1;\n");
  write("product.q", "function c = product(a, b)\nc = a * b;\n");

  kvnOptions options;
  options.set_kvn_path({folder});
  kvnInstance* instance = new kvnInstance(options, nullptr, nullptr);

  lua_State* lua = luaL_newstate();
  luaL_openlibs(lua);
  check(luaL_dostring(lua, kLuaCode) == LUA_OK, "the Lua code does not load");

  std::printf("engine_bench: median of %d runs\n", repetitions);
  // OpenBLAS's worker threads spin while they wait for work, which on two cores takes time from
  // whatever else runs; they get their threads back for the matrix product only.
  const int blasThreads = openblas_get_num_threads();
  openblas_set_num_threads(1);

  // 1. A trivial one-line function called from C++.
  if (runs(1)) {
    const int calls = quick ? 20000 : 200000;
    zyArray* input = zyCreateDoubleScalar(1);
    double sink = 0;
    const double q = secondsOf(
        [&] {
          for (int i = 0; i < calls; ++i) {
            zyArray* output = nullptr;
            instance->CallSorvelFunction("plusone", 1, &output, 1, &input);
            sink += *static_cast<const double*>(zyGetDataConst(output));
            zyDestroyArray(output);
          }
        },
        repetitions);
    const double baseline = secondsOf(
        [&] {
          for (int i = 0; i < calls; ++i) {
            lua_getglobal(lua, "plusone");
            lua_pushnumber(lua, 1);
            lua_pcall(lua, 1, 1, 0);
            sink += lua_tonumber(lua, -1);
            lua_pop(lua, 1);
          }
        },
        repetitions);
    zyDestroyArray(input);
    check(sink > 0, "the calls returned nothing");
    report("call of a one-line function", q / calls, baseline / calls, "Lua", 2, true);
  }

  // 2. A scalar loop of 1e7 additions.
  if (runs(2)) {
    const double n = quick ? 1e6 : 1e7;
    double qResult = 0, luaResult = 0;
    zyArray* count = zyCreateDoubleScalar(n);
    const double q = secondsOf(
        [&] {
          zyArray* output = nullptr;
          instance->CallSorvelFunction("loop", 1, &output, 1, &count);
          qResult = *static_cast<const double*>(zyGetDataConst(output));
          zyDestroyArray(output);
        },
        repetitions);
    const double baseline = secondsOf(
        [&] {
          lua_getglobal(lua, "loop");
          lua_pushnumber(lua, n);
          lua_pcall(lua, 1, 1, 0);
          luaResult = lua_tonumber(lua, -1);
          lua_pop(lua, 1);
        },
        repetitions);
    zyDestroyArray(count);
    check(qResult == luaResult && qResult == n * (n + 1) / 2, "the loops disagree");
    report("scalar loop of 1e7 additions", q, baseline, "Lua", 3);
  }

  // 3. Recursive fib(25).
  if (runs(3)) {
    double qResult = 0, luaResult = 0;
    zyArray* argument = zyCreateDoubleScalar(25);
    const double q = secondsOf(
        [&] {
          zyArray* output = nullptr;
          instance->CallSorvelFunction("fib", 1, &output, 1, &argument);
          qResult = *static_cast<const double*>(zyGetDataConst(output));
          zyDestroyArray(output);
        },
        repetitions);
    const double baseline = secondsOf(
        [&] {
          lua_getglobal(lua, "fib");
          lua_pushnumber(lua, 25);
          lua_pcall(lua, 1, 1, 0);
          luaResult = lua_tonumber(lua, -1);
          lua_pop(lua, 1);
        },
        repetitions);
    zyDestroyArray(argument);
    check(qResult == 75025 && luaResult == 75025, "fib(25) is not 75025");
    report("recursive fib(25)", q, baseline, "Lua", 3);
  }

  // 4. y = 2*x + 1 on 1e7 doubles against a C++ loop.
  if (runs(4)) {
    const std::size_t n = quick ? 1000000 : 10000000;
    zyArray* x = zyCreateDoubleMatrix(1, n, zyREAL);
    double* xs = zyGetPr(x);
    for (std::size_t i = 0; i < n; ++i) xs[i] = static_cast<double>(i % 1000) * 0.5;
    double qCheck = 0, cppCheck = 0;
    const double q = secondsOf(
        [&] {
          zyArray* y = nullptr;
          instance->CallSorvelFunction("affine", 1, &y, 1, &x);
          qCheck = static_cast<const double*>(zyGetDataConst(y))[n - 1];
          zyDestroyArray(y);
        },
        repetitions);
    const double baseline = secondsOf(
        [&] {
          // The same work as the engine: a fresh result array of n doubles.
          zyArray* y = zyCreateDoubleMatrix(1, n, zyREAL);
          double* ys = zyGetPr(y);
          for (std::size_t i = 0; i < n; ++i) ys[i] = 2 * xs[i] + 1;
          cppCheck = ys[n - 1];
          zyDestroyArray(y);
        },
        repetitions);
    zyDestroyArray(x);
    check(qCheck == cppCheck, "y = 2*x + 1 disagrees");
    report("y = 2*x + 1 on 1e7 doubles", q, baseline, "C++", 2);
  }

  // 5. A 500-by-500 matrix product against dgemm.
  openblas_set_num_threads(blasThreads);
  if (runs(5)) {
    const std::size_t n = 500;
    zyArray* a = zyCreateDoubleMatrix(n, n, zyREAL);
    zyArray* b = zyCreateDoubleMatrix(n, n, zyREAL);
    for (std::size_t i = 0; i < n * n; ++i) {
      zyGetPr(a)[i] = static_cast<double>(i % 17) - 8;
      zyGetPr(b)[i] = static_cast<double>(i % 13) * 0.25;
    }
    zyArray* inputs[] = {a, b};
    std::vector<double> c(n * n);
    double qCheck = 0;
    const double q = secondsOf(
        [&] {
          zyArray* product = nullptr;
          instance->CallSorvelFunction("product", 1, &product, 2, inputs);
          qCheck = static_cast<const double*>(zyGetDataConst(product))[n * n - 1];
          zyDestroyArray(product);
        },
        repetitions);
    const double baseline = secondsOf(
        [&] {
          cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(n),
                      static_cast<int>(n), static_cast<int>(n), 1.0, zyGetPr(a),
                      static_cast<int>(n), zyGetPr(b), static_cast<int>(n), 0.0, c.data(),
                      static_cast<int>(n));
        },
        repetitions);
    check(qCheck == c[n * n - 1], "the products disagree");
    zyDestroyArray(a);
    zyDestroyArray(b);
    report("500x500 matrix product", q, baseline, "dgemm", 1.2);
  }

  lua_close(lua);
  kvnInstance::PopActivation(instance);
  kvnInstance::Detach(instance);
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
