// Emitter: hierarchical queries (START WITH ... CONNECT BY), their pseudocolumns and operators
// (LEVEL, CONNECT_BY_ISLEAF, CONNECT_BY_ISCYCLE, CONNECT_BY_ROOT, SYS_CONNECT_BY_PATH) and
// ORDER SIBLINGS BY.
#include "engine/translate/emitter_internal.h"

namespace volmek::engine::emitter_internal {
namespace {

constexpr std::string_view kPathSeparatorError =
    "when using SYS_CONNECT_BY_PATH function, cannot have seperator as part of column value";

bool IsPseudocolumn(const Expr& expr, std::string_view name) {
  return expr.kind == ExprKind::kColumn && expr.qualifier.empty() && expr.name == name;
}

// The expressions a hierarchy carries from parent to child (CONNECT_BY_ROOT x,
// SYS_CONNECT_BY_PATH(x, s)), and whether CONNECT_BY_ISLEAF / ISCYCLE are read.
void Scan(const Expr& expr, std::vector<const Expr*>* carried, bool* children) {
  if (expr.kind == ExprKind::kConnectByRoot ||
      (expr.kind == ExprKind::kFunction && expr.name == "SYS_CONNECT_BY_PATH")) {
    carried->push_back(&expr);
  }
  if (IsPseudocolumn(expr, "CONNECT_BY_ISLEAF") || IsPseudocolumn(expr, "CONNECT_BY_ISCYCLE")) {
    *children = true;
  }
  for (const auto& arg : expr.args) Scan(*arg, carried, children);
}

}  // namespace

OraResult<std::string> Emitter::Hierarchy(const ast::Select& select,
                                          const std::vector<ast::OrderItem>& order, bool siblings,
                                          Scope* scope, HierarchyInfo* info) {
  // Several sources are a join's, read through one row (JoinForHierarchy).
  Source& source = scope->sources[0];
  const std::string alias = source.sql_alias;
  const std::string table = QuoteName("__h" + std::to_string(++views_));
  std::string names;
  std::string child_columns;
  for (const Source& each : scope->sources) {
    for (const ColumnInfo& column : each.columns) {
      names += QuoteName(each.column_prefix + column.name) + ", ";
      child_columns += ColumnSql(each, column) + ", ";
    }
  }
  const std::string key = source.has_rowid ? alias + ".rowid" : std::string(kRowNumber);
  const std::string row_key = alias + ".\"__rn\"";
  Ctx row_ctx{scope, !options_.inline_literals, false, {}};

  // ORDER SIBLINGS BY: rows are numbered in that order, and the number is their step in the
  // path, so that each row's children come in it.
  std::string order_column;
  std::string step_key = row_key;
  if (siblings) {
    Ctx order_ctx{scope, false, false, {}};
    std::string order_keys;
    for (const ast::OrderItem& item : order) {
      const Expr* expr = item.expr.get();
      // A position or an alias of the select list names that item's expression.
      if (expr->kind == ExprKind::kNumber) {
        plan_->fixed_slots.push_back(expr->literal_slot);
        std::optional<double> position = NumberValue(*expr);
        const bool valid = position.has_value() && *position >= 1 &&
                           *position <= static_cast<double>(select.items.size()) &&
                           *position == std::floor(*position);
        if (!valid) {
          return OraErr(1785, "ORDER BY item must be the number of a SELECT-list expression");
        }
        expr = select.items[static_cast<std::size_t>(*position) - 1].expr.get();
      } else if (expr->kind == ExprKind::kColumn && expr->qualifier.empty()) {
        for (const ast::SelectItem& candidate : select.items) {
          if (!candidate.alias.empty() && candidate.alias == expr->name) {
            expr = candidate.expr.get();
            break;
          }
        }
      }
      if (expr->kind == ExprKind::kStar) return OraErr(Unimplemented());
      VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*expr, order_ctx));
      order_keys += SortKey(out) + OrderSuffix(item) + ", ";
    }
    order_column = order_keys;
    step_key = alias + ".\"__ord\"";
  }
  std::string base =
      "(SELECT " + child_columns + key + " AS \"__rn\" FROM " + SourceSql(source) + ")";
  if (siblings) {
    base = "(SELECT " + alias + ".*, row_number() OVER (ORDER BY " + order_column + alias +
           ".\"__rn\") AS \"__ord\" FROM " + base + " AS " + alias + ")";
  }

  // What the rows carry from their parents.
  std::vector<const Expr*> carried;
  bool children = false;
  for (const ast::SelectItem& item : select.items) Scan(*item.expr, &carried, &children);
  if (select.where != nullptr) Scan(*select.where, &carried, &children);
  for (const auto& key_expr : select.group_by) Scan(*key_expr, &carried, &children);
  if (select.having != nullptr) Scan(*select.having, &carried, &children);
  if (!siblings) {
    for (const ast::OrderItem& item : order) Scan(*item.expr, &carried, &children);
  }
  std::string carried_names;
  std::string carried_anchor;
  std::string carried_child;
  auto text_of = [&](const Expr* expr) {
    return sql_.substr(expr->begin, expr->end - expr->begin);
  };
  for (const Expr* expr : carried) {
    HierarchyInfo::Carried entry;
    entry.expr = expr;
    // The same expression written twice (a select item and its GROUP BY key) is one column.
    auto same = std::find_if(info->carried.begin(), info->carried.end(), [&](const auto& other) {
      return text_of(other.expr) == text_of(expr);
    });
    if (same != info->carried.end()) {
      entry.column = same->column;
      entry.type = same->type;
      info->carried.push_back(std::move(entry));
      continue;
    }
    entry.column = QuoteName("__x" + std::to_string(info->carried.size() + 1));
    const std::string parent = "\"__p\"." + entry.column;
    if (expr->kind == ExprKind::kConnectByRoot) {
      VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*expr->args[0], row_ctx));
      entry.type = value.type;
      entry.type.nullable = true;
      carried_anchor += ", " + value.sql;
      carried_child += ", " + parent;
    } else {
      if (expr->args.size() != 2) return OraErr(909, "invalid number of arguments");
      VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*expr->args[0], row_ctx));
      VK_ASSIGN_OR_ORA_RETURN(Out separator, Value(*expr->args[1], row_ctx));
      const std::string text = TextSql(value);
      const std::string sep = TextSql(separator);
      // A value holding the separator would make the path ambiguous: Oracle refuses it. The
      // pieces are joined as || joins them (a NULL adds nothing).
      const std::string check = "CASE WHEN instr(" + text + ", " + sep +
                                ") > 0 THEN vk_error(30004, " + QuoteString(kPathSeparatorError) +
                                ") END";
      entry.type = Typed::Varchar2(4000);
      carried_anchor += ", vk_cat(" + check + ", " + sep + ", " + text + ")";
      carried_child += ", vk_cat(" + parent + ", " + check + ", " + sep + ", " + text + ")";
    }
    carried_names += ", " + entry.column;
    info->carried.push_back(std::move(entry));
  }
  // The parent's path, by which a row's children are found.
  if (children) {
    carried_names = ", \"__pp\"" + carried_names;
    carried_anchor = ", ''" + carried_anchor;
    carried_child = ", \"__p\".\"__path\"" + carried_child;
  }

  Ctx start_ctx{scope, !options_.inline_literals, false, {}};
  start_ctx.level = "1";
  // A row's step in the path: the number of digits of its key as a letter, then the digits,
  // so that paths compare as the sequences of keys do and stay short for small keys.
  const std::string step = "char(96 + length(" + step_key + ")) || " + step_key;
  // DUAL without PRIOR (CONNECT BY LEVEL <= n, the usual way to make n rows) has one row at
  // each level, in order: its level is its whole path. A path of every ancestor would grow with
  // the depth, and the work of each row with it.
  const bool one_row_a_level = !ContainsPrior(*select.connect_by) && scope->sources.size() == 1 &&
                               source.owner == "SYS" && source.table == "DUAL";
  const std::string child_level = "(\"__p\".\"__lvl\" + 1)";
  const std::string anchor_path = one_row_a_level ? std::string("'a1'") : step;
  const std::string child_path = one_row_a_level
                                     ? "char(96 + length(" + child_level + ")) || " + child_level
                                     : "\"__p\".\"__path\" || " + step;
  std::string anchor = "SELECT " + child_columns + row_key + ", 1, " + anchor_path + ", ',' || " +
                       row_key + " || ',', 0" + carried_anchor + " FROM " + base + " AS " + alias;
  if (select.start_with != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(Out start, Condition(*select.start_with, start_ctx));
    anchor += " WHERE " + start.sql;
  }

  Scope prior = *scope;
  for (Source& each : prior.sources) {
    each.sql_alias = "\"__p\"";
    each.stored = false;
  }
  Ctx connect_ctx{scope, !options_.inline_literals, false, {}};
  connect_ctx.prior = &prior;
  connect_ctx.level = child_level;
  VK_ASSIGN_OR_ORA_RETURN(Out connect, Condition(*select.connect_by, connect_ctx));
  // Without PRIOR the condition does not follow rows from parent to child: no loop to find,
  // nor ancestors to keep.
  const bool follows = ContainsPrior(*select.connect_by);
  const std::string cycle =
      follows ? "instr(\"__p\".\"__anc\", ',' || " + row_key + " || ',') > 0" : std::string("0");
  const std::string ancestors =
      follows ? "\"__p\".\"__anc\" || " + row_key + " || ','" : std::string("''");
  // Each row made by recursion is counted and its path measured: a hierarchy that never
  // ends is ORA-30009 instead of all the memory.
  const std::string recursive = "SELECT " + child_columns + row_key +
                                ", vk_connect_level(\"__p\".\"__lvl\" + 1, \"__p\".\"__path\", " +
                                std::to_string(kMaxConnectRows) + "), " + child_path + ", " +
                                ancestors + ", " + cycle + carried_child + " FROM " + table +
                                " AS \"__p\" JOIN " + base + " AS " + alias + " ON " + connect.sql +
                                " WHERE \"__p\".\"__cycle\" = 0";

  info->table = table;
  info->alias = alias;
  info->nocycle = select.nocycle;
  info->children = children;
  for (Source& each : scope->sources) {
    each.physical = table;
    each.stored = false;
    each.has_rowid = false;
  }
  return "WITH RECURSIVE " + table + " (" + names +
         "\"__rn\", \"__lvl\", \"__path\", \"__anc\", \"__cycle\"" + carried_names + ") AS (" +
         anchor + " UNION ALL " + recursive + ")";
}

