// Matrix makers: hilb, vander, toeplitz, hankel, pascal, ndgrid, and the numerical gradient.
//
// Everything is computed in double; a single input gives a single result, any other class
// (integer, char, logical) a double one. Complex inputs are refused, sparse ones made full.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

// Largest order of the square makers (an 800 MB result), and largest element count of the other
// results: beyond them a request is a mistake rather than a matrix.
constexpr double kMaxOrder = 1e4;
constexpr double kMaxElements = kMaxOrder * kMaxOrder;

using Values = RealValues;

// The order n of hilb(n) and pascal(n): a nonnegative whole number.
size_t orderArgument(const zyArray* a, const char* function) {
  const double n = scalarArgument(a, function, "the order");
  if (!(n >= 0) || n != std::floor(n) || n > kMaxOrder) {
    raise("Q:invalidInput",
          std::string(function) + ": the order must be a whole number from 0 to 10000.");
  }
  return static_cast<size_t>(n);
}

ArrayPtr result(zyClassID cls, const Dims& dims, const std::vector<double>& values) {
  return fromDoubles(cls, dims, values.data(), nullptr);
}

// hilb(n): H(i, j) = 1 / (i + j - 1).
void hilbBuiltin(Call& call) {
  call.check(1, 1, 1);
  const size_t n = orderArgument(call.in(0), "hilb");
  ArrayPtr out = createUnfilledDouble({n, n});
  double* h = n ? dataOf<double>(out.get()) : nullptr;
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < n; ++i) h[i + n * j] = 1.0 / static_cast<double>(i + j + 1);
  }
  call.out(0, std::move(out));
}

// pascal(n): P(i, j) = nchoosek(i + j - 2, j - 1), each element the sum of the one above and the
// one to the left (exact while the values stay below 2^53).
void pascalBuiltin(Call& call) {
  call.check(1, 1, 1);
  const size_t n = orderArgument(call.in(0), "pascal");
  ArrayPtr out = createUnfilledDouble({n, n});
  double* p = n ? dataOf<double>(out.get()) : nullptr;
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < n; ++i) {
      p[i + n * j] = i == 0 || j == 0 ? 1.0 : p[(i - 1) + n * j] + p[i + n * (j - 1)];
    }
  }
  call.out(0, std::move(out));
}

// vander(v): V(i, j) = v(i)^(n - j) with n = numel(v); the last column is ones.
void vanderBuiltin(Call& call) {
  call.check(1, 1, 1);
  const Values v = vectorValues(call.in(0), "vander", "the input");
  const size_t n = v.size();
  if (static_cast<double>(n) > kMaxOrder) {
    raise("Q:invalidInput", "vander: the vector must have at most 10000 elements.");
  }
  std::vector<double> out(n * n);
  for (size_t i = 0; i < n; ++i) {
    double power = 1;
    for (size_t j = n; j-- > 0;) {
      out[i + n * j] = power;
      power *= v[i];
    }
  }
  call.out(0, result(v.resultClass, {n, n}, out));
}

// toeplitz(c, r): T(i, j) = c(i - j + 1) on and below the diagonal, r(j - i + 1) above it (so
// r(1) is not used); toeplitz(c) is toeplitz(c, c).
// hankel(c, r): H(i, j) = c(i + j - 1) down to the anti-diagonal, r(i + j - m) past it (so r(1)
// is not used); hankel(c) takes zeros for r.
template <bool hankel>
void diagonalConstantBuiltin(Call& call) {
  const char* name = hankel ? "hankel" : "toeplitz";
  call.check(1, 2, 1);
  const Values c = vectorValues(call.in(0), name, "the input");
  const bool hasRow = call.nargin > 1;
  const Values r = vectorValues(call.in(hasRow ? 1 : 0), name, "the input");
  const size_t m = c.size(), n = hasRow ? r.size() : m;
  if (static_cast<double>(m) * static_cast<double>(n) > kMaxElements) {
    raise("Q:outOfMemory", std::string(name) + ": the matrix would be too large.");
  }
  const zyClassID cls = c.resultClass == zySINGLE_CLASS || r.resultClass == zySINGLE_CLASS
                            ? zySINGLE_CLASS
                            : zyDOUBLE_CLASS;
  std::vector<double> out(m * n, 0.0);
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < m; ++i) {
      double value;
      if (hankel) {
        const size_t k = i + j;  // zero-based c(i + j - 1)
        value = k < m ? c[k] : hasRow ? r[k - m + 1] : 0.0;
      } else {
        value = i >= j ? c[i - j] : r[j - i];
      }
      out[i + m * j] = value;
    }
  }
  call.out(0, result(cls, {m, n}, out));
}

