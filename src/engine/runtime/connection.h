// The engine's db::Connection and db::Cursor.
//
// An EngineConnection owns the SQLite connection of one logged-on user and everything that
// lives as long as the session: the catalogue view, the name lookup, the translator and its
// statement-shape cache, the sequence cache and the session settings. It keeps exactly one
// SQLite transaction open, which is the Oracle transaction: COMMIT/ROLLBACK end it and start
// the next; DDL commits before and after itself; LogOff commits; destroying the connection
// without LogOff rolls back (what a killed process leaves as well, by SQLite's journal).
//
// An operation unit (BeginUnit .. EndUnit) keeps one SQLite transaction open across the
// commits of an operation, DDL included (SQLite's DDL is transactional): inside it a commit
// only moves the savepoint VOLMEK_UNIT that a rollback returns to, and the first commit after
// EndUnit (or LogOff) makes the whole unit durable at once. A killed process loses all of it.
//
// SQLite ends the whole transaction itself on some failures (a full disk, an I/O error, a busy
// database while it spills its cache): the work since the last commit is gone. The session
// cannot go on from there as if only the failed statement were undone, so the connection is
// then lost: that call fails with ORA-00603 followed by its cause, and every later one with
// ORA-03114, as a session that ended on a fatal error would (db::EndsSession).
//
// A cursor that holds an open query while another statement runs on the same connection has
// its remaining rows read into memory first (Detach), so that it neither sees what the other
// statement changes nor keeps SQLite from changing the schema.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/call.h"
#include "engine/catalog/catalog.h"
#include "engine/catalog/dictionary.h"
#include "engine/catalog/sequences.h"
#include "engine/functions/functions.h"
#include "engine/plsql/host.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/sqlite_handle.h"
#include "engine/translate/translate.h"
#include "engine/values/coerce.h"

namespace volmek::engine {

class EngineCursor;

// Binds the literal values of a translation to ?1 .. ?N of `stmt`.
void BindParameters(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters);
// The same without copying texts: SQLite reads them where they are, so `parameters` must stay
// unchanged until the statement is bound again, cleared or finalized.
void BindParametersInPlace(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters);
// The same for parameters[idx] only, for each idx of `indices`.
void RebindParametersInPlace(sqlite3_stmt* stmt, const std::vector<BindValue>& parameters,
                             std::span<const std::size_t> indices);

class EngineConnection : public db::Connection {
 public:
  // Opens the database file at `path` for `user` (upper case) and checks the password. A
  // missing file is created with that user as its first account (*created set). A file that
  // cannot be used (see database_file.h) fails with ORA-01034 and *detail says why in Spanish;
  // a refused password leaves *detail empty.
  static OraResult<std::unique_ptr<EngineConnection>> Open(const std::string& path,
                                                           std::string_view user,
                                                           std::string_view password, bool* created,
                                                           std::string* detail);
  // Use Open.
  EngineConnection(SqliteDb db, std::string path, std::string user);
  ~EngineConnection() override;

  std::unique_ptr<db::Cursor> OpenCursor(int* rc) override;
  int LogOff() override;
  int BeginUnit() override;
  void EndUnit() override;
  std::string ErrorText() const override { return error_text_; }

  // After `error` failed a call: when SQLite has ended the transaction, the connection is lost
  // and the error becomes ORA-00603 with `error` below it. Returns what the call reports.
  OraError CheckTransaction(OraError error);
  bool lost() const { return lost_; }

  // The statements every cursor runs through (also PL/SQL blocks).
  OraStatus Commit();
  OraStatus Rollback();
  // Runs a whole DDL body between the implicit commits: commit, `body`, then commit on success
  // or roll back on failure (the first commit stays).
  template <typename Body>
  OraStatus RunDdl(Body&& body);
  // Compiles again the views that name one of `changed` (view_recompile.cc).
  OraStatus RecompileViews(std::vector<std::string> changed);

  // A named SAVEPOINT that survives the commits and rollbacks made while it is open (a PL/SQL
  // block that commits inside): they set it again.
  OraStatus PushSavepoint(std::string_view name);
  OraStatus RollbackToSavepoint(std::string_view name);
  OraStatus ReleaseSavepoint(std::string_view name);

