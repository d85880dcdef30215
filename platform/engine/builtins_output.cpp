// Printing built-ins: disp, display and fprintf, through the instance's print handler (fprintf
// also to the files of open_files.hpp, as UTF-8).

#include "engine/dispatcher.hpp"
#include "engine/interpreter.hpp"

namespace q {

namespace {

void builtinDisp(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  if (inputs.size() != 1) {
    raise(inputs.empty() ? "Q:NotEnoughInputs" : "Q:TooManyInputs",
          "disp takes exactly one input.");
  }
  if (nargout > 0) raise("Q:TooManyOutputs", "disp returns no value.");
  const Value& value = inputs[0];
  if (value.isEmpty() && !value.isStruct()) return;
  if (value.isChar()) {
    // Text shows as itself, one line per row.
    const zyArray* array = value.array();
    const std::size_t rows = array->dimensions()[0];
    const std::size_t columns = rows ? array->numberOfElements() / rows : 0;
    const zyChar* chars = array->elements<zyChar>();
    std::u16string line;
    std::string text;
    for (std::size_t r = 0; r < rows; ++r) {
      line.clear();
      for (std::size_t c = 0; c < columns; ++c) line.push_back(chars[r + c * rows]);
      ArrayPtr row = makeString(line);
      text += row->numberOfElements() ? matrix::get_string(row.get()) : std::string();
      text += '\n';
    }
    interpreter.print(text);
    return;
  }
  interpreter.print(interpreter.formatValue(std::string(), value));
}

void builtinDisplay(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  if (inputs.empty() || inputs.size() > 2) {
    raise("Q:invalidInput", "display takes a value and optionally its name.");
  }
  if (nargout > 0) raise("Q:TooManyOutputs", "display returns no value.");
  const std::string name = inputs.size() == 2 ? textOf(inputs[1], "a name") : "ans";
  interpreter.display(name, inputs[0]);
}

void builtinFprintf(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (inputs.empty()) raise("Q:NotEnoughInputs", "fprintf needs a format.");
  if (nargout > 1) raise("Q:TooManyOutputs", "fprintf returns at most one value.");
  // 1 is the output, 2 the errors, any other id a file fopen opened.
  double stream = 1;
  if (inputs.size() >= 2 && !inputs[0].isChar() && inputs[0].asRealDouble(stream)) {
    if (stream != 1 && stream != 2) {
      // A bad id or a file not open for writing is reported before anything is formatted.
      OpenFiles::startWrite(interpreter.openFiles().get(stream, "fprintf"), "fprintf");
    }
    inputs.erase(inputs.begin());
  }
  const TargetPtr sprintf = interpreter.dispatcher().findBuiltin("sprintf");
  if (!sprintf) raise("Q:undefined", "sprintf is not available.");
  ValueList formatted;
  interpreter.call(*sprintf, 1, inputs, formatted);
  const std::string text =
      formatted.empty() || formatted[0].isEmpty() ? std::string() : textOf(formatted[0], "text");
  if (stream != 1 && stream != 2) {
    OpenFiles::write(interpreter.openFiles().get(stream, "fprintf"), text.data(), text.size(),
                     "fprintf");
  } else if (stream == 2) {
    interpreter.printError(text);
  } else {
    interpreter.print(text);
  }
  if (nargout > 0) results.push_back(Value(static_cast<double>(text.size())));
}

}  // namespace

void addTextOutputBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"disp", builtinDisp},
                                {"display", builtinDisplay},
                                {"fprintf", builtinFprintf},
                            });
}

}  // namespace q
