// volmek-exp: exports tables of the embedded database to a dump file (tools/companion.h).
#include <iostream>
#include <string>
#include <vector>

#include "base/process_setup.h"
#include "tools/companion.h"

int main(int argc, char** argv) {
  volmek::PrepareProcess();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (auto answer = volmek::tools::OptionAnswer(args, "volmek-exp", volmek::tools::kExportHelp)) {
    std::cout << *answer;
    return 0;
  }
  auto parsed = volmek::tools::ParseToolArgs(args, volmek::tools::kExportKeywords);
  if (!parsed.has_value()) {
    std::cout << parsed.error().message() << "\n";
    return 1;
  }
  volmek::Status status = volmek::tools::Export(*parsed, std::cout);
  if (!status.ok()) std::cout << status.message();
  std::cout.flush();
  // A report that could not be written (a full disk, /dev/full) fails the run too.
  return status.ok() && std::cout.good() ? 0 : 1;
}
