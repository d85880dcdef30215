// sprintf and the number-to-text built-ins (num2str, int2str, mat2str) and back (str2double).

#include "engine/ops/format.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "engine/ops/support.hpp"

namespace q::ops {

using namespace detail;

namespace {

// ---- Arguments ------------------------------------------------------------------------------

// One value an argument supplies: a number (held exactly for the 64-bit integer classes) or a
// whole char array, which %s consumes at once and other conversions one character at a time.
struct Item {
  enum Kind { Float, Signed, Unsigned, Text } kind = Float;
  double number = 0;
  long long signedValue = 0;
  unsigned long long unsignedValue = 0;
  std::u16string text;
};

std::vector<Item> flatten(const zyArray* const* arguments, int count) {
  std::vector<Item> items;
  for (int a = 0; a < count; ++a) {
    FullArray argument(arguments[a]);
    const zyClassID cls = argument->classId();
    if (!isArithmeticClass(cls)) {
      raise("Q:invalidInput",
            "sprintf: arguments must be numeric, char or logical, not " + className(cls) + ".");
    }
    const size_t n = argument->numberOfElements();
    if (cls == zyCHAR_CLASS) {
      if (n) {
        Item item;
        item.kind = Item::Text;
        item.text = unitsOf(argument.get());
        items.push_back(std::move(item));
      }
      continue;
    }
    // Complex arguments print their real parts.
    if (cls == zyINT64_CLASS || cls == zyUINT64_CLASS) {
      for (size_t i = 0; i < n; ++i) {
        Item item;
        if (cls == zyINT64_CLASS) {
          item.kind = Item::Signed;
          item.signedValue = constData<int64_t>(argument.get())[i];
          item.number = static_cast<double>(item.signedValue);
        } else {
          item.kind = Item::Unsigned;
          item.unsignedValue = constData<uint64_t>(argument.get())[i];
          item.number = static_cast<double>(item.unsignedValue);
        }
        items.push_back(item);
      }
      continue;
    }
    DoubleValues values(argument.get());
    for (size_t i = 0; i < n; ++i) {
      Item item;
      item.number = values[i];
      items.push_back(item);
    }
  }
  return items;
}

// Hands out the argument values in order.
class Feed {
 public:
  explicit Feed(std::vector<Item> items) : items_(std::move(items)) {}
  bool empty() const { return index_ >= items_.size(); }
  bool hasData() const { return !items_.empty(); }

  // The next value; a text item is given whole to %s (rest of it) and one character at a
  // time to everything else.
  Item next(bool wholeText) {
    Item& item = items_[index_];
    if (item.kind != Item::Text) {
      ++index_;
      return item;
    }
    Item out;
    if (wholeText) {
      out.kind = Item::Text;
      out.text = item.text.substr(offset_);
      ++index_;
      offset_ = 0;
      return out;
    }
    out.number = item.text[offset_];
    if (++offset_ >= item.text.size()) {
      ++index_;
      offset_ = 0;
    }
    return out;
  }

