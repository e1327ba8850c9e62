// The check a table name passes before it goes into the text of a statement.
//
// Names come from the command line (as typed, or upper-cased) and from the database's own list of
// tables, where a quoted name may hold blanks, quotes or semicolons. Such a name is refused, and
// so is one longer than Oracle's limit for an identifier, which is never cut to fit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/status.h"

namespace volmek::datafiles {

// The longest identifier Oracle accepts.
inline constexpr std::size_t kMaxIdentifierLength = 30;

// The message that refuses a name that is not a plain identifier.
std::string InvalidTableNameMessage(std::string_view name);

// The message that refuses a plain identifier longer than kMaxIdentifierLength.
std::string TooLongTableNameMessage(std::string_view name);

// Ok for a plain identifier (IsPlainIdentifier) of at most kMaxIdentifierLength characters, or
// two of them joined by one "." (a table of another user: OTRO.CLIENTES); otherwise kRefused
// with one of the two messages above, which show the whole name.
Status CheckTableName(std::string_view name);

}  // namespace volmek::datafiles
