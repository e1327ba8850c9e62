#include "sql/statement.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/fake_db.h"

namespace volmek::sql {
namespace {

using db::testing::NumberColumn;
using db::testing::Response;
using db::testing::TextColumn;

class SqlStatementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto session = db::Session::FromConnection(std::make_unique<db::testing::FakeConnection>(db_),
                                               echo_, out_);
    ASSERT_TRUE(session.has_value());
    session_ = std::move(*session);
  }
  void AddQuery(const std::string& sql, std::vector<db::ColumnDescription> columns,
                std::vector<std::vector<std::optional<std::string>>> rows) {
    Response query;
    query.function_type = db::kFunctionSelect;
    query.columns = std::move(columns);
    query.rows = std::move(rows);
    db_.Add(sql, query);
  }
  // Runs `sql`, then the commit that follows it in a run, and returns what they printed.
  std::string Run(const std::string& sql) {
    out_.str("");
    status_ = RunSqlStatement(*session_, sql, CharacterSet::Utf8());
    if (status_.ok()) status_ = session_->Commit();
    return out_.str();
  }

  bool echo_ = false;
  db::testing::FakeDatabase db_;
  std::ostringstream out_;
  std::unique_ptr<db::Session> session_;
  Status status_;
};

TEST_F(SqlStatementTest, QueryPrintsHeaderRowsAndCount) {
  AddQuery("SELECT NOMBRE, EDAD FROM T",
           {TextColumn("NOMBRE", db::kTypeChar, 6), NumberColumn("EDAD", 3, 0)}, {{"ANA", "7"}});
  EXPECT_EQ(Run("SELECT NOMBRE, EDAD FROM T"),
            "\n"
            "NOMBRE                EDAD \n"
            "------ ------------------ \n"
            "\n"
            "ANA                     7 \n"
            "\n"
            "volmek. 1 fila procesada.\n");
  EXPECT_TRUE(status_.ok());
}

TEST_F(SqlStatementTest, QueryWithoutRowsPrintsTwoEmptyLinesAfterTheHeader) {
  AddQuery("SELECT A FROM T", {TextColumn("A", db::kTypeVarchar2, 3)}, {});
  EXPECT_EQ(Run("SELECT A FROM T"),
            "\nA   \n--- \n"
            "\n"
            "\n"
            "volmek. 0 filas procesada.\n");
}

TEST_F(SqlStatementTest, RowsOfAQueryAreCountedInThePlural) {
  AddQuery("SELECT A FROM T", {TextColumn("A", db::kTypeChar, 1)}, {{"X"}, {"Y"}});
  EXPECT_EQ(Run("SELECT A FROM T"), "\nA  \n- \n\nX \nY \n\nvolmek. 2 filas procesada.\n");
}

TEST_F(SqlStatementTest, UpdatePrintsTheRowsChangedAndNoHeader) {
  Response update;
  update.function_type = db::kFunctionUpdate;
  update.rows_changed = 3;
  db_.Add("UPDATE T SET A = 1", update);
  EXPECT_EQ(Run("UPDATE T SET A = 1"), "\nvolmek. 3 filas procesada.\n");
}

TEST_F(SqlStatementTest, InsertOfOneRowSaysFilaWithoutPlural) {
  Response insert;
  insert.function_type = db::kFunctionInsert;
  insert.rows_changed = 1;
  db_.Add("INSERT INTO T VALUES (1)", insert);
  EXPECT_EQ(Run("INSERT INTO T VALUES (1)"), "\nvolmek. 1 fila procesada.\n");
}

TEST_F(SqlStatementTest, OtherStatementsAreConfirmed) {
  Response create;
  create.function_type = 1;
  db_.Add("CREATE TABLE T (A NUMBER)", create);
  EXPECT_EQ(Run("CREATE TABLE T (A NUMBER)"), "\nvolmek. Instruccion procesada.\n");
  Response block;
  block.function_type = db::kFunctionPlsql;
  db_.Add("BEGIN NULL; END;", block);
  EXPECT_EQ(Run("BEGIN NULL; END;"), "\nvolmek. Instruccion procesada.\n");
}

TEST_F(SqlStatementTest, NumbersArePrintedByTheirDelivery) {
  AddQuery("SELECT * FROM N",
           {NumberColumn("A", 5, 2), NumberColumn("B", 12, 0), NumberColumn("C", 10, 0),
            NumberColumn("D", 0, 0)},
           {{"3.5", "7", "9999999999", "123"}});
  std::string printed = Run("SELECT * FROM N");
  EXPECT_NE(printed.find(
                "\n              3.50               7.00         9999999999                123 \n"),
            std::string::npos)
      << printed;
}

TEST_F(SqlStatementTest, NullsArePrintedAsBlanksOfTheColumnWidth) {
  AddQuery("SELECT C, N FROM T", {TextColumn("C", db::kTypeChar, 4), NumberColumn("N", 8, 2)},
           {{std::nullopt, std::nullopt}});
  EXPECT_EQ(Run("SELECT C, N FROM T"),
            "\nC    " + std::string(17, ' ') + "N \n---- " + std::string(18, '-') + " \n\n" +
                std::string(4 + 1 + 18 + 1, ' ') + "\n\nvolmek. 1 fila procesada.\n");
}

