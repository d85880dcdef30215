#include "ctf/folder_writer.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ctf/opc_exception.hpp"
#include "ctf/unpack_plan.hpp"
#include "ctf/zip_directory.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

// O_NONBLOCK: a FIFO planted where a folder should be is refused rather than waited on.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr mode_t kImpliedFolderMode = 0755;
// Folders stay open to their owner until finish() gives them their own modes.
constexpr mode_t kWorkingFolderMode = 0700;

// The process's umask, read without changing it (umask(2) can only be read by setting it, which
// would race with other threads creating files).
mode_t currentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned value = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &value) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(value & 0777);
  }
  const mode_t value = ::umask(022);
  ::umask(value);
  return value;
}

// folder below root in one step, refusing links and anything outside root on the way; -1 (errno
// set) when that fails for any reason, the kernel's lack of openat2 included.
int openBeneath(dsFileSystem& fileSystem, int root, const std::string& folder) {
  struct open_how how {};
  how.flags = kFolderFlags;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
  return fileSystem.openat2(root, folder.c_str(), &how, sizeof how);
}

std::string parentName(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

std::vector<std::string> elementsOf(const std::string& folder) {
  std::vector<std::string> elements;
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t stop = folder.find('/', start);
    if (stop == std::string::npos) stop = folder.size();
    elements.push_back(folder.substr(start, stop - start));
    start = stop + 1;
  }
  return elements;
}

// Folders in the order of a walk through the tree that leaves each folder after everything below
// it: a folder comes after its descendants, and each subtree is contiguous.
bool beforeInPostOrder(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return a.size() > b.size();
}

struct timespec* timesOf(std::time_t modified, struct timespec (&times)[2]) {
  times[0].tv_sec = times[1].tv_sec = modified;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  return times;
}

}  // namespace

namespace {
thread_local int unpacksWithoutFlush = 0;  // UnpackWithoutFlushScope objects of this thread
}  // namespace

FolderWriter::FolderWriter(const std::string& archive, const std::string& folder,
                           dsFileSystem& fileSystem)
    : fileSystem_(fileSystem),
      archive_(archive),
      folder_(folder),
      umask_(currentUmask()),
      flush_(unpacksWithoutFlush == 0) {
  folders_[""];
  // What the destructor gives back is taken last, and given back here if a later step throws:
  // a constructor that throws runs no destructor.
  root_ = fileSystem_.open(folder.c_str(), kFolderFlags, 0);
  if (root_ < 0) {
    const int error = errno;
    refuse("", "cannot open " + inQuotes(folder), error);
  }
  hash_ = XXH3_createState();
  if (!hash_) {
    closeIfOpen(root_);
    throw std::bad_alloc();
  }
}

FolderWriter::~FolderWriter() {
  closeIfOpen(cached_);
  closeIfOpen(file_);
  closeIfOpen(root_);
  XXH3_freeState(hash_);
}

void FolderWriter::closeIfOpen(int& descriptor) {
  if (descriptor >= 0) fileSystem_.close(descriptor);
  descriptor = -1;
}

void FolderWriter::refuse(const std::string& entry, const std::string& what, int error) const {
  refuseArchive(archive_,
                (entry.empty() ? std::string() : "cannot unpack entry " + shownName(entry) + ": ") +
                    what + (error != 0 ? ": " + systemText(error) : std::string()));
}

void FolderWriter::refuseWithErrno(const std::string& entry, const char* what) const {
  const int error = errno;
  refuse(entry, what, error);
}

