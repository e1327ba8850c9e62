// The double's handles, errors, logon, statement types and transactions, driven through the
// library loaded with dlopen.
#include <sys/stat.h>

#include <cstdlib>

#include "oci_double/double_fixture.h"

namespace volmek::ocidouble {
namespace {

using Library = DoubleTest;

TEST_F(Library, ExportsOnlyTheOciFunctions) {
  // The engine linked inside stays hidden: a client sees no symbol of ours but OCI's.
  EXPECT_EQ(dlsym(library_,
                  "_ZN6volmek6engine5LogonERKNSt7__cxx1112basic_stringIcSt11char_"
                  "traitsIcESaIcEEESt17basic_string_viewIcS4_ES9_"),
            nullptr);
  EXPECT_EQ(dlsym(library_, "FetchRows"), nullptr);
  EXPECT_EQ(dlsym(library_, "OCIStmtPrepare"), nullptr);  // release-7-era call: not offered
}

TEST_F(Library, ClientVersionIsARecentRelease) {
  sword major = 0, minor = 0, update = -1, patch = -1, port = -1;
  oci_.OCIClientVersion(&major, &minor, &update, &patch, &port);
  EXPECT_EQ(major, 23);
  EXPECT_EQ(minor, 5);
  EXPECT_EQ(update, 0);
  setenv("VOLMEK_OCI_DOUBLE_VERSION", "18", 1);
  oci_.OCIClientVersion(&major, &minor, &update, &patch, &port);
  unsetenv("VOLMEK_OCI_DOUBLE_VERSION");
  EXPECT_EQ(major, 18);
}

TEST_F(Library, CharsetFollowsNlsLang) {
  ub2 charset = 0;
  sb4 width = 0;
  ASSERT_EQ(oci_.OCIAttrGet(env_, OCI_HTYPE_ENV, &charset, nullptr, OCI_ATTR_ENV_CHARSET_ID, err_),
            OCI_SUCCESS);
  ASSERT_EQ(oci_.OCINlsNumericInfoGet(env_, err_, &width, OCI_NLS_CHARSET_MAXBYTESZ), OCI_SUCCESS);
  EXPECT_EQ(charset, std::getenv("NLS_LANG") == nullptr ? 1 : charset);

  setenv("NLS_LANG", "SPANISH_SPAIN.AL32UTF8", 1);
  OCIEnv* utf8 = nullptr;
  ASSERT_EQ(oci_.OCIEnvNlsCreate(&utf8, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                 0, 0),
            OCI_SUCCESS);
  setenv("NLS_LANG", "SPANISH_SPAIN.NOSUCHSET", 1);
  OCIEnv* bad = nullptr;
  EXPECT_EQ(
      oci_.OCIEnvNlsCreate(&bad, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, 0),
      OCI_ERROR);
  unsetenv("NLS_LANG");
  ASSERT_EQ(oci_.OCIAttrGet(utf8, OCI_HTYPE_ENV, &charset, nullptr, OCI_ATTR_ENV_CHARSET_ID, err_),
            OCI_SUCCESS);
  EXPECT_EQ(charset, 873);
  ASSERT_EQ(oci_.OCINlsNumericInfoGet(utf8, err_, &width, OCI_NLS_CHARSET_MAXBYTESZ), OCI_SUCCESS);
  EXPECT_EQ(width, 4);
  sb4 code = 0;
  OraText text[200] = {};
  ASSERT_NE(bad, nullptr);  // handed back for OCIErrorGet
  ASSERT_EQ(oci_.OCIErrorGet(bad, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ENV),
            OCI_SUCCESS);
  EXPECT_EQ(code, 12705);
  EXPECT_EQ(oci_.OCIHandleFree(utf8, OCI_HTYPE_ENV), OCI_SUCCESS);
  EXPECT_EQ(oci_.OCIHandleFree(bad, OCI_HTYPE_ENV), OCI_SUCCESS);
}

using Handles = DoubleTest;

TEST_F(Handles, NullOrWrongHandlesAreInvalid) {
  OCISvcCtx* svc = nullptr;
  EXPECT_EQ(oci_.OCILogon2(nullptr, err_, &svc, nullptr, 0, nullptr, 0, nullptr, 0, 0),
            OCI_INVALID_HANDLE);
  // An error handle where an environment belongs.
  EXPECT_EQ(oci_.OCILogon2(reinterpret_cast<OCIEnv*>(err_), err_, &svc, nullptr, 0, nullptr, 0,
                           nullptr, 0, 0),
            OCI_INVALID_HANDLE);
  EXPECT_EQ(oci_.OCIHandleFree(err_, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(oci_.OCIHandleFree(nullptr, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
  EXPECT_EQ(oci_.OCIErrorGet(env_, 1, nullptr, nullptr, nullptr, 0, OCI_HTYPE_ERROR),
            OCI_INVALID_HANDLE);
}

TEST_F(Handles, ErrorRecordsAreNumberedFromOneAndEndInALineEnd) {
  OCISvcCtx* svc = nullptr;
  ASSERT_EQ(Logon("DEMO", "demo", "NOSUCHALIAS", &svc), OCI_ERROR);
  sb4 code = 0;
  OraText text[100];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(oci_.OCIErrorGet(err_, 0, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  EXPECT_EQ(oci_.OCIErrorGet(err_, 2, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR),
            OCI_NO_DATA);
  ASSERT_EQ(oci_.OCIErrorGet(err_, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(code, 12154);
  EXPECT_STREQ(reinterpret_cast<char*>(text),
               "ORA-12154: TNS:could not resolve the connect identifier specified\n");
  // A short buffer gets what fits and a NUL.
  ASSERT_EQ(oci_.OCIErrorGet(err_, 1, nullptr, &code, text, 10, OCI_HTYPE_ERROR), OCI_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "ORA-12154");
  // A successful call clears the handle.
  LogonDemo();
  EXPECT_EQ(oci_.OCIErrorGet(err_, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR),
            OCI_NO_DATA);
}

TEST_F(Handles, Release23AddsAHelpLineUnlessSuppressed) {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  ASSERT_EQ(
      oci_.OCIEnvNlsCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 0, 0),
      OCI_SUCCESS);
  ASSERT_EQ(oci_.OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr),
            OCI_SUCCESS);
  OCISvcCtx* svc = nullptr;
  std::string connect = "//localhost/volmek?file=" + dir_.File("t.db");
  ASSERT_EQ(oci_.OCILogon2(env, err, &svc, Bytes("DEMO"), 4, Bytes("demo"), 4, Bytes(connect),
                           Size(connect), OCI_DEFAULT),
            OCI_SUCCESS);
  ASSERT_EQ(oci_.OCILogon2(env, err, &svc, Bytes("DEMO"), 4, Bytes("mal"), 3, Bytes(connect),
                           Size(connect), OCI_DEFAULT),
            OCI_ERROR);
  OraText text[200] = {};
  sb4 code = 0;
  ASSERT_EQ(oci_.OCIErrorGet(err, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(code, 1017);
  EXPECT_STREQ(reinterpret_cast<char*>(text),
               "ORA-01017: invalid username/password; logon denied\n"
               "Help: https://docs.oracle.com/error-help/db/ora-01017/\n");
  EXPECT_EQ(oci_.OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
}

using Logons = DoubleTest;

TEST_F(Logons, FirstLogonCreatesTheFileThenChecksThePassword) {
  OCISvcCtx* svc = nullptr;
  ASSERT_EQ(Logon("DEMO", "demo", ConnectString(), &svc), OCI_SUCCESS) << Error();
  struct stat info {};
  ASSERT_EQ(stat(dir_.File("t.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(oci_.OCILogoff(svc, err_), OCI_SUCCESS);
  svc = nullptr;
  EXPECT_EQ(Logon("DEMO", "otra", ConnectString(), &svc), OCI_ERROR);
  EXPECT_EQ(Error(), "1017 ORA-01017: invalid username/password; logon denied");
  EXPECT_EQ(svc, nullptr);
  EXPECT_EQ(Logon("demo", "demo", ConnectString(), &svc), OCI_SUCCESS);  // names fold
}

TEST_F(Logons, ConnectStringsOtherThanTheDoublesFailAsAClientWould) {
  struct Case {
    std::string connect;
    std::string error;
  };
  const Case cases[] = {
      {"PROD", "12154 ORA-12154: TNS:could not resolve the connect identifier specified"},
      {"//dbhost:1521/ORCL",
       "12514 ORA-12514: TNS:listener does not currently know of service requested in connect "
       "descriptor"},
      {"dbhost/ORCL",
       "12514 ORA-12514: TNS:listener does not currently know of service requested in connect "
       "descriptor"},
      {"//localhost/volmek",
       "12514 ORA-12514: TNS:listener does not currently know of service requested in connect "
       "descriptor"},
      {"//localhost/volmek?file=",
       "12514 ORA-12514: TNS:listener does not currently know of service requested in connect "
       "descriptor"},
      {"", "12162 ORA-12162: TNS:net service name is incorrectly specified"},
  };
  for (const Case& c : cases) {
    OCISvcCtx* svc = nullptr;
    EXPECT_EQ(Logon("DEMO", "demo", c.connect, &svc), OCI_ERROR) << c.connect;
    EXPECT_EQ(Error(), c.error) << c.connect;
  }
  OCISvcCtx* svc = nullptr;
  EXPECT_EQ(Logon("DEMO", "demo", "//localhost:1521/volmek?file=" + dir_.File("p.db"), &svc),
            OCI_SUCCESS)
      << Error();
  EXPECT_TRUE(dir_.Exists("p.db"));
}

using StatementType = DoubleTest;

TEST_F(StatementType, ComesFromTheFirstKeywordAtPrepare) {
  LogonDemo();
  struct Case {
    std::string sql;
    ub2 type;
  };
  const Case cases[] = {
      {"select * from nowhere", OCI_STMT_SELECT},  // known before the database is asked
      {"  /* c */ -- x\n With q as (select 1 from dual) select * from q", OCI_STMT_SELECT},
      {"(select 1 from dual)", OCI_STMT_SELECT},
      {"update t set a = 1", OCI_STMT_UPDATE},
      {"delete from t", OCI_STMT_DELETE},
      {"insert into t values (1)", OCI_STMT_INSERT},
      {"create table t (a number)", OCI_STMT_CREATE},
      {"drop table t", OCI_STMT_DROP},
      {"alter session set nls_sort=binary", OCI_STMT_ALTER},
      {"begin null; end;", OCI_STMT_BEGIN},
      {"declare x number; begin null; end;", OCI_STMT_DECLARE},
      {"commit work", OCI_STMT_COMMIT},
      {"rollback", OCI_STMT_ROLLBACK},
      {"truncate table t", OCI_STMT_UNKNOWN},
      {"grant select on t to x", OCI_STMT_UNKNOWN},
  };
  for (const Case& c : cases) {
    OCIStmt* stmt = Prepare(c.sql);
    EXPECT_EQ(StmtAttr<ub2>(stmt, OCI_ATTR_STMT_TYPE), c.type) << c.sql;
    EXPECT_EQ(oci_.OCIStmtRelease(stmt, err_, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
  }
  OCIStmt* stmt = nullptr;
  EXPECT_EQ(oci_.OCIStmtPrepare2(svc_, &stmt, err_, Bytes("x"), 0, nullptr, 0, OCI_NTV_SYNTAX,
                                 OCI_DEFAULT),
            OCI_ERROR);
  EXPECT_EQ(Error(), "24373 ORA-24373: invalid length specified for statement");
}

using Execution = DoubleTest;

TEST_F(Execution, ParseOnlyChecksDmlWithoutRunningIt) {
  LogonDemo();
  Run("create table t (a number(3))");
  OCIStmt* insert = Prepare("insert into t values (7)");
  ASSERT_EQ(Execute(insert, 0, OCI_PARSE_ONLY), OCI_SUCCESS) << Error();
  EXPECT_EQ(StmtAttr<ub4>(insert, OCI_ATTR_ROW_COUNT), 0u);
  OCIStmt* bad = Prepare("insert into nowhere values (7)");
  EXPECT_EQ(Execute(bad, 0, OCI_PARSE_ONLY), OCI_ERROR);
  EXPECT_EQ(Error(), "942 ORA-00942: table or view does not exist");
  // Executed later it runs once per iteration; iters 0 is refused for DML.
  EXPECT_EQ(Execute(insert, 0), OCI_ERROR);
  EXPECT_EQ(Error(), "24333 ORA-24333: zero iteration count");
  ASSERT_EQ(Execute(insert, 1), OCI_SUCCESS) << Error();
  EXPECT_EQ(StmtAttr<ub4>(insert, OCI_ATTR_ROW_COUNT), 1u);
  EXPECT_EQ(StmtAttr<ub8>(insert, OCI_ATTR_UB8_ROW_COUNT), 1u);
  EXPECT_EQ(StmtAttr<ub2>(insert, OCI_ATTR_SQLFNCODE), 3);
  Run("insert into t select a + 1 from t");
  OCIStmt* update = Prepare("update t set a = a * 2");
  ASSERT_EQ(Execute(update, 1), OCI_SUCCESS) << Error();
  EXPECT_EQ(StmtAttr<ub8>(update, OCI_ATTR_UB8_ROW_COUNT), 2u);
  EXPECT_EQ(StmtAttr<ub2>(update, OCI_ATTR_SQLFNCODE), 5);
  // A statement that is no query has nothing to fetch.
  EXPECT_EQ(oci_.OCIStmtFetch2(update, err_, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_ERROR);
  EXPECT_EQ(Error(), "1002 ORA-01002: fetch out of sequence");
}

TEST_F(Execution, DdlRunsWhenParsed) {
  LogonDemo();
  OCIStmt* create = Prepare("create table t (a number)");
  ASSERT_EQ(Execute(create, 0, OCI_PARSE_ONLY), OCI_SUCCESS) << Error();
  Run("insert into t values (1)");
  OCIStmt* again = Prepare("create table t (a number)");
  EXPECT_EQ(Execute(again, 1), OCI_ERROR);
  EXPECT_EQ(Error(), "955 ORA-00955: name is already used by an existing object");
}

TEST_F(Execution, CommitOnSuccessCommits) {
  LogonDemo();
  Run("create table t (a number)");
  OCIStmt* insert = Prepare("insert into t values (1)");
  ASSERT_EQ(Execute(insert, 1, OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS) << Error();
  ASSERT_EQ(oci_.OCITransRollback(svc_, err_, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(QueryInt("select count(*) from t"), 1);
}

using Transactions = DoubleTest;

TEST_F(Transactions, CommitKeepsRollbackAndLogoffDiscard) {
  LogonDemo();
  Run("create table t (a number)");
  Run("insert into t values (1)");
  ASSERT_EQ(oci_.OCITransRollback(svc_, err_, OCI_DEFAULT), OCI_SUCCESS);
  Run("insert into t values (2)");
  ASSERT_EQ(oci_.OCITransCommit(svc_, err_, OCI_DEFAULT), OCI_SUCCESS);
  Run("insert into t values (3)");
  OCIStmt* left_open = Prepare("select a from t");
  ASSERT_EQ(oci_.OCILogoff(svc_, err_), OCI_SUCCESS);
  LogonDemo();
  EXPECT_EQ(QueryInt("select count(*) from t"), 1);
  // A statement outlives its session but cannot run.
  EXPECT_EQ(Execute(left_open, 0), OCI_ERROR);
  EXPECT_EQ(Error(), "1012 ORA-01012: not logged on");
}

}  // namespace
}  // namespace volmek::ocidouble
