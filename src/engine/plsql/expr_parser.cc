// The expression half of the PL/SQL parser, and the SQL statements written inside blocks.
#include <fmt/format.h>

#include "engine/plsql/parser_impl.h"

namespace volmek::engine::plsql {
namespace {

ExprPtr MakeExpr(ExprKind kind, std::size_t offset) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->offset = offset;
  return expr;
}

ExprPtr Binary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right) {
  auto expr = MakeExpr(kind, left->offset);
  expr->op = std::move(op);
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return expr;
}

// Functions of PL/SQL itself and of the supplied packages, which run in the interpreter; every
// other call is SQL's.
bool IsPlsqlCall(const std::vector<std::string>& names) {
  if (names.size() == 1) return names[0] == "SQLCODE" || names[0] == "SQLERRM";
  return names.size() == 2 && names[0].starts_with("DBMS_");
}

}  // namespace

OraResult<ExprPtr> Parser::ParseExpr() {
  if (++depth_ > kMaxNesting) {
    return OraErr(Error(Peek().offset, "PLS-00123: program too large (Diana nodes)"));
  }
  OraResult<ExprPtr> expr = ParseOr();
  --depth_;
  return expr;
}

OraResult<ExprPtr> Parser::ParseOr() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, ParseAnd());
  while (Accept("OR")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, ParseAnd());
    left = Binary(ExprKind::kOr, "OR", std::move(left), std::move(right));
  }
  return left;
}

OraResult<ExprPtr> Parser::ParseAnd() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, ParseNot());
  while (Accept("AND")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, ParseNot());
    left = Binary(ExprKind::kAnd, "AND", std::move(left), std::move(right));
  }
  return left;
}

OraResult<ExprPtr> Parser::ParseNot() {
  std::size_t offset = Peek().offset;
  if (Accept("NOT")) {
    if (++depth_ > kMaxNesting) {
      return OraErr(Error(offset, "PLS-00123: program too large (Diana nodes)"));
    }
    OraResult<ExprPtr> inner = ParseNot();
    --depth_;
    if (!inner.has_value()) return inner;
    auto expr = MakeExpr(ExprKind::kNot, offset);
    expr->args.push_back(std::move(*inner));
    return expr;
  }
  return ParseComparison();
}

OraResult<ExprPtr> Parser::ParseComparison() {
  std::size_t first = pos_;
  // REGEXP_LIKE is a condition, which SQL evaluates as LIKE is.
  if (Peek().IsKeyword("REGEXP_LIKE") && Peek(1).IsSymbol("(")) {
    const std::size_t offset = Peek().offset;
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(std::vector<ExprPtr> args, ParseArgs());
    auto expr = MakeExpr(ExprKind::kSql, offset);
    expr->sql = SqlFrom(first, pos_, false);
    expr->condition = true;
    return expr;
  }
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, ParseConcat());
  const Token& token = Peek();
  for (std::string_view op : {"=", "<>", "!=", "^=", "~=", "<", "<=", ">", ">="}) {
    if (!token.IsSymbol(op)) continue;
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, ParseConcat());
    std::string name(op);
    if (name == "!=" || name == "^=" || name == "~=") name = "<>";
    return Binary(ExprKind::kCompare, name, std::move(left), std::move(right));
  }
  if (Accept("IS")) {
    bool negated = Accept("NOT");
    VK_RETURN_IF_ORA_ERROR(Expect("NULL"));
    auto expr = MakeExpr(ExprKind::kIsNull, left->offset);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    return expr;
  }
  bool negated = false;
  if (Peek().IsKeyword("NOT") &&
      (Peek(1).IsKeyword("LIKE") || Peek(1).IsKeyword("BETWEEN") || Peek(1).IsKeyword("IN"))) {
    negated = true;
    ++pos_;
  }
  if (Accept("LIKE")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr pattern, ParseConcat());
    if (Accept("ESCAPE")) {
      VK_ASSIGN_OR_ORA_RETURN(pattern, ParseConcat());
    }
    auto expr = MakeExpr(ExprKind::kSql, left->offset);
    expr->sql = SqlFrom(first, pos_, false);
    expr->condition = true;
    return expr;
  }
  if (Accept("BETWEEN")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr low, ParseConcat());
    VK_RETURN_IF_ORA_ERROR(Expect("AND"));
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr high, ParseConcat());
    auto expr = MakeExpr(ExprKind::kBetween, left->offset);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    expr->args.push_back(std::move(low));
    expr->args.push_back(std::move(high));
    return expr;
  }
  if (Accept("IN")) {
    if (Peek(1).IsKeyword("SELECT")) return OraErr(Unsupported(Peek(1), "subqueries in PL/SQL"));
    VK_ASSIGN_OR_ORA_RETURN(std::vector<ExprPtr> list, ParseArgs());
    auto expr = MakeExpr(ExprKind::kIn, left->offset);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    for (ExprPtr& item : list) expr->args.push_back(std::move(item));
    return expr;
  }
  if (negated) return OraErr(Encountered(Peek()));
  return left;
}

