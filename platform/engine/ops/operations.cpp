// The entry points the interpreter calls for operators, ranges, conditions and `[...]`, the
// function forms of the operators, and the table of pure built-ins.

#include "engine/ops/operations.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/linear_algebra.hpp"
#include "engine/ops/shape.hpp"

namespace q::ops {

using namespace detail;

const char* symbol(BinaryOp op) {
  switch (op) {
    case BinaryOp::Plus:
      return "+";
    case BinaryOp::Minus:
      return "-";
    case BinaryOp::Times:
      return ".*";
    case BinaryOp::RDivide:
      return "./";
    case BinaryOp::LDivide:
      return ".\\";
    case BinaryOp::MTimes:
      return "*";
    case BinaryOp::MRDivide:
      return "/";
    case BinaryOp::MLDivide:
      return "\\";
    case BinaryOp::Power:
      return ".^";
    case BinaryOp::MPower:
      return "^";
    case BinaryOp::Eq:
      return "==";
    case BinaryOp::Ne:
      return "~=";
    case BinaryOp::Lt:
      return "<";
    case BinaryOp::Le:
      return "<=";
    case BinaryOp::Gt:
      return ">";
    case BinaryOp::Ge:
      return ">=";
    case BinaryOp::And:
      return "&";
    case BinaryOp::Or:
      return "|";
  }
  return "?";
}

const char* symbol(UnaryOp op) {
  switch (op) {
    case UnaryOp::Negate:
      return "-";
    case UnaryOp::UPlus:
      return "+";
    case UnaryOp::Not:
      return "~";
    case UnaryOp::CTranspose:
      return "'";
    case UnaryOp::Transpose:
      return ".'";
  }
  return "?";
}

namespace {

Elementwise elementwiseOf(BinaryOp op) {
  switch (op) {
    case BinaryOp::Plus:
      return Elementwise::Plus;
    case BinaryOp::Minus:
      return Elementwise::Minus;
    case BinaryOp::Times:
    case BinaryOp::MTimes:
      return Elementwise::Times;
    case BinaryOp::RDivide:
    case BinaryOp::MRDivide:
      return Elementwise::RDivide;
    case BinaryOp::LDivide:
    case BinaryOp::MLDivide:
      return Elementwise::LDivide;
    case BinaryOp::Power:
    case BinaryOp::MPower:
      return Elementwise::Power;
    case BinaryOp::Eq:
      return Elementwise::Eq;
    case BinaryOp::Ne:
      return Elementwise::Ne;
    case BinaryOp::Lt:
      return Elementwise::Lt;
    case BinaryOp::Le:
      return Elementwise::Le;
    case BinaryOp::Gt:
      return Elementwise::Gt;
    case BinaryOp::Ge:
      return Elementwise::Ge;
    case BinaryOp::And:
      return Elementwise::And;
    case BinaryOp::Or:
      return Elementwise::Or;
  }
  return Elementwise::Plus;
}

bool isScalar(const zyArray* a) { return a->numberOfElements() == 1; }

ArrayPtr dispatch(BinaryOp op, const zyArray* a, const zyArray* b, ArrayPtr* reuseA,
                  ArrayPtr* reuseB) {
  const char* name = symbol(op);
  switch (op) {
    case BinaryOp::MTimes:
      if (isScalar(a) || isScalar(b)) break;
      return matrixProduct(a, b);
    case BinaryOp::MRDivide:
      if (isScalar(b)) break;
      return rightDivide(a, b);
    case BinaryOp::MLDivide:
      if (isScalar(a)) break;
      return leftDivide(a, b);
    case BinaryOp::MPower:
      if (isScalar(a) && isScalar(b)) break;
      return matrixPower(a, b);
    default:
      break;
  }
  return elementwise(elementwiseOf(op), a, b, name, reuseA, reuseB);
}

// Running out of memory inside the standard containers becomes a Q-level error too.
template <typename Body>
auto guarded(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    outOfMemory();
  } catch (const std::length_error&) {
    outOfMemory();
  }
}

ArrayPtr applyUnary(UnaryOp op, const zyArray* a, ArrayPtr* reuse) {
  switch (op) {
    case UnaryOp::Negate:
      return negate(a, reuse);
    case UnaryOp::UPlus:
      return unaryPlus(a);
    case UnaryOp::Not:
      return logicalNot(a);
    case UnaryOp::CTranspose:
      return transposeArray(a, true);
    case UnaryOp::Transpose:
      return transposeArray(a, false);
  }
  return nullptr;
}

}  // namespace

