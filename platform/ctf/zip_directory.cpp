#include "ctf/zip_directory.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <vector>

#include "ctf/file_helpers.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/unpack_limits.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

// Reads exactly size bytes at offset; false on a short read or an error (errno set).
bool readAt(int descriptor, std::uint64_t offset, void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    const ssize_t got = ::pread(descriptor, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

std::uint16_t little16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t little32(const unsigned char* p) {
  return static_cast<std::uint32_t>(little16(p)) |
         (static_cast<std::uint32_t>(little16(p + 2)) << 16);
}
std::uint64_t little64(const unsigned char* p) {
  return static_cast<std::uint64_t>(little32(p)) |
         (static_cast<std::uint64_t>(little32(p + 4)) << 32);
}

// The ZIP records that locate the central directory, read from the end of the file.
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kMaxCommentSize = 0xffff;

// The records of the entries themselves.
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint16_t kUnicodePathExtraId = 0x7075;
constexpr std::uint32_t kZip64Marker = 0xffffffff;
constexpr std::uint16_t kEncryptedFlag = 0x0001;
constexpr std::uint16_t kStrongEncryptionFlag = 0x0040;
constexpr std::uint16_t kDataDescriptorFlag = 0x0008;
// A data descriptor holds at least a CRC and two 4-byte sizes.
constexpr std::uint64_t kMinDescriptorSize = 12;
constexpr unsigned kUnixHost = 3;
constexpr std::uint16_t kStoredMethod = 0;
constexpr std::uint16_t kDeflatedMethod = 8;
constexpr std::size_t kMaxShownBytes = 300;

// A window of the archive's bytes, refilled as reading moves on: the central directory is read
// front to back, and local headers in the order of their positions.
class Window {
 public:
  Window(int descriptor, const ZipLayout& layout, const std::string& path)
      : descriptor_(descriptor),
        layout_(layout),
        path_(path),
        capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(kSize, layout.span.size))),
        // Not zeroed: only what is read is looked at, and most of a large window is never
        // touched when the central directory is small.
        bytes_(new unsigned char[capacity_]) {}

  // The size bytes at offset (relative to the archive's start), or null when they lie beyond its
  // end. Valid until the next call. size is at most a record with its name and extra field.
  const unsigned char* at(std::uint64_t offset, std::size_t size) {
    if (offset > layout_.span.size || size > layout_.span.size - offset) return nullptr;
    if (offset < start_ || offset + size > start_ + length_) {
      // Reading on from the window's end (the central directory) fills the window; a jump (to
      // the next local header) reads little, so that the entries' data is not read in passing.
      const bool onward = offset >= start_ && offset <= start_ + length_;
      const std::size_t wanted = onward ? capacity_ : std::max(size, kJumpSize);
      length_ = static_cast<std::size_t>(
          std::min<std::uint64_t>(std::min(wanted, capacity_), layout_.span.size - offset));
      start_ = offset;
      if (!readAt(descriptor_, layout_.span.offset + offset, bytes_.get(), length_)) {
        refuseArchive(path_, "cannot read: " + systemText(errno));
      }
    }
    return bytes_.get() + (offset - start_);
  }

 private:
  // More than the largest record (46 + 3 * 0xffff); the whole archive when that is smaller.
  static constexpr std::size_t kSize = 1 << 20;
  // Enough for a local header with a usual name and extra field.
  static constexpr std::size_t kJumpSize = 4096;
  int descriptor_;
  const ZipLayout& layout_;
  const std::string& path_;
  const std::size_t capacity_;
  std::unique_ptr<unsigned char[]> bytes_;
  std::uint64_t start_ = 0;
  std::size_t length_ = 0;
};

// The 64-bit values a ZIP64 extra field carries for the 32-bit fields that hold kZip64Marker, in
// the order size, compressed size, local header offset. False when the field is missing or short.
bool readZip64Extra(const unsigned char* extra, std::size_t extraSize, std::uint64_t* fields[3]) {
  std::size_t at = 0;
  while (at + 4 <= extraSize) {
    const std::uint16_t id = little16(extra + at);
    const std::size_t size = little16(extra + at + 2);
    if (at + 4 + size > extraSize) return false;
    if (id == kZip64ExtraId) {
      const unsigned char* value = extra + at + 4;
      std::size_t left = size;
      for (int i = 0; i < 3; ++i) {
        if (fields[i] == nullptr || *fields[i] != kZip64Marker) continue;
        if (left < 8) return false;
        *fields[i] = little64(value);
        value += 8;
        left -= 8;
      }
      return true;
    }
    at += 4 + size;
  }
  for (int i = 0; i < 3; ++i) {
    if (fields[i] != nullptr && *fields[i] == kZip64Marker) return false;
  }
  return true;
}

