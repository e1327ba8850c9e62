#include "engine/translate/emitter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

#include "engine/values/collation.h"
#include "engine/translate/describe_infer.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

using ast::Expr;
using ast::ExprKind;

OraError InvalidIdentifier(std::string_view quoted_name) {
  return Ora(904, std::string(quoted_name) + ": invalid identifier");
}
OraError Unimplemented() { return Ora(3001, "unimplemented feature"); }

// A table, view or inline view visible in a query.
struct Source {
  std::string name;   // what qualifies its columns: the alias, else the table name
  std::string owner;  // tables: owner and table name (owner.table.column)
  std::string table;
  bool aliased = false;
  std::string sql_alias;  // quoted SQLite alias
  std::string physical;   // tables: the SQLite name
  std::vector<ColumnInfo> columns;
  bool has_rowid = false;
  bool stored = false;  // a table or view, whose columns carry their collations
  bool outer = false;   // the optional side of an outer join: its columns may be NULL
};

// A column that a NATURAL join or JOIN ... USING names once for both of its sides.
struct JoinedColumn {
  const ast::FromItem* join = nullptr;
  std::string name;
  std::string sql;  // the left side's column, the right's for RIGHT joins, coalesced for FULL
  Typed type;
  bool stored = false;
  std::size_t first = 0;  // the sources the join covers: [first, end)
  std::size_t end = 0;
  std::vector<std::size_t> sides;  // the sources whose own columns it stands for
};

struct Scope {
  std::vector<Source> sources;
  const Scope* parent = nullptr;
  const std::vector<std::string>* group_keys = nullptr;
  std::vector<JoinedColumn> joined;  // in the order the joins were resolved, innermost first
  std::vector<std::pair<const ast::FromItem*, std::string>> join_conditions;
};

struct Out {
  std::string sql;
  Typed type;
  bool aggregate = false;  // holds an aggregate function
  bool bare = false;       // holds a column of its own query that is not grouped
  bool stored = false;     // a column of a table or view (its collation compares it)
};

struct Ctx {
  const Scope* scope = nullptr;
  bool params = false;      // literals become parameters
  bool aggregates = false;  // aggregate functions allowed
  // What ROWNUM is written as here (empty: not supported here), and where its use is noted.
  std::string_view rownum;
  bool* rownum_used = nullptr;
  // Hierarchical queries: the scope PRIOR reads (null: PRIOR not allowed here), and what LEVEL
  // is written as (empty: no CONNECT BY here).
  const Scope* prior = nullptr;
  std::string_view level = {};
};

constexpr std::string_view kRowNumber = "row_number() OVER ()";
// Rows a hierarchical query may make by recursion before it is ORA-30009.
constexpr std::int64_t kMaxConnectRows = 1'000'000;

struct Item {
  std::string name;
  Typed type;
};

struct QueryOut {
  std::string sql;
  std::vector<Item> items;
  // kPlain: one SELECT without ORDER BY or LIMIT; kCompound: a set operation without ORDER BY.
  enum class Form { kPlain, kCompound, kOther } form = Form::kPlain;
};

enum class Rule {
  kNumber,      // NUMBER
  kArg0,        // the type of the first argument, the longest of the arguments' lengths
  kVarchar0,    // VARCHAR2 as long as the first argument
  kDate,        // DATE
  kSubstr,      // VARCHAR2 of the literal length, else as long as the first argument
  kPad,         // VARCHAR2 of the literal length
  kToChar,      // VARCHAR2 sized by argument type or format
  kDecode,      // the type of the first result
  kNvl2,        // the type of the second argument
  kRoundTrunc,  // DATE for a date argument, NUMBER otherwise
  kMinMax,      // aggregate keeping the type of non-numbers
  kChr,         // VARCHAR2(1)
  kConcat,      // VARCHAR2 of the summed lengths
};

struct FunctionSpec {
  std::string_view name;
  int min_args;
  int max_args;
  Rule rule;
  bool aggregate;
};

constexpr std::array<FunctionSpec, 46> kFunctions = {{
    {"NVL", 2, 2, Rule::kArg0, false},
    {"NVL2", 3, 3, Rule::kNvl2, false},
    {"DECODE", 3, 255, Rule::kDecode, false},
    {"SUBSTR", 2, 3, Rule::kSubstr, false},
    {"INSTR", 2, 4, Rule::kNumber, false},
    {"UPPER", 1, 1, Rule::kArg0, false},
    {"LOWER", 1, 1, Rule::kArg0, false},
    {"INITCAP", 1, 1, Rule::kArg0, false},
    {"LTRIM", 1, 2, Rule::kVarchar0, false},
    {"RTRIM", 1, 2, Rule::kVarchar0, false},
    {"LPAD", 2, 3, Rule::kPad, false},
    {"RPAD", 2, 3, Rule::kPad, false},
    {"LENGTH", 1, 1, Rule::kNumber, false},
    {"REPLACE", 2, 3, Rule::kVarchar0, false},
    {"TRANSLATE", 3, 3, Rule::kVarchar0, false},
    {"CONCAT", 2, 2, Rule::kConcat, false},
    {"CHR", 1, 1, Rule::kChr, false},
    {"ASCII", 1, 1, Rule::kNumber, false},
    {"TO_CHAR", 1, 3, Rule::kToChar, false},
    {"TO_DATE", 1, 3, Rule::kDate, false},
    {"TO_NUMBER", 1, 3, Rule::kNumber, false},
    {"ROUND", 1, 2, Rule::kRoundTrunc, false},
    {"TRUNC", 1, 2, Rule::kRoundTrunc, false},
    {"MOD", 2, 2, Rule::kNumber, false},
    {"ABS", 1, 1, Rule::kNumber, false},
    {"SIGN", 1, 1, Rule::kNumber, false},
    {"CEIL", 1, 1, Rule::kNumber, false},
    {"FLOOR", 1, 1, Rule::kNumber, false},
    {"POWER", 2, 2, Rule::kNumber, false},
    {"SQRT", 1, 1, Rule::kNumber, false},
    {"GREATEST", 1, 255, Rule::kArg0, false},
    {"LEAST", 1, 255, Rule::kArg0, false},
    {"ADD_MONTHS", 2, 2, Rule::kDate, false},
    {"MONTHS_BETWEEN", 2, 2, Rule::kNumber, false},
    {"LAST_DAY", 1, 1, Rule::kDate, false},
    {"NEXT_DAY", 2, 2, Rule::kDate, false},
    {"COALESCE", 1, 255, Rule::kArg0, false},
    {"NULLIF", 2, 2, Rule::kArg0, false},
    {"COUNT", 1, 1, Rule::kNumber, true},
    {"SUM", 1, 1, Rule::kNumber, true},
    {"AVG", 1, 1, Rule::kNumber, true},
    {"MIN", 1, 1, Rule::kMinMax, true},
    {"MAX", 1, 1, Rule::kMinMax, true},
    {"EXP", 1, 1, Rule::kNumber, false},
    {"LN", 1, 1, Rule::kNumber, false},
    {"VSIZE", 1, 1, Rule::kNumber, false},
}};

const FunctionSpec* FindFunction(std::string_view name) {
  for (const FunctionSpec& spec : kFunctions) {
    if (spec.name == name) return &spec;
  }
  return nullptr;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool ContainsRownum(const Expr& expr) {
  if (expr.kind == ExprKind::kRownum) return true;
  for (const auto& arg : expr.args) {
    if (ContainsRownum(*arg)) return true;
  }
  return false;
}

bool ContainsSequence(const Expr& expr) {
  if (expr.kind == ExprKind::kSequence) return true;
  for (const auto& arg : expr.args) {
    if (ContainsSequence(*arg)) return true;
  }
  return false;
}

bool ContainsPrior(const Expr& expr) {
  if (expr.kind == ExprKind::kPrior) return true;
  for (const auto& arg : expr.args) {
    if (ContainsPrior(*arg)) return true;
  }
  return false;
}

bool ContainsOuterMark(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn && expr.outer_join) return true;
  for (const auto& arg : expr.args) {
    if (ContainsOuterMark(*arg)) return true;
  }
  return false;
}

void SplitConjuncts(const Expr* expr, std::vector<const Expr*>* out) {
  if (expr == nullptr) return;
  if (expr->kind == ExprKind::kAnd) {
    SplitConjuncts(expr->args[0].get(), out);
    SplitConjuncts(expr->args[1].get(), out);
    return;
  }
  out->push_back(expr);
}

