#include "rtkkvn/kvn_cache/cache_index_format.hpp"

#include <time.h>

#include <array>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <string_view>
#include <utility>

namespace {

namespace pt = boost::posix_time;
namespace gr = boost::gregorian;

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

std::string_view trimmed(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && isAsciiSpace(text[begin])) ++begin;
  while (end > begin && isAsciiSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The number in text[begin, begin + count) when it is all digits.
bool digitsAt(std::string_view text, std::size_t begin, std::size_t count, unsigned& value) {
  if (begin + count > text.size()) return false;
  value = 0;
  for (std::size_t i = begin; i < begin + count; ++i) {
    if (!isDigit(text[i])) return false;
    value = value * 10 + unsigned(text[i] - '0');
  }
  return true;
}

// The three letters at text[begin] in lower case, packed into one number (0 when any is not an
// ASCII letter), for a month name compared without regard to case.
constexpr std::uint32_t packedLetters(std::string_view text, std::size_t begin) {
  std::uint32_t packed = 0;
  for (std::size_t i = begin; i < begin + 3; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c < 'a' || c > 'z') return 0;
    packed = packed << 8 | std::uint8_t(c);
  }
  return packed;
}

constexpr std::array<std::uint32_t, 12> packedMonthNames() {
  std::array<std::uint32_t, 12> packed{};
  for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = packedLetters(kMonthNames[i], 0);
  return packed;
}
constexpr std::array<std::uint32_t, 12> kPackedMonthNames = packedMonthNames();

}  // namespace

bool CacheIndexReader::next(CacheIndexEntry& entry) {
  // The next line from position_ on: false when no line feed ends it (the text ends first).
  const auto readLine = [this](std::string_view& line) {
    const std::size_t end = text_.find('\n', position_);
    const std::size_t length = (end == std::string_view::npos ? text_.size() : end) - position_;
    if (length > kMaxCacheIndexLineLength) throw CacheIndexFormatError("line too long");
    line = text_.substr(position_, length);
    if (end == std::string_view::npos) return false;
    position_ = end + 1;
    return true;
  };
  std::string_view id, dirName, timeLine;
  if (!readLine(id)) return false;
  if (records_ == kMaxCacheIndexRecords) throw CacheIndexFormatError("too many records");
  if (!readLine(dirName)) throw CacheIndexFormatError("incomplete record");

  // The size: white space (line feeds too), an optional "+", then decimal digits up to the first
  // other character; the rest of that line is skipped.
  while (position_ < text_.size() && isAsciiSpace(text_[position_])) ++position_;
  if (position_ < text_.size() && text_[position_] == '+') ++position_;
  if (position_ == text_.size() || !isDigit(text_[position_])) {
    throw CacheIndexFormatError("size is not a number");
  }
  std::uint64_t size = 0;
  for (; position_ < text_.size() && isDigit(text_[position_]); ++position_) {
    const unsigned digit = unsigned(text_[position_] - '0');
    if (size > (UINT64_MAX - digit) / 10) throw CacheIndexFormatError("size out of range");
    size = size * 10 + digit;
  }
  const std::size_t sizeLineEnd = text_.find('\n', position_);
  if (sizeLineEnd == std::string_view::npos) throw CacheIndexFormatError("incomplete record");
  position_ = sizeLineEnd + 1;

  timeLineOffset_ = position_;
  if (!readLine(timeLine)) throw CacheIndexFormatError("incomplete record");
  timeLineLength_ = timeLine.size();

  entry.id = trimmed(id);
  entry.dirName = trimmed(dirName);
  entry.size = size;
  entry.lastUsed = boost::posix_time::ptime();
  parseCacheTime(timeLine, entry.lastUsed);
  ++records_;
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
  for (const char c : name) {
    if (c == '/' || c == '\\' || c == '\0') return false;
  }
  return true;
}

std::string formatCacheTime(const pt::ptime& time) {
  if (time.is_not_a_date_time()) return kNotADateTime;
  if (time.is_pos_infinity()) return kPositiveInfinity;
  if (time.is_neg_infinity()) return kNegativeInfinity;
  const gr::date::ymd_type day = time.date().year_month_day();
  const pt::time_duration clock = time.time_of_day();
  // Written by hand: this runs for every record of every index write.
  std::string text;
  text.reserve(kTimeWithoutFractionLength + 1 + kMaxFractionDigits);
  const auto digits = [&text](unsigned value, int count) {
    char buffer[8];
    for (int i = count - 1; i >= 0; --i, value /= 10) buffer[i] = char('0' + value % 10);
    text.append(buffer, std::size_t(count));
  };
  digits(unsigned(day.year), 4);
  text.push_back('-');
  text.append(kMonthNames[day.month - 1]);
  text.push_back('-');
  digits(unsigned(day.day), 2);
  text.push_back(' ');
  digits(unsigned(clock.hours()), 2);
  text.push_back(':');
  digits(unsigned(clock.minutes()), 2);
  text.push_back(':');
  digits(unsigned(clock.seconds()), 2);
  // The tick resolution of ptime is microseconds in this build; scale in case it is finer.
  const std::uint64_t fraction = std::uint64_t(clock.fractional_seconds()) *
                                 kMicrosecondsPerSecond / pt::time_duration::ticks_per_second();
  if (fraction != 0) {
    text.push_back('.');
    digits(unsigned(fraction), int(kMaxFractionDigits));
  }
  return text;
}

bool parseCacheTime(std::string_view line, pt::ptime& time) {
  const std::string_view text = trimmed(line);
  // A time starts with its year: the special values are looked for only when it does not.
  if (text.empty() || !isDigit(text[0])) {
    if (text == kNotADateTime) {
      time = pt::ptime(pt::not_a_date_time);
    } else if (text == kPositiveInfinity) {
      time = pt::ptime(pt::pos_infin);
    } else if (text == kNegativeInfinity) {
      time = pt::ptime(pt::neg_infin);
    } else {
      return false;
    }
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
  const std::uint32_t name = packedLetters(text, 5);
  for (unsigned i = 0; i < kPackedMonthNames.size() && month == 0; ++i) {
    if (name == kPackedMonthNames[i]) month = i + 1;
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
  // Counted from 1970 by hand (days from a civil date, proleptic Gregorian): building a date and
  // a duration of its parts costs more than the rest of reading an index record.
  const std::int64_t shiftedYear = std::int64_t(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = shiftedYear / 400;  // years from 1400 on: never negative
  const std::int64_t yearOfEra = shiftedYear - era * 400;
  const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const std::int64_t days = era * 146097 + dayOfEra - 719468;
  const std::int64_t secondsOfDay = (std::int64_t(hours) * 60 + minutes) * 60 + seconds;
  static const pt::ptime epoch(gr::date(1970, 1, 1));
  time = epoch + pt::microseconds((days * 86400 + secondsOfDay) * 1000000 +
                                  std::int64_t(microseconds));
  return true;
}

pt::ptime currentCacheTime() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return pt::ptime(gr::date(1970, 1, 1)) + pt::seconds(long(now.tv_sec)) +
         pt::microseconds(now.tv_nsec / 1000);
}
