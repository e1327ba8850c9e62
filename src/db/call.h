// The database call interface: the session layer's only view of a database.
//
// It is the release-7 call set reduced to what volmek uses (logon, open cursor, parse, execute,
// describe column, define column, fetch, error message text, log off), with its return-code
// semantics kept exactly, since every layer above relies on them:
//
//   - every call returns the cursor's return code: 0 after success, otherwise the Oracle error
//     number (942, 1403, ...), and leaves it in rc();
//   - Parse sets function_type() (3 insert, 4 select, 5 update, 9 delete, 34 PL/SQL block, 189
//     merge, other values for the rest). DDL runs during Parse; the Execute that follows does
//     nothing more and returns 0. After a failed Parse no statement stands parsed, so Execute
//     and Fetch are refused (1003);
//   - rows_processed(): after Execute of insert/update/delete/merge the rows changed; for a
//     query 0 after Execute, then the number of rows fetched so far;
//   - Fetch returns 1403 at the end of the rows. A NULL value is delivered with is_null set and
//     does not fail the fetch (a backend may return 1405 instead: the row is still delivered);
//   - Describe past the last select-list item returns 1007.
//
// FetchRows, the array fetch, has a default made of Fetch and Value that a backend may replace
// with a quicker one of the same results.
//
// Four calls are optional: InsertRow, the direct path of loads, with OpenRowConverter and
// InsertConverted, which let a load convert its rows on another thread, and BindByName, the
// host variables of PL/SQL blocks. A backend without one returns 3001 (unimplemented
// feature) or no converter and does nothing; the caller of a load's call then runs the
// insert statement itself.
//
// Two implementations exist: the embedded engine (src/engine/, selected by an empty TNS or one
// beginning with "file:") and the Oracle client library (src/db/oci/). Nothing above src/db/
// knows which one runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace volmek::db {

// Internal type codes, as Describe reports them.
inline constexpr std::int16_t kTypeVarchar2 = 1;
inline constexpr std::int16_t kTypeNumber = 2;
inline constexpr std::int16_t kTypeLong = 8;
inline constexpr std::int16_t kTypeRowid = 11;
inline constexpr std::int16_t kTypeDate = 12;
inline constexpr std::int16_t kTypeRaw = 23;
inline constexpr std::int16_t kTypeLongRaw = 24;
inline constexpr std::int16_t kTypeChar = 96;

// Function types set by Parse.
inline constexpr std::uint16_t kFunctionInsert = 3;
inline constexpr std::uint16_t kFunctionSelect = 4;
inline constexpr std::uint16_t kFunctionUpdate = 5;
inline constexpr std::uint16_t kFunctionDelete = 9;
inline constexpr std::uint16_t kFunctionPlsql = 34;
inline constexpr std::uint16_t kFunctionMerge = 189;

// Return codes the layers above act upon.
inline constexpr int kRcOk = 0;
inline constexpr int kRcInvalidCursor = 1001;
inline constexpr int kRcNoStatementParsed = 1003;
inline constexpr int kRcNotInSelectList = 1007;
inline constexpr int kRcLogonDenied = 1017;
inline constexpr int kRcSessionTerminated = 603;
inline constexpr int kRcNotConnected = 3114;
inline constexpr int kRcNoData = 1403;
inline constexpr int kRcNullValue = 1405;
inline constexpr int kRcUnimplemented = 3001;

// True for the codes that say the session is gone, its open transaction rolled back: 28
// (session killed), 603 (session terminated by a fatal error), 1012 (not logged on), 1092
// (instance terminated, disconnection forced), 3113 (end-of-file on communication channel), 3114
// (not connected), 3135 (connection lost contact). Nothing a session does after one of them
// can be kept, so a run that meets one must stop.
inline bool EndsSession(int rc) {
  return rc == 28 || rc == kRcSessionTerminated || rc == 1012 || rc == 1092 || rc == 3113 ||
         rc == kRcNotConnected || rc == 3135;
}

