#include "engine/variable_resolver.hpp"

#include "engine/scalar_program.hpp"

#include <string>
#include <unordered_map>
#include <vector>

namespace q {

using namespace ast;

namespace {

// The resolver recurses once per tree level. Cases that need locals of their own live in
// functions kept out of line, so that the recursive frames stay small.
#if defined(__GNUC__)
#define Q_OUT_OF_LINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define Q_OUT_OF_LINE __declspec(noinline)
#else
#define Q_OUT_OF_LINE
#endif

const std::string kAnswer = "ans";  // where the value of an expression statement goes

// A leaf of a scalar step: a variable of the frame (its slot) or a real number.
bool scalarOperand(const Expression& expression, std::int32_t& slot, double& number) {
  if (expression.parenthesized) return false;
  if (expression.kind == NodeKind::Identifier) {
    slot = expression.as<Identifier>().slot;
    return slot >= 0;
  }
  if (expression.kind == NodeKind::Number && !expression.as<Number>().imaginary) {
    slot = -1;
    number = expression.as<Number>().value;
    return true;
  }
  return false;
}

void decodeScalarStep(Assignment& assignment) {
  ScalarStep step;
  if (assignment.display || assignment.target->kind != NodeKind::Identifier ||
      assignment.value->kind != NodeKind::Binary) {
    return;
  }
  step.target = assignment.target->as<Identifier>().slot;
  const Binary& binary = assignment.value->as<Binary>();
  if (step.target < 0 || !scalarOperand(*binary.left, step.left, step.leftNumber) ||
      !scalarOperand(*binary.right, step.right, step.rightNumber)) {
    return;
  }
  const int arithmetic = scalarArithmetic(binary.op);
  if (arithmetic < 0) return;
  step.form = static_cast<ScalarStep::Form>(static_cast<int>(ScalarStep::Form::Add) + arithmetic);
  assignment.step = step;
}

// Appends the postfix code of expression to code; false when it is not scalar arithmetic the
// code can express. depth is the stack the code needs so far.
bool compileScalar(const Expression& expression, ScalarCode& code, std::size_t depth) {
  if (depth >= ScalarCode::kMaxDepth) return false;
  switch (expression.kind) {
    case NodeKind::Number: {
      const Number& number = expression.as<Number>();
      if (number.imaginary) return false;
      code.ops.push_back({ScalarOp::Code::Number, -1, number.value, nullptr});
      return true;
    }
    case NodeKind::Identifier: {
      const std::int32_t slot = expression.as<Identifier>().slot;
      if (slot < 0) return false;
      code.ops.push_back({ScalarOp::Code::Slot, slot, 0, nullptr});
      return true;
    }
    case NodeKind::Unary: {
      const Unary& unary = expression.as<Unary>();
      if (unary.op == UnaryOperator::Not || !compileScalar(*unary.operand, code, depth)) {
        return false;
      }
      if (unary.op == UnaryOperator::Minus) code.ops.push_back({ScalarOp::Code::Negate});
      return true;
    }
    case NodeKind::Binary: {
      const Binary& binary = expression.as<Binary>();
      const int arithmetic = scalarArithmetic(binary.op);
      if (arithmetic < 0) return false;
      // Four codes per operation: the operand forms.
      const auto op = static_cast<ScalarOp::Code>(static_cast<int>(ScalarOp::Code::Add) +
                                                  4 * arithmetic);
      if (!compileScalar(*binary.left, code, depth)) return false;
      const std::size_t right = code.ops.size();
      if (!compileScalar(*binary.right, code, depth + 1)) return false;
      ScalarOp operation{op};
      if (code.ops.size() == right + 1) {
        // A leaf right operand is read by the operation itself.
        const ScalarOp& leaf = code.ops.back();
        ScalarOp::Operand operand = ScalarOp::Operand::Stack;
        if (leaf.code == ScalarOp::Code::Slot) operand = ScalarOp::Operand::Slot;
        if (leaf.code == ScalarOp::Code::Number) operand = ScalarOp::Operand::Number;
        if (leaf.code == ScalarOp::Code::ElementAt) operand = ScalarOp::Operand::Element;
        if (operand != ScalarOp::Operand::Stack) {
          operation = leaf;
          operation.code = ScalarOp::fused(op, operand);
          code.ops.pop_back();
        }
      }
      code.ops.push_back(operation);
      return true;
    }
    case NodeKind::Index: {
      const Index& index = expression.as<Index>();
      const std::size_t argument = code.ops.size();
      if (index.base->kind != NodeKind::Identifier || index.base->parenthesized ||
          index.steps.size() != 1 || index.steps[0].kind != IndexStep::Kind::Paren ||
          index.steps[0].arguments.size() != 1 ||
          !compileScalar(*index.steps[0].arguments[0], code, depth)) {
        return false;
      }
      const Identifier& name = index.base->as<Identifier>();
      if (name.slot >= 0 && code.ops.size() == argument + 1 &&
          code.ops.back().code == ScalarOp::Code::Slot) {
        // v(k) with k a variable: one operation.
        code.ops.back() = {ScalarOp::Code::ElementAt, name.slot, 0, nullptr, code.ops.back().slot};
      } else if (name.slot >= 0) {
        code.ops.push_back({ScalarOp::Code::Element, name.slot, 0, nullptr});
      } else {
        code.ops.push_back({ScalarOp::Code::Call, -1, 0, &name});
      }
      return true;
    }
    default:
      return false;
  }
}

// The value of an assignment to a variable or an element, when it is scalar arithmetic worth
// compiling (more than one leaf) and not already a step.
void compileAssignedValue(Assignment& assignment) {
  if (assignment.display || assignment.step.form != ScalarStep::Form::None) return;
  const NodeKind kind = assignment.value->kind;
  if (kind != NodeKind::Binary && kind != NodeKind::Index && kind != NodeKind::Unary) return;
  ScalarCode code;
  if (compileScalar(*assignment.value, code, 0)) assignment.code = std::move(code);
}

class Resolver {
 public:
  explicit Resolver(Function* function) : function_(function) { scopes_.push_back({nullptr, {}}); }

