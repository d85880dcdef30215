// The built-ins that need the interpreter: calling functions (feval, cellfun, arrayfun),
// handles, errors and warnings, eval, name queries (exist, which, help), timing, random
// numbers, and the workspace (clear, nargin, nargout).

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "engine/array_access.hpp"
#include "engine/dispatcher.hpp"
#include "engine/instance.hpp"
#include "engine/interpreter.hpp"
#include "engine/operators.hpp"
#include "util/warnings.hpp"

namespace q {

void requireInputs(const ValueList& inputs, std::size_t minimum, std::size_t maximum,
                   const char* name) {
  if (inputs.size() < minimum) {
    raise("Q:NotEnoughInputs", std::string("Not enough input arguments for '") + name + "'.");
  }
  if (inputs.size() > maximum) {
    raise("Q:TooManyInputs", std::string("Too many input arguments for '") + name + "'.");
  }
}

void requireOutputs(int nargout, int maximum, const char* name) {
  if (nargout > maximum) {
    raise("Q:TooManyOutputs", std::string("Too many output arguments for '") + name + "'.");
  }
}

bool issueWarning(Interpreter& interpreter, const std::string& identifier,
                  const std::string& message) {
  // lastwarn records a warning whether it is shown or not, so that code can turn a warning off
  // and still find out that it happened.
  interpreter.lastWarning() = message;
  interpreter.lastWarningId() = identifier;
  if (!ut_get_warning_status_id(utGetWarningContext(),
                                identifier.empty() ? nullptr : identifier.c_str())) {
    return false;
  }
  interpreter.printError("Warning: " + message + "\n");
  return true;
}

namespace {

Value text(const std::string& utf8) { return Value::adopt(makeString(utf8)); }
Value logical(bool value) { return Value::adopt(makeLogicalScalar(value)); }

// An error identifier: two or more words joined by ':', each of letters, digits, '_' and '-',
// the first starting with a letter ("my:id", "Q:badsubscript").
bool looksLikeIdentifier(const std::string& text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  int colons = 0;
  bool wordEmpty = false;
  for (char c : text) {
    if (c == ':') {
      if (wordEmpty) return false;
      ++colons;
      wordEmpty = true;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') {
      wordEmpty = false;
    } else {
      return false;
    }
  }
  return colons > 0 && !wordEmpty;
}

// sprintf through the operations library, for error(), warning(), assert() and fprintf().
std::string format(Interpreter& interpreter, ValueList arguments) {
  const TargetPtr sprintf = interpreter.dispatcher().findBuiltin("sprintf");
  if (!sprintf) raise("Q:undefined", "sprintf is not available.");
  ValueList results;
  interpreter.call(*sprintf, 1, arguments, results);
  return results.empty() ? std::string() : textOf(results[0], "the formatted text");
}

// The message of error(...)/warning(...)/assert(...) arguments starting at first: an optional
// identifier, then a format and its values. One text alone is taken literally.
void messageArguments(Interpreter& interpreter, ValueList& inputs, std::size_t first,
                      std::string& identifier, std::string& message) {
  const std::size_t count = inputs.size() - first;
  if (count == 0) return;
  if (count == 1) {
    message = textOf(inputs[first], "a message");
    return;
  }
  std::size_t formatIndex = first;
  const std::string head = textOf(inputs[first], "a message");
  if (looksLikeIdentifier(head)) {
    identifier = head;
    ++formatIndex;
  }
  ValueList arguments(std::make_move_iterator(inputs.begin() + formatIndex),
                      std::make_move_iterator(inputs.end()));
  // A format is processed (escapes, %%) even without values.
  message = format(interpreter, std::move(arguments));
}

std::vector<rtkSorvelStackLine> stackFromStruct(const zyArray* stack) {
  std::vector<rtkSorvelStackLine> lines;
  if (!stack || zyGetClassID(stack) != zySTRUCT_CLASS) return lines;
  for (std::size_t i = 0; i < zyGetNumberOfElements(stack); ++i) {
    rtkSorvelStackLine line;
    if (const zyArray* file = zyGetFieldConst(stack, i, "file")) {
      if (zyIsChar(file)) line.file = matrix::get_string(file);
    }
    if (const zyArray* name = zyGetFieldConst(stack, i, "name")) {
      if (zyIsChar(name)) line.function = matrix::get_string(name);
    }
    if (const zyArray* number = zyGetFieldConst(stack, i, "line")) {
      if (zyIsDouble(number) && zyGetNumberOfElements(number) == 1) {
        line.line = static_cast<int>(*static_cast<const double*>(zyGetDataConst(number)));
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string fieldText(const zyArray* structure, const char* field) {
  const zyArray* value = zyGetFieldConst(structure, 0, field);
  return value && zyIsChar(value) ? matrix::get_string(value) : std::string();
}

// The innermost activation of a function (not a script or eval text).
const Activation* functionActivation(Interpreter& interpreter) {
  for (const Activation* activation = interpreter.current(); activation;
       activation = activation->caller) {
    if (!activation->scriptLike) return activation;
  }
  return nullptr;
}

// ---- Calling ----

void builtinFeval(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, SIZE_MAX, "feval");
  const Value function = std::move(inputs[0]);
  ValueList arguments(std::make_move_iterator(inputs.begin() + 1),
                      std::make_move_iterator(inputs.end()));
  interpreter.callFunction(function, nargout, arguments, results);
}

struct MapOptions {
  bool uniform = true;
  Value errorHandler;
};

// Splits trailing 'UniformOutput', tf and 'ErrorHandler', h from the inputs.
MapOptions mapOptions(ValueList& inputs, std::size_t first) {
  MapOptions options;
  while (inputs.size() >= first + 2) {
    const Value& name = inputs[inputs.size() - 2];
    if (!isText(name)) break;
    const std::string option = lower(textOf(name, "an option"));
    if (option == "uniformoutput") {
      options.uniform = truth(inputs.back());
    } else if (option == "errorhandler") {
      options.errorHandler = inputs.back();
    } else {
      break;
    }
    inputs.pop_back();
    inputs.pop_back();
  }
  return options;
}

// Calls function once per element; element(k, i) gives argument k for element i.
template <typename Element>
void mapElements(Interpreter& interpreter, int nargout, ValueList& results, const Value& function,
                 const MapOptions& options, std::size_t arguments, const Dims& dims,
                 Element element, const char* name) {
  const std::size_t count = countOf(dims);
  const int outputs = std::max(nargout, 1);
  std::vector<ValueList> collected(static_cast<std::size_t>(outputs));
  for (auto& list : collected) list.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ValueList callArguments;
    callArguments.reserve(arguments);
    for (std::size_t k = 0; k < arguments; ++k) callArguments.push_back(element(k, i));
    ValueList values;
    try {
      interpreter.callFunction(function, nargout, callArguments, values);
    } catch (QError& error) {
      if (!options.errorHandler.isDefined() || interpreter.stopping()) throw;
      const char* fields[] = {"identifier", "message", "index"};
      ArrayPtr info = checked(zyCreateStructMatrix(1, 1, 3, fields));
      zySetField(info.get(), 0, "identifier", makeString(error.identifier()).release());
      zySetField(info.get(), 0, "message", makeString(error.message()).release());
      zySetField(info.get(), 0, "index", checked(zyCreateDoubleScalar(i + 1.0)).release());
      ValueList handlerArguments;
      handlerArguments.push_back(Value::adopt(std::move(info)));
      for (std::size_t k = 0; k < arguments; ++k) handlerArguments.push_back(element(k, i));
      values.clear();
      interpreter.callFunction(options.errorHandler, nargout, handlerArguments, values);
    }
    if (nargout == 0 && values.empty()) continue;
    if (static_cast<int>(values.size()) < outputs) {
      raise("Q:TooManyOutputs",
            std::string("The function given to ") + name + " returned too few values.");
    }
    for (int o = 0; o < outputs; ++o) {
      if (options.uniform && values[o].numberOfElements() != 1) {
        raise("Q:nonUniformOutput",
              std::string(name) + ": the value for element " + std::to_string(i + 1) + ", output " +
                  std::to_string(o + 1) + " is not a scalar; set 'UniformOutput' to false.");
      }
      collected[o].push_back(std::move(values[o]));
    }
  }
  for (int o = 0; o < outputs; ++o) {
    ValueList& list = collected[o];
    if (nargout == 0 && list.size() != count) break;
    if (!options.uniform) {
      ArrayPtr cell = checked(zyCreateCellArray(dims.size(), dims.data()));
      for (std::size_t i = 0; i < list.size(); ++i)
        zySetCell(cell.get(), i, list[i].release().release());
      results.push_back(Value::adopt(std::move(cell)));
      continue;
    }
    if (count == 0) {
      results.push_back(Value::adopt(
          checked(zyCreateNumericArray(dims.size(), dims.data(), zyDOUBLE_CLASS, zyREAL))));
      continue;
    }
    std::vector<ValueList> row(1);
    row[0] = std::move(list);
    for (const Value& value : row[0]) {
      if (value.isCell() || value.isStruct() || value.isFunctionHandle()) {
        raise("Q:nonUniformOutput", std::string(name) +
                                        ": uniform output must be numeric, logical or char; set "
                                        "'UniformOutput' to false.");
      }
    }
    Value joined = concatenateLiteral(row);
    if (joined.isArray()) {
      zySetDimensions(joined.mutableArray(), dims.data(), dims.size());
    }
    results.push_back(std::move(joined));
  }
}

void builtinCellfun(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, SIZE_MAX, "cellfun");
  const MapOptions options = mapOptions(inputs, 2);
  const Value function = inputs[0];
  const std::size_t arguments = inputs.size() - 1;
  Dims dims;
  for (std::size_t k = 1; k < inputs.size(); ++k) {
    if (!inputs[k].isCell()) raise("Q:invalidInput", "cellfun works on cell arrays.");
    const Dims these = dimsOf(inputs[k]);
    if (k == 1) {
      dims = these;
    } else if (these != dims) {
      raise("Q:sizeMismatch", "All the cell arrays given to cellfun must have the same size.");
    }
  }
  mapElements(
      interpreter, nargout, results, function, options, arguments, dims,
      [&](std::size_t k, std::size_t i) {
        return Value::share(zyGetCellConst(inputs[k + 1].array(), i));
      },
      "cellfun");
}

// structfun(f, s): f of each field value of the struct s, in field order: a column of the
// results, or with 'UniformOutput', false a struct of them with s's fields.
void builtinStructfun(Interpreter& interpreter, int nargout, ValueList& results,
                      ValueList& inputs) {
  requireInputs(inputs, 2, SIZE_MAX, "structfun");
  const MapOptions options = mapOptions(inputs, 2);
  if (inputs.size() != 2) raise("Q:invalidInput", "structfun takes one struct.");
  if (!inputs[1].isStruct() || inputs[1].numberOfElements() != 1) {
    raise("Q:invalidInput", "structfun works on a 1-by-1 struct.");
  }
  const zyArray* structure = inputs[1].array();
  const int fields = zyGetNumberOfFields(structure);
  const Dims dims{static_cast<std::size_t>(fields), 1};
  mapElements(
      interpreter, nargout, results, inputs[0], options, 1, dims,
      [&](std::size_t, std::size_t i) {
        const char* name = zyGetFieldNameByNumber(structure, static_cast<int>(i));
        return Value::share(zyGetFieldConst(structure, 0, name));
      },
      "structfun");
  if (options.uniform) return;
  // Each cell of results becomes a struct with the same fields.
  std::vector<const char*> names;
  for (int f = 0; f < fields; ++f) names.push_back(zyGetFieldNameByNumber(structure, f));
  for (Value& result : results) {
    ArrayPtr out = checked(zyCreateStructMatrix(1, 1, fields, names.data()));
    for (int f = 0; f < fields; ++f) {
      const zyArray* element = zyGetCellConst(result.array(), static_cast<std::size_t>(f));
      if (element) {
        zySetFieldByNumber(out.get(), 0, f, checked(zyCreateSharedDataCopy(element)).release());
      }
    }
    result = Value::adopt(std::move(out));
  }
}

void builtinArrayfun(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, SIZE_MAX, "arrayfun");
  const MapOptions options = mapOptions(inputs, 2);
  const Value function = inputs[0];
  const std::size_t arguments = inputs.size() - 1;
  Dims dims;
  for (std::size_t k = 1; k < inputs.size(); ++k) {
    const Dims these = dimsOf(inputs[k]);
    if (k == 1) {
      dims = these;
    } else if (these != dims) {
      raise("Q:sizeMismatch", "All the arrays given to arrayfun must have the same size.");
    }
  }
  mapElements(
      interpreter, nargout, results, function, options, arguments, dims,
      [&](std::size_t k, std::size_t i) {
        const Value& input = inputs[k + 1];
        double scalar;
        if (input.isScalar()) return input;
        if (input.isArray() && input.array()->classId() == zyDOUBLE_CLASS &&
            !input.array()->isComplex() && !input.array()->isSparse()) {
          scalar = input.array()->elements<double>()[i];
          return Value(scalar);
        }
        ValueList index;
        index.push_back(Value(static_cast<double>(i + 1)));
        return interpreter.indexParen(input, index);
      },
      "arrayfun");
}

void builtinFunc2str(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "func2str");
  requireOutputs(nargout, 1, "func2str");
  const FunctionHandleData* handle =
      functionHandleOf(inputs[0].isArray() ? inputs[0].array() : nullptr);
  if (!handle) raise("Q:invalidInput", "func2str needs a function handle.");
  results.push_back(text(handle->text));
}

void builtinStr2func(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "str2func");
  requireOutputs(nargout, 1, "str2func");
  results.push_back(interpreter.handleFromText(textOf(inputs[0], "a function name")));
}

