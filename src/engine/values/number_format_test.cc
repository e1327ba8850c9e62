#include "engine/values/number_format.h"

#include <gtest/gtest.h>

#include <string>

namespace volmek::engine {
namespace {

std::string Fmt(std::string_view number, std::string_view format) {
  auto value = Decimal::Parse(number);
  if (!value) return value.error().message;
  auto text = FormatNumber(*value, format);
  return text ? *text : text.error().message;
}

std::string Read(std::string_view text, std::string_view format) {
  auto value = ParseNumber(text, format);
  return value ? value->ToCanonical() : value.error().message;
}

class NumberFormatting : public ::testing::Test {};

TEST_F(NumberFormatting, NinesLeaveASignSlotAndBlankLeadingZeros) {
  EXPECT_EQ(Fmt("12.5", "999.99"), "  12.50");
  EXPECT_EQ(Fmt("-12.5", "999.99"), " -12.50");
  EXPECT_EQ(Fmt("0.5", "999.99"), "    .50");
  EXPECT_EQ(Fmt("0", "999"), "   0");
  EXPECT_EQ(Fmt("0", "999.99"), "    .00");
  EXPECT_EQ(Fmt("123", "999"), " 123");
  EXPECT_EQ(Fmt("-123", "999"), "-123");
}

TEST_F(NumberFormatting, ZerosForceDigits) {
  EXPECT_EQ(Fmt("5", "0009"), " 0005");
  EXPECT_EQ(Fmt("0.5", "990.99"), "   0.50");
  EXPECT_EQ(Fmt("-0.5", "990.99"), "  -0.50");
  EXPECT_EQ(Fmt("7", "09"), " 07");
}

TEST_F(NumberFormatting, ValuesAreRoundedHalfAwayFromZero) {
  EXPECT_EQ(Fmt("2.345", "9.99"), " 2.35");
  EXPECT_EQ(Fmt("-2.345", "9.99"), "-2.35");
  EXPECT_EQ(Fmt("2.5", "9"), " 3");
  EXPECT_EQ(Fmt("-0.001", "9.99"), "  .00");
}

TEST_F(NumberFormatting, TooManyIntegerDigitsGiveHashes) {
  EXPECT_EQ(Fmt("1000", "999"), "####");
  EXPECT_EQ(Fmt("99.995", "99.99"), "######");
  EXPECT_EQ(Fmt("12345", "9,999"), "######");
}

TEST_F(NumberFormatting, GroupSeparatorsOnlyBetweenShownDigits) {
  EXPECT_EQ(Fmt("1234567", "9,999,999"), " 1,234,567");
  EXPECT_EQ(Fmt("1234", "9,999,999"), "     1,234");
  EXPECT_EQ(Fmt("1234.5", "9G999D99"), " 1,234.50");
}

TEST_F(NumberFormatting, FillModeTrimsBlanksAndTrailingDecimalZeros) {
  EXPECT_EQ(Fmt("12.5", "FM999.99"), "12.5");
  EXPECT_EQ(Fmt("12", "FM999.99"), "12.");
  EXPECT_EQ(Fmt("12", "FM999.00"), "12.00");
  EXPECT_EQ(Fmt("-3", "FM999"), "-3");
  EXPECT_EQ(Fmt("5", "FM0009"), "0005");
}

TEST_F(NumberFormatting, SignElements) {
  EXPECT_EQ(Fmt("12", "S99"), "+12");
  EXPECT_EQ(Fmt("-12", "S99"), "-12");
  EXPECT_EQ(Fmt("12", "99S"), "12+");
  EXPECT_EQ(Fmt("-12", "99MI"), "12-");
  EXPECT_EQ(Fmt("12", "99MI"), "12 ");
  EXPECT_EQ(Fmt("-12", "99PR"), "<12>");
  EXPECT_EQ(Fmt("12", "99PR"), " 12 ");
}

TEST_F(NumberFormatting, CurrencyBlankZeroScientificHexTextMinimum) {
  EXPECT_EQ(Fmt("12.5", "$999.99"), "  $12.50");
  EXPECT_EQ(Fmt("-12.5", "$999.99"), " -$12.50");
  EXPECT_EQ(Fmt("0", "B999"), "    ");
  EXPECT_EQ(Fmt("1234.5", "9.99EEEE"), "  1.23E+03");
  EXPECT_EQ(Fmt("-0.000123", "9.9EEEE"), " -1.2E-04");
  EXPECT_EQ(Fmt("255", "XX"), " FF");
  EXPECT_EQ(Fmt("255", "FMxxxx"), "ff");
  EXPECT_EQ(Fmt("10", "0XXX"), " 000A");
  EXPECT_EQ(Fmt("256", "XX"), "###");
  EXPECT_EQ(Fmt("-1", "XX"), "###");
  EXPECT_EQ(Fmt("0.5", "TM9"), ".5");
}

TEST_F(NumberFormatting, BadModelsAreOra01481) {
  for (std::string_view bad :
       {"", "abc", "9.9.9", "99S9", "9,9.9,9", "FM", "MI99", "XX.9", "9X", "$$99"}) {
    EXPECT_EQ(Fmt("1", bad), "ORA-01481: invalid number format model") << bad;
  }
}

TEST_F(NumberFormatting, HugeValuesAndModels) {
  EXPECT_EQ(Fmt("9.99e125", "9"), "##");
  std::string nines(200, '9');
  std::string formatted = Fmt("1", nines);
  EXPECT_EQ(formatted.size(), 201u);
  EXPECT_EQ(formatted.back(), '1');
}

class NumberReading : public ::testing::Test {};

TEST_F(NumberReading, ReadsWhatTheModelWrites) {
  EXPECT_EQ(Read("1,234.50", "9,999.99"), "1234.5");
  EXPECT_EQ(Read("$12.50", "$99.99"), "12.5");
  EXPECT_EQ(Read("12-", "99MI"), "-12");
  EXPECT_EQ(Read("<12>", "99PR"), "-12");
  EXPECT_EQ(Read("FF", "XX"), "255");
  EXPECT_EQ(Read("ff", "XX"), "255");
  EXPECT_EQ(Read(" 42 ", "999"), "42");
}

TEST_F(NumberReading, TextThatDoesNotFitIsOra01722) {
  EXPECT_EQ(Read("1234", "99"), "ORA-01722: invalid number");
  EXPECT_EQ(Read("12a", "999"), "ORA-01722: invalid number");
  EXPECT_EQ(Read("GG", "XX"), "ORA-01722: invalid number");
  EXPECT_EQ(Read("FFF", "XX"), "ORA-01722: invalid number");
  EXPECT_EQ(Read("1,5", "9D9"), "ORA-01722: invalid number");
}

}  // namespace
}  // namespace volmek::engine
