// The text form of the cache index: time lines, the record reader on damaged input, the writer.

#include "rtkkvn/kvn_cache/cache_index_format.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace pt = boost::posix_time;
namespace gr = boost::gregorian;

const pt::ptime kSomeTime(gr::date(2013, 1, 30),
                          pt::time_duration(14, 5, 9) + pt::microseconds(250000));

// Every record of text; throws what the reader throws.
std::vector<CacheIndexEntry> readAll(const std::string& text) {
  CacheIndexReader reader(text);
  std::vector<CacheIndexEntry> entries;
  CacheIndexEntry entry;
  while (reader.next(entry)) entries.push_back(entry);
  return entries;
}

// Time lines are written in the default ptime form and read back; reading also takes fewer
// fraction digits (tenths, hundredths, ...), month names in any case and a stray carriage return.
TEST(CacheIndexFormat, TimeLinesAreWrittenAndReadBack) {
  const struct {
    pt::ptime time;
    const char* written;
    const char* alsoRead;
  } cases[] = {
      {kSomeTime, "2013-Jan-30 14:05:09.250000", "2013-JAN-30 14:05:09.25\r"},
      {pt::ptime(gr::date(2013, 12, 1), pt::seconds(7)), "2013-Dec-01 00:00:07", nullptr},
      {pt::ptime(gr::date(1970, 1, 1), pt::microseconds(1)), "1970-Jan-01 00:00:00.000001",
       nullptr},
      {pt::ptime(gr::date(2000, 2, 29), pt::time_duration(23, 59, 59)), "2000-Feb-29 23:59:59",
       nullptr},
      {pt::ptime(), "not-a-date-time", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    EXPECT_EQ(c.written, formatCacheTime(c.time));
    for (const char* text : {c.written, c.alsoRead}) {
      if (text == nullptr) continue;
      pt::ptime time(gr::date(1999, 1, 1));
      ASSERT_TRUE(parseCacheTime(text, time)) << text;
      EXPECT_TRUE(time == c.time || (time.is_not_a_date_time() && c.time.is_not_a_date_time()));
    }
  }
}

TEST(CacheIndexFormat, MalformedTimeLinesLeaveTheTimeAlone) {
  for (const char* text :
       {"", "2013-Jan-30", "2013-Jan-30 14:05", "2013-Foo-30 14:05:09", "2013-Feb-29 14:05:09",
        "2013-Jan-30 24:00:00", "2013-Jan-30 14:60:00", "2013-Jan-30 14:05:09.",
        "2013-Jan-30 14:05:09.1234567", "2013-Jan-30 14:05:09 junk", "1399-Jan-01 00:00:00",
        "2013-Jan-3x 14:05:09", "2013/Jan/30 14:05:09", "not-a-date-timex"}) {
    pt::ptime time = kSomeTime;
    EXPECT_FALSE(parseCacheTime(text, time)) << text;
    EXPECT_EQ(kSomeTime, time) << text;
  }
}

TEST(CacheIndexFormat, RecordsRoundTrip) {
  CacheIndexEntry dated("comp_0123");
  dated.dirName = "comp_0";
  dated.size = 18446744073709551615ull;
  dated.lastUsed = kSomeTime;
  CacheIndexEntry undated("other");
  undated.dirName = "other0";
  const std::string text = cacheIndexRecordText(dated) + cacheIndexRecordText(undated);
  EXPECT_EQ(
      "comp_0123\ncomp_0\n18446744073709551615\n2013-Jan-30 14:05:09.250000\n"
      "other\nother0\n0\nnot-a-date-time\n",
      text);
  EXPECT_EQ((std::vector<CacheIndexEntry>{dated, undated}), readAll(text));
  EXPECT_TRUE(readAll("").empty());
}

// Damaged and hostile index files: each is refused as a whole. The id line without its line feed
// just ends the file, but with it a record has begun and must be complete; sizes are numbers that
// fit; lines and record counts are bounded.
TEST(CacheIndexFormat, DamagedAndHostileFilesAreRefused) {
  const std::string record = "a\nd0\n5\nnot-a-date-time\n";
  const std::string longLine(kMaxCacheIndexLineLength + 1, 'x');
  std::string many;
  for (std::size_t i = 0; i <= kMaxCacheIndexRecords; ++i) {
    many += std::to_string(i) + "\n" + std::to_string(i) + "\n0\nx\n";
  }
  for (const std::string& text :
       {record + "b\n", record + "b\nd1\n", record + "b\nd1\n7", record + "b\nd1\n7\n",
        std::string("a\nd0\n5\nnot-a-date-time"), std::string("a\nd\nx5\nnot-a-date-time\n"),
        std::string("a\nd\n-5\nnot-a-date-time\n"),
        std::string("a\nd\n18446744073709551616\nnot-a-date-time\n"),
        longLine + "\nd\n1\nnot-a-date-time\n", many}) {
    EXPECT_THROW(readAll(text), CacheIndexFormatError) << text.substr(0, 60);
  }
  // What comes close is read: an unfinished id line, a line at the limit.
  EXPECT_EQ(1u, readAll(record + "b").size());
  EXPECT_EQ(1u, readAll(longLine.substr(1) + "\nd\n1\nnot-a-date-time\n").size());
}

// White space around the id and the folder name goes; before a size (line feeds too) it is
// skipped and anything after the number on its line is ignored, as formatted input does; a time
// that cannot be read is no time.
TEST(CacheIndexFormat, WhiteSpaceIsReadAsFormattedInputReadsIt) {
  auto entries = readAll("  comp_1 \r\n\tdir0\r\n3\r\nbad time\n");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("comp_1", entries[0].id);
  EXPECT_EQ("dir0", entries[0].dirName);
  EXPECT_TRUE(entries[0].lastUsed.is_not_a_date_time());
  entries = readAll("a\nd\n\n +42 bytes\nnot-a-date-time\n");
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ(42u, entries[0].size);
}

TEST(CacheIndexFormat, StorableEntriesAndPlainNames) {
  CacheIndexEntry entry("id");
  entry.dirName = "id0";
  EXPECT_TRUE(isStorableCacheIndexEntry(entry));
  entry.dirName = "id0 ";
  EXPECT_FALSE(isStorableCacheIndexEntry(entry));
  entry.dirName = "a\nb";
  EXPECT_FALSE(isStorableCacheIndexEntry(entry));

  EXPECT_TRUE(isPlainCacheDirectoryName("comp_0"));
  EXPECT_TRUE(isPlainCacheDirectoryName(""));
  for (const std::string& name :
       std::vector<std::string>{".", "..", "../x", "a/b", "a\\b", std::string("a\0b", 3)}) {
    EXPECT_FALSE(isPlainCacheDirectoryName(name)) << name;
  }
}

TEST(CacheIndexFormat, CurrentTimeIsUtcMicroseconds) {
  const pt::ptime before = pt::microsec_clock::universal_time();
  const pt::ptime now = currentCacheTime();
  const pt::ptime after = pt::microsec_clock::universal_time();
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

}  // namespace
