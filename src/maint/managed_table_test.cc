#include "maint/managed_table.h"

#include <gtest/gtest.h>

namespace volmek::maint {
namespace {

RecordEntry Clientes() {
  RecordEntry entry;
  entry.fields = {{"CODIGO", 'A', 6, 0}, {"SALDO", 'N', 9, 2}};
  return entry;
}

// Fields F0 .. F14, numeric 5,0, divided after fields 4 and 9, keyed by F1 and F7.
RecordEntry Divided() {
  RecordEntry entry;
  for (int field_idx = 0; field_idx < 15; ++field_idx) {
    entry.fields.push_back({"F" + std::to_string(field_idx), 'N', 5, 0});
  }
  entry.keys = {"F1", "F7"};
  entry.divisions = {4, 9};
  return entry;
}

TEST(ManagedTable, CreateTableTextOfTheClientesExampleHasSixLines) {
  EXPECT_EQ(CreateTableText("CLIENTES", Clientes(), 0, "DATOS"),
            "create table CLIENTES (\n"
            " ID_CLIENTES   DEC(10,0),\n"
            " CODIGO      CHAR (6) NULL, \n"
            " SALDO      DEC  (9,2) NULL\n"
            ")\n"
            " tablespace DATOS");
}

TEST(ManagedTable, EmptyTbdatosLeavesTheTablespaceClauseOut) {
  EXPECT_EQ(CreateTableText("CLIENTES", Clientes(), 0, ""),
            "create table CLIENTES (\n"
            " ID_CLIENTES   DEC(10,0),\n"
            " CODIGO      CHAR (6) NULL, \n"
            " SALDO      DEC  (9,2) NULL\n"
            ")\n");
}

TEST(ManagedTable, FillOfTheClientesExampleNamesTheSourceLast) {
  EXPECT_EQ(FillText("CLIENTES", "ORIGEN", Clientes(), 0),
            "insert into CLIENTES select ID_CLIENTES.nextval, \nCODIGO, SALDO from ORIGEN ");
}

TEST(ManagedTable, SubTableRepeatsTheKeyColumnsBeforeItsSegment) {
  EXPECT_EQ(CreateTableText("T21", Divided(), 1, ""),
            "create table T21 (\n"
            " ID_T21   DEC(10,0),\n"
            " F1      DEC  (5,0) NULL, \n"
            " F7      DEC  (5,0) NULL, \n"
            " F5      DEC  (5,0) NULL, \n"
            " F6      DEC  (5,0) NULL, \n"
            " F7      DEC  (5,0) NULL, \n"
            " F8      DEC  (5,0) NULL, \n"
            " F9      DEC  (5,0) NULL\n"
            ")\n");
  EXPECT_EQ(FillText("T22", "T12", Divided(), 2),
            "insert into T22 select ID_T22.nextval, \nF1, F7, F10, F11, F12, F13, F14 from T12 ");
}

TEST(ManagedTable, KeyNameThatIsNoFieldIsLeftOutOfTheColumnsButNotOutOfTheFill) {
  RecordEntry entry = Divided();
  entry.keys = {"NOHAY", "F2"};
  std::string create = CreateTableText("T1", entry, 2, "");
  EXPECT_EQ(create.find("NOHAY"), std::string::npos);
  EXPECT_TRUE(create.starts_with("create table T1 (\n ID_T1   DEC(10,0),\n F2      DEC "))
      << create;
  EXPECT_TRUE(FillText("T1", "S1", entry, 2)
                  .starts_with("insert into T1 select ID_T1.nextval, \nNOHAY, F2, F10"));
}

TEST(ManagedTable, LastOfSeveralFieldsWithTheKeyNameGivesTheKeyColumnType) {
  RecordEntry entry = Divided();
  entry.fields[12] = {"F1", 'A', 3, 0};
  entry.keys = {"F1"};
  EXPECT_NE(CreateTableText("T", entry, 1, "").find(" F1      CHAR (3) NULL, \n F5 "),
            std::string::npos);
}

TEST(ManagedTable, PrimaryKeyPutsItsIndexInTbindicesOnlyWhenSet) {
  EXPECT_EQ(PrimaryKeyText("T", "INDICES"),
            "alter table T add primary key (ID_T) using index storage (initial 1000000 next "
            "2000000 pctincrease 0) tablespace INDICES");
  EXPECT_EQ(PrimaryKeyText("T", ""),
            "alter table T add primary key (ID_T) using index storage (initial 1000000 next "
            "2000000 pctincrease 0)");
}

TEST(ManagedTable, UniqueIndexNamesEveryKeyColumn) {
  EXPECT_EQ(UniqueIndexText("T2", Divided(), "IND"),
            "create unique index T2I on T2 (F1, F7)  storage (initial 1000000 next 2000000 "
            "pctincrease 0)  tablespace IND");
  EXPECT_EQ(UniqueIndexText("T2", Divided(), ""),
            "create unique index T2I on T2 (F1, F7)  storage (initial 1000000 next 2000000 "
            "pctincrease 0) ");
}

TEST(ManagedTable, SequenceStartsAtOne) {
  EXPECT_EQ(CreateSequenceText("T2"),
            "create sequence ID_T2 start with 1 increment by 1 nomaxvalue nocycle cache 10");
}

TEST(ManagedTable, SegmentTablesAreTheTableAndItsNumberedSubTables) {
  EXPECT_EQ(SegmentTable("T2", 0), "T2");
  EXPECT_EQ(SegmentTable("T2", 1), "T21");
  EXPECT_EQ(SegmentTable("T2", 12), "T212");
}

}  // namespace
}  // namespace volmek::maint
