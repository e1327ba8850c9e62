#include <fmt/format.h>

#include "engine/plsql/parser.h"
#include "engine/runtime/connection.h"
#include "engine/runtime/ddl.h"
#include "engine/runtime/plsql_session.h"
#include "engine/runtime/stored_units.h"
#include "engine/syntax/lexer.h"

namespace volmek::engine {
namespace {

constexpr std::uint16_t kFunctionAlterSession = 52;
constexpr std::uint16_t kFunctionCommit = 54;
constexpr std::uint16_t kFunctionRollback = 55;
constexpr std::uint16_t kFunctionSavepoint = 56;
constexpr std::uint16_t kFunctionSetTransaction = 33;
constexpr std::uint16_t kFunctionLockTable = 35;

OraError InvalidStatement() { return Ora(900, "invalid SQL statement"); }
OraError MissingKeyword() { return Ora(905, "missing keyword"); }

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#';
}

// The word of `sql` at or after `*pos` upper-cased, past blanks and comments; "(" for a
// parenthesis. Leaves `*pos` after it.
std::string NextWord(std::string_view sql, std::size_t* pos_inout) {
  std::size_t pos = *pos_inout;
  while (pos < sql.size()) {
    char c = sql[pos];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      ++pos;
    } else if (sql.substr(pos, 2) == "--") {
      std::size_t end = sql.find('\n', pos);
      pos = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (sql.substr(pos, 2) == "/*") {
      std::size_t end = sql.find("*/", pos + 2);
      pos = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  if (pos < sql.size() && sql[pos] == '(') {
    *pos_inout = pos + 1;
    return "(";
  }
  std::size_t end = pos;
  while (end < sql.size() && IsWordChar(sql[end])) ++end;
  *pos_inout = end;
  return UpperAscii(sql.substr(pos, end - pos));
}

// The first two words: "ALTER SESSION".
std::pair<std::string, std::string> FirstTwoWords(std::string_view sql) {
  std::size_t pos = 0;
  std::string first = NextWord(sql, &pos);
  std::string second = NextWord(sql, &pos);
  return {first, second};
}

// Statements whose whole work happens at Execute: COMMIT, ROLLBACK, SAVEPOINT, ALTER SESSION,
// SET TRANSACTION. Parse checks them; `run` says whether to carry them out.
OraResult<std::uint16_t> TransactionControl(EngineConnection& connection, std::string_view sql,
                                            bool run) {
  VK_ASSIGN_OR_ORA_RETURN(std::vector<Token> tokens, Tokenize(sql));
  std::size_t at = 0;
  auto next_is = [&](std::string_view word) {
    if (tokens[at].IsKeyword(word)) {
      ++at;
      return true;
    }
    return false;
  };
  auto expect_end = [&]() -> OraStatus {
    if (tokens[at].IsSymbol(";")) return OraErr(911, "invalid character");
    if (!tokens[at].IsEnd()) return OraErr(933, "SQL command not properly ended");
    return {};
  };
  if (next_is("COMMIT")) {
    next_is("WORK");
    VK_RETURN_IF_ORA_ERROR(expect_end());
    if (run) VK_RETURN_IF_ORA_ERROR(connection.Commit());
    return kFunctionCommit;
  }
  if (next_is("ROLLBACK")) {
    next_is("WORK");
    if (next_is("TO")) {
      next_is("SAVEPOINT");
      if (!tokens[at].IsName()) return OraErr(905, "missing keyword");
      std::string name = tokens[at++].Value();
      VK_RETURN_IF_ORA_ERROR(expect_end());
      if (run) {
        connection.DetachQueries(nullptr);
        if (!ExecSql(connection.db(), "ROLLBACK TO " + QuoteIdentifier("u_" + name))) {
          return OraErr(1086, fmt::format("savepoint '{}' never established in this session or is "
                                          "invalid",
                                          name));
        }
      }
      return kFunctionRollback;
    }
    VK_RETURN_IF_ORA_ERROR(expect_end());
    if (run) VK_RETURN_IF_ORA_ERROR(connection.Rollback());
    return kFunctionRollback;
  }
  if (next_is("SAVEPOINT")) {
    if (!tokens[at].IsName()) return OraErr(905, "missing keyword");
    std::string name = tokens[at++].Value();
    VK_RETURN_IF_ORA_ERROR(expect_end());
    if (run)
      VK_RETURN_IF_ORA_ERROR(ExecSql(connection.db(), "SAVEPOINT " + QuoteIdentifier("u_" + name)));
    return kFunctionSavepoint;
  }
  if (next_is("LOCK")) {
    // One session at a time works on a database file: there is nobody to lock out.
    if (!next_is("TABLE")) return OraErr(MissingKeyword());
    if (!tokens[at].IsName()) return OraErr(903, "invalid table name");
    while (!tokens[at].IsEnd() && !tokens[at].IsSymbol(";")) ++at;
    VK_RETURN_IF_ORA_ERROR(expect_end());
    return kFunctionLockTable;
  }
  if (next_is("SET")) {
    // SET TRANSACTION READ ONLY | READ WRITE | ISOLATION LEVEL ... | USE ROLLBACK SEGMENT x
    // [NAME 'text']: only READ ONLY changes what this engine does.
    if (!next_is("TRANSACTION")) return OraErr(InvalidStatement());
    bool read_only = false;
    if (next_is("READ")) {
      if (next_is("ONLY")) {
        read_only = true;
      } else if (!next_is("WRITE")) {
        return OraErr(MissingKeyword());
      }
    }
    while (!tokens[at].IsEnd() && !tokens[at].IsSymbol(";")) ++at;
    VK_RETURN_IF_ORA_ERROR(expect_end());
    if (run) {
      if (connection.transaction_wrote()) {
        return OraErr(1453, "SET TRANSACTION must be first statement of transaction");
      }
      if (read_only) connection.set_read_only(true);
    }
    return kFunctionSetTransaction;
  }
  // ALTER SESSION SET name = value ...
  if (!next_is("ALTER") || !next_is("SESSION")) return OraErr(InvalidStatement());
  if (!next_is("SET")) return OraErr(922, "missing or invalid option");
  std::string date_format = connection.settings().nls_date_format;
  std::string sort = connection.settings().nls_sort;
  bool any = false;
  while (tokens[at].IsName()) {
    std::string name = tokens[at++].Value();
    if (!tokens[at].IsSymbol("=")) return OraErr(922, "missing or invalid option");
    ++at;
    const Token& value = tokens[at];
    if (value.IsEnd()) return OraErr(922, "missing or invalid option");
    ++at;
    if (name == "NLS_DATE_FORMAT") {
      if (value.kind != TokenKind::kString) return OraErr(922, "missing or invalid option");
      date_format = value.Value();
      OraResult<void> valid = CheckDateFormat(date_format);
      if (!valid.has_value()) return OraErr(valid.error());
    } else if (name == "NLS_SORT") {
      if (!value.IsName()) return OraErr(922, "missing or invalid option");
      sort = value.Value();
      if (sort != "BINARY")
        return OraErr(12705, "Cannot access NLS data files or invalid environment specified");
    } else {
      return OraErr(2248, "invalid option for ALTER SESSION");
    }
    any = true;
  }
  if (!any) return OraErr(922, "missing or invalid option");
  VK_RETURN_IF_ORA_ERROR(expect_end());
  if (run) {
    connection.settings().nls_date_format = date_format;
    connection.settings().nls_sort = sort;
  }
  return kFunctionAlterSession;
}

bool IsTransactionControl(std::string_view word) {
  return word == "COMMIT" || word == "ROLLBACK" || word == "SAVEPOINT" || word == "LOCK";
}

}  // namespace

OraError NotLoggedOn() { return Ora(1012, "not logged on"); }
OraError NotConnected() { return Ora(db::kRcNotConnected, "not connected to ORACLE"); }
OraError NoStatementParsed() { return Ora(1003, "no statement parsed"); }

EngineCursor::EngineCursor(EngineConnection* connection) : connection_(connection) {
  connection_->Register(this);
}

EngineCursor::~EngineCursor() {
  if (connection_ != nullptr) connection_->Unregister(this);
}

int EngineCursor::Fail(const OraError& error) {
  OraError reported = connection_ != nullptr ? connection_->CheckTransaction(error) : error;
  rc_ = reported.code;
  error_text_ = std::move(reported.message);
  return rc_;
}

int EngineCursor::Succeed() {
  rc_ = 0;
  error_text_.clear();
  return 0;
}

void EngineCursor::CloseQuery() {
  if (stmt_) sqlite3_reset(stmt_.get());
  stepping_ = false;
  first_row_ready_ = false;
  at_end_ = false;
  broken_ = false;
  detached_ = false;
  detach_error_.reset();
  buffer_.clear();
  buffer_next_ = 0;
  executed_ = false;
}

int EngineCursor::Parse(std::string_view sql) {
  if (connection_ == nullptr) return Fail(NotLoggedOn());
  if (connection_->lost()) return Fail(NotConnected());
  CloseQuery();
  kind_ = ParsedKind::kNone;
  function_type_ = 0;
  rows_processed_ = 0;
  binds_.clear();
  OraStatus status = ParseStatement(sql);
  if (!status.has_value()) {
    // A procedure created with compilation errors was created all the same.
    if (status.error().code != kSuccessWithCompilationError) kind_ = ParsedKind::kNone;
    return Fail(status.error());
  }
  return Succeed();
}

OraStatus EngineCursor::ParseStatement(std::string_view sql) {
  EngineConnection& connection = *connection_;
  auto [word, second_word] = FirstTwoWords(sql);
  if (word == "SELECT" || word == "INSERT" || word == "UPDATE" || word == "DELETE" ||
      word == "MERGE" || word == "WITH" || word == "(") {
    // The cursor keeps its translation: a statement of the same shape as the last one only
    // refills the parameters, which stay bound from there. It reads the database anyway, so
    // taking the read lock here to look for other sessions' DDL holds nothing longer.
    connection.NoticeOtherSessions();
    VK_RETURN_IF_ORA_ERROR(
        connection.translator().TranslateInto(sql, connection.lookup(), &translation_));
    if (keep_literal_offsets_) literal_offsets_ = connection.translator().LiteralOffsets();
    return PrepareTranslation();
  }
  if (IsTransactionControl(word) || word == "SET" ||
      (word == "ALTER" && second_word == "SESSION")) {
    VK_ASSIGN_OR_ORA_RETURN(function_type_, TransactionControl(connection, sql, false));
    kind_ = ParsedKind::kDeferred;
    deferred_sql_ = std::string(sql);
    return {};
  }
  if (word == "BEGIN" || word == "DECLARE") {
    VK_RETURN_IF_ORA_ERROR(CheckBlock(connection, sql));
    function_type_ = db::kFunctionPlsql;
    kind_ = ParsedKind::kDeferred;
    deferred_sql_ = std::string(sql);
    return {};
  }
  if (connection.functions_in_sql() > 0 && IsDdlVerb(word)) {
    return OraErr(Ora(14552, "cannot perform a DDL, commit or rollback inside a query or DML"));
  }
  if (word == "CREATE" || word == "DROP" || word == "ALTER") {
    if (std::optional<OraResult<std::uint16_t>> done = StoredCodeDdl(connection, sql)) {
      kind_ = ParsedKind::kDone;
      if (!done->has_value()) return OraErr(done->error());
      function_type_ = **done;
      return {};
    }
  }
  if (IsDdlVerb(word)) {
    VK_ASSIGN_OR_ORA_RETURN(DdlParse parsed, ParseDdl(connection, sql));
    function_type_ = parsed.function_type;
    kind_ = parsed.run_at_execute ? ParsedKind::kDeferred : ParsedKind::kDone;
    if (parsed.run_at_execute) deferred_sql_ = std::string(sql);
    return {};
  }
  if (word.empty()) {
    // Oracle's parse of an empty text or of a stray symbol.
    std::string_view rest = sql;
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\n' || rest.front() == '\t' ||
                             rest.front() == '\r')) {
      rest.remove_prefix(1);
    }
    if (!rest.empty() && !IsWordChar(rest.front()) && rest.front() != '-' && rest.front() != '/') {
      return OraErr(911, "invalid character");
    }
  }
  return OraErr(InvalidStatement());
}

