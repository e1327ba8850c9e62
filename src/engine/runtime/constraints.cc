#include "engine/runtime/constraints.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

constexpr std::string_view kTables = R"(
CREATE TABLE IF NOT EXISTS vk_constraints(id INTEGER PRIMARY KEY, owner TEXT NOT NULL,
  name TEXT NOT NULL, constraint_type TEXT NOT NULL, table_object_id INTEGER NOT NULL,
  search_condition TEXT, r_owner TEXT, r_constraint_name TEXT, r_table_object_id INTEGER,
  delete_rule TEXT, status TEXT NOT NULL, generated TEXT NOT NULL, UNIQUE(owner, name));
CREATE TABLE IF NOT EXISTS vk_cons_columns(constraint_id INTEGER NOT NULL,
  position INTEGER NOT NULL, column_name TEXT NOT NULL, r_column_name TEXT,
  PRIMARY KEY(constraint_id, position));
)";

// One row of vk_constraints with its columns.
struct Stored {
  std::int64_t id = 0;
  std::string owner;
  std::string name;
  std::string type;  // "C" or "R"
  std::int64_t table_id = 0;
  std::string condition;
  std::int64_t parent_id = 0;
  std::string delete_rule;
  bool enabled = true;
  std::vector<std::string> columns;
  std::vector<std::string> parent_columns;
};

std::string Qualified(const Stored& stored) { return stored.owner + "." + stored.name; }

OraResult<std::vector<Stored>> Load(sqlite3* db, const std::string& where) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(db,
                               "SELECT id, owner, name, constraint_type, table_object_id, "
                               "coalesce(search_condition, ''), coalesce(r_table_object_id, 0), "
                               "coalesce(delete_rule, ''), status FROM vk_constraints WHERE " +
                                   where + " ORDER BY id"));
  std::vector<Stored> rows;
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
    if (!row) break;
    Stored stored;
    stored.id = stmt.ColumnInt(0);
    stored.owner = std::string(stmt.ColumnText(1));
    stored.name = std::string(stmt.ColumnText(2));
    stored.type = std::string(stmt.ColumnText(3));
    stored.table_id = stmt.ColumnInt(4);
    stored.condition = std::string(stmt.ColumnText(5));
    stored.parent_id = stmt.ColumnInt(6);
    stored.delete_rule = std::string(stmt.ColumnText(7));
    stored.enabled = stmt.ColumnText(8) == "ENABLED";
    rows.push_back(std::move(stored));
  }
  for (Stored& stored : rows) {
    VK_ASSIGN_OR_ORA_RETURN(
        SqliteStatement columns,
        SqliteStatement::Prepare(db, fmt::format("SELECT column_name, coalesce(r_column_name, '') "
                                                 "FROM vk_cons_columns WHERE constraint_id = {} "
                                                 "ORDER BY position",
                                                 stored.id)));
    while (true) {
      VK_ASSIGN_OR_ORA_RETURN(bool row, columns.Step());
      if (!row) break;
      stored.columns.emplace_back(columns.ColumnText(0));
      stored.parent_columns.emplace_back(columns.ColumnText(1));
    }
  }
  return rows;
}

std::string TriggerName(const Stored& stored, std::string_view what) {
  return fmt::format("\"vkc{}_{}\"", stored.id, what);
}

OraStatus DropTriggers(sqlite3* db, const Stored& stored) {
  for (std::string_view what : {"i", "u", "pd", "pu"}) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(db, "DROP TRIGGER IF EXISTS " + TriggerName(stored, what)));
  }
  return {};
}

// "a.X = b.Y AND ..." over the foreign key's column pairs.
std::string KeyMatch(const Stored& stored, std::string_view child, std::string_view parent) {
  std::string sql;
  for (std::size_t idx = 0; idx < stored.columns.size(); ++idx) {
    if (!sql.empty()) sql += " AND ";
    sql += fmt::format("{}.{} = {}.{}", parent, QuoteIdentifier(stored.parent_columns[idx]), child,
                       QuoteIdentifier(stored.columns[idx]));
  }
  return sql;
}

