// Element-wise loops with implicit expansion. The class, the operator and the expansion case are
// decided once per call; each run of elements then goes through one tight loop over contiguous
// blocks (both operands stepping, or one of them fixed), which the compiler vectorises.
//
// Computation: in double, except that results of the 64-bit integer classes (and comparisons
// involving them) are computed in long double, whose 64-bit mantissa holds every int64 and
// uint64 value exactly. Results of other classes are converted from double at the end (integers
// round half away from zero and saturate, NaN becomes 0). Complex operands go through a second,
// simpler path in std::complex<double>.

#include "engine/ops/elementwise.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "zy/convert.hpp"

namespace q::ops::detail {
namespace {

// ---- Expansion plan -----------------------------------------------------------------------

// The result is walked as runs: `length` consecutive result elements, each operand stepping by
// one element or staying on one element. Leading dimensions that expand the same way are merged
// into one run, so same-shape and scalar cases are a single run.
struct Plan {
  size_t count = 0;
  size_t runLength = 1;
  bool aSteps = true;
  bool bSteps = true;
  Dims outerSizes;    // dimensions walked outside the runs
  Dims outerStrideA;  // element stride of a along them (0 where a is expanded)
  Dims outerStrideB;
};

Plan makePlan(const Dims& out, Dims da, Dims db) {
  const size_t nd = out.size();
  da.resize(nd, 1);
  db.resize(nd, 1);
  Plan plan;
  plan.count = countOf(out);
  Dims strideA(nd), strideB(nd);
  size_t sa = 1, sb = 1;
  for (size_t i = 0; i < nd; ++i) {
    strideA[i] = da[i] == 1 ? 0 : sa;
    strideB[i] = db[i] == 1 ? 0 : sb;
    sa *= da[i];
    sb *= db[i];
  }
  size_t first = 0;
  while (first < nd && out[first] == 1) ++first;
  if (first == nd) return plan;  // one element
  plan.aSteps = da[first] != 1;
  plan.bSteps = db[first] != 1;
  size_t i = 0;
  while (i < nd && (out[i] == 1 || ((da[i] != 1) == plan.aSteps && (db[i] != 1) == plan.bSteps))) {
    plan.runLength *= out[i];
    ++i;
  }
  for (; i < nd; ++i) {
    if (out[i] == 1) continue;
    plan.outerSizes.push_back(out[i]);
    plan.outerStrideA.push_back(strideA[i]);
    plan.outerStrideB.push_back(strideB[i]);
  }
  return plan;
}

// Calls run(outOffset, aOffset, bOffset, length) for every run of the plan.
template <typename Run>
void forEachRun(const Plan& plan, Run&& run) {
  if (plan.count == 0) return;
  const size_t outer = plan.outerSizes.size();
  if (outer == 0) {
    run(size_t(0), size_t(0), size_t(0), plan.runLength);
    return;
  }
  Dims index(outer, 0);
  size_t aOffset = 0, bOffset = 0, outOffset = 0;
  while (true) {
    run(outOffset, aOffset, bOffset, plan.runLength);
    outOffset += plan.runLength;
    size_t d = 0;
    for (; d < outer; ++d) {
      ++index[d];
      aOffset += plan.outerStrideA[d];
      bOffset += plan.outerStrideB[d];
      if (index[d] < plan.outerSizes[d]) break;
      aOffset -= plan.outerStrideA[d] * index[d];
      bOffset -= plan.outerStrideB[d] * index[d];
      index[d] = 0;
    }
    if (d == outer) return;
  }
}

// ---- Operators on real values -------------------------------------------------------------

struct PlusOp {
  template <typename T>
  static T apply(T a, T b) {
    return a + b;
  }
};
struct MinusOp {
  template <typename T>
  static T apply(T a, T b) {
    return a - b;
  }
};
struct TimesOp {
  template <typename T>
  static T apply(T a, T b) {
    return a * b;
  }
};
struct RDivideOp {
  template <typename T>
  static T apply(T a, T b) {
    return a / b;
  }
};
struct LDivideOp {
  template <typename T>
  static T apply(T a, T b) {
    return b / a;
  }
};
struct PowerOp {
  template <typename T>
  static T apply(T a, T b) {
    return b == T(2) ? a * a : std::pow(a, b);
  }
};
struct Atan2Op {
  template <typename T>
  static T apply(T a, T b) {
    return std::atan2(a, b);
  }
};
struct HypotOp {
  template <typename T>
  static T apply(T a, T b) {
    return std::hypot(a, b);
  }
};
// mod takes the sign of the divisor; mod(a, 0) is a. fmod is exact, so no tolerance is needed.
struct ModOp {
  template <typename T>
  static T apply(T a, T b) {
    if (b == T(0)) return a;
    if (std::isinf(b) && std::isfinite(a)) return (a == T(0) || (a < 0) == (b < 0)) ? a : b;
    T r = std::fmod(a, b);
    if (r != T(0) && ((r < 0) != (b < 0))) r += b;
    return r;
  }
};
// rem takes the sign of the dividend; rem(a, 0) is NaN.
struct RemOp {
  template <typename T>
  static T apply(T a, T b) {
    if (std::isinf(b) && std::isfinite(a)) return a;
    return std::fmod(a, b);
  }
};
// min and max ignore NaN unless both are NaN.
struct MinOp {
  template <typename T>
  static T apply(T a, T b) {
    return a != a ? b : (b < a ? b : a);
  }
};
struct MaxOp {
  template <typename T>
  static T apply(T a, T b) {
    return a != a ? b : (b > a ? b : a);
  }
};
struct EqOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a == b;
  }
};
struct NeOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a != b;
  }
};
struct LtOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a < b;
  }
};
struct LeOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a <= b;
  }
};
struct GtOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a > b;
  }
};
struct GeOp {
  template <typename T>
  static bool apply(T a, T b) {
    return a >= b;
  }
};
struct AndOp {
  template <typename T>
  static bool apply(T a, T b) {
    return (a != T(0)) & (b != T(0));
  }
};
struct OrOp {
  template <typename T>
  static bool apply(T a, T b) {
    return (a != T(0)) | (b != T(0));
  }
};
struct XorOp {
  template <typename T>
  static bool apply(T a, T b) {
    return (a != T(0)) != (b != T(0));
  }
};

