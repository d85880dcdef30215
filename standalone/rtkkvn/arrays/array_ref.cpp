#include "rtkkvn/arrays/array_ref.hpp"

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "rtkkvn/arrays/array_access.hpp"
#include "rtkkvn/arrays/array_data.hpp"
#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/char_buffer.hpp"
#include "rtkkvn/arrays/index_translation.hpp"
#include "rtkkvn/arrays/java_scope.hpp"
#include "util/hashing.hpp"
#include "zy/display.hpp"

using rtkkvn::arrays::guardedSlot;
using rtkkvn::arrays::makePooled;

namespace rtkkvn::arrays {
namespace {

constexpr size_t kNoSize = static_cast<size_t>(-1);

const unsigned char* bytesOf(const zyArray* serialized) {
  return static_cast<const unsigned char*>(zyGetDataConst(serialized));
}

bool isContainer(int classId) { return classId == zyCELL_CLASS || classId == zySTRUCT_CLASS; }

// The row (or column) number from 1 of every stored element, in column-major order.
array_ref* indexVector(const zyArray* array, bool rows) {
  const size_t count = array ? zyGetNumberOfNonzeros(array) : 0;
  OwnedArray result = checkedArray(zyCreateNumericMatrix(1, count, zyUINT64_CLASS, zyREAL));
  auto* out = static_cast<uint64_t*>(zyGetData(result.get()));
  if (count != 0 && zyIsSparse(array)) {
    const size_t* columnStarts = zyGetJcConst(array);
    const size_t* rowIndices = zyGetIrConst(array);
    for (size_t column = 0, columns = zyGetN(array); column < columns; ++column) {
      for (size_t k = columnStarts[column]; k < columnStarts[column + 1]; ++k) {
        out[k] = rows ? rowIndices[k] + 1 : column + 1;
      }
    }
  } else if (count != 0) {
    const size_t height = zyGetM(array);
    for (size_t k = 0; k < count; ++k) out[k] = rows ? k % height + 1 : k / height + 1;
  }
  return numeric_array_factory::instance().adopt(result.release());
}

}  // namespace

array_ref* duplicateIntoNew(const zyArray* array) {
  if (array == nullptr) return wrapArray(nullptr);
  return wrapArray(checkedArray(zyDuplicateArray(array)).release());
}

array_ref* serializeIntoNew(const zyArray* array) {
  OwnedArray empty;
  if (array == nullptr) {
    empty = checkedArray(createEmptyArray(zyUNKNOWN_CLASS));
    array = empty.get();
  }
  return wrapArray(checkedArray(zySerialize(array)).release());
}

bool arraysEqual(const zyArray* array, array_ref* other) {
  ArrayAccess access(other);
  if (array == nullptr || access.array() == nullptr) {
    return array == nullptr && access.array() == nullptr;
  }
  return zyIsIdentical(array, access.array()) != 0;
}

int compareArrays(const zyArray* array, array_ref* other) {
  ArrayAccess access(other);
  if (array == nullptr) return access.array() == nullptr ? 0 : -1;
  if (access.array() == nullptr) return 1;
  OwnedArray mine(zySerializeEx(array, zySERIALIZE_CANONICAL));
  if (mine == nullptr) return -1;
  OwnedArray theirs(zySerializeEx(access.array(), zySERIALIZE_CANONICAL));
  if (theirs == nullptr) return 1;
  const size_t myLength = zyGetNumberOfElements(mine.get());
  const size_t theirLength = zyGetNumberOfElements(theirs.get());
  if (myLength != theirLength) return myLength < theirLength ? -1 : 1;
  const int order = std::memcmp(bytesOf(mine.get()), bytesOf(theirs.get()), myLength);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int hashArray(const zyArray* array) {
  if (array == nullptr) return 0;
  OwnedArray bytes = checkedArray(zySerialize(array));
  const uint64_t hash =
      ut_hash_n_bytes(0, zyGetNumberOfElements(bytes.get()), bytesOf(bytes.get()));
  return static_cast<int>(static_cast<uint32_t>(hash));
}

std::string trimPrintedForm(std::string text) {
  constexpr size_t npos = std::string::npos;
  const size_t first = text.find_first_not_of('\n');
  const size_t last = text.find_last_not_of('\n');
  if (first == 0 && last != npos && last != 0) text.erase(last + 1);
  const size_t lineFeed = first == npos ? npos : text.find('\n', first);
  if (lineFeed == npos || lineFeed > last) {
    const size_t begin = text.find_first_not_of(' ');
    if (begin == npos) return std::string();
    text.erase(0, begin);
    text.erase(text.find_last_not_of(' ') + 1);
  }
  return text;
}

std::string printedForm(const zyArray* array) {
  if (array == nullptr || zyIsEmpty(array)) return "[]";
  std::string text = zyFormatArray(nullptr, array);
  return zyIsCharVector(array) ? text : trimPrintedForm(std::move(text));
}

array_ref* int32Ones(size_t rows, size_t columns) {
  OwnedArray array = checkedArray(zyCreateNumericMatrix(rows, columns, zyINT32_CLASS, zyREAL));
  auto* values = static_cast<int32_t*>(zyGetData(array.get()));
  for (size_t i = 0; i < rows * columns; ++i) values[i] = 1;
  return numeric_array_factory::instance().adopt(array.release());
}

array_ref* uint64RowVector(const size_t* values, size_t count) {
  OwnedArray array = checkedArray(zyCreateNumericMatrix(1, count, zyUINT64_CLASS, zyREAL));
  auto* out = static_cast<uint64_t*>(zyGetData(array.get()));
  for (size_t i = 0; i < count; ++i) out[i] = values[i];
  return numeric_array_factory::instance().adopt(array.release());
}

zyArray* containerElement(zyArray* container, size_t offset) {
  if (zyGetClassID(container) == zySTRUCT_CLASS) {
    const auto fields = static_cast<size_t>(zyGetNumberOfFields(container));
    return zyGetFieldByNumber(container, offset / fields, static_cast<int>(offset % fields));
  }
  return zyGetCell(container, offset);
}

namespace {

// Puts value into the container's slot; the container adopts it. The element that was there
// stays whoever's took it (see containerElement).
void storeContainerElement(zyArray* container, size_t offset, zyArray* value) {
  int status;
  if (zyGetClassID(container) == zySTRUCT_CLASS) {
    const auto fields = static_cast<size_t>(zyGetNumberOfFields(container));
    status =
        zySetFieldByNumber(container, offset / fields, static_cast<int>(offset % fields), value);
  } else {
    status = zySetCell(container, offset, value);
  }
  if (status != 0) throw MemoryException();
}

}  // namespace
}  // namespace rtkkvn::arrays

using namespace rtkkvn::arrays;

array_ref* newArrayRef(zyArray* array, bool duplicate) {
  return makePooled<ArrayRef>(array, duplicate);
}

array_ref* newCellRef(zyArray* container, size_t offset) {
  return makePooled<CellRef>(container, offset);
}

// ---- ArrayRef -------------------------------------------------------------------------------

ArrayRef::ArrayRef(zyArray* array, bool duplicate)
    : array_(array == nullptr ? createEmptyArray(zyUNKNOWN_CLASS)
             : duplicate      ? checkedArray(zyDuplicateArray(array)).release()
                              : array) {}

ArrayRef::ArrayRef(zyArray* array, Borrow) : array_(array) {}

ArrayRef::~ArrayRef() {
  rtkLock lock;
  destroyArray(array_);
}

zyArray* ArrayRef::get_zyArray() { return array_; }

int ArrayRef::addref() { return addReference(count_); }

int ArrayRef::release() { return releaseReference(count_, this); }

int ArrayRef::classID() {
  return guardedSlot(0, [&] { return static_cast<int>(zyGetClassID(get_zyArray())); });
}

array_ref* ArrayRef::deep_copy() {
  return guardedSlot<array_ref*>(nullptr, [&] { return duplicateIntoNew(get_zyArray()); });
}

void ArrayRef::detach() {
  guardedSlot([&] { array_ = nullptr; });
  release();
}

array_ref* ArrayRef::shared_copy() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    zyArray* array = get_zyArray();
    return wrapArray(array ? checkedArray(zyCreateSharedDataCopy(array)).release() : nullptr);
  });
}

