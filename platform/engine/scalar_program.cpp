#include "engine/scalar_program.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace q::ast {
namespace {

using Op = ScalarInstruction::Op;

class Compiler {
 public:
  explicit Compiler(const Function& function) : function_(function) {}

  std::shared_ptr<const LoopProgram> compileLoop(const Statement& root) {
    const std::size_t variables = function_.variables.size();
    if (variables > LoopProgram::kMaxRegisters) return nullptr;
    auto program = std::make_shared<LoopProgram>();
    program_ = loop_ = program.get();
    program->loop = &root;
    program->registers = static_cast<std::uint32_t>(variables);
    arrays_.assign(variables, false);
    scalars_.assign(variables, false);
    forLoops_.assign(variables, 0);
    findArrays(root);
    std::vector<bool> assigned(variables, false);
    if (!(root.kind == NodeKind::While ? whileStatement(root.as<While>(), assigned)
                                       : forStatement(root.as<For>(), assigned))) {
      return nullptr;
    }
    emit({Op::Finish});
    // The loop's own header hands over by running the whole loop from the tree.
    addPoint(0, program->code.size(), root, false, {});
    // Worth it when at least as many assignments compiled as statements run the usual way.
    if (compiled_ == 0 || compiled_ < program->statements.size()) return nullptr;
    for (std::size_t slot = 0; slot < variables; ++slot) {
      if (scalars_[slot]) program->scalars.push_back(static_cast<std::int32_t>(slot));
      if (arrays_[slot]) program->arrays.push_back(static_cast<std::int32_t>(slot));
    }
    for (LoopProgram::ResumePoint& point : program->points) point.required |= program->liveIn;
    return program;
  }

  std::shared_ptr<const ScalarProgram> compile() {
    auto program = std::make_shared<ScalarProgram>();
    return body(*program) ? program : nullptr;
  }

  std::shared_ptr<const ValueProgram> compileValues() {
    if (function_.variables.size() > ScalarProgram::kMaxRegisters) return nullptr;
    auto program = std::make_shared<ValueProgram>();
    values_ = program.get();
    findValueVariables();
    for (std::size_t slot = 0; slot < valueSlots_.size(); ++slot) {
      if (valueSlots_[slot]) program->values |= std::uint32_t(1) << slot;
    }
    return body(*program) ? program : nullptr;
  }

 private:
  // The function's body into program, or false.
  bool body(ScalarProgram& program) {
    if (function_.isScript || function_.varargin || function_.varargout ||
        function_.outputs.empty() || function_.variables.size() > ScalarProgram::kMaxRegisters ||
        function_.inputs.size() > ScalarProgram::kMaxInputs) {
      return false;
    }
    program_ = &program;
    program.registers = static_cast<std::uint32_t>(function_.variables.size());
    program.inputSlots = function_.inputSlots;
    std::vector<bool> assigned(function_.variables.size(), false);
    for (std::int32_t slot : function_.inputSlots) {
      if (slot >= 0) assigned[slot] = true;
    }
    // Falling off the end returns as a return statement does.
    if (!statements(function_.body, assigned) || !(assigned.empty() || returns(assigned))) {
      return false;
    }
    // A jump to a return returns at once (an if's branch that jumps past the else to the end).
    for (ScalarInstruction& instruction : program.code) {
      const auto to = static_cast<std::size_t>(instruction.a);
      if (instruction.op != Op::Jump || to >= program.code.size()) continue;
      const ScalarInstruction& target = program.code[to];
      if (target.op == Op::Return || target.op == Op::ReturnValue) instruction = target;
    }
    return true;
  }

