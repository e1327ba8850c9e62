#include "datafiles/table_text.h"

#include <fmt/format.h>

#include <cstdint>
#include <cstring>
#include <iterator>

namespace volmek::datafiles {

namespace {

// Reads the fields of one line. Positions are byte offsets into `line`; `column` counts the
// fields from 1 for the messages.
class LineParser {
 public:
  explicit LineParser(std::string_view line) : line_(line) {}

  Result<std::vector<Field>> Parse() {
    std::vector<Field> fields;
    if (line_.empty()) return fields;
    while (true) {
      ++column_;
      Field field;
      VOLMEK_RETURN_IF_ERROR(ParseField(field));
      fields.push_back(std::move(field));
      if (pos_ == line_.size()) return fields;
      if (line_[pos_] != ',') return Err(Error("se esperaba una coma"));
      ++pos_;
    }
  }

 private:
  Status Error(std::string_view what) const {
    return Status::Corrupt(fmt::format("columna {}: {}", column_, what));
  }

  bool AtEnd() const { return pos_ == line_.size(); }
  bool LooksAt(std::string_view text) const { return line_.substr(pos_, text.size()) == text; }

  Status ParseField(Field& field) {
    if (!AtEnd() && (line_[pos_] == '\'' || LooksAt("chr("))) {
      field.kind = FieldKind::kText;
      return ParseText(field.text);
    }
    std::size_t end = line_.find(',', pos_);
    if (end == std::string_view::npos) end = line_.size();
    std::string_view bare = line_.substr(pos_, end - pos_);
    pos_ = end;
    if (bare == "NULL" || bare == "null") {
      field.kind = FieldKind::kNull;
      return Status::Ok();
    }
    if (!IsNumber(bare)) {
      return bare.empty() ? Error("valor vacio") : Error(fmt::format("valor no valido ({})", bare));
    }
    field.kind = FieldKind::kNumber;
    field.text = bare;
    return Status::Ok();
  }

  // A text value: quoted pieces and chr(10)/chr(13) joined by "||".
  Status ParseText(std::string& text) {
    while (true) {
      if (LooksAt("chr(")) {
        VOLMEK_RETURN_IF_ERROR(ParseChr(text));
      } else if (!AtEnd() && line_[pos_] == '\'') {
        VOLMEK_RETURN_IF_ERROR(ParseQuoted(text));
      } else {
        return Error("se esperaba un texto despues de ||");
      }
      if (!LooksAt("||")) return Status::Ok();
      pos_ += 2;
    }
  }

  Status ParseChr(std::string& text) {
    pos_ += 4;
    std::size_t close = line_.find(')', pos_);
    if (close == std::string_view::npos) return Error("chr sin cerrar");
    std::string_view code = line_.substr(pos_, close - pos_);
    if (code == "10") {
      text.push_back('\n');
    } else if (code == "13") {
      text.push_back('\r');
    } else {
      return Error(fmt::format("chr({}) no admitido", code));
    }
    pos_ = close + 1;
    return Status::Ok();
  }

  // REQUIRES: line_[pos_] is the opening apostrophe.
  Status ParseQuoted(std::string& text) {
    ++pos_;
    while (true) {
      std::size_t quote = line_.find('\'', pos_);
      if (quote == std::string_view::npos) return Error("falta el apostrofo final");
      text.append(line_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (AtEnd() || line_[pos_] == ',' || LooksAt("||")) return Status::Ok();
      if (line_[pos_] == '\'') {
        ++pos_;  // a doubled apostrophe
      }
      // Otherwise an old-form apostrophe written as it stood: part of the value.
      text.push_back('\'');
    }
  }

  static bool IsNumber(std::string_view text) {
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
    bool digits = false;
    bool point = false;
    for (; pos < text.size(); ++pos) {
      char c = text[pos];
      if (c >= '0' && c <= '9') {
        digits = true;
      } else if (c == '.' && !point) {
        point = true;
      } else {
        return false;
      }
    }
    return digits;
  }

  std::string_view line_;
  std::size_t pos_ = 0;
  int column_ = 0;
};

}  // namespace

Result<std::vector<Field>> ParseLine(std::string_view line) { return LineParser(line).Parse(); }

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNullWord(std::string_view word) {
  if (word.size() != 4) return false;
  constexpr std::string_view kNull = "null";
  for (std::size_t idx = 0; idx < 4; ++idx) {
    char c = word[idx];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kNull[idx]) return false;
  }
  return true;
}

// The first apostrophe, line feed or carriage return at or after `start` (a plain loop: the
// row writer calls it for every text value).
std::size_t FindSpecial(std::string_view text, std::size_t start) {
  for (std::size_t idx = start; idx < text.size(); ++idx) {
    const char c = text[idx];
    if (c == '\'' || c == '\n' || c == '\r') return idx;
  }
  return std::string_view::npos;
}

// True when `text` holds an apostrophe, a line feed or a carriage return. Looks at eight bytes
// at a time: a byte of the word equal to `c` is a zero byte of word ^ (c repeated), and a word
// has a zero byte exactly when (x - 0x01..01) & ~x & 0x80..80 is not zero.
bool HasSpecial(std::string_view text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  auto holds = [](std::uint64_t word, unsigned char c) {
    const std::uint64_t x = word ^ (kOnes * c);
    return ((x - kOnes) & ~x & kHighs) != 0;
  };
  const char* data = text.data();
  std::size_t idx = 0;
  for (; idx + 8 <= text.size(); idx += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, data + idx, 8);
    if (holds(word, '\'') || holds(word, '\n') || holds(word, '\r')) return true;
  }
  return FindSpecial(text, idx) != std::string_view::npos;
}

