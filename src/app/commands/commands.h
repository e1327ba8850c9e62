// The handlers of the operations, one file each in this directory.
#pragma once

#include "app/commands/command.h"

namespace volmek::app {

Status RunInfo(db::RunContext& ctx, const Args& args);
Status RunCatalogo(db::RunContext& ctx, const Args& args);
Status RunGenera(db::RunContext& ctx, const Args& args);
Status RunTraspaso(db::RunContext& ctx, const Args& args);
Status RunEstadis(db::RunContext& ctx, const Args& args);
Status RunSql(db::RunContext& ctx, const Args& args);
Status RunFsql(db::RunContext& ctx, const Args& args);
Status RunSort(db::RunContext& ctx, const Args& args);
Status RunImp(db::RunContext& ctx, const Args& args);
Status RunExp(db::RunContext& ctx, const Args& args);
Status RunAdd(db::RunContext& ctx, const Args& args);
Status RunBackup(db::RunContext& ctx, const Args& args);
Status RunRestore(db::RunContext& ctx, const Args& args);
Status RunSalvalf(db::RunContext& ctx, const Args& args);
Status RunRepro(db::RunContext& ctx, const Args& args);
Status RunReproa(db::RunContext& ctx, const Args& args);
Status RunFiche(db::RunContext& ctx, const Args& args);
Status RunDelete(db::RunContext& ctx, const Args& args);
Status RunBorra(db::RunContext& ctx, const Args& args);
Status RunDupestru(db::RunContext& ctx, const Args& args);
Status RunCreacpy(db::RunContext& ctx, const Args& args);

}  // namespace volmek::app
