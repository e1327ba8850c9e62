// Emitter: function calls and CASE, with the types Oracle gives their results.
#include "engine/translate/emitter_internal.h"

#include <fmt/format.h>

#include <algorithm>

#include "engine/storage/sqlite_handle.h"
#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

int Emitter::DisplayLength(const Typed& typed) {
  switch (typed.type.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return 40;
    case TypeKind::kDate:
      return 9;
    case TypeKind::kRowid:
      return 18;
    case TypeKind::kRaw:
      return typed.type.length * 2;
    default:
      return typed.type.length;
  }
}

std::optional<int> Emitter::LiteralInt(const Expr& expr) {
  if (expr.kind != ExprKind::kNumber) return std::nullopt;
  double value = std::strtod(expr.literal.c_str(), nullptr);
  if (value < 0 || value > 32767) return std::nullopt;
  return static_cast<int>(value);
}

Typed Emitter::Widest(const std::vector<const Out*>& outs) {
  Typed typed = Typed::Null();
  for (const Out* out : outs) {
    if (typed.is_null) {
      typed = out->type;
      continue;
    }
    if (out->type.is_null) continue;
    if (typed.IsCharacter()) {
      typed.type.length = std::max(typed.type.length, DisplayLength(out->type));
    }
  }
  typed.nullable = true;
  return typed;
}

int Emitter::DateFormatWidth(std::string_view format) {
  int width = 0;
  std::string upper = UpperAscii(format);
  std::size_t pos = 0;
  auto starts = [&](std::string_view word) { return upper.compare(pos, word.size(), word) == 0; };
  while (pos < upper.size()) {
    if (starts("MONTH") || starts("DAY")) {
      width += 9;
      pos += starts("MONTH") ? 5 : 3;
    } else if (starts("YYYY") || starts("RRRR") || starts("HH24") || starts("HH12")) {
      width += starts("YYYY") || starts("RRRR") ? 4 : 2;
      pos += 4;
    } else if (starts("MON") || starts("DY")) {
      width += 3;
      pos += starts("MON") ? 3 : 2;
    } else if (starts("YY") || starts("RR") || starts("MM") || starts("DD") || starts("HH") ||
               starts("MI") || starts("SS") || starts("AM") || starts("PM")) {
      width += 2;
      pos += 2;
    } else {
      width += 1;
      pos += 1;
    }
  }
  return width;
}

