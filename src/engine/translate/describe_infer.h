// Types of SQL expressions as Oracle infers them, what Describe reports for them, and the
// values of literals.
//
// The translator gives every expression a Typed: the Oracle type it has (a column's declared
// type, CHAR(n) for a literal 'abc', NUMBER for arithmetic and counts, DATE for SYSDATE ...)
// and whether it may be NULL. Describe() turns that into the release-7 description:
//   computed numbers, count(*), unconstrained NUMBER   type 2, size 22, precision 0, scale 0
//   NUMBER(p,s) columns                                type 2, size 22, precision p, scale s
//   INTEGER columns                                    type 2, size 22, precision 38, scale 0
//   FLOAT(b) columns                                   type 2, size 22, precision b, scale -127
//   'ABC'                                              type 96, size 3
//   VARCHAR2(n) / CHAR(n) / DATE / LONG / RAW(n)       1 / 96 / 12 (size 7) / 8 / 23
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/call.h"
#include "engine/storage/ora_result.h"
#include "engine/storage/schema.h"
#include "engine/translate/translate.h"

namespace volmek::engine {

struct Typed {
  SqlType type;
  bool nullable = true;
  bool is_null = false;  // the NULL literal (or ''): takes any type

  static Typed Number();  // a computed number: NUMBER without precision and scale
  static Typed Char(int length);
  static Typed Varchar2(int length);
  static Typed Date();
  static Typed Null();
  static Typed Rowid();

  bool IsCharacter() const {
    return type.kind == TypeKind::kChar || type.kind == TypeKind::kVarchar2 ||
           type.kind == TypeKind::kLong;
  }
  bool IsNumeric() const { return type.kind == TypeKind::kNumber || type.kind == TypeKind::kFloat; }
  bool IsDate() const { return type.kind == TypeKind::kDate; }
};

// What Describe reports for an item of type `typed` named `name`.
db::ColumnDescription Describe(const Typed& typed, std::string name);

// The name Describe gives an unaliased expression: its text upper-cased with every blank
// (space, tab, line end) removed: "count(*)" -> "COUNT(*)", "a * b" -> "A*B".
std::string ExpressionName(std::string_view source_text);

// A numeric literal as written ("12", "12.50", ".5", "1E3"), negated when `negate`, as the
// value to bind: INTEGER when integral within 64 bits, REAL when it has at most 15 significant
// digits (a double holds it exactly), otherwise its canonical decimal text ("-12.5", "0.25").
// ORA-01426 (numeric overflow) for literals beyond Oracle's range.
OraResult<BindValue> NumberLiteral(std::string_view text, bool negate);

// The canonical decimal text of a numeric literal: no exponent, no leading zeros but one "0"
// before the point, no trailing zeros after it ("1.50E2" -> "150", ".5" -> "0.5").
OraResult<std::string> CanonicalNumber(std::string_view text, bool negate);

// A string literal's value as bound: '' is NULL.
BindValue StringLiteral(std::string value);

// The literal as SQLite SQL text: 12, 0.5, '123456789012345678.5', 'it''s', NULL.
std::string LiteralSql(const BindValue& value);

// A LIKE pattern as the equivalent GLOB pattern, so that the match is case-sensitive as
// Oracle's is: % -> *, _ -> ?, GLOB's own * ? [ quoted as [*] [?] [[]. With `escape`, the
// escape character before %, _ or itself makes that character literal; before anything else
// it is ORA-01424 (missing or illegal character following the escape character).
OraResult<std::string> LikePatternToGlob(std::string_view pattern, std::string_view escape);

// 'text' with apostrophes doubled; "name" with double quotes doubled.
std::string QuoteString(std::string_view text);
std::string QuoteName(std::string_view name);

}  // namespace volmek::engine
