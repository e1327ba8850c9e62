#include "maint/dictionary.h"

#include <gtest/gtest.h>

namespace volmek::maint {
namespace {

XValue Text(std::string text) { return {false, 0, std::move(text)}; }
XValue Int(std::int64_t value) { return {false, value, ""}; }
XValue Null() { return {}; }

const XTable& Table(std::string_view name) {
  for (const XTable& table : XTables()) {
    if (table.name == name) return table;
  }
  ADD_FAILURE() << "no x-table " << name;
  return XTables()[0];
}

TEST(DictionaryKey, TwoCharacterPrefixAndUnderscoreAreRemoved) {
  EXPECT_EQ(DictionaryKey("AB_CLIENTES"), "CLIENTES");
  EXPECT_EQ(DictionaryKey("CLIENTES"), "CLIENTES");
  EXPECT_EQ(DictionaryKey("12_X"), "X");
}

TEST(DictionaryKey, UnderscoreElsewhereKeepsTheWholeName) {
  EXPECT_EQ(DictionaryKey("X_CLIENTES"), "X_CLIENTES");
  EXPECT_EQ(DictionaryKey("ABC_D"), "ABC_D");
}

TEST(DictionaryKey, ShortNames) {
  EXPECT_EQ(DictionaryKey("AB_"), "");
  EXPECT_EQ(DictionaryKey("AB"), "AB");
  EXPECT_EQ(DictionaryKey(""), "");
}

RecordEntry WithFields(int count, std::vector<std::int64_t> divisions) {
  RecordEntry entry;
  for (int field_idx = 0; field_idx < count; ++field_idx) {
    entry.fields.push_back({"F" + std::to_string(field_idx), 'A', 1, 0});
  }
  entry.divisions = std::move(divisions);
  return entry;
}

TEST(RecordEntry, DivisionsFourAndNineOverFifteenFieldsGiveThreeSegments) {
  std::vector<Segment> segments = WithFields(15, {4, 9}).Segments();
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[0].first, 0);
  EXPECT_EQ(segments[0].last, 4);
  EXPECT_EQ(segments[1].first, 5);
  EXPECT_EQ(segments[1].last, 9);
  EXPECT_EQ(segments[2].first, 10);
  EXPECT_EQ(segments[2].last, 14);
}

TEST(RecordEntry, NoDivisionsGiveOneSegmentOverAllFields) {
  std::vector<Segment> segments = WithFields(3, {}).Segments();
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(segments[0].first, 0);
  EXPECT_EQ(segments[0].last, 2);
}

TEST(RecordEntry, EmptyEntryGivesOneSegmentWithoutFields) {
  std::vector<Segment> segments = RecordEntry().Segments();
  ASSERT_EQ(segments.size(), 1u);
  EXPECT_EQ(segments[0].first, 0);
  EXPECT_EQ(segments[0].last, -1);
}

TEST(RecordEntry, MoreThanNineDivisionsAreNotLimited) {
  std::vector<std::int64_t> divisions;
  for (std::int64_t division = 0; division < 1999; division += 2) divisions.push_back(division);
  RecordEntry entry = WithFields(2000, divisions);
  EXPECT_TRUE(CheckDivisions(entry, "T", "T").ok());
  EXPECT_EQ(entry.Segments().size(), 1001u);
  EXPECT_EQ(entry.Segments().back().first, 1999);
}

TEST(CheckDivisions, IncreasingValuesInsideTheFieldsAreAccepted) {
  EXPECT_TRUE(CheckDivisions(WithFields(15, {4, 9}), "T", "T").ok());
  EXPECT_TRUE(CheckDivisions(WithFields(15, {0, 13}), "T", "T").ok());
}

TEST(CheckDivisions, DivisionAtTheLastFieldIsRefused) {
  Status status = CheckDivisions(WithFields(15, {4, 14}), "AB_T", "T");
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(),
            "Error. Divisiones no validas en el diccionario de la tabla AB_T (clave T): el valor "
            "14 no esta entre los campos 0 a 13 en orden creciente. No se modifica nada.\n");
}

TEST(CheckDivisions, DecreasingOrRepeatedValuesAreRefused) {
  EXPECT_FALSE(CheckDivisions(WithFields(15, {9, 4}), "T", "T").ok());
  EXPECT_FALSE(CheckDivisions(WithFields(15, {4, 4}), "T", "T").ok());
  EXPECT_FALSE(CheckDivisions(WithFields(15, {-1}), "T", "T").ok());
}

