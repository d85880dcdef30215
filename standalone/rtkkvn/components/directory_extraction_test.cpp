// Unpacking into a folder of the host's choosing and the factories built on it: fresh, already
// unpacked and stale targets, the folders a component may not go into, the lock on the target's
// parent (switched off, contended, shared by two processes), and the errors of each step.

#include "rtkkvn/components/directory_extraction.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "base/exceptions.hpp"
#include "ctf/ctf_archive.hpp"
#include "fs/directory_lock.hpp"
#include "rtkkvn/components/component_preferences.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::ScopedEnvironment;

constexpr char kComponentName[] = "Kontenrechner";  // 13 characters: stale clean-up runs twice
constexpr char kComponentId[] = "Kontenrechner_00112233445566778899aabbccddeeff";
constexpr char kSource[] = "function y = compute(x)\ny = x;\n";

using rtkutil::testing::contentsOf;
using rtkutil::testing::writeFile;

// Runs body, which must throw rtkUserException; returns its identifier and message text.
template <typename Body>
std::string userErrorOf(Body&& body) {
  try {
    body();
  } catch (const rtkUserException& error) {
    return error.getErrorId() + ": " + error.getMessageText();
  }
  return "no error";
}

// The shipped preferences file as the component's preferences folder holds it.
std::string preferencesFile() { return componentPrefDir(kComponentId).str() + "/defaults.q"; }

class DirectoryExtraction : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = stdfs::temp_directory_path() /
            ("directory_extraction_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    stdfs::remove_all(root_);
    writeFile(root_ / "source" / "compute.q", kSource);
    writeFile(root_ / "prefs" / "defaults.q", "% shipped\n");
    writeArchive(root_ / "prefs");
    config_ = std::make_unique<ScopedEnvironment>("XDG_CONFIG_HOME", (root_ / "config").c_str());
    inhibit_ = std::make_unique<ScopedEnvironment>("KVN_INHIBIT_CTF_LOCK", nullptr);
    target_ = root_ / "apps" / "Kontenrechner_kvn";
  }
  void TearDown() override { stdfs::remove_all(root_); }

  void writeArchive(const stdfs::path& preferences) {
    Ostrand::ctfpack::CTFSettings settings;
    settings.componentName = L"Kontenrechner";
    settings.componentId = L"Kontenrechner_00112233445566778899aabbccddeeff";
    Ostrand::ctfpack::writeArchive(archive().string(), settings, (root_ / "source").string(),
                                   preferences.string());
  }
  stdfs::path archive() const { return root_ / "Kontenrechner.ctf"; }
  rtkkvn::CtfExtractor extractor() const { return rtkMakeCtfFileExtractor(archive().c_str()); }
  std::uint64_t extract(const rtkkvn::CtfExtractor& extractor, const stdfs::path& target) {
    return extractExclusively(extractor, target.string(), kComponentId, kComponentName);
  }

  stdfs::path root_;
  stdfs::path target_;
  std::unique_ptr<ScopedEnvironment> config_;
  std::unique_ptr<ScopedEnvironment> inhibit_;
};

TEST_F(DirectoryExtraction, FactoryUnpacksOnceSeedsPreferencesAndDescribesTheComponent) {
  const rtkExtractedComponentFactory factory =
      rtkMakeDirectoryExtractedComponentFactory(extractor(), target_.string());
  EXPECT_FALSE(stdfs::exists(target_)) << "nothing happens before the factory is called";

  const boost::shared_ptr<rtkExtractedComponent> component = factory();
  EXPECT_EQ(component->getExtractDir().str(), target_.string());
  EXPECT_EQ(component->getComponentUUID(), kComponentId);
  EXPECT_EQ(component->getComponentData()->getUUID(), kComponentId);
  EXPECT_EQ(component->getPrefDir().str(), componentPrefDir(kComponentId).str());
  EXPECT_FALSE(component->IsUseComponentCache());
  EXPECT_EQ(contentsOf(target_ / kComponentId / "compute.q"), kSource);
  EXPECT_EQ(contentsOf(preferencesFile()), "% shipped\n");
  EXPECT_TRUE(stdfs::exists(target_.parent_path() / ".dirlock")) << "the parent was locked";

  // Unpacked already: nothing is unpacked or removed again, and the user's preferences stay.
  writeFile(target_ / kComponentId / "added.txt", "mine");
  writeFile(preferencesFile(), "changed by the user\n");
  EXPECT_EQ(extract(extractor(), target_), 0u);
  factory();
  EXPECT_EQ(contentsOf(target_ / kComponentId / "added.txt"), "mine");
  EXPECT_EQ(contentsOf(preferencesFile()), "changed by the user\n");

  // A settings manifest that is gone, damaged or names another component is a damaged unpack:
  // unpacked again, the user's preferences kept.
  for (const char* manifest : {"", "{ not json", "{\"componentId\": \"Other_1\"}"}) {
    SCOPED_TRACE(manifest);
    if (*manifest) {
      writeFile(target_ / "ctfsettings.json", manifest);
    } else {
      stdfs::remove(target_ / "ctfsettings.json");
    }
    EXPECT_GT(extract(extractor(), target_), 0u);
    EXPECT_EQ(factory()->getComponentUUID(), kComponentId);
    EXPECT_FALSE(stdfs::exists(target_ / kComponentId / "added.txt"));
    EXPECT_EQ(contentsOf(preferencesFile()), "changed by the user\n");
    writeFile(target_ / kComponentId / "added.txt", "mine");
  }

  // The factory for the unpacked folder describes the same component.
  const std::string targetText = target_.string();
  const boost::shared_ptr<rtkExtractedComponent> again =
      rtkMakeExtractedComponentFactoryFromExtractedDirectory(targetText.c_str())();
  EXPECT_EQ(again->getComponentUUID(), kComponentId);
  EXPECT_EQ(again->getPrefDir().str(), component->getPrefDir().str());
}

