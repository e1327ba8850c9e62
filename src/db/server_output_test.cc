// Host variables of PL/SQL blocks and the DBMS_OUTPUT reader on the embedded engine. The
// Oracle backend's mapping of the same calls is checked against the fake client in
// db/oci/client_test.cc, and both backends end to end through volmek-plus.
#include "db/server_output.h"

#include <gtest/gtest.h>

#include <sstream>

#include "testing/harness.h"

namespace volmek::db {
namespace {

class ServerOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogonResult logon = Logon("DEMO", "demo", "file:" + dir_.File("t.db"));
    ASSERT_EQ(logon.rc, 0) << logon.error_text;
    auto session = Session::FromConnection(std::move(logon.connection), false, out_);
    ASSERT_TRUE(session.has_value()) << session.error().message();
    session_ = std::move(*session);
  }
  SessionCursor& cursor() { return session_->main(); }
  int Block(const std::string& text) {
    int rc = cursor().Parse(text);
    return rc != 0 ? rc : cursor().Execute();
  }

  testing::TempDir dir_;
  std::ostringstream out_;
  std::unique_ptr<Session> session_;
};

TEST_F(ServerOutputTest, HostVariablesGoInAndComeBackAsText) {
  ASSERT_EQ(cursor().Parse("begin :b := :a || '-' || (length(:A) + 0.5); :n := null; end;"), 0);
  BindVariable a{false, "hola", 10};
  BindVariable b;
  BindVariable n{false, "x", 5};
  ASSERT_EQ(cursor().BindByName("a", &a), 0);
  ASSERT_EQ(cursor().BindByName("B", &b), 0);
  ASSERT_EQ(cursor().BindByName("n", &n), 0);
  // A name the block does not have.
  EXPECT_EQ(cursor().BindByName("zz", &b), 1036);
  ASSERT_EQ(cursor().Execute(), 0) << cursor().ErrorText();
  EXPECT_FALSE(b.is_null);
  EXPECT_EQ(b.text, "hola-4.5");
  EXPECT_TRUE(n.is_null);
  EXPECT_EQ(a.text, "hola");
  // Executed again, the block takes the variables' new values.
  a.text = "ab";
  ASSERT_EQ(cursor().Execute(), 0) << cursor().ErrorText();
  EXPECT_EQ(b.text, "ab-2.5");
}

TEST_F(ServerOutputTest, HostVariableErrorsAreOracles) {
  // Used but not bound.
  EXPECT_EQ(Block("begin :x := 1; end;"), 1008);
  EXPECT_EQ(cursor().ErrorText(), "ORA-01008: not all variables bound\nORA-06512: at line 1");
  // Too long for the size it was bound with: the variable is a VARCHAR2 of that size.
  ASSERT_EQ(cursor().Parse("begin :x := 'abcdef'; end;"), 0);
  BindVariable x{true, "", 3};
  ASSERT_EQ(cursor().BindByName("x", &x), 0);
  EXPECT_EQ(cursor().Execute(), 6502);
  EXPECT_TRUE(x.is_null);
  // A statement that is no block binds nothing here.
  ASSERT_EQ(cursor().Parse("select 1 from dual"), 0);
  EXPECT_EQ(cursor().BindByName("x", &x), kRcUnimplemented);
}

TEST_F(ServerOutputTest, ReadsWhatBlocksWroteOnlyWhileEnabled) {
  std::vector<std::string> lines;
  ASSERT_EQ(Block("begin dbms_output.put_line('before'); end;"), 0);
  ASSERT_EQ(ReadServerOutput(cursor(), &lines), 0) << cursor().ErrorText();
  EXPECT_TRUE(lines.empty());

  ASSERT_EQ(EnableServerOutput(cursor(), std::nullopt), 0) << cursor().ErrorText();
  ASSERT_EQ(Block("begin dbms_output.put_line('uno'); dbms_output.put_line(null); "
                  "dbms_output.put_line('dos' || chr(10) || 'tres'); dbms_output.put('cuatro'); "
                  "end;"),
            0);
  ASSERT_EQ(ReadServerOutput(cursor(), &lines), 0) << cursor().ErrorText();
  EXPECT_EQ(lines, (std::vector<std::string>{"uno", "", "dos\ntres"}));
  // The line not ended yet comes once it is ended.
  lines.clear();
  ASSERT_EQ(Block("begin dbms_output.new_line; end;"), 0);
  ASSERT_EQ(ReadServerOutput(cursor(), &lines), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"cuatro"}));

  // A block that fails keeps what it wrote before the error (the buffer is no table).
  lines.clear();
  EXPECT_EQ(Block("begin dbms_output.put_line('antes'); raise no_data_found; end;"), 1403);
  ASSERT_EQ(ReadServerOutput(cursor(), &lines), 0);
  EXPECT_EQ(lines, (std::vector<std::string>{"antes"}));

  // SIZE is ENABLE's limit.
  ASSERT_EQ(EnableServerOutput(cursor(), 2000), 0);
  EXPECT_EQ(Block("begin for i in 1 .. 30 loop dbms_output.put_line(rpad('x', 100, 'x')); "
                  "end loop; end;"),
            20000);
  lines.clear();
  ASSERT_EQ(DisableServerOutput(cursor()), 0);
  ASSERT_EQ(ReadServerOutput(cursor(), &lines), 0);
  EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace volmek::db
