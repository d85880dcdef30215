// Signal and numeric built-ins: discrete Fourier transforms (fft, ifft, fft2, ifft2), cubic
// interpolation (spline, pchip, and the slopes interp1 shares), interpolation on a grid
// (interp2), and the inverse error functions (erfinv, erfcinv).
//
// Transforms of a power-of-two length use an iterative radix-2 FFT; other lengths use
// Bluestein's chirp-z form, a convolution computed by radix-2 FFTs of a power-of-two length at
// least 2n - 1. Everything is computed in double; single inputs give single results.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/ops/support.hpp"

namespace q::ops::detail {

namespace {

using Complex = std::complex<double>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kPi = 3.14159265358979323846;
// The largest transform length taken: 2^31.
const double kLongestTransform = 2147483648.0;

// Trailing dimensions of size 1 beyond the second are not kept.
void trimDims(Dims& dims) {
  while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
}

// ---- Fourier transforms -----------------------------------------------------------------------

// exp(-2 pi i k / n), exact at the quarter turns.
Complex unitRoot(uint64_t k, uint64_t n) {
  k %= n;
  if ((4 * k) % n == 0) {
    static const Complex quarters[] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
    return quarters[4 * k / n];
  }
  const double angle = -2 * kPi * static_cast<double>(k) / static_cast<double>(n);
  return {std::cos(angle), std::sin(angle)};
}

// An in-place radix-2 transform of a power-of-two length with precomputed roots.
class Radix2 {
 public:
  explicit Radix2(size_t n) : n_(n), roots_(n / 2) {
    for (size_t k = 0; k < n / 2; ++k) roots_[k] = unitRoot(k, n);
  }
  size_t size() const { return n_; }

  // Forward transform (exp(-...)); the inverse is taken through conjugates by the callers.
  void forward(Complex* a) const {
    for (size_t i = 1, j = 0; i < n_; ++i) {
      size_t bit = n_ >> 1;
      for (; j & bit; bit >>= 1) j ^= bit;
      j ^= bit;
      if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t length = 2; length <= n_; length <<= 1) {
      const size_t half = length / 2, step = n_ / length;
      for (size_t start = 0; start < n_; start += length) {
        for (size_t k = 0; k < half; ++k) {
          const Complex t = roots_[k * step] * a[start + k + half];
          a[start + k + half] = a[start + k] - t;
          a[start + k] += t;
        }
      }
    }
  }

 private:
  size_t n_;
  std::vector<Complex> roots_;
};

bool isPowerOfTwo(size_t n) { return n != 0 && (n & (n - 1)) == 0; }

// A forward transform of one length n >= 1, set up once for every slice.
class Transform {
 public:
  explicit Transform(size_t n) : n_(n) {
    if (isPowerOfTwo(n)) {
      radix_ = std::make_unique<Radix2>(n);
      return;
    }
    // Bluestein: X[k] = w[k] * sum_j (x[j] w[j]) conj(w[k - j]) with w[k] = exp(-pi i k^2 / n),
    // a circular convolution of length m >= 2n - 1. k^2 is taken modulo 2n to keep the angle
    // small and exact.
    size_t m = 1;
    while (m < 2 * n - 1) m <<= 1;
    radix_ = std::make_unique<Radix2>(m);
    chirp_.resize(n);
    for (size_t k = 0; k < n; ++k) {
      const uint64_t square = (static_cast<uint64_t>(k) * k) % (2 * static_cast<uint64_t>(n));
      chirp_[k] = unitRoot(square, 2 * static_cast<uint64_t>(n));
    }
    filter_.assign(m, Complex(0));
    filter_[0] = std::conj(chirp_[0]);
    for (size_t k = 1; k < n; ++k) filter_[k] = filter_[m - k] = std::conj(chirp_[k]);
    radix_->forward(filter_.data());
    work_.resize(m);
  }

