#pragma once
// Helpers shared by the operations: array creation that reports running out of memory as a
// Q-level error, class tests, reading arguments, full views of sparse arrays, and the argument
// bundle of a built-in call.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ops/operations.hpp"
#include "zy/array.hpp"

namespace q::ops::detail {

using Dims = std::vector<size_t>;

// Throws zy::ScriptError; the interpreter reports it.
[[noreturn]] void raise(const char* identifier, const std::string& message);
[[noreturn]] void outOfMemory();

// An owning handle for a newly created array; null (memory ran out or the size overflowed)
// raises "Q:outOfMemory".
ArrayPtr checked(zyArray* array);

inline bool isIntegerClass(zyClassID c) { return c >= zyINT8_CLASS && c <= zyUINT64_CLASS; }
inline bool isFloatClass(zyClassID c) { return c == zyDOUBLE_CLASS || c == zySINGLE_CLASS; }
inline bool isNumericClass(zyClassID c) { return c >= zyDOUBLE_CLASS && c <= zyUINT64_CLASS; }
// Values arithmetic reads: numeric, char and logical.
inline bool isArithmeticClass(zyClassID c) {
  return isNumericClass(c) || c == zyCHAR_CLASS || c == zyLOGICAL_CLASS;
}
inline bool isWideInteger(zyClassID c) { return c == zyINT64_CLASS || c == zyUINT64_CLASS; }
inline bool isArithmetic(const zyArray* a) { return isArithmeticClass(a->classId()); }
inline bool isComplex(const zyArray* a) { return a->isComplex() && isNumericClass(a->classId()); }

// The class named by a class-name argument ("double", "int8", "logical", ...); false otherwise.
bool classFromName(const std::string& name, zyClassID& classId);
std::string className(zyClassID classId);

Dims dimsOf(const zyArray* a);
size_t countOf(const Dims& dims);
std::string sizeText(const Dims& dims);  // "2x3"
bool sameDims(const zyArray* a, const zyArray* b);
bool isRowVector(const zyArray* a);  // 2-D with one row
bool isVector(const zyArray* a);     // 2-D with one row or one column
// The first dimension whose size is not 1 (zero-based; 0 when there is none).
size_t firstNonSingleton(const Dims& dims);

// New arrays (zeroed; classes of zyCreateNumericArray).
ArrayPtr create(zyClassID classId, const Dims& dims, bool complex = false);
ArrayPtr createDouble(const Dims& dims, bool complex = false);
// A new real double array whose elements the caller writes, every one of them: zeroing a block
// that is overwritten next costs as much as a pass of the operation (memset of reused heap
// memory).
ArrayPtr createUnfilledDouble(const Dims& dims);
ArrayPtr scalar(double value);
ArrayPtr logicalScalar(bool value);
ArrayPtr emptyDouble();  // 0-by-0
ArrayPtr text(const std::string& utf8);
ArrayPtr text(const std::u16string& units);
// A cell of the given shape holding the given texts (text.cpp).
ArrayPtr cellOfTexts(const Dims& dims, const std::vector<std::u16string>& texts);
ArrayPtr rowVector(const std::vector<double>& values);
ArrayPtr columnVector(const std::vector<double>& values);

// Typed data pointers of an array created here (never shared, so no copy happens).
template <typename T>
T* dataOf(zyArray* a) {
  return static_cast<T*>(zyGetData(a));
}
template <typename T>
T* imagOf(zyArray* a) {
  return static_cast<T*>(zyGetImagData(a));
}
template <typename T>
const T* constData(const zyArray* a) {
  return static_cast<const T*>(a->realData());
}
template <typename T>
const T* constImag(const zyArray* a) {
  return static_cast<const T*>(a->imagData());
}

// Removes the imaginary block of a complex array whose imaginary parts are all zero.
void dropZeroImaginary(zyArray* a);
// Makes a real numeric array complex with zero imaginary parts.
void makeComplex(zyArray* a);

// The full form of a sparse array (other arrays: null).
ArrayPtr sparseToFull(const zyArray* a);

// A full view of an input: the array itself, or the full form of a sparse one.
class FullArray {
 public:
  explicit FullArray(const zyArray* a) : array_(a) {
    if (a->isSparse()) {
      converted_ = sparseToFull(a);
      array_ = converted_.get();
    }
  }
  const zyArray* get() const { return array_; }
  const zyArray* operator->() const { return array_; }

 private:
  const zyArray* array_;
  ArrayPtr converted_;
};

// The values of a full numeric, char or logical array as doubles: the array's own block when it
// is double, else a converted copy. imag selects the imaginary part (zeros for real arrays).
class DoubleValues {
 public:
  explicit DoubleValues(const zyArray* full, bool imag = false);
  const double* data() const { return data_; }
  double operator[](size_t i) const { return data_[i]; }

