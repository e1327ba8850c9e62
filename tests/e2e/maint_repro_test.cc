// repro, reproa and dupestru on a record divided into three tables, end to end.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "maint_support.h"

namespace volmek::testing::maint {
namespace {

// Fields F0 .. F14: even ones CHAR(3) "A", odd ones DEC(6,2). Keys F0 and F1. Division values 9
// and 4 (inserted in that order; they are read by field number).
std::string Record(const std::string& key, int last_division = 9) {
  std::string script;
  for (int field_idx = 0; field_idx < 15; ++field_idx) {
    bool text = field_idx % 2 == 0;
    script += fmt::format(
        "insert into xcampo values ('{}', {}, 'F{}', 'F{}', '{}', ' ', {}, {}, ' ')\n;\n", key,
        field_idx, field_idx, field_idx, text ? "A" : "N", text ? 3 : 6, text ? 0 : 2);
  }
  script += fmt::format("insert into xclave values ('{}', 0, 'F0', 'A')\n;\n", key);
  script += fmt::format("insert into xclave values ('{}', 1, 'F1', 'D')\n;\n", key);
  script += fmt::format("insert into xdivide values ('{}', 1, 'b', {})\n;\n", key, last_division);
  script += fmt::format("insert into xdivide values ('{}', 0, 'a', 4)\n;\n", key);
  script +=
      fmt::format("insert into xselec values ('{}', 1, 2, 'a', 'b', 'c', 'd', 'e')\n;\n", key);
  script += fmt::format("insert into xindice values ('{}', 7, '{}', 'resto')\n;\n", key, key);
  return script;
}

std::string Columns(int first, int last, bool keys) {
  std::string columns = keys ? ", F0 char(3), F1 number(6,2)" : "";
  for (int field_idx = first; field_idx <= last; ++field_idx) {
    columns += fmt::format(", F{} {}", field_idx, field_idx % 2 == 0 ? "char(3)" : "number(6,2)");
  }
  return columns;
}

std::string Values(int row, int first, int last, bool keys) {
  std::string values = keys ? fmt::format(", 'K{}', {}", row, row) : "";
  for (int field_idx = first; field_idx <= last; ++field_idx) {
    values +=
        field_idx % 2 == 0 ? fmt::format(", 'r{}'", row) : fmt::format(", {}.{}", row, field_idx);
  }
  return values;
}

// The source tables NAME, NAME1, NAME2 with three rows each, as a managed record would have them.
std::string Source(const std::string& name) {
  std::string script;
  const int firsts[] = {0, 5, 10};
  const int lasts[] = {4, 9, 14};
  for (int segment = 0; segment < 3; ++segment) {
    std::string table = segment == 0 ? name : name + std::to_string(segment);
    script += fmt::format("create table {} (ID_{} number(10){})\n;\n", table, table,
                          Columns(firsts[segment], lasts[segment], segment > 0));
    for (int row = 1; row <= 3; ++row) {
      script += fmt::format("insert into {} values ({}{})\n;\n", table, 100 + row,
                            Values(row, firsts[segment], lasts[segment], segment > 0));
    }
  }
  return script;
}

std::vector<std::string> ColumnNames(const TempDir& dir, const std::string& table) {
  std::vector<std::string> rows =
      Rows(dir,
           "select column_name, data_type, data_precision, data_scale from "
           "user_tab_columns where table_name = '" +
               table + "' order by column_id");
  return rows;
}

class MaintRepro : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareDictionary(dir_);
    Script(dir_, Source("T1") + Record("T1"));
  }
  std::map<std::string, std::string> Spaces() const {
    return {{"TBDATOS", "USERS"}, {"TBINDICES", "USERS"}};
  }
  TempDir dir_;
};