bool Emitter::IsCharacterFunction(std::string_view name) {
  static constexpr std::array<std::string_view, 24> kNames = {
      "NLS_UPPER",    "NLS_LOWER",      "NLS_INITCAP",  "LENGTHB",    "SUBSTR",
      "INSTR",        "UPPER",          "LOWER",        "INITCAP",    "LTRIM",
      "RTRIM",        "LPAD",           "RPAD",         "LENGTH",     "REPLACE",
      "TRANSLATE",    "ASCII",          "VSIZE",        "SUBSTRB",    "REGEXP_SUBSTR",
      "REGEXP_INSTR", "REGEXP_REPLACE", "REGEXP_COUNT", "REGEXP_LIKE"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

std::string Emitter::TextSql(const Out& value) {
  if (value.type.IsNumeric() || value.type.IsDate()) return "to_char(" + value.sql + ")";
  return value.sql;
}

// GREATEST and LEAST compare as the first argument's type: the others are converted to it
// (text to a number or a date, numbers and dates to text), and a character first argument
// makes the comparison and the result VARCHAR2.
OraResult<Out> Emitter::Extreme(const Expr& expr, std::vector<Out> args) {
  Out out;
  for (const Out& arg : args) Merge(&out, arg);
  const Typed first = args[0].type;
  const bool greatest = expr.name == "GREATEST";
  std::string function;
  int length = 0;
  for (Out& arg : args) {
    if (first.IsNumeric()) {
      if (arg.type.IsDate()) return OraErr(932, "inconsistent datatypes: expected NUMBER got DATE");
      if (arg.type.IsCharacter()) arg.sql = "to_number(" + arg.sql + ")";
    } else if (first.IsDate()) {
      if (arg.type.IsNumeric())
        return OraErr(932, "inconsistent datatypes: expected DATE got NUMBER");
      if (arg.type.IsCharacter()) arg.sql = "to_date(" + arg.sql + ")";
    } else {
      arg.sql = TextSql(arg);
      length = std::max(length, DisplayLength(arg.type));
    }
  }
  if (first.IsNumeric()) {
    function = greatest ? "vk_greatest_num" : "vk_least_num";
    out.type = Typed::Number();
  } else {
    function = greatest ? "vk_greatest_text" : "vk_least_text";
    out.type = first.IsDate() ? Typed::Date() : Typed::Varchar2(std::max(length, 1));
  }
  out.sql = function + "(";
  for (std::size_t idx = 0; idx < args.size(); ++idx) {
    out.sql += (idx == 0 ? "" : ", ") + args[idx].sql;
  }
  out.sql += ")";
  out.type.nullable = true;
  return out;
}

// NULLIF(a, b) compares as `a = b` does (numbers by value, whatever form they travel in);
// Oracle converts nothing between numbers and other types here.
OraResult<Out> Emitter::NullIf(std::vector<Out> args) {
  const Out& a = args[0];
  const Out& b = args[1];
  auto name = [](const Out& out) {
    return out.type.IsNumeric() ? "NUMBER" : out.type.IsDate() ? "DATE" : "CHAR";
  };
  if (!a.type.is_null && !b.type.is_null && std::string_view(name(a)) != name(b)) {
    return OraErr(932, fmt::format("inconsistent datatypes: expected {} got {}", name(a), name(b)));
  }
  Out out;
  Merge(&out, a);
  Merge(&out, b);
  out.sql = "(CASE WHEN " + CompareSql(a, b, "=") + " THEN NULL ELSE " + a.sql + " END)";
  out.type = a.type.IsNumeric() ? Typed::Number() : a.type;
  out.type.nullable = true;
  return out;
}

// EXTRACT reads a DATE as ANSI's DATE, which has no time of day: HOUR, MINUTE, SECOND and the
// time zone fields are ORA-30076, as they are for a source that is no datetime.
OraResult<Out> Emitter::Extract(const Expr& expr, const Ctx& ctx) {
  VK_ASSIGN_OR_ORA_RETURN(Out source, Value(*expr.args[0], ctx));
  std::string_view format;
  if (expr.op == "YEAR") format = "YYYY";
  if (expr.op == "MONTH") format = "MM";
  if (expr.op == "DAY") format = "DD";
  if (format.empty() || !(source.type.IsDate() || source.type.is_null)) {
    return OraErr(30076, "invalid extract field for extract source");
  }
  Out out;
  Merge(&out, source);
  out.sql = "to_number(to_char(" + source.sql + ", '" + std::string(format) + "'))";
  out.type = Typed::Number();
  return out;
}

// A stored function: vk_call('OWNER', 'NAME', arguments...), each argument converted to its
// parameter's type as Oracle converts them implicitly.
// CAST(x AS type). To NUMBER: numbers and number text, rounded to the scale (ORA-01438 past
// the precision, ORA-01722 for text that is no number). To DATE: dates, and text read with the
// session's date format. To CHAR or VARCHAR2: character data cut to the length, as Oracle's
// CAST does; numbers and dates written as TO_CHAR writes them, ORA-25137 when that is longer.
// A date never becomes a number, nor a number a date (ORA-00932).
OraResult<Out> Emitter::Cast(const Expr& expr, const Ctx& ctx) {
  VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*expr.args[0], ctx));
  const SqlType& target = *expr.cast_type;
  const Typed source = out.type;
  const auto inconsistent = [](std::string_view expected, std::string_view got) {
    return OraErr(932, fmt::format("inconsistent datatypes: expected {} got {}", expected, got));
  };
  auto store = [&](int type_code, std::optional<int> precision, std::optional<int> scale) {
    return fmt::format("vk_store({}, {}, 22, {}, {}, '', '', '')", out.sql, type_code,
                       precision ? std::to_string(*precision) : "NULL",
                       scale ? std::to_string(*scale) : "NULL");
  };
  switch (target.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      if (!source.is_null && source.IsDate()) return inconsistent("NUMBER", "DATE");
      if (!source.is_null) {
        const bool plain = target.kind == TypeKind::kFloat || !target.scale.has_value();
        if (!source.IsNumeric() || !plain) {
          out.sql = target.kind == TypeKind::kFloat ? store(2, std::nullopt, std::nullopt)
                                                    : store(2, target.precision, target.scale);
        }
      }
      break;
    case TypeKind::kDate:
      if (!source.is_null && source.IsNumeric()) return inconsistent("DATE", "NUMBER");
      if (!source.is_null && !source.IsDate()) out.sql = store(12, std::nullopt, std::nullopt);
      break;
    case TypeKind::kChar:
    case TypeKind::kVarchar2:
      if (!source.is_null) {
        out.sql = fmt::format("vk_cast_text({}, {}, {}, {}, {})", TextSql(out), target.length,
                              target.char_semantics ? 1 : 0, target.kind == TypeKind::kChar ? 1 : 0,
                              source.IsCharacter() ? 1 : 0);
      }
      break;
    default:
      return OraErr(Unimplemented());
  }
  if (source.is_null) out.sql = "NULL";
  out.type.type = target;
  out.type.is_null = false;
  out.type.nullable = source.nullable || source.is_null;
  out.stored = false;
  return out;
}

