#include "engine/values/collation.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/values/number.h"

namespace volmek::engine {

namespace {

// -1 for negatives, 0 for "0", 1 for positives. REQUIRES: canonical text.
int CanonicalSign(std::string_view text) {
  if (text[0] == '-') return -1;
  return text == "0" ? 0 : 1;
}

// Digits before the point of a canonical magnitude ("0.5" has none).
std::size_t IntegerDigitCount(std::string_view magnitude) {
  if (magnitude.size() > 1 && magnitude[0] == '0') return 0;
  std::size_t point = magnitude.find('.');
  return point == std::string_view::npos ? magnitude.size() : point;
}

int Lexicographic(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Both texts canonical: sign, then the count of integer digits, then the digits, which (once the
// integer parts have one length) order as plain text.
int CompareCanonical(std::string_view a, std::string_view b) {
  int sign_a = CanonicalSign(a);
  int sign_b = CanonicalSign(b);
  if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
  if (sign_a == 0) return 0;
  std::string_view ma = sign_a < 0 ? a.substr(1) : a;
  std::string_view mb = sign_b < 0 ? b.substr(1) : b;
  std::size_t ia = IntegerDigitCount(ma);
  std::size_t ib = IntegerDigitCount(mb);
  int magnitude = ia != ib ? (ia < ib ? -1 : 1) : Lexicographic(ma, mb);
  return sign_a < 0 ? -magnitude : magnitude;
}

constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL;
constexpr std::uint64_t kThrees = 0x3030303030303030ULL;
constexpr std::uint64_t kSixes = 0x0606060606060606ULL;

// The bytes of a text of at most eight as one word, its first byte lowest; the bytes past the
// text read as '0'. Copied byte by byte: a copy of a variable length would be a call.
std::uint64_t LoadShort(std::string_view text) {
  unsigned char bytes[8] = {'0', '0', '0', '0', '0', '0', '0', '0'};
  for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = static_cast<unsigned char>(text[i]);
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// A byte is a digit when its high nibble is 3 and adding 6 leaves it so.
bool WordOfDigits(std::uint64_t word) {
  return (word & kHigh) == kThrees && ((word + kSixes) & kHigh) == kThrees;
}

// True when `text` (not empty) is all decimal digits, up to eight bytes looked at as one word.
bool AllDigits(std::string_view text) {
  if (text.size() <= 8) return WordOfDigits(LoadShort(text));
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// True when both texts are natural numbers in canonical form without a leading zero ("17",
// "100000"): keys of whole numbers are most of what indexes of NUMBER columns compare.
bool BothNatural(std::string_view a, std::string_view b) {
  return !a.empty() && !b.empty() && a[0] != '0' && b[0] != '0' && AllDigits(a) && AllDigits(b);
}

int CollateNumbers(void*, int length_a, const void* a, int length_b, const void* b) {
  std::string_view text_a(static_cast<const char*>(a), static_cast<std::size_t>(length_a));
  std::string_view text_b(static_cast<const char*>(b), static_cast<std::size_t>(length_b));
  return CompareNumberTexts(text_a, text_b);
}

}  // namespace

int CompareNumberTexts(std::string_view a, std::string_view b) {
  // Two natural numbers: the one of more digits is the larger, else their digits decide. Those
  // of up to eight digits, most keys of NUMBER indexes, are compared as two words.
  if (a.size() - 1 < 8 && b.size() - 1 < 8 && a[0] != '0' && b[0] != '0') {
    std::uint64_t word_a = LoadShort(a);
    std::uint64_t word_b = LoadShort(b);
    if (WordOfDigits(word_a) && WordOfDigits(word_b)) {
      if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
      // The first byte highest: the words order as the texts do.
      word_a = __builtin_bswap64(word_a);
      word_b = __builtin_bswap64(word_b);
      return word_a < word_b ? -1 : (word_a > word_b ? 1 : 0);
    }
  }
  if (BothNatural(a, b)) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = std::memcmp(a.data(), b.data(), a.size());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (IsCanonicalNumberText(a) && IsCanonicalNumberText(b)) return CompareCanonical(a, b);
  auto number_a = Decimal::Parse(a);
  auto number_b = Decimal::Parse(b);
  if (number_a && number_b) return Decimal::Compare(*number_a, *number_b);
  if (number_a) return -1;
  if (number_b) return 1;
  return Lexicographic(a, b);
}

Status RegisterCollations(sqlite3* db) {
  std::string name(kNumberCollation);
  int rc =
      sqlite3_create_collation_v2(db, name.c_str(), SQLITE_UTF8, nullptr, CollateNumbers, nullptr);
  if (rc != SQLITE_OK) {
    return Status::Database("No se puede registrar la ordenacion " + name + ": " +
                            sqlite3_errstr(rc));
  }
  return Status::Ok();
}

}  // namespace volmek::engine