// The literal value of a (possibly negated) number literal.
std::optional<double> NumberValue(const Expr& expr) {
  bool negate = false;
  const Expr* literal = &expr;
  if (literal->kind == ExprKind::kNegate) {
    negate = true;
    literal = literal->args[0].get();
  }
  if (literal->kind != ExprKind::kNumber) return std::nullopt;
  double value = std::strtod(literal->literal.c_str(), nullptr);
  return negate ? -value : value;
}

// The literal slots a rownum bound uses (written into the text: the bound shapes the SQL).
void CollectSlots(const Expr& expr, std::vector<int>* slots) {
  if (expr.literal_slot >= 0) slots->push_back(expr.literal_slot);
  for (const auto& arg : expr.args) CollectSlots(*arg, slots);
}

// How many rows a "ROWNUM op value" condition lets through, counting as Oracle does (ROWNUM
// grows only for rows that pass): nullopt when it lets every row through.
std::optional<long long> RownumLimit(std::string op, double value, bool rownum_on_right) {
  if (rownum_on_right) {
    if (op == "<") {
      op = ">";
    } else if (op == ">") {
      op = "<";
    } else if (op == "<=") {
      op = ">=";
    } else if (op == ">=") {
      op = "<=";
    }
  }
  // No table holds 2^62 rows: a larger bound is no bound, and converts without overflow.
  constexpr double kUnbounded = 4611686018427387904.0;
  if (!(value <= kUnbounded)) value = kUnbounded;
  if (op == "<=") return value < 1 ? 0 : static_cast<long long>(std::floor(value));
  if (op == "<") return value <= 1 ? 0 : static_cast<long long>(std::ceil(value)) - 1;
  if (op == "=") return value == 1 ? 1 : 0;
  if (op == ">=") return value <= 1 ? std::nullopt : std::optional<long long>(0);
  if (op == ">") return value < 1 ? std::nullopt : std::optional<long long>(0);
  // <>: rows pass until ROWNUM would reach the value.
  if (value >= 1 && value == std::floor(value)) return static_cast<long long>(value) - 1;
  return std::nullopt;
}

class Emitter {
 public:
  Emitter(std::string_view sql, const SchemaLookup& schema, const TranslateOptions& options,
          EmitPlan* plan, std::vector<BindValue>* parameters)
      : sql_(sql), schema_(schema), options_(options), plan_(plan), parameters_(parameters) {}

  OraResult<Translation> Statement(const ast::Statement& statement) {
    Translation translation;
    if (statement.query != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(QueryOut out, Query(*statement.query, nullptr, false));
      translation.function_type = db::kFunctionSelect;
      translation.sql = std::move(out.sql);
      for (Item& item : out.items) {
        translation.columns.push_back(Describe(item.type, item.name));
        translation.column_types.push_back(item.type.type);
      }
      return translation;
    }
    if (statement.insert != nullptr) {
      translation.function_type = db::kFunctionInsert;
      VK_RETURN_IF_ORA_ERROR(Insert(*statement.insert, &translation));
      return translation;
    }
    if (statement.update != nullptr) {
      translation.function_type = db::kFunctionUpdate;
      VK_RETURN_IF_ORA_ERROR(Update(*statement.update, &translation));
      return translation;
    }
    translation.function_type = db::kFunctionDelete;
    VK_RETURN_IF_ORA_ERROR(Delete(*statement.del, &translation));
    return translation;
  }

 private:
  // ---- tables ----

  OraResult<TableInfo> LookUp(const std::string& owner, const std::string& name) {
    std::optional<TableInfo> table;
    if (owner.empty()) {
      table = schema_.FindTable(name);
      if (!table.has_value() && name == "DUAL") {
        TableInfo dual;
        dual.owner = "SYS";
        dual.name = "DUAL";
        dual.physical_name = "(SELECT 'X' AS \"DUMMY\")";
        dual.is_view = true;
        ColumnInfo dummy;
        dummy.name = "DUMMY";
        dummy.type.kind = TypeKind::kVarchar2;
        dummy.type.length = 1;
        dual.columns.push_back(std::move(dummy));
        table = std::move(dual);
      }
    } else {
      table = schema_.FindTable(owner + "." + name);
      if (!table.has_value() && owner == schema_.CurrentUser()) table = schema_.FindTable(name);
    }
    if (!table.has_value()) return OraErr(942, "table or view does not exist");
    return std::move(*table);
  }

  Source TableSource(TableInfo table, const std::string& alias) {
    Source source;
    source.aliased = !alias.empty();
    source.name = alias.empty() ? table.name : alias;
    source.owner = std::move(table.owner);
    source.table = std::move(table.name);
    source.sql_alias = QuoteName(source.name);
    source.physical = std::move(table.physical_name);
    source.columns = std::move(table.columns);
    source.has_rowid = !table.is_view;
    source.stored = true;
    return source;
  }

  // Resolves the FROM entries into `scope`, leaving `pieces[i]` the SQL of entry i (joins
  // without their ON conditions yet: those need every source in scope).
  OraStatus ResolveFrom(const ast::FromItem& item, Scope* scope, const Scope* parent) {
    switch (item.kind) {
      case ast::FromItem::Kind::kTable: {
        if (item.owner.empty()) {
          // WITH tables hide tables of the same name; the innermost WITH first.
          auto found = std::find_if(common_tables_.rbegin(), common_tables_.rend(),
                                    [&](const Source& table) { return table.name == item.name; });
          if (found != common_tables_.rend()) {
            Source source = *found;
            if (!item.alias.empty()) {
              source.name = item.alias;
              source.aliased = true;
              source.sql_alias = QuoteName(item.alias);
            }
            scope->sources.push_back(std::move(source));
            return {};
          }
        }
        VK_ASSIGN_OR_ORA_RETURN(TableInfo table, LookUp(item.owner, item.name));
        scope->sources.push_back(TableSource(std::move(table), item.alias));
        return {};
      }
      case ast::FromItem::Kind::kSubquery: {
        VK_ASSIGN_OR_ORA_RETURN(QueryOut out, Query(*item.query, parent, false));
        Source source;
        source.name = item.alias;
        source.aliased = !item.alias.empty();
        source.sql_alias =
            QuoteName(item.alias.empty() ? "__v" + std::to_string(++views_) : item.alias);
        source.physical = "(" + out.sql + ")";
        for (Item& out_item : out.items) {
          ColumnInfo column;
          column.name = out_item.name;
          column.type = out_item.type.type;
          column.nullable = out_item.type.nullable;
          source.columns.push_back(std::move(column));
        }
        scope->sources.push_back(std::move(source));
        return {};
      }
      case ast::FromItem::Kind::kJoin: {
        const std::size_t first_left = scope->sources.size();
        VK_RETURN_IF_ORA_ERROR(ResolveFrom(*item.left, scope, parent));
        const std::size_t first_right = scope->sources.size();
        VK_RETURN_IF_ORA_ERROR(ResolveFrom(*item.right, scope, parent));
        if (item.join_type == "LEFT" || item.join_type == "FULL") {
          for (std::size_t idx = first_right; idx < scope->sources.size(); ++idx) {
            scope->sources[idx].outer = true;
          }
        }
        if (item.join_type == "RIGHT" || item.join_type == "FULL") {
          for (std::size_t idx = first_left; idx < first_right; ++idx) {
            scope->sources[idx].outer = true;
          }
        }
        if (item.natural || !item.using_columns.empty()) {
          return JoinColumns(item, first_left, first_right, scope);
        }
        return {};
      }
    }
    return {};
  }

  // One side's column `name` for a NATURAL or USING join: a joined column of a join inside
  // the side, else the one source column of that name among [first, end).
  struct Side {
    Out out;
    std::vector<std::size_t> sides;
  };
  static OraResult<Side> JoinSide(const Scope& scope, std::size_t first, std::size_t end,
                                  const std::string& name) {
    Side side;
    for (auto joined = scope.joined.rbegin(); joined != scope.joined.rend(); ++joined) {
      if (joined->name != name || joined->first < first || joined->end > end) continue;
      side.out.sql = joined->sql;
      side.out.type = joined->type;
      side.out.stored = joined->stored;
      side.sides = joined->sides;
      return side;
    }
    bool found = false;
    for (std::size_t source_idx = first; source_idx < end; ++source_idx) {
      const Source& source = scope.sources[source_idx];
      for (const ColumnInfo& column : source.columns) {
        if (column.name != name) continue;
        if (found) return OraErr(918, "column ambiguously defined");
        found = true;
        side.out.sql = source.sql_alias + "." + QuoteName(column.name);
        side.out.type.type = column.type;
        side.out.type.nullable = column.nullable || source.outer;
        side.out.stored = source.stored;
        side.sides = {source_idx};
      }
    }
    if (!found) return OraErr(InvalidIdentifier(QuoteName(name)));
    return side;
  }