namespace {

enum class Family { kUnknown, kNull, kNumber, kText, kDate, kBool };

Family FamilyOf(const Typed& typed) {
  if (typed.is_null) return Family::kNull;
  if (typed.IsNumeric()) return Family::kNumber;
  if (typed.IsDate()) return Family::kDate;
  if (typed.IsCharacter()) return Family::kText;
  return Family::kUnknown;
}

Family FamilyOf(const StoredFunctionInfo::Param& param) {
  if (!param.known) return Family::kUnknown;
  if (param.boolean) return Family::kBool;
  switch (param.kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      return Family::kNumber;
    case TypeKind::kDate:
      return Family::kDate;
    default:
      return Family::kText;
  }
}

// How well an argument of family `given` fits a parameter of family `wanted`: 2 as it is, 1
// through the implicit conversions between characters and numbers or dates, 0 not at all.
int FitOf(Family given, Family wanted) {
  if (given == wanted || given == Family::kNull) return 2;
  const bool scalar = given == Family::kNumber || given == Family::kDate ||
                      wanted == Family::kNumber || wanted == Family::kDate;
  return (given == Family::kText || wanted == Family::kText) && scalar ? 1 : 0;
}

// Of the functions of one name a package declares, the one a call from SQL with `args`
// calls, as PL/SQL chooses: of those the number of arguments fits, the one whose parameters
// all have the families of the arguments, else the one reached by converting between
// characters and numbers or dates. A tie, or one that turns on a type SQL does not see, is
// refused rather than guessed.
OraResult<const StoredFunctionInfo*> ChooseOverload(const StoredFunctionInfo& function,
                                                    const std::vector<Out>& args) {
  std::vector<const StoredFunctionInfo*> fitting;
  for (const StoredFunctionInfo& candidate : function.overloads) {
    bool fits = args.size() <= candidate.params.size();
    for (std::size_t idx = args.size(); fits && idx < candidate.params.size(); ++idx) {
      fits = candidate.params[idx].has_default;
    }
    if (fits) fitting.push_back(&candidate);
  }
  if (fitting.size() == 1) return fitting[0];
  auto refused = [&]() {
    return OraErr(6553, fmt::format("PLS-999: implementation restriction (may be temporary) "
                                    "overloads of '{}' this call cannot choose from",
                                    function.name));
  };
  std::vector<int> fits(fitting.size(), 2);
  for (std::size_t idx = 0; idx < args.size(); ++idx) {
    const Family given = FamilyOf(args[idx].type);
    bool alike = true;
    bool unknown = given == Family::kUnknown;
    for (std::size_t i = 0; i < fitting.size(); ++i) {
      const Family wanted = FamilyOf(fitting[i]->params[idx]);
      alike = alike && wanted == FamilyOf(fitting[0]->params[idx]);
      unknown = unknown || wanted == Family::kUnknown;
      const bool any = given == Family::kUnknown || wanted == Family::kUnknown;
      fits[i] = std::min(fits[i], any ? 2 : FitOf(given, wanted));
    }
    if (unknown && !alike) return refused();
  }
  const int best = fits.empty() ? 0 : *std::max_element(fits.begin(), fits.end());
  if (best == 0) {
    return OraErr(6553, fmt::format("PLS-306: wrong number or types of arguments in call to "
                                    "'{}'",
                                    function.name));
  }
  if (std::count(fits.begin(), fits.end(), best) > 1) return refused();
  return fitting[static_cast<std::size_t>(std::find(fits.begin(), fits.end(), best) -
                                          fits.begin())];
}

}  // namespace