array_ref* ArrayRef::serialize() {
  return guardedSlot<array_ref*>(nullptr, [&] { return serializeIntoNew(get_zyArray()); });
}

int ArrayRef::element_size() {
  return guardedSlot(-1, [&] { return static_cast<int>(zyGetElementSize(get_zyArray())); });
}

int ArrayRef::number_of_elements() {
  return guardedSlot(-1, [&] {
    const size_t count = zyGetNumberOfElements(get_zyArray());
    if (count > static_cast<size_t>(INT_MAX)) {
      // A wrapped count would pass for a real one (or for the failure value itself).
      const std::string message = "The array has " + std::to_string(count) +
                                  " elements, more than the int result of number_of_elements "
                                  "can hold";
      throw koException(message.c_str());
    }
    return static_cast<int>(count);
  });
}

size_t ArrayRef::number_of_nonzeros() {
  return guardedSlot(kNoSize, [&] { return zyGetNumberOfNonzeros(get_zyArray()); });
}

size_t ArrayRef::maximum_nonzeros() {
  return guardedSlot(kNoSize, [&] {
    zyArray* array = get_zyArray();
    return zyIsSparse(array) ? zyGetNzmax(array) : zyGetNumberOfElements(array);
  });
}

size_t ArrayRef::number_of_dimensions() {
  return guardedSlot(kNoSize, [&] { return zyGetNumberOfDimensions(get_zyArray()); });
}

