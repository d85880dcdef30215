// The cache's maintenance against a real cache directory: which components go and in what order,
// components in use (in this and in another process), the root lock, and the last-use stamp.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

constexpr std::uint64_t kTwentyMillion = 20000000;
constexpr std::uint64_t kDefaultLimit = 33554432;

std::string record(const std::string& id, const std::string& dirName, std::uint64_t size,
                   const std::string& time) {
  return id + "\n" + dirName + "\n" + std::to_string(size) + "\n" + time + "\n";
}

// Three components of 20000000 bytes each (as recorded), used in the order alpha, beta, gamma.
const std::string kThreeComponents =
    record("alpha", "alpha0", kTwentyMillion, "2013-Jan-30 10:00:00") +
    record("beta", "beta0", kTwentyMillion, "2013-Jan-30 11:00:00.500000") +
    record("gamma", "gamma0", kTwentyMillion, "2013-Jan-30 12:00:00");

std::vector<std::string> idsByLastUsed(rtkComponentCacheIndex& index) {
  std::vector<std::string> ids;
  for (const CacheIndexEntry& entry : index.byLastUsed()) ids.push_back(entry.id);
  return ids;
}

// A child process that holds a component record (and so the read lock) on a folder until it is
// killed.
class RecordHolderProcess {
 public:
  explicit RecordHolderProcess(const std::string& folder) {
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      try {
        const rtkExtractedComponent record(folder, folder + "/.sorvel", "held", nullptr, true,
                                           true);
        if (::write(ready[1], "y", 1) == 1) ::pause();
      } catch (...) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    char answer = 'n';
    const bool told = ::read(ready[0], &answer, 1) == 1;  // end of file: the child failed
    ::close(ready[0]);
    if (!told) {
      finish();
      throw std::runtime_error("the child could not make its record");
    }
  }
  ~RecordHolderProcess() { finish(); }
  RecordHolderProcess(const RecordHolderProcess&) = delete;
  RecordHolderProcess& operator=(const RecordHolderProcess&) = delete;

  // Ends the child, and with it its record and lock.
  void finish() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// The folder a test's cache lives in, made for the test and removed after it.
std::string temporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvn_maint.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

class CacheMaintenance : public ::testing::Test {
 protected:
  void TearDown() override {
    cache_.reset();
    std::error_code ignored;
    stdfs::remove_all(base_, ignored);
  }

  // Writes the index file and a finished component folder of a few bytes (whatever the index
  // records) for each folder it names.
  void writeIndex(const std::string& text) {
    CacheIndexReader reader(text);
    for (CacheIndexEntry entry; reader.next(entry);) {
      if (entry.dirName.empty()) continue;
      const std::string folder = directory_ + "/" + entry.dirName;
      rtkutil::testing::writeFile(folder + "/" + kCreatedMarkerFileName, "");
      rtkutil::testing::writeFile(folder + "/" + entry.dirName + "_payload/main.q", "x = 1;\n");
    }
    rtkutil::testing::writeFile(directory_ + "/" + kCacheIndexFileName, text);
  }

  boost::shared_ptr<rtkComponentCacheIndex> openIndex() {
    return boost::make_shared<rtkComponentCacheIndex>(
        dsPathString(directory_ + "/" + kCacheIndexFileName));
  }

  bool exists(const std::string& dirName) const {
    return stdfs::is_directory(directory_ + "/" + dirName);
  }

