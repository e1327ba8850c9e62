// The emitter's inside: the scopes, sources and typed SQL pieces it builds, and the Emitter
// class whose members are spread over emitter_*.cc by concern (tables and joins, queries, names,
// expressions, functions, DML). Only the translator's own files include this header.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/syntax/ast.h"
#include "engine/translate/describe_infer.h"
#include "engine/translate/emitter.h"

namespace volmek::engine::emitter_internal {

using ast::Expr;
using ast::ExprKind;

OraError InvalidIdentifier(std::string_view quoted_name);
inline OraError Unimplemented() { return Ora(3001, "unimplemented feature"); }

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
  // Prefixed to its column names in SQL: the sources of a join read through one row of a
  // hierarchy share its alias, each column under its source's prefix.
  std::string column_prefix;
  // A view written through (emitter_views.cc): `columns` are the view's, each read as
  // `view_columns[i].sql` over the table, whose columns `base_columns` are, and written to
  // base column `view_columns[i].base` (none: computed). `view_where`: the view's WHERE.
  struct ViewColumn {
    std::string sql;
    std::optional<std::size_t> base;
  };
  std::vector<ViewColumn> view_columns;
  std::vector<ColumnInfo> base_columns;
  std::string view_where;
  bool view_check = false;  // WITH CHECK OPTION
  // The recursive WITH table being compiled, as its recursive member reads it.
  bool recursive_with = false;
};

// The column of a recursive WITH table that carries the digests of a row and of its nearest
// ancestors, by which a row met again among them is found.
inline constexpr std::string_view kAncestryColumn = "\"__with_anc\"";
// The rows a recursive WITH may make by recursion before it is stopped.
inline constexpr std::int64_t kMaxRecursiveWithRows = 1'000'000;

inline std::string ColumnSql(const Source& source, const ColumnInfo& column) {
  if (!source.view_columns.empty()) {
    return source.view_columns[static_cast<std::size_t>(&column - source.columns.data())].sql;
  }
  return source.sql_alias + "." + QuoteName(source.column_prefix + column.name);
}

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

// GROUP BY with ROLLUP, CUBE or GROUPING SETS is one GROUP BY over the rows crossed with the
// numbers of the grouping sets ("__gs".column1), by the set number and by each grouping
// expression only in the sets that hold it. A grouping expression some set leaves out stands
// for `grouped` outside aggregates (NULL in that set's rows), and GROUPING(x) for `grouping`.
struct GroupingKey {
  std::string sql;       // the expression as the rows have it
  std::string grouped;   // CASE WHEN "__gs".column1 IN (its sets) THEN sql END
  std::string grouping;  // CASE WHEN "__gs".column1 IN (its sets) THEN 0 ELSE 1 END
};
using GroupingKeys = std::vector<GroupingKey>;

struct Scope {
  std::vector<Source> sources;
  const Scope* parent = nullptr;
  const std::vector<std::string>* group_keys = nullptr;
  // While a subquery in the select list, HAVING or ORDER BY of a grouped query is written: the
  // columns of this query it may name are its GROUP BY keys, and naming another is noted.
  mutable bool only_group_keys = false;
  mutable bool named_ungrouped = false;
  // While the select list, HAVING and ORDER BY of a query with grouping sets are written: its
  // rolled-up expressions, as the subqueries there see them too.
  const GroupingKeys* grouping = nullptr;
  std::vector<JoinedColumn> joined;  // in the order the joins were resolved, innermost first
  std::vector<std::pair<const ast::FromItem*, std::string>> join_conditions;
};

struct Out {
  std::string sql;
  Typed type;
  bool aggregate = false;  // holds an aggregate function
  bool bare = false;       // holds a column of its own query that is not grouped
  bool stored = false;     // a column of a table or view (its collation compares it)
  bool analytic = false;   // holds an analytic function
};

// What the clauses of a hierarchical query read from its common table besides the source's
// columns: the values carried from parent to child (CONNECT_BY_ROOT x, SYS_CONNECT_BY_PATH),
// and whether rows know their parent's path (CONNECT_BY_ISLEAF, CONNECT_BY_ISCYCLE).
struct HierarchyInfo {
  struct Carried {
    const Expr* expr = nullptr;
    std::string column;
    Typed type;
  };
  std::string table;  // the common table
  std::string alias;  // the source reading it
  bool nocycle = false;
  bool children = false;
  std::vector<Carried> carried;
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
  // The hierarchy whose pseudocolumns this clause reads (null: none here).
  const HierarchyInfo* hierarchy = nullptr;
  bool analytics = false;  // analytic functions allowed (select lists and ORDER BY)
  // GROUP BY ROLLUP, CUBE and GROUPING SETS: the rolled-up expressions, which stand for their
  // `grouped` form here (not inside aggregates).
  const GroupingKeys* grouping = nullptr;
};

