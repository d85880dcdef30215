#include "util/unicode_codec.hpp"

namespace rtkutil::unicode {

char32_t decodeUtf8(const char* text, size_t length, size_t& position) {
  const auto byteAt = [&](size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned char lead = byteAt(position);
  if (lead < 0x80) {
    ++position;
    return lead;
  }
  // The lead byte fixes the length and the range the second byte may take; the narrow ranges
  // after E0, ED, F0 and F4 are what excludes overlong forms, surrogates and values past
  // U+10FFFF without decoding them first.
  size_t sequenceLength = 0;
  char32_t value = 0;
  unsigned char secondLow = 0x80, secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    sequenceLength = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    sequenceLength = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    sequenceLength = 4;
    value = lead & 0x07;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    ++position;  // a continuation byte without a lead, C0, C1 or F5..FF
    return kReplacementCharacter;
  }
  size_t consumed = 1;
  while (consumed < sequenceLength) {
    if (position + consumed >= length) break;
    const unsigned char next = byteAt(position + consumed);
    const unsigned char low = consumed == 1 ? secondLow : 0x80;
    const unsigned char high = consumed == 1 ? secondHigh : 0xBF;
    if (next < low || next > high) break;
    value = (value << 6) | (next & 0x3F);
    ++consumed;
  }
  position += consumed;
  return consumed == sequenceLength ? value : kReplacementCharacter;
}

size_t encodeUtf8(char32_t value, char out[4]) {
  value = scalarOrReplacement(value);
  if (value < 0x80) {
    out[0] = static_cast<char>(value);
    return 1;
  }
  if (value < 0x800) {
    out[0] = static_cast<char>(0xC0 | (value >> 6));
    out[1] = static_cast<char>(0x80 | (value & 0x3F));
    return 2;
  }
  if (value < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (value >> 12));
    out[1] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (value & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (value >> 18));
  out[1] = static_cast<char>(0x80 | ((value >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((value >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (value & 0x3F));
  return 4;
}

char32_t decodeUtf16(const char16_t* text, size_t count, size_t& position) {
  const char32_t unit = text[position++];
  if (!isSurrogate(unit)) return unit;
  if (isHighSurrogate(unit) && position < count && isLowSurrogate(text[position])) {
    const char32_t low = text[position++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return kReplacementCharacter;
}

size_t encodeUtf16(char32_t value, char16_t out[2]) {
  value = scalarOrReplacement(value);
  if (value < 0x10000) {
    out[0] = static_cast<char16_t>(value);
    return 1;
  }
  value -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (value >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (value & 0x3FF));
  return 2;
}

}  // namespace rtkutil::unicode
