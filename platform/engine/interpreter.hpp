#pragma once
// The Q-code interpreter of one engine instance: it walks the syntax trees of the front end,
// keeps the instance's workspaces, globals, persistents, figures and user data, and calls
// functions by name. kvnInstance (instance.hpp) is its public face; nothing here is exported.
//
// One Interpreter belongs to one kvnInstance and runs on whichever thread calls the instance
// while that thread holds kvn_mutex, so it needs no locks of its own.
//
// The code is split by what it does: evaluator.cpp (expressions, statements, control flow),
// indexing.cpp (reading a(i), c{i}, s.f), assignment.cpp (indexed assignment, growth,
// deletion), calls.cpp (calling functions, handles, closures), builtins_core.cpp and
// builtins_text.cpp (the built-ins that need the interpreter), figures.cpp (the headless figure
// model), runtime_functions.cpp (the functions the runtime library calls by name).

#include <atomic>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ast.hpp"
#include "engine/builtin_table.hpp"
#include "engine/errors.hpp"
#include "engine/native_stack.hpp"
#include "engine/open_files.hpp"
#include "engine/scalar_program.hpp"
#include "engine/value.hpp"
#include "zy/display.hpp"

class CmdWinSink;
class KvnCallBase;
class Qdispatcher;
class kvnCallControl;
class kvnInstance;

namespace q {

class Interpreter;
struct LoadedFile;
using LoadedFilePtr = std::shared_ptr<const LoadedFile>;
struct Target;
using TargetPtr = std::shared_ptr<const Target>;

// The gateway shape of native extensions and host callbacks.
using GatewayFunction = void (*)(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);

// A value as a value program (ast::ValueProgram) holds it: a number (array null), or an array,
// owned (destroyed with the holder) or borrowed from where it was read. Not initialised by
// default (a program's value stack is set as it is used): write ProgramValue x{}.
struct ProgramValue {
  zyArray* array;
  double number;
  bool owned;
};

// What a name resolves to when it is called.
struct Target {
  enum class Kind : std::uint8_t { None, User, Pure, Interpreter, External, Native };
  Kind kind = Kind::None;
  LoadedFilePtr file;     // User: the file that holds the function
  int functionIndex = 0;  // User: index into file->tree.functions
  BuiltinFunction pure = nullptr;
  InterpreterBuiltin builtin = nullptr;
  boost::shared_ptr<KvnCallBase> external;
  GatewayFunction native = nullptr;
  ScalarFunction scalar = nullptr;  // Pure: the function of one real scalar, if it has one
  ShapeQuery query = nullptr;       // Pure: the answer from an array's shape, if it is one
  bool logicalQuery = false;        // Pure: that answer is logical
  ScalarFunction2 scalar2 = nullptr;  // Pure: the function of two real scalars, if it has one
  bool constant = false;              // Pure: a constant (ast::builtinConstant), of this value
  double constantValue = 0;
  std::string name;
  std::string path;  // the file that defines it, for which; empty for built-ins
};

// Facts about one function of a file, computed once when the file is loaded.
struct FunctionInfo {
  std::int32_t ansSlot = -1;
};

// A parsed Q file (or an eval text), kept while anything that runs it or refers to it lives.
struct LoadedFile : std::enable_shared_from_this<LoadedFile> {
  std::string path;    // full path; "" for eval text
  std::string folder;  // the folder holding it; "" for eval text
  bool compiled = false;
  std::int64_t modified = 0;  // modification time in nanoseconds
  ast::SourceFile tree;
  std::vector<FunctionInfo> info;  // parallel to tree.functions
  // Calls made from this file, resolved once per dispatcher generation.
  mutable std::unordered_map<std::string, TargetPtr> calls;
  mutable std::uint64_t callsGeneration = 0;

  // A str2func text: the expression, which handles into it keep alive through this file.
  ast::ExpressionPtr expression;

