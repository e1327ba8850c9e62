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
            "volmek-plus: linea 3: solo se ejecutan consultas y bloques PL/SQL: insert into t "
            "values (1)\n"
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

TEST_F(ScriptRunnerTest, ServerOutputShowsWhatBlocksAndQueriesWrite) {
  // Off (the default), nothing is kept; on, each block's lines come before its feedback line.
  ASSERT_TRUE(Run("begin dbms_output.put_line('perdida'); end;\n/\n"
                  "set serveroutput on\n"
                  "begin\n  dbms_output.put_line('uno');\n  dbms_output.put_line(null);\n"
                  "  dbms_output.put_line('dos');\nend;\n/\n"
                  "exec dbms_output.put_line('tres');\n"
                  "set feedback off\n"
                  "exec dbms_output.put_line('cuatro')\n"
                  "set serveroutput off\n"
                  "exec dbms_output.put_line('cinco')\n")
                  .ok());
  const std::string done = "\nPL/SQL procedure successfully completed.\n";
  EXPECT_EQ(terminal_.str(), done + "uno\n\ndos\n" + done + "tres\n" + done + "cuatro\n");
}

TEST_F(ScriptRunnerTest, ServerOutputAfterAQueryAndAfterAnError) {
  Sql("create table t (n number(2))");
  ASSERT_TRUE(Run("set serveroutput on\n"
                  "begin dbms_output.put_line('antes'); insert into t values (100); end;\n/\n"
                  "begin dbms_output.put_line('fila'); end;\n/\n")
                  .ok());
  // The failing block's line is shown after its error; the block's insert is undone.
  EXPECT_EQ(terminal_.str(),
            "ERROR:\nORA-01438: value larger than specified precision allowed for this column\n"
            "ORA-06512: at line 1\n\nantes\nfila\n\nPL/SQL procedure successfully completed.\n");
  ASSERT_TRUE(Run("set serveroutput on\nexec dbms_output.put('sin fin')\n"
                  "set feedback off\nselect count(*) c from t;\nexec dbms_output.new_line\n")
                  .ok());
  EXPECT_EQ(terminal_.str(),
            "\nPL/SQL procedure successfully completed.\n\n         C\n----------\n         0\n"
            "sin fin\n");
}

TEST_F(ScriptRunnerTest, ServerOutputSettingsAndTheirErrors) {
  ASSERT_TRUE(Run("show serveroutput\n"
                  "set serveroutput on size 5000 format wrapped\nshow serverout\n"
                  "set serveroutput off\nset serveroutput on\nsho serveroutput\n"
                  "set serveroutput on size unlimited for tru\nshow serveroutput\n"
                  "set serveroutput on size 1999\nset serveroutput maybe\n"
                  "set serveroutput on size mucho\nshow serveroutput\n"
                  "set serveroutput off\nshow serveroutput\nshow linesize\n")
                  .ok());
  // ON without SIZE or FORMAT keeps the ones set before.
  EXPECT_EQ(terminal_.str(),
            "serveroutput OFF\n"
            "serveroutput ON SIZE 5000 FORMAT WRAPPED\n"
            "serveroutput ON SIZE 5000 FORMAT WRAPPED\n"
            "serveroutput ON SIZE UNLIMITED FORMAT TRUNCATED\n"
            "SP2-0547: size option 1999 out of range (2000 through 1000000)\n"
            "SP2-0265: serveroutput must be set ON or OFF\n"
            "SP2-0268: serveroutput option not a valid number\n"
            "serveroutput ON SIZE UNLIMITED FORMAT TRUNCATED\n"
            "serveroutput OFF\n"
            "volmek-plus: linea 15: opcion de SHOW no admitida: show linesize\n");
  // SIZE is the buffer's limit in the session: a block that writes more fails (ORU-10027).
  ASSERT_TRUE(Run("set serveroutput on size 2000\n"
                  "begin for i in 1 .. 30 loop dbms_output.put_line(rpad('x', 99, 'x')); "
                  "end loop; end;\n/\n")
                  .ok());
  EXPECT_EQ(terminal_.str().substr(0, 75),
            "ERROR:\nORA-20000: ORU-10027: buffer overflow, limit of 2000 bytes\nORA-06512");
}

TEST_F(ScriptRunnerTest, ServerOutputLinesFollowTheFormatWithinTheLineSize) {
  // The documented example: "I am js2008." in a line size of 9.
  const std::string block = "begin dbms_output.put_line('  I am js2008.'); end;\n/\n";
  ASSERT_TRUE(Run("set feedback off\nset linesize 9\nset serveroutput on\n" + block +
                  "set serveroutput on format wrapped\n" + block +
                  "set serveroutput on format truncated\n" + block)
                  .ok());
  EXPECT_EQ(terminal_.str(), "I am\njs2008.\n  I am js\n2008.\n  I am js\n");
}

}  // namespace
}  // namespace volmek::plus
