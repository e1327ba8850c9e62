#include "db/oci/cursor.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <span>

#include "db/oci/number.h"

namespace volmek::db::oci {

namespace {

// Oracle's texts for the codes the backend produces itself (the engine's wording).
constexpr int kRcNotLoggedOn = 1012;
constexpr int kRcFetchOutOfSequence = 1002;
constexpr int kRcTruncated = 1406;
constexpr int kRcIntegerOverflow = 1455;
constexpr int kRcNumericOverflow = 1426;

std::string OwnText(int code) {
  std::string_view text;
  switch (code) {
    case kRcInvalidCursor:
      text = "invalid cursor";
      break;
    case kRcFetchOutOfSequence:
      text = "fetch out of sequence";
      break;
    case kRcNoStatementParsed:
      text = "no statement parsed";
      break;
    case kRcNotInSelectList:
      text = "variable not in select list";
      break;
    case kRcNotLoggedOn:
      text = "not logged on";
      break;
    case kRcNoData:
      text = "no data found";
      break;
    case kRcNullValue:
      text = "fetched column value is NULL";
      break;
    case kRcTruncated:
      text = "fetched column value was truncated";
      break;
    case kRcIntegerOverflow:
      text = "converting column overflows integer datatype";
      break;
    case kRcNumericOverflow:
      text = "numeric overflow";
      break;
    default:
      return fmt::format("ORA-{:05d}", code);
  }
  return fmt::format("ORA-{:05d}: {}", code, text);
}

// Room for a text define: the described size in the client's widest encoding (4 bytes a
// character), never less than what a date, a ROWID or a number takes as text.
constexpr std::size_t kMinTextRoom = 128;
constexpr std::size_t kBytesPerChar = 4;
// The returned length of a static define is 16 bits.
constexpr std::size_t kMaxTextRoom = 65535;
// Size of each piece of a long value.
constexpr ub4 kPieceSize = 64 * 1024;
// The largest total a dynamic define announces.
constexpr sb4 kUnboundedSize = 0x7FFFFFFF;

bool IsLongType(std::uint16_t oci_type) {
  return oci_type == SQLT_LNG || oci_type == SQLT_LBI || oci_type == SQLT_CLOB ||
         oci_type == SQLT_BLOB;
}

// Reads an attribute of up to 8 bytes. The value lands in a zeroed buffer first, so that a
// library writing a narrower type than documented still gives the right value (little endian).
template <typename T>
sword ReadAttr(const OciApi& api, const void* handle, ub4 handle_type, ub4 attribute,
               OCIError* error, T* out) {
  alignas(8) unsigned char room[8] = {};
  ub4 size = 0;
  sword status = api.attr_get(handle, handle_type, room, &size, attribute, error);
  if (status == OCI_SUCCESS) std::memcpy(out, room, sizeof(T));
  return status;
}

// The callback of a dynamic define: the previous piece is complete, the next one goes after it.
sb4 NextPiece(void* context, OCIDefine* /*define*/, ub4 /*iter*/, void** bufpp, ub4** alenpp,
              ub1* /*piecep*/, void** indpp, ub2** rcodep) {
  auto& column = *static_cast<OciCursor::Column*>(context);
  column.filled += column.piece_length;
  column.pieces.resize(column.filled + kPieceSize);
  column.piece_length = kPieceSize;
  *bufpp = column.pieces.data() + column.filled;
  *alenpp = &column.piece_length;
  *indpp = &column.indicator;
  *rcodep = &column.rcode;
  return OCI_CONTINUE;
}

}  // namespace

std::string ErrorLines(std::string_view text) {
  std::string line;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view part = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!part.empty() && (part.back() == '\r' || part.back() == ' ')) part.remove_suffix(1);
    if (part.empty() || part.starts_with("Help:")) continue;
    if (!line.empty()) line.push_back('\n');
    line.append(part);
  }
  return line;
}