  int localFunction(const std::string& name) const;
  LoadedFilePtr self() const { return shared_from_this(); }
};

struct Activation;

// Each level of Q recursion takes a few kilobytes of native stack, more in sanitizer builds and
// more again through cellfun or eval, and the engine runs on its callers' threads, whose stacks
// may be small: so an activation is refused when less than this is left of the thread's stack,
// which covers what one activation may need before the next is checked (a deeply nested
// expression, a built-in, parsing a file).
constexpr std::size_t kCallStackReserve = 512 * 1024 * kNativeFrameScale;

// Variables of a workspace that are not slots of the function running in it: the base
// workspace's variables and names made at run time by eval or scripts. Entries are never
// erased while the workspace lives (clear makes them undefined), so pointers to them stay valid.
struct Workspace {
  Activation* owner = nullptr;  // the function activation whose slots live here; null for base
  using Variables = std::unordered_map<std::string, std::shared_ptr<Value>>;
  // Made with the first such name: most function activations never have one.
  std::unique_ptr<Variables> variables;

  bool hasVariables() const { return variables && !variables->empty(); }
  // The variable called name, made (undefined) when missing; value, when given, becomes it.
  Value& add(const std::string& name, std::shared_ptr<Value> value = nullptr);

  // The variable called name (slot or run-time name), or null; it may be undefined.
  Value* find(const std::string& name);
  // The variable called name, made (undefined) when missing.
  Value& obtain(const std::string& name);
  // Names of defined variables, sorted.
  std::vector<std::string> names() const;
};

// One running function, script, eval text or anonymous function.
struct Activation {
  const ast::Function* function = nullptr;  // null for an anonymous function
  const FunctionInfo* info = nullptr;
  const LoadedFile* file = nullptr;   // resolves local and private functions; null for none
  const std::string* name = nullptr;  // for the error stack
  Value** slots = nullptr;            // slot i is *slots[i]
  std::uint32_t slotCount = 0;
  Workspace* workspace = nullptr;  // own for functions; the caller's for scripts and eval
  bool scriptLike = false;         // script or eval: names without a slot may be variables
  int nargin = 0;
  int nargout = 0;
  std::uint32_t line = 0;
  Activation* caller = nullptr;
  // Globals and persistents the slots point to, kept alive while the activation runs.
  std::vector<std::shared_ptr<Value>> links;
};

// Flow of control out of a statement list.
enum class Flow : std::uint8_t { Normal, Break, Continue, Return };

// Payload of a function-handle array (class id 16, class name "function_handle").
struct FunctionHandleData {
  std::string name;  // named handle (@sin); empty for an anonymous function
  // Anonymous function: its node, the tree that holds it, and the captured values in order.
  const ast::AnonymousFunction* anonymous = nullptr;
  std::shared_ptr<const void> keepAlive;
  std::vector<Value> captures;
  LoadedFilePtr context;  // file whose local functions the handle sees
  std::string text;       // what func2str returns: "sin" or "@(x)x+1"
};
ArrayPtr makeFunctionHandleArray(std::shared_ptr<const FunctionHandleData> handle);
// The handle of a function-handle array, or null.
const FunctionHandleData* functionHandleOf(const zyArray* array);

struct Figure {
  double handle = 0;
  std::map<std::string, Value> properties;  // by lower-case name
  std::vector<std::string> propertyOrder;   // property names as first written
};

// Where printed output goes; set by kvnInstance from its options.
struct OutputSinks {
  boost::shared_ptr<CmdWinSink> print;
  boost::shared_ptr<CmdWinSink> error;
};

class Interpreter {
 public:
  // Deeper recursion is an error rather than a crash (and so is less native stack left than
  // kCallStackReserve).
  static constexpr int kMaxCallDepth = 500;
  Interpreter(kvnInstance& owner, Qdispatcher& dispatcher, OutputSinks sinks);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // ---- Entry points (kvnInstance) ----
  // Calls the function (or script) name from the base workspace, as feval does: variables of
  // the workspace are not looked at.
  void callByName(const char* name, int nargout, ValueList& arguments, ValueList& results);
  // The short way for callByName when every input is a real double scalar and name is a
  // function with a compiled scalar program: true, with its one result in out, when the program
  // ran to the end; false when the call must go the usual way (nothing has happened then).
  bool callCompiledByName(const char* name, int nargout, int count, const zyArray* const* inputs,
                          double& out);
  // Runs text as statements in the base workspace (or, inside a running function, in the
  // workspace of the innermost activation when inCaller is set).
  void evalText(const std::string& text, bool inCaller, int nargout, ValueList* results);
  // Adds the stack of the activations that are running now to an error that has none.
  void completeStack(QError& error) const;

