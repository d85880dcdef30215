// A warm request to the component cache (the component is unpacked there already; the process
// holds no record of it yet) and its release, with 1, 100 and 1,000 components in the cache,
// against the part of it that every request pays whatever the cache holds: the trust checks of
// the cache folders and the root lock.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "ctf/ctf_archive.hpp"
#include "fs/file_scan.hpp"
#include "processes.hpp"
#include "ratio_reporter.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"

namespace {

namespace stdfs = std::filesystem;

stdfs::path scratch;

std::string idOf(int number) {
  char id[64];
  std::snprintf(id, sizeof id, "c%05d_%016x%016x", number, 0x10000000 + number, 0x20000000);
  return id;
}

rtkkvn::CtfExtractor extractorOf(int number) {
  const std::string archive = (scratch / (idOf(number) + ".ctf")).string();
  return rtkkvn::CtfExtractor(idOf(number).c_str(),
                              [archive](const char* dir) { return extractCtfFile(dir, archive); });
}

// A cache directory of its own per component count (the repetitions of the benchmarks are
// interleaved), filled on first use.
boost::shared_ptr<rtkComponentCache> cacheWith(int count) {
  static std::map<int, boost::shared_ptr<rtkComponentCache>> caches;
  boost::shared_ptr<rtkComponentCache>& cache = caches[count];
  if (cache) return cache;
  const stdfs::path directory = scratch / ("cache" + std::to_string(count)) / "kvnCache8.1";
  stdfs::create_directories(directory.parent_path());
  cache = boost::make_shared<rtkComponentCache>(directory.c_str(), std::uint64_t(1) << 40);
  for (int number = 0; number < count; ++number) {
    rtkkvn::CtfExtractor extractor = extractorOf(number);
    cache->getComponent(idOf(number), extractor).reset();
  }
  return cache;
}

void writeArchives(int count) {
  const stdfs::path source = scratch / "source";
  stdfs::create_directories(source);
  std::ofstream(source / "entry.q") << "function y = entry(x)\ny = x;\nend\n";
  for (int number = 0; number < count; ++number) {
    Ostrand::ctfpack::CTFSettings settings;
    const std::string id = idOf(number);
    settings.componentId = std::wstring(id.begin(), id.end());
    settings.componentName = settings.componentId.substr(0, 6);
    Ostrand::ctfpack::writeArchive((scratch / (id + ".ctf")).string(), settings, source.string(),
                                   "");
  }
}

void WarmRequest(benchmark::State& state) {
  const boost::shared_ptr<rtkComponentCache> cache = cacheWith(static_cast<int>(state.range(0)));
  rtkkvn::CtfExtractor extractor = extractorOf(0);
  const std::string id = idOf(0);
  for (auto _ : state) cache->getComponent(id, extractor).reset();
}
BENCHMARK(WarmRequest)->Arg(1)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void TrustChecksAndRootLock(benchmark::State& state) {
  const boost::shared_ptr<rtkComponentCache> cache = cacheWith(1);
  for (auto _ : state) {
    cache->checkTrustedFolders();
    cache->rootLock.acquire(false);
    cache->rootLock.release();
  }
}
BENCHMARK(TrustChecksAndRootLock)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same request made by a new process each time (this program, run with --request), against
// a new process that does nothing (run with --exit): the process's own start-up is the baseline.
std::string program;

bool runSelf(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), program);
  return bench::runProcesses(program, arguments, 1);
}

void WarmRequestNewProcess(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string directory = cacheWith(count)->cacheDirectory.str();
  for (auto _ : state) {
    if (!runSelf({"--request", directory})) {
      state.SkipWithError("the request failed");
      break;
    }
  }
}
BENCHMARK(WarmRequestNewProcess)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void NewProcessAlone(benchmark::State& state) {
  for (auto _ : state) runSelf({"--exit"});
}
BENCHMARK(NewProcessAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a request no longer pays while the cache directory is unchanged: listing the folders of
// the cache directory with 1,000 components.
void ListFolders1000(benchmark::State& state) {
  const std::string directory = cacheWith(1000)->cacheDirectory.str();
  for (auto _ : state) benchmark::DoNotOptimize(dsListFolderNames(directory));
}
BENCHMARK(ListFolders1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One warm request of component 0 from the cache directory given, as a new process makes it.
int requestOnce(const char* directory) {
  try {
    scratch = stdfs::path(directory).parent_path().parent_path();
    const auto cache =
        boost::make_shared<rtkComponentCache>(directory, std::uint64_t(1) << 40);
    rtkkvn::CtfExtractor extractor = extractorOf(0);
    cache->getComponent(idOf(0), extractor).reset();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--exit") return 0;
  if (argc == 3 && std::string(argv[1]) == "--request") return requestOnce(argv[2]);
  program = stdfs::read_symlink("/proc/self/exe").string();
  char pattern[] = "/tmp/rtkkvn-cache-bench-XXXXXX";
  scratch = ::mkdtemp(pattern);
  ::unsetenv("KVN_CACHE_VERBOSE");
  writeArchives(1000);
  // Filled before anything is timed, then left alone for a few seconds, as a cache is between
  // the starts of a deployed program: a cache directory changed within the last seconds is
  // listed by every request until it has been quiet for that long (cache_listing.hpp).
  for (const int count : {1, 100, 1000}) cacheWith(count);
  ::sleep(4);
  bench::RatioReporter reporter;
  if (!bench::runInterleaved(argc, argv, reporter)) return 1;
  const double floor = reporter.time("TrustChecksAndRootLock");
  std::printf(
      "\nwarm request + release, median: 1 component %.1f us (target <= 150), 100 %.1f us, "
      "1000 %.1f us (target <= 500); trust checks + root lock alone %.1f us; listing the "
      "folders of 1000 components %.1f us\n",
      reporter.time("WarmRequest/1"), reporter.time("WarmRequest/100"),
      reporter.time("WarmRequest/1000"), floor, reporter.time("ListFolders1000"));
  const double start = reporter.time("NewProcessAlone");
  std::printf(
      "as a new process each time: 1 component %.2f ms, 1000 %.2f ms, against %.2f ms for a "
      "process that does nothing (the request's share: %.2f ms, %.2f ms)\n",
      reporter.time("WarmRequestNewProcess/1"), reporter.time("WarmRequestNewProcess/1000"), start,
      reporter.time("WarmRequestNewProcess/1") - start,
      reporter.time("WarmRequestNewProcess/1000") - start);
  stdfs::remove_all(scratch);
  return 0;
}
