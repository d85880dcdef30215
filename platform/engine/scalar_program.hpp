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
#include <iterator>
#include <memory>
#include <string_view>
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
    ForStart,    // pop stop, step, start; v = start, poll; with no values, decline the run
                 // (in a loop's program: v = empty and continue at b; number 1 marks the
                 // loop's own for, which then runs from the tree)
    ForNext,     // the next round: v = its value, poll, continue at b; after the last, go on
    Call,        // replace the top a values by name(a values)
    Return,      // the result is register a
    // Loop programs only. Array variables are read and written where they are, through a view
    // per variable (its slot a); a subscript that is no whole number within the array, or an
    // array that is not a real double matrix, is left to the tree (see LoopProgram).
    LocalChecked, // push register a, or leave it to the tree when a for loop left it empty
    End,          // push the number of elements (b -1) or rows (b 0) or columns (b 1) of a
    Element,      // pop k; push element k of array variable a
    Element2,     // pop j, i; push element (i, j)
    SetElement,   // pop value, k; element k of array variable a = value (no growth)
    SetElement2,  // pop value, j, i
    CopyArray,    // array variable a = array variable b (a shared copy)
    Not,          // pop x; push x == 0, or leave it to the tree when x is NaN
    Exec,         // run statement a of the program's list the usual way (resume point b)
    Finish,       // the loop is done: back to the statement after it
    Leave,        // `return`: the function returns
    // Value programs only (ValueProgram). Values go on a second stack; a variable register may
    // hold any value. Reads and element reads push the value where it is (no copy); what is
    // stored, put in a cell or returned keeps its own reference.
    LocalValue,   // push the value of register a
    LocalScalar,  // push register a as a number, or give up when it holds no real scalar
    Box,          // pop x; push it as a value
    Unbox,        // pop a value; push it as a number, or give up when it is no real scalar
    StoreValue,   // pop a value into register a
    StoreNumber,  // pop x into register a, which may have held any value
    MakeCell,     // replace the top a values by the 1-by-a cell of them (0-by-0 for a == 0)
    EmptyMatrix,  // push [], the 0-by-0 double
    Brace,        // pop k (c 1: k is the number); push element k of the cell in register a
    CallValue,    // replace the top a values by name(a values); b 1: only tested for truth;
                  // c 1: the result goes to the number stack as Unbox would take it
    CallLocal,    // push name(the value of register a); b and c as CallValue
    CallElement,  // push name(element number of the cell in register a); b and c as CallValue
    ReturnValue,  // the result is the value of register a (b 1: a register of numbers only)
  };
  Op op;
  std::int32_t a = 0;
  double number = 0;
  const Identifier* name = nullptr;  // Call: with the resolution the interpreter remembers
  std::int32_t b = 0, c = 0;         // ForNext
};

// Every instruction in the order of Op, for runners that dispatch through a table of labels
// (value_programs.cpp); kEveryInstruction checks the order.
#define Q_EVERY_INSTRUCTION(X) \
    X(Number) X(Local) X(Store) X(Negate) X(Add) X(AddLocal) X(AddNumber) X(Subtract) \
    X(SubtractLocal) X(SubtractNumber) X(Multiply) X(MultiplyLocal) X(MultiplyNumber) X(Divide) \
    X(DivideLocal) X(DivideNumber) X(StepAdd) X(StepAddNumber) X(StepSubtract) \
    X(StepSubtractNumber) X(StepMultiply) X(StepMultiplyNumber) X(StepDivide) \
    X(StepDivideNumber) X(Less) X(LessLocal) X(LessNumber) X(LessEqual) X(LessEqualLocal) \
    X(LessEqualNumber) X(Greater) X(GreaterLocal) X(GreaterNumber) X(GreaterEqual) \
    X(GreaterEqualLocal) X(GreaterEqualNumber) X(Equal) X(EqualLocal) X(EqualNumber) X(NotEqual) \
    X(NotEqualLocal) X(NotEqualNumber) X(Power) X(Truth) X(JumpIfFalse) X(Jump) X(Poll) \
    X(ForStart) X(ForNext) X(Call) X(Return) X(LocalChecked) X(End) X(Element) X(Element2) \
    X(SetElement) X(SetElement2) X(CopyArray) X(Not) X(Exec) X(Finish) X(Leave) X(LocalValue) \
    X(LocalScalar) X(Box) X(Unbox) X(StoreValue) X(StoreNumber) X(MakeCell) X(EmptyMatrix) \
    X(Brace) X(CallValue) X(CallLocal) X(CallElement) \
    X(ReturnValue)

#define Q_INSTRUCTION_OP(name) ScalarInstruction::Op::name,
constexpr ScalarInstruction::Op kEveryInstruction[] = {Q_EVERY_INSTRUCTION(Q_INSTRUCTION_OP)};
#undef Q_INSTRUCTION_OP
constexpr bool listedInOrder() {
  for (std::size_t i = 0; i < std::size(kEveryInstruction); ++i) {
    if (static_cast<std::size_t>(kEveryInstruction[i]) != i) return false;
  }
  return static_cast<std::size_t>(ScalarInstruction::Op::ReturnValue) + 1 ==
         std::size(kEveryInstruction);
}
static_assert(listedInOrder(), "Q_EVERY_INSTRUCTION must list every Op in order");

