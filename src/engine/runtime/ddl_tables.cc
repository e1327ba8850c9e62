#include "engine/runtime/ddl_tables.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "engine/runtime/connection.h"
#include "engine/runtime/constraints.h"
#include "engine/runtime/ddl_tables_internal.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine {
namespace ddl_tables_internal {

OraError TableDoesNotExist() { return Ora(942, "table or view does not exist"); }
OraError NameInUse() { return Ora(955, "name is already used by an existing object"); }
OraError InvalidTableName() { return Ora(903, "invalid table name"); }
OraError ColumnNameError() { return Ora(904, ": invalid identifier"); }

std::string NullOr(const std::optional<int>& value) {
  return value.has_value() ? fmt::format("{}", *value) : "NULL";
}

// vk_store(expr, ...) for a value written into `column` of OWNER.TABLE.
std::string StoreCall(std::string_view expr, const ColumnInfo& column, std::string_view owner,
                      std::string_view table) {
  const SqlType& type = column.type;
  std::optional<int> precision = type.kind == TypeKind::kFloat ? std::nullopt : type.precision;
  return fmt::format("vk_store({}, {}, {}, {}, {}, {}, {}, {}{})", expr, type.TypeCode(),
                     type.length, NullOr(precision), NullOr(type.scale), QuoteLiteral(owner),
                     QuoteLiteral(table), QuoteLiteral(column.name),
                     type.char_semantics ? ", 1" : "");
}

std::string ColumnNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ", ";
    out += QuoteIdentifier(name);
  }
  return out;
}

OraStatus CheckTablespace(EngineConnection& connection, const PhysicalAttributes& attributes) {
  if (!attributes.tablespace.has_value()) return {};
  VK_ASSIGN_OR_ORA_RETURN(bool exists,
                          connection.catalog().TablespaceExists(*attributes.tablespace));
  if (!exists) {
    return OraErr(959, fmt::format("tablespace '{}' does not exist", *attributes.tablespace));
  }
  return {};
}

// The SQLite DEFAULT of a column: SYSDATE stays a call; any other expression is evaluated now
// and kept as its stored value.
OraResult<std::optional<std::string>> DefaultExpression(EngineConnection& connection,
                                                        const CatalogColumn& column,
                                                        std::string_view table) {
  if (!column.default_text.has_value()) return std::optional<std::string>();
  std::string upper = UpperAscii(*column.default_text);
  upper.erase(
      std::remove_if(upper.begin(), upper.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }),
      upper.end());
  if (upper == "NULL") return std::optional<std::string>();
  if (upper == "SYSDATE") {
    return std::optional<std::string>(
        StoreCall("vk_sysdate()", column.info, connection.user(), table));
  }
  VK_ASSIGN_OR_ORA_RETURN(
      Translation translation,
      Translate("select " + *column.default_text + " from dual", connection.lookup()));
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(connection.db(),
                               "SELECT " + StoreCall("(" + translation.sql + ")", column.info,
                                                     connection.user(), table)));
  BindParameters(stmt.get(), translation.parameters);
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  if (!row || stmt.ColumnIsNull(0)) return std::optional<std::string>();
  return std::optional<std::string>(QuoteLiteral(stmt.ColumnText(0)));
}

std::string CreateTableSql(std::string_view physical, const std::vector<CatalogColumn>& columns) {
  std::string sql = fmt::format("CREATE TABLE {}(", physical);
  for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
    if (column_idx > 0) sql += ", ";
    sql += PhysicalColumnDeclaration(columns[column_idx]);
  }
  sql += ")";
  return sql;
}

std::string CreateIndexSql(const IndexInfo& index, std::string_view table_physical) {
  std::string columns;
  for (std::size_t column_idx = 0; column_idx < index.columns.size(); ++column_idx) {
    if (column_idx > 0) columns += ", ";
    columns += QuoteIdentifier(index.columns[column_idx]);
    if (column_idx < index.descending.size() && index.descending[column_idx]) columns += " DESC";
  }
  return fmt::format("CREATE {}INDEX {} ON {}({})", index.unique ? "UNIQUE " : "",
                     PhysicalName(ObjectType::kIndex, index.ref.object_id), table_physical,
                     columns);
}

