#include "fs/test_support.hpp"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fstest {

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
  failures_[call] = Failure{error, pathFragment, times};
}

int InjectingFileSystem::calls(const std::string& call) const {
  const auto found = calls_.find(call);
  return found == calls_.end() ? 0 : found->second;
}

bool InjectingFileSystem::failing(const std::string& call, const char* path) {
  ++calls_[call];
  const auto found = failures_.find(call);
  if (found == failures_.end() || found->second.times == 0) return false;
  Failure& failure = found->second;
  if (path != nullptr && std::string(path).find(failure.pathFragment) == std::string::npos) {
    return false;
  }
  if (failure.times > 0) --failure.times;
  errno = failure.error;
  return true;
}

int InjectingFileSystem::open(const char* path, int flags, mode_t mode) {
  return failing("open", path) ? -1 : dsPosixFileSystem::open(path, flags, mode);
}
int InjectingFileSystem::lock(int descriptor, int command, struct flock* region) {
  // Unlocking is never made to fail: a test that loses its unlock would leak the lock.
  if (region->l_type != F_UNLCK && failing("lock", nullptr)) return -1;
  return dsPosixFileSystem::lock(descriptor, command, region);
}
int InjectingFileSystem::lstat(const char* path, struct stat* status) {
  return failing("lstat", path) ? -1 : dsPosixFileSystem::lstat(path, status);
}
ssize_t InjectingFileSystem::pread(int descriptor, void* data, size_t size, off_t offset) {
  return failing("pread", nullptr) ? -1 : dsPosixFileSystem::pread(descriptor, data, size, offset);
}
int InjectingFileSystem::fsync(int descriptor) {
  return failing("fsync", nullptr) ? -1 : dsPosixFileSystem::fsync(descriptor);
}
ssize_t InjectingFileSystem::pwrite(int descriptor, const void* data, size_t size, off_t offset) {
  return failing("pwrite", nullptr) ? -1
                                    : dsPosixFileSystem::pwrite(descriptor, data, size, offset);
}
int InjectingFileSystem::ftruncate(int descriptor, off_t length) {
  return failing("ftruncate", nullptr) ? -1 : dsPosixFileSystem::ftruncate(descriptor, length);
}
DIR* InjectingFileSystem::opendir(const char* path) {
  return failing("opendir", path) ? nullptr : dsPosixFileSystem::opendir(path);
}
struct dirent* InjectingFileSystem::readdir(DIR* directory) {
  return failing("readdir", nullptr) ? nullptr : dsPosixFileSystem::readdir(directory);
}
int InjectingFileSystem::unlink(const char* path) {
  return failing("unlink", path) ? -1 : dsPosixFileSystem::unlink(path);
}
char* InjectingFileSystem::getcwd(char* buffer, size_t size) {
  return failing("getcwd", nullptr) ? nullptr : dsPosixFileSystem::getcwd(buffer, size);
}

}  // namespace fstest
