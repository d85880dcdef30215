// Indexed assignment: a(i, j) = v with growth and class rules, c{i} = v, s.f = v, deletion
// a(i) = [], and taking parts out of containers for nested assignments.
//
// A variable whose data no other value shares is written in place; a vector that grows one
// element at a time (a(end+1) = v, c{end+1} = v) grows into a block with spare room, doubled
// when full, so that such loops take amortised constant time per element.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/array_access.hpp"

namespace q {

namespace {

bool isIntegerClass(zyClassID c) { return c >= zyINT8_CLASS && c <= zyUINT64_CLASS; }
bool isArithmeticClass(zyClassID c) {
  return (c >= zyDOUBLE_CLASS && c <= zyUINT64_CLASS) || c == zyCHAR_CLASS || c == zyLOGICAL_CLASS;
}

const char* classNameOf(zyClassID classId) {
  return classId == zyFUNCTION_CLASS ? "function_handle" : zyGetClassNameFromID(classId);
}

std::size_t scalarIndex(const Value& value) {
  const double index = value.scalar();
  if (!(index >= 1) || index != std::floor(index) || index > 9.0e15) {
    raise("Q:badsubscript", "Array indices must be positive integers or logical values.");
  }
  return static_cast<std::size_t>(index) - 1;
}

// The shape of an array of dims indexed by one subscript up to end, past its elements: a vector
// grows along its length, an empty array into a row (an empty column into a column); a matrix
// cannot grow this way.
Dims grownByIndex(const Dims& dims, std::size_t end) {
  const std::size_t count = countOf(dims);
  if (dims.size() == 2 && dims[0] == 0 && dims[1] == 1) return {end, 1};
  if (count == 0 || (dims.size() == 2 && dims[0] == 1)) return {1, end};
  if (dims.size() == 2 && dims[1] == 1) return {end, 1};
  raise("Q:badsubscript",
        "Index " + std::to_string(end) + " is past the " + std::to_string(count) +
            " elements of a matrix, which cannot grow along an ambiguous dimension.");
}

// Whether the subscript names one run of elements of an array of count, each once and in order
// (q(1), q(end), q(2:4)): then its first and length.
bool elementRun(const Interpreter::Subscript& subscript, std::size_t count, std::size_t& first,
                std::size_t& length) {
  using Kind = Interpreter::Subscript::Kind;
  if (subscript.kind == Kind::Scalar) {
    first = subscript.scalar;
    length = 1;
    return first < count;
  }
  const std::vector<std::size_t>& indices = subscript.indices;
  if (subscript.kind != Kind::List || indices.empty() || indices.back() >= count) return false;
  for (std::size_t i = 1; i < indices.size(); ++i) {
    if (indices[i] != indices[i - 1] + 1) return false;
  }
  first = indices.front();
  length = indices.size();
  return true;
}

// Copies every element of source into destination (same class), at the same subscripts.
void relocate(const zyArray* source, zyArray* destination) {
  const Dims from = dimsOf(source);
  const Dims to = dimsOf(destination);
  const std::size_t count = source->numberOfElements();
  if (count == 0) return;
  ElementCopier copier(source, destination);
  Dims position(from.size(), 0);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t linear = 0, stride = 1;
    for (std::size_t k = 0; k < position.size(); ++k) {
      linear += position[k] * stride;
      stride *= k < to.size() ? to[k] : 1;
    }
    copier.copy(i, linear);
    for (std::size_t k = 0; k < position.size(); ++k) {
      if (++position[k] < from[k]) break;
      position[k] = 0;
    }
  }
}

// Adds a field to a struct; a name must start with a letter and hold letters, digits and '_'
// (at most 63 characters), as names in struct() must, also when it comes from s.(expression).
int addField(zyArray* structure, const std::string& field) {
  const bool valid =
      !field.empty() && field.size() <= 63 && std::isalpha(static_cast<unsigned char>(field[0])) &&
      std::all_of(field.begin(), field.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
      });
  const int number = valid ? zyAddField(structure, field.c_str()) : -1;
  if (number < 0) raise("Q:invalidFieldName", "'" + field + "' is not a valid field name.");
  return number;
}

}  // namespace

