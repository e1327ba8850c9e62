// Parser: conditions and expressions.
#include "engine/syntax/ddl_parser.h"
#include "engine/syntax/parser_internal.h"

namespace volmek::engine::parser_internal {

ExprPtr Parser::Make(ExprKind kind, std::size_t begin) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->begin = begin;
  return expr;
}

ExprPtr Parser::Finish(ExprPtr expr) {
  expr->end = EndOfPrevious();
  for (const auto& arg : expr->args) expr->height = std::max(expr->height, arg->height + 1);
  return expr;
}

OraResult<ExprPtr> Parser::Checked(ExprPtr expr) {
  if (expr->height > kMaxHeight) return OraErr(TooDeep());
  return expr;
}

ExprPtr Parser::Binary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right) {
  auto expr = Make(kind, left->begin);
  expr->op = std::move(op);
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return Finish(std::move(expr));
}

OraResult<ExprPtr> Parser::SearchCondition() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr condition, Condition());
  if (!IsTruthValue(*condition)) return OraErr(920, "invalid relational operator");
  return condition;
}

bool Parser::IsTruthValue(const Expr& expr) {
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
    case ExprKind::kRegexpLike:
      return true;
    default:
      return false;
  }
}

OraResult<ExprPtr> Parser::Condition() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, AndCondition());
  while (Accept("OR")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, AndCondition());
    left = Binary(ExprKind::kOr, "OR", std::move(left), std::move(right));
    if (left->height > kMaxHeight) return OraErr(TooDeep());
  }
  return Checked(std::move(left));
}

OraResult<ExprPtr> Parser::AndCondition() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, NotCondition());
  while (Accept("AND")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, NotCondition());
    left = Binary(ExprKind::kAnd, "AND", std::move(left), std::move(right));
    if (left->height > kMaxHeight) return OraErr(TooDeep());
  }
  return Checked(std::move(left));
}

OraResult<ExprPtr> Parser::NotCondition() {
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

OraResult<ExprPtr> Parser::Predicate() {
  if (Peek().IsKeyword("EXISTS")) {
    std::size_t begin = Next().offset;
    if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
    auto expr = Make(ExprKind::kExists, begin);
    VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
    VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
    return Finish(std::move(expr));
  }
  if (Peek().IsKeyword("REGEXP_LIKE") && Peek(1).IsSymbol("(")) {
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr like, FunctionCall());
    like->kind = ExprKind::kRegexpLike;
    return like;
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
    VK_RETURN_IF_ORA_ERROR(ListOrSubquery(expr.get()));
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

OraResult<ExprPtr> Parser::Quantified(std::string op, ExprPtr left) {
  auto expr = Make(ExprKind::kQuantified, left->begin);
  expr->op = std::move(op);
  expr->name = Next().IsKeyword("ALL") ? "ALL" : "ANY";
  expr->args.push_back(std::move(left));
  VK_RETURN_IF_ORA_ERROR(ListOrSubquery(expr.get()));
  return Finish(std::move(expr));
}

OraStatus Parser::ListOrSubquery(Expr* expr) {
  if (!AcceptSymbol("(")) return OraErr(906, "missing left parenthesis");
  if (Peek().IsKeyword("SELECT") || Peek().IsKeyword("WITH")) {
    VK_ASSIGN_OR_ORA_RETURN(expr->query, QueryExpr());
  } else {
    do {
      VK_ASSIGN_OR_ORA_RETURN(ExprPtr value, Expression());
      expr->args.push_back(std::move(value));
    } while (AcceptSymbol(","));
  }
  return ExpectRightParen();
}

OraResult<ExprPtr> Parser::Expression() {
  Nesting nesting(&depth_);
  if (nesting.too_deep()) return OraErr(TooDeep());
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, Term());
  // The || node this loop is building: a run of || is one node of all its operands, so that a
  // text of any number of pieces ('a' || chr(10) || 'b' || ...) stays one level deep.
  const Expr* chain = nullptr;
  while (Peek().IsSymbol("+") || Peek().IsSymbol("-") || Peek().IsSymbol("||")) {
    std::string op(Next().text);
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, Term());
    if (op == "||" && chain == left.get()) {
      left->height = std::max(left->height, right->height + 1);
      left->args.push_back(std::move(right));
      left->end = EndOfPrevious();
    } else {
      left = Binary(ExprKind::kBinary, std::move(op), std::move(left), std::move(right));
      chain = left->op == "||" ? left.get() : nullptr;
    }
    if (left->height > kMaxHeight) return OraErr(TooDeep());
  }
  return Checked(std::move(left));
}

