// Helpers of the table data end-to-end tests: a database in a temporary directory, scripts run
// with fsql (their literals keep their case), and the rows of a table as sql prints them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/harness.h"

namespace volmek::testing {

class DataFilesRun : public ::testing::Test {
 protected:
  // Runs `statements` (each ended by a ";" line) with fsql; asserts that the run ended well.
  void Script(const std::vector<std::string>& statements) {
    std::string text;
    for (const std::string& statement : statements) text += statement + "\n;\n";
    dir_.Write("guion.sql", text);
    ProgramResult run = Volmek(dir_, {"fsql", "guion.sql"});
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_EQ(run.out.find("Error"), std::string::npos) << run.out;
  }

  ProgramResult Run(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& extra = {}) {
    return Volmek(dir_, args, extra);
  }

  // What `sql` prints for `query`.
  std::string Rows(const std::string& query) { return Run({"sql", query}).out; }

  TempDir dir_;
};

}  // namespace volmek::testing