std::string AllNotNull(const std::vector<std::string>& columns, std::string_view row) {
  std::string sql;
  for (const std::string& column : columns) {
    if (!sql.empty()) sql += " AND ";
    sql += fmt::format("{}.{} IS NOT NULL", row, QuoteIdentifier(column));
  }
  return sql;
}

OraResult<std::string> TableName(EngineConnection& connection, std::int64_t object_id) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<ObjectRef> ref, connection.catalog().FindById(object_id));
  if (!ref.has_value()) return OraErr(942, "table or view does not exist");
  return QuoteIdentifier(ref->owner) + "." + QuoteIdentifier(ref->name);
}

// The rows of the constraint's table whose CHECK condition is FALSE, as SQLite SQL selecting
// their rowid as "VK_RID".
OraResult<std::string> ViolatingRowsSql(EngineConnection& connection, const Stored& stored) {
  VK_ASSIGN_OR_ORA_RETURN(std::string table, TableName(connection, stored.table_id));
  TranslateOptions options;
  options.inline_literals = true;
  VK_ASSIGN_OR_ORA_RETURN(
      Translation translation,
      Translate("select rowid vk_rid from " + table + " where not (" + stored.condition + ")",
                connection.lookup(), options));
  return translation.sql;
}

std::string Raise(int code, std::string_view text) {
  return fmt::format("vk_error({}, {})", code, QuoteLiteral(text));
}

OraStatus CreateTriggers(EngineConnection& connection, const Stored& stored) {
  sqlite3* db = connection.db();
  std::string child = PhysicalName(ObjectType::kTable, stored.table_id);
  if (stored.type == "C") {
    VK_ASSIGN_OR_ORA_RETURN(std::string violating, ViolatingRowsSql(connection, stored));
    std::string raise =
        Raise(2290, fmt::format("check constraint ({}) violated", Qualified(stored)));
    for (std::string_view what : {"i", "u"}) {
      VK_RETURN_IF_ORA_ERROR(
          ExecSql(db, fmt::format("CREATE TRIGGER {} AFTER {} ON {} BEGIN SELECT {} FROM ({}) AS q "
                                  "WHERE q.\"VK_RID\" = NEW.rowid; END",
                                  TriggerName(stored, what), what == "i" ? "INSERT" : "UPDATE",
                                  child, raise, violating)));
    }
    return {};
  }
  std::string parent = PhysicalName(ObjectType::kTable, stored.parent_id);
  std::string child_columns;
  for (const std::string& column : stored.columns) {
    child_columns += (child_columns.empty() ? "" : ", ") + QuoteIdentifier(column);
  }
  std::string parent_columns;
  for (const std::string& column : stored.parent_columns) {
    parent_columns += (parent_columns.empty() ? "" : ", ") + QuoteIdentifier(column);
  }
  std::string missing = Raise(
      2291,
      fmt::format("integrity constraint ({}) violated - parent key not found", Qualified(stored)));
  for (std::string_view what : {"i", "u"}) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(
        db, fmt::format("CREATE TRIGGER {} AFTER {} ON {} WHEN {} AND NOT EXISTS (SELECT 1 FROM "
                        "{} AS p WHERE {}) BEGIN SELECT {}; END",
                        TriggerName(stored, what),
                        what == "i" ? std::string("INSERT") : "UPDATE OF " + child_columns, child,
                        AllNotNull(stored.columns, "NEW"), parent, KeyMatch(stored, "NEW", "p"),
                        missing)));
  }
  std::string children =
      fmt::format("EXISTS (SELECT 1 FROM {} AS c WHERE {})", child, KeyMatch(stored, "c", "OLD"));
  std::string found = Raise(
      2292,
      fmt::format("integrity constraint ({}) violated - child record found", Qualified(stored)));
  std::string on_delete = "SELECT " + found;
  std::string own_match;
  for (std::size_t idx = 0; idx < stored.columns.size(); ++idx) {
    if (!own_match.empty()) own_match += " AND ";
    own_match += fmt::format("{} = OLD.{}", QuoteIdentifier(stored.columns[idx]),
                             QuoteIdentifier(stored.parent_columns[idx]));
  }
  if (stored.delete_rule == "CASCADE") {
    on_delete = fmt::format("DELETE FROM {} WHERE {}", child, own_match);
  } else if (stored.delete_rule == "SET NULL") {
    std::string sets;
    for (const std::string& column : stored.columns) {
      sets += (sets.empty() ? "" : ", ") + QuoteIdentifier(column) + " = NULL";
    }
    on_delete = fmt::format("UPDATE {} SET {} WHERE {}", child, sets, own_match);
  }
  VK_RETURN_IF_ORA_ERROR(
      ExecSql(db, fmt::format("CREATE TRIGGER {} AFTER DELETE ON {} WHEN {} BEGIN {}; END",
                              TriggerName(stored, "pd"), parent, children, on_delete)));
  std::string changed;
  for (const std::string& column : stored.parent_columns) {
    changed += fmt::format("{}OLD.{} IS NOT NEW.{}", changed.empty() ? "" : " OR ",
                           QuoteIdentifier(column), QuoteIdentifier(column));
  }
  return ExecSql(
      db, fmt::format("CREATE TRIGGER {} AFTER UPDATE OF {} ON {} WHEN ({}) AND {} "
                      "BEGIN SELECT {}; END",
                      TriggerName(stored, "pu"), parent_columns, parent, changed, children, found));
}

