// Emitter: the FROM clause: tables, views, inline views, joins and their scopes.
#include "engine/translate/emitter_internal.h"

#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

OraResult<TableInfo> Emitter::LookUp(const std::string& owner, const std::string& name) {
  std::optional<TableInfo> table;
  if (owner.empty()) {
    table = schema_.FindTable(name);
    if (!table.has_value() && name == "DUAL") {
      TableInfo dual;
      dual.owner = "SYS";
      dual.name = "DUAL";
      dual.physical_name = "(SELECT 'X' AS \"DUMMY\")";
      dual.is_view = true;
      ColumnInfo dummy;
      dummy.name = "DUMMY";
      dummy.type.kind = TypeKind::kVarchar2;
      dummy.type.length = 1;
      dual.columns.push_back(std::move(dummy));
      table = std::move(dual);
    }
  } else {
    table = schema_.FindTable(owner + "." + name);
    if (!table.has_value() && owner == schema_.CurrentUser()) table = schema_.FindTable(name);
  }
  if (!table.has_value()) {
    if (auto error = schema_.LookupError(owner.empty() ? name : owner + "." + name)) {
      return OraErr(std::move(*error));
    }
    return OraErr(942, "table or view does not exist");
  }
  return std::move(*table);
}

Source Emitter::TableSource(TableInfo table, const std::string& alias) {
  Source source;
  source.aliased = !alias.empty();
  source.name = alias.empty() ? table.name : alias;
  source.owner = std::move(table.owner);
  source.table = std::move(table.name);
  source.sql_alias = QuoteName(source.name);
  source.physical = std::move(table.physical_name);
  source.columns = std::move(table.columns);
  source.has_rowid = !table.is_view;
  source.stored = true;
  return source;
}

OraStatus Emitter::ResolveFrom(const ast::FromItem& item, Scope* scope, const Scope* parent) {
  switch (item.kind) {
    case ast::FromItem::Kind::kTable: {
      if (item.owner.empty()) {
        // WITH tables hide tables of the same name; the innermost WITH first.
        auto found = std::find_if(common_tables_.rbegin(), common_tables_.rend(),
                                  [&](const Source& table) { return table.name == item.name; });
        if (found != common_tables_.rend()) {
          if (found->recursive_with && recursive_.has_value()) ++recursive_->references;
          Source source = *found;
          if (!item.alias.empty()) {
            source.name = item.alias;
            source.aliased = true;
            source.sql_alias = QuoteName(item.alias);
          }
          scope->sources.push_back(std::move(source));
          return {};
        }
      }
      VK_ASSIGN_OR_ORA_RETURN(TableInfo table, LookUp(item.owner, item.name));
      scope->sources.push_back(TableSource(std::move(table), item.alias));
      return {};
    }
    case ast::FromItem::Kind::kSubquery: {
      VK_ASSIGN_OR_ORA_RETURN(QueryOut out, Query(*item.query, parent, false));
      Source source;
      source.name = item.alias;
      source.aliased = !item.alias.empty();
      source.sql_alias =
          QuoteName(item.alias.empty() ? "__v" + std::to_string(++views_) : item.alias);
      source.physical = "(" + out.sql + ")";
      for (Item& out_item : out.items) {
        ColumnInfo column;
        column.name = out_item.name;
        column.type = out_item.type.type;
        column.nullable = out_item.type.nullable;
        source.columns.push_back(std::move(column));
      }
      scope->sources.push_back(std::move(source));
      return {};
    }
    case ast::FromItem::Kind::kJoin: {
      const std::size_t first_left = scope->sources.size();
      VK_RETURN_IF_ORA_ERROR(ResolveFrom(*item.left, scope, parent));
      const std::size_t first_right = scope->sources.size();
      VK_RETURN_IF_ORA_ERROR(ResolveFrom(*item.right, scope, parent));
      if (item.join_type == "LEFT" || item.join_type == "FULL") {
        for (std::size_t idx = first_right; idx < scope->sources.size(); ++idx) {
          scope->sources[idx].outer = true;
        }
      }
      if (item.join_type == "RIGHT" || item.join_type == "FULL") {
        for (std::size_t idx = first_left; idx < first_right; ++idx) {
          scope->sources[idx].outer = true;
        }
      }
      if (item.natural || !item.using_columns.empty()) {
        return JoinColumns(item, first_left, first_right, scope);
      }
      return {};
    }
  }
  return {};
}

OraResult<Emitter::Side> Emitter::JoinSide(const Scope& scope, std::size_t first, std::size_t end,
                                           const std::string& name) {
  Side side;
  for (auto joined = scope.joined.rbegin(); joined != scope.joined.rend(); ++joined) {
    if (joined->name != name || joined->first < first || joined->end > end) continue;
    side.out.sql = joined->sql;
    side.out.type = joined->type;
    side.out.stored = joined->stored;
    side.sides = joined->sides;
    return side;
  }
  bool found = false;
  for (std::size_t source_idx = first; source_idx < end; ++source_idx) {
    const Source& source = scope.sources[source_idx];
    for (const ColumnInfo& column : source.columns) {
      if (column.name != name) continue;
      if (found) return OraErr(918, "column ambiguously defined");
      found = true;
      side.out.sql = ColumnSql(source, column);
      side.out.type.type = column.type;
      side.out.type.nullable = column.nullable || source.outer;
      side.out.stored = source.stored;
      side.sides = {source_idx};
    }
  }
  if (!found) return OraErr(InvalidIdentifier(QuoteName(name)));
  return side;
}

