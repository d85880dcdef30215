#include "rtkkvn/arrays/array_exceptions.hpp"

#include <cstdint>

#include "zy.h"

namespace {

std::string number(size_t value) { return std::to_string(static_cast<uint64_t>(value)); }

std::string numberList(const size_t* values, size_t count) {
  std::string list = "[";
  for (size_t i = 0; i < count; ++i) {
    if (i != 0) list += ",";
    list += number(values[i]);
  }
  return list + "]";
}

std::string textOr(const char* text, const char* fallback) { return text ? text : fallback; }

std::string conversion(const std::string& source, const std::string& target) {
  return "Cannot convert type: " + source + " to type: " + target;
}

std::string indexMessage(const size_t* indices, const size_t* dimensions, size_t count) {
  if (indices == nullptr || dimensions == nullptr) return "Index out of bounds";
  return "Attempt to access element at index " + numberList(indices, count) +
         " in array of dimensions " + numberList(dimensions, count);
}

}  // namespace

const char* arrayClassName(int classId) { return zyGetClassNameFromID(classId); }

ArrayConvertException::ArrayConvertException() : koException("Array conversion error") {}
ArrayConvertException::ArrayConvertException(int targetClass, int sourceClass)
    : koException(conversion(arrayClassName(sourceClass), arrayClassName(targetClass)).c_str()) {}
ArrayConvertException::ArrayConvertException(int targetClass, const char* sourceText)
    : koException(
          conversion(textOr(sourceText, "unspecified"), arrayClassName(targetClass)).c_str()) {}
ArrayConvertException::ArrayConvertException(const char* targetText, int sourceClass)
    : koException(
          conversion(arrayClassName(sourceClass), textOr(targetText, "unspecified")).c_str()) {}

NullPointerException::NullPointerException() : koException("Null Pointer") {}
NullPointerException::NullPointerException(const char* text) : koException(text) {}

IndexOutOfBoundsException::IndexOutOfBoundsException() : koException("Index out of bounds") {}
IndexOutOfBoundsException::IndexOutOfBoundsException(const char* text) : koException(text) {}
IndexOutOfBoundsException::IndexOutOfBoundsException(size_t index, size_t size)
    : koException(("Attempt to access element at index " + number(index) + "  in array of size " +
                   number(size))
                      .c_str()) {}
IndexOutOfBoundsException::IndexOutOfBoundsException(const size_t* indices,
                                                     const size_t* dimensions, size_t count)
    : koException(indexMessage(indices, dimensions, count).c_str()) {}

ComplexAccessException::ComplexAccessException()
    : koException("Cannot access the imaginary part of a pure-real array") {}

IllegalArgumentException::IllegalArgumentException() : koException("Illegal argument") {}
IllegalArgumentException::IllegalArgumentException(const char* text) : koException(text) {}

FieldIndexingException::FieldIndexingException()
    : koException("Field name indexing not supported for this type") {}

TypeMismatchException::TypeMismatchException(int accessedClass, int pointerClass)
    : koException((std::string("Attempt to access: ") + arrayClassName(accessedClass) +
                   " with pointer type: " + arrayClassName(pointerClass))
                      .c_str()) {}

ArrayStoreException::ArrayStoreException(int initializedClass, int valueClass)
    : koException((std::string("Cannot initialize type: ") + arrayClassName(initializedClass) +
                   " with type: " + arrayClassName(valueClass))
                      .c_str()) {}

SparseNotSupportedException::SparseNotSupportedException(int classId)
    : koException(
          (std::string("Sparse not support for type: ") + arrayClassName(classId)).c_str()) {}

ComplexNotSupportedException::ComplexNotSupportedException(int classId)
    : koException(
          (std::string("Complex not support for type: ") + arrayClassName(classId)).c_str()) {}

MemoryException::MemoryException() : koException("Memory allocation error") {}

SparseInvalidInitialDataException::SparseInvalidInitialDataException()
    : koException(
          "While creating sparse matrix: row index array, column index array,and initial value "
          "array must all be either NULL or non-NULL") {}

SparseInvalidNzmaxException::SparseInvalidNzmaxException()
    : koException(
          "While creating sparse matrix: initial non-zero elements greater than maximum "
          "non-zero") {}