// ORA-02293 / ORA-02298 when existing rows break the constraint.
OraStatus Validate(EngineConnection& connection, const Stored& stored) {
  std::string sql;
  OraError error;
  if (stored.type == "C") {
    VK_ASSIGN_OR_ORA_RETURN(std::string violating, ViolatingRowsSql(connection, stored));
    sql = "SELECT count(*) FROM (" + violating + ")";
    error = Ora(2293,
                fmt::format("cannot validate ({}) - check constraint violated", Qualified(stored)));
  } else {
    sql = fmt::format(
        "SELECT count(*) FROM {} AS c WHERE {} AND NOT EXISTS (SELECT 1 FROM {} AS p "
        "WHERE {})",
        PhysicalName(ObjectType::kTable, stored.table_id), AllNotNull(stored.columns, "c"),
        PhysicalName(ObjectType::kTable, stored.parent_id), KeyMatch(stored, "c", "p"));
    error =
        Ora(2298, fmt::format("cannot validate ({}) - parent keys not found", Qualified(stored)));
  }
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt, SqliteStatement::Prepare(connection.db(), sql));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (row && stmt.ColumnInt(0) > 0) return OraErr(error);
  return {};
}

// The class a type compares in: numbers, characters, dates, others.
int TypeClass(const SqlType& type) {
  switch (type.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return 0;
    case TypeKind::kChar:
    case TypeKind::kVarchar2:
      return 1;
    case TypeKind::kDate:
      return 2;
    default:
      return 3;
  }
}

const CatalogColumn* Find(const std::vector<CatalogColumn>& columns, std::string_view name) {
  for (const CatalogColumn& column : columns) {
    if (column.info.name == name) return &column;
  }
  return nullptr;
}

// Oracle refuses subqueries and session values in a CHECK condition.
OraStatus CheckCondition(std::string_view condition) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(condition));
  for (const Token& token : tokens) {
    if (token.IsKeyword("SELECT")) return OraErr(2251, "subquery not allowed here");
    if (token.IsKeyword("SYSDATE") || token.IsKeyword("USER") || token.IsKeyword("ROWNUM") ||
        token.IsKeyword("LEVEL") || token.IsKeyword("NEXTVAL") || token.IsKeyword("CURRVAL") ||
        token.IsKeyword("UID") || token.IsKeyword("USERENV")) {
      return OraErr(2436, "date or system variable wrongly specified in CHECK constraint");
    }
  }
  return {};
}

