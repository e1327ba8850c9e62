#include "migrate/catalog_script.h"

#include <fmt/format.h>

#include <ostream>

#include "base/text.h"
#include "db/columns.h"

namespace volmek::migrate {

namespace {

constexpr std::string_view kHeader =
    "set TERM off\n"
    "SET LINESIZE 800\n"
    "SET PAGESIZE 999999\n"
    "SET HEADING OFF\n"
    "SET FEEDBACK OFF\n"
    "spool catalogo.txt\n";
constexpr std::string_view kClosing = "spool off\nquit\n";
constexpr std::string_view kTableQuery =
    "select object_name from user_objects where object_type = 'TABLE' order by object_name";
constexpr std::string_view kViewQuery =
    "select object_name from user_objects where object_type = 'VIEW' order by object_name";

enum class ListEnd { kComplete, kParseFailed };

// Runs one object list on the dictionary cursor and appends the lines of every object.
Result<ListEnd> AppendObjects(db::Session& session, std::string_view query,
                              std::string (*lines)(std::string_view), std::string& script) {
  db::SessionCursor& cursor = session.dictionary();
  session.Echo(query);
  if (cursor.Parse(query) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return ListEnd::kParseFailed;
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Fatal(""));
  }
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) break;
    if (columns.empty()) continue;
    const db::FetchedValue& value = cursor.Value(0);
    std::string_view name = value.is_null ? std::string_view() : std::string_view(value.text);
    // A quoted name with blanks, quotes or semicolons would break the script's statements.
    if (!IsPlainIdentifier(name)) {
      session.out() << fmt::format(
          "Warning. Objeto \"{}\" fuera del catalogo: su nombre no es un identificador.\n", name);
      continue;
    }
    script += lines(name);
  }
  return ListEnd::kComplete;
}

}  // namespace

std::string TableLines(std::string_view table) {
  return fmt::format(
      "select '{0}' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from {0};\n"
      "desc {0}\n"
      "select '{0}' as TABLA, count(*) as REGISTROS, 'CATALOGO_INDICES' from {0};\n"
      "select ai.index_name Nombre, ai.uniqueness Unico,  substr(ic.column_name, 1, 30) Columna, "
      "ic.column_position Posicion, ic.descend Orden,  ic.table_name Nombre_Tabla from "
      "all_ind_columns ic, all_indexes ai where ai.index_name = ic.index_name and ai.table_name = "
      "'{0}' order by ai.index_name, ic.column_position ;\n",
      table);
}

std::string ViewLines(std::string_view view) {
  return fmt::format(
      "select '{0}' as VISTA, count(*) as REGISTROS, 'CATALOGO_VISTA'  from {0};\n"
      "desc {0}\n",
      view);
}

Status WriteCatalogScript(db::Session& session, std::string& script) {
  script += kHeader;
  VOLMEK_ASSIGN_OR_RETURN(ListEnd tables, AppendObjects(session, kTableQuery, TableLines, script));
  if (tables == ListEnd::kParseFailed) return Status::Ok();
  VOLMEK_ASSIGN_OR_RETURN(ListEnd views, AppendObjects(session, kViewQuery, ViewLines, script));
  if (views == ListEnd::kParseFailed) return Status::Ok();
  script += kClosing;
  return Status::Ok();
}

}  // namespace volmek::migrate