OciErrorRecord ReadError(const OciApi& api, void* handle, ub4 handle_type) {
  sb4 code = 0;
  OraText buffer[3072] = {};
  sword status = api.error_get(handle, 1, nullptr, &code, buffer, sizeof buffer, handle_type);
  OciErrorRecord record;
  if (status != OCI_SUCCESS || code == 0) {
    // No diagnostic record: the handle itself is unusable.
    record.code = kRcInvalidCursor;
    record.text = OwnText(kRcInvalidCursor);
    return record;
  }
  record.code = code;
  buffer[sizeof buffer - 1] = 0;
  record.text = ErrorLines(reinterpret_cast<const char*>(buffer));
  if (record.text.empty()) record.text = OwnText(code);
  return record;
}

OciCursor::OciCursor(OciSession* session) : session_(session) { session_->cursors.push_back(this); }

OciCursor::~OciCursor() {
  if (session_ == nullptr) return;
  ReleaseStatement();
  std::erase(session_->cursors, this);
}

void OciCursor::Orphan() {
  ReleaseStatement();
  session_ = nullptr;
}

void OciCursor::ReleaseStatement() {
  if (stmt_ != nullptr) {
    session_->api.stmt_release(stmt_, session_->error, nullptr, 0, OCI_DEFAULT);
    stmt_ = nullptr;
  }
  parsed_ = false;
  executed_ = false;
  at_end_ = false;
  broken_ = false;
  columns_.clear();
  values_.clear();
  binds_.clear();
}

int OciCursor::Fail(int code, std::string text) {
  rc_ = code;
  error_text_ = std::move(text);
  return rc_;
}

int OciCursor::FailWithOci() {
  OciErrorRecord record = ReadError(session_->api, session_->error, OCI_HTYPE_ERROR);
  return Fail(record.code, std::move(record.text));
}

int OciCursor::Succeed() {
  rc_ = 0;
  error_text_.clear();
  return 0;
}

int OciCursor::Parse(std::string_view sql) {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  ReleaseStatement();
  function_type_ = 0;
  rows_processed_ = 0;
  // OCIStmtPrepare2 refuses an empty text for its length (ORA-24373); the release-7 parse, and
  // the engine, refuse it as a statement.
  if (sql.empty()) return Fail(900, "ORA-00900: invalid SQL statement");
  const OciApi& api = session_->api;
  sword status = api.stmt_prepare2(
      session_->service, &stmt_, session_->error, reinterpret_cast<const OraText*>(sql.data()),
      static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
    int rc = FailWithOci();
    stmt_ = nullptr;
    return rc;
  }
  ub2 stmt_type = 0;
  if (ReadAttr(api, stmt_, OCI_HTYPE_STMT, OCI_ATTR_STMT_TYPE, session_->error, &stmt_type) !=
      OCI_SUCCESS) {
    int rc = FailWithOci();
    ReleaseStatement();
    return rc;
  }
  class_ = ClassifyStatement(stmt_type, sql);
  ub4 iterations = 0;
  ub4 mode = OCI_PARSE_ONLY;
  switch (class_.kind) {
    case StatementKind::kQuery:
      mode = OCI_DESCRIBE_ONLY;
      break;
    case StatementKind::kDdlAtParse:
      iterations = 1;
      mode = OCI_DEFAULT;
      break;
    case StatementKind::kDml:
    case StatementKind::kPlsql:
    case StatementKind::kAtExecute:
      break;
  }
  status = api.stmt_execute(session_->service, stmt_, session_->error, iterations, 0, nullptr,
                            nullptr, mode);
  if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
    int rc = FailWithOci();
    ReleaseStatement();
    return rc;
  }
  if (class_.kind == StatementKind::kQuery) {
    int rc = ReadSelectList();
    if (rc != 0) {
      ReleaseStatement();
      return rc;
    }
  }
  parsed_ = true;
  function_type_ = class_.function_type;
  return Succeed();
}

