// reload: asks the running service, through its own SNMP agent, to read its configuration
// again.
#pragma once
#include "admin/command.h"

namespace varnel::admin {

int RunReload(const Args& args);

}  // namespace varnel::admin
