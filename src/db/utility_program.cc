#include "db/utility_program.h"

#include <unistd.h>

#include <filesystem>

#include "db/call.h"

namespace volmek::db {

namespace {

bool IsExecutable(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::is_regular_file(file, error) && access(file.c_str(), X_OK) == 0;
}

}  // namespace

std::string UtilityProgram(Utility utility, std::string_view tns, std::string_view path,
                           std::string_view oracle_home) {
  if (SelectsEmbeddedEngine(tns)) {
    std::string companion = utility == Utility::kExport ? "volmek-exp" : "volmek-imp";
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
      std::filesystem::path beside = self.parent_path() / companion;
      if (IsExecutable(beside)) return beside.string();
    }
    return companion;
  }
  std::string name = utility == Utility::kExport ? "exp" : "imp";
  while (!path.empty()) {
    std::size_t colon = path.find(':');
    std::string_view dir = path.substr(0, colon);
    path = colon == std::string_view::npos ? std::string_view() : path.substr(colon + 1);
    // An empty entry is the current directory, which Oracle's utilities are never looked for in.
    if (!dir.empty() && IsExecutable(std::filesystem::path(dir) / name)) return name;
  }
  if (!oracle_home.empty()) {
    std::filesystem::path in_home = std::filesystem::path(oracle_home) / "bin" / name;
    if (IsExecutable(in_home)) return in_home.string();
  }
  return name;
}

}  // namespace volmek::db
