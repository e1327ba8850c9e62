// The Oracle backend's cursor: the call interface over one OCI statement handle.
//
// How each call maps (the layers above rely on these rules, see db/call.h):
//   Parse     OCIStmtPrepare2, then OCI_ATTR_STMT_TYPE; then what statement_kind.h says: a
//             query is described (OCIStmtExecute with OCI_DESCRIBE_ONLY, which also reports
//             its parse errors), DML and PL/SQL are checked with OCI_PARSE_ONLY, DDL runs now.
//             A failed Parse releases the statement: Execute, Describe, Define and Fetch then
//             answer 1003.
//   Execute   a query with 0 iterations, anything else with 1, never committing; the row
//             count of DML from OCI_ATTR_UB8_ROW_COUNT. DDL run at Parse: nothing, 0.
//   Describe  OCIParamGet and OCIAttrGet per item, read once at Parse. Past the select list
//             1007. ROWID (described 104) is reported as 11; an unconstrained NUMBER
//             (precision 0, scale -127) has scale 0; FLOAT (precision > 0, scale -127) keeps
//             -127; NUMBER is 22 bytes and DATE 7 whatever the client says.
//   Define    integers and doubles as SQLT_VNU, decoded by number.h into the exact text;
//             texts as SQLT_CHR with their returned length (a NUL byte travels), sized for the
//             client's widest character set; LONG, LONG RAW and CLOB whole, piece by piece
//             (OCI_DYNAMIC_FETCH and a define callback).
//   Fetch     OCIStmtFetch2 of one row. OCI_NO_DATA is 1403; a NULL sets is_null and the
//             column's 1405 (the call answers 0); a value cut short is 1406 with the row still
//             delivered; a number too big for an integer is 1455.
//   BindByName  kept until Execute, which binds each host variable (OCIBindByName, SQLT_CHR
//             with an indicator and a returned length) before it runs the block and reads
//             the values back after it: a name the block lacks is ORA-01036 at that Execute.
//   ErrorText OCIErrorGet's message on one line (a "Help:" line of newer clients dropped); our
//             own texts for the codes that OCI does not produce: 1001, 1002, 1003, 1007, 1012,
//             1403, 1405, 1406, 1455 (the engine's texts).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/call.h"
#include "db/oci/oci_api.h"
#include "db/oci/statement_kind.h"

namespace volmek::db::oci {

class OciCursor;

// The handles of one logged-on session, shared by the connection that owns them and its
// cursors, which register themselves so that the connection can release their statements
// before it logs off.
struct OciSession {
  OciApi api;
  OCIEnv* env = nullptr;
  OCIError* error = nullptr;
  OCISvcCtx* service = nullptr;
  bool logged_on = false;
  std::vector<OciCursor*> cursors;  // not owned: each cursor unregisters itself
};

// The Oracle error number and one-line text of the last failed call on `handle`.
struct OciErrorRecord {
  int code = 0;
  std::string text;
};
OciErrorRecord ReadError(const OciApi& api, void* handle, ub4 handle_type);

// The text of an Oracle error as the engine gives it: every line of its stack ("ORA-06550:
// line 1, column 7:" then "PLS-00201: ..."), without the "Help:" line that newer clients add,
// blank lines, or a line end after the last line.
std::string ErrorLines(std::string_view text);

class OciCursor : public db::Cursor {
 public:
  explicit OciCursor(OciSession* session);
  ~OciCursor() override;
  OciCursor(const OciCursor&) = delete;
  OciCursor& operator=(const OciCursor&) = delete;

  int Parse(std::string_view sql) override;
  int Execute() override;
  int Describe(int position, db::ColumnDescription* out) override;
  int Define(int position, db::ExternalType type) override;
  int Fetch() override;
  const db::FetchedValue& Value(int position) const override;
  int BindByName(std::string_view name, db::BindVariable* variable) override;

  int rc() const override { return rc_; }
  std::uint16_t function_type() const override { return function_type_; }
  std::uint64_t rows_processed() const override { return rows_processed_; }
  std::string ErrorText() const override { return error_text_; }

  // The session is logging off: release the statement; later calls answer 1012.
  void Orphan();

  // One select-list item: its description and the buffers its define writes to. Public for
  // the define callback.
  struct Column {
    db::ColumnDescription description;
    std::uint16_t oci_type = 0;  // the data type as described
    std::uint32_t char_size = 0;
    db::ExternalType type = db::ExternalType::kString;
    bool defined = false;
    bool dynamic = false;  // defined with OCI_DYNAMIC_FETCH
    std::uint16_t dty = 0;
    std::vector<char> buffer;  // static defines
    std::string pieces;        // dynamic defines: what the pieces filled
    std::size_t filled = 0;    // dynamic: bytes of the pieces before the current one
    ub4 piece_length = 0;      // dynamic: in: room of the current piece, out: bytes written
    sb2 indicator = 0;
    ub2 length = 0;
    ub2 rcode = 0;
  };

 private:
  int Fail(int code, std::string text);
  int FailWithOci();
  int Succeed();
  void ReleaseStatement();
  // After a successful describe-only execute: reads the select list.
  int ReadSelectList();
  // Fills values_[index] from the column's buffers after a fetch; the column's return code.
  int Deliver(std::size_t index);

  OciSession* session_;  // not owned; nullptr once the session has logged off
  OCIStmt* stmt_ = nullptr;
  StatementClass class_;
  bool parsed_ = false;
  bool executed_ = false;
  bool at_end_ = false;
  bool broken_ = false;  // a fetch failed: the query cannot go on
  int rc_ = 0;
  std::string error_text_;
  std::uint16_t function_type_ = 0;
  std::uint64_t rows_processed_ = 0;
  // Host variables of the parsed block; their buffers are what the library reads and writes.
  struct Bind {
    std::string name;  // ":NAME"
    db::BindVariable* variable = nullptr;
    std::vector<char> buffer;
    sb2 indicator = 0;
    ub2 length = 0;
    ub2 rcode = 0;
  };
  std::vector<std::unique_ptr<Bind>> binds_;
  int BindAll();
  // Stable addresses: the defines point into the columns.
  std::vector<std::unique_ptr<Column>> columns_;
  std::vector<db::FetchedValue> values_;
};

}  // namespace volmek::db::oci
