#include "util/text_conversion.hpp"

#include <gtest/gtest.h>

namespace {

using fl::i18n::to_string;
using fl::i18n::to_u16string;
using fl::i18n::to_ustring;

// "Grüße, 東京 " and a grinning face beyond U+FFFF.
const std::string kUtf8 =
    "Gr\xC3\xBC\xC3\x9F"
    "e, \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80";
const std::wstring kWide = L"Gr\u00FC\u00DFe, \u6771\u4EAC \U0001F600";

TEST(UtilTextConversion, NonAsciiTextConvertsBothWays) {
  EXPECT_EQ(to_ustring(kUtf8.c_str()), kWide);
  EXPECT_EQ(to_ustring(kUtf8), kWide);
  EXPECT_EQ(to_string(kWide), kUtf8);
  EXPECT_EQ(kWide.size(), 11u) << "one element per code point";

  const std::u16string utf16 = to_u16string(kUtf8);
  EXPECT_EQ(utf16.size(), 12u) << "the face is a surrogate pair";
  EXPECT_EQ(utf16.substr(10), u"\xD83D\xDE00");
  EXPECT_EQ(to_string(utf16), kUtf8);
  EXPECT_EQ(to_u16string(kUtf8.c_str()), utf16);
}

TEST(UtilTextConversion, EdgeInputsNeitherFailNorLoseTheRest) {
  EXPECT_EQ(to_ustring(static_cast<const char*>(nullptr)), L"");
  EXPECT_EQ(to_u16string(static_cast<const char*>(nullptr)), u"");
  EXPECT_EQ(to_ustring(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  // Invalid UTF-8 and values no UTF-8 text can hold both become U+FFFD; the text around stays.
  EXPECT_EQ(to_ustring("x\xFFy\xE2\x82"), L"x\uFFFDy\uFFFD");
  const std::wstring notCharacters = {L'a', static_cast<wchar_t>(0xD800),
                                      static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1),
                                      L'b'};
  EXPECT_EQ(to_string(notCharacters),
            "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(to_string(std::u16string(u"\xDE00z")), "\xEF\xBF\xBDz");
}

}  // namespace
