// Per-user preference folders against real folders: HOME and XDG_CONFIG_HOME point into a
// temporary folder in every test, and the cross-process cases fork real children.

#include "rtkkvn/components/component_preferences.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "base/exceptions.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::contentsOf;
using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;

constexpr char kComponentId[] = "Rechner_0123456789abcdef0123456789abcdef";

std::set<std::string> namesIn(const stdfs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : stdfs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}
mode_t modeOf(const stdfs::path& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class ComponentPreferences : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/prefs.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    stdfs::create_directory(root / "home");
    home = std::make_unique<ScopedEnvironment>("HOME", (root / "home").c_str());
    configHome = std::make_unique<ScopedEnvironment>("XDG_CONFIG_HOME", nullptr);
    preferencesRoot = root / "home/.config/sorvel/kvn_v81";
  }
  void TearDown() override {
    configHome.reset();
    home.reset();
    stdfs::remove_all(root);
  }

  // An unpacked component whose ".sorvel" holds a file, a nested file and marker.
  stdfs::path unpacked(const std::string& name, const std::string& marker = "defaults") {
    const stdfs::path folder = root / name;
    writeFile(folder / ".sorvel/settings.txt", "colour=blue\n");
    writeFile(folder / ".sorvel/figures/layout.txt", "grid\n");
    writeFile(folder / ".sorvel" / marker, marker);
    return folder;
  }

  stdfs::path root;
  stdfs::path preferencesRoot;
  std::unique_ptr<ScopedEnvironment> home;
  std::unique_ptr<ScopedEnvironment> configHome;
};

TEST_F(ComponentPreferences, FirstInitCopiesTheDefaultsIntoPrivateFoldersAndLaterOnesKeepThem) {
  const mode_t previousMask = ::umask(022);
  const stdfs::path component = unpacked("Rechner_kvn");
  const stdfs::path target = preferencesRoot / kComponentId;

  EXPECT_EQ(componentPrefDir(kComponentId), dsPathString(target.string()));
  EXPECT_TRUE(initComponentPreferences(kComponentId, "Rechner.ctf", component.string(), "Rechner"));
  ::umask(previousMask);
  EXPECT_EQ(contentsOf(target / "settings.txt"), "colour=blue\n");
  EXPECT_EQ(contentsOf(target / "figures/layout.txt"), "grid\n");
  EXPECT_EQ(contentsOf(target / "defaults"), "defaults");
  for (const stdfs::path& made :
       {root / "home/.config", root / "home/.config/sorvel", preferencesRoot, target}) {
    EXPECT_EQ(modeOf(made), 0700u) << made;
  }
  // The folder of all components holds theirs and the lock, no leftover of the copy.
  for (const std::string& name : namesIn(preferencesRoot)) {
    EXPECT_TRUE(name == kComponentId || name.rfind(".dirlock", 0) == 0) << name;
  }

  // The user changed a setting; the next version of the component ships another default.
  writeFile(target / "settings.txt", "colour=red\n");
  writeFile(component / ".sorvel/new.txt", "new");
  EXPECT_TRUE(initComponentPreferences(kComponentId, "Rechner.ctf", component.string(), "Rechner"));
  EXPECT_EQ(contentsOf(target / "settings.txt"), "colour=red\n");
  EXPECT_FALSE(stdfs::exists(target / "new.txt"));
}

TEST_F(ComponentPreferences, AComponentWithoutShippedDefaultsCannotBeInitialised) {
  const stdfs::path component = root / "Bare_kvn";
  stdfs::create_directories(component);
  const auto expectMissing = [&] {
    try {
      initComponentPreferences(kComponentId, "Bare.ctf", component.string(), "Bare");
      ADD_FAILURE() << "no error for " << component;
    } catch (const rtkUserException& error) {
      EXPECT_EQ(error.getErrorId(), "RTK:Preferences");
      EXPECT_EQ(error.getMessage().id(), "RTKKVN_PREF_DIR_NOT_EXIST");
      EXPECT_EQ(error.getMessage().arguments(),
                std::vector<std::string>{(component / ".sorvel").string()});
    }
  };
  expectMissing();
  writeFile(component / ".sorvel", "a file, not a folder");
  expectMissing();
  EXPECT_FALSE(stdfs::exists(preferencesRoot / kComponentId));

  // An identifier that is no single folder name gets no folder anywhere.
  const stdfs::path withDefaults = unpacked("Rechner_kvn");
  EXPECT_FALSE(initComponentPreferences("../escape", "R.ctf", withDefaults.string(), "R"));
  EXPECT_FALSE(stdfs::exists(preferencesRoot.parent_path() / "escape"));
}

