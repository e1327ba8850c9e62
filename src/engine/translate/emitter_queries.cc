// Emitter: queries: select lists, WHERE, GROUP BY, ORDER BY, set operators, ROWNUM and
// hierarchical queries.
#include "engine/translate/emitter_internal.h"

#include <fmt/format.h>

#include <cmath>
#include <limits>
#include <utility>

#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

OraResult<QueryOut> Emitter::Subquery(const ast::Query& query, const Ctx& ctx, bool positional) {
  const Scope* scope = ctx.scope;
  // Where aggregates may be written the query's rows are its groups; inside an aggregate's
  // arguments, and in WHERE, they are still rows.
  if (scope == nullptr || scope->group_keys == nullptr || !ctx.aggregates) {
    return Query(query, scope, positional);
  }
  const bool checking = scope->only_group_keys;
  const bool named = scope->named_ungrouped;
  scope->only_group_keys = true;
  scope->named_ungrouped = false;
  OraResult<QueryOut> out = Query(query, scope, positional);
  const bool ungrouped = scope->named_ungrouped;
  scope->only_group_keys = checking;
  scope->named_ungrouped = named;
  if (out.has_value() && ungrouped) return OraErr(979, "not a GROUP BY expression");
  return out;
}

OraResult<QueryOut> Emitter::Query(const ast::Query& query, const Scope* parent, bool positional,
                                   bool canonical) {
  VK_ASSIGN_OR_ORA_RETURN(QueryOut out, QueryWith(query, parent, positional, canonical));
  if (query.offset == nullptr && !query.fetch) return out;
  return RowLimit(query, std::move(out));
}

// OFFSET skips the first rows (none when negative) and FETCH keeps at most so many of the rest
// (one when no number is given); fractions are dropped, as Oracle does. The numbers must be
// written as literals; PERCENT and WITH TIES are not implemented.
OraResult<QueryOut> Emitter::RowLimit(const ast::Query& query, QueryOut out) {
  if (query.fetch_percent || query.fetch_with_ties) return OraErr(Unimplemented());
  auto count_of = [&](const Expr& written) -> OraResult<std::int64_t> {
    const bool negative = written.kind == ExprKind::kNegate;
    const Expr& expr = negative ? *written.args[0] : written;
    if (expr.kind != ExprKind::kNumber) return OraErr(Unimplemented());
    plan_->fixed_slots.push_back(expr.literal_slot);
    const double value = std::floor(std::strtod(expr.literal.c_str(), nullptr));
    if (negative || !(value >= 1)) return 0;
    if (value >= 9.0e18) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(value);
  };
  std::int64_t offset = 0;
  std::int64_t limit = -1;  // SQLite's "no limit"
  if (query.offset != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(offset, count_of(*query.offset));
  }
  if (query.fetch) {
    limit = 1;
    if (query.fetch_count != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(limit, count_of(*query.fetch_count));
    }
  }
  out.sql = fmt::format("SELECT * FROM ({}) LIMIT {} OFFSET {}", out.sql, limit, offset);
  out.form = QueryOut::Form::kOther;
  return out;
}

