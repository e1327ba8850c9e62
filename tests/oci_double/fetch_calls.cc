// Defines and fetches of the double: how a column value reaches the caller's buffers.
//
// Per column and row the Guide's rules for output variables apply:
//   - indicator -1 for NULL, the buffer untouched, column return code 1405; a NULL fetched into
//     a define without an indicator fails the fetch with ORA-01405;
//   - a value longer than its buffer is truncated: indicator = the length before truncation
//     (-2 when that does not fit in an sb2), return code 1406, and the fetch answers
//     OCI_SUCCESS_WITH_INFO with ORA-01406 on the error handle; the row is delivered;
//   - otherwise indicator 0, return code 0 and the returned length in bytes.
// Arrays of rows (nrows > 1) land at value_sz strides, one indicator, length and code each.
// Texts arrive in the client character set, so lengths and truncation count its bytes.
#include <algorithm>
#include <cstring>
#include <limits>

#include "oci_double/handles.h"
#include "oci_double/oracle_number.h"

namespace volmek::ocidouble {
namespace {

constexpr ub2 kNull = 1405;
constexpr ub2 kTruncated = 1406;

bool Supported(ub2 dty) {
  switch (dty) {
    case SQLT_CHR:
    case SQLT_NUM:
    case SQLT_INT:
    case SQLT_FLT:
    case SQLT_STR:
    case SQLT_VNU:
    case SQLT_LNG:
    case SQLT_UIN:
    case SQLT_AFC:
      return true;
    default:
      return false;
  }
}

db::ExternalType EngineType(ub2 dty) {
  switch (dty) {
    case SQLT_INT:
    case SQLT_UIN:
      return db::ExternalType::kInteger;
    case SQLT_FLT:
    case SQLT_NUM:
    case SQLT_VNU:
      return db::ExternalType::kFloat;
    default:
      return db::ExternalType::kString;
  }
}

// What happened to one column of one row.
enum class Outcome { kOk, kTruncated, kFailed };

struct Slot {
  unsigned char* buffer;
  sb2* indicator;
  ub2* length;
  ub2* code;
};

Slot SlotOf(const OCIDefine& define, ub4 row_idx) {
  auto* base = static_cast<unsigned char*>(define.value);
  std::size_t stride = define.value_size > 0 ? static_cast<std::size_t>(define.value_size) : 0;
  return Slot{base == nullptr ? nullptr : base + stride * row_idx,
              define.indicator == nullptr ? nullptr : define.indicator + row_idx,
              define.return_length == nullptr ? nullptr : define.return_length + row_idx,
              define.return_code == nullptr ? nullptr : define.return_code + row_idx};
}

void Mark(const Slot& slot, sb2 indicator, std::size_t length, ub2 code) {
  if (slot.indicator != nullptr) *slot.indicator = indicator;
  // A ub2 return length cannot say more than 65535 (OCIDefineByPos2 has a ub4 one).
  if (slot.length != nullptr) {
    *slot.length = static_cast<ub2>(std::min<std::size_t>(length, 65535));
  }
  if (slot.code != nullptr) *slot.code = code;
}

sb2 TruncatedIndicator(std::size_t length) {
  return length > static_cast<std::size_t>(std::numeric_limits<sb2>::max())
             ? sb2{-2}
             : static_cast<sb2>(length);
}

// Copies `bytes` into a buffer of `capacity`: SQLT_STR adds a NUL within the capacity,
// SQLT_AFC pads with blanks to the capacity.
Outcome PutBytes(const Slot& slot, ub2 dty, std::size_t capacity, std::string_view bytes) {
  std::size_t room = dty == SQLT_STR ? (capacity > 0 ? capacity - 1 : 0) : capacity;
  std::size_t count = std::min(room, bytes.size());
  if (slot.buffer != nullptr) {
    std::memcpy(slot.buffer, bytes.data(), count);
    if (dty == SQLT_STR && capacity > 0) slot.buffer[count] = '\0';
    if (dty == SQLT_AFC && count < capacity) {
      std::memset(slot.buffer + count, ' ', capacity - count);
      count = capacity;
    }
  }
  if (bytes.size() > room) {
    Mark(slot, TruncatedIndicator(bytes.size()), count, kTruncated);
    return Outcome::kTruncated;
  }
  Mark(slot, 0, count, 0);
  return Outcome::kOk;
}

Outcome Fail(OCIError* err, sb4 code, std::string_view text) {
  SetError(err, code, std::string(text));
  return Outcome::kFailed;
}

// A number into SQLT_INT or SQLT_UIN of 1, 2, 4 or 8 bytes (ORA-01455 when it does not fit).
Outcome PutInteger(const Slot& slot, const OCIDefine& define, std::int64_t value, OCIError* err) {
  std::size_t size = static_cast<std::size_t>(define.value_size);
  if (size != 1 && size != 2 && size != 4 && size != 8) {
    return Fail(err, 1460, "unimplemented or unreasonable conversion requested");
  }
  bool fits;
  if (define.dty == SQLT_UIN) {
    fits = value >= 0 && (size == 8 || value < (std::int64_t{1} << (8 * size)));
  } else {
    fits = size == 8 || (value >= -(std::int64_t{1} << (8 * size - 1)) &&
                         value < (std::int64_t{1} << (8 * size - 1)));
  }
  if (!fits) return Fail(err, 1455, "converting column overflows integer datatype");
  if (slot.buffer != nullptr) {
    // Little-endian host: the low bytes of the 64-bit value are the narrower integer.
    std::memcpy(slot.buffer, &value, size);
  }
  Mark(slot, 0, size, 0);
  return Outcome::kOk;
}

Outcome PutFloat(const Slot& slot, const OCIDefine& define, double value, OCIError* err) {
  if (define.value_size == 8) {
    if (slot.buffer != nullptr) std::memcpy(slot.buffer, &value, 8);
  } else if (define.value_size == 4) {
    float narrow = static_cast<float>(value);
    if (slot.buffer != nullptr) std::memcpy(slot.buffer, &narrow, 4);
  } else {
    return Fail(err, 1460, "unimplemented or unreasonable conversion requested");
  }
  Mark(slot, 0, static_cast<std::size_t>(define.value_size), 0);
  return Outcome::kOk;
}

// SQLT_NUM: the internal number; SQLT_VNU: its length byte, then the number.
Outcome PutNumber(const Slot& slot, const OCIDefine& define, std::string_view text, OCIError* err) {
  std::optional<std::vector<std::uint8_t>> number = EncodeOracleNumber(text);
  if (!number.has_value()) return Fail(err, 1722, "invalid number");
  std::string bytes;
  if (define.dty == SQLT_VNU) bytes.push_back(static_cast<char>(number->size()));
  bytes.append(number->begin(), number->end());
  return PutBytes(slot, SQLT_CHR, static_cast<std::size_t>(define.value_size), bytes);
}

// OCI_DYNAMIC_FETCH: the callback gives a buffer for each piece (Guide, "Run-Time Data
// Allocation and Piecewise Operations"): the first call says OCI_FIRST_PIECE, later ones
// OCI_NEXT_PIECE, until the value is delivered; *alenp gives the buffer's size and receives
// the bytes written. A callback that does not answer OCI_CONTINUE fails the fetch (ORA-24343).
Outcome PutPieces(OCIDefine& define, ub4 row_idx, const db::FetchedValue& value, OCIError* err) {
  std::string_view bytes = value.is_null ? std::string_view() : std::string_view(value.text);
  std::size_t offset = 0;
  ub1 piece = OCI_FIRST_PIECE;
  while (true) {
    void* buffer = nullptr;
    ub4* length = nullptr;
    void* indicator = nullptr;
    ub2* code = nullptr;
    sb4 rc = define.callback(define.callback_context, &define, row_idx, &buffer, &length, &piece,
                             &indicator, &code);
    if (rc != OCI_CONTINUE || length == nullptr || (buffer == nullptr && !value.is_null)) {
      return Fail(err, 24343, "user defined callback error");
    }
    if (value.is_null) {
      *length = 0;
      if (indicator != nullptr) *static_cast<sb2*>(indicator) = -1;
      if (code != nullptr) *code = kNull;
      return Outcome::kOk;
    }
    std::size_t count = std::min<std::size_t>(*length, bytes.size() - offset);
    if (count == 0) return Fail(err, 24343, "user defined callback error");
    std::memcpy(buffer, bytes.data() + offset, count);
    *length = static_cast<ub4>(count);
    offset += count;
    if (indicator != nullptr) *static_cast<sb2*>(indicator) = 0;
    if (code != nullptr) *code = 0;
    if (offset == bytes.size()) return Outcome::kOk;
    piece = OCI_NEXT_PIECE;
  }
}

Outcome Deliver(OCIDefine& define, ub4 row_idx, const db::FetchedValue& value, OCIError* err) {
  if (define.dynamic) return PutPieces(define, row_idx, value, err);
  Slot slot = SlotOf(define, row_idx);
  if (value.is_null) {
    if (slot.indicator == nullptr) return Fail(err, kNull, "fetched column value is NULL");
    Mark(slot, -1, 0, kNull);
    return Outcome::kOk;
  }
  switch (define.dty) {
    case SQLT_INT:
    case SQLT_UIN:
      return PutInteger(slot, define, value.integer, err);
    case SQLT_FLT:
      return PutFloat(slot, define, value.real, err);
    case SQLT_NUM:
    case SQLT_VNU:
      return PutNumber(slot, define, value.text, err);
    default:
      return PutBytes(slot, define.dty, static_cast<std::size_t>(std::max(define.value_size, 0)),
                      value.text);
  }
}

}  // namespace

sword FetchRows(OCIStmt* stmt, OCIError* err, ub4 nrows) {
  stmt->rows_fetched = 0;
  if (stmt->defines.empty()) {
    SetError(err, 24374, "define not done before fetch or execute and fetch");
    return OCI_ERROR;
  }
  for (const auto& [position, define] : stmt->defines) {
    if (position > stmt->columns.size()) {
      SetError(err, 1007, "variable not in select list");
      return OCI_ERROR;
    }
    if (define->dynamic && define->callback == nullptr) {
      SetError(err, 24343, "user defined callback error");
      return OCI_ERROR;
    }
    (void)stmt->cursor->Define(static_cast<int>(position), EngineType(define->dty));
  }
  bool truncated = false;
  for (ub4 row_idx = 0; row_idx < nrows; ++row_idx) {
    int rc = stmt->cursor->Fetch();
    if (rc == db::kRcNoData) {
      stmt->at_end = true;
      stmt->executed = false;
      SetError(err, 1403, "no data found");
      return OCI_NO_DATA;
    }
    if (rc != 0 && rc != db::kRcNullValue) {
      SetOraText(err, rc, stmt->cursor->ErrorText());
      return OCI_ERROR;
    }
    for (auto& [position, define] : stmt->defines) {
      const db::FetchedValue& fetched = stmt->cursor->Value(static_cast<int>(position));
      db::FetchedValue converted;
      bool text = EngineType(define->dty) == db::ExternalType::kString && !fetched.is_null;
      if (text) {
        converted = fetched;
        converted.text = ToClient(stmt->env, fetched.text);
      }
      Outcome outcome = Deliver(*define, row_idx, text ? converted : fetched, err);
      if (outcome == Outcome::kFailed) return OCI_ERROR;
      truncated = truncated || outcome == Outcome::kTruncated;
    }
    ++stmt->rows_fetched;
    ++stmt->row_count;
  }
  if (truncated) {
    SetError(err, kTruncated, "fetched column value was truncated");
    return OCI_SUCCESS_WITH_INFO;
  }
  return OCI_SUCCESS;
}

}  // namespace volmek::ocidouble