bool HasColumn(const std::vector<CatalogColumn>& columns, std::string_view name) {
  return std::any_of(columns.begin(), columns.end(),
                     [&](const CatalogColumn& column) { return column.info.name == name; });
}

CatalogColumn* FindColumn(std::vector<CatalogColumn>& columns, std::string_view name) {
  for (CatalogColumn& column : columns) {
    if (column.info.name == name) return &column;
  }
  return nullptr;
}

bool IsNotNullFailure(const OraError& error) {
  return error.message.find("NOT NULL constraint failed") != std::string::npos;
}

// Makes the SQLite table of `table` again with `columns`; `sources[i]` is the SQLite
// expression over the old row for column i (nullopt: its default, or NULL). `not_null_error`
// replaces a NOT NULL failure of the copy.
OraStatus RebuildTable(EngineConnection& connection, const ObjectRef& table,
                       const std::vector<CatalogColumn>& columns,
                       const std::vector<std::optional<std::string>>& sources,
                       const std::vector<IndexInfo>& indexes, const OraError& not_null_error) {
  sqlite3* db = connection.db();
  std::string physical = PhysicalName(ObjectType::kTable, table.object_id);
  std::string fresh = fmt::format("\"t{}_new\"", table.object_id);
  // Views name the table by its SQLite name; the rename must leave them alone.
  VK_RETURN_IF_ORA_ERROR(ExecSql(db, "PRAGMA legacy_alter_table = ON"));
  OraStatus status = [&]() -> OraStatus {
    VK_RETURN_IF_ORA_ERROR(ExecSql(db, CreateTableSql(fresh, columns)));
    std::vector<std::string> names;
    std::string values;
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
      const CatalogColumn& column = columns[column_idx];
      names.push_back(column.info.name);
      if (!values.empty()) values += ", ";
      if (sources[column_idx].has_value()) {
        values += StoreCall(*sources[column_idx], column.info, table.owner, table.name);
      } else if (column.default_sqlite.has_value()) {
        values += "(" + *column.default_sqlite + ")";
      } else {
        values += "NULL";
      }
    }
    OraStatus copied = ExecSql(db, fmt::format("INSERT INTO {}({}) SELECT {} FROM {}", fresh,
                                               ColumnNames(names), values, physical));
    if (!copied.has_value()) {
      if (IsNotNullFailure(copied.error())) return OraErr(not_null_error);
      return copied;
    }
    VK_RETURN_IF_ORA_ERROR(ExecSql(db, "DROP TABLE " + physical));
    VK_RETURN_IF_ORA_ERROR(
        ExecSql(db, fmt::format("ALTER TABLE {} RENAME TO {}", fresh, physical)));
    for (const IndexInfo& index : indexes) {
      VK_RETURN_IF_ORA_ERROR(ExecSql(db, CreateIndexSql(index, physical)));
    }
    return {};
  }();
  (void)ExecSql(db, "PRAGMA legacy_alter_table = OFF");
  VK_RETURN_IF_ORA_ERROR(status);
  VK_RETURN_IF_ORA_ERROR(connection.catalog().SetColumns(table.object_id, columns));
  // Dropping the old SQLite table dropped the triggers of its constraints.
  VK_RETURN_IF_ORA_ERROR(RestoreConstraintTriggers(connection, table.object_id));
  return connection.catalog().TouchObject(table.object_id);
}

// The column list and keys of CREATE TABLE ( ... ).
struct TableBody {
  std::vector<ColumnDefinition> columns;
  std::vector<KeyConstraint> keys;
};

bool StartsKey(const DdlParser& parser) {
  return parser.Peek().IsKeyword("CONSTRAINT") || parser.Peek().IsKeyword("PRIMARY") ||
         parser.Peek().IsKeyword("UNIQUE") || parser.Peek().IsKeyword("CHECK") ||
         parser.Peek().IsKeyword("FOREIGN");
}

OraResult<KeyConstraint> ParseTableKey(DdlParser& parser) {
  std::optional<std::string> name;
  if (parser.Accept("CONSTRAINT")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string constraint,
                            parser.Name(Ora(2250, "missing or invalid constraint name")));
    name = std::move(constraint);
  }
  return parser.Key(std::move(name));
}

