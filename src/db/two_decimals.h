// The two-decimal form of a floating-point NUMBER, the one rule of every printer that shows it
// (the rows of `sql`, the fields of salvalf).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "db/call.h"

namespace volmek::db {

// A floating-point value with exactly two decimals, rounded half away from zero on its exact
// decimal text when the backend delivers one ("12345678901234.5678" gives
// "12345678901234.57"), on the double otherwise. A negative value that rounds to zero keeps its
// sign ("-0.00"), as fixed-point printing of it does; only a zero itself has none.
std::string TwoDecimals(const FetchedValue& value);

// The same rule on a plain decimal text ("-12.345", "7", "0.005"); nullopt when `text` is not
// such a text.
std::optional<std::string> RoundDecimalText(std::string_view text);

}  // namespace volmek::db
