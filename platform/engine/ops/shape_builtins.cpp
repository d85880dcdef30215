// Built-ins that construct arrays or ask about and change their shape.

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/shape.hpp"

namespace q::ops::detail {
namespace {

// Splits a trailing class name off the arguments of zeros(2, 3, 'int8') and its kin.
zyClassID trailingClass(const Call& call, int& sizeCount, const char* function, bool floatingOnly) {
  sizeCount = call.nargin;
  zyClassID cls = zyDOUBLE_CLASS;
  if (call.nargin > 0 && call.in(call.nargin - 1)->classId() == zyCHAR_CLASS) {
    const std::string name = textArgument(call.in(call.nargin - 1), function);
    const bool known = classFromName(name, cls);
    const bool allowed = known && (floatingOnly ? isFloatClass(cls)
                                                : (isNumericClass(cls) || cls == zyLOGICAL_CLASS));
    if (!allowed) {
      raise("Q:invalidInput",
            std::string(function) + ": '" + name + "' is not a class it can make.");
    }
    --sizeCount;
  }
  return cls;
}

template <int kind>
void filledBuiltin(Call& call) {
  // kind: 0 zeros, 1 ones, 2 Inf, 3 NaN, 4 pi
  static const char* const names[] = {"zeros", "ones", "Inf", "NaN", "pi"};
  static const double values[] = {0, 1, std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(), 3.14159265358979323846};
  call.check(0, -1, 1);
  int sizeCount = 0;
  const zyClassID cls = trailingClass(call, sizeCount, names[kind], kind >= 2);
  ArrayPtr out = create(cls, sizeArguments(call.inputs, sizeCount, names[kind]));
  if (kind != 0) fill(out.get(), values[kind]);
  call.out(0, std::move(out));
}

template <bool value>
void logicalFilledBuiltin(Call& call) {
  call.check(0, -1, 1);
  ArrayPtr out =
      create(zyLOGICAL_CLASS, sizeArguments(call.inputs, call.nargin, value ? "true" : "false"));
  if (value) fill(out.get(), 1);
  call.out(0, std::move(out));
}

void eyeBuiltin(Call& call) {
  call.check(0, 3, 1);
  int sizeCount = 0;
  const zyClassID cls = trailingClass(call, sizeCount, "eye", false);
  const Dims dims = sizeArguments(call.inputs, sizeCount, "eye");
  if (dims.size() != 2) raise("Q:invalidSize", "eye: the size must be 2-D.");
  call.out(0, identity(cls, dims[0], dims[1]));
}

// The distance from |x| to the next larger number of its class.
template <typename Float>
Float spacing(Float x) {
  if (!std::isfinite(x)) return std::numeric_limits<Float>::quiet_NaN();
  if (x == 0) return std::numeric_limits<Float>::denorm_min();
  int exponent = 0;
  std::frexp(std::fabs(x), &exponent);
  const Float step = std::ldexp(Float(1), exponent - std::numeric_limits<Float>::digits);
  return std::max(step, std::numeric_limits<Float>::denorm_min());
}

void epsBuiltin(Call& call) {
  call.check(0, 1, 1);
  if (call.nargin == 0) return call.out(0, scalar(std::numeric_limits<double>::epsilon()));
  const zyArray* a = call.in(0);
  if (a->classId() == zyCHAR_CLASS) {
    const std::string name = textArgument(a, "eps");
    if (name == "double") return call.out(0, scalar(std::numeric_limits<double>::epsilon()));
    if (name == "single") {
      const double value = std::numeric_limits<float>::epsilon();
      return call.out(0, fromDoubles(zySINGLE_CLASS, {1, 1}, &value, nullptr));
    }
    raise("Q:invalidInput", "eps: the class must be 'double' or 'single'.");
  }
  FullArray full(a);
  if (!isFloatClass(full->classId())) {
    raise("Q:invalidInput", "eps: the input must be double or single.");
  }
  const size_t n = full->numberOfElements();
  DoubleValues values(full.get());
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    out[i] = full->classId() == zySINGLE_CLASS ? spacing(static_cast<float>(values[i]))
                                               : spacing(values[i]);
  }
  call.out(0, fromDoubles(full->classId(), dimsOf(full.get()), out.data(), nullptr));
}

void linspaceBuiltin(Call& call) {
  call.check(2, 3, 1);
  const double first = scalarArgument(call.in(0), "linspace", "the start");
  const double last = scalarArgument(call.in(1), "linspace", "the end");
  double count = 100;
  if (call.nargin == 3) count = std::floor(scalarArgument(call.in(2), "linspace", "the count"));
  if (std::isnan(count)) raise("Q:invalidInput", "linspace: the count must not be NaN.");
  const size_t n = count < 1 ? 0 : static_cast<size_t>(std::min(count, 4.0e15));
  std::vector<double> values(n);
  for (size_t k = 0; k + 1 < n; ++k) {
    values[k] = first + (last - first) * static_cast<double>(k) / static_cast<double>(n - 1);
  }
  if (n) values[n - 1] = last;
  const bool single =
      call.in(0)->classId() == zySINGLE_CLASS || call.in(1)->classId() == zySINGLE_CLASS;
  call.out(0,
           fromDoubles(single ? zySINGLE_CLASS : zyDOUBLE_CLASS, {1, n}, values.data(), nullptr));
}

// For every element of an array of shape `out`, the linear index of the element of an array of
// shape `in` at the subscripts given by map(dimension, subscript).
template <typename Map>
std::vector<size_t> indexMap(const Dims& out, const Dims& inStrides, Map&& map) {
  const size_t count = countOf(out);
  std::vector<size_t> indices(count);
  Dims subscript(out.size(), 0);
  for (size_t k = 0; k < count; ++k) {
    size_t index = 0;
    for (size_t d = 0; d < out.size(); ++d) index += map(d, subscript[d]) * inStrides[d];
    indices[k] = index;
    for (size_t d = 0; d < out.size(); ++d) {
      if (++subscript[d] < out[d]) break;
      subscript[d] = 0;
    }
  }
  return indices;
}

Dims stridesOf(const Dims& dims) {
  Dims strides(dims.size());
  size_t stride = 1;
  for (size_t d = 0; d < dims.size(); ++d) {
    strides[d] = stride;
    stride *= dims[d];
  }
  return strides;
}

void repmatBuiltin(Call& call) {
  call.check(2, -1, 1);
  const zyArray* a = call.in(0);
  Dims factors = sizeArguments(call.inputs + 1, call.nargin - 1, "repmat");
  Dims in = dimsOf(a);
  const size_t nd = std::max(in.size(), factors.size());
  in.resize(nd, 1);
  factors.resize(nd, 1);
  Dims out(nd);
  for (size_t d = 0; d < nd; ++d) out[d] = in[d] * factors[d];
  countOf(out);
  const std::vector<size_t> indices =
      indexMap(out, stridesOf(in), [&](size_t d, size_t s) { return s % in[d]; });
  call.out(0, gather(a, out, indices));
}

void reshapeBuiltin(Call& call) {
  call.check(2, -1, 1);
  const zyArray* a = call.in(0);
  Dims dims;
  if (call.nargin == 2) {
    FullArray sizes(call.in(1));
    if (!isArithmetic(sizes.get()) || sizes->numberOfElements() < 2) {
      raise("Q:invalidSize", "reshape: the size must have at least two elements.");
    }
    dims = sizeArguments(call.inputs + 1, 1, "reshape");
  } else {
    // One size may be left open with [] and is then worked out from the element count.
    int open = -1;
    size_t known = 1;
    for (int i = 1; i < call.nargin; ++i) {
      const zyArray* size = call.in(i);
      if (size->numberOfElements() == 0) {
        if (open >= 0) raise("Q:invalidSize", "reshape: only one size may be left open with [].");
        open = i - 1;
        dims.push_back(0);
        continue;
      }
      const Dims one = sizeArguments(&size, 1, "reshape");
      if (size->numberOfElements() != 1) {
        raise("Q:invalidSize", "reshape: each size argument must be a scalar.");
      }
      dims.push_back(one[0]);
      known *= one[0];
    }
    if (open >= 0) {
      if (known == 0 || a->numberOfElements() % known != 0) {
        raise("Q:reshapeCount", "reshape: " + std::to_string(a->numberOfElements()) +
                                    " elements cannot be divided evenly into the given sizes.");
      }
      dims[static_cast<size_t>(open)] = a->numberOfElements() / known;
    }
  }
  call.out(0, reshaped(a, dims));
}

void catBuiltin(Call& call) {
  call.check(1, -1, 1);
  const size_t dimension = dimensionArgument(call.in(0), "cat");
  call.out(0, concatenateArrays(dimension, std::vector<const zyArray*>(call.inputs + 1,
                                                                       call.inputs + call.nargin)));
}

template <size_t dimension>
void catAlongBuiltin(Call& call) {
  call.check(0, -1, 1);
  call.out(0, concatenateArrays(
                  dimension, std::vector<const zyArray*>(call.inputs, call.inputs + call.nargin)));
}

void sizeBuiltin(Call& call) {
  call.check(1, 2, 1 << 20);
  const zyArray* a = call.in(0);
  const Dims dims = dimsOf(a);
  auto sizeAt = [&](size_t d) { return d < dims.size() ? static_cast<double>(dims[d]) : 1.0; };
  if (call.nargin == 2) {
    if (call.nargout > 1) matrix::detail::error_maxlhs();
    FullArray which(call.in(1));
    if (which->numberOfElements() == 1) {
      call.out(0, scalar(sizeAt(dimensionArgument(which.get(), "size"))));
      return;
    }
    std::vector<double> sizes;
    DoubleValues values(which.get());
    for (size_t i = 0; i < which->numberOfElements(); ++i) {
      if (!(values[i] >= 1) || values[i] != std::floor(values[i])) {
        raise("Q:invalidDimension", "size: dimension must be a positive integer.");
      }
      sizes.push_back(sizeAt(static_cast<size_t>(values[i]) - 1));
    }
    call.out(0, rowVector(sizes));
    return;
  }
  if (call.nargout <= 1) {
    std::vector<double> sizes(dims.begin(), dims.end());
    call.out(0, rowVector(sizes));
    return;
  }
  // [m, n] = size(A): the last output takes the product of the remaining dimensions.
  const size_t outputs = static_cast<size_t>(call.nargout);
  for (size_t k = 0; k < outputs; ++k) {
    double value = sizeAt(k);
    if (k + 1 == outputs) {
      for (size_t d = k + 1; d < dims.size(); ++d) value *= static_cast<double>(dims[d]);
    }
    call.out(static_cast<int>(k), scalar(value));
  }
}

double numelOf(const zyArray* a) { return static_cast<double>(a->numberOfElements()); }

double lengthOf(const zyArray* a) {
  if (a->numberOfElements() == 0) return 0;
  const size_t* dims = a->dimensions();
  return static_cast<double>(*std::max_element(dims, dims + a->numberOfDimensions()));
}

double ndimsOf(const zyArray* a) { return static_cast<double>(a->numberOfDimensions()); }

// kind: 0 isempty, 1 isscalar, 2 isvector, 3 isrow, 4 iscolumn; 1 for true.
template <int kind>
double shapeTest(const zyArray* a) {
  const bool twoD = a->numberOfDimensions() == 2;
  const size_t rows = a->dimensions()[0], columns = a->dimensions()[1];
  switch (kind) {
    case 0:
      return a->numberOfElements() == 0;
    case 1:
      return a->numberOfElements() == 1;
    case 2:
      return twoD && (rows == 1 || columns == 1);
    case 3:
      return twoD && rows == 1;
    default:
      return twoD && columns == 1;
  }
}

template <ShapeQuery query>
void countBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, scalar(query(call.in(0))));
}

