// What component set-up does with a component's settings before an instance exists: warning
// state strings, PATH entries and the search path built from path entries.

#include "rtkkvn/instances/component_setup.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "util/test_environment.hpp"
#include "util/test_files.hpp"
#include "util/warnings.hpp"

namespace {

namespace stdfs = std::filesystem;
using rtkutil::testing::ScopedEnvironment;
using rtkutil::testing::writeFile;

int warningState(const char* identifier) {
  return ut_get_warning_status_id(utGetWarningContext(), identifier);
}

std::string messageIdOf(const std::vector<std::string>& states) {
  try {
    applyWarningStates(states);
  } catch (const rtkUserException& error) {
    EXPECT_EQ(error.getErrorId(), kComponentSetupErrorId);
    return error.getMessage().id();
  }
  return "";
}

TEST(ComponentSetup, WarningStatesApplyInOrderAndRefuseMalformedStrings) {
  ut_set_warning_status_id(utGetWarningContext(), "setup:a", 1);
  ut_set_warning_status_id(utGetWarningContext(), "setup:b:c", 0);
  // White space after the first colon is skipped; later colons belong to the identifier.
  applyWarningStates({"off:setup:a", "on:  setup:b:c"});
  EXPECT_EQ(warningState("setup:a"), 0);
  EXPECT_EQ(warningState("setup:b:c"), 1);

  // The strings before a bad one stay applied.
  EXPECT_EQ(messageIdOf({"on:setup:a", "maybe:setup:b:c"}), "RTKKVN_INVALID_WARNING_STATE");
  EXPECT_EQ(warningState("setup:a"), 1);
  EXPECT_EQ(warningState("setup:b:c"), 1);
  EXPECT_EQ(messageIdOf({"off setup.a"}), "RTKKVN_MALFORMED_WARNING_STATUS_STRING");
  EXPECT_EQ(warningState("setup:a"), 1);
}

TEST(ComponentSetup, PathEntriesAreAddedOnce) {
  const ScopedEnvironment path("PATH", "/usr/bin:/bin");
  ASSERT_TRUE(addPathEntries(dsPathString("/opt/c_kvn"), {"bin", "", "tools/x"}));
  EXPECT_STREQ(std::getenv("PATH"), "/usr/bin:/bin:/opt/c_kvn/bin:/opt/c_kvn/tools/x");
  ASSERT_TRUE(addPathEntries(dsPathString("/opt/c_kvn"), {"tools/x", "bin"}));
  EXPECT_STREQ(std::getenv("PATH"), "/usr/bin:/bin:/opt/c_kvn/bin:/opt/c_kvn/tools/x");
}

TEST(ComponentSetup, SearchPathKeepsExistingFoldersAndJarsOnlyWhereAllowed) {
  const stdfs::path folder = stdfs::temp_directory_path() / ("setup-" + std::to_string(::getpid()));
  writeFile(folder / "lib" / "a.q", "");
  writeFile(folder / "lib" / "tools.jar", "");
  writeFile(folder / "notes.txt", "");
  const dsPathString root(folder.string());
  const std::vector<std::wstring> entries = {L"lib/.", L"lib/tools.jar", L"notes.txt", L"missing",
                                             L"/"};

  ut_set_warning_status_id(utGetWarningContext(), kInvalidPathWarning, 1);
  ::testing::internal::CaptureStderr();
  std::vector<std::wstring> searchPath;
  EXPECT_TRUE(rtkConstructKvnPath(root, entries, searchPath, false));
  const std::string warnings = ::testing::internal::GetCapturedStderr();
  const std::wstring lib = (folder / "lib").wstring();
  EXPECT_EQ(searchPath, (std::vector<std::wstring>{lib, L"/"}));
  // Files that are not folders are reported when the warning is on; missing entries never are.
  EXPECT_THAT(warnings, ::testing::HasSubstr("tools.jar"));
  EXPECT_THAT(warnings, ::testing::HasSubstr("notes.txt"));
  EXPECT_EQ(warnings.find("missing"), std::string::npos);

  std::vector<std::wstring> classPath;
  ut_set_warning_status_id(utGetWarningContext(), kInvalidPathWarning, 0);
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(rtkConstructKvnPath(root, entries, classPath, true));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(classPath,
            (std::vector<std::wstring>{lib, (folder / "lib" / "tools.jar").wstring(), L"/"}));
  stdfs::remove_all(folder);
}

}  // namespace
