// The environment, handle, error and version calls of the double.
#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "oci_double/handles.h"

namespace volmek::ocidouble {
namespace {

// Release reported by OCIClientVersion. VOLMEK_OCI_DOUBLE_VERSION (a major number) lets tests
// of the backend play an older client.
constexpr sword kMajorVersion = 23;
constexpr sword kMinorVersion = 5;

sword MajorVersion() {
  const char* forced = std::getenv("VOLMEK_OCI_DOUBLE_VERSION");
  if (forced != nullptr && *forced != '\0') return std::atoi(forced);
  return kMajorVersion;
}

struct Charset {
  std::string_view name;
  ub2 id;
  sb4 max_bytes;
  std::string_view iconv_name;  // empty: UTF-8, nothing to convert
};

// Character set ids and widths as Oracle's NLS data lists them.
constexpr Charset kCharsets[] = {
    {"US7ASCII", 1, 1, "US-ASCII"},
    {"WE8ISO8859P1", 31, 1, "ISO-8859-1"},
    {"WE8ISO8859P15", 46, 1, "ISO-8859-15"},
    {"WE8MSWIN1252", 178, 1, "WINDOWS-1252"},
    {"UTF8", 871, 3, ""},
    {"AL32UTF8", 873, 4, ""},
};

// Sets the client character set of `env` and the converters it needs.
void UseCharset(OCIEnv* env, const Charset& charset) {
  env->charset_id = charset.id;
  env->max_bytes_per_char = charset.max_bytes;
  env->to_client.reset();
  env->from_client.reset();
  if (charset.iconv_name.empty()) return;
  std::string name(charset.iconv_name);
  Result<TextConverter> to = TextConverter::Open("UTF-8", name);
  Result<TextConverter> from = TextConverter::Open(name, "UTF-8");
  if (to.has_value()) env->to_client.emplace(std::move(*to));
  if (from.has_value()) env->from_client.emplace(std::move(*from));
}

const Charset* CharsetByName(std::string_view name) {
  for (const Charset& charset : kCharsets) {
    if (charset.name == name) return &charset;
  }
  return nullptr;
}

const Charset* CharsetById(ub2 id) {
  for (const Charset& charset : kCharsets) {
    if (charset.id == id) return &charset;
  }
  return nullptr;
}

void EnvError(OCIEnv* env, sb4 code, std::string_view text) {
  env->errors.assign(1, ErrorRecord{code, FormatOra(code, text)});
}

// Removes `handle` from its environment's children, destroying it.
void DestroyChild(OCIEnv* env, const Handle* handle) {
  auto& children = env->children;
  auto it = std::find_if(
      children.begin(), children.end(),
      [handle](const std::unique_ptr<Handle>& child) { return child.get() == handle; });
  if (it != children.end()) children.erase(it);
}

}  // namespace
}  // namespace volmek::ocidouble

using namespace volmek::ocidouble;

