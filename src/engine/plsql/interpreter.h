// The PL/SQL interpreter: walks a block's tree with a stack of scopes. Split over
// interpreter.cc (blocks, declarations, statements), eval.cc (expressions), sql_exec.cc (SQL
// inside blocks, cursors) and packages.cc (the supplied packages).
#pragma once

#include <chrono>
#include <deque>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/plsql/ast.h"
#include "engine/plsql/host.h"
#include "engine/plsql/sql_native.h"

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
  // The interpreter whose scopes declare it, where its query runs: a package's for a cursor of
  // a package opened from outside.
  Interpreter* owner = nullptr;
  SqlCursor* cursor = nullptr;  // the cursor of the declaration's SqlSlot
  std::vector<db::ColumnDescription> columns;
  bool open = false;
  bool fetched = false;  // a FETCH ran since OPEN
  bool found = false;
  std::uint64_t rowcount = 0;
};

struct Symbol {
  enum class Kind { kVariable, kCursor, kException, kRecordType, kSubprogram };
  Kind kind = Kind::kVariable;
  Variable* variable = nullptr;
  CursorState* cursor = nullptr;
  const Decl* decl = nullptr;
  int code = 0;  // exceptions: the Oracle error number EXCEPTION_INIT gave it
  // Procedures and functions: the one with a body (null while only declared forward), and how
  // many scopes its body sees (those up to the one that declares it).
  const Subprogram* subprogram = nullptr;
  std::size_t visible = 0;
  // The other procedures and functions of the same name in the same scope (overloads), each
  // with its own decl, subprogram and visible.
  std::vector<Symbol> overloads;
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
  // "\nORA-06512: at ..." for each procedure or function it left, innermost first.
  std::string stack;
};

// What a call runs: a procedure or function of the block, or a stored one.
struct Callee {
  const Subprogram* subprogram = nullptr;
  std::size_t visible = 0;                 // declared in the block: the scopes its body sees
  std::shared_ptr<const StoredUnit> unit;  // stored
  // A subprogram of a stored package: `subprogram` is its declaration in the interface.
  std::shared_ptr<PackageInstance> package;
};

// One argument on its way in and, for OUT and IN OUT parameters, out: nullopt on the way in
// for a parameter left to its default.
using Argument = std::optional<Variable>;

enum class Flow { kNormal, kExit, kContinue, kReturn };
using Outcome = std::expected<Flow, RunError>;

// How a value went into a statement's text: its literal's form.
enum class LiteralKind : char { kNone, kNull, kNumber, kNegative, kText, kDate };

// Where one value went into the statement's text (SqlWithValues).
struct PutLiteral {
  std::size_t start = 0;
  std::size_t length = 0;
  LiteralKind kind = LiteralKind::kNone;
};

// The SQL of one place in the block: its cursor, and which names in it are the block's values.
struct SqlSlot {
  std::unique_ptr<SqlCursor> cursor;
  bool compiled = false;
  std::vector<bool> substituted;
  std::vector<db::ColumnDescription> columns;
  // Run again with other values, a statement whose values keep the form of their literals
  // needs no new text: only its literals are refilled (SqlCursor::RebindLiterals). Per ref:
  // the form at the last parse and the literal's slot (-1 for NULL, which is no literal).
  bool rebind = false;
  std::vector<LiteralKind> kinds;
  std::vector<int> slots;
  std::vector<std::string> texts;    // scratch: the literals written anew
  std::vector<LiteralText> changes;  // scratch
  // Whether the statement is INSERT, UPDATE, DELETE or MERGE (SQL%ROWCOUNT follows it).
  bool dml = false;
  bool dml_known = false;
};

