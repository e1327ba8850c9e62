// Emitter: analytic functions (f(...) OVER (...)) as SQLite window functions, LISTAGG, and
// GROUPING / GROUPING_ID.
//
// SQLite's windows mean what Oracle's do once three things are written out: the ORDER BY of a
// window sorts NULLs last ascending and first descending (Oracle's default, unlike SQLite's),
// computed numbers are sorted and partitioned by their canonical text under the numeric
// collation (as ORDER BY does), and SUM and AVG are the engine's exact decimal aggregates.
// The default window is the same in both: with ORDER BY, RANGE BETWEEN UNBOUNDED PRECEDING AND
// CURRENT ROW (the current row's peers included); without it, the whole partition.
#include "engine/translate/emitter_internal.h"

#include <fmt/format.h>

#include "engine/syntax/lexer.h"

namespace volmek::engine::emitter_internal {

namespace {

enum class Family {
  kRanking,       // ROW_NUMBER, RANK, DENSE_RANK: an ORDER BY, no arguments, no frame
  kNtile,         // NTILE(n): an ORDER BY, no frame
  kOffset,        // LAG, LEAD (x [, offset [, default]]): an ORDER BY, no frame
  kDistribution,  // CUME_DIST, PERCENT_RANK: an ORDER BY, no frame; exact fractions
  kRatio,         // RATIO_TO_REPORT(x): x over the partition's SUM(x); no ORDER BY
  kValue,         // FIRST_VALUE, LAST_VALUE, NTH_VALUE(x, n): any window
  kAggregate,     // COUNT, SUM, AVG, MIN, MAX: any window
};

struct AnalyticSpec {
  std::string_view name;
  int min_args;
  int max_args;
  Family family;
};

constexpr std::array<AnalyticSpec, 17> kAnalytics = {{
    {"RATIO_TO_REPORT", 1, 1, Family::kRatio},
    {"CUME_DIST", 0, 0, Family::kDistribution},
    {"PERCENT_RANK", 0, 0, Family::kDistribution},
    {"NTH_VALUE", 2, 2, Family::kValue},
    {"ROW_NUMBER", 0, 0, Family::kRanking},
    {"RANK", 0, 0, Family::kRanking},
    {"DENSE_RANK", 0, 0, Family::kRanking},
    {"NTILE", 1, 1, Family::kNtile},
    {"LAG", 1, 3, Family::kOffset},
    {"LEAD", 1, 3, Family::kOffset},
    {"FIRST_VALUE", 1, 1, Family::kValue},
    {"LAST_VALUE", 1, 1, Family::kValue},
    {"COUNT", 1, 1, Family::kAggregate},
    {"SUM", 1, 1, Family::kAggregate},
    {"AVG", 1, 1, Family::kAggregate},
    {"MIN", 1, 1, Family::kAggregate},
    {"MAX", 1, 1, Family::kAggregate},
}};

const AnalyticSpec* FindAnalytic(std::string_view name) {
  for (const AnalyticSpec& spec : kAnalytics) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

OraError NotAllowedHere() { return Ora(30483, "window  functions are not allowed here"); }

// A whole number written as a literal (a frame offset, LAG's offset, NTILE's buckets).
std::optional<long long> WholeLiteral(const Expr& expr) {
  if (expr.kind != ExprKind::kNumber) return std::nullopt;
  std::optional<double> value = NumberValue(expr);
  if (!value.has_value() || *value != std::floor(*value) || *value < 0 || *value > 1e15) {
    return std::nullopt;
  }
  return static_cast<long long>(*value);
}

// The bounds of a frame in their order along the partition.
int BoundRank(ast::FrameBound::Kind kind) {
  switch (kind) {
    case ast::FrameBound::Kind::kUnboundedPreceding:
      return 0;
    case ast::FrameBound::Kind::kPreceding:
      return 1;
    case ast::FrameBound::Kind::kCurrentRow:
      return 2;
    case ast::FrameBound::Kind::kFollowing:
      return 3;
    case ast::FrameBound::Kind::kUnboundedFollowing:
      return 4;
  }
  return 2;
}

}  // namespace

bool Emitter::IsAnalyticOnly(std::string_view name) {
  if (name == "LISTAGG") return true;
  const AnalyticSpec* spec = FindAnalytic(name);
  return spec != nullptr && spec->family != Family::kAggregate;
}

OraResult<std::string> Emitter::FrameSql(const ast::Window& window, const Ctx& ctx, int range_scale,
                                         bool* moving_start) {
  using Kind = ast::FrameBound::Kind;
  *moving_start = false;
  if (window.units.empty()) return std::string();
  const ast::FrameBound& start = window.start;
  const ast::FrameBound& end = window.end;
  if (start.kind == Kind::kUnboundedFollowing || end.kind == Kind::kUnboundedPreceding) {
    return OraErr(905, "missing keyword");
  }
  // A frame that ends before it starts is not supported.
  if (BoundRank(start.kind) > BoundRank(end.kind)) return OraErr(Unimplemented());
  std::optional<long long> start_offset;
  std::optional<long long> end_offset;
  auto bound_sql = [&](const ast::FrameBound& bound,
                       std::optional<long long>* offset) -> OraResult<std::string> {
    switch (bound.kind) {
      case Kind::kUnboundedPreceding:
        return std::string("UNBOUNDED PRECEDING");
      case Kind::kUnboundedFollowing:
        return std::string("UNBOUNDED FOLLOWING");
      case Kind::kCurrentRow:
        return std::string("CURRENT ROW");
      case Kind::kPreceding:
      case Kind::kFollowing: {
        // ROWS counts rows; RANGE measures the key (vk_range_key): whole numbers, or days of a
        // date in seconds.
        if (range_scale == 1 || window.units == "ROWS") {
          *offset = WholeLiteral(*bound.offset);
        } else if (std::optional<double> days = NumberValue(*bound.offset);
                   days.has_value() && bound.offset->kind == ExprKind::kNumber && *days < 1e9 &&
                   *days * range_scale == std::floor(*days * range_scale)) {
          *offset = static_cast<long long>(*days * range_scale);
        }
        if (!offset->has_value()) return OraErr(Unimplemented());
        Typed type;
        VK_ASSIGN_OR_ORA_RETURN(std::string literal, Literal(*bound.offset, false, ctx, &type));
        (void)literal;
        return std::to_string(**offset) +
               (bound.kind == Kind::kPreceding ? " PRECEDING" : " FOLLOWING");
      }
    }
    return std::string("CURRENT ROW");
  };
  VK_ASSIGN_OR_ORA_RETURN(std::string start_sql, bound_sql(start, &start_offset));
  VK_ASSIGN_OR_ORA_RETURN(std::string end_sql, bound_sql(end, &end_offset));
  if (start.kind == end.kind && start_offset.has_value() && end_offset.has_value()) {
    const bool backwards =
        start.kind == Kind::kPreceding ? *start_offset < *end_offset : *start_offset > *end_offset;
    if (backwards) return OraErr(Unimplemented());
  }
  *moving_start = start.kind != Kind::kUnboundedPreceding;
  return " " + window.units + " BETWEEN " + start_sql + " AND " + end_sql;
}

OraResult<std::string> Emitter::WindowSql(const Expr& expr, const Ctx& ctx, bool ordered_function,
                                          bool framed_function, Out* merged, bool* moving_start) {
  const ast::Window& window = *expr.over;
  std::string sql;
  for (const auto& key : window.partition_by) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*key, ctx));
    Merge(merged, out);
    sql += (sql.empty() ? "PARTITION BY " : ", ") + SortKey(out);
  }
  if (ordered_function && window.order_by.empty()) {
    return OraErr(30485, "missing ORDER BY expression in the window specification");
  }
  if (!framed_function && !window.units.empty()) return OraErr(907, "missing right parenthesis");
  const bool range_offset =
      window.units == "RANGE" && (window.start.offset != nullptr || window.end.offset != nullptr);
  if (range_offset && window.order_by.size() != 1) {
    return OraErr(30486, "invalid window aggregation group in the window specification");
  }
  std::string order;
  int range_scale = 1;
  for (const ast::OrderItem& item : window.order_by) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*item.expr, ctx));
    Merge(merged, out);
    std::string key = SortKey(out);
    if (range_offset) {
      // The offset is added to the key: numbers and dates as integers SQLite adds exactly.
      if (!out.type.IsNumeric() && !out.type.IsDate()) return OraErr(Unimplemented());
      range_scale = out.type.IsDate() ? 86400 : 1;
      key = "vk_range_key(" + out.sql + ", " + (out.type.IsDate() ? "1" : "0") + ")";
    }
    order += (order.empty() ? "ORDER BY " : ", ") + key + OrderSuffix(item);
  }
  if (!order.empty()) sql += (sql.empty() ? "" : " ") + order;
  VK_ASSIGN_OR_ORA_RETURN(std::string frame, FrameSql(window, ctx, range_scale, moving_start));
  return "OVER (" + sql + frame + ")";
}

