// Element-wise mathematical functions. Each function gets its own instantiated loop; the class
// and whether the result must be complex (sqrt of a negative number, log of one, asin outside
// [-1, 1]) are decided before the loop. The special functions erf, erfc, gamma and gammaln are
// real only: complex inputs, and negative ones for gammaln, are refused.

#include <cfloat>
#include <cmath>
#include <complex>

#include "engine/ops/elementwise.hpp"

namespace q::ops::detail {
namespace {

using Complex = std::complex<double>;

enum class Fn {
  Abs,
  Sign,
  Sqrt,
  Exp,
  Log,
  Log2,
  Log10,
  Sin,
  Cos,
  Tan,
  Asin,
  Acos,
  Atan,
  Sinh,
  Cosh,
  Tanh,
  Floor,
  Ceil,
  Round,
  Fix,
  Real,
  Imag,
  Conj,
  Angle,
  Erf,
  Erfc,
  Gamma,
  Gammaln,
  Asinh,
  Acosh,
  Atanh,
  Sec,
  Csc,
  Cot,
  Asec,
  Acsc,
  Acot,
  Pow2,
};

constexpr const char* nameOf(Fn f) {
  constexpr const char* names[] = {
      "abs",   "sign", "sqrt", "exp",   "log",  "log2", "log10", "sin",     "cos",   "tan",
      "asin",  "acos", "atan", "sinh",  "cosh", "tanh", "floor", "ceil",    "round", "fix",
      "real",  "imag", "conj", "angle", "erf",  "erfc", "gamma", "gammaln", "asinh", "acosh",
      "atanh", "sec",  "csc",  "cot",   "asec", "acsc", "acot",  "pow2"};
  return names[static_cast<int>(f)];
}

// Functions whose result keeps an integer input's class.
constexpr bool keepsIntegers(Fn f) {
  return f == Fn::Abs || f == Fn::Sign || f == Fn::Floor || f == Fn::Ceil || f == Fn::Round ||
         f == Fn::Fix || f == Fn::Real || f == Fn::Imag || f == Fn::Conj;
}

// Functions defined here for real arguments only.
constexpr bool realOnly(Fn f) {
  return f == Fn::Erf || f == Fn::Erfc || f == Fn::Gamma || f == Fn::Gammaln;
}

// gamma has poles at 0 and the negative integers; their value is Inf (whatever the side).
inline double gammaOf(double x) {
  if (x <= 0 && x == std::floor(x) && std::isfinite(x)) return INFINITY;
  return std::tgamma(x);
}

// Functions whose result is real even for complex input.
constexpr bool givesReal(Fn f) {
  return f == Fn::Abs || f == Fn::Real || f == Fn::Imag || f == Fn::Angle;
}

template <Fn f>
inline double realValue(double x) {
  if constexpr (f == Fn::Abs) return std::fabs(x);
  if constexpr (f == Fn::Sign) return x > 0 ? 1.0 : x < 0 ? -1.0 : x == 0 ? 0.0 : x;
  if constexpr (f == Fn::Sqrt) return std::sqrt(x);
  if constexpr (f == Fn::Exp) return std::exp(x);
  if constexpr (f == Fn::Log) return std::log(x);
  if constexpr (f == Fn::Log2) return std::log2(x);
  if constexpr (f == Fn::Log10) return std::log10(x);
  if constexpr (f == Fn::Sin) return std::sin(x);
  if constexpr (f == Fn::Cos) return std::cos(x);
  if constexpr (f == Fn::Tan) return std::tan(x);
  if constexpr (f == Fn::Asin) return std::asin(x);
  if constexpr (f == Fn::Acos) return std::acos(x);
  if constexpr (f == Fn::Atan) return std::atan(x);
  if constexpr (f == Fn::Sinh) return std::sinh(x);
  if constexpr (f == Fn::Cosh) return std::cosh(x);
  if constexpr (f == Fn::Tanh) return std::tanh(x);
  if constexpr (f == Fn::Floor) return std::floor(x);
  if constexpr (f == Fn::Ceil) return std::ceil(x);
  if constexpr (f == Fn::Round) return std::round(x);  // half away from zero
  if constexpr (f == Fn::Fix) return std::trunc(x);
  if constexpr (f == Fn::Real || f == Fn::Conj) return x;
  if constexpr (f == Fn::Imag) return 0.0;
  if constexpr (f == Fn::Angle) return std::atan2(0.0, x);
  if constexpr (f == Fn::Erf) return std::erf(x);
  if constexpr (f == Fn::Erfc) return std::erfc(x);
  if constexpr (f == Fn::Gamma) return gammaOf(x);
  if constexpr (f == Fn::Gammaln) {
    int sign;  // lgamma_r: lgamma writes the sign to a global, which threads would share
    return lgamma_r(x, &sign);
  }
  if constexpr (f == Fn::Asinh) return std::asinh(x);
  if constexpr (f == Fn::Acosh) return std::acosh(x);
  if constexpr (f == Fn::Atanh) return std::atanh(x);
  if constexpr (f == Fn::Sec) return 1 / std::cos(x);
  if constexpr (f == Fn::Csc) return 1 / std::sin(x);
  if constexpr (f == Fn::Cot) return 1 / std::tan(x);
  if constexpr (f == Fn::Asec) return std::acos(1 / x);
  if constexpr (f == Fn::Acsc) return std::asin(1 / x);
  if constexpr (f == Fn::Acot) return std::atan(1 / x);
  if constexpr (f == Fn::Pow2) return std::exp2(x);
  return x;
}

template <Fn f>
inline Complex complexValue(Complex z) {
  if constexpr (f == Fn::Abs) return std::abs(z);
  if constexpr (f == Fn::Sign) return z == Complex(0, 0) ? z : z / std::abs(z);
  if constexpr (f == Fn::Sqrt) return std::sqrt(z);
  if constexpr (f == Fn::Exp) return std::exp(z);
  if constexpr (f == Fn::Log) return std::log(z);
  if constexpr (f == Fn::Log2) return std::log(z) / std::log(2.0);
  if constexpr (f == Fn::Log10) return std::log10(z);
  if constexpr (f == Fn::Sin) return std::sin(z);
  if constexpr (f == Fn::Cos) return std::cos(z);
  if constexpr (f == Fn::Tan) return std::tan(z);
  if constexpr (f == Fn::Asin) return std::asin(z);
  if constexpr (f == Fn::Acos) return std::acos(z);
  if constexpr (f == Fn::Atan) return std::atan(z);
  if constexpr (f == Fn::Sinh) return std::sinh(z);
  if constexpr (f == Fn::Cosh) return std::cosh(z);
  if constexpr (f == Fn::Tanh) return std::tanh(z);
  if constexpr (f == Fn::Floor) return {std::floor(z.real()), std::floor(z.imag())};
  if constexpr (f == Fn::Ceil) return {std::ceil(z.real()), std::ceil(z.imag())};
  if constexpr (f == Fn::Round) return {std::round(z.real()), std::round(z.imag())};
  if constexpr (f == Fn::Fix) return {std::trunc(z.real()), std::trunc(z.imag())};
  if constexpr (f == Fn::Real) return z.real();
  if constexpr (f == Fn::Imag) return z.imag();
  if constexpr (f == Fn::Conj) return std::conj(z);
  if constexpr (f == Fn::Angle) return std::arg(z);
  if constexpr (f == Fn::Asinh) return std::asinh(z);
  if constexpr (f == Fn::Acosh) return std::acosh(z);
  if constexpr (f == Fn::Atanh) return std::atanh(z);
  if constexpr (f == Fn::Sec) return 1.0 / std::cos(z);
  if constexpr (f == Fn::Csc) return 1.0 / std::sin(z);
  if constexpr (f == Fn::Cot) return 1.0 / std::tan(z);
  // 1/0 taken as Inf (a plain complex division by zero gives NaN parts).
  if constexpr (f == Fn::Asec) return std::acos(z == 0.0 ? Complex(INFINITY, 0) : 1.0 / z);
  if constexpr (f == Fn::Acsc) return std::asin(z == 0.0 ? Complex(INFINITY, 0) : 1.0 / z);
  if constexpr (f == Fn::Acot) return std::atan(1.0 / z);
  if constexpr (f == Fn::Pow2) return std::pow(2.0, z);
  return z;  // realOnly functions never get here
}

// Whether a real argument leaves the real domain of the function.
template <Fn f>
inline bool outsideRealDomain(double x) {
  if constexpr (f == Fn::Sqrt || f == Fn::Log || f == Fn::Log2 || f == Fn::Log10) return x < 0;
  if constexpr (f == Fn::Asin || f == Fn::Acos || f == Fn::Atanh) return x < -1 || x > 1;
  if constexpr (f == Fn::Acosh) return x < 1;
  // 0 included: 1/0 is Inf, outside [-1, 1] for acos and asin.
  if constexpr (f == Fn::Asec || f == Fn::Acsc) return x > -1 && x < 1;
  if constexpr (f == Fn::Gammaln) return x < 0;
  return false;
}

template <Fn f>
ArrayPtr applyMath(const zyArray* input) {
  constexpr const char* name = nameOf(f);
  FullArray a(input);
  const zyClassID inputClass = a->classId();
  if (!isArithmeticClass(inputClass)) notDefined(name, inputClass);
  const bool integer = isIntegerClass(inputClass);
  if (integer && !keepsIntegers(f)) {
    raise("Q:invalidInput", std::string(name) + ": integer inputs are not supported.");
  }
  if (integer &&
      (f == Fn::Floor || f == Fn::Ceil || f == Fn::Round || f == Fn::Fix ||
       (f == Fn::Real && !isComplex(a.get())) || (f == Fn::Conj && !isComplex(a.get())))) {
    return checked(zyCreateSharedDataCopy(a.get()));
  }
  const zyClassID cls = integer                        ? inputClass
                        : inputClass == zySINGLE_CLASS ? zySINGLE_CLASS
                                                       : zyDOUBLE_CLASS;
  const Dims dims = dimsOf(a.get());
  const size_t n = a->numberOfElements();
  DoubleValues re(a.get());
  bool complex = isComplex(a.get());
  if (complex && realOnly(f)) {
    raise("Q:invalidInput", std::string(name) + ": complex inputs are not supported.");
  }
  if (!complex) {
    for (size_t i = 0; i < n && !complex; ++i) complex = outsideRealDomain<f>(re[i]);
  }
  if (complex && realOnly(f)) {
    // The log of a negative gamma value would be complex.
    raise("Q:invalidInput", std::string(name) + ": the input must not be negative.");
  }
  if (!complex) {
    if (cls == zyDOUBLE_CLASS) {
      ArrayPtr out = create(zyDOUBLE_CLASS, dims);
      double* target = n ? dataOf<double>(out.get()) : nullptr;
      for (size_t i = 0; i < n; ++i) target[i] = realValue<f>(re[i]);
      return out;
    }
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i) values[i] = realValue<f>(re[i]);
    return fromDoubles(cls, dims, values.data(), nullptr);
  }
  DoubleValues im(a.get(), true);
  std::vector<double> outRe(n), outIm(n);
  for (size_t i = 0; i < n; ++i) {
    const Complex z = complexValue<f>(Complex(re[i], im[i]));
    outRe[i] = z.real();
    outIm[i] = z.imag();
  }
  return fromDoubles(cls, dims, outRe.data(), givesReal(f) ? nullptr : outIm.data());
}

template <Fn f>
bool scalarMath(double x, double& out) {
  if (outsideRealDomain<f>(x)) return false;
  out = realValue<f>(x);
  return true;
}

template <Fn f>
void mathBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, applyMath<f>(call.in(0)));
}

