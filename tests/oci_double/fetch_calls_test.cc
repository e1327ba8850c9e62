// The double's describe, defines and fetches: what lands in the caller's buffers.
#include <string>
#include <vector>

#include "oci_double/double_fixture.h"

namespace volmek::ocidouble {
namespace {

class Fetching : public DoubleTest {
 protected:
  void SetUp() override {
    DoubleTest::SetUp();
    LogonDemo();
  }

  OCIDefine* Define(OCIStmt* stmt, ub4 position, void* value, sb4 size, ub2 dty, sb2* indicator,
                    ub2* length = nullptr, ub2* code = nullptr, ub4 mode = OCI_DEFAULT) {
    OCIDefine* define = nullptr;
    EXPECT_EQ(oci_.OCIDefineByPos(stmt, &define, err_, position, value, size, dty, indicator,
                                  length, code, mode),
              OCI_SUCCESS)
        << Error();
    return define;
  }

  sword Fetch(OCIStmt* stmt, ub4 rows = 1) {
    return oci_.OCIStmtFetch2(stmt, err_, rows, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
  }

  // The internal number bytes fetched as SQLT_VNU for the first column of `sql`.
  std::vector<int> Varnum(const std::string& sql) {
    OCIStmt* stmt = Query(sql);
    unsigned char buffer[22] = {};
    sb2 indicator = 0;
    Define(stmt, 1, buffer, sizeof buffer, SQLT_VNU, &indicator);
    EXPECT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();
    std::vector<int> bytes(buffer + 1, buffer + 1 + buffer[0]);
    EXPECT_EQ(oci_.OCIStmtRelease(stmt, err_, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
    return bytes;
  }
};

struct Described {
  ub2 type = 0, size = 0, char_size = 0;
  sb2 precision = 0;
  sb1 scale = 0;
  ub1 is_null = 0;
  std::string name;
};

using Describe = Fetching;

TEST_F(Describe, SelectListAsTheGuideDescribesIt) {
  Run("create table t (n3 number(3), v varchar2(20), n number, f float, d date, "
      "m number(8,2), c char(5) not null, i integer)");
  OCIStmt* stmt = Prepare("select t.*, rowid, n3 * 2 from t");
  ASSERT_EQ(Execute(stmt, 0, OCI_DESCRIBE_ONLY), OCI_SUCCESS) << Error();
  ASSERT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_PARAM_COUNT), 10u);
  auto describe = [&](ub4 position) {
    Described d;
    void* param = nullptr;
    EXPECT_EQ(oci_.OCIParamGet(stmt, OCI_HTYPE_STMT, err_, &param, position), OCI_SUCCESS);
    // Each attribute is written with exactly its documented width: the guard bytes stay.
    struct {
      sb2 precision;
      sb1 scale;
      ub1 guard;
    } narrow{0, 0, 0xAB};
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.type, nullptr, OCI_ATTR_DATA_TYPE, err_),
              OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.size, nullptr, OCI_ATTR_DATA_SIZE, err_),
              OCI_SUCCESS);
    EXPECT_EQ(
        oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.char_size, nullptr, OCI_ATTR_CHAR_SIZE, err_),
        OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &narrow.precision, nullptr,
                              OCI_ATTR_PRECISION, err_),
              OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &narrow.scale, nullptr, OCI_ATTR_SCALE, err_),
              OCI_SUCCESS);
    EXPECT_EQ(narrow.guard, 0xAB);
    d.precision = narrow.precision;
    d.scale = narrow.scale;
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &d.is_null, nullptr, OCI_ATTR_IS_NULL, err_),
              OCI_SUCCESS);
    OraText* name = nullptr;
    ub4 name_size = 0;
    EXPECT_EQ(oci_.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &name_size, OCI_ATTR_NAME, err_),
              OCI_SUCCESS);
    d.name.assign(reinterpret_cast<char*>(name), name_size);
    EXPECT_EQ(oci_.OCIDescriptorFree(param, OCI_DTYPE_PARAM), OCI_SUCCESS);
    return d;
  };
  auto expect = [&](ub4 position, const std::string& name, ub2 type, ub2 size, sb2 precision,
                    sb1 scale, ub1 is_null, ub2 char_size) {
    Described d = describe(position);
    EXPECT_EQ(d.name, name) << position;
    EXPECT_EQ(d.type, type) << name;
    EXPECT_EQ(d.size, size) << name;
    EXPECT_EQ(d.precision, precision) << name;
    EXPECT_EQ(d.scale, scale) << name;
    EXPECT_EQ(d.is_null, is_null) << name;
    EXPECT_EQ(d.char_size, char_size) << name;
  };
  expect(1, "N3", 2, 22, 3, 0, 1, 0);
  expect(2, "V", 1, 20, 0, 0, 1, 20);
  expect(3, "N", 2, 22, 0, -127, 1, 0);    // unconstrained NUMBER
  expect(4, "F", 2, 22, 126, -127, 1, 0);  // FLOAT: precision > 0, scale -127
  expect(5, "D", 12, 7, 0, 0, 1, 0);
  expect(6, "M", 2, 22, 8, 2, 1, 0);
  expect(7, "C", 96, 5, 0, 0, 0, 5);
  expect(8, "I", 2, 22, 38, 0, 1, 0);
  expect(9, "ROWID", 104, 10, 0, 0, 0, 0);  // SQLT_RDD
  expect(10, "N3*2", 2, 22, 0, -127, 1, 0);

  void* param = nullptr;
  EXPECT_EQ(oci_.OCIParamGet(stmt, OCI_HTYPE_STMT, err_, &param, 11), OCI_ERROR);
  EXPECT_EQ(Error(), "24334 ORA-24334: no descriptor for this position");
  // Described, not executed: nothing to fetch.
  char text[10];
  sb2 indicator = 0;
  Define(stmt, 1, text, sizeof text, SQLT_STR, &indicator);
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "24338 ORA-24338: statement handle not executed");
}