// External types a column can be defined as (how Fetch delivers it).
enum class ExternalType : std::int16_t {
  kInteger = 3,  // 64-bit signed integer
  kFloat = 4,    // double, plus the exact decimal text of the value (see FetchedValue)
  kString = 5,   // the value as text, whole, whatever its length
};

// What Describe reports for one select-list item.
struct ColumnDescription {
  std::int32_t db_size = 0;       // size in the database (22 for NUMBER, n for CHAR(n), 7 for DATE)
  std::int16_t db_type = 0;       // internal type code (kType...)
  std::string name;               // column name, alias, or the expression text upper-cased
  std::int32_t display_size = 0;  // display size
  std::int16_t precision = 0;     // NUMBER precision; 0 for unconstrained and computed numbers
  std::int16_t scale = 0;         // NUMBER scale; 0 for unconstrained and computed numbers
  std::int16_t nulls_allowed = 1;  // 0 for NOT NULL columns
};

// One column of the row that the last successful Fetch delivered.
struct FetchedValue {
  bool is_null = true;
  std::int64_t integer = 0;  // kInteger: the value (a fraction is dropped)
  double real = 0;           // kFloat: the nearest double
  // kString: the value as text (dates in the session's date format, CHAR(n) with its blanks).
  // kFloat: the exact decimal text of the number, every digit the database holds, no exponent,
  // "-" for negatives, a leading "0" before the point ("12345678901234.5678", "-0.25", "3").
  std::string text;
  std::uint16_t rcode = 0;  // per-column return code (0, 1405 for NULL)
};

// Rows delivered by Cursor::FetchRows, one after another, `columns` values each in select-list
// order. A value is in the form its Define chose, as FetchedValue holds it: kInteger in
// `integer`; kString and kFloat as text, in bytes[offset, offset + size) (for kFloat the exact
// decimal text). The double of a kFloat value is carried only when it came without text (a
// backend may give no text); with text it is the nearest to it and left out. Cleared and
// refilled without giving its memory back.
struct FetchedRows {
  struct Value {
    bool is_null = true;
    std::int64_t integer = 0;
    double real = 0;  // set only for a value delivered without text
    std::size_t offset = 0;
    std::size_t size = 0;
  };
  std::size_t columns = 0;
  std::size_t rows = 0;
  std::string bytes;
  std::vector<Value> values;

  std::string_view Text(const Value& value) const {
    return std::string_view(bytes).substr(value.offset, value.size);
  }
  // Appends one value as a Fetch delivered it (its text for kFloat and kString).
  void Append(const FetchedValue& value) {
    Value& added = values.emplace_back();
    added.is_null = value.is_null;
    if (value.is_null) return;
    added.integer = value.integer;
    if (value.text.empty()) added.real = value.real;
    added.offset = bytes.size();
    added.size = value.text.size();
    bytes.append(value.text);
  }
  void clear() {
    rows = 0;
    bytes.clear();
    values.clear();
  }
};

// One value of a row handed to Cursor::InsertRow, as the literal of an insert's value list that
// it stands for.
struct RowValue {
  enum class Kind : std::uint8_t { kNull, kNumber, kText };
  Kind kind = Kind::kNull;
  // kNumber: the number literal as written, with its minus sign ("-12.50"); kText: the text
  // itself, apostrophes not doubled ('' is NULL, as the literal '' is).
  std::string_view text;
};

// A host variable of a PL/SQL block (":name" in its text), as text: its value goes into the
// block at Execute, and what the block left in it comes back after an Execute that succeeded.
// Numbers and dates the block assigns arrive in their text form (TO_CHAR's, the session's date
// format). A value longer than `max_size` bytes does not fit: the block fails with ORA-06502,
// as with a VARCHAR2 variable of that size.
struct BindVariable {
  bool is_null = true;
  std::string text;
  std::size_t max_size = 4000;
};