  // Transforms n values in place.
  void forward(Complex* a) {
    if (chirp_.empty()) return radix_->forward(a);
    const size_t m = radix_->size();
    std::fill(work_.begin(), work_.end(), Complex(0));
    for (size_t k = 0; k < n_; ++k) work_[k] = a[k] * chirp_[k];
    radix_->forward(work_.data());
    for (size_t k = 0; k < m; ++k) work_[k] = std::conj(work_[k] * filter_[k]);
    radix_->forward(work_.data());  // the inverse transform, through conjugates
    const double scale = 1.0 / static_cast<double>(m);
    for (size_t k = 0; k < n_; ++k) a[k] = std::conj(work_[k]) * scale * chirp_[k];
  }

 private:
  size_t n_;
  std::unique_ptr<Radix2> radix_;
  std::vector<Complex> chirp_, filter_, work_;
};

// Values of an arithmetic array as complex doubles, with its shape and result class.
struct ComplexValues {
  Dims dims;
  std::vector<Complex> v;
  bool real = true;
  zyClassID resultClass = zyDOUBLE_CLASS;
};

ComplexValues complexValues(const zyArray* a, const char* function) {
  if (!isArithmetic(a)) {
    raise("Q:invalidInput", std::string(function) + ": the input must be numeric.");
  }
  FullArray full(a);
  ComplexValues out;
  out.dims = dimsOf(full.get());
  out.real = !isComplex(full.get());
  out.resultClass = full->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  const size_t n = countOf(out.dims);
  out.v.resize(n);
  if (n) {
    DoubleValues re(full.get()), im(full.get(), true);
    for (size_t i = 0; i < n; ++i) out.v[i] = Complex(re[i], im[i]);
  }
  return out;
}

// Appends zeros to, or drops values from, every slice along dim to make its length n.
void resizeAlong(ComplexValues& values, size_t dim, size_t n) {
  const Layout in = layoutFor(values.dims, dim);
  if (in.length == n) return;
  // Sizes whose element count or byte count cannot be represented run out of memory.
  const size_t slices = in.before * in.after;
  if (slices != 0 && n > std::numeric_limits<size_t>::max() / sizeof(Complex) / slices) {
    outOfMemory();
  }
  Dims dims = in.in;
  dims[dim] = n;
  std::vector<Complex> out(countOf(dims));
  const size_t kept = std::min(n, in.length);
  for (size_t o = 0; o < in.after; ++o) {
    for (size_t j = 0; j < kept; ++j) {
      for (size_t i = 0; i < in.before; ++i) {
        out[i + in.before * (j + n * o)] = values.v[i + in.before * (j + in.length * o)];
      }
    }
  }
  trimDims(dims);
  values.dims = dims;
  values.v.swap(out);
}

// The partner of position k of a slice of length n under conjugate symmetry: (n - k) mod n.
bool sliceSymmetric(const std::vector<Complex>& slice) {
  const size_t n = slice.size();
  for (size_t k = 0; k < n; ++k) {
    if (slice[(n - k) % n] != std::conj(slice[k])) return false;
  }
  return true;
}

// Makes the transform of real values exactly conjugate-symmetric, as it is mathematically.
void symmetrizeSlice(std::vector<Complex>& slice) {
  const size_t n = slice.size();
  if (n == 0) return;
  slice[0] = slice[0].real();
  for (size_t k = 1; k <= n / 2; ++k) slice[n - k] = std::conj(slice[k]);
  if (n % 2 == 0) slice[n / 2] = slice[n / 2].real();
}

// Transforms every slice of values along dim. The transform of real values is made exactly
// conjugate-symmetric; for the inverse, returns whether every slice of the input was
// conjugate-symmetric (its transform is then real).
bool transformAlong(ComplexValues& values, size_t dim, bool inverse) {
  const Layout l = layoutFor(values.dims, dim);
  const size_t n = l.length;
  if (values.v.empty()) return true;
  Transform transform(n);
  std::vector<Complex> slice(n);
  bool symmetric = true;
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t i = 0; i < l.before; ++i) {
      Complex* first = values.v.data() + i + l.before * n * o;
      for (size_t j = 0; j < n; ++j) {
        slice[j] = inverse ? std::conj(first[l.before * j]) : first[l.before * j];
      }
      if (inverse && symmetric) symmetric = sliceSymmetric(slice);
      transform.forward(slice.data());
      if (!inverse && values.real) symmetrizeSlice(slice);
      for (size_t j = 0; j < n; ++j) {
        // 0 - imag, not -imag: a zero imaginary part stays +0.
        const Complex flipped(slice[j].real(), 0.0 - slice[j].imag());
        first[l.before * j] = inverse ? flipped / static_cast<double>(n) : slice[j];
      }
    }
  }
  values.real = false;
  return symmetric;
}

