// Ownership of cell elements and struct fields. Run under AddressSanitizer, a double free or a
// leak in any of these fails the test run.

#include <gtest/gtest.h>

#include "zy.h"
#include "zy/array.hpp"
#include "zy/matrix.hpp"

namespace {

using Array = matrix::unique_array;

TEST(ZyCell, ContainerOwnsAndReplacesElements) {
  Array cell(zyCreateCellMatrix(2, 1));
  EXPECT_EQ(zyGetCellConst(cell.get(), 0), nullptr) << "new cells are empty";
  ASSERT_EQ(zySetCell(cell.get(), 0, zyCreateString("first")), 0);
  ASSERT_EQ(zySetCell(cell.get(), 1, zyCreateDoubleScalar(2)), 0);

  // Replacing: take the old element for writing, store the new one, destroy the old one.
  zyArray* old = zyGetCell(cell.get(), 0);
  ASSERT_EQ(zySetCell(cell.get(), 0, zyCreateString("second")), 0);
  zyDestroyArray(old);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 0)), "second");

  zyArray* refused = zyCreateDoubleScalar(1);
  EXPECT_EQ(zySetCell(cell.get(), 2, refused), -1) << "index outside the cell";
  EXPECT_EQ(zySetCell(cell.get(), 0, cell.get()), -1) << "a cell cannot hold itself";
  zyDestroyArray(refused);
  Array number(zyCreateDoubleScalar(1));
  EXPECT_EQ(zySetCell(number.get(), 0, nullptr), -1);
  EXPECT_EQ(zyGetCell(number.get(), 0), nullptr);
}

TEST(ZyCell, WritingASharedCellLeavesItsTwinAlone) {
  Array cell(zyCreateCellMatrix(1, 2));
  zySetCell(cell.get(), 0, zyCreateString("kept"));
  zySetCell(cell.get(), 1, zyCreateString("also kept"));
  Array twin(zyCreateSharedDataCopy(cell.get()));
  EXPECT_EQ(zyGetCellConst(twin.get(), 0), zyGetCellConst(cell.get(), 0))
      << "an unpinned cell shares its element headers";

  // No one took the twin's element, so storing over it must not leak the private copy made.
  ASSERT_EQ(zySetCell(twin.get(), 0, zyCreateString("changed")), 0);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 0)), "kept");
  EXPECT_EQ(matrix::get_string(zyGetCellConst(twin.get(), 0)), "changed");
  EXPECT_EQ(matrix::get_string(zyGetCellConst(twin.get(), 1)), "also kept");

  // Writing a nested element through the twin must not reach the original either.
  zyArray* element = zyGetCell(twin.get(), 1);
  zyGetChars(element)[0] = u'A';
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 1)), "also kept");
  EXPECT_EQ(matrix::get_string(zyGetCellConst(twin.get(), 1)), "Also kept");
}

// Every cell without elements shares one storage, which is never freed or written: whatever
// writes such a cell (growing it, handing out its data) gives it storage of its own first.
TEST(ZyCell, EmptyCellsShareAStorageThatNoWriteOrFreeReaches) {
  for (int round = 0; round < 2; ++round) {  // the second round uses the storage after frees
    Array a(zyCreateCellMatrix(0, 0));
    Array b(zyCreateCellMatrix(1, 0));
    Array twin(zyCreateSharedDataCopy(a.get()));
    EXPECT_TRUE(a->sharesData() && b->sharesData() && twin->sharesData());
    const size_t pair[] = {1, 2};
    ASSERT_EQ(zyResizeContainer(b.get(), pair, 2), 0);
    ASSERT_EQ(zySetCell(b.get(), 1, zyCreateString("b")), 0);
    EXPECT_EQ(zyGetData(twin.get()), nullptr) << "no elements, no block";
    EXPECT_FALSE(twin->sharesData()) << "data handed out for writing is the cell's own";
    EXPECT_EQ(zyGetNumberOfElements(a.get()), 0u);
    EXPECT_TRUE(a->sharesData());
    EXPECT_EQ(matrix::get_string(zyGetCellConst(b.get(), 1)), "b");
  }
}

