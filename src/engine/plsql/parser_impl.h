// The PL/SQL parser's state, shared by its block and expression halves.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/plsql/ast.h"
#include "engine/storage/ora_result.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine::plsql {

class Parser {
 public:
  Parser(std::string_view text, const std::vector<Token>& tokens) : text_(text), tokens_(tokens) {}

  OraResult<std::unique_ptr<Block>> ParseTop();

  // Blocks, declarations and statements (parser.cc).
  OraResult<std::unique_ptr<Block>> ParseBlockBody(std::string label);
  // BEGIN ... [EXCEPTION ...] END [name]; of a block whose declarations are read.
  OraStatus ParseBlockRest(Block& block);
  OraStatus ParseDeclarations(Block& block);
  // `unconstrained`: a parameter's or a function's type, which takes no length or precision.
  OraResult<TypeSpec> ParseType(bool unconstrained = false);

  // Procedures and functions (parser_units.cc): `stored` for CREATE's text, which has a body;
  // a declaration in a block may be a forward declaration (no IS/AS).
  OraResult<std::unique_ptr<Subprogram>> ParseSubprogram(bool stored);
  OraStatus ParseParams(Subprogram& subprogram);
  OraResult<std::unique_ptr<PackageUnit>> ParsePackageUnit();
  // NAME or PACKAGE.NAME, as "PACKAGE.NAME": an exception or a cursor of a package.
  OraResult<std::string> ExpectDottedName();
  OraResult<StmtList> ParseStatements(bool in_handler);
  OraResult<StmtPtr> ParseStatement();
  OraResult<StmtPtr> ParseIf();
  OraResult<StmtPtr> ParseCase();
  OraResult<StmtPtr> ParseLoop(std::string label);
  OraResult<StmtPtr> ParseFor(std::string label);
  OraResult<StmtPtr> ParseExecute();
  OraResult<StmtPtr> ParseNameStatement();
  OraResult<std::vector<ExprPtr>> ParseIntoList();

  // Expressions and SQL text (expr_parser.cc).
  OraResult<ExprPtr> ParseExpr();
  OraResult<ExprPtr> ParseOr();
  OraResult<ExprPtr> ParseAnd();
  OraResult<ExprPtr> ParseNot();
  OraResult<ExprPtr> ParseComparison();
  OraResult<ExprPtr> ParseConcat();
  OraResult<ExprPtr> ParseAdditive();
  OraResult<ExprPtr> ParseMultiplicative();
  OraResult<ExprPtr> ParseUnary();
  OraResult<ExprPtr> ParsePrimary();
  OraResult<ExprPtr> ParseCaseExpr();
  OraResult<ExprPtr> ParseNameExpr();
  OraResult<std::vector<ExprPtr>> ParseArgs();
  // The SQL statement from the current token to its ";" (not included), INTO targets taken out
  // into `*into` when given. Leaves the position on the ";".
  OraResult<SqlText> ParseSqlText(std::vector<ExprPtr>* into);
  // The SQL text of tokens [first, last), with its variable references.
  SqlText SqlFrom(std::size_t first, std::size_t last, bool is_statement) const;

  // Tokens.
  const Token& Peek(std::size_t ahead = 0) const {
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
  }
  bool Accept(std::string_view keyword);
  bool AcceptSymbol(std::string_view symbol);
  OraStatus Expect(std::string_view keyword);
  OraStatus ExpectSymbol(std::string_view symbol);
  OraResult<std::string> ExpectName();
  OraError Encountered(const Token& token) const;
  OraError Unsupported(const Token& token, std::string_view what) const;
  OraError Error(std::size_t offset, std::string_view message) const;

  std::string_view text_;
  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
  int depth_ = 0;  // nesting of blocks, statements and expressions
  int loops_ = 0;  // loops around the statement being read
  // What RETURN ends: 0 an anonymous block, 1 a procedure, 2 a function.
  int returns_ = 0;
  bool in_spec_ = false;  // a package interface: its subprograms have no bodies
};

// Nesting beyond this is refused (PLS-00123) rather than risking the stack.
inline constexpr int kMaxNesting = 200;

}  // namespace volmek::engine::plsql
