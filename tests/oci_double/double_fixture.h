// The fixture of the double's tests: loads build/oci-double/libclntsh.so with dlopen, as a
// client program does, resolves the OCI functions and logs on to a database file in a
// temporary directory.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "oci_double/oci_api.h"
#include "testing/harness.h"

namespace volmek::ocidouble {

// Every exported function, as a pointer of its declared type.
struct Oci {
#define VOLMEK_OCI_FUNCTION(name) decltype(&::name) name = nullptr;
  VOLMEK_OCI_FUNCTION(OCIEnvNlsCreate)
  VOLMEK_OCI_FUNCTION(OCIHandleAlloc)
  VOLMEK_OCI_FUNCTION(OCIHandleFree)
  VOLMEK_OCI_FUNCTION(OCIDescriptorFree)
  VOLMEK_OCI_FUNCTION(OCILogon2)
  VOLMEK_OCI_FUNCTION(OCILogoff)
  VOLMEK_OCI_FUNCTION(OCIStmtPrepare2)
  VOLMEK_OCI_FUNCTION(OCIStmtRelease)
  VOLMEK_OCI_FUNCTION(OCIStmtExecute)
  VOLMEK_OCI_FUNCTION(OCIStmtFetch2)
  VOLMEK_OCI_FUNCTION(OCIParamGet)
  VOLMEK_OCI_FUNCTION(OCIAttrGet)
  VOLMEK_OCI_FUNCTION(OCIAttrSet)
  VOLMEK_OCI_FUNCTION(OCIDefineByPos)
  VOLMEK_OCI_FUNCTION(OCIDefineDynamic)
  VOLMEK_OCI_FUNCTION(OCIErrorGet)
  VOLMEK_OCI_FUNCTION(OCITransCommit)
  VOLMEK_OCI_FUNCTION(OCITransRollback)
  VOLMEK_OCI_FUNCTION(OCIClientVersion)
  VOLMEK_OCI_FUNCTION(OCINlsNumericInfoGet)
#undef VOLMEK_OCI_FUNCTION
};

class DoubleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(VOLMEK_OCI_DOUBLE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
#define VOLMEK_OCI_RESOLVE(name)                                             \
  oci_.name = reinterpret_cast<decltype(oci_.name)>(dlsym(library_, #name)); \
  ASSERT_NE(oci_.name, nullptr) << #name;
    VOLMEK_OCI_RESOLVE(OCIEnvNlsCreate)
    VOLMEK_OCI_RESOLVE(OCIHandleAlloc)
    VOLMEK_OCI_RESOLVE(OCIHandleFree)
    VOLMEK_OCI_RESOLVE(OCIDescriptorFree)
    VOLMEK_OCI_RESOLVE(OCILogon2)
    VOLMEK_OCI_RESOLVE(OCILogoff)
    VOLMEK_OCI_RESOLVE(OCIStmtPrepare2)
    VOLMEK_OCI_RESOLVE(OCIStmtRelease)
    VOLMEK_OCI_RESOLVE(OCIStmtExecute)
    VOLMEK_OCI_RESOLVE(OCIStmtFetch2)
    VOLMEK_OCI_RESOLVE(OCIParamGet)
    VOLMEK_OCI_RESOLVE(OCIAttrGet)
    VOLMEK_OCI_RESOLVE(OCIAttrSet)
    VOLMEK_OCI_RESOLVE(OCIDefineByPos)
    VOLMEK_OCI_RESOLVE(OCIDefineDynamic)
    VOLMEK_OCI_RESOLVE(OCIErrorGet)
    VOLMEK_OCI_RESOLVE(OCITransCommit)
    VOLMEK_OCI_RESOLVE(OCITransRollback)
    VOLMEK_OCI_RESOLVE(OCIClientVersion)
    VOLMEK_OCI_RESOLVE(OCINlsNumericInfoGet)
#undef VOLMEK_OCI_RESOLVE
    setenv("ORA_SUPPRESS_ERROR_URL", "TRUE", 1);
    ASSERT_EQ(oci_.OCIEnvNlsCreate(&env_, OCI_DEFAULT, nullptr, nullptr, nullptr, nullptr, 0,
                                   nullptr, 0, 0),
              OCI_SUCCESS);
    unsetenv("ORA_SUPPRESS_ERROR_URL");
    ASSERT_EQ(
        oci_.OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_), OCI_HTYPE_ERROR, 0, nullptr),
        OCI_SUCCESS);
  }