 private:
  std::vector<Item> items_;
  size_t index_ = 0;
  size_t offset_ = 0;
};

// ---- The format -----------------------------------------------------------------------------

struct Conversion {
  std::string flags;
  int width = -1;  // -1: none, -2: taken from the arguments
  int precision = -1;
  char type = 0;
};

struct Segment {
  std::u16string literal;  // used when the conversion type is 0
  Conversion conversion;
};

bool isOctal(char16_t c) { return c >= u'0' && c <= u'7'; }
int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Translates the escape at text[i] (a backslash), appending to out; returns the index after it.
size_t translateEscape(const std::u16string& text, size_t i, std::u16string& out) {
  if (i + 1 >= text.size()) {
    out += u'\\';
    return i + 1;
  }
  const char16_t c = text[i + 1];
  switch (c) {
    case u'n':
      out += u'\n';
      return i + 2;
    case u't':
      out += u'\t';
      return i + 2;
    case u'\\':
      out += u'\\';
      return i + 2;
    case u'a':
      out += u'\a';
      return i + 2;
    case u'b':
      out += u'\b';
      return i + 2;
    case u'f':
      out += u'\f';
      return i + 2;
    case u'r':
      out += u'\r';
      return i + 2;
    case u'v':
      out += u'\v';
      return i + 2;
    case u'x': {
      size_t j = i + 2;
      unsigned value = 0;
      while (j < text.size() && j < i + 6 && hexValue(text[j]) >= 0)
        value = value * 16 + hexValue(text[j++]);
      if (j == i + 2) {
        out += u"\\x";
        return j;
      }
      out += static_cast<char16_t>(value);
      return j;
    }
    default:
      if (isOctal(c)) {
        size_t j = i + 1;
        unsigned value = 0;
        while (j < text.size() && j < i + 4 && isOctal(text[j]))
          value = value * 8 + (text[j++] - u'0');
        out += static_cast<char16_t>(value);
        return j;
      }
      // An unknown escape stands for itself, backslash included.
      out += u'\\';
      out += c;
      return i + 2;
  }
}

std::vector<Segment> parseFormat(const std::u16string& format) {
  std::vector<Segment> segments;
  std::u16string literal;
  auto flush = [&] {
    if (!literal.empty()) {
      Segment segment;
      segment.literal = literal;
      segments.push_back(segment);
      literal.clear();
    }
  };
  size_t i = 0;
  while (i < format.size()) {
    const char16_t c = format[i];
    if (c == u'\\') {
      i = translateEscape(format, i, literal);
      continue;
    }
    if (c != u'%') {
      literal += c;
      ++i;
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == u'%') {
      literal += u'%';
      i += 2;
      continue;
    }
    // %[flags][width][.precision][length]type
    size_t j = i + 1;
    Conversion conversion;
    while (j < format.size() && std::u16string(u"-+ 0#").find(format[j]) != std::u16string::npos) {
      conversion.flags += static_cast<char>(format[j++]);
    }
    auto number = [&](int& target) {
      if (j < format.size() && format[j] == u'*') {
        target = -2;
        ++j;
        return;
      }
      if (j < format.size() && format[j] >= u'0' && format[j] <= u'9') {
        target = 0;
        while (j < format.size() && format[j] >= u'0' && format[j] <= u'9') {
          target = std::min(target * 10 + (format[j++] - u'0'), 100000);
        }
      }
    };
    number(conversion.width);
    if (j < format.size() && format[j] == u'.') {
      ++j;
      conversion.precision = 0;
      number(conversion.precision);
    }
    while (j < format.size() && (format[j] == u'l' || format[j] == u'h')) ++j;
    const std::u16string types = u"diuoxXfeEgGcs";
    if (j < format.size() && types.find(format[j]) != std::u16string::npos) {
      flush();
      conversion.type = static_cast<char>(format[j]);
      Segment segment;
      segment.conversion = conversion;
      segments.push_back(segment);
      i = j + 1;
    } else {
      // Not a conversion: the text stands as written.
      literal.append(format, i, j - i);
      i = j;
    }
  }
  flush();
  return segments;
}

// ---- Formatting one value -------------------------------------------------------------------

std::u16string widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::u16string pad(const std::u16string& text, const Conversion& c, bool zeroAllowed) {
  if (c.width < 0 || static_cast<int>(text.size()) >= c.width) return text;
  const size_t fill = static_cast<size_t>(c.width) - text.size();
  if (c.flags.find('-') != std::string::npos) return text + std::u16string(fill, u' ');
  if (zeroAllowed && c.flags.find('0') != std::string::npos) {
    // Zeros go after the sign.
    const size_t sign = !text.empty() && (text[0] == u'-' || text[0] == u'+' || text[0] == u' ');
    return text.substr(0, sign) + std::u16string(fill, u'0') + text.substr(sign);
  }
  return std::u16string(fill, u' ') + text;
}

// type is an int: va_start needs a parameter that default promotion leaves alone.
std::string printfText(const Conversion& c, const char* length, int type, ...) {
  std::string printfFormat = "%" + c.flags;
  if (c.width >= 0) printfFormat += std::to_string(c.width);
  if (c.precision >= 0) printfFormat += "." + std::to_string(c.precision);
  printfFormat += length;
  printfFormat += static_cast<char>(type);
  va_list arguments, copy;
  va_start(arguments, type);
  va_copy(copy, arguments);
  const int size = std::vsnprintf(nullptr, 0, printfFormat.c_str(), copy);
  va_end(copy);
  std::string out(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), printfFormat.c_str(), arguments);
  va_end(arguments);
  out.resize(static_cast<size_t>(std::max(size, 0)));
  return out;
}

std::u16string nonFinite(double value, const Conversion& c) {
  std::string text = std::isnan(value) ? "NaN" : value < 0 ? "-Inf" : "Inf";
  if (!std::isnan(value) && value > 0 && c.flags.find('+') != std::string::npos) text = "+Inf";
  return pad(widen(text), c, false);
}

bool isWhole(const Item& item) {
  return item.kind != Item::Float ||
         (std::isfinite(item.number) && item.number == std::floor(item.number));
}

std::u16string formatFloating(const Item& item, const Conversion& c, char type) {
  if (!std::isfinite(item.number)) return nonFinite(item.number, c);
  if (item.kind == Item::Signed && (type == 'd')) {
    return widen(printfText(c, "ll", 'd', item.signedValue));
  }
  return widen(printfText(c, "", type, item.number));
}

std::u16string formatValue(const Item& item, const Conversion& c) {
  switch (c.type) {
    case 'd':
    case 'i':
    case 'u': {
      if (item.kind == Item::Signed) return widen(printfText(c, "ll", 'd', item.signedValue));
      if (item.kind == Item::Unsigned) return widen(printfText(c, "ll", 'u', item.unsignedValue));
      if (!std::isfinite(item.number)) return nonFinite(item.number, c);
      // A value that is not whole cannot be shown as an integer: it is shown with %e.
      if (!isWhole(item)) return formatFloating(item, c, 'e');
      if (std::fabs(item.number) < 9.2e18) {
        return widen(printfText(c, "ll", 'd', static_cast<long long>(item.number)));
      }
      Conversion whole = c;
      whole.precision = 0;
      return widen(printfText(whole, "", 'f', item.number));
    }
    case 'o':
    case 'x':
    case 'X': {
      if (item.kind == Item::Unsigned)
        return widen(printfText(c, "ll", c.type, item.unsignedValue));
      if (item.kind == Item::Signed && item.signedValue >= 0) {
        return widen(
            printfText(c, "ll", c.type, static_cast<unsigned long long>(item.signedValue)));
      }
      if (!isWhole(item) || item.number < 0 || item.number >= 1.8e19) {
        return formatFloating(item, c, 'e');
      }
      return widen(printfText(c, "ll", c.type, static_cast<unsigned long long>(item.number)));
    }
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
      return formatFloating(item, c, c.type);
    case 'c':
    case 's': {
      if (item.kind == Item::Text) {
        std::u16string text = item.text;
        if (c.type == 's' && c.precision >= 0 && text.size() > static_cast<size_t>(c.precision)) {
          text.resize(static_cast<size_t>(c.precision));
        }
        return pad(text, c, false);
      }
      // A number given to a text conversion: whole numbers are character codes, other values
      // are shown as numbers.
      if (isWhole(item) && item.number >= 0 && item.number <= 0xFFFF) {
        return pad(std::u16string(1, static_cast<char16_t>(item.number)), c, false);
      }
      Conversion shortest = c;
      shortest.precision = -1;
      if (!std::isfinite(item.number)) return nonFinite(item.number, c);
      return widen(printfText(shortest, "", 'e', item.number));
    }
    default:
      return std::u16string();
  }
}

}  // namespace