void requireSameFields(const Value& object, const Value& value) {
  if (!object.isStruct() || !value.isStruct()) return;
  const std::vector<std::string>& have = object.array()->get_struct_field_info();
  if (have.empty() && object.array()->numberOfElements() == 0) return;
  const std::vector<std::string>& given = value.array()->get_struct_field_info();
  if (have.size() != given.size() || !std::is_permutation(have.begin(), have.end(), given.begin())) {
    raise("Q:structFieldMismatch",
          "A struct array element can only be given a struct with the same fields.");
  }
}

bool growInPlace(zyArray* array, const Dims& newDims) {
  if (array->sharesData() || array->isSparse()) return false;
  if (array->classId() == zyCELL_CLASS || array->classId() == zySTRUCT_CLASS) {
    return zyResizeContainer(array, newDims.data(), newDims.size()) == 0;
  }
  if (!isArithmeticClass(array->classId())) return false;
  const std::size_t oldCount = array->numberOfElements();
  const std::size_t newCount = countOf(newDims);
  const std::size_t size = zyGetElementSize(array);
  if (zySetDimensions(array, newDims.data(), newDims.size()) != 0) {
    const std::size_t capacity = std::max<std::size_t>({newCount, oldCount * 2, 16});
    void* real = zyRealloc(zyGetData(array), capacity * size);
    if (!real) throw std::bad_alloc();
    zySetData(array, real);
    if (array->isComplex()) {
      void* imag = zyRealloc(zyGetImagData(array), capacity * size);
      if (!imag) throw std::bad_alloc();
      zySetImagData(array, imag);
    }
    array->set_nelements_allocated(capacity);
    if (zySetDimensions(array, newDims.data(), newDims.size()) != 0) return false;
  }
  std::memset(static_cast<char*>(zyGetData(array)) + oldCount * size, 0,
              (newCount - oldCount) * size);
  if (array->isComplex()) {
    std::memset(static_cast<char*>(zyGetImagData(array)) + oldCount * size, 0,
                (newCount - oldCount) * size);
  }
  return true;
}

zyClassID assignedClass(zyClassID target, zyClassID rhs) {
  if (target == rhs) return target;
  auto refuse = [&]() -> zyClassID {
    raise("Q:invalidConversion", std::string("Conversion to ") + classNameOf(target) + " from " +
                                     classNameOf(rhs) + " is not possible.");
  };
  if (!isArithmeticClass(target) || !isArithmeticClass(rhs)) return refuse();
  if (isIntegerClass(target)) return target;
  if (isIntegerClass(rhs)) return rhs;
  if (target == zySINGLE_CLASS || rhs == zySINGLE_CLASS) return zySINGLE_CLASS;
  if (target == zyCHAR_CLASS) return zyCHAR_CLASS;
  if (target == zyDOUBLE_CLASS) return zyDOUBLE_CLASS;
  // A logical target takes the class of what is stored in it.
  return rhs;
}

