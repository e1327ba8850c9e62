#include "maint/export_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "testing/harness.h"

namespace volmek::maint {
namespace {

Environment Logon(std::string tns) {
  Environment env;
  env.Set("NOMBREBD", "SCOTT");
  env.Set("PASSWD", "tiger");
  env.Set("TNS", std::move(tns));
  return env;
}

class UtilityCommandTest : public ::testing::Test {};

TEST_F(UtilityCommandTest, ExportShowsTheMaskedPasswordAndKeepsTheLogonOffItsArguments) {
  UtilityCommand command =
      BuildUtilityCommand(Utility::kExport, Logon("ORCL"), "X", "/tmp/p", "exp");
  EXPECT_EQ(command.shown, "exp userid=SCOTT/***@ORCL file=X.dmp full=yes log=X.log");
  EXPECT_EQ(command.userid, "SCOTT/tiger@ORCL");
  std::vector<std::string> expected = {"parfile=/tmp/p", "file=X.dmp", "full=yes", "log=X.log"};
  EXPECT_EQ(command.args, expected);
}

TEST_F(UtilityCommandTest, ImportNamesTheTableTheDumpAndTheLog) {
  UtilityCommand command =
      BuildUtilityCommand(Utility::kImport, Logon("file:a.db"), "CLI", "/tmp/p", "imp");
  EXPECT_EQ(command.shown, "imp userid=SCOTT/***@file:a.db tables=CLI file=CLI.dmp log=CLI.log");
  std::vector<std::string> expected = {"parfile=/tmp/p", "tables=CLI", "file=CLI.dmp",
                                       "log=CLI.log"};
  EXPECT_EQ(command.args, expected);
}

TEST_F(UtilityCommandTest, EmbeddedDatabaseRunsTheCompanionPrograms) {
  EXPECT_EQ(UtilityProgram(Utility::kExport, Logon("ORCL")), "exp");
  EXPECT_EQ(UtilityProgram(Utility::kImport, Logon("ORCL")), "imp");
  EXPECT_TRUE(UtilityProgram(Utility::kExport, Logon("")).ends_with("volmek-exp"));
  EXPECT_TRUE(UtilityProgram(Utility::kImport, Logon("file:x.db")).ends_with("volmek-imp"));
}

// Runs a stand-in "exp" found first in PATH, which reports what it was given.
class RunUtilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    old_path_ = path != nullptr ? path : "";
    setenv("PATH", (dir_.path() + ":" + old_path_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

  void WriteProgram(const std::string& body) {
    dir_.Write("exp", "#!/bin/sh\n" + body);
    chmod(dir_.File("exp").c_str(), 0755);
  }

  volmek::testing::TempDir dir_;
  std::string old_path_;
  std::ostringstream out_;
  std::istringstream in_;
};

TEST_F(RunUtilityTest, ParameterFileIsPrivateHoldsTheLogonAndNeverReachesTheDisk) {
  WriteProgram(
      "par=${1#parfile=}\n"
      "echo \"args: $2 $3 $4\"\n"
      "echo \"mode: $(stat -L -c %a \"$par\")\"\n"
      "echo \"par: $(cat \"$par\")\"\n"
      "echo \"$par\" > " +
      dir_.File("parpath") + "\n");
  volmek::testing::TempDir tmp;
  const char* old_tmp = std::getenv("TMPDIR");
  std::string saved_tmp = old_tmp != nullptr ? old_tmp : "";
  setenv("TMPDIR", tmp.path().c_str(), 1);
  db::RunContext ctx(Logon("ORCL"), out_, in_);
  Status status = RunUtility(ctx, Utility::kExport, "X");
  if (old_tmp != nullptr) {
    setenv("TMPDIR", saved_tmp.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(out_.str(),
            "Ejecuta: exp userid=SCOTT/***@ORCL file=X.dmp full=yes log=X.log\n"
            "args: file=X.dmp full=yes log=X.log\n"
            "mode: 600\n"
            "par: userid=SCOTT/tiger@ORCL\n");
  EXPECT_TRUE(dir_.Read("parpath").starts_with("/proc/self/fd/"));
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST_F(RunUtilityTest, FailingUtilityIsReportedWithItsStatus) {
  WriteProgram("echo fallo\nexit 3\n");
  db::RunContext ctx(Logon("ORCL"), out_, in_);
  Status status = RunUtility(ctx, Utility::kExport, "X");
  EXPECT_EQ(status.message(), "Error en exp: termino con estado 3.\n");
  EXPECT_EQ(out_.str(),
            "Ejecuta: exp userid=SCOTT/***@ORCL file=X.dmp full=yes log=X.log\nfallo\n");
}

TEST_F(RunUtilityTest, NameWithShellCharactersIsRefusedBeforeAnythingRuns) {
  WriteProgram("touch " + dir_.File("ran") + "\n");
  db::RunContext ctx(Logon("ORCL"), out_, in_);
  Status status = RunUtility(ctx, Utility::kExport, "X;touch " + dir_.File("hacked"));
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(), "Error. Nombre de tabla no valido (X;touch " + dir_.File("hacked") +
                                  "). No se modifica nada.\n");
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(dir_.Exists("hacked"));
  EXPECT_FALSE(dir_.Exists("ran"));
}

TEST_F(RunUtilityTest, MissingProgramIsReported) {
  db::RunContext ctx(Logon("ORCL"), out_, in_);
  setenv("PATH", dir_.path().c_str(), 1);
  Status status = RunUtility(ctx, Utility::kImport, "X");
  EXPECT_EQ(status.message(), "Imposible ejecutar imp (No such file or directory).\n");
}

}  // namespace
}  // namespace volmek::maint