OraResult<ExprPtr> Parser::ParseConcat() { return ParseAdditive(); }

OraResult<ExprPtr> Parser::ParseAdditive() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, ParseMultiplicative());
  while (Peek().IsSymbol("+") || Peek().IsSymbol("-") || Peek().IsSymbol("||")) {
    std::string op(Peek().text);
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, ParseMultiplicative());
    left = Binary(ExprKind::kBinary, op, std::move(left), std::move(right));
  }
  return left;
}

OraResult<ExprPtr> Parser::ParseMultiplicative() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, ParseUnary());
  while (Peek().IsSymbol("*") || Peek().IsSymbol("/")) {
    std::string op(Peek().text);
    ++pos_;
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, ParseUnary());
    left = Binary(ExprKind::kBinary, op, std::move(left), std::move(right));
  }
  return left;
}

OraResult<ExprPtr> Parser::ParseUnary() {
  std::size_t offset = Peek().offset;
  if (AcceptSymbol("-")) {
    if (++depth_ > kMaxNesting) {
      return OraErr(Error(offset, "PLS-00123: program too large (Diana nodes)"));
    }
    OraResult<ExprPtr> inner = ParseUnary();
    --depth_;
    if (!inner.has_value()) return inner;
    auto expr = MakeExpr(ExprKind::kNegate, offset);
    expr->args.push_back(std::move(*inner));
    return expr;
  }
  if (AcceptSymbol("+")) return ParseUnary();
  return ParsePrimary();
}

OraResult<ExprPtr> Parser::ParsePrimary() {
  const Token& token = Peek();
  std::size_t offset = token.offset;
  if (token.kind == TokenKind::kNumber) {
    ++pos_;
    OraResult<Decimal> number = Decimal::Parse(token.text);
    if (!number.has_value()) return OraErr(Error(offset, "PLS-00569: numeric overflow"));
    auto expr = MakeExpr(ExprKind::kLiteral, offset);
    expr->literal = Value::Number(*number);
    return expr;
  }
  if (token.kind == TokenKind::kString) {
    ++pos_;
    auto expr = MakeExpr(ExprKind::kLiteral, offset);
    expr->literal = Value::Text(token.Value());
    return expr;
  }
  if (AcceptSymbol("(")) {
    if (Peek().IsKeyword("SELECT")) return OraErr(Unsupported(Peek(), "subqueries in PL/SQL"));
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr inner, ParseExpr());
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(")"));
    return inner;
  }
  if (token.IsKeyword("NULL") || token.IsKeyword("TRUE") || token.IsKeyword("FALSE")) {
    ++pos_;
    auto expr = MakeExpr(ExprKind::kLiteral, offset);
    if (!token.IsKeyword("NULL")) expr->literal = Value::Bool(token.IsKeyword("TRUE"));
    return expr;
  }
  if (token.IsKeyword("CASE")) return ParseCaseExpr();
  if (token.IsKeyword("DATE") && Peek(1).kind == TokenKind::kString) {
    std::size_t first = pos_;
    pos_ += 2;
    auto expr = MakeExpr(ExprKind::kSql, offset);
    expr->sql = SqlFrom(first, pos_, false);
    return expr;
  }
  if (token.IsName()) return ParseNameExpr();
  if (token.IsSymbol(":") && Peek(1).IsName()) {
    // A host variable of the caller: a name of its own, ":NAME", that no declaration can give.
    auto expr = MakeExpr(ExprKind::kName, offset);
    expr->names.push_back(":" + Peek(1).Value());
    expr->sql = SqlFrom(pos_, pos_ + 2, false);
    pos_ += 2;
    return expr;
  }
  return OraErr(Encountered(token));
}

