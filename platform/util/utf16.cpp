#include "util/utf16.hpp"

#include <cstring>

#include "util/memory.hpp"
#include "util/unicode_codec.hpp"

using namespace rtkutil::unicode;

extern "C" {

size_t utf16_to_lcp_n(char* out, size_t* length, const char16_t* text, size_t count) {
  if (!length) return 0;
  const size_t capacity = out ? *length : 0;
  if (!text) count = 0;
  size_t needed = 0;
  size_t written = 0;
  bool full = false;  // once one character did not fit, later smaller ones must not be written
  for (size_t position = 0; position < count;) {
    char encoded[4];
    const size_t size = encodeUtf8(decodeUtf16(text, count, position), encoded);
    if (!full && written + size <= capacity) {
      std::memcpy(out + written, encoded, size);
      written += size;
    } else {
      full = true;
    }
    needed += size;
  }
  *length = needed;
  return written;
}

size_t lcp_to_utf16_n(char16_t* out, size_t* length, const char* text, size_t byteLength) {
  if (!length) return 0;
  const size_t capacity = out ? *length : 0;
  if (!text) byteLength = 0;
  size_t needed = 0;
  size_t written = 0;
  bool full = false;
  for (size_t position = 0; position < byteLength;) {
    char16_t encoded[2];
    const size_t size = encodeUtf16(decodeUtf8(text, byteLength, position), encoded);
    if (!full && written + size <= capacity) {
      for (size_t i = 0; i < size; ++i) out[written++] = encoded[i];
    } else {
      full = true;
    }
    needed += size;
  }
  *length = needed;
  return written;
}

size_t utf16_strlen(const char16_t* text) {
  if (!text) return 0;
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

char16_t* utf16_strncpy(char16_t* destination, const char16_t* source, size_t count) {
  size_t copied = 0;
  if (source) {
    for (; copied < count && source[copied] != 0; ++copied) destination[copied] = source[copied];
  }
  for (; copied < count; ++copied) destination[copied] = 0;
  return destination;
}

char16_t* utf16_strdup(const char16_t* text) {
  if (!text) return nullptr;
  const size_t units = utf16_strlen(text) + 1;
  auto* copy = static_cast<char16_t*>(utMalloc(units * sizeof(char16_t)));
  if (copy) std::memcpy(copy, text, units * sizeof(char16_t));
  return copy;
}

}  // extern "C"
