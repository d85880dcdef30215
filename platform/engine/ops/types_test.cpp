// The table of pure built-ins, argument checking, and the type built-ins. Ordinary class
// queries, conversions, struct, fieldnames, num2cell and cell2mat results are pinned by
// tests/q/cases (builtins.q, features_types.q, features_integers.q, features_structs.q,
// features_cells.q); these keep the table's order, rare forms and error paths.

#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

// Built-ins are found by binary search: the table must be sorted and unique. Names that no Q
// case calls are checked here; the rest fail there when missing.
TEST(OpsBuiltinTable, SortedUniqueAndComplete) {
  const std::vector<BuiltinEntry>& table = pureBuiltins();
  std::set<std::string> names;
  for (size_t i = 0; i < table.size(); ++i) {
    ASSERT_NE(table[i].function, nullptr) << table[i].name;
    if (i) {
      EXPECT_LT(std::strcmp(table[i - 1].name, table[i].name), 0) << table[i].name;
    }
    names.insert(table[i].name);
  }
  for (const char* name :
       {"uint32", "tan",     "asin",    "acos",   "atan",     "sinh",       "cosh",
        "tanh",   "rdivide", "ldivide", "mtimes", "mrdivide", "mldivide",   "mpower",
        "uminus", "uplus",   "ne",      "le",     "ge",       "ctranspose", "colon"}) {
    EXPECT_TRUE(names.count(name)) << name;
  }
  // Built-ins that need the interpreter are not pure.
  for (const char* name : {"feval", "disp", "fprintf", "error", "eval", "rand", "cellfun"}) {
    EXPECT_FALSE(names.count(name)) << name;
  }
}

TEST(OpsBuiltinTable, ArgumentCountsAreChecked) {
  EXPECT_EQ(errorOf([] { call("sin", {}); }), "Q:NotEnoughInputs");
  EXPECT_EQ(errorOf([] { call("sin", {S(1).get(), S(2).get()}); }), "Q:TooManyInputs");
  EXPECT_EQ(errorOf([] { callN("numel", {S(1).get()}, 2); }), "Q:TooManyOutputs");
  EXPECT_EQ(errorOf([] { call("strrep", {T("a").get(), T("b").get()}); }), "Q:NotEnoughInputs");
}

TEST(OpsTypes, ClassQueriesAndConversionsTheQCasesDoNotReach) {
  struct Case {
    ArrayPtr sample;
    const char* kind;
    bool expected;
  };
  std::vector<Case> cases;
  cases.push_back({typed(zyLOGICAL_CLASS, {1}), "numeric", false});
  cases.push_back({typed(zyINT8_CLASS, {1}), "float", false});
  cases.push_back({S(1), "integer", false});
  cases.push_back({cellOf(), "cell", true});
  cases.push_back({T("a"), "char", true});
  for (const Case& c : cases) {
    SCOPED_TRACE(classOf(c.sample.get()) + " " + c.kind);
    EXPECT_EQ(values(call("isa", {c.sample.get(), T(c.kind).get()}).get())[0], c.expected);
  }
  // Complex storage is not real even when every imaginary part is zero.
  EXPECT_EQ(values(call("isreal", {complexArray({1}, {0}).get()}).get())[0], 0);
  EXPECT_EQ(values(call("isreal", {cellOf().get()}).get())[0], 0);
  ArrayPtr complexInt = call("int16", {complexArray({1.4}, {-2.6}).get()});
  EXPECT_EQ(imagValues(complexInt.get()), std::vector<double>{-3});
}

TEST(OpsTypes, CellsAndStructs) {
  EXPECT_EQ(dims(call("cell", {S(2).get()}).get()), (Dims{2, 2}));
  ArrayPtr s =
      call("struct", {T("name").get(), cellOf(T("a"), T("b")).get(), T("n").get(), S(7).get()});
  ArrayPtr none = call("struct", {T("a").get(), cellOf().get()});
  EXPECT_EQ(dims(none.get()), (Dims{1, 0}));
  EXPECT_EQ(zyGetNumberOfFields(none.get()), 1);
  EXPECT_EQ(errorOf([] { call("struct", {T("a").get()}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("struct", {T("1a").get(), S(1).get()}); }), "Q:invalidFieldName");

  EXPECT_EQ(values(call("isfield", {s.get(), cellOf(T("x"), T("name")).get()}).get()),
            (std::vector<double>{0, 1}));
  EXPECT_EQ(values(call("isfield", {S(1).get(), T("n").get()}).get()), std::vector<double>{0});
  ArrayPtr removed = call("rmfield", {s.get(), T("name").get()});
  EXPECT_EQ(zyGetNumberOfFields(removed.get()), 1);
  EXPECT_EQ(zyGetNumberOfFields(s.get()), 2);  // the input is untouched
  EXPECT_EQ(errorOf([&] { call("rmfield", {s.get(), T("zz").get()}); }), "Q:nonExistentField");

  EXPECT_EQ(errorOf([] { call("cell2mat", {cellOf(S(1), T("a")).get()}); }), "Q:invalidInput");
  EXPECT_EQ(dims(call("cell2mat", {cellOf().get()}).get()), (Dims{0, 0}));
}

}  // namespace
}  // namespace q::ops