OraResult<ExprPtr> Parser::ParseNameExpr() {
  std::size_t first = pos_;
  std::size_t offset = Peek().offset;
  std::vector<std::string> names;
  VK_ASSIGN_OR_ORA_RETURN(std::string name, ExpectName());
  names.push_back(std::move(name));
  while (Peek().IsSymbol(".") && Peek(1).IsName()) {
    pos_ += 1;
    VK_ASSIGN_OR_ORA_RETURN(std::string part, ExpectName());
    names.push_back(std::move(part));
  }
  if (AcceptSymbol("%")) {
    auto expr = MakeExpr(ExprKind::kAttribute, offset);
    VK_ASSIGN_OR_ORA_RETURN(expr->op, ExpectName());
    if (expr->op != "FOUND" && expr->op != "NOTFOUND" && expr->op != "ROWCOUNT" &&
        expr->op != "ISOPEN") {
      return OraErr(Unsupported(Peek(), "this attribute"));
    }
    expr->names = std::move(names);
    return expr;
  }
  if (Peek().IsSymbol("(")) {
    if (IsPlsqlCall(names)) {
      auto expr = MakeExpr(ExprKind::kCall, offset);
      expr->names = std::move(names);
      VK_ASSIGN_OR_ORA_RETURN(expr->args, ParseArgs());
      return expr;
    }
    // A procedure or function of PL/SQL's when its arguments read as PL/SQL expressions; a
    // SQL function otherwise, or when no such procedure or function is found when it runs:
    // its text, arguments and all, then runs as SQL.
    std::size_t open = pos_;
    const int saved_depth = depth_;
    OraResult<std::vector<ExprPtr>> args = ParseArgs();
    if (args.has_value() && names.size() <= 2) {
      auto expr = MakeExpr(ExprKind::kCall, offset);
      expr->names = std::move(names);
      expr->args = std::move(*args);
      expr->sql = SqlFrom(first, pos_, false);
      expr->op = "SQL";
      return expr;
    }
    pos_ = open;
    depth_ = saved_depth;
    int nesting = 0;
    do {
      if (Peek().IsEnd()) return OraErr(Encountered(Peek()));
      if (Peek().IsSymbol("(")) ++nesting;
      if (Peek().IsSymbol(")")) --nesting;
      ++pos_;
    } while (nesting > 0);
    auto expr = MakeExpr(ExprKind::kSql, offset);
    expr->sql = SqlFrom(first, pos_, false);
    return expr;
  }
  auto expr = MakeExpr(IsPlsqlCall(names) ? ExprKind::kCall : ExprKind::kName, offset);
  expr->names = std::move(names);
  expr->sql = SqlFrom(first, pos_, false);
  return expr;
}

OraResult<std::vector<ExprPtr>> Parser::ParseArgs() {
  VK_RETURN_IF_ORA_ERROR(ExpectSymbol("("));
  std::vector<ExprPtr> args;
  if (AcceptSymbol(")")) return args;
  while (true) {
    std::string arg_name;
    if (Peek().IsName() && Peek(1).IsSymbol("=>")) {
      arg_name = Peek().Value();
      pos_ += 2;
    }
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr arg, ParseExpr());
    arg->arg_name = std::move(arg_name);
    args.push_back(std::move(arg));
    if (AcceptSymbol(")")) return args;
    VK_RETURN_IF_ORA_ERROR(ExpectSymbol(","));
  }
}

OraResult<ExprPtr> Parser::ParseCaseExpr() {
  auto expr = MakeExpr(ExprKind::kCase, Peek().offset);
  VK_RETURN_IF_ORA_ERROR(Expect("CASE"));
  if (!Peek().IsKeyword("WHEN")) {
    expr->simple_case = true;
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr selector, ParseExpr());
    expr->args.push_back(std::move(selector));
  }
  if (!Peek().IsKeyword("WHEN")) return OraErr(Encountered(Peek()));
  while (Accept("WHEN")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr when, ParseExpr());
    VK_RETURN_IF_ORA_ERROR(Expect("THEN"));
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr then, ParseExpr());
    expr->args.push_back(std::move(when));
    expr->args.push_back(std::move(then));
  }
  if (Accept("ELSE")) {
    expr->has_else = true;
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr otherwise, ParseExpr());
    expr->args.push_back(std::move(otherwise));
  }
  VK_RETURN_IF_ORA_ERROR(Expect("END"));
  return expr;
}

