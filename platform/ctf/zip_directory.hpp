#pragma once
// Inside libctfpack: the structure of a ZIP archive read by hand, before libarchive sees it.
//
// libarchive's seekable ZIP reader takes each entry's name and compression method from its local
// header and visits entries in the order of their local headers; it does not ask whether two
// central directory records share one local header, whether a local header agrees with its
// record, or whether data overlaps. Those are the tricks of overlapping-entry bombs and of
// archives that show one thing to a lister and unpack another, so the central directory is read
// here first and every record checked against its local header.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ctf/ctf_archive.hpp"

namespace Ostrand::ctfpack::detail {

// Throws opc::Exception "component archive "<archive>": <what>".
[[noreturn]] void refuseArchive(const std::string& archive, const std::string& what);

// name for an error message: control characters replaced by "?", cut after a few hundred bytes,
// in quotes. Names come from the archive, and messages end up on terminals.
std::string shownName(const std::string& name);

// Opens path for reading (a regular file only, never blocking on a FIFO) and reports its size.
// Throws opc::Exception. The caller closes the descriptor.
int openRegularFile(const std::string& path, std::uint64_t& size);

// Where the parts of a ZIP archive lie in a file.
struct ZipLayout {
  ctfdata::CTFArchiveSpan span;       // the archive inside the file
  std::uint64_t directoryOffset = 0;  // the central directory, relative to span.offset
  std::uint64_t directorySize = 0;
  std::uint64_t entryCount = 0;  // as the end record says
};

// Finds the archive at the end of the open file (docs/archives.md). Throws opc::Exception
// naming path.
ZipLayout locateZip(int descriptor, std::uint64_t fileSize, const std::string& path);

// One entry as its central directory record describes it, found to agree with its local header.
struct ZipRecord {
  std::string storedName;  // the bytes as stored
  std::uint64_t compressedSize = 0;
  std::uint64_t uncompressedSize = 0;
  std::uint64_t localOffset = 0;  // relative to the archive's start
  std::uint64_t dataStart = 0;    // the entry's (compressed) data, after its local header
  std::uint64_t dataEnd = 0;      // first byte after the entry's (compressed) data
  std::uint16_t method = 0;       // compression method
  std::uint32_t crc = 0;          // CRC-32 of the unpacked data
  // The record carries a Unix mode of a symbolic link (whose target is the entry's data).
  bool declaredLink = false;
  // The record carries a Unix mode of a regular file.
  bool declaredFile = false;
  // The central or local header has a Unicode Path field, a second name that libarchive may
  // report instead of the stored one.
  bool secondName = false;
};

// Every entry of the archive, in the order of their local headers (the order libarchive's
// seekable reader yields them in). Refuses, with opc::Exception naming path and the entry: more
// than maxEntries entries, a central directory that is not a whole number of records or whose
// count differs from the end record's, encrypted entries, entries whose Unix mode is not that of
// a file, folder or link, a name with a zero byte, a local header
// that is missing or disagrees with its record (name, method, encryption, CRC or sizes), data
// that reaches into the central directory, and entries whose local header and data overlap
// another's (including two records naming one local header).
// With only, just the local headers of the records it picks are read and checked (a reader of
// one entry need not read a header of every other); the rest come back as the central directory
// describes them, with dataStart and dataEnd 0, and are not checked for overlaps.
std::vector<ZipRecord> readZipDirectory(
    int descriptor, const ZipLayout& layout, const std::string& path, std::uint64_t maxEntries,
    const std::function<bool(const ZipRecord&)>& only = nullptr);

// The data of record, read and checked here without libarchive, when the entry is that simple: a
// file by its Unix mode whose name is its stored one (no second name, no trailing "/"), stored or
// deflated, declaring at most limit bytes, whose data unpacks to exactly the declared size and
// CRC. Nothing otherwise, also for damaged data: the caller then reads the entry with libarchive
// as before, which says what is wrong. record comes from readZipDirectory for this layout.
std::optional<std::string> readSimpleEntry(int descriptor, const ZipLayout& layout,
                                           const ZipRecord& record, std::size_t limit);

}  // namespace Ostrand::ctfpack::detail
