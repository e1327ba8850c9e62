// The dump file of volmek-exp and volmek-imp: tables of the embedded database, portable text.
//
// Lines of tab-separated fields, "\n" ends. A header line, then per table its name, its
// columns (name, Oracle type, NULL or NOT NULL), "ROWS", one "R" line per row and "END":
//
//   VOLMEK-DUMP\t1
//   TABLE\tCLIENTES
//   COLUMN\tID\tNUMBER(8)\tNOT NULL
//   COLUMN\tNOMBRE\tVARCHAR2(20)\tNULL
//   ROWS
//   R\t1\tANA
//   R\t2\t\N
//   END
//
// A value is its text (numbers exact, dates as 'YYYY-MM-DD HH24:MI:SS' text) with "\\", tab,
// line feed and carriage return escaped as \\, \t, \n and \r; \N is NULL. Files are written to
// a temporary name and renamed when complete.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/line_reader.h"
#include "base/status.h"

namespace volmek::tools {

inline constexpr std::string_view kDumpHeader = "VOLMEK-DUMP\t1";

struct DumpColumn {
  std::string name;
  std::string type;  // "NUMBER(8,2)", "VARCHAR2(20)", "DATE", "LONG RAW" ...
  bool nullable = true;

  // True for the number types, whose values go into SQL unquoted.
  bool IsNumeric() const;
};

struct DumpTable {
  std::string name;
  std::vector<DumpColumn> columns;
};

using DumpRow = std::vector<std::optional<std::string>>;

// Appends the escaped form of `value` (\N for NULL).
void AppendDumpValue(const std::optional<std::string>& value, std::string& line);

// Splits an "R" line into its values. Fails (kCorrupt) on a bad escape or a count other than
// `columns`.
Result<DumpRow> ParseDumpRow(std::string_view line, std::size_t columns);

class DumpWriter {
 public:
  // Creates "<path>.tmp"; fails with kIoError.
  static Result<DumpWriter> Create(const std::string& path);
  Status BeginTable(const DumpTable& table);
  Status WriteRow(const std::string& line);  // a line made with AppendDumpValue, after "R"
  Status EndTable();
  // Closes and renames to the dump's name; fails with kIoError.
  Status Finish();
  ~DumpWriter();
  DumpWriter(DumpWriter&&) = default;

 private:
  DumpWriter(std::string path, std::unique_ptr<std::ofstream> out)
      : path_(std::move(path)), out_(std::move(out)) {}
  Status Check();

  std::string path_;
  std::unique_ptr<std::ofstream> out_;
  bool finished_ = false;
};

class DumpReader {
 public:
  // Opens the dump and checks its header; kNotFound / kCorrupt.
  static Result<DumpReader> Open(const std::string& path);
  // Reads the next table's header into `table`; false at the end of the file.
  Result<bool> NextTable(DumpTable& table);
  // Reads the next row of the current table; false at its "END".
  Result<bool> NextRow(DumpRow& row);
  // Skips the rest of the current table's rows.
  Status SkipRows();

 private:
  explicit DumpReader(LineReader reader, std::string path)
      : reader_(std::move(reader)), path_(std::move(path)) {}
  Status Corrupt(std::string_view what) const;

  LineReader reader_;
  std::string path_;
  std::size_t columns_ = 0;
  std::string line_;
};

}  // namespace volmek::tools
