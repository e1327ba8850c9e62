// The call interface of the embedded engine: logon and accounts, return codes, describe,
// define and fetch, transactions and crash safety.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "db/call.h"
#include "engine/engine.h"
#include "engine/runtime/connection.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

class EngineConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("e.db");
    db::LogonResult logon = Logon(path_, "scott", "tiger");
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    EXPECT_TRUE(logon.created_database);
    connection_ = std::move(logon.connection);
    int rc = -1;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
  }

  void Run(const std::string& sql) {
    ASSERT_EQ(cursor_->Parse(sql), 0) << sql << ": " << cursor_->ErrorText();
    ASSERT_EQ(cursor_->Execute(), 0) << sql << ": " << cursor_->ErrorText();
  }

  // The single value of a one-row, one-column query, fetched as text.
  std::string Scalar(db::Cursor& cursor, const std::string& sql) {
    EXPECT_EQ(cursor.Parse(sql), 0) << cursor.ErrorText();
    cursor.Define(1, db::ExternalType::kString);
    EXPECT_EQ(cursor.Execute(), 0) << cursor.ErrorText();
    EXPECT_EQ(cursor.Fetch(), 0) << cursor.ErrorText();
    return cursor.Value(1).is_null ? "NULL" : cursor.Value(1).text;
  }

  testing::TempDir dir_;
  std::string path_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Cursor> cursor_;
};

// A file made before comments, synonyms and character semantics gains their catalogue at the
// next logon, and its tables keep working.
TEST_F(EngineConnectionTest, AnOlderCatalogueIsUpgradedAtLogon) {
  Run("create table t (a varchar2(5))");
  Run("insert into t values ('x')");
  connection_->LogOff();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DROP TABLE vk_comments; DROP TABLE vk_synonyms; "
                         "ALTER TABLE vk_columns DROP COLUMN char_used",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  db::LogonResult logon = Logon(path_, "scott", "tiger");
  ASSERT_EQ(logon.rc, 0) << logon.error_text;
  connection_ = std::move(logon.connection);
  int rc = -1;
  cursor_ = connection_->OpenCursor(&rc);
  ASSERT_EQ(rc, 0);
  Run("create table u (b varchar2(2 char))");
  Run("insert into u values ('ññ')");
  Run("comment on table t is 'old'");
  Run("create synonym s for t");
  EXPECT_EQ(Scalar(*cursor_, "select a from s"), "x");
  EXPECT_EQ(Scalar(*cursor_, "select char_used from user_tab_columns where table_name = 'T'"), "B");
  EXPECT_EQ(Scalar(*cursor_, "select data_length from user_tab_columns where table_name = 'U'"),
            "8");
  EXPECT_EQ(Scalar(*cursor_, "select comments from user_tab_comments where table_name = 'T'"),
            "old");
}

TEST_F(EngineConnectionTest, NewDatabaseFileIsReadableByItsOwnerOnly) {
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600);
}

TEST_F(EngineConnectionTest, PasswordIsNotStoredInClear) {
  connection_->LogOff();
  std::string contents = testing::ReadFile(path_);
  EXPECT_EQ(contents.find("tiger"), std::string::npos);
  EXPECT_NE(contents.find("$argon2id$"), std::string::npos);
}

TEST_F(EngineConnectionTest, SecondLogonChecksThePassword) {
  connection_->LogOff();
  db::LogonResult good = Logon(path_, "SCOTT", "tiger");
  EXPECT_EQ(good.rc, 0);
  EXPECT_FALSE(good.created_database);
  db::LogonResult wrong = Logon(path_, "scott", "Tiger");
  EXPECT_EQ(wrong.rc, 1017);
  EXPECT_EQ(wrong.error_text, "ORA-01017: invalid username/password; logon denied");
  EXPECT_EQ(wrong.connection, nullptr);
  EXPECT_EQ(Logon(path_, "nobody", "tiger").rc, 1017);
  EXPECT_EQ(Logon(path_, "", "tiger").rc, 1017);
}

TEST_F(EngineConnectionTest, EmptyUserNeverCreatesADatabase) {
  std::string other = dir_.File("other.db");
  db::LogonResult logon = Logon(other, "", "x");
  EXPECT_EQ(logon.rc, 1017);
  EXPECT_FALSE(dir_.Exists("other.db"));
}

