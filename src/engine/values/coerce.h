// Conversions between SQLite values and Oracle column values: the coercion applied to every
// value written into a table column (vk_store), and the conversions fetch applies to what
// SQLite returns.
//
// On write (vk_store(value, type_code, length, precision, scale, owner, table, column)):
//   NUMBER (2)      any number or number text; rounded to the column's scale, ORA-01438 past its
//                   precision, ORA-01722 for text that is not a number; stored canonical.
//   CHAR (96)       text (numbers in Oracle's text form, dates in the session's date format),
//                   blank-padded to the length; ORA-12899 when longer (trailing blanks count).
//   VARCHAR2 (1)    the same without padding.
//   DATE (12)       a date in the stored form, or text read with the session's date format.
//   LONG (8)        text as given, no limit.
//   RAW (23), LONG RAW (24)  hexadecimal text (either case; ORA-01465 otherwise), stored upper
//                   case; RAW refuses more than `length` bytes with ORA-12899.
// NULL and '' give NULL whatever the type.
// Lengths count bytes, as Oracle's default byte length semantics do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/call.h"
#include "engine/values/date.h"
#include "engine/values/number.h"
#include "engine/values/session_settings.h"

struct sqlite3_value;

namespace volmek::engine {

// A SQLite value seen without SQLite: what a function argument or a result column holds.
struct SqlValue {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string_view text;  // kText and kBlob; borrowed, valid as long as the source value

  static SqlValue Null() { return {}; }
  static SqlValue Integer(std::int64_t v) { return {Kind::kInteger, v, 0, {}}; }
  static SqlValue Real(double v) { return {Kind::kReal, 0, v, {}}; }
  static SqlValue Text(std::string_view v) { return {Kind::kText, 0, 0, v}; }
};

// Reads a SQLite value (the text stays owned by SQLite).
SqlValue FromSqlite(sqlite3_value* value);

// The column a value is written to.
struct StoreTarget {
  int type_code = db::kTypeVarchar2;  // SqlType::TypeCode()
  std::int64_t length = 0;            // CHAR/VARCHAR2/RAW length
  bool char_semantics = false;        // CHAR/VARCHAR2: `length` counts characters
  std::optional<int> precision;
  std::optional<int> scale;
  std::string_view owner;  // for the ORA-12899 text
  std::string_view table;
  std::string_view column;
};

// The stored form of `value` for `target` into `*out`; false (and *out untouched) when the
// stored value is NULL. Errors as listed at the top of this file.
OraResult<bool> StoreValue(const SqlValue& value, const StoreTarget& target,
                           const SessionSettings& settings, std::string* out);

// The number a value names: INTEGER exactly, REAL by its shortest text, TEXT parsed (canonical
// text without parsing cost beyond one pass). NULL gives nullopt. ORA-01722 for text and
// blobs that are not numbers.
OraResult<std::optional<Decimal>> NumberOf(const SqlValue& value);

// Fills `out` for a NUMBER column delivered as `type`: kInteger the value with the fraction
// dropped (ORA-01455 when it does not fit in 64 bits); kFloat the nearest double and the exact
// canonical text; kString Oracle's text form (".5"). integer, real and text are filled for every
// type where they fit, so that a caller may read any of them. A NULL sets is_null and rcode 1405.
// Text that is not a number gives ORA-01722.
OraStatus FetchNumber(const SqlValue& value, db::ExternalType type, db::FetchedValue* out);

// The text a DATE column is fetched as: the stored form formatted with `date_format`.
// Stored text that is not a date is delivered as it is (a damaged file must still be readable).
OraResult<std::string> FetchDateText(std::string_view stored, std::string_view date_format);

// The ORA-12899 error for a value of `actual` bytes into a column of `maximum`.
OraError ValueTooLarge(const StoreTarget& target, std::int64_t actual);

}  // namespace volmek::engine
