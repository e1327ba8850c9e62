#include "engine/translate/translate.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <random>
#include <set>

#include "engine/functions/functions.h"
#include "engine/storage/sqlite_handle.h"

namespace volmek::engine {
namespace {

SqlType Number(std::optional<int> precision = std::nullopt,
               std::optional<int> scale = std::nullopt) {
  SqlType type;
  type.kind = TypeKind::kNumber;
  type.length = 22;
  type.precision = precision;
  type.scale = scale;
  return type;
}

SqlType Text(TypeKind kind, int length) {
  SqlType type;
  type.kind = kind;
  type.length = length;
  return type;
}

SqlType DateType() {
  SqlType type;
  type.kind = TypeKind::kDate;
  type.length = 7;
  return type;
}

// Two tables of user SCOTT, a view and one sequence, kept as the engine core stores them.
class FakeSchema : public SchemaLookup {
 public:
  FakeSchema() {
    Add("EMP", {{"ID", Number(10, 0), false},
                {"ENAME", Text(TypeKind::kVarchar2, 20), true},
                {"SAL", Number(8, 2), true},
                {"HIRED", DateType(), true},
                {"CODE", Text(TypeKind::kChar, 3), true},
                {"DEPT_ID", Number(4, 0), true}});
    Add("DEPT", {{"ID", Number(4, 0), false}, {"NAME", Text(TypeKind::kVarchar2, 14), true}});
    Add("STATS", {{"AVG_ROW_LEN", Number(), true},
                  {"NUM_ROWS", Number(), true},
                  {"N",
                   [] {
                     SqlType type = Number();
                     type.scale = 0;
                     return type;
                   }(),
                   true}});
    TableInfo view = tables_.at("DEPT");
    view.name = "V";
    view.physical_name = "\"V\"";
    view.is_view = true;
    tables_["V"] = view;
  }

  void Add(const std::string& name, std::vector<ColumnInfo> columns) {
    TableInfo table;
    table.owner = "SCOTT";
    table.name = name;
    table.physical_name = "\"" + name + "\"";
    table.columns = std::move(columns);
    tables_[name] = std::move(table);
  }

  std::optional<TableInfo> FindTable(std::string_view name) const override {
    auto found = tables_.find(std::string(name));
    if (found == tables_.end()) return std::nullopt;
    return found->second;
  }
  bool SequenceExists(std::string_view name) const override { return name == "ID_T"; }
  std::string CurrentUser() const override { return "SCOTT"; }

  std::map<std::string, TableInfo> tables_;
};

// The physical table of `table` as the storage rules have it.
std::string CreateSql(const TableInfo& table) {
  std::string sql = "CREATE TABLE " + table.physical_name + " (";
  for (std::size_t idx = 0; idx < table.columns.size(); ++idx) {
    const ColumnInfo& column = table.columns[idx];
    sql += (idx == 0 ? "\"" : ", \"") + column.name + "\" TEXT";
    if (column.type.kind == TypeKind::kNumber) sql += " COLLATE VKNUM";
    if (column.type.kind == TypeKind::kChar) sql += " COLLATE RTRIM";
    if (!column.nullable) sql += " NOT NULL";
  }
  return sql + ")";
}

class TranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    db_.reset(raw);
    ASSERT_TRUE(RegisterFunctions(db_.get(), &settings_).ok());
    ASSERT_TRUE(ExecSql(db_.get(), "PRAGMA case_sensitive_like = ON").has_value());
    for (const auto& [name, table] : schema_.tables_) {
      if (table.is_view) continue;
      ASSERT_TRUE(ExecSql(db_.get(), CreateSql(table)).has_value()) << name;
    }
    ASSERT_TRUE(ExecSql(db_.get(), "CREATE VIEW \"V\" AS SELECT * FROM \"DEPT\"").has_value());
    Run("insert into dept values (10, 'SALES')");
    Run("insert into dept values (20, 'ADMIN')");
    Run("insert into dept values (30, 'EMPTY')");
    Run("insert into emp values (1, 'ANA', 1200.5, '15-NOV-03', 'A', 10)");
    Run("insert into emp values (2, 'LUIS', NULL, '01-JAN-1999', 'B', 20)");
    Run("insert into emp values (3, 'EVA', 800, NULL, 'C', 10)");
    Run("insert into emp values (4, 'PEDRO', 3000, '20-FEB-05', NULL, NULL)");
  }

  OraResult<Translation> Translate(std::string_view sql) {
    return translator_.Translate(sql, schema_);
  }

  std::string Error(std::string_view sql) {
    auto translation = Translate(sql);
    return translation ? "no error: " + translation->sql : translation.error().message;
  }

