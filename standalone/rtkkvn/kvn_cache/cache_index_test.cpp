// The cache index against a real cache directory: reading damaged files, bringing the index into
// agreement with the folders, writing only what changed, and the entry handle of an extraction.

#include "rtkkvn/kvn_cache/cache_index.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fs/test_support.hpp"
#include "rtkkvn/kvn_cache/cache_listing.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
namespace pt = boost::posix_time;
namespace gr = boost::gregorian;
using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;

// A component id as archives carry them: name, "_", 32 hexadecimal digits.
const std::string kIdA = "alphac_1234567890abcdeffedcba9876543210";
const std::string kIdB = "betaco_aaaaaaaaaaaaaaaabbbbbbbbbbbbbbbb";
const char kSomeTime[] = "2013-Jan-30 14:05:09.250000";

std::string record(const std::string& id, const std::string& dirName, std::uint64_t size,
                   const std::string& time = "not-a-date-time") {
  return id + "\n" + dirName + "\n" + std::to_string(size) + "\n" + time + "\n";
}

CacheIndexEntry entryOf(const std::string& id, const std::string& dirName, std::uint64_t size = 0,
                        const pt::ptime& lastUsed = pt::ptime()) {
  CacheIndexEntry entry(id);
  entry.dirName = dirName;
  entry.size = size;
  entry.lastUsed = lastUsed;
  return entry;
}

// An entry as "<id> <dirName> <size>", and " dated" when it has a last use.
std::string describe(const CacheIndexEntry& entry) {
  return entry.id + " " + entry.dirName + " " + std::to_string(entry.size) +
         (entry.lastUsed.is_not_a_date_time() ? "" : " dated");
}

std::vector<std::string> idsByLastUsed(rtkComponentCacheIndex& index) {
  std::vector<std::string> ids;
  for (const CacheIndexEntry& entry : index.byLastUsed()) ids.push_back(entry.id);
  return ids;
}

struct stat statusOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(0, ::stat(path.c_str(), &status)) << path;
  return status;
}

class CacheIndexFolder : public ::testing::Test {
 protected:
  // A component folder as a finished extraction leaves it: the marker, the component's 123
  // bytes of files in a folder named after its id, and optionally the recorded size.
  void finishedComponent(const std::string& dirName, const std::string& innerName,
                         const std::string& bytesUsed = "") {
    const std::string folder = cache_ + "/" + dirName;
    writeFile(folder + "/" + kCreatedMarkerFileName, "");
    writeFile(folder + "/" + innerName + "/main.q", std::string(100, 'q'));
    writeFile(folder + "/" + innerName + "/data.bin", std::string(23, 'd'));
    if (!bytesUsed.empty()) writeFile(folder + "/" + kBytesUsedFileName, bytesUsed);
  }

  boost::shared_ptr<rtkComponentCacheIndex> open() {
    return boost::make_shared<rtkComponentCacheIndex>(dsPathString(indexPath_));
  }

  // Temporary files of index writes left in the cache directory.
  int leftovers() const {
    int count = 0;
    for (const auto& entry : stdfs::directory_iterator(cache_)) {
      count += entry.path().filename().string().find(".new.") != std::string::npos;
    }
    return count;
  }

  const fstest::TempDirectory folder_;
  const std::string cache_ = folder_.path();
  const std::string indexPath_ = cache_ + "/" + kCacheIndexFileName;
};

