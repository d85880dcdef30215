// The component cache against another user and against files planted or damaged in its folder.
// Each test is one attack that once worked; each asserts that the request is refused (or
// repaired) with a message that names what and where, and never hangs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/exceptions.hpp"
#include "ctf/ctf_archive.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::contentsOf;
using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;
using ::testing::AllOf;
using ::testing::HasSubstr;

constexpr char kComponentId[] = "Ledger_1123456789abcdef1123456789abcdef";
constexpr std::uint64_t kDefaultLimit = 1u << 30;
constexpr uid_t kNobody = 65534;

// What a failing call threw, as one line of text.
std::string errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

class CacheAttacks : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = stdfs::temp_directory_path().string() + "/kvn_attack.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    verbose_ = std::make_unique<ScopedEnvironment>("KVN_CACHE_VERBOSE", nullptr);
    root_ = base_ + "/root";
    directory_ = root_ + "/kvnCache8.1";
    ::mkdir(root_.c_str(), 0700);
    writeFile(base_ + "/source/entry.q", "function y = entry(x)\ny = x;\nend\n");
    writeFile(base_ + "/source/lib/helper.q", "function y = helper()\ny = 1;\nend\n");
    Ostrand::ctfpack::CTFSettings settings;
    settings.componentName = L"Ledger";
    settings.componentId = L"Ledger_1123456789abcdef1123456789abcdef";
    Ostrand::ctfpack::writeArchive(archive(), settings, base_ + "/source", "");
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::permissions(base_, stdfs::perms::owner_all, ignored);
    stdfs::remove_all(base_, ignored);
  }

  std::string archive() const { return base_ + "/Ledger.ctf"; }
  boost::shared_ptr<rtkComponentCache> openCache() {
    return boost::make_shared<rtkComponentCache>(directory_.c_str(), kDefaultLimit);
  }
  boost::shared_ptr<rtkExtractedComponent> request(rtkComponentCache& cache) {
    const std::string path = archive();
    rtkkvn::CtfExtractor extractor(kComponentId,
                                   [path](const char* dir) { return extractCtfFile(dir, path); });
    return cache.getComponent(kComponentId, extractor);
  }
  // The folder the index gives the component.
  std::string componentFolder() const {
    const rtkComponentCacheIndex index{dsPathString(directory_ + "/" + kCacheIndexFileName)};
    const CacheIndexEntry* entry = index.find(kComponentId);
    return entry ? directory_ + "/" + entry->dirName : std::string();
  }

  std::string base_;
  std::string root_;
  std::string directory_;
  std::unique_ptr<ScopedEnvironment> verbose_;
};

TEST_F(CacheAttacks, FoldersOthersMayWriteToAreRefusedWithTheFix) {
  for (const std::string& folder : {root_, directory_}) {
    SCOPED_TRACE(folder);
    stdfs::create_directories(directory_);
    ::chmod(root_.c_str(), 0700);
    ::chmod(directory_.c_str(), 0700);
    ::chmod(folder.c_str(), 0777);
    EXPECT_THAT(errorOf([&] { openCache(); }),
                AllOf(HasSubstr(folder), HasSubstr("mode 0777"), HasSubstr("chmod 700 " + folder),
                      HasSubstr("KVN_CACHE_ROOT")));
  }
  ::chmod(root_.c_str(), 0770);
  ::chmod(directory_.c_str(), 0700);
  EXPECT_THAT(errorOf([&] { openCache(); }), HasSubstr("mode 0770"));
}

// Another user who makes the cache root first (it lies in a shared temporary folder) must not
// get the victim's components, and the victim is told how to get out.
TEST_F(CacheAttacks, ARootOfAnotherUserIsRefusedNamingTheOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  ASSERT_EQ(::chown(root_.c_str(), kNobody, kNobody), 0);
  EXPECT_THAT(errorOf([&] { openCache(); }),
              AllOf(HasSubstr(root_), HasSubstr("uid 65534"), HasSubstr("not to you"),
                    HasSubstr("KVN_CACHE_ROOT")));
  EXPECT_FALSE(stdfs::exists(directory_)) << "nothing is created in a folder of another user";
}

