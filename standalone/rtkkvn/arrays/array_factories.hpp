#pragma once
// The factory singletons and the class dispatch that wraps a zyArray into a new array object.
// Every factory is made on first use and never freed. Members that make arrays throw
// MemoryException ("Memory allocation error") when the array library returns NULL, and return
// the new object with one reference for the caller. Call with the global mutex held.

#include <cstddef>

#include "rtkkvn/arrays/array_interfaces.hpp"
#include "zy.h"
#include "zy/matrix.hpp"

// An array that goes when its holder goes, unless released.
using OwnedArray = matrix::unique_array;

// Takes array over; MemoryException when it is NULL (the array library ran out of memory).
OwnedArray checkedArray(zyArray* array);

// The 0-by-0 array of a class that stands in for a missing array: a cell or struct array for
// classes 1 and 2, the empty array of the id otherwise. The caller owns it.
zyArray* createEmptyArray(int classId);

// Wraps array (adopted; NULL gives an empty array of class 0) into a new ArrayRef through the
// factory of its class.
array_ref* wrapArray(zyArray* array);

// Classes 0, 5 and 16 to 18: arrays without numbers of their own.
class array_factory {
 public:
  static array_factory& instance();
  virtual ~array_factory();

  // A new ArrayRef that adopts array.
  array_ref* adopt(zyArray* array) const;
  // A new ArrayRef on the empty array of classId.
  array_ref* create_empty(int classId) const;
};

// Classes 6 to 15.
class numeric_array_factory {
 public:
  static numeric_array_factory& instance();
  virtual ~numeric_array_factory();

  array_ref* adopt(zyArray* array) const;
  array_ref* create_matrix(size_t rows, size_t columns, zyClassID classId,
                           zyComplexity complexity) const;
};

class logical_array_factory {
 public:
  static logical_array_factory& instance();
  virtual ~logical_array_factory();

  array_ref* adopt(zyArray* array) const;
  array_ref* create_matrix(size_t rows, size_t columns) const;
};

class char_array_factory {
 public:
  static char_array_factory& instance();
  virtual ~char_array_factory();

  array_ref* adopt(zyArray* array) const;
  // A char row vector of UTF-8 text (NULL or empty gives the 0-by-0 char array).
  array_ref* create_string(const char* text) const;
};

class cell_array_factory {
 public:
  static cell_array_factory& instance();
  virtual ~cell_array_factory();

  array_ref* adopt(zyArray* array) const;
  array_ref* create_matrix(size_t rows, size_t columns) const;
};

class struct_array_factory {
 public:
  static struct_array_factory& instance();
  virtual ~struct_array_factory();

  array_ref* adopt(zyArray* array) const;
  // A negative fieldCount or NULL names gives no fields.
  array_ref* create_matrix(size_t rows, size_t columns, int fieldCount, const char** names) const;
};