template <int kind>
void shapeTestBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, logicalScalar(shapeTest<kind>(call.in(0)) != 0));
}

void squeezeBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  if (a->numberOfDimensions() <= 2) return call.out(0, checked(zyCreateSharedDataCopy(a)));
  Dims dims;
  for (size_t size : dimsOf(a)) {
    if (size != 1) dims.push_back(size);
  }
  while (dims.size() < 2) dims.push_back(1);
  call.out(0, reshaped(a, dims));
}

// permute(A, order): dimension d of the result is dimension order(d) of A; ipermute (inverse)
// undoes it.
template <bool inverse>
void permuteBuiltin(Call& call) {
  const std::string name = inverse ? "ipermute" : "permute";
  call.check(2, 2, 1);
  const zyArray* a = call.in(0);
  FullArray orderArray(call.in(1));
  if (!isArithmetic(orderArray.get()))
    raise("Q:invalidInput", name + ": the order must be numeric.");
  DoubleValues values(orderArray.get());
  const size_t nd = orderArray->numberOfElements();
  std::vector<size_t> order(nd);
  std::vector<bool> seen(nd, false);
  for (size_t i = 0; i < nd; ++i) {
    const double value = values[i];
    if (!(value >= 1) || value != std::floor(value) || value > static_cast<double>(nd) ||
        seen[static_cast<size_t>(value) - 1]) {
      raise("Q:invalidInput", name + ": the order must be a permutation of 1 to N.");
    }
    const size_t dimension = static_cast<size_t>(value) - 1;
    if (inverse) {
      order[dimension] = i;
    } else {
      order[i] = dimension;
    }
    seen[dimension] = true;
  }
  if (nd < a->numberOfDimensions()) {
    raise("Q:invalidInput", name + ": the order must name every dimension of the array.");
  }
  Dims in = dimsOf(a);
  in.resize(nd, 1);
  const Dims inStrides = stridesOf(in);
  Dims out(nd), strides(nd);
  for (size_t d = 0; d < nd; ++d) {
    out[d] = in[order[d]];
    strides[d] = inStrides[order[d]];
  }
  const std::vector<size_t> indices = indexMap(out, strides, [](size_t, size_t s) { return s; });
  call.out(0, gather(a, out, indices));
}

