// backup: every row of a table written to its table text file (table_text.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/environment.h"
#include "base/progress.h"
#include "base/status.h"
#include "datafiles/replacing_file.h"
#include "db/columns.h"
#include "db/run_context.h"
#include "db/session.h"

namespace volmek::datafiles {

// The table text file of `table` (used as given): "<BACKUP>/<table>.txt" when BACKUP is set and
// not empty, else "<table>.txt" in the current directory.
std::string BackupFileName(const Environment& env, std::string_view table);

// Backs up one table: "select * from <table>", every row one line, then
// "Backup %s con %d fila%c procesada.\n". The file replaces an earlier one only once it is
// complete. Dates are written in kDateFormat.
//
// A table that cannot be queried (parse failure) is reported with the Oracle error report and
// leaves any earlier file as it was; the result is then ok so that the caller goes on.
// Fails with "Imposible abrir fichero copia (%s).\n" when the file cannot be created, with
// "Imposible escribir fichero copia (%s).\n" when a write or the close fails (the earlier file
// is kept), with an empty Fatal status after the report of a failed execute, and at the error
// limit. A name that CheckTableName refuses is refused (kRefused) before any file is touched;
// a row that cannot be read refuses the table (kRefused) and keeps the earlier file.
Status BackupTable(db::RunContext& ctx, std::string_view table);

// The row writer: fetches every row of the executed query on `cursor`, described as `columns`,
// many at a time (the array fetch), and writes one line per row to `file` on a second thread
// (RowWriter). A fetch that fails (other than the end of the rows) is reported and ends the
// writer with kRefused, whose message is the number of the row that could not be read: a copy
// missing that row must not replace the earlier one. Returns the number of rows written,
// counted on `progress` as they are fetched. Fails on a write failure (kIoError), which comes
// first when it happened on an earlier row, or at the error limit.
Result<std::uint64_t> WriteRows(db::Session& session, db::SessionCursor& cursor,
                                std::span<const db::Column> columns, ReplacingFile& file,
                                ProgressTask& progress);

}  // namespace volmek::datafiles