TEST_F(Describe, ErrorsOfAQueryShowAtDescribe) {
  OCIStmt* stmt = Prepare("select nada from dual");
  void* param = nullptr;
  EXPECT_EQ(oci_.OCIParamGet(stmt, OCI_HTYPE_STMT, err_, &param, 1), OCI_ERROR);
  EXPECT_EQ(Error(), "24338 ORA-24338: statement handle not executed");
  EXPECT_EQ(Execute(stmt, 0, OCI_DESCRIBE_ONLY), OCI_ERROR);
  EXPECT_EQ(Error(), "904 ORA-00904: \"NADA\": invalid identifier");
  EXPECT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_PARAM_COUNT), 0u);
}

using Values = Fetching;

TEST_F(Values, TextsNumbersAndNulls) {
  Run("create table t (v varchar2(20), n number(8,2), i number(10), c char(4), d date)");
  Run("insert into t values ('hola', 12.5, -42, 'ab', to_date('2024-03-05', 'YYYY-MM-DD'))");
  Run("insert into t values (null, null, null, null, null)");
  OCIStmt* stmt = Query("select v, n, i, c, d, v from t order by v");
  char v[21], c[10], d[20], v_afc[6];
  double n = 0;
  std::int64_t i = 0;
  sb2 ind[6] = {9, 9, 9, 9, 9, 9};
  ub2 len[6] = {}, code[6] = {};
  Define(stmt, 1, v, sizeof v, SQLT_STR, &ind[0], &len[0], &code[0]);
  Define(stmt, 2, &n, sizeof n, SQLT_FLT, &ind[1], &len[1], &code[1]);
  Define(stmt, 3, &i, sizeof i, SQLT_INT, &ind[2], &len[2], &code[2]);
  Define(stmt, 4, c, sizeof c, SQLT_CHR, &ind[3], &len[3], &code[3]);
  Define(stmt, 5, d, sizeof d, SQLT_STR, &ind[4], &len[4], &code[4]);
  Define(stmt, 6, v_afc, sizeof v_afc, SQLT_AFC, &ind[5], &len[5], &code[5]);
  ASSERT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();
  EXPECT_STREQ(v, "hola");
  EXPECT_EQ(len[0], 4);  // without the NUL
  EXPECT_EQ(n, 12.5);
  EXPECT_EQ(i, -42);
  EXPECT_EQ(std::string(c, len[3]), "ab  ");  // CHAR(4) keeps its blanks, no NUL
  EXPECT_EQ(std::string(d), "05-MAR-24");
  EXPECT_EQ(std::string(v_afc, len[5]), "hola  ");  // blank-padded to the buffer
  for (int col = 0; col < 6; ++col) {
    EXPECT_EQ(ind[col], 0) << col;
    EXPECT_EQ(code[col], 0) << col;
  }
  std::strcpy(v, "keep");
  ASSERT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();  // NULLs with indicators: no error
  for (int col = 0; col < 6; ++col) {
    EXPECT_EQ(ind[col], -1) << col;
    EXPECT_EQ(code[col], 1405) << col;
  }
  EXPECT_STREQ(v, "keep");  // the buffer of a NULL is left alone
  EXPECT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_ROW_COUNT), 2u);
  EXPECT_EQ(Fetch(stmt), OCI_NO_DATA);
  EXPECT_EQ(Error(), "1403 ORA-01403: no data found");
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "1002 ORA-01002: fetch out of sequence");
}

