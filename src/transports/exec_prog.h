// External programs: started without a shell, watched for a bounded time, stopped when they
// do not end.
#pragma once
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "service/varnel.h"

namespace varnel {

// A program started by RunExecProg; pid 0 when none was started.
struct ChildProcess {
  pid_t pid = 0;
  bool reaped = false;  // its end has been collected
  int status = 0;       // wait status once reaped
};

// Seconds a program gets: ten one-second checks, given up after the eleventh second.
constexpr int kExecProgChecks = 10;

// Splits a parameter text into arguments: blanks, tabs and line breaks separate them,
// double quotes group (and are removed). NUL characters count as blanks.
std::vector<std::string> SplitParameters(std::string_view parameters);

// Starts program (a file name in "ExecProg/", or a path; "\" is read as "/") with parameters
// as its arguments, its directory as working directory and no terminal. Waits up to eleven
// seconds in one-second checks and stops it after that. True when it was started, also
// when it had to be stopped. Failures are reported through the error convention.
bool RunExecProg(Varnel& ctx, const std::string& program, const std::string& parameters);

// Stops a running program (and its process group): SIGTERM, then SIGKILL after two seconds.
// False when there is no process or it has already ended.
bool KillProcess(Varnel& ctx, ChildProcess& process);

}  // namespace varnel
