#include "db/server_output.h"

#include <fmt/format.h>

namespace volmek::db {

namespace {

// PL/SQL's longest VARCHAR2, the longest line DBMS_OUTPUT keeps.
constexpr std::size_t kLongestLine = 32767;

int RunBlock(SessionCursor& cursor, const std::string& block) {
  if (int rc = cursor.Parse(block); rc != kRcOk) return rc;
  return cursor.Execute();
}

}  // namespace

int EnableServerOutput(SessionCursor& cursor, std::optional<std::int64_t> size) {
  return RunBlock(cursor, fmt::format("begin dbms_output.enable({}); end;",
                                      size ? std::to_string(*size) : std::string("null")));
}

int DisableServerOutput(SessionCursor& cursor) {
  return RunBlock(cursor, "begin dbms_output.disable; end;");
}

int ReadServerOutput(SessionCursor& cursor, std::vector<std::string>* lines) {
  if (int rc = cursor.Parse("begin dbms_output.get_line(:line, :status); end;"); rc != kRcOk) {
    return rc;
  }
  BindVariable line;
  line.max_size = kLongestLine;
  BindVariable status;
  status.max_size = 40;
  if (int rc = cursor.BindByName("line", &line); rc != kRcOk) return rc;
  if (int rc = cursor.BindByName("status", &status); rc != kRcOk) return rc;
  while (true) {
    line.is_null = true;
    line.text.clear();
    if (int rc = cursor.Execute(); rc != kRcOk) return rc;
    if (status.is_null || status.text != "0") return kRcOk;
    lines->push_back(line.is_null ? std::string() : line.text);
  }
}

}  // namespace volmek::db
