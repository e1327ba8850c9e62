// EngineCursor::FetchRows, the array fetch: the same values as a fetch at a time, its return
// codes at the end of the rows and at a row that fails, and the rows it counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/call.h"
#include "engine/engine.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

using db::ExternalType;

class FetchRowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::LogonResult logon = Logon(dir_.File("e.db"), "scott", "tiger");
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    connection_ = std::move(logon.connection);
    int rc = -1;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
  }

  void Run(const std::string& sql) {
    ASSERT_EQ(cursor_->Parse(sql), 0) << sql << ": " << cursor_->ErrorText();
    ASSERT_EQ(cursor_->Execute(), 0) << sql << ": " << cursor_->ErrorText();
  }

  std::unique_ptr<db::Cursor> Open(const std::string& sql, const std::vector<ExternalType>& types) {
    int rc = -1;
    std::unique_ptr<db::Cursor> cursor = connection_->OpenCursor(&rc);
    EXPECT_EQ(cursor->Parse(sql), 0) << cursor->ErrorText();
    for (std::size_t idx = 0; idx < types.size(); ++idx) {
      EXPECT_EQ(cursor->Define(static_cast<int>(idx) + 1, types[idx]), 0);
    }
    EXPECT_EQ(cursor->Execute(), 0) << cursor->ErrorText();
    return cursor;
  }

  // Every row of `sql` fetched a row at a time, in the array fetch's form.
  db::FetchedRows ByFetch(const std::string& sql, const std::vector<ExternalType>& types) {
    std::unique_ptr<db::Cursor> cursor = Open(sql, types);
    db::FetchedRows rows;
    rows.columns = types.size();
    while (cursor->Fetch() == 0) {
      for (std::size_t idx = 1; idx <= types.size(); ++idx) {
        rows.Append(cursor->Value(static_cast<int>(idx)));
      }
      ++rows.rows;
    }
    EXPECT_EQ(cursor->rc(), 1403) << cursor->ErrorText();
    return rows;
  }

  volmek::testing::TempDir dir_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Cursor> cursor_;
};

void ExpectSameRows(const db::FetchedRows& got, const db::FetchedRows& want) {
  ASSERT_EQ(got.rows, want.rows);
  ASSERT_EQ(got.values.size(), want.values.size());
  for (std::size_t idx = 0; idx < want.values.size(); ++idx) {
    SCOPED_TRACE("value " + std::to_string(idx));
    EXPECT_EQ(got.values[idx].is_null, want.values[idx].is_null);
    if (want.values[idx].is_null) continue;
    EXPECT_EQ(got.values[idx].integer, want.values[idx].integer);
    EXPECT_EQ(got.Text(got.values[idx]), want.Text(want.values[idx]));
  }
}

// Each column under each delivery that takes a shortcut and one that does not: stored texts,
// numbers past 18 digits, non-canonical computed numbers, dates in another format.
TEST_F(FetchRowsTest, DeliversWhatFetchDeliversInBatches) {
  Run("create table t (id number(10), n number, amount number(12,2), name varchar2(20), "
      "code char(5), d date)");
  Run("insert into t values (1, 1234567890123456789, 1234.5, 'O''Neil', 'AB', "
      "to_date('2026-12-08 10:11:12', 'YYYY-MM-DD HH24:MI:SS'))");
  Run("insert into t values (-20, 0.5, -0.25, 'dos' || chr(10) || 'lineas', NULL, NULL)");
  Run("insert into t values (NULL, -0.0000000000000000000000017, 3, NULL, 'XYZWV', "
      "to_date('1999-01-31', 'YYYY-MM-DD'))");
  const std::string sql =
      "select id, id, n, n, n, amount, amount, name, code, d, amount / 3, id * 2 from t "
      "order by rowid";
  const std::vector<ExternalType> types = {
      ExternalType::kInteger, ExternalType::kString, ExternalType::kFloat,  ExternalType::kString,
      ExternalType::kInteger, ExternalType::kFloat,  ExternalType::kString, ExternalType::kString,
      ExternalType::kString,  ExternalType::kString, ExternalType::kFloat,  ExternalType::kInteger};
  for (const char* format : {"YYYY-MM-DD HH24:MI:SS", "DD/MM/YYYY"}) {
    SCOPED_TRACE(format);
    Run(std::string("alter session set nls_date_format = '") + format + "'");
    // Some values by hand, as Oracle delivers them.
    db::FetchedRows want = ByFetch(sql, types);
    ASSERT_EQ(want.rows, 3u);
    EXPECT_EQ(want.values[4].integer, 1234567890123456789);
    EXPECT_EQ(want.Text(want.values[8]), "AB   ");    // CHAR(5) keeps its blanks
    EXPECT_EQ(want.Text(want.values[12 + 3]), ".5");  // TO_CHAR's form of a fraction
    EXPECT_EQ(want.values[12 + 4].integer, 0);        // the fraction dropped
    EXPECT_EQ(want.Text(want.values[24 + 2]), "-0.0000000000000000000000017");

    std::unique_ptr<db::Cursor> cursor = Open(sql, types);
    db::FetchedRows got;
    EXPECT_EQ(cursor->FetchRows(types.size(), 2, got), 0) << cursor->ErrorText();
    EXPECT_EQ(got.rows, 2u);
    EXPECT_EQ(cursor->rows_processed(), 2u);
    EXPECT_EQ(cursor->FetchRows(types.size(), 2, got), 1403);
    EXPECT_EQ(cursor->ErrorText(), "ORA-01403: no data found");
    EXPECT_EQ(got.columns, types.size());
    EXPECT_EQ(cursor->rows_processed(), 3u);
    ExpectSameRows(got, want);
    EXPECT_EQ(cursor->FetchRows(types.size(), 2, got), 1403);
    EXPECT_EQ(got.rows, 3u);
  }
}