array_ref* ArrayRef::get_dimensions() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    zyArray* array = get_zyArray();
    return uint64RowVector(zyGetDimensions(array), zyGetNumberOfDimensions(array));
  });
}

int ArrayRef::number_of_fields() {
  return guardedSlot(-1, [&] { return zyGetNumberOfFields(get_zyArray()); });
}

char_buffer* ArrayRef::get_field_name(int field) {
  return guardedSlot<char_buffer*>(nullptr, [&] {
    const char* name = zyGetFieldNameByNumber(get_zyArray(), field);
    return makePooled<CharBuffer>(name ? name : "");
  });
}

bool ArrayRef::is_empty() {
  return guardedSlot(true, [&] { return zyIsEmpty(get_zyArray()) != 0; });
}

bool ArrayRef::is_sparse() {
  return guardedSlot(false, [&] { return zyIsSparse(get_zyArray()) != 0; });
}

bool ArrayRef::is_numeric() {
  return guardedSlot(false, [&] { return zyIsNumeric(get_zyArray()) != 0; });
}

bool ArrayRef::is_complex() {
  return guardedSlot(false, [&] { return zyIsComplex(get_zyArray()) != 0; });
}

int ArrayRef::make_complex() {
  return guardedSlot(-1, [&] {
    zyArray* array = get_zyArray();
    if (!zyIsNumeric(array) || zyIsComplex(array) || zyIsEmpty(array)) return 0;
    const size_t count = zyIsSparse(array) ? zyGetNzmax(array) : zyGetNumberOfElements(array);
    // Zeroed: the new imaginary parts must read as 0.
    void* block = zyCalloc(count, zyGetElementSize(array));
    if (block == nullptr) throw MemoryException();
    if (zySetImagData(array, block) != 0) {
      zyFree(block);
      throw MemoryException();
    }
    return 0;
  });
}

bool ArrayRef::equals(array_ref* other) {
  return guardedSlot(false, [&] { return arraysEqual(get_zyArray(), other); });
}

int ArrayRef::compare_to(array_ref* other) {
  return guardedSlot(0, [&] { return compareArrays(get_zyArray(), other); });
}

int ArrayRef::hash_code() {
  return guardedSlot(0, [&] { return hashArray(get_zyArray()); });
}

