#include "fs/path_string.hpp"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(FsPathString, NormalisesEveryAssignment) {
  EXPECT_EQ(dsPathString("C:\\Users\\me\\").str(), "C:/Users/me/");
  EXPECT_EQ(dsPathString("//server//share///x").str(), "/server/share/x");
  EXPECT_EQ(dsPathString("a\\/\\/b").str(), "a/b");
  EXPECT_EQ(dsPathString(" \t /tmp/x \r\n").str(), "/tmp/x");
  EXPECT_EQ(dsPathString("a b/c d").str(), "a b/c d");  // inner white space is part of a name
  EXPECT_EQ(dsPathString(static_cast<const char*>(nullptr)).str(), "");

  dsPathString path;
  path = "\\\\tmp\\\\cache ";
  EXPECT_EQ(path.str(), "/tmp/cache");
  path = std::string("  ");
  EXPECT_TRUE(path.empty());
}

TEST(FsPathString, TrimsOnlyAsciiWhiteSpaceSoMultibyteNamesStayWhole) {
  // "\xC3\xA0" is a UTF-8 "a" with grave accent; 0xA0 alone is a space in Latin-1 locales.
  EXPECT_EQ(dsPathString("/tmp/caf\xC3\xA0").str(), "/tmp/caf\xC3\xA0");
  EXPECT_EQ(dsPathString("\xC2\xA0x").str(), "\xC2\xA0x");
}

TEST(FsPathString, JoinsWithExactlyOneSeparator) {
  EXPECT_EQ((dsPathString("a") / "b").str(), "a/b");
  EXPECT_EQ((dsPathString("a/") / "/b").str(), "a/b");
  EXPECT_EQ((dsPathString("C:\\T\\") / "user1" / "kvnCache8.1").str(), "C:/T/user1/kvnCache8.1");
  EXPECT_EQ((dsPathString("/") / "x").str(), "/x");
  EXPECT_EQ((dsPathString("/a") / std::string("b\\c")).str(), "/a/b/c");
  // Joining with nothing changes nothing; a relative path does not become absolute.
  EXPECT_EQ((dsPathString("") / "b").str(), "b");
  EXPECT_EQ((dsPathString("a/") / "").str(), "a/");

  dsPathString path("/cache");
  path /= dsPathString("prefix0/");
  EXPECT_EQ(path.str(), "/cache/prefix0/");
  EXPECT_EQ((dsPathString("dir/name") + ".ctf").str(), "dir/name.ctf");
}

TEST(FsPathString, TakesPathsApart) {
  struct Case {
    const char* path;
    const char* leaf;
    const char* parent;
    std::vector<std::string> elements;
  };
  const Case cases[] = {
      {"/a/b", "b", "/a", {"a", "b"}},
      {"/a/b/", "b", "/a", {"a", "b"}},
      {"/a", "a", "/", {"a"}},
      {"a/b/c", "c", "a/b", {"a", "b", "c"}},
      {"a", "a", "", {"a"}},
      {"/", "", "", {}},
      {"", "", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const dsPathString path(c.path);
    EXPECT_EQ(path.leaf(), c.leaf);
    EXPECT_EQ(path.parent().str(), c.parent);
    EXPECT_EQ(path.elements(), c.elements);
  }
  EXPECT_EQ(dsPathString("/cache/comp0/x").parent().leaf(), "comp0");
  EXPECT_TRUE(dsPathString("//").isRoot());
  EXPECT_FALSE(dsPathString("/a").isRoot());
  EXPECT_TRUE(dsPathString("\\a").isAbsolute());
  EXPECT_FALSE(dsPathString("a/b").isAbsolute());
}

TEST(FsPathString, ComparesNormalisedForms) {
  EXPECT_EQ(dsPathString("/a//b"), "\\a\\b");
  EXPECT_EQ(dsPathString("/a/b"), std::string(" /a/b "));
  EXPECT_NE(dsPathString("/a/b"), "/a/b/");
  EXPECT_NE(dsPathString("/a/b"), "/A/B");

  std::map<dsPathString, int> byPath;
  byPath["/x//y"] = 1;
  byPath["\\x\\y"] = 2;
  EXPECT_EQ(byPath.size(), 1u);

  const std::string asText = dsPathString("/x\\y");
  EXPECT_EQ(asText, "/x/y");
  EXPECT_STREQ(dsPathString("/x\\y").c_str(), "/x/y");
}

}  // namespace
