#pragma once
// The Q-code parser: source text in, syntax tree out, or a SyntaxError naming the file, line and
// column and what was expected there. The grammar, the rules that settle its ambiguities and
// the error messages are described in docs/q-syntax.md.
//
// Parsing is linear in the size of the source. Recursion is bounded: brackets, blocks, prefix
// operators and anonymous functions may nest kMaxNestingDepth deep, and an expression tree may
// be kMaxExpressionHeight high (a long chain like 1+1+...+1 builds a tall tree without nesting
// anything). Deeper input is a SyntaxError, not a stack overflow, in the parser and in anything
// that walks the tree recursively afterwards.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/ast.hpp"
#include "engine/lexer.hpp"
#include "engine/syntax_error.hpp"

namespace q {

constexpr int kMaxNestingDepth = 256;
constexpr std::uint32_t kMaxExpressionHeight = 1000;

// One parse of one text; a Parser is used once.
class Parser {
 public:
  // source must stay alive until the parse returns; the tree keeps no pointer into it.
  // fileName names the text in error messages and in Function::file (for example "model.q").
  Parser(std::string_view source, std::string fileName);
  Parser(const Parser&) = delete;
  Parser& operator=(const Parser&) = delete;

  // A function file when its first statement is `function` (main function and local functions),
  // otherwise a script. Names are resolved to slots before it returns.
  ast::SourceFile parseFile();

  // The whole text is one expression (surrounding blank lines allowed), as for str2func. It
  // has no variables: every identifier has slot -1, and an anonymous function captures nothing.
  ast::ExpressionPtr parseExpression();

 private:
  class Nesting;

  [[noreturn]] void fail(SourceLocation location, std::string reason) const;
  [[noreturn]] void failExpected(const std::string& what) const;
  [[noreturn]] void failClose(char open, SourceLocation opened) const;
  [[noreturn]] void failStray() const;
  [[noreturn]] void failExpectedExpression() const;
  void advance();
  bool at(TokenKind kind) const { return current_.kind == kind; }
  bool atBlockTerminator() const;
  void skipSeparators();
  bool expectStatementEnd();
  void expectBlockEnd(const char* keyword, SourceLocation opened);
  ast::ExpressionPtr checkHeight(ast::ExpressionPtr expression) const;

  void parseFunctionFile(ast::SourceFile& file);
  std::unique_ptr<ast::Function> parseFunction();
  ast::StatementList parseStatements();
  ast::StatementPtr parseStatement();
  ast::StatementPtr parseCommand();
  bool multipleAssignmentFollows();
  ast::StatementPtr parseMultipleAssignment();
  ast::StatementPtr parseExpressionOrAssignment();
  ast::StatementPtr parseIf();
  ast::StatementPtr parseFor();
  ast::StatementPtr parseWhile();
  ast::StatementPtr parseSwitch();
  ast::StatementPtr parseTry();
  ast::StatementPtr parseDeclaration();

  ast::ExpressionPtr parseAnyExpression();
  ast::ExpressionPtr parseBinary(int minimumPrecedence);
  ast::ExpressionPtr parseUnary();
  ast::ExpressionPtr parsePower();
  ast::ExpressionPtr parsePowerOperand();
  ast::ExpressionPtr parsePostfix();
  void parseIndexArguments(ast::Index& index, ast::IndexStep::Kind kind);
  ast::ExpressionPtr parsePrimary();
  template <class Node>
  ast::ExpressionPtr parseRows(TokenKind closer, char open);
  ast::ExpressionPtr parseFunctionHandle();

  std::string_view source_;
  std::string fileName_;
  Lexer lexer_;
  Token current_;
  TokenKind previousKind_ = TokenKind::Newline;
  std::string_view previousText_;
  std::size_t previousEnd_ = 0;  // offset just past the last token consumed
  int depth_ = 0;                // nesting of brackets, blocks, prefix operators
  int loopDepth_ = 0;            // enclosing for/while loops in the current function
  int indexDepth_ = 0;           // enclosing index argument lists, where `end` is valid
};

// Shorthands for a single use of Parser.
ast::SourceFile parseFile(std::string_view source, std::string fileName);
ast::ExpressionPtr parseExpression(std::string_view source, std::string fileName);

}  // namespace q