// The character set comes from the charset argument, else from NLS_LANG's part after the dot,
// else US7ASCII (NLS_LANG's documented default, AMERICAN_AMERICA.US7ASCII), as the Guide
// describes OCIEnvNlsCreate with charset 0. An NLS_LANG naming a character set the double does
// not know fails like an invalid NLS environment (ORA-12705). Texts are converted between the
// database's AL32UTF8 and that set: statements and logon names on the way in, fetched texts,
// select-list names and error messages on the way out.
VOLMEK_OCI_EXPORT sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 /*mode*/, void* /*ctxp*/,
                                        void* (* /*malocfp*/)(void*, std::size_t),
                                        void* (* /*ralocfp*/)(void*, void*, std::size_t),
                                        void (* /*mfreefp*/)(void*, void*), std::size_t xtramem_sz,
                                        void** usrmempp, ub2 charset, ub2 ncharset) {
  if (envhpp == nullptr) return OCI_INVALID_HANDLE;
  auto env = std::make_unique<OCIEnv>();
  if (xtramem_sz > 0 && usrmempp != nullptr) {
    env->user_memory.resize(xtramem_sz);
    *usrmempp = env->user_memory.data();
  }
  const char* suppress = std::getenv("ORA_SUPPRESS_ERROR_URL");
  env->error_urls = !(suppress != nullptr && std::string_view(suppress) == "TRUE");
  sword rc = OCI_SUCCESS;
  const Charset* chosen = nullptr;
  if (charset != 0) {
    chosen = CharsetById(charset);
    if (chosen == nullptr) {
      EnvError(env.get(), 12705, "Cannot access NLS data files or invalid environment specified");
      rc = OCI_ERROR;
    }
  } else if (const char* nls_lang = std::getenv("NLS_LANG"); nls_lang != nullptr) {
    std::string_view value = nls_lang;
    std::size_t dot = value.find('.');
    if (dot != std::string_view::npos) {
      chosen = CharsetByName(value.substr(dot + 1));
      if (chosen == nullptr) {
        EnvError(env.get(), 12705, "Cannot access NLS data files or invalid environment specified");
        rc = OCI_ERROR;
      }
    }
  }
  UseCharset(env.get(), chosen != nullptr ? *chosen : kCharsets[0]);
  if (ncharset != 0) env->ncharset_id = ncharset;
  // On failure the Guide still hands back the environment, for OCIErrorGet.
  *envhpp = env.release();
  return rc;
}

// Children hang from the environment (Guide: handles are allocated with respect to a parent,
// the environment handle).
VOLMEK_OCI_EXPORT sword OCIHandleAlloc(const void* parenth, void** hndlpp, ub4 type,
                                       std::size_t xtramem_sz, void** usrmempp) {
  OCIEnv* env = As<OCIEnv>(parenth, OCI_HTYPE_ENV);
  if (env == nullptr || hndlpp == nullptr) return OCI_INVALID_HANDLE;
  std::unique_ptr<Handle> handle;
  switch (type) {
    case OCI_HTYPE_ERROR:
      handle = std::make_unique<OCIError>(env);
      break;
    case OCI_HTYPE_STMT:
      handle = std::make_unique<OCIStmt>(env);
      break;
    default:
      // Server, session and transaction handles belong to the OCIServerAttach/OCISessionBegin
      // way of connecting, which the double does not offer.
      EnvError(env, 24323, "value not allowed");
      return OCI_ERROR;
  }
  if (xtramem_sz > 0 && usrmempp != nullptr) {
    handle->user_memory.resize(xtramem_sz);
    *usrmempp = handle->user_memory.data();
  }
  *hndlpp = handle.get();
  env->children.push_back(std::move(handle));
  return OCI_SUCCESS;
}

// Freeing the environment frees every handle allocated under it (Guide, "Handles": "when a
// parent handle is freed, all child handles associated with it are also freed").
VOLMEK_OCI_EXPORT sword OCIHandleFree(void* hndlp, ub4 type) {
  Handle* handle = CheckHandle(hndlp, type);
  if (handle == nullptr) return OCI_INVALID_HANDLE;
  switch (type) {
    case OCI_HTYPE_ENV: {
      std::unique_ptr<OCIEnv> env(static_cast<OCIEnv*>(handle));
      // Statements first: their cursors must go before the connections they belong to.
      std::erase_if(env->children, [](const std::unique_ptr<Handle>& child) {
        return child->type == OCI_HTYPE_STMT;
      });
      env->children.clear();
      return OCI_SUCCESS;
    }
    case OCI_HTYPE_ERROR:
      DestroyChild(static_cast<OCIError*>(handle)->env, handle);
      return OCI_SUCCESS;
    case OCI_HTYPE_STMT:
      DestroyChild(static_cast<OCIStmt*>(handle)->env, handle);
      return OCI_SUCCESS;
    case OCI_HTYPE_SVCCTX: {
      // A service context of OCILogon2 is ended by OCILogoff; freeing it instead ends the
      // session as a lost connection does: the open transaction is rolled back.
      auto* svc = static_cast<OCISvcCtx*>(handle);
      DestroyChild(svc->env, handle);
      return OCI_SUCCESS;
    }
    default:
      return OCI_INVALID_HANDLE;
  }
}

