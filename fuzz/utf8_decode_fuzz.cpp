// Feeds arbitrary bytes to the UTF-8 to UTF-16 decoder and back. Besides not crashing, the
// conversions must agree on lengths, and text that went through once must be stable: decoding
// replaces malformed input with U+FFFD, so a second round trip changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/utf16.hpp"

namespace {

std::u16string decode(const char* bytes, size_t size) {
  size_t needed = 0;
  lcp_to_utf16_n(nullptr, &needed, bytes, size);
  std::u16string text(needed, u'\0');
  size_t capacity = needed;
  const size_t written = lcp_to_utf16_n(text.data(), &capacity, bytes, size);
  if (written != needed || capacity != needed) abort();
  return text;
}

std::string encode(const std::u16string& text) {
  size_t needed = 0;
  utf16_to_lcp_n(nullptr, &needed, text.data(), text.size());
  std::string bytes(needed, '\0');
  size_t capacity = needed;
  if (utf16_to_lcp_n(bytes.data(), &capacity, text.data(), text.size()) != needed) abort();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string once = decode(reinterpret_cast<const char*>(data), size);
  const std::string bytes = encode(once);
  if (decode(bytes.data(), bytes.size()) != once) abort();
  // The raw bytes read as UTF-16 must also survive the encoder.
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) units[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
  const std::string reencoded = encode(units);
  if (encode(decode(reencoded.data(), reencoded.size())) != reencoded) abort();
  // A short output buffer: only whole characters, never more than the capacity.
  std::vector<char16_t> small(3);
  size_t capacity = small.size();
  if (lcp_to_utf16_n(small.data(), &capacity, reinterpret_cast<const char*>(data), size) > 3) {
    abort();
  }
  return 0;
}
