#include "app/all_tables.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/fake_db.h"

namespace volmek::app {
namespace {

using db::testing::Response;

class AllTablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.function_type = db::kFunctionSelect;
    list_.columns = {db::testing::TextColumn("OBJECT_NAME", db::kTypeVarchar2, 128)};
  }
  Status Run(bool echo = false) {
    db_.Add(std::string(kTableListQuery), list_);
    auto session =
        db::Session::FromConnection(std::make_unique<db::testing::FakeConnection>(db_), echo, out_);
    EXPECT_TRUE(session.has_value());
    ctx_.session = std::move(*session);
    return ForEachTable(ctx_, [&](std::string_view table) {
      seen_.emplace_back(table);
      return action_status_;
    });
  }

  db::testing::FakeDatabase db_;
  Response list_;
  std::ostringstream out_;
  std::istringstream in_;
  db::RunContext ctx_{Environment(), out_, in_};
  std::vector<std::string> seen_;
  Status action_status_;
};

TEST_F(AllTablesTest, EveryListedTableIsHandedToTheAction) {
  list_.rows = {{"A"}, {"B"}, {"C"}};
  EXPECT_TRUE(Run().ok());
  EXPECT_EQ(seen_, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(AllTablesTest, ListIsReadOnTheDictionaryCursor) {
  list_.rows = {{"A"}};
  Run();
  EXPECT_NE(
      std::find(db_.log().begin(), db_.log().end(), "c2 parse " + std::string(kTableListQuery)),
      db_.log().end());
}

TEST_F(AllTablesTest, NoTablesNoAction) {
  EXPECT_TRUE(Run().ok());
  EXPECT_TRUE(seen_.empty());
}

TEST_F(AllTablesTest, ListQueryIsEchoedOnce) {
  list_.rows = {{"A"}, {"B"}};
  Run(/*echo=*/true);
  EXPECT_EQ(out_.str(), "sql: " + std::string(kTableListQuery) + "\n");
}

TEST_F(AllTablesTest, ListThatDoesNotParseIsReportedAndNothingDone) {
  list_.parse_rc = 942;
  list_.parse_error = "ORA-00942: table or view does not exist";
  EXPECT_TRUE(Run().ok());
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00942: table or view does not exist\n" +
                            std::string(kTableListQuery) + "\n\n");
  EXPECT_TRUE(seen_.empty());
}

TEST_F(AllTablesTest, ListThatDoesNotExecuteEndsTheRun) {
  list_.execute_rc = 1012;
  list_.execute_error = "ORA-01012: not logged on";
  Status status = Run();
  EXPECT_EQ(status.code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-01012: not logged on\n" +
                            std::string(kTableListQuery) + "\n\n");
}

TEST_F(AllTablesTest, FailedFetchIsReportedAndItsRowSkipped) {
  list_.rows = {{"A"}, {"B"}, {"C"}};
  list_.fetch_errors[2] = {1406, "ORA-01406: fetched column value was truncated"};
  EXPECT_TRUE(Run().ok());
  EXPECT_EQ(seen_, (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(ctx_.db().reports(), 1u);
}

TEST_F(AllTablesTest, ActionFailureEndsThePass) {
  list_.rows = {{"A"}, {"B"}};
  action_status_ = Status::Fatal("");
  EXPECT_FALSE(Run().ok());
  EXPECT_EQ(seen_, (std::vector<std::string>{"A"}));
}

TEST_F(AllTablesTest, WithoutTheDictionaryCursorTheListFailsWithAReport) {
  Response alter;
  alter.parse_rc = 922;
  alter.parse_error = "ORA-00922: missing or invalid option";
  db_.Add("alter session set nls_sort=binary", alter);
  list_.rows = {{"A"}};
  EXPECT_TRUE(Run().ok());
  EXPECT_TRUE(seen_.empty());
  EXPECT_TRUE(out_.str().ends_with("\nError de Oracle. ORA-01001: invalid cursor\n" +
                                   std::string(kTableListQuery) + "\n\n"));
}

}  // namespace
}  // namespace volmek::app
