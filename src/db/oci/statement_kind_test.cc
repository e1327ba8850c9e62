#include "db/oci/statement_kind.h"

#include <gtest/gtest.h>

#include "db/oci/oci_api.h"

namespace volmek::db::oci {
namespace {

TEST(StatementKind, DdlRunsAtParseExceptAlterSessionAndAnalyze) {
  EXPECT_EQ(ClassifyStatement(OCI_STMT_CREATE, "create table t (a number)").kind,
            StatementKind::kDdlAtParse);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_DROP, " DROP  sequence id_t").function_type, 16);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_UNKNOWN, "-- c\n/* x */ truncate table t").kind,
            StatementKind::kDdlAtParse);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_UNKNOWN, "grant select on t to u").kind,
            StatementKind::kDdlAtParse);
  StatementClass alter = ClassifyStatement(OCI_STMT_ALTER, "alter session set nls_sort=binary");
  EXPECT_EQ(alter.kind, StatementKind::kAtExecute);
  EXPECT_EQ(alter.function_type, 52);
  StatementClass analyze =
      ClassifyStatement(OCI_STMT_UNKNOWN, "analyze index i compute statistics");
  EXPECT_EQ(analyze.kind, StatementKind::kAtExecute);
  EXPECT_EQ(analyze.function_type, 63);
}

TEST(StatementKind, ControlStatementsAndUnknownTextRunAtExecute) {
  EXPECT_EQ(ClassifyStatement(OCI_STMT_UNKNOWN, "commit work").function_type, 54);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_UNKNOWN, "commit work").kind, StatementKind::kAtExecute);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_UNKNOWN, "rollback").function_type, 55);
  StatementClass garbage = ClassifyStatement(OCI_STMT_UNKNOWN, "selec * from t");
  EXPECT_EQ(garbage.kind, StatementKind::kAtExecute);
  EXPECT_EQ(garbage.function_type, 0);
}

TEST(StatementKind, QueriesDmlAndBlocksComeFromTheStatementType) {
  EXPECT_EQ(
      ClassifyStatement(OCI_STMT_SELECT, "with x as (select 1 from dual) select * from x").kind,
      StatementKind::kQuery);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_MERGE, "merge into t ...").kind, StatementKind::kDml);
  EXPECT_EQ(ClassifyStatement(OCI_STMT_CALL, "call p()").kind, StatementKind::kPlsql);
}

}  // namespace
}  // namespace volmek::db::oci
