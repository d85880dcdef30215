// regexp and regexprep on std::wregex (ECMAScript grammar). Each UTF-16 code unit of a char
// array becomes one wchar_t, so match positions are char-array indices. Named tokens
// (?<name>...) are rewritten into plain groups before the pattern is compiled, and their names
// kept by group number.

#include <algorithm>

// GCC 12 reports the std::function inside libstdc++'s regex compiler as maybe uninitialized when
// it inlines it (a known false positive); the warning says nothing about this file.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>

#include "engine/ops/format.hpp"
#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

using Units = std::u16string;

std::wstring wide(const Units& units) { return std::wstring(units.begin(), units.end()); }
[[maybe_unused]] Units narrow(const std::wstring& text) {
  Units out;
  out.reserve(text.size());
  for (wchar_t c : text) out += static_cast<char16_t>(c);
  return out;
}

struct Pattern {
  std::wregex regex;
  size_t groups = 0;
  std::vector<std::pair<std::string, size_t>> names;  // name, group number
};

bool isNameCharacter(char16_t c, bool first) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' ||
         (!first && c >= u'0' && c <= u'9');
}

Pattern compile(const Units& source, bool ignoreCase, const char* function) {
  Pattern pattern;
  Units rewritten;
  bool inClass = false;
  for (size_t i = 0; i < source.size(); ++i) {
    const char16_t c = source[i];
    if (c == u'\\' && i + 1 < source.size()) {
      rewritten += c;
      rewritten += source[++i];
      continue;
    }
    if (inClass) {
      if (c == u']') inClass = false;
      rewritten += c;
      continue;
    }
    if (c == u'[') {
      inClass = true;
      rewritten += c;
      if (i + 1 < source.size() && source[i + 1] == u'^') rewritten += source[++i];
      if (i + 1 < source.size() && source[i + 1] == u']') rewritten += source[++i];
      continue;
    }
    if (c == u'(') {
      if (i + 2 < source.size() && source[i + 1] == u'?' && source[i + 2] == u'<' &&
          i + 3 < source.size() && isNameCharacter(source[i + 3], true)) {
        size_t end = i + 3;
        while (end < source.size() && isNameCharacter(source[end], false)) ++end;
        if (end < source.size() && source[end] == u'>') {
          ++pattern.groups;
          pattern.names.emplace_back(utf8(source.substr(i + 3, end - i - 3)), pattern.groups);
          rewritten += u'(';
          i = end;
          continue;
        }
      }
      if (i + 1 >= source.size() || source[i + 1] != u'?') ++pattern.groups;
    }
    rewritten += c;
  }
  try {
    auto flags = std::regex_constants::ECMAScript;
    if (ignoreCase) flags |= std::regex_constants::icase;
    pattern.regex = std::wregex(wide(rewritten), flags);
  } catch (const std::regex_error& error) {
    raise("Q:invalidPattern",
          std::string(function) + ": the pattern is not valid (" + error.what() + ").");
  }
  return pattern;
}

// Runs the regex engine; its recursion and complexity limits surface as a Q error.
template <typename Body>
void guardedMatch(const char* function, Body&& body) {
  try {
    body();
  } catch (const std::regex_error& error) {
    raise("Q:invalidPattern",
          std::string(function) + ": the pattern could not be matched (" + error.what() + ").");
  }
}

struct Match {
  size_t start = 0, length = 0;
  std::vector<std::pair<size_t, size_t>> tokens;  // start, length; length npos: not matched
};

std::vector<Match> findMatches(const Pattern& pattern, const std::wstring& subject, bool once,
                               const char* function) {
  std::vector<Match> matches;
  guardedMatch(function, [&] {
    for (std::wsregex_iterator it(subject.begin(), subject.end(), pattern.regex), end; it != end;
         ++it) {
      Match match;
      match.start = static_cast<size_t>(it->position(0));
      match.length = static_cast<size_t>(it->length(0));
      for (size_t g = 1; g <= pattern.groups && g < it->size(); ++g) {
        match.tokens.emplace_back(
            static_cast<size_t>(it->position(g)),
            (*it)[g].matched ? static_cast<size_t>(it->length(g)) : std::wstring::npos);
      }
      matches.push_back(std::move(match));
      if (once) break;
    }
  });
  return matches;
}

