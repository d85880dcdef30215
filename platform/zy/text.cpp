// Char arrays from and to UTF-8 text.

#include "zy/text.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "zy/core.hpp"

namespace zy::detail {

void appendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::u16string utf8ToUtf16(const char* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    const unsigned char lead = bytes[i];
    size_t extra = 0;
    char32_t codePoint = lead;
    char32_t minimum = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3, codePoint = lead & 0x07, minimum = 0x10000;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0x80) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool valid = i + extra < length || extra == 0;
    for (size_t k = 1; valid && k <= extra; ++k) {
      valid = (bytes[i + k] & 0xC0) == 0x80;
      codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
    }
    valid = valid && codePoint >= minimum && codePoint <= 0x10FFFF &&
            !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (codePoint >> 10));
      out += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    } else {
      out += static_cast<char16_t>(codePoint);
    }
    i += extra + 1;
  }
  return out;
}

std::string utf16ToUtf8(const zyChar* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

namespace {

zyArray* createRow(const std::u16string& text) {
  zyArray* array = text.empty() ? zyCreateCharMatrix(0, 0) : zyCreateCharMatrix(1, text.size());
  if (array && !text.empty()) {
    std::memcpy(Core::storage(array).real, text.data(), text.size() * sizeof(zyChar));
  }
  return array;
}

std::string textOf(const zyArray* array) {
  return utf16ToUtf8(array->elements<zyChar>(), array->numberOfElements());
}

}  // namespace
}  // namespace zy::detail

using zy::detail::guarded;

extern "C" {

zyArray* zyCreateStringFromNChars(const char* text, size_t length) {
  return guarded<zyArray*>(nullptr, [&] {
    return zy::detail::createRow(text ? zy::detail::utf8ToUtf16(text, length) : u"");
  });
}

zyArray* zyCreateString(const char* text) {
  return zyCreateStringFromNChars(text, text ? std::strlen(text) : 0);
}

zyArray* zyCreateCharMatrixFromStrings(size_t m, const char** strings) {
  return guarded<zyArray*>(nullptr, [&]() -> zyArray* {
    std::vector<std::u16string> rows(m);
    size_t columns = 0;
    for (size_t i = 0; i < m; ++i) {
      const char* text = strings ? strings[i] : nullptr;
      if (text) rows[i] = zy::detail::utf8ToUtf16(text, std::strlen(text));
      columns = std::max(columns, rows[i].size());
    }
    zyArray* array = zyCreateCharMatrix(m, columns);
    if (array == nullptr) return nullptr;
    auto* chars = static_cast<zyChar*>(zy::detail::Core::storage(array).real);
    for (size_t row = 0; row < m; ++row) {
      for (size_t column = 0; column < columns; ++column) {
        chars[row + m * column] = column < rows[row].size() ? rows[row][column] : u' ';
      }
    }
    return array;
  });
}

char* zyArrayToString(const zyArray* array) {
  if (!zyIsChar(array)) return nullptr;
  return guarded<char*>(nullptr, [&]() -> char* {
    const std::string text = zy::detail::textOf(array);
    char* copy = static_cast<char*>(zyMalloc(text.size() + 1));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  });
}

int zyGetString(const zyArray* array, char* buffer, size_t length) {
  if (buffer && length > 0) buffer[0] = '\0';
  if (!zyIsChar(array) || buffer == nullptr || length == 0) return 1;
  return guarded(1, [&] {
    const std::string text = zy::detail::textOf(array);
    size_t copied = std::min(text.size(), length - 1);
    // Never cut a UTF-8 sequence in half.
    while (copied < text.size() && copied > 0 && (text[copied] & 0xC0) == 0x80) --copied;
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return copied == text.size() ? 0 : 1;
  });
}

}  // extern "C"
