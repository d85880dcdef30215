#pragma once
// The tokens of Q-code, as the lexer hands them to the parser.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/syntax_error.hpp"

namespace q {

enum class TokenKind : std::uint8_t {
  EndOfInput,
  Newline,    // ends a statement; inside [] and {} it ends a row
  Comma,      // written, or made from whitespace between elements inside [] and {}
  Semicolon,  // ends a statement without display; inside [] and {} it ends a row

  Identifier,
  Number,
  CharArray,  // 'text'; value holds the text with '' turned into '
  EndValue,   // `end` inside brackets: the last index of a dimension

  // Keywords. `end` outside brackets closes a block.
  KwIf,
  KwElseif,
  KwElse,
  KwEnd,
  KwFor,
  KwWhile,
  KwSwitch,
  KwCase,
  KwOtherwise,
  KwTry,
  KwCatch,
  KwBreak,
  KwContinue,
  KwReturn,
  KwGlobal,
  KwPersistent,
  KwFunction,

  LeftParen,
  RightParen,
  LeftBracket,
  RightBracket,
  LeftBrace,
  RightBrace,

  Plus,
  Minus,
  Star,
  Slash,
  Backslash,
  Caret,
  DotStar,
  DotSlash,
  DotBackslash,
  DotCaret,
  Transpose,     // '  (complex conjugate transpose)
  DotTranspose,  // .'
  Assign,        // =
  Equal,         // ==
  NotEqual,      // ~=
  Less,
  LessEqual,
  Greater,
  GreaterEqual,
  And,     // &
  Or,      // |
  AndAnd,  // &&
  OrOr,    // ||
  Not,     // ~ or !
  At,      // @
  Colon,
  Dot,
};

struct Token {
  TokenKind kind = TokenKind::EndOfInput;
  // Whitespace, a comment or a continuation came directly before the token.
  bool spaceBefore = false;
  // A Comma that the lexer made from whitespace between two elements of a [] or {} literal.
  bool implicit = false;
  // A Number written with an i or j suffix.
  bool imaginary = false;
  SourceLocation location;
  std::size_t offset = 0;  // of the first byte in the source
  std::string_view text;   // the source text of the token (empty for an implicit Comma)
  double number = 0;       // Number: the value (without the imaginary unit)
  std::string value;       // CharArray: the text, UTF-8
};

// The spelling of a keyword or operator kind ("if", "&&"), or a short description of the others
// ("identifier", "end of line").
const char* spelling(TokenKind kind);

// How an error message names what it found: "'x'", "'+'", "end of line", "end of input".
std::string describe(const Token& token);

}  // namespace q
