// Emitter: INSERT, UPDATE and DELETE.
#include "engine/translate/emitter_internal.h"

#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

std::string Emitter::StoreSql(const std::string& value, const ColumnInfo& column,
                              const Source& target) {
  const SqlType& type = column.type;
  std::string sql = "vk_store(" + value + ", " + std::to_string(type.TypeCode()) + ", " +
                    std::to_string(type.length) + ", ";
  sql += type.kind == TypeKind::kFloat || !type.precision.has_value()
             ? std::string("NULL")
             : std::to_string(*type.precision);
  sql += ", ";
  sql += type.kind == TypeKind::kFloat || !type.scale.has_value() ? std::string("NULL")
                                                                  : std::to_string(*type.scale);
  sql += ", " + QuoteString(target.owner) + ", " + QuoteString(target.table) + ", " +
         QuoteString(column.name) + (type.char_semantics ? ", 1)" : ")");
  return sql;
}

OraResult<Source> Emitter::Target(const ast::TableName& name, Translation* translation,
                                  bool views) {
  VK_ASSIGN_OR_ORA_RETURN(TableInfo table, LookUp(name.owner, name.name));
  // DUAL belongs to the database, not to the user: its one row is what every SELECT ... FROM
  // DUAL counts on.
  if (table.owner == "SYS" && !table.is_view) return OraErr(1031, "insufficient privileges");
  if (table.is_view && views) return ViewTarget(std::move(table), name, translation);
  if (table.is_view) return OraErr(1732, "data manipulation operation not legal on this view");
  Source source = TableSource(std::move(table), name.alias);
  translation->target_owner = source.owner;
  translation->target_table = source.table;
  return source;
}

OraResult<std::size_t> Emitter::TargetColumn(const Source& target, const std::string& name) {
  for (std::size_t idx = 0; idx < target.columns.size(); ++idx) {
    if (target.columns[idx].name == name) return idx;
  }
  return OraErr(InvalidIdentifier(QuoteName(name)));
}

OraStatus Emitter::InsertColumns(const Source& target, const std::vector<std::string>& names,
                                 std::vector<std::size_t>* columns) {
  if (names.empty()) {
    for (std::size_t idx = 0; idx < target.columns.size(); ++idx) columns->push_back(idx);
    return {};
  }
  for (const std::string& name : names) {
    VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, TargetColumn(target, name));
    if (std::find(columns->begin(), columns->end(), idx) != columns->end()) {
      return OraErr(957, "duplicate column name");
    }
    columns->push_back(idx);
  }
  return {};
}

OraStatus Emitter::Insert(const ast::Insert& insert, Translation* translation) {
  VK_ASSIGN_OR_ORA_RETURN(Source target, Target(insert.table, translation));
  std::vector<std::size_t> columns;
  VK_RETURN_IF_ORA_ERROR(InsertColumns(target, insert.columns, &columns));
  // The columns written: a view's are its table's.
  std::vector<ColumnInfo> written;
  std::string column_list;
  for (std::size_t idx : columns) {
    VK_ASSIGN_OR_ORA_RETURN(ColumnInfo column, Writable(target, idx));
    column_list += (column_list.empty() ? "" : ", ") + QuoteName(column.name);
    written.push_back(std::move(column));
  }
  VK_RETURN_IF_ORA_ERROR(InsertRows(insert, target, columns, written, translation));
  if (!target.view_check) return {};
  // WITH CHECK OPTION: the rows added (after the highest rowid there was) must be the view's.
  std::vector<Translation::Step>& steps = translation->steps;
  steps.push_back({"DROP TABLE IF EXISTS temp.\"__vk_check\"", false});
  steps.push_back({"CREATE TEMP TABLE \"__vk_check\" (\"M\")", false});
  steps.push_back(
      {"INSERT INTO temp.\"__vk_check\" SELECT coalesce(max(rowid), 0) FROM " + target.physical,
       false});
  steps.push_back({std::move(translation->sql), true});
  translation->sql.clear();
  CheckOption(target, target.sql_alias + ".rowid > (SELECT \"M\" FROM temp.\"__vk_check\")",
              &steps);
  steps.push_back({"DROP TABLE IF EXISTS temp.\"__vk_check\"", false});
  return {};
}

