#include "rtkkvn/arrays/array_data.hpp"

#include <cstring>
#include <memory>

#include "rtkkvn/arrays/array_access.hpp"
#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/array_ref.hpp"
#include "rtkkvn/arrays/char_buffer.hpp"

using namespace rtkkvn::arrays;

namespace {

constexpr size_t kNoSize = static_cast<size_t>(-1);
constexpr size_t kLargestElement = sizeof(double);

bool isAssignableClass(int classId) {
  return classId == zyLOGICAL_CLASS || classId == zyCHAR_CLASS ||
         (classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS);
}

// A new array holding only the real (1) or imaginary (2) part of a complex array.
zyArray* copyOfPart(const zyArray* array, int part) {
  const void* block = part == kImaginaryPart ? zyGetImagDataConst(array) : zyGetDataConst(array);
  const size_t elementSize = zyGetElementSize(array);
  if (zyIsSparse(array)) {
    const size_t columns = zyGetN(array);
    const size_t stored = zyGetNumberOfNonzeros(array);
    OwnedArray copy =
        checkedArray(zyCreateSparse(zyGetM(array), columns, zyGetNzmax(array), zyREAL));
    std::memcpy(zyGetJc(copy.get()), zyGetJcConst(array), (columns + 1) * sizeof(size_t));
    std::memcpy(zyGetIr(copy.get()), zyGetIrConst(array), stored * sizeof(size_t));
    std::memcpy(zyGetData(copy.get()), block, stored * elementSize);
    return copy.release();
  }
  OwnedArray copy = checkedArray(zyCreateNumericArray(
      zyGetNumberOfDimensions(array), zyGetDimensions(array), zyGetClassID(array), zyREAL));
  const size_t bytes = zyGetNumberOfElements(array) * elementSize;
  if (bytes != 0) std::memcpy(zyGetData(copy.get()), block, bytes);
  return copy.release();
}

// The bytes of the first value of part (1 real, 2 imaginary) of a value being assigned; zeros
// when it has none stored (the first element of a sparse array that is not stored).
const void* firstValue(const zyArray* value, int part) {
  static const double zero = 0.0;
  const void* block = part == kImaginaryPart ? zyGetImagDataConst(value) : zyGetDataConst(value);
  if (block == nullptr) return &zero;
  if (zyIsSparse(value)) {
    const size_t* columnStarts = zyGetJcConst(value);
    const bool stored = columnStarts[1] > 0 && zyGetIrConst(value)[0] == 0;
    return stored ? block : &zero;
  }
  return block;
}

void convertInto(void* destination, int destinationClass, const void* source, int sourceClass) {
  if (zyConvertBufferToType(destination, static_cast<zyClassID>(destinationClass), source,
                            static_cast<zyClassID>(sourceClass), 1) != 0) {
    throw ArrayConvertException(destinationClass, sourceClass);
  }
}

}  // namespace

// ---- ArrayData ------------------------------------------------------------------------------

ArrayData::ArrayData(array_data_ref* source, int part) : source_(source), part_(part) {
  source_->addref();
}

ArrayData::~ArrayData() {
  if (source_) source_->release();
}

array_data_ref& ArrayData::source() {
  if (source_ == nullptr) throw NullPointerException();
  return *source_;
}

array_ref& ArrayData::sourceArray() {
  auto* array = dynamic_cast<array_ref*>(&source());
  if (array == nullptr) throw IllegalArgumentException("Invalid argument");
  return *array;
}

int ArrayData::addref() { return addReference(count_); }

int ArrayData::release() { return releaseReference(count_, this); }

int ArrayData::classID() {
  return guardedSlot(0, [&] { return sourceArray().classID(); });
}

array_ref* ArrayData::deep_copy() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return duplicateIntoNew(access.array());
  });
}

void ArrayData::detach() {
  guardedSlot([&] {
    array_data_ref* source = source_;
    source_ = nullptr;
    if (source) source->release();
  });
}

array_ref* ArrayData::shared_copy() {
  return guardedSlot<array_ref*>(nullptr, [&] { return makePooled<ArrayData>(&source(), part_); });
}

array_ref* ArrayData::serialize() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return serializeIntoNew(access.array());
  });
}

int ArrayData::element_size() {
  return guardedSlot(-1, [&] { return sourceArray().element_size(); });
}

int ArrayData::number_of_elements() {
  return guardedSlot(-1, [&] { return sourceArray().number_of_elements(); });
}

size_t ArrayData::number_of_nonzeros() {
  return guardedSlot(kNoSize, [&] { return sourceArray().number_of_nonzeros(); });
}

size_t ArrayData::maximum_nonzeros() {
  return guardedSlot(kNoSize, [&] { return sourceArray().maximum_nonzeros(); });
}

