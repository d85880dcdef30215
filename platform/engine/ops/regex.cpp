// regexp and regexprep on Boost.Regex with its Perl syntax (see docs/regex.md). Each UTF-16
// code unit of a char array becomes one wchar_t, so match positions are char-array indices. The
// pattern is translated a little before it is compiled: \< and \> become lookaround word
// anchors, and the names of named tokens are noted. Boost.Regex itself is in libqregex.so, which
// is opened when the first pattern is compiled (regex_library.hpp, docs/lazy-loading.md).

#include <algorithm>

#include "engine/ops/format.hpp"
#include "engine/ops/regex_library.hpp"
#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

using Units = std::u16string;

struct Pattern {
  RegexHandle regex;
  size_t groups = 0;
  std::vector<std::string> names;  // UTF-8 (ASCII) names of the named groups
};

// Options shared by regexp and regexprep that change how the pattern is compiled.
struct PatternOptions {
  bool ignoreCase = false;
  bool lineAnchors = false;  // ^ and $ also at line breaks
  bool dotAll = false;       // . also matches a line break
  bool freeSpacing = false;  // blanks and # comments in the pattern are ignored
};

bool patternOption(const std::string& option, PatternOptions& options) {
  if (option == "ignorecase" || option == "matchcase") {
    options.ignoreCase = option == "ignorecase";
  } else if (option == "lineanchors" || option == "stringanchors") {
    options.lineAnchors = option == "lineanchors";
  } else if (option == "dotall" || option == "dotexceptnewline") {
    options.dotAll = option == "dotall";
  } else if (option == "freespacing" || option == "literalspacing") {
    options.freeSpacing = option == "freespacing";
  } else {
    return false;
  }
  return true;
}

bool isNameCharacter(char16_t c, bool first) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' ||
         (!first && c >= u'0' && c <= u'9');
}

// The name of a named group opening at source[i] ("(?<name>" or "(?'name'"), or empty.
Units groupNameAt(const Units& source, size_t i) {
  const size_t at = i + 2;
  if (at >= source.size() || (source[at] != u'<' && source[at] != u'\'')) return Units();
  const char16_t close = source[at] == u'<' ? u'>' : u'\'';
  size_t end = at + 1;
  if (end >= source.size() || !isNameCharacter(source[end], true)) return Units();
  while (end < source.size() && isNameCharacter(source[end], false)) ++end;
  if (end >= source.size() || source[end] != close) return Units();
  return source.substr(at + 1, end - at - 1);
}

// The pattern as Boost reads it: \< and \> outside character classes become \b(?=\w) and
// \b(?<=\w); inside a class they are the characters < and >.
Units translate(const Units& source, Pattern& pattern) {
  Units out;
  out.reserve(source.size() + 16);
  bool inClass = false;
  for (size_t i = 0; i < source.size(); ++i) {
    const char16_t c = source[i];
    if (c == u'\\' && i + 1 < source.size()) {
      const char16_t next = source[++i];
      if (next == u'Q') {
        // \Q...\E quotes everything up to \E.
        const size_t end = source.find(u"\\E", i + 1);
        const size_t stop = end == Units::npos ? source.size() : end + 2;
        out.append(source, i - 1, stop - (i - 1));
        i = stop - 1;
      } else if (next == u'<' || next == u'>') {
        if (inClass) {
          out += next;
        } else {
          out += next == u'<' ? u"\\b(?=\\w)" : u"\\b(?<=\\w)";
        }
      } else {
        out += c;
        out += next;
      }
      continue;
    }
    if (inClass) {
      if (c == u'[' && i + 1 < source.size() &&
          (source[i + 1] == u':' || source[i + 1] == u'.' || source[i + 1] == u'=')) {
        // [:alpha:], [.a.], [=a=] inside a class: their ']' does not close it.
        const Units close = {source[i + 1], u']'};
        const size_t end = source.find(close, i + 2);
        if (end != Units::npos) {
          out.append(source, i, end + 2 - i);
          i = end + 1;
          continue;
        }
      }
      if (c == u']') inClass = false;
      out += c;
      continue;
    }
    if (c == u'[') {
      inClass = true;
      out += c;
      if (i + 1 < source.size() && source[i + 1] == u'^') out += source[++i];
      if (i + 1 < source.size() && source[i + 1] == u']') out += source[++i];
      continue;
    }
    if (c == u'(' && i + 1 < source.size() && source[i + 1] == u'?') {
      const Units name = groupNameAt(source, i);
      if (!name.empty()) pattern.names.push_back(utf8(name));
    }
    out += c;
  }
  return out;
}

