#include "copybook/layout.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <ostream>

namespace volmek::copybook {

namespace {

std::int64_t BinarySize(std::int64_t digits, bool native) {
  if (native && digits <= 2) return 1;
  if (digits <= 4) return 2;
  if (digits <= 9) return 4;
  if (digits <= 18) return 8;
  return digits;
}

bool IsAligned(const Field& field) {
  return field.sync && !field.group &&
         (field.is_float ||
          (field.type == 'N' && (field.usage == kUsageComp || field.usage == kUsageComp4 ||
                                 field.usage == kUsageComp5)));
}

class Placer {
 public:
  explicit Placer(FieldTable& fields) : fields_(fields), children_(fields.size()) {
    for (std::size_t idx = 0; idx < fields_.size(); ++idx) {
      if (fields_[idx].parent >= 0) children_[fields_[idx].parent].push_back(idx);
    }
  }

  Result<std::int64_t> PlaceAll() {
    std::int64_t longest = 0;
    std::int64_t loose_cursor = 0;  // the record of the entries before any 01
    std::vector<std::size_t> loose;
    for (std::size_t idx = 0; idx < fields_.size(); ++idx) {
      if (fields_[idx].parent >= 0) continue;
      if (fields_[idx].level == 1 || fields_[idx].level == 77) {
        VOLMEK_RETURN_IF_ERROR(Place(idx, 0));
        longest = std::max(longest, fields_[idx].extent * Repeats(fields_[idx]));
      } else {
        loose.push_back(idx);
      }
    }
    if (!loose.empty()) {
      VOLMEK_ASSIGN_OR_RETURN(loose_cursor, PlaceSequence(loose, 0));
      longest = std::max(longest, loose_cursor);
    }
    return longest;
  }

 private:
  Status TooLarge(std::size_t idx) const {
    return Status::InvalidInput(
        fmt::format("El campo {} ocupa demasiados bytes.\n", fields_[idx].name));
  }

  // Places entry `idx` (and its subordinates) at byte `position`.
  Status Place(std::size_t idx, std::int64_t position) {
    Field& field = fields_[idx];
    field.position = position;
    if (!field.group) {
      field.length = StorageSize(field);
      field.extent = field.length;
      return Status::Ok();
    }
    field.length = 0;
    VOLMEK_ASSIGN_OR_RETURN(const std::int64_t end, PlaceSequence(children_[idx], position));
    fields_[idx].extent = end - position;
    return Status::Ok();
  }

  // Places entries one after the other from `cursor`; returns the first byte after them.
  Result<std::int64_t> PlaceSequence(const std::vector<std::size_t>& entries, std::int64_t cursor) {
    for (std::size_t idx : entries) {
      const Field& field = fields_[idx];
      std::int64_t start = cursor;
      if (field.redefines >= 0) {
        start = fields_[field.redefines].position;
      } else if (IsAligned(field)) {
        const std::int64_t align = StorageSize(field);
        if (align > 1 && start % align != 0) start += align - start % align;
      }
      VOLMEK_RETURN_IF_ERROR(Place(idx, start));
      std::int64_t bytes = 0;
      std::int64_t end = 0;
      if (__builtin_mul_overflow(fields_[idx].extent, Repeats(fields_[idx]), &bytes) ||
          __builtin_add_overflow(start, bytes, &end)) {
        return Err(TooLarge(idx));
      }
      cursor = std::max(cursor, end);
    }
    return cursor;
  }

  FieldTable& fields_;
  std::vector<std::vector<std::size_t>> children_;
};

// The redefinition extents, for the dump: which entries each redefinition covers, its bytes,
// and on each redefined entry the largest redefinition and the end of the latest one.
void WorkOutRedefinitions(Layout& layout) {
  FieldTable& fields = layout.fields;
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    Field& field = fields[idx];
    if (field.redefines < 0) continue;
    if (!field.group) {
      field.span_first = field.span_last = static_cast<std::int64_t>(idx);
    } else {
      field.span_first = static_cast<std::int64_t>(idx) + 1;
      field.span_last = static_cast<std::int64_t>(SubordinatesEnd(fields, idx)) - 1;
    }
    field.redefinition_size = field.extent * Repeats(field);
    Field& target = fields[field.redefines];
    target.largest_redefinition = std::max(target.largest_redefinition, field.redefinition_size);
    target.last_redefinition_end = field.span_last;
  }
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    Field& field = fields[idx];
    if (field.last_redefinition_end < 0) continue;
    const std::size_t end = SubordinatesEnd(fields, idx);
    field.span_first = static_cast<std::int64_t>(idx) + 1;
    field.span_last = static_cast<std::int64_t>(end) - 1;
    // A redefined entry counts the digits of its subordinates, not their bytes.
    std::int64_t digits = 0;
    for (std::size_t sub = idx + 1; sub < end; ++sub) {
      digits += fields[sub].precision * Repeats(fields[sub]);
    }
    field.redefinition_size = digits;
  }
  for (const Field& field : fields) {
    if (field.redefinition_size < 0) continue;
    Redefinition entry;
    entry.span_first = field.span_first;
    entry.span_last = field.span_last;
    layout.redefinitions.push_back(entry);
  }
}

