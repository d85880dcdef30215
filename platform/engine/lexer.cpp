#include "engine/lexer.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace q {

namespace {

bool isLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isIdentifierCharacter(int c) { return isLetter(c) || isDigit(c) || c == '_'; }
bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

struct Keyword {
  std::string_view word;
  TokenKind kind;
};

constexpr Keyword kKeywords[] = {
    {"if", TokenKind::KwIf},
    {"elseif", TokenKind::KwElseif},
    {"else", TokenKind::KwElse},
    {"end", TokenKind::KwEnd},
    {"for", TokenKind::KwFor},
    {"while", TokenKind::KwWhile},
    {"switch", TokenKind::KwSwitch},
    {"case", TokenKind::KwCase},
    {"otherwise", TokenKind::KwOtherwise},
    {"try", TokenKind::KwTry},
    {"catch", TokenKind::KwCatch},
    {"break", TokenKind::KwBreak},
    {"continue", TokenKind::KwContinue},
    {"return", TokenKind::KwReturn},
    {"global", TokenKind::KwGlobal},
    {"persistent", TokenKind::KwPersistent},
    {"function", TokenKind::KwFunction},
};

bool findKeyword(std::string_view word, TokenKind& kind) {
  // Keywords are 2 to 10 letters long; most identifiers are rejected by the length test.
  if (word.size() < 2 || word.size() > 10) return false;
  for (const Keyword& keyword : kKeywords) {
    if (keyword.word == word) {
      kind = keyword.kind;
      return true;
    }
  }
  return false;
}

// A decimal literal whose value is out of the range of double: infinity when its magnitude is
// large, zero when it is tiny. text holds digits, at most one '.', and an optional exponent.
double outOfRangeValue(std::string_view text) {
  std::size_t exponentAt = text.find_first_of("eE");
  std::string_view mantissa = text.substr(0, exponentAt);
  long long exponent = 0;
  if (exponentAt != std::string_view::npos) {
    std::size_t at = exponentAt + 1;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    for (; at < text.size() && exponent < 100000000; ++at)
      exponent = exponent * 10 + (text[at] - '0');
    if (negative) exponent = -exponent;
  }
  // The decimal exponent of the leading significant digit.
  std::size_t point = mantissa.find('.');
  if (point == std::string_view::npos) point = mantissa.size();
  long long leading = 0;
  bool found = false;
  for (std::size_t i = 0; i < mantissa.size(); ++i) {
    if (mantissa[i] == '.' || mantissa[i] == '0') continue;
    leading =
        i < point ? static_cast<long long>(point - i) - 1 : -static_cast<long long>(i - point);
    found = true;
    break;
  }
  if (!found) return 0.0;
  return leading + exponent > 0 ? HUGE_VAL : 0.0;
}

// '$', or (byte 0x01) for what cannot be shown as it is.
std::string quoteCharacter(int c) {
  if (c >= 0x20 && c < 0x7f) return std::string("'") + static_cast<char>(c) + "'";
  char text[16];
  std::snprintf(text, sizeof text, "(byte 0x%02X)", c);
  return text;
}

}  // namespace

Lexer::Lexer(std::string_view source, std::string fileName)
    : source_(source), fileName_(std::move(fileName)) {}

void Lexer::fail(SourceLocation location, std::string reason) const {
  throw SyntaxError(fileName_, location, std::move(reason));
}

void Lexer::advance() {
  unsigned char c = static_cast<unsigned char>(source_[position_++]);
  if (c == '\n') {
    ++line_;
    column_ = 1;
  } else if ((c & 0xC0) != 0x80) {
    // Continuation bytes of a UTF-8 sequence belong to the character already counted.
    ++column_;
  }
}

void Lexer::skipToEndOfLine() {
  while (position_ < source_.size() && source_[position_] != '\n') advance();
}

bool Lexer::atBlockCommentStart() const {
  // "%{" opens a block only when it is alone on its line; otherwise it is an ordinary comment.
  if (peek(1) != '{') return false;
  for (std::size_t at = position_; at > 0; --at) {
    char c = source_[at - 1];
    if (c == '\n') break;
    if (!isBlank(static_cast<unsigned char>(c))) return false;
  }
  for (std::size_t at = position_ + 2; at < source_.size() && source_[at] != '\n'; ++at)
    if (!isBlank(static_cast<unsigned char>(source_[at]))) return false;
  return true;
}

