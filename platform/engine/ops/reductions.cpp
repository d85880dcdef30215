// Reductions along a dimension (sum, prod, mean, min, max, any, all), running reductions
// (cumsum, cumprod, diff), dot, sort and find.
//
// An array reduced along dimension d is walked as (before, length, after): element (i, j, o)
// sits at i + before * (j + length * o). Accumulating into a row of `before` results keeps the
// inner loop contiguous whatever the dimension. Integer classes accumulate in double (long
// double for the 64-bit classes) and are converted back, saturating, at the end. 'all' walks the
// whole array as one column; 'omitnan' and 'includenan' choose whether NaN takes part.

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/shape.hpp"
#include "zy/convert.hpp"

namespace q::ops::detail {
namespace {

using Complex = std::complex<double>;

Layout layoutFor(const zyArray* a, size_t dim) { return detail::layoutFor(dimsOf(a), dim); }

// The dimension argument at position index, or the first non-singleton dimension.
size_t dimensionOf(const Call& call, int index, const zyArray* a, const char* function) {
  if (call.nargin > index) return dimensionArgument(call.in(index), function);
  return firstNonSingleton(dimsOf(a));
}

// The options after the array of a reduction: a dimension or 'all' (the whole array as one
// column), then 'omitnan' or 'includenan' where the function takes them.
enum class NaNFlag { Default, Omit, Include };
struct ReductionOptions {
  bool all = false;
  bool hasDimension = false;
  size_t dim = 0;
  NaNFlag nan = NaNFlag::Default;
};

ReductionOptions reductionOptions(const Call& call, int first, const char* function,
                                  bool nanFlags) {
  ReductionOptions options;
  for (int i = first; i < call.nargin; ++i) {
    const zyArray* argument = call.in(i);
    if (argument->classId() != zyCHAR_CLASS) {
      if (i != first) {
        raise("Q:invalidInput", std::string(function) + ": the dimension must come first.");
      }
      options.dim = dimensionArgument(argument, function);
      options.hasDimension = true;
      continue;
    }
    const std::string option = lower(textArgument(argument, function));
    if (option == "all" && i == first) {
      options.all = true;
    } else if (nanFlags && (option == "omitnan" || option == "includenan") &&
               options.nan == NaNFlag::Default) {
      options.nan = option == "omitnan" ? NaNFlag::Omit : NaNFlag::Include;
    } else {
      raise("Q:invalidInput", std::string(function) + ": unknown option '" + option + "'.");
    }
  }
  return options;
}

// The layout of a reduction with those options: the whole array as one column for 'all'.
Layout reductionLayout(const zyArray* a, const ReductionOptions& options) {
  if (!options.all) {
    return layoutFor(a, options.hasDimension ? options.dim : firstNonSingleton(dimsOf(a)));
  }
  Layout layout;
  layout.length = a->numberOfElements();
  layout.in = {layout.length, 1};
  layout.out = {1, 1};
  return layout;
}

bool isBareEmpty(const zyArray* a) {
  return a->numberOfDimensions() == 2 && a->dimensions()[0] == 0 && a->dimensions()[1] == 0;
}

const zyArray* requireArithmetic(const zyArray* a, const char* function) {
  if (!isArithmetic(a)) notDefined(function, a->classId());
  return a;
}

ArrayPtr fromWide(zyClassID cls, const Dims& dims, const std::vector<long double>& values) {
  ArrayPtr out = create(cls, dims);
  if (values.empty()) return out;
  if (cls == zyINT64_CLASS) {
    auto* target = dataOf<int64_t>(out.get());
    for (size_t i = 0; i < values.size(); ++i) {
      target[i] = zy::detail::roundSaturate<int64_t>(values[i]);
    }
  } else {
    auto* target = dataOf<uint64_t>(out.get());
    for (size_t i = 0; i < values.size(); ++i) {
      target[i] = zy::detail::roundSaturate<uint64_t>(values[i]);
    }
  }
  return out;
}

// The class sums and products keep: integers and single stay, the rest become double.
zyClassID accumulatingClass(zyClassID cls) {
  return isIntegerClass(cls) || cls == zySINGLE_CLASS ? cls : zyDOUBLE_CLASS;
}

// ---- sum, prod, mean, cumsum, cumprod ---------------------------------------------------------

enum class Accumulate { Sum, Prod, Mean, CumSum, CumProd };

// omitNaN leaves NaN values out of sums, products and means (a mean of none is NaN).
template <typename T>
std::vector<T> reduceReal(const T* x, const Layout& l, Accumulate kind, bool omitNaN) {
  const bool running = kind == Accumulate::CumSum || kind == Accumulate::CumProd;
  const bool product = kind == Accumulate::Prod || kind == Accumulate::CumProd;
  if (running) {
    std::vector<T> out(x, x + l.before * l.length * l.after);
    for (size_t o = 0; o < l.after; ++o) {
      for (size_t j = 1; j < l.length; ++j) {
        T* current = out.data() + l.before * (j + l.length * o);
        const T* previous = current - l.before;
        for (size_t i = 0; i < l.before; ++i) {
          current[i] = product ? current[i] * previous[i] : current[i] + previous[i];
        }
      }
    }
    return out;
  }
  std::vector<T> out(l.before * l.after, product ? T(1) : T(0));
  std::vector<size_t> counts(omitNaN ? out.size() : 0, 0);
  for (size_t o = 0; o < l.after; ++o) {
    T* target = out.data() + l.before * o;
    for (size_t j = 0; j < l.length; ++j) {
      const T* row = x + l.before * (j + l.length * o);
      if (omitNaN) {
        for (size_t i = 0; i < l.before; ++i) {
          if (row[i] != row[i]) continue;
          target[i] = product ? target[i] * row[i] : target[i] + row[i];
          ++counts[i + l.before * o];
        }
      } else if (product) {
        for (size_t i = 0; i < l.before; ++i) target[i] *= row[i];
      } else {
        for (size_t i = 0; i < l.before; ++i) target[i] += row[i];
      }
    }
  }
  if (kind == Accumulate::Mean) {
    for (size_t k = 0; k < out.size(); ++k) {
      out[k] /= static_cast<T>(omitNaN ? counts[k] : l.length);
    }
  }
  return out;
}

std::vector<Complex> reduceComplex(const zyArray* full, const Layout& l, Accumulate kind,
                                   bool omitNaN) {
  DoubleValues re(full), im(full, true);
  const size_t n = full->numberOfElements();
  std::vector<Complex> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = Complex(re[i], im[i]);
  const bool running = kind == Accumulate::CumSum || kind == Accumulate::CumProd;
  const bool product = kind == Accumulate::Prod || kind == Accumulate::CumProd;
  if (running) {
    for (size_t o = 0; o < l.after; ++o) {
      for (size_t j = 1; j < l.length; ++j) {
        for (size_t i = 0; i < l.before; ++i) {
          const size_t k = i + l.before * (j + l.length * o);
          x[k] = product ? x[k] * x[k - l.before] : x[k] + x[k - l.before];
        }
      }
    }
    return x;
  }
  std::vector<Complex> out(l.before * l.after, product ? Complex(1) : Complex(0));
  std::vector<size_t> counts(out.size(), 0);
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t j = 0; j < l.length; ++j) {
      for (size_t i = 0; i < l.before; ++i) {
        const Complex value = x[i + l.before * (j + l.length * o)];
        if (omitNaN && (std::isnan(value.real()) || std::isnan(value.imag()))) continue;
        Complex& target = out[i + l.before * o];
        target = product ? target * value : target + value;
        ++counts[i + l.before * o];
      }
    }
  }
  if (kind == Accumulate::Mean) {
    for (size_t k = 0; k < out.size(); ++k) {
      out[k] /= static_cast<double>(omitNaN ? counts[k] : l.length);
    }
  }
  return out;
}

