// Conversion built-ins: bits, number bases, angle units, small math functions, struct and cell
// conversions, file names.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numeric>

#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

constexpr double kTwoTo53 = 9007199254740992.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

// ---- bits: bitand, bitor, bitxor, bitshift ------------------------------------------------

unsigned classBits(zyClassID c) {
  switch (c) {
    case zyINT8_CLASS: case zyUINT8_CLASS: return 8;
    case zyINT16_CLASS: case zyUINT16_CLASS: return 16;
    case zyINT32_CLASS: case zyUINT32_CLASS: return 32;
    case zyINT64_CLASS: case zyUINT64_CLASS: return 64;
    default: return 53;
  }
}

bool isSignedInteger(zyClassID c) {
  return c == zyINT8_CLASS || c == zyINT16_CLASS || c == zyINT32_CLASS || c == zyINT64_CLASS;
}

// The largest value a result of the class may hold: signed classes keep their sign bit clear.
uint64_t classMask(zyClassID c) {
  const unsigned bits = classBits(c) - (isSignedInteger(c) ? 1 : 0);
  return bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

// The elements of a real arithmetic array as nonnegative whole numbers (exact for 64-bit
// integer classes).
std::vector<uint64_t> bitOperand(const zyArray* a, const char* name) {
  if (!isArithmetic(a) || isComplex(a)) {
    raise("Q:invalidInput", std::string(name) + ": the inputs must be real numbers.");
  }
  const size_t n = a->numberOfElements();
  std::vector<uint64_t> out(n);
  const zyClassID c = a->classId();
  auto bad = [&] {
    raise("Q:invalidInput", std::string(name) + ": the inputs must be nonnegative whole numbers.");
  };
  if (c == zyUINT64_CLASS) {
    std::copy(constData<uint64_t>(a), constData<uint64_t>(a) + n, out.begin());
  } else if (c == zyINT64_CLASS) {
    for (size_t i = 0; i < n; ++i) {
      const int64_t v = constData<int64_t>(a)[i];
      if (v < 0) bad();
      out[i] = static_cast<uint64_t>(v);
    }
  } else {
    const DoubleValues values(a);
    const double limit = isIntegerClass(c) ? kTwoTo64 : kTwoTo53;
    for (size_t i = 0; i < n; ++i) {
      const double v = values[i];
      if (!(v >= 0) || v >= limit || v != std::floor(v)) bad();
      out[i] = static_cast<uint64_t>(v);
    }
  }
  return out;
}

// The class of a result: the integer class of either input, else double.
zyClassID bitClass(const zyArray* a, const zyArray* b, const char* name) {
  const zyClassID ca = a->classId(), cb = b->classId();
  if (isIntegerClass(ca) && isIntegerClass(cb) && ca != cb) {
    raise("Q:invalidInput", std::string(name) + ": integers must be of the same class.");
  }
  return isIntegerClass(ca) ? ca : isIntegerClass(cb) ? cb : zyDOUBLE_CLASS;
}

ArrayPtr fromUnsigned(zyClassID c, const Dims& dims, const std::vector<uint64_t>& values) {
  ArrayPtr out = create(c, dims);
  zyArray* o = out.get();
  for (size_t i = 0; i < values.size(); ++i) {
    const uint64_t v = values[i];
    switch (c) {
      case zyINT8_CLASS: dataOf<int8_t>(o)[i] = static_cast<int8_t>(v); break;
      case zyUINT8_CLASS: dataOf<uint8_t>(o)[i] = static_cast<uint8_t>(v); break;
      case zyINT16_CLASS: dataOf<int16_t>(o)[i] = static_cast<int16_t>(v); break;
      case zyUINT16_CLASS: dataOf<uint16_t>(o)[i] = static_cast<uint16_t>(v); break;
      case zyINT32_CLASS: dataOf<int32_t>(o)[i] = static_cast<int32_t>(v); break;
      case zyUINT32_CLASS: dataOf<uint32_t>(o)[i] = static_cast<uint32_t>(v); break;
      case zyINT64_CLASS: dataOf<int64_t>(o)[i] = static_cast<int64_t>(v); break;
      case zyUINT64_CLASS: dataOf<uint64_t>(o)[i] = v; break;
      default: dataOf<double>(o)[i] = static_cast<double>(v); break;
    }
  }
  return out;
}

// The number of elements of an elementwise result of a and b, a scalar going with every
// element of the other; dims receives its shape.
size_t pairCount(const zyArray* a, const zyArray* b, const char* name, Dims& dims) {
  const size_t na = a->numberOfElements(), nb = b->numberOfElements();
  if (na != 1 && nb != 1 && !sameDims(a, b)) {
    raise("Q:dimensionMismatch", std::string(name) + ": the inputs must have the same size.");
  }
  dims = dimsOf(na == 1 ? b : a);
  return na == 1 ? nb : na;
}

enum class BitOp { And, Or, Xor };

template <BitOp op>
void bitBuiltin(Call& call) {
  const char* name = op == BitOp::And ? "bitand" : op == BitOp::Or ? "bitor" : "bitxor";
  call.check(2, 2, 1);
  FullArray a(call.in(0)), b(call.in(1));
  const zyClassID c = bitClass(a.get(), b.get(), name);
  const std::vector<uint64_t> x = bitOperand(a.get(), name), y = bitOperand(b.get(), name);
  Dims dims;
  const size_t n = pairCount(a.get(), b.get(), name, dims);
  std::vector<uint64_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t u = x[x.size() == 1 ? 0 : i], v = y[y.size() == 1 ? 0 : i];
    out[i] = op == BitOp::And ? (u & v) : op == BitOp::Or ? (u | v) : (u ^ v);
    if (out[i] > classMask(c)) {
      raise("Q:invalidInput", std::string(name) + ": the values do not fit the class.");
    }
  }
  call.out(0, fromUnsigned(c, dims, out));
}