// The values of `line` appended to `values` (texts with doubled apostrophes undone into
// `scratch`); false at the first thing a plain line does not hold.
bool AppendPlainValues(std::string_view line, std::vector<db::RowValue>& values,
                       std::string& scratch) {
  const std::size_t size = line.size();
  std::size_t pos = 0;
  while (true) {
    db::RowValue value;
    const char c = line[pos];
    if (c == '\'') {
      const std::size_t start = ++pos;
      bool doubled = false;
      std::size_t close = 0;
      while (true) {
        close = line.find('\'', pos);
        if (close == std::string_view::npos) return false;
        if (close + 1 < size && line[close + 1] == '\'') {
          doubled = true;
          pos = close + 2;
          continue;
        }
        break;
      }
      pos = close + 1;
      std::string_view raw = line.substr(start, close - start);
      value.kind = db::RowValue::Kind::kText;
      if (!doubled) {
        value.text = raw;
      } else {
        const std::size_t at = scratch.size();
        for (std::size_t idx = 0; idx < raw.size(); ++idx) {
          scratch.push_back(raw[idx]);
          if (raw[idx] == '\'') ++idx;  // the second of a doubled pair
        }
        value.text = std::string_view(scratch).substr(at);
      }
    } else if (c == '-' || IsDigit(c)) {
      const std::size_t start = pos;
      if (c == '-') ++pos;
      const std::size_t digits = pos;
      while (pos < size && IsDigit(line[pos])) ++pos;
      if (pos == digits) return false;
      if (pos < size && line[pos] == '.') {
        const std::size_t decimals = ++pos;
        while (pos < size && IsDigit(line[pos])) ++pos;
        if (pos == decimals) return false;
      }
      value.kind = db::RowValue::Kind::kNumber;
      value.text = line.substr(start, pos - start);
    } else if (IsNullWord(line.substr(pos, 4))) {
      pos += 4;
      value.kind = db::RowValue::Kind::kNull;
    } else {
      return false;
    }
    values.push_back(value);
    if (pos == size) return true;
    if (line[pos] != ',' || pos + 1 == size) return false;
    ++pos;
  }
}

}  // namespace

bool SplitPlainLine(std::string_view line, std::vector<db::RowValue>& values,
                    std::string& scratch) {
  values.clear();
  scratch.clear();
  // Undone texts are never longer than the line: `scratch` never moves while it is filled.
  scratch.reserve(line.size());
  return AppendPlainLine(line, values, scratch);
}

bool AppendPlainLine(std::string_view line, std::vector<db::RowValue>& values,
                     std::string& scratch) {
  if (line.empty() || line.find('\0') != std::string_view::npos) return false;
  // Texts already undone into `scratch` must stay where they are.
  if (scratch.capacity() - scratch.size() < line.size()) return false;
  const std::size_t values_before = values.size();
  const std::size_t scratch_before = scratch.size();
  if (AppendPlainValues(line, values, scratch)) return true;
  values.resize(values_before);
  scratch.resize(scratch_before);
  return false;
}

void AppendQuoted(std::string_view text, std::string& line) {
  // An empty value is NULL to the database; it is still written as '' (loads back as NULL).
  bool in_quotes = false;
  bool first_piece = true;
  auto open = [&] {
    if (!in_quotes) {
      if (!first_piece) line.append("||");
      line.push_back('\'');
      in_quotes = true;
      first_piece = false;
    }
  };
  if (text.empty()) open();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t special = FindSpecial(text, start);
    std::size_t end = special == std::string_view::npos ? text.size() : special;
    if (end > start) {
      open();
      line.append(text.substr(start, end - start));
    }
    if (special == std::string_view::npos) break;
    char c = text[special];
    if (c == '\'') {
      open();
      line.append("''");
    } else {
      if (in_quotes) {
        line.push_back('\'');
        in_quotes = false;
      }
      if (!first_piece) line.append("||");
      line.append(c == '\n' ? "chr(10)" : "chr(13)");
      first_piece = false;
    }
    start = special + 1;
  }
  if (in_quotes) line.push_back('\'');
}

void AppendDecimal(std::string_view number, std::string& line) {
  line.append(number);
  std::size_t point = number.find('.');
  if (point == std::string_view::npos) {
    line.append(".00");
  } else if (number.size() - point == 2) {
    line.push_back('0');
  } else if (number.size() - point == 1) {
    line.append("00");
  }
}

