#pragma once
// Prints syntax trees back as text, fully parenthesised, for tests and debugging:
// -2^2 prints as (-(2 ^ 2)), a(1, end).b as a(1, end).b, [1 -2] as [1, (-2)].
// Statements print one per line, blocks indented by two spaces, with a ';' where the statement
// does not display its result.

#include <string>

#include "engine/ast.hpp"

namespace q::ast {

struct PrintOptions {
  // Identifiers that are variables print with their slot: x#0. Anonymous functions list their
  // captures: @(x)[k#0] ...
  bool slots = false;
  // `end` prints with what it measures: end<a(1).b 2/3> is the last index of position 2 of 3 in
  // the index of a(1).b.
  bool endTargets = false;
};

std::string print(const Expression& expression, const PrintOptions& options = {});
std::string print(const Statement& statement, const PrintOptions& options = {});
std::string print(const StatementList& statements, const PrintOptions& options = {});
// The declaration line, the body and a closing end; a script prints as its statements.
std::string print(const Function& function, const PrintOptions& options = {});
std::string print(const SourceFile& file, const PrintOptions& options = {});

}  // namespace q::ast
