#include "engine/parser.hpp"

#include <algorithm>
#include <unordered_map>

#include "engine/native_stack.hpp"
#include "engine/variable_resolver.hpp"

namespace q {

using namespace ast;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && isBlank(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

// The comment block that starts on the line at offset `at`: for each comment line the text after
// its '%', and for a %{ ... %} block its inner lines as written; every line ends in '\n'. With
// skipBlankLines, blank lines before the block are passed over (a script's help may follow
// blank lines; a function's must follow its declaration line directly).
std::string helpTextAt(std::string_view source, std::size_t at, bool skipBlankLines) {
  std::string help;
  bool inBlock = false;
  while (at < source.size()) {
    std::size_t end = source.find('\n', at);
    if (end == std::string_view::npos) end = source.size();
    std::string_view line = source.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view content = trimmed(line);
    at = end + 1;
    if (inBlock) {
      if (content == "%}") {
        inBlock = false;
      } else {
        help.append(line);
        help += '\n';
      }
      continue;
    }
    if (content.empty() && help.empty() && skipBlankLines) continue;
    if (content.empty() || content.front() != '%') break;
    if (content == "%{") {
      inBlock = true;
      continue;
    }
    // The text after the '%' keeps its own spacing, which help displays as written.
    std::size_t percent = line.find('%');
    help.append(line.substr(percent + 1));
    help += '\n';
  }
  return help;
}

// "dir/model.q" -> "model"
std::string scriptName(const std::string& fileName) {
  std::size_t slash = fileName.find_last_of('/');
  std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  if (name.size() > 2 && name.compare(name.size() - 2, 2, ".q") == 0) name.resize(name.size() - 2);
  return name;
}

int binaryPrecedence(TokenKind kind) {
  switch (kind) {
    case TokenKind::OrOr:
      return 1;
    case TokenKind::AndAnd:
      return 2;
    case TokenKind::Or:
      return 3;
    case TokenKind::And:
      return 4;
    case TokenKind::Less:
    case TokenKind::LessEqual:
    case TokenKind::Greater:
    case TokenKind::GreaterEqual:
    case TokenKind::Equal:
    case TokenKind::NotEqual:
      return 5;
    case TokenKind::Colon:
      return 6;
    case TokenKind::Plus:
    case TokenKind::Minus:
      return 7;
    case TokenKind::Star:
    case TokenKind::Slash:
    case TokenKind::Backslash:
    case TokenKind::DotStar:
    case TokenKind::DotSlash:
    case TokenKind::DotBackslash:
      return 8;
    default:
      return 0;
  }
}
constexpr int kRangePrecedence = 6;
// Native stack one more level of nesting may take before the next is checked, with room for
// what runs after the parse.
constexpr std::size_t kParseStackReserve = 64 * 1024 * kNativeFrameScale;

BinaryOperator binaryOperator(TokenKind kind) {
  switch (kind) {
    case TokenKind::OrOr:
      return BinaryOperator::OrOr;
    case TokenKind::AndAnd:
      return BinaryOperator::AndAnd;
    case TokenKind::Or:
      return BinaryOperator::Or;
    case TokenKind::And:
      return BinaryOperator::And;
    case TokenKind::Less:
      return BinaryOperator::Less;
    case TokenKind::LessEqual:
      return BinaryOperator::LessEqual;
    case TokenKind::Greater:
      return BinaryOperator::Greater;
    case TokenKind::GreaterEqual:
      return BinaryOperator::GreaterEqual;
    case TokenKind::Equal:
      return BinaryOperator::Equal;
    case TokenKind::NotEqual:
      return BinaryOperator::NotEqual;
    case TokenKind::Plus:
      return BinaryOperator::Plus;
    case TokenKind::Minus:
      return BinaryOperator::Minus;
    case TokenKind::Star:
      return BinaryOperator::Times;
    case TokenKind::Slash:
      return BinaryOperator::Divide;
    case TokenKind::Backslash:
      return BinaryOperator::LeftDivide;
    case TokenKind::DotStar:
      return BinaryOperator::ElementTimes;
    case TokenKind::DotSlash:
      return BinaryOperator::ElementDivide;
    case TokenKind::DotBackslash:
      return BinaryOperator::ElementLeftDivide;
    case TokenKind::Caret:
      return BinaryOperator::Power;
    default:
      return BinaryOperator::ElementPower;
  }
}

bool isPrefixOperator(TokenKind kind) {
  return kind == TokenKind::Plus || kind == TokenKind::Minus || kind == TokenKind::Not;
}

UnaryOperator unaryOperator(TokenKind kind) {
  return kind == TokenKind::Plus    ? UnaryOperator::Plus
         : kind == TokenKind::Minus ? UnaryOperator::Minus
                                    : UnaryOperator::Not;
}

char closerOf(char open) { return open == '(' ? ')' : (open == '[' ? ']' : '}'); }

// An assignment target: a variable, indexed or not, never inside parentheses.
bool isAssignable(const Expression& expression) {
  if (expression.parenthesized) return false;
  if (expression.kind == NodeKind::Identifier) return true;
  if (expression.kind != NodeKind::Index) return false;
  const Expression& base = *expression.as<Index>().base;
  return base.kind == NodeKind::Identifier && !base.parenthesized;
}

void raise(Expression& parent, const Expression& child) {
  parent.height = std::max(parent.height, child.height + 1);
}

}  // namespace

// Counts one level of nesting for as long as it lives.
class Parser::Nesting {
 public:
  Nesting(Parser& parser, SourceLocation location) : parser_(parser) {
    if (++parser_.depth_ > kMaxNestingDepth) {
      --parser_.depth_;
      parser_.fail(location, "nesting is too deep: more than " + std::to_string(kMaxNestingDepth) +
                                 " levels of brackets, blocks and operators");
    }
    if (nativeStackBelow(kParseStackReserve)) {
      --parser_.depth_;
      parser_.fail(location, "nesting is too deep for the stack of this thread (" +
                                 std::to_string(parser_.depth_) + " levels)");
    }
  }
  ~Nesting() { --parser_.depth_; }
  Nesting(const Nesting&) = delete;
  Nesting& operator=(const Nesting&) = delete;

