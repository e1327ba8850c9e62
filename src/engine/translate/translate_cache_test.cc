// The shape cache: a statement of the same shape reuses its translation with new literals.
#include "engine/translate/translator_fixture.h"

namespace volmek::engine {
namespace {

using namespace translate_testing;

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
