// Dates and times: now, clock, date, datenum, datestr, etime, weekday and cputime. A date number
// counts days in the proleptic Gregorian calendar from year 0 (1 January of year 0 is day 1),
// with the time of day as the fraction; a date vector is [year month day hour minute second].
// The current time is local time.

#include <time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/ops/support.hpp"

namespace q::ops::detail {
namespace {

// The date number of 1 January 1970.
constexpr std::int64_t kUnixEpoch = 719529;
// Years further from 0 are refused, so that day counts stay exact.
constexpr double kMaximumYear = 1e8;
constexpr double kSecondsPerDay = 86400;

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",
                               "June",    "July",     "August",    "September", "October",
                               "November", "December"};
const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

// Days from 1 January 1970 to a civil date (month 1 to 12); the algorithm counts 400-year eras
// of 146097 days from 1 March of year 0.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yearOfEra = y - era * 400;
  const std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct Civil {
  std::int64_t year, month, day;
};

Civil civilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t dayOfEra = z - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yearOfEra + era * 400 + (month <= 2), month, dayOfYear - (153 * mp + 2) / 5 + 1};
}

// The date number of the first day of a month; months outside 1 to 12 carry into the years.
// Raises for a month that is not whole and for years out of range.
double monthStart(double year, double month, const char* function) {
  if (month != std::floor(month) || year != std::floor(year)) {
    raise("Q:invalidInput", std::string(function) + ": years and months must be whole numbers.");
  }
  const double y = year + std::floor((month - 1) / 12);
  if (!(std::fabs(y) <= kMaximumYear)) {
    raise("Q:invalidInput", std::string(function) + ": the year is out of range.");
  }
  const double m = month - 12 * std::floor((month - 1) / 12);
  return static_cast<double>(daysFromCivil(static_cast<std::int64_t>(y),
                                           static_cast<std::int64_t>(m), 1) +
                             kUnixEpoch);
}

// Numbers and logicals; char arguments are texts here.
bool isNumber(const zyArray* a) {
  return isNumericClass(a->classId()) || a->classId() == zyLOGICAL_CLASS;
}

// The date number of a date vector's parts (NaN when one is NaN).
double dateNumber(const double* v, const char* function) {
  for (int k = 0; k < 6; ++k) {
    if (std::isnan(v[k])) return NAN;
    if (std::isinf(v[k])) raise("Q:invalidInput", std::string(function) + ": infinite date.");
  }
  return monthStart(v[0], v[1], function) + (v[2] - 1) +
         (v[3] * 3600 + v[4] * 60 + v[5]) / kSecondsPerDay;
}

// The rows of an n-by-3 or n-by-6 numeric array as date vectors (missing parts 0).
std::vector<std::array<double, 6>> dateVectorRows(const zyArray* a, const char* function) {
  if (!isNumber(a) || isComplex(a) || a->numberOfDimensions() != 2 ||
      (a->dimensions()[1] != 3 && a->dimensions()[1] != 6)) {
    raise("Q:invalidInput", std::string(function) + ": expected date vectors (3 or 6 columns).");
  }
  FullArray full(a);
  const DoubleValues values(full.get());
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  std::vector<std::array<double, 6>> rows(m, std::array<double, 6>{});
  for (size_t i = 0; i < m; ++i) {
    for (size_t j = 0; j < n; ++j) rows[i][j] = values[i + m * j];
  }
  return rows;
}

// The local time now, as a date vector (seconds with their fraction).
std::array<double, 6> clockNow() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local;
  const time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  return {static_cast<double>(local.tm_year) + 1900, static_cast<double>(local.tm_mon) + 1,
          static_cast<double>(local.tm_mday),        static_cast<double>(local.tm_hour),
          static_cast<double>(local.tm_min),
          static_cast<double>(local.tm_sec) + static_cast<double>(now.tv_nsec) / 1e9};
}

// ---- Formatting ---------------------------------------------------------------------------

// A date number split into its parts, rounded to the millisecond or to the second.
struct Parts {
  Civil civil;
  int weekday;  // 0 for Sunday
  std::int64_t hour, minute, second, millisecond;
};