TEST_F(EngineConnectionTest, CreatedUsersLogOnAndDroppedUsersDoNot) {
  Run("create user clerk identified by Secret1");
  connection_->LogOff();
  db::LogonResult clerk = Logon(path_, "clerk", "Secret1");
  ASSERT_EQ(clerk.rc, 0) << clerk.error_text;
  int rc = 0;
  auto cursor = clerk.connection->OpenCursor(&rc);
  // A user that is not the administrator cannot create users.
  EXPECT_EQ(cursor->Parse("create user x identified by y"), 1031);
  EXPECT_EQ(cursor->ErrorText(), "ORA-01031: insufficient privileges");
  // Each user sees only its own objects.
  EXPECT_EQ(Scalar(*cursor, "select count(*) from user_tables"), "0");
  clerk.connection->LogOff();
  db::LogonResult admin = Logon(path_, "scott", "tiger");
  ASSERT_EQ(admin.rc, 0);
  cursor = admin.connection->OpenCursor(&rc);
  EXPECT_EQ(cursor->Parse("drop user clerk cascade"), 0) << cursor->ErrorText();
  EXPECT_EQ(cursor->Parse("drop user clerk"), 1918);
  EXPECT_EQ(cursor->ErrorText(), "ORA-01918: user 'CLERK' does not exist");
  admin.connection->LogOff();
  EXPECT_EQ(Logon(path_, "clerk", "Secret1").rc, 1017);
}

TEST_F(EngineConnectionTest, ExecuteAndFetchAfterAFailedParseAreRefused) {
  EXPECT_EQ(cursor_->Parse("select * from nosuch"), 942);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-00942: table or view does not exist");
  EXPECT_EQ(cursor_->Execute(), 1003);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01003: no statement parsed");
  EXPECT_EQ(cursor_->Fetch(), 1003);
  EXPECT_EQ(cursor_->rc(), 1003);
}

TEST_F(EngineConnectionTest, ParseSetsTheFunctionType) {
  Run("create table t (a number)");
  EXPECT_EQ(cursor_->function_type(), 1);
  struct Case {
    const char* sql;
    std::uint16_t type;
  };
  for (const Case& c : {Case{"insert into t values (1)", 3}, Case{"select a from t", 4},
                        Case{"update t set a = 2", 5}, Case{"delete from t", 9},
                        Case{"begin null; end;", 34}, Case{"alter session set nls_sort=binary", 52},
                        Case{"commit work", 54}, Case{"rollback", 55}}) {
    EXPECT_EQ(cursor_->Parse(c.sql), 0) << c.sql << cursor_->ErrorText();
    EXPECT_EQ(cursor_->function_type(), c.type) << c.sql;
  }
}

TEST_F(EngineConnectionTest, DdlRunsAtParseAndItsExecuteDoesNothing) {
  ASSERT_EQ(cursor_->Parse("create table t (a number)"), 0);
  EXPECT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(cursor_->Parse("create table t (a number)"), 955);
}

TEST_F(EngineConnectionTest, AnalyzeOfAnIndexNameFailsAtExecute) {
  Run("create table t (a number, b char(2))");
  Run("create index ti on t (a)");
  Run("insert into t values (1, 'x')");
  Run("insert into t values (2, null)");
  ASSERT_EQ(cursor_->Parse("analyze table ti compute statistics"), 0);
  EXPECT_EQ(cursor_->Execute(), 942);
  ASSERT_EQ(cursor_->Parse("analyze index ti compute statistics"), 0);
  EXPECT_EQ(cursor_->Execute(), 0);
  ASSERT_EQ(cursor_->Parse("analyze index nosuch compute statistics"), 0);
  EXPECT_EQ(cursor_->Execute(), 1418);
  EXPECT_EQ(Scalar(*cursor_, "select num_rows from user_tables"), "NULL");
  Run("analyze table t compute statistics");
  EXPECT_EQ(Scalar(*cursor_, "select num_rows from user_tables"), "2");
  std::string avg = Scalar(*cursor_, "select avg_row_len from user_tables");
  EXPECT_GT(std::stoi(avg), 3);
  EXPECT_EQ(Scalar(*cursor_, "select num_rows from user_indexes"), "2");
}