// Rows read ahead because another statement ran on the connection go through the fetch of a
// row at a time, with the same values.
TEST_F(FetchRowsTest, RowsReadAheadForAnotherStatementComeTheSame) {
  Run("create table t (a number(5), b varchar2(5))");
  for (int a = 1; a <= 5; ++a) Run("insert into t values (" + std::to_string(a) + ", 'x')");
  const std::vector<ExternalType> types = {ExternalType::kInteger, ExternalType::kString};
  db::FetchedRows want = ByFetch("select a, b from t order by a", types);
  std::unique_ptr<db::Cursor> cursor = Open("select a, b from t order by a", types);
  db::FetchedRows got;
  ASSERT_EQ(cursor->FetchRows(2, 2, got), 0);
  Run("insert into t values (6, 'y')");  // not seen: the query started before it
  ASSERT_EQ(cursor->FetchRows(2, 10, got), 1403);
  ExpectSameRows(got, want);
  EXPECT_EQ(cursor->rows_processed(), 5u);
}

// The rows before a failing one are delivered and it is not, with the code Fetch gives for it.
// A value that does not convert leaves the query open (Fetch goes on after it too); a row that
// fails to compute ends it (ORA-01002 after).
TEST_F(FetchRowsTest, StopsBeforeTheRowThatFails) {
  Run("create table t (a number)");
  for (const char* a : {"1", "2", "99999999999999999999", "4", "2", "6"}) {
    Run(std::string("insert into t values (") + a + ")");
  }
  std::unique_ptr<db::Cursor> cursor = Open("select a, 10 / (a - 2) from t order by rowid",
                                            {ExternalType::kInteger, ExternalType::kString});
  db::FetchedRows got;
  EXPECT_EQ(cursor->FetchRows(2, 10, got), 1476);
  EXPECT_EQ(cursor->ErrorText(), "ORA-01476: divisor is equal to zero");
  EXPECT_EQ(got.rows, 1u);
  EXPECT_EQ(got.values.size(), 2u);
  EXPECT_EQ(cursor->FetchRows(2, 10, got), 1002);

  cursor = Open("select a from t where a <> 2 order by rowid", {ExternalType::kInteger});
  got.clear();
  EXPECT_EQ(cursor->FetchRows(1, 10, got), 1455);
  EXPECT_EQ(cursor->ErrorText(), "ORA-01455: converting column overflows integer datatype");
  ASSERT_EQ(got.rows, 1u);
  ASSERT_EQ(got.values.size(), 1u);
  EXPECT_EQ(cursor->rows_processed(), 2u);  // the failed row is counted, as Fetch counts it
  EXPECT_EQ(cursor->FetchRows(1, 10, got), 1403);
  ASSERT_EQ(got.rows, 3u);
  EXPECT_EQ(got.values[1].integer, 4);
  EXPECT_EQ(got.values[2].integer, 6);
}

}  // namespace
}  // namespace volmek::engine
