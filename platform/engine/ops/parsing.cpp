// Built-ins that read numbers out of text and classify characters, and a few small array
// makers: sscanf, str2num, isstrprop, strjust, cast, typecast, magic, nextpow2, factor, perms.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>

#include "engine/ops/shape.hpp"
#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

using Units = std::u16string;

bool isSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t asciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; }

// Whether text[pos, end) starts with word (lower case), ignoring case.
bool startsWithWord(const Units& text, size_t pos, size_t end, const char* word) {
  const size_t n = std::strlen(word);
  if (end - pos < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (asciiLower(text[pos + i]) != static_cast<char16_t>(word[i])) return false;
  }
  return true;
}

// The ASCII characters text[from, to) (all of them digits, signs, points or letters).
std::string asciiRange(const Units& text, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) out += static_cast<char>(text[i]);
  return out;
}

// ---- sscanf -------------------------------------------------------------------------------

// One piece of a format: white space, a literal character or a conversion.
struct Directive {
  enum Kind { Space, Literal, Conversion } kind;
  char16_t character = 0;  // Literal: the character; Conversion: d i u f e g s c
  size_t width = 0;        // 0: none
  bool skip = false;       // %*d: read and dropped
};

Units translateEscapes(const Units& format) {
  Units out;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'\\' && i + 1 < format.size()) {
      const char16_t next = format[++i];
      out += next == u'n' ? u'\n' : next == u't' ? u'\t' : next == u'r' ? u'\r' : next;
    } else {
      out += format[i];
    }
  }
  return out;
}

std::vector<Directive> parseFormat(const Units& format) {
  std::vector<Directive> directives;
  for (size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (isSpace(c)) {
      if (directives.empty() || directives.back().kind != Directive::Space) {
        directives.push_back({Directive::Space});
      }
      continue;
    }
    if (c != u'%') {
      directives.push_back({Directive::Literal, c});
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      directives.push_back({Directive::Literal, u'%'});
      ++i;
      continue;
    }
    Directive d{Directive::Conversion};
    ++i;
    if (i < format.size() && format[i] == u'*') {
      d.skip = true;
      ++i;
    }
    for (; i < format.size() && isDigit(format[i]); ++i) {
      d.width = std::min<size_t>(d.width * 10 + (format[i] - u'0'), 1000000);
    }
    while (i < format.size() && (format[i] == u'l' || format[i] == u'h')) ++i;
    const char16_t type = i < format.size() ? format[i] : 0;
    if (type == 0 || std::u16string(u"diufegsc").find(type) == Units::npos) {
      raise("Q:invalidInput", "sscanf: the format holds an unsupported conversion.");
    }
    d.character = type;
    directives.push_back(d);
  }
  return directives;
}

// Reads a whole number at text[pos, end): an optional sign and at least one digit.
bool readInteger(const Units& text, size_t& pos, size_t end, double& value) {
  size_t p = pos;
  if (p < end && (text[p] == u'+' || text[p] == u'-')) ++p;
  const size_t digits = p;
  while (p < end && isDigit(text[p])) ++p;
  if (p == digits) return false;
  value = std::strtod(asciiRange(text, pos, p).c_str(), nullptr);
  pos = p;
  return true;
}

