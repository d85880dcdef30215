// Handing out components from a real cache directory: one extraction shared by the requests of a
// process and of two processes at once, interrupted and failed extractions, what a record's read
// lock protects, the release step with the cache log off and on, and the factory's errors.

#include "rtkkvn/kvn_cache/cache_extraction.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <boost/weak_ptr.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "base/exceptions.hpp"
#include "ctf/ctf_archive.hpp"
#include "ctf/opc_exception.hpp"
#include "fs/test_support.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/captured_cache_log.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "rtkkvn/kvn_cache/component_files.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
namespace pt = boost::posix_time;
using rtkutil::testing::contentsOf;
using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kComponentId[] = "Kontenrechner_00112233445566778899aabbccddeeff";
constexpr char kSource[] = "function y = compute(x)\ny = x;\n";
constexpr std::uint64_t kLargeLimit = 1u << 30;

typedef boost::shared_ptr<rtkExtractedComponent> Record;

int waitForExit(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A line of a component's file list: where it starts in the list, and its fields.
struct FileListLine {
  std::size_t start = 0;
  std::string type, size, change, hash;
};

// The line of list that ends with name.
FileListLine fileListLine(const std::string& list, const std::string& name) {
  FileListLine line;
  const std::size_t end = list.find(name + "\n");
  if (end == std::string::npos) {
    ADD_FAILURE() << name << " is not listed: " << list;
    return line;
  }
  line.start = list.rfind('\n', end) + 1;
  std::istringstream(list.substr(line.start, end - line.start)) >> line.type >> line.size >>
      line.change >> line.hash;
  return line;
}

class CacheExtraction : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(base_ + "/source/compute.q", kSource);
    // A second folder: the check of an unpacked component moves from folder to folder.
    writeFile(base_ + "/source/private/helper.q", kSource);
    Ostrand::ctfpack::CTFSettings settings;
    settings.componentName = L"Kontenrechner";
    settings.componentId = L"Kontenrechner_00112233445566778899aabbccddeeff";
    Ostrand::ctfpack::writeArchive(archive(), settings, base_ + "/source", "");
    cache_ = boost::make_shared<rtkComponentCache>(directory_.c_str(), kLargeLimit);
  }
  void TearDown() override { cache_.reset(); }

  std::string archive() const { return base_ + "/Kontenrechner.ctf"; }

  // Unpacks the real archive and counts how often it was asked to.
  rtkkvn::CtfExtractor countingExtractor() {
    const std::string path = archive();
    int* count = &extractions_;
    return rtkkvn::CtfExtractor(kComponentId, [path, count](const char* dir) {
      ++*count;
      return extractCtfFile(dir, path);
    });
  }

  Record request() {
    rtkkvn::CtfExtractor extractor = countingExtractor();
    return cache_->getComponent(kComponentId, extractor);
  }

  std::string indexPath() const { return directory_ + "/" + kCacheIndexFileName; }

  // The index entry for id as the file holds it (reading reconciles the index with the folders).
  std::optional<CacheIndexEntry> entryFor(const std::string& id) {
    const rtkComponentCacheIndex index{dsPathString(indexPath())};
    const CacheIndexEntry* entry = index.find(id);
    return entry ? std::optional<CacheIndexEntry>(*entry) : std::nullopt;
  }

  void setLastUsed(const std::string& id, const pt::ptime& time) {
    rtkComponentCacheIndex index{dsPathString(indexPath())};
    CacheIndexEntry entry = *index.find(id);
    entry.lastUsed = time;
    ASSERT_TRUE(index.replace(entry));
  }

  // Folders of a cache directory holding a finished extraction (by its marker).
  static std::vector<stdfs::path> finishedFolders(const std::string& directory) {
    std::vector<stdfs::path> folders;
    for (const stdfs::directory_entry& item : stdfs::directory_iterator(directory)) {
      if (stdfs::exists(item.path() / kCreatedMarkerFileName)) folders.push_back(item.path());
    }
    return folders;
  }
  // Folders of the cache directory other than hidden ones.
  int componentFolders() const {
    int count = 0;
    for (const stdfs::directory_entry& item : stdfs::directory_iterator(directory_)) {
      if (item.is_directory() && item.path().filename().string()[0] != '.') ++count;
    }
    return count;
  }

  const fstest::TempDirectory folder_;
  const std::string base_ = folder_.path();
  const std::string directory_ = base_ + "/kvnCache8.1";
  // Nothing below may reach the user's real cache.
  const ScopedEnvironment root_{"KVN_CACHE_ROOT", base_.c_str()};
  const ScopedEnvironment temporary_{"TMPDIR", base_.c_str()};
  const ScopedEnvironment verbose_{"KVN_CACHE_VERBOSE", nullptr};
  boost::shared_ptr<rtkComponentCache> cache_;
  int extractions_ = 0;
};

