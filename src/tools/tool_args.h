// The command line of the companion programs volmek-exp and volmek-imp.
//
// They take the export and import utilities' argument syntax, keyword=value, keywords in any
// letter case:
//
//   volmek-exp parfile=/tmp/volmek-par-x1Y2z3 file=X.dmp full=yes log=X.log
//   volmek-imp userid=DEMO/demo@file:demo.db tables=(A,B) file=X.dmp log=X.log ignore=y
//
// parfile=PATH names a file of further keyword=value lines (blank lines and lines starting
// with "#" are skipped); the tool passes the logon (userid=user/password@connect) that way so
// that the password never shows in the process list. Keywords given on the command line win
// over those of the parameter file.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace volmek::tools {

struct ToolArgs {
  std::string user;
  std::string password;
  std::string tns;
  std::string file;                 // the dump file; "expdat.dmp" when not given
  std::string log;                  // the log file; none when empty
  bool full = false;                // full=y|yes
  bool ignore = false;              // ignore=y|yes (import: load into existing tables)
  std::vector<std::string> tables;  // tables=A or tables=(A,B), upper-cased
};

// What "--help" prints for each program.
inline constexpr std::string_view kExportHelp =
    "Uso: volmek-exp userid=<usuario>/<clave>@<TNS> [file=<fichero.dmp>] [full=y]\n"
    "                [tables=(<tabla>,...)] [log=<fichero.log>] [parfile=<fichero>]\n"
    "Exporta tablas de la base de datos empotrada a un fichero de volcado. Ver volmek-exp(1).\n";
inline constexpr std::string_view kImportHelp =
    "Uso: volmek-imp userid=<usuario>/<clave>@<TNS> [file=<fichero.dmp>] [full=y]\n"
    "                [tables=(<tabla>,...)] [ignore=y] [log=<fichero.log>] [parfile=<fichero>]\n"
    "Importa tablas de un fichero de volcado a la base de datos empotrada. Ver volmek-imp(1).\n";

// The answer to a command line that is exactly "--help" (`help`) or "--version" (the line
// "<program> <version>"); nullopt for every other command line, which ParseToolArgs reads.
std::optional<std::string> OptionAnswer(std::span<const std::string> args, std::string_view program,
                                        std::string_view help);

// Parses `args` (the arguments after the program name). `keywords` lists the keywords the
// program accepts besides parfile and userid. Fails (kInvalidInput) on an argument without
// "=", an unknown keyword, an unreadable parameter file or a missing userid:
// "Parametro no valido: %s".
Result<ToolArgs> ParseToolArgs(std::span<const std::string> args,
                               std::span<const std::string_view> keywords);

// Splits "user/password@connect" (password and connect may be missing).
void SplitUserid(std::string_view userid, ToolArgs& out);

}  // namespace volmek::tools