Parts partsOf(double number, bool milliseconds, const char* function) {
  if (!std::isfinite(number) || std::fabs(number) > kMaximumYear * 366) {
    raise("Q:invalidInput", std::string(function) + ": the date is not finite or out of range.");
  }
  std::int64_t day = static_cast<std::int64_t>(std::floor(number));
  const std::int64_t unit = milliseconds ? 86400000 : 86400;
  std::int64_t ticks = std::llround((number - std::floor(number)) * static_cast<double>(unit));
  if (ticks >= unit) {
    ++day;
    ticks -= unit;
  }
  const std::int64_t ms = milliseconds ? ticks : ticks * 1000;
  Parts parts;
  parts.civil = civilFromDays(day - kUnixEpoch);
  parts.weekday = static_cast<int>(((day % 7) + 7 + 5) % 7);
  parts.hour = ms / 3600000;
  parts.minute = ms / 60000 % 60;
  parts.second = ms / 1000 % 60;
  parts.millisecond = ms % 1000;
  return parts;
}

std::string numberText(std::int64_t v, int digits) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", digits, static_cast<long long>(v));
  return buffer;
}

// Formats a date with the symbols yyyy, yy, mmmm, mmm, mm, m (the month's initial), dddd, ddd,
// dd, d (the weekday's initial), HH, MM, SS, FFF and AM or PM (a 12-hour clock); other
// characters stand for themselves.
std::string formatDate(double number, const std::string& format, const char* function) {
  const bool milliseconds = format.find("FFF") != std::string::npos;
  const bool twelveHours =
      format.find("AM") != std::string::npos || format.find("PM") != std::string::npos;
  const Parts p = partsOf(number, milliseconds, function);
  const std::string month = kMonths[p.civil.month - 1], weekday = kWeekdays[p.weekday];
  std::string out;
  for (size_t i = 0; i < format.size();) {
    auto at = [&](const char* symbol) {
      const size_t n = std::char_traits<char>::length(symbol);
      if (format.compare(i, n, symbol) != 0) return false;
      i += n;
      return true;
    };
    if (at("yyyy")) {
      out += numberText(p.civil.year, 4);
    } else if (at("yy")) {
      out += numberText(((p.civil.year % 100) + 100) % 100, 2);
    } else if (at("mmmm")) {
      out += month;
    } else if (at("mmm")) {
      out += month.substr(0, 3);
    } else if (at("mm")) {
      out += numberText(p.civil.month, 2);
    } else if (at("m")) {
      out += month[0];
    } else if (at("dddd")) {
      out += weekday;
    } else if (at("ddd")) {
      out += weekday.substr(0, 3);
    } else if (at("dd")) {
      out += numberText(p.civil.day, 2);
    } else if (at("d")) {
      out += weekday[0];
    } else if (at("HH")) {
      out += numberText(twelveHours ? (p.hour + 11) % 12 + 1 : p.hour, 2);
    } else if (at("MM")) {
      out += numberText(p.minute, 2);
    } else if (at("SS")) {
      out += numberText(p.second, 2);
    } else if (at("FFF")) {
      out += numberText(p.millisecond, 3);
    } else if (at("AM") || at("PM")) {
      out += p.hour < 12 ? "AM" : "PM";
    } else {
      out += format[i++];
    }
  }
  return out;
}

// The numbered formats.
std::string numberedFormat(double n) {
  switch (static_cast<int>(n == std::floor(n) ? n : -1)) {
    case 0:
      return "dd-mmm-yyyy HH:MM:SS";
    case 1:
      return "dd-mmm-yyyy";
    case 2:
      return "mm/dd/yy";
    case 13:
      return "HH:MM:SS";
    case 23:
      return "mm/dd/yyyy";
    case 29:
      return "yyyy-mm-dd";
    case 30:
      return "yyyymmddTHHMMSS";
    case 31:
      return "yyyy-mm-dd HH:MM:SS";
    default:
      raise("Q:invalidInput", "datestr: the numbered formats are 0, 1, 2, 13, 23, 29, 30, 31.");
  }
}

