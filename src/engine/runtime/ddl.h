// DDL: CREATE/DROP/ALTER of tables, indexes, views, sequences, synonyms, tablespaces and
// users, TRUNCATE, RENAME, ANALYZE, GRANT/REVOKE, COMMENT.
//
// DDL runs at Parse, between its two implicit commits (EngineConnection::RunDdl), so every DDL
// error is a parse error. ANALYZE is the exception: Parse checks its syntax, Execute runs it,
// so that "analyze table X" on a name that is not a table fails at Execute (ORA-00942), which
// the statistics operation relies on to try "analyze index" next.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine {

class EngineConnection;

// True when `upper_word`, the first word of a statement, starts DDL.
bool IsDdlVerb(std::string_view upper_word);

struct DdlParse {
  std::uint16_t function_type = 0;
  bool run_at_execute = false;  // ANALYZE: call ExecuteDeferredDdl at Execute
};

// Parses and (except ANALYZE) runs the DDL statement `sql`.
OraResult<DdlParse> ParseDdl(EngineConnection& connection, std::string_view sql);

// Runs the ANALYZE that ParseDdl accepted.
OraStatus ExecuteDeferredDdl(EngineConnection& connection, std::string_view sql);

}  // namespace volmek::engine
