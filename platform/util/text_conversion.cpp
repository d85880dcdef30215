#include "util/text_conversion.hpp"

#include <cstring>

#include "util/unicode_codec.hpp"

static_assert(sizeof(wchar_t) == 4, "wide strings are expected to hold whole code points");

namespace fl::i18n {

using namespace rtkutil::unicode;

std::string to_string(const std::wstring& text) {
  std::string result;
  result.reserve(text.size());
  char encoded[4];
  for (wchar_t character : text) {
    result.append(encoded, encodeUtf8(static_cast<char32_t>(character), encoded));
  }
  return result;
}

std::string to_string(const std::u16string& text) {
  std::string result;
  result.reserve(text.size());
  char encoded[4];
  for (size_t position = 0; position < text.size();) {
    result.append(encoded, encodeUtf8(decodeUtf16(text.data(), text.size(), position), encoded));
  }
  return result;
}

namespace {

std::wstring wideFromUtf8(const char* text, size_t length) {
  std::wstring result;
  result.reserve(length);
  for (size_t position = 0; position < length;) {
    result.push_back(static_cast<wchar_t>(decodeUtf8(text, length, position)));
  }
  return result;
}

std::u16string utf16FromUtf8(const char* text, size_t length) {
  std::u16string result;
  result.reserve(length);
  char16_t encoded[2];
  for (size_t position = 0; position < length;) {
    result.append(encoded, encodeUtf16(decodeUtf8(text, length, position), encoded));
  }
  return result;
}

}  // namespace

std::wstring to_ustring(const char* text) {
  return text ? wideFromUtf8(text, std::strlen(text)) : std::wstring();
}

std::wstring to_ustring(const std::string& text) { return wideFromUtf8(text.data(), text.size()); }

std::u16string to_u16string(const char* text) {
  return text ? utf16FromUtf8(text, std::strlen(text)) : std::u16string();
}

std::u16string to_u16string(const std::string& text) {
  return utf16FromUtf8(text.data(), text.size());
}

}  // namespace fl::i18n
