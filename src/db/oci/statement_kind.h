// What the Oracle backend does with a statement at Parse and at Execute, from the statement type
// the client reports right after OCIStmtPrepare2 (OCI_ATTR_STMT_TYPE) and the statement's first
// words.
//
//   query (SELECT, WITH)             described at Parse (OCI_DESCRIBE_ONLY), run at Execute
//   DML (INSERT, UPDATE, DELETE,     parse-checked at Parse (OCI_PARSE_ONLY), run at Execute,
//        MERGE)                      which sets the row count
//   PL/SQL (BEGIN, DECLARE, CALL)    parse-checked at Parse, run at Execute
//   DDL (CREATE, DROP, ALTER but     run at Parse; the Execute that follows does nothing and
//        ALTER SESSION, TRUNCATE,    returns 0, as with the release-7 interface and the
//        GRANT, REVOKE, RENAME,      embedded engine
//        COMMENT, AUDIT, NOAUDIT...)
//   the rest (ANALYZE, ALTER         parse-checked at Parse, run at Execute: ANALYZE must fail
//        SESSION, COMMIT, ROLLBACK,  at Execute (estadis tells a table from an index by the
//        SAVEPOINT, SET, LOCK ...)   failed execute), the others as the engine runs them
//
// function_type is the release-7 function code the layers above read: 4 select, 3 insert,
// 5 update, 9 delete, 34 PL/SQL block, and the codes of the common DDL and control statements.
#pragma once

#include <cstdint>
#include <string_view>

namespace volmek::db::oci {

enum class StatementKind { kQuery, kDml, kPlsql, kDdlAtParse, kAtExecute };

struct StatementClass {
  StatementKind kind = StatementKind::kAtExecute;
  std::uint16_t function_type = 0;
};

// Classifies `sql`, whose OCI statement type is `stmt_type` (OCI_STMT_...).
StatementClass ClassifyStatement(std::uint16_t stmt_type, std::string_view sql);

}  // namespace volmek::db::oci
