#include "db/oci/client.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "db/oci/cursor.h"
#include "db/oci/library.h"

namespace volmek::db::oci {

namespace {

// What a client reports when no Oracle can be reached; used when the library cannot be loaded.
constexpr int kRcNotAvailable = 1034;
constexpr int kRcNotLoggedOn = 1012;
// Refusals of the account itself: the logon line says all there is to say.
constexpr int kRcNullPassword = 1005;
// Oracle's id of the AL32UTF8 character set.
constexpr ub2 kAl32Utf8 = 873;

// The character set the environment is created with: 0 (NLS_LANG decides, as in every Oracle
// client) when NLS_LANG names one; AL32UTF8 when it does not, where Oracle's client would fall
// back to US7ASCII and turn every non-ASCII letter into "?" (volmek's rule for an unset
// NLS_LANG is UTF-8, for both backends).
ub2 ClientCharset() {
  const char* nls_lang = std::getenv("NLS_LANG");
  if (nls_lang == nullptr) return kAl32Utf8;
  std::string_view value(nls_lang);
  std::size_t dot = value.rfind('.');
  return dot == std::string_view::npos || dot + 1 == value.size() ? kAl32Utf8 : 0;
}

class OciConnection : public db::Connection {
 public:
  explicit OciConnection(std::unique_ptr<OciSession> session) : session_(std::move(session)) {}
  ~OciConnection() override {
    // Without LogOff the session ends as a process end would end it: nothing is committed.
    if (session_->logged_on) {
      ReleaseCursors();
      session_->api.trans_rollback(session_->service, session_->error, OCI_DEFAULT);
      session_->api.logoff(session_->service, session_->error);
      session_->logged_on = false;
    }
    FreeHandles(*session_);
  }
  OciConnection(const OciConnection&) = delete;
  OciConnection& operator=(const OciConnection&) = delete;

  std::unique_ptr<db::Cursor> OpenCursor(int* rc) override {
    if (!session_->logged_on) {
      *rc = kRcNotLoggedOn;
      return nullptr;
    }
    *rc = 0;
    return std::make_unique<OciCursor>(session_.get());
  }

  int LogOff() override {
    if (!session_->logged_on) return 0;
    ReleaseCursors();
    sword committed = session_->api.trans_commit(session_->service, session_->error, OCI_DEFAULT);
    OciErrorRecord failure;
    if (committed != OCI_SUCCESS && committed != OCI_SUCCESS_WITH_INFO) {
      failure = ReadError(session_->api, session_->error, OCI_HTYPE_ERROR);
      if (failure.code == 0) failure.code = 1;
      // What could not be committed is not kept.
      session_->api.trans_rollback(session_->service, session_->error, OCI_DEFAULT);
    }
    session_->api.logoff(session_->service, session_->error);
    session_->logged_on = false;
    error_text_ = failure.text;
    return failure.code;
  }
  std::string ErrorText() const override { return error_text_; }

  static void FreeHandles(OciSession& session) {
    // Freeing the environment frees every handle allocated under it as well.
    if (session.error != nullptr) session.api.handle_free(session.error, OCI_HTYPE_ERROR);
    if (session.env != nullptr) session.api.handle_free(session.env, OCI_HTYPE_ENV);
    session.error = nullptr;
    session.env = nullptr;
  }

 private:
  // Statements go before the session that they belong to.
  void ReleaseCursors() {
    std::vector<OciCursor*> cursors = std::move(session_->cursors);
    session_->cursors.clear();
    for (OciCursor* cursor : cursors) cursor->Orphan();
  }

  std::unique_ptr<OciSession> session_;
  std::string error_text_;  // of the last failed LogOff
};

const OraText* Text(std::string_view text) { return reinterpret_cast<const OraText*>(text.data()); }

}  // namespace

LogonResult Logon(std::string_view user, std::string_view password, std::string_view tns) {
  Result<ClientLibrary> library = LoadClientLibrary(CurrentSearchPlaces());
  if (!library.has_value()) {
    LogonResult result;
    result.rc = kRcNotAvailable;
    result.error_text = "ORA-01034: ORACLE not available";
    result.detail = library.error().message();
    return result;
  }
  return LogonWith(library->api, user, password, tns);
}

LogonResult LogonWith(const OciApi& api, std::string_view user, std::string_view password,
                      std::string_view tns) {
  LogonResult result;
  auto session = std::make_unique<OciSession>();
  session->api = api;
  ub2 charset = ClientCharset();
  sword status = api.env_nls_create(&session->env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr,
                                    0, nullptr, charset, charset);
  if (status != OCI_SUCCESS || session->env == nullptr) {
    OciErrorRecord record =
        session->env != nullptr
            ? ReadError(api, session->env, OCI_HTYPE_ENV)
            : OciErrorRecord{kRcNotAvailable, "ORA-01034: ORACLE not available"};
    OciConnection::FreeHandles(*session);
    result.rc = record.code;
    result.error_text = record.text;
    result.detail = record.text;
    return result;
  }
  void* error = nullptr;
  if (api.handle_alloc(session->env, &error, OCI_HTYPE_ERROR, 0, nullptr) != OCI_SUCCESS) {
    OciErrorRecord record = ReadError(api, session->env, OCI_HTYPE_ENV);
    OciConnection::FreeHandles(*session);
    result.rc = record.code;
    result.error_text = record.text;
    result.detail = record.text;
    return result;
  }
  session->error = static_cast<OCIError*>(error);
  status =
      api.logon2(session->env, session->error, &session->service, Text(user),
                 static_cast<ub4>(user.size()), Text(password), static_cast<ub4>(password.size()),
                 Text(tns), static_cast<ub4>(tns.size()), OCI_DEFAULT);
  if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
    OciErrorRecord record = ReadError(api, session->error, OCI_HTYPE_ERROR);
    OciConnection::FreeHandles(*session);
    result.rc = record.code;
    result.error_text = record.text;
    if (record.code != kRcLogonDenied && record.code != kRcNullPassword) {
      result.detail = record.text;
    }
    return result;
  }
  session->logged_on = true;
  result.connection = std::make_unique<OciConnection>(std::move(session));
  return result;
}

}  // namespace volmek::db::oci
