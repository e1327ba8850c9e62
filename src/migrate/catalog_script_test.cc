#include "migrate/catalog_script.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace volmek::migrate {
namespace {

const std::string kTables =
    "select object_name from user_objects where object_type = 'TABLE' order by object_name";
const std::string kViews =
    "select object_name from user_objects where object_type = 'VIEW' order by object_name";
const std::string kHeader =
    "set TERM off\nSET LINESIZE 800\nSET PAGESIZE 999999\nSET HEADING OFF\nSET FEEDBACK OFF\n"
    "spool catalogo.txt\n";

// What the fake database answers to one statement.
struct Answer {
  std::vector<std::string> rows;
  int parse_rc = 0;
  int execute_rc = 0;
};

// A database that knows only the two object lists of the catalogue.
class FakeCursor : public db::Cursor {
 public:
  explicit FakeCursor(const std::map<std::string, Answer>& answers) : answers_(answers) {}
  int Parse(std::string_view sql) override {
    auto it = answers_.find(std::string(sql));
    answer_ = it == answers_.end() ? Answer() : it->second;
    next_row_ = 0;
    return rc_ = answer_.parse_rc;
  }
  int Execute() override { return rc_ = answer_.execute_rc; }
  int Describe(int position, db::ColumnDescription* out) override {
    if (position > 1) return rc_ = db::kRcNotInSelectList;
    out->db_type = db::kTypeVarchar2;
    out->db_size = 128;
    out->name = "OBJECT_NAME";
    return rc_ = 0;
  }
  int Define(int, db::ExternalType) override { return rc_ = 0; }
  int Fetch() override {
    if (next_row_ >= answer_.rows.size()) return rc_ = db::kRcNoData;
    value_.is_null = false;
    value_.text = answer_.rows[next_row_++];
    return rc_ = 0;
  }
  const db::FetchedValue& Value(int) const override { return value_; }
  int rc() const override { return rc_; }
  std::uint16_t function_type() const override { return db::kFunctionSelect; }
  std::uint64_t rows_processed() const override { return next_row_; }
  std::string ErrorText() const override {
    return rc_ == 942 ? "ORA-00942: table or view does not exist" : "";
  }

 private:
  const std::map<std::string, Answer>& answers_;
  Answer answer_;
  std::size_t next_row_ = 0;
  db::FetchedValue value_;
  int rc_ = 0;
};

class FakeConnection : public db::Connection {
 public:
  explicit FakeConnection(const std::map<std::string, Answer>& answers) : answers_(answers) {}
  std::unique_ptr<db::Cursor> OpenCursor(int* rc) override {
    *rc = 0;
    return std::make_unique<FakeCursor>(answers_);
  }
  int LogOff() override { return 0; }
  std::string ErrorText() const override { return ""; }

 private:
  const std::map<std::string, Answer>& answers_;
};

class CatalogScriptTest : public ::testing::Test {
 protected:
  Status Write(bool echo = false) {
    auto session =
        db::Session::FromConnection(std::make_unique<FakeConnection>(answers_), echo, out_);
    EXPECT_TRUE(session.has_value());
    script_.clear();
    return WriteCatalogScript(**session, script_);
  }
  std::map<std::string, Answer> answers_;
  std::ostringstream out_;
  std::string script_;
};

TEST_F(CatalogScriptTest, SchemaWithoutObjectsGivesHeaderAndClosingOnly) {
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_, kHeader + "spool off\nquit\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CatalogScriptTest, TablesOnlyGiveFourLinesEachInListOrder) {
  answers_[kTables].rows = {"DEPT", "EMP"};
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_, kHeader + TableLines("DEPT") + TableLines("EMP") + "spool off\nquit\n");
}

TEST_F(CatalogScriptTest, TableLinesNameTheTableInEveryPlace) {
  EXPECT_EQ(TableLines("EMP"),
            "select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from EMP;\n"
            "desc EMP\n"
            "select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_INDICES' from EMP;\n"
            "select ai.index_name Nombre, ai.uniqueness Unico,  substr(ic.column_name, 1, 30) "
            "Columna, ic.column_position Posicion, ic.descend Orden,  ic.table_name Nombre_Tabla "
            "from all_ind_columns ic, all_indexes ai where ai.index_name = ic.index_name and "
            "ai.table_name = 'EMP' order by ai.index_name, ic.column_position ;\n");
}

TEST_F(CatalogScriptTest, ViewLinesHaveTwoBlanksBeforeFrom) {
  EXPECT_EQ(ViewLines("V"),
            "select 'V' as VISTA, count(*) as REGISTROS, 'CATALOGO_VISTA'  from V;\ndesc V\n");
}

TEST_F(CatalogScriptTest, TablesAndViewsComeInThatOrder) {
  answers_[kTables].rows = {"EMP"};
  answers_[kViews].rows = {"V", "W"};
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_,
            kHeader + TableLines("EMP") + ViewLines("V") + ViewLines("W") + "spool off\nquit\n");
}

TEST_F(CatalogScriptTest, EchoShowsBothListQueries) {
  ASSERT_TRUE(Write(/*echo=*/true).ok());
  EXPECT_EQ(out_.str(), "sql: " + kTables + "\nsql: " + kViews + "\n");
}

TEST_F(CatalogScriptTest, FailedViewParseLeavesTheTablesWithoutClosingLines) {
  answers_[kTables].rows = {"EMP"};
  answers_[kViews].parse_rc = 942;
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_, kHeader + TableLines("EMP"));
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00942: table or view does not exist\n" + kViews + "\n\n");
}

TEST_F(CatalogScriptTest, FailedTableParseLeavesTheHeaderOnly) {
  answers_[kTables].parse_rc = 942;
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_, kHeader);
}

TEST_F(CatalogScriptTest, FailedExecuteEndsTheRun) {
  answers_[kTables].execute_rc = 942;
  Status status = Write();
  EXPECT_EQ(status.code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00942: table or view does not exist\n" + kTables + "\n\n");
}

TEST_F(CatalogScriptTest, NameThatIsNoIdentifierIsLeftOutWithAWarning) {
  answers_[kTables].rows = {"EMP", "my table", "X';DROP"};
  ASSERT_TRUE(Write().ok());
  EXPECT_EQ(script_, kHeader + TableLines("EMP") + "spool off\nquit\n");
  EXPECT_EQ(out_.str(),
            "Warning. Objeto \"my table\" fuera del catalogo: su nombre no es un identificador.\n"
            "Warning. Objeto \"X';DROP\" fuera del catalogo: su nombre no es un identificador.\n");
}

}  // namespace
}  // namespace volmek::migrate