  // The joined columns and the join condition of a NATURAL join (every column name both sides
  // have, in the left side's order) or of JOIN ... USING (names).
  static OraStatus JoinColumns(const ast::FromItem& item, std::size_t first_left,
                               std::size_t first_right, Scope* scope) {
    const std::size_t end = scope->sources.size();
    std::vector<std::string> names = item.using_columns;
    if (item.natural) {
      auto has_name = [&](std::size_t first, std::size_t last, const std::string& name) {
        for (std::size_t idx = first; idx < last; ++idx) {
          for (const ColumnInfo& column : scope->sources[idx].columns) {
            if (column.name == name) return true;
          }
        }
        return false;
      };
      for (std::size_t idx = first_left; idx < first_right; ++idx) {
        for (const ColumnInfo& column : scope->sources[idx].columns) {
          if (std::find(names.begin(), names.end(), column.name) != names.end()) continue;
          if (has_name(first_right, end, column.name)) names.push_back(column.name);
        }
      }
    }
    std::vector<JoinedColumn> joined;
    std::string condition;
    for (const std::string& name : names) {
      for (const JoinedColumn& earlier : joined) {
        if (earlier.name == name) return OraErr(957, "duplicate column name");
      }
      VK_ASSIGN_OR_ORA_RETURN(Side left, JoinSide(*scope, first_left, first_right, name));
      VK_ASSIGN_OR_ORA_RETURN(Side right, JoinSide(*scope, first_right, end, name));
      condition += (condition.empty() ? "" : " AND ") + CompareSql(left.out, right.out, "=");
      JoinedColumn column;
      column.join = &item;
      column.name = name;
      column.first = first_left;
      column.end = end;
      column.sides = left.sides;
      column.sides.insert(column.sides.end(), right.sides.begin(), right.sides.end());
      const Side& kept = item.join_type == "RIGHT" ? right : left;
      column.sql = kept.out.sql;
      column.type = kept.out.type;
      column.stored = kept.out.stored;
      if (item.join_type == "FULL") {
        column.sql = "coalesce(" + left.out.sql + ", " + right.out.sql + ")";
        column.type.nullable = left.out.type.nullable && right.out.type.nullable;
        column.stored = false;
      }
      joined.push_back(std::move(column));
    }
    scope->join_conditions.emplace_back(&item, condition.empty() ? "1" : condition);
    for (JoinedColumn& column : joined) scope->joined.push_back(std::move(column));
    return {};
  }

  // The columns `*` lists for a FROM entry whose sources start at `*next`: a NATURAL or USING
  // join's joined columns first, then the other columns of its left and right sides.
  static std::vector<Out> StarColumns(const ast::FromItem& item, const Scope& scope,
                                      std::size_t* next, std::vector<std::string>* names) {
    std::vector<Out> columns;
    if (item.kind != ast::FromItem::Kind::kJoin) {
      const Source& source = scope.sources[(*next)++];
      for (const ColumnInfo& column : source.columns) {
        Out out;
        out.sql = source.sql_alias + "." + QuoteName(column.name);
        out.type.type = column.type;
        out.type.nullable = column.nullable || source.outer;
        out.stored = source.stored;
        out.bare = true;
        columns.push_back(std::move(out));
        names->push_back(column.name);
      }
      return columns;
    }
    std::vector<std::string> left_names;
    std::vector<std::string> right_names;
    std::vector<Out> left = StarColumns(*item.left, scope, next, &left_names);
    std::vector<Out> right = StarColumns(*item.right, scope, next, &right_names);
    std::vector<std::string> merged;
    for (const JoinedColumn& joined : scope.joined) {
      if (joined.join != &item) continue;
      Out out;
      out.sql = joined.sql;
      out.type = joined.type;
      out.stored = joined.stored;
      out.bare = true;
      columns.push_back(std::move(out));
      names->push_back(joined.name);
      merged.push_back(joined.name);
    }
    auto append = [&](std::vector<Out>& outs, const std::vector<std::string>& side_names) {
      for (std::size_t idx = 0; idx < outs.size(); ++idx) {
        if (std::find(merged.begin(), merged.end(), side_names[idx]) != merged.end()) continue;
        columns.push_back(std::move(outs[idx]));
        names->push_back(side_names[idx]);
      }
    };
    append(left, left_names);
    append(right, right_names);
    return columns;
  }

  static std::string SourceSql(const Source& source) {
    return source.physical + " AS " + source.sql_alias;
  }

  // The SQL of a FROM entry whose sources start at `*next` in `scope`.
  OraResult<std::string> FromSql(const ast::FromItem& item, const Scope& scope, std::size_t* next,
                                 const Ctx& on_ctx) {
    if (item.kind != ast::FromItem::Kind::kJoin) return SourceSql(scope.sources[(*next)++]);
    VK_ASSIGN_OR_ORA_RETURN(std::string left, FromSql(*item.left, scope, next, on_ctx));
    VK_ASSIGN_OR_ORA_RETURN(std::string right, FromSql(*item.right, scope, next, on_ctx));
    if (item.right->kind == ast::FromItem::Kind::kJoin) right = "(" + right + ")";
    std::string sql =
        left + " " + (item.join_type == "INNER" ? "JOIN" : item.join_type + " JOIN") + " " + right;
    if (item.on != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(Out on, Condition(*item.on, on_ctx));
      sql += " ON " + on.sql;
    }
    for (const auto& [join, condition] : scope.join_conditions) {
      if (join == &item) sql += " ON " + condition;
    }
    return sql;
  }

  // ---- queries ----

  // `canonical`: computed numbers in the select list are written as their canonical text, so
  // that a set operation compares and sorts them with stored numbers by value.
  OraResult<QueryOut> Query(const ast::Query& query, const Scope* parent, bool positional,
                            bool canonical = false) {
    if (query.with.empty()) return QueryBody(query, parent, positional, canonical);
    std::string with_sql;
    for (const ast::CommonTable& table : query.with) {
      VK_ASSIGN_OR_ORA_RETURN(QueryOut out, Query(*table.query, parent, false));
      if (!table.columns.empty() && table.columns.size() != out.items.size()) {
        return OraErr(32038,
                      "number of WITH clause column names does not match number of elements in "
                      "select list");
      }
      Source source;
      source.name = table.name;
      source.sql_alias = QuoteName(table.name);
      source.physical = QuoteName(table.name);
      std::string names;
      for (std::size_t idx = 0; idx < out.items.size(); ++idx) {
        ColumnInfo column;
        column.name = table.columns.empty() ? out.items[idx].name : table.columns[idx];
        column.type = out.items[idx].type.type;
        column.nullable = out.items[idx].type.nullable;
        names += (idx == 0 ? "" : ", ") + QuoteName(column.name);
        source.columns.push_back(std::move(column));
      }
      with_sql += (with_sql.empty() ? "WITH " : ", ") + QuoteName(table.name) + " (" + names +
                  ") AS (" + out.sql + ")";
      common_tables_.push_back(std::move(source));
    }
    VK_ASSIGN_OR_ORA_RETURN(QueryOut body, QueryBody(query, parent, positional, canonical));
    common_tables_.resize(common_tables_.size() - query.with.size());
    body.sql = with_sql + " " + body.sql;
    body.form = QueryOut::Form::kOther;
    return body;
  }

