#include "engine/syntax/parser.h"

#include "engine/syntax/parser_internal.h"

namespace volmek::engine::parser_internal {

bool IsReserved(const Token& token) {
  if (token.kind != TokenKind::kIdentifier) return false;
  for (std::string_view word : kReserved) {
    if (token.IsKeyword(word)) return true;
  }
  return false;
}

bool IsOracleReserved(const Token& token) {
  return token.kind == TokenKind::kIdentifier && IsReservedWord(token.Value());
}

OraError TooDeep() {
  return Ora(600, "internal error code, arguments: [statement nested too deeply]");
}

OraResult<ast::Statement> Parser::Statement() {
  ast::Statement statement;
  const Token& first = Peek();
  if (first.IsKeyword("SELECT") || first.IsKeyword("WITH") || first.IsSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(statement.query, QueryExpr());
  } else if (first.IsKeyword("INSERT") &&
             (Peek(1).IsKeyword("ALL") || Peek(1).IsKeyword("FIRST"))) {
    VK_ASSIGN_OR_ORA_RETURN(statement.multi_insert, MultiInsertStatement());
  } else if (first.IsKeyword("MERGE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement.merge, MergeStatement());
  } else if (first.IsKeyword("INSERT")) {
    VK_ASSIGN_OR_ORA_RETURN(statement.insert, InsertStatement());
  } else if (first.IsKeyword("UPDATE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement.update, UpdateStatement());
  } else if (first.IsKeyword("DELETE")) {
    VK_ASSIGN_OR_ORA_RETURN(statement.del, DeleteStatement());
  } else {
    return OraErr(900, "invalid SQL statement");
  }
  VK_RETURN_IF_ORA_ERROR(End());
  return statement;
}

OraResult<std::unique_ptr<ast::Query>> Parser::QueryOnly() {
  if (!Peek().IsKeyword("SELECT") && !Peek().IsKeyword("WITH") && !Peek().IsSymbol("(")) {
    return OraErr(MissingExpression());
  }
  VK_ASSIGN_OR_ORA_RETURN(auto query, QueryExpr());
  VK_RETURN_IF_ORA_ERROR(End());
  return query;
}

const Token& Parser::Peek(std::size_t ahead) const {
  std::size_t idx = pos_ + ahead;
  return idx < tokens_.size() ? tokens_[idx] : tokens_.back();
}

const Token& Parser::Next() {
  const Token& token = Peek();
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return token;
}

bool Parser::Accept(std::string_view keyword) {
  if (!Peek().IsKeyword(keyword)) return false;
  Next();
  return true;
}

bool Parser::AcceptSymbol(std::string_view symbol) {
  if (!Peek().IsSymbol(symbol)) return false;
  Next();
  return true;
}

std::size_t Parser::EndOfPrevious() const {
  if (pos_ == 0) return 0;
  const Token& prev = tokens_[pos_ - 1];
  return prev.offset + prev.text.size();
}

OraStatus Parser::End() {
  if (Peek().IsEnd()) return {};
  if (Peek().IsSymbol(";")) return OraErr(911, "invalid character");
  return OraErr(NotProperlyEnded());
}

OraStatus Parser::ExpectRightParen() {
  if (AcceptSymbol(")")) return {};
  return OraErr(MissingRightParenthesis());
}

bool Parser::AtAliasName() const {
  const Token& token = Peek();
  if (token.kind == TokenKind::kQuotedIdentifier) return true;
  return token.kind == TokenKind::kIdentifier && !IsReserved(token);
}

OraResult<std::vector<ast::CommonTable>> Parser::WithClause() {
  std::vector<ast::CommonTable> tables;
  do {
    ast::CommonTable table;
    if (!Peek().IsName() || IsReserved(Peek())) return OraErr(903, "invalid table name");
    table.name = Next().Value();
    if (AcceptSymbol("(")) {
      do {
        if (!Peek().IsName()) return OraErr(904, "invalid identifier");
        table.columns.push_back(Next().Value());
      } while (AcceptSymbol(","));
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    }
    if (!Accept("AS")) return OraErr(905, "missing keyword");
    if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
    VK_ASSIGN_OR_ORA_RETURN(table.query, QueryExpr());
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    tables.push_back(std::move(table));
  } while (AcceptSymbol(","));
  return tables;
}

OraResult<std::unique_ptr<ast::Query>> Parser::QueryExpr() {
  std::vector<ast::CommonTable> with;
  if (Accept("WITH")) {
    VK_ASSIGN_OR_ORA_RETURN(with, WithClause());
  }
  VK_ASSIGN_OR_ORA_RETURN(auto left, QueryExprBody());
  left->with = std::move(with);
  return left;
}

OraResult<std::unique_ptr<ast::Query>> Parser::QueryExprBody() {
  VK_ASSIGN_OR_ORA_RETURN(auto left, QueryTerm());
  for (int operations = 0;; ++operations) {
    if (operations > kMaxHeight) return OraErr(TooDeep());
    std::string op;
    if (Accept("UNION")) {
      op = Accept("ALL") ? "UNION ALL" : "UNION";
    } else if (Accept("INTERSECT")) {
      op = "INTERSECT";
    } else if (Accept("MINUS")) {
      op = "MINUS";
    } else {
      break;
    }
    VK_ASSIGN_OR_ORA_RETURN(auto right, QueryTerm());
    auto combined = std::make_unique<ast::Query>();
    combined->set_op = std::move(op);
    combined->left = std::move(left);
    combined->right = std::move(right);
    left = std::move(combined);
  }
  if (Peek().IsKeyword("ORDER")) {
    Next();
    left->order_siblings = Accept("SIBLINGS");
    if (!Accept("BY")) return OraErr(924, "missing BY keyword");
    VK_RETURN_IF_ORA_ERROR(OrderByList(&left->order_by));
  }
  VK_RETURN_IF_ORA_ERROR(RowLimit(left.get()));
  // Row locks mean nothing in a database one writer holds whole: accepted and ignored.
  if (Peek().IsKeyword("FOR") && Peek(1).IsKeyword("UPDATE")) {
    Next();
    Next();
    if (Accept("OF")) {
      do {
        if (!Peek().IsName()) return OraErr(904, "invalid identifier");
        Next();
        if (AcceptSymbol(".") && !Peek().IsName()) return OraErr(904, "invalid identifier");
        if (Peek().IsName() && tokens_[pos_ - 1].IsSymbol(".")) Next();
      } while (AcceptSymbol(","));
    }
    if (!Accept("NOWAIT") && Accept("WAIT")) {
      if (Peek().kind != TokenKind::kNumber) return OraErr(MissingExpression());
      Next();
    }
  }
  return left;
}

// [OFFSET n {ROW | ROWS}] [FETCH {FIRST | NEXT} [n [PERCENT]] {ROW | ROWS} {ONLY | WITH TIES}]
OraStatus Parser::RowLimit(ast::Query* query) {
  auto rows = [&]() -> OraStatus {
    if (Accept("ROW") || Accept("ROWS")) return {};
    return OraErr(905, "missing keyword");
  };
  if (Peek().IsKeyword("OFFSET")) {
    Next();
    VK_ASSIGN_OR_ORA_RETURN(query->offset, Expression());
    VK_RETURN_IF_ORA_ERROR(rows());
  }
  if (!Peek().IsKeyword("FETCH")) return {};
  Next();
  if (!Accept("FIRST") && !Accept("NEXT")) return OraErr(905, "missing keyword");
  query->fetch = true;
  if (!Peek().IsKeyword("ROW") && !Peek().IsKeyword("ROWS")) {
    VK_ASSIGN_OR_ORA_RETURN(query->fetch_count, Expression());
    query->fetch_percent = Accept("PERCENT");
  }
  VK_RETURN_IF_ORA_ERROR(rows());
  if (Accept("ONLY")) return {};
  if (Accept("WITH") && Accept("TIES")) {
    query->fetch_with_ties = true;
    return {};
  }
  return OraErr(905, "missing keyword");
}

OraResult<std::unique_ptr<ast::Query>> Parser::QueryTerm() {
  Nesting nesting(&depth_);
  if (nesting.too_deep()) return OraErr(TooDeep());
  if (AcceptSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(auto inner, QueryExpr());
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    return inner;
  }
  if (!Accept("SELECT")) return OraErr(928, "missing SELECT keyword");
  auto query = std::make_unique<ast::Query>();
  query->select = std::make_unique<ast::Select>();
  ast::Select& select = *query->select;
  if (Accept("DISTINCT") || Accept("UNIQUE")) {
    select.distinct = true;
  } else {
    Accept("ALL");
  }
  do {
    VK_ASSIGN_OR_ORA_RETURN(ast::SelectItem item, SelectListItem());
    select.items.push_back(std::move(item));
  } while (AcceptSymbol(","));
  if (!Accept("FROM")) return OraErr(923, "FROM keyword not found where expected");
  do {
    VK_ASSIGN_OR_ORA_RETURN(auto from, FromEntry());
    select.from.push_back(std::move(from));
  } while (AcceptSymbol(","));
  if (Accept("WHERE")) {
    VK_ASSIGN_OR_ORA_RETURN(select.where, SearchCondition());
  }
  // START WITH and CONNECT BY, in either order.
  for (int round = 0; round < 2; ++round) {
    if (select.start_with == nullptr && Peek().IsKeyword("START")) {
      Next();
      if (!Accept("WITH")) return OraErr(905, "missing keyword");
      VK_ASSIGN_OR_ORA_RETURN(select.start_with, SearchCondition());
    }
    if (select.connect_by == nullptr && Peek().IsKeyword("CONNECT")) {
      Next();
      if (!Accept("BY")) return OraErr(924, "missing BY keyword");
      select.nocycle = Accept("NOCYCLE");
      VK_ASSIGN_OR_ORA_RETURN(select.connect_by, SearchCondition());
    }
  }
  if (select.start_with != nullptr && select.connect_by == nullptr) {
    return OraErr(1788, "CONNECT BY clause required in this query block");
  }
  for (int round = 0; round < 2; ++round) {
    if (select.group_by.empty() && select.grouping_sets.empty() && Peek().IsKeyword("GROUP")) {
      Next();
      if (!Accept("BY")) return OraErr(924, "missing BY keyword");
      VK_RETURN_IF_ORA_ERROR(GroupByList(&select));
    }
    if (select.having == nullptr && Accept("HAVING")) {
      VK_ASSIGN_OR_ORA_RETURN(select.having, SearchCondition());
    }
  }
  return query;
}

OraResult<ast::SelectItem> Parser::SelectListItem() {
  ast::SelectItem item;
  item.begin = Peek().offset;
  if (Peek().IsSymbol("*")) {
    Next();
    item.expr = std::make_unique<Expr>();
    item.expr->kind = ExprKind::kStar;
  } else if (Peek().IsName() && Peek(1).IsSymbol(".") && Peek(2).IsSymbol("*")) {
    item.expr = std::make_unique<Expr>();
    item.expr->kind = ExprKind::kStar;
    item.expr->qualifier = Next().Value();
    Next();
    Next();
  } else {
    VK_ASSIGN_OR_ORA_RETURN(item.expr, Expression());
  }
  item.end = EndOfPrevious();
  item.expr->begin = item.begin;
  item.expr->end = item.end;
  if (item.expr->kind == ExprKind::kStar) return item;
  if (Accept("AS")) {
    if (!AtAliasName()) return OraErr(923, "FROM keyword not found where expected");
    item.alias = Next().Value();
  } else if (AtAliasName()) {
    item.alias = Next().Value();
  }
  return item;
}

OraResult<std::unique_ptr<ast::FromItem>> Parser::FromEntry() {
  VK_ASSIGN_OR_ORA_RETURN(auto left, FromPrimary());
  for (int joins = 0;; ++joins) {
    if (joins > kMaxHeight) return OraErr(TooDeep());
    std::string type;
    const bool natural = Accept("NATURAL");
    if (natural && (Peek().IsKeyword("CROSS") || Peek().IsKeyword("NATURAL"))) {
      return OraErr(905, "missing keyword");
    }
    if (Accept("JOIN")) {
      type = "INNER";
    } else if (Peek().IsKeyword("INNER") && Peek(1).IsKeyword("JOIN")) {
      Next();
      Next();
      type = "INNER";
    } else if (Peek().IsKeyword("CROSS") && Peek(1).IsKeyword("JOIN")) {
      Next();
      Next();
      type = "CROSS";
    } else if (Peek().IsKeyword("LEFT") || Peek().IsKeyword("RIGHT") || Peek().IsKeyword("FULL")) {
      type = Next().Value();
      Accept("OUTER");
      if (!Accept("JOIN")) return OraErr(905, "missing keyword");
    } else if (natural) {
      return OraErr(905, "missing keyword");
    } else {
      break;
    }
    VK_ASSIGN_OR_ORA_RETURN(auto right, FromPrimary());
    auto join = std::make_unique<ast::FromItem>();
    join->kind = ast::FromItem::Kind::kJoin;
    join->join_type = std::move(type);
    join->offset = left->offset;
    join->natural = natural;
    if (join->join_type != "CROSS" && !natural) {
      if (Accept("USING")) {
        if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
        do {
          if (!Peek().IsName() || IsReserved(Peek())) return OraErr(904, "invalid identifier");
          join->using_columns.push_back(Next().Value());
        } while (AcceptSymbol(","));
        VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      } else {
        if (!Accept("ON")) return OraErr(905, "missing keyword");
        VK_ASSIGN_OR_ORA_RETURN(join->on, SearchCondition());
      }
    }
    join->left = std::move(left);
    join->right = std::move(right);
    left = std::move(join);
  }
  return left;
}

OraResult<std::unique_ptr<ast::FromItem>> Parser::FromPrimary() {
  Nesting nesting(&depth_);
  if (nesting.too_deep()) return OraErr(TooDeep());
  auto item = std::make_unique<ast::FromItem>();
  item->offset = Peek().offset;
  if (AcceptSymbol("(")) {
    if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH") || Peek().IsSymbol("(")) {
      item->kind = ast::FromItem::Kind::kSubquery;
      VK_ASSIGN_OR_ORA_RETURN(item->query, QueryExpr());
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    } else {
      // A parenthesised join.
      VK_ASSIGN_OR_ORA_RETURN(item, FromEntry());
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      return item;
    }
  } else {
    VK_ASSIGN_OR_ORA_RETURN(ast::TableName name, TableNameRef());
    item->owner = std::move(name.owner);
    item->name = std::move(name.name);
  }
  if (AtAliasName() && !Peek().IsKeyword("NULLS") && !Peek().IsKeyword("USING")) {
    item->alias = Next().Value();
  }
  return item;
}

OraResult<ast::TableName> Parser::TableNameRef() {
  ast::TableName name;
  name.offset = Peek().offset;
  // Only Oracle's reserved words are refused: a table may be called LEFT or JOIN.
  if (!Peek().IsName() || IsOracleReserved(Peek())) return OraErr(903, "invalid table name");
  name.name = Next().Value();
  if (Peek().IsSymbol(".") && Peek(1).IsName()) {
    Next();
    name.owner = std::move(name.name);
    name.name = Next().Value();
  }
  return name;
}

OraResult<ast::TableName> Parser::DmlTarget() {
  VK_ASSIGN_OR_ORA_RETURN(ast::TableName name, TableNameRef());
  if (AtAliasName()) name.alias = Next().Value();
  return name;
}

OraResult<std::unique_ptr<ast::Insert>> Parser::InsertStatement() {
  Next();  // INSERT
  if (!Accept("INTO")) return OraErr(925, "missing INTO keyword");
  auto insert = std::make_unique<ast::Insert>();
  VK_ASSIGN_OR_ORA_RETURN(insert->table, DmlTarget());
  if (Peek().IsSymbol("(") && Peek(1).IsName()) {
    Next();
    do {
      if (!Peek().IsName()) return OraErr(MissingExpression());
      insert->columns.push_back(Next().Value());
    } while (AcceptSymbol(","));
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  }
  if (Accept("VALUES")) {
    if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
    while (true) {
      VK_ASSIGN_OR_ORA_RETURN(auto value, ColumnValue());
      insert->values.push_back(std::move(value));
      if (AcceptSymbol(",")) continue;
      if (AcceptSymbol(")")) break;
      if (Peek().IsEnd()) return OraErr(MissingRightParenthesis());
      return OraErr(917, "missing comma");
    }
    return insert;
  }
  if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH") ||
      (Peek().IsSymbol("(") && (Peek(1).IsKeyword("SELECT") || Peek(1).IsSymbol("(")))) {
    VK_ASSIGN_OR_ORA_RETURN(insert->query, QueryExpr());
    return insert;
  }
  return OraErr(926, "missing VALUES keyword");
}

OraResult<std::unique_ptr<ast::Update>> Parser::UpdateStatement() {
  Next();  // UPDATE
  auto update = std::make_unique<ast::Update>();
  VK_ASSIGN_OR_ORA_RETURN(update->table, DmlTarget());
  if (!Accept("SET")) return OraErr(971, "missing SET keyword");
  VK_RETURN_IF_ORA_ERROR(SetClause(&update->assignments));
  if (Accept("WHERE")) {
    VK_ASSIGN_OR_ORA_RETURN(update->where, SearchCondition());
  }
  return update;
}

OraResult<ExprPtr> Parser::ColumnValue() {
  const Token& next = Peek(1);
  if (Peek().IsKeyword("DEFAULT") &&
      (next.IsSymbol(",") || next.IsSymbol(")") || next.IsEnd() || next.IsKeyword("WHERE") ||
       next.IsKeyword("WHEN") || next.IsKeyword("DELETE") || next.IsKeyword("INTO") ||
       next.IsKeyword("ELSE") || next.IsKeyword("SELECT"))) {
    auto expr = Make(ExprKind::kDefault, Next().offset);
    return Finish(std::move(expr));
  }
  return Expression();
}

OraResult<std::string> Parser::SetTarget() {
  if (!Peek().IsName() || IsReserved(Peek())) return OraErr(MissingExpression());
  std::string column = Next().Value();
  if (Peek().IsSymbol(".") && Peek(1).IsName()) {
    // alias.column: the qualifier must name the target; the translator checks it.
    Next();
    column = Next().Value();
  }
  return column;
}

OraStatus Parser::SetClause(std::vector<ast::Assignment>* assignments) {
  do {
    ast::Assignment assignment;
    if (AcceptSymbol("(")) {
      do {
        VK_ASSIGN_OR_ORA_RETURN(std::string column, SetTarget());
        assignment.columns.push_back(std::move(column));
      } while (AcceptSymbol(","));
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      if (!AcceptSymbol("=")) return OraErr(927, "missing equal sign");
      const bool query =
          Peek().IsSymbol("(") &&
          (Peek(1).IsKeyword("SELECT") || Peek(1).IsKeyword("WITH") || Peek(1).IsSymbol("("));
      if (!query) return OraErr(1767, "UPDATE ... SET expression must be a subquery");
      VK_ASSIGN_OR_ORA_RETURN(assignment.value, Expression());
      if (assignment.value->kind != ExprKind::kSubquery) {
        return OraErr(1767, "UPDATE ... SET expression must be a subquery");
      }
    } else {
      VK_ASSIGN_OR_ORA_RETURN(assignment.column, SetTarget());
      if (!AcceptSymbol("=")) return OraErr(927, "missing equal sign");
      VK_ASSIGN_OR_ORA_RETURN(assignment.value, ColumnValue());
    }
    assignments->push_back(std::move(assignment));
  } while (AcceptSymbol(","));
  return {};
}

OraResult<std::unique_ptr<ast::Delete>> Parser::DeleteStatement() {
  Next();  // DELETE
  Accept("FROM");
  auto del = std::make_unique<ast::Delete>();
  VK_ASSIGN_OR_ORA_RETURN(del->table, DmlTarget());
  if (Accept("WHERE")) {
    VK_ASSIGN_OR_ORA_RETURN(del->where, SearchCondition());
  }
  return del;
}

}  // namespace volmek::engine::parser_internal

namespace volmek::engine {

using parser_internal::Parser;

OraResult<ast::Statement> ParseStatement(std::string_view sql, const std::vector<Token>& tokens) {
  Parser parser(sql, tokens);
  return parser.Statement();
}

OraResult<std::unique_ptr<ast::Query>> ParseQuery(std::string_view sql,
                                                  const std::vector<Token>& tokens) {
  Parser parser(sql, tokens);
  return parser.QueryOnly();
}

}  // namespace volmek::engine