  const std::string base_ = temporaryFolder();
  const std::string directory_ = base_ + "/kvnCache8.1";
  // Nothing below may reach the user's real cache.
  const ScopedEnvironment root_{"KVN_CACHE_ROOT", base_.c_str()};
  const ScopedEnvironment temporary_{"TMPDIR", base_.c_str()};
  std::unique_ptr<rtkComponentCache> cache_ =
      std::make_unique<rtkComponentCache>(directory_.c_str(), kDefaultLimit);
};

TEST_F(CacheMaintenance, DeletesTheLeastRecentlyUsedUntilTheRecordedSizesFit) {
  // The folders hold a few bytes each: a maintenance that measured the disk would keep them all.
  const std::string small = record("alpha", "alpha0", 10, "2013-Jan-30 10:00:00") +
                            record("beta", "beta0", 20, "2013-Jan-30 11:00:00") +
                            record("gamma", "gamma0", 30, "2013-Jan-30 12:00:00");
  const struct Case {
    const char* what;
    std::string index;
    std::uint64_t maxSize;
    std::vector<std::string> kept;                             // ids, in last-use order
    std::function<void(rtkComponentCacheIndex&)> change = {};  // after the index is read
    std::string logged = {};
  } cases[] = {
      {"within the limit", small, 60, {"alpha", "beta", "gamma"}},
      {"a byte over the limit", small, 59, {"beta", "gamma"}},
      {"never used: the last to go",
       record("aaaaa", "aaaaa0", 1, "not-a-date-time") +
           record("bbbbb", "bbbbb0", 1, "2014-Mar-01 00:00:00") +
           record("ccccc", "ccccc0", 1, "2013-Jan-30 10:00:00"),
       1,
       {"aaaaa"}},
      // Its recorded size no longer counts: the next component is not deleted to make room that
      // is free already.
      {"a folder gone since the index was read",
       kThreeComponents,
       2 * kTwentyMillion,
       {"beta", "gamma"},
       [this](rtkComponentCacheIndex&) { stdfs::remove_all(directory_ + "/alpha0"); },
       "Attempting to delete component alpha... Component not found: alpha; removing from index\n"
       "Done with cache maintenance.\n"},
      // The empty name would delete the whole cache, ".." the folder around it.
      {"names that stand for no folder inside the cache directory",
       record("nameless", "", kTwentyMillion, "2013-Jan-30 10:00:00") +
           record("later", "later0", kTwentyMillion, "2013-Jan-30 11:00:00"),
       0,
       {"nameless", "escape"},
       [](rtkComponentCacheIndex& index) {
         CacheIndexEntry escape("escape");
         escape.dirName = "..";
         escape.size = kTwentyMillion;
         ASSERT_TRUE(index.insert(escape));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cache_.reset();
    stdfs::remove_all(directory_);
    cache_ = std::make_unique<rtkComponentCache>(directory_.c_str(), c.maxSize);
    writeIndex(c.index);
    ASSERT_TRUE(cache_->rootLock.acquire(false));
    auto index = openIndex();
    if (c.change) c.change(*index);
    CapturedCacheLog log;
    EXPECT_TRUE(cache_->performMaintenance(*index));
    EXPECT_THAT(log.text(), HasSubstr(c.logged));
    EXPECT_EQ(idsByLastUsed(*index), c.kept);
    if (c.kept.size() == 3) {
      EXPECT_FALSE(index->writeNeeded()) << "nothing deleted, nothing to write";
    }
    for (const char* id : {"alpha", "beta", "gamma", "aaaaa", "bbbbb", "ccccc", "later"}) {
      const bool kept = std::find(c.kept.begin(), c.kept.end(), id) != c.kept.end();
      EXPECT_TRUE(!exists(std::string(id) + "0") || kept) << id << " is left";
      EXPECT_TRUE(exists(std::string(id) + "0") || !kept) << id << " is gone";
    }
    EXPECT_TRUE(stdfs::exists(directory_ + "/.max_size"));
  }
  EXPECT_TRUE(stdfs::is_directory(base_));
}

TEST_F(CacheMaintenance, LogsEachDeletionAndWritesTheIndexWhenItGoes) {
  writeIndex(kThreeComponents);
  ASSERT_TRUE(cache_->rootLock.acquire(false));
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
  index.reset();
  EXPECT_THAT(idsByLastUsed(*openIndex()), ElementsAre("gamma"));
}

TEST_F(CacheMaintenance, SkipsAComponentInUseInThisOrAnotherProcess) {
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  const std::string held = directory_ + "/alpha0";
  for (const bool otherProcess : {false, true}) {
    SCOPED_TRACE(otherProcess ? "record in another process" : "record in this process");
    writeIndex(kThreeComponents);
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

    // Once the record is gone, the same component is the first to go.
    record.reset();
    holder.reset();
    cache_->maxSize = kTwentyMillion;
    EXPECT_TRUE(cache_->performMaintenance(*index));
    EXPECT_THAT(idsByLastUsed(*index), ElementsAre("gamma"));
    EXPECT_FALSE(exists("alpha0"));
  }
}

TEST_F(CacheMaintenance, BothRefuseWithoutTheRootLock) {
  writeIndex(kThreeComponents);
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
  writeIndex(kThreeComponents);
  ASSERT_TRUE(cache_->rootLock.acquire(false));
  auto index = openIndex();
  const pt::ptime start = currentCacheTime();
  {
    CapturedCacheLog log;
    EXPECT_TRUE(cache_->touchComponent(*index, "alpha"));
    const std::string text = log.text();
    EXPECT_THAT(text,
                ::testing::StartsWith("KVN Cache: updating .last_used file (LRU component: alpha) "
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
