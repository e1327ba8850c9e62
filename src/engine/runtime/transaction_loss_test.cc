// Commits that fail and failures that end the transaction, on the embedded engine: the log-off
// says when its commit failed, and a transaction that SQLite ended itself loses the session.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "db/call.h"
#include "engine/engine.h"
#include "engine/runtime/connection.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

class TransactionLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("e.db");
    LogOn();
    Run("create table t (id number(8), nombre varchar2(200))");
    Run("insert into t values (1, 'VIEJA')");
    ASSERT_EQ(connection_->LogOff(), 0);
    LogOn();
  }

  void LogOn() {
    db::LogonResult logon = Logon(path_, "scott", "tiger");
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    connection_ = std::move(logon.connection);
    int rc = -1;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
  }

  sqlite3* Handle() { return dynamic_cast<EngineConnection&>(*connection_).db(); }

  void Run(const std::string& sql) {
    ASSERT_EQ(cursor_->Parse(sql), 0) << sql << ": " << cursor_->ErrorText();
    ASSERT_EQ(cursor_->Execute(), 0) << sql << ": " << cursor_->ErrorText();
  }

  // The rows of T as one text, read by a new session.
  std::string Rows() {
    cursor_.reset();
    connection_.reset();
    LogOn();
    EXPECT_EQ(cursor_->Parse("select count(*) || ' ' || max(nombre) from t"), 0);
    cursor_->Define(1, db::ExternalType::kString);
    EXPECT_EQ(cursor_->Execute(), 0);
    EXPECT_EQ(cursor_->Fetch(), 0);
    return cursor_->Value(1).text;
  }

  testing::TempDir dir_;
  std::string path_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Cursor> cursor_;
};

TEST_F(TransactionLossTest, LogOffReturnsTheFailureOfItsCommit) {
  // The bug: the log-off ignored its commit, so a run whose work was lost ended as a success.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_busy_timeout(Handle(), 50);
  Run("insert into t values (2, 'NUEVA')");
  cursor_.reset();
  EXPECT_EQ(connection_->LogOff(), 54);
  EXPECT_EQ(connection_->ErrorText(), "ORA-00054: resource busy and acquire with NOWAIT specified");
  sqlite3_exec(reader, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  EXPECT_EQ(Rows(), "1 VIEJA");
}

TEST_F(TransactionLossTest, LogOffThatCommitsSaysSo) {
  Run("insert into t values (2, 'NUEVA')");
  EXPECT_EQ(connection_->LogOff(), 0);
  EXPECT_EQ(connection_->ErrorText(), "");
  EXPECT_EQ(Rows(), "2 VIEJA");
}

TEST_F(TransactionLossTest, FullDatabaseThatEndsTheTransactionLosesTheSession) {
  // The bug: SQLite had rolled the transaction back, and the inserts after the failure went on,
  // each committed on its own.
  Run("delete from t");
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(Handle(), "PRAGMA page_count", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  std::string pages = std::to_string(sqlite3_column_int64(stmt, 0));
  sqlite3_finalize(stmt);
  ASSERT_EQ(sqlite3_exec(Handle(), ("PRAGMA max_page_count = " + pages).c_str(), nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  int rc = 0;
  int inserted = 0;
  std::string value(150, 'x');
  while (rc == 0 && inserted < 10000) {
    ASSERT_EQ(
        cursor_->Parse("insert into t values (" + std::to_string(inserted) + ", '" + value + "')"),
        0);
    rc = cursor_->Execute();
    ++inserted;
  }
  ASSERT_EQ(rc, db::kRcSessionTerminated) << cursor_->ErrorText();
  EXPECT_TRUE(cursor_->ErrorText().starts_with(
      "ORA-00603: ORACLE server session terminated by fatal error\nORA-"))
      << cursor_->ErrorText();
  EXPECT_TRUE(db::EndsSession(cursor_->rc()));
  // Nothing the session does afterwards can be kept.
  EXPECT_EQ(cursor_->Parse("insert into t values (0, 'DESPUES')"), db::kRcNotConnected);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-03114: not connected to ORACLE");
  cursor_.reset();
  EXPECT_EQ(connection_->LogOff(), db::kRcNotConnected);
  EXPECT_EQ(Rows(), "1 VIEJA");
}

}  // namespace
}  // namespace volmek::engine
