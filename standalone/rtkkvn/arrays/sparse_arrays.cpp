#include "rtkkvn/arrays/sparse_arrays.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/index_translation.hpp"

namespace rtkkvn::arrays {
namespace {

using OverflowException = RangeMaxChecker<unsigned long long>::overflow_exception;

// How the k-th entry of a list is fetched: from the list, or its one entry repeated.
template <typename Value>
struct FromList {
  const Value* values;
  Value operator()(size_t k) const { return values[k]; }
};
template <typename Value>
struct Repeated {
  Value value;
  Value operator()(size_t) const { return value; }
};

// Calls next with the fetcher that suits a list of count entries.
template <typename Value, typename Next>
void withFetcher(const Value* values, size_t count, Next&& next) {
  if (count == 1) {
    next(Repeated<Value>{values[0]});
  } else {
    next(FromList<Value>{values});
  }
}

template <typename Value>
struct Triple {
  size_t row, column;  // from 0
  Value real, imag;
};

template <typename Value>
bool columnMajorLess(const Triple<Value>& a, const Triple<Value>& b) {
  return a.column != b.column ? a.column < b.column : a.row < b.row;
}

template <typename Value>
Value combine(Value a, Value b) {
  if constexpr (std::is_same_v<Value, zyLogical>) {
    return static_cast<Value>((a != 0 || b != 0) ? 1 : 0);
  } else {
    return a + b;
  }
}

// One instance per way of fetching rows, columns and values, per value type and complexity.
template <typename Value, bool kComplex, typename Rows, typename Columns, typename Real>
zyArray* buildFromTriples(size_t count, Rows row, Columns column, Real real, Real imag, size_t rows,
                          size_t columns, bool inferSize, size_t capacity) {
  std::vector<Triple<Value>> triples;
  triples.reserve(count);
  size_t largestRow = 0;
  size_t largestColumn = 0;
  for (size_t k = 0; k < count; ++k) {
    const size_t r = row(k);
    const size_t c = column(k);
    if (r == 0 || c == 0) throw IndexTranslator::negative_index_exception();
    if (!inferSize && (r > rows || c > columns)) throw OverflowException();
    largestRow = std::max(largestRow, r);
    largestColumn = std::max(largestColumn, c);
    const Value re = real(k);
    const Value im = kComplex ? imag(k) : Value{};
    if (re == Value{} && im == Value{}) continue;  // a NaN compares unequal and is kept
    triples.push_back({r - 1, c - 1, re, im});
  }
  if (inferSize) {
    rows = largestRow;
    columns = largestColumn;
  }
  if (!std::is_sorted(triples.begin(), triples.end(), columnMajorLess<Value>)) {
    std::stable_sort(triples.begin(), triples.end(), columnMajorLess<Value>);
  }
  const size_t room = std::max(capacity, triples.size());
  zyArray* array = std::is_same_v<Value, zyLogical>
                       ? zyCreateSparseLogicalMatrix(rows, columns, room)
                       : zyCreateSparse(rows, columns, room, kComplex ? zyCOMPLEX : zyREAL);
  if (array == nullptr) throw std::runtime_error("zyCreateSparse returned NULL");
  OwnedArray owned(array);
  size_t* rowIndices = zyGetIr(array);
  size_t* columnStarts = zyGetJc(array);
  auto* realData = static_cast<Value*>(zyGetData(array));
  auto* imagData = static_cast<Value*>(zyGetImagData(array));
  if (rowIndices == nullptr || columnStarts == nullptr || realData == nullptr) {
    throw MemoryException();
  }
  std::fill(columnStarts, columnStarts + columns + 1, 0);
  size_t stored = 0;
  for (size_t i = 0; i < triples.size(); ++i) {
    const Triple<Value>& t = triples[i];
    if (stored > 0 && rowIndices[stored - 1] == t.row && i > 0 &&
        triples[i - 1].column == t.column) {
      realData[stored - 1] = combine(realData[stored - 1], t.real);
      if (kComplex) imagData[stored - 1] = combine(imagData[stored - 1], t.imag);
      continue;
    }
    rowIndices[stored] = t.row;
    realData[stored] = t.real;
    if (kComplex) imagData[stored] = t.imag;
    ++columnStarts[t.column + 1];
    ++stored;
  }
  for (size_t c = 0; c < columns; ++c) columnStarts[c + 1] += columnStarts[c];
  return owned.release();
}

template <typename Value, bool kComplex>
zyArray* buildTyped(const SparseLists& lists, size_t count, size_t rows, size_t columns,
                    bool inferSize, size_t capacity) {
  zyArray* result = nullptr;
  const auto* real = static_cast<const Value*>(lists.real);
  const auto* imag = static_cast<const Value*>(kComplex ? lists.imag : lists.real);
  withFetcher(lists.rows, lists.rowCount, [&](auto row) {
    withFetcher(lists.columns, lists.columnCount, [&](auto column) {
      withFetcher(real, lists.dataCount, [&](auto realValue) {
        // The imaginary list has the real list's count, so it is fetched the same way.
        const auto imagValue = [&] {
          if constexpr (std::is_same_v<decltype(realValue), Repeated<Value>>) {
            return Repeated<Value>{imag[0]};
          } else {
            return FromList<Value>{imag};
          }
        }();
        result = buildFromTriples<Value, kComplex>(count, row, column, realValue, imagValue, rows,
                                                   columns, inferSize, capacity);
      });
    });
  });
  return result;
}

}  // namespace

zyArray* buildSparse(const SparseLists& lists, size_t rows, size_t columns, bool inferSize,
                     size_t nzmax, int classId, zyComplexity complexity) {
  const bool given = lists.rows != nullptr;
  if ((lists.columns != nullptr) != given || (lists.real != nullptr) != given) {
    throw SparseInvalidInitialDataException();
  }
  if (complexity == zyCOMPLEX && (lists.imag != nullptr) != (lists.real != nullptr)) {
    throw SparseInvalidInitialDataException();
  }
  if (classId == zyLOGICAL_CLASS && complexity == zyCOMPLEX) {
    throw ComplexNotSupportedException(zyLOGICAL_CLASS);
  }
  if (classId != zyLOGICAL_CLASS && classId != zyDOUBLE_CLASS) {
    throw SparseNotSupportedException(classId);
  }

  const size_t count = std::max({lists.rowCount, lists.columnCount, lists.dataCount});
  const size_t capacity = nzmax != 0 ? nzmax : count;
  for (size_t listCount : {lists.rowCount, lists.columnCount, lists.dataCount}) {
    if (listCount != count && listCount != 1) throw SparseInvalidInitialDataException();
  }
  if (count > capacity) throw SparseInvalidNzmaxException();

  if (!given || count == 0) {
    if (inferSize) rows = columns = 0;
    zyArray* empty = classId == zyLOGICAL_CLASS
                         ? zyCreateSparseLogicalMatrix(rows, columns, capacity)
                         : zyCreateSparse(rows, columns, capacity, complexity);
    return checkedArray(empty).release();
  }
  if (classId == zyLOGICAL_CLASS) {
    return buildTyped<zyLogical, false>(lists, count, rows, columns, inferSize, capacity);
  }
  if (complexity == zyCOMPLEX) {
    return buildTyped<double, true>(lists, count, rows, columns, inferSize, capacity);
  }
  return buildTyped<double, false>(lists, count, rows, columns, inferSize, capacity);
}

namespace {

// The (row, column) of a raw sparse element access, from 0, after checking the indices.
struct Position {
  size_t row, column;
};

Position sparsePosition(const zyArray* array, size_t count, const size_t* indices) {
  if (count != 2) throw IndexOutOfBoundsException("Incompatible number of dimensions");
  if (indices == nullptr) throw IllegalArgumentException("Invalid argument");
  const size_t dimensions[2] = {zyGetM(array), zyGetN(array)};
  for (size_t j = 0; j < 2; ++j) {
    if (indices[j] < 1 || indices[j] > dimensions[j]) {
      throw IndexOutOfBoundsException(indices, dimensions, 2);
    }
  }
  return {indices[0] - 1, indices[1] - 1};
}

bool holdsValues(int classId) {
  return classId == zyLOGICAL_CLASS || classId == zyCHAR_CLASS ||
         (classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS);
}

// The first value of source (both parts) converted to the class of Value; zeros when it has none.
template <typename Value>
void firstValue(const zyArray* source, zyClassID valueClass, int targetClass, Value* real,
                Value* imag) {
  *real = Value{};
  *imag = Value{};
  if (source == nullptr) throw IllegalArgumentException("source element");
  const zyClassID sourceClass = zyGetClassID(source);
  if (!holdsValues(sourceClass)) throw TypeMismatchException(targetClass, sourceClass);
  if (zyGetNumberOfNonzeros(source) == 0 || zyGetDataConst(source) == nullptr) return;
  zyConvertBufferToType(real, valueClass, zyGetDataConst(source), sourceClass, 1);
  if (zyGetImagDataConst(source) != nullptr) {
    zyConvertBufferToType(imag, valueClass, zyGetImagDataConst(source), sourceClass, 1);
  }
}

// Removes the stored element at position.
void removeSparseElement(zyArray* array, size_t position, size_t column) {
  const size_t stored = zyGetNumberOfNonzeros(array);
  size_t* rows = zyGetIr(array);
  size_t* columnStarts = zyGetJc(array);
  auto* data = static_cast<zyLogical*>(zyGetData(array));
  if (rows == nullptr || columnStarts == nullptr || data == nullptr) throw MemoryException();
  const size_t after = stored - position - 1;
  std::memmove(rows + position, rows + position + 1, after * sizeof(size_t));
  std::memmove(data + position, data + position + 1, after);
  for (size_t c = column + 1, columns = zyGetN(array); c <= columns; ++c) --columnStarts[c];
}

}  // namespace

zyArray* readSparseElement(const zyArray* array, size_t count, const size_t* indices,
                           ElementPart part) {
  const zyClassID classId = zyGetClassID(array);
  if (classId == zyLOGICAL_CLASS) {
    if (part == ElementPart::kImaginary) throw ComplexNotSupportedException(zyLOGICAL_CLASS);
    const Position at = sparsePosition(array, count, indices);
    bool found = false;
    const size_t position = findSparseElement(array, at.row, at.column, &found);
    return checkedArray(zyCreateLogicalScalar(found ? zyGetLogicals(array)[position] : 0))
        .release();
  }
  if (classId != zyDOUBLE_CLASS) throw SparseNotSupportedException(classId);
  const bool complex = zyGetImagDataConst(array) != nullptr;
  if (part == ElementPart::kImaginary && !complex) throw ComplexAccessException();
  const Position at = sparsePosition(array, count, indices);
  bool found = false;
  const size_t position = findSparseElement(array, at.row, at.column, &found);
  const double real = found ? static_cast<const double*>(zyGetDataConst(array))[position] : 0;
  const double imag =
      found && complex ? static_cast<const double*>(zyGetImagDataConst(array))[position] : 0;
  const bool complexResult = part == ElementPart::kWhole && complex;
  OwnedArray result = checkedArray(zyCreateDoubleMatrix(1, 1, complexResult ? zyCOMPLEX : zyREAL));
  zyGetPr(result.get())[0] = part == ElementPart::kImaginary ? imag : real;
  if (complexResult) zyGetPi(result.get())[0] = imag;
  return result.release();
}

void writeSparseElement(zyArray* target, const zyArray* source, size_t count, const size_t* indices,
                        ElementPart part) {
  const zyClassID classId = zyGetClassID(target);
  if (classId == zyLOGICAL_CLASS) {
    if (part != ElementPart::kReal) throw ComplexNotSupportedException(zyLOGICAL_CLASS);
    const Position at = sparsePosition(target, count, indices);
    zyLogical value = 0, unused = 0;
    firstValue(source, zyLOGICAL_CLASS, classId, &value, &unused);
    bool found = false;
    const size_t position = findSparseElement(target, at.row, at.column, &found);
    if (value != 0) {
      const size_t stored = storeSparseElement(target, at.row, at.column);
      static_cast<zyLogical*>(zyGetData(target))[stored] = 1;
    } else if (found && zyGetLogicals(target)[position] == 0) {
      removeSparseElement(target, position, at.column);
    } else if (found) {
      static_cast<zyLogical*>(zyGetData(target))[position] = 0;
    }
    return;
  }
  if (classId != zyDOUBLE_CLASS) throw SparseNotSupportedException(classId);
  const Position at = sparsePosition(target, count, indices);
  double real = 0, imag = 0;
  firstValue(source, zyDOUBLE_CLASS, classId, &real, &imag);
  const bool complexSource = source != nullptr && zyGetImagDataConst(source) != nullptr;
  if (part == ElementPart::kWhole && complexSource && zyGetImagDataConst(target) == nullptr) {
    void* block = zyCalloc(std::max<size_t>(zyGetNzmax(target), 1), sizeof(double));
    if (block == nullptr) throw MemoryException();
    if (zySetImagData(target, block) != 0) {
      zyFree(block);
      throw MemoryException();
    }
  }
  const bool complexTarget = zyGetImagDataConst(target) != nullptr;
  if (part == ElementPart::kImaginary && !complexTarget) throw ComplexAccessException();
  const size_t position = storeSparseElement(target, at.row, at.column);
  double* realData = zyGetPr(target);
  double* imagData = complexTarget ? zyGetPi(target) : nullptr;
  if (realData == nullptr || (complexTarget && imagData == nullptr)) throw MemoryException();
  switch (part) {
    case ElementPart::kWhole:
      realData[position] = real;
      if (complexTarget) imagData[position] = imag;
      break;
    case ElementPart::kReal:
      realData[position] = real;
      break;
    case ElementPart::kImaginary:
      imagData[position] = real;
      break;
  }
}

}  // namespace rtkkvn::arrays
