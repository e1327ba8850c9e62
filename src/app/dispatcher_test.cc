#include "app/dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "app/all_tables.h"
#include "testing/fake_db.h"

namespace volmek::app {
namespace {

using db::testing::FakeConnection;
using db::testing::FakeDatabase;
using db::testing::Response;

// What the recording handlers saw, in order.
struct Call {
  std::string operation;
  std::string first;
  std::string second;
  bool all;
  std::string line;
  bool had_session;
};
std::vector<Call> calls;
Status next_status;
std::map<std::string, Status> status_of_first;  // overrides next_status for these tables

Status Record(db::RunContext& ctx, const Args& args) {
  calls.push_back(
      {args.operation, args.first, args.second, args.all, args.line, ctx.session != nullptr});
  auto it = status_of_first.find(args.first);
  return it != status_of_first.end() ? it->second : next_status;
}

// A handler whose output cannot be written.
Status BreakOutput(db::RunContext& ctx, const Args& args) {
  ctx.out.setstate(std::ios::badbit);
  return Record(ctx, args);
}

// The handler of "borra all": the pass over the tables, as the real one makes it.
Status RecordPass(db::RunContext& ctx, const Args& args) {
  if (!args.all) return Record(ctx, args);
  return ForEachTable(ctx, [&](std::string_view table) {
    Args one = args;
    one.all = false;
    one.first = std::string(table);
    return Record(ctx, one);
  });
}

// A handler of its own session that forgets to close it.
FakeDatabase* own_session_db = nullptr;
std::ostringstream own_session_out;
Status OpenAndLeave(db::RunContext& ctx, const Args& args) {
  auto session = db::Session::FromConnection(std::make_unique<FakeConnection>(*own_session_db),
                                             false, own_session_out);
  if (!session.has_value()) return session.error();
  ctx.session = std::move(*session);
  return Record(ctx, args);
}

constexpr Operation kTestOperations[] = {
    {"abierta", "ABIERTA", Form::kOwnSession, false, &OpenAndLeave},
    {"info", "INFO", Form::kTableOrAll, false, &Record},
    {"sql", "SQL", Form::kOnce, true, &Record},
    {"repro", "REPRO", Form::kOnce, true, &Record},
    {"sort", "SORT", Form::kOwnSession, false, &Record},
    {"imp", "IMP", Form::kTablesAllIsNoop, false, &Record},
    {"add", "ADD", Form::kTables, false, &Record},
    {"backup", "BACKUP", Form::kTablesOrAll, false, &Record},
    {"borra", "BORRA", Form::kConfirmedAll, true, &RecordPass},
    {"salida", "SALIDA", Form::kOnce, true, &BreakOutput},
};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    next_status = Status::Ok();
    status_of_first.clear();
    Response list;
    list.function_type = db::kFunctionSelect;
    list.columns = {db::testing::TextColumn("OBJECT_NAME", db::kTypeVarchar2, 128)};
    list.rows = {{"A"}, {"B"}, {"C"}};
    db_.Add(std::string(kTableListQuery), list);
  }

  int Run(std::vector<std::string> argv, std::map<std::string, std::string, std::less<>> env = {},
          const std::string& input = "") {
    out_.str("");
    out_.clear();
    in_.str(input);
    in_.clear();
    db::RunContext ctx(Environment(std::move(env)), out_, in_);
    return Dispatch(
        ctx, argv, kTestOperations,
        [&](const Environment& environment, bool echo, std::ostream& out) {
          ++sessions_opened_;
          echo_seen_ = echo;
          user_seen_ = environment.Get("NOMBREBD");
          if (!open_failure_.empty()) {
            return Result<std::unique_ptr<db::Session>>(Err(Status::Fatal(open_failure_)));
          }
          return db::Session::FromConnection(std::make_unique<FakeConnection>(db_), echo, out);
        });
  }
  std::vector<std::string> Firsts() const {
    std::vector<std::string> firsts;
    for (const Call& call : calls) firsts.push_back(call.first);
    return firsts;
  }
  bool Committed() const {
    return std::any_of(db_.log().begin(), db_.log().end(), [](const std::string& entry) {
      return entry.ends_with(" parse commit work");
    });
  }

