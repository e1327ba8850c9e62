// EngineCursor::InsertRow: what it takes, what it leaves to the statement, and that a row it
// refuses leaves nothing behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/call.h"
#include "engine/engine.h"
#include "testing/harness.h"

namespace volmek::engine {
namespace {

using Kind = db::RowValue::Kind;

class InsertRowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db::LogonResult logon = Logon(dir_.File("e.db"), "scott", "tiger");
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    connection_ = std::move(logon.connection);
    int rc = -1;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
    Run("create table T (id number(4) not null, name varchar2(3))");
  }

  void Run(const std::string& sql) {
    ASSERT_EQ(cursor_->Parse(sql), 0) << sql << ": " << cursor_->ErrorText();
    ASSERT_EQ(cursor_->Execute(), 0) << sql << ": " << cursor_->ErrorText();
  }

  std::string Rows(const std::string& sql) {
    EXPECT_EQ(cursor_->Parse(sql), 0) << cursor_->ErrorText();
    cursor_->Define(1, db::ExternalType::kString);
    EXPECT_EQ(cursor_->Execute(), 0) << cursor_->ErrorText();
    std::string rows;
    while (cursor_->Fetch() == 0) {
      rows += (cursor_->Value(1).is_null ? "NULL" : cursor_->Value(1).text) + ";";
    }
    return rows;
  }

  int Insert(std::string_view table, std::vector<db::RowValue> values) {
    return cursor_->InsertRow(table, values);
  }

  volmek::testing::TempDir dir_;
  std::unique_ptr<db::Connection> connection_;
  std::unique_ptr<db::Cursor> cursor_;
};

TEST_F(InsertRowTest, InsertsTheRowAStatementWould) {
  EXPECT_EQ(Insert("t", {{Kind::kNumber, "-12"}, {Kind::kText, "a'b"}}), 0);
  EXPECT_EQ(cursor_->rows_processed(), 1u);
  EXPECT_EQ(cursor_->function_type(), db::kFunctionInsert);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "7.5"}, {Kind::kNull, ""}}), 0);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "8"}, {Kind::kText, ""}}), 0);
  EXPECT_EQ(Rows("select id || '/' || nvl(name, '-') from T order by id"), "-12/a'b;8/-;8/-;");
  // 7.5 rounds to 8 in NUMBER(4), as the statement rounds it.
}

TEST_F(InsertRowTest, ARefusedRowLeavesNothingAndGivesTheStatementsError) {
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}, {Kind::kText, "abcd"}}), 12899);
  EXPECT_EQ(
      cursor_->ErrorText(),
      "ORA-12899: value too large for column \"SCOTT\".\"T\".\"NAME\" (actual: 4, maximum: 3)");
  EXPECT_EQ(Insert("T", {{Kind::kNull, ""}, {Kind::kText, "a"}}), 1400);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "12345"}, {Kind::kText, "a"}}), 1438);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}}), 947);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}, {Kind::kNull, ""}, {Kind::kNull, ""}}), 913);
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "x"}, {Kind::kNull, ""}}), db::kRcUnimplemented);
  // After a refusal the cursor holds no statement.
  EXPECT_EQ(cursor_->Execute(), 1003);
  EXPECT_EQ(Rows("select count(*) from T"), "0;");
}

TEST_F(InsertRowTest, LeavesViewsQualifiedAndUnknownNamesToTheStatement) {
  Run("create view V as select * from T");
  EXPECT_EQ(Insert("V", {{Kind::kNumber, "1"}, {Kind::kNull, ""}}), db::kRcUnimplemented);
  EXPECT_EQ(Insert("SCOTT.T", {{Kind::kNumber, "1"}, {Kind::kNull, ""}}), db::kRcUnimplemented);
  EXPECT_EQ(Insert("\"T\"", {{Kind::kNumber, "1"}, {Kind::kNull, ""}}), db::kRcUnimplemented);
  EXPECT_EQ(Insert("NOPE", {{Kind::kNumber, "1"}}), db::kRcUnimplemented);
  EXPECT_EQ(Rows("select count(*) from T"), "0;");
}

TEST_F(InsertRowTest, ARowIsRefusedInsideAReadOnlyTransaction) {
  Run("set transaction read only");
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}, {Kind::kText, "a"}}), 1456);
  Run("commit");
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}, {Kind::kText, "a"}}), 0);
  EXPECT_EQ(Rows("select count(*) from T"), "1;");
}

TEST_F(InsertRowTest, FollowsTheTableThroughDdl) {
  EXPECT_EQ(Insert("T", {{Kind::kNumber, "1"}, {Kind::kText, "a"}}), 0);
  Run("drop table T");
  Run("create table T (name varchar2(5), id number(4))");
  EXPECT_EQ(Insert("T", {{Kind::kText, "bb"}, {Kind::kNumber, "2"}}), 0);
  EXPECT_EQ(Rows("select name || id from T"), "bb2;");
}

