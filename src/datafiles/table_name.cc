#include "datafiles/table_name.h"

#include <fmt/format.h>

#include "base/text.h"

namespace volmek::datafiles {

std::string InvalidTableNameMessage(std::string_view name) {
  return fmt::format("Error. Nombre de tabla no valido ({}). No se modifica nada.\n", name);
}

std::string TooLongTableNameMessage(std::string_view name) {
  return fmt::format(
      "Error. Nombre de tabla demasiado largo ({}): mas de {} caracteres. No se modifica nada.\n",
      name, kMaxIdentifierLength);
}

Status CheckTableName(std::string_view name) {
  std::size_t dot = name.find('.');
  std::string_view owner = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
  std::string_view table = dot == std::string_view::npos ? name : name.substr(dot + 1);
  if ((dot != std::string_view::npos && !IsPlainIdentifier(owner)) || !IsPlainIdentifier(table)) {
    return Status::Refused(InvalidTableNameMessage(name));
  }
  if (owner.size() > kMaxIdentifierLength || table.size() > kMaxIdentifierLength) {
    return Status::Refused(TooLongTableNameMessage(name));
  }
  return Status::Ok();
}

}  // namespace volmek::datafiles