  // Compiles the statements; assigned holds the variables assigned on every path so far, and is
  // emptied when every path has returned.
  bool statements(const StatementList& list, std::vector<bool>& assigned) {
    if (loop_) return loopStatements(list, assigned);
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
        if (loop_ && !assignment.display && assignment.target->kind == NodeKind::Index) {
          return setElement(assignment, assigned);
        }
        if (assignment.display || assignment.target->kind != NodeKind::Identifier) return false;
        const std::int32_t slot = assignment.target->as<Identifier>().slot;
        if (loop_ && slot >= 0 && arrays_[slot]) return copyArray(slot, *assignment.value);
        if (values_ && slot >= 0 && valueSlots_[slot]) {
          // A variable that may hold any value: a number goes in as a number.
          const bool number = !givesValue(*assignment.value);
          if (!(number ? expression(*assignment.value, assigned, 0)
                       : valueExpression(*assignment.value, assigned, 0, false))) {
            return false;
          }
          emit({number ? Op::StoreNumber : Op::StoreValue, slot});
          if (!number) --valueDepth_;
          assigned[slot] = true;
          return true;
        }
        if (slot < 0 || (loop_ && !scalarVariable(slot)) ||
            !expression(*assignment.value, assigned, 0)) {
          return false;
        }
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
        if (loop_) {
          emit({Op::Leave});
          assigned.clear();
          return true;
        }
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
    enterBody(&node, 0);
    if (!statements(node.body, body)) return false;
    leaveBody();
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
    const std::size_t limit = loop_ ? LoopProgram::kMaxRegisters : ScalarProgram::kMaxRegisters;
    if (variable < 0 || node.values->kind != NodeKind::Range || program_->registers + 4 > limit ||
        (loop_ && !scalarVariable(variable)) || (values_ && valueSlots_[variable])) {
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
    start.number = loop_ && &node == loop_->loop ? 1 : 0;
    const std::size_t first = emit(start);
    // continue jumps to ForNext, which is emitted last: patched like breaks.
    loops_.push_back({0, true, {}, {}});
    std::vector<bool> inside = assigned;
    inside[variable] = true;
    enterBody(&node, state);
    openFors_.push_back(variable);
    if (!statements(node.body, inside)) return false;
    openFors_.pop_back();
    leaveBody();
    for (std::size_t jump : loops_.back().continues) patch(jump);
    ScalarInstruction next{Op::ForNext, state};
    next.b = static_cast<std::int32_t>(first + 1);
    next.c = variable;
    emit(next);
    for (std::size_t jump : loops_.back().breaks) patch(jump);
    program_->code[first].b = static_cast<std::int32_t>(program_->code.size());  // loops: no values
    loops_.pop_back();
    assigned[variable] = true;
    return true;
  }

  // A read of the variable in slot. A loop's for loop over no values leaves its variable empty,
  // which its register marks: reads of such variables check for the mark, except inside the
  // body of the one for loop over them.
  void read(std::int32_t slot) {
    const bool marked = loop_ && forLoops_[slot] > 0 &&
                        !(forLoops_[slot] == 1 && std::find(openFors_.begin(), openFors_.end(),
                                                            slot) != openFors_.end());
    const bool value = values_ && valueSlots_[slot];
    emit({marked ? Op::LocalChecked : value ? Op::LocalScalar : Op::Local, slot});
  }

  bool returns(std::vector<bool>& assigned) {
    const std::int32_t result = function_.outputSlots[0];
    if (!assigned[result]) return false;  // the usual way reports the unassigned output
    ScalarInstruction ret{values_ ? Op::ReturnValue : Op::Return, result};
    ret.b = values_ && !valueSlots_[result] ? 1 : 0;  // a register that only holds numbers
    emit(ret);
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
      enterBody(nullptr, 0);
      if (!statements(clause.body, path)) return false;
      leaveBody();
      join(path);
      toEnd.push_back(emit({Op::Jump}));
      patch(skip);
    }
    std::vector<bool> path = assigned;
    enterBody(nullptr, 0);
    if (node.hasElse && !statements(node.elseBody, path)) return false;
    leaveBody();
    join(path);
    for (std::size_t jump : toEnd) patch(jump);
    assigned = reached ? after : std::vector<bool>();
    return true;
  }

  // A built-in constant, logical ones only where logical values may stand (conditions).
  static bool isConstant(const std::string& name, bool logicalToo) {
    double value;
    bool logical;
    return builtinConstant(name, value, logical) && (logicalToo || !logical);
  }

  // Leaves 1 or 0 on the stack.
  bool condition(const Expression& node, const std::vector<bool>& assigned) {
    if (node.kind == NodeKind::Identifier && node.as<Identifier>().slot < 0 &&
        isConstant(node.as<Identifier>().name, true)) {
      ScalarInstruction call{Op::Call, 0};
      call.name = &node.as<Identifier>();
      emit(call);
      emit({Op::Truth});
      return true;
    }
    if ((loop_ || values_) && node.kind == NodeKind::Unary &&
        node.as<Unary>().op == UnaryOperator::Not) {
      if (!tested(*node.as<Unary>().operand, assigned)) return false;
      emit({Op::Not});
      return true;
    }
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
    if (!tested(node, assigned)) return false;
    emit({Op::Truth});
    return true;
  }

