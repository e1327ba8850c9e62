// The syntax tree of the Oracle queries and DML statements that the parser reads and the
// translator turns into SQLite SQL. Names are kept as Oracle resolves them: unquoted names
// upper-cased, quoted names as written. Every node keeps the byte range of its source text,
// from which Describe takes the names of unaliased expressions.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/schema.h"

namespace volmek::engine::ast {

struct Query;
struct Window;

enum class ExprKind {
  kNumber,    // literal: `literal` is its text as written (no sign)
  kString,    // literal: `literal` is its value ('' inside already undone)
  kNull,      // NULL
  kColumn,    // [qualifier2.][qualifier.]name, `outer_join` for name(+)
  kStar,      // * or qualifier.* (select lists only)
  kRownum,    // ROWNUM
  kRowid,     // [qualifier.]ROWID
  kSysdate,   // SYSDATE
  kUser,      // USER
  kSequence,  // [qualifier.]name.NEXTVAL / CURRVAL: `name` is the sequence, `op` the pseudo
  kNegate,    // - args[0]
  kBinary,    // args[0] op args[1], op one of + - * / ||; a run of || is one node: args[0] || ...
  kCompare,   // args[0] op args[1], op one of = <> < <= > >=
  kAnd,       // args[0] AND args[1]
  kOr,        // args[0] OR args[1]
  kNot,       // NOT args[0]
  // name(args), `distinct` for count(distinct x), `star` for count(*); an analytic function
  // has `over`, LISTAGG its WITHIN GROUP ordering in `within_group`; EXTRACT(op FROM args[0])
  // with op the field (YEAR, MONTH ...)
  kFunction,
  kTrim,      // TRIM([op] [args[0]] FROM args[1]): op LEADING/TRAILING/BOTH
  kCase,      // CASE [args[0] when simple_case] WHEN a THEN b ... [ELSE e] END
  kIn,        // args[0] [NOT] IN (args[1..]) or (query)
  kBetween,   // args[0] [NOT] BETWEEN args[1] AND args[2]
  kLike,      // args[0] [NOT] LIKE args[1] [ESCAPE args[2]]
  kIsNull,    // args[0] IS [NOT] NULL
  kExists,    // [NOT] EXISTS (query)
  kSubquery,  // (query) used as a value
  // args[0] op ANY|ALL (args[1..]) or (query): `name` ANY (for SOME too) or ALL
  kQuantified,
  kPrior,  // PRIOR args[0] (CONNECT BY conditions only)
  // REGEXP_LIKE(args...): a condition, not a function (as a value it is an unknown name)
  kRegexpLike,
  kDefault,        // DEFAULT, the whole value of a column in VALUES or SET: the column's default
  kConnectByRoot,  // CONNECT_BY_ROOT args[0] (hierarchical queries)
};

struct Expr {
  ExprKind kind = ExprKind::kNull;
  std::string name;        // column, function (upper case), sequence
  std::string qualifier;   // table alias or owner
  std::string qualifier2;  // owner of a qualified column (owner.table.column)
  std::string op;          // operator, trim mode, NEXTVAL/CURRVAL
  std::string literal;     // kNumber text, kString value
  int literal_slot = -1;   // literals: position among the statement's literal tokens
  std::vector<std::unique_ptr<Expr>> args;
  std::unique_ptr<Query> query;          // kIn with a subquery, kExists, kSubquery
  std::unique_ptr<Window> over;          // kFunction: OVER (...)
  std::unique_ptr<Window> within_group;  // kFunction: WITHIN GROUP (ORDER BY ...)
  bool negated = false;                  // NOT IN, NOT BETWEEN, NOT LIKE, IS NOT NULL, NOT EXISTS
  bool distinct = false;
  bool star = false;
  bool outer_join = false;
  bool simple_case = false;
  bool has_else = false;
  bool ignore_nulls = false;  // FIRST_VALUE (x IGNORE NULLS), or IGNORE NULLS before OVER
  std::string keep;  // KEEP (DENSE_RANK FIRST|LAST ORDER BY ...): FIRST or LAST, the ORDER BY
                     // in `within_group`
  std::optional<SqlType> cast_type;  // CAST(args[0] AS type), a kFunction named CAST
  std::size_t begin = 0;             // source byte range
  std::size_t end = 0;
  int height = 1;  // levels of the tree below and including this node
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
  ExprPtr expr;
  std::string alias;  // empty when none
  std::size_t begin = 0;
  std::size_t end = 0;
};

// One entry of a FROM clause: a table or view, an inline view, or a join of two entries.
struct FromItem {
  enum class Kind { kTable, kSubquery, kJoin };
  Kind kind = Kind::kTable;
  std::string owner;  // kTable: owner when qualified
  std::string name;   // kTable: table name
  std::unique_ptr<Query> query;
  std::string alias;
  std::string join_type;  // kJoin: INNER, LEFT, RIGHT, FULL, CROSS
  std::unique_ptr<FromItem> left;
  std::unique_ptr<FromItem> right;
  ExprPtr on;
  bool natural = false;                    // kJoin: NATURAL (the columns both sides name)
  std::vector<std::string> using_columns;  // kJoin: USING (c, ...)
  std::size_t offset = 0;
};

// GROUP BY with ROLLUP, CUBE or GROUPING SETS, expanded into the grouping sets it stands for:
// each set lists the positions in Select::group_by of the expressions it groups by. Sets may
// repeat (GROUPING SETS ((a), (a)) gives each group twice, as Oracle does).
using GroupingSets = std::vector<std::vector<std::size_t>>;

struct Select {
  bool distinct = false;
  std::vector<SelectItem> items;
  std::vector<std::unique_ptr<FromItem>> from;
  ExprPtr where;
  ExprPtr start_with;  // hierarchical queries: START WITH condition
  ExprPtr connect_by;  // CONNECT BY [NOCYCLE] condition
  bool nocycle = false;
  std::vector<ExprPtr> group_by;
  GroupingSets grouping_sets;  // empty for a plain GROUP BY
  ExprPtr having;
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
  int nulls = 0;  // 0 as Oracle's default, 1 NULLS FIRST, 2 NULLS LAST
};

// One end of an analytic window: UNBOUNDED PRECEDING, n PRECEDING, CURRENT ROW, n FOLLOWING,
// UNBOUNDED FOLLOWING (`offset` holds n).
struct FrameBound {
  enum class Kind { kUnboundedPreceding, kPreceding, kCurrentRow, kFollowing, kUnboundedFollowing };
  Kind kind = Kind::kCurrentRow;
  ExprPtr offset;
};

// OVER ([PARTITION BY ...] [ORDER BY ... [ROWS|RANGE frame]]), or the ORDER BY of WITHIN GROUP.
struct Window {
  std::vector<ExprPtr> partition_by;
  std::vector<OrderItem> order_by;
  std::string units;  // ROWS or RANGE; empty without a frame clause
  FrameBound start;
  FrameBound end;
};

struct CommonTable;

// A query: one SELECT, or a set operation of two queries; ORDER BY applies to the whole, and
// the WITH tables are visible throughout.
struct Query {
  std::vector<CommonTable> with;
  std::unique_ptr<Select> select;  // set for a plain SELECT
  std::string set_op;              // UNION, UNION ALL, INTERSECT, MINUS
  std::unique_ptr<Query> left;
  std::unique_ptr<Query> right;
  std::vector<OrderItem> order_by;
  bool order_siblings = false;  // ORDER SIBLINGS BY (hierarchical queries)
  // OFFSET n ROWS and FETCH FIRST|NEXT [n [PERCENT]] ROWS ONLY|WITH TIES, after ORDER BY.
  ExprPtr offset;
  bool fetch = false;
  ExprPtr fetch_count;  // absent: one row
  bool fetch_percent = false;
  bool fetch_with_ties = false;
};

// WITH name [(columns)] AS (query).
struct CommonTable {
  std::string name;
  std::vector<std::string> columns;
  std::unique_ptr<Query> query;
};

struct TableName {
  std::string owner;
  std::string name;
  std::string alias;
  std::size_t offset = 0;
};

struct Insert {
  TableName table;
  std::vector<std::string> columns;  // empty: every column in order
  std::vector<ExprPtr> values;       // VALUES (...)
  std::unique_ptr<Query> query;      // or a query
};

// c = value, or (c, ...) = (query) when `columns` is set (`value` is then the kSubquery).
struct Assignment {
  std::string column;
  ExprPtr value;
  std::vector<std::string> columns;
};

struct Update {
  TableName table;
  std::vector<Assignment> assignments;
  ExprPtr where;
};

struct Delete {
  TableName table;
  ExprPtr where;
};

// MERGE INTO target [alias] USING source [alias] ON (on) WHEN MATCHED THEN UPDATE SET ...
// [WHERE update_where] [DELETE WHERE delete_where] WHEN NOT MATCHED THEN INSERT [(columns)]
// VALUES (...) [WHERE insert_where]; either clause may be left out.
struct Merge {
  TableName target;
  std::unique_ptr<FromItem> source;  // a table or view, or an inline view
  ExprPtr on;
  bool matched = false;
  std::vector<Assignment> set;
  ExprPtr update_where;
  ExprPtr delete_where;
  bool not_matched = false;
  std::vector<std::string> insert_columns;
  std::vector<ExprPtr> insert_values;
  ExprPtr insert_where;
};

// One INTO of a multitable insert: INTO t [(columns)] [VALUES (...)] (no VALUES: the
// subquery's columns in order).
struct InsertInto {
  TableName table;
  std::vector<std::string> columns;
  std::vector<ExprPtr> values;
  bool has_values = false;
};

// INSERT ALL|FIRST: unconditional (ALL INTO ... INTO ...) or WHEN c THEN INTO ... [ELSE INTO
// ...], over the rows of `query`.
struct MultiInsert {
  bool first = false;
  struct Branch {
    ExprPtr when;  // null: unconditional, or the ELSE branch when `otherwise`
    bool otherwise = false;
    std::vector<InsertInto> intos;
  };
  std::vector<Branch> branches;
  std::unique_ptr<Query> query;
};

struct Statement {
  std::unique_ptr<Query> query;
  std::unique_ptr<Insert> insert;
  std::unique_ptr<Update> update;
  std::unique_ptr<Delete> del;
  std::unique_ptr<Merge> merge;
  std::unique_ptr<MultiInsert> multi_insert;
};

}  // namespace volmek::engine::ast
