// Accounts of the embedded database: the password never appears in clear, the file is private,
// and a wrong password is refused every time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "base/text.h"
#include "testing/harness.h"

namespace volmek::testing {
namespace {

class Accounts : public ::testing::Test {
 protected:
  ProgramResult As(const std::string& user, const std::string& password,
                   const std::vector<std::string>& args) {
    return Volmek(dir_, args, {{"NOMBREBD", user}, {"PASSWD", password}});
  }
  TempDir dir_;
};

TEST_F(Accounts, PasswordIsNeverStoredOrPrintedInClear) {
  const std::string secret = "Clave-Muy-Secreta-4711";
  ProgramResult first = As("GESTOR", secret, {"sql", "create table t (a number)"});
  ASSERT_EQ(first.status, 0) << first.out;
  ASSERT_EQ(As("GESTOR", secret, {"sql", "create user OTRO identified by OtraClave0815"}).status,
            0);
  ASSERT_EQ(As("GESTOR", secret, {"sql", "alter user OTRO identified by Cambiada0816"}).status, 0);

  std::string bytes = ReadFile(dir_.File("test.db"));
  ASSERT_FALSE(bytes.empty());
  // sql upper-cases its statement, so the new users' passwords arrive upper-cased.
  for (const std::string& clear :
       {secret, UpperCase(secret), std::string("OTRACLAVE0815"), std::string("CAMBIADA0816")}) {
    EXPECT_EQ(bytes.find(clear), std::string::npos) << clear << " is stored in clear";
    EXPECT_EQ(first.out.find(clear), std::string::npos);
  }
}

TEST_F(Accounts, DatabaseFileIsReadableByItsOwnerOnly) {
  ASSERT_EQ(As("GESTOR", "pw", {"sql", "select 1 from dual"}).status, 0);
  struct stat info {};
  ASSERT_EQ(stat(dir_.File("test.db").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Accounts, WrongPasswordIsRefusedEveryTime) {
  ASSERT_EQ(As("GESTOR", "buena", {"sql", "select 1 from dual"}).status, 0);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ProgramResult refused = As("GESTOR", "mala", {"sql", "select 1 from dual"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "No se puede establecer conexion con Base de Datos GESTOR\n");
  }
  // A password that differs only in letter case is another password.
  EXPECT_EQ(As("GESTOR", "BUENA", {"sql", "select 1 from dual"}).status, 1);
  EXPECT_EQ(As("GESTOR", "buena", {"sql", "select 1 from dual"}).status, 0);
}

TEST_F(Accounts, UnknownAndEmptyUsersAreRefused) {
  ASSERT_EQ(As("GESTOR", "buena", {"sql", "select 1 from dual"}).status, 0);
  EXPECT_EQ(As("NADIE", "buena", {"sql", "select 1 from dual"}).out,
            "No se puede establecer conexion con Base de Datos NADIE\n");
  EXPECT_EQ(As("", "buena", {"sql", "select 1 from dual"}).out,
            "No se puede establecer conexion con Base de Datos \n");
}

TEST_F(Accounts, EachUserSeesOnlyItsOwnTables) {
  ASSERT_EQ(As("GESTOR", "pw", {"sql", "create table privada (a number)"}).status, 0);
  ASSERT_EQ(As("GESTOR", "pw", {"sql", "create user OTRO identified by otra"}).status, 0);
  // sql upper-cases its statement: the new user's password is OTRA.
  ProgramResult other = As("OTRO", "OTRA", {"sql", "select count(*) from user_tables"});
  EXPECT_NE(other.out.find("\n                 0 \n"), std::string::npos) << other.out;
  EXPECT_NE(As("OTRO", "OTRA", {"sql", "select * from privada"}).out.find("ORA-00942"),
            std::string::npos);
}

}  // namespace
}  // namespace volmek::testing
