// EngineCursor's fetches: Fetch delivers one row of the open query into the cursor's values,
// FetchRows appends many to the caller's rows (the array fetch).
//
// A value goes from SQLite's stored form (storage/schema.h) to the external type its Define
// chose. FetchRows takes the common cases straight from SQLite's text: a character column or a
// date in the stored format as text, a canonical integer text as kInteger, a short canonical
// number text as kFloat's text; every other value goes through DeliverValue, as Fetch
// delivers it, so both give the same values.
#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>

#include "engine/runtime/connection.h"
#include "engine/values/date.h"
#include "engine/values/number.h"

namespace volmek::engine {
namespace {

// The date format model whose output is the stored form of a date.
constexpr std::string_view kStoredFormatModel = "YYYY-MM-DD HH24:MI:SS";
// Number texts this short always parse: far fewer digits than a Decimal holds.
constexpr std::size_t kShortNumberText = 24;

// An integer in canonical form that fits 64 bits: an optional "-", then 1 to 18 digits, the
// first not "0" unless it is the only one. Sets `*out` to its value when it is one.
bool ParseShortInteger(std::string_view text, std::int64_t* out) {
  std::size_t pos = !text.empty() && text.front() == '-' ? 1 : 0;
  const std::size_t digits = text.size() - pos;
  if (digits == 0 || digits > 18) return false;
  if (text[pos] == '0' && (digits > 1 || pos == 1)) return false;
  std::int64_t value = 0;  // 18 digits stay below 2^63
  for (std::size_t idx = pos; idx < text.size(); ++idx) {
    const unsigned digit = static_cast<unsigned char>(text[idx]) - unsigned{'0'};
    if (digit > 9) return false;
    value = value * 10 + digit;
  }
  *out = pos == 1 ? -value : value;
  return true;
}

}  // namespace

std::optional<OraError> EngineCursor::FetchRefusal() const {
  if (connection_ == nullptr) return NotLoggedOn();
  if (connection_->lost()) return NotConnected();
  if (kind_ == ParsedKind::kNone) return NoStatementParsed();
  if (kind_ != ParsedKind::kQuery || !executed_ || broken_) {
    return Ora(1002, "fetch out of sequence");
  }
  return std::nullopt;
}

int EngineCursor::Fetch() {
  if (int rc = AdvanceRow(); rc != 0) return rc;
  OraStatus delivered = DeliverRow();
  ++rows_processed_;
  if (!delivered.has_value()) return Fail(delivered.error());
  return Succeed();
}

int EngineCursor::FetchStored(std::vector<SqlValue>* row) {
  if (int rc = AdvanceRow(); rc != 0) return rc;
  if (detached_) {
    std::span<const RawValue> raw = BufferedRow();
    ++buffer_next_;
    row->resize(raw.size());
    for (std::size_t column = 0; column < raw.size(); ++column) {
      const RawValue& value = raw[column];
      SqlValue& out = (*row)[column];
      switch (value.type) {
        case SQLITE_INTEGER:
          out = SqlValue::Integer(value.integer);
          break;
        case SQLITE_FLOAT:
          out = SqlValue::Real(value.real);
          break;
        case SQLITE_NULL:
          out = SqlValue::Null();
          break;
        default:
          out = SqlValue::Text(value.text);
          break;
      }
    }
  } else {
    sqlite3_stmt* stmt = stmt_.get();
    row->resize(static_cast<std::size_t>(sqlite3_column_count(stmt)));
    for (std::size_t column = 0; column < row->size(); ++column) {
      (*row)[column] = FromSqlite(sqlite3_column_value(stmt, static_cast<int>(column)));
    }
  }
  ++rows_processed_;
  return Succeed();
}

OraResult<bool> EngineCursor::NextLiveRow() {
  if (first_row_ready_) {
    first_row_ready_ = false;
    return true;
  }
  OraResult<bool> row = StepQuery();
  if (!row.has_value()) {
    at_end_ = true;
    broken_ = true;
    return row;
  }
  if (!*row) at_end_ = true;
  return row;
}

int EngineCursor::AdvanceRow() {
  if (std::optional<OraError> refusal = FetchRefusal()) return Fail(*refusal);
  if (detached_) {
    if (buffer_next_ >= buffered_rows()) {
      buffer_.clear();
      buffer_next_ = 0;
      at_end_ = true;
      if (detach_error_.has_value()) {
        broken_ = true;
        OraError error = std::move(*detach_error_);
        detach_error_.reset();
        return Fail(error);
      }
      return Fail(Ora(1403, "no data found"));
    }
  } else if (at_end_) {
    return Fail(Ora(1403, "no data found"));
  } else {
    OraResult<bool> row = NextLiveRow();
    if (!row.has_value()) return Fail(row.error());
    if (!*row) return Fail(Ora(1403, "no data found"));
  }
  return 0;
}

OraStatus EngineCursor::DeliverRow() {
  std::optional<OraError> first_error;
  if (detached_) {
    std::span<const RawValue> row = BufferedRow();
    ++buffer_next_;
    for (std::size_t column_idx = 0; column_idx < values_.size() && column_idx < row.size();
         ++column_idx) {
      if (!defined_[column_idx]) continue;
      const RawValue& raw = row[column_idx];
      OraStatus status = DeliverValue(column_idx, raw.type, raw.integer, raw.real, raw.text);
      if (!status.has_value() && !first_error) first_error = status.error();
    }
  } else {
    sqlite3_stmt* stmt = stmt_.get();
    for (std::size_t column_idx = 0; column_idx < values_.size(); ++column_idx) {
      if (!defined_[column_idx]) continue;
      // One lookup of the column's value, then reads of it: this cursor's connection is used
      // by one thread only, which is all that reading a column's value directly requires.
      sqlite3_value* cell = sqlite3_column_value(stmt, static_cast<int>(column_idx));
      int type = sqlite3_value_type(cell);
      std::int64_t integer = 0;
      double real = 0;
      std::string_view text;
      if (type == SQLITE_INTEGER) {
        integer = sqlite3_value_int64(cell);
      } else if (type == SQLITE_FLOAT) {
        real = sqlite3_value_double(cell);
      } else if (type != SQLITE_NULL) {
        const unsigned char* chars = sqlite3_value_text(cell);
        text = std::string_view(reinterpret_cast<const char*>(chars),
                                static_cast<std::size_t>(sqlite3_value_bytes(cell)));
        type = SQLITE_TEXT;
      }
      OraStatus status = DeliverValue(column_idx, type, integer, real, text);
      if (!status.has_value() && !first_error) first_error = status.error();
    }
  }
  if (first_error) return OraErr(*first_error);
  return {};
}

OraStatus EngineCursor::DeliverValue(std::size_t column_idx, int type, std::int64_t integer,
                                     double real, std::string_view text) {
  db::FetchedValue& value = values_[column_idx];
  value.integer = 0;
  value.real = 0;
  value.text.clear();
  if (type == SQLITE_NULL || (type == SQLITE_TEXT && text.empty())) {
    value.is_null = true;
    value.rcode = db::kRcNullValue;
    return {};
  }
  value.is_null = false;
  value.rcode = 0;
  db::ExternalType wanted = defines_[column_idx];
  std::int16_t db_type = translation_.columns[column_idx].db_type;
  bool numeric = db_type == db::kTypeNumber || type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  if (wanted == db::ExternalType::kString && !(numeric && db_type == db::kTypeNumber)) {
    if (db_type == db::kTypeDate && type == SQLITE_TEXT) {
      const std::string& format = connection_->settings().nls_date_format;
      // The stored form is what this model writes (backups and loads use it); stored text that
      // is not a date is delivered as it is either way.
      if (format == kStoredFormatModel || stored_dates_) {
        value.text.assign(text);
        return {};
      }
      std::optional<Date> date = ParseStoredText(text);
      // Appends nothing when the model cannot format the date.
      if (date.has_value() && AppendFormattedDate(*date, format, value.text).has_value()) {
        return {};
      }
    }
    if (type == SQLITE_INTEGER) {
      value.text = fmt::format("{}", integer);
    } else if (type == SQLITE_FLOAT) {
      OraResult<Decimal> decimal = Decimal::FromDouble(real);
      value.text = decimal.has_value() ? decimal->ToOracleText() : fmt::format("{}", real);
    } else {
      value.text.assign(text);
    }
    return {};
  }
  // A number: the integer, the double and the exact text.
  Decimal decimal;
  if (type == SQLITE_INTEGER) {
    if (wanted == db::ExternalType::kInteger) {
      value.integer = integer;
      return {};
    }
    decimal = Decimal::FromInt64(integer);
  } else if (type == SQLITE_FLOAT) {
    VK_ASSIGN_OR_ORA_RETURN(decimal, Decimal::FromDouble(real));
  } else {
    // Canonical integral text: the value itself, nothing to drop.
    if (wanted == db::ExternalType::kInteger && ParseShortInteger(text, &value.integer)) return {};
    if (wanted == db::ExternalType::kFloat && text.size() <= kShortNumberText &&
        IsCanonicalNumberText(text)) {
      // Canonical text is the value's exact text already, and the double ToDouble gives.
      value.text.assign(text);
      std::from_chars(text.data(), text.data() + text.size(), value.real);
      return {};
    }
    VK_ASSIGN_OR_ORA_RETURN(decimal, Decimal::Parse(text));
  }
  switch (wanted) {
    case db::ExternalType::kInteger: {
      std::optional<std::int64_t> truncated = decimal.ToInt64Truncated();
      if (!truncated.has_value()) {
        value.rcode = 1455;
        return OraErr(1455, "converting column overflows integer datatype");
      }
      value.integer = *truncated;
      return {};
    }
    case db::ExternalType::kFloat:
      value.real = decimal.ToDouble();
      if (type == SQLITE_TEXT && IsCanonicalNumberText(text)) {
        value.text.assign(text);
      } else {
        decimal.AppendCanonical(value.text);
      }
      return {};
    case db::ExternalType::kString:
      value.text = decimal.ToOracleText();
      return {};
  }
  return {};
}

const db::FetchedValue& EngineCursor::Value(int position) const {
  return values_[static_cast<std::size_t>(position - 1)];
}

int EngineCursor::FetchRows(std::size_t columns, std::size_t max_rows, db::FetchedRows& out) {
  // Rows read ahead by Detach, and a select list not wholly defined, go a row at a time.
  if (detached_ || columns != values_.size() ||
      std::find(defined_.begin(), defined_.end(), false) != defined_.end()) {
    return db::Cursor::FetchRows(columns, max_rows, out);
  }
  if (std::optional<OraError> refusal = FetchRefusal()) return Fail(*refusal);
  out.columns = columns;
  const bool stored_dates =
      stored_dates_ || connection_->settings().nls_date_format == kStoredFormatModel;
  quick_.resize(columns);
  for (std::size_t column_idx = 0; column_idx < columns; ++column_idx) {
    const std::int16_t db_type = translation_.columns[column_idx].db_type;
    switch (defines_[column_idx]) {
      case db::ExternalType::kInteger:
        quick_[column_idx] = Quick::kInteger;
        break;
      case db::ExternalType::kFloat:
        quick_[column_idx] = Quick::kDecimal;
        break;
      case db::ExternalType::kString:
        quick_[column_idx] =
            db_type == db::kTypeNumber || (db_type == db::kTypeDate && !stored_dates)
                ? Quick::kOther
                : Quick::kText;
        break;
    }
  }
  for (std::size_t row = 0; row < max_rows; ++row) {
    if (at_end_) return Fail(Ora(1403, "no data found"));
    OraResult<bool> row_ready = NextLiveRow();
    if (!row_ready.has_value()) return Fail(row_ready.error());
    if (!*row_ready) return Fail(Ora(1403, "no data found"));
    ++rows_processed_;
    OraStatus appended = AppendRow(out);
    if (!appended.has_value()) return Fail(appended.error());
    ++out.rows;
  }
  return Succeed();
}

OraStatus EngineCursor::AppendRow(db::FetchedRows& out) {
  sqlite3_stmt* stmt = stmt_.get();
  const std::size_t values_before = out.values.size();
  const std::size_t bytes_before = out.bytes.size();
  out.values.resize(values_before + quick_.size());  // each NULL until set
  db::FetchedRows::Value* row = out.values.data() + values_before;
  for (std::size_t column_idx = 0; column_idx < quick_.size(); ++column_idx) {
    sqlite3_value* cell = sqlite3_column_value(stmt, static_cast<int>(column_idx));
    int type = sqlite3_value_type(cell);
    const Quick quick = quick_[column_idx];
    db::FetchedRows::Value& value = row[column_idx];
    if (type == SQLITE_NULL) continue;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text;
    if (type == SQLITE_INTEGER) {
      integer = sqlite3_value_int64(cell);
      if (quick == Quick::kInteger) {
        value.is_null = false;
        value.integer = integer;
        continue;
      }
    } else if (type == SQLITE_FLOAT) {
      real = sqlite3_value_double(cell);
    } else {
      const unsigned char* chars = sqlite3_value_text(cell);
      text = std::string_view(reinterpret_cast<const char*>(chars),
                              static_cast<std::size_t>(sqlite3_value_bytes(cell)));
      type = SQLITE_TEXT;
      if (text.empty()) continue;  // NULL, as Oracle has no empty text
      if (quick == Quick::kText || (quick == Quick::kDecimal && text.size() <= kShortNumberText &&
                                    IsCanonicalNumberText(text))) {
        value.is_null = false;
        value.offset = out.bytes.size();
        value.size = text.size();
        out.bytes.append(text);
        continue;
      }
      if (quick == Quick::kInteger && ParseShortInteger(text, &value.integer)) {
        value.is_null = false;
        continue;
      }
    }
    OraStatus status = DeliverValue(column_idx, type, integer, real, text);
    if (!status.has_value()) {
      out.values.resize(values_before);
      out.bytes.resize(bytes_before);
      return status;
    }
    const db::FetchedValue& delivered = values_[column_idx];
    value.is_null = delivered.is_null;
    value.integer = delivered.integer;
    if (delivered.text.empty()) value.real = delivered.real;
    value.offset = out.bytes.size();
    value.size = delivered.text.size();
    out.bytes.append(delivered.text);
  }
  return {};
}

}  // namespace volmek::engine