  OraResult<QueryOut> QueryBody(const ast::Query& query, const Scope* parent, bool positional,
                                bool canonical) {
    if (query.select != nullptr) {
      return Select(*query.select, query.order_by, parent, positional, canonical);
    }
    VK_ASSIGN_OR_ORA_RETURN(QueryOut left, Query(*query.left, parent, positional, true));
    VK_ASSIGN_OR_ORA_RETURN(QueryOut right, Query(*query.right, parent, false, true));
    if (left.items.size() != right.items.size()) {
      return OraErr(1789, "query block has incorrect number of result columns");
    }
    for (std::size_t idx = 0; idx < left.items.size(); ++idx) {
      Typed& mine = left.items[idx].type;
      const Typed& theirs = right.items[idx].type;
      if (mine.is_null) {
        mine = theirs;
        continue;
      }
      if (theirs.is_null) continue;
      if (mine.IsCharacter() != theirs.IsCharacter() || mine.IsNumeric() != theirs.IsNumeric() ||
          mine.IsDate() != theirs.IsDate()) {
        return OraErr(1790, "expression must have same datatype as corresponding expression");
      }
      mine.type.length = std::max(mine.type.length, theirs.type.length);
      mine.nullable = mine.nullable || theirs.nullable;
      if (mine.type.kind != theirs.type.kind && mine.IsCharacter()) {
        mine.type.kind = TypeKind::kVarchar2;
      }
      if (mine.IsNumeric() &&
          (mine.type.precision != theirs.type.precision || mine.type.scale != theirs.type.scale)) {
        mine.type = Typed::Number().type;
      }
    }
    QueryOut out;
    const std::string op = query.set_op == "MINUS" ? "EXCEPT" : query.set_op;
    auto part = [](const QueryOut& piece, bool compound_ok) {
      if (piece.form == QueryOut::Form::kPlain ||
          (compound_ok && piece.form == QueryOut::Form::kCompound)) {
        return piece.sql;
      }
      return "SELECT * FROM (" + piece.sql + ")";
    };
    out.sql = part(left, true) + " " + op + " " + part(right, false);
    out.items = std::move(left.items);
    out.form = QueryOut::Form::kCompound;
    if (!query.order_by.empty()) {
      std::string order;
      for (const ast::OrderItem& item : query.order_by) {
        std::optional<std::size_t> position = OrderPosition(*item.expr, out.items);
        if (!position.has_value()) {
          return OraErr(1785, "ORDER BY item must be the number of a SELECT-list expression");
        }
        order += (order.empty() ? "" : ", ") + std::to_string(*position) + OrderSuffix(item);
      }
      out.sql += " ORDER BY " + order;
      out.form = QueryOut::Form::kOther;
    }
    return out;
  }

