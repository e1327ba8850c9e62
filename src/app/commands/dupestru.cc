// dupestru <nueva> <modelo>: an empty copy of the model's structure, with its dictionary entry.
#include "app/commands/commands.h"
#include "maint/table_copy.h"

namespace volmek::app {

Status RunDupestru(db::RunContext& ctx, const Args& args) {
  return maint::Dupestru(ctx, args.first, args.second);
}

}  // namespace volmek::app
