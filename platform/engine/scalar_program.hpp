#pragma once
// A function body compiled for real scalars: straight code on a register per variable and a small
// stack of doubles, for functions made only of scalar arithmetic, conditions and calls, such as
//
//   function r = fib(n)                    function v = a(i, j)
//   if n < 2, r = n;                       ij = i + j - 2;
//   else, r = fib(n - 1) + fib(n - 2);     v = 1 / (ij * (ij + 1) / 2 + i);
//   end
//
// A call of such a function whose arguments are all real scalars runs the program (the
// interpreter's runScalarProgram) instead of the tree: no frame, no values, and calls of other
// such functions (or of itself) go straight to their programs. The program only computes: it has
// no side effects, so when it meets anything it cannot do (an operand that would leave the reals,
// a name that does not resolve to such a function or to a built-in with a scalar form, a NaN
// condition, deep recursion) the whole call is made again the usual way, which then behaves
// exactly as it always does (results, errors, error stacks). Only an interrupt or budget stop
// raised while a program runs differs: its error stack ends at the call that started it.
//
// What compiles: assignments `x = e` (no display) to variables, `if`/`elseif`/`else`, `while`
// and `for v = a:b` / `a:s:b` with `break` and `continue`, `return`, with e made of real
// numbers, variables, unary minus, + - * / .* ./ ^ .^ and calls f(a, ...) of names that are not
// variables; conditions are comparisons of such expressions, && and || of conditions, or such an
// expression (true when non-zero). Every variable read must have been assigned on every path
// before (inputs are), and so must the first output at every exit. A for loop over no values
// leaves its variable empty, which no register holds: such a call goes the usual way. The rest
// of the language (indexing, strings, other statements) is left to the tree.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/ast.hpp"

namespace q::ast {

struct ScalarInstruction {
  enum class Op : std::uint8_t {
    Number,      // push number
    Local,       // push register a
    Store,       // pop into register a
    Negate,
    // Binary operations: pop b, a; push a op b. Each comes three times: b from the stack, from
    // register a (...Local) or the number (...Number), in that order.
    Add, AddLocal, AddNumber,
    Subtract, SubtractLocal, SubtractNumber,
    Multiply, MultiplyLocal, MultiplyNumber,
    Divide, DivideLocal, DivideNumber,
    // x = y op z in one: register a = register b op (register c, or the number).
    StepAdd, StepAddNumber,
    StepSubtract, StepSubtractNumber,
    StepMultiply, StepMultiplyNumber,
    StepDivide, StepDivideNumber,
    // Comparisons give 1 or 0.
    Less, LessLocal, LessNumber,
    LessEqual, LessEqualLocal, LessEqualNumber,
    Greater, GreaterLocal, GreaterNumber,
    GreaterEqual, GreaterEqualLocal, GreaterEqualNumber,
    Equal, EqualLocal, EqualNumber,
    NotEqual, NotEqualLocal, NotEqualNumber,
    Power,       // a ^ b, or give up when that is not real
    Truth,       // pop x; push x != 0, or give up when x is NaN
    JumpIfFalse, // pop x; continue at instruction a when x == 0
    Jump,        // continue at instruction a
    Poll,        // a loop goes round: the interpreter's poll (interrupts, budgets, step limit)
    // for v = start:step:stop over registers a (first), a+1 (step), a+2 (count), a+3 (round),
    // v in register c:
    ForStart,    // pop stop, step, start; v = start, poll; decline the run when no values
    ForNext,     // the next round: v = its value, poll, continue at b; after the last, go on
    Call,        // replace the top a values by name(a values)
    Return,      // the result is register a
  };
  Op op;
  std::int32_t a = 0;
  double number = 0;
  const Identifier* name = nullptr;  // Call: with the resolution the interpreter remembers
  std::int32_t b = 0, c = 0;         // ForNext
};

struct ScalarProgram {
  static constexpr std::size_t kMaxRegisters = 32;
  static constexpr std::size_t kMaxStack = 16;
  static constexpr std::size_t kMaxInputs = 8;
  std::vector<ScalarInstruction> code;
  std::uint32_t registers = 0;            // the function's variables, then 4 per for loop
  std::vector<std::int32_t> inputSlots;   // the register of each input; -1 for "~"
};

// The program of function, or null when its body is not made only of what compiles. Run after
// the variables are resolved.
std::shared_ptr<const ScalarProgram> compileScalarProgram(const Function& function);

}  // namespace q::ast
