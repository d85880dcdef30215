// Class queries and conversions, cells and structs.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/shape.hpp"

namespace q::ops::detail {
namespace {

// The class name Q code sees: function handles answer "function_handle" and objects their own
// class name; everything else is the class table's name.
std::string visibleClassName(const zyArray* a) {
  const zyClassID cls = a->classId();
  if (cls == zyFUNCTION_CLASS) return "function_handle";
  if (cls == zyOBJECT_CLASS && zyGetObjectClassName(a) != nullptr) return zyGetObjectClassName(a);
  return className(cls);
}

void classBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, text(visibleClassName(call.in(0))));
}

void isaBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyArray* a = call.in(0);
  const std::string name = textArgument(call.in(1), "isa");
  const zyClassID cls = a->classId();
  bool result = name == visibleClassName(a);
  if (name == "numeric") result = isNumericClass(cls);
  if (name == "float") result = isFloatClass(cls);
  if (name == "integer") result = isIntegerClass(cls);
  call.out(0, logicalScalar(result));
}

template <int kind>
void classTestBuiltin(Call& call) {
  // kind: 0 isnumeric, 1 ischar, 2 iscell, 3 isstruct, 4 islogical, 5 isreal, 6 isfloat,
  // 7 isinteger
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  const zyClassID cls = a->classId();
  bool result = false;
  switch (kind) {
    case 0:
      result = isNumericClass(cls);
      break;
    case 1:
      result = cls == zyCHAR_CLASS;
      break;
    case 2:
      result = cls == zyCELL_CLASS;
      break;
    case 3:
      result = cls == zySTRUCT_CLASS;
      break;
    case 4:
      result = cls == zyLOGICAL_CLASS;
      break;
    case 5:
      result = isArithmeticClass(cls) && !isComplex(a);
      break;
    case 6:
      result = isFloatClass(cls);
      break;
    default:
      result = isIntegerClass(cls);
      break;
  }
  call.out(0, logicalScalar(result));
}

template <zyClassID target>
void convertBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  if (a->classId() == target) return call.out(0, checked(zyCreateSharedDataCopy(a)));
  if (!isArithmetic(a)) {
    raise("Q:invalidConversion", "Conversion to " + className(target) + " from " +
                                     className(a->classId()) + " is not possible.");
  }
  call.out(0, convertClass(a, target));
}

void logicalBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  if (a->classId() == zyLOGICAL_CLASS) return call.out(0, checked(zyCreateSharedDataCopy(a)));
  if (!isArithmetic(a) || isComplex(a)) {
    raise("Q:invalidConversion",
          "Conversion to logical from " +
              std::string(isComplex(a) ? "complex values" : className(a->classId())) +
              " is not possible.");
  }
  FullArray full(a);
  checkNoNaN(full.get());
  call.out(0, convertClass(full.get(), zyLOGICAL_CLASS));
}

// Rows of text padded with blanks to the longest, as one char matrix.
ArrayPtr charMatrix(const std::vector<std::u16string>& rows) {
  size_t width = 0;
  for (const std::u16string& row : rows) width = std::max(width, row.size());
  ArrayPtr out = checked(zyCreateCharMatrix(rows.size(), width));
  if (rows.empty() || width == 0) return out;
  zyChar* target = dataOf<zyChar>(out.get());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < width; ++j) {
      target[i + rows.size() * j] = j < rows[i].size() ? rows[i][j] : u' ';
    }
  }
  return out;
}

