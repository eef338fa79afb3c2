// check: the whole configuration of a program directory checked as the service reads it.
#pragma once
#include <string>
#include <vector>

#include "admin/command.h"

namespace varnel::admin {

// One finding: where ("Table row 2 Column", "Table", "directory Debug") and what is wrong.
struct Finding {
  std::string where;
  std::string text;
};

// Every finding for the program directory dir, in a stable order.
std::vector<Finding> CheckProgramDir(const std::string& dir);

int RunCheck(const Args& args);

}  // namespace varnel::admin