ArrayPtr binary(BinaryOp op, const zyArray* a, const zyArray* b) {
  return guarded([&] { return dispatch(op, a, b, nullptr, nullptr); });
}

ArrayPtr binary(BinaryOp op, ArrayPtr a, ArrayPtr b) {
  return guarded([&] { return dispatch(op, a.get(), b.get(), &a, &b); });
}

ArrayPtr unary(UnaryOp op, const zyArray* a) {
  return guarded([&] { return applyUnary(op, a, nullptr); });
}

ArrayPtr unary(UnaryOp op, ArrayPtr a) {
  return guarded([&] { return applyUnary(op, a.get(), &a); });
}

ArrayPtr range(const zyArray* start, const zyArray* step, const zyArray* stop) {
  return guarded([&] { return rangeArray(start, step, stop); });
}

bool chainable(const zyArray* a) { return detail::chainable(a); }

ArrayPtr scalarChain(ArrayPtr a, const ScalarStep* steps, size_t count) {
  return guarded([&] { return detail::scalarChain(std::move(a), steps, count); });
}

bool isTrue(const zyArray* value) {
  const zyClassID cls = value->classId();
  if (!isArithmeticClass(cls)) {
    raise("Q:invalidConversion",
          "Conversion to logical from " + className(cls) + " is not possible.");
  }
  const size_t n = value->numberOfElements();
  if (n == 0) return false;
  if (value->isSparse()) {
    const size_t stored = zyGetNumberOfNonzeros(value);
    if (stored != n) return false;  // an element not stored is zero
    FullArray full(value);
    return isTrue(full.get());
  }
  if (cls == zyLOGICAL_CLASS) {
    const auto* bytes = constData<zyLogical>(value);
    return std::all_of(bytes, bytes + n, [](zyLogical b) { return b != 0; });
  }
  checkNoNaN(value);
  DoubleValues re(value), im(value, true);
  for (size_t i = 0; i < n; ++i) {
    if (re[i] == 0 && im[i] == 0) return false;
  }
  return true;
}

ArrayPtr concatenate(const std::vector<ConcatenationRow>& rows) {
  return guarded([&] {
    std::vector<ArrayPtr> rowResults;
    std::vector<const zyArray*> rowPointers;
    for (const ConcatenationRow& row : rows) {
      rowResults.push_back(concatenateArrays(1, row));
      rowPointers.push_back(rowResults.back().get());
    }
    if (rowPointers.size() == 1) return std::move(rowResults[0]);
    return concatenateArrays(0, rowPointers);
  });
}

ArrayPtr concatenate(size_t dimension, const std::vector<const zyArray*>& operands) {
  return guarded([&] { return concatenateArrays(dimension, operands); });
}

bool scalarBinary(BinaryOp op, double a, double b, ScalarResult& result) {
  result.isLogical = false;
  switch (op) {
    case BinaryOp::Plus:
      result.value = a + b;
      return true;
    case BinaryOp::Minus:
      result.value = a - b;
      return true;
    case BinaryOp::Times:
    case BinaryOp::MTimes:
      result.value = a * b;
      return true;
    case BinaryOp::RDivide:
    case BinaryOp::MRDivide:
      result.value = a / b;
      return true;
    case BinaryOp::LDivide:
    case BinaryOp::MLDivide:
      result.value = b / a;
      return true;
    case BinaryOp::Power:
    case BinaryOp::MPower:
      if (a < 0 && b != std::floor(b) && !std::isnan(b)) return false;  // complex
      result.value = b == 2 ? a * a : std::pow(a, b);
      return true;
    default:
      break;
  }
  result.isLogical = true;
  switch (op) {
    case BinaryOp::Eq:
      result.value = a == b;
      return true;
    case BinaryOp::Ne:
      result.value = a != b;
      return true;
    case BinaryOp::Lt:
      result.value = a < b;
      return true;
    case BinaryOp::Le:
      result.value = a <= b;
      return true;
    case BinaryOp::Gt:
      result.value = a > b;
      return true;
    case BinaryOp::Ge:
      result.value = a >= b;
      return true;
    default:
      break;
  }
  if (std::isnan(a) || std::isnan(b)) {
    raise("Q:NaNToLogical", "NaN values cannot be converted to logical.");
  }
  result.value = op == BinaryOp::And ? (a != 0 && b != 0) : (a != 0 || b != 0);
  return true;
}

