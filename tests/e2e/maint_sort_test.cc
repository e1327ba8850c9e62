// sort: options, conditions and the dictionary steps, end to end.
#include <gtest/gtest.h>

#include "maint_support.h"

namespace volmek::testing::maint {
namespace {

constexpr const char* kMissingTables =
    "\nError sort. Se tiene que especificar fichero entrada y/o salida.\n\n";

std::string Entry(const std::string& key) {
  return "insert into xcampo values ('" + key +
         "', 0, 'CODIGO', 'CODIGO', 'N', ' ', 10, 0, ' ')\n;\n" + "insert into xcampo values ('" +
         key + "', 1, 'NOMBRE', 'NOMBRE', 'A', ' ', 20, 0, ' ')\n;\n" +
         "insert into xclave values ('" + key + "', 0, 'CODIGO', 'A')\n;\n" +
         "insert into xindice values ('" + key + "', 1, '" + key + "', 'x')\n;\n";
}

std::string Table(const std::string& name) {
  return "create table " + name +
         " (codigo number(10), nombre varchar2(20), tipo char(1), n number(10))\n;\n"
         "insert into " +
         name +
         " values (1, 'ANA', 'A', 1)\n;\n"
         "insert into " +
         name +
         " values (2, 'LUIS', 'B', 2)\n;\n"
         "insert into " +
         name + " values (3, 'O''BRIEN, JR', 'A', 3)\n;\n";
}

// The info line of a table of `rows` rows (< 10) and no statistics yet, name shorter than 16.
std::string InfoLine(const std::string& name, int rows) {
  return "Tabla: " + name + std::string(16 - name.size(), ' ') + " " + std::string(8, ' ') +
         std::to_string(rows) + "  filas " + std::string(11, ' ') + "0  bytes.\n";
}

std::vector<std::string> Keys(const TempDir& dir, const std::string& key) {
  return Rows(
      dir, "select posicion || ' ' || campo || ' ' || sentido from xclave where indice = '" + key +
               "' order by posicion");
}

class MaintSortOptions : public ::testing::Test {
 protected:
  // Parameter errors come before any session: not even the database file is created.
  void ExpectRefusedBeforeTheSession(const std::vector<std::string>& args,
                                     const std::string& message) {
    ProgramResult result = Volmek(dir_, args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, message);
    EXPECT_FALSE(dir_.Exists("test.db"));
  }
  TempDir dir_;
};

TEST_F(MaintSortOptions, MissingInputOrOutput) {
  ExpectRefusedBeforeTheSession({"sort", "-i1CLI"}, kMissingTables);
  ExpectRefusedBeforeTheSession({"sort", "-oCLIORD"}, kMissingTables);
  ExpectRefusedBeforeTheSession({"sort", "-i1CLI", "-o"}, kMissingTables);
}

TEST_F(MaintSortOptions, UnknownWordIsNamed) {
  ExpectRefusedBeforeTheSession({"sort", "-i1CLI", "-x", "-oB"},
                                "Argumento sort no tratado (-x) \n");
  ExpectRefusedBeforeTheSession({"sort", "CLI"}, "Argumento sort no tratado (CLI) \n");
}

TEST_F(MaintSortOptions, TableNamesAndKeyNamesMustBeIdentifiers) {
  ExpectRefusedBeforeTheSession({"sort", "-i1CLI", "-oX.Y"},
                                "Error. Nombre de tabla no valido (X.Y). No se modifica nada.\n");
  ExpectRefusedBeforeTheSession(
      {"sort", "-i1CLI", "-oB", "-orden", "A'B"},
      "Error sort. Campo de orden no valido (A'B). No se modifica nada.\n");
}

TEST_F(MaintSortOptions, OutputThatIsTheInputIsRefused) {
  ExpectRefusedBeforeTheSession(
      {"sort", "-i1CLI", "-ocli"},
      "Error. La tabla cli seria a la vez origen y destino. No se modifica nada.\n");
}

class MaintSort : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareDictionary(dir_);
    Script(dir_, Table("CLI") + Entry("CLI"));
  }
  TempDir dir_;
};

