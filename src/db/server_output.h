// The session's DBMS_OUTPUT buffer as a client reads it: switched on and off, and emptied line
// by line, through PL/SQL blocks with host variables (Cursor::BindByName), so that it works
// the same on every backend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/session.h"

namespace volmek::db {

// DBMS_OUTPUT.ENABLE(size) on `cursor`; no size: no limit (ENABLE(NULL)). Returns the
// cursor's return code.
int EnableServerOutput(SessionCursor& cursor, std::optional<std::int64_t> size);

// DBMS_OUTPUT.DISABLE: what the buffer holds is dropped and nothing more is kept.
int DisableServerOutput(SessionCursor& cursor);

// Appends to `*lines` the whole lines waiting in the buffer, oldest first (DBMS_OUTPUT.GET_LINE
// until it answers status 1); an empty or NULL line is "". A line not ended yet (PUT without
// NEW_LINE) stays. Returns the cursor's return code; the lines read before a failure stay.
int ReadServerOutput(SessionCursor& cursor, std::vector<std::string>* lines);

}  // namespace volmek::db