namespace detail {
namespace {

template <BinaryOp op>
void binaryBuiltin(Call& call) {
  call.check(2, 2, 1);
  call.out(0, dispatch(op, call.in(0), call.in(1), nullptr, nullptr));
}

template <UnaryOp op>
void unaryBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, applyUnary(op, call.in(0), nullptr));
}

void xorBuiltin(Call& call) {
  call.check(2, 2, 1);
  call.out(0, elementwise(Elementwise::Xor, call.in(0), call.in(1), "xor"));
}

void colonBuiltin(Call& call) {
  call.check(2, 3, 1);
  if (call.nargin == 2) {
    call.out(0, rangeArray(call.in(0), nullptr, call.in(1)));
  } else {
    call.out(0, rangeArray(call.in(0), call.in(1), call.in(2)));
  }
}

}  // namespace

void addArithmeticBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"and", builtin<binaryBuiltin<BinaryOp::And>>});
  table.push_back({"colon", builtin<colonBuiltin>});
  table.push_back({"ctranspose", builtin<unaryBuiltin<UnaryOp::CTranspose>>});
  table.push_back({"eq", builtin<binaryBuiltin<BinaryOp::Eq>>});
  table.push_back({"ge", builtin<binaryBuiltin<BinaryOp::Ge>>});
  table.push_back({"gt", builtin<binaryBuiltin<BinaryOp::Gt>>});
  table.push_back({"ldivide", builtin<binaryBuiltin<BinaryOp::LDivide>>});
  table.push_back({"le", builtin<binaryBuiltin<BinaryOp::Le>>});
  table.push_back({"lt", builtin<binaryBuiltin<BinaryOp::Lt>>});
  table.push_back({"minus", builtin<binaryBuiltin<BinaryOp::Minus>>});
  table.push_back({"mldivide", builtin<binaryBuiltin<BinaryOp::MLDivide>>});
  table.push_back({"mpower", builtin<binaryBuiltin<BinaryOp::MPower>>});
  table.push_back({"mrdivide", builtin<binaryBuiltin<BinaryOp::MRDivide>>});
  table.push_back({"mtimes", builtin<binaryBuiltin<BinaryOp::MTimes>>});
  table.push_back({"ne", builtin<binaryBuiltin<BinaryOp::Ne>>});
  table.push_back({"not", builtin<unaryBuiltin<UnaryOp::Not>>});
  table.push_back({"or", builtin<binaryBuiltin<BinaryOp::Or>>});
  table.push_back({"plus", builtin<binaryBuiltin<BinaryOp::Plus>>});
  table.push_back({"power", builtin<binaryBuiltin<BinaryOp::Power>>});
  table.push_back({"rdivide", builtin<binaryBuiltin<BinaryOp::RDivide>>});
  table.push_back({"times", builtin<binaryBuiltin<BinaryOp::Times>>});
  table.push_back({"transpose", builtin<unaryBuiltin<UnaryOp::Transpose>>});
  table.push_back({"uminus", builtin<unaryBuiltin<UnaryOp::Negate>>});
  table.push_back({"uplus", builtin<unaryBuiltin<UnaryOp::UPlus>>});
  table.push_back({"xor", builtin<xorBuiltin>});
}

}  // namespace detail
}  // namespace q::ops

namespace q {

const std::vector<BuiltinEntry>& pureBuiltins() {
  static const std::vector<BuiltinEntry> table = [] {
    std::vector<BuiltinEntry> entries;
    ops::detail::addArithmeticBuiltins(entries);
    ops::detail::addShapeBuiltins(entries);
    ops::detail::addTypeBuiltins(entries);
    ops::detail::addMathBuiltins(entries);
    ops::detail::addReductionBuiltins(entries);
    ops::detail::addLinearAlgebraBuiltins(entries);
    ops::detail::addTextBuiltins(entries);
    ops::detail::addFormatBuiltins(entries);
    ops::detail::addRegexBuiltins(entries);
    ops::detail::addSetBuiltins(entries);
    ops::detail::addDataAnalysisBuiltins(entries);
    ops::detail::addTextExtraBuiltins(entries);
    ops::detail::addJsonBuiltins(entries);
    ops::detail::addDateBuiltins(entries);
    ops::detail::addSignalBuiltins(entries);
    ops::detail::addMatrixMakerBuiltins(entries);
    ops::detail::addConversionBuiltins(entries);
    ops::detail::addParsingBuiltins(entries);
    std::sort(entries.begin(), entries.end(), [](const BuiltinEntry& a, const BuiltinEntry& b) {
      return std::strcmp(a.name, b.name) < 0;
    });
    return entries;
  }();
  return table;
}

}  // namespace q
