#include "db/utility_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "testing/harness.h"

namespace volmek::db {
namespace {

class UtilityProgramTest : public ::testing::Test {
 protected:
  void Program(const std::string& dir, const std::string& name) {
    std::filesystem::create_directories(dir);
    volmek::testing::WriteFile(dir + "/" + name, "#!/bin/sh\n");
    chmod((dir + "/" + name).c_str(), 0755);
  }
  volmek::testing::TempDir dir_;
};

TEST_F(UtilityProgramTest, EmbeddedDatabaseUsesTheCompanions) {
  EXPECT_TRUE(UtilityProgram(Utility::kExport, "", "", "").ends_with("volmek-exp"));
  EXPECT_TRUE(UtilityProgram(Utility::kImport, "file:a.db", "", "").ends_with("volmek-imp"));
}

TEST_F(UtilityProgramTest, OracleUtilitiesComeFromPathThenOracleHome) {
  std::string home = dir_.File("home");
  std::string bin = dir_.File("bin");
  Program(home + "/bin", "exp");
  Program(home + "/bin", "imp");
  Program(bin, "imp");
  std::string path = dir_.File("none") + "::" + bin;
  EXPECT_EQ(UtilityProgram(Utility::kImport, "//db/orcl", path, home), "imp");
  EXPECT_EQ(UtilityProgram(Utility::kExport, "//db/orcl", path, home), home + "/bin/exp");
  EXPECT_EQ(UtilityProgram(Utility::kExport, "ORCL", path, ""), "exp");
  // A file that cannot be run does not count.
  volmek::testing::WriteFile(dir_.File("exp"), "");
  EXPECT_EQ(UtilityProgram(Utility::kExport, "ORCL", dir_.path(), home), home + "/bin/exp");
}

}  // namespace
}  // namespace volmek::db
