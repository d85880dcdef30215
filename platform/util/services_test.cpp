#include "util/services.hpp"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "util/test_environment.hpp"

namespace {

using rtkutil::testing::ScopedEnvironment;

// The folder the build writes the shared libraries to (RTKKVN_LIBRARY_FOLDER), as the
// library must name it: its real path, whatever links lead there.
std::string libraryFolder() {
  char path[PATH_MAX];
  return realpath(RTKKVN_LIBRARY_FOLDER, path) ? path : "";
}

TEST(UtilServices, BinaryFolderIsTheOneHoldingTheLibrary) {
  const std::string binaries = svGetBinArchDir();
  EXPECT_EQ(binaries, libraryFolder());
  struct stat info;
  EXPECT_EQ(stat((binaries + "/librtkutil.so").c_str(), &info), 0) << binaries;
}

TEST(UtilServices, InstallationRootComesFromTheEnvironmentOrTheBinaryFolder) {
  const std::string binaries = svGetBinArchDir();
  const std::string parent = binaries.substr(0, binaries.find_last_of('/'));
  {
    ScopedEnvironment root("KVN_SORVEL_ROOT", nullptr);
    EXPECT_EQ(svSorvelRoot(), parent);
  }
  {
    ScopedEnvironment root("KVN_SORVEL_ROOT", "");
    EXPECT_EQ(svSorvelRoot(), parent);
  }
  ScopedEnvironment root("KVN_SORVEL_ROOT", "/opt/sorvel/runtime//");
  EXPECT_EQ(svSorvelRoot(), "/opt/sorvel/runtime");
}

TEST(UtilServices, PreferencesLiveUnderTheUsersConfigurationFolder) {
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", "/home/alice/settings/");
    EXPECT_EQ(svSorvelDefaultPrefDirPrefix(), "/home/alice/settings/sorvel");
  }
  ScopedEnvironment home("HOME", "/home/bob");
  for (const char* ignored : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    ScopedEnvironment config("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(svSorvelDefaultPrefDirPrefix(), "/home/bob/.config/sorvel");
  }
  EXPECT_EQ(svSorvelDefaultPrefDirPrefix() + "/" + svSorvelDefaultPrefDirSuffix("kvn_v81"),
            "/home/bob/.config/sorvel/kvn_v81");
  for (const std::string& bad : {std::string(), std::string("."), std::string(".."),
                                 std::string("a/b"), std::string("a\0b", 3)}) {
    EXPECT_THROW(svSorvelDefaultPrefDirSuffix(bad), std::invalid_argument) << bad;
  }
}

TEST(UtilServices, ModeAndJavaSwitchesFollowTheirSettersAndTheEnvironment) {
  ScopedEnvironment noJvm("KVN_NOJVM", nullptr);
  EXPECT_TRUE(svIsStandaloneMode());
  svSetStandaloneMode(false);
  EXPECT_FALSE(svIsStandaloneMode());
  svSetStandaloneMode(true);

  EXPECT_FALSE(svIsPQXWorkerMode());
  svSetPQXWorkerMode(true);
  EXPECT_TRUE(svIsPQXWorkerMode());
  svSetPQXWorkerMode(false);

  EXPECT_TRUE(svJavaUseJVM());
  EXPECT_TRUE(svIsJavaEnabled());
  svSetJavaUseJVM(false);  // what the option -nojvm does
  EXPECT_FALSE(svJavaUseJVM());
  EXPECT_FALSE(svIsJavaEnabled());
  svSetJavaUseJVM(true);

  svSetJavaEnabled(false);
  EXPECT_TRUE(svJavaUseJVM());
  EXPECT_FALSE(svIsJavaEnabled());
  svSetJavaEnabled(true);

  for (const char* yes : {"1", "yes", "TRUE"}) {
    ScopedEnvironment environment("KVN_NOJVM", yes);
    EXPECT_FALSE(svJavaUseJVM()) << yes;
    EXPECT_FALSE(svIsJavaEnabled()) << yes;
  }
  ScopedEnvironment environment("KVN_NOJVM", "0");
  EXPECT_TRUE(svJavaUseJVM());
}

}  // namespace
