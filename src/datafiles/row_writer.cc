#include "datafiles/row_writer.h"

#include <utility>

namespace volmek::datafiles {
namespace {

// The text is written in pieces of at least this many bytes: few system calls, and little
// memory.
constexpr std::size_t kPieceBytes = 1 << 20;
// Batches handed over and not yet written; the fetching waits while there are this many.
constexpr std::size_t kMaxReady = 4;

}  // namespace

RowWriter::RowWriter(ReplacingFile& file, std::vector<db::Delivery> deliveries)
    : file_(file),
      formatter_(std::move(deliveries)),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

RowWriter::~RowWriter() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

db::FetchedRows* RowWriter::Empty() {
  std::unique_lock lock(mutex_);
  if (ready_.size() >= kMaxReady && !failure_.has_value()) {
    fetcher_waits_ = true;
    to_fetcher_.wait(lock, [this] { return ready_.size() < kMaxReady || failure_.has_value(); });
    fetcher_waits_ = false;
  }
  if (failure_.has_value()) return nullptr;
  if (spare_.empty()) {
    filling_ = std::make_unique<db::FetchedRows>();
  } else {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
    filling_->clear();
  }
  return filling_.get();
}

void RowWriter::Hand() {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(filling_));
    wake = writer_waits_;
  }
  // A writer at work finds the batch when it looks again: waking it would cost a system call.
  if (wake) to_writer_.notify_one();
}

Status RowWriter::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  to_writer_.notify_one();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return failure_.value_or(Status::Ok());
}

void RowWriter::Run(std::stop_token stop) {
  while (true) {
    std::unique_ptr<db::FetchedRows> rows;
    {
      std::unique_lock lock(mutex_);
      // Wakes when a batch is handed over, at Finish, or when the writer is destroyed.
      writer_waits_ = true;
      const bool woken =
          to_writer_.wait(lock, stop, [this] { return !ready_.empty() || finishing_; });
      writer_waits_ = false;
      if (!woken) return;
      if (ready_.empty()) break;
      rows = std::move(ready_.front());
      ready_.pop_front();
    }
    Status written = Write(rows.get(), false);
    const bool failed = !written.ok();
    bool wake = false;
    {
      std::lock_guard lock(mutex_);
      spare_.push_back(std::move(rows));
      if (failed) failure_ = std::move(written);
      wake = fetcher_waits_;
    }
    if (wake) to_fetcher_.notify_one();
    if (failed) return;
  }
  Status written = Write(nullptr, true);
  if (!written.ok()) {
    std::lock_guard lock(mutex_);
    failure_ = std::move(written);
  }
}

Status RowWriter::Write(const db::FetchedRows* rows, bool last) {
  if (rows != nullptr) formatter_.Append(*rows, text_);
  if (text_.size() < kPieceBytes && !(last && !text_.empty())) return Status::Ok();
  Status written = file_.Write(text_);
  text_.clear();
  return written;
}

}  // namespace volmek::datafiles
