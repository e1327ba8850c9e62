// ReplacingFile: an output file that appears under its name only when it is complete.
//
// The data is written to a temporary file in the same directory ("<name>.tmp-XXXXXX"), and
// Commit flushes it, syncs it, closes it and renames it over `name`. Until then an earlier file
// of that name is left as it was, so a run that fails half way (full disk, file size limit, a
// value that cannot be written) never destroys the previous copy. A writer destroyed without a
// successful Commit removes its temporary file. Every write and the close are checked. While
// the data is written, the disk is asked every 8 MiB to start writing it out, so that the sync
// of Commit waits only for the last of it; the 8 MiB before those are waited for then and left
// out of the system's cache, which holds no more than about 16 MiB of the file at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"

namespace volmek::datafiles {

class ReplacingFile {
 public:
  // Creates the temporary file for `name`. Fails (Code::kIoError) when it cannot be created;
  // the message is left to the caller, who knows which of its messages applies.
  static Result<ReplacingFile> Create(std::string name);

  ReplacingFile(ReplacingFile&& other) noexcept;
  ReplacingFile& operator=(ReplacingFile&& other) noexcept;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile();

  // Buffers `data`; writes the buffer out when it is full. Fails (kIoError, the system's reason
  // in the message) when a write fails; the file is then unusable.
  Status Write(std::string_view data);

  // Writes what is buffered, syncs, closes and renames the file to its name. Fails (kIoError)
  // when any of these fails; the temporary file is then removed.
  Status Commit();

  const std::string& name() const { return name_; }
  const std::string& temporary_name() const { return temp_name_; }

 private:
  ReplacingFile(std::string name, std::string temp_name, int fd);
  // Writes `data` whole at the file's end; a failure makes the file unusable.
  Status WriteOut(std::string_view data);
  // Waits for the part started last time and drops it from the cache; starts the rest.
  Status WriteBehind();
  Status Flush();
  void Discard();

  std::string name_;
  std::string temp_name_;
  int fd_ = -1;
  std::string buffer_;
  std::uint64_t written_ = 0;  // bytes written to the file
  std::uint64_t started_ = 0;  // the disk was asked to write the bytes before this offset
  std::uint64_t dropped_ = 0;  // the bytes before this offset are on the disk, out of the cache
  bool failed_ = false;
};

}  // namespace volmek::datafiles
