// Directory locks between real processes. Children are made with fork and report through pipes;
// the parent decides every step, so no test waits on a sleep for something a pipe can tell.
// Children end with _exit: they must not run the parent's destructors or the test framework.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "fs/directory_lock.hpp"
#include "fs/file_system.hpp"
#include "fs/module_path.hpp"

namespace {

// One direction of talk between parent and child, one character per message.
class Channel {
 public:
  Channel() {
    if (::pipe(ends_) != 0) throw std::runtime_error("pipe failed");
  }
  ~Channel() {
    ::close(ends_[0]);
    ::close(ends_[1]);
  }
  void send(char message) {
    if (::write(ends_[1], &message, 1) != 1) throw std::runtime_error("pipe write failed");
  }
  // The next message; '\0' when none came within a minute (the other side is stuck or gone),
  // so a broken lock fails the test instead of hanging it.
  char receive() {
    if (!pending(60000)) return '\0';
    char message = 0;
    ssize_t got;
    do {
      got = ::read(ends_[0], &message, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1 ? message : '\0';
  }
  // Whether a message is waiting, after waiting at most timeoutMs.
  bool pending(int timeoutMs) {
    struct pollfd poller = {ends_[0], POLLIN, 0};
    return ::poll(&poller, 1, timeoutMs) == 1;
  }

 private:
  int ends_[2];
};

// A child process running body; its return value is the child's exit status. If the test
// ends early (a failed ASSERT), the destructor kills and reaps the child, so no process is left
// holding a lock or the test runner's output pipe.
class Child {
 public:
  explicit Child(const std::function<int()>& body) : pid_(::fork()) {
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      int status = 100;
      try {
        status = body();
      } catch (...) {
        status = 101;
      }
      ::_exit(status);
    }
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Exit status, or 128 + the signal that ended it.
  int wait() {
    int status = 0;
    pid_t reaped;
    do {
      reaped = ::waitpid(pid_, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    pid_ = -1;
    if (reaped < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void kill(int signal) { ::kill(pid_, signal); }

  // Waits until the child sleeps in the kernel (state S in /proc), which for a child that has
  // announced a blocking lock call means it is queued for the lock. False after 60 s.
  bool waitUntilBlocked() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
      std::string line;
      std::getline(stat, line);
      const std::size_t afterName = line.rfind(')');
      if (afterName != std::string::npos && afterName + 2 < line.size() &&
          line[afterName + 2] == 'S') {
        return true;
      }
      ::sched_yield();
    }
    return false;
  }

 private:
  pid_t pid_;
};

class FsLockProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/fs_process.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(directory); }

  std::string directory;
};

TEST_F(FsLockProcess, ExclusiveLockExcludesASecondProcess) {
  dsDirectoryExclusiveLock lock(directory, "", dsGetDefaultFSImp());
  ASSERT_TRUE(lock.tryAcquire(false));

  Channel fromChild;
  Child child([&] {
    dsDirectoryExclusiveLock mine(directory, "", dsGetDefaultFSImp());
    fromChild.send(mine.tryAcquire(false) ? 'T' : 'F');
    fromChild.send('W');  // about to wait
    mine.acquire(false);
    fromChild.send('L');
    return 0;
  });

  EXPECT_EQ(fromChild.receive(), 'F') << "the child got a lock the parent holds";
  EXPECT_EQ(fromChild.receive(), 'W');
  ASSERT_TRUE(child.waitUntilBlocked()) << "the child did not wait for the lock";
  EXPECT_FALSE(fromChild.pending(0)) << "the waiting child got in while the parent held on";
  lock.release();
  ASSERT_EQ(fromChild.receive(), 'L');
  EXPECT_EQ(child.wait(), 0);
  EXPECT_TRUE(lock.tryAcquire(false)) << "the child's exit freed the lock";
}

TEST_F(FsLockProcess, ReadWriteLockAdmitsManyReadersOrOneWriter) {
  const std::string component = directory + "/comp0";
  dsDirectoryReadWriteLock rw(component, dsGetDefaultFSImp());

  // Two children hold read locks at the same time, each until told to let go.
  Channel fromReaders;
  Channel toFirst;
  Channel toSecond;
  auto reader = [&](Channel* release) {
    return [&, release] {
      auto lock = dsDirectoryReadWriteLock(component, dsGetDefaultFSImp()).getReadLock();
      fromReaders.send(lock.tryAcquire(false) ? 'R' : 'F');
      release->receive();
      return 0;
    };
  };
  Child first(reader(&toFirst));
  ASSERT_EQ(fromReaders.receive(), 'R');
  Child second(reader(&toSecond));
  EXPECT_EQ(fromReaders.receive(), 'R') << "a second reader was refused while the first reads";

  auto writer = rw.getWriteLock();
  EXPECT_FALSE(writer.tryAcquire(false)) << "a writer got in while two readers hold the lock";
  toFirst.send('x');
  EXPECT_EQ(first.wait(), 0);
  EXPECT_FALSE(writer.tryAcquire(false)) << "a writer got in while one reader holds the lock";
  toSecond.send('x');
  EXPECT_EQ(second.wait(), 0);
  ASSERT_TRUE(writer.tryAcquire(false));

  // While the parent writes, other processes can neither read nor write.
  Channel fromChild;
  Child child([&] {
    dsDirectoryReadWriteLock mine(component, dsGetDefaultFSImp());
    fromChild.send(mine.getReadLock().tryAcquire(false) ? 'R' : '-');
    fromChild.send(mine.getWriteLock().tryAcquire(false) ? 'W' : '-');
    return 0;
  });
  EXPECT_EQ(fromChild.receive(), '-') << "a reader got in while the parent writes";
  ASSERT_EQ(fromChild.receive(), '-') << "a second writer got in";
  EXPECT_EQ(child.wait(), 0);
}

TEST_F(FsLockProcess, DowngradeLeavesNoGapForAWaitingWriter) {
  const std::string component = directory + "/comp0";
  dsDirectoryReadWriteLock rw(component, dsGetDefaultFSImp());
  // The child waits for the write lock, says 'G' when it has it (before letting go, so the
  // message is in the pipe before the parent can have the lock back), and waits for the
  // parent's go before it queues again. It announces each wait with 'A'.
  Channel fromChild;
  Channel toChild;
  Child child([&] {
    auto mine = dsDirectoryReadWriteLock(component, dsGetDefaultFSImp()).getWriteLock();
    while (toChild.receive() == 'g') {
      fromChild.send('A');
      mine.acquire(false);
      fromChild.send('G');
      mine.release();
    }
    return 0;
  });
  // Taken after the fork, so the child holds no copy of the parent's lock descriptor.
  auto writer = rw.getWriteLock();
  ASSERT_TRUE(writer.acquire(false));
  auto queueChild = [&] {
    toChild.send('g');
    ASSERT_EQ(fromChild.receive(), 'A');
    ASSERT_TRUE(child.waitUntilBlocked());
  };
  ASSERT_NO_FATAL_FAILURE(queueChild());

  for (int round = 0; round < 300; ++round) {
    dsDirectoryReadWriteLock::ReadLock reader = writer.downgrade();
    ASSERT_TRUE(reader.isAcquired());
    ASSERT_FALSE(fromChild.pending(0))
        << "the waiting writer got the lock while the parent downgraded (round " << round << ")";
    reader.release();
    writer.acquire(false);  // the waiting child may get in first; that is allowed
    if (fromChild.pending(0)) {
      ASSERT_EQ(fromChild.receive(), 'G');
      ASSERT_NO_FATAL_FAILURE(queueChild());
    }
  }
  writer.release();
  ASSERT_EQ(fromChild.receive(), 'G') << "the queued child did not get the lock";
  toChild.send('q');
  EXPECT_EQ(child.wait(), 0);
}

TEST_F(FsLockProcess, KilledHolderFreesItsLocks) {
  Channel fromChild;
  Child child([&] {
    dsDirectoryExclusiveLock exclusive(directory, "", dsGetDefaultFSImp());
    auto write = dsDirectoryReadWriteLock(directory + "/comp0", dsGetDefaultFSImp()).getWriteLock();
    fromChild.send(exclusive.tryAcquire(false) && write.tryAcquire(false) ? 'L' : 'F');
    for (;;) ::pause();
    return 0;
  });
  ASSERT_EQ(fromChild.receive(), 'L');

  dsDirectoryExclusiveLock exclusive(directory, "", dsGetDefaultFSImp());
  dsDirectoryReadWriteLock rw(directory + "/comp0", dsGetDefaultFSImp());
  auto reader = rw.getReadLock();
  EXPECT_FALSE(exclusive.tryAcquire(false));
  EXPECT_FALSE(reader.tryAcquire(false));

  child.kill(SIGKILL);
  EXPECT_EQ(child.wait(), 128 + SIGKILL);
  EXPECT_TRUE(exclusive.tryAcquire(false));
  EXPECT_TRUE(reader.tryAcquire(false));
}

TEST_F(FsLockProcess, TimedAcquireGivesUpAfterItsTime) {
  Channel fromChild;
  Child child([&] {
    dsDirectoryExclusiveLock lock(directory, "", dsGetDefaultFSImp());
    fromChild.send(lock.tryAcquire(false) ? 'L' : 'F');
    for (;;) ::pause();
    return 0;
  });
  ASSERT_EQ(fromChild.receive(), 'L');

  dsDirectoryExclusiveLock lock(directory, "", dsGetDefaultFSImp());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(lock.acquire(boost::posix_time::milliseconds(300), false));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_FALSE(lock.isAcquired());
  child.kill(SIGKILL);
  child.wait();
  EXPECT_TRUE(lock.acquire(boost::posix_time::seconds(60), false));
}

// The shared library callers load: found by file name and one of its own exports.
TEST(FsSharedLibrary, LoadedModuleLookupFindsThisLibrary) {
  Dl_info info;
  ASSERT_NE(::dladdr(reinterpret_cast<void*>(&dsGetDefaultFSImp), &info), 0);
  const std::string expected = std::filesystem::canonical(info.dli_fname).string();

  char out[dsMaxModulePath];
  const char* exports[] = {"_Z17dsGetDefaultFSImpv"};
  for (const char* name : {"libfsservices.so", "fsservices", "fsservices.dll"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(dsGetLoadedModuleFullPath(out, name, exports, 1), out);
    EXPECT_EQ(std::filesystem::canonical(out).string(), expected);
  }
  std::wstring modulePath;
  ASSERT_TRUE(dsGetCurrentModulePath(reinterpret_cast<void*>(&dsGetDefaultFSImp), modulePath));
  EXPECT_EQ(std::filesystem::canonical(modulePath).string(), expected);
}

}  // namespace
