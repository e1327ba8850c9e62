// The script runners: `fsql` (script runner) and `fiche` (file runner).
//
// Both run a text file of SQL statements on the main cursor, one after the other, without
// reading results; a failing statement is reported with the Oracle error report and the next
// one runs. Neither commits (the dispatcher commits once after the file).
//
// Script of `fsql`: a statement is its lines as read (line ends included); a line beginning
// with ";" ends it (the rest of that line is ignored); lines beginning with "--" and empty
// lines are skipped; what is left at the end of the file is run. A PL/SQL block is one
// statement: its inner ";" and its "end;" line are part of it.
//
//   create table t (a number)
//   ;
//   -- a comment
//   begin
//     insert into t values (1);
//   end;
//   ;
//   insert into t values (2)
//
// File of `fiche`: the same, except that nothing is skipped, a line whose last character as
// read is ";" (a last line without line end) also ends the statement, its text before the ";"
// being the statement's last line, and what is left at the end of the file is not run.
//
// Lines end with LF or CR LF; lines and statements of any length are handled whole. A name
// that does not exist as typed is looked up ignoring letter case in its directory.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "db/session.h"

namespace volmek::sql {

// The name the script runner opens for the typed `parameter`, and the typed extension: the
// name is cut at its first "." and ".sql" appended ("X.TXT" gives "X.sql" and "TXT"); a name
// without "." is kept as it is, with an empty extension.
struct ScriptName {
  std::string name;
  std::string extension;
};
ScriptName FormScriptName(std::string_view parameter);

// `fsql`: prints "fichero (%s)  extension (%s) \n", then runs the script, or prints
// "Warning. No existe el fichero %s\n" when it cannot be opened (Ok). Fails at the error limit
// and when the file cannot be read to its end.
Status RunScript(db::Session& session, std::string_view parameter);

// `fiche`: runs the file named `parameter`, or prints "Warning. No existe el fichero %s\n".
// Fails at the error limit and when the file cannot be read to its end.
Status RunFile(db::Session& session, std::string_view parameter);

}  // namespace volmek::sql
