// ALTER TABLE: add, modify, drop and rename columns and keys, and physical clauses alone.
#include "engine/runtime/ddl_tables.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "engine/runtime/connection.h"
#include "engine/runtime/constraints.h"
#include "engine/runtime/ddl_tables_internal.h"
#include "engine/syntax/ddl_parser.h"

namespace volmek::engine {

using namespace ddl_tables_internal;

namespace {

// The table an ALTER TABLE changes, with its columns and indexes as they are now.
struct AlteredTable {
  std::optional<ObjectRef> table;  // always set
  std::vector<CatalogColumn> columns;
  std::vector<IndexInfo> indexes;
};

// ORA-00942 when `name` is not a table of the connected user.
OraResult<AlteredTable> LoadAlteredTable(EngineConnection& connection, const std::string& name) {
  AlteredTable altered;
  VK_ASSIGN_OR_ORA_RETURN(altered.table, connection.catalog().FindObject(connection.user(), name));
  if (!altered.table.has_value() || altered.table->type != ObjectType::kTable) {
    return OraErr(TableDoesNotExist());
  }
  VK_ASSIGN_OR_ORA_RETURN(altered.columns, connection.catalog().Columns(altered.table->object_id));
  VK_ASSIGN_OR_ORA_RETURN(altered.indexes,
                          connection.catalog().IndexesOf(altered.table->object_id));
  return altered;
}

std::vector<std::optional<std::string>> SameColumns(const std::vector<CatalogColumn>& columns) {
  std::vector<std::optional<std::string>> sources;
  for (const CatalogColumn& column : columns)
    sources.emplace_back(QuoteIdentifier(column.info.name));
  return sources;
}

// The checks Oracle makes before it changes a column that holds values.
OraStatus CheckModify(EngineConnection& connection, const ObjectRef& table,
                      const CatalogColumn& before, const SqlType& after) {
  std::string physical = PhysicalName(ObjectType::kTable, table.object_id);
  std::string column = QuoteIdentifier(before.info.name);
  VK_ASSIGN_OR_ORA_RETURN(std::int64_t values,
                          CountRows(connection.db(), fmt::format("SELECT count(*) FROM {} WHERE {} "
                                                                 "IS NOT NULL",
                                                                 physical, column)));
  if (values == 0) return {};
  const SqlType& was = before.info.type;
  bool both_text = (was.kind == TypeKind::kChar || was.kind == TypeKind::kVarchar2) &&
                   (after.kind == TypeKind::kChar || after.kind == TypeKind::kVarchar2);
  bool both_number = (was.kind == TypeKind::kNumber || was.kind == TypeKind::kFloat) &&
                     (after.kind == TypeKind::kNumber || after.kind == TypeKind::kFloat);
  if (was.kind != after.kind && !both_text && !both_number) {
    return OraErr(1439, "column to be modified must be empty to change datatype");
  }
  if (both_text && (after.length < was.length || after.char_semantics != was.char_semantics)) {
    // The connection's length() counts characters, lengthb() bytes.
    VK_ASSIGN_OR_ORA_RETURN(
        std::int64_t too_long,
        CountRows(connection.db(),
                  fmt::format("SELECT count(*) FROM {} WHERE {}(rtrim({})) > {}", physical,
                              after.char_semantics ? "length" : "lengthb", column, after.length)));
    if (too_long > 0) {
      return OraErr(1441, "cannot decrease column length because some value is too big");
    }
  }
  if (both_number) {
    int was_precision = was.precision.value_or(38);
    int new_precision = after.precision.value_or(38);
    int was_scale = was.scale.value_or(0);
    int new_scale = after.scale.value_or(was.scale.has_value() ? 0 : 0);
    bool unconstrained_after = !after.precision.has_value() && !after.scale.has_value();
    if (!unconstrained_after &&
        (new_precision < was_precision || (after.scale.has_value() && new_scale < was_scale) ||
         (!was.precision.has_value() && !was.scale.has_value()))) {
      return OraErr(1440, "column to be modified must be empty to decrease precision or scale");
    }
  }
  return {};
}

OraResult<std::uint16_t> AlterAdd(EngineConnection& connection, DdlParser& parser,
                                  const std::string& name) {
  std::vector<ColumnDefinition> added;
  std::vector<KeyConstraint> keys;
  bool parenthesized = parser.AcceptSymbol("(");
  do {
    if (StartsKey(parser)) {
      VK_ASSIGN_OR_ORA_RETURN(KeyConstraint key, ParseTableKey(parser));
      keys.push_back(std::move(key));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(ColumnDefinition column, parser.Column(false));
      added.push_back(std::move(column));
    }
  } while (parenthesized && parser.AcceptSymbol(","));
  if (parenthesized) VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol(")"));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  CollectColumnKeys(added, &keys);
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(AlteredTable altered, LoadAlteredTable(connection, name));
    auto& [table, columns, indexes] = altered;
    std::vector<std::optional<std::string>> sources = SameColumns(columns);
    for (const ColumnDefinition& definition : added) {
      if (HasColumn(columns, definition.name)) {
        return OraErr(1430, "column being added already exists in table");
      }
      CatalogColumn column = ToCatalogColumn(definition);
      VK_ASSIGN_OR_ORA_RETURN(column.default_sqlite,
                              DefaultExpression(connection, column, table->name));
      columns.push_back(std::move(column));
      sources.emplace_back();
    }
    bool has_primary = std::any_of(indexes.begin(), indexes.end(), [](const IndexInfo& index) {
      return index.constraint_type == "P";
    });
    VK_RETURN_IF_ORA_ERROR(CheckKeys(columns, keys, has_primary));
    bool tightened = false;
    for (const KeyConstraint& key : keys) {
      if (!key.primary) continue;
      for (const std::string& column_name : key.columns) {
        CatalogColumn* column = FindColumn(columns, column_name);
        if (column->info.nullable) {
          column->info.nullable = false;
          tightened = true;
        }
      }
    }
    if (!added.empty() || tightened) {
      OraError not_null = !added.empty()
                              ? Ora(1758, "table must be empty to add mandatory (NOT NULL) column")
                              : Ora(1449, "column contains NULL values; cannot alter to NOT NULL");
      VK_RETURN_IF_ORA_ERROR(RebuildTable(connection, *table, columns, sources, indexes, not_null));
    }
    return AddKeys(connection, *table, keys);
  }));
  return kAlterTable;
}

