#pragma once
// Internal to the file services: one lock file and the open file description that holds a lock
// on it. The directory locks are built from it.
//
// Locks are Linux open-file-description locks (F_OFD_SETLK) on the whole file. They belong to
// the open file description, not to the process, so two LockFile objects in one process exclude
// each other exactly as two processes do, and the kernel drops the lock when the last
// descriptor of the description is closed, in particular when the holder dies. Descriptors are
// opened close-on-exec; a child made by fork without exec shares the description, which is why
// release unlocks explicitly before it closes.

#include <string>

#include "fs/file_system.hpp"

namespace fsdetail {

class LockFile {
 public:
  LockFile() = default;  // refers to no file; locking it is a logic error
  LockFile(dsFileSystemPtr fileSystem, std::string path);
  ~LockFile();  // releases
  LockFile(LockFile&& other) noexcept;
  LockFile& operator=(LockFile&& other) noexcept;
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // Takes a lock of type (F_RDLCK or F_WRLCK), creating the lock file when it is missing.
  // With wait, blocks until the lock is granted; without, returns false when another open
  // description holds a conflicting lock. Returns true at once when this object holds a lock.
  // Throws dsNoSuchDirectory, dsPermissionDenied or dsFileAccessError.
  bool lock(short type, bool wait);
  // Changes the type of the held lock in one step (the kernel converts it on the same open
  // description; there is no moment without a lock). Throws on failure, leaving the lock as it
  // was.
  void convert(short type);
  // Records the holder's process id in the lock file (a write lock must be held). Open file
  // description locks report no owner, so this is how a person finds who holds a lock. Best
  // effort: a full disk must not stop a lock from working.
  void stamp();
  void release() noexcept;
  // Moves the held lock into a new object for the same file; this one is left not holding.
  LockFile takeHeld();

  bool held() const { return descriptor_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  void unlockAndClose(int descriptor) noexcept;

  dsFileSystemPtr fileSystem_;
  std::string path_;
  int descriptor_ = -1;
};

}  // namespace fsdetail
