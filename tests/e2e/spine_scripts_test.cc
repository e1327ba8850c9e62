// fsql and fiche end to end on the embedded database.
#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class SpineScripts : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramResult created = Volmek(dir_, {"sql", "create table t (a number(3))"});
    ASSERT_EQ(created.status, 0) << created.out;
  }
  // The values of T, in order, one per line.
  std::string Values() {
    ProgramResult run = Volmek(dir_, {"sql", "select a from t order by a"});
    std::string values;
    std::size_t pos = run.out.find("\n\n", 1);  // the rows start after the header block
    if (pos == std::string::npos) return run.out;
    std::string rows = run.out.substr(pos + 2);
    rows = rows.substr(0, rows.find("\n\nvolmek."));
    for (std::size_t start = 0; start < rows.size();) {
      std::size_t end = rows.find('\n', start);
      std::string line =
          rows.substr(start, end == std::string::npos ? std::string::npos : end - start);
      std::size_t digit = line.find_first_not_of(' ');
      values += (digit == std::string::npos ? "NULL"
                                            : line.substr(digit, line.find(' ', digit) - digit)) +
                ",";
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return values;
  }
  TempDir dir_;
};

TEST_F(SpineScripts, FsqlRunsStatementsEndedBySemicolonLinesAndTheLastOneWithout) {
  dir_.Write("carga.sql",
             "insert into t values (1)\n;\n-- nota\n\ninsert into t\nvalues (2)\n;\ninsert into t "
             "values (3)");
  ProgramResult run = Volmek(dir_, {"fsql", "carga.sql"});
  EXPECT_EQ(run.out, "fichero (CARGA.sql)  extension (SQL) \nEjecutando CARGA.sql...\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Values(), "1,2,3,");
}

TEST_F(SpineScripts, CrLfLineEndsAreLineEnds) {
  dir_.Write("crlf.sql",
             "insert into t\r\nvalues (1)\r\n;\r\n\r\ninsert into t values (2)\r\n;\r\n");
  ProgramResult run = Volmek(dir_, {"fsql", "crlf.sql"});
  EXPECT_EQ(run.out, "fichero (CRLF.sql)  extension (SQL) \nEjecutando CRLF.sql...\n");
  EXPECT_EQ(Values(), "1,2,");
}

TEST_F(SpineScripts, PlsqlBlockIsOneStatement) {
  dir_.Write("bloque.sql",
             "begin\n  insert into t values (1);\n  insert into t values (2);\nend;\n;\n");
  ProgramResult run = Volmek(dir_, {"fsql", "bloque"});
  // Without a dot the name is taken as it is, and found ignoring case.
  EXPECT_EQ(run.out, "fichero (BLOQUE)  extension () \nWarning. No existe el fichero BLOQUE\n");
  run = Volmek(dir_, {"fsql", "bloque.x"});
  EXPECT_EQ(run.out, "fichero (BLOQUE.sql)  extension (X) \nEjecutando BLOQUE.sql...\n");
  EXPECT_EQ(Values(), "1,2,");
}

TEST_F(SpineScripts, FailingStatementInTheMiddleIsReportedOnceAndTheRestRuns) {
  dir_.Write(
      "x.sql",
      "insert into t values (1)\n;\ninsert into t values (1000)\n;\ninsert into t values (3)\n;\n");
  ProgramResult run = Volmek(dir_, {"fsql", "x.sql"});
  EXPECT_EQ(run.out,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "\nError de Oracle. ORA-01438: value larger than specified precision allowed for this "
            "column\n"
            "insert into t values (1000)\n\n\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Values(), "1,3,");
}

TEST_F(SpineScripts, StatementThatDoesNotParseIsReportedWithTheRefusedExecute) {
  dir_.Write("x.sql", "insert into nada values (1)\n;\ninsert into t values (2)\n");
  ProgramResult run = Volmek(dir_, {"fsql", "x.sql"});
  EXPECT_EQ(run.out,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "\nError de Oracle. ORA-00942: table or view does not exist\ninsert into nada values "
            "(1)\n\n\n"
            "\nError de Oracle. ORA-01003: no statement parsed\ninsert into nada values (1)\n\n\n");
  EXPECT_EQ(Values(), "2,");
}

TEST_F(SpineScripts, TrailingSemicolonGoesToTheDatabase) {
  dir_.Write("x.sql", "insert into t values (1);\n;\n");
  ProgramResult run = Volmek(dir_, {"fsql", "x.sql"});
  EXPECT_EQ(run.out,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "\nError de Oracle. ORA-00911: invalid character\ninsert into t values (1);\n\n\n"
            "\nError de Oracle. ORA-01003: no statement parsed\ninsert into t values (1);\n\n\n");
}

TEST_F(SpineScripts, FicheKeepsCommentsAndDropsAStatementLeftWithoutSemicolon) {
  dir_.Write("fichero.txt", "insert into t\n-- nota\nvalues (1)\n;\ninsert into t values (2)\n");
  ProgramResult run = Volmek(dir_, {"fiche", "fichero.txt"});
  EXPECT_EQ(run.out, "Ejecuta el fichero (FICHERO.TXT)\nEjecutando FICHERO.TXT...\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Values(), "1,");
}

TEST_F(SpineScripts, FicheEndsAStatementAtAFinalSemicolonWithoutLineEnd) {
  dir_.Write("f", "insert into t values (1)\n;");
  EXPECT_EQ(Volmek(dir_, {"FICHE", "f"}).out, "Ejecuta el fichero (F)\nEjecutando F...\n");
  EXPECT_EQ(Values(), "1,");
}

TEST_F(SpineScripts, MissingFilesAreWarnings) {
  ProgramResult fsql = Volmek(dir_, {"fsql", "nada.sql"});
  EXPECT_EQ(fsql.out,
            "fichero (NADA.sql)  extension (SQL) \nWarning. No existe el fichero NADA.sql\n");
  EXPECT_EQ(fsql.status, 0);
  ProgramResult fiche = Volmek(dir_, {"fiche", "nada"});
  EXPECT_EQ(fiche.out, "Ejecuta el fichero (NADA)\nWarning. No existe el fichero NADA\n");
  EXPECT_EQ(fiche.status, 0);
}

TEST_F(SpineScripts, EchoShowsStatementsEndedBySemicolonLines) {
  dir_.Write("x.sql", "insert into t values (1)\n;\ninsert into t values (2)\n");
  ProgramResult run = Volmek(dir_, {"fsql", "x.sql"}, {{"TEST", "1"}});
  EXPECT_EQ(run.out,
            "Apertura BD ...\nfichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "sql: insert into t values (1)\n\n");
  EXPECT_EQ(Values(), "1,2,");
}

}  // namespace
}  // namespace volmek::testing

namespace volmek::testing {
namespace {

// Each ";" line runs the empty text: its parse fails and the refused execute is reported too,
// two reports per line. The 100,001st report ends the run.
TEST(SpineErrorLimit, TheReportOverOneHundredThousandEndsTheRun) {
  TempDir dir;
  std::string lines;
  for (int line_idx = 0; line_idx < 50001; ++line_idx) lines += ";\n";
  dir.Write("x.sql", lines + "create table t (a number)\n");
  ProgramResult run = Volmek(dir, {"fsql", "x.sql"});
  EXPECT_EQ(run.status, 1);
  std::size_t reports = 0;
  for (std::size_t pos = run.out.find("Error de Oracle."); pos != std::string::npos;
       pos = run.out.find("Error de Oracle.", pos + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 100001u);
  EXPECT_TRUE(run.out.ends_with("\n\nError de Oracle. ORA-00900: invalid SQL statement\n\n\n"))
      << run.out.substr(run.out.size() - 200);
  // Nothing after the limit ran, and nothing was committed.
  EXPECT_EQ(Volmek(dir, {"sql", "select * from t"}).out,
            "\nError de Oracle. ORA-00942: table or view does not exist\nSELECT * FROM T\n\n");
}

}  // namespace
}  // namespace volmek::testing
