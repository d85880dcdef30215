// The cache index against a real cache directory: reading damaged files, bringing the index into
// agreement with the folders, writing only what changed, and the entry handle of an extraction.

#include "rtkkvn/kvn_cache/cache_index.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fs/test_support.hpp"
#include "rtkkvn/kvn_cache/cache_listing.hpp"

namespace {

namespace stdfs = std::filesystem;
namespace pt = boost::posix_time;
namespace gr = boost::gregorian;

// A component id as archives carry them: name, "_", 32 hexadecimal digits.
const std::string kIdA = "alphac_1234567890abcdeffedcba9876543210";
const std::string kIdB = "betaco_aaaaaaaaaaaaaaaabbbbbbbbbbbbbbbb";

std::string readWhole(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void writeWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string record(const std::string& id, const std::string& dirName, std::uint64_t size,
                   const std::string& time = "not-a-date-time") {
  return id + "\n" + dirName + "\n" + std::to_string(size) + "\n" + time + "\n";
}

std::vector<std::string> idsByLastUsed(rtkComponentCacheIndex& index) {
  std::vector<std::string> ids;
  for (const CacheIndexEntry& entry : index.byLastUsed()) ids.push_back(entry.id);
  return ids;
}

class CacheIndexFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvn_index.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    cache_ = pattern;
    indexPath_ = cache_ + "/" + kCacheIndexFileName;
  }
  void TearDown() override {
    std::error_code ignored;
    stdfs::remove_all(cache_, ignored);
  }

  // A component folder as a finished extraction leaves it: the marker, the component's files in
  // a folder named after its id, and optionally the recorded size.
  std::string finishedComponent(const std::string& dirName, const std::string& innerName,
                                const std::string& bytesUsed = "") {
    const std::string folder = cache_ + "/" + dirName;
    stdfs::create_directories(folder + "/" + innerName);
    writeWhole(folder + "/" + kCreatedMarkerFileName, "");
    writeWhole(folder + "/" + innerName + "/main.q", std::string(100, 'q'));
    writeWhole(folder + "/" + innerName + "/data.bin", std::string(23, 'd'));
    if (!bytesUsed.empty()) writeWhole(folder + "/" + kBytesUsedFileName, bytesUsed);
    return folder;
  }

  boost::shared_ptr<rtkComponentCacheIndex> open() {
    return boost::make_shared<rtkComponentCacheIndex>(dsPathString(indexPath_));
  }

  std::string cache_;
  std::string indexPath_;
};

TEST_F(CacheIndexFolder, ReadsRecordsWhoseFoldersExistAndDropsDuplicateIds) {
  stdfs::create_directory(cache_ + "/alphac0");
  stdfs::create_directory(cache_ + "/betaco0");
  writeWhole(indexPath_, record(kIdA, "alphac0", 10, "2013-Jan-30 14:05:09.250000") +
                             record(kIdA, "betaco0", 99) + record(kIdB, "betaco0", 20));
  auto index = open();
  ASSERT_EQ(2u, index->entries().size());
  ASSERT_NE(nullptr, index->find(kIdA));
  EXPECT_EQ("alphac0", index->find(kIdA)->dirName);
  EXPECT_EQ(10u, index->find(kIdA)->size);
  EXPECT_EQ(pt::ptime(gr::date(2013, 1, 30), pt::time_duration(14, 5, 9) + pt::millisec(250)),
            index->find(kIdA)->lastUsed);
  EXPECT_EQ(30u, index->totalSize());

  index->updateLastUsed(kIdB);
  index.reset();
  const std::string written = readWhole(indexPath_);
  EXPECT_EQ(0u, written.find(record(kIdA, "alphac0", 10, "2013-Jan-30 14:05:09.250000")));
  EXPECT_EQ(std::string::npos, written.find(record(kIdA, "betaco0", 99)));
}

