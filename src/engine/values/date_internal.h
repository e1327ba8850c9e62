// What the calendar (date.cc) and the format models (date_format.cc) share: month and day
// names, the day count of the proleptic Gregorian calendar, and the errors both raise.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/values/date.h"

namespace volmek::engine::date_internal {

inline constexpr std::array<std::string_view, 12> kMonthNames = {
    "JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
    "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
inline constexpr std::array<std::string_view, 7> kDayNames = {
    "SUNDAY", "MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY"};
inline constexpr std::array<std::string_view, 12> kRomanMonths = {
    "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};
inline constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 0001-01-01 to 1970-01-01 in the proleptic Gregorian calendar.
inline constexpr std::int64_t kDaysToEpoch = 719162;
inline constexpr std::int64_t kJulianDayOfEpoch = 2440588;

inline OraError FormatNotRecognized() { return Ora(1821, "date format not recognized"); }
inline OraError YearOutOfRange() {
  return Ora(1841, "(full) year must be between -4713 and +9999, and not be 0");
}
inline OraError NotNumeric() {
  return Ora(1858, "a non-numeric character was found where a numeric was expected");
}
inline OraError LiteralMismatch() { return Ora(1861, "literal does not match format string"); }
inline OraError NotValidMonth() { return Ora(1843, "not a valid month"); }
inline OraError NotValidWeekday() { return Ora(1846, "not a valid day of the week"); }
inline OraError InputTooShort() { return Ora(1840, "input value not long enough for date format"); }

inline char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Days since 1970-01-01 (H. Hinnant's days_from_civil).
constexpr std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

inline void CivilFromDays(std::int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

inline constexpr std::int64_t kMaxSeconds =
    (DaysFromCivil(9999, 12, 31) + kDaysToEpoch + 1) * 86400 - 1;

inline int DayOfYear(const Date& date) {
  return static_cast<int>(DaysFromCivil(date.year, date.month, date.day) -
                          DaysFromCivil(date.year, 1, 1)) +
         1;
}
// ISO 8601 weeks: Monday is the first day, and week 1 is the one holding the year's first
// Thursday, so the ISO year of the first or last days of January or December can differ from
// their calendar year.
struct IsoWeek {
  int year;
  int week;
};
inline IsoWeek IsoWeekOf(const Date& date) {
  const std::int64_t days = DaysFromCivil(date.year, date.month, date.day);
  const std::int64_t monday_based = ((days % 7) + 7 + 3) % 7;  // 0 Monday ... 6 Sunday
  const std::int64_t thursday = days - monday_based + 3;
  int year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(thursday, &year, &month, &day);
  return {year, static_cast<int>((thursday - DaysFromCivil(year, 1, 1)) / 7) + 1};
}
// Days since 1970-01-01 of the Monday that starts ISO week 1 of `iso_year`.
inline std::int64_t IsoYearStart(int iso_year) {
  const std::int64_t january4 = DaysFromCivil(iso_year, 1, 4);
  return january4 - ((january4 % 7) + 7 + 3) % 7;
}

inline bool EqualsNoCase(std::string_view a, std::string_view upper) {
  if (a.size() != upper.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != upper[i]) return false;
  }
  return true;
}

// The index of `word` among full names or their three-letter abbreviations.
template <std::size_t N>
std::optional<int> FindName(std::string_view word, const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i) {
    if (EqualsNoCase(word, names[i]) || EqualsNoCase(word, names[i].substr(0, 3))) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

}  // namespace volmek::engine::date_internal
