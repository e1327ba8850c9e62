#include "maint/table_name.h"

#include <fmt/format.h>

#include "base/text.h"

namespace volmek::maint {

std::string InvalidTableNameMessage(std::string_view name) {
  return fmt::format("Error. Nombre de tabla no valido ({}). No se modifica nada.\n", name);
}

Status CheckTableName(std::string_view name) {
  if (IsPlainIdentifier(name)) return Status::Ok();
  return Status::Refused(InvalidTableNameMessage(name));
}

}  // namespace volmek::maint