TEST_F(CacheExtraction, FirstRequestExtractsAndLaterRequestsShareTheLiveRecordWithoutDiskWork) {
  const Record first = request();
  ASSERT_TRUE(first);
  EXPECT_EQ(extractions_, 1);
  const std::optional<CacheIndexEntry> entry = entryFor(kComponentId);
  ASSERT_TRUE(entry);
  const stdfs::path folder = first->getExtractDir().str();
  EXPECT_EQ(folder, stdfs::path(directory_) / entry->dirName);
  EXPECT_EQ(contentsOf(folder / kComponentId / "compute.q"), kSource);
  EXPECT_TRUE(stdfs::exists(folder / kCreatedMarkerFileName));
  EXPECT_EQ(stdfs::status(folder).permissions() & stdfs::perms::all, stdfs::perms::owner_all);
  EXPECT_EQ(first->getPrefDir().str(), (folder / ".sorvel").string());
  EXPECT_EQ(first->getComponentUUID(), kComponentId);
  EXPECT_EQ(first->getComponentData()->getUUID(), kComponentId);
  EXPECT_TRUE(first->IsUseComponentCache());
  EXPECT_GT(entry->size, sizeof(kSource) - 1) << "the extractor's byte count is recorded";
  EXPECT_FALSE(entry->lastUsed.is_special());

  // With the record alive, a second request neither reads nor writes the cache directory: the
  // index it would rebuild stays missing.
  stdfs::remove(indexPath());
  CapturedCacheLog log;
  const Record second = request();
  const std::string text = log.text();
  EXPECT_EQ(second.get(), first.get());
  EXPECT_EQ(extractions_, 1);
  EXPECT_FALSE(stdfs::exists(indexPath()));
  EXPECT_THAT(text, HasSubstr("Returning cached component reference.\n"));
  EXPECT_THAT(text, Not(HasSubstr("root-level directory lock")));
}

TEST_F(CacheExtraction, FinishedFolderIsReopenedAndUnfinishedOneExtractedAgain) {
  Record record = request();
  const stdfs::path folder = record->getExtractDir().str();
  const std::uint64_t size = entryFor(kComponentId)->size;
  record.reset();

  // Finished: opened as it is, its use renewed and its size kept.
  writeFile(folder / "mine.txt", "kept");
  const pt::ptime old(boost::gregorian::date(2001, 1, 1));
  setLastUsed(kComponentId, old);
  record = request();
  EXPECT_EQ(extractions_, 1);
  EXPECT_EQ(contentsOf(folder / "mine.txt"), "kept");
  std::optional<CacheIndexEntry> entry = entryFor(kComponentId);
  EXPECT_EQ(entry->size, size);
  EXPECT_GT(entry->lastUsed, old);
  record.reset();

  // Unfinished (the marker is missing, as after a crash): removed and extracted again into the
  // same folder.
  stdfs::remove(folder / kCreatedMarkerFileName);
  CapturedCacheLog log;
  record = request();
  EXPECT_THAT(log.text(),
              HasSubstr("Timestamp is invalid.  Attempting to re-extract the component...\n"));
  EXPECT_EQ(extractions_, 2);
  EXPECT_EQ(record->getExtractDir().str(), folder.string());
  EXPECT_FALSE(stdfs::exists(folder / "mine.txt"));
  EXPECT_TRUE(stdfs::exists(folder / kCreatedMarkerFileName));
  EXPECT_EQ(contentsOf(folder / kComponentId / "compute.q"), kSource);
}

