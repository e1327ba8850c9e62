#include "datafiles/backup.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "datafiles/datafiles_fixture.h"

namespace volmek::datafiles {
namespace {

using db::testing::NumberColumn;
using db::testing::TextColumn;

class Backup : public testing::FakeRun {
 protected:
  void AddClientes(std::vector<std::vector<std::optional<std::string>>> rows) {
    db_.Add("select * from CLIENTES",
            Query({NumberColumn("ID", 8, 0), TextColumn("NOMBRE", db::kTypeVarchar2, 20),
                   NumberColumn("SALDO", 12, 2), TextColumn("ALTA", db::kTypeDate, 7)},
                  std::move(rows)));
  }
};

TEST_F(Backup, ThreeRowsGiveThreeLinesAndThePluralSummary) {
  AddClientes({{"1", "ANA", "1234.5", "2026-12-08 10:11:12"},
               {"-2", "O'NEIL", "7.257", std::nullopt},
               {"3", std::nullopt, "3", "1999-01-31 00:00:00"}});
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  EXPECT_EQ(out_.str(), "Backup CLIENTES con 3 filas procesada.\n");
  EXPECT_EQ(dir_.Read("CLIENTES.txt"),
            "1,'ANA',1234.50,'2026-12-08 10:11:12'\n"
            "-2,'O''NEIL',7.257,NULL\n"
            "3,NULL,3.00,'1999-01-31 00:00:00'\n");
}

// Unconstrained NUMBER columns (precision 0) used to be written as integers, losing decimals.
TEST_F(Backup, UnconstrainedNumbersKeepTheirDecimals) {
  db_.Add("select * from LIBRE", Query({NumberColumn("N", 0, 0)}, {{"0.000001"}, {"3"}}));
  ASSERT_TRUE(BackupTable(*ctx_, "LIBRE").ok());
  EXPECT_EQ(dir_.Read("LIBRE.txt"), "0.000001\n3.00\n");
}

TEST_F(Backup, OneRowSaysFilaAndZeroRowsGiveAnEmptyFile) {
  AddClientes({{"1", "ANA", "1", "2026-12-08 10:11:12"}});
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  AddClientes({});
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  EXPECT_EQ(out_.str(),
            "Backup CLIENTES con 1 fila procesada.\n"
            "Backup CLIENTES con 0 filas procesada.\n");
  EXPECT_TRUE(dir_.Exists("CLIENTES.txt"));
  EXPECT_EQ(dir_.Read("CLIENTES.txt"), "");
}

TEST_F(Backup, TheSessionDateFormatIsSwitchedForTheQueryAndBack) {
  AddClientes({});
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  std::vector<std::string> parsed = Parsed();
  ASSERT_EQ(parsed.size(), 4u);
  EXPECT_EQ(parsed[1], "alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'");
  EXPECT_EQ(parsed[2], "select * from CLIENTES");
  EXPECT_EQ(parsed[3], "alter session set nls_date_format = 'DD-MON-YY'");
}

TEST_F(Backup, FileGoesToTheBackupDirectoryWhenSetAndNotEmpty) {
  Environment env;
  EXPECT_EQ(BackupFileName(env, "t"), "t.txt");
  env.Set("BACKUP", "");
  EXPECT_EQ(BackupFileName(env, "t"), "t.txt");
  env.Set("BACKUP", "D");
  EXPECT_EQ(BackupFileName(env, "t"), "D/t.txt");

  ASSERT_EQ(mkdir("D", 0755), 0);
  ctx_->env.Set("BACKUP", "D");
  AddClientes({{"1", "ANA", "1", "2026-12-08 10:11:12"}});
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  EXPECT_EQ(dir_.Read("D/CLIENTES.txt"), "1,'ANA',1.00,'2026-12-08 10:11:12'\n");
  EXPECT_FALSE(dir_.Exists("CLIENTES.txt"));
}

TEST_F(Backup, UnknownTableIsReportedAndKeepsThePreviousFile) {
  dir_.Write("NADA.txt", "1,'previa'\n");
  db::testing::Response missing;
  missing.parse_rc = 942;
  missing.parse_error = "ORA-00942: table or view does not exist";
  db_.Add("select * from NADA", missing);
  ASSERT_TRUE(BackupTable(*ctx_, "NADA").ok());
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00942: table or view does not exist\nselect * from NADA\n\n");
  EXPECT_EQ(dir_.Read("NADA.txt"), "1,'previa'\n");
}

TEST_F(Backup, FailedExecuteEndsTheRunAndKeepsThePreviousFile) {
  dir_.Write("CLIENTES.txt", "old\n");
  AddClientes({});
  db::testing::Response failing = Query({NumberColumn("ID", 8, 0)}, {});
  failing.execute_rc = 1013;
  failing.execute_error = "ORA-01013: user requested cancel of current operation";
  db_.Add("select * from CLIENTES", failing);
  Status status = BackupTable(*ctx_, "CLIENTES");
  EXPECT_EQ(status.code(), Status::Code::kFatal);
  EXPECT_EQ(status.message(), "");
  EXPECT_EQ(dir_.Read("CLIENTES.txt"), "old\n");
}

TEST_F(Backup, FileThatCannotBeCreatedIsTheOpenMessage) {
  ctx_->env.Set("BACKUP", "no/such/dir");
  Status status = BackupTable(*ctx_, "CLIENTES");
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), "Imposible abrir fichero copia (no/such/dir/CLIENTES.txt).\n");
  EXPECT_EQ(out_.str(), "");
}

