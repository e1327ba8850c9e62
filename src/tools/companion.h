// volmek-exp and volmek-imp: export and import of the embedded database's tables.
//
// They stand in for the Oracle export and import utilities when volmek runs on the embedded
// database (see maint/export_import.h). Export writes every table of the user (full=yes, or no
// tables=) or the tables named by tables= to the dump file (dump_file.h); import creates each
// table of the dump that it is asked for (tables=, or every one with full=yes) and loads its
// rows, then commits. A table that already exists is reported and its rows are skipped, unless
// ignore=y, which loads them into the existing table.
//
// Messages go to `out` and, when log= is given, to the log file as well.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "base/status.h"
#include "db/call.h"
#include "tools/dump_file.h"
#include "tools/tool_args.h"

namespace volmek::tools {

// The keywords each program accepts besides parfile and userid.
inline constexpr std::string_view kExportKeywords[] = {"file", "full", "log", "tables"};
inline constexpr std::string_view kImportKeywords[] = {"file", "full", "log", "tables", "ignore"};

// Runs the export. Fails (message ready to print, with its line end) when the logon, the dump
// file or any table fails; what could be exported is then still in the dump.
Status Export(const ToolArgs& args, std::ostream& out);

// Runs the import. Fails when the logon or the dump fails, when a requested table is not in
// the dump, cannot be created or has rows that were refused; the rest is imported and
// committed all the same.
Status Import(const ToolArgs& args, std::ostream& out);

// The Oracle type of a described column, as a create table statement writes it:
// "NUMBER(8,2)", "NUMBER", "CHAR(4)", "VARCHAR2(30)", "DATE", "LONG", "RAW(16)", "LONG RAW".
// Fails (kUnsupported) for a type the dump does not carry.
Result<std::string> ColumnTypeText(const db::ColumnDescription& column);

// The insert statement for one row of `table`.
Result<std::string> InsertStatement(const DumpTable& table, const DumpRow& row);

}  // namespace volmek::tools
