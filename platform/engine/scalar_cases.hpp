#pragma once
// The instructions that compiled scalar functions (calls.cpp), value programs
// (value_programs.cpp) and compiled loops (loop_programs.cpp) run alike: numbers, registers,
// arithmetic, comparisons, steps, jumps and the rounds of for loops.
// Each runner writes Q_SCALAR_CASES(STORED) inside its switch over instruction.op, with
// `registers`, `stack`, `top`, `next` and `instruction` in scope; STORED(r) follows every store
// into register r (a loop marks the register to be written back to its variable).

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

// Each runner's switch names every instruction and has an unreachable default, which spares
// the bounds check of every dispatch; these around a runner make a switch that misses an
// instruction a compile error.
#define Q_EVERY_INSTRUCTION_BEGIN \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic error \"-Wswitch-enum\"")
#define Q_EVERY_INSTRUCTION_END _Pragma("GCC diagnostic pop")

// The instructions only loop programs run, and those only value programs run: a runner names
// the ones that are not its own with these.
#define Q_LOOP_ONLY_CASES \
  case Op::LocalChecked:  \
  case Op::End:           \
  case Op::Element:       \
  case Op::Element2:      \
  case Op::SetElement:    \
  case Op::SetElement2:   \
  case Op::CopyArray:     \
  case Op::Exec:          \
  case Op::Finish:        \
  case Op::Leave:
#define Q_VALUE_ONLY_CASES \
  case Op::LocalValue:     \
  case Op::LocalScalar:    \
  case Op::Box:            \
  case Op::Unbox:          \
  case Op::StoreValue:     \
  case Op::StoreNumber:    \
  case Op::MakeCell:       \
  case Op::EmptyMatrix:    \
  case Op::Brace:          \
  case Op::CallValue:      \
  case Op::ReturnValue:

#define Q_SCALAR_BINARY(Operation, expression) \
  case Op::Operation: {                        \
    const double b = stack[--top];             \
    double& a = stack[top - 1];                \
    a = expression;                            \
    break;                                     \
  }                                            \
  case Op::Operation##Local: {                 \
    const double b = registers[instruction.a]; \
    double& a = stack[top - 1];                \
    a = expression;                            \
    break;                                     \
  }                                            \
  case Op::Operation##Number: {                \
    const double b = instruction.number;       \
    double& a = stack[top - 1];                \
    a = expression;                            \
    break;                                     \
  }

#define Q_SCALAR_STEP(Operation, symbol, STORED)                                          \
  case Op::Step##Operation:                                                               \
    registers[instruction.a] = registers[instruction.b] symbol registers[instruction.c];  \
    STORED(instruction.a);                                                                \
    break;                                                                                \
  case Op::Step##Operation##Number:                                                       \
    registers[instruction.a] = registers[instruction.b] symbol instruction.number;        \
    STORED(instruction.a);                                                                \
    break;

#define Q_SCALAR_CASES(STORED)                                \
  case Op::Number:                                            \
    stack[top++] = instruction.number;                        \
    break;                                                    \
  case Op::Local:                                             \
    stack[top++] = registers[instruction.a];                  \
    break;                                                    \
  case Op::Store:                                             \
    registers[instruction.a] = stack[--top];                  \
    STORED(instruction.a);                                    \
    break;                                                    \
  case Op::Negate:                                            \
    stack[top - 1] = -stack[top - 1];                         \
    break;                                                    \
    Q_SCALAR_BINARY(Add, a + b)                               \
    Q_SCALAR_BINARY(Subtract, a - b)                          \
    Q_SCALAR_BINARY(Multiply, a * b)                          \
    Q_SCALAR_BINARY(Divide, a / b)                            \
    Q_SCALAR_STEP(Add, +, STORED)                             \
    Q_SCALAR_STEP(Subtract, -, STORED)                        \
    Q_SCALAR_STEP(Multiply, *, STORED)                        \
    Q_SCALAR_STEP(Divide, /, STORED)                          \
    Q_SCALAR_BINARY(Less, a < b ? 1.0 : 0.0)                  \
    Q_SCALAR_BINARY(LessEqual, a <= b ? 1.0 : 0.0)            \
    Q_SCALAR_BINARY(Greater, a > b ? 1.0 : 0.0)               \
    Q_SCALAR_BINARY(GreaterEqual, a >= b ? 1.0 : 0.0)         \
    Q_SCALAR_BINARY(Equal, a == b ? 1.0 : 0.0)                \
    Q_SCALAR_BINARY(NotEqual, a != b ? 1.0 : 0.0)             \
  case Op::JumpIfFalse:                                       \
    if (stack[--top] == 0) next = static_cast<std::size_t>(instruction.a); \
    break;                                                    \
  case Op::Jump:                                              \
    next = static_cast<std::size_t>(instruction.a);           \
    break;                                                    \
  case Op::Poll:                                              \
    poll();                                                   \
    break;                                                    \
  case Op::ForNext: {                                         \
    double* state = &registers[instruction.a];                \
    state[3] += 1;                                            \
    if (state[3] < state[2]) {                                \
      poll();                                                 \
      registers[instruction.c] = state[0] + state[3] * state[1]; \
      STORED(instruction.c);                                  \
      next = static_cast<std::size_t>(instruction.b);         \
    }                                                         \
    break;                                                    \
  }

// The instructions that the runners of whole functions (scalar and value programs) run alike,
// where a loop would hand over to the tree instead: a power that leaves the reals or a NaN
// condition gives up the run, a for loop over no values or a bad range declines it, and a call
// goes to a scalar form or a scalar program. Also in scope: `nested`, and ScalarRun.
#define Q_FUNCTION_CASES                                                      \
  case Op::Power: {                                                           \
    const double b = stack[--top];                                            \
    ops::ScalarResult power;                                                  \
    if (!ops::scalarBinary(ops::BinaryOp::Power, stack[top - 1], b, power)) { \
      return ScalarRun::GaveUp; /* not real */                                \
    }                                                                         \
    stack[top - 1] = power.value;                                             \
    break;                                                                    \
  }                                                                           \
  case Op::ForStart: {                                                        \
    double* state = &registers[instruction.a];                                \
    top -= 3;                                                                 \
    std::size_t count;                                                        \
    try {                                                                     \
      count = rangeCount(stack[top], stack[top + 1], stack[top + 2]);         \
    } catch (const std::exception&) {                                         \
      return ScalarRun::Declined; /* the usual way raises it */               \
    }                                                                         \
    if (count == 0) return ScalarRun::Declined; /* the variable: empty */     \
    startRounds(state, &stack[top], count);                                   \
    poll();                                                                   \
    registers[instruction.c] = state[0];                                      \
    break;                                                                    \
  }                                                                           \
  case Op::Truth:                                                             \
    if (std::isnan(stack[top - 1])) return ScalarRun::GaveUp;                 \
    stack[top - 1] = stack[top - 1] != 0 ? 1.0 : 0.0;                         \
    break;                                                                    \
  case Op::Call: {                                                            \
    top -= static_cast<std::size_t>(instruction.a);                           \
    const ScalarRun run =                                                     \
        callFromScalarProgram(*instruction.name, instruction.a, &stack[top], nested); \
    if (run != ScalarRun::Done) return run;                                   \
    ++top;                                                                    \
    break;                                                                    \
  }
