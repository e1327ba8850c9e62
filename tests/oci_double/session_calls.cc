// Logon, logoff and transactions of the double.
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "oci_double/connect_string.h"
#include "oci_double/handles.h"

namespace volmek::ocidouble {
namespace {

std::string_view Text(const OraText* text, ub4 length) {
  if (text == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(text), length);
}

}  // namespace

sword RunControl(OCISvcCtx* svc, OCIError* err, std::string_view sql) {
  db::Cursor& cursor = *svc->control;
  if (cursor.Parse(sql) != 0 || cursor.Execute() != 0) {
    SetOraText(err, cursor.rc(), cursor.ErrorText());
    return OCI_ERROR;
  }
  return OCI_SUCCESS;
}

}  // namespace volmek::ocidouble

using namespace volmek::ocidouble;

// OCILogon2 allocates the service context itself (Guide: "svchp: the service context pointer,
// allocated by the call"). A refused logon leaves ORA-01017 (wrong user or password) or the
// connect-string errors above on the error handle and no service context.
VOLMEK_OCI_EXPORT sword OCILogon2(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp,
                                  const OraText* username, ub4 uname_len, const OraText* password,
                                  ub4 passwd_len, const OraText* dbname, ub4 dbname_len,
                                  ub4 /*mode*/) {
  OCIEnv* env = As<OCIEnv>(envhp, OCI_HTYPE_ENV);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (env == nullptr || err == nullptr || svchp == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  ConnectTarget target = ParseConnectString(Text(dbname, dbname_len));
  if (target.error_code != 0) {
    SetError(err, target.error_code, target.error_text);
    return OCI_ERROR;
  }
  volmek::db::LogonResult logon =
      volmek::engine::Logon(target.path, FromClient(env, Text(username, uname_len)),
                            FromClient(env, Text(password, passwd_len)));
  if (logon.rc != 0 || logon.connection == nullptr) {
    SetOraText(err, logon.rc, logon.error_text);
    return OCI_ERROR;
  }
  auto svc = std::make_unique<OCISvcCtx>(env);
  int rc = 0;
  svc->control = logon.connection->OpenCursor(&rc);
  if (svc->control == nullptr) {
    SetError(err, rc, "maximum open cursors exceeded");
    return OCI_ERROR;
  }
  svc->connection = std::move(logon.connection);
  *svchp = svc.get();
  env->children.push_back(std::move(svc));
  return OCI_SUCCESS;
}

// OCILogoff ends the session and frees the service context. The double rolls back what is
// still uncommitted: the Guide leaves the fate of an open transaction at disconnect to the
// application, so a caller that wants its changes kept commits first (OCITransCommit).
// Statements prepared on the session stay allocated; using them answers ORA-01012.
VOLMEK_OCI_EXPORT sword OCILogoff(OCISvcCtx* svchp, OCIError* errhp) {
  OCISvcCtx* svc = As<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  (void)RunControl(svc, err, "rollback");
  err->records.clear();
  OCIEnv* env = svc->env;
  std::erase_if(env->children,
                [svc](const std::unique_ptr<Handle>& child) { return child.get() == svc; });
  return OCI_SUCCESS;
}

// Both end the transaction of the service context; flags other than OCI_DEFAULT concern
// distributed transactions and are ignored.
VOLMEK_OCI_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 /*flags*/) {
  OCISvcCtx* svc = As<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  return RunControl(svc, err, "commit");
}

VOLMEK_OCI_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 /*flags*/) {
  OCISvcCtx* svc = As<OCISvcCtx>(svchp, OCI_HTYPE_SVCCTX);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (svc == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  return RunControl(svc, err, "rollback");
}
