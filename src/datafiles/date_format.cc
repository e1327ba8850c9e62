#include "datafiles/date_format.h"

#include "datafiles/table_text.h"
#include "db/columns.h"

namespace volmek::datafiles {

namespace {

constexpr std::string_view kFallbackFormat = "DD-MON-YY";
constexpr std::string_view kFormatQuery =
    "select value from nls_session_parameters where parameter = 'NLS_DATE_FORMAT'";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The session's format, or nothing when the query is not understood.
Result<std::string> QueryFormat(db::Session& session) {
  db::SessionCursor& cursor = session.main();
  session.Echo(kFormatQuery);
  if (cursor.Parse(kFormatQuery) != db::kRcOk) return std::string();
  VOLMEK_ASSIGN_OR_RETURN(std::vector<db::Column> columns, db::DescribeAndDefine(session, cursor));
  if (columns.empty() || cursor.Execute() != db::kRcOk) return std::string();
  int rc = cursor.Fetch();
  if (rc != db::kRcOk || cursor.Value(0).is_null) return std::string();
  return cursor.Value(0).text;
}

}  // namespace

std::string AlterDateFormat(std::string_view format) {
  std::string sql = "alter session set nls_date_format = '";
  for (char c : format) {
    if (c == '\'') sql.push_back('\'');
    sql.push_back(c);
  }
  sql.push_back('\'');
  return sql;
}

Result<DateFormatSwitch> DateFormatSwitch::ToFileFormat(db::Session& session) {
  VOLMEK_ASSIGN_OR_RETURN(std::string format, QueryFormat(session));
  if (format.empty()) format = kFallbackFormat;
  DateFormatSwitch result(session, std::move(format));
  VOLMEK_RETURN_IF_ERROR(result.UseFileFormat());
  return result;
}

Status DateFormatSwitch::Use(bool file_format) {
  if (file_format == file_format_) return Status::Ok();
  std::string sql = AlterDateFormat(file_format ? kDateFormat : session_format_);
  VOLMEK_ASSIGN_OR_RETURN(bool done, session_->RunStatement(sql, db::Report::kSilent));
  if (done) file_format_ = file_format;
  return Status::Ok();
}

bool HasOldFormDate(std::string_view line) {
  // 'DD-MON-YY' : the first "-" is at offset 3 from the opening apostrophe.
  for (std::size_t dash = line.find('-'); dash != std::string_view::npos;
       dash = line.find('-', dash + 1)) {
    if (dash < 3 || dash + 5 >= line.size()) continue;
    std::string_view head = line.substr(dash - 3, 3);
    if (head[0] != '\'' || !IsDigit(head[1]) || !IsDigit(head[2])) continue;
    if (!IsLetter(line[dash + 1]) || !IsLetter(line[dash + 2]) || !IsLetter(line[dash + 3])) {
      continue;
    }
    if (line[dash + 4] != '-') continue;
    std::size_t pos = dash + 5;
    std::size_t digits = 0;
    while (pos < line.size() && IsDigit(line[pos])) {
      ++pos;
      ++digits;
    }
    if ((digits == 2 || digits == 4) && pos < line.size() && line[pos] == '\'') return true;
  }
  return false;
}

}  // namespace volmek::datafiles