void builtinDeal(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, SIZE_MAX, "deal");
  const std::size_t wanted = static_cast<std::size_t>(std::max(nargout, 1));
  if (inputs.size() == 1) {
    for (std::size_t i = 0; i < wanted; ++i) results.push_back(inputs[0]);
    return;
  }
  if (inputs.size() != wanted) {
    raise("Q:invalidInput", "deal needs one input, or as many inputs as outputs.");
  }
  for (Value& input : inputs) results.push_back(std::move(input));
}

// ---- Errors and warnings ----

void builtinError(Interpreter& interpreter, int, ValueList&, ValueList& inputs) {
  if (inputs.empty()) return;
  if (inputs.size() == 1 && inputs[0].isStruct()) {
    const zyArray* structure = inputs[0].array();
    if (zyGetNumberOfElements(structure) == 0) return;
    const std::string message = fieldText(structure, "message");
    if (message.empty()) return;
    QError error(fieldText(structure, "identifier"), message);
    const zyArray* stack = zyGetFieldConst(structure, 0, "stack");
    if (stack && zyGetNumberOfElements(stack) > 0) error.setStack(stackFromStruct(stack));
    throw error;
  }
  std::string identifier, message;
  messageArguments(interpreter, inputs, 0, identifier, message);
  if (message.empty() && inputs.size() == 1) return;
  throw QError(identifier, message);
}

