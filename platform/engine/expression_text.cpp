// The text of an anonymous function as func2str and the display show it: the expression as it
// was written, without blanks, with the parentheses the author wrote (the tree records them).

#include <charconv>
#include <cmath>

#include "engine/interpreter.hpp"

namespace q {

using namespace ast;

namespace {

void appendNumber(std::string& text, double value) {
  if (std::isinf(value)) {
    text += value > 0 ? "Inf" : "-Inf";
    return;
  }
  if (std::isnan(value)) {
    text += "NaN";
    return;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, result.ptr);
}

void appendExpression(std::string& text, const Expression& expression);

void appendList(std::string& text, const std::vector<ExpressionPtr>& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) text += ',';
    appendExpression(text, *items[i]);
  }
}

void appendExpression(std::string& text, const Expression& expression) {
  if (expression.parenthesized) text += '(';
  switch (expression.kind) {
    case NodeKind::Number: {
      const Number& number = expression.as<Number>();
      appendNumber(text, number.value);
      if (number.imaginary) text += 'i';
      break;
    }
    case NodeKind::CharArray: {
      text += '\'';
      for (char c : expression.as<CharArray>().utf8) {
        if (c == '\'') text += '\'';
        text += c;
      }
      text += '\'';
      break;
    }
    case NodeKind::Identifier:
      text += expression.as<Identifier>().name;
      break;
    case NodeKind::Colon:
      text += ':';
      break;
    case NodeKind::End:
      text += "end";
      break;
    case NodeKind::Unary: {
      const Unary& unary = expression.as<Unary>();
      text += spelling(unary.op);
      appendExpression(text, *unary.operand);
      break;
    }
    case NodeKind::Binary: {
      const Binary& binary = expression.as<Binary>();
      appendExpression(text, *binary.left);
      text += spelling(binary.op);
      appendExpression(text, *binary.right);
      break;
    }
    case NodeKind::Range: {
      const Range& range = expression.as<Range>();
      appendExpression(text, *range.start);
      text += ':';
      if (range.step) {
        appendExpression(text, *range.step);
        text += ':';
      }
      appendExpression(text, *range.stop);
      break;
    }
    case NodeKind::Postfix: {
      const Postfix& postfix = expression.as<Postfix>();
      appendExpression(text, *postfix.operand);
      text += spelling(postfix.op);
      break;
    }
    case NodeKind::Index: {
      const Index& index = expression.as<Index>();
      appendExpression(text, *index.base);
      for (const IndexStep& step : index.steps) {
        switch (step.kind) {
          case IndexStep::Kind::Paren:
            text += '(';
            appendList(text, step.arguments);
            text += ')';
            break;
          case IndexStep::Kind::Brace:
            text += '{';
            appendList(text, step.arguments);
            text += '}';
            break;
          case IndexStep::Kind::Field:
            text += '.';
            text += step.field;
            break;
          case IndexStep::Kind::DynamicField:
            text += ".(";
            appendExpression(text, *step.fieldExpression);
            text += ')';
            break;
        }
      }
      break;
    }
    case NodeKind::Matrix:
    case NodeKind::Cell: {
      const Rows& rows = expression.as<Rows>();
      const bool cell = expression.kind == NodeKind::Cell;
      text += cell ? '{' : '[';
      for (std::size_t r = 0; r < rows.rows.size(); ++r) {
        if (r) text += ';';
        appendList(text, rows.rows[r]);
      }
      text += cell ? '}' : ']';
      break;
    }
    case NodeKind::AnonymousFunction:
      text += anonymousText(expression.as<AnonymousFunction>());
      break;
    case NodeKind::FunctionHandle:
      text += '@';
      text += expression.as<FunctionHandle>().name;
      break;
    default:
      break;
  }
  if (expression.parenthesized) text += ')';
}

}  // namespace

std::string anonymousText(const AnonymousFunction& node) {
  std::string text = "@(";
  for (std::size_t i = 0; i < node.parameters.size(); ++i) {
    if (i) text += ',';
    text += node.parameters[i];
  }
  text += ')';
  appendExpression(text, *node.body);
  return text;
}

}  // namespace q
