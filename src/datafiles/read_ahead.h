// Reading a table text file ahead of its load, on a thread of its own.
//
// A load spends its time in three parts of about the same order: reading and splitting lines,
// converting their values to the stored form, and the database writing the rows. Only the last
// must run on the connection's thread. A ReadAhead does the first two on a second thread: it
// reads the file in batches of lines, marks each line for what the loader must know of it, splits
// plain lines into their values (AppendPlainLine) and, given a converter, converts those
// (db::RowConverter). The loader takes the batches in file order and writes. At most a few
// batches are in flight, so memory does not grow with the file.
//
//   ReadAhead ahead(std::move(reader), read_error, cut_short, std::move(options));
//   while (const LineBatch* batch = ahead.Next()) {
//     for (const AheadLine& line : batch->lines) { ... }
//     if (batch->failure) return Err(*batch->failure);
//   }
//
// Destroying the ReadAhead stops its thread and waits for it: a loader that stops early (on an
// error) leaves nothing running.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/line_reader.h"
#include "base/status.h"
#include "db/call.h"

namespace volmek::datafiles {

// One line as read ahead.
struct AheadLine {
  std::string_view text;        // the line without its line end (in the batch's text)
  std::size_t bytes = 0;        // the line as read, its line end included
  bool may_hold_blank = false;  // MayHoldBlankValue(text): nothing else is done for it
  bool old_form_date = false;   // HasOldFormDate(text)
  bool plain = false;           // split: its values are values[first_value, + value_count)
  bool converted =
      false;  // converted: its stored values start at converted.values[first_converted]
  std::size_t first_value = 0;
  std::size_t value_count = 0;
  std::size_t first_converted = 0;
};

// Lines read ahead, in file order, with what was made of them.
struct LineBatch {
  std::string text;  // the lines one after another, without line ends
  std::vector<AheadLine> lines;
  std::vector<db::RowValue> values;  // of the plain lines; they point into text and scratch
  std::string scratch;               // texts of plain lines with their doubled apostrophes undone
  db::ConvertedRows converted;
  // Reading stopped with this error after `lines`: no batch follows.
  std::optional<Status> failure;

  std::span<const db::RowValue> Values(const AheadLine& line) const {
    return std::span<const db::RowValue>(values).subspan(line.first_value, line.value_count);
  }
  void clear();
};

class ReadAhead {
 public:
  struct Options {
    bool split = true;  // split plain lines (a loader that runs every line as a statement does not)
    // Converts the split lines when set; used on the reading thread only.
    std::unique_ptr<db::RowConverter> converter;
  };

  // Starts reading `reader` on a thread of its own. A read that fails ends the lines with
  // `read_error`; so does the end of the input when `cut_short` (called on the reading thread
  // at that end, if set) says the file was cut short meanwhile.
  ReadAhead(LineReader reader, Status read_error, std::function<bool()> cut_short, Options options);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next batch in file order, valid until the next call; nullptr after the last one.
  const LineBatch* Next();

  // The converter the lines were converted with (nullptr when none): for
  // db::Cursor::InsertConverted, which reads only what never changes in it.
  const db::RowConverter* converter() const { return options_.converter.get(); }

 private:
  void Run(std::stop_token stop);
  // Fills `batch` with the next lines; false when they are the last ones.
  bool Fill(LineBatch& batch);
  // Marks, splits and converts the lines of a filled batch.
  void Prepare(LineBatch& batch);

  LineReader reader_;
  Status read_error_;
  std::function<bool()> cut_short_;
  Options options_;
  std::string line_;                  // the line being read
  std::vector<std::size_t> offsets_;  // where each line of the batch being filled starts

  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<std::unique_ptr<LineBatch>> ready_;   // filled, not yet taken
  std::vector<std::unique_ptr<LineBatch>> spare_;  // given back, to be filled again
  std::unique_ptr<LineBatch> taken_;               // the batch the loader holds
  bool last_queued_ = false;                       // no batch follows those in ready_

  std::jthread thread_;  // last: stopped and joined before the rest goes
};

}  // namespace volmek::datafiles
