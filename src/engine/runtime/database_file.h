// The file an embedded database lives in: what may be opened as one, how a new one comes into
// being, and the Spanish line that tells the user why a file cannot be used.
//
// Only a file volmek made is ever opened as a database: a directory, a FIFO or device, an
// empty file, another program's SQLite file or any other file is refused and left exactly as
// it is (nothing written, mode unchanged). A new database is built under a temporary name in
// the same directory and linked into place complete, so that no run, however it ends, leaves
// a half-made database at the path.
#pragma once

#include <string>

#include "engine/storage/ora_result.h"

namespace volmek::engine {

// The line for a file at `path` that exists but cannot be a database (a directory, not a
// regular file, empty, not readable and writable), or "" when it may be opened.
std::string RefusedFileDetail(const std::string& path);

// The line for a SQLite failure with the (extended) result code `sqlite_code` met while a
// logon read or wrote the database at `path`, or "" when the code names nothing about the
// file.
std::string SqliteFailureDetail(int sqlite_code, const std::string& path);

// The line for a file that SQLite reads but that holds no volmek catalogue.
std::string ForeignDatabaseDetail(const std::string& path);

// Builds a new database at `path` with `user` (password hash `hash`) as its first account:
// made in a temporary file beside it, readable by its owner only, then linked to `path`.
// Returns true when this call made it, false when another process made one at `path` in the
// meantime (the caller then opens that one). Fails (ORA-01034, *detail set) when it cannot.
OraResult<bool> CreateDatabaseFile(const std::string& path, std::string_view user,
                                   std::string_view hash, std::string* detail);

}  // namespace volmek::engine