// round(x) and round(x, n): to n digits after the point (before it for negative n), halves
// away from zero; computed as round(x * 10^n) / 10^n (x / 10^-n for negative n), so that whole
// scaled values stay exact. The class is kept; complex parts round separately.
void roundBuiltin(Call& call) {
  call.check(1, 2, 1);
  if (call.nargin == 1) return mathBuiltin<Fn::Round>(call);
  const double digits = scalarArgument(call.in(1), "round", "the number of digits");
  if (digits != std::floor(digits) || std::abs(digits) > 400) {
    raise("Q:invalidInput", "round: the number of digits must be an integer.");
  }
  FullArray a(call.in(0));
  const zyClassID inputClass = a->classId();
  if (!isArithmeticClass(inputClass)) notDefined("round", inputClass);
  const zyClassID cls = isIntegerClass(inputClass)     ? inputClass
                        : inputClass == zySINGLE_CLASS ? zySINGLE_CLASS
                                                       : zyDOUBLE_CLASS;
  const int n = static_cast<int>(digits);
  // Integers have no digits after the point; 64-bit ones would lose some in doubles.
  if (isIntegerClass(inputClass) && n >= 0) {
    return call.out(0, checked(zyCreateSharedDataCopy(a.get())));
  }
  const double scale = std::pow(10.0, std::abs(n));
  auto roundTo = [&](double x) {
    if (!std::isfinite(x)) return x;
    return n >= 0 ? std::round(x * scale) / scale : std::round(x / scale) * scale;
  };
  const size_t count = a->numberOfElements();
  DoubleValues re(a.get());
  std::vector<double> outRe(count), outIm;
  for (size_t i = 0; i < count; ++i) outRe[i] = roundTo(re[i]);
  if (isComplex(a.get())) {
    DoubleValues im(a.get(), true);
    outIm.resize(count);
    for (size_t i = 0; i < count; ++i) outIm[i] = roundTo(im[i]);
  }
  call.out(0, fromDoubles(cls, dimsOf(a.get()), outRe.data(),
                          outIm.empty() ? nullptr : outIm.data()));
}