 private:
  Parser& parser_;
};

Parser::Parser(std::string_view source, std::string fileName)
    : source_(source), fileName_(fileName), lexer_(source, std::move(fileName)) {}

void Parser::fail(SourceLocation location, std::string reason) const {
  throw SyntaxError(fileName_, location, std::move(reason));
}

void Parser::failExpected(const std::string& what) const {
  fail(current_.location, "expected " + what + ", found " + describe(current_));
}

void Parser::failClose(char open, SourceLocation opened) const {
  std::string reason = std::string("expected '") + closerOf(open) + "' to close '" + open +
                       "' opened at " + toString(opened);
  if (!at(TokenKind::EndOfInput) && !at(TokenKind::Newline))
    reason += ", found " + describe(current_);
  fail(current_.location, reason);
}

void Parser::failExpectedExpression() const {
  std::string what = "an expression";
  if (!previousText_.empty() && previousKind_ != TokenKind::Newline &&
      previousKind_ != TokenKind::CharArray)
    what += " after '" + std::string(previousText_) + "'";
  failExpected(what);
}

// A keyword that continues or closes a block where no such block is open.
void Parser::failStray() const {
  switch (current_.kind) {
    case TokenKind::KwEnd:
      fail(current_.location, "'end' without an open block to close");
    case TokenKind::KwElse:
    case TokenKind::KwElseif:
      fail(current_.location,
           std::string("'") + spelling(current_.kind) + "' without a matching 'if'");
    case TokenKind::KwCase:
    case TokenKind::KwOtherwise:
      fail(current_.location, std::string("'") + spelling(current_.kind) + "' outside a 'switch'");
    case TokenKind::KwCatch:
      fail(current_.location, "'catch' without a matching 'try'");
    case TokenKind::KwFunction:
      fail(current_.location,
           "a script cannot define functions: 'function' is only allowed in a file whose first "
           "statement is a function declaration");
    default:
      failExpected("a statement");
  }
}

void Parser::advance() {
  previousKind_ = current_.kind;
  previousText_ = current_.text;
  previousEnd_ = current_.offset + current_.text.size();
  current_ = lexer_.next();
}

bool Parser::atBlockTerminator() const {
  switch (current_.kind) {
    case TokenKind::EndOfInput:
    case TokenKind::KwEnd:
    case TokenKind::KwElse:
    case TokenKind::KwElseif:
    case TokenKind::KwCase:
    case TokenKind::KwOtherwise:
    case TokenKind::KwCatch:
    case TokenKind::KwFunction:
      return true;
    default:
      return false;
  }
}

void Parser::skipSeparators() {
  while (at(TokenKind::Newline) || at(TokenKind::Comma) || at(TokenKind::Semicolon)) advance();
}

// Consumes what ends a simple statement and tells whether its result is displayed. A keyword
// that continues or closes a block also ends it (if c, x = 1 end), without being consumed.
bool Parser::expectStatementEnd() {
  switch (current_.kind) {
    case TokenKind::Semicolon:
      advance();
      return false;
    case TokenKind::Comma:
    case TokenKind::Newline:
      advance();
      return true;
    default:
      if (atBlockTerminator()) return true;
      failExpected("',', ';' or a new line after the statement");
  }
}

void Parser::expectBlockEnd(const char* keyword, SourceLocation opened) {
  if (!at(TokenKind::KwEnd)) {
    std::string reason =
        std::string("expected 'end' to close '") + keyword + "' opened at " + toString(opened);
    if (!at(TokenKind::EndOfInput)) reason += ", found " + describe(current_);
    fail(current_.location, reason);
  }
  advance();
  expectStatementEnd();
}

ExpressionPtr Parser::checkHeight(ExpressionPtr expression) const {
  if (expression->height > kMaxExpressionHeight)
    fail(expression->location, "expression is too deeply nested: more than " +
                                   std::to_string(kMaxExpressionHeight) +
                                   " operations inside one another");
  return expression;
}

// ---------------------------------------------------------------------------------------------
// Files and functions

SourceFile Parser::parseFile() {
  SourceFile file;
  file.fileName = fileName_;
  advance();
  skipSeparators();
  if (at(TokenKind::KwFunction)) {
    parseFunctionFile(file);
  } else {
    auto script = std::make_unique<Function>();
    script->name = scriptName(fileName_);
    script->file = fileName_;
    script->location = {1, 1};
    script->isScript = true;
    script->helpText = helpTextAt(source_, 0, true);
    script->body = parseStatements();
    if (!at(TokenKind::EndOfInput)) failStray();
    file.functions.push_back(std::move(script));
  }
  for (auto& function : file.functions) resolveVariables(*function);
  return file;
}

void Parser::parseFunctionFile(SourceFile& file) {
  file.isScript = false;
  enum class Closing { Unknown, WithEnd, WithoutEnd } closing = Closing::Unknown;
  while (at(TokenKind::KwFunction)) {
    std::unique_ptr<Function> function = parseFunction();
    if (at(TokenKind::KwEnd)) {
      if (closing == Closing::WithoutEnd) {
        const Function& first = *file.functions.front();
        fail(current_.location, "'end' closes function '" + function->name + "', but function '" +
                                    first.name + "' at " + toString(first.location) +
                                    " has no closing 'end' (functions cannot be nested; close "
                                    "every function of a file with 'end', or none)");
      }
      closing = Closing::WithEnd;
      advance();
      expectStatementEnd();
    } else if (at(TokenKind::KwFunction) || at(TokenKind::EndOfInput)) {
      if (closing == Closing::WithEnd) {
        std::string reason = "expected 'end' to close function '" + function->name +
                             "' opened at " + toString(function->location) +
                             " (the functions of this file end with 'end')";
        if (at(TokenKind::KwFunction)) reason += ", found 'function'";
        fail(current_.location, reason);
      }
      closing = Closing::WithoutEnd;
    } else {
      failStray();
    }
    if (const Function* earlier = file.findFunction(function->name))
      fail(function->location, "function '" + function->name + "' is already defined at " +
                                   toString(earlier->location));
    file.functions.push_back(std::move(function));
    skipSeparators();
  }
  if (!at(TokenKind::EndOfInput)) {
    if (atBlockTerminator()) failStray();
    failExpected("'function' (only functions may follow the 'end' of a function)");
  }
  file.functionsEndWithEnd = closing == Closing::WithEnd;
}

std::unique_ptr<Function> Parser::parseFunction() {
  auto function = std::make_unique<Function>();
  function->file = fileName_;
  function->location = current_.location;
  advance();  // function

  auto expectName = [&](const char* what) {
    if (!at(TokenKind::Identifier)) failExpected(what);
    std::string name(current_.text);
    advance();
    return name;
  };
  if (at(TokenKind::LeftBracket)) {
    const SourceLocation opened = current_.location;
    advance();
    while (!at(TokenKind::RightBracket)) {
      function->outputs.push_back(expectName("an output name"));
      if (at(TokenKind::Comma)) {
        advance();
      } else if (!at(TokenKind::RightBracket)) {
        failClose('[', opened);
      }
    }
    advance();
    if (!at(TokenKind::Assign)) failExpected("'=' after the output list");
    advance();
    function->name = expectName("the function name");
  } else {
    std::string first = expectName("the function name after 'function'");
    if (at(TokenKind::Assign)) {
      advance();
      function->outputs.push_back(std::move(first));
      function->name = expectName("the function name");
    } else {
      function->name = std::move(first);
    }
  }
  if (at(TokenKind::LeftParen)) {
    const SourceLocation opened = current_.location;
    advance();
    while (!at(TokenKind::RightParen)) {
      if (at(TokenKind::Not)) {
        function->inputs.emplace_back("~");
        advance();
      } else {
        function->inputs.push_back(expectName("an input name"));
      }
      if (at(TokenKind::Comma)) {
        advance();
      } else if (!at(TokenKind::RightParen)) {
        failClose('(', opened);
      }
    }
    advance();
  }

  auto checkNames = [&](std::vector<std::string>& names, const char* rest, bool& flag,
                        const char* kind) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == rest && i + 1 != names.size())
        fail(function->location, std::string("'") + rest + "' must be the last " + kind +
                                     " of function '" + function->name + "'");
      for (std::size_t j = 0; j < i; ++j)
        if (names[i] == names[j] && names[i] != "~")
          fail(function->location, std::string(kind) + " '" + names[i] +
                                       "' is named twice in the declaration of '" + function->name +
                                       "'");
    }
    if (!names.empty() && names.back() == rest) {
      flag = true;
      names.pop_back();
    }
  };
  checkNames(function->inputs, "varargin", function->varargin, "input");
  checkNames(function->outputs, "varargout", function->varargout, "output");

  // The help block starts on the line after the declaration, whatever ends the declaration.
  std::size_t lineEnd = source_.find('\n', previousEnd_);
  if (lineEnd != std::string_view::npos)
    function->helpText = helpTextAt(source_, lineEnd + 1, false);
  expectStatementEnd();

  const int enclosingLoops = loopDepth_;
  loopDepth_ = 0;
  function->body = parseStatements();
  loopDepth_ = enclosingLoops;
  return function;
}

