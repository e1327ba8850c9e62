// Stored procedures and functions on an engine session: CREATE [OR REPLACE] PROCEDURE and
// FUNCTION (compiled when created; with errors the object is created INVALID, its errors go to
// USER_ERRORS and the statement gives ORA-24344), DROP PROCEDURE and FUNCTION, the lookup the
// PL/SQL interpreter calls them through, and the calls of stored functions from SQL.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/plsql/host.h"
#include "engine/storage/ora_result.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {

class EngineConnection;

// The code of "ORA-24344: success with compilation error": the object was created.
inline constexpr int kSuccessWithCompilationError = 24344;

// Runs `sql` when it is CREATE, ALTER ... COMPILE or DROP of a PROCEDURE or FUNCTION (DDL, at
// Parse), and the same of a PACKAGE [BODY] (stored_packages.h): its function type, or its
// error; CREATE TRIGGER or TYPE is refused (PLS-00999). nullopt for any other statement.
std::optional<OraResult<std::uint16_t>> StoredCodeDdl(EngineConnection& connection,
                                                      std::string_view sql);

// After object `changed` was created, replaced or dropped, the user's procedures, functions
// and package bodies are compiled again: those that call what is gone are INVALID now, those
// that called what was missing VALID (Oracle marks them INVALID at once and compiles them when
// next used).
OraStatus RecompileDependents(EngineConnection& connection, std::int64_t changed);

// [OWNER.]NAME of a CREATE, ALTER or DROP of stored code, at token `*at` (moved past it): the
// name; ORA-01031 when OWNER is another user, ORA-00900 when no name is there.
OraResult<std::string> UnitName(const EngineConnection& connection,
                                const std::vector<Token>& tokens, std::size_t* at);

// The stored procedure or function NAME of the session's user, or OWNER.NAME; null when there
// is none. Kept by the connection until the next DDL.
std::shared_ptr<const plsql::StoredUnit> FindStoredUnit(EngineConnection& connection,
                                                        const std::vector<std::string>& names);

// What SQL knows of stored function `name` of the session's user (CatalogLookup's finder).
std::optional<StoredFunctionInfo> StoredFunctionForSql(EngineConnection& connection,
                                                       std::string_view name);

// Registers vk_call(owner, name, args...) on the connection's database: runs a stored function
// for SQL. While it runs, SQL may read but not write (ORA-14551) nor end the transaction or
// run DDL (ORA-14552); functions called from SQL nest at most 50 deep (ORA-00036).
OraStatus RegisterStoredCalls(EngineConnection& connection);

}  // namespace volmek::engine
