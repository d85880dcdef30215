#pragma once
// The syntax tree of Q-code, made for an evaluator that switches on `kind` and casts with as<T>()
// (no virtual calls but the destructor). Every node owns its children through unique_ptr and
// knows its line and column. Literal values are plain C++ values; making arrays of them is the
// evaluator's business.
//
// Names are resolved when a function is parsed (see variable_resolver.hpp): each Identifier
// carries the slot of its variable in the function's frame, or -1 when the name is not assigned
// anywhere in the function and so names a function to call. Each `end` knows which index
// position of which indexed value it stands for.
//
// Trees are not copyable; move them. Pointers between nodes (End::target) stay valid as long as
// the tree lives, moves included.

#include <cassert>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/syntax_error.hpp"

namespace q::ast {

enum class NodeKind : std::uint8_t {
  // Expressions
  Number,
  CharArray,
  Identifier,
  Colon,  // `:` standing for a whole dimension in an index
  End,
  Unary,
  Binary,
  Range,
  Postfix,
  Index,
  Matrix,
  Cell,
  AnonymousFunction,
  FunctionHandle,
  // Statements
  ExpressionStatement,
  Assignment,
  MultipleAssignment,
  If,
  For,
  While,
  Switch,
  Try,
  Break,
  Continue,
  Return,
  Global,
  Persistent,
};

enum class UnaryOperator : std::uint8_t { Plus, Minus, Not };

enum class BinaryOperator : std::uint8_t {
  OrOr,  // short-circuit
  AndAnd,
  Or,  // element-wise
  And,
  Less,
  LessEqual,
  Greater,
  GreaterEqual,
  Equal,
  NotEqual,
  Plus,
  Minus,
  Times,         // *
  Divide,        // /
  LeftDivide,    // backslash
  ElementTimes,  // .*
  ElementDivide,
  ElementLeftDivide,
  Power,  // ^
  ElementPower,
};

enum class PostfixOperator : std::uint8_t { Transpose, DotTranspose };

const char* spelling(UnaryOperator op);
const char* spelling(BinaryOperator op);
const char* spelling(PostfixOperator op);

// ---------------------------------------------------------------------------------------------
// Expressions

struct Expression {
  const NodeKind kind;
  // Written inside ( ): never an assignment target, and a list of values made by a {} index
  // inside it is cut to its first value.
  bool parenthesized = false;
  // 1 for a leaf, else 1 + the height of the highest operand. The parser bounds it, so walking
  // a tree recursively cannot exhaust the stack.
  std::uint32_t height = 1;
  SourceLocation location;

  virtual ~Expression() = default;
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  template <class T>
  T& as() {
    assert(T::classof(kind));
    return static_cast<T&>(*this);
  }
  template <class T>
  const T& as() const {
    assert(T::classof(kind));
    return static_cast<const T&>(*this);
  }

