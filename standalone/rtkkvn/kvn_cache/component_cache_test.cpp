// The cache object against real folders: creating the cache directory, the ".max_size" file, the
// refusal of folders someone else controls, the log, and the one process-wide object.

#include "rtkkvn/kvn_cache/component_cache.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/exceptions.hpp"
#include "fs/errors.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"
#include "rtkkvn/kvn_cache/captured_cache_log.hpp"
#include "util/test_environment.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::ScopedEnvironment;
using ::testing::HasSubstr;

std::string readWhole(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void writeWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

mode_t permissionsOf(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return 07777;
  return status.st_mode & 07777;
}

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// The real system calls, except that failCall ("open" with O_CREAT, or "rename") fails with EIO
// on paths that contain pathFragment.
class FailingFileSystem : public dsPosixFileSystem {
 public:
  FailingFileSystem(std::string failCall, std::string pathFragment)
      : failCall_(std::move(failCall)), pathFragment_(std::move(pathFragment)) {}
  int open(const char* path, int flags, mode_t mode) override {
    if (failCall_ == "open" && (flags & O_CREAT) && matches(path)) return fail();
    return dsPosixFileSystem::open(path, flags, mode);
  }
  int rename(const char* from, const char* to) override {
    if (failCall_ == "rename" && matches(to)) return fail();
    return dsPosixFileSystem::rename(from, to);
  }

 private:
  bool matches(const char* path) const {
    return std::string(path).find(pathFragment_) != std::string::npos;
  }
  static int fail() {
    errno = EIO;
    return -1;
  }
  std::string failCall_;
  std::string pathFragment_;
};

class ComponentCacheFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvn_cache.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(base_, ignored);
  }

  std::string base_;
};

TEST_F(ComponentCacheFolder, CreatesPrivateFoldersAndRecordsTheLimitOnce) {
  const std::string directory = base_ + "/new/root/kvnCache8.1";
  {
    ScopedEnvironment size("KVN_CACHE_SIZE", "100000000");
    rtkComponentCache cache(directory.c_str(), cacheDefaultMaxSize());
    EXPECT_EQ(cache.cacheDirectory.str(), directory);
    EXPECT_EQ(cache.rootLock.directory(), directory);
    EXPECT_FALSE(cache.rootLock.isAcquired());
    EXPECT_EQ(cache.maxSize, 100000000u);
  }
  for (const std::string& created : {base_ + "/new", base_ + "/new/root", directory}) {
    EXPECT_EQ(permissionsOf(created), 0700u) << created;
  }
  EXPECT_EQ(readWhole(directory + "/.max_size"), "100000000");
  // Nothing else is left behind by writing the file.
  EXPECT_THAT(entriesOf(directory), ::testing::ElementsAre(".max_size"));

  // Once the file exists it decides, whatever the environment says.
  ScopedEnvironment size("KVN_CACHE_SIZE", "5");
  rtkComponentCache again(directory.c_str(), cacheDefaultMaxSize());
  EXPECT_EQ(again.maxSize, 100000000u);
  EXPECT_EQ(readWhole(directory + "/.max_size"), "100000000");
}

TEST_F(ComponentCacheFolder, SizeFileWithoutANumberLeavesTheDefault) {
  const std::string directory = base_ + "/kvnCache8.1";
  stdfs::create_directory(directory);
  for (const auto& [content, limit] : {std::pair<std::string, unsigned>{"plenty", 1234},
                                       std::pair<std::string, unsigned>{"  777 bytes", 777}}) {
    writeWhole(directory + "/.max_size", content);
    rtkComponentCache cache(directory.c_str(), 1234);
    EXPECT_EQ(cache.maxSize, limit);
    EXPECT_EQ(readWhole(directory + "/.max_size"), content);  // never rewritten
  }
}

TEST_F(ComponentCacheFolder, SizeFileThatCannotBeWrittenIsOnlyLogged) {
  for (const char* failingCall : {"open", "rename"}) {
    SCOPED_TRACE(failingCall);
    const std::string directory = base_ + "/" + failingCall + "/kvnCache8.1";
    CapturedCacheLog log;
    rtkComponentCache cache(directory.c_str(), 4096,
                            boost::make_shared<FailingFileSystem>(failingCall, ".max_size"));
    EXPECT_EQ(cache.maxSize, 4096u);
    EXPECT_THAT(log.text(), HasSubstr("Creation of .max_size failed! (no file written)\n"));
    EXPECT_TRUE(entriesOf(directory).empty());
  }
}

TEST_F(ComponentCacheFolder, LogsWhatItDoes) {
  const std::string directory = base_ + "/kvnCache8.1";
  {
    CapturedCacheLog log;
    rtkComponentCache cache(directory.c_str(), 2048);
    EXPECT_EQ(log.text(), "Creating KVN Cache at location: " + directory +
                              "\n.max_size not found.  Using default size of 2048 bytes.\n");
  }
  CapturedCacheLog log;
  rtkComponentCache cache(directory.c_str(), 99);
  EXPECT_EQ(log.text(), "Creating KVN Cache at location: " + directory +
                            "\n.max_size found... contents read. Cache max size set to 2048\n");
}

