// Text built-ins on char arrays and cell arrays of character vectors. Text is handled as UTF-16
// code units, as char arrays hold it.

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/ops/format.hpp"
#include "engine/ops/shape.hpp"
#include "engine/ops/text_units.hpp"

namespace q::ops::detail {
namespace {

// Applies a function to a character vector, or to each element of a cell array of them.
ArrayPtr mapText(const zyArray* a, const char* function,
                 const std::function<ArrayPtr(const zyArray*)>& apply) {
  if (a->classId() != zyCELL_CLASS) return apply(a);
  if (!isCellOfText(a)) {
    raise("Q:invalidInput", std::string(function) + ": a cell array must hold character vectors.");
  }
  ArrayPtr out = checked(zyCreateCellArray(a->numberOfDimensions(), a->dimensions()));
  for (size_t i = 0; i < a->numberOfElements(); ++i) {
    zyArray* element = apply(zyGetCellConst(a, i)).release();
    if (zySetCell(out.get(), i, element) != 0) {
      zyDestroyArray(element);
      outOfMemory();
    }
  }
  return out;
}

// ---- Comparison -----------------------------------------------------------------------------

// How two texts compare: n < 0 compares them whole, else their first n characters.
bool textsEqual(const zyArray* a, const zyArray* b, bool ignoreCase, double n) {
  if (a->classId() != zyCHAR_CLASS || b->classId() != zyCHAR_CLASS) return false;
  Units ua = unitsOf(a), ub = unitsOf(b);
  if (ignoreCase) {
    ua = lowered(ua);
    ub = lowered(ub);
  }
  if (n < 0) return sameDims(a, b) && ua == ub;
  const size_t count = static_cast<size_t>(std::min(n, 1e15));
  return ua.substr(0, count) == ub.substr(0, count);
}

template <bool ignoreCase, bool prefix>
void compareBuiltin(Call& call) {
  call.check(prefix ? 3 : 2, prefix ? 3 : 2, 1);
  const char* name =
      prefix ? (ignoreCase ? "strncmpi" : "strncmp") : (ignoreCase ? "strcmpi" : "strcmp");
  double n = -1;
  if (prefix) {
    n = scalarArgument(call.in(2), name, "the length");
    if (!(n >= 0) || n != std::floor(n)) {
      raise("Q:invalidInput", std::string(name) + ": the length must be a non-negative integer.");
    }
  }
  const zyArray* a = call.in(0);
  const zyArray* b = call.in(1);
  const bool cellA = a->classId() == zyCELL_CLASS, cellB = b->classId() == zyCELL_CLASS;
  if (!cellA && !cellB) return call.out(0, logicalScalar(textsEqual(a, b, ignoreCase, n)));
  // A cell against a text or a 1-by-1 cell compares each element; two cells of one size compare
  // element by element.
  const zyArray* shape = cellA ? a : b;
  if (cellA && cellB && a->numberOfElements() != 1 && b->numberOfElements() != 1 &&
      !sameDims(a, b)) {
    raise("Q:sizeMismatch", std::string(name) + ": the cell arrays must have the same size.");
  }
  if (cellA && cellB && a->numberOfElements() == 1) shape = b;
  ArrayPtr out = create(zyLOGICAL_CLASS, dimsOf(shape));
  for (size_t i = 0; i < shape->numberOfElements(); ++i) {
    auto element = [&](const zyArray* x, bool isCell) -> const zyArray* {
      if (!isCell) return x;
      return zyGetCellConst(x, x->numberOfElements() == 1 ? 0 : i);
    };
    const zyArray* x = element(a, cellA);
    const zyArray* y = element(b, cellB);
    dataOf<zyLogical>(out.get())[i] = x && y && textsEqual(x, y, ignoreCase, n);
  }
  call.out(0, std::move(out));
}

// ---- strcat -------------------------------------------------------------------------------

Units trimTrailing(Units text) {
  while (!text.empty() && isSpace(text.back())) text.pop_back();
  return text;
}

void strcatBuiltin(Call& call) {
  call.check(1, -1, 1);
  bool anyCell = false;
  Dims shape = {1, 1};
  for (int i = 0; i < call.nargin; ++i) {
    const zyArray* a = call.in(i);
    if (a->classId() == zyCELL_CLASS) {
      if (!isCellOfText(a))
        raise("Q:invalidInput", "strcat: cell arrays must hold character vectors.");
      if (a->numberOfElements() != 1) {
        if (anyCell && countOf(shape) != 1 && dimsOf(a) != shape) {
          raise("Q:sizeMismatch", "strcat: the cell arrays must have the same size.");
        }
        shape = dimsOf(a);
      }
      anyCell = true;
    } else if (a->classId() != zyCHAR_CLASS && !isArithmetic(a)) {
      raise("Q:invalidInput", "strcat: the inputs must be text or cell arrays of text.");
    }
  }
  if (anyCell) {
    // Texts join each element; they keep their trailing blanks.
    std::vector<Units> texts(countOf(shape));
    for (size_t k = 0; k < texts.size(); ++k) {
      for (int i = 0; i < call.nargin; ++i) {
        const zyArray* a = call.in(i);
        if (a->classId() == zyCELL_CLASS) {
          texts[k] += unitsOf(zyGetCellConst(a, a->numberOfElements() == 1 ? 0 : k));
        } else {
          ArrayPtr asChar = convertClass(a, zyCHAR_CLASS);
          texts[k] += unitsOf(asChar.get());
        }
      }
    }
    return call.out(0, cellOfTexts(shape, texts));
  }
  // Char arrays lose their trailing blanks, row by row, and are joined side by side.
  size_t rows = 1;
  bool rowsSet = false;
  std::vector<std::vector<Units>> pieces;
  for (int i = 0; i < call.nargin; ++i) {
    ArrayPtr asChar = convertClass(call.in(i), zyCHAR_CLASS);
    if (asChar->numberOfElements() == 0) continue;
    const size_t m = asChar->dimensions()[0], n = asChar->numberOfElements() / m;
    if (rowsSet && m != rows)
      raise("Q:catDimensions", "strcat: the texts must have the same number of rows.");
    rows = m;
    rowsSet = true;
    std::vector<Units> rowTexts(m);
    const zyChar* units = constData<zyChar>(asChar.get());
    for (size_t r = 0; r < m; ++r) {
      for (size_t j = 0; j < n; ++j) rowTexts[r] += units[r + m * j];
      rowTexts[r] = trimTrailing(rowTexts[r]);
    }
    pieces.push_back(rowTexts);
  }
  std::vector<Units> joined(rows);
  for (const auto& piece : pieces) {
    for (size_t r = 0; r < rows; ++r) joined[r] += piece[r];
  }
  if (rows == 1) return call.out(0, text(joined[0]));
  size_t width = 0;
  for (const Units& row : joined) width = std::max(width, row.size());
  ArrayPtr out = checked(zyCreateCharMatrix(rows, width));
  for (size_t r = 0; r < rows; ++r) {
    for (size_t j = 0; j < width; ++j) {
      dataOf<zyChar>(out.get())[r + rows * j] = j < joined[r].size() ? joined[r][j] : u' ';
    }
  }
  call.out(0, std::move(out));
}

// ---- strfind, strrep ------------------------------------------------------------------------

void strfindBuiltin(Call& call) {
  call.check(2, 2, 1);
  const Units pattern = unitsArgument(call.in(1), "strfind");
  auto find = [&](const zyArray* s) {
    const Units haystack = unitsArgument(s, "strfind");
    std::vector<double> starts;
    if (!pattern.empty()) {
      for (size_t at = haystack.find(pattern); at != Units::npos;
           at = haystack.find(pattern, at + 1)) {
        starts.push_back(static_cast<double>(at + 1));
      }
    }
    return rowVector(starts);
  };
  call.out(0, mapText(call.in(0), "strfind", find));
}

void strrepBuiltin(Call& call) {
  call.check(3, 3, 1);
  const Units from = unitsArgument(call.in(1), "strrep");
  const Units to = unitsArgument(call.in(2), "strrep");
  auto replace = [&](const zyArray* s) {
    const Units source = unitsArgument(s, "strrep");
    if (from.empty()) return text(source);
    Units out;
    size_t position = 0;
    for (size_t at = source.find(from); at != Units::npos; at = source.find(from, position)) {
      out.append(source, position, at - position);
      out += to;
      position = at + from.size();
    }
    out.append(source, position, Units::npos);
    return text(out);
  };
  call.out(0, mapText(call.in(0), "strrep", replace));
}

// ---- strsplit, strjoin --------------------------------------------------------------------

void strsplitBuiltin(Call& call) {
  call.check(1, 4, 1);
  const Units source = unitsArgument(call.in(0), "strsplit");
  std::vector<Units> delimiters = {u" ", u"\f", u"\n", u"\r", u"\t", u"\v"};
  bool collapse = true;
  int next = 1;
  if (call.nargin >= 2 && !(call.nargin % 2 == 1 && call.in(1)->classId() == zyCHAR_CLASS &&
                            lower(textArgument(call.in(1), "strsplit")) == "collapsedelimiters")) {
    delimiters.clear();
    const zyArray* d = call.in(1);
    if (d->classId() == zyCELL_CLASS) {
      if (!isCellOfText(d)) raise("Q:invalidInput", "strsplit: delimiters must be text.");
      for (size_t i = 0; i < d->numberOfElements(); ++i) {
        delimiters.push_back(translateEscapes(unitsOf(zyGetCellConst(d, i))));
      }
    } else {
      delimiters.push_back(translateEscapes(unitsArgument(d, "strsplit")));
    }
    next = 2;
  }
  for (; next < call.nargin; next += 2) {
    const std::string option = lower(textArgument(call.in(next), "strsplit"));
    if (option != "collapsedelimiters" || next + 1 >= call.nargin) {
      raise("Q:invalidInput", "strsplit: the only option is 'CollapseDelimiters', true or false.");
    }
    collapse = scalarArgument(call.in(next + 1), "strsplit", "CollapseDelimiters") != 0;
  }
  delimiters.erase(std::remove(delimiters.begin(), delimiters.end(), Units()), delimiters.end());
  // The longest delimiter that matches wins.
  std::stable_sort(delimiters.begin(), delimiters.end(),
                   [](const Units& a, const Units& b) { return a.size() > b.size(); });
  std::vector<Units> parts(1);
  bool previousWasDelimiter = false;
  for (size_t i = 0; i < source.size();) {
    size_t matched = 0;
    for (const Units& d : delimiters) {
      if (source.compare(i, d.size(), d) == 0) {
        matched = d.size();
        break;
      }
    }
    if (matched) {
      if (!(collapse && previousWasDelimiter)) parts.emplace_back();
      previousWasDelimiter = true;
      i += matched;
    } else {
      parts.back() += source[i++];
      previousWasDelimiter = false;
    }
  }
  call.out(0, cellOfTexts({1, parts.size()}, parts));
}

void strjoinBuiltin(Call& call) {
  call.check(1, 2, 1);
  const zyArray* c = call.in(0);
  if (!isCellOfText(c) || (c->numberOfElements() > 0 && !isRowVector(c))) {
    raise("Q:invalidInput", "strjoin: the input must be a 1-by-N cell array of character vectors.");
  }
  const size_t n = c->numberOfElements();
  std::vector<Units> separators(n > 0 ? n - 1 : 0, u" ");
  if (call.nargin == 2) {
    const zyArray* d = call.in(1);
    if (d->classId() == zyCELL_CLASS) {
      if (!isCellOfText(d) || d->numberOfElements() + 1 != std::max<size_t>(n, 1)) {
        raise("Q:invalidInput", "strjoin: a cell of delimiters needs one fewer than the texts.");
      }
      for (size_t i = 0; i + 1 < n; ++i) separators[i] = unitsOf(zyGetCellConst(d, i));
    } else {
      const Units separator = translateEscapes(unitsArgument(d, "strjoin"));
      std::fill(separators.begin(), separators.end(), separator);
    }
  }
  Units out;
  for (size_t i = 0; i < n; ++i) {
    if (i) out += separators[i - 1];
    out += unitsOf(zyGetCellConst(c, i));
  }
  call.out(0, text(out));
}

// ---- strtrim, upper, lower ----------------------------------------------------------------

ArrayPtr trimmed(const zyArray* a) {
  if (a->classId() != zyCHAR_CLASS) {
    raise("Q:invalidInput", "strtrim: the input must be text or a cell array of text.");
  }
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "strtrim: the input must be 2-D.");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const zyChar* units = constData<zyChar>(a);
  auto blankColumn = [&](size_t j) {
    for (size_t i = 0; i < m; ++i) {
      if (!isSpace(units[i + m * j])) return false;
    }
    return true;
  };
  size_t first = 0, last = n;
  while (first < n && blankColumn(first)) ++first;
  while (last > first && blankColumn(last - 1)) --last;
  if (first == 0 && last == n) return checked(zyCreateSharedDataCopy(a));
  std::vector<size_t> indices;
  for (size_t j = first; j < last; ++j) {
    for (size_t i = 0; i < m; ++i) indices.push_back(i + m * j);
  }
  if (m == 1 && indices.empty()) return text(Units());
  return gather(a, {m, last - first}, indices);
}

void strtrimBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, mapText(call.in(0), "strtrim", trimmed));
}

