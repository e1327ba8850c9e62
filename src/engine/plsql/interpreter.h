// The PL/SQL interpreter: walks a block's tree with a stack of scopes. Split over
// interpreter.cc (blocks, declarations, statements), eval.cc (expressions), sql_exec.cc (SQL
// inside blocks, cursors) and packages.cc (the supplied packages).
#pragma once

#include <chrono>
#include <deque>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/plsql/ast.h"
#include "engine/plsql/host.h"

namespace volmek::engine::plsql {

struct Variable {
  PlType type;
  Value value;
  bool constant = false;
  bool is_record = false;
  std::vector<std::string> field_names;
  std::vector<Variable> fields;
};

struct CursorState {
  const Decl* decl = nullptr;
  SqlCursor* cursor = nullptr;  // the cursor of the declaration's SqlSlot
  std::vector<db::ColumnDescription> columns;
  bool open = false;
  bool fetched = false;  // a FETCH ran since OPEN
  bool found = false;
  std::uint64_t rowcount = 0;
};

struct Symbol {
  enum class Kind { kVariable, kCursor, kException, kRecordType };
  Kind kind = Kind::kVariable;
  Variable* variable = nullptr;
  CursorState* cursor = nullptr;
  const Decl* decl = nullptr;
  int code = 0;  // exceptions: the Oracle error number EXCEPTION_INIT gave it
};

struct Scope {
  std::unordered_map<std::string, Symbol> symbols;
  std::deque<Variable> variables;
  std::deque<CursorState> cursors;
};

// An exception on its way out: the error, where it was raised, and for exceptions the block
// declared, which one.
struct RunError {
  OraError error;
  std::size_t offset = 0;
  bool located = false;
  const Decl* user = nullptr;
};

enum class Flow { kNormal, kExit, kContinue, kReturn };
using Outcome = std::expected<Flow, RunError>;

// The SQL of one place in the block: its cursor, and which names in it are the block's values.
struct SqlSlot {
  std::unique_ptr<SqlCursor> cursor;
  bool compiled = false;
  std::vector<bool> substituted;
  std::vector<db::ColumnDescription> columns;
};

class Interpreter {
 public:
  Interpreter(Host& host, std::string_view text) : host_(host), text_(text) {}

  Outcome RunTop(const Block& block);

 private:
  // interpreter.cc
  Outcome RunBlock(const Block& block);
  std::expected<void, RunError> Declare(const Decl& decl);
  OraResult<Variable> MakeVariable(const TypeSpec& spec);
  OraResult<Variable> RecordFromColumns(const std::vector<db::ColumnDescription>& columns);
  bool HandlerTakes(const Handler& handler, const RunError& error);
  Outcome RunList(const StmtList& list);
  Outcome Run(const Stmt& stmt);
  Outcome RunStatement(const Stmt& stmt);
  Outcome RunLoopBody(const Stmt& stmt, bool* stop);
  Outcome RunForRange(const Stmt& stmt);
  Outcome RunForCursor(const Stmt& stmt);
  OraStatus AssignTo(const Expr& target, const Value& value);
  OraStatus AssignRow(const std::vector<ExprPtr>& targets, const std::vector<Value>& row);
  RunError Raise(OraError error, std::size_t offset) const;

  // eval.cc
  OraResult<Value> Eval(const Expr& expr);
  OraResult<std::optional<bool>> EvalCondition(const Expr& expr);
  OraResult<Value> EvalBinary(const Expr& expr);
  OraResult<Value> EvalAttribute(const Expr& expr);
  OraResult<Value> EvalCall(const Expr& expr);
  OraResult<Value> EvalCase(const Expr& expr);
  Symbol* Find(const std::string& name);
  Variable* FindVariable(const std::vector<std::string>& names);

  // sql_exec.cc
  OraResult<std::string> SqlWithValues(const SqlText& sql, const std::vector<bool>& substituted);
  OraResult<SqlSlot*> PrepareSql(const SqlText& sql, const void* key, std::size_t offset);
  OraResult<Value> EvalSql(const Expr& expr);
  OraStatus ExecuteSql(const Stmt& stmt);
  OraStatus SelectInto(const Stmt& stmt);
  OraStatus ExecuteImmediate(const Stmt& stmt);
  OraStatus OpenCursor(CursorState& state, const std::vector<ExprPtr>& args, std::size_t offset);
  // A scope with the parameters of cursor `decl` set to `values` (NULL where missing).
  OraStatus PushCursorParams(const Decl& decl, std::vector<Value> values);
  OraResult<std::optional<Value>> ValueOfRef(const std::vector<std::string>& names);
  OraResult<bool> FetchCursor(CursorState& state, std::vector<Value>* row);
  CursorState* FindCursor(const std::string& name);

  // packages.cc
  std::expected<void, RunError> CallProcedure(const Stmt& stmt);
  OraStatus PutOutput(std::string_view text, bool end_line);
  OraStatus GatherStats(const Expr& call);

  Host& host_;
  std::string_view text_;
  std::vector<std::unique_ptr<Scope>> scopes_;
  std::unordered_map<const void*, SqlSlot> sql_;
  std::vector<RunError> handling_;  // the exceptions being handled, innermost last
  std::string flow_label_;          // the label an EXIT or CONTINUE names
  std::uint64_t steps_ = 0;
  bool aborted_ = false;  // the step limit stopped the block: no handler takes that
  // SQL%ROWCOUNT and SQL%FOUND of the last SQL statement; nullopt before the first.
  std::optional<std::uint64_t> sql_rowcount_;
};

}  // namespace volmek::engine::plsql
