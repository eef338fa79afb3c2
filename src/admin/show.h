// show: the rows of one table as aligned text or JSON.
#pragma once
#include "admin/command.h"

namespace varnel::admin {

int RunShow(const Args& args);

}  // namespace varnel::admin