template <Accumulate kind>
void accumulateBuiltin(Call& call) {
  static const char* const names[] = {"sum", "prod", "mean", "cumsum", "cumprod"};
  const char* name = names[static_cast<int>(kind)];
  const bool running = kind == Accumulate::CumSum || kind == Accumulate::CumProd;
  call.check(1, running ? 2 : 3, 1);
  FullArray a(requireArithmetic(call.in(0), name));
  zyClassID cls = accumulatingClass(a->classId());
  if (kind == Accumulate::Mean && isIntegerClass(cls)) cls = zyDOUBLE_CLASS;
  const ReductionOptions options = reductionOptions(call, 1, name, !running);
  if (running && options.all) {
    raise("Q:invalidInput", std::string(name) + ": unknown option 'all'.");
  }
  const bool omitNaN = options.nan == NaNFlag::Omit;
  Layout layout = reductionLayout(a.get(), options);
  if (!running && !options.hasDimension && !options.all && isBareEmpty(a.get())) {
    // sum([]) is 0, prod([]) is 1 and mean([]) is NaN: the reduction of no values at all.
    layout.out = {1, 1};
    layout.before = layout.after = 1;
  }
  const Dims dims = running ? layout.in : layout.out;
  if (isComplex(a.get())) {
    const std::vector<Complex> values = reduceComplex(a.get(), layout, kind, omitNaN);
    std::vector<double> re(values.size()), im(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      re[i] = values[i].real();
      im[i] = values[i].imag();
    }
    return call.out(0, fromDoubles(cls, dims, re.data(), im.data()));
  }
  if (isWideInteger(cls)) {
    const std::vector<long double> x = wideValues(a.get());
    return call.out(0, fromWide(cls, dims, reduceReal(x.data(), layout, kind, false)));
  }
  DoubleValues x(a.get());
  const std::vector<double> values = reduceReal(x.data(), layout, kind, omitNaN);
  call.out(0, fromDoubles(cls, dims, values.data(), nullptr));
}

