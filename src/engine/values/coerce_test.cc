#include "engine/values/coerce.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace volmek::engine {
namespace {

StoreTarget Column(int type_code, std::int64_t length, std::optional<int> precision = std::nullopt,
                   std::optional<int> scale = std::nullopt) {
  StoreTarget target;
  target.type_code = type_code;
  target.length = length;
  target.precision = precision;
  target.scale = scale;
  target.owner = "SCOTT";
  target.table = "T";
  target.column = "C";
  return target;
}

// The stored text, "NULL", or the error message.
std::string Store(const SqlValue& value, const StoreTarget& target,
                  const SessionSettings& settings = SessionSettings()) {
  std::string out = "(untouched)";
  auto stored = StoreValue(value, target, settings, &out);
  if (!stored) return stored.error().message;
  return *stored ? out : "NULL";
}

class StoreNumber : public ::testing::Test {};

TEST_F(StoreNumber, EveryFormOfANumberIsStoredCanonical) {
  StoreTarget number = Column(db::kTypeNumber, 22);
  EXPECT_EQ(Store(SqlValue::Integer(42), number), "42");
  EXPECT_EQ(Store(SqlValue::Integer(INT64_MIN), number), "-9223372036854775808");
  EXPECT_EQ(Store(SqlValue::Real(0.1), number), "0.1");
  EXPECT_EQ(Store(SqlValue::Real(-2.5), number), "-2.5");
  EXPECT_EQ(Store(SqlValue::Text("12.50"), number), "12.5");
  EXPECT_EQ(Store(SqlValue::Text(" 1e3 "), number), "1000");
  EXPECT_EQ(Store(SqlValue::Text("123456789012345678901234567890.123456789"), number),
            "123456789012345678901234567890.12345679");
}

TEST_F(StoreNumber, PrecisionAndScaleOfTheColumnApply) {
  EXPECT_EQ(Store(SqlValue::Real(2.345), Column(db::kTypeNumber, 22, 5, 2)), "2.35");
  EXPECT_EQ(Store(SqlValue::Real(2.5), Column(db::kTypeNumber, 22, 3, 0)), "3");
  EXPECT_EQ(Store(SqlValue::Real(-2.5), Column(db::kTypeNumber, 22, 3, 0)), "-3");
  EXPECT_EQ(Store(SqlValue::Integer(1000), Column(db::kTypeNumber, 22, 3, 0)),
            "ORA-01438: value larger than specified precision allowed for this column");
  EXPECT_EQ(Store(SqlValue::Text("9999999999"), Column(db::kTypeNumber, 22, 10, 0)), "9999999999");
  EXPECT_EQ(Store(SqlValue::Text("10000000000"), Column(db::kTypeNumber, 22, 10, 0)),
            "ORA-01438: value larger than specified precision allowed for this column");
}

// What the column rules make of a value, worked out with decimal arithmetic alone.
std::string ByArithmetic(const SqlValue& value, const StoreTarget& target) {
  auto number = NumberOf(value);
  if (!number) return number.error().message;
  if (!*number) return "NULL";
  auto fitted = FitNumberColumn(**number, target.precision, target.scale);
  if (!fitted) return fitted.error().message;
  return fitted->ToCanonical();
}

TEST_F(StoreNumber, ShortcutsAgreeWithTheArithmetic) {
  // Values whose text is canonical already are stored without arithmetic when the column takes
  // them unchanged: every one of these must give what the arithmetic gives, error or text.
  const std::vector<SqlValue> values = {
      SqlValue::Integer(0),
      SqlValue::Integer(7),
      SqlValue::Integer(-42),
      SqlValue::Integer(99999),
      SqlValue::Integer(100000),
      SqlValue::Integer(INT64_MAX),
      SqlValue::Integer(INT64_MIN),
      SqlValue::Real(0.0),
      SqlValue::Real(-0.0),
      SqlValue::Real(1.01),
      SqlValue::Real(-2.345),
      SqlValue::Real(0.5),
      SqlValue::Real(0.05),
      SqlValue::Real(1e22),
      SqlValue::Real(1e-7),
      SqlValue::Real(123456789012345680000.0),
      SqlValue::Real(99999.99),
      SqlValue::Text("0"),
      SqlValue::Text("1.01"),
      SqlValue::Text("-0.25"),
      SqlValue::Text("12345.678"),
      SqlValue::Text("0.001"),
      SqlValue::Text("1.10"),
      SqlValue::Text("007"),
      SqlValue::Text("-0"),
      SqlValue::Text(".5"),
      SqlValue::Text("99999.99"),
      SqlValue::Text("100000"),
      SqlValue::Text("12345678901234567890123456789012345678"),
      SqlValue::Text("123456789012345678901234567890123456789"),
  };
  const std::vector<std::pair<std::optional<int>, std::optional<int>>> columns = {
      {std::nullopt, std::nullopt},
      {10, 0},
      {5, 0},
      {7, 2},
      {12, 2},
      {2, 2},
      {2, 5},
      {3, -2},
      {std::nullopt, 2},
      {38, 0},
      {38, 10},
      {1, 0},
  };
  for (const auto& [precision, scale] : columns) {
    StoreTarget target = Column(db::kTypeNumber, 22, precision, scale);
    for (const SqlValue& value : values) {
      EXPECT_EQ(Store(value, target), ByArithmetic(value, target))
          << "kind " << static_cast<int>(value.kind) << " " << value.integer << " " << value.real
          << " '" << value.text << "' into (" << precision.value_or(-1) << "," << scale.value_or(-1)
          << ")";
    }
  }
}

TEST_F(StoreNumber, TextThatIsNotANumberIsRefused) {
  StoreTarget number = Column(db::kTypeNumber, 22);
  EXPECT_EQ(Store(SqlValue::Text("ABC"), number), "ORA-01722: invalid number");
  EXPECT_EQ(Store(SqlValue::Text("1,5"), number), "ORA-01722: invalid number");
  EXPECT_EQ(Store(SqlValue::Text(" "), number), "ORA-01722: invalid number");
  EXPECT_EQ(Store(SqlValue::Text(std::string(100000, '1')), number), "ORA-01426: numeric overflow");
}

TEST_F(StoreNumber, NullAndEmptyTextAreNull) {
  StoreTarget number = Column(db::kTypeNumber, 22);
  EXPECT_EQ(Store(SqlValue::Null(), number), "NULL");
  EXPECT_EQ(Store(SqlValue::Text(""), number), "NULL");
  EXPECT_EQ(Store(SqlValue::Text(""), Column(db::kTypeVarchar2, 10)), "NULL");
  EXPECT_EQ(Store(SqlValue::Text(""), Column(db::kTypeChar, 3)), "NULL");
  EXPECT_EQ(Store(SqlValue::Text(""), Column(db::kTypeDate, 7)), "NULL");
}

class StoreText : public ::testing::Test {};

TEST_F(StoreText, CharIsBlankPaddedAndVarcharKeptAsGiven) {
  EXPECT_EQ(Store(SqlValue::Text("AB"), Column(db::kTypeChar, 4)), "AB  ");
  EXPECT_EQ(Store(SqlValue::Integer(12), Column(db::kTypeChar, 3)), "12 ");
  EXPECT_EQ(Store(SqlValue::Real(0.5), Column(db::kTypeChar, 3)), ".5 ");
  EXPECT_EQ(Store(SqlValue::Text("AB  "), Column(db::kTypeVarchar2, 10)), "AB  ");
  EXPECT_EQ(Store(SqlValue::Text("   "), Column(db::kTypeVarchar2, 10)), "   ");
}

TEST_F(StoreText, TooLongValuesAreOra12899WithTheColumnNamed) {
  EXPECT_EQ(Store(SqlValue::Text("ABCDE"), Column(db::kTypeVarchar2, 3)),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 5, maximum: 3)");
  EXPECT_EQ(Store(SqlValue::Text("AB  "), Column(db::kTypeChar, 3)),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 4, maximum: 3)");
  EXPECT_EQ(Store(SqlValue::Integer(12345), Column(db::kTypeChar, 3)),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 5, maximum: 3)");
  std::string huge(1'000'000, 'x');
  EXPECT_EQ(Store(SqlValue::Text(huge), Column(db::kTypeVarchar2, 4000)),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 1000000, "
            "maximum: 4000)");
}

TEST_F(StoreText, LongTakesAnyLength) {
  std::string huge(1'000'000, 'x');
  EXPECT_EQ(Store(SqlValue::Text(huge), Column(db::kTypeLong, 0)), huge);
}

TEST_F(StoreText, RawIsHexadecimalUpperCase) {
  EXPECT_EQ(Store(SqlValue::Text("0aff"), Column(db::kTypeRaw, 2)), "0AFF");
  EXPECT_EQ(Store(SqlValue::Text("abc"), Column(db::kTypeRaw, 2)), "0ABC");
  EXPECT_EQ(Store(SqlValue::Text("xyz"), Column(db::kTypeRaw, 2)), "ORA-01465: invalid hex number");
  EXPECT_EQ(Store(SqlValue::Text("AABBCC"), Column(db::kTypeRaw, 2)),
            "ORA-12899: value too large for column \"SCOTT\".\"T\".\"C\" (actual: 3, maximum: 2)");
}

class StoreDate : public ::testing::Test {};

TEST_F(StoreDate, StoredFormAndSessionFormatAreAccepted) {
  StoreTarget date = Column(db::kTypeDate, 7);
  EXPECT_EQ(Store(SqlValue::Text("2003-11-15 10:00:00"), date), "2003-11-15 10:00:00");
  EXPECT_EQ(Store(SqlValue::Text("15-NOV-03"), date), "2003-11-15 00:00:00");
  SessionSettings iso;
  iso.nls_date_format = "YYYY/MM/DD";
  EXPECT_EQ(Store(SqlValue::Text("2003/11/15"), date, iso), "2003-11-15 00:00:00");
}

TEST_F(StoreDate, BadDatesAndNumbersAreRefused) {
  StoreTarget date = Column(db::kTypeDate, 7);
  EXPECT_EQ(Store(SqlValue::Text("32-JAN-99"), date),
            "ORA-01847: day of month must be between 1 and last day of month");
  EXPECT_EQ(Store(SqlValue::Text("garbage"), date),
            "ORA-01858: a non-numeric character was found where a numeric was expected");
  EXPECT_EQ(Store(SqlValue::Integer(5), date),
            "ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
}

class Fetch : public ::testing::Test {};

TEST_F(Fetch, NumbersAreDeliveredInEveryForm) {
  db::FetchedValue out;
  ASSERT_TRUE(FetchNumber(SqlValue::Text("12345678901234.5678"), db::ExternalType::kFloat, &out));
  EXPECT_FALSE(out.is_null);
  EXPECT_EQ(out.text, "12345678901234.5678");
  EXPECT_EQ(out.integer, 12345678901234);
  EXPECT_DOUBLE_EQ(out.real, 12345678901234.5678);
  ASSERT_TRUE(FetchNumber(SqlValue::Real(-0.25), db::ExternalType::kFloat, &out));
  EXPECT_EQ(out.text, "-0.25");
  ASSERT_TRUE(FetchNumber(SqlValue::Real(-0.25), db::ExternalType::kString, &out));
  EXPECT_EQ(out.text, "-.25");
  ASSERT_TRUE(FetchNumber(SqlValue::Text("3.5"), db::ExternalType::kInteger, &out));
  EXPECT_EQ(out.integer, 3);
  ASSERT_TRUE(FetchNumber(SqlValue::Integer(9999999999), db::ExternalType::kInteger, &out));
  EXPECT_EQ(out.integer, 9999999999);
  EXPECT_EQ(out.text, "9999999999");
}

TEST_F(Fetch, NullSetsTheIndicatorAndRcode) {
  db::FetchedValue out;
  out.text = "stale";
  ASSERT_TRUE(FetchNumber(SqlValue::Null(), db::ExternalType::kInteger, &out));
  EXPECT_TRUE(out.is_null);
  EXPECT_EQ(out.rcode, 1405);
  EXPECT_EQ(out.text, "");
}

TEST_F(Fetch, IntegerOverflowIsOra01455AndDamagedTextOra01722) {
  db::FetchedValue out;
  auto overflow = FetchNumber(SqlValue::Text("1e30"), db::ExternalType::kInteger, &out);
  ASSERT_FALSE(overflow);
  EXPECT_EQ(overflow.error().message, "ORA-01455: converting column overflows integer datatype");
  ASSERT_TRUE(FetchNumber(SqlValue::Text("1e30"), db::ExternalType::kFloat, &out));
  EXPECT_EQ(out.text, "1" + std::string(30, '0'));
  auto damaged = FetchNumber(SqlValue::Text("not a number"), db::ExternalType::kFloat, &out);
  ASSERT_FALSE(damaged);
  EXPECT_EQ(damaged.error().message, "ORA-01722: invalid number");
}

TEST_F(Fetch, DatesUseTheSessionFormat) {
  EXPECT_EQ(*FetchDateText("2025-12-08 10:00:00", "DD-MON-YY"), "08-DEC-25");
  EXPECT_EQ(*FetchDateText("2025-12-08 10:00:00", "YYYY-MM-DD HH24:MI"), "2025-12-08 10:00");
  EXPECT_EQ(*FetchDateText("damaged", "DD-MON-YY"), "damaged");
}

}  // namespace
}  // namespace volmek::engine
