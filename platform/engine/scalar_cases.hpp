#pragma once
// The instructions that compiled scalar functions (calls.cpp), value programs
// (value_programs.cpp) and compiled loops (loop_programs.cpp) run alike: numbers, registers,
// arithmetic, comparisons, steps, jumps and the rounds of for loops.
// Each runner writes Q_SCALAR_CASES(STORED) inside its switch over instruction.op, with
// `registers`, `stack`, `top` and `instruction` in scope (and `next`, the index of the next
// instruction, unless the runner defines its own Q_JUMP); STORED(r) follows every store into
// register r (a loop marks the register to be written back to its variable).

#include <cstddef>

namespace q {

// The four registers of a for loop's rounds over start:step:stop (range[0..2]) with count values:
// start, step, count and the round.
inline void startRounds(double* state, const double* range, std::size_t count) {
  state[0] = range[0];
  state[1] = range[1];
  state[2] = static_cast<double>(count);
  state[3] = 0;
}

// k as a 0-based index below count: false unless it is a whole number from 1 to count.
inline bool position(double k, std::size_t count, std::size_t& index) {
  if (!(k >= 1 && k <= static_cast<double>(count))) return false;
  index = static_cast<std::size_t>(k);
  if (static_cast<double>(index) != k) return false;
  --index;
  return true;
}

}  // namespace q

// How a runner's cases begin and end: a case label, and break to the runner's dispatch; and how
// a case goes on at instruction `target` instead. A runner that dispatches through a table of
// labels defines its own before it expands the cases below.
#define Q_CASE(name) case Op::name
#define Q_NEXT break
#define Q_JUMP(target)                       \
  {                                          \
    next = static_cast<std::size_t>(target); \
    break;                                   \
  }

// Each runner's switch names every instruction and has an unreachable default, which spares
// the bounds check of every dispatch; these around a runner make a switch that misses an
// instruction a compile error.
#define Q_EVERY_INSTRUCTION_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic error \"-Wswitch-enum\"")
#define Q_EVERY_INSTRUCTION_END _Pragma("GCC diagnostic pop")

// The instructions only loop programs run, and those only value programs run: a runner names
// the ones that are not its own with these.
#define Q_LOOP_ONLY_CASES \
  Q_CASE(LocalChecked):   \
  Q_CASE(End):            \
  Q_CASE(Element):        \
  Q_CASE(Element2):       \
  Q_CASE(SetElement):     \
  Q_CASE(SetElement2):    \
  Q_CASE(CopyArray):      \
  Q_CASE(Exec):           \
  Q_CASE(Finish):         \
  Q_CASE(Leave):
#define Q_VALUE_ONLY_CASES \
  Q_CASE(LocalValue):      \
  Q_CASE(LocalScalar):     \
  Q_CASE(Box):             \
  Q_CASE(Unbox):           \
  Q_CASE(StoreValue):      \
  Q_CASE(StoreNumber):     \
  Q_CASE(MakeCell):        \
  Q_CASE(EmptyMatrix):     \
  Q_CASE(Brace):           \
  Q_CASE(CallValue):       \
  Q_CASE(CallLocal):       \
  Q_CASE(CallElement):     \
  Q_CASE(ReturnValue):

#define Q_SCALAR_BINARY(Operation, expression) \
  Q_CASE(Operation): {                         \
    const double b = stack[--top];             \
    double& a = stack[top - 1];                \
    a = expression;                            \
    Q_NEXT;                                    \
  }                                            \
  Q_CASE(Operation##Local): {                  \
    const double b = registers[instruction.a]; \
    double& a = stack[top - 1];                \
    a = expression;                            \
    Q_NEXT;                                    \
  }                                            \
  Q_CASE(Operation##Number): {                 \
    const double b = instruction.number;       \
    double& a = stack[top - 1];                \
    a = expression;                            \
    Q_NEXT;                                    \
  }

