// reproa <t1> <t2>: appends t1's rows to t2, creating t2 when it is missing.
#include "app/commands/commands.h"
#include "maint/table_copy.h"

namespace volmek::app {

Status RunReproa(db::RunContext& ctx, const Args& args) {
  return maint::Reproa(ctx, args.first, args.second);
}

}  // namespace volmek::app