// What an index holds once it has read the file and brought it into agreement with the folders,
// and what the file holds once the index is gone.
TEST_F(CacheIndexFolder, TheFileIsReadAgainstTheFolders) {
  const auto folders = [this](std::initializer_list<const char*> names) {
    for (const char* name : names) stdfs::create_directories(cache_ + "/" + name);
  };
  const std::string upper = "alphac_1234567890ABCDEFFEDCBA9876543210";
  const struct Case {
    const char* what;
    std::function<void()> prepare;                  // the cache directory's folders
    std::optional<std::string> file;                // the index file, when there is one
    std::vector<std::string> expected;              // the entries (describe), in id order
    std::map<std::string, const char*> after = {};  // paths that must be gone (null) or exist,
                                                    // files with that content
    std::string stamped = {};  // an id whose use is stamped, so that the file is written
  } cases[] = {
      {"records whose folders exist; the second record of an id is dropped",
       [&] {
         folders({"alphac0", "betaco0"});
       },
       record(kIdA, "alphac0", 10, kSomeTime) + record(kIdA, "betaco0", 99) +
           record(kIdB, "betaco0", 20),
       {kIdA + " alphac0 10 dated", kIdB + " betaco0 20 dated"},
       {},
       kIdB},
      {"a corrupt file: rebuilt from the folders, unfinished ones deleted",
       [&] {
         finishedComponent("alphac0", kIdA, "123");
         folders({("betaco0/" + kIdB).c_str()});  // no marker: unfinished
       },
       record("someone", "alphac0", 5) + "dangling\n",  // an id line, then nothing
       {kIdA + " alphac0 123 dated"},
       {{"betaco0", nullptr}}},
      {"an unterminated last id line is ignored",
       [&] { folders({"alphac0"}); },
       record(kIdA, "alphac0", 5) + "dangling",
       {kIdA + " alphac0 5"}},
      {"records of gone, nested or escaping folders are dropped; a folder without marker or "
       "entry is deleted",
       [&] {
         folders({"alphac0", "inner/x"});
       },
       record(kIdA, "alphac0", 5) + record(kIdB, "betaco0", 7) + record("up", "..", 1) +
           record("nested", "inner/x", 1),
       {kIdA + " alphac0 5"},
       {{"inner", nullptr}}},
      {"no file: the ids are found in the folders, the size measured and recorded; hidden "
       "folders and files are no components",
       [&] {
         finishedComponent("alphac0", kIdA);
         folders({".hidden"});
         writeFile(cache_ + "/loose_file", "x");
       },
       std::nullopt,
       {kIdA + " alphac0 123 dated"},
       {{"alphac0/.bytes_used", "123"}, {".hidden", ""}, {"loose_file", "x"}}},
      {"an inner name of other first characters: anonymous",
       [&] { finishedComponent("betaco0", "other_1234567890abcdeffedcba9876543210", "77"); },
       std::nullopt,
       {" betaco0 77 dated"}},
      {"a hexadecimal half with a leading zero: anonymous",
       [&] { finishedComponent("zeroco0", "zeroco_0123456789abcdeffedcba9876543210", "1"); },
       std::nullopt,
       {" zeroco0 1 dated"}},
      {"upper-case hashes; only the first matching folder counts",
       [&] {
         finishedComponent("alphac0", upper);
         folders({"alphac0/alphac_fedcba9876543210fedcba9876543210"});
       },
       std::nullopt,
       {upper + " alphac0 123 dated"}},
      // "alphac0 " would reach the file services as "alphac0": deleting it as an unfinished
      // extraction must not delete the valid component beside it.
      {"a folder with an ambiguous name is left alone",
       [&] {
         finishedComponent("alphac0", kIdA, "5");
         folders({"alphac0 "});
       },
       std::nullopt,
       {kIdA + " alphac0 5 dated"},
       {{"alphac0 ", ""}, {"alphac0/.created.ts", ""}}},
      {"an empty cache without an index file stays without one",
       [] {},
       std::nullopt,
       {},
       {{kCacheIndexFileName, nullptr}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stdfs::remove_all(cache_);
    stdfs::create_directory(cache_);
    c.prepare();
    if (c.file) writeFile(indexPath_, *c.file);
    auto index = open();
    if (!c.stamped.empty()) index->updateLastUsed(c.stamped);
    std::vector<std::string> held;
    for (const CacheIndexEntry& entry : index->entries()) held.push_back(describe(entry));
    std::sort(held.begin(), held.end());
    index.reset();
    EXPECT_EQ(c.expected, held);
    // The file holds the entries the index held, dated or not.
    std::vector<std::string> written;
    const std::string file = contentsOf(indexPath_);
    CacheIndexReader reader(file);
    for (CacheIndexEntry entry; reader.next(entry);) written.push_back(describe(entry));
    EXPECT_EQ(c.expected, written);
    for (const auto& [name, content] : c.after) {
      const std::string path = cache_ + "/" + name;
      EXPECT_EQ(stdfs::exists(path), content != nullptr) << name;
      if (content && stdfs::is_regular_file(path)) {
        EXPECT_EQ(content, contentsOf(path)) << name;
      }
    }
  }
}

// The cache directory is listed again only when it may have changed since the last listing:
// a folder removed, or renamed, is noticed even when the directory's modification time is set
// back to what it was; and so by a cache object that remembers the record it found last.
TEST_F(CacheIndexFolder, AnUnchangedDirectoryIsNotListedAgain) {
  const auto fileSystem = boost::make_shared<fstest::InjectingFileSystem>();
  const struct timespec hourAgo = {::time(nullptr) - 3600, 0};  // the same time every time
  const auto ageDirectory = [this, hourAgo] {
    const struct timespec times[2] = {hourAgo, hourAgo};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, cache_.c_str(), times, 0));
  };
  for (const bool remembers : {false, true}) {
    SCOPED_TRACE(remembers ? "with a memo" : "without a memo");
    for (const auto& entry : stdfs::directory_iterator(cache_)) stdfs::remove_all(entry.path());
    finishedComponent("alphac0", kIdA);
    finishedComponent("betaco0", kIdB);
    CacheIndexMemo memo;
    // Opens the index and says whether it listed the directory, and which folders it names.
    const auto openIndex = [&](bool& listed) {
      const int before = fileSystem->calls("opendir");
      const rtkComponentCacheIndex index(dsPathString(indexPath_), fileSystem,
                                         remembers ? &memo : nullptr);
      listed = fileSystem->calls("opendir") != before;
      std::vector<std::string> folders;
      for (const CacheIndexEntry& entry : index.entries()) folders.push_back(entry.dirName);
      std::sort(folders.begin(), folders.end());
      return folders;
    };
    bool listed = false;
    openIndex(listed);                         // rebuilds the index file
    for (int round = 0; round < 2; ++round) {  // the second round's record is written in place
      ageDirectory();
      EXPECT_EQ((std::vector<std::string>{"alphac0", "betaco0"}), openIndex(listed));
      EXPECT_TRUE(listed);
    }
    for (int again = 0; again < 2; ++again) {
      EXPECT_EQ((std::vector<std::string>{"alphac0", "betaco0"}), openIndex(listed));
      EXPECT_FALSE(listed);
    }

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
}

TEST_F(CacheIndexFolder, UnchangedIndexIsNotRewritten) {
  stdfs::create_directory(cache_ + "/alphac0");
  writeFile(indexPath_, record(kIdA, "alphac0", 5, "2013-Jan-30 14:05:09"));
  const struct stat before = statusOf(indexPath_);
  EXPECT_FALSE(open()->writeNeeded());
  const struct stat after = statusOf(indexPath_);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST_F(CacheIndexFolder, ChangesAreWrittenInIdOrderThroughAPrivateNewFile) {
  stdfs::create_directory(cache_ + "/betaco0");
  writeFile(indexPath_, record(kIdB, "betaco0", 2));
  const ino_t before = statusOf(indexPath_).st_ino;
  {
    auto index = open();
    stdfs::create_directory(cache_ + "/alphac0");
    ASSERT_TRUE(index->insert(entryOf(kIdA, "alphac0", 1)));
    EXPECT_TRUE(index->writeNeeded());
    index->writeIndex();
    EXPECT_FALSE(index->writeNeeded());
  }
  EXPECT_EQ(record(kIdA, "alphac0", 1) + record(kIdB, "betaco0", 2), contentsOf(indexPath_));
  const struct stat after = statusOf(indexPath_);
  EXPECT_NE(before, after.st_ino);  // replaced, not rewritten in place
  EXPECT_EQ(0600u, after.st_mode & 07777);
  EXPECT_EQ(0, leftovers());
}

// Stamps alone change nothing but the eviction order: a stamp that keeps its line's length is
// written over that line where the file is (no new file, no rename, the other records' bytes
// untouched); one that changes it replaces the file.
TEST_F(CacheIndexFolder, StampsAloneAreWrittenInPlace) {
  stdfs::create_directory(cache_ + "/alphac0");
  stdfs::create_directory(cache_ + "/betaco0");
  const std::string recordB = record(kIdB, "betaco0", 7, "2014-Feb-01 10:00:00.500000");
  writeFile(indexPath_, record(kIdA, "alphac0", 5, kSomeTime) + recordB);
  ino_t before = statusOf(indexPath_).st_ino;
  open()->updateLastUsed(kIdA);
  EXPECT_EQ(before, statusOf(indexPath_).st_ino);
  const std::string text = contentsOf(indexPath_);
  EXPECT_EQ(text.substr(0, text.find("alphac0\n5\n") + 10), kIdA + "\nalphac0\n5\n");
  EXPECT_EQ(text.substr(text.size() - recordB.size()), recordB);
  EXPECT_GT(open()->find(kIdA)->lastUsed, pt::ptime(gr::date(2020, 1, 1)));
  stdfs::remove(cache_ + "/betaco0");

  writeFile(indexPath_, record(kIdA, "alphac0", 5));  // not-a-date-time: the length changes
  before = statusOf(indexPath_).st_ino;
  open()->updateLastUsed(kIdA);
  EXPECT_NE(before, statusOf(indexPath_).st_ino);
  EXPECT_FALSE(open()->find(kIdA)->lastUsed.is_not_a_date_time());
}

// An operation that changed only stamps leaves its entries for the next one of the same cache
// object, which takes them only while the file holds the very bytes they came from.
TEST_F(CacheIndexFolder, AMemoServesOnlyTheBytesItWasLeftWith) {
  stdfs::create_directory(cache_ + "/alphac0");
  stdfs::create_directory(cache_ + "/betaco0");
  writeFile(indexPath_, record(kIdA, "alphac0", 5, kSomeTime) +
                            record(kIdB, "betaco0", 7, "2014-Feb-01 10:00:00.500000"));
  CacheIndexMemo memo;
  const auto openWithMemo = [&] {
    return boost::make_shared<rtkComponentCacheIndex>(dsPathString(indexPath_),
                                                      dsGetDefaultFSImp(), &memo);
  };
  openWithMemo()->updateLastUsed(kIdA);
  const auto entriesOf = [](rtkComponentCacheIndex& index) {
    std::vector<std::string> entries;
    for (const CacheIndexEntry& entry : index.entries()) {
      entries.push_back(describe(entry) + " " + formatCacheTime(entry.lastUsed));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  };
  EXPECT_EQ(entriesOf(*openWithMemo()), entriesOf(*open()));

  // Another writer changes a size in place: same inode, same length, other bytes.
  std::string text = contentsOf(indexPath_);
  text.replace(text.find("betaco0\n7\n") + 8, 1, "9");
  const ino_t before = statusOf(indexPath_).st_ino;
  {
    std::fstream file(indexPath_, std::ios::in | std::ios::out | std::ios::binary);
    file << text;
  }
  ASSERT_EQ(before, statusOf(indexPath_).st_ino);
  EXPECT_EQ(9u, openWithMemo()->find(kIdB)->size);
}

TEST_F(CacheIndexFolder, AFailedWriteKeepsTheChangesAndLeavesNothingBehind) {
  // A folder where the index file should be: it reads as no file, and renaming onto it fails.
  stdfs::create_directory(indexPath_);
  auto index = open();
  stdfs::create_directory(cache_ + "/alphac0");
  ASSERT_TRUE(index->insert(entryOf(kIdA, "alphac0")));
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
  for (const auto& [id, time] : entries) ASSERT_TRUE(index->insert(entryOf(id, id + "0", 1, time)));
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
  ASSERT_TRUE(index->insert(entryOf(kIdA, "alphac0")));
  ASSERT_TRUE(index->insert(entryOf(kIdB, "betaco0")));
  EXPECT_FALSE(index->insert(entryOf("third", "alphac0")));      // a taken folder
  EXPECT_FALSE(index->insert(entryOf(kIdB, "betaco1")));         // a taken id
  EXPECT_FALSE(index->insert(entryOf("fourth", "two\nlines")));  // not storable
  EXPECT_FALSE(index->replace(entryOf(kIdB, "alphac0")));        // another entry's folder
  EXPECT_FALSE(index->replace(entryOf("third", "third0")));      // no entry with this id
  EXPECT_EQ("betaco0", index->find(kIdB)->dirName);
  EXPECT_TRUE(index->replace(entryOf(kIdB, "betaco1", 9)));
  EXPECT_EQ(9u, index->find(kIdB)->size);
  EXPECT_TRUE(index->erase(kIdA));
  EXPECT_FALSE(index->erase(kIdA));
}

TEST_F(CacheIndexFolder, NewFolderNamesAvoidIndexEntriesAndEverythingOnDisk) {
  stdfs::create_directory(cache_ + "/alphac0");
  writeFile(indexPath_, record("alphac_other", "alphac0", 1));
  auto index = open();
  stdfs::create_directory(cache_ + "/alphac1");  // an extraction running meanwhile
  writeFile(cache_ + "/alphac2", "a file");
  {
    CacheEntryHandle handle(index, kIdA, true);
    EXPECT_EQ(describe(handle.entry()), kIdA + " alphac3 0");
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
  const auto change = [&](const std::string& id, std::uint64_t size, bool dirty) {
    CacheEntryHandle handle(index, id, true);
    handle.entry().size = size;
    handle.entry().lastUsed = used;
    if (dirty) handle.markDirty();
  };
  change(kIdA, 42, true);
  ASSERT_NE(nullptr, index->find(kIdA));
  EXPECT_EQ(*index->find(kIdA), entryOf(kIdA, "alphac0", 42, used));
  change(kIdA, 43, false);
  EXPECT_EQ(42u, index->find(kIdA)->size);
  change(kIdA, 44, true);
  EXPECT_EQ(44u, index->find(kIdA)->size);
  EXPECT_EQ(1u, index->entries().size());
  {
    // A handle whose folder another entry took meanwhile commits nothing.
    CacheEntryHandle handle(index, kIdB, true);
    ASSERT_TRUE(index->insert(entryOf("thief", handle.entry().dirName)));
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
  const auto stampA = [](rtkComponentCacheIndex& index) { index.updateLastUsed(kIdA); };
  constexpr int kEveryCall = 1000;
  const struct Change {
    const char* what;
    const char* stampOfA;  // in the old index
    std::function<void(rtkComponentCacheIndex&)> make;
    // The first calls, whose failure a stamps-only write gets past by replacing the file: the
    // attempt to write in place.
    int absorbed;
  } changes[] = {{"a new size, written whole and durable", kSomeTime,
                  [](rtkComponentCacheIndex& index) {
                    CacheIndexEntry grown = *index.find(kIdB);
                    grown.size = 123456;
                    ASSERT_TRUE(index.replace(grown));
                  },
                  0},
                 {"a stamp of the same length, written in place", kSomeTime, stampA, kEveryCall},
                 {"a longer stamp, written whole", "not-a-date-time", stampA, 0}};
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    std::string old;
    for (const std::string& id : ids) {
      old += record(id, id.substr(0, 6) + "0", id.size(), id == kIdA ? change.stampOfA : kSomeTime);
    }
    writeFile(indexPath_, old);
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
        writeFile(indexPath_, old);
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
          EXPECT_TRUE(old == contentsOf(indexPath_)) << contentsOf(indexPath_);
          const rtkComponentCacheIndex reread{dsPathString(indexPath_)};
          EXPECT_EQ(4u, reread.entries().size());
          EXPECT_FALSE(reread.writeNeeded());
          index.writeIndex();  // the next write makes the changes
          EXPECT_FALSE(index.writeNeeded());
        } else {
          EXPECT_TRUE(error == 0 || nth <= change.absorbed)
              << "a failed " << fileSystem->lastInjected() << " was ignored";
        }
        EXPECT_EQ(textOf(index), contentsOf(indexPath_));
        EXPECT_EQ(0, leftovers());
      }
    }
  }
}

}  // namespace
