// The SQL parser's inside: the Parser class, whose members are spread over parser.cc (statements,
// queries, DML) and parser_expressions.cc (conditions and expressions). Only the parser's own
// files include this header.
#pragma once

#include <algorithm>
#include <array>
#include <utility>

#include "engine/syntax/ddl_parser.h"
#include "engine/syntax/parser.h"

namespace volmek::engine::parser_internal {

using ast::Expr;
using ast::ExprKind;
using ast::ExprPtr;

// Words that cannot be a column, an alias or a table name without quotes: meeting one where
// a name is expected ends the clause (or is the error of a missing expression).
inline constexpr std::array<std::string_view, 53> kReserved = {
    "ALL",     "AND",    "ANY",   "AS",     "ASC",    "BETWEEN",  "BY",      "CASE",   "CHECK",
    "CONNECT", "CREATE", "CROSS", "DELETE", "DESC",   "DISTINCT", "ELSE",    "END",    "EXISTS",
    "FOR",     "FROM",   "FULL",  "GROUP",  "HAVING", "IN",       "INNER",   "INSERT", "INTERSECT",
    "INTO",    "IS",     "JOIN",  "LEFT",   "LIKE",   "MINUS",    "NATURAL", "NOT",    "NULL",
    "ON",      "OR",     "ORDER", "OUTER",  "PRIOR",  "RIGHT",    "SELECT",  "SET",    "SOME",
    "START",   "THEN",   "UNION", "UPDATE", "VALUES", "WHEN",     "WHERE",   "WITH"};

bool IsReserved(const Token& token);
// One of Oracle's own reserved words (ddl_parser.h), which no unquoted name may be.
bool IsOracleReserved(const Token& token);

// Statements nested deeper than this are refused: the parser, the translator and SQLite all
// recurse over the tree, and a hostile text must not exhaust the stack.
inline constexpr int kMaxNesting = 600;
inline constexpr int kMaxHeight = 400;

OraError TooDeep();

inline OraError MissingExpression() { return Ora(936, "missing expression"); }
inline OraError MissingRightParenthesis() { return Ora(907, "missing right parenthesis"); }
inline OraError NotProperlyEnded() { return Ora(933, "SQL command not properly ended"); }

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

  OraResult<ast::Statement> Statement();

  OraResult<std::unique_ptr<ast::Query>> QueryOnly();

 private:
  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next();
  bool Accept(std::string_view keyword);
  bool AcceptSymbol(std::string_view symbol);
  std::size_t EndOfPrevious() const;

  OraStatus End();

  OraStatus ExpectRightParen();

  // A name that may be an alias: a quoted identifier, or an unquoted one that is no keyword.
  bool AtAliasName() const;

  // Queries (parser.cc).

  OraResult<std::vector<ast::CommonTable>> WithClause();

  OraResult<std::unique_ptr<ast::Query>> QueryExpr();

  OraResult<std::unique_ptr<ast::Query>> QueryExprBody();
  OraStatus RowLimit(ast::Query* query);

  OraResult<std::unique_ptr<ast::Query>> QueryTerm();

  OraResult<ast::SelectItem> SelectListItem();

  OraResult<std::unique_ptr<ast::FromItem>> FromEntry();

  OraResult<std::unique_ptr<ast::FromItem>> FromPrimary();

  // [owner.]name, without alias.
  OraResult<ast::TableName> TableNameRef();

  OraResult<ast::TableName> DmlTarget();

  // INSERT, UPDATE, DELETE (parser.cc).

  OraResult<std::unique_ptr<ast::Insert>> InsertStatement();

  OraResult<std::unique_ptr<ast::Update>> UpdateStatement();

  OraResult<std::unique_ptr<ast::Delete>> DeleteStatement();

  // A value written to a column (VALUES, SET): an expression, or DEFAULT alone.
  OraResult<ExprPtr> ColumnValue();

  // [alias.]column on the left of a SET assignment.
  OraResult<std::string> SetTarget();

