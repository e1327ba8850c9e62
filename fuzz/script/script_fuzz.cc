// Fuzz target: the fsql and fiche runners (their statement splitting) over an embedded
// database that lives for the fuzzing process.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "db/session.h"
#include "engine/engine.h"
#include "sql/scripts.h"

namespace {

struct FuzzSession {
  FuzzSession() {
    base = "/tmp/volmek-script-fuzz-" + std::to_string(getpid());
    unlink((base + ".db").c_str());
    volmek::db::LogonResult logon = volmek::engine::Logon(base + ".db", "FUZZ", "fuzz");
    if (logon.connection == nullptr) return;
    auto opened = volmek::db::Session::FromConnection(std::move(logon.connection), false, out);
    if (opened.has_value()) session = std::move(*opened);
  }
  ~FuzzSession() {
    session.reset();
    unlink((base + ".db").c_str());
    unlink((base + ".db-journal").c_str());
    unlink((base + ".sql").c_str());
  }
  std::string base;
  std::ostringstream out;
  std::unique_ptr<volmek::db::Session> session;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FuzzSession fuzz;
  if (fuzz.session == nullptr) return 0;
  {
    std::ofstream file(fuzz.base + ".sql", std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  (void)volmek::sql::RunScript(*fuzz.session, fuzz.base + ".sql");
  (void)volmek::sql::RunFile(*fuzz.session, fuzz.base + ".sql");
  (void)fuzz.session->RunStatement("rollback", volmek::db::Report::kSilent);
  fuzz.out.str("");
  return 0;
}