OraResult<std::uint16_t> AlterModify(EngineConnection& connection, DdlParser& parser,
                                     const std::string& name) {
  std::vector<ColumnDefinition> changes;
  bool parenthesized = parser.AcceptSymbol("(");
  do {
    VK_ASSIGN_OR_ORA_RETURN(ColumnDefinition column, parser.Column(true));
    changes.push_back(std::move(column));
  } while (parenthesized && parser.AcceptSymbol(","));
  if (parenthesized) VK_RETURN_IF_ORA_ERROR(parser.ExpectSymbol(")"));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(AlteredTable altered, LoadAlteredTable(connection, name));
    auto& [table, columns, indexes] = altered;
    for (const ColumnDefinition& change : changes) {
      CatalogColumn* column = FindColumn(columns, change.name);
      if (column == nullptr) return OraErr(InvalidIdentifier(change.name));
      if (change.type.has_value()) {
        VK_RETURN_IF_ORA_ERROR(CheckModify(connection, *table, *column, *change.type));
        column->info.type = *change.type;
      }
      if (change.nullable.has_value()) {
        if (*change.nullable == column->info.nullable) {
          return OraErr(*change.nullable
                            ? Ora(1451, "column to be modified to NULL cannot be modified to NULL")
                            : Ora(1442, "column to be modified to NOT NULL is already NOT NULL"));
        }
        column->info.nullable = *change.nullable;
      }
      if (change.default_text.has_value()) {
        column->default_text = change.default_text;
        VK_ASSIGN_OR_ORA_RETURN(column->default_sqlite,
                                DefaultExpression(connection, *column, table->name));
      }
    }
    OraError not_null =
        Ora(2296, fmt::format("cannot enable ({}.) - null values found", connection.user()));
    return RebuildTable(connection, *table, columns, SameColumns(columns), indexes, not_null);
  }));
  return kAlterTable;
}

