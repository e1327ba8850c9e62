// The trace and the dump of the field layout (layout.h), printed while TEST begins with "1".

#include <fmt/format.h>

#include <algorithm>

#include "copybook/layout.h"

namespace volmek::copybook {

namespace {

void TraceLine(std::string& text, int layout_case, const Field& field, std::size_t idx) {
  text += fmt::format("\tcaso {}\n", layout_case);
  text += fmt::format("Campo {} ({})  gru={}  rede=({})  repe=({})  posi=({})\n", field.name, idx,
                      field.group ? 1 : 0, field.redefines, field.occurs, field.position);
}

}  // namespace

std::string TraceText(const FieldTable& fields) {
  std::string text;
  std::size_t idx = 0;
  while (idx < fields.size()) {
    const Field& field = fields[idx];
    if (field.redefines >= 0 && !field.group) {
      TraceLine(text, 0, field, idx);
      ++idx;
    } else if (field.redefines >= 0) {
      const std::size_t end = SubordinatesEnd(fields, idx);
      const std::size_t last = end > idx + 1 ? end - 1 : idx;
      TraceLine(text, 1, fields[last], last);
      idx = end;
    } else if (field.group && field.occurs > 0) {
      const std::size_t end = SubordinatesEnd(fields, idx);
      const std::size_t last = end > idx + 1 ? end - 1 : idx;
      TraceLine(text, 2, fields[last], last);
      idx = end;
    } else {
      TraceLine(text, 3, field, idx);
      ++idx;
    }
  }
  return text;
}

std::string DumpText(const Layout& layout) {
  const FieldTable& fields = layout.fields;
  std::string text = "Control de redefines --------------------------- \n";
  for (std::size_t control_idx = 0; control_idx < layout.controls.size(); ++control_idx) {
    const RedefinitionControl& control = layout.controls[control_idx];
    text += fmt::format("\t{}  {} ({},{})\n", control_idx, control.key, control.range_first,
                        control.range_last);
    // Entries that no line filled read as they stand before the reading.
    const Redefinition unfilled;
    for (std::int64_t entry_idx = std::max<std::int64_t>(control.range_first, 0);
         entry_idx <= control.range_last; ++entry_idx) {
      const Redefinition& entry = static_cast<std::size_t>(entry_idx) < layout.redefinitions.size()
                                      ? layout.redefinitions[entry_idx]
                                      : unfilled;
      text += fmt::format("\t\t{}  ca({},{})  bu({},{})  [{}]\n", entry_idx, entry.span_first,
                          entry.span_last, entry.first_value, entry.second_value, entry.name);
    }
  }

  text += "Redefines usados ------------------------------- \n";
  std::int64_t used = 0;
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    const Field& field = fields[idx];
    if (field.redefinition_size < 0) continue;
    text += fmt::format("\t{}  {} - [{}]  ({},{}) ({},{}) ", used++, idx, field.name,
                        field.redefinition_size, field.largest_redefinition, field.span_first,
                        field.span_last);
    if (field.redefines >= 0) {
      const Field& target = fields[field.redefines];
      text += fmt::format("  -> [{}] ({}) ", target.name, target.redefinition_size);
    } else {
      text += fmt::format(" -> ultrede={} ", field.last_redefinition_end);
    }
    text += "\n";
  }

  text += "\nCampos definidos ------------------------------- \n";
  std::size_t longest = 0;
  for (const Field& field : fields) longest = std::max(longest, field.name.size());
  for (std::size_t idx = 0; idx < fields.size(); ++idx) {
    const Field& field = fields[idx];
    const int is_signed = field.is_signed ? 1 : 0;
    text += fmt::format(
        "{} - {}{}{} {} {}  {}  {}   {}  re({}) red({}) lo({},{},{})  po({})i mr({})i "
        "signo({})\n",
        idx, field.name, std::string(longest + 1 - field.name.size(), ' '), field.group ? 1 : 0,
        field.level, field.type, field.length, is_signed, field.usage, field.occurs,
        field.redefines, field.length, field.decimals, field.precision, field.position,
        field.largest_redefinition, is_signed);
    text += "\t\t\t\t0-0-0\n";
  }
  text += fmt::format("---->  long_regis = {} \n", layout.record_length);
  return text;
}

}  // namespace volmek::copybook