  // Leaves x, to be tested for truth, on the stack: there a call may give a truth (isempty).
  bool tested(const Expression& node, const std::vector<bool>& assigned) {
    if (!values_ || node.kind != NodeKind::Index) return expression(node, assigned, 0);
    if (!valueExpression(node, assigned, 0, true)) return false;
    emitUnbox();
    return true;
  }

  // Takes the value on top as a number. A call just made puts its result there itself.
  void emitUnbox() {
    ScalarInstruction& last = program_->code.back();
    if (last.op == Op::CallValue || last.op == Op::CallLocal || last.op == Op::CallElement) {
      last.c = 1;
    } else {
      emit({Op::Unbox});
    }
    --valueDepth_;
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
        if (slot < 0 && isConstant(node.as<Identifier>().name, false)) {
          ScalarInstruction call{Op::Call, 0};
          call.name = &node.as<Identifier>();
          emit(call);
          return true;
        }
        if (loop_) {
          if (slot < 0 || !scalarVariable(slot)) return false;
          if (!assigned[slot]) loop_->liveIn |= std::uint64_t(1) << slot;
        } else if (slot < 0 || !assigned[slot]) {
          return false;  // a call, or maybe undefined
        }
        read(slot);
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
        if (values_) {
          if (!valueExpression(node, assigned, depth, false)) return false;
          emitUnbox();
          return true;
        }
        if (index.base->kind != NodeKind::Identifier || index.base->parenthesized ||
            index.steps.size() != 1 || index.steps[0].kind != IndexStep::Kind::Paren) {
          return false;
        }
        const Identifier& name = index.base->as<Identifier>();
        const std::vector<ExpressionPtr>& arguments = index.steps[0].arguments;
        if (loop_ && name.slot >= 0) {
          if (!arrays_[name.slot] || !subscripts(arguments, assigned, depth)) return false;
          emit({arguments.size() == 1 ? Op::Element : Op::Element2, name.slot});
          return true;
        }
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
      case NodeKind::End: {
        // end in v(...) of an array variable, as its only or one of its two subscripts.
        const End& end = node.as<End>();
        const Index* target = end.target;
        if (!loop_ || !target || end.step != 0 || end.count < 1 || end.count > 2 ||
            target->base->kind != NodeKind::Identifier || target->base->parenthesized ||
            target->steps.size() != 1 || target->steps[0].kind != IndexStep::Kind::Paren) {
          return false;
        }
        const std::int32_t slot = target->base->as<Identifier>().slot;
        if (slot < 0 || !arrays_[slot]) return false;
        ScalarInstruction last{Op::End, slot};
        last.b = end.count == 1 ? -1 : static_cast<std::int32_t>(end.position);
        emit(last);
        return true;
      }
      default:
        return false;
    }
  }

  // ---- Value programs ----

  // The variables that may hold any value: the inputs, and those assigned what gives a value.
  void findValueVariables() {
    valueSlots_.assign(function_.variables.size(), false);
    for (std::int32_t slot : function_.inputSlots) {
      if (slot >= 0) valueSlots_[slot] = true;
    }
    for (bool changed = true; changed;) {
      changed = false;
      forEachAssignment(function_.body, [&](std::int32_t slot, const Expression& value) {
        if (!valueSlots_[slot] && givesValue(value)) changed = valueSlots_[slot] = true;
      });
    }
  }
  template <typename Visit>
  static void forEachAssignment(const StatementList& list, const Visit& visit) {
    for (const StatementPtr& statement : list) {
      if (statement->kind == NodeKind::Assignment) {
        const Assignment& assignment = statement->as<Assignment>();
        if (assignment.target->kind == NodeKind::Identifier &&
            assignment.target->as<Identifier>().slot >= 0) {
          visit(assignment.target->as<Identifier>().slot, *assignment.value);
        }
      }
      forEachBody(*statement, [&](const StatementList& body, bool) {
        forEachAssignment(body, visit);
      });
    }
  }

