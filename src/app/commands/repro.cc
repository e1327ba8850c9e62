// repro <t1> <t2>: copies t1 into a fresh managed table t2, dictionary included.
#include "app/commands/commands.h"
#include "maint/table_copy.h"

namespace volmek::app {

Status RunRepro(db::RunContext& ctx, const Args& args) {
  return maint::Repro(ctx, args.first, args.second);
}

}  // namespace volmek::app
