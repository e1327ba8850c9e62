// Conversion, number and date functions.
//
// A value reaches a function as SQLite INTEGER, REAL or TEXT; functions that take either a
// number or a date (TO_CHAR, ROUND, TRUNC) treat text in the stored date form as a date and
// anything else as a number.
#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "engine/functions/function_support.h"
#include "engine/values/number_format.h"

namespace volmek::engine::fn {

namespace {

// Reads the optional format argument at `index`; false when it is given as NULL (the result is
// then NULL, already set).
bool FormatArgument(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index,
                    std::optional<TextArg>* out) {
  if (argc <= index) return true;
  TextArg text;
  if (!TextArgument(ctx, argv, index, &text)) return false;
  *out = std::move(text);
  return true;
}

void ToChar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc == 1 && sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    // An integer's text is its digits, as TO_CHAR(n) writes any integer.
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, sqlite3_value_int64(argv[0]));
    return ResultText(ctx, std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  std::optional<TextArg> format;
  if (!FormatArgument(ctx, argc, argv, 1, &format)) return;
  if (std::optional<Date> date = StoredDateOf(value)) {
    std::string_view model = format ? format->view() : Settings(ctx).nls_date_format;
    auto text = FormatDate(*date, model);
    if (!text) return ResultError(ctx, text.error());
    return ResultText(ctx, *text);
  }
  auto number = NumberOf(value);
  if (!number) {
    // Character data without a number in it comes back as it is, unless a number model asks
    // for a number.
    if (format) return ResultError(ctx, number.error());
    return sqlite3_result_value(ctx, argv[0]);
  }
  if (!format) return ResultText(ctx, number->value().ToOracleText());
  auto text = FormatNumber(number->value(), format->view());
  if (!text) return ResultError(ctx, text.error());
  ResultText(ctx, *text);
}

void ToNumber(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  std::optional<TextArg> format;
  if (!FormatArgument(ctx, argc, argv, 1, &format)) return;
  if (!format) {
    auto number = NumberOf(value);
    if (!number) return ResultError(ctx, number.error());
    return ResultNumber(ctx, number->value());
  }
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  auto number = ParseNumber(text->view(), format->view());
  if (!number) return ResultError(ctx, number.error());
  ResultNumber(ctx, *number);
}

void ToDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  std::optional<TextArg> format;
  if (!FormatArgument(ctx, argc, argv, 1, &format)) return;
  // Text only: the translator writes a date argument as text first, as Oracle converts it.
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  std::string_view model = format ? format->view() : Settings(ctx).nls_date_format;
  auto date = ParseDate(text->view(), model, CurrentDate(ctx));
  if (!date) return ResultError(ctx, date.error());
  ResultDate(ctx, *date);
}

// ROUND and TRUNC of a date (with a format model) or of a number (with a count of places).
template <typename DateOp, typename NumberOp>
void RoundOrTrunc(sqlite3_context* ctx, int argc, sqlite3_value** argv, DateOp date_op,
                  NumberOp number_op) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  if (std::optional<Date> date = StoredDateOf(value)) {
    std::optional<TextArg> format;
    if (!FormatArgument(ctx, argc, argv, 1, &format)) return;
    auto result = date_op(*date, format ? format->view() : std::string_view("DD"));
    if (!result) return ResultError(ctx, result.error());
    return ResultDate(ctx, *result);
  }
  auto number = NumberArg(value);
  if (!number) return ResultError(ctx, number.error());
  long long places = 0;
  if (argc > 1) {
    auto given = IntegerArg(Arg(argv, 1));
    if (!given) return ResultError(ctx, given.error());
    if (!*given) return sqlite3_result_null(ctx);
    places = std::clamp<long long>(**given, -1000, 1000);
  }
  OraResult<Decimal> result = number_op(**number, static_cast<int>(places));
  if (!result) return ResultError(ctx, result.error());
  ResultNumber(ctx, *result);
}

void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  RoundOrTrunc(ctx, argc, argv, RoundDate,
               [](const Decimal& d, int places) { return d.Round(places); });
}

void Trunc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  RoundOrTrunc(ctx, argc, argv, TruncDate,
               [](const Decimal& d, int places) -> OraResult<Decimal> { return d.Trunc(places); });
}

// Applies `op` to the one number argument; NULL gives NULL.
template <typename Op>
void Unary(sqlite3_context* ctx, sqlite3_value** argv, Op op) {
  auto number = NumberArg(Arg(argv, 0));
  if (!number) return ResultError(ctx, number.error());
  if (!*number) return sqlite3_result_null(ctx);
  OraResult<Decimal> result = op(**number);
  if (!result) return ResultError(ctx, result.error());
  ResultNumber(ctx, *result);
}

