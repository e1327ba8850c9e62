#include "engine/functions/functions.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "engine/functions/function_support.h"
#include "engine/values/collation.h"

namespace volmek::engine {

namespace fn {

const SessionSettings& Settings(sqlite3_context* ctx) {
  return *static_cast<const SessionSettings*>(sqlite3_user_data(ctx));
}

Date CurrentDate(sqlite3_context* ctx) {
  const SessionSettings& settings = Settings(ctx);
  return settings.fixed_sysdate ? *settings.fixed_sysdate : Now();
}

bool IsNull(const SqlValue& value) {
  if (value.kind == SqlValue::Kind::kNull) return true;
  bool textual = value.kind == SqlValue::Kind::kText || value.kind == SqlValue::Kind::kBlob;
  return textual && value.text.empty();
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (IsNull(Arg(argv, i))) return true;
  }
  return false;
}

void ResultError(sqlite3_context* ctx, const OraError& error) {
  sqlite3_result_error(ctx, error.message.c_str(), static_cast<int>(error.message.size()));
}

void ResultNumber(sqlite3_context* ctx, const Decimal& value) {
  if (std::optional<std::int64_t> integer = value.ToInt64Exact()) {
    sqlite3_result_int64(ctx, *integer);
  } else if (value.IsExactDouble()) {
    sqlite3_result_double(ctx, value.ToDouble());
  } else {
    std::string text = value.ToCanonical();
    sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
}

void ResultText(sqlite3_context* ctx, std::string_view text) {
  if (text.empty()) {
    sqlite3_result_null(ctx);
    return;
  }
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    sqlite3_result_error_toobig(ctx);
    return;
  }
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ResultText(sqlite3_context* ctx, const std::string& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      std::memchr(text.data(), '\0', text.size()) != nullptr) {
    return ResultText(ctx, std::string_view(text));
  }
  // A negative length: SQLite measures the text itself and keeps its terminator.
  sqlite3_result_text(ctx, text.c_str(), -1, SQLITE_TRANSIENT);
}

void ResultDate(sqlite3_context* ctx, const Date& date) {
  std::string text;
  AppendStoredText(date, text);
  // With its terminator (a date's text has no NUL), as ResultText hands texts over.
  sqlite3_result_text(ctx, text.c_str(), -1, SQLITE_TRANSIENT);
}

bool TextArgument(sqlite3_context* ctx, sqlite3_value** argv, int index, TextArg* out) {
  SqlValue value = Arg(argv, index);
  if (IsNull(value)) {
    sqlite3_result_null(ctx);
    return false;
  }
  auto text = TextOf(value);
  if (!text) {
    ResultError(ctx, text.error());
    return false;
  }
  *out = std::move(*text);
  return true;
}

OraResult<TextArg> TextOf(const SqlValue& value) {
  switch (value.kind) {
    case SqlValue::Kind::kInteger:
      return TextArg::Own(std::to_string(value.integer));
    case SqlValue::Kind::kReal: {
      VK_ASSIGN_OR_ORA_RETURN(Decimal number, Decimal::FromDouble(value.real));
      return TextArg::Own(number.ToOracleText());
    }
    default:
      return TextArg::Borrow(value.text);
  }
}

OraResult<std::optional<Decimal>> NumberArg(const SqlValue& value) {
  if (IsNull(value)) return std::optional<Decimal>();
  return NumberOf(value);
}

OraResult<std::optional<long long>> IntegerArg(const SqlValue& value) {
  if (value.kind == SqlValue::Kind::kInteger) {
    constexpr long long kLimit = 1LL << 53;
    return std::optional<long long>(std::clamp<long long>(value.integer, -kLimit, kLimit));
  }
  VK_ASSIGN_OR_ORA_RETURN(std::optional<Decimal> number, NumberArg(value));
  if (!number) return std::optional<long long>();
  constexpr long long kLimit = 1LL << 53;
  std::optional<std::int64_t> truncated = number->ToInt64Truncated();
  long long v = truncated ? std::clamp<long long>(*truncated, -kLimit, kLimit)
                          : (number->is_negative() ? -kLimit : kLimit);
  return std::optional<long long>(v);
}

std::optional<Date> StoredDateOf(const SqlValue& value) {
  if (value.kind != SqlValue::Kind::kText) return std::nullopt;
  return ParseStoredText(value.text);
}

OraResult<std::optional<Date>> DateArg(const SqlValue& value, const SessionSettings& settings) {
  if (IsNull(value)) return std::optional<Date>();
  if (value.kind == SqlValue::Kind::kInteger || value.kind == SqlValue::Kind::kReal) {
    return OraErr(Ora(932, "inconsistent datatypes: expected DATE got NUMBER"));
  }
  if (std::optional<Date> stored = ParseStoredText(value.text)) return stored;
  VK_ASSIGN_OR_ORA_RETURN(Date date, ParseDate(value.text, settings.nls_date_format, Now()));
  return std::optional<Date>(date);
}

OraError WrongArgumentCount() { return Ora(909, "invalid number of arguments"); }

}  // namespace fn