TEST_F(DirectoryExtraction, StaleTargetIsRemovedWithItsPreferencesAndUnpackedAfresh) {
  const std::string oldId = "Kontenrechner_ffeeddccbbaa99887766554433221100";
  writeFile(target_ / oldId / "old.q", "old");
  writeFile(target_ / "Kontenrechne_ffeeddccbbaa99887766554433221100x" / "cut.q", "cut name");
  writeFile(componentPrefDir(oldId).str() + "/old.prefs", "old");
  writeFile(componentPrefDir(kComponentId).str() + "/mine.prefs", "stale own");

  EXPECT_GT(extract(extractor(), target_), 0u);
  EXPECT_FALSE(stdfs::exists(target_ / oldId));
  EXPECT_FALSE(stdfs::exists(componentPrefDir(oldId).str()));
  EXPECT_FALSE(stdfs::exists(componentPrefDir(kComponentId).str()));
  EXPECT_TRUE(stdfs::exists(target_ / kComponentId / "compute.q"));
}

TEST_F(DirectoryExtraction, AnUnpackThatStopsHalfwayLeavesNoTargetThatLooksComplete) {
  // Writes part of the component, then fails, as a full disk would.
  const rtkkvn::CtfExtractor halfway(kComponentId, [](const char* dir) -> std::uint64_t {
    writeFile(stdfs::path(dir) / kComponentId / "compute.q", "function y = comp");
    throw rtkInternalException("disk full", "test", __LINE__);
  });
  const std::string error = userErrorOf([&] { extract(halfway, target_); });
  EXPECT_EQ(error.rfind("RTK:ComponentDirectoryExtraction", 0), 0u) << error;
  EXPECT_NE(error.find("disk full"), std::string::npos) << error;
  EXPECT_FALSE(stdfs::exists(target_)) << "a half unpack must not pass for a finished one";
  // The next attempt clears what was left and unpacks the whole component.
  EXPECT_GT(extract(extractor(), target_), 0u);
  EXPECT_EQ(contentsOf(target_ / kComponentId / "compute.q"), kSource);
  for (const auto& entry : stdfs::directory_iterator(target_.parent_path())) {
    EXPECT_TRUE(entry.path() == target_ || entry.path().filename() == ".dirlock") << entry.path();
  }
}

TEST_F(DirectoryExtraction, ForbiddenTargetsFailBeforeAnythingIsTouched) {
  const auto attempt = [&](const stdfs::path& target) {
    return userErrorOf(
        [&] { rtkMakeDirectoryExtractedComponentFactory(extractor(), target.string())(); });
  };
  const std::string privateParent = attempt(root_ / "lib" / "private" / "Kontenrechner_kvn");
  EXPECT_EQ(privateParent.rfind("RTK:ComponentDirectoryExtraction", 0), 0u) << privateParent;
  EXPECT_FALSE(stdfs::exists(root_ / "lib")) << "nothing was created, not even a lock";
  const std::string methodFolder = attempt(root_ / "@Account" / "x" / "Kontenrechner_kvn");
  EXPECT_EQ(methodFolder.rfind("RTK:ComponentDirectoryExtraction", 0), 0u) << methodFolder;
  EXPECT_FALSE(stdfs::exists(root_ / "@Account"));
  EXPECT_NE(privateParent, methodFolder) << "two different messages";

  // A target that is itself named "private" is fine.
  const stdfs::path named = root_ / "apps" / "private";
  EXPECT_EQ(attempt(named), "no error");
  EXPECT_TRUE(stdfs::exists(named / kComponentId));

  // A target, or an unpacked component in it, that is a link, that everyone may write to, or
  // that another user owns is not used (and not removed): its code could be anybody's.
  stdfs::create_directories(root_ / "elsewhere" / kComponentId);
  stdfs::create_directory_symlink(root_ / "elsewhere", root_ / "linked");
  EXPECT_NE(attempt(root_ / "linked").find("linked is not used: it is a symbolic link"),
            std::string::npos);
  EXPECT_TRUE(stdfs::exists(root_ / "elsewhere" / kComponentId));
  stdfs::permissions(named / kComponentId, stdfs::perms::all);
  EXPECT_NE(attempt(named).find(std::string(kComponentId) +
                                " is not used: others may write to it (mode 0777)"),
            std::string::npos);
  EXPECT_TRUE(stdfs::exists(named / kComponentId));
  if (::geteuid() == 0) {
    const stdfs::path foreign = root_ / "foreign";
    stdfs::create_directories(foreign / kComponentId);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_NE(attempt(foreign).find("(uid 65534), not to you"), std::string::npos);
    EXPECT_TRUE(stdfs::exists(foreign / kComponentId)) << "refused, not removed";
  }
}

