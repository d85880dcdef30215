#pragma once
// Directory locks between processes (and between objects of one process).
//
// Both kinds lock a small lock file with Linux open-file-description locks (see lock_file.hpp):
// the kernel frees a lock when its holder exits or is killed, so no lock outlives a crash, and
// every lock object opens its own description, so two objects in one process exclude each other
// exactly as two processes do. A lock object is used by one thread at a time.
//
// The bool argument of every acquire and tryAcquire is noRefresh. A refresh writes the holder's
// process id into the lock file after an exclusive or write lock is taken, which is the only way
// to learn who holds such a lock (the kernel does not say). With noRefresh the lock file is left
// as it is. Read locks never write the shared file, so the argument does not change them.
// Whether the lock is taken never depends on the argument.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

#include "fs/export.hpp"
#include "fs/file_system.hpp"
#include "fs/lock_file.hpp"

// One holder at a time for a directory. The lock file lives inside the directory: ".dirlock",
// or ".dirlock.<name>" for a named lock, so several independent locks can guard one directory.
// The directory must exist while the lock is taken; an empty directory means the current one.
class FS_EXPORT dsDirectoryExclusiveLock {
 public:
  // A view of the lock that never refreshes: acquire takes the lock as the lock's own acquire
  // does, with noRefresh forced on; release gives it up. Must not outlive its lock.
  class FS_EXPORT NoRefresh {
   public:
    bool acquire(bool noRefresh = true);
    bool tryAcquire(bool noRefresh = true);
    void release() noexcept;

   private:
    friend class dsDirectoryExclusiveLock;
    explicit NoRefresh(dsDirectoryExclusiveLock& lock) : lock_(&lock) {}
    dsDirectoryExclusiveLock* lock_;
  };

  // Does not touch the file system; the lock file is made when the lock is first taken.
  // Throws std::invalid_argument when name is more than one path element.
  dsDirectoryExclusiveLock(const std::string& dir, const std::string& name,
                           dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  ~dsDirectoryExclusiveLock();  // releases
  dsDirectoryExclusiveLock(const dsDirectoryExclusiveLock&) = delete;
  dsDirectoryExclusiveLock& operator=(const dsDirectoryExclusiveLock&) = delete;

  // All three return true when the lock is held on return (at once if it already was).
  // They throw dsNoSuchDirectory when the directory is missing, dsPermissionDenied when the
  // lock file may not be created or opened, dsFileAccessError on any other failure.
  //
  // tryAcquire: false when another holder has the lock.
  bool tryAcquire(bool noRefresh = false);
  // Waits as long as it takes; returns true.
  bool acquire(bool noRefresh = false);
  // Gives up after timeout (polling with a growing pause of at most 50 ms) and returns false.
  // pos_infin waits without limit; a zero, negative or not-a-date-time timeout tries once.
  bool acquire(const boost::posix_time::time_duration& timeout, bool noRefresh = false);
  NoRefresh noRefresh() { return NoRefresh(*this); }

  // Both give the lock up; nothing happens when it is not held. Never throw.
  void release() noexcept;
  void unlock() noexcept { release(); }
  bool isAcquired() const { return lockFile_.held(); }

  const std::string& directory() const { return directory_; }
  const std::string& lockFilePath() const { return lockFile_.path(); }

 private:
  std::string directory_;
  fsdetail::LockFile lockFile_;
};

// Many readers or one writer for a directory. The lock file lives beside the directory, in its
// parent, as ".<name>.rwlock": the guarded directory is created under the write lock and removed
// under it, which a lock file inside it could not survive. The parent must exist when a lock is
// taken; the directory itself need not.
class FS_EXPORT dsDirectoryReadWriteLock {
 public:
  class WriteLock;

  // A shared hold on the directory. Movable, not copyable; the destructor releases. Each
  // ReadLock has its own open description, so readers in one process are counted like readers
  // in different processes.
  class FS_EXPORT ReadLock {
   public:
    ReadLock();  // guards nothing; acquiring it is a logic error (std::logic_error)
    ~ReadLock();
    ReadLock(ReadLock&& other) noexcept;
    // Releases what this object holds and takes over other's lock, held or not.
    ReadLock& operator=(ReadLock&& other) noexcept;
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

    // False when a writer holds the directory. Throws as dsDirectoryExclusiveLock does.
    bool tryAcquire(bool noRefresh = false);
    // Waits until no writer holds the directory; returns true.
    bool acquire(bool noRefresh = false);
    bool isAcquired() const;
    void release() noexcept;

   private:
    friend class dsDirectoryReadWriteLock;
    friend class WriteLock;
    explicit ReadLock(fsdetail::LockFile lockFile);
    fsdetail::LockFile lockFile_;
  };

  // The exclusive hold on the directory. Movable, not copyable; the destructor releases.
  class FS_EXPORT WriteLock {
   public:
    ~WriteLock();
    WriteLock(WriteLock&& other) noexcept;
    WriteLock& operator=(WriteLock&& other) noexcept;
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    // False at once when anyone else (reader or writer, this process included) holds the
    // directory.
    bool tryAcquire(bool noRefresh = false);
    // Waits until nobody else holds the directory; returns true.
    bool acquire(bool noRefresh = false);
    bool isAcquired() const;
    void release() noexcept;
    // Turns the held write lock into a read lock in one step: a writer waiting for the
    // directory cannot get in between. The returned ReadLock is held; this WriteLock no longer
    // holds anything and may be acquired again. Throws std::logic_error when not held, and
    // dsFileAccessError when the kernel refuses the change (the write lock is then kept).
    ReadLock downgrade();

   private:
    friend class dsDirectoryReadWriteLock;
    explicit WriteLock(fsdetail::LockFile lockFile);
    fsdetail::LockFile lockFile_;
  };

  // Does not touch the file system. Throws std::invalid_argument for an empty directory or the
  // root, which have no name to put beside them.
  explicit dsDirectoryReadWriteLock(const std::string& directory,
                                    dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  ~dsDirectoryReadWriteLock();

  // New, not yet acquired locks on the directory. They keep what they need and may outlive
  // this object.
  ReadLock getReadLock() const;
  WriteLock getWriteLock() const;

  const std::string& directory() const { return directory_; }
  const std::string& lockFilePath() const { return lockFilePath_; }

 private:
  std::string directory_;
  std::string lockFilePath_;
  dsFileSystemPtr fileSystem_;
};