template <typename Op>
void Binary(sqlite3_context* ctx, sqlite3_value** argv, Op op) {
  auto a = NumberArg(Arg(argv, 0));
  if (!a) return ResultError(ctx, a.error());
  auto b = NumberArg(Arg(argv, 1));
  if (!b) return ResultError(ctx, b.error());
  if (!*a || !*b) return sqlite3_result_null(ctx);
  OraResult<Decimal> result = op(**a, **b);
  if (!result) return ResultError(ctx, result.error());
  ResultNumber(ctx, *result);
}

void Abs(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv, [](const Decimal& d) -> OraResult<Decimal> { return d.Abs(); });
}
void Sign(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv,
        [](const Decimal& d) -> OraResult<Decimal> { return Decimal::FromInt64(d.Sign()); });
}
void Ceil(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv, [](const Decimal& d) { return d.Ceil(); });
}
void Floor(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv, [](const Decimal& d) -> OraResult<Decimal> { return d.Floor(); });
}
void Sqrt(sqlite3_context* ctx, int, sqlite3_value** argv) { Unary(ctx, argv, Decimal::Sqrt); }
void Mod(sqlite3_context* ctx, int, sqlite3_value** argv) {
  // Two INTEGERs: the machine's remainder, as Decimal::Mod takes it for them (the sign of the
  // dividend; MOD(m, 0) is m).
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER &&
      sqlite3_value_type(argv[1]) == SQLITE_INTEGER) {
    std::int64_t m = sqlite3_value_int64(argv[0]);
    std::int64_t n = sqlite3_value_int64(argv[1]);
    return sqlite3_result_int64(ctx, n == 0 ? m : (n == -1 ? 0 : m % n));
  }
  Binary(ctx, argv, Decimal::Mod);
}
void Power(sqlite3_context* ctx, int, sqlite3_value** argv) { Binary(ctx, argv, Decimal::Power); }

// BITAND(a, b): each argument truncated toward zero, then ANDed in two's complement. Past 64
// bits the engine refuses (ORA-01426) rather than answer in fewer bits.
void BitAnd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  std::int64_t operands[2] = {0, 0};
  for (int arg_idx = 0; arg_idx < 2; ++arg_idx) {
    auto number = NumberArg(Arg(argv, arg_idx));
    if (!number) return ResultError(ctx, number.error());
    if (!*number) return sqlite3_result_null(ctx);
    std::optional<std::int64_t> whole = (*number)->ToInt64Truncated();
    if (!whole) return ResultError(ctx, Ora(1426, "numeric overflow"));
    operands[arg_idx] = *whole;
  }
  sqlite3_result_int64(ctx, operands[0] & operands[1]);
}

// WIDTH_BUCKET(x, min, max, buckets): which of `buckets` equal parts of [min, max) holds x, 0
// below the range and buckets + 1 above it; a range given from high to low counts downward.
OraResult<std::optional<Decimal>> WidthBucket(sqlite3_value** argv) {
  std::optional<Decimal> values[4];
  for (int arg_idx = 0; arg_idx < 4; ++arg_idx) {
    VK_ASSIGN_OR_ORA_RETURN(values[arg_idx], NumberArg(Arg(argv, arg_idx)));
    if (arg_idx > 0 && !values[arg_idx]) {
      return OraErr(Ora(30494, fmt::format("The argument [{}] of WIDTH_BUCKET function is NULL "
                                           "or invalid.",
                                           arg_idx + 1)));
    }
  }
  const Decimal& low = *values[1];
  const Decimal& high = *values[2];
  std::optional<std::int64_t> buckets = values[3]->ToInt64Exact();
  if (!buckets || *buckets <= 0) {
    return OraErr(Ora(30494, "The argument [4] of WIDTH_BUCKET function is NULL or invalid."));
  }
  if (Decimal::Compare(low, high) == 0) {
    return OraErr(Ora(30494, "The argument [3] of WIDTH_BUCKET function is NULL or invalid."));
  }
  if (!values[0]) return std::optional<Decimal>();
  const Decimal& x = *values[0];
  const bool upward = Decimal::Compare(low, high) < 0;
  const int sign = upward ? 1 : -1;
  if (Decimal::Compare(x, low) * sign < 0) return std::optional<Decimal>(Decimal::FromInt64(0));
  if (Decimal::Compare(x, high) * sign >= 0) {
    return std::optional<Decimal>(Decimal::FromInt64(*buckets + 1));
  }
  VK_ASSIGN_OR_ORA_RETURN(Decimal offset, upward ? Decimal::Sub(x, low) : Decimal::Sub(low, x));
  VK_ASSIGN_OR_ORA_RETURN(Decimal width,
                          upward ? Decimal::Sub(high, low) : Decimal::Sub(low, high));
  VK_ASSIGN_OR_ORA_RETURN(Decimal scaled, Decimal::Mul(offset, *values[3]));
  VK_ASSIGN_OR_ORA_RETURN(Decimal share, Decimal::Div(scaled, width));
  VK_ASSIGN_OR_ORA_RETURN(Decimal bucket, Decimal::Add(share.Floor(), Decimal::FromInt64(1)));
  return std::optional<Decimal>(bucket);
}

void WidthBucketFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  OraResult<std::optional<Decimal>> bucket = WidthBucket(argv);
  if (!bucket) return ResultError(ctx, bucket.error());
  if (!*bucket) return sqlite3_result_null(ctx);
  ResultNumber(ctx, **bucket);
}

// REMAINDER(m, n): m - n * N, N the whole number nearest m / n, the even one at a tie (MOD
// takes the floor instead).
OraResult<Decimal> Remainder(const Decimal& m, const Decimal& n) {
  VK_ASSIGN_OR_ORA_RETURN(Decimal quotient, Decimal::Div(m, n));
  Decimal nearest = quotient.Floor();
  VK_ASSIGN_OR_ORA_RETURN(Decimal fraction, Decimal::Sub(quotient, nearest));
  VK_ASSIGN_OR_ORA_RETURN(Decimal point_five, Decimal::Parse("0.5"));
  const int against_half = Decimal::Compare(fraction, point_five);
  VK_ASSIGN_OR_ORA_RETURN(Decimal parity, Decimal::Mod(nearest, Decimal::FromInt64(2)));
  if (against_half > 0 || (against_half == 0 && parity.Sign() != 0)) {
    VK_ASSIGN_OR_ORA_RETURN(nearest, Decimal::Add(nearest, Decimal::FromInt64(1)));
  }
  VK_ASSIGN_OR_ORA_RETURN(Decimal product, Decimal::Mul(n, nearest));
  return Decimal::Sub(m, product);
}
void RemainderFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Binary(ctx, argv, Remainder);
}

// vk_cast_text(text, length, char_semantics, pad, cut): CAST to CHAR (pad) or VARCHAR2 of
// `length` bytes, or characters with char_semantics. Character data longer than that is cut
// (`cut`, whole characters only); a number or a date written out longer is ORA-25137.
void VkCastText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  auto text = TextOf(value);
  if (!text) return ResultError(ctx, text.error());
  const std::int64_t length = sqlite3_value_int64(argv[1]);
  const bool characters = sqlite3_value_int(argv[2]) != 0;
  const bool pad = sqlite3_value_int(argv[3]) != 0;
  const bool cut = sqlite3_value_int(argv[4]) != 0;
  std::string_view bytes = text->view();
  // Where the text reaches `length` units, and how many units it has up to there.
  std::size_t end = 0;
  std::int64_t units = 0;
  while (end < bytes.size() && units < length) {
    std::size_t next = end + 1;
    while (next < bytes.size() && (static_cast<unsigned char>(bytes[next]) & 0xC0) == 0x80) ++next;
    if (!characters && static_cast<std::int64_t>(next) > length) break;
    end = next;
    units = characters ? units + 1 : static_cast<std::int64_t>(end);
  }
  if (end < bytes.size()) {
    if (!cut) return ResultError(ctx, Ora(25137, "Data value out of range"));
    bytes = bytes.substr(0, end);
  }
  if (!pad || units >= length) return ResultText(ctx, bytes);
  std::string padded(bytes);
  padded.append(static_cast<std::size_t>(length - units), ' ');
  ResultText(ctx, padded);
}

OraError OutOfRange(const Decimal& d) {
  return Ora(1428, "argument '" + d.ToOracleText() + "' is out of range");
}

void Exp(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv, [](const Decimal& d) -> OraResult<Decimal> {
    double value = std::exp(d.ToDouble());
    if (!std::isfinite(value)) return OraErr(NumericOverflow());
    return Decimal::FromDouble(value);
  });
}

void Ln(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Unary(ctx, argv, [](const Decimal& d) -> OraResult<Decimal> {
    if (d.Sign() <= 0) return OraErr(OutOfRange(d));
    return Decimal::FromDouble(std::log(d.ToDouble()));
  });
}

void Log(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Binary(ctx, argv, [](const Decimal& base, const Decimal& x) -> OraResult<Decimal> {
    if (base.Sign() <= 0 || base == Decimal::FromInt64(1)) return OraErr(OutOfRange(base));
    if (x.Sign() <= 0) return OraErr(OutOfRange(x));
    return Decimal::FromDouble(std::log(x.ToDouble()) / std::log(base.ToDouble()));
  });
}