TEST_F(DirectoryExtraction, ErrorsOfOtherStepsKeepTheirOwnIdentifiers) {
  // A folder that was never unpacked: reported when the factory runs, not when it is made.
  const std::string missing = (root_ / "nowhere").string();
  const rtkExtractedComponentFactory factory =
      rtkMakeExtractedComponentFactoryFromExtractedDirectory(missing.c_str());
  EXPECT_EQ(userErrorOf(factory).rfind("RTK:ComponentCache", 0), 0u);

  // The archive went away: the extractor's own error passes unchanged.
  const rtkkvn::CtfExtractor gone = extractor();
  stdfs::remove(archive());
  EXPECT_EQ(userErrorOf([&] { extract(gone, target_); }).rfind("RTK:CTFExtractor", 0), 0u);

  // An archive without shipped preferences cannot seed them.
  writeArchive("");
  const stdfs::path unpacked = root_ / "apps" / "bare";
  extract(extractor(), unpacked);
  stdfs::remove_all(unpacked / ".sorvel");
  EXPECT_EQ(userErrorOf([&] {
              extractToDirectory(extractor(), unpacked.string(), kComponentId, kComponentName);
            }).rfind("RTK:Preferences", 0),
            0u);
}

TEST_F(DirectoryExtraction, LockIsSwitchedOffOrWaitedForAndItsLossIsReported) {
  const stdfs::path apps = root_ / "apps";
  {
    ScopedEnvironment off("KVN_INHIBIT_CTF_LOCK", "");
    extract(extractor(), apps / "one");
    EXPECT_FALSE(stdfs::exists(apps / ".dirlock")) << "no lock object with the lock off";
  }

  // Another process holds the lock: the wait times out, both warnings are printed, and the
  // component is unpacked all the same.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    dsDirectoryExclusiveLock lock(apps.string(), "");
    lock.acquire(false);
    char byte = 1;
    (void)::write(ready[1], &byte, 1);
    ::pause();
    std::_Exit(0);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  std::ostringstream captured;
  std::streambuf* const previous = std::cerr.rdbuf(captured.rdbuf());
  const std::uint64_t bytes =
      extractExclusively(extractor(), (apps / "two").string(), kComponentId, kComponentName,
                         boost::posix_time::milliseconds(200));
  std::cerr.rdbuf(previous);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_GT(bytes, 0u);
  std::istringstream lines(captured.str());
  std::string first, second, extra;
  EXPECT_TRUE(std::getline(lines, first) && std::getline(lines, second)) << captured.str();
  EXPECT_NE(first, second);
  EXPECT_FALSE(std::getline(lines, extra)) << "two warnings: " << captured.str();
}

TEST_F(DirectoryExtraction, TwoProcessesUnpackingTogetherUnpackOnce) {
  // Several rounds, since two processes started together need not overlap every time.
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const stdfs::path target = root_ / "apps" / ("round" + std::to_string(round));
    int results[2];
    ASSERT_EQ(::pipe(results), 0);
    pid_t children[2];
    for (pid_t& child : children) {
      child = ::fork();
      if (child == 0) {
        std::uint64_t bytes = ~0ull;
        try {
          bytes = extract(extractor(), target);
        } catch (...) {
        }
        (void)::write(results[1], &bytes, sizeof bytes);
        std::_Exit(0);
      }
    }
    std::uint64_t answers[2] = {};
    for (std::uint64_t& answer : answers) ASSERT_EQ(::read(results[0], &answer, sizeof answer), 8);
    for (pid_t child : children) ::waitpid(child, nullptr, 0);
    ::close(results[0]);
    ::close(results[1]);
    // One unpacked (a byte count), the other found it unpacked (0); neither failed.
    EXPECT_EQ(std::min(answers[0], answers[1]), 0u);
    EXPECT_GT(std::max(answers[0], answers[1]), 0u);
    EXPECT_NE(std::max(answers[0], answers[1]), ~0ull);
    EXPECT_TRUE(stdfs::exists(target / kComponentId / "compute.q"));
  }
}

}  // namespace
