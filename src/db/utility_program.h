// Which program exports and imports for the database a TNS selects. The layers above src/db/
// ask here instead of knowing the backends: the embedded engine has its companion programs,
// an Oracle database Oracle's own utilities.
#pragma once

#include <string>
#include <string_view>

namespace volmek::db {

enum class Utility { kExport, kImport };

// The program that runs `utility` for `tns`:
//   - embedded database (TNS empty or "file:..."): volmek-exp / volmek-imp beside the running
//     executable (found through PATH when they are not there);
//   - Oracle: exp / imp found in PATH, else in $ORACLE_HOME/bin; the bare name when neither
//     has it (starting it then fails and says so).
// `path` and `oracle_home` are the values of PATH and ORACLE_HOME.
std::string UtilityProgram(Utility utility, std::string_view tns, std::string_view path,
                           std::string_view oracle_home);

}  // namespace volmek::db
