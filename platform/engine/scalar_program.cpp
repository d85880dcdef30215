#include "engine/scalar_program.hpp"

namespace q::ast {
namespace {

using Op = ScalarInstruction::Op;

class Compiler {
 public:
  explicit Compiler(const Function& function) : function_(function) {}

  std::shared_ptr<const ScalarProgram> compile() {
    if (function_.isScript || function_.varargin || function_.varargout ||
        function_.outputs.empty() || function_.variables.size() > ScalarProgram::kMaxRegisters ||
        function_.inputs.size() > ScalarProgram::kMaxInputs) {
      return nullptr;
    }
    auto program = std::make_shared<ScalarProgram>();
    program_ = program.get();
    program->registers = static_cast<std::uint32_t>(function_.variables.size());
    program->inputSlots = function_.inputSlots;
    std::vector<bool> assigned(function_.variables.size(), false);
    for (std::int32_t slot : function_.inputSlots) {
      if (slot >= 0) assigned[slot] = true;
    }
    // Falling off the end returns as a return statement does.
    if (!statements(function_.body, assigned) || (!assigned.empty() && !returns(assigned))) {
      return nullptr;
    }
    return program;
  }

 private:
  // Compiles the statements; assigned holds the variables assigned on every path so far, and is
  // emptied when every path has returned.
  bool statements(const StatementList& list, std::vector<bool>& assigned) {
    for (const StatementPtr& statement : list) {
      if (assigned.empty()) return true;  // after a return: never runs
      if (!this->statement(*statement, assigned)) return false;
    }
    return true;
  }

  bool statement(const Statement& statement, std::vector<bool>& assigned) {
    switch (statement.kind) {
      case NodeKind::Assignment: {
        const Assignment& assignment = statement.as<Assignment>();
        if (assignment.display || assignment.target->kind != NodeKind::Identifier) return false;
        const std::int32_t slot = assignment.target->as<Identifier>().slot;
        if (slot < 0 || !expression(*assignment.value, assigned, 0)) return false;
        // Local y, then y op z with z inside, then Store: one step instead.
        const std::size_t size = program_->code.size();
        const int first = static_cast<int>(Op::Add);
        const int op = size >= 2 ? static_cast<int>(program_->code[size - 1].op) - first : -1;
        if (size >= 2 && program_->code[size - 2].op == Op::Local && op >= 0 &&
            op < static_cast<int>(Op::Less) - first && op % 3 != 0) {
          ScalarInstruction step = program_->code[size - 1];
          step.c = step.a;  // z's register, when it is one
          step.b = program_->code[size - 2].a;
          step.a = slot;
          step.op = static_cast<Op>(static_cast<int>(Op::StepAdd) + op / 3 * 2 + (op % 3 - 1));
          program_->code.resize(size - 2);
          emit(step);
        } else {
          emit({Op::Store, slot});
        }
        assigned[slot] = true;
        return true;
      }
      case NodeKind::If:
        return ifStatement(statement.as<If>(), assigned);
      case NodeKind::While:
        return whileStatement(statement.as<While>(), assigned);
      case NodeKind::For:
        return forStatement(statement.as<For>(), assigned);
      case NodeKind::Break:
      case NodeKind::Continue: {
        if (loops_.empty()) return false;
        Loop& loop = loops_.back();
        if (statement.kind == NodeKind::Break) {
          loop.breaks.push_back(emit({Op::Jump}));
        } else if (loop.counted) {
          loop.continues.push_back(emit({Op::Jump}));  // to ForNext, which polls
        } else {
          emit({Op::Poll});
          emit({Op::Jump, static_cast<std::int32_t>(loop.start)});
        }
        assigned.clear();  // what follows in this list never runs
        return true;
      }
      case NodeKind::Return:
        return returns(assigned);
      default:
        return false;
    }
  }

  // The body may run no time: after the loop, what was assigned before it.
  bool whileStatement(const While& node, std::vector<bool>& assigned) {
    loops_.push_back({program_->code.size(), false, {}, {}});
    if (!condition(*node.condition, assigned)) return false;
    const std::size_t exit = emit({Op::JumpIfFalse});
    std::vector<bool> body = assigned;
    if (!statements(node.body, body)) return false;
    emit({Op::Poll});
    emit({Op::Jump, static_cast<std::int32_t>(loops_.back().start)});
    patch(exit);
    for (std::size_t jump : loops_.back().breaks) patch(jump);
    loops_.pop_back();
    return true;
  }

