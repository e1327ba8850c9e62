// Fuzz target: one PL/SQL block through the PL/SQL parser and interpreter, its SQL run by the
// engine, on a database that lives for the fuzzing process. Blocks run with a small step limit
// (a loop without end stops with ORA-02393) and without really sleeping.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/call.h"
#include "engine/engine.h"
#include "engine/runtime/connection.h"

namespace {

struct FuzzDatabase {
  FuzzDatabase() {
    path = "/tmp/volmek-fuzz-plsql-" + std::to_string(getpid()) + ".db";
    unlink(path.c_str());
    volmek::db::LogonResult logon = volmek::engine::Logon(path, "FUZZ", "fuzz");
    connection = std::move(logon.connection);
    engine = dynamic_cast<volmek::engine::EngineConnection*>(connection.get());
    if (engine == nullptr) return;
    engine->plsql_options().max_steps = 20000;
    engine->plsql_options().allow_sleep = false;
    int rc = 0;
    cursor = connection->OpenCursor(&rc);
    for (const char* setup :
         {"create table T (A number(10) primary key, B varchar2(20), C char(4), D date)",
          "insert into T values (1, 'uno', 'x', sysdate)",
          "insert into T values (2, null, null, null)", "create sequence S"}) {
      if (cursor->Parse(setup) == 0) cursor->Execute();
    }
  }
  ~FuzzDatabase() {
    cursor.reset();
    connection.reset();
    unlink(path.c_str());
    unlink((path + "-journal").c_str());
  }
  std::string path;
  std::unique_ptr<volmek::db::Connection> connection;
  volmek::engine::EngineConnection* engine = nullptr;
  std::unique_ptr<volmek::db::Cursor> cursor;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzDatabase database;
  if (database.cursor == nullptr) return 0;
  volmek::db::Cursor& cursor = *database.cursor;
  std::string_view block(reinterpret_cast<const char*>(data), size);
  if (cursor.Parse(block) == 0) cursor.Execute();
  database.engine->dbms_output() = volmek::engine::plsql::DbmsOutput();
  // Keep the database small: undo whatever the block changed (DDL has committed).
  if (cursor.Parse("rollback") == 0) cursor.Execute();
  return 0;
}
