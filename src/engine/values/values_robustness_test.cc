// Random and hostile inputs through every routine that reads text from users or files: each
// must answer with a value or an Oracle error, never crash (this binary runs under ASan/UBSan in
// the sanitizer build), and the answers must keep their invariants.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/values/collation.h"
#include "engine/values/date.h"
#include "engine/values/number.h"
#include "engine/values/number_format.h"

namespace volmek::engine {
namespace {

class ValuesRobustness : public ::testing::Test {
 protected:
  // Texts made of the characters the parsers care about, plus arbitrary bytes.
  std::string RandomText(std::size_t max_length) {
    static constexpr std::string_view kAlphabet =
        "0123456789999000...,,,--++eEE $SMIPRBXxFDGLTYMDHAJQWC\"'/:;abcNOVJANdec\x80\xff";
    std::uniform_int_distribution<std::size_t> length(0, max_length);
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string text;
    std::size_t n = length(rng_);
    for (std::size_t i = 0; i < n; ++i) {
      text.push_back(i % 17 == 16 ? static_cast<char>(byte(rng_)) : kAlphabet[pick(rng_)]);
    }
    return text;
  }

  std::mt19937 rng_{20251208};
};

TEST_F(ValuesRobustness, ParsedNumbersRoundTripThroughCanonicalText) {
  for (int round = 0; round < 20000; ++round) {
    std::string text = RandomText(40);
    auto number = Decimal::Parse(text);
    if (!number) {
      EXPECT_TRUE(number.error().code == 1722 || number.error().code == 1426) << text;
      continue;
    }
    std::string canonical = number->ToCanonical();
    ASSERT_TRUE(IsCanonicalNumberText(canonical)) << text << " -> " << canonical;
    auto again = Decimal::Parse(canonical);
    ASSERT_TRUE(again.has_value()) << canonical;
    EXPECT_TRUE(*again == *number) << canonical;
    EXPECT_EQ(CompareNumberTexts(canonical, text), 0) << text;
  }
}

TEST_F(ValuesRobustness, ArithmeticOnRandomNumbersIsTotal) {
  for (int round = 0; round < 5000; ++round) {
    auto a = Decimal::Parse(RandomText(30));
    auto b = Decimal::Parse(RandomText(30));
    if (!a || !b) continue;
    auto sum = Decimal::Add(*a, *b);
    auto difference = sum ? Decimal::Sub(*sum, *b) : sum;
    // (a + b) - b gives a back whenever nothing was rounded away.
    if (sum && difference && a->SignificantDigits() + b->SignificantDigits() < 20 &&
        std::abs(a->Exponent() - b->Exponent()) < 10) {
      EXPECT_TRUE(*difference == *a) << a->ToCanonical() << " " << b->ToCanonical();
    }
    (void)Decimal::Mul(*a, *b);
    (void)Decimal::Div(*a, *b);
    (void)Decimal::Mod(*a, *b);
    (void)Decimal::Power(*a, b->Trunc(0));
    (void)a->Round(static_cast<int>(round % 300) - 150);
  }
}

TEST_F(ValuesRobustness, NumberModelsOnRandomInput) {
  for (int round = 0; round < 20000; ++round) {
    std::string format = RandomText(12);
    auto number = Decimal::Parse(RandomText(20));
    if (number) {
      auto text = FormatNumber(*number, format);
      if (!text) {
        EXPECT_EQ(text.error().code, 1481) << format;
      }
    }
    (void)ParseNumber(RandomText(20), format);
  }
}

TEST_F(ValuesRobustness, DateModelsOnRandomInput) {
  const Date now{2025, 12, 8, 10, 30, 0};
  for (int round = 0; round < 20000; ++round) {
    std::string format = RandomText(14);
    std::string text = RandomText(20);
    auto date = ParseDate(text, format, now);
    if (date) {
      EXPECT_TRUE(ParseStoredText(ToStoredText(*date)).has_value()) << text << " / " << format;
    } else {
      EXPECT_EQ(date.error().message.substr(0, 4), "ORA-");
    }
    (void)FormatDate(now, format);
    (void)TruncDate(now, format);
    (void)RoundDate(now, format);
  }
}

TEST_F(ValuesRobustness, CollationIsAntisymmetricOnRandomInput) {
  for (int round = 0; round < 20000; ++round) {
    std::string a = RandomText(12);
    std::string b = RandomText(12);
    int ab = CompareNumberTexts(a, b);
    int ba = CompareNumberTexts(b, a);
    EXPECT_EQ(ab<0, ba> 0) << a << " | " << b;
    EXPECT_EQ(ab == 0, ba == 0) << a << " | " << b;
  }
}

}  // namespace
}  // namespace volmek::engine