void Lexer::skipBlockComment() {
  const SourceLocation opened = location();
  int depth = 1;
  skipToEndOfLine();
  while (position_ < source_.size()) {
    advance();  // the new line
    std::size_t lineEnd = source_.find('\n', position_);
    if (lineEnd == std::string_view::npos) lineEnd = source_.size();
    std::size_t first = position_;
    while (first < lineEnd && isBlank(static_cast<unsigned char>(source_[first]))) ++first;
    std::size_t last = lineEnd;
    while (last > first && isBlank(static_cast<unsigned char>(source_[last - 1]))) --last;
    std::string_view content = source_.substr(first, last - first);
    skipToEndOfLine();
    // Blocks nest, so that a block holding a commented-out block can itself be removed.
    if (content == "%{") {
      ++depth;
    } else if (content == "%}") {
      if (--depth == 0) return;
    }
  }
  fail(opened, "block comment is not closed: expected a line holding only '%}'");
}

bool Lexer::skipBlanks() {
  bool skipped = false;
  for (;;) {
    int c = peek();
    if (isBlank(c)) {
      advance();
    } else if (c == '.' && peek(1) == '.' && peek(2) == '.') {
      // A continuation: the rest of the line is ignored and the next line joins this one.
      skipToEndOfLine();
      if (peek() == '\n') advance();
    } else if (c == '%') {
      if (atBlockCommentStart())
        skipBlockComment();
      else
        skipToEndOfLine();
    } else {
      return skipped;
    }
    skipped = true;
  }
}

bool Lexer::inElementList() const {
  if (brackets_.empty()) return false;
  const Bracket& innermost = brackets_.back();
  return innermost.open == '[' || (innermost.open == '{' && !innermost.index);
}

// Called inside [] or {} after whitespace that follows a value: does a new element start here?
// Yes for anything that can only start a value (a name, a number, a quote, an opening bracket,
// '@', a '~' or '!' that is not part of '~='), and for a '+' or '-' written directly against what
// follows it: [1 -2] has two elements, [1 - 2] and [1 -  2] have one.
bool Lexer::elementStartsHere() const {
  int c = peek();
  if (isLetter(c) || isDigit(c)) return true;
  switch (c) {
    case '.':
      return isDigit(peek(1));
    case '\'':
    case '(':
    case '[':
    case '{':
    case '@':
      return true;
    case '~':
    case '!':
      return peek(1) != '=';
    case '+':
    case '-': {
      int after = peek(1);
      return after >= 0 && after != '\n' && !isBlank(after);
    }
    default:
      return false;
  }
}

void Lexer::finish(Token& token, bool endsValue) {
  token.text = source_.substr(token.offset, position_ - token.offset);
  previousKind_ = token.kind;
  previousEndsValue_ = endsValue;
}

void Lexer::lexIdentifier(Token& token) {
  while (isIdentifierCharacter(peek())) advance();
  std::string_view word = source_.substr(token.offset, position_ - token.offset);
  token.kind = TokenKind::Identifier;
  bool endsValue = true;
  TokenKind keyword;
  // After '.' a word is a field name, even when it is spelt like a keyword.
  if (previousKind_ != TokenKind::Dot && findKeyword(word, keyword)) {
    if (keyword == TokenKind::KwEnd && !brackets_.empty()) {
      token.kind = TokenKind::EndValue;
    } else {
      token.kind = keyword;
      endsValue = false;
    }
  }
  finish(token, endsValue);
}

void Lexer::lexNumber(Token& token) {
  while (isDigit(peek())) advance();
  if (peek() == '.') {
    // 1.*x, 1./x, 1.\x, 1.^x and 1.' are the number 1 and an element-wise operator; 1... is
    // the number 1 and a continuation.
    int after = peek(1);
    if (after != '*' && after != '/' && after != '\\' && after != '^' && after != '\'' &&
        after != '.') {
      advance();
      while (isDigit(peek())) advance();
    }
  }
  if (peek() == 'e' || peek() == 'E') {
    std::size_t digitsAt = (peek(1) == '+' || peek(1) == '-') ? 2 : 1;
    if (!isDigit(peek(digitsAt)))
      fail(token.location, "malformed number: expected digits after the exponent 'e'");
    advance(digitsAt);
    while (isDigit(peek())) advance();
  }
  std::string_view digits = source_.substr(token.offset, position_ - token.offset);
  int suffix = peek();
  if ((suffix == 'i' || suffix == 'j' || suffix == 'I' || suffix == 'J') &&
      !isIdentifierCharacter(peek(1))) {
    advance();
    token.imaginary = true;
  }
  if (isIdentifierCharacter(peek())) {
    std::size_t end = position_;
    while (end < source_.size() && isIdentifierCharacter(static_cast<unsigned char>(source_[end])))
      ++end;
    fail(token.location, "malformed number '" +
                             std::string(source_.substr(token.offset, end - token.offset)) +
                             "': a number cannot run into letters");
  }
  double value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) value = outOfRangeValue(digits);
  (void)end;
  token.kind = TokenKind::Number;
  token.number = value;
  finish(token, true);
}

