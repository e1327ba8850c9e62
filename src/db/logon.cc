// The choice of backend, and the session opening that goes with it. Session::Open lives here
// rather than in session.cc so that programs and tests that wrap a connection of their own
// (Session::FromConnection) do not pull in the backends.
#include <fmt/format.h>

#include <ostream>

#include "db/call.h"
#include "db/oci/client.h"
#include "db/session.h"
#include "engine/engine.h"

namespace volmek::db {

namespace {

constexpr std::string_view kFilePrefix = "file:";
constexpr std::string_view kDefaultDatabase = "volmek.db";

}  // namespace

LogonResult Logon(std::string_view user, std::string_view password, std::string_view tns) {
  if (tns.empty()) return engine::Logon(std::string(kDefaultDatabase), user, password);
  if (tns.starts_with(kFilePrefix)) {
    return engine::Logon(std::string(tns.substr(kFilePrefix.size())), user, password);
  }
  return oci::Logon(user, password, tns);
}

Result<std::unique_ptr<Session>> Session::Open(const Environment& env, bool echo,
                                               std::ostream& out) {
  std::string user = env.Get("NOMBREBD");
  std::string password = env.Get("PASSWD");
  std::string tns = env.Get("TNS");
  if (echo) out << "Apertura BD ...\n";
  LogonResult logon = Logon(user, password, tns);
  if (logon.rc != kRcOk || logon.connection == nullptr) {
    std::string message =
        fmt::format("No se puede establecer conexion con Base de Datos {}\n", user);
    if (!logon.detail.empty()) message += logon.detail + "\n";
    return Err(Status::Fatal(std::move(message)));
  }
  if (logon.created_database) {
    out << "Warning. Base de datos " << logon.database_path << " creada.\n";
  }
  return FromConnection(std::move(logon.connection), echo, out);
}

}  // namespace volmek::db
