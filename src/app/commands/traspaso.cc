// traspaso: turns the table text files of the current directory into bulk-load files and
// appends their bcp commands to carga.bat.
#include "app/commands/commands.h"
#include "migrate/bulk_load.h"

namespace volmek::app {

Status RunTraspaso(db::RunContext& ctx, const Args& /*args*/) {
  return migrate::ConvertDirectory(".", ctx.out, ctx.progress, ctx.charset);
}

}  // namespace volmek::app
