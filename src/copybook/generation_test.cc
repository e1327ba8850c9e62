#include "copybook/generation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "copybook/layout.h"
#include "copybook/reader.h"

namespace volmek::copybook {
namespace {

using ::testing::ElementsAre;

std::string Line(std::string_view text) { return "       " + std::string(text) + "\n"; }

Layout LayOut(const std::string& text) {
  Result<FieldTable> fields = ReadFields(text);
  EXPECT_TRUE(fields) << fields.error().message();
  if (!fields) return {};
  Result<Layout> layout = LayOutFields(std::move(*fields));
  EXPECT_TRUE(layout);
  return layout ? *layout : Layout{};
}

std::vector<std::string> ColumnNames(const std::string& text) {
  const Layout layout = LayOut(text);
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, "T");
  EXPECT_TRUE(columns) << columns.error().message();
  std::vector<std::string> names;
  if (columns) {
    for (const Column& column : *columns) names.push_back(column.name);
  }
  return names;
}

std::string Refusal(const std::string& text, std::string_view table = "T") {
  const Layout layout = LayOut(text);
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, table);
  EXPECT_FALSE(columns);
  return columns ? "" : columns.error().message();
}

TEST(ColumnNaming, ElementaryOccursGetsOneColumnPerOccurrence) {
  EXPECT_THAT(ColumnNames(Line("05 A PIC X OCCURS 3.")), ElementsAre("A1", "A2", "A3"));
}

TEST(ColumnNaming, OccursGroupRepeatsItsItemsInOrder) {
  EXPECT_THAT(ColumnNames(Line("05 T OCCURS 2.") + Line("10 B PIC X.") + Line("10 D PIC 9.")),
              ElementsAre("B1", "D1", "B2", "D2"));
}

TEST(ColumnNaming, DirectlyNestedOccursGroupsGiveTwoNumbers) {
  EXPECT_THAT(ColumnNames(Line("05 T OCCURS 2.") + Line("10 U OCCURS 3.") + Line("15 E PIC X.")),
              ElementsAre("E11", "E12", "E13", "E21", "E22", "E23"));
}

TEST(ColumnNaming, ItemOccursInsideAGroupOccursGivesTwoNumbers) {
  EXPECT_THAT(ColumnNames(Line("05 T OCCURS 2.") + Line("10 F PIC X OCCURS 4.")),
              ElementsAre("F11", "F12", "F13", "F14", "F21", "F22", "F23", "F24"));
}

TEST(ColumnNaming, SiblingOfAnInnerTableIsRepeatedByItsOwnGroupsOnly) {
  EXPECT_THAT(ColumnNames(Line("05 Z OCCURS 2.") + Line("10 P OCCURS 2.") + Line("15 H PIC 9.") +
                          Line("10 K PIC X.")),
              ElementsAre("H11", "H12", "K1", "H21", "H22", "K2"));
}

TEST(ColumnNaming, ThreeLevelsGiveThreeNumbers) {
  EXPECT_THAT(
      ColumnNames(Line("05 A OCCURS 2.") + Line("10 B OCCURS 2.") + Line("15 C PIC X OCCURS 2.")),
      ElementsAre("C111", "C112", "C121", "C122", "C211", "C212", "C221", "C222"));
}

TEST(ColumnNaming, RedefinitionsOutsideOccursGroupsGiveNoColumn) {
  EXPECT_THAT(
      ColumnNames(Line("05 A PIC X(4).") + Line("05 B REDEFINES A.") + Line("10 B1 PIC 99.") +
                  Line("10 B2 PIC 99.") + Line("01 R.") + Line("05 C PIC X(4).") +
                  Line("05 N REDEFINES C PIC 9(4).") + Line("05 Z PIC X.")),
      ElementsAre("A", "C", "Z"));
}

// The bug: inside an OCCURS group the REDEFINES item gave no column (R11 FILLER11 R12 ...).
TEST(ColumnNaming, RedefinitionsInsideOccursGroupsGiveTheirColumns) {
  EXPECT_THAT(ColumnNames(Line("05 R OCCURS 2.") + Line("10 R1 PIC X.") +
                          Line("10 R2 REDEFINES R1 PIC 9.") + Line("10 FILLER PIC X.")),
              ElementsAre("R11", "R21", "FILLER11", "R12", "R22", "FILLER12"));
  // A redefining group inside the span repeats its items too, nested OCCURS included.
  EXPECT_THAT(ColumnNames(Line("05 U OCCURS 2.") + Line("10 C PIC X(4).") +
                          Line("10 N REDEFINES C.") + Line("15 N1 PIC 99 OCCURS 2.")),
              ElementsAre("C1", "N111", "N112", "C2", "N121", "N122"));
}

