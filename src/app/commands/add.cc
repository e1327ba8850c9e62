// add <table>...: the rows of <table>.txt appended to each table.
#include "app/commands/commands.h"
#include "app/commands/load_table.h"

namespace volmek::app {

Status RunAdd(db::RunContext& ctx, const Args& args) {
  return LoadTableHandler(ctx, args, datafiles::LoadMode::kAdd);
}

}  // namespace volmek::app
