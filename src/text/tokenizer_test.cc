#include "text/tokenizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace volmek::tokenizer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Copybook(std::string_view line, std::size_t start = 0) {
  return TokenizeWords(line, Mode::kCopybook, start);
}
std::vector<std::string> Option(std::string_view line) {
  return TokenizeWords(line, Mode::kOption);
}

TEST(Tokenizer, CopybookEntrySplitsAtParenthesesAndPeriod) {
  EXPECT_THAT(Copybook("       05 CLI-SALDO PIC S9(7)V99 COMP-3.\n"),
              ElementsAre("05", "CLI-SALDO", "PIC", "S9", "(", "7", ")", "V99", "COMP-3", "."));
}

TEST(Tokenizer, MinusSignIsPartOfWordsInBothModes) {
  EXPECT_THAT(Copybook("CLI-CODIGO -9"), ElementsAre("CLI-CODIGO", "-9"));
  EXPECT_THAT(Option("A-B"), ElementsAre("A-B"));
}

TEST(Tokenizer, PeriodIsADelimiterOnlyInCopybookMode) {
  EXPECT_THAT(Copybook("9.99"), ElementsAre("9", ".", "99"));
  EXPECT_THAT(Option("9.99"), ElementsAre("9.99"));
}

TEST(Tokenizer, VerticalBarIsADelimiterOnlyInOptionMode) {
  EXPECT_THAT(Option("a|b"), ElementsAre("a", "|", "b"));
  EXPECT_THAT(Copybook("a|b"), ElementsAre("a|b"));
}

TEST(Tokenizer, EveryCopybookDelimiterIsATokenOfItsOwn) {
  EXPECT_THAT(Copybook("a,b.c(d)e/f+g>h<i&j*k:l;m=n"),
              ElementsAre("a", ",", "b", ".", "c", "(", "d", ")", "e", "/", "f", "+", "g", ">", "h",
                          "<", "i", "&", "j", "*", "k", ":", "l", ";", "m", "=", "n"));
}

TEST(Tokenizer, OptionConditionKeepsQuotedWordWhole) {
  EXPECT_THAT(Option("INCLUDE COND=(1,3,CH,EQ,'ABC')|X"),
              ElementsAre("INCLUDE", "COND", "=", "(", "1", ",", "3", ",", "CH", ",", "EQ", ",",
                          "'ABC'", ")", "|", "X"));
}

TEST(Tokenizer, WordEndsAfterItsSecondApostrophe) {
  EXPECT_THAT(Copybook("'AB'C"), ElementsAre("'AB'", "C"));
  EXPECT_THAT(Copybook("X'41'"), ElementsAre("X'41'"));
}

TEST(Tokenizer, ApostropheWordStillEndsAtABlank) {
  EXPECT_THAT(Copybook("'A B'"), ElementsAre("'A", "B'"));
}

TEST(Tokenizer, DoubleQuoteStringRunsToItsClosingQuote) {
  EXPECT_THAT(Copybook("VALUE \"A. B, C\". X"), ElementsAre("VALUE", "\"A. B, C\"", ".", "X"));
}

TEST(Tokenizer, UnclosedDoubleQuoteRunsToTheEndOfTheLine) {
  EXPECT_THAT(Copybook("A \"B C\nD"), ElementsAre("A", "\"B C"));
}

TEST(Tokenizer, CommentRunsToTheEndOfTheLineWithoutNewline) {
  EXPECT_THAT(Copybook("05 A. /* nota, con (comas)\nX"),
              ElementsAre("05", "A", ".", "/* nota, con (comas)"));
}

TEST(Tokenizer, SlashAloneIsADelimiter) {
  EXPECT_THAT(Copybook("99/99"), ElementsAre("99", "/", "99"));
}

TEST(Tokenizer, BlanksAndTabsSeparateAndAreDropped) {
  EXPECT_THAT(Copybook(" \t05\t\tA  \t"), ElementsAre("05", "A"));
}

TEST(Tokenizer, NothingAfterTheFirstNewlineIsRead) {
  EXPECT_THAT(Copybook("A\nB C"), ElementsAre("A"));
}

TEST(Tokenizer, EmptyAndBlankLinesHaveNoTokens) {
  EXPECT_THAT(Copybook(""), IsEmpty());
  EXPECT_THAT(Copybook("   \t \n"), IsEmpty());
  EXPECT_THAT(Copybook("\nA"), IsEmpty());
}

TEST(Tokenizer, StartPositionSkipsTheTextBeforeIt) {
  EXPECT_THAT(Copybook("000100 05 A.", 7), ElementsAre("05", "A", "."));
}

TEST(Tokenizer, StartPositionOutsideTheLineGivesNoTokens) {
  EXPECT_THAT(Copybook("AB", 2), IsEmpty());
  EXPECT_THAT(Copybook("AB", 1000), IsEmpty());
  EXPECT_THAT(Copybook("AB\nCD", 3), IsEmpty());
}

TEST(Tokenizer, OffsetsPointAtTheTokensInTheLine) {
  const std::vector<Token> tokens = Tokenize("  PIC X(10).", Mode::kCopybook);
  ASSERT_EQ(tokens.size(), 6u);
  EXPECT_EQ(tokens[0].offset, 2u);
  EXPECT_EQ(tokens[1].offset, 6u);
  EXPECT_EQ(tokens[2].offset, 7u);
  EXPECT_EQ(tokens[5].text, ".");
  EXPECT_EQ(tokens[5].offset, 11u);
}

TEST(Tokenizer, LongLinesAndLongWordsAreKeptWhole) {
  const std::string word(100000, 'A');
  std::string line;
  for (int word_idx = 0; word_idx < 700; ++word_idx) line += "W ";
  line += word;
  const std::vector<std::string> words = Copybook(line);
  ASSERT_EQ(words.size(), 701u);
  EXPECT_EQ(words.back(), word);
}

TEST(Tokenizer, NulByteIsAnOrdinaryWordCharacter) {
  const std::string line("A\0B C", 5);
  EXPECT_THAT(Copybook(line), ElementsAre(std::string("A\0B", 3), "C"));
}

}  // namespace
}  // namespace volmek::tokenizer
