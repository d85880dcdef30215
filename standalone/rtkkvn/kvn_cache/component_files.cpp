#include "rtkkvn/kvn_cache/component_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fs/cleanup_guard.hpp"
#include "fs/file_operations.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"

namespace {

namespace stdfs = std::filesystem;

// A list larger than this is not read: it would name more files than any component has.
constexpr std::size_t kMaxFileListBytes = 64u << 20;
constexpr char kPreferencesFolderName[] = ".sorvel";

struct ListedEntry {
  char type = 'f';  // 'd', 'f' or 'l'
  std::uint64_t size = 0;
  std::int64_t changeSeconds = 0;
  std::int64_t changeNanoseconds = 0;
  std::uint64_t hash = 0;
  std::string path;  // relative to the component folder
};

bool isRuntimeFile(const std::string& relative) {
  return relative == kComponentFileListName || relative == kCreatedMarkerFileName ||
         relative == kBytesUsedFileName || relative == kPreferencesFolderName ||
         relative.compare(0, sizeof kPreferencesFolderName,
                          std::string(kPreferencesFolderName) + "/") == 0;
}

// Names may hold any byte but "/" and zero; a line feed and the backslash are escaped so that a
// name is always the rest of one line.
std::string escaped(const std::string& path) {
  std::string text;
  for (const char c : path) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else {
      text += c;
    }
  }
  return text;
}

std::string unescaped(const std::string& text) {
  std::string path;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      path += text[++i] == 'n' ? '\n' : text[i];
    } else {
      path += text[i];
    }
  }
  return path;
}

// The XXH3-64 of the regular file at path, read without following a link; false when it cannot
// be read.
bool hashFile(const std::string& path, std::uint64_t& hash) {
  const int descriptor = dsOpenRegularFile(path);
  if (descriptor < 0) return false;
  XXH3_state_t* state = XXH3_createState();
  bool ok = state && XXH3_64bits_reset(state) == XXH_OK;
  std::vector<char> buffer(1 << 16);
  while (ok) {
    const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ok = count == 0;
      break;
    }
    ok = XXH3_64bits_update(state, buffer.data(), static_cast<std::size_t>(count)) == XXH_OK;
  }
  if (ok) hash = XXH3_64bits_digest(state);
  XXH3_freeState(state);
  ::close(descriptor);
  return ok;
}

bool hashLink(const std::string& path, std::uint64_t& hash, std::uint64_t& size) {
  std::error_code error;
  const std::string target = stdfs::read_symlink(path, error).string();
  if (error) return false;
  hash = XXH3_64bits(target.data(), target.size());
  size = target.size();
  return true;
}

std::vector<ListedEntry> listFolder(const std::string& folder) {
  std::vector<ListedEntry> entries;
  std::error_code error;
  for (stdfs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string relative = it->path().lexically_relative(folder).string();
    if (isRuntimeFile(relative)) {
      if (it->is_directory(error)) it.disable_recursion_pending();
      continue;
    }
    struct stat status;
    if (::lstat(it->path().c_str(), &status) != 0) {
      throw std::runtime_error(it->path().string() + ": cannot examine: " + std::strerror(errno));
    }
    ListedEntry entry;
    entry.path = relative;
    entry.changeSeconds = status.st_ctim.tv_sec;
    entry.changeNanoseconds = status.st_ctim.tv_nsec;
    if (S_ISDIR(status.st_mode)) {
      entry.type = 'd';
    } else if (S_ISLNK(status.st_mode)) {
      entry.type = 'l';
      if (!hashLink(it->path().string(), entry.hash, entry.size)) {
        throw std::runtime_error(it->path().string() + ": cannot read the link");
      }
    } else if (S_ISREG(status.st_mode)) {
      entry.size = static_cast<std::uint64_t>(status.st_size);
      if (!hashFile(it->path().string(), entry.hash)) {
        throw std::runtime_error(it->path().string() + ": cannot read: " + std::strerror(errno));
      }
    } else {
      throw std::runtime_error(it->path().string() + ": not a file, folder or link");
    }
    entries.push_back(std::move(entry));
  }
  if (error) throw std::runtime_error(folder + ": cannot list: " + error.message());
  std::sort(entries.begin(), entries.end(),
            [](const ListedEntry& a, const ListedEntry& b) { return a.path < b.path; });
  return entries;
}

std::vector<ListedEntry> listUnpacked(const std::vector<Ostrand::ctfpack::UnpackedEntry>& made) {
  using Kind = Ostrand::ctfpack::UnpackedEntry::Kind;
  std::vector<ListedEntry> entries;
  entries.reserve(made.size());
  for (const Ostrand::ctfpack::UnpackedEntry& unpacked : made) {
    if (isRuntimeFile(unpacked.name)) continue;
    ListedEntry entry;
    entry.type = unpacked.kind == Kind::folder ? 'd' : unpacked.kind == Kind::link ? 'l' : 'f';
    entry.size = unpacked.size;
    entry.changeSeconds = unpacked.changeSeconds;
    entry.changeNanoseconds = unpacked.changeNanoseconds;
    entry.hash = unpacked.contentHash;
    entry.path = unpacked.name;
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const ListedEntry& a, const ListedEntry& b) { return a.path < b.path; });
  return entries;
}

