// Running a statement whose failure the maintenance operations go on from.
#pragma once

#include <string_view>

#include "base/status.h"
#include "db/session.h"

namespace volmek::maint {

// Runs `sql` through run-statement. A failing statement is reported (when `report` says so) and
// the caller goes on; the Status fails only when the run must end (the error limit).
inline Status RunStep(db::Session& session, std::string_view sql,
                      db::Report report = db::Report::kPrint) {
  Result<bool> ran = session.RunStatement(sql, report);
  if (!ran) return ran.error();
  return Status::Ok();
}

// Runs `sql` through run-statement as a step the operation cannot do without: a failure is
// reported and ends the operation (kDatabase, empty message: already reported), so that no
// success line follows and an open operation unit is not kept.
inline Status RequireStep(db::Session& session, std::string_view sql) {
  Result<bool> ran = session.RunStatement(sql, db::Report::kPrint);
  if (!ran) return ran.error();
  if (!*ran) return Status::Database("");
  return Status::Ok();
}

}  // namespace volmek::maint
