// The engine's shared vocabulary: Oracle errors, column types, how each type is stored in
// SQLite, and the lookup through which the SQL translator resolves names.
//
// Storage of values in the SQLite tables (every writer and reader of the engine follows it):
//   NUMBER, FLOAT, INTEGER ...  TEXT column "COLLATE VKNUM", canonical decimal text: no exponent,
//                               no "+", no leading zeros but one "0" before the point, no trailing
//                               zeros after it, no point when integral ("-12.5", "0.25", "3").
//                               VKNUM compares such texts numerically and exactly.
//   CHAR(n)                     TEXT "COLLATE RTRIM", blank-padded to n characters.
//   VARCHAR2(n), LONG           TEXT as given.
//   DATE                        TEXT "YYYY-MM-DD HH24:MI:SS" (sorts chronologically).
//   RAW(n), LONG RAW            TEXT, upper-case hexadecimal.
// The empty text is never stored: '' is NULL.
//
// Values computed by functions and operators travel as SQLite INTEGER when integral and within
// 64 bits, REAL when the double holds the decimal exactly, TEXT canonical decimal otherwise;
// dates as the DATE text above.
//
// SQL functions that raise an Oracle error call sqlite3_result_error with the whole message
// ("ORA-01438: value larger than specified precision allowed for this column"); the cursor turns
// a SQLite error whose text begins with "ORA-" into that code and text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace volmek::engine {

// The most bytes a VARCHAR2 value of SQL holds (a VARCHAR2 column, a concatenation, LISTAGG).
inline constexpr std::size_t kMaxVarchar2Bytes = 4000;

// An Oracle error: the number and the whole message ("ORA-00942: table or view does not exist").
struct OraError {
  int code = 0;
  std::string message;
};

// Builds an OraError: Ora(942, "table or view does not exist") has the message
// "ORA-00942: table or view does not exist".
OraError Ora(int code, std::string_view text);

// Parses "ORA-nnnnn: ..." at the start of a SQLite error message.
std::optional<OraError> OraFromMessage(std::string_view sqlite_message);

enum class TypeKind { kNumber, kFloat, kChar, kVarchar2, kDate, kLong, kRaw, kLongRaw, kRowid };

// A declared column type, as the dictionary views show it.
struct SqlType {
  TypeKind kind = TypeKind::kVarchar2;
  int length = 0;                // CHAR/VARCHAR2/RAW length; 22 for NUMBER; 7 for DATE
  std::optional<int> precision;  // NUMBER(p[,s]); INTEGER has no precision and scale 0
  std::optional<int> scale;      // NUMBER(p,s); FLOAT has no scale
  int binary_precision = 126;    // FLOAT(b)
  // CHAR/VARCHAR2 declared with `n CHAR`: `length` counts characters, not bytes.
  bool char_semantics = false;

  // The internal type code Describe reports (2, 96, 1, 12, 8, 23, 24, 11).
  short TypeCode() const;
  // "NUMBER(8,2)", "VARCHAR2(30)", "VARCHAR2(30 CHAR)", "CHAR(4)", "DATE", as the describe
  // listing shows it.
  std::string DisplayText() const;
  // The most bytes a value takes: `length`, or for character semantics four bytes a character
  // (AL32UTF8) up to the type's limit of 4000 (VARCHAR2) or 2000 (CHAR) bytes. What
  // DATA_LENGTH and Describe report.
  int ByteLength() const;
  // The USER_TAB_COLUMNS data_type: "NUMBER", "FLOAT", "CHAR", "VARCHAR2", "DATE", "LONG", ...
  std::string DataTypeName() const;
};

struct ColumnInfo {
  std::string name;  // upper case for unquoted names
  SqlType type;
  bool nullable = true;
  // The SQLite expression of the column's default, giving the stored form (nullopt: none,
  // which is NULL). DEFAULT in VALUES and SET writes it.
  std::optional<std::string> default_sqlite = std::nullopt;
};

// A table, view or dictionary view as the translator sees it.
struct TableInfo {
  std::string owner;
  std::string name;
  std::string physical_name;  // the SQLite identifier, already quoted, to put into SQL text
  bool is_view = false;       // views and dictionary views
  std::vector<ColumnInfo> columns;
  // A view of the catalogue: its query as written, and "CHECK OPTION", "READ ONLY" or empty.
  // Empty text for dictionary views, which refuse DML.
  std::string view_text;
  std::string view_option;
  // A view that no longer compiles (its table dropped, a column gone): naming it is ORA-04063.
  bool view_invalid = false;
};

// A stored function as SQL calls it: vk_call('OWNER', 'NAME', arguments...).
struct StoredFunctionInfo {
  struct Param {
    TypeKind kind = TypeKind::kVarchar2;  // kNumber, kChar, kVarchar2 or kDate
    bool boolean = false;                 // BOOLEAN, which SQL has not
    bool out = false;                     // OUT or IN OUT
    bool has_default = false;
    bool known = true;  // false for %TYPE and %ROWTYPE, whose type SQL does not see
  };
  std::string owner;
  std::string name;
  bool valid = true;
  bool is_function = true;  // false for a procedure
  // A package's function whose name other functions of the package share: its place among
  // them (0 for the interface's first; -1 when it shares its name with none), and, before
  // a call has chosen one, all of them.
  int overload = -1;
  std::vector<StoredFunctionInfo> overloads;
  TypeKind return_kind = TypeKind::kNumber;
  bool returns_boolean = false;
  std::vector<Param> params;
};

// Name resolution for the translator. The engine core implements it over its catalogue for
// the logged-on user (own objects first, then the dictionary views and DUAL).
class SchemaLookup {
 public:
  virtual ~SchemaLookup() = default;
  // `name` upper-cased unless it was quoted. nullopt when there is no such table or view.
  virtual std::optional<TableInfo> FindTable(std::string_view name) const = 0;
  // Why FindTable(name) found nothing when it is not that there is no such name (ORA-00942):
  // a synonym whose object is gone (ORA-00980), for one.
  virtual std::optional<OraError> LookupError(std::string_view name) const {
    (void)name;
    return std::nullopt;
  }
  virtual bool SequenceExists(std::string_view name) const = 0;
  // The sequence [owner.]name stands for (`owner` empty when not written): its owner and
  // name, through synonyms where the schema has them; nullopt when there is none.
  struct SequenceName {
    std::string owner;
    std::string name;
  };
  virtual std::optional<SequenceName> FindSequence(std::string_view owner,
                                                   std::string_view name) const {
    if (!SequenceExists(name)) return std::nullopt;
    return SequenceName{owner.empty() ? CurrentUser() : std::string(owner), std::string(name)};
  }
  // The logged-on user (what USER returns, and the owner in error texts).
  virtual std::string CurrentUser() const = 0;
  // Whether table `table` (as FindTable takes it) has a unique key or unique index on
  // `column` alone, so that at most one row holds any one value of it.
  virtual bool IsUniqueColumn(std::string_view table, std::string_view column) const {
    (void)table;
    (void)column;
    return false;
  }
  // The user's stored procedure or function `name` (upper case); nullopt when none.
  virtual std::optional<StoredFunctionInfo> FindStoredFunction(std::string_view name) const {
    (void)name;
    return std::nullopt;
  }
};

}  // namespace volmek::engine
