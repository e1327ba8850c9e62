// Emitter: expressions: literals, comparisons, arithmetic, LIKE, quantified comparisons.
#include "engine/translate/emitter_internal.h"

#include <fmt/format.h>

#include "engine/syntax/lexer.h"
#include "engine/values/collation.h"

namespace volmek::engine::emitter_internal {

OraResult<std::string> Emitter::Literal(const Expr& expr, bool negate, const Ctx& ctx,
                                        Typed* type) {
  BindValue value;
  std::string inline_sql;
  if (expr.kind == ExprKind::kNumber) {
    VK_ASSIGN_OR_ORA_RETURN(value, NumberLiteral(expr.literal, negate));
    *type = Typed::Number();
    if (value.kind == BindValue::Kind::kReal) {
      VK_ASSIGN_OR_ORA_RETURN(inline_sql, CanonicalNumber(expr.literal, negate));
    } else {
      inline_sql = LiteralSql(value);
    }
  } else {
    value = StringLiteral(expr.literal);
    if (ctx.params || value.kind != BindValue::Kind::kNull) {
      *type = Typed::Char(static_cast<int>(expr.literal.size()));
    } else {
      *type = Typed::Null();
    }
    inline_sql = LiteralSql(value);
  }
  // A literal the parser wrote itself (the format of DATE '...') is in no slot: always inline.
  if (expr.literal_slot < 0) return inline_sql;
  if (ctx.params && !view_literals_) {
    plan_->parameters.push_back(ParameterSource{expr.literal_slot, negate, false, {}});
    parameters_->push_back(std::move(value));
    return "?" + std::to_string(parameters_->size());
  }
  plan_->fixed_slots.push_back(expr.literal_slot);
  return inline_sql;
}

// Text compared with a DATE is read as a date, and text compared with a number as a number
// (ORA-01722 when it is not one), as Oracle's implicit conversions do.
void Emitter::CoerceForComparison(Out* left, Out* right) {
  auto convert = [](Out* text, const Out& other) {
    if (!text->type.IsCharacter() || text->type.is_null) return;
    if (other.type.IsDate()) {
      text->sql = "to_date(" + text->sql + ")";
      text->type = Typed::Date();
    } else if (other.type.IsNumeric()) {
      text->sql = "to_number(" + text->sql + ")";
      text->type = Typed::Number();
    } else {
      return;
    }
    text->stored = false;
  };
  convert(right, *left);
  convert(left, *right);
}

void Emitter::CoerceOperands(Out* subject, std::vector<Out>* values) {
  // Text compared with numbers is read as a number once, before the values are converted.
  for (Out& value : *values) {
    Out probe = *subject;
    Out other = value;
    CoerceForComparison(&probe, &other);
    if (probe.type.IsNumeric() && !subject->type.IsNumeric()) *subject = std::move(probe);
  }
  for (Out& value : *values) {
    Out probe = *subject;
    CoerceForComparison(&probe, &value);
  }
  if (!IsComputedNumber(*subject)) return;
  subject->sql = SortKey(*subject);
  for (Out& value : *values) {
    if (value.type.IsNumeric()) value.sql = "vk_numtext(" + value.sql + ")";
  }
}

// What ORDER BY, GROUP BY, DISTINCT and MIN/MAX compare: computed numbers as canonical text
// under the numeric collation, which orders them by value together with stored numbers.
std::string Emitter::SortKey(const Out& out) {
  if (!IsComputedNumber(out)) return out.sql;
  return "vk_numtext(" + out.sql + ") COLLATE " + std::string(kNumberCollation);
}

std::string Emitter::CompareSql(Out left, Out right, std::string_view op) {
  CoerceForComparison(&left, &right);
  if (IsComputedNumber(left) && IsComputedNumber(right)) {
    // Computed numbers may travel as exact TEXT, which SQLite would order after every
    // INTEGER and REAL: compare them by value.
    return "(vk_cmp(" + left.sql + ", " + right.sql + ") " + std::string(op) + " 0)";
  }
  std::string collation;
  auto is_text = [](const Out& out) {
    return !out.type.is_null &&
           (out.type.type.kind == TypeKind::kChar || out.type.type.kind == TypeKind::kVarchar2);
  };
  if (is_text(left) && is_text(right)) {
    auto is_char = [](const Out& out) { return out.type.type.kind == TypeKind::kChar; };
    auto stored_char = [&](const Out& out) { return out.stored && is_char(out); };
    if (is_char(left) && is_char(right)) {
      // Blank-padded: trailing blanks do not count ('AB' = 'AB  ').
      if (!stored_char(left) || !stored_char(right)) collation = " COLLATE RTRIM";
    } else if (stored_char(left) || stored_char(right)) {
      // Non-padded: a CHAR column's blanks count against a VARCHAR2.
      collation = " COLLATE BINARY";
    }
  }
  return "(" + left.sql + " " + std::string(op) + " " + right.sql + collation + ")";
}

OraStatus Emitter::CheckComparable(const Out& left, const Out& right) {
  if (left.type.is_null || right.type.is_null) return {};
  auto name = [](const Out& out) { return out.type.IsDate() ? "DATE" : "NUMBER"; };
  if ((left.type.IsDate() && right.type.IsNumeric()) ||
      (left.type.IsNumeric() && right.type.IsDate())) {
    return OraErr(
        932, fmt::format("inconsistent datatypes: expected {} got {}", name(left), name(right)));
  }
  return {};
}

OraResult<std::vector<Out>> Emitter::Args(const Expr& expr, const Ctx& ctx) {
  std::vector<Out> outs;
  for (const auto& arg : expr.args) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*arg, ctx));
    outs.push_back(std::move(out));
  }
  return outs;
}

