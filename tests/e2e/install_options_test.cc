// --help and --version of the four programs: what they print, their exit status 0, and that
// they open no session (no database file appears).
#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class InstallOptions : public ::testing::Test {
 protected:
  ProgramResult RunProgram(const std::string& program, std::vector<std::string> args) {
    ProgramRun run;
    run.program = program;
    run.args = std::move(args);
    run.env = EmbeddedEnv(dir_.File("test.db"));
    run.cwd = dir_.path();
    run.close_stdin = true;
    return volmek::testing::Run(run);
  }
  TempDir dir_;
};

TEST_F(InstallOptions, VolmekHelpIsTheUsageTextWithStatusZero) {
  ProgramResult help = RunProgram("volmek", {"--help"});
  EXPECT_EQ(help.out, ReadFile(SourcePath("tests/data/spine/usage.txt")));
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.status, 0);
  // Without arguments the same text still ends with status 1.
  EXPECT_EQ(RunProgram("volmek", {}).status, 1);
  EXPECT_FALSE(dir_.Exists("test.db"));
}

TEST_F(InstallOptions, EveryProgramPrintsItsNameAndVersion) {
  for (std::string program : {"volmek", "volmek-plus", "volmek-exp", "volmek-imp"}) {
    ProgramResult version = RunProgram(program, {"--version"});
    EXPECT_EQ(version.out, program + " " VOLMEK_VERSION "\n") << program;
    EXPECT_EQ(version.err, "") << program;
    EXPECT_EQ(version.status, 0) << program;
  }
  EXPECT_FALSE(dir_.Exists("test.db"));
}

TEST_F(InstallOptions, CompanionHelpSaysHowToCallThemWithStatusZero) {
  for (std::string program : {"volmek-plus", "volmek-exp", "volmek-imp"}) {
    ProgramResult help = RunProgram(program, {"--help"});
    EXPECT_TRUE(help.out.starts_with("Uso: " + program + " ")) << help.out;
    EXPECT_NE(help.out.find(program + "(1)"), std::string::npos) << help.out;
    EXPECT_EQ(help.status, 0) << program;
  }
  EXPECT_FALSE(dir_.Exists("test.db"));
}

TEST_F(InstallOptions, OtherWordsKeepTheirOldMeaning) {
  // An unknown operation is still silent with status 2, and volmek-exp still refuses a word
  // that is no keyword=value.
  ProgramResult upper = RunProgram("volmek", {"--HELP"});
  EXPECT_EQ(upper.out, "");
  EXPECT_EQ(upper.status, 2);
  ProgramResult exp = RunProgram("volmek-exp", {"--help", "file=x.dmp"});
  EXPECT_EQ(exp.out, "Parametro no valido: --help\n");
  EXPECT_EQ(exp.status, 1);
}

}  // namespace
}  // namespace volmek::testing
