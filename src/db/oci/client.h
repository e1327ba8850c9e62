// The Oracle client backend: the call interface over the Oracle client library.
//
// Selected by any TNS that does not select the embedded engine (see db::Logon). This build
// carries no Oracle client library, so every logon through it is refused: rc 1034 with
// Oracle's text, and a detail line for the user saying why.
#pragma once

#include <string_view>

#include "db/call.h"

namespace volmek::db::oci {

// The detail line given with every refused logon of this build (no line end).
inline constexpr std::string_view kNoClientLibrary =
    "La biblioteca cliente de Oracle no esta disponible en esta version de volmek.";

// Logs on to the Oracle database named by the connect string `tns`.
LogonResult Logon(std::string_view user, std::string_view password, std::string_view tns);

}  // namespace volmek::db::oci
