#include "base/path_macros.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(PathMacros, ExpandsWholeNamesOnly) {
  rtkPathMacros macros;
  macros.add("$ROOT", "/opt/rt");
  macros.add("$ROOTDIR", "/elsewhere");
  EXPECT_EQ(macros.expand_path_macros("$ROOT/toolbox:$ROOTDIR/x"), "/opt/rt/toolbox:/elsewhere/x");
  EXPECT_EQ(macros.expand_path_macros("$ROOTS/a"), "$ROOTS/a");  // unknown name stays
  EXPECT_EQ(macros.expand_path_macros("/cost$/$"), "/cost$/$");
  EXPECT_EQ(macros.expand_path_macros(""), "");
  EXPECT_EQ(macros.get("$ROOT"), "/opt/rt");
  EXPECT_EQ(macros.get("$MISSING"), "");
  // A value is not expanded again.
  macros.add("$LOOP", "$ROOT");
  EXPECT_EQ(macros.expand_path_macros("$LOOP/a"), "$ROOT/a");
}

TEST(PathMacros, RejectsMalformedNames) {
  rtkPathMacros macros;
  EXPECT_THROW(macros.add("ROOT", "/x"), std::invalid_argument);
  EXPECT_THROW(macros.add("$", "/x"), std::invalid_argument);
  EXPECT_THROW(macros.add("$A-B", "/x"), std::invalid_argument);
  EXPECT_FALSE(macros.contains("ROOT"));
}

TEST(PathMacros, CanonicalValuesAreAbsoluteAndNormal) {
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("macros_" + std::to_string(getpid()));
  fs::create_directories(base / "real" / "sub");
  fs::create_symlink(base / "real", base / "link");
  rtkPathMacros macros;
  macros.add_canonical("$A", (base / "link" / "sub" / ".." / "sub/").string());
  EXPECT_EQ(macros.get("$A"), fs::canonical(base / "real" / "sub").string());
  macros.add_canonical("$B", (base / "real" / "not-yet" / "." / "x").string());
  EXPECT_EQ(macros.get("$B"), (fs::canonical(base / "real") / "not-yet" / "x").string());
  fs::remove_all(base);
}

TEST(PathMacros, RuntimeTableKnowsTheToolboxPrefix) {
  const std::string prefix = rtkRuntimePathMacros::getInstance().get(kToolboxPrefixMacro);
  EXPECT_FALSE(prefix.empty());
  EXPECT_EQ(std::filesystem::path(prefix).filename(), "toolbox");
  EXPECT_EQ(rtkRuntimePathMacros::getInstance().expand_path_macros("$TOOLBOXPREFIX/stats"),
            prefix + "/stats");
}

}  // namespace