// A container with two slots keeps them inside its storage: whatever hands them out, grows them
// or replaces their block gives them a block of their own first (under ASan a free or realloc of
// the storage's inside fails loudly).
TEST(ZyCell, TwoSlotsHandedOutOrGrownMoveToABlockOfTheirOwn) {
  Array cell(zyCreateCellMatrix(1, 2));
  zySetCell(cell.get(), 0, zyCreateString("left"));
  zySetCell(cell.get(), 1, zyCreateString("right"));
  auto** slots = static_cast<zyArray**>(zyGetData(cell.get()));
  ASSERT_NE(slots, nullptr);
  auto** swapped = static_cast<zyArray**>(zyCalloc(2, sizeof(zyArray*)));
  swapped[0] = slots[1];
  swapped[1] = slots[0];
  ASSERT_EQ(zySetData(cell.get(), swapped), 0);
  zyFree(slots);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 0)), "right");

  Array pair(zyCreateCellMatrix(2, 1));
  zySetCell(pair.get(), 1, zyCreateString("kept"));
  const size_t four[] = {4, 1};
  ASSERT_EQ(zyResizeContainer(pair.get(), four, 2), 0);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(pair.get(), 1)), "kept");
  EXPECT_EQ(zyGetCellConst(pair.get(), 3), nullptr);

  const char* names[] = {"a"};
  Array structure(zyCreateStructMatrix(1, 2, 1, names));
  zySetField(structure.get(), 1, "a", zyCreateString("y"));
  ASSERT_EQ(zyAddField(structure.get(), "b"), 1);
  EXPECT_EQ(matrix::get_string(zyGetFieldConst(structure.get(), 1, "a")), "y");
  EXPECT_EQ(zyGetFieldConst(structure.get(), 1, "b"), nullptr);
}

// A container's first header and its storage are one block, which must stay while either is in
// use: a copy that shares the storage outlives the header, and a header whose write gave it a
// storage of its own outlives the copy (ASan sees any early free).
TEST(ZyCell, ContainerBlockStaysWhileItsHeaderOrItsStorageIsInUse) {
  for (const bool writeFirst : {false, true}) {
    zyArray* cell = zyCreateCellMatrix(1, 2);
    zySetCell(cell, 0, zyCreateString("left"));
    zyArray* twin = zyCreateSharedDataCopy(cell);
    if (writeFirst) {
      ASSERT_EQ(zySetCell(cell, 1, zyCreateString("right")), 0);  // cell gets its own storage
      zyDestroyArray(twin);
      EXPECT_EQ(matrix::get_string(zyGetCellConst(cell, 1)), "right");
      EXPECT_EQ(matrix::get_string(zyGetCellConst(cell, 0)), "left");
      zyDestroyArray(cell);
    } else {
      zyDestroyArray(cell);
      EXPECT_EQ(matrix::get_string(zyGetCellConst(twin, 0)), "left");
      ASSERT_EQ(zySetCell(twin, 1, zyCreateString("right")), 0);
      zyDestroyArray(twin);
    }
  }
}

TEST(ZyCell, ElementsHandedOutForWritingAreNeverSharedAgain) {
  Array cell(zyCreateCellMatrix(1, 1));
  zySetCell(cell.get(), 0, zyCreateString("mine"));
  zyArray* taken = zyGetCell(cell.get(), 0);
  // A copy made now must not share the element the caller holds: the caller may replace and
  // destroy it, which must not leave the copy pointing at freed memory.
  Array copy(zyCreateSharedDataCopy(cell.get()));
  EXPECT_NE(zyGetCellConst(copy.get(), 0), taken);
  ASSERT_EQ(zySetCell(cell.get(), 0, zyCreateString("new")), 0);
  zyDestroyArray(taken);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(copy.get(), 0)), "mine");
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 0)), "new");
}

