// Progress: the one self-erasing line that long work shows on a terminal.
//
// A Progress belongs to the run context. When its terminal stream is null (standard error is
// no terminal) it does nothing at all; otherwise a task that has run for more than a second
// shows, on that stream, one line that each later update rewrites in place:
//
//   restore CLIENTES: 120000 filas, 40000 filas/s, 0:03, 45%
//
// (the percentage only where the total is known), and the line is erased when the task ends.
// Updates redraw at most five times a second. The clock is injected so that tests can run the
// time forward.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace volmek {

class ProgressTask;

class Progress {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // Writes to `terminal` (not owned; null: nowhere), reading the time from `clock`.
  explicit Progress(std::ostream* terminal, Clock clock = &std::chrono::steady_clock::now)
      : terminal_(terminal), clock_(std::move(clock)) {}

  // Flushes `messages` (not owned; the program's standard output) before each drawing, so that
  // what the work printed so far comes before the line instead of landing inside it later.
  void FlushBeforeDrawing(std::ostream* messages) { messages_ = messages; }

  // Starts a task named `what` ("backup CLIENTES"); it ends when the returned task is
  // destroyed (or End is called). One task at a time.
  ProgressTask Begin(std::string what);

  bool enabled() const { return terminal_ != nullptr; }

 private:
  friend class ProgressTask;
  std::ostream* terminal_;
  Clock clock_;
  std::ostream* messages_ = nullptr;
};

// One piece of work in progress. Move-only; erases its line when it ends.
class ProgressTask {
 public:
  ProgressTask(ProgressTask&& other) noexcept;
  ProgressTask& operator=(ProgressTask&&) = delete;
  ProgressTask(const ProgressTask&) = delete;
  ~ProgressTask() { End(); }

  // `rows` done so far; when `total` is above 0, `done` of `total` gives the percentage (bytes
  // read of a file's size, rows of a known count).
  void Update(std::uint64_t rows, std::uint64_t done = 0, std::uint64_t total = 0);

  // Erases the line if one was shown; later updates do nothing.
  void End();

  bool shown() const { return shown_; }

 private:
  friend class Progress;
  ProgressTask(Progress* progress, std::string what);

  Progress* progress_;  // null once ended, or when the progress is disabled
  std::string what_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
  bool shown_ = false;
};

// The text of the line (without the carriage return and erase that surround it).
std::string ProgressText(std::string_view what, std::uint64_t rows,
                         std::chrono::steady_clock::duration elapsed, std::uint64_t done,
                         std::uint64_t total);

}  // namespace volmek
