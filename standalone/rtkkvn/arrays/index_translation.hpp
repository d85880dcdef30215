#pragma once
// Index translation: from indices counting from 1 to the offset of a data element, with the
// messages client code sees when an index is wrong. Call with the global mutex held.

#include <cstddef>

#include "zy.h"

namespace rtkkvn::arrays {

// The number of data elements an index may address: 0 for an empty array, the stored elements of
// a sparse array, elements times fields for struct and object arrays, else the elements.
size_t dataCount(const zyArray* array);

// The offset to read. One index is linear over dataCount; otherwise one index per dimension.
// For a sparse array *found (when not null) tells whether the element is stored; if not, the
// offset is where it would be stored. Throws IllegalArgumentException or
// IndexOutOfBoundsException.
size_t readOffset(const zyArray* array, size_t count, const size_t* indices, bool* found);

// The offset to write: one index per dimension. A sparse element that is not stored is stored as
// zero first (the storage grows when it is full; MemoryException when it cannot).
size_t writeOffset(zyArray* array, size_t count, const size_t* indices);

// The offset of field of the element at the indices (one linear index over the elements, or one
// per dimension) in a struct array: field + number of fields * element offset.
size_t fieldOffset(const zyArray* array, const char* field, size_t count, const size_t* indices);

// The position of the stored element (row, column) of a sparse array, both counting from 0; when
// it is not stored, *found is false and the position is where it would go.
size_t findSparseElement(const zyArray* array, size_t row, size_t column, bool* found);

// The position of the element (row, column), from 0, stored as zero when it was not stored.
size_t storeSparseElement(zyArray* array, size_t row, size_t column);

}  // namespace rtkkvn::arrays