  // ---- Stops (kvnCallControl; evaluator.cpp) ----
  // Reads the budget and limits of the instance's control for a call from outside and forgets
  // the stop of an earlier call.
  void startCall();
  // Made at every loop iteration and every entry into Q code: one decrement and one relaxed load
  // unless a stop is due, which raises the stop's error.
  void poll() {
    const bool due = --pollCountdown_ == 0;
    if (__builtin_expect(due || interruptFlag_->load(std::memory_order_relaxed), false)) {
      pollSlowly();
    }
  }
  // The struct a catch gives for error: identifier, message and stack (file, name, line).
  static Value errorStruct(const QError& error);
  // True once the running call is being stopped: its error must not be caught, and every later
  // poll raises it again.
  bool stopping() const { return stop_ != Stop::None; }
  [[noreturn]] void raiseStop() const;
  // pause: sleeps without the engine mutex, waking early for an interrupt or the call's budget.
  void sleep(double seconds);

  // ---- Used by built-ins ----
  void print(const std::string& text);
  void printError(const std::string& text);
  void display(const std::string& name, const Value& value);
  std::string formatValue(const std::string& name, const Value& value);
  Activation* current() const { return current_; }
  // The innermost activation that is a function or the base (skipping scripts only when asked).
  Workspace& callerWorkspace();
  Workspace& baseWorkspace() { return base_; }
  Qdispatcher& dispatcher() { return dispatcher_; }
  kvnInstance& owner() { return owner_; }

  // Calls append what they return to results, which may already hold values (an argument list
  // being collected): max(nargout, 1) values at most, whatever the callee returns.
  void call(const Target& target, int nargout, ValueList& arguments, ValueList& results);
  void callValue(const Value& callee, int nargout, ValueList& arguments, ValueList& results);
  // Null when nothing of that name can be called.
  TargetPtr resolve(const std::string& name, const LoadedFile* context);
  // The same for a name written in the current file, remembered in the syntax tree. The target
  // stays valid until the outermost call into the instance returns.
  const Target* resolveCall(const ast::Identifier& identifier);

  // Value lists reused from call to call, so that calls do not allocate them.
  ValueList takeList() {
    if (listPool_.empty()) return ValueList();
    ValueList list = std::move(listPool_.back());
    listPool_.pop_back();
    return list;
  }
  void giveList(ValueList& list) {
    list.clear();
    if (list.capacity() != 0 && listPool_.size() < 256) listPool_.push_back(std::move(list));
  }
  // Calls a function handle, or the function a name or handle text names.
  void callFunction(const Value& function, int nargout, ValueList& arguments, ValueList& results);
  Value makeHandle(const std::string& name, LoadedFilePtr context);
  Value handleFromText(const std::string& text);

  // Globals, persistents and user data of the instance.
  std::shared_ptr<Value> global(const std::string& name);
  std::map<std::string, std::shared_ptr<Value>>& globals() { return globals_; }
  std::map<std::string, Value>& userData() { return userData_; }
  void clearAll();
  // Forgets the persistent variables of every function, or of the functions of one file, so
  // that they start empty again (clear all, clear functions, clear name).
  void clearPersistents(const LoadedFile* file = nullptr);

  zy::DisplayFormat& displayFormat() { return format_; }
  std::mt19937_64& random() { return random_; }
  std::chrono::steady_clock::time_point& ticTime() { return tic_; }
  std::string& lastError() { return lastError_; }
  std::string& lastWarning() { return lastWarning_; }
  std::string& lastWarningId() { return lastWarningId_; }

  // The figures of the instance, by handle.
  std::map<double, Figure>& figures() { return figures_; }
  double& currentFigure() { return currentFigure_; }
  // The files the program opened with fopen (builtins_files.cpp), closed with the instance.
  OpenFiles& openFiles() { return openFiles_; }
  // Whether the host lets code touch the file system (kvnCallControl::setFileAccess).
  bool fileAccess() const;

