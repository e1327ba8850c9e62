#include "datafiles/restore.h"

#include <gtest/gtest.h>

#include "datafiles/datafiles_fixture.h"
#include "datafiles/date_format.h"

namespace volmek::datafiles {
namespace {

class Restore : public testing::FakeRun {
 protected:
  // The statements sent, less the date format switches and the commit.
  std::vector<std::string> Statements() {
    std::vector<std::string> statements;
    for (const std::string& sql : Parsed()) {
      if (sql.starts_with("alter session") || sql.starts_with("select value from nls") ||
          sql == "commit work") {
        continue;
      }
      statements.push_back(sql);
    }
    return statements;
  }

  void Refuse(const std::string& sql) {
    db::testing::Response refused;
    refused.parse_rc = 913;
    refused.parse_error = "ORA-00913: too many values";
    db_.Add(sql, refused);
  }
};

TEST_F(Restore, EmptiesTheTableThenInsertsEveryLine) {
  dir_.Write("T.txt", "1,'A'\n2,NULL\r\n3,'C''D'");
  auto counts = LoadTable(*ctx_, "T", LoadMode::kRestore);
  ASSERT_TRUE(counts.has_value());
  EXPECT_EQ(counts->lines, 3);
  EXPECT_EQ(counts->rejected, 0);
  std::vector<std::string> expected = {"delete from T", "insert into T values (1,'A')",
                                       "insert into T values (2,NULL)",
                                       "insert into T values (3,'C''D')"};
  EXPECT_EQ(Statements(), expected);
  EXPECT_EQ(out_.str(), "Restore T con 3 filas recuperadas.\n");
}

TEST_F(Restore, OneLineIsSingularInBothPlaces) {
  dir_.Write("T.txt", "1\n");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kRestore).has_value());
  EXPECT_EQ(out_.str(), "Restore T con 1 fila recuperada.\n");
}

TEST_F(Restore, EmptyFileEmptiesTheTableAndAddLeavesIt) {
  dir_.Write("T.txt", "");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kRestore).has_value());
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  EXPECT_EQ(out_.str(), "Restore T con 0 filas recuperadas.\nAdd T con 0 filas recuperadas.\n");
  EXPECT_EQ(Statements(), std::vector<std::string>{"delete from T"});
}

TEST_F(Restore, MissingFileLeavesTheTableUntouched) {
  auto counts = LoadTable(*ctx_, "A", LoadMode::kRestore);
  ASSERT_FALSE(counts.has_value());
  EXPECT_EQ(counts.error().message(), "Imposible abrir fichero restore (A.txt).\n");
  EXPECT_TRUE(Parsed().empty());
  EXPECT_EQ(out_.str(), "");
}

TEST_F(Restore, TheParameterIsTheTableNameNotTheFileName) {
  dir_.Write("A.txt.txt", "1\n");
  ASSERT_TRUE(LoadTable(*ctx_, "A.txt", LoadMode::kAdd).has_value());
  EXPECT_EQ(Statements(), std::vector<std::string>{"insert into A.txt values (1)"});
}

TEST_F(Restore, FailingLinesAreCountedAndWarnedAbout) {
  dir_.Write("T.txt", "1\n\n1,2,3\n4\n");
  Refuse("insert into T values ()");
  Refuse("insert into T values (1,2,3)");
  auto counts = LoadTable(*ctx_, "T", LoadMode::kAdd);
  ASSERT_TRUE(counts.has_value());
  EXPECT_EQ(counts->lines, 4);
  EXPECT_EQ(counts->rejected, 2);
  EXPECT_EQ(out_.str(),
            "\nError de Oracle. ORA-00913: too many values\ninsert into T values ()\n\n"
            "\nError de Oracle. ORA-00913: too many values\ninsert into T values (1,2,3)\n\n"
            "Add T con 4 filas recuperadas.\n"
            "Warning. 2 filas rechazadas.\n");
}

TEST_F(Restore, OneFailingLineWarnsInTheSingular) {
  dir_.Write("T.txt", "1,2,3\n");
  Refuse("insert into T values (1,2,3)");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  EXPECT_TRUE(out_.str().ends_with("Add T con 1 fila recuperada.\nWarning. 1 fila rechazada.\n"));
}

TEST_F(Restore, LongLinesAreLoadedWhole) {
  std::string value(20000, 'x');
  dir_.Write("T.txt", "'" + value + "'\n");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  EXPECT_EQ(Statements(), std::vector<std::string>{"insert into T values ('" + value + "')"});
}

TEST_F(Restore, OldFormDatesAreLoadedInTheSessionFormat) {
  dir_.Write("T.txt", "1,'2026-12-08 10:11:12'\n2,'08-DEC-25'\n3,'2026-12-08 10:11:12'\n");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  std::vector<std::string> expected = {
      "select value from nls_session_parameters where parameter = 'NLS_DATE_FORMAT'",
      "alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'",
      "insert into T values (1,'2026-12-08 10:11:12')",
      "alter session set nls_date_format = 'DD-MON-YY'",
      "insert into T values (2,'08-DEC-25')",
      "alter session set nls_date_format = 'YYYY-MM-DD HH24:MI:SS'",
      "insert into T values (3,'2026-12-08 10:11:12')",
      "alter session set nls_date_format = 'DD-MON-YY'",
      "commit work"};
  EXPECT_EQ(Parsed(), expected);
}

TEST_F(Restore, RowsAreCommittedBeforeTheSummarySaysSo) {
  dir_.Write("T.txt", "1\n");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  EXPECT_EQ(Parsed().back(), "commit work");
  // The bug: the summary was printed and the commit, at the log-off, failed unseen.
  db::testing::Response busy;
  busy.execute_rc = 54;
  busy.execute_error = "ORA-00054: resource busy";
  db_.Add("commit work", busy);
  out_.str("");
  auto counts = LoadTable(*ctx_, "T", LoadMode::kAdd);
  ASSERT_FALSE(counts.has_value());
  EXPECT_EQ(counts.error().code(), Status::Code::kFatal);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00054: resource busy\ncommit work\n\n");
}

TEST_F(Restore, OldFormNullOfANumberColumnIsLoadedAsNull) {
  db_.Add("select * from T", Query({db::testing::NumberColumn("ID", 8, 0),
                                    db::testing::TextColumn("NOMBRE", db::kTypeChar, 2)},
                                   {}));
  dir_.Write("T.txt", "'" + std::string(18, ' ') + "','  '\n");
  ASSERT_TRUE(LoadTable(*ctx_, "T", LoadMode::kAdd).has_value());
  EXPECT_EQ(Statements(),
            (std::vector<std::string>{"select * from T", "insert into T values (NULL,'  ')"}));
}

class OldFormDate : public ::testing::Test {};

TEST_F(OldFormDate, RecognisesOnlyQuotedDayMonthYear) {
  EXPECT_TRUE(HasOldFormDate("1,'08-DEC-25'"));
  EXPECT_TRUE(HasOldFormDate("'15-nov-2003',2"));
  EXPECT_FALSE(HasOldFormDate("'2026-12-08 10:11:12'"));
  EXPECT_FALSE(HasOldFormDate("-1,-2.50,'A-B'"));
  EXPECT_FALSE(HasOldFormDate("'08-DEC-255'"));
  EXPECT_FALSE(HasOldFormDate("'08-DEC-25"));
}

}  // namespace
}  // namespace volmek::datafiles