  FakeDatabase db_;
  std::ostringstream out_;
  std::istringstream in_;
  int sessions_opened_ = 0;
  bool echo_seen_ = false;
  std::string user_seen_;
  std::string open_failure_;
};

TEST_F(DispatcherTest, NoArgumentPrintsTheUsageAndExitsOne) {
  EXPECT_EQ(Run({}), kExitFailure);
  EXPECT_EQ(out_.str(), UsageText());
  EXPECT_EQ(sessions_opened_, 0);
}

TEST_F(DispatcherTest, UsageTextHasItsTwentyFiveItems) {
  std::string_view usage = UsageText();
  EXPECT_TRUE(usage.starts_with(
      "volmek. Acciones directas sobre ORACLE.\nUso:    volmek <operacion> <paramentros> \n\n"));
  EXPECT_TRUE(usage.ends_with("        sql \"sente\"     Ejecuta cualquier sentencia sql.\n\n"));
  // 25 items; the second and the last end in an empty line.
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 25 + 2);
}

TEST_F(DispatcherTest, UnknownOperationIsSilentAndExitsTwo) {
  EXPECT_EQ(Run({"nada", "x"}), kExitUnknownOperation);
  EXPECT_EQ(Run({"nada"}), kExitUnknownOperation);
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(sessions_opened_, 0);
}

TEST_F(DispatcherTest, HelpAndVersionAreTheOnlyOptionWordsAndExitZero) {
  EXPECT_EQ(Run({"--help"}), kExitOk);
  EXPECT_EQ(out_.str(), UsageText());
  EXPECT_EQ(Run({"--version", "x"}), kExitOk);
  EXPECT_EQ(out_.str(), "volmek " VOLMEK_VERSION "\n");
  EXPECT_TRUE(std::string_view(VOLMEK_VERSION).find('.') != std::string_view::npos);
  // Any other spelling is an unknown operation, as before.
  for (std::string word : {"-h", "--HELP", "-V", "--version=1", "help"}) {
    EXPECT_EQ(Run({word}), kExitUnknownOperation) << word;
    EXPECT_EQ(out_.str(), "") << word;
  }
  EXPECT_EQ(sessions_opened_, 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(DispatcherTest, UnknownClientCharacterSetIsRefusedBeforeTheSession) {
  EXPECT_EQ(Run({"info", "t"}, {{"NLS_LANG", "SPANISH_SPAIN.ZHS16GBK"}}), kExitFailure);
  EXPECT_EQ(out_.str(), "Juego de caracteres no admitido en NLS_LANG (ZHS16GBK).\n");
  EXPECT_EQ(sessions_opened_, 0);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(Run({"info", "t"}, {{"NLS_LANG", "SPANISH_SPAIN.WE8MSWIN1252"}}), kExitOk);
}

TEST_F(DispatcherTest, OnlyAllLowerOrAllUpperSpellingsMatch) {
  EXPECT_EQ(Run({"info", "t"}), kExitOk);
  EXPECT_EQ(Run({"INFO", "t"}), kExitOk);
  EXPECT_EQ(Run({"Info", "t"}), kExitUnknownOperation);
  EXPECT_EQ(calls.size(), 2u);
  EXPECT_EQ(sessions_opened_, 2);
}

TEST_F(DispatcherTest, EveryOperationOfTheToolHasBothSpellings) {
  for (const Operation& op : Operations()) {
    EXPECT_EQ(FindOperation(op.lower), &op);
    EXPECT_EQ(FindOperation(op.upper), &op);
  }
  EXPECT_EQ(Operations().size(), 21u);
  EXPECT_EQ(FindOperation("trapaso"), nullptr);  // the usage text misspells traspaso
  EXPECT_NE(FindOperation("traspaso"), nullptr);
}

TEST_F(DispatcherTest, OperationWithoutParameterPrintsTheUsageAndExitsOne) {
  EXPECT_EQ(Run({"info"}), kExitFailure);
  EXPECT_EQ(out_.str(), UsageText());
  EXPECT_EQ(sessions_opened_, 0);
  EXPECT_TRUE(calls.empty());
}

TEST_F(DispatcherTest, EchoIsOnWhenTestBeginsWithOne) {
  for (std::string value : {"1", "10", "1x"}) {
    Run({"sql", "x"}, {{"TEST", value}});
    EXPECT_TRUE(echo_seen_) << value;
  }
  for (std::string value : {"", "0", "x1", " 1"}) {
    Run({"sql", "x"}, {{"TEST", value}});
    EXPECT_FALSE(echo_seen_) << value;
  }
}

TEST_F(DispatcherTest, StatementIsUpperCasedLiteralsIncluded) {
  Run({"sql", "select * from t where c = 'x'"});
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].first, "SELECT * FROM T WHERE C = 'X'");
  EXPECT_TRUE(calls[0].had_session);
}

