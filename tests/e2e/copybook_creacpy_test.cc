// creacpy end to end: copybooks under KORVEL/copys into managed tables with their XCAMPO rows,
// on embedded databases the tests prepare.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "maint_support.h"

namespace volmek::testing::copybook {
namespace {

using maint::ObjectExists;
using maint::PrepareDictionary;
using maint::Rows;
using maint::Script;

std::string Line(std::string_view text) { return "       " + std::string(text) + "\n"; }

class Creacpy : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareDictionary(dir_);
    std::filesystem::create_directories(dir_.File("copys"));
  }

  void Copybook(const std::string& name, const std::string& text) const {
    dir_.Write("copys/" + name, text);
  }

  ProgramResult Run(const std::vector<std::string>& args,
                    std::map<std::string, std::string> extra = {}) const {
    if (!extra.contains("KORVEL")) extra["KORVEL"] = dir_.path();
    return Volmek(dir_, args, extra);
  }

  std::vector<std::string> Columns(const std::string& table) const {
    return Rows(dir_,
                "select column_name, data_type, data_precision, data_scale, data_length "
                "from user_tab_columns where table_name = '" +
                    table + "' order by column_id");
  }

  std::vector<std::string> ColumnNames(const std::string& table) const {
    return Rows(dir_, "select column_name from user_tab_columns where table_name = '" + table +
                          "' order by column_id");
  }

  std::vector<std::string> Xcampo(const std::string& key) const {
    return Rows(dir_,
                "select orden, nombre, nombre2, tipo, '[' || uso || ']', longitud, "
                "decimales, '[' || signo || ']' from xcampo where indice = '" +
                    key + "' order by orden");
  }

  // An old CLIENTES with two rows, its sequence and its dictionary entry.
  void OldClientes() const {
    Script(dir_,
           "create table CLIENTES (ID_CLIENTES number(10), VIEJO char(3))\n;\n"
           "insert into CLIENTES values (1, 'uno')\n;\n"
           "insert into CLIENTES values (2, 'dos')\n;\n"
           "create sequence ID_CLIENTES\n;\n"
           "insert into xcampo values ('CLIENTES', 0, 'VIEJO', 'VIEJO', 'A', ' ', 3, 0, ' ')\n;\n");
  }

  void ExpectOldClientesIntact() const {
    EXPECT_EQ(Rows(dir_, "select ID_CLIENTES, VIEJO from CLIENTES order by 1"),
              (std::vector<std::string>{"1 uno", "2 dos"}));
    EXPECT_TRUE(ObjectExists(dir_, "ID_CLIENTES"));
    EXPECT_EQ(Rows(dir_, "select nombre from xcampo where indice = 'CLIENTES'"),
              std::vector<std::string>{"VIEJO"});
  }

  TempDir dir_;
};

const char kClientes[] =
    "       05 CLI-CODIGO PIC 9(5).\n"
    "       05 CLI-SALDO PIC S9(7)V99 COMP-3.\n";

