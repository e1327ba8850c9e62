#include "migrate/ddl_converter.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace volmek::migrate {
namespace {

const std::string kDashes =
    "-- ---------------------------------------------------------------------\n";
const std::string kHeading =
    " Name                                      Null?    Type\n"
    " ----------------------------------------- -------- ----------------------------\n";

std::string Header(const std::string& table) {
  return kDashes + "--    " + table + "\n" + kDashes + "drop table " + table + "\n;\n" +
         "create table " + table + " (\n" +
         "   IDENTI              int  identity (1,1)  primary key";
}

std::string TableMarker(const std::string& table) { return table + "         14 CATALOGO_TABLA\n"; }
std::string IndexMarker(const std::string& table) {
  return table + "         14 CATALOGO_INDICES\n";
}
std::string Column(const std::string& name, const std::string& null, const std::string& type) {
  std::string padded = name + std::string(name.size() < 41 ? 41 - name.size() : 0, ' ');
  std::string null_field = null.empty() ? std::string(8, ' ') : null;
  return " " + padded + " " + null_field + " " + type + "\n";
}
std::string IndexRow(const std::string& name, const std::string& unique, const std::string& column,
                     const std::string& position) {
  return name + "  " + unique + "  " + column + "          " + position + " ASC  EMP   \n";
}

// A table section as the catalogue script's listing holds it.
std::string Section(const std::string& table, const std::string& columns,
                    const std::string& index_rows) {
  return "\n" + TableMarker(table) + kHeading + columns + "\n" + IndexMarker(table) + "\n" +
         index_rows;
}

class DdlConverterTest : public ::testing::Test {
 protected:
  // Converts `listing`; the DDL is in out_, the status is returned.
  Status Convert(const std::string& listing) {
    std::istringstream in(listing);
    out_.str("");
    return ConvertListing(in, out_);
  }
  // The definition written for one column of the given type.
  std::string DefinitionOf(const std::string& type, const std::string& null = "") {
    Status status = Convert(Section("T", Column("C", null, type), ""));
    EXPECT_TRUE(status.ok()) << status.message();
    std::string ddl = out_.str();
    std::size_t start = ddl.find("   C ");
    std::size_t end = ddl.find("\n)\n;\n");
    if (start == std::string::npos || end == std::string::npos) return "(missing) " + ddl;
    return ddl.substr(start, end - start);
  }
  std::ostringstream out_;
};

TEST_F(DdlConverterTest, EmptyListingGivesEmptyDdl) {
  EXPECT_TRUE(Convert("").ok());
  EXPECT_EQ(out_.str(), "");
}

TEST_F(DdlConverterTest, ExampleTableWithTwoIndexesIsConvertedExactly) {
  std::string listing =
      Section("EMP",
              Column("EMPNO", "NOT NULL", "NUMBER(4)") + Column("ENAME", "", "VARCHAR2(10)") +
                  Column("NOTES", "", "VARCHAR2(2000)") + Column("HIREDATE", "", "DATE"),
              IndexRow("I_EMP2", "NONUNIQUE", "ENAME", "1") +
                  IndexRow("I_EMP2", "NONUNIQUE", "HIREDATE", "2") +
                  IndexRow("PK_EMP", "UNIQUE", "EMPNO", "1"));
  ASSERT_TRUE(Convert(listing).ok());
  EXPECT_EQ(out_.str(), Header("EMP") +
                            ",\n"
                            "   EMPNO               dec  (4,0) not null,\n"
                            "   ENAME               char (10),\n"
                            "   NOTES               text,\n"
                            "   HIREDATE            datetime\n"
                            ")\n;\n"
                            "create  index I_EMP2 on EMP (ENAME, HIREDATE)\n;\n"
                            "create unique  index PK_EMP on EMP (EMPNO)\n;\n");
}

TEST_F(DdlConverterTest, NumberTypesBecomeDecimals) {
  EXPECT_EQ(DefinitionOf("NUMBER(7,2)"), "   C                   dec  (7,2)");
  EXPECT_EQ(DefinitionOf("NUMBER"), "   C                   dec  (9,0)");
  EXPECT_EQ(DefinitionOf("NUMBER(10)"), "   C                   dec  (10,0)");
  EXPECT_EQ(DefinitionOf("NUMBER(38)"), "   C                   dec  (38,0)");
}

TEST_F(DdlConverterTest, CharacterTypesBecomeCharOrText) {
  EXPECT_EQ(DefinitionOf("CHAR(1)"), "   C                   char (1)");
  EXPECT_EQ(DefinitionOf("VARCHAR2(255)"), "   C                   char (255)");
  EXPECT_EQ(DefinitionOf("VARCHAR2(256)"), "   C                   text");
  EXPECT_EQ(DefinitionOf("VARCHAR2(4000)"), "   C                   text");
  EXPECT_EQ(DefinitionOf("RAW(16)"), "   C                   char (16)");
}

TEST_F(DdlConverterTest, DateBecomesDatetimeSoTheTimeOfDayFits) {
  // The old mapping, char (10), could hold neither DD-MON-YY nor a date with its time.
  EXPECT_EQ(DefinitionOf("DATE"), "   C                   datetime");
  EXPECT_EQ(DefinitionOf("DATE", "NOT NULL"), "   C                   datetime not null");
}

TEST_F(DdlConverterTest, LongBecomesTextAndSoDoesLongRaw) {
  // The old mapping, dec (9,0), could not hold a long text value.
  EXPECT_EQ(DefinitionOf("LONG"), "   C                   text");
  EXPECT_EQ(DefinitionOf("LONG RAW"), "   C                   text");
}

TEST_F(DdlConverterTest, NotNullIsAppendedToTheDefinition) {
  EXPECT_EQ(DefinitionOf("CHAR(3)", "NOT NULL"), "   C                   char (3) not null");
  EXPECT_EQ(DefinitionOf("VARCHAR2(300)", "NOT NULL"), "   C                   text not null");
}

TEST_F(DdlConverterTest, TypeAsLastWordWithoutTrailingBlanksIsRead) {
  ASSERT_TRUE(Convert("\nT 1 CATALOGO_TABLA\nh1\nh2\nA NUMBER(5,1)\nB NOT NULL DATE\n").ok());
  EXPECT_EQ(out_.str(), Header("T") +
                            ",\n   A                   dec  (5,1),\n"
                            "   B                   datetime not null\n)\n;\n");
}

TEST_F(DdlConverterTest, LongNamesAreSeparatedFromTheirTypeByOneBlank) {
  // Bug kept from the old alignment: a name of 20 characters or more ran into its type
  // ("ABCDEFGHIJKLMNOPQRSTchar (1)"), which SQL Server reads as a column without a type.
  std::string columns = Column("ABCDEFGHIJKLMNOPQRS", "", "CHAR(1)") +
                        Column("ABCDEFGHIJKLMNOPQRST", "", "CHAR(1)") +
                        Column("ABCDEFGHIJKLMNOPQRSTUVWXYZ_ABCD", "", "CHAR(1)");
  ASSERT_TRUE(Convert(Section("T", columns, "")).ok());
  EXPECT_EQ(out_.str(), Header("T") +
                            ",\n   ABCDEFGHIJKLMNOPQRS char (1),\n"
                            "   ABCDEFGHIJKLMNOPQRST char (1),\n"
                            "   ABCDEFGHIJKLMNOPQRSTUVWXYZ_ABCD char (1)\n)\n;\n");
}

TEST_F(DdlConverterTest, TableWithoutColumnsOrIndexesIsOnlyItsHeaderAndClose) {
  ASSERT_TRUE(Convert(Section("T", "", "")).ok());
  EXPECT_EQ(out_.str(), Header("T") + "\n)\n;\n");
}

TEST_F(DdlConverterTest, RepeatedIndexRowKeepsTheFirstColumnOnly) {
  ASSERT_TRUE(
      Convert(Section("T", Column("A", "", "CHAR(1)"),
                      IndexRow("I", "UNIQUE", "A", "1") + IndexRow("I", "UNIQUE", "B", "1")))
          .ok());
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   char (1)\n)\n;\n" +
                            "create unique  index I on T (A)\n;\n");
}