void builtinRethrow(Interpreter&, int, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "rethrow");
  if (!inputs[0].isStruct()) raise("Q:invalidInput", "rethrow needs an error struct.");
  const zyArray* structure = inputs[0].array();
  QError error(fieldText(structure, "identifier"), fieldText(structure, "message"));
  error.setStack(stackFromStruct(zyGetFieldConst(structure, 0, "stack")));
  throw error;
}

// MException(identifier, format, values...): the error struct a catch would give for that
// error, with no stack yet; throw raises it as error(struct) does, getReport gives its message.
void builtinMException(Interpreter& interpreter, int nargout, ValueList& results,
                       ValueList& inputs) {
  requireInputs(inputs, 2, SIZE_MAX, "MException");
  requireOutputs(nargout, 1, "MException");
  const std::string identifier = textOf(inputs[0], "an identifier");
  if (!looksLikeIdentifier(identifier)) {
    raise("Q:invalidInput", "MException: the identifier must be words joined by ':'.");
  }
  ValueList arguments(std::make_move_iterator(inputs.begin() + 1),
                      std::make_move_iterator(inputs.end()));
  const std::string message = format(interpreter, std::move(arguments));
  results.push_back(Interpreter::errorStruct(QError(identifier, message)));
}

void builtinThrow(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "throw");
  if (!inputs[0].isStruct() || inputs[0].numberOfElements() != 1) {
    raise("Q:invalidInput", "throw needs an error made by MException or caught.");
  }
  builtinError(interpreter, nargout, results, inputs);
}

