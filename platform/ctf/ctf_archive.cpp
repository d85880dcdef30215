#include "ctf/ctf_archive.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "ctf/ctf_package.hpp"
#include "ctf/file_helpers.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "util/text_conversion.hpp"

namespace stdfs = std::filesystem;

namespace {

constexpr char kPreferencesFolder[] = ".sorvel";

using Ostrand::ctfpack::detail::Descriptor;
using Ostrand::ctfpack::detail::inQuotes;
using Ostrand::ctfpack::detail::systemText;

[[noreturn]] void fail(const std::string& archive, const std::string& what) {
  throw opc::Exception("component archive " + inQuotes(archive) + ": " + what);
}

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

// Opens path for reading; it must be a regular file. Throws opc::Exception.
int openRegularFile(const std::string& path, std::uint64_t& size) {
  // Non-blocking, so that a FIFO under the archive's name cannot stall the open.
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) fail(path, "cannot open: " + systemText(errno));
  struct stat status;
  if (::fstat(descriptor, &status) != 0) {
    const int error = errno;
    ::close(descriptor);
    fail(path, "cannot examine: " + systemText(error));
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(descriptor);
    fail(path, "not a regular file");
  }
  size = static_cast<std::uint64_t>(status.st_size);
  return descriptor;
}

// The ZIP records that locate the central directory, read from the end of the file.
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kMaxCommentSize = 0xffff;

Ostrand::ctfdata::CTFArchiveSpan locateArchive(int descriptor, std::uint64_t fileSize,
                                               const std::string& path) {
  using Ostrand::ctfdata::CTFArchiveSpan;
  if (fileSize < kEndSize) fail(path, "too short to hold a ZIP archive");
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndSize + kMaxCommentSize));
  std::vector<unsigned char> tail(tailSize);
  const std::uint64_t tailStart = fileSize - tailSize;
  if (!readAt(descriptor, tailStart, tail.data(), tailSize)) {
    fail(path, "cannot read: " + systemText(errno));
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
  if (end == nullptr) fail(path, "no ZIP archive at the end of the file");
  const std::uint64_t endAt = tailStart + static_cast<std::uint64_t>(end - tail.data());
  if (little16(end + 4) != 0 || little16(end + 6) != 0)
    fail(path, "multi-part ZIP archives are not supported");

  std::uint64_t directorySize = little32(end + 12);
  std::uint64_t directoryOffset = little32(end + 16);
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
      fail(path, "unsupported ZIP64 end record");
    }
    directorySize = little64(record + 40);
    directoryOffset = little64(record + 48);
    directoryEnd = recordAt;
  } else if (directorySize == 0xffffffff || directoryOffset == 0xffffffff) {
    fail(path, "ZIP64 end records missing");
  }
  if (directorySize > directoryEnd || directoryOffset > directoryEnd - directorySize) {
    fail(path, "the central directory lies outside the file");
  }
  // Bytes before the archive (an executable it was appended to) shift every position the
  // archive records by the same amount.
  CTFArchiveSpan span;
  span.offset = directoryEnd - directorySize - directoryOffset;
  span.size = fileSize - span.offset;
  return span;
}

