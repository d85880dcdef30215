#pragma once
// Helpers for the unit tests of the file services.

#include <map>
#include <string>

#include "fs/file_system.hpp"

namespace fstest {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end. Set up and
// torn down with std::filesystem, not with the code under test.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void writeFile(const std::string& path, std::size_t size);
std::string readFile(const std::string& path);

// The real system calls, except the ones told to fail: fail("open", EACCES) makes every later
// open fail with EACCES; with a path fragment, only calls whose path contains it fail (calls
// on a descriptor have no path and always match). A failure can be limited to the next n calls.
class InjectingFileSystem : public dsPosixFileSystem {
 public:
  void fail(const std::string& call, int error, const std::string& pathFragment = "",
            int times = -1);
  void clear() { failures_.clear(); }
  int calls(const std::string& call) const;

  int open(const char* path, int flags, mode_t mode) override;
  int lock(int descriptor, int command, struct flock* region) override;
  int lstat(const char* path, struct stat* status) override;
  ssize_t pread(int descriptor, void* data, size_t size, off_t offset) override;
  ssize_t pwrite(int descriptor, const void* data, size_t size, off_t offset) override;
  int fsync(int descriptor) override;
  int ftruncate(int descriptor, off_t length) override;
  DIR* opendir(const char* path) override;
  struct dirent* readdir(DIR* directory) override;
  int unlink(const char* path) override;
  char* getcwd(char* buffer, size_t size) override;

 private:
  struct Failure {
    int error;
    std::string pathFragment;
    int times;
  };
  // True (with errno set) when call on path is to fail now.
  bool failing(const std::string& call, const char* path);

  std::map<std::string, Failure> failures_;
  std::map<std::string, int> calls_;
};

}  // namespace fstest
