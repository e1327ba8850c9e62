// The handlers of the operations, one file each in this directory.
//
// How the dispatcher calls them (see app/dispatcher.h):
//   - once, with args as prepared, for the operations of one parameter set (sql, fsql, fiche,
//     delete, repro, reproa, dupestru, salvalf, creacpy, catalogo, genera, traspaso, sort);
//   - once per table for the table-argument operations (imp, exp, add, backup, restore): args
//     then holds that one name in `first`, as typed (not upper-cased), and in `params`;
//   - for "all" (info, estadis, backup, restore), once per table listed by the all-tables
//     driver, with the listed name in `first`; `all` is then false;
//   - borra all: once, with `all` set, after the confirmation was answered "S" (the handler
//     makes the pass over all tables itself, with ForEachTable);
//   - info, estadis, borra and delete with one named table: once, `first` upper-cased.
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