TEST_F(Creacpy, ClientesExampleWithTheStatementEcho) {
  Copybook("CLIENTES.cpy", kClientes);
  const ProgramResult result = Run({"creacpy", "clientes", "CLIENTES"}, {{"TEST", "1"}});
  EXPECT_EQ(result.status, 0);
  const std::string path = dir_.File("copys/CLIENTES.cpy");
  EXPECT_EQ(
      result.out,
      "Apertura BD ...\n"
      "Apertura fichero [" +
          path +
          "] \n"
          "\tcaso 3\n"
          "Campo CLI_CODIGO (0)  gru=0  rede=(-1)  repe=(0)  posi=(0)\n"
          "\tcaso 3\n"
          "Campo CLI_SALDO (1)  gru=0  rede=(-1)  repe=(0)  posi=(5)\n"
          "Control de redefines --------------------------- \n"
          "Redefines usados ------------------------------- \n"
          "\n"
          "Campos definidos ------------------------------- \n"
          "0 - CLI_CODIGO 0 5 N  5  0      re(0) red(-1) lo(5,0,5)  po(0)i mr(-1)i signo(0)\n"
          "\t\t\t\t0-0-0\n"
          "1 - CLI_SALDO  0 5 N  5  1   3  re(0) red(-1) lo(5,2,9)  po(5)i mr(-1)i signo(1)\n"
          "\t\t\t\t0-0-0\n"
          "---->  long_regis = 10 \n"
          "sql: select object_name from user_objects where object_name = 'CLIENTES'\n"
          "sql: create sequence ID_CLIENTES start with 1 increment by 1 nomaxvalue nocycle cache "
          "10\n"
          "sql: create table CLIENTES (\n"
          " ID_CLIENTES   DEC(10,0),\n"
          "    CLI_CODIGO                    DEC  (5,0)   NULL,\n"
          "    CLI_SALDO                     DEC  (9,2)   NULL) storage (initial 1000000 next "
          "2000000 pctincrease 0) \n"
          "sql: insert into XCAMPO values ('CLIENTES', 0, 'CLI_CODIGO', 'CLI_CODIGO', 'N', ' ', 5, "
          "0, ' ') \n\n"
          "sql: insert into XCAMPO values ('CLIENTES', 1, 'CLI_SALDO', 'CLI_SALDO', 'N', '3', 9, "
          "2, "
          "'S') \n\n"
          "sql: alter table CLIENTES add primary key (ID_CLIENTES) using index storage (initial "
          "1000000 next 2000000 pctincrease 0)\n");
  EXPECT_EQ(Columns("CLIENTES"),
            (std::vector<std::string>{"ID_CLIENTES NUMBER 10 0 22", "CLI_CODIGO NUMBER 5 0 22",
                                      "CLI_SALDO NUMBER 9 2 22"}));
  EXPECT_EQ(Xcampo("CLIENTES"), (std::vector<std::string>{"0 CLI_CODIGO CLI_CODIGO N [ ] 5 0 [ ]",
                                                          "1 CLI_SALDO CLI_SALDO N [3] 9 2 [S]"}));
  EXPECT_TRUE(ObjectExists(dir_, "ID_CLIENTES"));
}

