// The `sql` operation: one statement from the command line, and its result printed.
//
// A query prints a header block (an empty line, the column names, an underline), an empty line,
// one line per row, an empty line and the row count; an insert, update or delete prints the
// rows it changed; anything else a confirmation. For the query select nombre, edad from t with
// NOMBRE CHAR(6) and EDAD NUMBER(3) and the one row ('ANA', 7) ("." standing for a blank):
//
//   (empty)
//   NOMBRE................EDAD.
//   ------.------------------.
//   (empty)
//   ANA.....................7.
//   (empty)
//   volmek. 1 fila procesada.
//
// Every column is followed by one blank. Numbers are right-aligned in kNumberWidth characters;
// floating-point numbers always show two decimals.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/charset.h"
#include "base/status.h"
#include "db/call.h"
#include "db/columns.h"
#include "db/session.h"
#include "db/two_decimals.h"

namespace volmek::sql {

// Runs `text` on the main cursor and prints its result to session.out(). A statement that
// does not parse is reported and the result is Ok. Fails (Fatal, report printed) when the
// execute fails, and at the error limit. Names and texts are aligned by their characters in
// `charset`, so that a letter of several bytes does not shift its row.
Status RunSqlStatement(db::Session& session, std::string_view text, const CharacterSet& charset);

// Appends the header block for `columns` to `out`: a line end, the names, a line end, the
// underline, a line end.
void AppendHeader(std::string& out, const std::vector<db::Column>& columns,
                  const CharacterSet& charset);

// Fetches every row of the query executed on `cursor` and prints one line for each. A failed
// fetch other than the end of the rows is reported and the row printed from what it delivered.
// Fails only at the error limit.
Status PrintRows(db::Session& session, db::SessionCursor& cursor,
                 const std::vector<db::Column>& columns, const CharacterSet& charset);

// Appends one column's value as a row line shows it (without the blank that follows it).
void AppendValue(std::string& out, const db::Column& column, const db::FetchedValue& value,
                 const CharacterSet& charset);

}  // namespace volmek::sql
