// The common part of the restore and add handlers.
#pragma once

#include "app/commands/command.h"
#include "datafiles/restore.h"

namespace volmek::app {

// Loads the table named by args.first. When some lines were rejected the rows loaded so far
// are kept: the session is logged off (which commits them) and the run ends with exit
// status 1 without loading further tables; the summary and the warning are already printed.
inline Status LoadTableHandler(db::RunContext& ctx, const Args& args, datafiles::LoadMode mode) {
  VOLMEK_ASSIGN_OR_RETURN(datafiles::LoadCounts counts,
                          datafiles::LoadTable(ctx, args.first, mode));
  if (counts.rejected == 0) return Status::Ok();
  ctx.db().Close();
  return Status::InvalidInput("");
}

}  // namespace volmek::app
