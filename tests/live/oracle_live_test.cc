// The live suite: the main end-to-end round trips run against a real Oracle database through
// the Oracle backend, each step compared with the same step on the embedded engine (whose
// output the rest of the suite pins down byte for byte).
//
// Opt-in: VOLMEK_ORACLE_TNS, VOLMEK_ORACLE_USER and VOLMEK_ORACLE_PASSWORD name a throwaway
// schema; its tables VOLMEK_LIVE_* are dropped and created. Without them every test is
// skipped and says why. The client is found as by volmek itself (VOLMEK_OCI_LIB_DIR,
// LD_LIBRARY_PATH, ORACLE_HOME ...), which are passed on, with NLS_LANG, NLS_DATE_FORMAT,
// TNS_ADMIN and PATH.
//
// What only a real server settles is compared here: statement types, the describe of columns
// and expressions, the exact numbers, the session's date format, the error texts of the
// statements the scenarios get wrong on purpose.
#include <gtest/gtest.h>

#include <cstdlib>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

constexpr const char* kPassedOn[] = {
    "VOLMEK_OCI_LIB_DIR", "LD_LIBRARY_PATH", "ORACLE_HOME", "NLS_LANG",
    "NLS_DATE_FORMAT",    "TNS_ADMIN",       "PATH"};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class OracleLive : public ::testing::Test {
 protected:
  void SetUp() override {
    tns_ = Env("VOLMEK_ORACLE_TNS");
    user_ = Env("VOLMEK_ORACLE_USER");
    password_ = Env("VOLMEK_ORACLE_PASSWORD");
    if (tns_.empty() || user_.empty() || password_.empty()) {
      GTEST_SKIP() << "live Oracle suite: set VOLMEK_ORACLE_TNS, VOLMEK_ORACLE_USER and "
                      "VOLMEK_ORACLE_PASSWORD to a throwaway schema to run it";
    }
    for (const char* table : {"VOLMEK_LIVE_A", "VOLMEK_LIVE_B", "VOLMEK_LIVE_C"}) {
      Both({"sql", std::string("drop table ") + table});
    }
  }
  void TearDown() override {
    if (tns_.empty()) return;
    for (const char* table : {"VOLMEK_LIVE_A", "VOLMEK_LIVE_B", "VOLMEK_LIVE_C"}) {
      Both({"sql", std::string("drop table ") + table});
    }
  }

  ProgramResult RunOn(bool oracle, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& extra) {
    ProgramRun run;
    run.program = "volmek";
    run.args = args;
    run.close_stdin = true;
    for (const char* name : kPassedOn) {
      if (const char* value = std::getenv(name)) run.env[name] = value;
    }
    run.env["NOMBREBD"] = user_;
    run.env["PASSWD"] = password_;
    run.env["TNS"] = oracle ? tns_ : "file:" + engine_dir_.File("live.db");
    for (const auto& [name, value] : extra) run.env[name] = value;
    run.cwd = oracle ? oracle_dir_.path() : engine_dir_.path();
    return volmek::testing::Run(run);
  }

  // Runs `args` on both databases; the Oracle run's result.
  ProgramResult Both(const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& extra = {}) {
    engine_ = RunOn(false, args, extra);
    return RunOn(true, args, extra);
  }

  // Runs `args` on both and expects the same output and status.
  void Same(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& extra = {}) {
    ProgramResult oracle = Both(args, extra);
    EXPECT_EQ(oracle.out, engine_.out) << "volmek " << args[0] << " " << args.back();
    EXPECT_EQ(oracle.status, engine_.status) << "volmek " << args[0] << " " << args.back();
  }

  // Writes `name` with `text` in both working directories.
  void WriteBoth(const std::string& name, const std::string& text) {
    engine_dir_.Write(name, text);
    oracle_dir_.Write(name, text);
  }

  std::string tns_, user_, password_;
  TempDir engine_dir_, oracle_dir_;
  ProgramResult engine_;
};