// ---- flip, fliplr, flipud, circshift, rot90 -----------------------------------------------

// The first dimension (zero-based) of more than one element; 0 for a scalar.
size_t firstLongDimension(const Dims& dims) {
  for (size_t d = 0; d < dims.size(); ++d) {
    if (dims[d] != 1) return d;
  }
  return 0;
}

// flip(a, dim) (first dimension longer than one by default), fliplr: dim 2, flipud: dim 1.
template <int fixed>
void flipBuiltin(Call& call) {
  const char* name = fixed == 2 ? "fliplr" : fixed == 1 ? "flipud" : "flip";
  call.check(1, fixed == 0 ? 2 : 1, 1);
  const zyArray* a = call.in(0);
  const Dims dims = dimsOf(a);
  const size_t dim = fixed != 0      ? fixed - 1
                     : call.nargin > 1 ? dimensionArgument(call.in(1), name)
                                       : firstLongDimension(dims);
  const std::vector<size_t> indices = indexMap(dims, stridesOf(dims), [&](size_t d, size_t s) {
    return d == dim ? dims[d] - 1 - s : s;
  });
  call.out(0, gather(a, dims, indices));
}

// circshift(a, k) moves the elements k places along the first dimension longer than one (a
// vector k: k(d) along dimension d); circshift(a, k, dim) along dim. Elements shifted past the
// end come round to the start.
void circshiftBuiltin(Call& call) {
  call.check(2, 3, 1);
  const zyArray* a = call.in(0);
  const Dims dims = dimsOf(a);
  FullArray shiftArray(call.in(1));
  if (!isArithmetic(shiftArray.get())) {
    raise("Q:invalidInput", "circshift: the shift must be whole numbers.");
  }
  const DoubleValues values(shiftArray.get());
  std::vector<double> shift(dims.size(), 0);
  const size_t count = shiftArray->numberOfElements();
  if (call.nargin > 2 || count == 1) {
    if (count != 1) raise("Q:invalidInput", "circshift: with a dimension the shift is a scalar.");
    const size_t dim =
        call.nargin > 2 ? dimensionArgument(call.in(2), "circshift") : firstLongDimension(dims);
    if (dim < dims.size()) shift[dim] = values[0];
  } else {
    for (size_t d = 0; d < count && d < dims.size(); ++d) shift[d] = values[d];
  }
  for (double k : shift) {
    if (k != std::floor(k)) raise("Q:invalidInput", "circshift: the shift must be whole numbers.");
  }
  const std::vector<size_t> indices = indexMap(dims, stridesOf(dims), [&](size_t d, size_t s) {
    const double n = static_cast<double>(dims[d]);
    if (n == 0) return s;
    const double from = std::fmod(std::fmod(static_cast<double>(s) - shift[d], n) + n, n);
    return static_cast<size_t>(from);
  });
  call.out(0, gather(a, dims, indices));
}

