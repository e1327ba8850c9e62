#include "db/oci/client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/oci/cursor.h"
#include "db/oci/fake_oci.h"

namespace volmek::db::oci {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::FakeColumn;
using testing::FakeOci;
using testing::FakeStatement;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::string_view kQuery = "select * from t";
constexpr std::string_view kModeDescribe = " iters=0 mode=16";
constexpr std::string_view kModeParse = " iters=0 mode=256";

class OciClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeStatement query;
    query.stmt_type = OCI_STMT_SELECT;
    query.columns = {
        FakeColumn{"ID", SQLT_NUM, 22, 10, 0, 0},
        FakeColumn{"IMPORTE", SQLT_NUM, 22, 0, -127, 1},
        FakeColumn{"NOMBRE", SQLT_CHR, 20, 0, 0, 1},
        FakeColumn{"ALTA", SQLT_DAT, 7, 0, 0, 1},
        FakeColumn{"ROWID", SQLT_RDD, 10, 0, 0, 1},
        FakeColumn{"RATIO", SQLT_NUM, 22, 126, -127, 1},
    };
    query.rows = {
        {"7", "12345678901234.5678", "ANA", "01/02/25", "AAAR3sAAEAAAACXAAA", "-0.25"},
        {"-8", std::nullopt, std::nullopt, std::nullopt, "AAAR3sAAEAAAACXAAB", "1e-130"},
    };
    fake_.statements[std::string(kQuery)] = query;
    LogonResult logon = LogonWith(fake_.Api(), "SCOTT", "tiger", "//db:1521/orcl");
    ASSERT_EQ(logon.rc, 0);
    connection_ = std::move(logon.connection);
    int rc = -1;
    cursor_ = connection_->OpenCursor(&rc);
    ASSERT_EQ(rc, 0);
  }

  bool Called(const std::string& call) const {
    return std::find(fake_.calls.begin(), fake_.calls.end(), call) != fake_.calls.end();
  }
  std::size_t CallIndex(const std::string& call) const {
    return static_cast<std::size_t>(std::find(fake_.calls.begin(), fake_.calls.end(), call) -
                                    fake_.calls.begin());
  }

  FakeOci fake_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Cursor> cursor_;
};

TEST_F(OciClientTest, LogonPassesTheConnectStringAsGivenAndLetsNlsLangChooseTheCharacterSet) {
  EXPECT_TRUE(Called("logon SCOTT tiger //db:1521/orcl"));
  const char* old = std::getenv("NLS_LANG");
  std::string saved = old != nullptr ? old : "";
  setenv("NLS_LANG", "SPANISH_SPAIN.WE8MSWIN1252", 1);
  {
    FakeOci named;
    EXPECT_EQ(LogonWith(named.Api(), "SCOTT", "tiger", "orcl").rc, 0);
    EXPECT_THAT(named.calls, Contains("env charset=0/0"));
  }
  // Without a character set in NLS_LANG Oracle's client would take US7ASCII: UTF-8 instead.
  setenv("NLS_LANG", "SPANISH_SPAIN", 1);
  {
    FakeOci unnamed;
    EXPECT_EQ(LogonWith(unnamed.Api(), "SCOTT", "tiger", "orcl").rc, 0);
    EXPECT_THAT(unnamed.calls, Contains("env charset=873/873"));
  }
  if (old != nullptr) {
    setenv("NLS_LANG", saved.c_str(), 1);
  } else {
    unsetenv("NLS_LANG");
  }
}

TEST_F(OciClientTest, QueryIsDescribedAtParseAndRunWithoutIterationsAtExecute) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  EXPECT_EQ(cursor_->function_type(), kFunctionSelect);
  EXPECT_TRUE(Called(std::string("execute ") + std::string(kQuery) + std::string(kModeDescribe)));
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_TRUE(Called(std::string("execute ") + std::string(kQuery) + " iters=0 mode=0"));
  EXPECT_EQ(cursor_->rows_processed(), 0u);
}

