// The numerical methods that call a function given by the program (a handle or a name): roots
// (fzero), minima (fminbnd, fminsearch), integrals (integral, quad) and ordinary differential
// equations (ode45), with their option structs (optimset, optimget, odeset).
//
// Every method bounds its own loops (iterations, function evaluations, subintervals or steps),
// polls the interpreter once per round so that interrupts and budgets stop it, and lets errors
// raised inside the function reach the caller unchanged.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "engine/array_access.hpp"
#include "engine/builtin_table.hpp"
#include "engine/interpreter.hpp"

namespace q {

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

// ---- Argument helpers ----

[[noreturn]] void invalid(const char* name, const std::string& message) {
  raise("Q:invalidInput", std::string(name) + ": " + message);
}

void requireFunction(const Value& function, const char* name) {
  if (!function.isFunctionHandle() && !isText(function)) {
    invalid(name, "the first input must be a function handle or a function name.");
  }
}

// The elements of a real numeric or logical value as doubles; false for anything else
// (complex, text, cells, structs, handles).
bool realElements(const Value& value, std::vector<double>& out) {
  out.clear();
  if (value.isScalar()) {
    out.push_back(value.scalar());
    return true;
  }
  if (!value.isArray()) return false;
  const zyArray* array = value.array();
  if ((!zyIsNumeric(array) && !zyIsLogical(array)) || zyIsComplex(array)) return false;
  const ArrayPtr full = fullArray(array);
  const ArrayPtr converted = convertArray(full.get(), zyDOUBLE_CLASS);
  const double* data = converted->elements<double>();
  out.assign(data, data + converted->numberOfElements());
  return true;
}

bool allFinite(const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// A real, finite scalar input.
double finiteScalar(const Value& value, const char* name, const char* what) {
  std::vector<double> elements;
  if (!realElements(value, elements) || elements.size() != 1 || !std::isfinite(elements[0])) {
    invalid(name, std::string(what) + " must be a finite real scalar.");
  }
  return elements[0];
}

Value rowOf(const std::vector<double>& values) {
  ArrayPtr row = checked(zyCreateDoubleMatrix(1, values.size(), zyREAL));
  std::copy(values.begin(), values.end(), zyGetPr(row.get()));
  return Value::adopt(std::move(row));
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// ---- Calling the program's function ----

// The function a method works on: counts its evaluations and checks what it returns.
class Objective {
 public:
  Objective(Interpreter& interpreter, const Value& function, const char* name)
      : interpreter_(interpreter), function_(function), name_(name) {}

  // The first value f(arguments...) returns.
  Value call(ValueList& arguments) {
    interpreter_.poll();
    ++evaluations;
    ValueList results;
    interpreter_.callFunction(function_, 1, arguments, results);
    if (results.empty()) {
      raise("Q:invalidFunctionValue", std::string(name_) + ": the function returned no value.");
    }
    return std::move(results[0]);
  }

  // f(x) for a real scalar result.
  double scalar(Value x) {
    ValueList arguments;
    arguments.push_back(std::move(x));
    const Value value = call(arguments);
    double out;
    if (value.asRealDouble(out)) return out;
    std::vector<double> elements;
    if (!realElements(value, elements) || elements.size() != 1) {
      raise("Q:invalidFunctionValue",
            std::string(name_) + ": the function must return a real scalar.");
    }
    return elements[0];
  }

  // The real values of a result that must have count elements.
  void elements(const Value& value, std::size_t count, std::vector<double>& out, const char* what) {
    if (!realElements(value, out) || out.size() != count) {
      raise("Q:invalidFunctionValue", std::string(name_) + ": " + what);
    }
  }

  std::size_t evaluations = 0;

 private:
  Interpreter& interpreter_;
  const Value& function_;
  const char* name_;
};

// ---- Option structs ----

const std::vector<const char*> kOptimizationOptions = {"Display", "MaxFunEvals", "MaxIter",
                                                       "TolFun", "TolX"};
const std::vector<const char*> kOdeOptions = {"AbsTol", "InitialStep", "MaxStep", "Refine",
                                              "RelTol"};

// The field of a 1-by-1 struct whose name equals name without regard to case, or -1.
int fieldOf(const zyArray* structure, const std::string& name) {
  const std::string wanted = lower(name);
  const int fields = zyGetNumberOfFields(structure);
  for (int f = 0; f < fields; ++f) {
    if (lower(zyGetFieldNameByNumber(structure, f)) == wanted) return f;
  }
  return -1;
}

// An options input: a 1-by-1 struct, or [] for none.
void requireOptions(const Value& options, const char* name) {
  if (options.isStruct() && options.numberOfElements() == 1) return;
  if (options.isEmpty() && !options.isCell() && !options.isStruct()) return;
  invalid(name, "the options must be a struct made by optimset or odeset.");
}

// The value of an option, or null when the options do not set it (missing or empty).
const zyArray* optionValue(const Value& options, const char* option) {
  if (!options.isStruct()) return nullptr;
  const int field = fieldOf(options.array(), option);
  if (field < 0) return nullptr;
  const zyArray* structure = options.array();
  const zyArray* value = zyGetFieldConst(structure, 0, zyGetFieldNameByNumber(structure, field));
  return value && zyGetNumberOfElements(value) > 0 ? value : nullptr;
}

// A positive number option (Inf allowed when infinite is set); fallback when not set.
double positiveOption(const Value& options, const char* option, double fallback, const char* name,
                      bool infinite = false) {
  const zyArray* value = optionValue(options, option);
  if (!value) return fallback;
  std::vector<double> elements;
  if (!realElements(Value::share(value), elements) || elements.size() != 1 || !(elements[0] > 0) ||
      (!infinite && std::isinf(elements[0]))) {
    invalid(name, std::string("the option ") + option + " must be a positive real scalar.");
  }
  return elements[0];
}

// A count option (MaxIter, MaxFunEvals): a positive whole number or Inf, which is taken as a
// large bound so that every loop still ends.
std::size_t countOption(const Value& options, const char* option, double fallback,
                        const char* name) {
  const double count = positiveOption(options, option, fallback, name, true);
  return static_cast<std::size_t>(std::min(std::floor(count), 1e8));
}

// optimset and odeset: optimset('Name', value, ...), optimset(old, 'Name', value, ...),
// optimset(old, new); optimset() lists every option, unset.
void makeOptions(int nargout, ValueList& results, ValueList& inputs,
                 const std::vector<const char*>& names, const char* name) {
  requireOutputs(nargout, 1, name);
  const char* none[] = {nullptr};
  ArrayPtr options = checked(zyCreateStructMatrix(1, 1, 0, none));
  if (inputs.empty()) {
    for (const char* option : names) zyAddField(options.get(), option);
  }
  // Sets option (an option name in any case) in the result, under its canonical name.
  const auto set = [&](const std::string& option, const zyArray* value) {
    const auto known = std::find_if(names.begin(), names.end(),
                                    [&](const char* n) { return lower(n) == lower(option); });
    if (known == names.end()) invalid(name, "'" + option + "' is not an option name.");
    int field = fieldOf(options.get(), option);
    if (field < 0) field = zyAddField(options.get(), *known);
    if (field < 0) throw std::bad_alloc();
    zyArray* copy =
        value ? checked(zyCreateSharedDataCopy(value)).release() : makeEmptyDouble().release();
    replaceField(options.get(), 0, field, copy);
  };
  std::size_t first = 0;
  // Leading structs: the old options, then new ones whose set fields override them.
  while (first < inputs.size() && !isText(inputs[first])) {
    requireOptions(inputs[first], name);
    if (inputs[first].isStruct()) {
      const zyArray* given = inputs[first].array();
      const bool old = first == 0;
      for (int f = 0; f < zyGetNumberOfFields(given); ++f) {
        const zyArray* value = zyGetFieldConst(given, 0, zyGetFieldNameByNumber(given, f));
        if (!old && (!value || zyGetNumberOfElements(value) == 0)) continue;
        set(zyGetFieldNameByNumber(given, f), value);
      }
    }
    ++first;
    if (first > 2) invalid(name, "give at most two option structs before the names.");
  }
  if ((inputs.size() - first) % 2 != 0) {
    invalid(name, "the options must come in name/value pairs.");
  }
  for (std::size_t i = first; i < inputs.size(); i += 2) {
    if (!isText(inputs[i])) invalid(name, "an option name must be text.");
    ArrayPtr holder;
    set(textOf(inputs[i], "an option name"), inputs[i + 1].view(holder));
  }
  results.push_back(Value::adopt(std::move(options)));
}

void builtinOptimset(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  makeOptions(nargout, results, inputs, kOptimizationOptions, "optimset");
}

void builtinOdeset(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  makeOptions(nargout, results, inputs, kOdeOptions, "odeset");
}

// optimget(options, 'Name', default): the option's value, or default (else []) when unset.
void builtinOptimget(Interpreter&, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, 3, "optimget");
  requireOutputs(nargout, 1, "optimget");
  requireOptions(inputs[0], "optimget");
  if (!isText(inputs[1])) invalid("optimget", "the option name must be text.");
  const std::string option = textOf(inputs[1], "an option name");
  if (const zyArray* value = optionValue(inputs[0], option.c_str())) {
    results.push_back(Value::share(value));
  } else if (inputs.size() == 3) {
    results.push_back(std::move(inputs[2]));
  } else {
    results.push_back(Value::adopt(makeEmptyDouble()));
  }
}

// ---- fzero ----

bool sameSign(double a, double b) { return (a > 0) == (b > 0); }

// Brent's method on a bracket [a, b] with f(a) and f(b) of opposite signs: bisection, secant
// steps and inverse quadratic interpolation, keeping the root bracketed. Returns the exit flag.
int brentRoot(Objective& f, double a, double fa, double b, double fb, double tolX,
              std::size_t maxIter, std::size_t maxEvals, double& x, double& fx) {
  double c = a, fc = fa, d = b - a, e = d;
  int flag = 0;
  for (std::size_t iteration = 0; iteration < maxIter && f.evaluations < maxEvals; ++iteration) {
    if (sameSign(fb, fc)) {
      c = a;
      fc = fa;
      d = e = b - a;
    }
    if (std::fabs(fc) < std::fabs(fb)) {
      a = b;
      b = c;
      c = a;
      fa = fb;
      fb = fc;
      fc = fa;
    }
    const double tol = 2 * kEps * std::fabs(b) + 0.5 * tolX;
    const double m = 0.5 * (c - b);
    if (std::fabs(m) <= tol || fb == 0) {
      flag = 1;
      break;
    }
    if (std::fabs(e) < tol || std::fabs(fa) <= std::fabs(fb)) {
      d = e = m;  // bisection
    } else {
      double p, q;
      const double s = fb / fa;
      if (a == c) {
        p = 2 * m * s;  // secant
        q = 1 - s;
      } else {
        const double qa = fa / fc, r = fb / fc;  // inverse quadratic interpolation
        p = s * (2 * m * qa * (qa - r) - (b - a) * (r - 1));
        q = (qa - 1) * (r - 1) * (s - 1);
      }
      if (p > 0) {
        q = -q;
      } else {
        p = -p;
      }
      if (2 * p < 3 * m * q - std::fabs(tol * q) && p < std::fabs(0.5 * e * q)) {
        e = d;
        d = p / q;
      } else {
        d = e = m;
      }
    }
    a = b;
    fa = fb;
    b += std::fabs(d) > tol ? d : (m > 0 ? tol : -tol);
    fb = f.scalar(Value(b));
    if (std::isnan(fb)) raise("Q:fzero:notFinite", "fzero: the function returned NaN.");
  }
  x = b;
  fx = fb;
  return flag;
}

// fzero(f, x0) or fzero(f, [a b]), with options: [x, fval, exitflag].
void builtinFzero(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 2, 3, "fzero");
  requireOutputs(nargout, 3, "fzero");
  requireFunction(inputs[0], "fzero");
  const Value options = inputs.size() == 3 ? inputs[2] : Value();
  if (inputs.size() == 3) requireOptions(options, "fzero");
  std::vector<double> start;
  if (!realElements(inputs[1], start) || (start.size() != 1 && start.size() != 2) ||
      !allFinite(start)) {
    invalid("fzero", "the start must be a finite real scalar or a bracket [a b].");
  }
  const double tolX = positiveOption(options, "TolX", kEps, "fzero");
  const std::size_t maxIter = countOption(options, "MaxIter", 400, "fzero");
  const std::size_t maxEvals = countOption(options, "MaxFunEvals", 500, "fzero");
  Objective f(interpreter, inputs[0], "fzero");
  const auto value = [&](double x) {
    const double y = f.scalar(Value(x));
    if (std::isnan(y)) raise("Q:fzero:notFinite", "fzero: the function returned NaN.");
    return y;
  };

  double a, b, fa, fb;
  bool found = false;  // a point where f is exactly zero
  if (start.size() == 2) {
    a = start[0];
    b = start[1];
    fa = value(a);
    fb = value(b);
    if (fa == 0 || fb == 0) {
      found = true;
      if (fa == 0) b = a, fb = fa;
    } else if (sameSign(fa, fb)) {
      raise("Q:fzero:noSignChange",
            "fzero: the function values at the ends of the interval must differ in sign.");
    }
  } else {
    // Steps outward from x0 on both sides, growing by sqrt(2), until the sign changes between
    // the two ends of the interval searched.
    const double x0 = start[0];
    a = b = x0;
    fa = fb = value(x0);
    found = fa == 0;
    double step = x0 != 0 ? std::fabs(x0) / 50 : 1.0 / 50;
    bool bracketed = false;
    for (int round = 0; !found && !bracketed; ++round) {
      if (round >= 2500 || !std::isfinite(x0 - step) || !std::isfinite(x0 + step)) {
        raise("Q:fzero:noBracket", "fzero: no interval around " + number(x0) +
                                       " where the function changes sign was found.");
      }
      interpreter.poll();
      a = x0 - step;
      fa = value(a);
      if (fa == 0 || !sameSign(fa, fb)) {
        bracketed = true;
        break;
      }
      b = x0 + step;
      fb = value(b);
      if (fb == 0 || !sameSign(fa, fb)) bracketed = true;
      step *= std::sqrt(2.0);
    }
    if (fa == 0) b = a, fb = fa;
    if (fb == 0) found = true;
  }
  double x = b, fx = fb;
  int flag = 1;
  if (!found) flag = brentRoot(f, a, fa, b, fb, tolX, maxIter, maxEvals, x, fx);
  results.push_back(Value(x));
  if (nargout > 1) results.push_back(Value(fx));
  if (nargout > 2) results.push_back(Value(static_cast<double>(flag)));
}

// ---- fminbnd ----

// fminbnd(f, a, b), with options: Brent's golden-section search with parabolic interpolation
// for a minimum of f on [a, b]: [x, fval, exitflag].
void builtinFminbnd(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 3, 4, "fminbnd");
  requireOutputs(nargout, 3, "fminbnd");
  requireFunction(inputs[0], "fminbnd");
  double a = finiteScalar(inputs[1], "fminbnd", "the lower bound");
  double b = finiteScalar(inputs[2], "fminbnd", "the upper bound");
  if (a > b) invalid("fminbnd", "the lower bound must not exceed the upper bound.");
  const Value options = inputs.size() == 4 ? inputs[3] : Value();
  if (inputs.size() == 4) requireOptions(options, "fminbnd");
  const double tolX = positiveOption(options, "TolX", 1e-4, "fminbnd");
  const std::size_t maxIter = countOption(options, "MaxIter", 500, "fminbnd");
  const std::size_t maxEvals = countOption(options, "MaxFunEvals", 500, "fminbnd");
  Objective f(interpreter, inputs[0], "fminbnd");

