// The direct path of restore on the embedded engine gives what the statement path gives: the
// same rows, the same reports, the same summary, line for line, for plain lines, for lines
// that only a statement reads and for lines that fail.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "datafiles/restore.h"
#include "datafiles/table_text.h"
#include "db/run_context.h"
#include "db/session.h"
#include "testing/harness.h"

namespace volmek::datafiles {
namespace {

// Every line of the file is one case: loaded, rounded, converted or refused.
constexpr std::string_view kFile =
    "1,12.5,'Ana','A1','2026-01-02 03:04:05'\n"
    "2,-0.25,'O''Brien','B''2',NULL\n"
    "3,1.005,'x',' c','2026-12-31 23:59:59'\n"
    "-4,99999999.999,null,'D',NULL\n"
    "5,7,'Texto largo de mas','E',NULL\n"    // ORA-12899 on NOMBRE
    "6,1,'F',NULL,NULL\n"                    // ORA-01400 on CODIGO (NOT NULL)
    "1,1,'G','G',NULL\n"                     // ORA-00001 on the key
    "7,'abc','H','H',NULL\n"                 // ORA-01722
    "8,1,'I','I','31-02-2026'\n"             // a date the format does not read
    "9,1,'J'||chr(10)||'K','J',NULL\n"       // only a statement reads chr pieces
    "10,1,'VAL'E','K',NULL\n"                // an old-form apostrophe
    "11,1,'L'\n"                             // not enough values
    "12,1,'M','M',NULL,1\n"                  // too many values
    "\n"                                     // a blank line
    "13, 2,'N','N',NULL\n"                   // a blank between values
    "14,123456789012,'O','O',NULL\n"         // past NUMBER(12,2)'s precision
    "15,'7.5','P','',NULL\n"                 // a number as text; '' is NULL
    "16,1e2,'Q','Q',NULL\n"                  // an exponent
    "17,0.1,'R','R','2026-02-03 04:05:06'";  // no line end

class RestoreDirect : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(getcwd(previous_dir_, sizeof previous_dir_), previous_dir_); }
  void TearDown() override { ASSERT_EQ(chdir(previous_dir_), 0); }

  struct Outcome {
    std::string output;
    std::vector<std::string> rows;
  };

  // Loads `file` (kFile unless given) into a new database in `dir` and reads the table back. With
  // `echo` every statement is printed, and every line goes as a statement.
  Outcome Load(volmek::testing::TempDir& dir, bool echo, std::string_view file = kFile) {
    EXPECT_EQ(chdir(dir.path().c_str()), 0);
    dir.Write("T.txt", std::string(file));
    std::ostringstream out;
    std::istringstream in;
    db::RunContext ctx(Environment(), out, in);
    ctx.echo = echo;
    db::LogonResult logon = db::Logon("scott", "tiger", "file:" + dir.File("t.db"));
    EXPECT_EQ(logon.rc, 0) << logon.error_text;
    auto session = db::Session::FromConnection(std::move(logon.connection), echo, out);
    EXPECT_TRUE(session.has_value());
    ctx.session = std::move(*session);
    for (const char* sql :
         {"create table T (id number(10), importe number(12,2), nombre varchar2(10), "
          "codigo char(3) not null, fecha date)",
          "create unique index TI on T (id)"}) {
      auto ran = ctx.db().RunStatement(sql);
      EXPECT_TRUE(ran.has_value() && *ran) << out.str();
    }
    out.str("");
    auto counts = LoadTable(ctx, "T", LoadMode::kRestore);
    EXPECT_TRUE(counts.has_value());
    Outcome outcome;
    std::istringstream printed(out.str());
    for (std::string line; std::getline(printed, line);) {
      if (!line.starts_with("sql: ")) outcome.output += line + "\n";
    }
    db::SessionCursor& cursor = ctx.db().main();
    EXPECT_EQ(cursor.Parse("select * from T order by id"), 0);
    for (int position = 1; position <= 5; ++position) {
      cursor.Define(position, db::ExternalType::kString);
    }
    EXPECT_EQ(cursor.Execute(), 0);
    while (cursor.Fetch() == 0) {
      std::string row;
      for (int idx = 0; idx < 5; ++idx) {
        const db::FetchedValue& value = cursor.Value(idx);
        row += (value.is_null ? std::string("NULL") : "[" + value.text + "]") + " ";
      }
      outcome.rows.push_back(row);
    }
    ctx.db().Close();
    return outcome;
  }

  char previous_dir_[4096] = {};
};