// Keys declared on columns, as table-level keys.
void CollectColumnKeys(const std::vector<ColumnDefinition>& columns,
                       std::vector<KeyConstraint>* keys) {
  for (const ColumnDefinition& column : columns) {
    for (const RuleConstraint& rule : column.rules) {
      KeyConstraint key;
      key.rule = rule;
      keys->push_back(std::move(key));
    }
    if (column.primary_key || column.unique) {
      KeyConstraint key;
      key.primary = column.primary_key;
      key.name = column.constraint_name;
      key.columns = {column.name};
      key.index_attributes = column.index_attributes;
      keys->push_back(std::move(key));
    }
  }
}

OraStatus AddKeys(EngineConnection& connection, const ObjectRef& table,
                  const std::vector<KeyConstraint>& keys) {
  for (const KeyConstraint& key : keys) {
    if (key.rule.has_value()) continue;
    IndexSpec index;
    index.name = key.name.value_or("");
    index.unique = true;
    index.constraint_type = key.primary ? "P" : "U";
    index.columns = key.columns;
    index.descending.assign(key.columns.size(), false);
    index.attributes = key.index_attributes;
    VK_RETURN_IF_ORA_ERROR(AddIndex(connection, table, index));
  }
  // After the keys: a foreign key may reference the table's own primary key.
  for (const KeyConstraint& key : keys) {
    if (key.rule.has_value())
      VK_RETURN_IF_ORA_ERROR(AddRuleConstraint(connection, table, *key.rule));
  }
  return {};
}

OraStatus CheckKeys(const std::vector<CatalogColumn>& columns,
                    const std::vector<KeyConstraint>& keys, bool has_primary) {
  for (const KeyConstraint& key : keys) {
    if (key.rule.has_value()) continue;
    if (key.primary) {
      if (has_primary) return OraErr(2260, "table can have only one primary key");
      has_primary = true;
    }
    for (const std::string& name : key.columns) {
      if (!HasColumn(columns, name)) return OraErr(InvalidIdentifier(name));
    }
  }
  return {};
}

OraResult<TableBody> ParseTableBody(DdlParser& parser) {
  TableBody body;
  VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol("("));
  std::set<std::string> names;
  do {
    if (StartsKey(parser)) {
      VK_ASSIGN_OR_ORA_RETURN(KeyConstraint key, ParseTableKey(parser));
      body.keys.push_back(std::move(key));
      continue;
    }
    VK_ASSIGN_OR_ORA_RETURN(ColumnDefinition column, parser.Column(false));
    if (!names.insert(column.name).second) return OraErr(957, "duplicate column name");
    body.columns.push_back(std::move(column));
  } while (parser.AcceptSymbol(","));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol(")"));
  if (body.columns.empty()) return OraErr(904, ": invalid identifier");
  return body;
}

// "( name, name ) AS": the column list of CREATE TABLE ... AS SELECT.
bool IsNameListBeforeAs(const DdlParser& parser) {
  if (!parser.Peek().IsSymbol("(")) return false;
  std::size_t ahead = 1;
  while (true) {
    if (!parser.Peek(ahead).IsName()) return false;
    if (parser.Peek(ahead + 1).IsSymbol(",")) {
      ahead += 2;
      continue;
    }
    return parser.Peek(ahead + 1).IsSymbol(")") && parser.Peek(ahead + 2).IsKeyword("AS");
  }
}

CatalogColumn ToCatalogColumn(const ColumnDefinition& definition) {
  CatalogColumn column;
  column.info.name = definition.name;
  column.info.type = definition.type.value_or(SqlType{});
  column.info.nullable = definition.nullable.value_or(true) && !definition.primary_key;
  column.default_text = definition.default_text;
  return column;
}