std::u16string translateEscapes(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == u'\\') {
      i = translateEscape(text, i, out);
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::u16string formatText(const std::u16string& format, const zyArray* const* arguments,
                          int count) {
  const std::vector<Segment> segments = parseFormat(format);
  Feed feed(flatten(arguments, count));
  const bool anyConversion = std::any_of(segments.begin(), segments.end(),
                                         [](const Segment& s) { return s.conversion.type != 0; });
  std::u16string out;
  // Without arguments the format is written once, its conversions writing nothing. With
  // arguments it is written again and again while values remain, and stops at the first
  // conversion that finds none.
  const bool withData = feed.hasData();
  do {
    for (const Segment& segment : segments) {
      if (segment.conversion.type == 0) {
        out += segment.literal;
        continue;
      }
      if (!withData) continue;
      Conversion conversion = segment.conversion;
      auto takeNumber = [&](int& target) -> bool {
        if (target != -2) return true;
        if (feed.empty()) return false;
        const Item item = feed.next(false);
        const double value = item.number;
        target = std::isfinite(value)
                     ? static_cast<int>(std::max(-100000.0, std::min(value, 100000.0)))
                     : -1;
        if (target < 0 && &target == &conversion.width && std::isfinite(value)) {
          conversion.flags += '-';
          target = -target;
        }
        return true;
      };
      if (!takeNumber(conversion.width) || !takeNumber(conversion.precision) || feed.empty()) {
        return out;
      }
      out += formatValue(feed.next(conversion.type == 's'), conversion);
    }
  } while (withData && anyConversion && !feed.empty());
  return out;
}

namespace detail {
namespace {

// ---- sprintf ----------------------------------------------------------------------------------

void sprintfBuiltin(Call& call) {
  call.check(1, -1, 1);
  if (call.in(0)->classId() != zyCHAR_CLASS) {
    raise("Q:invalidInput", "sprintf: the format must be a character vector.");
  }
  const std::u16string format = unitsOf(call.in(0));
  call.out(0, text(formatText(format, call.inputs + 1, call.nargin - 1)));
}

// ---- num2str, int2str ---------------------------------------------------------------------

std::string printfDouble(const char* printfFormat, double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, printfFormat, value);
  return buffer;
}

std::string withWidth(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Whole numbers of any class exactly, as text.
std::string wholeText(const zyArray* full, size_t index, const DoubleValues& values) {
  if (full->classId() == zyINT64_CLASS) return std::to_string(constData<int64_t>(full)[index]);
  if (full->classId() == zyUINT64_CLASS) return std::to_string(constData<uint64_t>(full)[index]);
  const double value = values[index];
  if (!std::isfinite(value)) return printfDouble("%g", value);
  if (std::fabs(value) < 9.2e18) return std::to_string(static_cast<long long>(value));
  return printfDouble("%.0f", value);
}

// Rows of text stacked into a char matrix, with the blank columns they all start with removed.
ArrayPtr stackRows(std::vector<std::string> rows, bool trimLeading) {
  if (trimLeading && !rows.empty()) {
    size_t common = std::string::npos;
    for (const std::string& row : rows) {
      const size_t first = row.find_first_not_of(' ');
      common = std::min(common, first == std::string::npos ? row.size() : first);
    }
    for (std::string& row : rows) row.erase(0, std::min(common, row.size()));
  }
  for (std::string& row : rows) {
    const size_t end = row.find_last_not_of(' ');
    row.erase(end == std::string::npos ? 0 : end + 1);
  }
  size_t width = 0;
  for (const std::string& row : rows) width = std::max(width, row.size());
  if (rows.size() == 1) return text(rows[0]);
  ArrayPtr out = checked(zyCreateCharMatrix(rows.size(), width));
  if (width == 0) return out;
  zyChar* target = dataOf<zyChar>(out.get());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < width; ++j) {
      target[i + rows.size() * j] = j < rows[i].size() ? static_cast<zyChar>(rows[i][j]) : u' ';
    }
  }
  return out;
}

// Significant digits for non-integers: four after the point of the largest magnitude, at
// least five in all.
int defaultPrecision(const DoubleValues& re, const DoubleValues& im, size_t n) {
  double largest = 0;
  for (size_t i = 0; i < n; ++i) {
    if (std::isfinite(re[i])) largest = std::max(largest, std::fabs(re[i]));
    if (std::isfinite(im[i])) largest = std::max(largest, std::fabs(im[i]));
  }
  const int digits = largest > 0 ? static_cast<int>(std::floor(std::log10(largest))) : 0;
  return std::min(std::max(digits + 5, 5), 16);
}

std::string complexText(double re, double im, const char* printfFormat) {
  std::string text = printfDouble(printfFormat, re);
  const std::string imag = printfDouble(printfFormat, std::fabs(im));
  text += (im < 0 || (im == 0 && std::signbit(im))) ? "-" : "+";
  return text + imag + "i";
}

ArrayPtr num2str(const zyArray* input, const zyArray* option) {
  if (input->classId() == zyCHAR_CLASS) return checked(zyCreateSharedDataCopy(input));
  FullArray a(input);
  if (!isArithmetic(a.get())) {
    raise("Q:invalidInput", "num2str: the input must be numeric, char or logical.");
  }
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "num2str: the input must be 2-D.");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  if (m * n == 0) return text(std::string());
  DoubleValues re(a.get()), im(a.get(), true);
  const bool complex = isComplex(a.get());
  std::vector<std::string> rows(m);
  if (option != nullptr && option->classId() == zyCHAR_CLASS) {
    // num2str(A, format): each row through sprintf.
    const std::u16string format = unitsOf(option);
    for (size_t i = 0; i < m; ++i) {
      ArrayPtr row = create(zyDOUBLE_CLASS, {1, n});
      for (size_t j = 0; j < n; ++j) dataOf<double>(row.get())[j] = re[i + m * j];
      const zyArray* argument = row.get();
      rows[i] = utf8(formatText(format, &argument, 1));
    }
    return stackRows(rows, false);
  }
  if (option != nullptr) {
    const double precision = scalarArgument(option, "num2str", "the precision");
    if (!(precision >= 1) || precision > 100) {
      raise("Q:invalidInput", "num2str: the precision must be a positive integer.");
    }
    const std::string printfFormat = "%." + std::to_string(static_cast<int>(precision)) + "g";
    for (size_t i = 0; i < m; ++i) {
      for (size_t j = 0; j < n; ++j) {
        const size_t k = i + m * j;
        if (j) rows[i] += "  ";
        rows[i] += complex ? complexText(re[k], im[k], printfFormat.c_str())
                           : printfDouble(printfFormat.c_str(), re[k]);
      }
    }
    return stackRows(rows, true);
  }
  bool whole = true;
  bool negative = false;
  for (size_t k = 0; k < m * n; ++k) {
    whole = whole && (!std::isfinite(re[k]) || re[k] == std::floor(re[k])) &&
            (!std::isfinite(im[k]) || im[k] == std::floor(im[k]));
    negative = negative || re[k] < 0;
  }
  if (complex) {
    const int precision = defaultPrecision(re, im, m * n);
    const std::string printfFormat = whole ? "%.0f" : "%." + std::to_string(precision) + "g";
    for (size_t i = 0; i < m; ++i) {
      for (size_t j = 0; j < n; ++j) {
        if (j) rows[i] += "  ";
        rows[i] += complexText(re[i + m * j], im[i + m * j], printfFormat.c_str());
      }
    }
    return stackRows(rows, true);
  }
  if (whole) {
    // Integers exactly, in columns two blanks wider than the widest entry.
    std::vector<std::string> texts(m * n);
    size_t widest = 0;
    for (size_t k = 0; k < m * n; ++k) {
      texts[k] = wholeText(a.get(), k, re);
      widest = std::max(widest, texts[k].size());
    }
    for (size_t i = 0; i < m; ++i) {
      for (size_t j = 0; j < n; ++j) rows[i] += withWidth(texts[i + m * j], widest + 2);
    }
    return stackRows(rows, true);
  }
  const int precision = defaultPrecision(re, im, m * n);
  const std::string printfFormat = "%." + std::to_string(precision) + "g";
  const size_t width = static_cast<size_t>(precision) + 7 + (negative ? 1 : 0);
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const std::string value = printfDouble(printfFormat.c_str(), re[i + m * j]);
      rows[i] += n == 1 && m == 1 ? value : withWidth(value, width);
    }
  }
  return stackRows(rows, true);
}

