#include "fs/lock_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

#include "fs/errors.hpp"

namespace fsdetail {
namespace {

// Readable by everyone so that other users may take read locks and see the holder's stamp;
// only the owner can take write locks (a write lock needs a descriptor opened for writing).
constexpr mode_t kLockFileMode = 0644;

// A lock on a lock file that was unlinked or replaced after we opened it excludes nobody, so
// we open the path again. Nothing in this library removes lock files; this only guards against
// someone else doing it, so a few rounds are plenty.
constexpr int kMaxReopenAttempts = 64;

struct flock wholeFile(short type) {
  struct flock region = {};
  region.l_type = type;
  region.l_whence = SEEK_SET;
  region.l_start = 0;
  region.l_len = 0;  // to the end of the file, however long it grows
  region.l_pid = 0;  // required for open-file-description locks
  return region;
}

}  // namespace

LockFile::LockFile(dsFileSystemPtr fileSystem, std::string path)
    : fileSystem_(std::move(fileSystem)), path_(std::move(path)) {}

LockFile::~LockFile() { release(); }

LockFile::LockFile(LockFile&& other) noexcept
    : fileSystem_(std::move(other.fileSystem_)),
      path_(std::move(other.path_)),
      descriptor_(std::exchange(other.descriptor_, -1)) {}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
  if (this != &other) {
    release();
    fileSystem_ = std::move(other.fileSystem_);
    path_ = std::move(other.path_);
    descriptor_ = std::exchange(other.descriptor_, -1);
  }
  return *this;
}

bool LockFile::lock(short type, bool wait) {
  if (!fileSystem_) throw std::logic_error("lock object refers to no directory");
  if (held()) return true;
  // Never a link, and never a wait in open: a named pipe planted under the lock file's name
  // would otherwise block until someone opens its other end.
  const int flags =
      (type == F_WRLCK ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  for (int attempt = 1;; ++attempt) {
    const int descriptor = fileSystem_->open(path_.c_str(), flags, kLockFileMode);
    if (descriptor < 0) dsThrowFileError("cannot open lock file", path_, errno);
    struct stat kind;
    if (fileSystem_->fstat(descriptor, &kind) != 0 || !S_ISREG(kind.st_mode)) {
      fileSystem_->close(descriptor);
      dsThrowFileError("lock file is not a regular file", path_, EINVAL);
    }

    struct flock region = wholeFile(type);
    int result;
    do {
      result = fileSystem_->lock(descriptor, wait ? F_OFD_SETLKW : F_OFD_SETLK, &region);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
      const int error = errno;
      fileSystem_->close(descriptor);
      // A conflicting lock is reported as EAGAIN or EACCES; neither means a permission problem.
      if (!wait && (error == EAGAIN || error == EACCES)) return false;
      dsThrowFileError("cannot lock", path_, error);
    }

    // Still the file at the path, now that the lock is held? (What an open descriptor refers
    // to never changes, so kind still tells which file that is.)
    struct stat current;
    if (fileSystem_->lstat(path_.c_str(), &current) == 0) {
      if (current.st_dev == kind.st_dev && current.st_ino == kind.st_ino) {
        descriptor_ = descriptor;
        return true;
      }
    } else if (errno != ENOENT) {
      const int error = errno;
      unlockAndClose(descriptor);
      dsThrowFileError("cannot examine lock file", path_, error);
    }
    unlockAndClose(descriptor);
    if (attempt == kMaxReopenAttempts) {
      throw dsFileAccessError("lock file keeps being replaced", path_, ESTALE);
    }
  }
}

void LockFile::convert(short type) {
  if (!held()) throw std::logic_error("cannot change a lock that is not held");
  struct flock region = wholeFile(type);
  int result;
  do {
    result = fileSystem_->lock(descriptor_, F_OFD_SETLK, &region);
  } while (result < 0 && errno == EINTR);
  if (result < 0) dsThrowFileError("cannot change lock", path_, errno);
}

void LockFile::stamp() {
  if (!held()) return;
  const std::string text = std::to_string(::getpid()) + "\n";
  // Rewritten only when it names another process: truncating costs a journal commit, and one
  // process takes the same lock again and again.
  char held[32];
  const ssize_t got = fileSystem_->pread(descriptor_, held, sizeof held, 0);
  if (got == static_cast<ssize_t>(text.size()) && text.compare(0, text.size(), held, got) == 0) {
    return;
  }
  if (fileSystem_->pwrite(descriptor_, text.data(), text.size(), 0) ==
          static_cast<ssize_t>(text.size()) &&
      got > static_cast<ssize_t>(text.size())) {
    (void)fileSystem_->ftruncate(descriptor_, static_cast<off_t>(text.size()));
  }
}

void LockFile::release() noexcept {
  if (held()) unlockAndClose(std::exchange(descriptor_, -1));
}

LockFile LockFile::takeHeld() {
  LockFile moved(fileSystem_, path_);
  moved.descriptor_ = std::exchange(descriptor_, -1);
  return moved;
}

void LockFile::unlockAndClose(int descriptor) noexcept {
  // Unlock first: closing alone leaves the lock in place while a forked child still has a copy
  // of the descriptor.
  struct flock region = wholeFile(F_UNLCK);
  (void)fileSystem_->lock(descriptor, F_OFD_SETLK, &region);
  (void)fileSystem_->close(descriptor);
}

}  // namespace fsdetail
