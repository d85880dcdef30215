// Data analysis built-ins: accumulating, counting into bins, sorting rows, polynomials,
// interpolation (the cubic methods through signal.cpp), integration, convolution and filtering,
// products of vectors.
//
// Everything is computed in double. Inputs are read as real arrays of any arithmetic class
// (sparse ones made full); complex inputs are refused.

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "engine/ops/shape.hpp"
#include "engine/ops/support.hpp"

namespace q::ops::detail {

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

using Values = RealValues;

ArrayPtr doubles(const Dims& dims, const std::vector<double>& values) {
  return fromDoubles(zyDOUBLE_CLASS, dims, values.data(), nullptr);
}

bool isColumn(const Dims& dims) { return dims.size() == 2 && dims[1] == 1 && dims[0] != 1; }

// ---- accumarray -------------------------------------------------------------------------------

void accumarrayBuiltin(Call& call) {
  call.check(2, 4, 1);
  if (call.nargin == 4) {
    raise("Q:invalidInput", "accumarray: a function to combine the values is not supported.");
  }
  const Values subs = realValues(call.in(0), "accumarray", "the subscripts");
  if (subs.dims.size() != 2 || (subs.dims[1] != 1 && subs.dims[1] != 2)) {
    raise("Q:invalidInput", "accumarray: the subscripts must be a column or have two columns.");
  }
  const size_t count = subs.dims[0], width = subs.dims[1];
  for (double s : subs.v) {
    if (!(s >= 1) || s != std::floor(s) || s > 1e15) {
      raise("Q:invalidInput", "accumarray: the subscripts must be positive whole numbers.");
    }
  }
  const Values vals = realValues(call.in(1), "accumarray", "the values");
  if (vals.size() != 1 && vals.size() != count) {
    raise("Q:invalidInput", "accumarray: give one value, or one value for each subscript.");
  }
  size_t rows = 0, columns = width == 1 ? 1 : 0;
  for (size_t k = 0; k < count; ++k) {
    rows = std::max(rows, static_cast<size_t>(subs[k]));
    if (width == 2) columns = std::max(columns, static_cast<size_t>(subs[count + k]));
  }
  if (call.nargin == 3) {
    const Values sz = realValues(call.in(2), "accumarray", "the size");
    if (sz.size() != 2 || sz[0] < 0 || sz[1] < 0 || sz[0] != std::floor(sz[0]) ||
        sz[1] != std::floor(sz[1])) {
      raise("Q:invalidInput", "accumarray: the size must be two non-negative whole numbers.");
    }
    if (sz[0] < rows || sz[1] < columns) {
      raise("Q:invalidInput", "accumarray: the size is too small for the subscripts.");
    }
    rows = static_cast<size_t>(sz[0]);
    columns = static_cast<size_t>(sz[1]);
  }
  const Dims dims{rows, columns};
  std::vector<double> out(countOf(dims), 0.0);
  for (size_t k = 0; k < count; ++k) {
    const size_t r = static_cast<size_t>(subs[k]) - 1;
    const size_t c = width == 2 ? static_cast<size_t>(subs[count + k]) - 1 : 0;
    out[r + rows * c] += vals.size() == 1 ? vals[0] : vals[k];
  }
  call.out(0, doubles(dims, out));
}

// ---- sortrows ---------------------------------------------------------------------------------

void sortrowsBuiltin(Call& call) {
  call.check(1, 2, 2);
  const zyArray* input = call.in(0);
  const Dims dims = dimsOf(input);
  if (dims.size() != 2) raise("Q:invalidInput", "sortrows: the input must be a matrix.");
  const size_t rows = dims[0], columns = dims[1];
  // Key columns, zero-based, with their direction.
  std::vector<std::pair<size_t, bool>> keys;
  if (call.nargin == 2) {
    const Values wanted = vectorValues(call.in(1), "sortrows", "the columns");
    for (double c : wanted.v) {
      if (c == 0 || c != std::floor(c) || std::fabs(c) > static_cast<double>(columns)) {
        raise("Q:invalidInput", "sortrows: the columns must be non-zero column numbers of A.");
      }
      keys.push_back({static_cast<size_t>(std::fabs(c)) - 1, c < 0});
    }
  } else {
    for (size_t c = 0; c < columns; ++c) keys.push_back({c, false});
  }
  std::vector<size_t> order(rows);
  std::iota(order.begin(), order.end(), size_t(0));
  if (input->classId() == zyCELL_CLASS) {
    if (!isCellOfText(input) || columns != 1) {
      raise("Q:invalidInput", "sortrows: a cell array must be one column of character vectors.");
    }
    std::vector<std::u16string> texts;
    for (size_t i = 0; i < rows; ++i) texts.push_back(unitsOf(zyGetCellConst(input, i)));
    const bool descending = !keys.empty() && keys[0].second;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      return descending ? texts[y] < texts[x] : texts[x] < texts[y];
    });
  } else {
    const Values a = realValues(input, "sortrows", "the input");
    // NaN comes after every number going up and before every number going down.
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      for (const auto& [column, descending] : keys) {
        const double p = a[x + rows * column], q = a[y + rows * column];
        const bool pn = std::isnan(p), qn = std::isnan(q);
        if (pn || qn) {
          if (pn && qn) continue;
          return descending ? pn : qn;
        }
        if (p != q) return descending ? p > q : p < q;
      }
      return false;
    });
  }
  std::vector<size_t> source(rows * columns);
  for (size_t c = 0; c < columns; ++c) {
    for (size_t r = 0; r < rows; ++r) source[r + rows * c] = order[r] + rows * c;
  }
  FullArray full(input);
  call.out(0, gather(full.get(), dims, source));
  if (call.nargout > 1) {
    std::vector<double> index(rows);
    for (size_t r = 0; r < rows; ++r) index[r] = static_cast<double>(order[r] + 1);
    call.out(1, doubles({rows, 1}, index));
  }
}