// Rows converted by a RowConverter, one after another: each value in the form the database
// stores it. Cleared and refilled without giving its memory back.
struct ConvertedRows {
  struct Value {
    std::size_t offset = 0;  // in `bytes`
    std::size_t size = 0;
    bool is_null = false;
  };
  std::string bytes;
  std::vector<Value> values;

  void clear() {
    bytes.clear();
    values.clear();
  }
};

// The conversion half of the direct path (Cursor::OpenRowConverter): turns the values of a
// row into their stored form without the connection, so that a load may convert on one thread
// while the cursor's thread writes.
class RowConverter {
 public:
  virtual ~RowConverter() = default;
  // Appends the stored form of one row's `values` to `out` (one value each) and returns true.
  // Returns false, leaving `out` as it was, for a row it does not take (a value the database
  // would refuse or that needs the session, a count of values that does not match): that row
  // goes by InsertRow, which answers for it. Touches no connection and no cursor: it may run on
  // any thread, one call at a time.
  virtual bool Convert(std::span<const RowValue> values, ConvertedRows& out) = 0;
  // How many converted rows Cursor::InsertConverted writes at once (besides one at a time).
  virtual std::size_t group_rows() const { return 1; }
};

// A cursor on one connection. Move-only; closes itself when destroyed.
class Cursor {
 public:
  virtual ~Cursor() = default;

  virtual int Parse(std::string_view sql) = 0;
  virtual int Execute() = 0;
  // Describes select-list item `position` (from 1) of the parsed query into `out`.
  virtual int Describe(int position, ColumnDescription* out) = 0;
  // Chooses how item `position` (from 1) is delivered by the following fetches.
  virtual int Define(int position, ExternalType type) = 0;
  virtual int Fetch() = 0;
  // REQUIRES: `position` (from 1) was defined; valid after a Fetch that delivered a row.
  virtual const FetchedValue& Value(int position) const = 0;
  // The array fetch: up to `max_rows` (at least 1) further rows in one call, appended to `out`
  // (items 1 to `columns`, each defined; out.columns is set to `columns`). Returns 0 when it
  // delivered `max_rows` rows; 1403 when the rows ended first, those before the end delivered
  // (perhaps none); any other code is the failure of the row after the delivered ones, which
  // is not delivered, as Fetch would have returned it for that row (1405 is no failure: its
  // row is delivered). rows_processed() counts on as Fetch counts. The default fetches a row
  // at a time with Fetch and Value.
  virtual int FetchRows(std::size_t columns, std::size_t max_rows, FetchedRows& out) {
    out.columns = columns;
    for (std::size_t row = 0; row < max_rows; ++row) {
      int rc = Fetch();
      if (rc != kRcOk && rc != kRcNullValue) return rc;
      for (std::size_t position = 1; position <= columns; ++position) {
        out.Append(Value(static_cast<int>(position)));
      }
      ++out.rows;
    }
    return kRcOk;
  }

  virtual int rc() const = 0;
  virtual std::uint16_t function_type() const = 0;
  virtual std::uint64_t rows_processed() const = 0;
  // The message of the last failed call on this cursor, in Oracle's form:
  // "ORA-00942: table or view does not exist", one line per error of the stack (an error that
  // ends the session is followed by the one that caused it), without a final line end. Empty
  // after a successful call.
  virtual std::string ErrorText() const = 0;

  // Optional: inserts one row into `table` (a table name as a statement would write it) as
  // parsing and executing "insert into <table> values (<values>)" on this cursor would, without
  // the statement's text: the same row, the same checks. Returns 0 when the row was inserted;
  // any other code leaves nothing inserted, and the caller runs the statement itself, whose
  // failure is then reported in the statement's own words. 3001 (the default: a backend
  // without the direct path) says that no later row will be taken either. Leaves no statement
  // parsed on the cursor.
  virtual int InsertRow(std::string_view table, std::span<const RowValue> values) {
    (void)table;
    (void)values;
    return kRcUnimplemented;
  }