// rot90(a, k): a matrix turned k quarter turns counterclockwise.
void rot90Builtin(Call& call) {
  call.check(1, 2, 1);
  const zyArray* a = call.in(0);
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "rot90: the input must be 2-D.");
  double k = call.nargin > 1 ? scalarArgument(call.in(1), "rot90", "k") : 1;
  if (k != std::floor(k)) raise("Q:invalidInput", "rot90: k must be a whole number.");
  const int turns = static_cast<int>(std::fmod(std::fmod(k, 4) + 4, 4));
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const Dims out = turns % 2 == 0 ? Dims{m, n} : Dims{n, m};
  std::vector<size_t> indices;
  indices.reserve(m * n);
  for (size_t j = 0; j < out[1]; ++j) {
    for (size_t i = 0; i < out[0]; ++i) {
      const size_t row = turns == 0 ? i : turns == 1 ? j : turns == 2 ? m - 1 - i : m - 1 - j;
      const size_t column = turns == 0 ? j : turns == 1 ? n - 1 - i : turns == 2 ? n - 1 - j : i;
      indices.push_back(row + m * column);
    }
  }
  call.out(0, gather(a, out, indices));
}

// ---- diag, triu, tril, nnz ----------------------------------------------------------------

// The real and imaginary values of a numeric, char or logical array as doubles.
struct Values {
  explicit Values(const zyArray* full, const char* name) {
    if (!isArithmetic(full)) notDefined(name, full->classId());
    const DoubleValues re(full);
    real.assign(re.data(), re.data() + full->numberOfElements());
    if (full->isComplex()) {
      const DoubleValues im(full, true);
      imag.assign(im.data(), im.data() + full->numberOfElements());
    }
  }
  std::vector<double> real, imag;
};

