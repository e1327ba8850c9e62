#include "maint/sort_options.h"

#include <gtest/gtest.h>

namespace volmek::maint {
namespace {

SortOptions Parse(std::string_view line) {
  Result<SortOptions> options = ParseSortOptions(line);
  EXPECT_TRUE(options.has_value()) << (options ? "" : options.error().message());
  return options ? *options : SortOptions{};
}

std::string ErrorOf(std::string_view line) {
  Result<SortOptions> options = ParseSortOptions(line);
  EXPECT_FALSE(options.has_value());
  return options ? "" : options.error().message();
}

TEST(SortOptions, InputAndOutputJoinedOrAsTheNextWord) {
  SortOptions joined = Parse("-i1CLI -oCLIORD ");
  EXPECT_EQ(joined.input, "CLI");
  EXPECT_EQ(joined.output, "CLIORD");
  SortOptions apart = Parse("-I1 cli -O cliord ");
  EXPECT_EQ(apart.input, "cli");
  EXPECT_EQ(apart.output, "cliord");
}

TEST(SortOptions, SecondInputIsAcceptedAndIgnored) {
  SortOptions options = Parse("-i1A -i2B -i2 C -oD ");
  EXPECT_EQ(options.input, "A");
  EXPECT_EQ(options.output, "D");
}

TEST(SortOptions, OrderListWithDescMarksTheEntryBefore) {
  SortOptions options = Parse("-i1CLI -oCLIORD -orden NOMBRE DESC CODIGO ");
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[0].name, "NOMBRE");
  EXPECT_TRUE(options.keys[0].descending);
  EXPECT_EQ(options.keys[1].name, "CODIGO");
  EXPECT_FALSE(options.keys[1].descending);
}

TEST(SortOptions, LowerCaseDescIsAKeyName) {
  SortOptions options = Parse("-i1A -oB -ORDEN X desc ");
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[1].name, "desc");
  EXPECT_FALSE(options.keys[0].descending);
}

TEST(SortOptions, CommaIsAnEntryOfItsOwn) {
  SortOptions options = Parse("-i1A -oB -orden A, B ");
  ASSERT_EQ(options.keys.size(), 3u);
  EXPECT_EQ(options.keys[0].name, "A");
  EXPECT_EQ(options.keys[1].name, ",");
  EXPECT_EQ(options.keys[2].name, "B");
}

TEST(SortOptions, OrdenAndOmiteAreNeverTheOutputOption) {
  SortOptions options = Parse("-i1A -oB -ORDEN K -OMITE X=1 ");
  EXPECT_EQ(options.output, "B");
  ASSERT_EQ(options.keys.size(), 1u);
  EXPECT_EQ(options.keys[0].name, "K");
  EXPECT_EQ(options.omit, "X = 1 ");
  // A list runs to the end: -i1A and -oB are members of it, so no table is named.
  EXPECT_EQ(ErrorOf("-ORDEN K -i1A -oB "),
            "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n");
}

TEST(SortOptions, OptionsAfterAListBelongToTheList) {
  SortOptions options = Parse("-i1A -oB -orden K -oC ");
  EXPECT_EQ(options.output, "B");
  ASSERT_EQ(options.keys.size(), 2u);
  EXPECT_EQ(options.keys[1].name, "-oC");
}

TEST(SortOptions, ListsEndAtTheNextListKeyword) {
  SortOptions options = Parse("-i1A -oB -orden K1 K2 -omite X=1 -incluye Y=2 -orden K3 ");
  ASSERT_EQ(options.keys.size(), 3u);
  EXPECT_EQ(options.keys[2].name, "K3");
  EXPECT_EQ(options.omit, "X = 1 ");
  EXPECT_EQ(options.include, "Y = 2 ");
}

TEST(SortOptions, MissingInputOrOutputIsAnError) {
  EXPECT_EQ(ErrorOf("-i1A "),
            "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n");
  EXPECT_EQ(ErrorOf("-oB "),
            "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n");
  EXPECT_EQ(ErrorOf("-i1A -o "),
            "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n");
}