void Emitter::Merge(Out* into, const Out& part) {
  into->aggregate = into->aggregate || part.aggregate;
  into->bare = into->bare || part.bare;
  into->analytic = into->analytic || part.analytic;
}

OraResult<Out> Emitter::Value(const Expr& expr, const Ctx& ctx) {
  VK_ASSIGN_OR_ORA_RETURN(Out out, ValueUngrouped(expr, ctx));
  if (out.bare && ctx.scope != nullptr && ctx.scope->group_keys != nullptr) {
    const auto& keys = *ctx.scope->group_keys;
    if (std::find(keys.begin(), keys.end(), out.sql) != keys.end()) out.bare = false;
  }
  if (ctx.grouping != nullptr && !out.aggregate) {
    // A grouping expression some grouping set leaves out is NULL in that set's rows.
    for (const GroupingKey& key : *ctx.grouping) {
      if (key.sql != out.sql) continue;
      out.sql = key.grouped;
      out.stored = false;
      out.type.nullable = true;
      break;
    }
  }
  return out;
}

OraResult<Out> Emitter::ValueUngrouped(const Expr& expr, const Ctx& ctx) {
  if (expr.kind == ExprKind::kColumn || expr.kind == ExprKind::kFunction ||
      expr.kind == ExprKind::kConnectByRoot) {
    VK_ASSIGN_OR_ORA_RETURN(std::optional<Out> carried, HierarchyValue(expr, ctx));
    if (carried.has_value()) return std::move(*carried);
  }
  Out out;
  switch (expr.kind) {
    case ExprKind::kNumber:
    case ExprKind::kString: {
      VK_ASSIGN_OR_ORA_RETURN(out.sql, Literal(expr, false, ctx, &out.type));
      return out;
    }
    case ExprKind::kNull:
      out.sql = "NULL";
      out.type = Typed::Null();
      return out;
    case ExprKind::kColumn:
      return Column(expr, ctx);
    case ExprKind::kStar:
      return OraErr(936, "missing expression");
    case ExprKind::kRownum:
      if (ctx.rownum.empty()) return OraErr(Unimplemented());
      if (ctx.rownum_used != nullptr) *ctx.rownum_used = true;
      out.sql = std::string(ctx.rownum);
      out.type = Typed::Number();
      out.type.nullable = false;
      return out;
    case ExprKind::kRowid:
      return Rowid(expr, ctx);
    case ExprKind::kSysdate:
      out.sql = "vk_sysdate()";
      out.type = Typed::Date();
      return out;
    case ExprKind::kUser:
      out.sql = QuoteString(schema_.CurrentUser());
      out.type = Typed::Varchar2(30);
      return out;
    case ExprKind::kSequence: {
      std::optional<SchemaLookup::SequenceName> sequence =
          schema_.FindSequence(expr.qualifier, expr.name);
      if (!sequence) return OraErr(2289, "sequence does not exist");
      // Each NEXTVAL reference is numbered so that the references of one row share one value.
      out.sql = std::string(expr.op == "NEXTVAL" ? "vk_nextval(" : "vk_currval(") +
                QuoteString(sequence->owner) + ", " + QuoteString(sequence->name) +
                (expr.op == "NEXTVAL" ? ", " + std::to_string(++sequence_references_) : "") + ")";
      out.type = Typed::Number();
      return out;
    }
    case ExprKind::kNegate: {
      if (expr.args[0]->kind == ExprKind::kNumber) {
        VK_ASSIGN_OR_ORA_RETURN(out.sql, Literal(*expr.args[0], true, ctx, &out.type));
        return out;
      }
      VK_ASSIGN_OR_ORA_RETURN(Out operand, Value(*expr.args[0], ctx));
      if (operand.type.IsDate()) {
        return OraErr(932, "inconsistent datatypes: expected NUMBER got DATE");
      }
      out.sql = "vk_neg(" + operand.sql + ")";
      out.type = Typed::Number();
      Merge(&out, operand);
      return out;
    }
    case ExprKind::kBinary:
      return Binary(expr, ctx);
    case ExprKind::kCompare: {
      VK_ASSIGN_OR_ORA_RETURN(Out left, Value(*expr.args[0], ctx));
      VK_ASSIGN_OR_ORA_RETURN(Out right, Value(*expr.args[1], ctx));
      VK_RETURN_IF_ORA_ERROR(CheckComparable(left, right));
      out.sql = CompareSql(left, right, expr.op);
      out.type = Typed::Number();
      Merge(&out, left);
      Merge(&out, right);
      return out;
    }
    case ExprKind::kAnd:
    case ExprKind::kOr: {
      // Written flat, (a AND b AND c), not as nested parentheses SQLite's parser would refuse.
      std::vector<const Expr*> operands;
      ChainOperands(expr, expr.op, &operands);
      out.sql = "(";
      for (std::size_t idx = 0; idx < operands.size(); ++idx) {
        VK_ASSIGN_OR_ORA_RETURN(Out operand, Value(*operands[idx], ctx));
        if (idx != 0) out.sql += " " + expr.op + " ";
        out.sql += operand.sql;
        Merge(&out, operand);
      }
      out.sql += ")";
      out.type = Typed::Number();
      return out;
    }
    case ExprKind::kNot: {
      VK_ASSIGN_OR_ORA_RETURN(Out inner, Value(*expr.args[0], ctx));
      out.sql = "(NOT " + inner.sql + ")";
      out.type = Typed::Number();
      Merge(&out, inner);
      return out;
    }
    case ExprKind::kFunction:
      if (expr.name == "EXTRACT") return Extract(expr, ctx);
      return Function(expr, ctx);
    case ExprKind::kRegexpLike: {
      if (expr.args.size() < 2 || expr.args.size() > 3 || expr.star || expr.distinct) {
        return OraErr(909, "invalid number of arguments");
      }
      VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
      out.sql = "regexp_like(";
      for (std::size_t idx = 0; idx < args.size(); ++idx) {
        out.sql += (idx == 0 ? "" : ", ") + TextSql(args[idx]);
        Merge(&out, args[idx]);
      }
      out.sql += ")";
      out.type = Typed::Number();
      return out;
    }
    case ExprKind::kTrim: {
      VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
      const Out& source = args.back();
      if (expr.op.empty() && args.size() == 1) {
        out.sql = "trim(" + source.sql + ")";
      } else {
        std::string set = args.size() == 2 ? args[0].sql : "' '";
        out.sql = "vk_trim(" + QuoteString(expr.op.empty() ? "BOTH" : expr.op) + ", " + set + ", " +
                  source.sql + ")";
      }
      out.type = Typed::Varchar2(source.type.type.length);
      for (const Out& arg : args) Merge(&out, arg);
      return out;
    }
    case ExprKind::kCase:
      return Case(expr, ctx);
    case ExprKind::kIn: {
      VK_ASSIGN_OR_ORA_RETURN(Out left, Value(*expr.args[0], ctx));
      Merge(&out, left);
      std::string list;
      if (expr.query != nullptr) {
        VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Subquery(*expr.query, ctx, true));
        if (sub.items.size() != 1) return OraErr(913, "too many values");
        list = sub.sql;
        if (IsComputedNumber(left) && sub.items[0].type.IsNumeric()) {
          // Both sides as canonical text, compared under the numeric collation.
          left.sql = SortKey(left);
          list = "SELECT vk_numtext(\"__c1\") FROM (" + sub.sql + ")";
        }
      } else {
        VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> values, Args(expr, ctx));
        values.erase(values.begin());
        CoerceOperands(&left, &values);
        for (std::size_t idx = 0; idx < values.size(); ++idx) {
          list += (idx == 0 ? "" : ", ") + values[idx].sql;
          Merge(&out, values[idx]);
        }
      }
      out.sql = "(" + left.sql + (expr.negated ? " NOT IN (" : " IN (") + list + "))";
      out.type = Typed::Number();
      return out;
    }
    case ExprKind::kBetween: {
      VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
      Out subject = args[0];
      std::vector<Out> bounds(args.begin() + 1, args.end());
      CoerceOperands(&subject, &bounds);
      out.sql = "(" + subject.sql + (expr.negated ? " NOT BETWEEN " : " BETWEEN ") + bounds[0].sql +
                " AND " + bounds[1].sql + ")";
      out.type = Typed::Number();
      for (const Out& arg : args) Merge(&out, arg);
      return out;
    }
    case ExprKind::kLike: {
      const Expr& pattern = *expr.args[1];
      const Expr* escape = expr.args.size() == 3 ? expr.args[2].get() : nullptr;
      if (pattern.kind == ExprKind::kString &&
          (escape == nullptr || escape->kind == ExprKind::kString)) {
        return LikeAsGlob(expr, ctx);
      }
      // A computed pattern: SQLite's LIKE, case-sensitive only with case_sensitive_like.
      VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
      out.sql = "(" + args[0].sql + (expr.negated ? " NOT LIKE " : " LIKE ") + args[1].sql;
      if (args.size() == 3) out.sql += " ESCAPE " + args[2].sql;
      out.sql += ")";
      out.type = Typed::Number();
      for (const Out& arg : args) Merge(&out, arg);
      return out;
    }
    case ExprKind::kIsNull: {
      VK_ASSIGN_OR_ORA_RETURN(Out inner, Value(*expr.args[0], ctx));
      out.sql = "(" + inner.sql + (expr.negated ? " IS NOT NULL)" : " IS NULL)");
      out.type = Typed::Number();
      Merge(&out, inner);
      return out;
    }
    case ExprKind::kExists: {
      VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Subquery(*expr.query, ctx, false));
      out.sql = "(EXISTS (" + sub.sql + "))";
      out.type = Typed::Number();
      return out;
    }
    case ExprKind::kQuantified:
      return Quantified(expr, ctx);
    case ExprKind::kPrior: {
      if (ctx.prior == nullptr) {
        return OraErr(976, "Specified pseudocolumn or operator not allowed here.");
      }
      Ctx parent_ctx = ctx;
      parent_ctx.scope = ctx.prior;
      parent_ctx.prior = nullptr;
      parent_ctx.level = "\"__p\".\"__lvl\"";
      return Value(*expr.args[0], parent_ctx);
    }
    case ExprKind::kConnectByRoot:  // answered by HierarchyValue above
    case ExprKind::kDefault:
      // DEFAULT is the whole value of a column in VALUES or SET, never part of an expression.
      return OraErr(936, "missing expression");
    case ExprKind::kSubquery: {
      VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Subquery(*expr.query, ctx, false));
      if (sub.items.size() != 1) return OraErr(913, "too many values");
      // SQLite would take the first row: a second one is ORA-01427.
      out.sql = "(WITH \"__one\"(\"__v\") AS (" + sub.sql +
                ") SELECT CASE WHEN count(*) > 1 THEN vk_error(1427, 'single-row subquery returns "
                "more than one row') ELSE min(\"__v\") END FROM \"__one\")";
      out.type = sub.items[0].type;
      out.type.nullable = true;
      return out;
    }
  }
  return OraErr(936, "missing expression");
}

