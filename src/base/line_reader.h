// LineReader: reads a text stream one line at a time, whatever the length of its lines.
//
// Every text file volmek reads (scripts, table text files, copybooks, listings) goes through
// it. A line is handed over as read: its bytes and, when the line had one, its line end. LF and
// CR LF both count as one line end and are both given as "\n"; a CR anywhere else is kept. The
// last line of a file may come without a line end. NUL bytes are ordinary bytes. No line is ever
// cut: a line of any length comes back whole.
//
//   LineReader reader(stream);
//   std::string line;
//   while (true) {
//     VOLMEK_ASSIGN_OR_RETURN(bool more, reader.Next(line));
//     if (!more) break;
//     ... line is "text\n", or "text" for a last line without line end ...
//   }
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace volmek {

class LineReader {
 public:
  // Reads from `in`, which must outlive the reader. The stream is read in large blocks, so
  // nothing else should read it while the reader is in use.
  explicit LineReader(std::istream& in);
  // Reads from a stream the reader owns.
  explicit LineReader(std::unique_ptr<std::istream> owned);

  // Opens the file `path` (binary: the reader itself turns CR LF into "\n"). Fails with
  // kNotFound when the file cannot be opened; the message is "No existe el fichero <path>\n".
  static Result<LineReader> OpenFile(const std::string& path);

  LineReader(LineReader&&) = default;
  LineReader& operator=(LineReader&&) = default;

  // Replaces `line` with the next line. Returns false at the end of the input, when no byte is
  // left (then `line` is empty). Fails with kIoError when the stream reports a read error.
  Result<bool> Next(std::string& line);

  // How many lines Next has delivered so far.
  std::uint64_t line_number() const { return line_number_; }

 private:
  // Reads the next block; false when the input has ended.
  Result<bool> Refill();

  std::unique_ptr<std::istream> owned_;
  std::istream* in_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  std::uint64_t line_number_ = 0;
};

// `line` without its final "\n", if it has one.
std::string_view WithoutLineEnd(std::string_view line);

}  // namespace volmek