// One run: the four stepping cases each get their own loop. Out of line, so that the loops are
// compiled on their own rather than inside the large dispatching function, where they ran out
// of registers.
template <typename Op, typename T, typename R>
[[gnu::noinline]] void runKernel(R* out, const T* a, bool aSteps, const T* b, bool bSteps, size_t n) {
  if (aSteps && bSteps) {
    for (size_t i = 0; i < n; ++i) out[i] = Op::apply(a[i], b[i]);
  } else if (aSteps) {
    const T fixed = *b;
    for (size_t i = 0; i < n; ++i) out[i] = Op::apply(a[i], fixed);
  } else if (bSteps) {
    const T fixed = *a;
    for (size_t i = 0; i < n; ++i) out[i] = Op::apply(fixed, b[i]);
  } else {
    const R value = Op::apply(*a, *b);
    std::fill(out, out + n, value);
  }
}

template <typename Op, typename T, typename R>
void applyPlan(const Plan& plan, R* out, const T* a, const T* b) {
  forEachRun(plan, [&](size_t o, size_t ia, size_t ib, size_t n) {
    runKernel<Op>(out + o, a + ia, plan.aSteps, b + ib, plan.bSteps, n);
  });
}

template <typename T>
void applyArithmetic(Elementwise op, const Plan& plan, T* out, const T* a, const T* b) {
  switch (op) {
    case Elementwise::Plus:
      return applyPlan<PlusOp>(plan, out, a, b);
    case Elementwise::Minus:
      return applyPlan<MinusOp>(plan, out, a, b);
    case Elementwise::Times:
      return applyPlan<TimesOp>(plan, out, a, b);
    case Elementwise::RDivide:
      return applyPlan<RDivideOp>(plan, out, a, b);
    case Elementwise::LDivide:
      return applyPlan<LDivideOp>(plan, out, a, b);
    case Elementwise::Power:
      return applyPlan<PowerOp>(plan, out, a, b);
    case Elementwise::Atan2:
      return applyPlan<Atan2Op>(plan, out, a, b);
    case Elementwise::Hypot:
      return applyPlan<HypotOp>(plan, out, a, b);
    case Elementwise::Mod:
      return applyPlan<ModOp>(plan, out, a, b);
    case Elementwise::Rem:
      return applyPlan<RemOp>(plan, out, a, b);
    case Elementwise::Min:
      return applyPlan<MinOp>(plan, out, a, b);
    case Elementwise::Max:
      return applyPlan<MaxOp>(plan, out, a, b);
    default:
      return;
  }
}

