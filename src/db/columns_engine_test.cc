// Describe-and-define and the table-exists test against the embedded engine: the widths and
// deliveries the printers and writers rely on, for the column types the application uses.
#include <gtest/gtest.h>

#include <sstream>

#include "db/columns.h"
#include "db/session.h"
#include "testing/harness.h"

namespace volmek::db {
namespace {

class EngineColumnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogonResult logon = Logon("DEMO", "demo", "file:" + dir_.File("t.db"));
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    auto session = Session::FromConnection(std::move(logon.connection), false, out_);
    ASSERT_TRUE(session.has_value()) << session.error().message();
    session_ = std::move(*session);
    ASSERT_TRUE(*session_->RunStatement(
        "create table tipos (n3 number(3), n10 number(10), n11 number(11), n82 number(8,2), "
        "c char(4), v varchar2(300), d date, n number)"));
  }
  std::vector<Column> Describe(const std::string& query) {
    EXPECT_EQ(session_->main().Parse(query), 0) << session_->main().ErrorText();
    auto columns = DescribeAndDefine(*session_, session_->main());
    EXPECT_TRUE(columns.has_value());
    return columns.has_value() ? *columns : std::vector<Column>();
  }

  testing::TempDir dir_;
  std::ostringstream out_;
  std::unique_ptr<Session> session_;
};

TEST_F(EngineColumnsTest, WidthsAndDeliveriesOfTheApplicationsTypes) {
  std::vector<Column> columns = Describe("select * from tipos");
  ASSERT_EQ(columns.size(), 8u);
  struct Expected {
    const char* name;
    Delivery delivery;
    int width;
    int type;
  };
  const Expected expected[] = {
      {"N3", Delivery::kInteger, 18, 3},    {"N10", Delivery::kInteger, 18, 3},
      {"N11", Delivery::kFloat, 18, 4},     {"N82", Delivery::kFloat, 18, 4},
      {"C", Delivery::kText, 4, kTypeChar}, {"V", Delivery::kText, 300, kTypeVarchar2},
      {"D", Delivery::kText, 9, kTypeDate}, {"N", Delivery::kInteger, 18, 3},
  };
  for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
    const Column& column = columns[column_idx];
    const Expected& want = expected[column_idx];
    EXPECT_EQ(column.description.name, want.name);
    EXPECT_EQ(column.delivery, want.delivery) << want.name;
    EXPECT_EQ(column.display_width, want.width) << want.name;
    EXPECT_EQ(column.delivered_type, want.type) << want.name;
  }
  EXPECT_EQ(out_.str(), "");
}

TEST_F(EngineColumnsTest, CountStarIsDeliveredAsAnInteger) {
  std::vector<Column> columns = Describe("select count(*) from tipos");
  ASSERT_EQ(columns.size(), 1u);
  EXPECT_EQ(columns[0].description.name, "COUNT(*)");
  EXPECT_EQ(columns[0].delivery, Delivery::kInteger);
  ASSERT_EQ(session_->main().Execute(), 0);
  ASSERT_EQ(session_->main().Fetch(), 0);
  EXPECT_EQ(session_->main().Value(0).integer, 0);
}

TEST_F(EngineColumnsTest, ValuesArriveInTheBuffersOfTheirDelivery) {
  ASSERT_TRUE(*session_->RunStatement(
      "insert into tipos values (7, 9999999999, 12345678901, 1234.5, 'ab', 'x', "
      "to_date('15-01-2024', 'DD-MM-YYYY'), null)"));
  std::vector<Column> columns = Describe("select * from tipos");
  SessionCursor& cursor = session_->main();
  ASSERT_EQ(cursor.Execute(), 0);
  ASSERT_EQ(*session_->FetchRow(cursor), FetchStep::kRow);
  EXPECT_EQ(cursor.Value(0).integer, 7);
  EXPECT_EQ(cursor.Value(1).integer, 9999999999);  // 64-bit: no overflow above 2^31
  EXPECT_DOUBLE_EQ(cursor.Value(2).real, 12345678901.0);
  EXPECT_EQ(cursor.Value(3).text, "1234.5");
  EXPECT_EQ(cursor.Value(4).text, "ab  ");
  EXPECT_EQ(cursor.Value(6).text, "15-JAN-24");
  EXPECT_TRUE(cursor.Value(7).is_null);
  EXPECT_EQ(*session_->FetchRow(cursor), FetchStep::kEnd);
  EXPECT_EQ(cursor.rows_processed(), 1u);
}

TEST_F(EngineColumnsTest, SelectListOfThreeHundredColumnsIsDescribedWhole) {
  std::string query = "select ";
  for (int column_idx = 0; column_idx < 300; ++column_idx) {
    query += (column_idx == 0 ? "" : ", ") + std::string("n3 c") + std::to_string(column_idx);
  }
  std::vector<Column> columns = Describe(query + " from tipos");
  ASSERT_EQ(columns.size(), 300u);
  EXPECT_EQ(columns.back().description.name, "C299");
}

TEST_F(EngineColumnsTest, TableExistsComparesTheNameExactly) {
  EXPECT_TRUE(*TableExists(*session_, "TIPOS"));
  EXPECT_FALSE(*TableExists(*session_, "tipos"));
  EXPECT_FALSE(*TableExists(*session_, "NADA"));
  EXPECT_FALSE(*TableExists(*session_, "X' OR 'A'='A"));
  EXPECT_EQ(out_.str(), "");
}

}  // namespace
}  // namespace volmek::db
