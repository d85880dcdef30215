// Element movement for every class: numeric, char and logical data move as bytes; cells and
// structs move their elements as shared-data copies, so no nested data is copied.

#include "engine/ops/shape.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/ops/elementwise.hpp"

namespace q::ops::detail {
namespace {

bool isPayloadClass(zyClassID c) { return c >= zyFUNCTION_CLASS && c <= zyOBJECT_CLASS; }

// Hands value to the container; a refusal (memory ran out) must not leak it.
void adopt(int status, zyArray* value) {
  if (status != 0) {
    zyDestroyArray(value);
    outOfMemory();
  }
}

zyArray* sharedElement(const zyArray* element) {
  return checked(zyCreateSharedDataCopy(element)).release();
}

std::vector<const char*> fieldNamesOf(const zyArray* structArray) {
  std::vector<const char*> names;
  for (const std::string& name : structArray->get_struct_field_info())
    names.push_back(name.c_str());
  return names;
}

// A new array of the class (and fields) of like, with the given shape.
ArrayPtr createLike(const zyArray* like, const Dims& dims, bool complex) {
  if (like->classId() == zySTRUCT_CLASS) {
    std::vector<const char*> names = fieldNamesOf(like);
    countOf(dims);
    return checked(zyCreateStructArray(dims.size(), dims.data(), static_cast<int>(names.size()),
                                       names.data()));
  }
  return create(like->classId(), dims, complex);
}

template <typename T>
void gatherTyped(void* out, const void* in, const std::vector<size_t>& indices) {
  auto* target = static_cast<T*>(out);
  const auto* source = static_cast<const T*>(in);
  for (size_t k = 0; k < indices.size(); ++k) target[k] = source[indices[k]];
}

void gatherBytes(void* out, const void* in, size_t size, const std::vector<size_t>& indices) {
  switch (size) {
    case 1:
      return gatherTyped<uint8_t>(out, in, indices);
    case 2:
      return gatherTyped<uint16_t>(out, in, indices);
    case 4:
      return gatherTyped<uint32_t>(out, in, indices);
    default:
      return gatherTyped<uint64_t>(out, in, indices);
  }
}

// Cache-friendly transpose of an m-by-n block of elements.
template <typename T>
void transposeTyped(void* out, const void* in, size_t m, size_t n) {
  auto* target = static_cast<T*>(out);
  const auto* source = static_cast<const T*>(in);
  constexpr size_t kBlock = 32;
  for (size_t j0 = 0; j0 < n; j0 += kBlock) {
    for (size_t i0 = 0; i0 < m; i0 += kBlock) {
      const size_t jEnd = std::min(n, j0 + kBlock), iEnd = std::min(m, i0 + kBlock);
      for (size_t j = j0; j < jEnd; ++j) {
        for (size_t i = i0; i < iEnd; ++i) target[j + n * i] = source[i + m * j];
      }
    }
  }
}

void transposeBytes(void* out, const void* in, size_t size, size_t m, size_t n) {
  switch (size) {
    case 1:
      return transposeTyped<uint8_t>(out, in, m, n);
    case 2:
      return transposeTyped<uint16_t>(out, in, m, n);
    case 4:
      return transposeTyped<uint32_t>(out, in, m, n);
    default:
      return transposeTyped<uint64_t>(out, in, m, n);
  }
}

void conjugateInPlace(zyArray* a) {
  if (!isComplex(a) || a->numberOfElements() == 0) return;
  const size_t n = a->numberOfElements();
  if (a->classId() == zyDOUBLE_CLASS) {
    double* imag = imagOf<double>(a);
    for (size_t i = 0; i < n; ++i) imag[i] = -imag[i];
    return;
  }
  // Other classes: negate through double, which saturates integers as their arithmetic does.
  std::vector<double> values(n);
  zyConvertBufferToType(values.data(), zyDOUBLE_CLASS, a->imagData(), a->classId(), n);
  for (double& value : values) value = -value;
  zyConvertBufferToType(zyGetImagData(a), a->classId(), values.data(), zyDOUBLE_CLASS, n);
}

ArrayPtr transposeSparse(const zyArray* a, bool conjugate) {
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const size_t stored = zyGetNumberOfNonzeros(a);
  std::vector<size_t> rows(stored), columns(stored);
  for (size_t column = 0; column < n; ++column) {
    for (size_t k = a->jc()[column]; k < a->jc()[column + 1]; ++k) {
      rows[k] = column;
      columns[k] = a->ir()[k];
    }
  }
  std::vector<double> imag;
  if (isComplex(a)) {
    imag.assign(constImag<double>(a), constImag<double>(a) + stored);
    if (conjugate) {
      for (double& value : imag) value = -value;
    }
  }
  return checked(zyCreateSparseFromTriplets(n, m, stored, rows.data(), columns.data(),
                                            a->realData(), imag.empty() ? nullptr : imag.data(),
                                            a->classId(), stored));
}

}  // namespace

ElementWriter::ElementWriter(zyArray* target)
    : target_(target), classId_(target->classId()), elementSize_(zyGetElementSize(target)) {
  if (isArithmeticClass(classId_) && target->numberOfElements() > 0) {
    real_ = static_cast<unsigned char*>(zyGetData(target));
    if (isComplex(target)) imag_ = static_cast<unsigned char*>(zyGetImagData(target));
  }
}

void ElementWriter::copy(const zyArray* source, size_t from, size_t to, size_t count) {
  if (count == 0) return;
  if (isArithmeticClass(classId_)) {
    const size_t bytes = count * elementSize_;
    std::memcpy(real_ + to * elementSize_,
                static_cast<const unsigned char*>(source->realData()) + from * elementSize_, bytes);
    if (imag_ != nullptr) {
      if (isComplex(source)) {
        std::memcpy(imag_ + to * elementSize_,
                    static_cast<const unsigned char*>(source->imagData()) + from * elementSize_,
                    bytes);
      } else {
        std::memset(imag_ + to * elementSize_, 0, bytes);
      }
    }
    return;
  }
  if (classId_ == zyCELL_CLASS) {
    for (size_t k = 0; k < count; ++k) {
      const zyArray* element = zyGetCellConst(source, from + k);
      if (element == nullptr) continue;
      zyArray* value = sharedElement(element);
      adopt(zySetCell(target_, to + k, value), value);
    }
    return;
  }
  if (classId_ == zySTRUCT_CLASS) {
    const int fields = zyGetNumberOfFields(target_);
    if (source != mappedSource_) {
      fieldMap_.assign(static_cast<size_t>(fields), -1);
      for (int f = 0; f < fields; ++f) {
        fieldMap_[f] = zyGetFieldNumber(source, zyGetFieldNameByNumber(target_, f));
      }
      mappedSource_ = source;
    }
    const size_t sourceFields = static_cast<size_t>(zyGetNumberOfFields(source));
    const auto* slots = static_cast<zyArray* const*>(source->realData());
    for (size_t k = 0; k < count && slots != nullptr; ++k) {
      for (int f = 0; f < fields; ++f) {
        if (fieldMap_[f] < 0) continue;
        const zyArray* element =
            slots[static_cast<size_t>(fieldMap_[f]) + sourceFields * (from + k)];
        if (element == nullptr) continue;
        zyArray* value = sharedElement(element);
        adopt(zySetFieldByNumber(target_, to + k, f, value), value);
      }
    }
    return;
  }
  raise("Q:invalidInput",
        "Values of class '" + className(classId_) + "' cannot be combined into arrays.");
}

ArrayPtr gather(const zyArray* sourceIn, const Dims& dims, const std::vector<size_t>& indices) {
  FullArray source(sourceIn);
  const zyClassID cls = source->classId();
  if (isPayloadClass(cls) || cls == zyUNKNOWN_CLASS) {
    if (indices.size() == 1 && indices[0] == 0)
      return checked(zyCreateSharedDataCopy(source.get()));
    raise("Q:invalidInput", "Values of class '" + className(cls) + "' cannot form arrays.");
  }
  ArrayPtr out = createLike(source.get(), dims, isComplex(source.get()));
  if (indices.empty()) return out;
  if (isArithmeticClass(cls)) {
    const size_t size = zyGetElementSize(source.get());
    gatherBytes(zyGetData(out.get()), source->realData(), size, indices);
    if (isComplex(source.get())) {
      gatherBytes(zyGetImagData(out.get()), source->imagData(), size, indices);
    }
    return out;
  }
  ElementWriter writer(out.get());
  for (size_t k = 0; k < indices.size(); ++k) writer.copy(source.get(), indices[k], k, 1);
  return out;
}

ArrayPtr transposeArray(const zyArray* a, bool conjugate) {
  if (a->numberOfDimensions() != 2) {
    raise("Q:transposeND", "Transpose is not defined for N-D arrays.");
  }
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  if (a->isSparse()) return transposeSparse(a, conjugate);
  const zyClassID cls = a->classId();
  if (isPayloadClass(cls) || cls == zyUNKNOWN_CLASS) return checked(zyCreateSharedDataCopy(a));
  if (m == 1 || n == 1) {
    // A vector keeps its element order: a new header over the same data.
    ArrayPtr out = checked(zyCreateSharedDataCopy(a));
    const size_t dims[2] = {n, m};
    if (zySetDimensions(out.get(), dims, 2) != 0) outOfMemory();
    if (conjugate) conjugateInPlace(out.get());
    return out;
  }
  if (isArithmeticClass(cls)) {
    ArrayPtr out = create(cls, {n, m}, isComplex(a));
    const size_t size = zyGetElementSize(a);
    if (m != 0 && n != 0) {
      transposeBytes(zyGetData(out.get()), a->realData(), size, m, n);
      if (isComplex(a)) transposeBytes(zyGetImagData(out.get()), a->imagData(), size, m, n);
    }
    if (conjugate) conjugateInPlace(out.get());
    return out;
  }
  std::vector<size_t> indices(m * n);
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) indices[j + n * i] = i + m * j;
  }
  return gather(a, {n, m}, indices);
}

