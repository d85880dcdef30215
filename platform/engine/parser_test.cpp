#include "engine/parser.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ast_printer.hpp"

namespace q {
namespace {

struct PrintCase {
  const char* source;
  const char* printed;
};

// Each source parses as one expression that prints, fully parenthesised, as expected.
void expectExpressions(const std::vector<PrintCase>& cases) {
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.source);
    try {
      EXPECT_EQ(ast::print(*parseExpression(c.source, "e.q")), c.printed);
    } catch (const SyntaxError& error) {
      ADD_FAILURE() << "unexpected error: " << error.what();
    }
  }
}

// Each source parses as a script whose statements print as expected.
void expectStatements(const std::vector<PrintCase>& cases) {
  for (const PrintCase& c : cases) {
    SCOPED_TRACE(c.source);
    try {
      ast::SourceFile file = parseFile(c.source, "s.q");
      ASSERT_TRUE(file.isScript);
      EXPECT_EQ(ast::print(file.functions.at(0)->body), c.printed);
    } catch (const SyntaxError& error) {
      ADD_FAILURE() << "unexpected error: " << error.what();
    }
  }
}

TEST(Parser, BinaryOperatorsByPrecedenceAndAssociativity) {
  expectExpressions({
      {"1 - 2 - 3", "((1 - 2) - 3)"},
      {"a / b * c", "((a / b) * c)"},
      {"a \\ b .\\ c", "((a \\ b) .\\ c)"},
      {"a.*b./c", "((a .* b) ./ c)"},
      {"a | b & c", "(a | (b & c))"},
      {"a & b | c", "((a & b) | c)"},
      {"a || b && c", "(a || (b && c))"},
      {"a && b || c", "((a && b) || c)"},
      {"a && b | c", "(a && (b | c))"},
      {"a | b < c", "(a | (b < c))"},
      {"a < b == c", "((a < b) == c)"},
      {"a ~= b >= c", "((a ~= b) >= c)"},
      {"a == b:c", "(a == (b:c))"},
      {"1:n-1", "(1:(n - 1))"},
      {"1:2:10", "(1:2:10)"},
      {"a:b:c:d", "((a:b:c):d)"},
      {"a:b+1:c*2", "(a:(b + 1):(c * 2))"},
      {"1 + 2 < 3 & 4 | 5 && 6 || 7", "((((((1 + 2) < 3) & 4) | 5) && 6) || 7)"},
  });
}

TEST(Parser, PrefixPowerAndPostfixOperators) {
  expectExpressions({
      {"-2^2", "(-(2 ^ 2))"},       {"2^-1", "(2 ^ (-1))"},
      {"2^3^2", "((2 ^ 3) ^ 2)"},   {"2^-1^2", "((2 ^ (-1)) ^ 2)"},
      {"a.^-b'", "(a .^ (-(b')))"}, {"-a'", "(-(a'))"},
      {"a'*b", "((a') * b)"},       {"a.^b'", "(a .^ (b'))"},
      {"a'^2", "((a') ^ 2)"},       {"-a*b", "((-a) * b)"},
      {"a*-b", "(a * (-b))"},       {"a * -b ^ 2", "(a * (-(b ^ 2)))"},
      {"--a", "(-(-a))"},           {"+a - -b", "((+a) - (-b))"},
      {"~a == b", "((~a) == b)"},   {"!a & ~b", "((~a) & (~b))"},
      {"-a:b", "((-a):b)"},         {"a''", "((a')')"},
      {"a.''", "((a.')')"},         {"x(1)'", "(x(1)')"},
  });
}

TEST(Parser, LiteralsHandlesAndAnonymousFunctions) {
  expectExpressions({
      {"1e3i", "1000i"},
      {"1e999", "Inf"},
      {"'it''s'", "'it''s'"},
      {"''", "''"},
      {"[1 2; 3 4]", "[1, 2; 3, 4]"},
      {"{1, 'a'; [], {}}", "{1, 'a'; [], {}}"},
      {"[]", "[]"},
      {"@sin", "@sin"},
      {"@(x, y) x + y", "@(x, y) (x + y)"},
      {"@() disp('hi')", "@() disp('hi')"},
      {"@(~, y) y", "@(~, y) y"},
      {"@(x) @(y) x + y", "@(x) @(y) (x + y)"},
      {"f(@(x) x.^2, 3)", "f(@(x) (x .^ 2), 3)"},
      {"\n  a + 1\n\n", "(a + 1)"},
  });
}