OraResult<std::uint16_t> AlterDrop(EngineConnection& connection, DdlParser& parser,
                                   const std::string& name) {
  std::vector<std::string> dropped_columns;
  bool drop_primary = false;
  std::optional<std::string> drop_constraint;
  if (parser.Accept("COLUMN")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string column, parser.Name(ColumnNameError()));
    dropped_columns.push_back(std::move(column));
  } else if (parser.Peek().IsSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(dropped_columns, parser.NameList(ColumnNameError()));
  } else if (parser.Accept("PRIMARY")) {
    VK_RETURN_IF_ORA_ERROR(parser.Expect("KEY"));
    drop_primary = true;
  } else if (parser.Accept("CONSTRAINT")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string constraint,
                            parser.Name(Ora(2250, "missing or invalid constraint name")));
    drop_constraint = std::move(constraint);
  } else {
    return OraErr(905, "missing keyword");
  }
  parser.Accept("CASCADE");
  parser.Accept("CONSTRAINTS");
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(AlteredTable altered, LoadAlteredTable(connection, name));
    auto& [table, columns, indexes] = altered;
    if (drop_primary || drop_constraint.has_value()) {
      auto it = std::find_if(indexes.begin(), indexes.end(), [&](const IndexInfo& index) {
        return drop_primary
                   ? index.constraint_type == "P"
                   : (!index.constraint_type.empty() && index.ref.name == *drop_constraint);
      });
      if (it == indexes.end()) {
        if (drop_primary) return OraErr(2441, "Cannot drop nonexistent primary key");
        VK_ASSIGN_OR_ORA_RETURN(bool dropped,
                                DropRuleConstraint(connection, *table, *drop_constraint));
        if (dropped) return connection.catalog().TouchObject(table->object_id);
        return OraErr(2443, "Cannot drop constraint  - nonexistent constraint");
      }
      VK_ASSIGN_OR_ORA_RETURN(
          std::int64_t referencing,
          CountRows(connection.db(),
                    fmt::format("SELECT count(*) FROM vk_constraints WHERE r_table_object_id = "
                                "{} AND r_constraint_name = {}",
                                table->object_id, QuoteLiteral(it->ref.name))));
      if (referencing > 0) {
        return OraErr(2273, "this unique/primary key is referenced by some foreign keys");
      }
      VK_RETURN_IF_ORA_ERROR(ExecSql(
          connection.db(), "DROP INDEX " + PhysicalName(ObjectType::kIndex, it->ref.object_id)));
      return connection.catalog().RemoveObject(it->ref.object_id);
    }
    for (const std::string& column : dropped_columns) {
      if (!HasColumn(columns, column)) return OraErr(InvalidIdentifier(column));
      VK_RETURN_IF_ORA_ERROR(CheckColumnUnconstrained(
          connection, *table, column,
          Ora(12991, "column is referenced in a multi-column constraint")));
    }
    if (dropped_columns.size() >= columns.size()) {
      return OraErr(12983, "cannot drop all columns in a table");
    }
    std::vector<CatalogColumn> kept;
    for (CatalogColumn& column : columns) {
      if (std::find(dropped_columns.begin(), dropped_columns.end(), column.info.name) ==
          dropped_columns.end()) {
        kept.push_back(std::move(column));
      }
    }
    std::vector<IndexInfo> kept_indexes;
    for (IndexInfo& index : indexes) {
      bool uses =
          std::any_of(index.columns.begin(), index.columns.end(), [&](const std::string& c) {
            return std::find(dropped_columns.begin(), dropped_columns.end(), c) !=
                   dropped_columns.end();
          });
      if (uses) {
        VK_RETURN_IF_ORA_ERROR(connection.catalog().RemoveObject(index.ref.object_id));
      } else {
        kept_indexes.push_back(std::move(index));
      }
    }
    return RebuildTable(connection, *table, kept, SameColumns(kept), kept_indexes,
                        Ora(1400, "cannot insert NULL"));
  }));
  return kAlterTable;
}

OraResult<std::uint16_t> AlterRename(EngineConnection& connection, DdlParser& parser,
                                     const std::string& name) {
  if (parser.Accept("TO")) {
    VK_ASSIGN_OR_ORA_RETURN(std::string to, parser.Name(InvalidTableName()));
    VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
    VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
      VK_ASSIGN_OR_ORA_RETURN(auto table, connection.catalog().FindObject(connection.user(), name));
      if (!table.has_value() || table->type != ObjectType::kTable)
        return OraErr(TableDoesNotExist());
      return RenameObject(connection, name, to);
    }));
    return kAlterTable;
  }
  VK_RETURN_IF_ORA_ERROR(parser.Expect("COLUMN"));
  VK_ASSIGN_OR_ORA_RETURN(std::string from, parser.Name(ColumnNameError()));
  VK_RETURN_IF_ORA_ERROR(parser.Expect("TO"));
  VK_ASSIGN_OR_ORA_RETURN(std::string to, parser.Name(ColumnNameError()));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(AlteredTable altered, LoadAlteredTable(connection, name));
    auto& [table, columns, indexes] = altered;
    CatalogColumn* column = FindColumn(columns, from);
    if (column == nullptr) return OraErr(InvalidIdentifier(from));
    // A CHECK condition keeps the name as written: renaming under it is not done.
    VK_RETURN_IF_ORA_ERROR(
        CheckColumnUnconstrained(connection, *table, from, Ora(3001, "unimplemented feature")));
    if (HasColumn(columns, to)) return OraErr(957, "duplicate column name");
    std::vector<std::optional<std::string>> sources = SameColumns(columns);
    column->info.name = to;
    for (IndexInfo& index : indexes) {
      std::replace(index.columns.begin(), index.columns.end(), from, to);
    }
    VK_RETURN_IF_ORA_ERROR(ExecSql(
        connection.db(), fmt::format("UPDATE vk_ind_columns SET column_name = {} WHERE "
                                     "column_name = {} AND index_object_id IN (SELECT object_id "
                                     "FROM vk_indexes WHERE table_object_id = {})",
                                     QuoteLiteral(to), QuoteLiteral(from), table->object_id)));
    VK_RETURN_IF_ORA_ERROR(connection.catalog().RenameCommentColumn(table->object_id, from, to));
    return RebuildTable(connection, *table, columns, sources, indexes,
                        Ora(1400, "cannot insert NULL"));
  }));
  return kAlterTable;
}