void builtinGetReport(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "getReport");
  requireOutputs(nargout, 1, "getReport");
  if (!inputs[0].isStruct() || inputs[0].numberOfElements() != 1) {
    raise("Q:invalidInput", "getReport needs an error struct.");
  }
  results.push_back(text(fieldText(inputs[0].array(), "message")));
}

void builtinLasterr(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "lasterr");
  requireOutputs(nargout, 1, "lasterr");
  results.push_back(text(interpreter.lastError()));
  if (!inputs.empty()) interpreter.lastError() = textOf(inputs[0], "a message");
}

Value warningState(const std::string& identifier) {
  const char* fields[] = {"identifier", "state"};
  ArrayPtr state = checked(zyCreateStructMatrix(1, 1, 2, fields));
  const int enabled = ut_get_warning_status_id(utGetWarningContext(),
                                               identifier == "all" ? nullptr : identifier.c_str());
  zySetField(state.get(), 0, "identifier", makeString(identifier).release());
  zySetField(state.get(), 0, "state", makeString(enabled ? "on" : "off").release());
  return Value::adopt(std::move(state));
}

void builtinWarning(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireOutputs(nargout, 1, "warning");
  if (inputs.empty()) {
    if (nargout > 0) results.push_back(warningState("all"));
    return;
  }
  if (inputs[0].isStruct()) {
    // Restores states saved by warning('query', ...) or returned by warning('off', ...).
    const zyArray* saved = inputs[0].array();
    for (std::size_t i = 0; i < zyGetNumberOfElements(saved); ++i) {
      const zyArray* identifier = zyGetFieldConst(saved, i, "identifier");
      const zyArray* state = zyGetFieldConst(saved, i, "state");
      if (!identifier || !state || !zyIsChar(identifier) || !zyIsChar(state)) {
        raise("Q:invalidInput", "A warning state struct needs the fields identifier and state.");
      }
      ut_set_warning_status_id(utGetWarningContext(), matrix::get_string(identifier).c_str(),
                               matrix::get_string(state) == "on" ? 1 : 0);
    }
    return;
  }
  const std::string first = textOf(inputs[0], "a warning argument");
  const std::string word = lower(first);
  if (word == "on" || word == "off" || word == "query") {
    requireInputs(inputs, 1, 2, "warning");
    const std::string identifier =
        inputs.size() == 2 ? textOf(inputs[1], "a warning identifier") : std::string("all");
    Value previous = warningState(identifier);
    if (word != "query") {
      ut_set_warning_status_id(utGetWarningContext(), identifier.c_str(), word == "on" ? 1 : 0);
    } else if (nargout == 0) {
      interpreter.print(
          "Warning '" + identifier + "' is " +
          (ut_get_warning_status_id(utGetWarningContext(),
                                    identifier == "all" ? nullptr : identifier.c_str())
               ? "on"
               : "off") +
          ".\n");
    }
    if (nargout > 0) results.push_back(std::move(previous));
    return;
  }
  std::string identifier, message;
  messageArguments(interpreter, inputs, 0, identifier, message);
  if (!issueWarning(interpreter, identifier, message)) return;
  if (nargout > 0) results.push_back(text(message));
}

void builtinLastwarn(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 2, "lastwarn");
  requireOutputs(nargout, 2, "lastwarn");
  // lastwarn(message) and lastwarn(message, identifier) set them, after giving the old ones.
  results.push_back(text(interpreter.lastWarning()));
  if (nargout > 1) results.push_back(text(interpreter.lastWarningId()));
  if (!inputs.empty()) {
    interpreter.lastWarning() = textOf(inputs[0], "a warning message");
    interpreter.lastWarningId() =
        inputs.size() > 1 ? textOf(inputs[1], "a warning identifier") : std::string();
  }
}

void builtinAssert(Interpreter& interpreter, int, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, SIZE_MAX, "assert");
  const Value& condition = inputs[0];
  bool holds;
  if (condition.isScalar()) {
    holds = condition.scalar() != 0 && !std::isnan(condition.scalar());
  } else {
    holds = condition.isDefined() && !condition.isEmpty() && truth(condition);
  }
  if (holds) return;
  if (inputs.size() == 1) throw QError("Q:assertionFailed", "Assertion failed.");
  std::string identifier, message;
  messageArguments(interpreter, inputs, 1, identifier, message);
  throw QError(identifier, message);
}

// ---- Eval and names ----

void builtinEval(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "eval");
  const std::string code = textOf(inputs[0], "the text to evaluate");
  if (inputs.size() == 1) {
    interpreter.evalText(code, true, nargout, &results);
    return;
  }
  const std::string fallback = textOf(inputs[1], "the text to evaluate on error");
  try {
    interpreter.evalText(code, true, nargout, &results);
  } catch (const QError& error) {
    if (interpreter.stopping()) throw;
    interpreter.lastError() = error.message();
    results.clear();
    interpreter.evalText(fallback, true, nargout, &results);
  }
}

int existCode(Interpreter& interpreter, const std::string& name, const std::string& type) {
  if (type.empty() || type == "var") {
    Value* variable = interpreter.callerWorkspace().find(name);
    if (variable && variable->isDefined()) return kExistVariable;
    if (type == "var") return kExistNone;
  }
  const LoadedFile* context = interpreter.current() ? interpreter.current()->file : nullptr;
  if (type.empty() || type == "file") {
    Qdispatcher::FileMatch match;
    if (interpreter.dispatcher().findFile(name, context, match)) return match.kind;
    struct stat info;
    if (name.find('/') != std::string::npos && stat(name.c_str(), &info) == 0) {
      return S_ISDIR(info.st_mode) ? kExistFolder : kExistFile;
    }
  }
  if (type.empty() || type == "builtin") {
    if (interpreter.dispatcher().findBuiltin(name) || interpreter.dispatcher().isExternal(name)) {
      return kExistBuiltin;
    }
  }
  if (type.empty() || type == "dir" || type == "file") {
    struct stat info;
    if (stat(name.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) return kExistFolder;
      // Any file on disk by its name (relative to the current folder), after the functions.
      if (type != "dir") return kExistFile;
    }
  }
  return kExistNone;
}

