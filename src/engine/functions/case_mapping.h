// The case mapping behind UPPER, LOWER and INITCAP.
#pragma once

#include <string>
#include <string_view>

#include "engine/storage/ora_result.h"

namespace volmek::engine::fn {

enum class CaseMapping { kUpper, kLower, kInitcap };

// `text` (UTF-8) mapped character for character; ORA-00600 when ICU, needed for characters
// beyond ASCII, cannot be loaded.
OraResult<std::string> MapCase(std::string_view text, CaseMapping mapping);

}  // namespace volmek::engine::fn