// isnan, isinf, isfinite: 0, 1, 2.
template <int kind>
void classifyBuiltin(Call& call) {
  static const char* const names[] = {"isnan", "isinf", "isfinite"};
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  if (!isArithmetic(a.get())) notDefined(names[kind], a->classId());
  ArrayPtr out = create(zyLOGICAL_CLASS, dimsOf(a.get()));
  const size_t n = a->numberOfElements();
  if (n == 0) return call.out(0, std::move(out));
  zyLogical* target = dataOf<zyLogical>(out.get());
  if (!isFloatClass(a->classId())) {
    std::fill(target, target + n, kind == 2 ? 1 : 0);
    return call.out(0, std::move(out));
  }
  DoubleValues re(a.get()), im(a.get(), true);
  for (size_t i = 0; i < n; ++i) {
    const bool nan = std::isnan(re[i]) || std::isnan(im[i]);
    const bool inf = std::isinf(re[i]) || std::isinf(im[i]);
    target[i] = kind == 0 ? nan : kind == 1 ? inf : !nan && !inf;
  }
  call.out(0, std::move(out));
}

template <Elementwise op>
void binaryMathBuiltin(Call& call) {
  static const char* const name = op == Elementwise::Atan2   ? "atan2"
                                  : op == Elementwise::Hypot ? "hypot"
                                  : op == Elementwise::Mod   ? "mod"
                                                             : "rem";
  call.check(2, 2, 1);
  call.out(0, elementwise(op, call.in(0), call.in(1), name));
}