namespace {

using fn::Arg;
using fn::IsNull;
using fn::ResultError;
using fn::ResultNumber;

// Applies `op` to two number arguments; NULL in gives NULL out.
template <typename Op>
void Arithmetic(sqlite3_context* ctx, sqlite3_value** argv, Op op) {
  auto a = fn::NumberArg(Arg(argv, 0));
  if (!a) return ResultError(ctx, a.error());
  auto b = fn::NumberArg(Arg(argv, 1));
  if (!b) return ResultError(ctx, b.error());
  if (!*a || !*b) return sqlite3_result_null(ctx);
  OraResult<Decimal> result = op(**a, **b);
  if (!result) return ResultError(ctx, result.error());
  ResultNumber(ctx, *result);
}

// Two INTEGER arguments whose result `op` fits 64 bits: that result, which is what the exact
// arithmetic gives for them (an integer of at most 19 digits). False otherwise.
template <typename Op>
bool IntegerArithmetic(sqlite3_context* ctx, sqlite3_value** argv, Op op) {
  if (sqlite3_value_type(argv[0]) != SQLITE_INTEGER ||
      sqlite3_value_type(argv[1]) != SQLITE_INTEGER) {
    return false;
  }
  long long result = 0;
  if (op(sqlite3_value_int64(argv[0]), sqlite3_value_int64(argv[1]), &result)) return false;
  sqlite3_result_int64(ctx, result);
  return true;
}

void VkAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IntegerArithmetic(ctx, argv, [](long long a, long long b, long long* r) {
        return __builtin_add_overflow(a, b, r);
      })) {
    return;
  }
  Arithmetic(ctx, argv, Decimal::Add);
}
void VkSub(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IntegerArithmetic(ctx, argv, [](long long a, long long b, long long* r) {
        return __builtin_sub_overflow(a, b, r);
      })) {
    return;
  }
  Arithmetic(ctx, argv, Decimal::Sub);
}
void VkMul(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IntegerArithmetic(ctx, argv, [](long long a, long long b, long long* r) {
        return __builtin_mul_overflow(a, b, r);
      })) {
    return;
  }
  Arithmetic(ctx, argv, Decimal::Mul);
}
void VkDiv(sqlite3_context* ctx, int, sqlite3_value** argv) { Arithmetic(ctx, argv, Decimal::Div); }

// vk_cmp(a, b): -1, 0 or 1 by numeric value; NULL when either is NULL. For comparisons whose
// operands may travel as canonical text (SQLite orders any TEXT after any number).
void VkCmp(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto a = fn::NumberArg(Arg(argv, 0));
  if (!a) return ResultError(ctx, a.error());
  auto b = fn::NumberArg(Arg(argv, 1));
  if (!b) return ResultError(ctx, b.error());
  if (!*a || !*b) return sqlite3_result_null(ctx);
  sqlite3_result_int(ctx, Decimal::Compare(**a, **b));
}