// ---- min and max ------------------------------------------------------------------------------

template <bool isMax>
struct Better {
  template <typename T>
  static bool real(T candidate, T current) {
    return isMax ? candidate > current : candidate < current;
  }
  static bool complex(Complex candidate, Complex current) {
    const double a = std::abs(candidate), b = std::abs(current);
    if (a != b) return isMax ? a > b : a < b;
    return isMax ? std::arg(candidate) > std::arg(current)
                 : std::arg(candidate) < std::arg(current);
  }
};

// One reduction: the best non-NaN value of each slice and its (zero-based) position; a slice of
// NaN only gives NaN at its first position. With includeNaN the first NaN of a slice wins.
template <bool isMax, typename T>
void extremeReal(const T* x, const Layout& l, bool includeNaN, std::vector<T>& best,
                 std::vector<double>& where) {
  best.assign(l.before * l.after, T(0));
  where.assign(l.before * l.after, 0);
  std::vector<bool> found(l.before * l.after, false), stopped(l.before * l.after, false);
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t j = 0; j < l.length; ++j) {
      for (size_t i = 0; i < l.before; ++i) {
        const T value = x[i + l.before * (j + l.length * o)];
        const size_t k = i + l.before * o;
        if (j == 0) best[k] = value;
        if (stopped[k]) continue;
        if (value != value) {
          if (includeNaN) {
            best[k] = value;
            where[k] = static_cast<double>(j);
            stopped[k] = true;
          }
          continue;
        }
        if (!found[k] || Better<isMax>::real(value, best[k])) {
          best[k] = value;
          where[k] = static_cast<double>(j);
          found[k] = true;
        }
      }
    }
  }
}