// A folder that held one component and was removed may be given to another whose id starts
// alike; a request after that gets the other component's settings, not those the cache object
// read from the folder before.
TEST_F(CacheExtraction, ARemovedFoldersNameServesTheNextComponentWithItsOwnSettings) {
  Record record = request();
  record.reset();
  record = request();  // from the folder: its settings are read from there
  const stdfs::path folder = record->getExtractDir().str();
  record.reset();
  stdfs::remove_all(folder);

  const std::string otherId = "Kontenrechner_ffeeddccbbaa99887766554433221100";
  Ostrand::ctfpack::CTFSettings settings;
  settings.componentName = L"Kontenrechner";
  settings.componentId = std::wstring(otherId.begin(), otherId.end());
  const std::string otherArchive = base_ + "/other.ctf";
  Ostrand::ctfpack::writeArchive(otherArchive, settings, base_ + "/source", "");
  for (int round = 0; round < 2; ++round) {  // unpacked, then opened from the folder
    SCOPED_TRACE(round);
    rtkkvn::CtfExtractor extractor(otherId.c_str(), [&otherArchive](const char* dir) {
      return extractCtfFile(dir, otherArchive);
    });
    record = cache_->getComponent(otherId, extractor);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->getExtractDir().str(), folder.string());
    EXPECT_EQ(record->getComponentData()->getUUID(), otherId);
    record.reset();
  }
}

// A component unpacked without waiting for the disk names this boot in its marker and is used
// as it is. One whose marker names another boot (the system has restarted since, and may have
// lost what it had not written back) has every file read back: that finds damage its sizes and
// change times do not show, and a component that passes is marked as on disk from then on.
TEST_F(CacheExtraction, ComponentsOfAnEarlierBootAreReadBackInFull) {
  Record record = request();
  const stdfs::path folder = record->getExtractDir().str();
  record.reset();
  const stdfs::path marker = folder / kCreatedMarkerFileName;
  const std::string thisBoot = contentsOf("/proc/sys/kernel/random/boot_id");
  ASSERT_EQ(contentsOf(marker), "unflushed " + thisBoot);
  const std::string earlierBoot = "unflushed 00000000-0000-0000-0000-000000000000\n";

  writeFile(marker, earlierBoot);
  record = request();
  EXPECT_EQ(extractions_, 1);
  EXPECT_EQ(contentsOf(marker), "");
  record.reset();

  // The same number of bytes, and the file list brought up to the file's new change time.
  const stdfs::path source = folder / kComponentId / "compute.q";
  writeFile(source, std::string(std::strlen(kSource), 'x'));
  struct stat status {};
  ASSERT_EQ(0, ::stat(source.c_str(), &status));
  const stdfs::path list = folder / kComponentFileListName;
  std::string lines = contentsOf(list);
  const FileListLine line = fileListLine(lines, "/compute.q");
  char changed[64];
  std::snprintf(changed, sizeof changed, "%lld.%09ld",
                static_cast<long long>(status.st_ctim.tv_sec), status.st_ctim.tv_nsec);
  lines.replace(lines.find(line.change, line.start), line.change.size(), changed);
  writeFile(list, lines);
  record = request();  // this boot: the quick check passes it
  EXPECT_EQ(extractions_, 1);
  record.reset();

  writeFile(marker, earlierBoot);
  record = request();
  EXPECT_EQ(extractions_, 2);
  EXPECT_EQ(contentsOf(source), kSource);
  EXPECT_EQ(contentsOf(marker), "unflushed " + thisBoot);
}

TEST_F(CacheExtraction, FailedExtractionLeavesNeitherFolderNorEntry) {
  struct Failure {
    const char* name;
    std::function<void()> raise;
    const char* thrownText;  // nullptr: the extractor's own exception passes
  };
  const Failure failures[] = {
      {"runtime fault", [] { throw rtkInternalException("archive damaged"); },
       "Failed to completely extract component!"},
      {"user error",
       [] {
         throw rtkUserException("RTK:CTFExtractor",
                                KVN::rtkkvn::RTKKVN_CANNOT_FIND_CTF_ARCHIVE("gone.ctf"));
       },
       "Failed to completely extract component!"},
      {"other exception", [] { throw std::runtime_error("out of luck"); }, nullptr},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.name);
    std::function<void()> raise = failure.raise;
    rtkkvn::CtfExtractor extractor(kComponentId, [raise](const char* dir) -> std::uint64_t {
      writeFile(std::string(dir) + "/half/written.q", "x");
      raise();
      return 1;
    });
    auto log = std::make_unique<CapturedCacheLog>();
    try {
      cache_->getComponent(kComponentId, extractor);
      ADD_FAILURE() << "no exception";
    } catch (const rtkInternalException& error) {
      ASSERT_TRUE(failure.thrownText);
      // The fixed words, then what the extractor said.
      EXPECT_THAT(error.getText(), ::testing::StartsWith(failure.thrownText));
      EXPECT_EQ(error.getSourceTag(), "standalone/rtkkvn/kvn_cache/rtkcomponentcache");
    } catch (const std::runtime_error& error) {
      EXPECT_FALSE(failure.thrownText);
      EXPECT_STREQ(error.what(), "out of luck");
    }
    const std::string text = log->text();
    log.reset();
    if (failure.thrownText) {
      EXPECT_THAT(text, HasSubstr("ERROR: extractTo failed\n"));
    }
    EXPECT_EQ(componentFolders(), 0);
    EXPECT_FALSE(entryFor(kComponentId));
    EXPECT_TRUE(cache_->inUseComponents.empty());
    EXPECT_FALSE(cache_->rootLock.isAcquired());
  }
  // Nothing stale is left in the way of the next request.
  EXPECT_TRUE(request());
  EXPECT_EQ(extractions_, 1);
}