  struct ComponentData {
    std::string blobA, blobB, folder;
    bool set = false;
  };
  ComponentData& componentData() { return component_; }
  std::vector<std::string>& javaClassPath() { return javaClassPath_; }

  // Keeps the trees of eval texts and str2func alive as long as handles into them live.
  LoadedFilePtr parseText(const std::string& text, const std::string& name);

  // ---- Evaluation (evaluator.cpp) ----
  Value evaluate(const ast::Expression& expression);
  void evaluateMulti(const ast::Expression& expression, ValueList& out);
  void evaluateWithNargout(const ast::Expression& expression, int nargout, ValueList& out);
  // The statements of the list from index from on.
  Flow execute(const ast::StatementList& statements, std::size_t from = 0);

  // ---- Indexing (indexing.cpp) and assignment (assignment.cpp) ----
  struct Subscript {
    enum class Kind : std::uint8_t { Colon, Scalar, List };
    Kind kind = Kind::Colon;
    std::size_t scalar = 0;            // Scalar: 0-based index
    std::vector<std::size_t> indices;  // List: 0-based indices
    std::vector<std::size_t> shape;    // List: the dimensions of the index array
    bool logical = false;              // List came from a logical mask
  };
  using Subscripts = std::vector<Subscript>;
  Subscripts makeSubscripts(ValueList& arguments);
  Value indexParen(const Value& object, ValueList& arguments);
  void indexBrace(const Value& object, ValueList& arguments, ValueList& out);
  void indexField(const Value& object, const std::string& field, ValueList& out);
  void assignParen(Value& object, ValueList& arguments, Value rhs);
  void assignBrace(Value& object, ValueList& arguments, Value rhs);
  void assignField(Value& object, const std::string& field, Value rhs);
  // [c{...}] = ... and [s.f] = ...: one value of the list into each element the index names,
  // in order (cells grow as c{i} = v would grow them).
  void assignBraceEach(Value& object, ValueList& arguments, ValueList& values);
  void assignFieldEach(Value& object, const std::string& field, ValueList& values);
  void deleteElements(Value& object, ValueList& arguments);

 private:
  friend struct ActivationScope;