TEST_F(OciClientTest, DescribeMapsRowidFloatAndUnconstrainedNumbers) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  ColumnDescription id, amount, name, date, rowid, ratio, past;
  ASSERT_EQ(cursor_->Describe(1, &id), 0);
  ASSERT_EQ(cursor_->Describe(2, &amount), 0);
  ASSERT_EQ(cursor_->Describe(3, &name), 0);
  ASSERT_EQ(cursor_->Describe(4, &date), 0);
  ASSERT_EQ(cursor_->Describe(5, &rowid), 0);
  ASSERT_EQ(cursor_->Describe(6, &ratio), 0);
  EXPECT_EQ(id.name, "ID");
  EXPECT_EQ(id.db_type, kTypeNumber);
  EXPECT_EQ(id.db_size, 22);
  EXPECT_EQ(id.precision, 10);
  EXPECT_EQ(id.nulls_allowed, 0);
  EXPECT_EQ(amount.precision, 0);
  EXPECT_EQ(amount.scale, 0);  // unconstrained NUMBER
  EXPECT_EQ(name.db_type, kTypeVarchar2);
  EXPECT_EQ(name.db_size, 20);
  EXPECT_EQ(name.nulls_allowed, 1);
  EXPECT_EQ(date.db_type, kTypeDate);
  EXPECT_EQ(date.db_size, 7);
  EXPECT_EQ(rowid.db_type, kTypeRowid);  // described as 104
  EXPECT_EQ(ratio.precision, 126);
  EXPECT_EQ(ratio.scale, -127);  // FLOAT keeps it
  EXPECT_EQ(cursor_->Describe(7, &past), kRcNotInSelectList);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01007: variable not in select list");
  EXPECT_EQ(fake_.live_params, 0);
}

TEST_F(OciClientTest, FetchDeliversExactNumbersTextsAndNullsThenNoData) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  ASSERT_EQ(cursor_->Define(1, ExternalType::kInteger), 0);
  ASSERT_EQ(cursor_->Define(2, ExternalType::kFloat), 0);
  ASSERT_EQ(cursor_->Define(3, ExternalType::kString), 0);
  ASSERT_EQ(cursor_->Define(4, ExternalType::kString), 0);
  ASSERT_EQ(cursor_->Define(5, ExternalType::kString), 0);
  ASSERT_EQ(cursor_->Define(6, ExternalType::kFloat), 0);
  EXPECT_TRUE(Called("define 1 dty=6 size=22"));
  EXPECT_TRUE(Called("define 3 dty=1 size=128"));
  ASSERT_EQ(cursor_->Execute(), 0);

  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).integer, 7);
  EXPECT_EQ(cursor_->Value(2).text, "12345678901234.5678");
  EXPECT_DOUBLE_EQ(cursor_->Value(2).real, 12345678901234.5678);
  EXPECT_EQ(cursor_->Value(3).text, "ANA");
  EXPECT_EQ(cursor_->Value(4).text, "01/02/25");
  EXPECT_EQ(cursor_->Value(5).text, "AAAR3sAAEAAAACXAAA");
  EXPECT_EQ(cursor_->Value(6).text, "-0.25");
  EXPECT_FALSE(cursor_->Value(3).is_null);
  EXPECT_EQ(cursor_->rows_processed(), 1u);

  // NULLs: is_null and the column's 1405, the call itself succeeds.
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).integer, -8);
  EXPECT_TRUE(cursor_->Value(2).is_null);
  EXPECT_EQ(cursor_->Value(2).rcode, kRcNullValue);
  EXPECT_TRUE(cursor_->Value(3).is_null);
  EXPECT_EQ(cursor_->Value(6).text, "0." + std::string(129, '0') + "1");
  EXPECT_EQ(cursor_->rows_processed(), 2u);

  EXPECT_EQ(cursor_->Fetch(), kRcNoData);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01403: no data found");
  EXPECT_EQ(cursor_->Fetch(), kRcNoData);
}