int FolderWriter::folderDescriptor(const std::string& folder, bool make, const std::string& entry) {
  if (folder.empty()) return root_;
  if (cached_ >= 0 && folder == cachedName_) return cached_;
  // Below the cached folder: go on from there. Elsewhere: one step from the root, and the walk
  // element by element only for what that cannot do (make folders, name what is in the way).
  int current = root_;
  std::size_t start = 0;
  if (cached_ >= 0 && folder.size() > cachedName_.size() &&
      folder.compare(0, cachedName_.size(), cachedName_) == 0 &&
      folder[cachedName_.size()] == '/') {
    current = cached_;
    start = cachedName_.size() + 1;
  } else {
    const int whole = openBeneath(fileSystem_, root_, folder);
    if (whole >= 0) {
      closeIfOpen(cached_);
      cached_ = whole;
      cachedName_ = folder;
      return cached_;
    }
  }
  const auto release = [&](int descriptor) {
    if (descriptor != root_ && descriptor != cached_) fileSystem_.close(descriptor);
  };
  while (start < folder.size()) {
    std::size_t stop = folder.find('/', start);
    if (stop == std::string::npos) stop = folder.size();
    const std::string element = folder.substr(start, stop - start);
    const std::string walked = folder.substr(0, stop);
    int next = fileSystem_.openat(current, element.c_str(), kFolderFlags, 0);
    if (next < 0 && errno == ENOENT && make) {
      if (fileSystem_.mkdirat(current, element.c_str(), kWorkingFolderMode) == 0) {
        FolderState& state = folders_[walked];
        state.madeHere = true;
        state.mode = kImpliedFolderMode;
        folders_[parentName(walked)];  // holds a new entry
      } else if (errno != EEXIST) {
        const int error = errno;
        release(current);
        refuse(entry, "cannot make folder " + shownName(walked), error);
      }
      next = fileSystem_.openat(current, element.c_str(), kFolderFlags, 0);
    }
    const int error = errno;
    release(current);
    if (next < 0) {
      const bool inTheWay = error == ELOOP || error == ENOTDIR;
      refuse(entry,
             shownName(walked) +
                 (inTheWay ? " is in the way and is not a folder" : " cannot be opened"),
             inTheWay ? 0 : error);
    }
    current = next;
    start = stop + 1;
  }
  closeIfOpen(cached_);
  cached_ = current;
  cachedName_ = folder;
  return cached_;
}

int FolderWriter::parentOf(const std::string& name, std::string& leaf) {
  const std::size_t slash = name.rfind('/');
  leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  const std::string parent = parentName(name);
  const int descriptor = folderDescriptor(parent, true, name);
  folders_[parent];  // holds a new entry
  return descriptor;
}

void FolderWriter::makeFolder(const std::string& name, mode_t mode, std::time_t modified) {
  std::string leaf;
  const int parent = parentOf(name, leaf);
  const bool made = fileSystem_.mkdirat(parent, leaf.c_str(), kWorkingFolderMode) == 0;
  if (!made && errno != EEXIST) {
    const int error = errno;
    refuse(name, "cannot make the folder", error);
  }
  // A folder that exists must be a real folder: open it the way every later walk will.
  folderDescriptor(name, false, name);
  FolderState& state = folders_[name];
  state.madeHere = state.madeHere || made;
  state.declared = true;
  state.mode = mode & 0777;
  state.modified = modified;
}

void FolderWriter::recordMade(UnpackedEntry entry, int folder, const char* leaf) {
  // An empty leaf: folder is the file itself.
  struct stat status;
  if (fileSystem_.fstatat(folder, leaf, &status, *leaf ? AT_SYMLINK_NOFOLLOW : AT_EMPTY_PATH) !=
      0) {
    refuseWithErrno(entry.name, "cannot examine what was written");
  }
  entry.changeSeconds = status.st_ctim.tv_sec;
  entry.changeNanoseconds = status.st_ctim.tv_nsec;
  made_.push_back(std::move(entry));
}

