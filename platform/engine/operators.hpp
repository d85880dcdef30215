#pragma once
// The operators of Q-code on interpreter values. Real double scalars are computed here without
// making arrays; everything else goes to the operations library (engine/ops).

#include <cstddef>
#include <vector>

#include "engine/ast.hpp"
#include "engine/value.hpp"

namespace q {

using ValueList = std::vector<Value>;

Value binaryOperation(ast::BinaryOperator op, Value left, Value right);
Value unaryOperation(ast::UnaryOperator op, Value operand);
Value postfixOperation(ast::PostfixOperator op, Value operand);
// start:stop or start:step:stop (step null when not written).
Value rangeOperation(const Value& start, const Value* step, const Value& stop);
// How many values start:step:stop holds.
std::size_t rangeCount(double start, double step, double stop);
// The truth of `if` and `while`: non-empty and all elements non-zero.
bool truth(const Value& value);
// [a, b; c, d] from the values of each row.
Value concatenateLiteral(std::vector<ValueList>& rows);
// {a, b; c, d}: each value becomes one cell; a row's cells are joined, then the rows.
Value cellLiteral(std::vector<ValueList>& rows);
// {a, b, ...}: the 1-by-n cell of the values (0-by-0 for none), which it takes.
Value cellRow(ValueList& values);

}  // namespace q