  // Optional: a converter of rows for InsertRow into `table` (see RowConverter), made for the
  // schema and session settings in force now; nullptr (the default) when the backend has none
  // or the table does not go by the direct path. The converter must not outlive the cursor.
  virtual std::unique_ptr<RowConverter> OpenRowConverter(std::string_view table) {
    (void)table;
    return nullptr;
  }

  // Inserts `count` rows (1 or converter.group_rows()) converted by `converter` (made by this
  // cursor), one after another from rows.values[first], as InsertRow would insert the values
  // they were converted from, all of them or none. Returns 0 when they were inserted. Any other
  // code leaves nothing inserted: one that ends the session (EndsSession) is reported as
  // InsertRow's would be; after any other the caller goes on as if it had not called, a row at
  // a time with InsertRow and the rows' values. A converter made under another schema or other
  // session settings than those now in force is refused, as is a converter of another cursor.
  virtual int InsertConverted(const RowConverter& converter, const ConvertedRows& rows,
                              std::size_t first, std::size_t count) {
    (void)converter;
    (void)rows;
    (void)first;
    (void)count;
    return kRcUnimplemented;
  }

  // Optional: binds the host variable `name` (without its ':', any letter case) of the parsed
  // PL/SQL block to `*variable`, which must outlive the following executes; a later Parse drops
  // the binding. Returns 0, 1036 when the block has no such variable, or 3001 (the default)
  // when this backend binds nothing or the parsed statement is no PL/SQL block.
  virtual int BindByName(std::string_view name, BindVariable* variable) {
    (void)name;
    (void)variable;
    return kRcUnimplemented;
  }
};

// One logged-on session. Destroying it without LogOff ends the session as a process end
// would: the open transaction is rolled back.
class Connection {
 public:
  virtual ~Connection() = default;

  // Opens a cursor; on failure returns nullptr and sets *rc to the Oracle error number.
  virtual std::unique_ptr<Cursor> OpenCursor(int* rc) = 0;
  // Commits the open transaction and ends the session, as the release-7 log-off does: returns 0,
  // or the Oracle error number when the commit failed (ErrorText() then says why); the
  // transaction is then rolled back and the session ended all the same. Cursors must not be
  // used afterwards.
  virtual int LogOff() = 0;
  // The message of the last failed LogOff, in Oracle's form; empty after a successful one.
  virtual std::string ErrorText() const = 0;
  // An operation unit: what a session does between BeginUnit and EndUnit is kept or lost as a
  // whole, DDL included, where the backend can do so. The commits made inside the unit (explicit
  // ones and those around DDL) only mark where a rollback returns to; the unit's work becomes
  // durable at the first commit after EndUnit (or at LogOff), and a session that ends any other
  // way (a killed process included) loses all of it. Where the backend cannot (Oracle commits
  // every DDL for good) both calls do nothing, and the callers order their steps so that
  // running the operation again completes it.
  // REQUIRES for BeginUnit: no unit is open and nothing is pending (commit first). Returns 0, or
  // the Oracle error number when the unit cannot be opened.
  virtual int BeginUnit() { return kRcOk; }
  // REQUIRES: a unit is open. The following commit keeps its work.
  virtual void EndUnit() {}
};

// What a logon gives back.
struct LogonResult {
  int rc = 0;                              // 0 when connected
  std::string error_text;                  // Oracle's message when rc != 0
  std::string detail;                      // an extra line for the user (e.g. no client library)
  std::unique_ptr<Connection> connection;  // set when rc == 0
  bool created_database = false;           // the embedded engine created the database file
  std::string database_path;               // the embedded database file, when one was selected
};

// Logs on with the connect string `tns`: empty, or beginning with "file:", selects the
// embedded engine (empty: "volmek.db" in the current directory; "file:PATH": the file PATH);
// anything else is an Oracle connect string for the Oracle client library.
LogonResult Logon(std::string_view user, std::string_view password, std::string_view tns);

// True when `tns` selects the embedded engine (empty, or beginning with "file:").
bool SelectsEmbeddedEngine(std::string_view tns);

}  // namespace volmek::db