// Whether every rows-by-columns page of values is conjugate-symmetric in two dimensions:
// element (r, c) is the conjugate of element ((-r) mod rows, (-c) mod columns).
bool pagesSymmetric(const ComplexValues& values) {
  const size_t rows = values.dims[0], columns = values.dims[1], page = rows * columns;
  if (page == 0) return true;
  for (size_t k = 0; k < values.v.size(); ++k) {
    const size_t base = k - k % page, r = k % page % rows, c = k % page / rows;
    const size_t p = base + (rows - r) % rows + rows * ((columns - c) % columns);
    if (values.v[p] != std::conj(values.v[k])) return false;
  }
  return true;
}

// The same made exact for the two-dimensional transform of real values.
void symmetrizePages(ComplexValues& values) {
  const size_t rows = values.dims[0], columns = values.dims[1], page = rows * columns;
  for (size_t k = 0; k < values.v.size(); ++k) {
    const size_t base = k - k % page, r = k % page % rows, c = k % page / rows;
    const size_t p = base + (rows - r) % rows + rows * ((columns - c) % columns);
    if (p < k) values.v[k] = std::conj(values.v[p]);
    if (p == k) values.v[k] = values.v[k].real();
  }
}

// Reads a transform length: [] (keep the length) or a whole number from 0 to 2^31.
bool lengthArgument(const zyArray* a, const char* function, size_t& n) {
  if (a->numberOfElements() == 0 && isArithmetic(a)) return false;
  const double value = scalarArgument(a, function, "the length");
  if (!(value >= 0) || value != std::floor(value) || value > kLongestTransform) {
    raise("Q:invalidInput",
          std::string(function) + ": the length must be a whole number from 0 to 2^31.");
  }
  n = static_cast<size_t>(value);
  return true;
}

// Drops a trailing 'symmetric' or 'nonsymmetric' of ifft and ifft2 and returns the count of the
// other arguments; 'symmetric' takes the input as conjugate-symmetric (the result is real).
int symmetryFlag(const Call& call, const char* function, bool& symmetric) {
  symmetric = false;
  const zyArray* last = call.in(call.nargin - 1);
  if (call.nargin < 2 || last->classId() != zyCHAR_CLASS) return call.nargin;
  const std::string flag = lower(textArgument(last, function));
  if (flag == "symmetric") {
    symmetric = true;
  } else if (flag != "nonsymmetric") {
    raise("Q:invalidInput",
          std::string(function) + ": the option must be 'symmetric' or 'nonsymmetric'.");
  }
  return call.nargin - 1;
}

ArrayPtr transformResult(const ComplexValues& values, bool realResult) {
  const size_t n = values.v.size();
  std::vector<double> re(n), im(n);
  for (size_t k = 0; k < n; ++k) {
    re[k] = values.v[k].real();
    im[k] = values.v[k].imag();
  }
  return fromDoubles(values.resultClass, values.dims, re.data(), realResult ? nullptr : im.data());
}

// fft(x), fft(x, n), fft(x, n, dim); ifft likewise, with a trailing 'symmetric' allowed.
template <bool inverse>
void fftBuiltin(Call& call) {
  const char* name = inverse ? "ifft" : "fft";
  call.check(1, inverse ? 4 : 3, 1);
  bool symmetric = false;
  const int nargin = inverse ? symmetryFlag(call, name, symmetric) : call.nargin;
  if (nargin > 3) raise("Q:invalidInput", std::string(name) + ": too many arguments.");
  ComplexValues values = complexValues(call.in(0), name);
  const size_t dim = nargin == 3 ? dimensionArgument(call.in(2), name)
                                 : firstNonSingleton(values.dims);
  size_t n = layoutFor(values.dims, dim).length;
  if (nargin >= 2) lengthArgument(call.in(1), name, n);
  resizeAlong(values, dim, n);
  const bool realResult = transformAlong(values, dim, inverse) && inverse;
  call.out(0, transformResult(values, realResult || symmetric));
}

