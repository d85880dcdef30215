// Expressions, statements and control flow, and the stops of a running call.

#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/array_access.hpp"
#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "engine/interpreter.hpp"
#include "engine/native_stack.hpp"
#include "engine/operators.hpp"
#include "engine/ops/operations.hpp"
#include "util/counted_mutex.hpp"
#include "zy/errors.hpp"

namespace q {

using namespace ast;

namespace {

// Whether k (1-based) is a whole number from 1 to count; k - 1 in index.
bool existingElement(std::size_t count, double k, std::size_t& index) {
  if (!(k >= 1 && k <= static_cast<double>(count))) return false;
  const auto position = static_cast<std::size_t>(k);  // in range: the conversion is exact
  if (static_cast<double>(position) != k) return false;
  index = position - 1;
  return true;
}

// Whether the subscripts (all real scalars: a(k), a(i, j), ...) name an element past the end of
// object, which reading would refuse: a(end+1).f = v grows object without trying the read.
bool pastTheEnd(const Value& object, const ValueList& arguments) {
  const Dims extents = indexExtents(dimsOf(object), arguments.size());
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    if (!arguments[k].isScalar()) return false;
    if (arguments[k].scalar() > static_cast<double>(extents[k])) return true;
  }
  return false;
}

// a op b for + - * / (and .* ./) of real scalars; false for any other operator.
inline bool scalarArithmetic(BinaryOperator op, double a, double b, double& out) {
  switch (op) {
    case BinaryOperator::Plus:
      out = a + b;
      return true;
    case BinaryOperator::Minus:
      out = a - b;
      return true;
    case BinaryOperator::Times:
    case BinaryOperator::ElementTimes:
      out = a * b;
      return true;
    case BinaryOperator::Divide:
    case BinaryOperator::ElementDivide:
      out = a / b;
      return true;
    default:
      return false;
  }
}

bool isComparison(BinaryOperator op) {
  switch (op) {
    case BinaryOperator::Less:
    case BinaryOperator::LessEqual:
    case BinaryOperator::Greater:
    case BinaryOperator::GreaterEqual:
    case BinaryOperator::Equal:
    case BinaryOperator::NotEqual:
      return true;
    default:
      return false;
  }
}

bool compareScalars(BinaryOperator op, double a, double b) {
  switch (op) {
    case BinaryOperator::Less:
      return a < b;
    case BinaryOperator::LessEqual:
      return a <= b;
    case BinaryOperator::Greater:
      return a > b;
    case BinaryOperator::GreaterEqual:
      return a >= b;
    case BinaryOperator::Equal:
      return a == b;
    default:
      return a != b;
  }
}

// Operators that combine element by element with a real double scalar on either side (`/` only
// with the scalar second): a run of them over one array is fused (ops::scalarChain).
bool isChainOperator(BinaryOperator op) {
  switch (op) {
    case BinaryOperator::Plus:
    case BinaryOperator::Minus:
    case BinaryOperator::Times:
    case BinaryOperator::ElementTimes:
    case BinaryOperator::Divide:
    case BinaryOperator::ElementDivide:
      return true;
    default:
      return false;
  }
}

bool isChainNode(const Expression& expression) {
  return expression.kind == NodeKind::Binary && isChainOperator(expression.as<Binary>().op);
}

bool chainStep(BinaryOperator op, bool scalarFirst, ops::ScalarStepOp& out) {
  switch (op) {
    case BinaryOperator::Plus:
      out = ops::ScalarStepOp::Plus;
      return true;
    case BinaryOperator::Minus:
      out = ops::ScalarStepOp::Minus;
      return true;
    case BinaryOperator::Times:
    case BinaryOperator::ElementTimes:
      out = ops::ScalarStepOp::Times;
      return true;
    case BinaryOperator::ElementDivide:
      out = ops::ScalarStepOp::Divide;
      return true;
    case BinaryOperator::Divide:  // s / x is a matrix division
      out = ops::ScalarStepOp::Divide;
      return !scalarFirst;
    default:
      return false;
  }
}

// The value of a short-circuit operand: a scalar that can be a logical value.
bool shortCircuitOperand(const Value& value, const char* op) {
  double scalar;
  if (value.asRealDouble(scalar)) {
    if (std::isnan(scalar)) raise("Q:NaNToLogical", "NaN's cannot be converted to logicals.");
    return scalar != 0;
  }
  if (value.numberOfElements() != 1) {
    raise("Q:nonScalarLogical", std::string("Operands to the ") + op +
                                    " operator must be convertible to logical scalar values.");
  }
  return truth(value);
}

// Errors raised on the paths recursion runs through live out of line, so that the frames of
// those paths stay small: Q recursion is bounded by the native stack they take.
[[noreturn, gnu::noinline, gnu::cold]] void returnsNoValue(const std::string& name) {
  raise("Q:TooManyOutputs", "Too many output arguments: '" + name + "' returns no value.");
}

[[noreturn, gnu::noinline, gnu::cold]] void notOneValue(std::size_t count) {
  raise("Q:notOneValue", "Expected one value from a brace or dot index, but there were " +
                             std::to_string(count) + ".");
}

[[noreturn, gnu::noinline, gnu::cold]] void raiseLiteral(const char* identifier,
                                                         const char* message) {
  raise(identifier, message);
}

// Whether an expression reads the variable `name` of the frame it runs in (anonymous functions
// through their captures).
bool names(const Expression& expression, const std::string& name) {
  switch (expression.kind) {
    case NodeKind::Identifier:
      return expression.as<Identifier>().name == name;
    case NodeKind::Unary:
      return names(*expression.as<Unary>().operand, name);
    case NodeKind::Binary: {
      const Binary& binary = expression.as<Binary>();
      return names(*binary.left, name) || names(*binary.right, name);
    }
    case NodeKind::Range: {
      const Range& range = expression.as<Range>();
      return names(*range.start, name) || (range.step && names(*range.step, name)) ||
             names(*range.stop, name);
    }
    case NodeKind::Postfix:
      return names(*expression.as<Postfix>().operand, name);
    case NodeKind::Index: {
      const Index& index = expression.as<Index>();
      if (names(*index.base, name)) return true;
      for (const IndexStep& step : index.steps) {
        for (const ExpressionPtr& argument : step.arguments) {
          if (names(*argument, name)) return true;
        }
        if (step.fieldExpression && names(*step.fieldExpression, name)) return true;
      }
      return false;
    }
    case NodeKind::Matrix:
    case NodeKind::Cell:
      for (const auto& row : expression.as<Rows>().rows) {
        for (const ExpressionPtr& element : row) {
          if (names(*element, name)) return true;
        }
      }
      return false;
    case NodeKind::AnonymousFunction:
      for (const Capture& capture : expression.as<AnonymousFunction>().captures) {
        if (capture.name == name) return true;
      }
      return false;
    default:
      return false;
  }
}

// An assignment such as c{1}(c{1} > 1) = 0 takes the part it changes out of its container
// before it evaluates the subscripts of the later steps, which would then see the container
// without it. When a later step names the variable, the part is copied out instead.
bool laterStepsNameBase(const Index& node) {
  if (node.laterStepsNameBase < 0) {
    const std::string& base = node.base->as<Identifier>().name;
    bool found = false;
    for (std::size_t s = 1; s < node.steps.size() && !found; ++s) {
      const IndexStep& step = node.steps[s];
      for (const ExpressionPtr& argument : step.arguments) found = found || names(*argument, base);
      found = found || (step.fieldExpression && names(*step.fieldExpression, base));
    }
    node.laterStepsNameBase = found ? 1 : 0;
  }
  return node.laterStepsNameBase == 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Variables

Value* Interpreter::findVariable(const Identifier& identifier) {
  if (identifier.slot >= 0) return current_->slots[identifier.slot];
  if (current_->scriptLike || current_->workspace->hasVariables()) {
    Value* found = current_->workspace->find(identifier.name);
    if (found && found->isDefined()) return found;
  }
  return nullptr;
}

Value& Interpreter::variable(const Identifier& identifier) {
  if (identifier.slot >= 0) return *current_->slots[identifier.slot];
  return current_->workspace->obtain(identifier.name);
}

void Interpreter::undefined(const std::string& name) {
  raise("Q:undefined", "Undefined function or variable '" + name + "'.");
}

void Interpreter::undefinedSlot(const Identifier& identifier) {
  const ast::Function* function = current_->function;
  if (function && !current_->scriptLike &&
      std::find(function->inputSlots.begin(), function->inputSlots.end(), identifier.slot) !=
          function->inputSlots.end()) {
    raise("Q:NotEnoughInputs", "Not enough input arguments.");
  }
  undefined(identifier.name);
}

// ---------------------------------------------------------------------------------------------
// Expressions

Value Interpreter::evaluate(const Expression& expression) {
  switch (expression.kind) {
    case NodeKind::Number: {
      const Number& number = expression.as<Number>();
      if (!number.imaginary) return Value(number.value);
      ArrayPtr complex = checked(zyCreateDoubleMatrix(1, 1, zyCOMPLEX));
      *static_cast<double*>(zyGetImagData(complex.get())) = number.value;
      return Value::adopt(std::move(complex));
    }
    case NodeKind::CharArray:
      return Value::adopt(makeString(expression.as<CharArray>().text));
    case NodeKind::Identifier: {
      const Identifier& identifier = expression.as<Identifier>();
      if (Value* found = findVariable(identifier)) {
        if (found->isDefined()) return *found;
      }
      if (identifier.slot >= 0) undefinedSlot(identifier);
      return callWithoutArguments(identifier);
    }
    case NodeKind::Colon:
      return Value::adopt(makeString(std::string(":")));
    case NodeKind::End:
      return evaluateEnd(expression.as<End>());
    case NodeKind::Unary: {
      const Unary& unary = expression.as<Unary>();
      return unaryOperation(unary.op, evaluate(*unary.operand));
    }
    case NodeKind::Binary:
      return evaluateBinary(expression.as<Binary>());
    case NodeKind::Range:
      return evaluateRange(expression.as<Range>());
    case NodeKind::Postfix: {
      const Postfix& postfix = expression.as<Postfix>();
      return postfixOperation(postfix.op, evaluate(*postfix.operand));
    }
    case NodeKind::Index: {
      // An element of a variable, else a call of a user function, else a scalar built-in.
      const Index& index = expression.as<Index>();
      const bool variable = index.base->kind == NodeKind::Identifier &&
                            index.base->as<Identifier>().slot >= 0;
      double scalar;
      if (variable && scalarOfIndex(index, scalar)) return Value(scalar);
      Value result;
      if (!variable && callDirect(index, result)) return result;
      if (!variable && scalarOfIndex(index, scalar)) return Value(scalar);
      PooledList out(*this);
      evaluateIndex(expression.as<Index>(), 1, out.list);
      if (out.list.empty()) {
        raiseLiteral("Q:noValue", "The expression produced no value where one is needed.");
      }
      return std::move(out.list[0]);
    }
    case NodeKind::Matrix:
    case NodeKind::Cell:
      return evaluateRows(expression.as<Rows>());
    case NodeKind::AnonymousFunction:
      return evaluateAnonymous(expression.as<AnonymousFunction>());
    case NodeKind::FunctionHandle:
      return makeHandle(expression.as<FunctionHandle>().name,
                        current_->file ? current_->file->self() : LoadedFilePtr());
    default:
      break;
  }
  raiseLiteral("Q:internal", "This expression cannot be evaluated.");
}

__attribute__((noinline)) Value Interpreter::callWithoutArguments(const Identifier& identifier) {
  PooledList arguments(*this), results(*this);
  const Target* target = resolveCall(identifier);
  if (!target) undefined(identifier.name);
  call(*target, 1, arguments.list, results.list);
  if (results.list.empty()) returnsNoValue(identifier.name);
  return std::move(results.list[0]);
}

void Interpreter::evaluateMulti(const Expression& expression, ValueList& out) {
  if (expression.parenthesized || expression.kind != NodeKind::Index) {
    out.push_back(evaluate(expression));
    return;
  }
  // The subscripts and calls that give exactly one value first, without the general path.
  const Index& index = expression.as<Index>();
  if (index.base->kind == NodeKind::Identifier) {
    Value result;
    double scalar;
    if (index.base->as<Identifier>().slot >= 0) {
      if (scalarOfIndex(index, scalar)) {
        out.emplace_back(scalar);
        return;
      }
    } else if (callDirect(index, result)) {
      out.push_back(std::move(result));
      return;
    }
  }
  evaluateIndex(index, 1, out);
}

void Interpreter::evaluateWithNargout(const Expression& expression, int nargout, ValueList& out) {
  if (expression.kind == NodeKind::Index && !expression.parenthesized) {
    evaluateIndex(expression.as<Index>(), nargout, out);
    return;
  }
  if (expression.kind == NodeKind::Identifier) {
    const Identifier& identifier = expression.as<Identifier>();
    if (Value* found = findVariable(identifier)) {
      if (found->isDefined()) {
        out.push_back(*found);
        return;
      }
    }
    if (identifier.slot >= 0) undefinedSlot(identifier);
    const Target* target = resolveCall(identifier);
    if (!target) undefined(identifier.name);
    PooledList arguments(*this);
    call(*target, nargout, arguments.list, out);
    return;
  }
  out.push_back(evaluate(expression));
}

void Interpreter::evaluateArguments(const std::vector<ExpressionPtr>& arguments, ValueList& out) {
  out.reserve(arguments.size());
  for (const ExpressionPtr& argument : arguments) {
    if (argument->kind == NodeKind::Colon) {
      out.push_back(Value::adopt(makeString(std::string(":"))));
    } else {
      evaluateMulti(*argument, out);
    }
  }
}

void Interpreter::evaluateIndexArguments(const Index& node, std::size_t step, const Value* object,
                                         ValueList& out) {
  endContexts_.push_back({&node, static_cast<std::uint32_t>(step), object});
  try {
    evaluateArguments(node.steps[step].arguments, out);
  } catch (...) {
    endContexts_.pop_back();
    throw;
  }
  endContexts_.pop_back();
}

std::string Interpreter::fieldName(const IndexStep& step) {
  if (step.kind == IndexStep::Kind::Field) return step.field;
  const Value name = evaluate(*step.fieldExpression);
  if (!isText(name)) {
    raise("Q:invalidFieldName", "Dynamic field names must be character vectors.");
  }
  return textOf(name, "a field name");
}

void Interpreter::evaluateIndex(const Index& node, int nargout, ValueList& out) {
  Value temporary;
  const Value* object = nullptr;
  std::size_t step = 0;
  const std::size_t steps = node.steps.size();

  if (node.base->kind == NodeKind::Identifier && !node.base->parenthesized) {
    const Identifier& identifier = node.base->as<Identifier>();
    Value* found = findVariable(identifier);
    if (found && found->isDefined()) {
      object = found;
    } else if (identifier.slot >= 0) {
      undefinedSlot(identifier);
    } else {
      // A call: f(arguments) and whatever indexes its result.
      const Target* target = resolveCall(identifier);
      if (!target) undefined(identifier.name);
      PooledList arguments(*this);
      if (steps > 0 && node.steps[0].kind == IndexStep::Kind::Paren) {
        evaluateArguments(node.steps[0].arguments, arguments.list);
        step = 1;
      }
      if (step == steps) {
        call(*target, nargout, arguments.list, out);
        return;
      }
      PooledList results(*this);
      call(*target, 1, arguments.list, results.list);
      if (results.list.empty()) returnsNoValue(identifier.name);
      temporary = std::move(results.list[0]);
      object = &temporary;
    }
  } else {
    temporary = evaluate(*node.base);
    object = &temporary;
  }
  applyIndexSteps(node, step, object, temporary, nargout, out);
}

__attribute__((noinline)) void Interpreter::applyIndexSteps(const Index& node, std::size_t step,
                                                            const Value* object, Value& temporary,
                                                            int nargout, ValueList& out) {
  const std::size_t steps = node.steps.size();
  for (; step < steps; ++step) {
    const IndexStep& indexStep = node.steps[step];
    const bool last = step + 1 == steps;
    switch (indexStep.kind) {
      case IndexStep::Kind::Paren: {
        PooledList pooledArguments(*this);
        ValueList& arguments = pooledArguments.list;
        if (object->isFunctionHandle()) {
          evaluateArguments(indexStep.arguments, arguments);
          PooledList pooledResults(*this);
          ValueList& results = pooledResults.list;
          const Value callee = *object;
          callValue(callee, last ? nargout : 1, arguments, results);
          if (last) {
            for (Value& result : results) out.push_back(std::move(result));
            return;
          }
          if (results.empty()) {
            raiseLiteral("Q:TooManyOutputs",
                         "Too many output arguments: the function returns no value.");
          }
          temporary = std::move(results[0]);
          object = &temporary;
          break;
        }
        evaluateIndexArguments(node, step, object, arguments);
        Value result = indexParen(*object, arguments);
        temporary = std::move(result);
        object = &temporary;
        break;
      }
      case IndexStep::Kind::Brace: {
        // c{k} of one existing element: that element, without subscript lists.
        double k;
        std::size_t index;
        if (object->isCell() && indexStep.arguments.size() == 1 &&
            scalarValue(*indexStep.arguments[0], k) &&
            existingElement(object->array()->numberOfElements(), k, index)) {
          Value element = Value::share(zyGetCellConst(object->array(), index));
          if (last) {
            out.push_back(std::move(element));
            return;
          }
          temporary = std::move(element);
          object = &temporary;
          break;
        }
        PooledList pooledArguments(*this);
        ValueList& arguments = pooledArguments.list;
        evaluateIndexArguments(node, step, object, arguments);
        ValueList elements;
        indexBrace(*object, arguments, elements);
        if (last) {
          for (Value& element : elements) out.push_back(std::move(element));
          return;
        }
        if (elements.size() != 1) notOneValue(elements.size());
        temporary = std::move(elements[0]);
        object = &temporary;
        break;
      }
      case IndexStep::Kind::Field:
      case IndexStep::Kind::DynamicField: {
        const std::string name = fieldName(indexStep);
        ValueList fields;
        indexField(*object, name, fields);
        if (last) {
          for (Value& field : fields) out.push_back(std::move(field));
          return;
        }
        if (fields.size() != 1) notOneValue(fields.size());
        temporary = std::move(fields[0]);
        object = &temporary;
        break;
      }
    }
  }
  if (object == &temporary) {
    out.push_back(std::move(temporary));
  } else {
    out.push_back(*object);
  }
}

Value Interpreter::evaluateEnd(const End& node) {
  for (auto context = endContexts_.rbegin(); context != endContexts_.rend(); ++context) {
    if (context->node != node.target || context->step != node.step) continue;
    const Value& object = *context->object;
    if (!object.isDefined()) return Value(0.0);
    if (object.isScalar()) return Value(1.0);
    const zyArray* array = object.array();
    const std::size_t dimensions = array->numberOfDimensions();
    const std::size_t* sizes = array->dimensions();
    if (node.count == 1) return Value(static_cast<double>(array->numberOfElements()));
    if (node.position + 1 < node.count) {
      return Value(node.position < dimensions ? static_cast<double>(sizes[node.position]) : 1.0);
    }
    double product = 1;
    for (std::size_t d = node.position; d < dimensions; ++d) product *= sizes[d];
    return Value(product);
  }
  raise("Q:badEnd", "'end' is used in a call to a function, not in an index of a value.");
}

Value Interpreter::evaluateBinary(const Binary& binary) {
  if (binary.op == BinaryOperator::OrOr || binary.op == BinaryOperator::AndAnd) {
    const bool isOr = binary.op == BinaryOperator::OrOr;
    const char* spelling = isOr ? "||" : "&&";
    bool result = shortCircuitOperand(evaluate(*binary.left), spelling);
    if (result != isOr) result = shortCircuitOperand(evaluate(*binary.right), spelling);
    return Value::adopt(makeLogicalScalar(result));
  }
  double a, b, result;
  if (scalarLeaf(*binary.left, a) && scalarLeaf(*binary.right, b) &&
      scalarArithmetic(binary.op, a, b, result)) {
    return Value(result);
  }
  // A run of element-wise operators is fused when it works on an array; one that gave a scalar
  // last time goes operator by operator (the same roundings either way), without the run's
  // bookkeeping, until it gives an array again.
  const bool chain =
      isChainOperator(binary.op) && (isChainNode(*binary.left) || isChainNode(*binary.right));
  if (chain && !binary.gaveScalar) {
    Value result = evaluateChain(binary);
    binary.gaveScalar = result.isScalar();
    return result;
  }
  Value left = evaluate(*binary.left);
  Value right = evaluate(*binary.right);
  if (chain && !(left.isScalar() && right.isScalar())) binary.gaveScalar = false;
  // Real scalars stay unboxed for the arithmetic that cannot leave the reals.
  if (left.isScalar() && right.isScalar() &&
      scalarArithmetic(binary.op, left.scalar(), right.scalar(), result)) {
    return Value(result);
  }
  return binaryOperation(binary.op, std::move(left), std::move(right));
}

// An operand of a chain of element-wise operators: a value and the scalar steps still to apply
// to it (only when it is a real full double array).
struct Interpreter::PendingChain {
  static constexpr int kMaxSteps = 8;
  Value base;
  int count = 0;
  std::array<ops::ScalarStep, kMaxSteps> steps;

  bool takesStep() const {
    return count < kMaxSteps && (count > 0 || (base.isArray() && ops::chainable(base.array())));
  }
  bool isPlainScalar() const { return count == 0 && base.isScalar(); }
  Value finish() {
    if (count == 0) return std::move(base);
    return Value::adopt(ops::scalarChain(base.release(), steps.data(), count));
  }
};

Value Interpreter::evaluateChain(const Binary& binary) {
  PendingChain chain;
  evaluateChainOperand(binary, chain);
  return chain.finish();
}

// Operands are evaluated in the usual order, left before right; only the arithmetic with
// scalars is put off, which cannot fail or have an effect.
void Interpreter::evaluateChainOperand(const Expression& expression, PendingChain& out) {
  if (!isChainNode(expression)) {
    out.base = evaluate(expression);
    return;
  }
  const Binary& binary = expression.as<Binary>();
  double a, b;
  if (scalarLeaf(*binary.left, a) && scalarLeaf(*binary.right, b)) {
    out.base = evaluateBinary(binary);  // two scalars, at once
    return;
  }
  PendingChain left, right;
  evaluateChainOperand(*binary.left, left);
  evaluateChainOperand(*binary.right, right);
  ops::ScalarStepOp step;
  if (right.isPlainScalar() && left.takesStep() && chainStep(binary.op, false, step)) {
    left.steps[left.count++] = {step, false, right.base.scalar()};
    out = std::move(left);
    return;
  }
  if (left.isPlainScalar() && right.takesStep() && chainStep(binary.op, true, step)) {
    right.steps[right.count++] = {step, true, left.base.scalar()};
    out = std::move(right);
    return;
  }
  double result;
  if (left.isPlainScalar() && right.isPlainScalar() &&
      scalarArithmetic(binary.op, left.base.scalar(), right.base.scalar(), result)) {
    out.base = result;
    return;
  }
  out.base = binaryOperation(binary.op, left.finish(), right.finish());
}

Value Interpreter::evaluateRange(const Range& range) {
  Value start = evaluate(*range.start);
  Value step = range.step ? evaluate(*range.step) : Value();
  Value stop = evaluate(*range.stop);
  return rangeOperation(start, range.step ? &step : nullptr, stop);
}

bool Interpreter::scalarValue(const Expression& expression, double& out) {
  switch (expression.kind) {
    case NodeKind::Number: {
      const Number& number = expression.as<Number>();
      out = number.value;
      return !number.imaginary;
    }
    case NodeKind::Identifier: {
      const std::int32_t slot = expression.as<Identifier>().slot;
      if (slot < 0) return false;
      const Value& value = *current_->slots[slot];
      out = value.scalar();
      return value.isScalar();
    }
    case NodeKind::Unary: {
      const Unary& unary = expression.as<Unary>();
      if (unary.op == UnaryOperator::Not || !scalarValue(*unary.operand, out)) return false;
      if (unary.op == UnaryOperator::Minus) out = -out;
      return true;
    }
    case NodeKind::Binary: {
      const Binary& binary = expression.as<Binary>();
      double a, b;
      return scalarValue(*binary.left, a) && scalarValue(*binary.right, b) &&
             scalarArithmetic(binary.op, a, b, out);
    }
    case NodeKind::Index:
      return !expression.parenthesized && scalarOfIndex(expression.as<Index>(), out);
    default:
      return false;
  }
}

namespace {

// The subscripts of v(k), v(i, j) or f(x): null for any other shape.
const std::vector<ExpressionPtr>* plainSubscripts(const Index& node) {
  if (node.base->kind != NodeKind::Identifier || node.base->parenthesized ||
      node.steps.size() != 1 || node.steps[0].kind != IndexStep::Kind::Paren) {
    return nullptr;
  }
  const std::size_t count = node.steps[0].arguments.size();
  return count == 1 || count == 2 ? &node.steps[0].arguments : nullptr;
}

// The real double array a variable holds, whose element k (1-based) exists; its index in out.
inline const zyArray* realDoubleElement(const Value& value, double k, std::size_t& index) {
  if (!value.isArray()) return nullptr;
  const zyArray* array = value.array();
  if (array->classId() != zyDOUBLE_CLASS || array->isSparse() || array->isComplex()) {
    return nullptr;
  }
  return existingElement(array->numberOfElements(), k, index) ? array : nullptr;
}

}  // namespace

const zyArray* Interpreter::elementOf(const std::vector<ExpressionPtr>& subscripts,
                                      const Value& value, std::size_t& index) {
  // Subscripts are mostly variables or numbers (scalarLeaf), else scalar arithmetic.
  const auto subscript = [this](const Expression& node, double& out) {
    return scalarLeaf(node, out) || scalarValue(node, out);
  };
  double k;
  if (subscripts.size() == 1) {
    return subscript(*subscripts[0], k) ? realDoubleElement(value, k, index) : nullptr;
  }
  double i, j;
  if (!subscript(*subscripts[0], i) || !subscript(*subscripts[1], j)) return nullptr;
  // v(i, j): the second subscript runs over every dimension after the first.
  const zyArray* array = realDoubleElement(value, 1, index);
  if (!array) return nullptr;
  const std::size_t rows = array->dimensions()[0];
  std::size_t row, column;
  if (!existingElement(rows, i, row) ||
      !existingElement(array->numberOfElements() / rows, j, column)) {
    return nullptr;
  }
  index = row + column * rows;
  return array;
}

bool Interpreter::scalarOfIndex(const Index& node, double& out) {
  const std::vector<ExpressionPtr>* subscripts = plainSubscripts(node);
  if (!subscripts) return false;
  const Identifier& name = node.base->as<Identifier>();
  if (name.slot >= 0) {
    const Value& value = *current_->slots[name.slot];
    if (value.isScalar()) {
      // v(1) or v(1, 1) of a scalar.
      double k;
      for (const ExpressionPtr& subscript : *subscripts) {
        if (!scalarValue(*subscript, k) || k != 1) return false;
      }
      out = value.scalar();
      return true;
    }
    std::size_t index;
    const zyArray* array = elementOf(*subscripts, value, index);
    if (!array) return false;
    out = array->elements<double>()[index];
    return true;
  }
  const Target* target = knownTarget(name);
  if (!target) return false;
  double x, y;
  if (subscripts->size() == 2) {
    return target->scalar2 && scalarValue(*(*subscripts)[0], x) &&
           scalarValue(*(*subscripts)[1], y) && target->scalar2(x, y, out);
  }
  if (target->scalar) return scalarValue(*(*subscripts)[0], x) && target->scalar(x, out);
  // A logical answer would become a double here; conditions take it (conditionQuery).
  return !target->logicalQuery && shapeQuery(*target, *(*subscripts)[0], out);
}

const Target* Interpreter::knownTarget(const Identifier& name) const {
  // Only a name already resolved here: resolving may load files, which the general path does in
  // its own order.
  const Target* target = nullptr;
  if (current_->scriptLike || current_->workspace->hasVariables()) return nullptr;
  return remembered(name, target) ? target : nullptr;
}

const Target* Interpreter::scalarTarget(const Identifier& name) const {
  const Target* target = knownTarget(name);
  return target && target->scalar ? target : nullptr;
}

bool Interpreter::shapeQuery(const Target& target, const Expression& argument, double& out) {
  if (!target.query || argument.kind != NodeKind::Identifier) return false;
  const std::int32_t slot = argument.as<Identifier>().slot;
  if (slot < 0 || !current_->slots[slot]->isArray()) return false;
  out = target.query(current_->slots[slot]->array());
  return true;
}

bool Interpreter::conditionQuery(const Expression& expression, bool& truth) {
  const bool negated =
      expression.kind == NodeKind::Unary && expression.as<Unary>().op == UnaryOperator::Not;
  const Expression& call = negated ? *expression.as<Unary>().operand : expression;
  if (call.kind != NodeKind::Index || call.parenthesized) return false;
  const std::vector<ExpressionPtr>* subscripts = plainSubscripts(call.as<Index>());
  if (!subscripts || subscripts->size() != 1) return false;
  const Identifier& name = call.as<Index>().base->as<Identifier>();
  const Target* target = name.slot < 0 ? knownTarget(name) : nullptr;
  double answer;
  if (!target || !shapeQuery(*target, *(*subscripts)[0], answer)) return false;
  truth = (answer != 0) != negated;
  return true;
}

bool Interpreter::runScalar(const ScalarCode& code, double& out, bool& callFailed) const {
  double stack[ScalarCode::kMaxDepth];
  std::size_t top = 0;  // values on the stack
  Value* const* slots = current_->slots;
  // The variable in slot when it holds a real scalar.
  const auto scalarIn = [slots](std::int32_t slot, double& x) {
    const Value& value = *slots[slot];
    x = value.scalar();
    return value.isScalar();
  };
  // Element k of the variable in slot, when it holds a real double array with that element.
  const auto elementIn = [slots](std::int32_t slot, double k, double& x) {
    const Value& value = *slots[slot];
    std::size_t index;
    if (value.isScalar() && k == 1) {
      x = value.scalar();
    } else if (const zyArray* array = realDoubleElement(value, k, index)) {
      x = array->elements<double>()[index];
    } else {
      return false;
    }
    return true;
  };
  using Code = ScalarOp::Code;
  for (const ScalarOp& op : code.ops) {
    double x;
    switch (op.code) {
      case Code::Number:
        stack[top++] = op.number;
        break;
      case Code::Slot:
        if (!scalarIn(op.slot, stack[top])) return false;
        ++top;
        break;
      case Code::Element:
        if (!elementIn(op.slot, stack[top - 1], stack[top - 1])) return false;
        break;
      case Code::ElementAt:
        if (!scalarIn(op.index, x) || !elementIn(op.slot, x, stack[top])) return false;
        ++top;
        break;
      case Code::Negate:
        stack[top - 1] = -stack[top - 1];
        break;
      case Code::Call: {
        const Target* target = scalarTarget(*op.name);
        if (!target) {
          callFailed = true;
          return false;
        }
        if (!target->scalar(stack[top - 1], stack[top - 1])) return false;
        break;
      }
#define Q_SCALAR_BINARY(Operation, symbol)                                       \
  case Code::Operation:                                                          \
    --top;                                                                       \
    stack[top - 1] symbol stack[top];                                            \
    break;                                                                       \
  case Code::Operation##Slot:                                                    \
    if (!scalarIn(op.slot, x)) return false;                                     \
    stack[top - 1] symbol x;                                                     \
    break;                                                                       \
  case Code::Operation##Number:                                                  \
    stack[top - 1] symbol op.number;                                             \
    break;                                                                       \
  case Code::Operation##Element:                                                 \
    if (!scalarIn(op.index, x) || !elementIn(op.slot, x, x)) return false;       \
    stack[top - 1] symbol x;                                                     \
    break;
      Q_SCALAR_BINARY(Add, +=)
      Q_SCALAR_BINARY(Subtract, -=)
      Q_SCALAR_BINARY(Multiply, *=)
      Q_SCALAR_BINARY(Divide, /=)
#undef Q_SCALAR_BINARY
    }
  }
  out = stack[0];
  return true;
}

bool Interpreter::assignedScalar(const Assignment& assignment, double& out) {
  const ScalarCode& code = assignment.code;
  if (code.ops.empty()) return scalarValue(*assignment.value, out);
  // Code that calls what has no scalar form (a user function) is not tried again while the
  // names resolve as they do now.
  if (code.uncompiledBy == &dispatcher_ && code.uncompiledGeneration == dispatcher_.generation()) {
    return false;
  }
  bool callFailed = false;
  if (runScalar(code, out, callFailed)) return true;
  if (callFailed) {
    code.uncompiledBy = &dispatcher_;
    code.uncompiledGeneration = dispatcher_.generation();
  }
  return false;
}

bool Interpreter::assignElement(const Assignment& assignment) {
  const Index& node = assignment.target->as<Index>();
  const std::vector<ExpressionPtr>* subscripts = plainSubscripts(node);
  if (!subscripts) return false;
  const std::int32_t slot = node.base->as<Identifier>().slot;
  if (slot < 0) return false;
  Value& variable = *current_->slots[slot];
  double value, k;
  if (!assignedScalar(assignment, value)) return false;
  if (variable.isScalar()) {
    // v(1) = x or v(1, 1) = x of a scalar.
    for (const ExpressionPtr& subscript : *subscripts) {
      if (!scalarValue(*subscript, k) || k != 1) return false;
    }
    variable = value;
    return true;
  }
  std::size_t index;
  const zyArray* array = elementOf(*subscripts, variable, index);
  if (!array) return false;
  // Data shared with copies of the variable is copied first (zyGetPr); data the variable has to
  // itself is written where it is.
  double* data = array->sharesData() ? zyGetPr(variable.mutableArray())
                                     : const_cast<double*>(array->elements<double>());
  if (!data) throw std::bad_alloc();
  data[index] = value;
  return true;
}

bool Interpreter::evaluateCondition(const Expression& expression) {
  if (expression.kind != NodeKind::Binary) {
    bool answer;
    if (conditionQuery(expression, answer)) return answer;
  } else {
    const Binary& binary = expression.as<Binary>();
    if (binary.op == BinaryOperator::AndAnd) {
      return shortCircuitCondition(*binary.left, "&&") &&
             shortCircuitCondition(*binary.right, "&&");
    }
    if (binary.op == BinaryOperator::OrOr) {
      return shortCircuitCondition(*binary.left, "||") ||
             shortCircuitCondition(*binary.right, "||");
    }
    if (isComparison(binary.op)) {
      double a, b;
      if ((scalarLeaf(*binary.left, a) || scalarValue(*binary.left, a)) &&
          (scalarLeaf(*binary.right, b) || scalarValue(*binary.right, b))) {
        return compareScalars(binary.op, a, b);
      }
      Value left = evaluate(*binary.left);
      Value right = evaluate(*binary.right);
      if (left.isScalar() && right.isScalar()) {
        return compareScalars(binary.op, left.scalar(), right.scalar());
      }
      return truth(binaryOperation(binary.op, std::move(left), std::move(right)));
    }
  }
  return truth(evaluate(expression));
}

bool Interpreter::shortCircuitCondition(const Expression& operand, const char* op) {
  if (operand.kind == NodeKind::Binary) {
    const Binary& binary = operand.as<Binary>();
    // A nested && or || gives one logical value, or raises the error itself.
    if (binary.op == BinaryOperator::AndAnd || binary.op == BinaryOperator::OrOr) {
      return evaluateCondition(operand);
    }
    double a, b;
    if (isComparison(binary.op) && (scalarLeaf(*binary.left, a) || scalarValue(*binary.left, a)) &&
        (scalarLeaf(*binary.right, b) || scalarValue(*binary.right, b))) {
      return compareScalars(binary.op, a, b);
    }
  }
  bool answer;
  if (conditionQuery(operand, answer)) return answer;
  return shortCircuitOperand(evaluate(operand), op);
}

Value Interpreter::evaluateRows(const Rows& rows) {
  const bool cell = rows.kind == NodeKind::Cell;
  if (cell && rows.rows.size() == 1) {
    // {a, b, ...}: a 1-by-n cell of the values, without joining 1-by-1 cells.
    PooledList values(*this);
    for (const ExpressionPtr& element : rows.rows[0]) evaluateMulti(*element, values.list);
    return cellRow(values.list);
  }
  std::vector<ValueList> values;
  values.reserve(rows.rows.size());
  for (const auto& row : rows.rows) {
    ValueList rowValues;
    rowValues.reserve(row.size());
    for (const ExpressionPtr& element : row) evaluateMulti(*element, rowValues);
    values.push_back(std::move(rowValues));
  }
  return cell ? cellLiteral(values) : concatenateLiteral(values);
}

Value Interpreter::evaluateAnonymous(const AnonymousFunction& node) {
  auto handle = std::make_shared<FunctionHandleData>();
  handle->anonymous = &node;
  handle->context = current_->file ? current_->file->self() : LoadedFilePtr();
  handle->keepAlive = handle->context;
  handle->captures.reserve(node.captures.size());
  for (const Capture& capture : node.captures) {
    handle->captures.push_back(*current_->slots[capture.outerSlot]);
  }
  handle->text = anonymousText(node);
  return Value::adopt(makeFunctionHandleArray(std::move(handle)));
}

// ---------------------------------------------------------------------------------------------
// Statements

// x = scalar arithmetic, the body of most numeric loops, without any detour: true when done.
// Kept small and inline, so that such a statement costs no call and no frame of the general
// path (executeStatement). A decoded step whose operands are not both real scalars goes the
// general way.
inline bool Interpreter::assignScalar(const Statement& statement) {
  if (statement.kind != NodeKind::Assignment) return false;
  const Assignment& assignment = statement.as<Assignment>();
  const ScalarStep& step = assignment.step;
  if (step.form != ScalarStep::Form::None) {
    double a, b;
    if (scalarSlot(step.left, step.leftNumber, a) && scalarSlot(step.right, step.rightNumber, b)) {
      double result;
      switch (step.form) {
        case ScalarStep::Form::Add:
          result = a + b;
          break;
        case ScalarStep::Form::Subtract:
          result = a - b;
          break;
        case ScalarStep::Form::Multiply:
          result = a * b;
          break;
        default:
          result = a / b;
          break;
      }
      *current_->slots[step.target] = result;
      return true;
    }
    return false;
  }
  // Any other scalar arithmetic assigned to a variable of the frame or an element of one.
  const Expression& target = *assignment.target;
  if (assignment.display) return false;
  if (target.kind == NodeKind::Index) return assignElement(assignment);
  if (target.kind != NodeKind::Identifier) return false;
  const std::int32_t slot = target.as<Identifier>().slot;
  double value;
  if (slot < 0 || !assignedScalar(assignment, value)) return false;
  *current_->slots[slot] = value;
  return true;
}

// Loops run their bodies through this inline copy of execute: an iteration then makes no call
// when its statements are scalar assignments.
__attribute__((always_inline)) inline Flow Interpreter::executeBlock(
    const StatementList& statements, std::size_t from) {
  for (std::size_t i = from; i < statements.size(); ++i) {
    const Statement& statement = *statements[i];
    current_->line = statement.location.line;
    if (assignScalar(statement)) continue;
    const Flow flow = executeStatement(statement);
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Flow Interpreter::execute(const StatementList& statements, std::size_t from) {
  return executeBlock(statements, from);
}

// Every statement but the scalar assignments assignScalar takes; the line is set.
Flow Interpreter::executeStatement(const Statement& statement) {
  try {
    switch (statement.kind) {
      case NodeKind::ExpressionStatement:
        executeExpressionStatement(statement.as<ExpressionStatement>());
        return Flow::Normal;
      case NodeKind::Assignment:
        executeAssignment(statement.as<Assignment>());
        return Flow::Normal;
      case NodeKind::MultipleAssignment:
        executeMultipleAssignment(statement.as<MultipleAssignment>());
        return Flow::Normal;
      case NodeKind::If:
        checkNestingRoom();
        return executeIf(statement.as<If>());
      case NodeKind::For:
        checkNestingRoom();
        return executeFor(statement.as<For>());
      case NodeKind::While:
        checkNestingRoom();
        return executeWhile(statement.as<While>());
      case NodeKind::Switch:
        checkNestingRoom();
        return executeSwitch(statement.as<Switch>());
      case NodeKind::Try:
        checkNestingRoom();
        return executeTry(statement.as<Try>());
      case NodeKind::Break:
        return Flow::Break;
      case NodeKind::Continue:
        return Flow::Continue;
      case NodeKind::Return:
        return Flow::Return;
      case NodeKind::Global:
      case NodeKind::Persistent:
        executeDeclaration(statement.as<Declaration>());
        return Flow::Normal;
      default:
        raiseLiteral("Q:internal", "This statement cannot be executed.");
    }
  } catch (QError& error) {
    if (!error.hasStack()) completeStack(error);
    throw;
  } catch (const zy::ScriptError& error) {
    throwWithStack(error.identifier(), error.what());
  } catch (const std::bad_alloc&) {
    throwWithStack("Q:outOfMemory", "Out of memory.");
  }
}

__attribute__((noinline, cold)) void Interpreter::throwWithStack(const std::string& identifier,
                                                                 const std::string& message) {
  QError converted(identifier, message);
  completeStack(converted);
  throw converted;
}

void Interpreter::executeExpressionStatement(const ExpressionStatement& statement) {
  const Expression& expression = *statement.expression;
  if (expression.kind == NodeKind::Identifier) {
    const Identifier& identifier = expression.as<Identifier>();
    Value* found = findVariable(identifier);
    if (found && found->isDefined()) {
      if (statement.display) display(identifier.name, *found);
      return;
    }
  }
  PooledList pooledResults(*this);
  ValueList& results = pooledResults.list;
  evaluateWithNargout(expression, 0, results);
  if (results.empty()) return;
  const std::int32_t ansSlot = current_->info ? current_->info->ansSlot : -1;
  for (Value& result : results) {
    Value& answer = ansSlot >= 0 ? *current_->slots[ansSlot] : current_->workspace->obtain("ans");
    answer = std::move(result);
    if (statement.display) display("ans", answer);
  }
}

void Interpreter::executeAssignment(const Assignment& statement) {
  const Expression& target = *statement.target;
  if (target.kind == NodeKind::Identifier) {
    Value& slot = variable(target.as<Identifier>());
    double scalar;
    if (statement.display && scalarValue(*statement.value, scalar)) {
      slot = scalar;
      display(target.as<Identifier>().name, slot);
      return;
    }
    if (statement.value->kind == NodeKind::Matrix &&
        appendInPlace(target.as<Identifier>(), statement.value->as<Rows>(), slot)) {
      if (statement.display) display(target.as<Identifier>().name, slot);
      return;
    }
    // Evaluate first: the variable keeps its old value if the right side fails.
    Value value = evaluate(*statement.value);
    slot = std::move(value);
    if (statement.display) display(target.as<Identifier>().name, slot);
    return;
  }
  const Index& index = target.as<Index>();
  const bool deletion = statement.value->kind == NodeKind::Matrix &&
                        statement.value->as<Matrix>().rows.empty() &&
                        index.steps.back().kind == IndexStep::Kind::Paren;
  Value value = deletion ? Value() : evaluate(*statement.value);
  const Identifier& base = index.base->as<Identifier>();
  Value& object = variable(base);
  assignSteps(object, index, 0, std::move(value), deletion);
  if (statement.display) display(base.name, object);
}

namespace {

// Whether item can be appended to a vector of class classId and complexity along its length
// (across rows when down): a vector of the same class and complexity along that direction, or a
// 0-by-0 array of that class, which concatenation skips.
bool appendable(const Value& item, zyClassID classId, bool complex, bool down) {
  if (item.isScalar()) return classId == zyDOUBLE_CLASS && !complex;
  if (!item.isArray()) return false;
  const zyArray* array = item.array();
  if (array->classId() != classId || array->isSparse() || array->isComplex() != complex ||
      array->numberOfDimensions() != 2) {
    return false;
  }
  const std::size_t* dims = array->dimensions();
  return dims[down ? 1 : 0] == 1 || (dims[0] == 0 && dims[1] == 0);
}

}  // namespace

bool Interpreter::appendInPlace(const Identifier& target, const Rows& rows, Value& slot) {
  // The statement's shape: x, then the items, all in one row (across) or one column (down).
  const bool down = rows.rows.size() > 1;
  if (rows.rows.empty() || (!down && rows.rows[0].size() < 2)) return false;
  for (const auto& row : rows.rows) {
    if (down && row.size() != 1) return false;
  }
  const Expression& head = *rows.rows[0][0];
  if (target.slot < 0 || head.kind != NodeKind::Identifier ||
      head.as<Identifier>().slot != target.slot) {
    return false;
  }
  // x: a vector along that direction, with at least one element, that no other value shares.
  if (!slot.isArray()) return false;
  zyArray* array = slot.mutableArray();
  const zyClassID classId = array->classId();
  const bool cell = classId == zyCELL_CLASS;
  const bool plain = (classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS) ||
                     classId == zyCHAR_CLASS || classId == zyLOGICAL_CLASS;
  if ((!cell && !plain) || array->isSparse() || array->numberOfDimensions() != 2 ||
      array->sharesData() || array->numberOfElements() == 0 ||
      array->dimensions()[down ? 1 : 0] != 1) {
    return false;
  }
  // The items are evaluated as concatenation evaluates them, after x is read (into before):
  // should an item change x, the x read first is what the items follow.
  Value before = slot;
  PooledList items(*this);
  const std::size_t itemCount = down ? rows.rows.size() : rows.rows[0].size();
  for (std::size_t i = 1; i < itemCount; ++i) {
    evaluateMulti(down ? *rows.rows[i][0] : *rows.rows[0][i], items.list);
  }
  // In place when x is as it was, each item fits, and nothing but before shares x.
  const bool complex = array->isComplex();
  bool inPlace = slot.isArray() && slot.array() == array && array->sharesData();
  std::size_t added = 0;
  for (const Value& item : items.list) {
    inPlace = inPlace && appendable(item, classId, complex, down);
    added += item.numberOfElements();
  }
  const std::size_t count = array->numberOfElements();
  if (inPlace) {
    before.reset();
    inPlace = !array->sharesData() &&
              growInPlace(array, down ? Dims{count + added, 1} : Dims{1, count + added});
  }
  if (!inPlace) {
    // As concatenation does it: x as read first, then the items.
    std::vector<ValueList> literal(1);
    literal[0].push_back(before.isDefined() ? std::move(before) : Value(slot));
    for (Value& item : items.list) {
      if (down) literal.emplace_back();
      literal.back().push_back(std::move(item));
    }
    slot = concatenateLiteral(literal);
    return true;
  }
  std::size_t next = count;
  for (const Value& item : items.list) {
    ArrayPtr holder;
    const zyArray* source = item.view(holder);
    ElementCopier copier(source, array);
    for (std::size_t k = 0; k < source->numberOfElements(); ++k) copier.copy(k, next++);
  }
  return true;
}

bool Interpreter::isListTarget(const Expression& target) {
  if (target.kind != NodeKind::Index) return false;
  const IndexStep::Kind last = target.as<Index>().steps.back().kind;
  return last != IndexStep::Kind::Paren;
}

std::size_t Interpreter::listTargetCount(const Index& node) {
  // The value the last step indexes, read as far as it exists: a target may create or grow it.
  const Identifier& base = node.base->as<Identifier>();
  const Value* object = findVariable(base);
  Value part;
  const std::size_t steps = node.steps.size();
  for (std::size_t step = 0; step + 1 < steps && object && object->isDefined(); ++step) {
    const IndexStep& indexStep = node.steps[step];
    ValueList values;
    try {
      if (indexStep.kind == IndexStep::Kind::Field ||
          indexStep.kind == IndexStep::Kind::DynamicField) {
        indexField(*object, fieldName(indexStep), values);
      } else {
        ValueList arguments;
        evaluateIndexArguments(node, step, object, arguments);
        if (indexStep.kind == IndexStep::Kind::Paren) {
          values.push_back(indexParen(*object, arguments));
        } else {
          indexBrace(*object, arguments, values);
        }
      }
    } catch (const QError& error) {
      const std::string& id = error.identifier();
      if (id != "Q:badsubscript" && id != "Q:nonExistentField" && id != "Q:fieldRefFromNonStruct" &&
          id != "Q:cellRefFromNonCell") {
        throw;
      }
      values.clear();
    }
    if (values.size() != 1) {
      object = nullptr;
      break;
    }
    part = std::move(values[0]);
    object = &part;
  }
  const Value missing;
  if (!object) object = &missing;
  const IndexStep& last = node.steps.back();
  if (last.kind != IndexStep::Kind::Brace) {
    // s.f names one value per element of a struct array.
    return object->isStruct() && object->numberOfElements() > 0 ? object->numberOfElements() : 1;
  }
  ValueList arguments;
  evaluateIndexArguments(node, steps - 1, object, arguments);
  if (arguments.empty()) return 1;
  const Subscripts subscripts = makeSubscripts(arguments);
  const Dims extents = indexExtents(dimsOf(*object), subscripts.size());
  std::size_t count = 1;
  for (std::size_t k = 0; k < subscripts.size(); ++k)
    count *= subscriptCount(subscripts[k], extents[k]);
  return count;
}

void Interpreter::executeMultipleAssignment(const MultipleAssignment& statement) {
  // Each target takes one value, except c{...} and s.f, which take as many as the list they
  // name; the function is asked for all of them.
  std::vector<std::size_t> counts;
  counts.reserve(statement.targets.size());
  std::size_t total = 0, needed = 0;
  for (const ExpressionPtr& target : statement.targets) {
    const std::size_t count =
        target && isListTarget(*target) ? listTargetCount(target->as<Index>()) : 1;
    counts.push_back(count);
    total += count;
    // Outputs that are not kept (~) may be missing at the end; kept ones may not.
    if (target) needed = total;
  }
  ValueList results;
  evaluateWithNargout(*statement.value, static_cast<int>(total), results);
  if (results.size() < needed) {
    raise("Q:TooManyOutputs", "Too many output arguments: " + std::to_string(needed) + " wanted, " +
                                  std::to_string(results.size()) + " produced.");
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < statement.targets.size() && next < results.size(); ++i) {
    const ExpressionPtr& target = statement.targets[i];
    const std::size_t count = counts[i];
    if (target && isListTarget(*target) && count != 1) {
      ValueList values(std::make_move_iterator(results.begin() + next),
                       std::make_move_iterator(results.begin() + next + count));
      const Index& index = target->as<Index>();
      assignSteps(variable(index.base->as<Identifier>()), index, 0, Value(), false, &values);
    } else if (target) {
      assignTo(*target, std::move(results[next]));
    }
    next += count;
  }
  if (statement.display) {
    for (const ExpressionPtr& target : statement.targets) {
      if (target) displayVariable(*target);
    }
  }
}

void Interpreter::assignTo(const Expression& target, Value rhs) {
  if (target.kind == NodeKind::Identifier) {
    variable(target.as<Identifier>()) = std::move(rhs);
    return;
  }
  const Index& index = target.as<Index>();
  Value& object = variable(index.base->as<Identifier>());
  assignSteps(object, index, 0, std::move(rhs), false);
}

void Interpreter::displayVariable(const Expression& target) {
  const Identifier& name = target.kind == NodeKind::Identifier
                               ? target.as<Identifier>()
                               : target.as<Index>().base->as<Identifier>();
  display(name.name, variable(name));
}

void Interpreter::assignSteps(Value& object, const Index& node, std::size_t step, Value rhs,
                              bool deletion, ValueList* list) {
  const IndexStep& indexStep = node.steps[step];
  const bool last = step + 1 == node.steps.size();
  switch (indexStep.kind) {
    case IndexStep::Kind::Paren: {
      PooledList pooledArguments(*this);
      ValueList& arguments = pooledArguments.list;
      evaluateIndexArguments(node, step, &object, arguments);
      if (last) {
        if (deletion) {
          deleteElements(object, arguments);
        } else {
          requireSameFields(object, rhs);
          assignParen(object, arguments, std::move(rhs));
        }
        return;
      }
      // a(i).f = v and the like: change a copy of the part, then put it back.
      Value part;
      if (object.isDefined() && !object.isEmpty() && !pastTheEnd(object, arguments)) {
        try {
          ValueList copy = arguments;
          part = indexParen(object, copy);
        } catch (const QError& error) {
          if (error.identifier() != "Q:badsubscript") throw;
        }
      }
      if (!part.isDefined() && object.isDefined() && (object.isCell() || object.isStruct())) {
        // Growing a container: the new part starts as an empty element of the same kind.
        part = Value::adopt(object.isCell() ? zyCreateCellMatrix(1, 1)
                                            : zyCreateStructMatrix(1, 1, 0, nullptr));
      }
      assignSteps(part, node, step + 1, std::move(rhs), deletion, list);
      assignParen(object, arguments, std::move(part));
      return;
    }
    case IndexStep::Kind::Brace: {
      ValueList arguments;
      evaluateIndexArguments(node, step, &object, arguments);
      if (last) {
        if (list) {
          assignBraceEach(object, arguments, *list);
        } else {
          assignBrace(object, arguments, std::move(rhs));
        }
        return;
      }
      // Later subscripts that read the base must see the element still in place.
      Value part = laterStepsNameBase(node) ? copyCellElement(object, arguments)
                                            : takeCellElement(object, arguments);
      assignSteps(part, node, step + 1, std::move(rhs), deletion, list);
      assignBrace(object, arguments, std::move(part));
      return;
    }
    case IndexStep::Kind::Field:
    case IndexStep::Kind::DynamicField: {
      const std::string name = fieldName(indexStep);
      if (last) {
        if (list) {
          assignFieldEach(object, name, *list);
        } else {
          assignField(object, name, std::move(rhs));
        }
        return;
      }
      Value part;
      if (!laterStepsNameBase(node)) {
        part = takeField(object, name);
      } else if (object.isStruct() && object.numberOfElements() == 1 &&
                 zyGetFieldNumber(object.array(), name.c_str()) >= 0) {
        ValueList values;
        indexField(object, name, values);
        if (values.size() == 1) part = std::move(values[0]);
      }
      assignSteps(part, node, step + 1, std::move(rhs), deletion, list);
      assignField(object, name, std::move(part));
      return;
    }
  }
}

Flow Interpreter::executeIf(const If& statement) {
  for (const IfClause& clause : statement.clauses) {
    current_->line = clause.location.line;
    if (evaluateCondition(*clause.condition)) return execute(clause.body);
  }
  if (statement.hasElse) return execute(statement.elseBody);
  return Flow::Normal;
}

Flow Interpreter::executeFor(const For& statement) {
  Flow flow = Flow::Normal;
  if (statement.program && runLoopProgram(*statement.program, flow)) return flow;
  return executeForFromTree(statement);
}

Flow Interpreter::executeForFromTree(const For& statement) {
  const Expression& values = *statement.values;
  if (values.kind == NodeKind::Range) {
    // start:step:stop with scalar ends runs without making the vector.
    const Range& range = values.as<Range>();
    Value start = evaluate(*range.start);
    Value step = range.step ? evaluate(*range.step) : Value(1.0);
    Value stop = evaluate(*range.stop);
    // (No values: the variable still receives the empty range, from iterateColumns below.)
    const std::size_t count =
        start.isScalar() && step.isScalar() && stop.isScalar()
            ? rangeCount(start.scalar(), step.scalar(), stop.scalar())
            : 0;
    if (count != 0) return continueFor(statement, start.scalar(), step.scalar(), count, 0);
    Value all = rangeOperation(start, range.step ? &step : nullptr, stop);
    return iterateColumns(statement, std::move(all));
  }
  return iterateColumns(statement, evaluate(values));
}

Flow Interpreter::continueFor(const For& statement, double first, double increment,
                              std::size_t count, std::size_t from) {
  for (std::size_t i = from; i < count; ++i) {
    poll();
    variable(*statement.variable) = first + static_cast<double>(i) * increment;
    current_->line = statement.location.line;
    const Flow flow = executeBlock(statement.body);
    if (flow == Flow::Break) break;
    if (flow == Flow::Return) return flow;
  }
  return Flow::Normal;
}

// The variable is defined after a loop that ran no time: the rows of the value by 0 columns, of
// its class (`for k = 1:0` leaves k 1-by-0).
Value Interpreter::noColumns(const Value& values) {
  ValueList subscripts;
  subscripts.push_back(Value::adopt(makeString(std::string(":"))));
  subscripts.push_back(Value::adopt(makeEmptyDouble()));
  return indexParen(values, subscripts);
}

Value Interpreter::emptyLoopValue(double start, double step, double stop) {
  const Value increment(step);
  return noColumns(rangeOperation(Value(start), &increment, Value(stop)));
}

Flow Interpreter::iterateColumns(const For& statement, Value values) {
  if (values.isScalar()) {
    variable(*statement.variable) = values.scalar();
    const Flow flow = execute(statement.body);
    return flow == Flow::Return ? flow : Flow::Normal;
  }
  const zyArray* array = values.array();
  const std::size_t rows = array->dimensions()[0];
  // The columns of every page: a 0-by-3 matrix has three (empty) columns.
  std::size_t columns = 1;
  for (std::size_t d = 1; d < array->numberOfDimensions(); ++d) columns *= array->dimensions()[d];
  if (columns == 0) {
    variable(*statement.variable) = noColumns(values);
    return Flow::Normal;
  }
  const bool realDoubleRow =
      rows == 1 && array->classId() == zyDOUBLE_CLASS && !array->isComplex() && !array->isSparse();
  for (std::size_t column = 0; column < columns; ++column) {
    poll();
    if (realDoubleRow) {
      variable(*statement.variable) = array->elements<double>()[column];
    } else {
      ValueList subscripts;
      subscripts.push_back(Value::adopt(makeString(std::string(":"))));
      subscripts.push_back(Value(static_cast<double>(column + 1)));
      variable(*statement.variable) = indexParen(values, subscripts);
    }
    current_->line = statement.location.line;
    const Flow flow = execute(statement.body);
    if (flow == Flow::Break) break;
    if (flow == Flow::Return) return flow;
  }
  return Flow::Normal;
}

Flow Interpreter::executeWhile(const While& statement) {
  Flow flow = Flow::Normal;
  if (statement.program && runLoopProgram(*statement.program, flow)) return flow;
  return executeWhileFromTree(statement);
}

Flow Interpreter::executeWhileFromTree(const While& statement) {
  for (;;) {
    poll();
    current_->line = statement.location.line;
    if (!evaluateCondition(*statement.condition)) return Flow::Normal;
    const Flow flow = executeBlock(statement.body);
    if (flow == Flow::Break) return Flow::Normal;
    if (flow == Flow::Return) return flow;
  }
}

bool Interpreter::switchMatches(const Value& subject, const Value& candidate) {
  if (candidate.isCell()) {
    const zyArray* cell = candidate.array();
    for (std::size_t i = 0; i < cell->numberOfElements(); ++i) {
      if (switchMatches(subject, Value::share(zyGetCellConst(cell, i)))) return true;
    }
    return false;
  }
  if (isText(subject) || isText(candidate)) {
    if (!isText(subject) || !isText(candidate)) return false;
    return textOf(subject, "a case") == textOf(candidate, "a case");
  }
  double a, b;
  if (subject.asRealDouble(a) && candidate.asRealDouble(b)) return a == b;
  if (subject.numberOfElements() != 1 || candidate.numberOfElements() != 1) return false;
  return truth(binaryOperation(BinaryOperator::Equal, subject, candidate));
}

Flow Interpreter::executeSwitch(const Switch& statement) {
  const Value subject = evaluate(*statement.subject);
  for (const SwitchCase& switchCase : statement.cases) {
    current_->line = switchCase.location.line;
    if (switchMatches(subject, evaluate(*switchCase.value))) return execute(switchCase.body);
  }
  if (statement.hasOtherwise) return execute(statement.otherwise);
  return Flow::Normal;
}

Flow Interpreter::executeTry(const Try& statement) {
  Activation* const activation = current_;
  const std::size_t endContexts = endContexts_.size();
  const int depth = depth_;
  try {
    return execute(statement.body);
  } catch (QError& error) {
    // A stopped call must end, so its error is not caught.
    if (stopping()) throw;
    if (!error.hasStack()) completeStack(error);
    current_ = activation;
    endContexts_.resize(endContexts);
    depth_ = depth;
    lastError_ = error.message();
    if (!statement.hasCatch) return Flow::Normal;
    if (statement.catchVariable) variable(*statement.catchVariable) = errorStruct(error);
    return execute(statement.catchBody);
  }
}

void Interpreter::executeDeclaration(const Declaration& statement) {
  const bool isGlobal = statement.kind == NodeKind::Global;
  for (const auto& name : statement.names) {
    std::shared_ptr<Value> storage;
    if (isGlobal) {
      storage = global(name->name);
    } else {
      auto& persistent = persistents_[{current_->function, name->name}];
      if (!persistent) persistent = std::make_shared<Value>(Value::adopt(makeEmptyDouble()));
      storage = persistent;
    }
    if (name->slot >= 0) current_->slots[name->slot] = storage.get();
    if (current_->scriptLike || name->slot < 0) {
      // A script or eval text declares the name in the workspace it runs in, so that later
      // statements there see the global too.
      Workspace& workspace = *current_->workspace;
      Activation* owner = workspace.owner;
      const std::int32_t ownerSlot =
          owner && owner->function ? owner->function->findVariable(name->name) : -1;
      if (ownerSlot >= 0) {
        owner->slots[ownerSlot] = storage.get();
        owner->links.push_back(storage);
      } else {
        workspace.add(name->name, storage);
      }
    }
    current_->links.push_back(std::move(storage));
  }
}

// ---------------------------------------------------------------------------------------------
// Stops

namespace {

// Polls between looks at the clock while a call has a budget: a clock read costs about as much
// as a loop iteration, so it is made rarely, and a poll is rarely longer than a statement.
constexpr std::uint32_t kPollsPerClockRead = 128;
// Polls between looks at nothing when a call has neither budget nor step limit.
constexpr std::uint32_t kUnwatchedPolls = std::uint32_t(1) << 30;

// The coarse monotonic clock is read in user space, without a system call; its tick (a few
// milliseconds) is precision enough for a budget.
std::int64_t coarseNow() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

// Native stack a block may take before the blocks inside it are checked, with room for the
// expressions and built-ins it runs.
constexpr std::size_t kBlockStackReserve = 64 * 1024 * kNativeFrameScale;

// Blocks nest as deep as the code does, and each level takes native stack: checked when a
// compound statement is entered (once per loop, not per iteration).
__attribute__((noinline, cold)) void Interpreter::nestingTooDeep() {
  raiseLiteral("Q:recursionLimit",
               "Maximum recursion limit reached: the native stack is full (blocks nested too "
               "deep for this thread).");
}

void Interpreter::startCall() {
  const NativeStack stack = nativeStack();
  callStackFloor_ = stack.floor(kCallStackReserve);
  blockStackFloor_ = stack.floor(kBlockStackReserve);
  stop_ = Stop::None;
  polls_ = 0;
  stepLimit_ = control_.stepLimit();
  const std::int64_t budget = control_.callBudgetNanoseconds();
  budgetSeconds_ = budget > 0 ? static_cast<double>(budget) / 1e9 : 0;
  deadline_ = budget > 0 ? coarseNow() + budget : 0;
  refillPolls();
}

void Interpreter::refillPolls() {
  std::uint64_t chunk = deadline_ != 0 ? kPollsPerClockRead : kUnwatchedPolls;
  // The poll after the last one allowed is the next to look.
  if (stepLimit_ != 0) chunk = std::min(chunk, stepLimit_ - std::min(polls_, stepLimit_) + 1);
  pollChunk_ = pollCountdown_ = static_cast<std::uint32_t>(chunk);
}

__attribute__((noinline)) void Interpreter::pollSlowly() {
  polls_ += pollChunk_ - pollCountdown_;
  checkStop();
  refillPolls();
}

void Interpreter::checkStop() {
  if (stop_ == Stop::None) {
    if (interruptFlag_->load(std::memory_order_relaxed)) {
      stop_ = Stop::Interrupted;
    } else if (stepLimit_ != 0 && polls_ > stepLimit_) {
      stop_ = Stop::Steps;
    } else if (deadline_ != 0 && coarseNow() >= deadline_) {
      stop_ = Stop::Budget;
    } else {
      return;
    }
  }
  // From now on every poll comes here and raises again.
  pollChunk_ = pollCountdown_ = 1;
  raiseStop();
}

__attribute__((noinline, cold)) void Interpreter::raiseStop() const {
  switch (stop_) {
    case Stop::Budget: {
      char message[96];
      std::snprintf(message, sizeof message, "The call ran longer than its budget of %g seconds.",
                    budgetSeconds_);
      raise("Q:callBudgetExceeded", message);
    }
    case Stop::Steps:
      raise("Q:stepLimit",
            "The call exceeded its limit of " + std::to_string(stepLimit_) + " steps.");
    default:
      raise("Q:interrupted", "The call was interrupted.");
  }
}

void Interpreter::sleep(double seconds) {
  using Clock = std::chrono::steady_clock;
  poll();
  // Beyond some thirty years the end would overflow the clock; nobody waits that long.
  const auto wanted = std::chrono::duration<double>(std::min(seconds, 1e9));
  Clock::time_point until = Clock::now() + std::chrono::duration_cast<Clock::duration>(wanted);
  bool untilDeadline = false;
  if (deadline_ != 0) {
    // Both clocks count from the same origin (CLOCK_MONOTONIC's).
    const Clock::time_point deadline{std::chrono::nanoseconds(deadline_)};
    if (deadline <= until) {
      until = deadline;
      untilDeadline = true;
    }
  }
  bool interrupted;
  {
    // Other threads may use the engine meanwhile.
    tnutil::threadutil::ReleaseCountedMutexGuard release(kvn_mutex);
    interrupted = control_.waitForInterrupt(until);
  }
  if (!interrupted && untilDeadline && stop_ == Stop::None) {
    // The coarse clock may not have reached the deadline yet; the wait did.
    stop_ = Stop::Budget;
  }
  checkStop();
}

Value Interpreter::errorStruct(const QError& error) {
  const char* fields[] = {"identifier", "message", "stack"};
  ArrayPtr result = checked(zyCreateStructMatrix(1, 1, 3, fields));
  zySetField(result.get(), 0, "identifier", makeString(error.identifier()).release());
  zySetField(result.get(), 0, "message", makeString(error.message()).release());
  const char* stackFields[] = {"file", "name", "line"};
  ArrayPtr stack = checked(zyCreateStructMatrix(error.stack().size(), 1, 3, stackFields));
  for (std::size_t i = 0; i < error.stack().size(); ++i) {
    const rtkSorvelStackLine& line = error.stack()[i];
    zySetField(stack.get(), i, "file", makeString(line.file).release());
    zySetField(stack.get(), i, "name", makeString(line.function).release());
    zySetField(stack.get(), i, "line", checked(zyCreateDoubleScalar(line.line)).release());
  }
  zySetField(result.get(), 0, "stack", stack.release());
  return Value::adopt(std::move(result));
}

}  // namespace q
