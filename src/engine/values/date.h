// Oracle DATE values: year 1 to 9999, month, day, hour, minute and second; no fractions and no
// time zone.
//
// Stored form (schema.h): "YYYY-MM-DD HH24:MI:SS", e.g. "2003-11-15 00:00:00"; it sorts
// chronologically as text. Dates travel between SQL functions in that form as well.
//
// Format models (TO_CHAR, TO_DATE, NLS_DATE_FORMAT) understand, case-insensitively:
//   YYYY YYY YY Y RRRR RR  year (RR: 00-49 give 20xx, 50-99 give 19xx)
//   MM MON MONTH RM        month as number, "NOV", "NOVEMBER" (padded to 9), roman numeral
//   DD DDD D DY DAY        day of month, day of year, day of week (1 = Sunday), "SAT", "SATURDAY"
//   HH HH12 HH24 MI SS     hours (HH = HH12), minutes, seconds; SSSSS seconds past midnight
//   AM PM A.M. P.M.        meridian indicator
//   J                      Julian day number
//   Q WW W                 quarter, week of year, week of month
//   FM FX                  fill mode (no padding) and exact matching
//   - / , . ; : blank      punctuation, copied as is; "text" in double quotes copied as is
// The case of the letters in a model picks the case of the words: MON gives "NOV", Mon "Nov",
// mon "nov".
//
// Text to date is forgiving, as Oracle's is without FX: letters in any case, MON also accepts the
// full month name and MONTH the abbreviation, YY/RR also take four-digit years, any punctuation
// matches any punctuation, leading blanks are ignored, fields may have fewer digits than the
// model. Unset fields default to: the current year and month, day 1, time 00:00:00.
//
// Errors, as Oracle reports them:
//   ORA-01821: date format not recognized
//   ORA-01858: a non-numeric character was found where a numeric was expected
//   ORA-01861: literal does not match format string
//   ORA-01843: not a valid month
//   ORA-01847: day of month must be between 1 and last day of month
//   ORA-01830: date format picture ends before converting entire input string
//   ORA-01840: input value not long enough for date format
//   ORA-01841: (full) year must be between -4713 and +9999, and not be 0
//   ORA-01850: hour must be between 0 and 23     ORA-01849: hour must be between 1 and 12
//   ORA-01851: minute must be between 0 and 59   ORA-01852: seconds must be between 0 and 59
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/values/number.h"

namespace volmek::engine {

inline constexpr std::string_view kDefaultDateFormat = "DD-MON-RR";

struct Date {
  int year = 1;  // 1..9999
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const Date&, const Date&) = default;
};

// The stored form "YYYY-MM-DD HH24:MI:SS".
std::string ToStoredText(const Date& date);
void AppendStoredText(const Date& date, std::string& out);
// Reads the stored form exactly; nullopt for anything else (also "YYYY-MM-DD" alone, which is
// ordinary text to be read with a format model) or for an impossible date.
std::optional<Date> ParseStoredText(std::string_view text);

// Days since 1 January 4713 BC in the proleptic Julian/Gregorian reckoning Oracle uses: the
// J format element. 1 January 2000 is day 2451545.
std::int64_t JulianDay(const Date& date);
// REQUIRES: a day of years 1..9999 (1721424..5373484); others are clamped.
Date FromJulianDay(std::int64_t julian_day);
// Seconds since 0001-01-01 00:00:00, and back (clamped to 1..9999).
std::int64_t ToSeconds(const Date& date);
Date FromSeconds(std::int64_t seconds);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(const Date& date);

// TO_CHAR(date, format). ORA-01821 for an unknown format element.
OraResult<std::string> FormatDate(const Date& date, std::string_view format);
// The same, appended to `out` (nothing appended on failure).
OraStatus AppendFormattedDate(const Date& date, std::string_view format, std::string& out);
// TO_DATE(text, format); `now` gives the defaults for the year and the month.
OraResult<Date> ParseDate(std::string_view text, std::string_view format, const Date& now);
// ORA-01821 when `format` is not a valid date format model (for alter session).
OraStatus CheckDateFormat(std::string_view format);

// date + days (fractions are parts of a day, rounded to the second). ORA-01841 outside 1..9999.
OraResult<Date> AddDays(const Date& date, const Decimal& days);
// d1 - d2 in days, with the fraction (exact to the second as decimal division gives it).
OraResult<Decimal> DaysBetween(const Date& d1, const Date& d2);
// ADD_MONTHS: the last day of a month maps to the last day of the target month.
OraResult<Date> AddMonths(const Date& date, const Decimal& months);
// MONTHS_BETWEEN(d1, d2): integral when both are the same day of month or both last days,
// otherwise the difference of days counts as days / 31.
OraResult<Decimal> MonthsBetween(const Date& d1, const Date& d2);
Date LastDay(const Date& date);
// NEXT_DAY(date, 'MONDAY' or 'MON'): the first such weekday after date. ORA-01846 otherwise.
OraResult<Date> NextDay(const Date& date, std::string_view weekday);
// TRUNC(date[, fmt]) and ROUND(date[, fmt]) with fmt DD (default), MM/MON/MONTH, YYYY/YEAR/YY,
// Q, HH/HH24/HH12, MI, D/DY/DAY (start of the week, Sunday), IW (Monday), IYYY/IYY/IY/I (the
// Monday of ISO week 1), CC. ORA-01821 otherwise.
OraResult<Date> TruncDate(const Date& date, std::string_view format);
OraResult<Date> RoundDate(const Date& date, std::string_view format);

// The current local date and time.
Date Now();

}  // namespace volmek::engine
