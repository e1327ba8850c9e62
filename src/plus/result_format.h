// How volmek-plus lays out query results and describe listings, in the default formats of the
// Oracle command-line tool (COLSEP one blank, NUMWIDTH 10, no column formats).
//
// A query row is its columns in select-list order, each padded to its display width and
// separated by one blank, the last one padded too; there is no leading blank:
//
//   EMP                14 CATALOGO_TABLA
//
//   - text (CHAR, VARCHAR2, literals): width = the item's size, value left-aligned;
//   - NUMBER: width = max(10, length of the heading), value right-aligned, integers as digits,
//     decimals without a leading or trailing zero (".5"), rounded to fit, in exponent form when
//     the integer part does not fit ("1.0000E+27");
//   - DATE: the session's date text, width 9;
//   - NULL: blanks.
// A row wider than the line size goes on with the next column on a further line.
//
// A describe listing (DESC EMP) is a heading, an underline and one line per column:
//
//    Name                                      Null?    Type
//    ----------------------------------------- -------- ----------------------------
//    EMPNO                                     NOT NULL NUMBER(4)
//    ENAME                                              VARCHAR2(10)
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/call.h"

namespace volmek::plus {

// One item of a select list as printed.
struct OutputColumn {
  std::string heading;
  int width = 0;
  bool right_aligned = false;  // numbers
  bool is_number = false;
};

// The printed column for a described select-list item.
OutputColumn LayoutColumn(const db::ColumnDescription& description);

// The text of a number within `width` characters, from its exact decimal text ("-0.25",
// "12345678901234.5678", "3"): right-aligned, rounded to fit, or in exponent form; a run of
// "#" when not even the exponent form fits.
std::string FormatNumber(std::string_view exact, int width);

// One printed value: std::nullopt is NULL.
using OutputValue = std::optional<std::string>;

// The line(s) of one row, each ending with "\n".
std::string FormatRow(const std::vector<OutputColumn>& columns,
                      const std::vector<OutputValue>& values, int line_size);

// The heading line and the underline, each ending with "\n".
std::string FormatHeadings(const std::vector<OutputColumn>& columns, int line_size);

// How SERVEROUTPUT lays out a line longer than the line size.
enum class ServerOutputFormat {
  kWrapped,      // cut every line size characters
  kWordWrapped,  // cut between words; leading blanks of every line dropped
  kTruncated,    // what passes the line size is not shown
};

// One line that DBMS_OUTPUT gave, as shown: one or more lines, each ending with "\n" (an empty
// line is shown as one). A line end inside it starts a new line.
std::string FormatServerOutputLine(std::string_view line, int line_size, ServerOutputFormat format);

// One column of a describe listing.
struct DescribedColumn {
  std::string name;
  bool not_null = false;
  std::string type;  // "NUMBER(4)", "VARCHAR2(10)", "DATE", ...
};

// The type text a describe listing shows for a dictionary row: data_type and the texts of
// data_length, data_precision and data_scale ("" for NULL).
std::string TypeText(std::string_view data_type, std::string_view length,
                     std::string_view precision, std::string_view scale);

// The whole describe listing.
std::string FormatDescribe(const std::vector<DescribedColumn>& columns);

}  // namespace volmek::plus