// The rows of a char matrix, or the elements of a cell array of text, as separate texts.
void appendRows(const zyArray* a, std::vector<std::u16string>& rows) {
  if (a->classId() == zyCELL_CLASS) {
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      const zyArray* element = zyGetCellConst(a, i);
      if (element == nullptr) {
        rows.emplace_back();
        continue;
      }
      if (element->classId() != zyCHAR_CLASS && !isArithmetic(element)) {
        raise("Q:invalidInput", "char: a cell array must hold text only.");
      }
      appendRows(element, rows);
    }
    return;
  }
  ArrayPtr asChar = convertClass(a, zyCHAR_CLASS);
  if (asChar->numberOfDimensions() != 2)
    raise("Q:invalidInput", "char: N-D arrays need one argument.");
  const size_t m = asChar->dimensions()[0], n = asChar->dimensions()[1];
  const zyChar* units = constData<zyChar>(asChar.get());
  for (size_t i = 0; i < m; ++i) {
    std::u16string row(n, u' ');
    for (size_t j = 0; j < n; ++j) row[j] = units[i + m * j];
    rows.push_back(row);
  }
  if (m == 0 && a->numberOfElements() == 0 && a->classId() == zyCHAR_CLASS) rows.emplace_back();
}

void charBuiltin(Call& call) {
  call.check(1, -1, 1);
  if (call.nargin == 1 && call.in(0)->classId() != zyCELL_CLASS) {
    const zyArray* a = call.in(0);
    if (a->classId() == zyCHAR_CLASS) return call.out(0, checked(zyCreateSharedDataCopy(a)));
    if (!isArithmetic(a)) {
      raise("Q:invalidConversion",
            "Conversion to char from " + className(a->classId()) + " is not possible.");
    }
    return call.out(0, convertClass(a, zyCHAR_CLASS));
  }
  std::vector<std::u16string> rows;
  for (int i = 0; i < call.nargin; ++i) {
    const zyArray* a = call.in(i);
    if (a->classId() != zyCELL_CLASS && !isArithmetic(a)) {
      raise("Q:invalidConversion",
            "Conversion to char from " + className(a->classId()) + " is not possible.");
    }
    // char('a', '', 'b') keeps the empty row.
    if (a->classId() != zyCELL_CLASS && a->numberOfElements() == 0) {
      rows.emplace_back();
      continue;
    }
    appendRows(a, rows);
  }
  call.out(0, charMatrix(rows));
}

void cellBuiltin(Call& call) {
  call.check(0, -1, 1);
  const Dims dims = sizeArguments(call.inputs, call.nargin, "cell");
  call.out(0, checked(zyCreateCellArray(dims.size(), dims.data())));
}

void structBuiltin(Call& call) {
  call.check(0, -1, 1);
  if (call.nargin == 1) {
    // struct([]): the 0-by-0 struct array without fields; struct(s): s itself.
    const zyArray* value = call.in(0);
    if (value->classId() == zySTRUCT_CLASS) {
      call.out(0, checked(zyCreateSharedDataCopy(value)));
      return;
    }
    if (value->numberOfElements() == 0 && value->classId() == zyDOUBLE_CLASS) {
      call.out(0, checked(zyCreateStructMatrix(0, 0, 0, nullptr)));
      return;
    }
  }
  if (call.nargin % 2 != 0) {
    raise("Q:invalidInput", "struct: arguments must come in name-value pairs.");
  }
  std::vector<std::string> names;
  Dims dims = {1, 1};
  bool shaped = false;
  for (int i = 0; i < call.nargin; i += 2) {
    const std::string name = fieldNameArgument(call.in(i), "struct");
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      raise("Q:invalidInput", "struct: the field '" + name + "' is given twice.");
    }
    names.push_back(name);
    const zyArray* value = call.in(i + 1);
    // A cell value spreads its elements over a struct array of its shape; a 1-by-1 cell gives
    // its element to every struct.
    if (value->classId() == zyCELL_CLASS && value->numberOfElements() != 1) {
      const Dims valueDims = dimsOf(value);
      if (shaped && valueDims != dims) {
        raise("Q:sizeMismatch", "struct: the cell array values must all have the same size.");
      }
      dims = valueDims;
      shaped = true;
    }
  }
  std::vector<const char*> fieldPointers;
  for (const std::string& name : names) fieldPointers.push_back(name.c_str());
  ArrayPtr out = checked(zyCreateStructArray(
      dims.size(), dims.data(), static_cast<int>(fieldPointers.size()), fieldPointers.data()));
  const size_t count = out->numberOfElements();
  for (size_t f = 0; f < names.size(); ++f) {
    const zyArray* value = call.in(static_cast<int>(2 * f + 1));
    const bool spread = value->classId() == zyCELL_CLASS;
    for (size_t k = 0; k < count; ++k) {
      const zyArray* element =
          spread ? zyGetCellConst(value, value->numberOfElements() == 1 ? 0 : k) : value;
      if (element == nullptr) continue;
      zyArray* copy = checked(zyCreateSharedDataCopy(element)).release();
      if (zySetFieldByNumber(out.get(), k, static_cast<int>(f), copy) != 0) {
        zyDestroyArray(copy);
        outOfMemory();
      }
    }
  }
  call.out(0, std::move(out));
}

void fieldnamesBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* s = requireStruct(call.in(0), "fieldnames");
  const std::vector<std::string>& names = s->get_struct_field_info();
  ArrayPtr out = checked(zyCreateCellMatrix(names.size(), 1));
  for (size_t i = 0; i < names.size(); ++i) {
    zyArray* name = text(names[i]).release();
    if (zySetCell(out.get(), i, name) != 0) {
      zyDestroyArray(name);
      outOfMemory();
    }
  }
  call.out(0, std::move(out));
}

void isfieldBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyArray* s = call.in(0);
  const zyArray* names = call.in(1);
  const bool isStruct = s->classId() == zySTRUCT_CLASS;
  auto has = [&](const zyArray* name) {
    return isStruct && isText(name) && zyGetFieldNumber(s, utf8(unitsOf(name)).c_str()) >= 0;
  };
  if (names->classId() != zyCELL_CLASS) return call.out(0, logicalScalar(has(names)));
  ArrayPtr out = create(zyLOGICAL_CLASS, dimsOf(names));
  for (size_t i = 0; i < names->numberOfElements(); ++i) {
    const zyArray* name = zyGetCellConst(names, i);
    dataOf<zyLogical>(out.get())[i] = name != nullptr && has(name);
  }
  call.out(0, std::move(out));
}

void rmfieldBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyArray* s = requireStruct(call.in(0), "rmfield");
  std::vector<std::string> names;
  const zyArray* which = call.in(1);
  if (which->classId() == zyCELL_CLASS) {
    for (size_t i = 0; i < which->numberOfElements(); ++i) {
      const zyArray* name = zyGetCellConst(which, i);
      if (name == nullptr || !isText(name)) {
        raise("Q:invalidInput", "rmfield: field names must be character vectors.");
      }
      names.push_back(utf8(unitsOf(name)));
    }
  } else {
    names.push_back(textArgument(which, "rmfield"));
  }
  for (const std::string& name : names) {
    if (zyGetFieldNumber(s, name.c_str()) < 0) {
      raise("Q:nonExistentField", "rmfield: there is no field '" + name + "'.");
    }
  }
  ArrayPtr out = checked(zyCreateSharedDataCopy(s));
  for (const std::string& name : names) {
    const int field = zyGetFieldNumber(out.get(), name.c_str());
    if (field >= 0 && zyRemoveField(out.get(), field) != 0) outOfMemory();
  }
  call.out(0, std::move(out));
}

void num2cellBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  const Dims dims = dimsOf(a.get());
  ArrayPtr out = checked(zyCreateCellArray(dims.size(), dims.data()));
  for (size_t k = 0; k < a->numberOfElements(); ++k) {
    zyArray* element = gather(a.get(), {1, 1}, {k}).release();
    if (zySetCell(out.get(), k, element) != 0) {
      zyDestroyArray(element);
      outOfMemory();
    }
  }
  call.out(0, std::move(out));
}