// ---- histc, histcounts ------------------------------------------------------------------------

Values edgesArgument(const zyArray* a, const char* function) {
  const Values edges = vectorValues(a, function, "the edges");
  for (size_t k = 0; k < edges.size(); ++k) {
    if (std::isnan(edges[k]) || (k > 0 && edges[k] < edges[k - 1])) {
      raise("Q:invalidInput", std::string(function) + ": the edges must be non-decreasing.");
    }
  }
  return edges;
}

// The zero-based index of the last edge not above v, or -1 (none, or v is NaN).
long lastEdgeAtMost(const Values& edges, double v) {
  if (std::isnan(v)) return -1;
  return static_cast<long>(std::upper_bound(edges.v.begin(), edges.v.end(), v) -
                           edges.v.begin()) - 1;
}

void histcBuiltin(Call& call) {
  call.check(2, 2, 2);
  const Values x = vectorValues(call.in(0), "histc", "the data");
  const Values edges = edgesArgument(call.in(1), "histc");
  const long last = static_cast<long>(edges.size()) - 1;
  std::vector<double> counts(edges.size(), 0.0), bins(x.size(), 0.0);
  for (size_t i = 0; i < x.size(); ++i) {
    const long k = lastEdgeAtMost(edges, x[i]);
    if (k < 0 || (k == last && x[i] != edges[static_cast<size_t>(last)])) continue;
    counts[static_cast<size_t>(k)] += 1;
    bins[i] = static_cast<double>(k + 1);
  }
  call.out(0, doubles(edges.dims, counts));
  if (call.nargout > 1) call.out(1, doubles(x.dims, bins));
}

void histcountsBuiltin(Call& call) {
  call.check(2, 2, 1);
  if (call.in(1)->numberOfElements() == 1) {
    raise("Q:invalidInput", "histcounts: give the bin edges; a number of bins is not supported.");
  }
  const Values x = realValues(call.in(0), "histcounts", "the data");
  const Values edges = edgesArgument(call.in(1), "histcounts");
  if (edges.size() < 2) raise("Q:invalidInput", "histcounts: give at least two edges.");
  const long bins = static_cast<long>(edges.size()) - 1;
  std::vector<double> counts(static_cast<size_t>(bins), 0.0);
  for (double v : x.v) {
    long k = lastEdgeAtMost(edges, v);
    if (k == bins && v == edges[static_cast<size_t>(bins)]) k = bins - 1;  // closed last bin
    if (k >= 0 && k < bins) counts[static_cast<size_t>(k)] += 1;
  }
  call.out(0, doubles({1, counts.size()}, counts));
}