// The cache folder renamed away and replaced by a link (or by another user's folder) between two
// requests of one process: the second request refuses instead of running what it finds there.
TEST_F(CacheAttacks, CacheFolderSwappedBetweenRequestsIsRefused) {
  const auto cache = openCache();
  request(*cache).reset();
  const std::string planted = base_ + "/planted";
  stdfs::rename(directory_, base_ + "/moved");
  stdfs::copy(base_ + "/moved", planted, stdfs::copy_options::recursive);
  stdfs::create_directory_symlink(planted, directory_);
  EXPECT_THAT(errorOf([&] { request(*cache); }),
              AllOf(HasSubstr(directory_), HasSubstr("symbolic link")));

  if (::geteuid() != 0) return;
  stdfs::remove(directory_);
  stdfs::rename(planted, directory_);
  ASSERT_EQ(::chown(directory_.c_str(), kNobody, kNobody), 0);
  EXPECT_THAT(errorOf([&] { request(*cache); }), HasSubstr("not to you"));
}

// Small files of the cache that would hang a reader (a named pipe), feed it for ever (a link to
// /dev/zero) or make it read half a gigabyte: the size limit falls back to its default at once.
TEST_F(CacheAttacks, SizeLimitFileThatIsNotSmallAndRegularIsNotRead) {
  const std::string maxSize = directory_ + "/.max_size";
  const std::vector<std::pair<const char*, std::function<void()>>> plants = {
      {"named pipe", [&] { ::mkfifo(maxSize.c_str(), 0600); }},
      {"link to /dev/zero", [&] { stdfs::create_symlink("/dev/zero", maxSize); }},
      {"500 MB file", [&] { stdfs::resize_file((writeFile(maxSize, "1"), maxSize), 500u << 20); }},
  };
  for (const auto& [what, plant] : plants) {
    SCOPED_TRACE(what);
    stdfs::remove_all(directory_);
    stdfs::create_directories(directory_);
    plant();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(openCache()->maxSize, kDefaultLimit);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  }
}

// A marker or a component lock file replaced by a named pipe: the marker is not believed (the
// component is unpacked afresh), the lock file is refused with its name; neither blocks.
TEST_F(CacheAttacks, PipesUnderTheCachesFileNamesDoNotBlock) {
  const auto cache = openCache();
  request(*cache).reset();
  const std::string folder = componentFolder();
  ASSERT_FALSE(folder.empty());
  stdfs::remove(folder + "/" + kCreatedMarkerFileName);
  ASSERT_EQ(::mkfifo((folder + "/" + kCreatedMarkerFileName).c_str(), 0600), 0);
  const auto record = request(*cache);
  EXPECT_TRUE(stdfs::is_regular_file(componentFolder() + "/" + kCreatedMarkerFileName));
  EXPECT_EQ(contentsOf(componentFolder() + "/" + kComponentId + "/entry.q"),
            contentsOf(base_ + "/source/entry.q"));
  const std::string lockFile =
      directory_ + "/." + dsPathString(componentFolder()).leaf() + ".rwlock";
  const_cast<boost::shared_ptr<rtkExtractedComponent>&>(record).reset();
  const auto fresh = openCache();  // a process that holds nothing yet
  stdfs::remove(lockFile);
  ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0);
  EXPECT_THAT(errorOf([&] { request(*fresh); }),
              AllOf(HasSubstr(lockFile), HasSubstr("not a regular file")));
}

