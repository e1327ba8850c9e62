#include "plus/result_format.h"

#include <fmt/format.h>

#include <algorithm>

#include "base/text.h"

namespace volmek::plus {

namespace {

constexpr int kNumberWidth = 10;  // NUMWIDTH
constexpr int kDateWidth = 9;     // DD-MON-YY
constexpr int kRowidWidth = 18;
constexpr int kLongWidth = 80;  // the LONG setting: how much of a long value a column shows
constexpr std::size_t kDescribeNameWidth = 41;
constexpr std::size_t kDescribeNullWidth = 8;
constexpr std::size_t kDescribeTypeWidth = 28;

std::string PadRight(std::string_view text, std::size_t width) {
  std::string result(text);
  if (result.size() < width) result.append(width - result.size(), ' ');
  return result;
}

std::string PadLeft(std::string_view text, std::size_t width) {
  std::string result;
  if (text.size() < width) result.assign(width - text.size(), ' ');
  result += text;
  return result;
}

// Rounds the digit string to its first `keep` digits, half away from zero. Returns true when
// the rounding carried out of the first digit (the result then has keep + 1 digits).
bool RoundDigits(std::string& digits, std::size_t keep) {
  if (digits.size() <= keep) return false;
  bool up = digits[keep] >= '5';
  digits.resize(keep);
  if (!up) return false;
  for (std::size_t idx = keep; idx-- > 0;) {
    if (digits[idx] != '9') {
      ++digits[idx];
      return false;
    }
    digits[idx] = '0';
  }
  digits.insert(digits.begin(), '1');
  return true;
}

struct Decimal {
  bool negative = false;
  std::string integer;   // no leading zeros; empty for a value below 1
  std::string fraction;  // no trailing zeros
};

Decimal ParseDecimal(std::string_view exact) {
  Decimal number;
  if (!exact.empty() && exact[0] == '-') {
    number.negative = true;
    exact.remove_prefix(1);
  }
  std::size_t point = exact.find('.');
  number.integer = std::string(exact.substr(0, point));
  if (point != std::string_view::npos) number.fraction = std::string(exact.substr(point + 1));
  number.integer.erase(0, number.integer.find_first_not_of('0'));
  if (number.integer.find_first_not_of('0') == std::string::npos) number.integer.clear();
  std::size_t last = number.fraction.find_last_not_of('0');
  number.fraction.erase(last == std::string::npos ? 0 : last + 1);
  return number;
}

std::string Plain(const Decimal& number) {
  if (number.integer.empty() && number.fraction.empty()) return "0";
  std::string text = number.negative ? "-" : "";
  text += number.integer;
  if (!number.fraction.empty()) text += "." + number.fraction;
  return text;
}

std::string Exponent(const Decimal& number, int width) {
  std::string digits = number.integer + number.fraction;
  int exponent = static_cast<int>(number.integer.size()) - 1;
  if (number.integer.empty()) {
    std::size_t first = digits.find_first_not_of('0');
    exponent = -static_cast<int>(first) - 1;
    digits.erase(0, first);
  }
  const int sign_width = number.negative ? 1 : 0;
  auto exponent_width = [](int e) { return std::abs(e) >= 100 ? 5 : 4; };
  int decimals = width - sign_width - 2 - exponent_width(exponent);
  if (decimals < 0) return std::string(static_cast<std::size_t>(width), '#');
  digits.append(static_cast<std::size_t>(decimals) + 1, '0');
  if (RoundDigits(digits, static_cast<std::size_t>(decimals) + 1)) {
    ++exponent;
    digits.pop_back();
  }
  std::string mantissa = digits.substr(0, 1);
  if (decimals > 0) mantissa += "." + digits.substr(1, static_cast<std::size_t>(decimals));
  std::string text = fmt::format("{}{}E{}{:02d}", number.negative ? "-" : "", mantissa,
                                 exponent < 0 ? '-' : '+', std::abs(exponent));
  if (static_cast<int>(text.size()) > width)
    return std::string(static_cast<std::size_t>(width), '#');
  return text;
}

// The value rounded to as many decimals as fit in `width`; empty when the integer part does
// not fit or when nothing of the value would be left.
std::string Rounded(const Decimal& number, int width) {
  const std::size_t sign_width = number.negative ? 1 : 0;
  const std::size_t integer_width = sign_width + number.integer.size();
  if (integer_width > static_cast<std::size_t>(width)) return {};
  std::size_t decimals = static_cast<std::size_t>(width) > integer_width + 1
                             ? static_cast<std::size_t>(width) - integer_width - 1
                             : 0;
  std::string digits = number.integer + number.fraction;
  bool carried = RoundDigits(digits, number.integer.size() + decimals);
  Decimal rounded;
  rounded.negative = number.negative;
  std::size_t integer_digits = number.integer.size() + (carried ? 1 : 0);
  rounded.integer = digits.substr(0, integer_digits);
  rounded.fraction = digits.substr(integer_digits);
  std::size_t last = rounded.fraction.find_last_not_of('0');
  rounded.fraction.erase(last == std::string::npos ? 0 : last + 1);
  rounded.integer.erase(0, rounded.integer.find_first_not_of('0'));
  if (rounded.integer.empty() && rounded.fraction.empty()) return {};
  std::string text = Plain(rounded);
  if (text.size() > static_cast<std::size_t>(width)) return {};
  return text;
}

// Joins the cells of one row with one blank, going on on a further line where the next cell
// would pass the line size.
std::string JoinCells(const std::vector<std::string>& cells, int line_size) {
  std::string text;
  std::size_t line_length = 0;
  for (std::size_t cell_idx = 0; cell_idx < cells.size(); ++cell_idx) {
    const std::string& cell = cells[cell_idx];
    if (cell_idx > 0) {
      if (line_length + 1 + cell.size() > static_cast<std::size_t>(line_size)) {
        text += '\n';
        line_length = 0;
      } else {
        text += ' ';
        ++line_length;
      }
    }
    text += cell;
    line_length += cell.size();
  }
  text += '\n';
  return text;
}

}  // namespace

OutputColumn LayoutColumn(const db::ColumnDescription& description) {
  OutputColumn column;
  column.heading = description.name;
  switch (description.db_type) {
    case db::kTypeNumber:
      column.is_number = true;
      column.right_aligned = true;
      column.width = std::max(kNumberWidth, static_cast<int>(description.name.size()));
      break;
    case db::kTypeDate:
      column.width = kDateWidth;
      break;
    case db::kTypeRowid:
      column.width = kRowidWidth;
      break;
    case db::kTypeRaw:
      column.width = 2 * description.db_size;
      break;
    case db::kTypeLong:
    case db::kTypeLongRaw:
      column.width = kLongWidth;
      break;
    default:
      column.width = description.db_size;
      break;
  }
  column.width = std::max(column.width, 1);
  return column;
}

std::string FormatNumber(std::string_view exact, int width) {
  Decimal number = ParseDecimal(exact);
  std::string plain = Plain(number);
  if (plain.size() <= static_cast<std::size_t>(width))
    return PadLeft(plain, static_cast<std::size_t>(width));
  std::string rounded = Rounded(number, width);
  if (!rounded.empty()) return PadLeft(rounded, static_cast<std::size_t>(width));
  return PadLeft(Exponent(number, width), static_cast<std::size_t>(width));
}

std::string FormatRow(const std::vector<OutputColumn>& columns,
                      const std::vector<OutputValue>& values, int line_size) {
  std::vector<std::string> cells;
  cells.reserve(columns.size());
  for (std::size_t column_idx = 0; column_idx < columns.size(); ++column_idx) {
    const OutputColumn& column = columns[column_idx];
    const OutputValue& value = column_idx < values.size() ? values[column_idx] : std::nullopt;
    std::size_t width = static_cast<std::size_t>(column.width);
    if (!value.has_value()) {
      cells.emplace_back(width, ' ');
    } else if (column.is_number) {
      cells.push_back(FormatNumber(*value, column.width));
    } else {
      cells.push_back(PadRight(*value, width));
    }
  }
  return JoinCells(cells, line_size);
}

std::string FormatHeadings(const std::vector<OutputColumn>& columns, int line_size) {
  std::vector<std::string> headings;
  std::vector<std::string> underlines;
  for (const OutputColumn& column : columns) {
    std::size_t width = static_cast<std::size_t>(column.width);
    std::string heading = column.heading.substr(0, width);
    // Never half a character: a cut inside one drops its leading bytes too.
    if (heading.size() < column.heading.size()) {
      while (!heading.empty() &&
             (static_cast<unsigned char>(column.heading[heading.size()]) & 0xC0) == 0x80) {
        heading.pop_back();
      }
    }
    headings.push_back(column.right_aligned ? PadLeft(heading, width) : PadRight(heading, width));
    underlines.emplace_back(width, '-');
  }
  return JoinCells(headings, line_size) + JoinCells(underlines, line_size);
}

std::string TypeText(std::string_view data_type, std::string_view length,
                     std::string_view precision, std::string_view scale) {
  if (data_type == "NUMBER") {
    if (precision.empty()) return scale == "0" ? "NUMBER(38)" : "NUMBER";
    if (scale.empty() || scale == "0") return fmt::format("NUMBER({})", precision);
    return fmt::format("NUMBER({},{})", precision, scale);
  }
  if (data_type == "FLOAT") return fmt::format("FLOAT({})", precision.empty() ? "126" : precision);
  if (data_type == "CHAR" || data_type == "VARCHAR2" || data_type == "RAW" ||
      data_type == "NCHAR" || data_type == "NVARCHAR2") {
    return fmt::format("{}({})", data_type, length);
  }
  return std::string(data_type);
}

std::string FormatDescribe(const std::vector<DescribedColumn>& columns) {
  std::size_t name_width = kDescribeNameWidth;
  std::size_t type_width = kDescribeTypeWidth;
  for (const DescribedColumn& column : columns) {
    name_width = std::max(name_width, column.name.size());
    type_width = std::max(type_width, column.type.size());
  }
  std::string text =
      " " + PadRight("Name", name_width) + " " + PadRight("Null?", kDescribeNullWidth) + " Type\n";
  text += " " + std::string(name_width, '-') + " " + std::string(kDescribeNullWidth, '-') + " " +
          std::string(type_width, '-') + "\n";
  for (const DescribedColumn& column : columns) {
    text += " " + PadRight(column.name, name_width) + " " +
            (column.not_null ? std::string("NOT NULL") : BlankFill(kDescribeNullWidth)) + " " +
            column.type + "\n";
  }
  return text;
}

namespace {

void WrapServerLine(std::string_view line, std::size_t size, ServerOutputFormat format,
                    std::string* out) {
  if (format == ServerOutputFormat::kTruncated) {
    out->append(line.substr(0, size));
    out->push_back('\n');
    return;
  }
  if (format == ServerOutputFormat::kWrapped) {
    do {
      out->append(line.substr(0, size));
      out->push_back('\n');
      line.remove_prefix(std::min(size, line.size()));
    } while (!line.empty());
    return;
  }
  auto skip_blanks = [](std::string_view text) {
    std::size_t start = text.find_first_not_of(" \t");
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
  };
  line = skip_blanks(line);
  do {
    std::size_t take = line.size();
    if (take > size) {
      // The last blank that leaves at most `size` characters before it; a word longer than
      // the line is cut.
      std::size_t blank = line.substr(0, size + 1).find_last_of(" \t");
      take = blank == std::string_view::npos || blank == 0 ? size : blank;
    }
    std::string_view part = line.substr(0, take);
    while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
    out->append(part);
    out->push_back('\n');
    line = skip_blanks(line.substr(take));
  } while (!line.empty());
}

}  // namespace

std::string FormatServerOutputLine(std::string_view line, int line_size,
                                   ServerOutputFormat format) {
  std::string out;
  std::size_t size = static_cast<std::size_t>(std::max(line_size, 1));
  while (true) {
    std::size_t end = line.find('\n');
    WrapServerLine(line.substr(0, end), size, format, &out);
    if (end == std::string_view::npos) break;
    line.remove_prefix(end + 1);
  }
  return out;
}

}  // namespace volmek::plus
