// restore and add: a table text file (table_text.h) loaded into its table, one insert per line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::datafiles {

// What the loading of one file did.
struct LoadCounts {
  std::int64_t lines = 0;     // lines read, whether their insert worked or not
  std::int64_t rejected = 0;  // lines whose insert failed (each reported)
};

enum class LoadMode {
  kRestore,  // empties the table first ("delete from <table>"); summary "Restore ..."
  kAdd,      // appends; summary "Add ..."
};

// Loads "<table>.txt" from the current directory into `table` (both as given): every line
// becomes "insert into <table> values (<line>)", run and reported like any statement. Lines
// are read whole, whatever their length; "\n" and "\r\n" line ends are removed; a last line
// without line end counts like the others. Dates are read in kDateFormat, and lines that hold
// old-form DD-MON-YY dates in the session's own format; an old-form NULL (blanks between
// apostrophes) in a number or date column loads as NULL (old_form_nulls.h).
//
// Commits the loaded rows (the inserts that worked), then prints
// "Restore %s con %ld fila%c recuperada%c.\n" (or "Add %s ...") with the count of lines read,
// followed, when some inserts failed, by "Warning. %ld fila%c rechazada%c.\n". A commit that
// fails is reported and fails the run (Fatal) before anything is printed.
//
// Fails, before the table is touched, with "Imposible abrir fichero restore (%s).\n" when the
// file cannot be opened; with kIoError when reading fails midway; at the error limit. A name
// that CheckTableName refuses is refused (kRefused) before the file is opened.
Result<LoadCounts> LoadTable(db::RunContext& ctx, std::string_view table, LoadMode mode);

// The name of the file that LoadTable reads for `table`.
std::string RestoreFileName(std::string_view table);

}  // namespace volmek::datafiles
