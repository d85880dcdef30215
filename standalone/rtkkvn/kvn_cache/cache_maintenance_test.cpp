// The cache's maintenance against a real cache directory: which components go and in what order,
// components in use (in this and in another process), the root lock, and the last-use stamp.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/captured_cache_log.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
namespace pt = boost::posix_time;
using rtkutil::testing::ScopedEnvironment;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr std::uint64_t kTwentyMillion = 20000000;
constexpr std::uint64_t kDefaultLimit = 33554432;

std::string record(const std::string& id, const std::string& dirName, std::uint64_t size,
                   const std::string& time) {
  return id + "\n" + dirName + "\n" + std::to_string(size) + "\n" + time + "\n";
}

std::vector<std::string> idsByLastUsed(rtkComponentCacheIndex& index) {
  std::vector<std::string> ids;
  for (const CacheIndexEntry& entry : index.byLastUsed()) ids.push_back(entry.id);
  return ids;
}

// A child process that holds a component record (and so the read lock) on a folder until it is
// told to stop.
class RecordHolderProcess {
 public:
  explicit RecordHolderProcess(const std::string& folder) {
    int ready[2];
    int stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      char answer = 'n';
      try {
        const rtkExtractedComponent record(folder, folder + "/.sorvel", "held", nullptr, true,
                                           true);
        answer = 'y';
        ignore(::write(ready[1], &answer, 1));
        char done;
        ignore(::read(stop[0], &done, 1));
      } catch (...) {
        ignore(::write(ready[1], &answer, 1));
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char answer = 'n';
    const bool told = ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    if (!told || answer != 'y') {
      finish();
      throw std::runtime_error("the child could not make its record");
    }
  }
  ~RecordHolderProcess() { finish(); }
  RecordHolderProcess(const RecordHolderProcess&) = delete;
  RecordHolderProcess& operator=(const RecordHolderProcess&) = delete;

  // Lets the child drop its record and waits until it has exited.
  void finish() {
    if (pid_ <= 0) return;
    ::close(stop_);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  static void ignore(ssize_t) {}
  pid_t pid_ = -1;
  int stop_ = -1;
};

class CacheMaintenance : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvn_maint.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    // Nothing below may reach the user's real cache.
    root_ = std::make_unique<ScopedEnvironment>("KVN_CACHE_ROOT", base_.c_str());
    temporary_ = std::make_unique<ScopedEnvironment>("TMPDIR", base_.c_str());
    directory_ = base_ + "/kvnCache8.1";
    cache_ = std::make_unique<rtkComponentCache>(directory_.c_str(), kDefaultLimit);
  }
  void TearDown() override {
    cache_.reset();
    temporary_.reset();
    root_.reset();
    std::error_code ignored;
    stdfs::remove_all(base_, ignored);
  }

  // A finished component folder. Its files are few bytes, whatever the index records for it.
  std::string component(const std::string& dirName) {
    const std::string folder = directory_ + "/" + dirName;
    rtkutil::testing::writeFile(folder + "/" + kCreatedMarkerFileName, "");
    rtkutil::testing::writeFile(folder + "/" + dirName + "_payload/main.q", "x = 1;\n");
    return folder;
  }

  void writeIndex(const std::string& text) {
    rtkutil::testing::writeFile(directory_ + "/" + kCacheIndexFileName, text);
  }

  boost::shared_ptr<rtkComponentCacheIndex> openIndex() {
    return boost::make_shared<rtkComponentCacheIndex>(
        dsPathString(directory_ + "/" + kCacheIndexFileName));
  }

  // Three components of 20000000 bytes each (as recorded), used in the order alpha, beta, gamma.
  void threeComponents() {
    for (const char* name : {"alpha0", "beta0", "gamma0"}) component(name);
    writeIndex(record("alpha", "alpha0", kTwentyMillion, "2013-Jan-30 10:00:00") +
               record("beta", "beta0", kTwentyMillion, "2013-Jan-30 11:00:00.500000") +
               record("gamma", "gamma0", kTwentyMillion, "2013-Jan-30 12:00:00"));
  }

  bool exists(const std::string& dirName) const {
    return stdfs::is_directory(directory_ + "/" + dirName);
  }

  std::string base_;
  std::string directory_;
  std::unique_ptr<ScopedEnvironment> root_;
  std::unique_ptr<ScopedEnvironment> temporary_;
  std::unique_ptr<rtkComponentCache> cache_;
};