TEST(SortOptions, UnknownWordBeforeAnyListIsNamed) {
  EXPECT_EQ(ErrorOf("-i1A -x -oB "), "Argumento sort no tratado (-x) \n");
  EXPECT_EQ(ErrorOf("CLI -oB "), "Argumento sort no tratado (CLI) \n");
}

TEST(SortOptions, ConditionWithQuotesIsRebuiltWithSingleBlanks) {
  SortOptions options = Parse("-i1A -oB -incluye TIPO='A' ");
  EXPECT_EQ(options.include, "TIPO = 'A' ");
}

TEST(SortOptions, QuotedLiteralKeepsItsBlanksAndDelimiters) {
  // The tokenizer splits 'A,B  C' at the comma and the blanks; the literal must reach the
  // database as it was typed.
  SortOptions options = Parse("-i1A -oB -omite NOMBRE = 'A,B  C' or X='it''s' ");
  EXPECT_EQ(options.omit, "NOMBRE = 'A,B  C' or X = 'it''s' ");
}

TEST(SortOptions, OperatorsWrittenWithoutBlanksStayWhole) {
  SortOptions options = Parse("-i1A -oB -incluye A<>1 and B>=2 and C!=3 and D<=4 and E^=5 ");
  EXPECT_EQ(options.include, "A <> 1 and B >= 2 and C != 3 and D <= 4 and E ^= 5 ");
}

TEST(SortCreateText, OnlyAnIncludeListGivesAPlainCondition) {
  SortOptions options{"CLI", "CLIORD", {}, "TIPO = 'A' ", ""};
  EXPECT_EQ(SortCreateText(options),
            "create table CLIORD as select * from CLI where (TIPO = 'A' )");
}

TEST(SortCreateText, OnlyAnOmitListGivesANegatedCondition) {
  SortOptions options{"CLI", "CLIORD", {}, "", "TIPO = 'A' "};
  EXPECT_EQ(SortCreateText(options),
            "create table CLIORD as select * from CLI where not (TIPO = 'A' )");
}

TEST(SortCreateText, BothListsAreJoined) {
  SortOptions options{"CLI", "CLIORD", {}, "X = 1 ", "Y = 2 "};
  EXPECT_EQ(SortCreateText(options),
            "create table CLIORD as select * from CLI where (X = 1 ) and not (Y = 2 )");
  options.include.clear();
  options.omit.clear();
  EXPECT_EQ(SortCreateText(options), "create table CLIORD as select * from CLI");
}

TEST(CheckSortNames, TableAndKeyNamesMustBePlainIdentifiers) {
  EXPECT_TRUE(CheckSortNames({"cli", "CLI_ORD", {{"A", false}, {",", false}}, "", ""}).ok());
  EXPECT_EQ(CheckSortNames({"CLI;drop", "B", {}, "", ""}).message(),
            "Error. Nombre de tabla no valido (CLI;drop). No se modifica nada.\n");
  EXPECT_EQ(CheckSortNames({"A", "B", {{"X'Y", false}}, "", ""}).message(),
            "Error sort. Campo de orden no valido (X'Y). No se modifica nada.\n");
}

// The bug: a key name of 5,000 characters went into XCLAVE (ORA-12899) and the run ended 0.
TEST(CheckSortNames, KeyNamesOverThirtyCharactersAreRefused) {
  const std::string thirty(30, 'K');
  EXPECT_TRUE(CheckSortNames({"A", "B", {{thirty, true}}, "", ""}).ok());
  EXPECT_EQ(
      CheckSortNames({"A", "B", {{"C", false}, {thirty + "L", false}}, "", ""}).message(),
      "Error sort. Campo de orden " + thirty + "L pasa de 30 caracteres. No se modifica nada.\n");
}

}  // namespace
}  // namespace volmek::maint