  const double golden = 0.5 * (3 - std::sqrt(5.0));
  const double sqrtEps = std::sqrt(kEps);
  double x = a + golden * (b - a), w = x, v = x;
  double fx = f.scalar(Value(x)), fw = fx, fv = fx;
  double d = 0, e = 0;
  int flag = 0;
  for (std::size_t iteration = 0; iteration < maxIter && f.evaluations < maxEvals; ++iteration) {
    const double middle = 0.5 * (a + b);
    const double tol1 = sqrtEps * std::fabs(x) + tolX / 3, tol2 = 2 * tol1;
    if (std::fabs(x - middle) <= tol2 - 0.5 * (b - a)) {
      flag = 1;
      break;
    }
    bool parabolic = false;
    if (std::fabs(e) > tol1) {
      // The minimum of the parabola through (v, fv), (w, fw) and (x, fx), if it is acceptable.
      double r = (x - w) * (fx - fv);
      double q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::fabs(q);
      r = e;
      e = d;
      if (std::fabs(p) < std::fabs(0.5 * q * r) && p > q * (a - x) && p < q * (b - x)) {
        d = p / q;
        const double u = x + d;
        if (u - a < tol2 || b - u < tol2) d = middle >= x ? tol1 : -tol1;
        parabolic = true;
      }
    }
    if (!parabolic) {
      e = x >= middle ? a - x : b - x;
      d = golden * e;
    }
    const double u = x + (std::fabs(d) >= tol1 ? d : (d >= 0 ? tol1 : -tol1));
    const double fu = f.scalar(Value(u));
    if (fu <= fx) {
      (u >= x ? a : b) = x;
      v = w, fv = fw;
      w = x, fw = fx;
      x = u, fx = fu;
    } else {
      (u < x ? a : b) = u;
      if (fu <= fw || w == x) {
        v = w, fv = fw;
        w = u, fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u, fv = fu;
      }
    }
  }
  results.push_back(Value(x));
  if (nargout > 1) results.push_back(Value(fx));
  if (nargout > 2) results.push_back(Value(static_cast<double>(flag)));
}