// True when the extra field holds a Unicode Path field.
bool hasSecondName(const unsigned char* extra, std::size_t extraSize) {
  std::size_t at = 0;
  while (at + 4 <= extraSize) {
    if (little16(extra + at) == kUnicodePathExtraId) return true;
    at += 4 + little16(extra + at + 2);
  }
  return false;
}

// What the central directory says about one entry, before its local header is read.
struct CentralRecord {
  ZipRecord record;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
};

std::string entryText(const std::string& name) { return "entry " + shownName(name); }

// Checks the local header of central against it and fills in where the entry's data ends.
void checkLocalHeader(Window& window, CentralRecord& central, std::uint64_t directoryOffset,
                      const std::string& path) {
  ZipRecord& record = central.record;
  // Only refusals name the entry: the text is made when one needs it.
  const auto entry = [&record] { return entryText(record.storedName); };
  const unsigned char* local = window.at(record.localOffset, kLocalSize);
  if (record.localOffset >= directoryOffset || local == nullptr ||
      little32(local) != kLocalSignature) {
    refuseArchive(path, entry() + ": no local header where the central directory says");
  }
  const std::uint16_t flags = little16(local + 6);
  const std::uint16_t method = little16(local + 8);
  std::uint32_t crc = little32(local + 14);
  std::uint64_t compressed = little32(local + 18);
  std::uint64_t uncompressed = little32(local + 22);
  const std::size_t nameSize = little16(local + 26);
  const std::size_t extraSize = little16(local + 28);
  const unsigned char* rest = window.at(record.localOffset + kLocalSize, nameSize + extraSize);
  if (rest == nullptr) refuseArchive(path, entry() + ": local header cut short");
  if (std::string(reinterpret_cast<const char*>(rest), nameSize) != record.storedName) {
    refuseArchive(path, entry() + ": its local header names " +
                            shownName(std::string(reinterpret_cast<const char*>(rest), nameSize)));
  }
  if ((flags & (kEncryptedFlag | kStrongEncryptionFlag)) != 0) {
    refuseArchive(path, entry() + " is encrypted");
  }
  if (method != central.method) {
    refuseArchive(path, entry() + ": its local header gives another compression method");
  }
  std::uint64_t* sizes[3] = {&uncompressed, &compressed, nullptr};
  if (!readZip64Extra(rest + nameSize, extraSize, sizes)) {
    refuseArchive(path, entry() + ": unreadable ZIP64 field in its local header");
  }
  if (hasSecondName(rest + nameSize, extraSize)) record.secondName = true;
  // With a data descriptor the local header may leave CRC and sizes 0; otherwise, and whenever
  // it does give them, they must be the central directory's.
  const bool deferred = (flags & kDataDescriptorFlag) != 0;
  const auto agrees = [&](std::uint64_t local, std::uint64_t central) {
    return local == central || (deferred && local == 0);
  };
  if (!agrees(crc, central.crc) || !agrees(compressed, record.compressedSize) ||
      !agrees(uncompressed, record.uncompressedSize)) {
    refuseArchive(path, entry() + ": its local header gives other sizes or CRC (" +
                            std::to_string(compressed) + " compressed, " +
                            std::to_string(uncompressed) +
                            " unpacked) than the central "
                            "directory (" +
                            std::to_string(record.compressedSize) + ", " +
                            std::to_string(record.uncompressedSize) + ")");
  }
  const std::uint64_t dataStart = record.localOffset + kLocalSize + nameSize + extraSize;
  const std::uint64_t descriptor = deferred ? kMinDescriptorSize : 0;
  if (dataStart > directoryOffset || record.compressedSize > directoryOffset - dataStart ||
      descriptor > directoryOffset - dataStart - record.compressedSize) {
    refuseArchive(path, entry() + ": its data reaches into the central directory");
  }
  record.dataStart = dataStart;
  record.dataEnd = dataStart + record.compressedSize + descriptor;
  record.method = central.method;
  record.crc = central.crc;
}

}  // namespace

void refuseArchive(const std::string& archive, const std::string& what) {
  throw opc::Exception("component archive " + inQuotes(archive) + ": " + what);
}