// A DML statement whose values the interpreter computes (sql_native.cc): an INSERT ... VALUES
// written by the direct path, or an UPDATE whose SET values go into its text as literals.
struct NativeDml {
  bool usable = false;
  bool update = false;
  std::string table;                  // INSERT: the table written
  std::vector<ExprPtr> exprs;         // the values as read from the statement
  std::vector<NativeNode> program;    // one per value, its names pointing into `exprs`
  std::size_t variables = 0;          // the block's variables they name
  std::unique_ptr<SqlCursor> cursor;  // INSERT
  SqlText sql;                        // UPDATE: the statement, its values computed refs
  std::vector<bool> as_text;          // UPDATE: per value, written as text (NUMBER columns)
  std::vector<NativeValue> row;       // scratch
  std::vector<Value> values;          // scratch of UPDATE
  // UPDATE ... WHERE k = r.k inside a cursor FOR loop over its table (rowid_loops.cc): the
  // record r (empty when the statement is not of that form), the table's physical name, and
  // the statement with "AND ROWID = n" after its WHERE (n its last computed value).
  std::vector<std::string> rowid_record;
  std::string rowid_table;
  SqlText rowid_sql;
  // The table and key column as written, and the schema generation their key was found
  // unique under (checked again after DDL).
  std::string rowid_table_name;
  std::string rowid_column;
  std::uint64_t rowid_generation = 0;
  // The same UPDATE written by the cursor's direct path (SqlCursor::UpdateByRowid): each SET
  // column, and a program of its value followed by r.k, every one computed here. Empty when
  // a SET value is not computed here or the table's name is quoted.
  std::vector<std::string> direct_columns;
  std::vector<ExprPtr> direct_exprs;
  std::vector<NativeNode> direct_program;
  std::size_t direct_variables = 0;
  std::vector<NativeValue> direct_row;  // scratch
};

// The query of a cursor FOR loop with ROWID selected first (rowid_loops.cc).
struct RowidQuery {
  bool analysed = false;
  bool usable = false;
  std::string table;  // the physical name of the one table it reads
  SqlText sql;
};

// A cursor FOR loop running over rows that carry their ROWID.
struct RowidLoop {
  const Variable* record = nullptr;
  std::string table;
  std::optional<std::int64_t> rowid;  // of the row in `record`
};

class Interpreter {
 public:
  Interpreter(Host& host, std::string_view text, std::span<const HostVariable> binds = {})
      : host_(host), text_(text), binds_(binds) {}

  Outcome RunTop(const Block& block);
  // Runs `subprogram` of this interpreter's text with `args` (one per parameter), seeing the
  // first `visible` scopes; `args` come back with the OUT values. Functions give their value.
  std::expected<Value, RunError> RunSubprogram(const Subprogram& subprogram,
                                               std::vector<Argument>& args, std::size_t visible);
  // A new call from outside: the step limit counts from here.
  void StartCall() {
    steps_ = 0;
    aborted_ = false;
  }
  // How error stacks name this interpreter's text: empty for an anonymous block, "\"U.P\""
  // for a stored unit; `depth` the calls around it.
  void SetUnit(std::string label, int depth) {
    unit_label_ = std::move(label);
    call_depth_ = depth;
  }
  // After a run that ended well: the values of the host variables, back to the caller's binds.
  void ReturnHostValues();

  // Packages (package_state.cc). Makes the items of `package` in this interpreter's first two
  // scopes (the interface's, then the body's) and runs the body's initialisation.
  std::expected<void, RunError> Elaborate(const StoredPackage& package);
  // The item `name` of the package elaborated here: of its interface, or of its body too
  // when `private_too` (the body's first, which for a procedure or function has every
  // overload); null when none.
  Symbol* PackageItem(const std::string& name, bool private_too);
  // The entry of the interface's declaration `declared` (one of its procedures and
  // functions, of overloads the one that is `declared`); null when none.
  Symbol* DeclaredItem(const Subprogram& declared);

 private:
  friend class PackageInstance;
  friend class InterpreterFamilies;

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
  // The host variable ":NAME" as a variable of the block, made on first use; null when the
  // caller did not bind it.
  Symbol* FindHost(const std::string& name);
  Variable* FindVariable(const std::vector<std::string>& names);

