#pragma once
// Moving elements of any class: gathering, transposing, concatenating, reshaping, ranges.

#include "engine/ops/support.hpp"

namespace q::ops::detail {

// Copies elements of arrays of one class into a new array of that class, whatever the class:
// blocks of bytes for numeric, char and logical data, shared-data copies of the elements of
// cells, and struct fields matched by name.
class ElementWriter {
 public:
  explicit ElementWriter(zyArray* target);
  // count consecutive elements of source (full, of the target's class) from index `from` to
  // index `to` of the target. Every target element is written at most once.
  void copy(const zyArray* source, size_t from, size_t to, size_t count);

 private:
  zyArray* target_;
  zyClassID classId_;
  size_t elementSize_;
  unsigned char* real_ = nullptr;
  unsigned char* imag_ = nullptr;
  const zyArray* mappedSource_ = nullptr;
  std::vector<int> fieldMap_;  // target field -> source field
};

// A new array of source's class and fields with the given shape: element k is source element
// indices[k]. Sparse sources are made full.
ArrayPtr gather(const zyArray* source, const Dims& dims, const std::vector<size_t>& indices);

// A.' and A' (conjugate). Sparse arrays stay sparse. Raises "Q:transposeND" for N-d arrays.
ArrayPtr transposeArray(const zyArray* a, bool conjugate);

// cat along a zero-based dimension with the class rules of `[...]`.
ArrayPtr concatenateArrays(size_t dimension, const std::vector<const zyArray*>& operands);

// The same elements in another shape (the element counts must agree). Shares the data.
ArrayPtr reshaped(const zyArray* a, const Dims& dims);

// rows-by-columns identity of a numeric or logical class.
ArrayPtr identity(zyClassID classId, size_t rows, size_t columns);

// Every element of a new numeric, char or logical array set to value (converted to the class).
void fill(zyArray* a, double value);

ArrayPtr rangeArray(const zyArray* start, const zyArray* step, const zyArray* stop);

}  // namespace q::ops::detail