void Interpreter::assignParen(Value& object, ValueList& arguments, Value rhs) {
  if (arguments.empty()) raise("Q:badsubscript", "An assignment with () needs an index.");
  // Scalars into full real double arrays, in place.
  if (object.isArray() && rhs.isScalar() && arguments.size() <= 2 && arguments[0].isScalar() &&
      (arguments.size() == 1 || arguments[1].isScalar())) {
    zyArray* array = object.mutableArray();
    if (array->classId() == zyDOUBLE_CLASS && !array->isSparse() && !array->isComplex()) {
      const std::size_t i = scalarIndex(arguments[0]);
      const std::size_t count = array->numberOfElements();
      if (arguments.size() == 1) {
        if (i < count) {
          zyGetPr(array)[i] = rhs.scalar();
          return;
        }
      } else {
        const std::size_t j = scalarIndex(arguments[1]);
        const std::size_t rows = array->dimensions()[0];
        if (i < rows && j < count / (rows ? rows : 1) && array->numberOfDimensions() == 2) {
          zyGetPr(array)[i + j * rows] = rhs.scalar();
          return;
        }
      }
    }
  }
  if (object.isScalar() && rhs.isScalar()) {
    bool allOne = true;
    for (const Value& argument : arguments)
      allOne = allOne && argument.isScalar() && argument.scalar() == 1;
    if (allOne) {
      object = rhs.scalar();
      return;
    }
  }
  if (!rhs.isDefined()) raise("Q:undefined", "The value to assign is undefined.");

  ArrayPtr rhsHolder;
  ArrayPtr rhsArray = fullArray(rhs.view(rhsHolder));
  const zyClassID rhsClass = rhsArray->classId();
  const bool objectEmpty = !object.isDefined() || object.isEmptyDoubleMatrix();
  const Dims dims = objectEmpty ? Dims{0, 0} : dimsOf(object);
  const zyClassID objectClass = objectEmpty ? rhsClass : object.classId();
  if (objectClass == zyFUNCTION_CLASS || rhsClass == zyFUNCTION_CLASS) {
    if (!objectEmpty || countOf(dims) > 0) {
      raise("Q:invalidConversion", "Function handles cannot be stored in arrays; use a cell.");
    }
  }
  const zyClassID resultClass = objectEmpty ? rhsClass : assignedClass(objectClass, rhsClass);
  const Subscripts subscripts = makeSubscripts(arguments);
  const std::size_t n = subscripts.size();
  const Dims rhsDims = dimsOf(rhsArray.get());
  const std::size_t rhsCount = rhsArray->numberOfElements();

  // The shape after growth. A colon over a 0-by-0 array of any class ({} too) takes its extent
  // from the right side.
  const bool bare = objectEmpty || (dims.size() == 2 && dims[0] == 0 && dims[1] == 0);
  Dims newDims = dims;
  if (n == 1) {
    const std::size_t count = countOf(dims);
    std::size_t end = subscriptEnd(subscripts[0], count);
    if (subscripts[0].kind == Subscript::Kind::Colon && count == 0 && bare) {
      newDims = rhsDims;
    } else if (end > count) {
      newDims = grownByIndex(dims, end);
    }
  } else {
    newDims.resize(std::max(dims.size(), n), 1);
    std::size_t rhsDimension = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const bool folded = k == n - 1 && dims.size() > n;
      const std::size_t extent = folded ? indexExtents(dims, n)[k] : newDims[k];
      std::size_t end = subscriptEnd(subscripts[k], extent);
      if (subscripts[k].kind == Subscript::Kind::Colon && extent == 0 && bare) {
        // a(:, 1) = column on an empty a: the colon takes its size from the right side.
        while (rhsDimension < rhsDims.size() && rhsDims[rhsDimension] == 1 && rhsCount != 1)
          ++rhsDimension;
        end = rhsCount == 1 ? 1 : rhsDimension < rhsDims.size() ? rhsDims[rhsDimension++] : 1;
      }
      if (end > extent) {
        if (folded) {
          raise("Q:badsubscript", "Index in position " + std::to_string(k + 1) +
                                      " is past the array and cannot grow it.");
        }
        newDims[k] = end;
      } else if (!folded && subscripts[k].kind == Subscript::Kind::Colon && extent == 0) {
        newDims[k] = end;
      }
    }
    newDims = normalized(newDims);
  }

  // Count check.
  {
    const Dims extents = indexExtents(newDims, n);
    std::size_t total = 1;
    for (std::size_t k = 0; k < n; ++k) total *= subscriptCount(subscripts[k], extents[k]);
    if (rhsCount != 1 && rhsCount != total) {
      raise("Q:dimensionMismatch", "Unable to assign " + std::to_string(rhsCount) +
                                       " elements to " + std::to_string(total) +
                                       " places: the numbers of elements differ.");
    }
  }

  if (resultClass >= zyFUNCTION_CLASS && resultClass <= zyOBJECT_CLASS) {
    // Function handles and other objects have no elements to copy: a variable of one can only
    // become the value itself.
    if (countOf(newDims) != 1) {
      raise("Q:invalidConversion",
            resultClass == zyFUNCTION_CLASS
                ? std::string("Function handles cannot be stored in arrays; use a cell.")
                : std::string("Values of class '") + classNameOf(resultClass) +
                      "' cannot be stored in arrays; use a cell.");
    }
    object = Value::adopt(std::move(rhsArray));
    return;
  }
  const bool numeric = resultClass >= zyDOUBLE_CLASS && resultClass <= zyUINT64_CLASS;
  bool complex = numeric && rhsArray->isComplex();
  ArrayPtr target;
  if (objectEmpty) {
    target = createArray(resultClass, newDims, complex,
                         resultClass == zySTRUCT_CLASS ? rhsArray->get_struct_field_info()
                                                       : std::vector<std::string>());
  } else {
    ArrayPtr current = object.release();
    if (current->isSparse()) current = fullArray(current.get());
    if (current->classId() != resultClass) current = convertArray(current.get(), resultClass);
    complex = numeric && (complex || current->isComplex());
    const bool sameShape = newDims == dimsOf(current.get());
    if (sameShape && complex == current->isComplex()) {
      target = std::move(current);
    } else if (complex == current->isComplex() && n == 1 && growInPlace(current.get(), newDims)) {
      target = std::move(current);
    } else {
      target = createArray(resultClass, newDims, complex,
                           resultClass == zySTRUCT_CLASS ? current->get_struct_field_info()
                                                         : std::vector<std::string>());
      relocate(current.get(), target.get());
    }
  }
  ArrayPtr converted =
      rhsClass == resultClass ? std::move(rhsArray) : convertArray(rhsArray.get(), resultClass);
  std::vector<std::size_t> linear;
  Dims resultDims;
  try {
    linearIndices(subscripts, newDims, linear, resultDims);
    ElementCopier copier(converted.get(), target.get());
    if (converted->numberOfElements() == 1) {
      for (std::size_t index : linear) copier.copy(0, index);
    } else {
      for (std::size_t i = 0; i < linear.size(); ++i) copier.copy(i, linear[i]);
    }
  } catch (...) {
    object = Value::adopt(std::move(target));
    throw;
  }
  object = Value::adopt(std::move(target));
}

