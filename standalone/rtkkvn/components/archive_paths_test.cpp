// Archive names and the lookup of a component's root folder, against real folders, a PATH set
// for the test and libraries the test loads itself.

#include "rtkkvn/components/archive_paths.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "util/test_environment.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::ScopedEnvironment;

struct RaisedError {
  std::string errorId;
  std::string messageId;
  std::vector<std::string> arguments;
};

template <typename Call>
std::optional<RaisedError> errorOf(Call call) {
  try {
    call();
  } catch (const rtkUserException& error) {
    return RaisedError{error.getErrorId(), error.getMessage().id(), error.getMessage().arguments()};
  }
  return std::nullopt;
}

TEST(ArchivePaths, NamesAppendCtfUnlessTheLastNameEndsInExactlyCtf) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Rechner", "Rechner.ctf"},
      {"/opt/Rechner.ctf", "/opt/Rechner.ctf"},
      {"/opt/app-1.2/Rechner", "/opt/app-1.2/Rechner.ctf"},  // the only dot is in a folder
      {"v1.ctf/Rechner", "v1.ctf/Rechner.ctf"},
      {"Rechner.CTF", "Rechner.CTF.ctf"},
      {"Rechner.ctfx", "Rechner.ctfx.ctf"},
      {"Rechner.ctf.bak", "Rechner.ctf.bak.ctf"},
      {"Rechner.", "Rechner..ctf"},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(ensureCtfExtension(dsPathString(path)), dsPathString(expected)) << path;
  }

  EXPECT_EQ(archivePath(dsPathString("/r/"), "Rechner"), dsPathString("/r/Rechner.ctf"));
  EXPECT_EQ(archivePath(dsPathString("/r"), "Rechner.ctf"), dsPathString("/r/Rechner.ctf"));
  EXPECT_EQ(extractionDirectory(dsPathString("/r/"), "Rechner", ""),
            dsPathString("/r/Rechner_kvn"));
  EXPECT_EQ(extractionDirectory(dsPathString("/r"), "Rechner", "v2"),
            dsPathString("/r/Rechner_kvn/v2"));
  EXPECT_TRUE(extractionDirectory(dsPathString(), "Rechner", "v2").empty());
}

// Each test works in a folder of its own, which is also its current folder.
class ComponentLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lookup.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    previousDirectory = stdfs::current_path();
    stdfs::create_directory(root / "work");
    stdfs::current_path(root / "work");
  }
  void TearDown() override {
    stdfs::current_path(previousDirectory);
    stdfs::remove_all(root);
  }

  stdfs::path folder(const std::string& name) {
    stdfs::create_directories(root / name);
    return root / name;
  }
  static void makeFile(const stdfs::path& path, mode_t mode = 0644) {
    std::ofstream(path) << "x";
    ::chmod(path.c_str(), mode);
  }
  static std::string search(const char* file, std::size_t size = kComponentSearchBufferSize) {
    std::vector<char> out(size == 0 ? 1 : size, '#');
    if (!searchPathVariable("RTKKVN_TEST_SEARCH", file, out.data(), size)) return "<none>";
    return out.data();
  }

  stdfs::path root;
  stdfs::path previousDirectory;
};

TEST_F(ComponentLookup, SearchLooksInTheCurrentFolderFirstThenInTrimmedEntries) {
  const stdfs::path first = folder("first");
  const stdfs::path second = folder("second");
  makeFile(second / "data.ctf");
  const std::string list = "  " + first.string() + "\t: " + second.string() + "/ ";
  ScopedEnvironment variable("RTKKVN_TEST_SEARCH", list.c_str());

  EXPECT_EQ(search("data.ctf"), second.string());  // white space and trailing "/" gone
  makeFile(first / "data.ctf");
  EXPECT_EQ(search("data.ctf"), first.string());
  makeFile("data.ctf");
  EXPECT_EQ(search("data.ctf"), ".");
  EXPECT_EQ(search("missing.ctf"), "<none>");

  // Too small for "." and the first folder: the folder that fits is the answer, never a cut one.
  stdfs::remove("data.ctf");
  EXPECT_EQ(search("data.ctf", first.string().size()), "<none>");
  EXPECT_EQ(search("data.ctf", first.string().size() + 1), first.string());

  // Empty entries add nothing to "."; the root keeps its only "/" ("etc" is there everywhere).
  ScopedEnvironment rootOnly("RTKKVN_TEST_SEARCH", " :: // ");
  EXPECT_EQ(search("etc"), "/");
  ScopedEnvironment unset("RTKKVN_TEST_SEARCH", nullptr);
  EXPECT_EQ(search("data.ctf"), "<none>");
}