void num2strBuiltin(Call& call) {
  call.check(1, 2, 1);
  call.out(0, num2str(call.in(0), call.nargin == 2 ? call.in(1) : nullptr));
}

void int2strBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  if (!isArithmetic(a.get())) raise("Q:invalidInput", "int2str: the input must be numeric.");
  if (isIntegerClass(a->classId())) return call.out(0, num2str(a.get(), nullptr));
  DoubleValues values(a.get());
  std::vector<double> rounded(values.data(), values.data() + a->numberOfElements());
  for (double& value : rounded) value = std::round(value);
  ArrayPtr asDouble = fromDoubles(zyDOUBLE_CLASS, dimsOf(a.get()), rounded.data(), nullptr);
  call.out(0, num2str(asDouble.get(), nullptr));
}

// ---- mat2str ----------------------------------------------------------------------------------

std::string quoted(const std::u16string& units) {
  std::string out = "'";
  for (char16_t unit : units) {
    if (unit == u'\'') out += "'";
    out += utf8(std::u16string(1, unit));
  }
  return out + "'";
}

void mat2strBuiltin(Call& call) {
  call.check(1, 3, 1);
  FullArray a(call.in(0));
  int precision = 15;
  bool withClass = false;
  for (int i = 1; i < call.nargin; ++i) {
    if (call.in(i)->classId() == zyCHAR_CLASS) {
      if (lower(textArgument(call.in(i), "mat2str")) != "class") {
        raise("Q:invalidInput", "mat2str: the option must be 'class'.");
      }
      withClass = true;
    } else {
      const double value = scalarArgument(call.in(i), "mat2str", "the precision");
      if (!(value >= 1) || value > 100) {
        raise("Q:invalidInput", "mat2str: the precision must be a positive integer.");
      }
      precision = static_cast<int>(value);
    }
  }
  if (!isArithmetic(a.get()))
    raise("Q:invalidInput", "mat2str: the input must be numeric, char or logical.");
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "mat2str: the input must be 2-D.");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const zyClassID cls = a->classId();
  std::string out;
  if (cls == zyCHAR_CLASS) {
    const zyChar* units = constData<zyChar>(a.get());
    std::vector<std::string> rows;
    for (size_t i = 0; i < m; ++i) {
      std::u16string row;
      for (size_t j = 0; j < n; ++j) row += units[i + m * j];
      rows.push_back(quoted(row));
    }
    if (m == 1) {
      out = rows[0];
    } else if (m == 0) {
      out = "''";
    } else {
      out = "[";
      for (size_t i = 0; i < m; ++i) out += (i ? ";" : "") + rows[i];
      out += "]";
    }
    return call.out(0, text(out));
  }
  if (m * n == 0) {
    out = m == 0 && n == 0 ? "[]" : "zeros(" + std::to_string(m) + "," + std::to_string(n) + ")";
  } else {
    DoubleValues re(a.get()), im(a.get(), true);
    const std::string printfFormat = "%." + std::to_string(precision) + "g";
    auto element = [&](size_t k) -> std::string {
      if (cls == zyLOGICAL_CLASS) return re[k] != 0 ? "true" : "false";
      if (isIntegerClass(cls) && !isComplex(a.get())) return wholeText(a.get(), k, re);
      if (!isComplex(a.get())) return printfDouble(printfFormat.c_str(), re[k]);
      return complexText(re[k], im[k], printfFormat.c_str());
    };
    const bool bracket = m * n != 1;
    if (bracket) out += "[";
    for (size_t i = 0; i < m; ++i) {
      if (i) out += ";";
      for (size_t j = 0; j < n; ++j) {
        if (j) out += " ";
        out += element(i + m * j);
      }
    }
    if (bracket) out += "]";
  }
  if (withClass && cls != zyDOUBLE_CLASS && cls != zyLOGICAL_CLASS) {
    out = className(cls) + "(" + out + ")";
  }
  call.out(0, text(out));
}

