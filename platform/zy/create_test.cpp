#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "zy.h"
#include "zy/array.hpp"
#include "zy/matrix.hpp"

namespace {

using Array = matrix::unique_array;

TEST(ZyCreate, EveryClassIdGivesAnArrayOfThatClass) {
  for (int id = 0; id <= zyOBJECT_CLASS; ++id) {
    SCOPED_TRACE(id);
    const auto classId = static_cast<zyClassID>(id);
    Array empty(zyCreateNumericMatrix(0, 0, classId, zyREAL));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(zyGetClassID(empty.get()), classId);
    EXPECT_TRUE(zyIsEmpty(empty.get()));
    Array sized(zyCreateNumericMatrix(2, 3, classId, zyCOMPLEX));
    ASSERT_NE(sized, nullptr);
    EXPECT_EQ(zyGetNumberOfElements(sized.get()), 6u);
    EXPECT_EQ(zyIsComplex(sized.get()), id >= zyDOUBLE_CLASS && id <= zyUINT64_CLASS)
        << "only numeric classes are complex";
  }
  // Any int is an id or a complexity: unknown ids are refused, and only zyCOMPLEX is complex.
  for (const int id : {19, -1, INT_MIN, INT_MAX}) {
    EXPECT_EQ(zyCreateNumericMatrix(1, 1, static_cast<zyClassID>(id), zyREAL), nullptr) << id;
  }
  for (const int complexity : {-1, 2, INT_MIN, INT_MAX}) {
    Array created(
        zyCreateNumericMatrix(1, 1, zyDOUBLE_CLASS, static_cast<zyComplexity>(complexity)));
    ASSERT_NE(created, nullptr) << complexity;
    EXPECT_FALSE(zyIsComplex(created.get())) << complexity;
    Array sparse(zyCreateSparse(2, 2, 1, static_cast<zyComplexity>(complexity)));
    ASSERT_NE(sparse, nullptr) << complexity;
    EXPECT_FALSE(zyIsComplex(sparse.get())) << complexity;
  }
}

TEST(ZyCreate, NumericDataStartsAtZero) {
  Array complex(zyCreateNumericMatrix(3, 2, zyINT16_CLASS, zyCOMPLEX));
  const auto* real = static_cast<const int16_t*>(zyGetDataConst(complex.get()));
  const auto* imag = static_cast<const int16_t*>(zyGetImagDataConst(complex.get()));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(real[i] | imag[i], 0);
  Array scalar(zyCreateDoubleScalar(2.5));
  EXPECT_EQ(*zyGetPr(scalar.get()), 2.5);
  EXPECT_EQ(zyGetPi(scalar.get()), nullptr);
  EXPECT_EQ(zyGetChars(scalar.get()), nullptr);
}

TEST(ZyCreate, EmptyComplexArraysStayComplexThroughCopies) {
  Array empty(zyCreateNumericMatrix(0, 3, zyDOUBLE_CLASS, zyCOMPLEX));
  EXPECT_TRUE(zyIsComplex(empty.get()));
  Array duplicate(zyDuplicateArray(empty.get()));
  EXPECT_TRUE(zyIsComplex(duplicate.get()));
  Array twin(zyCreateSharedDataCopy(empty.get()));
  ASSERT_EQ(zyUnshareArray(twin.get()), 0);
  EXPECT_TRUE(zyIsComplex(twin.get()));
}

TEST(ZyCreate, StructFieldNames) {
  const char* names[] = {"alpha", "beta"};
  Array structure(zyCreateStructMatrix(1, 1, 2, names));
  EXPECT_EQ(zyGetNumberOfFields(structure.get()), 2);
  EXPECT_EQ(structure.get()->get_struct_field_info(), (std::vector<std::string>{"alpha", "beta"}));
  Array negative(zyCreateStructMatrix(1, 1, -1, names));
  EXPECT_EQ(zyGetNumberOfFields(negative.get()), 0);
  Array noNames(zyCreateStructMatrix(0, 0, 0, nullptr));
  ASSERT_NE(noNames, nullptr);
  EXPECT_EQ(zyGetClassID(noNames.get()), zySTRUCT_CLASS);
  const char* duplicate[] = {"a", "a"};
  EXPECT_EQ(zyCreateStructMatrix(1, 1, 2, duplicate), nullptr);
  const char* missing[] = {"a", nullptr};
  EXPECT_EQ(zyCreateStructMatrix(1, 1, 2, missing), nullptr);
}

TEST(ZyCreate, StringsAreUtf16FromUtf8) {
  Array text(zyCreateString("h\xC3\xA9llo \xF0\x9F\x98\x80"));  // é and an emoji
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(zyGetM(text.get()), 1u);
  EXPECT_EQ(zyGetN(text.get()), 8u) << "the emoji takes a surrogate pair";
  const zyChar* chars = zyGetChars(text.get());
  EXPECT_EQ(chars[1], u'\u00E9');
  EXPECT_EQ(chars[6], 0xD83D);
  EXPECT_EQ(chars[7], 0xDE00);
  char* back = zyArrayToString(text.get());
  EXPECT_STREQ(back, "h\xC3\xA9llo \xF0\x9F\x98\x80");
  zyFree(back);

  Array broken(zyCreateStringFromNChars("a\xFF\xC3", 3));
  EXPECT_EQ(matrix::get_u16string(broken.get()), u"a\uFFFD\uFFFD");
  Array embedded(zyCreateStringFromNChars("a\0b", 3));
  EXPECT_EQ(zyGetNumberOfElements(embedded.get()), 3u);

  for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
    Array none(zyCreateString(empty));
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(zyGetM(none.get()), 0u);
    EXPECT_EQ(zyGetN(none.get()), 0u);
    EXPECT_TRUE(zyIsChar(none.get()));
  }
}

TEST(ZyCreate, CharMatrixRowsArePaddedWithBlanks) {
  const char* rows[] = {"ab", nullptr, "wxyz"};
  Array matrix(zyCreateCharMatrixFromStrings(3, rows));
  ASSERT_NE(matrix, nullptr);
  EXPECT_EQ(zyGetM(matrix.get()), 3u);
  EXPECT_EQ(zyGetN(matrix.get()), 4u);
  // Column-major: the first column holds the first character of each row.
  EXPECT_EQ(matrix::get_u16string(matrix.get()), u"a wb x  y  z");
}

TEST(ZyCreate, GetStringCopiesAndReportsCutting) {
  Array text(zyCreateString("caf\xC3\xA9"));
  char buffer[16];
  EXPECT_EQ(zyGetString(text.get(), buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "caf\xC3\xA9");
  EXPECT_EQ(zyGetString(text.get(), buffer, 5), 1);
  EXPECT_STREQ(buffer, "caf") << "a UTF-8 sequence is never cut in half";
  Array number(zyCreateDoubleScalar(1));
  EXPECT_EQ(zyGetString(number.get(), buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(zyArrayToString(number.get()), nullptr);
}

}  // namespace