  // evaluator.cpp
  // A scalar assignment computed without values or calls (see evaluator.cpp); true when done.
  bool assignScalar(const ast::Statement& statement);
  // execute, inline, for loop bodies.
  Flow executeBlock(const ast::StatementList& statements, std::size_t from = 0);
  Flow executeStatement(const ast::Statement& statement);
  void executeExpressionStatement(const ast::ExpressionStatement& statement);
  void executeAssignment(const ast::Assignment& statement);
  // x = [x, a, ...] or x = [x; a; ...], done by appending to x where it is when that gives what
  // concatenating would; true when done.
  bool appendInPlace(const ast::Identifier& target, const ast::Rows& rows, Value& slot);
  void executeMultipleAssignment(const ast::MultipleAssignment& statement);
  Flow executeIf(const ast::If& statement);
  Flow executeFor(const ast::For& statement);
  Flow executeWhile(const ast::While& statement);
  // The loops from the tree, without their compiled programs.
  Flow executeForFromTree(const ast::For& statement);
  Flow executeWhileFromTree(const ast::While& statement);
  // Rounds from..count-1 of a for loop over first + i * increment.
  Flow continueFor(const ast::For& statement, double first, double increment, std::size_t count,
                   std::size_t from);
  Flow executeSwitch(const ast::Switch& statement);
  Flow executeTry(const ast::Try& statement);
  void executeDeclaration(const ast::Declaration& statement);
  Flow iterateColumns(const ast::For& statement, Value values);
  // What a for loop over values (with no columns), or over start:step:stop (with no values),
  // leaves in its variable.
  Value noColumns(const Value& values);
  Value emptyLoopValue(double start, double step, double stop);
  Value evaluateBinary(const ast::Binary& binary);
  // Element-wise operators with real double scalars over one array, in one pass (out of line:
  // evaluateBinary is on the path of recursive calls and keeps a small frame).
  struct PendingChain;
  [[gnu::noinline]] Value evaluateChain(const ast::Binary& binary);
  void evaluateChainOperand(const ast::Expression& expression, PendingChain& out);
  Value evaluateRange(const ast::Range& range);
  Value evaluateRows(const ast::Rows& rows);
  Value evaluateAnonymous(const ast::AnonymousFunction& node);
  Value evaluateEnd(const ast::End& node);
  bool evaluateCondition(const ast::Expression& expression);
  // An operand of && or || in a condition: it must be one value convertible to logical.
  bool shortCircuitCondition(const ast::Expression& operand, const char* op);
  // The value of an expression made only of real double scalars (numbers, scalar variables,
  // + - * / and unary minus), computed without making values; false when it is not one.
  bool scalarValue(const ast::Expression& expression, double& out);
  // A number or a scalar variable.
  // An operand of a decoded scalar step (ast::ScalarStep): the real scalar in a slot, or number.
  bool scalarSlot(std::int32_t slot, double number, double& out) const {
    if (slot < 0) {
      out = number;
      return true;
    }
    const Value& value = *current_->slots[slot];
    out = value.scalar();
    return value.isScalar();
  }
  // v(k) or v(i, j) for an element of a real double variable, or f(x) for a pure built-in of one
  // scalar whose resolution is known: the scalar arithmetic of scalarValue, without side effects.
  bool scalarOfIndex(const ast::Index& node, double& out);
  // v(k) = x or v(i, j) = x with x scalar arithmetic and an existing element of the real double
  // variable v (or v(1) of a scalar): written in place; false, having done nothing, otherwise.
  bool assignElement(const ast::Assignment& assignment);
  // The real double array value holds and the position of the element the subscripts (one or
  // two real scalars) name, when it exists; null otherwise.
  const zyArray* elementOf(const std::vector<ast::ExpressionPtr>& subscripts, const Value& value,
                           std::size_t& index);
  // What the call of identifier resolved to, when that is remembered for the dispatcher as it is
  // now (target may be null: it resolved to nothing); false when it is not.
  bool remembered(const ast::Identifier& identifier, const Target*& target) const;
  // What a name that is no variable here was resolved to, when that is known; null otherwise.
  const Target* knownTarget(const ast::Identifier& name) const;
  // The built-in with a scalar form a name that is no variable here resolved to, or null.
  const Target* scalarTarget(const ast::Identifier& name) const;
  // f(v) of a built-in that answers from the shape of the array in variable v (numel, isempty):
  // the answer, without making either array; false when f or v is not such.
  bool shapeQuery(const Target& target, const ast::Expression& argument, double& out);
  // A condition f(v) or ~f(v) with f such a built-in: its truth.
  bool conditionQuery(const ast::Expression& expression, bool& truth);
  // Runs compiled scalar arithmetic: false, having changed nothing, when an operand is no real
  // scalar (see ast::ScalarCode); callFailed then tells whether a called name has no scalar
  // form as it resolves now.
  bool runScalar(const ast::ScalarCode& code, double& out, bool& callFailed) const;
  // The value of an assignment as a real scalar (compiled or not), if it is one.
  bool assignedScalar(const ast::Assignment& assignment, double& out);
  bool scalarLeaf(const ast::Expression& expression, double& out) const {
    if (expression.kind == ast::NodeKind::Identifier) {
      const std::int32_t slot = static_cast<const ast::Identifier&>(expression).slot;
      if (slot < 0) return false;
      const Value& value = *current_->slots[slot];
      out = value.scalar();
      return value.isScalar();
    }
    if (expression.kind == ast::NodeKind::Number) {
      const auto& number = static_cast<const ast::Number&>(expression);
      out = number.value;
      return !number.imaginary;
    }
    return false;
  }
  void evaluateIndex(const ast::Index& node, int nargout, ValueList& out);
  // The steps of node from `step` on, applied to object (which may point to temporary).
  void applyIndexSteps(const ast::Index& node, std::size_t step, const Value* object,
                       Value& temporary, int nargout, ValueList& out);
  // A name that is not a variable, called with no arguments for one value.
  Value callWithoutArguments(const ast::Identifier& identifier);
  void evaluateArguments(const std::vector<ast::ExpressionPtr>& arguments, ValueList& out);
  // The arguments of step `step` of node, where `end` measures object.
  void evaluateIndexArguments(const ast::Index& node, std::size_t step, const Value* object,
                              ValueList& out);
  std::string fieldName(const ast::IndexStep& step);
  Value& variable(const ast::Identifier& identifier);
  Value* findVariable(const ast::Identifier& identifier);
  void assignTo(const ast::Expression& target, Value rhs);
  // Assigns rhs to step `step` onwards of the target node; with list, the last step (a brace or
  // field step) takes the values of the list instead.
  void assignSteps(Value& object, const ast::Index& node, std::size_t step, Value rhs,
                   bool deletion, ValueList* list = nullptr);
  // Targets of a multiple assignment that take a list of values (c{...}, s.f) and how many.
  static bool isListTarget(const ast::Expression& target);
  std::size_t listTargetCount(const ast::Index& node);
  void displayVariable(const ast::Expression& target);
  // Moves an element or field out of object for a nested assignment (undefined when missing).
  Value takeCellElement(Value& object, ValueList& arguments);
  // object{arguments} as a copy sharing its data; nothing when object is no cell or the
  // subscripts name no element, or several.
  Value copyCellElement(const Value& object, const ValueList& arguments);
  Value takeField(Value& object, const std::string& name);
  bool switchMatches(const Value& subject, const Value& candidate);
  [[noreturn]] void undefined(const std::string& name);
  // A variable of the current frame read before it has a value: Q:NotEnoughInputs for an
  // input the caller did not pass, else Q:undefined.
  [[noreturn]] void undefinedSlot(const ast::Identifier& identifier);
  // Throws a Q error with the stack of the running activations.
  [[noreturn]] void throwWithStack(const std::string& identifier, const std::string& message);

