#include "maint/empty_drop.h"

#include <array>

#include <fmt/format.h>

#include "base/text.h"
#include "db/columns.h"
#include "maint/counts.h"
#include "maint/dictionary.h"
#include "maint/run_statement.h"

namespace volmek::maint {

namespace {

constexpr int kSubTables = 5;

constexpr std::array<std::string_view, 6> kDictionaryTables{"XCAMPO", "XCLAVE", "XDIVIDE",
                                                            "XSELEC", "XCONDI", "XINDICE"};

// Runs `statement` (a format with one {} for the sub-table name) on T1, T2 ... as long as they
// exist.
Status ForEachSubTable(db::Session& session, std::string_view table, std::string_view statement) {
  for (int digit = 1; digit <= kSubTables; ++digit) {
    std::string sub_table = fmt::format("{}{}", table, digit);
    VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, sub_table));
    if (!exists) break;
    VOLMEK_RETURN_IF_ERROR(RunStep(session, fmt::format(fmt::runtime(statement), sub_table)));
  }
  return Status::Ok();
}

}  // namespace

Status EmptyTable(db::RunContext& ctx, std::string_view table) {
  std::string name = UpperCase(table);
  VOLMEK_RETURN_IF_ERROR(CheckTableName(name));
  db::Session& session = ctx.db();
  // Without a count the table is not there: the report of the count says why, and a success
  // line would show a count from an earlier table.
  VOLMEK_ASSIGN_OR_RETURN(bool counted, CountedRows(ctx, name, false));
  if (!counted) return Status::Database("");
  std::int64_t rows = ctx.row_count_result;
  VOLMEK_RETURN_IF_ERROR(RunStep(session, fmt::format("delete from {}", name)));
  VOLMEK_RETURN_IF_ERROR(ForEachSubTable(session, name, "delete from {}"));
  session.PrintAfterCommit(fmt::format("Borrada tabla {} con {} registros.\n", name, rows));
  return Status::Ok();
}

namespace {

// The drop of a table known to exist.
Status DropExisting(db::Session& session, std::string_view name, bool delete_dictionary) {
  if (delete_dictionary) VOLMEK_RETURN_IF_ERROR(DeleteDictionary(session, DictionaryKey(name)));
  // The table itself goes last and the sub-tables from the last one back, so that a run
  // interrupted half-way still finds the table, and every sub-table left, when it runs again.
  std::vector<std::string> sub_tables;
  for (int digit = 1; digit <= kSubTables; ++digit) {
    std::string sub_table = fmt::format("{}{}", name, digit);
    VOLMEK_ASSIGN_OR_RETURN(bool sub_exists, db::TableExists(session, sub_table));
    if (!sub_exists) break;
    sub_tables.push_back(std::move(sub_table));
  }
  for (auto it = sub_tables.rbegin(); it != sub_tables.rend(); ++it) {
    VOLMEK_RETURN_IF_ERROR(RunStep(session, fmt::format("drop table {}", *it)));
  }
  VOLMEK_RETURN_IF_ERROR(
      RunStep(session, fmt::format("drop sequence ID_{}", name), db::Report::kSilent));
  return RunStep(session, fmt::format("drop table {}", name));
}

}  // namespace

Status DropTableSteps(db::Session& session, std::string_view name, bool delete_dictionary) {
  VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, name));
  if (!exists) return Status::Ok();
  return DropExisting(session, name, delete_dictionary);
}

Status DropTable(db::RunContext& ctx, std::string_view table, bool delete_dictionary) {
  std::string name = UpperCase(table);
  VOLMEK_RETURN_IF_ERROR(CheckTableName(name));
  db::Session& session = ctx.db();
  VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, name));
  if (!exists) return Status::Ok();
  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  VOLMEK_RETURN_IF_ERROR(DropExisting(session, name, delete_dictionary));
  return session.EndUnit();
}

bool IsDictionaryTable(std::string_view table) {
  for (std::string_view name : kDictionaryTables) {
    if (name == table) return true;
  }
  return false;
}

Status DropAllAction::operator()(std::string_view table) {
  if (!IsPlainIdentifier(table)) {
    ctx_.out << InvalidTableNameMessage(table);
    return Status::Ok();
  }
  if (IsDictionaryTable(table)) {
    dictionary_tables_.emplace_back(table);
    return Status::Ok();
  }
  return DropTable(ctx_, table);
}

Status DropAllAction::Finish() {
  // The dictionary goes away as a whole, so its tables' own entries are not deleted one by
  // one: the second delete would already miss the first table dropped.
  for (const std::string& table : dictionary_tables_) {
    VOLMEK_RETURN_IF_ERROR(DropTable(ctx_, table, false));
  }
  dictionary_tables_.clear();
  return Status::Ok();
}

}  // namespace volmek::maint
