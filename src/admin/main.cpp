// varnel-admin: the operator's tool for a Varnel program directory. Each command lives in its
// own file; this table names it, says what it does and how it is called.
#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "admin/check.h"
#include "admin/command.h"
#include "admin/edit.h"
#include "admin/init.h"
#include "admin/ops.h"
#include "admin/reload.h"
#include "admin/show.h"

namespace {

using varnel::admin::Args;

int RunInit(const Args& args) {
  const varnel::admin::Options o = varnel::admin::ParseOptions(args, {}, {"--demo"});
  if (o.positional.size() != 1)
    throw varnel::admin::BadInput("init takes DIR and optionally --demo");
  const bool demo = o.Has("--demo");
  const std::string& dir = o.positional[0];
  varnel::InitProgramDir(dir, demo);
  std::cout << "Created " << dir << "/Varnel.mdb" << (demo ? " (demo setup)" : "") << "\n";
  return varnel::admin::kExitOk;
}

struct Command {
  std::string_view name;
  std::string_view usage;
  std::string_view summary;
  std::string_view details;  // options and arguments, shown by COMMAND --help
  int (*run)(const Args& args);
};

// One line per command.
constexpr Command kCommands[] = {
    {"init", "init DIR [--demo]", "create a program directory with a fresh database",
     "  --demo  listeners on loopback and a catch-all support group\n", RunInit},
    {"show", "show DIR TABLE [--json]", "print the rows of a table",
     "  --json  one JSON object per row, numbers as numbers\n", varnel::admin::RunShow},
    {"add", "add DIR TABLE COL=VALUE...", "add a row to a table of many rows",
     "  Columns by name; each value is checked by its column's type and value list.\n"
     "  Columns not given keep their defaults (empty text, 0).\n",
     varnel::admin::RunAdd},
    {"set", "set DIR TABLE [--where COL=VALUE] COL=VALUE...", "change columns of rows",
     "  --where COL=VALUE  change only the rows holding that value (several: all must hold);\n"
     "                     needed for tables of many rows.\n",
     varnel::admin::RunSet},
    {"delete", "delete DIR TABLE --where COL=VALUE", "delete the rows holding a value",
     "  --where COL=VALUE  the rows to delete (several: all must hold)\n",
     varnel::admin::RunDelete},
    {"reload", "reload DIR", "make the running service read its configuration again",
     "  Sends the update request to the service's SNMP agent on loopback with SetComm.\n"
     "  Exit status 3 when the service does not answer.\n",
     varnel::admin::RunReload},
    {"check", "check DIR", "check the whole configuration as the service reads it",
     "  One line per finding: table, row and column, then what is wrong. Finds values outside\n"
     "  their type or value list, patterns that do not compile, groups naming missing\n"
     "  receivers, receivers naming missing operators or mail servers, listeners sharing a\n"
     "  port, hours when a group is on duty with none of its receivers, missing directories.\n"
     "  Exit status 1 when anything is found.\n",
     varnel::admin::RunCheck},
    {"status", "status DIR", "ask the running service how it is",
     "  Running or paused, each listener's state and status text, the error count and last\n"
     "  error (from the service's own agent), the day's event and alarm counts.\n"
     "  Exit status 3 when the service does not answer.\n",
     varnel::admin::RunStatus},
    {"send", "send DIR RECEIVER [TEXT] [--timeout S]", "send a test message to a receiver",
     "  Queues the message in Receiver_Test, asks the service to send it and prints the\n"
     "  status text of its alarm-log row. Exit status 0 only when it was sent.\n",
     varnel::admin::RunSend},
    {"log", "log DIR events|alarms|acks [--since TIME] [--follow] [--json]", "print a log",
     "  --since TIME  only rows from that time on\n"
     "  --follow      keep printing the rows the service adds\n"
     "  --json        one JSON object per row\n",
     varnel::admin::RunLog},
    {"explain", "explain DIR (--event INDEX | NODE PRIORITY MESSAGE)",
     "why an event did or did not reach each support group",
     "  Each group's verdict with the condition that decided it, its receivers' duty at the\n"
     "  event's time and the alarm-log rows of the event.\n",
     varnel::admin::RunExplain},
};

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (c.name == name) return &c;
  return nullptr;
}

void PrintHelp(std::ostream& out) {
  out << "usage: varnel-admin COMMAND ARGS...   (varnel-admin COMMAND --help for one)\n\n"
         "commands:\n";
  for (const Command& c : kCommands) {
    std::string usage(c.usage);
    usage.resize(std::max<size_t>(usage.size() + 2, 46), ' ');
    out << "  " << usage << c.summary << "\n";
  }
}

bool WantsHelp(std::span<char*> args) {
  for (const char* a : args)
    if (std::string_view(a) == "--help" || std::string_view(a) == "-h") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace varnel::admin;
  std::span<char*> words(argv + 1, argc - 1);
  if (words.empty() || std::string_view(words[0]) == "--help" ||
      std::string_view(words[0]) == "-h" || std::string_view(words[0]) == "help") {
    PrintHelp(words.empty() ? std::cerr : std::cout);
    return words.empty() ? kExitBadInput : kExitOk;
  }
  const Command* command = FindCommand(words[0]);
  if (command == nullptr) {
    std::cerr << "varnel-admin: unknown command \"" << words[0] << "\"\n\n";
    PrintHelp(std::cerr);
    return kExitBadInput;
  }
  if (WantsHelp(words.subspan(1))) {
    std::cout << "usage: varnel-admin " << command->usage << "\n  " << command->summary << "\n"
              << command->details;
    return kExitOk;
  }
  const Args args(words.begin() + 1, words.end());
  return RunCommand(command->name, [&] { return command->run(args); });
}
