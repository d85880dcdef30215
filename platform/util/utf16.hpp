#pragma once
// Text in 16-bit characters (UTF-16, surrogate pairs for characters beyond U+FFFF) and its
// conversion to and from the local code page, which is UTF-8 on this platform.
//
// The two conversions share one length protocol: on entry *length is the capacity of the output
// (16-bit characters or bytes), on return it is what the whole text needs. Only whole characters
// that fit are written (a surrogate pair or a multi-byte sequence is never cut), no terminator is
// added, and the number of units written is returned. A null output, or a capacity of 0, only
// measures. Malformed input (an unpaired surrogate, an invalid UTF-8 sequence) becomes U+FFFD,
// and nothing outside the given input range is read. A null length pointer makes the call do
// nothing and return 0; a null text is taken as empty.

#include <cstddef>

#include "util/export.hpp"

extern "C" {

// count 16-bit characters of text to UTF-8 in out; *length in bytes (see above).
RTKUTIL_EXPORT size_t utf16_to_lcp_n(char* out, size_t* length, const char16_t* text, size_t count);
// byteLength bytes of UTF-8 text to 16-bit characters in out; *length in 16-bit characters.
RTKUTIL_EXPORT size_t lcp_to_utf16_n(char16_t* out, size_t* length, const char* text,
                                     size_t byteLength);

// The number of 16-bit characters before the terminating zero; 0 for null.
RTKUTIL_EXPORT size_t utf16_strlen(const char16_t* text);
// Copies at most count characters of source into destination; when source is shorter the rest
// of the count is filled with zeros, when it is not, destination is not terminated (the strncpy
// contract). Returns destination. A null source copies nothing but still fills with zeros.
RTKUTIL_EXPORT char16_t* utf16_strncpy(char16_t* destination, const char16_t* source, size_t count);
// A terminated copy of text allocated with utMalloc; the caller frees it with utFree. Null for a
// null text or when memory is exhausted.
RTKUTIL_EXPORT char16_t* utf16_strdup(const char16_t* text);

}  // extern "C"
