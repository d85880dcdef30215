// The exported constructors, conversions and raw element access of the array API. Every
// function holds the global mutex for its whole body, turns any exception into the calling
// thread's last error and then returns -1, leaving its out pointers unchanged.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/mutex.hpp"
#include "rtkkvn/arrays/array_access.hpp"
#include "rtkkvn/arrays/array_buffer.hpp"
#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/array_ref.hpp"
#include "rtkkvn/arrays/char_buffer.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"
#include "rtkkvn/arrays/sparse_arrays.hpp"

using namespace rtkkvn::arrays;

namespace {

constexpr const char* kInvalidInput = "Invalid input";

void requireInput(const void* pointer) {
  if (pointer == nullptr) throw NullPointerException(kInvalidInput);
}

// The common shape: lock, check out, build, store. build returns the new object.
template <typename Out, typename Build>
int construct(Out* out, Build&& build) noexcept {
  try {
    rtkLock lock;
    requireInput(out);
    *out = build();
    return 0;
  } catch (...) {
    recordCurrentException();
    return -1;
  }
}

// The same for functions without the out check of the constructors.
template <typename Body>
int guarded(Body&& body) noexcept {
  try {
    rtkLock lock;
    body();
    return 0;
  } catch (...) {
    recordCurrentException();
    return -1;
  }
}

bool isNumericClass(int classId) { return classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS; }

// The dimension list of the shape rule: 0-by-0 for none, 1-by-n for one dimension.
std::vector<size_t> shapeOf(size_t ndims, const size_t* dims) {
  if (dims == nullptr || ndims == 0) return {0, 0};
  if (ndims == 1) return {1, dims[0]};
  return std::vector<size_t>(dims, dims + ndims);
}

array_ref* wrapChecked(zyArray* array) { return wrapArray(checkedArray(array).release()); }

// An array of the given shape for any class: numeric (with the complexity), logical, char, cell
// and struct without fields; another id gives the 0-by-0 array of that id.
array_ref* arrayOfClass(const std::vector<size_t>& shape, int classId, zyComplexity complexity) {
  const size_t ndims = shape.size();
  const size_t* dims = shape.data();
  switch (classId) {
    case zyLOGICAL_CLASS:
      return wrapChecked(zyCreateLogicalArray(ndims, dims));
    case zyCHAR_CLASS:
      return wrapChecked(zyCreateCharArray(ndims, dims));
    case zyCELL_CLASS:
      return wrapChecked(zyCreateCellArray(ndims, dims));
    case zySTRUCT_CLASS:
      return wrapChecked(zyCreateStructArray(ndims, dims, 0, nullptr));
    default:
      if (isNumericClass(classId)) {
        return wrapChecked(
            zyCreateNumericArray(ndims, dims, static_cast<zyClassID>(classId), complexity));
      }
      return wrapArray(createEmptyArray(classId));
  }
}

template <typename Value>
int scalar(array_ref** out, zyClassID classId, Value real, Value imag, zyComplexity complexity) {
  return construct(out, [&] {
    OwnedArray array = checkedArray(zyCreateNumericMatrix(1, 1, classId, complexity));
    std::memcpy(zyGetData(array.get()), &real, sizeof real);
    if (complexity == zyCOMPLEX) std::memcpy(zyGetImagData(array.get()), &imag, sizeof imag);
    return wrapArray(array.release());
  });
}

int sparse(array_ref** out, const SparseLists& lists, size_t m, size_t n, bool inferSize,
           size_t nzmax, int classId, zyComplexity complexity) {
  return construct(out, [&] {
    return wrapArray(buildSparse(lists, m, n, inferSize, nzmax, classId, complexity));
  });
}

// A handle of the caller's raw array for the length of one call: detached, never destroyed.
class TemporaryHandle {
 public:
  TemporaryHandle(const zyArray* array, const char* role) {
    array_handle handle = nullptr;
    if (rtkzyArray2ArrayHandle(&handle, const_cast<zyArray*>(array)) != 0) {
      throw IllegalArgumentException(role);
    }
    object_ = reinterpret_cast<array_ref*>(handle);
  }
  ~TemporaryHandle() { object_->detach(); }
  TemporaryHandle(const TemporaryHandle&) = delete;
  TemporaryHandle& operator=(const TemporaryHandle&) = delete;

