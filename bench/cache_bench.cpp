// A warm request to the component cache (the component is unpacked there already; the process
// holds no record of it yet) and its release, with 1, 100 and 1,000 components in the cache,
// against the part of it that every request pays whatever the cache holds: the trust checks of
// the cache folders and the root lock.

#include <benchmark/benchmark.h>

#include <boost/make_shared.hpp>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "ctf/ctf_archive.hpp"
#include "fs/file_scan.hpp"
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

// What a request no longer pays while the cache directory is unchanged: listing the folders of
// the cache directory with 1,000 components.
void ListFolders1000(benchmark::State& state) {
  const std::string directory = cacheWith(1000)->cacheDirectory.str();
  for (auto _ : state) benchmark::DoNotOptimize(dsListFolderNames(directory));
}
BENCHMARK(ListFolders1000)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
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
  stdfs::remove_all(scratch);
  return 0;
}
