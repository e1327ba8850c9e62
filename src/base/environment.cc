#include "base/environment.h"

#include <unistd.h>

namespace volmek {

Environment Environment::FromProcess() {
  Environment env;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    env.values_.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return env;
}

std::string Environment::Get(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? std::string() : it->second;
}

}  // namespace volmek
