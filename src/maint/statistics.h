// estadis: optimizer statistics of a table, or of an index of that name.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::maint {

// Runs "analyze table <NAME> compute statistics" (name upper-cased) without reporting a
// failure; when that statement failed at its execute, "analyze index <NAME> compute
// statistics" the same way. Then prints "Actualizado %s.\n" whatever the outcome.
// Fails at the error limit, and refuses (kRefused, datafiles::CheckTableName) a name that
// cannot go into the statement, before running anything.
Status GatherStatistics(db::RunContext& ctx, std::string_view name);

}  // namespace volmek::maint
