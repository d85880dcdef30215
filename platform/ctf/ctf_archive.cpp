#include "ctf/ctf_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "ctf/archive_library.hpp"
#include "ctf/ctf_package.hpp"
#include "ctf/file_helpers.hpp"
#include "ctf/folder_writer.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "ctf/unpack_limits.hpp"
#include "ctf/unpack_plan.hpp"
#include "ctf/write_queue.hpp"
#include "ctf/zip_directory.hpp"
#include "fs/file_system.hpp"
#include "util/text_conversion.hpp"

namespace stdfs = std::filesystem;

namespace {

constexpr char kPreferencesFolder[] = ".sorvel";
// From this many unpacked bytes on, a second thread writes while the first inflates.
constexpr std::uint64_t kThreadedUnpackBytes = 4u << 20;

using Ostrand::ctfpack::detail::ArchiveLibrary;
using Ostrand::ctfpack::detail::archiveLibrary;
using Ostrand::ctfpack::detail::Descriptor;
using Ostrand::ctfpack::detail::EntryKind;
using Ostrand::ctfpack::detail::FolderWriter;
using Ostrand::ctfpack::detail::inQuotes;
using Ostrand::ctfpack::detail::locateZip;
using Ostrand::ctfpack::detail::openRegularFile;
using Ostrand::ctfpack::detail::shownName;
using Ostrand::ctfpack::detail::systemText;
using Ostrand::ctfpack::detail::WriteQueue;
using Ostrand::ctfpack::detail::ZipLayout;
using Ostrand::ctfpack::detail::ZipRecord;

[[noreturn]] void fail(const std::string& archive, const std::string& what) {
  Ostrand::ctfpack::detail::refuseArchive(archive, what);
}

// An archive file, open, and where the archive lies in it.
struct ArchiveFile {
  explicit ArchiveFile(const std::string& archivePath)
      : path(archivePath),
        descriptor(openRegularFile(archivePath, size)),
        layout(locateZip(descriptor.get(), size, archivePath)) {}

  std::string path;
  std::uint64_t size = 0;
  Descriptor descriptor;
  ZipLayout layout;
};

// libarchive reading the span of an open file as if it were the whole file.
class ArchiveReader {
 public:
  explicit ArchiveReader(const ArchiveFile& file)
      : path_(file.path),
        file_(file.descriptor.get()),
        span_(file.layout.span),
        libarchive_(archiveLibrary(file.path)),
        archive_(libarchive_.read_new(), libarchive_.read_free) {
    if (!archive_) throw std::bad_alloc();
    archive* handle = archive_.get();
    libarchive_.read_support_format_zip_seekable(handle);
    libarchive_.read_set_callback_data(handle, this);
    libarchive_.read_set_read_callback(handle, &ArchiveReader::read);
    libarchive_.read_set_seek_callback(handle, &ArchiveReader::seek);
    libarchive_.read_set_skip_callback(handle, &ArchiveReader::skip);
    if (libarchive_.read_open1(handle) != ARCHIVE_OK) failWithArchiveError();
  }
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  const ArchiveLibrary& library() const { return libarchive_; }

