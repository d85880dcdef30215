// Calling things: Q functions and scripts, anonymous functions and handles, built-ins, host
// callbacks and native extensions; the workspaces and activations they run in.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "engine/interpreter.hpp"
#include "engine/native_stack.hpp"
#include "engine/operators.hpp"
#include "engine/parser.hpp"
#include "engine/scalar_cases.hpp"
#include "engine/scalar_program.hpp"
#include "util/sinks.hpp"
#include "zy/errors.hpp"

namespace q {

namespace {

constexpr std::uint32_t kSlotBlockSize = 4096;

const std::string kEvalName = "eval";

// Errors on the call path are raised out of line, keeping the frames that every level of
// recursion stacks up small.
[[noreturn, gnu::noinline, gnu::cold]] void raiseAbout(const char* identifier, const char* before,
                                                       const std::string& name, const char* after) {
  raise(identifier, before + name + after);
}

void* cloneHandle(const void* payload) {
  return new std::shared_ptr<const FunctionHandleData>(
      *static_cast<const std::shared_ptr<const FunctionHandleData>*>(payload));
}
void destroyHandle(void* payload) {
  delete static_cast<std::shared_ptr<const FunctionHandleData>*>(payload);
}
char* describeHandle(const void* payload) {
  const auto& handle = *static_cast<const std::shared_ptr<const FunctionHandleData>*>(payload);
  const std::string text = handle->anonymous ? handle->text : "@" + handle->text;
  char* copy = static_cast<char*>(zyMalloc(text.size() + 1));
  if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}
const zyPayloadType kFunctionHandleType = {"q.function_handle", cloneHandle, destroyHandle, nullptr,
                                           describeHandle};

}  // namespace

ArrayPtr makeFunctionHandleArray(std::shared_ptr<const FunctionHandleData> handle) {
  auto* payload = new std::shared_ptr<const FunctionHandleData>(std::move(handle));
  return checked(
      zyCreatePayloadArray(zyFUNCTION_CLASS, "function_handle", &kFunctionHandleType, payload));
}

const FunctionHandleData* functionHandleOf(const zyArray* array) {
  if (!array || zyGetPayloadType(array) != &kFunctionHandleType) return nullptr;
  return static_cast<const std::shared_ptr<const FunctionHandleData>*>(zyGetPayload(array))->get();
}

int LoadedFile::localFunction(const std::string& name) const {
  if (tree.isScript) return -1;
  for (std::size_t i = 0; i < tree.functions.size(); ++i)
    if (tree.functions[i]->name == name) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Workspaces

Value* Workspace::find(const std::string& name) {
  if (owner && owner->function) {
    const std::int32_t slot = owner->function->findVariable(name);
    if (slot >= 0) return owner->slots[slot];
  }
  if (!variables) return nullptr;
  const auto found = variables->find(name);
  return found == variables->end() ? nullptr : found->second.get();
}

Value& Workspace::obtain(const std::string& name) {
  if (Value* found = find(name)) return *found;
  return add(name);
}

Value& Workspace::add(const std::string& name, std::shared_ptr<Value> value) {
  if (!variables) variables = std::make_unique<Variables>();
  auto& entry = (*variables)[name];
  entry = value ? std::move(value) : std::make_shared<Value>();
  return *entry;
}

std::vector<std::string> Workspace::names() const {
  std::vector<std::string> result;
  if (owner && owner->function) {
    for (std::size_t i = 0; i < owner->function->variables.size(); ++i)
      if (owner->slots[i]->isDefined()) result.push_back(owner->function->variables[i]);
  }
  if (variables) {
    for (const auto& entry : *variables)
      if (entry.second->isDefined()) result.push_back(entry.first);
  }
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

// ---------------------------------------------------------------------------------------------
// Activations and slots

namespace {

[[noreturn, gnu::noinline, gnu::cold]] void recursionLimit(int depth) {
  if (depth >= Interpreter::kMaxCallDepth) {
    raise("Q:recursionLimit", "Maximum recursion limit of " +
                                  std::to_string(Interpreter::kMaxCallDepth) + " reached.");
  }
  raise("Q:recursionLimit", "Maximum recursion limit reached: the native stack is full after " +
                                std::to_string(depth) + " calls.");
}

[[noreturn, gnu::noinline, gnu::cold]] void unassignedOutput(const std::string& output,
                                                             const std::string& function) {
  raise("Q:undefinedOutput", "Output argument '" + output +
                                 "' was not assigned a value in the execution of '" + function +
                                 "'.");
}

}  // namespace

ActivationScope::ActivationScope(Interpreter& owner, Activation& activation)
    : interpreter(owner), previous(owner.current_) {
  owner.poll();
  if (owner.depth_ >= Interpreter::kMaxCallDepth || frameBelow(owner.callStackFloor_)) {
    recursionLimit(owner.depth_);
  }
  activation.caller = owner.current_;
  owner.current_ = &activation;
  ++owner.depth_;
}

ActivationScope::~ActivationScope() {
  interpreter.current_ = previous;
  if (--interpreter.depth_ == 0) interpreter.retired_.clear();
}

struct SlotGuard {
  Interpreter& interpreter;
  Interpreter::SlotAllocation allocation;
  SlotGuard(Interpreter& owner, std::uint32_t count)
      : interpreter(owner), allocation(owner.allocateSlots(count)) {}
  ~SlotGuard() { interpreter.releaseSlots(allocation); }
};

Interpreter::SlotAllocation Interpreter::allocateSlots(std::uint32_t count) {
  SlotAllocation allocation;
  allocation.count = count;
  if (count == 0) return allocation;
  for (;;) {
    if (slotBlock_ == slotBlocks_.size()) {
      SlotBlock block;
      block.size = std::max(kSlotBlockSize, count);
      block.values.reset(new Value[block.size]);
      block.pointers.reset(new Value*[block.size]);
      slotBlocks_.push_back(std::move(block));
    }
    SlotBlock& block = slotBlocks_[slotBlock_];
    if (block.used + count <= block.size) {
      allocation.values = &block.values[block.used];
      allocation.pointers = &block.pointers[block.used];
      block.used += count;
      for (std::uint32_t i = 0; i < count; ++i) allocation.pointers[i] = &allocation.values[i];
      return allocation;
    }
    ++slotBlock_;
  }
}

void Interpreter::releaseSlots(const SlotAllocation& allocation) {
  if (allocation.count == 0) return;
  for (std::uint32_t i = 0; i < allocation.count; ++i) allocation.values[i].reset();
  SlotBlock& block = slotBlocks_[slotBlock_];
  block.used -= allocation.count;
  if (block.used == 0 && slotBlock_ > 0) --slotBlock_;
}

// ---------------------------------------------------------------------------------------------
// The interpreter

Interpreter::Interpreter(kvnInstance& owner, Qdispatcher& dispatcher, OutputSinks sinks)
    : owner_(owner),
      dispatcher_(dispatcher),
      sinks_(std::move(sinks)),
      control_(*owner.callControl()),
      interruptFlag_(&control_.interruptFlag()) {
  emptyCell_ = checked(zyCreateCellMatrix(0, 0));
  emptyMatrix_ = makeEmptyDouble();
  if (!sinks_.print) sinks_.print = CmdWinSinkHandle::printSink();
  if (!sinks_.error) sinks_.error = CmdWinSinkHandle::errorSink();
  baseActivation_.workspace = &base_;
  baseActivation_.scriptLike = true;
  baseActivation_.name = &baseName_;
  current_ = &baseActivation_;
  random_.seed(5489u);
  tic_ = std::chrono::steady_clock::now();
}

Interpreter::~Interpreter() {
  // Values may hold handles whose files hold resolutions; let them go first.
  base_.variables.reset();
  globals_.clear();
  persistents_.clear();
  userData_.clear();
  figures_.clear();
  remembered_.clear();
  retired_.clear();
  for (EntryResolution& entry : entryResolutions_) entry.target.reset();
}

void Interpreter::print(const std::string& text) {
  if (!text.empty()) sinks_.print->write(text);
}

void Interpreter::printError(const std::string& text) {
  if (!text.empty()) sinks_.error->write(text);
}

std::string Interpreter::formatValue(const std::string& name, const Value& value) {
  ArrayPtr holder;
  const zyArray* array = value.view(holder);
  return zyFormatArray(name.empty() ? nullptr : name.c_str(), array, format_);
}

void Interpreter::display(const std::string& name, const Value& value) {
  print(formatValue(name, value));
}

Workspace& Interpreter::callerWorkspace() { return *current_->workspace; }

std::shared_ptr<Value> Interpreter::global(const std::string& name) {
  auto& entry = globals_[name];
  if (!entry) entry = std::make_shared<Value>(Value::adopt(makeEmptyDouble()));
  return entry;
}

void Interpreter::clearPersistents(const LoadedFile* file) {
  if (!file) {
    persistents_.clear();
    return;
  }
  // A running function keeps its persistents through its activation's links.
  for (auto entry = persistents_.begin(); entry != persistents_.end();) {
    const auto& functions = file->tree.functions;
    const bool ofFile = std::any_of(functions.begin(), functions.end(), [&](const auto& function) {
      return function.get() == entry->first.first;
    });
    entry = ofFile ? persistents_.erase(entry) : std::next(entry);
  }
}

void Interpreter::clearAll() {
  if (base_.variables) {
    for (auto& entry : *base_.variables) entry.second->reset();
  }
  for (auto& entry : globals_) entry.second->reset();
  globals_.clear();
  persistents_.clear();
  userData_.clear();
}

void Interpreter::completeStack(QError& error) const {
  std::vector<rtkSorvelStackLine> stack;
  for (const Activation* activation = current_; activation; activation = activation->caller) {
    if (activation == &baseActivation_) continue;
    rtkSorvelStackLine line;
    line.file = activation->file ? activation->file->path : std::string();
    line.function = activation->name ? *activation->name : std::string();
    line.line = static_cast<int>(activation->line);
    stack.push_back(std::move(line));
  }
  error.setStack(std::move(stack));
}

LoadedFilePtr Interpreter::parseText(const std::string& text, const std::string& name) {
  auto file = std::make_shared<LoadedFile>();
  try {
    file->tree = parseFile(text, name);
  } catch (const SyntaxError& error) {
    raise("Q:syntaxError", error.what());
  }
  for (const auto& function : file->tree.functions) {
    FunctionInfo info;
    info.ansSlot = function->findVariable("ans");
    file->info.push_back(info);
  }
  return file;
}

// ---------------------------------------------------------------------------------------------
// Resolution and dispatch

TargetPtr Interpreter::resolve(const std::string& name, const LoadedFile* context) {
  return dispatcher_.resolve(name, context);
}

const Target* Interpreter::resolveCall(const ast::Identifier& identifier) {
  const Target* known;
  if (remembered(identifier, known)) return known;
  const std::uint64_t generation = dispatcher_.generation();
  TargetPtr target = dispatcher_.resolve(identifier.name, current_->file);
  if (rememberedGeneration_ != generation) {
    for (TargetPtr& old : remembered_) retired_.push_back(std::move(old));
    remembered_.clear();
    rememberedGeneration_ = generation;
  }
  identifier.resolved = target.get();
  identifier.resolvedBy = &dispatcher_;
  identifier.resolvedGeneration = generation;
  const Target* result = target.get();
  if (target) remembered_.push_back(std::move(target));
  return result;
}

void Interpreter::call(const Target& target, int nargout, ValueList& arguments,
                       ValueList& results) {
  if (!results.empty()) {
    callAppending(target, nargout, arguments, results);
    return;
  }
  callTarget(target, nargout, arguments, results);
  // A call gives as many values as asked for, and one at most when none is asked for.
  const std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
  if (results.size() > wanted) results.erase(results.begin() + wanted, results.end());
}

__attribute__((noinline)) void Interpreter::callAppending(const Target& target, int nargout,
                                                          ValueList& arguments,
                                                          ValueList& results) {
  // Callees count what they return by the size of their result list, so they always get an
  // empty one; an argument or element list that is being collected only receives the values
  // the call gives.
  PooledList own(*this);
  call(target, nargout, arguments, own.list);
  appendResults(own.list, nargout, results);
}

void Interpreter::appendResults(ValueList& values, int nargout, ValueList& out) {
  const std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
  const std::size_t count = std::min(values.size(), wanted);
  for (std::size_t i = 0; i < count; ++i) out.push_back(std::move(values[i]));
}

void Interpreter::callTarget(const Target& target, int nargout, ValueList& arguments,
                             ValueList& results) {
  switch (target.kind) {
    case Target::Kind::User:
      callUser(target, nargout, arguments, results);
      return;
    case Target::Kind::Pure:
      callPure(target, nargout, arguments, results);
      return;
    case Target::Kind::Interpreter:
      target.builtin(*this, nargout, results, arguments);
      return;
    case Target::Kind::External:
      callGateway(nullptr, target.external.get(), target.name, nargout, arguments, results);
      return;
    case Target::Kind::Native:
      callGateway(target.native, nullptr, target.name, nargout, arguments, results);
      return;
    case Target::Kind::None:
      break;
  }
  undefined(target.name);
}

__attribute__((noinline)) void Interpreter::callPure(const Target& target, int nargout,
                                                     ValueList& arguments, ValueList& results) {
  // Most calls have a few inputs and outputs: their lists live on the stack.
  constexpr std::size_t kFew = 6;
  const std::size_t count = arguments.size();
  const auto slots = static_cast<std::size_t>(std::max(nargout, 1));
  ArrayPtr fewHolders[kFew], fewOutputs[kFew];
  const zyArray* fewInputs[kFew];
  std::vector<ArrayPtr> manyHolders, manyOutputs;
  std::vector<const zyArray*> manyInputs;
  ArrayPtr* holders = fewHolders;
  ArrayPtr* outputs = fewOutputs;
  const zyArray** inputs = fewInputs;
  if (count > kFew) {
    manyHolders.resize(count);
    manyInputs.resize(count);
    holders = manyHolders.data();
    inputs = manyInputs.data();
  }
  if (slots > kFew) {
    manyOutputs.resize(slots);
    outputs = manyOutputs.data();
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!arguments[i].isDefined()) raise("Q:undefined", "An argument is undefined.");
    inputs[i] = arguments[i].view(holders[i]);
  }
  target.pure(nargout, outputs, static_cast<int>(count), inputs);
  for (std::size_t i = 0; i < slots && outputs[i]; ++i) {
    results.push_back(Value::adopt(std::move(outputs[i])));
  }
  if (static_cast<int>(results.size()) < nargout) {
    raiseAbout("Q:TooManyOutputs", "Too many output arguments for '", target.name, "'.");
  }
}

// The activation of a user function, with its own workspace and slots, for the length of a call.
struct Interpreter::UserFrame {
  Workspace workspace;
  Activation activation;
  SlotGuard slots;

  UserFrame(Interpreter& interpreter, const Target& target, const ast::Function& function,
            std::size_t inputCount, int nargout)
      : slots(interpreter, static_cast<std::uint32_t>(function.variables.size())) {
    activation.function = &function;
    activation.info = &target.file->info[target.functionIndex];
    activation.file = target.file.get();
    activation.name = &function.name;
    activation.slots = slots.allocation.pointers;
    activation.slotCount = slots.allocation.count;
    activation.workspace = &workspace;
    activation.nargin = static_cast<int>(inputCount);
    activation.nargout = nargout;
    activation.line = function.location.line;
    workspace.owner = &activation;
  }
};

void Interpreter::runFrame(UserFrame& frame) {
  ActivationScope scope(*this, frame.activation);
  execute(frame.activation.function->body);
}

void Interpreter::callUser(const Target& target, int nargout, ValueList& arguments,
                           ValueList& results) {
  const ast::Function& function = *target.file->tree.functions[target.functionIndex];
  if (function.isScript) {
    if (!arguments.empty()) {
      raiseAbout("Q:TooManyInputs", "'", function.name, "' is a script and takes no arguments.");
    }
    if (nargout > 0) {
      raiseAbout("Q:TooManyOutputs", "'", function.name, "' is a script and returns no value.");
    }
    runScript(target.file, *current_->workspace, 0);
    return;
  }
  const std::size_t inputCount = arguments.size();
  if (!function.varargin && inputCount > function.inputs.size()) {
    raiseAbout("Q:TooManyInputs", "Too many input arguments for '", function.name, "'.");
  }
  if (!function.varargout && nargout > static_cast<int>(function.outputs.size())) {
    raiseAbout("Q:TooManyOutputs", "Too many output arguments for '", function.name, "'.");
  }
  if (nargout <= 1 && compiledFor(function, inputCount)) {
    // As in callDirect: real scalars in, the compiled program.
    double inputs[ast::ScalarProgram::kMaxInputs];
    bool scalars = true;
    for (std::size_t i = 0; scalars && i < inputCount; ++i) {
      scalars = arguments[i].isScalar();
      inputs[i] = arguments[i].scalar();
    }
    double out;
    if (scalars && runCompiled(function, inputs, out)) {
      results.emplace_back(out);
      return;
    }
  }
  if (nargout <= 1 && valueProgramFor(function, inputCount)) {
    Value out;
    if (runValues(function, arguments, out)) {
      results.push_back(std::move(out));
      return;
    }
  }
  UserFrame frame(*this, target, function, inputCount, nargout);
  Activation& activation = frame.activation;
  const std::size_t named = std::min(inputCount, function.inputs.size());
  for (std::size_t i = 0; i < named; ++i) {
    const std::int32_t slot = function.inputSlots[i];
    if (slot >= 0) *activation.slots[slot] = std::move(arguments[i]);
  }
  if (function.varargin) {
    const std::size_t extra = inputCount - named;
    ArrayPtr cell = checked(zyCreateCellMatrix(1, extra));
    for (std::size_t i = 0; i < extra; ++i) {
      zySetCell(cell.get(), i, arguments[named + i].release().release());
    }
    *activation.slots[function.vararginSlot] = Value::adopt(std::move(cell));
  }
  runFrame(frame);
  const std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
  for (std::size_t i = 0; i < function.outputs.size() && results.size() < wanted; ++i) {
    Value& output = *activation.slots[function.outputSlots[i]];
    if (!output.isDefined()) {
      if (nargout == 0 && i == 0) return;
      unassignedOutput(function.outputs[i], function.name);
    }
    results.push_back(std::move(output));
  }
  if (function.varargout && results.size() < wanted) {
    Value& varargout = *activation.slots[function.varargoutSlot];
    if (varargout.isCell()) {
      const zyArray* cell = varargout.array();
      for (std::size_t i = 0; i < cell->numberOfElements() && results.size() < wanted; ++i)
        results.push_back(Value::share(zyGetCellConst(cell, i)));
    }
    if (results.size() < static_cast<std::size_t>(nargout)) {
      raiseAbout("Q:undefinedOutput", "Function '", function.name,
                 "' returned fewer values in varargout than asked for.");
    }
  }
}

bool Interpreter::callDirect(const ast::Index& node, Value& result) {
  // Only what the general path would do the same way: a name that is no variable here, one
  // parenthesised argument list whose items give one value each, a user function that takes
  // them as they are and has a first output.
  if (node.steps.size() != 1 || node.steps[0].kind != ast::IndexStep::Kind::Paren) return false;
  const ast::Expression& base = *node.base;
  if (base.kind != ast::NodeKind::Identifier || base.parenthesized) return false;
  const ast::Identifier& identifier = base.as<ast::Identifier>();
  if (identifier.slot >= 0 || current_->scriptLike || current_->workspace->hasVariables()) {
    return false;
  }
  const std::vector<ast::ExpressionPtr>& argumentNodes = node.steps[0].arguments;
  for (const ast::ExpressionPtr& argument : argumentNodes) {
    if (argument->kind == ast::NodeKind::Colon) return false;
  }
  const Target* target = resolveCall(identifier);
  if (!target || target->kind != Target::Kind::User) return false;
  const ast::Function& function = *target->file->tree.functions[target->functionIndex];
  if (function.isScript || function.varargin || function.varargout || function.outputs.empty()) {
    return false;
  }
  // A function compiled for real scalars, given only real scalars, runs its program. Arguments
  // are pure there (scalar arithmetic), so giving up only means evaluating them again below.
  if (compiledFor(function, argumentNodes.size())) {
    double inputs[ast::ScalarProgram::kMaxInputs];
    bool scalars = true;
    for (std::size_t i = 0; scalars && i < argumentNodes.size(); ++i) {
      const ast::Expression& argument = *argumentNodes[i];
      scalars = scalarLeaf(argument, inputs[i]) || scalarValue(argument, inputs[i]);
    }
    double out;
    if (scalars && runCompiled(function, inputs, out)) {
      result = Value(out);
      return true;
    }
  }
  // An unparenthesised subscript (c{:}, s.f) may give any number of values, so inputs are
  // counted as they come; values past the last input are dropped and refused once all
  // arguments have been evaluated, as the general path refuses them.
  const auto evaluateArguments = [&](const auto& take) {
    for (const ast::ExpressionPtr& argument : argumentNodes) {
      if (argument->kind == ast::NodeKind::Index && !argument->parenthesized) {
        PooledList values(*this);
        evaluateMulti(*argument, values.list);
        for (Value& value : values.list) take(std::move(value));
      } else {
        take(evaluate(*argument));
      }
    }
  };
  // A function with a value program takes the values as they are; should it give up, they go
  // to the callee's slots.
  std::optional<PooledList> evaluated;
  if (valueProgramFor(function, argumentNodes.size())) {
    evaluated.emplace(*this);
    evaluateArguments([&](Value&& value) { evaluated->list.push_back(std::move(value)); });
    if (evaluated->list.size() == function.inputs.size() &&
        runValues(function, evaluated->list, result)) {
      return true;
    }
  }
  // Otherwise the arguments are evaluated (in the caller's activation) straight into the
  // callee's slots: slots are taken and given back in stack order, and calls made meanwhile
  // take theirs later.
  UserFrame frame(*this, *target, function, 0, 1);
  std::size_t given = 0;
  const auto take = [&](Value&& value) {
    if (given < function.inputs.size()) {
      const std::int32_t slot = function.inputSlots[given];
      if (slot >= 0) *frame.activation.slots[slot] = std::move(value);
    }
    ++given;
  };
  if (evaluated) {
    for (Value& value : evaluated->list) take(std::move(value));
  } else {
    evaluateArguments(take);
  }
  if (given > function.inputs.size()) {
    raiseAbout("Q:TooManyInputs", "Too many input arguments for '", function.name, "'.");
  }
  frame.activation.nargin = static_cast<int>(given);
  runFrame(frame);
  Value& output = *frame.activation.slots[function.outputSlots[0]];
  if (!output.isDefined()) unassignedOutput(function.outputs[0], function.name);
  result = std::move(output);
  return true;
}

bool Interpreter::runCompiled(const ast::Function& function, const double* inputs, double& out) {
  const ScalarRun run = runScalarProgram(*function.scalarProgram, inputs, out, 0);
  if (run == ScalarRun::GaveUp) function.programGaveUp = true;
  return run == ScalarRun::Done;
}

Q_EVERY_INSTRUCTION_BEGIN
Interpreter::ScalarRun Interpreter::runScalarProgram(const ast::ScalarProgram& program,
                                                     const double* inputs, double& out,
                                                     int nested) {
  using Op = ast::ScalarInstruction::Op;
  // The callee would be activation depth_ + nested + 1, which the usual way refuses past the
  // limit, raising the recursion error.
  if (depth_ + nested >= kMaxCallDepth || frameBelow(callStackFloor_)) return ScalarRun::GaveUp;
  poll();
  double registers[ast::ScalarProgram::kMaxRegisters];
  double stack[ast::ScalarProgram::kMaxStack];
  std::size_t top = 0;
  for (std::size_t i = 0; i < program.inputSlots.size(); ++i) {
    if (program.inputSlots[i] >= 0) registers[program.inputSlots[i]] = inputs[i];
  }
  const ast::ScalarInstruction* code = program.code.data();
  for (std::size_t next = 0;;) {
    const ast::ScalarInstruction& instruction = code[next++];
    switch (instruction.op) {
#define Q_NOTHING_STORED(slot)
      Q_SCALAR_CASES(Q_NOTHING_STORED)
#undef Q_NOTHING_STORED
      Q_FUNCTION_CASES
      case Op::Return:
        out = registers[instruction.a];
        return ScalarRun::Done;
      Q_LOOP_ONLY_CASES
      Q_VALUE_ONLY_CASES
      case Op::Not:
        return ScalarRun::GaveUp;  // the instructions of loops and value programs: none here
      default:
        __builtin_unreachable();  // every instruction has its case above
    }
  }
}
Q_EVERY_INSTRUCTION_END

Interpreter::ScalarRun Interpreter::callFromScalarProgram(const ast::Identifier& name, int count,
                                                          double* arguments, int nested) {
  const Target* target;
  if (!remembered(name, target)) return ScalarRun::Declined;
  if (!target) return ScalarRun::GaveUp;
  if (target->kind == Target::Kind::Pure) {
    if (count == 0) {
      if (!target->constant) return ScalarRun::GaveUp;
      arguments[0] = target->constantValue;
      return ScalarRun::Done;
    }
    const bool done =
        count == 1 ? target->scalar && target->scalar(arguments[0], arguments[0])
                   : count == 2 && target->scalar2 &&
                         target->scalar2(arguments[0], arguments[1], arguments[0]);
    return done ? ScalarRun::Done : ScalarRun::GaveUp;
  }
  if (target->kind != Target::Kind::User) return ScalarRun::GaveUp;
  const ast::Function& function = *target->file->tree.functions[target->functionIndex];
  if (compiledFor(function, static_cast<std::size_t>(count))) {
    return runScalarProgram(*function.scalarProgram, arguments, arguments[0], nested + 1);
  }
  // A value program whose result is a number: its output is never assigned anything else.
  const ast::ValueProgram* values = function.valueProgram.get();
  if (valueProgramFor(function, static_cast<std::size_t>(count)) &&
      (values->values >> function.outputSlots[0] & 1) == 0) {
    ProgramValue inputs[ast::ScalarProgram::kMaxInputs]{};
    for (int i = 0; i < count; ++i) inputs[i].number = arguments[i];
    ProgramValue out{};
    const ScalarRun run = runValueProgram(*values, inputs, out, nested + 1);
    if (run == ScalarRun::Done) arguments[0] = out.number;
    return run;
  }
  return ScalarRun::GaveUp;
}

void Interpreter::linkToWorkspace(Activation& activation, const ast::Function& function,
                                  Workspace& workspace) {
  for (std::size_t i = 0; i < function.variables.size(); ++i) {
    activation.slots[i] = &workspace.obtain(function.variables[i]);
  }
}

void Interpreter::runScript(const LoadedFilePtr& file, Workspace& workspace, int nargout) {
  const ast::Function& function = *file->tree.functions[0];
  Activation activation;
  SlotGuard slots(*this, static_cast<std::uint32_t>(function.variables.size()));
  activation.function = &function;
  activation.info = &file->info[0];
  activation.file = file.get();
  activation.name = file->path.empty() ? &kEvalName : &function.name;
  activation.slots = slots.allocation.pointers;
  activation.slotCount = slots.allocation.count;
  activation.workspace = &workspace;
  activation.scriptLike = true;
  activation.nargout = nargout;
  activation.line = 1;
  linkToWorkspace(activation, function, workspace);
  ActivationScope scope(*this, activation);
  execute(function.body);
}

void Interpreter::callAnonymous(const FunctionHandleData& handle, int nargout, ValueList& arguments,
                                ValueList& results) {
  const ast::AnonymousFunction& node = *handle.anonymous;
  const std::size_t fixed = node.parameters.size() - (node.varargin ? 1 : 0);
  if (!node.varargin && arguments.size() > fixed) {
    raise("Q:TooManyInputs", "Too many input arguments for " + handle.text + ".");
  }
  Workspace workspace;
  Activation activation;
  SlotGuard slots(*this, static_cast<std::uint32_t>(node.frameSize()));
  activation.file = handle.context.get();
  activation.name = &handle.text;
  activation.slots = slots.allocation.pointers;
  activation.slotCount = slots.allocation.count;
  activation.workspace = &workspace;
  activation.nargin = static_cast<int>(arguments.size());
  activation.nargout = nargout;
  activation.line = node.location.line;
  const std::size_t named = std::min(arguments.size(), fixed);
  for (std::size_t i = 0; i < named; ++i) {
    if (node.parameters[i] != "~") *activation.slots[i] = std::move(arguments[i]);
  }
  if (node.varargin) {
    const std::size_t extra = arguments.size() - named;
    ArrayPtr cell = checked(zyCreateCellMatrix(1, extra));
    for (std::size_t i = 0; i < extra; ++i) {
      zySetCell(cell.get(), i, arguments[named + i].release().release());
    }
    *activation.slots[fixed] = Value::adopt(std::move(cell));
  }
  for (std::size_t i = 0; i < handle.captures.size(); ++i) {
    *activation.slots[node.parameters.size() + i] = handle.captures[i];
  }
  ActivationScope scope(*this, activation);
  try {
    evaluateWithNargout(*node.body, nargout, results);
  } catch (QError& error) {
    if (!error.hasStack()) completeStack(error);
    throw;
  } catch (const zy::ScriptError& error) {
    throwWithStack(error.identifier(), error.what());
  }
}

void Interpreter::callGateway(GatewayFunction gateway, KvnCallBase* external,
                              const std::string& name, int nargout, ValueList& arguments,
                              ValueList& results) {
  const std::size_t count = arguments.size();
  std::vector<zyArray*> inputs(count, nullptr);
  const std::size_t slots = static_cast<std::size_t>(std::max(nargout, 1));
  std::vector<zyArray*> outputs(slots, nullptr);
  struct Cleanup {
    std::vector<zyArray*>& inputs;
    std::vector<zyArray*>& outputs;
    ~Cleanup() {
      for (zyArray* array : inputs) zyDestroyArray(array);
      for (zyArray* array : outputs) zyDestroyArray(array);
    }
  } cleanup{inputs, outputs};
  for (std::size_t i = 0; i < count; ++i) inputs[i] = arguments[i].toArray().release();
  try {
    if (external) {
      (*external)(nargout, outputs.data(), static_cast<int>(count), inputs.data());
    } else {
      gateway(nargout, outputs.data(), static_cast<int>(count), inputs.data());
    }
  } catch (const QError&) {
    // A stop raised in Q code that the callback called ends this call too, whatever the
    // callback made of it.
    if (stopping()) raiseStop();
    throw;
  } catch (const zy::ScriptError&) {
    if (stopping()) raiseStop();
    throw;
  } catch (const std::exception& error) {
    if (stopping()) raiseStop();
    raise("Q:externalFunction", "'" + name + "' failed: " + error.what());
  }
  for (std::size_t i = 0; i < slots; ++i) {
    if (!outputs[i]) break;
    zyArray* output = outputs[i];
    outputs[i] = nullptr;
    // The callee may hand back one of its inputs; the engine destroys inputs itself.
    for (zyArray*& input : inputs) {
      if (input == output) input = nullptr;
    }
    results.push_back(Value::adopt(output));
  }
  if (static_cast<int>(results.size()) < nargout) {
    raise("Q:TooManyOutputs", "Too many output arguments for '" + name + "'.");
  }
}

// ---------------------------------------------------------------------------------------------
// Handles

Value Interpreter::makeHandle(const std::string& name, LoadedFilePtr context) {
  auto handle = std::make_shared<FunctionHandleData>();
  handle->name = name;
  handle->text = name;
  handle->context = std::move(context);
  return Value::adopt(makeFunctionHandleArray(std::move(handle)));
}

Value Interpreter::handleFromText(const std::string& text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) raise("Q:invalidInput", "str2func needs a function name.");
  if (text[start] != '@')
    return makeHandle(text.substr(start, text.find_last_not_of(" \t") - start + 1), nullptr);
  auto holder = std::make_shared<LoadedFile>();
  try {
    holder->expression = parseExpression(text, "str2func");
  } catch (const SyntaxError& error) {
    raise("Q:syntaxError", error.what());
  }
  if (holder->expression->kind == ast::NodeKind::FunctionHandle) {
    return makeHandle(holder->expression->as<ast::FunctionHandle>().name, nullptr);
  }
  if (holder->expression->kind != ast::NodeKind::AnonymousFunction) {
    raise("Q:invalidInput", "str2func needs a function name or an anonymous function.");
  }
  auto handle = std::make_shared<FunctionHandleData>();
  handle->anonymous = &holder->expression->as<ast::AnonymousFunction>();
  handle->text = anonymousText(*handle->anonymous);
  handle->context = holder;
  handle->keepAlive = holder;
  return Value::adopt(makeFunctionHandleArray(std::move(handle)));
}

void Interpreter::callValue(const Value& callee, int nargout, ValueList& arguments,
                            ValueList& results) {
  if (!results.empty()) {
    PooledList own(*this);
    callValue(callee, nargout, arguments, own.list);
    appendResults(own.list, nargout, results);
    return;
  }
  const FunctionHandleData* handle = functionHandleOf(callee.isArray() ? callee.array() : nullptr);
  if (!handle) raise("Q:invalidInput", "The value called is not a function handle.");
  // The handle may live in a variable the call changes: keep it alive.
  const auto keep =
      *static_cast<const std::shared_ptr<const FunctionHandleData>*>(zyGetPayload(callee.array()));
  if (handle->anonymous) {
    callAnonymous(*keep, nargout, arguments, results);
    // A body that is a list (@() c{:}) gives no more values than were asked for.
    const std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
    if (results.size() > wanted) results.erase(results.begin() + wanted, results.end());
    return;
  }
  const TargetPtr target = resolve(keep->name, keep->context.get());
  if (!target) undefined(keep->name);
  call(*target, nargout, arguments, results);
}

void Interpreter::callFunction(const Value& function, int nargout, ValueList& arguments,
                               ValueList& results) {
  if (function.isFunctionHandle()) {
    callValue(function, nargout, arguments, results);
    return;
  }
  if (!isText(function)) {
    raise("Q:invalidInput", "A function is named by a character vector or a function handle.");
  }
  const std::string name = textOf(function, "a function name");
  const TargetPtr target = resolve(name, current_->file);
  if (!target) undefined(name);
  call(*target, nargout, arguments, results);
}

// ---------------------------------------------------------------------------------------------
// Entry points

const Target* Interpreter::resolveEntry(const char* name, EntryPin& pin) {
  const std::uint64_t generation = dispatcher_.generation();
  for (EntryResolution& entry : entryResolutions_) {
    if (entry.generation == generation && std::strcmp(entry.name.c_str(), name) == 0) {
      pin.hold(entry);
      return entry.target.get();
    }
  }
  TargetPtr target = resolve(name, nullptr);
  if (!target) return nullptr;
  // The next remembered entry that no running call holds (a call from a host callback may
  // resolve names while outer calls run); when all are held, the pin keeps the target alone.
  for (std::size_t tried = 0; tried < kEntryResolutions; ++tried) {
    EntryResolution& entry = entryResolutions_[nextEntryResolution_];
    nextEntryResolution_ = (nextEntryResolution_ + 1) % kEntryResolutions;
    if (entry.pins != 0) continue;
    entry.name = name;
    entry.target = std::move(target);
    entry.generation = generation;
    pin.hold(entry);
    return entry.target.get();
  }
  pin.spare = std::move(target);
  return pin.spare.get();
}

void Interpreter::callByName(const char* name, int nargout, ValueList& arguments,
                             ValueList& results) {
  EntryPin pin;
  const Target* target = resolveEntry(name, pin);
  if (!target) undefined(name);
  try {
    call(*target, nargout, arguments, results);
  } catch (QError& error) {
    if (!error.hasStack()) completeStack(error);
    throw;
  } catch (const zy::ScriptError& error) {
    throwWithStack(error.identifier(), error.what());
  }
}

bool Interpreter::callCompiledByName(const char* name, int nargout, int count,
                                     const zyArray* const* inputs, double& out) {
  if (nargout > 1 || count < 0 || count > static_cast<int>(ast::ScalarProgram::kMaxInputs)) {
    return false;
  }
  double values[ast::ScalarProgram::kMaxInputs];
  for (int i = 0; i < count; ++i) {
    if (!inputs[i] || !Value::isRealScalar(inputs[i])) return false;
    values[i] = *inputs[i]->elements<double>();
  }
  EntryPin pin;
  const Target* target = resolveEntry(name, pin);
  if (!target || target->kind != Target::Kind::User) return false;
  const ast::Function& function = *target->file->tree.functions[target->functionIndex];
  if (!compiledFor(function, static_cast<std::size_t>(count))) return false;
  try {
    return runCompiled(function, values, out);
  } catch (QError& error) {
    // An interrupt or a budget stop, raised by the program's polls.
    if (!error.hasStack()) completeStack(error);
    throw;
  }
}

void Interpreter::evalText(const std::string& text, bool inCaller, int nargout,
                           ValueList* results) {
  Workspace& workspace = inCaller ? *current_->workspace : base_;
  LoadedFilePtr file = parseText(text, "");
  if (nargout > 0 && results) {
    // A value is wanted: the text must be one expression (a trailing ';' is allowed).
    const ast::Function& function = *file->tree.functions[0];
    if (function.body.size() != 1 || function.body[0]->kind != ast::NodeKind::ExpressionStatement) {
      raise("Q:evalValue", "eval with outputs needs a text that is one expression.");
    }
    Activation activation;
    SlotGuard slots(*this, static_cast<std::uint32_t>(function.variables.size()));
    activation.function = &function;
    activation.info = &file->info[0];
    activation.file = file.get();
    activation.name = &kEvalName;
    activation.slots = slots.allocation.pointers;
    activation.slotCount = slots.allocation.count;
    activation.workspace = &workspace;
    activation.scriptLike = true;
    activation.line = 1;
    linkToWorkspace(activation, function, workspace);
    ActivationScope scope(*this, activation);
    try {
      evaluateWithNargout(*function.body[0]->as<ast::ExpressionStatement>().expression, nargout,
                          *results);
    } catch (QError& error) {
      if (!error.hasStack()) completeStack(error);
      throw;
    } catch (const zy::ScriptError& error) {
      throwWithStack(error.identifier(), error.what());
    }
    return;
  }
  runScript(file, workspace, 0);
}

}  // namespace q
