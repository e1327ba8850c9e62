// sort -i1<entrada> -o<salida> [-orden ...] [-omite ...] [-incluye ...]
#include "maint/sort.h"
#include "app/commands/commands.h"

namespace volmek::app {

Status RunSort(db::RunContext& ctx, const Args& args) { return maint::Sort(ctx, args.line); }

}  // namespace volmek::app