 protected:
  Expression(NodeKind nodeKind, SourceLocation where) : kind(nodeKind), location(where) {}
};

using ExpressionPtr = std::unique_ptr<Expression>;

#define Q_AST_NODE(NAME) \
  static bool classof(NodeKind k) { return k == NodeKind::NAME; }

struct Number final : Expression {
  Q_AST_NODE(Number)
  Number(SourceLocation where, double number, bool isImaginary)
      : Expression(NodeKind::Number, where), value(number), imaginary(isImaginary) {}
  double value;
  bool imaginary;  // the value is value * i
};

struct CharArray final : Expression {
  Q_AST_NODE(CharArray)
  // utf8Text is the literal with '' already turned into '. Bytes that are not valid UTF-8 become
  // U+FFFD in text.
  CharArray(SourceLocation where, std::string utf8Text);
  std::string utf8;
  std::u16string text;  // the 16-bit characters of the char array
};

struct Identifier final : Expression {
  Q_AST_NODE(Identifier)
  Identifier(SourceLocation where, std::string identifierName)
      : Expression(NodeKind::Identifier, where), name(std::move(identifierName)) {}
  std::string name;
  // The variable's slot in the frame of the enclosing function or anonymous function; -1 when
  // the name is not a variable there (a function to call).
  std::int32_t slot = -1;
  // The evaluator's memory of what the name, called as a function, resolved to: opaque to the
  // front end, valid while `resolvedBy` and `resolvedGeneration` match the evaluator's state.
  mutable const void* resolved = nullptr;
  mutable const void* resolvedBy = nullptr;
  mutable std::uint64_t resolvedGeneration = 0;
};

struct Colon final : Expression {
  Q_AST_NODE(Colon)
  explicit Colon(SourceLocation where) : Expression(NodeKind::Colon, where) {}
};

struct Index;

struct End final : Expression {
  Q_AST_NODE(End)
  explicit End(SourceLocation where) : Expression(NodeKind::End, where) {}
  // `end` stands for the last index of position `position` (0-based) among the `count`
  // arguments of step `step` of the index expression `target`; the value it measures is
  // target's base indexed by the steps before `step`.
  const Index* target = nullptr;
  std::uint32_t step = 0;
  std::uint32_t position = 0;
  std::uint32_t count = 0;
};

struct Unary final : Expression {
  Q_AST_NODE(Unary)
  Unary(SourceLocation where, UnaryOperator unaryOperator, ExpressionPtr operandExpression);
  UnaryOperator op;
  ExpressionPtr operand;
};

struct Binary final : Expression {
  Q_AST_NODE(Binary)
  Binary(SourceLocation where, BinaryOperator binaryOperator, ExpressionPtr leftOperand,
         ExpressionPtr rightOperand);
  BinaryOperator op;
  ExpressionPtr left;
  ExpressionPtr right;
  // The evaluator's memory that this run of element-wise operators last gave a real scalar, so
  // that it is next evaluated operator by operator rather than as a fused run.
  mutable bool gaveScalar = false;
};

// start:stop or start:step:stop
struct Range final : Expression {
  Q_AST_NODE(Range)
  Range(SourceLocation where, ExpressionPtr first, ExpressionPtr increment, ExpressionPtr last);
  ExpressionPtr start;
  ExpressionPtr step;  // null when not written
  ExpressionPtr stop;
};

struct Postfix final : Expression {
  Q_AST_NODE(Postfix)
  Postfix(SourceLocation where, PostfixOperator postfixOperator, ExpressionPtr operandExpression);
  PostfixOperator op;
  ExpressionPtr operand;
};

struct IndexStep {
  enum class Kind : std::uint8_t {
    Paren,         // (arguments)
    Brace,         // {arguments}
    Field,         // .field
    DynamicField,  // .(fieldExpression)
  };
  Kind kind;
  SourceLocation location;  // of the opening bracket or the dot
  std::vector<ExpressionPtr> arguments;
  std::string field;
  ExpressionPtr fieldExpression;
};

// A chain of index steps applied to a base: a(1, end).b{2}.(name). A call f(x) is the same node
// with an Identifier base whose slot is -1.
struct Index final : Expression {
  Q_AST_NODE(Index)
  Index(SourceLocation where, ExpressionPtr baseExpression);
  ExpressionPtr base;
  std::vector<IndexStep> steps;
  // Whether an expression of a step after the first names the base variable (1), or not (0);
  // -1 until an assignment to this target first asks.
  mutable std::int8_t laterStepsNameBase = -1;
};

// [a, b; c, d] and {a, b; c, d}. Empty rows are dropped, so [] and {} have no rows.
struct Rows : Expression {
  static bool classof(NodeKind k) { return k == NodeKind::Matrix || k == NodeKind::Cell; }
  std::vector<std::vector<ExpressionPtr>> rows;