TEST(ZyCell, ExchangedElementsLeaveTheContainerShareable) {
  Array cell(zyCreateCellMatrix(1, 2));
  zySetCell(cell.get(), 0, zyCreateString("first"));
  Array twin(zyCreateSharedDataCopy(cell.get()));
  zyArray* old = nullptr;
  ASSERT_EQ(zyExchangeCell(cell.get(), 0, zyCreateString("second"), &old), 0);
  EXPECT_EQ(matrix::get_string(old), "first") << "a fresh header of the shared element";
  zyDestroyArray(old);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(twin.get(), 0)), "first");
  ASSERT_EQ(zyExchangeCell(cell.get(), 1, nullptr, &old), 0);
  EXPECT_EQ(old, nullptr) << "an empty slot";
  // Nothing was handed out for writing: copies share the data again.
  Array copy(zyCreateSharedDataCopy(cell.get()));
  EXPECT_TRUE(copy->sharesData());
  EXPECT_EQ(zyGetCellConst(copy.get(), 0), zyGetCellConst(cell.get(), 0));

  const char* names[] = {"a"};
  Array structure(zyCreateStructMatrix(1, 1, 1, names));
  ASSERT_EQ(zyExchangeField(structure.get(), 0, 0, zyCreateDoubleScalar(1), &old), 0);
  EXPECT_EQ(old, nullptr);
  ASSERT_EQ(zyExchangeField(structure.get(), 0, 0, zyCreateDoubleScalar(2), &old), 0);
  EXPECT_EQ(*old->elements<double>(), 1);
  zyDestroyArray(old);
  Array structureCopy(zyCreateSharedDataCopy(structure.get()));
  EXPECT_TRUE(structureCopy->sharesData());

  zyArray* refused = zyCreateDoubleScalar(3);
  EXPECT_EQ(zyExchangeCell(cell.get(), 2, refused, &old), -1) << "index outside the cell";
  EXPECT_EQ(zyExchangeField(structure.get(), 0, 1, refused, &old), -1) << "no such field";
  EXPECT_EQ(zyExchangeField(cell.get(), 0, 0, refused, &old), -1) << "no struct";
  zyDestroyArray(refused);
}

TEST(ZyCell, ResizingCellsAndStructsKeepsElementsAndLeavesRoom) {
  Array cell(zyCreateCellMatrix(0, 0));
  const size_t row[] = {1, 3};
  ASSERT_EQ(zyResizeContainer(cell.get(), row, 2), 0);
  zySetCell(cell.get(), 2, zyCreateString("third"));
  Array twin(zyCreateSharedDataCopy(cell.get()));
  const size_t longer[] = {1, 5};
  ASSERT_EQ(zyResizeContainer(cell.get(), longer, 2), 0) << "a shared cell is unshared first";
  EXPECT_EQ(zyGetNumberOfElements(twin.get()), 3u);
  EXPECT_EQ(zyGetNumberOfElements(cell.get()), 5u);
  EXPECT_EQ(matrix::get_string(zyGetCellConst(cell.get(), 2)), "third");
  for (size_t i : {0, 1, 3, 4}) EXPECT_EQ(zyGetCellConst(cell.get(), i), nullptr) << i;
  // Growing one element at a time mostly finds room already there.
  size_t moves = 0;
  for (size_t n = 6; n <= 1000; ++n) {
    const void* before = zyGetDataConst(cell.get());
    const size_t dims[] = {1, n};
    ASSERT_EQ(zyResizeContainer(cell.get(), dims, 2), 0);
    zySetCell(cell.get(), n - 1, zyCreateDoubleScalar(static_cast<double>(n)));
    moves += zyGetDataConst(cell.get()) != before;
  }
  EXPECT_LE(moves, 10u);
  EXPECT_EQ(*zyGetCellConst(cell.get(), 999)->elements<double>(), 1000);

  // A struct array grows element by element, each new one with every field empty.
  const char* names[] = {"a", "b"};
  Array structure(zyCreateStructMatrix(1, 1, 2, names));
  zySetField(structure.get(), 0, "b", zyCreateString("kept"));
  const size_t three[] = {1, 3};
  ASSERT_EQ(zyResizeContainer(structure.get(), three, 2), 0);
  EXPECT_EQ(matrix::get_string(zyGetFieldConst(structure.get(), 0, "b")), "kept");
  EXPECT_EQ(zyGetFieldConst(structure.get(), 2, "a"), nullptr);
  EXPECT_EQ(zySetField(structure.get(), 2, "b", zyCreateString("last")), 0);

  // Shrinking destroys the elements past the end (a leak or a double free fails under the
  // sanitizers) and leaves their slots empty for growing again.
  const size_t fewer[] = {1, 2};
  ASSERT_EQ(zyResizeContainer(cell.get(), fewer, 2), 0);
  ASSERT_EQ(zyResizeContainer(cell.get(), longer, 2), 0);
  for (size_t i : {2, 3, 4}) EXPECT_EQ(zyGetCellConst(cell.get(), i), nullptr) << i;
  const size_t one[] = {1, 1};
  ASSERT_EQ(zyResizeContainer(structure.get(), one, 2), 0);
  EXPECT_EQ(matrix::get_string(zyGetFieldConst(structure.get(), 0, "b")), "kept");
  Array number(zyCreateDoubleScalar(1));
  EXPECT_EQ(zyResizeContainer(number.get(), longer, 2), -1);
}

