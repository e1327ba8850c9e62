// Data safety end to end: commits that fail (a full disk, a busy database), a failure that ends
// the transaction, output that cannot be written, a file size limit, runs over several tables
// that go on after a failing one, and a working directory that was removed.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "e2e/datafiles_support.h"

namespace volmek::testing {
namespace {

// The commit at the end failed on a full disk: SQLite rolled the transaction back.
const std::string kLostCommit =
    "\nError de Oracle. ORA-00603: ORACLE server session terminated by fatal error\n"
    "ORA-00600: internal error code, arguments: [sqlite], [disk I/O error]\ncommit work\n\n";
// The commit at the end waited for a reader past the busy timeout.
const std::string kBusyCommit =
    "\nError de Oracle. ORA-00054: resource busy and acquire with NOWAIT specified\n"
    "commit work\n\n";

// Another process's read transaction on the database, held while it lives.
class ReadHolder {
 public:
  explicit ReadHolder(const std::string& path) {
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    EXPECT_EQ(
        sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr),
        SQLITE_OK);
  }
  ~ReadHolder() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }
  ReadHolder(const ReadHolder&) = delete;
  ReadHolder& operator=(const ReadHolder&) = delete;

 private:
  sqlite3* db_ = nullptr;
};

class DataSafety : public DataFilesRun {
 protected:
  void SetUp() override {
    Script({"create table t (id number(8), nombre varchar2(200))",
            "insert into t values (1, 'VIEJA')"});
  }

  ProgramRun Prepared(const std::vector<std::string>& args) {
    ProgramRun run;
    run.program = "volmek";
    run.args = args;
    run.env = EmbeddedEnv(dir_.File("test.db"));
    run.cwd = dir_.path();
    run.close_stdin = true;
    return run;
  }

  // The database file cannot grow past its present size: a write beyond it fails as it would
  // on a full disk.
  ProgramResult RunOnFullDisk(const std::vector<std::string>& args) {
    ProgramRun run = Prepared(args);
    run.file_size_limit = static_cast<long long>(std::filesystem::file_size(dir_.File("test.db")));
    return volmek::testing::Run(run);
  }

  // `count` lines for T, each far longer than the rows already there.
  void WriteTableFile(const std::string& name, int count) {
    std::string lines;
    for (int idx = 0; idx < count; ++idx) {
      lines += fmt::format("{},'{}'\n", idx + 10, std::string(150, 'x'));
    }
    dir_.Write(name, lines);
  }

  std::string Contents() { return Rows("select count(*), max(nombre) from t"); }
};