// libarchive reading the span of an open file as if it were the whole file.
class ArchiveReader {
 public:
  // The factory holds no state yet; readers of other kinds of file would come from it.
  ArchiveReader(const std::string& path,
                [[maybe_unused]] const Ostrand::ctfdata::CTFFileReaderFactory& factory)
      : path_(path),
        file_(openRegularFile(path, fileSize_)),
        span_(locateArchive(file_.get(), fileSize_, path)),
        archive_(archive_read_new(), archive_read_free) {
    if (!archive_) throw std::bad_alloc();
    archive* handle = archive_.get();
    archive_read_support_format_zip_seekable(handle);
    archive_read_set_callback_data(handle, this);
    archive_read_set_read_callback(handle, &ArchiveReader::read);
    archive_read_set_seek_callback(handle, &ArchiveReader::seek);
    archive_read_set_skip_callback(handle, &ArchiveReader::skip);
    if (archive_read_open1(handle) != ARCHIVE_OK) failWithArchiveError();
  }
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  // The next entry, or null at the end.
  archive_entry* next() {
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(archive_.get(), &entry);
    if (status == ARCHIVE_EOF) return nullptr;
    if (status != ARCHIVE_OK) failWithArchiveError();
    return entry;
  }
  // Appends the current entry's data to out; fails beyond limit bytes.
  void readData(std::string& out, std::size_t limit, const char* what) {
    char buffer[65536];
    for (;;) {
      const la_ssize_t got = archive_read_data(archive_.get(), buffer, sizeof buffer);
      if (got < 0) failWithArchiveError();
      if (got == 0) return;
      if (out.size() + static_cast<std::size_t>(got) > limit) {
        fail(path_, std::string(what) + " larger than " + std::to_string(limit) + " bytes");
      }
      out.append(buffer, static_cast<std::size_t>(got));
    }
  }
  // Copies the current entry's data to the disk writer.
  void copyData(archive* writer, const std::string& entryName) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
      const int status = archive_read_data_block(archive_.get(), &block, &size, &offset);
      if (status == ARCHIVE_EOF) return;
      if (status != ARCHIVE_OK) failWithArchiveError();
      if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
        fail(path_, "cannot write " + inQuotes(entryName) + ": " + archive_error_string(writer));
      }
    }
  }
  [[noreturn]] void failWithArchiveError() {
    const char* text = archive_error_string(archive_.get());
    fail(path_, text ? text : "unreadable ZIP archive");
  }
  const std::string& path() const { return path_; }

 private:
  static la_ssize_t read(archive*, void* data, const void** buffer) {
    auto& self = *static_cast<ArchiveReader*>(data);
    *buffer = self.buffer_;
    if (self.position_ >= self.span_.size) return 0;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(sizeof self.buffer_, self.span_.size - self.position_));
    for (;;) {
      const ssize_t got = ::pread(self.file_.get(), self.buffer_, wanted,
                                  static_cast<off_t>(self.span_.offset + self.position_));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ARCHIVE_FATAL;
      self.position_ += static_cast<std::uint64_t>(got);
      return got;
    }
  }
  static la_int64_t seek(archive*, void* data, la_int64_t offset, int whence) {
    auto& self = *static_cast<ArchiveReader*>(data);
    la_int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<la_int64_t>(self.position_);
    if (whence == SEEK_END) base = static_cast<la_int64_t>(self.span_.size);
    if (offset > 0 && base > INT64_MAX - offset) return ARCHIVE_FATAL;
    const la_int64_t target = base + offset;
    if (target < 0) return ARCHIVE_FATAL;
    self.position_ = static_cast<std::uint64_t>(target);
    return target;
  }
  static la_int64_t skip(archive*, void* data, la_int64_t request) {
    auto& self = *static_cast<ArchiveReader*>(data);
    if (request <= 0) return 0;
    const std::uint64_t left =
        self.position_ < self.span_.size ? self.span_.size - self.position_ : 0;
    const std::uint64_t skipped =
        std::min<std::uint64_t>(left, static_cast<std::uint64_t>(request));
    self.position_ += skipped;
    return static_cast<la_int64_t>(skipped);
  }

  std::string path_;
  std::uint64_t fileSize_ = 0;
  Descriptor file_;
  Ostrand::ctfdata::CTFArchiveSpan span_;
  std::unique_ptr<archive, int (*)(archive*)> archive_;
  std::uint64_t position_ = 0;
  unsigned char buffer_[65536];
};

// Entry names as stored, "./" parts and repeated or trailing slashes removed; empty when the
// name is absolute, climbs with "..", or has no parts left.
std::string safeRelativeName(const char* stored) {
  if (stored == nullptr || stored[0] == '/' || stored[0] == '\0') return {};
  std::string result;
  const std::string name(stored);
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t stop = name.find('/', start);
    if (stop == std::string::npos) stop = name.size();
    const std::string part = name.substr(start, stop - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!result.empty()) result += '/';
      result += part;
    }
    start = stop + 1;
  }
  return result;
}

