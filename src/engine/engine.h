// The embedded engine: an Oracle-dialect database kept in one SQLite file.
//
// This is the engine's entry point for the session layer. Everything else of the engine is
// reached through the db::Connection and db::Cursor it returns.
#pragma once

#include <string>
#include <string_view>

#include "db/call.h"

namespace volmek::engine {

// Opens the database file at `path` and logs on as `user` with `password`. A file that does
// not exist yet is created (readable by its owner only) with that user as its first account,
// and the result says so (created_database). A wrong password or an unknown or empty user
// gives rc 1017 "ORA-01017: invalid username/password; logon denied". A file that cannot be
// used gives rc 1034 with a Spanish line in `detail` naming the cause, and is left untouched:
// a directory, a FIFO, an empty file, a file that is no volmek database (another program's
// SQLite file among them), a file without read and write permission, a damaged or truncated
// database, one locked by another process beyond the busy timeout.
db::LogonResult Logon(const std::string& path, std::string_view user, std::string_view password);

}  // namespace volmek::engine