TEST_F(OciClientTest, NumberTooBigForAnIntegerIs1455AndTheRowStillCounts) {
  FakeStatement big;
  big.stmt_type = OCI_STMT_SELECT;
  big.columns = {FakeColumn{"N", SQLT_NUM, 22, 0, -127, 1}};
  big.rows = {{"1e20"}};
  fake_.statements["select n from big"] = big;
  ASSERT_EQ(cursor_->Parse("select n from big"), 0);
  ASSERT_EQ(cursor_->Define(1, ExternalType::kInteger), 0);
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(cursor_->Fetch(), 1455);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01455: converting column overflows integer datatype");
  EXPECT_EQ(cursor_->Value(1).rcode, 1455);
}

TEST_F(OciClientTest, ValueLongerThanItsDefineIs1406WithTheRowDelivered) {
  FakeStatement wide;
  wide.stmt_type = OCI_STMT_SELECT;
  wide.columns = {FakeColumn{"T", SQLT_CHR, 10, 0, 0, 1}, FakeColumn{"N", SQLT_NUM, 22, 5, 0, 1}};
  wide.rows = {{std::string(600, 'x'), "42"}};  // a client that describes less than it sends
  fake_.statements["select t, n from wide"] = wide;
  ASSERT_EQ(cursor_->Parse("select t, n from wide"), 0);
  ASSERT_EQ(cursor_->Define(1, ExternalType::kString), 0);
  ASSERT_EQ(cursor_->Define(2, ExternalType::kInteger), 0);
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(cursor_->Fetch(), 1406);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01406: fetched column value was truncated");
  EXPECT_EQ(cursor_->Value(1).text, std::string(128, 'x'));
  EXPECT_EQ(cursor_->Value(1).rcode, 1406);
  EXPECT_EQ(cursor_->Value(2).integer, 42);
  EXPECT_EQ(cursor_->rows_processed(), 1u);
}

TEST_F(OciClientTest, TextsKeepANulByteAndNumbersAsTextAreTheClientsConversion) {
  FakeStatement nul;
  nul.stmt_type = OCI_STMT_SELECT;
  nul.columns = {FakeColumn{"T", SQLT_CHR, 10, 0, 0, 1}, FakeColumn{"N", SQLT_NUM, 22, 0, 0, 1}};
  nul.rows = {{std::string("an\0tes", 6), ".5"}};
  fake_.statements["select t, n from nul"] = nul;
  ASSERT_EQ(cursor_->Parse("select t, n from nul"), 0);
  ASSERT_EQ(cursor_->Define(1, ExternalType::kString), 0);
  ASSERT_EQ(cursor_->Define(2, ExternalType::kString), 0);
  EXPECT_TRUE(Called("define 2 dty=1 size=128"));
  ASSERT_EQ(cursor_->Execute(), 0);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).text, std::string("an\0tes", 6));
  EXPECT_EQ(cursor_->Value(2).text, ".5");
}

TEST_F(OciClientTest, EmptyTextIsAnInvalidStatementWithoutAskingTheClient) {
  EXPECT_EQ(cursor_->Parse(""), 900);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-00900: invalid SQL statement");
  EXPECT_FALSE(Called("prepare "));
  EXPECT_EQ(cursor_->Execute(), kRcNoStatementParsed);
}

TEST_F(OciClientTest, LongValuesArriveWholeThroughDynamicDefines) {
  FakeStatement longs;
  longs.stmt_type = OCI_STMT_SELECT;
  longs.columns = {FakeColumn{"L", SQLT_LNG, 0, 0, 0, 1}};
  std::string text;
  for (int i = 0; i < 30000; ++i) text += static_cast<char>('a' + i % 26);
  longs.rows = {{text}, {std::nullopt}, {"corto"}};
  fake_.statements["select l from longs"] = longs;
  ASSERT_EQ(cursor_->Parse("select l from longs"), 0);
  ASSERT_EQ(cursor_->Define(1, ExternalType::kString), 0);
  EXPECT_TRUE(Called("define 1 dty=1 size=2147483647 dynamic"));
  ASSERT_EQ(cursor_->Execute(), 0);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).text, text);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_TRUE(cursor_->Value(1).is_null);
  ASSERT_EQ(cursor_->Fetch(), 0);
  EXPECT_EQ(cursor_->Value(1).text, "corto");
}