// Reads a floating-point number at text[pos, end): sign, digits with an optional point and
// exponent, or inf, infinity and nan.
bool readFloat(const Units& text, size_t& pos, size_t end, double& value) {
  size_t p = pos;
  double sign = 1;
  if (p < end && (text[p] == u'+' || text[p] == u'-')) sign = text[p++] == u'-' ? -1 : 1;
  if (startsWithWord(text, p, end, "inf")) {
    p += startsWithWord(text, p, end, "infinity") ? 8 : 3;
    value = sign * std::numeric_limits<double>::infinity();
    pos = p;
    return true;
  }
  if (startsWithWord(text, p, end, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
    pos = p + 3;
    return true;
  }
  size_t digits = 0;
  for (; p < end && isDigit(text[p]); ++p) ++digits;
  if (p < end && text[p] == u'.') {
    for (++p; p < end && isDigit(text[p]); ++p) ++digits;
  }
  if (digits == 0) return false;
  if (p < end && (text[p] == u'e' || text[p] == u'E')) {
    size_t q = p + 1;
    if (q < end && (text[q] == u'+' || text[q] == u'-')) ++q;
    const size_t exponent = q;
    while (q < end && isDigit(text[q])) ++q;
    if (q > exponent) p = q;
  }
  value = std::strtod(asciiRange(text, pos, p).c_str(), nullptr);
  pos = p;
  return true;
}

// Applies one conversion at text[pos]; false when it does not match.
bool convert(const Directive& d, const Units& text, size_t& pos, std::vector<double>& values) {
  const size_t length = text.size();
  if (d.character != u'c') {
    while (pos < length && isSpace(text[pos])) ++pos;
  }
  if (pos >= length) return false;
  const size_t end = d.width ? std::min(length, pos + d.width) : length;
  double value = 0;
  switch (d.character) {
    case u'd': case u'i': case u'u':
      if (!readInteger(text, pos, end, value)) return false;
      break;
    case u'f': case u'e': case u'g':
      if (!readFloat(text, pos, end, value)) return false;
      break;
    case u's': {
      const size_t start = pos;
      while (pos < end && !isSpace(text[pos])) ++pos;
      if (!d.skip) values.insert(values.end(), text.begin() + start, text.begin() + pos);
      return true;
    }
    default: {  // c: width characters (one by default), white space included
      const size_t stop = std::min(length, pos + (d.width ? d.width : 1));
      if (!d.skip) values.insert(values.end(), text.begin() + pos, text.begin() + stop);
      pos = stop;
      return true;
    }
  }
  if (!d.skip) values.push_back(value);
  return true;
}

constexpr double kMaxScanRows = 1.0e6;

// The values read are shaped by the size argument: a scalar n keeps at most n of them, [m n]
// fills m rows column by column (n may be Inf), Inf keeps them all.
struct ScanSize {
  size_t limit = std::numeric_limits<size_t>::max();
  size_t rows = 0;  // 0: a column (or a row of characters)
};

ScanSize scanSize(const zyArray* a) {
  FullArray full(a);
  if (!isArithmetic(full.get()) || isComplex(full.get()) ||
      (full->numberOfElements() != 1 && full->numberOfElements() != 2)) {
    raise("Q:invalidInput", "sscanf: the size must be a scalar or a two-element vector.");
  }
  const DoubleValues v(full.get());
  auto valid = [](double x) { return x >= 0 && (std::isinf(x) || x == std::floor(x)); };
  ScanSize size;
  if (!valid(v[0]) || (full->numberOfElements() == 2 && !valid(v[1]))) {
    raise("Q:invalidInput", "sscanf: the size must hold nonnegative whole numbers or Inf.");
  }
  if (full->numberOfElements() == 1) {
    if (!std::isinf(v[0])) size.limit = static_cast<size_t>(std::min(v[0], 1.0e15));
    return size;
  }
  if (std::isinf(v[0]) || v[0] > kMaxScanRows || v[0] < 1) {
    raise("Q:invalidInput", "sscanf: the number of rows must be a whole number from 1 to 1e6.");
  }
  size.rows = static_cast<size_t>(v[0]);
  if (!std::isinf(v[1])) {
    size.limit = static_cast<size_t>(std::min(v[0] * v[1], 1.0e15));
  }
  return size;
}

// [A, count] = sscanf(text, format, size): the format is applied again and again until the
// text is used up or something does not match. count is the number of conversions made (a %s
// counts once however many characters it reads).
void sscanfBuiltin(Call& call) {
  call.check(2, 3, 2);
  const Units text = unitsArgument(call.in(0), "sscanf");
  const std::vector<Directive> format =
      parseFormat(translateEscapes(unitsArgument(call.in(1), "sscanf")));
  const ScanSize size = call.nargin > 2 ? scanSize(call.in(2)) : ScanSize{};
  bool conversions = false, allCharacters = true;
  for (const Directive& d : format) {
    if (d.kind != Directive::Conversion || d.skip) continue;
    conversions = true;
    if (d.character != u's' && d.character != u'c') allCharacters = false;
  }
  std::vector<double> values;
  size_t pos = 0, count = 0;
  bool done = false;
  // Every pass but the last moves on in the text, so there are at most text.size() + 1.
  while (!done) {
    const size_t start = pos;
    for (const Directive& d : format) {
      if (d.kind == Directive::Space) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
      } else if (d.kind == Directive::Literal) {
        if (pos >= text.size() || text[pos] != d.character) done = true;
        else ++pos;
      } else if (values.size() >= size.limit || !convert(d, text, pos, values)) {
        done = true;
      } else if (!d.skip) {
        ++count;
      }
      if (done) break;
    }
    if (pos >= text.size() || pos == start || !conversions) done = true;
  }
  if (values.size() > size.limit) values.resize(size.limit);
  const zyClassID classId = conversions && allCharacters ? zyCHAR_CLASS : zyDOUBLE_CLASS;
  Dims dims;
  if (values.empty()) {
    dims = {0, 0};
  } else if (size.rows) {
    dims = {size.rows, (values.size() + size.rows - 1) / size.rows};
    values.resize(dims[0] * dims[1], 0.0);
  } else {
    dims = classId == zyCHAR_CLASS ? Dims{1, values.size()} : Dims{values.size(), 1};
  }
  call.out(0, fromDoubles(classId, dims, values.data(), nullptr));
  if (call.nargout > 1) call.out(1, scalar(static_cast<double>(count)));
}