TEST_F(MaintSort, OrderListBecomesTheKeyFieldsOfTheOutput) {
  ProgramResult result =
      Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD", "-orden", "NOMBRE", "DESC", "CODIGO"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "sql: create table CLIORD as select * from CLI\n" + InfoLine("CLIORD", 3));
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({"0 NOMBRE D", "1 CODIGO A"}));
  EXPECT_EQ(Rows(dir_, "select nombre from xcampo where indice = 'CLIORD' order by orden"),
            Lines({"CODIGO", "NOMBRE"}));
  EXPECT_EQ(Rows(dir_, "select clave from xindice where indice = 'CLIORD'"), Lines({"CLIORD"}));
  EXPECT_EQ(Keys(dir_, "CLI"), Lines({"0 CODIGO A"}));
}

TEST_F(MaintSort, WithoutOrderListTheCopiedKeyFieldsAreDeleted) {
  ProgramResult result = Volmek(dir_, {"sort", "-i1", "CLI", "-O", "CLIORD"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({}));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo where indice = 'CLIORD'"), Lines({"2"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from cliord"), Lines({"3"}));
}

TEST_F(MaintSort, CommaEntriesAreSkippedButCounted) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD", "-orden", "A", ",", "B,", "C"}).status, 0);
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({"0 A A", "2 B A", "4 C A"}));
}

TEST_F(MaintSort, LowerCaseDescIsAKeyName) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD", "-ORDEN", "A", "desc"}).status, 0);
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({"0 A A", "1 desc A"}));
}