// The converter and InsertConverted: the rows InsertRow would insert, converted ahead, and
// refused (nothing written) once the schema, the session settings or the cursor are others.
TEST_F(InsertRowTest, ConvertedRowsAreInsertedOnlyUnderWhatTheyWereConvertedFor) {
  Run("create table D (id number(4), day date, code char(3))");
  Run("alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'");
  std::unique_ptr<db::RowConverter> converter = cursor_->OpenRowConverter("d");
  ASSERT_NE(converter, nullptr);
  db::ConvertedRows rows;
  const std::vector<db::RowValue> first = {
      {Kind::kNumber, "7.5"}, {Kind::kText, "2026-01-02 03:04:05"}, {Kind::kText, "a"}};
  const std::vector<db::RowValue> second = {
      {Kind::kNumber, "-1"}, {Kind::kNull, ""}, {Kind::kText, ""}};
  ASSERT_TRUE(converter->Convert(first, rows));
  ASSERT_TRUE(converter->Convert(second, rows));
  // What the statement would refuse is left to InsertRow: ORA-01438, ORA-12899, a count that
  // does not match. Such a row appends nothing.
  EXPECT_FALSE(converter->Convert(
      std::vector<db::RowValue>{{Kind::kNumber, "12345"}, {Kind::kNull, ""}, {Kind::kNull, ""}},
      rows));
  EXPECT_FALSE(converter->Convert(
      std::vector<db::RowValue>{{Kind::kNumber, "1"}, {Kind::kNull, ""}, {Kind::kText, "abcd"}},
      rows));
  EXPECT_FALSE(converter->Convert(std::vector<db::RowValue>{{Kind::kNumber, "1"}}, rows));
  ASSERT_EQ(rows.values.size(), 6u);

  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 0, 1), 0);
  EXPECT_EQ(cursor_->rows_processed(), 1u);
  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 3, 1), 0);
  // Past the converted values: refused.
  EXPECT_NE(cursor_->InsertConverted(*converter, rows, 4, 1), 0);
  // Another cursor's converter: refused.
  int rc = -1;
  std::unique_ptr<db::Cursor> other = connection_->OpenCursor(&rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NE(other->InsertConverted(*converter, rows, 0, 1), 0);
  // Other settings: the same date text may mean another date now.
  Run("alter session set nls_date_format = 'DD/MM/YYYY'");
  EXPECT_NE(cursor_->InsertConverted(*converter, rows, 0, 1), 0);
  Run("alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'");
  EXPECT_EQ(Rows("select id || '/' || day || '/' || code || '/' from D order by id"),
            "-1///;8/2026-01-02 03:04:05/a  /;");  // 7.5 rounds to 8 in NUMBER(4)
  // The same settings again: taken again.
  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 3, 1), 0);
  // Another schema (even an unrelated DDL): refused; a new converter works again.
  Run("create table E (x number)");
  EXPECT_NE(cursor_->InsertConverted(*converter, rows, 0, 1), 0);
  EXPECT_EQ(Rows("select count(*) from D"), "3;");
  converter = cursor_->OpenRowConverter("D");
  ASSERT_NE(converter, nullptr);
  rows.clear();
  ASSERT_TRUE(converter->Convert(first, rows));
  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 0, 1), 0);
  EXPECT_EQ(Rows("select count(*) from D"), "4;");
  // Views and unknown tables have no converter.
  Run("create view V as select * from D");
  EXPECT_EQ(cursor_->OpenRowConverter("V"), nullptr);
  EXPECT_EQ(cursor_->OpenRowConverter("NOPE"), nullptr);
}

// A group of converted rows goes in whole, or not at all when one of its rows is refused.
TEST_F(InsertRowTest, AGroupOfConvertedRowsIsWrittenWholeOrNotAtAll) {
  Run("create table G (id number(6) not null, name varchar2(10))");
  Run("create unique index GI on G (id)");
  std::unique_ptr<db::RowConverter> converter = cursor_->OpenRowConverter("G");
  ASSERT_NE(converter, nullptr);
  const std::size_t group = converter->group_rows();
  ASSERT_GT(group, 1u);
  db::ConvertedRows rows;
  std::vector<std::string> ids;
  for (std::size_t idx = 0; idx < 2 * group; ++idx) ids.push_back(std::to_string(idx + 1));
  ids[group + group / 2] = "1";  // the second group repeats a key of the first
  for (const std::string& id : ids) {
    ASSERT_TRUE(converter->Convert(
        std::vector<db::RowValue>{{Kind::kNumber, id}, {Kind::kText, "n" + id}}, rows));
  }
  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 0, group), 0);
  EXPECT_EQ(cursor_->rows_processed(), group);
  EXPECT_EQ(cursor_->InsertConverted(*converter, rows, 2 * group, group), 1);  // ORA-00001
  // Neither a count other than one or a group, nor a group past the converted values.
  EXPECT_NE(cursor_->InsertConverted(*converter, rows, 2 * group, group - 1), 0);
  EXPECT_NE(cursor_->InsertConverted(*converter, rows, 2 * group + 2, group), 0);
  EXPECT_EQ(Rows("select count(*) || '/' || sum(id) || '/' || max(name) from G"),
            std::to_string(group) + "/" + std::to_string(group * (group + 1) / 2) + "/n" +
                std::to_string(group < 10 ? group : 9) + ";");
}

}  // namespace
}  // namespace volmek::engine