// fft2(x), fft2(x, m, n): along the first dimension, then the second; ifft2 likewise.
template <bool inverse>
void fft2Builtin(Call& call) {
  const char* name = inverse ? "ifft2" : "fft2";
  call.check(1, inverse ? 4 : 3, 1);
  bool symmetric = false;
  const int nargin = inverse ? symmetryFlag(call, name, symmetric) : call.nargin;
  if (nargin == 2 || nargin > 3) {
    raise("Q:invalidInput", std::string(name) + ": give both sizes, or neither.");
  }
  ComplexValues values = complexValues(call.in(0), name);
  if (values.dims.size() < 2) values.dims.resize(2, 1);
  size_t rows = values.dims[0], columns = values.dims[1];
  if (nargin == 3) {
    lengthArgument(call.in(1), name, rows);
    lengthArgument(call.in(2), name, columns);
  }
  resizeAlong(values, 0, rows);
  resizeAlong(values, 1, columns);
  const bool realInput = values.real;
  const bool realResult = inverse && (symmetric || pagesSymmetric(values));
  transformAlong(values, 0, inverse);
  transformAlong(values, 1, inverse);
  if (!inverse && realInput) symmetrizePages(values);
  call.out(0, transformResult(values, realResult));
}

// ---- spline, pchip ----------------------------------------------------------------------------

// Reads the points of spline and pchip (interp1 reads its own): x strictly monotonic and finite,
// y a vector of one value per point (for spline also two more: the end slopes). Decreasing x is
// turned around.
struct Points {
  std::vector<double> x, y;
  bool endSlopes = false;
  double firstSlope = 0, lastSlope = 0;
};

Points pointsArgument(const Call& call, const char* function, bool slopesAllowed) {
  Points points;
  points.x = vectorValues(call.in(0), function, "x").v;
  points.y = vectorValues(call.in(1), function, "y").v;
  const size_t n = points.x.size();
  if (slopesAllowed && points.y.size() == n + 2) {
    points.endSlopes = true;
    points.firstSlope = points.y.front();
    points.lastSlope = points.y.back();
    points.y = std::vector<double>(points.y.begin() + 1, points.y.end() - 1);
  }
  if (points.y.size() != n) {
    raise("Q:invalidInput", std::string(function) + ": x and y must have equal lengths.");
  }
  if (n < 2) raise("Q:invalidInput", std::string(function) + ": give at least two points.");
  if (points.x[1] < points.x[0]) {
    std::reverse(points.x.begin(), points.x.end());
    std::reverse(points.y.begin(), points.y.end());
    std::swap(points.firstSlope, points.lastSlope);
  }
  for (size_t k = 0; k < n; ++k) {
    if (!std::isfinite(points.x[k]) || (k > 0 && !(points.x[k] > points.x[k - 1]))) {
      raise("Q:invalidInput", std::string(function) +
                                  ": x must be finite and strictly increasing or decreasing.");
    }
  }
  return points;
}

// Solves a tridiagonal system (row i: sub[i] at column i - 1, diag[i] at i, super[i] at i + 1)
// by Gaussian elimination with partial pivoting, which fills one more diagonal above.
std::vector<double> solveTridiagonal(std::vector<double> sub, std::vector<double> diag,
                                     std::vector<double> super, std::vector<double> rhs) {
  const size_t n = diag.size();
  super.resize(n, 0.0);
  std::vector<double> second(n, 0.0);  // the filled diagonal: row i, column i + 2
  for (size_t i = 0; i + 1 < n; ++i) {
    if (std::fabs(diag[i]) >= std::fabs(sub[i + 1])) {
      const double m = sub[i + 1] / diag[i];
      diag[i + 1] -= m * super[i];
      rhs[i + 1] -= m * rhs[i];
    } else {
      // Rows i and i + 1 change places, then the new row i + 1 is eliminated.
      const double m = diag[i] / sub[i + 1];
      const double nextDiag = diag[i + 1], nextSuper = super[i + 1];
      diag[i] = sub[i + 1];
      diag[i + 1] = super[i] - m * nextDiag;
      super[i] = nextDiag;
      second[i] = nextSuper;
      super[i + 1] = -m * nextSuper;
      const double r = rhs[i];
      rhs[i] = rhs[i + 1];
      rhs[i + 1] = r - m * rhs[i + 1];
    }
  }
  std::vector<double> x(n);
  for (size_t i = n; i-- > 0;) {
    double sum = rhs[i];
    if (i + 1 < n) sum -= super[i] * x[i + 1];
    if (i + 2 < n) sum -= second[i] * x[i + 2];
    x[i] = sum / diag[i];
  }
  return x;
}