template <typename T>
void applyLogical(Elementwise op, const Plan& plan, zyLogical* out, const T* a, const T* b) {
  switch (op) {
    case Elementwise::Eq:
      return applyPlan<EqOp>(plan, out, a, b);
    case Elementwise::Ne:
      return applyPlan<NeOp>(plan, out, a, b);
    case Elementwise::Lt:
      return applyPlan<LtOp>(plan, out, a, b);
    case Elementwise::Le:
      return applyPlan<LeOp>(plan, out, a, b);
    case Elementwise::Gt:
      return applyPlan<GtOp>(plan, out, a, b);
    case Elementwise::Ge:
      return applyPlan<GeOp>(plan, out, a, b);
    case Elementwise::And:
      return applyPlan<AndOp>(plan, out, a, b);
    case Elementwise::Or:
      return applyPlan<OrOp>(plan, out, a, b);
    case Elementwise::Xor:
      return applyPlan<XorOp>(plan, out, a, b);
    default:
      return;
  }
}

bool givesLogical(Elementwise op) {
  switch (op) {
    case Elementwise::Eq:
    case Elementwise::Ne:
    case Elementwise::Lt:
    case Elementwise::Le:
    case Elementwise::Gt:
    case Elementwise::Ge:
    case Elementwise::And:
    case Elementwise::Or:
    case Elementwise::Xor:
      return true;
    default:
      return false;
  }
}

bool needsTruthValues(Elementwise op) {
  return op == Elementwise::And || op == Elementwise::Or || op == Elementwise::Xor;
}

// ---- Classes ------------------------------------------------------------------------------

zyClassID resultClass(Elementwise op, const zyArray* a, const zyArray* b, const char* name) {
  const zyClassID ca = a->classId();
  const zyClassID cb = b->classId();
  if (!isArithmeticClass(ca)) notDefined(name, ca);
  if (!isArithmeticClass(cb)) notDefined(name, cb);
  if (givesLogical(op)) return zyLOGICAL_CLASS;
  const bool ia = isIntegerClass(ca);
  const bool ib = isIntegerClass(cb);
  if ((op == Elementwise::Atan2 || op == Elementwise::Hypot) && (ia || ib)) {
    raise("Q:invalidInput", std::string(name) + ": integer inputs are not supported.");
  }
  if (ia && ib && ca != cb) {
    raise("Q:mixedIntegerClasses", "Integers of different classes (" + className(ca) + " and " +
                                       className(cb) + ") cannot be combined.");
  }
  if (ia) return ca;
  if (ib) return cb;
  if (ca == zySINGLE_CLASS || cb == zySINGLE_CLASS) return zySINGLE_CLASS;
  return zyDOUBLE_CLASS;
}

template <typename Integer>
void storeWide(zyArray* out, const std::vector<long double>& values) {
  auto* target = dataOf<Integer>(out);
  for (size_t i = 0; i < values.size(); ++i) {
    target[i] = zy::detail::roundSaturate<Integer>(values[i]);
  }
}

// Whether a real power has a negative base against a non-integer exponent anywhere, so that
// some results are complex.
bool powerMayBeComplex(const zyArray* a, const zyArray* b) {
  if (!isFloatClass(a->classId()) && !isFloatClass(b->classId())) return false;
  DoubleValues base(a);
  bool negative = false;
  for (size_t i = 0; i < a->numberOfElements() && !negative; ++i) negative = base[i] < 0;
  if (!negative) return false;
  DoubleValues exponent(b);
  for (size_t i = 0; i < b->numberOfElements(); ++i) {
    if (exponent[i] != std::floor(exponent[i]) && !std::isnan(exponent[i])) return true;
  }
  return false;
}

