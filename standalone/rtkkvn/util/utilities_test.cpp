#include <gtest/gtest.h>

#include <string>

#include "base/path_macros.hpp"
#include "rtkkvn_error.h"
#include "rtkkvn_util.h"
#include "util/hashing.hpp"
#include "util/memory.hpp"

namespace {

std::u16string textOf(const rtkWcsStackBuffer* buffer) { return std::u16string(buffer->p); }

TEST(RtkkvnUtilities, SpecialValuesAndTests) {
  EXPECT_TRUE(rtkIsNaN(rtkGetNaN()));
  EXPECT_FALSE(rtkIsFinite(rtkGetInf()));
  EXPECT_TRUE(rtkIsInf(rtkGetInf()));
  EXPECT_TRUE(rtkIsFinite(1.0));
  EXPECT_EQ(1.0 + rtkGetEps(), 1.0 + 2.220446049250313e-16);
  EXPECT_EQ(rtkGetMaxPathLen(), 1281);
}

TEST(RtkkvnUtilities, IdentityAndHashing) {
  zyArray* a = zyCreateDoubleScalar(2);
  zyArray* b = zyCreateDoubleScalar(2);
  zyArray* c = zyCreateDoubleScalar(3);
  EXPECT_TRUE(rtkIsIdentical(a, b));
  EXPECT_FALSE(rtkIsIdentical(a, c));
  zyDestroyArray(a);
  zyDestroyArray(b);
  zyDestroyArray(c);

  const char bytes[] = "hash me";
  EXPECT_EQ(rtkHashNBytes(7, 7, bytes), static_cast<uint32_t>(ut_hash_n_bytes(7, 7, bytes)));
  EXPECT_NE(rtkHashNBytes(7, 7, bytes), rtkHashNBytes(8, 7, bytes));
}

TEST(RtkkvnUtilities, PathMacroAndTemporaryName) {
  ASSERT_TRUE(rtkAddCanonicalPathMacro("$RTKUTILTEST", "/tmp/./x//y/.."));
  EXPECT_EQ(rtkRuntimePathMacros::getInstance().get("$RTKUTILTEST").back(), 'x');
  EXPECT_FALSE(rtkAddCanonicalPathMacro("no dollar", "/tmp"));
  EXPECT_EQ(rtkcppErrorCheck(), 0);
  error_info* record = nullptr;
  rtkcppGetLastError(&record);
  ref_count_obj_release(record);

  char buffer[4096];
  char other[4096];
  ASSERT_EQ(rtkGetTempFileName(buffer), buffer);
  ASSERT_EQ(rtkGetTempFileName(other), other);
  EXPECT_NE(std::string(buffer), std::string(other));
}

TEST(RtkkvnUtilities, Utf16Forwarders) {
  const char16_t text[] = u"h\u00e9llo";
  EXPECT_EQ(utf16_strlen_fcn(text), 5u);
  char out[16];
  size_t length = sizeof out;
  EXPECT_EQ(utf16_to_lcp_n_fcn(out, &length, text, 5), 6u);  // é takes two bytes
  EXPECT_EQ(std::string(out, 6), "h\xc3\xa9llo");
  char16_t* copy = utf16_strdup_fcn(text);
  char16_t padded[8];
  utf16_strncpy_fcn(padded, copy, 8);
  EXPECT_EQ(std::u16string(padded), std::u16string(text));
  EXPECT_EQ(padded[7], 0);
  utFree(copy);  // a block of the runtime's allocator
}

TEST(RtkkvnUtilities, BufferKeepsInlineCharactersUpTo1023) {
  rtkWcsStackBuffer* buffer = nullptr;
  ASSERT_EQ(initializeWcsStackPointer(&buffer), buffer);
  const std::string text(1023, 'a');
  EXPECT_EQ(koMbstowcs(buffer, text.c_str()), 1023);
  EXPECT_EQ(buffer->p, buffer->inline_characters);
  EXPECT_EQ(buffer->capacity, 1024);
  EXPECT_EQ(textOf(buffer), std::u16string(1023, u'a'));
  deleteWcsStackPointer_hPtr(buffer);  // the inline characters are not freed
  EXPECT_EQ(buffer->p, buffer->inline_characters);
  deleteWcsStackPointer(buffer);
}

TEST(RtkkvnUtilities, BufferGrowsAt1024AndStaysTerminated) {
  rtkWcsStackBuffer* buffer = nullptr;
  ASSERT_TRUE(allocWcsStackPointer(&buffer, 10));
  EXPECT_EQ(buffer->capacity, 1024);
  const std::string text(1024, 'b');
  EXPECT_EQ(koMbstowcs(buffer, text.c_str()), 1024);
  EXPECT_NE(buffer->p, buffer->inline_characters);
  EXPECT_EQ(buffer->capacity, 1025);
  EXPECT_EQ(buffer->p[1024], 0);
  EXPECT_EQ(textOf(buffer), std::u16string(1024, u'b'));
  // A shorter text reuses the heap block.
  EXPECT_EQ(koMbstowcs(buffer, "x\xc3\xa9"), 2);
  EXPECT_EQ(textOf(buffer), u"x\u00e9");
  deleteWcsStackPointer_hPtr(buffer);
  EXPECT_EQ(buffer->p, nullptr);
  EXPECT_EQ(koMbstowcs(buffer, nullptr), 0);  // back in its own characters
  EXPECT_EQ(buffer->p, buffer->inline_characters);
  deleteWcsStackPointer(buffer);
  deleteWcsStackPointer(nullptr);
  EXPECT_EQ(koMbstowcs(nullptr, "x"), -1);
}

}  // namespace
