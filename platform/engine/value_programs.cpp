// Running value programs (ast::ValueProgram): scalar programs whose variables may hold any value.
// Values are never written in place, so reading a variable or a cell's element only borrows the
// array; a reference of its own is taken where the value is kept (a variable, a new cell, the
// result). Giving up destroys what the run owns and leaves the rest as it was.

#include <cmath>
#include <cstdint>
#include <new>

#include "engine/dispatcher.hpp"
#include "engine/interpreter.hpp"
#include "engine/operators.hpp"
#include "engine/scalar_cases.hpp"
#include "engine/scalar_program.hpp"

namespace q {

namespace {

// The value as a real double scalar, when it is one.
inline bool numberOf(const ProgramValue& value, double& out) {
  if (!value.array) {
    out = value.number;
    return true;
  }
  if (!Value::isRealScalar(value.array)) return false;
  out = *value.array->elements<double>();
  return true;
}

// Element k of cell, or null when cell is no cell, k no position in it or the slot empty (a
// run gives up on those: the usual way raises the error, or makes the [] of an empty slot).
inline const zyArray* cellElement(const zyArray* cell, double k) {
  std::size_t index;
  if (!cell || cell->classId() != zyCELL_CLASS || !position(k, cell->numberOfElements(), index)) {
    return nullptr;
  }
  return static_cast<zyArray* const*>(cell->realData())[index];
}

// Drops a value taken off a stack.
inline void drop(const ProgramValue& value) {
  if (value.owned) zyDestroyArray(value.array);
}

// An array of its own for what value holds, which gives up its reference.
zyArray* keep(ProgramValue& value) {
  zyArray* kept = value.owned  ? value.array
                  : value.array ? zyCreateSharedDataCopy(value.array)
                                : zyCreateDoubleScalar(value.number);
  if (!kept) throw std::bad_alloc();
  value = ProgramValue{};
  return kept;
}

// The 1-by-count cell of the values at items, each giving up its reference.
zyArray* cellOf(ProgramValue* items, std::size_t count) {
  ArrayPtr cell = checked(zyCreateCellMatrix(1, count));
  for (std::size_t i = 0; i < count; ++i) {
    if (zySetCell(cell.get(), i, keep(items[i])) != 0) throw std::bad_alloc();
  }
  return cell.release();
}

// The registers and the value stack of one run; destroys what the run owns however it ends.
struct ValueFrame {
  double numbers[ast::ScalarProgram::kMaxRegisters];
  zyArray* arrays[ast::ScalarProgram::kMaxRegisters];  // null: the register holds a number
  std::uint32_t owned = 0;                             // registers whose array is theirs
  ProgramValue values[ast::ScalarProgram::kMaxStack];
  std::size_t valueTop = 0;

  ValueFrame() = default;
  ValueFrame(const ValueFrame&) = delete;
  ValueFrame& operator=(const ValueFrame&) = delete;
  ~ValueFrame() {
    for (std::uint32_t bits = owned; bits != 0; bits &= bits - 1) {
      zyDestroyArray(arrays[__builtin_ctz(bits)]);
    }
    while (valueTop > 0) drop(values[--valueTop]);
  }

  void set(std::int32_t slot, zyArray* array, double number, bool own) {
    const std::uint32_t bit = std::uint32_t(1) << slot;
    if ((owned & bit) != 0) zyDestroyArray(arrays[slot]);
    arrays[slot] = array;
    numbers[slot] = number;
    owned = own ? owned | bit : owned & ~bit;
  }
};

}  // namespace

bool Interpreter::runValues(const ast::Function& function, const ValueList& arguments,
                            Value& result) {
  ProgramValue inputs[ast::ScalarProgram::kMaxInputs]{};
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const Value& argument = arguments[i];
    if (!argument.isDefined()) return false;  // the usual way names it
    if (argument.isArray()) {
      inputs[i].array = const_cast<zyArray*>(argument.array());
    } else {
      inputs[i].number = argument.scalar();
    }
  }
  ProgramValue out{};
  const ScalarRun run = runValueProgram(*function.valueProgram, inputs, out, 0);
  if (run == ScalarRun::GaveUp) function.programGaveUp = true;
  if (run != ScalarRun::Done) return false;
  result = out.array ? Value::adopt(out.array) : Value(out.number);
  return true;
}

inline const ast::ValueProgram* Interpreter::valueCallee(const Target& target,
                                                        const ProgramValue* arguments,
                                                        std::size_t count) {
  if (target.kind != Target::Kind::User) return nullptr;
  const ast::Function& function = *target.file->tree.functions[target.functionIndex];
  if (!valueProgramFor(function, count)) return nullptr;
  if (compiledFor(function, count)) {
    double number;
    for (std::size_t i = 0; i < count; ++i) {
      if (!numberOf(arguments[i], number)) return function.valueProgram.get();
    }
    return nullptr;  // numbers go to the function's scalar program
  }
  return function.valueProgram.get();
}

