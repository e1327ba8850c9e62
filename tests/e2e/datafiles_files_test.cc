// backup, restore, add and salvalf end to end: summaries, file names, failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <fmt/format.h>

#include "e2e/datafiles_support.h"

namespace volmek::testing {
namespace {

class DataFilesOperations : public DataFilesRun {
 protected:
  void SetUp() override { Script({"create table t (id number(8), nombre varchar2(20))"}); }
  void AddRows(int count) {
    std::vector<std::string> inserts;
    for (int idx = 1; idx <= count; ++idx) {
      inserts.push_back(fmt::format("insert into t values ({}, 'N{}')", idx, idx));
    }
    if (!inserts.empty()) Script(inserts);
  }
  std::size_t FilesIn(const std::string& dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++count;
    return count;
  }
};

TEST_F(DataFilesOperations, BackupSummariesForZeroOneAndThreeRows) {
  ProgramResult run = Run({"backup", "T"});
  EXPECT_EQ(run.out, "Backup T con 0 filas procesada.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(dir_.Read("T.txt"), "");
  AddRows(1);
  EXPECT_EQ(Run({"backup", "T"}).out, "Backup T con 1 fila procesada.\n");
  EXPECT_EQ(dir_.Read("T.txt"), "1,'N1'\n");
  Script({"insert into t values (2, 'N2')", "insert into t values (3, 'N3')"});
  EXPECT_EQ(Run({"backup", "T"}).out, "Backup T con 3 filas procesada.\n");
}

TEST_F(DataFilesOperations, BackupNamesAreUsedAsTypedAndGoToTheBackupDirectory) {
  AddRows(1);
  std::filesystem::create_directory(dir_.File("copias"));
  ProgramResult run = Run({"backup", "t"}, {{"BACKUP", dir_.File("copias")}});
  EXPECT_EQ(run.out, "Backup t con 1 fila procesada.\n");
  EXPECT_EQ(dir_.Read("copias/t.txt"), "1,'N1'\n");
  EXPECT_FALSE(dir_.Exists("t.txt"));
  Run({"backup", "t"}, {{"BACKUP", ""}});
  EXPECT_EQ(dir_.Read("t.txt"), "1,'N1'\n");
}

TEST_F(DataFilesOperations, BackupAllGoesInNameOrderAndSkipsViews) {
  Script({"create table b (x number(1))", "create table a (x number(1))",
          "create view v as select * from a"});
  ProgramResult run = Run({"backup", "all"});
  EXPECT_EQ(run.out,
            "Backup A con 0 filas procesada.\nBackup B con 0 filas procesada.\n"
            "Backup T con 0 filas procesada.\n");
  EXPECT_FALSE(dir_.Exists("V.txt"));
}

TEST_F(DataFilesOperations, UnknownTableIsReportedAndTheNextOneStillBackedUp) {
  ProgramResult run = Run({"backup", "nada", "T"});
  EXPECT_EQ(run.out,
            "\nError de Oracle. ORA-00942: table or view does not exist\nselect * from nada\n\n"
            "Backup T con 0 filas procesada.\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(dir_.Exists("nada.txt"));
}

TEST_F(DataFilesOperations, FileThatCannotBeCreatedEndsTheRun) {
  ProgramResult run = Run({"backup", "T"}, {{"BACKUP", dir_.File("no/existe")}});
  EXPECT_EQ(run.out, "Imposible abrir fichero copia (" + dir_.File("no/existe") + "/T.txt).\n");
  EXPECT_EQ(run.status, 1);
}

TEST_F(DataFilesOperations, WriteFailureKeepsThePreviousBackup) {
  std::string lines;
  for (int idx = 0; idx < 20000; ++idx)
    lines += fmt::format("{},'{}'\n", idx, std::string(20, 'x'));
  dir_.Write("T.txt", lines);
  ASSERT_EQ(Run({"restore", "T"}).status, 0);
  dir_.Write("T.txt", "copia previa\n");
  ProgramRun limited;
  limited.program = "/bin/sh";
  // 400 blocks of 512 bytes: far less than the 20,000 rows need.
  limited.args = {"-c", "trap '' XFSZ; ulimit -f 400; exec \"$0\" backup T", BuiltBinary("volmek")};
  limited.env = EmbeddedEnv(dir_.File("test.db"));
  limited.cwd = dir_.path();
  ProgramResult run = volmek::testing::Run(limited);
  EXPECT_EQ(run.out, "Imposible escribir fichero copia (T.txt).\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(dir_.Read("T.txt"), "copia previa\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}

TEST_F(DataFilesOperations, RestoreSummariesAndAdd) {
  dir_.Write("T.txt", "1,'A'\n2,'B'\n3,'C'");  // the last line has no line end
  EXPECT_EQ(Run({"restore", "T"}).out, "Restore T con 3 filas recuperadas.\n");
  EXPECT_EQ(Run({"add", "T"}).out, "Add T con 3 filas recuperadas.\n");
  dir_.Write("T.txt", "9,'Z'\n");
  EXPECT_EQ(Run({"add", "T"}).out, "Add T con 1 fila recuperada.\n");
  ProgramResult info = Run({"info", "t"});
  EXPECT_TRUE(info.out.starts_with("Tabla: T" + std::string(15, ' ') + " " + std::string(8, ' ') +
                                   "7  filas "))
      << info.out;
  dir_.Write("T.txt", "");
  EXPECT_EQ(Run({"restore", "T"}).out, "Restore T con 0 filas recuperadas.\n");
  EXPECT_TRUE(Run({"info", "T"})
                  .out.starts_with("Tabla: T" + std::string(15, ' ') + " " + std::string(8, ' ') +
                                   "0  filas "));
}

TEST_F(DataFilesOperations, MissingFileLeavesTheTableUntouched) {
  AddRows(2);
  ProgramResult run = Run({"restore", "T"});
  EXPECT_EQ(run.out, "Imposible abrir fichero restore (T.txt).\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Rows("select count(*) from t"), Rows("select count(*) from t"));
  EXPECT_NE(Rows("select count(*) from t").find(" 2 \n"), std::string::npos);
}

TEST_F(DataFilesOperations, FailingLinesAreReportedCountedAndTheRestKept) {
  dir_.Write("T.txt", "1,'A'\n\n2,'B',3\n4,'D'\n");
  ProgramResult run = Run({"restore", "T"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("\nError de Oracle. "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\ninsert into T values ()\n\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\ninsert into T values (2,'B',3)\n\n"), std::string::npos) << run.out;
  EXPECT_TRUE(
      run.out.ends_with("Restore T con 4 filas recuperadas.\nWarning. 2 filas rechazadas.\n"))
      << run.out;
  EXPECT_NE(Rows("select count(*) from t").find(" 2 \n"), std::string::npos);
}

TEST_F(DataFilesOperations, RestoreAllLoadsEveryTableFromItsFile) {
  Script({"create table a (x number(1))"});
  dir_.Write("A.txt", "1\n2\n");
  dir_.Write("T.txt", "5,'E'\n");
  ProgramResult run = Run({"restore", "ALL"});
  EXPECT_EQ(run.out, "Restore A con 2 filas recuperadas.\nRestore T con 1 fila recuperada.\n");
}

TEST_F(DataFilesOperations, SalvalfWritesFixedWidthsInIdOrder) {
  Script(
      {"create table cli (id_cli number(10), codigo char(4), saldo number(8,2), alta date, "
       "n number(5))",
       "insert into cli values (2, 'CD', null, to_date('2025-12-08', 'YYYY-MM-DD'), -42)",
       "insert into cli values (1, 'AB', 12.5, to_date('2025-12-08', 'YYYY-MM-DD'), null)"});
  ProgramResult run = Run({"salvalf", "cli", "cli.lf"});
  EXPECT_EQ(run.out, "Copiado LF CLI con 2 filas procesada.\n");
  EXPECT_EQ(dir_.Read("CLI.LF"), "AB  " + std::string(13, ' ') + "12.5008-DEC-25" +
                                     std::string(18, ' ') + "\n" + "CD  " + std::string(18, ' ') +
                                     "08-DEC-25" + std::string(15, ' ') + "-42\n");
}

TEST_F(DataFilesOperations, SalvalfRefusesAValueWiderThanItsField) {
  Script({"create table lf (id_lf number(10), importe number(38,2))",
          "insert into lf values (1, 12.5)", "insert into lf values (2, 12345678901234567890.5)"});
  dir_.Write("LF.TXT", "previo\n");
  ProgramResult run = Run({"salvalf", "lf", "lf.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "Fila 2 de LF demasiado ancha para el fichero LF: la columna IMPORTE necesita 23 "
            "caracteres y su campo tiene 18.\n");
  EXPECT_EQ(dir_.Read("LF.TXT"), "previo\n");
}

TEST_F(DataFilesOperations, InfoPadsLongNamesAndEstadisFallsBackToTheIndex) {
  Script({"create table tabla_de_nombre_largo (x number(1))", "create index t_i on t (id)"});
  ProgramResult info = Run({"info", "tabla_de_nombre_largo"});
  EXPECT_EQ(info.out, "Tabla: TABLA_DE_NOMBRE_LARGO " + std::string(8, ' ') + "0  filas " +
                          std::string(11, ' ') + "0  bytes.\n");
  ProgramResult estadis = Run({"estadis", "t_i"}, {{"TEST", "1"}});
  EXPECT_NE(estadis.out.find("sql: analyze table T_I compute statistics\n"), std::string::npos)
      << estadis.out;
  EXPECT_NE(estadis.out.find("sql: analyze index T_I compute statistics\n"), std::string::npos)
      << estadis.out;
  EXPECT_TRUE(estadis.out.ends_with("Actualizado T_I.\n")) << estadis.out;
  AddRows(3);
  ASSERT_EQ(Run({"estadis", "t"}).out, "Actualizado T.\n");
  ProgramResult sized = Run({"info", "T"});
  EXPECT_TRUE(sized.out.starts_with("Tabla: T" + std::string(15, ' ') + " " + std::string(8, ' ') +
                                    "3  filas "))
      << sized.out;
  EXPECT_EQ(sized.out.find("  0  bytes."), std::string::npos) << sized.out;
}

TEST_F(DataFilesOperations, ExpAndImpShowTheMaskedPasswordAndRestoreTheTable) {
  AddRows(3);
  std::string logon = "DEMO/***@" + EmbeddedEnv(dir_.File("test.db"))["TNS"];
  ProgramResult exp = Run({"exp", "T"});
  EXPECT_EQ(exp.out,
            "Ejecuta: exp userid=" + logon + " file=T.dmp full=yes log=T.log\n" +
                "Exportada tabla T con 3 filas.\nExportacion terminada: 1 tabla en T.dmp.\n");
  EXPECT_EQ(exp.status, 0);
  EXPECT_EQ(exp.out.find("demo@"), std::string::npos);
  EXPECT_TRUE(dir_.Exists("T.log"));
  std::string before = Rows("select * from t order by id");
  Script({"drop table t"});
  ProgramResult imp = Run({"imp", "T"});
  EXPECT_EQ(imp.out, "Ejecuta: imp userid=" + logon + " tables=T file=T.dmp log=T.log\n" +
                         "Importada tabla T con 3 filas.\nImportacion terminada.\n");
  EXPECT_EQ(imp.status, 0);
  EXPECT_EQ(Rows("select * from t order by id"), before);
}

TEST_F(DataFilesOperations, FailingImportIsReportedWithItsExitStatus) {
  ProgramResult imp = Run({"imp", "NADA"});
  EXPECT_EQ(imp.status, 1);
  EXPECT_TRUE(imp.out.ends_with("Error en imp: termino con estado 1.\n")) << imp.out;
}

}  // namespace
}  // namespace volmek::testing
