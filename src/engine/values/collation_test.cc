#include "engine/values/collation.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace volmek::engine {
namespace {

int Sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

class NumberCollation : public ::testing::Test {};

TEST_F(NumberCollation, CanonicalTextsOrderByValue) {
  std::vector<std::string> ordered = {"-100",
                                      "-10",
                                      "-9.5",
                                      "-9",
                                      "-0.5",
                                      "-0.05",
                                      "0",
                                      "0.05",
                                      "0.25",
                                      "0.3",
                                      "1",
                                      "1.5",
                                      "1.55",
                                      "9",
                                      "10",
                                      "12",
                                      "99.9",
                                      "100",
                                      "1000000000000000000000"};
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    for (std::size_t j = 0; j < ordered.size(); ++j) {
      int expected = i < j ? -1 : (i > j ? 1 : 0);
      EXPECT_EQ(Sign(CompareNumberTexts(ordered[i], ordered[j])), expected)
          << ordered[i] << " vs " << ordered[j];
    }
  }
}

TEST_F(NumberCollation, WholeNumbersOfUpToEightDigitsOrderByEachDigit) {
  // Read as words: the first byte must weigh most whichever position differs.
  const std::string base = "54321876";
  for (std::size_t at = 0; at < base.size(); ++at) {
    std::string higher = base;
    higher[at] = static_cast<char>(higher[at] + 1);
    EXPECT_LT(CompareNumberTexts(base, higher), 0) << higher;
    EXPECT_GT(CompareNumberTexts(higher, base), 0) << higher;
    EXPECT_LT(CompareNumberTexts(base.substr(0, at + 1), higher.substr(0, at + 1)), 0) << at;
  }
  EXPECT_EQ(CompareNumberTexts(base, base), 0);
  EXPECT_LT(CompareNumberTexts("9999999", "10000000"), 0);
  EXPECT_LT(CompareNumberTexts("91", "123"), 0);
  EXPECT_LT(CompareNumberTexts("2", "10"), 0);
}

TEST_F(NumberCollation, NonCanonicalNumberTextComparesByValue) {
  // SQLite renders a REAL compared with a NUMBER column like these.
  EXPECT_EQ(CompareNumberTexts("3.0", "3"), 0);
  EXPECT_EQ(CompareNumberTexts("1.0e+20", "100000000000000000000"), 0);
  EXPECT_LT(CompareNumberTexts("1.0e-05", "0.0001"), 0);
  EXPECT_EQ(CompareNumberTexts(" 12", "12"), 0);
  EXPECT_EQ(CompareNumberTexts("007", "7"), 0);
  EXPECT_LT(CompareNumberTexts("08", "10"), 0);
  // Whole numbers of eight and nine digits, and texts of eight bytes one of which is no digit
  // (':' and '/' border the digits), which are no numbers and sort after them.
  EXPECT_GT(CompareNumberTexts("12345679", "12345678"), 0);
  EXPECT_LT(CompareNumberTexts("99999999", "100000000"), 0);
  EXPECT_LT(CompareNumberTexts("9", "1234567:"), 0);
  EXPECT_LT(CompareNumberTexts("9", "12/45678"), 0);
  EXPECT_GT(CompareNumberTexts("123456789:", "9"), 0);
  EXPECT_GT(CompareNumberTexts("+5", "-5"), 0);
}

TEST_F(NumberCollation, TextThatIsNotANumberSortsAfterNumbersInByteOrder) {
  EXPECT_LT(CompareNumberTexts("999999", "abc"), 0);
  EXPECT_GT(CompareNumberTexts("abc", "-1"), 0);
  EXPECT_LT(CompareNumberTexts("abc", "abd"), 0);
  EXPECT_EQ(CompareNumberTexts("abc", "abc"), 0);
  EXPECT_LT(CompareNumberTexts("", "x"), 0);
  EXPECT_GT(CompareNumberTexts("", "5"), 0);
}

TEST_F(NumberCollation, OrderIsTotalOverMixedDamagedInput) {
  std::vector<std::string> values = {"5",    "-5",   "abc",   "",       "5.0", "1e3",
                                     "1000", "x1",   "0",     "-0",     "00",  "1.",
                                     ".5",   "\xff", "1e999", "-1e999", "nan", std::string("\0", 1),
                                     "0.5"};
  // Antisymmetric and transitive: sorting with it is stable across shuffles.
  auto less = [](const std::string& a, const std::string& b) {
    return CompareNumberTexts(a, b) < 0;
  };
  std::vector<std::string> first = values;
  std::stable_sort(first.begin(), first.end(), less);
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> shuffled = values;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    std::stable_sort(shuffled.begin(), shuffled.end(), less);
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(CompareNumberTexts(first[i], shuffled[i]), 0) << i;
    }
  }
  for (const auto& a : values) {
    for (const auto& b : values) {
      EXPECT_EQ(Sign(CompareNumberTexts(a, b)), -Sign(CompareNumberTexts(b, a)));
    }
  }
}

TEST_F(NumberCollation, SqliteColumnsOrderAndCompareNumerically) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  ASSERT_TRUE(RegisterCollations(db.get()).ok());
  ASSERT_EQ(sqlite3_exec(db.get(),
                         "create table t (n text collate VKNUM);"
                         "insert into t values ('10'),('9'),('-1.5'),('0.25'),('100');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  std::string order;
  sqlite3_exec(
      db.get(), "select n from t order by n",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += std::string(values[0]) + " ";
        return 0;
      },
      &order, nullptr);
  EXPECT_EQ(order, "-1.5 0.25 9 10 100 ");
  std::string count;
  sqlite3_exec(
      db.get(), "select count(*) from t where n > 9.5 and n = n",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0];
        return 0;
      },
      &count, nullptr);
  EXPECT_EQ(count, "2");
}

}  // namespace
}  // namespace volmek::engine
