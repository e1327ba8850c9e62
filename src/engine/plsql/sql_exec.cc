// SQL inside blocks: static statements, SELECT INTO, EXECUTE IMMEDIATE, cursors, and the
// expressions PL/SQL hands to SQL. The block's values go into the statement text as literals;
// the engine's translator takes literals out again as parameters, so a statement run once per
// loop turn is translated once and then only re-bound.
#include <fmt/format.h>

#include <charconv>

#include "engine/plsql/interpreter.h"
#include "engine/plsql/parser.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine::plsql {
namespace {

// The quoted names of "ORA-00904: "R"."F": invalid identifier".
std::vector<std::string> InvalidIdentifier(std::string_view message) {
  std::vector<std::string> names;
  std::size_t end = message.find(": invalid identifier");
  std::size_t at = message.find('"');
  while (at != std::string_view::npos && at < end) {
    std::size_t close = message.find('"', at + 1);
    if (close == std::string_view::npos) break;
    names.emplace_back(message.substr(at + 1, close - at - 1));
    at = message.find('"', close + 1);
  }
  return names;
}

bool IsDml(std::string_view text) {
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '(') {
      if (!word.empty()) break;
      continue;
    }
    word += c;
  }
  word = UpperAscii(word);
  return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "MERGE";
}

OraError NoDataFound() { return Ora(1403, "no data found"); }
OraError TooManyRows() {
  return Ora(1422, "exact fetch returns more than requested number of rows");
}

}  // namespace

OraResult<std::optional<Value>> Interpreter::ValueOfRef(const std::vector<std::string>& names) {
  if (Variable* variable = FindVariable(names)) {
    if (variable->is_record) return OraErr(Ora(6550, "PLS-00382: expression is of wrong type"));
    return std::optional<Value>(variable->value);
  }
  if (names.size() == 1 && (names[0] == "SQLCODE" || names[0] == "SQLERRM")) {
    Expr call;
    call.kind = ExprKind::kCall;
    call.names = names;
    VK_ASSIGN_OR_ORA_RETURN(Value value, EvalCall(call));
    return std::optional<Value>(std::move(value));
  }
  return std::optional<Value>();
}

namespace {

LiteralKind KindOf(const Value& value) {
  switch (value.kind) {
    case Value::Kind::kNull:
      return LiteralKind::kNull;
    case Value::Kind::kNumber:
      return value.number.is_negative() ? LiteralKind::kNegative : LiteralKind::kNumber;
    case Value::Kind::kText:
      return LiteralKind::kText;
    case Value::Kind::kDate:
      return LiteralKind::kDate;
    case Value::Kind::kBool:
      break;
  }
  return LiteralKind::kNone;
}

// The literal token of `value` as SqlLiteral writes it: a number's digits without its sign,
// a text or date quoted.
void LiteralToken(const Value& value, std::string* out) {
  out->clear();
  if (value.kind == Value::Kind::kNumber) {
    value.number.AppendCanonical(*out);
    if (!out->empty() && out->front() == '-') out->erase(0, 1);
    return;
  }
  std::string_view text = value.text;
  std::string stored;
  if (value.kind == Value::Kind::kDate) {
    stored = ToStoredText(value.date);
    text = stored;
  }
  out->push_back('\'');
  for (char c : text) {
    out->push_back(c);
    if (c == '\'') out->push_back('\'');
  }
  out->push_back('\'');
}

}  // namespace