bool DateArgument(sqlite3_context* ctx, sqlite3_value** argv, int index, Date* out) {
  auto date = DateArg(Arg(argv, index), Settings(ctx));
  if (!date) {
    ResultError(ctx, date.error());
    return false;
  }
  if (!*date) {
    sqlite3_result_null(ctx);
    return false;
  }
  *out = **date;
  return true;
}

void AddMonthsFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date;
  if (!DateArgument(ctx, argv, 0, &date)) return;
  auto months = NumberArg(Arg(argv, 1));
  if (!months) return ResultError(ctx, months.error());
  if (!*months) return sqlite3_result_null(ctx);
  auto result = AddMonths(date, **months);
  if (!result) return ResultError(ctx, result.error());
  ResultDate(ctx, *result);
}

void MonthsBetweenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date d1;
  Date d2;
  if (!DateArgument(ctx, argv, 0, &d1) || !DateArgument(ctx, argv, 1, &d2)) return;
  auto result = MonthsBetween(d1, d2);
  if (!result) return ResultError(ctx, result.error());
  ResultNumber(ctx, *result);
}

void LastDayFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date;
  if (!DateArgument(ctx, argv, 0, &date)) return;
  ResultDate(ctx, LastDay(date));
}

void NextDayFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  Date date;
  if (!DateArgument(ctx, argv, 0, &date)) return;
  SqlValue weekday = Arg(argv, 1);
  if (IsNull(weekday)) return sqlite3_result_null(ctx);
  auto text = TextOf(weekday);
  if (!text) return ResultError(ctx, text.error());
  auto result = NextDay(date, text->view());
  if (!result) return ResultError(ctx, result.error());
  ResultDate(ctx, *result);
}

// VSIZE: the bytes of Oracle's internal form. A number takes an exponent byte, one byte per pair
// of decimal digits (pairs aligned on the point) and, when negative, a terminator byte; a date 7
// bytes; text its length in bytes.
void Vsize(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlValue value = Arg(argv, 0);
  if (IsNull(value)) return sqlite3_result_null(ctx);
  if (StoredDateOf(value)) return sqlite3_result_int(ctx, 7);
  bool numeric = value.kind == SqlValue::Kind::kInteger || value.kind == SqlValue::Kind::kReal ||
                 (value.kind == SqlValue::Kind::kText && IsCanonicalNumberText(value.text));
  if (!numeric) return sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(value.text.size()));
  auto number = NumberOf(value);
  if (!number) return ResultError(ctx, number.error());
  const Decimal& d = number->value();
  if (d.is_zero()) return sqlite3_result_int(ctx, 1);
  int digits = d.SignificantDigits() + (d.Exponent() % 2 != 0 ? 1 : 0);
  int pairs = (digits + 1) / 2;
  int bytes = 1 + pairs + (d.is_negative() && pairs < 20 ? 1 : 0);
  sqlite3_result_int(ctx, bytes);
}

constexpr FunctionDef kConversionFunctions[] = {
    // A third argument (NLS parameters) is accepted and has no effect: the language is
    // always American and the separators "." and ",".
    {"to_char", 1, 3, false, ToChar},
    {"to_number", 1, 3, true, ToNumber},
    {"to_date", 1, 3, false, ToDate},
    {"round", 1, 2, true, Round},
    {"trunc", 1, 2, true, Trunc},
    {"abs", 1, 1, true, Abs},
    {"sign", 1, 1, true, Sign},
    {"ceil", 1, 1, true, Ceil},
    {"floor", 1, 1, true, Floor},
    {"sqrt", 1, 1, true, Sqrt},
    {"mod", 2, 2, true, Mod},
    {"power", 2, 2, true, Power},
    {"bitand", 2, 2, true, BitAnd},
    {"width_bucket", 4, 4, true, WidthBucketFunction},
    {"remainder", 2, 2, true, RemainderFunction},
    {"vk_cast_text", 5, 5, true, VkCastText},
    {"exp", 1, 1, true, Exp},
    {"ln", 1, 1, true, Ln},
    {"log", 2, 2, true, Log},
    {"add_months", 2, 2, false, AddMonthsFunction},
    {"months_between", 2, 2, false, MonthsBetweenFunction},
    {"last_day", 1, 1, false, LastDayFunction},
    {"next_day", 2, 2, false, NextDayFunction},
    {"vsize", 1, 1, true, Vsize},
};

}  // namespace

std::span<const FunctionDef> ConversionFunctions() { return kConversionFunctions; }

}  // namespace volmek::engine::fn
