// The handles of the client-library double and who owns them.
//
// OCI hands its caller raw pointers and takes them back in OCIHandleFree; the double keeps
// ownership inside the handle tree instead, as the Programmer's Guide describes it ("freeing a
// parent handle frees its children"):
//   - an environment handle owns itself: OCIEnvNlsCreate releases it to the caller and
//     OCIHandleFree(env) takes it back, destroying everything allocated under it;
//   - the environment owns its error handles, its service contexts and its statements;
//   - a statement owns its parameter descriptors, its define handles and its bind handles.
// Every handle starts with a magic word and its type, so that a call given a null pointer or a
// handle of another type answers OCI_INVALID_HANDLE, as the Guide says every call does.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/charset.h"
#include "db/call.h"
#include "oci_double/oci_api.h"

namespace volmek::ocidouble {

inline constexpr ub4 kHandleMagic = 0x0C1D0B1E;

// Marks the definitions of the OCI functions: the only symbols the library exports.
#define VOLMEK_OCI_EXPORT __attribute__((visibility("default")))

struct Handle {
  explicit Handle(ub4 handle_type) : type(handle_type) {}
  virtual ~Handle() { magic = 0; }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  ub4 magic = kHandleMagic;
  ub4 type;
  std::vector<unsigned char> user_memory;  // the xtramem_sz bytes asked for at allocation
};

// One diagnostic record of an error handle: the Oracle error number and its "ORA-NNNNN: text".
struct ErrorRecord {
  sb4 code = 0;
  std::string text;
};

// Checks that `pointer` is a live handle of `type`.
Handle* CheckHandle(const void* pointer, ub4 type);
template <typename T>
T* As(const void* pointer, ub4 type) {
  return static_cast<T*>(CheckHandle(pointer, type));
}

}  // namespace volmek::ocidouble

struct OCIStmt;

struct OCIEnv : volmek::ocidouble::Handle {
  OCIEnv() : Handle(OCI_HTYPE_ENV) {}

  ub2 charset_id = 1;      // US7ASCII unless NLS_LANG or the caller names another
  ub2 ncharset_id = 2000;  // AL16UTF16
  sb4 max_bytes_per_char = 1;
  // The database keeps AL32UTF8; a client of another character set gets its texts converted
  // both ways, a character its set lacks becoming "?". Unset for a UTF-8 client.
  std::optional<volmek::TextConverter> to_client;
  std::optional<volmek::TextConverter> from_client;
  bool error_urls = true;  // append the "Help:" line of release 23 error messages
  std::vector<volmek::ocidouble::ErrorRecord> errors;  // errors of calls made on the env
  std::vector<std::unique_ptr<volmek::ocidouble::Handle>> children;
};

struct OCIError : volmek::ocidouble::Handle {
  explicit OCIError(OCIEnv* owner) : Handle(OCI_HTYPE_ERROR), env(owner) {}

  OCIEnv* env;
  std::vector<volmek::ocidouble::ErrorRecord> records;  // texts in the database's UTF-8
};

struct OCISvcCtx : volmek::ocidouble::Handle {
  explicit OCISvcCtx(OCIEnv* owner) : Handle(OCI_HTYPE_SVCCTX), env(owner) {}

  OCIEnv* env;
  std::unique_ptr<volmek::db::Connection> connection;  // null once logged off
  std::unique_ptr<volmek::db::Cursor> control;         // runs COMMIT and ROLLBACK
};

struct OCIParam : volmek::ocidouble::Handle {
  OCIParam(OCIStmt* statement, const volmek::db::ColumnDescription& described)
      : Handle(OCI_DTYPE_PARAM), owner(statement), column(described) {}

  OCIStmt* owner;
  volmek::db::ColumnDescription column;
};

struct OCIDefine : volmek::ocidouble::Handle {
  OCIDefine() : Handle(OCI_HTYPE_DEFINE) {}

  ub4 position = 0;
  void* value = nullptr;
  sb4 value_size = 0;
  ub2 dty = 0;
  sb2* indicator = nullptr;
  ub2* return_length = nullptr;
  ub2* return_code = nullptr;
  bool dynamic = false;  // OCI_DYNAMIC_FETCH: values arrive through `callback`
  void* callback_context = nullptr;
  OCICallbackDefine callback = nullptr;
};

// A host variable bound by name: the caller's buffer, and the text form the engine's cursor is
// bound to at each execute.
struct OCIBind : volmek::ocidouble::Handle {
  OCIBind() : Handle(OCI_HTYPE_BIND) {}

  std::string name;  // upper case, without its ':'
  void* value = nullptr;
  sb4 value_size = 0;
  ub2 dty = 0;
  sb2* indicator = nullptr;
  ub2* length = nullptr;
  ub2* return_code = nullptr;
  volmek::db::BindVariable variable;
};

struct OCIStmt : volmek::ocidouble::Handle {
  explicit OCIStmt(OCIEnv* owner) : Handle(OCI_HTYPE_STMT), env(owner) {}

  OCIEnv* env;
  OCISvcCtx* svc = nullptr;  // the service context that prepared it
  std::string text;
  ub2 stmt_type = OCI_STMT_UNKNOWN;
  std::unique_ptr<volmek::db::Cursor> cursor;

  bool parsed = false;     // the cursor holds `text` parsed
  bool described = false;  // `columns` holds the select list
  bool executed = false;   // a query is open for fetching
  bool at_end = false;     // the last fetch reported OCI_NO_DATA
  std::vector<volmek::db::ColumnDescription> columns;
  ub8 row_count = 0;
  ub4 rows_fetched = 0;
  ub2 sqlfncode = 0;

  std::vector<std::unique_ptr<OCIParam>> params;
  std::map<ub4, std::unique_ptr<OCIDefine>> defines;      // by position
  std::map<std::string, std::unique_ptr<OCIBind>> binds;  // by name
};

namespace volmek::ocidouble {

// Runs COMMIT or ROLLBACK on the session's own cursor; errors go to `err`.
sword RunControl(OCISvcCtx* svc, OCIError* err, std::string_view sql);
// Fetches up to `nrows` rows of the open query of `stmt` into its defines (OCIStmtFetch2 and
// OCIStmtExecute with iters > 0).
sword FetchRows(OCIStmt* stmt, OCIError* err, ub4 nrows);

// Database text (UTF-8) in the client character set of `env`, and back.
std::string ToClient(const OCIEnv* env, std::string_view text);
std::string FromClient(const OCIEnv* env, std::string_view text);

// Replaces the records of `err` by one error.
void SetError(OCIError* err, sb4 code, const std::string& text);
// The same for an engine message already in "ORA-NNNNN: text" form.
void SetOraText(OCIError* err, sb4 code, std::string_view ora_text);
// Builds "ORA-NNNNN: text".
std::string FormatOra(sb4 code, std::string_view text);

}  // namespace volmek::ocidouble