OraResult<Out> Emitter::Quantified(const Expr& expr, const Ctx& ctx) {
  const bool all = expr.name == "ALL";
  Out out;
  out.type = Typed::Number();
  VK_ASSIGN_OR_ORA_RETURN(Out left, Value(*expr.args[0], ctx));
  Merge(&out, left);
  if (expr.query == nullptr) {
    out.sql = "(";
    for (std::size_t idx = 1; idx < expr.args.size(); ++idx) {
      VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*expr.args[idx], ctx));
      Merge(&out, value);
      if (idx != 1) out.sql += all ? " AND " : " OR ";
      out.sql += CompareSql(left, value, expr.op);
    }
    out.sql += ")";
    return out;
  }
  VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Subquery(*expr.query, ctx, true));
  if (sub.items.size() != 1) return OraErr(913, "too many values");
  const std::string alias = "__q" + std::to_string(++views_);
  Out row;
  row.sql = QuoteName(alias) + ".\"__c1\"";
  row.type = sub.items[0].type;
  const std::string test = CompareSql(left, row, expr.op);
  out.sql = "(SELECT CASE min(CASE " + test +
            (all ? " WHEN 0 THEN 0 WHEN 1 THEN 2" : " WHEN 1 THEN 0 WHEN 0 THEN 2") +
            " ELSE 1 END) WHEN 0 THEN " + (all ? "0" : "1") + " WHEN 1 THEN NULL ELSE " +
            (all ? "1" : "0") + " END FROM (" + sub.sql + ") AS " + QuoteName(alias) + ")";
  return out;
}

