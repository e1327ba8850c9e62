// What a PL/SQL block needs of the session it runs in: cursors that run SQL (the engine's own,
// so that SQL inside a block behaves exactly as it does outside), the names of tables and
// columns for %TYPE and %ROWTYPE, the date format, and the DBMS_OUTPUT buffer of the session.
// The engine's runtime implements it; the interpreter knows nothing else of the engine.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/call.h"
#include "engine/plsql/ast.h"
#include "engine/plsql/sql_native.h"
#include "engine/plsql/value.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine::plsql {

// A literal of a statement written anew: a number's digits (no sign) or a quoted string, for
// the literal at `slot` (in the statement's order).
struct LiteralText {
  int slot = 0;
  std::string_view text;
  bool is_string = false;
};

// One statement at a time, as db::Cursor, with rows delivered as Values (dates whole, numbers
// exact).
class SqlCursor {
 public:
  virtual ~SqlCursor() = default;
  virtual OraStatus Parse(std::string_view sql) = 0;
  virtual OraStatus Execute() = 0;
  virtual bool is_query() const = 0;
  // The select list of the parsed query.
  virtual std::vector<db::ColumnDescription> Columns() = 0;
  // The next row into `*row`; false after the last.
  virtual OraResult<bool> Fetch(std::vector<Value>* row) = 0;
  virtual std::uint64_t rows_processed() const = 0;
  // Ends an open query (its remaining rows are dropped).
  virtual void Close() = 0;
  // The byte offsets of the literals of the query or DML statement last parsed, in order;
  // empty when the cursor does not say.
  virtual std::vector<std::size_t> LiteralOffsets() const { return {}; }
  // Makes the statement last parsed ready to run again with the literals of `changes` written
  // anew, as parsing the new text would, without reading it. False when that cannot be done:
  // the caller parses the new text.
  virtual OraResult<bool> RebindLiterals(std::span<const LiteralText> changes) {
    (void)changes;
    return false;
  }
  // Writes one row into `table` (an unquoted name of one part), `values` one per column in
  // order, storing each as "INSERT INTO table VALUES (...)" with those values would. False
  // when it does not (a view, another count of columns, a value it would store otherwise, a
  // write SQL refuses): nothing is then written, and the caller runs the statement, which
  // reports its own error.
  virtual bool InsertValues(std::string_view table, std::span<const NativeValue> values) {
    (void)table;
    (void)values;
    return false;
  }
  // The number of rows InsertValuesGroup writes into `table` at once; 0 when it writes none.
  virtual std::size_t InsertGroupRows(std::string_view table) {
    (void)table;
    return 0;
  }
  // InsertValues for InsertGroupRows(table) rows, `values` row after row: all of them written,
  // or (false) none.
  virtual bool InsertValuesGroup(std::string_view table, std::span<const NativeValue> values) {
    (void)table;
    (void)values;
    return false;
  }
  // Updates the row at `rowid` of `table` (an unquoted name of one part) while its NUMBER
  // column `key_column` holds `key`, setting `columns` to `values` as "UPDATE table SET c = v,
  // ... WHERE key_column = key AND ROWID = rowid" would. False when it does not update that one
  // row (no such row, a value it would store otherwise, a write SQL refuses): nothing is then
  // written, and the caller runs the statement.
  virtual bool UpdateByRowid(std::string_view table, std::span<const std::string> columns,
                             std::span<const NativeValue> values, std::string_view key_column,
                             const NativeValue& key, std::int64_t rowid) {
    (void)table;
    (void)columns;
    (void)values;
    (void)key_column;
    (void)key;
    (void)rowid;
    return false;
  }
};

// The session's DBMS_OUTPUT buffer: what blocks wrote, until the client takes it.
struct DbmsOutput {
  bool enabled = false;
  std::size_t limit = 0;  // bytes the buffer holds; 0 for no limit
  std::size_t bytes = 0;
  std::string partial;  // PUT without NEW_LINE yet
  std::vector<std::string> lines;
  std::size_t next = 0;  // lines[next] is the next line GET_LINE gives
  bool reading = false;  // GET_LINE ran since the last PUT: a PUT discards what is left
};

// Limits of one block's run.
struct RunOptions {
  // Statements and loop turns one block may run before it is stopped with ORA-02393.
  std::uint64_t max_steps = 200'000'000;
  // DBMS_LOCK.SLEEP and DBMS_SESSION.SLEEP really sleep (off for fuzzing).
  bool allow_sleep = true;
};

// A stored procedure or function as a session finds it: its text as USER_SOURCE keeps it (from
// its PROCEDURE or FUNCTION keyword on) and, when it compiled, its tree.
struct StoredUnit {
  std::string owner;
  std::string name;
  std::string text;
  std::unique_ptr<Subprogram> tree;  // null when the unit is INVALID