template <bool isMax>
void extremeBuiltin(Call& call) {
  const char* name = isMax ? "max" : "min";
  call.check(1, 4, 2);
  // max(A, B) and max(A, B, 'omitnan') (NaN is left out there anyway) are element-wise.
  const bool twoArrays = call.nargin >= 2 && call.in(1)->numberOfElements() != 0;
  const bool omitFlag = call.nargin == 3 && call.in(2)->classId() == zyCHAR_CLASS &&
                        lower(textArgument(call.in(2), name)) == "omitnan";
  if (call.nargin == 2 || (twoArrays && omitFlag)) {
    if (call.nargout > 1) matrix::detail::error_maxlhs();
    call.out(
        0, elementwise(isMax ? Elementwise::Max : Elementwise::Min, call.in(0), call.in(1), name));
    return;
  }
  if (twoArrays) {
    raise("Q:invalidInput",
          std::string(name) + ": use " + name + "(A, [], dim) to work along a dimension.");
  }
  FullArray a(requireArithmetic(call.in(0), name));
  zyClassID cls = a->classId();
  if (cls == zyCHAR_CLASS || cls == zyLOGICAL_CLASS) cls = zyDOUBLE_CLASS;
  const ReductionOptions options = reductionOptions(call, 2, name, true);
  const bool includeNaN = options.nan == NaNFlag::Include;
  Layout layout = reductionLayout(a.get(), options);
  if (layout.length == 0) {
    // No values to choose from: the result is empty along the dimension ('all': 0-by-0).
    layout.out = options.all ? Dims{0, 0} : layout.in;
    call.out(0, create(cls, layout.out));
    if (call.nargout > 1) call.out(1, createDouble(layout.out));
    return;
  }
  std::vector<double> where;
  if (isComplex(a.get())) {
    DoubleValues re(a.get()), im(a.get(), true);
    std::vector<double> bestRe(layout.before * layout.after), bestIm(bestRe.size());
    where.assign(bestRe.size(), 0);
    for (size_t o = 0; o < layout.after; ++o) {
      for (size_t i = 0; i < layout.before; ++i) {
        const size_t k = i + layout.before * o;
        bool found = false;
        Complex best;
        for (size_t j = 0; j < layout.length; ++j) {
          const size_t index = i + layout.before * (j + layout.length * o);
          const Complex value(re[index], im[index]);
          if (j == 0) best = value;
          if (std::isnan(value.real()) || std::isnan(value.imag())) {
            if (includeNaN) {
              best = value;
              where[k] = static_cast<double>(j);
              break;
            }
            continue;
          }
          if (!found || Better<isMax>::complex(value, best)) {
            best = value;
            where[k] = static_cast<double>(j);
            found = true;
          }
        }
        bestRe[k] = best.real();
        bestIm[k] = best.imag();
      }
    }
    call.out(0, fromDoubles(cls, layout.out, bestRe.data(), bestIm.data()));
  } else if (isWideInteger(cls)) {
    const std::vector<long double> x = wideValues(a.get());
    std::vector<long double> best;
    extremeReal<isMax>(x.data(), layout, false, best, where);
    call.out(0, fromWide(cls, layout.out, best));
  } else {
    DoubleValues x(a.get());
    std::vector<double> best;
    extremeReal<isMax>(x.data(), layout, includeNaN, best, where);
    call.out(0, fromDoubles(cls, layout.out, best.data(), nullptr));
  }
  if (call.nargout > 1) {
    for (double& index : where) index += 1;
    ArrayPtr indices = createDouble(layout.out);
    if (!where.empty()) std::copy(where.begin(), where.end(), dataOf<double>(indices.get()));
    call.out(1, std::move(indices));
  }
}

// ---- any and all ------------------------------------------------------------------------------

template <bool isAll>
void truthBuiltin(Call& call) {
  const char* name = isAll ? "all" : "any";
  call.check(1, 2, 1);
  FullArray a(requireArithmetic(call.in(0), name));
  const ReductionOptions options = reductionOptions(call, 1, name, false);
  if (call.nargin == 1 && isBareEmpty(a.get())) return call.out(0, logicalScalar(isAll));
  const Layout layout = reductionLayout(a.get(), options);
  DoubleValues re(a.get()), im(a.get(), true);
  ArrayPtr out = create(zyLOGICAL_CLASS, layout.out);
  const size_t count = layout.before * layout.after;
  if (count == 0) return call.out(0, std::move(out));
  zyLogical* target = dataOf<zyLogical>(out.get());
  std::fill(target, target + count, isAll ? 1 : 0);
  for (size_t o = 0; o < layout.after; ++o) {
    for (size_t j = 0; j < layout.length; ++j) {
      for (size_t i = 0; i < layout.before; ++i) {
        const size_t index = i + layout.before * (j + layout.length * o);
        // any ignores NaN; all counts it as non-zero.
        const bool nonZero = isAll ? (re[index] != 0 || im[index] != 0)
                                   : ((re[index] != 0 && !std::isnan(re[index])) ||
                                      (im[index] != 0 && !std::isnan(im[index])));
        zyLogical& result = target[i + layout.before * o];
        result = isAll ? (result && nonZero) : (result || nonZero);
      }
    }
  }
  call.out(0, std::move(out));
}

