#include "rtkkvn/kvn_cache/cache_index_format.hpp"

#include <time.h>

#include <array>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <cstdio>
#include <sstream>
#include <streambuf>
#include <utility>

namespace {

namespace pt = boost::posix_time;
namespace gr = boost::gregorian;

typedef std::streambuf::traits_type Traits;

constexpr char kNotADateTime[] = "not-a-date-time";
constexpr char kPositiveInfinity[] = "+infinity";
constexpr char kNegativeInfinity[] = "-infinity";
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// "2013-Jan-30 14:05:09" and, after it, "." and at most six digits.
constexpr std::size_t kTimeWithoutFractionLength = 20;
constexpr std::size_t kMaxFractionDigits = 6;
constexpr std::uint64_t kMicrosecondsPerSecond = 1000000;

bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isAsciiSpace(text[begin])) ++begin;
  while (end > begin && isAsciiSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

enum class LineEnd { lineFeed, endOfFile };

// Reads up to the next line feed (consumed, not stored) or the end of the file.
LineEnd readLine(std::streambuf& buffer, std::string& line) {
  line.clear();
  for (;;) {
    const Traits::int_type c = buffer.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return LineEnd::endOfFile;
    if (Traits::to_char_type(c) == '\n') return LineEnd::lineFeed;
    if (line.size() == kMaxCacheIndexLineLength) throw CacheIndexFormatError("line too long");
    line.push_back(Traits::to_char_type(c));
  }
}

// The size field: white space (line feeds too), an optional "+", then decimal digits up to the
// first other character, which stays unread.
std::uint64_t readSize(std::streambuf& buffer) {
  Traits::int_type c = buffer.sgetc();
  while (!Traits::eq_int_type(c, Traits::eof()) && isAsciiSpace(Traits::to_char_type(c))) {
    c = buffer.snextc();
  }
  if (!Traits::eq_int_type(c, Traits::eof()) && Traits::to_char_type(c) == '+') c = buffer.snextc();
  if (Traits::eq_int_type(c, Traits::eof()) || !isDigit(Traits::to_char_type(c))) {
    throw CacheIndexFormatError("size is not a number");
  }
  std::uint64_t value = 0;
  while (!Traits::eq_int_type(c, Traits::eof()) && isDigit(Traits::to_char_type(c))) {
    const unsigned digit = unsigned(Traits::to_char_type(c) - '0');
    if (value > (UINT64_MAX - digit) / 10) throw CacheIndexFormatError("size out of range");
    value = value * 10 + digit;
    c = buffer.snextc();
  }
  return value;
}

// Skips the rest of the size line, its line feed included.
void skipRestOfLine(std::streambuf& buffer) {
  for (;;) {
    const Traits::int_type c = buffer.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) throw CacheIndexFormatError("incomplete record");
    if (Traits::to_char_type(c) == '\n') return;
  }
}

// The number in text[begin, begin + count) when it is all digits.
bool digitsAt(const std::string& text, std::size_t begin, std::size_t count, unsigned& value) {
  if (begin + count > text.size()) return false;
  value = 0;
  for (std::size_t i = begin; i < begin + count; ++i) {
    if (!isDigit(text[i])) return false;
    value = value * 10 + unsigned(text[i] - '0');
  }
  return true;
}

bool equalsIgnoringAsciiCase(const std::string& text, std::size_t begin, const char* word) {
  for (std::size_t i = 0; word[i] != '\0'; ++i) {
    if (begin + i >= text.size()) return false;
    char c = text[begin + i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    char w = word[i];
    if (w >= 'A' && w <= 'Z') w = char(w - 'A' + 'a');
    if (c != w) return false;
  }
  return true;
}

}  // namespace

bool CacheIndexReader::next(CacheIndexEntry& entry) {
  std::streambuf* buffer = in_.rdbuf();
  if (!buffer) return false;
  CacheIndexEntry record;
  if (readLine(*buffer, record.id) == LineEnd::endOfFile) return false;
  if (records_ == kMaxCacheIndexRecords) throw CacheIndexFormatError("too many records");
  if (readLine(*buffer, record.dirName) == LineEnd::endOfFile) {
    throw CacheIndexFormatError("incomplete record");
  }
  record.size = readSize(*buffer);
  skipRestOfLine(*buffer);
  std::string timeLine;
  if (readLine(*buffer, timeLine) == LineEnd::endOfFile) {
    throw CacheIndexFormatError("incomplete record");
  }
  parseCacheTime(timeLine, record.lastUsed);
  record.id = trimmed(record.id);
  record.dirName = trimmed(record.dirName);
  ++records_;
  entry = std::move(record);
  return true;
}