// ---- str2double -----------------------------------------------------------------------------

// Reads a real number at text[pos]: digits with optional thousands commas, a point, an exponent
// (e, E, d or D), or Inf / NaN in any case. Signs are read by the caller.
bool readUnsigned(const std::string& text, size_t& pos, double& value) {
  auto startsWith = [&](const char* word) {
    const size_t length = std::strlen(word);
    if (text.size() - pos < length) return false;
    for (size_t i = 0; i < length; ++i) {
      if (std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
    }
    return true;
  };
  if (startsWith("inf")) {
    pos += 3;
    if (startsWith("inity")) pos += 5;
    value = std::numeric_limits<double>::infinity();
    return true;
  }
  if (startsWith("nan")) {
    pos += 3;
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  std::string digits;
  bool any = false;
  while (pos < text.size() && (std::isdigit(static_cast<unsigned char>(text[pos])) ||
                               (text[pos] == ',' && any && pos + 1 < text.size() &&
                                std::isdigit(static_cast<unsigned char>(text[pos + 1]))))) {
    if (text[pos] != ',') {
      digits += text[pos];
      any = true;
    }
    ++pos;
  }
  if (pos < text.size() && text[pos] == '.') {
    digits += '.';
    ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
      digits += text[pos++];
      any = true;
    }
  }
  if (!any) return false;
  if (pos < text.size() && std::strchr("eEdD", text[pos]) != nullptr) {
    size_t exponentEnd = pos + 1;
    if (exponentEnd < text.size() && (text[exponentEnd] == '+' || text[exponentEnd] == '-')) {
      ++exponentEnd;
    }
    if (exponentEnd < text.size() && std::isdigit(static_cast<unsigned char>(text[exponentEnd]))) {
      digits += 'e';
      digits.append(text, pos + 1, exponentEnd - pos - 1);
      pos = exponentEnd;
      while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        digits += text[pos++];
      }
    }
  }
  value = std::strtod(digits.c_str(), nullptr);
  return true;
}

