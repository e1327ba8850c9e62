// ScriptRunner: runs a script for the Oracle command-line tool against a volmek session, for
// the commands such scripts use to list a schema (the catalogue script of catalogo):
//
//   SET TERM[OUT] ON|OFF, SET LIN[ESIZE] n, SET PAGES[IZE] n, SET HEA[DING] ON|OFF,
//   SET FEED[BACK] ON|OFF|n    (several options may follow one SET)
//   SET SERVEROUT[PUT] ON|OFF [SIZE n|UNL[IMITED]] [FOR[MAT] WRA[PPED]|WOR[D_WRAPPED]|TRU[NCATED]]
//   SHO[W] SERVEROUT[PUT]
//   BEGIN ... / DECLARE ... /  a PL/SQL block; EXEC[UTE] statement runs one as a block
//   SPO[OL] file [REPLACE|APPEND], SPOOL OFF   (a name without extension gets ".lst")
//   DESC[RIBE] object          the describe listing of a table or view of the user
//   SELECT ... ; (or "/")      the rows in the tool's default layout (result_format.h)
//   PROMPT text, REM[ARK] ..., -- comments
//   QUIT, EXIT                 ends the script (what is pending is committed at log-off)
//
// What a command displays goes to the terminal stream unless TERM is OFF, and to the spool
// file while one is open. A query result starts with one blank line (unless PAGESIZE is 0),
// then the headings when HEADING is ON, then one line per row; with FEEDBACK ON the row count
// follows. A block that ends well shows "PL/SQL procedure successfully completed." unless
// FEEDBACK is OFF. A failing statement displays "ERROR:" and the database's message and the
// script goes on. With SERVEROUTPUT ON (which enables the session's DBMS_OUTPUT buffer as
// DBMS_OUTPUT.ENABLE does; OFF disables it) the lines the session wrote are shown after each
// query or block, laid out by FORMAT within LINESIZE: a block's before its feedback line, a
// query's after its rows, a failing statement's after its error. Anything else, including SQL
// other than queries and blocks, is not run: a message naming the script line goes to the
// terminal (never to the spool file) and the script goes on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/session.h"
#include "plus/result_format.h"
#include "plus/script_reader.h"

namespace volmek::plus {

class ScriptRunner {
 public:
  // Spool files are made in `directory`. `session` and `terminal` must outlive the runner.
  ScriptRunner(db::Session& session, std::ostream& terminal, std::filesystem::path directory)
      : session_(session), terminal_(terminal), directory_(std::move(directory)) {}

  // Runs the script read from `in` to its end or to QUIT, and closes the spool file. Fails
  // when a spool file cannot be created or written ("Imposible abrir fichero (%s).\n",
  // "Imposible escribir fichero (%s).\n"), when the script cannot be read, or when the
  // session's error limit is reached.
  Status Run(std::istream& in);

 private:
  Status Execute(const Command& command, bool& quit);
  Status Set(const Command& command);
  Status Spool(const Command& command);
  struct ServerOutput {
    bool on = false;
    std::optional<long long> size;  // SIZE; nullopt: UNLIMITED
    ServerOutputFormat format = ServerOutputFormat::kWordWrapped;
  };
  // SERVEROUTPUT's words from words[*at] into `*setting`; leaves *at after them. False (with
  // the tool's message shown) when they are wrong.
  Result<bool> SetServerOutput(const std::vector<std::string>& words, std::size_t* at,
                               ServerOutput* setting);
  Status Show(const Command& command);
  Status Describe(const Command& command);
  Status Statement(const Command& command);
  Status Select(const Command& command);
  Status Block(std::string_view text);
  Status DisplayServerOutput();
  Status CloseSpool();
  // Shows `text` on the terminal (unless TERM is OFF) and in the spool file.
  Status Display(std::string_view text);
  void Unsupported(const Command& command, std::string_view what);
  Status DisplayError(const db::SessionCursor& cursor);

  db::Session& session_;
  std::ostream& terminal_;
  std::filesystem::path directory_;
  bool term_out_ = true;
  int line_size_ = 80;
  long long page_size_ = 14;
  bool heading_ = true;
  long long feedback_ = 6;  // row count from which the "rows selected" line is shown; 0: off
  ServerOutput server_output_;
  std::ofstream spool_;
  std::string spool_name_;
};

}  // namespace volmek::plus
