#include "fs/directory_lock.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "fs/errors.hpp"
#include "fs/test_support.hpp"

namespace {

namespace stdfs = std::filesystem;

TEST(FsExclusiveLock, ObjectsInOneProcessExcludeEachOther) {
  fstest::TempDirectory temp;
  dsDirectoryExclusiveLock first(temp.path(), "");
  dsDirectoryExclusiveLock second(temp.path(), "");
  dsDirectoryExclusiveLock named(temp.path(), "index");

  EXPECT_FALSE(first.isAcquired());
  EXPECT_TRUE(first.tryAcquire(false));
  EXPECT_TRUE(first.isAcquired());
  EXPECT_TRUE(first.tryAcquire(false));  // already held: no change
  EXPECT_FALSE(second.tryAcquire(false));
  EXPECT_TRUE(named.tryAcquire(false)) << "a named lock is independent of the unnamed one";

  first.unlock();
  EXPECT_FALSE(first.isAcquired());
  EXPECT_TRUE(second.acquire(false));
  {
    dsDirectoryExclusiveLock scoped(temp.path(), "index");
    EXPECT_FALSE(scoped.tryAcquire(false));
    named.release();
    EXPECT_TRUE(scoped.tryAcquire(false));
  }
  EXPECT_TRUE(named.tryAcquire(false)) << "destruction releases";

  EXPECT_EQ(second.lockFilePath(), temp / ".dirlock");
  EXPECT_EQ(named.lockFilePath(), temp / ".dirlock.index");
  EXPECT_THROW(dsDirectoryExclusiveLock(temp.path(), "a/b"), std::invalid_argument);
}

TEST(FsExclusiveLock, RefreshStampsTheHolderAndNoRefreshLeavesTheFile) {
  fstest::TempDirectory temp;
  dsDirectoryExclusiveLock lock(temp.path(), "");
  auto proxy = lock.noRefresh();
  EXPECT_TRUE(proxy.acquire(true));
  EXPECT_TRUE(lock.isAcquired());
  EXPECT_EQ(fstest::readFile(lock.lockFilePath()), "");
  proxy.release();
  EXPECT_FALSE(lock.isAcquired());

  EXPECT_TRUE(lock.acquire(false));
  EXPECT_EQ(fstest::readFile(lock.lockFilePath()), std::to_string(::getpid()) + "\n");
  // A longer stamp of another holder is replaced whole, not overwritten in part.
  lock.release();
  std::ofstream(lock.lockFilePath()) << "4194303123\n";
  EXPECT_TRUE(lock.acquire(false));
  EXPECT_EQ(fstest::readFile(lock.lockFilePath()), std::to_string(::getpid()) + "\n");
}

TEST(FsExclusiveLock, MissingDirectoryIsReportedWhenTheLockIsTaken) {
  fstest::TempDirectory temp;
  dsDirectoryExclusiveLock lock(temp / "missing", "");  // constructing touches nothing
  EXPECT_THROW(lock.tryAcquire(false), dsNoSuchDirectory);
  EXPECT_THROW(lock.acquire(boost::posix_time::seconds(300), false), dsNoSuchDirectory);
  stdfs::create_directory(temp / "missing");
  EXPECT_TRUE(lock.tryAcquire(false));
}

TEST(FsExclusiveLock, SystemFailuresBecomeFileErrors) {
  fstest::TempDirectory temp;
  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  dsDirectoryExclusiveLock lock(temp.path(), "", injected);

  injected->fail("open", EACCES);
  EXPECT_THROW(lock.tryAcquire(false), dsPermissionDenied);
  injected->clear();
  injected->fail("open", EIO);
  EXPECT_THROW(lock.acquire(false), dsFileAccessError);
  injected->clear();
  injected->fail("lock", ENOLCK);  // the kernel has no lock to give
  EXPECT_THROW(lock.tryAcquire(false), dsFileAccessError);
  EXPECT_FALSE(lock.isAcquired());

  // The holder's stamp is a diagnostic: a full disk must not cost the lock.
  injected->clear();
  injected->fail("ftruncate", ENOSPC);
  injected->fail("pwrite", ENOSPC);
  EXPECT_TRUE(lock.tryAcquire(false));
  EXPECT_TRUE(lock.isAcquired());
}

// Someone replaces the lock file between our open and our lock: a lock on the orphaned file
// would exclude nobody, so the lock must be taken again on the file that is there now.
class ReplacingFileSystem : public dsPosixFileSystem {
 public:
  explicit ReplacingFileSystem(std::string path) : path_(std::move(path)) {}
  int lock(int descriptor, int command, struct flock* region) override {
    if (region->l_type != F_UNLCK && replacements_ > 0) {
      --replacements_;
      std::rename(path_.c_str(), (path_ + ".old").c_str());
      fstest::writeFile(path_, 0);
    }
    return dsPosixFileSystem::lock(descriptor, command, region);
  }
  int replacements_ = 1;

