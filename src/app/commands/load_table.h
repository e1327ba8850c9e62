// The common part of the restore and add handlers.
#pragma once

#include "app/commands/command.h"
#include "datafiles/restore.h"

namespace volmek::app {

// Loads the table named by args.first. When some lines were rejected the rows loaded are
// kept (LoadTable committed them and printed the summary and the warning) and the table counts
// as failed: the dispatcher goes on with the next one and the run ends with exit status 1.
inline Status LoadTableHandler(db::RunContext& ctx, const Args& args, datafiles::LoadMode mode) {
  VOLMEK_ASSIGN_OR_RETURN(datafiles::LoadCounts counts,
                          datafiles::LoadTable(ctx, args.first, mode));
  if (counts.rejected == 0) return Status::Ok();
  return Status::InvalidInput("");
}

}  // namespace volmek::app