// ---- diff and dot -----------------------------------------------------------------------------

void diffBuiltin(Call& call) {
  call.check(1, 3, 1);
  FullArray a(requireArithmetic(call.in(0), "diff"));
  double order = 1;
  if (call.nargin >= 2) {
    order = scalarArgument(call.in(1), "diff", "the order");
    if (order < 0 || order != std::floor(order)) {
      raise("Q:invalidInput", "diff: the order must be a non-negative integer.");
    }
  }
  zyClassID cls = a->classId();
  if (cls == zyCHAR_CLASS || cls == zyLOGICAL_CLASS) cls = zyDOUBLE_CLASS;
  const size_t dim = dimensionOf(call, 2, a.get(), "diff");
  Layout layout = layoutFor(a.get(), dim);
  DoubleValues re(a.get()), im(a.get(), true);
  const size_t n = a->numberOfElements();
  std::vector<double> xr(re.data(), re.data() + n), xi(im.data(), im.data() + n);
  for (double step = 0; step < order && layout.length > 0; ++step) {
    const size_t length = layout.length - 1;
    std::vector<double> nr(layout.before * length * layout.after);
    std::vector<double> ni(nr.size());
    for (size_t o = 0; o < layout.after; ++o) {
      for (size_t j = 0; j < length; ++j) {
        for (size_t i = 0; i < layout.before; ++i) {
          const size_t from = i + layout.before * (j + layout.length * o);
          const size_t to = i + layout.before * (j + length * o);
          nr[to] = xr[from + layout.before] - xr[from];
          ni[to] = xi[from + layout.before] - xi[from];
        }
      }
    }
    xr.swap(nr);
    xi.swap(ni);
    layout.length = length;
  }
  Dims dims = layout.in;
  dims[dim] = layout.length;
  call.out(0, fromDoubles(cls, dims, xr.data(), isComplex(a.get()) ? xi.data() : nullptr));
}

void dotBuiltin(Call& call) {
  call.check(2, 3, 1);
  FullArray a(requireArithmetic(call.in(0), "dot")), b(requireArithmetic(call.in(1), "dot"));
  const zyClassID cls = arithmeticClass(a.get(), b.get(), "dot");
  const bool vectors = isVector(a.get()) && isVector(b.get()) && call.nargin == 2;
  if (vectors ? a->numberOfElements() != b->numberOfElements() : !sameDims(a.get(), b.get())) {
    raise("Q:sizeMismatch", "dot: the inputs must have the same size.");
  }
  // Vectors of either orientation are treated as columns.
  Layout layout;
  if (vectors) {
    layout.in = {a->numberOfElements(), 1};
    layout.length = a->numberOfElements();
    layout.out = {1, 1};
  } else {
    layout = layoutFor(a.get(), dimensionOf(call, 2, a.get(), "dot"));
  }
  DoubleValues ar(a.get()), ai(a.get(), true), br(b.get()), bi(b.get(), true);
  const size_t count = layout.before * layout.after;
  std::vector<double> re(count, 0.0), im(count, 0.0);
  for (size_t o = 0; o < layout.after; ++o) {
    for (size_t j = 0; j < layout.length; ++j) {
      for (size_t i = 0; i < layout.before; ++i) {
        const size_t index = i + layout.before * (j + layout.length * o);
        // conj(a) .* b
        const Complex product =
            std::conj(Complex(ar[index], ai[index])) * Complex(br[index], bi[index]);
        re[i + layout.before * o] += product.real();
        im[i + layout.before * o] += product.imag();
      }
    }
  }
  const bool complex = isComplex(a.get()) || isComplex(b.get());
  call.out(0, fromDoubles(cls, layout.out, re.data(), complex ? im.data() : nullptr));
}

// ---- sort -------------------------------------------------------------------------------------

struct SortOptions {
  size_t dim = 0;
  bool descending = false;
};

