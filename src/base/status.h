// Status and Result: how every fallible function of volmek reports failure.
//
// A Status is either ok or carries a Code (the kind of failure, for callers that branch on it)
// and a message ready for the user, in the tool's own language and wording. Only src/app/ prints
// a failed Status and turns it into an exit status; every layer below returns it.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace volmek {

class Status {
 public:
  enum class Code {
    kOk = 0,
    kNotFound,      // a file or object the operation needs is missing
    kInvalidInput,  // the user's input (arguments, file contents) cannot be used
    kCorrupt,       // stored data is damaged
    kIoError,       // reading or writing a file failed
    kDatabase,      // an Oracle call failed in a way the operation cannot go on from
    kFatal,         // the run must end now (error limit, failed execute of a needed query)
    kRefused,       // a destructive operation refused to start; nothing was changed
    kUnsupported,   // a feature that this build does not offer
  };

  Status() = default;
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}
  // Lets VOLMEK_ASSIGN_OR_RETURN return the error of a Result from a function returning Status.
  Status(std::unexpected<Status> error) : Status(std::move(error.error())) {}  // NOLINT

  static Status Ok() { return Status(); }
  static Status NotFound(std::string msg) { return {Code::kNotFound, std::move(msg)}; }
  static Status InvalidInput(std::string msg) { return {Code::kInvalidInput, std::move(msg)}; }
  static Status Corrupt(std::string msg) { return {Code::kCorrupt, std::move(msg)}; }
  static Status IoError(std::string msg) { return {Code::kIoError, std::move(msg)}; }
  static Status Database(std::string msg) { return {Code::kDatabase, std::move(msg)}; }
  static Status Fatal(std::string msg) { return {Code::kFatal, std::move(msg)}; }
  static Status Refused(std::string msg) { return {Code::kRefused, std::move(msg)}; }
  static Status Unsupported(std::string msg) { return {Code::kUnsupported, std::move(msg)}; }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // The text printed to the user when the run ends on this status. It may be empty when the
  // failure has already been reported (an Oracle error report printed on the way).
  const std::string& message() const { return message_; }

  // Returns a copy whose message is `prefix` followed by this message.
  Status WithPrefix(std::string_view prefix) const {
    return Status(code_, std::string(prefix) + message_);
  }

 private:
  Code code_ = Code::kOk;
  std::string message_;
};

template <typename T>
using Result = std::expected<T, Status>;

// Builds the error side of a Result<T> from a Status.
inline std::unexpected<Status> Err(Status status) {
  return std::unexpected<Status>(std::move(status));
}

}  // namespace volmek

// Returns from the enclosing function (returning Status or Result<T>) when `expr` (a Status)
// is not ok.
#define VOLMEK_RETURN_IF_ERROR(expr)                                           \
  do {                                                                         \
    ::volmek::Status volmek_status_ = (expr);                                  \
    if (!volmek_status_.ok()) return ::volmek::Err(std::move(volmek_status_)); \
  } while (false)

#define VOLMEK_CONCAT_INNER_(a, b) a##b
#define VOLMEK_CONCAT_(a, b) VOLMEK_CONCAT_INNER_(a, b)

// Evaluates `rexpr` (a Result<T>); on error returns its Status (as Status or as Result<U>),
// otherwise moves the value into `lhs`, which may be a declaration.
#define VOLMEK_ASSIGN_OR_RETURN(lhs, rexpr) \
  VOLMEK_ASSIGN_OR_RETURN_IMPL_(VOLMEK_CONCAT_(volmek_result_, __LINE__), lhs, rexpr)
#define VOLMEK_ASSIGN_OR_RETURN_IMPL_(tmp, lhs, rexpr)                \
  auto tmp = (rexpr);                                                 \
  if (!tmp.has_value()) return ::volmek::Err(std::move(tmp).error()); \
  lhs = std::move(*tmp)