OraStatus CreateAsSelect(EngineConnection& connection, const std::string& name,
                         const std::vector<std::string>& names, const std::string& query,
                         const PhysicalAttributes& attributes) {
  VK_ASSIGN_OR_ORA_RETURN(Translation translation, Translate(query, connection.lookup()));
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns,
                          ColumnsOfQuery(translation, names, /*refuse_zero_length=*/true));
  VK_ASSIGN_OR_ORA_RETURN(std::int64_t id, connection.catalog().AddObject(
                                               connection.user(), name, ObjectType::kTable, false));
  PhysicalAttributes stored = attributes;
  if (!stored.tablespace.has_value()) {
    VK_ASSIGN_OR_ORA_RETURN(stored.tablespace,
                            connection.catalog().DefaultTablespace(connection.user()));
  }
  VK_RETURN_IF_ORA_ERROR(connection.catalog().AddTable(id, stored));
  VK_RETURN_IF_ORA_ERROR(connection.catalog().SetColumns(id, columns));
  std::string physical = PhysicalName(ObjectType::kTable, id);
  VK_RETURN_IF_ORA_ERROR(ExecSql(connection.db(), CreateTableSql(physical, columns)));
  std::string source_columns, targets, values;
  for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
    std::string source = fmt::format("c{}", column_idx + 1);
    if (column_idx > 0) {
      source_columns += ", ";
      targets += ", ";
      values += ", ";
    }
    source_columns += source;
    targets += QuoteIdentifier(columns[column_idx].info.name);
    values += StoreCall(source, columns[column_idx].info, connection.user(), name);
  }
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement insert,
      SqliteStatement::Prepare(
          connection.db(),
          fmt::format("WITH vk_src({}) AS ({}) INSERT INTO {}({}) SELECT {} "
                      "FROM vk_src",
                      source_columns, translation.sql, physical, targets, values)));
  BindParameters(insert.get(), translation.parameters);
  OraStatus inserted = insert.Run();
  if (!inserted.has_value()) return OraErr(connection.MapWriteError(inserted.error(), false));
  return {};
}

OraResult<std::int64_t> CountRows(sqlite3* db, const std::string& sql) {
  VK_ASSIGN_OR_ORA_RETURN(SqliteStatement stmt, SqliteStatement::Prepare(db, sql));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  return row ? stmt.ColumnInt(0) : 0;
}

}  // namespace ddl_tables_internal

using namespace ddl_tables_internal;

OraResult<std::vector<CatalogColumn>> ColumnsOfQuery(const Translation& translation,
                                                     const std::vector<std::string>& names,
                                                     bool refuse_zero_length) {
  if (translation.function_type != db::kFunctionSelect) {
    return OraErr(928, "missing SELECT keyword");
  }
  if (!names.empty() && names.size() != translation.columns.size()) {
    return OraErr(1730, "invalid number of column names specified");
  }
  std::vector<CatalogColumn> columns;
  std::set<std::string> seen;
  for (std::size_t column_idx = 0; column_idx < translation.columns.size(); ++column_idx) {
    CatalogColumn column;
    column.info.name = names.empty() ? translation.columns[column_idx].name : names[column_idx];
    if (names.empty() && !IsValidColumnName(column.info.name)) {
      return OraErr(998, "must name this expression with a column alias");
    }
    if (!seen.insert(column.info.name).second) return OraErr(957, "duplicate column name");
    column.info.type = translation.column_types[column_idx];
    if (refuse_zero_length &&
        (column.info.type.kind == TypeKind::kVarchar2 ||
         column.info.type.kind == TypeKind::kChar) &&
        column.info.type.length <= 0) {
      return OraErr(1723, "zero-length columns are not allowed");
    }
    column.info.nullable = translation.columns[column_idx].nulls_allowed != 0;
    columns.push_back(std::move(column));
  }
  return columns;
}

bool IsValidColumnName(std::string_view name) {
  if (name.empty() || name.size() > 30) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) {
                       return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                              (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#' ||
                              static_cast<unsigned char>(c) >= 0x80 || c == ' ';
                     }) &&
         !(name[0] >= '0' && name[0] <= '9');
}

