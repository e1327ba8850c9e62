#include "datafiles/backup.h"

#include <fmt/format.h>

#include <algorithm>
#include <ostream>

#include "base/text.h"
#include "datafiles/date_format.h"
#include "datafiles/row_writer.h"
#include "datafiles/table_name.h"
#include "datafiles/table_text.h"

namespace volmek::datafiles {

namespace {

// Rows fetched at once: as many as make about kBatchBytes, at most kMostRows. A thousand rows
// of a usual table make a batch of a few hundred KiB, whose hand-over to the writer costs
// nothing beside them; a table of long rows gets fewer a batch, so that the few batches in
// flight stay small. The first batch is short, to learn how long a row is.
constexpr std::size_t kMostRows = 1024;
constexpr std::size_t kFirstRows = 16;
constexpr std::size_t kBatchBytes = 1 << 20;

// The rows to fetch after a batch of `batch` rows.
std::size_t NextBatchRows(const db::FetchedRows& batch) {
  if (batch.rows == 0) return kFirstRows;
  const std::size_t bytes =
      batch.bytes.size() + batch.values.size() * sizeof(db::FetchedRows::Value);
  return std::clamp<std::size_t>(kBatchBytes * batch.rows / std::max<std::size_t>(bytes, 1), 1,
                                 kMostRows);
}

Status CannotWrite(const std::string& name) {
  return Status::IoError(fmt::format("Imposible escribir fichero copia ({}).\n", name));
}

// An unconstrained NUMBER column is described with precision 0 and so delivered as an integer,
// which would drop its decimals: the backup asks for its exact decimal text instead.
Status DeliverExactNumbers(db::Session& session, db::SessionCursor& cursor,
                           std::vector<db::Column>& columns) {
  for (std::size_t idx = 0; idx < columns.size(); ++idx) {
    db::Column& column = columns[idx];
    if (column.delivery != db::Delivery::kInteger || column.description.precision != 0) continue;
    if (cursor.Define(static_cast<int>(idx) + 1, db::ExternalType::kFloat) != db::kRcOk) {
      return session.ReportError(cursor);
    }
    column.delivery = db::Delivery::kFloat;
  }
  return Status::Ok();
}

}  // namespace

std::string BackupFileName(const Environment& env, std::string_view table) {
  std::string directory = env.Get("BACKUP");
  if (directory.empty()) return fmt::format("{}.txt", table);
  return fmt::format("{}/{}.txt", directory, table);
}

Result<std::uint64_t> WriteRows(db::Session& session, db::SessionCursor& cursor,
                                std::span<const db::Column> columns, ReplacingFile& file,
                                ProgressTask& progress) {
  std::vector<db::Delivery> deliveries;
  deliveries.reserve(columns.size());
  for (const db::Column& column : columns) deliveries.push_back(column.delivery);
  RowWriter writer(file, std::move(deliveries));
  std::uint64_t rows = 0;
  std::size_t batch_rows = kFirstRows;
  while (db::FetchedRows* batch = writer.Empty()) {
    int rc = cursor.FetchRows(columns.size(), batch_rows, *batch);
    rows += batch->rows;
    batch_rows = NextBatchRows(*batch);
    writer.Hand();
    if (rc == db::kRcOk) {
      progress.Update(rows);
      continue;
    }
    if (rc == db::kRcNoData) break;
    // The rows before the one that could not be read are written first: a write that failed
    // among them stops the backup as it would have before that row was fetched.
    VOLMEK_RETURN_IF_ERROR(writer.Finish());
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Err(Status::Refused(fmt::format("{}", rows + 1)));
  }
  // A write that failed stopped the loop above; Finish says so.
  VOLMEK_RETURN_IF_ERROR(writer.Finish());
  progress.Update(rows);
  return rows;
}

Status BackupTable(db::RunContext& ctx, std::string_view table) {
  VOLMEK_RETURN_IF_ERROR(CheckTableName(table));
  db::Session& session = ctx.db();
  std::string name = BackupFileName(ctx.env, table);
  Result<ReplacingFile> file = ReplacingFile::Create(name);
  if (!file.has_value()) {
    return Status::IoError(fmt::format("Imposible abrir fichero copia ({}).\n", name));
  }
  VOLMEK_ASSIGN_OR_RETURN(DateFormatSwitch dates, DateFormatSwitch::ToFileFormat(session));

  std::string sql = fmt::format("select * from {}", table);
  db::SessionCursor& cursor = session.main();
  session.Echo(sql);
  if (cursor.Parse(sql) != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return dates.UseSessionFormat();
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty()) return dates.UseSessionFormat();  // reported by DescribeAndDefine
  VOLMEK_RETURN_IF_ERROR(DeliverExactNumbers(session, cursor, columns));
  if (cursor.Execute() != db::kRcOk) {
    VOLMEK_RETURN_IF_ERROR(session.ReportError(cursor));
    return Status::Fatal("");
  }
  ProgressTask progress = ctx.progress.Begin(fmt::format("backup {}", table));
  Result<std::uint64_t> written = WriteRows(session, cursor, columns, *file, progress);
  progress.End();
  if (!written.has_value()) {
    if (written.error().code() == Status::Code::kIoError) return CannotWrite(name);
    if (written.error().code() == Status::Code::kRefused) {
      VOLMEK_RETURN_IF_ERROR(dates.UseSessionFormat());
      return Status::Refused(fmt::format(
          "Backup {} no realizado: no se pudo leer la fila {}. Se conserva la copia anterior.\n",
          table, written.error().message()));
    }
    return written.error();
  }
  std::uint64_t rows = cursor.rows_processed();
  if (!file->Commit().ok()) return CannotWrite(name);
  VOLMEK_RETURN_IF_ERROR(dates.UseSessionFormat());
  ctx.out << fmt::format("Backup {} con {} fila{} procesada.\n", table, rows,
                         PluralS(static_cast<long long>(rows)));
  return Status::Ok();
}

}  // namespace volmek::datafiles