TEST_F(Values, NullWithoutIndicatorFailsTheFetch) {
  OCIStmt* stmt = Query("select null from dual");
  char text[4];
  Define(stmt, 1, text, sizeof text, SQLT_STR, nullptr);
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "1405 ORA-01405: fetched column value is NULL");
}

TEST_F(Values, TruncationIsReportedAndTheRowDelivered) {
  Run("create table t (v varchar2(40), w varchar2(10))");
  Run("insert into t values ('abcdefghij', 'xy')");
  OCIStmt* stmt = Query("select v, v, w from t");
  char str[5], chr[4], w[10];
  sb2 ind[3] = {};
  ub2 len[3] = {}, code[3] = {};
  Define(stmt, 1, str, sizeof str, SQLT_STR, &ind[0], &len[0], &code[0]);
  Define(stmt, 2, chr, sizeof chr, SQLT_CHR, &ind[1], &len[1], &code[1]);
  Define(stmt, 3, w, sizeof w, SQLT_STR, &ind[2], &len[2], &code[2]);
  EXPECT_EQ(Fetch(stmt), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(Error(), "1406 ORA-01406: fetched column value was truncated");
  EXPECT_STREQ(str, "abcd");
  EXPECT_EQ(std::string(chr, 4), "abcd");
  EXPECT_EQ(ind[0], 10);  // the length before truncation
  EXPECT_EQ(ind[1], 10);
  EXPECT_EQ(len[0], 4);
  EXPECT_EQ(len[1], 4);
  EXPECT_EQ(code[0], 1406);
  EXPECT_EQ(code[1], 1406);
  EXPECT_STREQ(w, "xy");
  EXPECT_EQ(code[2], 0);
  EXPECT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_ROW_COUNT), 1u);
}

TEST_F(Values, IntegersOfEveryWidthAndTheirOverflow) {
  OCIStmt* stmt = Query("select 300, -7.9 from dual");
  short small = 0;
  int truncated = 0;
  sb2 ind[2] = {};
  Define(stmt, 1, &small, sizeof small, SQLT_INT, &ind[0]);
  Define(stmt, 2, &truncated, sizeof truncated, SQLT_INT, &ind[1]);
  ASSERT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();
  EXPECT_EQ(small, 300);
  EXPECT_EQ(truncated, -7);
  OCIStmt* wide = Query("select 300 from dual");
  signed char tiny = 0;
  Define(wide, 1, &tiny, sizeof tiny, SQLT_INT, &ind[0]);
  EXPECT_EQ(Fetch(wide), OCI_ERROR);
  EXPECT_EQ(Error(), "1455 ORA-01455: converting column overflows integer datatype");
}