// ---- polyval, polyfit -------------------------------------------------------------------------

void polyvalBuiltin(Call& call) {
  call.check(2, 2, 1);
  const Values p = vectorValues(call.in(0), "polyval", "the coefficients");
  Values x = realValues(call.in(1), "polyval", "the points");
  for (double& v : x.v) {
    double sum = 0;
    for (double c : p.v) sum = sum * v + c;
    v = sum;
  }
  call.out(0, doubles(x.dims, x.v));
}

// Least squares solution of the m-by-n system A c = b (m >= n, A column-major) by Householder
// reflections; raises when A has dependent columns.
std::vector<double> leastSquares(std::vector<double> A, std::vector<double> b, size_t m,
                                 size_t n) {
  std::vector<double> v(m);
  double largest = 0;
  for (size_t k = 0; k < n; ++k) {
    double norm = 0;
    for (size_t i = k; i < m; ++i) norm += A[i + m * k] * A[i + m * k];
    norm = std::sqrt(norm);
    const double alpha = A[k + m * k] > 0 ? -norm : norm;
    for (size_t i = k; i < m; ++i) v[i] = A[i + m * k];
    v[k] -= alpha;
    double vv = 0;
    for (size_t i = k; i < m; ++i) vv += v[i] * v[i];
    if (vv > 0) {
      for (size_t j = k; j < n; ++j) {
        double s = 0;
        for (size_t i = k; i < m; ++i) s += v[i] * A[i + m * j];
        s = 2 * s / vv;
        for (size_t i = k; i < m; ++i) A[i + m * j] -= s * v[i];
      }
      double s = 0;
      for (size_t i = k; i < m; ++i) s += v[i] * b[i];
      s = 2 * s / vv;
      for (size_t i = k; i < m; ++i) b[i] -= s * v[i];
    }
    largest = std::max(largest, std::fabs(A[k + m * k]));
  }
  std::vector<double> c(n);
  for (size_t k = n; k-- > 0;) {
    const double pivot = A[k + m * k];
    if (!(std::fabs(pivot) > 1e-12 * largest)) {
      raise("Q:invalidInput", "polyfit: the points do not determine a polynomial of that degree.");
    }
    double sum = b[k];
    for (size_t j = k + 1; j < n; ++j) sum -= A[k + m * j] * c[j];
    c[k] = sum / pivot;
  }
  return c;
}

void polyfitBuiltin(Call& call) {
  call.check(3, 3, 1);
  const Values x = vectorValues(call.in(0), "polyfit", "x");
  const Values y = vectorValues(call.in(1), "polyfit", "y");
  if (x.size() != y.size()) raise("Q:invalidInput", "polyfit: x and y must have equal lengths.");
  const double degree = scalarArgument(call.in(2), "polyfit", "the degree");
  if (!(degree >= 0) || degree != std::floor(degree)) {
    raise("Q:invalidInput", "polyfit: the degree must be a non-negative whole number.");
  }
  const size_t m = x.size();
  if (degree + 1 > static_cast<double>(m)) {
    raise("Q:invalidInput", "polyfit: a fit of degree n needs at least n + 1 points.");
  }
  const size_t n = static_cast<size_t>(degree) + 1;
  for (size_t i = 0; i < m; ++i) {
    if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
      raise("Q:invalidInput", "polyfit: the points must be finite.");
    }
  }
  std::vector<double> A(m * n);  // Vandermonde matrix, highest power first
  for (size_t i = 0; i < m; ++i) {
    double power = 1;
    for (size_t j = n; j-- > 0;) {
      A[i + m * j] = power;
      power *= x[i];
    }
  }
  call.out(0, doubles({1, n}, leastSquares(std::move(A), y.v, m, n)));
}

// ---- interp1 ----------------------------------------------------------------------------------