OraResult<std::uint16_t> CreateTable(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  TableBody body;
  std::vector<std::string> select_names;
  bool as_select = false;
  if (IsNameListBeforeAs(parser)) {
    VK_ASSIGN_OR_ORA_RETURN(select_names, parser.NameList(ColumnNameError()));
  } else if (parser.Peek().IsSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(body, ParseTableBody(parser));
  } else if (!parser.Peek().IsKeyword("AS") && !parser.Peek().IsKeyword("TABLESPACE") &&
             !parser.Peek().IsKeyword("STORAGE")) {
    if (parser.AtEnd()) return OraErr(906, "missing left parenthesis");
    return OraErr(906, "missing left parenthesis");
  }
  PhysicalAttributes attributes;
  VK_RETURN_IF_ORA_ERROR(parser.Physical(&attributes));
  std::string query;
  if (parser.Accept("AS")) {
    as_select = true;
    query = std::string(parser.TextFrom(parser.position()));
    if (!body.columns.empty())
      return OraErr(1773, "may not specify column datatypes in this CREATE TABLE");
  } else {
    VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
    if (body.columns.empty()) return OraErr(906, "missing left parenthesis");
  }
  CollectColumnKeys(body.columns, &body.keys);
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto existing,
                            connection.catalog().FindObject(connection.user(), name));
    if (existing.has_value()) return OraErr(NameInUse());
    VK_RETURN_IF_ORA_ERROR(CheckTablespace(connection, attributes));
    for (const KeyConstraint& key : body.keys) {
      VK_RETURN_IF_ORA_ERROR(CheckTablespace(connection, key.index_attributes));
    }
    if (as_select) return CreateAsSelect(connection, name, select_names, query, attributes);
    std::vector<CatalogColumn> columns;
    for (const ColumnDefinition& definition : body.columns) {
      columns.push_back(ToCatalogColumn(definition));
    }
    VK_RETURN_IF_ORA_ERROR(CheckKeys(columns, body.keys, false));
    for (const KeyConstraint& key : body.keys) {
      if (!key.primary) continue;
      for (const std::string& column : key.columns)
        FindColumn(columns, column)->info.nullable = false;
    }
    for (CatalogColumn& column : columns) {
      VK_ASSIGN_OR_ORA_RETURN(column.default_sqlite, DefaultExpression(connection, column, name));
    }
    VK_ASSIGN_OR_ORA_RETURN(
        std::int64_t id,
        connection.catalog().AddObject(connection.user(), name, ObjectType::kTable, false));
    PhysicalAttributes stored = attributes;
    if (!stored.tablespace.has_value()) {
      VK_ASSIGN_OR_ORA_RETURN(stored.tablespace,
                              connection.catalog().DefaultTablespace(connection.user()));
    }
    VK_RETURN_IF_ORA_ERROR(connection.catalog().AddTable(id, stored));
    VK_RETURN_IF_ORA_ERROR(connection.catalog().SetColumns(id, columns));
    VK_RETURN_IF_ORA_ERROR(
        ExecSql(connection.db(), CreateTableSql(PhysicalName(ObjectType::kTable, id), columns)));
    ObjectRef ref{id, connection.user(), name, ObjectType::kTable};
    return AddKeys(connection, ref, body.keys);
  }));
  return kCreateTable;
}

OraResult<std::uint16_t> DropTable(EngineConnection& connection, DdlParser& parser) {
  if (parser.AtEnd()) return OraErr(InvalidTableName());
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  bool cascade = parser.Accept("CASCADE");
  if (cascade) VK_RETURN_IF_ORA_ERROR(parser.Expect("CONSTRAINTS"));
  parser.Accept("PURGE");
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto table, connection.catalog().FindObject(connection.user(), name));
    if (!table.has_value() || table->type != ObjectType::kTable) return OraErr(TableDoesNotExist());
    VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> indexes,
                            connection.catalog().IndexesOf(table->object_id));
    VK_RETURN_IF_ORA_ERROR(DropTableConstraints(connection, *table, cascade));
    for (const IndexInfo& index : indexes) {
      VK_RETURN_IF_ORA_ERROR(connection.catalog().RemoveObject(index.ref.object_id));
    }
    VK_RETURN_IF_ORA_ERROR(DropObjectStorage(connection, *table));
    return connection.catalog().RemoveObject(table->object_id);
  }));
  return kDropTable;
}