void Lexer::lexCharArray(Token& token) {
  advance();  // the opening quote
  std::string value;
  for (;;) {
    int c = peek();
    if (c < 0 || c == '\n')
      fail(token.location,
           "character array is not terminated: expected ' before the end of the line");
    if (c == '\'') {
      if (peek(1) != '\'') break;
      value += '\'';
      advance(2);
      continue;
    }
    value += static_cast<char>(c);
    advance();
  }
  advance();  // the closing quote
  token.kind = TokenKind::CharArray;
  token.value = std::move(value);
  finish(token, true);
}

void Lexer::openBracket(Token& token, char open) {
  bool index = open != '[' && previousEndsValue_;
  bool anonymous = open == '(' && previousKind_ == TokenKind::At;
  brackets_.push_back({open, index, anonymous, token.location});
  advance();
  token.kind = open == '(' ? TokenKind::LeftParen
                           : (open == '[' ? TokenKind::LeftBracket : TokenKind::LeftBrace);
  finish(token, false);
}

namespace {
char closerOf(char open) { return open == '(' ? ')' : (open == '[' ? ']' : '}'); }
}  // namespace

void Lexer::closeBracket(Token& token, char open) {
  bool endsValue = true;
  if (!brackets_.empty()) {
    const Bracket innermost = brackets_.back();
    if (innermost.open != open)
      fail(token.location, std::string("expected '") + closerOf(innermost.open) + "' to close '" +
                               innermost.open + "' opened at " + toString(innermost.location));
    brackets_.pop_back();
    // The ) of @(x) ends a parameter list, not a value: @(x) 'a' returns a text, and
    // {@(x) x + 1} has one element.
    endsValue = !innermost.anonymousParameters;
  }
  // An unmatched closer is handed to the parser, which knows what it expected instead.
  advance();
  token.kind = open == '(' ? TokenKind::RightParen
                           : (open == '[' ? TokenKind::RightBracket : TokenKind::RightBrace);
  finish(token, endsValue);
}

Token Lexer::next() {
  Token token;
  token.spaceBefore = skipBlanks();
  token.location = location();
  token.offset = position_;
  if (token.spaceBefore && previousEndsValue_ && inElementList() && elementStartsHere()) {
    token.kind = TokenKind::Comma;
    token.implicit = true;
    previousKind_ = TokenKind::Comma;
    previousEndsValue_ = false;
    return token;
  }
  int c = peek();
  if (c < 0) {
    token.kind = TokenKind::EndOfInput;
    finish(token, false);
    return token;
  }
  if (isLetter(c)) {
    lexIdentifier(token);
    return token;
  }
  if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
    lexNumber(token);
    return token;
  }
  auto simple = [&](TokenKind kind, std::size_t length, bool endsValue = false) {
    token.kind = kind;
    advance(length);
    finish(token, endsValue);
    return token;
  };
  switch (c) {
    case '\n':
      if (!brackets_.empty() && !inElementList()) {
        const Bracket& innermost = brackets_.back();
        fail(token.location, std::string("expected '") + closerOf(innermost.open) + "' to close '" +
                                 innermost.open + "' opened at " + toString(innermost.location));
      }
      return simple(TokenKind::Newline, 1);
    case '\'':
      if (previousEndsValue_ && !token.spaceBefore) return simple(TokenKind::Transpose, 1, true);
      lexCharArray(token);
      return token;
    case '"':
      fail(token.location,
           "'\"' does not delimit text in Q-code: write character arrays in single quotes");
    case '(':
    case '[':
    case '{':
      openBracket(token, static_cast<char>(c));
      return token;
    case ')':
      closeBracket(token, '(');
      return token;
    case ']':
      closeBracket(token, '[');
      return token;
    case '}':
      closeBracket(token, '{');
      return token;
    case ',':
      return simple(TokenKind::Comma, 1);
    case ';':
      return simple(TokenKind::Semicolon, 1);
    case '+':
      return simple(TokenKind::Plus, 1);
    case '-':
      return simple(TokenKind::Minus, 1);
    case '*':
      return simple(TokenKind::Star, 1);
    case '/':
      return simple(TokenKind::Slash, 1);
    case '\\':
      return simple(TokenKind::Backslash, 1);
    case '^':
      return simple(TokenKind::Caret, 1);
    case '.':
      switch (peek(1)) {
        case '*':
          return simple(TokenKind::DotStar, 2);
        case '/':
          return simple(TokenKind::DotSlash, 2);
        case '\\':
          return simple(TokenKind::DotBackslash, 2);
        case '^':
          return simple(TokenKind::DotCaret, 2);
        case '\'':
          return simple(TokenKind::DotTranspose, 2, true);
        default:
          return simple(TokenKind::Dot, 1);
      }
    case '=':
      return peek(1) == '=' ? simple(TokenKind::Equal, 2) : simple(TokenKind::Assign, 1);
    case '<':
      return peek(1) == '=' ? simple(TokenKind::LessEqual, 2) : simple(TokenKind::Less, 1);
    case '>':
      return peek(1) == '=' ? simple(TokenKind::GreaterEqual, 2) : simple(TokenKind::Greater, 1);
    case '~':
      return peek(1) == '=' ? simple(TokenKind::NotEqual, 2) : simple(TokenKind::Not, 1);
    case '!':
      if (peek(1) == '=')
        fail(token.location, "'!=' is not an operator: write '~=' for 'not equal'");
      return simple(TokenKind::Not, 1);
    case '&':
      return peek(1) == '&' ? simple(TokenKind::AndAnd, 2) : simple(TokenKind::And, 1);
    case '|':
      return peek(1) == '|' ? simple(TokenKind::OrOr, 2) : simple(TokenKind::Or, 1);
    case '@':
      return simple(TokenKind::At, 1);
    case ':':
      return simple(TokenKind::Colon, 1);
    default:
      fail(token.location, "unexpected character " + quoteCharacter(c));
  }
}