// ---------------------------------------------------------------------------------------------
// Statements

StatementList Parser::parseStatements() {
  StatementList statements;
  for (;;) {
    skipSeparators();
    if (atBlockTerminator()) return statements;
    statements.push_back(parseStatement());
  }
}

StatementPtr Parser::parseStatement() {
  switch (current_.kind) {
    case TokenKind::KwIf:
      return parseIf();
    case TokenKind::KwFor:
      return parseFor();
    case TokenKind::KwWhile:
      return parseWhile();
    case TokenKind::KwSwitch:
      return parseSwitch();
    case TokenKind::KwTry:
      return parseTry();
    case TokenKind::KwBreak:
    case TokenKind::KwContinue: {
      if (loopDepth_ == 0)
        fail(current_.location, std::string("'") + spelling(current_.kind) +
                                    "' is only valid inside a 'for' or 'while' loop");
      StatementPtr statement;
      if (at(TokenKind::KwBreak))
        statement = std::make_unique<Break>(current_.location);
      else
        statement = std::make_unique<Continue>(current_.location);
      advance();
      expectStatementEnd();
      return statement;
    }
    case TokenKind::KwReturn: {
      auto statement = std::make_unique<Return>(current_.location);
      advance();
      expectStatementEnd();
      return statement;
    }
    case TokenKind::KwGlobal:
    case TokenKind::KwPersistent:
      return parseDeclaration();
    case TokenKind::Identifier:
      if (lexer_.commandSyntaxFollows()) return parseCommand();
      break;
    case TokenKind::LeftBracket:
      if (multipleAssignmentFollows()) return parseMultipleAssignment();
      break;
    default:
      break;
  }
  return parseExpressionOrAssignment();
}