  void declareFunction(Function& function) {
    for (const std::string& input : function.inputs)
      function.inputSlots.push_back(input == "~" ? -1 : declare(input));
    if (function.varargin) function.vararginSlot = declare("varargin");
    for (const std::string& output : function.outputs)
      function.outputSlots.push_back(declare(output));
    if (function.varargout) function.varargoutSlot = declare("varargout");
    collect(function.body);
  }

  void resolve(StatementList& statements) {
    for (StatementPtr& statement : statements) resolve(*statement);
  }

  void resolve(Expression& expression) {
    switch (expression.kind) {
      case NodeKind::Number:
      case NodeKind::CharArray:
      case NodeKind::Colon:
      case NodeKind::FunctionHandle:
        return;
      case NodeKind::Identifier: {
        Identifier& identifier = expression.as<Identifier>();
        identifier.slot = lookup(scopes_.size() - 1, identifier.name);
        return;
      }
      case NodeKind::End:
        resolveEnd(expression.as<End>());
        return;
      case NodeKind::Unary:
        resolve(*expression.as<Unary>().operand);
        return;
      case NodeKind::Postfix:
        resolve(*expression.as<Postfix>().operand);
        return;
      case NodeKind::Binary:
        resolve(*expression.as<Binary>().left);
        resolve(*expression.as<Binary>().right);
        return;
      case NodeKind::Range: {
        Range& range = expression.as<Range>();
        resolve(*range.start);
        if (range.step) resolve(*range.step);
        resolve(*range.stop);
        return;
      }
      case NodeKind::Index:
        resolveIndex(expression.as<Index>());
        return;
      case NodeKind::Matrix:
      case NodeKind::Cell:
        for (auto& row : expression.as<Rows>().rows)
          for (ExpressionPtr& element : row) resolve(*element);
        return;
      case NodeKind::AnonymousFunction:
        resolveAnonymous(expression.as<AnonymousFunction>());
        return;
      default:
        return;
    }
  }

 private:
  struct Scope {
    AnonymousFunction* anonymous;  // null for the function's own frame
    std::unordered_map<std::string, std::int32_t> slots;
  };
  // An index argument being resolved: `end` there may refer to this index step.
  struct IndexContext {
    const Index* index;
    std::uint32_t step;
    std::uint32_t position;
    std::uint32_t count;
    bool call;
  };

