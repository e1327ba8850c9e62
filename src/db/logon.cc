// The choice of backend, and the session opening that goes with it. Session::Open lives here
// rather than in session.cc so that programs and tests that wrap a connection of their own
// (Session::FromConnection) do not pull in the backends.
#include <fmt/format.h>

#include <ostream>

#include "base/charset.h"
#include "db/call.h"
#include "db/converting_connection.h"
#include "db/oci/client.h"
#include "db/session.h"
#include "engine/engine.h"

namespace volmek::db {

namespace {

constexpr std::string_view kFilePrefix = "file:";
constexpr std::string_view kDefaultDatabase = "volmek.db";

}  // namespace

bool SelectsEmbeddedEngine(std::string_view tns) {
  return tns.empty() || tns.starts_with(kFilePrefix);
}

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
  VOLMEK_ASSIGN_OR_RETURN(CharacterSet client, ClientCharacterSet(env));
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
  // The embedded database keeps its text in UTF-8 and leaves the conversion to its client, as
  // Oracle's client library converts by NLS_LANG for an Oracle database.
  std::unique_ptr<Connection> connection = std::move(logon.connection);
  if (!logon.database_path.empty()) {
    VOLMEK_ASSIGN_OR_RETURN(connection, ForClientCharacterSet(std::move(connection), client));
  }
  return FromConnection(std::move(connection), echo, out);
}

}  // namespace volmek::db
