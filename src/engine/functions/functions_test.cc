#include "engine/functions/functions.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <charconv>
#include <memory>
#include <string>

namespace volmek::engine {
namespace {

class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    db_.reset(raw);
    settings_.fixed_sysdate = Date{2025, 12, 8, 10, 30, 0};
    ASSERT_TRUE(RegisterFunctions(db_.get(), &settings_).ok());
  }

  // The value of `expression` as text: "NULL", the digits of an INTEGER, the shortest text of a
  // REAL marked "r:", a TEXT as it is; or the error message.
  std::string Eval(const std::string& expression) {
    std::string sql = "select " + expression;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      return std::string("prepare: ") + sqlite3_errmsg(db_.get());
    }
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, sqlite3_finalize);
    int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW) return sqlite3_errmsg(db_.get());
    switch (sqlite3_column_type(stmt.get(), 0)) {
      case SQLITE_NULL:
        return "NULL";
      case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(stmt.get(), 0));
      case SQLITE_FLOAT: {
        char buffer[64];
        auto end =
            std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_double(stmt.get(), 0)).ptr;
        return "r:" + std::string(buffer, end);
      }
      default:
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0)),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt.get(), 0)));
    }
  }

  void Exec(const std::string& sql) {
    char* error = nullptr;
    int rc = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
  }

  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db_{nullptr, sqlite3_close};
  SessionSettings settings_;
};

TEST_F(Functions, ArithmeticIsExactDecimal) {
  EXPECT_EQ(Eval("vk_add(0.1, 0.2)"), "r:0.3");
  EXPECT_EQ(Eval("vk_add(0.1, 0.2) = 0.3"), "1");
  EXPECT_EQ(Eval("vk_div(7, 2)"), "r:3.5");
  EXPECT_EQ(Eval("vk_div(6, 2)"), "3");
  EXPECT_EQ(Eval("vk_div(1, 3)"), "0." + std::string(40, '3'));
  EXPECT_EQ(Eval("vk_mul('12345678901234567890', '10')"), "123456789012345678900");
  EXPECT_EQ(Eval("vk_sub('0.3', 0.1)"), "r:0.2");
  EXPECT_EQ(Eval("vk_neg('-5')"), "5");
  EXPECT_EQ(Eval("vk_add(9223372036854775807, 1)"), "9223372036854775808");
}

TEST_F(Functions, CmpComparesComputedNumbersByValue) {
  // 1/3 travels as TEXT, which SQLite's own < would put after the INTEGER 1.
  EXPECT_EQ(Eval("vk_div(1, 3) < 1"), "0");
  EXPECT_EQ(Eval("vk_cmp(vk_div(1, 3), 1)"), "-1");
  EXPECT_EQ(Eval("vk_cmp('12345678901234567890.5', 12345678901234567890)"), "1");
  EXPECT_EQ(Eval("vk_cmp(0.3, vk_add(0.1, 0.2))"), "0");
  EXPECT_EQ(Eval("vk_cmp(NULL, 1)"), "NULL");
  EXPECT_EQ(Eval("vk_cmp('x', 1)"), "ORA-01722: invalid number");
}

TEST_F(Functions, NumtextSortsMixedComputedNumbersByValue) {
  Exec(
      "create table m (a text collate VKNUM, b text collate VKNUM);"
      "insert into m values ('5', '1'), ('1', '3'), ('5', '2'), (NULL, '1');");
  // 5/1 INTEGER, 1/3 TEXT, 5/2 REAL: SQLite alone would put 1/3 last.
  EXPECT_EQ(Eval("group_concat(a, ',') from (select a from m order by vk_div(a, b))"), "5,5,1");
  EXPECT_EQ(Eval("group_concat(b, ',') from (select b from m where a is not null "
                 "order by vk_numtext(vk_div(a, b)) collate VKNUM)"),
            "3,2,1");
  EXPECT_EQ(Eval("vk_numtext(0.5)"), "0.5");
  EXPECT_EQ(Eval("vk_numtext(NULL)"), "NULL");
  EXPECT_EQ(Eval("vk_numtext('x')"), "ORA-01722: invalid number");
}

