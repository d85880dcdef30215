#pragma once
// The seam between the runtime's file code and the operating system. Every system call the file
// services make on files, directories and locks goes through a dsFileSystem, and so does every
// call an unpack makes below its target folder (platform/ctf/folder_writer.cpp) and every file
// the component cache writes (its index, .bytes_used, the completion marker, the file list). A
// test hands the code an implementation that fails one call (ENOSPC, EIO, EACCES, a short write,
// a lock taken away) and sees what the caller makes of it.
//
// One virtual per system call. Each has the contract of the call it is named after: it returns
// what the call returns and leaves the error in errno.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <boost/shared_ptr.hpp>

#include "fs/export.hpp"

struct open_how;  // <linux/openat2.h>

class FS_EXPORT dsFileSystem {
 public:
  virtual ~dsFileSystem();

  virtual int open(const char* path, int flags, mode_t mode) = 0;
  virtual int openat(int folder, const char* path, int flags, mode_t mode) = 0;
  // Linux's openat2; -1 with ENOSYS where the system has none.
  virtual int openat2(int folder, const char* path, struct open_how* how, size_t size) = 0;
  virtual int close(int descriptor) = 0;
  // fcntl with a struct flock argument: F_OFD_SETLK, F_OFD_SETLKW, F_OFD_GETLK.
  virtual int lock(int descriptor, int command, struct flock* region) = 0;
  virtual int fstat(int descriptor, struct stat* status) = 0;
  virtual int fstatat(int folder, const char* path, struct stat* status, int flags) = 0;
  virtual int stat(const char* path, struct stat* status) = 0;
  virtual int lstat(const char* path, struct stat* status) = 0;
  virtual ssize_t read(int descriptor, void* data, size_t size) = 0;
  virtual ssize_t write(int descriptor, const void* data, size_t size) = 0;
  virtual ssize_t pread(int descriptor, void* data, size_t size, off_t offset) = 0;
  virtual ssize_t pwrite(int descriptor, const void* data, size_t size, off_t offset) = 0;
  virtual int fsync(int descriptor) = 0;
  // syncfs: flushes the whole file system that holds descriptor.
  virtual int syncfs(int descriptor) = 0;
  virtual int sync_file_range(int descriptor, off_t offset, off_t size, unsigned int flags) = 0;
  virtual int ftruncate(int descriptor, off_t length) = 0;
  virtual int fchmod(int descriptor, mode_t mode) = 0;
  virtual int futimens(int descriptor, const struct timespec times[2]) = 0;
  virtual int utimensat(int folder, const char* path, const struct timespec times[2],
                        int flags) = 0;
  virtual int mkdir(const char* path, mode_t mode) = 0;
  virtual int mkdirat(int folder, const char* path, mode_t mode) = 0;
  virtual int symlinkat(const char* target, int folder, const char* path) = 0;
  virtual DIR* opendir(const char* path) = 0;
  // Returns null at the end of the directory (errno unchanged) or on failure (errno set).
  virtual struct dirent* readdir(DIR* directory) = 0;
  virtual int closedir(DIR* directory) = 0;
  virtual int unlink(const char* path) = 0;
  virtual int rmdir(const char* path) = 0;
  virtual int rename(const char* from, const char* to) = 0;
  virtual char* getcwd(char* buffer, size_t size) = 0;
  virtual ssize_t readlink(const char* path, char* buffer, size_t size) = 0;
};

// The real system calls. Stateless; a test derives from it and overrides the call it wants to
// fail.
class FS_EXPORT dsPosixFileSystem : public dsFileSystem {
 public:
  int open(const char* path, int flags, mode_t mode) override;
  int openat(int folder, const char* path, int flags, mode_t mode) override;
  int openat2(int folder, const char* path, struct open_how* how, size_t size) override;
  int close(int descriptor) override;
  int lock(int descriptor, int command, struct flock* region) override;
  int fstat(int descriptor, struct stat* status) override;
  int fstatat(int folder, const char* path, struct stat* status, int flags) override;
  int stat(const char* path, struct stat* status) override;
  int lstat(const char* path, struct stat* status) override;
  ssize_t read(int descriptor, void* data, size_t size) override;
  ssize_t write(int descriptor, const void* data, size_t size) override;
  ssize_t pread(int descriptor, void* data, size_t size, off_t offset) override;
  ssize_t pwrite(int descriptor, const void* data, size_t size, off_t offset) override;
  int fsync(int descriptor) override;
  int syncfs(int descriptor) override;
  int sync_file_range(int descriptor, off_t offset, off_t size, unsigned int flags) override;
  int ftruncate(int descriptor, off_t length) override;
  int fchmod(int descriptor, mode_t mode) override;
  int futimens(int descriptor, const struct timespec times[2]) override;
  int utimensat(int folder, const char* path, const struct timespec times[2], int flags) override;
  int mkdir(const char* path, mode_t mode) override;
  int mkdirat(int folder, const char* path, mode_t mode) override;
  int symlinkat(const char* target, int folder, const char* path) override;
  DIR* opendir(const char* path) override;
  struct dirent* readdir(DIR* directory) override;
  int closedir(DIR* directory) override;
  int unlink(const char* path) override;
  int rmdir(const char* path) override;
  int rename(const char* from, const char* to) override;
  char* getcwd(char* buffer, size_t size) override;
  ssize_t readlink(const char* path, char* buffer, size_t size) override;
};

typedef boost::shared_ptr<dsFileSystem> dsFileSystemPtr;

// The implementation over the real system calls. Every call returns the same object; it holds
// no state, so it is safe to use from any thread.
FS_EXPORT dsFileSystemPtr dsGetDefaultFSImp();
