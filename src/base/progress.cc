#include "base/progress.h"

#include <fmt/format.h>

namespace volmek {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

constexpr std::chrono::seconds kQuietStart{1};
constexpr milliseconds kRedrawEvery{200};

// Carriage return, then the terminal's erase to the end of the line.
constexpr std::string_view kEraseLine = "\r\033[K";

}  // namespace

std::string ProgressText(std::string_view what, std::uint64_t rows,
                         std::chrono::steady_clock::duration elapsed, std::uint64_t done,
                         std::uint64_t total) {
  long long millis = duration_cast<milliseconds>(elapsed).count();
  long long rate = millis > 0 ? static_cast<long long>(rows * 1000 / millis) : 0;
  long long seconds = millis / 1000;
  std::string clock = seconds >= 3600 ? fmt::format("{}:{:02}:{:02}", seconds / 3600,
                                                    seconds / 60 % 60, seconds % 60)
                                      : fmt::format("{}:{:02}", seconds / 60, seconds % 60);
  std::string text =
      fmt::format("{}: {} fila{}, {} filas/s, {}", what, rows, rows == 1 ? "" : "s", rate, clock);
  if (total > 0) text += fmt::format(", {}%", std::min<std::uint64_t>(done * 100 / total, 100));
  return text;
}

ProgressTask Progress::Begin(std::string what) { return ProgressTask(this, std::move(what)); }

ProgressTask::ProgressTask(Progress* progress, std::string what)
    : progress_(progress != nullptr && progress->enabled() ? progress : nullptr),
      what_(std::move(what)) {
  if (progress_ != nullptr) start_ = last_draw_ = progress_->clock_();
}

ProgressTask::ProgressTask(ProgressTask&& other) noexcept
    : progress_(other.progress_),
      what_(std::move(other.what_)),
      start_(other.start_),
      last_draw_(other.last_draw_),
      shown_(other.shown_) {
  other.progress_ = nullptr;
  other.shown_ = false;
}

void ProgressTask::Update(std::uint64_t rows, std::uint64_t done, std::uint64_t total) {
  if (progress_ == nullptr) return;
  auto now = progress_->clock_();
  if (now - start_ < kQuietStart) return;
  if (shown_ && now - last_draw_ < kRedrawEvery) return;
  if (progress_->messages_ != nullptr) progress_->messages_->flush();
  std::ostream& terminal = *progress_->terminal_;
  terminal << kEraseLine << ProgressText(what_, rows, now - start_, done, total);
  terminal.flush();
  last_draw_ = now;
  shown_ = true;
}

void ProgressTask::End() {
  if (progress_ != nullptr && shown_) {
    *progress_->terminal_ << kEraseLine;
    progress_->terminal_->flush();
  }
  progress_ = nullptr;
  shown_ = false;
}

}  // namespace volmek