// ---- fminsearch ----

// fminsearch(f, x0), with options: the Nelder-Mead simplex method; f is called with arrays of
// x0's shape. [x, fval, exitflag].
void builtinFminsearch(Interpreter& interpreter, int nargout, ValueList& results,
                       ValueList& inputs) {
  requireInputs(inputs, 2, 3, "fminsearch");
  requireOutputs(nargout, 3, "fminsearch");
  requireFunction(inputs[0], "fminsearch");
  std::vector<double> x0;
  // The simplex holds numel(x0) + 1 points of numel(x0) values and each round looks at all of
  // them: the method is meant for few variables, and their number is bounded here.
  if (!realElements(inputs[1], x0) || x0.empty() || x0.size() > 100 || !allFinite(x0)) {
    invalid("fminsearch", "the start must be a finite real array of 1 to 100 elements.");
  }
  const Value options = inputs.size() == 3 ? inputs[2] : Value();
  if (inputs.size() == 3) requireOptions(options, "fminsearch");
  const std::size_t n = x0.size();
  const double tolX = positiveOption(options, "TolX", 1e-4, "fminsearch");
  const double tolFun = positiveOption(options, "TolFun", 1e-4, "fminsearch");
  const std::size_t maxIter = countOption(options, "MaxIter", 200.0 * n, "fminsearch");
  const std::size_t maxEvals = countOption(options, "MaxFunEvals", 200.0 * n, "fminsearch");
  const Dims dims = dimsOf(inputs[1]);
  Objective f(interpreter, inputs[0], "fminsearch");
  const auto value = [&](const std::vector<double>& x) {
    ArrayPtr point = createArray(zyDOUBLE_CLASS, dims, false, {});
    std::copy(x.begin(), x.end(), zyGetPr(point.get()));
    return f.scalar(Value::adopt(std::move(point)));
  };

  // The simplex: n + 1 vertices, kept sorted by their values (best first).
  std::vector<std::vector<double>> vertices(n + 1, x0);
  std::vector<double> values(n + 1);
  values[0] = value(x0);
  for (std::size_t i = 0; i < n; ++i) {
    double& component = vertices[i + 1][i];
    component = component != 0 ? 1.05 * component : 0.00025;
    values[i + 1] = value(vertices[i + 1]);
  }
  const auto sortSimplex = [&] {
    std::vector<std::size_t> order(n + 1);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t i, std::size_t j) { return values[i] < values[j]; });
    std::vector<std::vector<double>> sortedVertices(n + 1);
    std::vector<double> sortedValues(n + 1);
    for (std::size_t k = 0; k <= n; ++k) {
      sortedVertices[k] = std::move(vertices[order[k]]);
      sortedValues[k] = values[order[k]];
    }
    vertices.swap(sortedVertices);
    values.swap(sortedValues);
  };
  sortSimplex();

  std::vector<double> centroid(n), trial(n), second(n);
  // The point centroid + factor * (centroid - worst vertex).
  const auto along = [&](double factor, std::vector<double>& out) {
    for (std::size_t j = 0; j < n; ++j)
      out[j] = centroid[j] + factor * (centroid[j] - vertices[n][j]);
  };
  const auto replaceWorst = [&](const std::vector<double>& point, double pointValue) {
    vertices[n] = point;
    values[n] = pointValue;
  };
  int flag = 0;
  for (std::size_t iteration = 0; iteration < maxIter && f.evaluations < maxEvals; ++iteration) {
    double valueSpread = 0, pointSpread = 0, largest = 0;
    for (std::size_t i = 1; i <= n; ++i) {
      valueSpread = std::max(valueSpread, std::fabs(values[i] - values[0]));
      for (std::size_t j = 0; j < n; ++j)
        pointSpread = std::max(pointSpread, std::fabs(vertices[i][j] - vertices[0][j]));
    }
    for (double component : vertices[0]) largest = std::max(largest, std::fabs(component));
    if (valueSpread <= std::max(tolFun, 10 * kEps * std::fabs(values[0])) &&
        pointSpread <= std::max(tolX, 10 * kEps * largest)) {
      flag = 1;
      break;
    }
    std::fill(centroid.begin(), centroid.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j) centroid[j] += vertices[i][j] / static_cast<double>(n);
    along(1.0, trial);  // reflection
    const double reflected = value(trial);
    bool shrink = false;
    if (reflected < values[0]) {
      along(2.0, second);  // expansion
      const double expanded = value(second);
      if (expanded < reflected) {
        replaceWorst(second, expanded);
      } else {
        replaceWorst(trial, reflected);
      }
    } else if (reflected < values[n - 1]) {
      replaceWorst(trial, reflected);
    } else if (reflected < values[n]) {
      along(0.5, second);  // contraction outside the simplex
      const double contracted = value(second);
      if (contracted <= reflected) {
        replaceWorst(second, contracted);
      } else {
        shrink = true;
      }
    } else {
      along(-0.5, second);  // contraction inside the simplex
      const double contracted = value(second);
      if (contracted < values[n]) {
        replaceWorst(second, contracted);
      } else {
        shrink = true;
      }
    }
    if (shrink) {
      for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 0; j < n; ++j)
          vertices[i][j] = vertices[0][j] + 0.5 * (vertices[i][j] - vertices[0][j]);
        values[i] = value(vertices[i]);
      }
    }
    sortSimplex();
  }
  ArrayPtr best = createArray(zyDOUBLE_CLASS, dims, false, {});
  std::copy(vertices[0].begin(), vertices[0].end(), zyGetPr(best.get()));
  results.push_back(Value::adopt(std::move(best)));
  if (nargout > 1) results.push_back(Value(values[0]));
  if (nargout > 2) results.push_back(Value(static_cast<double>(flag)));
}