TEST_F(CacheIndexFolder, CorruptFileIsRebuiltFromTheFolders) {
  finishedComponent("alphac0", kIdA, "123");
  stdfs::create_directories(cache_ + "/betaco0/" + kIdB);  // no marker: unfinished
  // One good record, then an id line with its line feed and nothing after it.
  writeWhole(indexPath_, record("someone", "alphac0", 5) + "dangling\n");
  auto index = open();
  ASSERT_EQ(1u, index->entries().size());
  const CacheIndexEntry* rebuilt = index->find(kIdA);
  ASSERT_NE(nullptr, rebuilt);
  EXPECT_EQ("alphac0", rebuilt->dirName);
  EXPECT_EQ(123u, rebuilt->size);
  EXPECT_FALSE(rebuilt->lastUsed.is_not_a_date_time());
  EXPECT_FALSE(stdfs::exists(cache_ + "/betaco0"));
  index.reset();
  EXPECT_EQ(0u, readWhole(indexPath_).find(kIdA + "\nalphac0\n123\n"));
}

TEST_F(CacheIndexFolder, AnUnterminatedLastIdLineIsIgnored) {
  stdfs::create_directory(cache_ + "/alphac0");
  writeWhole(indexPath_, record(kIdA, "alphac0", 5) + "dangling");
  auto index = open();
  ASSERT_EQ(1u, index->entries().size());
  EXPECT_NE(nullptr, index->find(kIdA));
}

TEST_F(CacheIndexFolder, StaleAndEscapingEntriesAreDropped) {
  stdfs::create_directory(cache_ + "/alphac0");
  stdfs::create_directories(cache_ + "/inner/x");
  writeWhole(indexPath_, record(kIdA, "alphac0", 5) + record(kIdB, "betaco0", 7) +
                             record("up", "..", 1) + record("nested", "inner/x", 1));
  auto index = open();
  ASSERT_EQ(1u, index->entries().size());
  EXPECT_NE(nullptr, index->find(kIdA));
  index.reset();
  EXPECT_EQ(record(kIdA, "alphac0", 5), readWhole(indexPath_));
}

// The cache directory is listed again only when it may have changed since the last listing:
// a folder removed, or renamed, is noticed even when the directory's modification time is set
// back to what it was.
TEST_F(CacheIndexFolder, AnUnchangedDirectoryIsNotListedAgain) {
  const auto fileSystem = boost::make_shared<fstest::InjectingFileSystem>();
  finishedComponent("alphac0", kIdA);
  finishedComponent("betaco0", kIdB);
  const struct timespec hourAgo = {::time(nullptr) - 3600, 0};  // the same time every time
  const auto ageDirectory = [this, hourAgo] {
    const struct timespec times[2] = {hourAgo, hourAgo};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, cache_.c_str(), times, 0));
  };
  // Opens the index and says whether it listed the directory, and which folders it names.
  const auto openIndex = [&](bool& listed) {
    const int before = fileSystem->calls("opendir");
    const rtkComponentCacheIndex index(dsPathString(indexPath_), fileSystem);
    listed = fileSystem->calls("opendir") != before;
    std::vector<std::string> folders;
    for (const CacheIndexEntry& entry : index.entries()) folders.push_back(entry.dirName);
    std::sort(folders.begin(), folders.end());
    return folders;
  };
  bool listed = false;
  openIndex(listed);  // rebuilds the index file
  for (int round = 0; round < 2; ++round) {  // the second round's record is written in place
    ageDirectory();
    EXPECT_EQ((std::vector<std::string>{"alphac0", "betaco0"}), openIndex(listed));
    EXPECT_TRUE(listed);
  }
  EXPECT_EQ((std::vector<std::string>{"alphac0", "betaco0"}), openIndex(listed));
  EXPECT_FALSE(listed);

  stdfs::remove_all(cache_ + "/betaco0");
  ageDirectory();
  EXPECT_EQ((std::vector<std::string>{"alphac0"}), openIndex(listed));
  EXPECT_TRUE(listed);
  ageDirectory();
  openIndex(listed);
  stdfs::rename(cache_ + "/alphac0", cache_ + "/alphac1");
  ageDirectory();
  EXPECT_EQ((std::vector<std::string>{"alphac1"}), openIndex(listed));
  EXPECT_TRUE(listed);
}

