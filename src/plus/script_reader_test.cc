#include "plus/script_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace volmek::plus {
namespace {

using Kind = Command::Kind;

class ScriptReaderTest : public ::testing::Test {
 protected:
  std::vector<Command> Read(const std::string& script) {
    std::istringstream in(script);
    ScriptReader reader(in);
    std::vector<Command> commands;
    Command command;
    while (true) {
      auto more = reader.Next(command);
      EXPECT_TRUE(more.has_value());
      if (!more.has_value() || !*more) break;
      commands.push_back(command);
    }
    return commands;
  }
};

TEST_F(ScriptReaderTest, ToolCommandsTakeOneLineEach) {
  auto commands = Read("set TERM off\nSPOOL catalogo.txt\ndesc EMP\nDescribe V\nspool off\nquit\n");
  ASSERT_EQ(commands.size(), 6u);
  EXPECT_EQ(commands[0].kind, Kind::kSet);
  EXPECT_EQ(commands[0].text, "set TERM off");
  EXPECT_EQ(commands[1].kind, Kind::kSpool);
  EXPECT_EQ(commands[2].kind, Kind::kDescribe);
  EXPECT_EQ(commands[2].line, 3u);
  EXPECT_EQ(commands[3].kind, Kind::kDescribe);
  EXPECT_EQ(commands[4].kind, Kind::kSpool);
  EXPECT_EQ(commands[5].kind, Kind::kQuit);
}

TEST_F(ScriptReaderTest, StatementEndsAtTheSemicolonWhichIsDropped) {
  auto commands =
      Read("select 'EMP' as TABLA, count(*) as REGISTROS from EMP;\nselect 1 from dual ;\n");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].kind, Kind::kSql);
  EXPECT_EQ(commands[0].text, "select 'EMP' as TABLA, count(*) as REGISTROS from EMP");
  EXPECT_EQ(commands[1].text, "select 1 from dual");
  EXPECT_TRUE(commands[1].run);
}

TEST_F(ScriptReaderTest, StatementOverSeveralLinesEndsAtSemicolonOrSlash) {
  auto commands = Read("select a\n  from t\n where b = 1;\nselect c\nfrom u\n/\nquit\n");
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].text, "select a\n  from t\n where b = 1");
  EXPECT_EQ(commands[0].line, 1u);
  EXPECT_EQ(commands[1].text, "select c\nfrom u");
  EXPECT_EQ(commands[1].line, 4u);
  EXPECT_EQ(commands[2].kind, Kind::kQuit);
}

TEST_F(ScriptReaderTest, BlankLineInsideAStatementEndsItUnrun) {
  auto commands = Read("select a\n\ndesc T\n");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].kind, Kind::kSql);
  EXPECT_FALSE(commands[0].run);
  EXPECT_EQ(commands[1].kind, Kind::kDescribe);
}

TEST_F(ScriptReaderTest, StatementOpenAtTheEndIsNotRun) {
  auto commands = Read("select a\nfrom t");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_FALSE(commands[0].run);
}

TEST_F(ScriptReaderTest, BlockEndsOnlyAtTheSlashLine) {
  auto commands = Read("begin\n  null;\nend;\n/\nquit\n");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].kind, Kind::kSql);
  EXPECT_EQ(commands[0].text, "begin\n  null;\nend;");
}

TEST_F(ScriptReaderTest, StoredCodeIsReadAsABlockOtherCreatesAsStatements) {
  auto commands = Read(
      "create or replace package p as\n  procedure q;\n\nend;\n/\n"
      "CREATE PACKAGE BODY p AS\n  procedure q is begin null; end;\nend;\n/\n"
      "create editionable function f return number is begin return 1; end;\n/\n"
      "create table package (a number);\n");
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].text, "create or replace package p as\n  procedure q;\n\nend;");
  EXPECT_EQ(commands[1].text, "CREATE PACKAGE BODY p AS\n  procedure q is begin null; end;\nend;");
  EXPECT_TRUE(commands[2].run);
  EXPECT_EQ(commands[3].text, "create table package (a number)");
}

TEST_F(ScriptReaderTest, CommentsBlankLinesAndRemarksArePassedOver) {
  auto commands = Read("-- a comment\n\nREM another\nrem\n   \nquit\n");
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].kind, Kind::kQuit);
  EXPECT_EQ(commands[0].line, 6u);
}

TEST_F(ScriptReaderTest, CrLfScriptReadsLikeLf) {
  auto commands = Read("set TERM off\r\nselect 1 from dual;\r\nquit\r\n");
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[1].text, "select 1 from dual");
}

TEST_F(ScriptReaderTest, UnknownLinesAreMarkedUnknown) {
  auto commands = Read("column x format a10\nbreak on x\nexec p\nsho serveroutput\n");
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].kind, Kind::kUnknown);
  EXPECT_EQ(commands[1].kind, Kind::kUnknown);
  EXPECT_EQ(commands[2].kind, Kind::kExecute);
  EXPECT_EQ(commands[3].kind, Kind::kShow);
}

TEST_F(ScriptReaderTest, AbbreviationsNeedTheirShortestForm) {
  EXPECT_TRUE(IsAbbreviation("DESC", "DESCRIBE", 4));
  EXPECT_TRUE(IsAbbreviation("DESCRIBE", "DESCRIBE", 4));
  EXPECT_FALSE(IsAbbreviation("DES", "DESCRIBE", 4));
  EXPECT_FALSE(IsAbbreviation("DESCRIBES", "DESCRIBE", 4));
  EXPECT_EQ(FirstWord("  select(1) from dual"), "SELECT");
  EXPECT_EQ(FirstWord("quit;"), "QUIT");
}

}  // namespace
}  // namespace volmek::plus