OraResult<Out> Emitter::StoredFunction(const Expr& expr, const StoredFunctionInfo& function,
                                       const Ctx& ctx) {
  if (!function.is_function) return OraErr(InvalidIdentifier(QuoteName(expr.name)));
  if (function.overloads.empty()) return StoredCall(expr, function, ctx, std::nullopt);
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
  VK_ASSIGN_OR_ORA_RETURN(const StoredFunctionInfo* chosen, ChooseOverload(function, args));
  return StoredCall(expr, *chosen, ctx, std::move(args));
}

OraResult<Out> Emitter::StoredCall(const Expr& expr, const StoredFunctionInfo& function,
                                   const Ctx& ctx, std::optional<std::vector<Out>> given) {
  if (!function.valid) {
    return OraErr(6575,
                  fmt::format("Package or function {} is in an invalid state", function.name));
  }
  if (function.returns_boolean) {
    return OraErr(6552,
                  "PL/SQL: Statement ignored\nORA-06553: PLS-382: expression is of wrong type");
  }
  for (const StoredFunctionInfo::Param& param : function.params) {
    if (param.out) return OraErr(6572, fmt::format("Function {} has out arguments", function.name));
  }
  const std::size_t count = expr.args.size();
  bool fits = !expr.star && !expr.distinct && count <= function.params.size();
  for (std::size_t idx = count; fits && idx < function.params.size(); ++idx) {
    fits = function.params[idx].has_default;
  }
  if (!fits) {
    return OraErr(6553, fmt::format("PLS-306: wrong number or types of arguments in call to "
                                    "'{}'",
                                    function.name));
  }
  std::vector<Out> args;
  if (given.has_value()) {
    args = std::move(*given);
  } else {
    VK_ASSIGN_OR_ORA_RETURN(args, Args(expr, ctx));
  }
  // One of several functions of its name is named by its place among them.
  const std::string name = function.overload < 0
                               ? function.name
                               : fmt::format("{}/{}", function.name, function.overload);
  Out out;
  out.sql = fmt::format("vk_call({}, {}", QuoteLiteral(function.owner), QuoteLiteral(name));
  for (std::size_t idx = 0; idx < args.size(); ++idx) {
    Out& arg = args[idx];
    Merge(&out, arg);
    const StoredFunctionInfo::Param& param = function.params[idx];
    if (param.boolean) {
      return OraErr(6553, fmt::format("PLS-306: wrong number or types of arguments in call to "
                                      "'{}'",
                                      function.name));
    }
    std::string sql = arg.sql;
    if (!arg.type.is_null) {
      if (param.kind == TypeKind::kNumber && !arg.type.IsNumeric()) {
        sql = "to_number(" + TextSql(arg) + ")";
      } else if (param.kind == TypeKind::kDate && !arg.type.IsDate()) {
        sql = "to_date(" + TextSql(arg) + ")";
      } else if (param.kind != TypeKind::kNumber && param.kind != TypeKind::kDate) {
        sql = TextSql(arg);
      }
    }
    out.sql += ", " + sql;
  }
  out.sql += ")";
  switch (function.return_kind) {
    case TypeKind::kNumber:
    case TypeKind::kFloat:
      out.type = Typed::Number();
      break;
    case TypeKind::kDate:
      out.type = Typed::Date();
      break;
    default:
      out.type = Typed::Varchar2(4000);
      break;
  }
  out.type.nullable = true;
  return out;
}

