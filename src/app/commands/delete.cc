// delete <tabla>: empties a table and its sub-tables.
#include "app/commands/commands.h"
#include "maint/empty_drop.h"

namespace volmek::app {

Status RunDelete(db::RunContext& ctx, const Args& args) {
  return maint::EmptyTable(ctx, args.first);
}

}  // namespace volmek::app
