// `sql` end to end on the embedded database: describe-and-define widths and types, the printing
// of every type and of NULLs, counts, and the error reports.
#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class SpineSql : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramResult created =
        Sql("create table tipos (n3 number(3), n10 number(10), n11 number(11), n82 number(8,2), "
            "c char(4), v varchar2(300), d date)");
    ASSERT_EQ(created.status, 0) << created.out;
  }
  ProgramResult Sql(const std::string& statement) { return Volmek(dir_, {"sql", statement}); }
  static std::string Blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
  static std::string Dashes(int n) { return std::string(static_cast<std::size_t>(n), '-'); }
  // The header block of select * from tipos.
  static std::string TiposHeader() {
    return "\n" + Blanks(16) + "N3 " + Blanks(15) + "N10 " + Blanks(15) + "N11 " + Blanks(15) +
           "N82 " + "C" + Blanks(3) + " " + "V" + Blanks(299) + " " + "D" + Blanks(8) + " \n" +
           Dashes(18) + " " + Dashes(18) + " " + Dashes(18) + " " + Dashes(18) + " " + Dashes(4) +
           " " + Dashes(300) + " " + Dashes(9) + " \n";
  }
  TempDir dir_;
};

TEST_F(SpineSql, EveryTypeIsPrintedByItsDelivery) {
  ASSERT_EQ(Sql("insert into tipos values (7, 9999999999, 12345678901, 1234.5, 'ab', 'texto', "
                "to_date('15-01-2024', 'DD-MM-YYYY'))")
                .out,
            "\nvolmek. 1 fila procesada.\n");
  ProgramResult run = Sql("select * from tipos");
  EXPECT_EQ(run.out, TiposHeader() + "\n" +
                         // NUMBER(3) and NUMBER(10) as integers (64-bit), NUMBER(11) and
                         // NUMBER(8,2) with two decimals, all right-aligned in 18.
                         Blanks(17) + "7 " + Blanks(8) + "9999999999 " + Blanks(4) +
                         "12345678901.00 " + Blanks(11) + "1234.50 " +
                         // CHAR(4) keeps its blanks; text literals were upper-cased.
                         "AB   " + "TEXTO" + Blanks(295) + " " + "15-JAN-24 " + "\n" +
                         "\nvolmek. 1 fila procesada.\n");
  EXPECT_EQ(run.status, 0);
}

TEST_F(SpineSql, NullsAreBlanksOfTheColumnWidth) {
  ASSERT_EQ(Sql("insert into tipos (n3) values (1)").status, 0);
  ProgramResult run = Sql("select n82, c, v, d from tipos");
  EXPECT_EQ(run.out, "\n" + Blanks(15) + "N82 C    V" + Blanks(299) + " D" + Blanks(8) + " \n" +
                         Dashes(18) + " " + Dashes(4) + " " + Dashes(300) + " " + Dashes(9) +
                         " \n" + "\n" + Blanks(18 + 1 + 4 + 1 + 300 + 1 + 9 + 1) + "\n" +
                         "\nvolmek. 1 fila procesada.\n");
}

TEST_F(SpineSql, CountStarIsAnInteger) {
  ASSERT_EQ(Sql("insert into tipos (n3) values (1)").status, 0);
  ASSERT_EQ(Sql("insert into tipos (n3) values (2)").status, 0);
  EXPECT_EQ(Sql("select count(*) from tipos").out, "\n" + Blanks(10) + "COUNT(*) \n" + Dashes(18) +
                                                       " \n\n" + Blanks(17) + "2 \n" +
                                                       "\nvolmek. 1 fila procesada.\n");
}

TEST_F(SpineSql, QueryWithoutRowsPrintsTheHeaderAndTwoEmptyLines) {
  EXPECT_EQ(Sql("select c from tipos").out, "\nC    \n---- \n\n\nvolmek. 0 filas procesada.\n");
}

TEST_F(SpineSql, UpdateCountsTheRowsChanged) {
  for (int n : {1, 2, 3})
    ASSERT_EQ(Sql("insert into tipos (n3) values (" + std::to_string(n) + ")").status, 0);
  EXPECT_EQ(Sql("update tipos set c = 'x'").out, "\nvolmek. 3 filas procesada.\n");
  EXPECT_EQ(Sql("delete from tipos where n3 = 2").out, "\nvolmek. 1 fila procesada.\n");
  EXPECT_EQ(Sql("select c from tipos where c = 'X'").out,
            "\nC    \n---- \n\nX    \nX    \n\nvolmek. 2 filas procesada.\n");
}

TEST_F(SpineSql, StatementThatDoesNotParseIsReportedAndTheRunEndsNormally) {
  ProgramResult run = Sql("select * from nada");
  EXPECT_EQ(run.out,
            "\nError de Oracle. ORA-00942: table or view does not exist\nSELECT * FROM NADA\n\n");
  EXPECT_EQ(run.status, 0);
}

TEST_F(SpineSql, StatementThatFailsToExecuteIsReportedAndEndsTheRunWithStatusOne) {
  ProgramResult run = Sql("insert into tipos (n3) values (1000)");
  EXPECT_EQ(run.out,
            "\nError de Oracle. ORA-01438: value larger than specified precision allowed for this "
            "column\nINSERT INTO TIPOS (N3) VALUES (1000)\n\n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(SpineSql, ChangesAreCommitted) {
  ASSERT_EQ(Sql("insert into tipos (n3) values (5)").status, 0);
  EXPECT_EQ(Sql("select n3 from tipos").out, "\n" + Blanks(16) + "N3 \n" + Dashes(18) + " \n\n" +
                                                 Blanks(17) + "5 \n\nvolmek. 1 fila procesada.\n");
}

// Text values used to be cut at 255 characters.
TEST_F(SpineSql, LongTextValuesArePrintedWhole) {
  std::string value(300, 'Z');
  ASSERT_EQ(Sql("insert into tipos (v) values ('" + value + "')").status, 0);
  EXPECT_EQ(Sql("select v from tipos").out, "\nV" + Blanks(299) + " \n" + Dashes(300) + " \n\n" +
                                                value + " \n\nvolmek. 1 fila procesada.\n");
}

}  // namespace
}  // namespace volmek::testing