OraResult<Out> Emitter::Analytic(const Expr& expr, const Ctx& ctx) {
  if (!expr.keep.empty()) return Keep(expr, ctx);
  if (expr.name == "LISTAGG") return ListAgg(expr, ctx);
  const AnalyticSpec* spec = FindAnalytic(expr.name);
  if (spec == nullptr) {
    if (FindFunction(expr.name) == nullptr) return OraErr(InvalidIdentifier(QuoteName(expr.name)));
    return OraErr(923, "FROM keyword not found where expected");
  }
  // RANK (x) WITHIN GROUP and the other hypothetical aggregates are not supported.
  if (expr.within_group != nullptr) return OraErr(Unimplemented());
  if (expr.over == nullptr) return OraErr(30484, "missing window specification for this function");
  if (!ctx.analytics) return OraErr(NotAllowedHere());
  const int count = static_cast<int>(expr.args.size()) + (expr.star ? 1 : 0);
  if (count < spec->min_args || count > spec->max_args || (expr.star && expr.name != "COUNT")) {
    return OraErr(909, "invalid number of arguments");
  }
  if (expr.distinct) {
    if (!expr.over->order_by.empty()) return OraErr(30487, "ORDER BY not allowed here");
    if (expr.name != "COUNT") return OraErr(Unimplemented());
  }
  // IGNORE NULLS is supported for FIRST_VALUE, LAST_VALUE, LAG and LEAD.
  if (expr.ignore_nulls && expr.name != "FIRST_VALUE" && expr.name != "LAST_VALUE" &&
      expr.name != "LAG" && expr.name != "LEAD") {
    return OraErr(Unimplemented());
  }
  // Analytic functions do not nest; aggregates may stand inside them in a grouped query.
  Ctx inner = ctx;
  inner.analytics = false;
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, inner));
  Out out;
  for (const Out& arg : args) Merge(&out, arg);
  const bool ordered = spec->family == Family::kRanking || spec->family == Family::kNtile ||
                       spec->family == Family::kOffset || spec->family == Family::kDistribution;
  const bool framed = spec->family == Family::kValue || spec->family == Family::kAggregate;
  if (spec->family == Family::kRatio && !expr.over->order_by.empty()) {
    return OraErr(30487, "ORDER BY not allowed here");
  }
  bool moving_start = false;
  VK_ASSIGN_OR_ORA_RETURN(std::string over,
                          WindowSql(expr, inner, ordered, framed, &out, &moving_start));
  std::string call;
  switch (spec->family) {
    case Family::kRanking:
      call = Lower(expr.name) + "()";
      out.type = Typed::Number();
      out.type.nullable = false;
      break;
    case Family::kNtile: {
      std::optional<long long> buckets = WholeLiteral(*expr.args[0]);
      if (!buckets.has_value() || *buckets == 0) return OraErr(Unimplemented());
      call = "ntile(" + args[0].sql + ")";
      out.type = Typed::Number();
      break;
    }
    case Family::kOffset: {
      call = Lower(expr.name) + "(" + args[0].sql;
      if (args.size() >= 2) {
        std::optional<long long> offset = WholeLiteral(*expr.args[1]);
        if (!offset.has_value() || (expr.ignore_nulls && *offset == 0)) {
          return OraErr(Unimplemented());
        }
        call += ", " + args[1].sql;
      }
      if (expr.ignore_nulls) {
        // The n-th non-NULL value before (after) the current row: the n-th last (first) of the
        // rows up to the one before it (from the one after it), else the default.
        const bool lag = expr.name == "LAG";
        call = std::string(lag ? "vk_last_value_nn(" : "vk_first_value_nn(") + args[0].sql + ", " +
               (args.size() >= 2 ? args[1].sql : "1") + ") " + over.substr(0, over.size() - 1) +
               (lag ? " ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING)"
                    : " ROWS BETWEEN 1 FOLLOWING AND UNBOUNDED FOLLOWING)");
        over.clear();
        if (args.size() == 3) call = "coalesce(" + call + ", ";
      }
      if (args.size() == 3) {
        // The default takes the value's type, as Oracle converts it.
        Out fallback = args[2];
        VK_RETURN_IF_ORA_ERROR(CheckComparable(args[0], fallback));
        if (args[0].type.IsNumeric() && fallback.type.IsCharacter()) {
          fallback.sql = "to_number(" + fallback.sql + ")";
        } else if (args[0].type.IsDate() && fallback.type.IsCharacter()) {
          fallback.sql = "to_date(" + fallback.sql + ")";
        } else if (args[0].type.IsCharacter()) {
          fallback.sql = TextSql(fallback);
        }
        call += (expr.ignore_nulls ? "" : ", ") + fallback.sql;
      }
      if (!expr.ignore_nulls || args.size() == 3) call += ")";
      out.type = args[0].type.IsNumeric() ? Typed::Number() : args[0].type;
      out.type.nullable = true;
      break;
    }
    case Family::kDistribution: {
      // CUME_DIST: the rows up to the current one and its peers, over the partition's rows;
      // PERCENT_RANK: (RANK - 1) / (rows - 1), 0 for a partition of one row. Divided as NUMBERs.
      std::string partition;
      for (const auto& key : expr.over->partition_by) {
        VK_ASSIGN_OR_ORA_RETURN(Out part, Value(*key, inner));
        partition += (partition.empty() ? "PARTITION BY " : ", ") + SortKey(part);
      }
      const std::string rows = "count(*) OVER (" + partition + ")";
      if (expr.name == "CUME_DIST") {
        call = "vk_div(count(*) " + over + ", " + rows + ")";
      } else {
        call = "(CASE WHEN " + rows + " = 1 THEN 0 ELSE vk_div(rank() " + over + " - 1, " + rows +
               " - 1) END)";
      }
      over.clear();
      out.type = Typed::Number();
      out.type.nullable = false;
      break;
    }
    case Family::kRatio:
      // Divided as NUMBERs: a total of zero is ORA-01476.
      call = "vk_div(" + args[0].sql + ", sum(" + args[0].sql + ") " + over + ")";
      over.clear();
      out.type = Typed::Number();
      out.type.nullable = true;
      break;
    case Family::kValue:
      if (args.size() == 2) {
        std::optional<long long> position = WholeLiteral(*expr.args[1]);
        if (!position.has_value() || *position == 0) return OraErr(Unimplemented());
      }
      // IGNORE NULLS: the first or last non-NULL value of the frame.
      call = (expr.ignore_nulls ? "vk_" + Lower(expr.name) + "_nn(" : Lower(expr.name) + "(") +
             args[0].sql + (args.size() == 2 ? ", " + args[1].sql : "") + ")";
      out.type = args[0].type.IsNumeric() ? Typed::Number() : args[0].type;
      out.type.nullable = true;
      break;
    case Family::kAggregate: {
      std::string name = Lower(expr.name);
      // SUM and AVG over a frame whose start moves keep the frame's values (vk_wsum).
      if (moving_start && (name == "sum" || name == "avg")) name = "vk_w" + name;
      std::string arg = expr.star ? "*" : args[0].sql;
      if (name == "min" || name == "max") arg = SortKey(args[0]);
      if (expr.distinct) {
        // COUNT(DISTINCT x) over a whole partition (DISTINCT allows no ORDER BY).
        name = "vk_count_distinct";
        arg += args[0].type.IsNumeric() ? ", 1" : ", 0";
      }
      call = name + "(" + arg + ")";
      if (name == "min" || name == "max") {
        out.type = args[0].type.IsNumeric() ? Typed::Number() : args[0].type;
      } else {
        out.type = Typed::Number();
      }
      out.type.nullable = true;
      break;
    }
  }
  out.sql = over.empty() ? call : call + " " + over;
  out.analytic = true;
  out.stored = false;
  return out;
}

