#include "engine/engine.h"

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {

db::LogonResult Logon(const std::string& path, std::string_view user, std::string_view password) {
  db::LogonResult result;
  result.database_path = path;
  // Oracle folds an unquoted user name to upper case; a quoted one keeps its case.
  std::string name;
  if (user.size() >= 2 && user.front() == '"' && user.back() == '"') {
    name = std::string(user.substr(1, user.size() - 2));
  } else {
    name = UpperAscii(user);
  }
  bool created = false;
  auto connection = EngineConnection::Open(path, name, password, &created);
  if (!connection.has_value()) {
    result.rc = connection.error().code;
    result.error_text = connection.error().message;
    return result;
  }
  result.connection = std::move(*connection);
  result.created_database = created;
  return result;
}

}  // namespace volmek::engine
