// info <table> | info all: the row count and estimated size of a table.
#include "app/commands/commands.h"
#include "maint/counts.h"

namespace volmek::app {

Status RunInfo(db::RunContext& ctx, const Args& args) {
  std::string table = args.first;
  return maint::RowCount(ctx, table, true);
}

}  // namespace volmek::app
