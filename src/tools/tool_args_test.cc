#include "tools/tool_args.h"

#include <gtest/gtest.h>

#include "testing/harness.h"
#include "tools/companion.h"

namespace volmek::tools {
namespace {

class ToolArgsTest : public ::testing::Test {
 protected:
  Result<ToolArgs> Parse(std::vector<std::string> args) {
    return ParseToolArgs(args, kImportKeywords);
  }
  volmek::testing::TempDir dir_;
};

TEST_F(ToolArgsTest, KeywordsInAnyCaseAndTheTableList) {
  auto args = Parse({"USERID=scott/tiger@file:x.db", "Tables=(a, B)", "file=X.dmp", "log=X.log",
                     "full=Y", "ignore=yes"});
  ASSERT_TRUE(args.has_value()) << args.error().message();
  EXPECT_EQ(args->user, "scott");
  EXPECT_EQ(args->password, "tiger");
  EXPECT_EQ(args->tns, "file:x.db");
  EXPECT_EQ(args->tables, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(args->file, "X.dmp");
  EXPECT_EQ(args->log, "X.log");
  EXPECT_TRUE(args->full);
  EXPECT_TRUE(args->ignore);
}

TEST_F(ToolArgsTest, LogonComesFromTheParameterFile) {
  dir_.Write("par", "# logon\nuserid=DEMO/pa=ss@\n\nfile=from_par.dmp\n");
  auto args = Parse({"parfile=" + dir_.File("par"), "file=X.dmp"});
  ASSERT_TRUE(args.has_value()) << args.error().message();
  EXPECT_EQ(args->user, "DEMO");
  EXPECT_EQ(args->password, "pa=ss");
  EXPECT_EQ(args->tns, "");
  EXPECT_EQ(args->file, "X.dmp");  // the command line wins
  EXPECT_FALSE(args->full);
}

TEST_F(ToolArgsTest, DefaultsWhenOnlyTheLogonIsGiven) {
  auto args = Parse({"userid=u/p"});
  ASSERT_TRUE(args.has_value());
  EXPECT_EQ(args->file, "expdat.dmp");
  EXPECT_EQ(args->log, "");
  EXPECT_TRUE(args->tables.empty());
}

TEST_F(ToolArgsTest, BadArgumentsAreRefusedByName) {
  EXPECT_EQ(Parse({"userid=u/p", "rows"}).error().message(), "Parametro no valido: rows");
  EXPECT_EQ(Parse({"userid=u/p", "buffer=10"}).error().message(), "Parametro no valido: buffer=10");
  EXPECT_EQ(Parse({"file=x"}).error().message(), "Parametro no valido: falta userid");
  EXPECT_EQ(Parse({"parfile=" + dir_.File("none")}).error().message(),
            "Parametro no valido: parfile=" + dir_.File("none") + " (no se puede leer)");
}

TEST_F(ToolArgsTest, UseridWithoutPasswordOrConnect) {
  ToolArgs args;
  SplitUserid("solo", args);
  EXPECT_EQ(args.user, "solo");
  EXPECT_EQ(args.password, "");
  SplitUserid("u@db", args);
  EXPECT_EQ(args.user, "u");
  EXPECT_EQ(args.tns, "db");
}

}  // namespace
}  // namespace volmek::tools
