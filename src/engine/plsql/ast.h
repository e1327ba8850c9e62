// The syntax tree of a PL/SQL block, as the PL/SQL parser builds it and the interpreter walks
// it. Names are upper-cased as Oracle folds them; every node keeps the byte offset where it
// starts in the block text, from which errors take their line and column.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/plsql/value.h"

namespace volmek::engine::plsql {

struct Block;

// A piece of SQL inside the block: its text (INTO clauses taken out) and the names in it that
// may stand for the block's variables. Which of them do is settled when it first runs: a name
// that is a column of the statement's tables stays a column, as Oracle resolves it.
struct SqlRef {
  std::size_t begin = 0;  // byte range in `SqlText::text`
  std::size_t end = 0;
  std::vector<std::string> names;  // X, or R.F for a record's field
  // An expression the interpreter computes in the statement's stead: which of its values
  // (sql_native.cc); -1 for a name.
  int computed = -1;
};

struct SqlText {
  std::string text;
  std::vector<SqlRef> refs;
  std::size_t offset = 0;  // where it starts in the block
};

enum class ExprKind {
  kLiteral,    // `literal`
  kName,       // `names`: x, or r.f
  kNegate,     // - args[0]
  kBinary,     // args[0] op args[1], op + - * / ||
  kCompare,    // args[0] op args[1], op = <> < <= > >=
  kAnd,        // args[0] AND args[1]
  kOr,         // args[0] OR args[1]
  kNot,        // NOT args[0]
  kIsNull,     // args[0] IS [NOT] NULL
  kBetween,    // args[0] [NOT] BETWEEN args[1] AND args[2]
  kIn,         // args[0] [NOT] IN (args[1..])
  kAttribute,  // names[0]%op: SQL%ROWCOUNT, c%FOUND, ...
  kCall,       // names(args): procedures and functions of PL/SQL (SQLCODE, SQLERRM, ...)
  kSql,        // any other expression, run as SELECT <sql> FROM DUAL (functions, LIKE)
  kCase,       // CASE [args[0] simple] WHEN .. THEN .. [ELSE] END: args after the selector are
               // pairs, then the ELSE value when has_else
};

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Value literal;
  std::vector<std::string> names;
  std::string op;
  std::string arg_name;  // an argument given as name => value
  std::vector<std::unique_ptr<Expr>> args;
  SqlText sql;             // kSql; kName: the name as SQL (SYSDATE, USER, s.NEXTVAL)
  bool condition = false;  // kSql: a condition (LIKE) rather than a value
  bool negated = false;
  bool simple_case = false;
  bool has_else = false;
  std::size_t offset = 0;
};
using ExprPtr = std::unique_ptr<Expr>;

// A declared type: a base type, x%TYPE, t%ROWTYPE / c%ROWTYPE, or a record type's name.
struct TypeSpec {
  enum class Kind { kBase, kPercentType, kPercentRowtype, kNamed };
  Kind kind = Kind::kBase;
  PlType base;
  std::vector<std::string> ref;  // kPercentType: t.c or v; kPercentRowtype: t or c; kNamed
  std::size_t offset = 0;
};

struct Field {
  std::string name;
  TypeSpec type;
};

struct Subprogram;

struct Decl {
  enum class Kind { kVariable, kException, kPragma, kCursor, kRecordType, kSubprogram };
  Kind kind = Kind::kVariable;
  std::string name;
  TypeSpec type;
  ExprPtr init;
  bool constant = false;
  bool not_null = false;
  int pragma_code = 0;                     // kPragma: EXCEPTION_INIT(name, code)
  std::vector<Field> fields;               // kRecordType; kCursor: its parameters
  std::vector<ExprPtr> param_defaults;     // kCursor: one per parameter, null when none
  SqlText query;                           // kCursor
  std::unique_ptr<Subprogram> subprogram;  // kSubprogram
  std::size_t offset = 0;
};

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using StmtList = std::vector<StmtPtr>;

struct Stmt {
  enum class Kind {
    kNull,
    kAssign,      // target := value
    kIf,          // conds[i] THEN bodies[i] ..., ELSE else_body
    kCase,        // CASE [value] WHEN conds[i] THEN bodies[i] ... [ELSE else_body] END CASE
    kLoop,        // LOOP body END LOOP
    kWhile,       // WHILE value LOOP body
    kForRange,    // FOR name IN [REVERSE] low .. high LOOP body
    kForCursor,   // FOR name IN (query) | cursor[(args)] LOOP body
    kExit,        // EXIT|CONTINUE [label] [WHEN value]: op says which
    kSql,         // INSERT/UPDATE/DELETE/MERGE/COMMIT/ROLLBACK/SAVEPOINT/LOCK/SET TRANSACTION
    kSelectInto,  // SELECT ... INTO targets FROM ...
    kExecute,     // EXECUTE IMMEDIATE value [INTO targets] [USING args]
    kOpen,        // OPEN name[(args)]
    kFetch,       // FETCH name INTO targets
    kClose,       // CLOSE name
    kRaise,       // RAISE [name]
    kCall,        // a procedure: value is the kCall expression
    kBlock,
    kReturn,  // RETURN [value]: a function's value
  };
  Kind kind = Kind::kNull;
  std::size_t offset = 0;
  ExprPtr target;
  ExprPtr value;
  std::vector<ExprPtr> conds;
  std::vector<StmtList> bodies;
  StmtList else_body;
  bool has_else = false;
  StmtList body;
  std::string name;   // loop variable, cursor, exception, label of EXIT
  std::string label;  // the loop's own label
  std::string op;     // EXIT or CONTINUE
  bool reverse = false;
  ExprPtr low;
  ExprPtr high;
  SqlText sql;  // kSql, kSelectInto, kForCursor over a query
  std::vector<ExprPtr> into;
  std::vector<ExprPtr> args;  // USING, cursor arguments
  std::unique_ptr<Block> block;
};

struct Handler {
  std::vector<std::string> names;  // empty: OTHERS
  StmtList body;
  std::size_t offset = 0;
};

struct Block {
  std::vector<Decl> decls;
  StmtList body;
  std::vector<Handler> handlers;
  std::string label;
  std::size_t offset = 0;
  std::size_t end_offset = 0;  // its END
};

// A procedure or function: declared in a block, or stored (CREATE PROCEDURE / FUNCTION).
struct Param {
  enum class Mode { kIn, kOut, kInOut };
  std::string name;
  Mode mode = Mode::kIn;
  TypeSpec type;
  ExprPtr fallback;  // DEFAULT / :=; null when none
  std::size_t offset = 0;
};

struct Subprogram {
  std::string name;
  std::size_t name_offset = 0;
  bool is_function = false;
  std::vector<Param> params;
  TypeSpec return_type;         // functions
  std::unique_ptr<Block> body;  // null for a forward declaration
  std::size_t offset = 0;
};

// A stored package's interface (PACKAGE p IS ... END;) or body (PACKAGE BODY p IS ...
// [BEGIN ...] END;): `block.decls` are its items; a body's initialisation is `block.body` with
// its handlers (empty when it has none).
struct PackageUnit {
  std::string name;
  bool is_body = false;
  Block block;
  std::size_t offset = 0;       // its PACKAGE keyword
  std::size_t name_offset = 0;  // its name
};

// A qualified name as written, its parts joined by dots ("PKG.PROC").
inline std::string Dotted(const std::vector<std::string>& names) {
  std::string name = names.empty() ? std::string() : names[0];
  for (std::size_t idx = 1; idx < names.size(); ++idx) name += "." + names[idx];
  return name;
}

}  // namespace volmek::engine::plsql