TEST_F(Values, NumbersInTheInternalFormat) {
  EXPECT_EQ(Varnum("select 0 from dual"), (std::vector<int>{0x80}));
  EXPECT_EQ(Varnum("select 1 from dual"), (std::vector<int>{0xC1, 0x02}));
  EXPECT_EQ(Varnum("select 100 from dual"), (std::vector<int>{0xC2, 0x02}));
  EXPECT_EQ(Varnum("select 0.5 from dual"), (std::vector<int>{0xC0, 0x33}));
  EXPECT_EQ(Varnum("select 123.45 from dual"), (std::vector<int>{0xC2, 0x02, 0x18, 0x2E}));
  EXPECT_EQ(Varnum("select -1 from dual"), (std::vector<int>{0x3E, 0x64, 0x66}));
  EXPECT_EQ(Varnum("select -123.45 from dual"), (std::vector<int>{0x3D, 0x64, 0x4E, 0x38, 0x66}));
  EXPECT_EQ(Varnum("select 12345678901234.5678 from dual"),
            (std::vector<int>{0xC7, 0x0D, 0x23, 0x39, 0x4F, 0x5B, 0x0D, 0x23, 0x39, 0x4F}));
  EXPECT_EQ(Varnum("select 0.0001 from dual"), (std::vector<int>{0xBF, 0x02}));
  // 40 significant digits: 20 mantissa bytes and, negative, no terminating 102.
  std::vector<int> full = Varnum("select -1234567890123456789012345678901234567890 from dual");
  ASSERT_EQ(full.size(), 21u);
  EXPECT_EQ(full[0], 0x3E - 19);
  EXPECT_EQ(full[1], 101 - 12);
  EXPECT_EQ(full[20], 101 - 90);

  // SQLT_NUM is the same without the length byte; the returned length counts the bytes.
  OCIStmt* stmt = Query("select 123.45 from dual");
  unsigned char number[22] = {};
  sb2 indicator = 0;
  ub2 length = 0;
  Define(stmt, 1, number, sizeof number, SQLT_NUM, &indicator, &length);
  ASSERT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();
  EXPECT_EQ(length, 4);
  EXPECT_EQ(std::vector<int>(number, number + 4), (std::vector<int>{0xC2, 0x02, 0x18, 0x2E}));
}

TEST_F(Values, ArrayFetchStopsShortWithNoData) {
  Run("create table t (a number)");
  Run("insert into t values (1)");
  Run("insert into t values (2)");
  OCIStmt* stmt = Query("select a from t order by a");
  int values[3] = {};
  sb2 ind[3] = {};
  Define(stmt, 1, values, sizeof values[0], SQLT_INT, ind);
  EXPECT_EQ(Fetch(stmt, 3), OCI_NO_DATA);
  EXPECT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_ROWS_FETCHED), 2u);
  EXPECT_EQ(StmtAttr<ub4>(stmt, OCI_ATTR_ROW_COUNT), 2u);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
}

TEST_F(Values, ExecuteWithItersFetchesAndZeroRowsCancels) {
  OCIStmt* stmt = Prepare("select 5 from dual");
  int value = 0;
  sb2 indicator = 0;
  Define(stmt, 1, &value, sizeof value, SQLT_INT, &indicator);
  ASSERT_EQ(Execute(stmt, 1), OCI_SUCCESS) << Error();
  EXPECT_EQ(value, 5);
  ASSERT_EQ(Execute(stmt, 0), OCI_SUCCESS);
  EXPECT_EQ(Fetch(stmt, 0), OCI_SUCCESS);  // cancels the open query
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "24338 ORA-24338: statement handle not executed");
}

