#include "engine/syntax/parser.h"

#include <algorithm>
#include <array>
#include <utility>

namespace volmek::engine {
namespace {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;

// Words that cannot be a column, an alias or a table name without quotes: meeting one where
// a name is expected ends the clause (or is the error of a missing expression).
constexpr std::array<std::string_view, 52> kReserved = {
    "ALL",     "AND",    "ANY",   "AS",     "ASC",    "BETWEEN",  "BY",      "CASE",   "CHECK",
    "CONNECT", "CREATE", "CROSS", "DELETE", "DESC",   "DISTINCT", "ELSE",    "END",    "EXISTS",
    "FOR",     "FROM",   "FULL",  "GROUP",  "HAVING", "IN",       "INNER",   "INSERT", "INTERSECT",
    "INTO",    "IS",     "JOIN",  "LEFT",   "LIKE",   "MINUS",    "NATURAL", "NOT",    "NULL",
    "ON",      "OR",     "ORDER", "OUTER",  "PRIOR",  "RIGHT",    "SELECT",  "SET",    "SOME",
    "START",   "THEN",   "UNION", "UPDATE", "VALUES", "WHEN",     "WHERE"};

bool IsReserved(const Token& token) {
  if (token.kind != TokenKind::kIdentifier) return false;
  for (std::string_view word : kReserved) {
    if (token.IsKeyword(word)) return true;
  }
  return false;
}

// Statements nested deeper than this are refused: the parser, the translator and SQLite all
// recurse over the tree, and a hostile text must not exhaust the stack.
constexpr int kMaxNesting = 600;
constexpr int kMaxHeight = 400;

OraError TooDeep() {
  return Ora(600, "internal error code, arguments: [statement nested too deeply]");
}

OraError MissingExpression() { return Ora(936, "missing expression"); }
OraError MissingRightParenthesis() { return Ora(907, "missing right parenthesis"); }
OraError NotProperlyEnded() { return Ora(933, "SQL command not properly ended"); }

class Parser {
 public:
  Parser(std::string_view sql, const std::vector<Token>& tokens) : sql_(sql), tokens_(tokens) {
    slots_.resize(tokens.size(), -1);
    int next = 0;
    for (std::size_t idx = 0; idx < tokens.size(); ++idx) {
      if (tokens[idx].kind == TokenKind::kString || tokens[idx].kind == TokenKind::kNumber) {
        slots_[idx] = next++;
      }
    }
  }