  // Whether node gives a value that need not be a number.
  bool givesValue(const Expression& node) const {
    switch (node.kind) {
      case NodeKind::Identifier: {
        const std::int32_t slot = node.as<Identifier>().slot;
        return slot >= 0 && valueSlots_[slot];
      }
      case NodeKind::Index:
      case NodeKind::Cell:
      case NodeKind::Matrix:
        return true;
      default:
        return false;
    }
  }

  // Leaves the value on the value stack; depth is what the number stack holds. truth: the value
  // is only tested for truth.
  bool valueExpression(const Expression& node, const std::vector<bool>& assigned,
                       std::size_t depth, bool truth) {
    if (valueDepth_ + 1 >= ScalarProgram::kMaxStack) return false;
    switch (node.kind) {
      case NodeKind::Identifier: {
        const std::int32_t slot = node.as<Identifier>().slot;
        if (slot < 0 || !valueSlots_[slot]) break;
        if (!assigned[slot]) return false;
        emit({Op::LocalValue, slot});
        ++valueDepth_;
        return true;
      }
      case NodeKind::Matrix:
        if (!node.as<Matrix>().rows.empty()) return false;
        emit({Op::EmptyMatrix});
        ++valueDepth_;
        return true;
      case NodeKind::Cell: {
        const Cell& cell = node.as<Cell>();
        if (cell.rows.size() > 1) return false;
        const std::size_t count = cell.rows.empty() ? 0 : cell.rows[0].size();
        for (std::size_t i = 0; i < count; ++i) {
          if (!valueExpression(*cell.rows[0][i], assigned, depth, false)) return false;
        }
        emit({Op::MakeCell, static_cast<std::int32_t>(count)});
        valueDepth_ = valueDepth_ - count + 1;
        return true;
      }
      case NodeKind::Index: {
        const Index& index = node.as<Index>();
        if (index.base->kind != NodeKind::Identifier || index.base->parenthesized ||
            index.steps.size() != 1) {
          return false;
        }
        const Identifier& name = index.base->as<Identifier>();
        const IndexStep& step = index.steps[0];
        const std::vector<ExpressionPtr>& arguments = step.arguments;
        if (step.kind == IndexStep::Kind::Brace) {
          // c{k} of a variable.
          const std::size_t start = program_->code.size();
          if (name.slot < 0 || !valueSlots_[name.slot] || !assigned[name.slot] ||
              arguments.size() != 1 || !expression(*arguments[0], assigned, depth)) {
            return false;
          }
          ScalarInstruction& last = program_->code.back();
          if (program_->code.size() == start + 1 && last.op == Op::Number) {
            last = {Op::Brace, name.slot, last.number};  // a constant k
            last.c = 1;
          } else {
            emit({Op::Brace, name.slot});
          }
          ++valueDepth_;
          return true;
        }
        if (step.kind != IndexStep::Kind::Paren || name.slot >= 0 ||
            arguments.size() > ScalarProgram::kMaxInputs) {
          return false;
        }
        for (const ExpressionPtr& argument : arguments) {
          if (!valueExpression(*argument, assigned, depth, false)) return false;
        }
        ScalarInstruction call{Op::CallValue, static_cast<std::int32_t>(arguments.size())};
        // f(x) of a variable x, f(c{k}) of a constant k: the call reads it where it is.
        const ScalarInstruction argument =
            arguments.size() == 1 ? program_->code.back() : ScalarInstruction{Op::Return};
        if (argument.op == Op::LocalValue) {
          call = {Op::CallLocal, argument.a};
          program_->code.pop_back();
        } else if (argument.op == Op::Brace && argument.c != 0) {
          call = {Op::CallElement, argument.a, argument.number};
          program_->code.pop_back();
        }
        call.name = &name;
        call.b = truth ? 1 : 0;
        emit(call);
        valueDepth_ = valueDepth_ - arguments.size() + 1;
        return true;
      }
      default:
        break;
    }
    if (!expression(node, assigned, depth)) return false;
    emit({Op::Box});
    ++valueDepth_;
    return true;
  }

  // ---- Loop programs ----

