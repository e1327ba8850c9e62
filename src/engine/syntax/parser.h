// The parser of Oracle queries and DML: tokens in, syntax tree out, with Oracle's syntax errors.
//
// It knows the grammar only; names are resolved by the translator. The first error found wins,
// with Oracle's code and text: 00900 (not SELECT, INSERT, UPDATE or DELETE), 00936 (missing
// expression), 00923 (FROM keyword not found where expected), 00933 (SQL command not properly
// ended), 00907 (missing right parenthesis), 00917 (missing comma), 00903 (invalid table name),
// 00925 (missing INTO keyword), 00926 (missing VALUES keyword), 00927 (missing equal sign),
// 00971 (missing SET keyword), 00924 (missing BY keyword), 00905 (missing keyword),
// 00911 (a ";" after the statement).
#pragma once

#include <string_view>
#include <vector>

#include "engine/storage/ora_result.h"
#include "engine/syntax/ast.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {

// Parses the statement `sql` already split into `tokens` (Tokenize). Literal tokens are
// numbered in order from 0 (ast::Expr::literal_slot).
OraResult<ast::Statement> ParseStatement(std::string_view sql, const std::vector<Token>& tokens);

// Parses a query alone (the query of CREATE VIEW or CREATE TABLE ... AS SELECT): the tokens
// hold the query and nothing else.
OraResult<std::unique_ptr<ast::Query>> ParseQuery(std::string_view sql,
                                                  const std::vector<Token>& tokens);

}  // namespace volmek::engine