void Interpreter::assignBrace(Value& object, ValueList& arguments, Value rhs) {
  if (!object.isDefined() || object.isEmptyDoubleMatrix()) {
    object = Value::adopt(zyCreateCellMatrix(0, 0));
  }
  if (!object.isCell()) {
    raise("Q:cellAssignToNonCell",
          std::string("Brace assignment is not supported for values of class '") +
              (object.isScalar() ? "double" : classNameOf(object.classId())) + "'.");
  }
  if (arguments.empty()) raise("Q:badsubscript", "An assignment with {} needs an index.");
  zyArray* cell = object.mutableArray();
  if (arguments.size() == 1 && arguments[0].isScalar()) {
    const std::size_t i = scalarIndex(arguments[0]);
    if (i < cell->numberOfElements()) {
      replaceCell(cell, i, rhs.release().release());
      return;
    }
    if (!cell->sharesData()) {
      // c{end+1} = v: the cell grows where it is.
      const Dims grown = grownByIndex(dimsOf(cell), i + 1);
      if (zyResizeContainer(cell, grown.data(), grown.size()) != 0) throw std::bad_alloc();
      replaceCell(cell, i, rhs.release().release());
      return;
    }
  }
  ArrayPtr wrapper = checked(zyCreateCellMatrix(1, 1));
  zySetCell(wrapper.get(), 0, rhs.release().release());
  assignParen(object, arguments, Value::adopt(std::move(wrapper)));
}

void Interpreter::assignField(Value& object, const std::string& field, Value rhs) {
  if (!object.isDefined() || object.isEmptyDoubleMatrix()) {
    object = Value::adopt(zyCreateStructMatrix(1, 1, 0, nullptr));
  }
  if (!object.isStruct()) {
    raise("Q:fieldAssignToNonStruct",
          std::string("Field assignment is not supported for values of class '") +
              (object.isScalar() ? "double" : classNameOf(object.classId())) + "'.");
  }
  zyArray* structure = object.mutableArray();
  if (structure->numberOfElements() == 0) {
    const std::vector<std::string> names = structure->get_struct_field_info();
    std::vector<const char*> pointers;
    for (const std::string& name : names) pointers.push_back(name.c_str());
    object = Value::adopt(
        zyCreateStructMatrix(1, 1, static_cast<int>(pointers.size()), pointers.data()));
    structure = object.mutableArray();
  }
  if (structure->numberOfElements() != 1) {
    raise("Q:scalarStructRequired",
          "A field of a struct array can be assigned in one element at a time: index it first.");
  }
  int number = zyGetFieldNumber(structure, field.c_str());
  if (number < 0) number = addField(structure, field);
  replaceField(structure, 0, number, rhs.release().release());
}

