#include "maint/table_name.h"

#include "base/text.h"
#include "datafiles/table_name.h"

namespace volmek::maint {

std::string InvalidTableNameMessage(std::string_view name) {
  return datafiles::InvalidTableNameMessage(name);
}

Status CheckTableName(std::string_view name) {
  if (!IsPlainIdentifier(name)) return Status::Refused(InvalidTableNameMessage(name));
  if (name.size() > datafiles::kMaxIdentifierLength) {
    return Status::Refused(datafiles::TooLongTableNameMessage(name));
  }
  return Status::Ok();
}

}  // namespace volmek::maint
