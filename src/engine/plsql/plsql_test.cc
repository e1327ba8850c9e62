#include <gtest/gtest.h>

#include "engine/plsql/parser.h"
#include "engine/plsql/value.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine::plsql {
namespace {

PlType Type(BaseType base, int length = 0) {
  PlType type;
  type.base = base;
  type.length = length;
  return type;
}

std::string ErrorOf(OraResult<Value> result) {
  return result.has_value() ? "ok" : result.error().message;
}

TEST(PlsqlValueTest, AssignConvertsAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(Assign(Value::Text("ab"), Type(BaseType::kChar, 4), "DD-MON-YY")->text, "ab  ");
  EXPECT_EQ(ErrorOf(Assign(Value::Text("abcde"), Type(BaseType::kVarchar2, 4), "DD-MON-YY")),
            "ORA-06502: PL/SQL: numeric or value error: character string buffer too small");
  // PLS_INTEGER rounds, and refuses what needs more than 32 bits.
  Value rounded =
      *Assign(Value::Number(*Decimal::Parse("2.5")), Type(BaseType::kPlsInteger), "DD-MON-YY");
  EXPECT_EQ(rounded.number.ToCanonical(), "3");
  EXPECT_EQ(
      Assign(Value::Integer(2147483648LL), Type(BaseType::kPlsInteger), "DD-MON-YY").error().code,
      1426);
  PlType money = Type(BaseType::kNumber);
  money.precision = 5;
  money.scale = 2;
  EXPECT_EQ(Assign(Value::Text(" 12.345 "), money, "DD-MON-YY")->number.ToCanonical(), "12.35");
  EXPECT_EQ(ErrorOf(Assign(Value::Integer(1000), money, "DD-MON-YY")),
            "ORA-06502: PL/SQL: numeric or value error: number precision too large");
  PlType required = Type(BaseType::kDate);
  required.not_null = true;
  EXPECT_EQ(Assign(Value::Null(), required, "DD-MON-YY").error().code, 6502);
  Value date = *Assign(Value::Text("15-NOV-03"), Type(BaseType::kDate), "DD-MON-YY");
  EXPECT_EQ(ToStoredText(date.date), "2003-11-15 00:00:00");
  // A boolean is no number and no text.
  EXPECT_FALSE(Assign(Value::Bool(true), Type(BaseType::kNumber), "DD-MON-YY").has_value());
  EXPECT_FALSE(Assign(Value::Integer(1), Type(BaseType::kBoolean), "DD-MON-YY").has_value());
}

TEST(PlsqlValueTest, SqlLiteralsKeepEveryValueExactly) {
  EXPECT_EQ(*SqlLiteral(Value::Text("it's")), "'it''s'");
  EXPECT_EQ(*SqlLiteral(Value::Null()), "NULL");
  EXPECT_EQ(*SqlLiteral(Value::Number(*Decimal::Parse("-0.5"))), "(-0.5)");
  EXPECT_EQ(*SqlLiteral(Value::Number(*Decimal::Parse("12345678901234567890.123456789"))),
            "12345678901234567890.123456789");
  Date date;
  date.year = 2024;
  date.month = 2;
  date.day = 29;
  date.hour = 23;
  EXPECT_EQ(*SqlLiteral(Value::FromDate(date)),
            "TO_DATE('2024-02-29 23:00:00','YYYY-MM-DD HH24:MI:SS')");
  EXPECT_FALSE(SqlLiteral(Value::Bool(false)).has_value());
  EXPECT_TRUE(Value::Text("").is_null());
}

TEST(PlsqlValueTest, ComparisonsFollowTheTypes) {
  EXPECT_EQ(*CompareValues(Value::Integer(10), Value::Text("9"), "DD-MON-YY"), 1);
  EXPECT_EQ(*CompareValues(Value::Text("10"), Value::Text("9"), "DD-MON-YY"), -1);
  EXPECT_EQ(CompareValues(Value::Integer(1), Value::Text("x"), "DD-MON-YY").error().code, 6502);
}

TEST(PlsqlLexerTest, RangesAndLabelsAreSymbols) {
  std::vector<Token> tokens = *Tokenize("for i in 1..10 loop <<l>> x := .5; end loop;");
  std::vector<std::string> texts;
  for (const Token& token : tokens) texts.emplace_back(token.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"for", "i", "in", "1", "..", "10", "loop", "<<", "l",
                                             ">>", "x", ":=", ".5", ";", "end", "loop", ";", ""}));
}

std::string ParseError(std::string_view text) {
  OraResult<std::unique_ptr<Block>> block = ParseBlock(text);
  return block.has_value() ? "ok" : block.error().message;
}

TEST(PlsqlParserTest, ErrorsNameTheLineAndColumn) {
  EXPECT_EQ(ParseError("begin\n  null\nend;"),
            "ORA-06550: line 3, column 1:\nPLS-00103: Encountered the symbol \"END\" when "
            "expecting one of the following:");
  EXPECT_EQ(ParseError("declare\n  n number;\nbegin\n  select 1 from dual;\nend;"),
            "ORA-06550: line 4, column 3:\nPLS-00428: an INTO clause is expected in this SELECT "
            "statement");
  EXPECT_EQ(ParseError("begin\n  for i in 1 .. 2 loop\n    exit when i = 1;\n  end loop;\nend;"),
            "ok");
  EXPECT_EQ(ParseError("begin if x then null; end;"),
            "ORA-06550: line 1, column 26:\nPLS-00103: Encountered the symbol \";\" when "
            "expecting one of the following:");
  EXPECT_EQ(ParseError("declare v varchar2(0); begin null; end;"),
            "ORA-06550: line 1, column 20:\nPLS-00215: String length constraints must be in "
            "range (1 .. 32767)");
  EXPECT_EQ(ParseError("begin 'x"), "ORA-01756: quoted string not properly terminated");
}

TEST(PlsqlParserTest, NestingBeyondTheLimitIsRefusedNotOverflowed) {
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "begin ";
  EXPECT_NE(ParseError(deep).find("PLS-00123"), std::string::npos);
  std::string expression = "declare x number := " + std::string(5000, '(') + "1" +
                           std::string(5000, ')') + "; begin null; end;";
  EXPECT_NE(ParseError(expression).find("PLS-00123"), std::string::npos);
  std::string negations = "declare b boolean := ";
  for (int i = 0; i < 5000; ++i) negations += "not ";
  EXPECT_NE(ParseError(negations + "true; begin null; end;").find("PLS-00123"), std::string::npos);
}

}  // namespace
}  // namespace volmek::engine::plsql
