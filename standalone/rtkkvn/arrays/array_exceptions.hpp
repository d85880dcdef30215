#pragma once
// The exceptions the array objects throw. Each is a koException whose record holds the message;
// copies share the record. Class names in messages are those of the class table ("double",
// "cell", ..., "unknown"); numbers are written as unsigned decimals. They never leave the
// library: every slot turns them into the thread's last error.

#include <cstddef>
#include <string>

#include "rtkkvn_error.h"

// The name of a class id as messages print it.
const char* arrayClassName(int classId);

class ArrayConvertException : public koException {
 public:
  // "Array conversion error".
  ArrayConvertException();
  // "Cannot convert type: <source> to type: <target>"; a NULL text prints "unspecified".
  ArrayConvertException(int targetClass, int sourceClass);
  ArrayConvertException(int targetClass, const char* sourceText);
  ArrayConvertException(const char* targetText, int sourceClass);
};

class NullPointerException : public koException {
 public:
  // "Null Pointer".
  NullPointerException();
  // The text; NULL gives "Unspecified error".
  explicit NullPointerException(const char* text);
};

class IndexOutOfBoundsException : public koException {
 public:
  // "Index out of bounds".
  IndexOutOfBoundsException();
  explicit IndexOutOfBoundsException(const char* text);
  // "Attempt to access element at index <index>  in array of size <size>".
  IndexOutOfBoundsException(size_t index, size_t size);
  // "Attempt to access element at index [i,j,...] in array of dimensions [d,e,...]" with count
  // numbers in each list; "Index out of bounds" when either list is NULL.
  IndexOutOfBoundsException(const size_t* indices, const size_t* dimensions, size_t count);
};

class ComplexAccessException : public koException {
 public:
  // "Cannot access the imaginary part of a pure-real array".
  ComplexAccessException();
};

class IllegalArgumentException : public koException {
 public:
  // "Illegal argument".
  IllegalArgumentException();
  explicit IllegalArgumentException(const char* text);
};

class FieldIndexingException : public koException {
 public:
  // "Field name indexing not supported for this type".
  FieldIndexingException();
};

class TypeMismatchException : public koException {
 public:
  // "Attempt to access: <accessed class> with pointer type: <pointer class>".
  TypeMismatchException(int accessedClass, int pointerClass);
};

class ArrayStoreException : public koException {
 public:
  // "Cannot initialize type: <initialized class> with type: <value class>".
  ArrayStoreException(int initializedClass, int valueClass);
};

class SparseNotSupportedException : public koException {
 public:
  // "Sparse not support for type: <class>".
  explicit SparseNotSupportedException(int classId);
};

class ComplexNotSupportedException : public koException {
 public:
  // "Complex not support for type: <class>".
  explicit ComplexNotSupportedException(int classId);
};

class MemoryException : public koException {
 public:
  // "Memory allocation error".
  MemoryException();
};

class SparseInvalidInitialDataException : public koException {
 public:
  SparseInvalidInitialDataException();
};

class SparseInvalidNzmaxException : public koException {
 public:
  SparseInvalidNzmaxException();
};
