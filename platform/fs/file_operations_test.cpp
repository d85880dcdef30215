#include "fs/file_operations.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "fs/cleanup_guard.hpp"
#include "fs/errors.hpp"
#include "fs/logger.hpp"
#include "fs/test_support.hpp"

namespace {

namespace stdfs = std::filesystem;

TEST(FsFileOperations, QueriesTellKindsApart) {
  fstest::TempDirectory temp;
  fstest::writeFile(temp / "file", 3);
  stdfs::create_directory(temp / "dir");
  stdfs::create_directory_symlink("dir", temp / "link_to_dir");
  stdfs::create_symlink("nowhere", temp / "dangling");

  EXPECT_TRUE(dsIsDirectory(temp.path()));
  EXPECT_TRUE(dsIsDirectory(temp / "dir/"));
  EXPECT_TRUE(dsIsDirectory(temp / "link_to_dir"));
  EXPECT_FALSE(dsIsDirectory(temp / "file"));
  EXPECT_FALSE(dsIsDirectory(temp / "missing"));
  EXPECT_FALSE(dsIsDirectory(static_cast<const char*>(nullptr)));

  EXPECT_TRUE(dsFileExists(temp / "file"));
  EXPECT_FALSE(dsFileExists(temp / "dir"));
  EXPECT_FALSE(dsFileExists(temp / "dangling"));

  EXPECT_TRUE(dsFileOrDirExists(temp / "file"));
  EXPECT_TRUE(dsFileOrDirExists((temp / "dir").c_str()));
  EXPECT_FALSE(dsFileOrDirExists(temp / "missing"));

  EXPECT_TRUE(dsIsRootDir("/"));
  EXPECT_TRUE(dsIsRootDir(" \\\\ "));
  EXPECT_FALSE(dsIsRootDir("/tmp"));
  EXPECT_FALSE(dsIsRootDir(""));
}

TEST(FsFileOperations, RemoveRFRemovesATreeButNeverFollowsLinks) {
  fstest::TempDirectory temp;
  stdfs::create_directories(temp / "victim/a/b");
  stdfs::create_directory(temp / "outside");
  fstest::writeFile(temp / "outside/keep", 4);
  fstest::writeFile(temp / "victim/a/b/f", 4);
  fstest::writeFile(temp / "victim/.hidden", 4);
  stdfs::create_directory_symlink(temp / "outside", temp / "victim/a/link");

  EXPECT_TRUE(dsRemoveRF(temp / "victim\\"));
  EXPECT_FALSE(stdfs::exists(temp / "victim"));
  EXPECT_TRUE(stdfs::exists(temp / "outside/keep"));

  // A link given as the path itself (even with a trailing separator) goes, its target stays.
  stdfs::create_directory_symlink(temp / "outside", temp / "top_link");
  EXPECT_TRUE(dsRemoveRF(temp / "top_link/"));
  EXPECT_FALSE(stdfs::is_symlink(temp / "top_link"));
  EXPECT_TRUE(stdfs::exists(temp / "outside/keep"));

  fstest::writeFile(temp / "single", 1);
  EXPECT_TRUE(dsRemoveRF(temp / "single"));
  EXPECT_FALSE(stdfs::exists(temp / "single"));
}

TEST(FsFileOperations, RemoveRFReportsWhatItCouldNotRemove) {
  fstest::TempDirectory temp;
  EXPECT_THROW(dsRemoveRF(temp / "missing"), dsNoSuchDirectory);
  EXPECT_THROW(dsRemoveRF("//"), std::invalid_argument);

  stdfs::create_directories(temp / "tree/sub");
  fstest::writeFile(temp / "tree/stuck", 1);
  fstest::writeFile(temp / "tree/sub/goes", 1);
  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  injected->fail("unlink", EACCES, "stuck");
  EXPECT_FALSE(dsRemoveRF(temp / "tree", injected));
  EXPECT_TRUE(stdfs::exists(temp / "tree/stuck"));
  EXPECT_FALSE(stdfs::exists(temp / "tree/sub"));  // the rest was removed all the same

  injected->clear();
  injected->fail("lstat", EACCES, "tree");
  EXPECT_THROW(dsRemoveRF(temp / "tree", injected), dsPermissionDenied);
  injected->clear();
  EXPECT_TRUE(dsRemoveRF(temp / "tree", injected));
}

TEST(FsFileOperations, CreateDirectoriesMakesEveryMissingLevelWithTheMode) {
  fstest::TempDirectory temp;
  const std::string root = temp.path();
  const std::string deep = root + "/a/b/c";
  dsCreateDirectories(deep + "/", 0700);
  for (const std::string& folder : {root + "/a", root + "/a/b", deep}) {
    struct stat status;
    ASSERT_EQ(::stat(folder.c_str(), &status), 0) << folder;
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
  dsCreateDirectories(deep, 0700);  // existing levels are fine
  fstest::writeFile(temp / "file", 1);
  EXPECT_THROW(dsCreateDirectories(root + "/file/below", 0700), dsFileServicesError);
  EXPECT_THROW(dsCreateDirectories(root + "/file", 0700), dsFileServicesError);
}

TEST(FsFileOperations, CanonicalizeResolvesDotsAndSeparatorsTextually) {
  EXPECT_EQ(dsCanonicalizePath("/a/./b/../c//d/"), "/a/c/d");
  EXPECT_EQ(dsCanonicalizePath("\\a\\..\\..\\.."), "/");
  EXPECT_EQ(dsCanonicalizePath("/"), "/");
  const std::string current = stdfs::current_path().string();
  EXPECT_EQ(dsCanonicalizePath("x/../y"), current + "/y");
  EXPECT_EQ(dsCanonicalizePath(""), current);
  EXPECT_EQ(dsCanonicalizePath("."), current);

  auto injected = boost::make_shared<fstest::InjectingFileSystem>();
  injected->fail("getcwd", EIO);
  EXPECT_THROW(dsCanonicalizePath("relative", injected), dsFileAccessError);
  EXPECT_EQ(dsCanonicalizePath("/absolute/needs/no/cwd", injected), "/absolute/needs/no/cwd");
}

TEST(FsFileOperations, ErrorsNameThePathAndTheSystemText) {
  try {
    dsThrowFileError("cannot open lock file", "/x/.dirlock", ENOENT);
    FAIL() << "nothing thrown";
  } catch (const dsNoSuchDirectory& error) {
    EXPECT_STREQ(error.what(), "cannot open lock file \"/x/.dirlock\": No such file or directory");
    EXPECT_EQ(error.path(), "/x/.dirlock");
    EXPECT_EQ(error.error(), ENOENT);
  }
  EXPECT_THROW(dsThrowFileError("a", "p", ENOTDIR), dsNoSuchDirectory);
  EXPECT_THROW(dsThrowFileError("a", "p", EPERM), dsPermissionDenied);
  EXPECT_THROW(dsThrowFileError("a", "p", ENOSPC), dsFileAccessError);
}

TEST(FsCleanupFunctionGuard, RunsUnlessDisarmedAndSwallowsFailures) {
  int runs = 0;
  {
    dsCleanupFunctionGuard guard([&] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  {
    dsCleanupFunctionGuard guard([&] { ++runs; });
    guard.disarm();
    EXPECT_FALSE(guard.isArmed());
  }
  EXPECT_EQ(runs, 1);
  // Fires during unwinding; its own exception must not end the process.
  EXPECT_THROW(
      {
        dsCleanupFunctionGuard guard([&] {
          ++runs;
          throw std::runtime_error("cleanup failed");
        });
        throw std::logic_error("work failed");
      },
      std::logic_error);
  EXPECT_EQ(runs, 2);
}

TEST(FsLogger, WritesFragmentsAndLineEndsOnlyWhenEnabled) {
  std::ostringstream out;
  dsLogger logger(false, out);
  logger << "hidden " << 42 << std::endl;
  EXPECT_EQ(out.str(), "");
  logger.setEnabled(true);
  logger << "total is " << std::uint64_t(18446744073709551615u) << std::endl << "next";
  EXPECT_EQ(out.str(), "total is 18446744073709551615\nnext");
  EXPECT_EQ(&dsLogger().stream(), &std::cerr);
}

// Small files of the runtime are read only when they are small regular files: a link, a named
// pipe (which would block a plain open) or a file beyond the limit is refused at once.
TEST(FsFileOperations, SmallFilesAreReadOnlyWhenSmallAndRegular) {
  fstest::TempDirectory temp;
  fstest::writeFile(temp / "exact", 64);
  fstest::writeFile(temp / "larger", 65);
  fstest::writeFile(temp / "empty", 0);
  stdfs::create_symlink(temp / "exact", temp / "link");
  ASSERT_EQ(::mkfifo((temp / "pipe").c_str(), 0600), 0);
  struct Case {
    const char* name;
    bool read;
    int error;
  };
  for (const Case& c :
       {Case{"exact", true, 0}, Case{"empty", true, 0}, Case{"larger", false, EFBIG},
        Case{"link", false, ELOOP}, Case{"pipe", false, EINVAL}, Case{"missing", false, ENOENT}}) {
    SCOPED_TRACE(c.name);
    std::string content = "unchanged";
    errno = 0;
    EXPECT_EQ(dsReadSmallFile(temp / c.name, 64, content), c.read);
    if (c.read) {
      EXPECT_EQ(content, fstest::readFile(temp / c.name));
    } else {
      EXPECT_EQ(errno, c.error);
      EXPECT_EQ(content, "unchanged");
    }
  }
  // A size measured before the file grew or shrank only sizes the first read: the content read
  // is what the file holds, up to the limit.
  const int descriptor = dsOpenRegularFile(temp / "exact");
  ASSERT_GE(descriptor, 0);
  for (const off_t measured : {off_t(1), off_t(30), off_t(200)}) {
    SCOPED_TRACE(measured);
    struct stat stale {};
    stale.st_size = measured;
    std::string content;
    EXPECT_TRUE(dsReadSmallFile(descriptor, 64, content, *dsGetDefaultFSImp(), &stale));
    EXPECT_EQ(content, fstest::readFile(temp / "exact"));
  }
  ::close(descriptor);
}

}  // namespace