SortOptions sortOptions(const Call& call, const zyArray* a) {
  SortOptions options;
  options.dim = firstNonSingleton(dimsOf(a));
  for (int i = 1; i < call.nargin; ++i) {
    const zyArray* argument = call.in(i);
    if (argument->classId() == zyCHAR_CLASS) {
      const std::string mode = lower(textArgument(argument, "sort"));
      if (mode == "descend") {
        options.descending = true;
      } else if (mode != "ascend") {
        raise("Q:invalidInput", "sort: the direction must be 'ascend' or 'descend'.");
      }
    } else if (i == 1) {
      options.dim = dimensionArgument(argument, "sort");
    } else {
      raise("Q:invalidInput", "sort: the direction must be 'ascend' or 'descend'.");
    }
  }
  return options;
}

// Sorts each slice along the dimension; returns the source index of every result element and
// the rank (zero-based position in its slice) it came from.
template <typename Less>
void sortSlices(const Layout& l, Less&& less, std::vector<size_t>& source,
                std::vector<double>& positions) {
  const size_t count = l.before * l.length * l.after;
  source.resize(count);
  positions.resize(count);
  std::vector<size_t> order(l.length);
  for (size_t o = 0; o < l.after; ++o) {
    for (size_t i = 0; i < l.before; ++i) {
      const size_t base = i + l.before * l.length * o;
      std::iota(order.begin(), order.end(), size_t(0));
      std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
        return less(base + l.before * x, base + l.before * y);
      });
      for (size_t j = 0; j < l.length; ++j) {
        source[base + l.before * j] = base + l.before * order[j];
        positions[base + l.before * j] = static_cast<double>(order[j] + 1);
      }
    }
  }
}

void sortBuiltin(Call& call) {
  call.check(1, 3, 2);
  const zyArray* input = call.in(0);
  if (input->classId() == zyCELL_CLASS) {
    if (!isCellOfText(input)) {
      raise("Q:invalidInput", "sort: a cell array to sort must hold character vectors only.");
    }
    const SortOptions options = sortOptions(call, input);
    std::vector<std::u16string> texts;
    for (size_t i = 0; i < input->numberOfElements(); ++i) {
      texts.push_back(unitsOf(zyGetCellConst(input, i)));
    }
    const Layout layout = layoutFor(input, options.dim);
    std::vector<size_t> source;
    std::vector<double> positions;
    sortSlices(
        layout,
        [&](size_t x, size_t y) {
          return options.descending ? texts[y] < texts[x] : texts[x] < texts[y];
        },
        source, positions);
    call.out(0, gather(input, layout.in, source));
    if (call.nargout > 1)
      call.out(1, fromDoubles(zyDOUBLE_CLASS, layout.in, positions.data(), nullptr));
    return;
  }
  FullArray a(requireArithmetic(input, "sort"));
  const SortOptions options = sortOptions(call, a.get());
  const Layout layout = layoutFor(a.get(), options.dim);
  std::vector<size_t> source;
  std::vector<double> positions;
  // NaN sorts after every number going up and before every number going down.
  if (isComplex(a.get())) {
    DoubleValues re(a.get()), im(a.get(), true);
    auto key = [&](size_t k) { return Complex(re[k], im[k]); };
    sortSlices(
        layout,
        [&](size_t x, size_t y) {
          const Complex p = key(x), q = key(y);
          const bool pn = std::isnan(p.real()) || std::isnan(p.imag());
          const bool qn = std::isnan(q.real()) || std::isnan(q.imag());
          if (pn || qn) return options.descending ? pn && !qn : qn && !pn;
          return options.descending ? Better<true>::complex(p, q) : Better<false>::complex(p, q);
        },
        source, positions);
  } else {
    const std::vector<long double> x = wideValues(a.get());
    sortSlices(
        layout,
        [&](size_t i, size_t j) {
          const long double p = x[i], q = x[j];
          if (p != p || q != q) return options.descending ? (p != p && q == q) : (q != q && p == p);
          return options.descending ? p > q : p < q;
        },
        source, positions);
  }
  call.out(0, gather(a.get(), dimsOf(a.get()), source));
  if (call.nargout > 1) {
    call.out(1, fromDoubles(zyDOUBLE_CLASS, dimsOf(a.get()), positions.data(), nullptr));
  }
}

// ---- find -------------------------------------------------------------------------------------

