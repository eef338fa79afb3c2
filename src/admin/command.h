// The shape every varnel-admin command shares: its arguments after the command name, their
// options, and the exit statuses the tool gives.
#pragma once
#include <functional>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::admin {

using Args = std::vector<std::string>;

// Exit statuses: 0 done, 1 the command failed or found errors, 2 bad input (nothing written),
// 3 the service does not answer.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitNoService = 3;  // the running service does not answer

// Raised for input the tool refuses before writing anything; main prints it and exits 2.
class BadInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Takes the options of a command line: name -> value for options given as "--name VALUE"
// (those in valued) or "--name" (those in flags); the rest are positional. Unknown options
// raise BadInput.
struct Options {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> named;  // in command-line order
  bool Has(const std::string& name) const;
  std::string Value(const std::string& name) const;
};
Options ParseOptions(std::span<const std::string> args, std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags);

// Runs the body of the command called name and turns its failures into a message on stderr
// and an exit status: BadInput and a database that stays locked give 2, any other error 1.
int RunCommand(std::string_view name, const std::function<int()>& body);

}  // namespace varnel::admin