  // calls.cpp
  // call() without its guards: results must be empty on entry.
  void callTarget(const Target& target, int nargout, ValueList& arguments, ValueList& results);
  // call() into a results list that already holds values.
  void callAppending(const Target& target, int nargout, ValueList& arguments, ValueList& results);
  void callPure(const Target& target, int nargout, ValueList& arguments, ValueList& results);
  // Moves the values a call gave (no more than it was asked for) to the end of out.
  static void appendResults(ValueList& values, int nargout, ValueList& out);
  void callUser(const Target& target, int nargout, ValueList& arguments, ValueList& results);
  struct UserFrame;
  void runFrame(UserFrame& frame);
  // f(a, b) wanted for one value, where f is a user function that takes the arguments as they
  // are: called without argument and result lists. False, having done nothing, for any other
  // case, which the general path then takes.
  bool callDirect(const ast::Index& node, Value& result);
  // How a run of a compiled scalar program ended: with its result; declined for this call (a
  // name whose resolution is not known yet, which the usual way resolves, or a for loop over no
  // values), so that the usual way makes it and a later call may run the program; or on
  // something the program cannot do (the function then always runs from the tree).
  enum class ScalarRun : std::uint8_t { Done, Declined, GaveUp };
  // Whether function has a compiled scalar program (that has not given up) for that many inputs.
  static bool compiledFor(const ast::Function& function, std::size_t inputCount) {
    return function.scalarProgram && !function.programGaveUp &&
           inputCount == function.inputs.size();
  }
  // Runs that program on the inputs (real scalars): true, with out, when it ran to the end; a
  // run that gave up marks the function, which then always runs from the tree.
  bool runCompiled(const ast::Function& function, const double* inputs, double& out);
  // Runs the program of a function (ast::ScalarProgram) on its inputs; nested is the number of
  // programs this run is nested in.
  ScalarRun runScalarProgram(const ast::ScalarProgram& program, const double* inputs, double& out,
                             int nested);
  // The call name(arguments...) from inside a program: a built-in with a scalar form or a user
  // function with a program, resolved as the usual way last resolved it; the result replaces
  // the first argument.
  ScalarRun callFromScalarProgram(const ast::Identifier& name, int count, double* arguments,
                                  int nested);
  // value_programs.cpp.
  // Whether function has a value program (that has not given up) for that many inputs.
  static bool valueProgramFor(const ast::Function& function, std::size_t inputCount) {
    return function.valueProgram && !function.programGaveUp &&
           inputCount == function.inputs.size();
  }
  // Runs that program on arguments (one per input; the caller keeps them): true, with result,
  // when it ran to the end; a run that gave up marks the function.
  bool runValues(const ast::Function& function, const ValueList& arguments, Value& result);
  ScalarRun runValueProgram(const ast::ValueProgram& program, const ProgramValue* inputs,
                            ProgramValue& out, int nested);
  // The value program a call of target (as the usual way last resolved the name) with count
  // arguments runs from inside a value program: that of a user function, unless its scalar
  // program takes the arguments (all numbers). Null for anything else.
  static const ast::ValueProgram* valueCallee(const Target& target, const ProgramValue* arguments,
                                              std::size_t count);
  // Any other such call (the call instruction call): a built-in with a scalar form or a shape
  // query, or a user function with a scalar program.
  ScalarRun callFromValueProgram(const ast::ScalarInstruction& call, const Target& target,
                                 const ProgramValue* arguments, std::size_t count,
                                 ProgramValue& result, int nested);
  // {} and [] as value programs make them: what is kept of them is a shared copy, which costs a
  // header and no storage (trees of cells end in a {} per leaf).
  ArrayPtr emptyCell_;
  ArrayPtr emptyMatrix_;
  // loop_programs.cpp: a loop's compiled program (ast::LoopProgram). False, having done
  // nothing, when a scalar variable the loop reads first holds no real scalar; else the loop
  // ran, with flow the way it ended (Normal or Return).
  bool runLoopProgram(const ast::LoopProgram& program, Flow& flow);
  struct LoopRun;
  Flow runLoop(LoopRun& run);
  void writeBack(LoopRun& run);
  bool readBack(LoopRun& run, std::uint64_t required);
  bool runStatementOf(LoopRun& run, const ast::LoopProgram::ResumePoint& point);
  Flow handOver(const LoopRun& run, const ast::LoopProgram::ResumePoint& point, bool after);
  void callAnonymous(const FunctionHandleData& handle, int nargout, ValueList& arguments,
                     ValueList& results);
  void callGateway(GatewayFunction gateway, KvnCallBase* external, const std::string& name,
                   int nargout, ValueList& arguments, ValueList& results);
  void runScript(const LoadedFilePtr& file, Workspace& workspace, int nargout);
  void linkToWorkspace(Activation& activation, const ast::Function& function, Workspace& workspace);
  struct SlotAllocation {
    Value* values = nullptr;
    Value** pointers = nullptr;
    std::uint32_t count = 0;
  };
  SlotAllocation allocateSlots(std::uint32_t count);
  void releaseSlots(const SlotAllocation& allocation);
  friend struct SlotGuard;