// A char matrix of the rows (blank-padded), or a text for one row.
ArrayPtr charRows(const std::vector<std::string>& lines) {
  std::vector<std::u16string> rows;
  size_t width = 0;
  for (const std::string& line : lines) {
    rows.push_back(utf16(line));
    width = std::max(width, rows.back().size());
  }
  if (rows.size() == 1) return text(rows[0]);
  ArrayPtr out = checked(zyCreateCharMatrix(rows.size(), width));
  zyChar* units = dataOf<zyChar>(out.get());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (size_t j = 0; j < width; ++j) {
      units[i + rows.size() * j] = j < rows[i].size() ? rows[i][j] : u' ';
    }
  }
  return out;
}

// ---- Built-ins ----------------------------------------------------------------------------

void clockBuiltin(Call& call) {
  call.check(0, 0, 1);
  const std::array<double, 6> now = clockNow();
  call.out(0, rowVector(std::vector<double>(now.begin(), now.end())));
}

void nowBuiltin(Call& call) {
  call.check(0, 0, 1);
  call.out(0, scalar(dateNumber(clockNow().data(), "now")));
}

void dateBuiltin(Call& call) {
  call.check(0, 0, 1);
  std::array<double, 6> now = clockNow();
  now[3] = now[4] = now[5] = 0;
  call.out(0, text(formatDate(dateNumber(now.data(), "date"), "dd-mmm-yyyy", "date")));
}

// datenum(y, mo, d[, h[, mi[, s]]]) element by element (scalars go with every element), or
// datenum(v) of an n-by-3 or n-by-6 matrix of date vectors (an n-by-1 result).
void datenumBuiltin(Call& call) {
  call.check(1, 6, 1);
  if (call.nargin == 1) {
    const auto rows = dateVectorRows(call.in(0), "datenum");
    std::vector<double> numbers;
    for (const auto& row : rows) numbers.push_back(dateNumber(row.data(), "datenum"));
    return call.out(0, columnVector(numbers));
  }
  if (call.nargin == 2) raise("Q:invalidInput", "datenum: expected a year, a month and a day.");
  std::vector<RealValues> parts;
  const zyArray* shape = call.in(0);
  for (int k = 0; k < call.nargin; ++k) {
    if (!isNumber(call.in(k))) raise("Q:invalidInput", "datenum: the parts must be numbers.");
    parts.push_back(realValues(call.in(k), "datenum", "each part"));
    if (call.in(k)->numberOfElements() != 1) {
      if (shape->numberOfElements() != 1 &&
          shape->numberOfElements() != call.in(k)->numberOfElements()) {
        raise("Q:sizeMismatch", "datenum: the parts must be scalars or have one size.");
      }
      shape = call.in(k);
    }
  }
  const size_t count = shape->numberOfElements();
  ArrayPtr out = createDouble(dimsOf(shape));
  for (size_t i = 0; i < count; ++i) {
    double v[6] = {0, 0, 0, 0, 0, 0};
    for (size_t k = 0; k < parts.size(); ++k) v[k] = parts[k][parts[k].size() == 1 ? 0 : i];
    dataOf<double>(out.get())[i] = dateNumber(v, "datenum");
  }
  call.out(0, std::move(out));
}

// datestr(d[, format]): one row per date number, or per row of an n-by-6 matrix of date vectors
// (n-by-3 too when every month is 1 to 12 and every day 1 to 31, whole).
void datestrBuiltin(Call& call) {
  call.check(1, 2, 1);
  const zyArray* a = call.in(0);
  if (!isNumber(a) || isComplex(a)) {
    raise("Q:invalidInput", "datestr: expected date numbers or date vectors.");
  }
  std::string format = "dd-mmm-yyyy HH:MM:SS";
  if (call.nargin == 2) {
    format = isNumber(call.in(1))
                 ? numberedFormat(scalarArgument(call.in(1), "datestr", "the format number"))
                 : textArgument(call.in(1), "datestr");
  }
  FullArray full(a);
  const DoubleValues values(full.get());
  const size_t m = a->numberOfDimensions() == 2 ? a->dimensions()[0] : 0;
  const size_t columns = a->numberOfDimensions() == 2 ? a->dimensions()[1] : 0;
  bool vectors = m > 0 && columns == 6;
  if (m > 0 && columns == 3) {
    vectors = true;
    for (size_t i = 0; i < m; ++i) {
      const double month = values[i + m], day = values[i + 2 * m];
      vectors = vectors && month >= 1 && month <= 12 && month == std::floor(month) &&
                day >= 1 && day <= 31 && day == std::floor(day);
    }
  }
  std::vector<double> numbers;
  if (vectors) {
    for (const auto& row : dateVectorRows(a, "datestr")) {
      numbers.push_back(dateNumber(row.data(), "datestr"));
    }
  } else {
    numbers.assign(values.data(), values.data() + a->numberOfElements());
  }
  if (numbers.empty()) return call.out(0, text(std::u16string()));
  std::vector<std::string> lines;
  for (double number : numbers) lines.push_back(formatDate(number, format, "datestr"));
  call.out(0, charRows(lines));
}

