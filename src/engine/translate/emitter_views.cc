// Emitter: INSERT, UPDATE and DELETE through a view, written onto the one table under it.
//
// A view takes DML when its query is one SELECT of one table, without DISTINCT, GROUP BY,
// HAVING, aggregates, CONNECT BY or ROWNUM (else ORA-01732). Its columns that are columns of
// the table are written to them; the others are computed ("virtual": ORA-01733 when written,
// readable in SET and WHERE). UPDATE and DELETE reach only the rows the view shows (its WHERE
// is added); WITH CHECK OPTION refuses rows it would not show after the write (ORA-01402);
// WITH READ ONLY refuses DML (ORA-42399).
#include "engine/syntax/lexer.h"
#include "engine/syntax/parser.h"
#include "engine/translate/emitter_internal.h"

namespace volmek::engine::emitter_internal {
namespace {

OraError NotOnThisView() { return Ora(1732, "data manipulation operation not legal on this view"); }

bool HasRownum(const Expr& expr) {
  if (expr.kind == ExprKind::kRownum) return true;
  for (const auto& arg : expr.args) {
    if (HasRownum(*arg)) return true;
  }
  return false;
}

}  // namespace

OraResult<Source> Emitter::ViewTarget(TableInfo view, const ast::TableName& name,
                                      Translation* translation) {
  if (view.view_text.empty()) return OraErr(NotOnThisView());
  if (view.view_option == "READ ONLY") {
    return OraErr(42399, "cannot perform a DML operation on a read-only view");
  }
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(view.view_text));
  // The view's tree lives as long as the emitter: the translation refers to its expressions.
  view_texts_.push_back(std::make_unique<std::string>(view.view_text));
  VK_ASSIGN_OR_ORA_RETURN(std::unique_ptr<ast::Query> query,
                          ParseQuery(*view_texts_.back(), tokens));
  const ast::Query& parsed = *view_queries_.emplace_back(std::move(query));
  if (!parsed.with.empty() || parsed.select == nullptr) return OraErr(NotOnThisView());
  const ast::Select& select = *parsed.select;
  if (select.distinct || !select.group_by.empty() || !select.grouping_sets.empty() ||
      select.having != nullptr || select.connect_by != nullptr || select.from.size() != 1 ||
      select.from[0]->kind != ast::FromItem::Kind::kTable) {
    return OraErr(NotOnThisView());
  }
  if (select.where != nullptr && HasRownum(*select.where)) return OraErr(NotOnThisView());
  const ast::FromItem& from = *select.from[0];
  VK_ASSIGN_OR_ORA_RETURN(TableInfo base_info, LookUp(from.owner, from.name));
  // A view of a view would need the lower view's rules too.
  if (base_info.is_view) return OraErr(Unimplemented());

  const std::string dml_name = name.alias.empty() ? view.name : name.alias;
  Source base = TableSource(base_info, from.alias);
  base.sql_alias = QuoteName(dml_name);
  Scope scope;
  scope.sources.push_back(base);
  // The view's literals go into the text: their slots are not the statement's.
  const std::size_t fixed = plan_->fixed_slots.size();
  // Names of expressions are taken from the view's text while it is written.
  struct InView {
    Emitter* emitter;
    std::string_view sql;
    ~InView() {
      emitter->view_literals_ = false;
      emitter->sql_ = sql;
    }
  } in_view{this, sql_};
  view_literals_ = true;
  sql_ = *view_texts_.back();
  Ctx ctx{&scope, false, false, {}};
  Source target = TableSource(std::move(base_info), name.alias);
  target.name = dml_name;
  target.sql_alias = base.sql_alias;
  target.base_columns = target.columns;
  target.columns = view.columns;
  for (const ast::SelectItem& item : select.items) {
    if (item.expr->kind == ExprKind::kStar) {
      if (!item.expr->qualifier.empty() && item.expr->qualifier != base.name) {
        return OraErr(InvalidIdentifier(QuoteName(item.expr->qualifier)));
      }
      for (std::size_t idx = 0; idx < base.columns.size(); ++idx) {
        target.view_columns.push_back({ColumnSql(base, base.columns[idx]), idx});
      }
      continue;
    }
    if (HasRownum(*item.expr)) return OraErr(NotOnThisView());
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*item.expr, ctx));
    if (out.aggregate) return OraErr(NotOnThisView());
    std::optional<std::size_t> written;
    if (item.expr->kind == ExprKind::kColumn) {
      auto found = FindInScope(*item.expr, scope);
      if (found.has_value()) written = found->second;
    }
    target.view_columns.push_back({"(" + out.sql + ")", written});
  }
  if (target.view_columns.size() != target.columns.size()) return OraErr(NotOnThisView());
  if (select.where != nullptr) {
    VK_ASSIGN_OR_ORA_RETURN(Out where, Condition(*select.where, ctx));
    target.view_where = where.sql;
  }
  plan_->fixed_slots.resize(fixed);
  target.view_check = view.view_option == "CHECK OPTION";
  translation->target_owner = target.owner;
  translation->target_table = target.table;
  return target;
}

OraResult<ColumnInfo> Emitter::Writable(const Source& target, std::size_t idx) {
  if (target.view_columns.empty()) return target.columns[idx];
  const std::optional<std::size_t>& base = target.view_columns[idx].base;
  if (!base.has_value()) return OraErr(1733, "virtual column not allowed here");
  return target.base_columns[*base];
}

void Emitter::CheckOption(const Source& target, const std::string& rows,
                          std::vector<Translation::Step>* steps) {
  // A row for which the WHERE is unknown is not the view's either.
  steps->push_back({"SELECT vk_error(1402, 'view WITH CHECK OPTION where-clause violation') FROM " +
                        SourceSql(target) + " WHERE " + rows + " AND (CASE WHEN " +
                        (target.view_where.empty() ? "1" : target.view_where) +
                        " THEN 0 ELSE 1 END) LIMIT 1",
                    false});
}

}  // namespace volmek::engine::emitter_internal