// Spline slopes: not-a-knot ends (the third derivative is continuous at the second and the
// last but one point), or the given end slopes. Two points give the line, three the parabola.
std::vector<double> splineSlopes(const std::vector<double>& x, const std::vector<double>& y,
                                 const Points* ends) {
  const size_t n = x.size();
  std::vector<double> h(n - 1), d(n - 1);
  for (size_t i = 0; i + 1 < n; ++i) {
    h[i] = x[i + 1] - x[i];
    d[i] = (y[i + 1] - y[i]) / h[i];
  }
  if (n == 2 && !(ends && ends->endSlopes)) return {d[0], d[0]};
  if (n == 3 && !(ends && ends->endSlopes)) {
    // The parabola: its derivative is d[0] at the middle of the first interval and d[1] at the
    // middle of the second.
    const double curve = (d[1] - d[0]) / ((h[0] + h[1]) / 2);
    return {d[0] - curve * h[0] / 2, d[0] + curve * h[0] / 2, d[1] + curve * h[1] / 2};
  }
  std::vector<double> sub(n, 0.0), diag(n, 0.0), super(n - 1, 0.0), rhs(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    sub[i] = h[i];
    diag[i] = 2 * (h[i - 1] + h[i]);
    super[i] = h[i - 1];
    rhs[i] = 3 * (h[i] * d[i - 1] + h[i - 1] * d[i]);
  }
  if (ends && ends->endSlopes) {
    diag[0] = diag[n - 1] = 1;
    rhs[0] = ends->firstSlope;
    rhs[n - 1] = ends->lastSlope;
  } else {
    diag[0] = h[1];
    super[0] = h[0] + h[1];
    rhs[0] = ((h[0] + 2 * (h[0] + h[1])) * h[1] * d[0] + h[0] * h[0] * d[1]) / (h[0] + h[1]);
    const double a = h[n - 3], b = h[n - 2];
    sub[n - 1] = a + b;
    diag[n - 1] = a;
    rhs[n - 1] = (b * b * d[n - 3] + (2 * (a + b) + b) * a * d[n - 2]) / (a + b);
  }
  return solveTridiagonal(std::move(sub), std::move(diag), std::move(super), std::move(rhs));
}

