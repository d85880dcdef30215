// The display form, pinned. docs/arrays.md shows the same examples.

#include "zy/display.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"
#include "zy/sample_arrays_test.hpp"

namespace {

using Array = matrix::unique_array;
using zy::testing::filled;

std::string show(const zyArray* array, const char* name = nullptr) {
  return zyFormatArray(name, array);
}

Array row(std::vector<double> values) {
  return filled<double>(1, values.size(), zyDOUBLE_CLASS, zyREAL, values);
}

Array scalar(double value) { return Array(zyCreateDoubleScalar(value)); }

// Every kind of array as the short form shows it, unnamed unless a name is given.
TEST(ZyDisplay, FormsOfEveryKind) {
  const double inf = INFINITY;
  const char* rows[] = {"ab", "cde"};
  const size_t sparseRows[] = {0, 9, 1}, sparseColumns[] = {0, 0, 2};
  const double sparseValues[] = {1, 2.5, -3};
  const zyLogical truth[] = {1};
  const size_t pages[] = {1, 2, 2};
  Array nd(zyCreateNumericArray(3, pages, zyDOUBLE_CLASS, zyREAL));
  for (int i = 0; i < 4; ++i) zyGetPr(nd.get())[i] = i + 1;
  const struct Case {
    Array array;
    const char* name;
    std::string expected;
  } cases[] = {
      // Whole numbers, NaN and Inf share a width; -0 shows as 0.
      {scalar(5), nullptr, "   5\n"},
      {scalar(-0.0), nullptr, "   0\n"},
      {filled<double>(2, 2, zyDOUBLE_CLASS, zyREAL, {1, -20, 300, 4}), nullptr,
       "     1   300\n   -20     4\n"},
      {row({1, NAN, -inf}), nullptr, "      1    NaN   -Inf\n"},
      // Fractions show four decimals.
      {scalar(3.14159265), nullptr, "   3.1416\n"},
      {row({1.5, -2.25, 10}), nullptr, "    1.5000   -2.2500   10.0000\n"},
      {filled<float>(1, 1, zySINGLE_CLASS, zyREAL, {0.25f}), nullptr, "   0.2500\n"},
      // Large and small magnitudes share a scale line; a scalar carries its own exponent.
      {row({123456.7, 2.5}), nullptr, "  1.0e+05 *\n\n   1.2346   0.0000\n"},
      {row({0.00012, 0.0005}), nullptr, "  1.0e-04 *\n\n   1.2000   5.0000\n"},
      {row({1e10, 1}), nullptr, "  1.0e+10 *\n\n   1.0000   0.0000\n"},  // whole numbers too
      {scalar(123456.789), nullptr, "   1.2346e+05\n"},
      {scalar(-0.00001), nullptr, "   -1.0000e-05\n"},
      // Complex numbers.
      {filled<double>(1, 2, zyDOUBLE_CLASS, zyCOMPLEX, {1, 3}, {2, -4}), nullptr,
       "   1 + 2i   3 - 4i\n"},
      {filled<double>(1, 1, zyDOUBLE_CLASS, zyCOMPLEX, {1.5}, {-0.25}), nullptr,
       "   1.5000 - 0.2500i\n"},
      {filled<int16_t>(1, 1, zyINT16_CLASS, zyCOMPLEX, {-3}, {-7}), nullptr, "   -3 - 7i\n"},
      // Integers at the ends of their range, and logicals.
      {filled<int8_t>(1, 3, zyINT8_CLASS, zyREAL, {-128, 0, 127}), nullptr,
       "   -128      0    127\n"},
      {filled<uint64_t>(1, 1, zyUINT64_CLASS, zyREAL, {UINT64_MAX}), nullptr,
       "   18446744073709551615\n"},
      {filled<int64_t>(1, 1, zyINT64_CLASS, zyREAL, {INT64_MIN}), nullptr,
       "   -9223372036854775808\n"},
      {filled<zyLogical>(2, 1, zyLOGICAL_CLASS, zyREAL, {1, 0}), nullptr, "   1\n   0\n"},
      // Text is itself, unnamed; named, it is framed like every other form.
      {Array(zyCreateString("hello, world")), nullptr, "hello, world"},
      {Array(zyCreateString("hello, world")), "s", "s =\n\nhello, world\n\n"},
      {Array(zyCreateCharMatrixFromStrings(2, rows)), nullptr, "ab \ncde"},
      // Empty arrays give their size and class.
      {Array(zyCreateDoubleMatrix(0, 3, zyREAL)), nullptr, "  0x3 empty double array\n"},
      {Array(zyCreateCellMatrix(0, 0)), nullptr, "  0x0 empty cell array\n"},
      {Array(zyCreateString("")), nullptr, "  0x0 empty char array\n"},
      {Array(zyCreateNumericMatrix(1, 0, zyINT32_CLASS, zyCOMPLEX)), nullptr,
       "  1x0 empty complex int32 array\n"},
      {Array(), nullptr, "  0x0 empty double array\n"},
      {Array(zyCreateStructMatrix(0, 0, 0, nullptr)), nullptr,
       "  0x0 empty struct array with no fields.\n"},
      // Sparse arrays list their stored elements.
      {Array(zyCreateSparseFromTriplets(10, 3, 3, sparseRows, sparseColumns, sparseValues, nullptr,
                                        zyDOUBLE_CLASS, 0)),
       nullptr, "    (1,1)    1.0000\n   (10,1)    2.5000\n    (2,3)   -3.0000\n"},
      {Array(zyCreateSparse(3, 3, 0, zyREAL)), nullptr, "  All zero sparse: 3x3\n"},
      {Array(zyCreateSparseFromTriplets(2, 2, 1, sparseRows, sparseColumns, truth, nullptr,
                                        zyLOGICAL_CLASS, 0)),
       nullptr, "   (1,1)   1\n"},
      // N-d arrays show as pages, named after the array when it has a name.
      {Array(zyDuplicateArray(nd.get())), "a",
       "a(:,:,1) =\n\n   1   2\n\na(:,:,2) =\n\n   3   4\n\n"},
      {Array(zyDuplicateArray(nd.get())), nullptr,
       "(:,:,1) =\n\n   1   2\n\n(:,:,2) =\n\n   3   4\n\n"},
      // Classes without data give their size; a handle shows its payload's description.
      {Array(zyCreateNumericMatrix(2, 3, zyUNKNOWN_CLASS, zyREAL)), nullptr, "  2x3 unknown\n"},
      {Array(zyCreateNumericMatrix(1, 1, zyOPAQUE_CLASS, zyREAL)), nullptr, "  1x1 opaque\n"},
      {Array(zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &zy::testing::kTextPayload,
                                  new std::string("@sin"))),
       "f", "f =\n\n    @sin\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(show(c.array.get(), c.name), c.expected);
  }
  EXPECT_EQ(zyFormatArray(nullptr, scalar(M_PI).get(), zy::DisplayFormat::Long),
            "   3.141592653589793\n");
}

TEST(ZyDisplay, WideMatricesSplitIntoColumnGroups) {
  std::vector<double> values;
  for (int i = 1; i <= 12; ++i) values.push_back(i * 1000000.0);
  const std::string text = show(row(values).get());
  EXPECT_EQ(text.substr(0, text.find('\n', 40)),
            "  Columns 1 through 7\n"
            "\n"
            "    1000000    2000000    3000000    4000000    5000000    6000000    7000000");
  EXPECT_NE(text.find("\n\n  Columns 8 through 12\n\n    8000000    9000000   10000000"),
            std::string::npos);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    EXPECT_LE(end - start, 80u);
  }
}