  Q_OUT_OF_LINE std::int32_t declare(const std::string& name) {
    auto& slots = scopes_.front().slots;
    auto found = slots.find(name);
    if (found != slots.end()) return found->second;
    const auto slot = static_cast<std::int32_t>(function_->variables.size());
    slots.emplace(name, slot);
    function_->variables.push_back(name);
    return slot;
  }

  static const std::string& assignedName(const Expression& target) {
    const Expression& base = target.kind == NodeKind::Index ? *target.as<Index>().base : target;
    return base.as<Identifier>().name;
  }

  void collect(const StatementList& statements) {
    for (const StatementPtr& statement : statements) collect(*statement);
  }

  void collect(const Statement& statement) {
    switch (statement.kind) {
      case NodeKind::ExpressionStatement:
        declare(kAnswer);
        return;
      case NodeKind::Assignment:
        declare(assignedName(*statement.as<Assignment>().target));
        return;
      case NodeKind::MultipleAssignment:
        for (const ExpressionPtr& target : statement.as<MultipleAssignment>().targets)
          if (target) declare(assignedName(*target));
        return;
      case NodeKind::If: {
        const If& node = statement.as<If>();
        for (const IfClause& clause : node.clauses) collect(clause.body);
        collect(node.elseBody);
        return;
      }
      case NodeKind::For:
        declare(statement.as<For>().variable->name);
        collect(statement.as<For>().body);
        return;
      case NodeKind::While:
        collect(statement.as<While>().body);
        return;
      case NodeKind::Switch: {
        const Switch& node = statement.as<Switch>();
        for (const SwitchCase& switchCase : node.cases) collect(switchCase.body);
        collect(node.otherwise);
        return;
      }
      case NodeKind::Try: {
        const Try& node = statement.as<Try>();
        collect(node.body);
        if (node.catchVariable) declare(node.catchVariable->name);
        collect(node.catchBody);
        return;
      }
      case NodeKind::Global:
      case NodeKind::Persistent:
        for (const auto& name : statement.as<Declaration>().names) declare(name->name);
        return;
      default:
        return;
    }
  }

  void resolve(Statement& statement) {
    switch (statement.kind) {
      case NodeKind::ExpressionStatement:
        resolve(*statement.as<ExpressionStatement>().expression);
        return;
      case NodeKind::Assignment:
        resolve(*statement.as<Assignment>().target);
        resolve(*statement.as<Assignment>().value);
        decodeScalarStep(statement.as<Assignment>());
        compileAssignedValue(statement.as<Assignment>());
        return;
      case NodeKind::MultipleAssignment: {
        MultipleAssignment& node = statement.as<MultipleAssignment>();
        for (ExpressionPtr& target : node.targets)
          if (target) resolve(*target);
        resolve(*node.value);
        return;
      }
      case NodeKind::If: {
        If& node = statement.as<If>();
        for (IfClause& clause : node.clauses) {
          resolve(*clause.condition);
          resolve(clause.body);
        }
        resolve(node.elseBody);
        return;
      }
      case NodeKind::For: {
        For& node = statement.as<For>();
        resolve(*node.variable);
        resolve(*node.values);
        resolve(node.body);
        return;
      }
      case NodeKind::While:
        resolve(*statement.as<While>().condition);
        resolve(statement.as<While>().body);
        return;
      case NodeKind::Switch: {
        Switch& node = statement.as<Switch>();
        resolve(*node.subject);
        for (SwitchCase& switchCase : node.cases) {
          resolve(*switchCase.value);
          resolve(switchCase.body);
        }
        resolve(node.otherwise);
        return;
      }
      case NodeKind::Try: {
        Try& node = statement.as<Try>();
        resolve(node.body);
        if (node.catchVariable) resolve(*node.catchVariable);
        resolve(node.catchBody);
        return;
      }
      case NodeKind::Global:
      case NodeKind::Persistent:
        for (auto& name : statement.as<Declaration>().names) resolve(*name);
        return;
      default:
        return;
    }
  }