TEST_F(Functions, ArithmeticErrorsAndNulls) {
  EXPECT_EQ(Eval("vk_div(1, 0)"), "ORA-01476: divisor is equal to zero");
  EXPECT_EQ(Eval("vk_add('X', 1)"), "ORA-01722: invalid number");
  EXPECT_EQ(Eval("vk_add(NULL, 1)"), "NULL");
  EXPECT_EQ(Eval("vk_mul('', 1)"), "NULL");
  EXPECT_EQ(Eval("vk_add(x'00ff', 1)"), "ORA-01722: invalid number");
}

TEST_F(Functions, ConcatenationIgnoresNull) {
  EXPECT_EQ(Eval("vk_concat('A', NULL)"), "A");
  EXPECT_EQ(Eval("vk_concat(NULL, NULL)"), "NULL");
  EXPECT_EQ(Eval("vk_concat('', '')"), "NULL");
  EXPECT_EQ(Eval("vk_concat('N=', 0.5)"), "N=.5");
  EXPECT_EQ(Eval("vk_concat('D=', vk_sysdate())"), "D=08-DEC-25");
  EXPECT_EQ(Eval("concat('a', 'b')"), "ab");
}

TEST_F(Functions, NvlNvl2Decode) {
  EXPECT_EQ(Eval("nvl('', 'X')"), "X");
  EXPECT_EQ(Eval("nvl(NULL, 5)"), "5");
  EXPECT_EQ(Eval("nvl('A', 'X')"), "A");
  EXPECT_EQ(Eval("nvl2(NULL, 'y', 'n')"), "n");
  EXPECT_EQ(Eval("coalesce('', NULL, 'z', 'w')"), "z");
  EXPECT_EQ(Eval("coalesce(NULL, '')"), "NULL");
  EXPECT_EQ(Eval("coalesce(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 10)"), "10");
  EXPECT_EQ(Eval("decode(10, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 10, 'ten')"), "ten");
  EXPECT_EQ(Eval("nvl2(1, 'y', 'n')"), "y");
  EXPECT_EQ(Eval("decode(NULL, NULL, 'Y', 'N')"), "Y");
  EXPECT_EQ(Eval("decode(2, 1, 'one', 2, 'two', 'other')"), "two");
  EXPECT_EQ(Eval("decode(3, 1, 'one', 2, 'two', 'other')"), "other");
  EXPECT_EQ(Eval("decode(3, 1, 'one')"), "NULL");
  EXPECT_EQ(Eval("decode('2.0', 2, 'numeric')"), "numeric");
  EXPECT_EQ(Eval("decode('a', 'A', 'x', 'y')"), "y");
  EXPECT_EQ(Eval("decode(1, 2)"), "ORA-00909: invalid number of arguments");
  EXPECT_EQ(Eval("nvl(1)"), "ORA-00909: invalid number of arguments");
  EXPECT_EQ(Eval("substr('a', 1, 2, 3)"), "ORA-00909: invalid number of arguments");
}

TEST_F(Functions, SubstrCountsFromOneZeroAndFromTheEnd) {
  EXPECT_EQ(Eval("substr('ABCDEF', 2, 3)"), "BCD");
  EXPECT_EQ(Eval("substr('ABCDEF', 0, 2)"), "AB");
  EXPECT_EQ(Eval("substr('ABCDEF', -2)"), "EF");
  EXPECT_EQ(Eval("substr('ABCDEF', -3, 2)"), "DE");
  EXPECT_EQ(Eval("substr('AB', 5)"), "NULL");
  EXPECT_EQ(Eval("substr('AB', -5)"), "NULL");
  EXPECT_EQ(Eval("substr('AB', 1, 0)"), "NULL");
  EXPECT_EQ(Eval("substr('AB', 1, -1)"), "NULL");
  EXPECT_EQ(Eval("substr('ABCDEF', 2.9, 1.9)"), "B");
  EXPECT_EQ(Eval("substr('ABC', 1, 1e30)"), "ABC");
  EXPECT_EQ(Eval("substr('ABC', -1e30)"), "NULL");
  EXPECT_EQ(Eval("substr(12345, 2, 2)"), "23");
  EXPECT_EQ(Eval("substr('ñandú', 2, 3)"), "and");
  EXPECT_EQ(Eval("substr('ñandú', -1)"), "ú");
  EXPECT_EQ(Eval("substr(NULL, 1)"), "NULL");
  EXPECT_EQ(Eval("substr('ABC', 'x')"), "ORA-01722: invalid number");
}

