#include "util/utf16.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "util/memory.hpp"

namespace {

// "a", e acute (2 bytes), euro sign (3 bytes), a grinning face beyond U+FFFF (4 bytes, a
// surrogate pair in UTF-16), "z".
const std::string kMixedUtf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
const std::u16string kMixedUtf16 = u"a\u00E9\u20AC\xD83D\xDE00z";

std::u16string toUtf16(const std::string& bytes) {
  size_t length = 0;
  lcp_to_utf16_n(nullptr, &length, bytes.data(), bytes.size());
  std::u16string result(length, u'\0');
  size_t capacity = length;
  EXPECT_EQ(lcp_to_utf16_n(result.data(), &capacity, bytes.data(), bytes.size()), length);
  EXPECT_EQ(capacity, length);
  return result;
}

std::string toUtf8(const std::u16string& text) {
  size_t length = 0;
  utf16_to_lcp_n(nullptr, &length, text.data(), text.size());
  std::string result(length, '\0');
  size_t capacity = length;
  EXPECT_EQ(utf16_to_lcp_n(result.data(), &capacity, text.data(), text.size()), length);
  EXPECT_EQ(capacity, length);
  return result;
}

TEST(UtilUtf16, RoundTripsEveryEncodingLengthIncludingSurrogatePairs) {
  EXPECT_EQ(toUtf16(kMixedUtf8), kMixedUtf16);
  EXPECT_EQ(toUtf8(kMixedUtf16), kMixedUtf8);
  // The first and last characters of each encoding length survive both ways.
  const std::u16string edges = {0x0000, 0x007F, 0x0080, 0x07FF, 0x0800,
                                0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
  EXPECT_EQ(toUtf16(toUtf8(edges)), edges);
  EXPECT_EQ(toUtf8(edges).size(), 1 + 1 + 2 + 2 + 3 + 3 + 4 + 4u);
}

TEST(UtilUtf16, MalformedUtf8BecomesOneReplacementPerMaximalPart) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string expected;
  };
  const Case cases[] = {
      {"stray continuation", "\x80x", u"\uFFFDx"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"invalid lead", "\xF5\x80", u"\uFFFD\uFFFD"},
      {"cut short before ASCII",
       "\xE2\x82"
       "A",
       u"\uFFFDA"},
      {"cut short at the end", "A\xF0\x9F\x98", u"A\uFFFD"},
  };
  for (const auto& item : cases) {
    SCOPED_TRACE(item.name);
    EXPECT_EQ(toUtf16(item.bytes), item.expected);
  }
  // The byte count is a hard limit: the euro sign's last byte lies in memory but not in range.
  const char euro[] = "\xE2\x82\xAC";
  char16_t out[4] = {};
  size_t length = 4;
  EXPECT_EQ(lcp_to_utf16_n(out, &length, euro, 2), 1u);
  EXPECT_EQ(out[0], u'\uFFFD');
}

TEST(UtilUtf16, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(toUtf8(u"\xD800x"), replacement + "x");               // high followed by no low
  EXPECT_EQ(toUtf8(u"x\xDC00"), "x" + replacement);               // lone low
  EXPECT_EQ(toUtf8(u"\xDC00\xD800"), replacement + replacement);  // reversed pair
  // A high surrogate at the end of the counted range is unpaired even if a low one follows it.
  const char16_t pair[] = {0xD83D, 0xDE00, 0};
  char out[8];
  size_t length = sizeof out;
  EXPECT_EQ(utf16_to_lcp_n(out, &length, pair, 1), 3u);
  EXPECT_EQ(std::string(out, 3), replacement);
}

TEST(UtilUtf16, WritesOnlyWholeCharactersThatFitAndReportsTheNeededLength) {
  // Sentinels after the capacity must survive every call.
  char16_t wide[8];
  for (size_t capacity = 0; capacity <= 6; ++capacity) {
    SCOPED_TRACE(capacity);
    std::fill(std::begin(wide), std::end(wide), u'#');
    size_t length = capacity;
    const size_t written = lcp_to_utf16_n(wide, &length, kMixedUtf8.data(), kMixedUtf8.size());
    EXPECT_EQ(length, kMixedUtf16.size());
    // The pair occupies units 3 and 4: a capacity of 4 must stop before it, not split it.
    const size_t expected = capacity == 4 ? 3 : std::min(capacity, kMixedUtf16.size());
    EXPECT_EQ(written, expected);
    EXPECT_EQ(std::u16string(wide, written), kMixedUtf16.substr(0, written));
    for (size_t i = written; i < 8; ++i) EXPECT_EQ(wide[i], u'#') << "unit " << i;
  }

  char narrow[16];
  std::fill(std::begin(narrow), std::end(narrow), '#');
  size_t length = 5;  // "a", e acute, then the euro sign needs 3 more than the 2 left
  EXPECT_EQ(utf16_to_lcp_n(narrow, &length, kMixedUtf16.data(), kMixedUtf16.size()), 3u);
  EXPECT_EQ(length, kMixedUtf8.size());
  EXPECT_EQ(std::string(narrow, 3), kMixedUtf8.substr(0, 3));
  EXPECT_EQ(narrow[3], '#');
  EXPECT_EQ(narrow[4], '#');
}

TEST(UtilUtf16, StringFunctionsFollowTheirNarrowCounterparts) {
  const char16_t text[] = u"h\u00E9llo";
  EXPECT_EQ(utf16_strlen(text), 5u);
  EXPECT_EQ(utf16_strlen(u""), 0u);
  EXPECT_EQ(utf16_strlen(nullptr), 0u);

  char16_t padded[8];
  std::fill(std::begin(padded), std::end(padded), u'#');
  EXPECT_EQ(utf16_strncpy(padded, u"ab", 6), padded);
  EXPECT_EQ(std::u16string(padded, 8), std::u16string(u"ab\0\0\0\0##", 8));
  std::fill(std::begin(padded), std::end(padded), u'#');
  utf16_strncpy(padded, text, 3);  // source longer than the count: no terminator
  EXPECT_EQ(std::u16string(padded, 4), u"h\u00E9l#");

  char16_t* copy = utf16_strdup(text);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, text);
  EXPECT_EQ(std::u16string(copy), std::u16string(text));
  utFree(copy);
  EXPECT_EQ(utf16_strdup(nullptr), nullptr);
}

TEST(UtilMemory, AllocatorFunctionsKeepTheirContracts) {
  EXPECT_EQ(utStrdup(nullptr), nullptr);
  char* copy = utStrdup("deployed");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "deployed");
  copy = static_cast<char*>(utRealloc(copy, 4096));
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "deployed");
  utFree(copy);

  void* empty = utMalloc(0);
  EXPECT_NE(empty, nullptr);
  utFree(empty);
  auto* zeros = static_cast<unsigned char*>(utCalloc(64, 4));
  ASSERT_NE(zeros, nullptr);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(zeros[i], 0) << i;
  utFree(zeros);
  utFree(nullptr);
}

}  // namespace
