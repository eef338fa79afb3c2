// Process entry: the command line, install and uninstall, the previous-instance test.
#pragma once
#include <string>

namespace varnel {

struct ProcessEnvironment {
  std::string executable;    // absolute path of this program
  std::string programDir;    // VARNEL_HOME or the executable's directory
  std::string unitDir;       // VARNEL_UNIT_DIR or /etc/systemd/system
  std::string eventLogCopy;  // VARNEL_EVENTLOG_FILE
};

ProcessEnvironment EnvironmentFromProcess(const char* argv0);

// Handles the whole argument string; returns the process exit code.
int Form_Load(const std::string& args, const ProcessEnvironment& env);

}  // namespace varnel
