#include "datafiles/salvalf.h"

#include <fmt/format.h>

#include <ostream>

#include "base/progress.h"
#include "base/text.h"
#include "datafiles/replacing_file.h"
#include "datafiles/table_name.h"
#include "db/two_decimals.h"

namespace volmek::datafiles {

namespace {

Status CannotWrite(std::string_view name) {
  return Status::IoError(fmt::format("Imposible escribir fichero copia ({}).\n", name));
}

Status TooWide(const db::Column& column, std::size_t length) {
  return Status::InvalidInput(
      fmt::format("demasiado ancha para el fichero LF: la columna {} necesita {} caracteres y su "
                  "campo tiene {}",
                  column.description.name, length, column.display_width));
}

// A line end inside a value would split the row into two lines of the layout.
Status HoldsLineEnd(const db::Column& column) {
  return Status::InvalidInput(fmt::format(
      "con un fin de linea en la columna {}: el fichero LF no lo admite", column.description.name));
}

Status AppendRight(const db::Column& column, std::string_view text, std::size_t width,
                   std::string& line) {
  if (text.size() > width) return TooWide(column, text.size());
  line.append(width - text.size(), ' ');
  line.append(text);
  return Status::Ok();
}

}  // namespace

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
      return AppendRight(column, db::TwoDecimals(value), static_cast<std::size_t>(db::kNumberWidth),
                         line);
    }
    case db::Delivery::kText:
      if (value.text.size() > width) return TooWide(column, value.text.size());
      if (value.text.find_first_of("\r\n") != std::string::npos) return HoldsLineEnd(column);
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
            fmt::format("Fila {} de {} {}.\n", row_number, table, field.message()));
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
