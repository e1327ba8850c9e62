#include "engine/values/number.h"

#include <gtest/gtest.h>

#include <string>

namespace volmek::engine {
namespace {

Decimal D(std::string_view text) {
  auto parsed = Decimal::Parse(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed.value_or(Decimal());
}

std::string Canon(std::string_view text) { return D(text).ToCanonical(); }

std::string ErrorOf(const OraResult<Decimal>& result) {
  return result.has_value() ? "(no error: " + result->ToCanonical() + ")" : result.error().message;
}

class DecimalParse : public ::testing::Test {};

TEST_F(DecimalParse, CanonicalFormHasNoExponentSignOrSuperfluousZeros) {
  EXPECT_EQ(Canon("3"), "3");
  EXPECT_EQ(Canon("-12.5"), "-12.5");
  EXPECT_EQ(Canon("0.25"), "0.25");
  EXPECT_EQ(Canon(".5"), "0.5");
  EXPECT_EQ(Canon("-.5"), "-0.5");
  EXPECT_EQ(Canon("5."), "5");
  EXPECT_EQ(Canon("+007.500"), "7.5");
  EXPECT_EQ(Canon("100"), "100");
  EXPECT_EQ(Canon("1.5E3"), "1500");
  EXPECT_EQ(Canon("2e-4"), "0.0002");
  EXPECT_EQ(Canon("  42  "), "42");
}

TEST_F(DecimalParse, ZeroInEveryFormIsZeroWithoutSign) {
  EXPECT_EQ(Canon("0"), "0");
  EXPECT_EQ(Canon("-0"), "0");
  EXPECT_EQ(Canon("0.000"), "0");
  EXPECT_EQ(Canon("0e999999999999"), "0");
  EXPECT_FALSE(D("-0.0").is_negative());
}

TEST_F(DecimalParse, TextThatIsNotANumberIsOra01722) {
  for (std::string_view bad : {"", " ", "abc", "1,5", "1.2.3", ".", "-", "+", "1e", "1e+", "12a",
                               "--1", "1 2", "0x10", "\t1", "1e5.5", "NaN", "inf"}) {
    auto result = Decimal::Parse(bad);
    ASSERT_FALSE(result.has_value()) << "'" << bad << "'";
    EXPECT_EQ(result.error().code, 1722);
    EXPECT_EQ(result.error().message, "ORA-01722: invalid number");
  }
}

TEST_F(DecimalParse, MoreThanFortyDigitsAreRoundedHalfAwayFromZero) {
  std::string digits(45, '1');
  EXPECT_EQ(Canon(digits), std::string(40, '1') + "00000");
  EXPECT_EQ(Canon("0." + std::string(40, '3') + "5"), "0." + std::string(39, '3') + "4");
  EXPECT_EQ(Canon(std::string(41, '9')), "1" + std::string(41, '0'));
  EXPECT_EQ(Canon("-" + std::string(41, '9')), "-1" + std::string(41, '0'));
}

TEST_F(DecimalParse, HugeInputsAreHandledWhole) {
  // A million digits: rounded, not read into a fixed buffer.
  std::string huge(1'000'000, '7');
  auto result = Decimal::Parse(huge);
  EXPECT_EQ(ErrorOf(result), "ORA-01426: numeric overflow");
  std::string tiny = "0." + std::string(1'000'000, '0') + "1";
  EXPECT_EQ(Canon(tiny), "0");
  std::string long_fraction = "1." + std::string(1'000'000, '4');
  EXPECT_EQ(Canon(long_fraction), "1." + std::string(39, '4'));
}

TEST_F(DecimalParse, RangeIsOraclesRange) {
  EXPECT_EQ(ErrorOf(Decimal::Parse("1e126")), "ORA-01426: numeric overflow");
  EXPECT_EQ(ErrorOf(Decimal::Parse("-1e126")), "ORA-01426: numeric overflow");
  EXPECT_EQ(ErrorOf(Decimal::Parse("1e99999999999999999999")), "ORA-01426: numeric overflow");
  EXPECT_TRUE(Decimal::Parse("9.99e125").has_value());
  EXPECT_EQ(D("1e-130").Exponent(), -129);
  EXPECT_TRUE(D("1e-131").is_zero());
  EXPECT_TRUE(D("1e-99999999999999999999").is_zero());
}

class DecimalArithmetic : public ::testing::Test {};

TEST_F(DecimalArithmetic, AdditionIsExactDecimal) {
  EXPECT_EQ(Decimal::Add(D("0.1"), D("0.2"))->ToCanonical(), "0.3");
  EXPECT_EQ(Decimal::Add(D("-5"), D("5"))->ToCanonical(), "0");
  EXPECT_EQ(Decimal::Add(D("999.999"), D("0.001"))->ToCanonical(), "1000");
  EXPECT_EQ(Decimal::Sub(D("1"), D("0.0001"))->ToCanonical(), "0.9999");
  EXPECT_EQ(Decimal::Sub(D("-1.5"), D("2.25"))->ToCanonical(), "-3.75");
  EXPECT_EQ(Decimal::Add(D("12345678901234567890.123"), D("1"))->ToCanonical(),
            "12345678901234567891.123");
}

TEST_F(DecimalArithmetic, AddingNumbersFarApartRoundsToFortyDigits) {
  EXPECT_EQ(Decimal::Add(D("1e100"), D("1e-100"))->ToCanonical(), "1" + std::string(100, '0'));
  EXPECT_EQ(Decimal::Add(D("1e39"), D("0.5"))->ToCanonical(), "1" + std::string(38, '0') + "1");
}

TEST_F(DecimalArithmetic, AdditionOverflowIsOra01426) {
  EXPECT_EQ(ErrorOf(Decimal::Add(D("9.9e125"), D("9.9e125"))), "ORA-01426: numeric overflow");
}

TEST_F(DecimalArithmetic, MultiplicationIsExact) {
  EXPECT_EQ(Decimal::Mul(D("1.5"), D("-2"))->ToCanonical(), "-3");
  EXPECT_EQ(Decimal::Mul(D("0.1"), D("0.1"))->ToCanonical(), "0.01");
  EXPECT_EQ(Decimal::Mul(D("123456789012345678"), D("1000000000000"))->ToCanonical(),
            "123456789012345678000000000000");
  EXPECT_EQ(Decimal::Mul(D("-0"), D("5"))->ToCanonical(), "0");
  EXPECT_EQ(ErrorOf(Decimal::Mul(D("1e100"), D("1e100"))), "ORA-01426: numeric overflow");
  EXPECT_TRUE(Decimal::Mul(D("1e-100"), D("1e-100"))->is_zero());
}

TEST_F(DecimalArithmetic, OperandsOfFewDigitsGiveTheSameExactResults) {
  // Up to 18 digit positions the sum and product are taken on 64-bit integers: carries into a
  // 19th digit, cancellation and both signs must come out as with wider operands.
  EXPECT_EQ(Decimal::Add(D("999999999999999999"), D("1"))->ToCanonical(), "1000000000000000000");
  EXPECT_EQ(Decimal::Add(D("999999999999999999"), D("999999999999999999"))->ToCanonical(),
            "1999999999999999998");
  EXPECT_EQ(Decimal::Add(D("-123456789012345678"), D("123456789012345679"))->ToCanonical(), "1");
  EXPECT_EQ(Decimal::Add(D("123456789012345678"), D("-123456789012345679"))->ToCanonical(), "-1");
  EXPECT_EQ(Decimal::Add(D("0.000000001"), D("-0.000000001"))->ToCanonical(), "0");
  EXPECT_EQ(Decimal::Add(D("123.45"), D("1"))->ToCanonical(), "124.45");
  EXPECT_EQ(Decimal::Sub(D("100"), D("0.01"))->ToCanonical(), "99.99");
  EXPECT_EQ(Decimal::Add(D("1e120"), D("5e120"))->ToCanonical(), "6" + std::string(120, '0'));
  // One past 18 positions: the same value by the digit arrays.
  EXPECT_EQ(Decimal::Add(D("100000000000000000"), D("0.01"))->ToCanonical(),
            "100000000000000000.01");
  EXPECT_EQ(Decimal::Mul(D("999999999"), D("999999999"))->ToCanonical(), "999999998000000001");
  EXPECT_EQ(Decimal::Mul(D("-0.000001"), D("0.000003"))->ToCanonical(), "-0.000000000003");
  EXPECT_EQ(Decimal::Mul(D("37"), D("0.01"))->ToCanonical(), "0.37");
  EXPECT_EQ(Decimal::Mul(D("-2.5"), D("-4"))->ToCanonical(), "10");
  EXPECT_EQ(ErrorOf(Decimal::Mul(D("9e70"), D("9e60"))), "ORA-01426: numeric overflow");
  EXPECT_TRUE(Decimal::Mul(D("2e-70"), D("3e-70"))->is_zero());
}

TEST_F(DecimalArithmetic, DivisionIsDecimalNotInteger) {
  EXPECT_EQ(Decimal::Div(D("7"), D("2"))->ToCanonical(), "3.5");
  EXPECT_EQ(Decimal::Div(D("1"), D("4"))->ToCanonical(), "0.25");
  EXPECT_EQ(Decimal::Div(D("-9"), D("3"))->ToCanonical(), "-3");
  EXPECT_EQ(Decimal::Div(D("1"), D("3"))->ToCanonical(), "0." + std::string(40, '3'));
  EXPECT_EQ(Decimal::Div(D("2"), D("3"))->ToCanonical(), "0." + std::string(39, '6') + "7");
  EXPECT_EQ(Decimal::Div(D("1"), D("0.0001"))->ToCanonical(), "10000");
}

TEST_F(DecimalArithmetic, DivisionByZeroIsOra01476) {
  EXPECT_EQ(ErrorOf(Decimal::Div(D("1"), D("0"))), "ORA-01476: divisor is equal to zero");
  EXPECT_EQ(ErrorOf(Decimal::Div(D("0"), D("0"))), "ORA-01476: divisor is equal to zero");
}

TEST_F(DecimalArithmetic, ModOfZeroIsTheDividendAndKeepsItsSign) {
  EXPECT_EQ(Decimal::Mod(D("7"), D("0"))->ToCanonical(), "7");
  EXPECT_EQ(Decimal::Mod(D("11"), D("4"))->ToCanonical(), "3");
  EXPECT_EQ(Decimal::Mod(D("-11"), D("4"))->ToCanonical(), "-3");
  EXPECT_EQ(Decimal::Mod(D("11"), D("-4"))->ToCanonical(), "3");
  EXPECT_EQ(Decimal::Mod(D("5.5"), D("2"))->ToCanonical(), "1.5");
  EXPECT_EQ(Decimal::Mod(D("-123456789012345678"), D("1000"))->ToCanonical(), "-678");
  EXPECT_EQ(Decimal::Mod(D("123456789012345678"), D("-123456789012345679"))->ToCanonical(),
            "123456789012345678");
  EXPECT_EQ(Decimal::Mod(D("1234567890123456789"), D("10"))->ToCanonical(), "9");
}

TEST_F(DecimalArithmetic, ModIsExactWhenTheQuotientHasMoreDigitsThanADivisionKeeps) {
  // 10^50 = 7 * 14285...(48 digits)... + 2; a rounded quotient would give a wrong remainder.
  EXPECT_EQ(Decimal::Mod(D("1e50"), D("7"))->ToCanonical(), "2");
  EXPECT_EQ(Decimal::Mod(D("-1e50"), D("7"))->ToCanonical(), "-2");
  EXPECT_EQ(Decimal::Mod(D("1e100"), D("0.3"))->ToCanonical(), "0.1");
  EXPECT_EQ(Decimal::Mod(D("123456789e60"), D("1000"))->ToCanonical(), "0");
  EXPECT_EQ(Decimal::Mod(D("1e125"), D("1e-129"))->ToCanonical(), "0");
}

TEST_F(DecimalArithmetic, PowerAndSqrt) {
  EXPECT_EQ(Decimal::Power(D("2"), D("10"))->ToCanonical(), "1024");
  EXPECT_EQ(Decimal::Power(D("2"), D("-2"))->ToCanonical(), "0.25");
  EXPECT_EQ(Decimal::Power(D("-3"), D("3"))->ToCanonical(), "-27");
  EXPECT_EQ(Decimal::Power(D("5"), D("0"))->ToCanonical(), "1");
  EXPECT_EQ(ErrorOf(Decimal::Power(D("10"), D("200"))), "ORA-01426: numeric overflow");
  EXPECT_EQ(ErrorOf(Decimal::Power(D("-8"), D("0.5"))), "ORA-01428: argument '-8' is out of range");
  EXPECT_EQ(ErrorOf(Decimal::Power(D("0"), D("-1"))), "ORA-01476: divisor is equal to zero");
  EXPECT_TRUE(Decimal::Power(D("0.5"), D("999999"))->is_zero());
  EXPECT_EQ(Decimal::Sqrt(D("16"))->ToCanonical(), "4");
  EXPECT_EQ(Decimal::Sqrt(D("2.25"))->ToCanonical(), "1.5");
  EXPECT_EQ(Decimal::Sqrt(D("2"))->ToCanonical().substr(0, 30), "1.4142135623730950488016887242");
  EXPECT_EQ(ErrorOf(Decimal::Sqrt(D("-1"))), "ORA-01428: argument '-1' is out of range");
}

class DecimalRounding : public ::testing::Test {};

TEST_F(DecimalRounding, RoundIsHalfAwayFromZero) {
  EXPECT_EQ(D("2.5").Round(0)->ToCanonical(), "3");
  EXPECT_EQ(D("-2.5").Round(0)->ToCanonical(), "-3");
  EXPECT_EQ(D("2.345").Round(2)->ToCanonical(), "2.35");
  EXPECT_EQ(D("2.344").Round(2)->ToCanonical(), "2.34");
  EXPECT_EQ(D("0.5").Round(0)->ToCanonical(), "1");
  EXPECT_EQ(D("0.4").Round(0)->ToCanonical(), "0");
  EXPECT_EQ(D("9.99").Round(1)->ToCanonical(), "10");
  EXPECT_EQ(D("1250").Round(-2)->ToCanonical(), "1300");
  EXPECT_EQ(D("1249").Round(-2)->ToCanonical(), "1200");
  EXPECT_EQ(D("49").Round(-2)->ToCanonical(), "0");
  EXPECT_EQ(D("50").Round(-2)->ToCanonical(), "100");
  EXPECT_EQ(D("0.004").Round(5)->ToCanonical(), "0.004");
  EXPECT_EQ(D("123").Round(1000000)->ToCanonical(), "123");
  EXPECT_EQ(D("123").Round(-1000000)->ToCanonical(), "0");
}

TEST_F(DecimalRounding, TruncCeilFloor) {
  EXPECT_EQ(D("2.99").Trunc(0).ToCanonical(), "2");
  EXPECT_EQ(D("-2.99").Trunc(0).ToCanonical(), "-2");
  EXPECT_EQ(D("1299").Trunc(-2).ToCanonical(), "1200");
  EXPECT_EQ(D("0.999").Trunc(0).ToCanonical(), "0");
  EXPECT_EQ(D("2.1").Ceil()->ToCanonical(), "3");
  EXPECT_EQ(D("-2.1").Ceil()->ToCanonical(), "-2");
  EXPECT_EQ(D("-0.5").Ceil()->ToCanonical(), "0");
  EXPECT_EQ(D("2.1").Floor().ToCanonical(), "2");
  EXPECT_EQ(D("-2.1").Floor().ToCanonical(), "-3");
  EXPECT_EQ(D("5").Floor().ToCanonical(), "5");
}

class NumberColumn : public ::testing::Test {};

TEST_F(NumberColumn, RoundsToTheScaleAndRefusesPastThePrecision) {
  EXPECT_EQ(FitNumberColumn(D("2.345"), 5, 2)->ToCanonical(), "2.35");
  EXPECT_EQ(FitNumberColumn(D("999.99"), 5, 2)->ToCanonical(), "999.99");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("1000"), 5, 2)),
            "ORA-01438: value larger than specified precision allowed for this column");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("999.995"), 5, 2)),
            "ORA-01438: value larger than specified precision allowed for this column");
  EXPECT_EQ(FitNumberColumn(D("999.4"), 3, std::nullopt)->ToCanonical(), "999");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("999.5"), 3, std::nullopt)).substr(0, 9), "ORA-01438");
  EXPECT_EQ(FitNumberColumn(D("-999"), 3, 0)->ToCanonical(), "-999");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("-1000"), 3, 0)).substr(0, 9), "ORA-01438");
}

