#include <cstring>
#include <limits>
#include <set>
#include <string>

#include "engine/ops/test_support.hpp"

namespace q::ops {
namespace {

using namespace testing;

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
  const char* required[] = {
      "zeros",     "ones",       "eye",       "true",     "false",     "Inf",        "NaN",
      "pi",        "eps",        "linspace",  "repmat",   "reshape",   "cat",        "horzcat",
      "vertcat",   "size",       "numel",     "length",   "ndims",     "isempty",    "isscalar",
      "isvector",  "isrow",      "iscolumn",  "squeeze",  "permute",   "class",      "isa",
      "isnumeric", "ischar",     "iscell",    "isstruct", "islogical", "isreal",     "isfloat",
      "isinteger", "double",     "single",    "int8",     "int16",     "int32",      "int64",
      "uint8",     "uint16",     "uint32",    "uint64",   "logical",   "char",       "cell",
      "struct",    "fieldnames", "isfield",   "rmfield",  "num2cell",  "cell2mat",   "abs",
      "sign",      "sqrt",       "exp",       "log",      "log2",      "log10",      "sin",
      "cos",       "tan",        "asin",      "acos",     "atan",      "atan2",      "sinh",
      "cosh",      "tanh",       "floor",     "ceil",     "round",     "fix",        "mod",
      "rem",       "hypot",      "real",      "imag",     "conj",      "angle",      "min",
      "max",       "sum",        "prod",      "cumsum",   "cumprod",   "mean",       "sort",
      "find",      "any",        "all",       "diff",     "dot",       "norm",       "det",
      "inv",       "trace",      "isnan",     "isinf",    "isfinite",  "num2str",    "int2str",
      "mat2str",   "str2double", "sprintf",   "strcat",   "strcmp",    "strcmpi",    "strncmp",
      "strncmpi",  "strfind",    "strrep",    "strsplit", "strjoin",   "strtrim",    "upper",
      "lower",     "regexp",     "regexprep", "plus",     "minus",     "times",      "rdivide",
      "ldivide",   "mtimes",     "mrdivide",  "mldivide", "power",     "mpower",     "uminus",
      "uplus",     "not",        "eq",        "ne",       "lt",        "le",         "gt",
      "ge",        "and",        "or",        "xor",      "transpose", "ctranspose", "colon"};
  for (const char* name : required) EXPECT_TRUE(names.count(name)) << name;
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

zyArray* handle() {
  static const zyPayloadType type = {"test.handle", [](const void*) -> void* { return new int(0); },
                                     [](void* p) { delete static_cast<int*>(p); }, nullptr,
                                     nullptr};
  return zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &type, new int(0));
}

TEST(OpsTypes, ClassQueries) {
  EXPECT_EQ(textOf(call("class", {typed(zyUINT32_CLASS, {1}).get()}).get()), "uint32");
  ArrayPtr function(handle());
  EXPECT_EQ(textOf(call("class", {function.get()}).get()), "function_handle");
  struct Case {
    const char* kind;
    bool forDouble, forInt8, forChar, forLogical, forCell;
  } cases[] = {
      {"numeric", true, true, false, false, false},  {"float", true, false, false, false, false},
      {"integer", false, true, false, false, false}, {"double", true, false, false, false, false},
      {"char", false, false, true, false, false},    {"cell", false, false, false, false, true},
  };
  ArrayPtr samples[] = {S(1), typed(zyINT8_CLASS, {1}), T("a"), typed(zyLOGICAL_CLASS, {1}),
                        cellOf()};
  for (const Case& c : cases) {
    const bool expected[] = {c.forDouble, c.forInt8, c.forChar, c.forLogical, c.forCell};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(values(call("isa", {samples[i].get(), T(c.kind).get()}).get())[0], expected[i])
          << c.kind << " " << classOf(samples[i].get());
    }
  }
  EXPECT_EQ(values(call("isnumeric", {typed(zyLOGICAL_CLASS, {1}).get()}).get())[0], 0);
  EXPECT_EQ(values(call("isreal", {complexArray({1}, {0}).get()}).get())[0], 0);
  EXPECT_EQ(values(call("isreal", {cellOf().get()}).get())[0], 0);
  EXPECT_EQ(values(call("isfloat", {typed(zySINGLE_CLASS, {1}).get()}).get())[0], 1);
  EXPECT_EQ(values(call("isinteger", {S(1).get()}).get())[0], 0);
}