TEST(Parser, IndexChains) {
  expectExpressions({
      {"a(1, end).b{2}.(name)", "a(1, end).b{2}.(name)"},
      {"f()", "f()"},
      {"a(:)", "a(:)"},
      {"a(:, 1)", "a(:, 1)"},
      {"a(2, :)'", "(a(2, :)')"},
      {"c{:}", "c{:}"},
      {"s.a.b(3).c", "s.a.b(3).c"},
      {"s.('x y')", "s.('x y')"},
      {"a'(1)", "(a')(1)"},
      {"f(x)(2)", "f(x)(2)"},
      {"x(end-1:end)", "x(((end - 1):end))"},
      {"c {1}", "c{1}"},
      {"s.end", "s.end"},
  });
}

TEST(Parser, WhitespaceInsideMatrixAndCellLiterals) {
  expectExpressions({
      {"[1 -2]", "[1, (-2)]"},
      {"[1 - 2]", "[(1 - 2)]"},
      {"[1 , -2]", "[1, (-2)]"},
      {"[a -b]", "[a, (-b)]"},
      {"[a' b']", "[(a'), (b')]"},
      {"[f (1)]", "[f, 1]"},
      {"[1 ~a]", "[1, (~a)]"},
      {"[1 ~= a]", "[(1 ~= a)]"},
      {"[x.y z]", "[x.y, z]"},
      {"[1 2\n3 4]", "[1, 2; 3, 4]"},
      {"[1 2;\n3 4]", "[1, 2; 3, 4]"},
      {"[;1;;2;]", "[1; 2]"},
      {"[1, 2, ]", "[1, 2]"},
      {"[\n1 2 % first\n3 4 % second\n]", "[1, 2; 3, 4]"},
      {"{@(x) x +1}", "{@(x) x, (+1)}"},
      {"{'a' 'b'; 1 2}", "{'a', 'b'; 1, 2}"},
      {"[x([1 end]) 2]", "[x([1, end]), 2]"},
  });
}

TEST(Parser, AssignmentsAndDisplay) {
  expectStatements({
      {"x = 1", "x = 1"},
      {"x = 1;", "x = 1;"},
      {"x = 1, y = 2; z", "x = 1\ny = 2;\nz"},
      {"x(2, end + 1) = [];", "x(2, (end + 1)) = [];"},
      {"s(2).f{3} = v;", "s(2).f{3} = v;"},
      {"s.(n) = 1", "s.(n) = 1"},
      {"[a, ~, c] = f(x);", "[a, ~, c] = f(x);"},
      {"[a b] = deal(1, 2)", "[a, b] = deal(1, 2)"},
      {"[s.x, t{2}, ~] = f", "[s.x, t{2}, ~] = f"},
      {"[~] = f()", "[~] = f()"},
      {"[a] = f", "[a] = f"},
      {"[1 2] * 3", "([1, 2] * 3)"},
      {"[a, b] == c", "([a, b] == c)"},
      {"x = [a, b] == c;", "x = ([a, b] == c);"},
      {"[a, b]", "[a, b]"},
      {"x == 1", "(x == 1)"},
      {"x = y';", "x = (y');"},
      {"ans", "ans"},
  });
}

TEST(Parser, CommandSyntax) {
  expectStatements({
      {"hold on", "hold('on')"},
      {"close all;", "close('all');"},
      {"format long g", "format('long', 'g')"},
      {"warning off my:id", "warning('off', 'my:id')"},
      {"disp 'hello world'", "disp('hello world')"},
      {"x = 1; hold on, y = 2", "x = 1;\nhold('on')\ny = 2"},
      {"if a, hold on, end", "if a\n  hold('on')\nend"},
      // An operator, '(' or '=' after the space means an expression.
      {"x -1", "(x - 1)"},
      {"x - 1", "(x - 1)"},
      {"disp (x)", "disp(x)"},
      {"a = 1", "a = 1"},
      {"a == 1", "(a == 1)"},
  });
}