// This runner dispatches through a table of labels (a GCC extension): every instruction ends
// with a jump of its own to the next one's code, which the processor predicts far better than
// one jump shared by all. The cases are those of the switch, each also a label. No case may hold
// an object with a destructor where it jumps on: an indirect jump out of its scope would skip it.
#undef Q_CASE
#undef Q_NEXT
#undef Q_JUMP
#define Q_CASE(name) \
  case Op::name:     \
  q_label_##name
#define Q_NEXT goto *dispatch[static_cast<int>((++ip)->op)]
#define Q_JUMP(target)                        \
  {                                           \
    ip = code + (target);                     \
    goto *dispatch[static_cast<int>(ip->op)]; \
  }
#define instruction (*ip)
Q_EVERY_INSTRUCTION_BEGIN
Interpreter::ScalarRun Interpreter::runValueProgram(const ast::ValueProgram& program,
                                                    const ProgramValue* inputs,
                                                    ProgramValue& out, int nested) {
  using Op = ast::ScalarInstruction::Op;
  // The callee would be activation depth_ + nested + 1, which the usual way refuses past the
  // limit, raising the recursion error.
  if (depth_ + nested >= kMaxCallDepth || frameBelow(callStackFloor_)) return ScalarRun::GaveUp;
  poll();
  // The array of a register is read only once the register is assigned, and only if it may hold
  // any value (registers of numbers only are read as numbers): nothing to clear.
  ValueFrame frame;
  double* const registers = frame.numbers;
  const std::int32_t* const inputSlots = program.inputSlots.data();
  for (std::size_t i = 0, count = program.inputSlots.size(); i < count; ++i) {
    const std::int32_t slot = inputSlots[i];
    if (slot < 0) continue;
    frame.arrays[slot] = inputs[i].array;  // borrowed from the caller
    registers[slot] = inputs[i].number;
  }
  ProgramValue* const values = frame.values;
  double stack[ast::ScalarProgram::kMaxStack];
  std::size_t top = 0;
  const ast::ScalarInstruction* code = program.code.data();
#define Q_LABEL_ADDRESS(name) &&q_label_##name,
  static const void* const dispatch[] = {Q_EVERY_INSTRUCTION(Q_LABEL_ADDRESS)};
#undef Q_LABEL_ADDRESS
  const ast::ScalarInstruction* ip = code;
  // A call's arguments: count of them, the top `taken` of the value stack or the one in local.
  const ProgramValue* arguments;
  std::size_t count, taken;
  ProgramValue local;
  for (;;) {
    switch (instruction.op) {
#define Q_NOTHING_STORED(slot)
      Q_SCALAR_CASES(Q_NOTHING_STORED)
#undef Q_NOTHING_STORED
      Q_FUNCTION_CASES
      Q_CASE(Not):
        if (std::isnan(stack[top - 1])) return ScalarRun::GaveUp;
        stack[top - 1] = stack[top - 1] == 0 ? 1.0 : 0.0;
        Q_NEXT;
      Q_CASE(LocalValue):
        values[frame.valueTop++] = {frame.arrays[instruction.a], registers[instruction.a], false};
        Q_NEXT;
      Q_CASE(LocalScalar): {
        const ProgramValue variable{frame.arrays[instruction.a], registers[instruction.a], false};
        if (!numberOf(variable, stack[top])) return ScalarRun::GaveUp;
        ++top;
        Q_NEXT;
      }
      Q_CASE(Box):
        values[frame.valueTop++] = {nullptr, stack[--top], false};
        Q_NEXT;
      Q_CASE(Unbox):
        if (!numberOf(values[frame.valueTop - 1], stack[top])) return ScalarRun::GaveUp;
        ++top;
        drop(values[--frame.valueTop]);
        Q_NEXT;
      Q_CASE(StoreValue): {
        // The new value is kept before the old one goes: it may be an element of it.
        ProgramValue& value = values[frame.valueTop - 1];
        if (value.array) {
          zyArray* kept = keep(value);
          frame.set(instruction.a, kept, 0, true);
        } else {
          frame.set(instruction.a, nullptr, value.number, false);
        }
        --frame.valueTop;
        Q_NEXT;
      }
      Q_CASE(StoreNumber):
        frame.set(instruction.a, nullptr, stack[--top], false);
        Q_NEXT;
      Q_CASE(EmptyMatrix):
        values[frame.valueTop++] = {emptyMatrix_.get(), 0, false};
        Q_NEXT;
      Q_CASE(MakeCell): {
        const auto count = static_cast<std::size_t>(instruction.a);
        if (count == 0) {
          values[frame.valueTop++] = {emptyCell_.get(), 0, false};
          Q_NEXT;
        }
        zyArray* const cell = cellOf(&values[frame.valueTop - count], count);
        frame.valueTop -= count;
        values[frame.valueTop++] = {cell, 0, true};
        Q_NEXT;
      }
      Q_CASE(Brace): {
        const double k = instruction.c != 0 ? instruction.number : stack[--top];
        const zyArray* element = cellElement(frame.arrays[instruction.a], k);
        if (!element) return ScalarRun::GaveUp;  // the usual way raises it, or makes the []
        values[frame.valueTop++] = {const_cast<zyArray*>(element), 0, false};
        Q_NEXT;
      }
      Q_CASE(CallElement):
        local = {const_cast<zyArray*>(cellElement(frame.arrays[instruction.a], instruction.number)),
                 0, false};
        if (!local.array) return ScalarRun::GaveUp;
        arguments = &local;
        count = 1;
        taken = 0;
        goto call;
      Q_CASE(CallLocal):
        local = {frame.arrays[instruction.a], registers[instruction.a], false};
        arguments = &local;
        count = 1;
        taken = 0;
        goto call;
      Q_CASE(CallValue):
        count = static_cast<std::size_t>(instruction.a);
        arguments = &values[frame.valueTop - count];
        taken = count;
      call: {
        const Target* target;
        if (!remembered(*instruction.name, target)) return ScalarRun::Declined;
        if (!target) return ScalarRun::GaveUp;
        ProgramValue result;
        ScalarRun run = ScalarRun::Done;
        if (const ast::ValueProgram* callee = valueCallee(*target, arguments, count)) {
          run = runValueProgram(*callee, arguments, result, nested + 1);
        } else if (target->kind == Target::Kind::Pure && count == 1 && target->query &&
                   arguments[0].array && !(target->logicalQuery && instruction.b == 0)) {
          // A shape query of an array, answered at once (callFromValueProgram has the rest).
          result = {nullptr, target->query(arguments[0].array), false};
        } else {
          run = callFromValueProgram(instruction, *target, arguments, count, result, nested);
        }
        if (run != ScalarRun::Done) return run;
        frame.valueTop -= taken;
        for (std::size_t i = 0; i < taken; ++i) drop(values[frame.valueTop + i]);
        if (instruction.c == 0) {
          // A result owns its array. Its parts are read one by one, as the call wrote them: a
          // wider read of what narrower writes have just put in memory waits for them to land.
          values[frame.valueTop++] = {result.array, result.number, result.array != nullptr};
        } else {
          const bool number = numberOf(result, stack[top]);
          drop(result);
          if (!number) return ScalarRun::GaveUp;
          ++top;
        }
        Q_NEXT;
      }
      Q_CASE(ReturnValue): {
        const std::int32_t slot = instruction.a;
        const std::uint32_t bit = std::uint32_t(1) << slot;
        if (instruction.b != 0 || !frame.arrays[slot]) {
          out = {nullptr, registers[slot], false};
        } else if ((frame.owned & bit) != 0) {
          out = {frame.arrays[slot], 0, true};
          frame.owned &= ~bit;
        } else {
          ProgramValue borrowed{frame.arrays[slot], 0, false};
          out = {keep(borrowed), 0, true};
        }
        return ScalarRun::Done;
      }
      Q_LOOP_ONLY_CASES
      Q_CASE(Return):
        return ScalarRun::GaveUp;  // the instructions of loops and scalar programs: none here
      default:
        __builtin_unreachable();  // every instruction has its case above
    }
  }
}
Q_EVERY_INSTRUCTION_END
#undef instruction

