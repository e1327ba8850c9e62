// delete and borra (one table, and all tables after the confirmation), end to end.
#include <gtest/gtest.h>

#include "maint_support.h"

namespace volmek::testing::maint {
namespace {

std::string TableWithRows(const std::string& name, int rows) {
  std::string script = "create table " + name + " (a number(10))\n;\n";
  for (int row_idx = 0; row_idx < rows; ++row_idx) {
    script += "insert into " + name + " values (" + std::to_string(row_idx) + ")\n;\n";
  }
  return script;
}

int CountOf(const TempDir& dir, const std::string& table) {
  std::vector<std::string> rows = Rows(dir, "select count(*) from " + table);
  return rows.size() == 1 ? std::stoi(rows[0]) : -1;
}

class MaintDelete : public ::testing::Test {
 protected:
  void SetUp() override { PrepareDictionary(dir_); }
  TempDir dir_;
};

TEST_F(MaintDelete, EmptiesTheTableAndItsSubTablesUpToTheFirstMissing) {
  Script(dir_, TableWithRows("T", 10) + TableWithRows("T1", 2) + TableWithRows("T2", 3) +
                   TableWithRows("T4", 4));
  ProgramResult result = Volmek(dir_, {"delete", "t"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Borrada tabla T con 10 registros.\n");
  EXPECT_EQ(CountOf(dir_, "T"), 0);
  EXPECT_EQ(CountOf(dir_, "T1"), 0);
  EXPECT_EQ(CountOf(dir_, "T2"), 0);
  EXPECT_EQ(CountOf(dir_, "T4"), 4);  // T3 is missing: the series ended there
}

TEST_F(MaintDelete, MissingSecondSubTableEndsTheSeriesBeforeTheThird) {
  Script(dir_, TableWithRows("T", 1) + TableWithRows("T1", 2) + TableWithRows("T3", 3));
  ProgramResult result = Volmek(dir_, {"delete", "T"});
  EXPECT_EQ(result.out, "Borrada tabla T con 1 registros.\n");
  EXPECT_EQ(CountOf(dir_, "T1"), 0);
  EXPECT_EQ(CountOf(dir_, "T3"), 3);
}

// The success line used to be printed with a stale count for a table that does not exist.
TEST_F(MaintDelete, MissingTableIsReportedWithoutTheSuccessLine) {
  ProgramResult result = Volmek(dir_, {"delete", "NOHAY"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "\nError de Oracle. ORA-00942: table or view does not exist\n"
            "select count(*) from NOHAY\n\n");
}

TEST_F(MaintDelete, NameThatIsNoIdentifierIsRefused) {
  Script(dir_, TableWithRows("T", 2));
  ProgramResult result = Volmek(dir_, {"delete", "T where 1=0"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Error. Nombre de tabla no valido (T WHERE 1=0). No se modifica nada.\n");
  EXPECT_EQ(CountOf(dir_, "T"), 2);
}

class MaintBorra : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareDictionary(dir_);
    Script(dir_, TableWithRows("AB_CLIENTES", 2) + TableWithRows("AB_CLIENTES1", 1) +
                     TableWithRows("AB_CLIENTES2", 1) + TableWithRows("AB_CLIENTES4", 1) +
                     "create sequence ID_AB_CLIENTES\n;\n" + TableWithRows("OTRA", 1) +
                     Entry("CLIENTES") + Entry("OTRA"));
  }

  static std::string Entry(const std::string& key) {
    return "insert into xcampo values ('" + key + "', 0, 'A', 'A', 'N', ' ', 10, 0, ' ')\n;\n" +
           "insert into xclave values ('" + key + "', 0, 'A', 'A')\n;\n" +
           "insert into xdivide values ('" + key + "', 0, 'x', 0)\n;\n" +
           "insert into xselec values ('" + key + "', 1, 2, 'a', 'b', 'c', 'd', 'e')\n;\n" +
           "insert into xcondi values ('" + key + "', 1, 2, 'a', 3, 'b', 4, 'c', 5, 'd')\n;\n" +
           "insert into xindice values ('" + key + "', 1, '" + key + "', 'x')\n;\n";
  }

  int EntryRows(const std::string& key) {
    int total = 0;
    for (const char* table : {"xcampo", "xclave", "xdivide", "xselec", "xcondi", "xindice"}) {
      total += CountOf(dir_, std::string(table) + " where indice = '" + key + "'");
    }
    return total;
  }

  TempDir dir_;
};

TEST_F(MaintBorra, DropsTableSequenceSubTablesAndTheEntryOfItsKey) {
  ProgramResult result = Volmek(dir_, {"borra", "ab_clientes"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(ObjectExists(dir_, "AB_CLIENTES"));
  EXPECT_FALSE(ObjectExists(dir_, "ID_AB_CLIENTES"));
  EXPECT_FALSE(ObjectExists(dir_, "AB_CLIENTES1"));
  EXPECT_FALSE(ObjectExists(dir_, "AB_CLIENTES2"));
  EXPECT_TRUE(ObjectExists(dir_, "AB_CLIENTES4"));  // after the missing AB_CLIENTES3
  EXPECT_EQ(EntryRows("CLIENTES"), 0);
  EXPECT_EQ(EntryRows("OTRA"), 6);
}

TEST_F(MaintBorra, TableWithoutSequenceDropsWithoutAnyReport) {
  ProgramResult result = Volmek(dir_, {"borra", "OTRA"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(ObjectExists(dir_, "OTRA"));
  EXPECT_EQ(EntryRows("OTRA"), 0);
}

TEST_F(MaintBorra, MissingTableChangesNothing) {
  ProgramResult result = Volmek(dir_, {"borra", "CLIENTES"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(EntryRows("CLIENTES"), 6);
}

constexpr const char* kQuestion = "\n\nOjo. Seguro que quiere eliminar todas las tablas (S/N)";

TEST_F(MaintBorra, AllAnsweredSDropsEveryTableAndTheDictionaryLast) {
  ProgramResult result = Volmek(dir_, {"borra", "all"}, {}, "S\n");
  EXPECT_EQ(result.status, 0);
  // Every entry is deleted while the dictionary is still there: no Oracle error at all.
  EXPECT_EQ(result.out, kQuestion);
  EXPECT_EQ(Rows(dir_, "select object_name from user_objects where object_type = 'TABLE'"),
            std::vector<std::string>{});
  EXPECT_FALSE(ObjectExists(dir_, "ID_AB_CLIENTES"));
}

TEST_F(MaintBorra, AllWithEchoShowsTheDictionaryDroppedAfterTheOtherTables) {
  ProgramResult result = Volmek(dir_, {"borra", "ALL"}, {{"TEST", "1"}}, "Si\n");
  std::size_t otra = result.out.find("sql: drop table OTRA\n");
  std::size_t xcampo = result.out.find("sql: drop table XCAMPO\n");
  std::size_t last_entry = result.out.rfind("sql: delete from xselec where indice = 'OTRA'");
  ASSERT_NE(otra, std::string::npos) << result.out;
  ASSERT_NE(xcampo, std::string::npos) << result.out;
  EXPECT_LT(last_entry, xcampo);
  EXPECT_LT(otra, xcampo);
}

TEST_F(MaintBorra, AllAnsweredInLowerCaseDropsNothing) {
  ProgramResult result = Volmek(dir_, {"borra", "all"}, {}, "s\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kQuestion);
  EXPECT_TRUE(ObjectExists(dir_, "AB_CLIENTES"));
  EXPECT_TRUE(ObjectExists(dir_, "XCAMPO"));
}

TEST_F(MaintBorra, AllWithAnEmptyAnswerDropsNothing) {
  ProgramResult result = Volmek(dir_, {"borra", "all"}, {}, "\n");
  EXPECT_EQ(result.out, kQuestion);
  EXPECT_TRUE(ObjectExists(dir_, "OTRA"));
}

TEST_F(MaintBorra, AllWithStandardInputClosedDropsNothingWhateverTestHolds) {
  ProgramResult result = Volmek(dir_, {"borra", "all"}, {{"TEST", "S"}});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, kQuestion);
  EXPECT_TRUE(ObjectExists(dir_, "OTRA"));
  EXPECT_EQ(EntryRows("OTRA"), 6);
}

}  // namespace
}  // namespace volmek::testing::maint