ArrayPtr sameClass(const zyArray* like, const Dims& dims, const std::vector<double>& real,
                   const std::vector<double>& imag) {
  return fromDoubles(like->classId(), dims, real.data(), imag.empty() ? nullptr : imag.data());
}

// diag(v, k): the square matrix with the vector v on diagonal k (0 the main one, above it
// positive); diag(A, k): diagonal k of the matrix A as a column.
void diagBuiltin(Call& call) {
  call.check(1, 2, 1);
  FullArray a(call.in(0));
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "diag: the input must be 2-D.");
  const double kValue = call.nargin > 1 ? scalarArgument(call.in(1), "diag", "k") : 0;
  if (kValue != std::floor(kValue) || std::fabs(kValue) > 1e9) {
    raise("Q:invalidInput", "diag: k must be a whole number.");
  }
  const auto k = static_cast<std::ptrdiff_t>(kValue);
  const Values values(a.get(), "diag");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const bool complex = !values.imag.empty();
  if (m == 1 || n == 1) {
    const size_t length = m * n, size = length + static_cast<size_t>(std::abs(k));
    std::vector<double> real(size * size, 0), imag(complex ? size * size : 0, 0);
    const size_t row0 = k < 0 ? static_cast<size_t>(-k) : 0, column0 = k > 0 ? k : 0;
    for (size_t i = 0; i < length; ++i) {
      const size_t at = (row0 + i) + size * (column0 + i);
      real[at] = values.real[i];
      if (complex) imag[at] = values.imag[i];
    }
    return call.out(0, sameClass(a.get(), {size, size}, real, imag));
  }
  std::vector<double> real, imag;
  for (size_t i = k < 0 ? static_cast<size_t>(-k) : 0, j = k > 0 ? k : 0; i < m && j < n;
       ++i, ++j) {
    real.push_back(values.real[i + m * j]);
    if (complex) imag.push_back(values.imag[i + m * j]);
  }
  call.out(0, sameClass(a.get(), {real.size(), 1}, real, imag));
}

// triu(A, k) keeps the elements on and above diagonal k, tril(A, k) those on and below it.
template <bool upper>
void triangleBuiltin(Call& call) {
  const char* name = upper ? "triu" : "tril";
  call.check(1, 2, 1);
  FullArray a(call.in(0));
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", std::string(name) + ": 2-D only.");
  const double k = call.nargin > 1 ? scalarArgument(call.in(1), name, "k") : 0;
  Values values(a.get(), name);
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < m; ++i) {
      const double offset = static_cast<double>(j) - static_cast<double>(i);
      if (upper ? offset >= k : offset <= k) continue;
      values.real[i + m * j] = 0;
      if (!values.imag.empty()) values.imag[i + m * j] = 0;
    }
  }
  call.out(0, sameClass(a.get(), {m, n}, values.real, values.imag));
}

void nnzBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  const Values values(a.get(), "nnz");
  double count = 0;
  for (size_t i = 0; i < values.real.size(); ++i) {
    count += values.real[i] != 0 || (!values.imag.empty() && values.imag[i] != 0);
  }
  call.out(0, scalar(count));
}

// ---- sub2ind, ind2sub, meshgrid ------------------------------------------------------------

Dims sizeVector(const zyArray* a, const char* name) {
  FullArray sizes(a);
  if (!isArithmetic(sizes.get()) || sizes->numberOfElements() == 0) {
    raise("Q:invalidInput", std::string(name) + ": the size must be a vector of whole numbers.");
  }
  const DoubleValues values(sizes.get());
  Dims dims;
  for (size_t i = 0; i < sizes->numberOfElements(); ++i) {
    if (!(values[i] >= 0) || values[i] != std::floor(values[i])) {
      raise("Q:invalidInput", std::string(name) + ": the size must be whole numbers.");
    }
    dims.push_back(static_cast<size_t>(values[i]));
  }
  if (dims.size() == 1) dims.push_back(1);
  return dims;
}

// sub2ind(size, i, j, ...): the linear indices of the subscripts (arrays of one shape).
void sub2indBuiltin(Call& call) {
  call.check(2, -1, 1);
  const Dims dims = sizeVector(call.in(0), "sub2ind");
  const int subscripts = call.nargin - 1;
  FullArray first(call.in(1));
  const Dims shape = dimsOf(first.get());
  std::vector<double> out(first->numberOfElements(), 0);
  double stride = 1;
  for (int s = 0; s < subscripts; ++s) {
    FullArray subscript(call.in(s + 1));
    if (!isArithmetic(subscript.get()) || dimsOf(subscript.get()) != shape) {
      raise("Q:invalidInput", "sub2ind: the subscripts must be numbers, all of one size.");
    }
    // Subscripts past the size's dimensions fold the rest of them into the last one.
    double extent = 1;
    if (s == subscripts - 1) {
      for (size_t d = s; d < dims.size(); ++d) extent *= static_cast<double>(dims[d]);
    } else {
      extent = static_cast<size_t>(s) < dims.size() ? static_cast<double>(dims[s]) : 1;
    }
    const DoubleValues values(subscript.get());
    for (size_t i = 0; i < out.size(); ++i) {
      const double v = values[i];
      if (!(v >= 1) || v > extent || v != std::floor(v)) {
        raise("Q:badsubscript", "sub2ind: a subscript is outside the size.");
      }
      out[i] += (v - 1) * stride;
    }
    stride *= extent;
  }
  for (double& index : out) index += 1;
  call.out(0, fromDoubles(zyDOUBLE_CLASS, shape, out.data(), nullptr));
}

// [i, j, ...] = ind2sub(size, ind): the subscripts of linear indices; the last output takes
// the dimensions left over.
void ind2subBuiltin(Call& call) {
  call.check(2, 2, 64);
  const Dims dims = sizeVector(call.in(0), "ind2sub");
  const int outputs = call.outputsWanted();
  FullArray indices(call.in(1));
  if (!isArithmetic(indices.get())) {
    raise("Q:invalidInput", "ind2sub: the indices must be numbers.");
  }
  const size_t total = countOf(dims);
  // Fold or pad the size to one extent per output.
  Dims extents(static_cast<size_t>(outputs), 1);
  for (size_t d = 0; d < dims.size(); ++d) {
    extents[std::min(d, extents.size() - 1)] *= dims[d];
  }
  const DoubleValues values(indices.get());
  const size_t n = indices->numberOfElements();
  std::vector<std::vector<double>> subscripts(extents.size(), std::vector<double>(n));
  for (size_t i = 0; i < n; ++i) {
    const double v = values[i];
    if (!(v >= 1) || v > static_cast<double>(total) || v != std::floor(v)) {
      raise("Q:badsubscript", "ind2sub: an index is outside the size.");
    }
    auto rest = static_cast<size_t>(v) - 1;
    for (size_t d = 0; d < extents.size(); ++d) {
      const size_t last = d + 1 == extents.size() ? rest : rest % extents[d];
      subscripts[d][i] = static_cast<double>(last) + 1;
      if (d + 1 < extents.size()) rest /= extents[d];
    }
  }
  const Dims shape = dimsOf(indices.get());
  for (int k = 0; k < outputs; ++k) {
    call.out(k, fromDoubles(zyDOUBLE_CLASS, shape, subscripts[k].data(), nullptr));
  }
}