TEST_F(DispatcherTest, SecondParameterOnlyWithExactlyTwo) {
  Run({"repro", "a", "b"});
  Run({"repro", "a", "b", "c"});
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].first, "A");
  EXPECT_EQ(calls[0].second, "B");
  EXPECT_EQ(calls[1].first, "A");
  EXPECT_EQ(calls[1].second, "");
}

TEST_F(DispatcherTest, TableArgumentsAreHandledOnceEachInOrderAsTyped) {
  EXPECT_EQ(Run({"backup", "a", "b", "c"}), kExitOk);
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(DispatcherTest, AllInAnyCaseRunsTheDriver) {
  for (std::string all : {"all", "All", "ALL"}) {
    calls.clear();
    Run({"info", all});
    EXPECT_EQ(Firsts(), (std::vector<std::string>{"A", "B", "C"})) << all;
  }
  calls.clear();
  Run({"backup", "all"});
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(DispatcherTest, AddTakesAllAsATableName) {
  Run({"add", "all", "t2"});
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"all", "t2"}));
}

TEST_F(DispatcherTest, ImpWithAllOpensAndClosesTheSessionAndImportsNothing) {
  EXPECT_EQ(Run({"imp", "all"}), kExitOk);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(sessions_opened_, 1);
  EXPECT_TRUE(db_.logged_off);
  EXPECT_FALSE(Committed());
}

TEST_F(DispatcherTest, CommitFollowsOnlyTheOperationsThatChangeData) {
  Run({"info", "t"});
  EXPECT_FALSE(Committed());
  EXPECT_TRUE(db_.logged_off);
  Run({"sql", "delete from t"});
  EXPECT_TRUE(Committed());
  EXPECT_EQ(db_.log().back(), "logoff");
}

TEST_F(DispatcherTest, FatalFailurePrintsItsMessageAndSkipsCommitAndLogOff) {
  next_status = Status::Fatal("Imposible seguir.\n");
  EXPECT_EQ(Run({"sql", "x"}), kExitFailure);
  EXPECT_EQ(out_.str(), "Imposible seguir.\n");
  EXPECT_FALSE(Committed());
  EXPECT_FALSE(db_.logged_off);
  EXPECT_TRUE(db_.destroyed);
}

TEST_F(DispatcherTest, TableLoopStopsAtAFatalFailure) {
  next_status = Status::Fatal("");
  EXPECT_EQ(Run({"backup", "a", "b"}), kExitFailure);
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"a"}));
}