StatementPtr Parser::parseCommand() {
  const SourceLocation location = current_.location;
  auto call = std::make_unique<Index>(
      location, std::make_unique<Identifier>(location, std::string(current_.text)));
  IndexStep step;
  step.kind = IndexStep::Kind::Paren;
  step.location = location;
  for (Lexer::CommandWord& word : lexer_.readCommandWords())
    step.arguments.push_back(std::make_unique<CharArray>(word.location, std::move(word.text)));
  for (const ExpressionPtr& argument : step.arguments) raise(*call, *argument);
  call->steps.push_back(std::move(step));
  advance();
  auto statement = std::make_unique<ExpressionStatement>(location, std::move(call));
  statement->command = true;
  statement->display = expectStatementEnd();
  return statement;
}

// At a '[' that starts a statement: is this [a, b] = ...? Scans ahead to the matching ']' and
// looks for '='. A text that fails to scan is left for the real parse to report in order.
bool Parser::multipleAssignmentFollows() {
  const Lexer::State state = lexer_.save();
  bool result = false;
  try {
    int depth = 1;
    while (depth > 0) {
      Token token = lexer_.next();
      switch (token.kind) {
        case TokenKind::EndOfInput:
          depth = 0;
          break;
        case TokenKind::LeftParen:
        case TokenKind::LeftBracket:
        case TokenKind::LeftBrace:
          ++depth;
          break;
        case TokenKind::RightParen:
        case TokenKind::RightBracket:
        case TokenKind::RightBrace:
          if (--depth == 0) result = lexer_.next().kind == TokenKind::Assign;
          break;
        default:
          break;
      }
    }
  } catch (const SyntaxError&) {
    result = false;
  }
  lexer_.restore(state);
  return result;
}

