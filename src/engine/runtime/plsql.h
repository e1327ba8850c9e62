// Anonymous PL/SQL blocks: BEGIN ... END; made of SQL statements (DML, COMMIT, ROLLBACK, DDL
// through EXECUTE IMMEDIATE 'text'), NULL;, nested blocks, and an exception section of the form
// EXCEPTION WHEN OTHERS THEN NULL; (or other statements of the same kinds).
//
// A block runs as one statement: when an error leaves it unhandled, what the block did since it
// started is rolled back (commits made inside stay) and the error comes back followed by
// "ORA-06512: at line n". Anything outside this subset (declarations, assignments, IF, loops,
// procedure calls, SELECT without INTO ...) is refused at Parse with ORA-06550, never skipped.
#pragma once

#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine {

class EngineConnection;

// Checks that `sql` is a block of the supported subset.
OraStatus CheckBlock(std::string_view sql);

// Runs the block `sql` (checked before).
OraStatus RunBlock(EngineConnection& connection, std::string_view sql);

}  // namespace volmek::engine
