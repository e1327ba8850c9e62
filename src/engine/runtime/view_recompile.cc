// Views after DDL on what they read.
//
// A view is kept as a SQLite view over the physical names of what its query read when it was
// created, translated for the column types it found then. DDL can leave it reading a table that
// is gone or renamed, a column that was dropped, or a type that changed. Oracle marks such a
// view INVALID and compiles it again at its next use; here the views whose query names a
// changed object are compiled again at the end of the DDL, in its transaction. A view that
// compiles is rewritten; one that does not is recorded as INVALID (USER_OBJECTS shows it so, and
// naming it is ORA-04063) until a later DDL lets it compile.
//
// Oracle keeps a view's `*` expanded into the columns it had when the view was created, so a
// view keeps its columns: a recompiled `*` that now gives more columns keeps the old ones by
// name, and one that lost any of them does not compile.
#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/catalog/dictionary.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/ddl_tables.h"
#include "engine/storage/sqlite_handle.h"
#include "engine/syntax/lexer.h"
#include "engine/translate/translate.h"

namespace volmek::engine {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#';
}

// Whether `text` holds `name` as a whole word. A false match only costs a needless compile.
bool Mentions(std::string_view text, std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t at = text.find(name); at != std::string_view::npos;
       at = text.find(name, at + 1)) {
    const bool starts = at == 0 || !IsNameChar(text[at - 1]);
    const std::size_t end = at + name.size();
    if (starts && (end == text.size() || !IsNameChar(text[end]))) return true;
  }
  return false;
}

bool MentionsAny(const std::string& text, const std::vector<std::string>& names) {
  const std::string upper = UpperAscii(text);
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return Mentions(upper, name) || Mentions(text, name);
  });
}

// Whether the query selects `*` or `x.*` (outside quotes): the columns it gives then depend
// on the tables, not on its text.
bool SelectsStar(std::string_view text) {
  char quote = 0;
  char previous = ' ';  // the last character outside quotes that is not a blank
  std::string word;     // the last word outside quotes, upper case
  for (char c : text) {
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      previous = c;
      word.clear();
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '*') {
      if (previous == ',' || previous == '.' || word == "SELECT" || word == "DISTINCT" ||
          word == "UNIQUE" || word == "ALL") {
        return true;
      }
    }
    if (IsNameChar(c)) {
      if (!IsNameChar(previous)) word.clear();
      word += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    } else {
      word.clear();
    }
    previous = c;
  }
  return false;
}

std::vector<std::string> NamesOf(const std::vector<CatalogColumn>& columns) {
  std::vector<std::string> names;
  for (const CatalogColumn& column : columns) names.push_back(column.info.name);
  return names;
}

// What the view compiles to: the SQL of its SQLite view and its columns.
struct Compiled {
  std::string create_sql;
  std::vector<CatalogColumn> columns;
};

OraResult<Compiled> Compile(EngineConnection& connection, const ObjectRef& view,
                            const std::string& text, const std::vector<CatalogColumn>& before) {
  TranslateOptions options;
  options.inline_literals = true;
  CatalogLookup other(connection.catalog(), view.owner);
  const SchemaLookup& lookup = view.owner == connection.user()
                                   ? static_cast<const SchemaLookup&>(connection.lookup())
                                   : other;
  VK_ASSIGN_OR_ORA_RETURN(Translation translation, Translate(text, lookup, options));
  const std::vector<std::string> names = NamesOf(before);
  std::string sql = translation.sql;
  std::vector<CatalogColumn> columns;
  if (SelectsStar(text)) {
    // The columns it had, by name: a `*` may now give more, or in another order.
    VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> now,
                            ColumnsOfQuery(translation, {}, /*refuse_zero_length=*/false));
    std::string picked;
    for (const std::string& name : names) {
      auto found = std::find_if(now.begin(), now.end(), [&](const CatalogColumn& column) {
        return column.info.name == name;
      });
      if (found == now.end())
        return OraErr(Ora(904, fmt::format("\"{}\": invalid identifier", name)));
      columns.push_back(*found);
      picked += (picked.empty() ? "" : ", ") + QuoteIdentifier(name);
    }
    if (now.size() != names.size() || NamesOf(now) != names) {
      sql = fmt::format("SELECT {} FROM ({})", picked, sql);
    }
  } else {
    VK_ASSIGN_OR_ORA_RETURN(columns,
                            ColumnsOfQuery(translation, names, /*refuse_zero_length=*/false));
  }
  std::string column_list;
  for (const std::string& name : names) {
    column_list += (column_list.empty() ? "" : ", ") + QuoteIdentifier(name);
  }
  return Compiled{fmt::format("CREATE VIEW {}({}) AS {}",
                              PhysicalName(ObjectType::kView, view.object_id), column_list, sql),
                  std::move(columns)};
}

OraResult<std::string> StoredSql(sqlite3* db, const ObjectRef& view) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db,
                               "SELECT sql FROM sqlite_master WHERE type = 'view' AND name = ?1"));
  const std::string physical = "v" + std::to_string(view.object_id);
  stmt.BindText(1, physical);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  return row ? std::string(stmt.ColumnText(0)) : std::string();
}

// Compiles `view` again. True when anything about it changed: its SQL, columns or status.
OraResult<bool> Recompile(EngineConnection& connection, const ObjectRef& view) {
  Catalog& catalog = connection.catalog();
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Catalog::ViewDefinition> definition,
                          catalog.View(view.object_id));
  if (!definition.has_value()) return false;
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> before, catalog.Columns(view.object_id));
  OraResult<Compiled> compiled = Compile(connection, view, definition->text, before);
  if (!compiled.has_value()) {
    if (!definition->valid) return false;
    VK_RETURN_IF_ORA_ERROR(catalog.SetViewValid(view.object_id, false));
    return true;
  }
  VK_ASSIGN_OR_ORA_RETURN(std::string stored, StoredSql(connection.db(), view));
  if (stored == compiled->create_sql && definition->valid) return false;
  VK_RETURN_IF_ORA_ERROR(ExecSql(
      connection.db(), "DROP VIEW IF EXISTS " + PhysicalName(ObjectType::kView, view.object_id)));
  VK_RETURN_IF_ORA_ERROR(ExecSql(connection.db(), compiled->create_sql));
  VK_RETURN_IF_ORA_ERROR(catalog.SetColumns(view.object_id, compiled->columns));
  VK_RETURN_IF_ORA_ERROR(catalog.SetViewValid(view.object_id, true));
  return true;
}

}  // namespace

OraStatus EngineConnection::RecompileViews(std::vector<std::string> changed) {
  if (changed.empty()) return {};
  VK_ASSIGN_OR_ORA_RETURN(std::vector<ObjectRef> views, catalog_.AllViews());
  // A view over a view follows it: each round compiles the views naming what the last round
  // changed, until a round changes nothing. Every round changes at least one view, and a view
  // settles once what it reads has, so the rounds are bounded by the number of views.
  for (std::size_t round = 0; !changed.empty() && round <= views.size(); ++round) {
    std::vector<std::string> next;
    for (const ObjectRef& view : views) {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Catalog::ViewDefinition> definition,
                              catalog_.View(view.object_id));
      if (!definition.has_value() || !MentionsAny(definition->text, changed)) continue;
      VK_ASSIGN_OR_ORA_RETURN(bool moved, Recompile(*this, view));
      if (moved) next.push_back(view.name);
    }
    changed = std::move(next);
  }
  (void)catalog_.TakeChangedNames();
  return {};
}

}  // namespace volmek::engine