OraStatus Emitter::JoinForHierarchy(const ast::Select& select, Scope* scope,
                                    std::vector<const Expr*>* taken) {
  // Sources a USING or NATURAL join names together would need their joined columns read
  // through the row as well.
  if (!scope->joined.empty()) return OraErr(Unimplemented());
  Ctx ctx{scope, !options_.inline_literals, false, {}};
  // The conditions of WHERE that join: they name columns of two sources or more and nothing
  // the hierarchy gives (LEVEL, its pseudocolumns and operators), nor a subquery.
  std::vector<const Expr*> conjuncts;
  SplitConjuncts(select.where.get(), &conjuncts);
  std::string join_sql;
  for (const Expr* conjunct : conjuncts) {
    if (ContainsOuterMark(*conjunct)) return OraErr(Unimplemented());
    std::vector<std::size_t> sources;
    bool hierarchical = false;
    auto visit = [&](auto&& self, const Expr& expr) -> void {
      if (expr.query != nullptr || expr.kind == ExprKind::kRownum ||
          expr.kind == ExprKind::kConnectByRoot || expr.kind == ExprKind::kPrior ||
          (expr.kind == ExprKind::kFunction && expr.name == "SYS_CONNECT_BY_PATH")) {
        hierarchical = true;
      }
      if (expr.kind == ExprKind::kColumn) {
        auto found = FindInScope(expr, *scope);
        if (found.has_value()) {
          if (std::find(sources.begin(), sources.end(), found->first) == sources.end()) {
            sources.push_back(found->first);
          }
        } else if (expr.qualifier.empty()) {
          hierarchical = true;  // LEVEL, CONNECT_BY_ISLEAF, or a name the WHERE will refuse
        }
      }
      for (const auto& arg : expr.args) self(self, *arg);
    };
    visit(visit, *conjunct);
    if (hierarchical || sources.size() < 2) continue;
    VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*conjunct, ctx));
    join_sql += (join_sql.empty() ? "" : " AND ") + out.sql;
    taken->push_back(conjunct);
  }
  std::string from_sql;
  std::size_t next = 0;
  for (const auto& from : select.from) {
    VK_ASSIGN_OR_ORA_RETURN(std::string piece, FromSql(*from, *scope, &next, ctx));
    from_sql += (from_sql.empty() ? "" : ", ") + piece;
  }
  std::string columns;
  for (std::size_t idx = 0; idx < scope->sources.size(); ++idx) {
    const Source& source = scope->sources[idx];
    const std::string prefix = "__j" + std::to_string(idx) + "_";
    for (const ColumnInfo& column : source.columns) {
      columns += (columns.empty() ? "" : ", ") + ColumnSql(source, column) + " AS " +
                 QuoteName(prefix + column.name);
    }
  }
  std::string physical = "(SELECT " + columns + " FROM " + from_sql;
  if (!join_sql.empty()) physical += " WHERE " + join_sql;
  physical += ")";
  const std::string alias = QuoteName("__hj" + std::to_string(++views_));
  for (std::size_t idx = 0; idx < scope->sources.size(); ++idx) {
    Source& source = scope->sources[idx];
    source.column_prefix = "__j" + std::to_string(idx) + "_";
    source.sql_alias = alias;
    source.physical = physical;
    source.has_rowid = false;
  }
  return {};
}

