// The catalogue script (catalogo.sql): a script for Oracle's command-line tool that spools the
// listing of every table, view and index of the user into catalogo.txt.
//
// The script sets the output up, then per table selects a marker row with the row count,
// describes the table, selects the index marker row and the index columns; per view a marker
// row and the describe; then ends the spool:
//
//   set TERM off
//   SET LINESIZE 800
//   SET PAGESIZE 999999
//   SET HEADING OFF
//   SET FEEDBACK OFF
//   spool catalogo.txt
//   select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from EMP;
//   desc EMP
//   select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_INDICES' from EMP;
//   select ai.index_name Nombre, ... and ai.table_name = 'EMP' order by ... ;
//   select 'V' as VISTA, count(*) as REGISTROS, 'CATALOGO_VISTA'  from V;
//   desc V
//   spool off
//   quit
//
// The DDL converter (ddl_converter.h) reads the listing that this script produces.
#pragma once

#include <string>

#include "base/status.h"
#include "db/session.h"

namespace volmek::migrate {

// The lines of the script for one table and for one view, each ending with "\n".
std::string TableLines(std::string_view table);
std::string ViewLines(std::string_view view);

// Appends to `script` the catalogue script for the tables and views of the session's user,
// read on the dictionary cursor in name order. When a list cannot be parsed, the Oracle error
// report is printed and the script ends where it stands, without its closing lines (still a
// success). Fails when the execute of a list fails (after its report; the message is empty) or
// when the error limit is reached. An object whose name is not an identifier cannot be put in
// the script: it is left out with a warning on the session's output.
Status WriteCatalogScript(db::Session& session, std::string& script);

}  // namespace volmek::migrate
