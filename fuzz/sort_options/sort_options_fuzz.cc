// Fuzz target: the sort option parser and the statement it builds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "maint/sort_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  auto options = volmek::maint::ParseSortOptions(line);
  if (!options.has_value()) return 0;
  if (volmek::maint::CheckSortNames(*options).ok()) {
    std::string text = volmek::maint::SortCreateText(*options);
    if (text.find("create table ") != 0) __builtin_trap();
  }
  (void)volmek::maint::RebuildCondition(line);
  return 0;
}
