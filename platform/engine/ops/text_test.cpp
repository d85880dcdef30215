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

TEST(OpsText, Comparisons) {
  struct Case {
    const char* function;
    const char* a;
    const char* b;
    double n;
    bool expected;
  } cases[] = {
      {"strcmp", "abc", "abc", -1, true},       {"strcmp", "abc", "abd", -1, false},
      {"strcmp", "abc", "ab", -1, false},       {"strcmpi", "HeLLo", "hello", -1, true},
      {"strncmp", "abcdef", "abcxyz", 3, true}, {"strncmp", "abcdef", "abcxyz", 4, false},
      {"strncmp", "ab", "abc", 5, false},       {"strncmp", "ab", "ab", 5, true},
      {"strncmpi", "ABCd", "abce", 3, true},    {"strcmpi", "\xc3\x84", "\xc3\xa4", -1, true},
  };
  for (const Case& c : cases) {
    std::vector<const zyArray*> args;
    ArrayPtr a = T(c.a), b = T(c.b), n = S(c.n);
    args = {a.get(), b.get()};
    if (c.n >= 0) args.push_back(n.get());
    EXPECT_EQ(values(callVector(c.function, args)[0].get())[0], c.expected)
        << c.function << " " << c.a << " " << c.b;
  }
  EXPECT_EQ(values(call("strcmp", {S(1).get(), S(1).get()}).get())[0], 0);  // not text
  ArrayPtr names = cellOf(T("ab"), T("cd"), T("ab"));
  EXPECT_EQ(values(call("strcmp", {names.get(), T("ab").get()}).get()),
            (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(values(call("strcmp", {names.get(), cellOf(T("ab"), T("x"), T("ab")).get()}).get()),
            (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(errorOf([&] {
              call("strcmp", {names.get(), cellOf(T("a"), T("b")).get()});
            }),
            "Q:sizeMismatch");
}

TEST(OpsText, JoiningSplittingAndTrimming) {
  EXPECT_EQ(textOf(call("strcat", {T("a  ").get(), T("b ").get(), T(" c").get()}).get()), "ab c");
  ArrayPtr cells = call("strcat", {cellOf(T("x "), T("y")).get(), T("_1 ").get()});
  EXPECT_EQ(texts(cells.get()), (std::vector<std::string>{"x _1 ", "y_1 "}));

  EXPECT_EQ(texts(call("strsplit", {T("a b  c").get()}).get()),
            (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(texts(call("strsplit", {T("a,,b").get(), T(",").get()}).get()),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(texts(call("strsplit", {T("a,,b").get(), T(",").get(), T("CollapseDelimiters").get(),
                                    typed(zyLOGICAL_CLASS, {0}).get()})
                      .get()),
            (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(texts(call("strsplit", {T("1-2--3").get(), cellOf(T("--"), T("-")).get()}).get()),
            (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(texts(call("strsplit", {T(",a").get(), T(",").get()}).get()),
            (std::vector<std::string>{"", "a"}));
  EXPECT_EQ(texts(call("strsplit", {T("a\tb").get(), T("\\t").get()}).get()),
            (std::vector<std::string>{"a", "b"}));

  ArrayPtr words = cellOf(T("x"), T("y"), T("z"));
  EXPECT_EQ(textOf(call("strjoin", {words.get()}).get()), "x y z");
  EXPECT_EQ(textOf(call("strjoin", {words.get(), T(", ").get()}).get()), "x, y, z");
  EXPECT_EQ(textOf(call("strjoin", {words.get(), T("\\n").get()}).get()), "x\ny\nz");
  EXPECT_EQ(textOf(call("strjoin", {words.get(), cellOf(T("+"), T("=")).get()}).get()), "x+y=z");

  EXPECT_EQ(textOf(call("strtrim", {T(" \t hi there \n").get()}).get()), "hi there");
  EXPECT_EQ(dims(call("strtrim", {T("   ").get()}).get()), (Dims{0, 0}));
  EXPECT_EQ(texts(call("strtrim", {cellOf(T(" a"), T("b ")).get()}).get()),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(errorOf([] { call("strtrim", {S(1).get()}); }), "Q:invalidInput");
  EXPECT_EQ(textOf(call("upper", {T("abc-\xc3\xa9").get()}).get()), "ABC-\xc3\x89");
  EXPECT_EQ(texts(call("lower", {cellOf(T("AbC")).get()}).get()), std::vector<std::string>{"abc"});
}

TEST(OpsText, FindingAndReplacing) {
  EXPECT_EQ(values(call("strfind", {T("aaaa").get(), T("aa").get()}).get()),
            (std::vector<double>{1, 2, 3}));  // overlapping matches
  EXPECT_EQ(dims(call("strfind", {T("abc").get(), T("x").get()}).get()), (Dims{1, 0}));
  ArrayPtr perCell = call("strfind", {cellOf(T("abab"), T("b")).get(), T("b").get()});
  EXPECT_EQ(values(zyGetCellConst(perCell.get(), 0)), (std::vector<double>{2, 4}));
  EXPECT_EQ(textOf(call("strrep", {T("one two one").get(), T("one").get(), T("1").get()}).get()),
            "1 two 1");
  EXPECT_EQ(textOf(call("strrep", {T("aaa").get(), T("aa").get(), T("b").get()}).get()), "ba");
  EXPECT_EQ(
      texts(call("strrep", {cellOf(T("ab"), T("cb")).get(), T("b").get(), T("").get()}).get()),
      (std::vector<std::string>{"a", "c"}));
}

TEST(OpsRegex, OutputsOptionsAndTokens) {
  ArrayPtr subject = T("x=12, y=345");
  ArrayPtr pattern = T("(\\w)=(\\d+)");
  std::vector<ArrayPtr> defaults = callN("regexp", {subject.get(), pattern.get()}, 2);
  EXPECT_EQ(values(defaults[0].get()), (std::vector<double>{1, 7}));   // start
  EXPECT_EQ(values(defaults[1].get()), (std::vector<double>{4, 11}));  // end
  EXPECT_EQ(texts(call("regexp", {subject.get(), pattern.get(), T("match").get()}).get()),
            (std::vector<std::string>{"x=12", "y=345"}));
  ArrayPtr tokens = call("regexp", {subject.get(), pattern.get(), T("tokens").get()});
  EXPECT_EQ(texts(zyGetCellConst(tokens.get(), 1)), (std::vector<std::string>{"y", "345"}));
  std::vector<ArrayPtr> ordered =
      callN("regexp", {subject.get(), pattern.get(), T("split").get(), T("match").get()}, 2);
  EXPECT_EQ(texts(ordered[0].get()), (std::vector<std::string>{"", ", ", ""}));
  EXPECT_EQ(texts(ordered[1].get()), (std::vector<std::string>{"x=12", "y=345"}));

  ArrayPtr named =
      call("regexp", {subject.get(), T("(?<key>\\w)=(?<value>\\d+)").get(), T("names").get()});
  EXPECT_EQ(dims(named.get()), (Dims{1, 2}));
  EXPECT_EQ(textOf(zyGetFieldConst(named.get(), 1, "value")), "345");
  ArrayPtr once =
      call("regexp", {subject.get(), T("\\d+").get(), T("match").get(), T("once").get()});
  EXPECT_EQ(textOf(once.get()), "12");
  ArrayPtr none = call("regexp", {subject.get(), T("z").get(), T("match").get(), T("once").get()});
  EXPECT_EQ(dims(none.get()), (Dims{0, 0}));
  EXPECT_EQ(values(call("regexp", {T("ABC").get(), T("b").get(), T("ignorecase").get()}).get()),
            std::vector<double>{2});
  // A pattern without groups has the whole match as its token.
  ArrayPtr whole =
      call("regexp", {T("ab").get(), T("b").get(), T("tokens").get(), T("once").get()});
  EXPECT_EQ(texts(whole.get()), std::vector<std::string>{"b"});
  ArrayPtr perCell =
      call("regexp", {cellOf(T("a1"), T("b22")).get(), T("\\d+").get(), T("match").get()});
  EXPECT_EQ(texts(zyGetCellConst(perCell.get(), 1)), std::vector<std::string>{"22"});
  EXPECT_EQ(errorOf([] { call("regexp", {T("a").get(), T("(").get()}); }), "Q:invalidPattern");
  EXPECT_EQ(errorOf([] {
              call("regexp", {T("a").get(), T("a").get(), T("bogus").get()});
            }),
            "Q:invalidInput");
}

TEST(OpsRegex, Replacement) {
  EXPECT_EQ(
      textOf(call("regexprep", {T("john smith").get(), T("(\\w+) (\\w+)").get(), T("$2, $1").get()})
                 .get()),
      "smith, john");
  EXPECT_EQ(textOf(call("regexprep", {T("a1b22").get(), T("\\d").get(), T("<$0>").get()}).get()),
            "a<1>b<2><2>");
  EXPECT_EQ(
      textOf(
          call("regexprep", {T("aaa").get(), T("a").get(), T("b").get(), T("once").get()}).get()),
      "baa");
  EXPECT_EQ(
      textOf(call("regexprep", {T("AbA").get(), T("a").get(), T("-").get(), T("ignorecase").get()})
                 .get()),
      "-b-");
  EXPECT_EQ(textOf(call("regexprep", {T("a b").get(), T(" ").get(), T("\\n").get()}).get()),
            "a\nb");
  EXPECT_EQ(
      texts(
          call("regexprep", {cellOf(T("x1"), T("y2")).get(), T("\\d").get(), T("#").get()}).get()),
      (std::vector<std::string>{"x#", "y#"}));
}

}  // namespace
}  // namespace q::ops