  OraResult<ast::Statement> Statement() {
    ast::Statement statement;
    const Token& first = Peek();
    if (first.IsKeyword("SELECT") || first.IsKeyword("WITH") || first.IsSymbol("(")) {
      VK_ASSIGN_OR_ORA_RETURN(statement.query, QueryExpr());
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

  OraResult<std::unique_ptr<ast::Query>> QueryOnly() {
    if (!Peek().IsKeyword("SELECT") && !Peek().IsKeyword("WITH") && !Peek().IsSymbol("(")) {
      return OraErr(MissingExpression());
    }
    VK_ASSIGN_OR_ORA_RETURN(auto query, QueryExpr());
    VK_RETURN_IF_ORA_ERROR(End());
    return query;
  }

 private:
  const Token& Peek(std::size_t ahead = 0) const {
    std::size_t idx = pos_ + ahead;
    return idx < tokens_.size() ? tokens_[idx] : tokens_.back();
  }
  const Token& Next() {
    const Token& token = Peek();
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return token;
  }
  bool Accept(std::string_view keyword) {
    if (!Peek().IsKeyword(keyword)) return false;
    Next();
    return true;
  }
  bool AcceptSymbol(std::string_view symbol) {
    if (!Peek().IsSymbol(symbol)) return false;
    Next();
    return true;
  }
  std::size_t EndOfPrevious() const {
    if (pos_ == 0) return 0;
    const Token& prev = tokens_[pos_ - 1];
    return prev.offset + prev.text.size();
  }

  OraStatus End() {
    if (Peek().IsEnd()) return {};
    if (Peek().IsSymbol(";")) return OraErr(911, "invalid character");
    return OraErr(NotProperlyEnded());
  }

  OraStatus ExpectRightParen() {
    if (AcceptSymbol(")")) return {};
    return OraErr(MissingRightParenthesis());
  }

  // A name that may be an alias: a quoted identifier, or an unquoted one that is no keyword.
  bool AtAliasName() const {
    const Token& token = Peek();
    if (token.kind == TokenKind::kQuotedIdentifier) return true;
    return token.kind == TokenKind::kIdentifier && !IsReserved(token);
  }

  // ---- queries ----

  OraResult<std::vector<ast::CommonTable>> WithClause() {
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

  OraResult<std::unique_ptr<ast::Query>> QueryExpr() {
    std::vector<ast::CommonTable> with;
    if (Accept("WITH")) {
      VK_ASSIGN_OR_ORA_RETURN(with, WithClause());
    }
    VK_ASSIGN_OR_ORA_RETURN(auto left, QueryExprBody());
    left->with = std::move(with);
    return left;
  }

  OraResult<std::unique_ptr<ast::Query>> QueryExprBody() {
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
      if (!Accept("BY")) return OraErr(924, "missing BY keyword");
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
        left->order_by.push_back(std::move(item));
      } while (AcceptSymbol(","));
    }
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

  OraResult<std::unique_ptr<ast::Query>> QueryTerm() {
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
      if (select.group_by.empty() && Peek().IsKeyword("GROUP")) {
        Next();
        if (!Accept("BY")) return OraErr(924, "missing BY keyword");
        do {
          VK_ASSIGN_OR_ORA_RETURN(auto key, Expression());
          select.group_by.push_back(std::move(key));
        } while (AcceptSymbol(","));
      }
      if (select.having == nullptr && Accept("HAVING")) {
        VK_ASSIGN_OR_ORA_RETURN(select.having, SearchCondition());
      }
    }
    return query;
  }

  OraResult<ast::SelectItem> SelectListItem() {
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

  OraResult<std::unique_ptr<ast::FromItem>> FromEntry() {
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
      } else if (Peek().IsKeyword("LEFT") || Peek().IsKeyword("RIGHT") ||
                 Peek().IsKeyword("FULL")) {
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

  OraResult<std::unique_ptr<ast::FromItem>> FromPrimary() {
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

  // [owner.]name, without alias.
  OraResult<ast::TableName> TableNameRef() {
    ast::TableName name;
    name.offset = Peek().offset;
    if (!Peek().IsName() || IsReserved(Peek())) return OraErr(903, "invalid table name");
    name.name = Next().Value();
    if (Peek().IsSymbol(".") && Peek(1).IsName()) {
      Next();
      name.owner = std::move(name.name);
      name.name = Next().Value();
    }
    return name;
  }

  OraResult<ast::TableName> DmlTarget() {
    VK_ASSIGN_OR_ORA_RETURN(ast::TableName name, TableNameRef());
    if (AtAliasName()) name.alias = Next().Value();
    return name;
  }

  // ---- DML ----

  OraResult<std::unique_ptr<ast::Insert>> InsertStatement() {
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
        VK_ASSIGN_OR_ORA_RETURN(auto value, Expression());
        insert->values.push_back(std::move(value));
        if (AcceptSymbol(",")) continue;
        if (AcceptSymbol(")")) break;
        if (Peek().IsEnd()) return OraErr(MissingRightParenthesis());
        return OraErr(917, "missing comma");
      }
      return insert;
    }
    if (Peek().IsKeyword("SELECT") ||
        (Peek().IsSymbol("(") && (Peek(1).IsKeyword("SELECT") || Peek(1).IsSymbol("(")))) {
      VK_ASSIGN_OR_ORA_RETURN(insert->query, QueryExpr());
      return insert;
    }
    return OraErr(926, "missing VALUES keyword");
  }

  OraResult<std::unique_ptr<ast::Update>> UpdateStatement() {
    Next();  // UPDATE
    auto update = std::make_unique<ast::Update>();
    VK_ASSIGN_OR_ORA_RETURN(update->table, DmlTarget());
    if (!Accept("SET")) return OraErr(971, "missing SET keyword");
    do {
      ast::Assignment assignment;
      if (!Peek().IsName() || IsReserved(Peek())) return OraErr(MissingExpression());
      assignment.column = Next().Value();
      if (Peek().IsSymbol(".") && Peek(1).IsName()) {
        // alias.column: the qualifier must name the target; the translator checks it.
        Next();
        assignment.column = Next().Value();
      }
      if (!AcceptSymbol("=")) return OraErr(927, "missing equal sign");
      VK_ASSIGN_OR_ORA_RETURN(assignment.value, Expression());
      update->assignments.push_back(std::move(assignment));
    } while (AcceptSymbol(","));
    if (Accept("WHERE")) {
      VK_ASSIGN_OR_ORA_RETURN(update->where, SearchCondition());
    }
    return update;
  }

  OraResult<std::unique_ptr<ast::Delete>> DeleteStatement() {
    Next();  // DELETE
    Accept("FROM");
    auto del = std::make_unique<ast::Delete>();
    VK_ASSIGN_OR_ORA_RETURN(del->table, DmlTarget());
    if (Accept("WHERE")) {
      VK_ASSIGN_OR_ORA_RETURN(del->where, SearchCondition());
    }
    return del;
  }

  // ---- expressions ----

  ExprPtr Make(ExprKind kind, std::size_t begin) {
    auto expr = std::make_unique<Expr>();
    expr->kind = kind;
    expr->begin = begin;
    return expr;
  }
  ExprPtr Finish(ExprPtr expr) {
    expr->end = EndOfPrevious();
    for (const auto& arg : expr->args) expr->height = std::max(expr->height, arg->height + 1);
    return expr;
  }
  // Refuses a tree grown too tall through long operator chains (a + a + ... + a).
  static OraResult<ExprPtr> Checked(ExprPtr expr) {
    if (expr->height > kMaxHeight) return OraErr(TooDeep());
    return expr;
  }
  ExprPtr Binary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right) {
    auto expr = Make(kind, left->begin);
    expr->op = std::move(op);
    expr->args.push_back(std::move(left));
    expr->args.push_back(std::move(right));
    return Finish(std::move(expr));
  }

  // A condition where SQL wants a truth value (WHERE, ON, HAVING, START WITH, CONNECT BY, WHEN):
  // a value standing alone there, such as `where 1` or `connect by level`, is ORA-00920.
  OraResult<ExprPtr> SearchCondition() {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr condition, Condition());
    if (!IsTruthValue(*condition)) return OraErr(920, "invalid relational operator");
    return condition;
  }

