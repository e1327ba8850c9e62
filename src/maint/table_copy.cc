#include "maint/table_copy.h"

#include <fmt/format.h>

#include "base/progress.h"
#include "base/text.h"
#include "db/columns.h"
#include "maint/counts.h"
#include "maint/dictionary.h"
#include "maint/empty_drop.h"
#include "maint/managed_table.h"
#include "maint/preflight.h"
#include "maint/run_statement.h"

namespace volmek::maint {

namespace {

// Everything a repro or reproa needs, read and checked before anything is changed.
struct CopyPlan {
  std::string source;
  std::string destination;
  std::string source_key;
  std::string destination_key;
  DictionaryRows rows;
  RecordEntry entry;
  std::size_t segment_count = 1;
  std::string tbdatos;
  std::string tbindices;
};

// Reads the source's dictionary rows; a read that fails has been reported already and turns
// into a refusal unless the run must end anyway.
Result<DictionaryRows> ReadSourceDictionary(db::Session& session, std::string_view table,
                                            std::string_view key) {
  Result<DictionaryRows> rows = ReadDictionary(session, key);
  if (rows) return rows;
  if (rows.error().code() == Status::Code::kFatal) return rows;
  return Err(Status::Refused(UnreadableDictionaryMessage(table, key)));
}

Status CheckSourceExists(db::Session& session, std::string_view table) {
  VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, table));
  if (!exists) return Status::Refused(MissingTableMessage(table));
  return Status::Ok();
}

Status CheckNames(std::string_view first, std::string_view second) {
  if (first.empty() || second.empty()) {
    return Status::Refused("Error. Se tienen que especificar dos tablas. No se modifica nada.\n");
  }
  VOLMEK_RETURN_IF_ERROR(CheckTableName(first));
  return CheckTableName(second);
}

Result<CopyPlan> PlanCopy(db::RunContext& ctx, std::string_view t1, std::string_view t2) {
  CopyPlan plan;
  plan.tbdatos = ctx.env.Get("TBDATOS");
  plan.tbindices = ctx.env.Get("TBINDICES");
  plan.source = UpperCase(t1);
  plan.destination = UpperCase(t2);
  VOLMEK_RETURN_IF_ERROR(CheckNames(plan.source, plan.destination));
  plan.source_key = DictionaryKey(plan.source);
  plan.destination_key = DictionaryKey(plan.destination);
  db::Session& session = ctx.db();
  VOLMEK_RETURN_IF_ERROR(CheckSourceExists(session, plan.source));
  VOLMEK_ASSIGN_OR_RETURN(plan.rows, ReadSourceDictionary(session, plan.source, plan.source_key));
  plan.entry = EntryFromRows(plan.rows);
  if (plan.entry.fields.empty()) {
    return Err(Status::Refused(fmt::format(
        "Error. La tabla {} no tiene campos en el diccionario (clave {}). No se modifica nada.\n",
        plan.source, plan.source_key)));
  }
  VOLMEK_RETURN_IF_ERROR(CheckDivisions(plan.entry, plan.source, plan.source_key));
  plan.segment_count = plan.entry.divisions.size() + 1;
  for (std::size_t segment_idx = 0; segment_idx < plan.segment_count; ++segment_idx) {
    std::string destination = SegmentTable(plan.destination, segment_idx);
    for (std::size_t source_idx = 0; source_idx < plan.segment_count; ++source_idx) {
      if (destination == SegmentTable(plan.source, source_idx)) {
        return Err(Status::Refused(SameTableMessage(destination)));
      }
    }
    if (segment_idx > 0) {
      VOLMEK_RETURN_IF_ERROR(CheckSourceExists(session, SegmentTable(plan.source, segment_idx)));
    }
    // Every name the copy will create must be one Oracle takes.
    VOLMEK_RETURN_IF_ERROR(CheckDerivedName(destination, plan.destination));
    VOLMEK_RETURN_IF_ERROR(CheckDerivedName("ID_" + destination, plan.destination));
    if (!plan.entry.keys.empty()) {
      VOLMEK_RETURN_IF_ERROR(CheckDerivedName(destination + "I", plan.destination));
    }
  }
  VOLMEK_RETURN_IF_ERROR(CheckRecordNames(plan.entry, plan.source, plan.source_key));
  VOLMEK_RETURN_IF_ERROR(CheckTablespace(session, "TBDATOS", plan.tbdatos));
  VOLMEK_RETURN_IF_ERROR(CheckTablespace(session, "TBINDICES", plan.tbindices));
  return plan;
}

