#include "plus/script_runner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "testing/harness.h"

namespace volmek::plus {
namespace {

const std::string kNameHeading =
    " Name                                      Null?    Type\n"
    " ----------------------------------------- -------- ----------------------------\n";

// Runs scripts on a new embedded database in a temporary directory.
class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Environment env;
    env.Set("NOMBREBD", "DEMO");
    env.Set("PASSWD", "demo");
    env.Set("TNS", "file:" + dir_.File("test.db"));
    auto session = db::Session::Open(env, false, log_);
    ASSERT_TRUE(session.has_value()) << session.error().message();
    session_ = std::move(*session);
  }
  void Sql(const std::string& statement) {
    auto ran = session_->RunStatement(statement);
    ASSERT_TRUE(ran.has_value() && *ran) << statement << "\n" << log_.str();
  }
  Status Run(const std::string& script) {
    std::istringstream in(script);
    terminal_.str("");
    ScriptRunner runner(*session_, terminal_, dir_.path());
    return runner.Run(in);
  }
  testing::TempDir dir_;
  std::ostringstream log_;
  std::ostringstream terminal_;
  std::unique_ptr<db::Session> session_;
};

TEST_F(ScriptRunnerTest, DescribeListsColumnsWithNullabilityAndTypes) {
  Sql("create table emp (empno number(4) not null, ename varchar2(10), sal number(7,2), "
      "n number, hiredate date, flag char(1), notes long, city varchar2(20 char))");
  ASSERT_TRUE(Run("desc emp\n").ok());
  EXPECT_EQ(terminal_.str(),
            kNameHeading +
                " EMPNO                                     NOT NULL NUMBER(4)\n"
                " ENAME                                              VARCHAR2(10)\n"
                " SAL                                                NUMBER(7,2)\n"
                " N                                                  NUMBER\n"
                " HIREDATE                                           DATE\n"
                " FLAG                                               CHAR(1)\n"
                " NOTES                                              LONG\n"
                " CITY                                               VARCHAR2(20 CHAR)\n");
}

TEST_F(ScriptRunnerTest, DescribeOfAViewListsItsColumns) {
  Sql("create table t (a number(3) not null, b varchar2(5))");
  Sql("create view v as select a, b from t");
  ASSERT_TRUE(Run("DESCRIBE V\n").ok());
  EXPECT_EQ(terminal_.str().substr(0, kNameHeading.size()), kNameHeading);
  EXPECT_NE(
      terminal_.str().find(" B                                                  VARCHAR2(5)\n"),
      std::string::npos);
}

TEST_F(ScriptRunnerTest, DescribeOfAMissingObjectShowsTheError) {
  ASSERT_TRUE(Run("desc nada\ndesc x'y\n").ok());
  EXPECT_EQ(terminal_.str(),
            "ERROR:\nORA-04043: object nada does not exist\n\n"
            "ERROR:\nORA-04043: object x'y does not exist\n\n");
}

TEST_F(ScriptRunnerTest, QueryWithHeadingsAndFeedback) {
  Sql("create table t (n number(5), v varchar2(4))");
  Sql("insert into t values (1, 'ab')");
  Sql("insert into t values (NULL, 'cd')");
  ASSERT_TRUE(Run("set feedback on\nselect n, v from t order by v;\n").ok());
  EXPECT_EQ(terminal_.str(),
            "\n"
            "         N V   \n"
            "---------- ----\n"
            "         1 ab  \n"
            "           cd  \n"
            "\n2 rows selected.\n");
}

TEST_F(ScriptRunnerTest, QueryWithoutRowsShowsNothingWithFeedbackOff) {
  Sql("create table t (n number(5))");
  ASSERT_TRUE(Run("SET HEADING OFF\nSET FEEDBACK OFF\nselect n from t;\n").ok());
  EXPECT_EQ(terminal_.str(), "");
  ASSERT_TRUE(Run("set feedback on\nselect n from t;\n").ok());
  EXPECT_EQ(terminal_.str(), "\nno rows selected\n");
}