bool readSign(const std::string& text, size_t& pos, double& sign) {
  sign = 1;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    return true;
  }
  return false;
}

bool isImaginaryUnit(char c) { return c == 'i' || c == 'j' || c == 'I' || c == 'J'; }

// The number a text spells, NaN when it spells none: a real number, an imaginary one ("2i",
// "-i") or a complex one ("1+2i", "1 - 2.5e3j").
bool parseNumber(std::string value, double& re, double& im) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  re = nan;
  im = 0;
  const size_t first = value.find_first_not_of(" \t\n\r\f\v");
  if (first == std::string::npos) return false;
  value = value.substr(first, value.find_last_not_of(" \t\n\r\f\v") - first + 1);
  size_t pos = 0;
  double sign = 1, magnitude = 0;
  readSign(value, pos, sign);
  bool number = readUnsigned(value, pos, magnitude);
  if (pos < value.size() && isImaginaryUnit(value[pos])) {
    // A lone imaginary part: "3i", "-i".
    ++pos;
    if (pos != value.size()) return false;
    re = 0;
    im = sign * (number ? magnitude : 1.0);
    return true;
  }
  if (!number) return false;
  const double real = sign * magnitude;
  while (pos < value.size() && value[pos] == ' ') ++pos;
  if (pos == value.size()) {
    re = real;
    return true;
  }
  if (!readSign(value, pos, sign)) return false;
  while (pos < value.size() && value[pos] == ' ') ++pos;
  number = readUnsigned(value, pos, magnitude);
  if (pos >= value.size() || !isImaginaryUnit(value[pos]) || pos + 1 != value.size()) return false;
  re = real;
  im = sign * (number ? magnitude : 1.0);
  return true;
}

void str2doubleBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (a->classId() == zyCELL_CLASS) {
    const size_t n = a->numberOfElements();
    std::vector<double> re(n, nan), im(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
      const zyArray* element = zyGetCellConst(a, i);
      if (element != nullptr && isText(element)) parseNumber(utf8(unitsOf(element)), re[i], im[i]);
    }
    return call.out(0, fromDoubles(zyDOUBLE_CLASS, dimsOf(a), re.data(), im.data()));
  }
  double re = nan, im = 0;
  if (isText(a)) parseNumber(utf8(unitsOf(a)), re, im);
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {1, 1}, &re, &im));
}

}  // namespace

void addFormatBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"int2str", builtin<int2strBuiltin>});
  table.push_back({"mat2str", builtin<mat2strBuiltin>});
  table.push_back({"num2str", builtin<num2strBuiltin>});
  table.push_back({"sprintf", builtin<sprintfBuiltin>});
  table.push_back({"str2double", builtin<str2doubleBuiltin>});
}

}  // namespace detail
}  // namespace q::ops