OraStatus AddIndex(EngineConnection& connection, const ObjectRef& table, const IndexSpec& spec) {
  Catalog& catalog = connection.catalog();
  VK_RETURN_IF_ORA_ERROR(CheckTablespace(connection, spec.attributes));
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns, catalog.Columns(table.object_id));
  for (const std::string& column : spec.columns) {
    if (!HasColumn(columns, column)) return OraErr(InvalidIdentifier(column));
  }
  std::set<std::string> distinct(spec.columns.begin(), spec.columns.end());
  if (distinct.size() != spec.columns.size()) return OraErr(957, "duplicate column name");
  VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> indexes, catalog.IndexesOf(table.object_id));
  for (const IndexInfo& index : indexes) {
    if (index.columns != spec.columns) continue;
    if (spec.constraint_type.empty()) return OraErr(1408, "such column list already indexed");
    if (index.constraint_type.empty() && index.unique) {
      // A key over an indexed column list uses that index, as Oracle does.
      return ExecSql(connection.db(),
                     fmt::format("UPDATE vk_indexes SET constraint_type = {} WHERE object_id = {}",
                                 QuoteLiteral(spec.constraint_type), index.ref.object_id));
    }
    return OraErr(2261, "such unique or primary key already exists in the table");
  }
  std::string name = spec.name;
  bool generated = name.empty();
  if (generated) {
    VK_ASSIGN_OR_ORA_RETURN(name, catalog.NextConstraintName());
  }
  VK_ASSIGN_OR_ORA_RETURN(auto existing, catalog.FindObject(table.owner, name, true));
  if (existing.has_value()) return OraErr(NameInUse());
  IndexInfo index;
  VK_ASSIGN_OR_ORA_RETURN(index.ref.object_id,
                          catalog.AddObject(table.owner, name, ObjectType::kIndex, generated));
  index.ref.owner = table.owner;
  index.ref.name = name;
  index.ref.type = ObjectType::kIndex;
  index.table_object_id = table.object_id;
  index.unique = spec.unique;
  index.constraint_type = spec.constraint_type;
  index.columns = spec.columns;
  index.descending = spec.descending;
  PhysicalAttributes attributes = spec.attributes;
  if (!attributes.tablespace.has_value()) {
    VK_ASSIGN_OR_ORA_RETURN(attributes.tablespace, catalog.DefaultTablespace(table.owner));
  }
  VK_RETURN_IF_ORA_ERROR(catalog.AddIndex(index, attributes));
  OraStatus made = ExecSql(
      connection.db(), CreateIndexSql(index, PhysicalName(ObjectType::kTable, table.object_id)));
  if (!made.has_value()) {
    if (made.error().message.find("UNIQUE constraint failed") != std::string::npos) {
      if (spec.constraint_type == "P") {
        return OraErr(
            2437, fmt::format("cannot validate ({}.{}) - primary key violated", table.owner, name));
      }
      if (spec.constraint_type == "U") {
        return OraErr(
            2299, fmt::format("cannot validate ({}.{}) - duplicate keys found", table.owner, name));
      }
      return OraErr(1452, "cannot CREATE UNIQUE INDEX; duplicate keys found");
    }
    return made;
  }
  return {};
}

OraResult<std::optional<IndexInfo>> FindIndex(EngineConnection& connection, std::int64_t index_id) {
  VK_ASSIGN_OR_ORA_RETURN(
      std::int64_t table_id,
      CountRows(connection.db(), fmt::format("SELECT table_object_id FROM vk_indexes WHERE "
                                             "object_id = {}",
                                             index_id)));
  VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> indexes, connection.catalog().IndexesOf(table_id));
  for (IndexInfo& index : indexes) {
    if (index.ref.object_id == index_id) return std::optional<IndexInfo>(std::move(index));
  }
  return std::optional<IndexInfo>();
}

OraStatus DropObjectStorage(EngineConnection& connection, const ObjectRef& object) {
  if (object.type == ObjectType::kTable) {
    VK_RETURN_IF_ORA_ERROR(DropTableConstraints(connection, object, /*cascade=*/true));
    return ExecSql(connection.db(),
                   "DROP TABLE IF EXISTS " + PhysicalName(ObjectType::kTable, object.object_id));
  }
  if (object.type == ObjectType::kView) {
    return ExecSql(connection.db(),
                   "DROP VIEW IF EXISTS " + PhysicalName(ObjectType::kView, object.object_id));
  }
  if (object.type == ObjectType::kSequence)
    connection.sequences().Forget(object.owner, object.name);
  return {};
}

