// genera and traspaso end to end on files alone: the listing fixture into DDL byte for byte
// (and accepted by a T-SQL parser), the failure messages and exit statuses, the bulk-load files
// and carga.bat of a directory.
#include <gtest/gtest.h>

#include "e2e/migrate_support.h"

namespace volmek::testing::migrate {
namespace {

const std::string kBatchEmp =
    "bcp %NOMBD%.dbo.emp in emp.bcp -e emp.err /m 20 /c /CACP /t ~ /r \\n /U%USER% /P%PASS% "
    "/S%SERVER% /b1000\n";

class MigrateGenera : public ::testing::Test {
 protected:
  void SetUp() override {
    // The database exists before the test's run, so that no creation warning is printed.
    ASSERT_EQ(Volmek(dir_, {"sql", "select 1 from dual"}).status, 0);
  }
  TempDir dir_;
};

TEST_F(MigrateGenera, ListingBecomesTheExpectedDdl) {
  dir_.Write("catalogo.txt", ReadFile(SourcePath("tests/data/migrate/catalogo_completo.txt")));
  ProgramResult run = Volmek(dir_, {"genera", "all"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(dir_.Read("genera.sql"),
            ReadFile(SourcePath("tests/data/migrate/genera_completo.sql")));
}

TEST_F(MigrateGenera, GeneratedDdlIsAcceptedByATsqlParser) {
  dir_.Write("catalogo.txt", ReadFile(SourcePath("tests/data/migrate/catalogo_completo.txt")));
  ASSERT_EQ(Volmek(dir_, {"GENERA", "all"}).status, 0);
  std::string missing;
  std::string errors = TsqlErrors(dir_.File("genera.sql"), &missing);
  if (!missing.empty()) GTEST_SKIP() << "sin validacion T-SQL: " << missing;
  EXPECT_EQ(errors, "");
}

TEST_F(MigrateGenera, TsqlParserCatchesASyntaxSlip) {
  // The check itself must be able to fail: a column list with a missing comma.
  dir_.Write("mal.sql",
             "create table T (\n   IDENTI int identity (1,1) primary key\n   A dec  (4,0)\n)\n;\n");
  std::string missing;
  std::string errors = TsqlErrors(dir_.File("mal.sql"), &missing);
  if (!missing.empty()) GTEST_SKIP() << "sin validacion T-SQL: " << missing;
  EXPECT_NE(errors, "");
}

TEST_F(MigrateGenera, EmptyListingGivesEmptyDdl) {
  dir_.Write("catalogo.txt", "");
  EXPECT_EQ(Volmek(dir_, {"genera", "all"}).status, 0);
  EXPECT_TRUE(dir_.Exists("genera.sql"));
  EXPECT_EQ(dir_.Read("genera.sql"), "");
}

TEST_F(MigrateGenera, MissingListingIsReported) {
  ProgramResult run = Volmek(dir_, {"genera", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Imposible abrir fichero (catalogo.txt).\n");
  EXPECT_FALSE(dir_.Exists("genera.sql"));
}

TEST_F(MigrateGenera, UnhandledTypeStopsWithBothMessagesAndKeepsWhatWasWritten) {
  dir_.Write("catalogo.txt", "\nT 1 CATALOGO_TABLA\n h\n h\n A NUMBER\n B FLOAT(126)\n");
  ProgramResult run = Volmek(dir_, {"genera", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "campo: B    tipo: (FLOAT(126)\n)  (FLOAT|126|) \nTipo no tratado \n");
  std::string ddl = dir_.Read("genera.sql");
  EXPECT_TRUE(ddl.ends_with("   A                   dec  (9,0),\n")) << ddl;
}

TEST_F(MigrateGenera, NotWithoutNullStops) {
  dir_.Write("catalogo.txt", "\nT 1 CATALOGO_TABLA\n h\n h\n A NOT NUL CHAR(1)\n");
  ProgramResult run = Volmek(dir_, {"genera", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Esperado NOT NULL (NUL)  A NOT NUL CHAR(1)\n\n");
}

TEST_F(MigrateGenera, FullDiskIsReportedAndTheOldDdlStays) {
  dir_.Write("catalogo.txt", ReadFile(SourcePath("tests/data/migrate/catalogo_completo.txt")));
  dir_.Write("genera.sql", "anterior\n");
  ProgramResult run = VolmekOnFullDisk(dir_, {"genera", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Imposible escribir fichero (genera.sql).\n");
  EXPECT_EQ(dir_.Read("genera.sql"), "anterior\n");
}

class MigrateTraspaso : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Volmek(dir_, {"sql", "select 1 from dual"}).status, 0); }
  TempDir dir_;
};

TEST_F(MigrateTraspaso, ExamplesOfTheFormatAreConverted) {
  dir_.Write("EMP.TXT", "'ABC',123,'X Y'\n'A','B',42\n'',5\n");
  ProgramResult run = Volmek(dir_, {"traspaso", "all"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Trata: emp.txt\n");
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~ABC~123~X Y\n0~A~B~42\n0~~5\n");
  EXPECT_EQ(dir_.Read("carga.bat"), kBatchEmp);
}

TEST_F(MigrateTraspaso, QuotesNullsAndCommasFollowTheSoundForm) {
  dir_.Write("emp.txt", "1,'O''Brien, J.',NULL,'2026-12-08 10:11:12'\n");
  ASSERT_EQ(Volmek(dir_, {"TRASPASO", "all"}).status, 0);
  EXPECT_EQ(dir_.Read("emp.bcp"), "0~1~O'Brien, J.~~2026-12-08 10:11:12\n");
}

TEST_F(MigrateTraspaso, CatalogueListingAndOtherFilesAreLeftAlone) {
  dir_.Write("catalogo.txt", "EMP 1 CATALOGO_TABLA\n");
  dir_.Write("genera.sql", "x");
  ProgramResult run = Volmek(dir_, {"traspaso", "all"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(MigrateTraspaso, TwoRunsAppendToTheBatch) {
  dir_.Write("emp.txt", "1\n");
  ASSERT_EQ(Volmek(dir_, {"traspaso", "all"}).status, 0);
  ASSERT_EQ(Volmek(dir_, {"traspaso", "all"}).status, 0);
  EXPECT_EQ(dir_.Read("carga.bat"), kBatchEmp + kBatchEmp);
}

TEST_F(MigrateTraspaso, ValueWithATildeStopsTheRun) {
  dir_.Write("emp.txt", "'a~b'\n");
  ProgramResult run = Volmek(dir_, {"traspaso", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Trata: emp.txt\n"
            "Fichero emp.txt, linea 1, columna 1: un valor con \"~\" o fin de linea no cabe en el "
            "fichero bcp.\n");
  EXPECT_FALSE(dir_.Exists("emp.bcp"));
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

TEST_F(MigrateTraspaso, FullDiskIsReportedAndWritesNoBatchLine) {
  dir_.Write("emp.txt", "1,'A'\n");
  ProgramResult run = VolmekOnFullDisk(dir_, {"traspaso", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Trata: emp.txt\nImposible escribir fichero (emp.bcp).\n");
  EXPECT_FALSE(dir_.Exists("emp.bcp"));
  EXPECT_FALSE(dir_.Exists("carga.bat"));
}

}  // namespace
}  // namespace volmek::testing::migrate
