#include "base/file_tree.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class FileTree : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() /
            ("file_tree_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(base_);
    fs::create_directories(base_ / "tree" / "a" / "b");
    fs::create_directories(base_ / "outside");
    write(base_ / "tree" / "top.txt", "top");
    write(base_ / "tree" / "a" / "b" / "deep.txt", "deep");
    write(base_ / "outside" / "keep.txt", "keep");
    fs::create_directory_symlink(base_ / "outside", base_ / "tree" / "a" / "link");
  }
  void TearDown() override { fs::remove_all(base_); }

  static void write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }
  static std::string read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path base_;
};

TEST_F(FileTree, RemovalDeletesEverythingButNeverFollowsLinks) {
  EXPECT_TRUE(rmRF((base_ / "tree").string(), true));
  EXPECT_FALSE(fs::exists(base_ / "tree"));
  EXPECT_EQ(read(base_ / "outside" / "keep.txt"), "keep");
  EXPECT_TRUE(rmRF((base_ / "never-existed").string(), false));
  EXPECT_FALSE(rmRF("", false));
}

TEST_F(FileTree, RemovalReportsWhatCannotBeRemoved) {
  // Nothing in a process folder of /proc can be removed, not even by root.
  EXPECT_FALSE(rmRF("/proc/self/net", true));
  EXPECT_TRUE(fs::exists("/proc/self/net"));
}

TEST_F(FileTree, CopyTakesSubfoldersOnlyWhenRecursive) {
  ASSERT_TRUE(rtkCopyDir((base_ / "tree").string(), (base_ / "flat").string(), false));
  EXPECT_EQ(read(base_ / "flat" / "top.txt"), "top");
  EXPECT_FALSE(fs::exists(base_ / "flat" / "a"));

  fs::create_directories(base_ / "copy");
  write(base_ / "copy" / "top.txt", "old contents");
  ASSERT_TRUE(rtkCopyDir((base_ / "tree").string(), (base_ / "copy").string(), true));
  EXPECT_EQ(read(base_ / "copy" / "top.txt"), "top");
  EXPECT_EQ(read(base_ / "copy" / "a" / "b" / "deep.txt"), "deep");
  EXPECT_TRUE(fs::is_symlink(base_ / "copy" / "a" / "link"));
  EXPECT_EQ(fs::read_symlink(base_ / "copy" / "a" / "link"), base_ / "outside");

  EXPECT_FALSE(rtkCopyDir((base_ / "tree" / "top.txt").string(), (base_ / "x").string(), true));
  EXPECT_FALSE(rtkCopyDir((base_ / "missing").string(), (base_ / "y").string(), true));
}

}  // namespace
