// The file named by TNS: only a database volmek made is opened. Anything else is refused with
// the logon line and a second line naming the real cause, and is left exactly as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

const std::string kLogonLine = "No se puede establecer conexion con Base de Datos DEMO\n";

class DatabaseFile : public ::testing::Test {
 protected:
  ProgramResult RunOn(const std::string& path) {
    return Volmek(dir_, {"sql", "select 1 from dual"}, {{"TNS", "file:" + path}});
  }

  // Runs on `path` and expects the refusal with `detail`, the file's bytes and mode unchanged.
  void ExpectRefusedUntouched(const std::string& path, const std::string& detail) {
    const std::string bytes = ReadFile(path);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ProgramResult result = RunOn(path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, kLogonLine + detail + "\n");
    EXPECT_EQ(ReadFile(path), bytes);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  }

  // A volmek database with one table, made by a logon.
  std::string VolmekDatabase(const std::string& name) {
    const std::string path = dir_.File(name);
    ProgramResult made =
        Volmek(dir_, {"sql", "create table t (a number)"}, {{"TNS", "file:" + path}});
    EXPECT_EQ(made.status, 0) << made.out;
    return path;
  }

  TempDir dir_;
};

// The bug: another program's SQLite file got the engine's tables, the password hash and the
// "creada" line, and kept its mode 0644.
TEST_F(DatabaseFile, AnotherProgramsSqliteFileIsRefusedUntouched) {
  const std::string path = dir_.File("otro.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "create table agenda (nombre text); insert into agenda values ('x')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ::chmod(path.c_str(), 0644);
  ExpectRefusedUntouched(
      path, "El fichero " + path + " es una base de datos de otro programa, no de volmek.");
}

TEST_F(DatabaseFile, EmptyFileIsRefusedUntouched) {
  const std::string path = dir_.File("vacio.db");
  WriteFile(path, "");
  ::chmod(path.c_str(), 0644);
  ExpectRefusedUntouched(path,
                         "El fichero " + path + " esta vacio, no es una base de datos de volmek.");
}

TEST_F(DatabaseFile, FileThatIsNoSqliteDatabaseIsRefusedUntouched) {
  const std::string path = dir_.File("notas.txt");
  WriteFile(path, std::string(5000, 'x') + "\nno es una base de datos\n");
  ExpectRefusedUntouched(path, "El fichero " + path + " no es una base de datos de volmek.");
}

TEST_F(DatabaseFile, DirectoryAndFifoAreRefused) {
  const std::string directory = dir_.File("carpeta");
  std::filesystem::create_directory(directory);
  ProgramResult result = RunOn(directory);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            kLogonLine + directory + " es un directorio, no una base de datos de volmek.\n");
  const std::string fifo = dir_.File("tuberia");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  result = RunOn(fifo);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, kLogonLine + fifo +
                            " no es un fichero normal, no una base de datos de "
                            "volmek.\n");
}

// The bug: a damaged, truncated or locked database gave only the wrong-password line.
TEST_F(DatabaseFile, DamagedOrTruncatedDatabaseIsNamed) {
  const std::string damaged = VolmekDatabase("danada.db");
  std::string bytes = ReadFile(damaged);
  ASSERT_GT(bytes.size(), 8192u);
  for (std::size_t at = 100; at < 4096; ++at) bytes[at] = static_cast<char>(0xA5);
  WriteFile(damaged, bytes);
  ExpectRefusedUntouched(damaged, "La base de datos " + damaged + " esta danada o cortada.");

  const std::string truncated = VolmekDatabase("cortada.db");
  std::filesystem::resize_file(truncated, 1024);
  ExpectRefusedUntouched(truncated, "La base de datos " + truncated + " esta danada o cortada.");
}

TEST_F(DatabaseFile, DatabaseLockedBeyondTheBusyTimeoutIsNamed) {
  const std::string path = VolmekDatabase("ocupada.db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
  ProgramResult result = RunOn(path);
  sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            kLogonLine + "La base de datos " + path + " esta bloqueada por otro proceso.\n");
  EXPECT_EQ(RunOn(path).status, 0);
}

TEST_F(DatabaseFile, FileWithoutPermissionIsNamed) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes every file";
  const std::string path = VolmekDatabase("privada.db");
  ::chmod(path.c_str(), 0400);
  ExpectRefusedUntouched(
      path, "No hay permiso de lectura y escritura sobre la base de datos " + path + ".");
}

TEST_F(DatabaseFile, WrongPasswordKeepsItsOneLine) {
  const std::string path = VolmekDatabase("buena.db");
  ProgramResult result =
      Volmek(dir_, {"sql", "select 1 from dual"}, {{"TNS", "file:" + path}, {"PASSWD", "mala"}});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, kLogonLine);
}

}  // namespace
}  // namespace volmek::testing
