#pragma once
// The entries of a component archive as stored, for inspect and verify: found with the runtime's
// own locator, so an archive appended to an executable reads like a plain archive file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ctf/ctf_archive.hpp"

namespace wzd {

struct ArchiveEntry {
  std::string name;  // as stored ("Name_0123.../private/", "ctfsettings.json")
  enum class Type { File, Folder, Link, Other } type = Type::File;
  unsigned mode = 0;
  std::uint64_t size = 0;
  std::string linkTarget;
  std::string contents;  // read only for the files the caller asked for
};

struct ArchiveListing {
  Ostrand::ctfdata::CTFArchiveSpan span;  // where the archive lies in the file
  std::vector<ArchiveEntry> entries;      // in stored order
};

// A file's contents are read up to this size; a larger one asked for is an error (a component's
// source files are far smaller, and the limit keeps a hostile archive from exhausting memory).
inline constexpr std::uint64_t kMaxReadEntryBytes = 64u << 20;

// Lists the archive in the file at path; the bytes of every file entry for whose name
// wantContents answers true are read into the entry. Throws InputError naming the file when it
// holds no readable archive.
ArchiveListing readArchiveEntries(const std::string& path,
                                  const std::function<bool(const std::string&)>& wantContents);

}  // namespace wzd
