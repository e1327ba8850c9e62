#include "testing/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace volmek::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/volmek-test-XXXXXX";
  std::vector<char> buffer(templ.begin(), templ.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Make read-only directories left by a test removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }
void TempDir::Write(const std::string& name, const std::string& contents) const {
  WriteFile(File(name), contents);
}
std::string TempDir::Read(const std::string& name) const { return ReadFile(File(name)); }
bool TempDir::Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

std::string BuiltBinary(const std::string& name) {
  return std::string(VOLMEK_BINARY_DIR) + "/" + name;
}
std::string SourcePath(const std::string& relative) {
  return std::string(VOLMEK_SOURCE_DIR) + "/" + relative;
}

namespace {

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

}  // namespace

ProgramResult Run(const ProgramRun& run) {
  std::string program =
      run.program.find('/') == std::string::npos ? BuiltBinary(run.program) : run.program;
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
    throw std::runtime_error("pipe failed");

  std::vector<std::string> env_strings;
  for (const auto& [name, value] : run.env) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : env_strings) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // VOLMEK_TEST_WRAPPER (e.g. "valgrind --error-exitcode=99 -q") runs every program under a
  // checker; `make memcheck` sets it.
  std::vector<std::string> arg_strings;
  if (const char* wrapper = std::getenv("VOLMEK_TEST_WRAPPER");
      wrapper != nullptr && *wrapper != '\0') {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) arg_strings.push_back(word);
  }
  bool wrapped = !arg_strings.empty();
  arg_strings.push_back(program);
  arg_strings.insert(arg_strings.end(), run.args.begin(), run.args.end());
  std::string exec_path = wrapped ? arg_strings[0] : program;
  std::vector<char*> argv;
  for (auto& arg : arg_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
      close(fd);
    if (!run.stdout_path.empty()) {
      int out_fd = open(run.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out_fd < 0 || dup2(out_fd, 1) < 0) _exit(126);
      close(out_fd);
    }
    if (run.file_size_limit >= 0) {
      rlimit limit{static_cast<rlim_t>(run.file_size_limit),
                   static_cast<rlim_t>(run.file_size_limit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (!run.cwd.empty() && chdir(run.cwd.c_str()) != 0) _exit(126);
    if (wrapped) {
      // The wrapper is looked up on the parent's PATH.
      execvpe(exec_path.c_str(), argv.data(), envp.data());
    } else {
      execve(exec_path.c_str(), argv.data(), envp.data());
    }
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);

  ProgramResult result;
  std::size_t written = 0;
  int in_fd = in_pipe[1];
  if (run.close_stdin || run.stdin_text.empty()) {
    close(in_fd);
    in_fd = -1;
  } else {
    SetNonBlocking(in_fd);
  }
  SetNonBlocking(out_pipe[0]);
  SetNonBlocking(err_pipe[0]);
  bool out_open = true, err_open = true;
  char buffer[65536];
  while (out_open || err_open) {
    std::vector<pollfd> fds;
    if (out_open) fds.push_back({out_pipe[0], POLLIN, 0});
    if (err_open) fds.push_back({err_pipe[0], POLLIN, 0});
    if (in_fd >= 0) fds.push_back({in_fd, POLLOUT, 0});
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    for (const pollfd& p : fds) {
      if (p.revents == 0) continue;
      if (p.fd == in_fd) {
        ssize_t n = write(in_fd, run.stdin_text.data() + written, run.stdin_text.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 && errno != EAGAIN) written = run.stdin_text.size();
        if (written >= run.stdin_text.size()) {
          close(in_fd);
          in_fd = -1;
        }
        continue;
      }
      ssize_t n = read(p.fd, buffer, sizeof buffer);
      if (n > 0) {
        (p.fd == out_pipe[0] ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        (p.fd == out_pipe[0] ? out_open : err_open) = false;
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

bool OracleBackendRun() {
  const char* backend = std::getenv("VOLMEK_E2E_BACKEND");
  return backend != nullptr && std::string(backend) == "oci";
}

std::map<std::string, std::string> EmbeddedEnv(const std::string& db_path) {
  std::map<std::string, std::string> env{
      {"NOMBREBD", "DEMO"}, {"PASSWD", "demo"}, {"TNS", "file:" + db_path}};
  if (const char* path = std::getenv("PATH")) env["PATH"] = path;
  if (OracleBackendRun()) {
    env["TNS"] = "//localhost/volmek?file=" + db_path;
    env["LD_LIBRARY_PATH"] = BuiltBinary("oci-double");
    // Oracle's exp and imp, as the backend looks for them in PATH: the companions, which go
    // through the Oracle backend too when the connect string is Oracle's.
    env["PATH"] = BuiltBinary("oci-utilities") + ":" + env["PATH"];
  }
  return env;
}

std::string CreationWarning(const std::string& db_path) {
  return OracleBackendRun() ? "" : "Warning. Base de datos " + db_path + " creada.\n";
}

ProgramResult Volmek(const TempDir& dir, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& extra,
                     const std::string& stdin_text) {
  ProgramRun run;
  run.program = "volmek";
  run.args = args;
  run.env = EmbeddedEnv(dir.File("test.db"));
  for (const auto& [name, value] : extra) run.env[name] = value;
  run.stdin_text = stdin_text;
  run.close_stdin = stdin_text.empty();
  run.cwd = dir.path();
  return Run(run);
}

}  // namespace volmek::testing
