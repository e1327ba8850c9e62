// PL/SQL blocks on an engine session: the interpreter of engine/plsql/ run over this
// connection's cursors (see engine/plsql/host.h).
//
// A block runs as one statement: when an error leaves it unhandled, what the block did since it
// started is rolled back (commits made inside stay) and the error comes back followed by
// "ORA-06512: at line n". Compilation errors come back at Parse as ORA-06550.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/call.h"
#include "engine/plsql/host.h"
#include "engine/storage/ora_result.h"

namespace volmek::engine {

class EngineConnection;

// The interpreter's Host over `connection`.
std::unique_ptr<plsql::Host> MakeSessionHost(EngineConnection& connection);

// Checks that `sql` is a block the interpreter reads and that the procedures it calls exist.
OraStatus CheckBlock(EngineConnection& connection, std::string_view sql);

// Runs the block `sql` (checked before) with its host variables `binds` (upper-case names).
OraStatus RunBlock(EngineConnection& connection, std::string_view sql,
                   const std::vector<std::pair<std::string, db::BindVariable*>>& binds = {});

}  // namespace volmek::engine