OraStatus EngineCursor::PrepareTranslation() {
  const Translation& translation = translation_;
  if (!translation.steps.empty()) {
    // Prepared step by step at Execute: a step may read a table an earlier one makes.
    function_type_ = translation.function_type;
    kind_ = ParsedKind::kDml;
    return {};
  }
  if (!stmt_ || translation.sql != stmt_sql_) {
    stmt_ = SqliteStatement();
    stmt_sql_.clear();
    VK_ASSIGN_OR_ORA_RETURN(stmt_, SqliteStatement::Prepare(connection_->db(), translation.sql,
                                                            /*persistent=*/true));
    stmt_sql_ = translation.sql;
  }
  sqlite3_stmt* stmt = stmt_.get();
  sqlite3_clear_bindings(stmt);
  BindParametersInPlace(stmt, translation.parameters);
  function_type_ = translation.function_type;
  kind_ = function_type_ == db::kFunctionSelect ? ParsedKind::kQuery : ParsedKind::kDml;
  std::size_t columns = translation.columns.size();
  if (kind_ == ParsedKind::kQuery) {
    defines_.assign(columns, db::ExternalType::kString);
    defined_.assign(columns, false);
    values_.resize(columns);
  }
  return {};
}

OraResult<bool> EngineCursor::RebindLiterals(std::span<const Translator::LiteralChange> changes) {
  if (connection_ == nullptr || connection_->lost() || !stmt_) return false;
  if (kind_ != ParsedKind::kDml && kind_ != ParsedKind::kQuery) return false;
  CloseQuery();
  rows_processed_ = 0;
  OraResult<bool> rebound =
      connection_->translator().RebindLiterals(&translation_, changes, &rebound_);
  if (!rebound.has_value() || !*rebound) {
    // The parameters may be half refilled: nothing stands parsed until the next Parse.
    kind_ = ParsedKind::kNone;
    return rebound;
  }
  // The other parameters keep their bindings: their values and storage did not change.
  RebindParametersInPlace(stmt_.get(), translation_.parameters, rebound_);
  Succeed();
  return true;
}