TEST_F(DispatcherTest, TableLoopGoesOnAfterAFailedTableWhoseWorkIsRolledBack) {
  // The bug: the first table with a failure ended the loop and the next ones were never done.
  status_of_first = {{"a", Status::NotFound("Imposible abrir fichero restore (a.txt).\n")},
                     {"b", Status::InvalidInput("")}};
  EXPECT_EQ(Run({"backup", "a", "b", "c"}), kExitFailure);
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(out_.str(), "Imposible abrir fichero restore (a.txt).\n");
  EXPECT_EQ(std::count(db_.log().begin(), db_.log().end(), "c1 parse rollback work"), 2);
  EXPECT_TRUE(db_.logged_off);
  calls.clear();
  status_of_first = {{"B", Status::Refused("")}};
  EXPECT_EQ(Run({"backup", "all"}), kExitFailure);
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(DispatcherTest, CommitThatFailsFailsTheRun) {
  Response busy;
  busy.execute_rc = 54;
  busy.execute_error = "ORA-00054: resource busy";
  db_.Add("commit work", busy);
  EXPECT_EQ(Run({"sql", "x"}), kExitFailure);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00054: resource busy\ncommit work\n\n");
  EXPECT_FALSE(db_.logged_off);
}

TEST_F(DispatcherTest, LogOffWhoseCommitFailsFailsTheRun) {
  db_.logoff_rc = 54;
  db_.logoff_error = "ORA-00054: resource busy";
  EXPECT_EQ(Run({"info", "t"}), kExitFailure);
  EXPECT_EQ(out_.str(), "\nError de Oracle. ORA-00054: resource busy\ncommit work\n\n");
}

TEST_F(DispatcherTest, OutputThatCannotBeWrittenFailsTheRunBeforeItsCommit) {
  EXPECT_EQ(Run({"salida", "x"}), kExitFailure);
  EXPECT_FALSE(Committed());
  EXPECT_FALSE(db_.logged_off);
}

TEST_F(DispatcherTest, LogonFailureEndsTheRunWithItsMessage) {
  open_failure_ = "No se puede establecer conexion con Base de Datos \n";
  EXPECT_EQ(Run({"info", "t"}), kExitFailure);
  EXPECT_EQ(out_.str(), "No se puede establecer conexion con Base de Datos \n");
  EXPECT_TRUE(calls.empty());
}

TEST_F(DispatcherTest, SortOpensNoSessionAndGetsItsJoinedParameters) {
  EXPECT_EQ(Run({"sort", "-i1x", "-i2y", "-oz"}), kExitOk);
  EXPECT_EQ(sessions_opened_, 0);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].line, "-i1x -i2y -oz ");
  EXPECT_FALSE(calls[0].had_session);
}

TEST_F(DispatcherTest, SessionLeftOpenByItsOwnHandlerIsLoggedOff) {
  own_session_db = &db_;
  EXPECT_EQ(Run({"abierta", "x"}), kExitOk);
  EXPECT_EQ(sessions_opened_, 0);
  EXPECT_TRUE(db_.logged_off);
}

constexpr const char* kQuestion = "\n\nOjo. Seguro que quiere eliminar todas las tablas (S/N)";

TEST_F(DispatcherTest, BorraAllAnsweredSDropsEveryTable) {
  EXPECT_EQ(Run({"borra", "all"}, {}, "S\n"), kExitOk);
  EXPECT_EQ(out_.str(), kQuestion);
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(Committed());
}

TEST_F(DispatcherTest, BorraAllAnsweredAnythingElseDropsNothingButCommits) {
  for (std::string answer : {"s\n", "si\n", "\n", "N\n", " S\n"}) {
    calls.clear();
    db_.log().clear();
    EXPECT_EQ(Run({"borra", "ALL"}, {}, answer), kExitOk);
    EXPECT_EQ(out_.str(), kQuestion);
    EXPECT_TRUE(calls.empty()) << answer;
    EXPECT_TRUE(Committed());
    EXPECT_EQ(db_.log().back(), "logoff");
  }
}

TEST_F(DispatcherTest, BorraAllWithInputAtItsEndDropsNothing) {
  EXPECT_EQ(Run({"borra", "all"}, {{"TEST", "S"}}, ""), kExitOk);
  EXPECT_TRUE(calls.empty());
}

TEST_F(DispatcherTest, BorraOfOneTableAsksNothing) {
  Run({"borra", "clientes"});
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(Firsts(), (std::vector<std::string>{"CLIENTES"}));
}

TEST(PrepareArgs, KeepsEveryParameterAsTyped) {
  std::vector<std::string> argv = {"backup", "a", "B", "c"};
  Args args = PrepareArgs(argv);
  EXPECT_EQ(args.operation, "backup");
  EXPECT_EQ(args.params, (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_EQ(args.first, "A");
  EXPECT_EQ(args.second, "");
  EXPECT_FALSE(args.all);
}

// Parameters used to be cut to 799 characters.
TEST(PrepareArgs, LongParametersAreKeptWhole) {
  std::string statement = "select '" + std::string(5000, 'a') + "' from dual";
  std::vector<std::string> argv = {"sql", statement};
  EXPECT_EQ(PrepareArgs(argv).first, "SELECT '" + std::string(5000, 'A') + "' FROM DUAL");
}

}  // namespace
}  // namespace volmek::app
