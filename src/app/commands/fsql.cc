#include "app/commands/commands.h"
#include "sql/scripts.h"

namespace volmek::app {

Status RunFsql(db::RunContext& ctx, const Args& args) {
  return sql::RunScript(ctx.db(), args.first);
}

}  // namespace volmek::app