TEST_F(NumberColumn, ScaleEqualToPrecisionTakesOnlyValuesBelowOne) {
  EXPECT_EQ(FitNumberColumn(D("0.99"), 2, 2)->ToCanonical(), "0.99");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("1"), 2, 2)).substr(0, 9), "ORA-01438");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("0.999"), 2, 2)).substr(0, 9), "ORA-01438");
}

TEST_F(NumberColumn, ScaleAbovePrecisionNeedsLeadingFractionZeros) {
  // NUMBER(2,3): at most 0.099.
  EXPECT_EQ(FitNumberColumn(D("0.099"), 2, 3)->ToCanonical(), "0.099");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("0.1"), 2, 3)).substr(0, 9), "ORA-01438");
}

TEST_F(NumberColumn, NegativeScaleRoundsToTens) {
  EXPECT_EQ(FitNumberColumn(D("12345"), 5, -2)->ToCanonical(), "12300");
  EXPECT_EQ(FitNumberColumn(D("9999949"), 5, -2)->ToCanonical(), "9999900");
  EXPECT_EQ(ErrorOf(FitNumberColumn(D("9999950"), 5, -2)).substr(0, 9), "ORA-01438");
}

TEST_F(NumberColumn, UnconstrainedKeeps38Digits) {
  EXPECT_EQ(FitNumberColumn(D("3.5"), std::nullopt, std::nullopt)->ToCanonical(), "3.5");
  auto third = Decimal::Div(D("1"), D("3"));
  EXPECT_EQ(FitNumberColumn(*third, std::nullopt, std::nullopt)->ToCanonical(),
            "0." + std::string(38, '3'));
  EXPECT_EQ(FitNumberColumn(D("12345678901234567890123456789012345678"), std::nullopt, std::nullopt)
                ->ToCanonical(),
            "12345678901234567890123456789012345678");
}