int OciCursor::ReadSelectList() {
  const OciApi& api = session_->api;
  OCIError* error = session_->error;
  ub4 count = 0;
  if (ReadAttr(api, stmt_, OCI_HTYPE_STMT, OCI_ATTR_PARAM_COUNT, error, &count) != OCI_SUCCESS) {
    return FailWithOci();
  }
  for (ub4 position = 1; position <= count; ++position) {
    void* param = nullptr;
    if (api.param_get(stmt_, OCI_HTYPE_STMT, error, &param, position) != OCI_SUCCESS) {
      return FailWithOci();
    }
    auto column = std::make_unique<Column>();
    db::ColumnDescription& out = column->description;
    ub2 data_type = 0;
    ub2 data_size = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    ub1 is_null = 1;
    ub2 char_size = 0;
    ub2 display_size = 0;
    OraText* name = nullptr;
    ub4 name_length = 0;
    bool read =
        ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_DATA_TYPE, error, &data_type) ==
            OCI_SUCCESS &&
        ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_DATA_SIZE, error, &data_size) ==
            OCI_SUCCESS &&
        ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_PRECISION, error, &precision) ==
            OCI_SUCCESS &&
        ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_SCALE, error, &scale) == OCI_SUCCESS &&
        ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_IS_NULL, error, &is_null) == OCI_SUCCESS &&
        api.attr_get(param, OCI_DTYPE_PARAM, &name, &name_length, OCI_ATTR_NAME, error) ==
            OCI_SUCCESS;
    // Optional details: a library that has no answer leaves the described size in charge.
    if (read) {
      (void)ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_CHAR_SIZE, error, &char_size);
      (void)ReadAttr(api, param, OCI_DTYPE_PARAM, OCI_ATTR_DISP_SIZE, error, &display_size);
    }
    int rc = read ? 0 : FailWithOci();
    // The name lives in the parameter descriptor: copy it before the descriptor is freed.
    if (read && name != nullptr) out.name.assign(reinterpret_cast<const char*>(name), name_length);
    api.descriptor_free(param, OCI_DTYPE_PARAM);
    if (rc != 0) return rc;

    column->oci_type = data_type;
    column->char_size = char_size;
    out.db_type = static_cast<std::int16_t>(data_type == SQLT_RDD ? SQLT_RID : data_type);
    out.db_size = data_size;
    out.precision = precision;
    out.scale = scale;
    if (data_type == SQLT_NUM) {
      out.db_size = 22;
      // Precision 0 with scale -127 is an unconstrained NUMBER; a FLOAT (precision > 0) keeps
      // its -127, which says "floating point" to the callers.
      if (precision == 0 && scale == -127) out.scale = 0;
    } else if (data_type == SQLT_DAT) {
      out.db_size = 7;
    }
    out.display_size = display_size != 0 ? display_size : out.db_size;
    out.nulls_allowed = is_null != 0 ? 1 : 0;
    columns_.push_back(std::move(column));
  }
  values_.assign(columns_.size(), db::FetchedValue());
  return 0;
}

int OciCursor::BindByName(std::string_view name, db::BindVariable* variable) {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  if (!parsed_ || class_.kind != StatementKind::kPlsql) {
    return Fail(kRcUnimplemented, "ORA-03001: unimplemented feature");
  }
  std::string placeholder = ":" + std::string(name);
  for (auto& bind : binds_) {
    if (bind->name == placeholder) {
      bind->variable = variable;
      return Succeed();
    }
  }
  auto bind = std::make_unique<Bind>();
  bind->name = std::move(placeholder);
  bind->variable = variable;
  binds_.push_back(std::move(bind));
  return Succeed();
}

// Binds every host variable with a buffer that holds its value and what the block may leave
// in it (at most 32767 bytes, PL/SQL's longest VARCHAR2; ub2 lengths hold that).
int OciCursor::BindAll() {
  constexpr std::size_t kLongestText = 32767;
  for (auto& bind : binds_) {
    const db::BindVariable& variable = *bind->variable;
    std::size_t room = std::max<std::size_t>(variable.max_size, 1);
    if (room > kLongestText || variable.text.size() > kLongestText) {
      return Fail(1460, "ORA-01460: unimplemented or unreasonable conversion requested");
    }
    room = std::max(room, variable.text.size());
    bind->buffer.assign(room, 0);
    std::memcpy(bind->buffer.data(), variable.text.data(), variable.text.size());
    bind->length = static_cast<ub2>(variable.text.size());
    bind->indicator = variable.is_null || variable.text.empty() ? -1 : 0;
    bind->rcode = 0;
    OCIBind* handle = nullptr;
    sword status = session_->api.bind_by_name(
        stmt_, &handle, session_->error, reinterpret_cast<const OraText*>(bind->name.data()),
        static_cast<sb4>(bind->name.size()), bind->buffer.data(),
        static_cast<sb4>(bind->buffer.size()), SQLT_CHR, &bind->indicator, &bind->length,
        &bind->rcode, 0, nullptr, OCI_DEFAULT);
    if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) return FailWithOci();
  }
  return 0;
}