// The database keeps UTF-8; each client gets and gives texts in its own character set, and a
// character its set lacks arrives as "?" (NLS_LANG unset means US7ASCII).
TEST_F(Values, TextsTravelInTheClientCharacterSet) {
  Run("create table t (v varchar2(20))");
  // One session at a time works on a database file: each client below logs on, works, logs off.
  ASSERT_EQ(oci_.OCILogoff(svc_, err_), OCI_SUCCESS);
  // Runs `sql` (a query: returns its first text) as a client of character set `charset`.
  auto as_client = [&](ub2 charset, const std::string& sql) {
    OCIEnv* env = nullptr;
    OCIError* err = nullptr;
    OCISvcCtx* svc = nullptr;
    EXPECT_EQ(oci_.OCIEnvNlsCreate(&env, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0,
                                   nullptr, charset, 0),
              OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr),
              OCI_SUCCESS);
    std::string connect = ConnectString();
    EXPECT_EQ(oci_.OCILogon2(env, err, &svc, Bytes("DEMO"), 4, Bytes("demo"), 4, Bytes(connect),
                             Size(connect), OCI_DEFAULT),
              OCI_SUCCESS);
    OCIStmt* stmt = nullptr;
    EXPECT_EQ(oci_.OCIStmtPrepare2(svc, &stmt, err, Bytes(sql), Size(sql), nullptr, 0,
                                   OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS);
    bool query = sql.starts_with("select");
    EXPECT_EQ(oci_.OCIStmtExecute(svc, stmt, err, query ? 0 : 1, 0, nullptr, nullptr,
                                  OCI_COMMIT_ON_SUCCESS),
              OCI_SUCCESS);
    char text[21] = {};
    if (query) {
      sb2 indicator = 0;
      OCIDefine* define = nullptr;
      EXPECT_EQ(oci_.OCIDefineByPos(stmt, &define, err, 1, text, sizeof text, SQLT_STR, &indicator,
                                    nullptr, nullptr, OCI_DEFAULT),
                OCI_SUCCESS);
      EXPECT_EQ(oci_.OCIStmtFetch2(stmt, err, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
    }
    EXPECT_EQ(oci_.OCILogoff(svc, err), OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
    return std::string(text);
  };
  constexpr ub2 kUs7Ascii = 1, kWindows1252 = 178, kAl32Utf8 = 873;
  as_client(kAl32Utf8, "insert into t values ('Nu\u00f1ez')");
  EXPECT_EQ(as_client(kWindows1252, "select v from t"),
            "Nu\xf1"
            "ez");
  EXPECT_EQ(as_client(kAl32Utf8, "select v from t"), "Nu\u00f1ez");
  EXPECT_EQ(as_client(kAl32Utf8, "select to_char(length(v)) from t"), "5");
  as_client(kWindows1252,
            "update t set v = 'Mu\xf1"
            "oz'");
  EXPECT_EQ(as_client(kAl32Utf8, "select v from t"), "Mu\u00f1oz");
  EXPECT_EQ(as_client(kUs7Ascii, "select v from t"), "Mu?oz");
}

struct Pieces {
  std::string value;
  std::vector<ub1> kinds;
  char buffer[64];
  ub4 length = 0;
  sb2 indicator = 9;
  ub2 code = 9;
};

sb4 NextPiece(void* context, OCIDefine* /*define*/, ub4 iter, void** bufpp, ub4** alenp,
              ub1* piecep, void** indp, ub2** rcodep) {
  auto* pieces = static_cast<Pieces*>(context);
  if (pieces->kinds.empty() == false) pieces->value.append(pieces->buffer, pieces->length);
  pieces->kinds.push_back(*piecep);
  EXPECT_EQ(iter, 0u);
  pieces->length = sizeof pieces->buffer;
  *bufpp = pieces->buffer;
  *alenp = &pieces->length;
  *indp = &pieces->indicator;
  *rcodep = &pieces->code;
  return OCI_CONTINUE;
}

TEST_F(Values, DynamicFetchDeliversALongValueWhole) {
  Run("create table t (l long)");
  std::string text;
  for (int idx = 0; idx < 150; ++idx) text += static_cast<char>('a' + idx % 26);
  Run("insert into t values ('" + text + "')");
  OCIStmt* stmt = Query("select l from t");
  OCIDefine* define =
      Define(stmt, 1, nullptr, 1 << 30, SQLT_CHR, nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH);
  Pieces pieces;
  ASSERT_EQ(oci_.OCIDefineDynamic(define, err_, &pieces, NextPiece), OCI_SUCCESS);
  ASSERT_EQ(Fetch(stmt), OCI_SUCCESS) << Error();
  pieces.value.append(pieces.buffer, pieces.length);
  EXPECT_EQ(pieces.value, text);
  EXPECT_EQ(pieces.kinds, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_NEXT_PIECE}));
  EXPECT_EQ(pieces.length, 150u - 128u);
  EXPECT_EQ(pieces.indicator, 0);
  EXPECT_EQ(pieces.code, 0);
}

TEST_F(Values, DefinesOutsideTheSelectListOrOfUnknownTypes) {
  OCIStmt* stmt = Query("select 1 from dual");
  int value = 0;
  sb2 indicator = 0;
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "24374 ORA-24374: define not done before fetch or execute and fetch");
  Define(stmt, 2, &value, sizeof value, SQLT_INT, &indicator);
  EXPECT_EQ(Fetch(stmt), OCI_ERROR);
  EXPECT_EQ(Error(), "1007 ORA-01007: variable not in select list");
  OCIDefine* define = nullptr;
  EXPECT_EQ(oci_.OCIDefineByPos(stmt, &define, err_, 1, &value, sizeof value, SQLT_DAT, &indicator,
                                nullptr, nullptr, OCI_DEFAULT),
            OCI_ERROR);
  EXPECT_EQ(Error(), "3115 ORA-03115: unsupported network datatype or representation");
}

}  // namespace
}  // namespace volmek::ocidouble