// ---- str2num ------------------------------------------------------------------------------

// One element of a numeric literal: a signed decimal number with optional exponent, Inf, NaN,
// true or false.
bool parseElement(const std::string& token, double& value, bool& logical) {
  std::string t;
  for (char c : token) t += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  logical = t == "true" || t == "false";
  if (logical) {
    if (token != "true" && token != "false") return false;
    value = t == "true" ? 1 : 0;
    return true;
  }
  size_t p = 0;
  double sign = 1;
  if (p < t.size() && (t[p] == '+' || t[p] == '-')) sign = t[p++] == '-' ? -1 : 1;
  const std::string rest = t.substr(p);
  if (rest == "inf" || rest == "nan") {
    value = rest == "nan" ? std::numeric_limits<double>::quiet_NaN()
                          : sign * std::numeric_limits<double>::infinity();
    return true;
  }
  if (rest.empty() || !(std::isdigit(static_cast<unsigned char>(rest[0])) || rest[0] == '.')) {
    return false;
  }
  const Units units(t.begin(), t.end());
  size_t pos = 0;
  return readFloat(units, pos, units.size(), value) && pos == units.size();
}

// The rows of a numeric literal matrix; false for anything else.
bool parseMatrix(std::string s, std::vector<std::vector<double>>& rows, bool& allLogical) {
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return true;
  s = s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
  if (s.front() == '[' || s.back() == ']') {
    if (s.size() < 2 || s.front() != '[' || s.back() != ']') return false;
    s = s.substr(1, s.size() - 2);
  }
  allLogical = true;
  std::vector<double> row;
  std::string token;
  bool separated = true;  // a comma may not follow another comma or open a row
  auto endToken = [&]() {
    if (token.empty()) return true;
    double value = 0;
    bool logical = false;
    if (!parseElement(token, value, logical)) return false;
    allLogical = allLogical && logical;
    row.push_back(value);
    token.clear();
    separated = false;
    return true;
  };
  auto endRow = [&]() {
    if (!row.empty()) {
      if (!rows.empty() && rows.front().size() != row.size()) return false;
      rows.push_back(row);
    }
    row.clear();
    separated = true;
    return true;
  };
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!endToken()) return false;
    } else if (c == ',') {
      if (!endToken() || separated) return false;
      separated = true;
    } else if (c == ';' || c == '\n' || c == '\r') {
      if (!endToken() || !endRow()) return false;
    } else {
      token += c;
    }
  }
  return endToken() && endRow();
}

// [x, ok] = str2num(s): a matrix written with numeric literals only; nothing is evaluated.
// Anything else gives [] and ok false.
void str2numBuiltin(Call& call) {
  call.check(1, 1, 2);
  const zyArray* a = call.in(0);
  if (a->classId() != zyCHAR_CLASS || a->numberOfDimensions() != 2) {
    raise("Q:invalidInput", "str2num: expected a character array.");
  }
  // The rows of a character matrix are the rows of the literal.
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const zyChar* units = constData<zyChar>(a);
  std::string s;
  bool ascii = true;
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const zyChar c = units[i + j * m];
      ascii = ascii && c < 128;
      s += static_cast<char>(c);
    }
    s += '\n';
  }
  std::vector<std::vector<double>> rows;
  bool allLogical = false;
  const bool ok = ascii && parseMatrix(s, rows, allLogical);
  if (!ok || rows.empty()) {
    call.out(0, emptyDouble());
  } else {
    const size_t r = rows.size(), c = rows.front().size();
    std::vector<double> values(r * c);
    for (size_t i = 0; i < r; ++i) {
      for (size_t j = 0; j < c; ++j) values[i + j * r] = rows[i][j];
    }
    call.out(0, fromDoubles(allLogical ? zyLOGICAL_CLASS : zyDOUBLE_CLASS, {r, c}, values.data(),
                            nullptr));
  }
  if (call.nargout > 1) call.out(1, logicalScalar(ok));
}

