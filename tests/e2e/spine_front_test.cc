// The front door end to end: usage, exit statuses, spellings, logon messages, the created
// database, the statement echo and the confirmation of borra all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class SpineFront : public ::testing::Test {
 protected:
  std::string Usage() const { return ReadFile(SourcePath("tests/data/spine/usage.txt")); }
  TempDir dir_;
};

TEST_F(SpineFront, NoArgumentPrintsTheUsageTextAndExitsOne) {
  ProgramResult run = Volmek(dir_, {});
  EXPECT_EQ(run.out, Usage());
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir_.Exists("test.db"));  // no session was opened
}

TEST_F(SpineFront, OperationWithoutParameterPrintsTheUsageTextAndExitsOne) {
  ProgramResult run = Volmek(dir_, {"info"});
  EXPECT_EQ(run.out, Usage());
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir_.Exists("test.db"));
}

TEST_F(SpineFront, UnknownOperationIsSilentAndExitsTwo) {
  for (std::string name : {"nada", "Info", "Sql", "trapaso"}) {
    ProgramResult run = Volmek(dir_, {name, "x"});
    EXPECT_EQ(run.out, "") << name;
    EXPECT_EQ(run.err, "") << name;
    EXPECT_EQ(run.status, 2) << name;
  }
  EXPECT_FALSE(dir_.Exists("test.db"));
}

TEST_F(SpineFront, FirstLogonCreatesTheDatabaseAndSaysSoOnce) {
  if (OracleBackendRun()) GTEST_SKIP() << "the creation warning is the embedded engine's";
  ProgramResult first = Volmek(dir_, {"sql", "create table t (a number)"});
  EXPECT_EQ(first.out, "Warning. Base de datos " + dir_.File("test.db") +
                           " creada.\n\nvolmek. Instruccion procesada.\n");
  EXPECT_EQ(first.status, 0);
  ProgramResult second = Volmek(dir_, {"SQL", "drop table t"});
  EXPECT_EQ(second.out, "\nvolmek. Instruccion procesada.\n");
  EXPECT_EQ(second.status, 0);
}

TEST_F(SpineFront, EmptyTnsUsesVolmekDbInTheCurrentDirectory) {
  ProgramResult run = Volmek(dir_, {"sql", "create table t (a number)"}, {{"TNS", ""}});
  EXPECT_EQ(run.out,
            "Warning. Base de datos volmek.db creada.\n\nvolmek. Instruccion procesada.\n");
  EXPECT_TRUE(dir_.Exists("volmek.db"));
}

TEST_F(SpineFront, WrongPasswordIsRefusedWithTheLogonMessage) {
  ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  ProgramResult run = Volmek(dir_, {"sql", "select * from t"}, {{"PASSWD", "otra"}});
  EXPECT_EQ(run.out, "No se puede establecer conexion con Base de Datos DEMO\n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(SpineFront, EmptyUserIsRefusedAndTheMessageEndsAfterBaseDeDatos) {
  ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  ProgramResult run = Volmek(dir_, {"sql", "select * from t"}, {{"NOMBREBD", ""}});
  EXPECT_EQ(run.out, "No se puede establecer conexion con Base de Datos \n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(SpineFront, OracleConnectStringNeedsTheClientLibrary) {
  if (OracleBackendRun()) GTEST_SKIP() << "this run puts a client library on LD_LIBRARY_PATH";
  ProgramResult run = Volmek(dir_, {"sql", "select * from dual"}, {{"TNS", "PROD"}});
  // This machine has no Oracle client: the second line says so, what was tried and what to
  // install (the loader's tests check the line in full).
  EXPECT_THAT(run.out, ::testing::StartsWith(
                           "No se puede establecer conexion con Base de Datos DEMO\n"
                           "No se puede usar la biblioteca cliente de Oracle: no se encuentra "
                           "libclntsh.so. Buscada en: "));
  EXPECT_THAT(run.out, ::testing::HasSubstr("Instant Client Basic 19 o posterior"));
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
  EXPECT_EQ(run.status, 1);
}

TEST_F(SpineFront, EchoShowsTheOpeningAndEveryStatement) {
  ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  ProgramResult run = Volmek(dir_, {"sql", "delete from t"}, {{"TEST", "1x"}});
  EXPECT_EQ(run.out, "Apertura BD ...\nsql: DELETE FROM T\n\nvolmek. 0 filas procesada.\n");
  ProgramResult quiet = Volmek(dir_, {"sql", "delete from t"}, {{"TEST", "01"}});
  EXPECT_EQ(quiet.out, "\nvolmek. 0 filas procesada.\n");
}

TEST_F(SpineFront, BorraAllAnsweredInLowerCaseDropsNothing) {
  ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  ProgramResult run = Volmek(dir_, {"borra", "all"}, {}, "s\n");
  EXPECT_EQ(run.out, "\n\nOjo. Seguro que quiere eliminar todas las tablas (S/N)");
  EXPECT_EQ(run.status, 0);
  ProgramResult closed = Volmek(dir_, {"borra", "ALL"}, {{"TEST", "S"}});
  EXPECT_EQ(closed.out, "\n\nOjo. Seguro que quiere eliminar todas las tablas (S/N)");
  EXPECT_EQ(Volmek(dir_, {"sql", "select count(*) from t"}).status, 0);  // still there
}

TEST_F(SpineFront, ImpWithAllImportsNothing) {
  ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  ProgramResult run = Volmek(dir_, {"imp", "all"});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace volmek::testing
