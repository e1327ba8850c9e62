#include "datafiles/table_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace volmek::datafiles {
namespace {

db::FetchedValue Null() { return db::FetchedValue{}; }

db::FetchedValue Integer(std::int64_t value) {
  db::FetchedValue fetched;
  fetched.is_null = false;
  fetched.integer = value;
  return fetched;
}

db::FetchedValue Decimal(std::string text) {
  db::FetchedValue fetched;
  fetched.is_null = false;
  fetched.text = std::move(text);
  fetched.real = std::stod(fetched.text);
  return fetched;
}

// A number from a backend that gives its double and no text.
db::FetchedValue Real(double value) {
  db::FetchedValue fetched;
  fetched.is_null = false;
  fetched.real = value;
  return fetched;
}

db::FetchedValue Text(std::string text) {
  db::FetchedValue fetched;
  fetched.is_null = false;
  fetched.text = std::move(text);
  return fetched;
}

std::string Written(db::Delivery delivery, const db::FetchedValue& value) {
  std::string line;
  AppendValue(delivery, value, line);
  return line;
}

Field TextField(std::string text) { return Field{FieldKind::kText, std::move(text)}; }
Field NumberField(std::string text) { return Field{FieldKind::kNumber, std::move(text)}; }
Field NullField() { return Field{FieldKind::kNull, ""}; }

class TableTextWriter : public ::testing::Test {};

TEST_F(TableTextWriter, NullIsTheBareWordWhateverTheType) {
  EXPECT_EQ(Written(db::Delivery::kInteger, Null()), "NULL");
  EXPECT_EQ(Written(db::Delivery::kFloat, Null()), "NULL");
  EXPECT_EQ(Written(db::Delivery::kText, Null()), "NULL");
}

TEST_F(TableTextWriter, IntegersUseAllSixtyFourBits) {
  EXPECT_EQ(Written(db::Delivery::kInteger, Integer(42)), "42");
  EXPECT_EQ(Written(db::Delivery::kInteger, Integer(-7)), "-7");
  EXPECT_EQ(Written(db::Delivery::kInteger, Integer(123456789012345678)), "123456789012345678");
  EXPECT_EQ(Written(db::Delivery::kInteger, Integer(INT64_MIN)), "-9223372036854775808");
}

TEST_F(TableTextWriter, DecimalsKeepEveryDigitWithAtLeastTwo) {
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("7.257")), "7.257");
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("1234.5")), "1234.50");
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("3")), "3.00");
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("-0.25")), "-0.25");
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("12345678901234.5678")), "12345678901234.5678");
  EXPECT_EQ(Written(db::Delivery::kFloat, Decimal("123456789012345678")), "123456789012345678.00");
}

TEST_F(TableTextWriter, TextIsQuotedWithApostrophesDoubled) {
  EXPECT_EQ(Written(db::Delivery::kText, Text("LUNES")), "'LUNES'");
  EXPECT_EQ(Written(db::Delivery::kText, Text("VAL'E")), "'VAL''E'");
  EXPECT_EQ(Written(db::Delivery::kText, Text("'")), "''''");
  EXPECT_EQ(Written(db::Delivery::kText, Text("a,b~c")), "'a,b~c'");
  EXPECT_EQ(Written(db::Delivery::kText, Text("AB  ")), "'AB  '");
}

TEST_F(TableTextWriter, LineEndsInsideTextBecomeChrPieces) {
  EXPECT_EQ(Written(db::Delivery::kText, Text("A\nB")), "'A'||chr(10)||'B'");
  EXPECT_EQ(Written(db::Delivery::kText, Text("\r\n")), "chr(13)||chr(10)");
  EXPECT_EQ(Written(db::Delivery::kText, Text("\nX'")), "chr(10)||'X'''");
  EXPECT_EQ(Written(db::Delivery::kText, Text("X\n")), "'X'||chr(10)");
}

TEST_F(TableTextWriter, FormatLineJoinsWithCommasOnly) {
  std::vector<Field> fields = {NumberField("1"), TextField("A"), NullField()};
  EXPECT_EQ(FormatLine(fields), "1,'A',NULL");
  EXPECT_EQ(FormatLine({}), "");
}

TEST_F(TableTextWriter, LongTextIsWrittenWhole) {
  std::string text(100000, 'x');
  EXPECT_EQ(Written(db::Delivery::kText, Text(text)), "'" + text + "'");
}

// A batch of rows gives the lines AppendValue writes a value at a time, for every mix: texts
// with an apostrophe or a line end in any place of an eight-byte word or after the last one,
// long texts, empty ones, NULLs, every number form, numbers a backend gave as a double only.
// Batches append to what `out` holds.
TEST_F(TableTextWriter, RowFormatterWritesTheLinesOfAppendValue) {
  const std::vector<db::Delivery> deliveries = {db::Delivery::kInteger, db::Delivery::kFloat,
                                                db::Delivery::kText};
  const std::vector<std::vector<db::FetchedValue>> rows = {
      {Integer(INT64_MIN), Decimal("1234.5"), Text("LUNES")},
      {Null(), Decimal("3"), Text("O'NEIL")},
      {Integer(42), Decimal("-0.25"), Text("A\r\nB'")},
      {Integer(-7), Null(), Text(std::string(300, 'x') + "'")},
      {Integer(0), Decimal("7.257"), Null()},
      {Integer(1), Decimal("12345678901234.5678"), Text("1234567'")},
      {Integer(2), Decimal("0.5"), Text("12345678\n")},
      {Integer(3), Decimal("10"), Text("")},
      {Integer(4), Decimal("1.25"), Text(std::string(5000, 'y'))},
      {Integer(5), Real(-1234.567), Text("X'")},
      {Integer(6), Real(0.5), Text("fin")},
  };
  db::FetchedRows batch;
  batch.columns = deliveries.size();
  std::string want = "previo\n";
  for (const std::vector<db::FetchedValue>& row : rows) {
    for (std::size_t idx = 0; idx < row.size(); ++idx) {
      batch.Append(row[idx]);
      AppendValue(deliveries[idx], row[idx], want);
      want.push_back(idx + 1 < row.size() ? ',' : '\n');
    }
    ++batch.rows;
  }
  EXPECT_TRUE(want.starts_with("previo\n-9223372036854775808,1234.50,'LUNES'\nNULL,3.00,"));
  EXPECT_TRUE(want.ends_with("5,-1234.57,'X'''\n6,0.50,'fin'\n"));
  RowFormatter formatter(deliveries);
  std::string out = "previo\n";
  formatter.Append(batch, out);
  EXPECT_EQ(out, want);
  formatter.Append(batch, out);
  EXPECT_EQ(out, want + want.substr(7));
}

