#include "engine/values/date.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <ctime>
#include <vector>
#include "base/text.h"
#include "engine/values/date_internal.h"

namespace volmek::engine {

using namespace date_internal;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 31;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int DayOfWeek(const Date& date) {
  // 1970-01-01 was a Thursday (5).
  std::int64_t days = DaysFromCivil(date.year, date.month, date.day);
  return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

void AppendStoredText(const Date& date, std::string& out) {
  if (date.year < 0 || date.year > 9999 || date.month < 0 || date.month > 99 || date.day < 0 ||
      date.day > 99 || date.hour < 0 || date.hour > 99 || date.minute < 0 || date.minute > 99 ||
      date.second < 0 || date.second > 99) {
    fmt::format_to(std::back_inserter(out), "{:04d}-{:02d}-{:02d} {:02d}:{:02d}:{:02d}", date.year,
                   date.month, date.day, date.hour, date.minute, date.second);
    return;
  }
  char text[19] = {'0', '0', '0', '0', '-', '0', '0', '-', '0', '0',
                   ' ', '0', '0', ':', '0', '0', ':', '0', '0'};
  auto put = [&](std::size_t at, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
      text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
  };
  put(0, date.year, 4);
  put(5, date.month, 2);
  put(8, date.day, 2);
  put(11, date.hour, 2);
  put(14, date.minute, 2);
  put(17, date.second, 2);
  out.append(text, sizeof text);
}

std::string ToStoredText(const Date& date) {
  std::string out;
  AppendStoredText(date, out);
  return out;
}

std::optional<Date> ParseStoredText(std::string_view text) {
  if (text.size() != 19) return std::nullopt;
  auto field = [&](std::size_t at, std::size_t width) -> int {
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
      if (!IsDigit(text[i])) return -1;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  if (text[4] != '-' || text[7] != '-') return std::nullopt;
  if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
  Date date{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
  if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 ||
      date.day > DaysInMonth(date.year, date.month) || date.hour < 0 || date.hour > 23 ||
      date.minute < 0 || date.minute > 59 || date.second < 0 || date.second > 59) {
    return std::nullopt;
  }
  return date;
}

std::int64_t JulianDay(const Date& date) {
  return DaysFromCivil(date.year, date.month, date.day) + kJulianDayOfEpoch;
}

Date FromJulianDay(std::int64_t julian_day) {
  std::int64_t days = std::clamp<std::int64_t>(julian_day - kJulianDayOfEpoch, -kDaysToEpoch,
                                               DaysFromCivil(9999, 12, 31));
  Date date;
  CivilFromDays(days, &date.year, &date.month, &date.day);
  return date;
}

std::int64_t ToSeconds(const Date& date) {
  std::int64_t days = DaysFromCivil(date.year, date.month, date.day) + kDaysToEpoch;
  return days * kSecondsPerDay + date.hour * 3600 + date.minute * 60 + date.second;
}

Date FromSeconds(std::int64_t seconds) {
  seconds = std::clamp<std::int64_t>(seconds, 0, kMaxSeconds);
  Date date;
  CivilFromDays(seconds / kSecondsPerDay - kDaysToEpoch, &date.year, &date.month, &date.day);
  std::int64_t in_day = seconds % kSecondsPerDay;
  date.hour = static_cast<int>(in_day / 3600);
  date.minute = static_cast<int>(in_day / 60 % 60);
  date.second = static_cast<int>(in_day % 60);
  return date;
}

OraResult<Date> AddDays(const Date& date, const Decimal& days) {
  VK_ASSIGN_OR_ORA_RETURN(Decimal seconds, Decimal::Mul(days, Decimal::FromInt64(kSecondsPerDay)));
  VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, seconds.Round(0));
  std::optional<std::int64_t> delta = rounded.ToInt64Exact();
  if (!delta || *delta > kMaxSeconds || *delta < -kMaxSeconds) return OraErr(YearOutOfRange());
  std::int64_t total = ToSeconds(date) + *delta;
  if (total < 0 || total > kMaxSeconds) return OraErr(YearOutOfRange());
  return FromSeconds(total);
}

OraResult<Decimal> DaysBetween(const Date& d1, const Date& d2) {
  return Decimal::Div(Decimal::FromInt64(ToSeconds(d1) - ToSeconds(d2)),
                      Decimal::FromInt64(kSecondsPerDay));
}

OraResult<Date> AddMonths(const Date& date, const Decimal& months) {
  std::optional<std::int64_t> count = months.Trunc(0).ToInt64Exact();
  if (!count || *count > 120000 || *count < -120000) return OraErr(YearOutOfRange());
  std::int64_t index = static_cast<std::int64_t>(date.year) * 12 + (date.month - 1) + *count;
  int year = static_cast<int>(index / 12);
  int month = static_cast<int>(index % 12) + 1;
  if (index < 0 || year < 1 || year > 9999) return OraErr(YearOutOfRange());
  Date result = date;
  result.year = year;
  result.month = month;
  int last = DaysInMonth(year, month);
  if (date.day == DaysInMonth(date.year, date.month) || date.day > last) result.day = last;
  return result;
}

OraResult<Decimal> MonthsBetween(const Date& d1, const Date& d2) {
  std::int64_t months = (static_cast<std::int64_t>(d1.year) - d2.year) * 12 + (d1.month - d2.month);
  bool both_last =
      d1.day == DaysInMonth(d1.year, d1.month) && d2.day == DaysInMonth(d2.year, d2.month);
  if (d1.day == d2.day || both_last) return Decimal::FromInt64(months);
  auto in_day = [](const Date& d) { return d.hour * 3600 + d.minute * 60 + d.second; };
  std::int64_t numerator =
      (static_cast<std::int64_t>(d1.day) - d2.day) * kSecondsPerDay + in_day(d1) - in_day(d2);
  VK_ASSIGN_OR_ORA_RETURN(Decimal fraction, Decimal::Div(Decimal::FromInt64(numerator),
                                                         Decimal::FromInt64(31 * kSecondsPerDay)));
  return Decimal::Add(Decimal::FromInt64(months), fraction);
}

Date LastDay(const Date& date) {
  Date result = date;
  result.day = DaysInMonth(date.year, date.month);
  return result;
}

OraResult<Date> NextDay(const Date& date, std::string_view weekday) {
  std::size_t start = weekday.find_first_not_of(' ');
  std::size_t end = weekday.find_last_not_of(' ');
  if (start == std::string_view::npos) return OraErr(NotValidWeekday());
  std::optional<int> wanted = FindName(weekday.substr(start, end - start + 1), kDayNames);
  if (!wanted) return OraErr(NotValidWeekday());
  int ahead = (*wanted + 1 - DayOfWeek(date) + 7) % 7;
  if (ahead == 0) ahead = 7;
  return AddDays(date, Decimal::FromInt64(ahead));
}

namespace {

enum class Unit {
  kDay,
  kMonth,
  kYear,
  kQuarter,
  kHour,
  kMinute,
  kWeek,
  kIsoWeek,
  kIsoYear,
  kCentury
};

OraResult<Unit> UnitOf(std::string_view format) {
  std::string f = UpperCase(format);
  std::size_t start = f.find_first_not_of(' ');
  std::size_t end = f.find_last_not_of(' ');
  f = start == std::string::npos ? std::string() : f.substr(start, end - start + 1);
  if (f == "DD" || f == "DDD" || f == "J") return Unit::kDay;
  if (f == "MM" || f == "MON" || f == "MONTH" || f == "RM") return Unit::kMonth;
  if (f == "YYYY" || f == "YYY" || f == "YY" || f == "Y" || f == "YEAR" || f == "SYYYY" ||
      f == "SYEAR" || f == "RRRR" || f == "RR") {
    return Unit::kYear;
  }
  if (f == "Q") return Unit::kQuarter;
  if (f == "HH" || f == "HH12" || f == "HH24") return Unit::kHour;
  if (f == "MI") return Unit::kMinute;
  if (f == "D" || f == "DY" || f == "DAY") return Unit::kWeek;
  if (f == "CC" || f == "SCC") return Unit::kCentury;
  if (f == "IW") return Unit::kIsoWeek;
  if (f == "IYYY" || f == "IYY" || f == "IY" || f == "I") return Unit::kIsoYear;
  return OraErr(FormatNotRecognized());
}

Date Truncated(const Date& date, Unit unit) {
  Date d = date;
  switch (unit) {
    case Unit::kMinute:
      d.second = 0;
      return d;
    case Unit::kHour:
      d.minute = d.second = 0;
      return d;
    default:
      break;
  }
  d.hour = d.minute = d.second = 0;
  switch (unit) {
    case Unit::kMonth:
      d.day = 1;
      break;
    case Unit::kYear:
      d.month = d.day = 1;
      break;
    case Unit::kQuarter:
      d.month = (d.month - 1) / 3 * 3 + 1;
      d.day = 1;
      break;
    case Unit::kWeek:
      d = FromSeconds(ToSeconds(d) - static_cast<std::int64_t>(DayOfWeek(d) - 1) * kSecondsPerDay);
      break;
    case Unit::kIsoWeek:
      // Monday: DayOfWeek counts from Sunday.
      d = FromSeconds(ToSeconds(d) -
                      static_cast<std::int64_t>((DayOfWeek(d) + 5) % 7) * kSecondsPerDay);
      break;
    case Unit::kIsoYear:
      CivilFromDays(IsoYearStart(IsoWeekOf(d).year), &d.year, &d.month, &d.day);
      break;
    case Unit::kCentury:
      d.year = (d.year - 1) / 100 * 100 + 1;
      d.month = d.day = 1;
      break;
    default:
      break;
  }
  return d;
}

// The start of the unit after the one that holds `start`; ORA-01841 past the year 9999.
OraResult<Date> NextStart(const Date& start, Unit unit) {
  auto after = [&](std::int64_t seconds) -> OraResult<Date> {
    std::int64_t total = ToSeconds(start) + seconds;
    if (total > kMaxSeconds) return OraErr(YearOutOfRange());
    return FromSeconds(total);
  };
  Date d = start;
  switch (unit) {
    case Unit::kDay:
      return after(kSecondsPerDay);
    case Unit::kWeek:
    case Unit::kIsoWeek:
      return after(7 * kSecondsPerDay);
    case Unit::kIsoYear: {
      const int next_year = IsoWeekOf(start).year + 1;
      if (next_year > 9999) return OraErr(YearOutOfRange());
      CivilFromDays(IsoYearStart(next_year), &d.year, &d.month, &d.day);
      return d;
    }
    case Unit::kHour:
      return after(3600);
    case Unit::kMinute:
      return after(60);
    case Unit::kMonth:
      d.month = d.month % 12 + 1;
      if (d.month == 1) ++d.year;
      break;
    case Unit::kQuarter:
      d.month += 3;
      if (d.month > 12) {
        d.month -= 12;
        ++d.year;
      }
      break;
    case Unit::kYear:
      ++d.year;
      break;
    case Unit::kCentury:
      d.year += 100;
      break;
  }
  if (d.year > 9999) return OraErr(YearOutOfRange());
  return d;
}

}  // namespace

OraResult<Date> TruncDate(const Date& date, std::string_view format) {
  VK_ASSIGN_OR_ORA_RETURN(Unit unit, UnitOf(format));
  return Truncated(date, unit);
}

OraResult<Date> RoundDate(const Date& date, std::string_view format) {
  VK_ASSIGN_OR_ORA_RETURN(Unit unit, UnitOf(format));
  Date start = Truncated(date, unit);
  bool up = false;
  switch (unit) {
    case Unit::kDay:
      up = date.hour >= 12;
      break;
    case Unit::kHour:
      up = date.minute >= 30;
      break;
    case Unit::kMinute:
      up = date.second >= 30;
      break;
    case Unit::kMonth:
      up = date.day >= 16;
      break;
    case Unit::kYear:
      up = date.month >= 7;
      break;
    case Unit::kQuarter:
      up = (date.month - 1) % 3 == 2 || ((date.month - 1) % 3 == 1 && date.day >= 16);
      break;
    case Unit::kWeek:
    case Unit::kIsoWeek:
      up = ToSeconds(date) - ToSeconds(start) >= 7 * kSecondsPerDay / 2;
      break;
    case Unit::kIsoYear:
      // As for YEAR: from the first of July of the ISO year on.
      up = DaysFromCivil(date.year, date.month, date.day) >=
           DaysFromCivil(IsoWeekOf(date).year, 7, 1);
      break;
    case Unit::kCentury:
      up = (date.year - 1) % 100 >= 50;
      break;
  }
  if (!up) return start;
  return NextStart(start, unit);
}

Date Now() {
  // The local time is worked out once a second: a loop whose every turn asks for the date
  // (TO_DATE takes its missing fields from it) would otherwise pay the time zone's rules each
  // time.
  thread_local std::time_t converted_at = -1;
  thread_local Date converted;
  std::time_t now = std::time(nullptr);
  if (now != converted_at) {
    std::tm local{};
    localtime_r(&now, &local);
    converted = Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
    converted_at = now;
  }
  return converted;
}

}  // namespace volmek::engine
