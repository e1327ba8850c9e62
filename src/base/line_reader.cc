#include "base/line_reader.h"

#include <cstring>
#include <fstream>

namespace volmek {

namespace {

// Large enough that a table text file of a million rows is read in few system calls; lines
// longer than this simply span several blocks.
constexpr std::size_t kBlockSize = 64 * 1024;

}  // namespace

LineReader::LineReader(std::istream& in) : in_(&in), buffer_(kBlockSize) {}

LineReader::LineReader(std::unique_ptr<std::istream> owned)
    : owned_(std::move(owned)), in_(owned_.get()), buffer_(kBlockSize) {}

Result<LineReader> LineReader::OpenFile(const std::string& path) {
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!file->is_open()) return Err(Status::NotFound("No existe el fichero " + path + "\n"));
  return LineReader(std::move(file));
}

Result<bool> LineReader::Refill() {
  if (at_end_) return false;
  in_->read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  std::streamsize got = in_->gcount();
  if (in_->bad()) {
    return Err(
        Status::IoError("Error de lectura tras la linea " + std::to_string(line_number_) + "\n"));
  }
  if (got <= 0) {
    at_end_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<std::size_t>(got);
  return true;
}

Result<bool> LineReader::Next(std::string& line) {
  line.clear();
  bool got_any = false;
  bool had_line_end = false;
  while (!had_line_end) {
    if (pos_ == end_) {
      VOLMEK_ASSIGN_OR_RETURN(bool more, Refill());
      if (!more) break;
    }
    const char* start = buffer_.data() + pos_;
    std::size_t available = end_ - pos_;
    const void* newline = std::memchr(start, '\n', available);
    std::size_t take = newline == nullptr
                           ? available
                           : static_cast<std::size_t>(static_cast<const char*>(newline) - start);
    line.append(start, take);
    pos_ += take;
    got_any = true;
    if (newline != nullptr) {
      ++pos_;
      had_line_end = true;
    }
  }
  if (!got_any) return false;
  if (had_line_end) {
    // The CR of a CR LF may have arrived in the block before its LF; it is part of the line end.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line.push_back('\n');
  }
  ++line_number_;
  return true;
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

}  // namespace volmek
