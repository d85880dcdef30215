// The functions the runtime library calls by name on an instance: globals for the host, user
// data, component data, clearing an instance, the exit check, and the dynamic Java class path.

#include <algorithm>

#include "engine/instance.hpp"
#include "engine/interpreter.hpp"
#include "util/warnings.hpp"

namespace q {

namespace {

void check(const ValueList& inputs, std::size_t count, int nargout, int maximumOutputs,
           const char* name) {
  if (inputs.size() != count) {
    raise(inputs.size() < count ? "Q:NotEnoughInputs" : "Q:TooManyInputs",
          std::string(name) + " takes " + std::to_string(count) + " inputs.");
  }
  if (nargout > maximumOutputs) {
    raise("Q:TooManyOutputs", std::string("Too many output arguments for '") + name + "'.");
  }
}

std::string key(const Value& value, const char* name) {
  if (!isText(value) || value.isEmpty()) {
    raise("Q:invalidInput", std::string(name) + " needs a non-empty text key.");
  }
  return textOf(value, "a key");
}

void builtinGetGlobal(Interpreter& interpreter, int nargout, ValueList& results,
                      ValueList& inputs) {
  check(inputs, 1, nargout, 1, "rtkgetglobal");
  const auto found = interpreter.globals().find(key(inputs[0], "rtkgetglobal"));
  if (found == interpreter.globals().end() || !found->second->isDefined()) {
    results.push_back(Value::adopt(makeEmptyDouble()));
    return;
  }
  results.push_back(*found->second);
}

void builtinSetGlobal(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  check(inputs, 2, nargout, 0, "rtksetglobal");
  *interpreter.global(key(inputs[0], "rtksetglobal")) = std::move(inputs[1]);
}

void builtinSetUserData(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  check(inputs, 2, nargout, 0, "setkvnuserdata");
  interpreter.userData()[key(inputs[0], "setkvnuserdata")] = std::move(inputs[1]);
}

void builtinGetUserData(Interpreter& interpreter, int nargout, ValueList& results,
                        ValueList& inputs) {
  check(inputs, 1, nargout, 1, "getkvnuserdata");
  const auto found = interpreter.userData().find(key(inputs[0], "getkvnuserdata"));
  results.push_back(found == interpreter.userData().end() ? Value::adopt(makeEmptyDouble())
                                                          : found->second);
}

void builtinSetComponentData(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  check(inputs, 3, nargout, 0, "rtksetcomponentdata");
  Interpreter::ComponentData& data = interpreter.componentData();
  data.blobA = inputs[0].isEmpty() ? std::string() : textOf(inputs[0], "component data");
  data.blobB = inputs[1].isEmpty() ? std::string() : textOf(inputs[1], "component data");
  data.folder = inputs[2].isEmpty() ? std::string() : textOf(inputs[2], "a folder");
  data.set = true;
}

void builtinClearAllInstanceData(Interpreter& interpreter, int nargout, ValueList&,
                                 ValueList& inputs) {
  check(inputs, 0, nargout, 0, "rtkclearallinstancedata");
  interpreter.clearAll();
  interpreter.componentData() = Interpreter::ComponentData();
  interpreter.javaClassPath().clear();
}

void builtinIsOkToExit(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  check(inputs, 0, nargout, 1, "rtkisoktoexit");
  // The headless engine runs no event loop that could still hold pending work when a call
  // returns, so leaving is always safe once the figures are gone.
  results.push_back(Value::adopt(makeLogicalScalar(true)));
}

void builtinJavaAddPath(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  if (inputs.empty() || inputs.size() > 2) {
    raise("Q:invalidInput", "javaaddpath takes entries and optionally '-end' or '-begin'.");
  }
  if (nargout > 0) raise("Q:TooManyOutputs", "javaaddpath returns no value.");
  if (interpreter.owner().options().nojvm) {
    raise("Q:noJava", "Java is not used by this instance: javaaddpath is not available.");
  }
  bool atEnd = false;
  if (inputs.size() == 2) {
    const std::string where = lower(textOf(inputs[1], "a position"));
    if (where != "-end" && where != "-begin") {
      raise("Q:invalidInput", "javaaddpath: the position must be '-end' or '-begin'.");
    }
    atEnd = where == "-end";
  }
  std::vector<std::string> entries;
  if (inputs[0].isCell()) {
    const zyArray* cell = inputs[0].array();
    for (std::size_t i = 0; i < cell->numberOfElements(); ++i)
      entries.push_back(textOf(Value::share(zyGetCellConst(cell, i)), "a class path entry"));
  } else {
    entries.push_back(textOf(inputs[0], "a class path entry"));
  }
  std::vector<std::string>& path = interpreter.javaClassPath();
  std::vector<std::string> added;
  for (const std::string& entry : entries) {
    if (std::find(path.begin(), path.end(), entry) != path.end()) {
      static const char kAlreadySpecified[] = "Sorvel:javaclasspath:jarAlreadySpecified";
      if (ut_get_warning_status_id(utGetWarningContext(), kAlreadySpecified)) {
        interpreter.printError("Warning: '" + entry +
                               "' is already on the dynamic Java class path.\n");
      }
      continue;
    }
    added.push_back(entry);
  }
  path.insert(atEnd ? path.end() : path.begin(), added.begin(), added.end());
}

void builtinJavaClassPath(Interpreter& interpreter, int nargout, ValueList& results,
                          ValueList& inputs) {
  if (inputs.size() > 1) raise("Q:TooManyInputs", "javaclasspath takes at most one input.");
  if (nargout > 1) raise("Q:TooManyOutputs", "javaclasspath returns one value.");
  const std::vector<std::string>& path = interpreter.javaClassPath();
  ArrayPtr cell = checked(zyCreateCellMatrix(path.size(), 1));
  for (std::size_t i = 0; i < path.size(); ++i)
    zySetCell(cell.get(), i, makeString(path[i]).release());
  results.push_back(Value::adopt(std::move(cell)));
}

}  // namespace

void addRuntimeBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"getkvnuserdata", builtinGetUserData},
                                {"getkvnuserdatainternal", builtinGetUserData},
                                {"javaaddpath", builtinJavaAddPath},
                                {"javaclasspath", builtinJavaClassPath},
                                {"rtkclearallinstancedata", builtinClearAllInstanceData},
                                {"rtkgetglobal", builtinGetGlobal},
                                {"rtkisoktoexit", builtinIsOkToExit},
                                {"rtksetcomponentdata", builtinSetComponentData},
                                {"rtksetglobal", builtinSetGlobal},
                                {"setkvnuserdata", builtinSetUserData},
                            });
}

}  // namespace q
