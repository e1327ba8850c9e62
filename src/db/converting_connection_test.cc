// The client character set conversion over the embedded engine: what a Windows-1252 client
// sends is kept in UTF-8, and what it reads comes back in Windows-1252.
#include "db/converting_connection.h"

#include <gtest/gtest.h>

#include "testing/harness.h"

namespace volmek::db {
namespace {

class ConvertingConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    utf8_ = Open(CharacterSet::Utf8());
    windows_ = Open(CharacterSet{"WE8MSWIN1252", "WINDOWS-1252", false});
    ASSERT_EQ(Run(*utf8_, "create table t (n varchar2(20))"), 0);
  }
  std::unique_ptr<Connection> Open(const CharacterSet& client) {
    LogonResult logon = Logon("DEMO", "demo", "file:" + dir_.File("t.db"));
    EXPECT_EQ(logon.rc, 0) << logon.error_text;
    auto wrapped = ForClientCharacterSet(std::move(logon.connection), client);
    EXPECT_TRUE(wrapped.has_value());
    return wrapped.has_value() ? std::move(*wrapped) : nullptr;
  }
  static int Run(Connection& connection, std::string_view sql) {
    int rc = 0;
    std::unique_ptr<Cursor> cursor = connection.OpenCursor(&rc);
    if (cursor == nullptr) return rc;
    if (cursor->Parse(sql) != kRcOk) return cursor->rc();
    return cursor->Execute();
  }
  // The first column of every row of `query`, with the column's name first.
  static std::vector<std::string> Column(Connection& connection, std::string_view query) {
    int rc = 0;
    std::unique_ptr<Cursor> cursor = connection.OpenCursor(&rc);
    EXPECT_EQ(cursor->Parse(query), kRcOk) << cursor->ErrorText();
    ColumnDescription description;
    EXPECT_EQ(cursor->Describe(1, &description), kRcOk);
    EXPECT_EQ(cursor->Define(1, ExternalType::kString), kRcOk);
    EXPECT_EQ(cursor->Execute(), kRcOk);
    std::vector<std::string> values{description.name};
    while (cursor->Fetch() == kRcOk) values.push_back(cursor->Value(1).text);
    return values;
  }

  testing::TempDir dir_;
  std::unique_ptr<Connection> utf8_;
  std::unique_ptr<Connection> windows_;
};

TEST_F(ConvertingConnectionTest, WindowsClientTextIsKeptInUtf8AndReadBackInWindows1252) {
  ASSERT_EQ(Run(*windows_,
                "insert into t values ('Nu\xf1"
                "ez \x80')"),
            0);
  ASSERT_EQ(Run(*windows_, "commit"), 0);
  ASSERT_EQ(Run(*utf8_, "insert into t values ('\u00c1vila \u0142')"), 0);
  ASSERT_EQ(Run(*utf8_, "commit"), 0);
  // The database holds UTF-8 whoever wrote the row; length counts characters.
  EXPECT_EQ(Column(*utf8_, "select n from t order by 1"),
            (std::vector<std::string>{"N", "Nu\u00f1ez \u20ac", "\u00c1vila \u0142"}));
  EXPECT_EQ(Column(*utf8_, "select to_char(length(n)) from t order by n"),
            (std::vector<std::string>{"TO_CHAR(LENGTH(N))", "7", "7"}));
  // A character Windows-1252 lacks reads as "?", as Oracle's client substitutes it.
  EXPECT_EQ(Column(*windows_, "select n as \"A\xf1o\" from t order by 1"),
            (std::vector<std::string>{"A\xf1o",
                                      "Nu\xf1"
                                      "ez \x80",
                                      "\xc1vila ?"}));
}

TEST_F(ConvertingConnectionTest, ErrorMessagesAndTheUtf8ClientPassThrough) {
  int rc = 0;
  std::unique_ptr<Cursor> cursor = windows_->OpenCursor(&rc);
  EXPECT_NE(cursor->Parse("select * from ni\xf1os"), kRcOk);
  EXPECT_NE(cursor->ErrorText().find("ORA-00942"), std::string::npos) << cursor->ErrorText();
  // A UTF-8 client gets the engine's connection itself, unwrapped.
  LogonResult logon = Logon("DEMO", "demo", "file:" + dir_.File("t.db"));
  Connection* raw = logon.connection.get();
  auto same = ForClientCharacterSet(std::move(logon.connection), CharacterSet::Utf8());
  ASSERT_TRUE(same.has_value());
  EXPECT_EQ(same->get(), raw);
}

// The wrapper once dropped the operation unit, so a killed repro through it kept half a record.
TEST_F(ConvertingConnectionTest, AnOperationUnitReachesTheDatabase) {
  ASSERT_EQ(windows_->BeginUnit(), 0);
  ASSERT_EQ(Run(*windows_, "create table u (n number)"), 0);
  windows_.reset();  // ends without log-off: the whole unit is lost, its DDL included
  EXPECT_EQ(Run(*utf8_, "select * from u"), 942);
}

TEST(TextConverterReplacing, EachCharacterTheTargetLacksBecomesOneQuestionMark) {
  Result<TextConverter> to_windows = TextConverter::Open("UTF-8", "WINDOWS-1252");
  ASSERT_TRUE(to_windows.has_value());
  EXPECT_EQ(to_windows->ConvertReplacing("a\u0142b\U0001F600c\u00f1", true), "a?b?c\xf1");
  Result<TextConverter> to_utf8 = TextConverter::Open("WINDOWS-1252", "UTF-8");
  ASSERT_TRUE(to_utf8.has_value());
  // 0x81 has no character in Windows-1252.
  EXPECT_EQ(to_utf8->ConvertReplacing("x\x81y\xf1", false), "x?y\u00f1");
}

}  // namespace
}  // namespace volmek::db