Pattern compile(const Units& source, const PatternOptions& options, const char* function) {
  Pattern pattern;
  const Units translated = translate(source, pattern);
  unsigned flags = 0;
  if (options.ignoreCase) flags |= QREGEX_IGNORE_CASE;
  if (options.lineAnchors) flags |= QREGEX_LINE_ANCHORS;
  if (options.dotAll) flags |= QREGEX_DOT_ALL;
  if (options.freeSpacing) flags |= QREGEX_FREE_SPACING;
  std::string failure;
  pattern.regex = compileRegex(translated, flags, pattern.names, failure);
  if (!pattern.regex) {
    raise("Q:invalidPattern",
          std::string(function) + ": the pattern is not valid (" + failure + ").");
  }
  pattern.groups = regexGroupCount(pattern.regex.get());
  return pattern;
}

constexpr size_t kUnmatched = QREGEX_UNMATCHED;

// start, length; length kUnmatched: the group took no part.
using Match = RegexMatch;

// Runs the regex engine; its memory and complexity limits surface as a Q error.
std::vector<Match> findMatches(const Pattern& pattern, const Units& subject, bool once,
                               const char* function) {
  std::vector<Match> matches;
  std::string failure;
  if (!findRegexMatches(pattern.regex.get(), pattern.names.size(), subject, once, matches,
                        failure)) {
    raise("Q:invalidPattern",
          std::string(function) + ": the pattern could not be matched (" + failure + ").");
  }
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
  return length == kUnmatched ? Units() : subject.substr(start, length);
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
    const bool matched = tokens[t].second != kUnmatched;
    data[t] = matched ? static_cast<double>(tokens[t].first + 1) : 0;
    data[t + tokens.size()] =
        matched ? static_cast<double>(tokens[t].first + tokens[t].second) : -1;
  }
  return out;
}