TEST_F(MaintRepro, DividedRecordIsCopiedIntoThreeManagedTables) {
  ProgramResult result = Volmek(dir_, {"repro", "t1", "t2"}, Spaces());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Copiados 3 registros de T1 a T2.\n");

  EXPECT_EQ(ColumnNames(dir_, "T2"), Lines({"ID_T2 NUMBER 10 0", "F0 CHAR", "F1 NUMBER 6 2",
                                            "F2 CHAR", "F3 NUMBER 6 2", "F4 CHAR"}));
  EXPECT_EQ(ColumnNames(dir_, "T21"),
            Lines({"ID_T21 NUMBER 10 0", "F0 CHAR", "F1 NUMBER 6 2", "F5 NUMBER 6 2", "F6 CHAR",
                   "F7 NUMBER 6 2", "F8 CHAR", "F9 NUMBER 6 2"}));
  EXPECT_EQ(ColumnNames(dir_, "T22"),
            Lines({"ID_T22 NUMBER 10 0", "F0 CHAR", "F1 NUMBER 6 2", "F10 CHAR", "F11 NUMBER 6 2",
                   "F12 CHAR", "F13 NUMBER 6 2", "F14 CHAR"}));

  EXPECT_EQ(Rows(dir_, "select id_t2 || ' ' || f0 || ' ' || f3 from t2 order by id_t2"),
            Lines({"1 r1 1.3", "2 r2 2.3", "3 r3 3.3"}));
  EXPECT_EQ(Rows(dir_,
                 "select id_t22 || ' ' || f0 || ' ' || f1 || ' ' || f13 from t22 "
                 "order by id_t22"),
            Lines({"1 K1 1 1.13", "2 K2 2 2.13", "3 K3 3 3.13"}));
  for (const char* sequence : {"ID_T2", "ID_T21", "ID_T22"}) {
    EXPECT_TRUE(ObjectExists(dir_, sequence)) << sequence;
  }
  EXPECT_EQ(Rows(dir_,
                 "select index_name || ' ' || uniqueness from user_indexes where "
                 "index_name like 'T2%I' order by index_name"),
            Lines({"T21I UNIQUE", "T22I UNIQUE", "T2I UNIQUE"}));
  // The primary-key index and the unique key index of every table of the record.
  EXPECT_EQ(Rows(dir_,
                 "select table_name, count(*) from user_indexes where table_name "
                 "like 'T2%' group by table_name order by table_name"),
            Lines({"T2 2", "T21 2", "T22 2"}));
  EXPECT_EQ(DictionaryOf(dir_, "T2"), DictionaryOf(dir_, "T1"));
  EXPECT_EQ(DictionaryOf(dir_, "T2").size(), 19u);
  EXPECT_EQ(Rows(dir_, "select clave from xindice where indice = 'T2'"), Lines({"T2"}));
}

TEST_F(MaintRepro, EmptyTablespacesLeaveTheClauseOutAndTheKeysAreStillCreated) {
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.out, "Copiados 3 registros de T1 a T2.\n");
  // The primary-key index and the unique key index of every table of the record.
  EXPECT_EQ(Rows(dir_,
                 "select table_name, count(*) from user_indexes where table_name "
                 "like 'T2%' group by table_name order by table_name"),
            Lines({"T2 2", "T21 2", "T22 2"}));
}

