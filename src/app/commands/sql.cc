#include "app/commands/commands.h"
#include "sql/statement.h"

namespace volmek::app {

Status RunSql(db::RunContext& ctx, const Args& args) {
  return sql::RunSqlStatement(ctx.db(), args.first, ctx.charset);
}

}  // namespace volmek::app