  // How error stacks name it: "SCOTT.P" in double quotes.
  std::string Label() const { return "\"" + owner + "." + name + "\""; }
};

// A stored package as a session finds it: the texts of its interface and body as
// USER_SOURCE keeps them (from their PACKAGE keyword on) and their trees when they compiled.
struct StoredPackage {
  std::string owner;
  std::string name;
  std::string spec_text;
  std::unique_ptr<PackageUnit> spec;  // null when INVALID
  bool has_body = false;
  std::string body_text;
  std::unique_ptr<PackageUnit> body;  // null when there is none or it is INVALID

  std::string Label() const { return "\"" + owner + "." + name + "\""; }
};

class PackageInstance;

class Host {
 public:
  virtual ~Host() = default;
  // The stored package `names` names (NAME or OWNER.NAME), as compiled; null when none.
  virtual std::shared_ptr<const StoredPackage> FindPackage(const std::vector<std::string>& names) {
    (void)names;
    return nullptr;
  }
  // The session's state of that package, kept from block to block (not yet elaborated when
  // new: PackageInstance::Ready does that); null when there is no such package.
  virtual std::shared_ptr<PackageInstance> PackageState(const std::vector<std::string>& names) {
    (void)names;
    return nullptr;
  }
  // The stored procedure or function `names` names (NAME or OWNER.NAME); null when none.
  virtual std::shared_ptr<const StoredUnit> FindUnit(const std::vector<std::string>& names) = 0;
  virtual std::unique_ptr<SqlCursor> OpenCursor() = 0;
  virtual const SchemaLookup& schema() const = 0;
  virtual std::string date_format() const = 0;
  // The date SYSDATE gives now (TO_DATE takes the fields its format leaves out from it).
  virtual Date CurrentDate() const { return Now(); }
  virtual DbmsOutput& output() = 0;
  virtual const RunOptions& options() const = 0;
  // Counts the changes of the schema (DDL): what was looked up under another count may be
  // stale.
  virtual std::uint64_t schema_generation() const { return 0; }
};

// A host variable the caller bound: `name` upper case, without its ':'.
struct HostVariable {
  std::string name;
  db::BindVariable* variable = nullptr;
};

// Runs the anonymous block `text` (DECLARE ... BEGIN ... END;). An error that no handler of
// the block takes comes back as Oracle reports it, followed by "ORA-06512: at line n"; the
// caller undoes the block's changes. The block's host variables (":name") are `binds`, taken
// as VARCHAR2 of their size; a block that ends well leaves its values in them. A host variable
// the caller did not bind fails with ORA-01008 where the block uses it.
OraStatus RunBlock(Host& host, std::string_view text, std::span<const HostVariable> binds = {});
// Parses `text` and resolves the procedures it calls: compilation errors (ORA-06550) come back
// as RunBlock would give them.
OraStatus CheckBlock(Host& host, std::string_view text);

// One compilation error of a stored unit, where USER_ERRORS places it.
struct CompileIssue {
  int line = 1;
  int column = 1;
  std::string text;  // "PLS-00103: Encountered ...", "PL/SQL: Statement ignored"
};

// Compiles the text of a stored procedure or function (PROCEDURE ... or FUNCTION ...): its
// tree, or its compilation errors (never none). The unit may call itself before it exists.
std::expected<std::unique_ptr<Subprogram>, std::vector<CompileIssue>> CompileUnit(
    Host& host, std::string_view text);
// Compiles a package interface, or a package body against `spec` (its package's compiled
// interface; null when it has none or it is INVALID).
std::expected<std::unique_ptr<PackageUnit>, std::vector<CompileIssue>> CompilePackage(
    Host& host, std::string_view text, const PackageUnit* spec, std::string_view spec_text);

class Interpreter;

// Runs one stored function for SQL, call after call, keeping the SQL its statements prepared.
class FunctionCaller {
 public:
  FunctionCaller(Host& host, std::shared_ptr<const StoredUnit> unit);
  ~FunctionCaller();
  FunctionCaller(const FunctionCaller&) = delete;
  FunctionCaller& operator=(const FunctionCaller&) = delete;

  // `args` one per parameter in order. Its value, or the error followed by its stack
  // ("ORA-06512: at "U.F", line 3").
  OraResult<Value> Call(std::vector<Value> args);
  // A call is running (a second one, through SQL, needs a caller of its own).
  bool busy() const { return busy_; }

 private:
  std::shared_ptr<const StoredUnit> unit_;
  std::unique_ptr<Interpreter> interpreter_;
  bool busy_ = false;
};

}  // namespace volmek::engine::plsql
