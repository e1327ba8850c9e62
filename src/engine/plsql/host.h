// What a PL/SQL block needs of the session it runs in: cursors that run SQL (the engine's own,
// so that SQL inside a block behaves exactly as it does outside), the names of tables and
// columns for %TYPE and %ROWTYPE, the date format, and the DBMS_OUTPUT buffer of the session.
// The engine's runtime implements it; the interpreter knows nothing else of the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/call.h"
#include "engine/plsql/value.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"

namespace volmek::engine::plsql {

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
};

// The session's DBMS_OUTPUT buffer: what blocks wrote, until the client takes it.
struct DbmsOutput {
  bool enabled = false;
  std::size_t limit = 0;  // bytes the buffer holds; 0 for no limit
  std::size_t bytes = 0;
  std::string partial;  // PUT without NEW_LINE yet
  std::vector<std::string> lines;
};

// Limits of one block's run.
struct RunOptions {
  // Statements and loop turns one block may run before it is stopped with ORA-02393.
  std::uint64_t max_steps = 200'000'000;
  // DBMS_LOCK.SLEEP and DBMS_SESSION.SLEEP really sleep (off for fuzzing).
  bool allow_sleep = true;
};

class Host {
 public:
  virtual ~Host() = default;
  virtual std::unique_ptr<SqlCursor> OpenCursor() = 0;
  virtual const SchemaLookup& schema() const = 0;
  virtual std::string date_format() const = 0;
  virtual DbmsOutput& output() = 0;
  virtual const RunOptions& options() const = 0;
};

// Runs the anonymous block `text` (DECLARE ... BEGIN ... END;). An error that no handler of
// the block takes comes back as Oracle reports it, followed by "ORA-06512: at line n"; the
// caller undoes the block's changes.
OraStatus RunBlock(Host& host, std::string_view text);
// Parses `text` only: compilation errors (ORA-06550) come back as RunBlock would give them.
OraStatus CheckBlock(std::string_view text);

}  // namespace volmek::engine::plsql