 protected:
  using Expression::Expression;
};

struct Matrix final : Rows {
  Q_AST_NODE(Matrix)
  explicit Matrix(SourceLocation where) : Rows(NodeKind::Matrix, where) {}
};

struct Cell final : Rows {
  Q_AST_NODE(Cell)
  explicit Cell(SourceLocation where) : Rows(NodeKind::Cell, where) {}
};

// A variable of an enclosing frame that an anonymous function copies when it is created.
struct Capture {
  std::string name;
  std::int32_t outerSlot;  // in the frame where the anonymous function is created
};

// @(x, y) body. Its frame holds the parameters (slots 0 .. parameters.size()-1) and then the
// captured values (slot parameters.size() + i holds captures[i]).
struct AnonymousFunction final : Expression {
  Q_AST_NODE(AnonymousFunction)
  explicit AnonymousFunction(SourceLocation where)
      : Expression(NodeKind::AnonymousFunction, where) {}
  std::vector<std::string> parameters;  // "~" for an ignored one
  // The last parameter is varargin: its slot receives the arguments after the named ones as a
  // 1-by-N cell, and any number of arguments is accepted.
  bool varargin = false;
  std::vector<Capture> captures;
  ExpressionPtr body;
  std::size_t frameSize() const { return parameters.size() + captures.size(); }
};

// @name
struct FunctionHandle final : Expression {
  Q_AST_NODE(FunctionHandle)
  FunctionHandle(SourceLocation where, std::string functionName)
      : Expression(NodeKind::FunctionHandle, where), name(std::move(functionName)) {}
  std::string name;
};

// ---------------------------------------------------------------------------------------------
// Statements

struct Statement {
  const NodeKind kind;
  SourceLocation location;

  virtual ~Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  template <class T>
  T& as() {
    assert(T::classof(kind));
    return static_cast<T&>(*this);
  }
  template <class T>
  const T& as() const {
    assert(T::classof(kind));
    return static_cast<const T&>(*this);
  }