  // The body runs at least once (a loop over no values declines the run): after the loop, what
  // was assigned before it and the loop variable.
  bool forStatement(const For& node, std::vector<bool>& assigned) {
    const std::int32_t variable = node.variable->slot;
    if (variable < 0 || node.values->kind != NodeKind::Range ||
        program_->registers + 4 > ScalarProgram::kMaxRegisters) {
      return false;
    }
    const Range& range = node.values->as<Range>();
    if (!expression(*range.start, assigned, 0)) return false;
    if (range.step) {
      if (!expression(*range.step, assigned, 1)) return false;
    } else {
      emit({Op::Number, 0, 1.0});
    }
    if (!expression(*range.stop, assigned, 2)) return false;
    const auto state = static_cast<std::int32_t>(program_->registers);
    program_->registers += 4;
    ScalarInstruction start{Op::ForStart, state};
    start.c = variable;
    const std::size_t body = emit(start) + 1;
    // continue jumps to ForNext, which is emitted last: patched like breaks.
    loops_.push_back({0, true, {}, {}});
    std::vector<bool> inside = assigned;
    inside[variable] = true;
    if (!statements(node.body, inside)) return false;
    for (std::size_t jump : loops_.back().continues) patch(jump);
    ScalarInstruction next{Op::ForNext, state};
    next.b = static_cast<std::int32_t>(body);
    next.c = variable;
    emit(next);
    for (std::size_t jump : loops_.back().breaks) patch(jump);
    loops_.pop_back();
    assigned[variable] = true;
    return true;
  }

  bool returns(std::vector<bool>& assigned) {
    const std::int32_t result = function_.outputSlots[0];
    if (!assigned[result]) return false;  // the usual way reports the unassigned output
    emit({Op::Return, result});
    assigned.clear();
    return true;
  }

  bool ifStatement(const If& node, std::vector<bool>& assigned) {
    std::vector<std::size_t> toEnd;
    std::vector<bool> after;  // assigned on every path that reaches the end
    bool reached = false;     // some path reaches the end
    const auto join = [&](const std::vector<bool>& path) {
      if (path.empty()) return;  // returned
      if (!reached) {
        after = path;
        reached = true;
        return;
      }
      for (std::size_t i = 0; i < after.size(); ++i) after[i] = after[i] && path[i];
    };
    for (const IfClause& clause : node.clauses) {
      if (!condition(*clause.condition, assigned)) return false;
      const std::size_t skip = emit({Op::JumpIfFalse});
      std::vector<bool> path = assigned;
      if (!statements(clause.body, path)) return false;
      join(path);
      toEnd.push_back(emit({Op::Jump}));
      patch(skip);
    }
    std::vector<bool> path = assigned;
    if (node.hasElse && !statements(node.elseBody, path)) return false;
    join(path);
    for (std::size_t jump : toEnd) patch(jump);
    assigned = reached ? after : std::vector<bool>();
    return true;
  }

  // Leaves 1 or 0 on the stack.
  bool condition(const Expression& node, const std::vector<bool>& assigned) {
    if (node.kind == NodeKind::Binary) {
      const Binary& binary = node.as<Binary>();
      const bool andAnd = binary.op == BinaryOperator::AndAnd;
      if (andAnd || binary.op == BinaryOperator::OrOr) {
        // a && b: 0 when a is 0, else b; a || b: 1 when a is 1, else b.
        if (!condition(*binary.left, assigned)) return false;
        std::size_t decided;
        if (andAnd) {
          decided = emit({Op::JumpIfFalse});
        } else {
          emit({Op::EqualNumber, 0, 0});
          decided = emit({Op::JumpIfFalse});
        }
        if (!condition(*binary.right, assigned)) return false;
        const std::size_t done = emit({Op::Jump});
        patch(decided);
        emit({Op::Number, 0, andAnd ? 0.0 : 1.0});
        patch(done);
        return true;
      }
      const Op comparison = comparisonOf(binary.op);
      if (comparison != Op::Return) {
        if (!expression(*binary.left, assigned, 0)) return false;
        const std::size_t right = program_->code.size();
        if (!expression(*binary.right, assigned, 1)) return false;
        emitBinary(comparison, right);
        return true;
      }
    }
    if (!expression(node, assigned, 0)) return false;
    emit({Op::Truth});
    return true;
  }

