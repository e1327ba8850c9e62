#include <ostream>

#include "app/commands/commands.h"
#include "sql/scripts.h"

namespace volmek::app {

Status RunFiche(db::RunContext& ctx, const Args& args) {
  ctx.out << "Ejecuta el fichero (" << args.first << ")\n";
  return sql::RunFile(ctx.db(), args.first);
}

}  // namespace volmek::app
