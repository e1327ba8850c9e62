// Cursor FOR loops that update the rows they read, found by ROWID.
//
// `FOR r IN (SELECT ... FROM t ...) LOOP UPDATE t SET ... WHERE k = r.k; END LOOP` is how
// administrators' scripts fix rows one at a time. With k a unique column of t, the row the
// UPDATE means is the one row whose k is r.k; the loop read it a moment ago, so its ROWID is
// known. The loop's query then also selects ROWID (not shown in r), and the UPDATE runs first
// as "... WHERE k = r.k AND ROWID = n": one seek by ROWID instead of a search of k's index.
//
// The answer is the statement's own: the row at ROWID n is updated only while its k is still
// r.k, and then it is the one row with that k. When it updates nothing (the row changed its k,
// went away, or r.k was assigned another value) or fails, the statement runs as written, which
// updates what it finds and reports its own errors.
//
// When every SET value is one the interpreter computes (sql_native.cc) and k is a NUMBER, the
// cursor's direct path (SqlCursor::UpdateByRowid) writes the row without the statement: no
// literals rebound, no vk_store called through SQL. It answers only when it updated the row;
// otherwise the statements above run, and report what there is to report.
#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser_impl.h"
#include "engine/syntax/lexer.h"
#include "engine/syntax/parser.h"

namespace volmek::engine::plsql {

const RowidQuery* Interpreter::RowidQueryOf(const Stmt& stmt) {
  RowidQuery& query = rowid_queries_[&stmt];
  if (query.analysed) return query.usable ? &query : nullptr;
  query.analysed = true;
  const std::string& text = stmt.sql.text;
  OraResult<std::vector<Token>> tokens = Tokenize(text);
  if (!tokens.has_value()) return nullptr;
  OraResult<ast::Statement> parsed = ParseStatement(text, *tokens);
  if (!parsed.has_value() || !parsed->query) return nullptr;
  // One SELECT of one table: the rows are that table's, each with its ROWID.
  const ast::Query& select_query = *parsed->query;
  if (!select_query.with.empty() || !select_query.select) return nullptr;
  const ast::Select& select = *select_query.select;
  if (select.distinct || select.from.size() != 1 || !select.group_by.empty() || select.having ||
      select.connect_by || select.items.empty()) {
    return nullptr;
  }
  // ORDER BY 2 would count the ROWID in front.
  for (const ast::OrderItem& item : select_query.order_by) {
    if (item.expr == nullptr || item.expr->kind == ast::ExprKind::kNumber) return nullptr;
  }
  const ast::FromItem& from = *select.from[0];
  if (from.kind != ast::FromItem::Kind::kTable || !from.owner.empty()) return nullptr;
  std::optional<TableInfo> table = host_.schema().FindTable(from.name);
  if (!table.has_value() || table->is_view) return nullptr;
  constexpr std::string_view kRowid = "ROWID, ";
  const std::size_t at = select.items[0].begin;
  query.sql.text = text.substr(0, at);
  query.sql.text += kRowid;
  query.sql.text.append(text, at, std::string::npos);
  query.sql.offset = stmt.sql.offset;
  query.sql.refs = stmt.sql.refs;
  for (SqlRef& ref : query.sql.refs) {
    if (ref.begin < at) continue;
    ref.begin += kRowid.size();
    ref.end += kRowid.size();
  }
  query.table = table->physical_name;
  query.usable = true;
  return &query;
}

void Interpreter::AnalyseRowidUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml) {
  OraResult<std::vector<Token>> tokens = Tokenize(sql.text);
  if (!tokens.has_value()) return;
  Parser parser(sql.text, *tokens);
  if (!parser.Accept("UPDATE") || !parser.Peek().IsName() || parser.Peek(1).IsSymbol(".") ||
      parser.Peek(1).IsSymbol("@")) {
    return;
  }
  const Token& table_token = parser.Peek();
  std::optional<TableInfo> table = host_.schema().FindTable(table_token.Value());
  if (!table.has_value() || table->is_view) return;
  // ... WHERE k = r.k and nothing after it: k a column of one unique key, r.k the same name.
  std::size_t where = tokens->size();
  for (std::size_t i = 0; i < tokens->size(); ++i) {
    if ((*tokens)[i].IsKeyword("WHERE")) where = i;
  }
  if (where + 7 != tokens->size()) return;
  const Token& column = (*tokens)[where + 1];
  const Token& record = (*tokens)[where + 3];
  const Token& field = (*tokens)[where + 5];
  if (column.kind != TokenKind::kIdentifier || !(*tokens)[where + 2].IsSymbol("=") ||
      record.kind != TokenKind::kIdentifier || !(*tokens)[where + 4].IsSymbol(".") ||
      field.kind != TokenKind::kIdentifier || field.Value() != column.Value() ||
      !(*tokens)[where + 6].IsEnd()) {
    return;
  }
  bool known = false;
  for (const ColumnInfo& info : table->columns) known = known || info.name == column.Value();
  if (!known || !host_.schema().IsUniqueColumn(parser.Peek().Value(), column.Value())) return;
  // r.k must be what the statement took for the block's record (an alias r of the table
  // would make it the column).
  const SqlRef* key = nullptr;
  for (std::size_t i = 0; i < sql.refs.size(); ++i) {
    const SqlRef& ref = sql.refs[i];
    if (ref.begin == record.offset && ref.names.size() == 2 && slot.substituted[i]) key = &ref;
  }
  if (key == nullptr) return;
  dml.rowid_record = {key->names[0]};
  dml.rowid_table = table->physical_name;
  dml.rowid_table_name = parser.Peek().Value();
  dml.rowid_column = column.Value();
  dml.rowid_generation = host_.schema_generation();
  // Right after r.k: a comment may follow it.
  constexpr std::string_view kRowid = " AND ROWID = 0";
  const std::size_t after = field.offset + field.text.size();
  dml.rowid_sql = dml.sql;
  dml.rowid_sql.text.insert(after, kRowid);
  SqlRef rowid;
  rowid.end = after + kRowid.size();
  rowid.begin = rowid.end - 1;
  rowid.computed = static_cast<int>(dml.program.size());
  dml.rowid_sql.refs.push_back(std::move(rowid));
  if (table_token.kind == TokenKind::kIdentifier) AnalyseDirectUpdate(sql, slot, dml);
}