TEST(ColumnRefusals, RedefinitionInsideOccursIsCheckedLikeAnyItem) {
  EXPECT_EQ(
      Refusal(Line("05 U OCCURS 2.") + Line("10 C PIC X(4).") + Line("10 C REDEFINES C PIC 9(4).")),
      "La columna C1 sale dos veces (lineas 2 y 3 del copy).\n");
  EXPECT_EQ(Refusal(Line("05 U OCCURS 2.") + Line("10 C PIC X(4).") +
                    Line("10 N REDEFINES C PIC 9(39).")),
            "El campo N (linea 3 del copy) tiene 39 digitos; una columna DEC admite 38.\n");
}

TEST(ColumnNaming, GroupsGiveNoColumnTheirItemsDo) {
  EXPECT_THAT(
      ColumnNames(Line("01 R.") + Line("05 G.") + Line("10 A PIC X.") + Line("05 B PIC 9.")),
      ElementsAre("A", "B"));
}

TEST(ColumnDefinitions, CharDecAndFloatLines) {
  const Layout layout =
      LayOut(Line("05 CLI-CODIGO PIC 9(5).") + Line("05 CLI-SALDO PIC S9(7)V99 COMP-3.") +
             Line("05 NOMBRE PIC X(40).") + Line("05 CUENTA PIC 9(4) COMP.") +
             Line("05 COEF COMP-2.") + Line("05 COEF1 PIC 9(6) COMP-1."));
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, "CLIENTES");
  ASSERT_TRUE(columns);
  ASSERT_EQ(columns->size(), 6u);
  EXPECT_EQ(ColumnDefinition((*columns)[0], layout.fields),
            "    CLI_CODIGO                    DEC  (5,0)   NULL,\n");
  EXPECT_EQ(ColumnDefinition((*columns)[1], layout.fields),
            "    CLI_SALDO                     DEC  (9,2)   NULL,\n");
  EXPECT_EQ(ColumnDefinition((*columns)[2], layout.fields),
            "    NOMBRE                        CHAR (40)    NULL,\n");
  // The column follows the digit count, not the two bytes of storage.
  EXPECT_EQ(ColumnDefinition((*columns)[3], layout.fields),
            "    CUENTA                        DEC  (4,0)   NULL,\n");
  EXPECT_EQ(ColumnDefinition((*columns)[4], layout.fields),
            "    COEF                          FLOAT        NULL,\n");
  EXPECT_EQ(ColumnDefinition((*columns)[5], layout.fields),
            "    COEF1                         DEC  (6,0)   NULL,\n");
}

TEST(ColumnDefinitions, LongNamesAndSizesAreWrittenWhole) {
  const Layout layout = LayOut(Line("05 ABCDEFGHIJKLMNOPQRSTUVWXYZ1234 PIC 9(17)V9(12).") +
                               Line("05 C PIC X(1999)."));
  const FieldTable& fields = layout.fields;
  // The bug: a name of 30 characters ran into its type ("...1234DEC") and the create failed.
  EXPECT_EQ(ColumnDefinition(Column{"ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", 0}, fields),
            "    ABCDEFGHIJKLMNOPQRSTUVWXYZ1234 DEC  (29,12) NULL,\n");
  EXPECT_EQ(ColumnDefinition(Column{"ABCDEFGHIJKLMNOPQRSTUVWXYZ123", 0}, fields),
            "    ABCDEFGHIJKLMNOPQRSTUVWXYZ123 DEC  (29,12) NULL,\n");
  EXPECT_EQ(ColumnDefinition(Column{"C", 1}, fields),
            "    C                             CHAR (1999)  NULL,\n");
}

TEST(CreateTable, ClientesExampleWithAndWithoutTablespace) {
  const Layout layout =
      LayOut(Line("05 CLI-CODIGO PIC 9(5).") + Line("05 CLI-SALDO PIC S9(7)V99 COMP-3."));
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, "CLIENTES");
  ASSERT_TRUE(columns);
  const std::string body =
      "create table CLIENTES (\n"
      " ID_CLIENTES   DEC(10,0),\n"
      "    CLI_CODIGO                    DEC  (5,0)   NULL,\n"
      "    CLI_SALDO                     DEC  (9,2)   NULL) "
      "storage (initial 1000000 next 2000000 pctincrease 0) ";
  EXPECT_EQ(CreateTableText("CLIENTES", *columns, layout.fields, ""), body);
  EXPECT_EQ(CreateTableText("CLIENTES", *columns, layout.fields, "DATOS"),
            body + " tablespace DATOS");
}

TEST(CreateTable, NoElementaryItemsLeaveTheIdentifierAlone) {
  const Layout layout = LayOut(Line("01 R."));
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, "T");
  ASSERT_TRUE(columns);
  EXPECT_EQ(CreateTableText("T", *columns, layout.fields, ""),
            "create table T (\n ID_T   DEC(10,0)) storage (initial 1000000 next 2000000 "
            "pctincrease 0) ");
}

