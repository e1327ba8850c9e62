#include "engine/engine.h"

#include <sqlite3.h>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {

db::LogonResult Logon(const std::string& path, std::string_view user, std::string_view password) {
  // SQLite's count of the memory it holds costs a lock around every allocation, and nothing
  // here reads it. Possible only before SQLite's first use in the process; later calls are
  // refused, harmlessly.
  (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
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
  std::string detail;
  auto connection = EngineConnection::Open(path, name, password, &created, &detail);
  if (!connection.has_value()) {
    result.rc = connection.error().code;
    result.error_text = connection.error().message;
    result.detail = std::move(detail);
    return result;
  }
  result.connection = std::move(*connection);
  result.created_database = created;
  return result;
}

}  // namespace volmek::engine
