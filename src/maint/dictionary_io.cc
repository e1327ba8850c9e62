#include <array>
#include <charconv>

#include <fmt/format.h>

#include "db/columns.h"
#include "maint/dictionary.h"
#include "maint/run_statement.h"

namespace volmek::maint {

namespace {

constexpr std::size_t kCampoIdx = 0;
constexpr std::size_t kClaveIdx = 1;
constexpr std::size_t kDivideIdx = 2;

// The delete order of the dictionary delete: the tables that refer to fields go first.
constexpr std::array<std::string_view, 6> kDeleteOrder{"xcondi",  "xindice", "xclave",
                                                       "xdivide", "xcampo",  "xselec"};

std::int64_t ParseInteger(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Reads one column of the row just fetched in the kind the x-table layout gives it, whatever
// the delivery the column's type chose (an unconstrained NUMBER arrives as floating text).
XValue ReadValue(const db::FetchedValue& fetched, const db::Column& column, XKind kind) {
  XValue value;
  value.is_null = fetched.is_null;
  if (value.is_null) return value;
  if (kind == XKind::kInteger) {
    value.integer =
        column.delivery == db::Delivery::kInteger ? fetched.integer : ParseInteger(fetched.text);
  } else {
    value.text = column.delivery == db::Delivery::kInteger ? fmt::format("{}", fetched.integer)
                                                           : fetched.text;
  }
  return value;
}

Result<std::vector<std::vector<XValue>>> ReadXTable(db::Session& session, const XTable& table,
                                                    std::string_view key) {
  std::string sql = fmt::format("select * from {} where indice = {} order by {}", table.name,
                                SqlQuote(key), table.order_column);
  session.Echo(sql);
  db::SessionCursor& cursor = session.has_dictionary() ? session.dictionary() : session.main();
  if (cursor.Parse(sql) != db::kRcOk) {
    if (Status status = session.ReportError(cursor); !status.ok()) return Err(status);
    return Err(Status::Database(""));
  }
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (cursor.Execute() != db::kRcOk) {
    if (Status status = session.ReportError(cursor); !status.ok()) return Err(status);
    return Err(Status::Fatal(""));
  }
  std::vector<std::vector<XValue>> rows;
  for (;;) {
    VOLMEK_ASSIGN_OR_RETURN(db::FetchStep step, session.FetchRow(cursor));
    if (step == db::FetchStep::kEnd) break;
    std::vector<XValue> row;
    row.reserve(table.columns.size());
    for (std::size_t column_idx = 0; column_idx < table.columns.size(); ++column_idx) {
      // Column 0 is `indice`; a table with fewer columns than its layout reads as NULLs.
      std::size_t select_idx = column_idx + 1;
      if (select_idx < columns.size()) {
        row.push_back(ReadValue(cursor.Value(static_cast<int>(select_idx)), columns[select_idx],
                                table.columns[column_idx]));
      } else {
        row.emplace_back();
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

Result<DictionaryRows> ReadDictionary(db::Session& session, std::string_view key) {
  DictionaryRows rows;
  for (const XTable& table : XTables()) {
    VOLMEK_ASSIGN_OR_RETURN(auto table_rows, ReadXTable(session, table, key));
    rows.tables.push_back(std::move(table_rows));
  }
  return rows;
}

Result<RecordEntry> LoadDictionary(db::Session& session, std::string_view key) {
  DictionaryRows rows;
  for (std::size_t table_idx : {kCampoIdx, kClaveIdx, kDivideIdx}) {
    VOLMEK_ASSIGN_OR_RETURN(auto table_rows, ReadXTable(session, XTables()[table_idx], key));
    rows.tables.push_back(std::move(table_rows));
  }
  return EntryFromRows(rows);
}

Status DeleteDictionary(db::Session& session, std::string_view key) {
  for (std::string_view table : kDeleteOrder) {
    std::string sql = fmt::format("delete from {} where indice = {}", table, SqlQuote(key));
    VOLMEK_RETURN_IF_ERROR(RunStep(session, sql));
  }
  return Status::Ok();
}

Status WriteDictionary(db::Session& session, const DictionaryRows& rows, std::string_view key) {
  for (std::size_t table_idx = 0; table_idx < rows.tables.size() && table_idx < XTables().size();
       ++table_idx) {
    for (const auto& row : rows.tables[table_idx]) {
      VOLMEK_RETURN_IF_ERROR(RunStep(session, InsertText(XTables()[table_idx], key, row)));
    }
  }
  return Status::Ok();
}

Status CopyDictionary(db::Session& session, std::string_view from, std::string_view to) {
  if (from == to) return Status::Ok();
  VOLMEK_ASSIGN_OR_RETURN(DictionaryRows rows, ReadDictionary(session, from));
  return WriteDictionary(session, rows, to);
}

}  // namespace volmek::maint