  // The next entry, or null at the end. where goes in front of libarchive's error text.
  archive_entry* next(const std::string& where = {}) {
    archive_entry* entry = nullptr;
    const int status = libarchive_.read_next_header(archive_.get(), &entry);
    if (status == ARCHIVE_EOF) return nullptr;
    if (status != ARCHIVE_OK) failWithArchiveError(where);
    return entry;
  }
  // Appends the current entry's data to out; fails beyond limit bytes.
  void readData(std::string& out, std::size_t limit, const char* what) {
    char buffer[65536];
    for (;;) {
      const la_ssize_t got = libarchive_.read_data(archive_.get(), buffer, sizeof buffer);
      if (got < 0) failWithArchiveError();
      if (got == 0) return;
      if (out.size() + static_cast<std::size_t>(got) > limit) {
        fail(path_, std::string(what) + " larger than " + std::to_string(limit) + " bytes");
      }
      out.append(buffer, static_cast<std::size_t>(got));
    }
  }
  // Copies the current entry's data into the file writer has open, counting the bytes: they
  // must be exactly the declared size, which the limits were checked against.
  void copyData(WriteQueue& writer, const ZipRecord& record) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    std::uint64_t written = 0;
    for (;;) {
      const int status = libarchive_.read_data_block(archive_.get(), &block, &size, &offset);
      if (status == ARCHIVE_EOF) break;
      // Made only for a refusal: this runs for every block unpacked.
      const auto entry = [&record] { return "entry " + shownName(record.storedName); };
      if (status != ARCHIVE_OK) failWithArchiveError(entry() + ": ");
      if (offset < 0 || static_cast<std::uint64_t>(offset) != written) {
        fail(path_, entry() + " has data with gaps");
      }
      if (size > record.uncompressedSize - written) {
        fail(path_, entry() + " holds more than the " + std::to_string(record.uncompressedSize) +
                        " bytes its header declares");
      }
      writer.write(block, size);
      written += size;
    }
    // libarchive reports most short entries itself (stored ones), not all.
    if (written != record.uncompressedSize) {
      fail(path_, "entry " + shownName(record.storedName) + " holds " + std::to_string(written) +
                      " bytes, its header declares " + std::to_string(record.uncompressedSize));
    }
  }
  [[noreturn]] void failWithArchiveError(const std::string& where = {}) {
    const char* text = libarchive_.error_string(archive_.get());
    fail(path_, where + (text ? text : "unreadable ZIP archive"));
  }

 private:
  static la_ssize_t read(archive*, void* data, const void** buffer) {
    auto& self = *static_cast<ArchiveReader*>(data);
    *buffer = self.buffer_;
    if (self.position_ >= self.span_.size) return 0;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(self.readSize_, self.span_.size - self.position_));
    self.readSize_ = std::min(self.readSize_ * 2, sizeof self.buffer_);
    for (;;) {
      const ssize_t got = ::pread(self.file_, self.buffer_, wanted,
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
    self.readSize_ = kFirstReadSize;
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
  int file_;  // owned by the ArchiveFile
  Ostrand::ctfdata::CTFArchiveSpan span_;
  const ArchiveLibrary& libarchive_;
  std::unique_ptr<archive, int (*)(archive*)> archive_;
  std::uint64_t position_ = 0;
  // Reads after a seek start small and grow: the reader seeks to each entry's header, and when
  // only headers are wanted the data after them is not read in passing.
  static constexpr std::size_t kFirstReadSize = 4096;
  std::size_t readSize_ = kFirstReadSize;
  unsigned char buffer_[65536];
};

// Adds one file-system entry (file, folder or symbolic link) under name to the archive.
void addEntry(const ArchiveLibrary& libarchive, archive* writer, const std::string& archivePath,
              const stdfs::path& source, const std::string& name, bool reproducible) {
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) {
    fail(archivePath, "cannot examine " + inQuotes(source.string()) + ": " + systemText(errno));
  }
  std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(libarchive.entry_new(),
                                                                 libarchive.entry_free);
  if (!entry) throw std::bad_alloc();
  libarchive.entry_set_pathname(entry.get(), name.c_str());
  if (reproducible) {
    libarchive.entry_set_mtime(entry.get(), Ostrand::ctfpack::kReproducibleEntryTime, 0);
    mode_t mode = 0644;
    if (S_ISDIR(status.st_mode) || (status.st_mode & 0111) != 0) mode = 0755;
    if (S_ISLNK(status.st_mode)) mode = 0777;
    libarchive.entry_set_perm(entry.get(), mode);
  } else {
    libarchive.entry_set_mtime(entry.get(), status.st_mtime, 0);
    libarchive.entry_set_perm(entry.get(), status.st_mode & 0777);
  }
  if (S_ISDIR(status.st_mode)) {
    libarchive.entry_set_filetype(entry.get(), AE_IFDIR);
  } else if (S_ISLNK(status.st_mode)) {
    std::error_code error;
    const stdfs::path target = stdfs::read_symlink(source, error);
    if (error) fail(archivePath, "cannot read link " + inQuotes(source.string()));
    libarchive.entry_set_filetype(entry.get(), AE_IFLNK);
    libarchive.entry_set_symlink(entry.get(), target.c_str());
  } else if (S_ISREG(status.st_mode)) {
    libarchive.entry_set_filetype(entry.get(), AE_IFREG);
    libarchive.entry_set_size(entry.get(), status.st_size);
  } else {
    fail(archivePath, inQuotes(source.string()) + " is not a file, folder or link");
  }
  if (libarchive.write_header(writer, entry.get()) != ARCHIVE_OK) {
    fail(archivePath, "cannot add " + inQuotes(name) + ": " + libarchive.error_string(writer));
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
    if (libarchive.write_data(writer, buffer, static_cast<size_t>(got)) != got) {
      fail(archivePath, "cannot write " + inQuotes(name) + ": " + libarchive.error_string(writer));
    }
  }
}

// Adds folder and everything below it, in name order, under prefix; extras join the folder's own
// entries.
void addTree(const ArchiveLibrary& libarchive, archive* writer, const std::string& archivePath,
             const stdfs::path& folder, const std::string& prefix, bool reproducible,
             const std::vector<Ostrand::ctfpack::CTFArchiveSource>& extras = {}) {
  addEntry(libarchive, writer, archivePath, folder, prefix + "/", reproducible);
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
      addTree(libarchive, writer, archivePath, child, name, reproducible);
    } else {
      addEntry(libarchive, writer, archivePath, child, name, reproducible);
    }
  }
}

}  // namespace