// An archive (here: an extractor) that brings its own completion marker does not get to say that
// its unpack finished: the folder is removed and the request fails.
TEST_F(CacheAttacks, ArchiveCarryingTheMarkerIsNotTakenAsFinished) {
  const auto cache = openCache();
  const std::string path = archive();
  rtkkvn::CtfExtractor extractor(kComponentId, [path](const char* dir) {
    writeFile(std::string(dir) + "/" + kCreatedMarkerFileName, "");
    return extractCtfFile(dir, path);
  });
  EXPECT_THROW(cache->getComponent(kComponentId, extractor), rtkInternalException);
  for (const auto& entry : stdfs::directory_iterator(directory_)) {
    EXPECT_FALSE(entry.is_directory()) << entry.path() << " was left behind";
  }
}

// Temporary files of index writers that were killed before their rename are removed by the next
// process that takes the cache; those of a live writer stay.
TEST_F(CacheAttacks, LeftoversOfKilledIndexWritersAreRemoved) {
  stdfs::create_directories(directory_);
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  const std::string index = directory_ + "/" + kCacheIndexFileName;
  const std::string orphan = index + ".new." + std::to_string(dead) + ".0x1";
  const std::string live = index + ".new." + std::to_string(::getpid()) + ".0x2";
  writeFile(orphan, "half an index");
  writeFile(live, "being written");
  const auto cache = openCache();
  request(*cache).reset();
  EXPECT_FALSE(stdfs::exists(orphan));
  EXPECT_TRUE(stdfs::exists(live));
}

// Damage done to an unpacked component after the unpack: each is found by the next request and
// repaired from the archive; without an archive at hand, the request fails saying so.
TEST_F(CacheAttacks, DamagedComponentsAreFoundAndUnpackedAgain) {
  const auto cache = openCache();
  request(*cache).reset();
  const std::string files = componentFolder() + "/" + kComponentId;
  const std::string settings = componentFolder() + "/ctfsettings.json";
  const std::string entry = files + "/entry.q";
  const std::string original = contentsOf(entry);
  const std::vector<std::pair<const char*, std::function<void()>>> damages = {
      {"file deleted", [&] { stdfs::remove(entry); }},
      {"file cut short", [&] { stdfs::resize_file(entry, 3); }},
      {"byte changed", [&] { writeFile(entry, std::string(original).replace(0, 1, "F")); }},
      {"folder deleted", [&] { stdfs::remove_all(files + "/lib"); }},
      {"component files gone", [&] { stdfs::remove_all(files); }},
      {"file replaced by a link to outside",
       [&] {
         stdfs::remove(entry);
         stdfs::create_symlink(base_ + "/outside.q", entry);
       }},
      {"settings deleted", [&] { stdfs::remove(settings); }},
      {"settings garbled", [&] { writeFile(settings, "{ not json"); }},
  };
  for (const auto& [what, damage] : damages) {
    SCOPED_TRACE(what);
    damage();
    const auto record = request(*cache);
    EXPECT_EQ(contentsOf(componentFolder() + "/" + kComponentId + "/entry.q"), original);
    EXPECT_TRUE(stdfs::is_regular_file(componentFolder() + "/" + kComponentId + "/lib/helper.q"));
    EXPECT_EQ(record->getComponentData()->getUUID(), kComponentId);
  }

  // No archive to repair from, or a damaged folder that a holder still runs from: refused.
  stdfs::remove(entry);
  rtkkvn::CtfExtractor noArchive = rtkMakeAlwaysFailExtractor(kComponentId);
  EXPECT_THAT(errorOf([&] { cache->getComponent(kComponentId, noArchive); }),
              HasSubstr(kAlwaysFailExtractorText));
  const auto holder = request(*cache);
  const auto other = openCache();  // another process: it does not share the holder's record
  stdfs::remove(componentFolder() + "/" + kComponentId + "/entry.q");
  EXPECT_THAT(errorOf([&] { request(*other); }),
              AllOf(HasSubstr("entry.q: missing"), HasSubstr("another process is using it")));
}

}  // namespace