void builtinExist(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "exist");
  requireOutputs(nargout, 1, "exist");
  const std::string name = textOf(inputs[0], "a name");
  const std::string type = inputs.size() == 2 ? lower(textOf(inputs[1], "a type")) : "";
  if (!type.empty() && type != "var" && type != "file" && type != "dir" && type != "builtin") {
    raise("Q:invalidInput", "exist: the type must be 'var', 'file', 'dir' or 'builtin'.");
  }
  results.push_back(Value(static_cast<double>(existCode(interpreter, name, type))));
}

void builtinWhich(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "which");
  requireOutputs(nargout, 1, "which");
  const std::string name = textOf(inputs[0], "a name");
  std::string answer;
  Value* variable = interpreter.callerWorkspace().find(name);
  const LoadedFile* context = interpreter.current() ? interpreter.current()->file : nullptr;
  Qdispatcher::FileMatch match;
  if (variable && variable->isDefined()) {
    answer = name + " is a variable.";
  } else if (interpreter.dispatcher().isExternal(name)) {
    answer = "built-in (" + name + ")";
  } else if (interpreter.dispatcher().findFile(name, context, match)) {
    answer = match.path;
  } else if (interpreter.dispatcher().findBuiltin(name)) {
    answer = "built-in (" + name + ")";
  }
  if (nargout == 0) {
    interpreter.print((answer.empty() ? "'" + name + "' not found." : answer) + "\n");
    return;
  }
  results.push_back(text(answer));
}

void builtinHelp(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "help");
  requireOutputs(nargout, 1, "help");
  const std::string name = textOf(inputs[0], "a name");
  const LoadedFile* context = interpreter.current() ? interpreter.current()->file : nullptr;
  std::string help;
  Qdispatcher::FileMatch match;
  if (interpreter.dispatcher().findFile(name, context, match) && match.kind != kExistNative) {
    help = interpreter.dispatcher().load(match.path)->tree.functions[0]->helpText;
  } else if (interpreter.dispatcher().findBuiltin(name)) {
    help = " " + name + " is a built-in function.\n";
  }
  if (nargout == 0) {
    interpreter.print(help.empty() ? "No help found for " + name + ".\n" : help);
    return;
  }
  results.push_back(text(help));
}

void builtinClear(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireOutputs(nargout, 0, "clear");
  Workspace& workspace = interpreter.callerWorkspace();
  if (inputs.empty()) {
    for (const std::string& name : workspace.names()) workspace.find(name)->reset();
    return;
  }
  for (const Value& input : inputs) {
    const std::string name = textOf(input, "a variable name");
    if (name == "all" || name == "global" || name == "variables") {
      for (const std::string& variable : workspace.names()) workspace.find(variable)->reset();
      if (name != "variables") {
        for (auto& entry : interpreter.globals()) entry.second->reset();
        interpreter.globals().clear();
      }
      if (name == "all") interpreter.clearPersistents();
      continue;
    }
    // Files are reloaded when they change anyway; clearing functions resets their persistents.
    if (name == "functions") {
      interpreter.clearPersistents();
      continue;
    }
    if (Value* variable = workspace.find(name)) variable->reset();
    const LoadedFile* context = interpreter.current() ? interpreter.current()->file : nullptr;
    const TargetPtr target = interpreter.resolve(name, context);
    if (target && target->kind == Target::Kind::User) {
      interpreter.clearPersistents(target->file.get());
    }
  }
}

// nargin(f) and nargout(f): the number of inputs (outputs) f declares, for a function name or
// handle; negative, counting varargin (varargout) too, when it takes (returns) any number.
// Built-ins, host callbacks and native extensions declare nothing: -1.
double declaredCount(Interpreter& interpreter, const Value& function, bool outputs) {
  const char* what = outputs ? "nargout" : "nargin";
  std::string name;
  const LoadedFile* context = interpreter.current() ? interpreter.current()->file : nullptr;
  if (function.isFunctionHandle()) {
    const FunctionHandleData* handle = functionHandleOf(function.array());
    if (handle->anonymous) {
      // An anonymous function gives one value, or a list when its body is one: -1.
      if (outputs) return -1;
      const double count = static_cast<double>(handle->anonymous->parameters.size());
      return handle->anonymous->varargin ? -count : count;
    }
    name = handle->name;
    context = handle->context.get();
  } else if (isText(function)) {
    name = textOf(function, "a function name");
  } else {
    raise("Q:invalidInput", std::string(what) + " needs a function name or a function handle.");
  }
  const TargetPtr target = interpreter.resolve(name, context);
  if (!target || target->kind == Target::Kind::None) {
    raise("Q:undefined", "Undefined function '" + name + "'.");
  }
  if (target->kind != Target::Kind::User) return -1;
  const ast::Function& declared = *target->file->tree.functions[target->functionIndex];
  if (declared.isScript) {
    raise("Q:invalidInput", "'" + name + "' is a script and declares no " +
                                (outputs ? "outputs." : "inputs."));
  }
  const bool rest = outputs ? declared.varargout : declared.varargin;
  const double count = static_cast<double>(outputs ? declared.outputs.size()
                                                   : declared.inputs.size());
  return rest ? -(count + 1) : count;
}