template <bool toUpperCase>
void caseBuiltin(Call& call) {
  call.check(1, 1, 1);
  const char* name = toUpperCase ? "upper" : "lower";
  auto convert = [&](const zyArray* a) -> ArrayPtr {
    if (a->classId() != zyCHAR_CLASS) {
      if (isArithmetic(a)) return checked(zyCreateSharedDataCopy(a));
      raise("Q:invalidInput",
            std::string(name) + ": the input must be text or a cell array of text.");
    }
    ArrayPtr out = checked(zyCreateCharArray(a->numberOfDimensions(), a->dimensions()));
    const size_t n = a->numberOfElements();
    for (size_t i = 0; i < n; ++i) {
      const char16_t c = constData<zyChar>(a)[i];
      dataOf<zyChar>(out.get())[i] = toUpperCase ? toUpper(c) : toLower(c);
    }
    return out;
  };
  call.out(0, mapText(call.in(0), name, convert));
}

// ---- isspace, blanks, deblank, strtok, iscellstr -------------------------------------------

void isspaceBuiltin(Call& call) {
  call.check(1, 1, 1);
  const zyArray* a = call.in(0);
  ArrayPtr out = checked(zyCreateLogicalArray(a->numberOfDimensions(), a->dimensions()));
  if (a->classId() == zyCHAR_CLASS) {
    const zyChar* units = constData<zyChar>(a);
    zyLogical* flags = dataOf<zyLogical>(out.get());
    for (size_t i = 0; i < a->numberOfElements(); ++i) flags[i] = isSpace(units[i]) && units[i];
  }
  call.out(0, std::move(out));
}