size_t ArrayData::number_of_dimensions() {
  return guardedSlot(kNoSize, [&] { return sourceArray().number_of_dimensions(); });
}

array_ref* ArrayData::get_dimensions() {
  return guardedSlot<array_ref*>(nullptr, [&] { return sourceArray().get_dimensions(); });
}

int ArrayData::number_of_fields() {
  return guardedSlot(-1, [&] { return sourceArray().number_of_fields(); });
}

char_buffer* ArrayData::get_field_name(int) {
  return guardedSlot<char_buffer*>(nullptr,
                                   []() -> char_buffer* { throw FieldIndexingException(); });
}

bool ArrayData::is_empty() {
  return guardedSlot(true, [&] { return sourceArray().is_empty(); });
}

bool ArrayData::is_sparse() {
  return guardedSlot(false, [&] { return sourceArray().is_sparse(); });
}

bool ArrayData::is_numeric() {
  return guardedSlot(false, [&] { return sourceArray().is_numeric(); });
}

bool ArrayData::is_complex() {
  return guardedSlot(false, [&] { return sourceArray().is_complex(); });
}

int ArrayData::make_complex() {
  return guardedSlot(-1, []() -> int { throw ComplexAccessException(); });
}

bool ArrayData::equals(array_ref* other) {
  return guardedSlot(false, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return arraysEqual(access.array(), other);
  });
}

int ArrayData::compare_to(array_ref* other) {
  return guardedSlot(0, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return compareArrays(access.array(), other);
  });
}

int ArrayData::hash_code() {
  return guardedSlot(0, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return hashArray(access.array());
  });
}

char_buffer* ArrayData::to_string() {
  return guardedSlot<char_buffer*>(nullptr, [&] {
    ArrayAccess access(static_cast<array_data_ref*>(this));
    return makePooled<CharBuffer>(printedForm(access.array()));
  });
}

array_ref* ArrayData::row_index() {
  return guardedSlot<array_ref*>(nullptr, [&] { return sourceArray().row_index(); });
}

array_ref* ArrayData::column_index() {
  return guardedSlot<array_ref*>(nullptr, [&] { return sourceArray().column_index(); });
}

array_ref* ArrayData::get_const_char(const char*, size_t, const size_t*) {
  return guardedSlot<array_ref*>(nullptr, []() -> array_ref* { throw FieldIndexingException(); });
}

array_ref* ArrayData::get_int(size_t count, const size_t* indices) {
  return guardedSlot<array_ref*>(nullptr, [&]() -> array_ref* {
    array_data_ref& source = this->source();
    if (source.is_sparse()) {
      bool found = false;
      const size_t offset = source.read_offset_found(&found, count, indices);
      const size_t row = count < 2 ? 1 : indices[0];
      const size_t column = count < 2 ? indices[0] : indices[1];
      return makePooled<SparseData>(&source, part_, found, offset, row, column);
    }
    return makePooled<ScalarData>(&source, part_, true, source.read_offset(count, indices));
  });
}

array_ref* ArrayData::getV_const_char(const char* field, size_t count, va_list indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    idx_buffer buffer(count);
    copyIndices(buffer, count, indices);
    return get_const_char(field, count, buffer.data());
  });
}

array_ref* ArrayData::getV_int(size_t count, va_list indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    idx_buffer buffer(count);
    copyIndices(buffer, count, indices);
    return get_int(count, buffer.data());
  });
}

int ArrayData::set(array_ref*) {
  return guardedSlot(-1, []() -> int { throw ArrayConvertException(); });
}

array_ref* ArrayData::real() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    return makePooled<ArrayData>(&source(), part_ == kImaginaryPart ? kImaginaryPart : kRealPart);
  });
}

array_ref* ArrayData::imag() {
  return guardedSlot<array_ref*>(nullptr, []() -> array_ref* { throw ComplexAccessException(); });
}

size_t ArrayData::data_count() { return source().data_count(); }

size_t ArrayData::write_offset(size_t count, const size_t* indices) {
  return source().write_offset(count, indices);
}

size_t ArrayData::field_offset(const char* field, size_t count, const size_t* indices) {
  return source().field_offset(field, count, indices);
}

size_t ArrayData::read_offset_found(bool* found, size_t count, const size_t* indices) {
  return source().read_offset_found(found, count, indices);
}

size_t ArrayData::read_offset(size_t count, const size_t* indices) {
  return source().read_offset(count, indices);
}

void* ArrayData::real_data() { return source().real_data(); }

void* ArrayData::imag_data() { return source().imag_data(); }

