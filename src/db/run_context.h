// RunContext: everything one run of volmek works with, passed explicitly to every handler.
//
// It carries the settings (the environment snapshot), the statement echo, the output and input
// streams and, once the dispatcher has opened it, the Oracle session. It replaces what would
// otherwise be process-wide state.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "base/charset.h"
#include "base/environment.h"
#include "base/progress.h"
#include "db/session.h"

namespace volmek::db {

struct RunContext {
  // `terminal`: where the progress line of long work goes (standard error when it is a
  // terminal); null shows none.
  RunContext(Environment environment, std::ostream& output, std::istream& input,
             std::ostream* terminal = nullptr,
             Progress::Clock clock = &std::chrono::steady_clock::now)
      : env(std::move(environment)), out(output), in(input), progress(terminal, std::move(clock)) {
    progress.FlushBeforeDrawing(&out);
  }

  Environment env;
  std::ostream& out;
  std::istream& in;
  bool echo = false;  // TEST begins with "1"
  Progress progress;  // never writes to `out`
  // The client character set (NLS_LANG), set by the dispatcher before any operation runs.
  CharacterSet charset = CharacterSet::Utf8();

  // Open between the dispatcher's opening and closing of the session (or sort's own).
  std::unique_ptr<Session> session;

  // The count of the last row count (info, delete, borra, repro ...); 0 at the start of a run.
  std::int64_t row_count_result = 0;

  // REQUIRES: the session is open.
  Session& db() { return *session; }
};

}  // namespace volmek::db