// ---- isstrprop, strjust --------------------------------------------------------------------

bool isUpper(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
}
bool isLower(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= 0xDF && c <= 0xFF && c != 0xF7) || c == 0xAA ||
         c == 0xB5 || c == 0xBA;
}
bool isAlpha(char16_t c) { return isUpper(c) || isLower(c); }

using Category = bool (*)(char16_t);

Category categoryNamed(const std::string& name) {
  struct Entry {
    const char* name;
    Category test;
  };
  static const Entry kCategories[] = {
      {"alpha", isAlpha},
      {"digit", isDigit},
      {"alphanum", [](char16_t c) { return isAlpha(c) || isDigit(c); }},
      {"wspace", isSpace},
      {"upper", isUpper},
      {"lower", isLower},
      {"punct", [](char16_t c) { return c > 32 && c < 127 && !isAlpha(c) && !isDigit(c); }},
      {"cntrl", [](char16_t c) { return c < 32 || c == 127; }},
      {"xdigit", [](char16_t c) {
         return isDigit(c) || (asciiLower(c) >= u'a' && asciiLower(c) <= u'f');
       }},
  };
  for (const Entry& entry : kCategories) {
    if (name == entry.name) return entry.test;
  }
  raise("Q:invalidInput", "isstrprop: unknown category '" + name + "'.");
}

ArrayPtr classify(const zyArray* a, Category test) {
  if (a->classId() != zyCHAR_CLASS) {
    raise("Q:invalidInput", "isstrprop: expected text or a cell array of texts.");
  }
  ArrayPtr out = create(zyLOGICAL_CLASS, dimsOf(a));
  const zyChar* units = constData<zyChar>(a);
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    dataOf<zyLogical>(out.get())[i] = test(units[i]) ? 1 : 0;
  }
  return out;
}

// tf = isstrprop(text, category): which characters belong to the category; a cell of texts
// gives a cell of results.
void isstrpropBuiltin(Call& call) {
  call.check(2, 2, 1);
  const Category test = categoryNamed(textArgument(call.in(1), "isstrprop"));
  const zyArray* a = call.in(0);
  if (a->classId() != zyCELL_CLASS) {
    call.out(0, classify(a, test));
    return;
  }
  ArrayPtr out = checked(zyCreateCellArray(a->numberOfDimensions(), a->dimensions()));
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    const zyArray* element = zyGetCellConst(a, i);
    if (element == nullptr) raise("Q:invalidInput", "isstrprop: the cell must hold texts.");
    zyArray* result = classify(element, test).release();
    if (zySetCell(out.get(), i, result) != 0) {
      zyDestroyArray(result);
      outOfMemory();
    }
  }
  call.out(0, std::move(out));
}

// strjust(s, how): every row of a character matrix moved so that its blanks end up on the left
// ('right', the default), on the right ('left') or on both sides ('center', the odd blank on
// the right).
void strjustBuiltin(Call& call) {
  call.check(1, 2, 1);
  const zyArray* a = call.in(0);
  if (a->classId() != zyCHAR_CLASS || a->numberOfDimensions() != 2) {
    raise("Q:invalidInput", "strjust: expected a character matrix.");
  }
  const std::string how = call.nargin > 1 ? lower(textArgument(call.in(1), "strjust")) : "right";
  if (how != "right" && how != "left" && how != "center") {
    raise("Q:invalidInput", "strjust: the justification must be 'right', 'left' or 'center'.");
  }
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  ArrayPtr out = create(zyCHAR_CLASS, {m, n});
  const zyChar* in = constData<zyChar>(a);
  zyChar* o = dataOf<zyChar>(out.get());
  for (size_t i = 0; i < m; ++i) {
    size_t first = 0, last = n;  // the row's text is [first, last)
    while (first < n && in[i + first * m] == u' ') ++first;
    while (last > first && in[i + (last - 1) * m] == u' ') --last;
    const size_t blanks = n - (last - first);
    const size_t left = how == "right" ? blanks : how == "left" ? 0 : blanks / 2;
    for (size_t j = 0; j < n; ++j) {
      const bool inside = j >= left && j < left + (last - first);
      o[i + j * m] = inside ? in[i + (first + j - left) * m] : u' ';
    }
  }
  call.out(0, std::move(out));
}

