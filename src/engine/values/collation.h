// The collation of NUMBER columns.
//
// NUMBER values are stored as canonical decimal text (schema.h) in columns declared
// "COLLATE VKNUM". VKNUM orders them by numeric value, exactly: "-10" < "-9.5" < "0" < "0.25" <
// "3" < "12". Canonical texts are compared without parsing (sign, then the count of digits
// before the point, then the digits); other texts that name a number (SQLite's own rendering of
// a REAL such as "1.0e+20", "3.0", " 12") are parsed and compared by value. Texts that are not
// numbers at all sort after every number, in byte order among themselves, so the order stays
// total and deterministic whatever a damaged file holds.
#pragma once

#include <string_view>

#include "base/status.h"

struct sqlite3;

namespace volmek::engine {

inline constexpr std::string_view kNumberCollation = "VKNUM";
// SQLite's built-in collation that ignores trailing blanks: CHAR(n) columns use it.
inline constexpr std::string_view kCharCollation = "RTRIM";

// Negative, zero or positive as a sorts before, with, or after b under VKNUM.
int CompareNumberTexts(std::string_view a, std::string_view b);

// Registers VKNUM on `db`.
Status RegisterCollations(sqlite3* db);

}  // namespace volmek::engine
