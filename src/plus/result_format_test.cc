#include "plus/result_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace volmek::plus {
namespace {

db::ColumnDescription Item(std::int16_t type, std::int32_t size, std::string name) {
  db::ColumnDescription description;
  description.db_type = type;
  description.db_size = size;
  description.name = std::move(name);
  return description;
}

class ResultFormatTest : public ::testing::Test {};

TEST_F(ResultFormatTest, ColumnWidthsFollowTheItemKind) {
  EXPECT_EQ(LayoutColumn(Item(db::kTypeChar, 3, "TABLA")).width, 3);
  EXPECT_EQ(LayoutColumn(Item(db::kTypeVarchar2, 30, "NOMBRE")).width, 30);
  EXPECT_EQ(LayoutColumn(Item(db::kTypeNumber, 22, "REGISTROS")).width, 10);
  EXPECT_EQ(LayoutColumn(Item(db::kTypeNumber, 22, "A_VERY_LONG_HEADING")).width, 19);
  EXPECT_EQ(LayoutColumn(Item(db::kTypeDate, 7, "HIREDATE")).width, 9);
  EXPECT_EQ(LayoutColumn(Item(db::kTypeRaw, 4, "R")).width, 8);
  EXPECT_TRUE(LayoutColumn(Item(db::kTypeNumber, 22, "N")).right_aligned);
}

TEST_F(ResultFormatTest, CatalogueMarkerRowHasTheTableNameAsFirstWord) {
  std::vector<OutputColumn> columns = {LayoutColumn(Item(db::kTypeChar, 3, "TABLA")),
                                       LayoutColumn(Item(db::kTypeNumber, 22, "REGISTROS")),
                                       LayoutColumn(Item(db::kTypeChar, 14, "'CATALOGO_TABLA'"))};
  EXPECT_EQ(FormatRow(columns, {"EMP", "14", "CATALOGO_TABLA"}, 800),
            "EMP         14 CATALOGO_TABLA\n");
}

TEST_F(ResultFormatTest, NullsAreBlanksAndTheLastColumnIsPadded) {
  std::vector<OutputColumn> columns = {LayoutColumn(Item(db::kTypeNumber, 22, "N")),
                                       LayoutColumn(Item(db::kTypeVarchar2, 5, "V"))};
  EXPECT_EQ(FormatRow(columns, {std::nullopt, "ab"}, 80), std::string(10, ' ') + " ab   \n");
  EXPECT_EQ(FormatRow(columns, {"7", std::nullopt}, 80), "         7      \n");
}

TEST_F(ResultFormatTest, RowWiderThanTheLineGoesOnOnTheNextLine) {
  std::vector<OutputColumn> columns = {LayoutColumn(Item(db::kTypeVarchar2, 6, "A")),
                                       LayoutColumn(Item(db::kTypeVarchar2, 6, "B"))};
  EXPECT_EQ(FormatRow(columns, {"x", "y"}, 10), "x     \ny     \n");
}

TEST_F(ResultFormatTest, NumbersAreShownAsTheToolShowsThem) {
  EXPECT_EQ(FormatNumber("14", 10), "        14");
  EXPECT_EQ(FormatNumber("0.5", 10), "        .5");
  EXPECT_EQ(FormatNumber("-0.25", 10), "      -.25");
  EXPECT_EQ(FormatNumber("1234.50", 10), "    1234.5");
  EXPECT_EQ(FormatNumber("0", 10), "         0");
  EXPECT_EQ(FormatNumber("-7", 10), "        -7");
}

TEST_F(ResultFormatTest, NumbersTooWideAreRoundedOrShownWithAnExponent) {
  EXPECT_EQ(FormatNumber("1234567.891", 10), "1234567.89");
  EXPECT_EQ(FormatNumber("0.123456789012", 10), ".123456789");
  EXPECT_EQ(FormatNumber("999999999999999999999999999", 10), "1.0000E+27");
  EXPECT_EQ(FormatNumber("12345678901", 10), "1.2346E+10");
  EXPECT_EQ(FormatNumber("-12345678901", 10), "-1.235E+10");
  EXPECT_EQ(FormatNumber("0.00000000012", 10), "1.2000E-10");
  EXPECT_EQ(FormatNumber("99999.999999", 10), "    100000");
}

TEST_F(ResultFormatTest, HeadingsAreCutToTextWidthsAndUnderlined) {
  std::vector<OutputColumn> columns = {LayoutColumn(Item(db::kTypeChar, 3, "TABLA")),
                                       LayoutColumn(Item(db::kTypeNumber, 22, "REGISTROS"))};
  EXPECT_EQ(FormatHeadings(columns, 80), "TAB  REGISTROS\n--- ----------\n");
  // A cut never splits a character: of "AÑO", two bytes would end inside the Ñ.
  std::vector<OutputColumn> accented = {LayoutColumn(Item(db::kTypeChar, 2, "AÑO"))};
  EXPECT_EQ(FormatHeadings(accented, 80), "A \n--\n");
}

TEST_F(ResultFormatTest, DescribeTypesReadLikeTheToolShowsThem) {
  EXPECT_EQ(TypeText("NUMBER", "22", "", ""), "NUMBER");
  EXPECT_EQ(TypeText("NUMBER", "22", "", "0"), "NUMBER(38)");
  EXPECT_EQ(TypeText("NUMBER", "22", "4", "0"), "NUMBER(4)");
  EXPECT_EQ(TypeText("NUMBER", "22", "10", "2"), "NUMBER(10,2)");
  EXPECT_EQ(TypeText("FLOAT", "22", "126", ""), "FLOAT(126)");
  EXPECT_EQ(TypeText("VARCHAR2", "40", "", ""), "VARCHAR2(40)");
  EXPECT_EQ(TypeText("CHAR", "1", "", ""), "CHAR(1)");
  EXPECT_EQ(TypeText("RAW", "16", "", ""), "RAW(16)");
  EXPECT_EQ(TypeText("DATE", "7", "", ""), "DATE");
  EXPECT_EQ(TypeText("LONG RAW", "0", "", ""), "LONG RAW");
}

TEST_F(ResultFormatTest, DescribeListingHasTheDocumentedLayout) {
  EXPECT_EQ(FormatDescribe({{"EMPLOYEE_ID", true, "NUMBER(6)"}, {"COUNTRY_ID", false, "CHAR(2)"}}),
            " Name                                      Null?    Type\n"
            " ----------------------------------------- -------- ----------------------------\n"
            " EMPLOYEE_ID                               NOT NULL NUMBER(6)\n"
            " COUNTRY_ID                                         CHAR(2)\n");
}

TEST_F(ResultFormatTest, DescribeWidensForLongNamesInsteadOfCuttingThem) {
  std::string name(45, 'N');
  std::string listing = FormatDescribe({{name, false, "DATE"}});
  EXPECT_NE(listing.find(" " + name + " " + std::string(8, ' ') + " DATE\n"), std::string::npos);
  EXPECT_EQ(listing.substr(0, listing.find('\n')),
            " Name" + std::string(41, ' ') + " Null?    Type");
}

TEST(ServerOutputLine, WrapsCutsOrTruncatesAtTheLineSize) {
  using F = ServerOutputFormat;
  EXPECT_EQ(FormatServerOutputLine("", 10, F::kWordWrapped), "\n");
  EXPECT_EQ(FormatServerOutputLine("abcdefghijkl", 5, F::kWordWrapped), "abcde\nfghij\nkl\n");
  EXPECT_EQ(FormatServerOutputLine("ab cd  ef", 5, F::kWordWrapped), "ab cd\nef\n");
  EXPECT_EQ(FormatServerOutputLine("   x", 5, F::kWordWrapped), "x\n");
  EXPECT_EQ(FormatServerOutputLine("ab\n  cd", 5, F::kWordWrapped), "ab\ncd\n");
  EXPECT_EQ(FormatServerOutputLine("   x", 5, F::kWrapped), "   x\n");
  EXPECT_EQ(FormatServerOutputLine("abcdefghijkl", 5, F::kWrapped), "abcde\nfghij\nkl\n");
  EXPECT_EQ(FormatServerOutputLine("abcdefghijkl", 5, F::kTruncated), "abcde\n");
  EXPECT_EQ(FormatServerOutputLine("ab\ncdefgh", 3, F::kTruncated), "ab\ncde\n");
}

}  // namespace
}  // namespace volmek::plus
