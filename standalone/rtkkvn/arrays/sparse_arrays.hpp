#pragma once
// Sparse arrays made from index and value lists, and single elements of raw sparse arrays read
// and written by row and column. Call with the global mutex held; failures throw.

#include <cstddef>
#include <exception>

#include "zy.h"

// Thrown for an index 0 where indices count from 1. Carries no text of its own: the last error
// then reads whatever the standard library gives a plain std::exception.
struct IndexTranslator {
  class negative_index_exception : public std::exception {};
};

// Thrown for an index above the number of rows or columns given. No text of its own.
template <typename Value>
struct RangeMaxChecker {
  class overflow_exception : public std::exception {};
};

namespace rtkkvn::arrays {

// The element lists of a sparse construction: each list has `count` entries, or one entry that
// stands for every element. rows and columns count from 1. real and imag point at doubles for
// double arrays and at zyLogical bytes for logical ones; imag is NULL for real arrays.
struct SparseLists {
  size_t rowCount;
  const size_t* rows;
  size_t columnCount;
  const size_t* columns;
  size_t dataCount;
  const void* real;
  const void* imag;
};

// A new m-by-n sparse array of class (zyDOUBLE_CLASS or zyLOGICAL_CLASS) from the lists; with
// inferSize the size is taken from the largest row and column index given. Zero values are
// left out, the rest sorted into column-major order and elements at the same place summed
// (logical: combined with or). Throws SparseInvalidInitialDataException,
// SparseInvalidNzmaxException, SparseNotSupportedException, ComplexNotSupportedException,
// IndexTranslator::negative_index_exception, RangeMaxChecker<unsigned long long>::
// overflow_exception, or std::runtime_error when the array cannot be made.
zyArray* buildSparse(const SparseLists& lists, size_t rows, size_t columns, bool inferSize,
                     size_t nzmax, int classId, zyComplexity complexity);

// Which part of an element a raw element access means.
enum class ElementPart { kWhole = 0, kReal = 1, kImaginary = 2 };

// A new 1-by-1 array holding the element (row, column) of a sparse array, or zero when it is
// not stored; indices must be exactly two.
zyArray* readSparseElement(const zyArray* array, size_t count, const size_t* indices,
                           ElementPart part);

// Stores the first value of source into the element (row, column) of a sparse target.
void writeSparseElement(zyArray* target, const zyArray* source, size_t count, const size_t* indices,
                        ElementPart part);

}  // namespace rtkkvn::arrays
