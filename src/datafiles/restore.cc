#include "datafiles/restore.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>
#include <ostream>

#include "base/line_reader.h"
#include "base/progress.h"
#include "base/text.h"
#include "datafiles/date_format.h"
#include "datafiles/old_form_nulls.h"
#include "datafiles/read_ahead.h"
#include "datafiles/table_name.h"
#include "datafiles/table_text.h"

namespace volmek::datafiles {
namespace {

// True when `group` lines (more than one) from lines[idx] are all converted rows to be written
// in the file's date format: their converted values follow one another.
bool StartsGroup(const std::vector<AheadLine>& lines, std::size_t idx, std::size_t group) {
  if (group < 2 || lines.size() - idx < group) return false;
  for (std::size_t row = idx; row < idx + group; ++row) {
    if (!lines[row].converted || lines[row].old_form_date) return false;
  }
  return true;
}

}  // namespace

std::string RestoreFileName(std::string_view table) { return fmt::format("{}.txt", table); }

Result<LoadCounts> LoadTable(db::RunContext& ctx, std::string_view table, LoadMode mode) {
  VOLMEK_RETURN_IF_ERROR(CheckTableName(table));
  db::Session& session = ctx.db();
  std::string name = RestoreFileName(table);
  auto stream = std::make_unique<std::ifstream>(name, std::ios::binary);
  if (!stream->is_open()) {
    return Err(Status::NotFound(fmt::format("Imposible abrir fichero restore ({}).\n", name)));
  }
  std::error_code size_error;
  const std::uintmax_t size_at_open = std::filesystem::file_size(name, size_error);
  LineReader reader(std::move(stream));
  VOLMEK_ASSIGN_OR_RETURN(DateFormatSwitch dates, DateFormatSwitch::ToFileFormat(session));
  if (mode == LoadMode::kRestore) {
    // A failed delete (no such table) is reported; the inserts are still tried, and reported.
    VOLMEK_ASSIGN_OR_RETURN(bool emptied,
                            session.RunStatement(fmt::format("delete from {}", table)));
    (void)emptied;
  }

  LoadCounts counts;
  ProgressTask progress = ctx.progress.Begin(
      fmt::format("{} {}", mode == LoadMode::kRestore ? "restore" : "add", table));
  std::uint64_t bytes_read = 0;
  const std::string prefix = fmt::format("insert into {} values (", table);
  std::string sql;
  // The direct path (db::Cursor::InsertRow) takes the lines of plain values; the others, the
  // rows it refuses and every line of a backend without it go as statements, as does every
  // line while statements are echoed.
  bool direct = !ctx.echo;
  // The file is read, split and converted ahead on a second thread; this one writes. The
  // converter is made now, under the file's date format, which the plain lines are read with.
  ReadAhead::Options options;
  options.split = direct;
  if (direct) options.converter = session.OpenRowConverter(table);
  const Status read_error =
      Status::IoError(fmt::format("Imposible leer fichero restore ({}).\n", name));
  // A file cut short while it was read ends early as if it were complete: what was loaded from
  // it is not the table's copy. (A file removed meanwhile stays readable to its end.)
  auto cut_short = [name, size_error, size_at_open] {
    std::error_code now_error;
    std::uintmax_t size_now = std::filesystem::file_size(name, now_error);
    return !size_error && !now_error && size_now < size_at_open;
  };
  ReadAhead ahead(std::move(reader), read_error, cut_short, std::move(options));
  // For the lines the reading thread leaves whole (those that may hold blank values).
  std::vector<db::RowValue> values;
  std::string scratch;
  // Described once, at the first line that may need it.
  std::optional<std::vector<bool>> null_if_blank;
  // Converted rows go by groups of this many (db::RowConverter::group_rows).
  const std::size_t group = ahead.converter() != nullptr ? ahead.converter()->group_rows() : 1;
  while (const LineBatch* batch = ahead.Next()) {
    const std::vector<AheadLine>& lines = batch->lines;
    // Lines before this one go one at a time: their group was refused as a whole.
    std::size_t single_until = 0;
    for (std::size_t idx = 0; idx < lines.size();) {
      if (direct && idx >= single_until && StartsGroup(lines, idx, group)) {
        VOLMEK_RETURN_IF_ERROR(dates.UseFileFormat());
        int rc = session.InsertConverted(*ahead.converter(), batch->converted,
                                         lines[idx].first_converted, group);
        if (rc == db::kRcOk) {
          for (std::size_t row = 0; row < group; ++row) {
            ++counts.lines;
            bytes_read += lines[idx + row].bytes;
          }
          idx += group;
          progress.Update(static_cast<std::uint64_t>(counts.lines), bytes_read,
                          size_error ? 0 : size_at_open);
          continue;
        }
        if (db::EndsSession(rc)) {
          // As for a single row: reported once, with the statement of the group's first row.
          VOLMEK_RETURN_IF_ERROR(
              session.ReportError(session.main(), fmt::format("{}{})", prefix, lines[idx].text)));
        }
        // Some row of the group is refused: each goes on its own and answers for itself.
        single_until = idx + group;
      }
      const AheadLine& line = lines[idx++];
      ++counts.lines;
      bytes_read += line.bytes;
      std::string_view text = line.text;
      bool old_form_date = line.old_form_date;
      bool plain = line.plain;
      std::span<const db::RowValue> row = batch->Values(line);
      std::optional<std::string> mended;
      if (line.may_hold_blank) {
        if (!null_if_blank.has_value()) null_if_blank = NumberAndDateColumns(session, table);
        mended = BlanksToNull(text, *null_if_blank);
        if (mended.has_value()) text = *mended;
        old_form_date = HasOldFormDate(text);
        plain = direct && SplitPlainLine(text, values, scratch);
        row = values;
      }
      VOLMEK_RETURN_IF_ERROR(old_form_date ? dates.UseSessionFormat() : dates.UseFileFormat());
      bool inserted = false;
      if (direct && plain) {
        int rc = db::kRcUnimplemented;
        if (line.converted) {
          rc = session.InsertConverted(*ahead.converter(), batch->converted, line.first_converted,
                                       1);
          inserted = rc == db::kRcOk;
        }
        // A converted row refused for any other reason than a lost session goes as the values
        // it was converted from, which answer for themselves.
        if (!inserted && !db::EndsSession(rc)) {
          rc = session.InsertRow(table, row);
          inserted = rc == db::kRcOk;
          if (rc == db::kRcUnimplemented) direct = false;
        }
        if (db::EndsSession(rc)) {
          // The transaction is gone: the row is reported once, with its statement, and the
          // load stops (running its statement would only meet the lost session).
          VOLMEK_RETURN_IF_ERROR(
              session.ReportError(session.main(), fmt::format("{}{})", prefix, text)));
        }
      }
      if (!inserted) {
        sql.assign(prefix);
        sql.append(text);
        sql.push_back(')');
        VOLMEK_ASSIGN_OR_RETURN(inserted, session.RunStatement(sql));
        if (!inserted) ++counts.rejected;
      }
      progress.Update(static_cast<std::uint64_t>(counts.lines), bytes_read,
                      size_error ? 0 : size_at_open);
    }
    if (batch->failure.has_value()) return Err(*batch->failure);
  }
  progress.End();
  VOLMEK_RETURN_IF_ERROR(dates.UseSessionFormat());
  // The summary says the rows are in the table: only a commit makes that true.
  VOLMEK_RETURN_IF_ERROR(session.Commit());

  ctx.out << fmt::format("{} {} con {} fila{} recuperada{}.\n",
                         mode == LoadMode::kRestore ? "Restore" : "Add", table, counts.lines,
                         PluralS(counts.lines), PluralS(counts.lines));
  if (counts.rejected > 0) {
    ctx.out << fmt::format("Warning. {} fila{} rechazada{}.\n", counts.rejected,
                           PluralS(counts.rejected), PluralS(counts.rejected));
  }
  return counts;
}

}  // namespace volmek::datafiles