TEST_F(OciClientTest, FailedParseLeavesNothingParsed) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  EXPECT_EQ(cursor_->Parse("selec x"), 900);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-00900: invalid SQL statement");
  EXPECT_EQ(cursor_->function_type(), 0);
  ColumnDescription description;
  EXPECT_EQ(cursor_->Execute(), kRcNoStatementParsed);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01003: no statement parsed");
  EXPECT_EQ(cursor_->Describe(1, &description), kRcNoStatementParsed);
  EXPECT_EQ(cursor_->Define(1, ExternalType::kString), kRcNoStatementParsed);
  EXPECT_EQ(cursor_->Fetch(), kRcNoStatementParsed);
  EXPECT_EQ(fake_.live_statements, 0);
}

TEST_F(OciClientTest, DmlIsParseCheckedThenRunOnceWithItsRowCount) {
  FakeStatement update;
  update.stmt_type = OCI_STMT_UPDATE;
  update.row_count = 3;
  fake_.statements["update t set a = 1"] = update;
  ASSERT_EQ(cursor_->Parse("update t set a = 1"), 0);
  EXPECT_EQ(cursor_->function_type(), kFunctionUpdate);
  EXPECT_TRUE(Called("execute update t set a = 1" + std::string(kModeParse)));
  EXPECT_FALSE(Called("execute update t set a = 1 iters=1 mode=0"));
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_TRUE(Called("execute update t set a = 1 iters=1 mode=0"));
  EXPECT_EQ(cursor_->rows_processed(), 3u);
  EXPECT_EQ(cursor_->Fetch(), 1002);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01002: fetch out of sequence");
}

TEST_F(OciClientTest, FunctionTypesFollowTheStatementType) {
  const std::pair<ub2, std::uint16_t> cases[] = {{OCI_STMT_INSERT, kFunctionInsert},
                                                 {OCI_STMT_DELETE, kFunctionDelete},
                                                 {OCI_STMT_BEGIN, kFunctionPlsql},
                                                 {OCI_STMT_DECLARE, kFunctionPlsql}};
  for (auto [stmt_type, function] : cases) {
    FakeStatement statement;
    statement.stmt_type = stmt_type;
    std::string sql = "statement " + std::to_string(stmt_type);
    fake_.statements[sql] = statement;
    ASSERT_EQ(cursor_->Parse(sql), 0) << sql;
    EXPECT_EQ(cursor_->function_type(), function) << sql;
    EXPECT_TRUE(Called("execute " + sql + std::string(kModeParse))) << sql;
  }
}

TEST_F(OciClientTest, DdlRunsAtParseAndExecuteDoesNothingMore) {
  FakeStatement create;
  create.stmt_type = OCI_STMT_CREATE;
  fake_.statements["create table x (a number)"] = create;
  ASSERT_EQ(cursor_->Parse("create table x (a number)"), 0);
  EXPECT_EQ(cursor_->function_type(), 1);
  EXPECT_TRUE(Called("execute create table x (a number) iters=1 mode=0"));
  std::size_t calls = fake_.calls.size();
  EXPECT_EQ(cursor_->Execute(), 0);
  EXPECT_EQ(fake_.calls.size(), calls);

  FakeStatement truncate;  // no statement type of its own: known by its keyword
  fake_.statements["truncate table x"] = truncate;
  ASSERT_EQ(cursor_->Parse("truncate table x"), 0);
  EXPECT_TRUE(Called("execute truncate table x iters=1 mode=0"));
}