  void TearDown() override {
    if (env_ != nullptr) {
      EXPECT_EQ(oci_.OCIHandleFree(env_, OCI_HTYPE_ENV), OCI_SUCCESS);
    }
    if (library_ != nullptr) dlclose(library_);
  }

  std::string ConnectString() const { return "//localhost/volmek?file=" + dir_.File("t.db"); }

  sword Logon(const std::string& user, const std::string& password, const std::string& connect,
              OCISvcCtx** svc) {
    return oci_.OCILogon2(env_, err_, svc, Bytes(user), Size(user), Bytes(password), Size(password),
                          Bytes(connect), Size(connect), OCI_DEFAULT);
  }

  // Logs on as DEMO/demo to the fixture's database file.
  void LogonDemo() {
    ASSERT_EQ(Logon("DEMO", "demo", ConnectString(), &svc_), OCI_SUCCESS) << Error();
  }

  // The first record of the error handle: "<code> <text>" without the line end.
  std::string Error() {
    sb4 code = 0;
    OraText text[512] = {};
    if (oci_.OCIErrorGet(err_, 1, nullptr, &code, text, sizeof text, OCI_HTYPE_ERROR) !=
        OCI_SUCCESS) {
      return "(no record)";
    }
    std::string message(reinterpret_cast<char*>(text));
    if (!message.empty() && message.back() == '\n') message.pop_back();
    return std::to_string(code) + " " + message;
  }

  OCIStmt* Prepare(const std::string& sql) {
    OCIStmt* stmt = nullptr;
    EXPECT_EQ(oci_.OCIStmtPrepare2(svc_, &stmt, err_, Bytes(sql), Size(sql), nullptr, 0,
                                   OCI_NTV_SYNTAX, OCI_DEFAULT),
              OCI_SUCCESS)
        << Error();
    return stmt;
  }

  sword Execute(OCIStmt* stmt, ub4 iters, ub4 mode = OCI_DEFAULT) {
    return oci_.OCIStmtExecute(svc_, stmt, err_, iters, 0, nullptr, nullptr, mode);
  }

  // Prepares and executes a statement that is no query, expecting success.
  void Run(const std::string& sql) {
    OCIStmt* stmt = Prepare(sql);
    ASSERT_EQ(Execute(stmt, 1), OCI_SUCCESS) << sql << ": " << Error();
    ASSERT_EQ(oci_.OCIStmtRelease(stmt, err_, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
  }

  // Prepares and executes a query (iters 0).
  OCIStmt* Query(const std::string& sql) {
    OCIStmt* stmt = Prepare(sql);
    EXPECT_EQ(Execute(stmt, 0), OCI_SUCCESS) << sql << ": " << Error();
    return stmt;
  }

  // The first column of the first row of a query, as a 32-bit integer.
  int QueryInt(const std::string& sql) {
    OCIStmt* stmt = Query(sql);
    int value = -1;
    OCIDefine* define = nullptr;
    EXPECT_EQ(oci_.OCIDefineByPos(stmt, &define, err_, 1, &value, sizeof value, SQLT_INT, nullptr,
                                  nullptr, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(oci_.OCIStmtFetch2(stmt, err_, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS)
        << Error();
    EXPECT_EQ(oci_.OCIStmtRelease(stmt, err_, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
    return value;
  }

  template <typename T>
  T StmtAttr(OCIStmt* stmt, ub4 attribute) {
    T value{};
    EXPECT_EQ(oci_.OCIAttrGet(stmt, OCI_HTYPE_STMT, &value, nullptr, attribute, err_), OCI_SUCCESS)
        << Error();
    return value;
  }

  static const OraText* Bytes(const std::string& text) {
    return reinterpret_cast<const OraText*>(text.data());
  }
  static ub4 Size(const std::string& text) { return static_cast<ub4>(text.size()); }

  testing::TempDir dir_;
  void* library_ = nullptr;
  Oci oci_;
  OCIEnv* env_ = nullptr;
  OCIError* err_ = nullptr;
  OCISvcCtx* svc_ = nullptr;
};

}  // namespace volmek::ocidouble