// The key rows of a lower-case output name used to go under a lower-case key that no other
// operation would ever look up.
TEST_F(MaintSort, LowerCaseOutputNameIsKeptUnderTheUpperCaseKey) {
  ProgramResult result = Volmek(dir_, {"sort", "-i1cli", "-ocliord", "-orden", "NOMBRE"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "sql: create table cliord as select * from cli\n" + InfoLine("CLIORD", 3));
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({"0 NOMBRE A"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo where indice = 'CLIORD'"), Lines({"2"}));
}

TEST_F(MaintSort, IncludeAloneKeepsTheRowsThatMeetIt) {
  ProgramResult result = Volmek(dir_, {"sort", "-i1CLI", "-oCLIA", "-incluye", "TIPO='A'"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "sql: create table CLIA as select * from CLI where (TIPO = 'A' )\n" +
                            InfoLine("CLIA", 2));
  EXPECT_EQ(Rows(dir_, "select codigo from clia order by codigo"), Lines({"1", "3"}));
}

TEST_F(MaintSort, OmitAloneLeavesOutTheRowsThatMeetIt) {
  ProgramResult result = Volmek(dir_, {"sort", "-i1CLI", "-oCLIB", "-omite", "TIPO", "=", "'A'"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "sql: create table CLIB as select * from CLI where not (TIPO = 'A' )\n" +
                            InfoLine("CLIB", 1));
}

TEST_F(MaintSort, IncludeAndOmitTogether) {
  ProgramResult result =
      Volmek(dir_, {"sort", "-i1CLI", "-oCLIC", "-incluye", "N>=2", "-omite", "N<>3"});
  EXPECT_EQ(result.out,
            "sql: create table CLIC as select * from CLI where (N >= 2 ) and not (N <> 3 )\n" +
                InfoLine("CLIC", 1));
  EXPECT_EQ(Rows(dir_, "select codigo from clic"), Lines({"3"}));
}

TEST_F(MaintSort, OperatorsWithoutBlanksStayWhole) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLID", "-incluye", "N!=2", "and", "N<=3"}).status,
            0);
  EXPECT_EQ(Rows(dir_, "select codigo from clid order by codigo"), Lines({"1", "3"}));
}

TEST_F(MaintSort, QuotedLiteralKeepsItsCommaAndApostrophe) {
  ProgramResult result =
      Volmek(dir_, {"sort", "-i1CLI", "-oCLIE", "-incluye", "NOMBRE = 'O''BRIEN, JR'"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "sql: create table CLIE as select * from CLI where (NOMBRE = 'O''BRIEN, JR' )\n" +
                InfoLine("CLIE", 1));
}

TEST_F(MaintSort, SharedKeyKeepsTheSourceEntry) {
  Script(dir_, Table("AB_CLI") + Entry("CLI2"));
  Script(dir_,
         "update xcampo set indice = 'CLI' where indice = 'CLI2'\n;\n"
         "delete from xclave where indice = 'CLI2'\n;\n");
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1AB_CLI", "-oCD_CLI"}).status, 0);
  EXPECT_EQ(Keys(dir_, "CLI"), Lines({"0 CODIGO A"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo where indice = 'CLI'"), Lines({"4"}));
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1AB_CLI", "-oCD_CLI", "-orden", "NOMBRE"}).status, 0);
  EXPECT_EQ(Keys(dir_, "CLI"), Lines({"0 NOMBRE A"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo where indice = 'CLI'"), Lines({"4"}));
}

TEST_F(MaintSort, MissingInputLeavesTheOutputAsItWas) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD", "-orden", "NOMBRE"}).status, 0);
  ProgramResult result = Volmek(dir_, {"sort", "-i1NOHAY", "-oCLIORD"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. No existe la tabla NOHAY. No se modifica nada.\n");
  EXPECT_EQ(Rows(dir_, "select count(*) from cliord"), Lines({"3"}));
  EXPECT_EQ(Keys(dir_, "CLIORD"), Lines({"0 NOMBRE A"}));
}

TEST_F(MaintSort, UnreadableDictionaryLeavesTheOutputAsItWas) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD"}).status, 0);
  Script(dir_, "drop table xselec\n;\n");
  ProgramResult result = Volmek(dir_, {"sort", "-i1CLI", "-oCLIORD"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.out.ends_with(
      "Error. No se puede leer el diccionario de la tabla CLI (clave CLI). No se modifica "
      "nada.\n"))
      << result.out;
  EXPECT_EQ(Rows(dir_, "select count(*) from cliord"), Lines({"3"}));
}

// The bug: the output was dropped, the create failed, and its dictionary entry was written for
// a table that no longer existed; the run ended with status 0.
TEST_F(MaintSort, InvalidConditionIsRefusedBeforeTheOutputIsDropped) {
  ASSERT_EQ(Volmek(dir_, {"sort", "-i1CLI", "-oCLIX", "-orden", "NOMBRE"}).status, 0);
  ProgramResult result =
      Volmek(dir_, {"sort", "-i1CLI", "-oCLIX", "-incluye", "NOHAY=1", "-orden", "CODIGO"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "\nError de Oracle. ORA-00904: \"NOHAY\": invalid identifier\n"
            "select * from CLI where (NOHAY = 1 )\n\n"
            "Error. La condicion de la tabla CLI no se puede ejecutar. No se modifica nada.\n");
  EXPECT_EQ(Rows(dir_, "select count(*) from clix"), Lines({"3"}));
  EXPECT_EQ(Keys(dir_, "CLIX"), Lines({"0 NOMBRE A"}));

  // An unterminated quote is no condition either.
  result = Volmek(dir_, {"sort", "-i1CLI", "-oCLIX", "-omite", "NOMBRE='ANA"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.out.ends_with(
      "Error. La condicion de la tabla CLI no se puede ejecutar. No se modifica nada.\n"))
      << result.out;
  EXPECT_EQ(Rows(dir_, "select count(*) from clix"), Lines({"3"}));
}

// The bug: a 5,000-character key name was reported with ORA-12899 and the run ended with 0.
TEST_F(MaintSort, KeyNameOverThirtyCharactersIsRefusedBeforeTheSession) {
  const std::string name(31, 'K');
  ProgramResult result = Volmek(dir_, {"sort", "-i1CLI", "-oCLIX", "-orden", name});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error sort. Campo de orden " + name +
                            " pasa de 30 caracteres. No se modifica nada.\n");
  EXPECT_FALSE(ObjectExists(dir_, "CLIX"));
}

}  // namespace
}  // namespace volmek::testing::maint
