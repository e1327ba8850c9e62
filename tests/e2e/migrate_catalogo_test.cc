// catalogo end to end: catalogo.sql byte for byte for an empty schema, tables only, tables and
// views; replaced on every run; the statement echo.
#include <gtest/gtest.h>

#include "e2e/migrate_support.h"

namespace volmek::testing::migrate {
namespace {

const std::string kHeader =
    "set TERM off\n"
    "SET LINESIZE 800\n"
    "SET PAGESIZE 999999\n"
    "SET HEADING OFF\n"
    "SET FEEDBACK OFF\n"
    "spool catalogo.txt\n";
const std::string kClosing = "spool off\nquit\n";

std::string TableLines(const std::string& t) {
  return "select '" + t + "' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from " + t +
         ";\n"
         "desc " +
         t +
         "\n"
         "select '" +
         t + "' as TABLA, count(*) as REGISTROS, 'CATALOGO_INDICES' from " + t +
         ";\n"
         "select ai.index_name Nombre, ai.uniqueness Unico,  substr(ic.column_name, 1, 30) "
         "Columna, ic.column_position Posicion, ic.descend Orden,  ic.table_name Nombre_Tabla "
         "from all_ind_columns ic, all_indexes ai where ai.index_name = ic.index_name and "
         "ai.table_name = '" +
         t + "' order by ai.index_name, ic.column_position ;\n";
}

std::string ViewLines(const std::string& v) {
  return "select '" + v + "' as VISTA, count(*) as REGISTROS, 'CATALOGO_VISTA'  from " + v +
         ";\ndesc " + v + "\n";
}

class MigrateCatalogo : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(MigrateCatalogo, SchemaWithoutObjectsGivesHeaderAndClosingLines) {
  ProgramResult run = Volmek(dir_, {"catalogo", "all"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, CreationWarning(dir_.File("test.db")));
  EXPECT_EQ(dir_.Read("catalogo.sql"), kHeader + kClosing);
}

TEST_F(MigrateCatalogo, TablesOnlyComeInNameOrder) {
  Script(dir_,
         "create table emp (a number)\n;\ncreate table dept (b number)\n;\n"
         "create index i_emp on emp (a)\n;\n");
  ProgramResult run = Volmek(dir_, {"CATALOGO", "all"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(dir_.Read("catalogo.sql"), kHeader + TableLines("DEPT") + TableLines("EMP") + kClosing);
}

TEST_F(MigrateCatalogo, TablesAndViewsEachGetTheirLines) {
  Script(dir_,
         "create table emp (a number)\n;\ncreate view v as select a from emp\n;\n"
         "create view a_v as select a from emp\n;\n");
  ASSERT_EQ(Volmek(dir_, {"catalogo", "all"}).status, 0);
  EXPECT_EQ(dir_.Read("catalogo.sql"),
            kHeader + TableLines("EMP") + ViewLines("A_V") + ViewLines("V") + kClosing);
}

TEST_F(MigrateCatalogo, SecondRunReplacesTheScript) {
  Script(dir_, "create table emp (a number)\n;\n");
  ASSERT_EQ(Volmek(dir_, {"catalogo", "all"}).status, 0);
  Script(dir_, "drop table emp\n;\n");
  ASSERT_EQ(Volmek(dir_, {"catalogo", "all"}).status, 0);
  EXPECT_EQ(dir_.Read("catalogo.sql"), kHeader + kClosing);
}

TEST_F(MigrateCatalogo, EchoShowsTheTwoDictionaryQueries) {
  ASSERT_EQ(Volmek(dir_, {"catalogo", "all"}).status, 0);  // creates the database first
  ProgramResult run = Volmek(dir_, {"catalogo", "all"}, {{"TEST", "1"}});
  EXPECT_NE(run.out.find("sql: select object_name from user_objects where object_type = "
                         "'TABLE' order by object_name\n"
                         "sql: select object_name from user_objects where object_type = "
                         "'VIEW' order by object_name\n"),
            std::string::npos)
      << run.out;
}

TEST_F(MigrateCatalogo, FullDiskIsReportedAndTheOldScriptStays) {
  Script(dir_, "create table emp (a number)\n;\n");
  dir_.Write("catalogo.sql", "anterior\n");
  ProgramResult run = VolmekOnFullDisk(dir_, {"catalogo", "all"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Imposible escribir fichero copia (catalogo.sql).\n");
  EXPECT_EQ(dir_.Read("catalogo.sql"), "anterior\n");
}

}  // namespace
}  // namespace volmek::testing::migrate
