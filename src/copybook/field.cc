#include "copybook/field.h"

namespace volmek::copybook {

std::size_t SubordinatesEnd(const FieldTable& fields, std::size_t index) {
  std::size_t end = index + 1;
  while (end < fields.size() && fields[end].level > fields[index].level &&
         fields[end].level != 77 && fields[end].level != 1) {
    ++end;
  }
  return end;
}

}  // namespace volmek::copybook