int EngineCursor::BindByName(std::string_view name, db::BindVariable* variable) {
  if (connection_ == nullptr) return Fail(NotLoggedOn());
  if (kind_ != ParsedKind::kDeferred || function_type_ != db::kFunctionPlsql) {
    return Fail(Ora(db::kRcUnimplemented, "unimplemented feature"));
  }
  std::string upper = UpperAscii(name);
  if (!plsql::HasHostVariable(deferred_sql_, upper)) {
    return Fail(Ora(1036, "illegal variable name/number"));
  }
  for (auto& [bound_name, bound] : binds_) {
    if (bound_name == upper) {
      bound = variable;
      return Succeed();
    }
  }
  binds_.emplace_back(std::move(upper), variable);
  return Succeed();
}

int EngineCursor::Execute() {
  if (connection_ == nullptr) return Fail(NotLoggedOn());
  if (connection_->lost()) return Fail(NotConnected());
  if (kind_ == ParsedKind::kNone) return Fail(NoStatementParsed());
  OraStatus status = ExecuteStatement();
  if (!status.has_value()) return Fail(status.error());
  return Succeed();
}

OraStatus EngineCursor::ExecuteStatement() {
  EngineConnection& connection = *connection_;
  rows_processed_ = 0;
  switch (kind_) {
    case ParsedKind::kNone:
      return OraErr(NoStatementParsed());
    case ParsedKind::kDone:
      return {};
    case ParsedKind::kDeferred: {
      std::string sql = deferred_sql_;
      if (function_type_ == db::kFunctionPlsql) return RunBlock(connection, sql, binds_);
      auto [word, second_word] = FirstTwoWords(sql);
      if (IsDdlVerb(word) && !(word == "ALTER" && second_word == "SESSION")) {
        return ExecuteDeferredDdl(connection, sql);
      }
      if (connection.functions_in_sql() > 0 &&
          (function_type_ == kFunctionCommit || function_type_ == kFunctionRollback)) {
        return OraErr(14552, "cannot perform a DDL, commit or rollback inside a query or DML");
      }
      VK_ASSIGN_OR_ORA_RETURN(std::uint16_t type, TransactionControl(connection, sql, true));
      (void)type;
      return {};
    }
    case ParsedKind::kQuery: {
      CloseQuery();
      connection.DetachQueries(this);
      // Blocks of sequence values taken by earlier statements reach the catalogue first, so
      // that USER_SEQUENCES shows them (not from inside a function the running statement
      // called: that statement writes them when it ends).
      if (connection.functions_in_sql() == 0) {
        VK_RETURN_IF_ORA_ERROR(connection.FlushSequences());
        connection.sequences().StartStatement();
      }
      for (const auto& [physical, name] : connection.mutating()) {
        if (translation_.sql.find(physical) != std::string::npos) {
          return OraErr(4091,
                        fmt::format("table {} is mutating, trigger/function may not see it", name));
        }
      }
      executed_ = true;
      stepping_ = true;
      VK_ASSIGN_OR_ORA_RETURN(bool row, StepQuery());
      first_row_ready_ = row;
      at_end_ = !row;
      return {};
    }
    case ParsedKind::kDml: {
      if (connection.functions_in_sql() > 0) {
        return OraErr(14551, "cannot perform a DML operation inside a query");
      }
      if (connection.read_only()) {
        return OraErr(1456,
                      "may not perform insert/delete/update operation inside a READ ONLY "
                      "transaction");
      }
      connection.DetachQueries(this);
      connection.MarkTransactionWrote();
      connection.sequences().StartStatement();
      if (!translation_.steps.empty()) return RunSteps();
      // The functions this statement calls may not read the table it writes (ORA-04091).
      struct Mutating {
        EngineConnection& connection;
        bool pushed = false;
        ~Mutating() {
          if (pushed) connection.mutating().pop_back();
        }
      } mutating{connection};
      if (translation_.sql.find("vk_call(") != std::string::npos) {
        VK_ASSIGN_OR_ORA_RETURN(
            std::optional<ObjectRef> target,
            connection.catalog().FindObject(translation_.target_owner, translation_.target_table));
        if (target.has_value()) {
          connection.mutating().emplace_back(
              PhysicalName(ObjectType::kTable, target->object_id),
              translation_.target_owner + "." + translation_.target_table);
          mutating.pushed = true;
        }
      }
      sqlite3_stmt* stmt = stmt_.get();
      sqlite3_reset(stmt);
      int rc = sqlite3_step(stmt);
      if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        OraError error = ErrorFromSqlite(connection.db(), rc);
        sqlite3_reset(stmt);
        return OraErr(connection.MapWriteError(error, function_type_ == db::kFunctionUpdate));
      }
      sqlite3_reset(stmt);
      rows_processed_ = static_cast<std::uint64_t>(sqlite3_changes64(connection.db()));
      return connection.FlushSequences();
    }
  }
  return {};
}