void setCell(zyArray* cell, size_t index, ArrayPtr value) {
  zyArray* element = value.release();
  if (zySetCell(cell, index, element) != 0) {
    zyDestroyArray(element);
    outOfMemory();
  }
}

Units slice(const Units& subject, size_t start, size_t length) {
  return length == std::wstring::npos ? Units() : subject.substr(start, length);
}

// The tokens of a match; a pattern without groups has the whole match as its one token.
ArrayPtr tokensOf(const Match& match, const Units& subject) {
  if (match.tokens.empty()) {
    ArrayPtr cell = checked(zyCreateCellMatrix(1, 1));
    setCell(cell.get(), 0, text(subject.substr(match.start, match.length)));
    return cell;
  }
  ArrayPtr cell = checked(zyCreateCellMatrix(1, match.tokens.size()));
  for (size_t t = 0; t < match.tokens.size(); ++t) {
    setCell(cell.get(), t, text(slice(subject, match.tokens[t].first, match.tokens[t].second)));
  }
  return cell;
}

ArrayPtr tokenExtentsOf(const Match& match) {
  std::vector<std::pair<size_t, size_t>> tokens = match.tokens;
  if (tokens.empty()) tokens.emplace_back(match.start, match.length);
  ArrayPtr out = createDouble({tokens.size(), 2});
  double* data = dataOf<double>(out.get());
  for (size_t t = 0; t < tokens.size(); ++t) {
    const bool matched = tokens[t].second != std::wstring::npos;
    data[t] = matched ? static_cast<double>(tokens[t].first + 1) : 0;
    data[t + tokens.size()] =
        matched ? static_cast<double>(tokens[t].first + tokens[t].second) : -1;
  }
  return out;
}

ArrayPtr namesOf(const Pattern& pattern, const std::vector<Match>& matches, const Units& subject,
                 bool once) {
  std::vector<const char*> fields;
  for (const auto& name : pattern.names) fields.push_back(name.first.c_str());
  const size_t count = once ? std::min<size_t>(matches.size(), 1) : matches.size();
  const Dims dims =
      once ? Dims{count == 0 ? 0u : 1u, count == 0 ? 0u : 1u} : Dims{count == 0 ? 0u : 1u, count};
  ArrayPtr out = checked(zyCreateStructArray(dims.size(), dims.data(),
                                             static_cast<int>(fields.size()), fields.data()));
  for (size_t k = 0; k < count; ++k) {
    for (size_t f = 0; f < pattern.names.size(); ++f) {
      const auto& token = matches[k].tokens[pattern.names[f].second - 1];
      zyArray* value = text(slice(subject, token.first, token.second)).release();
      if (zySetFieldByNumber(out.get(), k, static_cast<int>(f), value) != 0) {
        zyDestroyArray(value);
        outOfMemory();
      }
    }
  }
  return out;
}

enum class Output { Start, End, TokenExtents, Match, Tokens, Names, Split };

bool outputNamed(const std::string& option, Output& output) {
  static const std::pair<const char*, Output> names[] = {
      {"start", Output::Start}, {"end", Output::End},       {"tokenextents", Output::TokenExtents},
      {"match", Output::Match}, {"tokens", Output::Tokens}, {"names", Output::Names},
      {"split", Output::Split}};
  for (const auto& entry : names) {
    if (option == entry.first) {
      output = entry.second;
      return true;
    }
  }
  return false;
}

