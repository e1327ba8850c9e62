#include "copybook/creacpy.h"

#include <fmt/format.h>

#include "base/progress.h"
#include "base/text.h"
#include "copybook/generation.h"
#include "copybook/layout.h"
#include "copybook/reader.h"
#include "maint/dictionary.h"
#include "maint/empty_drop.h"
#include "maint/managed_table.h"
#include "maint/preflight.h"
#include "maint/run_statement.h"
#include "maint/table_name.h"

namespace volmek::copybook {

namespace {

// ID_<tabla> must be an Oracle name too.
constexpr std::size_t kMaxTableName = kMaxColumnName - 3;

// Takes back what this run created after a failed step: the uncommitted XCAMPO rows first
// (a drop would commit them), then the table when it was made, then the sequence.
Status Undo(db::Session& session, std::string_view table, bool table_created) {
  VOLMEK_RETURN_IF_ERROR(maint::RunStep(session, "rollback"));
  if (table_created) {
    VOLMEK_RETURN_IF_ERROR(maint::RunStep(session, fmt::format("drop table {}", table)));
  }
  return maint::RunStep(session, fmt::format("drop sequence ID_{}", table), db::Report::kSilent);
}

}  // namespace

Status CreateTableFromCopybook(db::RunContext& ctx, std::string_view table_arg,
                               std::string_view copybook) {
  const std::string table = UpperCase(table_arg);
  VOLMEK_RETURN_IF_ERROR(maint::CheckTableName(table));
  if (table.size() > kMaxTableName) {
    return Status::InvalidInput(
        fmt::format("El nombre de tabla {} pasa de {} caracteres (ID_{} pasaria de {}).\n", table,
                    kMaxTableName, table, kMaxColumnName));
  }

  // Everything that can refuse the copybook runs before the old table is touched.
  VOLMEK_ASSIGN_OR_RETURN(const std::string path, CopybookPath(ctx.env, copybook));
  VOLMEK_ASSIGN_OR_RETURN(FieldTable fields, ReadCopybookFile(path, ctx.echo, ctx.out));
  VOLMEK_ASSIGN_OR_RETURN(const Layout layout,
                          RunFieldLayout(std::move(fields), ctx.env, copybook, ctx.echo, ctx.out));
  VOLMEK_ASSIGN_OR_RETURN(const std::vector<Column> columns, PlanColumns(layout.fields, table));
  // An empty copybook (or one cut short before its first field) would replace the table by one
  // that holds nothing but its row identifier.
  if (columns.empty()) {
    return Status::InvalidInput(
        fmt::format("El copy {} no define ningun campo. No se modifica nada.\n", path));
  }

  db::Session& session = ctx.db();
  const std::string key = maint::DictionaryKey(table);
  const std::string tbdatos = ctx.env.Get("TBDATOS");
  const std::string tbindices = ctx.env.Get("TBINDICES");

  VOLMEK_RETURN_IF_ERROR(maint::CheckTablespace(session, "TBDATOS", tbdatos));
  VOLMEK_RETURN_IF_ERROR(maint::CheckTablespace(session, "TBINDICES", tbindices));

  VOLMEK_RETURN_IF_ERROR(session.BeginUnit());
  VOLMEK_RETURN_IF_ERROR(maint::DropTableSteps(session, table));
  VOLMEK_RETURN_IF_ERROR(session.Commit());

  VOLMEK_ASSIGN_OR_RETURN(const bool sequence_created,
                          session.RunStatement(maint::CreateSequenceText(table)));
  VOLMEK_ASSIGN_OR_RETURN(const bool table_created, session.RunStatement(CreateTableText(
                                                        table, columns, layout.fields, tbdatos)));
  if (!table_created) {
    if (sequence_created) VOLMEK_RETURN_IF_ERROR(Undo(session, table, false));
    return Status::Database("");
  }

  ProgressTask progress = ctx.progress.Begin(fmt::format("creacpy {}", table));
  for (std::size_t order = 0; order < columns.size(); ++order) {
    VOLMEK_ASSIGN_OR_RETURN(const bool inserted, session.RunStatement(XcampoInsertText(
                                                     key, order, columns[order], layout.fields)));
    if (!inserted) {
      progress.End();
      VOLMEK_RETURN_IF_ERROR(Undo(session, table, true));
      return Status::Database("");
    }
    progress.Update(order + 1, order + 1, columns.size());
  }
  progress.End();

  VOLMEK_ASSIGN_OR_RETURN(const bool keyed,
                          session.RunStatement(maint::PrimaryKeyText(table, tbindices)));
  (void)keyed;  // a refused key is reported; the table and its rows stay, as they are valid
  return session.EndUnit();
}

}  // namespace volmek::copybook
