#include "db/oci/client.h"

namespace volmek::db::oci {

LogonResult Logon(std::string_view /*user*/, std::string_view /*password*/,
                  std::string_view /*tns*/) {
  LogonResult result;
  // 1034 is what a client gets when no Oracle instance can be reached; without the client
  // library none ever can.
  result.rc = 1034;
  result.error_text = "ORA-01034: ORACLE not available";
  result.detail = std::string(kNoClientLibrary);
  return result;
}

}  // namespace volmek::db::oci
