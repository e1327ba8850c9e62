// Finding and loading the Oracle client library (libclntsh.so) at run time.
//
// Nothing of Oracle is linked into volmek: the first logon that needs the client opens it with
// dlopen and takes every entry point of OciApi with dlsym. The places tried, in this order:
//   1. VOLMEK_OCI_LIB_DIR: a directory holding libclntsh.so, or the library file itself;
//   2. the directory of the running executable (/proc/self/exe);
//   3. "libclntsh.so" through the system's search (LD_LIBRARY_PATH, the ldconfig cache, the
//      system directories), then the versioned names libclntsh.so.23.1, .21.1 and .19.1;
//   4. $ORACLE_HOME/lib/libclntsh.so.
// The first library that opens is the one used: it must export every function of OciApi and
// report a release of 19 or later through OCIClientVersion. A library that is found but fails
// (a missing dependency such as libaio.so.1, a missing function, a release too old) ends the
// search with that failure, since a later candidate would hide the real cause from the user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "db/oci/oci_api.h"

namespace volmek::db::oci {

// The oldest client release the backend accepts.
inline constexpr int kMinimumClientRelease = 19;

// The environment variable naming the client's directory (or file).
inline constexpr std::string_view kLibraryDirVariable = "VOLMEK_OCI_LIB_DIR";

// Where the search looks, from the process's environment (empty strings for unset values).
struct SearchPlaces {
  std::string override_path;  // VOLMEK_OCI_LIB_DIR
  std::string executable_dir;
  std::string oracle_home;  // ORACLE_HOME
};

// The places of this process.
SearchPlaces CurrentSearchPlaces();

// The candidates dlopen is given, in order (see above).
std::vector<std::string> Candidates(const SearchPlaces& places);

// A loaded client: the filled function table and what was loaded. The library stays loaded
// until the process ends (the Oracle client starts threads and registers exit handlers of its
// own, which unloading it would leave dangling), so this owns no handle to close.
struct ClientLibrary {
  OciApi api;
  std::string path;  // the candidate that was opened
  int major = 0;
  int minor = 0;
};

// Opens the first candidate that loads. Fails (kUnsupported) with one Spanish line, without
// a line end, that says what was tried, what failed (dlerror's text) and how to install the
// client.
Result<ClientLibrary> LoadClientLibrary(const SearchPlaces& places);

}  // namespace volmek::db::oci