double signOf(double v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

// Fritsch-Carlson slopes: zero where the data turns or is flat, else a weighted harmonic mean
// of the neighbouring differences; at the ends a three-point estimate, set to zero when its
// sign differs from the end difference and limited to three times that difference when the
// data turns next to the end. The interpolant is then monotone wherever the data is.
std::vector<double> shapeSlopes(const std::vector<double>& x, const std::vector<double>& y) {
  const size_t n = x.size();
  std::vector<double> h(n - 1), d(n - 1), s(n, 0.0);
  for (size_t i = 0; i + 1 < n; ++i) {
    h[i] = x[i + 1] - x[i];
    d[i] = (y[i + 1] - y[i]) / h[i];
  }
  if (n == 2) return {d[0], d[0]};
  for (size_t k = 1; k + 1 < n; ++k) {
    if (signOf(d[k - 1]) * signOf(d[k]) > 0) {
      const double w1 = 2 * h[k] + h[k - 1], w2 = h[k] + 2 * h[k - 1];
      s[k] = (w1 + w2) / (w1 / d[k - 1] + w2 / d[k]);
    } else if (std::isnan(d[k - 1]) || std::isnan(d[k])) {
      s[k] = kNaN;
    }
  }
  auto end = [](double h0, double h1, double d0, double d1) {
    double slope = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
    if (signOf(slope) != signOf(d0)) {
      slope = std::isnan(slope) ? kNaN : 0;
    } else if (signOf(d0) != signOf(d1) && std::fabs(slope) > std::fabs(3 * d0)) {
      slope = 3 * d0;
    }
    return slope;
  };
  s[0] = end(h[0], h[1], d[0], d[1]);
  s[n - 1] = end(h[n - 2], h[n - 3], d[n - 2], d[n - 3]);
  return s;
}

// Evaluates spline or pchip at the query points (third argument), keeping their shape.
template <bool shapePreserving>
void cubicBuiltin(Call& call) {
  const char* name = shapePreserving ? "pchip" : "spline";
  call.check(3, 3, 1);
  const Points points = pointsArgument(call, name, !shapePreserving);
  RealValues xi = realValues(call.in(2), name, "the query points");
  const std::vector<double> slopes = shapePreserving ? shapeSlopes(points.x, points.y)
                                                     : splineSlopes(points.x, points.y, &points);
  for (double& v : xi.v) v = hermiteValue(points.x, points.y, slopes, v);
  call.out(0, fromDoubles(zyDOUBLE_CLASS, xi.dims, xi.v.data(), nullptr));
}

// ---- interp2 ----------------------------------------------------------------------------------

// The grid coordinates of interp2: a vector, or a meshgrid matrix whose first row (for x) or
// first column (for y) is taken; strictly increasing and finite.
std::vector<double> gridAxis(const zyArray* a, bool alongColumns, size_t count) {
  const RealValues v = realValues(a, "interp2", alongColumns ? "X" : "Y");
  std::vector<double> axis;
  if (v.dims.size() == 2 && (v.dims[0] == 1 || v.dims[1] == 1)) {
    axis = v.v;
  } else if (v.dims.size() == 2) {
    const size_t rows = v.dims[0];
    if (alongColumns) {
      for (size_t c = 0; c < v.dims[1]; ++c) axis.push_back(v.v[rows * c]);
    } else {
      axis.assign(v.v.begin(), v.v.begin() + static_cast<long>(rows));
    }
  }
  if (axis.size() != count) {
    raise("Q:invalidInput", std::string("interp2: ") + (alongColumns ? "X" : "Y") +
                                " must have one value for each " +
                                (alongColumns ? "column" : "row") + " of Z.");
  }
  for (size_t k = 0; k < count; ++k) {
    if (!std::isfinite(axis[k]) || (k > 0 && !(axis[k] > axis[k - 1]))) {
      raise("Q:invalidInput", "interp2: the grid coordinates must be finite and increasing.");
    }
  }
  return axis;
}

// The interval [k, k + 1] of a sorted axis holding v, and v's fraction along it; false outside.
bool locate(const std::vector<double>& axis, double v, size_t& k, double& t) {
  if (!(v >= axis.front() && v <= axis.back())) return false;
  const size_t above = static_cast<size_t>(std::upper_bound(axis.begin(), axis.end(), v) -
                                           axis.begin());
  k = std::min(above, axis.size() - 1) - 1;
  t = (v - axis[k]) / (axis[k + 1] - axis[k]);
  return true;
}

// interp2(X, Y, Z, xi, yi, method) and interp2(Z, xi, yi, method): 'linear' or 'nearest' on a
// grid, NaN outside. xi and yi have one shape (or one is a scalar); a row xi with a column yi
// spans the grid of their values.
void interp2Builtin(Call& call) {
  call.check(3, 6, 1);
  const bool withGrid = call.nargin >= 5;
  const int zAt = withGrid ? 2 : 0;
  const RealValues z = realValues(call.in(zAt), "interp2", "Z");
  if (z.dims.size() != 2 || z.dims[0] < 2 || z.dims[1] < 2) {
    raise("Q:invalidInput", "interp2: Z must be a matrix of at least two rows and two columns.");
  }
  const size_t rows = z.dims[0], columns = z.dims[1];
  std::vector<double> xAxis(columns), yAxis(rows);
  if (withGrid) {
    xAxis = gridAxis(call.in(0), true, columns);
    yAxis = gridAxis(call.in(1), false, rows);
  } else {
    for (size_t c = 0; c < columns; ++c) xAxis[c] = static_cast<double>(c + 1);
    for (size_t r = 0; r < rows; ++r) yAxis[r] = static_cast<double>(r + 1);
  }
  bool nearest = false;
  const int methodAt = zAt + 3;
  if (call.nargin > methodAt) {
    const std::string method = lower(textArgument(call.in(methodAt), "interp2"));
    if (method == "nearest") {
      nearest = true;
    } else if (method != "linear") {
      raise("Q:invalidInput", "interp2: the method must be 'linear' or 'nearest'.");
    }
  }
  const RealValues xi = realValues(call.in(zAt + 1), "interp2", "the x query points");
  const RealValues yi = realValues(call.in(zAt + 2), "interp2", "the y query points");
  Dims dims;
  bool grid = false;
  if (isVector(call.in(zAt + 1)) && isVector(call.in(zAt + 2)) && xi.dims[0] == 1 &&
      yi.dims[1] == 1 && xi.size() > 1 && yi.size() > 1) {
    grid = true;
    dims = {yi.size(), xi.size()};
  } else if (xi.dims == yi.dims || yi.size() == 1) {
    dims = xi.dims;
  } else if (xi.size() == 1) {
    dims = yi.dims;
  } else {
    raise("Q:sizeMismatch", "interp2: xi and yi must have the same size.");
  }
  std::vector<double> out(countOf(dims));
  for (size_t k = 0; k < out.size(); ++k) {
    const double x = grid ? xi[k / dims[0]] : xi[xi.size() == 1 ? 0 : k];
    const double y = grid ? yi[k % dims[0]] : yi[yi.size() == 1 ? 0 : k];
    size_t c = 0, r = 0;
    double tx = 0, ty = 0;
    if (!locate(xAxis, x, c, tx) || !locate(yAxis, y, r, ty)) {
      out[k] = kNaN;
      continue;
    }
    const double* at = z.v.data() + r + rows * c;
    if (nearest) {
      // Halfway between two points goes to the larger coordinate, as interp1 does.
      out[k] = at[(ty < 0.5 ? 0 : 1) + rows * (tx < 0.5 ? 0 : 1)];
    } else {
      // Exactly on a grid line the value there is taken, so that a NaN beyond it plays no part.
      const double left = tx == 0 ? at[0] : tx == 1 ? at[rows] : at[0] + tx * (at[rows] - at[0]);
      const double right = tx == 0   ? at[1]
                           : tx == 1 ? at[rows + 1]
                                     : at[1] + tx * (at[rows + 1] - at[1]);
      out[k] = ty == 0 ? left : ty == 1 ? right : left + ty * (right - left);
    }
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, dims, out.data(), nullptr));
}

