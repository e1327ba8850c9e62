// The date format of the table text file, switched on the session while a file is written or
// loaded.
//
// Dates travel through the table text file as text in the session's date format. The file
// keeps them as kDateFormat ("YYYY-MM-DD HH24:MI:SS", time of day included), so backup and
// restore set that format on the session for their work and put the session's own format back
// afterwards. Lines of files in the old form (dates as DD-MON-YY texts) are loaded with the
// session's own format.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "db/session.h"

namespace volmek::datafiles {

class DateFormatSwitch {
 public:
  // Reads the session's date format (NLS_SESSION_PARAMETERS; "DD-MON-YY" when the database
  // does not tell it) and sets kDateFormat. Fails only at the error limit.
  static Result<DateFormatSwitch> ToFileFormat(db::Session& session);

  // Sets the file's format or the session's own one, when it is not the one in force. A
  // database that refuses the change keeps its format; nothing is reported. Fails only at the
  // error limit.
  Status UseFileFormat() { return Use(true); }
  Status UseSessionFormat() { return Use(false); }

  const std::string& session_format() const { return session_format_; }

 private:
  DateFormatSwitch(db::Session& session, std::string session_format)
      : session_(&session), session_format_(std::move(session_format)) {}
  Status Use(bool file_format);

  db::Session* session_;
  std::string session_format_;
  bool file_format_ = false;
};

// The statement that sets `format` as the session's date format.
std::string AlterDateFormat(std::string_view format);

// True when the line holds a quoted date of the old form: 'DD-MON-YY' or 'DD-MON-YYYY'
// ("'08-DEC-25'").
bool HasOldFormDate(std::string_view line);

}  // namespace volmek::datafiles