OraResult<Ctx> Emitter::OrderedAggregateContext(const Expr& expr, const Ctx& ctx) {
  Ctx inner = ctx;
  inner.analytics = false;
  if (expr.over != nullptr) {
    if (!ctx.analytics) return OraErr(NotAllowedHere());
    if (!expr.over->order_by.empty()) return OraErr(30487, "ORDER BY not allowed here");
  } else {
    if (!ctx.aggregates) return OraErr(934, "group function is not allowed here");
    inner.aggregates = false;
    inner.grouping = nullptr;
  }
  return inner;
}

OraResult<Out> Emitter::ListAgg(const Expr& expr, const Ctx& ctx) {
  if (expr.within_group == nullptr) return OraErr(2000, "missing WITHIN keyword");
  if (expr.args.empty() || expr.args.size() > 2 || expr.star) {
    return OraErr(909, "invalid number of arguments");
  }
  if (expr.distinct) return OraErr(Unimplemented());
  if (expr.args.size() == 2 && expr.args[1]->kind != ExprKind::kString &&
      expr.args[1]->kind != ExprKind::kNull) {
    return OraErr(30496, "Argument should be a constant.");
  }
  VK_ASSIGN_OR_ORA_RETURN(const Ctx inner, OrderedAggregateContext(expr, ctx));
  Out out;
  VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*expr.args[0], inner));
  Merge(&out, value);
  std::string delimiter = "NULL";
  if (expr.args.size() == 2 && expr.args[1]->kind == ExprKind::kString) {
    Typed type;
    Ctx fixed = inner;
    fixed.params = false;
    VK_ASSIGN_OR_ORA_RETURN(delimiter, Literal(*expr.args[1], false, fixed, &type));
  }
  out.sql = "vk_listagg(" + TextSql(value) + ", " + delimiter;
  VK_RETURN_IF_ORA_ERROR(OrderedAggregateTail(expr, inner, &out));
  out.type = Typed::Varchar2(4000);
  out.type.nullable = true;
  return out;
}