TEST(Parser, ControlFlow) {
  expectStatements({
      {"if a, b, elseif c, d; else e, end", "if a\n  b\nelseif c\n  d;\nelse\n  e\nend"},
      {"if a b = 1; end", "if a\n  b = 1;\nend"},
      {"if x\nend", "if x\nend"},
      {"for k = 1:3 disp(k); end", "for k = (1:3)\n  disp(k);\nend"},
      {"for (k = 1:3) x = k; end", "for k = (1:3)\n  x = k;\nend"},
      {"for c = {1, 2}\n  c\nend", "for c = {1, 2}\n  c\nend"},
      {"while x > 0, x = x - 1; end", "while (x > 0)\n  x = (x - 1);\nend"},
      {"switch s\n  case 'a'\n    x = 1;\n  case {1, 2}\n    x = 2;\n  otherwise\n    x = 3;\nend",
       "switch s\n  case 'a'\n    x = 1;\n  case {1, 2}\n    x = 2;\n  otherwise\n    x = 3;\nend"},
      {"switch x, end", "switch x\nend"},
      {"try\n  x\ncatch err\n  disp(err)\nend", "try\n  x\ncatch err\n  disp(err)\nend"},
      {"try, x, catch err, y, end", "try\n  x\ncatch err\n  y\nend"},
      {"try, x, catch, y, end", "try\n  x\ncatch\n  y\nend"},
      {"try\n  x\ncatch disp(1)\nend", "try\n  x\ncatch\n  disp(1)\nend"},
      {"try\n  x\ncatch\n  err\nend", "try\n  x\ncatch\n  err\nend"},
      {"try, x, end", "try\n  x\nend"},
      {"for k = 1:3, if k, break, else, continue, end, end",
       "for k = (1:3)\n  if k\n    break\n  else\n    continue\n  end\nend"},
      {"while 1, switch k, case 1, break; end, end",
       "while 1\n  switch k\n    case 1\n      break\n  end\nend"},
      {"return", "return"},
      {"global a b; persistent n", "global a b\npersistent n"},
  });
}

TEST(Parser, ScriptsTakeTheirNameAndLeadingHelp) {
  ast::SourceFile file = parseFile(
      "\n% RUNME  demonstrates a script.\n%   Usage: runme\n\nx = 1;  % not help\n", "dir/runme.q");
  ASSERT_TRUE(file.isScript);
  ASSERT_EQ(file.functions.size(), 1u);
  const ast::Function& script = *file.functions[0];
  EXPECT_TRUE(script.isScript);
  EXPECT_EQ(script.name, "runme");
  EXPECT_EQ(script.file, "dir/runme.q");
  EXPECT_EQ(script.helpText, " RUNME  demonstrates a script.\n   Usage: runme\n");
  EXPECT_EQ(ast::print(file), "x = 1;");

  EXPECT_EQ(parseFile("", "empty.q").functions.at(0)->body.size(), 0u);
  EXPECT_EQ(parseFile("x = 1\n% late comment\n", "s.q").functions.at(0)->helpText, "");
}

constexpr const char* kFunctionFile = R"(% Copyright line, not help
function [total, varargout] = accumulate(values, ~, varargin)
% ACCUMULATE  adds values.
%   total = accumulate(values) sums them.
%{
  Block help line
%}
total = helper(values);
  % a comment inside the body
varargout = varargin;
end

function y = helper(x)
%HELPER doubles.
y = 2 * x;
end

function noArguments
end
)";

TEST(Parser, FunctionFilesWithLocalFunctionsAndHelp) {
  ast::SourceFile file = parseFile(kFunctionFile, "accumulate.q");
  EXPECT_FALSE(file.isScript);
  EXPECT_TRUE(file.functionsEndWithEnd);
  ASSERT_EQ(file.functions.size(), 3u);

  const ast::Function& main = *file.functions[0];
  EXPECT_EQ(main.name, "accumulate");
  EXPECT_EQ(main.file, "accumulate.q");
  EXPECT_EQ(main.location.line, 2u);
  EXPECT_EQ(main.location.column, 1u);
  EXPECT_EQ(main.inputs, (std::vector<std::string>{"values", "~"}));
  EXPECT_TRUE(main.varargin);
  EXPECT_EQ(main.outputs, (std::vector<std::string>{"total"}));
  EXPECT_TRUE(main.varargout);
  EXPECT_EQ(main.helpText,
            " ACCUMULATE  adds values.\n   total = accumulate(values) sums them.\n"
            "  Block help line\n");
  EXPECT_EQ(ast::print(main),
            "function [total, varargout] = accumulate(values, ~, varargin)\n"
            "  total = helper(values);\n"
            "  varargout = varargin;\n"
            "end");

  const ast::Function* helper = file.findFunction("helper");
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->inputs, (std::vector<std::string>{"x"}));
  EXPECT_EQ(helper->outputs, (std::vector<std::string>{"y"}));
  EXPECT_FALSE(helper->varargin);
  EXPECT_EQ(helper->helpText, "HELPER doubles.\n");
  EXPECT_EQ(helper->location.line, 13u);

  const ast::Function& last = *file.functions[2];
  EXPECT_EQ(last.name, "noArguments");
  EXPECT_TRUE(last.inputs.empty());
  EXPECT_TRUE(last.outputs.empty());
  EXPECT_TRUE(last.body.empty());
  EXPECT_EQ(file.findFunction("missing"), nullptr);
}