  array_ref* operator->() const { return object_; }
  array_ref* get() const { return object_; }

 private:
  array_ref* object_;
};

// An object returned by a slot, released at the end of the scope.
class Reference {
 public:
  explicit Reference(array_ref* object) : object_(object) {}
  ~Reference() {
    if (object_) object_->release();
  }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;
  array_ref* get() const { return object_; }
  array_ref* operator->() const { return object_; }

 private:
  array_ref* object_;
};

// A slot failed and left its error pending: throw it on, so that the boundary records it again.
void raisePending() { koException::raise_error(); }

// The element reference of source at the indices, narrowed to part.
array_ref* elementReference(array_ref* source, size_t count, const size_t* indices,
                            ElementPart part) {
  array_ref* element = source->get_int(count, indices);
  if (element == nullptr) throw IllegalArgumentException("index");
  if (part == ElementPart::kWhole) return element;
  Reference whole(element);
  array_ref* narrowed = part == ElementPart::kReal ? whole->real() : whole->imag();
  if (narrowed == nullptr) raisePending();
  return narrowed;
}

int getElement(zyArray** out, const zyArray* source, size_t count, const size_t* indices,
               ElementPart part) {
  return guarded([&] {
    requireInput(out);
    if (source != nullptr && zyIsSparse(source)) {
      *out = readSparseElement(source, count, indices, part);
      return;
    }
    TemporaryHandle handle(source, "source array");
    Reference element(elementReference(handle.get(), count, indices, part));
    ArrayAccess access(element.get());
    zyArray* copy = zyCreateSharedDataCopy(access.array());
    if (copy == nullptr) throw MemoryException();
    *out = copy;
  });
}

int setElement(zyArray* target, const zyArray* source, size_t count, const size_t* indices,
               ElementPart part, ElementPart sparsePart) {
  return guarded([&] {
    if (target != nullptr && zyIsSparse(target)) {
      writeSparseElement(target, source, count, indices, sparsePart);
      return;
    }
    TemporaryHandle targetHandle(target, "target array");
    TemporaryHandle sourceHandle(source, "source element");
    Reference element(elementReference(targetHandle.get(), count, indices, part));
    if (element->set(sourceHandle.get()) != 0) raisePending();
  });
}

// A new 1-by-count uint64 array.
OwnedArray uint64Row(size_t count) {
  return checkedArray(zyCreateNumericMatrix(1, count, zyUINT64_CLASS, zyREAL));
}

}  // namespace

