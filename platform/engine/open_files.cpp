// The per-instance table of open files (open_files.hpp).

#include "engine/open_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/errors.hpp"

namespace q {

namespace {

struct Mode {
  int flags;
  const char* stdioMode;
  bool readable;
  bool writable;
};

// The open flags and stdio mode of a permission without its 't' or 'b'.
bool modeOf(const std::string& permission, Mode& mode) {
  static const struct {
    const char* name;
    Mode mode;
  } kModes[] = {
      {"r", {O_RDONLY, "rb", true, false}},
      {"w", {O_WRONLY | O_CREAT | O_TRUNC, "wb", false, true}},
      {"a", {O_WRONLY | O_CREAT | O_APPEND, "ab", false, true}},
      {"r+", {O_RDWR, "r+b", true, true}},
      {"w+", {O_RDWR | O_CREAT | O_TRUNC, "w+b", true, true}},
      {"a+", {O_RDWR | O_CREAT | O_APPEND, "a+b", true, true}},
  };
  for (const auto& entry : kModes) {
    if (permission == entry.name) {
      mode = entry.mode;
      return true;
    }
  }
  return false;
}

}  // namespace

int OpenFiles::open(const std::string& name, const std::string& permission,
                    std::string& message) {
  // One 't' or 'b' may follow the letter ("rb+") or the whole permission ("r+b", "rt").
  std::string plain = permission;
  if (plain.size() >= 2) {
    if (plain.back() == 't' || plain.back() == 'b') {
      plain.pop_back();
    } else if (plain[1] == 't' || plain[1] == 'b') {
      plain.erase(1, 1);
    }
  }
  Mode mode;
  if (!modeOf(plain, mode)) {
    raise("Q:invalidInput", "fopen: the permission must be 'r', 'w', 'a', 'r+', 'w+' or 'a+'.");
  }
  if (name.empty() || name.find('\0') != std::string::npos) {
    message = "The file name is empty or holds a zero character.";
    return -1;
  }
  if (files_.size() >= kMaxOpen) {
    message = "Too many open files (at most " + std::to_string(kMaxOpen) + ").";
    return -1;
  }
  // O_NONBLOCK: opening a FIFO must not wait for its other end; it is refused below anyway.
  const int descriptor =
      ::open(name.c_str(), mode.flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
  if (descriptor < 0) {
    message = std::strerror(errno);
    return -1;
  }
  struct stat info;
  const bool known = fstat(descriptor, &info) == 0;
  if (!known || !S_ISREG(info.st_mode)) {
    message = !known ? std::strerror(errno)
              : S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file";
    ::close(descriptor);
    return -1;
  }
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags >= 0) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* stream = fdopen(descriptor, mode.stdioMode);
  if (!stream) {
    message = std::strerror(errno);
    ::close(descriptor);
    return -1;
  }
  int id = kFirstId;
  for (const auto& entry : files_) {
    if (entry.first != id) break;
    ++id;
  }
  File& file = files_[id];
  file.stream = stream;
  file.name = name;
  file.permission = plain;
  file.readable = mode.readable;
  file.writable = mode.writable;
  message.clear();
  return id;
}

OpenFiles::File* OpenFiles::find(int id) {
  const auto found = files_.find(id);
  return found == files_.end() ? nullptr : &found->second;
}

OpenFiles::File& OpenFiles::get(double id, const char* function) {
  File* file = id >= kFirstId && id <= 1e9 && id == static_cast<int>(id)
                   ? find(static_cast<int>(id))
                   : nullptr;
  if (!file) {
    raise("Q:invalidFid", std::string(function) +
                              ": invalid file identifier; use fopen to get a valid one.");
  }
  return *file;
}

bool OpenFiles::close(int id) {
  const auto found = files_.find(id);
  if (found == files_.end()) return false;
  const bool closed = std::fclose(found->second.stream) == 0;
  files_.erase(found);
  return closed;
}

void OpenFiles::closeAll() {
  for (auto& entry : files_) std::fclose(entry.second.stream);
  files_.clear();
}

std::vector<int> OpenFiles::ids() const {
  std::vector<int> ids;
  for (const auto& entry : files_) ids.push_back(entry.first);
  return ids;
}

void OpenFiles::startRead(File& file, const char* function) {
  if (!file.readable) {
    raise("Q:invalidInput", std::string(function) + ": the file is not open for reading.");
  }
  if (file.lastWrote) std::fseek(file.stream, 0, SEEK_CUR);
  file.lastWrote = false;
  file.lastRead = true;
}

void OpenFiles::startWrite(File& file, const char* function) {
  if (!file.writable) {
    raise("Q:invalidInput", std::string(function) + ": the file is not open for writing.");
  }
  if (file.lastRead) std::fseek(file.stream, 0, SEEK_CUR);
  file.lastRead = false;
  file.lastWrote = true;
  file.atEnd = false;
}

void OpenFiles::write(File& file, const char* data, std::size_t size, const char* function) {
  startWrite(file, function);
  if (size != 0 && std::fwrite(data, 1, size, file.stream) != size) {
    const int error = errno;
    std::clearerr(file.stream);
    raise("Q:fileWrite", std::string(function) + ": cannot write to '" + file.name +
                             "': " + std::strerror(error));
  }
}

std::int64_t OpenFiles::size(File& file) {
  if (file.lastWrote) std::fflush(file.stream);
  struct stat info;
  if (fstat(fileno(file.stream), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

void OpenFiles::noteEnd(File& file) {
  const int next = std::getc(file.stream);
  if (next == EOF) {
    file.atEnd = true;
    std::clearerr(file.stream);
  } else {
    std::ungetc(next, file.stream);
  }
}

}  // namespace q
