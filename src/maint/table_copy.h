// Table copy: repro, reproa and dupestru.
//
// `repro t1 t2` makes t2 (and the sub-tables t21, t22 ... that t1's record needs) a fresh
// managed-table copy of t1 built from t1's record dictionary, with new row identifiers, and
// copies t1's dictionary entry to t2's key. `reproa t1 t2` appends t1's rows to t2, creating
// t2 as repro does when it is missing. `dupestru n m` makes n an empty copy of the structure of
// m ("create table n as select * from m") with m's dictionary entry.
//
// Nothing is dropped before the copy is known to be possible: the source tables must exist,
// the source's dictionary entry must read (repro and reproa also need its fields and division
// values that cut them into non-empty segments, field names that are column names and key
// fields in its first table), no destination may be one of the sources, every name derived
// from the destination (t2, ID_t2, t2I, t21 ...) must be an Oracle name of at most 30
// characters, and the tablespaces TBDATOS and TBINDICES must exist. A refused run prints
// nothing but its message (kRefused) and leaves the database as it was.
//
// The changes are one operation unit (db::Session::BeginUnit): on the embedded database a run
// that fails or is killed half-way leaves every table and the entry as they were. A step that
// fails (a create, a fill) is reported and ends the run without the success line.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::maint {

// REQUIRES for all three: the session is open. Table names are upper-cased first.
Status Repro(db::RunContext& ctx, std::string_view t1, std::string_view t2);
Status Reproa(db::RunContext& ctx, std::string_view t1, std::string_view t2);
Status Dupestru(db::RunContext& ctx, std::string_view new_table, std::string_view model);

// The Spanish messages of the refusals, shared with sort.
std::string MissingTableMessage(std::string_view table);
std::string UnreadableDictionaryMessage(std::string_view table, std::string_view key);
std::string SameTableMessage(std::string_view table);

}  // namespace volmek::maint
