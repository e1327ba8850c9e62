// The parser's statements that write several ways at once: MERGE and multitable INSERT.
#include "engine/syntax/parser_internal.h"

namespace volmek::engine::parser_internal {

OraStatus Parser::ValueList(std::vector<ExprPtr>* values) {
  if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
  while (true) {
    VK_ASSIGN_OR_ORA_RETURN(auto value, ColumnValue());
    values->push_back(std::move(value));
    if (AcceptSymbol(",")) continue;
    if (AcceptSymbol(")")) return {};
    if (Peek().IsEnd()) return OraErr(MissingRightParenthesis());
    return OraErr(917, "missing comma");
  }
}

OraStatus Parser::ColumnList(std::vector<std::string>* columns) {
  if (!(Peek().IsSymbol("(") && Peek(1).IsName())) return {};
  Next();
  do {
    if (!Peek().IsName()) return OraErr(MissingExpression());
    std::string column = Next().Value();
    if (Peek().IsSymbol(".") && Peek(1).IsName()) {
      Next();
      column = Next().Value();
    }
    columns->push_back(std::move(column));
  } while (AcceptSymbol(","));
  return ExpectRightParen();
}

OraResult<std::unique_ptr<ast::Merge>> Parser::MergeStatement() {
  Next();  // MERGE
  if (!Accept("INTO")) return OraErr(925, "missing INTO keyword");
  auto merge = std::make_unique<ast::Merge>();
  VK_ASSIGN_OR_ORA_RETURN(merge->target, TableNameRef());
  if (AtAliasName() && !Peek().IsKeyword("USING")) merge->target.alias = Next().Value();
  if (!Accept("USING")) return OraErr(969, "missing ON keyword");
  VK_ASSIGN_OR_ORA_RETURN(merge->source, FromPrimary());
  if (merge->source->kind == ast::FromItem::Kind::kJoin) return OraErr(MissingExpression());
  if (!Accept("ON")) return OraErr(969, "missing ON keyword");
  if (!Peek().IsSymbol("(")) return OraErr(906, "missing left parenthesis");
  VK_ASSIGN_OR_ORA_RETURN(merge->on, SearchCondition());
  while (Accept("WHEN")) {
    const bool negated = Accept("NOT");
    if (!Accept("MATCHED") || !Accept("THEN")) return OraErr(905, "missing keyword");
    if (!negated) {
      if (merge->matched || merge->not_matched) return OraErr(NotProperlyEnded());
      if (!Accept("UPDATE") || !Accept("SET")) return OraErr(905, "missing keyword");
      merge->matched = true;
      VK_RETURN_IF_ORA_ERROR(SetClause(&merge->set));
      if (Accept("WHERE")) {
        VK_ASSIGN_OR_ORA_RETURN(merge->update_where, SearchCondition());
      }
      if (Accept("DELETE")) {
        if (!Accept("WHERE")) return OraErr(905, "missing keyword");
        VK_ASSIGN_OR_ORA_RETURN(merge->delete_where, SearchCondition());
      }
      continue;
    }
    if (merge->not_matched) return OraErr(NotProperlyEnded());
    if (!Accept("INSERT")) return OraErr(905, "missing keyword");
    merge->not_matched = true;
    VK_RETURN_IF_ORA_ERROR(ColumnList(&merge->insert_columns));
    if (!Accept("VALUES")) return OraErr(926, "missing VALUES keyword");
    VK_RETURN_IF_ORA_ERROR(ValueList(&merge->insert_values));
    if (Accept("WHERE")) {
      VK_ASSIGN_OR_ORA_RETURN(merge->insert_where, SearchCondition());
    }
  }
  if (!merge->matched && !merge->not_matched) return OraErr(905, "missing keyword");
  return merge;
}

OraResult<std::unique_ptr<ast::MultiInsert>> Parser::MultiInsertStatement() {
  Next();  // INSERT
  auto insert = std::make_unique<ast::MultiInsert>();
  insert->first = Next().IsKeyword("FIRST");
  auto into_clauses = [&](ast::MultiInsert::Branch* branch) -> OraStatus {
    if (!Peek().IsKeyword("INTO")) return OraErr(925, "missing INTO keyword");
    while (Accept("INTO")) {
      ast::InsertInto into;
      VK_ASSIGN_OR_ORA_RETURN(into.table, DmlTarget());
      VK_RETURN_IF_ORA_ERROR(ColumnList(&into.columns));
      if (Accept("VALUES")) {
        into.has_values = true;
        VK_RETURN_IF_ORA_ERROR(ValueList(&into.values));
      }
      branch->intos.push_back(std::move(into));
    }
    return {};
  };
  if (Peek().IsKeyword("WHEN")) {
    while (Accept("WHEN")) {
      ast::MultiInsert::Branch branch;
      VK_ASSIGN_OR_ORA_RETURN(branch.when, SearchCondition());
      if (!Accept("THEN")) return OraErr(905, "missing keyword");
      VK_RETURN_IF_ORA_ERROR(into_clauses(&branch));
      insert->branches.push_back(std::move(branch));
    }
    if (Accept("ELSE")) {
      ast::MultiInsert::Branch branch;
      branch.otherwise = true;
      VK_RETURN_IF_ORA_ERROR(into_clauses(&branch));
      insert->branches.push_back(std::move(branch));
    }
  } else {
    // FIRST takes only conditions.
    if (insert->first) return OraErr(905, "missing keyword");
    ast::MultiInsert::Branch branch;
    VK_RETURN_IF_ORA_ERROR(into_clauses(&branch));
    insert->branches.push_back(std::move(branch));
  }
  if (!(Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH") || Peek().IsSymbol("("))) {
    return OraErr(928, "missing SELECT keyword");
  }
  VK_ASSIGN_OR_ORA_RETURN(insert->query, QueryExpr());
  return insert;
}

}  // namespace volmek::engine::parser_internal
