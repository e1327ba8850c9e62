// The catalogue's comments (COMMENT ON TABLE / COLUMN) and synonyms' targets, and the upgrade
// of catalogues made before them.
#include "engine/catalog/catalog.h"
#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

constexpr std::string_view kTables = R"sql(
CREATE TABLE IF NOT EXISTS vk_comments(object_id INTEGER NOT NULL, column_name TEXT NOT NULL,
  comments TEXT NOT NULL, PRIMARY KEY(object_id, column_name));
CREATE TABLE IF NOT EXISTS vk_synonyms(object_id INTEGER PRIMARY KEY, table_owner TEXT NOT NULL,
  table_name TEXT NOT NULL);
)sql";

}  // namespace

OraStatus Catalog::UpgradeCatalog(sqlite3* db) {
  VK_RETURN_IF_ORA_ERROR(ExecSql(db, kTables));
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                          SqliteStatement::Prepare(db,
                                                   "SELECT count(*) FROM pragma_table_info("
                                                   "'vk_columns') WHERE name = 'char_used'"));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (row && stmt.ColumnInt(0) == 0) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(db, "ALTER TABLE vk_columns ADD COLUMN char_used TEXT"));
  }
  return {};
}

OraStatus Catalog::SetComment(std::int64_t object_id, std::string_view column,
                              const std::optional<std::string>& text) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db_, text ? "INSERT OR REPLACE INTO vk_comments(object_id, "
                                           "column_name, comments) VALUES(?1, ?2, ?3)"
                                         : "DELETE FROM vk_comments WHERE object_id = ?1 AND "
                                           "column_name = ?2"));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, column);
  if (text) stmt.BindText(3, *text);
  return stmt.Run();
}

OraStatus Catalog::RenameCommentColumn(std::int64_t object_id, std::string_view from,
                                       std::string_view to) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt,
                          SqliteStatement::Prepare(db_,
                                                   "UPDATE vk_comments SET column_name = ?3 "
                                                   "WHERE object_id = ?1 AND column_name = ?2"));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, from);
  stmt.BindText(3, to);
  return stmt.Run();
}

OraStatus Catalog::AddSynonym(std::int64_t object_id, const SynonymTarget& target) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, "INSERT INTO vk_synonyms(object_id, table_owner, table_name) VALUES(?1, ?2, ?3)"));
  stmt.BindInt(1, object_id);
  stmt.BindText(2, target.owner);
  stmt.BindText(3, target.name);
  return stmt.Run();
}

OraResult<std::optional<Catalog::SynonymTarget>> Catalog::FindSynonymTarget(
    std::int64_t object_id) const {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          db_, "SELECT table_owner, table_name FROM vk_synonyms WHERE object_id = ?1"));
  stmt.BindInt(1, object_id);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row) return std::optional<SynonymTarget>();
  return std::optional<SynonymTarget>(
      SynonymTarget{std::string(stmt.ColumnText(0)), std::string(stmt.ColumnText(1))});
}

}  // namespace volmek::engine
