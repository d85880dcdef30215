// More text built-ins: cellstr, strvcat, strip, erase, replace, pad, strlength, extractBefore,
// extractAfter, join, split and validatestring. Each works on a character vector or, element by
// element, on a cell array of them (a cell of the same shape comes back). Text is handled as
// UTF-16 code units, as char arrays hold it.

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/ops/support.hpp"
#include "engine/ops/text_units.hpp"

namespace q::ops::detail {
namespace {

// The longest text pad and strvcat make, as blanks does.
constexpr double kMaximumWidth = 1e9;

// Numbers and logicals; char arguments are texts here.
bool isNumber(const zyArray* a) {
  return isNumericClass(a->classId()) || a->classId() == zyLOGICAL_CLASS;
}

std::string where(const char* function) { return std::string(function) + ": "; }

// The texts of a text argument, or of a cell of them, with the shape results take.
struct Texts {
  std::vector<Units> items;
  Dims dims;
  bool cell = false;
};

Texts textsArgument(const zyArray* a, const char* function, const char* what = "the input") {
  Texts texts;
  if (a->classId() == zyCELL_CLASS && isCellOfText(a)) {
    texts.cell = true;
    texts.dims = dimsOf(a);
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      texts.items.push_back(unitsOf(zyGetCellConst(a, i)));
    }
  } else if (isText(a)) {
    texts.dims = {1, 1};
    texts.items.push_back(unitsOf(a));
  } else {
    raise("Q:invalidInput",
          where(function) + what + " must be text or a cell array of text.");
  }
  return texts;
}

// A text for a text argument, a cell of the same shape for a cell.
ArrayPtr textsResult(const Texts& texts, const std::vector<Units>& items) {
  return texts.cell ? cellOfTexts(texts.dims, items) : text(items[0]);
}

void mapTexts(Call& call, const char* function, const std::function<Units(const Units&)>& f) {
  Texts texts = textsArgument(call.in(0), function);
  std::vector<Units> items;
  items.reserve(texts.items.size());
  for (const Units& item : texts.items) items.push_back(f(item));
  call.out(0, textsResult(texts, items));
}

// One character given as a 1-character text.
char16_t characterArgument(const zyArray* a, const char* function) {
  const Units units = unitsArgument(a, function);
  if (units.size() != 1) raise("Q:invalidInput", where(function) + "expected one character.");
  return units[0];
}

enum class Side { Left, Right, Both };

Side sideArgument(const zyArray* a, const char* function) {
  const std::string side = lower(textArgument(a, function));
  if (side == "left") return Side::Left;
  if (side == "right") return Side::Right;
  if (side == "both") return Side::Both;
  raise("Q:invalidInput", where(function) + "the side must be 'left', 'right' or 'both'.");
}

// A whole number in [low, high].
size_t wholeArgument(const zyArray* a, const char* function, const char* what, double low,
                     double high) {
  const double v = scalarArgument(a, function, what);
  if (!(v >= low && v <= high) || v != std::floor(v)) {
    raise("Q:invalidInput", where(function) + what + " must be a whole number from " +
                                std::to_string(static_cast<long long>(low)) + " to " +
                                std::to_string(static_cast<long long>(high)) + ".");
  }
  return static_cast<size_t>(v);
}

// ---- cellstr, strvcat -----------------------------------------------------------------------

Units trimTrailing(Units units) {
  while (!units.empty() && isSpace(units.back())) units.pop_back();
  return units;
}

// The rows of a 2-D char array.
std::vector<Units> rowsOf(const zyArray* a, const char* function) {
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", where(function) + "expected 2-D text.");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const zyChar* units = constData<zyChar>(a);
  std::vector<Units> rows(m, Units(n, u' '));
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) rows[i][j] = units[i + m * j];
  }
  return rows;
}

// cellstr(c): one element per row of a char matrix, trailing whitespace removed, in a column;
// '' gives {''}; a cell of texts comes back as it is.
void cellstrBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  if (a->classId() == zyCELL_CLASS) {
    if (!isCellOfText(a)) {
      raise("Q:invalidInput", "cellstr: a cell array must hold character vectors.");
    }
    return call.out(0, checked(zyCreateSharedDataCopy(a)));
  }
  if (a->classId() != zyCHAR_CLASS) {
    raise("Q:invalidInput", "cellstr: the input must be a char array or a cell of texts.");
  }
  std::vector<Units> rows = rowsOf(a, "cellstr");
  if (rows.empty()) rows.emplace_back();
  for (Units& row : rows) row = trimTrailing(row);
  call.out(0, cellOfTexts({rows.size(), 1}, rows));
}