int OciCursor::Execute() {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  if (!parsed_) return Fail(kRcNoStatementParsed, OwnText(kRcNoStatementParsed));
  rows_processed_ = 0;
  if (class_.kind == StatementKind::kDdlAtParse) return Succeed();
  if (int rc = BindAll(); rc != 0) return rc;
  bool query = class_.kind == StatementKind::kQuery;
  executed_ = false;
  at_end_ = false;
  broken_ = false;
  const OciApi& api = session_->api;
  sword status = api.stmt_execute(session_->service, stmt_, session_->error, query ? 0 : 1, 0,
                                  nullptr, nullptr, OCI_DEFAULT);
  if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) return FailWithOci();
  for (auto& bind : binds_) {
    // PL/SQL refuses a value too long for its variable itself (ORA-06502); a client library
    // that cut one all the same is not believed.
    if (bind->rcode == kRcTruncated) return Fail(kRcTruncated, OwnText(kRcTruncated));
    db::BindVariable& variable = *bind->variable;
    variable.is_null = bind->indicator == -1;
    variable.text.assign(
        variable.is_null ? 0 : std::min<std::size_t>(bind->length, bind->buffer.size()), '\0');
    if (!variable.is_null)
      std::memcpy(variable.text.data(), bind->buffer.data(), variable.text.size());
  }
  if (query) {
    executed_ = true;
  } else if (class_.kind == StatementKind::kDml) {
    ub8 count = 0;
    if (ReadAttr(api, stmt_, OCI_HTYPE_STMT, OCI_ATTR_UB8_ROW_COUNT, session_->error, &count) ==
        OCI_SUCCESS) {
      rows_processed_ = count;
    }
  }
  return Succeed();
}

int OciCursor::Describe(int position, db::ColumnDescription* out) {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  if (!parsed_) return Fail(kRcNoStatementParsed, OwnText(kRcNoStatementParsed));
  if (position < 1 || static_cast<std::size_t>(position) > columns_.size()) {
    return Fail(kRcNotInSelectList, OwnText(kRcNotInSelectList));
  }
  *out = columns_[static_cast<std::size_t>(position - 1)]->description;
  return Succeed();
}

int OciCursor::Define(int position, db::ExternalType type) {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  if (!parsed_) return Fail(kRcNoStatementParsed, OwnText(kRcNoStatementParsed));
  if (position < 1 || static_cast<std::size_t>(position) > columns_.size()) {
    return Fail(kRcNotInSelectList, OwnText(kRcNotInSelectList));
  }
  Column& column = *columns_[static_cast<std::size_t>(position - 1)];
  column.type = type;
  column.dynamic = false;
  if (type != db::ExternalType::kString) {
    column.dty = SQLT_VNU;
    column.buffer.assign(kVnuSize, 0);
  } else if (IsLongType(column.oci_type)) {
    column.dty = column.oci_type == SQLT_BLOB ? SQLT_LBI : SQLT_CHR;
    column.dynamic = true;
    column.buffer.clear();
  } else {
    // SQLT_CHR with its returned length rather than SQLT_STR: a text may hold a NUL byte.
    std::size_t characters = std::max<std::size_t>(
        static_cast<std::size_t>(std::max(column.description.db_size, 0)), column.char_size);
    column.dty = SQLT_CHR;
    column.buffer.assign(std::min(std::max(characters * kBytesPerChar, kMinTextRoom), kMaxTextRoom),
                         0);
  }
  const OciApi& api = session_->api;
  OCIDefine* define = nullptr;
  sword status;
  if (column.dynamic) {
    status =
        api.define_by_pos(stmt_, &define, session_->error, static_cast<ub4>(position), nullptr,
                          kUnboundedSize, column.dty, nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH);
    if (status == OCI_SUCCESS) {
      status = api.define_dynamic(define, session_->error, &column, &NextPiece);
    }
  } else {
    status =
        api.define_by_pos(stmt_, &define, session_->error, static_cast<ub4>(position),
                          column.buffer.data(), static_cast<sb4>(column.buffer.size()), column.dty,
                          &column.indicator, &column.length, &column.rcode, OCI_DEFAULT);
  }
  if (status != OCI_SUCCESS) return FailWithOci();
  column.defined = true;
  return Succeed();
}

