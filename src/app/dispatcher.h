// The command dispatcher: one run of volmek, from the command line to the exit status.
//
// It sets the statement echo from TEST, prints the usage text, finds the operation by its exact
// lower-case or upper-case name in the operation table, opens the session, calls the handler
// (once, once per table argument, or through the all-tables driver for "all"; see
// app/commands/commands.h), commits for the operations that change data, and closes the
// session. It is the only place that prints a fatal Status and picks the exit status.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "app/commands/command.h"
#include "base/environment.h"
#include "base/status.h"
#include "db/run_context.h"
#include "db/session.h"

namespace volmek::app {

// Exit statuses of a run.
inline constexpr int kExitOk = 0;                // the run reached its end
inline constexpr int kExitFailure = 1;           // usage printed, or a fatal failure
inline constexpr int kExitUnknownOperation = 2;  // nothing matched; nothing was printed

// How the dispatcher calls an operation's handler.
enum class Form {
  kOnce,             // once with the prepared parameters
  kTableOrAll,       // all: every table through the driver; else once with `first`
  kTablesOrAll,      // all: every table through the driver; else once per parameter, as typed
  kTablesAllIsNoop,  // all: nothing; else once per parameter, as typed
  kTables,           // once per parameter, as typed ("all" is a table name here)
  kConfirmedAll,     // all: confirmation, then every table through the driver; else once
  kOwnSession,       // no session by the dispatcher: the handler opens, commits and closes it
};

struct Operation {
  std::string_view lower;
  std::string_view upper;
  Form form;
  bool commit;  // "commit work" after the handler
  Handler handler;
};

// The operations, in the order their names are compared.
std::span<const Operation> Operations();

// The operation spelled exactly `name` ("info" and "INFO", never "Info"), or nullptr.
const Operation* FindOperation(std::string_view name);
const Operation* FindOperation(std::span<const Operation> operations, std::string_view name);

// The usage text, byte for byte.
std::string_view UsageText();

// The question of `borra all`, printed without a line end.
inline constexpr std::string_view kDropAllQuestion =
    "\n\nOjo. Seguro que quiere eliminar todas las tablas (S/N)";

// The only option words: "--help" prints the usage text and "--version" the line
// "volmek <version>", both with exit status 0, whatever follows them.
inline constexpr std::string_view kHelpOption = "--help";
inline constexpr std::string_view kVersionOption = "--version";

// The arguments after the program name, prepared for the handlers.
Args PrepareArgs(std::span<const std::string> argv);

// Runs one invocation with `argv` (the arguments after the program name) and returns the exit
// status: 0 for --help and --version; 1 with the usage text when there is no argument or an
// operation has no parameter; 2, silently, for an unknown operation; 1 after a fatal failure (its
// message printed, no commit, no log-off); 0 otherwise.
int Dispatch(db::RunContext& ctx, std::span<const std::string> argv);

// How a run opens its session: db::Session::Open, unless a test says otherwise.
using SessionOpener = std::function<Result<std::unique_ptr<db::Session>>(
    const Environment& env, bool echo, std::ostream& out)>;

// Dispatch over another operation table and session opener (tests).
int Dispatch(db::RunContext& ctx, std::span<const std::string> argv,
             std::span<const Operation> operations, const SessionOpener& open_session);

}  // namespace volmek::app
