// What every operation handler receives, and the signature they share.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "db/run_context.h"

namespace volmek::app {

// The command line of one run, as the dispatcher prepares it.
struct Args {
  std::string operation;            // the first argument, exactly as typed
  std::vector<std::string> params;  // every argument after the operation, exactly as typed
  std::string first;                // params[0] upper-cased ("" when absent)
  std::string second;               // params[1] upper-cased when exactly two params, else ""
  bool all = false;                 // first == "ALL"
  std::string line;                 // sort only: every param as typed, each followed by " "
};

// Handlers run between the dispatcher's opening and closing of the session (sort opens its
// own). They do no argument-count checks of their own. A failed Status ends the run: the
// dispatcher prints its message and exits 1 without commit or log-off.
using Handler = Status (*)(db::RunContext& ctx, const Args& args);

}  // namespace volmek::app