// The foreign key's parent and its columns: the parent's primary key when none are named.
OraStatus ResolveParent(EngineConnection& connection, const RuleConstraint& rule,
                        const std::vector<CatalogColumn>& child_columns, Stored* stored,
                        std::string* parent_key_name) {
  std::string parent_name = rule.parent_table;
  if (std::size_t dot = parent_name.find('.'); dot != std::string::npos) {
    if (parent_name.substr(0, dot) != connection.user()) {
      return OraErr(942, "table or view does not exist");
    }
    parent_name = parent_name.substr(dot + 1);
  }
  VK_ASSIGN_OR_ORA_RETURN(auto parent,
                          connection.catalog().FindObject(connection.user(), parent_name));
  if (!parent.has_value() || parent->type != ObjectType::kTable) {
    return OraErr(942, "table or view does not exist");
  }
  stored->parent_id = parent->object_id;
  VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> keys,
                          connection.catalog().IndexesOf(parent->object_id));
  const IndexInfo* key = nullptr;
  for (const IndexInfo& index : keys) {
    if (rule.parent_columns.empty()
            ? index.constraint_type == "P"
            : (!index.constraint_type.empty() && index.columns == rule.parent_columns)) {
      key = &index;
    }
  }
  if (key == nullptr && rule.parent_columns.empty()) {
    return OraErr(2268, "referenced table does not have a primary key");
  }
  if (rule.parent_columns.size() > 0 && rule.parent_columns.size() != rule.columns.size()) {
    return OraErr(2256, "number of referencing columns must match referenced columns");
  }
  if (key == nullptr) return OraErr(2270, "no matching unique or primary key for this column-list");
  if (key->columns.size() != rule.columns.size()) {
    return OraErr(2256, "number of referencing columns must match referenced columns");
  }
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> parent_columns,
                          connection.catalog().Columns(parent->object_id));
  for (std::size_t idx = 0; idx < rule.columns.size(); ++idx) {
    const CatalogColumn* child = Find(child_columns, rule.columns[idx]);
    if (child == nullptr)
      return OraErr(904, QuoteIdentifier(rule.columns[idx]) + ": invalid identifier");
    const CatalogColumn* referenced = Find(parent_columns, key->columns[idx]);
    if (referenced == nullptr || TypeClass(child->info.type) != TypeClass(referenced->info.type)) {
      return OraErr(2267, "column type incompatible with referenced column type");
    }
  }
  stored->columns = rule.columns;
  stored->parent_columns = key->columns;
  *parent_key_name = key->ref.name;
  return {};
}

OraResult<bool> NameInUse(EngineConnection& connection, std::string_view name) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          connection.db(),
          fmt::format("SELECT (SELECT count(*) FROM vk_constraints WHERE owner = {0} AND name = "
                      "{1}) + (SELECT count(*) FROM vk_indexes i JOIN vk_objects o USING "
                      "(object_id) WHERE o.owner = {0} AND o.name = {1} AND i.constraint_type "
                      "<> '')",
                      QuoteLiteral(connection.user()), QuoteLiteral(name))));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  return row && stmt.ColumnInt(0) > 0;
}

OraStatus Remove(EngineConnection& connection, const Stored& stored) {
  VK_RETURN_IF_ORA_ERROR(DropTriggers(connection.db(), stored));
  return ExecSql(connection.db(),
                 fmt::format("DELETE FROM vk_cons_columns WHERE constraint_id = {0}; DELETE FROM "
                             "vk_constraints WHERE id = {0}",
                             stored.id));
}

