// The volmek-plus program: "volmek-plus <script>" logs on as volmek does (NOMBREBD, PASSWD,
// TNS), runs the script with ScriptRunner and logs off, committing what the script left
// pending. "@name" is accepted for "name", and a name that does not exist is tried with ".sql"
// added, as the Oracle command-line tool does.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "base/environment.h"

namespace volmek::plus {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;

// Runs the program with the arguments after its name; everything it prints goes to `out`.
// "--help" and "--version", alone, print the usage or "volmek-plus <version>" and return 0.
// Returns the exit status: 0 when the script ran to its end or to QUIT, 1 when there was no
// script, it could not be read, the logon failed or a spool file could not be written.
int RunProgram(const std::vector<std::string>& args, const Environment& env, std::ostream& out);

}  // namespace volmek::plus