// bitshift(a, k): left by k bits, right for negative k; bits past the class width (53 for
// doubles, the bits below the sign bit for signed classes) are dropped.
void bitshiftBuiltin(Call& call) {
  call.check(2, 2, 1);
  FullArray a(call.in(0)), k(call.in(1));
  if (!isArithmetic(k.get()) || isComplex(k.get())) {
    raise("Q:invalidInput", "bitshift: the shift must be whole numbers.");
  }
  const zyClassID c = isIntegerClass(a->classId()) ? a->classId() : zyDOUBLE_CLASS;
  const std::vector<uint64_t> x = bitOperand(a.get(), "bitshift");
  const DoubleValues shifts(k.get());
  for (size_t i = 0; i < k->numberOfElements(); ++i) {
    if (shifts[i] != std::floor(shifts[i])) {
      raise("Q:invalidInput", "bitshift: the shift must be whole numbers.");
    }
  }
  Dims dims;
  const size_t n = pairCount(a.get(), k.get(), "bitshift", dims);
  const bool scalarA = a->numberOfElements() == 1, scalarK = k->numberOfElements() == 1;
  std::vector<uint64_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    const uint64_t v = x[scalarA ? 0 : i];
    const double s = shifts[scalarK ? 0 : i];
    uint64_t r = 0;
    if (s >= 0) {
      r = s >= 64 ? 0 : v << static_cast<unsigned>(s);
    } else {
      r = s <= -64 ? 0 : v >> static_cast<unsigned>(-s);
    }
    out[i] = r & classMask(c);
  }
  call.out(0, fromUnsigned(c, dims, out));
}

// ---- number bases: dec2bin, bin2dec, dec2hex, hex2dec -------------------------------------

const char kDigits[] = "0123456789ABCDEF";

std::string digitsOf(uint64_t v, unsigned shift) {
  std::string s;
  const uint64_t mask = (uint64_t{1} << shift) - 1;
  do {
    s.push_back(kDigits[v & mask]);
    v >>= shift;
  } while (v != 0);
  std::reverse(s.begin(), s.end());
  return s;
}