// strvcat(a, b, ...): the rows of char arrays and the texts of cells stacked, padded with blanks
// to the longest; empty texts are skipped.
void strvcatBuiltin(Call& call) {
  call.check(1, -1, 1);
  std::vector<Units> rows;
  size_t width = 0;
  auto add = [&](const Units& row) {
    if (row.empty()) return;
    width = std::max(width, row.size());
    rows.push_back(row);
  };
  for (int k = 0; k < call.nargin; ++k) {
    const zyArray* a = call.in(k);
    if (a->classId() == zyCELL_CLASS && isCellOfText(a)) {
      for (size_t i = 0; i < a->numberOfElements(); ++i) add(unitsOf(zyGetCellConst(a, i)));
    } else if (a->classId() == zyCHAR_CLASS) {
      if (a->numberOfElements() == 0) continue;
      for (const Units& row : rowsOf(a, "strvcat")) add(row);
    } else {
      raise("Q:invalidInput", "strvcat: the inputs must be text or cell arrays of text.");
    }
  }
  if (rows.empty()) return call.out(0, text(Units()));
  ArrayPtr out = checked(zyCreateCharMatrix(rows.size(), width));
  zyChar* units = dataOf<zyChar>(out.get());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < width; ++j) {
      units[i + rows.size() * j] = j < rows[i].size() ? rows[i][j] : u' ';
    }
  }
  call.out(0, std::move(out));
}

// ---- strip, pad -----------------------------------------------------------------------------

// strip(s[, side[, character]]): removes whitespace (or the character) from the side(s) named
// ('both' by default).
void stripBuiltin(Call& call) {
  call.check(1, 3, 1);
  Side side = Side::Both;
  if (call.nargin >= 2) side = sideArgument(call.in(1), "strip");
  const bool anyCharacter = call.nargin < 3;
  const char16_t character = anyCharacter ? u' ' : characterArgument(call.in(2), "strip");
  auto strippable = [&](char16_t c) { return anyCharacter ? isSpace(c) : c == character; };
  mapTexts(call, "strip", [&](const Units& s) {
    size_t first = 0, last = s.size();
    if (side != Side::Right) {
      while (first < last && strippable(s[first])) ++first;
    }
    if (side != Side::Left) {
      while (last > first && strippable(s[last - 1])) --last;
    }
    return s.substr(first, last - first);
  });
}

// pad(s[, width][, side[, character]]): adds blanks (or the character) to reach the width; by
// default the width of the longest text, on the right. Longer texts are kept whole; 'both'
// puts the odd character on the right.
void padBuiltin(Call& call) {
  call.check(1, 4, 1);
  Texts texts = textsArgument(call.in(0), "pad");
  int next = 1;
  size_t width = 0;
  for (const Units& item : texts.items) width = std::max(width, item.size());
  if (next < call.nargin && isNumber(call.in(next))) {
    width = wholeArgument(call.in(next++), "pad", "the width", 0, kMaximumWidth);
  }
  Side side = Side::Right;
  if (next < call.nargin) side = sideArgument(call.in(next++), "pad");
  char16_t character = u' ';
  if (next < call.nargin) character = characterArgument(call.in(next++), "pad");
  if (next < call.nargin) raise("Q:invalidInput", "pad: too many inputs.");
  std::vector<Units> items;
  for (const Units& item : texts.items) {
    const size_t missing = width > item.size() ? width - item.size() : 0;
    const size_t left = side == Side::Left ? missing : side == Side::Both ? missing / 2 : 0;
    items.push_back(Units(left, character) + item + Units(missing - left, character));
  }
  call.out(0, textsResult(texts, items));
}

// ---- erase, replace -------------------------------------------------------------------------

// Scans s from the left; where one of the patterns starts (the longest when several do), puts
// its replacement instead and goes on after it. Empty patterns match nothing.
Units replaceAll(const Units& s, const std::vector<Units>& patterns,
                 const std::vector<Units>& replacements) {
  Units out;
  for (size_t i = 0; i < s.size();) {
    size_t best = patterns.size();
    for (size_t k = 0; k < patterns.size(); ++k) {
      const Units& p = patterns[k];
      if (p.empty() || s.compare(i, p.size(), p) != 0) continue;
      if (best == patterns.size() || p.size() > patterns[best].size()) best = k;
    }
    if (best == patterns.size()) {
      out += s[i++];
    } else {
      out += replacements[best];
      i += patterns[best].size();
    }
  }
  return out;
}

void eraseBuiltin(Call& call) {
  call.check(2, 2, 1);
  const std::vector<Units> patterns = textsArgument(call.in(1), "erase", "the pattern").items;
  const std::vector<Units> nothing(patterns.size());
  mapTexts(call, "erase", [&](const Units& s) { return replaceAll(s, patterns, nothing); });
}