OraStatus RenameObject(EngineConnection& connection, std::string_view from, std::string_view to) {
  VK_ASSIGN_OR_ORA_RETURN(auto object, connection.catalog().FindObject(connection.user(), from));
  if (!object.has_value()) return OraErr(4043, fmt::format("object {} does not exist", from));
  VK_ASSIGN_OR_ORA_RETURN(auto clash, connection.catalog().FindObject(connection.user(), to));
  if (clash.has_value()) return OraErr(NameInUse());
  if (object->type == ObjectType::kSequence) connection.sequences().Forget(object->owner, from);
  return connection.catalog().RenameObject(object->object_id, to);
}

OraStatus AnalyzeTable(EngineConnection& connection, const ObjectRef& table, bool delete_only) {
  if (delete_only) return connection.catalog().ClearTableStatistics(table.object_id);
  VK_ASSIGN_OR_ORA_RETURN(std::vector<CatalogColumn> columns,
                          connection.catalog().Columns(table.object_id));
  // Oracle's row length: a 3-byte row header, and per column one length byte plus the data.
  std::string row_length = "3";
  for (const CatalogColumn& column : columns) {
    row_length += fmt::format(" + 1 + coalesce(length(CAST({} AS BLOB)), 0)",
                              QuoteIdentifier(column.info.name));
  }
  VK_ASSIGN_OR_ORA_RETURN(
      SqliteStatement stmt,
      SqliteStatement::Prepare(
          connection.db(), fmt::format("SELECT count(*), coalesce(sum({}), 0) FROM {}", row_length,
                                       PhysicalName(ObjectType::kTable, table.object_id))));
  VK_ASSIGN_OR_ORA_RETURN(bool row, stmt.Step());
  std::int64_t num_rows = row ? stmt.ColumnInt(0) : 0;
  std::int64_t total = row ? stmt.ColumnInt(1) : 0;
  std::int64_t avg_row_len = num_rows > 0 ? (total + num_rows / 2) / num_rows : 0;
  std::int64_t blocks = num_rows > 0 ? (total + 7199) / 7200 : 0;
  VK_RETURN_IF_ORA_ERROR(
      connection.catalog().SetTableStatistics(table.object_id, num_rows, avg_row_len, blocks));
  VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> indexes,
                          connection.catalog().IndexesOf(table.object_id));
  for (const IndexInfo& index : indexes) {
    VK_RETURN_IF_ORA_ERROR(AnalyzeIndex(connection, index.ref.object_id, false));
  }
  return {};
}

OraStatus AnalyzeIndex(EngineConnection& connection, std::int64_t index_id, bool delete_only) {
  VK_ASSIGN_OR_ORA_RETURN(std::optional<IndexInfo> index, FindIndex(connection, index_id));
  if (!index.has_value()) return OraErr(1418, "specified index does not exist");
  if (delete_only) {
    return ExecSql(connection.db(),
                   fmt::format("UPDATE vk_indexes SET num_rows = NULL, distinct_keys = NULL, "
                               "last_analyzed = NULL WHERE object_id = {}",
                               index_id));
  }
  std::string columns = ColumnNames(index->columns);
  std::string any_set;
  for (const std::string& column : index->columns) {
    if (!any_set.empty()) any_set += " OR ";
    any_set += QuoteIdentifier(column) + " IS NOT NULL";
  }
  std::string physical = PhysicalName(ObjectType::kTable, index->table_object_id);
  VK_ASSIGN_OR_ORA_RETURN(std::int64_t num_rows,
                          CountRows(connection.db(), fmt::format("SELECT count(*) FROM {} WHERE {}",
                                                                 physical, any_set)));
  VK_ASSIGN_OR_ORA_RETURN(
      std::int64_t distinct_keys,
      CountRows(connection.db(), fmt::format("SELECT count(*) FROM (SELECT DISTINCT {} FROM {} "
                                             "WHERE {})",
                                             columns, physical, any_set)));
  return connection.catalog().SetIndexStatistics(index_id, num_rows, distinct_keys);
}

}  // namespace volmek::engine