inline constexpr std::string_view kRowNumber = "row_number() OVER ()";
// Rows a hierarchical query may make by recursion before it is ORA-30009.
inline constexpr std::int64_t kMaxConnectRows = 1'000'000;

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
  kLongText,    // VARCHAR2(4000)
  kContext,     // VARCHAR2(256)
};

struct FunctionSpec {
  std::string_view name;
  int min_args;
  int max_args;
  Rule rule;
  bool aggregate;
};

inline constexpr std::array<FunctionSpec, 60> kFunctions = {{
    {"NLS_UPPER", 1, 2, Rule::kArg0, false},
    {"NLS_LOWER", 1, 2, Rule::kArg0, false},
    {"NLS_INITCAP", 1, 2, Rule::kArg0, false},
    {"LENGTHB", 1, 1, Rule::kNumber, false},
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
    {"REMAINDER", 2, 2, Rule::kNumber, false},
    {"SYS_CONTEXT", 2, 3, Rule::kContext, false},
    {"USERENV", 1, 1, Rule::kContext, false},
    {"ABS", 1, 1, Rule::kNumber, false},
    {"SIGN", 1, 1, Rule::kNumber, false},
    {"CEIL", 1, 1, Rule::kNumber, false},
    {"FLOOR", 1, 1, Rule::kNumber, false},
    {"POWER", 2, 2, Rule::kNumber, false},
    {"BITAND", 2, 2, Rule::kNumber, false},
    {"WIDTH_BUCKET", 4, 4, Rule::kNumber, false},
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
    {"SUBSTRB", 2, 3, Rule::kSubstr, false},
    {"REGEXP_SUBSTR", 2, 6, Rule::kVarchar0, false},
    {"REGEXP_INSTR", 2, 7, Rule::kNumber, false},
    {"REGEXP_REPLACE", 2, 6, Rule::kLongText, false},
    {"REGEXP_COUNT", 2, 4, Rule::kNumber, false},
}};

const FunctionSpec* FindFunction(std::string_view name);

std::string Lower(std::string_view text);

bool ContainsRownum(const Expr& expr);

bool ContainsSequence(const Expr& expr);

bool ContainsPrior(const Expr& expr);

bool ContainsOuterMark(const Expr& expr);

void SplitConjuncts(const Expr* expr, std::vector<const Expr*>* out);

// The literal value of a (possibly negated) number literal.
std::optional<double> NumberValue(const Expr& expr);

// The literal slots a rownum bound uses (written into the text: the bound shapes the SQL).
void CollectSlots(const Expr& expr, std::vector<int>* slots);