// dec2bin(d[, n]) and dec2hex(d[, n]): one row per element of d, all of the same width (at
// least n digits), zero-padded on the left.
template <unsigned shift>
void toBaseBuiltin(Call& call) {
  const char* name = shift == 1 ? "dec2bin" : "dec2hex";
  call.check(1, 2, 1);
  FullArray d(call.in(0));
  const std::vector<uint64_t> values = bitOperand(d.get(), name);
  size_t width = 0;
  if (call.nargin == 2) {
    const double n = scalarArgument(call.in(1), name, "the number of digits");
    if (!(n >= 0) || n != std::floor(n) || n > 1e6) {
      raise("Q:invalidInput", std::string(name) + ": the number of digits must be a whole number.");
    }
    width = static_cast<size_t>(n);
  }
  std::vector<std::string> rows;
  for (uint64_t v : values) {
    rows.push_back(digitsOf(v, shift));
    width = std::max(width, rows.back().size());
  }
  if (rows.empty()) return call.out(0, text(std::string()));
  ArrayPtr out = checked(zyCreateCharMatrix(rows.size(), width));
  zyChar* chars = dataOf<zyChar>(out.get());
  for (size_t r = 0; r < rows.size(); ++r) {
    const size_t pad = width - rows[r].size();
    for (size_t j = 0; j < width; ++j) {
      chars[j * rows.size() + r] = j < pad ? u'0' : static_cast<zyChar>(rows[r][j - pad]);
    }
  }
  call.out(0, std::move(out));
}

template <unsigned base>
double parseDigits(const std::u16string& units, const char* name) {
  double value = 0;
  bool any = false;
  for (char16_t u : units) {
    if (u == u' ') continue;
    int digit = -1;
    if (u >= u'0' && u <= u'9') digit = u - u'0';
    if (u >= u'A' && u <= u'F') digit = u - u'A' + 10;
    if (u >= u'a' && u <= u'f') digit = u - u'a' + 10;
    if (digit < 0 || digit >= static_cast<int>(base)) {
      raise("Q:invalidInput", std::string(name) + ": '" + utf8(units) +
                                  "' is not a number in base " + std::to_string(base) + ".");
    }
    value = value * base + digit;
    any = true;
  }
  if (!any) raise("Q:invalidInput", std::string(name) + ": the text has no digits.");
  return value;
}

// bin2dec(s) and hex2dec(s): a text gives its value, a char matrix or a cell of texts a
// column of values (one per row or element).
template <unsigned base>
void fromBaseBuiltin(Call& call) {
  const char* name = base == 2 ? "bin2dec" : "hex2dec";
  call.check(1, 1, 1);
  const zyArray* s = call.in(0);
  std::vector<double> values;
  if (s->classId() == zyCELL_CLASS && isCellOfText(s)) {
    for (size_t i = 0; i < s->numberOfElements(); ++i) {
      values.push_back(parseDigits<base>(unitsOf(zyGetCellConst(s, i)), name));
    }
  } else if (s->classId() == zyCHAR_CLASS && s->numberOfDimensions() == 2) {
    const size_t rows = s->dimensions()[0], cols = s->dimensions()[1];
    const zyChar* chars = constData<zyChar>(s);
    for (size_t r = 0; r < rows; ++r) {
      std::u16string row;
      for (size_t j = 0; j < cols; ++j) row.push_back(chars[j * rows + r]);
      values.push_back(parseDigits<base>(row, name));
    }
  } else {
    raise("Q:invalidInput", std::string(name) + ": the input must be text or a cell of texts.");
  }
  call.out(0, columnVector(values));
}

// ---- small math: nthroot, log1p, expm1, rad2deg, deg2rad ----------------------------------

void requireReal(const zyArray* a, const char* name) {
  if (!isArithmetic(a) || isComplex(a)) {
    raise("Q:invalidInput", std::string(name) + ": the input must be real numbers.");
  }
}

double nthRoot(double x, double n) {
  if (std::isnan(x) || std::isnan(n)) return NAN;
  const bool negative = x < 0;
  const bool odd = n == std::floor(n) && std::fmod(std::fabs(n), 2.0) == 1.0;
  if (negative && !odd) {
    raise("Q:invalidInput", "nthroot: a negative number has a real root only for odd n.");
  }
  const double m = std::fabs(x);
  double y = std::pow(m, 1.0 / n);
  // One Newton step removes the rounding of 1/n (so that nthroot(27, 3) is 3).
  if (std::isfinite(y) && y > 0 && m > 0 && std::isfinite(m) && n == std::floor(n)) {
    const double p = std::pow(y, n - 1);
    if (std::isfinite(p) && p > 0) y -= (p * y - m) / (n * p);
  }
  return negative ? -y : y;
}

