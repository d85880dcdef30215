#include "engine/operators.hpp"

#include <cmath>
#include <limits>

#include "engine/errors.hpp"
#include "engine/ops/operations.hpp"

namespace q {

namespace {

ops::BinaryOp toOps(ast::BinaryOperator op) {
  using B = ast::BinaryOperator;
  switch (op) {
    case B::Or:
      return ops::BinaryOp::Or;
    case B::And:
      return ops::BinaryOp::And;
    case B::Less:
      return ops::BinaryOp::Lt;
    case B::LessEqual:
      return ops::BinaryOp::Le;
    case B::Greater:
      return ops::BinaryOp::Gt;
    case B::GreaterEqual:
      return ops::BinaryOp::Ge;
    case B::Equal:
      return ops::BinaryOp::Eq;
    case B::NotEqual:
      return ops::BinaryOp::Ne;
    case B::Plus:
      return ops::BinaryOp::Plus;
    case B::Minus:
      return ops::BinaryOp::Minus;
    case B::Times:
      return ops::BinaryOp::MTimes;
    case B::Divide:
      return ops::BinaryOp::MRDivide;
    case B::LeftDivide:
      return ops::BinaryOp::MLDivide;
    case B::ElementTimes:
      return ops::BinaryOp::Times;
    case B::ElementDivide:
      return ops::BinaryOp::RDivide;
    case B::ElementLeftDivide:
      return ops::BinaryOp::LDivide;
    case B::Power:
      return ops::BinaryOp::MPower;
    case B::ElementPower:
      return ops::BinaryOp::Power;
    case B::OrOr:
    case B::AndAnd:
      break;
  }
  raise("Q:internal", "short-circuit operators are evaluated by the interpreter");
}

}  // namespace

Value binaryOperation(ast::BinaryOperator op, Value left, Value right) {
  const ops::BinaryOp operation = toOps(op);
  if (left.isScalar() && right.isScalar()) {
    ops::ScalarResult result;
    if (ops::scalarBinary(operation, left.scalar(), right.scalar(), result)) {
      if (result.isLogical) return Value::adopt(makeLogicalScalar(result.value != 0));
      return Value(result.value);
    }
  }
  return Value::adopt(ops::binary(operation, left.release(), right.release()));
}

Value unaryOperation(ast::UnaryOperator op, Value operand) {
  if (operand.isScalar()) {
    switch (op) {
      case ast::UnaryOperator::Minus:
        return Value(-operand.scalar());
      case ast::UnaryOperator::Plus:
        return operand;
      case ast::UnaryOperator::Not:
        if (std::isnan(operand.scalar())) {
          raise("Q:NaNToLogical", "NaN's cannot be converted to logicals.");
        }
        return Value::adopt(makeLogicalScalar(operand.scalar() == 0));
    }
  }
  const ops::UnaryOp operation = op == ast::UnaryOperator::Minus  ? ops::UnaryOp::Negate
                                 : op == ast::UnaryOperator::Plus ? ops::UnaryOp::UPlus
                                                                  : ops::UnaryOp::Not;
  return Value::adopt(ops::unary(operation, operand.release()));
}

Value postfixOperation(ast::PostfixOperator op, Value operand) {
  if (operand.isScalar()) return operand;
  const ops::UnaryOp operation =
      op == ast::PostfixOperator::Transpose ? ops::UnaryOp::CTranspose : ops::UnaryOp::Transpose;
  return Value::adopt(ops::unary(operation, operand.release()));
}

Value rangeOperation(const Value& start, const Value* step, const Value& stop) {
  ArrayPtr startHolder, stepHolder, stopHolder;
  const zyArray* startArray = start.view(startHolder);
  const zyArray* stepArray = step ? step->view(stepHolder) : nullptr;
  const zyArray* stopArray = stop.view(stopHolder);
  return Value::adopt(ops::range(startArray, stepArray, stopArray));
}

std::size_t rangeCount(double start, double step, double stop) {
  if (std::isnan(start) || std::isnan(step) || std::isnan(stop) || step == 0) return 0;
  if ((step > 0 && start > stop) || (step < 0 && start < stop)) return 0;
  const double span = (stop - start) / step;
  // A tolerance of a few ulps keeps 0:0.1:1 at eleven values.
  const double count = std::floor(span + span * 4 * 2.220446049250313e-16) + 1;
  if (!std::isfinite(count)) raise("Q:outOfMemory", "The range is too long.");
  // More values than a count holds: a loop over them runs until it is left or stopped.
  if (count >= 18446744073709551616.0) return std::numeric_limits<std::size_t>::max();
  return static_cast<std::size_t>(count);
}

bool truth(const Value& value) {
  if (value.isScalar()) {
    if (std::isnan(value.scalar())) {
      raise("Q:NaNToLogical", "NaN's cannot be converted to logicals.");
    }
    return value.scalar() != 0;
  }
  if (!value.isDefined()) return false;
  return ops::isTrue(value.array());
}

Value concatenateLiteral(std::vector<ValueList>& rows) {
  // One real double scalar: nothing to join.
  if (rows.size() == 1 && rows[0].size() == 1 && rows[0][0].isScalar()) {
    return std::move(rows[0][0]);
  }
  std::vector<ArrayPtr> holders;
  std::vector<ops::ConcatenationRow> arrays;
  arrays.reserve(rows.size());
  for (ValueList& row : rows) {
    ops::ConcatenationRow arrayRow;
    arrayRow.reserve(row.size());
    for (Value& value : row) {
      holders.emplace_back();
      arrayRow.push_back(value.view(holders.back()));
    }
    arrays.push_back(std::move(arrayRow));
  }
  if (arrays.empty()) return Value::adopt(makeEmptyDouble());
  return Value::adopt(ops::concatenate(arrays));
}

Value cellRow(ValueList& values) {
  if (values.empty()) return Value::adopt(checked(zyCreateCellMatrix(0, 0)));
  ArrayPtr cell = checked(zyCreateCellMatrix(1, values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    zySetCell(cell.get(), i, values[i].release().release());
  }
  return Value::adopt(std::move(cell));
}

Value cellLiteral(std::vector<ValueList>& rows) {
  // Each value becomes a 1-by-1 cell holding it (so {c1, c2} nests cells), and the 1-by-1 cells
  // are joined as cell arrays join.
  std::vector<ArrayPtr> cells;
  std::vector<ops::ConcatenationRow> arrays;
  for (ValueList& row : rows) {
    ops::ConcatenationRow arrayRow;
    for (Value& value : row) {
      ArrayPtr cell = checked(zyCreateCellMatrix(1, 1));
      zySetCell(cell.get(), 0, value.release().release());
      arrayRow.push_back(cell.get());
      cells.push_back(std::move(cell));
    }
    if (!arrayRow.empty()) arrays.push_back(std::move(arrayRow));
  }
  if (arrays.empty()) return Value::adopt(checked(zyCreateCellMatrix(0, 0)));
  if (arrays.size() == 1 && arrays[0].size() == 1) return Value::adopt(std::move(cells[0]));
  return Value::adopt(ops::concatenate(arrays));
}

}  // namespace q