std::string shownName(const std::string& name) {
  std::string shown;
  for (const char c : name.substr(0, kMaxShownBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte == 0x7f ? '?' : c;
  }
  if (name.size() > kMaxShownBytes) shown += "...";
  return inQuotes(shown);
}

int openRegularFile(const std::string& path, std::uint64_t& size) {
  // Non-blocking, so that a FIFO under the archive's name cannot stall the open.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) refuseArchive(path, "cannot open: " + systemText(errno));
  struct stat status;
  if (::fstat(descriptor, &status) != 0) {
    const int error = errno;
    ::close(descriptor);
    refuseArchive(path, "cannot examine: " + systemText(error));
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(descriptor);
    refuseArchive(path, "not a regular file");
  }
  size = static_cast<std::uint64_t>(status.st_size);
  return descriptor;
}

ZipLayout locateZip(int descriptor, std::uint64_t fileSize, const std::string& path) {
  if (fileSize < kEndSize) refuseArchive(path, "too short to hold a ZIP archive");
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndSize + kMaxCommentSize));
  std::vector<unsigned char> tail(tailSize);
  const std::uint64_t tailStart = fileSize - tailSize;
  if (!readAt(descriptor, tailStart, tail.data(), tailSize)) {
    refuseArchive(path, "cannot read: " + systemText(errno));
  }
  // The end record is the last one whose comment reaches exactly to the end of the file.
  std::size_t at = tailSize - kEndSize + 1;
  const unsigned char* end = nullptr;
  while (at-- > 0) {
    const unsigned char* candidate = tail.data() + at;
    if (little32(candidate) == kEndSignature &&
        at + kEndSize + little16(candidate + 20) == tailSize) {
      end = candidate;
      break;
    }
  }
  if (end == nullptr) refuseArchive(path, "no ZIP archive at the end of the file");
  const std::uint64_t endAt = tailStart + static_cast<std::uint64_t>(end - tail.data());
  if (little16(end + 4) != 0 || little16(end + 6) != 0)
    refuseArchive(path, "multi-part ZIP archives are not supported");

  ZipLayout layout;
  layout.entryCount = little16(end + 10);
  layout.directorySize = little32(end + 12);
  layout.directoryOffset = little32(end + 16);
  std::uint64_t directoryEnd = endAt;  // the central directory ends where this record starts
  unsigned char locator[kZip64LocatorSize];
  const bool zip64 = endAt >= kZip64LocatorSize + kZip64EndSize &&
                     readAt(descriptor, endAt - kZip64LocatorSize, locator, sizeof locator) &&
                     little32(locator) == kZip64LocatorSignature;
  if (zip64) {
    // The 64-bit end record lies right before its locator (its recorded position is relative
    // to the archive's start, which is what is being looked for).
    unsigned char record[kZip64EndSize];
    const std::uint64_t recordAt = endAt - kZip64LocatorSize - kZip64EndSize;
    if (!readAt(descriptor, recordAt, record, sizeof record) ||
        little32(record) != kZip64EndSignature || little64(record + 4) != kZip64EndSize - 12) {
      refuseArchive(path, "unsupported ZIP64 end record");
    }
    layout.entryCount = little64(record + 32);
    layout.directorySize = little64(record + 40);
    layout.directoryOffset = little64(record + 48);
    directoryEnd = recordAt;
  } else if (layout.directorySize == 0xffffffff || layout.directoryOffset == 0xffffffff) {
    refuseArchive(path, "ZIP64 end records missing");
  }
  if (layout.directorySize > directoryEnd ||
      layout.directoryOffset > directoryEnd - layout.directorySize) {
    refuseArchive(path, "the central directory lies outside the file");
  }
  // Bytes before the archive (an executable it was appended to) shift every position the
  // archive records by the same amount.
  layout.span.offset = directoryEnd - layout.directorySize - layout.directoryOffset;
  layout.span.size = fileSize - layout.span.offset;
  return layout;
}

