// Fuzz target: one statement through the whole engine (lexer, parser, translation, DDL,
// execution, describe and fetch) on a database that lives for the fuzzing process.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "db/call.h"
#include "engine/engine.h"

namespace {

struct FuzzDatabase {
  FuzzDatabase() {
    path = "/tmp/volmek-fuzz-" + std::to_string(getpid()) + ".db";
    unlink(path.c_str());
    volmek::db::LogonResult logon = volmek::engine::Logon(path, "FUZZ", "fuzz");
    connection = std::move(logon.connection);
    if (connection == nullptr) return;
    int rc = 0;
    cursor = connection->OpenCursor(&rc);
    for (const char* setup :
         {"create table T (A number(10), B varchar2(20), C char(4), D date, E number(8,2))",
          "insert into T values (1, 'uno', 'x', sysdate, 1.5)",
          "insert into T values (2, null, null, null, null)", "create sequence S"}) {
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
  std::unique_ptr<volmek::db::Cursor> cursor;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzDatabase database;
  if (database.cursor == nullptr) return 0;
  volmek::db::Cursor& cursor = *database.cursor;
  std::string_view sql(reinterpret_cast<const char*>(data), size);
  if (cursor.Parse(sql) != 0) return 0;
  int columns = 0;
  volmek::db::ColumnDescription description;
  while (columns < 1000 && cursor.Describe(columns + 1, &description) == 0) {
    cursor.Define(columns + 1, columns % 3 == 0   ? volmek::db::ExternalType::kString
                               : columns % 3 == 1 ? volmek::db::ExternalType::kInteger
                                                  : volmek::db::ExternalType::kFloat);
    ++columns;
  }
  if (cursor.Execute() != 0) return 0;
  for (int row = 0; row < 50; ++row) {
    int rc = cursor.Fetch();
    if (rc != 0 && rc != volmek::db::kRcNullValue) break;
    for (int column = 1; column <= columns; ++column) (void)cursor.Value(column).text.size();
  }
  // Keep the database small: undo whatever the statement changed (DDL has committed).
  if (cursor.Parse("rollback") == 0) cursor.Execute();
  return 0;
}
