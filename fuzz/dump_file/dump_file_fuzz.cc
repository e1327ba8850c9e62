// Fuzz target: any bytes as a dump file of volmek-imp. Every table and row it reads either
// gives an insert statement or a clean refusal, and every row written back with the dump's
// escapes reads as the same row.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "tools/companion.h"
#include "tools/dump_file.h"

namespace {

void ReadDump(const std::string& path) {
  using namespace volmek::tools;
  volmek::Result<DumpReader> reader = DumpReader::Open(path);
  if (!reader) return;
  DumpTable table;
  while (true) {
    volmek::Result<bool> more = reader->NextTable(table);
    if (!more || !*more) return;
    DumpRow row;
    while (true) {
      volmek::Result<bool> read = reader->NextRow(row);
      if (!read) return;
      if (!*read) break;
      if (row.size() != table.columns.size()) __builtin_trap();
      (void)InsertStatement(table, row);
      std::string line = "R";
      for (const auto& value : row) {
        line.push_back('\t');
        AppendDumpValue(value, line);
      }
      volmek::Result<DumpRow> again = ParseDumpRow(line, row.size());
      if (!again || *again != row) __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/volmek-dump-fuzz-" + std::to_string(getpid()) + ".dmp";
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ReadDump(path);
  unlink(path.c_str());
  return 0;
}