// vk_numtext(x): the canonical TEXT of a number, whatever SQLite type it travels as. With
// COLLATE VKNUM it orders computed numbers exactly (SQLite puts every TEXT after every INTEGER and
// REAL, so a mix of the three does not sort by value).
void VkNumText(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto a = fn::NumberArg(Arg(argv, 0));
  if (!a) return ResultError(ctx, a.error());
  if (!*a) return sqlite3_result_null(ctx);
  std::string text = (*a)->ToCanonical();
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void VkNeg(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto a = fn::NumberArg(Arg(argv, 0));
  if (!a) return ResultError(ctx, a.error());
  if (!*a) return sqlite3_result_null(ctx);
  ResultNumber(ctx, a->value().Negated());
}

// The text a value takes in a concatenation: numbers as TO_CHAR gives them, dates in the
// session's date format.
OraResult<fn::TextArg> ConcatText(sqlite3_context* ctx, const SqlValue& value) {
  if (std::optional<Date> date = fn::StoredDateOf(value)) {
    VK_ASSIGN_OR_ORA_RETURN(std::string text, FormatDate(*date, fn::Settings(ctx).nls_date_format));
    return fn::TextArg::Own(std::move(text));
  }
  return fn::TextOf(value);
}

void VkConcat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::string result;
  for (int i = 0; i < argc; ++i) {
    SqlValue value = Arg(argv, i);
    if (IsNull(value)) continue;
    auto text = ConcatText(ctx, value);
    if (!text) return ResultError(ctx, text.error());
    result.append(text->view());
  }
  fn::ResultText(ctx, result);
}

void VkDateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlValue a = Arg(argv, 0);
  SqlValue b = Arg(argv, 1);
  if (IsNull(a) || IsNull(b)) return sqlite3_result_null(ctx);
  // n + date arrives with the operands the other way round.
  if (!fn::StoredDateOf(a) && fn::StoredDateOf(b)) std::swap(a, b);
  if (fn::StoredDateOf(b)) {
    return ResultError(ctx, Ora(975, "date + date not allowed"));
  }
  auto date = fn::DateArg(a, fn::Settings(ctx));
  if (!date) return ResultError(ctx, date.error());
  auto days = fn::NumberArg(b);
  if (!days) return ResultError(ctx, days.error());
  auto result = AddDays(**date, **days);
  if (!result) return ResultError(ctx, result.error());
  fn::ResultDate(ctx, *result);
}

void VkDateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  auto d1 = fn::DateArg(Arg(argv, 0), fn::Settings(ctx));
  if (!d1) return ResultError(ctx, d1.error());
  auto d2 = fn::DateArg(Arg(argv, 1), fn::Settings(ctx));
  if (!d2) return ResultError(ctx, d2.error());
  if (!*d1 || !*d2) return sqlite3_result_null(ctx);
  auto days = DaysBetween(**d1, **d2);
  if (!days) return ResultError(ctx, days.error());
  ResultNumber(ctx, *days);
}

void VkDateSub(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  SqlValue b = Arg(argv, 1);
  // date - date is a number of days, whichever operator the translator picked.
  if (fn::StoredDateOf(b)) return VkDateDiff(ctx, argc, argv);
  SqlValue a = Arg(argv, 0);
  if (IsNull(a) || IsNull(b)) return sqlite3_result_null(ctx);
  auto date = fn::DateArg(a, fn::Settings(ctx));
  if (!date) return ResultError(ctx, date.error());
  auto days = fn::NumberArg(b);
  if (!days) return ResultError(ctx, days.error());
  auto result = AddDays(**date, (*days)->Negated());
  if (!result) return ResultError(ctx, result.error());
  fn::ResultDate(ctx, *result);
}

void VkSysdate(sqlite3_context* ctx, int, sqlite3_value**) {
  fn::ResultDate(ctx, fn::CurrentDate(ctx));
}