OraResult<Out> Emitter::Function(const Expr& expr, const Ctx& ctx) {
  if (expr.cast_type.has_value()) return Cast(expr, ctx);
  if (expr.over != nullptr || expr.within_group != nullptr || expr.ignore_nulls ||
      !expr.keep.empty() || IsAnalyticOnly(expr.name)) {
    return Analytic(expr, ctx);
  }
  if (!expr.qualifier.empty()) {
    // PACKAGE.FUNCTION: a function a package's interface declares.
    std::optional<StoredFunctionInfo> stored =
        schema_.FindStoredFunction(expr.qualifier + "." + expr.name);
    if (!stored.has_value()) {
      return OraErr(InvalidIdentifier(QuoteName(expr.qualifier) + "." + QuoteName(expr.name)));
    }
    return StoredFunction(expr, *stored, ctx);
  }
  if (expr.name == "GROUPING" || expr.name == "GROUPING_ID") return Grouping(expr, ctx);
  const FunctionSpec* spec = FindFunction(expr.name);
  if (spec == nullptr) {
    if (std::optional<StoredFunctionInfo> stored = schema_.FindStoredFunction(expr.name)) {
      return StoredFunction(expr, *stored, ctx);
    }
    return OraErr(InvalidIdentifier(QuoteName(expr.name)));
  }
  if (spec->aggregate && !ctx.aggregates) return OraErr(934, "group function is not allowed here");
  const int count = static_cast<int>(expr.args.size()) + (expr.star ? 1 : 0);
  if (count < spec->min_args || count > spec->max_args || (expr.star && expr.name != "COUNT")) {
    return OraErr(909, "invalid number of arguments");
  }
  // Aggregates inside an aggregate are not allowed; their arguments are not grouped.
  Ctx arg_ctx = ctx;
  if (spec->aggregate) {
    arg_ctx.aggregates = false;
    arg_ctx.analytics = false;
    arg_ctx.grouping = nullptr;
  }
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, arg_ctx));
  if (IsCharacterFunction(expr.name) && !args.empty()) args[0].sql = TextSql(args[0]);
  // TO_DATE reads text: a date or a number is first written as text, as Oracle converts it
  // (a date by the session's NLS_DATE_FORMAT, so TO_DATE(SYSDATE) drops the time of day).
  if (expr.name == "TO_DATE" && !args.empty()) args[0].sql = TextSql(args[0]);
  if (expr.name == "CONCAT") {
    for (Out& arg : args) arg.sql = TextSql(arg);
  }
  if (expr.name == "GREATEST" || expr.name == "LEAST") return Extreme(expr, std::move(args));
  if (expr.name == "NULLIF") return NullIf(std::move(args));
  if (spec->aggregate && args.size() == 1 &&
      (expr.distinct || expr.name == "MIN" || expr.name == "MAX")) {
    args[0].sql = SortKey(args[0]);
  }
  Out out;
  for (const Out& arg : args) Merge(&out, arg);
  out.sql = (expr.name == "CONCAT" ? std::string("vk_cat") : Lower(expr.name)) + "(";
  if (expr.star) {
    out.sql += "*";
  } else {
    if (expr.distinct) out.sql += "DISTINCT ";
    for (std::size_t idx = 0; idx < args.size(); ++idx) {
      out.sql += (idx == 0 ? "" : ", ") + args[idx].sql;
    }
  }
  out.sql += ")";
  if (spec->aggregate) {
    out.aggregate = true;
    out.bare = false;
  }
  const Typed first = args.empty() ? Typed::Number() : args[0].type;
  switch (spec->rule) {
    case Rule::kNumber:
      out.type = Typed::Number();
      if (expr.name == "COUNT") out.type.nullable = true;
      break;
    case Rule::kArg0: {
      std::vector<const Out*> all;
      for (const Out& arg : args) all.push_back(&arg);
      if (expr.name == "NVL" || expr.name == "GREATEST" || expr.name == "LEAST" ||
          expr.name == "COALESCE") {
        out.type = Widest(all);
      } else {
        out.type = first;
        out.type.nullable = true;
      }
      if (out.type.IsNumeric() && expr.name != "NVL") out.type = Typed::Number();
      break;
    }
    case Rule::kVarchar0:
      out.type = Typed::Varchar2(DisplayLength(first));
      if (expr.name == "REPLACE") out.type = Typed::Varchar2(std::max(DisplayLength(first), 1));
      break;
    case Rule::kDate:
      out.type = Typed::Date();
      break;
    case Rule::kSubstr: {
      int length = DisplayLength(first);
      if (expr.args.size() == 3) {
        if (auto literal = LiteralInt(*expr.args[2])) length = *literal;
      }
      out.type = Typed::Varchar2(length);
      break;
    }
    case Rule::kPad: {
      auto literal = LiteralInt(*expr.args[1]);
      out.type = Typed::Varchar2(literal.has_value() ? *literal : 4000);
      break;
    }
    case Rule::kToChar: {
      if (first.IsDate()) {
        int width = 75;
        if (args.size() >= 2 && expr.args[1]->kind == ExprKind::kString) {
          width = DateFormatWidth(expr.args[1]->literal);
        }
        out.type = Typed::Varchar2(width);
      } else if (first.IsNumeric() || first.is_null) {
        int width = 40;
        if (args.size() >= 2 && expr.args[1]->kind == ExprKind::kString) {
          width = static_cast<int>(expr.args[1]->literal.size()) + 1;
        }
        out.type = Typed::Varchar2(width);
      } else {
        out.type = Typed::Varchar2(DisplayLength(first));
      }
      break;
    }
    case Rule::kDecode: {
      std::vector<const Out*> results;
      for (std::size_t idx = 2; idx < args.size(); idx += 2) results.push_back(&args[idx]);
      if (args.size() % 2 == 0) results.push_back(&args.back());
      out.type = Widest(results);
      if (out.type.IsNumeric()) out.type = Typed::Number();
      break;
    }
    case Rule::kNvl2: {
      std::vector<const Out*> results = {&args[1], &args[2]};
      out.type = Widest(results);
      break;
    }
    case Rule::kRoundTrunc:
      out.type = first.IsDate() ? Typed::Date() : Typed::Number();
      break;
    case Rule::kMinMax:
      out.type = first.IsNumeric() ? Typed::Number() : first;
      out.type.nullable = true;
      break;
    case Rule::kChr:
      out.type = Typed::Varchar2(1);
      break;
    case Rule::kConcat:
      out.type = Typed::Varchar2(DisplayLength(args[0].type) + DisplayLength(args[1].type));
      break;
    case Rule::kLongText:
      out.type = Typed::Varchar2(4000);
      break;
    case Rule::kContext:
      out.type = Typed::Varchar2(256);
      break;
  }
  return out;
}

