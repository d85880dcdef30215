#include "fs/file_system.hpp"

#include <unistd.h>

#include <cstdio>

dsFileSystem::~dsFileSystem() = default;

int dsPosixFileSystem::open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int dsPosixFileSystem::close(int descriptor) { return ::close(descriptor); }
int dsPosixFileSystem::lock(int descriptor, int command, struct flock* region) {
  return ::fcntl(descriptor, command, region);
}
int dsPosixFileSystem::fstat(int descriptor, struct stat* status) {
  return ::fstat(descriptor, status);
}
int dsPosixFileSystem::stat(const char* path, struct stat* status) { return ::stat(path, status); }
int dsPosixFileSystem::lstat(const char* path, struct stat* status) {
  return ::lstat(path, status);
}
ssize_t dsPosixFileSystem::pread(int descriptor, void* data, size_t size, off_t offset) {
  return ::pread(descriptor, data, size, offset);
}
int dsPosixFileSystem::fsync(int descriptor) { return ::fsync(descriptor); }
ssize_t dsPosixFileSystem::pwrite(int descriptor, const void* data, size_t size, off_t offset) {
  return ::pwrite(descriptor, data, size, offset);
}
int dsPosixFileSystem::ftruncate(int descriptor, off_t length) {
  return ::ftruncate(descriptor, length);
}
int dsPosixFileSystem::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
DIR* dsPosixFileSystem::opendir(const char* path) { return ::opendir(path); }
struct dirent* dsPosixFileSystem::readdir(DIR* directory) {
  return ::readdir(directory);
}
int dsPosixFileSystem::closedir(DIR* directory) { return ::closedir(directory); }
int dsPosixFileSystem::unlink(const char* path) { return ::unlink(path); }
int dsPosixFileSystem::rmdir(const char* path) { return ::rmdir(path); }
int dsPosixFileSystem::rename(const char* from, const char* to) { return ::rename(from, to); }
char* dsPosixFileSystem::getcwd(char* buffer, size_t size) { return ::getcwd(buffer, size); }
ssize_t dsPosixFileSystem::readlink(const char* path, char* buffer, size_t size) {
  return ::readlink(path, buffer, size);
}

dsFileSystemPtr dsGetDefaultFSImp() {
  // Function-local: built on first use, thread-safe, and never destroyed before a lock object
  // that a static destructor still releases (each holder keeps its own reference).
  static const dsFileSystemPtr posix(new dsPosixFileSystem);
  return posix;
}