// ---- integral ----

// The 15-point Kronrod rule and the 7-point Gauss rule it extends, on [-1, 1]: the non-negative
// nodes (the last is 0) and their weights; the Gauss nodes are the Kronrod nodes 1, 3, 5 and 7.
const double kKronrodNodes[8] = {
    0.991455371120812639206854697526329, 0.949107912342758524526189684047851,
    0.864864423359769072789712788640926, 0.741531185599394439863864773280788,
    0.586087235467691130294144845693013, 0.405845151377397166906606412076961,
    0.207784955007898467600689403773245, 0.0};
const double kKronrodWeights[8] = {
    0.022935322010529224963732008058970, 0.063092092629978553290700663189204,
    0.104790010322250183839876322541518, 0.140653259715525918745189590510238,
    0.169004726639267902826583426598550, 0.190350578064785409913256402421014,
    0.204432940075298892414161999234649, 0.209482141084727828012999174891714};
const double kGaussWeights[4] = {
    0.129484966168869693270611432679082, 0.279705391489276667901467771423780,
    0.381830050505118944950369775488975, 0.417959183673469387755102040816327};
constexpr std::size_t kMaxIntervals = 650;

// The 15 nodes of [a, b], in the order kronrodNode gives.
void kronrodPoints(double a, double b, std::vector<double>& points) {
  const double center = 0.5 * (a + b), half = 0.5 * (b - a);
  for (int k = 0; k < 7; ++k) {
    points.push_back(center - half * kKronrodNodes[k]);
    points.push_back(center + half * kKronrodNodes[k]);
  }
  points.push_back(center);
}

struct Interval {
  double a, b;
  std::vector<double> sum;  // the Kronrod estimate, per component
  double error;             // |Kronrod - Gauss|, largest over the components
};

