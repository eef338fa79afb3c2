// The operations commands of varnel-admin: each takes the arguments after its name and
// returns the exit status (0 done, 1 failed, 2 bad input, 3 the service does not answer).
#pragma once
#include "admin/command.h"

namespace varnel::admin {

// status DIR: the running service's state, from its own agent.
int RunStatus(const Args& args);
// send DIR RECEIVER [TEXT]: a test message through the running service.
int RunSend(const Args& args);
// log DIR events|alarms|acks [--since TIME] [--follow] [--json]
int RunLog(const Args& args);
// explain DIR (--event INDEX | NODE PRIORITY MESSAGE): the filter's verdict per group.
int RunExplain(const Args& args);

}  // namespace varnel::admin
