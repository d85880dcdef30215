#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/parser.hpp"

namespace q {
namespace {

struct ErrorCase {
  std::string source;
  const char* message;  // what() of the SyntaxError
};

void expectErrors(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.source);
    try {
      parseFile(c.source, "model.q");
      ADD_FAILURE() << "parsed without error";
    } catch (const SyntaxError& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

TEST(SyntaxErrors, UnclosedBracketsNameWhereTheyOpened) {
  expectErrors({
      {"x = f(1,\n2)", "model.q:1:9: expected ')' to close '(' opened at 1:6"},
      {"x = (1 + 2", "model.q:1:11: expected ')' to close '(' opened at 1:5"},
      {"x = 1;\n\ty = (2", "model.q:2:8: expected ')' to close '(' opened at 2:6"},
      {"x = [1 2)", "model.q:1:9: expected ']' to close '[' opened at 1:5"},
      {"x = [1 2\n3 4", "model.q:2:4: expected ']' to close '[' opened at 1:5"},
      {"c = {1, 2", "model.q:1:10: expected '}' to close '{' opened at 1:5"},
      {"x = a(1 2)", "model.q:1:9: expected ')' to close '(' opened at 1:6, found '2'"},
      {"x = c{1 2}", "model.q:1:9: expected '}' to close '{' opened at 1:6, found '2'"},
      {"x = c{1,\n2}", "model.q:1:9: expected '}' to close '{' opened at 1:6"},
      {"x = [f(1,\n2)]", "model.q:1:10: expected ')' to close '(' opened at 1:7"},
      {"x = s.(n", "model.q:1:9: expected ')' to close '(' opened at 1:7"},
      {"f = @(a, b", "model.q:1:11: expected ')' to close '(' opened at 1:6"},
  });
}

TEST(SyntaxErrors, UnterminatedTextCommentsAndBlocks) {
  expectErrors({
      {"x = 'abc\ny = 2",
       "model.q:1:5: character array is not terminated: expected ' before the end of the line"},
      {"disp 'abc",
       "model.q:1:6: character array is not terminated: expected ' before the end "
       "of the line"},
      {"x = 1\n%{\ncomment\n%{\n%}\n",
       "model.q:2:1: block comment is not closed: expected a line holding only '%}'"},
      {"if x\n  y = 1\n", "model.q:3:1: expected 'end' to close 'if' opened at 1:1"},
      {"for k = 1:3\n  while 1\n  end\n",
       "model.q:4:1: expected 'end' to close 'for' opened at 1:1"},
      {"try\n  x\ncatch\n", "model.q:4:1: expected 'end' to close 'try' opened at 1:1"},
      {"switch x\ncase 1\n",
       "model.q:3:1: expected 'case', 'otherwise' or 'end' in the "
       "'switch' opened at 1:1"},
      {"function f\nif x\nfunction g\nend",
       "model.q:3:1: expected 'end' to close 'if' opened at 2:1, found 'function'"},
      {"if x, else, else, end",
       "model.q:1:13: expected 'end' to close 'if' opened at 1:1, found 'else'"},
  });
}

TEST(SyntaxErrors, MissingOrMisplacedExpressions) {
  expectErrors({
      {"x = 1 +\n", "model.q:1:8: expected an expression after '+', found end of line"},
      {"x = ]", "model.q:1:5: expected an expression after '=', found ']'"},
      {"x = [1 +]", "model.q:1:9: expected an expression after '+', found ']'"},
      {"x = end", "model.q:1:5: expected an expression after '=', found 'end'"},
      {"x = [1 end]", "model.q:1:8: 'end' is only valid inside an index, as in a(end)"},
      {"y = a(@() end)", "model.q:1:11: 'end' is only valid inside an index, as in a(end)"},
      {"x = a(1,)", "model.q:1:9: expected an index after ',', found ')'"},
      {"x(:end)",
       "model.q:1:3: ':' must stand alone as an index, as in a(:, 1), or between two "
       "values, as in 1:n"},
      {"x = y z", "model.q:1:7: expected ',', ';' or a new line after the statement, found 'z'"},
      {"a(1) b", "model.q:1:6: expected ',', ';' or a new line after the statement, found 'b'"},
      {"x = @+", "model.q:1:6: expected a function name or a parameter list after '@', found '+'"},
      {"f = @(x, x) x", "model.q:1:10: parameter 'x' is named twice"},
      {"x = s.+", "model.q:1:7: expected a field name or '(' after '.', found '+'"},
      {"if\n", "model.q:1:3: expected an expression after 'if', found end of line"},
  });
}

TEST(SyntaxErrors, AssignmentTargets) {
  expectErrors({
      {"a + b = 3",
       "model.q:1:1: cannot assign to this expression: the left side of '=' must be "
       "a variable, indexed or not, such as x, x(2) or s.f{1}"},
      {"(x) = 1",
       "model.q:1:1: cannot assign to this expression: the left side of '=' must be a "
       "variable, indexed or not, such as x, x(2) or s.f{1}"},
      {"f(x)' = 1",
       "model.q:1:1: cannot assign to this expression: the left side of '=' must be "
       "a variable, indexed or not, such as x, x(2) or s.f{1}"},
      {"[a, 1] = f", "model.q:1:5: expected a variable or '~' in the list of outputs, found '1'"},
      {"[a, b'] = f",
       "model.q:1:5: cannot assign to this expression: an output must be a "
       "variable, indexed or not, or '~'"},
      {"x = y = 2", "model.q:1:7: expected ',', ';' or a new line after the statement, found '='"},
  });
}

TEST(SyntaxErrors, CharactersAndNumbers) {
  expectErrors({
      {"x = 3x", "model.q:1:5: malformed number '3x': a number cannot run into letters"},
      {"x = 2i3", "model.q:1:5: malformed number '2i3': a number cannot run into letters"},
      {"x = 1e", "model.q:1:5: malformed number: expected digits after the exponent 'e'"},
      {"x = 1e+", "model.q:1:5: malformed number: expected digits after the exponent 'e'"},
      {"x = a != b", "model.q:1:7: '!=' is not an operator: write '~=' for 'not equal'"},
      {"x = \"a\"",
       "model.q:1:5: '\"' does not delimit text in Q-code: write character arrays in single "
       "quotes"},
      {"x = $", "model.q:1:5: unexpected character '$'"},
      {"x = 1 \x01", "model.q:1:7: unexpected character (byte 0x01)"},
      {std::string("x = \0", 5), "model.q:1:5: unexpected character (byte 0x00)"},
      {"é = 1", "model.q:1:1: unexpected character (byte 0xC3)"},
  });
}

TEST(SyntaxErrors, KeywordsOutOfPlace) {
  expectErrors({
      {"else", "model.q:1:1: 'else' without a matching 'if'"},
      {"x = 1\nelseif y", "model.q:2:1: 'elseif' without a matching 'if'"},
      {"end", "model.q:1:1: 'end' without an open block to close"},
      {"case 1", "model.q:1:1: 'case' outside a 'switch'"},
      {"otherwise", "model.q:1:1: 'otherwise' outside a 'switch'"},
      {"catch", "model.q:1:1: 'catch' without a matching 'try'"},
      {"break", "model.q:1:1: 'break' is only valid inside a 'for' or 'while' loop"},
      {"for k = 1:2\nend\n  continue",
       "model.q:3:3: 'continue' is only valid inside a 'for' or 'while' loop"},
      {"switch x\n  y\ncase 1\nend",
       "model.q:2:3: expected 'case', 'otherwise' or 'end' in the "
       "'switch' opened at 1:1, found 'y'"},
      {"switch x\notherwise\ncase 1\nend", "model.q:3:1: 'case' cannot follow 'otherwise'"},
      {"switch x\notherwise\notherwise\nend",
       "model.q:3:1: a 'switch' has at most one 'otherwise'"},
      {"global", "model.q:1:7: expected a variable name after 'global', found end of input"},
      {"persistent 1", "model.q:1:12: expected a variable name after 'persistent', found '1'"},
      {"for 1 = x, end", "model.q:1:5: expected a loop variable after 'for', found '1'"},
      {"for k 1:3, end", "model.q:1:7: expected '=' after the loop variable, found '1'"},
  });
}

TEST(SyntaxErrors, FunctionFiles) {
  expectErrors({
      {"function f\nx=1\nend\nfunction g\ny=2\n",
       "model.q:6:1: expected 'end' to close function 'g' opened at 4:1 (the functions of this "
       "file end with 'end')"},
      {"function f\nx=1\nfunction g\ny=2\nend\n",
       "model.q:5:1: 'end' closes function 'g', but function 'f' at 1:1 has no closing 'end' "
       "(functions cannot be nested; close every function of a file with 'end', or none)"},
      {"function f\nend\nx = 2",
       "model.q:3:1: expected 'function' (only functions may follow the 'end' of a function), "
       "found 'x'"},
      {"x = 1\nfunction g\nend",
       "model.q:2:1: a script cannot define functions: 'function' is only allowed in a file "
       "whose first statement is a function declaration"},
      {"function f\nend\nfunction f\nend", "model.q:3:1: function 'f' is already defined at 1:1"},
      {"function [a, a] = f\n", "model.q:1:1: output 'a' is named twice in the declaration of 'f'"},
      {"function f(x, y, x)\n", "model.q:1:1: input 'x' is named twice in the declaration of 'f'"},
      {"function f(varargin, x)\n",
       "model.q:1:1: 'varargin' must be the last input of function 'f'"},
      {"function [varargout, y] = f\n",
       "model.q:1:1: 'varargout' must be the last output of function 'f'"},
      {"function = f", "model.q:1:10: expected the function name after 'function', found '='"},
      {"function [a b] f", "model.q:1:16: expected '=' after the output list, found 'f'"},
      {"function f(a b)", "model.q:1:14: expected ')' to close '(' opened at 1:11, found 'b'"},
      {"function f x",
       "model.q:1:12: expected ',', ';' or a new line after the statement, "
       "found 'x'"},
  });
}

TEST(SyntaxErrors, NestingLimitIsReportedWhereItIsPassed) {
  expectErrors({
      {"x = " + std::string(100000, '('),
       "model.q:1:261: nesting is too deep: more than 256 levels of brackets, blocks and "
       "operators"},
  });
}

TEST(SyntaxErrors, MessageFormat) {
  const SyntaxError named("dir/model.q", {12, 7}, "expected ')'");
  EXPECT_STREQ(named.what(), "dir/model.q:12:7: expected ')'");
  EXPECT_EQ(named.file(), "dir/model.q");
  EXPECT_EQ(named.location(), (SourceLocation{12, 7}));
  EXPECT_EQ(named.reason(), "expected ')'");
  EXPECT_STREQ(SyntaxError("", {3, 4}, "bad").what(), "3:4: bad");
  try {
    parseExpression("1 +", "");
    ADD_FAILURE() << "parsed without error";
  } catch (const SyntaxError& error) {
    EXPECT_STREQ(error.what(), "1:4: expected an expression after '+', found end of input");
  }
}

}  // namespace
}  // namespace q