char_buffer* ArrayRef::to_string() {
  return guardedSlot<char_buffer*>(
      nullptr, [&] { return makePooled<CharBuffer>(printedForm(get_zyArray())); });
}

array_ref* ArrayRef::row_index() {
  return guardedSlot<array_ref*>(nullptr, [&] { return indexVector(get_zyArray(), true); });
}

array_ref* ArrayRef::column_index() {
  return guardedSlot<array_ref*>(nullptr, [&] { return indexVector(get_zyArray(), false); });
}

array_ref* ArrayRef::get_const_char(const char* field, size_t count, const size_t* indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    zyArray* array = get_zyArray();
    if (zyGetClassID(array) != zySTRUCT_CLASS) throw FieldIndexingException();
    return newCellRef(array, field_offset(field, count, indices));
  });
}

array_ref* ArrayRef::get_int(size_t count, const size_t* indices) {
  return guardedSlot<array_ref*>(nullptr, [&]() -> array_ref* {
    zyArray* array = get_zyArray();
    if (isContainer(zyGetClassID(array))) {
      return newCellRef(array, read_offset(count, indices));
    }
    const int part = zyIsComplex(array) ? kWholePart : kRealPart;
    if (zyIsSparse(array)) {
      bool found = false;
      const size_t offset = read_offset_found(&found, count, indices);
      const size_t row = count < 2 ? 1 : indices[0];
      const size_t column = count < 2 ? indices[0] : indices[1];
      return makePooled<SparseData>(this, part, found, offset, row, column);
    }
    return makePooled<ScalarData>(this, part, true, read_offset(count, indices));
  });
}

array_ref* ArrayRef::getV_const_char(const char* field, size_t count, va_list indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    idx_buffer buffer(count);
    copyIndices(buffer, count, indices);
    return get_const_char(field, count, buffer.data());
  });
}

array_ref* ArrayRef::getV_int(size_t count, va_list indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    idx_buffer buffer(count);
    copyIndices(buffer, count, indices);
    return get_int(count, buffer.data());
  });
}

int ArrayRef::set(array_ref* source) {
  return guardedSlot(-1, [&] {
    if (source == nullptr) throw NullPointerException();
    // The copy is made before the old array goes, so that a source that is this object, or a
    // reference into its array, is read while it is still whole.
    ArrayAccess access(source);
    zyArray* copy = access.array() ? checkedArray(zyDuplicateArray(access.array())).release()
                                   : createEmptyArray(zyUNKNOWN_CLASS);
    destroyArray(array_);
    array_ = copy;
    return 0;
  });
}

array_ref* ArrayRef::real() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    const int classId = zyGetClassID(get_zyArray());
    if (isContainer(classId)) throw ArrayConvertException("numeric", classId);
    return makePooled<ArrayData>(this, kRealPart);
  });
}

array_ref* ArrayRef::imag() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    zyArray* array = get_zyArray();
    const int classId = zyGetClassID(array);
    if (isContainer(classId)) throw ArrayConvertException("numeric", classId);
    if (!zyIsComplex(array)) throw ComplexAccessException();
    return makePooled<ArrayData>(this, kImaginaryPart);
  });
}

size_t ArrayRef::data_count() { return dataCount(get_zyArray()); }

size_t ArrayRef::write_offset(size_t count, const size_t* indices) {
  return writeOffset(get_zyArray(), count, indices);
}

size_t ArrayRef::field_offset(const char* field, size_t count, const size_t* indices) {
  return fieldOffset(get_zyArray(), field, count, indices);
}

size_t ArrayRef::read_offset_found(bool* found, size_t count, const size_t* indices) {
  return readOffset(get_zyArray(), count, indices, found);
}

size_t ArrayRef::read_offset(size_t count, const size_t* indices) {
  return readOffset(get_zyArray(), count, indices, nullptr);
}

void* ArrayRef::real_data() { return zyGetData(get_zyArray()); }

void* ArrayRef::imag_data() { return zyGetImagData(get_zyArray()); }

