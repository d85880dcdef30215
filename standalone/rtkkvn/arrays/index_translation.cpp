#include "rtkkvn/arrays/index_translation.hpp"

#include <algorithm>
#include <cstring>

#include "rtkkvn/arrays/array_exceptions.hpp"

namespace rtkkvn::arrays {
namespace {

void requireIndices(const void* indices) {
  if (indices == nullptr) throw IllegalArgumentException("Invalid argument");
}

// Checks one index per dimension; returns the dimension count.
size_t checkSubscripts(const zyArray* array, size_t count, const size_t* indices) {
  const size_t dimensionCount = zyGetNumberOfDimensions(array);
  if (dimensionCount == 0) throw IndexOutOfBoundsException("Attempt to index into an empty array");
  if (count != dimensionCount) {
    throw IndexOutOfBoundsException("Incompatible number of dimensions");
  }
  const size_t* dimensions = zyGetDimensions(array);
  for (size_t j = 0; j < count; ++j) {
    if (indices[j] < 1 || indices[j] > dimensions[j]) {
      throw IndexOutOfBoundsException(indices, dimensions, count);
    }
  }
  return dimensionCount;
}

// Column-major element offset of checked subscripts.
size_t elementOffset(const zyArray* array, size_t count, const size_t* indices) {
  const size_t* dimensions = zyGetDimensions(array);
  size_t offset = 0;
  size_t stride = 1;
  for (size_t j = 0; j < count; ++j) {
    offset += (indices[j] - 1) * stride;
    stride *= dimensions[j];
  }
  return offset;
}

}  // namespace

size_t dataCount(const zyArray* array) {
  if (array == nullptr || zyIsEmpty(array)) return 0;
  if (zyIsSparse(array)) return zyGetNumberOfNonzeros(array);
  const zyClassID classId = zyGetClassID(array);
  if (classId == zySTRUCT_CLASS || classId == zyOBJECT_CLASS) {
    return zyGetNumberOfElements(array) * static_cast<size_t>(zyGetNumberOfFields(array));
  }
  return zyGetNumberOfElements(array);
}

size_t readOffset(const zyArray* array, size_t count, const size_t* indices, bool* found) {
  requireIndices(indices);
  if (found) *found = true;
  if (count == 0) throw IndexOutOfBoundsException("Incompatible number of dimensions");
  if (count == 1) {
    const size_t limit = dataCount(array);
    if (indices[0] < 1 || indices[0] > limit) throw IndexOutOfBoundsException(indices[0], limit);
    return indices[0] - 1;
  }
  checkSubscripts(array, count, indices);
  if (zyIsSparse(array)) {
    bool stored = false;
    const size_t position = findSparseElement(array, indices[0] - 1, indices[1] - 1, &stored);
    if (found) *found = stored;
    return position;
  }
  return elementOffset(array, count, indices);
}

size_t writeOffset(zyArray* array, size_t count, const size_t* indices) {
  requireIndices(indices);
  checkSubscripts(array, count, indices);
  if (zyIsSparse(array)) return storeSparseElement(array, indices[0] - 1, indices[1] - 1);
  return elementOffset(array, count, indices);
}

size_t fieldOffset(const zyArray* array, const char* field, size_t count, const size_t* indices) {
  requireIndices(field);
  requireIndices(indices);
  if (zyGetNumberOfDimensions(array) == 0) {
    throw IndexOutOfBoundsException("Attempt to index into an empty array");
  }
  const int fieldNumber = zyGetFieldNumber(array, field);
  if (fieldNumber == -1) throw IndexOutOfBoundsException("Invalid field name");
  size_t element;
  if (count == 1) {
    const size_t elements = zyGetNumberOfElements(array);
    if (indices[0] < 1 || indices[0] > elements) {
      throw IndexOutOfBoundsException(indices[0], elements);
    }
    element = indices[0] - 1;
  } else {
    checkSubscripts(array, count, indices);
    element = elementOffset(array, count, indices);
  }
  return static_cast<size_t>(fieldNumber) +
         static_cast<size_t>(zyGetNumberOfFields(array)) * element;
}

size_t findSparseElement(const zyArray* array, size_t row, size_t column, bool* found) {
  const size_t* columnStarts = zyGetJcConst(array);
  const size_t* rows = zyGetIrConst(array);
  const size_t* first = rows + columnStarts[column];
  const size_t* last = rows + columnStarts[column + 1];
  const size_t* position = std::lower_bound(first, last, row);
  *found = position != last && *position == row;
  return static_cast<size_t>(position - rows);
}

size_t storeSparseElement(zyArray* array, size_t row, size_t column) {
  bool found = false;
  const size_t position = findSparseElement(array, row, column, &found);
  if (found) return position;
  const size_t stored = zyGetNumberOfNonzeros(array);
  if (stored == zyGetNzmax(array) && zySetNzmax(array, stored * 2 + 1) != 0) {
    throw MemoryException();
  }
  // Writable pointers give the array storage of its own first, so a twin never changes.
  size_t* rows = zyGetIr(array);
  size_t* columnStarts = zyGetJc(array);
  auto* real = static_cast<unsigned char*>(zyGetData(array));
  auto* imag = static_cast<unsigned char*>(zyGetImagData(array));
  if (rows == nullptr || columnStarts == nullptr || real == nullptr) throw MemoryException();
  const size_t elementSize = zyGetElementSize(array);
  const size_t after = stored - position;
  std::memmove(rows + position + 1, rows + position, after * sizeof(size_t));
  rows[position] = row;
  for (unsigned char* block : {real, imag}) {
    if (block == nullptr) continue;
    std::memmove(block + (position + 1) * elementSize, block + position * elementSize,
                 after * elementSize);
    std::memset(block + position * elementSize, 0, elementSize);
  }
  const size_t columns = zyGetN(array);
  for (size_t c = column + 1; c <= columns; ++c) ++columnStarts[c];
  return position;
}

}  // namespace rtkkvn::arrays