// Parameter descriptors of a select list are the statement's; OCIDescriptorFree gives one back.
VOLMEK_OCI_EXPORT sword OCIDescriptorFree(void* descp, ub4 type) {
  OCIParam* param = As<OCIParam>(descp, type);
  if (param == nullptr || type != OCI_DTYPE_PARAM) return OCI_INVALID_HANDLE;
  std::erase_if(param->owner->params,
                [param](const std::unique_ptr<OCIParam>& p) { return p.get() == param; });
  return OCI_SUCCESS;
}

// Records are numbered from 1; past the last one the call answers OCI_NO_DATA. The text ends
// with a line end, and from release 23 a second line "Help: <url>" follows unless
// ORA_SUPPRESS_ERROR_URL=TRUE. sqlstate is not supported since release 8 and stays untouched.
VOLMEK_OCI_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* /*sqlstate*/, sb4* errcodep,
                                    OraText* bufp, ub4 bufsiz, ub4 type) {
  const std::vector<ErrorRecord>* records = nullptr;
  bool urls = false;
  const OCIEnv* err_env = nullptr;
  if (type == OCI_HTYPE_ERROR) {
    OCIError* err = As<OCIError>(hndlp, OCI_HTYPE_ERROR);
    if (err == nullptr) return OCI_INVALID_HANDLE;
    records = &err->records;
    urls = err->env->error_urls;
    err_env = err->env;
  } else if (type == OCI_HTYPE_ENV) {
    OCIEnv* env = As<OCIEnv>(hndlp, OCI_HTYPE_ENV);
    if (env == nullptr) return OCI_INVALID_HANDLE;
    records = &env->errors;
    urls = env->error_urls;
    err_env = env;
  } else {
    return OCI_INVALID_HANDLE;
  }
  if (recordno < 1 || recordno > records->size()) return OCI_NO_DATA;
  const ErrorRecord& record = (*records)[recordno - 1];
  if (errcodep != nullptr) *errcodep = record.code;
  std::string text = ToClient(err_env, record.text) + "\n";
  if (urls && MajorVersion() >= 23) {
    text += fmt::format("Help: https://docs.oracle.com/error-help/db/ora-{:05d}/\n", record.code);
  }
  if (bufp != nullptr && bufsiz > 0) {
    std::size_t length = std::min<std::size_t>(text.size(), bufsiz - 1);
    std::memcpy(bufp, text.data(), length);
    bufp[length] = '\0';
  }
  return OCI_SUCCESS;
}

VOLMEK_OCI_EXPORT void OCIClientVersion(sword* major_version, sword* minor_version,
                                        sword* update_num, sword* patch_num,
                                        sword* port_update_num) {
  if (major_version != nullptr) *major_version = MajorVersion();
  if (minor_version != nullptr) *minor_version = kMinorVersion;
  if (update_num != nullptr) *update_num = 0;
  if (patch_num != nullptr) *patch_num = 0;
  if (port_update_num != nullptr) *port_update_num = 0;
}

// OCI_NLS_CHARSET_MAXBYTESZ: the widest character of the environment's character set.
VOLMEK_OCI_EXPORT sword OCINlsNumericInfoGet(void* envhp, OCIError* errhp, sb4* val, ub2 item) {
  OCIEnv* env = As<OCIEnv>(envhp, OCI_HTYPE_ENV);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (env == nullptr || err == nullptr || val == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (item != OCI_NLS_CHARSET_MAXBYTESZ) {
    SetError(err, 24323, "value not allowed");
    return OCI_ERROR;
  }
  *val = env->max_bytes_per_char;
  return OCI_SUCCESS;
}