TEST_F(OciClientTest, AnalyzeAndAlterSessionFailAtExecuteNotAtParse) {
  FakeStatement analyze;
  analyze.execute_error = {942, "ORA-00942: table or view does not exist\n"};
  fake_.statements["analyze table i compute statistics"] = analyze;
  ASSERT_EQ(cursor_->Parse("analyze table i compute statistics"), 0);
  EXPECT_EQ(cursor_->function_type(), 62);
  EXPECT_EQ(cursor_->Execute(), 942);

  FakeStatement alter;
  alter.stmt_type = OCI_STMT_ALTER;
  fake_.statements["alter session set nls_sort=binary"] = alter;
  ASSERT_EQ(cursor_->Parse("alter session set nls_sort=binary"), 0);
  EXPECT_TRUE(Called("execute alter session set nls_sort=binary" + std::string(kModeParse)));
  EXPECT_EQ(cursor_->Execute(), 0);
  EXPECT_TRUE(Called("execute alter session set nls_sort=binary iters=1 mode=0"));
}

TEST_F(OciClientTest, ErrorTextKeepsItsStackWithoutTheHelpLine) {
  FakeStatement failing;
  failing.stmt_type = OCI_STMT_INSERT;
  failing.execute_error = {1,
                           "ORA-00001: unique constraint (SCOTT.PK) violated\nHelp: "
                           "https://docs.oracle.com/error-help/db/ora-00001/\n"};
  fake_.statements["insert into t values (1)"] = failing;
  ASSERT_EQ(cursor_->Parse("insert into t values (1)"), 0);
  EXPECT_EQ(cursor_->Execute(), 1);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-00001: unique constraint (SCOTT.PK) violated");
  // A stack keeps its lines, as the embedded engine gives them.
  EXPECT_EQ(
      ErrorLines("ORA-06550: line 1, column 7:\nPLS-00201: identifier 'X' must be declared\n"),
      "ORA-06550: line 1, column 7:\nPLS-00201: identifier 'X' must be declared");
}

TEST_F(OciClientTest, LogOffWhoseCommitFailsReportsItRollsBackAndStillLogsOff) {
  // A commit refused at the end of the run (a deferred constraint, a lost instance) is the
  // run's failure: its code and text come back from LogOff, nothing half-done is kept.
  fake_.commit_error = {2091,
                        "ORA-02091: transaction rolled back\nORA-02291: integrity constraint "
                        "(SCOTT.FK) violated - parent key not found\n"};
  EXPECT_EQ(connection_->LogOff(), 2091);
  EXPECT_EQ(connection_->ErrorText(),
            "ORA-02091: transaction rolled back\nORA-02291: integrity constraint (SCOTT.FK) "
            "violated - parent key not found");
  std::size_t commit = CallIndex("commit");
  std::size_t rollback = CallIndex("rollback");
  std::size_t logoff = CallIndex("logoff");
  EXPECT_LT(commit, rollback);
  EXPECT_LT(rollback, logoff);
  EXPECT_LT(logoff, fake_.calls.size());
  // The session is gone: a second LogOff has nothing left to do.
  EXPECT_EQ(connection_->LogOff(), 0);
}

TEST_F(OciClientTest, LogOffReleasesStatementsCommitsThenLogsOff) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  connection_->LogOff();
  std::size_t release = CallIndex("release " + std::string(kQuery));
  std::size_t commit = CallIndex("commit");
  std::size_t logoff = CallIndex("logoff");
  EXPECT_LT(release, commit);
  EXPECT_LT(commit, logoff);
  EXPECT_LT(logoff, fake_.calls.size());
  EXPECT_FALSE(Called("rollback"));
  EXPECT_EQ(cursor_->Parse(kQuery), 1012);
  EXPECT_EQ(cursor_->ErrorText(), "ORA-01012: not logged on");
  int rc = 0;
  EXPECT_EQ(connection_->OpenCursor(&rc), nullptr);
  EXPECT_EQ(rc, 1012);
  cursor_.reset();
  connection_.reset();
  EXPECT_THAT(fake_.calls, Not(Contains("rollback")));
  EXPECT_EQ(fake_.live_statements, 0);
}

