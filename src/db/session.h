// The Oracle session of one run: logon, the two cursors, run-statement, commit and the Oracle
// error report.
//
// A Session owns the Connection and both cursors. Everything a handler sends to the database
// goes through it. Output (the error report, the statement echo) goes to the stream given at
// Open. Failures that end the run come back as a Status whose message is printed by src/app/
// exactly as it stands (it carries its own line ends; it is empty when the report was already
// printed). Failures the caller goes on from are reported here and returned as `false`.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "base/status.h"
#include "db/call.h"

namespace volmek::db {

enum class Report { kSilent, kPrint };

// A cursor of the session. It remembers the last text parsed on it, which is what the Oracle
// error report prints as the failing statement.
class SessionCursor {
 public:
  explicit SessionCursor(std::unique_ptr<Cursor> cursor) : cursor_(std::move(cursor)) {}

  int Parse(std::string_view sql);
  int Execute() { return cursor_->Execute(); }
  int Fetch() { return cursor_->Fetch(); }
  // The array fetch (Cursor::FetchRows).
  int FetchRows(std::size_t columns, std::size_t max_rows, FetchedRows& out) {
    return cursor_->FetchRows(columns, max_rows, out);
  }
  int Describe(int position, ColumnDescription* out) { return cursor_->Describe(position, out); }
  int Define(int position, ExternalType type) { return cursor_->Define(position, type); }
  // A host variable of the parsed PL/SQL block (Cursor::BindByName).
  int BindByName(std::string_view name, BindVariable* variable) {
    return cursor_->BindByName(name, variable);
  }
  // REQUIRES: column `index` (from 0) was defined and a row was fetched.
  const FetchedValue& Value(int index) const { return cursor_->Value(index + 1); }

  int rc() const { return cursor_->rc(); }
  std::uint16_t function_type() const { return cursor_->function_type(); }
  std::uint64_t rows_processed() const { return cursor_->rows_processed(); }
  std::string ErrorText() const { return cursor_->ErrorText(); }
  const std::string& statement() const { return statement_; }
  // The direct path of loads (Cursor::InsertRow). Leaves no statement for the error report:
  // a row it does not take is run as a statement, which reports for itself.
  int InsertRow(std::string_view table, std::span<const RowValue> values) {
    statement_.clear();
    return cursor_->InsertRow(table, values);
  }
  // Its conversion half (Cursor::OpenRowConverter, Cursor::InsertConverted), the same way.
  std::unique_ptr<RowConverter> OpenRowConverter(std::string_view table) {
    return cursor_->OpenRowConverter(table);
  }
  int InsertConverted(const RowConverter& converter, const ConvertedRows& rows, std::size_t first,
                      std::size_t count) {
    statement_.clear();
    return cursor_->InsertConverted(converter, rows, first, count);
  }

 private:
  std::unique_ptr<Cursor> cursor_;
  std::string statement_;
};

// The result of one step of a fetch loop.
enum class FetchStep { kRow, kEnd };

class Session {
 public:
  // Reads NOMBREBD, PASSWD, TNS and NLS_LANG from `env`, logs on (text of the embedded
  // database converted to and from the client character set, db/converting_connection.h), opens the
  // main cursor, runs "alter session set nls_sort=binary" and opens the dictionary cursor, printing
  // what the opening prints ("Apertura BD ...\n" with `echo`, "Warning. Base de datos %s
  // creada.\n"). Fails with the message of the step that failed ("No se puede establecer conexion
  // con Base de Datos %s\n", ...). `out` must outlive the Session.
  static Result<std::unique_ptr<Session>> Open(const Environment& env, bool echo,
                                               std::ostream& out);

  // Wraps an open connection (tests, the companion programs). Opens the cursors as Open does.
  static Result<std::unique_ptr<Session>> FromConnection(std::unique_ptr<Connection> connection,
                                                         bool echo, std::ostream& out);

  // Use Open or FromConnection; the key keeps construction to them.
  class Key {
    friend class Session;
    Key() = default;
  };
  Session(Key, std::unique_ptr<Connection> connection, bool echo, std::ostream& out);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  SessionCursor& main() { return *main_; }
  // The opening leaves the dictionary cursor unopened only when "alter session" failed to
  // parse; every call on it then fails with 1001 "ORA-01001: invalid cursor", which callers
  // report like any other failure.
  SessionCursor& dictionary() { return *dictionary_; }
  bool has_dictionary() const { return dictionary_open_; }

  // Run-statement: echo, parse and execute `sql` on the main cursor. Returns true on success;
  // false after a failure (reported when `report` is kPrint). Sets execute_failed(). Fails at
  // the error limit, and after an error that ends the session, which is reported even with
  // kSilent.
  Result<bool> RunStatement(std::string_view sql, Report report = Report::kPrint);
  bool execute_failed() const { return execute_failed_; }