TEST(XcampoRows, ValuesOfTheClientesExample) {
  const Layout layout = LayOut(Line("05 CLI-CODIGO PIC 9(5).") +
                               Line("05 CLI-SALDO PIC S9(7)V99 COMP-3.") + Line("05 A PIC X(10)."));
  Result<std::vector<Column>> columns = PlanColumns(layout.fields, "CLIENTES");
  ASSERT_TRUE(columns);
  EXPECT_EQ(XcampoInsertText("CLIENTES", 0, (*columns)[0], layout.fields),
            "insert into XCAMPO values ('CLIENTES', 0, 'CLI_CODIGO', 'CLI_CODIGO', 'N', ' ', 5, "
            "0, ' ') \n");
  EXPECT_EQ(XcampoInsertText("CLIENTES", 1, (*columns)[1], layout.fields),
            "insert into XCAMPO values ('CLIENTES', 1, 'CLI_SALDO', 'CLI_SALDO', 'N', '3', 9, 2, "
            "'S') \n");
  EXPECT_EQ(XcampoInsertText("CLIENTES", 2, (*columns)[2], layout.fields),
            "insert into XCAMPO values ('CLIENTES', 2, 'A', 'A', 'A', ' ', 10, 0, ' ') \n");
}

TEST(ColumnRefusals, NameLongerThanThirtyCharacters) {
  EXPECT_EQ(Refusal(Line("05 T OCCURS 2.") + Line("10 ABCDEFGHIJKLMNOPQRSTUVWXYZ1234 PIC X.")),
            "La columna ABCDEFGHIJKLMNOPQRSTUVWXYZ12341 (linea 2 del copy) pasa de 30 "
            "caracteres.\n");
}

TEST(ColumnRefusals, SameNameTwice) {
  EXPECT_EQ(Refusal(Line("05 G1.") + Line("10 A PIC X.") + Line("05 G2.") + Line("10 A PIC 9.")),
            "La columna A sale dos veces (lineas 2 y 4 del copy).\n");
}

TEST(ColumnRefusals, SuffixesThatRunTogether) {
  // E with occurrences (1, 11) and (11, 1) would both be E111.
  EXPECT_EQ(Refusal(Line("05 T OCCURS 11.") + Line("10 E PIC X OCCURS 11.")),
            "La columna E111 sale dos veces (lineas 2 y 2 del copy).\n");
}

TEST(ColumnRefusals, NameThatIsNoIdentifierOrAReservedWord) {
  EXPECT_EQ(Refusal(Line("05 1A PIC X.")),
            "La columna 1A (linea 1 del copy) no es un nombre valido de columna.\n");
  // Oracle would refuse the create after the old table is dropped.
  EXPECT_EQ(Refusal(Line("05 A PIC X.") + Line("05 ROWID PIC 9.")),
            "La columna ROWID (linea 2 del copy) es una palabra reservada de Oracle.\n");
}

TEST(ColumnRefusals, ColumnNamedAsTheIdentifier) {
  EXPECT_EQ(Refusal(Line("05 ID-T PIC 9."), "T"),
            "La columna ID_T coincide con el identificador de la tabla.\n");
}

TEST(ColumnRefusals, TooManyDigitsForDec) {
  EXPECT_EQ(Refusal(Line("05 A PIC 9(39).")),
            "El campo A (linea 1 del copy) tiene 39 digitos; una columna DEC admite 38.\n");
}

TEST(ColumnRefusals, TooLongForChar) {
  EXPECT_EQ(Refusal(Line("05 A PIC X(2001).")),
            "El campo A (linea 1 del copy) ocupa 2001 caracteres; una columna CHAR admite "
            "2000.\n");
}

TEST(ColumnRefusals, NumericPictureWithoutDigits) {
  EXPECT_EQ(Refusal(Line("05 A PIC ///.")), "El campo A (linea 1 del copy) no tiene digitos.\n");
}

TEST(ColumnRefusals, MoreColumnsThanOracleAllows) {
  EXPECT_EQ(Refusal(Line("05 T OCCURS 999999999.") + Line("10 A PIC X OCCURS 999999999.")),
            "La tabla T tendria mas de 1000 columnas; Oracle admite 1000.\n");
  EXPECT_EQ(ColumnNames(Line("05 A PIC X OCCURS 999.")).size(), 999u);
}

TEST(ColumnRefusals, RedefinitionsAreNotChecked) {
  EXPECT_THAT(ColumnNames(Line("05 A PIC X(4).") + Line("05 B REDEFINES A PIC 9(39).")),
              ElementsAre("A"));
}

}  // namespace
}  // namespace volmek::copybook