TEST_F(Functions, InstrIsZeroWhenNotFound) {
  EXPECT_EQ(Eval("instr('CORPORATE FLOOR', 'OR')"), "2");
  EXPECT_EQ(Eval("instr('CORPORATE FLOOR', 'OR', 3, 2)"), "14");
  EXPECT_EQ(Eval("instr('CORPORATE FLOOR', 'OR', -3, 2)"), "2");
  EXPECT_EQ(Eval("instr('ABC', 'X')"), "0");
  EXPECT_EQ(Eval("instr('ABC', 'A', 0)"), "0");
  EXPECT_EQ(Eval("instr('AAA', 'AA', 1, 2)"), "2");
  EXPECT_EQ(Eval("instr('ABC', 'C', 10)"), "0");
  EXPECT_EQ(Eval("instr('ABC', 'A', -10)"), "0");
  EXPECT_EQ(Eval("instr('ABC', 'A', 1, 0)"), "ORA-01428: argument '0' is out of range");
  EXPECT_EQ(Eval("instr('ABC', '')"), "NULL");
  EXPECT_EQ(Eval("instr('ñandú', 'ú')"), "5");
}

TEST_F(Functions, CaseLengthTrimPad) {
  EXPECT_EQ(Eval("upper('abc Ñ')"), "ABC Ñ");
  EXPECT_EQ(Eval("lower('ABC')"), "abc");
  EXPECT_EQ(Eval("initcap('the SOUTH-west wind')"), "The South-West Wind");
  EXPECT_EQ(Eval("length('ABC  ')"), "5");
  EXPECT_EQ(Eval("length('')"), "NULL");
  EXPECT_EQ(Eval("length('ñandú')"), "5");
  EXPECT_EQ(Eval("length(0.5)"), "2");
  EXPECT_EQ(Eval("rtrim('   ')"), "NULL");
  EXPECT_EQ(Eval("rtrim('AB  ')"), "AB");
  EXPECT_EQ(Eval("ltrim('xxAByx', 'xy')"), "AByx");
  EXPECT_EQ(Eval("rtrim('xxAByx', 'xy')"), "xxAB");
  EXPECT_EQ(Eval("trim('  A B  ')"), "A B");
  EXPECT_EQ(Eval("trim(' ')"), "NULL");
  EXPECT_EQ(Eval("vk_trim('LEADING', '0', '00100')"), "100");
  EXPECT_EQ(Eval("vk_trim('TRAILING', '0', '00100')"), "001");
  EXPECT_EQ(Eval("vk_trim('BOTH', '0', '00100')"), "1");
  EXPECT_EQ(Eval("vk_trim('BOTH', 'ab', 'abc')"),
            "ORA-30001: trim set should have only one character");
  EXPECT_EQ(Eval("lpad('7', 3, '0')"), "007");
  EXPECT_EQ(Eval("lpad('ABC', 5)"), "  ABC");
  EXPECT_EQ(Eval("rpad('ABC', 6, 'xy')"), "ABCxyx");
  EXPECT_EQ(Eval("lpad('ABCDEF', 3)"), "ABC");
  EXPECT_EQ(Eval("rpad('ñandú', 2)"), "ña");
  EXPECT_EQ(Eval("lpad('A', 0)"), "NULL");
  EXPECT_EQ(Eval("lpad('A', 5, '')"), "NULL");
  EXPECT_EQ(Eval("lpad('A', 1e15)"), "string or blob too big");
}