OraStatus EngineCursor::RunSteps() {
  EngineConnection& connection = *connection_;
  sqlite3* db = connection.db();
  constexpr std::string_view kStatementSavepoint = "SAVEPOINT \"__vk_statement\"";
  VK_RETURN_IF_ORA_ERROR(ExecSql(db, kStatementSavepoint));
  std::uint64_t rows = 0;
  OraStatus status;
  for (const Translation::Step& step : translation_.steps) {
    auto prepared = SqliteStatement::Prepare(db, step.sql);
    if (!prepared.has_value()) {
      status = OraErr(std::move(prepared.error()));
      break;
    }
    sqlite3_stmt* stmt = prepared->get();
    BindParameters(stmt, translation_.parameters);
    int rc = SQLITE_ROW;
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
    if (rc != SQLITE_DONE) {
      status = OraErr(connection.MapWriteError(ErrorFromSqlite(db, rc),
                                               std::string_view(step.sql).starts_with("UPDATE")));
      break;
    }
    if (step.counts) rows += static_cast<std::uint64_t>(sqlite3_changes64(db));
  }
  if (!status.has_value()) {
    // The statement is undone as a whole, its temporary tables with it.
    (void)ExecSql(db, "ROLLBACK TO \"__vk_statement\"");
    (void)ExecSql(db, "RELEASE \"__vk_statement\"");
    return status;
  }
  VK_RETURN_IF_ORA_ERROR(ExecSql(db, "RELEASE \"__vk_statement\""));
  rows_processed_ = rows;
  return connection.FlushSequences();
}