enum class Method { Linear, Nearest, Previous, Next, Spline, Pchip };

void interp1Builtin(Call& call) {
  call.check(3, 5, 1);
  Values x = vectorValues(call.in(0), "interp1", "x");
  Values y = vectorValues(call.in(1), "interp1", "y");
  Values xi = realValues(call.in(2), "interp1", "the query points");
  if (x.size() != y.size()) raise("Q:invalidInput", "interp1: x and y must have equal lengths.");
  if (x.size() < 2) raise("Q:invalidInput", "interp1: give at least two points.");
  Method method = Method::Linear;
  if (call.nargin >= 4) {
    const std::string name = lower(textArgument(call.in(3), "interp1"));
    if (name == "linear") method = Method::Linear;
    else if (name == "nearest") method = Method::Nearest;
    else if (name == "previous") method = Method::Previous;
    else if (name == "next") method = Method::Next;
    else if (name == "spline") method = Method::Spline;
    else if (name == "pchip" || name == "cubic") method = Method::Pchip;
    else raise("Q:invalidInput", "interp1: unknown method '" + name + "'.");
  }
  bool extrapolate = false;
  double outside = kNaN;
  if (call.nargin == 5) {
    if (call.in(4)->classId() == zyCHAR_CLASS) {
      if (lower(textArgument(call.in(4), "interp1")) != "extrap") {
        raise("Q:invalidInput", "interp1: the fifth argument is 'extrap' or a value.");
      }
      extrapolate = true;
    } else {
      outside = scalarArgument(call.in(4), "interp1", "the value outside");
    }
  }
  const size_t n = x.size();
  if (x[1] < x[0]) {
    std::reverse(x.v.begin(), x.v.end());
    std::reverse(y.v.begin(), y.v.end());
  }
  for (size_t k = 1; k < n; ++k) {
    if (!(x[k] > x[k - 1])) {
      raise("Q:invalidInput", "interp1: x must be strictly increasing or strictly decreasing.");
    }
  }
  std::vector<double> slopes;
  if (method == Method::Spline || method == Method::Pchip) {
    if (!std::isfinite(x[0]) || !std::isfinite(x[n - 1])) {
      raise("Q:invalidInput", "interp1: x must be finite for cubic interpolation.");
    }
    slopes = cubicSlopes(x.v, y.v, method == Method::Pchip);
  }
  for (double& v : xi.v) {
    if (std::isnan(v)) continue;
    const bool inside = v >= x[0] && v <= x[n - 1];
    if (!inside && !extrapolate) {
      v = outside;
      continue;
    }
    // j: the last point not above v (-1 before the first point).
    const long j = static_cast<long>(std::upper_bound(x.v.begin(), x.v.end(), v) -
                                     x.v.begin()) - 1;
    if (j >= 0 && x[static_cast<size_t>(j)] == v) {
      v = y[static_cast<size_t>(j)];
      continue;
    }
    const size_t k = static_cast<size_t>(std::clamp(j, 0L, static_cast<long>(n) - 2));
    switch (method) {
      case Method::Linear:
        v = y[k] + (v - x[k]) / (x[k + 1] - x[k]) * (y[k + 1] - y[k]);
        break;
      case Method::Nearest:
        v = v - x[k] < x[k + 1] - v ? y[k] : y[k + 1];
        break;
      case Method::Previous:
        v = j < 0 ? kNaN : y[static_cast<size_t>(j)];
        break;
      case Method::Next:
        v = j + 1 >= static_cast<long>(n) ? kNaN : y[static_cast<size_t>(j + 1)];
        break;
      case Method::Spline:
      case Method::Pchip:
        v = hermiteValue(x.v, y.v, slopes, v);
        break;
    }
  }
  call.out(0, doubles(xi.dims, xi.v));
}

// ---- trapz, cumtrapz ---------------------------------------------------------------------------

