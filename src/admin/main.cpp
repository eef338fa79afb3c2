// varnel-admin: maintenance commands for a Varnel program directory.
#include <iostream>
#include <string>
#include <vector>

#include "admin/init.h"
#include "admin/ops.h"

namespace {
int Usage() {
  std::cerr << "usage: varnel-admin init DIR [--demo]\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "status") return varnel::admin::RunStatus(args);
    if (command == "send") return varnel::admin::RunSend(args);
    if (command == "log") return varnel::admin::RunLog(args);
    if (command == "explain") return varnel::admin::RunExplain(args);
  }
  if (argc < 3 || std::string(argv[1]) != "init") return Usage();
  bool demo = false;
  if (argc == 4) {
    if (std::string(argv[3]) != "--demo") return Usage();
    demo = true;
  } else if (argc > 4) {
    return Usage();
  }
  try {
    varnel::InitProgramDir(argv[2], demo);
  } catch (const std::exception& e) {
    std::cerr << "varnel-admin: " << e.what() << "\n";
    return 1;
  }
  std::cout << "Created " << argv[2] << "/Varnel.mdb" << (demo ? " (demo setup)" : "") << "\n";
  return 0;
}