  static bool IsTruthValue(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::kAnd:
      case ExprKind::kOr:
      case ExprKind::kNot:
        for (const ExprPtr& arg : expr.args) {
          if (!IsTruthValue(*arg)) return false;
        }
        return true;
      case ExprKind::kCompare:
      case ExprKind::kIn:
      case ExprKind::kBetween:
      case ExprKind::kLike:
      case ExprKind::kIsNull:
      case ExprKind::kExists:
      case ExprKind::kQuantified:
        return true;
      default:
        return false;
    }
  }

  // Conditions and values share one grammar below this point: a parenthesised value and a
  // function argument are read as conditions too.
  OraResult<ExprPtr> Condition() {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, AndCondition());
    while (Accept("OR")) {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, AndCondition());
      left = Binary(ExprKind::kOr, "OR", std::move(left), std::move(right));
      if (left->height > kMaxHeight) return OraErr(TooDeep());
    }
    return Checked(std::move(left));
  }

  OraResult<ExprPtr> AndCondition() {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, NotCondition());
    while (Accept("AND")) {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, NotCondition());
      left = Binary(ExprKind::kAnd, "AND", std::move(left), std::move(right));
      if (left->height > kMaxHeight) return OraErr(TooDeep());
    }
    return Checked(std::move(left));
  }

  OraResult<ExprPtr> NotCondition() {
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return OraErr(TooDeep());
    if (Peek().IsKeyword("NOT")) {
      std::size_t begin = Next().offset;
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr inner, NotCondition());
      auto expr = Make(ExprKind::kNot, begin);
      expr->args.push_back(std::move(inner));
      return Finish(std::move(expr));
    }
    return Predicate();
  }

  OraResult<ExprPtr> Predicate() {
    if (Peek().IsKeyword("EXISTS")) {
      std::size_t begin = Next().offset;
      if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
      auto expr = Make(ExprKind::kExists, begin);
      VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      return Finish(std::move(expr));
    }
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, Expression());
    const Token& token = Peek();
    if (token.kind == TokenKind::kSymbol) {
      std::string op(token.text);
      if (op == "!=" || op == "^=" || op == "~=") op = "<>";
      if (op == "=" || op == "<>" || op == "<" || op == "<=" || op == ">" || op == ">=") {
        Next();
        if (Peek().IsKeyword("ANY") || Peek().IsKeyword("SOME") || Peek().IsKeyword("ALL")) {
          return Quantified(std::move(op), std::move(left));
        }
        VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, Expression());
        return Binary(ExprKind::kCompare, std::move(op), std::move(left), std::move(right));
      }
      return left;
    }
    bool negated = false;
    if (token.IsKeyword("NOT") &&
        (Peek(1).IsKeyword("IN") || Peek(1).IsKeyword("BETWEEN") || Peek(1).IsKeyword("LIKE"))) {
      Next();
      negated = true;
    }
    if (Accept("IS")) {
      auto expr = Make(ExprKind::kIsNull, left->begin);
      expr->negated = Accept("NOT");
      if (!Accept("NULL")) return OraErr(908, "missing NULL keyword");
      expr->args.push_back(std::move(left));
      return Finish(std::move(expr));
    }
    if (Accept("IN")) {
      auto expr = Make(ExprKind::kIn, left->begin);
      expr->negated = negated;
      expr->args.push_back(std::move(left));
      if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
      if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH")) {
        VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
      } else {
        do {
          VK_ASSIGN_OR_ORA_RETURN(ExprPtr value, Expression());
          expr->args.push_back(std::move(value));
        } while (AcceptSymbol(","));
      }
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      return Finish(std::move(expr));
    }
    if (Accept("BETWEEN")) {
      auto expr = Make(ExprKind::kBetween, left->begin);
      expr->negated = negated;
      expr->args.push_back(std::move(left));
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr low, Expression());
      if (!Accept("AND")) return OraErr(905, "missing keyword");
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr high, Expression());
      expr->args.push_back(std::move(low));
      expr->args.push_back(std::move(high));
      return Finish(std::move(expr));
    }
    if (Accept("LIKE")) {
      auto expr = Make(ExprKind::kLike, left->begin);
      expr->negated = negated;
      expr->args.push_back(std::move(left));
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr pattern, Expression());
      expr->args.push_back(std::move(pattern));
      if (Accept("ESCAPE")) {
        VK_ASSIGN_OR_ORA_RETURN(ExprPtr escape, Expression());
        expr->args.push_back(std::move(escape));
      }
      return Finish(std::move(expr));
    }
    return left;
  }

  // left op ANY|SOME|ALL (list | query), at the quantifier.
  OraResult<ExprPtr> Quantified(std::string op, ExprPtr left) {
    auto expr = Make(ExprKind::kQuantified, left->begin);
    expr->op = std::move(op);
    expr->name = Next().IsKeyword("ALL") ? "ALL" : "ANY";
    expr->args.push_back(std::move(left));
    if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
    if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH")) {
      VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
    } else {
      do {
        VK_ASSIGN_OR_ORA_RETURN(ExprPtr value, Expression());
        expr->args.push_back(std::move(value));
      } while (AcceptSymbol(","));
    }
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    return Finish(std::move(expr));
  }

  // Binary + - || share one level in Oracle, below * and /.
  OraResult<ExprPtr> Expression() {
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return OraErr(TooDeep());
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, Term());
    while (Peek().IsSymbol("+") || Peek().IsSymbol("-") || Peek().IsSymbol("||")) {
      std::string op(Next().text);
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, Term());
      left = Binary(ExprKind::kBinary, std::move(op), std::move(left), std::move(right));
      if (left->height > kMaxHeight) return OraErr(TooDeep());
    }
    return Checked(std::move(left));
  }

  OraResult<ExprPtr> Term() {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, Unary());
    while (Peek().IsSymbol("*") || Peek().IsSymbol("/")) {
      std::string op(Next().text);
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, Unary());
      left = Binary(ExprKind::kBinary, std::move(op), std::move(left), std::move(right));
      if (left->height > kMaxHeight) return OraErr(TooDeep());
    }
    return Checked(std::move(left));
  }

  OraResult<ExprPtr> Unary() {
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return OraErr(TooDeep());
    if (Peek().IsSymbol("-") || Peek().IsSymbol("+")) {
      const Token& sign = Next();
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr operand, Unary());
      if (sign.text == "+") {
        operand->begin = sign.offset;
        return operand;
      }
      auto expr = Make(ExprKind::kNegate, sign.offset);
      expr->args.push_back(std::move(operand));
      return Finish(std::move(expr));
    }
    if (Peek().IsKeyword("PRIOR")) {
      auto expr = Make(ExprKind::kPrior, Next().offset);
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr operand, Unary());
      expr->args.push_back(std::move(operand));
      return Finish(std::move(expr));
    }
    return Primary();
  }

  OraResult<ExprPtr> Primary() {
    const Token& token = Peek();
    const std::size_t begin = token.offset;
    if (token.kind == TokenKind::kNumber || token.kind == TokenKind::kString) {
      auto expr =
          Make(token.kind == TokenKind::kNumber ? ExprKind::kNumber : ExprKind::kString, begin);
      expr->literal = token.Value();
      expr->literal_slot = slots_[pos_];
      Next();
      return Finish(std::move(expr));
    }
    if (token.IsSymbol("(")) {
      Next();
      if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH")) {
        auto expr = Make(ExprKind::kSubquery, begin);
        VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
        VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
        return Finish(std::move(expr));
      }
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr inner, Condition());
      VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
      inner->begin = begin;
      return Finish(std::move(inner));
    }
    if (token.IsKeyword("NULL")) {
      Next();
      return Finish(Make(ExprKind::kNull, begin));
    }
    if (token.IsKeyword("CASE")) return CaseExpr();
    if (!token.IsName() || IsReserved(token)) return OraErr(MissingExpression());
    if (token.kind == TokenKind::kIdentifier && !Peek(1).IsSymbol(".") && !Peek(1).IsSymbol("(")) {
      if (token.IsKeyword("ROWNUM")) {
        Next();
        return Finish(Make(ExprKind::kRownum, begin));
      }
      if (token.IsKeyword("SYSDATE")) {
        Next();
        return Finish(Make(ExprKind::kSysdate, begin));
      }
      if (token.IsKeyword("USER")) {
        Next();
        return Finish(Make(ExprKind::kUser, begin));
      }
      if (token.IsKeyword("ROWID")) {
        Next();
        return Finish(Make(ExprKind::kRowid, begin));
      }
    }
    if (token.kind == TokenKind::kIdentifier && Peek(1).IsSymbol("(")) return FunctionCall();
    // [a.[b.]]c, where the last part may be NEXTVAL/CURRVAL or ROWID.
    std::vector<std::string> parts;
    std::vector<const Token*> part_tokens;
    part_tokens.push_back(&Next());
    parts.push_back(part_tokens.back()->Value());
    while (Peek().IsSymbol(".") && Peek(1).IsName() && parts.size() < 3) {
      Next();
      part_tokens.push_back(&Next());
      parts.push_back(part_tokens.back()->Value());
    }
    const Token& last = *part_tokens.back();
    if (parts.size() >= 2 && (last.IsKeyword("NEXTVAL") || last.IsKeyword("CURRVAL"))) {
      auto expr = Make(ExprKind::kSequence, begin);
      expr->op = parts.back();
      expr->name = parts[parts.size() - 2];
      if (parts.size() == 3) expr->qualifier = parts[0];
      return Finish(std::move(expr));
    }
    if (parts.size() >= 2 && last.IsKeyword("ROWID")) {
      auto expr = Make(ExprKind::kRowid, begin);
      expr->qualifier = parts[parts.size() - 2];
      return Finish(std::move(expr));
    }
    auto expr = Make(ExprKind::kColumn, begin);
    expr->name = parts.back();
    if (parts.size() >= 2) expr->qualifier = parts[parts.size() - 2];
    if (parts.size() == 3) expr->qualifier2 = parts[0];
    if (Peek().IsSymbol("(") && Peek(1).IsSymbol("+") && Peek(2).IsSymbol(")")) {
      Next();
      Next();
      Next();
      expr->outer_join = true;
    }
    return Finish(std::move(expr));
  }

  OraResult<ExprPtr> FunctionCall() {
    const std::size_t begin = Peek().offset;
    auto expr = Make(ExprKind::kFunction, begin);
    expr->name = Next().Value();
    Next();  // (
    if (expr->name == "TRIM") return TrimCall(std::move(expr));
    if (AcceptSymbol(")")) return Finish(std::move(expr));
    if (Peek().IsSymbol("*") && Peek(1).IsSymbol(")")) {
      Next();
      Next();
      expr->star = true;
      return Finish(std::move(expr));
    }
    if (Accept("DISTINCT") || Accept("UNIQUE")) {
      expr->distinct = true;
    } else {
      Accept("ALL");
    }
    do {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr arg, Condition());
      expr->args.push_back(std::move(arg));
    } while (AcceptSymbol(","));
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    return Finish(std::move(expr));
  }

  OraResult<ExprPtr> TrimCall(ExprPtr expr) {
    expr->kind = ExprKind::kTrim;
    if (Peek().IsKeyword("LEADING") || Peek().IsKeyword("TRAILING") || Peek().IsKeyword("BOTH")) {
      expr->op = Next().Value();
    }
    if (!expr->op.empty() && Accept("FROM")) {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr source, Expression());
      expr->args.push_back(std::move(source));
    } else {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr first, Expression());
      if (Accept("FROM")) {
        VK_ASSIGN_OR_ORA_RETURN(ExprPtr source, Expression());
        expr->args.push_back(std::move(first));
        expr->args.push_back(std::move(source));
      } else if (!expr->op.empty()) {
        return OraErr(905, "missing keyword");
      } else {
        expr->args.push_back(std::move(first));
      }
    }
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    return Finish(std::move(expr));
  }

  OraResult<ExprPtr> CaseExpr() {
    auto expr = Make(ExprKind::kCase, Next().offset);
    if (!Peek().IsKeyword("WHEN")) {
      expr->simple_case = true;
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr operand, Expression());
      expr->args.push_back(std::move(operand));
    }
    if (!Peek().IsKeyword("WHEN")) return OraErr(905, "missing keyword");
    while (Accept("WHEN")) {
      ExprPtr when;
      if (expr->simple_case) {
        VK_ASSIGN_OR_ORA_RETURN(when, Expression());
      } else {
        VK_ASSIGN_OR_ORA_RETURN(when, SearchCondition());
      }
      if (!Accept("THEN")) return OraErr(905, "missing keyword");
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr then, Expression());
      expr->args.push_back(std::move(when));
      expr->args.push_back(std::move(then));
    }
    if (Accept("ELSE")) {
      expr->has_else = true;
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr otherwise, Expression());
      expr->args.push_back(std::move(otherwise));
    }
    if (!Accept("END")) return OraErr(905, "missing keyword");
    return Finish(std::move(expr));
  }

  // Counts one level of nesting for as long as it lives.
  class Nesting {
   public:
    explicit Nesting(int* depth) : depth_(depth) { ++*depth_; }
    ~Nesting() { --*depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
    bool too_deep() const { return *depth_ > kMaxNesting; }

   private:
    int* depth_;
  };

  std::string_view sql_;
  const std::vector<Token>& tokens_;
  std::vector<int> slots_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

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