const void* ArrayData::read_data() {
  if (part_ != kImaginaryPart) return source().read_data();
  const void* data = source().imag_data();
  if (data == nullptr) throw ComplexAccessException();  // the source became real
  return data;
}

void* ArrayData::write_data() {
  if (part_ != kImaginaryPart) return source().write_data();
  void* data = source().imag_data();
  if (data == nullptr) throw ComplexAccessException();
  return data;
}

void ArrayData::access_array(zyArray** array, bool* owned) {
  zyArray* whole = nullptr;
  bool wholeOwned = false;
  source().access_array(&whole, &wholeOwned);
  OwnedArray temporary(wholeOwned ? whole : nullptr);
  if (whole == nullptr || part_ == kWholePart || (part_ == kRealPart && !zyIsComplex(whole))) {
    *array = whole;
    *owned = wholeOwned;
    temporary.release();
    return;
  }
  if (!zyIsComplex(whole)) throw ComplexAccessException();
  *array = copyOfPart(whole, part_);
  *owned = true;
}

// ---- ScalarData -----------------------------------------------------------------------------

ScalarData::ScalarData(array_data_ref* source, int part, bool present, size_t offset)
    : ArrayData(source, part), present_(present), offset_(offset) {}

int ScalarData::number_of_elements() {
  return guardedSlot(-1, [] { return 1; });
}

size_t ScalarData::number_of_nonzeros() {
  return guardedSlot(kNoSize, [] { return size_t{1}; });
}

size_t ScalarData::maximum_nonzeros() {
  return guardedSlot(kNoSize, [] { return size_t{1}; });
}

size_t ScalarData::number_of_dimensions() {
  return guardedSlot(kNoSize, [] { return size_t{2}; });
}

array_ref* ScalarData::get_dimensions() {
  return guardedSlot<array_ref*>(nullptr, [] { return int32Ones(1, 2); });
}

bool ScalarData::is_sparse() {
  return guardedSlot(false, [] { return false; });
}

array_ref* ScalarData::row_index() {
  return guardedSlot<array_ref*>(nullptr, [] { return int32Ones(1, 1); });
}

array_ref* ScalarData::column_index() {
  return guardedSlot<array_ref*>(nullptr, [] { return int32Ones(1, 1); });
}

array_ref* ScalarData::get_const_char(const char*, size_t, const size_t*) {
  return guardedSlot<array_ref*>(nullptr, [&]() -> array_ref* {
    throw ArrayConvertException("numeric", sourceArray().classID());
  });
}

array_ref* ScalarData::get_int(size_t count, const size_t* indices) {
  return guardedSlot<array_ref*>(nullptr, [&] {
    if (indices == nullptr) throw IllegalArgumentException("Invalid argument");
    if (count == 1) {
      if (indices[0] != 1) throw IndexOutOfBoundsException(indices[0], 1);
    } else if (count == 2) {
      const size_t dimensions[2] = {1, 1};
      if (indices[0] != 1 || indices[1] != 1) {
        throw IndexOutOfBoundsException(indices, dimensions, 2);
      }
    } else {
      throw IndexOutOfBoundsException("Incompatible number of dimensions");
    }
    return makeElementView(part_);
  });
}

array_ref* ScalarData::shared_copy() {
  return guardedSlot<array_ref*>(nullptr, [&] { return makeElementView(part_); });
}

array_ref* ScalarData::real() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    return makeElementView(part_ == kImaginaryPart ? kImaginaryPart : kRealPart);
  });
}

array_ref* ScalarData::imag() {
  return guardedSlot<array_ref*>(nullptr, [&] {
    if (!source().is_complex()) throw ComplexAccessException();
    return makeElementView(kImaginaryPart);
  });
}

array_ref* ScalarData::makeElementView(int part) {
  return makePooled<ScalarData>(&source(), part, present_, offset_);
}

int ScalarData::set(array_ref* value) {
  return guardedSlot(-1, [&] {
    if (value == nullptr) throw NullPointerException();
    const int targetClass = sourceArray().classID();
    ArrayAccess access(value);
    const zyArray* array = access.array();
    const int valueClass = zyGetClassID(array);
    if (!isAssignableClass(valueClass)) throw TypeMismatchException(targetClass, valueClass);
    if (zyGetNumberOfElements(array) == 0) throw IndexOutOfBoundsException(1, 0);
    const bool complexValue = zyIsComplex(array) != 0;
    if (part_ != kWholePart && complexValue) throw ComplexAccessException();
    // The real value goes to the selected part; for a whole element the imaginary part gets the
    // value's imaginary part, or zero.
    const int realTarget = part_ == kImaginaryPart ? kImaginaryPart : kRealPart;
    convertInto(elementAddress(realTarget, true), targetClass, firstValue(array, kRealPart),
                valueClass);
    if (part_ == kWholePart) {
      convertInto(elementAddress(kImaginaryPart, true), targetClass,
                  firstValue(array, kImaginaryPart), valueClass);
    }
    return 0;
  });
}