// Whether a symbolic link at entryName (safe, relative) pointing at target stays inside the
// folder it is unpacked into, judged by its text alone.
bool linkStaysInside(const std::string& entryName, const char* target) {
  if (target == nullptr || target[0] == '\0' || target[0] == '/') return false;
  int depth = static_cast<int>(std::count(entryName.begin(), entryName.end(), '/'));
  const std::string text(target);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t stop = text.find('/', start);
    if (stop == std::string::npos) stop = text.size();
    const std::string part = text.substr(start, stop - start);
    if (part == "..") {
      if (--depth < 0) return false;
    } else if (!part.empty() && part != ".") {
      ++depth;
    }
    start = stop + 1;
  }
  return true;
}

// Adds one file-system entry (file, folder or symbolic link) under name to the archive.
void addEntry(archive* writer, const std::string& archivePath, const stdfs::path& source,
              const std::string& name, bool reproducible) {
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) {
    fail(archivePath, "cannot examine " + inQuotes(source.string()) + ": " + systemText(errno));
  }
  std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                 archive_entry_free);
  if (!entry) throw std::bad_alloc();
  archive_entry_set_pathname(entry.get(), name.c_str());
  if (reproducible) {
    archive_entry_set_mtime(entry.get(), Ostrand::ctfpack::kReproducibleEntryTime, 0);
    mode_t mode = 0644;
    if (S_ISDIR(status.st_mode) || (status.st_mode & 0111) != 0) mode = 0755;
    if (S_ISLNK(status.st_mode)) mode = 0777;
    archive_entry_set_perm(entry.get(), mode);
  } else {
    archive_entry_set_mtime(entry.get(), status.st_mtime, 0);
    archive_entry_set_perm(entry.get(), status.st_mode & 0777);
  }
  if (S_ISDIR(status.st_mode)) {
    archive_entry_set_filetype(entry.get(), AE_IFDIR);
  } else if (S_ISLNK(status.st_mode)) {
    std::error_code error;
    const stdfs::path target = stdfs::read_symlink(source, error);
    if (error) fail(archivePath, "cannot read link " + inQuotes(source.string()));
    archive_entry_set_filetype(entry.get(), AE_IFLNK);
    archive_entry_set_symlink(entry.get(), target.c_str());
  } else if (S_ISREG(status.st_mode)) {
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_size(entry.get(), status.st_size);
  } else {
    fail(archivePath, inQuotes(source.string()) + " is not a file, folder or link");
  }
  if (archive_write_header(writer, entry.get()) != ARCHIVE_OK) {
    fail(archivePath, "cannot add " + inQuotes(name) + ": " + archive_error_string(writer));
  }
  if (!S_ISREG(status.st_mode)) return;
  Descriptor file(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0)
    fail(archivePath, "cannot read " + inQuotes(source.string()) + ": " + systemText(errno));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      fail(archivePath, "cannot read " + inQuotes(source.string()) + ": " + systemText(errno));
    if (got == 0) break;
    if (archive_write_data(writer, buffer, static_cast<size_t>(got)) != got) {
      fail(archivePath, "cannot write " + inQuotes(name) + ": " + archive_error_string(writer));
    }
  }
}