OraResult<QueryOut> Emitter::QueryWith(const ast::Query& query, const Scope* parent,
                                       bool positional, bool canonical) {
  if (query.with.empty()) return QueryBody(query, parent, positional, canonical);
  std::string with_sql;
  bool recursive = false;
  for (const ast::CommonTable& table : query.with) {
    VK_ASSIGN_OR_ORA_RETURN(CommonTableOut out, CommonTable(table, parent));
    if (!table.columns.empty() && table.columns.size() != out.query.items.size()) {
      return OraErr(32038,
                    "number of WITH clause column names does not match number of elements in "
                    "select list");
    }
    Source source = CommonTableSource(table, out.query.items);
    std::string names;
    for (const ColumnInfo& column : source.columns) {
      names += (names.empty() ? "" : ", ") + QuoteName(column.name);
    }
    // A recursive table carries its rows' ancestry in a column of its own, never shown.
    if (out.recursive) names += ", " + std::string(kAncestryColumn);
    recursive = recursive || out.recursive;
    with_sql += (with_sql.empty() ? "" : ", ") + QuoteName(table.name) + " (" + names + ") AS (" +
                out.query.sql + ")";
    common_tables_.push_back(std::move(source));
  }
  VK_ASSIGN_OR_ORA_RETURN(QueryOut body, QueryBody(query, parent, positional, canonical));
  common_tables_.resize(common_tables_.size() - query.with.size());
  body.sql = (recursive ? "WITH RECURSIVE " : "WITH ") + with_sql + " " + body.sql;
  body.form = QueryOut::Form::kOther;
  return body;
}

OraResult<QueryOut> Emitter::QueryBody(const ast::Query& query, const Scope* parent,
                                       bool positional, bool canonical) {
  if (query.select != nullptr) {
    return Select(*query.select, query.order_by, query.order_siblings, parent, positional,
                  canonical);
  }
  if (query.order_siblings) return OraErr(30929, "ORDER SIBLINGS BY clause not allowed here");
  VK_ASSIGN_OR_ORA_RETURN(QueryOut left, Query(*query.left, parent, positional, true));
  VK_ASSIGN_OR_ORA_RETURN(QueryOut right, Query(*query.right, parent, false, true));
  return SetOperation(query, std::move(left), std::move(right));
}

OraStatus Emitter::MatchSetColumns(std::vector<Item>& left, const std::vector<Item>& right) {
  if (left.size() != right.size()) {
    return OraErr(1789, "query block has incorrect number of result columns");
  }
  for (std::size_t idx = 0; idx < left.size(); ++idx) {
    Typed& mine = left[idx].type;
    const Typed& theirs = right[idx].type;
    if (mine.is_null) {
      mine = theirs;
      continue;
    }
    if (theirs.is_null) continue;
    if (mine.IsCharacter() != theirs.IsCharacter() || mine.IsNumeric() != theirs.IsNumeric() ||
        mine.IsDate() != theirs.IsDate()) {
      return OraErr(1790, "expression must have same datatype as corresponding expression");
    }
    mine.type.length = std::max(mine.type.length, theirs.type.length);
    mine.nullable = mine.nullable || theirs.nullable;
    if (mine.type.kind != theirs.type.kind && mine.IsCharacter()) {
      mine.type.kind = TypeKind::kVarchar2;
    }
    if (mine.IsNumeric() &&
        (mine.type.precision != theirs.type.precision || mine.type.scale != theirs.type.scale)) {
      mine.type = Typed::Number().type;
    }
  }
  return {};
}

OraResult<QueryOut> Emitter::SetOperation(const ast::Query& query, QueryOut left, QueryOut right) {
  VK_RETURN_IF_ORA_ERROR(MatchSetColumns(left.items, right.items));
  QueryOut out;
  const std::string op = query.set_op == "MINUS" ? "EXCEPT" : query.set_op;
  auto part = [](const QueryOut& piece, bool compound_ok) {
    if (piece.form == QueryOut::Form::kPlain ||
        (compound_ok && piece.form == QueryOut::Form::kCompound)) {
      return piece.sql;
    }
    return "SELECT * FROM (" + piece.sql + ")";
  };
  out.sql = part(left, true) + " " + op + " " + part(right, false);
  out.items = std::move(left.items);
  out.form = QueryOut::Form::kCompound;
  if (!query.order_by.empty()) {
    std::string order;
    for (const ast::OrderItem& item : query.order_by) {
      std::optional<std::size_t> position = OrderPosition(*item.expr, out.items);
      if (!position.has_value()) {
        return OraErr(1785, "ORDER BY item must be the number of a SELECT-list expression");
      }
      order += (order.empty() ? "" : ", ") + std::to_string(*position) + OrderSuffix(item);
    }
    out.sql += " ORDER BY " + order;
    out.form = QueryOut::Form::kOther;
  }
  return out;
}