// ---- Complex path -------------------------------------------------------------------------

using Complex = std::complex<double>;

// Integer powers by repeated squaring, so that (1i)^2 is exactly -1.
Complex complexPower(Complex z, Complex w) {
  if (w.imag() == 0 && w.real() == std::floor(w.real()) && std::fabs(w.real()) <= 1024) {
    long n = static_cast<long>(std::fabs(w.real()));
    Complex result(1, 0), factor = z;
    while (n) {
      if (n & 1) result *= factor;
      factor *= factor;
      n >>= 1;
    }
    return w.real() < 0 ? Complex(1, 0) / result : result;
  }
  if (z.imag() == 0 && z.real() >= 0 && w.imag() == 0) return Complex(std::pow(z.real(), w.real()));
  return std::pow(z, w);
}

bool isNaN(Complex z) { return std::isnan(z.real()) || std::isnan(z.imag()); }

// Complex ordering for min and max: by magnitude, then by angle.
bool complexLess(Complex a, Complex b) {
  const double ma = std::abs(a), mb = std::abs(b);
  if (ma != mb) return ma < mb;
  return std::arg(a) < std::arg(b);
}

ArrayPtr complexPath(Elementwise op, const zyArray* a, const zyArray* b, zyClassID cls,
                     const Dims& out, const Plan& plan, const char* name) {
  if (op == Elementwise::Atan2 || op == Elementwise::Mod || op == Elementwise::Rem) {
    raise("Q:invalidInput", std::string(name) + ": complex inputs are not supported.");
  }
  DoubleValues ar(a), ai(a, true), br(b), bi(b, true);
  const size_t n = plan.count;
  if (givesLogical(op)) {
    ArrayPtr result = create(zyLOGICAL_CLASS, out);
    zyLogical* target = n ? dataOf<zyLogical>(result.get()) : nullptr;
    forEachRun(plan, [&](size_t o, size_t ia, size_t ib, size_t length) {
      for (size_t i = 0; i < length; ++i) {
        const size_t ja = ia + (plan.aSteps ? i : 0), jb = ib + (plan.bSteps ? i : 0);
        const bool ta = ar[ja] != 0 || ai[ja] != 0, tb = br[jb] != 0 || bi[jb] != 0;
        bool value = false;
        switch (op) {
          case Elementwise::Eq:
            value = ar[ja] == br[jb] && ai[ja] == bi[jb];
            break;
          case Elementwise::Ne:
            value = !(ar[ja] == br[jb] && ai[ja] == bi[jb]);
            break;
          case Elementwise::Lt:
            value = ar[ja] < br[jb];
            break;
          case Elementwise::Le:
            value = ar[ja] <= br[jb];
            break;
          case Elementwise::Gt:
            value = ar[ja] > br[jb];
            break;
          case Elementwise::Ge:
            value = ar[ja] >= br[jb];
            break;
          case Elementwise::And:
            value = ta && tb;
            break;
          case Elementwise::Or:
            value = ta || tb;
            break;
          default:
            value = ta != tb;
            break;
        }
        target[o + i] = value;
      }
    });
    return result;
  }
  std::vector<double> re(n), im(n);
  forEachRun(plan, [&](size_t o, size_t ia, size_t ib, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      const size_t ja = ia + (plan.aSteps ? i : 0), jb = ib + (plan.bSteps ? i : 0);
      const Complex x(ar[ja], ai[ja]), y(br[jb], bi[jb]);
      Complex z;
      switch (op) {
        case Elementwise::Plus:
          z = x + y;
          break;
        case Elementwise::Minus:
          z = x - y;
          break;
        case Elementwise::Times:
          z = x * y;
          break;
        case Elementwise::RDivide:
          z = y.imag() == 0 ? x / y.real() : x / y;
          break;
        case Elementwise::LDivide:
          z = x.imag() == 0 ? y / x.real() : y / x;
          break;
        case Elementwise::Power:
          z = complexPower(x, y);
          break;
        case Elementwise::Hypot:
          z = std::hypot(std::abs(x), std::abs(y));
          break;
        case Elementwise::Min:
          z = isNaN(x) ? y : isNaN(y) ? x : complexLess(y, x) ? y : x;
          break;
        case Elementwise::Max:
          z = isNaN(x) ? y : isNaN(y) ? x : complexLess(x, y) ? y : x;
          break;
        default:
          break;
      }
      re[o + i] = z.real();
      im[o + i] = z.imag();
    }
  });
  return fromDoubles(cls, out, re.data(), im.data());
}

