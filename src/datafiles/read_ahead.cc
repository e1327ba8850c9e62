#include "datafiles/read_ahead.h"

#include <utility>

#include "datafiles/date_format.h"
#include "datafiles/old_form_nulls.h"
#include "datafiles/table_text.h"

namespace volmek::datafiles {
namespace {

// A batch ends after this many bytes of lines or this many lines, whichever comes first (a
// longer line makes a batch of its own). A thousand rows of a usual table: the hand-over
// costs nothing beside them, and the batches in flight stay small.
constexpr std::size_t kBatchBytes = 256 * 1024;
constexpr std::size_t kBatchLines = 1024;
// Filled batches waiting for the loader; the reader waits while there are this many.
constexpr std::size_t kMaxReady = 4;

}  // namespace

void LineBatch::clear() {
  text.clear();
  lines.clear();
  values.clear();
  scratch.clear();
  converted.clear();
  failure.reset();
}

ReadAhead::ReadAhead(LineReader reader, Status read_error, std::function<bool()> cut_short,
                     Options options)
    : reader_(std::move(reader)),
      read_error_(std::move(read_error)),
      cut_short_(std::move(cut_short)),
      options_(std::move(options)),
      thread_([this](std::stop_token stop) { Run(stop); }) {}

ReadAhead::~ReadAhead() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

const LineBatch* ReadAhead::Next() {
  std::unique_lock lock(mutex_);
  if (taken_ != nullptr) spare_.push_back(std::move(taken_));
  changed_.wait(lock, [this] { return !ready_.empty() || last_queued_; });
  if (ready_.empty()) return nullptr;
  taken_ = std::move(ready_.front());
  ready_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return taken_.get();
}

void ReadAhead::Run(std::stop_token stop) {
  bool last = false;
  while (!last) {
    std::unique_ptr<LineBatch> batch;
    {
      std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        batch = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    if (batch == nullptr) batch = std::make_unique<LineBatch>();
    batch->clear();
    last = !Fill(*batch);
    Prepare(*batch);
    std::unique_lock lock(mutex_);
    // Wakes when the loader takes a batch, or when the loader is gone.
    if (!changed_.wait(lock, stop, [this] { return ready_.size() < kMaxReady; })) return;
    ready_.push_back(std::move(batch));
    last_queued_ = last;
    lock.unlock();
    changed_.notify_all();
  }
}

bool ReadAhead::Fill(LineBatch& batch) {
  offsets_.clear();
  while (batch.text.size() < kBatchBytes && batch.lines.size() < kBatchLines) {
    Result<bool> more = reader_.Next(line_);
    if (!more.has_value()) {
      batch.failure = read_error_;
      return false;
    }
    if (!*more) {
      if (cut_short_ && cut_short_()) batch.failure = read_error_;
      return false;
    }
    AheadLine line;
    line.bytes = line_.size();
    // The view into the text is set by Prepare, once the text stops growing.
    offsets_.push_back(batch.text.size());
    batch.text.append(WithoutLineEnd(line_));
    batch.lines.push_back(line);
  }
  return true;
}

void ReadAhead::Prepare(LineBatch& batch) {
  // Undone texts are never longer than their lines: with room for the whole text, scratch never
  // moves while it is filled.
  batch.scratch.reserve(batch.text.size());
  const std::string_view all(batch.text);
  for (std::size_t idx = 0; idx < batch.lines.size(); ++idx) {
    AheadLine& line = batch.lines[idx];
    const std::size_t end = idx + 1 < offsets_.size() ? offsets_[idx + 1] : all.size();
    line.text = all.substr(offsets_[idx], end - offsets_[idx]);
    line.may_hold_blank = MayHoldBlankValue(line.text);
    // Such a line is mended first by the loader, which then reads it itself.
    if (line.may_hold_blank) continue;
    line.old_form_date = HasOldFormDate(line.text);
    if (!options_.split) continue;
    line.first_value = batch.values.size();
    line.plain = AppendPlainLine(line.text, batch.values, batch.scratch);
    if (!line.plain) continue;
    line.value_count = batch.values.size() - line.first_value;
    if (options_.converter != nullptr) {
      line.first_converted = batch.converted.values.size();
      line.converted = options_.converter->Convert(batch.Values(line), batch.converted);
    }
  }
}

}  // namespace volmek::datafiles