// ---- erfinv, erfcinv --------------------------------------------------------------------------

// The y >= 0 with erf(y) = a, given a in [0, 1) and q = 1 - a (accurate even when a is close
// to 1). An initial approximation (a rational fit in w = -log(1 - a^2) for moderate tails, the
// asymptotic form of erfc for far ones) is refined by three Halley steps on erf(y) - a, or on
// q - erfc(y) when a >= 1/2, where 1 - a loses nothing.
double inverseErf(double a, double q) {
  const double w = a < 0.5 ? -std::log1p(-a * a) : -std::log(q * (1 + a));
  double y;
  if (w < 25) {
    double p;
    if (w < 5) {
      const double t = w - 2.5;
      p = 2.81022636e-08;
      for (double c : {3.43273939e-07, -3.5233877e-06, -4.39150654e-06, 0.00021858087,
                       -0.00125372503, -0.00417768164, 0.246640727, 1.50140941}) {
        p = c + p * t;
      }
    } else {
      const double t = std::sqrt(w) - 3;
      p = -0.000200214257;
      for (double c : {0.000100950558, 0.00134934322, -0.00367342844, 0.00573950773,
                       -0.0076224613, 0.00943887047, 1.00167406, 2.83297682}) {
        p = c + p * t;
      }
    }
    y = p * a;
  } else {
    // erfc(y) is close to exp(-y^2) / (y sqrt(pi)): y^2 = -log(q) - log(y sqrt(pi)), by a few
    // rounds of substitution.
    const double logQ = -std::log(q);
    y = std::sqrt(logQ);
    for (int round = 0; round < 3; ++round) y = std::sqrt(logQ - std::log(std::sqrt(kPi) * y));
  }
  for (int step = 0; step < 3; ++step) {
    const double slope = 2 / std::sqrt(kPi) * std::exp(-y * y);
    if (!(slope > 0) || !std::isfinite(y)) break;
    const double f = a < 0.5 ? std::erf(y) - a : q - std::erfc(y);
    const double u = f / slope;
    y -= u / (1 + y * u);
  }
  return y;
}

