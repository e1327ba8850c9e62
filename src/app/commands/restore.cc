// restore <table>... | restore all: each table emptied and loaded from <table>.txt.
#include "app/commands/commands.h"
#include "app/commands/load_table.h"

namespace volmek::app {

Status RunRestore(db::RunContext& ctx, const Args& args) {
  return LoadTableHandler(ctx, args, datafiles::LoadMode::kRestore);
}

}  // namespace volmek::app
