// The record dictionary: the six x-tables that describe every application table's record.
//
// Beside each table the application keeps rows in xcampo (the fields), xclave (the key fields),
// xdivide (where the record is cut into the table and its sub-tables), xselec, xcondi and
// xindice. Every row carries in its first column, `indice`, the dictionary key of the table it
// describes. volmek never names another column: rows are read with "select *" ordered by
// position ("order by 2") and written with positional inserts, so only the order and the kind
// (text or integer) of the columns matter. sql/xtables.sql creates the six tables.
//
//   xcampo   indice, order number, name, second name, type ("A" alphanumeric, else numeric),
//            usage code, length, decimals, sign
//   xclave   indice, position in the key, field name, direction ("A" or "D")
//   xdivide  indice, integer, text, number (from 0) of the last field of a segment
//   xselec   indice, 2 integers, 5 texts
//   xcondi   indice, integer, integer, text, integer, text, integer, text, integer, text
//   xindice  indice, integer, a copy of the key, text
//
// A record whose xdivide holds the values 4 and 9 over 15 fields is kept in three tables: the
// table T with fields 0 to 4, T1 with fields 5 to 9 and T2 with fields 10 to 14.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/session.h"

namespace volmek::maint {

// The dictionary key of a table: the name without its first three characters when the third is
// "_" (AB_CLIENTES and CLIENTES share the key CLIENTES), otherwise the whole name.
std::string DictionaryKey(std::string_view table_name);

// One field of a record, from an xcampo row.
struct Field {
  std::string name;  // right-trimmed
  char type = ' ';   // "A" alphanumeric; anything else is numeric
  std::int64_t length = 0;
  std::int64_t decimals = 0;
};

// The fields of one table of a record: field numbers first to last, both included.
struct Segment {
  std::int64_t first = 0;
  std::int64_t last = -1;
};

// What the dictionary load gives: the field, key and division lists of one key, each in the
// order of its position column. No list has a limit.
struct RecordEntry {
  std::vector<Field> fields;
  std::vector<std::string> keys;        // xclave field names, right-trimmed
  std::vector<std::int64_t> divisions;  // xdivide last-field numbers

  // Segment 0 runs from field 0 to the first division value, each next one from the field after
  // the previous value to the next value, the last one to the last field. Without division
  // values there is one segment over all fields (0 to -1 when there are none).
  std::vector<Segment> Segments() const;

  // The last field named exactly `name`, or nullptr.
  const Field* FindField(std::string_view name) const;
};

// Checks that the division values cut the fields into segments of at least one field each:
// strictly increasing, from 0 on, and below the last field number. Fails with a Spanish
// message naming `table` and `key`.
Status CheckDivisions(const RecordEntry& entry, std::string_view table, std::string_view key);

// One value of an x-table row as read, NULL kept apart.
struct XValue {
  bool is_null = true;
  std::int64_t integer = 0;  // integer columns
  std::string text;          // text columns, trailing blanks included
};

enum class XKind { kText, kInteger };

// The shape of one x-table: its name and the kind of every column after `indice`.
struct XTable {
  std::string_view name;
  std::span<const XKind> columns;
  int order_column;  // the position column the rows are read in ("order by N")
};

// The six x-tables, in the order the copy reads them: xcampo, xclave, xdivide, xselec, xcondi,
// xindice.
std::span<const XTable> XTables();

// The rows of one key in all six x-tables (columns after `indice`), as read.
struct DictionaryRows {
  std::vector<std::vector<std::vector<XValue>>> tables;  // one list of rows per XTables() entry
};

// Builds the positional insert that writes `row` of `table` under `key`: text values between
// apostrophes (an apostrophe inside doubled), integers in decimal, NULL as NULL. xindice gets
// the key again in its third column.
std::string InsertText(const XTable& table, std::string_view key, std::span<const XValue> row);

// Builds the RecordEntry of rows read from xcampo, xclave and xdivide.
RecordEntry EntryFromRows(const DictionaryRows& rows);

// Reads every row of `key` in the six x-tables on the dictionary cursor. A read that fails to
// parse is reported (Oracle error report) and gives a kDatabase Status with an empty message; a
// failed execute gives kFatal (reported). The rows come back in position order.
Result<DictionaryRows> ReadDictionary(db::Session& session, std::string_view key);

// The dictionary load: the field, key and division lists of `key`. Fails as ReadDictionary.
Result<RecordEntry> LoadDictionary(db::Session& session, std::string_view key);

// Deletes the rows of `key` from the six x-tables (xcondi, xindice, xclave, xdivide, xcampo,
// xselec), each delete reported when it fails and the next one run all the same. Fails only
// when the error limit is reached.
Status DeleteDictionary(db::Session& session, std::string_view key);

// Writes `rows` under `key` (one insert per row, each reported when it fails). Fails only when
// the error limit is reached.
Status WriteDictionary(db::Session& session, const DictionaryRows& rows, std::string_view key);

// The dictionary copy: writes every row of `from` again under `to`. Nothing happens when the
// two keys are equal. Fails as ReadDictionary.
Status CopyDictionary(db::Session& session, std::string_view from, std::string_view to);

// Text between apostrophes for SQL: "'" + text with every apostrophe doubled + "'".
std::string SqlQuote(std::string_view text);

}  // namespace volmek::maint
