// The Q-code engine against Lua 5.4 and against plain C++, the same work side by side in one
// process and one run. Each measurement is the median of several repetitions; the ratio is Q's
// time over the baseline's. Targets: a trivial call from the host through rtkFeval (the exported
// C entry, with its handle check, both locks and the output array) at most 3 times Lua's
// lua_pcall round trip, a scalar loop of 1e7 additions at most 1.5 times Lua, recursive fib(25) at most
// 2.5 times Lua, y = 2*x + 1 on 1e7 doubles at most 1.2 times a C++ loop, a 500-by-500
// matrix product at most 1.1 times dgemm called directly (both single-threaded, as the engine
// runs OpenBLAS by default).
//
// More measurements have no target. Two show the engine's OpenBLAS thread policy: the
// 500-by-500 dgemm with two threads against one, with the CPU time OpenBLAS's pool then spends
// spinning; and a host thread's C++ loop timed while Q code does many 200-by-200 products,
// against the same loop alone, once with OpenBLAS's own default and once with the engine's
// policy. The policy is read once per process (RTKKVN_BLAS_THREADS), so each of those two runs in
// a child process of this program (--blas-host-child) and reports its medians back. The last
// collects values into a cell and into a struct array one at a time, against a Lua table, and
// empties a cell queue from the front (q(1) = []) against table.remove(q, 1).
//
// Usage: engine_bench [--quick] [--only=N]. Google Benchmark flags (as bench/run.sh passes them)
// are ignored: this benchmark prints its own table.

#include <cblas.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "rtkkvn.h"

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