void Interpreter::assignBraceEach(Value& object, ValueList& arguments, ValueList& values) {
  if (arguments.empty()) raise("Q:badsubscript", "An assignment with {} needs an index.");
  const Subscripts subscripts = makeSubscripts(arguments);
  const std::size_t n = subscripts.size();
  const Dims extents = indexExtents(dimsOf(object), n);
  Dims counts(n);
  for (std::size_t k = 0; k < n; ++k) counts[k] = subscriptCount(subscripts[k], extents[k]);
  if (countOf(counts) != values.size()) {
    raise("Q:dimensionMismatch", "Unable to assign " + std::to_string(values.size()) +
                                     " values to " + std::to_string(countOf(counts)) + " cells.");
  }
  // Element by element, in the order of the index, so that growth is that of c{i} = v.
  Dims position(n, 0);
  ValueList element;
  for (Value& value : values) {
    element.clear();
    for (std::size_t k = 0; k < n; ++k) {
      element.push_back(Value(static_cast<double>(subscriptAt(subscripts[k], position[k]) + 1)));
    }
    assignBrace(object, element, std::move(value));
    for (std::size_t k = 0; k < n; ++k) {
      if (++position[k] < counts[k]) break;
      position[k] = 0;
    }
  }
}

void Interpreter::assignFieldEach(Value& object, const std::string& field, ValueList& values) {
  if (values.size() == 1 && !(object.isStruct() && object.numberOfElements() > 1)) {
    assignField(object, field, std::move(values[0]));
    return;
  }
  if (!object.isStruct()) {
    raise("Q:fieldAssignToNonStruct",
          std::string("Field assignment is not supported for values of class '") +
              (object.isScalar() ? "double" : classNameOf(object.classId())) + "'.");
  }
  zyArray* structure = object.mutableArray();
  if (structure->numberOfElements() != values.size()) {
    raise("Q:dimensionMismatch", "Unable to assign " + std::to_string(values.size()) +
                                     " values to the field of " +
                                     std::to_string(structure->numberOfElements()) + " elements.");
  }
  int number = zyGetFieldNumber(structure, field.c_str());
  if (number < 0) number = addField(structure, field);
  for (std::size_t i = 0; i < values.size(); ++i) {
    replaceField(structure, i, number, values[i].release().release());
  }
}

Value Interpreter::takeField(Value& object, const std::string& field) {
  if (!object.isStruct() || object.numberOfElements() != 1) return Value();
  zyArray* structure = object.mutableArray();
  const int number = zyGetFieldNumber(structure, field.c_str());
  if (number < 0) return Value();
  zyArray* element = nullptr;
  if (zyExchangeField(structure, 0, number, nullptr, &element) != 0) throw std::bad_alloc();
  return element ? Value::adopt(element) : Value();
}

Value Interpreter::takeCellElement(Value& object, ValueList& arguments) {
  if (!object.isCell()) return Value();
  zyArray* cell = object.mutableArray();
  if (arguments.size() == 1 && arguments[0].isScalar()) {
    const std::size_t i = scalarIndex(arguments[0]);
    if (i >= cell->numberOfElements()) return Value();
    zyArray* element = nullptr;
    if (zyExchangeCell(cell, i, nullptr, &element) != 0) throw std::bad_alloc();
    return element ? Value::adopt(element) : Value();
  }
  return copyCellElement(object, arguments);
}

Value Interpreter::copyCellElement(const Value& object, const ValueList& arguments) {
  if (!object.isCell()) return Value();
  ValueList elements;
  try {
    ValueList copy = arguments;
    indexBrace(object, copy, elements);
  } catch (const QError& error) {
    if (error.identifier() != "Q:badsubscript") throw;
    return Value();
  }
  if (elements.size() != 1) return Value();
  return std::move(elements[0]);
}