TEST_F(SqlStatementTest, NameLongerThanItsColumnIsPrintedWhole) {
  AddQuery("SELECT DESCRIPCION FROM T", {TextColumn("DESCRIPCION", db::kTypeChar, 2)}, {{"AB"}});
  EXPECT_EQ(Run("SELECT DESCRIPCION FROM T"),
            "\nDESCRIPCION          \n-- \n\nAB \n\nvolmek. 1 fila procesada.\n");
}

TEST_F(SqlStatementTest, DatesAndRowidsUseTheirFixedWidths) {
  AddQuery("SELECT D, ROWID FROM T",
           {{7, db::kTypeDate, "D", 9, 0, 0, 1}, {10, db::kTypeRowid, "ROWID", 18, 0, 0, 0}},
           {{"08-DEC-26", "AAAAAAAAAAAAAAAAAB"}});
  EXPECT_EQ(Run("SELECT D, ROWID FROM T"),
            "\nD         ROWID              \n--------- ------------------ \n\n"
            "08-DEC-26 AAAAAAAAAAAAAAAAAB \n\nvolmek. 1 fila procesada.\n");
}

// Values used to be cut at 255 characters.
TEST_F(SqlStatementTest, LongTextIsPrintedWhole) {
  std::string value(300, 'x');
  AddQuery("SELECT V FROM T", {TextColumn("V", db::kTypeVarchar2, 300)}, {{value}});
  EXPECT_NE(Run("SELECT V FROM T").find("\n" + value + " \n"), std::string::npos);
}

TEST_F(SqlStatementTest, ParseFailureIsReportedAndTheRunGoesOn) {
  Response bad;
  bad.parse_rc = 942;
  bad.parse_error = "ORA-00942: table or view does not exist";
  db_.Add("SELECT * FROM NADA", bad);
  EXPECT_EQ(Run("SELECT * FROM NADA"),
            "\nError de Oracle. ORA-00942: table or view does not exist\nSELECT * FROM NADA\n\n");
  EXPECT_TRUE(status_.ok());
}

TEST_F(SqlStatementTest, ExecuteFailureIsReportedAndEndsTheRun) {
  Response bad;
  bad.function_type = db::kFunctionInsert;
  bad.execute_rc = 1400;
  bad.execute_error = "ORA-01400: cannot insert NULL into (\"DEMO\".\"T\".\"A\")";
  db_.Add("INSERT INTO T VALUES (NULL)", bad);
  EXPECT_EQ(Run("INSERT INTO T VALUES (NULL)"),
            "\nError de Oracle. ORA-01400: cannot insert NULL into (\"DEMO\".\"T\".\"A\")\n"
            "INSERT INTO T VALUES (NULL)\n\n");
  EXPECT_EQ(status_.code(), Status::Code::kFatal);
  EXPECT_EQ(status_.message(), "");
}

TEST_F(SqlStatementTest, FailedFetchIsReportedAndItsRowPrinted) {
  Response query;
  query.function_type = db::kFunctionSelect;
  query.columns = {TextColumn("A", db::kTypeChar, 1)};
  query.rows = {{"X"}, {"Y"}};
  query.fetch_errors[1] = {1455, "ORA-01455: converting column overflows integer datatype"};
  db_.Add("SELECT A FROM T", query);
  EXPECT_EQ(Run("SELECT A FROM T"),
            "\nA  \n- \n\n"
            "\nError de Oracle. ORA-01455: converting column overflows integer datatype\nSELECT A "
            "FROM T\n\n"
            "X \nY \n\nvolmek. 2 filas procesada.\n");
}

TEST_F(SqlStatementTest, DescribeFailureLeavesRowsAsEmptyLines) {
  Response query;
  query.function_type = db::kFunctionSelect;
  query.columns = {TextColumn("A", db::kTypeChar, 1)};
  query.rows = {{"X"}};
  query.describe_rc = 1001;
  query.describe_error = "ORA-01001: invalid cursor";
  db_.Add("SELECT A FROM T", query);
  EXPECT_EQ(Run("SELECT A FROM T"),
            "\nError de Oracle. ORA-01001: invalid cursor\nSELECT A FROM T\n\n"
            "\n\n\n\n\n\nvolmek. 1 fila procesada.\n");
}

class EchoedSqlStatementTest : public SqlStatementTest {
 protected:
  EchoedSqlStatementTest() { echo_ = true; }
};

TEST_F(SqlStatementTest, CountWaitsForTheCommitThatKeepsTheChange) {
  // The bug: the count was printed before the commit, which could still fail.
  Response update;
  update.function_type = db::kFunctionUpdate;
  update.rows_changed = 3;
  db_.Add("UPDATE T SET A = 1", update);
  out_.str("");
  ASSERT_TRUE(RunSqlStatement(*session_, "UPDATE T SET A = 1", CharacterSet::Utf8()).ok());
  EXPECT_EQ(out_.str(), "");
  ASSERT_TRUE(session_->Commit().ok());
  EXPECT_EQ(out_.str(), "\nvolmek. 3 filas procesada.\n");
}

TEST_F(EchoedSqlStatementTest, StatementIsEchoedBeforeItRuns) {
  EXPECT_EQ(Run("DROP TABLE T"), "sql: DROP TABLE T\n\nvolmek. Instruccion procesada.\n");
}

}  // namespace
}  // namespace volmek::sql
