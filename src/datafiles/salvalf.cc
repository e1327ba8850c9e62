#include "datafiles/salvalf.h"

#include <fmt/format.h>

#include <ostream>

#include "base/progress.h"
#include "base/text.h"
#include "datafiles/replacing_file.h"
#include "datafiles/table_name.h"

namespace volmek::datafiles {

namespace {

Status CannotWrite(std::string_view name) {
  return Status::IoError(fmt::format("Imposible escribir fichero copia ({}).\n", name));
}

Status TooWide(const db::Column& column, std::size_t length) {
  return Status::InvalidInput(
      fmt::format("la columna {} necesita {} caracteres y su campo tiene {}",
                  column.description.name, length, column.display_width));
}

Status AppendRight(const db::Column& column, std::string_view text, std::size_t width,
                   std::string& line) {
  if (text.size() > width) return TooWide(column, text.size());
  line.append(width - text.size(), ' ');
  line.append(text);
  return Status::Ok();
}

}  // namespace

std::string RoundToCents(std::string_view number) {
  bool negative = !number.empty() && number[0] == '-';
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.remove_prefix(1);
  std::size_t point = number.find('.');
  std::string whole(number.substr(0, point));
  std::string fraction =
      point == std::string_view::npos ? "" : std::string(number.substr(point + 1));
  if (whole.empty()) whole = "0";
  bool round_up = fraction.size() > 2 && fraction[2] >= '5';
  fraction.resize(2, '0');
  std::string digits = whole + fraction;  // the value in cents
  if (round_up) {
    std::size_t idx = digits.size();
    while (idx > 0) {
      --idx;
      if (digits[idx] == '9') {
        digits[idx] = '0';
      } else {
        ++digits[idx];
        break;
      }
      if (idx == 0) digits.insert(digits.begin(), '1');
    }
  }
  std::size_t first = digits.find_first_not_of('0');
  bool zero = first == std::string::npos;
  // Keep one digit before the point.
  std::size_t keep_from = zero ? digits.size() - 3 : std::min(first, digits.size() - 3);
  std::string result = digits.substr(keep_from, digits.size() - 2 - keep_from) + "." +
                       digits.substr(digits.size() - 2);
  return negative && !zero ? "-" + result : result;
}

Status AppendLfField(const db::Column& column, const db::FetchedValue& value, std::string& line) {
  std::size_t width = static_cast<std::size_t>(column.display_width > 0 ? column.display_width : 0);
  if (value.is_null) {
    line.append(width > 0 ? width : 1, ' ');
    return Status::Ok();
  }
  switch (column.delivery) {
    case db::Delivery::kInteger: {
      fmt::format_int digits(value.integer);
      return AppendRight(column, std::string_view(digits.data(), digits.size()), width, line);
    }
    case db::Delivery::kFloat: {
      std::string cents =
          value.text.empty() ? fmt::format("{:.2f}", value.real) : RoundToCents(value.text);
      return AppendRight(column, cents, static_cast<std::size_t>(db::kNumberWidth), line);
    }
    case db::Delivery::kText:
      if (value.text.size() > width) return TooWide(column, value.text.size());
      line.append(value.text);
      line.append(width - value.text.size(), ' ');
      return Status::Ok();
  }
  return Status::Ok();
}

Status SaveLf(db::RunContext& ctx, std::string_view table, std::string_view file_name) {
  VOLMEK_RETURN_IF_ERROR(CheckTableName(table));
  db::Session& session = ctx.db();
  Result<ReplacingFile> file = ReplacingFile::Create(std::string(file_name));
  if (!file.has_value()) {
    return Status::IoError(fmt::format("Imposible abrir fichero copia ({}).\n", file_name));
  }
  std::string sql = fmt::format("select * from {} order by ID_{}", table, table);
  db::SessionCursor& cursor = session.main();
  session.Echo(sql);
  if (cursor.Parse(sql) != db::kRcOk) return session.ReportError(cursor);
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty()) return Status::Ok();  // reported by DescribeAndDefine
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Status::Fatal("");
  }
  std::string line;
  std::uint64_t row_number = 0;
  ProgressTask progress = ctx.progress.Begin(fmt::format("salvalf {}", table));
  while (true) {
    int rc = cursor.Fetch();
    if (rc == db::kRcNoData) break;
    ++row_number;
    if (rc != db::kRcOk && rc != db::kRcNullValue) {
      // The buffers hold the row before; a file with that row twice is not a copy.
      VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
      return Status::InvalidInput(
          fmt::format("Fila {} de {} ilegible: no se escribe el fichero LF.\n", row_number, table));
    }
    line.clear();
    for (std::size_t idx = 1; idx < columns.size(); ++idx) {
      Status field = AppendLfField(columns[idx], cursor.Value(static_cast<int>(idx)), line);
      if (!field.ok()) {
        return Status::InvalidInput(
            fmt::format("Fila {} de {} demasiado ancha para el fichero LF: {}.\n", row_number,
                        table, field.message()));
      }
    }
    line.push_back('\n');
    if (!file->Write(line).ok()) return CannotWrite(file_name);
    progress.Update(row_number);
  }
  progress.End();
  std::uint64_t rows = cursor.rows_processed();
  if (!file->Commit().ok()) return CannotWrite(file_name);
  ctx.out << fmt::format("Copiado LF {} con {} fila{} procesada.\n", table, rows,
                         PluralS(static_cast<long long>(rows)));
  return Status::Ok();
}

}  // namespace volmek::datafiles