TEST_F(EngineConnectionTest, DescribePastTheLastItemGives1007) {
  Run("create table t (a number(3) not null, b varchar2(20))");
  ASSERT_EQ(cursor_->Parse("select a, b from t"), 0);
  db::ColumnDescription description;
  ASSERT_EQ(cursor_->Describe(1, &description), 0);
  EXPECT_EQ(description.name, "A");
  EXPECT_EQ(description.db_type, db::kTypeNumber);
  EXPECT_EQ(description.precision, 3);
  EXPECT_EQ(description.nulls_allowed, 0);
  ASSERT_EQ(cursor_->Describe(2, &description), 0);
  EXPECT_EQ(description.db_type, db::kTypeVarchar2);
  EXPECT_EQ(description.db_size, 20);
  EXPECT_EQ(cursor_->Describe(3, &description), 1007);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01007: variable not in select list");
}

TEST_F(EngineConnectionTest, FetchDeliversIntegersFloatsAndTextWhole) {
  Run("create table t (id number(10), amount number(20,4), note varchar2(4000))");
  std::string long_note(3000, 'x');
  Run("insert into t values (9999999999, 12345678901234.5678, '" + long_note + "')");
  Run("insert into t values (null, -0.25, null)");
  ASSERT_EQ(cursor_->Parse("select id, amount, note from t order by amount desc"), 0);
  cursor_->Define(1, db::ExternalType::kInteger);
  cursor_->Define(2, db::ExternalType::kFloat);
  cursor_->Define(3, db::ExternalType::kString);
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(cursor_->rows_processed(), 0u);
  ASSERT_EQ(cursor_->Fetch(), 0) << cursor_->ErrorText();
  EXPECT_EQ(cursor_->Value(1).integer, 9999999999LL);
  EXPECT_EQ(cursor_->Value(2).text, "12345678901234.5678");
  EXPECT_DOUBLE_EQ(cursor_->Value(2).real, 12345678901234.5678);
  EXPECT_EQ(cursor_->Value(3).text, long_note);
  EXPECT_EQ(cursor_->rows_processed(), 1u);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_TRUE(cursor_->Value(1).is_null);
  EXPECT_EQ(cursor_->Value(1).rcode, 1405);
  EXPECT_EQ(cursor_->Value(2).text, "-0.25");
  EXPECT_TRUE(cursor_->Value(3).is_null);
  EXPECT_EQ(cursor_->Fetch(), 1403);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01403: no data found");
  EXPECT_EQ(cursor_->rows_processed(), 2u);
  EXPECT_EQ(cursor_->Fetch(), 1403);
}

TEST_F(EngineConnectionTest, UnconstrainedNumberFetchedAsIntegerDropsTheFraction) {
  Run("create table t (n number)");
  Run("insert into t values (3.5)");
  ASSERT_EQ(cursor_->Parse("select n from t"), 0);
  cursor_->Define(1, db::ExternalType::kInteger);
  ASSERT_EQ(cursor_->Execute(), 0);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).integer, 3);
}

TEST_F(EngineConnectionTest, AnOpenQueryDoesNotSeeRowsInsertedAfterItStarted) {
  Run("create table t (a number)");
  for (int row = 1; row <= 3; ++row) Run("insert into t values (" + std::to_string(row) + ")");
  int rc = 0;
  auto reader = connection_->OpenCursor(&rc);
  ASSERT_EQ(reader->Parse("select a from t order by a"), 0);
  reader->Define(1, db::ExternalType::kInteger);
  ASSERT_EQ(reader->Execute(), 0);
  ASSERT_EQ(reader->Fetch(), 0);
  EXPECT_EQ(reader->Value(1).integer, 1);
  // The main cursor writes, and even drops another table, between the reader's fetches.
  Run("insert into t values (4)");
  Run("create table u (b number)");
  Run("drop table u");
  std::vector<std::int64_t> rest;
  while (reader->Fetch() == 0) rest.push_back(reader->Value(1).integer);
  EXPECT_EQ(rest, (std::vector<std::int64_t>{2, 3}));
  EXPECT_EQ(reader->rows_processed(), 3u);
}