void blanksBuiltin(Call& call) {
  call.check(1, 1, 1);
  const double n = scalarArgument(call.in(0), "blanks", "the count");
  if (!(n >= 0) || n != std::floor(n) || n > 1e9) {
    raise("Q:invalidInput", "blanks: the count must be a nonnegative whole number.");
  }
  call.out(0, text(Units(static_cast<size_t>(n), u' ')));
}

void deblankBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, mapText(call.in(0), "deblank", [](const zyArray* a) -> ArrayPtr {
    if (a->classId() != zyCHAR_CLASS || a->numberOfDimensions() != 2 ||
        a->dimensions()[0] > 1) {
      raise("Q:invalidInput", "deblank: the input must be a character vector or a cell of them.");
    }
    return text(trimTrailing(unitsOf(a)));
  }));
}

// [token, rest] = strtok(s, delimiters): leading delimiters skipped, the token up to the next
// one, the rest from it on. Delimiters default to white space.
void strtokBuiltin(Call& call) {
  call.check(1, 2, 2);
  const Units s = unitsArgument(call.in(0), "strtok");
  const Units delimiters = call.nargin > 1 ? unitsArgument(call.in(1), "strtok") : Units();
  auto isDelimiter = [&](char16_t c) {
    return call.nargin > 1 ? delimiters.find(c) != Units::npos : isSpace(c);
  };
  size_t start = 0;
  while (start < s.size() && isDelimiter(s[start])) ++start;
  size_t end = start;
  while (end < s.size() && !isDelimiter(s[end])) ++end;
  call.out(0, text(s.substr(start, end - start)));
  if (call.nargout > 1) call.out(1, text(s.substr(end)));
}

void iscellstrBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, logicalScalar(isCellOfText(call.in(0))));
}

// ---- contains, startsWith, endsWith ---------------------------------------------------------

enum class Match { Anywhere, Start, End };

// Whether text has one of the patterns where match says; 'IgnoreCase', true compares
// letters regardless of case.
template <Match match>
void matchBuiltin(Call& call) {
  const char* name = match == Match::Anywhere ? "contains"
                     : match == Match::Start  ? "startsWith"
                                              : "endsWith";
  call.check(2, 4, 1);
  bool ignoreCase = false;
  if (call.nargin == 4) {
    if (lower(textArgument(call.in(2), name)) != "ignorecase") {
      raise("Q:invalidInput", std::string(name) + ": the only option is 'IgnoreCase'.");
    }
    const zyArray* flag = call.in(3);
    if (!isArithmetic(flag) || flag->numberOfElements() != 1) {
      raise("Q:invalidInput", std::string(name) + ": 'IgnoreCase' takes true or false.");
    }
    ignoreCase = DoubleValues(flag)[0] != 0;
  } else if (call.nargin == 3) {
    raise("Q:invalidInput", std::string(name) + ": an option needs a value.");
  }
  auto textsOf = [&](const zyArray* a, const char* what) {
    std::vector<Units> texts;
    if (a->classId() == zyCELL_CLASS && isCellOfText(a)) {
      for (size_t i = 0; i < a->numberOfElements(); ++i) {
        texts.push_back(unitsOf(zyGetCellConst(a, i)));
      }
    } else if (isText(a)) {
      texts.push_back(unitsOf(a));
    } else {
      raise("Q:invalidInput",
            std::string(name) + ": the " + what + " must be text or a cell array of text.");
    }
    if (ignoreCase) {
      for (Units& t : texts) t = lowered(t);
    }
    return texts;
  };
  const zyArray* subject = call.in(0);
  const std::vector<Units> texts = textsOf(subject, "text");
  const std::vector<Units> patterns = textsOf(call.in(1), "pattern");
  auto found = [&](const Units& t) {
    for (const Units& p : patterns) {
      if (p.size() > t.size()) continue;
      if (match == Match::Anywhere ? t.find(p) != Units::npos
          : match == Match::Start  ? t.compare(0, p.size(), p) == 0
                                   : t.compare(t.size() - p.size(), p.size(), p) == 0) {
        return true;
      }
    }
    return false;
  };
  if (subject->classId() != zyCELL_CLASS) return call.out(0, logicalScalar(found(texts[0])));
  ArrayPtr out =
      checked(zyCreateLogicalArray(subject->numberOfDimensions(), subject->dimensions()));
  for (size_t i = 0; i < texts.size(); ++i) dataOf<zyLogical>(out.get())[i] = found(texts[i]);
  call.out(0, std::move(out));
}

}  // namespace

