#include "engine/storage/sqlite_handle.h"

#include <fmt/format.h>

namespace volmek::engine {

OraError ErrorFromSqliteMessage(std::string_view message) {
  if (auto ora = OraFromMessage(message)) return *ora;
  return Ora(600, fmt::format("internal error code, arguments: [sqlite], [{}]", message));
}

OraError ErrorFromSqlite(sqlite3* db, int rc) {
  if (rc == SQLITE_NOMEM) return Ora(4030, "out of process memory");
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    return Ora(54, "resource busy and acquire with NOWAIT specified");
  }
  return ErrorFromSqliteMessage(db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

OraStatus ExecSql(sqlite3* db, std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error);
  if (rc == SQLITE_OK) return {};
  std::string message = error != nullptr ? error : sqlite3_errstr(rc);
  sqlite3_free(error);
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return OraErr(ErrorFromSqlite(db, rc));
  return OraErr(ErrorFromSqliteMessage(message));
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

OraResult<SqliteStatement> SqliteStatement::Prepare(sqlite3* db, std::string_view sql,
                                                    bool persistent) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return OraErr(ErrorFromSqlite(db, rc));
  }
  return SqliteStatement(stmt);
}

void SqliteStatement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}
void SqliteStatement::BindInt(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
}
void SqliteStatement::BindDouble(int index, double value) {
  sqlite3_bind_double(stmt_, index, value);
}
void SqliteStatement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }
void SqliteStatement::BindTextOrNull(int index, std::string_view text) {
  if (text.empty()) {
    BindNull(index);
  } else {
    BindText(index, text);
  }
}

OraResult<bool> SqliteStatement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  OraError error = ErrorFromSqlite(sqlite3_db_handle(stmt_), rc);
  sqlite3_reset(stmt_);
  return OraErr(std::move(error));
}

OraStatus SqliteStatement::Run() {
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, Step());
    if (!row) break;
  }
  Reset();
  return {};
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string_view SqliteStatement::ColumnText(int index) const {
  const unsigned char* text = sqlite3_column_text(stmt_, index);
  if (text == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(text),
                          static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index)));
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string QuoteLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

}  // namespace volmek::engine