  // Inserts one row of a load into `table` on the main cursor by its direct path
  // (Cursor::InsertRow) and returns its code: 0 inserted; otherwise nothing was inserted and
  // nothing reported, and the caller runs the statement for the row (3001: and for every later
  // row). Clears execute_failed().
  int InsertRow(std::string_view table, std::span<const RowValue> values) {
    execute_failed_ = false;
    return main_->InsertRow(table, values);
  }
  // A converter of rows into `table` for InsertConverted (Cursor::OpenRowConverter), made on
  // the main cursor; nullptr when the backend has none for it.
  std::unique_ptr<RowConverter> OpenRowConverter(std::string_view table) {
    return main_->OpenRowConverter(table);
  }
  // Inserts converted rows on the main cursor (Cursor::InsertConverted) and returns its code,
  // as InsertRow does. Clears execute_failed().
  int InsertConverted(const RowConverter& converter, const ConvertedRows& rows, std::size_t first,
                      std::size_t count) {
    execute_failed_ = false;
    return main_->InsertConverted(converter, rows, first, count);
  }

  // Runs "commit work" on the main cursor; reports a failed parse and a failed execute. A
  // commit that failed loses the work it was to keep, so it fails the run (Fatal, nothing more
  // to print). On success prints the lines held by PrintAfterCommit.
  Status Commit();

  // Opens an operation unit (Connection::BeginUnit): commits what is pending, then everything
  // up to EndUnit is kept or lost as a whole where the backend can do so. Fails (Fatal,
  // reported) when the commit fails or the unit cannot be opened.
  Status BeginUnit();
  // Ends the unit and commits its work. Fails as Commit. A run that ends on a failure without
  // EndUnit loses the unit's work (the session is dropped without log-off).
  Status EndUnit();
  // Runs "rollback work" on the main cursor: what the open transaction did is undone. Fails
  // (Fatal, reported) when it cannot be done.
  Status Rollback();

  // Holds `text`, the line that tells the user some work is done, until the next successful
  // commit (Commit, or the one of Close) prints it; a run that ends before one never prints it.
  void PrintAfterCommit(std::string text);

  // The Oracle error report for the last failed call on `cursor`:
  // "\nError de Oracle. %s\n%s\n\n" with the message and the cursor's last statement. Fails
  // (exit status 1, nothing more to print) when this report takes the count above 100,000, and
  // when the error says the session is gone (db::EndsSession): nothing done after it is kept.
  Status ReportError(const SessionCursor& cursor);
  // The same, naming `statement` (a row of InsertRow, which parses no text).
  Status ReportError(const SessionCursor& cursor, std::string_view statement);

  // Prints "sql: %s\n" when the statement echo is on.
  void Echo(std::string_view sql);

  // One step of the usual fetch loop on `cursor`: 1403 ends it; 0 and 1405 deliver a row; any
  // other code is reported and the row is used all the same, except the codes that say the
  // cursor holds no executed query (1001, 1002, 1003, 1012): no row can ever come, so those end
  // the loop after their report.
  Result<FetchStep> FetchRow(SessionCursor& cursor);

  // Log off: commits what is pending and ends the session. When that commit fails the work is
  // lost: the Oracle error report (with "commit work" as its statement) is printed and the
  // result fails (Fatal, nothing more to print). On success prints the held lines. Closing a
  // closed session does nothing.
  Status Close();

  bool echo() const { return echo_; }
  std::ostream& out() { return out_; }
  std::uint64_t reports() const { return reports_; }

 private:
  Status OpenCursors();
  // Prints the report for `message` and `statement`; counts it against the error limit.
  Status PrintReport(std::string_view message, std::string_view statement);
  void PrintHeldLines();

  std::unique_ptr<Connection> connection_;
  std::unique_ptr<SessionCursor> main_;
  std::unique_ptr<SessionCursor> dictionary_;
  bool dictionary_open_ = false;
  bool echo_;
  std::ostream& out_;
  bool execute_failed_ = false;
  std::uint64_t reports_ = 0;
  bool closed_ = false;
  bool in_unit_ = false;
  std::string held_lines_;
};

// True for the codes after which a cursor can deliver no further row, however often it is
// fetched (1001 invalid cursor, 1002 fetch out of sequence, 1003 no statement parsed, 1012 not
// logged on): fetch loops end on them instead of reporting them again and again.
bool NoRowCanFollow(int rc);

// Reports above this number end the run.
inline constexpr std::uint64_t kErrorLimit = 100000;

}  // namespace volmek::db