namespace Ostrand::ctfdata {

CTFArchiveSpan CTFFileReaderFactory::locate(const std::string& path) const {
  std::uint64_t size = 0;
  Descriptor file(openRegularFile(path, size));
  return locateZip(file.get(), size, path).span;
}

}  // namespace Ostrand::ctfdata

namespace Ostrand::ctfpack {

std::string readArchiveManifest(const std::string& path,
                                [[maybe_unused]] const ctfdata::CTFFileReaderFactory& factory) {
  // The factory holds no state yet; readers of other kinds of file would come from it.
  const ArchiveFile file(path);
  // One manifest, read where its own local header (checked against the central directory) says.
  // The other entries' local headers are not read: a start from the cache reads nothing else of
  // the archive, and an unpack checks every header, and refuses overlapping entries, before it
  // writes anything, so the manifest read here is the one an unpack leaves behind.
  const auto isManifest = [](const ZipRecord& record) {
    // A name that does not even hold the manifest's name cannot come to it.
    return record.storedName.find(kSettingsManifestName) != std::string::npos &&
           detail::relativeEntryName(record.storedName) == kSettingsManifestName;
  };
  const std::uint64_t anyCount = std::numeric_limits<std::uint64_t>::max();
  const std::vector<ZipRecord> records =
      detail::readZipDirectory(file.descriptor.get(), file.layout, path, anyCount, isManifest);
  const ZipRecord* manifest = nullptr;
  bool secondNames = false;
  for (const ZipRecord& record : records) {
    secondNames = secondNames || record.secondName;
    if (!isManifest(record)) continue;
    if (manifest)
      fail(path, "entry " + shownName(record.storedName) + " is a second settings manifest");
    manifest = &record;
  }
  // The usual archive is read without libarchive, which then need not even be loaded. Where
  // libarchive might read another entry under the manifest's name (one that has a second name),
  // or the entry is not that simple, libarchive reads the manifest, once the whole archive has
  // been checked as an unpack checks it.
  if (manifest && !secondNames) {
    if (std::optional<std::string> text = detail::readSimpleEntry(
            file.descriptor.get(), file.layout, *manifest, kSettingsManifestMaxBytes)) {
      return std::move(*text);
    }
  }
  detail::readZipDirectory(file.descriptor.get(), file.layout, path, anyCount);
  ArchiveReader reader(file);
  const ArchiveLibrary& libarchive = reader.library();
  while (archive_entry* entry = reader.next()) {
    const char* name = libarchive.entry_pathname(entry);
    if (detail::relativeEntryName(name ? name : "") != kSettingsManifestName) continue;
    if (libarchive.entry_filetype(entry) != AE_IFREG)
      fail(path, "the settings manifest is not a file");
    std::string text;
    reader.readData(text, kSettingsManifestMaxBytes, "the settings manifest is");
    return text;
  }
  fail(path, std::string("no settings manifest (") + kSettingsManifestName + ")");
}

namespace {

// What libarchive makes of the entry record describes; it must read the same name, and a link
// exactly when the record's mode says link. Only files, folders and links are unpacked.
EntryKind kindOf(const ArchiveLibrary& libarchive, archive_entry* entry, const ZipRecord& record,
                 const std::string& archivePath) {
  const std::string shown = "entry " + shownName(record.storedName);
  if (entry == nullptr) fail(archivePath, "libarchive finds no " + shown);
  const char* name = libarchive.entry_pathname(entry);
  if (name == nullptr || record.storedName != name) {
    fail(archivePath, "libarchive reads " + shown + " as " + shownName(name ? name : ""));
  }
  const mode_t type = libarchive.entry_filetype(entry);
  if (type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) {
    fail(archivePath, shown + " is not a file, folder or link");
  }
  if ((type == AE_IFLNK) != record.declaredLink) {
    fail(archivePath,
         "libarchive and the central directory disagree whether " + shown + " is a link");
  }
  if (libarchive.entry_is_encrypted(entry)) fail(archivePath, shown + " is encrypted");
  return type == AE_IFREG   ? EntryKind::file
         : type == AE_IFDIR ? EntryKind::folder
                            : EntryKind::link;
}

std::string linkTargetOf(const ArchiveLibrary& libarchive, archive_entry* entry) {
  const char* target = libarchive.entry_symlink(entry);
  return target ? target : "";
}

}  // namespace

std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder) {
  std::vector<UnpackedEntry> made;
  return extractArchive(archivePath, folder, made);
}

