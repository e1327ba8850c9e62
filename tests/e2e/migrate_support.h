// Helpers of the migration end-to-end tests: statements run with fsql, volmek-plus runs, and
// the T-SQL check of generated DDL.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testing/harness.h"

namespace volmek::testing::migrate {

// Runs `statements` (each followed by a ";" line) with fsql and expects no Oracle error.
inline void Script(const TempDir& dir, const std::string& statements) {
  dir.Write("PASO.sql", statements);
  ProgramResult result = Volmek(dir, {"fsql", "PASO.sql"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.find("Error de Oracle"), std::string::npos) << result.out;
}

// Runs volmek-plus with `args` in `dir` on the test database.
inline ProgramResult Plus(const TempDir& dir, const std::vector<std::string>& args) {
  ProgramRun run;
  run.program = "volmek-plus";
  run.args = args;
  run.env = EmbeddedEnv(dir.File("test.db"));
  run.close_stdin = true;
  run.cwd = dir.path();
  return Run(run);
}

// Runs volmek with `args` in `dir` with a file size limit of 0: every write to a file fails as
// on a full disk (the pipes of standard output are not files and still work).
inline ProgramResult VolmekOnFullDisk(const TempDir& dir, const std::vector<std::string>& args) {
  ProgramRun run;
  run.program = "/bin/sh";
  run.args = {"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", BuiltBinary("volmek")};
  run.args.insert(run.args.end(), args.begin(), args.end());
  run.env = EmbeddedEnv(dir.File("test.db"));
  run.close_stdin = true;
  run.cwd = dir.path();
  return Run(run);
}

// The T-SQL parser's verdict on `file`: empty when it parses; the parser's message otherwise.
// Sets *missing (with the reason) when node or the parser is not installed.
inline std::string TsqlErrors(const std::string& file, std::string* missing) {
  ProgramRun run;
  run.program = "/usr/bin/env";
  run.args = {"node", SourcePath("tests/js/check_tsql.js"), file};
  if (const char* path = std::getenv("PATH")) run.env["PATH"] = path;
  run.close_stdin = true;
  ProgramResult result = Run(run);
  if (result.status == 127) {
    *missing = "node no esta instalado";
  } else if (result.status == 2) {
    *missing = result.err;
  } else if (result.status != 0) {
    return result.err.empty() ? "el analizador T-SQL fallo" : result.err;
  }
  return "";
}

}  // namespace volmek::testing::migrate