OraResult<std::string> Interpreter::SqlWithValues(const SqlText& sql,
                                                  const std::vector<bool>& substituted,
                                                  std::vector<PutLiteral>* put) {
  std::string out;
  out.reserve(sql.text.size() + 16);
  if (put != nullptr) put->assign(sql.refs.size(), PutLiteral());
  std::size_t at = 0;
  for (std::size_t i = 0; i < sql.refs.size(); ++i) {
    const SqlRef& ref = sql.refs[i];
    std::optional<Value> value;
    if (ref.computed >= 0) {
      value = (*computed_)[static_cast<std::size_t>(ref.computed)];
    } else {
      bool host = ref.names[0][0] == ':';
      if (!substituted[i] && !host) continue;
      VK_ASSIGN_OR_ORA_RETURN(value, ValueOfRef(ref.names));
      if (!value && host) return OraErr(Ora(1008, "not all variables bound"));
      if (!value) continue;
    }
    out.append(sql.text, at, ref.begin - at);
    VK_ASSIGN_OR_ORA_RETURN(std::string literal, SqlLiteral(*value));
    if (put != nullptr) (*put)[i] = PutLiteral{out.size(), literal.size(), KindOf(*value)};
    out += literal;
    at = ref.end;
  }
  out.append(sql.text, at, std::string::npos);
  return out;
}

void Interpreter::MapLiterals(SqlSlot& slot, const std::vector<PutLiteral>& put) {
  std::vector<std::size_t> offsets = slot.cursor->LiteralOffsets();
  slot.kinds.assign(put.size(), LiteralKind::kNone);
  slot.slots.assign(put.size(), -1);
  slot.rebind = false;
  std::size_t next = 0;
  for (std::size_t i = 0; i < put.size(); ++i) {
    const PutLiteral& literal = put[i];
    slot.kinds[i] = literal.kind;
    if (literal.kind == LiteralKind::kNone && !slot.substituted[i]) continue;
    if (literal.kind == LiteralKind::kNone) return;
    if (literal.kind == LiteralKind::kNull) continue;
    // The first literal inside the value's text: the number itself in "(-5)", the date's text
    // in TO_DATE('...', '...').
    while (next < offsets.size() && offsets[next] < literal.start) ++next;
    if (next == offsets.size() || offsets[next] >= literal.start + literal.length) return;
    slot.slots[i] = static_cast<int>(next);
  }
  slot.rebind = true;
}

OraResult<bool> Interpreter::Rebind(SqlSlot& slot, const SqlText& sql) {
  slot.texts.resize(sql.refs.size());
  slot.changes.clear();
  for (std::size_t i = 0; i < sql.refs.size(); ++i) {
    if (!slot.substituted[i] && slot.kinds[i] == LiteralKind::kNone) continue;
    // The variable's value where it is (no copy); SQLCODE and SQLERRM are computed.
    const Value* value = nullptr;
    std::optional<Value> computed;
    if (sql.refs[i].computed >= 0) {
      value = &(*computed_)[static_cast<std::size_t>(sql.refs[i].computed)];
    } else if (Variable* variable = FindVariable(sql.refs[i].names);
               variable && !variable->is_record) {
      value = &variable->value;
    } else {
      VK_ASSIGN_OR_ORA_RETURN(computed, ValueOfRef(sql.refs[i].names));
      if (!computed) return false;
      value = &*computed;
    }
    if (KindOf(*value) != slot.kinds[i]) return false;
    if (slot.kinds[i] == LiteralKind::kNull) continue;
    LiteralToken(*value, &slot.texts[i]);
    slot.changes.push_back(
        LiteralText{slot.slots[i], slot.texts[i], value->kind != Value::Kind::kNumber});
  }
  return slot.cursor->RebindLiterals(slot.changes);
}

