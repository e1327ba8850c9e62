// The session state that changes what values and functions give: the date format of implicit
// conversions, the sort order, the clock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/values/date.h"

namespace volmek::engine {

// The session state that changes what functions return. The engine core owns one per
// connection and updates it on "alter session"; the functions read it on every call.
struct SessionSettings {
  // NLS_DATE_FORMAT: the default format of TO_CHAR(date), TO_DATE(text) and implicit
  // conversions, and of dates fetched as text.
  std::string nls_date_format = std::string(kDefaultDateFormat);
  // NLS_SORT, as set ("BINARY"); comparisons are binary whatever it holds.
  std::string nls_sort = "BINARY";
  // When set, SYSDATE returns it instead of the clock (tests).
  std::optional<Date> fixed_sysdate;
  // Who the session is and where, as SYS_CONTEXT('USERENV', ...) and USERENV tell it: the user
  // logged on, the database's name and a number no other open session has.
  std::string session_user;
  std::string database_name;
  std::int64_t session_id = 0;

  friend bool operator==(const SessionSettings&, const SessionSettings&) = default;
};

}  // namespace volmek::engine
