#include "db/oci/statement_kind.h"

#include <array>
#include <string>
#include <utility>

#include "db/call.h"
#include "db/oci/oci_api.h"

namespace volmek::db::oci {

namespace {

// Release-7 function codes of the statements that are neither queries, DML nor PL/SQL.
struct FunctionCode {
  std::string_view first;
  std::string_view second;  // empty: any
  std::uint16_t code;
};
constexpr std::array kFunctionCodes = {
    FunctionCode{"CREATE", "TABLE", 1},     FunctionCode{"CREATE", "GLOBAL", 1},
    FunctionCode{"CREATE", "VIEW", 10},     FunctionCode{"CREATE", "OR", 10},
    FunctionCode{"CREATE", "SEQUENCE", 13}, FunctionCode{"CREATE", "USER", 19},
    FunctionCode{"CREATE", "INDEX", 20},    FunctionCode{"CREATE", "UNIQUE", 20},
    FunctionCode{"CREATE", "BITMAP", 20},   FunctionCode{"CREATE", "TABLESPACE", 49},
    FunctionCode{"DROP", "VIEW", 7},        FunctionCode{"DROP", "TABLE", 8},
    FunctionCode{"DROP", "USER", 11},       FunctionCode{"DROP", "SEQUENCE", 16},
    FunctionCode{"DROP", "INDEX", 21},      FunctionCode{"DROP", "TABLESPACE", 51},
    FunctionCode{"ALTER", "SEQUENCE", 14},  FunctionCode{"ALTER", "TABLE", 26},
    FunctionCode{"ALTER", "INDEX", 41},     FunctionCode{"ALTER", "TABLESPACE", 50},
    FunctionCode{"ALTER", "SESSION", 52},   FunctionCode{"ALTER", "USER", 53},
    FunctionCode{"GRANT", "", 28},          FunctionCode{"REVOKE", "", 29},
    FunctionCode{"SET", "TRANSACTION", 33}, FunctionCode{"LOCK", "", 35},
    FunctionCode{"RENAME", "", 37},         FunctionCode{"COMMENT", "", 38},
    FunctionCode{"COMMIT", "", 54},         FunctionCode{"ROLLBACK", "", 55},
    FunctionCode{"SAVEPOINT", "", 56},      FunctionCode{"ANALYZE", "TABLE", 62},
    FunctionCode{"ANALYZE", "INDEX", 63},   FunctionCode{"TRUNCATE", "", 85},
};

// Keywords whose statements are DDL although the client may report no statement type for them.
constexpr std::array<std::string_view, 9> kOtherDdl = {
    "CREATE", "DROP", "ALTER", "TRUNCATE", "GRANT", "REVOKE", "RENAME", "COMMENT", "AUDIT"};

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#';
}

// The next word of `sql` from `*pos`, upper-cased, past blanks and comments.
std::string NextWord(std::string_view sql, std::size_t* pos) {
  std::size_t at = *pos;
  while (at < sql.size()) {
    char c = sql[at];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      ++at;
    } else if (sql.substr(at, 2) == "--") {
      std::size_t end = sql.find('\n', at);
      at = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (sql.substr(at, 2) == "/*") {
      std::size_t end = sql.find("*/", at + 2);
      at = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  std::string word;
  while (at < sql.size() && IsWordChar(sql[at])) {
    char c = sql[at++];
    word.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  *pos = at;
  return word;
}

std::uint16_t CodeOf(std::string_view first, std::string_view second) {
  for (const FunctionCode& entry : kFunctionCodes) {
    if (entry.first == first && (entry.second.empty() || entry.second == second)) {
      return entry.code;
    }
  }
  return 0;
}

}  // namespace

StatementClass ClassifyStatement(std::uint16_t stmt_type, std::string_view sql) {
  switch (stmt_type) {
    case OCI_STMT_SELECT:
      return {StatementKind::kQuery, kFunctionSelect};
    case OCI_STMT_INSERT:
      return {StatementKind::kDml, kFunctionInsert};
    case OCI_STMT_UPDATE:
      return {StatementKind::kDml, kFunctionUpdate};
    case OCI_STMT_DELETE:
      return {StatementKind::kDml, kFunctionDelete};
    case OCI_STMT_MERGE:
      return {StatementKind::kDml, kFunctionMerge};
    case OCI_STMT_BEGIN:
    case OCI_STMT_DECLARE:
      return {StatementKind::kPlsql, kFunctionPlsql};
    case OCI_STMT_CALL:
      return {StatementKind::kPlsql, 170};
    default:
      break;
  }
  std::size_t pos = 0;
  std::string first = NextWord(sql, &pos);
  std::string second = NextWord(sql, &pos);
  StatementClass result;
  result.function_type = CodeOf(first, second);
  bool ddl_type =
      stmt_type == OCI_STMT_CREATE || stmt_type == OCI_STMT_DROP || stmt_type == OCI_STMT_ALTER;
  bool ddl_word = false;
  for (std::string_view word : kOtherDdl) ddl_word = ddl_word || first == word;
  if ((ddl_type || ddl_word) && !(first == "ALTER" && second == "SESSION")) {
    result.kind = StatementKind::kDdlAtParse;
  }
  return result;
}

}  // namespace volmek::db::oci
