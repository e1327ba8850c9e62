// Stored packages on an engine session: CREATE [OR REPLACE] PACKAGE and PACKAGE BODY (compiled
// when created; with errors the object is created INVALID, its errors go to USER_ERRORS and the
// statement gives ORA-24344), ALTER PACKAGE ... COMPILE, DROP PACKAGE [BODY], and the session's
// state of each package (see plsql::PackageInstance).
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

// Runs CREATE, ALTER or DROP of a PACKAGE [BODY] whose tokens are `tokens` (PACKAGE at `at`):
// its function type, or its error.
OraResult<std::uint16_t> PackageDdl(EngineConnection& connection, std::string_view sql,
                                    const std::vector<Token>& tokens, std::size_t at, bool replace);

// Compiles again the body of package `name` of the user against its interface, when it
// has one.
OraStatus RecompilePackageBody(EngineConnection& connection, const std::string& name);

// The package NAME of the session's user, or OWNER.NAME, as compiled; null when none. Kept by
// the connection until the next DDL.
std::shared_ptr<const plsql::StoredPackage> FindStoredPackage(
    EngineConnection& connection, const std::vector<std::string>& names);

// The session's state of that package: the same from block to block while the package stays
// as it is; a new one when it was compiled again since (its first use then fails with
// ORA-04068 when the old one held values). Null when there is no such package.
std::shared_ptr<plsql::PackageInstance> PackageStateOf(EngineConnection& connection,
                                                       const std::vector<std::string>& names);

}  // namespace volmek::engine