std::optional<std::size_t> Emitter::OrderPosition(const Expr& expr,
                                                  const std::vector<Item>& items) {
  if (expr.kind == ExprKind::kNumber) {
    plan_->fixed_slots.push_back(expr.literal_slot);
    double value = std::strtod(expr.literal.c_str(), nullptr);
    if (value >= 1 && value <= static_cast<double>(items.size()) && value == std::floor(value)) {
      return static_cast<std::size_t>(value);
    }
    return std::nullopt;
  }
  if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
    for (std::size_t idx = 0; idx < items.size(); ++idx) {
      if (items[idx].name == expr.name) return idx + 1;
    }
  }
  return std::nullopt;
}

std::string Emitter::OrderSuffix(const ast::OrderItem& item) {
  std::string suffix = item.descending ? " DESC" : " ASC";
  int nulls = item.nulls != 0 ? item.nulls : (item.descending ? 1 : 2);
  suffix += nulls == 1 ? " NULLS FIRST" : " NULLS LAST";
  return suffix;
}

OraResult<QueryOut> Emitter::Select(const ast::Select& select,
                                    const std::vector<ast::OrderItem>& order, bool siblings,
                                    const Scope* parent, bool positional, bool canonical) {
  if (siblings && !select.grouping_sets.empty()) {
    return OraErr(30929, "ORDER SIBLINGS BY clause not allowed here");
  }
  // The recursive member of a recursive WITH table is the first SELECT compiled for it.
  const bool member = recursive_.has_value() && std::exchange(recursive_->member_next, false);
  Scope scope;
  scope.parent = parent;
  for (const auto& from : select.from) VK_RETURN_IF_ORA_ERROR(ResolveFrom(*from, &scope, parent));

  std::string hierarchy_sql;
  std::string level_sql;
  HierarchyInfo hierarchy;
  const HierarchyInfo* hierarchy_in = nullptr;
  std::vector<const Expr*> join_conditions;
  const bool joined_hierarchy = select.connect_by != nullptr && scope.sources.size() > 1;
  if (joined_hierarchy) VK_RETURN_IF_ORA_ERROR(JoinForHierarchy(select, &scope, &join_conditions));
  if (select.connect_by != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(hierarchy_sql, Hierarchy(select, order, siblings, &scope, &hierarchy));
    level_sql = scope.sources[0].sql_alias + ".\"__lvl\"";
    hierarchy_in = &hierarchy;
  } else if (siblings) {
    return OraErr(30929, "ORDER SIBLINGS BY clause not allowed here");
  }

  // WHERE: ROWNUM bounds and Oracle (+) outer joins are taken out first.
  std::vector<const Expr*> conjuncts;
  SplitConjuncts(select.where.get(), &conjuncts);
  std::optional<long long> limit;
  std::vector<const Expr*> rest;
  std::vector<std::vector<const Expr*>> outer_conditions(scope.sources.size());
  const bool plain_from = std::all_of(select.from.begin(), select.from.end(), [](const auto& f) {
    return f->kind != ast::FromItem::Kind::kJoin;
  });
  for (const Expr* conjunct : conjuncts) {
    if (std::find(join_conditions.begin(), join_conditions.end(), conjunct) !=
        join_conditions.end()) {
      continue;
    }
    if (TakeRownumBound(*conjunct, &limit)) continue;
    if (ContainsRownum(*conjunct)) return OraErr(Unimplemented());
    if (ContainsOuterMark(*conjunct)) {
      if (!plain_from)
        return OraErr(25156, "old style outer join (+) cannot be used with ANSI joins");
      VK_ASSIGN_OR_ORA_RETURN(std::size_t outer, OuterSource(*conjunct, scope));
      outer_conditions[outer].push_back(conjunct);
      scope.sources[outer].outer = true;
      continue;
    }
    rest.push_back(conjunct);
  }

  Ctx fixed{&scope, false, false, {}};
  Ctx where_ctx{&scope, !options_.inline_literals, false, {}};
  fixed.level = level_sql;
  where_ctx.level = level_sql;
  fixed.hierarchy = hierarchy_in;
  where_ctx.hierarchy = hierarchy_in;

  // GROUP BY first: the select list is checked against it.
  std::vector<std::string> group_keys;
  std::vector<std::string> group_sql;
  std::vector<std::string> key_sort;
  for (const auto& key : select.group_by) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*key, fixed));
    if (out.analytic) return OraErr(30483, "window  functions are not allowed here");
    key_sort.push_back(SortKey(out));
    group_keys.push_back(std::move(out.sql));
  }
  GroupingKeys grouping;
  if (select.grouping_sets.empty()) {
    group_sql = key_sort;
  } else {
    group_sql = GroupingSetsKeys(select.grouping_sets, group_keys, key_sort, &grouping);
  }
  if (!select.group_by.empty()) scope.group_keys = &group_keys;
  const GroupingKeys* const grouping_keys = grouping.empty() ? nullptr : &grouping;

  QueryOut result;
  std::string items_sql;
  Ctx item_ctx{&scope, false, true, kRowNumber};
  item_ctx.level = level_sql;
  item_ctx.analytics = true;
  item_ctx.hierarchy = hierarchy_in;
  item_ctx.grouping = grouping_keys;
  scope.grouping = grouping_keys;
  bool any_analytic = false;
  bool grouped = !select.group_by.empty();
  bool any_bare = false;
  // The SQL of the items whose ORDER BY position must be written as a sort key.
  std::vector<std::string> sort_keys;
  // `computed`: a computed number whose value may be read twice, written as canonical text
  // where a set operation or DISTINCT compares it, else sorted through its key.
  // With DISTINCT, what ORDER BY may be built from: the items as written.
  std::vector<std::string> distinct_keys;
  std::vector<std::string> item_values;  // each item's SQL, as the result has it
  auto add_item = [&](Out out, Item item, bool computed) {
    if (select.distinct) distinct_keys.push_back(out.sql);
    sort_keys.emplace_back();
    if (computed && (canonical || select.distinct)) {
      out.sql = SortKey(out);
    } else if (computed) {
      sort_keys.back() = SortKey(out);
    }
    if (!items_sql.empty()) items_sql += ", ";
    const std::string name =
        positional ? "__c" + std::to_string(result.items.size() + 1) : item.name;
    items_sql += out.sql + " AS " + QuoteName(name);
    if (member) item_values.push_back(out.sql);
    result.items.push_back(std::move(item));
  };
  for (const ast::SelectItem& item : select.items) {
    if (item.expr->kind == ExprKind::kStar && item.expr->qualifier.empty() &&
        !scope.joined.empty()) {
      std::size_t next = 0;
      for (const auto& from : select.from) {
        std::vector<std::string> names;
        std::vector<Out> columns = StarColumns(*from, scope, &next, &names);
        for (std::size_t idx = 0; idx < columns.size(); ++idx) {
          Item column_item{names[idx], columns[idx].type};
          const bool computed = IsComputedNumber(columns[idx]);
          add_item(std::move(columns[idx]), std::move(column_item), computed);
        }
      }
      any_bare = true;
      continue;
    }
    if (item.expr->kind == ExprKind::kStar) {
      bool found = false;
      for (const Source& source : scope.sources) {
        if (!item.expr->qualifier.empty() && source.name != item.expr->qualifier) continue;
        found = true;
        for (const ColumnInfo& column : source.columns) {
          Out out;
          out.sql = ColumnSql(source, column);
          out.type.type = column.type;
          out.type.nullable = column.nullable || source.outer;
          out.stored = source.stored;
          const bool computed = IsComputedNumber(out);
          Item column_item{column.name, out.type};
          add_item(std::move(out), std::move(column_item), computed);
          any_bare = true;
        }
      }
      if (!found) return OraErr(InvalidIdentifier(QuoteName(item.expr->qualifier)));
      continue;
    }
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*item.expr, item_ctx));
    grouped = grouped || out.aggregate;
    any_bare = any_bare || out.bare;
    any_analytic = any_analytic || out.analytic;
    // ROWNUM and sequence values are whole numbers, and must not be computed twice.
    const bool computed =
        IsComputedNumber(out) && !ContainsRownum(*item.expr) && !ContainsSequence(*item.expr);
    std::string name = item.alias;
    if (name.empty()) {
      name = item.expr->kind == ExprKind::kColumn
                 ? item.expr->name
                 : ExpressionName(sql_.substr(item.begin, item.end - item.begin));
    }
    Item value_item{std::move(name), out.type};
    add_item(std::move(out), std::move(value_item), computed);
  }

  // WHERE and the joins see every row as it is.
  scope.grouping = nullptr;
  std::string where_sql;
  for (const Expr* conjunct : rest) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*conjunct, where_ctx));
    where_sql += (where_sql.empty() ? "" : " AND ") + out.sql;
  }

  std::size_t next_source = 0;
  std::string from_sql;
  if (joined_hierarchy) {
    from_sql = SourceSql(scope.sources[0]);
  } else if (plain_from) {
    // Inner sources first, then each outer-joined one with its conditions.
    for (std::size_t idx = 0; idx < scope.sources.size(); ++idx) {
      if (!outer_conditions[idx].empty()) continue;
      from_sql += (from_sql.empty() ? "" : ", ") + SourceSql(scope.sources[idx]);
    }
    for (std::size_t idx = 0; idx < scope.sources.size(); ++idx) {
      if (outer_conditions[idx].empty()) continue;
      std::string on;
      for (const Expr* condition : outer_conditions[idx]) {
        VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*condition, where_ctx));
        on += (on.empty() ? "" : " AND ") + out.sql;
      }
      if (from_sql.empty())
        return OraErr(1417, "a table may be outer joined to at most one other table");
      from_sql += " LEFT JOIN " + SourceSql(scope.sources[idx]) + " ON " + on;
    }
  } else {
    for (const auto& from : select.from) {
      VK_ASSIGN_OR_ORA_RETURN(std::string piece, FromSql(*from, scope, &next_source, where_ctx));
      from_sql += (from_sql.empty() ? "" : ", ") + piece;
    }
  }

  std::string having_sql;
  if (select.having != nullptr) {
    Ctx having_ctx{&scope, false, true, {}};
    having_ctx.level = level_sql;
    having_ctx.grouping = grouping_keys;
    scope.grouping = grouping_keys;
    having_ctx.hierarchy = hierarchy_in;
    VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*select.having, having_ctx));
    having_sql = out.sql;
    grouped = true;
    any_bare = any_bare || out.bare;
  }
  if (grouped && any_bare) {
    if (select.group_by.empty()) return OraErr(937, "not a single-group group function");
    return OraErr(979, "not a GROUP BY expression");
  }

  std::string order_sql;
  scope.grouping = grouping_keys;
  // ORDER SIBLINGS BY orders the hierarchy's path instead.
  static const std::vector<ast::OrderItem> kNoOrder;
  for (const ast::OrderItem& item : siblings ? kNoOrder : order) {
    std::optional<std::size_t> position;
    if (item.expr->kind == ExprKind::kNumber) {
      position = OrderPosition(*item.expr, result.items);
      if (!position.has_value()) {
        return OraErr(1785, "ORDER BY item must be the number of a SELECT-list expression");
      }
    } else {
      position = OrderPosition(*item.expr, result.items);
    }
    std::string term;
    if (position.has_value()) {
      const std::string& key = sort_keys[*position - 1];
      term = key.empty() ? std::to_string(*position) : key;
    } else {
      // DISTINCT keeps one row per distinct list of items: sorting them by a column that is
      // not among the items would pick any of the rows it merged.
      const bool distinct_only = select.distinct && !grouped;
      if (distinct_only) scope.group_keys = &distinct_keys;
      OraResult<Out> value = Value(*item.expr, item_ctx);
      if (distinct_only) scope.group_keys = nullptr;
      if (!value.has_value()) return OraErr(std::move(value).error());
      Out out = std::move(*value);
      if (distinct_only && out.bare) return OraErr(1791, "not a SELECTed expression");
      if (grouped && out.bare) return OraErr(979, "not a GROUP BY expression");
      any_analytic = any_analytic || out.analytic;
      term = SortKey(out);
    }
    order_sql += (order_sql.empty() ? "" : ", ") + term + OrderSuffix(item);
  }
  scope.grouping = nullptr;
  if (!select.grouping_sets.empty()) {
    // Each row once for each grouping set, numbered in "__gs".column1.
    std::string numbers;
    for (std::size_t set_idx = 0; set_idx < select.grouping_sets.size(); ++set_idx) {
      numbers += (set_idx == 0 ? "(" : ", (") + std::to_string(set_idx) + ")";
    }
    from_sql += ", (VALUES " + numbers + ") AS \"__gs\"";
  }

  if (!hierarchy_sql.empty()) {
    const std::string& alias = scope.sources[0].sql_alias;
    // A row met again among its own ancestors is a loop: an error, or left out with NOCYCLE.
    const std::string loop = select.nocycle ? "(" + alias + ".\"__cycle\" = 0)"
                                            : "vk_connect_loop(" + alias + ".\"__cycle\")";
    where_sql = where_sql.empty() ? loop : loop + " AND " + where_sql;
    // Without ORDER BY, rows come depth first, each row before its children.
    if (order_sql.empty() && !grouped && !select.distinct) order_sql = alias + ".\"__path\"";
  }

  // ROWNUM counts rows as they pass WHERE, before grouping and sorting.
  std::string limit_sql;
  if (limit.has_value()) {
    // Analytic functions see the rows ROWNUM lets through, so they cannot be cut after.
    const bool simple = !grouped && !select.distinct && order.empty() && !any_analytic;
    if (simple) {
      limit_sql = " LIMIT " + std::to_string(*limit);
    } else if (scope.sources.size() == 1 && scope.sources[0].has_rowid) {
      const Source& source = scope.sources[0];
      std::string inner = "SELECT " + source.sql_alias + ".rowid FROM " + SourceSql(source);
      if (!where_sql.empty()) inner += " WHERE " + where_sql;
      inner += " LIMIT " + std::to_string(*limit);
      where_sql = source.sql_alias + ".rowid IN (" + inner + ")";
    } else {
      return OraErr(Unimplemented());
    }
  }

  const auto recursion = std::find_if(scope.sources.begin(), scope.sources.end(),
                                      [](const Source& source) { return source.recursive_with; });
  if (member && recursion != scope.sources.end()) {
    const bool unsupported =
        grouped || any_analytic || !order.empty() || limit.has_value() || recursion->outer;
    VK_ASSIGN_OR_ORA_RETURN(std::string ancestry,
                            RecursiveMemberColumn(select, *recursion, item_values, unsupported));
    items_sql += ", " + ancestry;
  }
  result.sql = std::string("SELECT ") + (select.distinct ? "DISTINCT " : "") + items_sql +
               " FROM " + from_sql;
  if (!where_sql.empty()) result.sql += " WHERE " + where_sql;
  if (!group_sql.empty()) {
    result.sql += " GROUP BY ";
    for (std::size_t idx = 0; idx < group_sql.size(); ++idx) {
      result.sql += (idx == 0 ? "" : ", ") + group_sql[idx];
    }
  }
  if (!having_sql.empty()) result.sql += " HAVING " + having_sql;
  if (!order_sql.empty()) result.sql += " ORDER BY " + order_sql;
  result.sql += limit_sql;
  result.form =
      order_sql.empty() && limit_sql.empty() ? QueryOut::Form::kPlain : QueryOut::Form::kOther;
  if (!hierarchy_sql.empty()) {
    result.sql = "SELECT * FROM (" + hierarchy_sql + " " + result.sql + ")";
    result.form = QueryOut::Form::kOther;
  }
  return result;
}