TEST_F(Creacpy, WithoutEchoNothingIsPrinted) {
  Copybook("CLIENTES.cpy", kClientes);
  const ProgramResult result = Run({"creacpy", "CLIENTES", "CLIENTES"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
}

TEST_F(Creacpy, OneCharacterItemGivesOneCharColumnAndOneRow) {
  Copybook("UNO.cpy", Line("05 A PIC X(10)."));
  EXPECT_EQ(Run({"creacpy", "T", "UNO"}).status, 0);
  EXPECT_EQ(Columns("T"), (std::vector<std::string>{"ID_T NUMBER 10 0 22", "A CHAR 10"}));
  EXPECT_EQ(Xcampo("T"), std::vector<std::string>{"0 A A A [ ] 10 0 [ ]"});
}

TEST_F(Creacpy, OccursColumnsAreNamedWithOneNumberPerLevel) {
  Copybook("TABLAS.cpy", Line("01 R.") + Line("05 X PIC X OCCURS 3.") + Line("05 T OCCURS 2.") +
                             Line("10 B PIC X.") + Line("10 D PIC 9.") + Line("05 U OCCURS 2.") +
                             Line("10 V OCCURS 3.") + Line("15 E PIC X.") + Line("05 W OCCURS 2.") +
                             Line("10 F PIC X OCCURS 4."));
  EXPECT_EQ(Run({"creacpy", "T", "TABLAS"}).status, 0);
  EXPECT_EQ(ColumnNames("T"),
            (std::vector<std::string>{"ID_T", "X1",  "X2",  "X3",  "B1",  "D1",  "B2",  "D2",
                                      "E11",  "E12", "E13", "E21", "E22", "E23", "F11", "F12",
                                      "F13",  "F14", "F21", "F22", "F23", "F24"}));
  const std::vector<std::string> rows = Xcampo("T");
  ASSERT_EQ(rows.size(), 21u);
  EXPECT_EQ(rows.front(), "0 X1 X1 A [ ] 1 0 [ ]");
  EXPECT_EQ(rows.back(), "20 F24 F24 A [ ] 1 0 [ ]");
}

TEST_F(Creacpy, RedefinitionsGiveNoColumns) {
  Copybook("REDEF.cpy", Line("05 A PIC X(4).") + Line("05 B REDEFINES A PIC 9(4).") +
                            Line("05 G.") + Line("10 G1 PIC X(2).") + Line("05 H REDEFINES G.") +
                            Line("10 H1 PIC 99.") + Line("05 Z PIC 9(3)V9 COMP."));
  EXPECT_EQ(Run({"creacpy", "T", "REDEF"}).status, 0);
  EXPECT_EQ(Columns("T"), (std::vector<std::string>{"ID_T NUMBER 10 0 22", "A CHAR 4", "G1 CHAR 2",
                                                    "Z NUMBER 4 1 22"}));
  EXPECT_EQ(Xcampo("T").back(), "2 Z Z N [0] 4 1 [ ]");
}

TEST_F(Creacpy, MainframeCopybookFromTheCorpus) {
  Copybook("NOMINA.cpy", ReadFile(SourcePath("tests/data/copybooks/NOMINA.cpy")));
  EXPECT_EQ(Run({"creacpy", "NOMINA", "NOMINA"}).status, 0);
  EXPECT_EQ(
      ColumnNames("NOMINA"),
      (std::vector<std::string>{"ID_NOMINA", "NOM_EMPLEADO", "NOM_PERIODO", "NOM_DIAS", "NOM_HORAS",
                                "NOM_HORAS_EXTRA", "NOM_BRUTO", "NOM_IRPF", "NOM_SEG_SOCIAL",
                                "NOM_NETO", "NOM_COEF_IRPF", "NOM_COEF_SS", "NOM_CONTADOR",
                                "NOM_PAGAS", "NOM_TIPO", "NOM_ACUMULADO", "FILLER1"}));
  const std::vector<std::string> rows = Xcampo("NOMINA");
  ASSERT_EQ(rows.size(), 16u);
  EXPECT_EQ(rows[1], "1 NOM_PERIODO NOM_PERIODO N [4] 6 0 [ ]");
  EXPECT_EQ(rows[5], "5 NOM_BRUTO NOM_BRUTO N [3] 9 2 [S]");
  EXPECT_EQ(rows[10], "10 NOM_COEF_SS NOM_COEF_SS N [2] 0 0 [ ]");
}

TEST_F(Creacpy, OldTableIsReplacedWithItsDictionaryEntry) {
  OldClientes();
  Copybook("CLIENTES.cpy", kClientes);
  EXPECT_EQ(Run({"creacpy", "CLIENTES", "CLIENTES"}).status, 0);
  EXPECT_EQ(ColumnNames("CLIENTES"),
            (std::vector<std::string>{"ID_CLIENTES", "CLI_CODIGO", "CLI_SALDO"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from CLIENTES"), std::vector<std::string>{"0"});
  EXPECT_EQ(Xcampo("CLIENTES").size(), 2u);
}

TEST_F(Creacpy, TablespacesAreUsedWhenSetAndLeftOutWhenEmpty) {
  Copybook("CLIENTES.cpy", kClientes);
  const ProgramResult with = Run({"creacpy", "CLIENTES", "CLIENTES"},
                                 {{"TEST", "1"}, {"TBDATOS", "USERS"}, {"TBINDICES", "USERS"}});
  EXPECT_EQ(with.status, 0);
  EXPECT_NE(with.out.find("pctincrease 0)  tablespace USERS\n"), std::string::npos) << with.out;
  EXPECT_NE(with.out.find("pctincrease 0) tablespace USERS\n"), std::string::npos) << with.out;
  EXPECT_EQ(with.out.find("Error de Oracle"), std::string::npos) << with.out;
  EXPECT_EQ(Rows(dir_, "select tablespace_name from user_tables where table_name = 'CLIENTES'"),
            std::vector<std::string>{"USERS"});

  // The key used to be refused for "tablespace " with no name after it.
  const ProgramResult without = Run({"creacpy", "CLIENTES", "CLIENTES"}, {{"TEST", "1"}});
  EXPECT_EQ(without.status, 0);
  EXPECT_EQ(without.out.find("tablespace"), std::string::npos) << without.out;
  EXPECT_EQ(without.out.find("Error de Oracle"), std::string::npos) << without.out;
  // The primary key is there: a second row with the same identifier is refused.
  EXPECT_EQ(Volmek(dir_, {"sql", "insert into CLIENTES (ID_CLIENTES) values (1)"}).status, 0);
  const ProgramResult twice =
      Volmek(dir_, {"sql", "insert into CLIENTES (ID_CLIENTES) values (1)"});
  EXPECT_NE(twice.out.find("ORA-00001"), std::string::npos) << twice.out;
}

// The dictionary rows used to be inserted before the table, and stayed when it failed.
TEST_F(Creacpy, FailedCreateTableLeavesNoSequenceAndNoRows) {
  Copybook("CLIENTES.cpy", kClientes);
  // A view takes the name: its drop as a table and then the create are refused.
  Script(dir_, "create view CLIENTES as select * from dual\n;\n");
  const ProgramResult result = Run({"creacpy", "CLIENTES", "CLIENTES"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("ORA-00955"), std::string::npos) << result.out;
  EXPECT_TRUE(ObjectExists(dir_, "CLIENTES"));
  EXPECT_FALSE(ObjectExists(dir_, "ID_CLIENTES"));
  EXPECT_TRUE(Xcampo("CLIENTES").empty());
}

// The old table used to be dropped before the create failed on the unknown tablespace.
TEST_F(Creacpy, UnknownTablespaceIsRefusedBeforeTheOldTableIsDropped) {
  OldClientes();
  Copybook("CLIENTES.cpy", kClientes);
  for (const char* variable : {"TBDATOS", "TBINDICES"}) {
    const ProgramResult result = Run({"creacpy", "CLIENTES", "CLIENTES"}, {{variable, "NOHAY"}});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, std::string("Error. No existe el tablespace NOHAY (") + variable +
                              "). No se modifica nada.\n");
    ExpectOldClientesIntact();
  }
}

// The bug: a name of 30 characters ran into its type, the create failed with ORA-00972 and the
// old table was gone.
TEST_F(Creacpy, ThirtyCharacterNameKeepsABlankBeforeItsType) {
  OldClientes();
  Copybook("LARGO.cpy",
           Line("05 ABCDEFGHIJ-KLMNOPQRST-UVWXYZ12 PIC X(2).") + Line("05 NEGA PIC -999."));
  const ProgramResult result = Run({"creacpy", "CLIENTES", "LARGO"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(Columns("CLIENTES"), (std::vector<std::string>{"ID_CLIENTES NUMBER 10 0 22",
                                                           "ABCDEFGHIJ_KLMNOPQRST_UVWXYZ12 CHAR 2",
                                                           "NEGA NUMBER 4 0 22"}));
  // The printed sign of -999 counts in the digits: DEC (4,0) and 4 in XCAMPO.
  EXPECT_EQ(Xcampo("CLIENTES"),
            (std::vector<std::string>{"0 ABCDEFGHIJ_KLMNOPQRST_UVWXYZ12 "
                                      "ABCDEFGHIJ_KLMNOPQRST_UVWXYZ12 A [ ] 2 0 [ ]",
                                      "1 NEGA NEGA N [ ] 4 0 [S]"}));
}

// The bug: R2, a REDEFINES inside the OCCURS group, gave no column.
TEST_F(Creacpy, RedefinitionInsideAnOccursGroupGivesItsColumns) {
  Copybook("REPE.cpy", Line("05 R OCCURS 2.") + Line("10 R1 PIC X.") +
                           Line("10 R2 REDEFINES R1 PIC 9.") + Line("10 FILLER PIC X."));
  const ProgramResult result = Run({"creacpy", "T", "REPE"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(ColumnNames("T"),
            (std::vector<std::string>{"ID_T", "R11", "R21", "FILLER11", "R12", "R22", "FILLER12"}));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo where indice = 'T'"),
            std::vector<std::string>{"6"});
}

TEST_F(Creacpy, FailedXcampoInsertTakesBackTheTableAndItsRows) {
  Script(dir_,
         "drop table xcampo\n;\ncreate table xcampo (indice varchar2(64), orden number(1), "
         "nombre varchar2(64), nombre2 varchar2(64), tipo varchar2(8), uso varchar2(8), "
         "longitud number(10), decimales number(10), signo varchar2(8))\n;\n");
  std::string text;
  for (int item_idx = 0; item_idx < 12; ++item_idx) {
    text += Line("05 C" + std::to_string(item_idx) + " PIC X.");
  }
  Copybook("MUCHOS.cpy", text);
  const ProgramResult result = Run({"creacpy", "T", "MUCHOS"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("ORA-01438"), std::string::npos) << result.out;
  EXPECT_FALSE(ObjectExists(dir_, "T"));
  EXPECT_FALSE(ObjectExists(dir_, "ID_T"));
  EXPECT_EQ(Rows(dir_, "select count(*) from xcampo"), std::vector<std::string>{"0"});
}

TEST_F(Creacpy, MultiRecordFileIsAnnounced) {
  Copybook("CLIENTES.cpy", kClientes);
  Copybook("CLIENTES.fr", "R000100000001\n0000010002CABECERA|\n");
  const ProgramResult result = Run({"creacpy", "CLIENTES", "CLIENTES"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Multiregistros definidos ...\n");
}

TEST_F(Creacpy, NameWithPeriodIsUsedUnchanged) {
  Copybook("CLIENTES.FD", kClientes);
  EXPECT_EQ(Run({"creacpy", "CLIENTES", "CLIENTES.FD"}).status, 0);
  EXPECT_EQ(ColumnNames("CLIENTES").size(), 3u);
}

TEST_F(Creacpy, EveryCorpusCopybookGivesATableWithOneRowPerColumn) {
  const std::string corpus = SourcePath("tests/data/copybooks");
  int tables = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".cpy") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    Copybook(name + ".cpy", ReadFile(entry.path().string()));
    const ProgramResult result = Run({"creacpy", "T_" + name, name});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, "");
    const std::vector<std::string> columns = ColumnNames("T_" + name);
    ASSERT_FALSE(columns.empty());
    EXPECT_EQ(Xcampo("T_" + name).size(), columns.size() - 1);
    ++tables;
  }
  EXPECT_EQ(tables, 25);
}

class CreacpyRefusals : public Creacpy {
 protected:
  void SetUp() override {
    Creacpy::SetUp();
    OldClientes();
  }
  void ExpectRefused(const std::string& copybook, const std::string& message,
                     std::map<std::string, std::string> extra = {},
                     std::vector<std::string> args = {"creacpy", "CLIENTES", "CLIENTES"}) {
    if (!copybook.empty()) Copybook("CLIENTES.cpy", copybook);
    const ProgramResult result = Run(args, std::move(extra));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, message);
    ExpectOldClientesIntact();
  }
};

TEST_F(CreacpyRefusals, MissingCopybook) {
  ExpectRefused("", "Programa " + dir_.File("copys/CLIENTES.cpy") + " inexistente ...\n");
}

TEST_F(CreacpyRefusals, MissingCopybookName) {
  ExpectRefused("", "Programa " + dir_.File("copys/.cpy") + " inexistente ...\n", {},
                {"creacpy", "CLIENTES"});
}

TEST_F(CreacpyRefusals, MissingKorvel) {
  ExpectRefused(kClientes, "Definir variable de entorno KORVEL.\n\n", {{"KORVEL", ""}});
}

TEST_F(CreacpyRefusals, SyntaxError) {
  ExpectRefused(Line("05 A PIC X(4) OCURS 2."),
                "Error de sintaxis en la linea 1: clausula OCURS no reconocida.\n"
                "       05 A PIC X(4) OCURS 2.\n");
}

TEST_F(CreacpyRefusals, MissingParenthesis) {
  ExpectRefused(Line("05 A PIC X(4."), "Esperado \")\"\n       05 A PIC X(4.\n");
}

TEST_F(CreacpyRefusals, RedefinesTargetNotFound) {
  ExpectRefused(Line("05 B REDEFINES A PIC X(4)."),
                "Campo (A) no localizado [3].\n       05 B REDEFINES A PIC X(4).\n");
}

TEST_F(CreacpyRefusals, ColumnNameLongerThanThirty) {
  ExpectRefused(Line("05 CLIENTE-NOMBRE-COMPLETO-Y-APELLIDOS PIC X."),
                "La columna CLIENTE_NOMBRE_COMPLETO_Y_APELLIDOS (linea 1 del copy) pasa de 30 "
                "caracteres.\n");
}

TEST_F(CreacpyRefusals, SameColumnTwice) {
  ExpectRefused(
      Line("05 G1.") + Line("10 NOMBRE PIC X.") + Line("05 G2.") + Line("10 NOMBRE PIC X."),
      "La columna NOMBRE sale dos veces (lineas 2 y 4 del copy).\n");
}

TEST_F(CreacpyRefusals, TableNameThatIsNoIdentifier) {
  ExpectRefused(kClientes,
                "Error. Nombre de tabla no valido (CLIENTES WHERE 1=1). No se modifica nada.\n", {},
                {"creacpy", "CLIENTES where 1=1", "CLIENTES"});
}

TEST_F(CreacpyRefusals, TableNameTooLongForItsIdentifierColumn) {
  ExpectRefused(kClientes,
                "El nombre de tabla ABCDEFGHIJKLMNOPQRSTUVWXYZ12 pasa de 27 caracteres "
                "(ID_ABCDEFGHIJKLMNOPQRSTUVWXYZ12 pasaria de 30).\n",
                {}, {"creacpy", "ABCDEFGHIJKLMNOPQRSTUVWXYZ12", "CLIENTES"});
}

}  // namespace
}  // namespace volmek::testing::copybook