TEST_F(CacheExtraction, ReleaseStampsUseAndTrimsOnlyWithTheLogOff) {
  const pt::ptime old(boost::gregorian::date(2001, 1, 1));
  Record record = request();
  const stdfs::path folder = record->getExtractDir().str();
  setLastUsed(kComponentId, old);
  record.reset();
  EXPECT_GT(entryFor(kComponentId)->lastUsed, old) << "the release stamps the last use";
  EXPECT_TRUE(stdfs::exists(folder)) << "within the limit";
  EXPECT_TRUE(cache_->inUseComponents.empty());

  // With the log on, the release leaves the cache alone, even with no room at all.
  record = request();
  setLastUsed(kComponentId, old);
  cache_->maxSize = 0;
  const std::string indexBefore = contentsOf(indexPath());
  {
    const ScopedEnvironment verbose("KVN_CACHE_VERBOSE", "on");
    record.reset();
  }
  EXPECT_EQ(contentsOf(indexPath()), indexBefore);
  EXPECT_TRUE(stdfs::exists(folder / kCreatedMarkerFileName));
  EXPECT_EQ(entryFor(kComponentId)->lastUsed, old);

  // With the log off, the released component is the first to go.
  record = request();
  EXPECT_TRUE(stdfs::exists(folder)) << "a component in use is never trimmed";
  record.reset();
  EXPECT_FALSE(stdfs::exists(folder));
  EXPECT_FALSE(entryFor(kComponentId));
  EXPECT_FALSE(cache_->rootLock.isAcquired());
}

TEST_F(CacheExtraction, TwoProcessesRequestingAtOnceExtractOnce) {
  int report[2];
  int start[2];
  ASSERT_EQ(::pipe(report), 0);
  ASSERT_EQ(::pipe(start), 0);
  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child != 0) continue;
    ::close(report[0]);
    ::close(start[1]);
    char go;
    const bool started = ::read(start[0], &go, 1) == 0;  // end of file: both are ready
    char answer = 'N';
    try {
      // Each process has its own cache object, as two applications would.
      const auto cache = boost::make_shared<rtkComponentCache>(directory_.c_str(), kLargeLimit);
      const std::string path = archive();
      const int channel = report[1];
      rtkkvn::CtfExtractor extractor(kComponentId, [path, channel](const char* dir) {
        const char extracted = 'E';
        if (::write(channel, &extracted, 1) != 1) throw std::runtime_error("report failed");
        // Long enough for the other process to arrive while this one extracts.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return extractCtfFile(dir, path);
      });
      const Record record = cache->getComponent(kComponentId, extractor);
      const std::string source = record->getExtractDir().str() + "/" + kComponentId + "/compute.q";
      if (started && contentsOf(source) == kSource) answer = 'Y';
    } catch (...) {
    }
    const bool told = ::write(report[1], &answer, 1) == 1;
    ::_exit(told ? 0 : 1);
  }
  ::close(report[1]);
  ::close(start[0]);
  ::close(start[1]);
  std::string reports;
  char byte;
  while (::read(report[0], &byte, 1) == 1) reports += byte;
  ::close(report[0]);
  for (const pid_t child : children) EXPECT_EQ(waitForExit(child), 0);

  std::sort(reports.begin(), reports.end());
  EXPECT_EQ(reports, "EYY") << "one extraction, two working components";
  EXPECT_EQ(finishedFolders(directory_).size(), 1u);
  EXPECT_EQ(componentFolders(), 1);
}