// Two processes unpack the same component at once, each with defaults of its own: exactly one
// set arrives, whole, and nobody looking at the folder meanwhile sees it half filled.
TEST_F(ComponentPreferences, ProcessesInitialisingAtOnceCopyOnce) {
  const std::string large(8 << 20, 'L');
  const stdfs::path first = unpacked("first/Rechner_kvn", "from_first");
  const stdfs::path second = unpacked("second/Rechner_kvn", "from_second");
  writeFile(first / ".sorvel/large.bin", large);
  writeFile(second / ".sorvel/large.bin", large);
  const stdfs::path target = preferencesRoot / kComponentId;

  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  pid_t children[2];
  const stdfs::path sources[2] = {first, second};
  for (int i = 0; i < 2; ++i) {
    children[i] = ::fork();
    ASSERT_GE(children[i], 0);
    if (children[i] == 0) {
      ::close(start[1]);
      char go;
      while (::read(start[0], &go, 1) < 0 && errno == EINTR) {
      }
      int status = 2;
      try {
        status =
            initComponentPreferences(kComponentId, "Rechner.ctf", sources[i].string(), "Rechner")
                ? 0
                : 1;
      } catch (...) {
      }
      ::_exit(status);
    }
  }
  ::close(start[0]);
  ::close(start[1]);  // both children start now

  int partialSightings = 0;
  int exitCodes[2] = {-1, -1};
  int running = 2;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (running > 0 && std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    if (stdfs::exists(target, error)) {
      const auto size = stdfs::file_size(target / "large.bin", error);
      if (error || size != large.size()) ++partialSightings;
    }
    for (int i = 0; i < 2; ++i) {
      int status = 0;
      if (exitCodes[i] == -1 && ::waitpid(children[i], &status, WNOHANG) == children[i]) {
        exitCodes[i] = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        --running;
      }
    }
  }
  ASSERT_EQ(running, 0) << "the children did not finish";
  EXPECT_EQ(exitCodes[0], 0);
  EXPECT_EQ(exitCodes[1], 0);
  EXPECT_EQ(partialSightings, 0);

  const bool fromFirst = stdfs::exists(target / "from_first");
  EXPECT_NE(fromFirst, stdfs::exists(target / "from_second")) << "both or no defaults arrived";
  EXPECT_EQ(namesIn(target), (std::set<std::string>{"settings.txt", "figures", "large.bin",
                                                    fromFirst ? "from_first" : "from_second"}));
  EXPECT_EQ(contentsOf(target / "large.bin"), large);
  EXPECT_EQ(contentsOf(target / "figures/layout.txt"), "grid\n");
}

class StalePreferences : public ComponentPreferences {
 protected:
  void SetUp() override {
    ComponentPreferences::SetUp();
    folder = root / "unpacked/Rechner_kvn";
    stdfs::create_directories(folder);
    stdfs::create_directories(preferencesRoot / kComponentId);
    stdfs::create_directories(preferencesRoot / kOtherComponent);
  }
  // A stale copy named name, in the unpacked folder and in the preferences root.
  void plant(const std::string& name) {
    stdfs::create_directories(folder / name / "data");
    stdfs::create_directories(preferencesRoot / name);
  }

  static constexpr char kOtherComponent[] = "Other_ffffffffffffffffffffffffffffffff";
  stdfs::path folder;
};