TEST(Parser, FunctionsWithoutClosingEnd) {
  ast::SourceFile file = parseFile(
      "function r = first(a)\nif a, r = 1; else, r = 2; end\n"
      "function second\n% help of second\nfor k = 1:2, end\n",
      "first.q");
  EXPECT_FALSE(file.functionsEndWithEnd);
  ASSERT_EQ(file.functions.size(), 2u);
  EXPECT_EQ(ast::print(*file.functions[0]),
            "function [r] = first(a)\n  if a\n    r = 1;\n  else\n    r = 2;\n  end\nend");
  EXPECT_EQ(file.functions[1]->helpText, " help of second\n");
  EXPECT_EQ(file.functions[1]->body.size(), 1u);
}

TEST(Parser, EveryNodeKnowsWhereItStarts) {
  ast::SourceFile file = parseFile("x = 1;\n  if y\n    z(3) = -w';\n  end", "p.q");
  const ast::StatementList& body = file.functions[0]->body;
  ASSERT_EQ(body.size(), 2u);
  EXPECT_EQ(body[1]->location, (SourceLocation{2, 3}));
  const auto& ifStatement = body[1]->as<ast::If>();
  EXPECT_EQ(ifStatement.clauses[0].condition->location, (SourceLocation{2, 6}));
  const auto& assignment = ifStatement.clauses[0].body[0]->as<ast::Assignment>();
  EXPECT_EQ(assignment.location, (SourceLocation{3, 5}));
  EXPECT_EQ(assignment.target->as<ast::Index>().steps[0].location, (SourceLocation{3, 6}));
  const auto& minus = assignment.value->as<ast::Unary>();
  EXPECT_EQ(minus.location, (SourceLocation{3, 12}));
  EXPECT_EQ(minus.operand->location, (SourceLocation{3, 14}));  // the transpose
  EXPECT_EQ(minus.operand->as<ast::Postfix>().operand->location, (SourceLocation{3, 13}));
}

TEST(Parser, LiteralValuesArePlainValues) {
  ast::ExpressionPtr matrix = parseExpression("[3, 2.5i, 'aé€𝄞']", "e.q");
  const auto& row = matrix->as<ast::Matrix>().rows.at(0);
  ASSERT_EQ(row.size(), 3u);
  EXPECT_EQ(row[0]->as<ast::Number>().value, 3.0);
  EXPECT_FALSE(row[0]->as<ast::Number>().imaginary);
  EXPECT_EQ(row[1]->as<ast::Number>().value, 2.5);
  EXPECT_TRUE(row[1]->as<ast::Number>().imaginary);
  const auto& text = row[2]->as<ast::CharArray>();
  EXPECT_EQ(text.utf8, "aé€𝄞");
  EXPECT_EQ(text.text, u"aé€𝄞");

  // Bytes that are not UTF-8 become U+FFFD, one per byte.
  ast::ExpressionPtr bad = parseExpression("'a\xff\xc3'", "e.q");
  EXPECT_EQ(bad->as<ast::CharArray>().text, u"a\uFFFD\uFFFD");
}

TEST(Parser, LimitsTurnDeepInputIntoErrors) {
  const std::string parentheses = "x = " + std::string(100000, '(');
  EXPECT_THROW(parseFile(parentheses, "deep.q"), SyntaxError);
  const std::string minuses = "x = " + std::string(100000, '-') + "1";
  EXPECT_THROW(parseFile(minuses, "deep.q"), SyntaxError);
  std::string blocks;
  for (int i = 0; i < 1000; ++i) blocks += "if 1\n";
  EXPECT_THROW(parseFile(blocks, "deep.q"), SyntaxError);
  std::string sum = "x = 1";
  for (std::uint32_t i = 0; i < kMaxExpressionHeight + 10; ++i) sum += "+1";
  EXPECT_THROW(parseFile(sum, "long.q"), SyntaxError);

  // Just inside the limits everything parses, prints and is destroyed without trouble.
  const int depth = kMaxNestingDepth - 2;
  const std::string nested = "x = " + std::string(depth, '(') + "1" + std::string(depth, ')') + ";";
  EXPECT_EQ(parseFile(nested, "ok.q").functions.size(), 1u);
  std::string longSum = "x = 1";
  for (std::uint32_t i = 0; i + 3 < kMaxExpressionHeight; ++i) longSum += "+1";
  ast::SourceFile file = parseFile(longSum, "ok.q");
  const std::size_t terms = kMaxExpressionHeight - 3;
  EXPECT_EQ(ast::print(file).size(), 5 + 6 * terms);  // x = ((...(1 + 1) + 1)...)
}

}  // namespace
}  // namespace q