std::optional<int> OptionalInt(sqlite3_value* value) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
  return sqlite3_value_int(value);
}

std::string_view TextView(sqlite3_value* value) {
  const unsigned char* text = sqlite3_value_text(value);
  if (text == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(text),
                          static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

// vk_nls(name): the session's value of an NLS parameter the engine honours, for the
// NLS_*_PARAMETERS views; DEFAULT_DATE_FORMAT is the format a session starts with.
void VkNls(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const SessionSettings& settings = fn::Settings(ctx);
  std::string_view name = TextView(argv[0]);
  if (name == "NLS_DATE_FORMAT") return fn::ResultText(ctx, settings.nls_date_format);
  if (name == "NLS_SORT") return fn::ResultText(ctx, settings.nls_sort);
  if (name == "DEFAULT_DATE_FORMAT") return fn::ResultText(ctx, kDefaultDateFormat);
  sqlite3_result_null(ctx);
}

// vk_connect_loop(closes_loop): 1, or ORA-01436 for a row of a hierarchical query that is
// one of its own ancestors.
void VkConnectLoop(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_int(argv[0]) != 0) {
    return ResultError(ctx, Ora(1436, "CONNECT BY loop in user data"));
  }
  sqlite3_result_int(ctx, 1);
}

// vk_connect_level(level, path, row_limit): `level`, or ORA-30009 once a hierarchical query
// has made more than `row_limit` rows by recursion, or a row's path from the root (whose
// length grows with its depth, and the work of each row with it) is longer than
// kMaxConnectPath bytes: a hierarchy that never ends stops there instead of growing without
// bound. The rows are counted per execution of the statement, on `row_limit`, a constant.
constexpr std::int64_t kMaxConnectPath = 64 * 1024;
void VkConnectLevel(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const OraError exhausted = Ora(30009, "Not enough memory for CONNECT BY operation");
  if (sqlite3_value_bytes(argv[1]) > kMaxConnectPath) return ResultError(ctx, exhausted);
  auto* rows = static_cast<std::int64_t*>(sqlite3_get_auxdata(ctx, 2));
  if (rows == nullptr) {
    sqlite3_set_auxdata(ctx, 2, new std::int64_t(0),
                        [](void* data) { delete static_cast<std::int64_t*>(data); });
    rows = static_cast<std::int64_t*>(sqlite3_get_auxdata(ctx, 2));
    if (rows == nullptr) return sqlite3_result_error_nomem(ctx);
  }
  if (++*rows > sqlite3_value_int64(argv[2])) return ResultError(ctx, exhausted);
  sqlite3_result_value(ctx, argv[0]);
}

// vk_store(value, type_code, length, precision, scale, owner, table, column[, char_semantics])
void VkStore(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // Loads call this once per value: the buffer is reused instead of allocated each time.
  thread_local std::string buffer;
  StoreTarget target;
  target.type_code = sqlite3_value_int(argv[1]);
  target.length = sqlite3_value_int64(argv[2]);
  target.precision = OptionalInt(argv[3]);
  target.scale = OptionalInt(argv[4]);
  target.owner = TextView(argv[5]);
  target.table = TextView(argv[6]);
  target.column = TextView(argv[7]);
  target.char_semantics = argc > 8 && sqlite3_value_int(argv[8]) != 0;
  OraResult<bool> stored = StoreValue(Arg(argv, 0), target, fn::Settings(ctx), &buffer);
  if (!stored) return ResultError(ctx, stored.error());
  if (!*stored) return sqlite3_result_null(ctx);
  fn::ResultText(ctx, buffer);
}

void Nvl(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_value(ctx, IsNull(Arg(argv, 0)) ? argv[1] : argv[0]);
}

// COALESCE: the first argument that is not NULL ('' counts as NULL, unlike SQLite's own).
void Coalesce(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 1) return ResultError(ctx, fn::WrongArgumentCount());
  for (int i = 0; i < argc; ++i) {
    if (!IsNull(Arg(argv, i))) return sqlite3_result_value(ctx, argv[i]);
  }
  sqlite3_result_null(ctx);
}

