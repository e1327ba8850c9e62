#include "maint/export_import.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "datafiles/table_name.h"

extern char** environ;

namespace volmek::maint {

namespace {

bool IsEmbedded(const Environment& env) {
  std::string tns = env.Get("TNS");
  return tns.empty() || tns.starts_with("file:");
}

// The parameter file: created readable and writable by its owner only, removed on destruction.
class ParameterFile {
 public:
  static Result<ParameterFile> Create() {
    const char* base = std::getenv("TMPDIR");
    std::string templ =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/volmek-par-XXXXXX";
    std::vector<char> path(templ.begin(), templ.end());
    path.push_back('\0');
    int fd = mkstemp(path.data());  // mode 0600
    if (fd < 0) return Err(Status::IoError(std::strerror(errno)));
    return ParameterFile(path.data(), fd);
  }
  ParameterFile(ParameterFile&& other) noexcept
      : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {
    other.path_.clear();
  }
  ParameterFile& operator=(ParameterFile&&) = delete;
  ~ParameterFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }

  // Writes `text` and closes the file.
  Status WriteAndClose(std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t written = write(fd_, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return Status::IoError(std::strerror(errno));
      done += static_cast<std::size_t>(written);
    }
    int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) return Status::IoError(std::strerror(errno));
    return Status::Ok();
  }

  const std::string& path() const { return path_; }

 private:
  ParameterFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
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
  if (!IsEmbedded(env)) return std::string(UtilityName(utility));
  std::string companion = utility == Utility::kExport ? "volmek-exp" : "volmek-imp";
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    std::filesystem::path beside = self.parent_path() / companion;
    if (std::filesystem::exists(beside, error)) return beside.string();
  }
  return companion;
}

Status RunUtility(db::RunContext& ctx, Utility utility, std::string_view name) {
  // The name becomes the utility's parameters (tables=, file=, log=), which the utility reads
  // again as text: blanks, quotes or separators in it would change what they say.
  VOLMEK_RETURN_IF_ERROR(datafiles::CheckTableName(name));
  std::string program = UtilityProgram(utility, ctx.env);
  auto cannot_run = [&](std::string_view why) {
    return Status::IoError(fmt::format("Imposible ejecutar {} ({}).\n", program, why));
  };
  Result<ParameterFile> parfile = ParameterFile::Create();
  if (!parfile.has_value()) return cannot_run(parfile.error().message());
  UtilityCommand command = BuildUtilityCommand(utility, ctx.env, name, parfile->path(), program);
  Status written = parfile->WriteAndClose(fmt::format("userid={}\n", command.userid));
  if (!written.ok()) return cannot_run(written.message());

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