TEST(FindField, LastFieldOfTheNameCounts) {
  RecordEntry entry;
  entry.fields = {{"A", 'A', 1, 0}, {"B", 'A', 2, 0}, {"A", 'N', 3, 0}};
  ASSERT_NE(entry.FindField("A"), nullptr);
  EXPECT_EQ(entry.FindField("A")->length, 3);
  EXPECT_EQ(entry.FindField("a"), nullptr);
}

TEST(InsertText, XcampoRowIsWrittenPositionallyUnderTheNewKey) {
  std::vector<XValue> row{Int(3),    Text("CODIGO"), Text("CODIGO"), Text("A"),
                          Text(" "), Int(6),         Int(0),         Text(" ")};
  EXPECT_EQ(InsertText(Table("xcampo"), "NUEVA", row),
            "insert into xcampo values ('NUEVA', 3, 'CODIGO', 'CODIGO', 'A', ' ', 6, 0, ' ')");
}

TEST(InsertText, NullValuesAreCopiedAsNull) {
  std::vector<XValue> row{Int(0), Null(), Null()};
  EXPECT_EQ(InsertText(Table("xclave"), "K", row),
            "insert into xclave values ('K', 0, NULL, NULL)");
}

TEST(InsertText, ApostropheInsideATextIsDoubled) {
  std::vector<XValue> row{Int(1), Text("O'BRIEN"), Text("A")};
  EXPECT_EQ(InsertText(Table("xclave"), "K", row),
            "insert into xclave values ('K', 1, 'O''BRIEN', 'A')");
}

TEST(InsertText, XindiceGetsTheNewKeyInItsThirdColumnToo) {
  std::vector<XValue> row{Int(7), Text("VIEJA"), Text("resto")};
  EXPECT_EQ(InsertText(Table("xindice"), "NUEVA", row),
            "insert into xindice values ('NUEVA', 7, 'NUEVA', 'resto')");
}

TEST(InsertText, EveryXTableHasItsColumnCount) {
  std::vector<XValue> none;
  EXPECT_EQ(InsertText(Table("xselec"), "K", none),
            "insert into xselec values ('K', NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
  EXPECT_EQ(InsertText(Table("xcondi"), "K", none),
            "insert into xcondi values ('K', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
            "NULL)");
  EXPECT_EQ(InsertText(Table("xdivide"), "K", none),
            "insert into xdivide values ('K', NULL, NULL, NULL)");
}

TEST(EntryFromRows, FieldsKeysAndDivisionsComeFromTheirColumns) {
  DictionaryRows rows;
  rows.tables.resize(6);
  rows.tables[0].push_back({Int(0), Text("CODIGO   "), Text("CODIGO"), Text("ALFA"), Text(" "),
                            Int(6), Int(0), Text(" ")});
  rows.tables[0].push_back(
      {Int(1), Text("SALDO"), Text("SALDO"), Text("N"), Text("3"), Int(9), Int(2), Text("S")});
  rows.tables[0].push_back({Int(2), Text("X"), Null(), Null(), Null(), Null(), Null(), Null()});
  rows.tables[1].push_back({Int(0), Text("CODIGO  "), Text("A")});
  rows.tables[2].push_back({Int(0), Text("x"), Int(1)});
  RecordEntry entry = EntryFromRows(rows);
  ASSERT_EQ(entry.fields.size(), 3u);
  EXPECT_EQ(entry.fields[0].name, "CODIGO");
  EXPECT_EQ(entry.fields[0].type, 'A');
  EXPECT_EQ(entry.fields[0].length, 6);
  EXPECT_EQ(entry.fields[1].type, 'N');
  EXPECT_EQ(entry.fields[1].length, 9);
  EXPECT_EQ(entry.fields[1].decimals, 2);
  EXPECT_EQ(entry.fields[2].type, ' ');
  EXPECT_EQ(entry.fields[2].length, 0);
  ASSERT_EQ(entry.keys.size(), 1u);
  EXPECT_EQ(entry.keys[0], "CODIGO");
  ASSERT_EQ(entry.divisions.size(), 1u);
  EXPECT_EQ(entry.divisions[0], 1);
}

TEST(SqlQuote, EveryApostropheIsDoubled) {
  EXPECT_EQ(SqlQuote("a'b''c"), "'a''b''''c'");
  EXPECT_EQ(SqlQuote(""), "''");
}

}  // namespace
}  // namespace volmek::maint