// A root reached through a symbolic link could send this user's components anywhere; it is
// refused before anything is created behind it.
TEST_F(ComponentCacheFolder, RefusesSymbolicLinks) {
  stdfs::create_directory(base_ + "/target");
  stdfs::create_directory_symlink(base_ + "/target", base_ + "/linkedRoot");
  const std::string throughLink = base_ + "/linkedRoot/kvnCache8.1";
  try {
    rtkComponentCache cache(throughLink.c_str(), 1);
    ADD_FAILURE() << "a linked root was used";
  } catch (const rtkUserException& error) {
    EXPECT_EQ(error.getErrorId(), "RTK:ComponentCache");
    EXPECT_EQ(error.getMessage().id(), "RTKKVN_CACHE_DIR_NOT_TRUSTED");
    EXPECT_NE(std::string(error.what()).find("symbolic link"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(entriesOf(base_ + "/target").empty());

  // The cache directory itself as a link inside a proper root.
  stdfs::create_directory(base_ + "/root");
  stdfs::create_directory_symlink(base_ + "/target", base_ + "/root/kvnCache8.1");
  const std::string linkedDirectory = base_ + "/root/kvnCache8.1";
  EXPECT_THROW(rtkComponentCache(linkedDirectory.c_str(), 1), rtkUserException);
  EXPECT_TRUE(entriesOf(base_ + "/target").empty());
}

TEST_F(ComponentCacheFolder, RefusesFoldersOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  constexpr uid_t kNobody = 65534;
  const std::string foreignRoot = base_ + "/foreign";
  stdfs::create_directory(foreignRoot);
  ASSERT_EQ(::chown(foreignRoot.c_str(), kNobody, kNobody), 0);
  const std::string directory = foreignRoot + "/kvnCache8.1";
  EXPECT_THROW(rtkComponentCache(directory.c_str(), 1), rtkUserException);
  EXPECT_FALSE(stdfs::exists(directory));

  const std::string ownRoot = base_ + "/own";
  stdfs::create_directories(ownRoot + "/kvnCache8.1");
  ASSERT_EQ(::chown((ownRoot + "/kvnCache8.1").c_str(), kNobody, kNobody), 0);
  const std::string foreignDirectory = ownRoot + "/kvnCache8.1";
  EXPECT_THROW(rtkComponentCache(foreignDirectory.c_str(), 1), rtkUserException);
  EXPECT_FALSE(stdfs::exists(foreignDirectory + "/.max_size"));
}

// The only test that makes the process-wide object, so that it sees the first creation.
TEST_F(ComponentCacheFolder, OneObjectPerProcess) {
  writeWhole(base_ + "/file", "not a folder");
  {
    // A failed creation keeps nothing; the next call tries again.
    ScopedEnvironment root("KVN_CACHE_ROOT", (base_ + "/file/below").c_str());
    EXPECT_THROW(componentCache(), dsFileServicesError);
  }
  ScopedEnvironment size("KVN_CACHE_SIZE", "31337");
  ScopedEnvironment root("KVN_CACHE_ROOT", (base_ + "/first").c_str());
  std::vector<boost::shared_ptr<rtkComponentCache>> seen(8);
  CapturedCacheLog capture;
  std::vector<std::thread> threads;
  for (auto& result : seen) threads.emplace_back([&result] { result = componentCache(); });
  for (auto& thread : threads) thread.join();
  const std::string log = capture.text();
  ASSERT_NE(seen[0], nullptr);
  for (const auto& result : seen) EXPECT_EQ(result, seen[0]);
  EXPECT_EQ(seen[0]->cacheDirectory.str(), base_ + "/first/kvnCache8.1");
  EXPECT_EQ(seen[0]->maxSize, 31337u);
  // Made once, not once per thread that came first.
  std::size_t creations = 0;
  for (std::size_t at = log.find("Creating KVN Cache"); at != std::string::npos;
       at = log.find("Creating KVN Cache", at + 1)) {
    ++creations;
  }
  EXPECT_EQ(creations, 1u);

  // A later root changes the answer of the query, not the object.
  ScopedEnvironment moved("KVN_CACHE_ROOT", (base_ + "/second").c_str());
  EXPECT_EQ(rtkGetComponentCacheDir(), base_ + "/second/kvnCache8.1");
  EXPECT_EQ(componentCache(), seen[0]);
  EXPECT_EQ(componentCache()->cacheDirectory.str(), base_ + "/first/kvnCache8.1");
  EXPECT_FALSE(stdfs::exists(base_ + "/second"));
}

}  // namespace