// [X1, X2, X3] = ndgrid(x1, x2, x3): Xk varies with xk along dimension k and repeats along the
// others; ndgrid(x) is ndgrid(x, x, ...) with as many inputs as outputs (one output: x(:)).
void ndgridBuiltin(Call& call) {
  call.check(1, 3, 3);
  const int outputs = call.outputsWanted();
  if (call.nargin > 1 && outputs > call.nargin) {
    raise("Q:TooManyOutputs", "ndgrid: give one input, or one input for each output.");
  }
  const int axes = call.nargin == 1 ? outputs : call.nargin;
  std::vector<Values> inputs;
  for (int k = 0; k < axes; ++k)
    inputs.push_back(realValues(call.in(call.nargin == 1 ? 0 : k), "ndgrid", "the input"));
  Dims dims;
  double total = 1;
  for (const Values& x : inputs) {
    dims.push_back(x.size());
    total *= static_cast<double>(x.size());
  }
  if (dims.size() == 1) dims.push_back(1);
  if (total > kMaxElements) raise("Q:outOfMemory", "ndgrid: the grid would be too large.");
  const size_t count = countOf(dims);
  for (int k = 0; k < outputs; ++k) {
    size_t stride = 1;
    for (int d = 0; d < k; ++d) stride *= dims[d];
    const Values& x = inputs[k];
    std::vector<double> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = x[(i / stride) % x.size()];
    call.out(k, result(x.resultClass, dims, out));
  }
}

// The gradient along one dimension of a rows-by-columns matrix: central differences inside,
// one-sided ones at the two ends, zero along a dimension of length 1; divided by the spacing.
std::vector<double> differences(const Values& f, size_t rows, size_t columns, bool alongRows,
                                double spacing) {
  std::vector<double> g(f.size(), 0.0);
  const size_t length = alongRows ? columns : rows, lines = alongRows ? rows : columns;
  const size_t step = alongRows ? rows : 1, lineStep = alongRows ? 1 : rows;
  if (length < 2) return g;
  for (size_t line = 0; line < lines; ++line) {
    const size_t base = line * lineStep;
    auto at = [&](size_t k) { return f[base + k * step]; };
    g[base] = (at(1) - at(0)) / spacing;
    for (size_t k = 1; k + 1 < length; ++k) {
      g[base + k * step] = (at(k + 1) - at(k - 1)) / (2 * spacing);
    }
    g[base + (length - 1) * step] = (at(length - 1) - at(length - 2)) / spacing;
  }
  return g;
}

// gx = gradient(f) of a vector: along it. [gx, gy] = gradient(F) of a matrix: gx along the rows
// (across the columns), gy down the columns. gradient(F, h) and gradient(F, hx, hy) give the
// spacings (scalars).
void gradientBuiltin(Call& call) {
  call.check(1, 3, 2);
  const Values f = realValues(call.in(0), "gradient", "the input");
  if (f.dims.size() != 2) raise("Q:invalidInput", "gradient: the input must be 2-D.");
  double spacing[2] = {1, 1};
  for (int k = 1; k < call.nargin; ++k) {
    const double h = scalarArgument(call.in(k), "gradient", "the spacing");
    if (!(h != 0) || !std::isfinite(h)) {
      raise("Q:invalidInput", "gradient: the spacing must be a finite nonzero scalar.");
    }
    spacing[k - 1] = h;
  }
  if (call.nargin == 2) spacing[1] = spacing[0];
  const size_t rows = f.dims[0], columns = f.dims[1];
  if (call.nargout <= 1 && (rows == 1 || columns == 1)) {
    // A vector's gradient follows the vector, whichever way it points.
    return call.out(
        0, result(f.resultClass, f.dims, differences(f, rows, columns, columns > 1, spacing[0])));
  }
  call.out(0, result(f.resultClass, f.dims, differences(f, rows, columns, true, spacing[0])));
  if (call.nargout > 1) {
    call.out(1, result(f.resultClass, f.dims, differences(f, rows, columns, false, spacing[1])));
  }
}

}  // namespace

void addMatrixMakerBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"gradient", builtin<gradientBuiltin>});
  table.push_back({"hankel", builtin<diagonalConstantBuiltin<true>>});
  table.push_back({"hilb", builtin<hilbBuiltin>});
  table.push_back({"ndgrid", builtin<ndgridBuiltin>});
  table.push_back({"pascal", builtin<pascalBuiltin>});
  table.push_back({"toeplitz", builtin<diagonalConstantBuiltin<false>>});
  table.push_back({"vander", builtin<vanderBuiltin>});
}

}  // namespace q::ops::detail
