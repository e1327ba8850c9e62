// Small owners of SQLite handles, and the translation of SQLite failures into Oracle errors.
//
// SqliteDb owns a connection, SqliteStatement a prepared statement; both free their handle on
// every path. Failures come back as OraError: a SQLite message that begins with "ORA-" (raised
// by the engine's SQL functions) keeps its code and text; any other failure becomes ORA-00600
// with SQLite's message as its argument, so that nothing is reported as success.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDb = std::unique_ptr<sqlite3, SqliteCloser>;

// The Oracle error for the last failure on `db` (rc is the failing SQLite result code).
OraError ErrorFromSqlite(sqlite3* db, int rc);
// The Oracle error for a SQLite failure message.
OraError ErrorFromSqliteMessage(std::string_view message);

// Runs `sql` (one or more statements, no rows wanted).
OraStatus ExecSql(sqlite3* db, std::string_view sql);

// A prepared statement. Move-only.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(SqliteStatement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  SqliteStatement& operator=(SqliteStatement&& other) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement() { sqlite3_finalize(stmt_); }

  // Prepares the first statement of `sql`; SQLite may keep it for repeated use.
  static OraResult<SqliteStatement> Prepare(sqlite3* db, std::string_view sql,
                                            bool persistent = false);

  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }

  // Bind by position (from 1). Text is copied by SQLite.
  void BindText(int index, std::string_view text);
  void BindInt(int index, std::int64_t value);
  void BindDouble(int index, double value);
  void BindNull(int index);
  // Binds `text`, or NULL when it is empty ('' is NULL in this database).
  void BindTextOrNull(int index, std::string_view text);

  // Steps once: true when a row is ready, false when done; an error otherwise.
  OraResult<bool> Step();
  // Steps to the end (statements without rows) and resets.
  OraStatus Run();
  void Reset();

  std::string_view ColumnText(int index) const;
  std::int64_t ColumnInt(int index) const { return sqlite3_column_int64(stmt_, index); }
  bool ColumnIsNull(int index) const { return sqlite3_column_type(stmt_, index) == SQLITE_NULL; }
  int ColumnCount() const { return sqlite3_column_count(stmt_); }

 private:
  explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  sqlite3_stmt* stmt_ = nullptr;
};

// Quotes `name` as a SQLite identifier ("a""b").
std::string QuoteIdentifier(std::string_view name);
// Quotes `text` as a SQL string literal ('it''s').
std::string QuoteLiteral(std::string_view text);

}  // namespace volmek::engine