std::vector<ZipRecord> readZipDirectory(int descriptor, const ZipLayout& layout,
                                        const std::string& path, std::uint64_t maxEntries,
                                        const std::function<bool(const ZipRecord&)>& only) {
  const auto tooMany = [&]() {
    refuseArchive(path,
                  "too many entries " + limitText(maxEntries, " entries", kMaxEntriesVariable));
  };
  if (layout.entryCount > maxEntries) tooMany();
  Window window(descriptor, layout, path);
  std::vector<CentralRecord> centrals;
  // Not more than the directory's bytes can hold, whatever the end record claims.
  centrals.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>(layout.entryCount, layout.directorySize / kCentralSize)));
  const std::uint64_t directoryEnd = layout.directoryOffset + layout.directorySize;
  std::uint64_t at = layout.directoryOffset;
  // libarchive reads records up to the end record, whatever count it gives: every byte of the
  // central directory must belong to a record, and the count must match.
  while (at < directoryEnd) {
    if (centrals.size() == maxEntries) tooMany();
    const unsigned char* fixed = window.at(at, kCentralSize);
    if (directoryEnd - at < kCentralSize || fixed == nullptr ||
        little32(fixed) != kCentralSignature) {
      refuseArchive(path,
                    "damaged central directory (record " + std::to_string(centrals.size()) + ")");
    }
    CentralRecord central;
    ZipRecord& record = central.record;
    const unsigned host = fixed[5];
    central.flags = little16(fixed + 8);
    central.method = little16(fixed + 10);
    central.crc = little32(fixed + 16);
    record.compressedSize = little32(fixed + 20);
    record.uncompressedSize = little32(fixed + 24);
    const std::size_t nameSize = little16(fixed + 28);
    const std::size_t extraSize = little16(fixed + 30);
    const std::size_t commentSize = little16(fixed + 32);
    const std::uint32_t attributes = little32(fixed + 38);
    record.localOffset = little32(fixed + 42);
    const std::size_t variable = nameSize + extraSize + commentSize;
    const unsigned char* rest = window.at(at + kCentralSize, variable);
    if (rest == nullptr || directoryEnd - at - kCentralSize < variable) {
      refuseArchive(path,
                    "damaged central directory (record " + std::to_string(centrals.size()) + ")");
    }
    record.storedName.assign(reinterpret_cast<const char*>(rest), nameSize);
    // Only refusals name the entry: the text is made when one needs it.
    const auto entry = [&record] { return entryText(record.storedName); };
    if (record.storedName.find('\0') != std::string::npos) {
      refuseArchive(path, entry() + ": a zero byte in its name");
    }
    if ((central.flags & (kEncryptedFlag | kStrongEncryptionFlag)) != 0) {
      refuseArchive(path, entry() + " is encrypted");
    }
    std::uint64_t* fields[3] = {&record.uncompressedSize, &record.compressedSize,
                                &record.localOffset};
    if (!readZip64Extra(rest + nameSize, extraSize, fields)) {
      refuseArchive(path, entry() + ": unreadable ZIP64 field");
    }
    record.secondName = hasSecondName(rest + nameSize, extraSize);
    // libarchive reads pipes, devices and sockets as plain files; they are refused instead.
    const std::uint32_t type = host == kUnixHost ? (attributes >> 16) & S_IFMT : 0;
    if (type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK) {
      refuseArchive(path, entry() + " is not a file, folder or link");
    }
    record.declaredLink = type == S_IFLNK;
    record.declaredFile = type == S_IFREG;
    centrals.push_back(std::move(central));
    at += kCentralSize + variable;
  }
  if (centrals.size() != layout.entryCount) {
    refuseArchive(path, "the central directory holds " + std::to_string(centrals.size()) +
                            " entries, its end record says " + std::to_string(layout.entryCount));
  }

  std::sort(centrals.begin(), centrals.end(), [](const CentralRecord& a, const CentralRecord& b) {
    return a.record.localOffset < b.record.localOffset;
  });
  std::vector<ZipRecord> records;
  records.reserve(centrals.size());
  for (CentralRecord& central : centrals) {
    const ZipRecord& record = central.record;
    if (only && !only(record)) {
      records.push_back(std::move(central.record));
      continue;
    }
    // A record left unchecked ends at 0, so it never seems to overlap the next.
    if (!records.empty() && record.localOffset < records.back().dataEnd) {
      refuseArchive(path, entryText(record.storedName) + " overlaps " +
                              entryText(records.back().storedName) +
                              (record.localOffset == records.back().localOffset
                                   ? " (both use the same local header)"
                                   : " (its local header lies inside the other's data)"));
    }
    checkLocalHeader(window, central, layout.directoryOffset, path);
    records.push_back(std::move(central.record));
  }
  return records;
}

std::optional<std::string> readSimpleEntry(int descriptor, const ZipLayout& layout,
                                           const ZipRecord& record, std::size_t limit) {
  const std::string& name = record.storedName;
  if (!record.declaredFile || record.secondName || name.empty() || name.back() == '/' ||
      record.uncompressedSize > limit || record.dataStart > layout.span.size) {
    return std::nullopt;
  }
  // More than deflate makes of data it cannot shrink (zlib's own bound is below this).
  const std::uint64_t maxCompressed = record.uncompressedSize + record.uncompressedSize / 1024 + 64;
  if ((record.method != kStoredMethod && record.method != kDeflatedMethod) ||
      (record.method == kStoredMethod && record.compressedSize != record.uncompressedSize) ||
      record.compressedSize > maxCompressed || record.compressedSize > UINT_MAX ||
      record.compressedSize > layout.span.size - record.dataStart) {
    return std::nullopt;
  }
  std::string packed(static_cast<std::size_t>(record.compressedSize), '\0');
  if (!readAt(descriptor, layout.span.offset + record.dataStart, packed.data(), packed.size())) {
    return std::nullopt;
  }
  std::string data;
  if (record.method == kStoredMethod) {
    data = std::move(packed);
  } else {
    data.assign(static_cast<std::size_t>(record.uncompressedSize), '\0');
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(data.data());
    stream.avail_out = static_cast<uInt>(data.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.total_out == data.size();
    inflateEnd(&stream);
    if (!whole) return std::nullopt;
  }
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                          static_cast<uInt>(data.size()));
  if (crc != record.crc) return std::nullopt;
  return data;
}

}  // namespace Ostrand::ctfpack::detail