void Nvl2(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_result_value(ctx, IsNull(Arg(argv, 0)) ? argv[2] : argv[1]);
}

bool IsNumberKind(const SqlValue& v) {
  return v.kind == SqlValue::Kind::kInteger || v.kind == SqlValue::Kind::kReal;
}

// DECODE's comparison: NULL matches NULL; numbers compare by value; texts byte for byte.
bool DecodeMatches(const SqlValue& a, const SqlValue& b) {
  bool null_a = IsNull(a);
  bool null_b = IsNull(b);
  if (null_a || null_b) return null_a && null_b;
  if (IsNumberKind(a) || IsNumberKind(b)) {
    auto x = NumberOf(a);
    auto y = NumberOf(b);
    return x && y && *x && *y && Decimal::Compare(**x, **y) == 0;
  }
  return a.text == b.text;
}

void Decode(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 3) return ResultError(ctx, fn::WrongArgumentCount());
  SqlValue subject = Arg(argv, 0);
  int pair = 1;
  for (; pair + 1 < argc; pair += 2) {
    if (DecodeMatches(subject, Arg(argv, pair))) {
      return sqlite3_result_value(ctx, argv[pair + 1]);
    }
  }
  if (pair < argc) return sqlite3_result_value(ctx, argv[pair]);
  sqlite3_result_null(ctx);
}