void cell2matBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* c = call.in(0);
  if (c->classId() != zyCELL_CLASS)
    raise("Q:invalidInput", "cell2mat: the input must be a cell array.");
  if (c->numberOfDimensions() != 2)
    raise("Q:invalidInput", "cell2mat: the cell array must be 2-D.");
  if (c->numberOfElements() == 0) return call.out(0, emptyDouble());
  ArrayPtr empty = emptyDouble();
  zyClassID cls = zyUNKNOWN_CLASS;
  for (size_t i = 0; i < c->numberOfElements(); ++i) {
    const zyArray* element = zyGetCellConst(c, i);
    if (element == nullptr || element->numberOfElements() == 0) continue;
    if (element->classId() == zyCELL_CLASS) {
      raise("Q:invalidInput", "cell2mat: cells holding cell arrays cannot be joined.");
    }
    if (cls != zyUNKNOWN_CLASS && element->classId() != cls) {
      raise("Q:invalidInput", "cell2mat: all cells must hold values of one class.");
    }
    cls = element->classId();
  }
  const size_t rows = c->dimensions()[0], columns = c->dimensions()[1];
  std::vector<ArrayPtr> rowResults;
  std::vector<const zyArray*> rowPointers;
  for (size_t i = 0; i < rows; ++i) {
    std::vector<const zyArray*> row;
    for (size_t j = 0; j < columns; ++j) {
      const zyArray* element = zyGetCellConst(c, i + rows * j);
      row.push_back(element ? element : empty.get());
    }
    rowResults.push_back(concatenateArrays(1, row));
    rowPointers.push_back(rowResults.back().get());
  }
  call.out(0, concatenateArrays(0, rowPointers));
}

}  // namespace

void addTypeBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"cell", builtin<cellBuiltin>});
  table.push_back({"cell2mat", builtin<cell2matBuiltin>});
  table.push_back({"char", builtin<charBuiltin>});
  table.push_back({"class", builtin<classBuiltin>});
  table.push_back({"double", builtin<convertBuiltin<zyDOUBLE_CLASS>>});
  table.push_back({"fieldnames", builtin<fieldnamesBuiltin>});
  table.push_back({"int16", builtin<convertBuiltin<zyINT16_CLASS>>});
  table.push_back({"int32", builtin<convertBuiltin<zyINT32_CLASS>>});
  table.push_back({"int64", builtin<convertBuiltin<zyINT64_CLASS>>});
  table.push_back({"int8", builtin<convertBuiltin<zyINT8_CLASS>>});
  table.push_back({"isa", builtin<isaBuiltin>});
  table.push_back({"iscell", builtin<classTestBuiltin<2>>});
  table.push_back({"ischar", builtin<classTestBuiltin<1>>});
  table.push_back({"isfield", builtin<isfieldBuiltin>});
  table.push_back({"isfloat", builtin<classTestBuiltin<6>>});
  table.push_back({"isinteger", builtin<classTestBuiltin<7>>});
  table.push_back({"islogical", builtin<classTestBuiltin<4>>});
  table.push_back({"isnumeric", builtin<classTestBuiltin<0>>});
  table.push_back({"isreal", builtin<classTestBuiltin<5>>});
  table.push_back({"isstruct", builtin<classTestBuiltin<3>>});
  table.push_back({"logical", builtin<logicalBuiltin>});
  table.push_back({"num2cell", builtin<num2cellBuiltin>});
  table.push_back({"rmfield", builtin<rmfieldBuiltin>});
  table.push_back({"single", builtin<convertBuiltin<zySINGLE_CLASS>>});
  table.push_back({"struct", builtin<structBuiltin>});
  table.push_back({"uint16", builtin<convertBuiltin<zyUINT16_CLASS>>});
  table.push_back({"uint32", builtin<convertBuiltin<zyUINT32_CLASS>>});
  table.push_back({"uint64", builtin<convertBuiltin<zyUINT64_CLASS>>});
  table.push_back({"uint8", builtin<convertBuiltin<zyUINT8_CLASS>>});
}

}  // namespace q::ops::detail
