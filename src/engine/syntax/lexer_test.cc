#include "engine/syntax/lexer.h"

#include <gtest/gtest.h>

namespace volmek::engine {
namespace {

std::vector<Token> Lex(std::string_view sql) {
  auto tokens = Tokenize(sql);
  EXPECT_TRUE(tokens.has_value()) << (tokens ? "" : tokens.error().message);
  return tokens ? *tokens : std::vector<Token>{};
}

std::string LexError(std::string_view sql) {
  auto tokens = Tokenize(sql);
  return tokens ? "no error" : tokens.error().message;
}

TEST(Lexer, UnquotedNamesFoldToUpperCaseQuotedOnesKeepTheirCase) {
  auto tokens = Lex("select Ename, \"Mixed Case\" from emp");
  ASSERT_EQ(tokens.size(), 7u);
  EXPECT_TRUE(tokens[0].IsKeyword("SELECT"));
  EXPECT_EQ(tokens[1].Value(), "ENAME");
  EXPECT_EQ(tokens[3].kind, TokenKind::kQuotedIdentifier);
  EXPECT_EQ(tokens[3].Value(), "Mixed Case");
  EXPECT_FALSE(tokens[3].IsKeyword("MIXED CASE"));
  EXPECT_TRUE(tokens[6].IsEnd());
  EXPECT_EQ(tokens[6].offset, 35u);
}

TEST(Lexer, DoubledApostropheStandsForOne) {
  auto tokens = Lex("'it''s' ''");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].kind, TokenKind::kString);
  EXPECT_EQ(tokens[0].Value(), "it's");
  EXPECT_EQ(tokens[0].text, "'it''s'");
  EXPECT_EQ(tokens[1].Value(), "");
}

TEST(Lexer, NamesMayHoldDollarHashAndDigits) {
  auto tokens = Lex("id_t$ x#1");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].Value(), "ID_T$");
  EXPECT_EQ(tokens[1].Value(), "X#1");
}

TEST(Lexer, NumbersTakeFractionsAndExponentsButNoSign) {
  auto tokens = Lex("12 12.5 .5 7. 1e10 2.5E-3 -4");
  ASSERT_EQ(tokens.size(), 9u);
  for (int idx = 0; idx < 6; ++idx) EXPECT_EQ(tokens[idx].kind, TokenKind::kNumber) << idx;
  EXPECT_EQ(tokens[3].text, "7.");
  EXPECT_EQ(tokens[5].text, "2.5E-3");
  EXPECT_TRUE(tokens[6].IsSymbol("-"));
  EXPECT_EQ(tokens[7].text, "4");
}

TEST(Lexer, TwoCharacterSymbolsAreOneToken) {
  auto tokens = Lex("a||b<=c<>d!=e>=f:=g");
  std::vector<std::string> symbols;
  for (const Token& token : tokens) {
    if (token.kind == TokenKind::kSymbol) symbols.emplace_back(token.text);
  }
  EXPECT_EQ(symbols, (std::vector<std::string>{"||", "<=", "<>", "!=", ">=", ":="}));
}

TEST(Lexer, CommentsAndLineEndsSeparateTokens) {
  auto tokens = Lex("select -- a comment\n1 /* another\n one */ from\tdual");
  ASSERT_EQ(tokens.size(), 5u);
  EXPECT_EQ(tokens[1].text, "1");
  EXPECT_TRUE(tokens[2].IsKeyword("FROM"));
}

TEST(Lexer, SemicolonIsASymbolForTheParsersToJudge) {
  auto tokens = Lex("null;");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_TRUE(tokens[1].IsSymbol(";"));
}

TEST(Lexer, UnterminatedStringIs01756) {
  EXPECT_EQ(LexError("insert into t values ('VAL'E')"),
            "ORA-01756: quoted string not properly terminated");
}

TEST(Lexer, UnterminatedQuotedNameIs01740) {
  EXPECT_EQ(LexError("select \"abc from t"), "ORA-01740: missing double quote in identifier");
}

TEST(Lexer, StrayCharacterIs00911) {
  EXPECT_EQ(LexError("select # from t"), "ORA-00911: invalid character");
  EXPECT_EQ(LexError("select a ? b"), "ORA-00911: invalid character");
}

TEST(Lexer, NameOverThirtyBytesIs00972) {
  EXPECT_EQ(LexError("select abcdefghijabcdefghijabcdefghijX from t"),
            "ORA-00972: identifier is too long");
  EXPECT_EQ(LexError("select abcdefghijabcdefghijabcdefghij from t"), "no error");
}

TEST(Lexer, ErrorOffsetPointsAtTheBadSpot) {
  std::vector<Token> tokens;
  std::size_t offset = 0;
  auto error = Tokenize("select 'abc", &tokens, &offset);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(offset, 7u);
}

}  // namespace
}  // namespace volmek::engine