OraResult<std::optional<Stored>> FindByName(EngineConnection& connection, const ObjectRef& table,
                                            std::string_view name) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Stored> rows,
                          Load(connection.db(), fmt::format("table_object_id = {} AND name = {}",
                                                            table.object_id, QuoteLiteral(name))));
  if (rows.empty()) return std::optional<Stored>();
  return std::optional<Stored>(std::move(rows.front()));
}

}  // namespace

OraStatus EnsureConstraintTables(sqlite3* db) { return ExecSql(db, kTables); }

OraStatus AddRuleConstraint(EngineConnection& connection, const ObjectRef& table,
                            const RuleConstraint& rule) {
  Stored stored;
  stored.owner = table.owner;
  stored.table_id = table.object_id;
  stored.enabled = rule.enabled;
  bool generated = !rule.name.has_value();
  if (generated) {
    VK_ASSIGN_OR_ORA_RETURN(stored.name, connection.catalog().NextConstraintName());
  } else {
    stored.name = *rule.name;
    VK_ASSIGN_OR_ORA_RETURN(bool in_use, NameInUse(connection, stored.name));
    if (in_use) return OraErr(2264, "name already used by an existing constraint");
  }
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns,
                          connection.catalog().Columns(table.object_id));
  std::string parent_key_name;
  if (rule.kind == RuleConstraint::Kind::kCheck) {
    stored.type = "C";
    stored.condition = rule.condition;
    VK_RETURN_IF_ORA_ERROR(CheckCondition(rule.condition));
    // Names and types are checked now, as Oracle does at CREATE or ALTER.
    VK_RETURN_IF_ORA_ERROR(ViolatingRowsSql(connection, stored));
  } else {
    stored.type = "R";
    stored.delete_rule = rule.delete_rule;
    VK_RETURN_IF_ORA_ERROR(ResolveParent(connection, rule, columns, &stored, &parent_key_name));
    // A trigger does not fire itself again: grandchildren in the same table would stay.
    if (stored.parent_id == stored.table_id && stored.delete_rule == "CASCADE") {
      return OraErr(3001, "unimplemented feature");
    }
  }
  VK_RETURN_IF_ORA_ERROR(ExecSql(
      connection.db(),
      fmt::format("INSERT INTO vk_constraints(owner, name, constraint_type, table_object_id, "
                  "search_condition, r_owner, r_constraint_name, r_table_object_id, delete_rule, "
                  "status, generated) VALUES ({}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {})",
                  QuoteLiteral(stored.owner), QuoteLiteral(stored.name), QuoteLiteral(stored.type),
                  stored.table_id,
                  stored.type == "C" ? QuoteLiteral(stored.condition) : std::string("NULL"),
                  stored.type == "R" ? QuoteLiteral(stored.owner) : std::string("NULL"),
                  stored.type == "R" ? QuoteLiteral(parent_key_name) : std::string("NULL"),
                  stored.type == "R" ? std::to_string(stored.parent_id) : std::string("NULL"),
                  stored.type == "R" ? QuoteLiteral(stored.delete_rule) : std::string("NULL"),
                  QuoteLiteral(stored.enabled ? "ENABLED" : "DISABLED"),
                  QuoteLiteral(generated ? "GENERATED NAME" : "USER NAME"))));
  stored.id = sqlite3_last_insert_rowid(connection.db());
  std::vector<std::string> cons_columns = stored.columns;
  if (stored.type == "C") {
    // The columns the condition names, in table order.
    VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(stored.condition));
    for (const CatalogColumn& column : columns) {
      bool named = std::any_of(tokens.begin(), tokens.end(), [&](const Token& token) {
        return token.IsName() && token.Value() == column.info.name;
      });
      if (named) cons_columns.push_back(column.info.name);
    }
  }
  for (std::size_t idx = 0; idx < cons_columns.size(); ++idx) {
    VK_RETURN_IF_ORA_ERROR(ExecSql(
        connection.db(), fmt::format("INSERT INTO vk_cons_columns VALUES ({}, {}, {}, {})",
                                     stored.id, idx + 1, QuoteLiteral(cons_columns[idx]),
                                     stored.type == "R" ? QuoteLiteral(stored.parent_columns[idx])
                                                        : std::string("NULL"))));
  }
  if (!stored.enabled) return {};
  VK_RETURN_IF_ORA_ERROR(Validate(connection, stored));
  return CreateTriggers(connection, stored);
}

