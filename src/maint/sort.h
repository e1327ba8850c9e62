// `sort`: makes an output table from an input table, keeping the rows an -incluye condition
// selects and leaving out those an -omite condition selects, and records the -orden list as
// the output table's key fields in the record dictionary (xclave). The rows are copied without
// any order; the order lives only in the dictionary. Options: maint/sort_options.h.
//
// sort checks its options before any session exists and opens, commits and closes the session
// itself. Before the output table is dropped it checks that the input table exists, that its
// dictionary entry reads, that the output is not the input, that the key names are column
// names of at most 30 characters and that the conditions run (their select is run and its
// first row fetched); a refused run changes nothing. The drop, the create and the dictionary
// steps are one operation unit (db::Session::BeginUnit); a create that fails is reported and
// ends the run with no info line, the dictionary untouched.
// Table names are used as typed (the database folds them); the dictionary keys are derived from
// the upper-cased names, as every other operation derives them.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::maint {

// Runs sort on `line`, the parameters each followed by one blank. REQUIRES: no session open.
Status Sort(db::RunContext& ctx, std::string_view line);

}  // namespace volmek::maint
