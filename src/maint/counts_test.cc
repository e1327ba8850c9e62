#include "maint/counts.h"

#include <gtest/gtest.h>

#include <sstream>

#include "db/session.h"
#include "maint/statistics.h"
#include "testing/fake_db.h"

namespace volmek::maint {
namespace {

using db::testing::NumberColumn;

class CountsRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = std::make_unique<db::RunContext>(Environment(), out_, in_);
    auto session = db::Session::FromConnection(std::make_unique<db::testing::FakeConnection>(db_),
                                               false, out_);
    ASSERT_TRUE(session.has_value());
    ctx_->session = std::move(*session);
  }

  void Answer(const std::string& sql, std::optional<std::string> value) {
    db::testing::Response response;
    response.function_type = db::kFunctionSelect;
    response.columns = {NumberColumn("COUNT(*)", 0, 0)};
    response.rows = {{std::move(value)}};
    db_.Add(sql, response);
  }
  void Missing(const std::string& sql) {
    db::testing::Response response;
    response.parse_rc = 942;
    response.parse_error = "ORA-00942: table or view does not exist";
    db_.Add(sql, response);
  }
  std::string SizeQuery(const std::string& table) {
    return "select (avg_row_len * num_rows) as espacio from user_tables where table_name = '" +
           table + "'";
  }

  db::testing::FakeDatabase db_;
  std::ostringstream out_;
  std::istringstream in_;
  std::unique_ptr<db::RunContext> ctx_;
};

TEST_F(CountsRun, InfoLineUpperCasesAndPadsTheName) {
  Answer("select count(*) from CLIENTES", "1250");
  Answer(SizeQuery("CLIENTES"), "98000");
  std::string name = "clientes";
  ASSERT_TRUE(RowCount(*ctx_, name, true).ok());
  EXPECT_EQ(name, "CLIENTES");
  EXPECT_EQ(ctx_->row_count_result, 1250);
  // CLIENTES and eight blanks, a blank, five blanks and 1250, two blanks, filas, a blank, seven
  // blanks and 98000, two blanks and bytes.
  EXPECT_EQ(out_.str(), "Tabla: CLIENTES" + std::string(8, ' ') + " " + std::string(5, ' ') +
                            "1250  filas " + std::string(7, ' ') + "98000  bytes.\n");
}

TEST_F(CountsRun, WithoutPrintingOnlyTheCountIsKept) {
  Answer("select count(*) from T", "3");
  std::string name = "T";
  ASSERT_TRUE(RowCount(*ctx_, name, false).ok());
  EXPECT_EQ(ctx_->row_count_result, 3);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CountsRun, UnknownTableIsReportedAndKeepsThePreviousCount) {
  ctx_->row_count_result = 77;
  Missing("select count(*) from NADA");
  std::string name = "nada";
  auto counted = CountedRows(*ctx_, name, true);
  ASSERT_TRUE(counted.has_value());
  EXPECT_FALSE(*counted);
  EXPECT_EQ(ctx_->row_count_result, 77);
  EXPECT_EQ(
      out_.str(),
      "\nError de Oracle. ORA-00942: table or view does not exist\nselect count(*) from NADA\n\n");
}

TEST_F(CountsRun, SizeWithoutStatisticsShowsZero) {
  Answer("select count(*) from T", "0");
  Answer(SizeQuery("T"), std::nullopt);
  std::string name = "T";
  ASSERT_TRUE(RowCount(*ctx_, name, true).ok());
  EXPECT_EQ(out_.str(), "Tabla: T" + std::string(15, ' ') + " " + std::string(8, ' ') +
                            "0  filas " + std::string(11, ' ') + "0  bytes.\n");
}

TEST_F(CountsRun, CountsBeyondThirtyTwoBitsSurvive) {
  Answer("select count(*) from T", "5000000000");
  std::string name = "T";
  ASSERT_TRUE(RowCount(*ctx_, name, false).ok());
  EXPECT_EQ(ctx_->row_count_result, 5000000000);
}

TEST_F(CountsRun, EstadisFallsBackToTheIndexFormOnlyAfterAnExecuteFailure) {
  db::testing::Response not_table;
  not_table.execute_rc = 942;
  not_table.execute_error = "ORA-00942: table or view does not exist";
  db_.Add("analyze table CLI_I compute statistics", not_table);
  db_.log().clear();
  ASSERT_TRUE(GatherStatistics(*ctx_, "cli_i").ok());
  ASSERT_TRUE(GatherStatistics(*ctx_, "CLI").ok());
  std::vector<std::string> parsed;
  for (const std::string& entry : db_.log()) {
    if (entry.find(" parse ") != std::string::npos)
      parsed.push_back(entry.substr(entry.find(" parse ") + 7));
  }
  std::vector<std::string> expected = {"analyze table CLI_I compute statistics",
                                       "analyze index CLI_I compute statistics",
                                       "analyze table CLI compute statistics"};
  EXPECT_EQ(parsed, expected);
  EXPECT_EQ(out_.str(), "Actualizado CLI_I.\nActualizado CLI.\n");
}

TEST_F(CountsRun, EstadisOnANameThatDoesNotParseTriesNoIndex) {
  Missing("analyze table X compute statistics");
  db_.log().clear();
  ASSERT_TRUE(GatherStatistics(*ctx_, "X").ok());
  EXPECT_EQ(db_.log().size(), 1u);
  EXPECT_EQ(out_.str(), "Actualizado X.\n");
}

class InfoLineTest : public ::testing::Test {};

TEST_F(InfoLineTest, LongFieldsAreNotPaddedNorCut) {
  EXPECT_EQ(InfoLine("TABLA_DE_DIECISEIS", 1000000000, 123456789012),
            "Tabla: TABLA_DE_DIECISEIS 1000000000  filas 123456789012  bytes.\n");
  EXPECT_EQ(InfoLine("ABCDEFGHIJKLMNOP", 1, 2),
            "Tabla: ABCDEFGHIJKLMNOP         1  filas            2  bytes.\n");
}

}  // namespace
}  // namespace volmek::maint
