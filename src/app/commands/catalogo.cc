// catalogo: writes the catalogue script catalogo.sql for the tables and views of the user.
#include <string>

#include "app/commands/commands.h"
#include "datafiles/replacing_file.h"
#include "migrate/catalog_script.h"

namespace volmek::app {

Status RunCatalogo(db::RunContext& ctx, const Args& /*args*/) {
  constexpr std::string_view kName = "catalogo.sql";
  auto file = datafiles::ReplacingFile::Create(std::string(kName));
  if (!file.has_value()) return Status::IoError("Imposible abrir fichero copia (catalogo.sql).\n");
  std::string script;
  // A failed execute ends the run before the file is replaced: the previous script stays.
  VOLMEK_RETURN_IF_ERROR(migrate::WriteCatalogScript(ctx.db(), script));
  if (!file->Write(script).ok() || !file->Commit().ok()) {
    return Status::IoError("Imposible escribir fichero copia (catalogo.sql).\n");
  }
  return Status::Ok();
}

}  // namespace volmek::app
