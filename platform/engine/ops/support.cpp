// Shared helpers of the operations: creation, class tests, argument readers, sparse views.

#include "engine/ops/support.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "zy/errors.hpp"

namespace q::ops::detail {

void raise(const char* identifier, const std::string& message) {
  throw zy::ScriptError(identifier, message);
}

void outOfMemory() { raise("Q:outOfMemory", "Out of memory: the array is too large."); }

ArrayPtr checked(zyArray* array) {
  if (array == nullptr) outOfMemory();
  return ArrayPtr(array);
}

namespace {

struct ClassName {
  const char* name;
  zyClassID classId;
};
constexpr ClassName kClassNames[] = {
    {"double", zyDOUBLE_CLASS}, {"single", zySINGLE_CLASS},   {"int8", zyINT8_CLASS},
    {"uint8", zyUINT8_CLASS},   {"int16", zyINT16_CLASS},     {"uint16", zyUINT16_CLASS},
    {"int32", zyINT32_CLASS},   {"uint32", zyUINT32_CLASS},   {"int64", zyINT64_CLASS},
    {"uint64", zyUINT64_CLASS}, {"logical", zyLOGICAL_CLASS}, {"char", zyCHAR_CLASS},
    {"cell", zyCELL_CLASS},     {"struct", zySTRUCT_CLASS},
};

}  // namespace

bool classFromName(const std::string& name, zyClassID& classId) {
  for (const ClassName& entry : kClassNames) {
    if (name == entry.name) {
      classId = entry.classId;
      return true;
    }
  }
  return false;
}

std::string className(zyClassID classId) { return zyGetClassNameFromID(classId); }

Dims dimsOf(const zyArray* a) {
  return Dims(a->dimensions(), a->dimensions() + a->numberOfDimensions());
}

size_t countOf(const Dims& dims) {
  size_t count = 1;
  for (size_t size : dims) {
    if (__builtin_mul_overflow(count, size, &count)) outOfMemory();
  }
  return count;
}

std::string sizeText(const Dims& dims) {
  std::string out;
  for (size_t i = 0; i < dims.size(); ++i) {
    if (i) out += 'x';
    out += std::to_string(dims[i]);
  }
  return out;
}

bool sameDims(const zyArray* a, const zyArray* b) {
  return a->numberOfDimensions() == b->numberOfDimensions() &&
         std::equal(a->dimensions(), a->dimensions() + a->numberOfDimensions(), b->dimensions());
}

bool isRowVector(const zyArray* a) {
  return a->numberOfDimensions() == 2 && a->dimensions()[0] == 1;
}

bool isVector(const zyArray* a) {
  return a->numberOfDimensions() == 2 && (a->dimensions()[0] == 1 || a->dimensions()[1] == 1);
}

size_t firstNonSingleton(const Dims& dims) {
  for (size_t i = 0; i < dims.size(); ++i) {
    if (dims[i] != 1) return i;
  }
  return 0;
}

ArrayPtr create(zyClassID classId, const Dims& dims, bool complex) {
  countOf(dims);  // an overflowing shape is reported as too large, not as a bad request
  return checked(
      zyCreateNumericArray(dims.size(), dims.data(), classId, complex ? zyCOMPLEX : zyREAL));
}

ArrayPtr createDouble(const Dims& dims, bool complex) {
  return create(zyDOUBLE_CLASS, dims, complex);
}

ArrayPtr createUnfilledDouble(const Dims& dims) {
  const size_t count = countOf(dims);
  size_t bytes = 0;
  if (count <= 1 || __builtin_mul_overflow(count, sizeof(double), &bytes)) {
    return create(zyDOUBLE_CLASS, dims);
  }
  ArrayPtr out = checked(zyCreateDoubleMatrix(0, 0, zyREAL));
  void* block = zyMalloc(bytes);
  if (block == nullptr) outOfMemory();
  if (zySetData(out.get(), block) != 0) {
    zyFree(block);
    outOfMemory();
  }
  out->set_nelements_allocated(count);
  if (zySetDimensions(out.get(), dims.data(), dims.size()) != 0) outOfMemory();
  return out;
}

ArrayPtr scalar(double value) { return checked(zyCreateDoubleScalar(value)); }

ArrayPtr logicalScalar(bool value) { return checked(zyCreateLogicalScalar(value ? 1 : 0)); }

ArrayPtr emptyDouble() { return checked(zyCreateDoubleMatrix(0, 0, zyREAL)); }

ArrayPtr text(const std::u16string& units) {
  ArrayPtr out =
      checked(units.empty() ? zyCreateCharMatrix(0, 0) : zyCreateCharMatrix(1, units.size()));
  if (!units.empty()) std::memcpy(dataOf<zyChar>(out.get()), units.data(), units.size() * 2);
  return out;
}

ArrayPtr text(const std::string& utf8Text) { return text(utf16(utf8Text)); }

ArrayPtr rowVector(const std::vector<double>& values) {
  ArrayPtr out = createDouble({1, values.size()});
  if (!values.empty()) std::copy(values.begin(), values.end(), dataOf<double>(out.get()));
  return out;
}

ArrayPtr columnVector(const std::vector<double>& values) {
  ArrayPtr out = createDouble({values.size(), 1});
  if (!values.empty()) std::copy(values.begin(), values.end(), dataOf<double>(out.get()));
  return out;
}

void dropZeroImaginary(zyArray* a) {
  if (!isComplex(a)) return;
  const size_t n = a->numberOfElements();
  const size_t size = zyGetElementSize(a);
  const auto* bytes = static_cast<const unsigned char*>(a->imagData());
  if (a->classId() == zyDOUBLE_CLASS) {
    const auto* imag = static_cast<const double*>(a->imagData());
    for (size_t i = 0; i < n; ++i) {
      if (imag[i] != 0) return;
    }
  } else if (a->classId() == zySINGLE_CLASS) {
    const auto* imag = static_cast<const float*>(a->imagData());
    for (size_t i = 0; i < n; ++i) {
      if (imag[i] != 0) return;
    }
  } else {
    for (size_t i = 0; i < n * size; ++i) {
      if (bytes[i] != 0) return;
    }
  }
  if (n == 0) return;  // an empty complex array stays complex
  void* block = zyGetImagData(a);
  zySetImagData(a, nullptr);
  zyFree(block);
}

void makeComplex(zyArray* a) {
  if (isComplex(a) || !isNumericClass(a->classId())) return;
  void* block = zyCalloc(std::max<size_t>(a->numberOfElements(), 1), zyGetElementSize(a));
  if (block == nullptr) outOfMemory();
  zySetImagData(a, block);
}

ArrayPtr sparseToFull(const zyArray* a) {
  if (!a->isSparse()) return nullptr;
  const bool logical = a->classId() == zyLOGICAL_CLASS;
  const Dims dims = dimsOf(a);
  ArrayPtr out = create(logical ? zyLOGICAL_CLASS : zyDOUBLE_CLASS, dims, isComplex(a));
  const size_t rows = dims[0];
  const size_t columns = dims[1];
  const size_t* ir = a->ir();
  const size_t* jc = a->jc();
  if (logical) {
    auto* target = dataOf<zyLogical>(out.get());
    const auto* source = constData<zyLogical>(a);
    for (size_t column = 0; column < columns; ++column) {
      for (size_t k = jc[column]; k < jc[column + 1]; ++k) {
        target[ir[k] + rows * column] = source[k] != 0;
      }
    }
    return out;
  }
  auto* real = dataOf<double>(out.get());
  const auto* sourceReal = constData<double>(a);
  for (size_t column = 0; column < columns; ++column) {
    for (size_t k = jc[column]; k < jc[column + 1]; ++k) {
      real[ir[k] + rows * column] = sourceReal[k];
    }
  }
  if (isComplex(a)) {
    auto* imag = imagOf<double>(out.get());
    const auto* sourceImag = constImag<double>(a);
    for (size_t column = 0; column < columns; ++column) {
      for (size_t k = jc[column]; k < jc[column + 1]; ++k) {
        imag[ir[k] + rows * column] = sourceImag[k];
      }
    }
  }
  return out;
}

DoubleValues::DoubleValues(const zyArray* full, bool imag) : data_(nullptr) {
  const size_t n = full->numberOfElements();
  const void* source = imag ? full->imagData() : full->realData();
  if (imag && !isComplex(full)) {
    copy_.assign(n, 0.0);
    data_ = copy_.data();
    return;
  }
  if (full->classId() == zyDOUBLE_CLASS) {
    data_ = static_cast<const double*>(source);
    return;
  }
  copy_.resize(n);
  if (n && zyConvertBufferToType(copy_.data(), zyDOUBLE_CLASS, source, full->classId(), n) != 0) {
    raise("Q:invalidInput",
          "Expected numeric, char or logical values, not " + className(full->classId()) + ".");
  }
  data_ = copy_.data();
}

ArrayPtr convertClass(const zyArray* a, zyClassID target) {
  FullArray full(a);
  const zyArray* source = full.get();
  if (source->classId() == target) return checked(zyCreateSharedDataCopy(source));
  if (!isArithmetic(source) || !isArithmeticClass(target)) {
    raise("Q:invalidConversion", "Conversion to " + className(target) + " from " +
                                     className(source->classId()) + " is not possible.");
  }
  const bool complex = isComplex(source) && isNumericClass(target);
  const Dims dims = dimsOf(source);
  ArrayPtr out = create(target, dims, complex);
  const size_t n = source->numberOfElements();
  if (n) {
    zyConvertBufferToType(zyGetData(out.get()), target, source->realData(), source->classId(), n);
    if (complex) {
      zyConvertBufferToType(zyGetImagData(out.get()), target, source->imagData(), source->classId(),
                            n);
    }
  }
  return out;
}

ArrayPtr fromDoubles(zyClassID classId, const Dims& dims, const double* real, const double* imag) {
  ArrayPtr out = create(classId, dims, imag != nullptr && isNumericClass(classId));
  const size_t n = out->numberOfElements();
  if (n) {
    zyConvertBufferToType(zyGetData(out.get()), classId, real, zyDOUBLE_CLASS, n);
    if (imag && isNumericClass(classId)) {
      zyConvertBufferToType(zyGetImagData(out.get()), classId, imag, zyDOUBLE_CLASS, n);
    }
  }
  if (imag) dropZeroImaginary(out.get());
  return out;
}

bool isText(const zyArray* a) {
  if (a->classId() != zyCHAR_CLASS || a->numberOfDimensions() != 2) return false;
  return a->dimensions()[0] == 1 || a->numberOfElements() == 0;
}

bool isCellOfText(const zyArray* a) {
  if (a->classId() != zyCELL_CLASS) return false;
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    const zyArray* element = zyGetCellConst(a, i);
    if (element == nullptr || !isText(element)) return false;
  }
  return true;
}

