#include "rtkkvn/arrays/array_data.hpp"

#include <gtest/gtest.h>

#include "rtkkvn/arrays/array_ref.hpp"
#include "rtkkvn/arrays/test_support.hpp"

namespace {

using namespace rtkkvn::arrays::testing;

const size_t kFirst = 1;

// ---- Part views -------------------------------------------------------------------------------

using PartViews = PooledObjectsTest;

TEST_F(PartViews, ReadAndWriteTheirPartOfTheSource) {
  Held<array_ref> complex = doubles(1, 3, {1, 2, 3}, {-1, -2, -3});
  Held<array_ref> re = hold(complex->real());
  Held<array_ref> im = hold(complex->imag());
  ASSERT_TRUE(re && im);
  EXPECT_EQ(valuesOf(re.get(), 3), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(valuesOf(im.get(), 3), (std::vector<double>{-1, -2, -3}));
  EXPECT_EQ(im->number_of_elements(), 3) << "pure queries are the source's";

  const double twice[] = {-10, -20, -30};
  ASSERT_EQ(im->set_numeric_zyDouble(twice, 3), 0);
  zyArray* raw = dynamic_cast<ArrayRef*>(complex.get())->get_zyArray();
  EXPECT_EQ(zyGetPi(raw)[2], -30);
  EXPECT_EQ(zyGetPr(raw)[2], 3);

  // Copies and printed forms hold the part alone.
  Held<array_ref> imCopy = hold(im->deep_copy());
  EXPECT_FALSE(imCopy->is_complex());
  EXPECT_EQ(valuesOf(imCopy.get(), 3), (std::vector<double>{-10, -20, -30}));
  EXPECT_EQ(text(re->to_string()), "1   2   3");
  EXPECT_TRUE(re->equals(doubles(1, 3, {1, 2, 3}).get()));
}

// Parts that do not exist: the imaginary part of a view or of a real array, parts of containers.
TEST_F(PartViews, RealOfAnImaginaryViewStaysImaginaryAndMissingPartsFail) {
  Held<array_ref> complex = doubles(1, 1, {4}, {5});
  Held<array_ref> im = hold(complex->imag());
  Held<array_ref> again = hold(im->real());
  EXPECT_EQ(valueOf(again.get()), 5);
  EXPECT_EQ(im->imag(), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  EXPECT_EQ(im->make_complex(), -1);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  EXPECT_EQ(im->set(complex.get()), -1);
  EXPECT_EQ(takeLastError(), "Array conversion error");
  EXPECT_EQ(im->get_field_name(0), nullptr);
  EXPECT_EQ(takeLastError(), "Field name indexing not supported for this type");
  EXPECT_EQ(doubles(1, 2, {1, 2})->imag(), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  Held<array_ref> cell = wrap(zyCreateCellMatrix(1, 1));
  EXPECT_EQ(cell->real(), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot convert type: cell to type: numeric");
}

TEST_F(PartViews, KeepTheirSourceAliveAndDetachGivesItUp) {
  array_ref* source = doubles(1, 2, {3, 4}, {1, 1}).release();
  Held<array_ref> re = hold(source->real());
  source->release();  // the view's reference keeps it
  EXPECT_EQ(valuesOf(re.get(), 2), (std::vector<double>{3, 4}));
  Held<array_ref> copy = hold(re->shared_copy());
  re->detach();
  EXPECT_EQ(re->classID(), 0);
  EXPECT_EQ(takeLastError(), "Null Pointer");
  EXPECT_EQ(valuesOf(copy.get(), 2), (std::vector<double>{3, 4}));
}

TEST_F(PartViews, SparsePartsAreSparse) {
  Held<array_ref> stored = sparse(3, 3, {{0, 0, 2}, {2, 1, 5}});
  ASSERT_EQ(stored->make_complex(), 0);
  Held<array_ref> im = hold(stored->imag());
  Held<array_ref> imCopy = hold(im->deep_copy());
  EXPECT_TRUE(imCopy->is_sparse());
  EXPECT_FALSE(imCopy->is_complex());
  EXPECT_EQ(imCopy->number_of_nonzeros(), 2u);
  Held<array_ref> reCopy = hold(hold(stored->real())->deep_copy());
  EXPECT_EQ(text(reCopy->to_string()), "   (1,1)   2\n   (3,2)   5");
}

// ---- Element references -----------------------------------------------------------------------

using ElementViews = PooledObjectsTest;

TEST_F(ElementViews, ReportOneElementOfShapeOneByOne) {
  Held<array_ref> matrix = doubles(2, 2, {1, 2, 3, 4});
  const size_t at[] = {2, 2};
  Held<array_ref> element = hold(matrix->get_int(2, at));
  EXPECT_EQ(element->number_of_elements(), 1);
  EXPECT_EQ(element->number_of_dimensions(), 2u);
  Held<array_ref> dimensions = hold(element->get_dimensions());
  EXPECT_EQ(dimensions->classID(), zyINT32_CLASS);
  EXPECT_EQ(valuesOf(dimensions.get(), 2), (std::vector<double>{1, 1}));
  EXPECT_EQ(element->classID(), zyDOUBLE_CLASS);

  const size_t oneOne[] = {1, 1};
  Held<array_ref> same = hold(element->get_int(2, oneOne));
  ASSERT_NE(same, nullptr);
  EXPECT_TRUE(same->equals(element.get()));
  EXPECT_EQ(valueOf(same.get()), 4);
  const size_t two = 2;
  EXPECT_EQ(element->get_int(1, &two), nullptr);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 2  in array of size 1");
  EXPECT_EQ(element->get_int(2, at), nullptr);
  EXPECT_EQ(takeLastError(),
            "Attempt to access element at index [2,2] in array of dimensions [1,1]");
  EXPECT_EQ(element->get_const_char("x", 1, &kFirst), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot convert type: double to type: numeric");
  // The element as an array of its own.
  EXPECT_EQ(text(element->to_string()), "4");
  EXPECT_EQ(element->compare_to(doubles(1, 1, {4}).get()), 0);
}

TEST_F(ElementViews, ElementsOfComplexArraysHaveBothParts) {
  Held<array_ref> complex = doubles(1, 2, {1, 2}, {10, 20});
  const size_t second = 2;
  Held<array_ref> element = hold(complex->get_int(1, &second));
  Held<array_ref> im = hold(element->imag());
  ASSERT_NE(im, nullptr) << takeLastError();
  EXPECT_EQ(valueOf(im.get()), 20);
  EXPECT_EQ(valueOf(hold(im->real()).get()), 20) << "real of an imaginary element stays imaginary";
  EXPECT_TRUE(hold(element->deep_copy())->is_complex());

  // A real value sets the imaginary part to zero.
  Held<array_ref> three = doubles(1, 1, {3});
  ASSERT_EQ(element->set(three.get()), 0);
  zyArray* raw = dynamic_cast<ArrayRef*>(complex.get())->get_zyArray();
  EXPECT_EQ(zyGetPr(raw)[1], 3);
  EXPECT_EQ(zyGetPi(raw)[1], 0);
  // Through the imaginary view the value goes to the imaginary part.
  ASSERT_EQ(im->set(three.get()), 0);
  EXPECT_EQ(zyGetPi(raw)[1], 3);
}

TEST_F(ElementViews, AssignmentChecksClassAndComplexity) {
  Held<array_ref> real = doubles(1, 2, {1, 2});
  Held<array_ref> element = hold(real->get_int(1, &kFirst));
  EXPECT_EQ(element->imag(), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  EXPECT_EQ(element->set(doubles(1, 1, {1}, {1}).get()), -1);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
  EXPECT_EQ(element->set(wrap(zyCreateCellMatrix(1, 1)).get()), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access: double with pointer type: cell");
  EXPECT_EQ(element->set(nullptr), -1);
  EXPECT_EQ(takeLastError(), "Null Pointer");

  // Values of other classes are converted into the element's class.
  Held<array_ref> letter = wrap(zyCreateString("A"));
  ASSERT_EQ(element->set(letter.get()), 0);
  EXPECT_EQ(valuesOf(real.get(), 2), (std::vector<double>{65, 2}));
  Held<array_ref> flags = wrap(zyCreateLogicalMatrix(1, 2));
  Held<array_ref> flag = hold(flags->get_int(1, &kFirst));
  ASSERT_EQ(flag->set(doubles(1, 1, {-4}).get()), 0);
  EXPECT_EQ(valuesOf(flags.get(), 2), (std::vector<double>{1, 0}));
}

TEST_F(ElementViews, SparseElementsReadZeroAndAreStoredOnWrite) {
  Held<array_ref> stored = sparse(3, 3, {{0, 0, 1}, {2, 2, 9}}, 2);
  const size_t missing[] = {2, 2};
  Held<array_ref> element = hold(stored->get_int(2, missing));
  ASSERT_NE(element, nullptr) << takeLastError();
  EXPECT_FALSE(element->is_sparse());
  EXPECT_EQ(valueOf(element.get()), 0);
  EXPECT_EQ(stored->number_of_nonzeros(), 2u) << "reading stores nothing";
  EXPECT_EQ(text(element->to_string()), "0");

  const double seven = 7;
  ASSERT_EQ(element->set_numeric_zyDouble(&seven, 1), 0);
  EXPECT_EQ(stored->number_of_nonzeros(), 3u);
  EXPECT_GE(stored->maximum_nonzeros(), 3u) << "the storage grew";
  EXPECT_EQ(valueOf(element.get()), 7);
  // The elements around the new one are intact and in order.
  EXPECT_EQ(valuesOf(hold(stored->row_index()).get(), 3), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(valuesOf(stored.get(), 3), (std::vector<double>{1, 7, 9}));

  // Assignment stores a missing element too; the imaginary part of a real one does not exist.
  const size_t corner[] = {3, 1};
  Held<array_ref> other = hold(stored->get_int(2, corner));
  ASSERT_EQ(other->set(doubles(1, 1, {-2}).get()), 0);
  EXPECT_EQ(stored->number_of_nonzeros(), 4u);
  EXPECT_EQ(other->imag(), nullptr);
  EXPECT_EQ(takeLastError(), "Cannot access the imaginary part of a pure-real array");
}

TEST_F(ElementViews, AStaleOffsetIsRefusedNotFollowed) {
  Held<array_ref> matrix = doubles(1, 4, {1, 2, 3, 4});
  const size_t last = 4;
  Held<array_ref> element = hold(matrix->get_int(1, &last));
  ASSERT_EQ(matrix->set(doubles(1, 1, {0}).get()), 0);  // the source shrinks
  double value = 0;
  EXPECT_EQ(element->get_numeric_zyDouble(&value, 1), -1);
  EXPECT_EQ(takeLastError(), "Attempt to access element at index 4  in array of size 1");
}

}  // namespace