  // The statements of list, each compiled or else run by Exec; false when one can be neither.
  bool loopStatements(const StatementList& list, std::vector<bool>& assigned) {
    const auto outer = position_;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (assigned.empty()) break;  // after a break, continue or return: never runs
      const Statement& statement = *list[i];
      const Snapshot before = snapshot(assigned);
      position_ = {&list, i};
      const std::size_t begin = program_->code.size();
      const bool simple = statement.kind == NodeKind::Assignment;
      if (this->statement(statement, assigned)) {
        if (simple) ++compiled_;
        position_ = {&list, i};
        addPoint(begin, program_->code.size(), statement, simple, assigned);
        continue;
      }
      restore(before, assigned);
      if (escapes(statement, 0)) {
        position_ = outer;
        return false;
      }
      for (std::int32_t slot : targetsOf(statement)) assigned[slot] = true;
      const std::size_t exec = emit({Op::Exec, static_cast<std::int32_t>(loop_->statements.size())});
      loop_->statements.push_back(&statement);
      program_->code[exec].b = static_cast<std::int32_t>(loop_->points.size());
      position_ = {&list, i};
      addPoint(begin, program_->code.size(), statement, true, assigned);
    }
    position_ = outer;
    return true;
  }

  // a(k) = e or a(i, j) = e of an array variable.
  bool setElement(const Assignment& assignment, const std::vector<bool>& assigned) {
    const Index& target = assignment.target->as<Index>();
    if (target.base->kind != NodeKind::Identifier || target.base->parenthesized ||
        target.steps.size() != 1 || target.steps[0].kind != IndexStep::Kind::Paren) {
      return false;
    }
    const std::int32_t slot = target.base->as<Identifier>().slot;
    const std::vector<ExpressionPtr>& arguments = target.steps[0].arguments;
    if (slot < 0 || !arrays_[slot] || !subscripts(arguments, assigned, 0) ||
        !expression(*assignment.value, assigned, arguments.size())) {
      return false;
    }
    emit({arguments.size() == 1 ? Op::SetElement : Op::SetElement2, slot});
    return true;
  }

  // a = b of array variables.
  bool copyArray(std::int32_t slot, const Expression& value) {
    if (value.kind != NodeKind::Identifier || value.parenthesized) return false;
    const std::int32_t source = value.as<Identifier>().slot;
    if (source < 0 || !arrays_[source]) return false;
    ScalarInstruction copy{Op::CopyArray, slot};
    copy.b = source;
    emit(copy);
    return true;
  }

  // One or two subscripts, each a scalar expression.
  bool subscripts(const std::vector<ExpressionPtr>& arguments, const std::vector<bool>& assigned,
                  std::size_t depth) {
    if (arguments.empty() || arguments.size() > 2) return false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (!expression(*arguments[i], assigned, depth + i)) return false;
    }
    return true;
  }

  // Whether the variable in slot can live in a register: it is no array variable here.
  bool scalarVariable(std::int32_t slot) {
    if (static_cast<std::size_t>(slot) >= LoopProgram::kMaxRegisters || arrays_[slot]) return false;
    scalars_[slot] = true;
    return true;
  }

  // Array variables: those indexed anywhere in the loop, and what copies of them are
  // assigned to.
  void findArrays(const Statement& root) {
    std::vector<std::pair<std::int32_t, std::int32_t>> copies;  // target, source
    visitStatement(root, copies);
    for (bool changed = true; changed;) {
      changed = false;
      for (const auto& [target, source] : copies) {
        if (arrays_[source] && !arrays_[target]) changed = arrays_[target] = true;
      }
    }
  }
  void visitStatement(const Statement& statement,
                      std::vector<std::pair<std::int32_t, std::int32_t>>& copies) {
    switch (statement.kind) {
      case NodeKind::Assignment: {
        const Assignment& assignment = statement.as<Assignment>();
        visitExpression(*assignment.target);
        visitExpression(*assignment.value);
        if (assignment.target->kind == NodeKind::Identifier &&
            assignment.value->kind == NodeKind::Identifier) {
          const std::int32_t target = assignment.target->as<Identifier>().slot;
          const std::int32_t source = assignment.value->as<Identifier>().slot;
          if (target >= 0 && source >= 0) copies.emplace_back(target, source);
        }
        return;
      }
      case NodeKind::If:
        for (const IfClause& clause : statement.as<If>().clauses) visitExpression(*clause.condition);
        break;
      case NodeKind::While:
        visitExpression(*statement.as<While>().condition);
        break;
      case NodeKind::For: {
        const For& node = statement.as<For>();
        const std::int32_t slot = node.variable->slot;
        if (slot >= 0 && static_cast<std::size_t>(slot) < forLoops_.size()) ++forLoops_[slot];
        visitExpression(*node.values);
        break;
      }
      default:
        return;  // run by Exec: whatever it does, the views are read again after it
    }
    forEachBody(statement, [&](const StatementList& body, bool) {
      for (const StatementPtr& inner : body) visitStatement(*inner, copies);
    });
  }
  void visitExpression(const Expression& node) {
    switch (node.kind) {
      case NodeKind::Index: {
        const Index& index = node.as<Index>();
        if (index.base->kind == NodeKind::Identifier) {
          const std::int32_t slot = index.base->as<Identifier>().slot;
          if (slot >= 0 && static_cast<std::size_t>(slot) < arrays_.size()) arrays_[slot] = true;
        } else {
          visitExpression(*index.base);
        }
        for (const IndexStep& step : index.steps) {
          for (const ExpressionPtr& argument : step.arguments) visitExpression(*argument);
        }
        return;
      }
      case NodeKind::Unary:
        visitExpression(*node.as<Unary>().operand);
        return;
      case NodeKind::Binary:
        visitExpression(*node.as<Binary>().left);
        visitExpression(*node.as<Binary>().right);
        return;
      case NodeKind::Range: {
        const Range& range = node.as<Range>();
        visitExpression(*range.start);
        if (range.step) visitExpression(*range.step);
        visitExpression(*range.stop);
        return;
      }
      default:
        return;
    }
  }

  // Whether statement, run on its own, could leave the loops around it: a return, or a break or
  // continue outside the loops inside it.
  static bool escapes(const Statement& statement, int loops) {
    if (statement.kind == NodeKind::Return) return true;
    if (statement.kind == NodeKind::Break || statement.kind == NodeKind::Continue) {
      return loops == 0;
    }
    bool found = false;
    forEachBody(statement, [&](const StatementList& body, bool loop) {
      for (const StatementPtr& inner : body) found = found || escapes(*inner, loops + loop);
    });
    return found;
  }

  // The scalar variables a statement run by Exec assigns on every path: plain assignments.
  std::vector<std::int32_t> targetsOf(const Statement& statement) const {
    std::vector<std::int32_t> targets;
    const auto add = [&](const Expression* target) {
      if (!target || target->kind != NodeKind::Identifier) return;
      const std::int32_t slot = target->as<Identifier>().slot;
      if (slot >= 0 && static_cast<std::size_t>(slot) < LoopProgram::kMaxRegisters &&
          !arrays_[slot]) {
        targets.push_back(slot);
      }
    };
    if (statement.kind == NodeKind::Assignment) add(statement.as<Assignment>().target.get());
    if (statement.kind == NodeKind::MultipleAssignment) {
      for (const ExpressionPtr& target : statement.as<MultipleAssignment>().targets) {
        add(target.get());
      }
    }
    return targets;
  }

  // The body of a loop (loop set, with its state registers for a for loop) or of an if clause
  // (loop null) of the statement at position_: where the tree goes on after it.
  void enterBody(const Statement* loop, std::int32_t state) {
    if (!loop_) return;
    using Kind = LoopProgram::Frame::Kind;
    std::size_t pushed = 0;
    if (loop != loop_->loop) {  // not the program's own loop, which has no list around it
      context_.push_back({Kind::Run, position_.first, position_.second + 1, nullptr, 0});
      ++pushed;
    }
    if (loop) {
      context_.push_back({loop->kind == NodeKind::While ? Kind::While : Kind::For, nullptr, 0,
                          loop, state});
      ++pushed;
    }
    bodies_.push_back(pushed);
  }
  void leaveBody() {
    if (!loop_) return;
    context_.resize(context_.size() - bodies_.back());
    bodies_.pop_back();
  }

  void addPoint(std::size_t begin, std::size_t end, const Statement& statement, bool simple,
                const std::vector<bool>& assigned) {
    LoopProgram::ResumePoint point;
    point.begin = begin;
    point.end = end;
    point.statement = &statement;
    point.simple = simple;
    // Every variable assigned by now: whether it is a register one may only be known from a
    // later statement that reads it.
    for (std::size_t slot = 0; slot < assigned.size() && slot < 64; ++slot) {
      if (assigned[slot]) point.required |= std::uint64_t(1) << slot;
    }
    if (&statement == loop_->loop) {
      point.frames.push_back({LoopProgram::Frame::Kind::Start, nullptr, 0, &statement, 0});
    } else {
      point.frames.push_back({LoopProgram::Frame::Kind::Run, position_.first, position_.second,
                              nullptr, 0});
      point.frames.insert(point.frames.end(), context_.rbegin(), context_.rend());
    }
    loop_->points.push_back(std::move(point));
  }

  // What a failed statement must undo.
  struct Snapshot {
    std::size_t code, points, statements, context, bodies, compiled, fors;
    std::uint32_t registers;
    std::uint64_t liveIn;
    std::vector<std::pair<std::size_t, std::size_t>> jumps;  // per open loop
    std::vector<bool> assigned, scalars;
  };
  Snapshot snapshot(const std::vector<bool>& assigned) const {
    Snapshot taken{program_->code.size(), loop_->points.size(), loop_->statements.size(),
                   context_.size(),       bodies_.size(),      compiled_,           openFors_.size(),
                   program_->registers,   loop_->liveIn,       {},
                   assigned,              scalars_};
    for (const Loop& loop : loops_) taken.jumps.emplace_back(loop.breaks.size(), loop.continues.size());
    return taken;
  }
  void restore(const Snapshot& taken, std::vector<bool>& assigned) {
    program_->code.resize(taken.code);
    loop_->points.resize(taken.points);
    loop_->statements.resize(taken.statements);
    context_.resize(taken.context);
    bodies_.resize(taken.bodies);
    compiled_ = taken.compiled;
    openFors_.resize(taken.fors);
    program_->registers = taken.registers;
    loop_->liveIn = taken.liveIn;
    scalars_ = taken.scalars;
    loops_.resize(taken.jumps.size());
    for (std::size_t i = 0; i < loops_.size(); ++i) {
      loops_[i].breaks.resize(taken.jumps[i].first);
      loops_[i].continues.resize(taken.jumps[i].second);
    }
    assigned = taken.assigned;
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
  // Value programs only.
  ValueProgram* values_ = nullptr;
  std::vector<bool> valueSlots_;  // per variable: may hold any value
  std::size_t valueDepth_ = 0;    // what the value stack holds
  // Loop programs only.
  LoopProgram* loop_ = nullptr;
  std::vector<bool> arrays_, scalars_;  // per variable: an array variable, a register one
  std::vector<int> forLoops_;            // per variable: the for loops over it
  std::vector<std::int32_t> openFors_;   // the variables of the for loops being compiled
  std::vector<LoopProgram::Frame> context_;  // where the tree goes on after the current body
  std::vector<std::size_t> bodies_;          // frames each open body pushed
  std::pair<const StatementList*, std::size_t> position_{nullptr, 0};  // of the statement
  std::size_t compiled_ = 0;  // assignments compiled
};

}  // namespace

