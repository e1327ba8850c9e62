// The connect strings the double answers.
//
// The double reaches one kind of database: the embedded engine's file named by the EZConnect
// string "//localhost/volmek?file=PATH" (a port after localhost is accepted). Any other
// connect string fails as a client without such a service would:
//   - an EZConnect string ("//host[:port]/service", "host[:port]/service") or a connect
//     descriptor "(DESCRIPTION=...)": ORA-12514, the listener does not know the service;
//   - anything else is a net service name (a tnsnames alias) that no tnsnames.ora resolves:
//     ORA-12154;
//   - an empty one names the local default database, which is not there: ORA-12162.
#pragma once

#include <string>
#include <string_view>

#include "oci_double/oci_api.h"

namespace volmek::ocidouble {

// Where a connect string leads: the database file `path`, or the error a client gets.
struct ConnectTarget {
  std::string path;
  sb4 error_code = 0;  // 0: `path` is set
  std::string error_text;
};

ConnectTarget ParseConnectString(std::string_view connect);

}  // namespace volmek::ocidouble
