#include "engine/lexer.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace q {
namespace {

// The tokens of source, one word each: names and keywords as written, numbers as n<value>
// (with an i when imaginary), char arrays as s<text>, `end` inside brackets as END, a comma
// made from whitespace as _, a new line as NL, and operators by their spelling.
std::string tokens(std::string_view source) {
  Lexer lexer(source, "t.q");
  std::string result;
  for (;;) {
    Token token = lexer.next();
    if (token.kind == TokenKind::EndOfInput) return result;
    if (!result.empty()) result += ' ';
    switch (token.kind) {
      case TokenKind::Number: {
        char digits[32];
        result += 'n';
        result.append(digits, std::to_chars(digits, digits + sizeof digits, token.number).ptr);
        if (token.imaginary) result += 'i';
        break;
      }
      case TokenKind::CharArray:
        result += "s" + token.value;
        break;
      case TokenKind::EndValue:
        result += "END";
        break;
      case TokenKind::Newline:
        result += "NL";
        break;
      case TokenKind::Comma:
        result += token.implicit ? "_" : ",";
        break;
      default:
        result += std::string(token.text);
        break;
    }
  }
}

struct LexCase {
  const char* source;
  const char* expected;
};

void expectTokens(const std::vector<LexCase>& cases) {
  for (const LexCase& c : cases) {
    SCOPED_TRACE(c.source);
    try {
      EXPECT_EQ(tokens(c.source), c.expected);
    } catch (const SyntaxError& error) {
      ADD_FAILURE() << "unexpected error: " << error.what();
    }
  }
}

TEST(Lexer, QuoteIsTransposeOnlyDirectlyAfterAValue) {
  expectTokens({
      {"a'", "a '"},
      {"a.'", "a .'"},
      {"a''", "a ' '"},
      {"x(1)'", "x ( n1 ) '"},
      {"c{2}'", "c { n2 } '"},
      {"[1 2]'", "[ n1 _ n2 ] '"},
      {"2'", "n2 '"},
      {"x(end')", "x ( END ' )"},
      {"s.end'", "s . end '"},
      {"a 'b'", "a sb"},
      {"x = a' + b'", "x = a ' + b '"},
      {"f(a 'b')", "f ( a sb )"},
  });
}

TEST(Lexer, QuoteOpensACharArrayElsewhere) {
  expectTokens({
      {"'it''s'", "sit's"},
      {"''", "s"},
      {"x = 'a'", "x = sa"},
      {"f('a', 'b')", "f ( sa , sb )"},
      {"[a 'b']", "[ a _ sb ]"},
      {"[a' 'b']", "[ a ' _ sb ]"},
      {"@(x) 'y'", "@ ( x ) sy"},
      {"disp 'x y'", "disp sx y"},
      {"'%not a comment'", "s%not a comment"},
      {"'...'", "s..."},
  });
}

TEST(Lexer, NumbersWithFractionsExponentsAndImaginaryUnits) {
  expectTokens({
      {"3", "n3"},
      {".5", "n0.5"},
      {"2.5e-3", "n0.0025"},
      {"1E+2", "n100"},
      {"1.", "n1"},
      {"1.e2", "n100"},
      {"1i 2j 3I 4J", "n1i n2i n3i n4i"},
      {"1e3i", "n1000i"},
      {"0.5j", "n0.5i"},
      {"1.*2", "n1 .* n2"},
      {"1./x", "n1 ./ x"},
      {"1.^2", "n1 .^ n2"},
      {"1.'", "n1 .'"},
      {"1...\n+2", "n1 + n2"},
      {"1e999", "ninf"},
      {"1e-999", "n0"},
      {"0.000e999", "n0"},
      {"4.9e-324", "n5e-324"},
      {"x.^.5", "x .^ n0.5"},
  });
}

TEST(Lexer, OperatorsTakeTheLongestSpelling) {
  expectTokens({
      {"a==b~=c<=d>=e<f>g", "a == b ~= c <= d >= e < f > g"},
      {"a&&b||c&d|e", "a && b || c & d | e"},
      {"~a !b", "~ a ! b"},
      {"a.*b./c.\\d.^e", "a .* b ./ c .\\ d .^ e"},
      {"a*b/c\\d^e", "a * b / c \\ d ^ e"},
      {"@f @(x) a:b s.(n)", "@ f @ ( x ) a : b s . ( n )"},
      {"a=1;b=2,c", "a = n1 ; b = n2 , c"},
  });
}

TEST(Lexer, KeywordsAndEnd) {
  expectTokens({
      {"if elseif else end for while switch case otherwise try catch break continue return "
       "global persistent function",
       "if elseif else end for while switch case otherwise try catch break continue return "
       "global persistent function"},
      {"x(end) end", "x ( END ) end"},
      {"x([1 end])", "x ( [ n1 _ END ] )"},
      {"ends endif", "ends endif"},
  });
  Lexer lexer("end x(end) s.if", "t.q");
  EXPECT_EQ(lexer.next().kind, TokenKind::KwEnd);
  EXPECT_EQ(lexer.next().kind, TokenKind::Identifier);
  lexer.next();
  EXPECT_EQ(lexer.next().kind, TokenKind::EndValue);
  lexer.next();
  EXPECT_EQ(lexer.next().kind, TokenKind::Identifier);  // s
  EXPECT_EQ(lexer.next().kind, TokenKind::Dot);
  EXPECT_EQ(lexer.next().kind, TokenKind::Identifier);  // a field named like a keyword
}

TEST(Lexer, WhitespaceSeparatesElementsInsideBracketsOnly) {
  expectTokens({
      {"[1 -2]", "[ n1 _ - n2 ]"},
      {"[1 - 2]", "[ n1 - n2 ]"},
      {"[1 -  2]", "[ n1 - n2 ]"},
      {"[1-2]", "[ n1 - n2 ]"},
      {"[a -b]", "[ a _ - b ]"},
      {"[a +b]", "[ a _ + b ]"},
      {"[a' b']", "[ a ' _ b ' ]"},
      {"[f (1)]", "[ f _ ( n1 ) ]"},
      {"[f(1) g{2}]", "[ f ( n1 ) _ g { n2 } ]"},
      {"[a {1}]", "[ a _ { n1 } ]"},
      {"[a ~b]", "[ a _ ~ b ]"},
      {"[a ~= b]", "[ a ~= b ]"},
      {"[a @f]", "[ a _ @ f ]"},
      {"[a .5]", "[ a _ n0.5 ]"},
      {"[a .b]", "[ a . b ]"},
      {"[a == b]", "[ a == b ]"},
      {"[ 1 , 2 ]", "[ n1 , n2 ]"},
      {"{1 'a'}", "{ n1 _ sa }"},
      {"{@(x) x +1}", "{ @ ( x ) x _ + n1 }"},
      {"{@(x) x + 1, 2}", "{ @ ( x ) x + n1 , n2 }"},
      {"f(a -1, b (2))", "f ( a - n1 , b ( n2 ) )"},
      {"c{a -1}", "c { a - n1 }"},
      {"[c{a -1} 2]", "[ c { a - n1 } _ n2 ]"},
      {"[1 2 ...\n 3]", "[ n1 _ n2 _ n3 ]"},
      {"x -1", "x - n1"},
      {"[x(1, :) -1]", "[ x ( n1 , : ) _ - n1 ]"},
  });
}

TEST(Lexer, NewLinesEndRowsInBracketsAndStatementsOutside) {
  expectTokens({
      {"[1 2\n3 4]", "[ n1 _ n2 NL n3 _ n4 ]"},
      {"{1\n'a'}", "{ n1 NL sa }"},
      {"[1 2 % first row\n 3]", "[ n1 _ n2 NL n3 ]"},
      {"f([1\n2])", "f ( [ n1 NL n2 ] )"},
      {"f(1, ...\n 2)", "f ( n1 , n2 )"},
      {"x\r\ny", "x NL y"},
      {"a % comment\nb", "a NL b"},
  });
  EXPECT_THROW(tokens("f(1,\n2)"), SyntaxError);
  EXPECT_THROW(tokens("c{1,\n2}"), SyntaxError);
  EXPECT_THROW(tokens("[f(1,\n2)]"), SyntaxError);
}

TEST(Lexer, BlockCommentsStandAloneOnTheirLinesAndNest) {
  expectTokens({
      {"a\n%{\nignored ( '\n%}\nb", "a NL NL b"},
      {"a\n  %{  \n%{\ninner\n%}\nstill comment\n %} \nb", "a NL NL b"},
      {"a %{ not a block\nb", "a NL b"},
      {"%{ x\ny", "NL y"},
  });
}

TEST(Lexer, LocationsCountLinesAndCharacters) {
  Lexer lexer("x = 'é';\n\ty\n  % c\n  z", "t.q");
  std::vector<std::pair<std::uint32_t, std::uint32_t>> places;
  for (Token token = lexer.next(); token.kind != TokenKind::EndOfInput; token = lexer.next())
    places.emplace_back(token.location.line, token.location.column);
  // x = 'é' ; NL y NL NL z: the two-byte é counts as one column.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = {
      {1, 1}, {1, 3}, {1, 5}, {1, 8}, {1, 9}, {2, 2}, {2, 3}, {3, 6}, {4, 3}};
  EXPECT_EQ(places, expected);
}

