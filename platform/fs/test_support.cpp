#include "fs/test_support.hpp"

#include <linux/openat2.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fstest {

namespace {

bool opensForWriting(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY || (flags & (O_CREAT | O_TRUNC)) != 0;
}

}  // namespace

TempDirectory::TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/fs_test.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, std::size_t size) {
  std::ofstream file(path, std::ios::binary);
  file << std::string(size, 'x');
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void InjectingFileSystem::fail(const std::string& call, int error, const std::string& pathFragment,
                               int times) {
  const std::lock_guard<std::mutex> hold(mutex_);
  failures_[call] = Failure{error, pathFragment, times};
}

void InjectingFileSystem::failNth(const std::string& call, int n, int error) {
  const std::lock_guard<std::mutex> hold(mutex_);
  counted_.push_back(Counted{call, n, error, false});
}

void InjectingFileSystem::shortenNthWrite(int n) {
  const std::lock_guard<std::mutex> hold(mutex_);
  counted_.push_back(Counted{std::string(), n, 0, true});
}

void InjectingFileSystem::clear() {
  const std::lock_guard<std::mutex> hold(mutex_);
  failures_.clear();
  counted_.clear();
}

int InjectingFileSystem::calls(const std::string& call) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  const auto found = calls_.find(call);
  return found == calls_.end() ? 0 : found->second;
}

int InjectingFileSystem::injected() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return injected_;
}

std::string InjectingFileSystem::lastInjected() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return lastInjected_;
}

InjectingFileSystem::Outcome InjectingFileSystem::decide(const std::string& call, const char* path,
                                                         bool changes) {
  const std::lock_guard<std::mutex> hold(mutex_);
  ++calls_[call];
  ++calls_[kAnyOperation];
  if (changes) ++calls_[kAnyWrite];
  const bool writesData = call == "write" || call == "pwrite";
  // Every counted injection that this call counts for moves on; the first one due fires.
  auto due = counted_.end();
  for (auto counted = counted_.begin(); counted != counted_.end(); ++counted) {
    const bool counts = counted->shortWrite
                            ? writesData
                            : counted->call == call || counted->call == kAnyOperation ||
                                  (changes && counted->call == kAnyWrite);
    if (counts && --counted->remaining == 0 && due == counted_.end()) due = counted;
  }
  if (due != counted_.end()) {
    const Counted fired = *due;
    counted_.erase(due);
    // Another one due at the same call fires at the next call it counts.
    for (Counted& counted : counted_) counted.remaining = std::max(counted.remaining, 1);
    ++injected_;
    lastInjected_ = call;
    if (fired.shortWrite) return Outcome::shorten;
    errno = fired.error;
    return Outcome::fail;
  }
  const auto found = failures_.find(call);
  if (found == failures_.end() || found->second.times == 0) return Outcome::proceed;
  Failure& failure = found->second;
  if (path != nullptr && std::string(path).find(failure.pathFragment) == std::string::npos) {
    return Outcome::proceed;
  }
  if (failure.times > 0) --failure.times;
  errno = failure.error;
  return Outcome::fail;
}

int InjectingFileSystem::opened(int descriptor, int flags) {
  if (descriptor >= 0) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (opensForWriting(flags)) {
      writableDescriptors_.insert(descriptor);
    } else {
      writableDescriptors_.erase(descriptor);
    }
  }
  return descriptor;
}

bool InjectingFileSystem::writable(int descriptor) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return writableDescriptors_.count(descriptor) != 0;
}

