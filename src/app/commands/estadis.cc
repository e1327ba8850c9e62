// estadis <table> | estadis all: optimizer statistics of a table (or an index of that name).
#include "app/commands/commands.h"
#include "maint/statistics.h"

namespace volmek::app {

Status RunEstadis(db::RunContext& ctx, const Args& args) {
  return maint::GatherStatistics(ctx, args.first);
}

}  // namespace volmek::app