bool builtinConstant(std::string_view name, double& value, bool& logical) {
  static const struct {
    const char* name;
    double value;
    bool logical;
  } constants[] = {{"pi", M_PI, false},
                   {"Inf", HUGE_VAL, false},
                   {"NaN", std::numeric_limits<double>::quiet_NaN(), false},
                   {"true", 1, true},
                   {"false", 0, true}};
  for (const auto& constant : constants) {
    if (name == constant.name) {
      value = constant.value;
      logical = constant.logical;
      return true;
    }
  }
  return false;
}

std::shared_ptr<const ScalarProgram> compileScalarProgram(const Function& function) {
  return Compiler(function).compile();
}

std::shared_ptr<const ValueProgram> compileValueProgram(const Function& function) {
  return Compiler(function).compileValues();
}

std::shared_ptr<const LoopProgram> compileLoopProgram(const Function& function,
                                                      const Statement& loop) {
  if (loop.kind != NodeKind::While && loop.kind != NodeKind::For) return nullptr;
  return Compiler(function).compileLoop(loop);
}

const LoopProgram::ResumePoint& LoopProgram::pointAt(std::size_t pc) const {
  const ResumePoint* found = &points.back();  // the loop itself holds every instruction
  for (const ResumePoint& point : points) {
    if (point.begin <= pc && pc < point.end && point.end - point.begin < found->end - found->begin) {
      found = &point;
    }
  }
  return *found;
}

}  // namespace q::ast