int OciCursor::Fetch() {
  if (session_ == nullptr) return Fail(kRcNotLoggedOn, OwnText(kRcNotLoggedOn));
  if (!parsed_) return Fail(kRcNoStatementParsed, OwnText(kRcNoStatementParsed));
  if (class_.kind != StatementKind::kQuery || !executed_ || broken_) {
    return Fail(kRcFetchOutOfSequence, OwnText(kRcFetchOutOfSequence));
  }
  if (at_end_) return Fail(kRcNoData, OwnText(kRcNoData));
  for (const std::unique_ptr<Column>& column : columns_) {
    column->indicator = 0;
    column->rcode = 0;
    column->length = 0;
    if (column->dynamic) {
      column->pieces.clear();
      column->filled = 0;
      column->piece_length = 0;
    }
  }
  sword status =
      session_->api.stmt_fetch2(stmt_, session_->error, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
  if (status == OCI_NO_DATA) {
    at_end_ = true;
    return Fail(kRcNoData, OwnText(kRcNoData));
  }
  if (status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO) {
    broken_ = true;
    return FailWithOci();
  }
  ++rows_processed_;
  int first_rc = 0;
  for (std::size_t index = 0; index < columns_.size(); ++index) {
    if (!columns_[index]->defined) continue;
    int rc = Deliver(index);
    if (rc != 0 && first_rc == 0) first_rc = rc;
  }
  if (first_rc != 0) return Fail(first_rc, OwnText(first_rc));
  return Succeed();
}

int OciCursor::Deliver(std::size_t index) {
  Column& column = *columns_[index];
  db::FetchedValue& value = values_[index];
  value = db::FetchedValue();
  if (column.indicator == -1) {
    value.is_null = true;
    value.rcode = kRcNullValue;
    return 0;
  }
  if (column.dynamic) {
    column.pieces.resize(column.filled + column.piece_length);
    // An empty long value is a NULL, whether or not the library set the indicator.
    if (column.pieces.empty()) {
      value.rcode = kRcNullValue;
      return 0;
    }
    value.is_null = false;
    value.text = std::move(column.pieces);
    column.pieces.clear();
    return 0;
  }
  value.is_null = false;
  if (column.dty == SQLT_VNU) {
    std::optional<std::string> text = DecodeVnu(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(column.buffer.data()), column.buffer.size()));
    if (!text.has_value()) {
      value.rcode = kRcNumericOverflow;
      return kRcNumericOverflow;
    }
    if (column.type == db::ExternalType::kInteger) {
      std::optional<std::int64_t> integer = IntegerPart(*text);
      if (!integer.has_value()) {
        value.rcode = kRcIntegerOverflow;
        return kRcIntegerOverflow;
      }
      value.integer = *integer;
    } else {
      std::from_chars(text->data(), text->data() + text->size(), value.real);
      value.text = std::move(*text);
    }
    return 0;
  }
  value.text.assign(column.buffer.data(),
                    std::min<std::size_t>(column.length, column.buffer.size()));
  if (column.rcode == kRcTruncated || column.indicator > 0 || column.indicator == -2) {
    value.rcode = kRcTruncated;
    return kRcTruncated;
  }
  return 0;
}

const db::FetchedValue& OciCursor::Value(int position) const {
  return values_[static_cast<std::size_t>(position - 1)];
}

}  // namespace volmek::db::oci
