// imp <table>...: the import utility, once per table, from <table>.dmp.
#include "app/commands/commands.h"
#include "maint/export_import.h"

namespace volmek::app {

Status RunImp(db::RunContext& ctx, const Args& args) {
  return maint::RunUtility(ctx, maint::Utility::kImport, args.first);
}

}  // namespace volmek::app
