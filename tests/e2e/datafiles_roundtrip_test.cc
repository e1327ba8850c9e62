// backup and restore end to end: what restore loads back is exactly what backup saved.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "e2e/datafiles_support.h"

namespace volmek::testing {
namespace {

class DataFilesRoundTrip : public DataFilesRun {
 protected:
  void SetUp() override {
    Script(
        {"create table tipos (id number(10), n18 number(18), d184 number(18,4), d93 number(9,3), "
         "libre number, c8 char(8), v varchar2(4000), f date, neg number(12,2))"});
  }
  void Insert(const std::string& values) { Script({"insert into tipos values (" + values + ")"}); }

  // Backs up, empties by restore from the same file, and checks that the table and the file
  // are the same afterwards.
  void ExpectRoundTrip(const std::string& table, const std::string& query) {
    std::string before = Rows(query);
    ProgramResult backup = Run({"backup", table});
    ASSERT_EQ(backup.status, 0) << backup.out;
    std::string saved = dir_.Read(table + ".txt");
    ProgramResult restore = Run({"restore", table});
    ASSERT_EQ(restore.status, 0) << restore.out;
    EXPECT_EQ(restore.out.find("Error"), std::string::npos) << restore.out;
    EXPECT_EQ(Rows(query), before);
    ASSERT_EQ(Run({"backup", table}).status, 0);
    EXPECT_EQ(dir_.Read(table + ".txt"), saved);
  }
};

TEST_F(DataFilesRoundTrip, EveryTypeWithNullsQuotesDecimalsDatesAndLongTexts) {
  Insert(
      "1, 123456789012345678, 12345678901234.5678, 7.257, 0.000001, 'AB', "
      "'O''Neil, \"~\" y ''comillas''', to_date('2026-12-08 23:59:58', 'YYYY-MM-DD HH24:MI:SS'), "
      "-1234.5");
  Insert("2, null, null, null, null, null, null, null, null");
  Insert(
      "-9999999999, -123456789012345678, -0.0001, -999999.999, 3, '', '', "
      "to_date('1999-01-31 00:00:01', 'YYYY-MM-DD HH24:MI:SS'), 0");
  Insert(fmt::format("4, 0, 1, 1, 1, 'X', '{}', null, 1", std::string(4000, 'L')));
  Insert("5, 1, 1, 1, 1, 'X', 'linea1' || chr(10) || 'linea2' || chr(13) || chr(10), null, 1");
  ExpectRoundTrip("TIPOS", "select * from tipos order by id");
  std::string file = dir_.Read("TIPOS.txt");
  EXPECT_NE(file.find("1,123456789012345678.00,12345678901234.5678,7.257,"), std::string::npos)
      << file;
  EXPECT_NE(file.find("'O''Neil, \"~\" y ''comillas'''"), std::string::npos) << file;
  EXPECT_NE(file.find("'2026-12-08 23:59:58'"), std::string::npos) << file;
  EXPECT_NE(file.find("2,NULL,NULL,NULL,NULL,NULL,NULL,NULL,NULL\n"), std::string::npos) << file;
  EXPECT_NE(file.find("'linea1'||chr(10)||'linea2'||chr(13)||chr(10)"), std::string::npos) << file;
  EXPECT_NE(file.find(",-1234.50\n"), std::string::npos) << file;
}

TEST_F(DataFilesRoundTrip, ThreeHundredColumns) {
  std::string create = "create table ancha (";
  std::string values;
  for (int idx = 1; idx <= 300; ++idx) {
    create += fmt::format("{}c{} varchar2(10)", idx > 1 ? ", " : "", idx);
    values += fmt::format("{}'v{}'", idx > 1 ? ", " : "", idx);
  }
  Script({create + ")", "insert into ancha values (" + values + ")"});
  ExpectRoundTrip("ANCHA", "select * from ancha");
  std::string file = dir_.Read("ANCHA.txt");
  EXPECT_TRUE(file.starts_with("'v1','v2',")) << file.substr(0, 40);
  EXPECT_TRUE(file.ends_with(",'v300'\n"));
}

TEST_F(DataFilesRoundTrip, OldFormFilesStillLoad) {
  dir_.Write("TIPOS.txt", "1,12.00,0.50,7.26,3,'AB      ','     ','08-DEC-25',1.00\n");
  ProgramResult restore = Run({"restore", "TIPOS"});
  ASSERT_EQ(restore.status, 0) << restore.out;
  EXPECT_EQ(restore.out, "Restore TIPOS con 1 fila recuperada.\n");
  ASSERT_EQ(Run({"backup", "TIPOS"}).status, 0);
  EXPECT_EQ(dir_.Read("TIPOS.txt"),
            "1,12.00,0.50,7.26,3.00,'AB      ','     ','2025-12-08 00:00:00',1.00\n");
}

}  // namespace
}  // namespace volmek::testing
