// Fuzz target: the catalogue listing converter, fed line by line as the line reader delivers.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "migrate/ddl_converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::ostringstream out;
  volmek::migrate::DdlConverter converter(out);
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = end == std::string_view::npos ? text : text.substr(0, end + 1);
    text.remove_prefix(line.size());
    if (!converter.Line(line).ok()) return 0;
  }
  converter.Finish();
  return 0;
}
