// Emptying and dropping an application table together with its sub-tables.
//
// The sub-tables of a table T are T1 to T5, taken in that order and only as long as they
// exist: the first missing one ends the series (T3 is not looked at when T2 is missing). The
// table-exists test answers for any object of the user, so an index named T1 counts as present
// and the statement on it is reported as an Oracle error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/run_context.h"
#include "maint/table_name.h"

namespace volmek::maint {

// `delete`: counts the rows of `table` (upper-cased), empties it and its sub-tables and prints
// "Borrada tabla %s con %d registros.\n" with the table's own count. When the table cannot be
// counted (it does not exist) the Oracle error is reported, nothing is deleted, no line is
// printed and the result fails with an empty message (already reported).
// REQUIRES: the session is open.
Status EmptyTable(db::RunContext& ctx, std::string_view table);

// `borra`: drops `table` (upper-cased), its sub-tables and its sequence ID_<table>, after
// deleting its dictionary entry (skipped when `delete_dictionary` is false). A table that does
// not exist is left alone silently. Failures are reported and the next step runs; the result
// fails only when the run must end. The steps are one operation unit
// (db::Session::BeginUnit), committed at the end.
// REQUIRES: the session is open.
Status DropTable(db::RunContext& ctx, std::string_view table, bool delete_dictionary = true);

// The steps of DropTable for `name` (upper case, checked) without a unit of their own, for an
// operation that drops a table inside its own unit (creacpy). Order: the dictionary entry, the
// sub-tables from the last existing one back to T1, the sequence, the table: a run interrupted
// at any point is completed by running it again.
Status DropTableSteps(db::Session& session, std::string_view name, bool delete_dictionary = true);

// True for the six tables of the record dictionary (XCAMPO, XCLAVE, ...; upper case).
bool IsDictionaryTable(std::string_view table);

// The drop action of `borra all`, called for every table of the schema in name order. The
// record dictionary's own tables are kept back and dropped by Finish, after every other table,
// so that each of the others still finds the dictionary when its entry is deleted.
class DropAllAction {
 public:
  explicit DropAllAction(db::RunContext& ctx) : ctx_(ctx) {}

  // Drops `table` now, or keeps it for Finish when it is a dictionary table. A name that is not
  // a plain identifier is reported with InvalidTableNameMessage and skipped.
  Status operator()(std::string_view table);

  // Drops the dictionary tables kept back, in the order they were listed.
  Status Finish();

 private:
  db::RunContext& ctx_;
  std::vector<std::string> dictionary_tables_;
};

}  // namespace volmek::maint