StatementPtr Parser::parseMultipleAssignment() {
  const SourceLocation opened = current_.location;
  auto statement = std::make_unique<MultipleAssignment>(opened);
  advance();
  for (;;) {
    if (at(TokenKind::Not)) {
      statement->targets.push_back(nullptr);
      advance();
    } else if (at(TokenKind::Identifier)) {
      const SourceLocation location = current_.location;
      ExpressionPtr target = parsePostfix();
      if (!isAssignable(*target))
        fail(location,
             "cannot assign to this expression: an output must be a variable, "
             "indexed or not, or '~'");
      statement->targets.push_back(std::move(target));
    } else {
      failExpected("a variable or '~' in the list of outputs");
    }
    if (at(TokenKind::Comma)) {
      advance();
    } else if (at(TokenKind::RightBracket)) {
      advance();
      break;
    } else {
      failClose('[', opened);
    }
  }
  if (!at(TokenKind::Assign)) failExpected("'=' after the list of outputs");
  advance();
  statement->value = parseAnyExpression();
  statement->display = expectStatementEnd();
  return statement;
}

StatementPtr Parser::parseExpressionOrAssignment() {
  const SourceLocation location = current_.location;
  ExpressionPtr expression = parseAnyExpression();
  if (at(TokenKind::Assign)) {
    if (!isAssignable(*expression))
      fail(location,
           "cannot assign to this expression: the left side of '=' must be a variable, indexed "
           "or not, such as x, x(2) or s.f{1}");
    advance();
    auto statement =
        std::make_unique<Assignment>(location, std::move(expression), parseAnyExpression());
    statement->display = expectStatementEnd();
    return statement;
  }
  auto statement = std::make_unique<ExpressionStatement>(location, std::move(expression));
  statement->display = expectStatementEnd();
  return statement;
}

StatementPtr Parser::parseIf() {
  const SourceLocation opened = current_.location;
  Nesting nesting(*this, opened);
  auto statement = std::make_unique<If>(opened);
  do {
    IfClause clause;
    clause.location = current_.location;
    advance();  // if or elseif
    clause.condition = parseAnyExpression();
    clause.body = parseStatements();
    statement->clauses.push_back(std::move(clause));
  } while (at(TokenKind::KwElseif));
  if (at(TokenKind::KwElse)) {
    advance();
    statement->hasElse = true;
    statement->elseBody = parseStatements();
  }
  expectBlockEnd("if", opened);
  return statement;
}

StatementPtr Parser::parseFor() {
  const SourceLocation opened = current_.location;
  Nesting nesting(*this, opened);
  auto statement = std::make_unique<For>(opened);
  advance();
  // for (k = 1:n) is the same loop as for k = 1:n.
  const bool parenthesized = at(TokenKind::LeftParen);
  const SourceLocation parenthesis = current_.location;
  if (parenthesized) advance();
  if (!at(TokenKind::Identifier)) failExpected("a loop variable after 'for'");
  statement->variable = std::make_unique<Identifier>(current_.location, std::string(current_.text));
  advance();
  if (!at(TokenKind::Assign)) failExpected("'=' after the loop variable");
  advance();
  statement->values = parseAnyExpression();
  if (parenthesized) {
    if (!at(TokenKind::RightParen)) failClose('(', parenthesis);
    advance();
  }
  ++loopDepth_;
  statement->body = parseStatements();
  --loopDepth_;
  expectBlockEnd("for", opened);
  return statement;
}

StatementPtr Parser::parseWhile() {
  const SourceLocation opened = current_.location;
  Nesting nesting(*this, opened);
  auto statement = std::make_unique<While>(opened);
  advance();
  statement->condition = parseAnyExpression();
  ++loopDepth_;
  statement->body = parseStatements();
  --loopDepth_;
  expectBlockEnd("while", opened);
  return statement;
}