void Interpreter::AnalyseDirectUpdate(const SqlText& sql, const SqlSlot& slot, NativeDml& dml) {
  OraResult<std::vector<Token>> tokens = Tokenize(sql.text);
  if (!tokens.has_value()) return;
  Parser parser(sql.text, *tokens);
  parser.pos_ += 2;                                                              // UPDATE t
  if (parser.Peek().IsName() && !parser.Peek().IsKeyword("SET")) ++parser.pos_;  // an alias
  if (!parser.Accept("SET")) return;
  std::vector<std::string> columns;
  std::vector<ExprPtr> exprs;
  std::vector<NativeNode> program;
  std::vector<const std::vector<std::string>*> variables;
  // Every SET value, constants and variables too, then r.k after WHERE k =.
  bool key = false;
  while (true) {
    if (!key) {
      if (!parser.Peek().IsName() || !parser.Peek(1).IsSymbol("=")) return;
      columns.push_back(parser.Peek().Value());
    }
    parser.pos_ += 2;
    OraResult<ExprPtr> value = parser.ParseExpr();
    if (!value.has_value()) return;
    NativeNode& node = program.emplace_back();
    if (!CompileNative(**value, sql, slot.substituted, &variables, &node)) return;
    exprs.push_back(std::move(*value));
    if (key) break;
    if (parser.AcceptSymbol(",")) continue;
    if (!parser.Accept("WHERE")) return;
    key = true;
  }
  if (!parser.Peek().IsEnd()) return;
  dml.direct_columns = std::move(columns);
  dml.direct_exprs = std::move(exprs);
  dml.direct_program = std::move(program);
  dml.direct_variables = variables.size();
}

const RowidLoop* Interpreter::RowidLoopOf(NativeDml& dml) {
  if (host_.schema_generation() != dml.rowid_generation) {
    // DDL ran since (EXECUTE IMMEDIATE, a procedure): the key may be unique no more.
    std::optional<TableInfo> table = host_.schema().FindTable(dml.rowid_table_name);
    if (!table.has_value() || table->physical_name != dml.rowid_table ||
        !host_.schema().IsUniqueColumn(dml.rowid_table_name, dml.rowid_column)) {
      dml.rowid_record.clear();
      dml.direct_columns.clear();
      return nullptr;
    }
    dml.rowid_generation = host_.schema_generation();
  }
  const Variable* record = FindVariable(dml.rowid_record);
  for (auto it = rowid_loops_.rbegin(); it != rowid_loops_.rend(); ++it) {
    if (it->record == record && it->table == dml.rowid_table) {
      return it->rowid.has_value() ? &*it : nullptr;
    }
  }
  return nullptr;
}

bool Interpreter::RunDirectUpdate(NativeDml& dml) {
  const RowidLoop* loop = RowidLoopOf(dml);
  if (loop == nullptr) return false;
  if (!ComputeProgram(dml.direct_program, dml.direct_variables, dml.direct_row)) return false;
  if (!dml.cursor) dml.cursor = host_.OpenCursor();
  std::span<const NativeValue> values(dml.direct_row);
  return dml.cursor->UpdateByRowid(dml.rowid_table_name, dml.direct_columns,
                                   values.first(dml.direct_columns.size()), dml.rowid_column,
                                   values.back(), *loop->rowid);
}

std::optional<OraStatus> Interpreter::RunRowidUpdate(NativeDml& dml, const Stmt& stmt) {
  const RowidLoop* loop = RowidLoopOf(dml);
  if (loop == nullptr) return std::nullopt;
  dml.values.resize(dml.program.size() + 1);
  dml.values.back() = Value::Integer(*loop->rowid);
  computed_ = &dml.values;
  OraResult<SqlSlot*> slot = PrepareSql(dml.rowid_sql, &dml.rowid_sql, stmt.offset);
  computed_ = nullptr;
  if (!slot.has_value()) {
    dml.rowid_record.clear();
    return std::nullopt;
  }
  OraStatus executed = (*slot)->cursor->Execute();
  if (!executed.has_value() || (*slot)->cursor->rows_processed() != 1) return std::nullopt;
  sql_rowcount_ = 1;
  return OraStatus();
}

}  // namespace volmek::engine::plsql
