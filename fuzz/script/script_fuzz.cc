// Fuzz target: the fsql and fiche runners (their statement splitting) over an embedded
// database. Every input starts from the same fresh database, a copy of one made when the
// fuzzing process starts, so that no input's tables or committed rows reach the next one.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "db/session.h"
#include "engine/engine.h"
#include "sql/scripts.h"

namespace {

struct FuzzFiles {
  FuzzFiles() {
    base = "/tmp/volmek-script-fuzz-" + std::to_string(getpid());
    Remove();
    // The first logon creates the database; logging off leaves it as every input finds it.
    volmek::db::LogonResult logon = volmek::engine::Logon(base + ".template.db", "FUZZ", "fuzz");
    if (logon.connection == nullptr) return;
    logon.connection->LogOff();
    ready = true;
  }
  ~FuzzFiles() { Remove(); }
  void Remove() const {
    std::error_code ignored;
    for (const char* suffix : {".template.db", ".db", ".db-journal", ".sql"}) {
      std::filesystem::remove(base + suffix, ignored);
    }
  }
  std::string base;
  bool ready = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzFiles files;
  if (!files.ready) return 0;
  std::error_code error;
  std::filesystem::remove(files.base + ".db-journal", error);
  std::filesystem::copy_file(files.base + ".template.db", files.base + ".db",
                             std::filesystem::copy_options::overwrite_existing, error);
  if (error) return 0;
  {
    std::ofstream file(files.base + ".sql", std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  volmek::db::LogonResult logon = volmek::engine::Logon(files.base + ".db", "FUZZ", "fuzz");
  if (logon.connection == nullptr) return 0;
  std::ostringstream out;
  auto opened = volmek::db::Session::FromConnection(std::move(logon.connection), false, out);
  if (!opened.has_value()) return 0;
  std::unique_ptr<volmek::db::Session> session = std::move(*opened);
  (void)volmek::sql::RunScript(*session, files.base + ".sql");
  (void)volmek::sql::RunFile(*session, files.base + ".sql");
  return 0;
}
