// Table names that come from the command line or from the database, checked before they go
// into the text of a statement.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"

namespace volmek::maint {

// The message that refuses a table name that cannot go into a statement as it stands.
std::string InvalidTableNameMessage(std::string_view name);

// Refuses (kRefused, with InvalidTableNameMessage) a name that is not a plain identifier, and
// one longer than Oracle's 30 characters (datafiles::TooLongTableNameMessage).
Status CheckTableName(std::string_view name);

}  // namespace volmek::maint
