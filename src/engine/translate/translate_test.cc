#include "engine/translate/translator_fixture.h"

namespace volmek::engine {
namespace {

using namespace translate_testing;

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

TEST_F(TranslatorTest, ConcatenationOfAnyLengthIsOneFlatChain) {
  // The bug: 200 pieces or more, as backup writes a text of many line ends, were refused as
  // nested too deeply.
  std::string pieces = "'a'";
  // 3,999 pieces: a longer result is ORA-01489, as a VARCHAR2 holds 4000 bytes.
  for (int idx = 0; idx < 1999; ++idx) pieces += " || chr(10) || 'a'";
  EXPECT_EQ(Run("select length(" + pieces + ") from dual"), Rows{"3999"});
  EXPECT_EQ(Describe("select " + pieces + " from dual", 0).db_size, 3999);
  // Parentheses and other operators in the run keep their meaning.
  EXPECT_EQ(Run("select 'x' || (1 + 2) || 'y' || ('p' || 'q') || 3 from dual"), Rows{"x3ypq3"});
  EXPECT_EQ(Run("select 1 || 2 + 3 || 4 from dual"), Rows{"154"});
  EXPECT_EQ(Run("select 5 || 1 - 1 from dual"), Rows{"50"});
  EXPECT_EQ(Run("select 10 - (4 - 1), 12 / (6 / 2) from dual"), Rows{"7|4"});
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

}  // namespace
}  // namespace volmek::engine
