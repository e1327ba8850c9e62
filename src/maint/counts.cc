#include "maint/counts.h"

#include <fmt/format.h>

#include <charconv>
#include <ostream>

#include "base/text.h"
#include "datafiles/table_name.h"
#include "db/columns.h"

namespace volmek::maint {

namespace {

// The first column of a fetched row as a 64-bit integer: delivered as an integer, or the whole
// part of a decimal text; 0 for NULL.
std::int64_t IntegerValue(const db::Column& column, const db::FetchedValue& value) {
  if (value.is_null) return 0;
  if (column.delivery == db::Delivery::kInteger) return value.integer;
  std::int64_t whole = 0;
  std::string_view text = value.text;
  std::from_chars(text.data(), text.data() + text.size(), whole);
  return whole;
}

// Runs `sql` on the main cursor and leaves the first column of its last row in `*result`.
// Returns false (reported) when the query does not parse; `*result` is then untouched.
Result<bool> QueryInteger(db::Session& session, const std::string& sql, std::int64_t* result) {
  db::SessionCursor& cursor = session.main();
  session.Echo(sql);
  if (cursor.Parse(sql) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return false;
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty()) return false;  // reported by DescribeAndDefine
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Fatal(""));
  }
  bool fetched = false;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) break;
    *result = IntegerValue(columns[0], cursor.Value(0));
    fetched = true;
  }
  return fetched;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  for (char c : text) {
    if (c == '\'') quoted.push_back('\'');
    quoted.push_back(c);
  }
  return quoted;
}

}  // namespace

std::string InfoLine(std::string_view table, std::int64_t rows, std::int64_t bytes) {
  std::string count = fmt::format("{}", rows);
  std::string size = fmt::format("{}", bytes);
  auto pad = [](std::size_t width, std::size_t length) {
    return BlankFill(static_cast<long long>(width) - static_cast<long long>(length));
  };
  return fmt::format("Tabla: {}{} {}{}  filas {}{}  bytes.\n", table, pad(16, table.size()),
                     pad(9, count.size()), count, pad(12, size.size()), size);
}

Result<bool> CountedRows(db::RunContext& ctx, std::string& table, bool print) {
  UpperCaseInPlace(table);
  VOLMEK_RETURN_IF_ERROR(datafiles::CheckTableName(table));
  db::Session& session = ctx.db();
  std::int64_t rows = ctx.row_count_result;
  VOLMEK_ASSIGN_OR_RETURN(
      bool counted, QueryInteger(session, fmt::format("select count(*) from {}", table), &rows));
  if (!counted) return false;
  ctx.row_count_result = rows;
  if (!print) return true;

  std::int64_t bytes = 0;
  VOLMEK_ASSIGN_OR_RETURN(
      bool sized,
      QueryInteger(session,
                   fmt::format("select (avg_row_len * num_rows) as espacio from user_tables "
                               "where table_name = '{}'",
                               Quoted(table)),
                   &bytes));
  (void)sized;  // no statistics, or no such row: the size shows as 0
  ctx.out << InfoLine(table, rows, bytes);
  return true;
}

Status RowCount(db::RunContext& ctx, std::string& table, bool print) {
  Result<bool> counted = CountedRows(ctx, table, print);
  if (!counted.has_value()) return counted.error();
  return Status::Ok();
}

Status InfoTable(db::RunContext& ctx, std::string_view table) {
  std::string name(table);
  return RowCount(ctx, name, true);
}

}  // namespace volmek::maint