OraResult<Out> Emitter::Case(const Expr& expr, const Ctx& ctx) {
  Out out;
  out.sql = "CASE";
  std::size_t idx = 0;
  Out subject;
  if (expr.simple_case) {
    VK_ASSIGN_OR_ORA_RETURN(subject, Value(*expr.args[0], ctx));
    Merge(&out, subject);
    // A number is matched by value: both sides as canonical text, which is unique.
    out.sql += subject.type.IsNumeric() ? " vk_numtext(" + subject.sql + ")" : " " + subject.sql;
    idx = 1;
  }
  const std::size_t pairs_end = expr.has_else ? expr.args.size() - 1 : expr.args.size();
  std::vector<Out> results;
  for (; idx < pairs_end; idx += 2) {
    VK_ASSIGN_OR_ORA_RETURN(Out when, Value(*expr.args[idx], ctx));
    VK_ASSIGN_OR_ORA_RETURN(Out then, Value(*expr.args[idx + 1], ctx));
    Merge(&out, when);
    Merge(&out, then);
    if (expr.simple_case && !subject.type.is_null && !when.type.is_null) {
      // Oracle converts nothing here: numbers and texts do not mix.
      if (subject.type.IsNumeric() && when.type.IsCharacter()) {
        return OraErr(932, "inconsistent datatypes: expected NUMBER got CHAR");
      }
      if (subject.type.IsCharacter() && when.type.IsNumeric()) {
        return OraErr(932, "inconsistent datatypes: expected CHAR got NUMBER");
      }
      if (subject.type.IsNumeric()) when.sql = "vk_numtext(" + when.sql + ")";
    }
    out.sql += " WHEN " + when.sql + " THEN " + then.sql;
    results.push_back(std::move(then));
  }
  if (expr.has_else) {
    VK_ASSIGN_OR_ORA_RETURN(Out otherwise, Value(*expr.args.back(), ctx));
    Merge(&out, otherwise);
    out.sql += " ELSE " + otherwise.sql;
    results.push_back(std::move(otherwise));
  }
  out.sql += " END";
  std::vector<const Out*> all;
  for (const Out& result : results) all.push_back(&result);
  out.type = Widest(all);
  if (out.type.IsNumeric()) out.type = Typed::Number();
  return out;
}

}  // namespace volmek::engine::emitter_internal