  // Reads the pending rows of every open query of other cursors into memory (see above).
  void DetachQueries(const EngineCursor* except);
  // Called after DDL: names may resolve differently now.
  void SchemaChanged() {
    translator_.ForgetShapes();
    ++schema_generation_;
    stored_units_.clear();
    stored_packages_.clear();
    if (functions_in_sql_ == 0) function_callers_.clear();
  }
  // Another session's commit may have been DDL that changes what names resolve to: when one
  // came since the last look, what this session translated or compiled is forgotten.
  void NoticeOtherSessions();
  // Counts SchemaChanged: what a cursor resolved under another count may be stale.
  std::uint64_t schema_generation() const { return schema_generation_; }
  // SET TRANSACTION READ ONLY holds until the transaction ends; INSERT, UPDATE and DELETE
  // are then ORA-01456. SET TRANSACTION after a write of the transaction is ORA-01453.
  bool read_only() const { return read_only_; }
  void set_read_only(bool read_only) { read_only_ = read_only; }
  bool transaction_wrote() const { return transaction_wrote_; }
  void MarkTransactionWrote() { transaction_wrote_ = true; }
  // Writes what the sequence cache owes the catalogue.
  OraStatus FlushSequences() { return sequences_.Flush(); }

  // The Oracle error for a SQLite failure of a statement that writes `target` (owner, table):
  // NOT NULL -> 01400 / 01407 (`is_update`), UNIQUE -> 00001 with the constraint's name.
  OraError MapWriteError(const OraError& error, bool is_update) const;

  sqlite3* db() const { return db_.get(); }
  Catalog& catalog() { return catalog_; }
  const CatalogLookup& lookup() const { return lookup_; }
  Translator& translator() { return translator_; }
  SessionSettings& settings() { return settings_; }
  SequenceCache& sequences() { return sequences_; }
  const std::string& user() const { return user_; }
  const std::string& path() const { return path_; }
  // What PL/SQL blocks wrote with DBMS_OUTPUT, until the client takes it.
  plsql::DbmsOutput& dbms_output() { return dbms_output_; }
  // The limits PL/SQL blocks run with.
  plsql::RunOptions& plsql_options() { return plsql_options_; }
  // Stored procedures and functions found since the last DDL, by "OWNER.NAME" (null: none).
  std::unordered_map<std::string, std::shared_ptr<const plsql::StoredUnit>>& stored_units() {
    return stored_units_;
  }
  // Stored functions called from SQL that are running now, innermost last: while one runs,
  // SQL may read but not write (ORA-14551) nor end the transaction (ORA-14552).
  int& functions_in_sql() { return functions_in_sql_; }
  // What runs stored functions for SQL, by "OWNER.NAME", until the next DDL; and the host they
  // run with.
  std::unordered_map<std::string, std::unique_ptr<plsql::FunctionCaller>>& function_callers() {
    return function_callers_;
  }
  std::unique_ptr<plsql::Host>& function_host() { return function_host_; }
  // Stored packages found since the last DDL, by "OWNER.NAME" (null: none).
  std::unordered_map<std::string, std::shared_ptr<const plsql::StoredPackage>>& stored_packages() {
    return stored_packages_;
  }
  // The session's state of each package it used, by "OWNER.NAME", until the session ends.
  std::unordered_map<std::string, std::shared_ptr<plsql::PackageInstance>>& package_states() {
    return package_states_;
  }
  // The tables that DML statements running now write and whose functions may not read them:
  // the SQLite name ("\"t12\"") and OWNER.NAME.
  std::vector<std::pair<std::string, std::string>>& mutating() { return mutating_; }

  void Register(EngineCursor* cursor) { cursors_.push_back(cursor); }
  void Unregister(EngineCursor* cursor);

 private:
  OraStatus Setup();
  OraStatus Begin();
  OraStatus RestoreSavepoints();

