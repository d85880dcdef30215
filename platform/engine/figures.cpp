// The headless figure model: figures are numbered objects with properties (Type, Name,
// Visible, Number, HandleVisibility and whatever else is set), children of the root object 0.
// No window system is involved; the queries the runtime sends at exit
// (findobj(allchild(0), 'flat', 'Type', 'figure', 'visible', 'on') and the same with groot,
// get(h, 'name')) work on this model.

#include <algorithm>
#include <cmath>

#include "engine/array_access.hpp"
#include "engine/interpreter.hpp"

namespace q {

namespace {

constexpr double kRoot = 0;

Value text(const std::string& utf8) { return Value::adopt(makeString(utf8)); }

// Property names compare without regard to letter case.
std::string propertyKey(const Value& name) {
  if (!isText(name)) raise("Q:invalidInput", "A property name must be text.");
  return lower(textOf(name, "a property name"));
}

std::vector<double> handlesOf(const Value& value) {
  std::vector<double> handles;
  if (value.isScalar()) {
    handles.push_back(value.scalar());
    return handles;
  }
  ArrayPtr holder;
  const zyArray* array = value.view(holder);
  if (!array || array->classId() < zyDOUBLE_CLASS || array->classId() > zyUINT64_CLASS) {
    raise("Q:invalidHandle", "Graphics handles must be numbers.");
  }
  ArrayPtr doubles = convertArray(array, zyDOUBLE_CLASS);
  handles.assign(doubles->elements<double>(),
                 doubles->elements<double>() + doubles->numberOfElements());
  return handles;
}

Value handleColumn(const std::vector<double>& handles) {
  ArrayPtr column = checked(zyCreateDoubleMatrix(handles.size(), handles.empty() ? 0 : 1, zyREAL));
  std::copy(handles.begin(), handles.end(), zyGetPr(column.get()));
  return Value::adopt(std::move(column));
}

Figure& figureOf(Interpreter& interpreter, double handle) {
  const auto found = interpreter.figures().find(handle);
  if (found == interpreter.figures().end()) {
    raise("Q:invalidHandle", "Invalid or deleted figure handle.");
  }
  return found->second;
}

void setProperty(Figure& figure, const std::string& key, const std::string& spelled, Value value) {
  if (key == "type" || key == "number") {
    raise("Q:readOnlyProperty", "The property " + spelled + " of a figure is read-only.");
  }
  if (key == "visible" || key == "handlevisibility") {
    const std::string state = isText(value) ? lower(textOf(value, "a state")) : std::string();
    if (state != "on" && state != "off") {
      raise("Q:invalidInput", "The property " + spelled + " must be 'on' or 'off'.");
    }
    value = text(state);
  }
  if (!figure.properties.count(key)) figure.propertyOrder.push_back(spelled);
  figure.properties[key] = std::move(value);
}

double createFigure(Interpreter& interpreter, double number) {
  Figure figure;
  figure.handle = number;
  const char* names[] = {"Type", "Number", "Name", "Visible", "HandleVisibility"};
  figure.propertyOrder.assign(std::begin(names), std::end(names));
  figure.properties["type"] = text("figure");
  figure.properties["number"] = Value(number);
  figure.properties["name"] = text("");
  figure.properties["visible"] = text("on");
  figure.properties["handlevisibility"] = text("on");
  interpreter.figures()[number] = std::move(figure);
  interpreter.currentFigure() = number;
  return number;
}

double nextFigureNumber(Interpreter& interpreter) {
  double number = 1;
  while (interpreter.figures().count(number)) ++number;
  return number;
}

void applyProperties(Figure& figure, ValueList& inputs, std::size_t first) {
  if ((inputs.size() - first) % 2 != 0) {
    raise("Q:invalidInput", "Properties are given as name, value pairs.");
  }
  for (std::size_t i = first; i < inputs.size(); i += 2) {
    setProperty(figure, propertyKey(inputs[i]), textOf(inputs[i], "a property name"),
                std::move(inputs[i + 1]));
  }
}

void closeFigure(Interpreter& interpreter, double handle) {
  interpreter.figures().erase(handle);
  if (interpreter.currentFigure() == handle) {
    interpreter.currentFigure() =
        interpreter.figures().empty() ? 0 : interpreter.figures().rbegin()->first;
  }
}

// ---- The functions ----

void builtinFigure(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (nargout > 1) raise("Q:TooManyOutputs", "figure returns one handle.");
  double handle;
  std::size_t first = 0;
  if (!inputs.empty() && !inputs[0].isChar()) {
    if (!inputs[0].asRealDouble(handle) || handle < 1 || handle != std::floor(handle)) {
      raise("Q:invalidHandle", "A figure number must be a positive whole number.");
    }
    if (!interpreter.figures().count(handle)) createFigure(interpreter, handle);
    interpreter.currentFigure() = handle;
    first = 1;
  } else {
    handle = createFigure(interpreter, nextFigureNumber(interpreter));
  }
  applyProperties(interpreter.figures()[handle], inputs, first);
  if (nargout > 0) results.push_back(Value(handle));
}

void builtinClose(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (nargout > 1) raise("Q:TooManyOutputs", "close returns one status.");
  if (inputs.empty()) {
    if (interpreter.currentFigure() != 0) closeFigure(interpreter, interpreter.currentFigure());
  } else if (isText(inputs[0])) {
    const std::string which = textOf(inputs[0], "a figure");
    if (lower(which) == "all") {
      // close all leaves figures whose handles are hidden, as rtkkillallfigures does not.
      std::vector<double> handles;
      for (auto& entry : interpreter.figures()) {
        if (textOf(entry.second.properties["handlevisibility"], "a state") == "on")
          handles.push_back(entry.first);
      }
      for (double handle : handles) closeFigure(interpreter, handle);
    } else {
      std::vector<double> handles;
      for (auto& entry : interpreter.figures()) {
        if (textOf(entry.second.properties["name"], "a name") == which)
          handles.push_back(entry.first);
      }
      for (double handle : handles) closeFigure(interpreter, handle);
    }
  } else {
    for (double handle : handlesOf(inputs[0])) {
      figureOf(interpreter, handle);
      closeFigure(interpreter, handle);
    }
  }
  if (nargout > 0) results.push_back(Value::adopt(makeLogicalScalar(true)));
}

void builtinGcf(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (!inputs.empty()) raise("Q:TooManyInputs", "gcf takes no inputs.");
  if (nargout > 1) raise("Q:TooManyOutputs", "gcf returns one handle.");
  if (interpreter.currentFigure() == 0 ||
      !interpreter.figures().count(interpreter.currentFigure())) {
    createFigure(interpreter, nextFigureNumber(interpreter));
  }
  results.push_back(Value(interpreter.currentFigure()));
}

void builtinGroot(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  if (!inputs.empty()) raise("Q:TooManyInputs", "groot takes no inputs.");
  if (nargout > 1) raise("Q:TooManyOutputs", "groot returns one handle.");
  results.push_back(Value(kRoot));
}

Value rootProperty(Interpreter& interpreter, const std::string& key) {
  if (key == "type") return text("root");
  if (key == "children") {
    std::vector<double> handles;
    for (auto& entry : interpreter.figures()) {
      if (textOf(entry.second.properties["handlevisibility"], "a state") == "on")
        handles.push_back(entry.first);
    }
    return handleColumn(handles);
  }
  if (key == "currentfigure") {
    if (interpreter.currentFigure() == 0) return Value::adopt(makeEmptyDouble());
    return Value(interpreter.currentFigure());
  }
  raise("Q:unknownProperty", "The root object has no property '" + key + "'.");
}

Value propertyValue(Interpreter& interpreter, double handle, const std::string& key) {
  if (handle == kRoot) return rootProperty(interpreter, key);
  Figure& figure = figureOf(interpreter, handle);
  const auto found = figure.properties.find(key);
  if (found == figure.properties.end()) {
    raise("Q:unknownProperty", "A figure has no property '" + key + "'.");
  }
  return found->second;
}

void builtinGet(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (inputs.empty() || inputs.size() > 2)
    raise("Q:invalidInput", "get takes a handle and a property.");
  if (nargout > 1) raise("Q:TooManyOutputs", "get returns one value.");
  const std::vector<double> handles = handlesOf(inputs[0]);
  if (inputs.size() == 1) {
    if (handles.size() != 1) raise("Q:invalidInput", "get without a property needs one handle.");
    ArrayPtr structure = checked(zyCreateStructMatrix(1, 1, 0, nullptr));
    if (handles[0] == kRoot) {
      for (const char* name : {"Type", "Children", "CurrentFigure"}) {
        zyAddField(structure.get(), name);
        zySetField(structure.get(), 0, name,
                   rootProperty(interpreter, lower(name)).release().release());
      }
    } else {
      Figure& figure = figureOf(interpreter, handles[0]);
      for (const std::string& name : figure.propertyOrder) {
        // figure and set take any text as a property name; one that cannot be a field name
        // (empty up to its first NUL), or that names a field already there up to its first
        // NUL, is left out of the struct.
        if (zyGetFieldNumber(structure.get(), name.c_str()) >= 0) continue;
        const int field = zyAddField(structure.get(), name.c_str());
        if (field < 0) continue;
        ArrayPtr value = figure.properties[lower(name)].toArray();
        if (zySetFieldByNumber(structure.get(), 0, field, value.get()) == 0) value.release();
      }
    }
    results.push_back(Value::adopt(std::move(structure)));
    return;
  }
  const std::string key = propertyKey(inputs[1]);
  if (handles.size() == 1) {
    results.push_back(propertyValue(interpreter, handles[0], key));
    return;
  }
  ArrayPtr cell = checked(zyCreateCellMatrix(handles.size(), 1));
  for (std::size_t i = 0; i < handles.size(); ++i) {
    zySetCell(cell.get(), i, propertyValue(interpreter, handles[i], key).release().release());
  }
  results.push_back(Value::adopt(std::move(cell)));
}

void builtinSet(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  if (inputs.size() < 3) raise("Q:NotEnoughInputs", "set takes a handle and name, value pairs.");
  if (nargout > 0) raise("Q:TooManyOutputs", "set returns no value.");
  for (double handle : handlesOf(inputs[0])) {
    if (handle == kRoot) raise("Q:readOnlyProperty", "The root object cannot be changed.");
    ValueList pairs(inputs.begin(), inputs.end());
    applyProperties(figureOf(interpreter, handle), pairs, 1);
  }
}

bool matches(const Value& actual, const Value& wanted) {
  if (isText(actual) || isText(wanted)) {
    return isText(actual) && isText(wanted) &&
           lower(textOf(actual, "a value")) == lower(textOf(wanted, "a value"));
  }
  double a, b;
  return actual.asRealDouble(a) && wanted.asRealDouble(b) && a == b;
}

void builtinFindobj(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (nargout > 1) raise("Q:TooManyOutputs", "findobj returns one list of handles.");
  std::size_t next = 0;
  std::vector<double> candidates;
  bool flat = false;
  if (!inputs.empty() && !inputs[0].isChar()) {
    candidates = handlesOf(inputs[0]);
    next = 1;
  } else {
    candidates.push_back(kRoot);
  }
  if (next < inputs.size() && isText(inputs[next]) &&
      lower(textOf(inputs[next], "an option")) == "flat") {
    flat = true;
    ++next;
  }
  if (!flat) {
    // Without 'flat' the search goes down from each object: figures are the root's children.
    std::vector<double> all;
    for (double handle : candidates) {
      all.push_back(handle);
      if (handle == kRoot) {
        for (auto& entry : interpreter.figures()) {
          if (textOf(entry.second.properties["handlevisibility"], "a state") == "on")
            all.push_back(entry.first);
        }
      }
    }
    candidates = all;
  }
  if ((inputs.size() - next) % 2 != 0) {
    raise("Q:invalidInput", "findobj takes property name, value pairs.");
  }
  std::vector<double> found;
  for (double handle : candidates) {
    if (handle != kRoot && !interpreter.figures().count(handle)) continue;
    bool all = true;
    for (std::size_t i = next; i < inputs.size() && all; i += 2) {
      const std::string key = propertyKey(inputs[i]);
      Value actual;
      if (handle == kRoot) {
        if (key != "type") {
          all = false;
          break;
        }
        actual = text("root");
      } else {
        Figure& figure = interpreter.figures()[handle];
        const auto property = figure.properties.find(key);
        if (property == figure.properties.end()) {
          all = false;
          break;
        }
        actual = property->second;
      }
      all = matches(actual, inputs[i + 1]);
    }
    if (all) found.push_back(handle);
  }
  results.push_back(handleColumn(found));
}

void builtinAllchild(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (inputs.size() != 1) raise("Q:invalidInput", "allchild takes one handle.");
  if (nargout > 1) raise("Q:TooManyOutputs", "allchild returns one list of handles.");
  std::vector<double> children;
  for (double handle : handlesOf(inputs[0])) {
    if (handle == kRoot) {
      // All children, hidden handles included.
      for (const auto& entry : interpreter.figures()) children.push_back(entry.first);
    } else {
      figureOf(interpreter, handle);
    }
  }
  results.push_back(handleColumn(children));
}

void builtinIshandle(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  if (inputs.size() != 1) raise("Q:invalidInput", "ishandle takes one input.");
  if (nargout > 1) raise("Q:TooManyOutputs", "ishandle returns one value.");
  const Dims dims = dimsOf(inputs[0]);
  ArrayPtr answer = checked(zyCreateLogicalArray(dims.size(), dims.data()));
  if (inputs[0].isChar() || inputs[0].isCell() || inputs[0].isStruct() ||
      inputs[0].isFunctionHandle()) {
    results.push_back(Value::adopt(std::move(answer)));
    return;
  }
  const std::vector<double> handles = handlesOf(inputs[0]);
  auto* flags = static_cast<zyLogical*>(zyGetData(answer.get()));
  for (std::size_t i = 0; i < handles.size(); ++i)
    flags[i] = handles[i] == kRoot || interpreter.figures().count(handles[i]) ? 1 : 0;
  results.push_back(Value::adopt(std::move(answer)));
}

void builtinKillAllFigures(Interpreter& interpreter, int nargout, ValueList&, ValueList& inputs) {
  if (!inputs.empty()) raise("Q:TooManyInputs", "rtkkillallfigures takes no inputs.");
  if (nargout > 0) raise("Q:TooManyOutputs", "rtkkillallfigures returns no value.");
  interpreter.figures().clear();
  interpreter.currentFigure() = 0;
}

}  // namespace

void addFigureBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"allchild", builtinAllchild},
                                {"close", builtinClose},
                                {"figure", builtinFigure},
                                {"findobj", builtinFindobj},
                                {"gcf", builtinGcf},
                                {"get", builtinGet},
                                {"groot", builtinGroot},
                                {"ishandle", builtinIshandle},
                                {"rtkkillallfigures", builtinKillAllFigures},
                                {"set", builtinSet},
                            });
}

}  // namespace q