OraStatus Emitter::OrderedAggregateTail(const Expr& expr, const Ctx& inner, Out* out) {
  for (const ast::OrderItem& item : expr.within_group->order_by) {
    VK_ASSIGN_OR_ORA_RETURN(Out key, Value(*item.expr, inner));
    Merge(out, key);
    const bool nulls_first = item.nulls == 1 || (item.nulls == 0 && item.descending);
    const int flags =
        (item.descending ? 1 : 0) | (nulls_first ? 2 : 0) | (key.type.IsNumeric() ? 4 : 0);
    out->sql += ", " + key.sql + ", " + std::to_string(flags);
  }
  out->sql += ")";
  if (expr.over != nullptr) {
    std::string partition;
    for (const auto& key : expr.over->partition_by) {
      VK_ASSIGN_OR_ORA_RETURN(Out part, Value(*key, inner));
      Merge(out, part);
      partition += (partition.empty() ? "PARTITION BY " : ", ") + SortKey(part);
    }
    out->sql += " OVER (" + partition + ")";
    out->analytic = true;
  } else {
    out->aggregate = true;
    out->bare = false;
  }
  return {};
}

OraResult<Out> Emitter::Keep(const Expr& expr, const Ctx& ctx) {
  static constexpr std::array<std::string_view, 5> kKinds = {"MIN", "MAX", "SUM", "AVG", "COUNT"};
  const auto kind = std::find(kKinds.begin(), kKinds.end(), expr.name);
  if (kind == kKinds.end() || expr.distinct) return OraErr(Unimplemented());
  if (expr.args.size() + (expr.star ? 1 : 0) != 1 || (expr.star && expr.name != "COUNT")) {
    return OraErr(909, "invalid number of arguments");
  }
  VK_ASSIGN_OR_ORA_RETURN(const Ctx inner, OrderedAggregateContext(expr, ctx));
  Out out;
  Out value;
  value.sql = "NULL";
  value.type = Typed::Number();
  if (!expr.star) {
    VK_ASSIGN_OR_ORA_RETURN(value, Value(*expr.args[0], inner));
    Merge(&out, value);
  }
  int mode = static_cast<int>(kind - kKinds.begin()) * 4 + (expr.star ? 4 : 0);
  if (expr.keep == "LAST") mode += 2;
  if (value.type.IsNumeric()) mode += 1;
  const bool count = expr.name == "COUNT";
  out.sql =
      std::string(count ? "vk_keep_count(" : "vk_keep(") + std::to_string(mode) + ", " + value.sql;
  VK_RETURN_IF_ORA_ERROR(OrderedAggregateTail(expr, inner, &out));
  const bool extreme = expr.name == "MIN" || expr.name == "MAX";
  out.type = extreme && !value.type.IsNumeric() ? value.type : Typed::Number();
  out.type.nullable = true;
  return out;
}

