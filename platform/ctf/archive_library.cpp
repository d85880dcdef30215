#include "ctf/archive_library.hpp"

#include <dlfcn.h>

#include <type_traits>

#include "ctf/zip_directory.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

// The name Debian's libarchive13 installs the library under.
constexpr char kArchiveLibraryName[] = "libarchive.so.13";

}  // namespace

std::string loadArchiveLibrary(const char* library, ArchiveLibrary& functions) {
  void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    return std::string("cannot load ") + library + ": " + (reason ? reason : "unknown reason");
  }
  std::string missing;
  const auto resolve = [&](auto*& slot, const char* name) {
    void* address = ::dlsym(handle, name);
    if (address == nullptr && missing.empty()) missing = name;
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
#define CTFPACK_LIBARCHIVE_RESOLVE(name) resolve(functions.name, "archive_" #name);
  CTFPACK_LIBARCHIVE_FUNCTIONS(CTFPACK_LIBARCHIVE_RESOLVE)
#undef CTFPACK_LIBARCHIVE_RESOLVE
  return missing.empty() ? "" : std::string(library) + " has no function " + missing;
}

const ArchiveLibrary& archiveLibrary(const std::string& archivePath) {
  struct Loaded {
    ArchiveLibrary functions;
    std::string failure;
  };
  static const Loaded loaded = [] {
    Loaded result;
    result.failure = loadArchiveLibrary(kArchiveLibraryName, result.functions);
    return result;
  }();
  if (!loaded.failure.empty()) {
    refuseArchive(archivePath, "ZIP archives cannot be read or written (" + loaded.failure + ")");
  }
  return loaded.functions;
}

}  // namespace Ostrand::ctfpack::detail
