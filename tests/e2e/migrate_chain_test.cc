// The whole move on one machine: tables, views, indexes and rows on the embedded database;
// catalogo; volmek-plus catalogo.sql; genera; backup all; traspaso. genera.sql must be what the
// schema asks for and parse as T-SQL; the bulk-load files must hold every row.
#include <gtest/gtest.h>

#include "e2e/migrate_support.h"

namespace volmek::testing::migrate {
namespace {

const std::string kDashes =
    "-- ---------------------------------------------------------------------\n";

std::string Batch(const std::string& base) {
  return "bcp %NOMBD%.dbo." + base + " in " + base + ".bcp -e " + base +
         ".err /m 20 /c /CACP /t ~ /r \\n /U%USER% /P%PASS% /S%SERVER% /b1000\n";
}

class MigrateChain : public ::testing::Test {
 protected:
  void SetUp() override {
    Script(dir_,
           "create table emp (empno number(4) not null, ename varchar2(10), notes varchar2(2000), "
           "hiredate date, sal number(7,2), comm number, flag char(1), "
           "nombre_de_columna_largo varchar2(5))\n;\n"
           "create table dept (deptno number(2) not null, dname varchar2(14))\n;\n"
           "create table vacia (x number(3))\n;\n"
           "create unique index pk_emp on emp (empno)\n;\n"
           "create index i_emp2 on emp (ename, hiredate)\n;\n"
           "create view v_emp as select empno, ename from emp\n;\n"
           "insert into emp values (7369, 'SMITH', 'notas, con coma', "
           "to_date('1980-12-17 10:11:12', 'YYYY-MM-DD HH24:MI:SS'), 800.5, NULL, 'S', 'x')\n;\n"
           "insert into emp values (7499, 'O''BRIEN', NULL, NULL, NULL, 3, NULL, NULL)\n;\n"
           "insert into dept values (10, 'VENTAS')\n;\n");
  }
  TempDir dir_;
};

TEST_F(MigrateChain, SchemaTravelsIntoDdlAndBulkLoadFiles) {
  ProgramResult catalogo = Volmek(dir_, {"catalogo", "all"});
  ASSERT_EQ(catalogo.status, 0) << catalogo.out;

  ProgramResult plus = Plus(dir_, {"catalogo.sql"});
  ASSERT_EQ(plus.status, 0) << plus.out;
  EXPECT_EQ(plus.out, "");  // TERM OFF: everything went to the spool file
  std::string listing = dir_.Read("catalogo.txt");
  EXPECT_TRUE(listing.starts_with("\nDEPT          1 CATALOGO_TABLA\n Name ")) << listing;
  EXPECT_NE(listing.find("\nV_EMP          2 CATALOGO_VISTA\n Name "), std::string::npos)
      << listing;

  ProgramResult genera = Volmek(dir_, {"genera", "all"});
  ASSERT_EQ(genera.status, 0) << genera.out;
  EXPECT_EQ(genera.out, "");
  std::string ddl = dir_.Read("genera.sql");
  EXPECT_EQ(ddl, kDashes + "--    DEPT\n" + kDashes +
                     "drop table DEPT\n;\n"
                     "create table DEPT (\n"
                     "   IDENTI              int  identity (1,1)  primary key,\n"
                     "   DEPTNO              dec  (2,0) not null,\n"
                     "   DNAME               char (14)\n"
                     ")\n;\n" +
                     kDashes + "--    EMP\n" + kDashes +
                     "drop table EMP\n;\n"
                     "create table EMP (\n"
                     "   IDENTI              int  identity (1,1)  primary key,\n"
                     "   EMPNO               dec  (4,0) not null,\n"
                     "   ENAME               char (10),\n"
                     "   NOTES               text,\n"
                     "   HIREDATE            datetime,\n"
                     "   SAL                 dec  (7,2),\n"
                     "   COMM                dec  (9,0),\n"
                     "   FLAG                char (1),\n"
                     "   NOMBRE_DE_COLUMNA_LARGO char (5)\n"
                     ")\n;\n"
                     "create  index I_EMP2 on EMP (ENAME, HIREDATE)\n;\n"
                     "create unique  index PK_EMP on EMP (EMPNO)\n;\n" +
                     kDashes + "--    VACIA\n" + kDashes +
                     "drop table VACIA\n;\n"
                     "create table VACIA (\n"
                     "   IDENTI              int  identity (1,1)  primary key,\n"
                     "   X                   dec  (3,0)\n"
                     ")\n;\n");
  std::string missing;
  std::string errors = TsqlErrors(dir_.File("genera.sql"), &missing);
  if (missing.empty()) {
    EXPECT_EQ(errors, "") << ddl;
  }

  ProgramResult backup = Volmek(dir_, {"backup", "all"});
  ASSERT_EQ(backup.status, 0) << backup.out;

  ProgramResult traspaso = Volmek(dir_, {"traspaso", "all"});
  ASSERT_EQ(traspaso.status, 0) << traspaso.out;
  EXPECT_EQ(traspaso.out, "Trata: dept.txt\nTrata: emp.txt\nTrata: vacia.txt\n");
  EXPECT_EQ(dir_.Read("dept.bcp"), "0~10~VENTAS\n");
  EXPECT_EQ(dir_.Read("emp.bcp"),
            "0~7369~SMITH~notas, con coma~1980-12-17 10:11:12~800.50~~S~x\n"
            "0~7499~O'BRIEN~~~~3.00~~\n");
  EXPECT_TRUE(dir_.Exists("vacia.bcp"));
  EXPECT_EQ(dir_.Read("vacia.bcp"), "");
  EXPECT_EQ(dir_.Read("carga.bat"), Batch("dept") + Batch("emp") + Batch("vacia"));

  if (!missing.empty()) GTEST_SKIP() << "genera.sql sin validacion T-SQL: " << missing;
}

class MigratePlus : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(MigratePlus, CatalogueListingHasTheShapeGeneraReads) {
  Script(dir_,
         "create table emp (empno number(4) not null, ename varchar2(10), hiredate date)\n;\n"
         "create unique index pk_emp on emp (empno)\n;\n"
         "create view v as select empno from emp\n;\n"
         "insert into emp values (1, 'A', sysdate)\n;\n");
  ASSERT_EQ(Volmek(dir_, {"catalogo", "all"}).status, 0);
  ProgramResult plus = Plus(dir_, {"@catalogo"});
  EXPECT_EQ(plus.status, 0);
  EXPECT_EQ(plus.out, "");
  const std::string heading =
      " Name                                      Null?    Type\n"
      " ----------------------------------------- -------- ----------------------------\n";
  EXPECT_EQ(
      dir_.Read("catalogo.txt"),
      "\nEMP          1 CATALOGO_TABLA\n" + heading +
          " EMPNO                                     NOT NULL NUMBER(4)\n"
          " ENAME                                              VARCHAR2(10)\n"
          " HIREDATE                                           DATE\n"
          "\nEMP          1 CATALOGO_INDICES\n"
          "\nPK_EMP                         UNIQUE    EMPNO                                   1 "
          "ASC  EMP                           \n"
          "\nV          1 CATALOGO_VISTA\n" +
          heading + " EMPNO                                     NOT NULL NUMBER(4)\n");
}

TEST_F(MigratePlus, ServerOutputShowsWhatBlocksWrote) {
  ASSERT_EQ(Volmek(dir_, {"sql", "select 1 from dual"}).status, 0);
  dir_.Write("s.sql",
             "set serveroutput on\nbegin\n  for i in 1 .. 3 loop\n"
             "    dbms_output.put_line('linea ' || i);\n  end loop;\nend;\n/\n"
             "exec dbms_output.put_line(rpad('-', 3, '-') || 'otra')\n"
             "set serveroutput off\nexec dbms_output.put_line('oculta')\nquit\n");
  ProgramResult plus = Plus(dir_, {"s.sql"});
  EXPECT_EQ(plus.status, 0);
  const std::string done = "\nPL/SQL procedure successfully completed.\n";
  EXPECT_EQ(plus.out, "linea 1\nlinea 2\nlinea 3\n" + done + "---otra\n" + done + done);
}

TEST_F(MigratePlus, WithoutAScriptItPrintsItsUsage) {
  ProgramResult plus = Plus(dir_, {});
  EXPECT_EQ(plus.status, 1);
  EXPECT_EQ(plus.out, "Uso: volmek-plus <fichero de ordenes>[.sql]\n");
}

TEST_F(MigratePlus, MissingScriptIsReported) {
  ProgramResult plus = Plus(dir_, {"nada"});
  EXPECT_EQ(plus.status, 1);
  EXPECT_EQ(plus.out, "Imposible abrir fichero (nada.sql).\n");
}

TEST_F(MigratePlus, WrongPasswordIsRefusedLikeVolmek) {
  ASSERT_EQ(Volmek(dir_, {"sql", "select 1 from dual"}).status, 0);
  dir_.Write("s.sql", "quit\n");
  ProgramRun run;
  run.program = "volmek-plus";
  run.args = {"s.sql"};
  run.env = EmbeddedEnv(dir_.File("test.db"));
  run.env["PASSWD"] = "otra";
  run.close_stdin = true;
  run.cwd = dir_.path();
  ProgramResult plus = volmek::testing::Run(run);
  EXPECT_EQ(plus.status, 1);
  EXPECT_EQ(plus.out, Volmek(dir_, {"sql", "select 1 from dual"}, {{"PASSWD", "otra"}}).out);
}

}  // namespace
}  // namespace volmek::testing::migrate
