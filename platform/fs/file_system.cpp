#include "fs/file_system.hpp"

#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

dsFileSystem::~dsFileSystem() = default;

int dsPosixFileSystem::open(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}
int dsPosixFileSystem::openat(int folder, const char* path, int flags, mode_t mode) {
  return ::openat(folder, path, flags, mode);
}
int dsPosixFileSystem::openat2(int folder, const char* path, struct open_how* how, size_t size) {
#ifdef SYS_openat2
  return static_cast<int>(::syscall(SYS_openat2, folder, path, how, size));
#else
  (void)folder, (void)path, (void)how, (void)size;
  errno = ENOSYS;
  return -1;
#endif
}
int dsPosixFileSystem::close(int descriptor) { return ::close(descriptor); }
int dsPosixFileSystem::lock(int descriptor, int command, struct flock* region) {
  return ::fcntl(descriptor, command, region);
}
int dsPosixFileSystem::fstat(int descriptor, struct stat* status) {
  return ::fstat(descriptor, status);
}
int dsPosixFileSystem::fstatat(int folder, const char* path, struct stat* status, int flags) {
  return ::fstatat(folder, path, status, flags);
}
int dsPosixFileSystem::stat(const char* path, struct stat* status) { return ::stat(path, status); }
int dsPosixFileSystem::lstat(const char* path, struct stat* status) {
  return ::lstat(path, status);
}
ssize_t dsPosixFileSystem::read(int descriptor, void* data, size_t size) {
  return ::read(descriptor, data, size);
}
ssize_t dsPosixFileSystem::write(int descriptor, const void* data, size_t size) {
  return ::write(descriptor, data, size);
}
ssize_t dsPosixFileSystem::pread(int descriptor, void* data, size_t size, off_t offset) {
  return ::pread(descriptor, data, size, offset);
}
ssize_t dsPosixFileSystem::pwrite(int descriptor, const void* data, size_t size, off_t offset) {
  return ::pwrite(descriptor, data, size, offset);
}
int dsPosixFileSystem::fsync(int descriptor) { return ::fsync(descriptor); }
int dsPosixFileSystem::syncfs(int descriptor) { return ::syncfs(descriptor); }
int dsPosixFileSystem::sync_file_range(int descriptor, off_t offset, off_t size,
                                       unsigned int flags) {
  return ::sync_file_range(descriptor, offset, size, flags);
}
int dsPosixFileSystem::ftruncate(int descriptor, off_t length) {
  return ::ftruncate(descriptor, length);
}
int dsPosixFileSystem::fchmod(int descriptor, mode_t mode) { return ::fchmod(descriptor, mode); }
int dsPosixFileSystem::futimens(int descriptor, const struct timespec times[2]) {
  return ::futimens(descriptor, times);
}
int dsPosixFileSystem::utimensat(int folder, const char* path, const struct timespec times[2],
                                 int flags) {
  return ::utimensat(folder, path, times, flags);
}
int dsPosixFileSystem::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int dsPosixFileSystem::mkdirat(int folder, const char* path, mode_t mode) {
  return ::mkdirat(folder, path, mode);
}
int dsPosixFileSystem::symlinkat(const char* target, int folder, const char* path) {
  return ::symlinkat(target, folder, path);
}
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
