#include "engine/token.hpp"

namespace q {

const char* spelling(TokenKind kind) {
  switch (kind) {
    case TokenKind::EndOfInput:
      return "end of input";
    case TokenKind::Newline:
      return "end of line";
    case TokenKind::Comma:
      return ",";
    case TokenKind::Semicolon:
      return ";";
    case TokenKind::Identifier:
      return "identifier";
    case TokenKind::Number:
      return "number";
    case TokenKind::CharArray:
      return "character array";
    case TokenKind::EndValue:
      return "end";
    case TokenKind::KwIf:
      return "if";
    case TokenKind::KwElseif:
      return "elseif";
    case TokenKind::KwElse:
      return "else";
    case TokenKind::KwEnd:
      return "end";
    case TokenKind::KwFor:
      return "for";
    case TokenKind::KwWhile:
      return "while";
    case TokenKind::KwSwitch:
      return "switch";
    case TokenKind::KwCase:
      return "case";
    case TokenKind::KwOtherwise:
      return "otherwise";
    case TokenKind::KwTry:
      return "try";
    case TokenKind::KwCatch:
      return "catch";
    case TokenKind::KwBreak:
      return "break";
    case TokenKind::KwContinue:
      return "continue";
    case TokenKind::KwReturn:
      return "return";
    case TokenKind::KwGlobal:
      return "global";
    case TokenKind::KwPersistent:
      return "persistent";
    case TokenKind::KwFunction:
      return "function";
    case TokenKind::LeftParen:
      return "(";
    case TokenKind::RightParen:
      return ")";
    case TokenKind::LeftBracket:
      return "[";
    case TokenKind::RightBracket:
      return "]";
    case TokenKind::LeftBrace:
      return "{";
    case TokenKind::RightBrace:
      return "}";
    case TokenKind::Plus:
      return "+";
    case TokenKind::Minus:
      return "-";
    case TokenKind::Star:
      return "*";
    case TokenKind::Slash:
      return "/";
    case TokenKind::Backslash:
      return "\\";
    case TokenKind::Caret:
      return "^";
    case TokenKind::DotStar:
      return ".*";
    case TokenKind::DotSlash:
      return "./";
    case TokenKind::DotBackslash:
      return ".\\";
    case TokenKind::DotCaret:
      return ".^";
    case TokenKind::Transpose:
      return "'";
    case TokenKind::DotTranspose:
      return ".'";
    case TokenKind::Assign:
      return "=";
    case TokenKind::Equal:
      return "==";
    case TokenKind::NotEqual:
      return "~=";
    case TokenKind::Less:
      return "<";
    case TokenKind::LessEqual:
      return "<=";
    case TokenKind::Greater:
      return ">";
    case TokenKind::GreaterEqual:
      return ">=";
    case TokenKind::And:
      return "&";
    case TokenKind::Or:
      return "|";
    case TokenKind::AndAnd:
      return "&&";
    case TokenKind::OrOr:
      return "||";
    case TokenKind::Not:
      return "~";
    case TokenKind::At:
      return "@";
    case TokenKind::Colon:
      return ":";
    case TokenKind::Dot:
      return ".";
  }
  return "?";
}

std::string describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::EndOfInput:
    case TokenKind::Newline:
      return spelling(token.kind);
    case TokenKind::Comma:
      if (token.implicit) return "a space between elements";
      break;
    default:
      break;
  }
  // Long names and texts are cut so that a message stays one readable line.
  constexpr std::size_t kShown = 24;
  std::string_view text = token.text;
  std::string shown(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  if (token.kind == TokenKind::CharArray) return "character array " + shown;
  return "'" + shown + "'";
}

}  // namespace q