// Whether the temporary may take the result: its data is ours alone, it is real double and
// has the result's shape.
bool canReuse(const ArrayPtr* candidate, const Dims& out) {
  if (candidate == nullptr || *candidate == nullptr) return false;
  const zyArray* a = candidate->get();
  return a->classId() == zyDOUBLE_CLASS && !a->isSparse() && !a->isComplex() && !a->sharesData() &&
         dimsOf(a) == out;
}

}  // namespace

double scalarElementwise(Elementwise op, double a, double b) {
  switch (op) {
    case Elementwise::Atan2:
      return Atan2Op::apply(a, b);
    case Elementwise::Hypot:
      return HypotOp::apply(a, b);
    case Elementwise::Mod:
      return ModOp::apply(a, b);
    default:
      return RemOp::apply(a, b);
  }
}

void notDefined(const char* name, zyClassID classId) {
  const std::string cls = className(classId);
  if ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z')) {
    raise("Q:undefinedFunction",
          std::string(name) + ": not defined for values of class '" + cls + "'.");
  }
  raise("Q:undefinedOperator",
        "Operator '" + std::string(name) + "' is not defined for values of class '" + cls + "'.");
}

zyClassID arithmeticClass(const zyArray* a, const zyArray* b, const char* name) {
  return resultClass(Elementwise::Plus, a, b, name);
}

Dims expandedDims(const zyArray* a, const zyArray* b) {
  const size_t nd = std::max(a->numberOfDimensions(), b->numberOfDimensions());
  Dims out(nd);
  for (size_t i = 0; i < nd; ++i) {
    const size_t da = i < a->numberOfDimensions() ? a->dimensions()[i] : 1;
    const size_t db = i < b->numberOfDimensions() ? b->dimensions()[i] : 1;
    if (da == db || db == 1) {
      out[i] = da;
    } else if (da == 1) {
      out[i] = db;
    } else {
      raise("Q:sizeMismatch", "Arrays have incompatible sizes for this operation.");
    }
  }
  return out;
}

void checkNoNaN(const zyArray* full) {
  const zyClassID cls = full->classId();
  if (cls != zyDOUBLE_CLASS && cls != zySINGLE_CLASS) return;
  const size_t n = full->numberOfElements();
  for (int part = 0; part < (isComplex(full) ? 2 : 1); ++part) {
    const void* data = part ? full->imagData() : full->realData();
    bool nan = false;
    if (cls == zyDOUBLE_CLASS) {
      const auto* values = static_cast<const double*>(data);
      for (size_t i = 0; i < n && !nan; ++i) nan = std::isnan(values[i]);
    } else {
      const auto* values = static_cast<const float*>(data);
      for (size_t i = 0; i < n && !nan; ++i) nan = std::isnan(values[i]);
    }
    if (nan) raise("Q:NaNToLogical", "NaN values cannot be converted to logical.");
  }
}