std::vector<std::string> Emitter::GroupingSetsKeys(const ast::GroupingSets& sets,
                                                   const std::vector<std::string>& keys,
                                                   const std::vector<std::string>& key_sort,
                                                   GroupingKeys* grouping) {
  const std::string set_number = "\"__gs\".column1";
  std::vector<std::string> group_sql = {set_number};
  std::vector<std::string> seen;
  for (std::size_t key_idx = 0; key_idx < keys.size(); ++key_idx) {
    const std::string& key = keys[key_idx];
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    // The sets that group by this expression, under any of the names it is written with.
    std::string members;
    std::size_t count = 0;
    for (std::size_t set_idx = 0; set_idx < sets.size(); ++set_idx) {
      const bool member = std::any_of(sets[set_idx].begin(), sets[set_idx].end(),
                                      [&](std::size_t idx) { return keys[idx] == key; });
      if (!member) continue;
      members += (count++ == 0 ? "" : ", ") + std::to_string(set_idx);
    }
    if (count == sets.size()) {
      group_sql.push_back(key_sort[key_idx]);
      continue;
    }
    const std::string when =
        "CASE WHEN " + set_number + " IN (" + (members.empty() ? "-1" : members) + ") THEN ";
    group_sql.push_back("(" + when + key_sort[key_idx] + " END)");
    grouping->push_back(GroupingKey{key, "(" + when + key + " END)", "(" + when + "0 ELSE 1 END)"});
  }
  return group_sql;
}