OraResult<SqlSlot*> Interpreter::PrepareSql(const SqlText& sql, const void* key,
                                            std::size_t offset) {
  SqlSlot& slot = sql_[key];
  if (!slot.cursor) slot.cursor = host_.OpenCursor();
  std::vector<PutLiteral> put;
  if (!slot.compiled) {
    slot.substituted.assign(sql.refs.size(), false);
    for (std::size_t i = 0; i < sql.refs.size(); ++i)
      slot.substituted[i] = sql.refs[i].computed >= 0;
    while (true) {
      VK_ASSIGN_OR_ORA_RETURN(std::string text, SqlWithValues(sql, slot.substituted, &put));
      OraStatus parsed = slot.cursor->Parse(text);
      if (parsed.has_value()) break;
      // A name SQL does not know may be one of the block's: take it as its value and retry.
      // Columns are found first, so a column named as a variable stays the column.
      bool more = false;
      if (parsed.error().code == 904) {
        std::vector<std::string> names = InvalidIdentifier(parsed.error().message);
        for (std::size_t i = 0; i < sql.refs.size(); ++i) {
          if (slot.substituted[i] || sql.refs[i].names != names) continue;
          VK_ASSIGN_OR_ORA_RETURN(std::optional<Value> value, ValueOfRef(names));
          if (!value) continue;
          slot.substituted[i] = true;
          more = true;
        }
      }
      if (more) continue;
      const OraError& error = parsed.error();
      if (error.code == 6550) return OraErr(error);
      OraError compile = CompileError(text_, offset, "PL/SQL: " + error.message);
      compile.message +=
          "\n" + CompileError(text_, offset, "PL/SQL: SQL Statement ignored").message;
      return OraErr(std::move(compile));
    }
    slot.compiled = true;
  } else {
    if (slot.rebind) {
      VK_ASSIGN_OR_ORA_RETURN(bool rebound, Rebind(slot, sql));
      // The select list stays what the last parse described.
      if (rebound) return &slot;
    }
    VK_ASSIGN_OR_ORA_RETURN(std::string text, SqlWithValues(sql, slot.substituted, &put));
    VK_RETURN_IF_ORA_ERROR(slot.cursor->Parse(text));
  }
  MapLiterals(slot, put);
  if (slot.cursor->is_query()) slot.columns = slot.cursor->Columns();
  return &slot;
}

OraResult<Value> Interpreter::EvalSql(const Expr& expr) {
  SqlSlot& slot = sql_[&expr];
  if (!slot.cursor) slot.cursor = host_.OpenCursor();
  std::vector<bool> substituted(expr.sql.refs.size());
  for (std::size_t i = 0; i < expr.sql.refs.size(); ++i) {
    const std::vector<std::string>& names = expr.sql.refs[i].names;
    substituted[i] = FindVariable(names) != nullptr ||
                     (names.size() == 1 && (names[0] == "SQLCODE" || names[0] == "SQLERRM"));
  }
  VK_ASSIGN_OR_ORA_RETURN(std::string text, SqlWithValues(expr.sql, substituted));
  std::string query = expr.condition ? fmt::format(
                                           "SELECT CASE WHEN {0} THEN 1 WHEN NOT ({0}) "
                                           "THEN 0 END FROM DUAL",
                                           text)
                                     : fmt::format("SELECT {} FROM DUAL", text);
  SqlCursor& cursor = *slot.cursor;
  OraStatus status = cursor.Parse(query);
  if (status.has_value()) status = cursor.Execute();
  std::vector<Value> row;
  OraResult<bool> got =
      status.has_value() ? cursor.Fetch(&row) : OraResult<bool>(OraErr(status.error()));
  cursor.Close();
  if (!got.has_value()) {
    // What SQL calls an invalid number is PL/SQL's VALUE_ERROR.
    if (got.error().code == 1722)
      return OraErr(ValueError(": character to number conversion error"));
    return OraErr(got.error());
  }
  if (!*got || row.size() != 1) return OraErr(NoDataFound());
  if (!expr.condition) return row[0];
  if (row[0].is_null()) return Value::Null();
  return Value::Bool(!row[0].number.is_zero());
}

