#include "ctf/archive_library.hpp"



#include "ctf/zip_directory.hpp"
#include "util/library_loader.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

// The name Debian's libarchive13 installs the library under.
constexpr char kArchiveLibraryName[] = "libarchive.so.13";

}  // namespace

std::string loadArchiveLibrary(const char* library, ArchiveLibrary& functions) {
  rtkutil::LibraryLoader loader(library);
  const auto resolve = [&](auto*& slot, const char* name) { loader.resolve(slot, name); };
#define CTFPACK_LIBARCHIVE_RESOLVE(name) resolve(functions.name, "archive_" #name);
  CTFPACK_LIBARCHIVE_FUNCTIONS(CTFPACK_LIBARCHIVE_RESOLVE)
#undef CTFPACK_LIBARCHIVE_RESOLVE
  return loader.error();
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
