// varnel: the alarm notification service. With no argument it runs in the foreground.
#include <string>

#include "host/command_line.h"

int main(int argc, char** argv) {
  std::string args;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) args += ' ';
    args += argv[i];
  }
  return varnel::Form_Load(args, varnel::EnvironmentFromProcess(argv[0]));
}