// Fills an interval's estimates from the m values of its 15 nodes starting at values.
void applyRule(Interval& interval, const double* values, std::size_t m) {
  const double half = 0.5 * (interval.b - interval.a);
  interval.sum.assign(m, 0.0);
  interval.error = 0;
  for (std::size_t c = 0; c < m; ++c) {
    const auto at = [&](std::size_t point) { return values[point * m + c]; };
    double kronrod = kKronrodWeights[7] * at(14), gauss = kGaussWeights[3] * at(14);
    for (int k = 0; k < 7; ++k) {
      const double pair = at(2 * k) + at(2 * k + 1);
      kronrod += kKronrodWeights[k] * pair;
      if (k % 2 == 1) gauss += kGaussWeights[k / 2] * pair;
    }
    interval.sum[c] = half * kronrod;
    interval.error = std::max(interval.error, std::fabs(half * (kronrod - gauss)));
  }
}

// The integrand on the variable the integral is taken over: f of x, or of x(t) times x'(t)
// for an infinite range. Gives m values per point.
class Integrand {
 public:
  // [a, b] from [-1, 1] with a cubic whose slope vanishes at the ends, which softens
  // singularities there; [a, Inf), (-Inf, b] from [0, 1); (-Inf, Inf) from (-1, 1).
  enum class Map { Finite, Upper, Lower, Both };

  Integrand(Objective& f, bool arrayValued, Map map, double a, double b)
      : f_(f), arrayValued_(arrayValued), map_(map), a_(a), b_(b) {}

  void evaluate(const std::vector<double>& ts, std::vector<double>& out) {
    std::vector<double> xs(ts.size()), scale(ts.size(), 1.0);
    for (std::size_t i = 0; i < ts.size(); ++i) xs[i] = mapPoint(ts[i], scale[i]);
    out.clear();
    std::vector<double> values;
    if (!arrayValued_) {
      const Value result = callWith(rowOf(xs));
      f_.elements(result, xs.size(), values,
                  "the function must return an array the size of its input (write it with .* "
                  "./ .^, or give 'ArrayValued', true).");
      out = values;
      m = 1;
    } else {
      for (double x : xs) {
        const Value result = callWith(Value(x));
        if (dims.empty()) {
          if (!realElements(result, values) || values.empty()) {
            raise("Q:invalidFunctionValue",
                  "integral: the function must return a non-empty real array.");
          }
          dims = dimsOf(result);
          m = values.size();
        }
        f_.elements(result, m, values, "the function must return arrays of one size.");
        out.insert(out.end(), values.begin(), values.end());
      }
    }
    for (std::size_t i = 0; i < ts.size(); ++i) {
      for (std::size_t c = 0; c < m; ++c) {
        double& value = out[i * m + c];
        // Nodes that rounding puts on an end of the range (or at infinity) count as 0, so that
        // f need not be finite there; an empty range has no width (scale 0) whatever f gives.
        const bool none = scale[i] == 0 || std::isinf(scale[i]) || std::isinf(xs[i]) ||
                          (map_ == Map::Finite && (xs[i] == a_ || xs[i] == b_));
        value = none ? 0.0 : value * scale[i];
      }
    }
  }

  // The point of the range at t.
  double pointAt(double t) const {
    double scale;
    return mapPoint(t, scale);
  }

  std::size_t m = 1;
  Dims dims;  // ArrayValued: the shape of f's values

 private:
  Value callWith(Value x) {
    ValueList arguments;
    arguments.push_back(std::move(x));
    return f_.call(arguments);
  }

  double mapPoint(double t, double& scale) const {
    switch (map_) {
      case Map::Finite: {
        const double half = 0.5 * b_ - 0.5 * a_;
        scale = 1.5 * half * (1 - t * t);
        return (0.5 * a_ + 0.5 * b_) + 0.5 * half * t * (3 - t * t);
      }
      case Map::Upper:
        scale = 1 / ((1 - t) * (1 - t));
        return a_ + t / (1 - t);
      case Map::Lower:
        scale = 1 / ((1 - t) * (1 - t));
        return b_ - t / (1 - t);
      case Map::Both:
        scale = (1 + t * t) / ((1 - t * t) * (1 - t * t));
        return t / (1 - t * t);
    }
    return t;
  }

  Objective& f_;
  bool arrayValued_;
  Map map_;
  double a_, b_;
};

double largestMagnitude(const std::vector<double>& values) {
  double largest = 0;
  for (double v : values) largest = std::max(largest, std::fabs(v));
  return largest;
}