extern "C" {

RTKKVN_EXPORT int rtkGetEmptyArray(array_ref** out, zyClassID classId) {
  return construct(out, [&] { return arrayOfClass({0, 0}, classId, zyREAL); });
}

RTKKVN_EXPORT int rtkGetMatrix(array_ref** out, size_t m, size_t n, zyClassID classId,
                               zyComplexity complexity) {
  return construct(out, [&] { return arrayOfClass({m, n}, classId, complexity); });
}

RTKKVN_EXPORT int rtkGetArray(array_ref** out, size_t ndims, const size_t* dims, zyClassID classId,
                              zyComplexity complexity) {
  return construct(out, [&] { return arrayOfClass(shapeOf(ndims, dims), classId, complexity); });
}

RTKKVN_EXPORT int rtkGetNumericMatrix(array_ref** out, size_t m, size_t n, zyClassID classId,
                                      zyComplexity complexity) {
  return construct(out,
                   [&] { return wrapChecked(zyCreateNumericMatrix(m, n, classId, complexity)); });
}

RTKKVN_EXPORT int rtkGetNumericArray(array_ref** out, size_t ndims, const size_t* dims,
                                     zyClassID classId, zyComplexity complexity) {
  return construct(out, [&] {
    const std::vector<size_t> shape = shapeOf(ndims, dims);
    return wrapChecked(zyCreateNumericArray(shape.size(), shape.data(), classId, complexity));
  });
}

RTKKVN_EXPORT int rtkGetScalarDouble(array_ref** out, zyDouble real, zyDouble imag,
                                     zyComplexity complexity) {
  return scalar(out, zyDOUBLE_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarSingle(array_ref** out, zySingle real, zySingle imag,
                                     zyComplexity complexity) {
  return scalar(out, zySINGLE_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarInt8(array_ref** out, zyInt8 real, zyInt8 imag,
                                   zyComplexity complexity) {
  return scalar(out, zyINT8_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarUint8(array_ref** out, zyUint8 real, zyUint8 imag,
                                    zyComplexity complexity) {
  return scalar(out, zyUINT8_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarInt16(array_ref** out, zyInt16 real, zyInt16 imag,
                                    zyComplexity complexity) {
  return scalar(out, zyINT16_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarUint16(array_ref** out, zyUint16 real, zyUint16 imag,
                                     zyComplexity complexity) {
  return scalar(out, zyUINT16_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarInt32(array_ref** out, zyInt32 real, zyInt32 imag,
                                    zyComplexity complexity) {
  return scalar(out, zyINT32_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarUint32(array_ref** out, zyUint32 real, zyUint32 imag,
                                     zyComplexity complexity) {
  return scalar(out, zyUINT32_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarInt64(array_ref** out, zyInt64 real, zyInt64 imag,
                                    zyComplexity complexity) {
  return scalar(out, zyINT64_CLASS, real, imag, complexity);
}
RTKKVN_EXPORT int rtkGetScalarUint64(array_ref** out, zyUint64 real, zyUint64 imag,
                                     zyComplexity complexity) {
  return scalar(out, zyUINT64_CLASS, real, imag, complexity);
}

RTKKVN_EXPORT int rtkGetCharMatrix(array_ref** out, size_t m, size_t n) {
  return construct(out, [&] { return wrapChecked(zyCreateCharMatrix(m, n)); });
}

RTKKVN_EXPORT int rtkGetCharArray(array_ref** out, size_t ndims, const size_t* dims) {
  return construct(out, [&] {
    const std::vector<size_t> shape = shapeOf(ndims, dims);
    return wrapChecked(zyCreateCharArray(shape.size(), shape.data()));
  });
}

RTKKVN_EXPORT int rtkGetScalarChar(array_ref** out, zyChar value) {
  return construct(out, [&] {
    OwnedArray array = checkedArray(zyCreateCharMatrix(1, 1));
    zyGetChars(array.get())[0] = value;
    return wrapArray(array.release());
  });
}

// A NULL from the array library here becomes the empty array of class 0, not an error.
RTKKVN_EXPORT int rtkGetString(array_ref** out, const char* text) {
  return construct(out, [&] { return wrapArray(zyCreateString(text)); });
}

RTKKVN_EXPORT int rtkGetCharMatrixFromStrings(array_ref** out, size_t m, const char** strings) {
  return construct(out, [&] { return wrapArray(zyCreateCharMatrixFromStrings(m, strings)); });
}

RTKKVN_EXPORT int rtkGetLogicalMatrix(array_ref** out, size_t m, size_t n) {
  return construct(out, [&] { return wrapChecked(zyCreateLogicalMatrix(m, n)); });
}

RTKKVN_EXPORT int rtkGetLogicalArray(array_ref** out, size_t ndims, const size_t* dims) {
  return construct(out, [&] {
    const std::vector<size_t> shape = shapeOf(ndims, dims);
    return wrapChecked(zyCreateLogicalArray(shape.size(), shape.data()));
  });
}

// The byte is stored as it is, so that a scalar made from any non-zero byte reads back as given.
RTKKVN_EXPORT int rtkGetScalarLogical(array_ref** out, zyLogical value) {
  return construct(out, [&] {
    OwnedArray array = checkedArray(zyCreateLogicalMatrix(1, 1));
    static_cast<zyLogical*>(zyGetData(array.get()))[0] = value;
    return wrapArray(array.release());
  });
}

RTKKVN_EXPORT int rtkGetCellMatrix(array_ref** out, size_t m, size_t n) {
  return construct(out, [&] { return wrapChecked(zyCreateCellMatrix(m, n)); });
}

RTKKVN_EXPORT int rtkGetCellArray(array_ref** out, size_t ndims, const size_t* dims) {
  return construct(out, [&] {
    const std::vector<size_t> shape = shapeOf(ndims, dims);
    return wrapChecked(zyCreateCellArray(shape.size(), shape.data()));
  });
}

RTKKVN_EXPORT int rtkGetStructMatrix(array_ref** out, size_t m, size_t n, int fieldCount,
                                     const char** names) {
  return construct(out, [&] {
    if (fieldCount < 0 || names == nullptr) fieldCount = 0;
    return wrapChecked(zyCreateStructMatrix(m, n, fieldCount, fieldCount ? names : nullptr));
  });
}

RTKKVN_EXPORT int rtkGetStructArray(array_ref** out, size_t ndims, const size_t* dims,
                                    int fieldCount, const char** names) {
  return construct(out, [&] {
    if (fieldCount < 0 || names == nullptr) fieldCount = 0;
    const std::vector<size_t> shape = shapeOf(ndims, dims);
    return wrapChecked(
        zyCreateStructArray(shape.size(), shape.data(), fieldCount, fieldCount ? names : nullptr));
  });
}

RTKKVN_EXPORT int rtkGetNumericSparse(array_ref** out, size_t rowCount, const size_t* rows,
                                      size_t columnCount, const size_t* columns, size_t dataCount,
                                      const void* real, const void* imag, size_t m, size_t n,
                                      size_t nzmax, zyClassID classId, zyComplexity complexity) {
  const SparseLists lists{rowCount, rows, columnCount, columns, dataCount, real, imag};
  return sparse(out, lists, m, n, false, nzmax, classId, complexity);
}

RTKKVN_EXPORT int rtkGetNumericSparseInferRowsCols(array_ref** out, size_t rowCount,
                                                   const size_t* rows, size_t columnCount,
                                                   const size_t* columns, size_t dataCount,
                                                   const void* real, const void* imag, size_t nzmax,
                                                   zyClassID classId, zyComplexity complexity) {
  const SparseLists lists{rowCount, rows, columnCount, columns, dataCount, real, imag};
  return sparse(out, lists, 0, 0, true, nzmax, classId, complexity);
}

RTKKVN_EXPORT int rtkGetLogicalSparse(array_ref** out, size_t rowCount, const size_t* rows,
                                      size_t columnCount, const size_t* columns, size_t dataCount,
                                      const zyLogical* data, size_t m, size_t n, size_t nzmax) {
  const SparseLists lists{rowCount, rows, columnCount, columns, dataCount, data, nullptr};
  return sparse(out, lists, m, n, false, nzmax, zyLOGICAL_CLASS, zyREAL);
}

RTKKVN_EXPORT int rtkGetLogicalSparseInferRowsCols(array_ref** out, size_t rowCount,
                                                   const size_t* rows, size_t columnCount,
                                                   const size_t* columns, size_t dataCount,
                                                   const zyLogical* data, size_t nzmax) {
  const SparseLists lists{rowCount, rows, columnCount, columns, dataCount, data, nullptr};
  return sparse(out, lists, 0, 0, true, nzmax, zyLOGICAL_CLASS, zyREAL);
}

RTKKVN_EXPORT int rtkCreateCharBuffer(char_buffer** out, const char* text) {
  return construct(out, [&]() -> char_buffer* { return makePooled<CharBuffer>(text); });
}

RTKKVN_EXPORT int rtkcppGetArrayBuffer(array_buffer** out, size_t count) {
  return construct(out, [&]() -> array_buffer* { return makePooled<ArrayBuffer>(count); });
}

RTKKVN_EXPORT int rtkDeserializeArray(array_ref** out, array_ref** source) {
  return construct(out, [&] {
    requireInput(source);
    requireInput(*source);
    ArrayAccess access(*source);
    const zyClassID sourceClass = zyGetClassID(access.array());
    if (sourceClass != zyUINT8_CLASS) throw TypeMismatchException(zyUINT8_CLASS, sourceClass);
    zyArray* array = zyDeserialize(zyGetDataConst(access.array()), zyGetN(access.array()));
    // zyDeserialize refuses malformed, truncated and oversized bytes with NULL, which wrapArray
    // would turn into an empty array.
    if (array == nullptr) {
      throw IllegalArgumentException(
          "The bytes are not a serialized array: they are damaged, truncated or of another "
          "format, or the array they describe cannot be made");
    }
    return wrapArray(array);
  });
}

RTKKVN_EXPORT int rtkcppArrayToString(const zyArray* array, char** out) {
  return construct(out, [&] {
    requireInput(array);
    const std::string text = printedForm(array);
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));  // freed by rtkcppFreeString
    if (copy == nullptr) throw MemoryException();
    std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  });
}

RTKKVN_EXPORT int rtkzyArray2ArrayHandle(array_handle* out, zyArray* array) {
  return construct(out, [&] {
    requireInput(array);
    return reinterpret_cast<array_handle>(wrapArray(array));
  });
}

RTKKVN_EXPORT int rtkArrayHandle2zyArray(zyArray** out, array_handle handle) {
  return construct(out, [&]() -> zyArray* {
    requireInput(handle);
    auto* object = reinterpret_cast<array_ref*>(handle);
    zyArray* copy = nullptr;
    {
      ArrayAccess access(object);
      if (access.array() != nullptr) {
        copy = zyCreateSharedDataCopy(access.array());
        if (copy == nullptr) throw MemoryException();
      }
    }
    object->release();  // the caller's reference is consumed
    return copy;
  });
}

RTKKVN_EXPORT int rtkZYArrayGet(zyArray** out, const zyArray* source, size_t count,
                                const size_t* indices) {
  return getElement(out, source, count, indices, ElementPart::kWhole);
}
RTKKVN_EXPORT int rtkZYArrayGetReal(zyArray** out, const zyArray* source, size_t count,
                                    const size_t* indices) {
  return getElement(out, source, count, indices, ElementPart::kReal);
}
RTKKVN_EXPORT int rtkZYArrayGetImag(zyArray** out, const zyArray* source, size_t count,
                                    const size_t* indices) {
  return getElement(out, source, count, indices, ElementPart::kImaginary);
}

RTKKVN_EXPORT int rtkZYArraySet(zyArray* target, const zyArray* source, size_t count,
                                const size_t* indices) {
  return setElement(target, source, count, indices, ElementPart::kWhole, ElementPart::kWhole);
}
RTKKVN_EXPORT int rtkZYArraySetReal(zyArray* target, const zyArray* source, size_t count,
                                    const size_t* indices) {
  return setElement(target, source, count, indices, ElementPart::kReal, ElementPart::kReal);
}
RTKKVN_EXPORT int rtkZYArraySetImag(zyArray* target, const zyArray* source, size_t count,
                                    const size_t* indices) {
  return setElement(target, source, count, indices, ElementPart::kImaginary,
                    ElementPart::kImaginary);
}
RTKKVN_EXPORT int rtkZYArraySetLogical(zyArray* target, const zyArray* source, size_t count,
                                       const size_t* indices) {
  return setElement(target, source, count, indices, ElementPart::kWhole, ElementPart::kReal);
}

RTKKVN_EXPORT int rtkZYArrayGetIndexArrays(zyArray** rows, zyArray** columns,
                                           const zyArray* source) {
  return guarded([&] {
    requireInput(rows);
    requireInput(columns);
    requireInput(source);
    const size_t count = zyGetNumberOfNonzeros(source);
    OwnedArray rowArray = uint64Row(count);
    OwnedArray columnArray = uint64Row(count);
    auto* rowOut = static_cast<uint64_t*>(zyGetData(rowArray.get()));
    auto* columnOut = static_cast<uint64_t*>(zyGetData(columnArray.get()));
    if (zyIsSparse(source)) {
      const size_t* columnStarts = zyGetJcConst(source);
      const size_t* rowIndices = zyGetIrConst(source);
      for (size_t column = 0, n = zyGetN(source); column < n; ++column) {
        for (size_t k = columnStarts[column]; k < columnStarts[column + 1]; ++k) {
          rowOut[k] = rowIndices[k] + 1;
          columnOut[k] = column + 1;
        }
      }
    } else {
      const size_t height = zyGetM(source);
      for (size_t k = 0; k < count; ++k) {
        rowOut[k] = k % height + 1;
        columnOut[k] = k / height + 1;
      }
    }
    *rows = rowArray.release();
    *columns = columnArray.release();
  });
}

}  // extern "C"