  // c = value | (c, ...) = (query), ... (UPDATE and MERGE).
  OraStatus SetClause(std::vector<ast::Assignment>* assignments);

  // MERGE and INSERT ALL|FIRST (parser_merge.cc).

  OraResult<std::unique_ptr<ast::Merge>> MergeStatement();

  OraResult<std::unique_ptr<ast::MultiInsert>> MultiInsertStatement();

  // (value, ...) of VALUES, DEFAULT allowed.
  OraStatus ValueList(std::vector<ExprPtr>* values);

  // [(column, ...)] before VALUES: nothing when no list follows.
  OraStatus ColumnList(std::vector<std::string>* columns);

  // Conditions and expressions (parser_expressions.cc).

  ExprPtr Make(ExprKind kind, std::size_t begin);
  ExprPtr Finish(ExprPtr expr);
  // Refuses a tree grown too tall through long operator chains (a + a + ... + a).
  static OraResult<ExprPtr> Checked(ExprPtr expr);
  ExprPtr Binary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right);

  // A condition where SQL wants a truth value (WHERE, ON, HAVING, START WITH, CONNECT BY, WHEN):
  // a value standing alone there, such as `where 1` or `connect by level`, is ORA-00920.
  OraResult<ExprPtr> SearchCondition();

  static bool IsTruthValue(const Expr& expr);

  // Conditions and values share one grammar below this point: a parenthesised value and a
  // function argument are read as conditions too.
  OraResult<ExprPtr> Condition();

  OraResult<ExprPtr> AndCondition();

  OraResult<ExprPtr> NotCondition();

  OraResult<ExprPtr> Predicate();

  // left op ANY|SOME|ALL (list | query), at the quantifier.
  // The parenthesised right side of IN, ANY and ALL: a subquery into expr->query, or a list of
  // expressions appended to expr->args.
  OraStatus ListOrSubquery(Expr* expr);
  OraResult<ExprPtr> Quantified(std::string op, ExprPtr left);

  // Binary + - || share one level in Oracle, below * and /.
  OraResult<ExprPtr> Expression();

  OraResult<ExprPtr> Term();

  OraResult<ExprPtr> Unary();

  OraResult<ExprPtr> Primary();

  OraResult<ExprPtr> FunctionCall();

  OraResult<ExprPtr> TrimCall(ExprPtr expr);
  OraResult<ExprPtr> CastCall(ExprPtr expr);
  // EXTRACT(field FROM expr), after its opening parenthesis.
  OraResult<ExprPtr> ExtractCall(ExprPtr expr);

  OraResult<ExprPtr> CaseExpr();

  // Analytic functions and grouping (parser_analytic.cc).

  // The items of an ORDER BY, after its BY.
  OraStatus OrderByList(std::vector<ast::OrderItem>* items);

  // OVER (...) and WITHIN GROUP (ORDER BY ...) after a function's arguments, when present.
  OraStatus AnalyticClauses(Expr* expr);

  // IGNORE NULLS or RESPECT NULLS (the default), inside an analytic function's parentheses
  // or before its OVER.
  void NullTreatment(Expr* expr);

  OraResult<std::unique_ptr<ast::Window>> OverClause();

  OraResult<ast::FrameBound> FrameBoundary();

  // The list after GROUP BY, with ROLLUP, CUBE and GROUPING SETS expanded into `grouping_sets`.
  OraStatus GroupByList(ast::Select* select);

  // One element of a ROLLUP, CUBE or GROUPING SETS list: an expression or a parenthesised
  // list of them (`empty_ok`: the empty list () of GROUPING SETS), as positions in group_by.
  OraResult<std::vector<std::size_t>> GroupingColumns(ast::Select* select, bool empty_ok);

  // ROLLUP (...) or CUBE (...), after the keyword: the sets it stands for.
  OraResult<ast::GroupingSets> RollupOrCube(ast::Select* select, bool cube);

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

}  // namespace volmek::engine::parser_internal