void writeCacheIndexRecord(std::ostream& out, const CacheIndexEntry& entry) {
  out << cacheIndexRecordText(entry);
}

std::string cacheIndexRecordText(const CacheIndexEntry& entry) {
  std::string text;
  text.reserve(entry.id.size() + entry.dirName.size() + 64);
  text.append(entry.id).push_back('\n');
  text.append(entry.dirName).push_back('\n');
  text.append(std::to_string(entry.size)).push_back('\n');
  text.append(formatCacheTime(entry.lastUsed)).push_back('\n');
  return text;
}

bool isStorableCacheIndexEntry(const CacheIndexEntry& entry) {
  for (const std::string* line : {&entry.id, &entry.dirName}) {
    if (line->size() > kMaxCacheIndexLineLength) return false;
    if (line->find('\n') != std::string::npos) return false;
    if (!line->empty() && (isAsciiSpace(line->front()) || isAsciiSpace(line->back()))) {
      return false;
    }
  }
  return true;
}

bool isPlainCacheDirectoryName(const std::string& name) {
  if (name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string formatCacheTime(const pt::ptime& time) {
  if (time.is_not_a_date_time()) return kNotADateTime;
  if (time.is_pos_infinity()) return kPositiveInfinity;
  if (time.is_neg_infinity()) return kNegativeInfinity;
  const gr::date day = time.date();
  const pt::time_duration clock = time.time_of_day();
  char text[64];
  int length = std::snprintf(text, sizeof text, "%04d-%s-%02d %02d:%02d:%02d", int(day.year()),
                             kMonthNames[day.month() - 1], int(day.day()), int(clock.hours()),
                             int(clock.minutes()), int(clock.seconds()));
  // The tick resolution of ptime is microseconds in this build; scale in case it is finer.
  const std::uint64_t fraction = std::uint64_t(clock.fractional_seconds()) *
                                 kMicrosecondsPerSecond / pt::time_duration::ticks_per_second();
  if (fraction != 0) {
    std::snprintf(text + length, sizeof text - length, ".%06u", unsigned(fraction));
  }
  return text;
}

bool parseCacheTime(const std::string& line, pt::ptime& time) {
  const std::string text = trimmed(line);
  if (text == kNotADateTime) {
    time = pt::ptime(pt::not_a_date_time);
    return true;
  }
  if (text == kPositiveInfinity) {
    time = pt::ptime(pt::pos_infin);
    return true;
  }
  if (text == kNegativeInfinity) {
    time = pt::ptime(pt::neg_infin);
    return true;
  }
  if (text.size() < kTimeWithoutFractionLength) return false;
  unsigned year, day, hours, minutes, seconds;
  if (!digitsAt(text, 0, 4, year) || text[4] != '-' || text[8] != '-' ||
      !digitsAt(text, 9, 2, day) || text[11] != ' ' || !digitsAt(text, 12, 2, hours) ||
      text[14] != ':' || !digitsAt(text, 15, 2, minutes) || text[17] != ':' ||
      !digitsAt(text, 18, 2, seconds)) {
    return false;
  }
  unsigned month = 0;
  for (unsigned i = 0; i < kMonthNames.size(); ++i) {
    if (equalsIgnoringAsciiCase(text, 5, kMonthNames[i])) month = i + 1;
  }
  if (month == 0 || year < 1400 || year > 9999 || hours > 23 || minutes > 59 || seconds > 59) {
    return false;
  }
  if (day < 1 || day > gr::gregorian_calendar::end_of_month_day(year, month)) return false;

  std::uint64_t microseconds = 0;
  if (text.size() > kTimeWithoutFractionLength) {
    const std::size_t digits = text.size() - kTimeWithoutFractionLength - 1;
    unsigned fraction;
    if (text[kTimeWithoutFractionLength] != '.' || digits == 0 || digits > kMaxFractionDigits ||
        !digitsAt(text, kTimeWithoutFractionLength + 1, digits, fraction)) {
      return false;
    }
    microseconds = fraction;
    for (std::size_t i = digits; i < kMaxFractionDigits; ++i) microseconds *= 10;
  }
  time = pt::ptime(gr::date(year, month, day), pt::hours(hours) + pt::minutes(minutes) +
                                                   pt::seconds(seconds) +
                                                   pt::microseconds(microseconds));
  return true;
}

pt::ptime currentCacheTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return pt::ptime(gr::date(1970, 1, 1)) + pt::seconds(long(now.tv_sec)) +
         pt::microseconds(now.tv_nsec / 1000);
}