void Emitter::ChainOperands(const Expr& expr, const std::string& op,
                            std::vector<const Expr*>* operands) {
  // The left spine of `op` nodes (two operands, or all of a || run) is opened without
  // recursion; an operand to the right is kept whole, so a - (b - c) keeps its parentheses.
  const Expr* left = &expr;
  std::vector<const Expr*> rights;  // last first
  while (left->kind == expr.kind && left->op == op) {
    for (std::size_t arg_idx = left->args.size(); arg_idx-- > 1;) {
      rights.push_back(left->args[arg_idx].get());
    }
    left = left->args[0].get();
  }
  operands->push_back(left);
  operands->insert(operands->end(), rights.rbegin(), rights.rend());
}

std::string Emitter::Balanced(const std::vector<Out>& outs, std::size_t begin, std::size_t end,
                              const char* function) {
  if (end - begin == 1) return outs[begin].sql;
  const std::size_t middle = begin + (end - begin) / 2;
  return std::string(function) + "(" + Balanced(outs, begin, middle, function) + ", " +
         Balanced(outs, middle, end, function) + ")";
}

OraResult<Out> Emitter::LikeAsGlob(const Expr& expr, const Ctx& ctx) {
  VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*expr.args[0], ctx));
  const Expr& pattern = *expr.args[1];
  std::string escape;
  if (expr.args.size() == 3) {
    escape = expr.args[2]->literal;
    plan_->fixed_slots.push_back(expr.args[2]->literal_slot);
    if (escape.size() != 1) {
      return OraErr(1425, "escape character must be character string of length 1");
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(std::string glob, LikePatternToGlob(pattern.literal, escape));
  BindValue value = StringLiteral(std::move(glob));
  std::string pattern_sql;
  if (ctx.params && !view_literals_) {
    plan_->parameters.push_back(ParameterSource{pattern.literal_slot, false, true, escape});
    parameters_->push_back(std::move(value));
    pattern_sql = "?" + std::to_string(parameters_->size());
  } else {
    plan_->fixed_slots.push_back(pattern.literal_slot);
    pattern_sql = LiteralSql(value);
  }
  out.sql = "(" + out.sql + (expr.negated ? " NOT GLOB " : " GLOB ") + pattern_sql + ")";
  out.type = Typed::Number();
  return out;
}

OraResult<Out> Emitter::Binary(const Expr& expr, const Ctx& ctx) {
  const std::string& op = expr.op;
  std::vector<const Expr*> operands;
  ChainOperands(expr, op, &operands);
  std::vector<Out> outs;
  outs.reserve(operands.size());
  Out out;
  for (const Expr* operand : operands) {
    VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*operand, ctx));
    Merge(&out, value);
    outs.push_back(std::move(value));
  }
  if (op == "||") {
    bool all_char = true;
    bool all_null = true;
    bool nullable = true;
    int length = 0;
    for (const Out& value : outs) {
      if (value.type.is_null) continue;
      all_null = false;
      all_char = all_char && value.type.type.kind == TypeKind::kChar;
      length += DisplayLength(value.type);
      nullable = nullable && value.type.nullable;
    }
    // The translator converts numbers and dates itself: their SQLite form does not say which
    // type a value has (a NUMBER column holds "0.1", TO_CHAR may give a stored-looking date).
    for (Out& value : outs) value.sql = TextSql(value);
    out.sql = Balanced(outs, 0, outs.size(), "vk_cat");
    out.type = all_char && !all_null ? Typed::Char(length) : Typed::Varchar2(length);
    out.type.nullable = nullable;
    return out;
  }
  const bool any_date =
      std::any_of(outs.begin(), outs.end(), [](const Out& value) { return value.type.IsDate(); });
  if ((op == "+" || op == "*") && !any_date) {
    out.sql = Balanced(outs, 0, outs.size(), op == "+" ? "vk_add" : "vk_mul");
    out.type = Typed::Number();
    return out;
  }
  Out accumulated = std::move(outs[0]);
  for (std::size_t idx = 1; idx < outs.size(); ++idx) {
    VK_ASSIGN_OR_ORA_RETURN(accumulated, Arithmetic(op, std::move(accumulated), outs[idx]));
  }
  accumulated.aggregate = out.aggregate;
  accumulated.bare = out.bare;
  return accumulated;
}

