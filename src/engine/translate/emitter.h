// The translator's second half: resolves the names of a parsed statement and writes it as
// SQLite SQL (see translate.h for the contract, schema.h for the storage rules).
//
// Literals are written either as parameters (?N, where their value does not change the
// statement's SQL or description: WHERE, ON, VALUES, SET) or into the text (select lists,
// GROUP BY, HAVING, ORDER BY, ROWNUM bounds). The emitter records which literal slot each
// parameter takes its value from, and which slots were written into the text, so that the shape
// cache can serve a statement of the same shape by binding its literals alone.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"
#include "engine/syntax/ast.h"
#include "engine/translate/translate.h"

namespace volmek::engine {

// Where the value of one parameter comes from: literal slot `slot` of the statement, negated
// when `negate` (a "-" written before a number).
// A LIKE pattern's parameter is bound as its GLOB form (`like`, with the ESCAPE character
// `escape`, empty when none).
struct ParameterSource {
  int slot = 0;
  bool negate = false;
  bool like = false;
  std::string escape;
};

// What the emitter produced besides the Translation.
struct EmitPlan {
  std::vector<ParameterSource> parameters;  // parameter ?N+1 is parameters[N]
  std::vector<int> fixed_slots;             // literal slots written into the SQL text
};

// Translates the parsed `statement` of text `sql`. `options.inline_literals` writes every
// literal into the text (the plan then has no parameters).
OraResult<Translation> EmitStatement(std::string_view sql, const ast::Statement& statement,
                                     const SchemaLookup& schema, const TranslateOptions& options,
                                     EmitPlan* plan);

}  // namespace volmek::engine