TEST_F(ScriptRunnerTest, CatalogueMarkerRowsHaveTheNameAsFirstWord) {
  Sql("create table emp (a number)");
  Sql("insert into emp values (1)");
  ASSERT_TRUE(Run("SET HEADING OFF\nSET FEEDBACK OFF\n"
                  "select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from EMP;\n")
                  .ok());
  EXPECT_EQ(terminal_.str(), "\nEMP          1 CATALOGO_TABLA\n");
}

TEST_F(ScriptRunnerTest, TermOffHidesOutputButTheSpoolGetsIt) {
  Sql("create table t (a number)");
  ASSERT_TRUE(Run("set TERM off\nSET HEADING OFF\nspool salida.txt\ndesc t\nspool off\n").ok());
  EXPECT_EQ(terminal_.str(), "");
  EXPECT_EQ(dir_.Read("salida.txt"),
            kNameHeading + " A                                                  NUMBER\n");
}

TEST_F(ScriptRunnerTest, SpoolNameWithoutExtensionGetsLst) {
  ASSERT_TRUE(Run("spool listado\nprompt hola\nspool off\n").ok());
  EXPECT_EQ(dir_.Read("listado.lst"), "hola\n");
  EXPECT_EQ(terminal_.str(), "hola\n");
}

TEST_F(ScriptRunnerTest, SpoolReplacesAnEarlierFileAndAppendAddsToIt) {
  dir_.Write("s.txt", "antes\n");
  ASSERT_TRUE(Run("spool s.txt\nprompt uno\nspool off\n").ok());
  EXPECT_EQ(dir_.Read("s.txt"), "uno\n");
  ASSERT_TRUE(Run("spool s.txt append\nprompt dos\n").ok());
  EXPECT_EQ(dir_.Read("s.txt"), "uno\ndos\n");
}

TEST_F(ScriptRunnerTest, QuitEndsTheScript) {
  ASSERT_TRUE(Run("prompt a\nquit\nprompt b\n").ok());
  EXPECT_EQ(terminal_.str(), "a\n");
}

TEST_F(ScriptRunnerTest, UnsupportedCommandsAreNamedOnTheTerminalOnly) {
  ASSERT_TRUE(Run("spool s.txt\ncolumn x format a10\ninsert into t values (1);\nset pause on\n"
                  "set linesize 0\nspool off\n")
                  .ok());
  EXPECT_EQ(terminal_.str(),
            "volmek-plus: linea 2: orden no admitida: column x format a10\n"
            "volmek-plus: linea 3: solo se ejecutan consultas: insert into t values (1)\n"
            "volmek-plus: linea 4: opcion de SET no admitida: set pause on\n"
            "volmek-plus: linea 5: opcion de SET no admitida: set linesize 0\n");
  EXPECT_EQ(dir_.Read("s.txt"), "");
}

TEST_F(ScriptRunnerTest, FailingQueryShowsTheErrorAndTheScriptGoesOn) {
  ASSERT_TRUE(Run("select * from nada;\nprompt sigue\n").ok());
  EXPECT_EQ(terminal_.str(), "ERROR:\nORA-00942: table or view does not exist\n\nsigue\n");
}

TEST_F(ScriptRunnerTest, SpoolThatCannotBeCreatedEndsTheRun) {
  Status status = Run("spool no/existe/s.txt\nprompt x\n");
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), "Imposible abrir fichero (no/existe/s.txt).\n");
}

TEST_F(ScriptRunnerTest, PageSizeBreaksRepeatTheBlankLineAndHeadings) {
  Sql("create table t (n number(2))");
  for (int n = 1; n <= 3; ++n) Sql("insert into t values (" + std::to_string(n) + ")");
  ASSERT_TRUE(Run("set pagesize 4\nselect n from t order by n;\n").ok());
  std::string page = "\n         N\n----------\n";
  EXPECT_EQ(terminal_.str(), page + "         1\n" + page + "         2\n" + page + "         3\n");
}

}  // namespace
}  // namespace volmek::plus