SqlText Parser::SqlFrom(std::size_t first, std::size_t last, bool is_statement) const {
  SqlText sql;
  if (first >= last) return sql;
  std::size_t begin = tokens_[first].offset;
  std::size_t end = tokens_[last - 1].offset + tokens_[last - 1].text.size();
  sql.text = std::string(text_.substr(begin, end - begin));
  sql.offset = begin;
  // Names that are never variables: an INSERT's column list, an UPDATE's SET targets.
  std::vector<bool> excluded(last - first, false);
  if (is_statement && tokens_[first].IsKeyword("INSERT")) {
    std::size_t at = first + 1;
    while (at < last && !tokens_[at].IsSymbol("(") && !tokens_[at].IsKeyword("VALUES") &&
           !tokens_[at].IsKeyword("SELECT")) {
      ++at;
    }
    if (at + 1 < last && tokens_[at].IsSymbol("(") && !tokens_[at + 1].IsKeyword("SELECT")) {
      for (++at; at < last && !tokens_[at].IsSymbol(")"); ++at) excluded[at - first] = true;
    }
  }
  if (is_statement && tokens_[first].IsKeyword("UPDATE")) {
    int nesting = 0;
    bool in_set = false;
    for (std::size_t at = first; at < last; ++at) {
      const Token& token = tokens_[at];
      if (token.IsSymbol("(")) ++nesting;
      if (token.IsSymbol(")")) --nesting;
      if (nesting != 0) continue;
      if (token.IsKeyword("SET")) in_set = true;
      if (token.IsKeyword("WHERE")) in_set = false;
      if (in_set && token.IsName() && at + 1 < last && tokens_[at + 1].IsSymbol("=")) {
        excluded[at - first] = true;
      }
    }
  }
  for (std::size_t at = first; at < last; ++at) {
    const Token& token = tokens_[at];
    if (token.IsSymbol(":") && at + 1 < last && tokens_[at + 1].IsName()) {
      // A host variable: always the caller's value.
      SqlRef ref;
      ref.begin = token.offset - begin;
      ref.end = tokens_[at + 1].offset + tokens_[at + 1].text.size() - begin;
      ref.names.push_back(":" + tokens_[at + 1].Value());
      sql.refs.push_back(std::move(ref));
      ++at;
      continue;
    }
    if (!token.IsName() || excluded[at - first]) continue;
    if (at > first && tokens_[at - 1].IsSymbol(".")) continue;
    SqlRef ref;
    ref.begin = token.offset - begin;
    ref.names.push_back(token.Value());
    std::size_t stop = at;
    while (stop + 2 < last && tokens_[stop + 1].IsSymbol(".") && tokens_[stop + 2].IsName()) {
      stop += 2;
      ref.names.push_back(tokens_[stop].Value());
    }
    ref.end = tokens_[stop].offset + tokens_[stop].text.size() - begin;
    bool call = stop + 1 < last && tokens_[stop + 1].IsSymbol("(");
    at = stop;
    if (call || ref.names.size() > 2) continue;
    sql.refs.push_back(std::move(ref));
  }
  return sql;
}

OraResult<SqlText> Parser::ParseSqlText(std::vector<ExprPtr>* into) {
  std::size_t first = pos_;
  int nesting = 0;
  std::size_t into_at = 0;
  std::size_t into_end = 0;
  while (!Peek().IsEnd() && !(nesting == 0 && Peek().IsSymbol(";"))) {
    const Token& token = Peek();
    if (token.IsSymbol("(")) ++nesting;
    if (token.IsSymbol(")")) --nesting;
    if (nesting == 0 && token.IsKeyword("RETURNING")) {
      return OraErr(Unsupported(token, "RETURNING clauses"));
    }
    if (nesting == 0 && token.IsKeyword("INTO") && into != nullptr && into_at == 0) {
      into_at = pos_;
      if (Peek(1).IsKeyword("TABLE") || Peek(1).IsKeyword("VALUES")) {
        return OraErr(Encountered(Peek(1)));
      }
      ++pos_;
      VK_ASSIGN_OR_ORA_RETURN(*into, ParseIntoList());
      into_end = pos_;
      continue;
    }
    ++pos_;
  }
  if (!Peek().IsSymbol(";")) return OraErr(Encountered(Peek()));
  if (into != nullptr && into_at == 0) {
    return OraErr(Error(tokens_[first].offset,
                        "PLS-00428: an INTO clause is expected in this SELECT statement"));
  }
  if (into_at == 0) return SqlFrom(first, pos_, true);
  SqlText head = SqlFrom(first, into_at, true);
  SqlText tail = SqlFrom(into_end, pos_, true);
  std::size_t shift = head.text.size() + 1;
  head.text += ' ';
  head.text += tail.text;
  for (SqlRef& ref : tail.refs) {
    ref.begin += shift;
    ref.end += shift;
    head.refs.push_back(std::move(ref));
  }
  return head;
}

}  // namespace volmek::engine::plsql