// integral(f, a, b, 'AbsTol', t, 'RelTol', t, 'ArrayValued', tf): globally adaptive
// Gauss-Kronrod (7-15) quadrature, always splitting the interval with the largest error.
void builtinIntegral(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 3, 9, "integral");
  requireOutputs(nargout, 1, "integral");
  requireFunction(inputs[0], "integral");
  double a, b;
  std::vector<double> limit;
  for (int k = 1; k <= 2; ++k) {
    if (!realElements(inputs[k], limit) || limit.size() != 1 || std::isnan(limit[0])) {
      invalid("integral", "the limits must be real scalars.");
    }
    (k == 1 ? a : b) = limit[0];
  }
  double absTol = 1e-10, relTol = 1e-6;
  bool arrayValued = false;
  if ((inputs.size() - 3) % 2 != 0) invalid("integral", "options come in name/value pairs.");
  for (std::size_t i = 3; i < inputs.size(); i += 2) {
    if (!isText(inputs[i])) invalid("integral", "an option name must be text.");
    const std::string option = lower(textOf(inputs[i], "an option name"));
    std::vector<double> given;
    const bool real = realElements(inputs[i + 1], given) && given.size() == 1;
    if (option == "abstol" || option == "reltol") {
      if (!real || !(given[0] >= 0) || std::isinf(given[0])) {
        invalid("integral", "AbsTol and RelTol must be finite non-negative scalars.");
      }
      (option == "abstol" ? absTol : relTol) = given[0];
    } else if (option == "arrayvalued") {
      if (!real || std::isnan(given[0])) invalid("integral", "ArrayValued must be true or false.");
      arrayValued = given[0] != 0;
    } else {
      invalid("integral", "'" + textOf(inputs[i], "an option name") + "' is not an option.");
    }
  }
  // Reversed limits give the negated integral; infinite ones are mapped onto finite ones.
  double sign = 1;
  if (a > b) {
    std::swap(a, b);
    sign = -1;
  }
  Integrand::Map map = Integrand::Map::Finite;
  double from = -1, to = 1;
  if (a == b) {
    from = to = 0;  // an empty range, whatever its ends
    if (std::isinf(a)) a = b = 0;
  } else if (std::isinf(a) && std::isinf(b)) {
    map = Integrand::Map::Both;
  } else if (std::isinf(b)) {
    map = Integrand::Map::Upper;
    from = 0;
  } else if (std::isinf(a)) {
    map = Integrand::Map::Lower;
    from = 0;
  }
  Objective f(interpreter, inputs[0], "integral");
  Integrand integrand(f, arrayValued, map, a, b);

  std::vector<Interval> intervals;
  std::vector<double> points, values;
  const auto evaluate = [&](std::size_t first) {
    points.clear();
    for (std::size_t k = first; k < intervals.size(); ++k)
      kronrodPoints(intervals[k].a, intervals[k].b, points);
    integrand.evaluate(points, values);
    for (std::size_t k = first; k < intervals.size(); ++k)
      applyRule(intervals[k], values.data() + (k - first) * 15 * integrand.m, integrand.m);
  };
  const int pieces = 10;
  for (int k = 0; k < pieces; ++k) {
    intervals.push_back({from + (to - from) * k / pieces,
                         k + 1 == pieces ? to : from + (to - from) * (k + 1) / pieces,
                         {},
                         0.0});
  }
  evaluate(0);
  std::vector<double> total;
  for (;;) {
    total.assign(integrand.m, 0.0);
    double error = 0;
    for (const Interval& interval : intervals) {
      for (std::size_t c = 0; c < integrand.m; ++c) total[c] += interval.sum[c];
      error += interval.error;
    }
    if (!allFinite(total) || !std::isfinite(error)) {
      issueWarning(interpreter, "Q:integral:nonFiniteValue",
                   "integral: the function gave Inf or NaN; the integral may not exist.");
      break;
    }
    if (error <= std::max(absTol, relTol * largestMagnitude(total))) break;
    if (intervals.size() >= kMaxIntervals) {
      issueWarning(interpreter, "Q:integral:maxIntervalCount",
                   "integral: the limit of " + std::to_string(kMaxIntervals) +
                       " subintervals was reached; the error estimate is " + number(error) + ".");
      break;
    }
    const auto worst =
        std::max_element(intervals.begin(), intervals.end(),
                         [](const Interval& x, const Interval& y) { return x.error < y.error; });
    const double middle = 0.5 * (worst->a + worst->b);
    // Pieces this narrow (on the mapped variable, whose range is at most [-1, 1]) come only from
    // an integrand that is not integrable there: rounding would soon put the nodes on the end,
    // count them as 0 and make a divergent integral look converged.
    const double narrowest = 1000 * kEps * std::max(1.0, std::fabs(middle));
    if (worst->b - worst->a < narrowest || middle <= worst->a || middle >= worst->b) {
      issueWarning(interpreter, "Q:integral:minStepSize",
                   "integral: a subinterval became too small to divide near " +
                       number(integrand.pointAt(middle)) +
                       "; the integrand may be singular there.");
      break;
    }
    const std::size_t left = static_cast<std::size_t>(worst - intervals.begin());
    const double end = worst->b;
    worst->b = middle;
    intervals.push_back({middle, end, {}, 0.0});
    // The halves are evaluated together: move the left one next to the right one.
    std::swap(intervals[left], intervals[intervals.size() - 2]);
    evaluate(intervals.size() - 2);
  }
  for (double& v : total) v *= sign;
  if (!arrayValued) {
    results.push_back(Value(total[0]));
    return;
  }
  ArrayPtr out = createArray(zyDOUBLE_CLASS, integrand.dims, false, {});
  std::copy(total.begin(), total.end(), zyGetPr(out.get()));
  results.push_back(Value::adopt(std::move(out)));
}

// ---- quad ----

// quad(f, a, b, tol): adaptive Simpson's rule with f vectorised. The intervals still open are
// divided a level at a time, with one call of f for all the new points of a level.
void builtinQuad(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 3, 4, "quad");
  requireOutputs(nargout, 1, "quad");
  requireFunction(inputs[0], "quad");
  const double a = finiteScalar(inputs[1], "quad", "the lower limit");
  const double b = finiteScalar(inputs[2], "quad", "the upper limit");
  double tol = 1e-6;
  if (inputs.size() == 4 && !inputs[3].isEmpty()) {
    tol = finiteScalar(inputs[3], "quad", "the tolerance");
    if (!(tol > 0)) invalid("quad", "the tolerance must be positive.");
  }
  constexpr std::size_t kMaxEvaluations = 10000;
  Objective f(interpreter, inputs[0], "quad");
  std::vector<double> values;
  const auto evaluate = [&](const std::vector<double>& xs) {
    ValueList arguments;
    arguments.push_back(rowOf(xs));
    const Value result = f.call(arguments);
    f.elements(result, xs.size(), values,
               "the function must return an array the size of its input (write it with .* "
               "./ .^).");
  };
  struct Piece {
    double a, b, fa, fm, fb, whole, tol;
  };
  // Four pieces to start with, from nine equally spaced points.
  std::vector<double> xs(9);
  for (int k = 0; k <= 8; ++k) xs[k] = k == 8 ? b : a + (b - a) * k / 8;
  evaluate(xs);
  std::size_t evaluations = 9;
  std::vector<Piece> open, next;
  for (int k = 0; k < 4; ++k) {
    Piece piece{xs[2 * k], xs[2 * k + 2], values[2 * k], values[2 * k + 1], values[2 * k + 2],
                0,         tol / 4};
    piece.whole = (piece.b - piece.a) / 6 * (piece.fa + 4 * piece.fm + piece.fb);
    open.push_back(piece);
  }
  double sum = 0;
  bool limited = false, tooSmall = false;
  while (!open.empty()) {
    interpreter.poll();
    if (evaluations + 2 * open.size() > kMaxEvaluations) {
      limited = true;
      for (const Piece& piece : open) sum += piece.whole;
      break;
    }
    xs.clear();
    for (const Piece& piece : open) {
      xs.push_back(0.75 * piece.a + 0.25 * piece.b);
      xs.push_back(0.25 * piece.a + 0.75 * piece.b);
    }
    evaluate(xs);
    evaluations += xs.size();
    next.clear();
    for (std::size_t k = 0; k < open.size(); ++k) {
      const Piece& piece = open[k];
      const double middle = 0.5 * (piece.a + piece.b), step = (piece.b - piece.a) / 12;
      const double fl = values[2 * k], fr = values[2 * k + 1];
      const double left = step * (piece.fa + 4 * fl + piece.fm);
      const double right = step * (piece.fm + 4 * fr + piece.fb);
      const double difference = left + right - piece.whole;
      const bool small =
          std::fabs(piece.b - piece.a) <= 16 * kEps * std::max(std::fabs(a), std::fabs(b));
      if (std::fabs(difference) <= 15 * piece.tol || small || !std::isfinite(difference)) {
        tooSmall = tooSmall || (small && std::fabs(difference) > 15 * piece.tol);
        sum += left + right + difference / 15;
        continue;
      }
      next.push_back({piece.a, middle, piece.fa, fl, piece.fm, left, piece.tol / 2});
      next.push_back({middle, piece.b, piece.fm, fr, piece.fb, right, piece.tol / 2});
    }
    open.swap(next);
  }
  if (limited) {
    issueWarning(interpreter, "Q:quad:maxFunEvals",
                 "quad: the limit of " + std::to_string(kMaxEvaluations) +
                     " function evaluations was reached; the result may be inaccurate.");
  } else if (tooSmall) {
    issueWarning(interpreter, "Q:quad:minStepSize",
                 "quad: the smallest subinterval was reached; the integrand may be singular.");
  }
  if (!std::isfinite(sum)) {
    issueWarning(interpreter, "Q:quad:nonFiniteValue", "quad: the function gave Inf or NaN.");
  }
  results.push_back(Value(sum));
}