// GREATEST and LEAST: numbers compare by value when the first argument is a number (or every
// argument is number text); otherwise texts compare byte for byte (dates in the stored form
// order chronologically that way).
void Extreme(sqlite3_context* ctx, int argc, sqlite3_value** argv, int wanted_sign) {
  if (argc < 1) return ResultError(ctx, fn::WrongArgumentCount());
  if (fn::AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  bool numeric = IsNumberKind(Arg(argv, 0));
  if (!numeric) {
    numeric = true;
    for (int i = 0; i < argc && numeric; ++i) {
      SqlValue v = Arg(argv, i);
      numeric = IsNumberKind(v) || IsCanonicalNumberText(v.text);
    }
  }
  int best = 0;
  if (numeric) {
    std::vector<Decimal> values;
    for (int i = 0; i < argc; ++i) {
      auto number = NumberOf(Arg(argv, i));
      if (!number) return ResultError(ctx, number.error());
      values.push_back(number->value_or(Decimal()));
    }
    for (int i = 1; i < argc; ++i) {
      if (Decimal::Compare(values[static_cast<std::size_t>(i)],
                           values[static_cast<std::size_t>(best)]) == wanted_sign) {
        best = i;
      }
    }
    return ResultNumber(ctx, values[static_cast<std::size_t>(best)]);
  }
  std::vector<fn::TextArg> texts;
  for (int i = 0; i < argc; ++i) {
    auto text = fn::TextOf(Arg(argv, i));
    if (!text) return ResultError(ctx, text.error());
    texts.push_back(std::move(*text));
  }
  for (int i = 1; i < argc; ++i) {
    int c = texts[static_cast<std::size_t>(i)].view().compare(
        texts[static_cast<std::size_t>(best)].view());
    if ((c > 0 ? 1 : (c < 0 ? -1 : 0)) == wanted_sign) best = i;
  }
  fn::ResultText(ctx, texts[static_cast<std::size_t>(best)].view());
}

void Greatest(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Extreme(ctx, argc, argv, 1); }
void Least(sqlite3_context* ctx, int argc, sqlite3_value** argv) { Extreme(ctx, argc, argv, -1); }

constexpr fn::FunctionDef kCoreFunctions[] = {
    {"vk_add", 2, 2, true, VkAdd},
    {"vk_sub", 2, 2, true, VkSub},
    {"vk_mul", 2, 2, true, VkMul},
    {"vk_div", 2, 2, true, VkDiv},
    {"vk_neg", 1, 1, true, VkNeg},
    {"vk_cmp", 2, 2, true, VkCmp},
    {"vk_numtext", 1, 1, true, VkNumText},
    {"vk_nls", 1, 1, false, VkNls},
    {"vk_connect_loop", 1, 1, true, VkConnectLoop},
    {"vk_connect_level", 3, 3, false, VkConnectLevel},
    {"vk_concat", 2, 2, false, VkConcat},
    {"concat", 2, 2, false, VkConcat},
    {"vk_date_add", 2, 2, false, VkDateAdd},
    {"vk_date_sub", 2, 2, false, VkDateSub},
    {"vk_date_diff", 2, 2, false, VkDateDiff},
    {"vk_sysdate", 0, 0, false, VkSysdate},
    {"sysdate", 0, 0, false, VkSysdate},
    {"vk_store", 8, 9, false, VkStore},
    {"nvl", 2, 2, true, Nvl},
    {"nvl2", 3, 3, true, Nvl2},
    {"coalesce", 1, -1, true, Coalesce},
    {"decode", 3, -1, true, Decode},
    {"greatest", 1, -1, true, Greatest},
    {"least", 1, -1, true, Least},
};

// Registers `def` for each of its argument counts (an exact count is what overrides SQLite's
// built-in of the same name), and once for any count: a function of variable arguments takes
// them there, a fixed one raises ORA-00909 instead of a SQLite message.
int RegisterOne(sqlite3* db, const fn::FunctionDef& def, void* user_data) {
  constexpr int kExactUpTo = 8;
  int flags = SQLITE_UTF8 | (def.deterministic ? SQLITE_DETERMINISTIC : 0);
  int last = def.max_args < 0 ? std::max(def.min_args, kExactUpTo) : def.max_args;
  int rc = SQLITE_OK;
  for (int count = def.min_args; count <= last && rc == SQLITE_OK; ++count) {
    rc = sqlite3_create_function_v2(db, def.name, count, flags, user_data, def.function, nullptr,
                                    nullptr, nullptr);
  }
  if (rc != SQLITE_OK) return rc;
  if (def.max_args < 0) {
    return sqlite3_create_function_v2(db, def.name, -1, flags, user_data, def.function, nullptr,
                                      nullptr, nullptr);
  }
  return sqlite3_create_function_v2(
      db, def.name, -1, flags, user_data,
      [](sqlite3_context* ctx, int, sqlite3_value**) {
        ResultError(ctx, fn::WrongArgumentCount());
      },
      nullptr, nullptr, nullptr);
}

}  // namespace

Status RegisterFunctions(sqlite3* db, const SessionSettings* settings) {
  VOLMEK_RETURN_IF_ERROR(RegisterCollations(db));
  // SQLite keeps the pointer as opaque user data and only hands it back to the functions,
  // which read it as const.
  void* user_data = const_cast<SessionSettings*>(settings);
  std::vector<std::span<const fn::FunctionDef>> groups = {
      std::span<const fn::FunctionDef>(kCoreFunctions),
      fn::TextFunctions(),
      fn::ConversionFunctions(),
      fn::TypedFunctions(),
      fn::CaseFunctions(),
      fn::RegexpFunctions(),
      fn::SessionFunctions(),
      fn::RecursiveWithFunctions()};
  for (std::span<const fn::FunctionDef> group : groups) {
    for (const fn::FunctionDef& def : group) {
      int rc = RegisterOne(db, def, user_data);
      if (rc != SQLITE_OK) {
        return Status::Database(std::string("No se puede registrar la funcion ") + def.name + ": " +
                                sqlite3_errstr(rc));
      }
    }
  }
  int rc = fn::RegisterAggregates(db, user_data);
  if (rc != SQLITE_OK) {
    return Status::Database(std::string("No se pueden registrar las funciones de agregado: ") +
                            sqlite3_errstr(rc));
  }
  return Status::Ok();
}

}  // namespace volmek::engine
