#include "util/temporary_names.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "util/test_environment.hpp"

namespace {

using rtkutil::testing::ScopedEnvironment;

std::vector<std::string> makeNames(int count) {
  std::vector<std::string> names;
  char buffer[UT_TMPNAM_BUFFER_SIZE];
  for (int i = 0; i < count; ++i) {
    if (!utTmpnam(buffer)) {
      ADD_FAILURE() << "utTmpnam failed: errno " << errno;
      break;
    }
    names.emplace_back(buffer);
  }
  return names;
}

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

TEST(UtilTmpnam, NamesFromTwoThreadsNeverRepeatAndAreNotCreated) {
  char folderTemplate[] = "/tmp/rtkutil_tmpnam_XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  ScopedEnvironment tmpdir("TMPDIR", (folder + "/").c_str());

  std::vector<std::string> first, second;
  std::thread one([&] { first = makeNames(2000); });
  std::thread two([&] { second = makeNames(2000); });
  one.join();
  two.join();

  std::set<std::string> all(first.begin(), first.end());
  all.insert(second.begin(), second.end());
  EXPECT_EQ(first.size() + second.size(), 4000u);
  EXPECT_EQ(all.size(), 4000u);
  for (const auto& name : all) {
    ASSERT_EQ(name.rfind(folder + "/", 0), 0u) << name;
    ASSERT_EQ(name.find('/', folder.size() + 1), std::string::npos) << "one level: " << name;
    ASSERT_FALSE(exists(name)) << "names are not created";
  }
  EXPECT_EQ(rmdir(folder.c_str()), 0);
}

TEST(UtilTmpnam, FallsBackToTmpAndRefusesWhatCannotWork) {
  char buffer[UT_TMPNAM_BUFFER_SIZE];
  for (const char* unusable : {static_cast<const char*>(nullptr), ""}) {
    ScopedEnvironment tmpdir("TMPDIR", unusable);
    ASSERT_EQ(utTmpnam(buffer), buffer);
    EXPECT_EQ(std::string(buffer).rfind("/tmp/", 0), 0u) << buffer;
  }

  errno = 0;
  EXPECT_EQ(utTmpnam(nullptr), nullptr);
  EXPECT_EQ(errno, EINVAL);

  const std::string tooLong(UT_TMPNAM_BUFFER_SIZE, 'x');
  ScopedEnvironment tmpdir("TMPDIR", ("/" + tooLong).c_str());
  std::snprintf(buffer, sizeof buffer, "untouched");
  errno = 0;
  EXPECT_EQ(utTmpnam(buffer), nullptr);
  EXPECT_EQ(errno, ENAMETOOLONG);
  EXPECT_STREQ(buffer, "untouched");
}

}  // namespace
