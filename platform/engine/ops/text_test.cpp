// Text built-ins. Their ordinary results (strcmp and friends, strcat's blanks, strsplit,
// strjoin, strtrim, strfind, strrep, upper and lower, regexp outputs and options, regexprep
// with tokens) are pinned by tests/q/cases (features_text.q, features_text3.q,
// features_regex.q, regex.q, builtins.q); these keep limits, non-ASCII text, shapes of empty
// results, rare argument forms and error paths.

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

std::vector<std::string> texts(const zyArray* cell) {
  std::vector<std::string> out;
  for (size_t i = 0; i < zyGetNumberOfElements(cell); ++i)
    out.push_back(textOf(zyGetCellConst(cell, i)));
  return out;
}

TEST(OpsText, ComparisonLimitsNonAsciiAndCells) {
  struct Case {
    const char* function;
    const char* a;
    const char* b;
    double n;
    bool expected;
  } cases[] = {
      {"strncmp", "ab", "abc", 5, false},
      {"strncmp", "ab", "ab", 5, true},
      {"strcmpi", "\xc3\x84", "\xc3\xa4", -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.function) + " " + c.a + " " + c.b);
    ArrayPtr a = T(c.a), b = T(c.b), n = S(c.n);
    std::vector<const zyArray*> args = {a.get(), b.get()};
    if (c.n >= 0) args.push_back(n.get());
    EXPECT_EQ(values(callVector(c.function, args)[0].get())[0], c.expected);
  }
  ArrayPtr names = cellOf(T("ab"), T("cd"), T("ab"));
  EXPECT_EQ(values(call("strcmp", {names.get(), cellOf(T("ab"), T("x"), T("ab")).get()}).get()),
            (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(errorOf([&] {
              call("strcmp", {names.get(), cellOf(T("a"), T("b")).get()});
            }),
            "Q:sizeMismatch");
}

TEST(OpsText, SplittingJoiningAndTrimmingRareForms) {
  // The longer of two delimiters that match at one place wins.
  EXPECT_EQ(texts(call("strsplit", {T("1-2--3").get(), cellOf(T("--"), T("-")).get()}).get()),
            (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(texts(call("strsplit", {T(",a").get(), T(",").get()}).get()),
            (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(texts(call("strsplit", {T("a\tb").get(), T("\\t").get()}).get()),
            (std::vector<std::string>{"a", "b"}));
  ArrayPtr words = cellOf(T("x"), T("y"), T("z"));
  EXPECT_EQ(textOf(call("strjoin", {words.get(), cellOf(T("+"), T("=")).get()}).get()), "x+y=z");
  EXPECT_EQ(dims(call("strtrim", {T("   ").get()}).get()), (Dims{0, 0}));
  EXPECT_EQ(texts(call("strtrim", {cellOf(T(" a"), T("b ")).get()}).get()),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(errorOf([] { call("strtrim", {S(1).get()}); }), "Q:invalidInput");
  EXPECT_EQ(textOf(call("upper", {T("abc-\xc3\xa9").get()}).get()), "ABC-\xc3\x89");
  EXPECT_EQ(dims(call("strfind", {T("abc").get(), T("x").get()}).get()), (Dims{1, 0}));
}

TEST(OpsRegex, RareOutputsAndBadOptions) {
  // A pattern without groups has the whole match as its token.
  ArrayPtr whole =
      call("regexp", {T("ab").get(), T("b").get(), T("tokens").get(), T("once").get()});
  EXPECT_EQ(texts(whole.get()), std::vector<std::string>{"b"});
  ArrayPtr none = call("regexp", {T("x=1").get(), T("z").get(), T("match").get(), T("once").get()});
  EXPECT_EQ(dims(none.get()), (Dims{0, 0}));
  EXPECT_EQ(textOf(call("regexprep", {T("a b").get(), T(" ").get(), T("\\n").get()}).get()),
            "a\nb");
  EXPECT_EQ(errorOf([] {
              call("regexp", {T("a").get(), T("a").get(), T("bogus").get()});
            }),
            "Q:invalidInput");
}

}  // namespace
}  // namespace q::ops