TEST_F(DataSafety, RestoreWhoseCommitFailsOnAFullDiskPrintsNoSummaryAndKeepsTheOldRows) {
  // The bug: the summary was printed, the status was 0 and the commit failure went unseen.
  WriteTableFile("T.txt", 3000);
  std::string before = Contents();
  ProgramResult run = RunOnFullDisk({"restore", "T"});
  EXPECT_EQ(run.out, kLostCommit);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, AddWhoseCommitFailsOnAFullDiskPrintsNoSummary) {
  WriteTableFile("T.txt", 3000);
  std::string before = Contents();
  ProgramResult run = RunOnFullDisk({"add", "T"});
  EXPECT_EQ(run.out, kLostCommit);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, ScriptsWhoseCommitFailsOnAFullDiskEndWithStatusOne) {
  std::string script;
  for (int idx = 0; idx < 4; ++idx) {
    script += fmt::format(
        "insert into t select level + {}, rpad('x', 150, 'x') from dual connect by level <= 500"
        "\n;\n",
        idx * 1000);
  }
  dir_.Write("CARGA.SQL", script);
  dir_.Write("CARGA.TXT", script);
  std::string before = Contents();
  ProgramResult fsql = RunOnFullDisk({"fsql", "carga.sql"});
  EXPECT_EQ(fsql.out,
            "fichero (CARGA.sql)  extension (SQL) \nEjecutando CARGA.sql...\n" + kLostCommit);
  EXPECT_EQ(fsql.status, 1);
  ProgramResult fiche = RunOnFullDisk({"fiche", "carga.txt"});
  EXPECT_EQ(fiche.out, "Ejecuta el fichero (CARGA.TXT)\nEjecutando CARGA.TXT...\n" + kLostCommit);
  EXPECT_EQ(fiche.status, 1);
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, SqlWhoseCommitFailsPrintsNoRowCount) {
  std::string before = Contents();
  ProgramResult run = RunOnFullDisk(
      {"sql",
       "insert into t select level + 10, rpad('x', 150, 'x') from dual connect by level "
       "<= 500"});
  EXPECT_EQ(run.out, kLostCommit);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, FailureThatEndsTheTransactionStopsTheRestoreWithOneReport) {
  // The bug: SQLite had rolled the whole transaction back (the old rows came back) and the
  // following inserts were committed one by one, each failing line reported.
  WriteTableFile("T.txt", 30000);
  std::string before = Contents();
  ProgramResult run = RunOnFullDisk({"restore", "T"});
  // Where the failure comes (an insert that spills the page cache, or the commit) depends on
  // the cache's size; the report is the same.
  EXPECT_TRUE(run.out.starts_with(
      "\nError de Oracle. ORA-00603: ORACLE server session terminated by fatal error\n"
      "ORA-00600: internal error code, arguments: [sqlite], [disk I/O error]\n"))
      << run.out.substr(0, 400);
  std::size_t reports = 0;
  for (std::size_t at = run.out.find("Error de Oracle"); at != std::string::npos;
       at = run.out.find("Error de Oracle", at + 1)) {
    ++reports;
  }
  EXPECT_EQ(reports, 1u);
  EXPECT_EQ(run.out.find("Restore"), std::string::npos);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, RestoreWhoseCommitWaitsForABusyDatabaseFails) {
  dir_.Write("T.txt", "2,'NUEVA'\n");
  std::string before = Contents();
  {
    ReadHolder reader(dir_.File("test.db"));
    ProgramResult run = Run({"restore", "T"});
    EXPECT_EQ(run.out, kBusyCommit);
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, AddWhoseCommitWaitsForABusyDatabaseFails) {
  dir_.Write("T.txt", "2,'NUEVA'\n");
  std::string before = Contents();
  {
    ReadHolder reader(dir_.File("test.db"));
    ProgramResult run = Run({"add", "T"});
    EXPECT_EQ(run.out, kBusyCommit);
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, FsqlWhoseCommitWaitsForABusyDatabaseFails) {
  dir_.Write("CARGA.SQL", "insert into t values (2, 'NUEVA')\n");
  std::string before = Contents();
  {
    ReadHolder reader(dir_.File("test.db"));
    ProgramResult run = Run({"fsql", "carga.sql"});
    EXPECT_EQ(run.out,
              "fichero (CARGA.sql)  extension (SQL) \nEjecutando CARGA.sql...\n" + kBusyCommit);
    EXPECT_EQ(run.status, 1);
  }
  EXPECT_EQ(Contents(), before);
}

TEST_F(DataSafety, OutputThatCannotBeWrittenFailsTheRun) {
  // The bug: `volmek sql "select ..." > /dev/full` ended with status 0.
  ProgramRun query = Prepared({"sql", "select * from t"});
  query.stdout_path = "/dev/full";
  EXPECT_EQ(volmek::testing::Run(query).status, 1);
  ProgramRun backup = Prepared({"backup", "T"});
  backup.stdout_path = "/dev/full";
  EXPECT_EQ(volmek::testing::Run(backup).status, 1);
}

TEST_F(DataSafety, BackupUnderAFileSizeLimitIsAWriteError) {
  // The bug: SIGXFSZ killed the run (status 153), silently, leaving its temporary file.
  WriteTableFile("T.txt", 3000);
  ASSERT_EQ(Run({"restore", "T"}).status, 0);
  dir_.Write("T.txt", "copia previa\n");
  ProgramRun run = Prepared({"backup", "T"});
  run.file_size_limit = 100 * 1024;
  ProgramResult result = volmek::testing::Run(run);
  EXPECT_EQ(result.out, "Imposible escribir fichero copia (T.txt).\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(dir_.Read("T.txt"), "copia previa\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST_F(DataSafety, CompanionProgramsReportWritesThatFail) {
  // The bug: volmek-exp died of SIGXFSZ under a file-size limit, silently, with its temporary
  // dump left behind; volmek-plus and the companions ended with status 0 on /dev/full.
  WriteTableFile("T.txt", 3000);
  ASSERT_EQ(Run({"restore", "T"}).status, 0);
  ProgramRun exp = Prepared({"userid=DEMO/demo@file:" + dir_.File("test.db"), "file=x.dmp"});
  exp.program = "volmek-exp";
  exp.file_size_limit = 100 * 1024;
  ProgramResult limited = volmek::testing::Run(exp);
  EXPECT_EQ(limited.status, 1);
  EXPECT_NE(limited.out.find("Imposible escribir fichero (x.dmp).\n"), std::string::npos)
      << limited.out;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.dmp")));
  EXPECT_FALSE(std::filesystem::exists(dir_.File("x.dmp.tmp")));

  exp.file_size_limit = -1;
  exp.stdout_path = "/dev/full";
  EXPECT_EQ(volmek::testing::Run(exp).status, 1);
  dir_.Write("q.sql", "select * from t;\nquit\n");
  ProgramRun plus = Prepared({"q.sql"});
  plus.program = "volmek-plus";
  plus.stdout_path = "/dev/full";
  EXPECT_EQ(volmek::testing::Run(plus).status, 1);
}

class SeveralTables : public DataFilesRun {
 protected:
  void SetUp() override {
    Script({"create table m1 (id number(8))", "create table m2 (id number(8))"});
    dir_.Write("M1.txt", "1\n'no es un numero'\n3\n");
    dir_.Write("M2.txt", "7\n8\n");
  }
  std::string Counts() {
    return Rows("select (select count(*) from m1) * 10 + (select count(*) from m2) from dual");
  }
};

TEST_F(SeveralTables, RestoreGoesOnAfterATableWithRejectedLines) {
  // The bug: the run stopped at M1 and M2 was never loaded.
  ProgramResult run = Run({"restore", "M1", "M2"});
  EXPECT_EQ(run.out,
            "\nError de Oracle. ORA-01722: invalid number\n"
            "insert into M1 values ('no es un numero')\n\n"
            "Restore M1 con 3 filas recuperadas.\nWarning. 1 fila rechazada.\n"
            "Restore M2 con 2 filas recuperadas.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(Counts().find(" 22 \n"), std::string::npos) << Counts();
}

TEST_F(SeveralTables, AddAndRestoreAllGoOnAfterAFailingTable) {
  ProgramResult add = Run({"add", "M1", "M2"});
  EXPECT_EQ(add.status, 1);
  EXPECT_NE(add.out.find("Add M2 con 2 filas recuperadas.\n"), std::string::npos) << add.out;
  EXPECT_NE(Counts().find(" 22 \n"), std::string::npos) << Counts();
  ProgramResult all = Run({"restore", "all"});
  EXPECT_EQ(all.status, 1);
  EXPECT_NE(all.out.find("Restore M1 con 3 filas recuperadas.\n"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("Restore M2 con 2 filas recuperadas.\n"), std::string::npos) << all.out;
  EXPECT_NE(Counts().find(" 22 \n"), std::string::npos) << Counts();
}

TEST_F(SeveralTables, MissingFileOfOneTableLeavesItAndLoadsTheNext) {
  std::filesystem::remove(dir_.File("M1.txt"));
  ProgramResult run = Run({"restore", "M1", "M2", "M1"});
  EXPECT_EQ(run.out,
            "Imposible abrir fichero restore (M1.txt).\nRestore M2 con 2 filas recuperadas.\n"
            "Imposible abrir fichero restore (M1.txt).\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(Counts().find(" 2 \n"), std::string::npos) << Counts();
}

TEST_F(SeveralTables, ImpGoesOnAfterAFailingName) {
  ASSERT_EQ(Run({"exp", "M2"}).status, 0);
  ProgramResult run = Run({"imp", "M1", "M2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("tables=M1 file=M1.dmp"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("tables=M2 file=M2.dmp"), std::string::npos) << run.out;
}

TEST_F(DataFilesRun, TraspasoInARemovedWorkingDirectoryFails) {
  // The bug: the removed directory listed as an empty one and the run ended with status 0.
  Script({"create table z (x number(1))"});
  ProgramRun run;
  run.program = "/bin/sh";
  run.args = {"-c", "mkdir ido && cd ido && rmdir ../ido && exec \"$0\" traspaso txt",
              BuiltBinary("volmek")};
  run.env = EmbeddedEnv(dir_.File("test.db"));
  run.cwd = dir_.path();
  run.close_stdin = true;
  ProgramResult result = volmek::testing::Run(run);
  EXPECT_EQ(result.out, "Imposible abrir directorio (.).\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(DataFilesRun, RestoreLoadsATextOfManyLineEndsThatBackupWrote) {
  // The bug: 200 line ends or more were written as that many ||chr(10)|| pieces, and the
  // reload failed with ORA-00600 (statement nested too deeply).
  Script({"create table c (id number(8), texto varchar2(2000))",
          "insert into c values (1, replace(rpad('x', 600, 'x'), 'x', 'a' || chr(10)))"});
  std::string query = "select id, length(texto), length(replace(texto, chr(10))) from c";
  std::string before = Rows(query);
  ASSERT_NE(before.find(" 1200 "), std::string::npos) << before;
  ASSERT_EQ(Run({"backup", "C"}).status, 0);
  ProgramResult run = Run({"restore", "C"});
  EXPECT_EQ(run.out, "Restore C con 1 fila recuperada.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Rows(query), before);
}

TEST_F(DataFilesRun, OldFormNullsInNumberAndDateColumnsLoadAsNull) {
  // The bug: ORA-01722 for the number, ORA-01840 for the date.
  Script({"create table v (id number(8), alta date, nombre char(4))"});
  dir_.Write("V.txt", "'" + std::string(18, ' ') + "','" + std::string(9, ' ') + "','    '\n" +
                          "2,'" + std::string(9, ' ') + "','AB  '\n");
  ProgramResult run = Run({"restore", "V"});
  EXPECT_EQ(run.out, "Restore V con 2 filas recuperadas.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(Rows("select count(*) from v where alta is null and nombre is not null").find(" 2 \n"),
            std::string::npos);
  EXPECT_NE(Rows("select count(*) from v where id is null").find(" 1 \n"), std::string::npos);
}

TEST_F(DataFilesRun, SalvalfRefusesAValueHoldingALineEnd) {
  // The bug: the value was written as it was, and one row took two lines of the layout.
  Script({"create table l (id_l number(10), nombre varchar2(10))",
          "insert into l values (1, 'A' || chr(10) || 'B')"});
  ProgramResult run = Run({"salvalf", "l", "l.lf"});
  EXPECT_EQ(run.out,
            "Fila 1 de L con un fin de linea en la columna NOMBRE: el fichero LF no lo admite.\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(dir_.Exists("L.LF"));
}

TEST_F(DataFilesRun, NegativeValueThatRoundsToZeroPrintsTheSameInSqlAndSalvalf) {
  // The bug: sql showed -0.00 and salvalf 0.00.
  Script(
      {"create table n (id_n number(10), saldo number(8,3))", "insert into n values (1, -0.004)"});
  ASSERT_EQ(Run({"salvalf", "n", "n.lf"}).status, 0);
  EXPECT_EQ(dir_.Read("N.LF"), std::string(13, ' ') + "-0.00\n");
  EXPECT_NE(Rows("select saldo from n").find(std::string(13, ' ') + "-0.00 \n"), std::string::npos);
}

TEST_F(DataSafety, FicheRunsAStatementEndedBySemicolonOnItsLastLine) {
  // The bug: the last line was dropped and the empty text before it run (ORA-00900).
  dir_.Write("FIN.TXT", "insert into t values (5, 'FIN');");
  ProgramResult run = Run({"fiche", "fin.txt"});
  EXPECT_EQ(run.out, "Ejecuta el fichero (FIN.TXT)\nEjecutando FIN.TXT...\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(Contents().find(" 2 VIEJA"), std::string::npos) << Contents();
}

}  // namespace
}  // namespace volmek::testing