TEST(ZyCell, RemovingElementsMovesTheRestDownInPlace) {
  // A cell queue of 1..5: the first and a middle run go, the rest keep their order.
  Array cell(zyCreateCellMatrix(1, 5));
  for (size_t i = 0; i < 5; ++i) zySetCell(cell.get(), i, zyCreateDoubleScalar(i + 1.0));
  Array twin(zyCreateSharedDataCopy(cell.get()));
  const size_t four[] = {1, 4};
  ASSERT_EQ(zyRemoveElements(cell.get(), 0, 1, four, 2), 0);
  const size_t two[] = {2, 1};
  ASSERT_EQ(zyRemoveElements(cell.get(), 1, 2, two, 2), 0);
  EXPECT_EQ(zyGetM(cell.get()), 2u);
  EXPECT_EQ(*zyGetCellConst(cell.get(), 0)->elements<double>(), 2);
  EXPECT_EQ(*zyGetCellConst(cell.get(), 1)->elements<double>(), 5);
  EXPECT_EQ(zyGetNumberOfElements(twin.get()), 5u) << "a shared cell is unshared first";
  EXPECT_EQ(*zyGetCellConst(twin.get(), 1)->elements<double>(), 2);
  // The slots left behind are empty: growing again finds no stale element (nor a double free).
  const size_t three[] = {1, 3};
  ASSERT_EQ(zyResizeContainer(cell.get(), three, 2), 0);
  EXPECT_EQ(zyGetCellConst(cell.get(), 2), nullptr);

  // A struct element is all its fields.
  const char* names[] = {"a", "b"};
  Array structure(zyCreateStructMatrix(1, 3, 2, names));
  for (size_t e = 0; e < 3; ++e) {
    zySetField(structure.get(), e, "a", zyCreateDoubleScalar(e + 1.0));
    zySetField(structure.get(), e, "b", zyCreateDoubleScalar(-(e + 1.0)));
  }
  const size_t pair[] = {1, 2};
  ASSERT_EQ(zyRemoveElements(structure.get(), 0, 1, pair, 2), 0);
  EXPECT_EQ(*zyGetFieldConst(structure.get(), 0, "a")->elements<double>(), 2);
  EXPECT_EQ(*zyGetFieldConst(structure.get(), 1, "b")->elements<double>(), -3);

  // Numbers, both parts of complex ones, and chars.
  Array numbers(zyCreateDoubleMatrix(1, 4, zyCOMPLEX));
  auto* re = static_cast<double*>(zyGetData(numbers.get()));
  auto* im = static_cast<double*>(zyGetImagData(numbers.get()));
  for (int i = 0; i < 4; ++i) re[i] = i, im[i] = 10 * i;
  const size_t one[] = {1, 1};
  ASSERT_EQ(zyRemoveElements(numbers.get(), 1, 3, one, 2), 0);
  ASSERT_EQ(zyRemoveElements(numbers.get(), 0, 0, one, 2), 0);
  EXPECT_EQ(re[0], 0);
  Array text(zyCreateString("queue"));
  ASSERT_EQ(zyRemoveElements(text.get(), 0, 2, three, 2), 0);
  EXPECT_EQ(matrix::get_string(text.get()), "eue");

  // Refused: a range past the end, a shape of another count, a sparse array.
  EXPECT_EQ(zyRemoveElements(text.get(), 2, 2, one, 2), -1);
  EXPECT_EQ(zyRemoveElements(text.get(), 0, 1, one, 2), -1);
  Array sparse(zyCreateSparse(2, 2, 1, zyREAL));
  EXPECT_EQ(zyRemoveElements(sparse.get(), 0, 1, three, 2), -1);
  EXPECT_EQ(matrix::get_string(text.get()), "eue");
}

