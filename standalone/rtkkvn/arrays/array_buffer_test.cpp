#include "rtkkvn/arrays/array_buffer.hpp"

#include <gtest/gtest.h>

#include "rtkkvn/arrays/array_ref.hpp"
#include "rtkkvn/arrays/char_buffer.hpp"
#include "rtkkvn/arrays/test_support.hpp"

namespace {

using namespace rtkkvn::arrays::testing;

Held<ArrayBuffer> listOf(std::initializer_list<double> values) {
  Held<ArrayBuffer> list = hold(new ArrayBuffer(0));
  for (double value : values) list->add(doubles(1, 1, {value}).get());
  return list;
}

double valueAt(array_buffer* list, size_t index) {
  Held<array_ref> entry = hold(list->get(index));
  return entry ? valueOf(entry.get()) : -999;
}

using ArrayLists = PooledObjectsTest;

TEST_F(ArrayLists, EntriesHoldTheirOwnReferences) {
  Held<array_ref> shared = doubles(1, 1, {1});
  Held<ArrayBuffer> list = hold(new ArrayBuffer(2));
  EXPECT_EQ(list->size(), 2u);
  ASSERT_EQ(list->set(1, shared.get()), 0);
  ASSERT_EQ(list->set(1, shared.get()), 0) << "storing the same entry again keeps it alive";
  EXPECT_EQ(shared->addref(), 3) << "ours, the list's, and this one";
  shared->release();

  // A NULL entry reads as a new empty array, which the list then keeps.
  Held<array_ref> empty = hold(list->get(2));
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->is_empty());
  EXPECT_EQ(empty->addref(), 3);
  empty->release();

  EXPECT_EQ(list->get(0), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 0  in array of size 2");
  EXPECT_EQ(list->set(3, shared.get()), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 3  in array of size 2");
}

TEST_F(ArrayLists, RemoveMovesLaterEntriesDown) {
  Held<ArrayBuffer> list = listOf({10, 20, 30});
  ASSERT_EQ(list->remove(1), 0);
  EXPECT_EQ(list->size(), 2u);
  EXPECT_EQ(valueAt(list.get(), 1), 20);
  EXPECT_EQ(valueAt(list.get(), 2), 30);
  EXPECT_EQ(list->remove(3), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 3  in array of size 2");
}

TEST_F(ArrayLists, GrowIntoAPoolBlockAndShrinkBackInside) {
  Held<ArrayBuffer> list = listOf({1, 2, 3, 4, 5});
  EXPECT_TRUE(list->usesInlineStorage());
  list->add(doubles(1, 1, {6}).get());
  EXPECT_FALSE(list->usesInlineStorage()) << "a sixth entry moves the list into a block";
  for (double value = 7; value <= 40; ++value) list->add(doubles(1, 1, {value}).get());
  EXPECT_EQ(list->size(), 40u);
  for (size_t i = 1; i <= 40; ++i) ASSERT_EQ(valueAt(list.get(), i), static_cast<double>(i));

  for (size_t left = 40; left > 5; --left) ASSERT_EQ(list->remove(left), 0);
  EXPECT_TRUE(list->usesInlineStorage()) << "five entries move back inside";
  EXPECT_EQ(valueAt(list.get(), 5), 5);
  list->add(nullptr);
  ASSERT_EQ(list->clear(), 0);
  EXPECT_TRUE(list->usesInlineStorage());
  EXPECT_EQ(list->size(), 0u);

  Held<ArrayBuffer> presized = hold(new ArrayBuffer(9));
  EXPECT_FALSE(presized->usesInlineStorage());
  EXPECT_TRUE(hold(presized->get(9))->is_empty());
}

TEST_F(ArrayLists, ToCellSharesTheEntriesArrays) {
  Held<ArrayBuffer> list = listOf({1, 2, 3});
  list->add(nullptr);  // read as a new empty array of class 0
  Held<array_ref> cell = hold(list->to_cell(2, 3));
  ASSERT_NE(cell, nullptr) << takeLastError();
  EXPECT_EQ(cell->classID(), zyCELL_CLASS);
  EXPECT_EQ(text(cell->to_string()), "{[2]}    {[3]}    {[0x0 unknown]}");
  // The cell holds copies: changing an entry afterwards leaves it.
  const double changed = 99;
  hold(list->get(2))->set_numeric_zyDouble(&changed, 1);
  EXPECT_EQ(text(cell->to_string()), "{[2]}    {[3]}    {[0x0 unknown]}");

  Held<array_ref> none = hold(list->to_cell(1, 0));
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(none->is_empty());
  EXPECT_EQ(list->to_cell(2, 4), nullptr);
  EXPECT_EQ(takeLastError(), "Index out of bounds");
  Held<ArrayBuffer> empty = hold(new ArrayBuffer(0));
  EXPECT_EQ(empty->to_cell(1, 0), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 1  in array of size 0");
}

using CharBuffers = PooledObjectsTest;

TEST_F(CharBuffers, HoldBytesAndCompareThemInOrder) {
  Held<CharBuffer> none = hold(new CharBuffer(static_cast<const char*>(nullptr)));
  EXPECT_EQ(none->size(), 0u);
  EXPECT_STREQ(none->get_buffer(), "");
  EXPECT_EQ(none->compare_to(nullptr), -1);

  Held<CharBuffer> abc = hold(new CharBuffer("abc"));
  Held<CharBuffer> ab = hold(new CharBuffer("ab"));
  Held<CharBuffer> high = hold(new CharBuffer("ab\xe9"));
  EXPECT_EQ(ab->compare_to(abc.get()), -1) << "a proper prefix first";
  EXPECT_EQ(abc->compare_to(ab.get()), 1);
  EXPECT_EQ(abc->compare_to(high.get()), -1) << "bytes compare unsigned";
  ASSERT_EQ(ab->set_buffer("abc"), 0);
  EXPECT_EQ(ab->compare_to(abc.get()), 0);
  ASSERT_EQ(ab->set_buffer(nullptr), 0);
  EXPECT_EQ(ab->size(), 0u);
}

}  // namespace