// Adds folder and everything below it, in name order, under prefix; extras join the folder's own
// entries.
void addTree(archive* writer, const std::string& archivePath, const stdfs::path& folder,
             const std::string& prefix, bool reproducible,
             const std::vector<Ostrand::ctfpack::CTFArchiveSource>& extras = {}) {
  addEntry(writer, archivePath, folder, prefix + "/", reproducible);
  std::vector<std::pair<std::string, stdfs::path>> children;  // name, source
  std::error_code error;
  for (stdfs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    children.emplace_back(it->path().filename().string(), it->path());
  }
  if (error) fail(archivePath, "cannot list " + inQuotes(folder.string()) + ": " + error.message());
  for (const Ostrand::ctfpack::CTFArchiveSource& extra : extras) {
    if (extra.name.empty() || extra.name == "." || extra.name == ".." ||
        extra.name.find('/') != std::string::npos) {
      fail(archivePath, "cannot add " + inQuotes(extra.path) + " as " + inQuotes(extra.name) +
                            ": not one path element");
    }
    children.emplace_back(extra.name, extra.path);
  }
  std::sort(children.begin(), children.end());
  for (std::size_t i = 1; i < children.size(); ++i) {
    if (children[i].first == children[i - 1].first) {
      fail(archivePath, "two entries named " + inQuotes(prefix + "/" + children[i].first));
    }
  }
  for (const auto& [childName, child] : children) {
    const std::string name = prefix + "/" + childName;
    if (stdfs::is_directory(stdfs::symlink_status(child))) {
      addTree(writer, archivePath, child, name, reproducible);
    } else {
      addEntry(writer, archivePath, child, name, reproducible);
    }
  }
}

}  // namespace

namespace Ostrand::ctfdata {

CTFArchiveSpan CTFFileReaderFactory::locate(const std::string& path) const {
  std::uint64_t size = 0;
  Descriptor file(openRegularFile(path, size));
  return locateArchive(file.get(), size, path);
}

}  // namespace Ostrand::ctfdata

namespace Ostrand::ctfpack {

std::string readArchiveManifest(const std::string& path,
                                const ctfdata::CTFFileReaderFactory& factory) {
  ArchiveReader reader(path, factory);
  while (archive_entry* entry = reader.next()) {
    if (safeRelativeName(archive_entry_pathname(entry)) != kSettingsManifestName) continue;
    if (archive_entry_filetype(entry) != AE_IFREG)
      fail(path, "the settings manifest is not a file");
    std::string text;
    reader.readData(text, kSettingsManifestMaxBytes, "the settings manifest is");
    return text;
  }
  fail(path, std::string("no settings manifest (") + kSettingsManifestName + ")");
}

std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder) {
  ArchiveReader reader(archivePath, ctfdata::CTFFileReaderFactory());
  std::error_code error;
  stdfs::create_directories(folder, error);
  if (error) fail(archivePath, "cannot create " + inQuotes(folder) + ": " + error.message());
  // Without links on the way to the target, the writer's link check below guards the entries'
  // own paths only.
  const stdfs::path target = stdfs::canonical(folder, error);
  if (error) fail(archivePath, "cannot resolve " + inQuotes(folder) + ": " + error.message());

  std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_disk_new(), archive_write_free);
  if (!writer) throw std::bad_alloc();
  archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_TIME |
                                                   ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                   ARCHIVE_EXTRACT_SECURE_NODOTDOT);
  std::uint64_t written = 0;
  while (archive_entry* entry = reader.next()) {
    const char* stored = archive_entry_pathname(entry);
    const std::string name = safeRelativeName(stored);
    const std::string shown = inQuotes(stored ? stored : "");
    if (name.empty()) fail(archivePath, "entry " + shown + " would land outside the folder");
    const mode_t type = archive_entry_filetype(entry);
    if (type == AE_IFLNK && !linkStaysInside(name, archive_entry_symlink(entry))) {
      fail(archivePath, "link " + shown + " points outside the folder");
    }
    // The ZIP reader yields nothing else today (it reads other file types as regular files);
    // this keeps devices and pipes out should that change.
    if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
      fail(archivePath, "entry " + shown + " is not a file, folder or link");
    }
    archive_entry_set_pathname(entry, (target / name).c_str());
    archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
    if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
      fail(archivePath, "cannot unpack " + shown + ": " + archive_error_string(writer.get()));
    }
    if (type == AE_IFREG) reader.copyData(writer.get(), name);
    if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
      fail(archivePath, "cannot unpack " + shown + ": " + archive_error_string(writer.get()));
    }
    ++written;
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK) {
    fail(archivePath,
         std::string("cannot finish unpacking: ") + archive_error_string(writer.get()));
  }
  return written;
}