OraStatus Emitter::InsertRows(const ast::Insert& insert, const Source& target,
                              const std::vector<std::size_t>& columns,
                              const std::vector<ColumnInfo>& written, Translation* translation) {
  std::string column_list;
  for (const ColumnInfo& column : written) {
    column_list += (column_list.empty() ? "" : ", ") + QuoteName(column.name);
  }
  std::string& sql = translation->sql;
  sql = "INSERT INTO " + target.physical + " (" + column_list + ") ";
  if (insert.query == nullptr) {
    if (insert.values.size() > columns.size()) return OraErr(913, "too many values");
    if (insert.values.size() < columns.size()) return OraErr(947, "not enough values");
    Scope empty;
    // One row is inserted: its ROWNUM is 1.
    Ctx ctx{&empty, !options_.inline_literals, false, "1"};
    sql += "VALUES (";
    for (std::size_t idx = 0; idx < columns.size(); ++idx) {
      if (idx != 0) sql += ", ";
      VK_ASSIGN_OR_ORA_RETURN(std::string value,
                              ColumnValue(*insert.values[idx], written[idx], target, ctx));
      sql += value;
    }
    sql += ")";
    return {};
  }
  VK_ASSIGN_OR_ORA_RETURN(QueryOut query, Query(*insert.query, nullptr, true));
  if (query.items.size() > columns.size()) return OraErr(913, "too many values");
  if (query.items.size() < columns.size()) return OraErr(947, "not enough values");
  sql += "SELECT ";
  for (std::size_t idx = 0; idx < columns.size(); ++idx) {
    if (idx != 0) sql += ", ";
    sql += StoreSql(QuoteName("__c" + std::to_string(idx + 1)), written[idx], target);
  }
  sql += " FROM (" + query.sql + ")";
  return {};
}

OraResult<std::string> Emitter::ColumnValue(const Expr& expr, const ColumnInfo& column,
                                            const Source& target, const Ctx& ctx) {
  if (expr.kind == ExprKind::kDefault) {
    // The default is kept in its stored form (or as a call that gives it, for SYSDATE).
    return column.default_sqlite.has_value() ? "(" + *column.default_sqlite + ")"
                                             : std::string("NULL");
  }
  VK_ASSIGN_OR_ORA_RETURN(Out value, Value(expr, ctx));
  return StoreSql(value.sql, column, target);
}

OraResult<std::string> Emitter::SetList(const std::vector<ast::Assignment>& assignments,
                                        const Source& target, const Ctx& ctx,
                                        std::vector<std::size_t>* set_columns) {
  std::string sets;
  std::vector<std::size_t> seen;
  auto note = [&](const std::string& name) -> OraResult<std::size_t> {
    VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, TargetColumn(target, name));
    if (std::find(seen.begin(), seen.end(), idx) != seen.end()) {
      return OraErr(957, "duplicate column name");
    }
    seen.push_back(idx);
    return idx;
  };
  for (const ast::Assignment& assignment : assignments) {
    sets += sets.empty() ? "" : ", ";
    if (assignment.columns.empty()) {
      VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, note(assignment.column));
      VK_ASSIGN_OR_ORA_RETURN(ColumnInfo column, Writable(target, idx));
      VK_ASSIGN_OR_ORA_RETURN(std::string value,
                              ColumnValue(*assignment.value, column, target, ctx));
      sets += QuoteName(column.name) + " = " + value;
      continue;
    }
    // (a, b) = (query): one row gives the values, none gives NULLs, more are ORA-01427 (the
    // count over every row rides on the first).
    std::vector<std::size_t> targets;
    for (const std::string& name : assignment.columns) {
      VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, note(name));
      targets.push_back(idx);
    }
    VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Query(*assignment.value->query, ctx.scope, true));
    if (sub.items.size() > targets.size()) return OraErr(913, "too many values");
    if (sub.items.size() < targets.size()) return OraErr(947, "not enough values");
    std::string names;
    std::string values;
    for (std::size_t pos = 0; pos < targets.size(); ++pos) {
      VK_ASSIGN_OR_ORA_RETURN(ColumnInfo column, Writable(target, targets[pos]));
      names += (pos == 0 ? "" : ", ") + QuoteName(column.name);
      std::string value = QuoteName("__c" + std::to_string(pos + 1));
      if (pos == 0) {
        value =
            "CASE WHEN count(*) OVER () > 1 THEN vk_error(1427, 'single-row subquery "
            "returns more than one row') ELSE " +
            value + " END";
      }
      values += (pos == 0 ? "" : ", ") + StoreSql(value, column, target);
    }
    sets += "(" + names + ") = (WITH \"__one\" AS (" + sub.sql + ") SELECT " + values +
            " FROM \"__one\" LIMIT 1)";
  }
  if (set_columns != nullptr) *set_columns = std::move(seen);
  return sets;
}

