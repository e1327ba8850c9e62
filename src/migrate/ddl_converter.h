// DdlConverter: turns the catalogue listing (catalogo.txt) into SQL Server DDL (genera.sql).
//
// The listing is what the catalogue script spools: per table a marker row, the two describe
// heading lines, one line per column, an index marker row and one row per indexed column; per
// view a marker row and its describe lines. Lines are recognised by marker texts and position,
// and only blank-separated words are read:
//
//   EMP         14 CATALOGO_TABLA                     table marker: word 1 from column 1
//    Name                       Null?    Type        describe heading (two lines, skipped)
//    ----------------------------- -------- ------
//    EMPNO                      NOT NULL NUMBER(4)   column: name, [NOT NULL], type
//   EMP         14 CATALOGO_INDICES                   index marker
//   PK_EMP  UNIQUE  EMPNO  1 ASC  EMP                 index row: name, uniqueness, column, position
//   V            3 CATALOGO_VISTA                     view marker: the view's lines make no DDL
//
// For that table the converter writes a banner, "drop table EMP\n;\n", a create table statement
// whose first column is the identity column IDENTI, one definition per column (types converted:
// CHAR/RAW/short VARCHAR2 to char (n), long VARCHAR2 and LONG to text, NUMBER to dec (p,s), DATE
// to datetime) and one create index statement per index.
//
// The converter is a single pass: feed it every line as LineReader delivers it ("text\n", or a
// last line without its line end), then call Finish. Output goes to the stream as it is
// produced, so a run that stops keeps what was written before the stop; the caller checks the
// stream for write errors.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "base/status.h"

namespace volmek::migrate {

class DdlConverter {
 public:
  // `out` must outlive the converter.
  explicit DdlConverter(std::ostream& out) : out_(out) {}

  // Handles one line of the listing. Fails (kInvalidInput, the message ready to print) on a
  // column line whose "NOT" is not followed by "NULL" ("Esperado NOT NULL (%s) %s\n"), on a type
  // with no SQL Server counterpart (the "campo: ... tipo: ..." line, then "Tipo no tratado \n")
  // and on a name that is not an identifier. After a failure the converter must not be used.
  Status Line(std::string_view line);

  // The end of the listing: closes the index or table statement still open.
  void Finish();

 private:
  struct IndexRow {
    std::string name;
    std::string uniqueness;
    std::string position;
  };

  Status IndexLine(std::string_view line);
  Status ColumnLine(std::string_view line);
  Status TableMarker(std::string_view line);
  void CloseIndex();

  std::ostream& out_;
  std::uint64_t line_number_ = 0;
  std::uint64_t line_counter_ = 0;  // lines since the last table marker row (that row is 1)
  bool index_section_ = false;
  bool view_section_ = false;
  bool table_open_ = false;
  bool index_open_ = false;
  IndexRow previous_index_;
  std::string current_table_;
};

// Converts the whole listing read from `in` into DDL written to `out`. Fails as
// DdlConverter::Line does, or with kIoError when `in` cannot be read.
Status ConvertListing(std::istream& in, std::ostream& out);

}  // namespace volmek::migrate
