#pragma once
// The interface of libqregex.so, the regular expression engine behind regexp and regexprep:
// Boost.Regex with its Perl syntax, in a library of its own because Boost.Regex brings ICU, which
// costs every process that loads it about 0.8 ms at start. The engine opens it when the first
// pattern is compiled (regex_library.cpp, docs/lazy-loading.md) and resolves these functions by
// name. C functions (declared for C++: the units are char16_t), and no exception crosses them:
// what the regex engine throws comes back as a result code, with its text passed to a report
// function.
//
// Patterns and subjects are UTF-16 code units, each matched as one character (one wchar_t), so
// positions and lengths count code units.

#include <cstddef>

#define QREGEX_EXPORT __attribute__((visibility("default")))

// What qregexInterfaceVersion returns; the engine refuses a library that reports another.
#define QREGEX_INTERFACE_VERSION 1

// Flags of qregexCompile, over Boost's Perl syntax.
#define QREGEX_IGNORE_CASE 1u   // boost::regex::icase
#define QREGEX_LINE_ANCHORS 2u  // ^ and $ at line breaks too (otherwise boost::regex::no_mod_m)
#define QREGEX_DOT_ALL 4u       // . matches a line break too (otherwise boost::regex::no_mod_s)
#define QREGEX_FREE_SPACING 8u  // boost::regex::mod_x

// Results.
#define QREGEX_OK 0
#define QREGEX_INVALID 1    // a std::runtime_error (boost::regex_error among them); text reported
#define QREGEX_NO_MEMORY 2  // std::bad_alloc or std::length_error
#define QREGEX_STOPPED 3    // the match function returned non-zero
#define QREGEX_FAILED 4     // any other exception; its text reported

// The length of a token that took no part in a match (its start is 0).
#define QREGEX_UNMATCHED ((size_t)-1)

extern "C" {

typedef struct qregexPattern qregexPattern;

// Receives the text of a failure (QREGEX_INVALID, QREGEX_FAILED).
typedef void qregexReportFunction(void* context, const char* text);

// Receives one match: extents holds start and length of the whole match, then of each of its
// `tokens` numbered groups, then of each named group given to qregexCompile (in that order).
// Returns 0 to go on.
typedef int qregexMatchFunction(void* context, const size_t* extents, size_t tokens);

QREGEX_EXPORT int qregexInterfaceVersion(void);

// Compiles the pattern of `length` units with the flags into *compiled, which the caller owns
// until it passes it to qregexRelease; null unless the result is QREGEX_OK. names are the group
// names (NUL-terminated ASCII) whose extents qregexFind reports. A compiled pattern is only read
// by the other functions: threads may use one at once.
QREGEX_EXPORT int qregexCompile(const char16_t* pattern, size_t length, unsigned flags,
                                const char* const* names, size_t nameCount,
                                qregexPattern** compiled, qregexReportFunction* report,
                                void* context);

// The number of numbered groups of the pattern.
QREGEX_EXPORT size_t qregexGroupCount(const qregexPattern* pattern);

// Passes each match of the pattern in the subject, left to right, to onMatch; the first only when
// once is non-zero.
QREGEX_EXPORT int qregexFind(const qregexPattern* pattern, const char16_t* subject, size_t length,
                             int once, qregexMatchFunction* onMatch, qregexReportFunction* report,
                             void* context);

QREGEX_EXPORT void qregexRelease(qregexPattern* pattern);

}  // extern "C"
