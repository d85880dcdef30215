// A start from the cache in a process that has unpacked nothing: it reads the archive's manifest
// and looks at the component's folder, and loads neither libarchive (nothing is unpacked), nor
// OpenBLAS (no linear algebra runs), nor the regular expression library with Boost.Regex and ICU
// (no pattern is compiled). They are opened only when needed, for they cost every process that
// loads them milliseconds at start-up (docs/lazy-loading.md). A test program of its own: nothing
// else may have loaded any of them in the process.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "ctf/ctf_archive.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/kvn_cache/cache_extraction.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;

bool isLoaded(const char* library) {
  void* handle = ::dlopen(library, RTLD_LAZY | RTLD_NOLOAD);
  if (handle != nullptr) ::dlclose(handle);
  return handle != nullptr;
}

// The file of a loaded object whose name contains part; "" when none is loaded.
std::string loadedNamed(const char* part) {
  struct Search {
    const char* part;
    std::string found;
  } search{part, ""};
  ::dl_iterate_phdr(
      [](dl_phdr_info* object, size_t, void* data) {
        Search& search = *static_cast<Search*>(data);
        if (object->dlpi_name == nullptr ||
            std::strstr(object->dlpi_name, search.part) == nullptr) {
          return 0;
        }
        search.found = object->dlpi_name;
        return 1;
      },
      &search);
  return search.found;
}

// Starts the archive's component through the cache: "" when a record came back, else why not.
std::string startFromCache(const std::string& archive) {
  try {
    return rtkMakeComponentCacheExtractedComponentFactory(
               rtkMakeCtfFileExtractor(archive.c_str()))()
               ? ""
               : "no record";
  } catch (const std::exception& error) {
    return error.what();
  }
}

TEST(CacheWarmStart, LoadsNoLibraryOpenedOnFirstUse) {
  ASSERT_FALSE(isLoaded("libarchive.so.13")) << "linked into this program: nothing to check";
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base && *base ? base : "/tmp") + "/kvn_warm.XXXXXX";
  ASSERT_NE(::mkdtemp(folder.data()), nullptr);
  // Removed however the test ends (the child leaves with _exit and removes nothing).
  const struct RemovedAtEnd {
    std::string path;
    ~RemovedAtEnd() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } removed{folder};
  const ScopedEnvironment root("KVN_CACHE_ROOT", folder.c_str());
  const std::string archive = folder + "/Rechner.ctf";

  // Another process packs the component and makes the first start, which unpacks it.
  const pid_t child = ::fork();
  if (child == 0) {
    int code = 1;
    try {
      writeFile(folder + "/source/compute.q", "function y = compute(x)\ny = x;\n");
      Ostrand::ctfpack::CTFSettings settings;
      settings.componentName = L"Rechner";
      settings.componentId = L"Rechner_00112233445566778899aabbccddeeff";
      Ostrand::ctfpack::writeArchive(archive, settings, folder + "/source", "");
      code = startFromCache(archive).empty() && isLoaded("libarchive.so.13") ? 0 : 1;
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the first start failed";

  EXPECT_EQ(startFromCache(archive), "");
  EXPECT_FALSE(isLoaded("libarchive.so.13"));
  EXPECT_FALSE(isLoaded("libopenblas.so.0"));
  // By any version's name: neither the engine's regex library nor what it links.
  EXPECT_EQ(loadedNamed("libqregex"), "");
  EXPECT_EQ(loadedNamed("libboost_regex"), "");
  EXPECT_EQ(loadedNamed("libicu"), "");
}

}  // namespace