// The trapezoid rule along the first dimension longer than one, with unit spacing or the points
// given: the whole integral (trapz) or the running one, starting at 0 (cumtrapz).
template <bool cumulative>
void trapzBuiltin(Call& call) {
  const char* name = cumulative ? "cumtrapz" : "trapz";
  call.check(1, 2, 1);
  const Values y = realValues(call.in(call.nargin - 1), name, "y");
  const Layout l = layoutFor(y.dims, firstNonSingleton(y.dims));
  std::vector<double> x(l.length);
  if (call.nargin == 2) {
    const Values given = vectorValues(call.in(0), name, "x");
    if (given.size() != l.length) {
      raise("Q:invalidInput", std::string(name) + ": x must have one point for each value of y.");
    }
    x = given.v;
  } else {
    std::iota(x.begin(), x.end(), 1.0);
  }
  std::vector<double> out(cumulative ? y.size() : l.before * l.after, 0.0);
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t i = 0; i < l.before; ++i) {
      double sum = 0;
      for (size_t j = 1; j < l.length; ++j) {
        const size_t at = i + l.before * (j + l.length * o);
        sum += (x[j] - x[j - 1]) * (y[at] + y[at - l.before]) / 2;
        if (cumulative) out[at] = sum;
      }
      if (!cumulative) out[i + l.before * o] = sum;
    }
  }
  call.out(0, doubles(cumulative ? y.dims : l.out, out));
}

// ---- conv, filter -----------------------------------------------------------------------------

void convBuiltin(Call& call) {
  call.check(2, 3, 1);
  const Values a = vectorValues(call.in(0), "conv", "a");
  const Values b = vectorValues(call.in(1), "conv", "b");
  std::string shape = "full";
  if (call.nargin == 3) shape = lower(textArgument(call.in(2), "conv"));
  if (shape != "full" && shape != "same" && shape != "valid") {
    raise("Q:invalidInput", "conv: the shape must be 'full', 'same' or 'valid'.");
  }
  const size_t na = a.size(), nb = b.size();
  std::vector<double> full(na && nb ? na + nb - 1 : 0, 0.0);
  for (size_t i = 0; i < na; ++i) {
    for (size_t j = 0; j < nb; ++j) full[i + j] += a[i] * b[j];
  }
  size_t start = 0, length = full.size();
  if (shape == "same") {
    start = nb / 2;
    length = nb ? na : 0;
  } else if (shape == "valid") {
    start = nb ? nb - 1 : 0;
    length = na >= nb && nb ? na - nb + 1 : 0;
  }
  const std::vector<double> part(full.begin() + static_cast<long>(std::min(start, full.size())),
                                 full.begin() + static_cast<long>(
                                                    std::min(start + length, full.size())));
  const bool column = isColumn(a.dims) && isColumn(b.dims);
  call.out(0, doubles(column ? Dims{part.size(), 1} : Dims{1, part.size()}, part));
}

void filterBuiltin(Call& call) {
  call.check(3, 3, 1);
  Values b = vectorValues(call.in(0), "filter", "b");
  Values a = vectorValues(call.in(1), "filter", "a");
  const Values x = vectorValues(call.in(2), "filter", "x");
  if (a.size() == 0 || a[0] == 0) {
    raise("Q:invalidInput", "filter: the first coefficient of a must not be zero.");
  }
  const double lead = a[0];
  for (double& c : b.v) c /= lead;
  for (double& c : a.v) c /= lead;
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    double sum = 0;
    for (size_t k = 0; k < b.size() && k <= n; ++k) sum += b[k] * x[n - k];
    for (size_t k = 1; k < a.size() && k <= n; ++k) sum -= a[k] * y[n - k];
    y[n] = sum;
  }
  call.out(0, doubles(x.dims, y));
}

// ---- cross, kron, logspace, cummax, cummin ----------------------------------------------------

void crossBuiltin(Call& call) {
  call.check(2, 2, 1);
  const Values a = vectorValues(call.in(0), "cross", "a");
  const Values b = vectorValues(call.in(1), "cross", "b");
  if (a.size() != 3 || b.size() != 3) {
    raise("Q:invalidInput", "cross: a and b must be vectors of three elements.");
  }
  call.out(0, doubles(a.dims, {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                               a[0] * b[1] - a[1] * b[0]}));
}