  kvnInstance& owner_;
  Qdispatcher& dispatcher_;
  OutputSinks sinks_;

  // Stops. pollCountdown_ counts the polls left until the next look at the budget and step limit
  // (pollChunk_ polls apart); polls_ is the number of polls the call made before this chunk.
  enum class Stop : std::uint8_t { None, Interrupted, Budget, Steps };
  void pollSlowly();
  // Decides whether the running call must stop now (not counting a poll) and raises if so.
  void checkStop();
  void refillPolls();
  kvnCallControl& control_;
  const std::atomic<bool>* interruptFlag_;
  std::uint32_t pollCountdown_ = 1;
  std::uint32_t pollChunk_ = 1;
  std::uint64_t polls_ = 0;
  std::uint64_t stepLimit_ = 0;
  std::int64_t deadline_ = 0;  // CLOCK_MONOTONIC nanoseconds; 0: no budget
  double budgetSeconds_ = 0;
  Stop stop_ = Stop::None;
  Workspace base_;
  Activation* current_ = nullptr;
  int depth_ = 0;
  // The native stack of the thread running the outermost call (read once per call, see
  // native_stack.hpp): an activation whose frame lies below callStackFloor_, or a compound
  // statement below blockStackFloor_, is refused with Q:recursionLimit. 0: not checked.
  std::uintptr_t callStackFloor_ = 0;
  std::uintptr_t blockStackFloor_ = 0;
  void checkNestingRoom() const {
    if (frameBelow(blockStackFloor_)) nestingTooDeep();
  }
  [[noreturn]] static void nestingTooDeep();

