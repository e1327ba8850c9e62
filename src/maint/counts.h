// Row counts and the info line.
//
// RowCount is the first step of `info` and is called without printing by the operations that
// need a table's row count (delete, borra, repro, reproa, sort): they read ctx.row_count_result
// afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::maint {

// Upper-cases `table` in place, runs "select count(*) from <table>" on the main cursor and
// leaves the count in ctx.row_count_result. When `print` is true it then reads the table's
// estimated size ("select (avg_row_len * num_rows) as espacio from user_tables where
// table_name = '<table>'") and prints the info line:
//
//   "Tabla: %s%s %s%s  filas %s%s  bytes.\n"
//
// with the name padded to 16, the count right-aligned in 9 and the size in 12 (longer fields
// are printed whole). A size the database does not know (no statistics yet) is shown as 0.
//
// When the count query does not parse (no such table) the Oracle error report is printed,
// nothing else, ctx.row_count_result keeps its previous value and the result is ok: callers
// that must know whether a count was made compare CountedRows below.
// Fails when the execute of the count fails (Fatal, report printed) or at the error limit, and
// refuses (kRefused, datafiles::CheckTableName) a name that cannot go into the query.
Status RowCount(db::RunContext& ctx, std::string& table, bool print);

// The same as RowCount, telling whether a count was fetched: true when ctx.row_count_result
// now holds the count of `table`.
Result<bool> CountedRows(db::RunContext& ctx, std::string& table, bool print);

// The all-tables action of `info all`: RowCount with printing on, for a name listed by the
// database (already upper case).
Status InfoTable(db::RunContext& ctx, std::string_view table);

// The info line for the given values, as RowCount prints it.
std::string InfoLine(std::string_view table, std::int64_t rows, std::int64_t bytes);

}  // namespace volmek::maint