  // The select-list position an ORDER BY item names: a number, or an item's name.
  std::optional<std::size_t> OrderPosition(const Expr& expr, const std::vector<Item>& items) {
    if (expr.kind == ExprKind::kNumber) {
      plan_->fixed_slots.push_back(expr.literal_slot);
      double value = std::strtod(expr.literal.c_str(), nullptr);
      if (value >= 1 && value <= static_cast<double>(items.size()) && value == std::floor(value)) {
        return static_cast<std::size_t>(value);
      }
      return std::nullopt;
    }
    if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
      for (std::size_t idx = 0; idx < items.size(); ++idx) {
        if (items[idx].name == expr.name) return idx + 1;
      }
    }
    return std::nullopt;
  }

  static std::string OrderSuffix(const ast::OrderItem& item) {
    std::string suffix = item.descending ? " DESC" : " ASC";
    int nulls = item.nulls != 0 ? item.nulls : (item.descending ? 1 : 2);
    suffix += nulls == 1 ? " NULLS FIRST" : " NULLS LAST";
    return suffix;
  }

  OraResult<QueryOut> Select(const ast::Select& select, const std::vector<ast::OrderItem>& order,
                             const Scope* parent, bool positional, bool canonical) {
    Scope scope;
    scope.parent = parent;
    for (const auto& from : select.from) VK_RETURN_IF_ORA_ERROR(ResolveFrom(*from, &scope, parent));
    std::string hierarchy_sql;
    std::string level_sql;
    if (select.connect_by != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(hierarchy_sql, Hierarchy(select, &scope));
      level_sql = scope.sources[0].sql_alias + ".\"__lvl\"";
    }

    // WHERE: ROWNUM bounds and Oracle (+) outer joins are taken out first.
    std::vector<const Expr*> conjuncts;
    SplitConjuncts(select.where.get(), &conjuncts);
    std::optional<long long> limit;
    std::vector<const Expr*> rest;
    std::vector<std::vector<const Expr*>> outer_conditions(scope.sources.size());
    const bool plain_from = std::all_of(select.from.begin(), select.from.end(), [](const auto& f) {
      return f->kind != ast::FromItem::Kind::kJoin;
    });
    for (const Expr* conjunct : conjuncts) {
      if (conjunct->kind == ExprKind::kCompare && (conjunct->args[0]->kind == ExprKind::kRownum ||
                                                   conjunct->args[1]->kind == ExprKind::kRownum)) {
        bool on_right = conjunct->args[1]->kind == ExprKind::kRownum;
        std::optional<double> value = NumberValue(*conjunct->args[on_right ? 0 : 1]);
        if (value.has_value()) {
          CollectSlots(*conjunct, &plan_->fixed_slots);
          std::optional<long long> bound = RownumLimit(conjunct->op, *value, on_right);
          if (bound.has_value()) limit = limit.has_value() ? std::min(*limit, *bound) : *bound;
          continue;
        }
      }
      if (ContainsRownum(*conjunct)) return OraErr(Unimplemented());
      if (ContainsOuterMark(*conjunct)) {
        if (!plain_from)
          return OraErr(25156, "old style outer join (+) cannot be used with ANSI joins");
        VK_ASSIGN_OR_ORA_RETURN(std::size_t outer, OuterSource(*conjunct, scope));
        outer_conditions[outer].push_back(conjunct);
        scope.sources[outer].outer = true;
        continue;
      }
      rest.push_back(conjunct);
    }

    Ctx fixed{&scope, false, false, {}};
    Ctx where_ctx{&scope, !options_.inline_literals, false, {}};
    fixed.level = level_sql;
    where_ctx.level = level_sql;

    // GROUP BY first: the select list is checked against it.
    std::vector<std::string> group_keys;
    std::vector<std::string> group_sql;
    for (const auto& key : select.group_by) {
      VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*key, fixed));
      group_sql.push_back(SortKey(out));
      group_keys.push_back(std::move(out.sql));
    }
    if (!select.group_by.empty()) scope.group_keys = &group_keys;

    QueryOut result;
    std::string items_sql;
    Ctx item_ctx{&scope, false, true, kRowNumber};
    item_ctx.level = level_sql;
    bool grouped = !select.group_by.empty();
    bool any_bare = false;
    // The SQL of the items whose ORDER BY position must be written as a sort key.
    std::vector<std::string> sort_keys;
    // `computed`: a computed number whose value may be read twice, written as canonical text
    // where a set operation or DISTINCT compares it, else sorted through its key.
    auto add_item = [&](Out out, Item item, bool computed) {
      sort_keys.emplace_back();
      if (computed && (canonical || select.distinct)) {
        out.sql = SortKey(out);
      } else if (computed) {
        sort_keys.back() = SortKey(out);
      }
      if (!items_sql.empty()) items_sql += ", ";
      const std::string name =
          positional ? "__c" + std::to_string(result.items.size() + 1) : item.name;
      items_sql += out.sql + " AS " + QuoteName(name);
      result.items.push_back(std::move(item));
    };
    for (const ast::SelectItem& item : select.items) {
      if (item.expr->kind == ExprKind::kStar && item.expr->qualifier.empty() &&
          !scope.joined.empty()) {
        std::size_t next = 0;
        for (const auto& from : select.from) {
          std::vector<std::string> names;
          std::vector<Out> columns = StarColumns(*from, scope, &next, &names);
          for (std::size_t idx = 0; idx < columns.size(); ++idx) {
            Item column_item{names[idx], columns[idx].type};
            const bool computed = IsComputedNumber(columns[idx]);
            add_item(std::move(columns[idx]), std::move(column_item), computed);
          }
        }
        any_bare = true;
        continue;
      }
      if (item.expr->kind == ExprKind::kStar) {
        bool found = false;
        for (const Source& source : scope.sources) {
          if (!item.expr->qualifier.empty() && source.name != item.expr->qualifier) continue;
          found = true;
          for (const ColumnInfo& column : source.columns) {
            Out out;
            out.sql = source.sql_alias + "." + QuoteName(column.name);
            out.type.type = column.type;
            out.type.nullable = column.nullable || source.outer;
            out.stored = source.stored;
            const bool computed = IsComputedNumber(out);
            Item column_item{column.name, out.type};
            add_item(std::move(out), std::move(column_item), computed);
            any_bare = true;
          }
        }
        if (!found) return OraErr(InvalidIdentifier(QuoteName(item.expr->qualifier)));
        continue;
      }
      VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*item.expr, item_ctx));
      grouped = grouped || out.aggregate;
      any_bare = any_bare || out.bare;
      // ROWNUM and sequence values are whole numbers, and must not be computed twice.
      const bool computed =
          IsComputedNumber(out) && !ContainsRownum(*item.expr) && !ContainsSequence(*item.expr);
      std::string name = item.alias;
      if (name.empty()) {
        name = item.expr->kind == ExprKind::kColumn
                   ? item.expr->name
                   : ExpressionName(sql_.substr(item.begin, item.end - item.begin));
      }
      Item value_item{std::move(name), out.type};
      add_item(std::move(out), std::move(value_item), computed);
    }

    std::string where_sql;
    for (const Expr* conjunct : rest) {
      VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*conjunct, where_ctx));
      where_sql += (where_sql.empty() ? "" : " AND ") + out.sql;
    }

    std::size_t next_source = 0;
    std::string from_sql;
    if (plain_from) {
      // Inner sources first, then each outer-joined one with its conditions.
      for (std::size_t idx = 0; idx < scope.sources.size(); ++idx) {
        if (!outer_conditions[idx].empty()) continue;
        from_sql += (from_sql.empty() ? "" : ", ") + SourceSql(scope.sources[idx]);
      }
      for (std::size_t idx = 0; idx < scope.sources.size(); ++idx) {
        if (outer_conditions[idx].empty()) continue;
        std::string on;
        for (const Expr* condition : outer_conditions[idx]) {
          VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*condition, where_ctx));
          on += (on.empty() ? "" : " AND ") + out.sql;
        }
        if (from_sql.empty())
          return OraErr(1417, "a table may be outer joined to at most one other table");
        from_sql += " LEFT JOIN " + SourceSql(scope.sources[idx]) + " ON " + on;
      }
    } else {
      for (const auto& from : select.from) {
        VK_ASSIGN_OR_ORA_RETURN(std::string piece, FromSql(*from, scope, &next_source, where_ctx));
        from_sql += (from_sql.empty() ? "" : ", ") + piece;
      }
    }

    std::string having_sql;
    if (select.having != nullptr) {
      Ctx having_ctx{&scope, false, true, {}};
      having_ctx.level = level_sql;
      VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*select.having, having_ctx));
      having_sql = out.sql;
      grouped = true;
      any_bare = any_bare || out.bare;
    }
    if (grouped && any_bare) {
      if (select.group_by.empty()) return OraErr(937, "not a single-group group function");
      return OraErr(979, "not a GROUP BY expression");
    }

    std::string order_sql;
    for (const ast::OrderItem& item : order) {
      std::optional<std::size_t> position;
      if (item.expr->kind == ExprKind::kNumber) {
        position = OrderPosition(*item.expr, result.items);
        if (!position.has_value()) {
          return OraErr(1785, "ORDER BY item must be the number of a SELECT-list expression");
        }
      } else {
        position = OrderPosition(*item.expr, result.items);
      }
      std::string term;
      if (position.has_value()) {
        const std::string& key = sort_keys[*position - 1];
        term = key.empty() ? std::to_string(*position) : key;
      } else {
        VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*item.expr, item_ctx));
        if (grouped && out.bare) return OraErr(979, "not a GROUP BY expression");
        term = SortKey(out);
      }
      order_sql += (order_sql.empty() ? "" : ", ") + term + OrderSuffix(item);
    }

    if (!hierarchy_sql.empty()) {
      const std::string& alias = scope.sources[0].sql_alias;
      // A row met again among its own ancestors is a loop: an error, or left out with NOCYCLE.
      const std::string loop = select.nocycle ? "(" + alias + ".\"__cycle\" = 0)"
                                              : "vk_connect_loop(" + alias + ".\"__cycle\")";
      where_sql = where_sql.empty() ? loop : loop + " AND " + where_sql;
      // Without ORDER BY, rows come depth first, each row before its children.
      if (order_sql.empty() && !grouped && !select.distinct) order_sql = alias + ".\"__path\"";
    }

    // ROWNUM counts rows as they pass WHERE, before grouping and sorting.
    std::string limit_sql;
    if (limit.has_value()) {
      const bool simple = !grouped && !select.distinct && order.empty();
      if (simple) {
        limit_sql = " LIMIT " + std::to_string(*limit);
      } else if (scope.sources.size() == 1 && scope.sources[0].has_rowid) {
        const Source& source = scope.sources[0];
        std::string inner = "SELECT " + source.sql_alias + ".rowid FROM " + SourceSql(source);
        if (!where_sql.empty()) inner += " WHERE " + where_sql;
        inner += " LIMIT " + std::to_string(*limit);
        where_sql = source.sql_alias + ".rowid IN (" + inner + ")";
      } else {
        return OraErr(Unimplemented());
      }
    }

    result.sql = std::string("SELECT ") + (select.distinct ? "DISTINCT " : "") + items_sql +
                 " FROM " + from_sql;
    if (!where_sql.empty()) result.sql += " WHERE " + where_sql;
    if (!group_sql.empty()) {
      result.sql += " GROUP BY ";
      for (std::size_t idx = 0; idx < group_sql.size(); ++idx) {
        result.sql += (idx == 0 ? "" : ", ") + group_sql[idx];
      }
    }
    if (!having_sql.empty()) result.sql += " HAVING " + having_sql;
    if (!order_sql.empty()) result.sql += " ORDER BY " + order_sql;
    result.sql += limit_sql;
    result.form =
        order_sql.empty() && limit_sql.empty() ? QueryOut::Form::kPlain : QueryOut::Form::kOther;
    if (!hierarchy_sql.empty()) {
      result.sql = "SELECT * FROM (" + hierarchy_sql + " " + result.sql + ")";
      result.form = QueryOut::Form::kOther;
    }
    return result;
  }

  // START WITH ... CONNECT BY ... over the one source of `scope`, as a recursive common table
  // of the source's rows with their level, their path from the root (the sort key of depth
  // first order), the keys of their ancestors, and whether the row closes a loop (it is one
  // of its ancestors). Rows are told apart by rowid, or by their position in an inline view.
  // Returns the WITH clause and leaves the scope's source reading the common table.
  OraResult<std::string> Hierarchy(const ast::Select& select, Scope* scope) {
    if (scope->sources.size() != 1 || !scope->joined.empty()) return OraErr(Unimplemented());
    Source& source = scope->sources[0];
    const std::string& alias = source.sql_alias;
    const std::string table = QuoteName("__h" + std::to_string(++views_));
    std::string names;
    std::string child_columns;
    for (const ColumnInfo& column : source.columns) {
      names += QuoteName(column.name) + ", ";
      child_columns += alias + "." + QuoteName(column.name) + ", ";
    }
    const std::string key = source.has_rowid ? alias + ".rowid" : std::string(kRowNumber);
    const std::string base =
        "(SELECT " + child_columns + key + " AS \"__rn\" FROM " + SourceSql(source) + ")";
    const std::string row_key = alias + ".\"__rn\"";

    Ctx start_ctx{scope, !options_.inline_literals, false, {}};
    start_ctx.level = "1";
    // A row's step in the path: the number of digits of its key as a letter, then the digits,
    // so that paths compare as the sequences of keys do and stay short for small keys.
    const std::string step = "char(96 + length(" + row_key + ")) || " + row_key;
    std::string anchor = "SELECT " + child_columns + row_key + ", 1, " + step + ", ',' || " +
                         row_key + " || ',', 0 FROM " + base + " AS " + alias;
    if (select.start_with != nullptr) {
      VK_ASSIGN_OR_ORA_RETURN(Out start, Condition(*select.start_with, start_ctx));
      anchor += " WHERE " + start.sql;
    }

    Scope prior = *scope;
    prior.sources[0].sql_alias = "\"__p\"";
    prior.sources[0].stored = false;
    Ctx connect_ctx{scope, !options_.inline_literals, false, {}};
    connect_ctx.prior = &prior;
    connect_ctx.level = "(\"__p\".\"__lvl\" + 1)";
    VK_ASSIGN_OR_ORA_RETURN(Out connect, Condition(*select.connect_by, connect_ctx));
    // Without PRIOR the condition does not follow rows from parent to child: no loop to find,
    // nor ancestors to keep.
    const bool follows = ContainsPrior(*select.connect_by);
    const std::string cycle =
        follows ? "instr(\"__p\".\"__anc\", ',' || " + row_key + " || ',') > 0" : std::string("0");
    const std::string ancestors =
        follows ? "\"__p\".\"__anc\" || " + row_key + " || ','" : std::string("''");
    // Each row made by recursion is counted and its path measured: a hierarchy that never
    // ends is ORA-30009 instead of all the memory.
    const std::string recursive = "SELECT " + child_columns + row_key +
                                  ", vk_connect_level(\"__p\".\"__lvl\" + 1, \"__p\".\"__path\", " +
                                  std::to_string(kMaxConnectRows) + "), \"__p\".\"__path\" || " +
                                  step + ", " + ancestors + ", " + cycle + " FROM " + table +
                                  " AS \"__p\" JOIN " + base + " AS " + alias + " ON " +
                                  connect.sql + " WHERE \"__p\".\"__cycle\" = 0";

    source.physical = table;
    source.stored = false;
    source.has_rowid = false;
    return "WITH RECURSIVE " + table + " (" + names +
           "\"__rn\", \"__lvl\", \"__path\", \"__anc\", \"__cycle\") AS (" + anchor +
           " UNION ALL " + recursive + ")";
  }

  // The source whose columns carry the (+) marks of `condition`.
  OraResult<std::size_t> OuterSource(const Expr& condition, const Scope& scope) {
    std::optional<std::size_t> found;
    std::optional<OraError> error;
    auto visit = [&](auto&& self, const Expr& expr) -> void {
      if (expr.kind == ExprKind::kColumn && expr.outer_join) {
        auto index = FindInScope(expr, scope);
        if (!index.has_value()) {
          if (!index.error().message.empty() && !error.has_value()) error = index.error();
          return;
        }
        if (found.has_value() && *found != index->first) {
          if (!error.has_value()) {
            error = Ora(1468, "a predicate may reference only one outer-joined table");
          }
          return;
        }
        found = index->first;
      }
      for (const auto& arg : expr.args) self(self, *arg);
    };
    visit(visit, condition);
    if (error.has_value()) return OraErr(std::move(*error));
    if (!found.has_value()) return OraErr(InvalidIdentifier("\"(+)\""));
    return *found;
  }

  // ---- names ----

  // (source index, column index) of a column reference among the sources of `scope` alone.
  OraResult<std::pair<std::size_t, std::size_t>> FindInScope(const Expr& expr, const Scope& scope) {
    std::optional<std::pair<std::size_t, std::size_t>> found;
    for (std::size_t source_idx = 0; source_idx < scope.sources.size(); ++source_idx) {
      const Source& source = scope.sources[source_idx];
      if (!expr.qualifier2.empty()) {
        if (source.aliased || source.owner != expr.qualifier2 || source.table != expr.qualifier) {
          continue;
        }
      } else if (!expr.qualifier.empty() && source.name != expr.qualifier) {
        continue;
      }
      for (std::size_t column_idx = 0; column_idx < source.columns.size(); ++column_idx) {
        if (source.columns[column_idx].name != expr.name) continue;
        if (found.has_value()) return OraErr(918, "column ambiguously defined");
        found = std::make_pair(source_idx, column_idx);
      }
    }
    if (!found.has_value()) return OraErr(OraError{});
    return *found;
  }

  // A reference to a column of a NATURAL or USING join: unqualified, it names the joined
  // column (nullopt when it names none); qualified, it is refused as Oracle does.
  static OraResult<std::optional<Out>> FindJoined(const Expr& expr, const Scope& scope) {
    if (scope.joined.empty()) return std::optional<Out>();
    if (!expr.qualifier.empty()) {
      for (const JoinedColumn& joined : scope.joined) {
        if (joined.name != expr.name) continue;
        for (std::size_t source_idx : joined.sides) {
          const Source& source = scope.sources[source_idx];
          const bool named = expr.qualifier2.empty()
                                 ? source.name == expr.qualifier
                                 : !source.aliased && source.owner == expr.qualifier2 &&
                                       source.table == expr.qualifier;
          if (!named) continue;
          if (joined.join->natural) {
            return OraErr(25155, "column used in NATURAL join cannot have qualifier");
          }
          return OraErr(25154, "column part of USING clause cannot have qualifier");
        }
      }
      return std::optional<Out>();
    }
    const JoinedColumn* found = nullptr;
    for (auto joined = scope.joined.rbegin(); joined != scope.joined.rend(); ++joined) {
      if (joined->name == expr.name) {
        found = &*joined;
        break;
      }
    }
    if (found == nullptr) return std::optional<Out>();
    // The same name outside the join is ambiguous.
    for (const JoinedColumn& joined : scope.joined) {
      if (joined.name == expr.name && (joined.first < found->first || joined.end > found->end)) {
        return OraErr(918, "column ambiguously defined");
      }
    }
    for (std::size_t source_idx = 0; source_idx < scope.sources.size(); ++source_idx) {
      if (source_idx >= found->first && source_idx < found->end) continue;
      for (const ColumnInfo& column : scope.sources[source_idx].columns) {
        if (column.name == expr.name) return OraErr(918, "column ambiguously defined");
      }
    }
    Out out;
    out.sql = found->sql;
    out.type = found->type;
    out.stored = found->stored;
    return std::optional<Out>(std::move(out));
  }

  OraResult<Out> Column(const Expr& expr, const Ctx& ctx) {
    const bool level = expr.name == "LEVEL" && expr.qualifier.empty();
    if (level && !ctx.level.empty()) {
      Out out;
      out.sql = std::string(ctx.level);
      out.type = Typed::Number();
      out.type.nullable = false;
      return out;
    }
    bool own_scope = true;
    for (const Scope* scope = ctx.scope; scope != nullptr; scope = scope->parent) {
      VK_ASSIGN_OR_ORA_RETURN(std::optional<Out> joined, FindJoined(expr, *scope));
      if (joined.has_value()) {
        joined->bare = own_scope;
        return std::move(*joined);
      }
      auto found = FindInScope(expr, *scope);
      if (found.has_value()) {
        const Source& source = scope->sources[found->first];
        const ColumnInfo& column = source.columns[found->second];
        Out out;
        out.sql = source.sql_alias + "." + QuoteName(column.name);
        out.type.type = column.type;
        out.type.nullable = column.nullable || source.outer;
        out.bare = own_scope;
        out.stored = source.stored;
        return out;
      }
      if (!found.error().message.empty()) return OraErr(std::move(found.error()));
      own_scope = false;
    }
    std::string name;
    if (!expr.qualifier2.empty()) name += QuoteName(expr.qualifier2) + ".";
    if (!expr.qualifier.empty()) name += QuoteName(expr.qualifier) + ".";
    name += QuoteName(expr.name);
    if (level) return OraErr(1788, "CONNECT BY clause required in this query block");
    return OraErr(InvalidIdentifier(name));
  }

  OraResult<Out> Rowid(const Expr& expr, const Ctx& ctx) {
    for (const Scope* scope = ctx.scope; scope != nullptr; scope = scope->parent) {
      for (const Source& source : scope->sources) {
        if (!expr.qualifier.empty() && source.name != expr.qualifier) continue;
        if (!source.has_rowid) continue;
        Out out;
        out.sql = source.sql_alias + ".rowid";
        out.type = Typed::Rowid();
        return out;
      }
    }
    return OraErr(InvalidIdentifier("\"ROWID\""));
  }

  // ---- expressions ----

  OraResult<std::string> Literal(const Expr& expr, bool negate, const Ctx& ctx, Typed* type) {
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
    if (ctx.params) {
      plan_->parameters.push_back(ParameterSource{expr.literal_slot, negate, false, {}});
      parameters_->push_back(std::move(value));
      return "?" + std::to_string(parameters_->size());
    }
    plan_->fixed_slots.push_back(expr.literal_slot);
    return inline_sql;
  }

  OraResult<Out> Condition(const Expr& expr, const Ctx& ctx) { return Value(expr, ctx); }

  // Text compared with a DATE is read as a date, and text compared with a number as a number
  // (ORA-01722 when it is not one), as Oracle's implicit conversions do.
  static void CoerceForComparison(Out* left, Out* right) {
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

  // `subject` compared with each of `values` (IN lists, BETWEEN bounds): the implicit
  // conversions of each comparison, and a computed subject compared as canonical text with
  // every value written as such, which SQLite then compares under the numeric collation.
  static void CoerceOperands(Out* subject, std::vector<Out>* values) {
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

  // A number computed by a function or an operator: it travels as INTEGER, REAL or exact TEXT,
  // kinds SQLite does not order together by value.
  static bool IsComputedNumber(const Out& out) { return out.type.IsNumeric() && !out.stored; }

  // What ORDER BY, GROUP BY, DISTINCT and MIN/MAX compare: computed numbers as canonical text
  // under the numeric collation, which orders them by value together with stored numbers.
  static std::string SortKey(const Out& out) {
    if (!IsComputedNumber(out)) return out.sql;
    return "vk_numtext(" + out.sql + ") COLLATE " + std::string(kNumberCollation);
  }

  // left op right, one of = <> < <= > >=, after the implicit conversions.
  static std::string CompareSql(Out left, Out right, std::string_view op) {
    CoerceForComparison(&left, &right);
    if (IsComputedNumber(left) && IsComputedNumber(right)) {
      // Computed numbers may travel as exact TEXT, which SQLite would order after every
      // INTEGER and REAL: compare them by value.
      return "(vk_cmp(" + left.sql + ", " + right.sql + ") " + std::string(op) + " 0)";
    }
    return "(" + left.sql + " " + std::string(op) + " " + right.sql + ")";
  }

  OraResult<std::vector<Out>> Args(const Expr& expr, const Ctx& ctx) {
    std::vector<Out> outs;
    for (const auto& arg : expr.args) {
      VK_ASSIGN_OR_ORA_RETURN(Out out, Value(*arg, ctx));
      outs.push_back(std::move(out));
    }
    return outs;
  }

  static void Merge(Out* into, const Out& part) {
    into->aggregate = into->aggregate || part.aggregate;
    into->bare = into->bare || part.bare;
  }

  OraResult<Out> Value(const Expr& expr, const Ctx& ctx) {
    VK_ASSIGN_OR_ORA_RETURN(Out out, ValueUngrouped(expr, ctx));
    if (out.bare && ctx.scope != nullptr && ctx.scope->group_keys != nullptr) {
      const auto& keys = *ctx.scope->group_keys;
      if (std::find(keys.begin(), keys.end(), out.sql) != keys.end()) out.bare = false;
    }
    return out;
  }

  OraResult<Out> ValueUngrouped(const Expr& expr, const Ctx& ctx) {
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
        if (!schema_.SequenceExists(expr.name)) return OraErr(2289, "sequence does not exist");
        std::string owner = expr.qualifier.empty() ? schema_.CurrentUser() : expr.qualifier;
        out.sql = std::string(expr.op == "NEXTVAL" ? "vk_nextval(" : "vk_currval(") +
                  QuoteString(owner) + ", " + QuoteString(expr.name) + ")";
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
        return Function(expr, ctx);
      case ExprKind::kTrim: {
        VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, ctx));
        const Out& source = args.back();
        if (expr.op.empty() && args.size() == 1) {
          out.sql = "trim(" + source.sql + ")";
        } else {
          std::string set = args.size() == 2 ? args[0].sql : "' '";
          out.sql = "vk_trim(" + QuoteString(expr.op.empty() ? "BOTH" : expr.op) + ", " + set +
                    ", " + source.sql + ")";
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
          VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Query(*expr.query, ctx.scope, true));
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
        out.sql = "(" + subject.sql + (expr.negated ? " NOT BETWEEN " : " BETWEEN ") +
                  bounds[0].sql + " AND " + bounds[1].sql + ")";
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
        VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Query(*expr.query, ctx.scope, false));
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
      case ExprKind::kSubquery: {
        VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Query(*expr.query, ctx.scope, false));
        if (sub.items.size() != 1) return OraErr(913, "too many values");
        out.sql = "(" + sub.sql + ")";
        out.type = sub.items[0].type;
        out.type.nullable = true;
        return out;
      }
    }
    return OraErr(936, "missing expression");
  }

  // x op ANY|ALL (...). A list is the OR (ANY) or AND (ALL) of the comparisons. A query is
  // folded over its rows: each comparison ranked (for ANY true 0, unknown 1, false 2; for ALL
  // false 0, unknown 1, true 2) and the least rank decides, so that no rows give false for
  // ANY and true for ALL, and an unknown comparison makes the result unknown unless a row
  // settles it.
  OraResult<Out> Quantified(const Expr& expr, const Ctx& ctx) {
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
    VK_ASSIGN_OR_ORA_RETURN(QueryOut sub, Query(*expr.query, ctx.scope, true));
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

  // `a op b op c ...` as parsed (left-deep): the operands in order.
  static void ChainOperands(const Expr& expr, const std::string& op,
                            std::vector<const Expr*>* operands) {
    const Expr* left = &expr;
    std::vector<const Expr*> rights;
    while (left->kind == expr.kind && left->op == op) {
      rights.push_back(left->args[1].get());
      left = left->args[0].get();
    }
    operands->push_back(left);
    operands->insert(operands->end(), rights.rbegin(), rights.rend());
  }

  // f(f(a, b), f(c, d)): long chains of an associative operator nest only log2(n) deep, as
  // SQLite's parser refuses calls nested about a hundred deep.
  static std::string Balanced(const std::vector<Out>& outs, std::size_t begin, std::size_t end,
                              const char* function) {
    if (end - begin == 1) return outs[begin].sql;
    const std::size_t middle = begin + (end - begin) / 2;
    return std::string(function) + "(" + Balanced(outs, begin, middle, function) + ", " +
           Balanced(outs, middle, end, function) + ")";
  }

  // x LIKE 'literal' as x GLOB 'pattern': Oracle's LIKE tells upper from lower case.
  OraResult<Out> LikeAsGlob(const Expr& expr, const Ctx& ctx) {
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
    if (ctx.params) {
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

  OraResult<Out> Binary(const Expr& expr, const Ctx& ctx) {
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
      out.sql = Balanced(outs, 0, outs.size(), "vk_concat");
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

  // left op right for + - * /, with the date arithmetic Oracle allows.
  static OraResult<Out> Arithmetic(const std::string& op, Out left, const Out& right) {
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

  // The characters a value of this type takes as text (for || and the like).
  static int DisplayLength(const Typed& typed) {
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

  // A literal integer argument's value (substr(c, 1, 30)).
  static std::optional<int> LiteralInt(const Expr& expr) {
    if (expr.kind != ExprKind::kNumber) return std::nullopt;
    double value = std::strtod(expr.literal.c_str(), nullptr);
    if (value < 0 || value > 32767) return std::nullopt;
    return static_cast<int>(value);
  }

  static Typed Widest(const std::vector<const Out*>& outs) {
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

  // The width of the text TO_CHAR makes of a date with format `format`.
  static int DateFormatWidth(std::string_view format) {
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

  OraResult<Out> Function(const Expr& expr, const Ctx& ctx) {
    const FunctionSpec* spec = FindFunction(expr.name);
    if (spec == nullptr) return OraErr(InvalidIdentifier(QuoteName(expr.name)));
    if (spec->aggregate && !ctx.aggregates)
      return OraErr(934, "group function is not allowed here");
    const int count = static_cast<int>(expr.args.size()) + (expr.star ? 1 : 0);
    if (count < spec->min_args || count > spec->max_args || (expr.star && expr.name != "COUNT")) {
      return OraErr(909, "invalid number of arguments");
    }
    // Aggregates inside an aggregate are not allowed; their arguments are not grouped.
    Ctx arg_ctx = ctx;
    if (spec->aggregate) arg_ctx.aggregates = false;
    VK_ASSIGN_OR_ORA_RETURN(std::vector<Out> args, Args(expr, arg_ctx));
    if (spec->aggregate && args.size() == 1 &&
        (expr.distinct || expr.name == "MIN" || expr.name == "MAX")) {
      args[0].sql = SortKey(args[0]);
    }
    Out out;
    for (const Out& arg : args) Merge(&out, arg);
    out.sql = Lower(expr.name) + "(";
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
    }
    return out;
  }

  OraResult<Out> Case(const Expr& expr, const Ctx& ctx) {
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

  // ---- DML ----

  std::string StoreSql(const std::string& value, const ColumnInfo& column, const Source& target) {
    const SqlType& type = column.type;
    std::string sql = "vk_store(" + value + ", " + std::to_string(type.TypeCode()) + ", " +
                      std::to_string(type.length) + ", ";
    sql += type.kind == TypeKind::kFloat || !type.precision.has_value()
               ? std::string("NULL")
               : std::to_string(*type.precision);
    sql += ", ";
    sql += type.kind == TypeKind::kFloat || !type.scale.has_value() ? std::string("NULL")
                                                                    : std::to_string(*type.scale);
    sql += ", " + QuoteString(target.owner) + ", " + QuoteString(target.table) + ", " +
           QuoteString(column.name) + ")";
    return sql;
  }

  OraResult<Source> Target(const ast::TableName& name, Translation* translation) {
    VK_ASSIGN_OR_ORA_RETURN(TableInfo table, LookUp(name.owner, name.name));
    if (table.is_view) return OraErr(1732, "data manipulation operation not legal on this view");
    Source source = TableSource(std::move(table), name.alias);
    translation->target_owner = source.owner;
    translation->target_table = source.table;
    return source;
  }

  OraResult<std::size_t> TargetColumn(const Source& target, const std::string& name) {
    for (std::size_t idx = 0; idx < target.columns.size(); ++idx) {
      if (target.columns[idx].name == name) return idx;
    }
    return OraErr(InvalidIdentifier(QuoteName(name)));
  }

  OraStatus Insert(const ast::Insert& insert, Translation* translation) {
    VK_ASSIGN_OR_ORA_RETURN(Source target, Target(insert.table, translation));
    std::vector<std::size_t> columns;
    if (insert.columns.empty()) {
      for (std::size_t idx = 0; idx < target.columns.size(); ++idx) columns.push_back(idx);
    } else {
      for (const std::string& name : insert.columns) {
        VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, TargetColumn(target, name));
        if (std::find(columns.begin(), columns.end(), idx) != columns.end()) {
          return OraErr(957, "duplicate column name");
        }
        columns.push_back(idx);
      }
    }
    std::string column_list;
    for (std::size_t idx : columns) {
      column_list += (column_list.empty() ? "" : ", ") + QuoteName(target.columns[idx].name);
    }
    std::string& sql = translation->sql;
    sql = "INSERT INTO " + target.physical + " (" + column_list + ") ";
    if (insert.query == nullptr) {
      if (insert.values.size() > columns.size()) return OraErr(913, "too many values");
      if (insert.values.size() < columns.size()) return OraErr(947, "not enough values");
      Scope empty;
      // One row is inserted: its ROWNUM is 1.
      Ctx ctx{&empty, !options_.inline_literals, false, "1"};
      sql += "VALUES (";
      for (std::size_t idx = 0; idx < columns.size(); ++idx) {
        VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*insert.values[idx], ctx));
        if (idx != 0) sql += ", ";
        sql += StoreSql(value.sql, target.columns[columns[idx]], target);
      }
      sql += ")";
      return {};
    }
    VK_ASSIGN_OR_ORA_RETURN(QueryOut query, Query(*insert.query, nullptr, true));
    if (query.items.size() > columns.size()) return OraErr(913, "too many values");
    if (query.items.size() < columns.size()) return OraErr(947, "not enough values");
    sql += "SELECT ";
    for (std::size_t idx = 0; idx < columns.size(); ++idx) {
      if (idx != 0) sql += ", ";
      sql += StoreSql(QuoteName("__c" + std::to_string(idx + 1)), target.columns[columns[idx]],
                      target);
    }
    sql += " FROM (" + query.sql + ")";
    return {};
  }

  // The WHERE of an UPDATE or DELETE, ROWNUM bounds included.
  OraResult<std::string> DmlWhere(const Expr* where, Scope* scope) {
    std::vector<const Expr*> conjuncts;
    SplitConjuncts(where, &conjuncts);
    std::optional<long long> limit;
    Ctx ctx{scope, !options_.inline_literals, false, {}};
    std::string where_sql;
    for (const Expr* conjunct : conjuncts) {
      if (conjunct->kind == ExprKind::kCompare && (conjunct->args[0]->kind == ExprKind::kRownum ||
                                                   conjunct->args[1]->kind == ExprKind::kRownum)) {
        bool on_right = conjunct->args[1]->kind == ExprKind::kRownum;
        std::optional<double> value = NumberValue(*conjunct->args[on_right ? 0 : 1]);
        if (value.has_value()) {
          CollectSlots(*conjunct, &plan_->fixed_slots);
          std::optional<long long> bound = RownumLimit(conjunct->op, *value, on_right);
          if (bound.has_value()) limit = limit.has_value() ? std::min(*limit, *bound) : *bound;
          continue;
        }
      }
      if (ContainsRownum(*conjunct)) return OraErr(Unimplemented());
      VK_ASSIGN_OR_ORA_RETURN(Out out, Condition(*conjunct, ctx));
      where_sql += (where_sql.empty() ? "" : " AND ") + out.sql;
    }
    if (limit.has_value()) {
      const Source& source = scope->sources[0];
      std::string inner = "SELECT " + source.sql_alias + ".rowid FROM " + SourceSql(source);
      if (!where_sql.empty()) inner += " WHERE " + where_sql;
      inner += " LIMIT " + std::to_string(*limit);
      where_sql = source.sql_alias + ".rowid IN (" + inner + ")";
    }
    return where_sql;
  }

  OraStatus Update(const ast::Update& update, Translation* translation) {
    VK_ASSIGN_OR_ORA_RETURN(Source target, Target(update.table, translation));
    Scope scope;
    scope.sources.push_back(target);
    // ROWNUM in SET numbers the updated rows: it is read from a numbering of them joined in.
    bool rownum_used = false;
    Ctx ctx{&scope, !options_.inline_literals, false, "\"__rn\".\"N\"", &rownum_used};
    std::string& sql = translation->sql;
    std::string sets;
    std::vector<std::size_t> seen;
    for (const ast::Assignment& assignment : update.assignments) {
      VK_ASSIGN_OR_ORA_RETURN(std::size_t idx, TargetColumn(target, assignment.column));
      if (std::find(seen.begin(), seen.end(), idx) != seen.end()) {
        return OraErr(957, "duplicate column name");
      }
      seen.push_back(idx);
      VK_ASSIGN_OR_ORA_RETURN(Out value, Value(*assignment.value, ctx));
      sets += (sets.empty() ? "" : ", ") + QuoteName(target.columns[idx].name) + " = " +
              StoreSql(value.sql, target.columns[idx], target);
    }
    VK_ASSIGN_OR_ORA_RETURN(std::string where_sql, DmlWhere(update.where.get(), &scope));
    sql = "UPDATE " + SourceSql(target) + " SET " + sets;
    if (rownum_used) {
      std::string numbering = "SELECT " + target.sql_alias + ".rowid AS \"R\", " +
                              std::string(kRowNumber) + " AS \"N\" FROM " + SourceSql(target);
      if (!where_sql.empty()) numbering += " WHERE " + where_sql;
      sql += " FROM (" + numbering + ") AS \"__rn\" WHERE " + target.sql_alias +
             ".rowid = \"__rn\".\"R\"";
      return {};
    }
    if (!where_sql.empty()) sql += " WHERE " + where_sql;
    return {};
  }

  OraStatus Delete(const ast::Delete& del, Translation* translation) {
    VK_ASSIGN_OR_ORA_RETURN(Source target, Target(del.table, translation));
    Scope scope;
    scope.sources.push_back(target);
    VK_ASSIGN_OR_ORA_RETURN(std::string where_sql, DmlWhere(del.where.get(), &scope));
    std::string& sql = translation->sql;
    sql = "DELETE FROM " + SourceSql(target);
    if (!where_sql.empty()) sql += " WHERE " + where_sql;
    return {};
  }

  std::string_view sql_;
  const SchemaLookup& schema_;
  const TranslateOptions& options_;
  EmitPlan* plan_;
  std::vector<BindValue>* parameters_;
  std::vector<Source> common_tables_;  // the WITH tables in scope, outermost first
  int views_ = 0;
};

}  // namespace

OraResult<Translation> EmitStatement(std::string_view sql, const ast::Statement& statement,
                                     const SchemaLookup& schema, const TranslateOptions& options,
                                     EmitPlan* plan) {
  std::vector<BindValue> parameters;
  Emitter emitter(sql, schema, options, plan, &parameters);
  VK_ASSIGN_OR_ORA_RETURN(Translation translation, emitter.Statement(statement));
  translation.parameters = std::move(parameters);
  return translation;
}

}  // namespace volmek::engine
