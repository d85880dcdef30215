// Feeds arbitrary bytes, as an archive file, to the archive reader and the unpacker: archives
// come from anyone. Besides not crashing, both may only refuse with opc::Exception, and
// unpacking must never create anything outside its target folder, whatever the entries say.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ctf/ctf_archive.hpp"
#include "ctf/opc_exception.hpp"

namespace stdfs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const stdfs::path root =
      stdfs::temp_directory_path() / ("ctf_archive_fuzz_" + std::to_string(::getpid()));
  const stdfs::path archive = root / "input.ctf";
  const stdfs::path jail = root / "jail";
  const stdfs::path target = jail / "target";
  stdfs::remove_all(jail);
  stdfs::create_directories(jail);
  std::ofstream(archive, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  try {
    Ostrand::ctfpack::readArchiveManifest(archive.string(),
                                          Ostrand::ctfdata::CTFFileReaderFactory());
  } catch (const opc::Exception&) {
  }
  try {
    Ostrand::ctfpack::extractArchive(archive.string(), target.string());
  } catch (const opc::Exception&) {
  }
  for (const auto& entry : stdfs::directory_iterator(jail)) {
    if (entry.path() != target) abort();  // something escaped the target folder
  }
  return 0;
}
