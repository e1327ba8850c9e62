// Tests only: an in-process Oracle client behind an OciApi, scripted statement by statement,
// that answers as the OCI Programmer's Guide says the library does and logs every call, so
// that the backend's mapping rules can be checked one by one.
//
// Each statement text maps to a FakeStatement: its statement type, errors at prepare, parse
// (describe-only or parse-only execution) or execution, its select list and rows (values as
// text; NULL as nullopt), and the row count of DML. Numbers are delivered in the internal
// format when defined as SQLT_VNU. A value longer than a static define is cut, its indicator
// set to the full length and its return code to 1406 (OCI_SUCCESS_WITH_INFO, ORA-24345). Long
// values defined with OCI_DYNAMIC_FETCH are handed over through the define callback, piece by
// piece.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/oci/number.h"
#include "db/oci/oci_api.h"

namespace volmek::db::oci::testing {

struct FakeColumn {
  std::string name;
  ub2 type = SQLT_CHR;
  ub2 size = 0;
  sb2 precision = 0;
  sb1 scale = 0;
  ub1 nullable = 1;
};

struct FakeError {
  int code = 0;
  std::string text;  // as OCIErrorGet gives it, line ends included
};

struct FakeStatement {
  ub2 stmt_type = OCI_STMT_UNKNOWN;
  FakeError parse_error;    // at describe-only or parse-only execution
  FakeError execute_error;  // at the real execution
  std::vector<FakeColumn> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
  ub8 row_count = 0;
  // What a block leaves in its host variables, by placeholder (":LINE"); NULL as nullopt.
  std::map<std::string, std::optional<std::string>> out_binds;
};

class FakeOci {
 public:
  // The newest fake answers; the one before it answers again once this one is gone.
  FakeOci() : previous_(current()) { current() = this; }
  ~FakeOci() { current() = previous_; }
  FakeOci(const FakeOci&) = delete;
  FakeOci& operator=(const FakeOci&) = delete;

  std::map<std::string, FakeStatement> statements;
  FakeError logon_error;
  FakeError commit_error;          // what OCITransCommit fails with, when it has a code
  std::vector<std::string> calls;  // "logon SCOTT tiger //h/s", "execute SQL iters=0 mode=16"...
  int live_statements = 0;
  int live_params = 0;
  ub4 piece_size = 1000;  // the library's piece size for dynamic defines

  OciApi Api() const {
    OciApi api;
    api.env_nls_create = &EnvNlsCreate;
    api.handle_alloc = &HandleAlloc;
    api.handle_free = &HandleFree;
    api.descriptor_free = &DescriptorFree;
    api.logon2 = &Logon2;
    api.logoff = &Logoff;
    api.stmt_prepare2 = &Prepare2;
    api.stmt_release = &Release;
    api.stmt_execute = &Execute;
    api.stmt_fetch2 = &Fetch2;
    api.param_get = &ParamGet;
    api.attr_get = &AttrGet;
    api.attr_set = [](void*, ub4, void*, ub4, ub4, OCIError*) { return OCI_SUCCESS; };
    api.define_by_pos = &DefineByPos;
    api.define_dynamic = &DefineDynamic;
    api.bind_by_name = &BindByName;
    api.error_get = &ErrorGet;
    api.trans_commit = [](OCISvcCtx*, OCIError*, ub4) {
      current()->calls.push_back("commit");
      if (current()->commit_error.code != 0) return Raise(current()->commit_error);
      return OCI_SUCCESS;
    };
    api.trans_rollback = [](OCISvcCtx*, OCIError*, ub4) {
      current()->calls.push_back("rollback");
      return OCI_SUCCESS;
    };
    api.client_version = [](sword* major, sword* minor, sword*, sword*, sword*) {
      *major = 23;
      *minor = 1;
    };
    return api;
  }

 private:
  struct Define {
    char* buffer = nullptr;
    sb4 size = 0;
    ub2 dty = 0;
    sb2* indicator = nullptr;
    ub2* length = nullptr;
    ub2* rcode = nullptr;
    bool dynamic = false;
    void* context = nullptr;
    OCICallbackDefine callback = nullptr;
  };
  struct Bind {
    char* buffer = nullptr;
    sb4 size = 0;
    sb2* indicator = nullptr;
    ub2* length = nullptr;
    ub2* rcode = nullptr;
  };
  struct Stmt {
    std::map<std::string, Bind> binds;
    std::string sql;
    FakeStatement* script = nullptr;
    std::size_t next_row = 0;
    bool executed = false;
    std::map<ub4, std::unique_ptr<Define>> defines;
  };
  struct Param {
    const FakeColumn* column = nullptr;
  };

