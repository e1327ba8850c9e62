#include "sql/scripts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "testing/fake_db.h"
#include "testing/harness.h"

namespace volmek::sql {
namespace {

using db::testing::Response;

TEST(FormScriptName, TypedExtensionIsReplacedBySql) {
  ScriptName name = FormScriptName("X.TXT");
  EXPECT_EQ(name.name, "X.sql");
  EXPECT_EQ(name.extension, "TXT");
}

TEST(FormScriptName, NameIsCutAtItsFirstDot) {
  ScriptName name = FormScriptName("A.B.C");
  EXPECT_EQ(name.name, "A.sql");
  EXPECT_EQ(name.extension, "B.C");
}

TEST(FormScriptName, NameWithoutDotIsKept) {
  ScriptName name = FormScriptName("SCRIPT");
  EXPECT_EQ(name.name, "SCRIPT");
  EXPECT_EQ(name.extension, "");
}

// Runs the scripts in a temporary working directory against a scripted database.
class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    OpenSession(false);
  }
  void TearDown() override { std::filesystem::current_path(previous_); }
  void OpenSession(bool echo) {
    auto session =
        db::Session::FromConnection(std::make_unique<db::testing::FakeConnection>(db_), echo, out_);
    ASSERT_TRUE(session.has_value());
    session_ = std::move(*session);
    db_.log().clear();
    out_.str("");
  }
  // The texts parsed on the main cursor, in order.
  std::vector<std::string> Parsed() const {
    std::vector<std::string> texts;
    for (const std::string& entry : db_.log()) {
      std::size_t mark = entry.find(" parse ");
      if (entry.starts_with('c') && mark != std::string::npos)
        texts.push_back(entry.substr(mark + 7));
    }
    return texts;
  }
  std::string Script(const std::string& file, const std::string& contents,
                     const std::string& parameter) {
    dir_.Write(file, contents);
    out_.str("");
    status_ = RunScript(*session_, parameter);
    EXPECT_TRUE(status_.ok()) << status_.message();
    return out_.str();
  }
  std::string File(const std::string& file, const std::string& contents,
                   const std::string& parameter) {
    dir_.Write(file, contents);
    out_.str("");
    status_ = RunFile(*session_, parameter);
    EXPECT_TRUE(status_.ok()) << status_.message();
    return out_.str();
  }

  testing::TempDir dir_;
  std::filesystem::path previous_;
  db::testing::FakeDatabase db_;
  std::ostringstream out_;
  std::unique_ptr<db::Session> session_;
  Status status_;
};

constexpr const char* kFourLines = "create table t (a number)\n;\ninsert into t values (1)\n;\n";

TEST_F(ScriptTest, ScriptOfTwoStatementsRunsBoth) {
  EXPECT_EQ(Script("X.sql", kFourLines, "X.TXT"),
            "fichero (X.sql)  extension (TXT) \nEjecutando X.sql...\n");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"create table t (a number)\n",
                                                "insert into t values (1)\n"}));
  EXPECT_EQ(std::count(db_.log().begin(), db_.log().end(), "c1 execute"), 2);
}

TEST_F(ScriptTest, LastStatementWithoutSemicolonLineIsRunByFsqlOnly) {
  std::string text = std::string(kFourLines) + "insert into t values (2)";
  Script("X.sql", text, "X.SQL");
  EXPECT_EQ(Parsed().size(), 3u);
  EXPECT_EQ(Parsed().back(), "insert into t values (2)");
  db_.log().clear();
  EXPECT_EQ(File("F", text, "F"), "Ejecutando F...\n");
  EXPECT_EQ(Parsed().size(), 2u);
}

TEST_F(ScriptTest, CommentsAndEmptyLinesAreLeftOutByFsqlAndKeptByFiche) {
  std::string text = "insert into t\n-- nota\n\nvalues (1)\n;\n";
  Script("X.sql", text, "X.SQL");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"insert into t\nvalues (1)\n"}));
  db_.log().clear();
  File("F", text, "F");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"insert into t\n-- nota\n\nvalues (1)\n"}));
}

TEST_F(ScriptTest, CrLfLineEndsReachTheDatabaseAsLineFeeds) {
  Script("X.sql", "insert into t\r\nvalues (1)\r\n;\r\n\r\nselect 1 from dual\r\n", "X.SQL");
  EXPECT_EQ(Parsed(),
            (std::vector<std::string>{"insert into t\nvalues (1)\n", "select 1 from dual\n"}));
}

TEST_F(ScriptTest, SemicolonAtTheEndOfALineDoesNotEndTheStatement) {
  std::string text = "insert into t values (1);\ninsert into t values (2)\n;\n";
  Script("X.sql", text, "X.SQL");
  EXPECT_EQ(Parsed(),
            (std::vector<std::string>{"insert into t values (1);\ninsert into t values (2)\n"}));
  db_.log().clear();
  File("F", text, "F");
  EXPECT_EQ(Parsed(),
            (std::vector<std::string>{"insert into t values (1);\ninsert into t values (2)\n"}));
}

TEST_F(ScriptTest, FinalSemicolonWithoutLineEndEndsTheStatementInBothRunners) {
  std::string text = "insert into t values (1)\n;";
  Script("X.sql", text, "X.SQL");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"insert into t values (1)\n"}));
  db_.log().clear();
  File("F", text, "F");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"insert into t values (1)\n"}));
}