void writeArchive(const std::string& archivePath, const CTFSettings& settings,
                  const std::string& componentFolder, const std::string& preferencesFolder) {
  writeArchive(archivePath, settings, componentFolder, preferencesFolder, {});
}

void writeArchive(const std::string& archivePath, const CTFSettings& settings,
                  const std::string& componentFolder, const std::string& preferencesFolder,
                  const CTFArchiveWriteOptions& options) {
  const std::string manifest = writeSettingsManifest(settings);  // checks the identity
  std::string temporary = archivePath + ".XXXXXX";
  Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) fail(archivePath, "cannot create a file beside it: " + systemText(errno));
  try {
    std::unique_ptr<archive, int (*)(archive*)> writer(archive_write_new(), archive_write_free);
    if (!writer) throw std::bad_alloc();
    if (archive_write_set_format_zip(writer.get()) != ARCHIVE_OK ||
        archive_write_open_fd(writer.get(), file.get()) != ARCHIVE_OK) {
      fail(archivePath, std::string("cannot start writing: ") + archive_error_string(writer.get()));
    }
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(),
                                                                   archive_entry_free);
    if (!entry) throw std::bad_alloc();
    archive_entry_set_pathname(entry.get(), kSettingsManifestName);
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    if (options.reproducible) archive_entry_set_mtime(entry.get(), kReproducibleEntryTime, 0);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(manifest.size()));
    if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK ||
        archive_write_data(writer.get(), manifest.data(), manifest.size()) !=
            static_cast<la_ssize_t>(manifest.size())) {
      fail(archivePath,
           std::string("cannot write the manifest: ") + archive_error_string(writer.get()));
    }
    addTree(writer.get(), archivePath, componentFolder, fl::i18n::to_string(settings.componentId),
            options.reproducible, options.extraSources);
    if (preferencesFolder.empty()) {
      entry.reset(archive_entry_new());
      if (!entry) throw std::bad_alloc();
      archive_entry_set_pathname(entry.get(), (std::string(kPreferencesFolder) + "/").c_str());
      archive_entry_set_filetype(entry.get(), AE_IFDIR);
      archive_entry_set_perm(entry.get(), 0755);
      if (options.reproducible) archive_entry_set_mtime(entry.get(), kReproducibleEntryTime, 0);
      if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK) {
        fail(archivePath, std::string("cannot write: ") + archive_error_string(writer.get()));
      }
    } else {
      addTree(writer.get(), archivePath, preferencesFolder, kPreferencesFolder,
              options.reproducible);
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK) {
      fail(archivePath, std::string("cannot finish: ") + archive_error_string(writer.get()));
    }
    if (::fchmod(file.get(), 0644) != 0 || ::fsync(file.get()) != 0 ||
        ::rename(temporary.c_str(), archivePath.c_str()) != 0) {
      fail(archivePath, "cannot put the archive in place: " + systemText(errno));
    }
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

CTFPackage::CTFPackage(const std::wstring& path, ctfdata::CTFFileReaderFactory factory)
    : path_(fl::i18n::to_string(path)), factory_(factory) {}

CTFPackage::~CTFPackage() = default;

void CTFPackage::open(CTFOpenMode mode) {
  if (mode != CTFOpenRead) fail(path_, "unknown open mode " + std::to_string(mode));
  settings_ = readSettingsManifest(readArchiveManifest(path_, factory_),
                                   inQuotes(path_) + " (" + kSettingsManifestName + ")");
  open_ = true;
}

CTFSettings CTFPackage::getCTFSettings() const {
  if (!open_) fail(path_, "the package is not open");
  return settings_;
}

void CTFPackage::close() {
  open_ = false;
  settings_ = CTFSettings();
}

}  // namespace Ostrand::ctfpack