TEST_F(RestoreDirect, GivesTheRowsAndReportsOfTheStatements) {
  volmek::testing::TempDir direct_dir;
  volmek::testing::TempDir statement_dir;
  Outcome direct = Load(direct_dir, false);
  Outcome statements = Load(statement_dir, true);
  EXPECT_EQ(direct.output, statements.output);
  EXPECT_EQ(direct.rows, statements.rows);
  // The cases did what they are there for: rows loaded and rows refused on both paths.
  EXPECT_NE(direct.output.find("Restore T con 19 filas recuperadas."), std::string::npos)
      << direct.output;
  EXPECT_NE(direct.output.find("ORA-12899"), std::string::npos);
  EXPECT_NE(direct.output.find("ORA-01400"), std::string::npos);
  EXPECT_NE(direct.output.find("ORA-00001"), std::string::npos);
  EXPECT_NE(direct.output.find("ORA-01722"), std::string::npos);
  EXPECT_NE(direct.output.find("ORA-01438"), std::string::npos);
  ASSERT_GE(direct.rows.size(), 4u);
  EXPECT_EQ(direct.rows[0], "[-4] [100000000] NULL [D  ] NULL ") << direct.rows[0];
  EXPECT_EQ(direct.rows[2], "[2] [-.25] [O'Brien] [B'2] NULL ");
}

// Many batches of lines read ahead, with refused and mended lines among them: every line is
// loaded or reported once, in file order, as the statements do it.
TEST_F(RestoreDirect, ManyLinesGiveTheRowsAndReportsOfTheStatements) {
  std::string file;
  constexpr int kLines = 4000;
  for (int id = 1; id <= kLines; ++id) {
    if (id % 997 == 0) {
      file += fmt::format("{},1,'Texto largo de mas','E',NULL\n", id);  // ORA-12899
    } else if (id % 1009 == 0) {
      file += fmt::format("{},'   ','V''{}','C','   '\n", id, id);  // old-form NULLs
    } else if (id % 1499 == 0) {
      file += "1,1,'DUP','C',NULL\n";  // ORA-00001, in the middle of a group
    } else if (id % 1013 == 0) {
      file += fmt::format("{},1,'OLD','C','08-DEC-25'\n", id);  // an old-form date
    } else {
      file += fmt::format("{},{}.{:02},'N{}','C{}','2026-{:02}-01 00:00:{:02}'\n", id, id % 1000,
                          id % 100, id, id % 10, id % 12 + 1, id % 60);
    }
  }
  volmek::testing::TempDir direct_dir;
  volmek::testing::TempDir statement_dir;
  Outcome direct = Load(direct_dir, false, file);
  Outcome statements = Load(statement_dir, true, file);
  EXPECT_EQ(direct.output, statements.output);
  EXPECT_EQ(direct.rows, statements.rows);
  EXPECT_NE(direct.output.find(fmt::format("Restore T con {} filas recuperadas.", kLines)),
            std::string::npos)
      << direct.output;
  EXPECT_NE(direct.output.find("Warning. 6 filas rechazadas."), std::string::npos) << direct.output;
  EXPECT_NE(direct.output.find("ORA-00001"), std::string::npos);
  EXPECT_EQ(direct.rows.size(), static_cast<std::size_t>(kLines - 6));
}

TEST(SplitPlainLine, TakesNumbersNullAndQuotedTexts) {
  std::vector<db::RowValue> values;
  std::string scratch;
  ASSERT_TRUE(SplitPlainLine("-12.50,NULL,'a''b''',null,'',7", values, scratch));
  ASSERT_EQ(values.size(), 6u);
  EXPECT_EQ(values[0].kind, db::RowValue::Kind::kNumber);
  EXPECT_EQ(values[0].text, "-12.50");
  EXPECT_EQ(values[1].kind, db::RowValue::Kind::kNull);
  EXPECT_EQ(values[2].kind, db::RowValue::Kind::kText);
  EXPECT_EQ(values[2].text, "a'b'");
  EXPECT_EQ(values[3].kind, db::RowValue::Kind::kNull);
  EXPECT_EQ(values[4].kind, db::RowValue::Kind::kText);
  EXPECT_EQ(values[4].text, "");
  EXPECT_EQ(values[5].text, "7");
}

TEST(SplitPlainLine, LeavesEveryOtherLineToTheStatement) {
  std::vector<db::RowValue> values;
  std::string scratch;
  for (std::string_view line :
       {"",    "1,", ",1", "1 ,2",  " 1", "'a'||chr(10)", "chr(13)", "'VAL'E'", "'open", "--5", "-",
        "1e5", ".5", "5.", "1.2.3", "+1", "nul",          "nulls",   "'a''",    "1,'a'x"}) {
    EXPECT_FALSE(SplitPlainLine(line, values, scratch)) << line;
  }
  EXPECT_FALSE(SplitPlainLine(std::string_view("'a\0b'", 5), values, scratch));
}

}  // namespace
}  // namespace volmek::datafiles
