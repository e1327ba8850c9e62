// Test helpers shared by every test binary: temporary directories and running the built
// programs with a chosen environment, standard input and working directory.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace volmek::testing {

// A fresh directory under $TMPDIR (or /tmp), removed with its contents when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;
  void Write(const std::string& name, const std::string& contents) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

struct ProgramResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status; 128 + signal number when killed by a signal
};

struct ProgramRun {
  std::string program;                     // a path, or a name of a built binary ("volmek")
  std::vector<std::string> args;           // arguments after the program name
  std::map<std::string, std::string> env;  // the whole environment of the child
  std::string stdin_text;                  // fed to standard input, which is then closed
  bool close_stdin = false;                // standard input at its end from the start
  std::string cwd;                         // working directory; empty: the current one
  long long file_size_limit = -1;          // RLIMIT_FSIZE in bytes (ulimit -f); -1: none
  std::string stdout_path;                 // standard output to this file (/dev/full); empty: out
};

// Runs the program to its end and captures what it printed.
ProgramResult Run(const ProgramRun& run);

// The path of a binary built by this build tree ("volmek", "volmek-plus", ...).
std::string BuiltBinary(const std::string& name);

// The source tree's path of a file shipped with the repository ("tests/data/x.cpy").
std::string SourcePath(const std::string& relative);

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

// True in the end-to-end run through the Oracle backend: VOLMEK_E2E_BACKEND=oci in the test's
// environment. That run reaches the same database file through the client-library double
// (build/oci-double/libclntsh.so) instead of opening it directly.
bool OracleBackendRun();

// A typical environment for running volmek on the embedded database `db_path`:
// NOMBREBD=DEMO, PASSWD=demo, TNS=file:<db_path>, PATH from the test's own environment. In the
// Oracle backend run TNS is //localhost/volmek?file=<db_path> and LD_LIBRARY_PATH names the
// double's directory, so that the same file is reached through the Oracle client backend.
std::map<std::string, std::string> EmbeddedEnv(const std::string& db_path);

// What the first logon on the database file `db_path` prints: the embedded engine's warning
// "Warning. Base de datos <db_path> creada.\n"; nothing in the Oracle backend run, where the
// file is created behind the client library, as a server's database is.
std::string CreationWarning(const std::string& db_path);

// Runs `volmek` with `args` in `dir` using EmbeddedEnv(dir/test.db) plus `extra` variables.
ProgramResult Volmek(const TempDir& dir, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& extra = {},
                     const std::string& stdin_text = "");

}  // namespace volmek::testing