ArrayPtr elementwise(Elementwise op, const zyArray* aIn, const zyArray* bIn, const char* name,
                     ArrayPtr* reuseA, ArrayPtr* reuseB) {
  const zyClassID cls = resultClass(op, aIn, bIn, name);
  FullArray a(aIn), b(bIn);
  const Dims out = expandedDims(a.get(), b.get());
  const Plan plan = makePlan(out, dimsOf(a.get()), dimsOf(b.get()));
  if (needsTruthValues(op)) {
    checkNoNaN(a.get());
    checkNoNaN(b.get());
  }
  if (isComplex(a.get()) || isComplex(b.get()) ||
      (op == Elementwise::Power && isFloatClass(cls) && powerMayBeComplex(a.get(), b.get()))) {
    return complexPath(op, a.get(), b.get(), cls, out, plan, name);
  }
  const bool wide =
      isWideInteger(cls) ||
      (givesLogical(op) && (isWideInteger(a->classId()) || isWideInteger(b->classId())));
  if (wide) {
    const std::vector<long double> va = wideValues(a.get()), vb = wideValues(b.get());
    if (givesLogical(op)) {
      ArrayPtr result = create(zyLOGICAL_CLASS, out);
      if (plan.count) applyLogical(op, plan, dataOf<zyLogical>(result.get()), va.data(), vb.data());
      return result;
    }
    std::vector<long double> values(plan.count);
    applyArithmetic(op, plan, values.data(), va.data(), vb.data());
    ArrayPtr result = create(cls, out);
    if (plan.count == 0) return result;
    if (cls == zyINT64_CLASS) {
      storeWide<int64_t>(result.get(), values);
    } else {
      storeWide<uint64_t>(result.get(), values);
    }
    return result;
  }
  DoubleValues va(a.get()), vb(b.get());
  if (givesLogical(op)) {
    ArrayPtr result = create(zyLOGICAL_CLASS, out);
    if (plan.count) applyLogical(op, plan, dataOf<zyLogical>(result.get()), va.data(), vb.data());
    return result;
  }
  if (cls == zyDOUBLE_CLASS) {
    // The interesting case for speed: write straight into the result (or a temporary's block).
    ArrayPtr* reuse = op == Elementwise::Power ? nullptr
                      : canReuse(reuseA, out)  ? reuseA
                      : canReuse(reuseB, out)  ? reuseB
                                               : nullptr;
    ArrayPtr result = reuse ? std::move(*reuse) : createUnfilledDouble(out);
    if (plan.count) {
      applyArithmetic(op, plan, dataOf<double>(result.get()), va.data(), vb.data());
    }
    return result;
  }
  std::vector<double> values(plan.count);
  applyArithmetic(op, plan, values.data(), va.data(), vb.data());
  return fromDoubles(cls, out, values.data(), nullptr);
}

bool chainable(const zyArray* a) {
  return a->classId() == zyDOUBLE_CLASS && !a->isSparse() && !a->isComplex();
}

namespace {

// A step as a type: its operator and the side of the scalar.
template <typename Op, bool scalarFirst>
struct Step {
  static double apply(double scalar, double x) {
    return scalarFirst ? Op::apply(scalar, x) : Op::apply(x, scalar);
  }
};

// Calls body with the Step type of step (eight kinds).
template <typename Body>
void withStep(const ScalarStep& step, Body&& body) {
  const bool first = step.scalarFirst;
  switch (step.op) {
    case ScalarStepOp::Plus:
      return first ? body(Step<PlusOp, true>()) : body(Step<PlusOp, false>());
    case ScalarStepOp::Minus:
      return first ? body(Step<MinusOp, true>()) : body(Step<MinusOp, false>());
    case ScalarStepOp::Times:
      return first ? body(Step<TimesOp, true>()) : body(Step<TimesOp, false>());
    case ScalarStepOp::Divide:
      return first ? body(Step<RDivideOp, true>()) : body(Step<RDivideOp, false>());
  }
}

// Two steps in one loop: each element is rounded to double after each step, as the operators
// one by one round it (the file is compiled without contracting a*b + c into a fused
// multiply-add).
template <typename A, typename B>
void twoSteps(double a, double b, const double* in, double* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = B::apply(b, A::apply(a, in[i]));
}

template <typename A>
void oneStep(double a, const double* in, double* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = A::apply(a, in[i]);
}

}  // namespace