struct ScalarProgram {
  static constexpr std::size_t kMaxRegisters = 32;
  static constexpr std::size_t kMaxStack = 16;
  static constexpr std::size_t kMaxInputs = 8;
  std::vector<ScalarInstruction> code;
  std::uint32_t registers = 0;            // the function's variables, then 4 per for loop
  std::vector<std::int32_t> inputSlots;   // the register of each input; -1 for "~"
};

// A function body compiled as a scalar program is, but whose variables may hold any value: made
// of what scalar programs compile and of cells {a, b, ...}, element reads c{k} of variables and
// calls that take and give any value, such as
//
//   function tree = bottomUpTree(depth)     function count = itemCheck(tree)
//   if depth > 0                            if isempty(tree)
//     depth = depth - 1;                      count = 1;
//     tree = {bottomUpTree(depth), ...        else
//             bottomUpTree(depth)};             count = 1 + itemCheck(tree{1}) + ...
//   else                                              itemCheck(tree{2});
//     tree = {};                            end
//   end
//
// It runs (the interpreter's runValueProgram) like a scalar program: no frame and no workspace,
// values never written in place, and the whole call made again the usual way when it meets
// anything it cannot do (arithmetic on what is no real scalar, an element that is not there, a
// call of what has no program or scalar form). Built-ins that answer from an array's shape
// (numel, isempty) take any value; those that answer with a truth only where a condition tests
// it, as a truth is no number. The inputs, and the variables assigned anything but numbers,
// hold any value; the others are numbers.
struct ValueProgram : ScalarProgram {
  std::uint32_t values = 0;  // the registers (variables) that may hold any value, by bit
};

// The built-in constants compiled code calls with no arguments: pi, Inf and NaN (doubles), true
// and false (logical, which only conditions take). False for any other name.
bool builtinConstant(std::string_view name, double& value, bool& logical);

// The program of function, or null when its body is not made only of what compiles. Run after
// the variables are resolved.
std::shared_ptr<const ScalarProgram> compileScalarProgram(const Function& function);

// The value program of function, or null; tried for functions that have no scalar program.
std::shared_ptr<const ValueProgram> compileValueProgram(const Function& function);

// A `while` or `for v = a:s:b` loop of any function compiled on registers and array views, run
// by the interpreter (runLoopProgram) each time the statement is reached:
//
//   while i < j                        for i = 1:r
//     t = perm(i);                       perm1(i) = perm1(i + 1);
//     perm(i) = perm(j);                 if count(i) > 0, break; end
//     perm(j) = t;                     end
//     i = i + 1; j = j - 1;
//   end
//
// Scalar variables live in registers, loaded from their slots when the loop starts (those read
// before the loop assigns them must then hold real scalars, or the loop runs from the tree) and
// written back whenever the tree takes over. Array variables (those indexed in the loop, and
// copies of them) are read and written in place. Compiled are what scalar programs compile, and
// element reads and writes v(k), v(i, j) (with `end` in the subscripts), copies `a = b` of
// array variables, `~x` in conditions, the constants pi, Inf, NaN, true and false, and
// `return`. Any other statement (a call for its output, a display, a field, a switch, ...)
// runs the usual way from inside the program, with the registers written back before and
// read again after; so does a compiled assignment when it meets anything it cannot do (an
// index outside the array, a result leaving the reals, a call without a scalar form): the
// statement then runs the usual way, which does what it always does, errors included. A
// condition or loop header that meets such a thing hands the rest of the loop to the tree from
// that statement on (resume points), as does a scalar variable that stops holding a real
// scalar. Programs have no effect of their own before a statement completes, so what runs
// differs only in speed, and in the line an interrupt inside the loop reports (the loop's). An
// inner for loop over no values leaves its variable empty, as the tree does; reads of it
// outside that loop's body check (LocalChecked).
struct LoopProgram : ScalarProgram {
  static constexpr std::size_t kMaxRegisters = 64;  // variables and for-loop states
  const Statement* loop = nullptr;
  std::vector<std::int32_t> scalars;  // the registers of scalar variables
  std::vector<std::int32_t> arrays;   // the slots of array variables
  std::uint64_t liveIn = 0;           // scalar variables read before the loop assigns them
  std::vector<const Statement*> statements;  // run the usual way by Exec

  // Where the tree goes on when it takes over inside the loop, innermost first.
  struct Frame {
    enum class Kind : std::uint8_t {
      Run,    // the statements of list from index on
      While,  // the while loop goes on with its next round
      For,    // the for loop goes on after the round in its state registers
      Start,  // the loop (this program's) runs the usual way from its start
    };
    Kind kind;
    const StatementList* list = nullptr;
    std::size_t index = 0;
    const Statement* loop = nullptr;
    std::int32_t state = 0;  // For: start, step, count and round, in registers state..state+3
  };
  struct ResumePoint {
    std::size_t begin = 0, end = 0;     // the statement's code
    const Statement* statement = nullptr;
    bool simple = false;                // an assignment or a statement run by Exec
    std::uint64_t required = 0;         // scalar variables that must still hold real scalars
    std::vector<Frame> frames;          // from the statement itself on
  };
  std::vector<ResumePoint> points;
  // The innermost statement whose code holds instruction pc.
  const ResumePoint& pointAt(std::size_t pc) const;
};

// The program of loop (a While or For statement of function), or null when it is no loop over
// a range or too little of it compiles to gain anything. Run after the variables are resolved.
std::shared_ptr<const LoopProgram> compileLoopProgram(const Function& function,
                                                      const Statement& loop);

}  // namespace q::ast