 protected:
  Statement(NodeKind nodeKind, SourceLocation where) : kind(nodeKind), location(where) {}
};

using StatementPtr = std::unique_ptr<Statement>;
using StatementList = std::vector<StatementPtr>;

// An expression on its own; its value is shown (as ans) unless the statement ends with ';'.
struct ExpressionStatement final : Statement {
  Q_AST_NODE(ExpressionStatement)
  ExpressionStatement(SourceLocation where, ExpressionPtr value)
      : Statement(NodeKind::ExpressionStatement, where), expression(std::move(value)) {}
  ExpressionPtr expression;
  bool display = true;
  // Written in command syntax (hold on): expression is a call with char array arguments.
  bool command = false;
};

// `x = a op b`, op one of + - * / (or .* ./), x a variable of the frame and a, b each a variable
// of the frame or a real number: decoded once when the variables are resolved, so that the
// interpreter runs it without walking the tree while both operands hold real scalars.
// The arithmetic a binary operator does on two real scalars, in the order + - * / that the
// compiled forms below (ScalarStep, ScalarOp, ScalarInstruction) list it: 0 for +, 1 for -, 2
// for * and .*, 3 for / and ./; -1 for every other operator.
int scalarArithmetic(BinaryOperator op);

struct ScalarStep {
  enum class Form : std::uint8_t { None, Add, Subtract, Multiply, Divide };
  Form form = Form::None;
  std::int32_t target = -1;
  std::int32_t left = -1, right = -1;  // slots; -1: leftNumber or rightNumber
  double leftNumber = 0, rightNumber = 0;
};

// Scalar arithmetic compiled once, in postfix order, when the variables are resolved: numbers,
// variables of the frame, elements v(k) of variables, unary minus, + - * / (and .* ./) and
// calls f(x) of a name that is no variable. The interpreter runs it on a stack of doubles while
// every operand is a real scalar (a variable holding one, an existing element of a real double
// array, a built-in with a scalar form) and otherwise evaluates the tree as usual.
//
// A binary operation whose right operand is a leaf takes it from where it is instead of from the
// stack: a variable (Slot), a number (Number) or an element v(k) with k a variable (Element); so
// do elements read on their own (ElementAt). Each operation then costs one dispatch.
struct ScalarOp {
  // The right operand of a binary operation: the stack, or a leaf fused into the operation.
  enum class Operand : std::uint8_t { Stack, Slot, Number, Element };
  enum class Code : std::uint8_t {
    Number,     // push number
    Slot,       // push the variable in slot
    Element,    // replace k on top by v(k), v the variable in slot
    ElementAt,  // push v(k), v the variable in slot, k the variable in index
    Negate,
    Call,       // replace x on top by f(x), f the built-in name resolves to
    // Binary operations, four of each: operand Stack, Slot, Number, Element in that order.
    Add, AddSlot, AddNumber, AddElement,
    Subtract, SubtractSlot, SubtractNumber, SubtractElement,
    Multiply, MultiplySlot, MultiplyNumber, MultiplyElement,
    Divide, DivideSlot, DivideNumber, DivideElement,
  };
  static Code fused(Code operation, Operand operand) {
    return static_cast<Code>(static_cast<int>(operation) + static_cast<int>(operand));
  }
  Code code;
  std::int32_t slot = -1;            // Slot, Element, ElementAt; the operand's variable or array
  double number = 0;                 // Number; the operand's number
  const Identifier* name = nullptr;  // Call: the called name, with its remembered resolution
  std::int32_t index = -1;           // ElementAt and operand Element: the variable holding k
};
struct ScalarCode {
  static constexpr std::size_t kMaxDepth = 16;  // of the stack it needs
  std::vector<ScalarOp> ops;  // empty: not compiled
  // The evaluator's memory that a call in the code resolved to a function without a scalar
  // form: opaque to the front end, valid while both match the evaluator's state.
  mutable const void* uncompiledBy = nullptr;
  mutable std::uint64_t uncompiledGeneration = 0;
};

// target = value. The target is an Identifier or an Index whose base is an Identifier; deleting
// elements is assigning [] (a Matrix without rows) to an indexed target.
struct Assignment final : Statement {
  Q_AST_NODE(Assignment)
  Assignment(SourceLocation where, ExpressionPtr targetExpression, ExpressionPtr valueExpression)
      : Statement(NodeKind::Assignment, where),
        target(std::move(targetExpression)),
        value(std::move(valueExpression)) {}
  ExpressionPtr target;
  ExpressionPtr value;
  bool display = true;
  ScalarStep step;  // set by the variable resolver
  ScalarCode code;  // the value, when it is scalar arithmetic but no step
};

// [a, ~, c] = value. A null target stands for ~ (that output is not kept).
struct MultipleAssignment final : Statement {
  Q_AST_NODE(MultipleAssignment)
  explicit MultipleAssignment(SourceLocation where)
      : Statement(NodeKind::MultipleAssignment, where) {}
  std::vector<ExpressionPtr> targets;
  ExpressionPtr value;
  bool display = true;
};

struct IfClause {
  SourceLocation location;  // of the if or elseif
  ExpressionPtr condition;
  StatementList body;
};

struct If final : Statement {
  Q_AST_NODE(If)
  explicit If(SourceLocation where) : Statement(NodeKind::If, where) {}
  std::vector<IfClause> clauses;  // the if and every elseif, in order
  bool hasElse = false;
  StatementList elseBody;
};

struct LoopProgram;

struct For final : Statement {
  Q_AST_NODE(For)
  explicit For(SourceLocation where) : Statement(NodeKind::For, where) {}
  std::unique_ptr<Identifier> variable;
  ExpressionPtr values;  // the loop runs over its columns
  StatementList body;
  std::shared_ptr<const LoopProgram> program;  // set by the variable resolver; may be null
};

struct While final : Statement {
  Q_AST_NODE(While)
  explicit While(SourceLocation where) : Statement(NodeKind::While, where) {}
  ExpressionPtr condition;
  StatementList body;
  std::shared_ptr<const LoopProgram> program;  // set by the variable resolver; may be null
};

struct SwitchCase {
  SourceLocation location;
  ExpressionPtr value;  // a number, a text, or a cell of them
  StatementList body;
};

struct Switch final : Statement {
  Q_AST_NODE(Switch)
  explicit Switch(SourceLocation where) : Statement(NodeKind::Switch, where) {}
  ExpressionPtr subject;
  std::vector<SwitchCase> cases;
  bool hasOtherwise = false;
  StatementList otherwise;
};

struct Try final : Statement {
  Q_AST_NODE(Try)
  explicit Try(SourceLocation where) : Statement(NodeKind::Try, where) {}
  StatementList body;
  bool hasCatch = false;
  std::unique_ptr<Identifier> catchVariable;  // null when catch names no variable
  StatementList catchBody;
};

struct Break final : Statement {
  Q_AST_NODE(Break)
  explicit Break(SourceLocation where) : Statement(NodeKind::Break, where) {}
};

struct Continue final : Statement {
  Q_AST_NODE(Continue)
  explicit Continue(SourceLocation where) : Statement(NodeKind::Continue, where) {}
};

struct Return final : Statement {
  Q_AST_NODE(Return)
  explicit Return(SourceLocation where) : Statement(NodeKind::Return, where) {}
};

// global a b / persistent n
struct Declaration : Statement {
  static bool classof(NodeKind k) { return k == NodeKind::Global || k == NodeKind::Persistent; }
  std::vector<std::unique_ptr<Identifier>> names;

