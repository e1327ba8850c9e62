// backup <table>... | backup all: each table to its table text file.
#include "datafiles/backup.h"
#include "app/commands/commands.h"

namespace volmek::app {

Status RunBackup(db::RunContext& ctx, const Args& args) {
  return datafiles::BackupTable(ctx, args.first);
}

}  // namespace volmek::app