void findBuiltin(Call& call) {
  call.check(1, 3, 3);
  const zyArray* input = requireArithmetic(call.in(0), "find");
  double limit = std::numeric_limits<double>::infinity();
  bool fromEnd = false;
  if (call.nargin >= 2) {
    limit = scalarArgument(call.in(1), "find", "the count");
    if (!(limit >= 0) || (std::isfinite(limit) && limit != std::floor(limit))) {
      raise("Q:invalidInput", "find: the count must be a non-negative integer.");
    }
  }
  if (call.nargin == 3) {
    const std::string direction = lower(textArgument(call.in(2), "find"));
    if (direction != "first" && direction != "last") {
      raise("Q:invalidInput", "find: the direction must be 'first' or 'last'.");
    }
    fromEnd = direction == "last";
  }
  // The positions of the non-zero elements; sparse arrays are read from their stored elements.
  std::vector<size_t> found;
  const size_t rows = input->dimensions()[0];
  if (input->isSparse()) {
    const size_t columns = input->dimensions()[1];
    FullArray full(input);
    DoubleValues re(full.get()), im(full.get(), true);
    for (size_t column = 0; column < columns; ++column) {
      for (size_t k = input->jc()[column]; k < input->jc()[column + 1]; ++k) {
        const size_t index = input->ir()[k] + rows * column;
        if (re[index] != 0 || im[index] != 0) found.push_back(index);
      }
    }
  } else if (input->classId() == zyLOGICAL_CLASS) {
    const auto* bytes = constData<zyLogical>(input);
    for (size_t i = 0; i < input->numberOfElements(); ++i) {
      if (bytes[i]) found.push_back(i);
    }
  } else {
    DoubleValues re(input), im(input, true);
    for (size_t i = 0; i < input->numberOfElements(); ++i) {
      if (re[i] != 0 || im[i] != 0) found.push_back(i);
    }
  }
  if (static_cast<double>(found.size()) > limit) {
    const size_t keep = static_cast<size_t>(limit);
    if (fromEnd) {
      found.erase(found.begin(), found.end() - static_cast<ptrdiff_t>(keep));
    } else {
      found.resize(keep);
    }
  }
  const size_t n = found.size();
  const bool row = isRowVector(input) && !isBareEmpty(input);
  const Dims dims = isBareEmpty(input) && n == 0 ? Dims{0, 0} : row ? Dims{1, n} : Dims{n, 1};
  std::vector<double> first(n), second(n);
  if (call.nargout <= 1) {
    for (size_t k = 0; k < n; ++k) first[k] = static_cast<double>(found[k] + 1);
    return call.out(0, fromDoubles(zyDOUBLE_CLASS, dims, first.data(), nullptr));
  }
  for (size_t k = 0; k < n; ++k) {
    first[k] = static_cast<double>(found[k] % std::max<size_t>(rows, 1) + 1);
    second[k] = static_cast<double>(found[k] / std::max<size_t>(rows, 1) + 1);
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, dims, first.data(), nullptr));
  call.out(1, fromDoubles(zyDOUBLE_CLASS, dims, second.data(), nullptr));
  if (call.nargout > 2) {
    FullArray full(input);
    call.out(2, gather(full.get(), dims, found));
  }
}

// ---- median, mode, var, std ----------------------------------------------------------------

enum class Statistic { Median, Mode, Var, Std };