void builtinNargin(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "nargin");
  requireOutputs(nargout, 1, "nargin");
  if (!inputs.empty()) {
    results.push_back(Value(declaredCount(interpreter, inputs[0], false)));
    return;
  }
  const Activation* activation = functionActivation(interpreter);
  if (!activation) raise("Q:notInFunction", "nargin is only valid inside a function.");
  results.push_back(Value(static_cast<double>(activation->nargin)));
}

void builtinNargout(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "nargout");
  requireOutputs(nargout, 1, "nargout");
  if (!inputs.empty()) {
    results.push_back(Value(declaredCount(interpreter, inputs[0], true)));
    return;
  }
  const Activation* activation = functionActivation(interpreter);
  if (!activation) raise("Q:notInFunction", "nargout is only valid inside a function.");
  results.push_back(Value(static_cast<double>(activation->nargout)));
}

void builtinFormat(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "format");
  requireOutputs(nargout, 0, "format");
  const std::string style = inputs.empty() ? "short" : lower(textOf(inputs[0], "a format"));
  if (style == "short") {
    interpreter.displayFormat() = zy::DisplayFormat::Short;
  } else if (style == "long") {
    interpreter.displayFormat() = zy::DisplayFormat::Long;
  } else {
    raise("Q:invalidInput", "format: the style must be 'short' or 'long'.");
  }
}

void builtinIsdeployed(Interpreter& interpreter, int nargout, ValueList& results,
                       ValueList& inputs) {
  requireInputs(inputs, 0, 0, "isdeployed");
  requireOutputs(nargout, 1, "isdeployed");
  results.push_back(logical(interpreter.owner().options().deployed));
}

void builtinCtfroot(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 0, "ctfroot");
  requireOutputs(nargout, 1, "ctfroot");
  const kvnOptions& options = interpreter.owner().options();
  std::string root = interpreter.componentData().folder;
  if (root.empty()) root = options.toolbox_prefix();
  if (root.empty()) root = options.bin_arch_dir;
  results.push_back(text(root));
}

// ---- Time ----

void builtinTic(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 0, "tic");
  requireOutputs(nargout, 1, "tic");
  interpreter.ticTime() = std::chrono::steady_clock::now();
  if (nargout > 0) {
    ArrayPtr stamp = checked(zyCreateNumericMatrix(1, 1, zyUINT64_CLASS, zyREAL));
    *static_cast<std::uint64_t*>(zyGetData(stamp.get())) =
        static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       interpreter.ticTime().time_since_epoch())
                                       .count());
    results.push_back(Value::adopt(std::move(stamp)));
  }
}

void builtinToc(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "toc");
  requireOutputs(nargout, 1, "toc");
  std::chrono::steady_clock::time_point start = interpreter.ticTime();
  if (inputs.size() == 1) {
    ArrayPtr holder;
    const zyArray* stamp = inputs[0].view(holder);
    if (stamp->classId() != zyUINT64_CLASS || stamp->numberOfElements() != 1) {
      raise("Q:invalidInput", "toc needs a value returned by tic.");
    }
    start = std::chrono::steady_clock::time_point(
        std::chrono::microseconds(*stamp->elements<std::uint64_t>()));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (nargout == 0) {
    char line[64];
    std::snprintf(line, sizeof line, "Elapsed time is %.6f seconds.\n", seconds);
    interpreter.print(line);
    return;
  }
  results.push_back(Value(seconds));
}

void builtinPause(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 0, 1, "pause");
  requireOutputs(nargout, 0, "pause");
  // Without a window system there is no key press to wait for: pause() returns at once.
  if (inputs.empty()) return;
  double seconds;
  if (!inputs[0].asRealDouble(seconds) || !(seconds >= 0) || std::isinf(seconds)) {
    raise("Q:invalidInput", "pause needs a finite, non-negative number of seconds.");
  }
  interpreter.sleep(seconds);
}

// ---- Random numbers ----

Dims sizeFromArguments(ValueList& inputs, zyClassID& classId, const char* name) {
  classId = zyDOUBLE_CLASS;
  if (!inputs.empty() && isText(inputs.back())) {
    const std::string className = lower(textOf(inputs.back(), "a class name"));
    if (className == "single") {
      classId = zySINGLE_CLASS;
    } else if (className != "double") {
      raise("Q:invalidInput", std::string(name) + ": the class must be 'double' or 'single'.");
    }
    inputs.pop_back();
  }
  auto size = [&](const Value& value) -> std::size_t {
    double number;
    if (!value.asRealDouble(number) || std::isnan(number) || number != std::floor(number)) {
      raise("Q:invalidInput", std::string(name) + ": sizes must be whole numbers.");
    }
    if (number >= 9.0e15) {
      raise("Q:outOfMemory", std::string(name) + ": the requested array is too large.");
    }
    return number < 0 ? 0 : static_cast<std::size_t>(number);
  };
  if (inputs.empty()) return {1, 1};
  if (inputs.size() == 1) {
    if (inputs[0].numberOfElements() == 1) {
      const std::size_t n = size(inputs[0]);
      return {n, n};
    }
    ArrayPtr holder;
    ArrayPtr sizes = convertArray(inputs[0].view(holder), zyDOUBLE_CLASS);
    Dims dims;
    for (std::size_t i = 0; i < sizes->numberOfElements(); ++i)
      dims.push_back(size(Value(sizes->elements<double>()[i])));
    return normalized(dims);
  }
  Dims dims;
  for (const Value& input : inputs) dims.push_back(size(input));
  return normalized(dims);
}