void kronBuiltin(Call& call) {
  call.check(2, 2, 1);
  const Values a = realValues(call.in(0), "kron", "A");
  const Values b = realValues(call.in(1), "kron", "B");
  if (a.dims.size() != 2 || b.dims.size() != 2) {
    raise("Q:invalidInput", "kron: the inputs must be matrices.");
  }
  const size_t ar = a.dims[0], ac = a.dims[1], br = b.dims[0], bc = b.dims[1];
  const Dims dims{ar * br, ac * bc};
  const size_t rows = dims[0];
  std::vector<double> out(countOf(dims));
  for (size_t j = 0; j < ac; ++j) {
    for (size_t i = 0; i < ar; ++i) {
      for (size_t l = 0; l < bc; ++l) {
        for (size_t k = 0; k < br; ++k) {
          out[(i * br + k) + rows * (j * bc + l)] = a[i + ar * j] * b[k + br * l];
        }
      }
    }
  }
  call.out(0, doubles(dims, out));
}

void logspaceBuiltin(Call& call) {
  call.check(2, 3, 1);
  const double a = scalarArgument(call.in(0), "logspace", "the first exponent");
  const double b = scalarArgument(call.in(1), "logspace", "the last exponent");
  double count = 50;
  if (call.nargin == 3) count = std::floor(scalarArgument(call.in(2), "logspace", "the count"));
  if (!(count < 1e9)) raise("Q:invalidInput", "logspace: the count is too large.");
  const size_t n = count < 1 ? 0 : static_cast<size_t>(count);
  std::vector<double> out(n);
  for (size_t k = 0; k < n; ++k) {
    const double e = k + 1 == n ? b : a + (b - a) * static_cast<double>(k) /
                                              static_cast<double>(n - 1);
    out[k] = std::pow(10.0, e);
  }
  call.out(0, doubles({1, n}, out));
}

// The running largest (or smallest) value along a dimension, leaving NaNs out.
template <bool largest>
void cumulativeExtremeBuiltin(Call& call) {
  const char* name = largest ? "cummax" : "cummin";
  call.check(1, 2, 1);
  Values x = realValues(call.in(0), name, "the input");
  const size_t dim = call.nargin == 2 ? dimensionArgument(call.in(1), name)
                                      : firstNonSingleton(x.dims);
  const Layout l = layoutFor(x.dims, dim);
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t i = 0; i < l.before; ++i) {
      double best = kNaN;
      for (size_t j = 0; j < l.length; ++j) {
        double& v = x.v[i + l.before * (j + l.length * o)];
        if (std::isnan(best) || (largest ? v > best : v < best)) best = std::isnan(v) ? best : v;
        v = best;
      }
    }
  }
  // Numeric classes are kept; char and logical inputs give doubles.
  const zyClassID cls = call.in(0)->classId();
  call.out(0, fromDoubles(isNumericClass(cls) ? cls : zyDOUBLE_CLASS, x.dims, x.v.data(),
                          nullptr));
}

}  // namespace

void addDataAnalysisBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"accumarray", builtin<accumarrayBuiltin>});
  table.push_back({"sortrows", builtin<sortrowsBuiltin>});
  table.push_back({"histc", builtin<histcBuiltin>});
  table.push_back({"histcounts", builtin<histcountsBuiltin>});
  table.push_back({"polyval", builtin<polyvalBuiltin>});
  table.push_back({"polyfit", builtin<polyfitBuiltin>});
  table.push_back({"interp1", builtin<interp1Builtin>});
  table.push_back({"trapz", builtin<trapzBuiltin<false>>});
  table.push_back({"cumtrapz", builtin<trapzBuiltin<true>>});
  table.push_back({"conv", builtin<convBuiltin>});
  table.push_back({"filter", builtin<filterBuiltin>});
  table.push_back({"cross", builtin<crossBuiltin>});
  table.push_back({"kron", builtin<kronBuiltin>});
  table.push_back({"logspace", builtin<logspaceBuiltin>});
  table.push_back({"cummax", builtin<cumulativeExtremeBuiltin<true>>});
  table.push_back({"cummin", builtin<cumulativeExtremeBuiltin<false>>});
}

}  // namespace q::ops::detail