void EchoExistence(db::RunContext& ctx, std::string_view table, bool exists) {
  if (ctx.db().echo()) {
    ctx.out << fmt::format("Existencia tabla {} ({}) \n", table, exists ? "00" : "99");
  }
}

// The sequence of a table about to be created. A sequence left by a run that was interrupted
// after dropping its table is dropped first (silently: there is usually none), so that the new
// table's identifiers start at 1 again.
Status CreateSequence(db::Session& session, std::string_view table) {
  VOLMEK_RETURN_IF_ERROR(
      RunStep(session, fmt::format("drop sequence ID_{}", table), db::Report::kSilent));
  return RequireStep(session, CreateSequenceText(table));
}

// Statements 1 to 3 of the managed table: create table, primary key, unique index. A table
// that cannot be made whole ends the operation.
Status CreateManagedTable(db::Session& session, const CopyPlan& plan, std::string_view table,
                          std::size_t segment_idx) {
  VOLMEK_RETURN_IF_ERROR(
      RequireStep(session, CreateTableText(table, plan.entry, segment_idx, plan.tbdatos)));
  VOLMEK_RETURN_IF_ERROR(RequireStep(session, PrimaryKeyText(table, plan.tbindices)));
  if (!plan.entry.keys.empty()) {
    VOLMEK_RETURN_IF_ERROR(
        RequireStep(session, UniqueIndexText(table, plan.entry, plan.tbindices)));
  }
  return Status::Ok();
}

// Writes the source's entry under the destination key. An entry left under that key by an
// earlier table is deleted first, so that the copy never doubles its rows.
Status CopyEntry(db::Session& session, const CopyPlan& plan) {
  if (plan.source_key == plan.destination_key) return Status::Ok();
  VOLMEK_RETURN_IF_ERROR(DeleteDictionary(session, plan.destination_key));
  return WriteDictionary(session, plan.rows, plan.destination_key);
}

}  // namespace

std::string MissingTableMessage(std::string_view table) {
  return fmt::format("Error. No existe la tabla {}. No se modifica nada.\n", table);
}

std::string UnreadableDictionaryMessage(std::string_view table, std::string_view key) {
  return fmt::format(
      "Error. No se puede leer el diccionario de la tabla {} (clave {}). No se modifica nada.\n",
      table, key);
}

std::string SameTableMessage(std::string_view table) {
  return fmt::format("Error. La tabla {} seria a la vez origen y destino. No se modifica nada.\n",
                     table);
}

// The steps are ordered so that a run interrupted anywhere (where the backend keeps DDL even
// without the unit) is completed by running it again: each destination is dropped right before
// it is made again, and the entry is written last, after its stale rows are deleted.
Status Repro(db::RunContext& ctx, std::string_view t1, std::string_view t2) {
  VOLMEK_ASSIGN_OR_RETURN(CopyPlan plan, PlanCopy(ctx, t1, t2));
  db::Session& session = ctx.db();
  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  std::string last_destination;
  // Each segment is filled by one statement: the line moves on between them.
  ProgressTask progress = ctx.progress.Begin(fmt::format("repro {}", plan.destination));
  for (std::size_t segment_idx = 0; segment_idx < plan.segment_count; ++segment_idx) {
    std::string source = SegmentTable(plan.source, segment_idx);
    std::string destination = SegmentTable(plan.destination, segment_idx);
    std::string destination_key = DictionaryKey(destination);
    VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, destination));
    EchoExistence(ctx, destination, exists);
    if (exists) {
      if (plan.source_key != destination_key) {
        VOLMEK_RETURN_IF_ERROR(DeleteDictionary(session, destination_key));
      }
      VOLMEK_RETURN_IF_ERROR(RequireStep(session, fmt::format("drop table {}", destination)));
    }
    VOLMEK_RETURN_IF_ERROR(CreateSequence(session, destination));
    VOLMEK_RETURN_IF_ERROR(CreateManagedTable(session, plan, destination, segment_idx));
    VOLMEK_RETURN_IF_ERROR(
        RequireStep(session, FillText(destination, source, plan.entry, segment_idx)));
    last_destination = destination;
    progress.Update(session.main().rows_processed(), segment_idx + 1, plan.segment_count);
  }
  progress.End();
  VOLMEK_RETURN_IF_ERROR(CopyEntry(session, plan));
  VOLMEK_ASSIGN_OR_RETURN(bool counted, CountedRows(ctx, last_destination, false));
  if (!counted) return Status::Database("");
  session.PrintAfterCommit(fmt::format("Copiados {} registros de {} a {}.\n", ctx.row_count_result,
                                       plan.source, plan.destination));
  VOLMEK_RETURN_IF_ERROR(session.EndUnit());
  return Status::Ok();
}