TEST_F(CacheExtraction, LateReleaseOrDeadRecordNeverLosesTheLiveOne) {
  Record live = request();
  // The release of an earlier record of the same component, arriving after this one was made,
  // must leave this one registered.
  cache_->releaseComponent(kComponentId);
  EXPECT_EQ(request().get(), live.get());

  // A record whose last reference is gone but whose release has not run yet is not handed out:
  // the component is opened again (without extraction).
  {
    const auto dying = boost::make_shared<rtkExtractedComponent>(
        live->getExtractDir(), live->getPrefDir(), kComponentId, live->getComponentData(), false,
        true);
    cache_->inUseComponents[kComponentId] = dying;
  }
  Record reopened = request();
  ASSERT_TRUE(reopened);
  EXPECT_NE(reopened.get(), live.get());
  EXPECT_EQ(reopened->getExtractDir().str(), live->getExtractDir().str());
  EXPECT_EQ(request().get(), reopened.get());
  EXPECT_EQ(extractions_, 1);

  // The records keep the cache object alive; the last one lets it go.
  const boost::weak_ptr<rtkComponentCache> cache = cache_;
  cache_.reset();
  EXPECT_FALSE(cache.expired());
  live.reset();
  reopened.reset();
  EXPECT_TRUE(cache.expired());
}

// The only test that makes the process-wide cache object: it follows KVN_CACHE_ROOT of the first
// successful call.
TEST_F(CacheExtraction, FactoryReportsCacheErrorsInItsOwnTerms) {
  const auto userErrorOf = [](const rtkExtractedComponentFactory& factory) {
    try {
      factory();
    } catch (const rtkUserException& error) {
      return error.getErrorId() + " " + error.getMessage().id() + " " + error.getMessageText();
    }
    return std::string("no error");
  };

  writeFile(base_ + "/blocker", "a file where the cache root should be");
  {
    const ScopedEnvironment root("KVN_CACHE_ROOT", (base_ + "/blocker/cache").c_str());
    const std::string error =
        userErrorOf(rtkMakeComponentCacheExtractedComponentFactory(countingExtractor()));
    EXPECT_THAT(error, HasSubstr("RTK:ComponentCache RTKKVN_CACHE_DIR_NOT_FOUND"));
    EXPECT_THAT(error, HasSubstr(base_ + "/blocker"));
  }

  // A component that cannot be unpacked: the message says which one and why.
  const std::string absent = userErrorOf(
      rtkMakeComponentCacheExtractedComponentFactory(rtkMakeAlwaysFailExtractor(kComponentId)));
  EXPECT_THAT(absent, HasSubstr("RTK:ComponentCache RTKKVN_CACHE_ACCESS_ERROR"));
  EXPECT_THAT(absent, HasSubstr(std::string(kComponentId) + " is not in the component cache"));
  EXPECT_FALSE(entryFor(kComponentId));
  EXPECT_EQ(componentFolders(), 0);

  const rtkExtractedComponentFactory factory =
      rtkMakeComponentCacheExtractedComponentFactory(countingExtractor());
  EXPECT_EQ(extractions_, 0) << "nothing happens before the factory is called";
  const Record record = factory();
  EXPECT_EQ(factory().get(), record.get());
  EXPECT_EQ(extractions_, 1);
  EXPECT_EQ(record->getExtractDir().parent().str(), directory_);
  EXPECT_EQ(contentsOf(record->getExtractDir().str() + "/" + kComponentId + "/compute.q"), kSource);
}