template <Elementwise op>
bool scalarBinaryMath(double a, double b, double& out) {
  out = scalarElementwise(op, a, b);
  return true;
}

// The real values of an argument of pow2, beta or betaln: no integer classes, no complex values.
void requireRealFloat(const zyArray* a, const char* name) {
  if (!isArithmetic(a)) notDefined(name, a->classId());
  if (isIntegerClass(a->classId())) {
    raise("Q:invalidInput", std::string(name) + ": integer inputs are not supported.");
  }
  if (isComplex(a))
    raise("Q:invalidInput", std::string(name) + ": complex inputs are not supported.");
}

// pow2(x) is 2.^x; pow2(f, e) is f .* 2.^e, expanding like the operators.
void pow2Builtin(Call& call) {
  call.check(1, 2, 1);
  if (call.nargin == 1) return call.out(0, applyMath<Fn::Pow2>(call.in(0)));
  requireRealFloat(call.in(0), "pow2");
  requireRealFloat(call.in(1), "pow2");
  ArrayPtr two = scalar(2);
  ArrayPtr scale = elementwise(Elementwise::Power, two.get(), call.in(1), "pow2");
  call.out(0, elementwise(Elementwise::Times, call.in(0), scale.get(), "pow2"));
}

// betaln(a, b) = gammaln(a) + gammaln(b) - gammaln(a + b) and beta = exp(betaln), expanding
// like the operators; a and b must not be negative.
template <bool logarithm>
void betaBuiltin(Call& call) {
  const char* name = logarithm ? "betaln" : "beta";
  call.check(2, 2, 1);
  requireRealFloat(call.in(0), name);
  requireRealFloat(call.in(1), name);
  expandedDims(call.in(0), call.in(1));  // the size check, before any work
  for (int k = 0; k < 2; ++k) {
    FullArray x(call.in(k));
    const DoubleValues values(x.get());
    for (size_t i = 0; i < x->numberOfElements(); ++i) {
      if (values[i] < 0)
        raise("Q:invalidInput", std::string(name) + ": the inputs must not be negative.");
    }
  }
  ArrayPtr sum = elementwise(Elementwise::Plus, call.in(0), call.in(1), name);
  ArrayPtr la = applyMath<Fn::Gammaln>(call.in(0)), lb = applyMath<Fn::Gammaln>(call.in(1));
  ArrayPtr lab = applyMath<Fn::Gammaln>(sum.get());
  ArrayPtr partial = elementwise(Elementwise::Plus, la.get(), lb.get(), name);
  ArrayPtr result = elementwise(Elementwise::Minus, partial.get(), lab.get(), name);
  call.out(0, logarithm ? std::move(result) : applyMath<Fn::Exp>(result.get()));
}