TEST_F(DdlConverterTest, SameNameWithOtherUniquenessStartsASecondStatement) {
  ASSERT_TRUE(
      Convert(Section("T", "",
                      IndexRow("I", "NONUNIQUE", "A", "1") + IndexRow("I", "UNIQUE", "B", "1")))
          .ok());
  EXPECT_EQ(out_.str(), Header("T") + "\n)\n;\n" + "create  index I on T (A)\n;\n" +
                            "create unique  index I on T (B)\n;\n");
}

TEST_F(DdlConverterTest, IndexRowsOfTheNextTableAreNotContinuedFromThePrevious) {
  std::string listing = Section("T", "", IndexRow("I", "UNIQUE", "A", "1")) +
                        Section("U", "", IndexRow("I", "UNIQUE", "B", "1"));
  ASSERT_TRUE(Convert(listing).ok());
  EXPECT_EQ(out_.str(), Header("T") + "\n)\n;\n" + "create unique  index I on T (A)\n;\n" +
                            Header("U") + "\n)\n;\n" + "create unique  index I on U (B)\n;\n");
}

TEST_F(DdlConverterTest, ListingEndingInsideAnIndexClosesIt) {
  std::string listing = "\nT 1 CATALOGO_TABLA\nh\nh\n\nT 1 CATALOGO_INDICES\n\nI UNIQUE A 1";
  ASSERT_TRUE(Convert(listing).ok());
  EXPECT_EQ(out_.str(), Header("T") + "\n)\n;\n" + "create unique  index I on T (A)\n;\n");
}