OraResult<std::optional<Out>> Emitter::HierarchyValue(const Expr& expr, const Ctx& ctx) {
  const HierarchyInfo* info = ctx.hierarchy;
  const bool leaf = IsPseudocolumn(expr, "CONNECT_BY_ISLEAF");
  const bool cycle = IsPseudocolumn(expr, "CONNECT_BY_ISCYCLE");
  const bool root = expr.kind == ExprKind::kConnectByRoot;
  const bool path = expr.kind == ExprKind::kFunction && expr.name == "SYS_CONNECT_BY_PATH";
  if (!leaf && !cycle && !root && !path) return std::optional<Out>();
  if (info == nullptr) {
    if (path) return OraErr(30002, "SYS_CONNECT_BY_PATH function is not allowed here");
    if (!ctx.level.empty()) {
      if (root) {
        return OraErr(30007,
                      "CONNECT BY ROOT operator is not supported in the START WITH or in the "
                      "CONNECT BY condition");
      }
      return OraErr(976, "Specified pseudocolumn or operator not allowed here.");
    }
    return OraErr(1788, "CONNECT BY clause required in this query block");
  }
  Out out;
  if (leaf || cycle) {
    if (cycle && !info->nocycle) {
      return OraErr(30930, "NOCYCLE keyword is required with CONNECT_BY_ISCYCLE pseudocolumn");
    }
    // A leaf has no child in the hierarchy; a row closes a loop when one of its children is
    // one of its ancestors.
    const std::string child = "EXISTS (SELECT 1 FROM " + info->table +
                              " AS \"__k\" WHERE \"__k\".\"__pp\" = " + info->alias +
                              ".\"__path\" AND \"__k\".\"__cycle\" = " + (leaf ? "0" : "1") + ")";
    out.sql = leaf ? "(CASE WHEN " + child + " THEN 0 ELSE 1 END)"
                   : "(CASE WHEN " + child + " THEN 1 ELSE 0 END)";
    out.type = Typed::Number();
    out.type.nullable = false;
    return std::optional<Out>(std::move(out));
  }
  for (const HierarchyInfo::Carried& carried : info->carried) {
    if (carried.expr != &expr) continue;
    out.sql = info->alias + "." + carried.column;
    out.type = carried.type;
    return std::optional<Out>(std::move(out));
  }
  if (path) return OraErr(30002, "SYS_CONNECT_BY_PATH function is not allowed here");
  return OraErr(976, "Specified pseudocolumn or operator not allowed here.");
}

}  // namespace volmek::engine::emitter_internal