TEST_F(CacheIndexFolder, ReconstructedEntriesFindTheirIdOrStayAnonymous) {
  finishedComponent("alphac0", kIdA);
  // The inner name does not share the folder's first six characters.
  finishedComponent("betaco0", "other_1234567890abcdeffedcba9876543210", "77");
  // A hexadecimal half with a leading zero does not pass the test.
  finishedComponent("zeroco0", "zeroco_0123456789abcdeffedcba9876543210", "1");
  // Hidden folders and files are not components.
  stdfs::create_directory(cache_ + "/.hidden");
  writeWhole(cache_ + "/loose_file", "x");

  auto index = open();
  ASSERT_EQ(2u, index->entries().size());
  const CacheIndexEntry* found = index->find(kIdA);
  ASSERT_NE(nullptr, found);
  EXPECT_EQ("alphac0", found->dirName);
  // No ".bytes_used": the files below the folder are measured and the sum recorded.
  EXPECT_EQ(123u, found->size);
  EXPECT_EQ("123", readWhole(cache_ + "/alphac0/" + kBytesUsedFileName));
  // Two anonymous entries cannot both have the empty id: only one of them is added.
  EXPECT_TRUE(index->hasDirName("betaco0") != index->hasDirName("zeroco0"));
  const CacheIndexEntry* anonymous = index->find("");
  ASSERT_NE(nullptr, anonymous);
  EXPECT_EQ(anonymous->dirName == "betaco0" ? 77u : 1u, anonymous->size);
  EXPECT_TRUE(stdfs::exists(cache_ + "/.hidden"));
}

TEST_F(CacheIndexFolder, UpperCaseHashesAndOnlyTheFirstMatchingFolderCount) {
  const std::string upper = "alphac_1234567890ABCDEFFEDCBA9876543210";
  finishedComponent("alphac0", upper);
  stdfs::create_directory(cache_ + "/alphac0/alphac_fedcba9876543210fedcba9876543210");
  auto index = open();
  ASSERT_NE(nullptr, index->find(upper));
  EXPECT_EQ("alphac0", index->find(upper)->dirName);
}

TEST_F(CacheIndexFolder, FoldersWithAmbiguousNamesAreLeftAlone) {
  // "alphac0 " would reach the file services as "alphac0": deleting it as an unfinished
  // extraction must not delete the valid component beside it.
  finishedComponent("alphac0", kIdA, "5");
  stdfs::create_directory(cache_ + "/alphac0 ");
  auto index = open();
  EXPECT_TRUE(stdfs::exists(cache_ + "/alphac0/" + kCreatedMarkerFileName));
  EXPECT_TRUE(stdfs::exists(cache_ + "/alphac0 "));
  EXPECT_EQ(1u, index->entries().size());
}

TEST_F(CacheIndexFolder, UnchangedIndexIsNotRewritten) {
  stdfs::create_directory(cache_ + "/alphac0");
  writeWhole(indexPath_, record(kIdA, "alphac0", 5, "2013-Jan-30 14:05:09"));
  struct stat before;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &before));
  {
    auto index = open();
    EXPECT_FALSE(index->writeNeeded());
    EXPECT_NE(nullptr, index->find(kIdA));
  }
  struct stat after;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &after));
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

  // An empty cache without an index file stays without one.
  ASSERT_EQ(0, ::unlink(indexPath_.c_str()));
  stdfs::remove(cache_ + "/alphac0");
  open().reset();
  EXPECT_FALSE(stdfs::exists(indexPath_));
}

TEST_F(CacheIndexFolder, ChangesAreWrittenInIdOrderThroughAPrivateNewFile) {
  stdfs::create_directory(cache_ + "/betaco0");
  stdfs::create_directory(cache_ + "/alphac0");
  writeWhole(indexPath_, record(kIdB, "betaco0", 2));
  struct stat before;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &before));
  {
    auto index = open();
    // "alphac0" has no marker and is no entry's folder: it is deleted, not added.
    EXPECT_FALSE(stdfs::exists(cache_ + "/alphac0"));
    stdfs::create_directory(cache_ + "/alphac0");
    CacheIndexEntry added(kIdA);
    added.dirName = "alphac0";
    added.size = 1;
    ASSERT_TRUE(index->insert(added));
    EXPECT_TRUE(index->writeNeeded());
    index->writeIndex();
    EXPECT_FALSE(index->writeNeeded());
  }
  EXPECT_EQ(record(kIdA, "alphac0", 1) + record(kIdB, "betaco0", 2), readWhole(indexPath_));
  struct stat after;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino);  // replaced, not rewritten in place
  EXPECT_EQ(0600u, after.st_mode & 07777);
  for (const auto& entry : stdfs::directory_iterator(cache_)) {
    EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".new.")) << entry.path();
  }
}