  SqliteDb db_;
  std::string path_;
  std::string user_;
  SessionSettings settings_;
  Catalog catalog_;
  CatalogLookup lookup_;
  Translator translator_;
  SequenceCache sequences_;
  std::vector<EngineCursor*> cursors_;  // not owned: each cursor unregisters itself
  std::vector<std::string> savepoints_;
  plsql::DbmsOutput dbms_output_;
  plsql::RunOptions plsql_options_;
  std::unordered_map<std::string, std::shared_ptr<const plsql::StoredUnit>> stored_units_;
  int functions_in_sql_ = 0;
  std::unique_ptr<plsql::Host> function_host_;
  std::unordered_map<std::string, std::unique_ptr<plsql::FunctionCaller>> function_callers_;
  std::unordered_map<std::string, std::shared_ptr<const plsql::StoredPackage>> stored_packages_;
  std::unordered_map<std::string, std::shared_ptr<plsql::PackageInstance>> package_states_;
  std::vector<std::pair<std::string, std::string>> mutating_;
  std::uint64_t schema_generation_ = 0;
  SqliteStatement schema_version_;  // PRAGMA schema_version, read to take the read lock
  SqliteStatement data_version_;    // PRAGMA data_version: moves with other sessions' commits
  std::int64_t seen_data_version_ = -1;
  bool open_ = true;
  bool read_only_ = false;
  bool transaction_wrote_ = false;
  bool in_unit_ = false;
  bool lost_ = false;
  std::string error_text_;  // of the last failed LogOff
};

template <typename Body>
OraStatus EngineConnection::RunDdl(Body&& body) {
  DetachQueries(nullptr);
  VK_RETURN_IF_ORA_ERROR(Commit());
  (void)catalog_.TakeChangedNames();
  OraStatus status = body();
  // The views reading what the body changed follow it, in its transaction.
  if (status.has_value()) status = RecompileViews(catalog_.TakeChangedNames());
  SchemaChanged();
  if (!status.has_value()) {
    (void)Rollback();
    return status;
  }
  return Commit();
}

// The refusals of a cursor call made without a session, after the session was lost, and
// without a parsed statement.
OraError NotLoggedOn();
OraError NotConnected();
OraError NoStatementParsed();

// What vk_store is given for `column` of `info` (the target points into both).
StoreTarget StoreTargetOf(const TableInfo& info, const ColumnInfo& column);

// What one Parse left on a cursor.
enum class ParsedKind {
  kNone,      // nothing parsed (or the last parse failed)
  kQuery,     // SELECT: Execute opens it, Fetch reads it
  kDml,       // INSERT, UPDATE, DELETE
  kDone,      // DDL already run by Parse: Execute does nothing
  kDeferred,  // run at Execute: COMMIT, ROLLBACK, ALTER SESSION, PL/SQL, ANALYZE
};

class EngineCursor : public db::Cursor {
 public:
  explicit EngineCursor(EngineConnection* connection);
  ~EngineCursor() override;

  int Parse(std::string_view sql) override;
  int Execute() override;
  int Describe(int position, db::ColumnDescription* out) override;
  int Define(int position, db::ExternalType type) override;
  int Fetch() override;
  const db::FetchedValue& Value(int position) const override;
  int FetchRows(std::size_t columns, std::size_t max_rows, db::FetchedRows& out) override;
  int InsertRow(std::string_view table, std::span<const db::RowValue> values) override;
  std::unique_ptr<db::RowConverter> OpenRowConverter(std::string_view table) override;
  int InsertConverted(const db::RowConverter& converter, const db::ConvertedRows& rows,
                      std::size_t first, std::size_t count) override;
  // Host variables of PL/SQL blocks only; other statements answer 3001.
  int BindByName(std::string_view name, db::BindVariable* variable) override;

  int rc() const override { return rc_; }
  std::uint16_t function_type() const override { return function_type_; }
  std::uint64_t rows_processed() const override { return rows_processed_; }
  std::string ErrorText() const override { return error_text_; }

