// The Oracle client backend: the call interface over Oracle's client library (OCI).
//
// Selected by any TNS that does not select the embedded engine (see db::Logon). Logon loads
// the client library (library.h), creates an environment whose character set NLS_LANG decides
// (OCIEnvNlsCreate with charset 0; AL32UTF8 when NLS_LANG names none, volmek's default for
// both backends), an error handle, and logs on with OCILogon2 and the
// connect string exactly as given (EZConnect "//host:port/service", "host:port/service", a
// tnsnames alias). The connection owns those handles; its cursors are in cursor.h.
//
// LogOff commits (OCITransCommit) and then logs off. A connection destroyed without LogOff
// rolls back and logs off, as a process end would leave the transaction.
#pragma once

#include <string_view>

#include "db/call.h"
#include "db/oci/oci_api.h"

namespace volmek::db::oci {

// Logs on to the Oracle database named by the connect string `tns`. When the client library
// cannot be used, rc is 1034 and `detail` says why (library.h).
LogonResult Logon(std::string_view user, std::string_view password, std::string_view tns);

// Logs on through the given function table (the loaded library, or a test's fake). A logon
// that the database refuses gives Oracle's number and text, and as `detail` that text for the
// failures that are not a wrong user or password (an unknown service, a network failure).
LogonResult LogonWith(const OciApi& api, std::string_view user, std::string_view password,
                      std::string_view tns);

}  // namespace volmek::db::oci