TEST(ZyStruct, FieldsAreLaidOutFieldPlusFieldsTimesElement) {
  const char* names[] = {"a", "b"};
  Array structure(zyCreateStructMatrix(1, 2, 2, names));
  ASSERT_EQ(zySetField(structure.get(), 1, "a", zyCreateDoubleScalar(3)), 0);
  ASSERT_EQ(zySetFieldByNumber(structure.get(), 0, 1, zyCreateDoubleScalar(4)), 0);
  auto* const* slots = static_cast<zyArray* const*>(zyGetDataConst(structure.get()));
  EXPECT_EQ(slots[0 + 2 * 1], zyGetFieldConst(structure.get(), 1, "a"));
  EXPECT_EQ(slots[1 + 2 * 0], zyGetFieldConst(structure.get(), 0, "b"));
  EXPECT_EQ(zyGetFieldNumber(structure.get(), "b"), 1);
  EXPECT_EQ(zyGetFieldNumber(structure.get(), "c"), -1);
  EXPECT_STREQ(zyGetFieldNameByNumber(structure.get(), 0), "a");
  EXPECT_EQ(zyGetFieldNameByNumber(structure.get(), 2), nullptr);
  EXPECT_EQ(zySetField(structure.get(), 0, "missing", nullptr), -1);
  EXPECT_EQ(zySetField(structure.get(), 2, "a", nullptr), -1);
}

TEST(ZyStruct, AddingAndRemovingFieldsMovesEveryValue) {
  const char* names[] = {"x", "y"};
  Array structure(zyCreateStructMatrix(2, 1, 2, names));
  for (size_t element = 0; element < 2; ++element) {
    zySetField(structure.get(), element, "x", zyCreateDoubleScalar(10.0 + element));
    zySetField(structure.get(), element, "y", zyCreateDoubleScalar(20.0 + element));
  }
  EXPECT_EQ(zyAddField(structure.get(), "z"), 2);
  EXPECT_EQ(zyAddField(structure.get(), "x"), 0) << "an existing name keeps its number";
  EXPECT_EQ(zyAddField(structure.get(), ""), -1);
  EXPECT_EQ(zyGetFieldConst(structure.get(), 1, "z"), nullptr);
  zySetField(structure.get(), 1, "z", zyCreateDoubleScalar(31));
  EXPECT_EQ(*static_cast<const double*>(zyGetDataConst(zyGetFieldConst(structure.get(), 1, "y"))),
            21);

  ASSERT_EQ(zyRemoveField(structure.get(), 0), 0);  // destroys both x values
  EXPECT_EQ(zyGetNumberOfFields(structure.get()), 2);
  EXPECT_EQ(zyGetFieldNumber(structure.get(), "x"), -1);
  EXPECT_EQ(*static_cast<const double*>(zyGetDataConst(zyGetFieldConst(structure.get(), 0, "y"))),
            20);
  EXPECT_EQ(*static_cast<const double*>(zyGetDataConst(zyGetFieldConst(structure.get(), 1, "z"))),
            31);
  EXPECT_EQ(zyRemoveField(structure.get(), 5), -1);
}

TEST(ZyStruct, SharedStructChangesOnlyTheWriter) {
  const char* names[] = {"name"};
  Array structure(zyCreateStructMatrix(1, 1, 1, names));
  zySetField(structure.get(), 0, "name", zyCreateString("old"));
  Array twin(zyCreateSharedDataCopy(structure.get()));
  ASSERT_EQ(zyAddField(twin.get(), "extra"), 1);
  EXPECT_EQ(zyGetNumberOfFields(structure.get()), 1);
  zyArray* taken = zyGetField(twin.get(), 0, "name");
  zySetField(twin.get(), 0, "name", zyCreateString("new"));
  zyDestroyArray(taken);
  EXPECT_EQ(matrix::get_string(zyGetFieldConst(structure.get(), 0, "name")), "old");
  EXPECT_EQ(matrix::get_string(zyGetFieldConst(twin.get(), 0, "name")), "new");
}

}  // namespace