ArrayPtr namesOf(const Pattern& pattern, const std::vector<Match>& matches, const Units& subject,
                 bool once) {
  std::vector<const char*> fields;
  for (const auto& name : pattern.names) fields.push_back(name.c_str());
  const size_t count = once ? std::min<size_t>(matches.size(), 1) : matches.size();
  const Dims dims =
      once ? Dims{count == 0 ? 0u : 1u, count == 0 ? 0u : 1u} : Dims{count == 0 ? 0u : 1u, count};
  ArrayPtr out = checked(zyCreateStructArray(dims.size(), dims.data(),
                                             static_cast<int>(fields.size()), fields.data()));
  for (size_t k = 0; k < count; ++k) {
    for (size_t f = 0; f < pattern.names.size(); ++f) {
      const auto& token = matches[k].named[f];
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

// regexp, and regexpi (ignoreCase: letters match regardless of case unless 'matchcase' says).
template <bool ignoreCase>
void regexpBuiltin(Call& call) {
  call.check(2, -1, 7);
  const Units expression = unitsArgument(call.in(1), "regexp");
  bool once = false;
  PatternOptions patternOptions;
  patternOptions.ignoreCase = ignoreCase;
  std::vector<Output> order;
  for (int i = 2; i < call.nargin; ++i) {
    const std::string option = lower(textArgument(call.in(i), "regexp"));
    Output output;
    if (option == "once") {
      once = true;
    } else if (patternOption(option, patternOptions)) {
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
  const Pattern pattern = compile(expression, patternOptions, "regexp");
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
      const std::vector<Match> matches = findMatches(pattern, subject, once, "regexp");
      for (int o = 0; o < wanted; ++o) {
        setCell(call.outputs[o].get(), i, regexpOutput(order[o], pattern, matches, subject, once));
      }
    }
    return;
  }
  const Units subject = unitsArgument(subjects, "regexp");
  const std::vector<Match> matches = findMatches(pattern, subject, once, "regexp");
  for (int o = 0; o < wanted; ++o) {
    call.out(o, regexpOutput(order[o], pattern, matches, subject, once));
  }
}

// The replacement text for one match: $0 is the match, $N token N, and the escapes of formats
// (\n, \t, \\, \$) are translated.
Units replacementFor(const Units& replacement, const Pattern& pattern, const Match& match,
                     const Units& subject) {
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
      if (j == i + 1) {
        // A digit naming no token: $N stands for nothing.
        i = j;
        continue;
      }
      if (group == 0) {
        out += subject.substr(match.start, match.length);
      } else {
        out += slice(subject, match.tokens[group - 1].first, match.tokens[group - 1].second);
      }
      i = j - 1;
      continue;
    }
    if (c == u'$' && i + 1 < replacement.size() && replacement[i + 1] == u'<') {
      // $<name>: the named token, nothing for a name the pattern does not have.
      const size_t close = replacement.find(u'>', i + 2);
      if (close != Units::npos) {
        const std::string name = utf8(replacement.substr(i + 2, close - i - 2));
        for (size_t n = 0; n < pattern.names.size(); ++n) {
          if (pattern.names[n] != name) continue;
          out += slice(subject, match.named[n].first, match.named[n].second);
          break;
        }
        i = close;
        continue;
      }
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

// The texts of a text or of a cell of texts, in order.
std::vector<Units> textsArgument(const zyArray* a, const char* what) {
  std::vector<Units> texts;
  if (a->classId() == zyCELL_CLASS) {
    if (!isCellOfText(a)) {
      raise("Q:invalidInput",
            std::string("regexprep: ") + what + " must be text or a cell of texts.");
    }
    for (size_t i = 0; i < a->numberOfElements(); ++i) {
      texts.push_back(unitsArgument(zyGetCellConst(a, i), "regexprep"));
    }
  } else {
    texts.push_back(unitsArgument(a, "regexprep"));
  }
  return texts;
}

// regexprep(str, expression, replacement, options...): expression may be a cell of patterns,
// applied one after the other to the result of the previous one, each with the replacement of
// the same position in a cell of as many replacements, or with the one replacement given.
void regexprepBuiltin(Call& call) {
  call.check(3, -1, 1);
  const std::vector<Units> expressions = textsArgument(call.in(1), "the expression");
  const std::vector<Units> replacements = textsArgument(call.in(2), "the replacement");
  if (replacements.size() != 1 && replacements.size() != expressions.size()) {
    raise("Q:invalidInput",
          "regexprep: give one replacement, or one for each expression of the cell.");
  }
  bool once = false;
  PatternOptions patternOptions;
  for (int i = 3; i < call.nargin; ++i) {
    const std::string option = lower(textArgument(call.in(i), "regexprep"));
    if (option == "once") {
      once = true;
    } else if (!patternOption(option, patternOptions)) {
      raise("Q:invalidInput", "regexprep: '" + option + "' is not an option it knows.");
    }
  }
  std::vector<Pattern> patterns;
  for (const Units& expression : expressions) {
    patterns.push_back(compile(expression, patternOptions, "regexprep"));
  }
  auto replaceIn = [&](const zyArray* s) {
    Units subject = unitsArgument(s, "regexprep");
    for (size_t p = 0; p < patterns.size(); ++p) {
      const Units& replacement = replacements[replacements.size() == 1 ? 0 : p];
      const std::vector<Match> matches = findMatches(patterns[p], subject, once, "regexprep");
      Units out;
      size_t position = 0;
      for (const Match& match : matches) {
        out.append(subject, position, match.start - position);
        out += replacementFor(replacement, patterns[p], match, subject);
        position = match.start + match.length;
      }
      out.append(subject, position, Units::npos);
      subject = std::move(out);
    }
    return text(subject);
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
  table.push_back({"regexp", builtin<regexpBuiltin<false>>});
  table.push_back({"regexpi", builtin<regexpBuiltin<true>>});
  table.push_back({"regexprep", builtin<regexprepBuiltin>});
}

}  // namespace q::ops::detail
