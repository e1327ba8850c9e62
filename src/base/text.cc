#include "base/text.h"

namespace volmek {

std::string UpperCase(std::string_view text) {
  std::string result(text);
  UpperCaseInPlace(result);
  return result;
}

void UpperCaseInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

std::string BlankFill(long long n) {
  return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

void RightTrim(std::string& text) {
  std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
}

std::string_view RightTrimmed(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view PluralS(long long count) { return count == 1 ? "" : "s"; }

bool IsPlainIdentifier(std::string_view name) {
  if (name.empty()) return false;
  auto is_letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!is_letter(name[0])) return false;
  for (char c : name) {
    bool ok = is_letter(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
    if (!ok) return false;
  }
  return true;
}

}  // namespace volmek