// Stamps alone change nothing but the eviction order: a stamp that keeps its line's length is
// written over that line where the file is (no new file, no rename, the other records' bytes
// untouched); one that changes it replaces the file.
TEST_F(CacheIndexFolder, StampsAloneAreWrittenInPlace) {
  stdfs::create_directory(cache_ + "/alphac0");
  stdfs::create_directory(cache_ + "/betaco0");
  const std::string recordB = record(kIdB, "betaco0", 7, "2014-Feb-01 10:00:00.500000");
  writeWhole(indexPath_, record(kIdA, "alphac0", 5, "2013-Jan-30 14:05:09.250000") + recordB);
  struct stat before;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &before));
  open()->updateLastUsed(kIdA);
  struct stat after;
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &after));
  EXPECT_EQ(before.st_ino, after.st_ino);
  const std::string text = readWhole(indexPath_);
  EXPECT_EQ(text.substr(0, text.find("alphac0\n5\n") + 10), kIdA + "\nalphac0\n5\n");
  EXPECT_EQ(text.substr(text.size() - recordB.size()), recordB);
  const auto reread = open();
  ASSERT_NE(nullptr, reread->find(kIdA));
  EXPECT_GT(reread->find(kIdA)->lastUsed, pt::ptime(gr::date(2020, 1, 1)));
  stdfs::remove(cache_ + "/betaco0");

  writeWhole(indexPath_, record(kIdA, "alphac0", 5));  // not-a-date-time: the length changes
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &before));
  open()->updateLastUsed(kIdA);
  ASSERT_EQ(0, ::stat(indexPath_.c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino);
  EXPECT_FALSE(open()->find(kIdA)->lastUsed.is_not_a_date_time());
}

TEST_F(CacheIndexFolder, AFailedWriteKeepsTheChangesAndLeavesNothingBehind) {
  // A folder where the index file should be: it reads as no file, and renaming onto it fails.
  stdfs::create_directory(indexPath_);
  auto index = open();
  stdfs::create_directory(cache_ + "/alphac0");
  CacheIndexEntry added(kIdA);
  added.dirName = "alphac0";
  ASSERT_TRUE(index->insert(added));
  index->writeIndex();
  EXPECT_TRUE(index->writeNeeded());
  EXPECT_NO_THROW(index.reset());
  EXPECT_TRUE(stdfs::is_directory(indexPath_));
  std::vector<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(cache_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{kCacheListingFileName, kCacheIndexFileName, "alphac0"}),
            names);
}

TEST_F(CacheIndexFolder, LastUsedOrderPutsUndatedEntriesLast) {
  auto index = open();
  const pt::ptime early(gr::date(2012, 5, 1));
  const pt::ptime late(gr::date(2013, 5, 1));
  const std::vector<std::pair<std::string, pt::ptime>> entries = {
      {"undated1", pt::ptime()}, {"late", late},    {"early1", early},
      {"undated2", pt::ptime()}, {"early2", early}, {"early3", early}};
  for (const auto& [id, time] : entries) {
    CacheIndexEntry entry(id);
    entry.dirName = id + "0";
    entry.lastUsed = time;
    entry.size = 1;
    ASSERT_TRUE(index->insert(entry));
  }
  EXPECT_EQ(
      (std::vector<std::string>{"early1", "early2", "early3", "late", "undated1", "undated2"}),
      idsByLastUsed(*index));

  // Erasing while walking returns the entry after the erased one.
  auto next = index->erase(index->byLastUsed().begin());
  EXPECT_EQ("early2", next->id);
  EXPECT_EQ(5u, index->totalSize());
  index->updateLastUsed("undated2");
  EXPECT_EQ("undated2", idsByLastUsed(*index)[3]);
  EXPECT_THROW(index->updateLastUsed("nosuch"), rtkComponentCacheIndex::component_not_found);
}