// The field cut: up to `count` characters from `start`, stopping at a line end, without the
// blanks at either end.
std::string Cut(std::string_view text, std::size_t start, std::size_t count) {
  if (start >= text.size()) return "";
  std::string_view cut = text.substr(start, count);
  cut = cut.substr(0, cut.find('\n'));
  const std::size_t first = cut.find_first_not_of(' ');
  if (first == std::string_view::npos) return "";
  const std::size_t last = cut.find_last_not_of(' ');
  return std::string(cut.substr(first, last - first + 1));
}

// Leading blanks, an optional sign, decimal digits; 0 when there are none.
std::int64_t IntegerValue(std::string_view text) {
  std::size_t pos = text.find_first_not_of(' ');
  if (pos == std::string_view::npos) return 0;
  bool negative = false;
  if (text[pos] == '-' || text[pos] == '+') {
    negative = text[pos] == '-';
    ++pos;
  }
  std::int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
         value < 100'000'000'000'000'000) {
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  return negative ? -value : value;
}

}  // namespace

std::int64_t StorageSize(const Field& field) {
  if (field.group) return 0;
  if (field.is_float) return field.usage == kUsageComp1 ? 4 : 8;
  const std::int64_t digits = field.type == 'N' ? field.length + field.decimals : field.length;
  if (field.type == 'N') {
    switch (field.usage) {
      case kUsageComp:
      case kUsageComp4:
        return BinarySize(digits, false);
      case kUsageComp5:
        return BinarySize(digits, true);
      case kUsageComp3:
        return digits / 2 + 1;
      default:
        break;
    }
    return field.display_size + (field.sign_separate ? 1 : 0);
  }
  return field.display_size;
}

Result<Layout> LayOutFields(FieldTable fields) {
  Layout layout;
  layout.fields = std::move(fields);
  for (Field& field : layout.fields) {
    if (field.group) {
      field.precision = 0;
    } else {
      field.precision = field.type == 'N'
                            ? field.length + field.decimals + (field.leading_minus ? 1 : 0)
                            : field.length;
    }
  }
  Placer placer(layout.fields);
  VOLMEK_ASSIGN_OR_RETURN(layout.record_length, placer.PlaceAll());
  WorkOutRedefinitions(layout);
  return layout;
}

Status ReadMultiRecord(std::istream& in, bool echo, std::ostream& out, Layout& layout) {
  std::string line;
  std::int64_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool had_end = !in.eof();
    if (!line.empty() && line[0] == '#') continue;
    if (line.find_first_not_of(' ') == std::string::npos) continue;
    if (echo) out << line << (had_end ? "\n" : "");
    if (line[0] == 'R') {
      RedefinitionControl control;
      control.key = IntegerValue(Cut(line, 1, 4));
      control.range_first = IntegerValue(Cut(line, 5, 4));
      control.range_last = IntegerValue(Cut(line, 9, 4));
      if (echo) {
        out << fmt::format("rede -> {},{},{}\n", control.key, control.range_first,
                           control.range_last);
      }
      layout.controls.push_back(control);
      continue;
    }
    const std::int64_t entry_number = IntegerValue(Cut(line, 0, 2));
    if (entry_number < 0) {
      return Status::InvalidInput(
          fmt::format("Linea {} del fichero multirregistro: numero de redefinicion {} no valido.\n",
                      number, entry_number));
    }
    if (static_cast<std::size_t>(entry_number) >= layout.redefinitions.size()) {
      layout.redefinitions.resize(entry_number + 1);
    }
    Redefinition& entry = layout.redefinitions[entry_number];
    entry.first_value = IntegerValue(Cut(line, 2, 4));
    entry.second_value = IntegerValue(Cut(line, 6, 4));
    entry.name = Cut(line, 10, 35);
    if (!entry.name.empty() && entry.name.back() == '|') entry.name.pop_back();
    if (echo) {
      out << fmt::format("\t{} ({},{}) [{}]\n", entry_number, entry.first_value, entry.second_value,
                         entry.name);
    }
  }
  return Status::Ok();
}

Result<Layout> RunFieldLayout(FieldTable fields, const Environment& env,
                              std::string_view copybook_name, bool echo, std::ostream& out) {
  VOLMEK_ASSIGN_OR_RETURN(Layout layout, LayOutFields(std::move(fields)));
  const std::string korvel = env.Get("KORVEL");
  if (korvel.empty()) return Err(Status::InvalidInput("Definir variable de entorno KORVEL.\n\n"));
  const std::string path = fmt::format("{}/copys/{}.fr", korvel, copybook_name);
  std::ifstream in(path, std::ios::binary);
  if (in) {
    out << "Multiregistros definidos ...\n";
    if (echo) out << fmt::format("Apertura fichero [{}] \n", path);
    VOLMEK_RETURN_IF_ERROR(ReadMultiRecord(in, echo, out, layout));
  }
  if (echo) out << TraceText(layout.fields) << DumpText(layout);
  return layout;
}

}  // namespace volmek::copybook
