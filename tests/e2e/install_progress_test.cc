// The progress line of long work: shown on standard error when it is a terminal (here the
// pseudo-terminal of script(1)), after the first second, erased before the summary; absent
// when standard error is not a terminal, and never on standard output.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "testing/harness.h"

namespace volmek::testing {
namespace {

class InstallProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Volmek(dir_, {"sql", "create table t (a number(8), b varchar2(20))"}).status, 0);
    ASSERT_EQ(mkfifo(dir_.File("T.txt").c_str(), 0600), 0);
  }

  // Feeds T.txt, a pipe, with 200 lines, then after 1.5 seconds with 200 more: a restore that
  // surely takes longer than a second, however fast the machine.
  std::thread SlowWriter() {
    return std::thread([path = dir_.File("T.txt")] {
      int fd = open(path.c_str(), O_WRONLY);
      if (fd < 0) return;
      auto write_lines = [fd](int first) {
        std::string lines;
        for (int row = first; row < first + 200; ++row) lines += std::to_string(row) + ",'x'\n";
        return write(fd, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
      };
      if (write_lines(0)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        write_lines(200);
      }
      close(fd);
    });
  }

  TempDir dir_;
};

TEST_F(InstallProgress, LongRestoreOnATerminalShowsTheLineAndErasesItBeforeTheSummary) {
  std::thread writer = SlowWriter();
  ProgramRun run;
  run.program = "/usr/bin/script";
  // script(1) gives the command a pseudo-terminal as standard output and error and copies
  // what it writes to its own standard output (the terminal turns "\n" into "\r\n").
  run.args = {"-qec", BuiltBinary("volmek") + " restore T", "/dev/null"};
  run.env = EmbeddedEnv(dir_.File("test.db"));
  run.cwd = dir_.path();
  run.close_stdin = true;
  ProgramResult result = volmek::testing::Run(run);
  writer.join();
  ASSERT_EQ(result.status, 0) << result.out;
  const std::string erase = "\r\033[K";
  std::size_t line = result.out.find(erase + "restore T: ");
  ASSERT_NE(line, std::string::npos) << result.out;
  EXPECT_NE(result.out.find(" filas/s, 0:0", line), std::string::npos) << result.out;
  // The summary follows the erase of the line, at the start of a clean line.
  EXPECT_TRUE(result.out.ends_with(erase + "Restore T con 400 filas recuperadas.\r\n"))
      << result.out;
}

TEST_F(InstallProgress, WithoutATerminalTheSameRunWritesNoProgress) {
  std::thread writer = SlowWriter();
  ProgramResult result = Volmek(dir_, {"restore", "T"});
  writer.join();
  EXPECT_EQ(result.out, "Restore T con 400 filas recuperadas.\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 0);
  // Nor do the other long operations, quick or not.
  ASSERT_EQ(unlink(dir_.File("T.txt").c_str()), 0);
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"backup", "T"}, {"add", "T"}, {"salvalf", "T", "t.lf"}, {"traspaso", "txt"}}) {
    ProgramResult other = Volmek(dir_, args);
    EXPECT_EQ(other.err, "") << args[0];
    EXPECT_EQ(other.out.find('\r'), std::string::npos) << args[0] << ": " << other.out;
  }
}

}  // namespace
}  // namespace volmek::testing
