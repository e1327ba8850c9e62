// What every volmek program does to its process before it starts work.
#pragma once

namespace volmek {

// A file grown past the size limit (ulimit -f) must be a write that fails with EFBIG, which
// every writer reports by name; the default SIGXFSZ would end the run without a word and leave
// its temporary files behind. Also unties the C++ streams from C stdio, which no program uses,
// so that large outputs are buffered.
void PrepareProcess();

}  // namespace volmek