namespace {

bool isBareEmpty(const zyArray* a) {
  return a->classId() == zyDOUBLE_CLASS && a->numberOfDimensions() == 2 &&
         a->dimensions()[0] == 0 && a->dimensions()[1] == 0;
}

bool sameFieldSet(const zyArray* a, const zyArray* b) {
  const auto& fa = a->get_struct_field_info();
  const auto& fb = b->get_struct_field_info();
  if (fa.size() != fb.size()) return false;
  for (const std::string& name : fa) {
    if (std::find(fb.begin(), fb.end(), name) == fb.end()) return false;
  }
  return true;
}

zyClassID concatenationClass(const std::vector<const zyArray*>& operands, bool& complex) {
  bool anyCell = false, anyStruct = false, anyChar = false, anySingle = false;
  bool allLogical = true;
  zyClassID integer = zyUNKNOWN_CLASS;
  complex = false;
  for (const zyArray* a : operands) {
    const zyClassID cls = a->classId();
    complex = complex || isComplex(a);
    if (cls == zyCELL_CLASS) {
      anyCell = true;
    } else if (cls == zySTRUCT_CLASS) {
      anyStruct = true;
    } else if (!isArithmeticClass(cls)) {
      raise("Q:invalidInput",
            "Values of class '" + className(cls) + "' cannot be concatenated into arrays.");
    }
    anyChar = anyChar || cls == zyCHAR_CLASS;
    anySingle = anySingle || cls == zySINGLE_CLASS;
    allLogical = allLogical && cls == zyLOGICAL_CLASS;
    if (isIntegerClass(cls) && integer == zyUNKNOWN_CLASS) integer = cls;  // leftmost wins
  }
  if (anyCell) return zyCELL_CLASS;
  if (anyStruct) {
    for (const zyArray* a : operands) {
      if (a->classId() != zySTRUCT_CLASS) {
        raise("Q:catClassMismatch",
              "A struct array cannot be concatenated with a value of class '" +
                  className(a->classId()) + "'.");
      }
      if (!sameFieldSet(a, operands[0])) {
        raise("Q:structFieldMismatch",
              "Struct arrays with different fields cannot be concatenated.");
      }
    }
    return zySTRUCT_CLASS;
  }
  if (anyChar) return zyCHAR_CLASS;
  if (integer != zyUNKNOWN_CLASS) return integer;
  if (anySingle) return zySINGLE_CLASS;
  if (allLogical) return zyLOGICAL_CLASS;
  return zyDOUBLE_CLASS;
}

}  // namespace