std::string lineOf(const ListedEntry& entry) {
  char numbers[96];
  if (entry.type == 'd') {
    std::snprintf(numbers, sizeof numbers, "d - - -");
  } else {
    std::snprintf(numbers, sizeof numbers, "%c %" PRIu64 " %" PRId64 ".%09" PRId64 " %016" PRIx64,
                  entry.type, entry.size, entry.changeSeconds, entry.changeNanoseconds, entry.hash);
  }
  return std::string(numbers) + " " + escaped(entry.path) + "\n";
}

// White space as the C locale's isspace has it, which is what a string stream skips.
bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next field of line from at on: white space skipped, then everything up to the next white
// space (as a stream's >> reads a string). Empty at the end of the line.
std::string_view nextField(std::string_view line, std::size_t& at) {
  while (at < line.size() && isSpace(line[at])) ++at;
  const std::size_t start = at;
  while (at < line.size() && !isSpace(line[at])) ++at;
  return line.substr(start, at - start);
}

// A whole field as a number in base, as strtoull/strtoll read it (a sign is allowed). Plain
// digits, as the list is written, are converted in place.
template <typename Number>
bool wholeNumber(std::string_view field, int base, Number& value) {
  const char* end = field.data() + field.size();
  if (!field.empty() && field[0] != '+' && field[0] != '-') {
    const std::from_chars_result plain = std::from_chars(field.data(), end, value, base);
    if (plain.ec == std::errc() && plain.ptr == end) return true;
  }
  char text[32];
  if (field.empty() || field.size() >= sizeof text) return false;
  field.copy(text, field.size());
  text[field.size()] = '\0';
  char* stop = nullptr;
  if constexpr (std::is_signed_v<Number>) {
    value = std::strtoll(text, &stop, base);
  } else {
    value = std::strtoull(text, &stop, base);
  }
  return *stop == '\0';
}

