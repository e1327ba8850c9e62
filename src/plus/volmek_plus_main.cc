// volmek-plus: runs a catalogue-style script against the database volmek is configured for.
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/environment.h"
#include "base/process_setup.h"
#include "plus/plus_program.h"

int main(int argc, char** argv) {
  volmek::PrepareProcess();
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    int status = volmek::plus::RunProgram(args, volmek::Environment::FromProcess(), std::cout);
    std::cout.flush();
    // Output that could not be written (a full disk, /dev/full) fails the run.
    return std::cout.good() ? status : volmek::plus::kExitFailure;
  } catch (const std::bad_alloc&) {
    std::cout << "Memoria insuficiente para continuar.\n";
    std::cout.flush();
    return volmek::plus::kExitFailure;
  }
}