ArrayPtr concatenateArrays(size_t dim, const std::vector<const zyArray*>& all) {
  std::vector<const zyArray*> operands;
  for (const zyArray* a : all) {
    if (!isBareEmpty(a)) operands.push_back(a);
  }
  if (operands.empty()) return emptyDouble();
  if (operands.size() == 1) return checked(zyCreateSharedDataCopy(operands[0]));
  bool complex = false;
  const zyClassID cls = concatenationClass(operands, complex);
  complex = complex && isNumericClass(cls);

  // Every operand in the result's class.
  std::vector<ArrayPtr> holders;
  std::vector<const zyArray*> converted;
  for (const zyArray* a : operands) {
    if (cls == zyCELL_CLASS && a->classId() != zyCELL_CLASS) {
      ArrayPtr wrapped = checked(zyCreateCellMatrix(1, 1));
      zyArray* value = sharedElement(a);
      adopt(zySetCell(wrapped.get(), 0, value), value);
      holders.push_back(std::move(wrapped));
    } else if (cls == zyCELL_CLASS || cls == zySTRUCT_CLASS) {
      converted.push_back(a);
      continue;
    } else {
      holders.push_back(convertClass(a, cls));
    }
    converted.push_back(holders.back().get());
  }

  // Operands without elements do not take part in the shape unless all are empty.
  std::vector<const zyArray*> used;
  for (const zyArray* a : converted) {
    if (a->numberOfElements() > 0) used.push_back(a);
  }
  if (used.empty()) {
    for (const zyArray* a : converted) {
      if (a->numberOfDimensions() != 2 || a->dimensions()[0] != 0 || a->dimensions()[1] != 0) {
        used.push_back(a);
      }
    }
  }
  if (used.empty()) return createLike(converted[0], {0, 0}, complex);

  size_t nd = dim + 1;
  for (const zyArray* a : used) nd = std::max(nd, a->numberOfDimensions());
  auto padded = [nd](const zyArray* a) {
    Dims dims = dimsOf(a);
    dims.resize(nd, 1);
    return dims;
  };
  Dims result = padded(used[0]);
  result[dim] = 0;
  std::vector<size_t> blocks;
  for (const zyArray* a : used) {
    const Dims dims = padded(a);
    for (size_t i = 0; i < nd; ++i) {
      if (i != dim && dims[i] != result[i]) {
        raise("Q:catDimensions", "Dimensions of arrays being concatenated are not consistent.");
      }
    }
    result[dim] += dims[dim];
    size_t block = 1;
    for (size_t i = 0; i <= dim; ++i) block *= dims[i];
    blocks.push_back(block);
  }
  ArrayPtr out = createLike(used[0], result, complex);
  size_t outer = 1;
  for (size_t i = dim + 1; i < nd; ++i) outer *= result[i];
  ElementWriter writer(out.get());
  size_t offset = 0;
  for (size_t o = 0; o < outer; ++o) {
    for (size_t k = 0; k < used.size(); ++k) {
      writer.copy(used[k], o * blocks[k], offset, blocks[k]);
      offset += blocks[k];
    }
  }
  return out;
}

