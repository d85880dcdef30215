#pragma once
// Helpers for the unit tests of the file services, and the failing file system that the tests
// of the unpack and the component cache use as well.

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

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

// The real system calls, except the ones told to fail. Two ways to choose them:
// - fail("open", EACCES) makes every later open fail with EACCES; with a path fragment, only
//   calls whose path contains it fail (calls on a descriptor have no path and always match). A
//   failure can be limited to the next n calls.
// - failNth(call, n, error) makes the nth call from now (counting from 1) fail once. call names
//   an operation, or is kAnyOperation (every call counts) or kAnyWrite (only the calls that create,
//   change or flush something count: opens that create or open for writing, write, pwrite,
//   ftruncate, fsync, syncfs, sync_file_range, fchmod, futimens, utimensat, mkdir, mkdirat,
//   symlinkat, rename, unlink, rmdir, and the close of a descriptor opened for writing, which
//   is where a file system reports a write it could not make). shortenNthWrite(n) makes the nth
//   write or pwrite from now write only half of what it is given (at least one byte).
// A failed close or closedir releases the descriptor all the same, as Linux does, so a test leaks
// nothing. Unlocking never fails: a test that lost its unlock would leak the lock.
// Safe to use from several threads (an unpack writes from a second thread).
class InjectingFileSystem : public dsPosixFileSystem {
 public:
  static constexpr char kAnyOperation[] = "*";
  static constexpr char kAnyWrite[] = "*write";

  void fail(const std::string& call, int error, const std::string& pathFragment = "",
            int times = -1);
  void failNth(const std::string& call, int n, int error);
  void shortenNthWrite(int n);
  // Forgets every failure and short write still to come; the counts stay.
  void clear();
  // How many calls of call (a name, kAnyOperation or kAnyWrite) were made so far.
  int calls(const std::string& call) const;
  // How many counted failures and short writes were made so far, and the name of the call that
  // took the last one.
  int injected() const;
  std::string lastInjected() const;

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

 private:
  enum class Outcome { proceed, fail, shorten };
  struct Failure {
    int error;
    std::string pathFragment;
    int times;
  };
  struct Counted {
    std::string call;  // unused for a short write
    int remaining;
    int error;
    bool shortWrite;
  };

  // What call on path (null: a descriptor) is to do now; errno is set for a failure. changes:
  // the call counts for kAnyWrite.
  Outcome decide(const std::string& call, const char* path, bool changes);
  bool failing(const std::string& call, const char* path, bool changes) {
    return decide(call, path, changes) == Outcome::fail;
  }
  // An open of any kind returned descriptor (or -1): remembers whether it may write.
  int opened(int descriptor, int flags);
  bool writable(int descriptor) const;

  mutable std::mutex mutex_;
  std::map<std::string, Failure> failures_;  // guarded by mutex_
  std::vector<Counted> counted_;             // guarded by mutex_
  std::map<std::string, int> calls_;         // guarded by mutex_
  std::set<int> writableDescriptors_;        // guarded by mutex_
  int injected_ = 0;                         // guarded by mutex_
  std::string lastInjected_;                 // guarded by mutex_
};

}  // namespace fstest