TEST_F(ComponentLookup, ExecutablesAreRegularFilesWithAnExecuteBit) {
  const stdfs::path plain = folder("plain");
  const stdfs::path bin = folder("bin");
  makeFile(plain / "Rechner", 0644);
  makeFile(bin / "Rechner", 0755);
  stdfs::create_directory("Rechner");  // the component's sources, say: not the program
  const std::string path = plain.string() + ":" + bin.string();
  ScopedEnvironment pathVariable("PATH", path.c_str());

  EXPECT_EQ(findComponentDirectory("Rechner", rtkTargetExecutable), dsPathString(bin.string()));
  ::chmod((plain / "Rechner").c_str(), 0744);
  EXPECT_EQ(findComponentDirectory("Rechner", rtkTargetExecutable), dsPathString(plain.string()));
  stdfs::remove("Rechner");
  makeFile("Rechner", 0700);
  EXPECT_EQ(findComponentDirectory("Rechner", rtkTargetExecutable), dsPathString("."));
  EXPECT_TRUE(findComponentDirectory("Other", rtkTargetExecutable).empty());
}

TEST_F(ComponentLookup, LibrariesHostComponentsTheyInitializeElseTheArchiveOnPathDecides) {
  const dsPathString hostFolder(stdfs::canonical(RTKKVN_TEST_HOST_FOLDER).string());
  const stdfs::path archives = folder("archives");
  for (const char* name : {"Hostlib", "Plainhost", "Mute"}) {
    makeFile(archives / (std::string(name) + ".ctf"));
  }
  ScopedEnvironment pathVariable("PATH", archives.c_str());

  // Not loaded yet: only the archive on PATH can tell, as for a component that is only an
  // archive. An executable component needs the program, not the archive.
  EXPECT_EQ(findComponentDirectory("Hostlib", rtkTargetLibrary), dsPathString(archives.string()));
  EXPECT_EQ(findComponentDirectory("Hostlib", rtkTargetArchiveOnly),
            dsPathString(archives.string()));
  EXPECT_TRUE(findComponentDirectory("Hostlib", rtkTargetExecutable).empty());
  EXPECT_TRUE(findComponentDirectory("Other", rtkTargetArchiveOnly).empty());
  for (const char* file : {"libHostlib.so", "Plainhost.so", "libMute.so"}) {
    ASSERT_NE(::dlopen((hostFolder.str() + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL), nullptr)
        << ::dlerror();
  }
  // Loaded, the library's folder wins over the archive on PATH, in both forms of its name.
  EXPECT_EQ(findComponentDirectory("Hostlib", rtkTargetLibrary), hostFolder);
  EXPECT_EQ(findComponentDirectory("Plainhost", rtkTargetLibrary), hostFolder);
  // libMute.so defines no MuteInitialize, so it hosts nothing.
  EXPECT_EQ(findComponentDirectory("Mute", rtkTargetLibrary), dsPathString(archives.string()));

  // No archive beside the library: looking again finds the library's folder again.
  ScopedEnvironment noPath("PATH", "");
  EXPECT_EQ(componentRootDirectory("Hostlib", nullptr, rtkTargetLibrary), hostFolder);
  EXPECT_TRUE(findComponentDirectory("Mute", rtkTargetLibrary).empty());
}

TEST_F(ComponentLookup, TargetsWithoutAFolderRaiseUnlessTheNameIsTooLong) {
  struct Expected {
    int type;
    const char* messageId;
    std::vector<std::string> arguments;
  };
  const std::vector<Expected> cases = {
      {rtkTargetNativeModule, "RTKKVN_NO_NUB_TARGET", {"Rechner"}},
      {rtkTargetSfun, "RTKKVN_NO_SFUN_TARGET", {"Rechner"}},
      {5, "RTKKVN_UNKNOWN_TARGET", {"Rechner", "Rechner"}},
      {-1, "RTKKVN_UNKNOWN_TARGET", {"Rechner", "Rechner"}},
  };
  for (const Expected& expected : cases) {
    const auto error = errorOf([&] { findComponentDirectory("Rechner", expected.type); });
    ASSERT_TRUE(error) << expected.type;
    EXPECT_EQ(error->errorId, "RTK:CTFPathUtils");
    EXPECT_EQ(error->messageId, expected.messageId);
    EXPECT_EQ(error->arguments, expected.arguments);
  }

  // A name that cannot fit the search buffer with an extension finds nothing, whatever the type.
  const std::string longest(kComponentSearchBufferSize - 5, 'n');
  const std::string tooLong = longest + "n";
  EXPECT_TRUE(errorOf([&] { findComponentDirectory(longest.c_str(), rtkTargetNativeModule); }));
  EXPECT_FALSE(errorOf([&] {
    EXPECT_TRUE(findComponentDirectory(tooLong.c_str(), rtkTargetNativeModule).empty());
  }));
}

TEST_F(ComponentLookup, AnExplicitRootIsUsedWhileItHoldsTheArchive) {
  const stdfs::path explicitRoot = folder("explicit");
  const stdfs::path onPath = folder("on_path");
  makeFile(onPath / "Rechner.ctf");
  ScopedEnvironment pathVariable("PATH", onPath.c_str());
  const dsPathString expectedExplicit(explicitRoot.string());
  const dsPathString expectedOnPath(onPath.string());

  // Without the archive, the explicit root gives way to the folder on PATH.
  EXPECT_EQ(componentRootDirectory("Rechner", explicitRoot.c_str(), rtkTargetArchiveOnly),
            expectedOnPath);
  // The unknown type is only an error once a lookup is needed.
  const auto unknown = errorOf([&] { componentRootDirectory("Rechner", explicitRoot.c_str(), 5); });
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->messageId, "RTKKVN_UNKNOWN_TARGET");

  makeFile(explicitRoot / "Rechner.ctf");
  EXPECT_EQ(componentRootDirectory("Rechner", explicitRoot.c_str(), rtkTargetArchiveOnly),
            expectedExplicit);
  EXPECT_EQ(componentRootDirectory("Rechner", explicitRoot.c_str(), 5), expectedExplicit);
  EXPECT_EQ(componentRootDirectory("Rechner", "", rtkTargetArchiveOnly), expectedOnPath);
  EXPECT_EQ(componentRootDirectory("Rechner", nullptr, rtkTargetArchiveOnly), expectedOnPath);

  // Nothing to find: the explicit root stands; without one there is no folder at all.
  const std::string elsewhere = (root / "elsewhere").string();
  EXPECT_EQ(componentRootDirectory("Other", elsewhere.c_str(), rtkTargetArchiveOnly),
            dsPathString(elsewhere));
  const auto missing =
      errorOf([] { componentRootDirectory("Other", nullptr, rtkTargetExecutable); });
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->errorId, "RTK:CTFPathUtils");
  EXPECT_EQ(missing->messageId, "RTKKVN_CANNOT_FIND_COMPONENT_DIR");
  EXPECT_EQ(missing->arguments, (std::vector<std::string>{"Other", "Other"}));

  // No name, no folder: not even the type is looked at.
  EXPECT_TRUE(componentRootDirectory(nullptr, explicitRoot.c_str(), 5).empty());
  EXPECT_TRUE(componentRootDirectory("", nullptr, rtkTargetSfun).empty());
}

}  // namespace
