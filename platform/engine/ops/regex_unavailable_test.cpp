// A program that holds the operations in a folder without libqregex.so, and with no RUNPATH to
// one: regexp and regexprep raise "Q:regexUnavailable", naming the library, on every call; every
// other operation runs (docs/lazy-loading.md).

#include <gmock/gmock.h>

#include <filesystem>

#include "engine/ops/regex_library.hpp"
#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

// The message of the Q error the body raises, after its identifier.
template <typename Body>
std::string raised(Body&& body) {
  try {
    body();
  } catch (const zy::ScriptError& error) {
    return error.identifier() + ": " + error.what();
  }
  return "";
}

TEST(OpsRegexUnavailable, RegexBuiltinsRaiseTheRestRuns) {
  EXPECT_EQ(detail::regexLibraryPath(), "libqregex.so");
  const auto expected = ::testing::AllOf(
      ::testing::StartsWith("Q:regexUnavailable: Regular expressions need the regular expression "
                            "library, which is not available (cannot load libqregex.so: "
                            "libqregex.so: cannot open shared object file"),
      ::testing::EndsWith("; there is none in " +
                          std::filesystem::read_symlink("/proc/self/exe").parent_path().string() +
                          "/)."));
  EXPECT_THAT(raised([] { call("regexp", {T("a1").get(), T("\\d").get()}); }), expected);
  // Every call raises it, regexprep too.
  EXPECT_THAT(raised([] {
                call("regexprep", {T("a1").get(), T("\\d").get(), T("#").get()});
              }),
              expected);
  // Arguments are checked before a pattern is compiled.
  EXPECT_EQ(errorOf([] {
              call("regexp", {T("a").get(), T("a").get(), T("bogus").get()});
            }),
            "Q:invalidInput");
  EXPECT_EQ(textOf(call("strrep", {T("a1").get(), T("1").get(), T("#").get()}).get()), "a#");
  EXPECT_EQ(values(call("plus", {S(1).get(), S(2).get()}).get()), std::vector<double>{3});
}

}  // namespace
}  // namespace q::ops