// ---- whole numbers: gcd, lcm, factorial, nchoosek, isprime, primes ----------------------

// The values of a real arithmetic argument, each a whole number (nonnegative if asked).
DoubleValues wholeNumbers(const zyArray* a, const char* name, bool nonnegative) {
  if (!isArithmetic(a) || isComplex(a)) {
    raise("Q:invalidInput", std::string(name) + ": the input must be real numbers.");
  }
  DoubleValues values(a);
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    const double v = values[i];
    if (v != std::floor(v) || (nonnegative && v < 0)) {
      raise("Q:invalidInput", std::string(name) + ": the input must be " +
                                  (nonnegative ? "nonnegative " : "") + "whole numbers.");
    }
  }
  return values;
}

double gcdOf(double a, double b) {
  a = std::fabs(a);
  b = std::fabs(b);
  while (b != 0) {
    const double r = std::fmod(a, b);
    a = b;
    b = r;
  }
  return a;
}

// gcd(a, b) and lcm(a, b), element by element, a scalar going with every element of the other.
template <bool greatest>
void divisorBuiltin(Call& call) {
  const char* name = greatest ? "gcd" : "lcm";
  call.check(2, 2, 1);
  FullArray a(call.in(0)), b(call.in(1));
  const zyClassID cls = arithmeticClass(a.get(), b.get(), name);
  const DoubleValues x = wholeNumbers(a.get(), name, false);
  const DoubleValues y = wholeNumbers(b.get(), name, false);
  const size_t na = a->numberOfElements(), nb = b->numberOfElements();
  if (na != 1 && nb != 1 && dimsOf(a.get()) != dimsOf(b.get())) {
    raise("Q:dimensionMismatch", std::string(name) + ": the inputs must have the same size.");
  }
  const size_t n = na == 1 ? nb : na;
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double u = x[na == 1 ? 0 : i], v = y[nb == 1 ? 0 : i];
    const double g = gcdOf(u, v);
    out[i] = greatest ? g : g == 0 ? 0 : std::fabs(u / g * v);
  }
  call.out(0, fromDoubles(cls, dimsOf(na == 1 ? b.get() : a.get()), out.data(), nullptr));
}

void factorialBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  const DoubleValues n = wholeNumbers(a.get(), "factorial", true);
  std::vector<double> out(a->numberOfElements());
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = n[i] > 170 ? INFINITY : std::round(std::tgamma(n[i] + 1));
  }
  call.out(0, fromDoubles(a->classId(), dimsOf(a.get()), out.data(), nullptr));
}

// nchoosek(n, k): the binomial coefficient; nchoosek(v, k): every choice of k elements of the
// vector v, one row each, in the order of their positions.
void nchoosekBuiltin(Call& call) {
  call.check(2, 2, 1);
  FullArray v(call.in(0));
  const double k = scalarArgument(call.in(1), "nchoosek", "k");
  if (!(k >= 0) || k != std::floor(k)) {
    raise("Q:invalidInput", "nchoosek: k must be a nonnegative whole number.");
  }
  const DoubleValues values = wholeNumbers(v.get(), "nchoosek", v->numberOfElements() == 1);
  if (v->numberOfElements() == 1) {
    const double n = values[0];
    if (k > n) raise("Q:invalidInput", "nchoosek: k must not be greater than n.");
    const double smaller = std::min(k, n - k);
    double c = 1;
    for (double j = 1; j <= smaller; ++j) c = std::round(c * (n - smaller + j) / j);
    return call.out(0, fromDoubles(v->classId(), {1, 1}, &c, nullptr));
  }
  const size_t n = v->numberOfElements(), choose = static_cast<size_t>(k);
  if (choose > n) return call.out(0, create(v->classId(), {0, choose}));
  std::vector<std::vector<size_t>> rows;
  std::vector<size_t> pick(choose);
  for (size_t j = 0; j < choose; ++j) pick[j] = j;
  for (;;) {
    rows.push_back(pick);
    if (rows.size() > 10'000'000) raise("Q:outOfMemory", "nchoosek: too many combinations.");
    size_t j = choose;
    while (j > 0 && pick[j - 1] == n - choose + j - 1) --j;
    if (j == 0) break;
    ++pick[j - 1];
    for (size_t t = j; t < choose; ++t) pick[t] = pick[t - 1] + 1;
  }
  std::vector<double> out(rows.size() * choose);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t j = 0; j < choose; ++j) out[r + rows.size() * j] = values[rows[r][j]];
  }
  call.out(0, fromDoubles(v->classId(), {rows.size(), choose}, out.data(), nullptr));
}