ArrayPtr reshaped(const zyArray* aIn, const Dims& dims) {
  FullArray a(aIn);
  const size_t count = countOf(dims);
  if (count != a->numberOfElements()) {
    raise("Q:reshapeCount", "reshape: the number of elements must not change (" +
                                std::to_string(a->numberOfElements()) + " elements cannot become " +
                                sizeText(dims) + ").");
  }
  ArrayPtr out = checked(zyCreateSharedDataCopy(a.get()));
  if (zySetDimensions(out.get(), dims.data(), dims.size()) != 0) outOfMemory();
  return out;
}

void fill(zyArray* a, double value) {
  const size_t n = a->numberOfElements();
  if (n == 0) return;
  if (a->classId() == zyDOUBLE_CLASS) {
    std::fill(dataOf<double>(a), dataOf<double>(a) + n, value);
    return;
  }
  unsigned char element[8] = {0};
  zyConvertBufferToType(element, a->classId(), &value, zyDOUBLE_CLASS, 1);
  const size_t size = zyGetElementSize(a);
  auto* bytes = static_cast<unsigned char*>(zyGetData(a));
  for (size_t i = 0; i < n; ++i) std::memcpy(bytes + i * size, element, size);
}

ArrayPtr identity(zyClassID cls, size_t rows, size_t columns) {
  ArrayPtr out = create(cls, {rows, columns});
  if (rows == 0 || columns == 0) return out;
  unsigned char one[8] = {0};
  const double value = 1;
  zyConvertBufferToType(one, cls, &value, zyDOUBLE_CLASS, 1);
  const size_t size = zyGetElementSize(out.get());
  auto* bytes = static_cast<unsigned char*>(zyGetData(out.get()));
  for (size_t i = 0; i < std::min(rows, columns); ++i) {
    std::memcpy(bytes + (i + rows * i) * size, one, size);
  }
  return out;
}