OraResult<std::string> Emitter::DmlWhere(const Expr* where, Scope* scope) {
  std::vector<const Expr*> conjuncts;
  SplitConjuncts(where, &conjuncts);
  std::optional<long long> limit;
  Ctx ctx{scope, !options_.inline_literals, false, {}};
  // Through a view, only the rows it shows.
  std::string where_sql = scope->sources[0].view_where;
  for (const Expr* conjunct : conjuncts) {
    if (TakeRownumBound(*conjunct, &limit)) continue;
    if (ContainsRownum(*conjunct)) return OraErr(Unimplemented());
    VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*conjunct, ctx));
    where_sql += (where_sql.empty() ? "" : " AND ") + out.sql;
  }
  if (limit.has_value()) {
    const Source& source = scope->sources[0];
    std::string inner = "SELECT " + source.sql_alias + ".rowid FROM " + SourceSql(source);
    if (!where_sql.empty()) inner += " WHERE " + where_sql;
    inner += " LIMIT " + std::to_string(*limit);
    where_sql = source.sql_alias + ".rowid IN (" + inner + ")";
  }
  return where_sql;
}

OraStatus Emitter::Update(const ast::Update& update, Translation* translation) {
  VK_ASSIGN_OR_ORA_RETURN(Source target, Target(update.table, translation));
  Scope scope;
  scope.sources.push_back(target);
  // ROWNUM in SET numbers the updated rows: it is read from a numbering of them joined in.
  bool rownum_used = false;
  Ctx ctx{&scope, !options_.inline_literals, false, "\"__rn\".\"N\"", &rownum_used};
  std::string& sql = translation->sql;
  VK_ASSIGN_OR_ORA_RETURN(std::string sets, SetList(update.assignments, target, ctx, nullptr));
  VK_ASSIGN_OR_ORA_RETURN(std::string where_sql, DmlWhere(update.where.get(), &scope));
  sql = "UPDATE " + SourceSql(target) + " SET " + sets;
  if (rownum_used) {
    std::string numbering = "SELECT " + target.sql_alias + ".rowid AS \"R\", " +
                            std::string(kRowNumber) + " AS \"N\" FROM " + SourceSql(target);
    if (!where_sql.empty()) numbering += " WHERE " + where_sql;
    sql += " FROM (" + numbering + ") AS \"__rn\" WHERE " + target.sql_alias +
           ".rowid = \"__rn\".\"R\"";
  } else if (!where_sql.empty()) {
    sql += " WHERE " + where_sql;
  }
  if (!target.view_check) return {};
  // WITH CHECK OPTION: the rows updated, noted first, must still be the view's.
  std::vector<Translation::Step>& steps = translation->steps;
  steps.push_back({"DROP TABLE IF EXISTS temp.\"__vk_check\"", false});
  steps.push_back({"CREATE TEMP TABLE \"__vk_check\" (\"R\")", false});
  steps.push_back({"INSERT INTO temp.\"__vk_check\" SELECT " + target.sql_alias + ".rowid FROM " +
                       SourceSql(target) + (where_sql.empty() ? "" : " WHERE " + where_sql),
                   false});
  steps.push_back({std::move(sql), true});
  sql.clear();
  CheckOption(target, target.sql_alias + ".rowid IN (SELECT \"R\" FROM temp.\"__vk_check\")",
              &steps);
  steps.push_back({"DROP TABLE IF EXISTS temp.\"__vk_check\"", false});
  return {};
}

OraStatus Emitter::Delete(const ast::Delete& del, Translation* translation) {
  VK_ASSIGN_OR_ORA_RETURN(Source target, Target(del.table, translation));
  Scope scope;
  scope.sources.push_back(target);
  VK_ASSIGN_OR_ORA_RETURN(std::string where_sql, DmlWhere(del.where.get(), &scope));
  std::string& sql = translation->sql;
  sql = "DELETE FROM " + SourceSql(target);
  if (!where_sql.empty()) sql += " WHERE " + where_sql;
  return {};
}

}  // namespace volmek::engine::emitter_internal