TEST(Lexer, CommandWords) {
  struct Case {
    const char* source;
    bool command;
    std::vector<std::string> words;
    const char* rest;  // the tokens after the words
  };
  const std::vector<Case> cases = {
      {"hold on", true, {"on"}, ""},
      {"warning off my:id; x", true, {"off", "my:id"}, "; x"},
      {"format long g, y", true, {"long", "g"}, ", y"},
      {"disp 'a b' c''d", true, {"a b", "cd"}, ""},
      {"disp it''s", true, {"its"}, ""},
      {"disp 'it''s'", true, {"it's"}, ""},
      {"close all % done\nx", true, {"all"}, "NL x"},
      {"load data.mat x", true, {"data.mat", "x"}, ""},
      {"cmd a...\n b", true, {"a", "b"}, ""},
      {"cmd é", true, {"é"}, ""},
      {"a = 1", false, {}, ""},
      {"a == 1", false, {}, ""},
      {"a -1", false, {}, ""},
      {"a - 1", false, {}, ""},
      {"f (1)", false, {}, ""},
      {"a(1) b", false, {}, ""},
      {"a", false, {}, ""},
      {"a % comment", false, {}, ""},
      {"a\tb", true, {"b"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Lexer lexer(c.source, "t.q");
    ASSERT_EQ(lexer.next().kind, TokenKind::Identifier);
    EXPECT_EQ(lexer.commandSyntaxFollows(), c.command);
    if (!c.command) continue;
    std::vector<std::string> words;
    for (const auto& word : lexer.readCommandWords()) words.push_back(word.text);
    EXPECT_EQ(words, c.words);
    std::string rest;
    for (Token token = lexer.next(); token.kind != TokenKind::EndOfInput; token = lexer.next()) {
      if (!rest.empty()) rest += ' ';
      rest += token.kind == TokenKind::Newline ? "NL" : std::string(token.text);
    }
    EXPECT_EQ(rest, c.rest);
  }
  Lexer unterminated("disp 'abc", "t.q");
  unterminated.next();
  EXPECT_THROW(unterminated.readCommandWords(), SyntaxError);
}

TEST(Lexer, SaveAndRestoreReplayTheSameTokens) {
  Lexer lexer("[a, b(1)] = f(x)'", "t.q");
  lexer.next();
  const Lexer::State state = lexer.save();
  std::string first;
  for (Token token = lexer.next(); token.kind != TokenKind::EndOfInput; token = lexer.next())
    first += std::string(token.text) + "@" + std::to_string(token.location.column) + " ";
  lexer.restore(state);
  std::string second;
  for (Token token = lexer.next(); token.kind != TokenKind::EndOfInput; token = lexer.next())
    second += std::string(token.text) + "@" + std::to_string(token.location.column) + " ";
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, "a@2 ,@3 b@5 (@6 1@7 )@8 ]@9 =@11 f@13 (@14 x@15 )@16 '@17 ");
}

}  // namespace
}  // namespace q