OraStatus Interpreter::ExecuteSql(const Stmt& stmt) {
  auto native = native_dml_.find(&stmt);
  if (native != native_dml_.end() && native->second.usable) {
    NativeDml& dml = native->second;
    if (dml.update) {
      if (std::optional<OraStatus> done = RunComputedUpdate(dml, stmt)) return *done;
    } else if (WriteDirect(dml)) {
      sql_rowcount_ = 1;
      return {};
    }
  }
  VK_ASSIGN_OR_ORA_RETURN(SqlSlot * slot, PrepareSql(stmt.sql, &stmt, stmt.offset));
  if (!slot->dml_known) {
    slot->dml = IsDml(stmt.sql.text);
    slot->dml_known = true;
  }
  VK_RETURN_IF_ORA_ERROR(slot->cursor->Execute());
  if (slot->dml) sql_rowcount_ = slot->cursor->rows_processed();
  if (native == native_dml_.end()) AnalyseNativeDml(stmt, *slot);
  return {};
}

OraStatus Interpreter::SelectInto(const Stmt& stmt) {
  VK_ASSIGN_OR_ORA_RETURN(SqlSlot * slot, PrepareSql(stmt.sql, &stmt, stmt.offset));
  SqlCursor& cursor = *slot->cursor;
  VK_RETURN_IF_ORA_ERROR(cursor.Execute());
  std::vector<Value> row;
  std::vector<Value> extra;
  OraResult<bool> first = cursor.Fetch(&row);
  OraResult<bool> second =
      first.has_value() && *first ? cursor.Fetch(&extra) : OraResult<bool>(false);
  cursor.Close();
  if (!first.has_value()) return OraErr(first.error());
  if (!second.has_value()) return OraErr(second.error());
  sql_rowcount_ = *first ? 1 : 0;
  if (!*first) return OraErr(NoDataFound());
  if (*second) return OraErr(TooManyRows());
  return AssignRow(stmt.into, row);
}

OraStatus Interpreter::ExecuteImmediate(const Stmt& stmt) {
  VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*stmt.value));
  VK_ASSIGN_OR_ORA_RETURN(std::optional<std::string> text, AsText(value, host_.date_format()));
  if (!text) return OraErr(Ora(6535, "statement string in EXECUTE IMMEDIATE is NULL or 0 length"));
  std::string sql = *text;
  // Placeholders (:name, :1) take the USING values in order.
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(sql));
  bool block = !tokens.empty() && (tokens[0].IsKeyword("BEGIN") || tokens[0].IsKeyword("DECLARE"));
  std::string bound;
  std::size_t at = 0;
  std::size_t used = 0;
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (!tokens[i].IsSymbol(":")) continue;
    const Token& name = tokens[i + 1];
    if (!name.IsName() && name.kind != TokenKind::kNumber) continue;
    if (block)
      return OraErr(Ora(6550,
                        "PLS-00999: implementation restriction (may be temporary) "
                        "bind variables in dynamic PL/SQL blocks"));
    if (used >= stmt.args.size()) return OraErr(Ora(1008, "not all variables bound"));
    VK_ASSIGN_OR_ORA_RETURN(Value arg, Eval(*stmt.args[used++]));
    VK_ASSIGN_OR_ORA_RETURN(std::string literal, SqlLiteral(arg));
    bound.append(sql, at, tokens[i].offset - at);
    bound += literal;
    at = name.offset + name.text.size();
  }
  bound.append(sql, at, std::string::npos);
  if (used < stmt.args.size()) return OraErr(Ora(1006, "bind variable does not exist"));
  SqlSlot& slot = sql_[&stmt];
  if (!slot.cursor) slot.cursor = host_.OpenCursor();
  SqlCursor& cursor = *slot.cursor;
  VK_RETURN_IF_ORA_ERROR(cursor.Parse(bound));
  VK_RETURN_IF_ORA_ERROR(cursor.Execute());
  if (stmt.into.empty()) {
    if (!cursor.is_query() && IsDml(bound)) sql_rowcount_ = cursor.rows_processed();
    cursor.Close();
    return {};
  }
  if (!cursor.is_query()) return OraErr(Ora(1007, "variable not in select list"));
  std::vector<Value> row;
  std::vector<Value> extra;
  OraResult<bool> first = cursor.Fetch(&row);
  OraResult<bool> second =
      first.has_value() && *first ? cursor.Fetch(&extra) : OraResult<bool>(false);
  cursor.Close();
  if (!first.has_value()) return OraErr(first.error());
  if (!second.has_value()) return OraErr(second.error());
  sql_rowcount_ = *first ? 1 : 0;
  if (!*first) return OraErr(NoDataFound());
  if (*second) return OraErr(TooManyRows());
  return AssignRow(stmt.into, row);
}

