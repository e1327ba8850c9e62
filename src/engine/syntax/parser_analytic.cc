// Parser: ORDER BY lists, the OVER and WITHIN GROUP clauses of analytic and ordered-set
// functions, and GROUP BY with ROLLUP, CUBE and GROUPING SETS.
#include "engine/syntax/parser_internal.h"

namespace volmek::engine::parser_internal {

namespace {

// Each grouping set adds the query's rows once more to the grouping: more sets than this (a
// CUBE of nine columns) are refused rather than let a statement multiply its rows beyond use.
constexpr std::size_t kMaxGroupingSets = 256;

OraError TooManyGroupingSets() { return Ora(3001, "unimplemented feature"); }

}  // namespace

OraStatus Parser::OrderByList(std::vector<ast::OrderItem>* items) {
  do {
    ast::OrderItem item;
    VK_ASSIGN_OR_ORA_RETURN(item.expr, Expression());
    if (Accept("DESC")) {
      item.descending = true;
    } else {
      Accept("ASC");
    }
    if (Accept("NULLS")) {
      if (Accept("FIRST")) {
        item.nulls = 1;
      } else if (Accept("LAST")) {
        item.nulls = 2;
      } else {
        return OraErr(905, "missing keyword");
      }
    }
    items->push_back(std::move(item));
  } while (AcceptSymbol(","));
  return {};
}

void Parser::NullTreatment(Expr* expr) {
  if ((Peek().IsKeyword("IGNORE") || Peek().IsKeyword("RESPECT")) && Peek(1).IsKeyword("NULLS")) {
    expr->ignore_nulls = Next().IsKeyword("IGNORE");
    Next();
  }
}

OraStatus Parser::AnalyticClauses(Expr* expr) {
  if (Peek().IsKeyword("KEEP") && Peek(1).IsSymbol("(")) {
    Next();
    Next();
    if (!Accept("DENSE_RANK")) return OraErr(905, "missing keyword");
    if (!Peek().IsKeyword("FIRST") && !Peek().IsKeyword("LAST")) {
      return OraErr(905, "missing keyword");
    }
    expr->keep = Next().Value();
    if (!Accept("ORDER")) return OraErr(30491, "missing ORDER BY clause");
    if (!Accept("BY")) return OraErr(924, "missing BY keyword");
    expr->within_group = std::make_unique<ast::Window>();
    VK_RETURN_IF_ORA_ERROR(OrderByList(&expr->within_group->order_by));
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  }
  if (Peek().IsKeyword("WITHIN") && Peek(1).IsKeyword("GROUP")) {
    Next();
    Next();
    if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
    if (!Accept("ORDER")) return OraErr(30491, "missing ORDER BY clause");
    if (!Accept("BY")) return OraErr(924, "missing BY keyword");
    expr->within_group = std::make_unique<ast::Window>();
    VK_RETURN_IF_ORA_ERROR(OrderByList(&expr->within_group->order_by));
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  }
  if ((Peek().IsKeyword("IGNORE") || Peek().IsKeyword("RESPECT")) && Peek(1).IsKeyword("NULLS") &&
      Peek(2).IsKeyword("OVER")) {
    NullTreatment(expr);
  }
  if (Peek().IsKeyword("OVER") && Peek(1).IsSymbol("(")) {
    Next();
    VK_ASSIGN_OR_ORA_RETURN(expr->over, OverClause());
  }
  return {};
}

OraResult<std::unique_ptr<ast::Window>> Parser::OverClause() {
  Next();  // (
  auto window = std::make_unique<ast::Window>();
  if (Peek().IsKeyword("PARTITION")) {
    Next();
    if (!Accept("BY")) return OraErr(924, "missing BY keyword");
    do {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr key, Expression());
      window->partition_by.push_back(std::move(key));
    } while (AcceptSymbol(","));
  }
  if (Accept("ORDER")) {
    if (!Accept("BY")) return OraErr(924, "missing BY keyword");
    VK_RETURN_IF_ORA_ERROR(OrderByList(&window->order_by));
    if (Peek().IsKeyword("ROWS") || Peek().IsKeyword("RANGE")) {
      window->units = Next().Value();
      if (Accept("BETWEEN")) {
        VK_ASSIGN_OR_ORA_RETURN(window->start, FrameBoundary());
        if (!Accept("AND")) return OraErr(905, "missing keyword");
        VK_ASSIGN_OR_ORA_RETURN(window->end, FrameBoundary());
      } else {
        VK_ASSIGN_OR_ORA_RETURN(window->start, FrameBoundary());
      }
    }
  }
  VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  return window;
}

OraResult<ast::FrameBound> Parser::FrameBoundary() {
  using Kind = ast::FrameBound::Kind;
  ast::FrameBound bound;
  if (Accept("UNBOUNDED")) {
    if (Accept("PRECEDING")) {
      bound.kind = Kind::kUnboundedPreceding;
    } else if (Accept("FOLLOWING")) {
      bound.kind = Kind::kUnboundedFollowing;
    } else {
      return OraErr(905, "missing keyword");
    }
    return bound;
  }
  if (Peek().IsKeyword("CURRENT") && Peek(1).IsKeyword("ROW")) {
    Next();
    Next();
    bound.kind = Kind::kCurrentRow;
    return bound;
  }
  VK_ASSIGN_OR_ORA_RETURN(bound.offset, Expression());
  if (Accept("PRECEDING")) {
    bound.kind = Kind::kPreceding;
  } else if (Accept("FOLLOWING")) {
    bound.kind = Kind::kFollowing;
  } else {
    return OraErr(905, "missing keyword");
  }
  return bound;
}

