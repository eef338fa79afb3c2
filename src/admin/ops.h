// The operations commands of varnel-admin: each takes the arguments after its name and
// returns the exit status (0 done, 1 failed, 2 bad input, 3 the service does not answer).
#pragma once
#include <span>
#include <string>

namespace varnel::admin {

// status DIR: the running service's state, from its own agent.
int RunStatus(std::span<const std::string> args);
// send DIR RECEIVER [TEXT]: a test message through the running service.
int RunSend(std::span<const std::string> args);
// log DIR events|alarms|acks [--since TIME] [--follow] [--json]
int RunLog(std::span<const std::string> args);
// explain DIR (--event INDEX | NODE PRIORITY MESSAGE): the filter's verdict per group.
int RunExplain(std::span<const std::string> args);

}  // namespace varnel::admin
