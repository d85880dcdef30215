#pragma once
// The Q-code lexer. It reads a source text in place and hands out one token at a time; the parser
// keeps exactly one token of lookahead, so the lexer's position is always just after the token
// the parser is looking at. That lets the parser ask about the raw text that follows (command
// syntax, the identifier after `catch`) without a second token of lookahead.
//
// The lexer tracks the brackets that are open, because three rules of the language depend on
// them:
// - `end` inside any bracket is a value (EndValue), outside all brackets it closes a block;
// - inside [] and {} literals whitespace separates elements: the lexer turns it into a Comma
//   with `implicit` set (see elementStartsHere for when);
// - a new line inside [] or {} ends a row, inside () or an index {} it is an error unless the
//   line is continued with `...`.
// A closing bracket that does not match the innermost open one is reported at once.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/syntax_error.hpp"
#include "engine/token.hpp"

namespace q {

class Lexer {
  struct Bracket {
    char open;                 // '(', '[' or '{'
    bool index;                // ( or { right after a value: an index or call, not a literal
    bool anonymousParameters;  // the ( of @(x, y)
    SourceLocation location;
  };

 public:
  // source must outlive the lexer and every token it returns (tokens point into it).
  // fileName is only used in error messages.
  Lexer(std::string_view source, std::string fileName);

  // The next token; EndOfInput, again and again, at the end. Throws SyntaxError.
  Token next();

  // Asked at the start of a statement while the current token is an identifier: true when the
  // raw text after it is a command-syntax argument list (`hold on`, `format long`). That is the
  // case when the identifier is followed by a space or tab and then by a letter, a digit, '_', a
  // quote or a non-ASCII character. An operator, '(' or '=' after the space (`a = 1`, `a -1`,
  // `f (x)`) means an expression.
  bool commandSyntaxFollows() const;

  struct CommandWord {
    std::string text;  // UTF-8, quotes removed
    SourceLocation location;
  };
  // Reads the words of a command up to the end of the statement (',', ';', a new line or a
  // comment), which is left for next(). Words are separated by spaces and tabs; a quoted part
  // ('a b') keeps its spaces, and '' in it stands for one quote.
  std::vector<CommandWord> readCommandWords();

  // True when nothing but blanks and then the end of the statement (',', ';', a new line, a
  // comment or the end of the input) follows the current position.
  bool statementEndFollows() const;

  // A snapshot of the lexer, to look ahead and come back. It copies the stack of open brackets,
  // which is short where the parser uses it (at the start of a statement).
  struct State {
    std::size_t position;
    std::uint32_t line;
    std::uint32_t column;
    bool previousEndsValue;
    TokenKind previousKind;
    std::vector<Bracket> brackets;
  };
  State save() const;
  void restore(const State& state);

  SourceLocation location() const { return {line_, column_}; }
  std::size_t offset() const { return position_; }
  std::string_view source() const { return source_; }
  const std::string& fileName() const { return fileName_; }

  [[noreturn]] void fail(SourceLocation location, std::string reason) const;

 private:
  int peek(std::size_t ahead = 0) const {
    std::size_t at = position_ + ahead;
    return at < source_.size() ? static_cast<unsigned char>(source_[at]) : -1;
  }
  void advance();
  void advance(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) advance();
  }
  void skipToEndOfLine();
  bool skipBlanks();
  bool atBlockCommentStart() const;
  void skipBlockComment();
  bool inElementList() const;
  bool elementStartsHere() const;
  void lexIdentifier(Token& token);
  void lexNumber(Token& token);
  void lexCharArray(Token& token);
  void openBracket(Token& token, char open);
  void closeBracket(Token& token, char open);
  void finish(Token& token, bool endsValue);

  std::string_view source_;
  std::string fileName_;
  std::size_t position_ = 0;
  std::uint32_t line_ = 1;
  std::uint32_t column_ = 1;
  std::vector<Bracket> brackets_;
  // The previous token ends a value: a ' right after it is a transpose, and whitespace after it
  // inside [] or {} may separate elements.
  bool previousEndsValue_ = false;
  TokenKind previousKind_ = TokenKind::Newline;
};

}  // namespace q