using namespace volmek::ocidouble;

// Defines a select-list position (from 1). A define handle given back in *defnpp is reused; a
// new define of the same position replaces the earlier one. The handle belongs to the
// statement and goes with it. OCI_DYNAMIC_FETCH leaves the buffers to OCIDefineDynamic.
VOLMEK_OCI_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp,
                                       ub4 position, void* valuep, sb4 value_sz, ub2 dty,
                                       void* indp, ub2* rlenp, ub2* rcodep, ub4 mode) {
  OCIStmt* stmt = As<OCIStmt>(stmtp, OCI_HTYPE_STMT);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (stmt == nullptr || err == nullptr || defnpp == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (position == 0) {
    SetError(err, 1007, "variable not in select list");
    return OCI_ERROR;
  }
  if (!Supported(dty)) {
    // A conversion the double does not carry out: said, never answered differently.
    SetError(err, 3115, "unsupported network datatype or representation");
    return OCI_ERROR;
  }
  auto define = std::make_unique<OCIDefine>();
  define->position = position;
  define->value = valuep;
  define->value_size = value_sz;
  define->dty = dty;
  define->indicator = static_cast<sb2*>(indp);
  define->return_length = rlenp;
  define->return_code = rcodep;
  define->dynamic = (mode & OCI_DYNAMIC_FETCH) != 0;
  *defnpp = define.get();
  stmt->defines[position] = std::move(define);
  return OCI_SUCCESS;
}

VOLMEK_OCI_EXPORT sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp,
                                         OCICallbackDefine ocbfp) {
  OCIDefine* define = As<OCIDefine>(defnp, OCI_HTYPE_DEFINE);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (define == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  define->callback_context = octxp;
  define->callback = ocbfp;
  return OCI_SUCCESS;
}

// Only OCI_FETCH_NEXT (or OCI_DEFAULT) on a non-scrollable statement; nrows 0 cancels the
// query. Fetching a statement that was only described or prepared is ORA-24338; fetching again
// after OCI_NO_DATA is ORA-01002 (fetch out of sequence), as after Oracle's ORA-01403.
VOLMEK_OCI_EXPORT sword OCIStmtFetch2(OCIStmt* stmthp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                      sb4 /*fetch_offset*/, ub4 /*mode*/) {
  OCIStmt* stmt = As<OCIStmt>(stmthp, OCI_HTYPE_STMT);
  OCIError* err = As<OCIError>(errhp, OCI_HTYPE_ERROR);
  if (stmt == nullptr || err == nullptr) return OCI_INVALID_HANDLE;
  err->records.clear();
  if (orientation != OCI_DEFAULT && orientation != OCI_FETCH_NEXT) {
    SetError(err, 24391, "invalid fetch operation");
    return OCI_ERROR;
  }
  if (stmt->at_end) {
    SetError(err, 1002, "fetch out of sequence");
    return OCI_ERROR;
  }
  if (!stmt->executed) {
    if (stmt->parsed && stmt->stmt_type != OCI_STMT_SELECT && stmt->sqlfncode != 0) {
      SetError(err, 1002, "fetch out of sequence");
    } else {
      SetError(err, 24338, "statement handle not executed");
    }
    return OCI_ERROR;
  }
  if (nrows == 0) {
    stmt->executed = false;
    stmt->rows_fetched = 0;
    return OCI_SUCCESS;
  }
  return FetchRows(stmt, err, nrows);
}