  // The slot of name in the frame of scopes_[level]. A name that an anonymous function reads
  // from an enclosing frame becomes a capture of it (and, through every anonymous function in
  // between, of those too).
  Q_OUT_OF_LINE std::int32_t lookup(std::size_t level, const std::string& name) {
    Scope& scope = scopes_[level];
    auto found = scope.slots.find(name);
    if (found != scope.slots.end()) return found->second;
    if (level == 0) return -1;
    const std::int32_t outer = lookup(level - 1, name);
    if (outer < 0) return -1;
    AnonymousFunction& anonymous = *scope.anonymous;
    const auto slot = static_cast<std::int32_t>(anonymous.frameSize());
    anonymous.captures.push_back({name, outer});
    scope.slots.emplace(name, slot);
    return slot;
  }

  Q_OUT_OF_LINE void resolveIndex(Index& index) {
    resolve(*index.base);
    const bool callBase = index.base->kind == NodeKind::Identifier && !index.base->parenthesized &&
                          index.base->as<Identifier>().slot < 0;
    for (std::size_t stepNumber = 0; stepNumber < index.steps.size(); ++stepNumber) {
      IndexStep& step = index.steps[stepNumber];
      if (step.kind == IndexStep::Kind::DynamicField) {
        resolve(*step.fieldExpression);
        continue;
      }
      const auto count = static_cast<std::uint32_t>(step.arguments.size());
      for (std::uint32_t position = 0; position < count; ++position) {
        contexts_.push_back({&index, static_cast<std::uint32_t>(stepNumber), position, count,
                             callBase && stepNumber == 0});
        resolve(*step.arguments[position]);
        contexts_.pop_back();
      }
    }
  }

  Q_OUT_OF_LINE void resolveEnd(End& end) {
    const std::size_t floor = barriers_.empty() ? 0 : barriers_.back();
    const IndexContext* chosen = nullptr;
    for (std::size_t i = contexts_.size(); i > floor; --i) {
      if (!contexts_[i - 1].call) {
        chosen = &contexts_[i - 1];
        break;
      }
    }
    if (!chosen && contexts_.size() > floor) chosen = &contexts_.back();
    if (!chosen) return;  // the parser accepts `end` only inside an index
    end.target = chosen->index;
    end.step = chosen->step;
    end.position = chosen->position;
    end.count = chosen->count;
  }

  void resolveAnonymous(AnonymousFunction& anonymous) {
    enterAnonymous(anonymous);
    resolve(*anonymous.body);
    barriers_.pop_back();
    scopes_.pop_back();
  }

  Q_OUT_OF_LINE void enterAnonymous(AnonymousFunction& anonymous) {
    Scope scope{&anonymous, {}};
    for (std::size_t i = 0; i < anonymous.parameters.size(); ++i)
      if (anonymous.parameters[i] != "~")
        scope.slots.emplace(anonymous.parameters[i], static_cast<std::int32_t>(i));
    scopes_.push_back(std::move(scope));
    barriers_.push_back(contexts_.size());
  }

  Function* function_;
  std::vector<Scope> scopes_;
  std::vector<IndexContext> contexts_;
  std::vector<std::size_t> barriers_;  // contexts_ size when each anonymous body was entered
};

}  // namespace

namespace {

// Gives every while and for loop of statements, nested ones included, its compiled program.
void compileLoops(const Function& function, StatementList& statements) {
  for (StatementPtr& statement : statements) {
    if (statement->kind == NodeKind::While) {
      statement->as<While>().program = compileLoopProgram(function, *statement);
    } else if (statement->kind == NodeKind::For) {
      statement->as<For>().program = compileLoopProgram(function, *statement);
    }
    forEachBody(*statement, [&](StatementList& body, bool) { compileLoops(function, body); });
  }
}

}  // namespace

void resolveVariables(Function& function) {
  Resolver resolver(&function);
  resolver.declareFunction(function);
  resolver.resolve(function.body);
  function.scalarProgram = compileScalarProgram(function);
  function.valueProgram = compileValueProgram(function);
  compileLoops(function, function.body);
}

void resolveVariables(Expression& expression) {
  Function none;
  Resolver resolver(&none);
  resolver.resolve(expression);
}

}  // namespace q