TEST_F(OciClientTest, DroppedConnectionRollsBack) {
  ASSERT_EQ(cursor_->Parse(kQuery), 0);
  connection_.reset();
  EXPECT_TRUE(Called("rollback"));
  EXPECT_FALSE(Called("commit"));
  EXPECT_LT(CallIndex("rollback"), CallIndex("logoff"));
  EXPECT_EQ(fake_.live_statements, 0);
  EXPECT_EQ(cursor_->Execute(), 1012);
}

TEST(OciLogonTest, WrongPasswordGivesOracleErrorWithoutDetail) {
  FakeOci fake;
  fake.logon_error = {1017, "ORA-01017: invalid username/password; logon denied\n"};
  LogonResult logon = LogonWith(fake.Api(), "SCOTT", "bad", "orcl");
  EXPECT_EQ(logon.rc, 1017);
  EXPECT_EQ(logon.error_text, "ORA-01017: invalid username/password; logon denied");
  EXPECT_EQ(logon.detail, "");
  EXPECT_EQ(logon.connection, nullptr);
}

TEST(OciLogonTest, UnknownServiceIsNamedInTheDetailLine) {
  FakeOci fake;
  fake.logon_error = {12154, "ORA-12154: TNS:could not resolve the connect identifier specified\n"};
  LogonResult logon = LogonWith(fake.Api(), "SCOTT", "tiger", "NOSUCH");
  EXPECT_EQ(logon.rc, 12154);
  EXPECT_THAT(logon.detail, HasSubstr("ORA-12154"));
  EXPECT_THAT(fake.calls, Contains("free 2"));
}

TEST_F(OciClientTest, HostVariablesAreBoundAtExecuteAndReadBackAfterIt) {
  const std::string block = "begin dbms_output.get_line(:line, :status); end;";
  FakeStatement plsql;
  plsql.stmt_type = OCI_STMT_BEGIN;
  plsql.out_binds = {{":LINE", "hola"}, {":STATUS", "0"}};
  fake_.statements[block] = plsql;
  BindVariable line{false, "previo", 100};
  BindVariable status;
  status.max_size = 40;
  // Only a parsed block binds.
  EXPECT_EQ(cursor_->BindByName("LINE", &line), kRcUnimplemented);
  ASSERT_EQ(cursor_->Parse(block), 0);
  ASSERT_EQ(cursor_->BindByName("LINE", &line), 0);
  ASSERT_EQ(cursor_->BindByName("STATUS", &status), 0);
  ASSERT_EQ(cursor_->Execute(), 0) << cursor_->ErrorText();
  // Texts with their length and an indicator, in a buffer of the variable's size.
  EXPECT_TRUE(Called("bind :LINE dty=1 size=100 in=previo"));
  EXPECT_TRUE(Called("bind :STATUS dty=1 size=40 in=NULL"));
  EXPECT_LT(CallIndex("bind :STATUS dty=1 size=40 in=NULL"),
            CallIndex("execute " + block + " iters=1 mode=0"));
  EXPECT_EQ(line.text, "hola");
  EXPECT_FALSE(status.is_null);
  EXPECT_EQ(status.text, "0");

  // A value the library says it cut is refused rather than taken short.
  fake_.statements[block].out_binds[":LINE"] = std::string(150, 'x');
  EXPECT_EQ(cursor_->Execute(), 1406);
  // NULL comes back as NULL.
  fake_.statements[block].out_binds[":LINE"] = std::nullopt;
  ASSERT_EQ(cursor_->Execute(), 0);
  EXPECT_TRUE(line.is_null);
}

}  // namespace
}  // namespace volmek::db::oci