class TableTextReader : public ::testing::Test {};

TEST_F(TableTextReader, ReadsEveryKindOfValue) {
  auto fields = ParseLine("1,'A''B',NULL,-1234.50,'2026-12-08 10:11:12'");
  ASSERT_TRUE(fields.has_value()) << fields.error().message();
  std::vector<Field> expected = {NumberField("1"), TextField("A'B"), NullField(),
                                 NumberField("-1234.50"), TextField("2026-12-08 10:11:12")};
  EXPECT_EQ(*fields, expected);
}

TEST_F(TableTextReader, CommasAndTildesInsideQuotesAreContent) {
  auto fields = ParseLine("'a,b','~',''");
  ASSERT_TRUE(fields.has_value());
  std::vector<Field> expected = {TextField("a,b"), TextField("~"), TextField("")};
  EXPECT_EQ(*fields, expected);
}

TEST_F(TableTextReader, ChrPiecesGiveBackLineEnds) {
  auto fields = ParseLine("'A'||chr(10)||'B',chr(13)||chr(10),7");
  ASSERT_TRUE(fields.has_value());
  std::vector<Field> expected = {TextField("A\nB"), TextField("\r\n"), NumberField("7")};
  EXPECT_EQ(*fields, expected);
}

TEST_F(TableTextReader, OldFormNullIsBlanksAndOldApostropheIsContent) {
  auto fields = ParseLine("1,'     ','VAL'E',12.00");
  ASSERT_TRUE(fields.has_value());
  std::vector<Field> expected = {NumberField("1"), TextField("     "), TextField("VAL'E"),
                                 NumberField("12.00")};
  EXPECT_EQ(*fields, expected);
}

TEST_F(TableTextReader, EmptyLineIsARowOfNoValues) {
  auto fields = ParseLine("");
  ASSERT_TRUE(fields.has_value());
  EXPECT_TRUE(fields->empty());
}

TEST_F(TableTextReader, WhatTheWriterWritesReadsBackTheSame) {
  std::vector<Field> fields = {
      TextField("it's"),  TextField("\n"), TextField("a\r\nb'c"),
      NullField(),        TextField(""),   NumberField("-0.001"),
      TextField("x,'y'"), TextField("''"), TextField(std::string(5000, 'z'))};
  auto back = ParseLine(FormatLine(fields));
  ASSERT_TRUE(back.has_value()) << back.error().message();
  EXPECT_EQ(*back, fields);
}

class TableTextReaderCorruption : public ::testing::Test {};

TEST_F(TableTextReaderCorruption, UnterminatedQuoteIsReportedWithItsColumn) {
  auto fields = ParseLine("1,'abc");
  ASSERT_FALSE(fields.has_value());
  EXPECT_EQ(fields.error().code(), Status::Code::kCorrupt);
  EXPECT_EQ(fields.error().message(), "columna 2: falta el apostrofo final");
}

TEST_F(TableTextReaderCorruption, BareWordThatIsNotANumberIsRefused) {
  auto fields = ParseLine("1,abc");
  ASSERT_FALSE(fields.has_value());
  EXPECT_EQ(fields.error().message(), "columna 2: valor no valido (abc)");
}

TEST_F(TableTextReaderCorruption, EmptyValueBetweenCommasIsRefused) {
  auto fields = ParseLine("1,,2");
  ASSERT_FALSE(fields.has_value());
  EXPECT_EQ(fields.error().message(), "columna 2: valor vacio");
}

TEST_F(TableTextReaderCorruption, TrailingCommaIsRefused) {
  auto fields = ParseLine("1,");
  ASSERT_FALSE(fields.has_value());
  EXPECT_EQ(fields.error().message(), "columna 2: valor vacio");
}

TEST_F(TableTextReaderCorruption, OtherChrCodesAndDanglingConcatenationAreRefused) {
  EXPECT_EQ(ParseLine("chr(65)").error().message(), "columna 1: chr(65) no admitido");
  EXPECT_EQ(ParseLine("'a'||").error().message(), "columna 1: se esperaba un texto despues de ||");
  EXPECT_EQ(ParseLine("chr(10").error().message(), "columna 1: chr sin cerrar");
}

TEST_F(TableTextReaderCorruption, LoneSignOrPointIsNotANumber) {
  EXPECT_FALSE(ParseLine("-").has_value());
  EXPECT_FALSE(ParseLine(".").has_value());
  EXPECT_FALSE(ParseLine("1.2.3").has_value());
}

}  // namespace
}  // namespace volmek::datafiles
