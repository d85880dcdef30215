// Running compiled loops (ast::LoopProgram): registers for the scalar variables, views of the
// array variables, and the hand-over to the tree.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "engine/dispatcher.hpp"
#include "engine/interpreter.hpp"
#include "engine/operators.hpp"
#include "engine/scalar_cases.hpp"
#include "engine/scalar_program.hpp"

namespace q {

using ast::LoopProgram;

namespace {

// An array variable as the program reads and writes it: a real double matrix.
struct ArrayView {
  double* data;
  std::size_t count, rows, columns;
  bool loaded;  // false until first used, and again after the tree ran a statement
  bool owned;   // the data is the variable's alone, to be written in place
};

bool loadView(ArrayView& view, const Value& variable) {
  if (!variable.isArray()) return false;
  const zyArray* array = variable.array();
  if (array->classId() != zyDOUBLE_CLASS || array->isComplex() || array->isSparse() ||
      array->numberOfDimensions() != 2) {
    return false;
  }
  view.data = const_cast<double*>(array->elements<double>());
  view.count = array->numberOfElements();
  view.rows = array->dimensions()[0];
  view.columns = array->dimensions()[1];
  view.owned = !array->sharesData();
  view.loaded = true;
  return true;
}

// What the register of a variable holds while the variable holds no real scalar (left empty by
// a for loop over no values, or given another value by a statement the tree ran): a NaN that
// arithmetic does not make, which LocalChecked sends to the tree. Were an element of an array
// to hold the same bits, the tree would only do that statement the usual way.
constexpr std::uint64_t kNoScalarBits = 0x7ff4'5a5a'0e0e'0001;

double noScalar() {
  double mark;
  std::memcpy(&mark, &kNoScalarBits, sizeof mark);
  return mark;
}

bool isNoScalar(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits == kNoScalarBits;
}

bool realScalarOf(const Value& value, double& out) {
  if (value.isScalar()) {
    out = value.scalar();
    return true;
  }
  if (value.isArray() && Value::isRealScalar(value.array())) {
    out = *value.array()->elements<double>();
    return true;
  }
  return false;
}

}  // namespace

struct Interpreter::LoopRun {
  explicit LoopRun(const LoopProgram& loopProgram) : program(loopProgram) {}
  const LoopProgram& program;
  std::uint64_t dirty = 0;  // registers newer than their variables
  double registers[LoopProgram::kMaxRegisters];
  ArrayView views[LoopProgram::kMaxRegisters];  // by slot; only the array variables' are set
};

bool Interpreter::runLoopProgram(const LoopProgram& program, Flow& flow) {
  LoopRun run(program);
  Value* const* slots = current_->slots;
  for (const std::int32_t slot : program.scalars) {
    if ((program.liveIn >> slot & 1) != 0 && !realScalarOf(*slots[slot], run.registers[slot])) {
      return false;
    }
  }
  for (const std::int32_t slot : program.arrays) run.views[slot].loaded = false;
  try {
    flow = runLoop(run);
  } catch (...) {
    writeBack(run);  // a stop raised by a poll: the variables as the loop left them
    throw;
  }
  return true;
}

void Interpreter::writeBack(LoopRun& run) {
  for (std::uint64_t bits = run.dirty; bits != 0; bits &= bits - 1) {
    const int slot = __builtin_ctzll(bits);
    *current_->slots[slot] = run.registers[slot];
  }
  run.dirty = 0;
}

bool Interpreter::readBack(LoopRun& run, std::uint64_t required) {
  for (const std::int32_t slot : run.program.scalars) {
    if (!realScalarOf(*current_->slots[slot], run.registers[slot])) {
      if ((required >> slot & 1) != 0) return false;
      run.registers[slot] = noScalar();
    }
  }
  for (const std::int32_t slot : run.program.arrays) run.views[slot].loaded = false;
  return true;
}

bool Interpreter::runStatementOf(LoopRun& run, const LoopProgram::ResumePoint& point) {
  writeBack(run);
  current_->line = point.statement->location.line;
  // Such a statement leaves no loop (the compiler made sure), so its flow is Normal.
  executeStatement(*point.statement);
  return readBack(run, point.required);
}

Flow Interpreter::handOver(const LoopRun& run, const LoopProgram::ResumePoint& point,
                           bool after) {
  Flow flow = Flow::Normal;
  bool first = true;
  for (const LoopProgram::Frame& frame : point.frames) {
    using Kind = LoopProgram::Frame::Kind;
    switch (frame.kind) {
      case Kind::Run:
        if (flow == Flow::Normal) flow = execute(*frame.list, frame.index + (first && after));
        break;
      case Kind::While:
      case Kind::For:
        if (flow == Flow::Return) return flow;
        if (flow == Flow::Break) {
          flow = Flow::Normal;
          break;
        }
        if (frame.kind == Kind::While) {
          flow = executeWhileFromTree(frame.loop->as<ast::While>());
        } else {
          const double* state = &run.registers[frame.state];
          flow = continueFor(frame.loop->as<ast::For>(), state[0], state[1],
                             static_cast<std::size_t>(state[2]),
                             static_cast<std::size_t>(state[3]) + 1);
        }
        break;
      case Kind::Start:
        flow = frame.loop->kind == ast::NodeKind::While
                   ? executeWhileFromTree(frame.loop->as<ast::While>())
                   : executeForFromTree(frame.loop->as<ast::For>());
        break;
    }
    first = false;
  }
  return flow;
}

Q_EVERY_INSTRUCTION_BEGIN
Flow Interpreter::runLoop(LoopRun& run) {
  using Op = ast::ScalarInstruction::Op;
  const LoopProgram& program = run.program;
  double* const registers = run.registers;
  double stack[ast::ScalarProgram::kMaxStack];
  std::size_t top = 0;
  const ast::ScalarInstruction* code = program.code.data();
  std::size_t next = 0;
#define Q_LOOP_STORED(slot) run.dirty |= std::uint64_t(1) << (slot)
  for (;;) {
    for (;;) {
      const ast::ScalarInstruction& instruction = code[next++];
      switch (instruction.op) {
        Q_SCALAR_CASES(Q_LOOP_STORED)
        case Op::Power: {
          ops::ScalarResult power;
          if (!ops::scalarBinary(ops::BinaryOp::Power, stack[top - 2], stack[top - 1], power)) {
            goto tree;  // not real
          }
          stack[--top - 1] = power.value;
          break;
        }
        case Op::Truth:
          if (std::isnan(stack[top - 1])) goto tree;  // the tree raises the error
          stack[top - 1] = stack[top - 1] != 0 ? 1.0 : 0.0;
          break;
        case Op::Not:
          if (std::isnan(stack[top - 1])) goto tree;
          stack[top - 1] = stack[top - 1] == 0 ? 1.0 : 0.0;
          break;
        case Op::ForStart: {
          double* state = &registers[instruction.a];
          std::size_t count;
          try {
            count = rangeCount(stack[top - 3], stack[top - 2], stack[top - 1]);
          } catch (const std::exception&) {
            goto tree;  // the tree raises it
          }
          if (count == 0) {
            if (instruction.number != 0) goto tree;  // the loop's own: the tree runs it
            // The variable is left empty, as the tree leaves it.
            *current_->slots[instruction.c] =
                emptyLoopValue(stack[top - 3], stack[top - 2], stack[top - 1]);
            registers[instruction.c] = noScalar();
            run.dirty &= ~(std::uint64_t(1) << instruction.c);
            top -= 3;
            next = static_cast<std::size_t>(instruction.b);
            break;
          }
          top -= 3;
          startRounds(state, &stack[top], count);
          poll();
          registers[instruction.c] = state[0];
          Q_LOOP_STORED(instruction.c);
          break;
        }
        case Op::Call: {
          // In a script, or a function that eval gave variables, the name may be a variable.
          if ((current_->scriptLike || current_->workspace->hasVariables()) &&
              findVariable(*instruction.name)) {
            goto tree;
          }
          // A name not resolved yet is resolved here, as the tree would (a file that does not
          // parse is the tree's to report).
          const Target* known;
          if (!remembered(*instruction.name, known)) {
            bool resolved = true;
            try {
              resolveCall(*instruction.name);
            } catch (const std::exception&) {
              resolved = false;
            }
            if (!resolved) goto tree;
          }
          top -= static_cast<std::size_t>(instruction.a);
          if (callFromScalarProgram(*instruction.name, instruction.a, &stack[top], 0) !=
              ScalarRun::Done) {
            goto tree;
          }
          ++top;
          break;
        }
        case Op::LocalChecked:
          if (isNoScalar(registers[instruction.a])) goto tree;
          stack[top++] = registers[instruction.a];
          break;
        case Op::End: {
          ArrayView& view = run.views[instruction.a];
          if (!view.loaded && !loadView(view, *current_->slots[instruction.a])) goto tree;
          const std::size_t size =
              instruction.b < 0 ? view.count : instruction.b == 0 ? view.rows : view.columns;
          stack[top++] = static_cast<double>(size);
          break;
        }
        case Op::Element:
        case Op::Element2: {
          ArrayView& view = run.views[instruction.a];
          if (!view.loaded && !loadView(view, *current_->slots[instruction.a])) goto tree;
          std::size_t index, column;
          if (instruction.op == Op::Element) {
            if (!position(stack[top - 1], view.count, index)) goto tree;
          } else {
            if (!position(stack[top - 2], view.rows, index) ||
                !position(stack[top - 1], view.columns, column)) {
              goto tree;
            }
            index += column * view.rows;
            --top;
          }
          stack[top - 1] = view.data[index];
          break;
        }
        case Op::SetElement:
        case Op::SetElement2: {
          Value& variable = *current_->slots[instruction.a];
          ArrayView& view = run.views[instruction.a];
          if (!view.loaded && !loadView(view, variable)) goto tree;
          // Growing the array is the tree's.
          std::size_t index, column, used;
          if (instruction.op == Op::SetElement) {
            if (!position(stack[top - 2], view.count, index)) goto tree;
            used = 2;
          } else {
            if (!position(stack[top - 3], view.rows, index) ||
                !position(stack[top - 2], view.columns, column)) {
              goto tree;
            }
            index += column * view.rows;
            used = 3;
          }
          if (!view.owned) {
            // Data shared with copies of the variable is copied first.
            view.data = zyGetPr(variable.mutableArray());
            if (!view.data) throw std::bad_alloc();
            view.owned = true;
          }
          view.data[index] = stack[top - 1];
          top -= used;
          break;
        }
        case Op::CopyArray: {
          if (instruction.a == instruction.b) break;
          Value& source = *current_->slots[instruction.b];
          if (!source.isDefined()) goto tree;  // the tree names the undefined variable
          *current_->slots[instruction.a] = source;
          run.views[instruction.a].loaded = false;
          run.views[instruction.b].owned = false;
          break;
        }
        case Op::Exec: {
          const LoopProgram::ResumePoint& point = program.points[instruction.b];
          if (!runStatementOf(run, point)) return handOver(run, point, true);
          break;
        }
        case Op::Finish:
          writeBack(run);
          return Flow::Normal;
        case Op::Leave:
          writeBack(run);
          return Flow::Return;
        Q_VALUE_ONLY_CASES
        case Op::Return:
          break;  // functions' instructions: not in loops
        default:
          __builtin_unreachable();  // every instruction has its case above
      }
    }
  tree:
    // Something this statement met is the tree's to do: a simple statement runs the usual way
    // and the program goes on after it; otherwise the tree goes on from the statement.
    const LoopProgram::ResumePoint& point = program.pointAt(next - 1);
    if (!point.simple) {
      writeBack(run);
      return handOver(run, point, false);
    }
    if (!runStatementOf(run, point)) return handOver(run, point, true);
    top = 0;
    next = point.end;
  }
#undef Q_LOOP_STORED
}
Q_EVERY_INSTRUCTION_END

}  // namespace q