// ---- cast, typecast -----------------------------------------------------------------------

zyClassID classArgument(const zyArray* a, const char* function) {
  zyClassID classId;
  const std::string name = textArgument(a, function);
  if (!classFromName(name, classId) || !(isNumericClass(classId) || classId == zyCHAR_CLASS)) {
    raise("Q:invalidInput", std::string(function) + ": unsupported class '" + name + "'.");
  }
  return classId;
}

void castBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyClassID target = classArgument(call.in(1), "cast");
  if (!isArithmetic(call.in(0))) {
    raise("Q:invalidInput", "cast: the values must be numeric, char or logical.");
  }
  call.out(0, convertClass(call.in(0), target));
}

// typecast(x, class): the bytes of a numeric vector read as elements of another class.
void typecastBuiltin(Call& call) {
  call.check(2, 2, 1);
  const zyArray* a = call.in(0);
  const zyClassID target = classArgument(call.in(1), "typecast");
  if (!isNumericClass(a->classId()) || !isNumericClass(target) || a->isComplex() ||
      a->isSparse() || !(isVector(a) || a->numberOfElements() == 0)) {
    raise("Q:invalidInput", "typecast: expected a real full numeric vector and a numeric class.");
  }
  const size_t inSize = zyGetElementSize(a);
  ArrayPtr probe = create(target, {0, 0});
  const size_t outSize = zyGetElementSize(probe.get());
  const size_t bytes = a->numberOfElements() * inSize;
  if (bytes % outSize != 0) {
    raise("Q:invalidInput", "typecast: the bytes do not make a whole number of elements.");
  }
  const size_t count = bytes / outSize;
  const bool column = a->dimensions()[1] == 1 && a->dimensions()[0] != 1;
  ArrayPtr out = create(target, column ? Dims{count, 1} : Dims{1, count});
  if (bytes) std::memcpy(zyGetData(out.get()), a->realData(), bytes);
  call.out(0, std::move(out));
}

// ---- magic, nextpow2, factor, perms -------------------------------------------------------

// The magic square of odd order n (Siamese method) into m(i, j) = values[i + j * stride].
void oddMagic(size_t n, std::vector<double>& values, size_t stride) {
  size_t i = 0, j = n / 2;
  for (size_t k = 1; k <= n * n; ++k) {
    values[i + j * stride] = static_cast<double>(k);
    const size_t up = (i + n - 1) % n, right = (j + 1) % n;
    if (values[up + right * stride] != 0) {
      i = (i + 1) % n;
    } else {
      i = up;
      j = right;
    }
  }
}

constexpr double kMaxMagic = 10000;

void magicBuiltin(Call& call) {
  call.check(1, 1, 1);
  const double order = std::floor(scalarArgument(call.in(0), "magic", "the order"));
  if (std::isnan(order) || order > kMaxMagic) {
    raise("Q:invalidInput", "magic: the order must be at most 10000.");
  }
  const size_t n = order < 1 ? 0 : static_cast<size_t>(order);
  std::vector<double> m(n * n, 0.0);
  if (n == 2) {
    m = {4, 1, 3, 2};
  } else if (n % 2 == 1) {
    oddMagic(n, m, n);
  } else if (n % 4 == 0) {
    for (size_t i = 0; i < n; ++i) {
      for (size_t j = 0; j < n; ++j) {
        const double k = static_cast<double>(i * n + j + 1);
        const bool diagonal = i % 4 == j % 4 || i % 4 + j % 4 == 3;
        m[i + j * n] = diagonal ? static_cast<double>(n * n) + 1 - k : k;
      }
    }
  } else if (n > 0) {
    // Four odd squares of order p (offsets 0, 2p², 3p², p²), then columns exchanged between the
    // upper and lower halves.
    const size_t p = n / 2, k = (n - 2) / 4;
    std::vector<double> a(p * p, 0.0);
    oddMagic(p, a, p);
    const double pp = static_cast<double>(p * p);
    for (size_t i = 0; i < p; ++i) {
      for (size_t j = 0; j < p; ++j) {
        const double v = a[i + j * p];
        m[i + j * n] = v;
        m[i + (j + p) * n] = v + 2 * pp;
        m[i + p + j * n] = v + 3 * pp;
        m[i + p + (j + p) * n] = v + pp;
      }
    }
    auto exchange = [&](size_t i, size_t j) { std::swap(m[i + j * n], m[i + p + j * n]); };
    for (size_t i = 0; i < p; ++i) {
      for (size_t j = 0; j < k; ++j) exchange(i, j);
      for (size_t j = n - k + 1; j < n; ++j) exchange(i, j);
    }
    exchange(k, 0);
    exchange(k, k);
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, n}, m.data(), nullptr));
}

