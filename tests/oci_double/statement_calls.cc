// Preparing, executing and describing statements in the double.
//
// A statement handle carries an engine cursor of its session. The server's work maps onto the
// cursor so:
//   - OCIStmtPrepare2 is a local call: it keeps the text and finds the statement type from the
//     first keyword, without asking the database (Guide: OCI_ATTR_STMT_TYPE is available after
//     prepare);
//   - the first OCIStmtExecute parses (the engine's Parse, which like Oracle's server runs DDL
//     as it parses it), whatever the mode; OCI_PARSE_ONLY stops there, OCI_DESCRIBE_ONLY
//     stops after describing a query's select list, the default mode executes;
//   - a later OCIStmtExecute executes again without parsing again.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "oci_double/handles.h"

namespace volmek::ocidouble {
namespace {

// The statement types the Guide lists for OCI_ATTR_STMT_TYPE, by first keyword. A leading
// parenthesis is looked through: "(select ...)" is a query.
ub2 StatementType(std::string_view sql) {
  std::size_t pos = 0;
  while (pos < sql.size()) {
    char c = sql[pos];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '(') {
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
  std::string word;
  while (pos < sql.size() &&
         ((sql[pos] >= 'a' && sql[pos] <= 'z') || (sql[pos] >= 'A' && sql[pos] <= 'Z'))) {
    char c = sql[pos++];
    word.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  struct Keyword {
    std::string_view word;
    ub2 type;
  };
  static constexpr Keyword kKeywords[] = {
      {"SELECT", OCI_STMT_SELECT},     {"WITH", OCI_STMT_SELECT},   {"UPDATE", OCI_STMT_UPDATE},
      {"DELETE", OCI_STMT_DELETE},     {"INSERT", OCI_STMT_INSERT}, {"CREATE", OCI_STMT_CREATE},
      {"DROP", OCI_STMT_DROP},         {"ALTER", OCI_STMT_ALTER},   {"BEGIN", OCI_STMT_BEGIN},
      {"DECLARE", OCI_STMT_DECLARE},   {"CALL", OCI_STMT_CALL},     {"MERGE", OCI_STMT_MERGE},
      {"ROLLBACK", OCI_STMT_ROLLBACK}, {"COMMIT", OCI_STMT_COMMIT},
  };
  for (const Keyword& keyword : kKeywords) {
    if (keyword.word == word) return keyword.type;
  }
  return OCI_STMT_UNKNOWN;
}

sword CursorError(OCIStmt* stmt, OCIError* err) {
  SetOraText(err, stmt->cursor->rc(), stmt->cursor->ErrorText());
  return OCI_ERROR;
}

// Reads the select list of the parsed query into stmt->columns.
sword Describe(OCIStmt* stmt, OCIError* err) {
  stmt->columns.clear();
  for (int position = 1;; ++position) {
    db::ColumnDescription column;
    int rc = stmt->cursor->Describe(position, &column);
    if (rc == db::kRcNotInSelectList) break;
    if (rc != 0) return CursorError(stmt, err);
    stmt->columns.push_back(std::move(column));
  }
  stmt->described = true;
  return OCI_SUCCESS;
}

sword Parse(OCIStmt* stmt, OCIError* err) {
  stmt->parsed = false;
  stmt->described = false;
  stmt->executed = false;
  stmt->at_end = false;
  stmt->columns.clear();
  if (stmt->cursor->Parse(stmt->text) != 0) return CursorError(stmt, err);
  stmt->parsed = true;
  return OCI_SUCCESS;
}

// The caller's buffers of the host variables into the engine cursor's binds, before a run.
sword BindIn(OCIStmt* stmt, OCIError* err) {
  for (auto& [name, bind] : stmt->binds) {
    db::BindVariable& variable = bind->variable;
    bool terminated = bind->dty == SQLT_STR;
    std::size_t room = static_cast<std::size_t>(std::max<sb4>(bind->value_size, 0));
    if (terminated && room > 0) --room;
    const char* bytes = static_cast<const char*>(bind->value);
    std::size_t size = terminated                ? strnlen(bytes, room)
                       : bind->length != nullptr ? std::min<std::size_t>(*bind->length, room)
                                                 : room;
    variable.is_null = (bind->indicator != nullptr && *bind->indicator == -1) || size == 0;
    variable.text = variable.is_null ? std::string() : FromClient(stmt->env, {bytes, size});
    variable.max_size = room;
    if (stmt->cursor->BindByName(name, &variable) != 0) return CursorError(stmt, err);
  }
  return OCI_SUCCESS;
}

// What the block left in the host variables, back into the caller's buffers.
sword BindOut(OCIStmt* stmt, OCIError* err) {
  sword result = OCI_SUCCESS;
  for (auto& [name, bind] : stmt->binds) {
    const db::BindVariable& variable = bind->variable;
    if (bind->return_code != nullptr) *bind->return_code = 0;
    if (variable.is_null) {
      if (bind->indicator != nullptr) *bind->indicator = -1;
      if (bind->length != nullptr) *bind->length = 0;
      continue;
    }
    std::string text = ToClient(stmt->env, variable.text);
    bool terminated = bind->dty == SQLT_STR;
    std::size_t room = static_cast<std::size_t>(std::max<sb4>(bind->value_size, 0));
    if (terminated && room > 0) --room;
    std::size_t copied = std::min(room, text.size());
    std::memcpy(bind->value, text.data(), copied);
    if (terminated) static_cast<char*>(bind->value)[copied] = 0;
    if (bind->length != nullptr) *bind->length = static_cast<ub2>(copied);
    if (bind->indicator != nullptr) *bind->indicator = 0;
    if (copied < text.size()) {
      if (bind->indicator != nullptr)
        *bind->indicator = static_cast<sb2>(std::min<std::size_t>(text.size(), 32767));
      if (bind->return_code != nullptr) *bind->return_code = 1406;
      SetError(err, 24345, "A Truncation or null fetch error occurred");
      result = OCI_SUCCESS_WITH_INFO;
    }
  }
  return result;
}

sword Execute(OCIStmt* stmt, OCIError* err, ub4 iters, ub4 mode) {
  bool query = stmt->stmt_type == OCI_STMT_SELECT;
  if (mode & OCI_PARSE_ONLY) return Parse(stmt, err);
  if ((mode & OCI_DESCRIBE_ONLY) || !stmt->parsed) {
    if (sword rc = Parse(stmt, err); rc != OCI_SUCCESS) return rc;
  }
  if (mode & OCI_DESCRIBE_ONLY) return query ? Describe(stmt, err) : OCI_SUCCESS;
  // Guide, OCIStmtExecute: "for non-SELECT statements, the number of times this statement is
  // executed is equal to iters - rowoff"; iters 0 is an error for them.
  if (!query && iters == 0) {
    SetError(err, 24333, "zero iteration count");
    return OCI_ERROR;
  }
  stmt->executed = false;
  stmt->at_end = false;
  stmt->row_count = 0;
  stmt->rows_fetched = 0;
  ub4 runs = query ? 1 : iters;
  if (sword rc = BindIn(stmt, err); rc != OCI_SUCCESS) return rc;
  for (ub4 run = 0; run < runs; ++run) {
    if (stmt->cursor->Execute() != 0) return CursorError(stmt, err);
    stmt->row_count += stmt->cursor->rows_processed();
  }
  stmt->sqlfncode = stmt->cursor->function_type();
  if (!query) return stmt->binds.empty() ? OCI_SUCCESS : BindOut(stmt, err);
  if (!stmt->described) {
    if (sword rc = Describe(stmt, err); rc != OCI_SUCCESS) return rc;
  }
  stmt->executed = true;
  // For a query, iters > 0 fetches that many rows at once into the defines.
  return iters > 0 ? FetchRows(stmt, err, iters) : OCI_SUCCESS;
}

}  // namespace
}  // namespace volmek::ocidouble

using namespace volmek::ocidouble;

// The handle is allocated by the call (Guide: OCIStmtPrepare2 "allocates the statement
// handle"); the key of the statement cache is ignored, the double caches nothing. A text of
// length 0 is ORA-24373, as is a length beyond any statement's (a -1 passed as ub4).
VOLMEK_OCI_EXPORT sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmthp, OCIError* errhp,
                                        const OraText* stmttext, ub4 stmt_len,
                                        const OraText* /*key*/, ub4 /*keylen*/, ub4 /*language*/,
                                        ub4 /*mode*/) {
  constexpr ub4 kLongestStatement = 64 * 1024 * 1024;
  OCISvcCtx* svc = As<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (svc == nullptr || err == nullptr || stmthp == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (stmttext == nullptr || stmt_len == 0 || stmt_len > kLongestStatement) {
    SetError(err, 24373, "invalid length specified for statement");
    return OCI_ERROR;
  }
  auto stmt = std::make_unique<OCIStmt>(svc->env);
  stmt->svc = svc;
  stmt->text =
      FromClient(svc->env, std::string_view(reinterpret_cast<const char*>(stmttext), stmt_len));
  stmt->stmt_type = StatementType(stmt->text);
  int rc = 0;
  stmt->cursor = svc->connection->OpenCursor(&rc);
  if (stmt->cursor == nullptr) {
    SetError(err, rc, "not logged on");
    return OCI_ERROR;
  }
  *stmthp = stmt.get();
  svc->env->children.push_back(std::move(stmt));
  return OCI_SUCCESS;
}

// Releases a statement of OCIStmtPrepare2 (its defines and parameter descriptors with it).
VOLMEK_OCI_EXPORT sword OCIStmtRelease(OCIStmt* stmthp, OCIError* errhp, const OraText* /*key*/,
                                       ub4 /*keylen*/, ub4 /*mode*/) {
  OCIStmt* stmt = As<OCIStmt>(stmthp, OCI_HTYPE_STMT);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (stmt == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  return OCIHandleFree(stmt, OCI_HTYPE_STMT);
}

// Modes: OCI_DEFAULT executes, OCI_DESCRIBE_ONLY describes a query without executing it (a
// fetch afterwards is ORA-24338), OCI_PARSE_ONLY only parses, OCI_COMMIT_ON_SUCCESS commits
// after a successful execution. Snapshots and rowoff (array binds) are not used by the double.
VOLMEK_OCI_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters,
                                       ub4 /*rowoff*/, const OCISnapshot* /*snap_in*/,
                                       OCISnapshot* /*snap_out*/, ub4 mode) {
  OCISvcCtx* svc = As<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  OCIStmt* stmt = As<OCIStmt>(stmtp, OCI_HTYPE_STMT);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (svc == nullptr || stmt == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (stmt->cursor == nullptr) {
    // Allocated with OCIHandleAlloc and never prepared.
    SetError(err, 24337, "statement handle not prepared");
    return OCI_ERROR;
  }
  sword rc = Execute(stmt, err, iters, mode);
  bool plain = (mode & (OCI_PARSE_ONLY | OCI_DESCRIBE_ONLY)) == 0;
  if (plain && (mode & OCI_COMMIT_ON_SUCCESS) &&
      (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO)) {
    if (RunControl(svc, err, "commit") != OCI_SUCCESS) return OCI_ERROR;
  }
  return rc;
}

// A select-list item's parameter descriptor, from 1. Before the statement is described or
// executed there is none: ORA-24338; past the list: ORA-24334.
VOLMEK_OCI_EXPORT sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp,
                                    ub4 pos) {
  OCIStmt* stmt = As<OCIStmt>(hndlp, htype);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (stmt == nullptr || htype != OCI_HTYPE_STMT || err == nullptr || parmdpp == nullptr) {
    return OCI_INVALID_HANDLE;
  }
  err->records.clear();
  if (!stmt->described) {
    SetError(err, 24338, "statement handle not executed");
    return OCI_ERROR;
  }
  if (pos < 1 || pos > stmt->columns.size()) {
    SetError(err, 24334, "no descriptor for this position");
    return OCI_ERROR;
  }
  auto param = std::make_unique<OCIParam>(stmt, stmt->columns[pos - 1]);
  param->column.name = ToClient(stmt->env, param->column.name);
  *parmdpp = param.get();
  stmt->params.push_back(std::move(param));
  return OCI_SUCCESS;
}

// Binds a host variable by its placeholder (":name", any letter case) to the caller's buffer.
// Only texts are taken (SQLT_CHR with its length in *alenp, SQLT_STR ending in a NUL), one
// value each (no arrays): others are ORA-03001. A name the statement lacks is ORA-01036, at
// the execute that follows (the double parses there).
VOLMEK_OCI_EXPORT sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp,
                                      const OraText* placeholder, sb4 placeh_len, void* valuep,
                                      sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                                      ub4 maxarr_len, ub4* /*curelep*/, ub4 /*mode*/) {
  OCIStmt* stmt = As<OCIStmt>(stmtp, OCI_HTYPE_STMT);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (stmt == nullptr || err == nullptr || bindpp == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if ((dty != SQLT_CHR && dty != SQLT_STR) || maxarr_len != 0) {
    SetError(err, 3001, "unimplemented feature");
    return OCI_ERROR;
  }
  if (placeholder == nullptr || placeh_len < 2 || placeholder[0] != ':' || valuep == nullptr ||
      value_sz <= 0) {
    SetError(err, 1036, "illegal variable name/number");
    return OCI_ERROR;
  }
  std::string name(reinterpret_cast<const char*>(placeholder) + 1,
                   static_cast<std::size_t>(placeh_len - 1));
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  auto& slot = stmt->binds[name];
  if (slot == nullptr) slot = std::make_unique<OCIBind>();
  slot->name = name;
  slot->value = valuep;
  slot->value_size = value_sz;
  slot->dty = dty;
  slot->indicator = static_cast<sb2*>(indp);
  slot->length = alenp;
  slot->return_code = rcodep;
  *bindpp = slot.get();
  return OCI_SUCCESS;
}
