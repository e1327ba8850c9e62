// ScriptReader: splits a script for the Oracle command-line tool into its commands.
//
// A script is a sequence of tool commands, one line each (SET, SHO[W], SPOOL, DESC[RIBE],
// EXEC[UTE], QUIT, EXIT, REM[ARK], PROMPT), and SQL statements, which may take several lines and
// end with a
// ";" at the end of a line or with a line holding only "/". A PL/SQL block (DECLARE, BEGIN)
// ends only with the "/" line. Lines of "--" comments and blank lines between commands are
// passed over; a blank line inside a SQL statement ends it without running it, as the tool does.
//
//   set TERM off                       -> kSet "set TERM off"
//   select 'EMP' as TABLA              -> kSql "select 'EMP' as TABLA\nfrom EMP" (the ";" dropped)
//   from EMP;
//   desc EMP                           -> kDescribe "desc EMP"
//   quit                               -> kQuit
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "base/line_reader.h"
#include "base/status.h"

namespace volmek::plus {

struct Command {
  enum class Kind {
    kSet,       // SET option value ...
    kSpool,     // SPOOL file | SPOOL OFF
    kDescribe,  // DESC[RIBE] object
    kQuit,      // QUIT or EXIT
    kPrompt,    // PROMPT text
    kShow,      // SHOW option
    kExecute,   // EXECUTE statement: one PL/SQL statement, run as a block
    kSql,       // a SQL statement or PL/SQL block, without its terminator
    kUnknown,   // a line that is no command this reader knows
  };
  Kind kind = Kind::kUnknown;
  std::string text;        // the command as written (a statement's lines joined by "\n")
  std::uint64_t line = 0;  // the script line the command starts on
  bool run = true;         // false for a statement ended by a blank line (kept, not run)
};

class ScriptReader {
 public:
  // `in` must outlive the reader.
  explicit ScriptReader(std::istream& in) : lines_(in) {}

  // The next command; false at the end of the script. A statement still open at the end of
  // the script is handed over as it stands, marked not to run. Fails (kIoError) when the
  // script cannot be read.
  Result<bool> Next(Command& command);

 private:
  Result<bool> ReadStatement(Command& command, bool block);

  LineReader lines_;
};

// The first word of `text`, upper-cased ("" when there is none).
std::string FirstWord(std::string_view text);

// True when `word` (upper case) is `full` or an abbreviation of it at least `shortest` long:
// IsAbbreviation("DESC", "DESCRIBE", 4).
bool IsAbbreviation(std::string_view word, std::string_view full, std::size_t shortest);

}  // namespace volmek::plus