void nthrootBuiltin(Call& call) {
  call.check(2, 2, 1);
  FullArray x(call.in(0)), n(call.in(1));
  requireReal(x.get(), "nthroot");
  requireReal(n.get(), "nthroot");
  Dims dims;
  const size_t count = pairCount(x.get(), n.get(), "nthroot", dims);
  const bool single = x->classId() == zySINGLE_CLASS || n->classId() == zySINGLE_CLASS;
  const DoubleValues xs(x.get()), ns(n.get());
  const bool scalarX = x->numberOfElements() == 1, scalarN = n->numberOfElements() == 1;
  std::vector<double> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = nthRoot(xs[scalarX ? 0 : i], ns[scalarN ? 0 : i]);
  call.out(0, fromDoubles(single ? zySINGLE_CLASS : zyDOUBLE_CLASS, dims, out.data(), nullptr));
}

using UnaryMath = double (*)(double);
double radiansToDegrees(double x) { return x * (180.0 / M_PI); }
double degreesToRadians(double x) { return x * (M_PI / 180.0); }
double log1pOf(double x) { return std::log1p(x); }
double expm1Of(double x) { return std::expm1(x); }

template <UnaryMath f>
void unaryMath(Call& call, const char* name) {
  call.check(1, 1, 1);
  FullArray x(call.in(0));
  requireReal(x.get(), name);
  const DoubleValues xs(x.get());
  std::vector<double> out(x->numberOfElements());
  for (size_t i = 0; i < out.size(); ++i) out[i] = f(xs[i]);
  const zyClassID c = x->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  call.out(0, fromDoubles(c, dimsOf(x.get()), out.data(), nullptr));
}

void log1pBuiltin(Call& call) { unaryMath<log1pOf>(call, "log1p"); }
void expm1Builtin(Call& call) { unaryMath<expm1Of>(call, "expm1"); }
void rad2degBuiltin(Call& call) { unaryMath<radiansToDegrees>(call, "rad2deg"); }
void deg2radBuiltin(Call& call) { unaryMath<degreesToRadians>(call, "deg2rad"); }

// ---- structs and cells: struct2cell, cell2struct, getfield, setfield, orderfields ---------

// Puts a shared copy of value (nothing for null) in a slot of a cell or one field of a struct.
void putCell(zyArray* cell, size_t i, const zyArray* value) {
  if (value == nullptr) return;
  zyArray* copy = checked(zyCreateSharedDataCopy(value)).release();
  if (zySetCell(cell, i, copy) != 0) {
    zyDestroyArray(copy);
    outOfMemory();
  }
}

void putField(zyArray* s, size_t i, int field, const zyArray* value) {
  if (value == nullptr) return;
  zyArray* copy = checked(zyCreateSharedDataCopy(value)).release();
  zyArray* old = nullptr;
  if (zyExchangeField(s, i, field, copy, &old) != 0) {
    zyDestroyArray(copy);
    outOfMemory();
  }
  if (old != nullptr) zyDestroyArray(old);
}

// struct2cell(s): an nfields-by-size(s) cell; element (f, k) is field f of s(k).
void struct2cellBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* s = requireStruct(call.in(0), "struct2cell");
  const size_t fields = static_cast<size_t>(zyGetNumberOfFields(s));
  Dims dims = {fields};
  for (size_t d : dimsOf(s)) dims.push_back(d);
  while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
  ArrayPtr out = checked(zyCreateCellArray(dims.size(), dims.data()));
  for (size_t k = 0; k < s->numberOfElements(); ++k) {
    for (size_t f = 0; f < fields; ++f) {
      const char* name = zyGetFieldNameByNumber(s, static_cast<int>(f));
      putCell(out.get(), k * fields + f, zyGetFieldConst(s, k, name));
    }
  }
  call.out(0, std::move(out));
}

std::vector<std::string> fieldNamesArgument(const zyArray* a, const char* function) {
  std::vector<std::string> names;
  if (a->classId() == zyCELL_CLASS) {
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      const zyArray* name = zyGetCellConst(a, i);
      if (name == nullptr || !isText(name)) {
        raise("Q:invalidInput", std::string(function) + ": field names must be texts.");
      }
      names.push_back(fieldNameArgument(name, function));
    }
  } else {
    names.push_back(fieldNameArgument(a, function));
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (std::find(names.begin(), names.begin() + i, names[i]) != names.begin() + i) {
      raise("Q:invalidInput",
            std::string(function) + ": the field '" + names[i] + "' is given twice.");
    }
  }
  return names;
}