CursorState* Interpreter::FindCursor(const std::string& name) {
  Symbol* symbol = Find(name);
  if (symbol == nullptr || symbol->kind != Symbol::Kind::kCursor) return nullptr;
  return symbol->cursor;
}

OraStatus Interpreter::PushCursorParams(const Decl& decl, std::vector<Value> values) {
  auto scope = std::make_unique<Scope>();
  for (std::size_t i = 0; i < decl.fields.size(); ++i) {
    VK_ASSIGN_OR_ORA_RETURN(Variable variable, MakeVariable(decl.fields[i].type));
    if (i < values.size()) {
      VK_ASSIGN_OR_ORA_RETURN(variable.value,
                              Assign(values[i], variable.type, host_.date_format()));
    }
    Symbol symbol;
    symbol.variable = &scope->variables.emplace_back(std::move(variable));
    scope->symbols.emplace(decl.fields[i].name, symbol);
  }
  scopes_.push_back(std::move(scope));
  return {};
}

OraStatus Interpreter::OpenCursor(CursorState& state, const std::vector<ExprPtr>& args,
                                  std::size_t offset) {
  if (state.open) return OraErr(Ora(6511, "PL/SQL: cursor already open"));
  const Decl& decl = *state.decl;
  if (args.size() > decl.fields.size()) {
    return OraErr(CompileError(text_, offset,
                               fmt::format("PLS-00306: wrong number or types of arguments in call "
                                           "to '{}'",
                                           decl.name)));
  }
  std::vector<Value> values;
  for (std::size_t i = 0; i < decl.fields.size(); ++i) {
    const Expr* source = i < args.size() ? args[i].get() : decl.param_defaults[i].get();
    if (source != nullptr && !source->arg_name.empty()) {
      return OraErr(CompileError(text_, source->offset,
                                 "PLS-00999: implementation restriction (may be temporary) named "
                                 "arguments"));
    }
    if (source == nullptr) {
      return OraErr(CompileError(text_, offset,
                                 fmt::format("PLS-00306: wrong number or types of arguments in "
                                             "call to '{}'",
                                             decl.name)));
    }
    VK_ASSIGN_OR_ORA_RETURN(Value value, Eval(*source));
    values.push_back(std::move(value));
  }
  // The query runs where the cursor is declared (a package's, for one of a package).
  Interpreter& home = *state.owner;
  VK_RETURN_IF_ORA_ERROR(home.PushCursorParams(decl, std::move(values)));
  OraResult<SqlSlot*> slot = home.PrepareSql(decl.query, &decl, decl.query.offset);
  home.scopes_.pop_back();
  if (!slot.has_value()) return OraErr(slot.error());
  VK_RETURN_IF_ORA_ERROR((*slot)->cursor->Execute());
  state.cursor = (*slot)->cursor.get();
  state.columns = (*slot)->columns;
  state.open = true;
  state.fetched = false;
  state.found = false;
  state.rowcount = 0;
  return {};
}

OraResult<bool> Interpreter::FetchCursor(CursorState& state, std::vector<Value>* row) {
  VK_ASSIGN_OR_ORA_RETURN(bool got, state.cursor->Fetch(row));
  state.fetched = true;
  state.found = got;
  if (got) ++state.rowcount;
  return got;
}

