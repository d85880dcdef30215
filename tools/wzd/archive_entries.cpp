#include "archive_entries.hpp"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <system_error>

#include "component_tree.hpp"
#include "ctf/opc_exception.hpp"

namespace wzd {

namespace {

// Feeds libarchive the span of an open file as if it were the whole file.
class SpanSource {
 public:
  SpanSource(int file, Ostrand::ctfdata::CTFArchiveSpan span) : file_(file), span_(span) {}

  static la_ssize_t read(archive*, void* data, const void** buffer) {
    auto& self = *static_cast<SpanSource*>(data);
    *buffer = self.buffer_;
    if (self.position_ >= self.span_.size) return 0;
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(sizeof self.buffer_, self.span_.size - self.position_));
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
    auto& self = *static_cast<SpanSource*>(data);
    la_int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<la_int64_t>(self.position_);
    if (whence == SEEK_END) base = static_cast<la_int64_t>(self.span_.size);
    if (offset > 0 && base > INT64_MAX - offset) return ARCHIVE_FATAL;
    if (base + offset < 0) return ARCHIVE_FATAL;
    self.position_ = static_cast<std::uint64_t>(base + offset);
    return base + offset;
  }
  static la_int64_t skip(archive* handle, void* data, la_int64_t request) {
    auto& self = *static_cast<SpanSource*>(data);
    const la_int64_t before = static_cast<la_int64_t>(self.position_);
    if (request <= 0) return 0;
    const la_int64_t after = seek(handle, data, request, SEEK_CUR);
    return after < 0 ? 0 : after - before;
  }

 private:
  int file_;
  Ostrand::ctfdata::CTFArchiveSpan span_;
  std::uint64_t position_ = 0;
  unsigned char buffer_[65536];
};

struct OpenFile {
  explicit OpenFile(int opened) : descriptor(opened) {}
  ~OpenFile() {
    if (descriptor >= 0) ::close(descriptor);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  const int descriptor;
};

ArchiveEntry::Type typeOf(mode_t type) {
  switch (type) {
    case AE_IFREG:
      return ArchiveEntry::Type::File;
    case AE_IFDIR:
      return ArchiveEntry::Type::Folder;
    case AE_IFLNK:
      return ArchiveEntry::Type::Link;
    default:
      return ArchiveEntry::Type::Other;
  }
}

}  // namespace

ArchiveListing readArchiveEntries(const std::string& path,
                                  const std::function<bool(const std::string&)>& wantContents) {
  ArchiveListing listing;
  try {
    listing.span = Ostrand::ctfdata::CTFFileReaderFactory().locate(path);
  } catch (const opc::Exception& error) {
    throw InputError(error.what());
  }
  const OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (file.descriptor < 0) throw InputError(path + ": " + std::generic_category().message(errno));
  auto source = std::make_unique<SpanSource>(file.descriptor, listing.span);
  std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
  if (!reader) throw std::bad_alloc();
  const auto failed = [&]() {
    const char* text = archive_error_string(reader.get());
    return InputError(path + ": " + (text ? text : "unreadable ZIP archive"));
  };
  archive_read_support_format_zip_seekable(reader.get());
  archive_read_set_callback_data(reader.get(), source.get());
  archive_read_set_read_callback(reader.get(), &SpanSource::read);
  archive_read_set_seek_callback(reader.get(), &SpanSource::seek);
  archive_read_set_skip_callback(reader.get(), &SpanSource::skip);
  if (archive_read_open1(reader.get()) != ARCHIVE_OK) throw failed();

  archive_entry* stored = nullptr;
  for (;;) {
    const int status = archive_read_next_header(reader.get(), &stored);
    if (status == ARCHIVE_EOF) break;
    if (status != ARCHIVE_OK) throw failed();
    ArchiveEntry entry;
    const char* name = archive_entry_pathname(stored);
    entry.name = name ? name : "";
    entry.type = typeOf(archive_entry_filetype(stored));
    entry.mode = archive_entry_perm(stored);
    entry.size = static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(stored)));
    const char* link = archive_entry_symlink(stored);
    if (link) entry.linkTarget = link;
    if (entry.type == ArchiveEntry::Type::File && wantContents(entry.name)) {
      char buffer[65536];
      for (;;) {
        const la_ssize_t got = archive_read_data(reader.get(), buffer, sizeof buffer);
        if (got < 0) throw failed();
        if (got == 0) break;
        if (entry.contents.size() + static_cast<std::uint64_t>(got) > kMaxReadEntryBytes) {
          throw InputError(path + ": entry \"" + entry.name + "\" is larger than " +
                           std::to_string(kMaxReadEntryBytes) + " bytes");
        }
        entry.contents.append(buffer, static_cast<std::size_t>(got));
      }
    }
    listing.entries.push_back(std::move(entry));
  }
  return listing;
}

}  // namespace wzd