// cell2struct(c, fields, dim): the fields run along dimension dim (1 or 2) of the 2-D cell c;
// the result is a struct column with one element per position along the other dimension.
void cell2structBuiltin(Call& call) {
  call.check(2, 3, 1);
  const zyArray* c = call.in(0);
  if (c->classId() != zyCELL_CLASS || c->numberOfDimensions() != 2) {
    raise("Q:invalidInput", "cell2struct: the first input must be a 2-D cell array.");
  }
  const std::vector<std::string> names = fieldNamesArgument(call.in(1), "cell2struct");
  double dim = 1;
  if (call.nargin == 3) dim = scalarArgument(call.in(2), "cell2struct", "the dimension");
  if (dim != 1 && dim != 2) raise("Q:invalidInput", "cell2struct: the dimension must be 1 or 2.");
  const size_t rows = c->dimensions()[0], cols = c->dimensions()[1];
  const size_t along = dim == 1 ? rows : cols, count = dim == 1 ? cols : rows;
  if (along != names.size()) {
    raise("Q:sizeMismatch",
          "cell2struct: the number of fields does not match the size of the cell array.");
  }
  std::vector<const char*> pointers;
  for (const std::string& name : names) pointers.push_back(name.c_str());
  const Dims dims = {count, 1};
  ArrayPtr out = checked(zyCreateStructArray(dims.size(), dims.data(),
                                             static_cast<int>(pointers.size()), pointers.data()));
  for (size_t k = 0; k < count; ++k) {
    for (size_t f = 0; f < names.size(); ++f) {
      const size_t i = dim == 1 ? k * rows + f : f * rows + k;
      putField(out.get(), k, static_cast<int>(f), zyGetCellConst(c, i));
    }
  }
  call.out(0, std::move(out));
}

const zyArray* requireScalarStruct(const zyArray* a, const char* function) {
  requireStruct(a, function);
  if (a->numberOfElements() != 1) {
    raise("Q:invalidInput", std::string(function) + ": the struct must be 1-by-1.");
  }
  return a;
}

void getfieldBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyArray* s = requireScalarStruct(call.in(0), "getfield");
  const std::string name = textArgument(call.in(1), "getfield");
  if (zyGetFieldNumber(s, name.c_str()) < 0) {
    raise("Q:nonExistentField", "getfield: there is no field '" + name + "'.");
  }
  const zyArray* value = zyGetFieldConst(s, 0, name.c_str());
  call.out(0, value ? checked(zyCreateSharedDataCopy(value)) : emptyDouble());
}

void setfieldBuiltin(Call& call) {
  call.check(3, 3, 1);
  const zyArray* s = requireScalarStruct(call.in(0), "setfield");
  const std::string name = fieldNameArgument(call.in(1), "setfield");
  ArrayPtr out = checked(zyCreateSharedDataCopy(s));
  const int field = zyAddField(out.get(), name.c_str());
  if (field < 0) outOfMemory();
  putField(out.get(), 0, field, call.in(2));
  call.out(0, std::move(out));
}

// orderfields(s): the fields in the order of their names' character codes; the second output
// gives the old position of each field (a column).
void orderfieldsBuiltin(Call& call) {
  call.check(1, 1, 2);
  const zyArray* s = requireStruct(call.in(0), "orderfields");
  const std::vector<std::string>& names = s->get_struct_field_info();
  std::vector<size_t> order(names.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return names[a] < names[b]; });
  std::vector<const char*> pointers;
  for (size_t f : order) pointers.push_back(names[f].c_str());
  const Dims dims = dimsOf(s);
  ArrayPtr out = checked(zyCreateStructArray(dims.size(), dims.data(),
                                             static_cast<int>(pointers.size()), pointers.data()));
  for (size_t k = 0; k < s->numberOfElements(); ++k) {
    for (size_t f = 0; f < order.size(); ++f) {
      putField(out.get(), k, static_cast<int>(f), zyGetFieldConst(s, k, names[order[f]].c_str()));
    }
  }
  call.out(0, std::move(out));
  if (call.nargout > 1) {
    std::vector<double> positions;
    for (size_t f : order) positions.push_back(static_cast<double>(f + 1));
    call.out(1, columnVector(positions));
  }
}

// ---- file names: fullfile, fileparts, filesep, pathsep, newline ---------------------------