// The statistic of each run of a real array along a dimension (the first longer than one by
// default): median and mode (smallest of the most frequent values) take median(a, dim);
// var and std take var(a, w, dim), w 0 (divide by n - 1) or 1 (by n). NaN in a run gives NaN,
// except for mode, which leaves NaNs out. A run of nothing gives NaN.
template <Statistic statistic>
void statisticBuiltin(Call& call) {
  const bool spread = statistic == Statistic::Var || statistic == Statistic::Std;
  const char* name = statistic == Statistic::Median ? "median"
                     : statistic == Statistic::Mode ? "mode"
                     : statistic == Statistic::Var  ? "var"
                                                    : "std";
  call.check(1, spread ? 3 : 2, 1);
  FullArray a(requireArithmetic(call.in(0), name));
  if (a->isComplex()) raise("Q:invalidInput", std::string(name) + ": the input must be real.");
  bool byCount = false;
  if (spread && call.nargin > 1 && call.in(1)->numberOfElements() > 0) {
    const double w = scalarArgument(call.in(1), name, "the weight");
    if (w != 0 && w != 1) raise("Q:invalidInput", std::string(name) + ": the weight is 0 or 1.");
    byCount = w == 1;
  }
  const int dimIndex = spread ? 2 : 1;
  if (isBareEmpty(a.get()) && call.nargin <= dimIndex) {
    return call.out(0, scalar(std::numeric_limits<double>::quiet_NaN()));
  }
  const size_t dim = dimensionOf(call, dimIndex, a.get(), name);
  const Layout layout = layoutFor(a.get(), dim);
  const DoubleValues values(a.get());
  std::vector<double> out(layout.before * layout.after);
  std::vector<double> run(layout.length);
  for (size_t after = 0; after < layout.after; ++after) {
    for (size_t before = 0; before < layout.before; ++before) {
      for (size_t k = 0; k < layout.length; ++k) {
        run[k] = values[before + layout.before * (k + layout.length * after)];
      }
      double result = std::numeric_limits<double>::quiet_NaN();
      const bool nan = std::any_of(run.begin(), run.end(), [](double v) { return std::isnan(v); });
      if (statistic == Statistic::Mode) {
        std::vector<double> sorted;
        for (double v : run) {
          if (!std::isnan(v)) sorted.push_back(v);
        }
        std::sort(sorted.begin(), sorted.end());
        size_t best = 0;
        for (size_t i = 0; i < sorted.size();) {
          size_t j = i;
          while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
          if (j - i > best) {
            best = j - i;
            result = sorted[i];
          }
          i = j;
        }
      } else if (!nan && !run.empty()) {
        if (statistic == Statistic::Median) {
          std::vector<double> sorted(run);
          std::sort(sorted.begin(), sorted.end());
          const size_t n = sorted.size();
          result = n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        } else {
          double mean = 0;
          for (double v : run) mean += v;
          mean /= static_cast<double>(run.size());
          double squares = 0;
          for (double v : run) squares += (v - mean) * (v - mean);
          const double n = static_cast<double>(run.size());
          result = run.size() == 1 ? 0 : squares / (byCount ? n : n - 1);
          if (statistic == Statistic::Std) result = std::sqrt(result);
        }
      }
      out[before + layout.before * after] = result;
    }
  }
  // Single inputs give single results, the rest doubles (mode keeps the class of its values).
  const zyClassID cls = statistic == Statistic::Mode          ? a->classId()
                        : a->classId() == zySINGLE_CLASS ? zySINGLE_CLASS
                                                          : zyDOUBLE_CLASS;
  call.out(0, fromDoubles(cls == zyLOGICAL_CLASS || cls == zyCHAR_CLASS ? zyDOUBLE_CLASS : cls,
                          layout.out, out.data(), nullptr));
}

}  // namespace

void addReductionBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"median", builtin<statisticBuiltin<Statistic::Median>>});
  table.push_back({"mode", builtin<statisticBuiltin<Statistic::Mode>>});
  table.push_back({"std", builtin<statisticBuiltin<Statistic::Std>>});
  table.push_back({"var", builtin<statisticBuiltin<Statistic::Var>>});
  table.push_back({"all", builtin<truthBuiltin<true>>});
  table.push_back({"any", builtin<truthBuiltin<false>>});
  table.push_back({"cumprod", builtin<accumulateBuiltin<Accumulate::CumProd>>});
  table.push_back({"cumsum", builtin<accumulateBuiltin<Accumulate::CumSum>>});
  table.push_back({"diff", builtin<diffBuiltin>});
  table.push_back({"dot", builtin<dotBuiltin>});
  table.push_back({"find", builtin<findBuiltin>});
  table.push_back({"max", builtin<extremeBuiltin<true>>});
  table.push_back({"mean", builtin<accumulateBuiltin<Accumulate::Mean>>});
  table.push_back({"min", builtin<extremeBuiltin<false>>});
  table.push_back({"prod", builtin<accumulateBuiltin<Accumulate::Prod>>});
  table.push_back({"sort", builtin<sortBuiltin>});
  table.push_back({"sum", builtin<accumulateBuiltin<Accumulate::Sum>>});
}

}  // namespace q::ops::detail
