// Environment: the settings of one run, read once from the process environment.
//
// Every setting of volmek is an environment variable (TEST, NOMBREBD, PASSWD, TNS, BACKUP,
// TBDATOS, TBINDICES, KORVEL). A variable that is not set reads as the empty text. Tests build
// an Environment from a map instead of touching the process environment.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace volmek {

class Environment {
 public:
  Environment() = default;
  explicit Environment(std::map<std::string, std::string, std::less<>> values)
      : values_(std::move(values)) {}

  // A snapshot of the process environment (environ).
  static Environment FromProcess();

  // The value of `name`, or the empty text when it is not set.
  std::string Get(std::string_view name) const;
  bool IsSet(std::string_view name) const { return values_.find(name) != values_.end(); }
  void Set(std::string name, std::string value) { values_[std::move(name)] = std::move(value); }

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace volmek