TEST_F(CacheIndexFolder, InsertAndReplaceKeepIdsAndFoldersUnique) {
  auto index = open();
  CacheIndexEntry a(kIdA);
  a.dirName = "alphac0";
  CacheIndexEntry b(kIdB);
  b.dirName = "betaco0";
  ASSERT_TRUE(index->insert(a));
  ASSERT_TRUE(index->insert(b));
  CacheIndexEntry sameFolder("third");
  sameFolder.dirName = "alphac0";
  EXPECT_FALSE(index->insert(sameFolder));
  CacheIndexEntry moved = b;
  moved.dirName = "alphac0";
  EXPECT_FALSE(index->replace(moved));
  EXPECT_EQ("betaco0", index->find(kIdB)->dirName);
  CacheIndexEntry unstorable("fourth");
  unstorable.dirName = "two\nlines";
  EXPECT_FALSE(index->insert(unstorable));
  EXPECT_FALSE(index->replace(sameFolder));  // no entry with this id
  moved.size = 9;
  moved.dirName = "betaco1";
  EXPECT_TRUE(index->replace(moved));
  EXPECT_EQ(9u, index->find(kIdB)->size);
  EXPECT_TRUE(index->erase(kIdA));
  EXPECT_FALSE(index->erase(kIdA));
}

TEST_F(CacheIndexFolder, NewFolderNamesAvoidIndexEntriesAndEverythingOnDisk) {
  stdfs::create_directory(cache_ + "/alphac0");
  writeWhole(indexPath_, record("alphac_other", "alphac0", 1));
  stdfs::create_directory(cache_ + "/alphac1");  // unfinished: deleted by the reconciliation
  auto index = open();
  stdfs::create_directory(cache_ + "/alphac1");  // an extraction running meanwhile
  writeWhole(cache_ + "/alphac2", "a file");
  {
    CacheEntryHandle handle(index, kIdA, true);
    EXPECT_EQ("alphac3", handle.entry().dirName);
    EXPECT_EQ(kIdA, handle.entry().id);
    EXPECT_EQ(0u, handle.entry().size);
    EXPECT_TRUE(handle.entry().lastUsed.is_not_a_date_time());
  }
  EXPECT_EQ(nullptr, index->find(kIdA));  // never marked dirty
  EXPECT_EQ("ab0", CacheEntryHandle(index, "ab", true).entry().dirName);
  EXPECT_EQ("_x_y_z0", CacheEntryHandle(index, ".x/y\\z_", true).entry().dirName);
  EXPECT_EQ("", CacheEntryHandle(index, "nocreate", false).entry().dirName);
  EXPECT_EQ("alphac0", CacheEntryHandle(index, "alphac_other", true).entry().dirName);
}

TEST_F(CacheIndexFolder, HandlesCommitOnlyWhenDirty) {
  auto index = open();
  const pt::ptime used(gr::date(2013, 1, 30));
  {
    CacheEntryHandle handle(index, kIdA, true);
    handle.entry().size = 42;
    handle.entry().lastUsed = used;
    handle.markDirty();
  }
  ASSERT_NE(nullptr, index->find(kIdA));
  EXPECT_EQ("alphac0", index->find(kIdA)->dirName);
  EXPECT_EQ(42u, index->find(kIdA)->size);
  EXPECT_EQ(used, index->find(kIdA)->lastUsed);
  {
    CacheEntryHandle handle(index, kIdA, true);
    EXPECT_EQ(42u, handle.entry().size);
    handle.entry().size = 43;
  }
  EXPECT_EQ(42u, index->find(kIdA)->size);  // not dirty: no commit
  {
    CacheEntryHandle handle(index, kIdA, true);
    handle.entry().size = 44;
    handle.markDirty();
  }
  EXPECT_EQ(44u, index->find(kIdA)->size);
  EXPECT_EQ(1u, index->entries().size());
  {
    // A handle whose folder another entry took meanwhile commits nothing.
    CacheEntryHandle handle(index, kIdB, true);
    CacheIndexEntry thief("thief");
    thief.dirName = handle.entry().dirName;
    ASSERT_TRUE(index->insert(thief));
    handle.markDirty();
  }
  EXPECT_EQ(nullptr, index->find(kIdB));
}

