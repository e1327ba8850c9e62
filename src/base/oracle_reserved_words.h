// Oracle's reserved words: names no table, view or column may have unless quoted, since the
// server refuses them (ORA-00903, ORA-00904) wherever a name is expected.
#pragma once

#include <string_view>

namespace volmek {

// True when `word`, in any case, is one of Oracle's reserved words.
bool IsOracleReservedWord(std::string_view word);

}  // namespace volmek