// replace(s, old, new): every occurrence of old (or of each text of a cell) becomes new (a text,
// or the paired text of a cell of the same count).
void replaceBuiltin(Call& call) {
  call.check(3, 3, 1);
  const std::vector<Units> patterns = textsArgument(call.in(1), "replace", "the old text").items;
  std::vector<Units> replacements = textsArgument(call.in(2), "replace", "the new text").items;
  if (replacements.size() == 1) {
    replacements.assign(patterns.size(), replacements[0]);
  } else if (replacements.size() != patterns.size()) {
    raise("Q:sizeMismatch", "replace: the new texts must be one or as many as the old texts.");
  }
  mapTexts(call, "replace", [&](const Units& s) { return replaceAll(s, patterns, replacements); });
}

// ---- strlength, extractBefore, extractAfter -------------------------------------------------

void strlengthBuiltin(Call& call) {
  call.check(1, 1, 1);
  const Texts texts = textsArgument(call.in(0), "strlength");
  ArrayPtr out = createDouble(texts.dims);
  for (size_t i = 0; i < texts.items.size(); ++i) {
    dataOf<double>(out.get())[i] = static_cast<double>(texts.items[i].size());
  }
  call.out(0, std::move(out));
}

// extractBefore(s, p) / extractAfter(s, p): the part of each text before (after) position p, or
// before the start (after the end) of the first occurrence of the text p; empty when p does not
// occur. Positions: one for all texts, or one per text.
template <bool before>
void extractBuiltin(Call& call) {
  const char* name = before ? "extractBefore" : "extractAfter";
  call.check(2, 2, 1);
  const Texts texts = textsArgument(call.in(0), name);
  const zyArray* position = call.in(1);
  std::vector<Units> items;
  if (isNumber(position)) {
    const size_t count = position->numberOfElements();
    if (isComplex(position) || (count != 1 && count != texts.items.size())) {
      raise("Q:invalidInput",
            std::string(name) + ": the position must be a real scalar or one per text.");
    }
    FullArray full(position);
    const DoubleValues positions(full.get());
    for (size_t i = 0; i < texts.items.size(); ++i) {
      const Units& s = texts.items[i];
      const double p = positions[count == 1 ? 0 : i];
      const double low = before ? 1 : 0, high = static_cast<double>(s.size()) + low;
      if (!(p >= low && p <= high) || p != std::floor(p)) {
        raise("Q:invalidInput", std::string(name) + ": the position is outside the text.");
      }
      const size_t at = static_cast<size_t>(p);
      items.push_back(before ? s.substr(0, at - 1) : s.substr(at));
    }
  } else {
    const std::vector<Units> marks = textsArgument(position, name, "the position").items;
    if (marks.size() != 1 && marks.size() != texts.items.size()) {
      raise("Q:sizeMismatch", std::string(name) + ": give one text to find or one per text.");
    }
    for (size_t i = 0; i < texts.items.size(); ++i) {
      const Units& s = texts.items[i];
      const Units& mark = marks[marks.size() == 1 ? 0 : i];
      const size_t at = s.find(mark);
      if (at == Units::npos) {
        items.emplace_back();
      } else {
        items.push_back(before ? s.substr(0, at) : s.substr(at + mark.size()));
      }
    }
  }
  call.out(0, textsResult(texts, items));
}

// ---- join, split ----------------------------------------------------------------------------

// join(c[, delimiter]): the texts of a vector cell joined with blanks, with the delimiter, or
// with a cell of one delimiter fewer than the texts (taken literally).
void joinBuiltin(Call& call) {
  call.check(1, 2, 1);
  const zyArray* c = call.in(0);
  if (!isCellOfText(c) || (c->numberOfElements() > 0 && !isVector(c))) {
    raise("Q:invalidInput", "join: the input must be a vector cell array of texts.");
  }
  const size_t n = c->numberOfElements();
  std::vector<Units> separators(n > 0 ? n - 1 : 0, u" ");
  if (call.nargin == 2) {
    const Texts given = textsArgument(call.in(1), "join", "the delimiter");
    if (!given.cell || given.items.size() == 1) {
      std::fill(separators.begin(), separators.end(), given.items[0]);
    } else if (given.items.size() == separators.size()) {
      separators = given.items;
    } else {
      raise("Q:sizeMismatch", "join: a cell of delimiters needs one fewer than the texts.");
    }
  }
  Units out;
  for (size_t i = 0; i < n; ++i) {
    if (i) out += separators[i - 1];
    out += unitsOf(zyGetCellConst(c, i));
  }
  call.out(0, text(out));
}

