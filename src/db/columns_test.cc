#include "db/columns.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/fake_db.h"

namespace volmek::db {
namespace {

using testing::NumberColumn;
using testing::Response;
using testing::TextColumn;

TEST(ChooseDelivery, NumberOfPrecisionUpToTenAndScaleZeroIsAnInteger) {
  for (int precision : {0, 3, 10}) {
    Column column = ChooseDelivery(NumberColumn("N", precision, 0));
    EXPECT_EQ(column.delivery, Delivery::kInteger) << precision;
    EXPECT_EQ(column.delivered_type, 3);
    EXPECT_EQ(column.display_width, kNumberWidth);
  }
}

TEST(ChooseDelivery, NumberOfPrecisionElevenOrWithDecimalsIsFloating) {
  for (auto [precision, scale] : {std::pair{11, 0}, std::pair{8, 2}, std::pair{3, 1}}) {
    Column column = ChooseDelivery(NumberColumn("N", precision, scale));
    EXPECT_EQ(column.delivery, Delivery::kFloat) << precision << "," << scale;
    EXPECT_EQ(column.delivered_type, 4);
    EXPECT_EQ(column.display_width, kNumberWidth);
  }
}

TEST(ChooseDelivery, CountStarIsAnInteger) {
  // count(*) is described as a NUMBER of precision 0 and scale 0.
  Column column = ChooseDelivery({22, kTypeNumber, "COUNT(*)", 40, 0, 0, 1});
  EXPECT_EQ(column.delivery, Delivery::kInteger);
}

TEST(ChooseDelivery, CharacterColumnsKeepTheirSizeAsWidth) {
  Column fixed = ChooseDelivery(TextColumn("C", kTypeChar, 4));
  EXPECT_EQ(fixed.delivery, Delivery::kText);
  EXPECT_EQ(fixed.delivered_type, kTypeChar);
  EXPECT_EQ(fixed.display_width, 4);
  Column wide = ChooseDelivery(TextColumn("V", kTypeVarchar2, 300));
  EXPECT_EQ(wide.delivery, Delivery::kText);
  EXPECT_EQ(wide.display_width, 300);
}

TEST(ChooseDelivery, DateIsTextOfWidthNine) {
  Column column = ChooseDelivery({7, kTypeDate, "D", 9, 0, 0, 1});
  EXPECT_EQ(column.delivery, Delivery::kText);
  EXPECT_EQ(column.delivered_type, kTypeDate);
  EXPECT_EQ(column.display_width, 9);
}

TEST(ChooseDelivery, RowidIsTextOfWidthEighteen) {
  Column column = ChooseDelivery({10, kTypeRowid, "ROWID", 18, 0, 0, 0});
  EXPECT_EQ(column.delivery, Delivery::kText);
  EXPECT_EQ(column.display_width, 18);
}

class DescribeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto session =
        Session::FromConnection(std::make_unique<testing::FakeConnection>(db_), false, out_);
    ASSERT_TRUE(session.has_value());
    session_ = std::move(*session);
  }
  testing::FakeDatabase db_;
  std::ostringstream out_;
  std::unique_ptr<Session> session_;
};

TEST_F(DescribeTest, EveryColumnIsDescribedAndDefined) {
  Response query;
  query.function_type = kFunctionSelect;
  query.columns = {NumberColumn("ID", 3, 0), TextColumn("NOMBRE", kTypeVarchar2, 20)};
  query.rows = {{"7", "ANA"}};
  db_.Add("select id, nombre from t", query);
  SessionCursor& cursor = session_->main();
  ASSERT_EQ(cursor.Parse("select id, nombre from t"), 0);
  auto columns = DescribeAndDefine(*session_, cursor);
  ASSERT_TRUE(columns.has_value());
  ASSERT_EQ(columns->size(), 2u);
  EXPECT_EQ((*columns)[0].description.name, "ID");
  EXPECT_EQ((*columns)[0].delivery, Delivery::kInteger);
  EXPECT_EQ((*columns)[1].display_width, 20);
  ASSERT_EQ(cursor.Execute(), 0);
  ASSERT_EQ(cursor.Fetch(), 0);
  EXPECT_EQ(cursor.Value(0).integer, 7);
  EXPECT_EQ(cursor.Value(1).text, "ANA");
}

// A select list used to be cut at 256 items, silently losing the columns after it.
TEST_F(DescribeTest, SelectListOfThreeHundredColumnsIsDescribedWhole) {
  Response query;
  query.function_type = kFunctionSelect;
  for (int column_idx = 0; column_idx < 300; ++column_idx) {
    query.columns.push_back(TextColumn("C" + std::to_string(column_idx), kTypeChar, 1));
  }
  db_.Add("select * from ancha", query);
  ASSERT_EQ(session_->main().Parse("select * from ancha"), 0);
  auto columns = DescribeAndDefine(*session_, session_->main());
  ASSERT_TRUE(columns.has_value());
  ASSERT_EQ(columns->size(), 300u);
  EXPECT_EQ(columns->back().description.name, "C299");
}

TEST_F(DescribeTest, DescribeFailureIsReportedAndGivesNoColumns) {
  Response query;
  query.function_type = kFunctionSelect;
  query.columns = {NumberColumn("ID", 3, 0)};
  query.describe_rc = 1001;
  query.describe_error = "ORA-01001: invalid cursor";
  db_.Add("select id from t", query);
  ASSERT_EQ(session_->main().Parse("select id from t"), 0);
  auto columns = DescribeAndDefine(*session_, session_->main());
  ASSERT_TRUE(columns.has_value());
  EXPECT_TRUE(columns->empty());
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-01001: invalid cursor\nselect id from t\n\n");
}

class TableExistsTest : public DescribeTest {
 protected:
  void AddObject(const std::string& name) {
    Response found;
    found.function_type = kFunctionSelect;
    found.columns = {TextColumn("OBJECT_NAME", kTypeVarchar2, 128)};
    found.rows = {{name}};
    db_.Add("select object_name from user_objects where object_name = '" + name + "'", found);
  }
};

TEST_F(TableExistsTest, AnObjectOfThatNameIsFound) {
  AddObject("CLIENTES");
  EXPECT_TRUE(*TableExists(*session_, "CLIENTES"));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(TableExistsTest, AMissingNameIsNotFound) {
  Response empty;
  empty.function_type = kFunctionSelect;
  empty.columns = {TextColumn("OBJECT_NAME", kTypeVarchar2, 128)};
  db_.Add("select object_name from user_objects where object_name = 'clientes'", empty);
  EXPECT_FALSE(*TableExists(*session_, "clientes"));
}

TEST_F(TableExistsTest, AFailingQueryCountsAsNotFoundWithoutReport) {
  Response failing;
  failing.parse_rc = 942;
  failing.parse_error = "ORA-00942: table or view does not exist";
  db_.Add("select object_name from user_objects where object_name = 'X'", failing);
  EXPECT_FALSE(*TableExists(*session_, "X"));
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(session_->reports(), 0u);
}

TEST_F(TableExistsTest, ApostrophesInTheNameStayInsideTheLiteral) {
  AddObject("O''BRIEN");
  EXPECT_TRUE(*TableExists(*session_, "O'BRIEN"));
}

TEST_F(TableExistsTest, TheQueryIsEchoed) {
  auto session =
      Session::FromConnection(std::make_unique<testing::FakeConnection>(db_), true, out_);
  ASSERT_TRUE(session.has_value());
  (void)TableExists(**session, "T");
  EXPECT_EQ(out_.str(), "sql: select object_name from user_objects where object_name = 'T'\n");
}

}  // namespace
}  // namespace volmek::db