void AppendField(const Field& field, std::string& line) {
  switch (field.kind) {
    case FieldKind::kNull:
      line.append("NULL");
      break;
    case FieldKind::kNumber:
      line.append(field.text);
      break;
    case FieldKind::kText:
      AppendQuoted(field.text, line);
      break;
  }
}

std::string FormatLine(std::span<const Field> fields) {
  std::string line;
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    if (idx > 0) line.push_back(',');
    AppendField(fields[idx], line);
  }
  return line;
}

void AppendValue(db::Delivery delivery, const db::FetchedValue& value, std::string& line) {
  if (value.is_null) {
    line.append("NULL");
    return;
  }
  switch (delivery) {
    case db::Delivery::kInteger: {
      fmt::format_int digits(value.integer);
      line.append(digits.data(), digits.size());
      break;
    }
    case db::Delivery::kFloat:
      if (!value.text.empty()) {
        AppendDecimal(value.text, line);
      } else {
        // A backend that gives no decimal text: two decimals, as the double allows.
        line.append(fmt::format("{:.2f}", value.real));
      }
      break;
    case db::Delivery::kText:
      AppendQuoted(value.text, line);
      break;
  }
}

RowFormatter::RowFormatter(std::vector<db::Delivery> deliveries)
    : deliveries_(std::move(deliveries)) {}

void RowFormatter::Append(const db::FetchedRows& rows, std::string& out) {
  const std::size_t columns = deliveries_.size();
  const std::vector<db::FetchedRows::Value>& values = rows.values;
  prepared_.clear();
  prepared_ends_.clear();
  // A comma or the line end after each value, and the longest form of each.
  std::size_t room = values.size();
  // Notes the value `idx` as written to `prepared_` from `start` on.
  auto prepared = [&](std::size_t idx, std::size_t start) {
    prepared_ends_.emplace_back(idx, prepared_.size());
    room += prepared_.size() - start;
  };
  for (std::size_t idx = 0, column = 0; idx < values.size(); ++idx, ++column) {
    if (column == columns) column = 0;
    const db::FetchedRows::Value& value = values[idx];
    if (value.is_null) {
      room += 4;
      continue;
    }
    switch (deliveries_[column]) {
      case db::Delivery::kInteger:
        room += 20;  // "-9223372036854775808"
        break;
      case db::Delivery::kFloat:
        if (value.size == 0) {
          // A backend that gives no decimal text: as AppendValue, from the double.
          const std::size_t start = prepared_.size();
          fmt::format_to(std::back_inserter(prepared_), "{:.2f}", value.real);
          prepared(idx, start);
        } else {
          room += value.size + 3;  // ".00"
        }
        break;
      case db::Delivery::kText: {
        std::string_view text = rows.Text(value);
        if (HasSpecial(text)) {
          const std::size_t start = prepared_.size();
          AppendQuoted(text, prepared_);
          prepared(idx, start);
        } else {
          room += value.size + 2;
        }
        break;
      }
    }
  }
  const std::size_t before = out.size();
  out.resize_and_overwrite(before + room, [&](char* buffer, std::size_t) {
    char* at = buffer + before;
    std::size_t next_prepared = 0;
    std::size_t prepared_at = 0;
    std::size_t column = 0;
    for (std::size_t idx = 0; idx < values.size(); ++idx) {
      const db::FetchedRows::Value& value = values[idx];
      if (value.is_null) {
        std::memcpy(at, "NULL", 4);
        at += 4;
      } else if (next_prepared < prepared_ends_.size() &&
                 prepared_ends_[next_prepared].first == idx) {
        const std::size_t end = prepared_ends_[next_prepared++].second;
        std::memcpy(at, prepared_.data() + prepared_at, end - prepared_at);
        at += end - prepared_at;
        prepared_at = end;
      } else {
        const char* text = rows.bytes.data() + value.offset;
        switch (deliveries_[column]) {
          case db::Delivery::kInteger: {
            fmt::format_int digits(value.integer);
            std::memcpy(at, digits.data(), digits.size());
            at += digits.size();
            break;
          }
          case db::Delivery::kFloat: {
            std::memcpy(at, text, value.size);
            at += value.size;
            const void* point = std::memchr(text, '.', value.size);
            // As AppendDecimal: at least two decimals.
            if (point == nullptr) {
              std::memcpy(at, ".00", 3);
              at += 3;
            } else {
              const std::size_t decimals =
                  value.size - static_cast<std::size_t>(static_cast<const char*>(point) - text);
              if (decimals < 3) {
                std::memset(at, '0', 3 - decimals);
                at += 3 - decimals;
              }
            }
            break;
          }
          case db::Delivery::kText:
            *at++ = '\'';
            std::memcpy(at, text, value.size);
            at += value.size;
            *at++ = '\'';
            break;
        }
      }
      if (++column == columns) {
        *at++ = '\n';
        column = 0;
      } else {
        *at++ = ',';
      }
    }
    return static_cast<std::size_t>(at - buffer);
  });
}

}  // namespace volmek::datafiles
