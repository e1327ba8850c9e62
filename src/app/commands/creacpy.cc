// creacpy <tabla> <copy>: a COBOL copybook into a managed table with its XCAMPO rows.
#include "copybook/creacpy.h"
#include "app/commands/commands.h"

namespace volmek::app {

// The copybook name is the second parameter as the dispatcher prepares it: empty unless the
// operation got exactly two parameters, so that a missing name is looked for as ".cpy".
Status RunCreacpy(db::RunContext& ctx, const Args& args) {
  return copybook::CreateTableFromCopybook(ctx, args.first, args.second);
}

}  // namespace volmek::app
