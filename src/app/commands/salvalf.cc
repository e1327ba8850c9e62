// salvalf <table> <file>: a managed table to a fixed-layout LF file.
#include "datafiles/salvalf.h"
#include "app/commands/commands.h"

namespace volmek::app {

Status RunSalvalf(db::RunContext& ctx, const Args& args) {
  return datafiles::SaveLf(ctx, args.first, args.second);
}

}  // namespace volmek::app