void Interpreter::deleteElements(Value& object, ValueList& arguments) {
  if (!object.isDefined()) raise("Q:undefined", "Deleting elements of an undefined value.");
  ArrayPtr holder;
  ArrayPtr source = fullArray(object.view(holder));
  if (source->classId() == zyFUNCTION_CLASS) {
    raise("Q:badsubscript", "Elements of a function handle cannot be deleted.");
  }
  const Subscripts subscripts = makeSubscripts(arguments);
  const std::size_t n = subscripts.size();
  if (n == 0) raise("Q:badsubscript", "Deleting elements needs an index.");
  const Dims dims = dimsOf(source.get());
  const std::vector<std::string> fields = source->classId() == zySTRUCT_CLASS
                                              ? source->get_struct_field_info()
                                              : std::vector<std::string>();
  ArrayPtr result;
  if (n == 1) {
    const std::size_t count = source->numberOfElements();
    const bool column = dims.size() == 2 && dims[1] == 1 && dims[0] != 1;
    std::size_t first, length;
    if (object.isArray() && !source->isSparse() && elementRun(subscripts[0], count, first, length)) {
      // One run goes (a queue's q(1) = [], a stack's s(end) = []): the elements after it move
      // down where they are, in data no other value shares.
      source.reset();
      const Dims newDims = column ? Dims{count - length, 1} : Dims{1, count - length};
      if (zyRemoveElements(object.mutableArray(), first, length, newDims.data(), newDims.size()) ==
          0) {
        return;
      }
      source = fullArray(object.view(holder));
    }
    std::vector<char> removed(count, 0);
    if (subscripts[0].kind == Subscript::Kind::Colon) {
      std::fill(removed.begin(), removed.end(), 1);
    } else {
      const std::size_t end = subscriptEnd(subscripts[0], count);
      if (end > count) {
        raise("Q:badsubscript", "Index exceeds the number of array elements (" +
                                    std::to_string(end) + " > " + std::to_string(count) + ").");
      }
      for (std::size_t k = 0; k < subscriptCount(subscripts[0], count); ++k)
        removed[subscriptAt(subscripts[0], k)] = 1;
    }
    std::size_t kept = 0;
    for (char flag : removed) kept += flag ? 0 : 1;
    Dims newDims = subscripts[0].kind == Subscript::Kind::Colon ? Dims{0, 0}
                   : column                                     ? Dims{kept, 1}
                                                                : Dims{1, kept};
    if (kept == count) newDims = dims;
    result = createArray(source->classId(), newDims, source->isComplex(), fields);
    ElementCopier copier(source.get(), result.get());
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i)
      if (!removed[i]) copier.copy(i, next++);
  } else {
    const Dims extents = indexExtents(dims, n);
    std::size_t dimension = n;
    for (std::size_t k = 0; k < n; ++k) {
      const Subscript& subscript = subscripts[k];
      bool whole = subscript.kind == Subscript::Kind::Colon;
      if (!whole) {
        std::vector<char> seen(extents[k], 0);
        const std::size_t end = subscriptEnd(subscript, extents[k]);
        if (end > extents[k]) {
          raise("Q:badsubscript", "Index in position " + std::to_string(k + 1) +
                                      " exceeds array bounds (" + std::to_string(end) + " > " +
                                      std::to_string(extents[k]) + ").");
        }
        std::size_t distinct = 0;
        for (std::size_t i = 0; i < subscriptCount(subscript, extents[k]); ++i) {
          const std::size_t index = subscriptAt(subscript, i);
          if (!seen[index]) ++distinct;
          seen[index] = 1;
        }
        whole = distinct == extents[k];
      }
      if (!whole) {
        if (dimension != n) {
          raise("Q:nullAssignment", "Deleting elements needs every subscript but one to be ':'.");
        }
        dimension = k;
      }
    }
    if (dimension == n) dimension = 0;  // everything goes: empty along the first dimension
    std::vector<char> removed(extents[dimension], 0);
    if (subscripts[dimension].kind == Subscript::Kind::Colon) {
      std::fill(removed.begin(), removed.end(), 1);
    } else {
      for (std::size_t i = 0; i < subscriptCount(subscripts[dimension], extents[dimension]); ++i)
        removed[subscriptAt(subscripts[dimension], i)] = 1;
    }
    std::size_t kept = 0;
    for (char flag : removed) kept += flag ? 0 : 1;
    Dims newDims = extents;
    newDims[dimension] = kept;
    result = createArray(source->classId(), normalized(newDims), source->isComplex(), fields);
    ElementCopier copier(source.get(), result.get());
    const std::size_t count = countOf(extents);
    Dims position(n, 0);
    std::size_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (!removed[position[dimension]]) copier.copy(i, next++);
      for (std::size_t k = 0; k < n; ++k) {
        if (++position[k] < extents[k]) break;
        position[k] = 0;
      }
    }
  }
  object = Value::adopt(std::move(result));
}

}  // namespace q