// The folders hold a few bytes each: a maintenance that measured the disk would delete nothing
// in the second case and everything in the first.
TEST_F(CacheMaintenance, CountsTheRecordedSizesAndStopsAtTheLimit) {
  for (const char* name : {"alpha0", "beta0", "gamma0"}) {
    component(name);
    rtkutil::testing::writeFile(directory_ + "/" + name + "/big.bin", std::string(8192, 'b'));
  }
  writeIndex(record("alpha", "alpha0", 10, "2013-Jan-30 10:00:00") +
             record("beta", "beta0", 20, "2013-Jan-30 11:00:00") +
             record("gamma", "gamma0", 30, "2013-Jan-30 12:00:00"));
  ASSERT_TRUE(cache_->rootLock.acquire(false));

  cache_->maxSize = 60;
  auto index = openIndex();
  EXPECT_TRUE(cache_->performMaintenance(*index));
  EXPECT_THAT(idsByLastUsed(*index), ElementsAre("alpha", "beta", "gamma"));
  EXPECT_FALSE(index->writeNeeded());
  EXPECT_TRUE(exists("alpha0") && exists("beta0") && exists("gamma0"));

  cache_->maxSize = 59;
  EXPECT_TRUE(cache_->performMaintenance(*index));
  EXPECT_THAT(idsByLastUsed(*index), ElementsAre("beta", "gamma"));
  EXPECT_FALSE(exists("alpha0"));
  EXPECT_TRUE(exists("beta0") && exists("gamma0"));
}

TEST_F(CacheMaintenance, DeletesTheOldestFirstUntilWithinTheLimit) {
  threeComponents();
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  ASSERT_EQ(cache_->maxSize, kDefaultLimit);
  auto index = openIndex();
  CapturedCacheLog log;
  EXPECT_TRUE(cache_->performMaintenance(*index));
  EXPECT_EQ(log.text(),
            "KVN Cache: performing maintenance...\n"
            "Processing cached components... \n"
            "Processing component alpha\n"
            "Attempting to delete component alpha... alpha removed successfully.\n"
            "Processing component beta\n"
            "Attempting to delete component beta... beta removed successfully.\n"
            "Done with cache maintenance.\n");
  EXPECT_FALSE(exists("alpha0"));
  EXPECT_FALSE(exists("beta0"));
  EXPECT_TRUE(exists("gamma0"));

  // The erasures reach the file when the index goes.
  index.reset();
  EXPECT_THAT(idsByLastUsed(*openIndex()), ElementsAre("gamma"));
}

TEST_F(CacheMaintenance, SkipsAComponentInUseInThisOrAnotherProcess) {
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  const std::string held = directory_ + "/alpha0";
  for (const bool otherProcess : {false, true}) {
    SCOPED_TRACE(otherProcess ? "record in another process" : "record in this process");
    threeComponents();
    // One deletion is enough once the held component is skipped.
    cache_->maxSize = 2 * kTwentyMillion;
    boost::shared_ptr<rtkExtractedComponent> record;
    std::unique_ptr<RecordHolderProcess> holder;
    if (otherProcess) {
      holder = std::make_unique<RecordHolderProcess>(held);
    } else {
      record = boost::make_shared<rtkExtractedComponent>(
          dsPathString(held), dsPathString(held + "/.sorvel"), "alpha", nullptr, true, true);
    }
    auto index = openIndex();
    {
      CapturedCacheLog log;
      EXPECT_TRUE(cache_->performMaintenance(*index));
      EXPECT_THAT(log.text(),
                  HasSubstr("Processing component alpha\n"
                            "Attempting to delete component alpha... could not acquire WRITE "
                            "lock; delete FAILED\n"
                            "Processing component beta\n"
                            "Attempting to delete component beta... beta removed successfully.\n"
                            "Done with cache maintenance.\n"));
    }
    EXPECT_THAT(idsByLastUsed(*index), ElementsAre("alpha", "gamma"));
    EXPECT_TRUE(exists("alpha0"));
    EXPECT_FALSE(exists("beta0"));
    EXPECT_TRUE(exists("gamma0"));

    // Once the record is gone, the same component is the first to go.
    record.reset();
    holder.reset();
    cache_->maxSize = kTwentyMillion;
    EXPECT_TRUE(cache_->performMaintenance(*index));
    EXPECT_THAT(idsByLastUsed(*index), ElementsAre("gamma"));
    EXPECT_FALSE(exists("alpha0"));
  }
}

TEST_F(CacheMaintenance, DeletesNeverUsedComponentsLast) {
  for (const char* name : {"aaaaa0", "bbbbb0", "ccccc0"}) component(name);
  writeIndex(record("aaaaa", "aaaaa0", 1, "not-a-date-time") +
             record("bbbbb", "bbbbb0", 1, "2014-Mar-01 00:00:00") +
             record("ccccc", "ccccc0", 1, "2013-Jan-30 10:00:00"));
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  cache_->maxSize = 0;
  auto index = openIndex();
  CapturedCacheLog log;
  EXPECT_TRUE(cache_->performMaintenance(*index));
  const std::string text = log.text();
  const auto c = text.find("ccccc removed successfully.");
  const auto b = text.find("bbbbb removed successfully.");
  const auto a = text.find("aaaaa removed successfully.");
  ASSERT_NE(a, std::string::npos) << text;
  EXPECT_LT(c, b) << text;
  EXPECT_LT(b, a) << text;
  EXPECT_EQ(index->totalSize(), 0u);
}