  static Op comparisonOf(BinaryOperator op) {
    switch (op) {
      case BinaryOperator::Less:
        return Op::Less;
      case BinaryOperator::LessEqual:
        return Op::LessEqual;
      case BinaryOperator::Greater:
        return Op::Greater;
      case BinaryOperator::GreaterEqual:
        return Op::GreaterEqual;
      case BinaryOperator::Equal:
        return Op::Equal;
      case BinaryOperator::NotEqual:
        return Op::NotEqual;
      default:
        return Op::Return;  // none
    }
  }

  // Leaves the value on the stack; depth is what the stack holds below it.
  bool expression(const Expression& node, const std::vector<bool>& assigned, std::size_t depth) {
    if (depth + 1 >= ScalarProgram::kMaxStack) return false;
    switch (node.kind) {
      case NodeKind::Number: {
        const Number& number = node.as<Number>();
        if (number.imaginary) return false;
        emit({Op::Number, 0, number.value});
        return true;
      }
      case NodeKind::Identifier: {
        const std::int32_t slot = node.as<Identifier>().slot;
        if (slot < 0 || !assigned[slot]) return false;  // a call, or maybe undefined
        emit({Op::Local, slot});
        return true;
      }
      case NodeKind::Unary: {
        const Unary& unary = node.as<Unary>();
        if (unary.op == UnaryOperator::Not || !expression(*unary.operand, assigned, depth)) {
          return false;
        }
        if (unary.op == UnaryOperator::Minus) emit({Op::Negate});
        return true;
      }
      case NodeKind::Binary: {
        const Binary& binary = node.as<Binary>();
        const int arithmetic = scalarArithmetic(binary.op);
        const bool power =
            binary.op == BinaryOperator::Power || binary.op == BinaryOperator::ElementPower;
        if (arithmetic < 0 && !power) return false;
        // Three instructions per arithmetic operation: the operand forms.
        const Op op = power ? Op::Power
                            : static_cast<Op>(static_cast<int>(Op::Add) + 3 * arithmetic);
        if (!expression(*binary.left, assigned, depth)) return false;
        const std::size_t right = program_->code.size();
        if (!expression(*binary.right, assigned, depth + 1)) return false;
        emitBinary(op, right);
        return true;
      }
      case NodeKind::Index: {
        const Index& index = node.as<Index>();
        if (index.base->kind != NodeKind::Identifier || index.base->parenthesized ||
            index.steps.size() != 1 || index.steps[0].kind != IndexStep::Kind::Paren) {
          return false;
        }
        const Identifier& name = index.base->as<Identifier>();
        const std::vector<ExpressionPtr>& arguments = index.steps[0].arguments;
        if (name.slot >= 0 || arguments.empty() || arguments.size() > ScalarProgram::kMaxInputs) {
          return false;
        }
        for (std::size_t i = 0; i < arguments.size(); ++i) {
          if (!expression(*arguments[i], assigned, depth + i)) return false;
        }
        ScalarInstruction call{Op::Call, static_cast<std::int32_t>(arguments.size())};
        call.name = &name;
        emit(call);
        return true;
      }
      default:
        return false;
    }
  }

  // The binary operation op whose right operand's code starts at right: one instruction with
  // the operand inside when that is a lone register or number.
  void emitBinary(Op op, std::size_t right) {
    ScalarInstruction& leaf = program_->code.back();
    if (op != Op::Power && program_->code.size() == right + 1 &&
        (leaf.op == Op::Local || leaf.op == Op::Number)) {
      leaf.op = static_cast<Op>(static_cast<int>(op) + (leaf.op == Op::Local ? 1 : 2));
      return;
    }
    emit({op});
  }

  std::size_t emit(ScalarInstruction instruction) {
    program_->code.push_back(instruction);
    return program_->code.size() - 1;
  }
  // The jump at position continues at the next instruction emitted.
  void patch(std::size_t position) {
    program_->code[position].a = static_cast<std::int32_t>(program_->code.size());
  }

  // The loops being compiled, innermost last: where each starts, and its breaks to patch.
  struct Loop {
    std::size_t start;  // while: where a round begins (the condition)
    bool counted;       // a for loop
    std::vector<std::size_t> breaks, continues;  // jumps to patch (continues: for loops)
  };

  const Function& function_;
  ScalarProgram* program_ = nullptr;
  std::vector<Loop> loops_;
};

}  // namespace

std::shared_ptr<const ScalarProgram> compileScalarProgram(const Function& function) {
  return Compiler(function).compile();
}

}  // namespace q::ast
