#include "base/file_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace volmek {

namespace {

namespace fs = std::filesystem;

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool IsDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The entry of `directory` named `wanted` ignoring case that passes `accept`: the first in
// byte order, so that the answer does not depend on the order the directory lists them in.
std::optional<fs::path> FindEntry(const fs::path& directory, const std::string& wanted,
                                  bool (*accept)(const fs::path&)) {
  std::error_code error;
  fs::directory_iterator entries(directory.empty() ? fs::path(".") : directory, error);
  if (error) return std::nullopt;
  std::vector<std::string> matches;
  for (const auto& entry : entries) {
    std::string name = entry.path().filename().string();
    if (EqualIgnoringCase(name, wanted) && accept(entry.path())) matches.push_back(name);
  }
  if (matches.empty()) return std::nullopt;
  std::sort(matches.begin(), matches.end());
  return directory.empty() ? fs::path(matches.front()) : directory / matches.front();
}

}  // namespace

std::optional<std::string> FindFileIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  fs::path typed(path);
  if (IsRegularFile(typed)) return path;
  if (typed.filename().empty()) return std::nullopt;
  // Walk the directories first: each one as typed when it exists, otherwise ignoring case.
  fs::path resolved = typed.root_path();
  for (const fs::path& component : typed.relative_path().parent_path()) {
    fs::path next = resolved / component;
    if (component == "." || component == ".." || IsDirectory(next)) {
      resolved = std::move(next);
      continue;
    }
    std::optional<fs::path> found = FindEntry(resolved, component.string(), &IsDirectory);
    if (!found.has_value()) return std::nullopt;
    resolved = std::move(*found);
  }
  fs::path exact = resolved / typed.filename();
  if (IsRegularFile(exact)) return exact.string();
  std::optional<fs::path> found = FindEntry(resolved, typed.filename().string(), &IsRegularFile);
  if (!found.has_value()) return std::nullopt;
  return found->string();
}

}  // namespace volmek
