// `creacpy <tabla> <copy>`: a COBOL copybook into a managed table and its XCAMPO rows.
//
// The run, in this order:
//   1. read the copybook <KORVEL>/copys/<copy>[.cpy] (reader.h), lay it out with its
//      multi-record file (layout.h) and plan the columns (generation.h). Any fault here ends
//      the run with its message before the database is touched: the old table, its rows and
//      its dictionary entry are still there. So does a tablespace (TBDATOS, TBINDICES) that
//      does not exist;
//   2. drop the old table with its sequence, sub-tables and dictionary entry, and commit;
//   3. create the sequence ID_<tabla>, then the table; when the table cannot be created the
//      sequence is dropped again and the run fails (reported), so that no dictionary entry
//      describes a table that does not exist;
//   4. insert one XCAMPO row per column under the table's dictionary key; when an insert
//      fails, the rows of this run are rolled back and the new table and sequence dropped;
//   5. add the primary key on ID_<tabla> (its index in TBINDICES when that is set); a refusal
//      is reported and the table stays without it.
// Steps 2 to 5 are one operation unit (db::Session::BeginUnit), committed at its end: on the
// embedded database a run that fails or is killed after step 1 leaves the old table, its
// sub-tables, its sequence and its entry as they were.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::copybook {

// Runs creacpy for `table` (upper-cased here) and the copybook `copybook` (as the dispatcher
// gives it). Fails with the reading and checking messages of reader.h, layout.h and
// generation.h, with maint's refusal of a table name that cannot go into a statement, with
// "El nombre de tabla %s pasa de 27 caracteres (ID_%s pasaria de 30).\n", or with an empty
// message after an Oracle error report (step 3 or 4).
// REQUIRES: the session is open.
Status CreateTableFromCopybook(db::RunContext& ctx, std::string_view table,
                               std::string_view copybook);

}  // namespace volmek::copybook