// How many rows a "ROWNUM op value" condition lets through, counting as Oracle does (ROWNUM
// grows only for rows that pass): nullopt when it lets every row through.
std::optional<long long> RownumLimit(std::string op, double value, bool rownum_on_right);

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
    if (statement.merge != nullptr) {
      translation.function_type = db::kFunctionMerge;
      VK_RETURN_IF_ORA_ERROR(Merge(*statement.merge, &translation));
      return translation;
    }
    if (statement.multi_insert != nullptr) {
      translation.function_type = db::kFunctionInsert;
      VK_RETURN_IF_ORA_ERROR(MultiInsert(*statement.multi_insert, &translation));
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
  // The FROM clause (emitter_tables.cc).

  OraResult<TableInfo> LookUp(const std::string& owner, const std::string& name);

  Source TableSource(TableInfo table, const std::string& alias);

  // Resolves the FROM entries into `scope`, leaving `pieces[i]` the SQL of entry i (joins
  // without their ON conditions yet: those need every source in scope).
  OraStatus ResolveFrom(const ast::FromItem& item, Scope* scope, const Scope* parent);

  // One side's column `name` for a NATURAL or USING join: a joined column of a join inside
  // the side, else the one source column of that name among [first, end).
  struct Side {
    Out out;
    std::vector<std::size_t> sides;
  };
  static OraResult<Side> JoinSide(const Scope& scope, std::size_t first, std::size_t end,
                                  const std::string& name);

  // The joined columns and the join condition of a NATURAL join (every column name both sides
  // have, in the left side's order) or of JOIN ... USING (names).
  static OraStatus JoinColumns(const ast::FromItem& item, std::size_t first_left,
                               std::size_t first_right, Scope* scope);

  // The columns `*` lists for a FROM entry whose sources start at `*next`: a NATURAL or USING
  // join's joined columns first, then the other columns of its left and right sides.
  static std::vector<Out> StarColumns(const ast::FromItem& item, const Scope& scope,
                                      std::size_t* next, std::vector<std::string>* names);

  static std::string SourceSql(const Source& source);

  // The SQL of a FROM entry whose sources start at `*next` in `scope`.
  OraResult<std::string> FromSql(const ast::FromItem& item, const Scope& scope, std::size_t* next,
                                 const Ctx& on_ctx);

  // Queries (emitter_queries.cc).

  // `canonical`: computed numbers in the select list are written as their canonical text, so
  // that a set operation compares and sorts them with stored numbers by value.
  OraResult<QueryOut> Query(const ast::Query& query, const Scope* parent, bool positional,
                            bool canonical = false);

  // A subquery of an expression written in `ctx`; ORA-00979 when the query of `ctx` is grouped
  // and the subquery names a column of it that is not grouped.
  OraResult<QueryOut> Subquery(const ast::Query& query, const Ctx& ctx, bool positional);

  OraResult<QueryOut> QueryWith(const ast::Query& query, const Scope* parent, bool positional,
                                bool canonical);
  OraResult<QueryOut> QueryBody(const ast::Query& query, const Scope* parent, bool positional,
                                bool canonical);
  // A set operation of the queries `left` and `right` compiled; ORA-01789/ORA-01790 when their
  // columns do not match.
  OraResult<QueryOut> SetOperation(const ast::Query& query, QueryOut left, QueryOut right);
  // The columns of a set operation: `left`'s, widened to hold `right`'s.
  OraStatus MatchSetColumns(std::vector<Item>& left, const std::vector<Item>& right);

  // A table of WITH compiled (emitter_recursive.cc): its query, and whether it reads itself
  // (then its SQL has the ancestry column after the table's own).
  struct CommonTableOut {
    QueryOut query;
    bool recursive = false;
  };
  OraResult<CommonTableOut> CommonTable(const ast::CommonTable& table, const Scope* parent);
  // The table of WITH as the queries after it read it: named as WITH names it (or as the
  // items are), typed as `items`. REQUIRES: the names, if given, are as many as the items.
  static Source CommonTableSource(const ast::CommonTable& table, const std::vector<Item>& items);
  // The recursive member of the recursive WITH table: what its SELECT must add, once its FROM
  // is known (`recursion`: the table there) and its items compiled (`values`).
  OraResult<std::string> RecursiveMemberColumn(const ast::Select& select, const Source& recursion,
                                               const std::vector<std::string>& values,
                                               bool unsupported);
  // OFFSET and FETCH applied to the query's rows.
  OraResult<QueryOut> RowLimit(const ast::Query& query, QueryOut out);

  // The select-list position an ORDER BY item names: a number, or an item's name.
  std::optional<std::size_t> OrderPosition(const Expr& expr, const std::vector<Item>& items);

  static std::string OrderSuffix(const ast::OrderItem& item);

  OraResult<QueryOut> Select(const ast::Select& select, const std::vector<ast::OrderItem>& order,
                             bool siblings, const Scope* parent, bool positional, bool canonical);

  // START WITH ... CONNECT BY ... over the one source of `scope`, as a recursive common table
  // of the source's rows with their level, their path from the root (the sort key of depth
  // first order, made of sibling ranks under ORDER SIBLINGS BY `order`), the keys of their
  // ancestors, whether the row closes a loop (it is one of its ancestors), and what `info`
  // lists. Rows are told apart by rowid, or by their position in an inline view. Returns the
  // WITH clause and leaves the scope's source reading the common table (emitter_hierarchy.cc).
  OraResult<std::string> Hierarchy(const ast::Select& select,
                                   const std::vector<ast::OrderItem>& order, bool siblings,
                                   Scope* scope, HierarchyInfo* info);

  // A hierarchy over a join: Oracle joins first (the FROM clause's joins and the conditions of
  // WHERE that join two sources, which go into `*taken`), then builds the hierarchy over the
  // joined rows, then filters with the rest of WHERE. Leaves every source of `scope` reading
  // one row of the join under one alias.
  OraStatus JoinForHierarchy(const ast::Select& select, Scope* scope,
                             std::vector<const Expr*>* taken);

  // CONNECT_BY_ISLEAF, CONNECT_BY_ISCYCLE, CONNECT_BY_ROOT x and SYS_CONNECT_BY_PATH as the
  // hierarchy of `ctx` gives them (nullopt for any other expression), or their errors where
  // there is none.
  OraResult<std::optional<Out>> HierarchyValue(const Expr& expr, const Ctx& ctx);

  // The source whose columns carry the (+) marks of `condition`.
  OraResult<std::size_t> OuterSource(const Expr& condition, const Scope& scope);

  // A "ROWNUM op number" conjunct of WHERE: narrows *limit to the rows it lets through and
  // returns true; false for any other conjunct (left for the WHERE clause).
  bool TakeRownumBound(const Expr& conjunct, std::optional<long long>* limit);

  // Names (emitter_names.cc).

  // (source index, column index) of a column reference among the sources of `scope` alone.
  OraResult<std::pair<std::size_t, std::size_t>> FindInScope(const Expr& expr, const Scope& scope);

  // A reference to a column of a NATURAL or USING join: unqualified, it names the joined
  // column (nullopt when it names none); qualified, it is refused as Oracle does.
  static OraResult<std::optional<Out>> FindJoined(const Expr& expr, const Scope& scope);

  OraResult<Out> Column(const Expr& expr, const Ctx& ctx);

  OraResult<Out> Rowid(const Expr& expr, const Ctx& ctx);

  // Expressions (emitter_expressions.cc; function calls and CASE in emitter_functions.cc).

  OraResult<std::string> Literal(const Expr& expr, bool negate, const Ctx& ctx, Typed* type);

  OraResult<Out> Condition(const Expr& expr, const Ctx& ctx) { return Value(expr, ctx); }

  // Text compared with a DATE is read as a date, and text compared with a number as a number
  // (ORA-01722 when it is not one), as Oracle's implicit conversions do.
  static void CoerceForComparison(Out* left, Out* right);

  // `subject` compared with each of `values` (IN lists, BETWEEN bounds): the implicit
  // conversions of each comparison, and a computed subject compared as canonical text with
  // every value written as such, which SQLite then compares under the numeric collation.
  static void CoerceOperands(Out* subject, std::vector<Out>* values);

  // A number computed by a function or an operator: it travels as INTEGER, REAL or exact TEXT,
  // kinds SQLite does not order together by value.
  static bool IsComputedNumber(const Out& out) { return out.type.IsNumeric() && !out.stored; }

  // What ORDER BY, GROUP BY, DISTINCT and MIN/MAX compare: computed numbers as canonical text
  // under the numeric collation, which orders them by value together with stored numbers.
  static std::string SortKey(const Out& out);

  // left op right, one of = <> < <= > >=, after the implicit conversions. Two character
  // operands compare with blank-padded semantics when both are CHAR or literals, with
  // non-padded semantics when either is VARCHAR2.
  static std::string CompareSql(Out left, Out right, std::string_view op);

  // ORA-00932 for operands no implicit conversion makes comparable (a DATE and a number).
  static OraStatus CheckComparable(const Out& left, const Out& right);

  OraResult<std::vector<Out>> Args(const Expr& expr, const Ctx& ctx);

  static void Merge(Out* into, const Out& part);

  OraResult<Out> Value(const Expr& expr, const Ctx& ctx);

  OraResult<Out> ValueUngrouped(const Expr& expr, const Ctx& ctx);

  // x op ANY|ALL (...). A list is the OR (ANY) or AND (ALL) of the comparisons. A query is
  // folded over its rows: each comparison ranked (for ANY true 0, unknown 1, false 2; for ALL
  // false 0, unknown 1, true 2) and the least rank decides, so that no rows give false for
  // ANY and true for ALL, and an unknown comparison makes the result unknown unless a row
  // settles it.
  OraResult<Out> Quantified(const Expr& expr, const Ctx& ctx);

  // `a op b op c ...` as parsed (left-deep): the operands in order.
  static void ChainOperands(const Expr& expr, const std::string& op,
                            std::vector<const Expr*>* operands);

  // f(f(a, b), f(c, d)): long chains of an associative operator nest only log2(n) deep, as
  // SQLite's parser refuses calls nested about a hundred deep.
  static std::string Balanced(const std::vector<Out>& outs, std::size_t begin, std::size_t end,
                              const char* function);

  // x LIKE 'literal' as x GLOB 'pattern': Oracle's LIKE tells upper from lower case.
  OraResult<Out> LikeAsGlob(const Expr& expr, const Ctx& ctx);

  OraResult<Out> Binary(const Expr& expr, const Ctx& ctx);

  // left op right for + - * /, with the date arithmetic Oracle allows.
  static OraResult<Out> Arithmetic(const std::string& op, Out left, const Out& right);

  // The characters a value of this type takes as text (for || and the like).
  static int DisplayLength(const Typed& typed);

  // A literal integer argument's value (substr(c, 1, 30)).
  static std::optional<int> LiteralInt(const Expr& expr);

  static Typed Widest(const std::vector<const Out*>& outs);

  // The width of the text TO_CHAR makes of a date with format `format`.
  static int DateFormatWidth(std::string_view format);

  OraResult<Out> Function(const Expr& expr, const Ctx& ctx);
  // EXTRACT(field FROM source).
  OraResult<Out> Cast(const Expr& expr, const Ctx& ctx);
  OraResult<Out> Extract(const Expr& expr, const Ctx& ctx);
  OraResult<Out> StoredFunction(const Expr& expr, const StoredFunctionInfo& function,
                                const Ctx& ctx);
  // A call of `function` (not an overloaded one), with its arguments translated already when
  // `given`.
  OraResult<Out> StoredCall(const Expr& expr, const StoredFunctionInfo& function, const Ctx& ctx,
                            std::optional<std::vector<Out>> given);

  // The functions whose first argument is character data: a number or a date given there is
  // converted as TO_CHAR converts it (0.1 is ".1", a date takes the session's format).
  static bool IsCharacterFunction(std::string_view name);
  // `value` as the text Oracle's implicit conversion makes of it.
  static std::string TextSql(const Out& value);

  OraResult<Out> Extreme(const Expr& expr, std::vector<Out> args);
  OraResult<Out> NullIf(std::vector<Out> args);

  OraResult<Out> Case(const Expr& expr, const Ctx& ctx);

  // Analytic functions, LISTAGG and GROUPING (emitter_analytic.cc).

  // True for the functions that exist only as analytic or ordered-set functions.
  static bool IsAnalyticOnly(std::string_view name);

  // f(...) OVER (...) as a SQLite window function, with Oracle's NULL order and default window.
  OraResult<Out> Analytic(const Expr& expr, const Ctx& ctx);

  // PARTITION BY ... ORDER BY ... [frame] of a window, with the function's name for the checks.
  OraResult<std::string> WindowSql(const Expr& expr, const Ctx& ctx, bool ordered_function,
                                   bool framed_function, Out* merged, bool* moving_start);

  // ROWS|RANGE BETWEEN ... AND ...; `range_scale` turns a RANGE offset into the key's units
  // (86400 for the seconds of a date key).
  OraResult<std::string> FrameSql(const ast::Window& window, const Ctx& ctx, int range_scale,
                                  bool* moving_start);

  // LISTAGG(x [, delimiter]) WITHIN GROUP (ORDER BY ...) [OVER (PARTITION BY ...)].
  OraResult<Out> ListAgg(const Expr& expr, const Ctx& ctx);

  // The context of LISTAGG's and KEEP's arguments: no analytic function inside, and no
  // aggregate either unless OVER makes the call analytic; ORA-30487 for ORDER BY in OVER.
  OraResult<Ctx> OrderedAggregateContext(const Expr& expr, const Ctx& ctx);

  // The tail LISTAGG and KEEP share: each WITHIN GROUP / KEEP order key with its sort flags,
  // the closing parenthesis, and OVER (PARTITION BY ...) or the marks of an aggregate.
  OraStatus OrderedAggregateTail(const Expr& expr, const Ctx& inner, Out* out);

  // MIN, MAX, SUM, AVG, COUNT (x) KEEP (DENSE_RANK FIRST|LAST ORDER BY ...) [OVER (PARTITION
  // BY ...)]: the aggregate over the rows that sort first (last).
  OraResult<Out> Keep(const Expr& expr, const Ctx& ctx);

  // GROUPING(x) and GROUPING_ID(x, ...): constants of the grouping set being written.
  OraResult<Out> Grouping(const Expr& expr, const Ctx& ctx);

  // The GROUP BY terms of a query with grouping sets (the set number first), given the SQL
  // of each grouping expression and its sort key; fills `grouping` with the expressions some
  // set leaves out.
  static std::vector<std::string> GroupingSetsKeys(const ast::GroupingSets& sets,
                                                   const std::vector<std::string>& keys,
                                                   const std::vector<std::string>& key_sort,
                                                   GroupingKeys* grouping);

  // INSERT, UPDATE, DELETE (emitter_dml.cc).

  std::string StoreSql(const std::string& value, const ColumnInfo& column, const Source& target);

  // The table DML writes; a view (when `views`) as ViewTarget gives it.
  OraResult<Source> Target(const ast::TableName& name, Translation* translation, bool views = true);

  OraResult<std::size_t> TargetColumn(const Source& target, const std::string& name);

  OraStatus Insert(const ast::Insert& insert, Translation* translation);

  // The INSERT of `insert`'s rows into `written` (the columns `columns` of `target` name).
  OraStatus InsertRows(const ast::Insert& insert, const Source& target,
                       const std::vector<std::size_t>& columns,
                       const std::vector<ColumnInfo>& written, Translation* translation);

  // The target columns an INSERT names (every column when `names` is empty), in order.
  OraStatus InsertColumns(const Source& target, const std::vector<std::string>& names,
                          std::vector<std::size_t>* columns);

  // What `expr` writes into `column` of `target`: DEFAULT its default, else its stored form.
  OraResult<std::string> ColumnValue(const Expr& expr, const ColumnInfo& column,
                                     const Source& target, const Ctx& ctx);

  // The SET list "c = v, (a, b) = (SELECT ...)" of `assignments` to `target`; `*set_columns`
  // (when given) receives the indexes of the columns written.
  OraResult<std::string> SetList(const std::vector<ast::Assignment>& assignments,
                                 const Source& target, const Ctx& ctx,
                                 std::vector<std::size_t>* set_columns);

  // The WHERE of an UPDATE or DELETE, ROWNUM bounds included.
  OraResult<std::string> DmlWhere(const Expr* where, Scope* scope);

  OraStatus Update(const ast::Update& update, Translation* translation);

  OraStatus Delete(const ast::Delete& del, Translation* translation);

  // DML through views (emitter_views.cc).

  // The target of DML on `view`: the table under it, seen through the view's columns.
  OraResult<Source> ViewTarget(TableInfo view, const ast::TableName& name,
                               Translation* translation);

  // The column written for column `idx` of `target`: a view's base column (ORA-01733 for a
  // computed one), else the column itself.
  OraResult<ColumnInfo> Writable(const Source& target, std::size_t idx);

  // A step refusing (ORA-01402) any of the rows `rows` (a query of rowids) of a view WITH
  // CHECK OPTION that its WHERE would not show.
  void CheckOption(const Source& target, const std::string& rows,
                   std::vector<Translation::Step>* steps);

  // MERGE and INSERT ALL|FIRST (emitter_merge.cc), as Translation::steps.

  // Steps that copy the rows of a FROM entry into the temporary table `table`; returns the
  // source that reads the copy, named as the entry is.
  OraResult<Source> CopiedSource(const ast::FromItem& item, std::string_view table,
                                 std::vector<Translation::Step>* steps);

  // Steps that copy the rows `values` (one per column of `*source`) of `from` into `table`;
  // leaves `*source` reading the copy.
  OraStatus CopyRows(const std::string& from, const std::vector<std::string>& values,
                     std::string_view table, Source* source, std::vector<Translation::Step>* steps);

  OraStatus Merge(const ast::Merge& merge, Translation* translation);

  OraStatus MultiInsert(const ast::MultiInsert& insert, Translation* translation);

  std::string_view sql_;
  const SchemaLookup& schema_;
  const TranslateOptions& options_;
  EmitPlan* plan_;
  std::vector<BindValue>* parameters_;
  std::vector<Source> common_tables_;  // the WITH tables in scope, outermost first
  // The recursive WITH table being compiled: its references met, and whether the next SELECT
  // compiled is its recursive member, which reads it in its FROM.
  struct RecursiveWith {
    int references = 0;
    bool member_next = false;
    bool member_read = false;
  };
  std::optional<RecursiveWith> recursive_;
  int sequence_references_ = 0;  // NEXTVAL references numbered so far
  int views_ = 0;
  // The texts and trees of the views DML goes through. While a view's query is written, its
  // literals go into the text (their slots are not the statement's), subqueries' too.
  bool view_literals_ = false;
  std::vector<std::unique_ptr<std::string>> view_texts_;
  std::vector<std::unique_ptr<ast::Query>> view_queries_;
};

}  // namespace volmek::engine::emitter_internal
