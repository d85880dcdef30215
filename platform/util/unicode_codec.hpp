#pragma once
// Internal: the code-point level of the text conversions shared by the UTF-16 helpers and the
// wide-string conversions. Not exported. Every decoder reads only inside the range it is given
// and turns malformed input into U+FFFD, so no conversion can fail or run past its input.

#include <cstddef>
#include <cstdint>

namespace rtkutil::unicode {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;

inline bool isSurrogate(char32_t value) { return value >= 0xD800 && value <= 0xDFFF; }
inline bool isHighSurrogate(char32_t value) { return value >= 0xD800 && value <= 0xDBFF; }
inline bool isLowSurrogate(char32_t value) { return value >= 0xDC00 && value <= 0xDFFF; }

// A value that may be stored as a character: in range and not a surrogate; anything else
// becomes U+FFFD.
inline char32_t scalarOrReplacement(uint32_t value) {
  return value > kLastCodePoint || isSurrogate(value) ? kReplacementCharacter : value;
}

// Decodes the UTF-8 character at text[position] (position < length) and advances position past
// it. A malformed sequence yields U+FFFD and advances past its longest valid prefix (at least one
// byte), the replacement practice Unicode recommends: overlong forms, encoded surrogates, values
// beyond U+10FFFF, stray continuation bytes and sequences cut short all count as malformed.
char32_t decodeUtf8(const char* text, size_t length, size_t& position);

// Writes the UTF-8 form of a scalar value (see scalarOrReplacement) into out; returns 1 to 4.
size_t encodeUtf8(char32_t value, char out[4]);

// Decodes the UTF-16 character at text[position] (position < count) and advances position: a
// surrogate pair gives one supplementary character, an unpaired surrogate gives U+FFFD and
// advances by one unit.
char32_t decodeUtf16(const char16_t* text, size_t count, size_t& position);

// Writes the UTF-16 form of a scalar value into out; returns 1 or 2.
size_t encodeUtf16(char32_t value, char16_t out[2]);

}  // namespace rtkutil::unicode