  // `end` inside index arguments: the value being indexed by step `step` of `node`.
  struct EndContext {
    const ast::Index* node;
    std::uint32_t step;
    const Value* object;
  };
  std::vector<EndContext> endContexts_;

  // Slot storage for activations, used last-in first-out: blocks never move, so pointers into
  // them stay valid while the activation runs.
  struct SlotBlock {
    std::unique_ptr<Value[]> values;
    std::unique_ptr<Value*[]> pointers;
    std::uint32_t size = 0;
    std::uint32_t used = 0;
  };
  std::vector<SlotBlock> slotBlocks_;
  std::size_t slotBlock_ = 0;

  std::map<std::string, std::shared_ptr<Value>> globals_;
  std::map<std::pair<const ast::Function*, std::string>, std::shared_ptr<Value>> persistents_;
  std::map<std::string, Value> userData_;
  std::map<double, Figure> figures_;
  double currentFigure_ = 0;
  OpenFiles openFiles_;
  zy::DisplayFormat format_ = zy::DisplayFormat::Short;
  std::mt19937_64 random_;
  std::chrono::steady_clock::time_point tic_;
  std::string lastError_;
  std::string lastWarning_;
  std::string lastWarningId_;
  ComponentData component_;
  std::vector<std::string> javaClassPath_;
  Activation baseActivation_;
  std::string baseName_;
  std::vector<ValueList> listPool_;
  // The targets syntax trees remember (by plain pointer: a tree must not own what may own its
  // file), for the dispatcher generation they were resolved in; targets of older generations
  // stay until the outermost call returns, as calls may still run them.
  std::vector<TargetPtr> remembered_;
  std::uint64_t rememberedGeneration_ = 0;
  std::vector<TargetPtr> retired_;
  // Names called from outside (callByName) and what they resolved to in generation
  // `generation`, so that a repeated entry finds its function without hashing the name.
  struct EntryResolution {
    std::string name;
    TargetPtr target;
    std::uint64_t generation = 0;
    int pins = 0;  // calls from outside running through it: it is not replaced meanwhile
  };
  // Keeps the target of a call from outside alive while the call runs: a pinned remembered
  // entry, or (when every entry is pinned) a target of its own.
  struct EntryPin {
    EntryResolution* entry = nullptr;
    TargetPtr spare;
    void hold(EntryResolution& resolution) {
      entry = &resolution;
      ++resolution.pins;
    }
    ~EntryPin() {
      if (entry) --entry->pins;
    }
  };
  static constexpr std::size_t kEntryResolutions = 4;
  EntryResolution entryResolutions_[kEntryResolutions];
  std::size_t nextEntryResolution_ = 0;
  // What name, called from outside, resolves to (remembered per dispatcher generation); null
  // when nothing does.
  const Target* resolveEntry(const char* name, EntryPin& pin);
};

// A value list from the interpreter's pool, given back when the scope ends.
struct PooledList {
  explicit PooledList(Interpreter& owner) : interpreter(owner), list(owner.takeList()) {}
  ~PooledList() { interpreter.giveList(list); }
  PooledList(const PooledList&) = delete;
  PooledList& operator=(const PooledList&) = delete;
  Interpreter& interpreter;
  ValueList list;
};

// Pushes an activation for its lifetime.
struct ActivationScope {
  ActivationScope(Interpreter& interpreter, Activation& activation);
  ~ActivationScope();
  Interpreter& interpreter;
  Activation* previous;
};

// func2str text of an anonymous function: "@(x)x+1".
std::string anonymousText(const ast::AnonymousFunction& node);

// Text helpers used by several built-ins.
std::string textOf(const Value& value, const char* what);
bool isText(const Value& value);
std::string lower(std::string text);

}  // namespace q
