#include "fs/file_operations.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "fs/errors.hpp"
#include "fs/path_string.hpp"

namespace {

// The normalised path without a trailing separator, so that lstat on it examines a link
// rather than what the link points to.
std::string withoutTrailingSeparator(const std::string& path) {
  std::string text = dsPathString(path).str();
  if (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool statOf(const char* path, struct stat& status) {
  if (path == nullptr) return false;
  return dsGetDefaultFSImp()->stat(withoutTrailingSeparator(path).c_str(), &status) == 0;
}

// Removes path (already examined with lstat) and what lies below it; false when anything
// remains.
bool removeTree(dsFileSystem& fileSystem, const std::string& path, const struct stat& status) {
  if (!S_ISDIR(status.st_mode)) {
    return fileSystem.unlink(path.c_str()) == 0 || errno == ENOENT;
  }
  bool complete = true;
  std::vector<std::string> names;
  if (DIR* stream = fileSystem.opendir(path.c_str())) {
    for (;;) {
      errno = 0;
      struct dirent* entry = fileSystem.readdir(stream);
      if (entry == nullptr) {
        if (errno != 0) complete = false;
        break;
      }
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    fileSystem.closedir(stream);
  } else if (errno != ENOENT) {
    complete = false;
  }
  for (const std::string& name : names) {
    const std::string child = path == "/" ? "/" + name : path + "/" + name;
    struct stat childStatus;
    if (fileSystem.lstat(child.c_str(), &childStatus) != 0) {
      if (errno != ENOENT) complete = false;
      continue;
    }
    if (!removeTree(fileSystem, child, childStatus)) complete = false;
  }
  if (fileSystem.rmdir(path.c_str()) != 0 && errno != ENOENT) complete = false;
  return complete;
}

}  // namespace

bool dsIsDirectory(const char* path) {
  struct stat status;
  return statOf(path, status) && S_ISDIR(status.st_mode);
}
bool dsIsDirectory(const std::string& path) { return dsIsDirectory(path.c_str()); }

bool dsFileOrDirExists(const char* path) {
  struct stat status;
  return statOf(path, status);
}
bool dsFileOrDirExists(const std::string& path) { return dsFileOrDirExists(path.c_str()); }

bool dsFileExists(const char* path) {
  struct stat status;
  return statOf(path, status) && !S_ISDIR(status.st_mode);
}
bool dsFileExists(const std::string& path) { return dsFileExists(path.c_str()); }

bool dsIsRootDir(const char* path) { return path != nullptr && dsPathString(path).isRoot(); }
bool dsIsRootDir(const std::string& path) { return dsPathString(path).isRoot(); }

void dsCreateDirectories(const std::string& path, mode_t mode, dsFileSystemPtr fileSystem) {
  const std::string target = withoutTrailingSeparator(dsPathString(path).str());
  // Each prefix ending before a separator, then the whole path.
  for (std::size_t end = target.find('/', 1);; end = target.find('/', end + 1)) {
    const std::string folder = target.substr(0, end);
    if (!folder.empty() && fileSystem->mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) {
      dsThrowFileError("cannot create directory", folder, errno);
    }
    if (end == std::string::npos) break;
  }
  if (!dsIsDirectory(target)) dsThrowFileError("cannot create directory", target, ENOTDIR);
}

bool dsRemoveRF(const std::string& path, dsFileSystemPtr fileSystem) {
  const std::string target = withoutTrailingSeparator(path);
  if (dsPathString(target).isRoot()) {
    throw std::invalid_argument("refusing to remove the root directory");
  }
  struct stat status;
  if (fileSystem->lstat(target.c_str(), &status) != 0) {
    dsThrowFileError("cannot remove", target, errno);
  }
  return removeTree(*fileSystem, target, status);
}

std::string dsCanonicalizePath(const std::string& path, dsFileSystemPtr fileSystem) {
  dsPathString normalised(path);
  std::string absolute = normalised.str();
  if (!normalised.isAbsolute()) {
    std::vector<char> buffer(256);
    while (fileSystem->getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) dsThrowFileError("cannot determine the current directory", path, errno);
      buffer.resize(buffer.size() * 2);
    }
    absolute = std::string(buffer.data()) + "/" + absolute;
  }
  std::vector<std::string> kept;
  for (const std::string& element : dsPathString(absolute).elements()) {
    if (element == ".") continue;
    if (element == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(element);
  }
  std::string result;
  for (const std::string& element : kept) result += "/" + element;
  return result.empty() ? "/" : result;
}

int dsOpenRegularFile(const std::string& path, dsFileSystemPtr fileSystem, struct stat* status) {
  const int descriptor =
      fileSystem->open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
  if (descriptor < 0) return -1;
  struct stat found;
  int error = 0;
  if (fileSystem->fstat(descriptor, &found) != 0) {
    error = errno;
  } else if (!S_ISREG(found.st_mode)) {
    error = EINVAL;
  }
  if (error == 0) {
    if (status) *status = found;
    return descriptor;
  }
  fileSystem->close(descriptor);
  errno = error;
  return -1;
}

bool dsReadSmallFile(const std::string& path, std::size_t maxLength, std::string& content,
                     dsFileSystemPtr fileSystem) {
  struct stat status;
  const int descriptor = dsOpenRegularFile(path, fileSystem, &status);
  if (descriptor < 0) return false;
  const bool read = dsReadSmallFile(descriptor, maxLength, content, *fileSystem, &status);
  const int error = errno;
  fileSystem->close(descriptor);
  errno = error;
  return read;
}

bool dsReadSmallFile(int descriptor, std::size_t maxLength, std::string& content,
                     dsFileSystem& fileSystem, const struct stat* status) {
  struct stat measured;
  if (!status && fileSystem.fstat(descriptor, &measured) == 0) status = &measured;
  // Room for what the file holds now, and one byte more, which tells a file that grew beyond
  // the limit from one that fits exactly; never more than the limit allows.
  const std::size_t expected = status ? static_cast<std::size_t>(status->st_size) : 0;
  std::string buffer(std::min(expected, maxLength) + 1, '\0');
  std::size_t done = 0;
  int error = 0;
  for (;;) {
    if (done == buffer.size()) {
      // The file grew since it was measured: more room, up to one byte beyond the limit.
      if (buffer.size() > maxLength) break;
      buffer.resize(std::min(buffer.size() * 2, maxLength + 1));
    }
    const std::size_t wanted = buffer.size() - done;
    const ssize_t count =
        fileSystem.pread(descriptor, &buffer[done], wanted, static_cast<off_t>(done));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) error = errno;
    if (count <= 0) break;
    done += static_cast<std::size_t>(count);
    // A regular file with a size reads short only at its end. A file that shows no size (as the
    // kernel's own files do) is read until a read returns nothing.
    if (expected > 0 && static_cast<std::size_t>(count) < wanted) break;
  }
  if (error == 0 && done > maxLength) error = EFBIG;
  if (error != 0) {
    errno = error;
    return false;
  }
  buffer.resize(done);
  content = std::move(buffer);
  return true;
}

std::string dsUntrustedFolderReason(const struct stat& status, bool groupMayWrite) {
  if (S_ISLNK(status.st_mode)) return "it is a symbolic link";
  if (!S_ISDIR(status.st_mode)) return "it is not a folder";
  if (status.st_uid != ::geteuid()) {
    std::string owner = "uid " + std::to_string(status.st_uid);
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(status.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
      owner = std::string(found->pw_name) + " (" + owner + ")";
    }
    return "it belongs to " + owner + ", not to you";
  }
  if (status.st_mode & (groupMayWrite ? S_IWOTH : (S_IWGRP | S_IWOTH))) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return std::string("others may write to it (mode ") + mode + ")";
  }
  return "";
}