OraResult<bool> EngineCursor::StepQuery() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  stepping_ = false;
  if (rc == SQLITE_DONE) {
    sqlite3_reset(stmt_.get());
    return false;
  }
  OraError error = ErrorFromSqlite(connection_->db(), rc);
  sqlite3_reset(stmt_.get());
  return OraErr(std::move(error));
}

void EngineCursor::Detach() {
  if (!stepping_ || detached_) return;
  sqlite3_stmt* stmt = stmt_.get();
  int count = sqlite3_column_count(stmt);
  buffer_columns_ = static_cast<std::size_t>(count);
  bool have_row = first_row_ready_;
  while (true) {
    if (!have_row) {
      int rc = sqlite3_step(stmt);
      if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) detach_error_ = ErrorFromSqlite(connection_->db(), rc);
        break;
      }
    }
    have_row = false;
    const std::size_t first = buffer_.size();
    buffer_.resize(first + static_cast<std::size_t>(count));
    for (int column = 0; column < count; ++column) {
      RawValue& value = buffer_[first + static_cast<std::size_t>(column)];
      // One lookup of the column's value, then reads of it (as DeliverRow reads a row).
      sqlite3_value* cell = sqlite3_column_value(stmt, column);
      value.type = sqlite3_value_type(cell);
      if (value.type == SQLITE_INTEGER) {
        value.integer = sqlite3_value_int64(cell);
      } else if (value.type == SQLITE_FLOAT) {
        value.real = sqlite3_value_double(cell);
      } else if (value.type != SQLITE_NULL) {
        const unsigned char* text = sqlite3_value_text(cell);
        value.text.assign(reinterpret_cast<const char*>(text),
                          static_cast<std::size_t>(sqlite3_value_bytes(cell)));
        value.type = SQLITE_TEXT;
      }
    }
  }
  sqlite3_reset(stmt);
  stepping_ = false;
  first_row_ready_ = false;
  detached_ = true;
  buffer_next_ = 0;
}

int EngineCursor::Describe(int position, db::ColumnDescription* out) {
  if (connection_ == nullptr) return Fail(NotLoggedOn());
  if (connection_->lost()) return Fail(NotConnected());
  if (kind_ == ParsedKind::kNone) return Fail(NoStatementParsed());
  if (kind_ != ParsedKind::kQuery || position < 1 ||
      static_cast<std::size_t>(position) > translation_.columns.size()) {
    return Fail(Ora(1007, "variable not in select list"));
  }
  *out = translation_.columns[static_cast<std::size_t>(position - 1)];
  return Succeed();
}

int EngineCursor::Define(int position, db::ExternalType type) {
  if (connection_ == nullptr) return Fail(NotLoggedOn());
  if (connection_->lost()) return Fail(NotConnected());
  if (kind_ == ParsedKind::kNone) return Fail(NoStatementParsed());
  if (kind_ != ParsedKind::kQuery || position < 1 ||
      static_cast<std::size_t>(position) > translation_.columns.size()) {
    return Fail(Ora(1007, "variable not in select list"));
  }
  std::size_t index = static_cast<std::size_t>(position - 1);
  defines_[index] = type;
  defined_[index] = true;
  return Succeed();
}

}  // namespace volmek::engine