bool isPrimeNumber(double n) {
  if (n < 2) return false;
  if (n < 4) return true;
  if (std::fmod(n, 2) == 0) return false;
  for (double d = 3; d * d <= n; d += 2) {
    if (std::fmod(n, d) == 0) return false;
  }
  return true;
}

void isprimeBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  const DoubleValues n = wholeNumbers(a.get(), "isprime", true);
  ArrayPtr out = create(zyLOGICAL_CLASS, dimsOf(a.get()));
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    dataOf<zyLogical>(out.get())[i] = isPrimeNumber(n[i]);
  }
  call.out(0, std::move(out));
}

// The primes up to n, by the sieve.
void primesBuiltin(Call& call) {
  call.check(1, 1, 1);
  const double limit = std::floor(scalarArgument(call.in(0), "primes", "the limit"));
  if (limit > 1e9) raise("Q:invalidInput", "primes: the limit must be at most 1e9.");
  const size_t n = limit < 2 ? 0 : static_cast<size_t>(limit);
  std::vector<bool> composite(n + 1, false);
  std::vector<double> found;
  for (size_t i = 2; i <= n; ++i) {
    if (composite[i]) continue;
    found.push_back(static_cast<double>(i));
    for (size_t j = i * i; j <= n; j += i) composite[j] = true;
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {1, found.size()}, found.data(), nullptr));
}

// idivide(a, b, how): integer division rounded toward zero ('fix', the default), to nearest
// ('round'), down ('floor') or up ('ceil'); one of a and b has an integer class, the result's.
void idivideBuiltin(Call& call) {
  call.check(2, 3, 1);
  FullArray a(call.in(0)), b(call.in(1));
  if (!isIntegerClass(a->classId()) && !isIntegerClass(b->classId())) {
    raise("Q:invalidInput", "idivide: at least one input must have an integer class.");
  }
  const zyClassID cls = arithmeticClass(a.get(), b.get(), "idivide");
  const std::string how = call.nargin > 2 ? lower(textArgument(call.in(2), "idivide")) : "fix";
  if (how != "fix" && how != "round" && how != "floor" && how != "ceil") {
    raise("Q:invalidInput", "idivide: the rounding is 'fix', 'round', 'floor' or 'ceil'.");
  }
  const DoubleValues x(a.get()), y(b.get());
  const size_t na = a->numberOfElements(), nb = b->numberOfElements();
  if (na != 1 && nb != 1 && dimsOf(a.get()) != dimsOf(b.get())) {
    raise("Q:dimensionMismatch", "idivide: the inputs must have the same size.");
  }
  const size_t n = na == 1 ? nb : na;
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double q = x[na == 1 ? 0 : i] / y[nb == 1 ? 0 : i];
    out[i] = how == "fix" ? std::trunc(q) : how == "round" ? std::round(q)
             : how == "floor" ? std::floor(q) : std::ceil(q);
  }
  call.out(0, fromDoubles(cls, dimsOf(na == 1 ? b.get() : a.get()), out.data(), nullptr));
}

// ---- intmax, intmin, realmax, realmin, flintmax ------------------------------------------