// ---- ode45 ----

// The Dormand-Prince 5(4) pair: nodes, stages, the fifth-order weights (the last stage's row,
// so that its value at the new point is the next step's first stage) and the weights of the
// difference between the fifth- and fourth-order solutions, which estimates the error.
const double kNodes[7] = {0, 1.0 / 5, 3.0 / 10, 4.0 / 5, 8.0 / 9, 1, 1};
const double kStages[7][6] = {
    {0, 0, 0, 0, 0, 0},
    {1.0 / 5, 0, 0, 0, 0, 0},
    {3.0 / 40, 9.0 / 40, 0, 0, 0, 0},
    {44.0 / 45, -56.0 / 15, 32.0 / 9, 0, 0, 0},
    {19372.0 / 6561, -25360.0 / 2187, 64448.0 / 6561, -212.0 / 729, 0, 0},
    {9017.0 / 3168, -355.0 / 33, 46732.0 / 5247, 49.0 / 176, -5103.0 / 18656, 0},
    {35.0 / 384, 0, 500.0 / 1113, 125.0 / 192, -2187.0 / 6784, 11.0 / 84}};
const double kErrorWeights[7] = {71.0 / 57600,      0,          -71.0 / 16695, 71.0 / 1920,
                                 -17253.0 / 339200, 22.0 / 525, -1.0 / 40};
// The weights of the continuous extension's highest-order term.
const double kDenseWeights[7] = {-12715105075.0 / 11282082432.0,  0,
                                 87487479700.0 / 32700410799.0,   -10690763975.0 / 1880347072.0,
                                 701980252875.0 / 199316789632.0, -1453857185.0 / 822651844.0,
                                 69997945.0 / 29380423.0};
constexpr std::size_t kMaxOdeSteps = 1000000;

