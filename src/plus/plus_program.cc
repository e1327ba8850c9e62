#include "plus/plus_program.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "base/version.h"
#include "db/session.h"
#include "plus/script_runner.h"

namespace volmek::plus {

namespace {

constexpr std::string_view kUsage = "Uso: volmek-plus <fichero de ordenes>[.sql]\n";
constexpr std::string_view kHelp =
    "Ejecuta un fichero de ordenes (SET, SHOW, SPOOL, DESCRIBE, consultas, bloques PL/SQL,\n"
    "EXECUTE, PROMPT, REM, QUIT)\n"
    "con la conexion de volmek (NOMBREBD, PASSWD, TNS). Ver volmek-plus(1).\n";

std::string ScriptPath(std::string name) {
  if (!name.empty() && name.front() == '@') name.erase(0, 1);
  std::error_code ignored;
  if (!std::filesystem::exists(name, ignored) &&
      std::filesystem::path(name).filename().string().find('.') == std::string::npos) {
    name += ".sql";
  }
  return name;
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, const Environment& env, std::ostream& out) {
  if (args.size() == 1 && args[0] == "--help") {
    out << kUsage << kHelp;
    return kExitOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << VersionLine("volmek-plus");
    return kExitOk;
  }
  if (args.size() != 1 || args[0].empty() || args[0] == "@") {
    out << kUsage;
    return kExitFailure;
  }
  std::string path = ScriptPath(args[0]);
  std::ifstream script(path, std::ios::binary);
  if (!script.is_open()) {
    out << "Imposible abrir fichero (" << path << ").\n";
    return kExitFailure;
  }
  auto session = db::Session::Open(env, /*echo=*/false, out);
  if (!session.has_value()) {
    out << session.error().message();
    return kExitFailure;
  }
  ScriptRunner runner(**session, out, ".");
  Status status = runner.Run(script);
  if (!status.ok()) {
    out << status.message();
    return kExitFailure;
  }
  Status closed = (*session)->Close();
  if (!closed.ok()) {
    out << closed.message();
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace volmek::plus