TEST_F(StalePreferences, OnlyNamesWithExactlyThirtyTwoCharactersAfterTheUnderscoreAreStale) {
  const std::string shortName = "Rechner_" + std::string(31, 'a');
  const std::string longName = "Rechner_" + std::string(33, 'a');
  const std::string otherCase = "rechner_" + std::string(32, 'a');
  for (const std::string& name : {shortName, longName, otherCase}) plant(name);

  removeStalePreferences(folder.string(), "Rechner", kComponentId);
  EXPECT_FALSE(stdfs::exists(preferencesRoot / kComponentId));
  for (const std::string& name : {shortName, longName, otherCase}) {
    EXPECT_TRUE(stdfs::exists(folder / name)) << name;
    EXPECT_TRUE(stdfs::exists(preferencesRoot / name)) << name;
  }

  const std::string stale = "Rechner_" + std::string(32, 'b');
  plant(stale);
  stdfs::create_directories(preferencesRoot / kComponentId);
  removeStalePreferences(folder.string(), "Rechner", kComponentId);
  EXPECT_FALSE(stdfs::exists(folder / stale));
  EXPECT_FALSE(stdfs::exists(preferencesRoot / stale));
  EXPECT_FALSE(stdfs::exists(preferencesRoot / kComponentId));
  EXPECT_TRUE(stdfs::exists(preferencesRoot / kOtherComponent));
  for (const std::string& name : {shortName, longName, otherCase}) {
    EXPECT_TRUE(stdfs::exists(folder / name)) << name;
  }

  // Nothing to remove and a folder that is not there: no error reaches the caller.
  removeStalePreferences((root / "missing").string(), "Rechner", kComponentId);
  // An identifier that names no single folder would be the root of every component's folder.
  removeStalePreferences(folder.string(), "Rechner", "");
  removeStalePreferences(folder.string(), "Rechner", "..");
  EXPECT_TRUE(stdfs::exists(preferencesRoot / kOtherComponent));
}

TEST_F(StalePreferences, FoldersReachedThroughDotOrDotDotKeepTheirEntries) {
  const std::string stale = "Rechner_" + std::string(32, 'c');
  const stdfs::path previous = stdfs::current_path();
  stdfs::current_path(folder);
  for (const std::string& spelling :
       {std::string("."), std::string("./"), (folder / "../Rechner_kvn").string(),
        (folder / "./").string() + "."}) {
    plant(stale);
    removeStalePreferences(spelling, "Rechner", kComponentId);
    EXPECT_TRUE(stdfs::exists(folder / stale / "data")) << spelling;
    // The stale copy's preferences are not inside that folder: they go all the same.
    EXPECT_FALSE(stdfs::exists(preferencesRoot / stale)) << spelling;
  }
  // ".." seen from inside the unpacked folder: its parent holds a stale copy.
  stdfs::create_directories(folder.parent_path() / stale / "data");
  stdfs::create_directories(preferencesRoot / stale);
  removeStalePreferences("..", "Rechner", kComponentId);
  stdfs::current_path(previous);
  EXPECT_TRUE(stdfs::exists(folder.parent_path() / stale / "data"));
  EXPECT_FALSE(stdfs::exists(preferencesRoot / stale));
}

// The root folder is reached in a child process that takes the test folder as its root, so
// nothing outside the test folder is ever at risk.
TEST_F(StalePreferences, TheRootFolderKeepsItsEntries) {
  const std::string stale = "Rechner_" + std::string(32, 'd');
  const stdfs::path jail = root / "jail";
  stdfs::create_directories(jail / stale / "data");
  stdfs::create_directories(jail / "home/.config/sorvel/kvn_v81" / stale);
  stdfs::create_directories(jail / "home/.config/sorvel/kvn_v81" / kComponentId);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chroot(jail.c_str()) != 0 || ::chdir("/") != 0) ::_exit(3);
    ::setenv("HOME", "/home", 1);
    int status = 2;
    try {
      removeStalePreferences("/", "Rechner", kComponentId);
      const bool kept = stdfs::exists("/" + stale + "/data");
      const bool preferencesGone =
          !stdfs::exists("/home/.config/sorvel/kvn_v81/" + stale) &&
          !stdfs::exists(std::string("/home/.config/sorvel/kvn_v81/") + kComponentId);
      status = kept && preferencesGone ? 0 : 1;
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "no permission to change the root folder";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(stdfs::exists(jail / stale / "data"));
}

}  // namespace