 private:
  std::string path_;
};

TEST(FsExclusiveLock, LockFileReplacedBeforeTheLockIsTakenAgain) {
  fstest::TempDirectory temp;
  auto replacing = boost::make_shared<ReplacingFileSystem>(temp / ".dirlock");
  dsDirectoryExclusiveLock lock(temp.path(), "", replacing);
  EXPECT_TRUE(lock.tryAcquire(false));
  EXPECT_EQ(replacing->replacements_, 0);
  dsDirectoryExclusiveLock other(temp.path(), "");
  EXPECT_FALSE(other.tryAcquire(false)) << "the lock is on the file at the path";
}

TEST(FsReadWriteLock, ManyReadersOrOneWriterWithinOneProcess) {
  fstest::TempDirectory temp;
  const std::string component = temp / "comp0";
  dsDirectoryReadWriteLock rw(component);
  EXPECT_EQ(rw.lockFilePath(), temp / ".comp0.rwlock");

  auto reader1 = rw.getReadLock();
  auto reader2 = rw.getReadLock();
  auto writer = rw.getWriteLock();
  EXPECT_TRUE(reader1.tryAcquire(false));
  EXPECT_TRUE(reader2.tryAcquire(false));
  EXPECT_FALSE(writer.tryAcquire(false));
  reader1.release();
  EXPECT_FALSE(writer.tryAcquire(false));
  reader2.release();
  EXPECT_TRUE(writer.tryAcquire(false));
  EXPECT_FALSE(reader1.tryAcquire(false));
  EXPECT_FALSE(rw.getWriteLock().tryAcquire(false));

  // The guarded directory may come and go under the write lock: the lock file is beside it.
  stdfs::create_directory(component);
  stdfs::remove(component);
  EXPECT_TRUE(writer.isAcquired());
  EXPECT_TRUE(stdfs::exists(rw.lockFilePath()));
  writer.release();
  EXPECT_TRUE(reader1.acquire(false));
}

TEST(FsReadWriteLock, DowngradeKeepsTheDirectoryHeld) {
  fstest::TempDirectory temp;
  dsDirectoryReadWriteLock rw(temp / "comp0");
  auto writer = rw.getWriteLock();
  ASSERT_TRUE(writer.acquire(false));
  dsDirectoryReadWriteLock::ReadLock reader = writer.downgrade();
  EXPECT_TRUE(reader.isAcquired());
  EXPECT_FALSE(writer.isAcquired());
  EXPECT_FALSE(rw.getWriteLock().tryAcquire(false));
  auto otherReader = rw.getReadLock();
  EXPECT_TRUE(otherReader.tryAcquire(false)) << "a downgraded lock admits other readers";
  otherReader.release();
  EXPECT_THROW(writer.downgrade(), std::logic_error);
  reader.release();
  EXPECT_TRUE(writer.tryAcquire(false)) << "the write lock can be taken again";
}

TEST(FsReadWriteLock, FailedDowngradeKeepsTheWriteLock) {
  fstest::TempDirectory temp;
  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  dsDirectoryReadWriteLock rw(temp / "comp0", injected);
  auto writer = rw.getWriteLock();
  ASSERT_TRUE(writer.tryAcquire(false));
  injected->fail("lock", EIO);
  EXPECT_THROW(writer.downgrade(), dsFileAccessError);
  injected->clear();
  EXPECT_TRUE(writer.isAcquired());
  EXPECT_FALSE(rw.getReadLock().tryAcquire(false));
}

TEST(FsReadWriteLock, AssignmentMovesTheHeldLock) {
  fstest::TempDirectory temp;
  dsDirectoryReadWriteLock a(temp / "a");
  dsDirectoryReadWriteLock b(temp / "b");
  dsDirectoryReadWriteLock::ReadLock target = a.getReadLock();
  ASSERT_TRUE(target.acquire(false));
  dsDirectoryReadWriteLock::ReadLock source = b.getReadLock();
  ASSERT_TRUE(source.acquire(false));

  target = std::move(source);
  EXPECT_TRUE(target.isAcquired());
  EXPECT_TRUE(a.getWriteLock().tryAcquire(false)) << "the overwritten lock was released";
  EXPECT_FALSE(b.getWriteLock().tryAcquire(false)) << "the moved lock is still held";
  target.release();
  EXPECT_TRUE(b.getWriteLock().tryAcquire(false));

  dsDirectoryReadWriteLock::ReadLock empty;
  EXPECT_FALSE(empty.isAcquired());
  EXPECT_THROW(empty.tryAcquire(false), std::logic_error);
}

TEST(FsReadWriteLock, NeedsANamedDirectoryWithAnExistingParent) {
  fstest::TempDirectory temp;
  EXPECT_THROW(dsDirectoryReadWriteLock("/"), std::invalid_argument);
  EXPECT_THROW(dsDirectoryReadWriteLock(" "), std::invalid_argument);
  dsDirectoryReadWriteLock orphan(temp / "no/parent");
  EXPECT_THROW(orphan.getReadLock().tryAcquire(false), dsNoSuchDirectory);
  EXPECT_THROW(orphan.getWriteLock().acquire(false), dsNoSuchDirectory);

  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  injected->fail("open", EACCES);
  EXPECT_THROW(dsDirectoryReadWriteLock(temp / "x", injected).getReadLock().acquire(false),
               dsPermissionDenied);
}

}  // namespace
