#include "engine/engine.h"

#include <sqlite3.h>

#include "engine/runtime/connection.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

// Statement journals up to this size stay in memory: a group of 64 rows touching a new page of
// the table and of each of three indexes per row, with pages of 16 KiB.
constexpr int kStatementJournalInMemory = 4 * 1024 * 1024;

}  // namespace

db::LogonResult Logon(const std::string& path, std::string_view user, std::string_view password) {
  // SQLite's count of the memory it holds costs a lock around every allocation, and nothing
  // here reads it. Possible only before SQLite's first use in the process; later calls are
  // refused, harmlessly.
  (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  // A statement that writes several rows and may fail on one of them (a group of a load into a
  // table with a key) keeps the pages it changes in a statement journal, to undo itself alone.
  // Kept in memory up to this size, a group's journal costs a copy per page; written to a
  // temporary file, it cost a write of a whole page per row, and twice the processor time of
  // the load. A larger statement journal goes on to a file as before, so memory stays bounded.
  (void)sqlite3_config(SQLITE_CONFIG_STMTJRNL_SPILL, kStatementJournalInMemory);
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
