#include "db/session.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/fake_db.h"

namespace volmek::db {
namespace {

using testing::FakeConnection;
using testing::FakeDatabase;
using testing::Response;

constexpr const char* kAlter = "alter session set nls_sort=binary";

class SessionTest : public ::testing::Test {
 protected:
  Result<std::unique_ptr<Session>> Open(bool echo = false) {
    return Session::FromConnection(std::make_unique<FakeConnection>(db_), echo, out_);
  }
  std::unique_ptr<Session> OpenOk(bool echo = false) {
    auto session = Open(echo);
    EXPECT_TRUE(session.has_value());
    return session.has_value() ? std::move(*session) : nullptr;
  }
  static Response ParseError(int rc, std::string text) {
    Response response;
    response.parse_rc = rc;
    response.parse_error = std::move(text);
    return response;
  }
  static Response ExecuteError(int rc, std::string text) {
    Response response;
    response.execute_rc = rc;
    response.execute_error = std::move(text);
    return response;
  }

  FakeDatabase db_;
  std::ostringstream out_;
};

TEST_F(SessionTest, OpeningSetsBinarySortAndOpensBothCursors) {
  auto session = OpenOk(/*echo=*/true);
  EXPECT_EQ(db_.log(), (std::vector<std::string>{std::string("c1 parse ") + kAlter, "c1 execute"}));
  EXPECT_EQ(db_.opens, 2);
  EXPECT_TRUE(session->has_dictionary());
  EXPECT_EQ(out_.str(), "");  // the alter session text is never echoed
}

TEST_F(SessionTest, MainCursorFailureEndsTheRunWithItsMessage) {
  db_.failing_opens = {1};
  auto session = Open();
  ASSERT_FALSE(session.has_value());
  EXPECT_EQ(session.error().code(), Status::Code::kFatal);
  EXPECT_EQ(session.error().message(),
            "No se ha podido crear el cursor para acceder al diccionario\n");
}

TEST_F(SessionTest, DictionaryCursorFailureEndsTheRunWithItsMessage) {
  db_.failing_opens = {2};
  auto session = Open();
  ASSERT_FALSE(session.has_value());
  EXPECT_EQ(session.error().message(),
            "No se ha podido crear el cursor adicional para acceder al diccionario\n");
}

TEST_F(SessionTest, AlterSessionParseFailureIsReportedAndTheRunGoesOnWithoutDictionary) {
  db_.Add(kAlter, ParseError(922, "ORA-00922: missing or invalid option"));
  auto session = OpenOk();
  EXPECT_EQ(out_.str(), std::string("\nError de Oracle. ORA-00922: missing or invalid option\n") +
                            kAlter + "\n\n");
  EXPECT_FALSE(session->has_dictionary());
  EXPECT_EQ(db_.opens, 1);
  out_.str("");
  EXPECT_NE(session->dictionary().Parse("select 1 from dual"), 0);
  ASSERT_TRUE(session->ReportError(session->dictionary()).ok());
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-01001: invalid cursor\nselect 1 from dual\n\n");
}

TEST_F(SessionTest, AlterSessionInvalidCursorSkipsTheExecuteSilently) {
  db_.Add(kAlter, ParseError(kRcInvalidCursor, "ORA-01001: invalid cursor"));
  auto session = OpenOk();
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(db_.log(), (std::vector<std::string>{std::string("c1 parse ") + kAlter}));
  EXPECT_TRUE(session->has_dictionary());
}

TEST_F(SessionTest, AlterSessionExecuteFailureEndsTheRunAbnormally) {
  db_.Add(kAlter, ExecuteError(1012, "ORA-01012: not logged on"));
  auto session = Open();
  ASSERT_FALSE(session.has_value());
  EXPECT_EQ(out_.str(),
            std::string("\nError de Oracle. ORA-01012: not logged on\n") + kAlter + "\n\n");
  EXPECT_EQ(session.error().message(), "Fin anormal de VOLMEK \n");
}

TEST_F(SessionTest, RunStatementEchoesBeforeTheParse) {
  auto session = OpenOk(/*echo=*/true);
  ASSERT_TRUE(*session->RunStatement("delete from t"));
  EXPECT_EQ(out_.str(), "sql: delete from t\n");
  EXPECT_EQ(db_.log().back(), "c1 execute");
}

TEST_F(SessionTest, SyntaxErrorGivesOneReportAndLeavesTheExecuteFlagClear) {
  db_.Add("selec x", ParseError(900, "ORA-00900: invalid SQL statement"));
  auto session = OpenOk();
  EXPECT_FALSE(*session->RunStatement("selec x"));
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00900: invalid SQL statement\nselec x\n\n");
  EXPECT_FALSE(session->execute_failed());
  EXPECT_EQ(session->reports(), 1u);
  EXPECT_EQ(db_.log().back(), "c1 parse selec x");  // nothing executed
}

TEST_F(SessionTest, ExecuteFailureGivesOneReportAndSetsTheExecuteFlag) {
  db_.Add("insert into t values (1)",
          ExecuteError(1, "ORA-00001: unique constraint (DEMO.SYS_C001) violated"));
  auto session = OpenOk();
  EXPECT_FALSE(*session->RunStatement("insert into t values (1)"));
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00001: unique constraint (DEMO.SYS_C001) violated\n"
            "insert into t values (1)\n\n");
  EXPECT_TRUE(session->execute_failed());
  ASSERT_TRUE(*session->RunStatement("select 1 from dual"));
  EXPECT_FALSE(session->execute_failed());  // cleared by the next run-statement
}

TEST_F(SessionTest, SilentRunStatementPrintsNothing) {
  db_.Add("drop table x", ParseError(942, "ORA-00942: table or view does not exist"));
  auto session = OpenOk();
  EXPECT_FALSE(*session->RunStatement("drop table x", Report::kSilent));
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(session->reports(), 0u);
}

// The report used to print a shared buffer, which showed an older statement when the failing
// text had been run from elsewhere; it now shows what the failing cursor last parsed.
TEST_F(SessionTest, ReportShowsTheStatementOfTheFailingCursor) {
  db_.Add("select * from nada", ExecuteError(942, "ORA-00942: table or view does not exist"));
  auto session = OpenOk();
  SessionCursor& dictionary = session->dictionary();
  ASSERT_EQ(dictionary.Parse("select * from nada"), 0);
  ASSERT_TRUE(*session->RunStatement("select 1 from dual"));
  ASSERT_NE(dictionary.Execute(), 0);
  ASSERT_TRUE(session->ReportError(dictionary).ok());
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00942: table or view does not exist\nselect * from nada\n\n");
}

TEST_F(SessionTest, ReportOverTheErrorLimitEndsTheRun) {
  db_.Add("x", ParseError(900, "ORA-00900: invalid SQL statement"));
  auto session = OpenOk();
  ASSERT_NE(session->main().Parse("x"), 0);
  for (std::uint64_t report = 1; report <= kErrorLimit; ++report) {
    ASSERT_TRUE(session->ReportError(session->main()).ok()) << report;
  }
  out_.str("");
  Status last = session->ReportError(session->main());
  EXPECT_EQ(last.code(), Status::Code::kFatal);
  EXPECT_EQ(last.message(), "");
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00900: invalid SQL statement\nx\n\n");  // still printed
  EXPECT_EQ(session->reports(), kErrorLimit + 1);
}

TEST_F(SessionTest, CommitRunsCommitWorkOnTheMainCursor) {
  auto session = OpenOk(/*echo=*/true);
  ASSERT_TRUE(session->Commit().ok());
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(db_.log(), (std::vector<std::string>{std::string("c1 parse ") + kAlter, "c1 execute",
                                                 "c1 parse commit work", "c1 execute"}));
}

TEST_F(SessionTest, CommitWhoseParseFailsReportsTheParseAndTheRefusedExecute) {
  db_.Add("commit work", ParseError(1001, "ORA-01001: invalid cursor"));
  auto session = OpenOk();
  EXPECT_EQ(session->Commit().code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-01001: invalid cursor\ncommit work\n\n"
            "\nError de Oracle. ORA-01003: no statement parsed\ncommit work\n\n");
}

TEST_F(SessionTest, CommitOfALostSessionIsOneReport) {
  db_.Add("commit work", ParseError(3114, "ORA-03114: not connected to ORACLE"));
  auto session = OpenOk();
  EXPECT_EQ(session->Commit().code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-03114: not connected to ORACLE\ncommit work\n\n");
}

class FetchRowTest : public SessionTest {
 protected:
  void SetUp() override {
    Response query;
    query.function_type = kFunctionSelect;
    query.columns = {testing::TextColumn("A", kTypeVarchar2, 5)};
    query.rows = {{"x"}, {std::nullopt}, {"z"}};
    query.fetch_errors[3] = {1406, "ORA-01406: fetched column value was truncated"};
    db_.Add("select a from t", query);
    session_ = OpenOk();
    cursor_ = &session_->main();
    ASSERT_EQ(cursor_->Parse("select a from t"), 0);
    ASSERT_EQ(cursor_->Define(1, ExternalType::kString), 0);
  }
  std::unique_ptr<Session> session_;
  SessionCursor* cursor_ = nullptr;
};

TEST_F(FetchRowTest, RowsThenTheEnd) {
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(*session_->FetchRow(*cursor_), FetchStep::kRow);
  EXPECT_EQ(cursor_->Value(0).text, "x");
  EXPECT_EQ(*session_->FetchRow(*cursor_), FetchStep::kRow);
  EXPECT_TRUE(cursor_->Value(0).is_null);
  out_.str("");
  EXPECT_EQ(*session_->FetchRow(*cursor_), FetchStep::kRow);  // reported, and the row is used
  EXPECT_EQ(
      out_.str(),
      "\nError de Oracle. ORA-01406: fetched column value was truncated\nselect a from t\n\n");
  EXPECT_EQ(*session_->FetchRow(*cursor_), FetchStep::kEnd);
  EXPECT_EQ(session_->reports(), 1u);
}

TEST_F(FetchRowTest, FetchOnACursorWithNoExecutedQueryEndsAfterOneReport) {
  EXPECT_EQ(*session_->FetchRow(*cursor_), FetchStep::kEnd);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-01002: fetch out of sequence\nselect a from t\n\n");
}

TEST_F(SessionTest, CloseLogsOffOnce) {
  auto session = OpenOk();
  session->Close();
  session->Close();
  EXPECT_EQ(std::count(db_.log().begin(), db_.log().end(), "logoff"), 1);
  session.reset();
  EXPECT_TRUE(db_.destroyed);
}

TEST_F(SessionTest, HeldLinesArePrintedOnlyAfterACommitThatWorked) {
  auto session = OpenOk();
  session->PrintAfterCommit("hecho 1\n");
  EXPECT_EQ(out_.str(), "");
  ASSERT_TRUE(session->Commit().ok());
  EXPECT_EQ(out_.str(), "hecho 1\n");
  session->PrintAfterCommit("hecho 2\n");
  ASSERT_TRUE(session->Close().ok());
  EXPECT_EQ(out_.str(), "hecho 1\nhecho 2\n");
}

TEST_F(SessionTest, FailedCommitIsReportedAndFailsTheRunWithoutItsLines) {
  // The bug: a failed commit was reported and the run went on to print its success line.
  db_.Add("commit work", ExecuteError(54, "ORA-00054: resource busy"));
  auto session = OpenOk();
  session->PrintAfterCommit("hecho\n");
  Status status = session->Commit();
  EXPECT_EQ(status.code(), Status::Code::kFatal);
  EXPECT_EQ(status.message(), "");
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00054: resource busy\ncommit work\n\n");
}

TEST_F(SessionTest, LogOffWhoseCommitFailsIsReportedAndFailsTheRun) {
  // The bug: the result of the log-off's commit was ignored.
  db_.logoff_rc = 54;
  db_.logoff_error = "ORA-00054: resource busy and acquire with NOWAIT specified";
  auto session = OpenOk();
  session->PrintAfterCommit("hecho\n");
  Status status = session->Close();
  EXPECT_EQ(status.code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00054: resource busy and acquire with NOWAIT specified\n"
            "commit work\n\n");
  EXPECT_TRUE(session->Close().ok());  // closed already: nothing more happens
  EXPECT_EQ(std::count(db_.log().begin(), db_.log().end(), "logoff"), 1);
}

TEST_F(SessionTest, ErrorThatEndsTheSessionEndsTheRunEvenWhenSilent) {
  db_.Add("insert into t values (1)",
          ExecuteError(603, "ORA-00603: ORACLE server session terminated by fatal error"));
  db_.Add("delete from t", ExecuteError(942, "ORA-00942: table or view does not exist"));
  auto session = OpenOk();
  Result<bool> silent = session->RunStatement("delete from t", Report::kSilent);
  ASSERT_TRUE(silent.has_value());
  EXPECT_FALSE(*silent);
  EXPECT_EQ(out_.str(), "");
  Result<bool> lost = session->RunStatement("insert into t values (1)", Report::kSilent);
  ASSERT_FALSE(lost.has_value());
  EXPECT_EQ(lost.error().code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00603: ORACLE server session terminated by fatal error\n"
            "insert into t values (1)\n\n");
  EXPECT_EQ(session->reports(), 1u);
}

TEST_F(SessionTest, RollbackUndoesTheOpenTransaction) {
  auto session = OpenOk();
  ASSERT_TRUE(session->Rollback().ok());
  EXPECT_EQ(db_.log().back(), "c1 execute");
  EXPECT_NE(std::find(db_.log().begin(), db_.log().end(), "c1 parse rollback work"),
            db_.log().end());
}

TEST_F(SessionTest, DroppingAnOpenSessionDoesNotLogOff) {
  auto session = OpenOk();
  session.reset();
  EXPECT_FALSE(db_.logged_off);  // a run that ends on a fatal error loses its uncommitted work
  EXPECT_TRUE(db_.destroyed);
}

}  // namespace
}  // namespace volmek::db