namespace {

// The class of a range: char from char endpoints, else the arithmetic rules.
zyClassID rangeClass(const zyArray* start, const zyArray* step, const zyArray* stop) {
  if (start->classId() == zyCHAR_CLASS && stop->classId() == zyCHAR_CLASS &&
      (step == nullptr || step->classId() != zySINGLE_CLASS)) {
    return zyCHAR_CLASS;
  }
  zyClassID cls = arithmeticClass(start, stop, ":");
  if (step != nullptr) {
    const zyClassID withStep = arithmeticClass(start, step, ":");
    if (isIntegerClass(withStep) && isIntegerClass(cls) && withStep != cls) {
      raise("Q:mixedIntegerClasses", "Integers of different classes (" + className(cls) + " and " +
                                         className(withStep) + ") cannot be combined.");
    }
    if (isIntegerClass(withStep) || (withStep == zySINGLE_CLASS && !isIntegerClass(cls))) {
      cls = withStep;
    }
  }
  return cls;
}

double firstValue(const zyArray* a) {
  FullArray full(a);
  return DoubleValues(full.get())[0];
}

}  // namespace

ArrayPtr rangeArray(const zyArray* start, const zyArray* step, const zyArray* stop) {
  const zyClassID cls = rangeClass(start, step, stop);
  if (start->numberOfElements() == 0 || stop->numberOfElements() == 0 ||
      (step != nullptr && step->numberOfElements() == 0)) {
    return create(cls, {1, 0});
  }
  const double first = firstValue(start);
  const double last = firstValue(stop);
  const double increment = step ? firstValue(step) : 1.0;
  if (std::isnan(first) || std::isnan(last) || std::isnan(increment) || increment == 0 ||
      (increment > 0 && last < first) || (increment < 0 && last > first)) {
    return create(cls, {1, 0});
  }
  if (std::isinf(first) || std::isinf(last)) {
    raise("Q:outOfMemory", "The range has no end: it cannot be stored.");
  }
  const double quotient = (last - first) / increment;
  // The tolerance keeps the end of ranges such as 0:0.1:0.3 whose quotient falls just short.
  const double steps = std::floor(quotient + std::max(1.0, std::fabs(quotient)) * 1e-10);
  if (steps >= 4.0e15) outOfMemory();
  const size_t n = static_cast<size_t>(steps) + 1;
  // The values are made in an array, not a vector: array data is what an instance's allocation
  // limit bounds, so 1:1e10 under a limit is Q:outOfMemory rather than the process's memory.
  ArrayPtr doubles = createUnfilledDouble({1, n});
  double* values = dataOf<double>(doubles.get());
  for (size_t k = 0; k < n; ++k) values[k] = first + static_cast<double>(k) * increment;
  if ((increment > 0 && values[n - 1] > last) || (increment < 0 && values[n - 1] < last)) {
    values[n - 1] = last;
  }
  if (cls == zyDOUBLE_CLASS) return doubles;
  return fromDoubles(cls, {1, n}, values, nullptr);
}

}  // namespace q::ops::detail
