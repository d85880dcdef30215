#pragma once
// Maps the names of a function to slots of its frame, once, when the function is parsed.
//
// The rule is static and simple: a name is a variable of a function when the function assigns
// it somewhere (an assignment target, an output of a multiple assignment, a for-loop variable, a
// catch variable, a global or persistent declaration), when it is an input or output, or when it
// is "ans" and the function has an expression statement (whose value goes to ans). Every other
// name is a candidate function to call. Variables made at run time by eval or load are not in
// the frame; the evaluator looks those up by name.
//
// Anonymous functions have a frame of their own: their parameters, then the variables of the
// enclosing frames that their body reads, captured by value when the anonymous function is made.
//
// `end` is resolved to the innermost enclosing index whose object is a value. An index
// f(...) whose base is a name without a slot is a call, so `end` inside it refers further out:
// in v(min(end, 3)), end measures v. When every enclosing index is such a call, end refers to
// the innermost one and the evaluator reports the error if the name turns out to be a function.

#include "engine/ast.hpp"

namespace q {

// Fills function.variables, the input and output slots, every Identifier::slot, the captures of
// every anonymous function and the target of every End in the body.
void resolveVariables(ast::Function& function);

// The same for an expression that stands alone, outside any function: it has no variables.
void resolveVariables(ast::Expression& expression);

}  // namespace q