std::u16string unitsOf(const zyArray* charArray) {
  const auto* units = constData<zyChar>(charArray);
  return std::u16string(units, units + charArray->numberOfElements());
}

std::u16string unitsArgument(const zyArray* a, const char* function) {
  if (!isText(a)) raise("Q:invalidInput", std::string(function) + ": expected a character vector.");
  return unitsOf(a);
}

std::string utf8(const std::u16string& units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

std::u16string utf16(const std::string& textBytes) {
  // libzy decodes UTF-8 with the same rules everywhere; reuse it rather than decode twice.
  ArrayPtr array = checked(zyCreateStringFromNChars(textBytes.data(), textBytes.size()));
  return unitsOf(array.get());
}

std::string textArgument(const zyArray* a, const char* function) {
  return utf8(unitsArgument(a, function));
}

double scalarArgument(const zyArray* a, const char* function, const char* what) {
  if (!isArithmetic(a) || a->numberOfElements() != 1 || isComplex(a)) {
    raise("Q:invalidInput", std::string(function) + ": " + what + " must be a real scalar.");
  }
  FullArray full(a);
  return DoubleValues(full.get())[0];
}

size_t dimensionArgument(const zyArray* a, const char* function) {
  double value = 0;
  bool valid = isArithmetic(a) && a->numberOfElements() == 1 && !isComplex(a);
  if (valid) {
    value = DoubleValues(FullArray(a).get())[0];
    valid = value >= 1 && value == std::floor(value) && value < 4294967296.0;
  }
  if (!valid) {
    raise("Q:invalidDimension", std::string(function) + ": dimension must be a positive integer.");
  }
  return static_cast<size_t>(value) - 1;
}

namespace {

size_t sizeValue(double value, const char* function) {
  if (std::isnan(value) || value != std::floor(value)) {
    raise("Q:invalidSize", std::string(function) + ": size arguments must be integers.");
  }
  if (value < 0) return 0;
  if (value >= 9.0e15) {
    raise("Q:outOfMemory", std::string(function) + ": the requested array is too large.");
  }
  return static_cast<size_t>(value);
}

}  // namespace

Dims sizeArguments(const zyArray* const* args, int count, const char* function) {
  for (int i = 0; i < count; ++i) {
    if (!isArithmetic(args[i]) || isComplex(args[i])) {
      raise("Q:invalidSize", std::string(function) + ": size arguments must be real numbers.");
    }
  }
  if (count == 0) return {1, 1};
  Dims dims;
  if (count == 1) {
    FullArray full(args[0]);
    DoubleValues values(full.get());
    const size_t n = full->numberOfElements();
    if (n == 1) {
      const size_t size = sizeValue(values[0], function);
      return {size, size};
    }
    if (!isVector(full.get()) && n != 0) {
      raise("Q:invalidSize", std::string(function) + ": the size must be a row vector.");
    }
    for (size_t i = 0; i < n; ++i) dims.push_back(sizeValue(values[i], function));
    if (dims.empty()) dims = {0, 0};
    if (dims.size() == 1) dims.push_back(dims[0]);
  } else {
    for (int i = 0; i < count; ++i) {
      if (args[i]->numberOfElements() != 1) {
        raise("Q:invalidSize", std::string(function) + ": each size argument must be a scalar.");
      }
      FullArray full(args[i]);
      dims.push_back(sizeValue(DoubleValues(full.get())[0], function));
    }
  }
  countOf(dims);
  return dims;
}

std::string lower(std::string value) {
  for (char& c : value) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return value;
}

void Call::check(int minimumInputs, int maximumInputs, int maximumOutputs) const {
  if (nargin < minimumInputs) matrix::detail::error_minrhs();
  if (maximumInputs >= 0 && nargin > maximumInputs) matrix::detail::error_maxrhs();
  if (nargout > maximumOutputs && nargout > 1) matrix::detail::error_maxlhs();
}

void invoke(Body body, int nargout, ArrayPtr* outputs, int nargin, const zyArray* const* inputs) {
  Call call{nargout, outputs, nargin, inputs};
  try {
    body(call);
  } catch (const std::bad_alloc&) {
    outOfMemory();
  } catch (const std::length_error&) {
    outOfMemory();
  }
}

const zyArray* requireStruct(const zyArray* a, const char* function) {
  if (a->classId() != zySTRUCT_CLASS) {
    raise("Q:invalidInput", std::string(function) + ": the input must be a struct array.");
  }
  return a;
}

bool validFieldName(const std::string& name) {
  if (name.empty() || name.size() > 63 || !std::isalpha(static_cast<unsigned char>(name[0]))) {
    return false;
  }
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

std::string fieldNameArgument(const zyArray* a, const char* function) {
  const std::string name = textArgument(a, function);
  if (!validFieldName(name)) {
    raise("Q:invalidFieldName",
          std::string(function) + ": '" + name + "' is not a valid field name.");
  }
  return name;
}

std::vector<long double> wideValues(const zyArray* full) {
  const size_t n = full->numberOfElements();
  std::vector<long double> out(n);
  if (full->classId() == zyINT64_CLASS) {
    const auto* values = constData<int64_t>(full);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<long double>(values[i]);
  } else if (full->classId() == zyUINT64_CLASS) {
    const auto* values = constData<uint64_t>(full);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<long double>(values[i]);
  } else {
    DoubleValues values(full);
    for (size_t i = 0; i < n; ++i) out[i] = values[i];
  }
  return out;
}

Layout layoutFor(const Dims& dims, size_t dim) {
  Layout layout;
  layout.in = dims;
  if (layout.in.size() <= dim) layout.in.resize(dim + 1, 1);
  for (size_t d = 0; d < dim; ++d) layout.before *= layout.in[d];
  layout.length = layout.in[dim];
  for (size_t d = dim + 1; d < layout.in.size(); ++d) layout.after *= layout.in[d];
  layout.out = layout.in;
  layout.out[dim] = 1;
  return layout;
}

RealValues realValues(const zyArray* a, const char* function, const char* what) {
  if (!isArithmetic(a)) {
    raise("Q:invalidInput", std::string(function) + ": " + what + " must be numeric.");
  }
  FullArray full(a);
  if (isComplex(full.get())) {
    raise("Q:invalidInput", std::string(function) + ": " + what + " must be real.");
  }
  RealValues out;
  out.dims = dimsOf(full.get());
  out.resultClass = full->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  const size_t n = countOf(out.dims);
  out.v.resize(n);
  if (n) {
    DoubleValues values(full.get());
    for (size_t i = 0; i < n; ++i) out.v[i] = values[i];
  }
  return out;
}

RealValues vectorValues(const zyArray* a, const char* function, const char* what) {
  if (!isVector(a) && a->numberOfElements() != 0) {
    raise("Q:invalidInput", std::string(function) + ": " + what + " must be a vector.");
  }
  return realValues(a, function, what);
}

}  // namespace q::ops::detail
