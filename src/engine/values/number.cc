#include "engine/values/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace volmek::engine {

namespace {

constexpr int kRoundingDigits = Decimal::kMaxDigits + 1;
// Widest aligned sum: the range of exponents plus the digits of the smaller operand and a carry.
constexpr int kWorkDigits =
    Decimal::kMaxExponent - Decimal::kMinExponent + 2 * Decimal::kMaxDigits + 4;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Compares two digit runs of equal length, most significant first.
int CompareRuns(const std::uint8_t* a, const std::uint8_t* b, int count) {
  for (int i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// Digit positions whose values (and the sum of two of them) a 64-bit integer always holds.
constexpr int kScaledDigits = 18;
constexpr int kScaledBuffer = 20;

// The `count` digits (values 0..9, most significant first) as one integer, times 10^zeros.
std::uint64_t ScaledValue(const std::uint8_t* digits, int count, int zeros) {
  std::uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + digits[i];
  for (int i = 0; i < zeros; ++i) value *= 10;
  return value;
}

// Writes the digits of `value` at the end of `buffer`; their count (0 for zero).
int SplitDigits(std::uint64_t value, std::uint8_t (&buffer)[kScaledBuffer]) {
  int count = 0;
  while (value > 0) {
    buffer[kScaledBuffer - 1 - count] = static_cast<std::uint8_t>(value % 10);
    value /= 10;
    ++count;
  }
  return count;
}

}  // namespace

OraError InvalidNumber() { return Ora(1722, "invalid number"); }
OraError NumericOverflow() { return Ora(1426, "numeric overflow"); }
OraError PrecisionExceeded() {
  return Ora(1438, "value larger than specified precision allowed for this column");
}

OraResult<Decimal> Decimal::FromDigits(bool negative, const std::uint8_t* digits, int count,
                                       long long exponent) {
  int first = 0;
  while (first < count && digits[first] == 0) {
    ++first;
    --exponent;
  }
  Decimal result;
  if (first == count) return result;
  int n = count - first;
  std::array<std::uint8_t, kRoundingDigits> kept{};
  int keep = std::min(n, kMaxDigits);
  std::memcpy(kept.data(), digits + first, static_cast<std::size_t>(keep));
  if (n > kMaxDigits && digits[first + kMaxDigits] >= 5) {
    int pos = keep - 1;
    while (pos >= 0 && kept[static_cast<std::size_t>(pos)] == 9) {
      kept[static_cast<std::size_t>(pos)] = 0;
      --pos;
    }
    if (pos < 0) {
      kept[0] = 1;
      keep = 1;
      ++exponent;
    } else {
      ++kept[static_cast<std::size_t>(pos)];
    }
  }
  while (keep > 0 && kept[static_cast<std::size_t>(keep - 1)] == 0) --keep;
  if (exponent > kMaxExponent) return OraErr(NumericOverflow());
  if (exponent < kMinExponent) return result;
  result.negative_ = negative;
  result.digit_count_ = static_cast<std::int8_t>(keep);
  result.exponent_ = static_cast<int>(exponent);
  std::memcpy(result.digits_.data(), kept.data(), static_cast<std::size_t>(keep));
  return result;
}

Decimal Decimal::FromInt64(std::int64_t value) {
  bool negative = value < 0;
  // Through unsigned so that the most negative value has a magnitude too.
  std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
  std::uint8_t buffer[20];
  int count = 0;
  while (magnitude > 0) {
    buffer[19 - count] = static_cast<std::uint8_t>(magnitude % 10);
    magnitude /= 10;
    ++count;
  }
  // At most 20 digits and an exponent of 20: always in range.
  return *FromDigits(negative, buffer + 20 - count, count, count);
}

OraResult<Decimal> Decimal::FromDouble(double value) {
  if (!std::isfinite(value)) return OraErr(NumericOverflow());
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return OraErr(NumericOverflow());
  return Parse(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

OraResult<Decimal> Decimal::Parse(std::string_view text) {
  std::size_t i = 0;
  std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint8_t buffer[kRoundingDigits];
  int count = 0;
  long long integer_digits = 0;
  long long leading_fraction_zeros = 0;
  bool any_digit = false;
  bool seen_nonzero = false;
  for (; i < n && IsDigit(text[i]); ++i) {
    any_digit = true;
    if (!seen_nonzero && text[i] == '0') continue;
    seen_nonzero = true;
    if (count < kRoundingDigits) buffer[count++] = static_cast<std::uint8_t>(text[i] - '0');
    ++integer_digits;
  }
  if (i < n && text[i] == '.') {
    for (++i; i < n && IsDigit(text[i]); ++i) {
      any_digit = true;
      if (!seen_nonzero && text[i] == '0') {
        ++leading_fraction_zeros;
        continue;
      }
      seen_nonzero = true;
      if (count < kRoundingDigits) buffer[count++] = static_cast<std::uint8_t>(text[i] - '0');
    }
  }
  if (!any_digit) return OraErr(InvalidNumber());
  long long exponent_value = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
      exponent_negative = text[i] == '-';
      ++i;
    }
    if (i >= n || !IsDigit(text[i])) return OraErr(InvalidNumber());
    for (; i < n && IsDigit(text[i]); ++i) {
      // Saturates: any exponent this large is out of range either way.
      if (exponent_value < 1'000'000'000) exponent_value = exponent_value * 10 + (text[i] - '0');
    }
    if (exponent_negative) exponent_value = -exponent_value;
  }
  if (i != n) return OraErr(InvalidNumber());
  if (!seen_nonzero) return Decimal();
  long long exponent =
      (integer_digits > 0 ? integer_digits : -leading_fraction_zeros) + exponent_value;
  if (exponent > 10'000'000'000LL) exponent = 10'000'000'000LL;
  return FromDigits(negative, buffer, count, exponent);
}

void Decimal::AppendCanonical(std::string& out) const {
  if (digit_count_ == 0) {
    out.push_back('0');
    return;
  }
  if (negative_) out.push_back('-');
  int count = digit_count_;
  if (exponent_ <= 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-exponent_), '0');
    for (int i = 0; i < count; ++i) out.push_back(static_cast<char>('0' + digits_[i]));
    return;
  }
  for (int i = 0; i < count; ++i) {
    if (i == exponent_) out.push_back('.');
    out.push_back(static_cast<char>('0' + digits_[i]));
  }
  if (exponent_ > count) out.append(static_cast<std::size_t>(exponent_ - count), '0');
}

std::string Decimal::ToCanonical() const {
  std::string out;
  AppendCanonical(out);
  return out;
}

std::string Decimal::ToOracleText() const {
  std::string text = ToCanonical();
  std::size_t zero_at = negative_ ? 1 : 0;
  if (text.size() > zero_at + 1 && text[zero_at] == '0' && text[zero_at + 1] == '.') {
    text.erase(zero_at, 1);
  }
  if (text.size() <= 64) return text;
  // Scientific form: d.ddddE+xx.
  std::string sci;
  if (negative_) sci.push_back('-');
  sci.push_back(static_cast<char>('0' + digits_[0]));
  if (digit_count_ > 1) {
    sci.push_back('.');
    for (int i = 1; i < digit_count_; ++i) sci.push_back(static_cast<char>('0' + digits_[i]));
  }
  int power = exponent_ - 1;
  sci.push_back('E');
  sci.push_back(power < 0 ? '-' : '+');
  int magnitude = power < 0 ? -power : power;
  if (magnitude < 10) sci.push_back('0');
  sci.append(std::to_string(magnitude));
  return sci;
}

std::optional<std::int64_t> Decimal::ToInt64Truncated() const {
  if (digit_count_ == 0 || exponent_ <= 0) return std::int64_t{0};
  if (exponent_ > 19) return std::nullopt;
  unsigned __int128 magnitude = 0;
  for (int i = 0; i < exponent_; ++i) {
    magnitude = magnitude * 10 + (i < digit_count_ ? digits_[i] : 0);
  }
  unsigned __int128 limit = negative_ ? (static_cast<unsigned __int128>(1) << 63)
                                      : (static_cast<unsigned __int128>(1) << 63) - 1;
  if (magnitude > limit) return std::nullopt;
  if (negative_) return static_cast<std::int64_t>(-static_cast<__int128>(magnitude));
  return static_cast<std::int64_t>(magnitude);
}

std::optional<std::int64_t> Decimal::ToInt64Exact() const {
  if (!IsIntegral()) return std::nullopt;
  return ToInt64Truncated();
}

double Decimal::ToDouble() const {
  if (digit_count_ == 0) return 0;
  std::string text = ToCanonical();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool Decimal::IsExactDouble() const {
  // Every decimal of at most 15 significant digits survives a double (DBL_DIG) in this range.
  if (digit_count_ <= 15) return true;
  if (digit_count_ > 17) return false;
  auto back = FromDouble(ToDouble());
  return back.has_value() && *back == *this;
}

Decimal Decimal::Negated() const {
  Decimal result = *this;
  if (digit_count_ != 0) result.negative_ = !negative_;
  return result;
}

Decimal Decimal::Abs() const {
  Decimal result = *this;
  result.negative_ = false;
  return result;
}

int Decimal::Sign() const {
  if (digit_count_ == 0) return 0;
  return negative_ ? -1 : 1;
}

int Decimal::Compare(const Decimal& a, const Decimal& b) {
  int sign_a = a.Sign();
  int sign_b = b.Sign();
  if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
  if (sign_a == 0) return 0;
  int magnitude = 0;
  if (a.exponent_ != b.exponent_) {
    magnitude = a.exponent_ < b.exponent_ ? -1 : 1;
  } else {
    int common = std::min(a.digit_count_, b.digit_count_);
    magnitude = CompareRuns(a.digits_.data(), b.digits_.data(), common);
    if (magnitude == 0 && a.digit_count_ != b.digit_count_) {
      magnitude = a.digit_count_ < b.digit_count_ ? -1 : 1;
    }
  }
  return sign_a < 0 ? -magnitude : magnitude;
}

OraResult<Decimal> Decimal::Add(const Decimal& a, const Decimal& b) {
  if (a.is_zero()) return b;
  if (b.is_zero()) return a;
  int top = std::max(a.exponent_, b.exponent_);
  int low = std::min(a.exponent_ - a.digit_count_, b.exponent_ - b.digit_count_);
  if (top - low <= kScaledDigits) {
    // Both fit one 64-bit integer in units of the lowest digit, and so does their sum (below
    // 2 * 10^18): the exact result without the digit arrays.
    const std::uint64_t x =
        ScaledValue(a.digits_.data(), a.digit_count_, a.exponent_ - a.digit_count_ - low);
    const std::uint64_t y =
        ScaledValue(b.digits_.data(), b.digit_count_, b.exponent_ - b.digit_count_ - low);
    if (x == y && a.negative_ != b.negative_) return Decimal();
    bool negative = a.negative_;
    std::uint64_t magnitude = x + y;
    if (a.negative_ != b.negative_) {
      negative = x > y ? a.negative_ : b.negative_;
      magnitude = x > y ? x - y : y - x;
    }
    std::uint8_t buffer[kScaledBuffer];
    const int count = SplitDigits(magnitude, buffer);
    return FromDigits(negative, buffer + kScaledBuffer - count, count,
                      static_cast<long long>(low) + count);
  }
  // Aligns both on the power of their lowest digit; position 0 is a carry digit.
  int width = top - low + 1;
  std::array<int, kWorkDigits> x{};
  std::array<int, kWorkDigits> y{};
  auto place = [&](const Decimal& d, std::array<int, kWorkDigits>& into) {
    int offset = 1 + (top - d.exponent_);
    for (int i = 0; i < d.digit_count_; ++i) {
      into[static_cast<std::size_t>(offset + i)] = d.digits_[static_cast<std::size_t>(i)];
    }
  };
  place(a, x);
  place(b, y);
  std::array<std::uint8_t, kWorkDigits> sum{};
  bool negative = a.negative_;
  if (a.negative_ == b.negative_) {
    int carry = 0;
    for (int i = width - 1; i >= 0; --i) {
      int v = x[static_cast<std::size_t>(i)] + y[static_cast<std::size_t>(i)] + carry;
      sum[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v % 10);
      carry = v / 10;
    }
  } else {
    int magnitude = Compare(a.Abs(), b.Abs());
    if (magnitude == 0) return Decimal();
    const auto& big = magnitude > 0 ? x : y;
    const auto& small = magnitude > 0 ? y : x;
    negative = magnitude > 0 ? a.negative_ : b.negative_;
    int borrow = 0;
    for (int i = width - 1; i >= 0; --i) {
      int v = big[static_cast<std::size_t>(i)] - small[static_cast<std::size_t>(i)] - borrow;
      borrow = v < 0 ? 1 : 0;
      sum[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v < 0 ? v + 10 : v);
    }
  }
  return FromDigits(negative, sum.data(), width, top + 1);
}

OraResult<Decimal> Decimal::Sub(const Decimal& a, const Decimal& b) { return Add(a, b.Negated()); }

OraResult<Decimal> Decimal::Mul(const Decimal& a, const Decimal& b) {
  if (a.is_zero() || b.is_zero()) return Decimal();
  if (a.digit_count_ + b.digit_count_ <= kScaledDigits) {
    // The product of the digit runs is below 10^18: one 64-bit multiplication, exact.
    const std::uint64_t product = ScaledValue(a.digits_.data(), a.digit_count_, 0) *
                                  ScaledValue(b.digits_.data(), b.digit_count_, 0);
    std::uint8_t buffer[kScaledBuffer];
    const int count = SplitDigits(product, buffer);
    const long long scale =
        static_cast<long long>(a.exponent_ - a.digit_count_) + (b.exponent_ - b.digit_count_);
    return FromDigits(a.negative_ != b.negative_, buffer + kScaledBuffer - count, count,
                      scale + count);
  }
  int width = a.digit_count_ + b.digit_count_;
  std::array<int, 2 * kMaxDigits> product{};
  for (int i = a.digit_count_ - 1; i >= 0; --i) {
    for (int j = b.digit_count_ - 1; j >= 0; --j) {
      product[static_cast<std::size_t>(i + j + 1)] += a.digits_[i] * b.digits_[j];
    }
  }
  std::array<std::uint8_t, 2 * kMaxDigits> digits{};
  int carry = 0;
  for (int i = width - 1; i >= 0; --i) {
    int v = product[static_cast<std::size_t>(i)] + carry;
    digits[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v % 10);
    carry = v / 10;
  }
  return FromDigits(a.negative_ != b.negative_, digits.data(), width,
                    static_cast<long long>(a.exponent_) + b.exponent_);
}

OraResult<Decimal> Decimal::Div(const Decimal& a, const Decimal& b) {
  if (b.is_zero()) return OraErr(Ora(1476, "divisor is equal to zero"));
  if (a.is_zero()) return Decimal();
  const int nb = b.digit_count_;
  // Long division of a's digit stream by b's digits: the remainder always stays below b, so it
  // needs nb + 1 digits. Enough quotient digits are produced for 41 significant ones.
  const int produced = nb + kRoundingDigits + 1;
  std::array<std::uint8_t, kMaxDigits + 1> divisor{};
  for (int i = 0; i < nb; ++i) divisor[static_cast<std::size_t>(i + 1)] = b.digits_[i];
  std::array<std::uint8_t, kMaxDigits + 1> rem{};
  std::array<std::uint8_t, 2 * kMaxDigits + 4> quotient{};
  const int width = nb + 1;
  for (int p = 0; p < produced; ++p) {
    // rem = rem * 10 + next digit.
    for (int i = 0; i + 1 < width; ++i) rem[static_cast<std::size_t>(i)] = rem[i + 1];
    rem[static_cast<std::size_t>(width - 1)] = p < a.digit_count_ ? a.digits_[p] : 0;
    int q = 0;
    while (CompareRuns(rem.data(), divisor.data(), width) >= 0) {
      int borrow = 0;
      for (int i = width - 1; i >= 0; --i) {
        int v = rem[static_cast<std::size_t>(i)] - divisor[static_cast<std::size_t>(i)] - borrow;
        borrow = v < 0 ? 1 : 0;
        rem[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v < 0 ? v + 10 : v);
      }
      ++q;
    }
    quotient[static_cast<std::size_t>(p)] = static_cast<std::uint8_t>(q);
  }
  return FromDigits(a.negative_ != b.negative_, quotient.data(), produced,
                    static_cast<long long>(a.exponent_) - b.exponent_ + nb);
}

OraResult<Decimal> Decimal::Mod(const Decimal& a, const Decimal& b) {
  if (b.is_zero() || a.is_zero()) return a;
  // Integers within 64 bits: the machine's remainder, which also truncates towards zero and
  // keeps the sign of a.
  if (a.digit_count_ <= 18 && b.digit_count_ <= 18) {
    std::optional<std::int64_t> x = a.ToInt64Exact();
    std::optional<std::int64_t> y = b.ToInt64Exact();
    if (x && y) return FromInt64(*x % *y);
  }
  if (a.exponent_ - b.exponent_ > 38) {
    // The quotient has more integer digits than a division keeps: the remainder comes from an
    // exact long division of the two values scaled to integers.
    int low = std::min(a.exponent_ - a.digit_count_, b.exponent_ - b.digit_count_);
    std::vector<std::uint8_t> dividend(static_cast<std::size_t>(a.exponent_ - low), 0);
    std::copy(a.digits_.begin(), a.digits_.begin() + a.digit_count_, dividend.begin());
    int width = b.exponent_ - low + 1;
    std::vector<std::uint8_t> divisor(static_cast<std::size_t>(width), 0);
    std::copy(b.digits_.begin(), b.digits_.begin() + b.digit_count_, divisor.begin() + 1);
    std::vector<std::uint8_t> rem(static_cast<std::size_t>(width), 0);
    for (std::uint8_t digit : dividend) {
      std::rotate(rem.begin(), rem.begin() + 1, rem.end());
      rem.back() = digit;
      while (CompareRuns(rem.data(), divisor.data(), width) >= 0) {
        int borrow = 0;
        for (int i = width - 1; i >= 0; --i) {
          int v = rem[static_cast<std::size_t>(i)] - divisor[static_cast<std::size_t>(i)] - borrow;
          borrow = v < 0 ? 1 : 0;
          rem[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v < 0 ? v + 10 : v);
        }
      }
    }
    return FromDigits(a.negative_, rem.data(), width, static_cast<long long>(width) + low);
  }
  VK_ASSIGN_OR_ORA_RETURN(Decimal quotient, Div(a, b));
  VK_ASSIGN_OR_ORA_RETURN(Decimal whole, Mul(b, quotient.Trunc(0)));
  return Sub(a, whole);
}

OraResult<Decimal> Decimal::Power(const Decimal& a, const Decimal& b) {
  if (b.is_zero()) return FromInt64(1);
  std::optional<std::int64_t> integral = b.ToInt64Exact();
  if (integral && *integral > -1'000'000 && *integral < 1'000'000) {
    if (a.is_zero()) {
      if (*integral < 0) return OraErr(Ora(1476, "divisor is equal to zero"));
      return Decimal();
    }
    std::int64_t n = *integral < 0 ? -*integral : *integral;
    Decimal result = FromInt64(1);
    Decimal base = a;
    while (n > 0) {
      if (n & 1) {
        VK_ASSIGN_OR_ORA_RETURN(result, Mul(result, base));
      }
      n >>= 1;
      if (n > 0) {
        VK_ASSIGN_OR_ORA_RETURN(base, Mul(base, base));
      }
      if (result.is_zero()) break;
    }
    if (*integral < 0) return Div(FromInt64(1), result);
    return result;
  }
  if (a.is_negative() && !b.IsIntegral()) {
    return OraErr(Ora(1428, "argument '" + a.ToOracleText() + "' is out of range"));
  }
  double value = std::pow(a.ToDouble(), b.ToDouble());
  if (value == 0) return Decimal();
  return FromDouble(value);
}

OraResult<Decimal> Decimal::Sqrt(const Decimal& a) {
  if (a.is_negative()) {
    return OraErr(Ora(1428, "argument '" + a.ToOracleText() + "' is out of range"));
  }
  if (a.is_zero()) return Decimal();
  VK_ASSIGN_OR_ORA_RETURN(Decimal x, FromDouble(std::sqrt(a.ToDouble())));
  const Decimal two = FromInt64(2);
  // Newton steps from the double's 16 digits to the full 40.
  for (int step = 0; step < 4; ++step) {
    VK_ASSIGN_OR_ORA_RETURN(Decimal q, Div(a, x));
    VK_ASSIGN_OR_ORA_RETURN(Decimal s, Add(x, q));
    VK_ASSIGN_OR_ORA_RETURN(Decimal next, Div(s, two));
    if (next == x) break;
    x = next;
  }
  return x;
}

OraResult<Decimal> Decimal::Round(int places) const {
  places = std::clamp(places, -1000, 1000);
  long long keep = static_cast<long long>(exponent_) + places;
  if (digit_count_ == 0 || keep >= digit_count_) return *this;
  if (keep < 0) return Decimal();
  std::array<std::uint8_t, kMaxDigits + 1> digits{};
  // Position 0 takes a carry out of the kept digits.
  for (long long i = 0; i < keep; ++i) digits[static_cast<std::size_t>(i + 1)] = digits_[i];
  if (digits_[static_cast<std::size_t>(keep)] >= 5) {
    long long pos = keep;
    while (digits[static_cast<std::size_t>(pos)] == 9) {
      digits[static_cast<std::size_t>(pos)] = 0;
      --pos;
    }
    ++digits[static_cast<std::size_t>(pos)];
  }
  return FromDigits(negative_, digits.data(), static_cast<int>(keep + 1),
                    static_cast<long long>(exponent_) + 1);
}

Decimal Decimal::Trunc(int places) const {
  places = std::clamp(places, -1000, 1000);
  long long keep = static_cast<long long>(exponent_) + places;
  if (digit_count_ == 0 || keep >= digit_count_) return *this;
  if (keep <= 0) return Decimal();
  Decimal result = *this;
  result.digit_count_ = static_cast<std::int8_t>(keep);
  while (result.digit_count_ > 0 && result.digits_[result.digit_count_ - 1] == 0) {
    --result.digit_count_;
  }
  if (result.digit_count_ == 0) return Decimal();
  return result;
}

OraResult<Decimal> Decimal::Ceil() const {
  if (IsIntegral()) return *this;
  Decimal whole = Trunc(0);
  if (negative_) return whole;
  return Add(whole, FromInt64(1));
}

Decimal Decimal::Floor() const {
  if (IsIntegral()) return *this;
  Decimal whole = Trunc(0);
  if (!negative_) return whole;
  // |whole| + 1 stays far inside the range: the value had a fraction.
  return *Sub(whole, FromInt64(1));
}

OraResult<Decimal> Decimal::RoundSignificant(int digits) const {
  digits = std::clamp(digits, 1, kMaxDigits);
  if (digit_count_ <= digits) return *this;
  return Round(digits - exponent_);
}

OraResult<Decimal> FitNumberColumn(const Decimal& value, std::optional<int> precision,
                                   std::optional<int> scale) {
  if (!precision && !scale) return value.RoundSignificant(38);
  int p = precision.value_or(38);
  int s = scale.value_or(0);
  VK_ASSIGN_OR_ORA_RETURN(Decimal rounded, value.Round(s));
  // 0.d * 10^e is below 10^(p - s) exactly when e <= p - s.
  if (!rounded.is_zero() && rounded.Exponent() > p - s) return OraErr(PrecisionExceeded());
  return rounded;
}

OraResult<Decimal> FitFloatColumn(const Decimal& value, int binary_precision) {
  int digits = static_cast<int>(std::ceil(std::clamp(binary_precision, 1, 126) * 0.30103));
  return value.RoundSignificant(digits);
}

bool IsCanonicalNumberText(std::string_view text) {
  const char* at = text.data();
  const char* const end = at + text.size();
  if (at == end) return false;
  if (*at == '-') {
    if (++at == end) return false;
  } else if (text.size() == 1 && *at == '0') {
    return true;  // zero, the only number written with a lone "0"
  }
  if (*at == '0') {
    // Below one: "0." and the fraction.
    if (++at == end || *at != '.') return false;
  } else {
    if (!IsDigit(*at)) return false;
    do ++at;
    while (at != end && IsDigit(*at));
    if (at == end) return true;
    if (*at != '.') return false;
  }
  // At the point: one digit or more after it, the last not "0".
  if (++at == end) return false;
  for (; at != end; ++at) {
    if (!IsDigit(*at)) return false;
  }
  return end[-1] != '0';
}

}  // namespace volmek::engine
