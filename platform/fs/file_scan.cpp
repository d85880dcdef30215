#include "fs/file_scan.hpp"

#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <utility>
#include <vector>

#include "fs/errors.hpp"
#include "fs/path_string.hpp"

dsStringProcedure::~dsStringProcedure() = default;

void dsIgnoreString::operator()(const std::string&) const {}

dsDirectorySizeAdder::dsDirectorySizeAdder(std::uint64_t& total, dsFileSystemPtr fileSystem)
    : total_(&total), fileSystem_(std::move(fileSystem)) {}

void dsDirectorySizeAdder::operator()(const std::string& path) const {
  struct stat status;
  if (fileSystem_->lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return;
    dsThrowFileError("cannot measure", path, errno);
  }
  *total_ += static_cast<std::uint64_t>(status.st_size);
}

namespace {

constexpr int kKnownFlags = dsFindRecursive | dsFindFilesOnly | dsFindHidden;

struct Entry {
  std::string name;
  unsigned char type;  // d_type: DT_DIR, DT_REG, DT_LNK, ..., DT_UNKNOWN when not told
  bool operator<(const Entry& other) const { return name < other.name; }
};

// The entries of directory other than "." and "..", read completely before any is looked at, so
// that only one directory stream is open at a time however deep a walk goes. A directory that is
// missing has no entries when missingIsEmpty is set (a walk's subdirectory that vanished).
std::vector<Entry> listEntries(dsFileSystem& fileSystem, const std::string& directory,
                               bool missingIsEmpty) {
  DIR* stream = fileSystem.opendir(directory.c_str());
  if (stream == nullptr) {
    if (missingIsEmpty && errno == ENOENT) return {};
    dsThrowFileError("cannot list directory", directory, errno);
  }
  std::vector<Entry> entries;
  for (;;) {
    errno = 0;
    struct dirent* entry = fileSystem.readdir(stream);
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") entries.push_back(Entry{name, entry->d_type});
  }
  const int error = errno;
  fileSystem.closedir(stream);
  if (error != 0) dsThrowFileError("cannot read directory", directory, error);
  return entries;
}

enum class EntryKind { directory, other, vanished };

// What the entry found at path is. The listing tells most file systems' entry types without a
// system call; lstat answers where it does not.
EntryKind kindOf(dsFileSystem& fileSystem, const Entry& entry, const std::string& path) {
  if (entry.type == DT_DIR) return EntryKind::directory;
  if (entry.type != DT_UNKNOWN) return EntryKind::other;
  struct stat status;
  if (fileSystem.lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return EntryKind::vanished;
    dsThrowFileError("cannot examine", path, errno);
  }
  return S_ISDIR(status.st_mode) ? EntryKind::directory : EntryKind::other;
}

class Scan {
 public:
  Scan(dsFileSystem& fileSystem, std::string namePattern, const dsStringProcedure& files,
       const dsStringProcedure& dirs, int flags, bool sortByName)
      : fileSystem_(fileSystem),
        namePattern_(std::move(namePattern)),
        files_(files),
        dirs_(dirs),
        flags_(flags),
        sortByName_(sortByName) {}

  // prefix is what entry names are appended to: "" for the current directory, else the
  // directory's path followed by one separator.
  void walk(const std::string& directory, const std::string& prefix, bool top) {
    std::vector<Entry> entries = listEntries(fileSystem_, directory, !top);
    if (sortByName_) std::sort(entries.begin(), entries.end());
    for (const Entry& entry : entries) {
      const std::string& name = entry.name;
      if (name[0] == '.' && !(flags_ & dsFindHidden)) continue;
      const bool matches = ::fnmatch(namePattern_.c_str(), name.c_str(), 0) == 0;
      // What an entry is matters only when it is reported or walked into.
      if (!matches && !(flags_ & dsFindRecursive)) continue;
      const std::string path = prefix + name;
      const EntryKind kind = kindOf(fileSystem_, entry, path);
      if (kind == EntryKind::directory) {
        if (matches && !(flags_ & dsFindFilesOnly)) dirs_(path);
        if (flags_ & dsFindRecursive) walk(path, path + "/", false);
      } else if (kind == EntryKind::other && matches) {
        files_(path);
      }
    }
  }

 private:
  dsFileSystem& fileSystem_;
  const std::string namePattern_;
  const dsStringProcedure& files_;
  const dsStringProcedure& dirs_;
  const int flags_;
  const bool sortByName_;
};

}  // namespace

void dsFindMatchingFilesAndDirs(const char* pattern, const dsStringProcedure& files,
                                const dsStringProcedure& dirs, int flags, bool sortByName,
                                dsFileSystemPtr fileSystem) {
  if (pattern == nullptr) throw std::invalid_argument("file scan without a pattern");
  if (flags & ~kKnownFlags) {
    throw std::invalid_argument("unknown file scan flags " + std::to_string(flags));
  }
  const std::string text = dsPathString(pattern).str();
  const std::size_t split = text.rfind('/');
  std::string directory = ".";
  std::string prefix;
  if (split != std::string::npos) {
    directory = split == 0 ? "/" : text.substr(0, split);
    prefix = text.substr(0, split + 1);
  }
  Scan(*fileSystem, text.substr(split == std::string::npos ? 0 : split + 1), files, dirs, flags,
       sortByName)
      .walk(directory, prefix, true);
}

std::vector<std::string> dsListFolderNames(const std::string& directory,
                                           dsFileSystemPtr fileSystem) {
  std::vector<std::string> names;
  for (Entry& entry : listEntries(*fileSystem, directory, false)) {
    if (entry.name[0] == '.') continue;
    if (kindOf(*fileSystem, entry, directory + "/" + entry.name) == EntryKind::directory) {
      names.push_back(std::move(entry.name));
    }
  }
  return names;
}