bool Lexer::commandSyntaxFollows() const {
  std::size_t at = position_;
  if (at >= source_.size() || (source_[at] != ' ' && source_[at] != '\t')) return false;
  while (at < source_.size() && (source_[at] == ' ' || source_[at] == '\t')) ++at;
  if (at >= source_.size()) return false;
  int c = static_cast<unsigned char>(source_[at]);
  return isIdentifierCharacter(c) || c == '\'' || c >= 0x80;
}

std::vector<Lexer::CommandWord> Lexer::readCommandWords() {
  std::vector<CommandWord> words;
  auto endsWord = [](int c) {
    return c < 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ';' ||
           c == '%';
  };
  for (;;) {
    while (peek() == ' ' || peek() == '\t' || peek() == '\r') advance();
    int c = peek();
    if (c < 0 || c == '\n' || c == ',' || c == ';') break;
    if (c == '%') {
      skipToEndOfLine();
      break;
    }
    if (c == '.' && peek(1) == '.' && peek(2) == '.') {
      skipToEndOfLine();
      if (peek() == '\n') advance();
      continue;
    }
    CommandWord word;
    word.location = location();
    while (!endsWord(peek()) && !(peek() == '.' && peek(1) == '.' && peek(2) == '.')) {
      if (peek() != '\'') {
        word.text += static_cast<char>(peek());
        advance();
        continue;
      }
      const SourceLocation quote = location();
      advance();
      for (;;) {
        int inner = peek();
        if (inner < 0 || inner == '\n')
          fail(quote, "character array is not terminated: expected ' before the end of the line");
        if (inner == '\'') {
          if (peek(1) != '\'') break;
          advance();
        }
        word.text += static_cast<char>(peek());
        advance();
      }
      advance();  // the closing quote
    }
    words.push_back(std::move(word));
  }
  previousKind_ = TokenKind::Identifier;
  previousEndsValue_ = false;
  return words;
}

bool Lexer::statementEndFollows() const {
  std::size_t at = position_;
  while (at < source_.size() && isBlank(static_cast<unsigned char>(source_[at]))) ++at;
  if (at >= source_.size()) return true;
  char c = source_[at];
  return c == '\n' || c == ',' || c == ';' || c == '%';
}

Lexer::State Lexer::save() const {
  return {position_, line_, column_, previousEndsValue_, previousKind_, brackets_};
}

void Lexer::restore(const State& state) {
  position_ = state.position;
  line_ = state.line;
  column_ = state.column;
  previousEndsValue_ = state.previousEndsValue;
  previousKind_ = state.previousKind;
  brackets_ = state.brackets;
}

}  // namespace q