// Medians of two pieces of work timed in turn, so that a burst of other load on the machine
// falls on both rather than on one of them.
std::pair<double, double> pairedSecondsOf(const std::function<void()>& first,
                                          const std::function<void()>& second, int repetitions) {
  std::vector<double> a, b;
  for (int i = 0; i < repetitions; ++i) {
    a.push_back(secondsOf(first, 1));
    b.push_back(secondsOf(second, 1));
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return {a[a.size() / 2], b[b.size() / 2]};
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

// A figure without a target: what the policy costs or saves.
void inform(const char* name, double value, const char* valueUnit, double baseline,
            const char* baselineName, const char* note) {
  std::printf("%-30s %-9s %9.3f %s   %-5s %9.3f %s   ratio %5.2f   %s\n", name, "", value,
              valueUnit, baselineName, baseline, valueUnit, value / baseline, note);
}

double cpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Work for the host thread: a dependent floating-point chain (about 0.2 s), which neither
// memory nor the other core can speed up.
volatile double hostSink = 0;
double hostLoopSeconds() {
  const auto start = Clock::now();
  double x = 0;
  for (long i = 0; i < 150000000; ++i) x = x * 0.999999 + 1;
  hostSink = x;
  return std::chrono::duration<double>(Clock::now() - start).count();
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
function collect(n) local c = {} for k = 1, n do c[#c + 1] = k end return #c end
function records(n) local s = {} for k = 1, n do s[#s + 1] = {v = k} end return #s end
function queue(n) local q = {} for k = 1, n do q[k] = k end local m = 0
  while #q > 0 do table.remove(q, 1) m = m + 1 end return m end
)";

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, hostChild = false;
  int only = 0;  // --only=N runs benchmark N alone (for profiling)
  for (int i = 1; i < argc; ++i) {
    quick = quick || std::strcmp(argv[i], "--quick") == 0;
    hostChild = hostChild || std::strcmp(argv[i], "--blas-host-child") == 0;
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
  write("collect.q",
        "function m = collect(n)\nc = {};\nfor k = 1:n\n  c{end + 1} = k;\nend\nm = numel(c);\n");
  write("records.q",
        "function m = records(n)\ns = struct('v', {});\nfor k = 1:n\n  s(end + 1).v = k;\nend\n"
        "m = numel(s);\n");
  write("queue.q",
        "function m = queue(n)\nq = num2cell(1:n);\nm = 0;\nwhile ~isempty(q)\n  q(1) = [];\n"
        "  m = m + 1;\nend\n");
  write("product.q", "function c = product(a, b)\nc = a * b;\n");
  // Small products with a little scalar work between them, as a numeric routine does.
  write("products.q",
        "function s = products(n)\na = mod(reshape(1:n*n, n, n), 7);\nb = a';\ns = 0;\n"
        "for k = 1:10\n  c = a * b;\n  for j = 1:20000\n    s = s + j;\n  end\nend\n");

  // A runtime instance, as a host makes one; the engine benchmarks call its engine directly.
  HKVNINSTANCE host = rtkkvnInitialize2(0) ? rtkInitializeInstance({}, {}, {}) : nullptr;
  check(host != nullptr, "no runtime instance");
  kvnInstance* instance = rtkHandleToKvnInstancePtr(host);
  check(qpAddDir(instance->GetDispatcher().get_path(), folder, kQpAddAtFront),
        "the benchmark folder cannot be put on the search path");

  lua_State* lua = luaL_newstate();
  luaL_openlibs(lua);
  check(luaL_dostring(lua, kLuaCode) == LUA_OK, "the Lua code does not load");

  // The child of benchmark 7: the host loop alone and beside Q products, interleaved; prints
  // the medians (seconds) and the CPU the rest of the process (OpenBLAS's pool) used per second.
  if (hostChild) {
    zyArray* size = zyCreateDoubleScalar(200);
    std::vector<double> alone, beside, pool;
    for (int i = 0; i < repetitions; ++i) {
      usleep(300000);  // a pool that spun after the last products asleep again
      alone.push_back(hostLoopSeconds());
      std::atomic<bool> hostRunning{true};
      double hostTime = 0, hostCpu = 0;
      const double process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
      const double q0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      std::thread host([&] {
        const double cpu0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        hostTime = hostLoopSeconds();
        hostCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        hostRunning = false;
      });
      const auto start = Clock::now();
      while (hostRunning) {
        zyArray* output = nullptr;
        instance->CallSorvelFunction("products", 1, &output, 1, &size);
        zyDestroyArray(output);
      }
      const double wall = std::chrono::duration<double>(Clock::now() - start).count();
      const double qCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - q0;
      host.join();
      const double rest = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0 - qCpu - hostCpu;
      beside.push_back(hostTime);
      pool.push_back(std::max(0.0, rest) / wall);
    }
    zyDestroyArray(size);
    std::printf("%.6f %.6f %.6f\n", median(alone), median(beside), median(pool));
    rtkTerminateInstance(&host);
    std::system(("rm -rf '" + folder + "'").c_str());
    return 0;
  }

  std::printf("engine_bench: median of %d runs\n", repetitions);

  // 1. A trivial one-line function called from the host.
  if (runs(1)) {
    const int calls = quick ? 20000 : 200000;
    zyArray* input = zyCreateDoubleScalar(1);
    double sink = 0;
    const auto [q, baseline] = pairedSecondsOf(
        [&] {
          for (int i = 0; i < calls; ++i) {
            zyArray* output = nullptr;
            check(rtkFeval(host, "plusone", 1, &output, 1, &input), "rtkFeval failed");
            sink += *static_cast<const double*>(zyGetDataConst(output));
            zyDestroyArray(output);
          }
        },
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
    report("rtkFeval of a one-line function", q / calls, baseline / calls, "Lua", 3, true);
  }

  // 2. A scalar loop of 1e7 additions.
  if (runs(2)) {
    const double n = quick ? 1e6 : 1e7;
    double qResult = 0, luaResult = 0;
    zyArray* count = zyCreateDoubleScalar(n);
    const auto [q, baseline] = pairedSecondsOf(
        [&] {
          zyArray* output = nullptr;
          instance->CallSorvelFunction("loop", 1, &output, 1, &count);
          qResult = *static_cast<const double*>(zyGetDataConst(output));
          zyDestroyArray(output);
        },
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
    report("scalar loop of 1e7 additions", q, baseline, "Lua", 1.5);
  }

  // 3. Recursive fib(25).
  if (runs(3)) {
    double qResult = 0, luaResult = 0;
    zyArray* argument = zyCreateDoubleScalar(25);
    const auto [q, baseline] = pairedSecondsOf(
        [&] {
          zyArray* output = nullptr;
          instance->CallSorvelFunction("fib", 1, &output, 1, &argument);
          qResult = *static_cast<const double*>(zyGetDataConst(output));
          zyDestroyArray(output);
        },
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
    report("recursive fib(25)", q, baseline, "Lua", 2.5);
  }

  // 4. y = 2*x + 1 on 1e7 doubles against a C++ loop.
  if (runs(4)) {
    const std::size_t n = quick ? 1000000 : 10000000;
    zyArray* x = zyCreateDoubleMatrix(1, n, zyREAL);
    double* xs = zyGetPr(x);
    for (std::size_t i = 0; i < n; ++i) xs[i] = static_cast<double>(i % 1000) * 0.5;
    double qCheck = 0, cppCheck = 0;
    const auto [q, baseline] = pairedSecondsOf(
        [&] {
          zyArray* y = nullptr;
          instance->CallSorvelFunction("affine", 1, &y, 1, &x);
          qCheck = static_cast<const double*>(zyGetDataConst(y))[n - 1];
          zyDestroyArray(y);
        },
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
    report("y = 2*x + 1 on 1e7 doubles", q, baseline, "C++", 1.2);
  }

  // 5. A 500-by-500 matrix product against dgemm, both on one thread.
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
    openblas_set_num_threads(1);  // as the engine runs it
    const auto [q, baseline] = pairedSecondsOf(
        [&] {
          zyArray* product = nullptr;
          instance->CallSorvelFunction("product", 1, &product, 2, inputs);
          qCheck = static_cast<const double*>(zyGetDataConst(product))[n * n - 1];
          zyDestroyArray(product);
        },
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
    report("500x500 matrix product", q, baseline, "dgemm", 1.1);
  }

  // 6. dgemm 500x500 on two threads against one, and the CPU OpenBLAS's pool spends in the
  // half second after one two-thread product (its workers spin before they sleep).
  if (runs(6)) {
    const int n = 500;
    std::vector<double> a(n * n), b(n * n), c(n * n);
    for (int i = 0; i < n * n; ++i) {
      a[i] = static_cast<double>(i % 17) - 8;
      b[i] = static_cast<double>(i % 13) * 0.25;
    }
    auto product = [&] {
      cblas_dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0, a.data(), n, b.data(),
                  n, 0.0, c.data(), n);
    };
    std::vector<double> one, two, spin;
    for (int i = 0; i < repetitions; ++i) {
      openblas_set_num_threads(1);
      one.push_back(secondsOf(product, 1));
      openblas_set_num_threads(2);
      usleep(300000);  // the pool asleep again
      const double process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
      const double thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      two.push_back(secondsOf(product, 1));
      usleep(500000);
      spin.push_back(cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0 -
                     (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0));
    }
    openblas_set_num_threads(1);
    inform("dgemm 500x500, 2 threads", median(two) * 1e3, "ms", median(one) * 1e3, "1 thr",
           "");
    std::printf("%-30s %-9s pool CPU after one 2-thread product (0.5 s): %.1f ms\n", "", "",
                median(spin) * 1e3);
  }

  // 7. A host thread's loop beside Q code doing 200x200 products, against the loop alone: with
  // OpenBLAS's default (RTKKVN_BLAS_THREADS=0 leaves it alone) and with the engine's policy.
  if (runs(7)) {
    char self[4096] = {};
    check(readlink("/proc/self/exe", self, sizeof self - 1) > 0, "no /proc/self/exe");
    const std::string flags = std::string(" --blas-host-child") + (quick ? " --quick" : "");
    const struct {
      const char* name;
      const char* environment;
    } cases[] = {{"host loop, OpenBLAS default", "env RTKKVN_BLAS_THREADS=0 "},
                 {"host loop, engine policy", "env -u RTKKVN_BLAS_THREADS "}};
    for (const auto& run : cases) {
      FILE* child = popen((run.environment + ("'" + std::string(self) + "'") + flags).c_str(), "r");
      check(child != nullptr, "the child does not start");
      double alone = 0, beside = 0, pool = 0;
      const int read = std::fscanf(child, "%lf %lf %lf", &alone, &beside, &pool);
      check(pclose(child) == 0 && read == 3, "the child failed");
      char note[64];
      std::snprintf(note, sizeof note, "BLAS pool CPU %.0f ms per s", pool * 1e3);
      inform(run.name, beside * 1e3, "ms", alone * 1e3, "alone", note);
    }
  }

  // 8. Collecting values one at a time into a cell (c{end+1} = k) and into a struct array
  // (s(end+1).v = k), against Lua appending to a table. No target: the figures show that growth
  // stays linear (per element, the time at 1e5 elements is about that at 1e4).
  if (runs(8)) {
    for (const std::string name : {"collect", "records", "queue"}) {
      // Emptying a queue from the front moves what is left each time, in Lua too: fewer.
      const double sizes[2] = {name == "queue" ? 1e3 : 1e4, name == "queue" ? 1e4 : 1e5};
      double perElement[2] = {0, 0}, luaPerElement = 0;
      for (int size = 0; size < 2; ++size) {
        const double n = sizes[size];
        zyArray* count = zyCreateDoubleScalar(n);
        double qResult = 0, luaResult = 0;
        const auto [q, baseline] = pairedSecondsOf(
            [&] {
              zyArray* output = nullptr;
              instance->CallSorvelFunction(name.c_str(), 1, &output, 1, &count);
              qResult = *static_cast<const double*>(zyGetDataConst(output));
              zyDestroyArray(output);
            },
            [&] {
              lua_getglobal(lua, name.c_str());
              lua_pushnumber(lua, n);
              lua_pcall(lua, 1, 1, 0);
              luaResult = lua_tonumber(lua, -1);
              lua_pop(lua, 1);
            },
            quick ? 1 : 3);
        zyDestroyArray(count);
        check(qResult == n && luaResult == n, "the collections have the wrong size");
        perElement[size] = q / n;
        luaPerElement = baseline / n;
      }
      char note[64];
      std::snprintf(note, sizeof note, "per element at 1e%d: %.2f us",
                    static_cast<int>(std::log10(sizes[0])), perElement[0] * 1e6);
      inform(name == "collect"   ? "c{end+1} = k, 1e5 times"
             : name == "records" ? "s(end+1).v = k, 1e5 times"
                                 : "q(1) = [] of a 1e4 cell",
             perElement[1] * 1e6, "us", luaPerElement * 1e6, "Lua", note);
    }
  }

  lua_close(lua);
  rtkTerminateInstance(&host);
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