// A row that cannot be read must not be replaced by the one before it in the buffers: the
// table is refused, the earlier copy kept, and the run goes on (and ends with status 1).
TEST_F(Backup, RowThatCannotBeReadRefusesTheTableAndKeepsTheEarlierCopy) {
  db::testing::Response response = Query({NumberColumn("ID", 8, 0)}, {{"1"}, {"2"}, {"3"}});
  response.fetch_errors[2] = {1476, "ORA-01476: divisor is equal to zero"};
  db_.Add("select * from T", response);
  dir_.Write("T.txt", "7\n8\n9\n");
  Status status = BackupTable(*ctx_, "T");
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(),
            "Backup T no realizado: no se pudo leer la fila 2. Se conserva la copia anterior.\n");
  EXPECT_EQ(dir_.Read("T.txt"), "7\n8\n9\n");
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-01476: divisor is equal to zero\nselect * from T\n\n");
}

// Rows are fetched and written a batch at a time: a table of several batches is written whole
// and in order, and a row that cannot be read in a later batch still refuses the table by its
// number.
TEST_F(Backup, ManyBatchesAreWrittenInOrderAndAFailureInALaterOneKeepsTheCopy) {
  std::vector<std::vector<std::optional<std::string>>> rows;
  std::string want;
  for (int id = 1; id <= 2500; ++id) {
    rows.push_back(
        {std::to_string(id), fmt::format("N{}", id), fmt::format("{}.5", id), std::nullopt});
    want += fmt::format("{},'N{}',{}.50,NULL\n", id, id, id);
  }
  AddClientes(rows);
  ASSERT_TRUE(BackupTable(*ctx_, "CLIENTES").ok());
  EXPECT_EQ(out_.str(), "Backup CLIENTES con 2500 filas procesada.\n");
  EXPECT_EQ(dir_.Read("CLIENTES.txt"), want);

  db::testing::Response failing =
      Query({NumberColumn("ID", 8, 0), TextColumn("NOMBRE", db::kTypeVarchar2, 20),
             NumberColumn("SALDO", 12, 2), TextColumn("ALTA", db::kTypeDate, 7)},
            rows);
  failing.fetch_errors[2100] = {1476, "ORA-01476: divisor is equal to zero"};
  db_.Add("select * from CLIENTES", failing);
  Status status = BackupTable(*ctx_, "CLIENTES");
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(),
            "Backup CLIENTES no realizado: no se pudo leer la fila 2100. Se conserva la copia "
            "anterior.\n");
  EXPECT_EQ(dir_.Read("CLIENTES.txt"), want);
}

}  // namespace
}  // namespace volmek::datafiles