Status Reproa(db::RunContext& ctx, std::string_view t1, std::string_view t2) {
  VOLMEK_ASSIGN_OR_RETURN(CopyPlan plan, PlanCopy(ctx, t1, t2));
  db::Session& session = ctx.db();
  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  ProgressTask progress = ctx.progress.Begin(fmt::format("reproa {}", plan.destination));
  for (std::size_t segment_idx = 0; segment_idx < plan.segment_count; ++segment_idx) {
    std::string source = SegmentTable(plan.source, segment_idx);
    std::string destination = SegmentTable(plan.destination, segment_idx);
    VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, destination));
    EchoExistence(ctx, plan.destination, exists);
    std::string counted = plan.source;
    VOLMEK_ASSIGN_OR_RETURN(bool was_counted, CountedRows(ctx, counted, false));
    if (!was_counted) return Status::Database("");
    if (!exists) {
      VOLMEK_RETURN_IF_ERROR(CreateSequence(session, destination));
      VOLMEK_RETURN_IF_ERROR(CreateManagedTable(session, plan, destination, segment_idx));
      if (segment_idx == 0) VOLMEK_RETURN_IF_ERROR(CopyEntry(session, plan));
    }
    VOLMEK_RETURN_IF_ERROR(
        RequireStep(session, FillText(destination, source, plan.entry, segment_idx)));
    progress.Update(session.main().rows_processed(), segment_idx + 1, plan.segment_count);
  }
  progress.End();
  session.PrintAfterCommit(fmt::format("Copiados {} registros de {} a {} (con adicion).\n",
                                       ctx.row_count_result, plan.source, plan.destination));
  VOLMEK_RETURN_IF_ERROR(session.EndUnit());
  return Status::Ok();
}

Status Dupestru(db::RunContext& ctx, std::string_view new_table, std::string_view model) {
  std::string name = UpperCase(new_table);
  std::string model_name = UpperCase(model);
  VOLMEK_RETURN_IF_ERROR(CheckNames(name, model_name));
  if (name == model_name) return Status::Refused(SameTableMessage(name));
  db::Session& session = ctx.db();
  std::string key = DictionaryKey(name);
  std::string model_key = DictionaryKey(model_name);
  VOLMEK_RETURN_IF_ERROR(CheckSourceExists(session, model_name));
  VOLMEK_ASSIGN_OR_RETURN(DictionaryRows rows,
                          ReadSourceDictionary(session, model_name, model_key));
  VOLMEK_ASSIGN_OR_RETURN(bool exists, db::TableExists(session, name));
  EchoExistence(ctx, name, exists);
  bool shared_key = key == model_key;
  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  if (!shared_key) VOLMEK_RETURN_IF_ERROR(DeleteDictionary(session, key));
  if (exists) {
    VOLMEK_RETURN_IF_ERROR(RequireStep(session, fmt::format("drop table {}", name)));
    VOLMEK_RETURN_IF_ERROR(RunStep(session, fmt::format("drop sequence ID_{}", name)));
  }
  VOLMEK_RETURN_IF_ERROR(
      RequireStep(session, fmt::format("create table {} as select * from {}", name, model_name)));
  VOLMEK_RETURN_IF_ERROR(RequireStep(session, fmt::format("delete from {}", name)));
  if (!shared_key) VOLMEK_RETURN_IF_ERROR(WriteDictionary(session, rows, key));
  return session.EndUnit();
}

}  // namespace volmek::maint