TEST_F(ScriptTest, FicheRunsTheStatementOfALastLineEndingInSemicolon) {
  // The bug: the last line was dropped and the text before it (here nothing) was run.
  File("F", "insert into t values (1)\ninsert into t values (2);", "F");
  EXPECT_EQ(Parsed(),
            (std::vector<std::string>{"insert into t values (1)\ninsert into t values (2)"}));
  db_.log().clear();
  File("F", "delete from t;", "F");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"delete from t"}));
  db_.log().clear();
  File("F", "delete from t\n;", "F");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"delete from t\n"}));
}

TEST_F(ScriptTest, PlsqlBlockIsOneStatement) {
  std::string block = "begin\n  insert into t values (1);\n  insert into t values (2);\nend;\n";
  Script("X.sql", block + ";\n", "X.SQL");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{block}));
}

TEST_F(ScriptTest, TwoSemicolonLinesRunAnEmptyTextAndItsFailureIsReported) {
  Response empty;
  empty.parse_rc = 900;
  empty.parse_error = "ORA-00900: invalid SQL statement";
  db_.Add("", empty);
  std::string printed = Script("X.sql", "delete from t\n;\n;\n", "X.SQL");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{"delete from t\n", ""}));
  EXPECT_EQ(printed,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "\nError de Oracle. ORA-00900: invalid SQL statement\n\n\n"
            "\nError de Oracle. ORA-01003: no statement parsed\n\n\n");
}

TEST_F(ScriptTest, StatementFailingAtExecuteIsReportedOnceAndTheRestRuns) {
  Response failing;
  failing.execute_rc = 1;
  failing.execute_error = "ORA-00001: unique constraint (DEMO.SYS_C001) violated";
  db_.Add("insert into t values (1)\n", failing);
  std::string printed =
      Script("X.sql",
             "insert into t values (0)\n;\ninsert into t values (1)\n;\ninsert into t values (2)\n",
             "X.SQL");
  EXPECT_EQ(printed,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\n"
            "\nError de Oracle. ORA-00001: unique constraint (DEMO.SYS_C001) violated\n"
            "insert into t values (1)\n\n\n");
  EXPECT_EQ(Parsed().size(), 3u);
  EXPECT_EQ(session_->reports(), 1u);
}

TEST_F(ScriptTest, StatementFailingAtParseIsReportedWithTheRefusedExecute) {
  Response failing;
  failing.parse_rc = 942;
  failing.parse_error = "ORA-00942: table or view does not exist";
  db_.Add("insert into nada values (1)\n", failing);
  std::string printed =
      File("F", "insert into nada values (1)\n;\ninsert into t values (2)\n;\n", "F");
  EXPECT_EQ(printed,
            "Ejecutando F...\n"
            "\nError de Oracle. ORA-00942: table or view does not exist\ninsert into nada values "
            "(1)\n\n\n"
            "\nError de Oracle. ORA-01003: no statement parsed\ninsert into nada values (1)\n\n\n");
  EXPECT_EQ(Parsed().back(), "insert into t values (2)\n");
}

TEST_F(ScriptTest, FsqlEchoesStatementsEndedBySemicolonLinesOnly) {
  OpenSession(true);
  std::string printed = Script("X.sql", "delete from t\n;\ndelete from u\n", "X.SQL");
  EXPECT_EQ(printed,
            "fichero (X.sql)  extension (SQL) \nEjecutando X.sql...\nsql: delete from t\n\n");
  EXPECT_EQ(Parsed().size(), 2u);
  db_.log().clear();
  EXPECT_EQ(File("F", "delete from t\n;\n", "F"), "Ejecutando F...\n");
}

TEST_F(ScriptTest, MissingFileIsAWarning) {
  out_.str("");
  ASSERT_TRUE(RunScript(*session_, "NADA.SQL").ok());
  EXPECT_EQ(out_.str(),
            "fichero (NADA.sql)  extension (SQL) \nWarning. No existe el fichero NADA.sql\n");
  out_.str("");
  ASSERT_TRUE(RunFile(*session_, "NADA").ok());
  EXPECT_EQ(out_.str(), "Warning. No existe el fichero NADA\n");
  EXPECT_TRUE(Parsed().empty());
}

TEST_F(ScriptTest, UpperCasedNameFindsALowerCaseFile) {
  EXPECT_EQ(Script("carga.sql", "delete from t\n", "CARGA.SQL"),
            "fichero (CARGA.sql)  extension (SQL) \nEjecutando CARGA.sql...\n");
  EXPECT_EQ(Parsed().size(), 1u);
  db_.log().clear();
  EXPECT_EQ(File("fichero.txt", "delete from t\n;\n", "FICHERO.TXT"),
            "Ejecutando FICHERO.TXT...\n");
  EXPECT_EQ(Parsed().size(), 1u);
}

// Lines used to be read in pieces of 9,999 characters, each piece taken as a line.
TEST_F(ScriptTest, LongLinesAndStatementsArePassedWhole) {
  std::string values;
  for (int value_idx = 0; value_idx < 20000; ++value_idx) values += "1, ";
  std::string statement = "insert into t values (" + values + "1)\n";
  Script("X.sql", statement + statement + ";\n", "X.SQL");
  EXPECT_EQ(Parsed(), (std::vector<std::string>{statement + statement}));
}

}  // namespace
}  // namespace volmek::sql