void fullfileBuiltin(Call& call) {
  call.check(0, -1, 1);
  std::string path;
  for (int i = 0; i < call.nargin; ++i) {
    std::string part = textArgument(call.in(i), "fullfile");
    if (part.empty()) continue;
    if (!path.empty()) {
      const bool endsWithSlash = path.back() == '/';
      if (endsWithSlash) {
        part.erase(0, part.find_first_not_of('/') == std::string::npos
                          ? part.size()
                          : part.find_first_not_of('/'));
      } else if (part.front() != '/') {
        path += '/';
      }
    }
    path += part;
  }
  call.out(0, text(path));
}

// [folder, name, ext] = fileparts(path). A name starting with its only '.' (".bashrc") is all
// name, with no extension.
void filepartsBuiltin(Call& call) {
  call.check(1, 1, 3);
  const std::u16string path = unitsArgument(call.in(0), "fileparts");
  const size_t slash = path.rfind(u'/');
  std::u16string folder, name = path;
  if (slash != std::u16string::npos) {
    folder = slash == 0 ? u"/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
  std::u16string ext;
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) {
    ext = name.substr(dot);
    name.erase(dot);
  }
  call.out(0, text(folder));
  if (call.nargout > 1) call.out(1, text(name));
  if (call.nargout > 2) call.out(2, text(ext));
}

template <char c>
void characterBuiltin(Call& call) {
  call.check(0, 0, 1);
  call.out(0, text(std::string(1, c)));
}

// ---- tests: ismatrix, issorted ------------------------------------------------------------

void ismatrixBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, logicalScalar(call.in(0)->numberOfDimensions() == 2));
}

// issorted(v): ascending (ties allowed), NaNs only at the end.
void issortedBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray v(call.in(0));
  requireReal(v.get(), "issorted");
  if (!isVector(v.get()) && v->numberOfElements() > 1) {
    raise("Q:invalidInput", "issorted: the input must be a vector.");
  }
  const DoubleValues xs(v.get());
  bool sorted = true;
  for (size_t i = 1; i < v->numberOfElements() && sorted; ++i) {
    const double a = xs[i - 1], b = xs[i];
    sorted = std::isnan(a) ? std::isnan(b) : std::isnan(b) || a <= b;
  }
  call.out(0, logicalScalar(sorted));
}

}  // namespace

void addConversionBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"bitand", builtin<bitBuiltin<BitOp::And>>});
  table.push_back({"bitor", builtin<bitBuiltin<BitOp::Or>>});
  table.push_back({"bitxor", builtin<bitBuiltin<BitOp::Xor>>});
  table.push_back({"bitshift", builtin<bitshiftBuiltin>});
  table.push_back({"dec2bin", builtin<toBaseBuiltin<1>>});
  table.push_back({"dec2hex", builtin<toBaseBuiltin<4>>});
  table.push_back({"bin2dec", builtin<fromBaseBuiltin<2>>});
  table.push_back({"hex2dec", builtin<fromBaseBuiltin<16>>});
  table.push_back({"nthroot", builtin<nthrootBuiltin>});
  table.push_back({"log1p", builtin<log1pBuiltin>});
  table.push_back({"expm1", builtin<expm1Builtin>});
  table.push_back({"rad2deg", builtin<rad2degBuiltin>});
  table.push_back({"deg2rad", builtin<deg2radBuiltin>});
  table.push_back({"struct2cell", builtin<struct2cellBuiltin>});
  table.push_back({"cell2struct", builtin<cell2structBuiltin>});
  table.push_back({"getfield", builtin<getfieldBuiltin>});
  table.push_back({"setfield", builtin<setfieldBuiltin>});
  table.push_back({"orderfields", builtin<orderfieldsBuiltin>});
  table.push_back({"fullfile", builtin<fullfileBuiltin>});
  table.push_back({"fileparts", builtin<filepartsBuiltin>});
  table.push_back({"filesep", builtin<characterBuiltin<'/'>>});
  table.push_back({"pathsep", builtin<characterBuiltin<':'>>});
  table.push_back({"newline", builtin<characterBuiltin<'\n'>>});
  table.push_back({"ismatrix", builtin<ismatrixBuiltin>});
  table.push_back({"issorted", builtin<issortedBuiltin>});
}

}  // namespace q::ops::detail