StatementPtr Parser::parseSwitch() {
  const SourceLocation opened = current_.location;
  Nesting nesting(*this, opened);
  auto statement = std::make_unique<Switch>(opened);
  advance();
  statement->subject = parseAnyExpression();
  skipSeparators();
  for (;;) {
    if (at(TokenKind::KwCase)) {
      if (statement->hasOtherwise) fail(current_.location, "'case' cannot follow 'otherwise'");
      SwitchCase switchCase;
      switchCase.location = current_.location;
      advance();
      switchCase.value = parseAnyExpression();
      switchCase.body = parseStatements();
      statement->cases.push_back(std::move(switchCase));
    } else if (at(TokenKind::KwOtherwise)) {
      if (statement->hasOtherwise)
        fail(current_.location, "a 'switch' has at most one 'otherwise'");
      advance();
      statement->hasOtherwise = true;
      statement->otherwise = parseStatements();
    } else if (at(TokenKind::KwEnd)) {
      break;
    } else {
      std::string reason =
          "expected 'case', 'otherwise' or 'end' in the 'switch' opened at " + toString(opened);
      if (!at(TokenKind::EndOfInput)) reason += ", found " + describe(current_);
      fail(current_.location, reason);
    }
  }
  expectBlockEnd("switch", opened);
  return statement;
}

StatementPtr Parser::parseTry() {
  const SourceLocation opened = current_.location;
  Nesting nesting(*this, opened);
  auto statement = std::make_unique<Try>(opened);
  advance();
  statement->body = parseStatements();
  if (at(TokenKind::KwCatch)) {
    advance();
    statement->hasCatch = true;
    // catch err: a name alone on the rest of the catch line receives the error. A name followed
    // by more (catch disp(x)) starts the first statement of the catch block.
    if (at(TokenKind::Identifier) && lexer_.statementEndFollows()) {
      statement->catchVariable =
          std::make_unique<Identifier>(current_.location, std::string(current_.text));
      advance();
    }
    statement->catchBody = parseStatements();
  }
  expectBlockEnd("try", opened);
  return statement;
}

StatementPtr Parser::parseDeclaration() {
  std::unique_ptr<Declaration> statement;
  const char* keyword = spelling(current_.kind);
  if (at(TokenKind::KwGlobal))
    statement = std::make_unique<Global>(current_.location);
  else
    statement = std::make_unique<Persistent>(current_.location);
  advance();
  while (at(TokenKind::Identifier)) {
    statement->names.push_back(
        std::make_unique<Identifier>(current_.location, std::string(current_.text)));
    advance();
  }
  if (statement->names.empty())
    failExpected(std::string("a variable name after '") + keyword + "'");
  expectStatementEnd();
  return statement;
}

// ---------------------------------------------------------------------------------------------
// Expressions

ExpressionPtr Parser::parseAnyExpression() {
  Nesting nesting(*this, current_.location);
  return parseBinary(1);
}

// Precedence climbing over the binary levels, loosest first: || && | & comparisons : + - and
// the multiplicative operators. All are left-associative; a:b:c is one range, not two.
ExpressionPtr Parser::parseBinary(int minimumPrecedence) {
  ExpressionPtr left = parseUnary();
  for (;;) {
    const int precedence = binaryPrecedence(current_.kind);
    if (precedence == 0 || precedence < minimumPrecedence) return left;
    const SourceLocation location = current_.location;
    advance();
    if (precedence == kRangePrecedence) {
      ExpressionPtr second = parseBinary(kRangePrecedence + 1);
      if (at(TokenKind::Colon)) {
        advance();
        ExpressionPtr third = parseBinary(kRangePrecedence + 1);
        left = checkHeight(std::make_unique<Range>(location, std::move(left), std::move(second),
                                                   std::move(third)));
      } else {
        left = checkHeight(
            std::make_unique<Range>(location, std::move(left), nullptr, std::move(second)));
      }
      continue;
    }
    const BinaryOperator op = binaryOperator(previousKind_);
    ExpressionPtr right = parseBinary(precedence + 1);
    left = checkHeight(std::make_unique<Binary>(location, op, std::move(left), std::move(right)));
  }
}

// Prefix + - ~ bind looser than ^ and the postfix operators: -2^2 is -(2^2), -a' is -(a').
ExpressionPtr Parser::parseUnary() {
  if (!isPrefixOperator(current_.kind)) return parsePower();
  const SourceLocation location = current_.location;
  const UnaryOperator op = unaryOperator(current_.kind);
  Nesting nesting(*this, location);
  advance();
  return checkHeight(std::make_unique<Unary>(location, op, parseUnary()));
}