  // sql_exec.cc
  OraResult<std::string> SqlWithValues(const SqlText& sql, const std::vector<bool>& substituted,
                                       std::vector<PutLiteral>* put = nullptr);
  // After a parse of the text SqlWithValues gave (`put`): which literal each value became.
  void MapLiterals(SqlSlot& slot, const std::vector<PutLiteral>& put);
  // The statement of `slot` made ready with the block's current values by refilling its
  // literals; false when its text must be parsed again.
  OraResult<bool> Rebind(SqlSlot& slot, const SqlText& sql);
  OraResult<SqlSlot*> PrepareSql(const SqlText& sql, const void* key, std::size_t offset);
  OraResult<Value> EvalSql(const Expr& expr);
  OraStatus ExecuteSql(const Stmt& stmt);
  // sql_native.cc: SQL expressions computed here. CompileNative reads `expr` of statement
  // `sql` into `*out`, false when it holds what EvalNative does not compute; EvalNative
  // computes it as SQL does, false where SQL itself must compute it.
  // `variables` collects the names of the variables read, one slot each.
  bool CompileNative(const Expr& expr, const SqlText& sql, const std::vector<bool>& substituted,
                     std::vector<const std::vector<std::string>*>* variables,
                     NativeNode* out) const;
  bool EvalNative(NativeNode& node, NativeValue* out);
  // The value of `node` without copying a constant or a variable: where it is, or computed
  // into the node's own `result`; null where SQL must compute it.
  const NativeValue* NativeOperand(NativeNode& node);
  bool EvalPad(NativeNode& node, NativeValue* out);
  bool EvalToDate(NativeNode& node, NativeValue* out);
  // After the first run of `stmt` as SQL: whether its later runs may compute its values.
  void AnalyseNativeDml(const Stmt& stmt, const SqlSlot& slot);
  bool AnalyseInsert(const SqlText& sql, const SqlSlot& slot, NativeDml& dml);
  bool AnalyseUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml);
  // Computes the values of `dml` (false where SQL must compute them).
  bool ComputeValues(NativeDml& dml);
  // Computes `program`, which reads `variables` of the block, into `row`.
  bool ComputeProgram(std::vector<NativeNode>& program, std::size_t variables,
                      std::vector<NativeValue>& row);
  // The row of an INSERT computed and written; false when SQL must run the statement instead.
  bool WriteDirect(NativeDml& dml);
  // An UPDATE run with its values computed; nullopt when SQL must run the statement instead.
  std::optional<OraStatus> RunComputedUpdate(NativeDml& dml, const Stmt& stmt);
  // rowid_loops.cc. The query of cursor FOR loop `stmt` with ROWID first; null when the loop
  // does not read one table.
  const RowidQuery* RowidQueryOf(const Stmt& stmt);
  // Notes in `dml` whether the UPDATE `sql` (its slot after the first run) is of the form
  // that finds its row by the ROWID of a loop's record.
  void AnalyseRowidUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml);
  // The UPDATE of `dml` run by the ROWID of the running loop's row (its values computed);
  // nullopt when the statement as written must run.
  std::optional<OraStatus> RunRowidUpdate(NativeDml& dml, const Stmt& stmt);
  // Reads the SET list and r.k of such an UPDATE into the program of the direct path, when
  // every value is computed here.
  void AnalyseDirectUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml);
  // The loop whose row the UPDATE of `dml` updates by ROWID, after checking again, after
  // DDL, that its key is unique; null when there is none (the statement then runs as written).
  const RowidLoop* RowidLoopOf(NativeDml& dml);
  // The UPDATE of `dml` written by the direct path: true when it updated the loop's row.
  bool RunDirectUpdate(NativeDml& dml);
  // insert_loops.cc. The INSERT that is the whole body of FOR loop `loop`, when it has run
  // once, its values are computed here and its cursor writes rows in groups; null otherwise.
  NativeDml* GroupedInsertOf(const Stmt& loop);
  // Runs the turns of such a loop from `turn` towards `last` (downwards when `reverse`), its
  // counter `counter`, writing their rows in groups: the turn to run as usual next (past
  // `last` when none is left). Turns before it are done; none of it raises an error.
  std::int64_t RunGroupedInserts(NativeDml& dml, Variable& counter, std::int64_t turn,
                                 std::int64_t last, bool reverse);
  OraStatus SelectInto(const Stmt& stmt);
  OraStatus ExecuteImmediate(const Stmt& stmt);
  OraStatus OpenCursor(CursorState& state, const std::vector<ExprPtr>& args, std::size_t offset);
  // A scope with the parameters of cursor `decl` set to `values` (NULL where missing).
  OraStatus PushCursorParams(const Decl& decl, std::vector<Value> values);
  OraResult<std::optional<Value>> ValueOfRef(const std::vector<std::string>& names);
  OraResult<bool> FetchCursor(CursorState& state, std::vector<Value>* row);
  CursorState* FindCursor(const std::string& name);

  // calls.cc: procedures and functions of blocks and stored ones. nullopt when `names` is none;
  // `*problem` then says why when it is not simply unknown (PLS-00905, PLS-00302, and for
  // overloads PLS-00306, PLS-00307). Of overloads, a procedure or a function as
  // `want_function` says, when one of that kind exists.
  std::optional<Callee> FindCallee(const Expr& call, bool want_function, std::string* problem);
  // overloads.cc: of the procedures and functions `candidates` of one name, the index of the
  // one `call` calls, or `*problem` (PLS-00306 for none, PLS-00307 for several, PLS-00999
  // where this cannot tell), which no handler then takes.
  std::optional<std::size_t> ChooseOverload(const std::vector<const Subprogram*>& candidates,
                                            const Expr& call, bool want_function,
                                            std::string* problem);
  // The one of a declared procedure or function `symbol` and its overloads that `call` calls.
  std::optional<Callee> ChooseDeclared(const Symbol& symbol, const Expr& call, bool want_function,
                                       std::string* problem);
  std::expected<Value, RunError> Invoke(const Callee& callee, const Expr& call,
                                        std::size_t statement_offset);
  std::expected<void, RunError> CallStatement(const Stmt& stmt);
  // A function called in an expression; nullopt when `call` names none (a SQL function).
  std::optional<OraResult<Value>> CallFunction(const Expr& call);
  // A SQL function (`expr.sql`): run as SQL, with the values of the block's procedures and
  // functions its arguments call computed first.
  OraResult<Value> EvalSqlCall(const Expr& expr);
  bool CallsDeclared(const Expr& expr);
  // The line an error stack shows for byte `offset` of this interpreter's text.
  std::string StackLine(std::size_t offset) const;

  // package_state.cc: the session's instance of package `names` (NAME or OWNER.NAME), null
  // when none; and the item `member` of package `package` as seen from here (the body's own
  // items too from inside the package itself), elaborated first. nullopt when the package is
  // none; an error when it could not be elaborated or has no such public item (PLS-00302).
  std::shared_ptr<PackageInstance> FindPackage(const std::vector<std::string>& names);
  std::optional<OraResult<Symbol*>> FindPackageItem(const std::vector<std::string>& package,
                                                    const std::string& member);
  // Runs `subprogram` of `instance` (its declaration in the interface) with `args`.
  std::expected<Value, RunError> InvokePackaged(PackageInstance& instance,
                                                const Subprogram& subprogram,
                                                std::vector<Argument>& args);

  // packages.cc
  std::expected<void, RunError> CallProcedure(const Stmt& stmt);
  OraStatus PutOutput(std::string_view text, bool end_line);
  std::expected<void, RunError> GetOutputLine(const Stmt& stmt);
  OraStatus GatherStats(const Expr& call);

  Host& host_;
  std::string_view text_;
  std::span<const HostVariable> binds_;
  std::unordered_map<std::string, Symbol> host_symbols_;
  std::deque<Variable> host_variables_;
  std::vector<std::pair<const Variable*, db::BindVariable*>> host_bound_;
  std::vector<std::unique_ptr<Scope>> scopes_;
  std::unordered_map<const void*, SqlSlot> sql_;
  std::unordered_map<const Stmt*, NativeDml> native_dml_;
  std::unordered_map<const Stmt*, RowidQuery> rowid_queries_;
  std::vector<RowidLoop> rowid_loops_;  // the running loops whose rows carry their ROWID
  // The values of the computed refs of the statement being written (RunComputedUpdate).
  const std::vector<Value>* computed_ = nullptr;
  // The variables of the row WriteDirect computes, read once each (sql_native.cc).
  std::vector<NativeValue> native_variables_;
  std::vector<bool> native_loaded_;
  std::vector<RunError> handling_;  // the exceptions being handled, innermost last
  std::string flow_label_;          // the label an EXIT or CONTINUE names
  std::uint64_t steps_ = 0;
  bool aborted_ = false;  // the step limit stopped the block: no handler takes that
  // SQL%ROWCOUNT and SQL%FOUND of the last SQL statement; nullopt before the first.
  std::optional<std::uint64_t> sql_rowcount_;

  // Calls (calls.cc).
  std::string unit_label_;  // see SetUnit
  int call_depth_ = 0;
  const PlType* return_type_ = nullptr;                // of the function running, for RETURN
  std::optional<Value> return_value_;                  // what its RETURN gave
  std::unordered_map<const Subprogram*, int> active_;  // activations of each one running
  std::unordered_map<std::string, std::shared_ptr<const StoredUnit>> units_;  // found by name
  std::unordered_map<const StoredUnit*, std::unique_ptr<Interpreter>> callees_;
  // Packages found by name ("PKG" or "OWNER.PKG"; null: none), and the one elaborated here.
  // Not owned: the session keeps its package instances, and an instance's interpreter that
  // held others (or itself) strongly would keep the session's cursors alive for ever.
  std::unordered_map<std::string, std::weak_ptr<PackageInstance>> packages_;
  PackageInstance* own_package_ = nullptr;
  // An error of elaborating a package met while looking up a name, for the statement to raise.
  std::optional<RunError> package_failure_;
  // The error a function called inside an expression left with, kept whole (its stack, its
  // user exception) while it travels as a plain OraError to the statement (see Raise).
  mutable std::optional<RunError> call_failure_;
};