OraResult<std::size_t> Emitter::OuterSource(const Expr& condition, const Scope& scope) {
  std::optional<std::size_t> found;
  std::optional<OraError> error;
  auto visit = [&](auto&& self, const Expr& expr) -> void {
    if (expr.kind == ExprKind::kColumn && expr.outer_join) {
      auto index = FindInScope(expr, scope);
      if (!index.has_value()) {
        if (!index.error().message.empty() && !error.has_value()) error = index.error();
        return;
      }
      if (found.has_value() && *found != index->first) {
        if (!error.has_value()) {
          error = Ora(1468, "a predicate may reference only one outer-joined table");
        }
        return;
      }
      found = index->first;
    }
    for (const auto& arg : expr.args) self(self, *arg);
  };
  visit(visit, condition);
  if (error.has_value()) return OraErr(std::move(*error));
  if (!found.has_value()) return OraErr(InvalidIdentifier("\"(+)\""));
  return *found;
}

bool Emitter::TakeRownumBound(const Expr& conjunct, std::optional<long long>* limit) {
  if (conjunct.kind != ExprKind::kCompare || (conjunct.args[0]->kind != ExprKind::kRownum &&
                                              conjunct.args[1]->kind != ExprKind::kRownum)) {
    return false;
  }
  bool on_right = conjunct.args[1]->kind == ExprKind::kRownum;
  std::optional<double> value = NumberValue(*conjunct.args[on_right ? 0 : 1]);
  if (!value.has_value()) return false;
  CollectSlots(conjunct, &plan_->fixed_slots);
  std::optional<long long> bound = RownumLimit(conjunct.op, *value, on_right);
  if (bound.has_value()) *limit = limit->has_value() ? std::min(**limit, *bound) : *bound;
  return true;
}

}  // namespace volmek::engine::emitter_internal
