// exp <name>...: the export utility, once per name (the name names the dump and log files).
#include "app/commands/commands.h"
#include "maint/export_import.h"

namespace volmek::app {

Status RunExp(db::RunContext& ctx, const Args& args) {
  return maint::RunUtility(ctx, maint::Utility::kExport, args.first);
}

}  // namespace volmek::app
