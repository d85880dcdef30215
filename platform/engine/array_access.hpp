#pragma once
// Element access shared by indexing and assignment: shapes, subscripts resolved against a
// shape, and copying elements between arrays of one class.

#include <cstddef>
#include <new>
#include <string>
#include <vector>

#include "engine/interpreter.hpp"

namespace q {

using Dims = std::vector<std::size_t>;
using Subscript = Interpreter::Subscript;
using Subscripts = Interpreter::Subscripts;

Dims dimsOf(const zyArray* array);
Dims dimsOf(const Value& value);  // a scalar is 1-by-1, undefined 0-by-0
std::size_t countOf(const Dims& dims);
// Drops singleton dimensions after the second; makes at least two.
Dims normalized(Dims dims);
std::string sizeText(const Dims& dims);

// The full form of a sparse array; other arrays are shared.
ArrayPtr fullArray(const zyArray* array);

// Subscript of one index value (':' text is a colon). Raises "Q:badsubscript".
Subscript toSubscript(const Value& value);
std::size_t subscriptCount(const Subscript& subscript, std::size_t extent);
std::size_t subscriptAt(const Subscript& subscript, std::size_t k);
// One more than the largest index (0 for none); colon counts as extent.
std::size_t subscriptEnd(const Subscript& subscript, std::size_t extent);

// The extents that n subscripts index in dims: the first n-1 dimensions, then the product of
// the rest.
Dims indexExtents(const Dims& dims, std::size_t n);
// Linear indices into an array of dims selected by the subscripts, in result order; raises
// "Q:badsubscript" for indices past the extents.
void linearIndices(const Subscripts& subscripts, const Dims& dims, std::vector<std::size_t>& out,
                   Dims& resultDims);

// A new array of the class with dims: zeros, empty cells, or structs with fieldNames.
ArrayPtr createArray(zyClassID classId, const Dims& dims, bool complex,
                     const std::vector<std::string>& fieldNames);
// Copies element source[s] into destination[d]; both of the same class (full, not sparse).
// Cells and structs get shared copies of the elements; struct fields are matched by name.
class ElementCopier {
 public:
  ElementCopier(const zyArray* source, zyArray* destination);
  void copy(std::size_t s, std::size_t d);

 private:
  const zyArray* source_;
  zyArray* destination_;
  zyClassID class_;
  std::size_t size_;
  const char* sourceReal_;
  const char* sourceImag_;
  char* destinationReal_;
  char* destinationImag_;
  std::vector<int> fieldMap_;  // destination field of each source field
};

// Puts value in element index of a cell (or in one field of one element of a struct array) and
// destroys what was there. The container is unshared first but not pinned (zyExchangeCell), so
// later copies may share it. On failure value is destroyed and std::bad_alloc thrown.
inline void replaceCell(zyArray* cell, std::size_t index, zyArray* value) {
  zyArray* old = nullptr;
  if (zyExchangeCell(cell, index, value, &old) != 0) {
    zyDestroyArray(value);
    throw std::bad_alloc();
  }
  zyDestroyArray(old);
}
inline void replaceField(zyArray* array, std::size_t index, int field, zyArray* value) {
  zyArray* old = nullptr;
  if (zyExchangeField(array, index, field, value, &old) != 0) {
    zyDestroyArray(value);
    throw std::bad_alloc();
  }
  zyDestroyArray(old);
}

// s(i) = t, whole elements given: when both are structs, t must have the fields of s, in any
// order, unless s has neither fields nor elements yet (it then takes those of t).
void requireSameFields(const Value& object, const Value& value);

// Grows a full numeric, char or logical vector or a cell or struct vector (or 0-by-0 array) that
// no other value shares to newDims, keeping its elements in place and zeroing (emptying) the new
// ones; vectors keep room for more, so that growing one element at a time takes amortised
// constant time. False when the array does not qualify; the caller then copies.
bool growInPlace(zyArray* array, const Dims& newDims);

// The class of the result of assigning rhs into an array of class target.
zyClassID assignedClass(zyClassID target, zyClassID rhs);
// The array converted to classId (numeric, char, logical), complex kept.
ArrayPtr convertArray(const zyArray* array, zyClassID classId);

}  // namespace q