// nextpow2(x): the smallest p with 2^p >= |x|, element by element (0 for 0).
void nextpow2Builtin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  if (!isArithmetic(a.get()) || isComplex(a.get())) {
    raise("Q:invalidInput", "nextpow2: expected real numbers.");
  }
  const DoubleValues values(a.get());
  const size_t n = a->numberOfElements();
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    const double x = std::fabs(values[i]);
    if (x == 0 || std::isnan(x) || std::isinf(x)) {
      out[i] = x;
      continue;
    }
    int exponent = 0;
    const double fraction = std::frexp(x, &exponent);  // x = fraction * 2^exponent
    out[i] = fraction == 0.5 ? exponent - 1 : exponent;
  }
  const zyClassID c = a->classId();
  call.out(0, fromDoubles(isNumericClass(c) ? c : zyDOUBLE_CLASS, dimsOf(a.get()), out.data(),
                          nullptr));
}

// factor(n): the prime factors of a whole number, ascending (factor(0) = 0, factor(1) = 1).
// Trial division stops at sqrt(n) <= 2^26.5.
void factorBuiltin(Call& call) {
  call.check(1, 1, 1);
  const double value = scalarArgument(call.in(0), "factor", "the number");
  if (!(value >= 0) || value != std::floor(value) || value > 9007199254740992.0) {
    raise("Q:invalidInput", "factor: expected a nonnegative whole number up to 2^53.");
  }
  uint64_t n = static_cast<uint64_t>(value);
  std::vector<double> factors;
  if (n < 4) {
    factors.push_back(static_cast<double>(n));
  } else {
    for (uint64_t d = 2; d * d <= n; d += d == 2 ? 1 : 2) {
      while (n % d == 0) {
        factors.push_back(static_cast<double>(d));
        n /= d;
      }
    }
    if (n > 1) factors.push_back(static_cast<double>(n));
  }
  const zyClassID c = call.in(0)->classId();
  call.out(0, fromDoubles(isNumericClass(c) ? c : zyDOUBLE_CLASS, {1, factors.size()},
                          factors.data(), nullptr));
}

constexpr size_t kMaxPerms = 10;

// perms(v): every ordering of the elements of v, one per row; the first row is v reversed and
// the last is v (positions in reverse lexicographic order).
void permsBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* v = call.in(0);
  const size_t n = v->numberOfElements();
  if (n > kMaxPerms) raise("Q:invalidInput", "perms: at most 10 elements.");
  size_t rows = 1;
  for (size_t k = 2; k <= n; ++k) rows *= k;
  std::vector<size_t> positions(n), indices(rows * n);
  for (size_t k = 0; k < n; ++k) positions[k] = n - 1 - k;
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < n; ++c) indices[r + c * rows] = positions[c];
    std::prev_permutation(positions.begin(), positions.end());
  }
  call.out(0, gather(v, {rows, n}, indices));
}

}  // namespace

void addParsingBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"cast", builtin<castBuiltin>});
  table.push_back({"factor", builtin<factorBuiltin>});
  table.push_back({"isstrprop", builtin<isstrpropBuiltin>});
  table.push_back({"magic", builtin<magicBuiltin>});
  table.push_back({"nextpow2", builtin<nextpow2Builtin>});
  table.push_back({"perms", builtin<permsBuiltin>});
  table.push_back({"sscanf", builtin<sscanfBuiltin>});
  table.push_back({"str2num", builtin<str2numBuiltin>});
  table.push_back({"strjust", builtin<strjustBuiltin>});
  table.push_back({"typecast", builtin<typecastBuiltin>});
}

}  // namespace q::ops::detail