// etime(t1, t0): the seconds from the date vectors t0 to t1 (one per row); whole days count
// exactly.
void etimeBuiltin(Call& call) {
  call.check(2, 2, 1);
  const auto later = dateVectorRows(call.in(0), "etime");
  const auto earlier = dateVectorRows(call.in(1), "etime");
  if (later.size() != earlier.size() || call.in(0)->dimensions()[1] != 6 ||
      call.in(1)->dimensions()[1] != 6) {
    raise("Q:sizeMismatch", "etime: expected two date vectors (rows of 6) of one size.");
  }
  std::vector<double> seconds;
  for (size_t i = 0; i < later.size(); ++i) {
    const auto& a = later[i];
    const auto& b = earlier[i];
    double days = NAN;
    if (std::all_of(a.begin(), a.end(), [](double v) { return std::isfinite(v); }) &&
        std::all_of(b.begin(), b.end(), [](double v) { return std::isfinite(v); })) {
      days = monthStart(a[0], a[1], "etime") - monthStart(b[0], b[1], "etime") + (a[2] - b[2]);
    }
    seconds.push_back(days * kSecondsPerDay + (a[3] - b[3]) * 3600 + (a[4] - b[4]) * 60 +
                      (a[5] - b[5]));
  }
  call.out(0, later.size() == 1 ? scalar(seconds[0]) : columnVector(seconds));
}

// [n, name] = weekday(d[, 'short' | 'long']): 1 for Sunday to 7 for Saturday, with the name
// (three letters, or whole and blank-padded) in a row per date.
void weekdayBuiltin(Call& call) {
  call.check(1, 2, 2);
  if (!isNumber(call.in(0))) raise("Q:invalidInput", "weekday: expected date numbers.");
  const RealValues days = realValues(call.in(0), "weekday", "the date");
  bool longNames = false;
  if (call.nargin == 2) {
    const std::string form = lower(textArgument(call.in(1), "weekday"));
    if (form != "short" && form != "long") {
      raise("Q:invalidInput", "weekday: the form must be 'short' or 'long'.");
    }
    longNames = form == "long";
  }
  ArrayPtr out = createDouble(days.dims);
  std::vector<std::string> names;
  for (size_t i = 0; i < days.size(); ++i) {
    const Parts p = partsOf(std::floor(days[i]), false, "weekday");
    dataOf<double>(out.get())[i] = p.weekday + 1;
    const std::string name = kWeekdays[p.weekday];
    names.push_back(longNames ? name : name.substr(0, 3));
  }
  call.out(0, std::move(out));
  if (call.nargout > 1) call.out(1, names.empty() ? text(std::u16string()) : charRows(names));
}

// cputime: the processor time this process has used, in seconds.
void cputimeBuiltin(Call& call) {
  call.check(0, 0, 1);
  struct timespec used;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  call.out(0, scalar(static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9));
}

}  // namespace

void addDateBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"clock", builtin<clockBuiltin>});
  table.push_back({"cputime", builtin<cputimeBuiltin>});
  table.push_back({"date", builtin<dateBuiltin>});
  table.push_back({"datenum", builtin<datenumBuiltin>});
  table.push_back({"datestr", builtin<datestrBuiltin>});
  table.push_back({"etime", builtin<etimeBuiltin>});
  table.push_back({"now", builtin<nowBuiltin>});
  table.push_back({"weekday", builtin<weekdayBuiltin>});
}

}  // namespace q::ops::detail
