#include "engine/ast.hpp"

#include <algorithm>

namespace q::ast {

namespace {

std::uint32_t above(const ExpressionPtr& child) { return child ? child->height + 1 : 1; }

// Decodes UTF-8 into UTF-16. A byte that does not begin a well-formed sequence (overlong forms,
// surrogates and values past U+10FFFF included) becomes U+FFFD, and decoding goes on with the
// next byte.
std::u16string decodeUtf8(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
      result.push_back(lead);
      ++at;
      continue;
    }
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    char32_t code = length == 4 ? (lead & 0x07) : length == 3 ? (lead & 0x0F) : (lead & 0x1F);
    bool valid = length != 0 && at + length <= text.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
      unsigned char next = static_cast<unsigned char>(text[at + i]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid)
      valid = code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      result.push_back(u'\uFFFD');
      ++at;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      result.push_back(static_cast<char16_t>(code));
    }
    at += length;
  }
  return result;
}

}  // namespace

const char* spelling(UnaryOperator op) {
  switch (op) {
    case UnaryOperator::Plus:
      return "+";
    case UnaryOperator::Minus:
      return "-";
    case UnaryOperator::Not:
      return "~";
  }
  return "?";
}

const char* spelling(BinaryOperator op) {
  switch (op) {
    case BinaryOperator::OrOr:
      return "||";
    case BinaryOperator::AndAnd:
      return "&&";
    case BinaryOperator::Or:
      return "|";
    case BinaryOperator::And:
      return "&";
    case BinaryOperator::Less:
      return "<";
    case BinaryOperator::LessEqual:
      return "<=";
    case BinaryOperator::Greater:
      return ">";
    case BinaryOperator::GreaterEqual:
      return ">=";
    case BinaryOperator::Equal:
      return "==";
    case BinaryOperator::NotEqual:
      return "~=";
    case BinaryOperator::Plus:
      return "+";
    case BinaryOperator::Minus:
      return "-";
    case BinaryOperator::Times:
      return "*";
    case BinaryOperator::Divide:
      return "/";
    case BinaryOperator::LeftDivide:
      return "\\";
    case BinaryOperator::ElementTimes:
      return ".*";
    case BinaryOperator::ElementDivide:
      return "./";
    case BinaryOperator::ElementLeftDivide:
      return ".\\";
    case BinaryOperator::Power:
      return "^";
    case BinaryOperator::ElementPower:
      return ".^";
  }
  return "?";
}

const char* spelling(PostfixOperator op) { return op == PostfixOperator::Transpose ? "'" : ".'"; }

CharArray::CharArray(SourceLocation where, std::string utf8Text)
    : Expression(NodeKind::CharArray, where), utf8(std::move(utf8Text)), text(decodeUtf8(utf8)) {}

Unary::Unary(SourceLocation where, UnaryOperator unaryOperator, ExpressionPtr operandExpression)
    : Expression(NodeKind::Unary, where), op(unaryOperator), operand(std::move(operandExpression)) {
  height = above(operand);
}

Binary::Binary(SourceLocation where, BinaryOperator binaryOperator, ExpressionPtr leftOperand,
               ExpressionPtr rightOperand)
    : Expression(NodeKind::Binary, where),
      op(binaryOperator),
      left(std::move(leftOperand)),
      right(std::move(rightOperand)) {
  height = std::max(above(left), above(right));
}

Range::Range(SourceLocation where, ExpressionPtr first, ExpressionPtr increment, ExpressionPtr last)
    : Expression(NodeKind::Range, where),
      start(std::move(first)),
      step(std::move(increment)),
      stop(std::move(last)) {
  height = std::max({above(start), above(step), above(stop)});
}

Postfix::Postfix(SourceLocation where, PostfixOperator postfixOperator,
                 ExpressionPtr operandExpression)
    : Expression(NodeKind::Postfix, where),
      op(postfixOperator),
      operand(std::move(operandExpression)) {
  height = above(operand);
}

Index::Index(SourceLocation where, ExpressionPtr baseExpression)
    : Expression(NodeKind::Index, where), base(std::move(baseExpression)) {
  height = above(base);
}

std::int32_t Function::findVariable(std::string_view variableName) const {
  for (std::size_t i = 0; i < variables.size(); ++i)
    if (variables[i] == variableName) return static_cast<std::int32_t>(i);
  return -1;
}

const Function* SourceFile::findFunction(std::string_view functionName) const {
  for (const auto& function : functions)
    if (function->name == functionName) return function.get();
  return nullptr;
}

int scalarArithmetic(BinaryOperator op) {
  switch (op) {
    case BinaryOperator::Plus:
      return 0;
    case BinaryOperator::Minus:
      return 1;
    case BinaryOperator::Times:
    case BinaryOperator::ElementTimes:
      return 2;
    case BinaryOperator::Divide:
    case BinaryOperator::ElementDivide:
      return 3;
    default:
      return -1;
  }
}

}  // namespace q::ast