// ENABLE | DISABLE [VALIDATE | NOVALIDATE] CONSTRAINT name
OraResult<std::uint16_t> AlterEnable(EngineConnection& connection, DdlParser& parser,
                                     const std::string& name) {
  bool enable = parser.Accept("ENABLE");
  if (!enable) VK_RETURN_IF_ORA_ERROR(parser.Expect("DISABLE"));
  if (!parser.Accept("VALIDATE")) parser.Accept("NOVALIDATE");
  VK_RETURN_IF_ORA_ERROR(parser.Expect("CONSTRAINT"));
  VK_ASSIGN_OR_ORA_RETURN(std::string constraint,
                          parser.Name(Ora(2250, "missing or invalid constraint name")));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto table, connection.catalog().FindObject(connection.user(), name));
    if (!table.has_value() || table->type != ObjectType::kTable) return OraErr(TableDoesNotExist());
    VK_ASSIGN_OR_ORA_RETURN(bool found,
                            SetRuleConstraintEnabled(connection, *table, constraint, enable));
    if (found) return connection.catalog().TouchObject(table->object_id);
    VK_ASSIGN_OR_ORA_RETURN(std::vector<IndexInfo> indexes,
                            connection.catalog().IndexesOf(table->object_id));
    for (const IndexInfo& index : indexes) {
      // A primary or unique key is its index here: it is always enabled.
      if (!index.constraint_type.empty() && index.ref.name == constraint) {
        return OraErr(3001, "unimplemented feature");
      }
    }
    return OraErr(enable ? 2430 : 2431,
                  fmt::format("cannot {} constraint ({}) - no such constraint",
                              enable ? "enable" : "disable", constraint));
  }));
  return kAlterTable;
}

}  // namespace

OraResult<std::uint16_t> AlterTable(EngineConnection& connection, DdlParser& parser) {
  VK_ASSIGN_OR_ORA_RETURN(std::string name,
                          parser.ObjectName(InvalidTableName(), connection.user()));
  if (parser.Accept("ADD")) return AlterAdd(connection, parser, name);
  if (parser.Accept("MODIFY")) return AlterModify(connection, parser, name);
  if (parser.Accept("DROP")) return AlterDrop(connection, parser, name);
  if (parser.Accept("RENAME")) return AlterRename(connection, parser, name);
  if (parser.Peek().IsKeyword("ENABLE") || parser.Peek().IsKeyword("DISABLE")) {
    return AlterEnable(connection, parser, name);
  }
  PhysicalAttributes attributes;
  parser.Accept("MOVE");
  VK_RETURN_IF_ORA_ERROR(parser.Physical(&attributes));
  VK_RETURN_IF_ORA_ERROR(parser.ExpectEnd());
  VK_RETURN_IF_ORA_ERROR(connection.RunDdl([&]() -> OraStatus {
    VK_ASSIGN_OR_ORA_RETURN(auto table, connection.catalog().FindObject(connection.user(), name));
    if (!table.has_value() || table->type != ObjectType::kTable) return OraErr(TableDoesNotExist());
    VK_RETURN_IF_ORA_ERROR(CheckTablespace(connection, attributes));
    return connection.catalog().SetTableAttributes(table->object_id, attributes);
  }));
  return kAlterTable;
}

}  // namespace volmek::engine