// ode45(f, tspan, y0, options): [t, y] with t a column and y one row per time.
void builtinOde45(Interpreter& interpreter, int nargout, ValueList& results, ValueList& inputs) {
  requireInputs(inputs, 3, 4, "ode45");
  requireOutputs(nargout, 2, "ode45");
  if (nargout < 2) {
    raise("Q:NotEnoughOutputs", "ode45 gives its solution as two outputs: [t, y] = ode45(...).");
  }
  requireFunction(inputs[0], "ode45");
  std::vector<double> times, y;
  if (!realElements(inputs[1], times) || times.size() < 2 || !allFinite(times)) {
    invalid("ode45", "tspan must hold at least two finite real times.");
  }
  const double t0 = times.front(), tEnd = times.back();
  const double direction = tEnd > t0 ? 1 : -1;
  for (std::size_t k = 1; k < times.size(); ++k) {
    if (!((times[k] - times[k - 1]) * direction > 0)) {
      invalid("ode45", "tspan must be strictly increasing or strictly decreasing.");
    }
  }
  if (!realElements(inputs[2], y) || y.empty() || !allFinite(y)) {
    invalid("ode45", "y0 must be a non-empty finite real vector.");
  }
  const std::size_t n = y.size();
  const Value options = inputs.size() == 4 ? inputs[3] : Value();
  if (inputs.size() == 4) requireOptions(options, "ode45");
  const double relTol = positiveOption(options, "RelTol", 1e-3, "ode45");
  std::vector<double> absTol(n, 1e-6);
  if (const zyArray* given = optionValue(options, "AbsTol")) {
    std::vector<double> elements;
    if (!realElements(Value::share(given), elements) ||
        (elements.size() != 1 && elements.size() != n) || !allFinite(elements) ||
        !std::all_of(elements.begin(), elements.end(), [](double v) { return v > 0; })) {
      invalid("ode45", "AbsTol must be a positive scalar or one per component of y.");
    }
    for (std::size_t i = 0; i < n; ++i) absTol[i] = elements[elements.size() == 1 ? 0 : i];
  }
  const double span = std::fabs(tEnd - t0);
  const double maxStep = positiveOption(options, "MaxStep", 0.1 * span, "ode45");
  const double initialStep = positiveOption(options, "InitialStep", 0, "ode45");
  const double refineOption = positiveOption(options, "Refine", 4, "ode45");
  if (refineOption != std::floor(refineOption) || refineOption > 1000) {
    invalid("ode45", "Refine must be a whole number from 1 to 1000.");
  }
  const std::size_t refine = times.size() == 2 ? static_cast<std::size_t>(refineOption) : 1;

  Objective f(interpreter, inputs[0], "ode45");
  const auto slope = [&](double t, const std::vector<double>& state, std::vector<double>& out) {
    ArrayPtr column = checked(zyCreateDoubleMatrix(n, 1, zyREAL));
    std::copy(state.begin(), state.end(), zyGetPr(column.get()));
    ValueList arguments;
    arguments.push_back(Value(t));
    arguments.push_back(Value::adopt(std::move(column)));
    const Value value = f.call(arguments);
    f.elements(value, n, out,
               ("f(t, y) must return a real column of " + std::to_string(n) + " values.").c_str());
  };

  std::vector<double> outTimes{t0}, outStates(y);
  std::size_t nextTime = 1;  // the next of several requested times
  const auto record = [&](double t, const std::vector<double>& state) {
    outTimes.push_back(t);
    outStates.insert(outStates.end(), state.begin(), state.end());
  };

  std::vector<std::vector<double>> k(7, std::vector<double>(n));
  slope(t0, y, k[0]);
  // The first step: from the sizes of y and of its derivatives (a trial Euler step), so that
  // the first step is neither wasted nor much too small.
  double h = initialStep;
  if (h == 0) {
    const auto scaledNorm = [&](const std::vector<double>& v) {
      double sum = 0;
      for (std::size_t i = 0; i < n; ++i) {
        const double scaled = v[i] / (absTol[i] + relTol * std::fabs(y[i]));
        sum += scaled * scaled;
      }
      return std::sqrt(sum / static_cast<double>(n));
    };
    const double d0 = scaledNorm(y), d1 = scaledNorm(k[0]);
    double h0 = d0 < 1e-5 || d1 < 1e-5 ? 1e-6 : 0.01 * d0 / d1;
    h0 = std::min({h0, maxStep, span});
    std::vector<double> trial(n), change(n);
    for (std::size_t i = 0; i < n; ++i) trial[i] = y[i] + direction * h0 * k[0][i];
    slope(t0 + direction * h0, trial, k[1]);
    for (std::size_t i = 0; i < n; ++i) change[i] = k[1][i] - k[0][i];
    const double d2 = scaledNorm(change) / h0;
    const double largest = std::max(d1, d2);
    const double h1 = largest <= 1e-15 ? std::max(1e-6, h0 * 1e-3) : std::pow(0.01 / largest, 0.2);
    h = std::min(100 * h0, h1);
  }
  h = std::min({h, maxStep, span});

  std::vector<double> state(n), next(n);
  double t = t0;
  bool rejected = false;
  for (std::size_t attempt = 0;; ++attempt) {
    if (attempt >= kMaxOdeSteps) {
      issueWarning(interpreter, "Q:ode45:maxSteps",
                   "ode45: stopped at t = " + number(t) + " after " + std::to_string(kMaxOdeSteps) +
                       " steps.");
      break;
    }
    interpreter.poll();
    const double minStep = 16 * kEps * std::max(std::fabs(t), std::numeric_limits<double>::min());
    h = std::max(minStep, std::min(h, maxStep));
    const double left = std::fabs(tEnd - t);
    const bool last = 1.1 * h >= left;
    if (last) h = left;
    const double signedStep = direction * h;
    for (int s = 1; s < 7; ++s) {
      for (std::size_t i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = 0; j < s; ++j) sum += kStages[s][j] * k[j][i];
        (s < 6 ? state : next)[i] = y[i] + signedStep * sum;
      }
      const double stageTime = s == 6 ? (last ? tEnd : t + signedStep) : t + kNodes[s] * signedStep;
      slope(stageTime, s < 6 ? state : next, k[s]);
    }
    double error = 0;
    for (std::size_t i = 0; i < n; ++i) {
      double sum = 0;
      for (int j = 0; j < 7; ++j) sum += kErrorWeights[j] * k[j][i];
      const double scale =
          std::max(absTol[i], relTol * std::max(std::fabs(y[i]), std::fabs(next[i])));
      error = std::max(error, std::fabs(h * sum) / scale);
      if (std::isnan(sum) || !std::isfinite(next[i])) error = HUGE_VAL;
    }
    if (!(error <= 1)) {
      if (h <= minStep) {
        issueWarning(
            interpreter, "Q:ode45:stepTooSmall",
            "ode45: the tolerances cannot be met without a step below the smallest allowed (" +
                number(minStep) + ") at t = " + number(t) + ".");
        break;
      }
      h *= std::max(0.1, 0.8 * std::pow(error, -0.2));
      rejected = true;
      continue;
    }
    const double newTime = last ? tEnd : t + signedStep;
    // The method's continuous extension, of fourth order inside the step: a polynomial in
    // theta through y and the new point, with the slopes of both ends.
    const auto interpolate = [&](double theta, std::vector<double>& out) {
      for (std::size_t i = 0; i < n; ++i) {
        const double difference = next[i] - y[i];
        const double first = signedStep * k[0][i] - difference;
        const double second = difference - signedStep * k[6][i] - first;
        double weighted = 0;
        for (int j = 0; j < 7; ++j) weighted += kDenseWeights[j] * k[j][i];
        out[i] =
            y[i] + theta * (difference +
                            (1 - theta) *
                                (first + theta * (second + (1 - theta) * signedStep * weighted)));
      }
    };
    if (times.size() == 2) {
      for (std::size_t r = 1; r < refine; ++r) {
        const double theta = static_cast<double>(r) / static_cast<double>(refine);
        interpolate(theta, state);
        record(t + theta * signedStep, state);
      }
      record(newTime, next);
    } else {
      while (nextTime < times.size() && (times[nextTime] - newTime) * direction <= 0) {
        if (times[nextTime] == newTime) {
          record(newTime, next);
        } else {
          interpolate((times[nextTime] - t) / signedStep, state);
          record(times[nextTime], state);
        }
        ++nextTime;
      }
    }
    const double growth =
        error == 0 ? 5 : std::min(5.0, std::max(0.2, 0.9 * std::pow(error, -0.2)));
    h *= rejected ? std::min(1.0, growth) : growth;
    rejected = false;
    t = newTime;
    y.swap(next);
    k[0].swap(k[6]);
    if (last) break;
  }
  const std::size_t count = outTimes.size();
  ArrayPtr timeColumn = checked(zyCreateDoubleMatrix(count, 1, zyREAL));
  std::copy(outTimes.begin(), outTimes.end(), zyGetPr(timeColumn.get()));
  ArrayPtr solution = checked(zyCreateDoubleMatrix(count, n, zyREAL));
  double* data = zyGetPr(solution.get());
  for (std::size_t r = 0; r < count; ++r)
    for (std::size_t i = 0; i < n; ++i) data[r + count * i] = outStates[r * n + i];
  results.push_back(Value::adopt(std::move(timeColumn)));
  results.push_back(Value::adopt(std::move(solution)));
}

}  // namespace

void addNumericalBuiltins(std::vector<InterpreterBuiltinEntry>& table) {
  table.insert(table.end(), {
                                {"fminbnd", builtinFminbnd},
                                {"fminsearch", builtinFminsearch},
                                {"fzero", builtinFzero},
                                {"integral", builtinIntegral},
                                {"ode45", builtinOde45},
                                {"odeset", builtinOdeset},
                                {"optimget", builtinOptimget},
                                {"optimset", builtinOptimset},
                                {"quad", builtinQuad},
                            });
}

}  // namespace q