// Names that stand for no folder inside the cache directory must never reach the removal: the
// empty name would delete the whole cache, ".." the folder around it.
TEST_F(CacheMaintenance, NeverDeletesWhatIsNotAComponentFolder) {
  component("later0");
  writeIndex(record("nameless", "", kTwentyMillion, "2013-Jan-30 10:00:00") +
             record("later", "later0", kTwentyMillion, "2013-Jan-30 11:00:00"));
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  cache_->maxSize = 0;
  auto index = openIndex();
  ASSERT_THAT(idsByLastUsed(*index), ElementsAre("nameless", "later"));
  CacheIndexEntry escape("escape");
  escape.dirName = "..";
  escape.size = kTwentyMillion;
  ASSERT_TRUE(index->insert(escape));

  CapturedCacheLog log;
  EXPECT_TRUE(cache_->performMaintenance(*index));
  const std::string text = log.text();
  EXPECT_THAT(text, ::testing::Not(HasSubstr("nameless")));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("escape")));
  EXPECT_THAT(idsByLastUsed(*index), ElementsAre("nameless", "escape"));
  EXPECT_FALSE(exists("later0"));
  EXPECT_TRUE(stdfs::exists(directory_ + "/.max_size"));
  EXPECT_TRUE(stdfs::is_directory(base_));
}

// The entry of a folder that vanished after the index was read is dropped, and its recorded size
// no longer counts: the next component is not deleted to make room that is already free.
TEST_F(CacheMaintenance, DropsTheEntryOfAFolderThatIsGone) {
  threeComponents();
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  cache_->maxSize = 2 * kTwentyMillion;
  auto index = openIndex();
  stdfs::remove_all(directory_ + "/alpha0");
  CapturedCacheLog log;
  EXPECT_TRUE(cache_->performMaintenance(*index));
  EXPECT_THAT(log.text(), HasSubstr("Attempting to delete component alpha... Component not found: "
                                    "alpha; removing from index\n"
                                    "Done with cache maintenance.\n"));
  EXPECT_THAT(idsByLastUsed(*index), ElementsAre("beta", "gamma"));
  EXPECT_TRUE(exists("beta0") && exists("gamma0"));
}

TEST_F(CacheMaintenance, BothRefuseWithoutTheRootLock) {
  threeComponents();
  cache_->maxSize = 0;
  auto index = openIndex();
  ASSERT_FALSE(cache_->rootLock.isAcquired());
  const pt::ptime before = index->find("alpha")->lastUsed;

  CapturedCacheLog log;
  EXPECT_FALSE(cache_->touchComponent(*index, "alpha"));
  EXPECT_FALSE(cache_->performMaintenance(*index));
  EXPECT_EQ(log.text(),
            "KVN Cache: updating .last_used file (LRU component: alpha) (checking for cache "
            "root-level directory lock... \n"
            "Cache directory lock is not acquired!  (aborting...)\n"
            "KVN Cache: performing maintenance...\n"
            "Cache directory lock is not acquired!  (aborting...)\n");
  EXPECT_EQ(index->find("alpha")->lastUsed, before);
  EXPECT_FALSE(index->writeNeeded());
  EXPECT_TRUE(exists("alpha0") && exists("beta0") && exists("gamma0"));

  // The lock held by another object (as another process would hold it) does not count.
  dsDirectoryExclusiveLock other(directory_, std::string());
  ASSERT_TRUE(other.acquire(false));
  EXPECT_FALSE(cache_->performMaintenance(*index));
  EXPECT_TRUE(exists("alpha0"));
}

TEST_F(CacheMaintenance, TouchRenewsTheLastUse) {
  threeComponents();
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  auto index = openIndex();
  const pt::ptime start = currentCacheTime();
  {
    CapturedCacheLog log;
    EXPECT_TRUE(cache_->touchComponent(*index, "alpha"));
    const std::string text = log.text();
    EXPECT_THAT(text, StartsWith("KVN Cache: updating .last_used file (LRU component: alpha) "
                                 "(checking for cache root-level directory lock... done) "
                                 "Updating last used time for alpha "));
    EXPECT_THAT(text, ::testing::EndsWith(" done.\n"));
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line: " << text;
  }
  const pt::ptime renewed = index->find("alpha")->lastUsed;
  EXPECT_GE(renewed, start);
  EXPECT_LE(renewed, currentCacheTime());
  // Now the most recently used, so the maintenance takes the others first.
  EXPECT_THAT(idsByLastUsed(*index), ElementsAre("beta", "gamma", "alpha"));
  EXPECT_TRUE(index->writeNeeded());

  CapturedCacheLog log;
  EXPECT_FALSE(cache_->touchComponent(*index, "nosuch"));
  EXPECT_THAT(log.text(), ::testing::EndsWith(
                              "caught rtkComponentCacheIndex::component_not_found exception while "
                              "trying to update the last_used time for nosuch\n"));
  EXPECT_EQ(index->find("alpha")->lastUsed, renewed);
  EXPECT_EQ(index->entries().size(), 3u);
}

}  // namespace
