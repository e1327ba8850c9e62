// volmek: the program. It builds the run context from the process and hands over to the
// dispatcher.
#include <unistd.h>

#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/dispatcher.h"
#include "base/environment.h"
#include "base/process_setup.h"
#include "db/run_context.h"

int main(int argc, char** argv) {
  volmek::PrepareProcess();
  try {
    // The progress line of long work goes to standard error, and only when it is a terminal.
    std::ostream* terminal = isatty(STDERR_FILENO) == 1 ? &std::cerr : nullptr;
    volmek::db::RunContext ctx(volmek::Environment::FromProcess(), std::cout, std::cin, terminal);
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = volmek::app::Dispatch(ctx, args);
    std::cout.flush();
    // Output that could not be written (a full disk, /dev/full) fails the run.
    return std::cout.good() ? status : volmek::app::kExitFailure;
  } catch (const std::bad_alloc&) {
    std::cout << "Memoria insuficiente para continuar.\n";
    std::cout.flush();
    return volmek::app::kExitFailure;
  }
}
