#pragma once
// Conversions between narrow text in the local code page (UTF-8 on this platform) and wide
// text: std::wstring holds one code point per element (wchar_t is 32 bits here), std::u16string
// holds UTF-16. Malformed input never fails a conversion: an invalid UTF-8 sequence, an unpaired
// surrogate or a wide value outside Unicode becomes U+FFFD.

#include <string>

#include "util/export.hpp"

namespace fl::i18n {

RTKUTIL_EXPORT std::string to_string(const std::wstring& text);
RTKUTIL_EXPORT std::string to_string(const std::u16string& text);

// A null text gives an empty string.
RTKUTIL_EXPORT std::wstring to_ustring(const char* text);
// The whole string, embedded zero bytes included.
RTKUTIL_EXPORT std::wstring to_ustring(const std::string& text);

RTKUTIL_EXPORT std::u16string to_u16string(const char* text);
RTKUTIL_EXPORT std::u16string to_u16string(const std::string& text);

}  // namespace fl::i18n