TEST_F(DdlConverterTest, TableStatementLeftOpenAtTheEndIsClosed) {
  ASSERT_TRUE(Convert("\nT 1 CATALOGO_TABLA\nh\nh\n A CHAR(2)\n").ok());
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   char (2)\n)\n;\n");
}

TEST_F(DdlConverterTest, TableMarkerAfterAnUnclosedTableClosesItAndIsNoColumn) {
  ASSERT_TRUE(Convert("\nT 1 CATALOGO_TABLA\nh\nh\n A CHAR(2)\nU 2 CATALOGO_TABLA\nh\nh\n").ok());
  EXPECT_EQ(out_.str(),
            Header("T") + ",\n   A                   char (2)\n)\n;\n" + Header("U") + "\n)\n;\n");
}

TEST_F(DdlConverterTest, ViewSectionsProduceNoDdlAndCloseTheOpenIndex) {
  std::string listing = Section("T", Column("A", "", "NUMBER"), IndexRow("I", "UNIQUE", "A", "1")) +
                        "\nV          3 CATALOGO_VISTA\n" + kHeading + Column("A", "", "NUMBER") +
                        Column("B", "NOT NULL", "FLOAT(126)") + "\nW          0 CATALOGO_VISTA\n" +
                        kHeading + Column("X", "", "TIMESTAMP(6)");
  ASSERT_TRUE(Convert(listing).ok());
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   dec  (9,0)\n)\n;\n" +
                            "create unique  index I on T (A)\n;\n");
}

TEST_F(DdlConverterTest, LinesOfBlanksAreIgnoredLikeBlankLines) {
  ASSERT_TRUE(
      Convert("\nT 1 CATALOGO_TABLA\nh\nh\n A CHAR(2)\n      \nT 1 CATALOGO_INDICES\n   \n").ok());
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   char (2)\n)\n;\n");
}

TEST_F(DdlConverterTest, CrLfListingReadsLikeLf) {
  ASSERT_TRUE(
      Convert("\r\nT 1 CATALOGO_TABLA\r\nh\r\nh\r\n A DATE\r\n\r\nT 1 CATALOGO_INDICES\r\n").ok());
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   datetime\n)\n;\n");
}

TEST_F(DdlConverterTest, NamesOfAnyLengthAreKeptWhole) {
  std::string name(500, 'N');
  ASSERT_TRUE(
      Convert(Section(name, Column(name, "", "CHAR(1)"), IndexRow(name, "UNIQUE", name, "1")))
          .ok());
  EXPECT_EQ(out_.str(), Header(name) + ",\n   " + name + " char (1)\n)\n;\n" +
                            "create unique  index " + name + " on " + name + " (" + name +
                            ")\n;\n");
}

class DdlConverterFailureTest : public DdlConverterTest {};

TEST_F(DdlConverterFailureTest, NotWithoutNullStopsWithTheWholeLine) {
  Status status = Convert("\nT 1 CATALOGO_TABLA\nh\nh\n A NOT NUL CHAR(1)\n");
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(), "Esperado NOT NULL (NUL)  A NOT NUL CHAR(1)\n\n");
}

TEST_F(DdlConverterFailureTest, FloatStopsWithBothMessagesAndKeepsTheSeparator) {
  Status status =
      Convert(Section("T", Column("A", "", "CHAR(1)") + Column("B", "", "FLOAT(126)"), ""));
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(),
            "campo: B    tipo: (FLOAT(126)\n)  (FLOAT|126|) \nTipo no tratado \n");
  EXPECT_EQ(out_.str(), Header("T") + ",\n   A                   char (1),\n");
}

TEST_F(DdlConverterFailureTest, TimestampTypeWordIsShownWithoutItsParentheses) {
  Status status = Convert("\nT 1 CATALOGO_TABLA\nh\nh\nA TIMESTAMP(6) \n");
  EXPECT_EQ(status.message(),
            "campo: A    tipo: (TIMESTAMP(6))  (TIMESTAMP|6|) \nTipo no tratado \n");
}

TEST_F(DdlConverterFailureTest, TypeIsComparedCaseSensitively) {
  Status status = Convert("\nT 1 CATALOGO_TABLA\nh\nh\nA number(3,1)\n");
  EXPECT_EQ(status.message(),
            "campo: A    tipo: (number(3,1)\n)  (number|3|1) \nTipo no tratado \n");
}

TEST_F(DdlConverterFailureTest, NameThatIsNoIdentifierIsRefused) {
  Status status = Convert("\nT;DROP 1 CATALOGO_TABLA\nh\nh\n");
  EXPECT_EQ(status.message(), "Nombre no valido (T;DROP) en la linea 2 de catalogo.txt\n");
  status = Convert("\nT 1 CATALOGO_TABLA\nh\nh\n\nT 1 CATALOGO_INDICES\nI UNIQUE A(1) 1\n");
  EXPECT_EQ(status.message(), "Nombre no valido (A(1)) en la linea 7 de catalogo.txt\n");
}

}  // namespace
}  // namespace volmek::migrate
