// libqregex.so, the regular expression engine that regexp and regexprep open when the first
// pattern is compiled: where it is looked for, and what is reported when it cannot be used. The
// built-ins themselves are tested in text_test.cpp (and the Q conformance cases).

#include "engine/ops/regex_library.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace q::ops {
namespace {

// This program holds the operations itself; the build links the library beside it.
TEST(OpsRegexLoading, FoundBesideTheProgram) {
  const std::string path = detail::regexLibraryPath();
  EXPECT_THAT(path, ::testing::StartsWith("/"));
  EXPECT_THAT(path, ::testing::EndsWith("/libqregex.so"));
  EXPECT_EQ(detail::probeRegexLibrary(path.c_str()), "");
}

// One that cannot be opened, or lacks a function, is reported by name (the built-ins then raise
// "Q:regexUnavailable").
TEST(OpsRegexLoading, NamesWhatIsMissing) {
  EXPECT_THAT(detail::probeRegexLibrary("librtkkvn-no-such-regex.so"),
              ::testing::StartsWith("cannot load librtkkvn-no-such-regex.so: "));
  EXPECT_EQ(detail::probeRegexLibrary("libc.so.6"),
            "libc.so.6 has no function qregexInterfaceVersion");
}

}  // namespace
}  // namespace q::ops