OraResult<ExprPtr> Parser::Term() {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr left, Unary());
  while (Peek().IsSymbol("*") || Peek().IsSymbol("/")) {
    std::string op(Next().text);
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr right, Unary());
    left = Binary(ExprKind::kBinary, std::move(op), std::move(left), std::move(right));
    if (left->height > kMaxHeight) return OraErr(TooDeep());
  }
  return Checked(std::move(left));
}

OraResult<ExprPtr> Parser::Unary() {
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
  if (Peek().IsKeyword("PRIOR") || Peek().IsKeyword("CONNECT_BY_ROOT")) {
    const bool prior = Peek().IsKeyword("PRIOR");
    auto expr = Make(prior ? ExprKind::kPrior : ExprKind::kConnectByRoot, Next().offset);
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr operand, Unary());
    expr->args.push_back(std::move(operand));
    return Finish(std::move(expr));
  }
  return Primary();
}

OraResult<ExprPtr> Parser::Primary() {
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
  // DATE 'YYYY-MM-DD', the standard's date literal: a date at midnight, read as TO_DATE with
  // that format reads it (the format is written here, in no literal slot of the statement).
  if (token.IsKeyword("DATE") && Peek(1).kind == TokenKind::kString) {
    Next();
    // Year, month and day in digits, nothing else: a time is ORA-01861 (TO_DATE would let a
    // text in the engine's own stored form through).
    const std::string written = Peek().Value();
    const std::size_t first_dash = written.find('-', 1);
    const std::size_t second_dash =
        first_dash == std::string::npos ? first_dash : written.find('-', first_dash + 1);
    const bool shaped = second_dash != std::string::npos &&
                        written.find_first_not_of("0123456789-", 1) == std::string::npos &&
                        (written[0] == '-' || (written[0] >= '0' && written[0] <= '9')) &&
                        written.find('-', second_dash + 1) == std::string::npos &&
                        second_dash + 1 < written.size() && second_dash > first_dash + 1;
    if (!shaped) return OraErr(1861, "literal does not match format string");
    auto text = Make(ExprKind::kString, Peek().offset);
    text->literal = Peek().Value();
    text->literal_slot = slots_[pos_];
    Next();
    auto format = Make(ExprKind::kString, begin);
    format->literal = "YYYY-MM-DD";
    format->literal_slot = -1;
    auto call = Make(ExprKind::kFunction, begin);
    call->name = "TO_DATE";
    call->args.push_back(std::move(text));
    call->args.push_back(std::move(format));
    return Finish(std::move(call));
  }
  // A word the parser keeps for its clauses (LEFT, JOIN ...) may still qualify a column of a
  // table so named: LEFT.A.
  bool qualifier = Peek(1).IsSymbol(".") && !IsOracleReserved(token);
  if (!token.IsName() || (IsReserved(token) && !qualifier)) return OraErr(MissingExpression());
  if (token.kind == TokenKind::kIdentifier && !Peek(1).IsSymbol(".") && !Peek(1).IsSymbol("(")) {
    if (token.IsKeyword("ROWNUM")) {
      Next();
      return Finish(Make(ExprKind::kRownum, begin));
    }
    // CURRENT_DATE is the date in the session's time zone, which is the database's here.
    if (token.IsKeyword("SYSDATE") || token.IsKeyword("CURRENT_DATE")) {
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
  // PACKAGE.FUNCTION(...): a package's function (not a column's outer join, c(+)).
  if (Peek(1).IsSymbol(".") && Peek(2).kind == TokenKind::kIdentifier && Peek(3).IsSymbol("(") &&
      !Peek(4).IsSymbol("+")) {
    std::string qualifier = Next().Value();
    Next();
    VK_ASSIGN_OR_ORA_RETURN(ExprPtr call, FunctionCall());
    call->qualifier = std::move(qualifier);
    call->begin = begin;
    return call;
  }
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

OraResult<ExprPtr> Parser::FunctionCall() {
  const std::size_t begin = Peek().offset;
  auto expr = Make(ExprKind::kFunction, begin);
  expr->name = Next().Value();
  Next();  // (
  if (expr->name == "TRIM") return TrimCall(std::move(expr));
  if (expr->name == "CAST") return CastCall(std::move(expr));
  if (expr->name == "EXTRACT") return ExtractCall(std::move(expr));
  if (AcceptSymbol(")")) {
    VK_RETURN_IF_ORA_ERROR(AnalyticClauses(expr.get()));
    return Finish(std::move(expr));
  }
  if (Peek().IsSymbol("*") && Peek(1).IsSymbol(")")) {
    Next();
    Next();
    expr->star = true;
    VK_RETURN_IF_ORA_ERROR(AnalyticClauses(expr.get()));
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
    NullTreatment(expr.get());
  } while (AcceptSymbol(","));
  VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  VK_RETURN_IF_ORA_ERROR(AnalyticClauses(expr.get()));
  return Finish(std::move(expr));
}

OraResult<ExprPtr> Parser::TrimCall(ExprPtr expr) {
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

// CAST(expr AS type): the type is read as a column's type is in CREATE TABLE.
OraResult<ExprPtr> Parser::CastCall(ExprPtr expr) {
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr source, Expression());
  expr->args.push_back(std::move(source));
  if (!Accept("AS")) return OraErr(905, "missing keyword");
  const std::size_t type_begin = Peek().offset;
  int depth = 0;
  while (depth > 0 || !Peek().IsSymbol(")")) {
    if (Peek().kind == TokenKind::kEnd) return OraErr(907, "missing right parenthesis");
    if (Peek().IsSymbol("(")) ++depth;
    if (Peek().IsSymbol(")")) --depth;
    Next();
  }
  DdlParser type_parser(sql_.substr(type_begin, Peek().offset - type_begin));
  VK_RETURN_IF_ORA_ERROR(type_parser.Tokenize());
  VK_ASSIGN_OR_ORA_RETURN(SqlType type, type_parser.Type());
  if (!type_parser.AtEnd()) return OraErr(907, "missing right parenthesis");
  expr->cast_type = type;
  VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  return Finish(std::move(expr));
}

OraResult<ExprPtr> Parser::ExtractCall(ExprPtr expr) {
  static constexpr std::array<std::string_view, 10> kFields = {
      "YEAR",          "MONTH",           "DAY",
      "HOUR",          "MINUTE",          "SECOND",
      "TIMEZONE_HOUR", "TIMEZONE_MINUTE", "TIMEZONE_REGION",
      "TIMEZONE_ABBR"};
  const Token& field = Peek();
  bool known = field.kind == TokenKind::kIdentifier &&
               std::find(kFields.begin(), kFields.end(), field.Value()) != kFields.end();
  if (!known) return OraErr(907, "missing right parenthesis");
  expr->op = Next().Value();
  if (!Accept("FROM")) return OraErr(907, "missing right parenthesis");
  VK_ASSIGN_OR_ORA_RETURN(ExprPtr source, Expression());
  expr->args.push_back(std::move(source));
  VK_RETURN_IF_ORA_ERROR(ExpectRightParen());
  return Finish(std::move(expr));
}

OraResult<ExprPtr> Parser::CaseExpr() {
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

}  // namespace volmek::engine::parser_internal