Interpreter::ScalarRun Interpreter::callFromValueProgram(const ast::ScalarInstruction& call,
                                                         const Target& target,
                                                         const ProgramValue* arguments,
                                                         std::size_t count, ProgramValue& result,
                                                         int nested) {
  if (target.kind == Target::Kind::Pure && count == 1 && target.query &&
      (arguments[0].array || !target.scalar)) {
    // A shape query answers any value; a truth only where it is tested, as it is no number.
    if (target.logicalQuery && call.b == 0) return ScalarRun::GaveUp;
    ArrayPtr boxed;
    const zyArray* array = arguments[0].array;
    if (!array) {
      boxed = checked(zyCreateDoubleScalar(arguments[0].number));
      array = boxed.get();
    }
    result = {nullptr, target.query(array), false};
    return ScalarRun::Done;
  }
  // Otherwise what a scalar program calls (constants aside), given numbers.
  double numbers[ast::ScalarProgram::kMaxInputs];
  if (count == 0) return ScalarRun::GaveUp;
  for (std::size_t i = 0; i < count; ++i) {
    if (!numberOf(arguments[i], numbers[i])) return ScalarRun::GaveUp;
  }
  const ScalarRun run = callFromScalarProgram(*call.name, static_cast<int>(count), numbers, nested);
  if (run == ScalarRun::Done) result = {nullptr, numbers[0], false};
  return run;
}

}  // namespace q