TEST_F(NumberColumn, FloatKeepsItsDecimalDigits) {
  EXPECT_EQ(FitFloatColumn(D("123.456"), 10)->ToCanonical(), "123.5");
  EXPECT_EQ(FitFloatColumn(D("123.456"), 126)->ToCanonical(), "123.456");
}

class DecimalConversion : public ::testing::Test {};

TEST_F(DecimalConversion, OracleTextDropsTheZeroBeforeThePoint) {
  EXPECT_EQ(D("0.5").ToOracleText(), ".5");
  EXPECT_EQ(D("-0.5").ToOracleText(), "-.5");
  EXPECT_EQ(D("10").ToOracleText(), "10");
  EXPECT_EQ(D("0").ToOracleText(), "0");
  EXPECT_EQ(D("1e30").ToOracleText(), "1" + std::string(30, '0'));
  EXPECT_EQ(D("1e100").ToOracleText(), "1E+100");
  EXPECT_EQ(D("-1.25e-100").ToOracleText(), "-1.25E-100");
}

TEST_F(DecimalConversion, IntegersAndDoubles) {
  EXPECT_EQ(Decimal::FromInt64(INT64_MIN).ToCanonical(), "-9223372036854775808");
  EXPECT_EQ(Decimal::FromInt64(INT64_MAX).ToCanonical(), "9223372036854775807");
  EXPECT_EQ(D("-9223372036854775808").ToInt64Exact(), INT64_MIN);
  EXPECT_EQ(D("9223372036854775808").ToInt64Exact(), std::nullopt);
  EXPECT_EQ(D("3.99").ToInt64Truncated(), 3);
  EXPECT_EQ(D("-3.99").ToInt64Truncated(), -3);
  EXPECT_EQ(D("3.99").ToInt64Exact(), std::nullopt);
  EXPECT_EQ(D("1e25").ToInt64Truncated(), std::nullopt);
  EXPECT_EQ(Decimal::FromDouble(0.1)->ToCanonical(), "0.1");
  EXPECT_EQ(Decimal::FromDouble(-3.5)->ToCanonical(), "-3.5");
  EXPECT_EQ(Decimal::FromDouble(1e20)->ToCanonical(), "100000000000000000000");
  EXPECT_EQ(ErrorOf(Decimal::FromDouble(std::numeric_limits<double>::infinity())),
            "ORA-01426: numeric overflow");
  EXPECT_EQ(ErrorOf(Decimal::FromDouble(std::numeric_limits<double>::quiet_NaN())),
            "ORA-01426: numeric overflow");
  EXPECT_EQ(D("0.1").ToDouble(), 0.1);
  EXPECT_TRUE(D("0.3").IsExactDouble());
  EXPECT_FALSE(D("12345678901234567890.5").IsExactDouble());
}

TEST_F(DecimalConversion, ComparisonIsNumeric) {
  EXPECT_LT(Decimal::Compare(D("-10"), D("-9.5")), 0);
  EXPECT_LT(Decimal::Compare(D("9"), D("10")), 0);
  EXPECT_LT(Decimal::Compare(D("0.25"), D("0.3")), 0);
  EXPECT_EQ(Decimal::Compare(D("3.0"), D("3")), 0);
  EXPECT_GT(Decimal::Compare(D("0"), D("-0.001")), 0);
  EXPECT_LT(Decimal::Compare(D("1.5"), D("1.55")), 0);
}

TEST_F(DecimalConversion, CanonicalTextIsRecognised) {
  for (std::string_view good : {"0", "3", "-12.5", "0.25", "-0.001", "100", "10.01"}) {
    EXPECT_TRUE(IsCanonicalNumberText(good)) << good;
  }
  for (std::string_view bad : {"", "-0", "00", "012", "1.", ".5", "1.50", "1e5", "+1", " 1", "0.",
                               "-", "1.2.3", "abc", "-.5", "0.0"}) {
    EXPECT_FALSE(IsCanonicalNumberText(bad)) << bad;
  }
}

}  // namespace
}  // namespace volmek::engine
