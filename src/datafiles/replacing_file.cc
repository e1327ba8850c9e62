#include "datafiles/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace volmek::datafiles {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// The disk is asked to start writing each time this much more has been written.
constexpr std::uint64_t kStartBytes = 8 << 20;

Status SystemError(std::string_view what, const std::string& name) {
  return Status::IoError(fmt::format("{} {}: {}", what, name, std::strerror(errno)));
}

// The mode a plain creat() of the file would give: 0666 less the process umask.
mode_t CreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// A file system that cannot wait for a range leaves the whole of it to Commit's sync, which
// reports a failure all the same.
bool WaitingUnsupported(int error) {
  return error == ENOSYS || error == EINVAL || error == ESPIPE || error == EOPNOTSUPP;
}

}  // namespace

ReplacingFile::ReplacingFile(std::string name, std::string temp_name, int fd)
    : name_(std::move(name)), temp_name_(std::move(temp_name)), fd_(fd) {
  buffer_.reserve(kBufferSize);
}

Result<ReplacingFile> ReplacingFile::Create(std::string name) {
  if (name.empty()) return Err(Status::IoError("nombre de fichero vacio"));
  std::string templ = name + ".tmp-XXXXXX";
  std::vector<char> path(templ.begin(), templ.end());
  path.push_back('\0');
  int fd = mkstemp(path.data());
  if (fd < 0) return Err(SystemError("no se puede crear", name));
  std::string temp_name(path.data());
  if (fchmod(fd, CreationMode()) != 0) {
    Status status = SystemError("no se puede preparar", temp_name);
    close(fd);
    unlink(temp_name.c_str());
    return Err(status);
  }
  return ReplacingFile(std::move(name), std::move(temp_name), fd);
}

ReplacingFile::ReplacingFile(ReplacingFile&& other) noexcept
    : name_(std::move(other.name_)),
      temp_name_(std::move(other.temp_name_)),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      written_(other.written_),
      started_(other.started_),
      dropped_(other.dropped_),
      failed_(other.failed_) {
  other.temp_name_.clear();
}

ReplacingFile& ReplacingFile::operator=(ReplacingFile&& other) noexcept {
  if (this != &other) {
    Discard();
    name_ = std::move(other.name_);
    temp_name_ = std::move(other.temp_name_);
    other.temp_name_.clear();
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    written_ = other.written_;
    started_ = other.started_;
    dropped_ = other.dropped_;
    failed_ = other.failed_;
  }
  return *this;
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!temp_name_.empty()) {
    unlink(temp_name_.c_str());
    temp_name_.clear();
  }
}

Status ReplacingFile::WriteOut(std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t written = ::write(fd_, data.data() + done, data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return SystemError("no se puede escribir", temp_name_);
    }
    done += static_cast<std::size_t>(written);
  }
  written_ += data.size();
  if (written_ - started_ >= kStartBytes) return WriteBehind();
  return Status::Ok();
}

Status ReplacingFile::WriteBehind() {
  // The part started last time has had the making of a whole part to reach the disk: waiting
  // for it costs little. Its pages are then given back, and the next writes take them again
  // instead of memory the system has not used for a while, which a virtual machine's host may
  // have reclaimed and lends again a page fault at a time: that doubled the cost of writing a
  // file of hundreds of MiB. The cache also stops growing by the size of the file.
  if (started_ > dropped_) {
    const auto offset = static_cast<off_t>(dropped_);
    const auto length = static_cast<off_t>(started_ - dropped_);
    if (sync_file_range(fd_, offset, length,
                        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                            SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        !WaitingUnsupported(errno)) {
      failed_ = true;
      return SystemError("no se puede escribir", temp_name_);
    }
    (void)posix_fadvise(fd_, offset, length, POSIX_FADV_DONTNEED);
    dropped_ = started_;
  }
  // The disk starts on what is written while the rest is still being made, so that the sync of
  // Commit waits only for the last of it. Only a start: a failure shows at the wait above or
  // at that sync.
  (void)sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(written_ - started_),
                        SYNC_FILE_RANGE_WRITE);
  started_ = written_;
  return Status::Ok();
}

Status ReplacingFile::Flush() {
  Status status = WriteOut(buffer_);
  buffer_.clear();
  return status;
}

Status ReplacingFile::Write(std::string_view data) {
  if (failed_ || fd_ < 0) return Status::IoError("fichero no disponible: " + name_);
  if (buffer_.size() + data.size() > kBufferSize) {
    VOLMEK_RETURN_IF_ERROR(Flush());
    // A piece as large as the buffer goes out as it is.
    if (data.size() >= kBufferSize) return WriteOut(data);
  }
  buffer_.append(data);
  return Status::Ok();
}

Status ReplacingFile::Commit() {
  if (failed_ || fd_ < 0) {
    Discard();
    return Status::IoError("fichero no disponible: " + name_);
  }
  Status status = Flush();
  if (status.ok() && fsync(fd_) != 0) status = SystemError("no se puede guardar", temp_name_);
  int fd = std::exchange(fd_, -1);
  if (close(fd) != 0 && status.ok()) status = SystemError("no se puede cerrar", temp_name_);
  if (status.ok() && std::rename(temp_name_.c_str(), name_.c_str()) != 0) {
    status = SystemError("no se puede renombrar a", name_);
  }
  if (status.ok()) {
    temp_name_.clear();
  } else {
    failed_ = true;
    Discard();
  }
  return status;
}

}  // namespace volmek::datafiles