  // Reads the rest of an open query into memory (EngineConnection::DetachQueries).
  void Detach();
  // Ends an open query; its remaining rows are dropped.
  void Close() { CloseQuery(); }
  // Fetch for PL/SQL (plsql_session.cc): the next row of the open query into `*row` as SQLite
  // holds it, one value per column (texts valid until the next call on this connection),
  // without the conversions of Define; the return codes of Fetch.
  int FetchStored(std::vector<SqlValue>* row);
  // Dates fetched as text come in their stored form ("YYYY-MM-DD HH24:MI:SS") whatever
  // NLS_DATE_FORMAT says (PL/SQL reads them whole).
  void DeliverStoredDates(bool on) { stored_dates_ = on; }
  // Parse keeps the byte offsets of the statement's literals (literal_offsets()), for
  // RebindLiterals.
  void KeepLiteralOffsets(bool on) { keep_literal_offsets_ = on; }
  const std::vector<std::size_t>& literal_offsets() const { return literal_offsets_; }
  // The query or DML statement last parsed, made ready to run again with the literals of
  // `changes` written anew (slots as literal_offsets() counts them), without reading its
  // text again. False when it cannot be done that way: the caller parses the new text.
  OraResult<bool> RebindLiterals(std::span<const Translator::LiteralChange> changes);
  // PL/SQL's direct path of "INSERT INTO table VALUES (...)" with computed values
  // (plsql::SqlCursor::InsertValues, insert_row.cc): true when the row is written.
  bool InsertValues(std::string_view table, std::span<const plsql::NativeValue> values);
  // The same for InsertGroupRows(table) rows at once (`values` row after row), whole or not at
  // all; InsertGroupRows is 0 when the table takes no group.
  std::size_t InsertGroupRows(std::string_view table);
  bool InsertValuesGroup(std::string_view table, std::span<const plsql::NativeValue> values);
  // PL/SQL's direct path of "UPDATE table SET c = v, ... WHERE key = k" for the row at `rowid`
  // (plsql::SqlCursor::UpdateByRowid, update_row.cc): true when that row, its key still `key`,
  // is updated.
  bool UpdateByRowid(std::string_view table, std::span<const std::string> columns,
                     std::span<const plsql::NativeValue> values, std::string_view key_column,
                     const plsql::NativeValue& key, std::int64_t rowid);
  // The connection went away: every later call fails with ORA-01012.
  void Orphan() { connection_ = nullptr; }

 private:
  // The table InsertRow writes and its prepared statement (insert_row.cc). Never moved once
  // built: `stores` points into `table`.
  struct RowTarget {
    std::string name;              // as InsertRow was given it
    std::uint64_t generation = 0;  // the connection's schema generation when it was resolved
    TableInfo table;
    std::vector<StoreTarget> stores;  // one per column, as vk_store is given it
    std::vector<bool> exact_numbers;  // per column: NUMBER (not FLOAT)
    SqliteStatement stmt;             // INSERT INTO t ("A", "B") VALUES (?1, ?2)
    // The same for group_rows rows at once: ... VALUES (?1, ?2), (?3, ?4), ... (when more than
    // one).
    SqliteStatement group_stmt;
    std::size_t group_rows = 1;
    std::vector<std::string> stored;        // the stored form of each value of the current row
    std::vector<std::string> group_stored;  // the same for each value of a group
    BindValue number;                       // a number literal as a statement would bind it
  };

  // The table, SET columns and key UpdateByRowid writes, and its prepared statement
  // (update_row.cc). Never moved once built: `stores` points into `table`.
  struct UpdateTarget {
    std::string name;  // as UpdateByRowid was given it
    std::vector<std::string> columns;
    std::string key_column;
    std::uint64_t generation = 0;
    TableInfo table;
    std::vector<StoreTarget> stores;  // one per SET column, as vk_store is given it
    std::vector<bool> exact_numbers;  // per SET column: NUMBER (not FLOAT)
    StoreTarget key_store;
    // UPDATE t SET "A" = ?1, "B" = ?2 WHERE rowid = ?3 AND "K" = ?4
    SqliteStatement stmt;
    std::vector<std::string> stored;  // the stored form of each SET value, then of the key
  };

  struct RawValue {
    int type = SQLITE_NULL;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;
  };

  int Fail(const OraError& error);
  int Succeed();
  OraStatus ParseStatement(std::string_view sql);
  // Prepares (or reuses) the statement of translation_ and binds its parameters.
  OraStatus PrepareTranslation();
  OraStatus ExecuteStatement();
  // Runs a translation made of several steps as one statement.
  OraStatus RunSteps();
  OraResult<bool> StepQuery();
  // The next row of a query still in SQLite (the first one when Execute stepped to it already):
  // false at its end; an error leaves the cursor broken. Either ends the query.
  OraResult<bool> NextLiveRow();
  // Makes the query's next row the current one (buffer_[buffer_next_] when detached): 0, or
  // the return code of the failure (1403 at the end).
  int AdvanceRow();
  // Why a fetch cannot deliver a row now (no session, no executed query, a broken one), if so.
  std::optional<OraError> FetchRefusal() const;
  OraStatus DeliverRow();
  OraStatus DeliverValue(std::size_t column_idx, int type, std::int64_t integer, double real,
                         std::string_view text);
  // The current row of the open query appended to `out` (FetchRows); on failure `out` is as
  // it was.
  OraStatus AppendRow(db::FetchedRows& out);
  void CloseQuery();

