#include "maint/export_import.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "datafiles/table_name.h"
#include "db/utility_program.h"

extern char** environ;

namespace volmek::maint {

namespace {

// The parameter file: an anonymous file in memory (memfd), never on disk, readable by its
// owner only. The utility reads it through /proc/self/fd/N, which it inherits; it is gone with
// the last descriptor, so no way the run ends (Ctrl-C, SIGTERM, SIGHUP, a crash) leaves it
// behind.
class ParameterFile {
 public:
  static Result<ParameterFile> Create(std::string_view text) {
    // Without close-on-exec: the utility inherits it.
    int fd = memfd_create("volmek-par", 0);
    if (fd < 0) return Err(Status::IoError(std::strerror(errno)));
    ParameterFile file(fd);
    if (fchmod(fd, S_IRUSR | S_IWUSR) != 0) return Err(Status::IoError(std::strerror(errno)));
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t written = write(fd, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return Err(Status::IoError(std::strerror(errno)));
      done += static_cast<std::size_t>(written);
    }
    return file;
  }
  ParameterFile(ParameterFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ParameterFile& operator=(ParameterFile&&) = delete;
  ~ParameterFile() {
    if (fd_ >= 0) close(fd_);
  }

  // The path the utility opens: its own inherited descriptor.
  std::string path() const { return fmt::format("/proc/self/fd/{}", fd_); }

 private:
  explicit ParameterFile(int fd) : fd_(fd) {}
  int fd_;
};

// A pipe end that closes itself.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  void Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string_view UtilityName(Utility utility) {
  return utility == Utility::kExport ? "exp" : "imp";
}

}  // namespace

UtilityCommand BuildUtilityCommand(Utility utility, const Environment& env, std::string_view name,
                                   std::string_view parfile, std::string program) {
  std::string user = env.Get("NOMBREBD");
  std::string tns = env.Get("TNS");
  UtilityCommand command;
  command.program = std::move(program);
  command.userid = fmt::format("{}/{}@{}", user, env.Get("PASSWD"), tns);
  command.args.push_back(fmt::format("parfile={}", parfile));
  std::string masked = fmt::format("userid={}/***@{}", user, tns);
  if (utility == Utility::kExport) {
    command.args.push_back(fmt::format("file={}.dmp", name));
    command.args.push_back("full=yes");
    command.args.push_back(fmt::format("log={}.log", name));
  } else {
    command.args.push_back(fmt::format("tables={}", name));
    command.args.push_back(fmt::format("file={}.dmp", name));
    command.args.push_back(fmt::format("log={}.log", name));
  }
  command.shown = fmt::format("{} {}", UtilityName(utility), masked);
  for (std::size_t idx = 1; idx < command.args.size(); ++idx) {
    command.shown += " " + command.args[idx];
  }
  return command;
}

std::string UtilityProgram(Utility utility, const Environment& env) {
  return db::UtilityProgram(
      utility == Utility::kExport ? db::Utility::kExport : db::Utility::kImport, env.Get("TNS"),
      env.Get("PATH"), env.Get("ORACLE_HOME"));
}

Status RunUtility(db::RunContext& ctx, Utility utility, std::string_view name) {
  // The name becomes the utility's parameters (tables=, file=, log=), which the utility reads
  // again as text: blanks, quotes or separators in it would change what they say.
  VOLMEK_RETURN_IF_ERROR(datafiles::CheckTableName(name));
  std::string program = UtilityProgram(utility, ctx.env);
  auto cannot_run = [&](std::string_view why) {
    return Status::IoError(fmt::format("Imposible ejecutar {} ({}).\n", program, why));
  };
  // The path is known only once the file exists, and the file's text only from the command:
  // build the command, write the file, then put its path in.
  UtilityCommand command = BuildUtilityCommand(utility, ctx.env, name, "", program);
  Result<ParameterFile> parfile = ParameterFile::Create(fmt::format("userid={}\n", command.userid));
  if (!parfile.has_value()) return cannot_run(parfile.error().message());
  command.args[0] = fmt::format("parfile={}", parfile->path());

  ctx.out << fmt::format("Ejecuta: {}\n", command.shown);
  ctx.out.flush();

  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return cannot_run(std::strerror(errno));
  Fd read_end(pipe_fds[0]);
  Fd write_end(pipe_fds[1]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, write_end.get(), STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, read_end.get());
  posix_spawn_file_actions_addclose(&actions, write_end.get());

  std::vector<char*> argv;
  argv.push_back(command.program.data());
  for (std::string& arg : command.args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int spawned =
      posix_spawnp(&pid, command.program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  write_end.Reset();
  if (spawned != 0) return cannot_run(std::strerror(spawned));

  char buffer[4096];
  while (true) {
    ssize_t got = read(read_end.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    ctx.out.write(buffer, got);
  }
  int wait_status = 0;
  while (waitpid(pid, &wait_status, 0) < 0) {
    if (errno != EINTR) return cannot_run(std::strerror(errno));
  }
  if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) return Status::Ok();
  if (WIFSIGNALED(wait_status)) {
    return Status::Database(fmt::format("Error en {}: termino con la senal {}.\n",
                                        UtilityName(utility), WTERMSIG(wait_status)));
  }
  return Status::Database(fmt::format("Error en {}: termino con estado {}.\n", UtilityName(utility),
                                      WEXITSTATUS(wait_status)));
}

}  // namespace volmek::maint
