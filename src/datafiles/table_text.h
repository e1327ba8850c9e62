// The table text file: one table's rows as SQL value lists, one line per row.
//
// `backup` writes it, `restore` and `add` load it by wrapping each line in
// "insert into T values (...)", and `traspaso` turns it into bulk-load files. A line is the row's
// values in column order, separated by "," without blanks, and ends with "\n":
//
//   1,'A''B',NULL,1234.50,'2026-12-08 10:11:12','X'||chr(10)||'Y'
//
//   - NULL (any type) is the bare word NULL;
//   - integers are written in decimal ("42", "-7"), 64 bits wide;
//   - other numbers keep every digit the database holds, with at least two decimals ("7.257",
//     "1234.50", "3.00");
//   - text (character columns, DATE, ROWID and the rest) goes between apostrophes, an apostrophe
//     inside the value doubled; a line feed or carriage return inside the value is written as
//     ||chr(10)|| or ||chr(13)|| between quoted pieces, so that a row never takes two lines and
//     the line stays a valid value list;
//   - dates are written as 'YYYY-MM-DD HH24:MI:SS' (kDateFormat): backup and restore switch the
//     session's date format to it while they run.
//
// Files of the old form still read: a NULL was written as blanks between apostrophes (they come
// back as a text of blanks), apostrophes were not doubled (an apostrophe that is not followed by
// another one, a comma or the end of the line is taken as part of the value), numbers had
// exactly two decimals and dates were DD-MON-YY texts.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "db/call.h"
#include "db/columns.h"

namespace volmek::datafiles {

// The date format of the file, as an Oracle format model.
inline constexpr std::string_view kDateFormat = "YYYY-MM-DD HH24:MI:SS";

enum class FieldKind { kNull, kNumber, kText };

// One value of a line as the reader gives it back: kNull for the bare word NULL, kNumber with
// the number's text as written, kText with the value itself (quotes removed, doubled
// apostrophes undone, chr(10)/chr(13) pieces turned back into their characters).
struct Field {
  FieldKind kind = FieldKind::kNull;
  std::string text;

  bool operator==(const Field&) const = default;
};

// Reads one line, without its line end ("\n" or "\r\n" already removed). An empty line is a
// row of no values. Fails with Code::kCorrupt when the line is not a value list:
// "columna 3: falta el apostrofo final" and the like (1-based value position), so that callers
// can put the file name and line number in front.
Result<std::vector<Field>> ParseLine(std::string_view line);

// Splits a line of plain values into `values` for the direct path of loads
// (db::Cursor::InsertRow): numbers written -?digits[.digits], NULL in any letter case, and
// quoted texts whose apostrophes are doubled, separated by single commas. The texts of quoted
// values with doubled apostrophes are undone into `scratch`, which `values` then points into,
// as into `line`. Returns false for any other line (blanks, chr pieces, an old-form apostrophe,
// a NUL byte, a value of another kind): such a line is run as the statement it makes, which
// gives its own answer.
bool SplitPlainLine(std::string_view line, std::vector<db::RowValue>& values, std::string& scratch);

// The same for many lines: appends the line's values to `values` and its undone texts to
// `scratch`, leaving what they held before untouched. `scratch` must have room for line.size()
// more bytes without growing (so that texts undone before stay where they are); a line that
// would need more, like every line SplitPlainLine refuses, returns false and appends nothing.
bool AppendPlainLine(std::string_view line, std::vector<db::RowValue>& values,
                     std::string& scratch);

// Appends the table text form of `field` to `line` (a kNumber field is written as it stands).
void AppendField(const Field& field, std::string& line);

// The line (no line end) for `fields`.
std::string FormatLine(std::span<const Field> fields);

// Appends the table text form of one fetched value, delivered as `delivery`, to `line`.
// Writes no separator. Makes no allocation beyond the growth of `line`.
void AppendValue(db::Delivery delivery, const db::FetchedValue& value, std::string& line);

// Formats fetched rows (db::FetchedRows) as lines of table text, each value as AppendValue
// writes it, a batch at a time: a first pass sizes the batch's text, a second writes it in
// place. Keeps its scratch memory from batch to batch.
class RowFormatter {
 public:
  // One delivery per column of the rows it will format.
  explicit RowFormatter(std::vector<db::Delivery> deliveries);

  // Appends one line ("\n" included) per row of `rows` to `out`.
  // REQUIRES: rows.columns is the number of deliveries.
  void Append(const db::FetchedRows& rows, std::string& out);

 private:
  std::vector<db::Delivery> deliveries_;
  // The values written in the first pass (texts that need doubled apostrophes or chr pieces,
  // numbers without text) one after another, and for each the index of its value and the end
  // of its text in `prepared_`.
  std::string prepared_;
  std::vector<std::pair<std::size_t, std::size_t>> prepared_ends_;
};

// Appends a quoted text value ('...' with apostrophes doubled, chr pieces for line ends).
void AppendQuoted(std::string_view text, std::string& line);

// The exact decimal text `number` ("1234.5", "3", "-0.25") with at least two decimals
// ("1234.50", "3.00", "-0.25"); more decimals are kept as they are.
void AppendDecimal(std::string_view number, std::string& line);

}  // namespace volmek::datafiles