TEST(OpsTypes, Conversions) {
  ArrayPtr bytes =
      call("int8", {R({200, -200, 2.5, -2.5, std::numeric_limits<double>::quiet_NaN()}).get()});
  EXPECT_EQ(classOf(bytes.get()), "int8");
  EXPECT_EQ(values(bytes.get()), (std::vector<double>{127, -128, 3, -3, 0}));
  EXPECT_EQ(values(call("uint16", {R({-3, 70000}).get()}).get()), (std::vector<double>{0, 65535}));
  EXPECT_EQ(values(call("double", {T("AB").get()}).get()), (std::vector<double>{65, 66}));
  EXPECT_EQ(values(call("logical", {R({2, 0, -1}).get()}).get()), (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(errorOf([] { call("logical", {S(std::numeric_limits<double>::quiet_NaN()).get()}); }),
            "Q:NaNToLogical");
  EXPECT_EQ(errorOf([] { call("double", {cellOf().get()}); }), "Q:invalidConversion");
  ArrayPtr complexInt = call("int16", {complexArray({1.4}, {-2.6}).get()});
  EXPECT_EQ(imagValues(complexInt.get()), std::vector<double>{-3});
  EXPECT_EQ(textOf(call("char", {R({72, 105}).get()}).get()), "Hi");
  ArrayPtr padded = call("char", {T("a").get(), T("bcd").get()});
  EXPECT_EQ(dims(padded.get()), (Dims{2, 3}));
  EXPECT_EQ(textOf(padded.get()), "ab c d");  // column-major: "a  " over "bcd"
  ArrayPtr fromCell = call("char", {cellOf(T("xy"), T("z")).get()});
  EXPECT_EQ(dims(fromCell.get()), (Dims{2, 2}));
}

TEST(OpsTypes, CellsAndStructs) {
  EXPECT_EQ(dims(call("cell", {S(2).get(), S(3).get()}).get()), (Dims{2, 3}));
  EXPECT_EQ(dims(call("cell", {S(2).get()}).get()), (Dims{2, 2}));
  // Cell values spread over a struct array; other values are copied to every element.
  ArrayPtr s =
      call("struct", {T("name").get(), cellOf(T("a"), T("b")).get(), T("n").get(), S(7).get()});
  EXPECT_EQ(dims(s.get()), (Dims{1, 2}));
  EXPECT_EQ(textOf(zyGetFieldConst(s.get(), 1, "name")), "b");
  EXPECT_EQ(values(zyGetFieldConst(s.get(), 1, "n")), std::vector<double>{7});
  ArrayPtr wrapped = call("struct", {T("c").get(), cellOf(cellOf(S(1), S(2))).get()});
  EXPECT_EQ(dims(wrapped.get()), (Dims{1, 1}));
  EXPECT_TRUE(zyIsCell(zyGetFieldConst(wrapped.get(), 0, "c")));
  ArrayPtr none = call("struct", {T("a").get(), cellOf().get()});
  EXPECT_EQ(dims(none.get()), (Dims{1, 0}));
  EXPECT_EQ(zyGetNumberOfFields(none.get()), 1);
  EXPECT_EQ(dims(call("struct", {}).get()), (Dims{1, 1}));
  EXPECT_EQ(errorOf([] { call("struct", {T("a").get()}); }), "Q:invalidInput");
  EXPECT_EQ(errorOf([] { call("struct", {T("1a").get(), S(1).get()}); }), "Q:invalidFieldName");

  ArrayPtr names = call("fieldnames", {s.get()});
  EXPECT_EQ(dims(names.get()), (Dims{2, 1}));
  EXPECT_EQ(textOf(zyGetCellConst(names.get(), 1)), "n");
  EXPECT_EQ(values(call("isfield", {s.get(), T("n").get()}).get()), std::vector<double>{1});
  EXPECT_EQ(values(call("isfield", {s.get(), cellOf(T("x"), T("name")).get()}).get()),
            (std::vector<double>{0, 1}));
  EXPECT_EQ(values(call("isfield", {S(1).get(), T("n").get()}).get()), std::vector<double>{0});
  ArrayPtr removed = call("rmfield", {s.get(), T("name").get()});
  EXPECT_EQ(zyGetNumberOfFields(removed.get()), 1);
  EXPECT_EQ(zyGetNumberOfFields(s.get()), 2);  // the input is untouched
  EXPECT_EQ(errorOf([&] { call("rmfield", {s.get(), T("zz").get()}); }), "Q:nonExistentField");

  ArrayPtr cells = call("num2cell", {M({{1, 2}, {3, 4}}).get()});
  EXPECT_EQ(dims(cells.get()), (Dims{2, 2}));
  EXPECT_EQ(values(zyGetCellConst(cells.get(), 1)), std::vector<double>{3});
  ArrayPtr joined = call("cell2mat", {cellShaped({2, 2}, R({1, 2}), R({5, 6}), S(3), S(7)).get()});
  EXPECT_EQ(dims(joined.get()), (Dims{2, 3}));
  EXPECT_EQ(values(joined.get()), (std::vector<double>{1, 5, 2, 6, 3, 7}));
  EXPECT_EQ(errorOf([] { call("cell2mat", {cellOf(S(1), T("a")).get()}); }), "Q:invalidInput");
  EXPECT_EQ(dims(call("cell2mat", {cellOf().get()}).get()), (Dims{0, 0}));
}

}  // namespace
}  // namespace q::ops