template <typename Distribution>
void randomArray(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs,
                 Distribution distribution, const char* name) {
  requireOutputs(nargout, 1, name);
  zyClassID classId;
  const Dims dims = sizeFromArguments(inputs, classId, name);
  if (countOf(dims) == 1 && classId == zyDOUBLE_CLASS) {
    results.push_back(Value(distribution(interpreter.random())));
    return;
  }
  ArrayPtr array = createArray(classId, dims, false, {});
  const std::size_t count = array->numberOfElements();
  if (classId == zySINGLE_CLASS) {
    auto* data = static_cast<float*>(zyGetData(array.get()));
    for (std::size_t i = 0; i < count; ++i)
      data[i] = static_cast<float>(distribution(interpreter.random()));
  } else {
    double* data = zyGetPr(array.get());
    for (std::size_t i = 0; i < count; ++i) data[i] = distribution(interpreter.random());
  }
  results.push_back(Value::adopt(std::move(array)));
}

void builtinRand(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  randomArray(interpreter, nargout, results, inputs,
              std::uniform_real_distribution<double>(0.0, 1.0), "rand");
}

void builtinRandn(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  randomArray(interpreter, nargout, results, inputs, std::normal_distribution<double>(0.0, 1.0),
              "randn");
}

void builtinRng(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  requireInputs(inputs, 1, 1, "rng");
  requireOutputs(nargout, 0, "rng");
  double seed;
  if (!inputs[0].asRealDouble(seed) || seed < 0 || seed != std::floor(seed)) {
    raise("Q:invalidInput", "rng needs a non-negative whole seed.");
  }
  interpreter.random().seed(static_cast<std::uint64_t>(seed));
}

// randi(imax, size...) and randi([lo, hi], size...): whole numbers drawn evenly from 1..imax or
// lo..hi, as doubles.
void builtinRandi(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, SIZE_MAX, "randi");
  ArrayPtr holder;
  const zyArray* given = inputs[0].view(holder);
  const std::size_t bounds = given->numberOfElements();
  const zyClassID cls = given->classId();
  if (cls < zyDOUBLE_CLASS || cls > zyUINT64_CLASS || (bounds != 1 && bounds != 2) ||
      given->isComplex()) {
    raise("Q:invalidInput", "randi: the range is imax or [imin, imax].");
  }
  const ArrayPtr range = convertArray(fullArray(given).get(), zyDOUBLE_CLASS);
  const double* ends = zyGetPr(range.get());
  const double lo = bounds == 2 ? ends[0] : 1, hi = ends[bounds - 1];
  if (lo != std::floor(lo) || hi != std::floor(hi) || lo > hi || hi - lo >= 9007199254740992.0) {
    raise("Q:invalidInput", "randi: the range must be whole numbers with imin <= imax.");
  }
  ValueList sizes(inputs.begin() + 1, inputs.end());
  randomArray(interpreter, nargout, results, sizes,
              std::uniform_int_distribution<std::int64_t>(static_cast<std::int64_t>(lo),
                                                         static_cast<std::int64_t>(hi)),
              "randi");
}

// randperm(n) and randperm(n, k): the numbers 1..n in random order (the first k of them), a row.
void builtinRandperm(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 1, 2, "randperm");
  requireOutputs(nargout, 1, "randperm");
  double n, k;
  if (!inputs[0].asRealDouble(n) || n < 0 || n != std::floor(n) || n > 1e9) {
    raise("Q:invalidInput", "randperm: n must be a nonnegative whole number.");
  }
  k = n;
  if (inputs.size() > 1 && (!inputs[1].asRealDouble(k) || k < 0 || k > n || k != std::floor(k))) {
    raise("Q:invalidInput", "randperm: k must be a whole number from 0 to n.");
  }
  std::vector<double> numbers(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<double>(i + 1);
  // The first k places of a Fisher-Yates shuffle.
  for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
    std::uniform_int_distribution<std::size_t> pick(i, numbers.size() - 1);
    std::swap(numbers[i], numbers[pick(interpreter.random())]);
  }
  ArrayPtr row = checked(zyCreateDoubleMatrix(1, static_cast<std::size_t>(k), zyREAL));
  std::copy(numbers.begin(), numbers.begin() + static_cast<std::ptrdiff_t>(k), zyGetPr(row.get()));
  results.push_back(Value::adopt(std::move(row)));
}

// ---- Checks of the caller's argument counts ----

// narginchk(lo, hi) and nargoutchk(lo, hi): an error unless the calling function was given
// (asked for) at least lo and at most hi arguments (hi may be Inf).
template <bool outputs>
void builtinCountCheck(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  const char* name = outputs ? "nargoutchk" : "narginchk";
  requireInputs(inputs, 2, 2, name);
  requireOutputs(nargout, 0, name);
  double lo, hi;
  if (!inputs[0].asRealDouble(lo) || !inputs[1].asRealDouble(hi) || lo < 0 || hi < lo ||
      lo != std::floor(lo)) {
    raise("Q:invalidInput", std::string(name) + ": the limits must be 0 <= lo <= hi.");
  }
  const Activation* activation = functionActivation(interpreter);
  if (!activation) raise("Q:notInFunction", std::string(name) + " is only valid in a function.");
  const double count = outputs ? activation->nargout : activation->nargin;
  if (count < lo) {
    raise(outputs ? "Q:NotEnoughOutputs" : "Q:NotEnoughInputs",
          outputs ? "Not enough output arguments." : "Not enough input arguments.");
  }
  if (count > hi) {
    raise(outputs ? "Q:TooManyOutputs" : "Q:TooManyInputs",
          outputs ? "Too many output arguments." : "Too many input arguments.");
  }
}

// ---- Comparison of whole values ----

