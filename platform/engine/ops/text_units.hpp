#pragma once
// Characters of text as the engine holds it, UTF-16 code units: the blanks and case rules the
// text built-ins share (text.cpp, text_extra.cpp).

#include <string>

namespace q::ops::detail {

using Units = std::u16string;

inline bool isSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' ||
         c == u'\0';
}

// Letters of ASCII and Latin-1 change case; everything else stays.
inline char16_t toUpper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  return c;
}
inline char16_t toLower(char16_t c) {
  if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  return c;
}

inline Units lowered(Units units) {
  for (char16_t& c : units) c = toLower(c);
  return units;
}

}  // namespace q::ops::detail