 protected:
  using Statement::Statement;
};

struct Global final : Declaration {
  Q_AST_NODE(Global)
  explicit Global(SourceLocation where) : Declaration(NodeKind::Global, where) {}
};

struct Persistent final : Declaration {
  Q_AST_NODE(Persistent)
  explicit Persistent(SourceLocation where) : Declaration(NodeKind::Persistent, where) {}
};

#undef Q_AST_NODE

// Calls body(list, loop) for each statement list directly inside statement (the bodies of an
// if, a loop, a switch or a try), loop telling whether the list is a loop's body. Statement may
// be const, and the lists are then const too.
template <class AnyStatement, class Body>
void forEachBody(AnyStatement& statement, Body&& body) {
  switch (statement.kind) {
    case NodeKind::If: {
      auto& node = statement.template as<If>();
      for (auto& clause : node.clauses) body(clause.body, false);
      body(node.elseBody, false);
      return;
    }
    case NodeKind::For:
      body(statement.template as<For>().body, true);
      return;
    case NodeKind::While:
      body(statement.template as<While>().body, true);
      return;
    case NodeKind::Switch: {
      auto& node = statement.template as<Switch>();
      for (auto& item : node.cases) body(item.body, false);
      body(node.otherwise, false);
      return;
    }
    case NodeKind::Try:
      body(statement.template as<Try>().body, false);
      body(statement.template as<Try>().catchBody, false);
      return;
    default:
      return;
  }
}

// ---------------------------------------------------------------------------------------------
// Functions and files

// A function of a function file, or the statements of a script (isScript, no inputs or
// outputs, named after the file).
struct ScalarProgram;
struct ValueProgram;

struct Function {
  std::string name;
  std::string file;         // as given to the parser
  SourceLocation location;  // of the `function` keyword; 1:1 for a script
  bool isScript = false;
  std::vector<std::string> inputs;   // in order, without varargin; "~" for an ignored input
  bool varargin = false;             // the last input is varargin
  std::vector<std::string> outputs;  // in order, without varargout
  bool varargout = false;            // the last output is varargout
  // The comment block after the declaration line (for a script: the one the file starts
  // with), one line per comment line without its '%', each line ending in '\n'.
  std::string helpText;
  StatementList body;

  // The frame: every name assigned anywhere in the function, slot i holding variables[i].
  // Inputs come first, then varargin, the outputs that are not inputs, varargout, and the other
  // names in the order they first appear.
  std::vector<std::string> variables;
  std::vector<std::int32_t> inputSlots;   // per input; -1 for "~"
  std::vector<std::int32_t> outputSlots;  // per output
  std::int32_t vararginSlot = -1;
  std::int32_t varargoutSlot = -1;

  // The body compiled for real scalar inputs when it is made only of scalar arithmetic,
  // conditions and calls, or else for any inputs when it also uses cells, element reads and
  // calls of any value (scalar_program.hpp); null otherwise. Set by the variable resolver;
  // programGaveUp is set by the interpreter when a run met what it cannot do, after which the
  // function always runs from the tree.
  std::shared_ptr<const ScalarProgram> scalarProgram;
  std::shared_ptr<const ValueProgram> valueProgram;
  mutable bool programGaveUp = false;

  // The slot of name, or -1. Linear in the number of variables.
  std::int32_t findVariable(std::string_view variableName) const;
};

struct SourceFile {
  std::string fileName;
  bool isScript = true;
  // The functions of the file are closed with `end` (all of them, or none).
  bool functionsEndWithEnd = false;
  // functions[0] is the main function, or the script; local functions follow in file order.
  std::vector<std::unique_ptr<Function>> functions;

  // The function called name, or null.
  const Function* findFunction(std::string_view functionName) const;
};

}  // namespace q::ast
