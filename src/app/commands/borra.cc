// borra <tabla> | all: drops a table, its sequence, its sub-tables and its dictionary entry.
#include "app/all_tables.h"
#include "app/commands/commands.h"
#include "maint/empty_drop.h"

namespace volmek::app {

// Called with `all` set once the confirmation has been answered "S": one pass over every table,
// with the dictionary's own tables dropped after all the others.
Status RunBorra(db::RunContext& ctx, const Args& args) {
  if (!args.all) return maint::DropTable(ctx, args.first);
  maint::DropAllAction drop(ctx);
  VOLMEK_RETURN_IF_ERROR(ForEachTable(ctx, [&](std::string_view table) { return drop(table); }));
  return drop.Finish();
}

}  // namespace volmek::app
