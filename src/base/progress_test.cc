#include "base/progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace volmek {
namespace {

using namespace std::chrono_literals;

class ProgressTest : public ::testing::Test {
 protected:
  Progress::Clock Clock() {
    return [this] { return now_; };
  }
  std::chrono::steady_clock::time_point now_{};
  std::ostringstream terminal_;
};

TEST_F(ProgressTest, NothingDuringTheFirstSecondThenOneLineRewrittenInPlaceAndErased) {
  Progress progress(&terminal_, Clock());
  {
    ProgressTask task = progress.Begin("restore T");
    now_ += 999ms;
    task.Update(500);
    EXPECT_EQ(terminal_.str(), "");
    EXPECT_FALSE(task.shown());
    now_ += 1ms;
    task.Update(1000, 25, 100);
    EXPECT_EQ(terminal_.str(), "\r\033[Krestore T: 1000 filas, 1000 filas/s, 0:01, 25%");
    terminal_.str("");
    now_ += 100ms;  // too soon to draw again
    task.Update(1100, 30, 100);
    EXPECT_EQ(terminal_.str(), "");
    now_ += 100ms;
    task.Update(1200, 40, 100);
    EXPECT_EQ(terminal_.str(), "\r\033[Krestore T: 1200 filas, 1000 filas/s, 0:01, 40%");
    terminal_.str("");
  }
  // The task's end erases its line, and only once.
  EXPECT_EQ(terminal_.str(), "\r\033[K");
}

TEST_F(ProgressTest, MessagesPrintedSoFarAreFlushedBeforeTheLineIsDrawn) {
  // A stream that records what it held when it was flushed.
  struct Recorder : std::stringbuf {
    int sync() override {
      flushed = str();
      return 0;
    }
    std::string flushed;
  } recorder;
  std::ostream messages(&recorder);
  Progress progress(&terminal_, Clock());
  progress.FlushBeforeDrawing(&messages);
  ProgressTask task = progress.Begin("restore T");
  messages << "\nError de Oracle. ORA-00001\n";
  task.Update(1);  // too early: nothing drawn, nothing flushed
  EXPECT_EQ(recorder.flushed, "");
  now_ += 2s;
  task.Update(2);
  EXPECT_EQ(recorder.flushed, "\nError de Oracle. ORA-00001\n");
  EXPECT_TRUE(task.shown());
}

TEST_F(ProgressTest, QuickTaskLeavesNothingAtAll) {
  Progress progress(&terminal_, Clock());
  ProgressTask task = progress.Begin("backup T");
  for (int row = 1; row <= 1000; ++row) task.Update(row);
  task.End();
  task.Update(2000);  // after the end: nothing
  EXPECT_EQ(terminal_.str(), "");
}

TEST_F(ProgressTest, WithoutTerminalNothingIsWrittenWhateverTheTime) {
  bool clock_read = false;
  Progress progress(nullptr, [&] {
    clock_read = true;
    return now_;
  });
  EXPECT_FALSE(progress.enabled());
  ProgressTask task = progress.Begin("traspaso t.txt");
  task.Update(1);
  task.End();
  // A disabled progress does not even read the clock: the row loops pay nothing for it.
  EXPECT_FALSE(clock_read);
}

TEST_F(ProgressTest, MovedTaskEndsOnce) {
  Progress progress(&terminal_, Clock());
  {
    ProgressTask first = progress.Begin("salvalf T");
    now_ += 2s;
    first.Update(10);
    ProgressTask second(std::move(first));
    EXPECT_TRUE(second.shown());
    first.End();  // the moved-from task has nothing left to erase
    EXPECT_EQ(terminal_.str(), "\r\033[Ksalvalf T: 10 filas, 5 filas/s, 0:02");
  }
  EXPECT_EQ(terminal_.str(), "\r\033[Ksalvalf T: 10 filas, 5 filas/s, 0:02\r\033[K");
}

TEST(ProgressText, RatesClocksAndPercentages) {
  EXPECT_EQ(ProgressText("backup T", 1, 1500ms, 0, 0), "backup T: 1 fila, 0 filas/s, 0:01");
  EXPECT_EQ(ProgressText("backup T", 90000, 61s, 0, 0),
            "backup T: 90000 filas, 1475 filas/s, 1:01");
  EXPECT_EQ(ProgressText("restore T", 5, 3725s, 1, 3),
            "restore T: 5 filas, 0 filas/s, 1:02:05, 33%");
  // A file that grew while it was read never shows more than 100%.
  EXPECT_EQ(ProgressText("add T", 7, 2s, 150, 100), "add T: 7 filas, 3 filas/s, 0:02, 100%");
}

}  // namespace
}  // namespace volmek