// A row that fails to compute is reported once; the query does not start over, and the
// fetches after it say the cursor has nothing more to give (the loops above stop on that).
TEST_F(EngineConnectionTest, AFailingRowEndsTheQueryInsteadOfRestartingIt) {
  Run("create table t (a number)");
  for (int a : {1, 2, 1, 5}) Run("insert into t values (" + std::to_string(a) + ")");
  const std::string query = "select a, 10 / (a - 2) from t order by rowid";
  for (bool read_ahead : {false, true}) {
    SCOPED_TRACE(read_ahead ? "rows read ahead by another statement" : "rows stepped");
    int rc = 0;
    auto reader = connection_->OpenCursor(&rc);
    ASSERT_EQ(reader->Parse(query), 0);
    reader->Define(1, db::ExternalType::kInteger);
    reader->Define(2, db::ExternalType::kString);
    ASSERT_EQ(reader->Execute(), 0) << reader->ErrorText();
    ASSERT_EQ(reader->Fetch(), 0) << reader->ErrorText();
    EXPECT_EQ(reader->Value(1).integer, 1);
    if (read_ahead) Run("insert into t values (7)");
    EXPECT_EQ(reader->Fetch(), 1476);
    EXPECT_EQ(reader->ErrorText(), "ORA-01476: divisor is equal to zero");
    EXPECT_EQ(reader->Fetch(), 1002);
    EXPECT_EQ(reader->Fetch(), 1002);
    // Executing again starts a new pass over the rows.
    ASSERT_EQ(reader->Execute(), 0);
    ASSERT_EQ(reader->Fetch(), 0);
    EXPECT_EQ(reader->Value(1).integer, 1);
  }
}

TEST_F(EngineConnectionTest, DestroyingTheConnectionWithoutLogOffRollsBack) {
  Run("create table t (a number)");
  Run("insert into t values (1)");
  cursor_.reset();
  connection_.reset();
  db::LogonResult again = Logon(path_, "scott", "tiger");
  ASSERT_EQ(again.rc, 0);
  int rc = 0;
  auto cursor = again.connection->OpenCursor(&rc);
  EXPECT_EQ(Scalar(*cursor, "select count(*) from t"), "0");
}

// A statement this session translated before must not outlive another session's DDL: the
// replaced view is read as it is now, and `*` takes in the column added meanwhile.
TEST_F(EngineConnectionTest, AnotherSessionsDdlIsSeenByStatementsRunBefore) {
  Run("create table t (a number)");
  Run("insert into t values (1)");
  Run("create view v as select a from t");
  EXPECT_EQ(Scalar(*cursor_, "select max(a) from v"), "1");
  EXPECT_EQ(Scalar(*cursor_, "select * from t"), "1");
  Run("commit");
  db::LogonResult other = Logon(path_, "scott", "tiger");
  ASSERT_EQ(other.rc, 0) << other.error_text;
  int rc = 0;
  auto other_cursor = other.connection->OpenCursor(&rc);
  for (const char* sql : {"create or replace view v as select a + 10 a from t",
                          "alter table t add (b number)", "update t set a = 2, b = 7", "commit"}) {
    ASSERT_EQ(other_cursor->Parse(sql), 0) << sql << ": " << other_cursor->ErrorText();
    ASSERT_EQ(other_cursor->Execute(), 0) << sql << ": " << other_cursor->ErrorText();
  }
  EXPECT_EQ(Scalar(*cursor_, "select max(a) from v"), "12");
  ASSERT_EQ(cursor_->Parse("select * from t"), 0) << cursor_->ErrorText();
  db::ColumnDescription second;
  EXPECT_EQ(cursor_->Describe(2, &second), 0) << cursor_->ErrorText();
  EXPECT_EQ(second.name, "B");
}

TEST_F(EngineConnectionTest, PlsqlBlockErrorsAreRolledBackAndReported) {
  Run("create table t (a number(2))");
  ASSERT_EQ(cursor_->Parse("begin insert into t values (1); insert into t values (100); end;"), 0);
  EXPECT_EQ(cursor_->Execute(), 1438);
  EXPECT_EQ(cursor_->ErrorText(),
            "ORA-01438: value larger than specified precision allowed for this column\n"
            "ORA-06512: at line 1");
  EXPECT_EQ(Scalar(*cursor_, "select count(*) from t"), "0");
  Run("begin insert into t values (1); insert into t values (100); exception when others then "
      "null; end;");
  EXPECT_EQ(Scalar(*cursor_, "select count(*) from t"), "1");
  Run("begin\n  execute immediate 'drop table nosuch';\nexception\n  when others then null;\nend;");
  EXPECT_EQ(cursor_->Parse("begin foo; end;"), 6550);
  EXPECT_EQ(cursor_->ErrorText(),
            "ORA-06550: line 1, column 7:\nPLS-00201: identifier 'FOO' must be declared\n"
            "ORA-06550: line 1, column 7:\nPL/SQL: Statement ignored");
  EXPECT_EQ(cursor_->Parse("begin goto somewhere; end;"), 6550);
}