ArrayPtr scalarChain(ArrayPtr a, const ScalarStep* steps, size_t count) {
  // Small enough that a block stays in the first-level cache between the steps.
  constexpr size_t kBlock = 2048;
  const size_t n = a->numberOfElements();
  ArrayPtr result = a->sharesData() ? createUnfilledDouble(dimsOf(a.get())) : std::move(a);
  if (n == 0) return result;
  const double* source = constData<double>(a ? a.get() : result.get());
  double* target = dataOf<double>(result.get());
  for (size_t start = 0; start < n; start += kBlock) {
    const size_t length = std::min(kBlock, n - start);
    const double* in = source + start;
    double* out = target + start;
    for (size_t k = 0; k < count; in = out) {
      if (k + 1 < count) {
        const double sa = steps[k].scalar, sb = steps[k + 1].scalar;
        withStep(steps[k], [&](auto first) {
          withStep(steps[k + 1], [&](auto second) {
            twoSteps<decltype(first), decltype(second)>(sa, sb, in, out, length);
          });
        });
        k += 2;
      } else {
        withStep(steps[k], [&](auto step) { oneStep<decltype(step)>(steps[k].scalar, in, out, length); });
        k += 1;
      }
    }
  }
  return result;
}

ArrayPtr negate(const zyArray* aIn, ArrayPtr* reuse) {
  FullArray a(aIn);
  const zyClassID cls = a->classId();
  if (!isArithmeticClass(cls)) notDefined("-", cls);
  const size_t n = a->numberOfElements();
  const Dims dims = dimsOf(a.get());
  if (cls == zyDOUBLE_CLASS) {
    const bool reusable = reuse && *reuse && !(*reuse)->isSparse() && !(*reuse)->sharesData();
    ArrayPtr result =
        reusable ? std::move(*reuse) : create(zyDOUBLE_CLASS, dims, isComplex(a.get()));
    for (int part = 0; part < (isComplex(a.get()) ? 2 : 1) && n; ++part) {
      const double* source = part ? constImag<double>(a.get()) : constData<double>(a.get());
      double* target = part ? imagOf<double>(result.get()) : dataOf<double>(result.get());
      for (size_t i = 0; i < n; ++i) target[i] = -source[i];
    }
    return result;
  }
  if (cls == zySINGLE_CLASS) {
    ArrayPtr result = create(zySINGLE_CLASS, dims, isComplex(a.get()));
    for (int part = 0; part < (isComplex(a.get()) ? 2 : 1) && n; ++part) {
      const float* source = part ? constImag<float>(a.get()) : constData<float>(a.get());
      float* target = part ? imagOf<float>(result.get()) : dataOf<float>(result.get());
      for (size_t i = 0; i < n; ++i) target[i] = -source[i];
    }
    return result;
  }
  if (cls == zyLOGICAL_CLASS || cls == zyCHAR_CLASS) {
    ArrayPtr asDouble = convertClass(a.get(), zyDOUBLE_CLASS);
    return negate(asDouble.get(), &asDouble);
  }
  // Integers: -intmin saturates, which multiplying by -1 in the class's rules gives.
  ArrayPtr minusOne = scalar(-1);
  return elementwise(Elementwise::Times, a.get(), minusOne.get(), "-");
}

ArrayPtr unaryPlus(const zyArray* a) {
  const zyClassID cls = a->classId();
  if (!isArithmeticClass(cls)) notDefined("+", cls);
  if (cls == zyLOGICAL_CLASS || cls == zyCHAR_CLASS) return convertClass(a, zyDOUBLE_CLASS);
  return checked(zyCreateSharedDataCopy(a));
}

ArrayPtr logicalNot(const zyArray* aIn) {
  FullArray a(aIn);
  if (!isArithmetic(a.get())) notDefined("~", a->classId());
  checkNoNaN(a.get());
  ArrayPtr result = create(zyLOGICAL_CLASS, dimsOf(a.get()));
  const size_t n = a->numberOfElements();
  if (n == 0) return result;
  zyLogical* target = dataOf<zyLogical>(result.get());
  if (a->classId() == zyLOGICAL_CLASS) {
    const auto* source = constData<zyLogical>(a.get());
    for (size_t i = 0; i < n; ++i) target[i] = source[i] == 0;
    return result;
  }
  DoubleValues re(a.get()), im(a.get(), true);
  for (size_t i = 0; i < n; ++i) target[i] = re[i] == 0 && im[i] == 0;
  return result;
}

}  // namespace q::ops::detail