TEST_F(MaintRepro, EchoShowsTheCreateTableTextOfEachSegment) {
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"}, {{"TEST", "1"}, {"TBDATOS", "USERS"}});
  EXPECT_NE(result.out.find("Existencia tabla T2 (99) \n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("sql: create table T2 (\n ID_T2   DEC(10,0),\n F0      CHAR (3) "
                            "NULL, \n F1      DEC  (6,2) NULL, \n"),
            std::string::npos);
  EXPECT_NE(result.out.find(" F4      CHAR (3) NULL\n)\n tablespace USERS\n"), std::string::npos);
  EXPECT_NE(result.out.find("sql: insert into T21 select ID_T21.nextval, \nF0, F1, F5, F6, F7, "
                            "F8, F9 from T11 \n"),
            std::string::npos);
}

TEST_F(MaintRepro, ReproOntoAnExistingCopyStartsItAfresh) {
  ASSERT_EQ(Volmek(dir_, {"repro", "T1", "T2"}).status, 0);
  Script(dir_, "insert into T2 (ID_T2, F0) values (99, 'zz')\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.out, "Copiados 3 registros de T1 a T2.\n");
  EXPECT_EQ(Rows(dir_, "select id_t2 from t2 order by id_t2"), Lines({"1", "2", "3"}));
  EXPECT_EQ(DictionaryOf(dir_, "T2").size(), 19u);
}

TEST_F(MaintRepro, StaleEntryUnderTheNewKeyIsReplacedNotDoubled) {
  Script(dir_, "insert into xcampo values ('T2', 0, 'VIEJO', 'VIEJO', 'A', ' ', 1, 0, ' ')\n;\n");
  ASSERT_EQ(Volmek(dir_, {"repro", "T1", "T2"}).status, 0);
  EXPECT_EQ(DictionaryOf(dir_, "T2"), DictionaryOf(dir_, "T1"));
}

TEST_F(MaintRepro, SameKeyCopyKeepsTheOneEntryAsItIs) {
  Script(dir_, Source("AB_CLI") + Record("CLI"));
  std::vector<std::string> before = DictionaryOf(dir_, "CLI");
  ProgramResult result = Volmek(dir_, {"repro", "AB_CLI", "CD_CLI"});
  EXPECT_EQ(result.out, "Copiados 3 registros de AB_CLI a CD_CLI.\n");
  ASSERT_EQ(Volmek(dir_, {"repro", "AB_CLI", "CD_CLI"}).status, 0);
  EXPECT_EQ(DictionaryOf(dir_, "CLI"), before);
  EXPECT_EQ(Rows(dir_, "select count(*) from CD_CLI2"), Lines({"3"}));
}

// The new identifiers come from ID_T2, whose cache of 10 values ended with the repro's session.
TEST_F(MaintRepro, ReproaAppendsWithNewIdentifiersAndCreatesNothing) {
  ASSERT_EQ(Volmek(dir_, {"repro", "T1", "T2"}).status, 0);
  // New key values, so that the unique key index of T2 takes the appended rows.
  Script(dir_,
         "update T1 set F1 = F1 + 10\n;\nupdate T11 set F1 = F1 + 10\n;\n"
         "update T12 set F1 = F1 + 10\n;\n");
  ProgramResult result = Volmek(dir_, {"reproa", "T1", "T2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Copiados 3 registros de T1 a T2 (con adicion).\n");
  EXPECT_EQ(Rows(dir_, "select id_t2 || ' ' || f0 from t2 order by id_t2"),
            Lines({"1 r1", "2 r2", "3 r3", "11 r1", "12 r2", "13 r3"}));
  EXPECT_EQ(Rows(dir_, "select max(id_t21), count(*) from t21"), Lines({"13 6"}));
  EXPECT_EQ(DictionaryOf(dir_, "T2").size(), 19u);
}

TEST_F(MaintRepro, ReproaOntoAMissingTableCreatesItWithItsEntry) {
  ProgramResult result = Volmek(dir_, {"reproa", "T1", "T3"}, {{"TEST", "1"}});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Existencia tabla T3 (99) \n"), std::string::npos);
  EXPECT_TRUE(result.out.ends_with("Copiados 3 registros de T1 a T3 (con adicion).\n"));
  EXPECT_EQ(Rows(dir_, "select count(*) from t32"), Lines({"3"}));
  EXPECT_EQ(DictionaryOf(dir_, "T3"), DictionaryOf(dir_, "T1"));
}

class MaintReproRefusal : public MaintRepro {
 protected:
  void SetUp() override {
    MaintRepro::SetUp();
    ASSERT_EQ(Volmek(dir_, {"repro", "T1", "T2"}).status, 0);
    Script(dir_, "insert into T2 (ID_T2, F0) values (99, 'zz')\n;\n");
  }
  // The destination, its sub-tables, its rows and its entry are all still there.
  void ExpectDestinationIntact() {
    EXPECT_EQ(Rows(dir_, "select count(*) from t2"), Lines({"4"}));
    EXPECT_EQ(Rows(dir_, "select count(*) from t22"), Lines({"3"}));
    EXPECT_TRUE(ObjectExists(dir_, "ID_T2"));
    EXPECT_EQ(DictionaryOf(dir_, "T2").size(), 19u);
  }
};

TEST_F(MaintReproRefusal, MissingSourceTable) {
  for (const char* operation : {"repro", "reproa"}) {
    ProgramResult result = Volmek(dir_, {operation, "NOHAY", "T2"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error. No existe la tabla NOHAY. No se modifica nada.\n");
  }
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, MissingSourceSubTable) {
  Script(dir_, "drop table T12\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. No existe la tabla T12. No se modifica nada.\n");
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, SourceWithoutDictionaryFields) {
  Script(dir_, "create table SINDIC (a number)\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "SINDIC", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. La tabla SINDIC no tiene campos en el diccionario (clave SINDIC). No se "
            "modifica nada.\n");
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, DivisionAtTheLastField) {
  Script(dir_, "update xdivide set campo = 14 where indice = 'T1' and campo = 9\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. Divisiones no validas en el diccionario de la tabla T1 (clave T1): el valor "
            "14 no esta entre los campos 0 a 13 en orden creciente. No se modifica nada.\n");
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, RepeatedDivisionValue) {
  Script(dir_, "update xdivide set campo = 4 where indice = 'T1'\n;\n");
  ProgramResult result = Volmek(dir_, {"reproa", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(result.out.starts_with("Error. Divisiones no validas")) << result.out;
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, UnreadableDictionary) {
  Script(dir_, "drop table xdivide\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "\nError de Oracle. ORA-00942: table or view does not exist\n"
            "select * from xdivide where indice = 'T1' order by 4\n\n"
            "Error. No se puede leer el diccionario de la tabla T1 (clave T1). No se modifica "
            "nada.\n");
  EXPECT_EQ(Rows(dir_, "select count(*) from t2"), Lines({"4"}));
}

TEST_F(MaintReproRefusal, DestinationThatIsASource) {
  ProgramResult same = Volmek(dir_, {"repro", "T2", "T2"});
  EXPECT_EQ(same.status, 1);
  EXPECT_EQ(same.out, "Error. La tabla T2 seria a la vez origen y destino. No se modifica nada.\n");
  // The source's sub-table R1 would be dropped as the destination of segment 0.
  Script(dir_, Source("R") + Record("R"));
  ProgramResult sub = Volmek(dir_, {"repro", "R", "R1"});
  EXPECT_EQ(sub.status, 1);
  EXPECT_EQ(sub.out, "Error. La tabla R1 seria a la vez origen y destino. No se modifica nada.\n");
  ExpectDestinationIntact();
  EXPECT_EQ(Rows(dir_, "select count(*) from r1"), Lines({"3"}));
}

TEST_F(MaintReproRefusal, MissingSecondTableName) {
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2", "T3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. Se tienen que especificar dos tablas. No se modifica nada.\n");
  ExpectDestinationIntact();
}

// The bug: the destination was dropped before the sequence name ID_<28 characters> was refused,
// and the run ended with status 0.
TEST_F(MaintReproRefusal, DerivedNamesOverThirtyCharacters) {
  const std::string name28 = "ABCDEFGHIJKLMNOPQRSTUVWXYZAB";
  Script(dir_, "create table " + name28 + " (a number)\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", name28});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. El nombre ID_" + name28 + ", que se deriva de la tabla " + name28 +
                            ", pasa de 30 caracteres o no es valido. No se modifica "
                            "nada.\n");
  EXPECT_TRUE(ObjectExists(dir_, name28));
  // With the divisions a 27-character name fails on its sub-table's sequence.
  const std::string name27 = name28.substr(0, 27);
  result = Volmek(dir_, {"reproa", "T1", name27});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. El nombre ID_" + name27 + "1, que se deriva de la tabla " + name27 +
                            ", pasa de 30 caracteres o no es valido. No se modifica "
                            "nada.\n");
  EXPECT_FALSE(ObjectExists(dir_, name27));
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, UnknownTablespace) {
  for (const char* operation : {"repro", "reproa"}) {
    for (const char* variable : {"TBDATOS", "TBINDICES"}) {
      ProgramResult result = Volmek(dir_, {operation, "T1", "T2"}, {{variable, "NOEXISTE"}});
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.out, std::string("Error. No existe el tablespace NOEXISTE (") + variable +
                                "). No se modifica nada.\n");
    }
  }
  ExpectDestinationIntact();
}

TEST_F(MaintReproRefusal, KeyFieldOutsideTheFirstTableOrNoColumnName) {
  Script(dir_, "update xclave set campo = 'F7' where indice = 'T1' and campo = 'F1'\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. El campo clave (F7) de la tabla T1 (clave T1) no es un campo de su primer "
            "segmento. No se modifica nada.\n");
  Script(dir_,
         "update xclave set campo = 'F1' where indice = 'T1' and campo = 'F7'\n;\n"
         "update xcampo set nombre = 'F 3' where indice = 'T1' and nombre = 'F3'\n;\n");
  result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. El campo (F 3) del diccionario de la tabla T1 (clave T1) no es un nombre de "
            "columna valido. No se modifica nada.\n");
  // A reserved word would be refused by the create that follows the drop of T2.
  Script(dir_, "update xcampo set nombre = 'Level' where indice = 'T1' and nombre = 'F 3'\n;\n");
  result = Volmek(dir_, {"reproa", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. El campo (Level) del diccionario de la tabla T1 (clave T1) no es un nombre "
            "de columna valido. No se modifica nada.\n");
  ExpectDestinationIntact();
}

// The bug: a fill refused by the database was reported, the copy went on, its entry was
// written and the success line printed with status 0; the old destination was gone.
TEST_F(MaintReproRefusal, FailedFillEndsTheRunAndLeavesTheDestinationAsItWas) {
  if (OracleBackendRun()) GTEST_SKIP() << "the operation unit is the embedded engine's";
  // F0 becomes one character wide in the record, too narrow for the source's values.
  Script(dir_, "update xcampo set longitud = 1 where indice = 'T1' and nombre = 'F0'\n;\n");
  ProgramResult result = Volmek(dir_, {"repro", "T1", "T2"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find("ORA-12899"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("Copiados"), std::string::npos) << result.out;
  ExpectDestinationIntact();
}

class MaintDupestru : public MaintRepro {};

TEST_F(MaintDupestru, MakesAnEmptyCopyOfTheStructureWithTheEntry) {
  ProgramResult result = Volmek(dir_, {"dupestru", "nueva", "t1"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(ColumnNames(dir_, "NUEVA"), ColumnNames(dir_, "T1"));
  EXPECT_EQ(Rows(dir_, "select count(*) from nueva"), Lines({"0"}));
  EXPECT_EQ(DictionaryOf(dir_, "NUEVA"), DictionaryOf(dir_, "T1"));
  EXPECT_FALSE(ObjectExists(dir_, "ID_NUEVA"));
  EXPECT_FALSE(ObjectExists(dir_, "NUEVA1"));
}

TEST_F(MaintDupestru, OntoAnExistingTableDropsItAndItsSequence) {
  Script(dir_,
         "create table NUEVA (x number)\n;\ninsert into NUEVA values (1)\n;\n"
         "create sequence ID_NUEVA\n;\n");
  ProgramResult result = Volmek(dir_, {"dupestru", "NUEVA", "T1"}, {{"TEST", "1"}});
  EXPECT_NE(result.out.find("Existencia tabla NUEVA (00) \n"), std::string::npos);
  EXPECT_EQ(ColumnNames(dir_, "NUEVA"), ColumnNames(dir_, "T1"));
  EXPECT_EQ(Rows(dir_, "select count(*) from nueva"), Lines({"0"}));
  EXPECT_FALSE(ObjectExists(dir_, "ID_NUEVA"));
}

TEST_F(MaintDupestru, MissingModelChangesNothing) {
  Script(dir_, "create table NUEVA (x number)\n;\ninsert into NUEVA values (1)\n;\n");
  ProgramResult result = Volmek(dir_, {"dupestru", "NUEVA", "NOHAY"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. No existe la tabla NOHAY. No se modifica nada.\n");
  EXPECT_EQ(Rows(dir_, "select count(*) from nueva"), Lines({"1"}));
}

TEST_F(MaintDupestru, SameTableIsRefused) {
  ProgramResult result = Volmek(dir_, {"dupestru", "T1", "T1"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "Error. La tabla T1 seria a la vez origen y destino. No se modifica nada.\n");
  EXPECT_EQ(Rows(dir_, "select count(*) from t1"), Lines({"3"}));
}

TEST_F(MaintDupestru, SharedKeyKeepsTheEntry) {
  Script(dir_, Source("AB_CLI") + Record("CLI"));
  std::vector<std::string> before = DictionaryOf(dir_, "CLI");
  ASSERT_EQ(Volmek(dir_, {"dupestru", "CD_CLI", "AB_CLI"}).status, 0);
  EXPECT_EQ(DictionaryOf(dir_, "CLI"), before);
}

}  // namespace
}  // namespace volmek::testing::maint
