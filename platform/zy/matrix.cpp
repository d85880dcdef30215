// The typed wrappers of zy/matrix.hpp.

#include "zy/matrix.hpp"

#include <cstring>
#include <new>

#include "zy/array.hpp"
#include "zy/errors.hpp"
#include "zy/text.hpp"

namespace matrix {
namespace {

unique_array checked(zyArray* array) {
  if (array == nullptr) throw std::bad_alloc();
  return unique_array(array);
}

const zyArray* expectChar(const zyArray* array) {
  if (!zyIsChar(array)) zy::raiseError("Q:ExpectedString", "Expected a character array.");
  return array;
}

}  // namespace

unique_array create(const std::u16string& text) {
  unique_array array =
      checked(text.empty() ? zyCreateCharMatrix(0, 0) : zyCreateCharMatrix(1, text.size()));
  if (!text.empty()) std::memcpy(zyGetChars(array.get()), text.data(), text.size() * 2);
  return array;
}

unique_array create(const std::wstring& text) {
  std::u16string units;
  for (wchar_t character : text) {
    auto codePoint = static_cast<char32_t>(character);
    if (codePoint >= 0x10000 && codePoint <= 0x10FFFF) {
      codePoint -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (codePoint >> 10));
      units += static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
    } else {
      units += codePoint > 0x10FFFF ? u'\uFFFD' : static_cast<char16_t>(codePoint);
    }
  }
  return create(units);
}

unique_array create(const std::string& text) {
  return create(zy::detail::utf8ToUtf16(text.data(), text.size()));
}

std::string get_string(const zyArray* array) {
  expectChar(array);
  return zy::detail::utf16ToUtf8(array->elements<zyChar>(), array->numberOfElements());
}

std::u16string get_u16string(const zyArray* array) {
  expectChar(array);
  return std::u16string(array->elements<zyChar>(), array->numberOfElements());
}

namespace detail {

unique_array create_cell(size_t m, size_t n) { return checked(zyCreateCellMatrix(m, n)); }

unique_array create_numeric(size_t m, size_t n, zyClassID classId, zyComplexity complexity) {
  return checked(zyCreateNumericMatrix(m, n, classId, complexity));
}

}  // namespace detail
}  // namespace matrix
