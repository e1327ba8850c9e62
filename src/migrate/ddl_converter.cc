#include "migrate/ddl_converter.h"

#include <fmt/format.h>

#include <algorithm>
#include <istream>
#include <ostream>
#include <vector>

#include "base/line_reader.h"
#include "base/text.h"

namespace volmek::migrate {

namespace {

constexpr std::string_view kTableMarker = "CATALOGO_TABLA";
constexpr std::string_view kIndexMarker = "CATALOGO_INDICES";
constexpr std::string_view kViewMarker = "CATALOGO_VISTA";
constexpr std::string_view kDashes =
    "-- ---------------------------------------------------------------------\n";
constexpr std::string_view kTableClose = "\n)\n;\n";
constexpr std::string_view kIndexClose = ")\n;\n";
// Column names shorter than this are padded so that the types line up.
constexpr long long kNameColumn = 20;
constexpr long long kLongestChar = 255;

// The blank-separated words of `line`. The line end stays on the last word, as the listing's
// readers have always seen it; the messages show it.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos == line.size()) break;
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

std::string_view Word(const std::vector<std::string_view>& words, std::size_t number) {
  return number <= words.size() ? words[number - 1] : std::string_view();
}

bool Contains(std::string_view line, std::string_view text) {
  return line.find(text) != std::string_view::npos;
}

// A line with nothing but blanks before its line end reads as a blank line: SQL*Plus pads
// lines with blanks, and such a line holds no name or type to convert.
bool IsBlank(std::string_view line) {
  return WithoutLineEnd(line).find_first_not_of(' ') == std::string_view::npos;
}

// The value of the leading decimal digits of `text`, 0 when there are none. Saturates above
// any length that matters here, so a long run of digits cannot overflow.
long long LeadingNumber(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > 1000000) return 1000000;
  }
  return value;
}

// An Oracle type word split as "BASE(LENGTH,SCALE)".
struct OracleType {
  std::string base;
  std::string length;
  std::string scale;
};

OracleType SplitType(std::string_view word) {
  word = WithoutLineEnd(word);
  OracleType type;
  std::size_t open = word.find('(');
  type.base = std::string(word.substr(0, open));
  if (open == std::string_view::npos) return type;
  std::string_view rest = word.substr(open + 1);
  std::size_t stop = rest.find_first_of(",)");
  type.length = std::string(rest.substr(0, stop));
  if (stop != std::string_view::npos && rest[stop] == ',') {
    std::string_view after = rest.substr(stop + 1);
    type.scale = std::string(after.substr(0, after.find(')')));
  }
  return type;
}

Status BadName(std::string_view name, std::uint64_t line_number) {
  return Status::InvalidInput(
      fmt::format("Nombre no valido ({}) en la linea {} de catalogo.txt\n", name, line_number));
}

}  // namespace

Status DdlConverter::Line(std::string_view line) {
  ++line_number_;
  const bool table_marker = Contains(line, kTableMarker);
  const bool view_marker = Contains(line, kViewMarker);
  const bool blank = IsBlank(line);

  if (index_section_ && !blank && !table_marker && !view_marker) {
    VOLMEK_RETURN_IF_ERROR(IndexLine(line));
  } else if (view_marker) {
    if (index_open_) CloseIndex();
    index_section_ = false;
    view_section_ = true;
  }

  if (Contains(line, kIndexMarker)) {
    out_ << kTableClose;
    table_open_ = false;
    index_section_ = true;
  }

  ++line_counter_;
  // Marker rows are never columns, and neither is anything outside an open table statement:
  // the describe lines of a view, or stray lines of a listing that is not the script's.
  if (line_counter_ > 3 && !index_section_ && !blank && !table_marker && !view_marker &&
      !view_section_ && table_open_) {
    VOLMEK_RETURN_IF_ERROR(ColumnLine(line));
  }

  if (table_marker) VOLMEK_RETURN_IF_ERROR(TableMarker(line));
  return Status::Ok();
}

