// exp and imp: the database's export and import utilities, run for one name.
//
// The command line is the Oracle utilities' one; it is printed after "Ejecuta: " with the
// password shown as ***:
//
//   Ejecuta: exp userid=DEMO/***@file:demo.db file=X.dmp full=yes log=X.log
//   Ejecuta: imp userid=DEMO/***@file:demo.db tables=X file=X.dmp log=X.log
//
// The utility is started directly (no command shell) with an argument vector. The logon
// (userid=...) does not go on its command line, where any user could read it in the process
// list: it goes into a parameter file given as parfile=..., an anonymous file in memory that is
// readable by its owner only and never reaches the disk, so that no way the run ends leaves the
// password behind. Which program runs is the db layer's answer (db/utility_program.h): the
// companion programs volmek-exp and volmek-imp for the embedded database, Oracle's exp and imp
// (PATH, then $ORACLE_HOME/bin) for an Oracle database; they take the same arguments. What the
// utility prints is copied to the run's output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/environment.h"
#include "base/status.h"
#include "db/run_context.h"

namespace volmek::maint {

enum class Utility { kExport, kImport };

// One run of a utility, as built from the environment and the name.
struct UtilityCommand {
  std::string program;            // what is started: a path, or a name looked up in PATH
  std::vector<std::string> args;  // the arguments after the program name, parfile first
  std::string shown;              // the command as printed after "Ejecuta: "
  std::string userid;             // "USER/PASSWORD@TNS", written to the parameter file
};

// Builds the command for `name` with NOMBREBD, PASSWD and TNS from `env`; `parfile` is the
// parameter file's path and `program` what to start.
UtilityCommand BuildUtilityCommand(Utility utility, const Environment& env, std::string_view name,
                                   std::string_view parfile, std::string program);

// The program that runs `utility` for the database selected by TNS (see db/utility_program.h).
std::string UtilityProgram(Utility utility, const Environment& env);

// Prints the command line and runs the utility, waiting for it to end. Fails (kIoError) when
// the parameter file cannot be written or the program cannot be started:
// "Imposible ejecutar %s (%s).\n"; and (kDatabase) when the utility ends with a status other
// than 0: "Error en %s: termino con estado %d.\n" (or "... con la senal %d.\n"). A name that is
// not a plain identifier of at most 30 characters is refused (kRefused) before anything runs.
Status RunUtility(db::RunContext& ctx, Utility utility, std::string_view name);

}  // namespace volmek::maint