char* ScalarData::elementAddress(int part, bool) {
  array_data_ref& source = this->source();
  const size_t count = source.data_count();
  if (offset_ >= count) throw IndexOutOfBoundsException(offset_ + 1, count);  // a stale view
  auto* block =
      static_cast<char*>(part == kImaginaryPart ? source.imag_data() : source.real_data());
  if (block == nullptr) {
    if (part == kImaginaryPart) throw ComplexAccessException();
    throw ArrayConvertException("numeric", source.classID());  // a class without data
  }
  return block + offset_ * static_cast<size_t>(source.element_size());
}

size_t ScalarData::data_count() { return 1; }

size_t ScalarData::write_offset(size_t, const size_t*) { return offset_; }

size_t ScalarData::field_offset(const char*, size_t, const size_t*) { return offset_; }

size_t ScalarData::read_offset_found(bool* found, size_t, const size_t*) {
  if (found) *found = present_;
  return offset_;
}

size_t ScalarData::read_offset(size_t, const size_t*) { return offset_; }

void* ScalarData::real_data() { return elementAddress(kRealPart, false); }

void* ScalarData::imag_data() { return elementAddress(kImaginaryPart, false); }

const void* ScalarData::read_data() {
  return elementAddress(part_ == kImaginaryPart ? kImaginaryPart : kRealPart, false);
}

void* ScalarData::write_data() {
  return elementAddress(part_ == kImaginaryPart ? kImaginaryPart : kRealPart, true);
}

void ScalarData::access_array(zyArray** array, bool* owned) {
  const int classId = source().classID();
  const bool whole = part_ == kWholePart;
  OwnedArray element = checkedArray(
      zyCreateNumericMatrix(1, 1, static_cast<zyClassID>(classId), whole ? zyCOMPLEX : zyREAL));
  const size_t elementSize = zyGetElementSize(element.get());
  if (elementSize != 0) {
    const int realPart = part_ == kImaginaryPart ? kImaginaryPart : kRealPart;
    std::memcpy(zyGetData(element.get()), elementAddress(realPart, false), elementSize);
    if (whole && zyIsComplex(element.get())) {
      std::memcpy(zyGetImagData(element.get()), elementAddress(kImaginaryPart, false), elementSize);
    }
  }
  *array = element.release();
  *owned = true;
}

// ---- SparseData -----------------------------------------------------------------------------

SparseData::SparseData(array_data_ref* source, int part, bool present, size_t offset, size_t row,
                       size_t column)
    : ScalarData(source, part, present, offset), row_(row), column_(column) {}

SparseData::~SparseData() { SmallObjectPool::instance().deallocate(zero_, kLargestElement); }

array_ref* SparseData::makeElementView(int part) {
  return makePooled<SparseData>(&source(), part, present_, offset_, row_, column_);
}

char* SparseData::zeroElement() {
  if (zero_ == nullptr) {
    zero_ = static_cast<char*>(SmallObjectPool::instance().allocate(kLargestElement));
    if (zero_ == nullptr) throw MemoryException();
    std::memset(zero_, 0, kLargestElement);
  }
  return zero_;
}

char* SparseData::elementAddress(int part, bool forWrite) {
  array_data_ref& source = this->source();
  if (part == kImaginaryPart && !source.is_complex()) throw ComplexAccessException();
  const size_t indices[2] = {row_, column_};
  size_t offset;
  if (forWrite) {
    offset = source.write_offset(2, indices);
  } else {
    bool found = false;
    offset = source.read_offset_found(&found, 2, indices);
    if (!found) return zeroElement();
  }
  present_ = true;
  offset_ = offset;
  auto* block =
      static_cast<char*>(part == kImaginaryPart ? source.imag_data() : source.real_data());
  if (block == nullptr) throw MemoryException();
  return block + offset * static_cast<size_t>(source.element_size());
}

size_t SparseData::write_offset(size_t, const size_t*) {
  const size_t indices[2] = {row_, column_};
  return source().write_offset(2, indices);
}

size_t SparseData::field_offset(const char*, size_t, const size_t*) {
  return read_offset(0, nullptr);
}

size_t SparseData::read_offset_found(bool* found, size_t, const size_t*) {
  const size_t indices[2] = {row_, column_};
  bool stored = false;
  const size_t offset = source().read_offset_found(&stored, 2, indices);
  if (found) *found = stored;
  return offset;
}

size_t SparseData::read_offset(size_t, const size_t*) {
  return read_offset_found(nullptr, 0, nullptr);
}
