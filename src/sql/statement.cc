#include "sql/statement.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace volmek::sql {

namespace {

bool IsNumber(const db::Column& column) { return column.delivery != db::Delivery::kText; }

// The padding of "%*c" with `width` and a blank: |width| characters, at least one.
void AppendPad(std::string& out, long long width) {
  out.append(static_cast<std::size_t>(width == 0 ? 1 : std::llabs(width)), ' ');
}

bool IsDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Rounds a plain decimal text ("-12.345", "7", "0.005") to two decimals; nullopt when `text`
// is not such a text.
std::optional<std::string> RoundDecimalText(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  std::size_t point = text.find('.');
  std::string whole(text.substr(0, point));
  std::string fraction(point == std::string_view::npos ? std::string_view()
                                                       : text.substr(point + 1));
  if (whole.empty() || !IsDigits(whole) || !IsDigits(fraction)) return std::nullopt;
  bool round_up = fraction.size() > 2 && fraction[2] >= '5';
  fraction.resize(2, '0');
  std::string digits = whole + fraction;
  for (std::size_t idx = digits.size(); round_up && idx-- > 0;) {
    if (digits[idx] == '9') {
      digits[idx] = '0';
    } else {
      ++digits[idx];
      round_up = false;
    }
  }
  if (round_up) digits.insert(digits.begin(), '1');
  // A negative value that rounds to zero keeps its sign ("-0.00"), as fixed point printing
  // of it does; only a zero itself has none.
  if (text.find_first_of("123456789") == std::string_view::npos) negative = false;
  std::size_t first = digits.find_first_not_of('0');
  // Leading zeros of the whole part go, but one digit is always left before the point.
  std::size_t keep_from =
      std::min(first == std::string::npos ? digits.size() : first, digits.size() - 3);
  std::string result = negative ? "-" : "";
  result.append(digits, keep_from, digits.size() - 2 - keep_from);
  result += '.';
  result.append(digits, digits.size() - 2, 2);
  return result;
}

}  // namespace

std::string TwoDecimals(const db::FetchedValue& value) {
  if (!value.text.empty()) {
    if (std::optional<std::string> rounded = RoundDecimalText(value.text)) return *rounded;
  }
  return fmt::format("{:.2f}", value.real);
}

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
      fmt::format_to(std::back_inserter(out), "{:>{}}", TwoDecimals(value), db::kNumberWidth);
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
    case db::kFunctionDelete: {
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