ArrayPtr regexpOutput(Output output, const Pattern& pattern, const std::vector<Match>& matches,
                      const Units& subject, bool once) {
  const size_t n = matches.size();
  switch (output) {
    case Output::Start:
    case Output::End: {
      std::vector<double> positions;
      for (const Match& m : matches) {
        positions.push_back(output == Output::Start ? static_cast<double>(m.start + 1)
                                                    : static_cast<double>(m.start + m.length));
      }
      if (once && n == 0) return emptyDouble();
      return once ? scalar(positions[0]) : rowVector(positions);
    }
    case Output::Match: {
      if (once) return text(n ? subject.substr(matches[0].start, matches[0].length) : Units());
      ArrayPtr cell = checked(zyCreateCellMatrix(1, n));
      for (size_t k = 0; k < n; ++k) {
        setCell(cell.get(), k, text(subject.substr(matches[k].start, matches[k].length)));
      }
      return cell;
    }
    case Output::Tokens: {
      if (once) return n ? tokensOf(matches[0], subject) : checked(zyCreateCellMatrix(1, 0));
      ArrayPtr cell = checked(zyCreateCellMatrix(1, n));
      for (size_t k = 0; k < n; ++k) setCell(cell.get(), k, tokensOf(matches[k], subject));
      return cell;
    }
    case Output::TokenExtents: {
      if (once) return n ? tokenExtentsOf(matches[0]) : emptyDouble();
      ArrayPtr cell = checked(zyCreateCellMatrix(1, n));
      for (size_t k = 0; k < n; ++k) setCell(cell.get(), k, tokenExtentsOf(matches[k]));
      return cell;
    }
    case Output::Names:
      return namesOf(pattern, matches, subject, once);
    case Output::Split: {
      ArrayPtr cell = checked(zyCreateCellMatrix(1, n + 1));
      size_t position = 0;
      for (size_t k = 0; k <= n; ++k) {
        const size_t end = k < n ? matches[k].start : subject.size();
        setCell(cell.get(), k, text(subject.substr(position, end - position)));
        if (k < n) position = matches[k].start + matches[k].length;
      }
      return cell;
    }
  }
  return nullptr;
}

void regexpBuiltin(Call& call) {
  call.check(2, -1, 7);
  const Units expression = unitsArgument(call.in(1), "regexp");
  bool once = false, ignoreCase = false;
  std::vector<Output> order;
  for (int i = 2; i < call.nargin; ++i) {
    const std::string option = lower(textArgument(call.in(i), "regexp"));
    Output output;
    if (option == "once") {
      once = true;
    } else if (option == "ignorecase") {
      ignoreCase = true;
    } else if (option == "matchcase") {
      ignoreCase = false;
    } else if (outputNamed(option, output)) {
      order.push_back(output);
    } else {
      raise("Q:invalidInput", "regexp: '" + option + "' is not an option it knows.");
    }
  }
  // Outputs named by options come first, the others follow in their usual order.
  for (Output output : {Output::Start, Output::End, Output::TokenExtents, Output::Match,
                        Output::Tokens, Output::Names, Output::Split}) {
    if (std::find(order.begin(), order.end(), output) == order.end()) order.push_back(output);
  }
  const Pattern pattern = compile(expression, ignoreCase, "regexp");
  const zyArray* subjects = call.in(0);
  const int wanted = call.outputsWanted();
  if (subjects->classId() == zyCELL_CLASS) {
    if (!isCellOfText(subjects)) {
      raise("Q:invalidInput", "regexp: a cell array must hold character vectors.");
    }
    for (int o = 0; o < wanted; ++o) {
      call.out(o,
               checked(zyCreateCellArray(subjects->numberOfDimensions(), subjects->dimensions())));
    }
    for (size_t i = 0; i < subjects->numberOfElements(); ++i) {
      const Units subject = unitsOf(zyGetCellConst(subjects, i));
      const std::vector<Match> matches = findMatches(pattern, wide(subject), once, "regexp");
      for (int o = 0; o < wanted; ++o) {
        setCell(call.outputs[o].get(), i, regexpOutput(order[o], pattern, matches, subject, once));
      }
    }
    return;
  }
  const Units subject = unitsArgument(subjects, "regexp");
  const std::vector<Match> matches = findMatches(pattern, wide(subject), once, "regexp");
  for (int o = 0; o < wanted; ++o) {
    call.out(o, regexpOutput(order[o], pattern, matches, subject, once));
  }
}