// ^ and .^ are left-associative (2^3^2 is 64); their right operand may carry prefix operators
// (2^-1), which then bind tighter than a following ^: 2^-1^2 is (2^(-1))^2.
ExpressionPtr Parser::parsePower() {
  ExpressionPtr base = parsePostfix();
  while (at(TokenKind::Caret) || at(TokenKind::DotCaret)) {
    const SourceLocation location = current_.location;
    const BinaryOperator op =
        at(TokenKind::Caret) ? BinaryOperator::Power : BinaryOperator::ElementPower;
    advance();
    ExpressionPtr exponent = parsePowerOperand();
    base =
        checkHeight(std::make_unique<Binary>(location, op, std::move(base), std::move(exponent)));
  }
  return base;
}

ExpressionPtr Parser::parsePowerOperand() {
  if (!isPrefixOperator(current_.kind)) return parsePostfix();
  const SourceLocation location = current_.location;
  const UnaryOperator op = unaryOperator(current_.kind);
  Nesting nesting(*this, location);
  advance();
  return checkHeight(std::make_unique<Unary>(location, op, parsePowerOperand()));
}

ExpressionPtr Parser::parsePostfix() {
  ExpressionPtr expression = parsePrimary();
  // Index steps gather in one Index node as long as they follow each other directly.
  auto indexNode = [&]() -> Index& {
    if (expression->kind != NodeKind::Index || expression->parenthesized) {
      const SourceLocation location = expression->location;
      expression = std::make_unique<Index>(location, std::move(expression));
    }
    return expression->as<Index>();
  };
  for (;;) {
    switch (current_.kind) {
      case TokenKind::LeftParen:
        parseIndexArguments(indexNode(), IndexStep::Kind::Paren);
        break;
      case TokenKind::LeftBrace:
        parseIndexArguments(indexNode(), IndexStep::Kind::Brace);
        break;
      case TokenKind::Dot: {
        Index& index = indexNode();
        IndexStep step;
        step.location = current_.location;
        advance();
        if (at(TokenKind::Identifier)) {
          step.kind = IndexStep::Kind::Field;
          step.field = std::string(current_.text);
          advance();
        } else if (at(TokenKind::LeftParen)) {
          const SourceLocation opened = current_.location;
          step.kind = IndexStep::Kind::DynamicField;
          advance();
          step.fieldExpression = parseAnyExpression();
          if (!at(TokenKind::RightParen)) failClose('(', opened);
          advance();
          raise(index, *step.fieldExpression);
        } else {
          failExpected("a field name or '(' after '.'");
        }
        index.steps.push_back(std::move(step));
        break;
      }
      case TokenKind::Transpose:
      case TokenKind::DotTranspose: {
        const PostfixOperator op =
            at(TokenKind::Transpose) ? PostfixOperator::Transpose : PostfixOperator::DotTranspose;
        expression = std::make_unique<Postfix>(current_.location, op, std::move(expression));
        advance();
        break;
      }
      default:
        return expression;
    }
    expression = checkHeight(std::move(expression));
  }
}

void Parser::parseIndexArguments(Index& index, IndexStep::Kind kind) {
  const bool paren = kind == IndexStep::Kind::Paren;
  const TokenKind closer = paren ? TokenKind::RightParen : TokenKind::RightBrace;
  IndexStep step;
  step.kind = kind;
  step.location = current_.location;
  advance();
  ++indexDepth_;
  while (!at(closer)) {
    if (at(TokenKind::Colon)) {
      // A ':' alone is the whole dimension; it cannot start an expression otherwise.
      const SourceLocation location = current_.location;
      advance();
      if (!at(TokenKind::Comma) && !at(closer))
        fail(location,
             "':' must stand alone as an index, as in a(:, 1), or between two values, "
             "as in 1:n");
      step.arguments.push_back(std::make_unique<Colon>(location));
    } else {
      step.arguments.push_back(parseAnyExpression());
      raise(index, *step.arguments.back());
    }
    if (at(TokenKind::Comma)) {
      advance();
      if (at(closer)) failExpected("an index after ','");
    } else if (!at(closer)) {
      failClose(paren ? '(' : '{', step.location);
    }
  }
  --indexDepth_;
  advance();
  index.steps.push_back(std::move(step));
}

