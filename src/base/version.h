// The release of volmek, as the build names it (the project version of CMakeLists.txt), and
// the line that every program prints for --version.
#pragma once

#include <string>
#include <string_view>

#ifndef VOLMEK_VERSION
#error "VOLMEK_VERSION is defined by the build from the project version"
#endif

namespace volmek {

inline constexpr std::string_view kVersion = VOLMEK_VERSION;

// "<program> <version>\n": "volmek 1.0.0".
inline std::string VersionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += kVersion;
  line += '\n';
  return line;
}

}  // namespace volmek