// A package's state in one session: its items, elaborated when the session first uses it and
// kept from block to block until the package is compiled again or the session ends.
class PackageInstance {
 public:
  PackageInstance(std::unique_ptr<Host> host, std::shared_ptr<const StoredPackage> package);
  ~PackageInstance();
  PackageInstance(const PackageInstance&) = delete;
  PackageInstance& operator=(const PackageInstance&) = delete;

  // Elaborates the package the first time: its items, then the body's initialisation. An
  // error comes back with its stack ("ORA-06512: at "U.PKG", line 3"), and the package stays
  // to be elaborated again at its next use.
  std::expected<void, RunError> Ready();
  const StoredPackage& package() const { return *package_; }
  bool ready() const { return ready_; }
  Interpreter& interpreter() { return *interpreter_; }
  // The state of an earlier instance of the package was discarded for this one: its first
  // use says so (ORA-04068).
  void MarkDiscarded() { discarded_ = true; }
  // Whether it holds state a new version of the package would discard: variables or cursors.
  bool HasState() const;
  // Runs function `declared` of the interface (one of its declarations) for SQL: its
  // value, or the error and its stack.
  OraResult<Value> CallFunction(const Subprogram& declared, std::vector<Value> args);

 private:
  std::shared_ptr<const StoredPackage> package_;
  std::unique_ptr<Host> host_;
  std::unique_ptr<Interpreter> interpreter_;
  bool ready_ = false;
  bool elaborating_ = false;
  bool discarded_ = false;
};

// Calls nested deeper than this, or using more stack than this since the outermost PL/SQL
// that runs, are refused (ORA-06500) rather than risking the stack.
inline constexpr int kMaxCallDepth = 1000;
inline constexpr std::size_t kStackBudget = 3 * 1024 * 1024;

// Marks where the outermost PL/SQL of this thread starts on the stack, while it runs.
class StackBase {
 public:
  StackBase();
  ~StackBase();
  StackBase(const StackBase&) = delete;
  StackBase& operator=(const StackBase&) = delete;
  // Bytes of stack used since the outermost StackBase (0 when none).
  static std::size_t Used();

 private:
  bool outermost_ = false;
};

}  // namespace volmek::engine::plsql
