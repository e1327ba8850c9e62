// Fuzz target: the table text line reader. Any line either gives fields or a clean refusal,
// and the fields it gives are written back to a line that reads as the same fields.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "datafiles/table_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  auto fields = volmek::datafiles::ParseLine(line);
  if (!fields.has_value()) return 0;
  std::string again = volmek::datafiles::FormatLine(*fields);
  auto reread = volmek::datafiles::ParseLine(again);
  // A line written from parsed fields that does not read back as those fields would lose data.
  if (!reread.has_value() || *reread != *fields) __builtin_trap();
  return 0;
}
