#pragma once
// The engine's side of libqregex.so (regex_engine.hpp), the regular expression engine of regexp
// and regexprep: the library is opened when the first pattern is compiled, not when the engine
// is loaded, so that a process that uses no regular expression loads neither Boost.Regex nor ICU
// (docs/lazy-loading.md).

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/ops/regex_engine.hpp"

namespace q::ops::detail {

// Where the engine opens libqregex.so: the folder of the shared library (or program) that holds
// the engine's operations, when the file is there; otherwise the bare name, which the dynamic
// loader looks for along that object's RUNPATH and the system's folders.
std::string regexLibraryPath();

// Opens the regex library `library` (a path, or a name the dynamic loader searches for) and
// resolves its functions: "" when it is usable, else what failed. The engine loads
// regexLibraryPath() this way once per process, when the first pattern is compiled, and from
// then on raises "Q:regexUnavailable" with that text if it failed. A library once opened stays
// loaded.
std::string probeRegexLibrary(const char* library);

struct RegexReleaser {
  void operator()(qregexPattern* pattern) const;
};
using RegexHandle = std::unique_ptr<qregexPattern, RegexReleaser>;

// Compiles the pattern (UTF-16 units) with the QREGEX_* flags, reporting the extents of the named
// groups `names` (ASCII) in every match. Null with the regex engine's reason in failure when it
// refuses the pattern. Raises "Q:regexUnavailable" when the library cannot be loaded; running
// out of memory throws std::bad_alloc.
RegexHandle compileRegex(const std::u16string& pattern, unsigned flags,
                         const std::vector<std::string>& names, std::string& failure);

size_t regexGroupCount(const qregexPattern* pattern);

// One match: start and length of the whole match, of each numbered group and of each named
// group given to compileRegex (length QREGEX_UNMATCHED, start 0: the group took no part).
struct RegexMatch {
  size_t start = 0, length = 0;
  std::vector<std::pair<size_t, size_t>> tokens;
  std::vector<std::pair<size_t, size_t>> named;
};

// Appends the matches of the pattern, compiled with nameCount names, in the subject, left to
// right (only the first when once). False with the regex engine's reason in failure when it gave
// up (its memory or complexity bounds); running out of memory throws std::bad_alloc.
bool findRegexMatches(const qregexPattern* pattern, size_t nameCount, const std::u16string& subject,
                      bool once, std::vector<RegexMatch>& matches, std::string& failure);

}  // namespace q::ops::detail
