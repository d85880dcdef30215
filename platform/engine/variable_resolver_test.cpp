#include "engine/variable_resolver.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ast_printer.hpp"
#include "engine/parser.hpp"

namespace q {
namespace {

ast::PrintOptions withSlots() {
  ast::PrintOptions options;
  options.slots = true;
  return options;
}

ast::PrintOptions withEnds() {
  ast::PrintOptions options;
  options.endTargets = true;
  return options;
}

TEST(VariableResolver, FrameHoldsEveryAssignedNameInputsFirst) {
  ast::SourceFile file = parseFile(
      "function [out, varargout] = f(a, ~, b, varargin)\n"
      "x = a + g(b);\n"
      "[y, ~, z(2)] = size(x);\n"
      "for k = 1:3, s.f{k} = k; end\n"
      "try, w, catch err, end\n"
      "global shared\n"
      "persistent count\n"
      "out = x;\n"
      "end\n",
      "f.q");
  const ast::Function& f = *file.functions[0];
  EXPECT_EQ(f.variables,
            (std::vector<std::string>{"a", "b", "varargin", "out", "varargout", "x", "y", "z", "k",
                                      "s", "ans", "err", "shared", "count"}));
  EXPECT_EQ(f.inputSlots, (std::vector<std::int32_t>{0, -1, 1}));
  EXPECT_EQ(f.vararginSlot, 2);
  EXPECT_EQ(f.outputSlots, (std::vector<std::int32_t>{3}));
  EXPECT_EQ(f.varargoutSlot, 4);
  EXPECT_EQ(f.findVariable("s"), 9);
  EXPECT_EQ(f.findVariable("g"), -1);
  // g and w are never assigned: they are functions to call.
  EXPECT_EQ(ast::print(f.body, withSlots()),
            "x#5 = (a#0 + g(b#1));\n"
            "[y#6, ~, z#7(2)] = size(x#5);\n"
            "for k#8 = (1:3)\n  s#9.f{k#8} = k#8;\nend\n"
            "try\n  w\ncatch err#11\nend\n"
            "global shared#12\n"
            "persistent count#13\n"
            "out#3 = x#5;");
}

TEST(VariableResolver, OutputsThatAreInputsShareTheirSlot) {
  ast::SourceFile file = parseFile("function x = grow(x)\nx(end + 1) = 0;\n", "grow.q");
  const ast::Function& f = *file.functions[0];
  EXPECT_EQ(f.variables, (std::vector<std::string>{"x"}));
  EXPECT_EQ(f.inputSlots, f.outputSlots);
  EXPECT_EQ(f.varargoutSlot, -1);
}

TEST(VariableResolver, ANameUsedBeforeItsAssignmentIsStillAVariable) {
  ast::SourceFile file = parseFile("function f\nif n > 0, disp(n), end\nn = 1;\n", "f.q");
  EXPECT_EQ(ast::print(file.functions[0]->body, withSlots()),
            "if (n#1 > 0)\n  disp(n#1)\nend\nn#1 = 1;");
  // disp(n) is an expression statement, whose value (if any) goes to ans.
  EXPECT_EQ(file.functions[0]->variables, (std::vector<std::string>{"ans", "n"}));
  EXPECT_EQ(parseFile("function f\nx = 1;\n", "f.q").functions[0]->variables,
            (std::vector<std::string>{"x"}));
}

TEST(VariableResolver, LocalFunctionsHaveTheirOwnFrames) {
  ast::SourceFile file =
      parseFile("function a = f\na = g(1);\nend\nfunction r = g(a)\nr = a + f;\nend\n", "f.q");
  EXPECT_EQ(ast::print(file, withSlots()),
            "function [a] = f()\n  a#0 = g(1);\nend\n"
            "function [r] = g(a)\n  r#1 = (a#0 + f);\nend");
}

TEST(VariableResolver, AnonymousFunctionsCaptureWhatTheyRead) {
  ast::SourceFile file = parseFile(
      "function h = f(k)\n"
      "scale = 2;\n"
      "h = @(x) scale * x + k + sin(x);\n"
      "n = @(x) @(y) x + y + scale;\n"
      "c = @() ones;\n"
      "end\n",
      "f.q");
  const ast::Function& f = *file.functions[0];
  ASSERT_EQ(f.body.size(), 4u);
  EXPECT_EQ(ast::print(*f.body[1], withSlots()),
            "h#1 = @(x)[scale#2, k#0] (((scale#1 * x#0) + k#2) + sin(x#0));");
  // The outer anonymous function captures scale only so that the inner one can.
  EXPECT_EQ(ast::print(*f.body[2], withSlots()),
            "n#3 = @(x)[scale#2] @(y)[x#0, scale#1] ((x#1 + y#0) + scale#2);");
  const auto& outer = f.body[2]->as<ast::Assignment>().value->as<ast::AnonymousFunction>();
  EXPECT_EQ(outer.frameSize(), 2u);
  const auto& inner = outer.body->as<ast::AnonymousFunction>();
  ASSERT_EQ(inner.captures.size(), 2u);
  EXPECT_EQ(inner.captures[0].name, "x");
  EXPECT_EQ(inner.captures[0].outerSlot, 0);
  EXPECT_EQ(inner.captures[1].outerSlot, 1);  // scale, in the outer anonymous frame

  const auto& nothing = f.body[3]->as<ast::Assignment>().value->as<ast::AnonymousFunction>();
  EXPECT_TRUE(nothing.captures.empty());
}

TEST(VariableResolver, StandAloneExpressionsHaveNoVariables) {
  ast::ExpressionPtr expression = parseExpression("@(x) x + y", "e.q");
  EXPECT_EQ(ast::print(*expression, withSlots()), "@(x) (x#0 + y)");
  EXPECT_TRUE(expression->as<ast::AnonymousFunction>().captures.empty());
}

struct EndCase {
  const char* source;  // a script
  const char* printed;
};

TEST(VariableResolver, EndRefersToTheIndexedValueAroundIt) {
  const std::vector<EndCase> cases = {
      {"v = 1; v(end)", "v(end<v 1/1>)"},
      {"v = 1; v(1, end)", "v(1, end<v 2/2>)"},
      {"v = 1; v(end, 1, 1)", "v(end<v 1/3>, 1, 1)"},
      {"a = 1; b = 2; a(b(end))", "a(b(end<b 1/1>))"},
      // min is not a variable, so its arguments are not an index: end measures v.
      {"v = 1; v(min(end, 3))", "v(min(end<v 1/1>, 3))"},
      {"v = 1; v(1:min(end, 3), :)", "v((1:min(end<v 1/2>, 3)), :)"},
      // A variable that hides a function is indexed like any other.
      {"v = 1; min = 2; v(min(end))", "v(min(end<min 1/1>))"},
      {"s = 1; s.data{end}(end - 1)",
       "s.data{end<s.data 1/1>}((end<s.data{end<s.data 1/1>} 1/1> - 1))"},
      {"a = 1; a(end).b(end)", "a(end<a 1/1>).b(end<a(end<a 1/1>).b 1/1>)"},
      {"c = 1; c{end}{end}", "c{end<c 1/1>}{end<c{end<c 1/1>} 1/1>}"},
      {"x = 1; x([1 end])", "x([1, end<x 1/1>])"},
      {"x = 1; x(end) = 5;", "x(end<x 1/1>) = 5;"},
      {"f(end)", "f(end<f 1/1>)"},
      {"g = @(w) w(end); x = 1; x(g(end))", "x(g(end<g 1/1>))"},
      {"x = 1; y = @(w) x(w(end));", "y = @(w) x(w(end<w 1/1>));"},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.source);
    ast::SourceFile file = parseFile(c.source, "s.q");
    const ast::StatementList& body = file.functions[0]->body;
    EXPECT_EQ(ast::print(*body.back(), withEnds()), c.printed);
  }
}

TEST(VariableResolver, EndTargetPointsIntoTheTree) {
  ast::SourceFile file = parseFile("a = 1; a(2).b{3, end}", "s.q");
  const auto& index =
      file.functions[0]->body.back()->as<ast::ExpressionStatement>().expression->as<ast::Index>();
  ASSERT_EQ(index.steps.size(), 3u);
  const auto& end = index.steps[2].arguments[1]->as<ast::End>();
  EXPECT_EQ(end.target, &index);
  EXPECT_EQ(end.step, 2u);
  EXPECT_EQ(end.position, 1u);
  EXPECT_EQ(end.count, 2u);
}

}  // namespace
}  // namespace q
