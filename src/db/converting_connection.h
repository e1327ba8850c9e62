// The client side of the character set conversion, for a database that keeps its text in
// UTF-8 (the embedded engine; Oracle's own client library converts by NLS_LANG itself).
//
// A ConvertingConnection wraps such a connection for a client whose character set is another
// (base/charset.h): statement text goes to the database converted from the client set, and
// column names, text values and error messages come back converted to it. A character that
// one side lacks becomes "?", as Oracle's client substitutes it.
#pragma once

#include <memory>

#include "base/charset.h"
#include "base/status.h"
#include "db/call.h"

namespace volmek::db {

// `inner` wrapped for `client`; `inner` itself when the client set is UTF-8. Fails
// (kUnsupported) when iconv cannot convert between the two sets.
Result<std::unique_ptr<Connection>> ForClientCharacterSet(std::unique_ptr<Connection> inner,
                                                          const CharacterSet& client);

}  // namespace volmek::db
