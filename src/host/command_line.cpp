#include "host/command_line.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>

#include "host/service_host.h"
#include "platform/database.h"
#include "platform/files.h"
#include "service/errors.h"

namespace varnel {
namespace {

constexpr const char* kUnitName = "varnel.service";

// Message boxes of the installation: information on stdout (exit 0), critical on stderr (exit 1).
int Inform(const std::string& text) {
  std::cout << text << std::endl;
  return 0;
}

int Critical(const std::string& text) {
  std::cerr << text << std::endl;
  return 1;
}

const char* const kDataAccessMessage =
    "Error when accessing the Database.\n"
    "\n"
    "The Microsoft Data Access Components (MDAC) 2.5 or greater must be\n"
    "installed on the computer. The MDAC 2.5 could be found on:\n"
    "the SQLite 3 library of the operating system (Debian package libsqlite3-0)\n"
    "or on the Varnel CD-ROM in the MDAC directory.";

bool SystemdRunning() { return FileExists("/run/systemd/system"); }

void RunSystemctl(const std::string& args) {
  std::string cmd = "systemctl " + args + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0)
    throw VarnelError(err::kPathFileAccess, "systemctl " + args + " failed");
}

void InstallService(const ProcessEnvironment& env) {
  std::string path = env.unitDir + "/" + kUnitName;
  std::ofstream out(path, std::ios::trunc);
  if (!out) throw FileError(errno, path);
  out << "[Unit]\n"
         "Description=Varnel alarm notification server\n"
         "After=network-online.target\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
      << "ExecStart=" << env.executable << "\n"
      << "Environment=VARNEL_HOME=" << env.programDir << "\n"
      << "WorkingDirectory=" << env.programDir << "\n"
      << "Restart=on-failure\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
  out.close();
  if (!out) throw FileError(errno, path);
  if (SystemdRunning()) {
    RunSystemctl("daemon-reload");
    RunSystemctl(std::string("enable ") + kUnitName);
  }
}

void UninstallService(const ProcessEnvironment& env) {
  if (SystemdRunning()) RunSystemctl(std::string("disable ") + kUnitName);
  std::string path = env.unitDir + "/" + kUnitName;
  if (!FileExists(path)) throw VarnelError(err::kFileNotFound, "File not found: " + path);
  DeleteFile(path);
  if (SystemdRunning()) RunSystemctl("daemon-reload");
}

// Holds an exclusive lock on ProgramDir/Varnel.lock for the life of the process.
enum class Instance { First, AlreadyRunning, NoLock };
Instance LockInstance(const std::string& programDir) {
  std::string path = programDir + "/Varnel.lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Instance::NoLock;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return Instance::AlreadyRunning;
  }
  return Instance::First;  // the descriptor stays open until the process ends
}

// Runs one step of an install or uninstall; a failure is reported under Form_Load and
// answered with the critical message, whose exit code is returned.
template <class Step>
std::optional<int> FailsWith(Varnel& ctx, const char* message, Step step) {
  try {
    step();
    return std::nullopt;
  } catch (const std::exception& e) {
    ReportError(ctx, "Form_Load", ErrorNumberOf(e), e.what());
    return Critical(message);
  }
}

int Install(const std::string& args, const ProcessEnvironment& env, Varnel& ctx) {
  if (!FileExists(ctx.DatabasePath())) return Critical("Varnel.mdb does not exits.");
  auto readable = [&] {
    Database db(ctx.DatabasePath());
    db.Open("Settings_General");
  };
  if (auto failed = FailsWith(ctx, kDataAccessMessage, readable)) return *failed;
  auto install = [&] { InstallService(env); };
  if (auto failed = FailsWith(ctx, "The Varnel Service failed to install.", install))
    return *failed;
  Notice(ctx, evt::kInformation, "The service was installed.");
  if (args == "-install_noMsg") return 0;
  return Inform("Varnel Service installed successfully.");
}

int Uninstall(const ProcessEnvironment& env, Varnel& ctx) {
  auto uninstall = [&] { UninstallService(env); };
  if (auto failed = FailsWith(ctx, "The Varnel Service failed to uninstall.", uninstall))
    return *failed;
  Notice(ctx, evt::kInformation, "The service was uninstalled.");
  return Inform("Varnel Service uninstalled successfully.");
}

}  // namespace

ProcessEnvironment EnvironmentFromProcess(const char* argv0) {
  ProcessEnvironment env;
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  env.executable = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : argv0;
  const char* home = std::getenv("VARNEL_HOME");
  if (home && *home) {
    char real[PATH_MAX];
    env.programDir = ::realpath(home, real) ? real : home;
  } else {
    env.programDir = env.executable.substr(0, env.executable.find_last_of('/'));
  }
  const char* unit = std::getenv("VARNEL_UNIT_DIR");
  env.unitDir = unit && *unit ? unit : "/etc/systemd/system";
  const char* copy = std::getenv("VARNEL_EVENTLOG_FILE");
  env.eventLogCopy = copy ? copy : "";
  return env;
}

int Form_Load(const std::string& args, const ProcessEnvironment& env) {
  switch (LockInstance(env.programDir)) {
    case Instance::AlreadyRunning: return Inform("The Varnel Service is already running.");
    case Instance::NoLock:
      return Critical("Cannot use the program directory " + env.programDir +
                      " (set VARNEL_HOME to an existing directory).");
    case Instance::First: break;
  }
  asio::io_context io;
  SystemClock clock;
  SystemEventLog eventLog(clock, env.eventLogCopy);
  Varnel ctx(io, clock, eventLog, env.programDir);
  if (args.rfind("-install", 0) == 0) return Install(args, env, ctx);
  if (args == "-uninstall") return Uninstall(env, ctx);
  if (!args.empty()) return Inform("Invalid command option.");
  ServiceHost host(ctx, TickLengthFromEnvironment());
  host.Run();
  return 0;
}

}  // namespace varnel
