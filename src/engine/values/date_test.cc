#include "engine/values/date.h"

#include <gtest/gtest.h>

#include <string>

namespace volmek::engine {
namespace {

const Date kNow{2025, 12, 8, 10, 30, 0};

template <typename T>
int CodeOf(const OraResult<T>& result) {
  return result ? 0 : result.error().code;
}

template <typename T>
std::string MessageOf(const OraResult<T>& result) {
  return result ? "(no error)" : result.error().message;
}

Date Parse(std::string_view text, std::string_view format) {
  auto result = ParseDate(text, format, kNow);
  EXPECT_TRUE(result.has_value()) << text << " / " << format << ": "
                                  << (result ? "" : result.error().message);
  return result.value_or(Date());
}

std::string ParseError(std::string_view text, std::string_view format) {
  auto result = ParseDate(text, format, kNow);
  return result ? "(parsed " + ToStoredText(*result) + ")" : result.error().message;
}

std::string Format(const Date& date, std::string_view format) {
  auto result = FormatDate(date, format);
  return result ? *result : result.error().message;
}

class DateStoredForm : public ::testing::Test {};

TEST_F(DateStoredForm, RoundTripsAndSortsChronologically) {
  Date d{2003, 11, 15, 9, 5, 7};
  EXPECT_EQ(ToStoredText(d), "2003-11-15 09:05:07");
  EXPECT_EQ(ParseStoredText("2003-11-15 09:05:07"), d);
  EXPECT_LT(ToStoredText(Date{999, 1, 1}), ToStoredText(Date{2003, 1, 1}));
}

TEST_F(DateStoredForm, AnythingElseIsNotAStoredDate) {
  for (std::string_view bad : {"", "2003-11-15 ", "2003-13-01", "2003-02-29", "2003-11-15 24:00:00",
                               "2003-11-15 10:60:00", "0000-01-01", "abcd-ef-gh", "15-NOV-03",
                               "2003/11/15", "2003-11-15T10:00:00", "2003-11-15"}) {
    EXPECT_EQ(ParseStoredText(bad), std::nullopt) << bad;
  }
  EXPECT_TRUE(ParseStoredText("2004-02-29 00:00:00").has_value());
}

class DateCalendar : public ::testing::Test {};

TEST_F(DateCalendar, JulianDaysAndWeekdays) {
  EXPECT_EQ(JulianDay(Date{2000, 1, 1}), 2451545);
  EXPECT_EQ(FromJulianDay(2451545), (Date{2000, 1, 1}));
  EXPECT_EQ(DayOfWeek(Date{2025, 12, 8}), 2);  // a Monday
  EXPECT_EQ(DayOfWeek(Date{2000, 1, 1}), 7);   // a Saturday
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(FromSeconds(ToSeconds(Date{9999, 12, 31, 23, 59, 59})),
            (Date{9999, 12, 31, 23, 59, 59}));
  EXPECT_EQ(FromSeconds(ToSeconds(Date{1, 1, 1})), (Date{1, 1, 1}));
}

class DateFormatting : public ::testing::Test {};

TEST_F(DateFormatting, DefaultFormatIsDayMonthAbbreviationTwoDigitYear) {
  EXPECT_EQ(Format(Date{2025, 12, 8}, kDefaultDateFormat), "08-DEC-25");
  EXPECT_EQ(Format(Date{2003, 1, 5}, "DD-MON-RR"), "05-JAN-03");
}

TEST_F(DateFormatting, CommonModels) {
  Date d{2003, 11, 15, 14, 5, 9};
  EXPECT_EQ(Format(d, "YYYY-MM-DD HH24:MI:SS"), "2003-11-15 14:05:09");
  EXPECT_EQ(Format(d, "DD/MM/YYYY"), "15/11/2003");
  EXPECT_EQ(Format(d, "HH:MI AM"), "02:05 PM");
  EXPECT_EQ(Format(d, "hh12:mi p.m."), "02:05 p.m.");
  EXPECT_EQ(Format(d, "Month"), "November ");
  EXPECT_EQ(Format(d, "FMMonth DD, YYYY"), "November 15, 2003");
  EXPECT_EQ(Format(d, "Dy DAY dy"), "Sat SATURDAY  sat");
  EXPECT_EQ(Format(d, "DDD D J"), "319 7 2452959");
  EXPECT_EQ(Format(d, "Q WW W CC RM"), "4 46 3 21 XI  ");
  EXPECT_EQ(Format(d, "SSSSS"), "50709");
  EXPECT_EQ(Format(d, "\"Fecha:\" YYYY"), "Fecha: 2003");
  EXPECT_EQ(Format(d, "YYYYMMDD"), "20031115");
  EXPECT_EQ(Format(Date{2003, 1, 1, 0}, "HH AM"), "12 AM");
  EXPECT_EQ(Format(Date{5, 3, 4}, "FMYYYY-MM-DD"), "5-3-4");
}

TEST_F(DateFormatting, ImpossibleDatesAreRefusedNotLookedUp) {
  EXPECT_EQ(Format(Date{2003, 13, 1}, "MON"), "ORA-01843: not a valid month");
  EXPECT_EQ(Format(Date{2003, 0, 1}, "DD"), "ORA-01843: not a valid month");
  EXPECT_EQ(Format(Date{2003, 2, 30}, "DY"),
            "ORA-01847: day of month must be between 1 and last day of month");
  EXPECT_EQ(Format(Date{0, 1, 1}, "YYYY"),
            "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
}

TEST_F(DateFormatting, UnknownElementIsOra01821) {
  EXPECT_EQ(Format(Date{2003, 1, 1}, "DD-XX-YY"), "ORA-01821: date format not recognized");
  EXPECT_EQ(Format(Date{2003, 1, 1}, "\"unterminated"), "ORA-01821: date format not recognized");
  EXPECT_FALSE(CheckDateFormat("YYYY-MM-DD@").has_value());
  EXPECT_TRUE(CheckDateFormat("YYYY-MM-DD HH24:MI:SS").has_value());
}

TEST_F(DateFormatting, ModelsInTurnKeepTheirOwnMeaning) {
  // More models than are kept parsed at a time, a bad one among them, each used again later:
  // every use gives what that model alone gives.
  const Date d{2003, 11, 15, 14, 5, 9};
  const std::string_view models[] = {
      "DD-MON-YY", "YYYY-MM-DD HH24:MI:SS", "dd/mm/yyyy", "DD-XX-YY", "Month", "HH:MI AM",
      "J",         "\"Fecha:\" YYYY"};
  const std::string expected[] = {"15-NOV-03",  "2003-11-15 14:05:09",
                                  "15/11/2003", "ORA-01821: date format not recognized",
                                  "November ",  "02:05 PM",
                                  "2452959",    "Fecha: 2003"};
  for (int round = 0; round < 3; ++round) {
    for (std::size_t i = 0; i < std::size(models); ++i) {
      EXPECT_EQ(Format(d, models[i]), expected[i]) << models[i] << " round " << round;
    }
  }
  // The model is compared whole, case included.
  EXPECT_EQ(Format(d, "MON"), "NOV");
  EXPECT_EQ(Format(d, "Mon"), "Nov");
  EXPECT_EQ(Format(d, "mon"), "nov");
  EXPECT_EQ(Parse("15/11/2003", "DD/MM/YYYY"), (Date{2003, 11, 15}));
  EXPECT_EQ(ParseError("15-11-2003", "DD-XX-YYYY"), "ORA-01821: date format not recognized");
}

TEST_F(DateFormatting, StoredFormModelWritesTheStoredText) {
  // Fetches hand the stored text out as it stands when this is the session's model.
  for (const Date& d : {Date{1, 1, 1}, Date{9999, 12, 31, 23, 59, 59}, Date{2024, 2, 29, 7, 8, 9},
                        Date{812, 10, 3, 0, 0, 1}}) {
    EXPECT_EQ(Format(d, "YYYY-MM-DD HH24:MI:SS"), ToStoredText(d));
    EXPECT_EQ(ParseStoredText(ToStoredText(d)), d);
  }
  EXPECT_EQ(ToStoredText(Date{812, 10, 3, 0, 0, 1}), "0812-10-03 00:00:01");
}

TEST_F(DateFormatting, AppendingKeepsWhatIsThereAndAddsNothingOnError) {
  std::string out = "x=";
  EXPECT_TRUE(AppendFormattedDate(Date{2003, 1, 5}, "DD.MM.YYYY", out).has_value());
  EXPECT_EQ(out, "x=05.01.2003");
  EXPECT_FALSE(AppendFormattedDate(Date{2003, 1, 5}, "DD-XX", out).has_value());
  EXPECT_FALSE(AppendFormattedDate(Date{2003, 2, 30}, "DD", out).has_value());
  EXPECT_EQ(out, "x=05.01.2003");
}

class DateParsing : public ::testing::Test {};

TEST_F(DateParsing, DefaultFormatAndItsForgivingVariants) {
  EXPECT_EQ(Parse("15-NOV-03", "DD-MON-YY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("15-nov-03", "DD-MON-YY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("15-NOVEMBER-03", "DD-MON-YY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("15/NOV/2003", "DD-MON-YY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("   5-Nov-2003", "DD-MON-YY"), (Date{2003, 11, 5}));
  EXPECT_EQ(Parse("15-NOV-03  ", "DD-MON-YY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("15NOV2003", "DD-MON-YYYY"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("15-nov-2003", "DD-MM-YYYY"), (Date{2003, 11, 15}));
}

TEST_F(DateParsing, TwoDigitYears) {
  EXPECT_EQ(Parse("01-JAN-99", "DD-MON-YY").year, 2099);
  EXPECT_EQ(Parse("01-JAN-99", "DD-MON-RR").year, 1999);
  EXPECT_EQ(Parse("01-JAN-49", "DD-MON-RR").year, 2049);
  EXPECT_EQ(Parse("01-JAN-50", "DD-MON-RR").year, 1950);
}

TEST_F(DateParsing, UnsetFieldsTakeDefaults) {
  EXPECT_EQ(Parse("2003", "YYYY"), (Date{2003, 12, 1}));
  EXPECT_EQ(Parse("10:15", "HH24:MI"), (Date{2025, 12, 1, 10, 15, 0}));
}

TEST_F(DateParsing, FullModels) {
  EXPECT_EQ(Parse("2003-11-15 14:05:09", "YYYY-MM-DD HH24:MI:SS"), (Date{2003, 11, 15, 14, 5, 9}));
  EXPECT_EQ(Parse("20031115", "YYYYMMDD"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("02:05 PM", "HH:MI AM"), (Date{2025, 12, 1, 14, 5, 0}));
  EXPECT_EQ(Parse("12:00 AM", "HH:MI AM"), (Date{2025, 12, 1, 0, 0, 0}));
  EXPECT_EQ(Parse("2452959", "J"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("2003 319", "YYYY DDD"), (Date{2003, 11, 15}));
  EXPECT_EQ(Parse("XI 2003", "RM YYYY"), (Date{2003, 11, 1}));
  EXPECT_EQ(Parse("Sat 15-NOV-03", "DY DD-MON-YY"), (Date{2003, 11, 15}));
}

TEST_F(DateParsing, ErrorsAsOracleReportsThem) {
  EXPECT_EQ(ParseError("AB-JAN-99", "DD-MON-YY"),
            "ORA-01858: a non-numeric character was found where a numeric was expected");
  EXPECT_EQ(ParseError("2003-11-15", "DD-MON-YY"),
            "ORA-01861: literal does not match format string");
  EXPECT_EQ(ParseError("01-XYZ-99", "DD-MON-YY"), "ORA-01843: not a valid month");
  EXPECT_EQ(ParseError("32-JAN-99", "DD-MON-YY"),
            "ORA-01847: day of month must be between 1 and last day of month");
  EXPECT_EQ(ParseError("29-FEB-2003", "DD-MON-YYYY"),
            "ORA-01839: date not valid for month specified");
  EXPECT_EQ(ParseError("31-APR-2003", "DD-MON-YYYY"),
            "ORA-01839: date not valid for month specified");
  EXPECT_EQ(ParseError("29-FEB-2004", "DD-MON-YYYY"), "(parsed 2004-02-29 00:00:00)");
  EXPECT_EQ(ParseError("01-JAN-99 10:00", "DD-MON-YY"),
            "ORA-01830: date format picture ends before converting entire input string");
  EXPECT_EQ(ParseError("01-JAN", "DD-MON-YY"),
            "ORA-01840: input value not long enough for date format");
  EXPECT_EQ(ParseError("0000-01-01", "YYYY-MM-DD"),
            "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
  EXPECT_EQ(ParseError("2003-13-01", "YYYY-MM-DD"), "ORA-01843: not a valid month");
  EXPECT_EQ(ParseError("25:00", "HH24:MI"), "ORA-01850: hour must be between 0 and 23");
  EXPECT_EQ(ParseError("13:00", "HH:MI"), "ORA-01849: hour must be between 1 and 12");
  EXPECT_EQ(ParseError("10:61", "HH24:MI"), "ORA-01851: minute must be between 0 and 59");
  EXPECT_EQ(ParseError("10:00:60", "HH24:MI:SS"), "ORA-01852: seconds must be between 0 and 59");
  EXPECT_EQ(ParseError("", "DD-MON-YY"), "ORA-01840: input value not long enough for date format");
  EXPECT_EQ(ParseError("FOO 15-NOV-03", "DY DD-MON-YY"), "ORA-01846: not a valid day of the week");
  EXPECT_EQ(ParseError("15-NOV-03", "DD-MON-YY-ZZ"), "ORA-01821: date format not recognized");
}

TEST_F(DateParsing, HugeOrStrangeInputNeverCrashes) {
  std::string huge(100000, '9');
  EXPECT_EQ(ParseError(huge, "YYYY"),
            "ORA-01830: date format picture ends before converting entire input string");
  std::string letters(100000, 'x');
  EXPECT_EQ(ParseError(letters, "MON"), "ORA-01843: not a valid month");
  EXPECT_EQ(ParseError(std::string("\0\xff\x80", 3), "DD"),
            "ORA-01858: a non-numeric character was found where a numeric was expected");
}

class DateArithmetic : public ::testing::Test {};

Decimal Num(std::string_view text) { return *Decimal::Parse(text); }

TEST_F(DateArithmetic, AddingDaysAndFractions) {
  EXPECT_EQ(*AddDays(Date{2003, 12, 31}, Num("1")), (Date{2004, 1, 1}));
  EXPECT_EQ(*AddDays(Date{2003, 1, 1}, *Decimal::Div(Num("1"), Num("24"))),
            (Date{2003, 1, 1, 1, 0, 0}));
  EXPECT_EQ(*AddDays(Date{2003, 1, 1}, Num("-0.5")), (Date{2002, 12, 31, 12, 0, 0}));
  EXPECT_EQ(CodeOf(AddDays(Date{9999, 12, 31}, Num("1"))), 1841);
  EXPECT_EQ(CodeOf(AddDays(Date{1, 1, 1}, Num("-1"))), 1841);
  EXPECT_EQ(CodeOf(AddDays(Date{2003, 1, 1}, Num("1e100"))), 1841);
}

TEST_F(DateArithmetic, DifferencesAreDaysWithFraction) {
  EXPECT_EQ(DaysBetween(Date{2003, 1, 2}, Date{2003, 1, 1})->ToCanonical(), "1");
  EXPECT_EQ(DaysBetween(Date{2003, 1, 1, 12}, Date{2003, 1, 2})->ToCanonical(), "-0.5");
}

TEST_F(DateArithmetic, AddMonthsKeepsTheLastDayOfTheMonth) {
  EXPECT_EQ(*AddMonths(Date{2003, 1, 31}, Num("1")), (Date{2003, 2, 28}));
  EXPECT_EQ(*AddMonths(Date{2003, 2, 28}, Num("1")), (Date{2003, 3, 31}));
  EXPECT_EQ(*AddMonths(Date{2003, 1, 15, 10}, Num("-13")), (Date{2001, 12, 15, 10}));
  EXPECT_EQ(CodeOf(AddMonths(Date{9999, 12, 1}, Num("1"))), 1841);
  EXPECT_EQ(CodeOf(AddMonths(Date{2003, 1, 1}, Num("1e30"))), 1841);
}

TEST_F(DateArithmetic, MonthsBetween) {
  EXPECT_EQ(MonthsBetween(Date{2003, 3, 15}, Date{2003, 1, 15})->ToCanonical(), "2");
  EXPECT_EQ(MonthsBetween(Date{2003, 2, 28}, Date{2003, 1, 31})->ToCanonical(), "1");
  EXPECT_EQ(MonthsBetween(Date{2003, 1, 1}, Date{2003, 3, 1})->ToCanonical(), "-2");
  auto partial = MonthsBetween(Date{2003, 2, 16}, Date{2003, 1, 1});
  EXPECT_EQ(partial->Round(6)->ToCanonical(), "1.483871");
}

TEST_F(DateArithmetic, LastDayNextDay) {
  EXPECT_EQ(LastDay(Date{2004, 2, 10, 8}), (Date{2004, 2, 29, 8}));
  EXPECT_EQ(*NextDay(Date{2025, 12, 8}, "monday"), (Date{2025, 12, 15}));
  EXPECT_EQ(*NextDay(Date{2025, 12, 8}, "FRI"), (Date{2025, 12, 12}));
  EXPECT_EQ(MessageOf(NextDay(Date{2025, 12, 8}, "someday")),
            "ORA-01846: not a valid day of the week");
}

TEST_F(DateArithmetic, TruncAndRound) {
  Date d{2003, 11, 16, 14, 35, 40};
  EXPECT_EQ(*TruncDate(d, "DD"), (Date{2003, 11, 16}));
  EXPECT_EQ(*TruncDate(d, "mm"), (Date{2003, 11, 1}));
  EXPECT_EQ(*TruncDate(d, "YYYY"), (Date{2003, 1, 1}));
  EXPECT_EQ(*TruncDate(d, "Q"), (Date{2003, 10, 1}));
  EXPECT_EQ(*TruncDate(d, "HH24"), (Date{2003, 11, 16, 14, 0, 0}));
  EXPECT_EQ(*TruncDate(d, "MI"), (Date{2003, 11, 16, 14, 35, 0}));
  EXPECT_EQ(*TruncDate(d, "DAY"), (Date{2003, 11, 16}));  // a Sunday
  EXPECT_EQ(*TruncDate(d, "CC"), (Date{2001, 1, 1}));
  EXPECT_EQ(*RoundDate(d, "DD"), (Date{2003, 11, 17}));
  EXPECT_EQ(*RoundDate(d, "MM"), (Date{2003, 12, 1}));
  EXPECT_EQ(*RoundDate(Date{2003, 11, 15}, "MM"), (Date{2003, 11, 1}));
  EXPECT_EQ(*RoundDate(d, "YYYY"), (Date{2004, 1, 1}));
  EXPECT_EQ(*RoundDate(Date{2003, 12, 31, 23, 59, 30}, "MI"), (Date{2004, 1, 1, 0, 0, 0}));
  EXPECT_EQ(CodeOf(RoundDate(Date{9999, 12, 31, 23}, "DD")), 1841);
  EXPECT_EQ(MessageOf(TruncDate(d, "XX")), "ORA-01821: date format not recognized");
}

}  // namespace
}  // namespace volmek::engine
