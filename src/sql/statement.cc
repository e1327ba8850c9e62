#include "sql/statement.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace volmek::sql {

namespace {

bool IsNumber(const db::Column& column) { return column.delivery != db::Delivery::kText; }

// The padding of "%*c" with `width` and a blank: |width| characters, at least one.
void AppendPad(std::string& out, long long width) {
  out.append(static_cast<std::size_t>(width == 0 ? 1 : std::llabs(width)), ' ');
}

}  // namespace

void AppendHeader(std::string& out, const std::vector<db::Column>& columns,
                  const CharacterSet& charset) {
  out += '\n';
  for (const db::Column& column : columns) {
    const std::string& name = column.description.name;
    long long pad = static_cast<long long>(column.display_width) -
                    static_cast<long long>(CharacterCount(name, charset));
    if (IsNumber(column)) {
      AppendPad(out, pad);
      out += name;
    } else {
      out += name;
      AppendPad(out, pad);
    }
    out += ' ';
  }
  out += '\n';
  for (const db::Column& column : columns) {
    if (column.display_width > 0) out.append(static_cast<std::size_t>(column.display_width), '-');
    out += ' ';
  }
  out += '\n';
}

void AppendValue(std::string& out, const db::Column& column, const db::FetchedValue& value,
                 const CharacterSet& charset) {
  if (value.is_null) {
    AppendPad(out, column.display_width);
    return;
  }
  switch (column.delivery) {
    case db::Delivery::kInteger:
      fmt::format_to(std::back_inserter(out), "{:>{}}", value.integer, db::kNumberWidth);
      return;
    case db::Delivery::kFloat:
      fmt::format_to(std::back_inserter(out), "{:>{}}", db::TwoDecimals(value), db::kNumberWidth);
      return;
    case db::Delivery::kText: {
      out += value.text;
      std::size_t characters = CharacterCount(value.text, charset);
      if (static_cast<long long>(column.display_width) > static_cast<long long>(characters)) {
        out.append(column.display_width - characters, ' ');
      }
      return;
    }
  }
}

Status PrintRows(db::Session& session, db::SessionCursor& cursor,
                 const std::vector<db::Column>& columns, const CharacterSet& charset) {
  std::string line;
  while (true) {
    session.out() << '\n';
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) return Status::Ok();
    line.clear();
    for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
      AppendValue(line, columns[column_idx], cursor.Value(static_cast<int>(column_idx)), charset);
      line += ' ';
    }
    session.out() << line;
  }
}

Status RunSqlStatement(db::Session& session, std::string_view text, const CharacterSet& charset) {
  db::SessionCursor& cursor = session.main();
  session.Echo(text);
  if (cursor.Parse(text) != db::kRcOk) return session.ReportError(cursor);
  std::uint16_t kind = cursor.function_type();
  std::vector<db::Column> columns;
  if (kind == db::kFunctionSelect) {
    VOLMEK_ASSIGN_OR_RETURN(columns, db::DescribeAndDefine(session, cursor));
  }
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Status::Fatal("");
  }
  if (kind == db::kFunctionSelect) {
    std::string header;
    AppendHeader(header, columns, charset);
    session.out() << header;
    VOLMEK_RETURN_IF_ERROR(PrintRows(session, cursor, columns, charset));
  }
  switch (kind) {
    case db::kFunctionSelect:
    case db::kFunctionInsert:
    case db::kFunctionUpdate:
    case db::kFunctionDelete:
    case db::kFunctionMerge: {
      std::uint64_t rows = cursor.rows_processed();
      session.PrintAfterCommit(
          fmt::format("\nvolmek. {} fila{} procesada.\n", rows, rows == 1 ? "" : "s"));
      break;
    }
    default:
      session.PrintAfterCommit("\nvolmek. Instruccion procesada.\n");
      break;
  }
  return Status::Ok();
}

}  // namespace volmek::sql
