#include "fs/directory_lock.hpp"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

#include "fs/path_string.hpp"

namespace {

dsPathString directoryOrCurrent(const std::string& directory) {
  dsPathString path(directory);
  return path.empty() ? dsPathString(".") : path;
}

std::string exclusiveLockFile(const dsPathString& directory, const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) {
    throw std::invalid_argument("lock name must be a single path element: " + name);
  }
  return (directory / (name.empty() ? std::string(".dirlock") : ".dirlock." + name)).str();
}

}  // namespace

// ---------------------------------------------------------------- dsDirectoryExclusiveLock

bool dsDirectoryExclusiveLock::NoRefresh::acquire(bool) { return lock_->acquire(true); }
bool dsDirectoryExclusiveLock::NoRefresh::tryAcquire(bool) { return lock_->tryAcquire(true); }
void dsDirectoryExclusiveLock::NoRefresh::release() noexcept { lock_->release(); }

dsDirectoryExclusiveLock::dsDirectoryExclusiveLock(const std::string& dir, const std::string& name,
                                                   dsFileSystemPtr fileSystem)
    : directory_(directoryOrCurrent(dir).str()),
      lockFile_(std::move(fileSystem), exclusiveLockFile(directoryOrCurrent(dir), name)) {}

dsDirectoryExclusiveLock::~dsDirectoryExclusiveLock() = default;

bool dsDirectoryExclusiveLock::tryAcquire(bool noRefresh) {
  if (isAcquired()) return true;
  if (!lockFile_.lock(F_WRLCK, false)) return false;
  if (!noRefresh) lockFile_.stamp();
  return true;
}

bool dsDirectoryExclusiveLock::acquire(bool noRefresh) {
  if (isAcquired()) return true;
  lockFile_.lock(F_WRLCK, true);
  if (!noRefresh) lockFile_.stamp();
  return true;
}

bool dsDirectoryExclusiveLock::acquire(const boost::posix_time::time_duration& timeout,
                                       bool noRefresh) {
  if (timeout.is_pos_infinity()) return acquire(noRefresh);
  // A blocking F_OFD_SETLKW cannot be given a time limit without a signal to interrupt it, and
  // a library has no business sending signals into its host; so the timed wait polls.
  using Clock = std::chrono::steady_clock;
  const long long micros =
      timeout.is_special() ? 0
                           : std::max(0LL, static_cast<long long>(timeout.total_microseconds()));
  const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(micros);
  std::chrono::microseconds pause(1000);
  const std::chrono::microseconds longestPause(50000);
  for (;;) {
    if (tryAcquire(noRefresh)) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    const auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    std::this_thread::sleep_for(std::min(pause, remaining + std::chrono::microseconds(1)));
    pause = std::min(pause * 2, longestPause);
  }
}

void dsDirectoryExclusiveLock::release() noexcept { lockFile_.release(); }

// ---------------------------------------------------------------- dsDirectoryReadWriteLock

dsDirectoryReadWriteLock::dsDirectoryReadWriteLock(const std::string& directory,
                                                   dsFileSystemPtr fileSystem)
    : fileSystem_(std::move(fileSystem)) {
  const dsPathString path(directory);
  const std::string name = path.leaf();
  if (name.empty()) {
    throw std::invalid_argument("a read-write lock needs a named directory, not \"" + directory +
                                "\"");
  }
  directory_ = path.str();
  lockFilePath_ = (path.parent() / ("." + name + ".rwlock")).str();
}

dsDirectoryReadWriteLock::~dsDirectoryReadWriteLock() = default;

dsDirectoryReadWriteLock::ReadLock dsDirectoryReadWriteLock::getReadLock() const {
  return ReadLock(fsdetail::LockFile(fileSystem_, lockFilePath_));
}

dsDirectoryReadWriteLock::WriteLock dsDirectoryReadWriteLock::getWriteLock() const {
  return WriteLock(fsdetail::LockFile(fileSystem_, lockFilePath_));
}

// ---------------------------------------------------------------- ReadLock

dsDirectoryReadWriteLock::ReadLock::ReadLock() = default;
dsDirectoryReadWriteLock::ReadLock::ReadLock(fsdetail::LockFile lockFile)
    : lockFile_(std::move(lockFile)) {}
dsDirectoryReadWriteLock::ReadLock::~ReadLock() = default;
dsDirectoryReadWriteLock::ReadLock::ReadLock(ReadLock&& other) noexcept = default;
dsDirectoryReadWriteLock::ReadLock& dsDirectoryReadWriteLock::ReadLock::operator=(
    ReadLock&& other) noexcept = default;

bool dsDirectoryReadWriteLock::ReadLock::tryAcquire(bool) { return lockFile_.lock(F_RDLCK, false); }
bool dsDirectoryReadWriteLock::ReadLock::acquire(bool) { return lockFile_.lock(F_RDLCK, true); }
bool dsDirectoryReadWriteLock::ReadLock::isAcquired() const { return lockFile_.held(); }
void dsDirectoryReadWriteLock::ReadLock::release() noexcept { lockFile_.release(); }

// ---------------------------------------------------------------- WriteLock

dsDirectoryReadWriteLock::WriteLock::WriteLock(fsdetail::LockFile lockFile)
    : lockFile_(std::move(lockFile)) {}
dsDirectoryReadWriteLock::WriteLock::~WriteLock() = default;
dsDirectoryReadWriteLock::WriteLock::WriteLock(WriteLock&& other) noexcept = default;
dsDirectoryReadWriteLock::WriteLock& dsDirectoryReadWriteLock::WriteLock::operator=(
    WriteLock&& other) noexcept = default;

bool dsDirectoryReadWriteLock::WriteLock::tryAcquire(bool noRefresh) {
  if (lockFile_.held()) return true;
  if (!lockFile_.lock(F_WRLCK, false)) return false;
  if (!noRefresh) lockFile_.stamp();
  return true;
}

bool dsDirectoryReadWriteLock::WriteLock::acquire(bool noRefresh) {
  if (lockFile_.held()) return true;
  lockFile_.lock(F_WRLCK, true);
  if (!noRefresh) lockFile_.stamp();
  return true;
}

bool dsDirectoryReadWriteLock::WriteLock::isAcquired() const { return lockFile_.held(); }
void dsDirectoryReadWriteLock::WriteLock::release() noexcept { lockFile_.release(); }

dsDirectoryReadWriteLock::ReadLock dsDirectoryReadWriteLock::WriteLock::downgrade() {
  lockFile_.convert(F_RDLCK);
  return ReadLock(lockFile_.takeHeld());
}