TEST_F(Functions, ReplaceTranslateChrAscii) {
  EXPECT_EQ(Eval("replace('JACK and JUE', 'J', 'BL')"), "BLACK and BLUE");
  EXPECT_EQ(Eval("replace('ABCA', 'A')"), "BC");
  EXPECT_EQ(Eval("replace('A', 'A')"), "NULL");
  EXPECT_EQ(Eval("replace('ABC', '')"), "ABC");
  EXPECT_EQ(Eval("replace('ABC', NULL, 'x')"), "ABC");
  EXPECT_EQ(Eval("translate('2KRW229', '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ', "
                 "'9999999999XXXXXXXXXXXXXXXXXXXXXXXXXX')"),
            "9XXX999");
  EXPECT_EQ(Eval("translate('abc', 'ab', 'x')"), "xc");
  EXPECT_EQ(Eval("chr(65)"), "A");
  EXPECT_EQ(Eval("ascii('A')"), "65");
  EXPECT_EQ(Eval("chr(-1)"), "ORA-01428: argument '-1' is out of range");
}

TEST_F(Functions, ToCharOfNumbersAndDates) {
  EXPECT_EQ(Eval("to_char(12.5, '999.99')"), "  12.50");
  EXPECT_EQ(Eval("to_char(5, '0009')"), " 0005");
  EXPECT_EQ(Eval("to_char(0.5)"), ".5");
  EXPECT_EQ(Eval("to_char('12.50', 'FM99.99')"), "12.5");
  EXPECT_EQ(Eval("to_char('2003-11-15 14:05:09', 'YYYY-MM-DD HH24:MI:SS')"), "2003-11-15 14:05:09");
  EXPECT_EQ(Eval("to_char(vk_sysdate())"), "08-DEC-25");
  EXPECT_EQ(Eval("to_char('abc')"), "abc");
  EXPECT_EQ(Eval("to_char('abc', '999')"), "ORA-01722: invalid number");
  EXPECT_EQ(Eval("to_char(1, 'xyz')"), "ORA-01481: invalid number format model");
  EXPECT_EQ(Eval("to_char(NULL, '999')"), "NULL");
  EXPECT_EQ(Eval("to_char(1, NULL)"), "NULL");
}

TEST_F(Functions, ToCharFollowsTheSessionDateFormat) {
  settings_.nls_date_format = "YYYY-MM-DD";
  EXPECT_EQ(Eval("to_char(vk_sysdate())"), "2025-12-08");
  EXPECT_EQ(Eval("to_date('2003-11-15')"), "2003-11-15 00:00:00");
}

TEST_F(Functions, VsizeGivesOraclesInternalSizes) {
  EXPECT_EQ(Eval("vsize(0)"), "1");
  EXPECT_EQ(Eval("vsize(1)"), "2");
  EXPECT_EQ(Eval("vsize(-1)"), "3");
  EXPECT_EQ(Eval("vsize(100)"), "2");
  EXPECT_EQ(Eval("vsize(123)"), "3");
  EXPECT_EQ(Eval("vsize(0.5)"), "2");
  EXPECT_EQ(Eval("vsize('12345')"), "4");
  EXPECT_EQ(Eval("vsize('ABC')"), "3");
  EXPECT_EQ(Eval("vsize(vk_sysdate())"), "7");
  EXPECT_EQ(Eval("vsize('')"), "NULL");
}

TEST_F(Functions, NlsParametersOfConversionsAreAccepted) {
  EXPECT_EQ(Eval("to_char(1.5, '9.9', 'NLS_NUMERIC_CHARACTERS=''.,''')"), " 1.5");
  EXPECT_EQ(Eval("to_date('15-NOV-03', 'DD-MON-YY', 'NLS_DATE_LANGUAGE=AMERICAN')"),
            "2003-11-15 00:00:00");
  EXPECT_EQ(Eval("to_number('1.5', '9.9', 'NLS_NUMERIC_CHARACTERS=''.,''')"), "r:1.5");
}