#define Q_SCALAR_STEP(Operation, symbol, STORED)                                         \
  Q_CASE(Step##Operation):                                                               \
    registers[instruction.a] = registers[instruction.b] symbol registers[instruction.c]; \
    STORED(instruction.a);                                                               \
    Q_NEXT;                                                                              \
  Q_CASE(Step##Operation##Number):                                                       \
    registers[instruction.a] = registers[instruction.b] symbol instruction.number;       \
    STORED(instruction.a);                                                               \
    Q_NEXT;

#define Q_SCALAR_CASES(STORED)                                             \
  Q_CASE(Number):                                                          \
    stack[top++] = instruction.number;                                     \
    Q_NEXT;                                                                \
  Q_CASE(Local):                                                           \
    stack[top++] = registers[instruction.a];                               \
    Q_NEXT;                                                                \
  Q_CASE(Store):                                                           \
    registers[instruction.a] = stack[--top];                               \
    STORED(instruction.a);                                                 \
    Q_NEXT;                                                                \
  Q_CASE(Negate):                                                          \
    stack[top - 1] = -stack[top - 1];                                      \
    Q_NEXT;                                                                \
    Q_SCALAR_BINARY(Add, a + b)                                            \
    Q_SCALAR_BINARY(Subtract, a - b)                                       \
    Q_SCALAR_BINARY(Multiply, a * b)                                       \
    Q_SCALAR_BINARY(Divide, a / b)                                         \
    Q_SCALAR_STEP(Add, +, STORED)                                          \
    Q_SCALAR_STEP(Subtract, -, STORED)                                     \
    Q_SCALAR_STEP(Multiply, *, STORED)                                     \
    Q_SCALAR_STEP(Divide, /, STORED)                                       \
    Q_SCALAR_BINARY(Less, a < b ? 1.0 : 0.0)                               \
    Q_SCALAR_BINARY(LessEqual, a <= b ? 1.0 : 0.0)                         \
    Q_SCALAR_BINARY(Greater, a > b ? 1.0 : 0.0)                            \
    Q_SCALAR_BINARY(GreaterEqual, a >= b ? 1.0 : 0.0)                      \
    Q_SCALAR_BINARY(Equal, a == b ? 1.0 : 0.0)                             \
    Q_SCALAR_BINARY(NotEqual, a != b ? 1.0 : 0.0)                          \
  Q_CASE(JumpIfFalse):                                                     \
    if (stack[--top] == 0) Q_JUMP(instruction.a);                          \
    Q_NEXT;                                                                \
  Q_CASE(Jump):                                                            \
    Q_JUMP(instruction.a);                                                 \
  Q_CASE(Poll):                                                            \
    poll();                                                                \
    Q_NEXT;                                                                \
  Q_CASE(ForNext): {                                                       \
    double* state = &registers[instruction.a];                             \
    state[3] += 1;                                                         \
    if (state[3] < state[2]) {                                             \
      poll();                                                              \
      registers[instruction.c] = state[0] + state[3] * state[1];           \
      STORED(instruction.c);                                               \
      Q_JUMP(instruction.b);                                               \
    }                                                                      \
    Q_NEXT;                                                                \
  }

// The instructions that the runners of whole functions (scalar and value programs) run alike,
// where a loop would hand over to the tree instead: a power that leaves the reals or a NaN
// condition gives up the run, a for loop over no values or a bad range declines it, and a call
// goes to a scalar form or a scalar program. Also in scope: `nested`, and ScalarRun.
#define Q_FUNCTION_CASES                                                              \
  Q_CASE(Power): {                                                                    \
    const double b = stack[--top];                                                    \
    ops::ScalarResult power;                                                          \
    if (!ops::scalarBinary(ops::BinaryOp::Power, stack[top - 1], b, power)) {         \
      return ScalarRun::GaveUp; /* not real */                                        \
    }                                                                                 \
    stack[top - 1] = power.value;                                                     \
    Q_NEXT;                                                                           \
  }                                                                                   \
  Q_CASE(ForStart): {                                                                 \
    double* state = &registers[instruction.a];                                        \
    top -= 3;                                                                         \
    std::size_t count;                                                                \
    try {                                                                             \
      count = rangeCount(stack[top], stack[top + 1], stack[top + 2]);                 \
    } catch (const std::exception&) {                                                 \
      return ScalarRun::Declined; /* the usual way raises it */                       \
    }                                                                                 \
    if (count == 0) return ScalarRun::Declined; /* the variable: empty */             \
    startRounds(state, &stack[top], count);                                           \
    poll();                                                                           \
    registers[instruction.c] = state[0];                                              \
    Q_NEXT;                                                                           \
  }                                                                                   \
  Q_CASE(Truth):                                                                      \
    if (std::isnan(stack[top - 1])) return ScalarRun::GaveUp;                         \
    stack[top - 1] = stack[top - 1] != 0 ? 1.0 : 0.0;                                 \
    Q_NEXT;                                                                           \
  Q_CASE(Call): {                                                                     \
    top -= static_cast<std::size_t>(instruction.a);                                   \
    const ScalarRun run =                                                             \
        callFromScalarProgram(*instruction.name, instruction.a, &stack[top], nested); \
    if (run != ScalarRun::Done) return run;                                           \
    ++top;                                                                            \
    Q_NEXT;                                                                           \
  }