template <bool complement>
void inverseErfBuiltin(Call& call) {
  const char* name = complement ? "erfcinv" : "erfinv";
  call.check(1, 1, 1);
  const zyArray* input = call.in(0);
  if (isIntegerClass(input->classId())) {
    raise("Q:invalidInput", std::string(name) + ": the input must be double or single.");
  }
  RealValues x = realValues(input, name, "the input");
  const double inf = std::numeric_limits<double>::infinity();
  for (double& v : x.v) {
    if (complement) {
      // erfcinv(z) = erfinv(1 - z); 1 - z and 2 - z are exact where they are used.
      if (!(v >= 0 && v <= 2)) v = kNaN;
      else if (v == 0) v = inf;
      else if (v == 2) v = -inf;
      else if (v <= 1) v = inverseErf(1 - v, v);
      else v = -inverseErf(v - 1, 2 - v);
    } else {
      const double a = std::fabs(v);
      if (!(a <= 1)) v = kNaN;
      else if (a == 1) v = v > 0 ? inf : -inf;
      else v = std::copysign(inverseErf(a, 1 - a), v);
    }
  }
  call.out(0, fromDoubles(x.resultClass, x.dims, x.v.data(), nullptr));
}

}  // namespace

std::vector<double> cubicSlopes(const std::vector<double>& x, const std::vector<double>& y,
                                bool shapePreserving) {
  return shapePreserving ? shapeSlopes(x, y) : splineSlopes(x, y, nullptr);
}

double hermiteValue(const std::vector<double>& x, const std::vector<double>& y,
                    const std::vector<double>& slopes, double v) {
  if (std::isnan(v)) return v;
  const size_t n = x.size();
  const long j = static_cast<long>(std::upper_bound(x.begin(), x.end(), v) - x.begin()) - 1;
  const size_t k = static_cast<size_t>(std::clamp(j, 0L, static_cast<long>(n) - 2));
  if (x[k] == v) return y[k];
  if (x[k + 1] == v) return y[k + 1];
  const double h = x[k + 1] - x[k], d = (y[k + 1] - y[k]) / h, t = v - x[k];
  const double c = (3 * d - 2 * slopes[k] - slopes[k + 1]) / h;
  const double e = (slopes[k] + slopes[k + 1] - 2 * d) / (h * h);
  return y[k] + t * (slopes[k] + t * (c + t * e));
}

void addSignalBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"fft", builtin<fftBuiltin<false>>});
  table.push_back({"ifft", builtin<fftBuiltin<true>>});
  table.push_back({"fft2", builtin<fft2Builtin<false>>});
  table.push_back({"ifft2", builtin<fft2Builtin<true>>});
  table.push_back({"spline", builtin<cubicBuiltin<false>>});
  table.push_back({"pchip", builtin<cubicBuiltin<true>>});
  table.push_back({"interp2", builtin<interp2Builtin>});
  table.push_back({"erfinv", builtin<inverseErfBuiltin<false>>});
  table.push_back({"erfcinv", builtin<inverseErfBuiltin<true>>});
}

}  // namespace q::ops::detail