std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder,
                             std::vector<UnpackedEntry>& made) {
  return extractArchive(archivePath, folder, made, *dsGetDefaultFSImp());
}

namespace {

// folder and every missing folder above it, made as mkdir -p makes them (mode 0777 less the
// umask) through fileSystem. A folder that exists is taken as it is, also through a link: the
// way to the target folder is the caller's.
void makeTargetFolder(dsFileSystem& fileSystem, const std::string& archivePath,
                      const std::string& folder) {
  struct stat status;
  if (fileSystem.stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return;
  stdfs::path walked;
  for (const stdfs::path& element : stdfs::path(folder)) {
    walked /= element;
    if (walked == walked.root_path() || element.empty()) continue;
    if (fileSystem.mkdir(walked.c_str(), 0777) != 0 && errno != EEXIST) {
      const int error = errno;
      fail(archivePath, "cannot create " + inQuotes(walked.string()) + ": " + systemText(error));
    }
  }
  const bool there = fileSystem.stat(folder.c_str(), &status) == 0;
  if (!there || !S_ISDIR(status.st_mode)) {
    const int error = there ? ENOTDIR : errno;
    fail(archivePath, "cannot create " + inQuotes(folder) + ": " + systemText(error));
  }
}

}  // namespace

std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder,
                             std::vector<UnpackedEntry>& made, dsFileSystem& fileSystem) {
  detail::UnpackLimits limits;
  try {
    limits = detail::unpackLimitsFromEnvironment();
  } catch (const opc::Exception& error) {
    fail(archivePath, error.what());
  }
  const ArchiveFile file(archivePath);
  const std::vector<ZipRecord> records =
      detail::readZipDirectory(file.descriptor.get(), file.layout, archivePath, limits.maxEntries);
  detail::checkDeclaredSizes(records, limits, archivePath);

  // Everything the archive would make, checked before anything is written. What is written is
  // what was checked: the names, kinds and link targets kept here, not a second reading of the
  // file (which could have changed in between).
  detail::UnpackTree tree(archivePath, limits);
  struct Planned {
    std::string name;
    EntryKind kind;
    std::string linkTarget;
  };
  std::vector<Planned> plan;
  plan.reserve(records.size());
  {
    ArchiveReader reader(file);
    for (const ZipRecord& record : records) {
      archive_entry* entry = reader.next("entry " + shownName(record.storedName) + ": ");
      // Name faults first: libarchive reads some (backslashes) differently.
      detail::refuseUnsafeName(record.storedName, archivePath);
      const EntryKind kind = kindOf(reader.library(), entry, record, archivePath);
      const std::string target =
          kind == EntryKind::link ? linkTargetOf(reader.library(), entry) : std::string();
      plan.push_back({tree.add(record.storedName, kind, target), kind, target});
      if (plan.back().name == kSettingsManifestName && kind != EntryKind::file) {
        fail(archivePath, "the settings manifest is not a file");
      }
    }
    if (reader.next() != nullptr) fail(archivePath, "libarchive finds more entries than listed");
  }
  tree.checkLinks();

  makeTargetFolder(fileSystem, archivePath, folder);
  // The writer refuses links below the target; links on the way to it are the caller's.
  std::error_code error;
  const stdfs::path target = stdfs::canonical(folder, error);
  if (error) fail(archivePath, "cannot resolve " + inQuotes(folder) + ": " + error.message());
  FolderWriter writer(archivePath, target.string(), fileSystem);
  // A second thread writes while this one inflates, when there is enough to write.
  std::uint64_t declared = 0;
  for (const ZipRecord& record : records) declared += record.uncompressedSize;
  WriteQueue queue(writer,
                   declared >= kThreadedUnpackBytes && std::thread::hardware_concurrency() > 1);
  ArchiveReader reader(file);
  const ArchiveLibrary& libarchive = reader.library();
  for (std::size_t index = 0; index < records.size(); ++index) {
    const ZipRecord& record = records[index];
    const Planned& planned = plan[index];
    archive_entry* entry = reader.next("entry " + shownName(record.storedName) + ": ");
    if (kindOf(libarchive, entry, record, archivePath) != planned.kind) {
      fail(archivePath, "entry " + shownName(record.storedName) + " changed while unpacking");
    }
    // Set-id bits and ownership are never restored.
    const mode_t mode = libarchive.entry_perm(entry) & 0777;
    const std::time_t modified = libarchive.entry_mtime(entry);
    if (planned.kind == EntryKind::folder) {
      queue.makeFolder(planned.name, mode, modified);
    } else if (planned.kind == EntryKind::link) {
      queue.makeLink(planned.name, planned.linkTarget, modified);
    } else {
      queue.createFile(planned.name, mode);
      reader.copyData(queue, record);
      queue.closeFile(modified);
    }
  }
  queue.finish();
  made = std::move(writer.made());
  return records.size();
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
    const ArchiveLibrary& libarchive = archiveLibrary(archivePath);
    std::unique_ptr<archive, int (*)(archive*)> writer(libarchive.write_new(),
                                                       libarchive.write_free);
    if (!writer) throw std::bad_alloc();
    if (libarchive.write_set_format_zip(writer.get()) != ARCHIVE_OK ||
        libarchive.write_open_fd(writer.get(), file.get()) != ARCHIVE_OK) {
      fail(archivePath,
           std::string("cannot start writing: ") + libarchive.error_string(writer.get()));
    }
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(libarchive.entry_new(),
                                                                   libarchive.entry_free);
    if (!entry) throw std::bad_alloc();
    libarchive.entry_set_pathname(entry.get(), kSettingsManifestName);
    libarchive.entry_set_filetype(entry.get(), AE_IFREG);
    libarchive.entry_set_perm(entry.get(), 0644);
    if (options.reproducible) libarchive.entry_set_mtime(entry.get(), kReproducibleEntryTime, 0);
    libarchive.entry_set_size(entry.get(), static_cast<la_int64_t>(manifest.size()));
    if (libarchive.write_header(writer.get(), entry.get()) != ARCHIVE_OK ||
        libarchive.write_data(writer.get(), manifest.data(), manifest.size()) !=
            static_cast<la_ssize_t>(manifest.size())) {
      fail(archivePath,
           std::string("cannot write the manifest: ") + libarchive.error_string(writer.get()));
    }
    addTree(libarchive, writer.get(), archivePath, componentFolder,
            fl::i18n::to_string(settings.componentId), options.reproducible, options.extraSources);
    if (preferencesFolder.empty()) {
      entry.reset(libarchive.entry_new());
      if (!entry) throw std::bad_alloc();
      libarchive.entry_set_pathname(entry.get(), (std::string(kPreferencesFolder) + "/").c_str());
      libarchive.entry_set_filetype(entry.get(), AE_IFDIR);
      libarchive.entry_set_perm(entry.get(), 0755);
      if (options.reproducible) libarchive.entry_set_mtime(entry.get(), kReproducibleEntryTime, 0);
      if (libarchive.write_header(writer.get(), entry.get()) != ARCHIVE_OK) {
        fail(archivePath, std::string("cannot write: ") + libarchive.error_string(writer.get()));
      }
    } else {
      addTree(libarchive, writer.get(), archivePath, preferencesFolder, kPreferencesFolder,
              options.reproducible);
    }
    if (libarchive.write_close(writer.get()) != ARCHIVE_OK) {
      fail(archivePath, std::string("cannot finish: ") + libarchive.error_string(writer.get()));
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
