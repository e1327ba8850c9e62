// The all-tables driver: one action for every table of the connected user, in name order.
//
// It serves the "all" forms (info all, estadis all, backup all, restore all, borra all). The
// list of tables is read on the dictionary cursor, so the action is free to use the main cursor
// (and to describe queries of its own) between two rows of the list.
#pragma once

#include <functional>
#include <string_view>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::app {

// An action for one table. A failed Status ends the pass and the run; a failure the pass goes
// on from is reported by the action itself, which then returns Ok.
using TableAction = std::function<Status(std::string_view table)>;

// The list query, echoed with "sql: %s\n" when the statement echo is on.
inline constexpr std::string_view kTableListQuery =
    "select object_name from user_objects where object_type = 'TABLE' order by object_name";

// Runs `action` with the name of every table of the user (as the database lists them: upper
// case for ordinary names), in name order. Only tables are listed (no views, no sequences).
//
// A list query that does not parse is reported and nothing is done (Ok). One whose execute
// fails is reported and ends the run (Fatal, with an empty message). A fetch of the list that
// fails is reported and that row skipped; the action never sees a name the fetch did not
// deliver. REQUIRES: ctx.session is open.
Status ForEachTable(db::RunContext& ctx, const TableAction& action);

}  // namespace volmek::app
