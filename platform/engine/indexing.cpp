// Reading parts of values: a(i, j), c{i}, s.f, and the element access both reading and
// assignment use.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/array_access.hpp"

namespace q {

namespace {

[[noreturn]] void badIndexValue() {
  raise("Q:badsubscript", "Array indices must be positive integers or logical values.");
}

std::size_t indexFromDouble(double value) {
  if (!(value >= 1) || value != std::floor(value) || value > 9.0e15) badIndexValue();
  return static_cast<std::size_t>(value) - 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shapes

Dims dimsOf(const zyArray* array) {
  return Dims(array->dimensions(), array->dimensions() + array->numberOfDimensions());
}

Dims dimsOf(const Value& value) {
  if (value.isScalar()) return {1, 1};
  if (!value.isDefined()) return {0, 0};
  return dimsOf(value.array());
}

std::size_t countOf(const Dims& dims) {
  std::size_t count = 1;
  for (std::size_t size : dims) count *= size;
  return count;
}

Dims normalized(Dims dims) {
  while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
  while (dims.size() < 2) dims.push_back(dims.empty() ? 0 : 1);
  return dims;
}

std::string sizeText(const Dims& dims) {
  std::string text;
  for (std::size_t i = 0; i < dims.size(); ++i) {
    if (i) text += 'x';
    text += std::to_string(dims[i]);
  }
  return text;
}

ArrayPtr fullArray(const zyArray* array) {
  if (!array->isSparse()) return checked(zyCreateSharedDataCopy(array));
  const std::size_t rows = array->dimensions()[0], columns = array->dimensions()[1];
  const bool logical = array->classId() == zyLOGICAL_CLASS;
  ArrayPtr full = checked(
      logical ? zyCreateLogicalMatrix(rows, columns)
              : zyCreateDoubleMatrix(rows, columns, array->isComplex() ? zyCOMPLEX : zyREAL));
  const std::size_t* jc = array->jc();
  const std::size_t* ir = array->ir();
  if (logical) {
    auto* out = static_cast<zyLogical*>(zyGetData(full.get()));
    const auto* in = static_cast<const zyLogical*>(array->realData());
    for (std::size_t c = 0; c < columns; ++c)
      for (std::size_t k = jc[c]; k < jc[c + 1]; ++k) out[ir[k] + c * rows] = in[k] ? 1 : 0;
  } else {
    double* out = zyGetPr(full.get());
    const auto* in = static_cast<const double*>(array->realData());
    double* outImag = array->isComplex() ? zyGetPi(full.get()) : nullptr;
    const auto* inImag = static_cast<const double*>(array->imagData());
    for (std::size_t c = 0; c < columns; ++c) {
      for (std::size_t k = jc[c]; k < jc[c + 1]; ++k) {
        out[ir[k] + c * rows] = in[k];
        if (outImag) outImag[ir[k] + c * rows] = inImag[k];
      }
    }
  }
  return full;
}

// ---------------------------------------------------------------------------------------------
// Subscripts

Subscript toSubscript(const Value& value) {
  Subscript subscript;
  if (value.isScalar()) {
    subscript.kind = Subscript::Kind::Scalar;
    subscript.scalar = indexFromDouble(value.scalar());
    return subscript;
  }
  if (!value.isDefined()) badIndexValue();
  const zyArray* array = value.array();
  const zyClassID classId = array->classId();
  if (classId == zyCHAR_CLASS && array->numberOfElements() == 1 &&
      *array->elements<zyChar>() == u':') {
    subscript.kind = Subscript::Kind::Colon;
    return subscript;
  }
  subscript.kind = Subscript::Kind::List;
  subscript.shape = dimsOf(array);
  ArrayPtr full = fullArray(array);
  const std::size_t count = full->numberOfElements();
  if (classId == zyLOGICAL_CLASS) {
    subscript.logical = true;
    const auto* mask = full->elements<zyLogical>();
    for (std::size_t i = 0; i < count; ++i)
      if (mask[i]) subscript.indices.push_back(i);
    const bool row = subscript.shape.size() == 2 && subscript.shape[0] == 1;
    subscript.shape = row ? Dims{1, subscript.indices.size()} : Dims{subscript.indices.size(), 1};
    return subscript;
  }
  if (classId < zyCHAR_CLASS || classId > zyUINT64_CLASS || classId == 5 || full->isComplex()) {
    badIndexValue();
  }
  std::vector<double> values(count);
  if (count > 0 &&
      zyConvertBufferToType(values.data(), zyDOUBLE_CLASS, full->realData(), classId, count) != 0) {
    badIndexValue();
  }
  subscript.indices.reserve(count);
  for (double index : values) subscript.indices.push_back(indexFromDouble(index));
  return subscript;
}

Interpreter::Subscripts Interpreter::makeSubscripts(ValueList& arguments) {
  Subscripts subscripts;
  subscripts.reserve(arguments.size());
  for (const Value& argument : arguments) subscripts.push_back(toSubscript(argument));
  return subscripts;
}

std::size_t subscriptCount(const Subscript& subscript, std::size_t extent) {
  switch (subscript.kind) {
    case Subscript::Kind::Colon:
      return extent;
    case Subscript::Kind::Scalar:
      return 1;
    case Subscript::Kind::List:
      break;
  }
  return subscript.indices.size();
}

std::size_t subscriptAt(const Subscript& subscript, std::size_t k) {
  switch (subscript.kind) {
    case Subscript::Kind::Colon:
      return k;
    case Subscript::Kind::Scalar:
      return subscript.scalar;
    case Subscript::Kind::List:
      break;
  }
  return subscript.indices[k];
}

std::size_t subscriptEnd(const Subscript& subscript, std::size_t extent) {
  switch (subscript.kind) {
    case Subscript::Kind::Colon:
      return extent;
    case Subscript::Kind::Scalar:
      return subscript.scalar + 1;
    case Subscript::Kind::List:
      break;
  }
  std::size_t end = 0;
  for (std::size_t index : subscript.indices) end = std::max(end, index + 1);
  return end;
}

Dims indexExtents(const Dims& dims, std::size_t n) {
  Dims extents(n, 1);
  if (n == 0) return extents;
  for (std::size_t k = 0; k + 1 < n; ++k) extents[k] = k < dims.size() ? dims[k] : 1;
  std::size_t rest = 1;
  for (std::size_t k = n - 1; k < dims.size(); ++k) rest *= dims[k];
  extents[n - 1] = rest;
  return extents;
}

void linearIndices(const Subscripts& subscripts, const Dims& dims, std::vector<std::size_t>& out,
                   Dims& resultDims) {
  const std::size_t n = subscripts.size();
  const Dims extents = indexExtents(dims, n);
  Dims counts(n);
  for (std::size_t k = 0; k < n; ++k) {
    counts[k] = subscriptCount(subscripts[k], extents[k]);
    const std::size_t end = subscriptEnd(subscripts[k], extents[k]);
    if (end > extents[k]) {
      if (n == 1) {
        raise("Q:badsubscript", "Index exceeds the number of array elements (" +
                                    std::to_string(end) + " > " + std::to_string(extents[k]) +
                                    ").");
      }
      raise("Q:badsubscript", "Index in position " + std::to_string(k + 1) +
                                  " exceeds array bounds (" + std::to_string(end) + " > " +
                                  std::to_string(extents[k]) + ").");
    }
  }
  if (n == 1) {
    const Subscript& only = subscripts[0];
    const std::size_t count = counts[0];
    const bool sourceVector =
        dims.size() == 2 && (dims[0] == 1 || dims[1] == 1) && !(dims[0] == 1 && dims[1] == 1);
    switch (only.kind) {
      case Subscript::Kind::Colon:
        resultDims = {count, 1};
        break;
      case Subscript::Kind::Scalar:
        resultDims = {1, 1};
        break;
      case Subscript::Kind::List: {
        const bool indexVector =
            only.shape.size() == 2 && (only.shape[0] == 1 || only.shape[1] == 1);
        if (sourceVector && indexVector) {
          resultDims = dims[0] == 1 ? Dims{1, count} : Dims{count, 1};
        } else {
          resultDims = only.shape;
        }
        break;
      }
    }
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = subscriptAt(only, i);
    resultDims = normalized(resultDims);
    return;
  }
  resultDims = normalized(counts);
  const std::size_t total = countOf(counts);
  out.resize(total);
  if (total == 0) return;
  Dims strides(n, 1);
  for (std::size_t k = 1; k < n; ++k) strides[k] = strides[k - 1] * extents[k - 1];
  Dims position(n, 0);
  for (std::size_t i = 0; i < total; ++i) {
    std::size_t linear = 0;
    for (std::size_t k = 0; k < n; ++k)
      linear += subscriptAt(subscripts[k], position[k]) * strides[k];
    out[i] = linear;
    for (std::size_t k = 0; k < n; ++k) {
      if (++position[k] < counts[k]) break;
      position[k] = 0;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Creating and copying elements

ArrayPtr createArray(zyClassID classId, const Dims& dims, bool complex,
                     const std::vector<std::string>& fieldNames) {
  switch (classId) {
    case zyCELL_CLASS:
      return checked(zyCreateCellArray(dims.size(), dims.data()));
    case zySTRUCT_CLASS: {
      std::vector<const char*> names;
      for (const std::string& name : fieldNames) names.push_back(name.c_str());
      return checked(zyCreateStructArray(dims.size(), dims.data(), static_cast<int>(names.size()),
                                         names.data()));
    }
    case zyCHAR_CLASS:
      return checked(zyCreateCharArray(dims.size(), dims.data()));
    case zyLOGICAL_CLASS:
      return checked(zyCreateLogicalArray(dims.size(), dims.data()));
    default:
      return checked(
          zyCreateNumericArray(dims.size(), dims.data(), classId, complex ? zyCOMPLEX : zyREAL));
  }
}

ElementCopier::ElementCopier(const zyArray* source, zyArray* destination)
    : source_(source),
      destination_(destination),
      class_(source->classId()),
      size_(zyGetElementSize(source)),
      sourceReal_(static_cast<const char*>(source->realData())),
      sourceImag_(static_cast<const char*>(source->imagData())),
      destinationReal_(nullptr),
      destinationImag_(nullptr) {
  if (class_ == zyCELL_CLASS) return;
  if (class_ == zySTRUCT_CLASS) {
    const int fields = zyGetNumberOfFields(source);
    for (int f = 0; f < fields; ++f) {
      int target = zyGetFieldNumber(destination, zyGetFieldNameByNumber(source, f));
      if (target < 0) target = zyAddField(destination, zyGetFieldNameByNumber(source, f));
      fieldMap_.push_back(target);
    }
    return;
  }
  destinationReal_ = static_cast<char*>(zyGetData(destination));
  if (destination->isComplex()) destinationImag_ = static_cast<char*>(zyGetImagData(destination));
}

void ElementCopier::copy(std::size_t s, std::size_t d) {
  if (class_ == zyCELL_CLASS) {
    const zyArray* element = zyGetCellConst(source_, s);
    zyArray* copy = element ? zyCreateSharedDataCopy(element) : nullptr;
    if (element && !copy) throw std::bad_alloc();
    replaceCell(destination_, d, copy);
    return;
  }
  if (class_ == zySTRUCT_CLASS) {
    const int fields = static_cast<int>(fieldMap_.size());
    for (int f = 0; f < fields; ++f) {
      const zyArray* element = zyGetFieldConst(source_, s, zyGetFieldNameByNumber(source_, f));
      zyArray* copy = element ? zyCreateSharedDataCopy(element) : nullptr;
      if (element && !copy) throw std::bad_alloc();
      replaceField(destination_, d, fieldMap_[f], copy);
    }
    return;
  }
  std::memcpy(destinationReal_ + d * size_, sourceReal_ + s * size_, size_);
  if (destinationImag_) {
    if (sourceImag_) {
      std::memcpy(destinationImag_ + d * size_, sourceImag_ + s * size_, size_);
    } else {
      std::memset(destinationImag_ + d * size_, 0, size_);
    }
  }
}

ArrayPtr convertArray(const zyArray* array, zyClassID classId) {
  if (array->classId() == classId) return checked(zyCreateSharedDataCopy(array));
  ArrayPtr full = fullArray(array);
  const Dims dims = dimsOf(full.get());
  const bool complex = full->isComplex() && classId != zyLOGICAL_CLASS && classId != zyCHAR_CLASS;
  ArrayPtr result = createArray(classId, dims, complex, {});
  const std::size_t count = full->numberOfElements();
  if (count == 0) return result;
  if (zyConvertBufferToType(zyGetData(result.get()), classId, full->realData(), full->classId(),
                            count) != 0) {
    raise("Q:invalidConversion", std::string("Conversion to ") + zyGetClassNameFromID(classId) +
                                     " from " + zyGetClassName(full.get()) + " is not possible.");
  }
  if (complex) {
    zyConvertBufferToType(zyGetImagData(result.get()), classId, full->imagData(), full->classId(),
                          count);
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// Reading

Value Interpreter::indexParen(const Value& object, ValueList& arguments) {
  if (!object.isDefined()) raise("Q:undefined", "Indexing an undefined value.");
  // The common cases first: one or two real scalar subscripts into a full double array.
  if (object.isArray() && arguments.size() <= 2 && !arguments.empty()) {
    const zyArray* array = object.array();
    if (array->classId() == zyDOUBLE_CLASS && !array->isSparse() && !array->isComplex() &&
        arguments[0].isScalar() && (arguments.size() == 1 || arguments[1].isScalar())) {
      const std::size_t i = indexFromDouble(arguments[0].scalar());
      if (arguments.size() == 1) {
        if (i < array->numberOfElements()) return Value(array->elements<double>()[i]);
      } else {
        const std::size_t j = indexFromDouble(arguments[1].scalar());
        const Dims extents = indexExtents(dimsOf(array), 2);
        if (i < extents[0] && j < extents[1]) {
          return Value(array->elements<double>()[i + j * extents[0]]);
        }
      }
    }
  }
  if (object.isScalar()) {
    bool allOne = true;
    for (const Value& argument : arguments)
      allOne = allOne && argument.isScalar() && argument.scalar() == 1;
    if (allOne) return object;
  }
  ArrayPtr holder;
  const zyArray* source = object.view(holder);
  if (source->classId() == zyFUNCTION_CLASS) {
    raise("Q:badsubscript", "A function handle cannot be indexed with ().");
  }
  ArrayPtr full = fullArray(source);
  const Dims dims = dimsOf(full.get());
  const Subscripts subscripts = makeSubscripts(arguments);
  std::vector<std::size_t> linear;
  Dims resultDims;
  if (subscripts.empty()) return object;
  linearIndices(subscripts, dims, linear, resultDims);
  const zyClassID classId = full->classId();
  if (classId == zyUNKNOWN_CLASS || classId > zyUINT64_CLASS) {
    raise("Q:badsubscript",
          std::string("Values of class ") + zyGetClassName(full.get()) + " cannot be indexed.");
  }
  ArrayPtr result = createArray(
      classId, resultDims, full->isComplex(),
      classId == zySTRUCT_CLASS ? full->get_struct_field_info() : std::vector<std::string>());
  ElementCopier copier(full.get(), result.get());
  for (std::size_t i = 0; i < linear.size(); ++i) copier.copy(linear[i], i);
  return Value::adopt(std::move(result));
}

void Interpreter::indexBrace(const Value& object, ValueList& arguments, ValueList& out) {
  if (!object.isCell()) {
    raise("Q:cellRefFromNonCell",
          "Brace indexing is not supported for values of class '" +
              std::string(object.isScalar() ? "double" : zyGetClassName(object.array())) + "'.");
  }
  const zyArray* cell = object.array();
  const Subscripts subscripts = makeSubscripts(arguments);
  std::vector<std::size_t> linear;
  Dims resultDims;
  if (subscripts.empty()) {
    linear.resize(cell->numberOfElements());
    for (std::size_t i = 0; i < linear.size(); ++i) linear[i] = i;
  } else {
    linearIndices(subscripts, dimsOf(cell), linear, resultDims);
  }
  out.reserve(out.size() + linear.size());
  for (std::size_t index : linear) out.push_back(Value::share(zyGetCellConst(cell, index)));
}

void Interpreter::indexField(const Value& object, const std::string& field, ValueList& out) {
  if (!object.isStruct()) {
    raise("Q:fieldRefFromNonStruct",
          "Dot indexing is not supported for values of class '" +
              std::string(object.isScalar()    ? "double"
                          : object.isDefined() ? zyGetClassName(object.array())
                                               : "undefined") +
              "'.");
  }
  const zyArray* structure = object.array();
  if (zyGetFieldNumber(structure, field.c_str()) < 0) {
    raise("Q:nonExistentField", "Reference to non-existent field '" + field + "'.");
  }
  const std::size_t count = structure->numberOfElements();
  out.reserve(out.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(Value::share(zyGetFieldConst(structure, i, field.c_str())));
  }
}

}  // namespace q