int InjectingFileSystem::open(const char* path, int flags, mode_t mode) {
  if (failing("open", path, opensForWriting(flags))) return -1;
  return opened(dsPosixFileSystem::open(path, flags, mode), flags);
}
int InjectingFileSystem::openat(int folder, const char* path, int flags, mode_t mode) {
  if (failing("openat", path, opensForWriting(flags))) return -1;
  return opened(dsPosixFileSystem::openat(folder, path, flags, mode), flags);
}
int InjectingFileSystem::openat2(int folder, const char* path, struct open_how* how, size_t size) {
  const int flags = static_cast<int>(how->flags);
  if (failing("openat2", path, opensForWriting(flags))) return -1;
  return opened(dsPosixFileSystem::openat2(folder, path, how, size), flags);
}
int InjectingFileSystem::close(int descriptor) {
  const bool wrote = writable(descriptor);
  if (wrote) {
    const std::lock_guard<std::mutex> hold(mutex_);
    writableDescriptors_.erase(descriptor);
  }
  if (failing("close", nullptr, wrote)) {
    const int error = errno;
    dsPosixFileSystem::close(descriptor);
    errno = error;
    return -1;
  }
  return dsPosixFileSystem::close(descriptor);
}
int InjectingFileSystem::lock(int descriptor, int command, struct flock* region) {
  if (region->l_type != F_UNLCK && failing("lock", nullptr, false)) return -1;
  return dsPosixFileSystem::lock(descriptor, command, region);
}
int InjectingFileSystem::fstat(int descriptor, struct stat* status) {
  return failing("fstat", nullptr, false) ? -1 : dsPosixFileSystem::fstat(descriptor, status);
}
int InjectingFileSystem::fstatat(int folder, const char* path, struct stat* status, int flags) {
  return failing("fstatat", path, false) ? -1
                                         : dsPosixFileSystem::fstatat(folder, path, status, flags);
}
int InjectingFileSystem::stat(const char* path, struct stat* status) {
  return failing("stat", path, false) ? -1 : dsPosixFileSystem::stat(path, status);
}
int InjectingFileSystem::lstat(const char* path, struct stat* status) {
  return failing("lstat", path, false) ? -1 : dsPosixFileSystem::lstat(path, status);
}
ssize_t InjectingFileSystem::read(int descriptor, void* data, size_t size) {
  return failing("read", nullptr, false) ? -1 : dsPosixFileSystem::read(descriptor, data, size);
}
ssize_t InjectingFileSystem::write(int descriptor, const void* data, size_t size) {
  switch (decide("write", nullptr, true)) {
    case Outcome::fail:
      return -1;
    case Outcome::shorten:
      return dsPosixFileSystem::write(descriptor, data, std::max<size_t>(size / 2, 1));
    case Outcome::proceed:
      break;
  }
  return dsPosixFileSystem::write(descriptor, data, size);
}
ssize_t InjectingFileSystem::pread(int descriptor, void* data, size_t size, off_t offset) {
  return failing("pread", nullptr, false)
             ? -1
             : dsPosixFileSystem::pread(descriptor, data, size, offset);
}
ssize_t InjectingFileSystem::pwrite(int descriptor, const void* data, size_t size, off_t offset) {
  switch (decide("pwrite", nullptr, true)) {
    case Outcome::fail:
      return -1;
    case Outcome::shorten:
      return dsPosixFileSystem::pwrite(descriptor, data, std::max<size_t>(size / 2, 1), offset);
    case Outcome::proceed:
      break;
  }
  return dsPosixFileSystem::pwrite(descriptor, data, size, offset);
}
int InjectingFileSystem::fsync(int descriptor) {
  return failing("fsync", nullptr, true) ? -1 : dsPosixFileSystem::fsync(descriptor);
}
int InjectingFileSystem::syncfs(int descriptor) {
  return failing("syncfs", nullptr, true) ? -1 : dsPosixFileSystem::syncfs(descriptor);
}
int InjectingFileSystem::sync_file_range(int descriptor, off_t offset, off_t size,
                                         unsigned int flags) {
  return failing("sync_file_range", nullptr, true)
             ? -1
             : dsPosixFileSystem::sync_file_range(descriptor, offset, size, flags);
}
int InjectingFileSystem::ftruncate(int descriptor, off_t length) {
  return failing("ftruncate", nullptr, true) ? -1
                                             : dsPosixFileSystem::ftruncate(descriptor, length);
}
int InjectingFileSystem::fchmod(int descriptor, mode_t mode) {
  return failing("fchmod", nullptr, true) ? -1 : dsPosixFileSystem::fchmod(descriptor, mode);
}
int InjectingFileSystem::futimens(int descriptor, const struct timespec times[2]) {
  return failing("futimens", nullptr, true) ? -1 : dsPosixFileSystem::futimens(descriptor, times);
}
int InjectingFileSystem::utimensat(int folder, const char* path, const struct timespec times[2],
                                   int flags) {
  return failing("utimensat", path, true)
             ? -1
             : dsPosixFileSystem::utimensat(folder, path, times, flags);
}
int InjectingFileSystem::mkdir(const char* path, mode_t mode) {
  return failing("mkdir", path, true) ? -1 : dsPosixFileSystem::mkdir(path, mode);
}
int InjectingFileSystem::mkdirat(int folder, const char* path, mode_t mode) {
  return failing("mkdirat", path, true) ? -1 : dsPosixFileSystem::mkdirat(folder, path, mode);
}
int InjectingFileSystem::symlinkat(const char* target, int folder, const char* path) {
  return failing("symlinkat", path, true) ? -1 : dsPosixFileSystem::symlinkat(target, folder, path);
}
DIR* InjectingFileSystem::opendir(const char* path) {
  return failing("opendir", path, false) ? nullptr : dsPosixFileSystem::opendir(path);
}
struct dirent* InjectingFileSystem::readdir(DIR* directory) {
  return failing("readdir", nullptr, false) ? nullptr : dsPosixFileSystem::readdir(directory);
}
int InjectingFileSystem::closedir(DIR* directory) {
  if (failing("closedir", nullptr, false)) {
    const int error = errno;
    dsPosixFileSystem::closedir(directory);
    errno = error;
    return -1;
  }
  return dsPosixFileSystem::closedir(directory);
}
int InjectingFileSystem::unlink(const char* path) {
  return failing("unlink", path, true) ? -1 : dsPosixFileSystem::unlink(path);
}
int InjectingFileSystem::rmdir(const char* path) {
  return failing("rmdir", path, true) ? -1 : dsPosixFileSystem::rmdir(path);
}
int InjectingFileSystem::rename(const char* from, const char* to) {
  return failing("rename", to, true) ? -1 : dsPosixFileSystem::rename(from, to);
}
char* InjectingFileSystem::getcwd(char* buffer, size_t size) {
  return failing("getcwd", nullptr, false) ? nullptr : dsPosixFileSystem::getcwd(buffer, size);
}
ssize_t InjectingFileSystem::readlink(const char* path, char* buffer, size_t size) {
  return failing("readlink", path, false) ? -1 : dsPosixFileSystem::readlink(path, buffer, size);
}

}  // namespace fstest
