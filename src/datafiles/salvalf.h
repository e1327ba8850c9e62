// salvalf: the rows of a managed table written to a fixed-layout line file (the LF file).
//
// One line per row, in ID_ order, without the first (ID_) column; each further column in a
// field of its display width (db/columns.h), with no separators:
//
//   NULL            blanks for the whole width
//   integer         right-aligned
//   floating-point  right-aligned in 18 with exactly two decimals (rounded half away from zero)
//   text            left-aligned, blank-filled
//
// so CODIGO CHAR(4) 'AB', SALDO NUMBER(8,2) 12.5 and a DATE give the 31-character line
// "AB                12.5008-DEC-25". The widths are a layout other programs read: a value
// wider than its field is refused, never written shifted.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "db/columns.h"
#include "db/run_context.h"

namespace volmek::datafiles {

// Saves `table` to the file `file_name`: "select * from <table> order by ID_<table>", then
// "Copiado LF %s con %d fila%c procesada.\n". The file replaces an earlier one only when it is
// complete. A parse failure is reported and ends the operation (no file is written).
// Fails with "Imposible abrir fichero copia (%s).\n" (also for an empty name), with
// "Imposible escribir fichero copia (%s).\n", with the too-wide message of AppendLfField
// (prefixed by the row number), with an empty Fatal status after a failed execute, and at the
// error limit. A table name that CheckTableName refuses is refused (kRefused) first.
Status SaveLf(db::RunContext& ctx, std::string_view table, std::string_view file_name);

// Appends the field of one value of `column`. Fails (kInvalidInput) when the value does not
// fit its field: "la columna %s necesita %d caracteres y su campo tiene %d".
Status AppendLfField(const db::Column& column, const db::FetchedValue& value, std::string& line);

// The exact decimal `number` rounded half away from zero to two decimals: "12.5" -> "12.50",
// "2.345" -> "2.35", "-0.004" -> "0.00", "9.999" -> "10.00".
std::string RoundToCents(std::string_view number);

}  // namespace volmek::datafiles
