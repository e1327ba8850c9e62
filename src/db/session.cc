#include "db/session.h"

#include <fmt/format.h>

#include <ostream>

namespace volmek::db {

namespace {

constexpr std::string_view kAlterSession = "alter session set nls_sort=binary";
constexpr std::string_view kCommit = "commit work";
constexpr std::string_view kRollback = "rollback work";

// Stands for a cursor the opening could not open: every call fails the way a call on an
// unopened Oracle cursor does, so its users get an ordinary error report.
class UnopenedCursor : public Cursor {
 public:
  int Parse(std::string_view) override { return kRcInvalidCursor; }
  int Execute() override { return kRcInvalidCursor; }
  int Describe(int, ColumnDescription*) override { return kRcInvalidCursor; }
  int Define(int, ExternalType) override { return kRcInvalidCursor; }
  int Fetch() override { return kRcInvalidCursor; }
  const FetchedValue& Value(int) const override { return no_value_; }
  int rc() const override { return kRcInvalidCursor; }
  std::uint16_t function_type() const override { return 0; }
  std::uint64_t rows_processed() const override { return 0; }
  std::string ErrorText() const override { return "ORA-01001: invalid cursor"; }

 private:
  FetchedValue no_value_;
};

}  // namespace

bool NoRowCanFollow(int rc) {
  return rc == kRcInvalidCursor || rc == 1002 || rc == kRcNoStatementParsed || rc == 1012;
}

int SessionCursor::Parse(std::string_view sql) {
  statement_.assign(sql);
  return cursor_->Parse(sql);
}

Session::Session(Key, std::unique_ptr<Connection> connection, bool echo, std::ostream& out)
    : connection_(std::move(connection)), echo_(echo), out_(out) {}

// Without Close the connection is dropped as a process end would drop it: what was not
// committed is lost, which is what a run that ends on a fatal error wants.
Session::~Session() = default;

Result<std::unique_ptr<Session>> Session::FromConnection(std::unique_ptr<Connection> connection,
                                                         bool echo, std::ostream& out) {
  auto session = std::make_unique<Session>(Key(), std::move(connection), echo, out);
  VOLMEK_RETURN_IF_ERROR(session->OpenCursors());
  return session;
}

Status Session::OpenCursors() {
  int rc = 0;
  std::unique_ptr<Cursor> main = connection_->OpenCursor(&rc);
  if (main == nullptr) {
    return Status::Fatal("No se ha podido crear el cursor para acceder al diccionario\n");
  }
  main_ = std::make_unique<SessionCursor>(std::move(main));
  dictionary_ = std::make_unique<SessionCursor>(std::make_unique<UnopenedCursor>());

  rc = main_->Parse(kAlterSession);
  if (rc != kRcOk && rc != kRcInvalidCursor) {
    // The run goes on without the dictionary cursor; its users get reports of their own.
    return ReportError(*main_);
  }
  if (rc == kRcOk && main_->Execute() != kRcOk) {
    // The first report of the run: it cannot reach the error limit, and the run ends anyway.
    (void)ReportError(*main_);
    return Status::Fatal("Fin anormal de VOLMEK \n");
  }
  std::unique_ptr<Cursor> dictionary = connection_->OpenCursor(&rc);
  if (dictionary == nullptr) {
    return Status::Fatal("No se ha podido crear el cursor adicional para acceder al diccionario\n");
  }
  dictionary_ = std::make_unique<SessionCursor>(std::move(dictionary));
  dictionary_open_ = true;
  return Status::Ok();
}

void Session::Echo(std::string_view sql) {
  if (echo_) out_ << "sql: " << sql << "\n";
}

Status Session::PrintReport(std::string_view message, std::string_view statement) {
  out_ << "\nError de Oracle. " << message << "\n" << statement << "\n\n";
  ++reports_;
  if (reports_ > kErrorLimit) {
    out_.flush();
    return Status::Fatal("");
  }
  return Status::Ok();
}

Status Session::ReportError(const SessionCursor& cursor) {
  return ReportError(cursor, cursor.statement());
}

Status Session::ReportError(const SessionCursor& cursor, std::string_view statement) {
  std::string message = cursor.ErrorText();
  if (message.empty()) message = fmt::format("ORA-{:05d}", cursor.rc());
  VOLMEK_RETURN_IF_ERROR(PrintReport(message, statement));
  // The transaction is gone: going on would commit what follows on its own, without what came
  // before.
  if (EndsSession(cursor.rc())) return Status::Fatal("");
  return Status::Ok();
}

Result<bool> Session::RunStatement(std::string_view sql, Report report) {
  execute_failed_ = false;
  Echo(sql);
  auto failed = [&]() -> Result<bool> {
    if (report == Report::kPrint || EndsSession(main_->rc())) {
      VOLMEK_RETURN_IF_ERROR(ReportError(*main_));
    }
    return false;
  };
  if (main_->Parse(sql) != kRcOk) return failed();
  if (main_->Execute() != kRcOk) {
    execute_failed_ = true;
    return failed();
  }
  return true;
}

Status Session::Commit() {
  bool parsed = main_->Parse(kCommit) == kRcOk;
  if (!parsed) VOLMEK_RETURN_IF_ERROR(ReportError(*main_));
  // Executed after a failed parse too: the refusal is reported as a second error, as the
  // administrators are used to seeing it.
  if (main_->Execute() != kRcOk) {
    VOLMEK_RETURN_IF_ERROR(ReportError(*main_));
    return Status::Fatal("");
  }
  if (!parsed) return Status::Fatal("");
  PrintHeldLines();
  return Status::Ok();
}

Status Session::BeginUnit() {
  VOLMEK_RETURN_IF_ERROR(Commit());
  if (main_->rc() != kRcOk) return Status::Fatal("");  // reported by Commit
  int rc = connection_->BeginUnit();
  if (rc != kRcOk) {
    return Status::Fatal(fmt::format("\nError de Oracle. ORA-{:05d}\n\n", rc));
  }
  in_unit_ = true;
  return Status::Ok();
}

Status Session::EndUnit() {
  if (in_unit_) connection_->EndUnit();
  in_unit_ = false;
  VOLMEK_RETURN_IF_ERROR(Commit());
  // The unit's work is lost when its commit fails: the run must not go on as if it were kept.
  if (main_->rc() != kRcOk) return Status::Fatal("");  // reported by Commit
  return Status::Ok();
}

Status Session::Rollback() {
  if (main_->Parse(kRollback) != kRcOk || main_->Execute() != kRcOk) {
    VOLMEK_RETURN_IF_ERROR(ReportError(*main_));
    return Status::Fatal("");
  }
  return Status::Ok();
}

void Session::PrintAfterCommit(std::string text) { held_lines_ += text; }

void Session::PrintHeldLines() {
  out_ << held_lines_;
  held_lines_.clear();
}

Result<FetchStep> Session::FetchRow(SessionCursor& cursor) {
  int rc = cursor.Fetch();
  if (rc == kRcOk || rc == kRcNullValue) return FetchStep::kRow;
  if (rc == kRcNoData) return FetchStep::kEnd;
  VOLMEK_RETURN_IF_ERROR(ReportError(cursor));
  return NoRowCanFollow(rc) ? FetchStep::kEnd : FetchStep::kRow;
}

Status Session::Close() {
  if (closed_) return Status::Ok();
  closed_ = true;
  main_.reset();
  dictionary_.reset();
  int rc = connection_->LogOff();
  if (rc != kRcOk) {
    held_lines_.clear();
    std::string message = connection_->ErrorText();
    if (message.empty()) message = fmt::format("ORA-{:05d}", rc);
    VOLMEK_RETURN_IF_ERROR(PrintReport(message, kCommit));
    return Status::Fatal("");
  }
  PrintHeldLines();
  return Status::Ok();
}

}  // namespace volmek::db