OraResult<bool> DropRuleConstraint(EngineConnection& connection, const ObjectRef& table,
                                   std::string_view name) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Stored> stored, FindByName(connection, table, name));
  if (!stored.has_value()) return false;
  VK_RETURN_IF_ORA_ERROR(Remove(connection, *stored));
  return true;
}

OraResult<bool> SetRuleConstraintEnabled(EngineConnection& connection, const ObjectRef& table,
                                         std::string_view name, bool enabled) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Stored> stored, FindByName(connection, table, name));
  if (!stored.has_value()) return false;
  VK_RETURN_IF_ORA_ERROR(DropTriggers(connection.db(), *stored));
  stored->enabled = enabled;
  if (enabled) {
    VK_RETURN_IF_ORA_ERROR(Validate(connection, *stored));
    VK_RETURN_IF_ORA_ERROR(CreateTriggers(connection, *stored));
  }
  VK_RETURN_IF_ORA_ERROR(ExecSql(
      connection.db(), fmt::format("UPDATE vk_constraints SET status = {} WHERE id = {}",
                                   QuoteLiteral(enabled ? "ENABLED" : "DISABLED"), stored->id)));
  return true;
}

OraStatus DropTableConstraints(EngineConnection& connection, const ObjectRef& table, bool cascade) {
  VK_ASSIGN_OR_ORA_RETURN(
      std::vector<Stored> referencing,
      Load(connection.db(),
           fmt::format("r_table_object_id = {0} AND table_object_id <> {0}", table.object_id)));
  if (!referencing.empty() && !cascade) {
    return OraErr(2449, "unique/primary keys in table referenced by foreign keys");
  }
  VK_ASSIGN_OR_ORA_RETURN(
      std::vector<Stored> own,
      Load(connection.db(), fmt::format("table_object_id = {}", table.object_id)));
  for (const Stored& stored : referencing) VK_RETURN_IF_ORA_ERROR(Remove(connection, stored));
  for (const Stored& stored : own) VK_RETURN_IF_ORA_ERROR(Remove(connection, stored));
  return {};
}

OraStatus CheckColumnUnconstrained(EngineConnection& connection, const ObjectRef& table,
                                   std::string_view column, const OraError& error) {
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          connection.db(),
          fmt::format("SELECT count(*) FROM vk_constraints k JOIN vk_cons_columns c ON "
                      "c.constraint_id = k.id WHERE (k.table_object_id = {0} AND c.column_name = "
                      "{1}) OR (k.r_table_object_id = {0} AND c.r_column_name = {1})",
                      table.object_id, QuoteLiteral(column))));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (row && stmt.ColumnInt(0) > 0) return OraErr(error);
  return {};
}

OraStatus RestoreConstraintTriggers(EngineConnection& connection, std::int64_t table_object_id) {
  VK_ASSIGN_OR_ORA_RETURN(
      std::vector<Stored> rows,
      Load(connection.db(),
           fmt::format("status = 'ENABLED' AND (table_object_id = {0} OR r_table_object_id = {0})",
                       table_object_id)));
  for (const Stored& stored : rows) {
    VK_RETURN_IF_ORA_ERROR(DropTriggers(connection.db(), stored));
    VK_RETURN_IF_ORA_ERROR(CreateTriggers(connection, stored));
  }
  return {};
}

}  // namespace volmek::engine