OraResult<Out> Emitter::Grouping(const Expr& expr, const Ctx& ctx) {
  if (expr.args.empty() || expr.star || expr.distinct ||
      (expr.name == "GROUPING" && expr.args.size() != 1)) {
    return OraErr(909, "invalid number of arguments");
  }
  // GROUPING_ID's bits must fit the 64-bit integer it is written as.
  if (expr.args.size() > 62) return OraErr(Unimplemented());
  if (!ctx.aggregates || ctx.scope == nullptr || ctx.scope->group_keys == nullptr) {
    return OraErr(30481, "GROUPING function only supported with GROUP BY CUBE or ROLLUP");
  }
  Ctx inner = ctx;
  inner.grouping = nullptr;
  inner.aggregates = false;
  inner.analytics = false;
  // GROUPING_ID reads the GROUPING bits of its arguments as one binary number.
  std::string value = "0";
  for (const auto& arg : expr.args) {
    VK_ASSIGN_OR_ORA_RETURN(Out key, Value(*arg, inner));
    const auto& keys = *ctx.scope->group_keys;
    if (std::find(keys.begin(), keys.end(), key.sql) == keys.end()) {
      return OraErr(979, "not a GROUP BY expression");
    }
    std::string bit = "0";
    if (ctx.grouping != nullptr) {
      for (const GroupingKey& grouping : *ctx.grouping) {
        if (grouping.sql == key.sql) bit = grouping.grouping;
      }
    }
    value = value == "0" ? bit : "(" + value + " * 2 + " + bit + ")";
  }
  Out out;
  out.sql = value;
  out.type = Typed::Number();
  out.type.nullable = false;
  out.aggregate = true;
  return out;
}

}  // namespace volmek::engine::emitter_internal