  // Runs `sql`; returns its rows as "a|b" lines (NULL as NULL), or the error text.
  std::vector<std::string> Run(std::string_view sql) {
    auto translation = Translate(sql);
    if (!translation) return {translation.error().message};
    auto stmt = SqliteStatement::Prepare(db_.get(), translation->sql);
    if (!stmt) return {stmt.error().message + " in " + translation->sql};
    for (std::size_t idx = 0; idx < translation->parameters.size(); ++idx) {
      const BindValue& value = translation->parameters[idx];
      const int position = static_cast<int>(idx + 1);
      switch (value.kind) {
        case BindValue::Kind::kNull:
          stmt->BindNull(position);
          break;
        case BindValue::Kind::kInteger:
          stmt->BindInt(position, value.integer);
          break;
        case BindValue::Kind::kReal:
          stmt->BindDouble(position, value.real);
          break;
        case BindValue::Kind::kText:
          stmt->BindText(position, value.text);
          break;
      }
    }
    std::vector<std::string> rows;
    while (true) {
      auto step = stmt->Step();
      if (!step) return {step.error().message};
      if (!*step) break;
      std::string row;
      for (int col = 0; col < sqlite3_column_count(stmt->get()); ++col) {
        if (col != 0) row += "|";
        const unsigned char* text = sqlite3_column_text(stmt->get(), col);
        row += text == nullptr ? "NULL" : reinterpret_cast<const char*>(text);
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  db::ColumnDescription Describe(std::string_view sql, std::size_t item) {
    auto translation = Translate(sql);
    EXPECT_TRUE(translation.has_value()) << (translation ? "" : translation.error().message);
    if (!translation || item >= translation->columns.size()) return {};
    return translation->columns[item];
  }

  using Rows = std::vector<std::string>;

  FakeSchema schema_;
  SessionSettings settings_;
  SqliteDb db_;
  Translator translator_;
};

// ---- describe ----

TEST_F(TranslatorTest, CountStarIsAnUnscaledNumberNamedAfterItsText) {
  db::ColumnDescription item = Describe("select count( * ) from emp", 0);
  EXPECT_EQ(item.db_type, 2);
  EXPECT_EQ(item.db_size, 22);
  EXPECT_EQ(item.precision, 0);
  EXPECT_EQ(item.scale, 0);
  EXPECT_EQ(item.name, "COUNT(*)");
}

TEST_F(TranslatorTest, StringLiteralIsCharOfItsLength) {
  db::ColumnDescription item = Describe("select 'abc' from dual", 0);
  EXPECT_EQ(item.db_type, 96);
  EXPECT_EQ(item.db_size, 3);
  EXPECT_EQ(item.name, "'ABC'");
}

TEST_F(TranslatorTest, CatalogueMarkerQueryDescribesAliasesAndLiteral) {
  auto translation =
      Translate("select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from EMP");
  ASSERT_TRUE(translation.has_value());
  ASSERT_EQ(translation->columns.size(), 3u);
  EXPECT_EQ(translation->columns[0].name, "TABLA");
  EXPECT_EQ(translation->columns[0].db_size, 3);
  EXPECT_EQ(translation->columns[1].name, "REGISTROS");
  EXPECT_EQ(translation->columns[1].scale, 0);
  EXPECT_EQ(translation->columns[2].name, "'CATALOGO_TABLA'");
  EXPECT_EQ(translation->columns[2].db_size, 14);
  EXPECT_EQ(Run("select 'EMP' as TABLA, count(*) as REGISTROS, 'CATALOGO_TABLA' from EMP"),
            Rows{"EMP|4|CATALOGO_TABLA"});
}

TEST_F(TranslatorTest, ArithmeticNameLosesItsBlanks) {
  db::ColumnDescription item = Describe("select avg_row_len * num_rows from stats", 0);
  EXPECT_EQ(item.name, "AVG_ROW_LEN*NUM_ROWS");
  EXPECT_EQ(item.db_type, 2);
  EXPECT_EQ(item.precision, 0);
  EXPECT_EQ(item.scale, 0);
}

TEST_F(TranslatorTest, ColumnsDescribeTheirDeclaredTypes) {
  auto translation = Translate("select * from emp");
  ASSERT_TRUE(translation.has_value());
  const auto& columns = translation->columns;
  ASSERT_EQ(columns.size(), 6u);
  EXPECT_EQ(columns[0].name, "ID");
  EXPECT_EQ(columns[0].precision, 10);
  EXPECT_EQ(columns[0].scale, 0);
  EXPECT_EQ(columns[0].nulls_allowed, 0);
  EXPECT_EQ(columns[1].db_type, 1);
  EXPECT_EQ(columns[1].db_size, 20);
  EXPECT_EQ(columns[2].precision, 8);
  EXPECT_EQ(columns[2].scale, 2);
  EXPECT_EQ(columns[3].db_type, 12);
  EXPECT_EQ(columns[3].db_size, 7);
  EXPECT_EQ(columns[4].db_type, 96);
  EXPECT_EQ(columns[4].db_size, 3);
  EXPECT_EQ(columns[4].nulls_allowed, 1);
}

TEST_F(TranslatorTest, IntegerColumnDescribesPrecision38) {
  db::ColumnDescription item = Describe("select n from stats", 0);
  EXPECT_EQ(item.precision, 38);
  EXPECT_EQ(item.scale, 0);
}

TEST_F(TranslatorTest, ExpressionsDescribeOracleResultTypes) {
  EXPECT_EQ(Describe("select substr(ename, 1, 30) from emp", 0).db_size, 30);
  EXPECT_EQ(Describe("select substr(ename, 1, 30) from emp", 0).db_type, 1);
  EXPECT_EQ(Describe("select upper(code) from emp", 0).db_type, 96);
  EXPECT_EQ(Describe("select rtrim(code) from emp", 0).db_type, 1);
  EXPECT_EQ(Describe("select sysdate from dual", 0).db_type, 12);
  EXPECT_EQ(Describe("select hired + 1 from emp", 0).db_type, 12);
  EXPECT_EQ(Describe("select user from dual", 0).db_size, 30);
  EXPECT_EQ(Describe("select code || 'xy' from emp", 0).db_type, 96);
  EXPECT_EQ(Describe("select code || 'xy' from emp", 0).db_size, 5);
  EXPECT_EQ(Describe("select ename || 'xy' from emp", 0).db_type, 1);
  EXPECT_EQ(Describe("select nvl(ename, 'none') from emp", 0).db_size, 20);
  EXPECT_EQ(Describe("select decode(id, 1, 'A', 'BB') from emp", 0).db_size, 2);
  EXPECT_EQ(Describe("select max(sal) from emp", 0).precision, 0);
  EXPECT_EQ(Describe("select max(ename) from emp", 0).db_size, 20);
}

TEST_F(TranslatorTest, AliasesAreUpperCasedUnlessQuoted) {
  EXPECT_EQ(Describe("select ename nombre from emp", 0).name, "NOMBRE");
  EXPECT_EQ(Describe("select ename as \"Nombre\" from emp", 0).name, "Nombre");
  EXPECT_EQ(Describe("select e.ename from emp e", 0).name, "ENAME");
}

// ---- parse errors ----

TEST_F(TranslatorTest, SyntaxErrorsCarryOracleTexts) {
  EXPECT_EQ(Error("xyz"), "ORA-00900: invalid SQL statement");
  EXPECT_EQ(Error("select from emp"), "ORA-00936: missing expression");
  EXPECT_EQ(Error("select * from emp where"), "ORA-00936: missing expression");
  EXPECT_EQ(Error("select ename id sal from emp"),
            "ORA-00923: FROM keyword not found where expected");
  EXPECT_EQ(Error("select 'x' 'y' from emp"), "ORA-00923: FROM keyword not found where expected");
  EXPECT_EQ(Error("select * from emp x y"), "ORA-00933: SQL command not properly ended");
  EXPECT_EQ(Error("delete from emp where id = 1 b"), "ORA-00933: SQL command not properly ended");
  EXPECT_EQ(Error("insert into emp values (1, 2"), "ORA-00907: missing right parenthesis");
  EXPECT_EQ(Error("insert into emp values (1 2)"), "ORA-00917: missing comma");
  EXPECT_EQ(Error("insert into emp values ()"), "ORA-00936: missing expression");
  EXPECT_EQ(Error("insert emp values (1)"), "ORA-00925: missing INTO keyword");
  EXPECT_EQ(Error("select * from emp;"), "ORA-00911: invalid character");
  EXPECT_EQ(Error("select * from"), "ORA-00903: invalid table name");
  EXPECT_EQ(Error("update emp set ename 'x'"), "ORA-00927: missing equal sign");
  EXPECT_EQ(Error("select * from emp order ename"), "ORA-00924: missing BY keyword");
  EXPECT_EQ(Error("select 'abc from dual"), "ORA-01756: quoted string not properly terminated");
}

// A value alone where a truth value belongs: `connect by level` from dual used to run as a
// hierarchy without end, growing until memory ran out.
TEST_F(TranslatorTest, ValueStandingForAConditionIsAnInvalidRelationalOperator) {
  const std::string kError = "ORA-00920: invalid relational operator";
  EXPECT_EQ(Error("select level from dual connect by level "), kError);
  EXPECT_EQ(Error("select * from emp where 1"), kError);
  EXPECT_EQ(Error("select * from emp where id = 1 and ename"), kError);
  EXPECT_EQ(Error("select * from emp where not (id)"), kError);
  EXPECT_EQ(Error("select id from emp group by id having count(*)"), kError);
  EXPECT_EQ(Error("select * from emp a join emp b on a.id"), kError);
  EXPECT_EQ(Error("update emp set ename = 'x' where id"), kError);
  EXPECT_EQ(Error("delete from emp where null"), kError);
  EXPECT_EQ(Error("select case when id then 1 end from emp"), kError);
  // Parenthesised conditions and values stay what they are.
  EXPECT_EQ(Run("select id from emp where (id = 1) or not (id >= (2))"), Rows{"1"});
  EXPECT_EQ(Run("select level from dual connect by (level <= 3)"), (Rows{"1", "2", "3"}));
}

TEST_F(TranslatorTest, NameErrorsCarryOracleTexts) {
  EXPECT_EQ(Error("select * from nosuch"), "ORA-00942: table or view does not exist");
  EXPECT_EQ(Error("select nocol from emp"), "ORA-00904: \"NOCOL\": invalid identifier");
  EXPECT_EQ(Error("select e.nocol from emp e"), "ORA-00904: \"E\".\"NOCOL\": invalid identifier");
  EXPECT_EQ(Error("select * from emp where nocol = 1"), "ORA-00904: \"NOCOL\": invalid identifier");
  EXPECT_EQ(Error("select id from emp, dept"), "ORA-00918: column ambiguously defined");
  EXPECT_EQ(Error("select nofunc(id) from emp"), "ORA-00904: \"NOFUNC\": invalid identifier");
  EXPECT_EQ(Error("select nosuch.nextval from dual"), "ORA-02289: sequence does not exist");
  EXPECT_EQ(Error("update nosuch set a = 1"), "ORA-00942: table or view does not exist");
  EXPECT_EQ(Error("insert into emp (id, nocol) values (1, 2)"),
            "ORA-00904: \"NOCOL\": invalid identifier");
}

TEST_F(TranslatorTest, MissingTableWinsOverMissingColumn) {
  EXPECT_EQ(Error("select nocol from nosuch"), "ORA-00942: table or view does not exist");
}

TEST_F(TranslatorTest, InsertValueCountMustMatchTheColumns) {
  EXPECT_EQ(Error("insert into dept values (1, 'A', 3)"), "ORA-00913: too many values");
  EXPECT_EQ(Error("insert into dept values (1)"), "ORA-00947: not enough values");
  EXPECT_EQ(Error("insert into dept (id) values (1, 2)"), "ORA-00913: too many values");
  EXPECT_EQ(Error("insert into dept select id from emp"), "ORA-00947: not enough values");
}

TEST_F(TranslatorTest, GroupingErrors) {
  EXPECT_EQ(Error("select ename, count(*) from emp"),
            "ORA-00937: not a single-group group function");
  EXPECT_EQ(Error("select ename, count(*) from emp group by dept_id"),
            "ORA-00979: not a GROUP BY expression");
  EXPECT_EQ(Error("select * from emp where count(*) > 1"),
            "ORA-00934: group function is not allowed here");
  EXPECT_EQ(Error("select count() from emp"), "ORA-00909: invalid number of arguments");
  EXPECT_EQ(Error("select nvl(ename) from emp"), "ORA-00909: invalid number of arguments");
}

TEST_F(TranslatorTest, DmlOnAViewIsRefused) {
  EXPECT_EQ(Error("delete from v"),
            "ORA-01732: data manipulation operation not legal on this view");
}

TEST_F(TranslatorTest, DeepNestingIsRefusedNotACrash) {
  const std::string kTooDeep =
      "ORA-00600: internal error code, arguments: [statement nested too deeply]";
  auto nested = [](int levels) {
    return "select " + std::string(levels, '(') + "1" + std::string(levels, ')') + " from dual";
  };
  EXPECT_EQ(Run(nested(100)), Rows{"1"});
  EXPECT_EQ(Error(nested(100000)), kTooDeep);
  std::string chain = "select 1";
  for (int idx = 0; idx < 300; ++idx) chain += " + 1";
  EXPECT_EQ(Run(chain + " from dual"), Rows{"301"});
  for (int idx = 0; idx < 100000; ++idx) chain += " + 1";
  EXPECT_EQ(Error(chain + " from dual"), kTooDeep);
  std::string unions = "select 1 from dual";
  for (int idx = 0; idx < 100000; ++idx) unions += " union select 1 from dual";
  EXPECT_EQ(Error(unions), kTooDeep);
  std::string nots = "select 1 from dual where ";
  for (int idx = 0; idx < 100000; ++idx) nots += "not ";
  EXPECT_EQ(Error(nots + "1 = 1"), kTooDeep);
}

TEST_F(TranslatorTest, LongConcatenationsAndConditionListsRun) {
  std::string concat = "select 'a'";
  std::string conditions = "select count(*) from emp where id > 0";
  for (int idx = 0; idx < 300; ++idx) {
    concat += " || 'b'";
    conditions += " and id > 0";
  }
  EXPECT_EQ(Run(concat + " from dual"), Rows{"a" + std::string(300, 'b')});
  EXPECT_EQ(Describe(concat + " from dual", 0).db_size, 301);
  EXPECT_EQ(Run(conditions), Rows{"4"});
}

// ---- query semantics, run on SQLite with the engine's functions ----

TEST_F(TranslatorTest, SelectStarKeepsColumnOrder) {
  EXPECT_EQ(Run("select * from dept where id = 10"), Rows{"10|SALES"});
}

TEST_F(TranslatorTest, RownumLimitsRowsAsTheyPassWhere) {
  EXPECT_EQ(Run("select id from emp where rownum <= 2").size(), 2u);
  EXPECT_EQ(Run("select id from emp where rownum < 3 and id > 1"), (Rows{"2", "3"}));
  EXPECT_EQ(Run("select id from emp where rownum = 2"), Rows{});
  EXPECT_EQ(Run("select id from emp where rownum > 1"), Rows{});
  EXPECT_EQ(Run("select id from emp where rownum = 1"), Rows{"1"});
}

// A bound past any integer used to be converted with undefined behaviour.
TEST_F(TranslatorTest, RownumBoundBeyondEveryIntegerLimitsNothing) {
  const std::string huge = "19999999999999999999999999999999999999999";
  EXPECT_EQ(Run("select id from emp where rownum <= " + huge).size(), 4u);
  EXPECT_EQ(Run("select id from emp where rownum < " + huge).size(), 4u);
  EXPECT_EQ(Run("select id from emp where " + huge + " >= rownum").size(), 4u);
  Run("delete from emp where rownum <= " + huge);
  EXPECT_EQ(Run("select id from emp"), Rows{});
}

TEST_F(TranslatorTest, RownumIsAssignedBeforeOrderBy) {
  // The first three rows found (1, 2, 3), then sorted: 4 is never among them.
  EXPECT_EQ(Run("select id from emp where rownum < 4 order by id desc"), (Rows{"3", "2", "1"}));
  EXPECT_EQ(Run("select rownum, ename from emp where id > 2 order by ename"),
            (Rows{"1|EVA", "2|PEDRO"}));
}

TEST_F(TranslatorTest, TopNOverAnOrderedInlineView) {
  EXPECT_EQ(Run("select id from (select id from emp order by id desc) where rownum <= 2"),
            (Rows{"4", "3"}));
}

TEST_F(TranslatorTest, NullsSortLastAscendingFirstDescending) {
  EXPECT_EQ(Run("select id from emp order by sal"), (Rows{"3", "1", "4", "2"}));
  EXPECT_EQ(Run("select id from emp order by sal desc"), (Rows{"2", "4", "1", "3"}));
  EXPECT_EQ(Run("select id from emp order by sal nulls first"), (Rows{"2", "3", "1", "4"}));
}

TEST_F(TranslatorTest, OrderByAliasAndPosition) {
  EXPECT_EQ(Run("select ename n, id from emp order by n"),
            (Rows{"ANA|1", "EVA|3", "LUIS|2", "PEDRO|4"}));
  EXPECT_EQ(Run("select ename, id from emp order by 2 desc").front(), "PEDRO|4");
}

TEST_F(TranslatorTest, EmptyStringIsNull) {
  EXPECT_EQ(Run("select id from emp where ename = ''"), Rows{});
  Run("insert into dept values (40, '')");
  EXPECT_EQ(Run("select id from dept where name is null"), Rows{"40"});
}

TEST_F(TranslatorTest, NumbersCompareAndSortNumerically) {
  EXPECT_EQ(Run("select id from emp where sal > 900 order by sal"), (Rows{"1", "4"}));
  EXPECT_EQ(Run("select 7 / 2 from dual"), Rows{"3.5"});
  EXPECT_EQ(Run("select id from emp where sal = 1200.50"), Rows{"1"});
  EXPECT_EQ(Run("select id from emp where id = -1 + 2"), Rows{"1"});
}

TEST_F(TranslatorTest, ComputedNumbersCompareByValueEvenAsExactText) {
  // 17 digits travel as TEXT, which SQLite alone would order after every INTEGER.
  EXPECT_EQ(Run("select count(*) from dual where 12345678901234567.5 < 2"), Rows{"0"});
  EXPECT_EQ(Run("select count(*) from dual where 2 < 12345678901234567.5"), Rows{"1"});
  EXPECT_EQ(Run("select dept_id from emp group by dept_id having count(*) >= 2"), Rows{"10"});
}

TEST_F(TranslatorTest, DatesCompareWithTextInTheSessionFormat) {
  EXPECT_EQ(Run("select id from emp where hired > '01-JAN-00' order by id"), (Rows{"1", "4"}));
  EXPECT_EQ(Run("select id from emp where hired between '01-JAN-03' and '31-DEC-03'"), Rows{"1"});
}

TEST_F(TranslatorTest, CharColumnsCompareBlankPadded) {
  EXPECT_EQ(Run("select id from emp where code = 'A'"), Rows{"1"});
  EXPECT_EQ(Run("select code from emp where id = 1"), Rows{"A  "});
}

TEST_F(TranslatorTest, ConcatenationIgnoresNull) {
  EXPECT_EQ(Run("select ename || null || '!' from emp where id = 1"), Rows{"ANA!"});
}

TEST_F(TranslatorTest, LikeIsCaseSensitive) {
  ASSERT_TRUE(ExecSql(db_.get(), "PRAGMA case_sensitive_like = OFF").has_value());
  EXPECT_EQ(Run("select id from emp where ename like 'E%'"), Rows{"3"});
  EXPECT_EQ(Run("select id from emp where ename like 'e%'"), Rows{});
  EXPECT_EQ(Run("select id from emp where ename not like '%A%' order by id"), (Rows{"2", "4"}));
  EXPECT_EQ(Run("select id from emp where code like 'A'"), Rows{});
  EXPECT_EQ(Run("select id from emp where code like 'A_%'"), Rows{"1"});
}

TEST_F(TranslatorTest, LikeWildcardsOfGlobAreLiteralAndEscapeWorks) {
  Run("insert into dept values (50, 'a*b?[c]_%')");
  EXPECT_EQ(Run("select id from dept where name like 'a*b?[c]%'"), Rows{"50"});
  EXPECT_EQ(Run("select id from dept where name like 'a_b%'"), Rows{"50"});
  EXPECT_EQ(Run("select id from dept where name like '%\\_\\%' escape '\\'"), Rows{"50"});
  EXPECT_EQ(Run("select id from dept where name like '%c\\_' escape '\\'"), Rows{});
  EXPECT_EQ(Error("select id from dept where name like 'a\\b' escape '\\'"),
            "ORA-01424: missing or illegal character following the escape character");
  EXPECT_EQ(Error("select id from dept where name like 'a' escape 'xy'"),
            "ORA-01425: escape character must be character string of length 1");
}

TEST_F(TranslatorTest, GroupByWithHaving) {
  EXPECT_EQ(Run("select dept_id, count(*) from emp group by dept_id having count(*) > 1"),
            Rows{"10|2"});
  EXPECT_EQ(Run("select count(*), max(sal) from emp where id > 99"), Rows{"0|NULL"});
}

TEST_F(TranslatorTest, SetOperationsIncludeMinus) {
  EXPECT_EQ(Run("select id from dept minus select dept_id from emp"), Rows{"30"});
  EXPECT_EQ(Run("select id from dept union select dept_id from emp order by 1"),
            (Rows{"10", "20", "30", "NULL"}));
  EXPECT_EQ(Run("select id from dept intersect select dept_id from emp order by id"),
            (Rows{"10", "20"}));
}

TEST_F(TranslatorTest, JoinsAnsiAndOracleOuter) {
  EXPECT_EQ(Run("select e.ename, d.name from emp e, dept d where e.dept_id = d.id and e.id = 2"),
            Rows{"LUIS|ADMIN"});
  EXPECT_EQ(Run("select d.id, e.id from dept d left join emp e on e.dept_id = d.id "
                "where d.id = 30"),
            Rows{"30|NULL"});
  EXPECT_EQ(Run("select d.id, e.id from dept d, emp e where e.dept_id(+) = d.id and d.id = 30"),
            Rows{"30|NULL"});
  EXPECT_EQ(Run("select e.id from emp e join dept d on e.dept_id = d.id where d.name = 'ADMIN'"),
            Rows{"2"});
}

TEST_F(TranslatorTest, SubqueriesInFromWhereAndSelectList) {
  EXPECT_EQ(Run("select id from emp where dept_id in (select id from dept where name = 'ADMIN')"),
            Rows{"2"});
  EXPECT_EQ(Run("select d.id from dept d where not exists "
                "(select 1 from emp e where e.dept_id = d.id)"),
            Rows{"30"});
  EXPECT_EQ(Run("select (select count(*) from emp e where e.dept_id = d.id) from dept d "
                "where d.id = 10"),
            Rows{"2"});
  EXPECT_EQ(Run("select x.n from (select count(*) n from emp) x"), Rows{"4"});
}

TEST_F(TranslatorTest, WithTablesAreVisibleToTheQuery) {
  EXPECT_EQ(Run("with d10 as (select id from emp where dept_id = 10), "
                "n (total) as (select count(*) from d10) "
                "select x.id, total from d10 x, n order by x.id"),
            (Rows{"1|2", "3|2"}));
  EXPECT_EQ(Error("with w (a, b) as (select id from emp) select * from w"),
            "ORA-32038: number of WITH clause column names does not match number of elements "
            "in select list");
  EXPECT_EQ(Error("with w as (select id from emp) select ename from w"),
            "ORA-00904: \"ENAME\": invalid identifier");
}

TEST_F(TranslatorTest, CaseAndDecode) {
  EXPECT_EQ(Run("select case when sal > 1000 then 'high' else 'low' end from emp where id = 3"),
            Rows{"low"});
  EXPECT_EQ(Run("select decode(dept_id, 10, 'ten', 'other') from emp where id = 2"), Rows{"other"});
}

TEST_F(TranslatorTest, ForUpdateIsAcceptedAndChangesNothing) {
  EXPECT_EQ(Run("select id from dept where id = 10 for update"), Rows{"10"});
  EXPECT_EQ(Run("select d.id from dept d where id = 20 for update of d.name nowait"), Rows{"20"});
}

TEST_F(TranslatorTest, DualHasOneRow) {
  EXPECT_EQ(Run("select dummy from dual"), Rows{"X"});
  EXPECT_EQ(Run("select user from dual"), Rows{"SCOTT"});
}

// ---- DML ----

TEST_F(TranslatorTest, InsertStoresThroughTheColumnRules) {
  EXPECT_EQ(Run("insert into emp (id, sal, code) values (9, 2.345, 'Z')"), Rows{});
  EXPECT_EQ(Run("select sal, code, ename from emp where id = 9"), Rows{"2.35|Z  |NULL"});
  EXPECT_EQ(Run("insert into emp (id, sal) values (10, 1234567.891)"),
            Rows{"ORA-01438: value larger than specified precision allowed for this column"});
  EXPECT_EQ(Run("insert into emp (id, code) values (11, 'ABCD')"),
            Rows{"ORA-12899: value too large for column \"SCOTT\".\"EMP\".\"CODE\" "
                 "(actual: 4, maximum: 3)"});
}

TEST_F(TranslatorTest, InsertSelectCopiesRows) {
  Run("insert into dept (name, id) select ename, id + 100 from emp where id < 3");
  EXPECT_EQ(Run("select id, name from dept where id > 100 order by id"),
            (Rows{"101|ANA", "102|LUIS"}));
}

TEST_F(TranslatorTest, UpdateWithAliasAndCorrelatedSubquery) {
  Run("update emp e set sal = (select count(*) from emp x where x.dept_id = e.dept_id) "
      "where e.dept_id = 10");
  EXPECT_EQ(Run("select id, sal from emp where dept_id = 10 order by id"), (Rows{"1|2", "3|2"}));
  auto translation = Translate("update emp set sal = sal * 2 where id = 1");
  ASSERT_TRUE(translation.has_value());
  EXPECT_EQ(translation->function_type, db::kFunctionUpdate);
  EXPECT_EQ(translation->target_table, "EMP");
}

TEST_F(TranslatorTest, RownumInUpdateNumbersTheRowsAndIsOneInValues) {
  Run("update emp set sal = rownum * 10 where id > 1");
  EXPECT_EQ(Run("select id, sal from emp order by id"), (Rows{"1|1200.5", "2|10", "3|20", "4|30"}));
  Run("insert into dept values (rownum + 40, 'X')");
  EXPECT_EQ(Run("select id from dept where name = 'X'"), Rows{"41"});
  EXPECT_EQ(Error("select dept_id from emp group by dept_id having rownum > 1"),
            "ORA-03001: unimplemented feature");
}

TEST_F(TranslatorTest, DeleteHonoursRownum) {
  Run("delete from emp where rownum <= 1");
  EXPECT_EQ(Run("select count(*) from emp"), Rows{"3"});
  Run("delete emp where dept_id = 10");
  EXPECT_EQ(Run("select id from emp order by id"), (Rows{"2", "4"}));
}

// ---- shape cache ----

TEST_F(TranslatorTest, RepeatedInsertShapeIsServedFromTheCache) {
  Translator translator;
  auto first = translator.Translate("insert into dept values (50, 'X')", schema_);
  auto second = translator.Translate("INSERT INTO dept VALUES (51, 'it''s')", schema_);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_FALSE(first->from_cache);
  EXPECT_TRUE(second->from_cache);
  EXPECT_EQ(first->sql, second->sql);
  ASSERT_EQ(second->parameters.size(), 2u);
  EXPECT_EQ(second->parameters[0].integer, 51);
  EXPECT_EQ(second->parameters[1].text, "it's");
}

std::string Shown(const BindValue& value) {
  switch (value.kind) {
    case BindValue::Kind::kNull:
      return fmt::format("null [{} {} '{}']", value.integer, value.real, value.text);
    case BindValue::Kind::kInteger:
      return fmt::format("int {} [{} '{}']", value.integer, value.real, value.text);
    case BindValue::Kind::kReal:
      return fmt::format("real {:.17g} [{} '{}']", value.real, value.integer, value.text);
    case BindValue::Kind::kText:
      return fmt::format("text '{}' [{} {}]", value.text, value.integer, value.real);
  }
  return "?";
}

TEST_F(TranslatorTest, TranslatingIntoTheLastTranslationGivesWhatAFreshOneGives) {
  // One Translation reused from statement to statement, shapes alternating and every kind of
  // literal in turn: each result must be the uncached translation of its statement.
  const std::vector<std::string> statements = {
      "insert into emp (id, sal, ename) values (7, 1.01, 'A')",
      "insert into emp (id, sal, ename) values (007, -2.50, 'it''s')",
      "insert into emp (id, sal, ename) values (-3, 1.10, '')",
      "select ename from emp where id = 4 and ename like 'A%'",
      "insert into emp (id, sal, ename) values (123456789012345678, .5, 'B')",
      "insert into emp (id, sal, ename) values (1234567890123456789, 1e3, 'x''')",
      "select ename from emp where id = 5 and ename like 'B_'",
      "insert into emp (id, sal, ename) values (99999999999999999999, 12345678901234567.25, 'C')",
      "insert into emp (id, sal, ename) values (0, -0.001, 'D')",
      "insert into emp (id, sal, ename) values (-0, 123456789012.345, '''')",
      "insert into emp (id, sal, ename) values (1, 0.0, ' ')",
      "insert into emp (id, sal, ename) values (2, 1234567890123.456, 'E')",
  };
  Translator translator;
  Translation reused;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& sql : statements) {
      SCOPED_TRACE(sql);
      auto fresh = engine::Translate(sql, schema_);
      ASSERT_TRUE(fresh.has_value()) << fresh.error().message;
      ASSERT_TRUE(translator.TranslateInto(sql, schema_, &reused).has_value());
      EXPECT_EQ(reused.sql, fresh->sql);
      EXPECT_EQ(reused.function_type, fresh->function_type);
      EXPECT_EQ(reused.columns.size(), fresh->columns.size());
      EXPECT_EQ(reused.target_table, fresh->target_table);
      ASSERT_EQ(reused.parameters.size(), fresh->parameters.size());
      for (std::size_t idx = 0; idx < reused.parameters.size(); ++idx) {
        EXPECT_EQ(Shown(reused.parameters[idx]), Shown(fresh->parameters[idx])) << "?" << idx + 1;
      }
    }
  }
  EXPECT_TRUE(reused.from_cache);
}

TEST_F(TranslatorTest, CachedShapeBindsNegativeAndEmptyLiterals) {
  Run("insert into emp (id, sal, ename) values (20, 1, 'A')");
  Run("insert into emp (id, sal, ename) values (21, -7.5, '')");
  EXPECT_EQ(Run("select sal, ename from emp where id = 21"), Rows{"-7.5|NULL"});
}

TEST_F(TranslatorTest, BigNumbersTravelAsExactText) {
  auto translation = Translate("insert into stats (num_rows) values (12345678901234567.25)");
  ASSERT_TRUE(translation.has_value());
  ASSERT_EQ(translation->parameters.size(), 1u);
  EXPECT_EQ(translation->parameters[0].kind, BindValue::Kind::kText);
  EXPECT_EQ(translation->parameters[0].text, "12345678901234567.25");
}

TEST_F(TranslatorTest, SelectListLiteralsArePartOfTheShape) {
  EXPECT_EQ(Describe("select 'A' from dual", 0).db_size, 1);
  auto second = Translate("select 'BB' from dual");
  ASSERT_TRUE(second.has_value());
  EXPECT_FALSE(second->from_cache);
  EXPECT_EQ(second->columns[0].db_size, 2);
  EXPECT_EQ(second->columns[0].name, "'BB'");
}

TEST_F(TranslatorTest, RownumBoundIsPartOfTheShape) {
  EXPECT_EQ(Run("select id from emp where rownum <= 1").size(), 1u);
  EXPECT_EQ(Run("select id from emp where rownum <= 3").size(), 3u);
}

TEST_F(TranslatorTest, ForgettingShapesSeesSchemaChanges) {
  ASSERT_TRUE(Translate("select * from dept").has_value());
  schema_.tables_["DEPT"].columns.push_back({"LOC", Text(TypeKind::kVarchar2, 5), true});
  EXPECT_EQ(Translate("select * from dept")->columns.size(), 2u);
  translator_.ForgetShapes();
  EXPECT_EQ(translator_.cached_shapes(), 0u);
  EXPECT_EQ(Translate("select * from dept")->columns.size(), 3u);
}

TEST_F(TranslatorTest, ErrorsAreNotCached) {
  Translator translator;
  EXPECT_FALSE(translator.Translate("insert into dept values (1, 2, 3)", schema_).has_value());
  EXPECT_EQ(translator.cached_shapes(), 0u);
  EXPECT_TRUE(translator.Translate("insert into dept values (1, 2)", schema_).has_value());
  EXPECT_EQ(translator.cached_shapes(), 1u);
}

TEST_F(TranslatorTest, CacheKeepsTheMostRecentShapes) {
  Translator translator(2);
  ASSERT_TRUE(translator.Translate("select id from dept", schema_).has_value());
  ASSERT_TRUE(translator.Translate("select name from dept", schema_).has_value());
  ASSERT_TRUE(translator.Translate("select id from dept", schema_).has_value());
  ASSERT_TRUE(translator.Translate("select id, name from dept", schema_).has_value());
  EXPECT_EQ(translator.cached_shapes(), 2u);
  EXPECT_TRUE(translator.Translate("select id from dept", schema_)->from_cache);
  EXPECT_FALSE(translator.Translate("select name from dept", schema_)->from_cache);
}

TEST_F(TranslatorTest, InlineLiteralsLeaveNoParameters) {
  TranslateOptions options;
  options.inline_literals = true;
  auto translation = translator_.Translate("select name from dept where id = 10 and name <> 'x'",
                                           schema_, options);
  ASSERT_TRUE(translation.has_value());
  EXPECT_TRUE(translation->parameters.empty());
  EXPECT_EQ(translation->sql.find('?'), std::string::npos);
}

// ---- random statements ----

// Statements put together at random from pieces of the grammar: each either fails with an
// Oracle error, or translates to SQL that SQLite accepts. A translation SQLite refuses would
// surface as an internal error at parse; a crash here is a fault of the parser or emitter.
TEST_F(TranslatorTest, RandomStatementsTranslateToSqlSqliteAccepts) {
  const std::vector<std::string> values = {"id",
                                           "e.id",
                                           "ename",
                                           "sal",
                                           "hired",
                                           "code",
                                           "1",
                                           "-2.5",
                                           "'x'",
                                           "''",
                                           "null",
                                           "sysdate",
                                           "rownum",
                                           "user",
                                           "count(*)",
                                           "max(sal)",
                                           "nvl(sal, 0)",
                                           "substr(ename, 1, 2)",
                                           "(select max(id) from dept)",
                                           "decode(id, 1, 'a', 'b')",
                                           "sal * 2",
                                           "ename || 'x'",
                                           "hired + 1",
                                           "to_char(hired, 'YYYY')",
                                           "case when id > 1 then 1 else 0 end",
                                           "e.*",
                                           "*"};
  const std::vector<std::string> conditions = {
      "id = 1",
      "sal > 100",
      "ename like 'A%'",
      "hired < '01-JAN-2000'",
      "code is null",
      "id in (1, 2)",
      "id between 1 and 3",
      "rownum <= 2",
      "rownum = 1 or id = 2",
      "exists (select 1 from dept d where d.id = e.dept_id)",
      "not id = 3",
      "dept_id in (select id from dept)",
      "e.dept_id = d.id(+)",
      "sal <> '12'"};
  const std::vector<std::string> tails = {"",
                                          " order by 1",
                                          " order by sal desc",
                                          " group by dept_id",
                                          " group by dept_id having count(*) > 1",
                                          " union select id from dept",
                                          " minus select 1 from dual",
                                          " order by ename nulls first",
                                          " x"};
  std::mt19937 random(20251208);
  auto pick = [&](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  int translated = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string sql;
    switch (round % 4) {
      case 0:
      case 1: {
        sql = "select " + pick(values);
        if (random() % 2) sql += ", " + pick(values);
        sql += random() % 3 == 0 ? " from emp e, dept d" : " from emp e";
        if (random() % 3 != 0) sql += " where " + pick(conditions);
        if (random() % 2) sql += " and " + pick(conditions);
        sql += pick(tails);
        break;
      }
      case 2:
        sql = "update emp e set sal = " + pick(values) + " where " + pick(conditions);
        break;
      case 3:
        sql = "insert into emp (id, ename) values (" + pick(values) + ", " + pick(values) + ")";
        break;
    }
    auto translation = Translate(sql);
    if (!translation) {
      EXPECT_EQ(translation.error().message.rfind("ORA-", 0), 0u) << sql;
      continue;
    }
    ++translated;
    auto stmt = SqliteStatement::Prepare(db_.get(), translation->sql);
    EXPECT_TRUE(stmt.has_value()) << sql << "\n"
                                  << translation->sql << "\n"
                                  << (stmt ? "" : stmt.error().message);
  }
  EXPECT_GT(translated, 1000);
}

}  // namespace
}  // namespace volmek::engine