TEST_F(Functions, ToNumberAndToDate) {
  EXPECT_EQ(Eval("to_number('12.5')"), "r:12.5");
  EXPECT_EQ(Eval("to_number(' 42 ')"), "42");
  EXPECT_EQ(Eval("to_number('1,5')"), "ORA-01722: invalid number");
  EXPECT_EQ(Eval("to_number('1,234.5', '9,999.9')"), "r:1234.5");
  EXPECT_EQ(Eval("to_number('')"), "NULL");
  EXPECT_EQ(Eval("to_date('15-NOV-03')"), "2003-11-15 00:00:00");
  EXPECT_EQ(Eval("to_date('15/11/2003 10:20', 'DD/MM/YYYY HH24:MI')"), "2003-11-15 10:20:00");
  EXPECT_EQ(Eval("to_date(20031115, 'YYYYMMDD')"), "2003-11-15 00:00:00");
  EXPECT_EQ(Eval("to_date('2003-11-15', 'DD-MON-YY')"),
            "ORA-01861: literal does not match format string");
  // Text only: a date travels as text of another shape, which the model must read whole.
  EXPECT_EQ(Eval("to_date('2003-11-15 10:20:00', 'YYYY-MM-DD')"),
            "ORA-01830: date format picture ends before converting entire input string");
  EXPECT_EQ(Eval("to_date(vk_sysdate())"), "ORA-01861: literal does not match format string");
  EXPECT_EQ(Eval("to_date('', 'YYYY')"), "NULL");
}

TEST_F(Functions, RoundTruncModAndFriends) {
  EXPECT_EQ(Eval("round(2.5)"), "3");
  EXPECT_EQ(Eval("round(-2.5)"), "-3");
  EXPECT_EQ(Eval("round(2.345, 2)"), "r:2.35");
  EXPECT_EQ(Eval("round(1250, -2)"), "1300");
  EXPECT_EQ(Eval("trunc(2.99)"), "2");
  EXPECT_EQ(Eval("trunc(-2.99)"), "-2");
  EXPECT_EQ(Eval("trunc(15.79, 1)"), "r:15.7");
  EXPECT_EQ(Eval("round(1, NULL)"), "NULL");
  EXPECT_EQ(Eval("round('x')"), "ORA-01722: invalid number");
  EXPECT_EQ(Eval("mod(11, 4)"), "3");
  EXPECT_EQ(Eval("mod(11, 0)"), "11");
  EXPECT_EQ(Eval("mod(-11, 4)"), "-3");
  EXPECT_EQ(Eval("abs(-3.5)"), "r:3.5");
  EXPECT_EQ(Eval("sign(-3.5)"), "-1");
  EXPECT_EQ(Eval("ceil(2.1)"), "3");
  EXPECT_EQ(Eval("floor(-2.1)"), "-3");
  EXPECT_EQ(Eval("power(2, 10)"), "1024");
  EXPECT_EQ(Eval("sqrt(16)"), "4");
  EXPECT_EQ(Eval("sqrt(-1)"), "ORA-01428: argument '-1' is out of range");
  EXPECT_EQ(Eval("greatest(1, 3, 2)"), "3");
  EXPECT_EQ(Eval("least('10', '9')"), "9");
  EXPECT_EQ(Eval("greatest('b', 'a')"), "b");
  EXPECT_EQ(Eval("greatest(1, NULL)"), "NULL");
  EXPECT_EQ(Eval("ln(0)"), "ORA-01428: argument '0' is out of range");
}

