#include "base/process_setup.h"

#include <csignal>
#include <iostream>

namespace volmek {

void PrepareProcess() {
  std::ios::sync_with_stdio(false);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace volmek