// Reading needs no private copy of shared data.
const void* ArrayRef::read_data() { return zyGetDataConst(get_zyArray()); }

void* ArrayRef::write_data() {
  zyArray* array = get_zyArray();
  void* data = zyGetData(array);
  if (data == nullptr && zyGetNumberOfElements(array) != 0 && zyGetElementSize(array) != 0) {
    throw MemoryException();  // no private copy of shared data could be made
  }
  return data;
}

void ArrayRef::access_array(zyArray** array, bool* owned) {
  *array = get_zyArray();
  *owned = false;
}

// ---- CellRef --------------------------------------------------------------------------------

CellRef::CellRef(zyArray* container, size_t offset)
    : ArrayRef(container, Borrow{}), offset_(offset) {}

CellRef::~CellRef() { array_ = nullptr; }

zyArray* CellRef::get_zyArray() {
  rtkLock lock;
  if (array_ == nullptr) return nullptr;
  if (zyArray* element = containerElement(array_, offset_)) return element;
  zyArray* empty = zyCreateDoubleMatrix(0, 0, zyREAL);
  if (empty == nullptr) return nullptr;
  try {
    storeContainerElement(array_, offset_, empty);
  } catch (...) {
    zyDestroyArray(empty);
    return nullptr;
  }
  return empty;
}

void CellRef::replaceElement(zyArray* element) {
  zyArray* previous = containerElement(array_, offset_);
  try {
    storeContainerElement(array_, offset_, element);
  } catch (...) {
    zyDestroyArray(element);
    throw;
  }
  destroyArray(previous);
}

int CellRef::set(array_ref* source) {
  return guardedSlot(-1, [&] {
    if (source == nullptr || array_ == nullptr) throw NullPointerException();
    ArrayAccess access(source);
    zyArray* copy = checkedArray(access.array() ? zyCreateSharedDataCopy(access.array())
                                                : zyCreateDoubleMatrix(0, 0, zyREAL))
                        .release();
    replaceElement(copy);
    return 0;
  });
}

template <typename Element, zyClassID kClass>
int CellRef::storeNumbers(const Element* buffer, size_t count) {
  return guardedSlot(-1, [&] {
    if (array_ == nullptr) throw NullPointerException();
    if (buffer == nullptr) throw IllegalArgumentException();
    const size_t dimensions[1] = {count};
    OwnedArray numbers = checkedArray(zyCreateNumericArray(1, dimensions, kClass, zyREAL));
    if (count != 0) {
      void* data = zyGetData(numbers.get());
      if (data == nullptr) throw MemoryException();
      std::memcpy(data, buffer, count * sizeof(Element));
    }
    replaceElement(numbers.release());
    return 0;
  });
}

int CellRef::set_numeric_zyUint64(const zyUint64* buffer, size_t count) {
  return storeNumbers<zyUint64, zyUINT64_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyInt64(const zyInt64* buffer, size_t count) {
  return storeNumbers<zyInt64, zyINT64_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyUint32(const zyUint32* buffer, size_t count) {
  return storeNumbers<zyUint32, zyUINT32_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyInt32(const zyInt32* buffer, size_t count) {
  return storeNumbers<zyInt32, zyINT32_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyUint16(const zyUint16* buffer, size_t count) {
  return storeNumbers<zyUint16, zyUINT16_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyInt16(const zyInt16* buffer, size_t count) {
  return storeNumbers<zyInt16, zyINT16_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyUint8(const zyUint8* buffer, size_t count) {
  return storeNumbers<zyUint8, zyUINT8_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyInt8(const zyInt8* buffer, size_t count) {
  return storeNumbers<zyInt8, zyINT8_CLASS>(buffer, count);
}
int CellRef::set_numeric_zySingle(const zySingle* buffer, size_t count) {
  return storeNumbers<zySingle, zySINGLE_CLASS>(buffer, count);
}
int CellRef::set_numeric_zyDouble(const zyDouble* buffer, size_t count) {
  return storeNumbers<zyDouble, zyDOUBLE_CLASS>(buffer, count);
}