 private:
  std::vector<double> copy_;
  const double* data_;
};

// The values of a full numeric, char or logical array as long doubles, which hold 64-bit
// integers exactly.
std::vector<long double> wideValues(const zyArray* full);

// An array walked along dimension dim: element (i, j, o) sits at i + before * (j + length * o).
// in is its dimensions padded with 1s up to dim, out the same with dim reduced to 1.
struct Layout {
  size_t before = 1, length = 1, after = 1;
  Dims in, out;
};
Layout layoutFor(const Dims& dims, size_t dim);

// The values of a real numeric, char or logical argument in double, with its shape and the
// class results made from it take (single for single, else double). Raises Q:invalidInput
// naming function and what ("the input") when the argument is not numeric or is complex, and,
// for vectorValues, when it is neither a vector nor empty.
struct RealValues {
  Dims dims;
  std::vector<double> v;
  zyClassID resultClass = zyDOUBLE_CLASS;
  size_t size() const { return v.size(); }
  double operator[](size_t i) const { return v[i]; }
};
RealValues realValues(const zyArray* a, const char* function, const char* what);
RealValues vectorValues(const zyArray* a, const char* function, const char* what);

// Piecewise cubic Hermite interpolation (signal.cpp) through (x, y), x strictly increasing with
// at least two points: the slopes of the not-a-knot cubic spline or the shape-preserving
// (Fritsch-Carlson) ones, and the value at v (outside the points: the end piece continued).
std::vector<double> cubicSlopes(const std::vector<double>& x, const std::vector<double>& y,
                                bool shapePreserving);
double hermiteValue(const std::vector<double>& x, const std::vector<double>& y,
                    const std::vector<double>& slopes, double v);

// The values of an array converted to a class (real and imaginary part, shape kept, sparse made
// full). A shared copy when it already has that class.
ArrayPtr convertClass(const zyArray* a, zyClassID target);
// Converts double values into a new array of the class (round and saturate for integers).
ArrayPtr fromDoubles(zyClassID classId, const Dims& dims, const double* real, const double* imag);

// Argument readers. `function` names the built-in in messages.
bool isText(const zyArray* a);  // char row vector or empty char
bool isCellOfText(const zyArray* a);
std::string textArgument(const zyArray* a, const char* function);
std::u16string unitsArgument(const zyArray* a, const char* function);
std::u16string unitsOf(const zyArray* charArray);  // all elements in storage order
std::string utf8(const std::u16string& units);
std::u16string utf16(const std::string& text);
// A real scalar of any arithmetic class.
double scalarArgument(const zyArray* a, const char* function, const char* what);
// A positive integer (1-based) dimension argument, returned zero-based.
size_t dimensionArgument(const zyArray* a, const char* function);
// Sizes from zeros(...)-style arguments: none is 1-by-1, one scalar n is n-by-n, one vector
// gives the dimensions, several scalars give one dimension each. Negative sizes count as 0.
Dims sizeArguments(const zyArray* const* args, int count, const char* function);
std::string lower(std::string text);
// Struct arguments: the array, which must be a struct array; a field name (a letter, then
// letters, digits and '_', at most 63 characters), else Q:invalidFieldName.
const zyArray* requireStruct(const zyArray* a, const char* function);
bool validFieldName(const std::string& name);
std::string fieldNameArgument(const zyArray* a, const char* function);

// The arguments of one built-in call.
struct Call {
  int nargout;
  ArrayPtr* outputs;
  int nargin;
  const zyArray* const* inputs;

  // Raises the argument-count errors of matrix::detail.
  void check(int minimumInputs, int maximumInputs, int maximumOutputs) const;
  const zyArray* in(int i) const { return inputs[i]; }
  void out(int i, ArrayPtr value) { outputs[i] = std::move(value); }
  int outputsWanted() const { return nargout < 1 ? 1 : nargout; }
};

using Body = void (*)(Call&);

// The BuiltinFunction of a body: builds the Call and turns running out of memory into
// "Q:outOfMemory".
void invoke(Body body, int nargout, ArrayPtr* outputs, int nargin, const zyArray* const* inputs);
template <Body body>
void builtin(int nargout, ArrayPtr* outputs, int nargin, const zyArray* const* inputs) {
  invoke(body, nargout, outputs, nargin, inputs);
}

// Each source file adds the built-ins it defines.
void addArithmeticBuiltins(std::vector<BuiltinEntry>& table);
void addShapeBuiltins(std::vector<BuiltinEntry>& table);
void addTypeBuiltins(std::vector<BuiltinEntry>& table);
void addMathBuiltins(std::vector<BuiltinEntry>& table);
void addReductionBuiltins(std::vector<BuiltinEntry>& table);
void addLinearAlgebraBuiltins(std::vector<BuiltinEntry>& table);
void addTextBuiltins(std::vector<BuiltinEntry>& table);
void addFormatBuiltins(std::vector<BuiltinEntry>& table);
void addRegexBuiltins(std::vector<BuiltinEntry>& table);
void addSetBuiltins(std::vector<BuiltinEntry>& table);
void addDataAnalysisBuiltins(std::vector<BuiltinEntry>& table);
void addTextExtraBuiltins(std::vector<BuiltinEntry>& table);
void addJsonBuiltins(std::vector<BuiltinEntry>& table);
void addDateBuiltins(std::vector<BuiltinEntry>& table);
void addSignalBuiltins(std::vector<BuiltinEntry>& table);
void addMatrixMakerBuiltins(std::vector<BuiltinEntry>& table);
void addConversionBuiltins(std::vector<BuiltinEntry>& table);
void addParsingBuiltins(std::vector<BuiltinEntry>& table);

}  // namespace q::ops::detail
