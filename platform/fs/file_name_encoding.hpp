#pragma once
// Internal to the file services: turning a narrow file name into a wide string.

#include <string>

namespace fsdetail {

// Decodes UTF-8. A byte that does not belong to a valid sequence becomes U+DC00 plus the byte
// (U+DC80 to U+DCFF, code points no valid text contains), so any Linux file name survives and
// can be encoded back byte for byte.
std::wstring widenFileName(const std::string& text);

}  // namespace fsdetail