  EngineConnection* connection_;  // not owned; nullptr once the connection is gone
  int rc_ = 0;
  std::string error_text_;
  std::uint16_t function_type_ = 0;
  std::uint64_t rows_processed_ = 0;

  ParsedKind kind_ = ParsedKind::kNone;
  std::string deferred_sql_;  // the statement text of a deferred statement
  // The host variables bound to the parsed PL/SQL block: upper-case name, variable.
  std::vector<std::pair<std::string, db::BindVariable*>> binds_;
  Translation translation_;
  SqliteStatement stmt_;
  std::string stmt_sql_;  // the SQLite text `stmt_` was prepared from
  bool executed_ = false;
  bool stored_dates_ = false;
  bool keep_literal_offsets_ = false;
  std::vector<std::size_t> literal_offsets_;
  std::vector<std::size_t> rebound_;  // scratch of RebindLiterals
  bool stepping_ = false;             // `stmt_` holds a row position of an open query
  bool first_row_ready_ = false;
  bool at_end_ = false;
  // A row of the query failed: that fetch reported the error and the query cannot go on, so
  // later fetches report ORA-01002 instead of starting the rows again.
  bool broken_ = false;
  // Rows read ahead by Detach, in order, `buffer_columns_` values each, one row after the
  // other; `buffer_next_` is the next row to deliver. A failure met while reading ahead is
  // `detach_error_`, delivered after the rows that came before it.
  bool detached_ = false;
  std::optional<OraError> detach_error_;
  std::vector<RawValue> buffer_;
  std::size_t buffer_columns_ = 0;
  std::size_t buffer_next_ = 0;
  std::size_t buffered_rows() const {
    return buffer_columns_ == 0 ? 0 : buffer_.size() / buffer_columns_;
  }
  // The values of the next buffered row (which FetchStored and DeliverRow then pass).
  std::span<const RawValue> BufferedRow() const {
    return {buffer_.data() + buffer_next_ * buffer_columns_, buffer_columns_};
  }

  std::unique_ptr<RowTarget> row_target_;
  std::unique_ptr<UpdateTarget> update_target_;
  // Readies the direct path of InsertValues into `table`: false when the statement must run.
  bool StartDirectInsert(std::string_view table);
  // Binds the stored forms of `values`, whole rows of row_target_'s table, to `stmt`, keeping
  // them in `stored` (one per value); false for a value the statement must store.
  bool BindNativeRows(std::span<const plsql::NativeValue> values, sqlite3_stmt* stmt,
                      std::vector<std::string>& stored);
  OraStatus ResolveUpdateTarget(std::string_view table, std::span<const std::string> columns,
                                std::string_view key_column);
  // What vk_store receives from a statement for `value` written into `store`'s column
  // (`exact_number`: a NUMBER column); nullopt for a value the direct paths leave to the
  // statement. `given` holds the text it points to.
  static std::optional<SqlValue> StatementValue(const plsql::NativeValue& value,
                                                const StoreTarget& store, bool exact_number,
                                                std::string* given);
  OraStatus InsertRowInto(std::string_view table, std::span<const db::RowValue> values);
  OraStatus ResolveRowTarget(std::string_view table);
  OraStatus InsertConvertedInto(const db::RowConverter& converter, const db::ConvertedRows& rows,
                                std::size_t first, std::size_t count);
  // Runs `stmt`, one of the target's statements with its values bound.
  OraStatus WriteBoundRow(sqlite3_stmt* stmt);

  std::vector<db::ExternalType> defines_;
  std::vector<bool> defined_;
  std::vector<db::FetchedValue> values_;
  // How FetchRows takes each column's common values straight from SQLite's text (the rest go
  // through DeliverValue): as text, as a canonical integer, as a canonical number's text.
  enum class Quick : std::uint8_t { kText, kInteger, kDecimal, kOther };
  std::vector<Quick> quick_;
};

}  // namespace volmek::engine
