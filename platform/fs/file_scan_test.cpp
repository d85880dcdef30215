#include "fs/file_scan.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "fs/errors.hpp"
#include "fs/test_support.hpp"

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class Collect : public dsStringProcedure {
 public:
  explicit Collect(std::vector<std::string>& into, const std::string& tag = "")
      : into_(&into), tag_(tag) {}
  void operator()(const std::string& path) const override { into_->push_back(tag_ + path); }

 private:
  std::vector<std::string>* into_;
  std::string tag_;
};

// root/a.txt (10)  root/.hidden (7)  root/sub/b.bin (200)  root/sub/deeper/c (3000)
// root/.hdir/d (5)  root/link_to_sub -> sub  root/link_to_c -> sub/deeper/c
class FsFileScan : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp / "sub/deeper");
    std::filesystem::create_directories(temp / ".hdir");
    fstest::writeFile(temp / "a.txt", 10);
    fstest::writeFile(temp / ".hidden", 7);
    fstest::writeFile(temp / "sub/b.bin", 200);
    fstest::writeFile(temp / "sub/deeper/c", 3000);
    fstest::writeFile(temp / ".hdir/d", 5);
    std::filesystem::create_directory_symlink("sub", temp / "link_to_sub");
    std::filesystem::create_symlink("sub/deeper/c", temp / "link_to_c");
  }

  std::string pattern() const { return temp / "*"; }
  std::string at(const std::string& name) const { return temp / name; }

  fstest::TempDirectory temp;
};

TEST_F(FsFileScan, FlagsZeroReportsTheTopLevelOnly) {
  std::vector<std::string> files, dirs;
  dsFindMatchingFilesAndDirs(pattern().c_str(), Collect(files), Collect(dirs), 0, false);
  // Links are files, whatever they point to; hidden entries and deeper levels are left out.
  EXPECT_THAT(files, UnorderedElementsAre(at("a.txt"), at("link_to_sub"), at("link_to_c")));
  EXPECT_THAT(dirs, UnorderedElementsAre(at("sub")));
  // The folder listing reports the same directories, as bare names.
  EXPECT_THAT(dsListFolderNames(temp.path()), ElementsAre("sub"));
}

TEST_F(FsFileScan, SizeWalkAddsEveryFileBelowWithoutFollowingLinks) {
  std::uint64_t total = 0;
  std::vector<std::string> dirs;
  dsFindMatchingFilesAndDirs(pattern().c_str(), dsDirectorySizeAdder(total), Collect(dirs),
                             dsFindAllFilesBelow, false);
  // 10 + 7 + 200 + 3000 + 5 bytes of files, plus the links themselves: their size is the length
  // of the text they hold ("sub" and "sub/deeper/c"). Following them would add 3200 more.
  EXPECT_EQ(total, 3222u + 3u + 12u);
  EXPECT_TRUE(dirs.empty());

  std::vector<std::string> files;
  dsFindMatchingFilesAndDirs(pattern().c_str(), Collect(files), dsIgnoreString(), 0xA02, false);
  EXPECT_THAT(files,
              UnorderedElementsAre(at("a.txt"), at(".hidden"), at("sub/b.bin"), at("sub/deeper/c"),
                                   at(".hdir/d"), at("link_to_sub"), at("link_to_c")));
}

TEST_F(FsFileScan, SortedRecursiveWalkReportsEachDirectoryBeforeItsContents) {
  std::vector<std::string> order;
  dsFindMatchingFilesAndDirs(pattern().c_str(), Collect(order, "f "), Collect(order, "d "),
                             dsFindRecursive, true);
  EXPECT_THAT(order, ElementsAre("f " + at("a.txt"), "f " + at("link_to_c"),
                                 "f " + at("link_to_sub"), "d " + at("sub"), "f " + at("sub/b.bin"),
                                 "d " + at("sub/deeper"), "f " + at("sub/deeper/c")));
}

TEST_F(FsFileScan, PatternFiltersNamesNotTheWalk) {
  fstest::writeFile(at("sub/deeper/z.txt"), 1);
  std::vector<std::string> files;
  const std::string txt = temp / "*.txt";
  dsFindMatchingFilesAndDirs(txt.c_str(), Collect(files), dsIgnoreString(), dsFindRecursive, false);
  EXPECT_THAT(files, UnorderedElementsAre(at("a.txt"), at("sub/deeper/z.txt")));

  // Without a directory part the scan lists the current directory and reports bare names.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  files.clear();
  dsFindMatchingFilesAndDirs("a.*", Collect(files), dsIgnoreString(), 0, false);
  std::filesystem::current_path(previous);
  EXPECT_THAT(files, ElementsAre("a.txt"));
}

TEST_F(FsFileScan, ReportsFailuresAsFileErrors) {
  std::vector<std::string> files;
  const std::string missing = temp / "missing/*";
  EXPECT_THROW(
      dsFindMatchingFilesAndDirs(missing.c_str(), Collect(files), dsIgnoreString(), 0, false),
      dsNoSuchDirectory);
  const std::string notDirectory = temp / "a.txt/*";
  EXPECT_THROW(
      dsFindMatchingFilesAndDirs(notDirectory.c_str(), Collect(files), dsIgnoreString(), 0, false),
      dsNoSuchDirectory);
  EXPECT_THROW(dsListFolderNames(temp / "missing"), dsNoSuchDirectory);
  EXPECT_THROW(dsFindMatchingFilesAndDirs(pattern().c_str(), Collect(files), dsIgnoreString(),
                                          0x1000, false),
               std::invalid_argument);

  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  injected->fail("opendir", EACCES, "/deeper");
  std::uint64_t total = 0;
  EXPECT_THROW(dsFindMatchingFilesAndDirs(pattern().c_str(), dsDirectorySizeAdder(total),
                                          dsIgnoreString(), dsFindAllFilesBelow, false, injected),
               dsPermissionDenied);

  injected->clear();
  injected->fail("readdir", EIO);
  EXPECT_THROW(dsFindMatchingFilesAndDirs(pattern().c_str(), Collect(files), dsIgnoreString(), 0,
                                          false, injected),
               dsFileAccessError);
  EXPECT_THROW(dsListFolderNames(temp.path(), injected), dsFileAccessError);
}

}  // namespace