ExpressionPtr Parser::parsePrimary() {
  const SourceLocation location = current_.location;
  ExpressionPtr expression;
  switch (current_.kind) {
    case TokenKind::Number:
      expression = std::make_unique<Number>(location, current_.number, current_.imaginary);
      break;
    case TokenKind::CharArray:
      expression = std::make_unique<CharArray>(location, std::move(current_.value));
      break;
    case TokenKind::Identifier:
      expression = std::make_unique<Identifier>(location, std::string(current_.text));
      break;
    case TokenKind::EndValue:
      if (indexDepth_ == 0) fail(location, "'end' is only valid inside an index, as in a(end)");
      expression = std::make_unique<End>(location);
      break;
    case TokenKind::LeftParen: {
      advance();
      expression = parseAnyExpression();
      if (!at(TokenKind::RightParen)) failClose('(', location);
      expression->parenthesized = true;
      break;
    }
    case TokenKind::LeftBracket:
      return parseRows<Matrix>(TokenKind::RightBracket, '[');
    case TokenKind::LeftBrace:
      return parseRows<Cell>(TokenKind::RightBrace, '{');
    case TokenKind::At:
      return parseFunctionHandle();
    default:
      failExpectedExpression();
  }
  advance();
  return expression;
}

template <class Node>
ExpressionPtr Parser::parseRows(TokenKind closer, char open) {
  const SourceLocation opened = current_.location;
  auto node = std::make_unique<Node>(opened);
  advance();
  std::vector<ExpressionPtr> row;
  auto endRow = [&] {
    if (row.empty()) return;
    node->rows.push_back(std::move(row));
    row.clear();
  };
  for (;;) {
    if (at(closer)) {
      endRow();
      advance();
      break;
    }
    if (at(TokenKind::Semicolon) || at(TokenKind::Newline)) {
      endRow();
      advance();
      continue;
    }
    if (at(TokenKind::EndOfInput)) failClose(open, opened);
    row.push_back(parseAnyExpression());
    raise(*node, *row.back());
    if (at(TokenKind::Comma)) {
      advance();
    } else if (!at(closer) && !at(TokenKind::Semicolon) && !at(TokenKind::Newline)) {
      failClose(open, opened);
    }
  }
  return checkHeight(std::move(node));
}

ExpressionPtr Parser::parseFunctionHandle() {
  const SourceLocation location = current_.location;
  advance();  // @
  if (at(TokenKind::Identifier)) {
    auto handle = std::make_unique<FunctionHandle>(location, std::string(current_.text));
    advance();
    return handle;
  }
  if (!at(TokenKind::LeftParen)) failExpected("a function name or a parameter list after '@'");
  const SourceLocation opened = current_.location;
  auto function = std::make_unique<AnonymousFunction>(location);
  advance();
  while (!at(TokenKind::RightParen)) {
    if (at(TokenKind::Not)) {
      function->parameters.emplace_back("~");
    } else if (at(TokenKind::Identifier)) {
      std::string name(current_.text);
      if (std::find(function->parameters.begin(), function->parameters.end(), name) !=
          function->parameters.end())
        fail(current_.location, "parameter '" + name + "' is named twice");
      function->parameters.push_back(std::move(name));
    } else {
      failExpected("a parameter name");
    }
    advance();
    if (at(TokenKind::Comma)) {
      advance();
    } else if (!at(TokenKind::RightParen)) {
      failClose('(', opened);
    }
  }
  advance();
  for (std::size_t i = 0; i + 1 < function->parameters.size(); ++i)
    if (function->parameters[i] == "varargin")
      fail(opened, "'varargin' must be the last parameter of an anonymous function");
  function->varargin = !function->parameters.empty() && function->parameters.back() == "varargin";
  // The body runs later, on its own: an `end` in it cannot refer to an index around the @.
  const int enclosingIndexDepth = indexDepth_;
  indexDepth_ = 0;
  function->body = parseAnyExpression();
  indexDepth_ = enclosingIndexDepth;
  raise(*function, *function->body);
  return checkHeight(std::move(function));
}

ExpressionPtr Parser::parseExpression() {
  advance();
  while (at(TokenKind::Newline)) advance();
  ExpressionPtr expression = parseAnyExpression();
  while (at(TokenKind::Newline)) advance();
  if (!at(TokenKind::EndOfInput)) failExpected("the end of the expression");
  resolveVariables(*expression);
  return expression;
}

SourceFile parseFile(std::string_view source, std::string fileName) {
  return Parser(source, std::move(fileName)).parseFile();
}

ExpressionPtr parseExpression(std::string_view source, std::string fileName) {
  return Parser(source, std::move(fileName)).parseExpression();
}

}  // namespace q