// The replacement text for one match: $0 is the match, $N token N, and the escapes of formats
// (\n, \t, \\, \$) are translated.
Units replacementFor(const Units& replacement, const Match& match, const Units& subject) {
  Units out;
  for (size_t i = 0; i < replacement.size(); ++i) {
    const char16_t c = replacement[i];
    if (c == u'$' && i + 1 < replacement.size() && replacement[i + 1] >= u'0' &&
        replacement[i + 1] <= u'9') {
      size_t group = 0;
      size_t j = i + 1;
      while (j < replacement.size() && replacement[j] >= u'0' && replacement[j] <= u'9' &&
             group * 10 + (replacement[j] - u'0') <= match.tokens.size()) {
        group = group * 10 + (replacement[j++] - u'0');
      }
      if (j == i + 1) ++j;  // a digit naming no token: $N stands for nothing
      if (group == 0) {
        out += subject.substr(match.start, match.length);
      } else if (group <= match.tokens.size()) {
        out += slice(subject, match.tokens[group - 1].first, match.tokens[group - 1].second);
      }
      i = j - 1;
      continue;
    }
    if (c == u'\\' && i + 1 < replacement.size()) {
      const char16_t e = replacement[i + 1];
      if (e == u'$' || e == u'\\') {
        out += e;
        ++i;
        continue;
      }
      Units escaped;
      translateEscapes(replacement.substr(i, 2)).swap(escaped);
      out += escaped;
      ++i;
      continue;
    }
    out += c;
  }
  return out;
}

void regexprepBuiltin(Call& call) {
  call.check(3, -1, 1);
  const Units expression = unitsArgument(call.in(1), "regexprep");
  const Units replacement = unitsArgument(call.in(2), "regexprep");
  bool once = false, ignoreCase = false;
  for (int i = 3; i < call.nargin; ++i) {
    const std::string option = lower(textArgument(call.in(i), "regexprep"));
    if (option == "once") {
      once = true;
    } else if (option == "ignorecase") {
      ignoreCase = true;
    } else if (option != "matchcase") {
      raise("Q:invalidInput", "regexprep: '" + option + "' is not an option it knows.");
    }
  }
  const Pattern pattern = compile(expression, ignoreCase, "regexprep");
  auto replaceIn = [&](const zyArray* s) {
    const Units subject = unitsArgument(s, "regexprep");
    const std::vector<Match> matches = findMatches(pattern, wide(subject), once, "regexprep");
    Units out;
    size_t position = 0;
    for (const Match& match : matches) {
      out.append(subject, position, match.start - position);
      out += replacementFor(replacement, match, subject);
      position = match.start + match.length;
    }
    out.append(subject, position, Units::npos);
    return text(out);
  };
  const zyArray* subjects = call.in(0);
  if (subjects->classId() != zyCELL_CLASS) return call.out(0, replaceIn(subjects));
  if (!isCellOfText(subjects)) {
    raise("Q:invalidInput", "regexprep: a cell array must hold character vectors.");
  }
  ArrayPtr out = checked(zyCreateCellArray(subjects->numberOfDimensions(), subjects->dimensions()));
  for (size_t i = 0; i < subjects->numberOfElements(); ++i) {
    setCell(out.get(), i, replaceIn(zyGetCellConst(subjects, i)));
  }
  call.out(0, std::move(out));
}

}  // namespace

void addRegexBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"regexp", builtin<regexpBuiltin>});
  table.push_back({"regexprep", builtin<regexprepBuiltin>});
}

}  // namespace q::ops::detail