TEST(ZyDisplay, CellsShowEachElementBriefly) {
  Array cell(zyCreateCellMatrix(2, 2));
  zySetCell(cell.get(), 0, zyCreateDoubleScalar(42));
  zySetCell(cell.get(), 1, zyCreateString("text"));
  zySetCell(cell.get(), 2,
            filled<double>(2, 3, zyDOUBLE_CLASS, zyREAL, {1, 2, 3, 4, 5, 6}).release());
  EXPECT_EQ(show(cell.get()),
            "    {[42]}      {[2x3 double]}\n"
            "    {'text'}    {[]}\n");
  Array nested(zyCreateCellMatrix(1, 3));
  zySetCell(nested.get(), 0, zyCreateCellMatrix(1, 2));
  zySetCell(nested.get(), 1, zyCreateStructMatrix(1, 1, 0, nullptr));
  zySetCell(nested.get(), 2,
            zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &zy::testing::kTextPayload,
                                 new std::string("@(x) x.^2")));
  EXPECT_EQ(show(nested.get()), "    {{1x2 cell}}    {[1x1 struct]}    {@(x) x.^2}\n");
}

TEST(ZyDisplay, StructsListTheirFields) {
  const char* names[] = {"name", "count", "data", "flags"};
  Array scalar(zyCreateStructMatrix(1, 1, 4, names));
  zySetField(scalar.get(), 0, "name", zyCreateString("probe"));
  zySetField(scalar.get(), 0, "count", zyCreateDoubleScalar(2.5));
  zySetField(scalar.get(), 0, "data", zyCreateNumericMatrix(3, 1, zyUINT8_CLASS, zyREAL));
  EXPECT_EQ(show(scalar.get(), "s"),
            "s =\n"
            "\n"
            "     name: 'probe'\n"
            "    count: 2.5000\n"
            "     data: [3x1 uint8]\n"
            "    flags: []\n"
            "\n");
  Array many(zyCreateStructMatrix(1, 3, 2, names));
  EXPECT_EQ(show(many.get()),
            "  1x3 struct array with fields:\n"
            "\n"
            "    name\n"
            "    count\n");
}

TEST(ZyDisplay, EverySampleHasAForm) {
  for (const auto& sample : zy::testing::sampleArrays()) {
    EXPECT_FALSE(show(sample.array.get()).empty()) << sample.name;
  }
}

std::string captured;
void capture(const char* text) { captured += text; }

TEST(ZyDisplay, PrintArrayWritesThroughTheSwappablePrintFunction) {
  ioPrintFunction previous = ioSetPrintFunction(capture);
  captured.clear();
  Array value(zyCreateDoubleScalar(7));
  ioPrintArray("x", value.get());
  ioPrintArray(nullptr, value.get());
  EXPECT_EQ(captured, "x =\n\n   7\n\n   7\n");
  EXPECT_EQ(ioSetPrintFunction(previous), capture);
}

}  // namespace
