#include "transports/exec_prog.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>

#include "platform/event_loop.h"
#include "service/errors.h"
#include "transports/alarm_text.h"

extern char** environ;

namespace varnel {
namespace {

// The spawn attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    posix_spawnattr_init(&attr_);
    posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

ChildProcess Spawn(const std::string& path, const std::string& file,
                   const std::vector<std::string>& args, const std::string& dir) {
  SpawnSetup s;
  // Its own process group, so that stopping it also stops what it started; a clean signal
  // state whatever the service has blocked or ignored.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGCHLD})
    sigaddset(&defaults, sig);
  posix_spawnattr_setflags(&s.attr_,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&s.attr_, 0);
  posix_spawnattr_setsigmask(&s.attr_, &none);
  posix_spawnattr_setsigdefault(&s.attr_, &defaults);
  // Hidden: no terminal in, out or err.
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&s.actions_, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                     0);
  posix_spawn_file_actions_addchdir_np(&s.actions_, dir.c_str());

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(file.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  ChildProcess child;
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), &s.actions_, &s.attr_, argv.data(), environ) == 0)
    child.pid = pid;
  return child;
}

bool Ended(ChildProcess& p) {
  if (p.pid <= 0 || p.reaped) return true;
  int status = 0;
  pid_t r = ::waitpid(p.pid, &status, WNOHANG);
  if (r == p.pid || (r < 0 && errno == ECHILD)) {
    p.reaped = true;
    p.status = status;
  }
  return p.reaped;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string> SplitParameters(std::string_view parameters) {
  std::vector<std::string> args;
  std::string current;
  bool quoted = false, have = false;
  for (char c : parameters) {
    if (c == '"') {
      quoted = !quoted;
      have = true;
    } else if (c == '\0' || (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n'))) {
      if (c == '\0' && quoted) continue;
      if (have) args.push_back(std::move(current));
      current.clear();
      have = false;
    } else {
      current += c;
      have = true;
    }
  }
  if (have) args.push_back(std::move(current));
  return args;
}

bool KillProcess(Varnel& ctx, ChildProcess& process) {
  if (process.pid <= 0 || Ended(process)) return false;
  if (::kill(-process.pid, SIGTERM) != 0 && ::kill(process.pid, SIGTERM) != 0) return false;
  for (int i = 0; i < 20 && !Ended(process); ++i) Delay(ctx.io, 100);
  if (!process.reaped) {
    if (::kill(-process.pid, SIGKILL) != 0) ::kill(process.pid, SIGKILL);
    int status = 0;
    ::waitpid(process.pid, &status, 0);
    process.reaped = true;
    process.status = status;
  }
  return true;
}

bool RunExecProg(Varnel& ctx, const std::string& program, const std::string& parameters) {
  bool started = false;
  Guarded(ctx, "RunExecProg", [&] {
    const std::string text = ReplaceAll(program, "\\", "/");
    const std::size_t slash = text.rfind('/');
    const std::string file = slash == std::string::npos ? text : text.substr(slash + 1);
    const std::string dir =
        slash == std::string::npos ? ctx.Path("ExecProg/") : text.substr(0, slash + 1);
    const std::string path = dir + file;
    const std::string where = " (Module: RunExecProg: " + program + " " + parameters + ")";

    if (file.empty() || !IsFile(path)) {
      ReportErrorText(ctx, "[0] (Module: RunExecProg: " + program + " could not be found)",
                      "Error running " + program);
      return;
    }
    // The working directory changes before the program is loaded, so its path is absolute.
    ChildProcess child =
        Spawn(std::filesystem::absolute(path).string(), file, SplitParameters(parameters), dir);
    started = child.pid > 0;

    int count = 0;
    if (started) {
      for (;;) {
        Delay(ctx.io, 1000);
        if (++count > kExecProgChecks || Ended(child)) break;
      }
      if (count <= kExecProgChecks) return;
    } else {
      ReportErrorText(ctx, "[0]" + where, "Error running " + program);
      Delay(ctx.io, 100);
    }

    // 258: the program was still running at the last check.
    const std::string n = started ? "[258] " : "[0] ";
    if (KillProcess(ctx, child))
      ReportErrorText(ctx, n + program + " killed." + where, program + " killed.");
    else
      ReportErrorText(ctx, n + "Error when trying to kill " + program + "." + where,
                      "Error when trying to kill " + program + ".");
  });
  return started;
}

}  // namespace varnel
