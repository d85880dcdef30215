#include "fs/file_name_encoding.hpp"

namespace fsdetail {

std::wstring widenFileName(const std::string& text) {
  std::wstring wide;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
      length = 1;
      codePoint = lead;
    } else if ((lead >> 5) == 0x6) {
      length = 2;
      codePoint = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead >> 4) == 0xE) {
      length = 3;
      codePoint = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead >> 3) == 0x1E) {
      length = 4;
      codePoint = lead & 0x07;
      smallest = 0x10000;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    valid = valid && codePoint >= smallest && codePoint <= 0x10FFFF &&
            !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    if (valid) {
      wide.push_back(static_cast<wchar_t>(codePoint));
      i += length;
    } else {
      wide.push_back(static_cast<wchar_t>(0xDC00 + lead));
      ++i;
    }
  }
  return wide;
}

}  // namespace fsdetail