// Every call of an index write goes through the index's file system. A full disk, a failing
// device or a short write at any one of them leaves the old index whole and no temporary file
// behind, and keeps the changes for the next write; a stamps-only change may instead get through
// by replacing the file when writing it in place fails.
TEST_F(CacheIndexFolder, AFailureAnywhereInAWriteKeepsTheOldIndex) {
  using fstest::InjectingFileSystem;
  const auto fileSystem = boost::make_shared<InjectingFileSystem>();
  const std::vector<std::string> ids = {kIdA, kIdB, "gammac_0123", "zetaco_9"};
  for (const std::string& id : ids) stdfs::create_directory(cache_ + "/" + id.substr(0, 6) + "0");
  const auto textOf = [](const rtkComponentCacheIndex& index) {
    std::map<std::string, std::string> records;  // in id order, as the file holds them
    for (const CacheIndexEntry& entry : index.entries()) {
      records[entry.id] = cacheIndexRecordText(entry);
    }
    std::string text;
    for (const auto& record : records) text += record.second;
    return text;
  };
  const auto leftovers = [&] {
    int count = 0;
    for (const auto& entry : stdfs::directory_iterator(cache_)) {
      count += entry.path().filename().string().find(".new.") != std::string::npos;
    }
    return count;
  };
  const auto stampA = [](rtkComponentCacheIndex& index) { index.updateLastUsed(kIdA); };
  constexpr int kEveryCall = 1000;
  const struct Change {
    const char* what;
    const char* stampOfA;  // in the old index
    std::function<void(rtkComponentCacheIndex&)> make;
    // The first calls, whose failure a stamps-only write gets past by replacing the file: the
    // attempt to write in place.
    int absorbed;
  } changes[] = {
      {"a new size, written whole and durable", "2013-Jan-30 14:05:09.250000",
       [](rtkComponentCacheIndex& index) {
         CacheIndexEntry grown = *index.find(kIdB);
         grown.size = 123456;
         ASSERT_TRUE(index.replace(grown));
       },
       0},
      {"a stamp of the same length, written in place", "2013-Jan-30 14:05:09.250000", stampA,
       kEveryCall},
      {"a longer stamp, written whole", "not-a-date-time", stampA, 0}};
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    std::string old;
    for (const std::string& id : ids) {
      old += record(id, id.substr(0, 6) + "0", id.size(),
                    id == kIdA ? change.stampOfA : "2013-Jan-30 14:05:09.250000");
    }
    writeWhole(indexPath_, old);
    int calls = 0;
    {
      rtkComponentCacheIndex index(dsPathString(indexPath_), fileSystem);
      change.make(index);
      const int before = fileSystem->calls(InjectingFileSystem::kAnyOperation);
      index.writeIndex();
      calls = fileSystem->calls(InjectingFileSystem::kAnyOperation) - before;
      ASSERT_FALSE(index.writeNeeded());
    }
    ASSERT_GE(calls, 4);
    for (const int error : {ENOSPC, EIO, 0}) {  // 0: a short write
      for (int nth = 1; nth <= (error == 0 ? 1 : calls); ++nth) {
        SCOPED_TRACE("call " + std::to_string(nth) + " fails with " + std::to_string(error));
        writeWhole(indexPath_, old);
        rtkComponentCacheIndex index(dsPathString(indexPath_), fileSystem);
        change.make(index);
        const int injected = fileSystem->injected();
        if (error == 0) {
          fileSystem->shortenNthWrite(1);
        } else {
          fileSystem->failNth(InjectingFileSystem::kAnyOperation, nth, error);
        }
        index.writeIndex();
        EXPECT_EQ(injected + 1, fileSystem->injected()) << "fewer calls than counted";
        fileSystem->clear();
        EXPECT_EQ(0, leftovers());
        if (index.writeNeeded()) {
          EXPECT_TRUE(old == readWhole(indexPath_)) << readWhole(indexPath_);
          const rtkComponentCacheIndex reread{dsPathString(indexPath_)};
          EXPECT_EQ(4u, reread.entries().size());
          EXPECT_FALSE(reread.writeNeeded());
          index.writeIndex();  // the next write makes the changes
          EXPECT_FALSE(index.writeNeeded());
        } else {
          EXPECT_TRUE(error == 0 || nth <= change.absorbed)
              << "a failed " << fileSystem->lastInjected() << " was ignored";
        }
        EXPECT_EQ(textOf(index), readWhole(indexPath_));
        EXPECT_EQ(0, leftovers());
      }
    }
  }
}

}  // namespace
