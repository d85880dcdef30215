// Text formatting built-ins. The Q cases (features_text.q, features_text3.q, builtins.q) pin the
// ordinary results with blanks collapsed; these tests pin exact widths and column spacing, and
// keep the rare conversions, escapes, malformed input and errors.

#include "engine/ops/format.hpp"

#include <cmath>
#include <limits>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;
const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

std::string formatted(const char* format, std::vector<ArrayPtr> args = {}) {
  ArrayPtr formatArray = T(format);
  std::vector<const zyArray*> all = {formatArray.get()};
  for (ArrayPtr& a : args) all.push_back(a.get());
  return textOf(callVector("sprintf", all)[0].get());
}

TEST(OpsSprintf, ConversionsAndExactWidths) {
  struct Case {
    const char* format;
    double value;
    const char* expected;
  } cases[] = {
      {"%5d|", 42, "   42|"},
      {"%-5d|", 42, "42   |"},
      {"%05d", -42, "-0042"},
      {"%.0f", 2.5, "2"},
      {"%e", 12345.678, "1.234568e+04"},
      {"%G", 1e-10, "1E-10"},
      {"%5d|", -inf, " -Inf|"},
      {"%-4g|", nan, "NaN |"},
      {"%d", 1e20, "100000000000000000000"},
      {"%x", -1, "-1.000000e+00"},
      {"%s", 2.5, "2.500000e+00"},
      {"%u", 3, "3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.value));
    EXPECT_EQ(formatted(c.format, list(S(c.value))), c.expected);
  }
}

TEST(OpsSprintf, ArgumentsEscapesAndOddFormats) {
  EXPECT_EQ(formatted("<%d|%d>", list(R({1, 2, 3}))), "<1|2><3|");
  EXPECT_EQ(formatted("value: %d.\\n"), "value: .\n");
  EXPECT_EQ(formatted("100%% \\\\ \\t\\x41\\101"), "100% \\ \tAA");
  EXPECT_EQ(formatted("%*d|%-*.*f|", list(S(4), S(7), S(6), S(2), S(3.14159))), "   7|3.14  |");
  EXPECT_EQ(formatted("%5s|%-3s|%.2s", list(T("ab"), T("c"), T("xyz"))), "   ab|c  |xy");
  EXPECT_EQ(formatted("%d %s", list(typed(zyLOGICAL_CLASS, {1}), T(""))), "1 ");
  EXPECT_EQ(formatted("no conversions", list(S(1), S(2))), "no conversions");
  EXPECT_EQ(formatted("%q %d", list(S(3))), "%q 3");
  EXPECT_EQ(errorOf([] { formatted("%d", list(cellOf(S(1)))); }), "Q:invalidInput");
  EXPECT_EQ(dims(call("sprintf", {T("").get()}).get()), (Dims{0, 0}));
}

// num2str's column spacing and precision, which the Q cases see only with blanks collapsed.
TEST(OpsNum2str, SpacingPrecisionAndKinds) {
  struct Case {
    ArrayPtr value;
    const char* expected;
  };
  std::vector<Case> cases;
  cases.push_back({S(123.456789), "123.4568"});
  cases.push_back({S(0.1234567), "0.12346"});
  cases.push_back({S(1e10), "10000000000"});
  cases.push_back({S(nan), "NaN"});
  cases.push_back({S(-inf), "-Inf"});
  cases.push_back({R({1, 2, 3}), "1  2  3"});
  cases.push_back({R({1, -20, 300}), "1  -20  300"});
  cases.push_back({typed(zyINT8_CLASS, {-128}), "-128"});
  cases.push_back({typed(zyLOGICAL_CLASS, {1, 0}), "1  0"});
  cases.push_back({complexArray({1}, {-2}), "1-2i"});
  cases.push_back({complexArray({1.5}, {2}), "1.5+2i"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(textOf(call("num2str", {c.value.get()}).get()), c.expected);
  }
  ArrayPtr matrix = call("num2str", {M({{1, 2}, {30, 4}}).get()});
  EXPECT_EQ(dims(matrix.get()), (Dims{2, 6}));
  EXPECT_EQ(textOf(unary(UnaryOp::Transpose, matrix.get()).get()), " 1   230   4");
  ArrayPtr fractions = call("num2str", {R({1.5, 2.25}).get()});
  EXPECT_EQ(textOf(fractions.get()), "1.5        2.25");
  EXPECT_EQ(textOf(call("num2str", {R({M_PI, 1}).get(), T("%8.3f").get()}).get()),
            "   3.142   1.000");
  EXPECT_EQ(textOf(call("int2str", {R({2.5, -2.5, 3.2}).get()}).get()), "3  -3   3");
  EXPECT_EQ(dims(call("num2str", {detail::emptyDouble().get()}).get()), (Dims{0, 0}));
}

TEST(OpsMat2str, FormsTheQCasesDoNotReach) {
  EXPECT_EQ(textOf(call("mat2str", {S(M_PI).get()}).get()), "3.14159265358979");
  EXPECT_EQ(textOf(call("mat2str", {R({inf, -inf, nan}).get()}).get()), "[Inf -Inf NaN]");
  EXPECT_EQ(textOf(call("mat2str", {call("char", {T("ab").get(), T("cd").get()}).get()}).get()),
            "['ab';'cd']");
  EXPECT_EQ(textOf(call("mat2str", {complexArray({1, 0}, {-2, 1}).get()}).get()), "[1-2i 0+1i]");
  EXPECT_EQ(textOf(call("mat2str", {detail::createDouble({0, 3}).get()}).get()), "zeros(0,3)");
  EXPECT_EQ(errorOf([] {
              call("mat2str", {detail::createDouble({1, 1, 2}).get()});
            }),
            "Q:invalidInput");
}

TEST(OpsStr2double, ParsesNumbersAndRejectsTheRest) {
  struct Case {
    const char* text;
    double re, im;
  } cases[] = {
      {"+Inf", inf, 0},   {"-inf", -inf, 0}, {"1+2i", 1, 2},   {"3 - 4j", 3, -4},
      {"-2.5i", 0, -2.5}, {"i", 0, 1},       {"2D3", 2000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ArrayPtr result = call("str2double", {T(c.text).get()});
    EXPECT_EQ(values(result.get())[0], c.re);
    EXPECT_EQ(imagValues(result.get())[0], c.im);
  }
  for (const char* bad : {"abc", "1 2", "", "1e", "--1", "1+", "3x", "1,,", "nan"}) {
    EXPECT_TRUE(std::isnan(values(call("str2double", {T(bad).get()}).get())[0])) << bad;
  }
}

TEST(OpsSprintf, EngineForOtherBuiltins) {
  ArrayPtr value = S(3);
  const zyArray* args[] = {value.get()};
  EXPECT_EQ(formatText(u"n=%d\\n", args, 1), u"n=3\n");
  EXPECT_EQ(translateEscapes(u"a\\tb\\\\"), u"a\tb\\");
}

}  // namespace
}  // namespace q::ops
