// The logon given to exp and imp never stays behind: a run of exp killed in the middle (Ctrl-C,
// SIGTERM, SIGHUP) leaves no parameter file with the password in TMPDIR or anywhere else.
//
// The run uses a copy of volmek beside a stand-in volmek-exp, which reads its parameter file,
// says it has started and then waits to be killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class HardeningParfile : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.File("bin"));
    std::filesystem::create_directories(dir_.File("tmp"));
    std::filesystem::copy_file(BuiltBinary("volmek"), dir_.File("bin/volmek"));
    // The embedded engine's run starts the companion beside volmek, the Oracle backend's run
    // Oracle's exp from PATH: the same stand-in serves as both.
    dir_.Write("bin/volmek-exp",
               "#!/bin/sh\n"
               "par=${1#parfile=}\n"
               "cat \"$par\" > " +
                   dir_.File("seen") +
                   "\n"
                   "echo \"$*\" > " +
                   dir_.File("args") +
                   "\n"
                   "echo $$ > " +
                   dir_.File("started.tmp") +
                   "\n"
                   "mv " +
                   dir_.File("started.tmp") + " " + dir_.File("started") +
                   "\n"
                   "exec sleep 60\n");
    std::filesystem::permissions(dir_.File("bin/volmek-exp"), std::filesystem::perms::owner_all);
    std::filesystem::copy_file(dir_.File("bin/volmek-exp"), dir_.File("bin/exp"));
    ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number)"}).status, 0);
  }

  // Starts the copy of volmek on `exp T`; its pid.
  pid_t StartExport() {
    std::map<std::string, std::string> env = EmbeddedEnv(dir_.File("test.db"));
    env["TMPDIR"] = dir_.File("tmp");
    env["PATH"] = dir_.File("bin") + ":" + env["PATH"];
    tns_ = env["TNS"];
    std::vector<std::string> entries;
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = dir_.File("bin/volmek");
    std::string op = "exp";
    std::string table = "T";
    char* argv[] = {program.data(), op.data(), table.data(), nullptr};
    pid_t pid = fork();
    if (pid == 0) {
      int null = open("/dev/null", O_RDWR);
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      if (chdir(dir_.path().c_str()) != 0) _exit(126);
      execve(program.c_str(), argv, envp.data());
      _exit(127);
    }
    return pid;
  }

  bool WaitFor(const std::string& name) {
    for (int tries = 0; tries < 600; ++tries) {
      if (dir_.Exists(name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  TempDir dir_;
  std::string tns_;
};

TEST_P(HardeningParfile, KilledExportLeavesNoParameterFile) {
  int signal_number = GetParam();
  pid_t pid = StartExport();
  ASSERT_GT(pid, 0);
  bool started = WaitFor("started");
  kill(pid, signal_number);
  int status = 0;
  waitpid(pid, &status, 0);
  if (started) {
    pid_t companion = std::stoi(dir_.Read("started"));
    kill(companion, SIGKILL);
  }
  ASSERT_TRUE(started) << "the stand-in volmek-exp never ran";
  EXPECT_TRUE(WIFSIGNALED(status));
  // The companion could read the logon, which never was on its command line ...
  EXPECT_EQ(dir_.Read("seen"), "userid=DEMO/demo@" + tns_ + "\n");
  EXPECT_EQ(dir_.Read("args").find("demo"), std::string::npos);
  // ... and nothing of it is left on disk.
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("tmp")));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path())) {
    if (!entry.is_regular_file() || entry.path() == dir_.File("seen")) continue;
    if (entry.path().filename() == "volmek" || entry.path().extension() == ".db") continue;
    EXPECT_EQ(ReadFile(entry.path().string()).find("demo@"), std::string::npos) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, HardeningParfile, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

}  // namespace
}  // namespace volmek::testing
