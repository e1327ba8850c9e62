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
// "Imposible escribir fichero copia (%s).\n", with the message of AppendLfField for a value
// that does not fit ("Fila %d de %s %s.\n" with the row number), with an empty Fatal status after a
// failed execute, and at the error limit. A table name that CheckTableName refuses is refused
// (kRefused) first.
Status SaveLf(db::RunContext& ctx, std::string_view table, std::string_view file_name);

// Appends the field of one value of `column`. Fails (kInvalidInput) when the value does not
// fit its field: "demasiado ancha para el fichero LF: la columna %s necesita %d caracteres y su
// campo tiene %d", or holds a line end (CR or LF), which would split the row in two lines:
// "con un fin de linea en la columna %s: el fichero LF no lo admite".
Status AppendLfField(const db::Column& column, const db::FetchedValue& value, std::string& line);

}  // namespace volmek::datafiles