// [X, Y] = meshgrid(x, y): X repeats the row x for every element of y, Y the column y for every
// element of x; meshgrid(x) is meshgrid(x, x).
void meshgridBuiltin(Call& call) {
  call.check(1, 2, 2);
  FullArray x(call.in(0)), y(call.in(call.nargin > 1 ? 1 : 0));
  const Values xs(x.get(), "meshgrid"), ys(y.get(), "meshgrid");
  const size_t nx = xs.real.size(), ny = ys.real.size();
  std::vector<double> gx(nx * ny), gy(nx * ny);
  for (size_t j = 0; j < nx; ++j) {
    for (size_t i = 0; i < ny; ++i) {
      gx[i + ny * j] = xs.real[j];
      gy[i + ny * j] = ys.real[i];
    }
  }
  call.out(0, fromDoubles(x->classId(), {ny, nx}, gx.data(), nullptr));
  if (call.nargout > 1) call.out(1, fromDoubles(y->classId(), {ny, nx}, gy.data(), nullptr));
}

}  // namespace

void addShapeBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"circshift", builtin<circshiftBuiltin>});
  table.push_back({"diag", builtin<diagBuiltin>});
  table.push_back({"flip", builtin<flipBuiltin<0>>});
  table.push_back({"fliplr", builtin<flipBuiltin<2>>});
  table.push_back({"flipud", builtin<flipBuiltin<1>>});
  table.push_back({"ind2sub", builtin<ind2subBuiltin>});
  table.push_back({"meshgrid", builtin<meshgridBuiltin>});
  table.push_back({"nnz", builtin<nnzBuiltin>});
  table.push_back({"rot90", builtin<rot90Builtin>});
  table.push_back({"sub2ind", builtin<sub2indBuiltin>});
  table.push_back({"tril", builtin<triangleBuiltin<false>>});
  table.push_back({"triu", builtin<triangleBuiltin<true>>});
  table.push_back({"Inf", builtin<filledBuiltin<2>>});
  table.push_back({"NaN", builtin<filledBuiltin<3>>});
  table.push_back({"cat", builtin<catBuiltin>});
  table.push_back({"eps", builtin<epsBuiltin>});
  table.push_back({"eye", builtin<eyeBuiltin>});
  table.push_back({"false", builtin<logicalFilledBuiltin<false>>});
  table.push_back({"horzcat", builtin<catAlongBuiltin<1>>});
  table.push_back({"iscolumn", builtin<shapeTestBuiltin<4>>, nullptr, shapeTest<4>, true});
  table.push_back({"isempty", builtin<shapeTestBuiltin<0>>, nullptr, shapeTest<0>, true});
  table.push_back({"isrow", builtin<shapeTestBuiltin<3>>, nullptr, shapeTest<3>, true});
  table.push_back({"isscalar", builtin<shapeTestBuiltin<1>>, nullptr, shapeTest<1>, true});
  table.push_back({"isvector", builtin<shapeTestBuiltin<2>>, nullptr, shapeTest<2>, true});
  table.push_back({"length", builtin<countBuiltin<lengthOf>>, nullptr, lengthOf});
  table.push_back({"linspace", builtin<linspaceBuiltin>});
  table.push_back({"ndims", builtin<countBuiltin<ndimsOf>>, nullptr, ndimsOf});
  table.push_back({"numel", builtin<countBuiltin<numelOf>>, nullptr, numelOf});
  table.push_back({"ones", builtin<filledBuiltin<1>>});
  table.push_back({"ipermute", builtin<permuteBuiltin<true>>});
  table.push_back({"permute", builtin<permuteBuiltin<false>>});
  table.push_back({"pi", builtin<filledBuiltin<4>>});
  table.push_back({"repmat", builtin<repmatBuiltin>});
  table.push_back({"reshape", builtin<reshapeBuiltin>});
  table.push_back({"size", builtin<sizeBuiltin>});
  table.push_back({"squeeze", builtin<squeezeBuiltin>});
  table.push_back({"true", builtin<logicalFilledBuiltin<true>>});
  table.push_back({"vertcat", builtin<catAlongBuiltin<0>>});
  table.push_back({"zeros", builtin<filledBuiltin<0>>});
}

}  // namespace q::ops::detail
