#pragma once
// UTF-8 and UTF-16 text, as char arrays hold it.

#include <cstddef>
#include <string>

#include "zy.h"

namespace zy::detail {

// Bytes that are not part of a valid UTF-8 sequence become U+FFFD each.
std::u16string utf8ToUtf16(const char* text, size_t length);
// Surrogate pairs become one code point; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(const zyChar* text, size_t length);
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace zy::detail