OraStatus Emitter::JoinColumns(const ast::FromItem& item, std::size_t first_left,
                               std::size_t first_right, Scope* scope) {
  const std::size_t end = scope->sources.size();
  std::vector<std::string> names = item.using_columns;
  if (item.natural) {
    auto has_name = [&](std::size_t first, std::size_t last, const std::string& name) {
      for (std::size_t idx = first; idx < last; ++idx) {
        for (const ColumnInfo& column : scope->sources[idx].columns) {
          if (column.name == name) return true;
        }
      }
      return false;
    };
    for (std::size_t idx = first_left; idx < first_right; ++idx) {
      for (const ColumnInfo& column : scope->sources[idx].columns) {
        if (std::find(names.begin(), names.end(), column.name) != names.end()) continue;
        if (has_name(first_right, end, column.name)) names.push_back(column.name);
      }
    }
  }
  std::vector<JoinedColumn> joined;
  std::string condition;
  for (const std::string& name : names) {
    for (const JoinedColumn& earlier : joined) {
      if (earlier.name == name) return OraErr(957, "duplicate column name");
    }
    VK_ASSIGN_OR_ORA_RETURN(Side left, JoinSide(*scope, first_left, first_right, name));
    VK_ASSIGN_OR_ORA_RETURN(Side right, JoinSide(*scope, first_right, end, name));
    condition += (condition.empty() ? "" : " AND ") + CompareSql(left.out, right.out, "=");
    JoinedColumn column;
    column.join = &item;
    column.name = name;
    column.first = first_left;
    column.end = end;
    column.sides = left.sides;
    column.sides.insert(column.sides.end(), right.sides.begin(), right.sides.end());
    const Side& kept = item.join_type == "RIGHT" ? right : left;
    column.sql = kept.out.sql;
    column.type = kept.out.type;
    column.stored = kept.out.stored;
    if (item.join_type == "FULL") {
      column.sql = "coalesce(" + left.out.sql + ", " + right.out.sql + ")";
      column.type.nullable = left.out.type.nullable && right.out.type.nullable;
      column.stored = false;
    }
    joined.push_back(std::move(column));
  }
  scope->join_conditions.emplace_back(&item, condition.empty() ? "1" : condition);
  for (JoinedColumn& column : joined) scope->joined.push_back(std::move(column));
  return {};
}

std::vector<Out> Emitter::StarColumns(const ast::FromItem& item, const Scope& scope,
                                      std::size_t* next, std::vector<std::string>* names) {
  std::vector<Out> columns;
  if (item.kind != ast::FromItem::Kind::kJoin) {
    const Source& source = scope.sources[(*next)++];
    for (const ColumnInfo& column : source.columns) {
      Out out;
      out.sql = ColumnSql(source, column);
      out.type.type = column.type;
      out.type.nullable = column.nullable || source.outer;
      out.stored = source.stored;
      out.bare = true;
      columns.push_back(std::move(out));
      names->push_back(column.name);
    }
    return columns;
  }
  std::vector<std::string> left_names;
  std::vector<std::string> right_names;
  std::vector<Out> left = StarColumns(*item.left, scope, next, &left_names);
  std::vector<Out> right = StarColumns(*item.right, scope, next, &right_names);
  std::vector<std::string> merged;
  for (const JoinedColumn& joined : scope.joined) {
    if (joined.join != &item) continue;
    Out out;
    out.sql = joined.sql;
    out.type = joined.type;
    out.stored = joined.stored;
    out.bare = true;
    columns.push_back(std::move(out));
    names->push_back(joined.name);
    merged.push_back(joined.name);
  }
  auto append = [&](std::vector<Out>& outs, const std::vector<std::string>& side_names) {
    for (std::size_t idx = 0; idx < outs.size(); ++idx) {
      if (std::find(merged.begin(), merged.end(), side_names[idx]) != merged.end()) continue;
      columns.push_back(std::move(outs[idx]));
      names->push_back(side_names[idx]);
    }
  };
  append(left, left_names);
  append(right, right_names);
  return columns;
}

std::string Emitter::SourceSql(const Source& source) {
  return source.physical + " AS " + source.sql_alias;
}

OraResult<std::string> Emitter::FromSql(const ast::FromItem& item, const Scope& scope,
                                        std::size_t* next, const Ctx& on_ctx) {
  if (item.kind != ast::FromItem::Kind::kJoin) return SourceSql(scope.sources[(*next)++]);
  VK_ASSIGN_OR_ORA_RETURN(std::string left, FromSql(*item.left, scope, next, on_ctx));
  VK_ASSIGN_OR_ORA_RETURN(std::string right, FromSql(*item.right, scope, next, on_ctx));
  if (item.right->kind == ast::FromItem::Kind::kJoin) right = "(" + right + ")";
  std::string sql =
      left + " " + (item.join_type == "INNER" ? "JOIN" : item.join_type + " JOIN") + " " + right;
  if (item.on != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(Out on, Condition(*item.on, on_ctx));
    sql += " ON " + on.sql;
  }
  for (const auto& [join, condition] : scope.join_conditions) {
    if (join == &item) sql += " ON " + condition;
  }
  return sql;
}

}  // namespace volmek::engine::emitter_internal
