#include "oci_double/connect_string.h"

namespace volmek::ocidouble {

ConnectTarget ParseConnectString(std::string_view connect) {
  ConnectTarget target;
  if (connect.empty()) {
    target.error_code = 12162;
    target.error_text = "TNS:net service name is incorrectly specified";
    return target;
  }
  constexpr std::string_view kHost = "//localhost";
  constexpr std::string_view kService = "/volmek?file=";
  if (connect.starts_with(kHost)) {
    std::string_view rest = connect.substr(kHost.size());
    if (rest.starts_with(":")) {
      std::size_t digits = 1;
      while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
      if (digits > 1) rest.remove_prefix(digits);
    }
    if (rest.starts_with(kService) && rest.size() > kService.size()) {
      target.path = std::string(rest.substr(kService.size()));
      return target;
    }
  }
  bool ezconnect = connect.starts_with("//") || connect.find('/') != std::string_view::npos;
  bool descriptor = connect.starts_with("(");
  if (ezconnect || descriptor) {
    target.error_code = 12514;
    target.error_text =
        "TNS:listener does not currently know of service requested in connect descriptor";
  } else {
    target.error_code = 12154;
    target.error_text = "TNS:could not resolve the connect identifier specified";
  }
  return target;
}

}  // namespace volmek::ocidouble