// split(s[, delimiter]): the parts of a text between delimiters (whitespace by default; a text
// or a cell of texts, the longest matching one wins; runs of delimiters count as one) in a
// column cell. A cell of n texts that each give p parts gives an n-by-p cell.
void splitBuiltin(Call& call) {
  call.check(1, 2, 1);
  const Texts texts = textsArgument(call.in(0), "split");
  std::vector<Units> delimiters = {u" ", u"\f", u"\n", u"\r", u"\t", u"\v"};
  if (call.nargin == 2) delimiters = textsArgument(call.in(1), "split", "the delimiter").items;
  delimiters.erase(std::remove(delimiters.begin(), delimiters.end(), Units()), delimiters.end());
  std::stable_sort(delimiters.begin(), delimiters.end(),
                   [](const Units& a, const Units& b) { return a.size() > b.size(); });
  std::vector<std::vector<Units>> all;
  for (const Units& s : texts.items) {
    std::vector<Units> parts(1);
    bool previousWasDelimiter = false;
    for (size_t i = 0; i < s.size();) {
      size_t matched = 0;
      for (const Units& d : delimiters) {
        if (s.compare(i, d.size(), d) == 0) {
          matched = d.size();
          break;
        }
      }
      if (matched) {
        if (!previousWasDelimiter) parts.emplace_back();
        previousWasDelimiter = true;
        i += matched;
      } else {
        parts.back() += s[i++];
        previousWasDelimiter = false;
      }
    }
    if (!all.empty() && parts.size() != all[0].size()) {
      raise("Q:sizeMismatch", "split: the texts of a cell must split into as many parts.");
    }
    all.push_back(std::move(parts));
  }
  const size_t rows = texts.cell && texts.items.size() != 1 ? all.size() : 0;
  if (rows == 0) {
    if (all.empty()) return call.out(0, cellOfTexts({0, 1}, {}));
    return call.out(0, cellOfTexts({all[0].size(), 1}, all[0]));
  }
  const size_t columns = all[0].size();
  std::vector<Units> items(rows * columns);
  for (size_t i = 0; i < rows; ++i) {
    for (size_t j = 0; j < columns; ++j) items[i + rows * j] = all[i][j];
  }
  call.out(0, cellOfTexts({rows, columns}, items));
}

// ---- validatestring -------------------------------------------------------------------------

// validatestring(text, options[, ...]): the option that the text names, regardless of case: an
// option equal to it, else the only option it starts, else the shortest of the options it
// starts when that one starts all the others.
void validatestringBuiltin(Call& call) {
  call.check(2, 5, 1);
  const Units given = unitsArgument(call.in(0), "validatestring");
  const zyArray* options = call.in(1);
  if (!isCellOfText(options)) {
    raise("Q:invalidInput", "validatestring: the options must be a cell array of texts.");
  }
  const Units key = lowered(given);
  std::vector<size_t> matches;
  for (size_t i = 0; i < options->numberOfElements() && !key.empty(); ++i) {
    const Units option = lowered(unitsOf(zyGetCellConst(options, i)));
    if (option == key) {
      matches.assign(1, i);
      break;
    }
    if (option.compare(0, key.size(), key) == 0) matches.push_back(i);
  }
  auto optionAt = [&](size_t i) { return unitsOf(zyGetCellConst(options, i)); };
  if (matches.empty()) {
    raise("Q:unrecognizedStringChoice",
          "validatestring: '" + utf8(given) + "' does not match any of the options.");
  }
  size_t shortest = matches[0];
  for (size_t i : matches) {
    if (optionAt(i).size() < optionAt(shortest).size()) shortest = i;
  }
  const Units prefix = lowered(optionAt(shortest));
  for (size_t i : matches) {
    if (lowered(optionAt(i)).compare(0, prefix.size(), prefix) != 0) {
      raise("Q:ambiguousStringChoice",
            "validatestring: '" + utf8(given) + "' matches more than one of the options.");
    }
  }
  call.out(0, text(optionAt(shortest)));
}

}  // namespace

void addTextExtraBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"cellstr", builtin<cellstrBuiltin>});
  table.push_back({"erase", builtin<eraseBuiltin>});
  table.push_back({"extractAfter", builtin<extractBuiltin<false>>});
  table.push_back({"extractBefore", builtin<extractBuiltin<true>>});
  table.push_back({"join", builtin<joinBuiltin>});
  table.push_back({"pad", builtin<padBuiltin>});
  table.push_back({"replace", builtin<replaceBuiltin>});
  table.push_back({"split", builtin<splitBuiltin>});
  table.push_back({"strip", builtin<stripBuiltin>});
  table.push_back({"strlength", builtin<strlengthBuiltin>});
  table.push_back({"strvcat", builtin<strvcatBuiltin>});
  table.push_back({"validatestring", builtin<validatestringBuiltin>});
}

}  // namespace q::ops::detail