// A cell of the given shape holding the given texts.
ArrayPtr cellOfTexts(const Dims& dims, const std::vector<Units>& texts) {
  ArrayPtr out = checked(zyCreateCellArray(dims.size(), dims.data()));
  for (size_t i = 0; i < texts.size(); ++i) {
    zyArray* element = text(texts[i]).release();
    if (zySetCell(out.get(), i, element) != 0) {
      zyDestroyArray(element);
      outOfMemory();
    }
  }
  return out;
}

void addTextBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"blanks", builtin<blanksBuiltin>});
  table.push_back({"contains", builtin<matchBuiltin<Match::Anywhere>>});
  table.push_back({"deblank", builtin<deblankBuiltin>});
  table.push_back({"endsWith", builtin<matchBuiltin<Match::End>>});
  table.push_back({"iscellstr", builtin<iscellstrBuiltin>});
  table.push_back({"isspace", builtin<isspaceBuiltin>});
  table.push_back({"startsWith", builtin<matchBuiltin<Match::Start>>});
  table.push_back({"strtok", builtin<strtokBuiltin>});
  table.push_back({"lower", builtin<caseBuiltin<false>>});
  table.push_back({"strcat", builtin<strcatBuiltin>});
  table.push_back({"strcmp", builtin<compareBuiltin<false, false>>});
  table.push_back({"strcmpi", builtin<compareBuiltin<true, false>>});
  table.push_back({"strfind", builtin<strfindBuiltin>});
  table.push_back({"strjoin", builtin<strjoinBuiltin>});
  table.push_back({"strncmp", builtin<compareBuiltin<false, true>>});
  table.push_back({"strncmpi", builtin<compareBuiltin<true, true>>});
  table.push_back({"strrep", builtin<strrepBuiltin>});
  table.push_back({"strsplit", builtin<strsplitBuiltin>});
  table.push_back({"strtrim", builtin<strtrimBuiltin>});
  table.push_back({"upper", builtin<caseBuiltin<true>>});
}

}  // namespace q::ops::detail