// isequal's comparison; nanEqual (isequaln) counts NaNs equal to each other.
bool equalValues(const Value& a, const Value& b, bool nanEqual) {
  const auto same = [nanEqual](double x, double y) {
    return x == y || (nanEqual && std::isnan(x) && std::isnan(y));
  };
  double x, y;
  if (a.asRealDouble(x) && b.asRealDouble(y)) return same(x, y);
  if (dimsOf(a) != dimsOf(b)) return false;
  ArrayPtr holderA, holderB;
  const zyArray* left = a.view(holderA);
  const zyArray* right = b.view(holderB);
  const zyClassID classA = left->classId(), classB = right->classId();
  if (classA == zyCELL_CLASS || classB == zyCELL_CLASS) {
    if (classA != classB) return false;
    for (std::size_t i = 0; i < left->numberOfElements(); ++i) {
      if (!equalValues(Value::share(zyGetCellConst(left, i)),
                       Value::share(zyGetCellConst(right, i)), nanEqual))
        return false;
    }
    return true;
  }
  if (classA == zySTRUCT_CLASS || classB == zySTRUCT_CLASS) {
    if (classA != classB) return false;
    std::vector<std::string> fieldsA = left->get_struct_field_info();
    std::vector<std::string> fieldsB = right->get_struct_field_info();
    std::sort(fieldsA.begin(), fieldsA.end());
    std::sort(fieldsB.begin(), fieldsB.end());
    if (fieldsA != fieldsB) return false;
    for (std::size_t i = 0; i < left->numberOfElements(); ++i) {
      for (const std::string& field : fieldsA) {
        if (!equalValues(Value::share(zyGetFieldConst(left, i, field.c_str())),
                         Value::share(zyGetFieldConst(right, i, field.c_str())), nanEqual))
          return false;
      }
    }
    return true;
  }
  if (classA == zyFUNCTION_CLASS || classB == zyFUNCTION_CLASS) {
    return zyIsIdentical(left, right) != 0;
  }
  ArrayPtr doubleA = convertArray(left, zyDOUBLE_CLASS);
  ArrayPtr doubleB = convertArray(right, zyDOUBLE_CLASS);
  const std::size_t count = doubleA->numberOfElements();
  const double* realA = doubleA->elements<double>();
  const double* realB = doubleB->elements<double>();
  const auto* imagA = static_cast<const double*>(doubleA->imagData());
  const auto* imagB = static_cast<const double*>(doubleB->imagData());
  for (std::size_t i = 0; i < count; ++i) {
    if (!same(realA[i], realB[i])) return false;
    if (!same(imagA ? imagA[i] : 0.0, imagB ? imagB[i] : 0.0)) return false;
  }
  return true;
}

// isequal, and isequaln (nanEqual) for which NaNs are equal.
template <bool nanEqual>
void builtinIsequal(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  const char* name = nanEqual ? "isequaln" : "isequal";
  requireInputs(inputs, 2, SIZE_MAX, name);
  requireOutputs(nargout, 1, name);
  bool equal = true;
  for (std::size_t i = 1; i < inputs.size() && equal; ++i)
    equal = equalValues(inputs[0], inputs[i], nanEqual);
  results.push_back(logical(equal));
}

}  // namespace

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool isText(const Value& value) {
  if (!value.isChar()) return false;
  const zyArray* array = value.array();
  return array->numberOfDimensions() == 2 &&
         (array->dimensions()[0] == 1 || array->numberOfElements() == 0);
}

std::string textOf(const Value& value, const char* what) {
  if (!value.isChar()) raise("Q:invalidInput", std::string("Expected text for ") + what + ".");
  return matrix::get_string(value.array());
}

void addCoreBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"arrayfun", builtinArrayfun}, {"assert", builtinAssert},
                                {"cellfun", builtinCellfun},   {"clear", builtinClear},
                                {"ctfroot", builtinCtfroot},   {"deal", builtinDeal},
                                {"error", builtinError},       {"eval", builtinEval},
                                {"exist", builtinExist},       {"feval", builtinFeval},
                                {"format", builtinFormat},     {"func2str", builtinFunc2str},
                                {"getReport", builtinGetReport},
                                {"isequaln", builtinIsequal<true>},
                                {"MException", builtinMException}, {"throw", builtinThrow},
                                {"help", builtinHelp},         {"isdeployed", builtinIsdeployed},
                                {"isequal", builtinIsequal<false>},   {"lasterr", builtinLasterr},
                                {"lastwarn", builtinLastwarn}, {"nargin", builtinNargin},
                                {"nargout", builtinNargout},   {"pause", builtinPause},
                                {"narginchk", builtinCountCheck<false>},
                                {"nargoutchk", builtinCountCheck<true>},
                                {"rand", builtinRand},         {"randn", builtinRandn},
                                {"randi", builtinRandi},       {"randperm", builtinRandperm},
                                {"rethrow", builtinRethrow},   {"rng", builtinRng},
                                {"str2func", builtinStr2func}, {"structfun", builtinStructfun},
                                {"tic", builtinTic},
                                {"toc", builtinToc},           {"warning", builtinWarning},
                                {"which", builtinWhich},
                            });
}

const std::vector<InterpreterBuiltinEntry>& interpreterBuiltins() {
  static const std::vector<InterpreterBuiltinEntry> table = [] {
    std::vector<InterpreterBuiltinEntry> entries;
    addCoreBuiltins(entries);
    addNumericalBuiltins(entries);
    addFileBuiltins(entries);
    addTextOutputBuiltins(entries);
    addFigureBuiltins(entries);
    addRuntimeBuiltins(entries);
    std::sort(entries.begin(), entries.end(),
              [](const InterpreterBuiltinEntry& a, const InterpreterBuiltinEntry& b) {
                return std::strcmp(a.name, b.name) < 0;
              });
    return entries;
  }();
  return table;
}

}  // namespace q