OraResult<std::vector<std::size_t>> Parser::GroupingColumns(ast::Select* select, bool empty_ok) {
  std::vector<std::size_t> columns;
  if (Peek().IsSymbol("(")) {
    // (a, b) is a composite column, but (a) + 1 an expression: read the list, and read it
    // again as an expression unless a comma or the closing parenthesis follows it.
    const std::size_t saved = pos_;
    Next();
    if (AcceptSymbol(")")) {
      if (!empty_ok) return OraErr(MissingExpression());
      return columns;
    }
    std::vector<ExprPtr> list;
    bool composite = true;
    do {
      auto value = Expression();
      if (!value.has_value()) {
        composite = false;
        break;
      }
      list.push_back(std::move(*value));
    } while (AcceptSymbol(","));
    if (composite && AcceptSymbol(")") && (Peek().IsSymbol(",") || Peek().IsSymbol(")"))) {
      for (ExprPtr& value : list) {
        columns.push_back(select->group_by.size());
        select->group_by.push_back(std::move(value));
      }
      return columns;
    }
    pos_ = saved;
  }
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr value, Expression());
  columns.push_back(select->group_by.size());
  select->group_by.push_back(std::move(value));
  return columns;
}

OraResult<ast::GroupingSets> Parser::RollupOrCube(ast::Select* select, bool cube) {
  if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
  std::vector<std::vector<std::size_t>> items;
  do {
    VK_ASSIGN_OR_ORA_RETURN(auto columns, GroupingColumns(select, false));
    items.push_back(std::move(columns));
  } while (AcceptSymbol(","));
  VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  ast::GroupingSets sets;
  if (!cube) {
    // ROLLUP (a, b, c): (a, b, c), (a, b), (a), ().
    for (std::size_t kept = items.size() + 1; kept-- > 0;) {
      std::vector<std::size_t> set;
      for (std::size_t idx = 0; idx < kept; ++idx) {
        set.insert(set.end(), items[idx].begin(), items[idx].end());
      }
      sets.push_back(std::move(set));
    }
    return sets;
  }
  // CUBE (a, b): every subset, the whole first.
  if (items.size() > 8) return OraErr(TooManyGroupingSets());
  const std::size_t count = std::size_t{1} << items.size();
  for (std::size_t mask = count; mask-- > 0;) {
    std::vector<std::size_t> set;
    for (std::size_t idx = 0; idx < items.size(); ++idx) {
      if ((mask >> (items.size() - 1 - idx)) & 1) {
        set.insert(set.end(), items[idx].begin(), items[idx].end());
      }
    }
    sets.push_back(std::move(set));
  }
  return sets;
}

OraStatus Parser::GroupByList(ast::Select* select) {
  // Each element stands for a list of grouping sets; the element list stands for every
  // combination of one set of each (GROUP BY a, ROLLUP (b) is (a, b), (a)).
  ast::GroupingSets sets = {{}};
  bool plain = true;
  do {
    ast::GroupingSets element;
    if ((Peek().IsKeyword("ROLLUP") || Peek().IsKeyword("CUBE")) && Peek(1).IsSymbol("(")) {
      const bool cube = Next().IsKeyword("CUBE");
      VK_ASSIGN_OR_ORA_RETURN(element, RollupOrCube(select, cube));
      plain = false;
    } else if (Peek().IsKeyword("GROUPING") && Peek(1).IsKeyword("SETS")) {
      Next();
      Next();
      if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
      do {
        if ((Peek().IsKeyword("ROLLUP") || Peek().IsKeyword("CUBE")) && Peek(1).IsSymbol("(")) {
          const bool cube = Next().IsKeyword("CUBE");
          VK_ASSIGN_OR_ORA_RETURN(ast::GroupingSets inner, RollupOrCube(select, cube));
          element.insert(element.end(), inner.begin(), inner.end());
        } else {
          VK_ASSIGN_OR_ORA_RETURN(auto columns, GroupingColumns(select, true));
          element.push_back(std::move(columns));
        }
        if (element.size() > kMaxGroupingSets) return OraErr(TooManyGroupingSets());
      } while (AcceptSymbol(","));
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      plain = false;
    } else {
      // An expression, a parenthesised list of them, or () (the grand total alone).
      VK_ASSIGN_OR_ORA_RETURN(auto columns, GroupingColumns(select, true));
      if (columns.empty()) plain = false;
      element.push_back(std::move(columns));
    }
    ast::GroupingSets combined;
    for (const auto& left : sets) {
      for (const auto& right : element) {
        std::vector<std::size_t> set = left;
        set.insert(set.end(), right.begin(), right.end());
        combined.push_back(std::move(set));
      }
    }
    if (combined.size() > kMaxGroupingSets) return OraErr(TooManyGroupingSets());
    sets = std::move(combined);
  } while (AcceptSymbol(","));
  if (!plain) select->grouping_sets = std::move(sets);
  return {};
}

}  // namespace volmek::engine::parser_internal
