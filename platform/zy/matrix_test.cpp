#include "zy/matrix.hpp"

#include <gtest/gtest.h>

#include <string>

#include "zy.h"

namespace {

TEST(ZyMatrix, CreateTextFromEveryStringKind) {
  EXPECT_EQ(matrix::get_string(matrix::create("plain \xC3\xA9").get()), "plain \xC3\xA9");
  EXPECT_EQ(matrix::get_u16string(matrix::create(u"wide").get()), u"wide");
  EXPECT_EQ(matrix::get_u16string(matrix::create(std::wstring(L"a\U0001F600")).get()),
            u"a\U0001F600");
  // A converter that reads the bytes as Latin-1.
  auto latin1 = [](const std::string& text) {
    std::u16string out;
    for (unsigned char byte : text) out += static_cast<char16_t>(byte);
    return out;
  };
  EXPECT_EQ(matrix::get_u16string(matrix::create(std::string("\xE9t\xE9"), latin1).get()),
            u"\u00E9t\u00E9");
  matrix::unique_array empty = matrix::create(std::string());
  EXPECT_EQ(zyGetM(empty.get()), 0u);
  EXPECT_EQ(matrix::get_string(empty.get()), "");
}

TEST(ZyMatrix, DetailCreatorsThrowWhenRefused) {
  EXPECT_THROW(matrix::detail::create_numeric(1, 1, static_cast<zyClassID>(40)), std::bad_alloc);
}

}  // namespace
