// The values and types of PL/SQL variables.
//
// A Value is NULL, a NUMBER (exact Decimal), a text (VARCHAR2 and CHAR alike; '' is NULL), a
// DATE or a BOOLEAN. A PlType is what a declaration names: NUMBER(p,s), PLS_INTEGER,
// VARCHAR2(n), CHAR(n), DATE or BOOLEAN, with NOT NULL. Assign() converts a value to a
// variable's type the way PL/SQL's implicit conversions do and refuses what does not fit with
// ORA-06502, as Oracle words it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/storage/ora_result.h"
#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine::plsql {

enum class BaseType { kNumber, kPlsInteger, kVarchar2, kChar, kDate, kBoolean };

struct PlType {
  BaseType base = BaseType::kNumber;
  std::optional<int> precision;  // NUMBER(p[,s])
  std::optional<int> scale;
  int length = 0;  // VARCHAR2(n) / CHAR(n); 0 for no limit of ours
  bool not_null = false;
};

struct Value {
  enum class Kind { kNull, kNumber, kText, kDate, kBool };
  Kind kind = Kind::kNull;
  Decimal number;
  std::string text;
  Date date;
  bool boolean = false;

  bool is_null() const { return kind == Kind::kNull; }
  static Value Null() { return Value(); }
  static Value Number(Decimal value);
  static Value Integer(std::int64_t value) { return Number(Decimal::FromInt64(value)); }
  // The empty text is NULL.
  static Value Text(std::string value);
  static Value FromDate(Date value);
  static Value Bool(bool value);
};

// ORA-06502: PL/SQL: numeric or value error<detail>.
OraError ValueError(std::string_view detail = "");

// The value as a number: texts are parsed (ORA-06502 "character to number conversion error"),
// dates and booleans refused. NULL gives nullopt.
OraResult<std::optional<Decimal>> AsNumber(const Value& value);
// The value as text: numbers in Oracle's TO_CHAR form, dates in `date_format`, booleans refused
// (they have no text in SQL). NULL gives nullopt.
OraResult<std::optional<std::string>> AsText(const Value& value, std::string_view date_format);
// The value as a date: texts are read with `date_format`.
OraResult<std::optional<Date>> AsDate(const Value& value, std::string_view date_format);

// Converts `value` for a variable of type `type`: ORA-06502 when it does not fit ("character
// string buffer too small", "number precision too large"), when a text is no number, or when
// NULL meets NOT NULL.
OraResult<Value> Assign(const Value& value, const PlType& type, std::string_view date_format);

// The value written as a SQL literal, for statements run with the block's values in them:
// NULL, 12.5, 'it''s', TO_DATE('2003-11-15 00:00:00','YYYY-MM-DD HH24:MI:SS'). Booleans
// have no SQL form (PLS-00382).
OraResult<std::string> SqlLiteral(const Value& value);

// Oracle's comparison of two non-null values: numbers by value, dates in time order, texts by
// their bytes (with blank-padded semantics when both are CHAR is not kept: PL/SQL compares
// VARCHAR2 semantics). A number meets text by converting the text.
OraResult<int> CompareValues(const Value& a, const Value& b, std::string_view date_format);

}  // namespace volmek::engine::plsql
