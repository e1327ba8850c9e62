// Oracle NUMBER values: exact decimal numbers of up to 40 significant digits.
//
// A Decimal holds a sign, its significant digits and a decimal exponent. It keeps every digit
// Oracle keeps (38 guaranteed, 40 at most) and never goes through binary floating point, so
// 0.1 + 0.2 is exactly 0.3 and 7 / 2 is 3.5. Results that would need more than 40 significant
// digits are rounded half away from zero, as Oracle rounds them. The range is Oracle's:
// magnitudes of 1e126 and above raise ORA-01426, magnitudes below 1e-130 become 0.
//
// Text forms:
//   canonical   the storage form (see schema.h): "-12.5", "0.25", "3", "0". Also the exact
//               text that fetch delivers for floating-point defines.
//   Oracle      what TO_CHAR(n) and implicit number-to-text conversion give: no "0" before the
//               point (".5", "-.5"), scientific form ("1.0000000000000000000000000000000E+100")
//               only when the decimal form would be longer than 64 characters.
//
// Every operation is total: it returns a Decimal or an OraError (ORA-01722 invalid number,
// ORA-01426 numeric overflow, ORA-01476 divisor is equal to zero, ORA-01438 for a column's
// precision), never undefined behaviour, whatever the input.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine {

class Decimal {
 public:
  static constexpr int kMaxDigits = 40;
  // The value is below 10^kMaxExponent in magnitude (Oracle: below 1e126).
  static constexpr int kMaxExponent = 126;
  // The smallest magnitude kept is 10^(kMinExponent - 1) (Oracle: 1e-130).
  static constexpr int kMinExponent = -129;

  // Zero.
  Decimal() = default;

  static Decimal FromInt64(std::int64_t value);
  // The decimal that the shortest round-trip text of `value` names (0.1 gives exactly 0.1).
  // NaN and infinities give ORA-01426.
  static OraResult<Decimal> FromDouble(double value);
  // Parses number text as Oracle's implicit conversion accepts it: leading and trailing blanks,
  // an optional sign, digits with an optional point (".5", "5.", "-0012.50"), an optional
  // exponent ("1.5E3", "2e-4"). Anything else, the empty text or blanks only give ORA-01722.
  // More than 40 significant digits are rounded.
  static OraResult<Decimal> Parse(std::string_view text);

  bool is_zero() const { return digit_count_ == 0; }
  bool is_negative() const { return negative_; }
  // Digits before the point (0 for |x| < 1).
  int IntegerDigits() const { return exponent_ > 0 ? exponent_ : 0; }
  // True when the value has no fraction.
  bool IsIntegral() const { return digit_count_ <= exponent_ || digit_count_ == 0; }
  int SignificantDigits() const { return digit_count_; }
  // The e of value = 0.d1d2d3... * 10^e (1 for 1..9.99, 0 for 0.1..0.999, -1 for 0.01...).
  int Exponent() const { return exponent_; }

  // Canonical text (see the top of this file).
  std::string ToCanonical() const;
  void AppendCanonical(std::string& out) const;
  // Oracle's TO_CHAR(n) text (see the top of this file).
  std::string ToOracleText() const;
  // The value with the fraction dropped, when it fits in 64 bits.
  std::optional<std::int64_t> ToInt64Truncated() const;
  // The value when it is integral and fits in 64 bits.
  std::optional<std::int64_t> ToInt64Exact() const;
  // The nearest double.
  double ToDouble() const;
  // True when ToDouble() names this exact decimal (its shortest text gives this value back).
  bool IsExactDouble() const;

  Decimal Negated() const;
  Decimal Abs() const;
  // -1, 0 or 1.
  int Sign() const;

  // -1, 0 or 1 as a < b, a == b, a > b.
  static int Compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return Compare(a, b) == 0; }

  static OraResult<Decimal> Add(const Decimal& a, const Decimal& b);
  static OraResult<Decimal> Sub(const Decimal& a, const Decimal& b);
  static OraResult<Decimal> Mul(const Decimal& a, const Decimal& b);
  // ORA-01476 when b is zero.
  static OraResult<Decimal> Div(const Decimal& a, const Decimal& b);
  // Oracle MOD: a - b * trunc(a / b), with mod(a, 0) = a. The result has the sign of a.
  static OraResult<Decimal> Mod(const Decimal& a, const Decimal& b);
  // a raised to b; b must be integral when a is negative (ORA-01428 otherwise).
  static OraResult<Decimal> Power(const Decimal& a, const Decimal& b);
  // ORA-01428 for negative arguments.
  static OraResult<Decimal> Sqrt(const Decimal& a);

  // Rounds half away from zero to `places` decimals (negative places round to tens,
  // hundreds, ...). Trunc drops them. Places beyond +-1000 are clamped.
  OraResult<Decimal> Round(int places) const;
  Decimal Trunc(int places) const;
  OraResult<Decimal> Ceil() const;
  Decimal Floor() const;

  // Rounds to `digits` significant digits (1..40), half away from zero.
  OraResult<Decimal> RoundSignificant(int digits) const;

 private:
  // Builds from a digit string (values 0..9, most significant first) and the exponent of the
  // position before the first digit: value = 0.d1d2d3... * 10^exponent. Strips leading and
  // trailing zeros, rounds to kMaxDigits and checks the range.
  static OraResult<Decimal> FromDigits(bool negative, const std::uint8_t* digits, int count,
                                       long long exponent);

  bool negative_ = false;
  std::int8_t digit_count_ = 0;  // 0 for zero
  int exponent_ = 0;             // value = 0.d1d2... * 10^exponent_
  std::array<std::uint8_t, kMaxDigits> digits_{};
};

// ORA-01722: invalid number.
OraError InvalidNumber();
// ORA-01426: numeric overflow.
OraError NumericOverflow();
// ORA-01438: value larger than specified precision allowed for this column.
OraError PrecisionExceeded();

// Applies the rules of a NUMBER(precision, scale) column to `value`: rounds it to `scale`
// decimals (half away from zero; a negative scale rounds to tens, hundreds, ...), then refuses it
// with ORA-01438 when more than precision - scale digits remain before the point. Without a
// precision the column keeps up to 38 digits as given; a scale without precision is NUMBER(*,s).
OraResult<Decimal> FitNumberColumn(const Decimal& value, std::optional<int> precision,
                                   std::optional<int> scale);

// Applies a FLOAT(binary_precision) column: rounds to ceil(binary_precision * 0.30103)
// significant digits.
OraResult<Decimal> FitFloatColumn(const Decimal& value, int binary_precision);

// True when `text` is already in canonical form (the fast path of comparisons and fetch).
bool IsCanonicalNumberText(std::string_view text);

}  // namespace volmek::engine