TEST_F(Functions, DateFunctions) {
  EXPECT_EQ(Eval("vk_sysdate()"), "2025-12-08 10:30:00");
  EXPECT_EQ(Eval("vk_date_add(vk_sysdate(), 1)"), "2025-12-09 10:30:00");
  EXPECT_EQ(Eval("vk_date_add(vk_div(1, 24), vk_sysdate())"), "2025-12-08 11:30:00");
  EXPECT_EQ(Eval("vk_date_sub(vk_sysdate(), 0.5)"), "2025-12-07 22:30:00");
  EXPECT_EQ(Eval("vk_date_sub(vk_sysdate(), '2025-12-07 10:30:00')"), "1");
  EXPECT_EQ(Eval("vk_date_diff('2025-12-08 00:00:00', '2025-12-09 12:00:00')"), "r:-1.5");
  EXPECT_EQ(Eval("vk_date_add(vk_sysdate(), vk_sysdate())"), "ORA-00975: date + date not allowed");
  EXPECT_EQ(Eval("vk_date_add('9999-12-31 00:00:00', 1)"),
            "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
  EXPECT_EQ(Eval("vk_date_add('01-JAN-03', 1)"), "2003-01-02 00:00:00");
  EXPECT_EQ(Eval("add_months('2003-01-31 00:00:00', 1)"), "2003-02-28 00:00:00");
  EXPECT_EQ(Eval("months_between('2003-03-15 00:00:00', '2003-01-15 00:00:00')"), "2");
  EXPECT_EQ(Eval("last_day('2004-02-10 00:00:00')"), "2004-02-29 00:00:00");
  EXPECT_EQ(Eval("next_day(vk_sysdate(), 'FRIDAY')"), "2025-12-12 10:30:00");
  EXPECT_EQ(Eval("trunc(vk_sysdate())"), "2025-12-08 00:00:00");
  EXPECT_EQ(Eval("trunc(vk_sysdate(), 'MM')"), "2025-12-01 00:00:00");
  EXPECT_EQ(Eval("round(vk_sysdate(), 'YYYY')"), "2026-01-01 00:00:00");
  EXPECT_EQ(Eval("add_months(5, 1)"),
            "ORA-00932: inconsistent datatypes: expected DATE got NUMBER");
  EXPECT_EQ(Eval("add_months('not a date', 1)"),
            "ORA-01858: a non-numeric character was found where a numeric was expected");
}

TEST_F(Functions, StoreCoercesOnWrite) {
  EXPECT_EQ(Eval("vk_store(2.345, 2, 22, 5, 2, 'S', 'T', 'C')"), "2.35");
  EXPECT_EQ(Eval("vk_store('AB', 96, 4, NULL, NULL, 'S', 'T', 'C')"), "AB  ");
  EXPECT_EQ(Eval("vk_store('ABCDE', 1, 3, NULL, NULL, 'S', 'T', 'C')"),
            "ORA-12899: value too large for column \"S\".\"T\".\"C\" (actual: 5, maximum: 3)");
  EXPECT_EQ(Eval("vk_store('', 1, 3, NULL, NULL, 'S', 'T', 'C')"), "NULL");
  EXPECT_EQ(Eval("vk_store(1000, 2, 22, 3, 0, 'S', 'T', 'C')"),
            "ORA-01438: value larger than specified precision allowed for this column");
}

TEST_F(Functions, SumAndAvgAreExactAndNullOverNoRows) {
  Exec(
      "create table t (n text collate VKNUM);"
      "insert into t values ('0.1'), ('0.2'), (NULL), ('0.3');");
  EXPECT_EQ(Eval("sum(n) from t"), "r:0.6");
  EXPECT_EQ(Eval("avg(n) from t"), "r:0.2");
  EXPECT_EQ(Eval("count(n) from t"), "3");
  EXPECT_EQ(Eval("max(n) from t"), "0.3");
  EXPECT_EQ(Eval("sum(n) from t where n > 5"), "NULL");
  EXPECT_EQ(Eval("avg(n) from t where n > 5"), "NULL");
  Exec("insert into t values ('x')");
  EXPECT_EQ(Eval("sum(n) from t"), "ORA-01722: invalid number");
}

TEST_F(Functions, SumOfLargeValuesKeepsEveryDigit) {
  Exec(
      "create table big (n text collate VKNUM);"
      "insert into big values ('12345678901234567890.5'), ('1');");
  EXPECT_EQ(Eval("sum(n) from big"), "12345678901234567891.5");
}

}  // namespace
}  // namespace volmek::engine
