#pragma once
// The built-in functions of Q-code: the pure ones of the operations library (engine/ops), which
// compute on arrays alone, and the ones that need the interpreter (feval, error, disp, figures,
// the runtime functions, ...), which this folder defines.

#include <string>
#include <vector>

#include "engine/ops/operations.hpp"

namespace q {

class Interpreter;
class Value;
using ValueList = std::vector<Value>;

// A built-in that needs the interpreter. It reads inputs (and may move values out of them) and
// appends what it produces to results (which it finds empty); producing fewer values than
// nargout asks for is reported by the caller.
using InterpreterBuiltin = void (*)(Interpreter& interpreter, int nargout, ValueList& results,
                                    ValueList& inputs);

struct InterpreterBuiltinEntry {
  const char* name;
  InterpreterBuiltin function;
};

// Each file that defines interpreter built-ins adds them here.
void addCoreBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addTextOutputBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addFigureBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addRuntimeBuiltins(std::vector<InterpreterBuiltinEntry>& table);

// Every interpreter built-in, sorted by name.
const std::vector<InterpreterBuiltinEntry>& interpreterBuiltins();

}  // namespace q