OraResult<Out> Emitter::Arithmetic(const std::string& op, Out left, const Out& right) {
  Out out;
  const bool left_date = left.type.IsDate();
  const bool right_date = right.type.IsDate();
  if (op == "+" && (left_date || right_date)) {
    if (left_date && right_date) return OraErr(975, "date + date not allowed");
    out.sql = left_date ? "vk_date_add(" + left.sql + ", " + right.sql + ")"
                        : "vk_date_add(" + right.sql + ", " + left.sql + ")";
    out.type = Typed::Date();
    return out;
  }
  if (op == "-" && left_date) {
    if (right_date) {
      out.sql = "vk_date_diff(" + left.sql + ", " + right.sql + ")";
      out.type = Typed::Number();
    } else {
      out.sql = "vk_date_sub(" + left.sql + ", " + right.sql + ")";
      out.type = Typed::Date();
    }
    return out;
  }
  if (left_date || right_date) {
    return OraErr(932, "inconsistent datatypes: expected NUMBER got DATE");
  }
  const char* function = op == "+"   ? "vk_add("
                         : op == "-" ? "vk_sub("
                         : op == "*" ? "vk_mul("
                                     : "vk_div(";
  out.sql = function + left.sql + ", " + right.sql + ")";
  out.type = Typed::Number();
  return out;
}

}  // namespace volmek::engine::emitter_internal