TEST_F(EngineConnectionTest, PlsqlBlockWithoutEndStopsAtTheStepLimitWhateverItsHandlers) {
  auto& engine = dynamic_cast<EngineConnection&>(*connection_);
  engine.plsql_options().max_steps = 1000;
  Run("create table t (a number)");
  const char* endless[] = {
      "begin\n  loop\n    null;\n  end loop;\nend;",
      "begin\n  while true loop\n    begin\n      insert into t values (1);\n    exception\n"
      "      when others then null;\n    end;\n  end loop;\nexception\n  when others then "
      "null;\nend;",
      "declare\n  n number := 0;\nbegin\n  for i in 1 .. 1000000 loop\n    n := n + 1;\n  end "
      "loop;\nend;",
  };
  for (const char* block : endless) {
    ASSERT_EQ(cursor_->Parse(block), 0) << cursor_->ErrorText();
    EXPECT_EQ(cursor_->Execute(), 2393) << block;
    EXPECT_TRUE(cursor_->ErrorText().starts_with(
        "ORA-02393: exceeded call limit on CPU usage\nORA-06512: at line "))
        << cursor_->ErrorText();
  }
  // What the stopped block inserted went with it.
  EXPECT_EQ(Scalar(*cursor_, "select count(*) from t"), "0");
  engine.plsql_options().max_steps = 100000;
  Run("begin for i in 1 .. 500 loop insert into t values (i); end loop; end;");
  EXPECT_EQ(Scalar(*cursor_, "select count(*) from t"), "500");
}

TEST(EngineCrashTest, KilledProcessLeavesTheCommittedStateIntact) {
  testing::TempDir dir;
  std::string path = dir.File("crash.db");
  {
    db::LogonResult logon = Logon(path, "scott", "tiger");
    ASSERT_EQ(logon.rc, 0);
    int rc = 0;
    auto cursor = logon.connection->OpenCursor(&rc);
    ASSERT_EQ(cursor->Parse("create table t (a number, b varchar2(100))"), 0);
    ASSERT_EQ(cursor->Parse("insert into t values (1, 'committed')"), 0);
    ASSERT_EQ(cursor->Execute(), 0);
    logon.connection->LogOff();
  }
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A large uncommitted load, killed in the middle.
    ::close(ready[0]);
    db::LogonResult logon = Logon(path, "scott", "tiger");
    int rc = 0;
    auto cursor = logon.connection->OpenCursor(&rc);
    for (int row = 0; row < 200000; ++row) {
      cursor->Parse("insert into t values (" + std::to_string(row) + ", 'uncommitted row')");
      cursor->Execute();
      if (row == 20000) {
        char signal_byte = 'x';
        (void)!::write(ready[1], &signal_byte, 1);
      }
    }
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char signal_byte = 0;
  ASSERT_EQ(::read(ready[0], &signal_byte, 1), 1);
  ::close(ready[0]);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  db::LogonResult logon = Logon(path, "scott", "tiger");
  ASSERT_EQ(logon.rc, 0) << logon.error_text;
  int rc = 0;
  auto cursor = logon.connection->OpenCursor(&rc);
  ASSERT_EQ(cursor->Parse("select count(*), max(b) from t"), 0);
  cursor->Define(1, db::ExternalType::kInteger);
  cursor->Define(2, db::ExternalType::kString);
  ASSERT_EQ(cursor->Execute(), 0);
  ASSERT_EQ(cursor->Fetch(), 0);
  EXPECT_EQ(cursor->Value(1).integer, 1);
  EXPECT_EQ(cursor->Value(2).text, "committed");
  // The file is sound.
  ASSERT_EQ(cursor->Parse("select count(*) from user_tables"), 0);
  logon.connection->LogOff();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
  sqlite3_close(db);
}

}  // namespace
}  // namespace volmek::engine
