#include "engine/catalog/stored_code.h"

#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

constexpr std::string_view kTables = R"sql(
CREATE TABLE IF NOT EXISTS vk_code(object_id INTEGER PRIMARY KEY, status TEXT NOT NULL,
  source TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS vk_source(object_id INTEGER NOT NULL, line INTEGER NOT NULL,
  text TEXT, PRIMARY KEY(object_id, line));
CREATE TABLE IF NOT EXISTS vk_errors(object_id INTEGER NOT NULL, sequence INTEGER NOT NULL,
  line INTEGER NOT NULL, position INTEGER NOT NULL, text TEXT NOT NULL,
  attribute TEXT NOT NULL, message_number INTEGER NOT NULL, PRIMARY KEY(object_id, sequence));
)sql";

OraStatus DeleteRows(sqlite3* db, std::string_view table, std::int64_t object_id) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db, "DELETE FROM " + std::string(table) + " WHERE object_id = ?1"));
  stmt.BindInt(1, object_id);
  return stmt.Run();
}

}  // namespace

OraStatus EnsureStoredCodeTables(sqlite3* db) { return ExecSql(db, kTables); }

OraStatus SaveStoredCode(Catalog& catalog, std::int64_t object_id, std::string_view source,
                         const std::vector<CompilationError>& errors) {
  sqlite3* db = catalog.db();
  for (std::string_view table : {"vk_code", "vk_source", "vk_errors"}) {
    VK_RETURN_IF_ORA_ERROR(DeleteRows(db, table, object_id));
  }
  {
    VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                            SqliteStatement::Prepare(db, "INSERT INTO vk_code VALUES(?1, ?2, ?3)"));
    stmt.BindInt(1, object_id);
    stmt.BindText(2, errors.empty() ? "VALID" : "INVALID");
    stmt.BindText(3, source);
    VK_RETURN_IF_ORA_ERROR(stmt.Run());
  }
  {
    // One row per line, each with its line end but the last, as USER_SOURCE shows them.
    VK_ASSIGN_OR_ORA_RETURN(
        SqliteStatement stmt,
        SqliteStatement::Prepare(db, "INSERT INTO vk_source VALUES(?1, ?2, ?3)"));
    std::int64_t line = 1;
    std::size_t at = 0;
    while (at < source.size()) {
      std::size_t end = source.find('\n', at);
      end = end == std::string_view::npos ? source.size() : end + 1;
      stmt.BindInt(1, object_id);
      stmt.BindInt(2, line++);
      stmt.BindText(3, source.substr(at, end - at));
      VK_RETURN_IF_ORA_ERROR(stmt.Run());
      at = end;
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                          SqliteStatement::Prepare(
                              db, "INSERT INTO vk_errors VALUES(?1, ?2, ?3, ?4, ?5, 'ERROR', ?6)"));
  std::int64_t sequence = 1;
  for (const CompilationError& error : errors) {
    stmt.BindInt(1, object_id);
    stmt.BindInt(2, sequence++);
    stmt.BindInt(3, error.line);
    stmt.BindInt(4, error.position);
    stmt.BindText(5, error.text);
    stmt.BindInt(6, error.message_number);
    VK_RETURN_IF_ORA_ERROR(stmt.Run());
  }
  return {};
}

OraResult<std::optional<StoredCode>> LoadStoredCode(const Catalog& catalog, std::string_view owner,
                                                    std::string_view name) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> ref, catalog.FindObject(owner, name));
  if (!ref.has_value() ||
      (ref->type != ObjectType::kProcedure && ref->type != ObjectType::kFunction)) {
    return std::optional<StoredCode>();
  }
  return LoadCodeOf(catalog, *ref);
}

OraResult<std::optional<StoredCode>> LoadCodeOf(const Catalog& catalog, const ObjectRef& ref) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(catalog.db(),
                               "SELECT status, source FROM vk_code WHERE object_id = ?1"));
  stmt.BindInt(1, ref.object_id);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<StoredCode>();
  StoredCode code;
  code.ref = ref;
  code.valid = stmt.ColumnText(0) == "VALID";
  code.source = std::string(stmt.ColumnText(1));
  return std::optional<StoredCode>(std::move(code));
}

}  // namespace volmek::engine