zyClassID classArgument(Call& call, const char* name, zyClassID fallback) {
  if (call.nargin == 0) return fallback;
  const std::string text = textArgument(call.in(0), name);
  static const std::pair<const char*, zyClassID> classes[] = {
      {"double", zyDOUBLE_CLASS}, {"single", zySINGLE_CLASS}, {"int8", zyINT8_CLASS},
      {"uint8", zyUINT8_CLASS},   {"int16", zyINT16_CLASS},   {"uint16", zyUINT16_CLASS},
      {"int32", zyINT32_CLASS},   {"uint32", zyUINT32_CLASS}, {"int64", zyINT64_CLASS},
      {"uint64", zyUINT64_CLASS}};
  for (const auto& [className, id] : classes) {
    if (text == className && isFloatClass(id) == isFloatClass(fallback)) return id;
  }
  raise("Q:invalidInput", std::string(name) + ": '" + text + "' is not a class it knows.");
}

// intmax and intmin of an integer class (int32 by default), made by saturating.
template <bool largest>
void integerLimitBuiltin(Call& call) {
  call.check(0, 1, 1);
  const zyClassID cls = classArgument(call, largest ? "intmax" : "intmin", zyINT32_CLASS);
  const double beyond = largest ? INFINITY : -INFINITY;
  call.out(0, fromDoubles(cls, {1, 1}, &beyond, nullptr));
}

// realmax (0), realmin (1) and flintmax (2) of double or single.
template <int which>
void floatLimitBuiltin(Call& call) {
  static const char* const names[] = {"realmax", "realmin", "flintmax"};
  call.check(0, 1, 1);
  const zyClassID cls = classArgument(call, names[which], zyDOUBLE_CLASS);
  const bool single = cls == zySINGLE_CLASS;
  const double value = which == 0   ? (single ? FLT_MAX : DBL_MAX)
                       : which == 1 ? (single ? FLT_MIN : DBL_MIN)
                                    : (single ? 16777216.0 : 9007199254740992.0);
  call.out(0, fromDoubles(cls, {1, 1}, &value, nullptr));
}

}  // namespace

void addMathBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"beta", builtin<betaBuiltin<false>>});
  table.push_back({"betaln", builtin<betaBuiltin<true>>});
  table.push_back({"factorial", builtin<factorialBuiltin>});
  table.push_back({"pow2", builtin<pow2Builtin>, scalarMath<Fn::Pow2>});
  table.push_back({"flintmax", builtin<floatLimitBuiltin<2>>});
  table.push_back({"gcd", builtin<divisorBuiltin<true>>});
  table.push_back({"idivide", builtin<idivideBuiltin>});
  table.push_back({"intmax", builtin<integerLimitBuiltin<true>>});
  table.push_back({"intmin", builtin<integerLimitBuiltin<false>>});
  table.push_back({"isprime", builtin<isprimeBuiltin>});
  table.push_back({"lcm", builtin<divisorBuiltin<false>>});
  table.push_back({"nchoosek", builtin<nchoosekBuiltin>});
  table.push_back({"primes", builtin<primesBuiltin>});
  table.push_back({"realmax", builtin<floatLimitBuiltin<0>>});
  table.push_back({"realmin", builtin<floatLimitBuiltin<1>>});
  table.push_back({"abs", builtin<mathBuiltin<Fn::Abs>>, scalarMath<Fn::Abs>});
  table.push_back({"acos", builtin<mathBuiltin<Fn::Acos>>, scalarMath<Fn::Acos>});
  table.push_back({"angle", builtin<mathBuiltin<Fn::Angle>>, scalarMath<Fn::Angle>});
  table.push_back({"asin", builtin<mathBuiltin<Fn::Asin>>, scalarMath<Fn::Asin>});
  table.push_back({"atan", builtin<mathBuiltin<Fn::Atan>>, scalarMath<Fn::Atan>});
  table.push_back({"atan2", builtin<binaryMathBuiltin<Elementwise::Atan2>>, nullptr, nullptr, false,
                   scalarBinaryMath<Elementwise::Atan2>});
  table.push_back({"ceil", builtin<mathBuiltin<Fn::Ceil>>, scalarMath<Fn::Ceil>});
  table.push_back({"conj", builtin<mathBuiltin<Fn::Conj>>, scalarMath<Fn::Conj>});
  table.push_back({"cos", builtin<mathBuiltin<Fn::Cos>>, scalarMath<Fn::Cos>});
  table.push_back({"cosh", builtin<mathBuiltin<Fn::Cosh>>, scalarMath<Fn::Cosh>});
  table.push_back({"exp", builtin<mathBuiltin<Fn::Exp>>, scalarMath<Fn::Exp>});
  table.push_back({"fix", builtin<mathBuiltin<Fn::Fix>>, scalarMath<Fn::Fix>});
  table.push_back({"floor", builtin<mathBuiltin<Fn::Floor>>, scalarMath<Fn::Floor>});
  table.push_back({"hypot", builtin<binaryMathBuiltin<Elementwise::Hypot>>, nullptr, nullptr, false,
                   scalarBinaryMath<Elementwise::Hypot>});
  table.push_back({"imag", builtin<mathBuiltin<Fn::Imag>>, scalarMath<Fn::Imag>});
  table.push_back({"isfinite", builtin<classifyBuiltin<2>>});
  table.push_back({"isinf", builtin<classifyBuiltin<1>>});
  table.push_back({"isnan", builtin<classifyBuiltin<0>>});
  table.push_back({"log", builtin<mathBuiltin<Fn::Log>>, scalarMath<Fn::Log>});
  table.push_back({"log10", builtin<mathBuiltin<Fn::Log10>>, scalarMath<Fn::Log10>});
  table.push_back({"log2", builtin<mathBuiltin<Fn::Log2>>, scalarMath<Fn::Log2>});
  table.push_back({"mod", builtin<binaryMathBuiltin<Elementwise::Mod>>, nullptr, nullptr, false,
                   scalarBinaryMath<Elementwise::Mod>});
  table.push_back({"real", builtin<mathBuiltin<Fn::Real>>, scalarMath<Fn::Real>});
  table.push_back({"rem", builtin<binaryMathBuiltin<Elementwise::Rem>>, nullptr, nullptr, false,
                   scalarBinaryMath<Elementwise::Rem>});
  table.push_back({"round", builtin<roundBuiltin>, scalarMath<Fn::Round>});
  table.push_back({"sign", builtin<mathBuiltin<Fn::Sign>>, scalarMath<Fn::Sign>});
  table.push_back({"sin", builtin<mathBuiltin<Fn::Sin>>, scalarMath<Fn::Sin>});
  table.push_back({"sinh", builtin<mathBuiltin<Fn::Sinh>>, scalarMath<Fn::Sinh>});
  table.push_back({"sqrt", builtin<mathBuiltin<Fn::Sqrt>>, scalarMath<Fn::Sqrt>});
  table.push_back({"tan", builtin<mathBuiltin<Fn::Tan>>, scalarMath<Fn::Tan>});
  table.push_back({"tanh", builtin<mathBuiltin<Fn::Tanh>>, scalarMath<Fn::Tanh>});
  table.push_back({"acosh", builtin<mathBuiltin<Fn::Acosh>>, scalarMath<Fn::Acosh>});
  table.push_back({"acot", builtin<mathBuiltin<Fn::Acot>>, scalarMath<Fn::Acot>});
  table.push_back({"acsc", builtin<mathBuiltin<Fn::Acsc>>, scalarMath<Fn::Acsc>});
  table.push_back({"asec", builtin<mathBuiltin<Fn::Asec>>, scalarMath<Fn::Asec>});
  table.push_back({"asinh", builtin<mathBuiltin<Fn::Asinh>>, scalarMath<Fn::Asinh>});
  table.push_back({"atanh", builtin<mathBuiltin<Fn::Atanh>>, scalarMath<Fn::Atanh>});
  table.push_back({"cot", builtin<mathBuiltin<Fn::Cot>>, scalarMath<Fn::Cot>});
  table.push_back({"csc", builtin<mathBuiltin<Fn::Csc>>, scalarMath<Fn::Csc>});
  table.push_back({"erf", builtin<mathBuiltin<Fn::Erf>>, scalarMath<Fn::Erf>});
  table.push_back({"erfc", builtin<mathBuiltin<Fn::Erfc>>, scalarMath<Fn::Erfc>});
  table.push_back({"gamma", builtin<mathBuiltin<Fn::Gamma>>, scalarMath<Fn::Gamma>});
  table.push_back({"gammaln", builtin<mathBuiltin<Fn::Gammaln>>, scalarMath<Fn::Gammaln>});
  table.push_back({"sec", builtin<mathBuiltin<Fn::Sec>>, scalarMath<Fn::Sec>});
}

}  // namespace q::ops::detail
