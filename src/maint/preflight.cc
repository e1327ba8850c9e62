#include "maint/preflight.h"

#include <fmt/format.h>

#include "base/oracle_reserved_words.h"
#include "base/text.h"
#include "datafiles/table_name.h"
#include "db/columns.h"

namespace volmek::maint {

namespace {

// Oracle refuses a reserved word as a name when it creates the table, which would come after
// the drop of the old one.
bool IsColumnName(std::string_view name) {
  return IsPlainIdentifier(name) && name.size() <= datafiles::kMaxIdentifierLength &&
         !IsOracleReservedWord(name);
}

}  // namespace

Status CheckDerivedName(std::string_view name, std::string_view table) {
  if (IsColumnName(name)) return Status::Ok();
  return Status::Refused(fmt::format(
      "Error. El nombre {}, que se deriva de la tabla {}, pasa de {} caracteres o no es valido. "
      "No se modifica nada.\n",
      name, table, datafiles::kMaxIdentifierLength));
}

Status CheckTablespace(db::Session& session, std::string_view variable, std::string_view name) {
  if (name.empty()) return Status::Ok();
  auto refuse = [&] {
    return Status::Refused(fmt::format(
        "Error. No existe el tablespace {} ({}). No se modifica nada.\n", name, variable));
  };
  if (!IsColumnName(name)) return refuse();
  std::string sql = fmt::format(
      "select tablespace_name from user_tablespaces where tablespace_name = '{}'", UpperCase(name));
  session.Echo(sql);
  db::SessionCursor& cursor = session.main();
  // A dictionary that cannot be asked leaves the answer to the create itself.
  if (cursor.Parse(sql) != db::kRcOk) return Status::Ok();
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  (void)columns;
  if (cursor.Execute() != db::kRcOk) return Status::Ok();
  if (cursor.Fetch() == db::kRcNoData) return refuse();
  return Status::Ok();
}

Status CheckQueryRuns(db::Session& session, std::string_view select, std::string_view table) {
  const Status refused = Status::Refused(fmt::format(
      "Error. La condicion de la tabla {} no se puede ejecutar. No se modifica nada.\n", table));
  session.Echo(select);
  db::SessionCursor& cursor = session.main();
  if (cursor.Parse(select) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return refused;
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  (void)columns;
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return refused;
  }
  int rc = cursor.Fetch();
  if (rc != db::kRcOk && rc != db::kRcNoData && rc != db::kRcNullValue) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return refused;
  }
  return Status::Ok();
}

Status CheckRecordNames(const RecordEntry& entry, std::string_view table, std::string_view key) {
  for (const Field& field : entry.fields) {
    if (IsColumnName(field.name)) continue;
    return Status::Refused(
        fmt::format("Error. El campo ({}) del diccionario de la tabla {} (clave {}) no es un "
                    "nombre de columna valido. No se modifica nada.\n",
                    field.name, table, key));
  }
  const std::vector<Segment> segments = entry.Segments();
  for (const std::string& key_name : entry.keys) {
    bool found = false;
    for (std::int64_t field_idx = segments[0].first; field_idx <= segments[0].last; ++field_idx) {
      if (entry.fields[static_cast<std::size_t>(field_idx)].name == key_name) found = true;
    }
    if (found) continue;
    return Status::Refused(
        fmt::format("Error. El campo clave ({}) de la tabla {} (clave {}) no es un campo de su "
                    "primer segmento. No se modifica nada.\n",
                    key_name, table, key));
  }
  return Status::Ok();
}

}  // namespace volmek::maint
