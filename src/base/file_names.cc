#include "base/file_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace volmek {

namespace {

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::optional<std::string> FindFileIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::filesystem::path typed(path);
  if (IsRegularFile(typed)) return path;
  std::string wanted = typed.filename().string();
  if (wanted.empty()) return std::nullopt;
  std::filesystem::path directory = typed.parent_path();
  std::error_code error;
  std::filesystem::directory_iterator entries(directory.empty() ? "." : directory, error);
  if (error) return std::nullopt;
  std::vector<std::string> matches;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    if (EqualIgnoringCase(name, wanted) && IsRegularFile(entry.path())) matches.push_back(name);
  }
  if (matches.empty()) return std::nullopt;
  std::sort(matches.begin(), matches.end());
  return directory.empty() ? matches.front() : (directory / matches.front()).string();
}

}  // namespace volmek
