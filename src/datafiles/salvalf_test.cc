#include "datafiles/salvalf.h"

#include <gtest/gtest.h>

#include "datafiles/datafiles_fixture.h"

namespace volmek::datafiles {
namespace {

using db::testing::NumberColumn;
using db::testing::TextColumn;

class SalvaLf : public testing::FakeRun {
 protected:
  void AddCli(std::vector<std::vector<std::optional<std::string>>> rows) {
    db_.Add("select * from CLI order by ID_CLI",
            Query({NumberColumn("ID_CLI", 10, 0), TextColumn("CODIGO", db::kTypeChar, 4),
                   NumberColumn("SALDO", 8, 2), TextColumn("ALTA", db::kTypeDate, 7),
                   NumberColumn("N", 5, 0)},
                  std::move(rows)));
  }
};

TEST_F(SalvaLf, FieldsHaveTheirDisplayWidthsWithoutTheIdColumn) {
  AddCli({{"1", "AB  ", "12.5", "08-DEC-25", "-42"}});
  ASSERT_TRUE(SaveLf(*ctx_, "CLI", "CLI.LF").ok());
  std::string expected =
      "AB  " + std::string(13, ' ') + "12.50" + "08-DEC-25" + std::string(15, ' ') + "-42\n";
  EXPECT_EQ(dir_.Read("CLI.LF"), expected);
  EXPECT_EQ(out_.str(), "Copiado LF CLI con 1 fila procesada.\n");
}

TEST_F(SalvaLf, NullsAreBlanksOfTheWholeWidth) {
  AddCli({{"1", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
          {"2", "X   ", "-0.125", "01-JAN-99", "7"}});
  ASSERT_TRUE(SaveLf(*ctx_, "CLI", "CLI.LF").ok());
  EXPECT_EQ(dir_.Read("CLI.LF"), std::string(4 + 18 + 9 + 18, ' ') + "\n" + "X   " +
                                     std::string(13, ' ') + "-0.13" + "01-JAN-99" +
                                     std::string(17, ' ') + "7\n");
  EXPECT_EQ(out_.str(), "Copiado LF CLI con 2 filas procesada.\n");
}

TEST_F(SalvaLf, ValueWiderThanItsFieldIsRefusedWithItsRowAndKeepsThePreviousFile) {
  dir_.Write("CLI.LF", "previo\n");
  AddCli({{"1", "AB  ", "1", "08-DEC-25", "1"}, {"2", "ABCDEF", "1", "08-DEC-25", "1"}});
  Status status = SaveLf(*ctx_, "CLI", "CLI.LF");
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(),
            "Fila 2 de CLI demasiado ancha para el fichero LF: la columna CODIGO necesita 6 "
            "caracteres y su campo tiene 4.\n");
  EXPECT_EQ(dir_.Read("CLI.LF"), "previo\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(SalvaLf, ValueHoldingALineEndIsRefusedLikeATooWideOne) {
  // The bug: the value was written as it was, and its row took two lines of the layout.
  dir_.Write("CLI.LF", "previo\n");
  AddCli({{"1", "A\nB ", "1", "08-DEC-25", "1"}});
  Status status = SaveLf(*ctx_, "CLI", "CLI.LF");
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(),
            "Fila 1 de CLI con un fin de linea en la columna CODIGO: el fichero LF no lo "
            "admite.\n");
  AddCli({{"1", "AB\r ", "1", "08-DEC-25", "1"}});
  EXPECT_EQ(SaveLf(*ctx_, "CLI", "CLI.LF").code(), Status::Code::kInvalidInput);
  EXPECT_EQ(dir_.Read("CLI.LF"), "previo\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(SalvaLf, NegativeValueThatRoundsToZeroPrintsAsSqlPrintsIt) {
  // The bug: salvalf wrote 0.00 where sql shows -0.00.
  AddCli({{"1", "AB  ", "-0.004", "08-DEC-25", "1"}});
  ASSERT_TRUE(SaveLf(*ctx_, "CLI", "CLI.LF").ok());
  EXPECT_EQ(dir_.Read("CLI.LF"),
            "AB  " + std::string(13, ' ') + "-0.00" + "08-DEC-25" + std::string(17, ' ') + "1\n");
}

TEST_F(SalvaLf, RowThatCannotBeReadIsRefusedAndKeepsThePreviousFile) {
  dir_.Write("CLI.LF", "previo\n");
  db::testing::Response response =
      Query({NumberColumn("ID_CLI", 10, 0), NumberColumn("N", 5, 0)}, {{"1", "1"}, {"2", "2"}});
  response.fetch_errors[2] = {1476, "ORA-01476: divisor is equal to zero"};
  db_.Add("select * from CLI order by ID_CLI", response);
  Status status = SaveLf(*ctx_, "CLI", "CLI.LF");
  EXPECT_EQ(status.code(), Status::Code::kInvalidInput);
  EXPECT_EQ(status.message(), "Fila 2 de CLI ilegible: no se escribe el fichero LF.\n");
  EXPECT_EQ(dir_.Read("CLI.LF"), "previo\n");
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-01476: divisor is equal to zero\n"
            "select * from CLI order by ID_CLI\n\n");
}

TEST_F(SalvaLf, EmptyFileNameIsTheOpenMessage) {
  Status status = SaveLf(*ctx_, "CLI", "");
  EXPECT_EQ(status.message(), "Imposible abrir fichero copia ().\n");
  EXPECT_TRUE(Parsed().empty());
}

TEST_F(SalvaLf, TableWithoutIdColumnIsReported) {
  db::testing::Response missing;
  missing.parse_rc = 904;
  missing.parse_error = "ORA-00904: invalid column name";
  db_.Add("select * from X order by ID_X", missing);
  EXPECT_TRUE(SaveLf(*ctx_, "X", "X.LF").ok());
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00904: invalid column name\nselect * from X order by ID_X\n\n");
  EXPECT_FALSE(dir_.Exists("X.LF"));
}

}  // namespace
}  // namespace volmek::datafiles
