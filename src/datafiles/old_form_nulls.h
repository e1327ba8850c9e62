// NULLs of the old form of the table text file: blanks between apostrophes, whatever the type.
//
// Old files wrote a NULL of any column as an apostrophe, the column's display width in blanks
// and an apostrophe: '                  ' for a NUMBER, '         ' for a DATE. In a character
// column such a value loads as it stands, a text of blanks, as it always did; in a number or a
// date column the database would refuse it (ORA-01722, ORA-01840), so there it loads as NULL.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/session.h"

namespace volmek::datafiles {

// True when `line` may hold a value of blanks only between apostrophes: a quick test that
// spares every other line the parsing.
bool MayHoldBlankValue(std::string_view line);

// `line` (a value list without its line end) with every value of blanks only between
// apostrophes at a position where `null_if_blank` is true written as NULL; nullopt when no such
// value is there or the line is not a value list (it then loads as it stands).
std::optional<std::string> BlanksToNull(std::string_view line,
                                        const std::vector<bool>& null_if_blank);

// For each column of `table`, in order: true when it is a NUMBER or a DATE. Parses and
// describes "select * from <table>" on the main cursor, silently: a table that cannot be
// described gives an empty list (and its inserts report why).
std::vector<bool> NumberAndDateColumns(db::Session& session, std::string_view table);

}  // namespace volmek::datafiles
