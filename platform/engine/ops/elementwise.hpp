#pragma once
// Element-wise operations of two arrays with implicit expansion: the arithmetic and comparison
// operators and the two-argument functions built on the same loops (atan2, hypot, mod, rem,
// min, max, xor).

#include "engine/ops/support.hpp"

namespace q::ops::detail {

enum class Elementwise {
  Plus,
  Minus,
  Times,
  RDivide,
  LDivide,
  Power,
  Eq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  And,
  Or,
  Xor,
  Atan2,
  Hypot,
  Mod,
  Rem,
  Min,
  Max,
};

// a op b of two real doubles, exactly as the element-wise loops compute it; for Atan2, Hypot, Mod
// and Rem, whose results are always real.
double scalarElementwise(Elementwise op, double a, double b);

// The shape of a op b: each dimension equal, or 1 against any size. Raises "Q:sizeMismatch".
Dims expandedDims(const zyArray* a, const zyArray* b);

// a op b. name is the operator or function name used in messages. reuseA/reuseB, when not
// null, are owned temporaries (a == reuseA) whose block may receive the result; the returned
// array is then that temporary, released from its handle.
ArrayPtr elementwise(Elementwise op, const zyArray* a, const zyArray* b, const char* name,
                     ArrayPtr* reuseA = nullptr, ArrayPtr* reuseB = nullptr);

// See ops::scalarChain.
bool chainable(const zyArray* a);
ArrayPtr scalarChain(ArrayPtr a, const ScalarStep* steps, size_t count);

// -a, +a and ~a.
ArrayPtr negate(const zyArray* a, ArrayPtr* reuse = nullptr);
ArrayPtr unaryPlus(const zyArray* a);
ArrayPtr logicalNot(const zyArray* a);

// The class of an arithmetic result of a and b: an integer class wins (two different integer
// classes raise "Q:mixedIntegerClasses"), then single, else double; logical and char count as
// double. Non-arithmetic classes raise "Q:undefinedOperator" (or "Q:undefinedFunction" when
// name is a function name).
zyClassID arithmeticClass(const zyArray* a, const zyArray* b, const char* name);
[[noreturn]] void notDefined(const char* name, zyClassID classId);

// Raises "Q:NaNToLogical" when a value that must become logical is NaN.
void checkNoNaN(const zyArray* full);

}  // namespace q::ops::detail