// Reads "<seconds>.<nanoseconds>" at the start of field (what follows the second number is not
// looked at); each number may carry a sign.
bool changeTime(std::string_view field, ListedEntry& entry) {
  const std::size_t dot = field.find('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::size_t digits = dot + 1;
  if (digits < field.size() && (field[digits] == '+' || field[digits] == '-')) ++digits;
  std::size_t end = digits;
  while (end < field.size() && field[end] >= '0' && field[end] <= '9') ++end;
  return end > digits && wholeNumber(field.substr(0, dot), 10, entry.changeSeconds) &&
         wholeNumber(field.substr(dot + 1, end - dot - 1), 10, entry.changeNanoseconds);
}

// One line of the list (without its line feed). Hand-written rather than a string stream: a
// warm start reads every line of the list while it holds the cache's lock.
bool parseLine(std::string_view line, ListedEntry& entry) {
  std::size_t at = 0;
  const std::string_view type = nextField(line, at);
  const std::string_view size = nextField(line, at);
  const std::string_view change = nextField(line, at);
  const std::string_view hash = nextField(line, at);
  if (hash.empty() || type.size() != 1 || at >= line.size() || line[at] != ' ') return false;
  entry.type = type[0];
  entry.path.clear();
  const std::string_view name = line.substr(at + 1);
  if (name.find('\\') == std::string_view::npos) {
    entry.path.assign(name);
  } else {
    entry.path = unescaped(std::string(name));
  }
  if (entry.path.empty()) return false;
  if (entry.type == 'd') return size == "-";
  if (entry.type != 'f' && entry.type != 'l') return false;
  return wholeNumber(size, 10, entry.size) && changeTime(change, entry) &&
         wholeNumber(hash, 16, entry.hash);
}

const char* typeName(char type) {
  return type == 'd' ? "a folder" : type == 'l' ? "a link" : "a file";
}

// The folders of a component as its entries are checked, in list order: the folder of the entry
// just looked at stays open, so that the kernel walks only the last part of each name rather
// than every folder above it again.
class FolderCursor {
 public:
  explicit FolderCursor(int componentFolder) : componentFolder_(componentFolder) {}
  ~FolderCursor() { closeOpen(); }
  FolderCursor(const FolderCursor&) = delete;
  FolderCursor& operator=(const FolderCursor&) = delete;

  // lstat of relative (a name inside the component folder, without a leading "/"); false when
  // it, or a folder on its way, is missing. The entry's own folder is opened without following
  // a link; a folder replaced by a link is reported by its own entry, which the list holds
  // before the names inside it.
  bool status(std::string_view relative, struct stat& result) {
    const std::size_t slash = relative.rfind('/');
    int folder = componentFolder_;
    std::string_view leaf = relative;
    if (slash != std::string_view::npos) {
      const std::string_view parent = relative.substr(0, slash);
      if (parent != openName_ || open_ < 0) {
        closeOpen();
        openName_.assign(parent);
        open_ = ::openat(componentFolder_, openName_.c_str(),
                         O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      }
      if (open_ < 0) return false;
      folder = open_;
      leaf = relative.substr(slash + 1);
    }
    leaf_.assign(leaf);
    return ::fstatat(folder, leaf_.c_str(), &result, AT_SYMLINK_NOFOLLOW) == 0;
  }

 private:
  void closeOpen() {
    if (open_ >= 0) ::close(open_);
    open_ = -1;
  }

  int componentFolder_;
  int open_ = -1;
  std::string openName_;
  std::string leaf_;  // the name, ended by a zero byte for the kernel
};

// What is wrong with one listed entry; "" when nothing is. folders looks at the entry.
std::string damageOf(const std::string& folder, FolderCursor& folders, const ListedEntry& entry,
                     bool fullCheck) {
  // Made only when the entry is read or named in full.
  const auto path = [&] { return folder + "/" + entry.path; };
  // As in path(), a leading "/" of the listed name does not leave the folder.
  const std::size_t relative = entry.path.find_first_not_of('/');
  struct stat status;
  if (relative == std::string::npos ||
      !folders.status(std::string_view(entry.path).substr(relative), status)) {
    return entry.path + ": missing";
  }
  const char found = S_ISDIR(status.st_mode)   ? 'd'
                     : S_ISLNK(status.st_mode) ? 'l'
                     : S_ISREG(status.st_mode) ? 'f'
                                               : '?';
  if (found != entry.type) {
    return entry.path + ": " + (found == '?' ? "something else" : typeName(found)) + ", " +
           typeName(entry.type) + " when unpacked";
  }
  if (entry.type == 'd') return "";
  std::uint64_t hash = 0;
  std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
  if (entry.type == 'l' && !hashLink(path(), hash, size)) return entry.path + ": unreadable link";
  if (size != entry.size) {
    return entry.path + ": " + std::to_string(size) + " bytes, " + std::to_string(entry.size) +
           " when unpacked";
  }
  const bool unchanged = status.st_ctim.tv_sec == entry.changeSeconds &&
                         status.st_ctim.tv_nsec == entry.changeNanoseconds;
  if (entry.type == 'f' && (fullCheck || !unchanged)) {
    if (!hashFile(path(), hash)) return entry.path + ": unreadable";
  } else if (entry.type == 'f') {
    return "";
  }
  return hash == entry.hash ? "" : entry.path + ": content changed since it was unpacked";
}

}  // namespace

void recordComponentFiles(const std::string& folder,
                          const std::vector<Ostrand::ctfpack::UnpackedEntry>* made,
                          dsFileSystem& fileSystem, bool durable) {
  std::string text;
  for (const ListedEntry& entry : made ? listUnpacked(*made) : listFolder(folder)) {
    text += lineOf(entry);
  }
  const std::string path = folder + "/" + kComponentFileListName;
  const int descriptor =
      fileSystem.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (descriptor < 0) throw std::runtime_error(path + ": cannot create: " + std::strerror(errno));
  std::size_t done = 0;
  int error = 0;
  while (done < text.size() && error == 0) {
    const ssize_t count = fileSystem.write(descriptor, text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      error = count < 0 ? errno : EIO;
    } else {
      done += static_cast<std::size_t>(count);
    }
  }
  if (error == 0 && durable && fileSystem.fsync(descriptor) != 0) error = errno;
  // A failed close may be the first report of a write that did not reach the disk.
  if (fileSystem.close(descriptor) != 0 && error == 0) error = errno;
  if (error != 0) throw std::runtime_error(path + ": cannot write: " + std::strerror(error));
}

std::string findComponentDamage(const std::string& folder, bool fullCheck) {
  const std::string listPath = folder + "/" + kComponentFileListName;
  std::string text;
  if (!dsReadSmallFile(listPath, kMaxFileListBytes, text)) {
    return std::string(kComponentFileListName) + ": " + std::strerror(errno);
  }
  const int folderDescriptor =
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folderDescriptor < 0) return folder + ": " + std::strerror(errno);
  const dsCleanupFunctionGuard closeFolder([folderDescriptor] { ::close(folderDescriptor); });
  std::string_view lines(text);
  std::size_t files = 0;
  ListedEntry entry;  // one for every line: its name keeps its memory
  FolderCursor folders(folderDescriptor);
  while (!lines.empty()) {
    const std::size_t end = lines.find('\n');
    const std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    if (!parseLine(line, entry)) return std::string(kComponentFileListName) + ": damaged";
    std::string damage = damageOf(folder, folders, entry, fullCheck);
    if (!damage.empty()) return damage;
    ++files;
  }
  if (files == 0) return std::string(kComponentFileListName) + ": empty";
  return "";
}