  static FakeOci*& current() {
    static FakeOci* fake = nullptr;
    return fake;
  }
  static int& handle_dummy() {
    static int dummy = 0;
    return dummy;
  }
  FakeOci* previous_;
  FakeError last_error_;
  std::map<void*, std::unique_ptr<Stmt>> stmts_;
  std::map<void*, std::unique_ptr<Param>> params_;

  static sword Raise(const FakeError& error) {
    current()->last_error_ = error;
    return OCI_ERROR;
  }

  static sword EnvNlsCreate(OCIEnv** env, ub4, void*, void* (*)(void*, std::size_t),
                            void* (*)(void*, void*, std::size_t), void (*)(void*, void*),
                            std::size_t, void**, ub2 charset, ub2 ncharset) {
    current()->calls.push_back("env charset=" + std::to_string(charset) + "/" +
                               std::to_string(ncharset));
    *env = reinterpret_cast<OCIEnv*>(&handle_dummy());
    return OCI_SUCCESS;
  }
  static sword HandleAlloc(const void*, void** handle, ub4 type, std::size_t, void**) {
    current()->calls.push_back("alloc " + std::to_string(type));
    *handle = &handle_dummy();
    return OCI_SUCCESS;
  }
  static sword HandleFree(void*, ub4 type) {
    current()->calls.push_back("free " + std::to_string(type));
    return OCI_SUCCESS;
  }
  static sword DescriptorFree(void* param, ub4) {
    current()->live_params--;
    current()->params_.erase(param);
    return OCI_SUCCESS;
  }
  static sword Logon2(OCIEnv*, OCIError*, OCISvcCtx** service, const OraText* user, ub4 user_len,
                      const OraText* password, ub4 password_len, const OraText* db, ub4 db_len,
                      ub4) {
    auto text = [](const OraText* p, ub4 n) {
      return std::string(reinterpret_cast<const char*>(p), n);
    };
    current()->calls.push_back("logon " + text(user, user_len) + " " +
                               text(password, password_len) + " " + text(db, db_len));
    if (current()->logon_error.code != 0) return Raise(current()->logon_error);
    *service = reinterpret_cast<OCISvcCtx*>(&handle_dummy());
    return OCI_SUCCESS;
  }
  static sword Logoff(OCISvcCtx*, OCIError*) {
    current()->calls.push_back("logoff");
    return OCI_SUCCESS;
  }
  static sword Prepare2(OCISvcCtx*, OCIStmt** stmt, OCIError*, const OraText* text, ub4 length,
                        const OraText*, ub4, ub4, ub4) {
    FakeOci& fake = *current();
    auto handle = std::make_unique<Stmt>();
    handle->sql.assign(reinterpret_cast<const char*>(text), length);
    auto found = fake.statements.find(handle->sql);
    if (found == fake.statements.end()) {
      // Unknown text: Oracle's answer to a statement it cannot parse, at parse time.
      auto [it, ok] = fake.statements.emplace(handle->sql, FakeStatement());
      it->second.parse_error = {900, "ORA-00900: invalid SQL statement\n"};
      found = it;
    }
    handle->script = &found->second;
    fake.calls.push_back("prepare " + handle->sql);
    *stmt = reinterpret_cast<OCIStmt*>(handle.get());
    fake.stmts_[handle.get()] = std::move(handle);
    fake.live_statements++;
    return OCI_SUCCESS;
  }
  static Stmt& StmtOf(const void* handle) {
    return *current()->stmts_.at(const_cast<void*>(handle));
  }
  static sword Release(OCIStmt* stmt, OCIError*, const OraText*, ub4, ub4) {
    FakeOci& fake = *current();
    fake.calls.push_back("release " + StmtOf(stmt).sql);
    fake.stmts_.erase(stmt);
    fake.live_statements--;
    return OCI_SUCCESS;
  }
  static sword Execute(OCISvcCtx*, OCIStmt* handle, OCIError*, ub4 iters, ub4, const OCISnapshot*,
                       OCISnapshot*, ub4 mode) {
    Stmt& stmt = StmtOf(handle);
    current()->calls.push_back("execute " + stmt.sql + " iters=" + std::to_string(iters) +
                               " mode=" + std::to_string(mode));
    if (stmt.script->parse_error.code != 0) return Raise(stmt.script->parse_error);
    if (mode == OCI_DESCRIBE_ONLY || mode == OCI_PARSE_ONLY) return OCI_SUCCESS;
    if (stmt.script->execute_error.code != 0) return Raise(stmt.script->execute_error);
    for (auto& [name, bind] : stmt.binds) {
      auto out = stmt.script->out_binds.find(name);
      if (out == stmt.script->out_binds.end()) continue;
      if (!out->second) {
        *bind.indicator = -1;
        continue;
      }
      std::size_t copied =
          std::min<std::size_t>(static_cast<std::size_t>(bind.size), out->second->size());
      std::memcpy(bind.buffer, out->second->data(), copied);
      *bind.indicator = 0;
      *bind.length = static_cast<ub2>(copied);
      *bind.rcode = copied < out->second->size() ? 1406 : 0;
    }
    stmt.executed = true;
    stmt.next_row = 0;
    return OCI_SUCCESS;
  }
  static sword BindByName(OCIStmt* handle, OCIBind** bind, OCIError*, const OraText* placeholder,
                          sb4 placeholder_length, void* buffer, sb4 size, ub2 dty, void* indicator,
                          ub2* length, ub2* rcode, ub4, ub4*, ub4) {
    Stmt& stmt = StmtOf(handle);
    std::string name(reinterpret_cast<const char*>(placeholder),
                     static_cast<std::size_t>(placeholder_length));
    sb2 in_indicator = *static_cast<sb2*>(indicator);
    current()->calls.push_back(
        "bind " + name + " dty=" + std::to_string(dty) + " size=" + std::to_string(size) + " in=" +
        (in_indicator == -1 ? std::string("NULL")
                            : std::string(static_cast<const char*>(buffer), *length)));
    stmt.binds[name] =
        Bind{static_cast<char*>(buffer), size, static_cast<sb2*>(indicator), length, rcode};
    *bind = reinterpret_cast<OCIBind*>(&stmt.binds[name]);
    return OCI_SUCCESS;
  }
  static sword ParamGet(const void* handle, ub4, OCIError*, void** param, ub4 position) {
    Stmt& stmt = StmtOf(handle);
    if (position < 1 || position > stmt.script->columns.size()) {
      return Raise({24334, "ORA-24334: no descriptor for this position\n"});
    }
    auto made = std::make_unique<Param>();
    made->column = &stmt.script->columns[position - 1];
    *param = made.get();
    current()->params_[made.get()] = std::move(made);
    current()->live_params++;
    return OCI_SUCCESS;
  }
  template <typename T>
  static sword Put(void* out, ub4* size, T value) {
    std::memcpy(out, &value, sizeof value);
    if (size != nullptr) *size = sizeof value;
    return OCI_SUCCESS;
  }
  static sword AttrGet(const void* handle, ub4 type, void* out, ub4* size, ub4 attribute,
                       OCIError*) {
    if (type == OCI_HTYPE_STMT) {
      Stmt& stmt = StmtOf(handle);
      if (attribute == OCI_ATTR_STMT_TYPE) return Put<ub2>(out, size, stmt.script->stmt_type);
      if (attribute == OCI_ATTR_PARAM_COUNT) {
        return Put<ub4>(out, size, static_cast<ub4>(stmt.script->columns.size()));
      }
      if (attribute == OCI_ATTR_UB8_ROW_COUNT) return Put<ub8>(out, size, stmt.script->row_count);
      return Raise({24315, "ORA-24315: illegal attribute type\n"});
    }
    const FakeColumn& column = *current()->params_.at(const_cast<void*>(handle))->column;
    switch (attribute) {
      case OCI_ATTR_DATA_TYPE:
        return Put<ub2>(out, size, column.type);
      case OCI_ATTR_DATA_SIZE:
        return Put<ub2>(out, size, column.size);
      case OCI_ATTR_PRECISION:
        return Put<sb2>(out, size, column.precision);
      case OCI_ATTR_SCALE:
        return Put<sb1>(out, size, column.scale);
      case OCI_ATTR_IS_NULL:
        return Put<ub1>(out, size, column.nullable);
      case OCI_ATTR_NAME:
        *static_cast<const OraText**>(out) = reinterpret_cast<const OraText*>(column.name.data());
        *size = static_cast<ub4>(column.name.size());
        return OCI_SUCCESS;
      default:
        return Raise({24315, "ORA-24315: illegal attribute type\n"});
    }
  }
  static sword DefineByPos(OCIStmt* handle, OCIDefine** define, OCIError*, ub4 position,
                           void* buffer, sb4 size, ub2 dty, void* indicator, ub2* length,
                           ub2* rcode, ub4 mode) {
    Stmt& stmt = StmtOf(handle);
    auto made = std::make_unique<Define>();
    made->buffer = static_cast<char*>(buffer);
    made->size = size;
    made->dty = dty;
    made->indicator = static_cast<sb2*>(indicator);
    made->length = length;
    made->rcode = rcode;
    made->dynamic = mode == OCI_DYNAMIC_FETCH;
    *define = reinterpret_cast<OCIDefine*>(made.get());
    current()->calls.push_back("define " + std::to_string(position) +
                               " dty=" + std::to_string(dty) + " size=" + std::to_string(size) +
                               (made->dynamic ? " dynamic" : ""));
    stmt.defines[position] = std::move(made);
    return OCI_SUCCESS;
  }
  static sword DefineDynamic(OCIDefine* define, OCIError*, void* context,
                             OCICallbackDefine callback) {
    auto* made = reinterpret_cast<Define*>(define);
    made->context = context;
    made->callback = callback;
    return OCI_SUCCESS;
  }
  static sword Fetch2(OCIStmt* handle, OCIError*, ub4, ub2, sb4, ub4) {
    Stmt& stmt = StmtOf(handle);
    if (!stmt.executed) return Raise({1002, "ORA-01002: fetch out of sequence\n"});
    if (stmt.next_row >= stmt.script->rows.size()) return OCI_NO_DATA;
    const auto& row = stmt.script->rows[stmt.next_row++];
    sword result = OCI_SUCCESS;
    for (auto& [position, define] : stmt.defines) {
      const std::optional<std::string>& value = row[position - 1];
      if (define->dynamic) {
        DeliverPieces(*define, value);
        continue;
      }
      if (!value.has_value()) {
        *define->indicator = -1;
        continue;
      }
      *define->indicator = 0;
      *define->rcode = 0;
      if (define->dty == SQLT_VNU) {
        std::vector<std::uint8_t> vnu = *EncodeVnu(*value);
        std::memcpy(define->buffer, vnu.data(), vnu.size());
        *define->length = static_cast<ub2>(vnu.size());
        continue;
      }
      // SQLT_STR keeps a byte for its terminator; SQLT_CHR is counted by its length only.
      bool terminated = define->dty == SQLT_STR;
      std::size_t room = static_cast<std::size_t>(define->size) - (terminated ? 1 : 0);
      std::size_t copied = std::min(room, value->size());
      std::memcpy(define->buffer, value->data(), copied);
      if (terminated) define->buffer[copied] = 0;
      *define->length = static_cast<ub2>(copied);
      if (copied < value->size()) {
        *define->indicator = static_cast<sb2>(value->size());
        *define->rcode = 1406;
        current()->last_error_ = {24345, "ORA-24345: A Truncation or null fetch error occurred\n"};
        result = OCI_SUCCESS_WITH_INFO;
      }
    }
    return result;
  }
  static void DeliverPieces(Define& define, const std::optional<std::string>& value) {
    std::size_t done = 0;
    ub1 piece = OCI_FIRST_PIECE;
    do {
      void* buffer = nullptr;
      ub4* length = nullptr;
      void* indicator = nullptr;
      ub2* rcode = nullptr;
      define.callback(define.context, nullptr, 0, &buffer, &length, &piece, &indicator, &rcode);
      if (!value.has_value()) {
        *static_cast<sb2*>(indicator) = -1;
        *length = 0;
        return;
      }
      std::size_t step =
          std::min<std::size_t>({*length, current()->piece_size, value->size() - done});
      std::memcpy(buffer, value->data() + done, step);
      *length = static_cast<ub4>(step);
      *static_cast<sb2*>(indicator) = 0;
      done += step;
      piece = OCI_NEXT_PIECE;
    } while (done < value->size());
  }
  static sword ErrorGet(void*, ub4 record, OraText*, sb4* code, OraText* buffer, ub4 size, ub4) {
    const FakeError& error = current()->last_error_;
    if (record != 1 || error.code == 0) return OCI_NO_DATA;
    *code = error.code;
    std::size_t copied = std::min<std::size_t>(size - 1, error.text.size());
    std::memcpy(buffer, error.text.data(), copied);
    buffer[copied] = 0;
    return OCI_SUCCESS;
  }
};

}  // namespace volmek::db::oci::testing
