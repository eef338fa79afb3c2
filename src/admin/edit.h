// add, set and delete: one checked change of the configuration in one transaction.
#pragma once
#include "admin/command.h"

namespace varnel::admin {

int RunAdd(const Args& args);
int RunSet(const Args& args);
int RunDelete(const Args& args);

}  // namespace varnel::admin
