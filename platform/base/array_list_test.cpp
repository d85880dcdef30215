#include "base/array_list.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string text(const zyArray* array) {
  char* chars = zyArrayToString(array);
  std::string result = chars ? chars : "<null>";
  zyFree(chars);
  return result;
}

TEST(ArrayList, ArgvBecomesCharArraysAndIsFreedWhole) {
  const char* argv[] = {"alpha", nullptr, "grüße"};
  zyArray** list = rtkArgv2ZyArrayList(3, argv);
  EXPECT_EQ(text(list[0]), "alpha");
  EXPECT_EQ(zyGetClassID(list[1]), zyCHAR_CLASS);
  EXPECT_TRUE(zyIsEmpty(list[1]));
  EXPECT_EQ(text(list[2]), "grüße");
  EXPECT_EQ(zyGetN(list[2]), 5u);  // five characters, not seven bytes
  rtkFreeArrayList(3, list);       // LeakSanitizer checks that arrays and list are gone

  zyArray** none = rtkArgv2ZyArrayList(0, nullptr);
  ASSERT_NE(none, nullptr);
  rtkFreeArrayList(0, none);
  rtkFreeArrayList(2, nullptr);
}

TEST(ArrayList, UnsharedArraysCannotBeChangedThroughTheirTwins) {
  zyArray* engineValue = zyCreateDoubleMatrix(1, 3, zyREAL);
  zyGetPr(engineValue)[0] = 1;
  zyArray** list = rtkNewArrayList(2);
  list[0] = zyCreateSharedDataCopy(engineValue);
  rtkUnshareArrayList(2, list);
  // Reading the engine's data without writing must not change the caller's copy; the data
  // blocks are separate now.
  EXPECT_NE(static_cast<const double*>(zyGetDataConst(list[0])),
            static_cast<const double*>(zyGetDataConst(engineValue)));
  zyGetPr(engineValue)[0] = 99;
  EXPECT_EQ(static_cast<const double*>(zyGetDataConst(list[0]))[0], 1);
  zyDestroyArray(engineValue);
  rtkFreeArrayList(2, list);
}

TEST(ArrayList, CellAdoptsTheArraysAndEmptiesTheList) {
  zyArray** list = rtkNewArrayList(3);
  list[0] = zyCreateString("first");
  list[2] = zyCreateDoubleScalar(7);
  zyArray* cell = rtkCreateCellArrayFromArrayList(3, list);
  EXPECT_EQ(zyGetM(cell), 1u);
  EXPECT_EQ(zyGetN(cell), 3u);
  EXPECT_EQ(text(zyGetCellConst(cell, 0)), "first");
  const zyArray* placeholder = zyGetCellConst(cell, 1);
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(zyGetClassID(placeholder), zyDOUBLE_CLASS);
  EXPECT_TRUE(zyIsEmpty(placeholder));
  EXPECT_EQ(static_cast<const double*>(zyGetDataConst(zyGetCellConst(cell, 2)))[0], 7);
  EXPECT_EQ(list[0], nullptr);
  EXPECT_EQ(list[2], nullptr);
  rtkFreeArrayList(3, list);  // nothing left to destroy twice
  zyDestroyArray(cell);
}

TEST(ArrayList, LocalScopeIsRecorded) {
  zyArray* array = zyCreateDoubleScalar(1);
  EXPECT_EQ(zyGetArrayScope(array), zySCOPE_OWNED);
  rtkMakeZyArrayLocalScope(array);
  EXPECT_EQ(zyGetArrayScope(array), zySCOPE_LOCAL);
  rtkMakeZyArrayLocalScope(nullptr);
  zyDestroyArray(array);
}

}  // namespace
