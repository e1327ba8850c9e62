// The Oracle backend's logon failures as the user sees them: the logon line, then one line that
// says why. The client stand-ins come from the loader's tests (build/oci-stubs/).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class OracleClientFailures : public ::testing::Test {
 protected:
  ProgramResult RunWith(const std::string& stub) {
    return Volmek(dir_, {"sql", "select * from dual"},
                  {{"TNS", "//db.example:1521/orcl"},
                   {"VOLMEK_OCI_LIB_DIR", std::string(VOLMEK_BINARY_DIR) + "/oci-stubs/" + stub}});
  }
  TempDir dir_;
};

TEST_F(OracleClientFailures, UnknownServiceShowsOraclesMessage) {
  ProgramResult run = RunWith("full");
  EXPECT_EQ(run.out,
            "No se puede establecer conexion con Base de Datos DEMO\n"
            "ORA-12514: TNS:listener does not currently know of service requested in connect "
            "descriptor\n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(OracleClientFailures, ClientOlderThan19IsNamedWithItsRelease) {
  ProgramResult run = RunWith("old");
  EXPECT_THAT(run.out, ::testing::StartsWith(
                           "No se puede establecer conexion con Base de Datos DEMO\n"
                           "No se puede usar la biblioteca cliente de Oracle: " +
                           std::string(VOLMEK_BINARY_DIR) +
                           "/oci-stubs/old/libclntsh.so es de la version 18.1, se necesita la "
                           "19 o posterior. Buscada en: "));
  EXPECT_EQ(run.status, 1);
}

TEST_F(OracleClientFailures, ClientWithoutItsDependencyQuotesTheLoader) {
  ProgramResult run = RunWith("needsdep");
  EXPECT_THAT(run.out, ::testing::HasSubstr("libvolmekstubdep.so: cannot open shared object file"));
  EXPECT_THAT(run.out, ::testing::HasSubstr("libaio1 o libaio1t64"));
  EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace volmek::testing
