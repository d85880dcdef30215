#pragma once
// The array operations the Q-code interpreter computes with: every operator, the colon range,
// the truth rule of `if` and `while`, the `[...]` literal, and the table of pure built-in
// functions. Everything here works on libzy arrays and raises Q-level errors by throwing
// zy::ScriptError (identifier and message; docs/engine-operations.md lists the identifiers).
// Running out of memory is reported the same way, as "Q:outOfMemory".
//
// Ownership: inputs are borrowed (never null, never modified; they may share data with
// variables). Every returned ArrayPtr is a new array owned by the caller. Functions that take
// ArrayPtr by value consume it and may reuse its data block for the result.
// Nothing here keeps state between calls or takes a lock; arrays follow libzy's threading rules.

#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"

namespace q {

using ArrayPtr = matrix::unique_array;  // owning

// A built-in: reads nargin inputs (never null, never modified, may share data with variables),
// writes outputs[0 .. max(nargout,1)-1] (an output left null means "not produced"; the
// interpreter raises "Q:TooManyOutputs" when it needs one). Errors: throw zy::ScriptError.
using BuiltinFunction = void (*)(int nargout, ArrayPtr* outputs, int nargin,
                                 const zyArray* const* inputs);
// The same function of one real double scalar, for the interpreter's scalar arithmetic: false
// when the result would not be a real double (sqrt of a negative number), out untouched then.
using ScalarFunction = bool (*)(double x, double& out);
// The same for a function of two real double scalars.
using ScalarFunction2 = bool (*)(double x, double y, double& out);
// A function of one array that looks only at its shape and answers with a number (numel) or a
// truth (isempty, 1 for true): the answer without making an array, for conditions and scalar
// arithmetic. Never raises.
using ShapeQuery = double (*)(const zyArray* a);
struct BuiltinEntry {
  const char* name;
  BuiltinFunction function;
  ScalarFunction scalar = nullptr;  // only for functions of one argument
  ShapeQuery query = nullptr;       // only for functions of one argument
  bool logicalQuery = false;        // the function's answer is logical, not double
  ScalarFunction2 scalar2 = nullptr;  // only for functions of two arguments
};

// Every pure built-in, sorted by name (strcmp order). The table is built on first use and lives
// until the process ends; the names are string literals.
const std::vector<BuiltinEntry>& pureBuiltins();

}  // namespace q

namespace q::ops {

// Binary operators: Plus `+`, Minus `-`, Times `.*`, RDivide `./`, LDivide `.\`, MTimes `*`,
// MRDivide `/`, MLDivide `\`, Power `.^`, MPower `^`, the comparisons `== ~= < <= > >=` and
// the element-wise logical `&` `|`.
enum class BinaryOp {
  Plus,
  Minus,
  Times,
  RDivide,
  LDivide,
  MTimes,
  MRDivide,
  MLDivide,
  Power,
  MPower,
  Eq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  And,
  Or,
};

// Unary operators: Negate `-x`, UPlus `+x`, Not `~x`, CTranspose `x'`, Transpose `x.'`.
enum class UnaryOp { Negate, UPlus, Not, CTranspose, Transpose };

// The operator as written in Q-code ("+", ".*", "~=", ...), for messages.
const char* symbol(BinaryOp op);
const char* symbol(UnaryOp op);

// a op b. Element-wise operators expand dimensions of size 1 against the other operand's size
// (N-d); the class rules and errors are those of docs/engine-operations.md.
ArrayPtr binary(BinaryOp op, const zyArray* a, const zyArray* b);
// The same, consuming both operands: when one of them is a temporary whose data nobody else
// shares and that has the result's class and shape, its block receives the result, which saves
// an allocation and a pass over fresh memory (as in `2*x + 1`).
ArrayPtr binary(BinaryOp op, ArrayPtr a, ArrayPtr b);

ArrayPtr unary(UnaryOp op, const zyArray* a);
ArrayPtr unary(UnaryOp op, ArrayPtr a);  // consuming, as for binary

// start:stop (step null) or start:step:stop, a row vector.
ArrayPtr range(const zyArray* start, const zyArray* step, const zyArray* stop);

// The rule of `if` and `while`: non-empty and every element non-zero. Raises "Q:NaNToLogical"
// for NaN and "Q:invalidConversion" for cells, structs and other non-numeric values.
bool isTrue(const zyArray* value);

// The `[...]` literal: each row is concatenated horizontally, then the rows vertically. 0-by-0
// double operands are skipped; other empty operands take part in choosing the class.
using ConcatenationRow = std::vector<const zyArray*>;
ArrayPtr concatenate(const std::vector<ConcatenationRow>& rows);
// horzcat / vertcat / cat along a zero-based dimension.
ArrayPtr concatenate(size_t dimension, const std::vector<const zyArray*>& operands);

// A run of element-wise steps, each combining the array so far with a real double scalar, done
// in one pass over the elements (blocks of a few thousand, each step a vectorised loop over the
// block) instead of one pass and one temporary per operator: `2*x + 1`, `(x - m) / s`.
// Each element is computed exactly as the operators one after the other compute it.
enum class ScalarStepOp : unsigned char { Plus, Minus, Times, Divide };
struct ScalarStep {
  ScalarStepOp op;
  bool scalarFirst;  // scalar op array (else array op scalar)
  double scalar;
};
// Whether an array can go through scalarChain: real, full and double.
bool chainable(const zyArray* a);
// Applies the steps to a chainable array; a's block receives the result when nobody else
// shares it.
ArrayPtr scalarChain(ArrayPtr a, const ScalarStep* steps, size_t count);

// Real double scalars, which the interpreter keeps unboxed: op on two of them when the result
// is a real double scalar (isLogical false) or a logical scalar (isLogical true). Returns false
// when the result is none of these (a complex power such as (-8)^(1/3)), leaving it to binary().
// Raises "Q:NaNToLogical" for & and | with NaN.
struct ScalarResult {
  double value = 0;
  bool isLogical = false;
};
bool scalarBinary(BinaryOp op, double a, double b, ScalarResult& result);

}  // namespace q::ops
