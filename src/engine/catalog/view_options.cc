// The catalogue's view options (WITH CHECK OPTION and WITH READ ONLY) and the views that no
// longer compile.
#include "engine/catalog/catalog.h"
#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {

OraStatus Catalog::EnsureViewOptionTable(sqlite3* db) {
  VK_RETURN_IF_ORA_ERROR(ExecSql(db,
                                 "CREATE TABLE IF NOT EXISTS vk_view_options(object_id INTEGER "
                                 "PRIMARY KEY, view_option TEXT NOT NULL)"));
  return ExecSql(db, "CREATE TABLE IF NOT EXISTS vk_invalid_views(object_id INTEGER PRIMARY KEY)");
}

OraResult<std::vector<ObjectRef>> Catalog::AllViews() const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT object_id, owner, name FROM vk_objects WHERE object_type = "
                               "'VIEW' ORDER BY object_id"));
  std::vector<ObjectRef> views;
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
    if (!row) break;
    views.push_back(ObjectRef{stmt.ColumnInt(0), std::string(stmt.ColumnText(1)),
                              std::string(stmt.ColumnText(2)), ObjectType::kView});
  }
  return views;
}

OraStatus Catalog::SetViewValid(std::int64_t object_id, bool valid) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, valid ? "DELETE FROM vk_invalid_views WHERE object_id = ?1"
                                          : "INSERT OR IGNORE INTO vk_invalid_views VALUES(?1)"));
  stmt.BindInt(1, object_id);
  return stmt.Run();
}

OraStatus Catalog::SetViewOption(std::int64_t object_id, std::string_view option) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, "INSERT OR REPLACE INTO vk_view_options VALUES(?1, ?2)"));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, option);
  return stmt.Run();
}

OraResult<std::optional<Catalog::ViewDefinition>> Catalog::View(std::int64_t object_id) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_,
                               "SELECT v.text, o.view_option, i.object_id IS NULL FROM vk_views v "
                               "LEFT JOIN vk_view_options o ON o.object_id = v.object_id LEFT "
                               "JOIN vk_invalid_views i ON i.object_id = v.object_id WHERE "
                               "v.object_id = ?1"));
  stmt.BindInt(1, object_id);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<ViewDefinition>();
  ViewDefinition view;
  view.text = std::string(stmt.ColumnText(0));
  if (!stmt.ColumnIsNull(1)) view.option = std::string(stmt.ColumnText(1));
  view.valid = stmt.ColumnInt(2) != 0;
  return std::optional<ViewDefinition>(std::move(view));
}

}  // namespace volmek::engine