TEST_F(OracleLive, SqlStatementsPrintTheSameRowsCountsAndErrors) {
  Same({"sql",
        "create table volmek_live_a (id number(10) not null, nombre varchar2(20), importe "
        "number(12,2), ratio number, alta date)"});
  Same({"sql",
        "insert into volmek_live_a values (1, 'Ana', 1234.5, 0.001, to_date('2024-01-31', "
        "'YYYY-MM-DD'))"});
  Same({"sql", "insert into volmek_live_a (id) values (2)"});
  Same({"sql", "insert into volmek_live_a (id, ratio) values (3, -12345678901234.5678)"});
  Same({"sql", "select id, nombre, importe, ratio from volmek_live_a order by id"});
  Same({"sql", "select count(*), max(importe) from volmek_live_a"});
  Same({"sql", "select to_char(alta, 'YYYY-MM-DD') from volmek_live_a where alta is not null"});
  Same({"sql", "select alta from volmek_live_a where id = 1"});
  Same({"sql", "update volmek_live_a set importe = importe + 1"});
  Same({"sql", "delete from volmek_live_a where id = 2"});
  Same({"sql", "select * from volmek_live_nada"});
  Same({"sql", "insert into volmek_live_a (nombre) values ('x')"});
}

TEST_F(OracleLive, ScriptWithAPlsqlBlockRunsEveryStatement) {
  WriteBoth("carga.sql",
            "create table volmek_live_b (a number(5), b varchar2(10))\n"
            ";\n"
            "begin\n"
            "  insert into volmek_live_b values (1, 'uno');\n"
            "  insert into volmek_live_b values (2, 'dos');\n"
            "end;\n"
            ";\n"
            "insert into volmek_live_b values (3, 'tres')\n"
            ";\n"
            "insert into volmek_live_nada values (4)\n"
            ";\n"
            "select * from volmek_live_b order by a\n");
  Same({"fsql", "carga.sql"});
  Same({"sql", "select a, b from volmek_live_b order by a"});
}

TEST_F(OracleLive, BackupAndRestoreRoundTripGiveTheSameFile) {
  Same({"sql",
        "create table volmek_live_c (id number(10), texto varchar2(40), importe number(9,2))"});
  Same({"sql", "insert into volmek_live_c values (1, 'O''Brien', 10.5)"});
  Same({"sql", "insert into volmek_live_c values (2, null, -3)"});
  Same({"backup", "VOLMEK_LIVE_C"});
  EXPECT_EQ(oracle_dir_.Read("VOLMEK_LIVE_C.txt"), engine_dir_.Read("VOLMEK_LIVE_C.txt"));
  Same({"restore", "VOLMEK_LIVE_C"});
  Same({"sql", "select * from volmek_live_c order by id"});
  Same({"delete", "VOLMEK_LIVE_C"});
  Same({"sql", "select count(*) from volmek_live_c"});
}

TEST_F(OracleLive, ExportAndImportRunOraclesUtilities) {
  if (system("command -v exp > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Oracle's exp is not in PATH (Instant Client Tools)";
  }
  ASSERT_EQ(RunOn(true, {"sql", "create table volmek_live_c (id number(10))"}, {}).status, 0);
  ASSERT_EQ(RunOn(true, {"sql", "insert into volmek_live_c values (7)"}, {}).status, 0);
  ProgramResult exp = RunOn(true, {"exp", "VOLMEK_LIVE_C"}, {});
  EXPECT_TRUE(exp.out.starts_with("Ejecuta: exp userid=" + user_ + "/***@" + tns_ +
                                  " file=VOLMEK_LIVE_C.dmp full=yes log=VOLMEK_LIVE_C.log\n"))
      << exp.out;
  // full=yes needs the EXP_FULL_DATABASE role, which a throwaway schema may lack: what the
  // utility says after the command line is its own.
  EXPECT_EQ(exp.out.find(password_ + "@"), std::string::npos);
}

}  // namespace
}  // namespace volmek::testing
