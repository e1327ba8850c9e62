#include "db/two_decimals.h"

#include <gtest/gtest.h>

namespace volmek::db {
namespace {

FetchedValue Real(double real, std::string text) {
  FetchedValue value;
  value.is_null = false;
  value.real = real;
  value.text = std::move(text);
  return value;
}

TEST(TwoDecimals, ExactTextKeepsEveryDigit) {
  EXPECT_EQ(TwoDecimals(Real(12345678901234.5678, "12345678901234.5678")), "12345678901234.57");
  EXPECT_EQ(TwoDecimals(Real(1e21, "123456789012345678901")), "123456789012345678901.00");
}

TEST(TwoDecimals, RoundsHalfAwayFromZero) {
  EXPECT_EQ(TwoDecimals(Real(2.675, "2.675")), "2.68");
  EXPECT_EQ(TwoDecimals(Real(-2.675, "-2.675")), "-2.68");
  EXPECT_EQ(TwoDecimals(Real(99.995, "99.995")), "100.00");
  EXPECT_EQ(TwoDecimals(Real(3.5, "3.5")), "3.50");
  EXPECT_EQ(TwoDecimals(Real(7, "7")), "7.00");
  EXPECT_EQ(TwoDecimals(Real(0.25, "0.25")), "0.25");
}

TEST(TwoDecimals, NegativeValueThatRoundsToZeroKeepsItsSignButZeroHasNone) {
  EXPECT_EQ(TwoDecimals(Real(-0.001, "-0.001")), "-0.00");
  EXPECT_EQ(TwoDecimals(Real(-0.004, "-0.004")), "-0.00");
  EXPECT_EQ(TwoDecimals(Real(-0.005, "-0.005")), "-0.01");
  EXPECT_EQ(TwoDecimals(Real(0.004, "0.004")), "0.00");
  EXPECT_EQ(TwoDecimals(Real(0, "0.000")), "0.00");
  EXPECT_EQ(TwoDecimals(Real(0, "-0")), "0.00");
}

TEST(TwoDecimals, WithoutExactTextTheDoubleIsUsed) {
  EXPECT_EQ(TwoDecimals(Real(1.5, "")), "1.50");
  EXPECT_EQ(TwoDecimals(Real(1.5, "1,5")), "1.50");
}

TEST(TwoDecimals, PlainDecimalTextsRoundHalfAwayFromZero) {
  EXPECT_EQ(RoundDecimalText("12.5"), "12.50");
  EXPECT_EQ(RoundDecimalText("2.345"), "2.35");
  EXPECT_EQ(RoundDecimalText("-2.345"), "-2.35");
  EXPECT_EQ(RoundDecimalText("2.3449"), "2.34");
  EXPECT_EQ(RoundDecimalText("9.999"), "10.00");
  EXPECT_EQ(RoundDecimalText("-0.004"), "-0.00");
  EXPECT_EQ(RoundDecimalText("3"), "3.00");
  EXPECT_EQ(RoundDecimalText("12345678901234.5678"), "12345678901234.57");
  EXPECT_EQ(RoundDecimalText("1e5"), std::nullopt);
}

}  // namespace
}  // namespace volmek::db