// Every file a request writes goes through the cache's file system: the root lock's stamp, the
// component folder, the unpack (the extractor here unpacks through it too), the file list, the
// marker and the index. A full disk or a failing device at any one of those calls either fails
// the request with a message naming the system's reason, or is one the cache gets past (the
// lock's stamp, the index, which the next request rebuilds from the folders). Either way no
// folder is left that passes for unpacked without being whole, and the next request succeeds.
TEST_F(CacheExtraction, AFailedWriteAnywhereInARequestLeavesNoHalfComponent) {
  using fstest::InjectingFileSystem;
  const auto fileSystem = boost::make_shared<InjectingFileSystem>();
  const std::string path = archive();
  const rtkkvn::CtfExtractor extractor(kComponentId, [path, fileSystem](const char* dir) {
    std::vector<Ostrand::ctfpack::UnpackedEntry> made;
    try {
      Ostrand::ctfpack::extractArchive(path, dir, made, *fileSystem);
    } catch (const opc::Exception& error) {
      throw rtkInternalException(error.what());  // as the archive extractors report a failure
    }
    std::uint64_t size = 0;
    for (const Ostrand::ctfpack::UnpackedEntry& entry : made) size += entry.size;
    return size;
  });
  boost::shared_ptr<rtkComponentCache> cache;
  int caches = 0;
  const auto newCache = [&] {
    const std::string directory = base_ + "/cache" + std::to_string(++caches);
    cache = boost::make_shared<rtkComponentCache>(directory.c_str(), kLargeLimit, fileSystem);
  };
  const auto request = [&] {
    rtkkvn::CtfExtractor copy(extractor);
    return cache->getComponent(kComponentId, copy);
  };
  const auto expectWhole = [](const stdfs::path& folder) {
    EXPECT_EQ(findComponentDamage(folder.string(), true), "") << folder;
    EXPECT_EQ(contentsOf(folder / kComponentId / "compute.q"), kSource) << folder;
  };
  const auto finished = [&] { return finishedFolders(cache->cacheDirectory.str()); };

  newCache();
  int writes = 0;
  {
    const int before = fileSystem->calls(InjectingFileSystem::kAnyWrite);
    const Record record = request();
    writes = fileSystem->calls(InjectingFileSystem::kAnyWrite) - before;
    expectWhole(record->getExtractDir().str());
  }
  ASSERT_GT(writes, 20) << "the request's writes pass the seam";
  for (const int error : {ENOSPC, EIO}) {
    for (int nth = 1; nth <= writes; ++nth) {
      SCOPED_TRACE("write " + std::to_string(nth) + " fails with " + std::strerror(error));
      newCache();
      const int injected = fileSystem->injected();
      fileSystem->failNth(InjectingFileSystem::kAnyWrite, nth, error);
      bool failed = false;
      try {
        const Record record = request();
        fileSystem->clear();
        expectWhole(record->getExtractDir().str());
      } catch (const std::exception& failure) {
        failed = true;
        EXPECT_THAT(failure.what(), HasSubstr(std::strerror(error)));
      }
      EXPECT_EQ(fileSystem->injected(), injected + 1) << "fewer writes than counted";
      fileSystem->clear();
      EXPECT_FALSE(cache->rootLock.isAcquired());
      if (failed) {
        EXPECT_TRUE(finished().empty()) << "the failed unpack's folder is gone";
      }
      for (const stdfs::path& folder : finished()) expectWhole(folder);
      // A lost index write loses the entry; this id cannot be told from its folder (its hash
      // halves start with 0), so the component is unpacked again beside the first folder.
      const Record retried = request();
      expectWhole(retried->getExtractDir().str());
      if (failed) {
        EXPECT_EQ(finished().size(), 1u);
      }
    }
  }
}

// The file list as a request reads it: fields apart by any white space, the name the rest of the
// line after one space; a line it cannot read makes the list damaged (and the component is
// unpacked again).
TEST(ComponentFileList, LinesAreReadAsWrittenAndOthersAreDamage) {
  const fstest::TempDirectory folder;
  writeFile(folder / "data/part.dat", "0123456789");
  recordComponentFiles(folder.path());
  const std::string list = folder / kComponentFileListName;
  const std::string name = "data/part.dat";
  const auto [start, type, size, change, hash] = fileListLine(contentsOf(list), name);
  const std::string line = type + " " + size + " " + change + " " + hash + " " + name;
  const struct {
    std::string line;
    bool readable;
  } cases[] = {
      {line, true},
      {"  " + type + " \t" + size + "  " + change + " " + hash + " " + name, true},
      {"x " + size + " " + change + " " + hash + " " + name, false},
      {type + " " + size + "x " + change + " " + hash + " " + name, false},
      {type + " " + size + " " + change.substr(0, change.find('.')) + " " + hash + " " + name,
       false},
      {type + " " + size + " " + change + " " + hash + "g " + name, false},
      {type + " " + size + " " + change + " " + hash + " ", false},
      {type + " " + size + " " + change + " " + hash, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    writeFile(list, "d - - - data\n" + c.line + "\n");
    EXPECT_EQ(findComponentDamage(folder.path()),
              c.readable ? "" : std::string(kComponentFileListName) + ": damaged");
  }
}

}  // namespace
