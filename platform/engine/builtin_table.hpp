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
void addNumericalBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addFileBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addTextOutputBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addFigureBuiltins(std::vector<InterpreterBuiltinEntry>& table);
void addRuntimeBuiltins(std::vector<InterpreterBuiltinEntry>& table);

// Every interpreter built-in, sorted by name.
const std::vector<InterpreterBuiltinEntry>& interpreterBuiltins();

// For the interpreter built-ins (builtins_core.cpp): the usual errors when a built-in named
// name gets fewer than minimum or more than maximum inputs, or more than maximum outputs are
// asked for.
void requireInputs(const ValueList& inputs, std::size_t minimum, std::size_t maximum,
                   const char* name);
void requireOutputs(int nargout, int maximum, const char* name);
// Records a warning for lastwarn (also when it is turned off) and shows it unless its
// identifier is turned off; true when shown.
bool issueWarning(Interpreter& interpreter, const std::string& identifier,
                  const std::string& message);

}  // namespace q