Status DdlConverter::IndexLine(std::string_view line) {
  std::vector<std::string_view> words = Words(line);
  IndexRow row{std::string(WithoutLineEnd(Word(words, 1))),
               std::string(WithoutLineEnd(Word(words, 2))),
               std::string(WithoutLineEnd(Word(words, 4)))};
  std::string_view column = WithoutLineEnd(Word(words, 3));
  if (row.name == previous_index_.name && row.uniqueness == previous_index_.uniqueness) {
    // The same column position again comes from a same-named index of another schema.
    if (row.position == previous_index_.position) return Status::Ok();
    if (!IsPlainIdentifier(column)) return BadName(column, line_number_);
    out_ << ", " << column;
  } else {
    if (!IsPlainIdentifier(row.name)) return BadName(row.name, line_number_);
    if (!IsPlainIdentifier(column)) return BadName(column, line_number_);
    if (index_open_) out_ << kIndexClose;
    out_ << "create " << (row.uniqueness == "UNIQUE" ? "unique " : "") << " index " << row.name
         << " on " << current_table_ << " (" << column;
  }
  index_open_ = true;
  previous_index_ = std::move(row);
  return Status::Ok();
}

Status DdlConverter::ColumnLine(std::string_view line) {
  std::vector<std::string_view> words = Words(line);
  std::string_view name = Word(words, 1);
  bool mandatory = false;
  std::string_view type_word = Word(words, 2);
  if (type_word == "NOT") {
    if (Word(words, 3) != "NULL") {
      return Status::InvalidInput(fmt::format("Esperado NOT NULL ({}) {}\n", Word(words, 3), line));
    }
    mandatory = true;
    type_word = Word(words, 4);
  }
  OracleType type = SplitType(type_word);
  if (type.base == "NUMBER" && type.length.empty()) type.length = "9";

  if (!IsPlainIdentifier(WithoutLineEnd(name))) return BadName(WithoutLineEnd(name), line_number_);
  name = WithoutLineEnd(name);
  out_ << ",\n";
  // Names of 20 characters or more still get one blank: run into the type they would make one
  // word of the two, a column without a type.
  std::string lead = fmt::format(
      "   {}{}", name, BlankFill(std::max(1LL, kNameColumn - static_cast<long long>(name.size()))));
  // DATE keeps its time of day (datetime), and LONG is text: the old char (10) and dec (9,0)
  // could hold neither the values nor their kind.
  if (type.base == "CHAR" || type.base == "RAW" ||
      (type.base == "VARCHAR2" && LeadingNumber(type.length) <= kLongestChar)) {
    out_ << lead << "char (" << type.length << ")";
  } else if (type.base == "VARCHAR2" || type.base == "LONG") {
    out_ << lead << "text";
  } else if (type.base == "DATE") {
    out_ << lead << "datetime";
  } else if (type.base == "NUMBER") {
    out_ << lead << "dec  (" << type.length << "," << (type.scale.empty() ? "0" : type.scale)
         << ")";
  } else {
    return Status::InvalidInput(
        fmt::format("campo: {}    tipo: ({})  ({}|{}|{}) \nTipo no tratado \n", name, type_word,
                    type.base, type.length, type.scale));
  }
  if (mandatory) out_ << " not null";
  return Status::Ok();
}

Status DdlConverter::TableMarker(std::string_view line) {
  if (index_open_) CloseIndex();
  if (table_open_) out_ << kTableClose;
  line_counter_ = 1;
  index_section_ = false;
  view_section_ = false;
  std::string_view name = WithoutLineEnd(line.substr(0, line.find(' ')));
  if (!IsPlainIdentifier(name)) return BadName(name, line_number_);
  table_open_ = true;
  current_table_ = std::string(name);
  out_ << kDashes << "--    " << name << "\n"
       << kDashes << "drop table " << name << "\n;\n"
       << "create table " << name << " (\n"
       << "   IDENTI              int  identity (1,1)  primary key";
  return Status::Ok();
}

void DdlConverter::CloseIndex() {
  out_ << kIndexClose;
  index_open_ = false;
  previous_index_ = IndexRow();
}

void DdlConverter::Finish() {
  if (index_open_) CloseIndex();
  // A listing cut short after a table's columns still gets a complete statement.
  if (table_open_) {
    out_ << kTableClose;
    table_open_ = false;
  }
}

Status ConvertListing(std::istream& in, std::ostream& out) {
  LineReader reader(in);
  DdlConverter converter(out);
  std::string line;
  while (true) {
    VOLMEK_ASSIGN_OR_RETURN(bool more, reader.Next(line));
    if (!more) break;
    VOLMEK_RETURN_IF_ERROR(converter.Line(line));
  }
  converter.Finish();
  return Status::Ok();
}

}  // namespace volmek::migrate