Outcome Interpreter::RunForCursor(const Stmt& stmt) {
  auto fail = [&](OraError error) -> Outcome {
    return std::unexpected(Raise(std::move(error), stmt.offset));
  };
  CursorState local;
  CursorState* state = &local;
  const std::string* rowid_table = nullptr;
  if (!stmt.op.empty()) {
    state = FindCursor(stmt.op);
    if (state == nullptr) {
      return fail(CompileError(
          text_, stmt.offset, fmt::format("PLS-00201: identifier '{}' must be declared", stmt.op)));
    }
    OraStatus opened = OpenCursor(*state, stmt.args, stmt.offset);
    if (!opened.has_value()) return fail(opened.error());
  } else {
    // The rows carry their ROWID when the query allows it (rowid_loops.cc); a query that does
    // not take it runs as written, and reports its own errors.
    SqlSlot* slot = nullptr;
    if (const RowidQuery* query = RowidQueryOf(stmt)) {
      OraResult<SqlSlot*> with_rowid = PrepareSql(query->sql, &query->sql, stmt.sql.offset);
      if (with_rowid.has_value()) {
        slot = *with_rowid;
        rowid_table = &query->table;
      } else {
        rowid_queries_[&stmt].usable = false;
      }
    }
    if (slot == nullptr) {
      OraResult<SqlSlot*> prepared = PrepareSql(stmt.sql, &stmt, stmt.sql.offset);
      if (!prepared.has_value()) return fail(prepared.error());
      slot = *prepared;
    }
    OraStatus executed = slot->cursor->Execute();
    if (!executed.has_value()) return fail(executed.error());
    local.cursor = slot->cursor.get();
    local.columns = slot->columns;
    if (rowid_table != nullptr) local.columns.erase(local.columns.begin());
    local.open = true;
  }
  struct CloseAtEnd {
    CursorState* state;
    ~CloseAtEnd() {
      state->cursor->Close();
      state->open = false;
    }
  } close_at_end{state};
  OraResult<Variable> record = RecordFromColumns(state->columns);
  if (!record.has_value()) return fail(record.error());
  scopes_.push_back(std::make_unique<Scope>());
  struct Pop {
    Interpreter* self;
    ~Pop() { self->scopes_.pop_back(); }
  } pop{this};
  Variable& variable = scopes_.back()->variables.emplace_back(std::move(*record));
  Symbol symbol;
  symbol.variable = &variable;
  scopes_.back()->symbols.emplace(stmt.name, symbol);
  if (rowid_table != nullptr) rowid_loops_.push_back(RowidLoop{&variable, *rowid_table, {}});
  struct PopRowid {
    Interpreter* self;
    bool pushed;
    ~PopRowid() {
      if (pushed) self->rowid_loops_.pop_back();
    }
  } pop_rowid{this, rowid_table != nullptr};
  // The ROWID is the first column of the rows, not one of the record's.
  const std::size_t first = rowid_table != nullptr ? 1 : 0;
  std::vector<Value> row;
  while (true) {
    OraResult<bool> got = FetchCursor(*state, &row);
    if (!got.has_value()) return fail(got.error());
    if (!*got) return Flow::kNormal;
    for (std::size_t i = first; i < row.size() && i - first < variable.fields.size(); ++i) {
      variable.fields[i - first].value = std::move(row[i]);
    }
    if (rowid_table != nullptr) {
      // Delivered as its digits.
      std::optional<std::int64_t>& rowid = rowid_loops_.back().rowid;
      rowid.reset();
      if (!row.empty() && row[0].kind == Value::Kind::kText) {
        const std::string& digits = row[0].text;
        std::int64_t number = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (ec == std::errc() && end == digits.data() + digits.size()) rowid = number;
      }
    }
    bool stop = false;
    Outcome outcome = RunLoopBody(stmt, &stop);
    if (!outcome.has_value() || *outcome != Flow::kNormal || stop) return outcome;
    if (++steps_ > host_.options().max_steps) {
      aborted_ = true;
      return fail(Ora(2393, "exceeded call limit on CPU usage"));
    }
  }
}

}  // namespace volmek::engine::plsql