void FolderWriter::makeLink(const std::string& name, const std::string& target,
                            std::time_t modified) {
  std::string leaf;
  const int parent = parentOf(name, leaf);
  if (fileSystem_.symlinkat(target.c_str(), parent, leaf.c_str()) != 0) {
    const int error = errno;
    refuse(name, error == EEXIST ? "something of that name exists already" : "cannot make the link",
           error == EEXIST ? 0 : error);
  }
  struct timespec times[2];
  if (fileSystem_.utimensat(parent, leaf.c_str(), timesOf(modified, times), AT_SYMLINK_NOFOLLOW) !=
      0) {
    refuseWithErrno(name, "cannot set the link's time");
  }
  recordMade(
      {UnpackedEntry::Kind::link, name, target.size(), XXH3_64bits(target.data(), target.size())},
      parent, leaf.c_str());
}

void FolderWriter::createFile(const std::string& name, mode_t mode) {
  std::string leaf;
  const int parent = parentOf(name, leaf);
  closeIfOpen(file_);
  file_ = fileSystem_.openat(parent, leaf.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777);
  if (file_ < 0) {
    const int error = errno;
    refuse(name, error == EEXIST ? "something of that name exists already" : "cannot make the file",
           error == EEXIST ? 0 : error);
  }
  fileName_ = name;
  fileSize_ = 0;
  XXH3_64bits_reset(hash_);
}

void FolderWriter::write(const void* data, std::size_t size) {
  XXH3_64bits_update(hash_, data, size);
  fileSize_ += size;
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t done = fileSystem_.write(file_, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) refuseWithErrno(fileName_, "cannot write");
    // A regular file takes at least one byte or says why not; anything else must not loop here.
    if (done == 0) refuse(fileName_, "cannot write: the file takes no more bytes", 0);
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
}

void FolderWriter::closeFile(std::time_t modified) {
  struct timespec times[2];
  if (fileSystem_.futimens(file_, timesOf(modified, times)) != 0)
    refuseWithErrno(fileName_, "cannot set its time");
  recordMade({UnpackedEntry::Kind::file, fileName_, fileSize_, XXH3_64bits_digest(hash_)}, file_,
             "");
  // Writeback starts now; finish() waits for all of it at once, which costs one flush of the
  // file system instead of one journal commit per file. It reports a write that already failed.
  if (flush_ && fileSystem_.sync_file_range(file_, 0, 0, SYNC_FILE_RANGE_WRITE) != 0) {
    refuseWithErrno(fileName_, "cannot write it to disk");
  }
  const int result = fileSystem_.close(file_);
  file_ = -1;
  if (result != 0) refuseWithErrno(fileName_, "cannot write it to disk");
}

void FolderWriter::finish() {
  std::vector<std::pair<std::vector<std::string>, std::string>> order;
  order.reserve(folders_.size());
  for (const auto& [name, state] : folders_) order.emplace_back(elementsOf(name), name);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return beforeInPostOrder(a.first, b.first); });
  for (const auto& [elements, name] : order) {
    const FolderState& state = folders_[name];
    if (!name.empty()) made_.push_back({UnpackedEntry::Kind::folder, name});
    const int folder = folderDescriptor(name, false, name);
    if (state.madeHere && fileSystem_.fchmod(folder, state.mode & ~umask_) != 0) {
      refuseWithErrno(name, "cannot set the folder's mode");
    }
    struct timespec times[2];
    if (state.madeHere && state.declared &&
        fileSystem_.futimens(folder, timesOf(state.modified, times)) != 0) {
      refuseWithErrno(name, "cannot set the folder's time");
    }
  }
  // Everything written (files, folders, the folder's own entry in its parent) reaches the disk
  // before the unpack counts as done: one flush of the file system that holds the folder.
  const int root = folderDescriptor("", false, "");
  if (flush_ && fileSystem_.syncfs(root) != 0) {
    refuseWithErrno("", "cannot write the unpacked files to disk");
  }
  closeIfOpen(cached_);
}

}  // namespace Ostrand::ctfpack::detail

namespace Ostrand::ctfpack {

UnpackWithoutFlushScope::UnpackWithoutFlushScope() { ++detail::unpacksWithoutFlush; }
UnpackWithoutFlushScope::~UnpackWithoutFlushScope() { --detail::unpacksWithoutFlush; }

}  // namespace Ostrand::ctfpack
