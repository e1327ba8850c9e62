#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "maint/dictionary.h"
#include "testing/fake_db.h"

namespace volmek::maint {
namespace {

using db::testing::FakeConnection;
using db::testing::FakeDatabase;
using db::testing::NumberColumn;
using db::testing::Response;
using db::testing::TextColumn;

using Cell = std::optional<std::string>;

class DictionaryIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto session = db::Session::FromConnection(std::make_unique<FakeConnection>(db_), false, out_);
    ASSERT_TRUE(session.has_value());
    session_ = std::move(*session);
    // Every x-table answers with no rows unless a test says otherwise.
    for (const XTable& table : XTables()) Answer(table.name, "VIEJA", {});
  }

  static std::string Query(std::string_view table, std::string_view key) {
    int order = table == "xdivide" ? 4 : 2;
    return fmt::format("select * from {} where indice = '{}' order by {}", table, key, order);
  }

  // Registers the rows the query of `table` gives for `key`; columns after indice follow the
  // x-table's kinds.
  void Answer(std::string_view table_name, std::string_view key,
              std::vector<std::vector<Cell>> rows) {
    const XTable* table = nullptr;
    for (const XTable& candidate : XTables()) {
      if (candidate.name == table_name) table = &candidate;
    }
    ASSERT_NE(table, nullptr);
    Response response;
    response.function_type = db::kFunctionSelect;
    response.columns.push_back(TextColumn("INDICE", db::kTypeVarchar2, 64));
    for (std::size_t column_idx = 0; column_idx < table->columns.size(); ++column_idx) {
      std::string name = fmt::format("C{}", column_idx + 2);
      response.columns.push_back(table->columns[column_idx] == XKind::kInteger
                                     ? NumberColumn(name, 10, 0)
                                     : TextColumn(name, db::kTypeVarchar2, 64));
    }
    for (auto& row : rows) {
      row.insert(row.begin(), Cell(std::string(key)));
      // The fake cursor keeps the definitions of an earlier, wider query; cells past the
      // described columns are never read but must be there.
      row.resize(10);
      response.rows.push_back(std::move(row));
    }
    db_.Add(Query(table_name, key), std::move(response));
  }

  std::vector<std::string> Parsed() {
    std::vector<std::string> parsed;
    for (const std::string& entry : db_.log()) {
      auto at = entry.find(" parse ");
      if (at != std::string::npos) parsed.push_back(entry.substr(at + 7));
    }
    return parsed;
  }

  bool WasParsed(std::string_view sql) {
    std::vector<std::string> parsed = Parsed();
    return std::find(parsed.begin(), parsed.end(), sql) != parsed.end();
  }

  FakeDatabase db_;
  std::ostringstream out_;
  std::unique_ptr<db::Session> session_;
};

TEST_F(DictionaryIoTest, LoadReadsFieldsKeysAndDivisionsInPositionOrder) {
  Answer("xcampo", "VIEJA",
         {{"0", "CODIGO  ", "CODIGO", "A", " ", "6", "0", " "},
          {"1", "SALDO", "SALDO", "N", "3", "9", "2", "S"}});
  Answer("xclave", "VIEJA", {{"0", "CODIGO ", "A"}});
  Answer("xdivide", "VIEJA", {{"0", "x", "0"}});
  Result<RecordEntry> entry = LoadDictionary(*session_, "VIEJA");
  ASSERT_TRUE(entry.has_value());
  ASSERT_EQ(entry->fields.size(), 2u);
  EXPECT_EQ(entry->fields[0].name, "CODIGO");
  EXPECT_EQ(entry->fields[1].decimals, 2);
  EXPECT_EQ(entry->keys, std::vector<std::string>{"CODIGO"});
  EXPECT_EQ(entry->divisions, std::vector<std::int64_t>{0});
  EXPECT_EQ(Parsed()[1], "select * from xcampo where indice = 'VIEJA' order by 2");
  EXPECT_EQ(Parsed()[3], "select * from xdivide where indice = 'VIEJA' order by 4");
}

TEST_F(DictionaryIoTest, CopyWritesEveryRowUnderTheNewKeyWithNullsKept) {
  Answer("xcampo", "VIEJA", {{"0", "CODIGO", Cell(), "A", Cell(), "6", Cell(), " "}});
  Answer("xindice", "VIEJA", {{"1", "VIEJA", "resto"}});
  ASSERT_TRUE(CopyDictionary(*session_, "VIEJA", "NUEVA").ok());
  EXPECT_TRUE(
      WasParsed("insert into xcampo values ('NUEVA', 0, 'CODIGO', NULL, 'A', NULL, 6, NULL, ' ')"));
  EXPECT_TRUE(WasParsed("insert into xindice values ('NUEVA', 1, 'NUEVA', 'resto')"));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(DictionaryIoTest, CopyToTheSameKeyDoesNothing) {
  Answer("xcampo", "VIEJA", {{"0", "CODIGO", "CODIGO", "A", " ", "6", "0", " "}});
  std::size_t before = db_.log().size();
  ASSERT_TRUE(CopyDictionary(*session_, "VIEJA", "VIEJA").ok());
  EXPECT_EQ(db_.log().size(), before);
}

TEST_F(DictionaryIoTest, MissingXTableEndsTheReadWithItsReport) {
  Response missing;
  missing.parse_rc = 942;
  missing.parse_error = "ORA-00942: table or view does not exist";
  db_.Add(Query("xclave", "VIEJA"), missing);
  Result<DictionaryRows> rows = ReadDictionary(*session_, "VIEJA");
  ASSERT_FALSE(rows.has_value());
  EXPECT_EQ(rows.error().code(), Status::Code::kDatabase);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00942: table or view does not exist\n"
            "select * from xclave where indice = 'VIEJA' order by 2\n\n");
  EXPECT_FALSE(WasParsed(Query("xdivide", "VIEJA")));
}

TEST_F(DictionaryIoTest, FailedExecuteOfAReadEndsTheRun) {
  Response failing;
  failing.function_type = db::kFunctionSelect;
  failing.columns.push_back(TextColumn("INDICE", db::kTypeVarchar2, 64));
  failing.execute_rc = 1013;
  failing.execute_error = "ORA-01013: user requested cancel of current operation";
  db_.Add(Query("xcampo", "VIEJA"), failing);
  Result<RecordEntry> entry = LoadDictionary(*session_, "VIEJA");
  ASSERT_FALSE(entry.has_value());
  EXPECT_EQ(entry.error().code(), Status::Code::kFatal);
}

TEST_F(DictionaryIoTest, DeleteRunsOnEveryXTableInItsOrder) {
  ASSERT_TRUE(DeleteDictionary(*session_, "VIEJA").ok());
  std::vector<std::string> parsed = Parsed();
  std::vector<std::string> deletes(parsed.end() - 6, parsed.end());
  EXPECT_EQ(deletes, (std::vector<std::string>{"delete from xcondi where indice = 'VIEJA'",
                                               "delete from xindice where indice = 'VIEJA'",
                                               "delete from xclave where indice = 'VIEJA'",
                                               "delete from xdivide where indice = 'VIEJA'",
                                               "delete from xcampo where indice = 'VIEJA'",
                                               "delete from xselec where indice = 'VIEJA'"}));
}

}  // namespace
}  // namespace volmek::maint
