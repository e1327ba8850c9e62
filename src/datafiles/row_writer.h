// Writing a backup's rows behind their fetching, on a thread of its own.
//
// A backup spends its time in two parts of about the same order: the database stepping through
// the table and decoding its values, and formatting them as table text and writing it. Only
// the first must run on the connection's thread. A RowWriter does the second on another: the
// connection's thread fills batches of rows (db::Cursor::FetchRows) and hands them over; the
// writer formats them (RowFormatter) and writes the text to the file in pieces of about a
// MiB. At most a few batches are in flight, so memory does not grow with the table.
//
//   RowWriter writer(file, deliveries);
//   while (db::FetchedRows* rows = writer.Empty()) {
//     int rc = cursor.FetchRows(columns, kRows, *rows);
//     writer.Hand();
//     if (rc != 0) break;
//   }
//   Status written = writer.Finish();
//
// The first write failure stops the writer: Empty gives nullptr from then on, so the fetching
// stops, and Finish returns that failure. Destroying a RowWriter stops its thread and waits
// for it: a backup that stops early (on an error) leaves nothing running.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/status.h"
#include "datafiles/replacing_file.h"
#include "datafiles/table_text.h"
#include "db/call.h"
#include "db/columns.h"

namespace volmek::datafiles {

class RowWriter {
 public:
  // Starts the writer of `file` (which must outlive it and is written only by it until Finish
  // returns) for rows of one delivery per column.
  RowWriter(ReplacingFile& file, std::vector<db::Delivery> deliveries);
  ~RowWriter();
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  // An empty batch to fill, valid until Hand; waits while enough batches wait to be written.
  // nullptr once a write has failed.
  db::FetchedRows* Empty();
  // Hands the batch Empty gave over to be written, in the order handed.
  void Hand();
  // Waits until every batch handed over is written and the writer has ended; returns the
  // first write failure (kIoError), if any. Nothing may be handed over after it.
  Status Finish();

 private:
  void Run(std::stop_token stop);
  // Formats `rows` and writes the text once a piece is complete (all of it when `last`).
  Status Write(const db::FetchedRows* rows, bool last);

  ReplacingFile& file_;
  RowFormatter formatter_;  // used on the writer's thread only
  std::string text_;        // formatted, not yet written

  std::mutex mutex_;
  std::condition_variable_any to_writer_;  // a batch handed over, Finish, or the destructor
  std::condition_variable to_fetcher_;     // room for a batch, or a failure
  bool writer_waits_ = false;              // the writer waits on to_writer_
  bool fetcher_waits_ = false;             // Empty waits on to_fetcher_
  std::deque<std::unique_ptr<db::FetchedRows>> ready_;   // handed over, not yet written
  std::vector<std::unique_ptr<db::FetchedRows>> spare_;  // written, to be filled again
  std::unique_ptr<db::FetchedRows> filling_;             // the batch Empty gave out
  bool finishing_ = false;                               // no batch follows those in ready_
  std::optional<Status> failure_;                        // the first write failure

  std::jthread thread_;  // last: stopped and joined before the rest goes
};

}  // namespace volmek::datafiles
